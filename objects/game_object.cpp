#include "objects/game_object.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "objects/ai.h"
#include "objects/image_fields.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "world/collision_query.h"
#include "world/level.h"
#include "world/map_build.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

// Placement advanced without drawing: animate only, sequences get the object.
constexpr uint32_t kAdvanceOnly = 0x09000000;

// A watcher nearer than 2 m does not count as seeing (squared metres).
constexpr float kNearestWatcherSquared = 4.0f;

template <size_t N>
void SendWords(const uint32_t (&words)[N], bool guaranteed)
{
    uint8_t block[N * 4];
    trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
    for (uint32_t w : words)
        writer.U32(w);
    ServerLink::Get().Send(block, sizeof block, guaranteed);
}

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

Level* LockedLevel() { return Level::Current(); }

} // namespace

GameObject::GameObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                       uint32_t creationFlags, uint32_t id)
    : id_(id), side_(side), role_(role), position_(position), orientation_(orientation)
{
    quiet_ = (creationFlags & (kCreateQuiet | kCreateQuietToo)) != 0;
    if (role_) {
        if (role_->character) {
            hitPoints_ = role_->character->strength;
            alarmDelay_ = role_->character->alarmDelay;
        }
        movesOnLifts_ = (role_->flags & script::kRoleMovesOnLifts) != 0;
        shape_ = MakeRoleObject(role_->shape, !(role_->flags & script::kRoleFragControl));
    }
    if (shape_) {
        shape_->placement_.SetPosition(position_);
        shape_->placement_.SetOrientation(orientation_);
        if (shape_->HasBounds()) {
            const Vec3 size = orientation_.Rotate(shape_->maximum_ - shape_->minimum_);
            extent_ = {std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)};
        }
    }
    radius_ = 0.5f * std::max(extent_.x, extent_.z);
    if (!(creationFlags & (kCreateQuiet | kCreateNoGeometry)) && shape_) {
        if (Level* level = LockedLevel()) {
            LockGuard guard(level->lock_, true);
            inGrid_ = level->AddObjectGeometry(shape_) != nullptr;
        }
    }
    ObjectRegistry::Global().Insert(*this);
}

GameObject::~GameObject()
{
    ObjectRegistry::Global().Erase(*this);
    if (inGrid_) {
        if (Level* level = LockedLevel()) {
            LockGuard guard(level->lock_, true);
            level->RemoveObjectGeometry(shape_);
        }
    }
    ReleaseLinks();
    if (listed_)
        SideLists::Global().Remove(*this);
    // Noise records that follow this object hold a reference, so none is
    // left by now; the device table holds none and must forget it.
    RemoteDeviceTable::Remove(*this);
    if (shape_)
        shape_->Release();
}

void GameObject::SetPosition(const Vec3& position)
{
    position_ = position;
    moved_ = true;
}

void GameObject::SetOrientation(const Quaternion& orientation)
{
    orientation_ = orientation;
    moved_ = true;
}

void GameObject::SetRole(script::Role* role)
{
    replacementRole_ = role;
    SendWords({ObjectMessage::kRoleChanged, id_, role ? static_cast<uint32_t>(role->id) : 0xFFFFFFFFu}, false);
}

void GameObject::SetSide(int32_t side) { side_ = side; }

Vec3 GameObject::GetAimPoint() const { return {position_.x, position_.y - 0.5f * extent_.y, position_.z}; }

float GameObject::GetHealthFraction() const
{
    const script::CharacterRecord* character = GetCharacter();
    if (hitPoints_ > 0 && character && character->strength > 0)
        return static_cast<float>(hitPoints_) / static_cast<float>(character->strength);
    return 1.0f;
}

const script::CharacterRecord* GameObject::GetCharacter() const
{
    return role_ && role_->character ? &*role_->character : nullptr;
}

int32_t GameObject::GetArmour() const { return role_ ? role_->armour : 0; }

float GameObject::GetSightRange() const
{
    const script::CharacterRecord* character = GetCharacter();
    return character ? character->sightRange : 0.0f;
}

int32_t GameObject::Activate(uint64_t now, float seconds)
{
    now_ = previous_ = now;
    nowSeconds_ = lastUpdate_ = seconds;
    if (Level* level = Level::Current()) {
        LockGuard guard(level->lock_, false);
        polygon_ = level->FindPolygonAt(position_);
    }
    // The AI event (a device deployed), not the think routine: a routine
    // runs from the AI pass at its own times.
    return eventCallback_ ? eventCallback_(*this, now) : 0;
}

void GameObject::ReleaseLinks()
{
    followed_.Reset();
    if (GameObject* held = std::exchange(held_, nullptr))
        held->Release();
}

void GameObject::Hold(GameObject* object)
{
    if (object)
        object->AddRef();
    ReleaseLinks();
    held_ = object;
}

bool GameObject::Place(const Vec3& position, const Quaternion& orientation, float seconds)
{
    lastSent_ = nowSeconds_ = seconds;
    now_ = static_cast<uint64_t>(static_cast<double>(seconds) * static_cast<double>(ServerLink::Get().TicksPerSecond()));
    position_ = position;
    orientation_ = orientation;
    return true;
}

bool GameObject::HitTestSegment(CollisionHit& result, const Vec3& start, const Vec3& vector, float maximum)
{
    if (!shape_)
        return false;
    CollisionHit hit;
    hit.fraction = maximum;
    const bool meshed = role_ && role_->shape.hasCollision;
    if (!(meshed ? CollideSegmentWithObject(hit, *shape_, start, vector)
                 : CollideSegmentWithObjectBounds(hit, *shape_, start, vector)))
        return false;
    result.fraction = hit.fraction;
    return true;
}

bool GameObject::HitTestTrajectory(CollisionHit& result, const Vec3& start, const Vec3& velocity,
                                   const Vec3& acceleration, float maximum)
{
    if (!shape_)
        return false;
    CollisionHit hit;
    hit.fraction = maximum;
    const bool meshed = role_ && role_->shape.hasCollision;
    if (!(meshed ? CollideTrajectoryWithObject(hit, *shape_, start, velocity, acceleration)
                 : CollideTrajectoryWithObjectBounds(hit, *shape_, start, velocity, acceleration)))
        return false;
    result.fraction = hit.fraction;
    return true;
}

void GameObject::PlaySequence(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                              uint8_t* completion, uint32_t mode, bool counted)
{
    if (shape_)
        shape_->PlaySequence(index, speed, repeatCount, start, completion, mode, counted);
}

void GameObject::PlaySequenceOnTrack(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                                     uint8_t* completion, uint32_t mode, bool counted, int32_t track)
{
    if (shape_)
        shape_->PlaySequenceOnTrack(index, speed, repeatCount, start, completion, mode, counted, track);
}

uint8_t GameObject::PlaySequenceTo(int32_t index, const int32_t* speed, const int32_t* from, const int32_t* to,
                                   uint64_t start, uint64_t* end, uint8_t* completion, uint32_t mode, bool counted)
{
    return shape_ ? shape_->PlaySequenceTo(index, speed, from, to, start, end, completion, mode, counted) : 0;
}

void GameObject::StopSequences(uint32_t flags, int32_t track)
{
    if (shape_)
        shape_->StopSequences(flags, track);
}

void GameObject::Detach()
{
    followed_.Reset();
    if (flags_ & kObjectHasTrackers)
        ObjectTrackers::RemoveFor(*this);
    RemoteDeviceTable::Remove(*this);
}

void GameObject::Remove(bool notify)
{
    if (removed_)
        return;
    removed_ = true;
    Detach();
    if (replacementRole_)
        ServerLink::Get().Spawn(0, replacementRole_, position_, Quaternion::Identity());
    if (notify)
        SendWords({ObjectMessage::kRemoved, id_}, true);
    ObjectRegistry::Global().Erase(*this);
    ObjectRegistry::Global().DropRemoved(*this);
}

void GameObject::TakeDamage(int32_t amount)
{
    if (amount < 0) {
        const script::CharacterRecord* character = GetCharacter();
        const int64_t healed = static_cast<int64_t>(hitPoints_) - amount;
        const int64_t cap = character ? character->strength : hitPoints_;
        hitPoints_ = static_cast<int32_t>(std::min(healed, std::max<int64_t>(cap, hitPoints_)));
        return;
    }
    const int32_t armour = GetArmour();
    if (amount <= armour)
        return;
    hitPoints_ = static_cast<int32_t>(std::max<int64_t>(static_cast<int64_t>(hitPoints_) - (amount - armour), INT32_MIN));
    if (hitPoints_ <= 0) {
        hitPoints_ = 0;
        // Without a destructibility record a dead object would linger at 0
        // hit points for ever: it goes instead.
        Destroy();
    }
}

void GameObject::Update(uint64_t now, float seconds)
{
    lifeTimer_ -= seconds - lastUpdate_;
    now_ = previous_ = now;
    nowSeconds_ = lastUpdate_ = seconds;
    if (shape_) {
        shape_->placement_.SetPosition(position_);
        shape_->placement_.SetOrientation(orientation_);
        shape_->UpdateSequences(now, kAdvanceOnly);
    }
    if (moved_)
        SendPlacement(seconds);
}

void GameObject::SendPlacement(float seconds)
{
    SendWords({ObjectMessage::kPlacement, id_, Bits(seconds), Bits(position_.x), Bits(position_.y), Bits(position_.z),
               Bits(orientation_.x), Bits(orientation_.y), Bits(orientation_.z), Bits(orientation_.w)},
              false);
    lastSent_ = seconds;
    moved_ = false;
}

void GameObject::Explode(int32_t& explosionNumber)
{
    const script::DestructionRecord& record = *role_->destruction;
    explosionNumber = ServerCounters::NextEventNumber();
    if (record.blastDamage == 0 || !(record.blastRange > 0))
        return;
    const float radiusSquared = record.blastRange * record.blastRange;
    // A work list: victims that blow up in turn add their blasts after this
    // one, never inside it, so a chain of explosions does not recurse.
    for (GameObject* victim : ObjectRegistry::Global().Snapshot()) {
        if (victim == this || !victim->IsAlive() || (victim->flags_ & kObjectExploded))
            continue;
        if ((victim->position_ - position_).LengthSquared() >= radiusSquared)
            continue;
        SendWords({ObjectMessage::kDamage, victim->id_, static_cast<uint32_t>(record.blastDamage)}, false);
        victim->TakeDamage(record.blastDamage);
    }
}

namespace {
// Blasts set off while another one is running wait here, so chains of
// explosions run one after another instead of nesting.
std::vector<GameObjectRef>* g_pendingBlasts = nullptr;
} // namespace

void GameObject::Destroy()
{
    if (flags_ & kObjectExploded)
        return;
    if (!role_ || !role_->destruction) {
        Remove(true);
        return;
    }
    flags_ |= kObjectExploded;
    if (g_pendingBlasts) {
        g_pendingBlasts->emplace_back(this);
        return;
    }
    std::vector<GameObjectRef> pending;
    g_pendingBlasts = &pending;
    pending.emplace_back(this);
    for (size_t i = 0; i < pending.size(); ++i) {
        GameObject& object = *pending[i];
        const script::DestructionRecord& record = *object.role_->destruction;
        object.Detach();
        int32_t explosionNumber = -1;
        script::Role* replacement = nullptr;
        bool remove = true;
        switch (record.kind) {
        case script::DestructionKind::kFragData:
            replacement = const_cast<script::Role*>(record.replaceRole);
            object.Explode(explosionNumber);
            remove = record.replace;
            break;
        case script::DestructionKind::kFragScript:
            if (ServerLink::Get().broadcastCommandFile)
                ServerLink::Get().broadcastCommandFile(record.name);
            remove = record.replace;
            break;
        default:
            break;
        }
        SendWords({ObjectMessage::kDestroyed, object.id_, static_cast<uint32_t>(explosionNumber)}, !remove);
        if (replacement) {
            const int32_t side = replacement->destruction ? object.side_ : 0;
            const uint32_t spawned = ServerLink::Get().Spawn(side, replacement, object.position_, object.orientation_);
            GameObject* made = spawned ? ObjectRegistry::Global().Find(spawned) : nullptr;
            if (made && made->shape_ && made->shape_->HasSequence(3))
                SendWords({ObjectMessage::kPlaySequence, spawned, 3u}, false);
        }
        if (remove)
            object.Remove(true);
    }
    g_pendingBlasts = nullptr;
}

bool GameObject::IsUnobserved() const
{
    const MathTables& tables = MathTables::Get();
    for (GameObject* watcher : ObjectRegistry::Global().Snapshot()) {
        if (watcher == this || !watcher->IsAlive() || !watcher->IsActor() || watcher->side_ == side_)
            continue;
        if (TeamTable::IsNeutral(watcher->side_))
            continue;
        const Vec3 toward = position_ - watcher->position_;
        const float distanceSquared = toward.LengthSquared();
        const float sight = watcher->GetSightRange();
        if (!(distanceSquared > kNearestWatcherSquared) || !(distanceSquared < sight * sight))
            continue;
        const Vec3 facing = Quaternion::ZAxis(watcher->orientation_);
        const float facingLength = std::sqrt(facing.x * facing.x + facing.z * facing.z);
        const float towardLength = std::sqrt(toward.x * toward.x + toward.z * toward.z);
        if (facingLength == 0 || towardLength == 0)
            continue;
        const float cosine = (facing.x * toward.x + facing.z * toward.z) / (facingLength * towardLength);
        const script::CharacterRecord* character = watcher->GetCharacter();
        const int32_t angle = character ? character->sightAngle : 0;
        if (cosine > tables.sine[(angle & kAngleMask) + kAngleSteps / 4])
            return false;
    }
    return true;
}

namespace {
using ImageField::Get;
using ImageField::Put;

// The plain object's fields the reader takes over; the placement words
// (side, position, orientation, role and id) are read by the frame to
// create the object, never copied over a live one.
template <typename Object, typename Field>
void VisitImage(Object& o, Field&& field)
{
    field(0x30, o.followedId_);
    field(0x44, o.aiType_);
    field(0x48, o.aiState_);
    field(0x50, o.nextThink_);
    field(0x58, o.speedFactor_);
    field(0x5c, o.aiPoint_);
    field(0x68, o.missCount_);
    field(0x6c, o.fleeing_);
    field(0x70, o.flags_);
    field(0x74, o.alertLevel_);
    field(0x78, o.lifeTimer_);
    field(0x7c, o.lastUpdate_);
    field(0x80, o.aggression_);
    field(0x84, o.alarmDelay_);
    field(0x90, o.alertEnd_);
    field(0x98, o.waitUntil_);
    // The combat routine's memory and the guard's anchor.
    field(0xa0, o.retargetTime_);
    field(0xa8, o.targetDistance_);
    field(0xac, o.baseRoundTime_);
    field(0xe0, o.home_);
    field(0xf8, o.hasHome_);
    field(0xb8, o.now_);
    field(0xc0, o.previous_);
    field(0xc8, o.nowSeconds_);
    field(0xcc, o.lastSent_);
    field(0xd4, o.extent_);
    field(0xec, o.moved_);
    field(0xf0, o.radius_);
    field(0xf6, o.active_);
    field(0xf7, o.quiet_);
}
} // namespace

void GameObject::WriteImage(std::span<uint8_t> image) const
{
    if (image.size() < 256)
        return;
    Put(image, 0x04, side_);
    Put(image, 0x08, position_);
    trevok::ByteWriter orientation(image.subspan(0x14));
    orientation.F32(orientation_.x);
    orientation.F32(orientation_.y);
    orientation.F32(orientation_.z);
    orientation.F32(orientation_.w);
    Put(image, 0x24, role_ ? role_->id : -1);
    Put(image, 0x28, id_);
    Put(image, 0x8c, hitPoints_);
    Put(image, 0xf4, inGrid_);
    Put(image, 0xf5, removed_);
    VisitImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool GameObject::SaveState(trevok::ByteWriter& out) const
{
    out.U32(replacementRole_ ? static_cast<uint32_t>(replacementRole_->id) + 1 : 0);
    out.U32(held_ ? held_->GetId() + 1 : 0);
    return out.Ok();
}

bool GameObject::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (image.size() < SizeInBytes())
        return false;
    VisitImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitImage(*this, field); });
    if (unsoundWord_)
        return false;
    Get(image, 0x8c, hitPoints_);
    loadedReplacementRole_ = in.U32();
    loadedHeld_ = in.U32();
    return in.Ok();
}

bool GameObject::AfterLoad()
{
    bool ok = true;
    if (loadedReplacementRole_ != 0) {
        replacementRole_ = RoleTable::Global().FindById(static_cast<int32_t>(loadedReplacementRole_ - 1));
        ok = replacementRole_ != nullptr;
    }
    if (loadedHeld_ != 0) {
        GameObject* held = ObjectRegistry::Global().Find(loadedHeld_ - 1);
        ok = ok && held && held != this;
        if (held && held != this)
            Hold(held);
    }
    loadedReplacementRole_ = loadedHeld_ = 0;
    return ok;
}
