// Actors, units, projectiles, lifts and pick-ups in a full saved game: their own image
// fields, and the state blocks that store their references as numbers.
#include "objects/actor.h"
#include "objects/body_part.h"
#include "objects/image_fields.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/path_mover.h"
#include "objects/projectile.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {
using ImageField::Get;
using ImageField::Put;

constexpr uint32_t kMoveToWaypoint = 2;
constexpr int32_t kMaxBodySlot = 31;
constexpr int32_t kLastPathState = 3;
constexpr size_t kOrderPolygonWord = 28;  // in the 36-byte order record

CollisionPolygon* LevelPolygon(uint32_t index)
{
    Level* level = Level::Current();
    return level ? level->PolygonAt(index) : nullptr;
}

void WritePoints(trevok::ByteWriter& out, const std::vector<Waypoint>& points)
{
    out.U32(static_cast<uint32_t>(points.size()));
    for (const Waypoint& w : points) {
        out.F32(w.point.x);
        out.F32(w.point.y);
        out.F32(w.point.z);
        out.I32(w.keep);
    }
}

bool ReadPoints(trevok::ByteReader& in, std::vector<Waypoint>& points)
{
    const uint32_t count = in.U32();
    if (!in.Ok() || count > in.Remaining() / 16)
        return false;
    points.clear();
    for (uint32_t i = 0; i < count; ++i) {
        Waypoint& w = points.emplace_back();
        w.point = {in.F32(), in.F32(), in.F32()};
        w.keep = in.I32();
    }
    return in.Ok();
}
// The object a stored id + 1 names, with one reference for the holder;
// none for 0, a missing object or the holder itself.
GameObject* CountedTarget(const GameObject& holder, uint32_t stored)
{
    GameObject* target = stored == 0 ? nullptr : ObjectRegistry::Global().Find(stored - 1);
    if (!target || target == &holder)
        return nullptr;
    target->AddRef();
    return target;
}
} // namespace

template <typename Self, typename Field>
void Actor::VisitActorImage(Self& a, Field&& field)
{
    field(0x100, a.moveTarget_);
    field(0x10c, a.orderTime_);
    field(0x110, a.carriedFlag_);
    field(0x114, a.cloakOwner_);
    field(0x118, a.aimAngle_);
    field(0x11c, a.legTime_);
    field(0x120, a.crouching_);
    field(0x121, a.walking_);  // 0 in older saves: those actors load standing
    field(0x122, a.hidden_);
    field(0x124, a.speed_);
    field(0x128, a.sightRange_);
    field(0x12c, a.standingOrder_);
    field(0x148, a.holdPosition_);
    field(0x150, a.pathState_);
}

void Actor::WriteImage(std::span<uint8_t> image) const
{
    GameObject::WriteImage(image);
    if (image.size() >= kImageSize)
        VisitActorImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool Actor::SaveState(trevok::ByteWriter& out) const
{
    GameObject::SaveState(out);
    out.U32(static_cast<uint32_t>(equipped_.size()));
    for (const EquippedItem& e : equipped_) {
        out.I32(e.itemId);
        out.I32(e.slot);
    }
    out.U32(static_cast<uint32_t>(orders_.size()));
    for (const OrderRecord& order : orders_) {
        order.Write(out);
        if (static_cast<uint32_t>(order.kind) == kMoveToWaypoint)
            out.I32(order.polygon ? static_cast<int32_t>(order.polygon->tableIndex_) : -1);
    }
    out.U32(destination_ ? destination_->tableIndex_ + 1 : 0);
    WritePoints(out, waypoints_);
    WritePoints(out, sparePoints_);
    return out.Ok();
}

// Polygon indices the running level does not have load as no polygon.
bool Actor::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!GameObject::LoadState(in, image))
        return false;
    VisitActorImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitActorImage(*this, field); });
    if (unsoundWord_ || pathState_ < 0 || pathState_ > kLastPathState)
        return false;
    // A pick-up sequence does not come back, so neither does its busy mark;
    // a leg under way goes on to its stored move target.
    busy_ = false;
    restored_ = true;
    // The squad's inventory, which activation would make, takes the saved
    // items before then.
    if (!inventory_ && TeamTable::IsSquadSide(Side()))
        inventory_ = std::make_unique<Inventory>(character_ ? character_->weapon : 0, 15);
    const uint32_t slots = in.U32();
    if (!in.Ok() || slots > in.Remaining() / 8)
        return false;
    equipped_.clear();
    for (uint32_t i = 0; i < slots; ++i) {
        EquippedItem& e = equipped_.emplace_back();
        e.itemId = in.I32();
        e.slot = in.I32();
        if (e.slot < 0 || e.slot > kMaxBodySlot)
            return false;
    }
    const uint32_t orders = in.U32();
    if (!in.Ok() || orders > in.Remaining() / OrderRecord::kSize)
        return false;
    orders_.clear();
    for (uint32_t i = 0; i < orders; ++i) {
        std::array<uint8_t, OrderRecord::kSize> bytes{};
        in.Bytes(bytes.data(), bytes.size());
        const int32_t stored = trevok::ByteReader(bytes).At(kOrderPolygonWord).I32();
        trevok::ByteWriter(std::span<uint8_t>(bytes).subspan(kOrderPolygonWord)).I32(-1);
        trevok::ByteReader record(bytes);
        OrderRecord& order = orders_.emplace_back();
        if (!in.Ok() || !OrderRecord::Read(record, nullptr, order))
            return false;
        int32_t polygon = stored;
        if (static_cast<uint32_t>(order.kind) == kMoveToWaypoint)
            polygon = in.I32();
        order.polygon = polygon < 0 ? nullptr : LevelPolygon(static_cast<uint32_t>(polygon));
    }
    const uint32_t destination = in.U32();
    destination_ = destination == 0 ? nullptr : LevelPolygon(destination - 1);
    if (!in.Ok() || !ReadPoints(in, waypoints_) || !ReadPoints(in, sparePoints_))
        return false;
    // The waypoint cursor is not stored. It stands on the waypoint the
    // current leg walks to (a patrol goes on from there), else on the first.
    const auto leg = std::find_if(waypoints_.begin(), waypoints_.end(),
                                  [this](const Waypoint& w) { return w.point == moveTarget_; });
    cursor_ = leg == waypoints_.end() ? 0 : static_cast<size_t>(leg - waypoints_.begin());
    return true;
}

// An equipped entry whose item is no longer carried is dropped; the others
// show on their body parts again.
bool Actor::AfterLoad()
{
    const bool ok = GameObject::AfterLoad();
    std::erase_if(equipped_, [this](EquippedItem& e) {
        const CarriedItem* item = inventory_ ? inventory_->FindById(e.itemId) : nullptr;
        if (item) {
            e.type = item->kind;
            e.subtype = item->subtype;
            if (const script::Role* made = RoleTable::Global().FindById(item->roleId); made && Shape())
                BodyPart::Attach(*Shape(), BodyPart::ItemLook(*made), e.slot);
        }
        return item == nullptr;
    });
    return ok;
}

template <typename Self, typename Field>
void UnitActor::VisitUnitImage(Self& u, Field&& field)
{
    field(0x1b8, u.aimPoint_);
    field(0x1c4, u.sweepAngle_);
    field(0x1c8, u.nextSweep_);
    field(0x1cc, u.cycleWeapon_);
    field(0x1d0, u.cycleSecondary_);
    // The sweep under way (zero in older saves: the beam then waits for
    // the next sweep).
    field(0x1d4, u.lastScan_);
    field(0x1d8, u.sweepDirection_);
    field(0x1dc, u.beamOn_);
    field(0x22c, u.armour_);
    field(0x230, u.shield_);
    field(0x234, u.aimStart_);
    field(0x238, u.lastAim_);
    field(0x240, u.attacking_);
    field(0x241, u.holdFire_);
    field(0x248, u.aimYaw_);
    field(0x24c, u.aimPitch_);
    field(0x250, u.muzzleSpeed_);
    field(0x258, u.rounds_);
    field(0x25d, u.fireEnabled_);
    field(0x25e, u.mayFire_);
    field(0x264, u.burstLength_);
    field(0x268, u.cycleTime_);
    field(0x270, u.cycleTime2_);
    field(0x278, u.nextShot_);
    field(0x280, u.burstEnd_);
}

// The aim poses still under way, one byte each (zero in older saves:
// their units load with both poses arrived).
constexpr size_t kYawPoseUnderWay = 0x1e0, kPitchPoseUnderWay = 0x1e1;

void UnitActor::WriteImage(std::span<uint8_t> image) const
{
    Actor::WriteImage(image);
    if (image.size() < 0x288)
        return;
    VisitUnitImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
    Put(image, kYawPoseUnderWay, yawReached_ == 0);
    Put(image, kPitchPoseUnderWay, pitchReached_ == 0);
}

bool UnitActor::SaveState(trevok::ByteWriter& out) const
{
    Actor::SaveState(out);
    WriteUnitWords(out, weapon_.get(), ammoItem_, target_ ? target_->GetId() + 1 : 0);
    return out.Ok();
}

bool UnitActor::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!Actor::LoadState(in, image))
        return false;
    VisitUnitImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitUnitImage(*this, field); });
    if (unsoundWord_ || !ReadUnitWords(in, weapon_, ammoItem_, loadedTarget_))
        return false;
    // A beam never points outside its sight angle.
    sweepAngle_ = std::clamp(sweepAngle_, -std::fabs(sightAngle_), std::fabs(sightAngle_));
    bool yawUnderWay = false, pitchUnderWay = false;
    Get(image, kYawPoseUnderWay, yawUnderWay);
    Get(image, kPitchPoseUnderWay, pitchUnderWay);
    yawReached_ = yawUnderWay ? 0 : 1;
    pitchReached_ = pitchUnderWay ? 0 : 1;
    // Without a record for the stored ammunition the type is kept as stored.
    if (weapon_)
        SelectWeaponAmmo(weapon_->ammoType);
    return true;
}

// A target that is gone loads as none.
bool UnitActor::AfterLoad()
{
    const bool ok = Actor::AfterLoad();
    if (!target_)
        target_ = CountedTarget(*this, std::exchange(loadedTarget_, 0));
    return ok;
}

template <typename Self, typename Field>
void Projectile::VisitProjectileImage(Self& p, Field&& field)
{
    field(0x100, p.start_);
    field(0x10c, p.shooterId_);
    field(0x110, p.damageFactor_);
    field(0x118, p.velocity_);
    field(0x124, p.launchSeconds_);
    field(0x128, p.launchTime_);
    field(0x130, p.lifetime_);
}

void Projectile::WriteImage(std::span<uint8_t> image) const
{
    GameObject::WriteImage(image);
    if (image.size() >= kImageSize)
        VisitProjectileImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool Projectile::SaveState(trevok::ByteWriter& out) const
{
    GameObject::SaveState(out);
    out.U32(target_ ? target_->GetId() + 1 : 0);
    return out.Ok();
}

// The shot keeps its start, velocity and launch times, so it goes on along
// its path; a pending hit is found again by the launch test.
bool Projectile::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!GameObject::LoadState(in, image))
        return false;
    VisitProjectileImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    restored_ = true;
    loadedTarget_ = in.U32();
    return in.Ok() && std::isfinite(lifetime_);
}

bool Projectile::AfterLoad()
{
    const bool ok = GameObject::AfterLoad();
    if (!target_)
        target_ = CountedTarget(*this, std::exchange(loadedTarget_, 0));
    return ok;
}

// The blend is derived from the two orientations; the geometry is found
// again when the lift is activated.
template <typename Self, typename Field>
void Kind8Object::VisitKind8Image(Self& k, Field&& field)
{
    field(0x100, k.carriesRiders_);
    field(0x101, k.pathSet_);
    field(0x102, k.moving_);
    field(0x103, k.direction_);
    field(0x104, k.loops_);
    field(0x105, k.paused_);
    field(0x10c, k.speed_);
    field(0x114, k.curve_[0]);
    field(0x120, k.curve_[1]);
    field(0x12c, k.curve_[2]);
    field(0x138, k.curve_[3]);
    field(0x158, k.startOrientation_);
    field(0x168, k.endOrientation_);
    field(0x178, k.startTime_);
    field(0x180, k.pauseTime_);
}

namespace {
// The image keeps the loop time in 32 bits at 0x108; a longer loop is saved
// as the longest that fits.
constexpr size_t kKind8LoopTimeWord = 0x108;
int32_t ImageLoopTime(int64_t ticks)
{
    return static_cast<int32_t>(std::clamp<int64_t>(ticks, INT32_MIN, INT32_MAX));
}
} // namespace

void Kind8Object::WriteImage(std::span<uint8_t> image) const
{
    GameObject::WriteImage(image);
    if (image.size() >= 0x190) {
        VisitKind8Image(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
        Put(image, kKind8LoopTimeWord, ImageLoopTime(loopTime_));
    }
}

bool Kind8Object::SaveState(trevok::ByteWriter& out) const
{
    GameObject::SaveState(out);
    out.U32(static_cast<uint32_t>(riders_.size()));
    for (const GameObjectRef& rider : riders_)
        out.U32(rider->GetId());
    return out.Ok();
}

bool Kind8Object::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!GameObject::LoadState(in, image))
        return false;
    VisitKind8Image(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    int32_t loopTime = 0;
    Get(image, kKind8LoopTimeWord, loopTime);
    loopTime_ = loopTime;
    BoundLoadedTimes();
    // A speed not above 0 would never arrive and breaks the reversal's
    // arithmetic: such a file gets a new mover's speed.
    const float saved = std::exchange(speed_, kDefaultSpeed);
    SetSpeed(saved);
    blend_.Setup(startOrientation_, endOrientation_);
    const uint32_t count = in.U32();
    if (!in.Ok() || count > in.Remaining() / 4)
        return false;
    loadedRiders_.clear();
    for (uint32_t i = 0; i < count; ++i)
        loadedRiders_.push_back(in.U32());
    return in.Ok();
}

// Riders that are gone are left out.
bool Kind8Object::AfterLoad()
{
    const bool ok = GameObject::AfterLoad();
    riders_.clear();
    for (uint32_t id : loadedRiders_) {
        GameObject* rider = ObjectRegistry::Global().Find(id);
        if (rider && rider != this)
            riders_.emplace_back(rider);
    }
    loadedRiders_.clear();
    return ok;
}

// Word 0x10c says whether the command file's name follows the state block;
// a run-once file that already ran has none.
constexpr size_t kKind10CommandFileWord = 0x10c;
constexpr uint32_t kMaxCommandFileName = 4096;

template <typename Self, typename Field>
void Kind10Object::VisitKind10Image(Self& k, Field&& field)
{
    field(0x100, k.collected_);
    field(0x104, k.itemKind_);
    field(0x108, k.destroyAfterCollection_);
    field(0x114, k.runOnce_);
}

void Kind10Object::WriteImage(std::span<uint8_t> image) const
{
    GameObject::WriteImage(image);
    if (image.size() < kImageSize)
        return;
    VisitKind10Image(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
    Put(image, kKind10CommandFileWord, commandFile_.has_value());
}

bool Kind10Object::SaveState(trevok::ByteWriter& out) const
{
    GameObject::SaveState(out);
    if (commandFile_) {
        out.U32(static_cast<uint32_t>(commandFile_->size()) + 1);
        out.Bytes(commandFile_->data(), commandFile_->size());
        out.U8(0);
    }
    return out.Ok();
}

// The name ends in its NUL; whether it may run is checked when it runs.
bool Kind10Object::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!GameObject::LoadState(in, image))
        return false;
    VisitKind10Image(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    bool hasFile = false;
    Get(image, kKind10CommandFileWord, hasFile);
    commandFile_.reset();
    if (!hasFile)
        return true;
    const uint32_t length = in.U32();
    if (!in.Ok() || length == 0 || length > kMaxCommandFileName + 1 || !in.Has(length))
        return false;
    std::string name(length - 1, '\0');
    in.Bytes(name.data(), name.size());
    if (in.U8() != 0)
        return false;
    commandFile_ = std::move(name);
    return in.Ok();
}

void Kind16Actor::WriteImage(std::span<uint8_t> image) const
{
    UnitActor::WriteImage(image);
    if (image.size() >= kImageSize) {
        Put(image, 0x288, woken_);
        Put(image, 0x289, rising_);
    }
}
