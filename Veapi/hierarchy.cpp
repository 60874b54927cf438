#include "Veapi/hierarchy.h"

#include <cmath>

#include "Veapi/ve_shape.h"
#include "app/hash_table.h"

Hierarchy::~Hierarchy() = default;

void Hierarchy::AddRef()
{
    if (useCount_++ != 0)
        return;
    for (int i = kShapeSlots - 1; i >= 0; --i)
        if (shapes_[i])
            shapes_[i]->AddRef();
    for (Hierarchy* child : children_)
        child->AddRef();
}

void Hierarchy::AddHold()
{
    if (++holdCount_ != 1)
        return;
    for (VeShape* shape : shapes_)
        if (shape)
            shape->Hold();
    for (Hierarchy* child : children_)
        child->AddHold();
}

void Hierarchy::Release()
{
    if (--useCount_ != 0)
        return;
    // Slots may share one shape, each holding one use of it. A shape goes
    // only when the tree holds it no more, and then the node goes too.
    for (VeShape* shape : shapes_)
        if (shape)
            shape->Release();
    for (Hierarchy* child : children_)
        child->Release();
    FreeWhenUnused();
}

void Hierarchy::ReleaseHold()
{
    if (--holdCount_ != 0)
        return;
    for (VeShape* shape : shapes_)
        if (shape)
            shape->ReleaseHold();
    for (Hierarchy* child : children_)
        child->ReleaseHold();
    FreeWhenUnused();
}

void Hierarchy::FreeWhenUnused()
{
    // The children went with the same call; only the list of them is left.
    if (useCount_ <= 0 && holdCount_ <= 0)
        delete this;
}

Hierarchy* Hierarchy::FindNode(const std::string& name)
{
    if (!name_.empty() && CompareName(name_, name))
        return this;
    for (Hierarchy* child : children_)
        if (Hierarchy* found = child->FindNode(name))
            return found;
    return nullptr;
}

bool Hierarchy::FindNodePosition(Vec3& out, const std::string& name) const
{
    const SequenceKey* first = Sequences::FirstKey(sequences_.get());
    if (!name_.empty() && CompareName(name_, name)) {
        out = first ? first->position_ : Vec3{0, 0, 0};
        return true;
    }
    for (Hierarchy* child : children_) {
        Vec3 below;
        if (child->FindNodePosition(below, name)) {
            out = first ? Pose::ToMatrix(Pose::OfKey(*first)).TransformPoint(below) : below;
            return true;
        }
    }
    return false;
}

bool Hierarchy::HasSequence(int32_t index) const
{
    return Sequences::Has(sequences_.get(), index);
}

namespace Sequences {

const Sequence* Find(const SequenceSet* set, int32_t index)
{
    if (!set || index < 0 || size_t(index) >= set->entries_.size())
        return nullptr;
    return set->entries_[size_t(index)].get();
}

bool Has(const SequenceSet* set, int32_t index)
{
    return Find(set, index) != nullptr;
}

std::unique_ptr<SequenceSet> Copy(const SequenceSet& set)
{
    auto copy = std::make_unique<SequenceSet>();
    copy->reserved_ = set.reserved_;
    for (const auto& entry : set.entries_)
        copy->entries_.push_back(entry ? std::make_unique<Sequence>(*entry) : nullptr);
    return copy;
}

void Translate(Sequence& sequence, const Vec3& offset)
{
    if (sequence.flags_ & kSequenceStatic)
        return;
    for (SequenceKey& key : sequence.keys_)
        key.position_ += offset;
}

void Translate(SequenceSet& set, const Vec3& offset)
{
    for (auto& entry : set.entries_)
        if (entry)
            Translate(*entry, offset);
}

const SequenceKey* FirstKey(const SequenceSet* set)
{
    if (!set)
        return nullptr;
    for (const auto& entry : set->entries_)
        if (entry)
            return entry->keys_.empty() ? nullptr : &entry->keys_.front();
    return nullptr;
}

} // namespace Sequences

namespace Pose {

NodePose OfKey(const SequenceKey& key)
{
    return {key.position_, key.rotation_};
}

NodePose BetweenKeys(const SequenceKey& key0, const SequenceKey& key1, float fraction)
{
    if (&key0 == &key1)
        return OfKey(key0);
    NodePose pose = OfKey(key0);
    if (key0.flags_ & trevok::kKeyRotates) {
        QuaternionBlend blend;
        blend.Setup(key0.blend_.from_, key0.blend_.to_);
        pose.rotation = blend.Evaluate(fraction);
    }
    if (key0.flags_ & trevok::kKeyMoves)
        pose.position = key0.position_ + (key1.position_ - key0.position_) * fraction;
    return pose;
}

Quaternion UnitRotation(const Quaternion& rotation)
{
    // Rotations from a file need not be unit length, nor small enough to
    // normalise without overflowing: such a key leaves the part unturned.
    const Quaternion q = rotation.Normalised();
    const bool finite = std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
    return finite && q.Dot(q) > 0.5f ? q : Quaternion::Identity();
}

Matrix34 ToMatrix(const NodePose& pose)
{
    Matrix34 m(1);
    m.SetRotation(UnitRotation(pose.rotation));
    m.SetTranslation(pose.position);
    return m;
}

} // namespace Pose
