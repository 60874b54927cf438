#include "Veapi/ve_object.h"

#include <bit>
#include <deque>

#include "Veapi/bounding_box.h"
#include "Veapi/hit_probe.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_shape.h"
#include "app/hash_table.h"

gfx::Matrix ToDeviceMatrix(const Matrix34& m)
{
    gfx::Matrix out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            out(c, r) = m.m[r][c];
        out(3, r) = m.m[r][3];
    }
    return out;
}

// ---- ShapeInstance ------------------------------------------------------------

ShapeInstance::ShapeInstance() = default;

ShapeInstance::~ShapeInstance()
{
    ReleaseSlots();
    while (!evaluators_.IsEmpty())
        DeleteEvaluator(evaluators_.First());
    for (ShapeInstance* child : children_)
        delete child;
    children_.Clear();
}

void ShapeInstance::ReleaseSlots()
{
    for (VeShape*& shape : slots_) {
        if (shape)
            shape->Release();
        shape = nullptr;
    }
}

void ShapeInstance::DeleteEvaluator(List<SequenceEvaluator*>::Node* node)
{
    SequenceEvaluator* ev = *List<SequenceEvaluator*>::NodeValue(node);
    if (ev->state_ & SequenceEvaluator::kCounted)
        --ev->player_->useCount_;
    delete ev;
    evaluators_.RemoveNode(node);
}

void ShapeInstance::TakeShapeLooks(VeShape* shape, bool withBox)
{
    textures_.Clear();
    box_.reset();
    if (!shape)
        return;
    sphereCentre_ = shape->sphereCentre_;
    sphereRadius_ = shape->sphereRadius_;
    if (withBox)
        box_ = std::make_unique<BoundingBox>(shape->min_.x, shape->min_.y, shape->min_.z, shape->max_.x,
                                             shape->max_.y, shape->max_.z);
    for (TextureEntry* t : shape->BoundTextures())
        textures_.PushBack(t);
}

ShapeInstance* ShapeInstance::FromShape(VeShape* shape, bool withBox)
{
    auto* node = new ShapeInstance;
    node->SetShape(shape, withBox);
    return node;
}

void ShapeInstance::SetShape(VeShape* shape, bool withBox)
{
    ReleaseSlots();
    slots_[0] = shape;
    if (shape)
        shape->AddRef();
    flags_ = kNodeAlwaysSlot0 | (shape ? shape->flags_ & VeShape::kSkipBoxTest : 0u);
    TakeShapeLooks(shape, withBox);
}

VeShape* ShapeInstance::TakeShape()
{
    VeShape* shape = slots_[0];
    slots_[0] = nullptr;
    return shape;
}

ShapeInstance* ShapeInstance::FromHierarchy(Hierarchy* h, bool withBox)
{
    auto* node = new ShapeInstance;
    node->name_ = h->name_;
    for (int i = 0; i < kShapeSlots; ++i) {
        node->slots_[i] = h->shapes_[i];
        if (node->slots_[i])
            node->slots_[i]->AddRef();
    }
    node->TakeShapeLooks(h->shapes_[0], withBox);
    node->sequences_ = h->sequences_;
    if (const SequenceKey* first = Sequences::FirstKey(h->sequences_.get())) {
        node->local_.SetPosition(first->position_);
        node->local_.SetOrientation(Pose::UnitRotation(first->rotation_));
    }
    for (Hierarchy* child : h->children_)
        node->children_.PushBack(FromHierarchy(child, withBox));
    return node;
}

bool ShapeInstance::HasName(const std::string& name) const
{
    return !name_.empty() && CompareName(name_, name);
}

void ShapeInstance::Draw(int depth, uint64_t time, const gfx::Matrix& parent, int32_t slot, uint32_t flags,
                         uint32_t culled, TextureEntry* filter)
{
    flags |= flags_;
    if (flags & DrawFlag::kAlwaysSlot0)
        slot = 0;
    const uint32_t frame = Display::FrameCount();
    if ((flags & DrawFlag::kRecomputeMatrices) || frameStamp_ != frame) {
        frameStamp_ = frame;
        UpdateMatrix(parent, time);
    }
    gfx::Device* dev = Display::Device();
    uint32_t state = 0;
    if (!culled && !(flags & (DrawFlag::kAnimateOnly | DrawFlag::kNoBoxTests | DrawFlag::kSkipNodeBox)) && box_ &&
        dev) {
        dev->SetTransform(gfx::TransformType::World, nodeMatrix_);
        state = box_->ClipFlags();
    }
    // A culled parent culls its children, which do not test again.
    culled_ = (flags & DrawFlag::kAnimateOnly) | culled | state;
    if (culled_ == 0 && slot >= 0 && slot < kShapeSlots && slots_[slot])
        slots_[slot]->Draw(nodeMatrix_, filter, flags);
    for (ShapeInstance* child : children_)
        child->Draw(depth + 1, time, nodeMatrix_, slot, flags & ~DrawFlag::kSkipNodeBox, culled_, filter);
}

void ShapeInstance::UpdateMatrix(const gfx::Matrix& parent, uint64_t time)
{
    nodeMatrix_ = ToDeviceMatrix(SequencePose(time, true)) * parent;
}

Matrix34 ShapeInstance::SequencePose(uint64_t time, bool settle)
{
    for (const SequenceEvaluator* first : evaluators_) {
        // A static main sequence holds the node still, layers and all.
        if ((first->sequence_->flags_ & kSequenceStatic) && !first->player_->Layered())
            return local_.Matrix();
        break;
    }
    // The first pose that moves the node stands for it; static sequences have
    // keys relative to what lies below them, the node's own pose at the least.
    Matrix34 pose = local_.Matrix();
    bool posed = false;
    for (List<SequenceEvaluator*>::Iterator it(evaluators_); !it.AtEnd();) {
        SequenceEvaluator& ev = **it.Get();
        const EvaluatedPose e = SequenceEvaluation::Evaluate(ev, blend_, time);
        const Matrix34 m = Pose::ToMatrix(e.pose);
        pose = posed || (ev.sequence_->flags_ & kSequenceStatic) ? pose * m : m;
        posed = true;
        if (settle && e.ended && (ev.player_->mode_ & SequenceMode::kRemoveAtEnd)) {
            List<SequenceEvaluator*>::Node* node = it.CurrentNode();
            it.Next();
            DeleteEvaluator(node);
            continue;
        }
        if (settle && e.ended) {
            ev.player_->SignalDone();
            ev.player_->mode_ |= SequenceMode::kFinished;
        }
        it.Next();
    }
    return pose;
}

Matrix34 ShapeInstance::AnimatedMatrix(uint64_t time)
{
    return SequencePose(time, false);
}

ShapeInstance* ShapeInstance::FindNode(const std::string& name)
{
    if (name_.empty() || CompareName(name_, name))
        return this;
    for (ShapeInstance* child : children_)
        if (ShapeInstance* found = child->FindNode(name))
            return found;
    return nullptr;
}

bool ShapeInstance::FindPartPosition(Vec3& out, const std::string& name, uint64_t time)
{
    if (HasName(name)) {
        out = AnimatedMatrix(time).Translation();
        return true;
    }
    for (ShapeInstance* child : children_) {
        Vec3 below;
        if (child->FindPartPosition(below, name, time)) {
            out = AnimatedMatrix(time).TransformPoint(below);
            return true;
        }
    }
    return false;
}

bool ShapeInstance::GetNodeMatrix(Matrix34& out, const ShapeInstance* descendant, uint64_t time)
{
    if (descendant == this) {
        out = AnimatedMatrix(time);
        return true;
    }
    for (ShapeInstance* child : children_) {
        Matrix34 below;
        if (child->GetNodeMatrix(below, descendant, time)) {
            out = AnimatedMatrix(time) * below;
            return true;
        }
    }
    return false;
}

bool ShapeInstance::SetPartShape(VeShape* shape, const std::string& name)
{
    ShapeInstance* node = FindNode(name);
    if (!node)
        return false;
    const bool withBox = node->box_ != nullptr;
    node->ReleaseSlots();
    for (VeShape*& slot : node->slots_) {
        slot = shape;
        if (shape)
            shape->AddRef();
    }
    node->flags_ = (node->flags_ & ~kNodeSkipBox) | (shape ? shape->flags_ & VeShape::kSkipBoxTest : 0u);
    node->TakeShapeLooks(shape, withBox);
    return true;
}

namespace {

// Gives `node` the shapes and, with flag 1, the placement of `h`, then its
// children the same way by name.
void ApplyHierarchy(ShapeInstance& node, Hierarchy& h, uint32_t flags)
{
    const SequenceKey* newFirst = Sequences::FirstKey(h.sequences_.get());
    const SequenceKey* oldFirst = Sequences::FirstKey(node.sequences_.get());
    if ((flags & 0x1) && newFirst && oldFirst) {
        const Vec3 offset = newFirst->position_ - oldFirst->position_;
        const Vec3 position = newFirst->position_;
        if (SequenceSet* own = node.PrivateSequences())
            Sequences::Translate(*own, offset);
        node.local_.SetPosition(position);
    }
    const bool withBox = node.box_ != nullptr;
    for (int i = 0; i < kShapeSlots; ++i) {
        if (node.slots_[i])
            node.slots_[i]->Release();
        node.slots_[i] = h.shapes_[i];
        if (node.slots_[i])
            node.slots_[i]->AddRef();
    }
    if (VeShape* shape = h.shapes_[0])
        node.flags_ = (node.flags_ & ~ShapeInstance::kNodeSkipBox) | (shape->flags_ & VeShape::kSkipBoxTest);
    node.textures_.Clear();
    node.box_.reset();
    if (VeShape* shape = h.shapes_[0]) {
        node.sphereCentre_ = shape->sphereCentre_;
        node.sphereRadius_ = shape->sphereRadius_;
        if (withBox)
            node.box_ = std::make_unique<BoundingBox>(shape->min_.x, shape->min_.y, shape->min_.z, shape->max_.x,
                                                      shape->max_.y, shape->max_.z);
        for (TextureEntry* t : shape->BoundTextures())
            node.textures_.PushBack(t);
    }
    for (Hierarchy* hc : h.children_)
        for (ShapeInstance* c : node.children_)
            if (!hc->name_.empty() && CompareName(c->name_, hc->name_)) {
                ApplyHierarchy(*c, *hc, flags);
                break;
            }
}

ShapeInstance* FindNamed(ShapeInstance& node, const std::string& name)
{
    if (!node.name_.empty() && CompareName(node.name_, name))
        return &node;
    for (ShapeInstance* child : node.children_)
        if (ShapeInstance* found = FindNamed(*child, name))
            return found;
    return nullptr;
}

} // namespace

void ShapeInstance::SetPartHierarchy(Hierarchy* hierarchy, uint32_t flags)
{
    if (!hierarchy || hierarchy->name_.empty())
        return;
    if (ShapeInstance* node = FindNamed(*this, hierarchy->name_))
        ApplyHierarchy(*node, *hierarchy, flags);
}

SequenceSet* ShapeInstance::PrivateSequences()
{
    if (!savedSequences_)
        savedSequences_ = sequences_;
    if (!savedSequences_)
        return nullptr;
    std::shared_ptr<SequenceSet> copy = Sequences::Copy(*savedSequences_);
    for (SequenceEvaluator* ev : evaluators_)
        if (const Sequence* s = Sequences::Find(copy.get(), ev->player_->index_)) {
            ev->sequence_ = s;
            ev->currentKey_ = 0;
        }
    sequences_ = copy;
    return copy.get();
}

void ShapeInstance::RemovePart(const std::string& name)
{
    for (List<ShapeInstance*>::Iterator it(children_); !it.AtEnd();) {
        ShapeInstance* child = *it.Get();
        if (child->HasName(name)) {
            delete child;
            it.Erase();
            continue;
        }
        child->RemovePart(name);
        it.Next();
    }
}

bool ShapeInstance::AttachChild(ShapeInstance* child, const std::string& name)
{
    for (ShapeInstance* c : children_) {
        if (c->HasName(name)) {
            c->AppendChild(child);
            return true;
        }
        if (c->AttachChild(child, name))
            return true;
    }
    return false;
}

void ShapeInstance::AppendChild(ShapeInstance* child)
{
    children_.PushBack(child);
}

ShapeInstance* ShapeInstance::FirstChild()
{
    ShapeInstance** first = children_.At(0);
    return first ? *first : nullptr;
}

void ShapeInstance::SplitByVertexLimit(uint32_t limit)
{
    if (!slots_[0])
        return;
    slots_[0]->MakeBoundingBox();
    Shape::SplitByVertexLimit(*this, limit, 0);
}

void ShapeInstance::CollectTextures(List<TextureEntry*>& out)
{
    std::deque<ShapeInstance*> queue{this};
    while (!queue.empty()) {
        ShapeInstance* node = queue.front();
        queue.pop_front();
        for (TextureEntry* t : node->textures_)
            if (!out.FindNode(t))
                out.PushBack(t);
        for (ShapeInstance* child : node->children_)
            queue.push_back(child);
    }
}

// ---- VeObject -----------------------------------------------------------------

VeObject::VeObject()
{
    placement_.SetScale({1, 1, 1});
}

VeObject::~VeObject()
{
    // Nodes first: their evaluators still name the players.
    root_.reset();
    ReleaseBounds();
    while (!players_.IsEmpty()) {
        delete *players_.At(0);
        players_.PopFront();
    }
    // A probe's last hit may name this object; a new one at the same
    // address must not be taken for it.
    HitProbe::ForgetObject(this);
}

VeObject* VeObject::FromShape(VeShape* shape, bool withBox)
{
    auto* object = new VeObject;
    object->root_.reset(ShapeInstance::FromShape(shape, withBox));
    if (shape) {
        object->minimum_ = shape->min_;
        object->maximum_ = shape->max_;
    }
    if (withBox)
        object->RebuildBounds();
    object->name_ = kFromShapeName;
    object->RebuildTextures();
    return object;
}

VeObject* VeObject::FromObject(ShapeInstance* root, bool withBox)
{
    auto* object = new VeObject;
    object->root_.reset(root);
    if (root && root->box_) {
        object->minimum_ = root->box_->Corner(0);
        object->maximum_ = root->box_->Corner(5);
        if (withBox)
            object->RebuildBounds();
    }
    object->name_ = kFromObjectName;
    object->RebuildTextures();
    return object;
}

VeObject* VeObject::FromHierarchy(Hierarchy* hierarchy, bool withBox)
{
    auto* object = new VeObject;
    object->root_.reset(ShapeInstance::FromHierarchy(hierarchy, withBox));
    object->motion_ = hierarchy->perTick_;
    object->vector_ = hierarchy->perSecond_;
    if (hierarchy->boundsValid_) {
        object->minimum_ = hierarchy->minimum_;
        object->maximum_ = hierarchy->maximum_;
        if (withBox)
            object->RebuildBounds();
    }
    object->name_ = hierarchy->name_;
    object->RebuildTextures();
    return object;
}

void VeObject::RebuildTextures()
{
    // The whole tree: the queue draws a node only under a texture listed here.
    textures_.Clear();
    if (root_)
        root_->CollectTextures(textures_);
}

void VeObject::QueueDraw(uint64_t time, Camera* camera, LightSet* lights, RenderMaterial* material, int32_t slot,
                         uint32_t flags, HitHook* hitHook, DrawHooks* hooks, List<TextureEntry*>* textures)
{
    const float key = std::bit_cast<float>(std::bit_cast<uint32_t>(placement_.Position().y) ^ 0x80000000u);
    auto* request = new DrawRequest(this, time, flags, material, camera, lights, hitHook, slot, key, hooks);
    RenderQueue::Add(textures ? textures : &textures_, request);
    request->Release();
}

void VeObject::Draw(uint64_t time, int32_t slot, uint32_t flags, TextureEntry* filter)
{
    UpdateSequences(time, flags);
    if ((flags & DrawFlag::kAnimateOnly) || !root_)
        return;
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    const gfx::Matrix world = ToDeviceMatrix(placement_.ScaledMatrix());
    dev->SetTransform(gfx::TransformType::World, world);
    // Probe hits of this draw name this object (an object drawn inside
    // another's draw names itself, then hands back).
    struct DrawnObject {
        const VeObject* outer = HitProbe::CurrentObject();
        explicit DrawnObject(const VeObject* self) { HitProbe::SetCurrentObject(self); }
        ~DrawnObject() { HitProbe::SetCurrentObject(outer); }
    } drawn(this);
    if (box_ && !(flags & DrawFlag::kSkipNodeBox)) {
        // A caller that passes "no box tests" clip-tested the box itself; the
        // pointer's probes still meet a box that is on screen.
        bool onScreen = !(flags & DrawFlag::kAnimateOnly);
        if (!(flags & DrawFlag::kNoBoxTests)) {
            flags |= DrawFlag::kSkipNodeBox;
            onScreen = box_->ClipFlags() == 0;
            if (!onScreen)
                flags |= DrawFlag::kAnimateOnly;
        }
        if (onScreen && (flags & DrawFlag::kHitTest) && !(flags & DrawFlag::kExactHit)) {
            box_->TestProbes();
            flags &= ~DrawFlag::kHitTest;
        }
    }
    root_->Draw(0, time, world, slot, flags, 0, filter);
}

void VeObject::DeletePlayer(List<SequencePlayer*>::Node* node)
{
    SequencePlayer* player = *List<SequencePlayer*>::NodeValue(node);
    // Always: an evaluator left behind would name a deleted player.
    if (root_)
        root_->RemovePlayer(player);
    delete player;
    players_.RemoveNode(node);
}

void VeObject::UpdateSequences(uint64_t time, uint32_t flags)
{
    VeObject* receiver = (flags & DrawFlag::kSequencesGetObject) ? this : nullptr;
    for (List<SequencePlayer*>::Iterator it(players_); !it.AtEnd();) {
        SequencePlayer* player = *it.Get();
        if (player->useCount_ > 0) {
            player->Advance(time, receiver);
            it.Next();
            continue;
        }
        List<SequencePlayer*>::Node* gone = it.CurrentNode();
        it.Next();
        DeletePlayer(gone);
    }
}

bool VeObject::FindPartPosition(Vec3& out, const std::string& name, uint64_t time)
{
    return root_ && root_->FindPartPosition(out, name, time);
}

bool VeObject::SetPartShape(VeShape* shape, const std::string& name)
{
    if (!root_ || !root_->SetPartShape(shape, name))
        return false;
    RebuildTextures();
    return true;
}

bool VeObject::SetPartHierarchy(Hierarchy* hierarchy, uint32_t flags)
{
    if (!root_)
        return false;
    root_->SetPartHierarchy(hierarchy, flags);
    RebuildTextures();
    return true;
}

void VeObject::RemovePart(const std::string& name)
{
    if (!root_)
        return;
    if (!root_->name_.empty() && CompareName(root_->name_, name))
        root_.reset();
    else
        root_->RemovePart(name);
    RebuildTextures();
}

void VeObject::MotionPosition(Vec3& out, uint64_t time)
{
    SequencePlayer** front = players_.At(0);
    const Sequence* playing = front ? RootSequence((*front)->index_) : nullptr;
    const int32_t index = front ? (*front)->index_ : -1;
    if (!playing || (playing->flags_ & kSequenceStatic) || index < 0 || size_t(index) >= motion_.size()) {
        out = placement_.Position();
        return;
    }
    const float elapsed = time > motionStart_ ? float(time - motionStart_) : 0.0f;
    out = placement_.Matrix().TransformPoint(motion_[size_t(index)] * elapsed);
}

Vec3 VeObject::SequenceMotion(int32_t index) const
{
    return index >= 0 && size_t(index) < motion_.size() ? motion_[size_t(index)] : Vec3{0, 0, 0};
}

Vec3 VeObject::SequenceVector(int32_t index) const
{
    return index >= 0 && size_t(index) < vector_.size() ? vector_[size_t(index)] : Vec3{0, 0, 0};
}

void VeObject::RebuildBounds()
{
    box_ = std::make_unique<BoundingBox>(minimum_.x, minimum_.y, minimum_.z, maximum_.x, maximum_.y, maximum_.z);
    hasBounds_ = true;
}

void VeObject::ReleaseBounds()
{
    box_.reset();
    hasBounds_ = false;
}
