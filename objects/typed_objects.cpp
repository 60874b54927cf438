#include "objects/typed_objects.h"

#include "Veapi/bounding_box.h"
#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "objects/client_effects.h"
#include "objects/footprint.h"
#include "objects/role_classes.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Squared metres within which a shot that hit nothing takes a creature.
constexpr float kCreatureHitSquared = 2.0f;

std::vector<TypedObject11*> g_kind11;

WorldObject* MakeByRole(int32_t side, script::Role* role, const Vec3& p, const Quaternion& q, uint32_t id)
{
    if (!role)
        return nullptr;
    switch (ClientClassFor(*role)) {
    case ClientClass::kNone: return nullptr;
    case ClientClass::kUnit: return new Unit(side, role, p, q, id);
    case ClientClass::kMovingObject: return new MovingObject(side, role, p, q, id);
    case ClientClass::kWorldObject: return new WorldObject(side, role, p, q, 0, id);
    case ClientClass::kTypedUnit:
        switch (role->aiType) {
        case 12: return new TypedUnit12(side, role, p, q, id);
        case 13: return new TypedUnit13(side, role, p, q, id);
        default: return new TypedUnit16(side, role, p, q, id);
        }
    case ClientClass::kTypedObject:
        switch (role->aiType) {
        case 5: return new TypedObject5(side, role, p, q, id);
        case 8: return new TypedObject8(side, role, p, q, id);
        case 9: return new TypedObject9(side, role, p, q, id);
        case 10: return new TypedObject10(side, role, p, q, id);
        case 11: return new TypedObject11(side, role, p, q, id);
        case 14: return new TypedObject14(side, role, p, q, id);
        default: return new TypedObject17(side, role, p, q, id);
        }
    }
    return nullptr;
}

} // namespace

WorldObject* WorldObject::CreateByRole(int32_t side, script::Role* role, const Vec3& position,
                                       const Quaternion& orientation)
{
    if (!role || ClientClassFor(*role) == ClientClass::kNone)
        return nullptr;
    return MakeByRole(side, role, position, orientation, WorldObjectTable::TakeNextId());
}

WorldObject* WorldObject::CreateFromMessage(int32_t side, script::Role* role, const Vec3& position,
                                            const Quaternion& orientation, uint32_t id)
{
    WorldObject* object = MakeByRole(side, role, position, orientation, id);
    if (object)
        object->Activate(static_cast<uint64_t>(std::max<int64_t>(AppTime::GameNow(), 0)), AppTime::GameSeconds());
    return object;
}

// ---------------------------------------------------------------------------
// WorldProjectile

WorldProjectile::WorldProjectile(int32_t side, script::Role* role, const Vec3& position,
                                 const Quaternion& orientation, float speed, uint32_t shooterId, int32_t targetId,
                                 uint32_t id)
    : WorldObject(side, role, position, orientation, ClientCreate::kFogBase | ClientCreate::kEmitterBit, id),
      launchPosition_(position), shooterId_(shooterId), velocity_(Quaternion::ZAxis(orientation) * speed)
{
    if (role_) {
        flags_ = static_cast<uint32_t>(role_->limit);
        falls_ = role_->projectile && role_->projectile->gravity;
    }
    if (targetId != -1)
        target_ = WorldObjectRef(WorldObjectTable::FindById(static_cast<uint32_t>(targetId)));
}

WorldProjectile::~WorldProjectile() = default;

void WorldProjectile::Activate(uint64_t time, float seconds)
{
    launchTime_ = time;
    launchSeconds_ = seconds;
    WorldObject::Activate(time, seconds);
}

void WorldProjectile::SetDamageFactor(float factor) { damageFactor_ = std::isfinite(factor) && factor > 0 ? factor : 1.0f; }

int32_t WorldProjectile::HitDamage() const
{
    if (!role_ || !role_->projectile)
        return 0;
    const float damage = static_cast<float>(role_->projectile->damage) * damageFactor_;
    constexpr float kMost = 2147483520.0f;  // the largest float below 2^31
    return static_cast<int32_t>(std::lround(std::clamp(damage, -kMost, kMost)));
}

void WorldProjectile::HitDirection(float& dx, float& dz) const
{
    const float horizontal = std::sqrt(velocity_.x * velocity_.x + velocity_.z * velocity_.z);
    if (!(horizontal > 0.0f) || !std::isfinite(horizontal)) {
        dx = 0.0f;
        dz = 1.0f;
        return;
    }
    dx = velocity_.x / horizontal;
    dz = velocity_.z / horizontal;
}

void WorldProjectile::EndAt(const Vec3& point)
{
    position_ = point;
    if (ParticleEmitter* own = corona_.Live())
        own->SetPosition(point);
    Remove();
}

void WorldProjectile::Deactivate()
{
    if (deactivated_)
        return;
    constexpr int kArcs = 5;
    constexpr float kArcAmplitude = 0.7f;
    const ClientEffectHooks& effects = ClientEffects();
    WorldObject* shooter = (flags_ & (kFlagElectric | kFlagBeam)) ? WorldObjectTable::FindById(shooterId_) : nullptr;
    Vec3 muzzle;
    if (shooter && shooter != this && shooter->MuzzlePoint(muzzle)) {
        if (flags_ & kFlagElectric) {
            for (int i = 0; i < kArcs && effects.electricity; ++i)
                effects.electricity(muzzle, position_, kArcAmplitude);
            if (effects.whiteBurst)
                effects.whiteBurst(position_);
            if (effects.explosion)
                effects.explosion(position_);
        } else if (effects.beam) {
            effects.beam(muzzle, position_);
        }
    }
    WorldObject::Deactivate();
}

Vec3 WorldProjectile::PositionAt(uint64_t ticks) const
{
    const float elapsed = TicksToSeconds(ticks);
    Vec3 p = launchPosition_ + velocity_ * elapsed;
    if (falls_)
        p.y += WorldObjectTable::kGravity * 0.5f * elapsed * elapsed;
    return p;
}

void WorldProjectile::Update(uint64_t time, float seconds)
{
    const uint64_t elapsedTicks = time > launchTime_ ? time - launchTime_ : 0;
    Vec3 flight = velocity_;
    if ((flags_ & kFlagHoming) && target_) {
        const float step = std::max(0.0f, seconds - lastSeconds_);
        const Vec3 wanted = (target_->GetCentre() - position_).Normalised();
        const Vec3 current = velocity_.Normalised();
        const float f = std::min(1.0f, 50.0f * step);
        const Vec3 blended = current * (1.0f - f) + wanted * f;
        // A target straight behind cancels the blend: keep flying on.
        if (blended.LengthSquared() > 1e-12f)
            velocity_ = blended.Normalised() * velocity_.Length();
        position_ = position_ + velocity_ * step;
        flight = velocity_;
    } else {
        position_ = PositionAt(elapsedTicks);
        if (falls_)
            flight.y += WorldObjectTable::kGravity * TicksToSeconds(elapsedTicks);
    }
    const float horizontal = std::sqrt(flight.x * flight.x + flight.z * flight.z);
    if (object_ && (horizontal > 0.0f || flight.y != 0.0f)) {
        const float yaw = std::atan2(flight.x, flight.z);
        const float pitch = std::atan2(flight.y, horizontal);
        orientation_ = Quaternion{0, std::sin(0.5f * yaw), 0, std::cos(0.5f * yaw)} *
                       Quaternion{std::sin(0.5f * pitch), 0, 0, std::cos(0.5f * pitch)};
    }
    WorldObject::Update(time, seconds);
}

// ---------------------------------------------------------------------------
// TypedObject8

TypedObject8::TypedObject8(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                           uint32_t id)
    : WorldObject(side, role, position, orientation, ClientCreate::kDynamicLight, id)
{
}

TypedObject8::~TypedObject8() = default;

void TypedObject8::ReleaseReferences()
{
    riders_.clear();
    linked_.Reset();
}

void TypedObject8::Activate(uint64_t time, float seconds)
{
    if (Level* level = Level::Current(); level && object_ && object_->Root()) {
        LockGuard guard(level->lock_, false);
        mesh_ = level->FindMesh(object_->Root());
        meshLevel_ = mesh_ ? level : nullptr;
    }
    WorldObject::Activate(time, seconds);
}

namespace {

void DetachSharedBuffers(ShapeInstance& node)
{
    for (VeShape* shape : node.slots_) {
        if (!shape)
            continue;
        for (SubMesh* mesh : shape->SubMeshes())
            SharedVertexBuffer::Detach(mesh);
    }
    for (ShapeInstance* child : node.children_)
        DetachSharedBuffers(*child);
}

} // namespace

void TypedObject8::SetPartHierarchy(const Vec3 (&p)[4], const Quaternion& end, bool carriesRiders)
{
    carriesRiders_ = carriesRiders;
    c3_ = p[0] * -1.0f + p[1] * 3.0f + p[2] * -3.0f + p[3];
    c2_ = p[0] * 3.0f + p[1] * -6.0f + p[2] * 3.0f;
    c1_ = p[0] * -3.0f + p[1] * 3.0f;
    c0_ = p[0];
    blend_.Setup(orientation_, end);
    pathSet_ = true;
    if (object_ && object_->Root())
        DetachSharedBuffers(*object_->Root());
}

bool TypedObject8::MovesOwnMesh() const
{
    return mesh_ && meshLevel_ && Level::Current() == meshLevel_ && !ClientServices::Get().serverRunsHere;
}

void TypedObject8::PruneMesh()
{
    if (!carriesRiders_ || !MovesOwnMesh())
        return;
    // No path may lead over a moving piece.
    LockGuard guard(meshLevel_->lock_, true);
    mesh_->ForEachPolygon([](CollisionPolygon& polygon) {
        if (polygon.flags_ & polygon_flags::kClassMask)
            polygon.PruneLinks();
    });
}

void TypedObject8::MoveMesh(const Vec3& delta)
{
    if (!MovesOwnMesh())
        return;
    LockGuard guard(meshLevel_->lock_, true);
    // Unfiled from the cells of the box it stood in, filed in those it
    // stands in now; its polygons stay the same, under any mover on them.
    meshLevel_->UnfileGeometry(*mesh_);
    mesh_->Translate(delta);
    mesh_->FitBox();
    if (meshLevel_->HasCells())
        meshLevel_->FileGeometry(*mesh_);
}

void TypedObject8::JoinMesh()
{
    if (!carriesRiders_ || !MovesOwnMesh())
        return;
    LockGuard guard(meshLevel_->lock_, true);
    mesh_->ForEachPolygon([this](CollisionPolygon& polygon) {
        if (polygon.flags_ & polygon_flags::kClassMask)
            meshLevel_->LinkClassNeighbours(polygon);
    });
}

Vec3 TypedObject8::PathAt(float t) const { return ((c3_ * t + c2_) * t + c1_) * t + c0_; }

void TypedObject8::ResetParts() { StartAt(static_cast<int64_t>(time_)); }

void TypedObject8::StartAt(int64_t time)
{
    if (!pathSet_ || running_)
        return;
    startTime_ = time;
    running_ = true;
    HoldLinkedEmitter(true);
    PruneMesh();
}

// The linked object's emitter rests while the lift runs and comes back when
// it stops; the emitter is only held, never left to die, so it is still
// there to come back.
void TypedObject8::HoldLinkedEmitter(bool held)
{
    WorldObject* linked = linked_.Get();
    ParticleEmitter* emitter = linked ? linked->Corona() : nullptr;
    if (!emitter)
        return;
    emitter->SetHeld(held);
    emitter->SetOwnerMark(!held);
}

void TypedObject8::SetState(bool direction)
{
    if (running_ && direction == direction_) {
        // A lift that does not move has nothing to reverse (and no half time).
        if (!(speed_ > 0.0f))
            return;
        const double k = static_cast<double>(AppTime::TicksPerSecond()) * 0.5 / speed_;
        const int64_t start = 2 * (static_cast<int64_t>(time_) - static_cast<int64_t>(k)) -
                              static_cast<int64_t>(startTime_);
        direction_ = !direction_;
        startTime_ = start;
    } else if (!running_ && direction != direction_) {
        ResetParts();
    }
}

void TypedObject8::PauseTimer(uint64_t now)
{
    if (!running_)
        return;
    running_ = false;
    pauseTime_ = now;
}

void TypedObject8::ResumeTimer(uint64_t now)
{
    // Only a paused motion resumes; a lift resting at an end stays.
    if (running_ || pauseTime_ == 0)
        return;
    running_ = true;
    startTime_ += now > pauseTime_ ? static_cast<int64_t>(now - pauseTime_) : 0;
    pauseTime_ = 0;
}

bool TypedObject8::StartWithRiders(bool backwards, std::span<const uint32_t> riders)
{
    if (backwards != direction_)
        return false;
    for (uint32_t id : riders)
        AddCarried(id);
    ResetParts();
    return true;
}

void TypedObject8::AddCarried(uint32_t id)
{
    WorldObject* rider = WorldObjectTable::FindById(id);
    if (!rider || rider == this)
        return;
    riders_.emplace_back(rider);
    rider->SetStaticPlacement(true);
}

void TypedObject8::SetLinkedObject(uint32_t id) { linked_ = WorldObjectRef(WorldObjectTable::FindById(id)); }

void TypedObject8::Update(uint64_t time, float seconds)
{
    // A looping track starts again by itself; the server's start message,
    // when it comes, only brings the riders.
    if (!running_ && loops_ && pathSet_ && pauseTime_ == 0 &&
        static_cast<int64_t>(time) > startTime_ + static_cast<int64_t>(loopInterval_))
        StartAt(static_cast<int64_t>(time));
    if (running_) {
        const int64_t since = static_cast<int64_t>(time) - startTime_;
        float t = TicksToSeconds(since > 0 ? static_cast<uint64_t>(since) : 0) * speed_;
        bool ended = false;
        if (!direction_) {
            if (t > 1.0f) {
                t = 1.0f;
                ended = true;
            }
        } else {
            t = 1.0f - t;
            if (t < 0.0f) {
                t = 0.0f;
                ended = true;
            }
        }
        const Vec3 next = PathAt(t);
        const Vec3 moved = next - position_;
        position_ = next;
        orientation_ = blend_.Evaluate(t);
        for (const WorldObjectRef& rider : riders_)
            rider->SetPosition(rider->Position() + moved);
        MoveMesh(moved);
        // The fog over it is the fog where it is now, whoever moves its mesh.
        MapFog(false);
        if (ended) {
            running_ = false;
            direction_ = !direction_;
            for (const WorldObjectRef& rider : riders_)
                rider->SetStaticPlacement(false);
            riders_.clear();
            HoldLinkedEmitter(false);
            JoinMesh();
        }
    }
    WorldObject::Update(time, seconds);
}

// ---------------------------------------------------------------------------
// TypedObject5

TypedObject5::~TypedObject5() { Unmark(); }

void TypedObject5::Activate(uint64_t time, float seconds)
{
    // Where a server runs here, its own footprint marks the floor.
    Level* level = Level::Current();
    if (level && marked_.empty() && !ClientServices::Get().serverRunsHere) {
        marked_ = Footprint::Mark(*level, position_, orientation_, object_, extent_);
        markedLevel_ = level;
    }
    WorldObject::Activate(time, seconds);
}

void TypedObject5::Deactivate()
{
    Unmark();
    WorldObject::Deactivate();
}

void TypedObject5::Unmark()
{
    // Marks in a level already gone went with it.
    Footprint::Unmark(Level::Current() == markedLevel_ ? markedLevel_ : nullptr, marked_);
    markedLevel_ = nullptr;
}

// ---------------------------------------------------------------------------
// TypedObject9

TypedObject9::TypedObject9(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                           uint32_t id)
    : WorldObject(side, role, position + Vec3{0, -0.2f, 0}, orientation, ClientCreate::kFogBase, id)
{
}

void TypedObject9::Update(uint64_t time, float seconds)
{
    const float dt = seconds - lastSeconds_;
    auto signedRandom = [] {
        return static_cast<float>(WorldObjectTable::NextRandom() & 0xFFFFFF) / 8388608.0f - 1.0f;
    };
    if (dt > 0.0f) {
        yaw_ += signedRandom() * signedRandom() * 4096.0f * dt;
        position_.x += signedRandom() * signedRandom() * 0.01f;
        position_.z += signedRandom() * signedRandom() * 0.01f;
        orientation_ = YawOrientation(yaw_);
    }
    CollisionPolygon* under = nullptr;
    if (Level* level = Level::Current()) {
        LockGuard guard(level->lock_, false);
        under = level->FindPolygonAtPosition(position_);
    }
    if (under) {
        if (!shown_) {
            shown_ = true;
        } else if (dt > 0.0f) {
            verticalSpeed_ += WorldObjectTable::kGravity * dt;
            const float step = dt * verticalSpeed_;
            // A step past the ground bounces back a quarter as fast.
            if (step > 0.5f * extent_.y)
                verticalSpeed_ *= -0.25f;
            else
                position_.y += step;
        }
    }
    WorldObject::Update(time, seconds);
}

void TypedObject9::PlaceAndDraw()
{
    if (shown_)
        WorldObject::PlaceAndDraw();
}

// ---------------------------------------------------------------------------
// TypedObject10

TypedObject10::TypedObject10(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                             uint32_t id)
    : WorldObject(side, role, position, orientation, 0, id)
{
    const script::CharacterRecord* character = GetCharacter();
    const float size = character ? character->size : 1.0f;
    if (object_ && std::isfinite(size) && size > 0.0f && size != 1.0f)
        object_->placement_.SetScale({size, size, size});
}

int32_t TypedObject10::GetArmour() const
{
    return role_ && (role_->flags & script::kRoleDestroyAfterCollection) ? role_->armour : 100;
}

void TypedObject10::MarkTaken()
{
    taken_ = true;
    renderFlags_ &= ~ClientRender::kHitTested;
}

// ---------------------------------------------------------------------------
// TypedObject11

TypedObject11::TypedObject11(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                             uint32_t id)
    : WorldObject(side, role, position, orientation, ClientCreate::kFogBase, id),
      minimum_(position - Vec3{2, 0, 2}), maximum_(position + Vec3{2, 0, 2})
{
    g_kind11.push_back(this);
}

TypedObject11::~TypedObject11() { std::erase(g_kind11, this); }

std::vector<TypedObject11*>& TypedObject11::All() { return g_kind11; }

float TypedObject11::Signed()
{
    return static_cast<float>(WorldObjectTable::NextRandom() & 0xFFFFFF) / 8388608.0f - 1.0f;
}

void TypedObject11::Activate(uint64_t time, float seconds)
{
    nextDecision_ = time;
    renderFlags_ &= ~ClientRender::kHitTested;
    // Creatures of one role come in four sizes.
    static constexpr float kScales[4] = {0.5f, 1.0f, 1.5f, 2.0f};
    if (object_) {
        const float scale = kScales[(WorldObjectTable::NextRandom() >> 1) & 3];
        object_->placement_.SetScale({scale, scale, scale});
    }
    WorldObject::Activate(time, seconds);
}

void TypedObject11::Update(uint64_t time, float seconds)
{
    if (IsCarried()) {
        mode_ = 0;
    } else if (time >= nextDecision_) {
        const uint32_t r = WorldObjectTable::NextRandom();
        nextDecision_ = time + ((r >> 1) % 20) * static_cast<uint64_t>(AppTime::TicksPerSecond());
        if (mode_ == 0) {
            const script::CharacterRecord* character = GetCharacter();
            const float speed = character ? static_cast<float>(character->walkingSpeed) / 65536.0f : 0.0f;
            velocity_ = Vec3{Signed(), Signed(), Signed()}.Normalised() * speed;
            velocity_.y = 0;
            mode_ = (WorldObjectTable::NextRandom() & 2) ? 1 : 2;
        } else {
            mode_ = 0;
        }
    }
    if (mode_ == 1) {
        const float dt = std::max(0.0f, seconds - lastSeconds_);
        position_ = position_ + velocity_ * dt;
        if (velocity_.x != 0.0f || velocity_.z != 0.0f)
            orientation_ = YawOrientation(std::atan2(velocity_.x, velocity_.z) * kStepsPerRadian);
        const Vec3 clamped{std::clamp(position_.x, minimum_.x, maximum_.x), position_.y,
                           std::clamp(position_.z, minimum_.z, maximum_.z)};
        if (clamped.x != position_.x || clamped.z != position_.z) {
            position_ = clamped;
            mode_ = 0;
        }
    }
    for (WorldObject* other : WorldObjectTable::Snapshot()) {
        if (other == this || !other->IsWalking())
            continue;
        const Vec3 d = other->Position() - position_;
        const float reach = radius_ * radius_ + other->Radius() * other->Radius();
        if (d.LengthSquared() >= reach || !reported_.insert(other->GetId()).second)
            continue;
        uint8_t block[8];
        trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
        writer.U32(33);
        writer.U32(GetId());
        ClientServices::Get().Request(block, sizeof block, false);
    }
    WorldObject::Update(time, seconds);
}

void TypedObject11::CheckAll(const Vec3& point)
{
    for (size_t i = 0; i < g_kind11.size();) {
        TypedObject11* object = g_kind11[i];
        if (object->IsDestroyed() || !object->IsRegistered()) {
            // Already removed (a reference elsewhere keeps it): not again.
            g_kind11.erase(g_kind11.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if ((object->Position() - point).LengthSquared() < kCreatureHitSquared) {
            g_kind11.erase(g_kind11.begin() + static_cast<std::ptrdiff_t>(i));
            object->Remove();
            i = 0;
            continue;
        }
        ++i;
    }
}

// ---------------------------------------------------------------------------
// Kind units

void TypedUnit13::ReleaseReferences()
{
    linked_.Reset();
    Unit::ReleaseReferences();
}

void TypedUnit12::Update(uint64_t time, float seconds)
{
    Unit::Update(time, seconds);
    // A link chain that loops back never runs past the registry's size.
    WorldObject* previous = this;
    WorldObject* segment = linked_.Get();
    for (uint32_t guard = WorldObjectTable::Count(); segment && segment->IsAlive() && guard > 0; --guard) {
        auto* link = dynamic_cast<TypedUnit13*>(segment);
        if (!link || link == this)
            break;
        const Vec3 v = previous->Position() - segment->Position();
        if (v.LengthSquared() > 0.8f) {
            const float yaw = std::atan2(v.x, v.z);
            const float pitch = std::atan2(v.y, std::sqrt(v.x * v.x + v.z * v.z));
            segment->SetOrientation(Quaternion{0, std::sin(0.5f * yaw), 0, std::cos(0.5f * yaw)} *
                                    Quaternion{std::sin(-0.5f * pitch), 0, 0, std::cos(-0.5f * pitch)});
        }
        link->Unit::Update(time, seconds);
        previous = segment;
        segment = link->Linked();
    }
}

void TypedUnit16::Activate(uint64_t time, float seconds)
{
    WorldObject::PlaySequence(19);
    // Without a sequence player nothing reports the end: deployed at once.
    deploySequenceDone_ = object_ == nullptr;
    const bool wasStatic = staticPlacement_;
    staticPlacement_ = true;
    Unit::Activate(time, seconds);
    staticPlacement_ = wasStatic;
}

void TypedUnit16::PlayDeployment()
{
    WorldObject::PlaySequence(20);
    deployed_ = true;
}

void TypedUnit16::Update(uint64_t time, float seconds)
{
    if (IsAlive() && deploySequenceDone_)
        Unit::Update(time, seconds);
    else
        WorldObject::Update(time, seconds);
}

void TypedUnit16::PlaceAndDraw()
{
    Unit::PlaceAndDraw();
    if (!deployed_)
        onScreen_ = false;
}
