// Client replicas in a full saved game: their own image fields, and the
// state blocks that keep their references (roles, items, targets, riders,
// level polygons) as numbers until every replica of the save exists.
#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "objects/body_part.h"
#include "objects/image_fields.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
using ImageField::Get;
using ImageField::Put;

constexpr int32_t kLastClientSlot = 12;
constexpr int32_t kLastOrderKind = LocalOrder::kChangeAmmo;
constexpr uint32_t kOrderSize = 36;

// One reference for the holder: none for 0, a missing object or itself.
WorldObjectRef StoredObject(const WorldObject& holder, uint32_t storedPlusOne)
{
    WorldObject* object = storedPlusOne == 0 ? nullptr : WorldObjectTable::FindById(storedPlusOne - 1);
    return WorldObjectRef(object == &holder ? nullptr : object);
}

void WriteOrder(trevok::ByteWriter& out, const LocalOrder& order)
{
    out.I32(order.kind);
    out.I32(order.value);
    out.I32(order.item);
    out.I32(order.slot);
    out.F32(order.position.x);
    out.F32(order.position.y);
    out.F32(order.position.z);
    out.U32(order.polygon);
    out.I32(order.attackFlag);
}

LocalOrder ReadOrder(trevok::ByteReader& in)
{
    LocalOrder order;
    order.kind = in.I32();
    order.value = in.I32();
    order.item = in.I32();
    order.slot = in.I32();
    order.position = {in.F32(), in.F32(), in.F32()};
    order.polygon = in.U32();
    order.attackFlag = in.I32();
    return order;
}
} // namespace

// ---------------------------------------------------------------------------
// WorldObject

template <typename Self, typename Field>
void WorldObject::VisitImage(Self& o, Field&& field)
{
    field(0x2c, o.lastSeconds_);
    field(0x30, o.countdown_);
    field(0x34, o.lastSequence_);
    field(0x38, o.hitPoints_);
    field(0x40, o.time_);
    field(0x48, o.previousTime_);
    field(0x50, o.seconds_);
    field(0x54, o.placementSeconds_);
    field(0x58, o.extent_);
    field(0x64, o.radius_);
    field(0x68, o.coronaFollowsPart_);
    field(0x69, o.destroyed_);
    field(0x6a, o.staticPlacement_);
    field(0x6b, o.shownInCutScenes_);
}

void WorldObject::WriteImage(std::span<uint8_t> image) const
{
    if (image.size() < 256)
        return;
    Put(image, 0x04, side_);
    Put(image, 0x08, position_);
    Put(image, 0x14, orientation_);
    Put(image, 0x24, role_ ? role_->id : -1);
    Put(image, 0x28, id_);
    // Written for readers of the file only: whether the new object's shape
    // is in the level's geometry is what its own construction did.
    Put(image, 0x6c, inLevelGeometry_);
    VisitImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool WorldObject::SaveState(trevok::ByteWriter& out) const
{
    out.U32(shownRole_ ? static_cast<uint32_t>(shownRole_->id) + 1 : 0);
    return out.Ok();
}

bool WorldObject::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (image.size() < SizeInBytes())
        return false;
    VisitImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    loadedShownRole_ = in.U32();
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitImage(*this, field); });
    return in.Ok() && !unsoundWord_;
}

bool WorldObject::FixUpAfterLoad()
{
    shownRole_ = loadedShownRole_ == 0 ? nullptr
                                       : RoleTable::Global().FindById(static_cast<int32_t>(loadedShownRole_ - 1));
    loadedShownRole_ = 0;
    return true;
}

void WorldObject::ActivateLoaded()
{
    const uint64_t previous = previousTime_;
    const float last = lastSeconds_;
    Activate(time_, seconds_);
    previousTime_ = previous;
    lastSeconds_ = last;
}

bool WorldObjectTable::Rekey(WorldObject& object, uint32_t id)
{
    WorldObject* holder = FindById(id);
    if (holder && holder != &object)
        return false;
    const bool registered = object.registered_;
    if (registered)
        Erase(object);
    object.id_ = id;
    if (registered)
        Insert(object);
    return true;
}

// ---------------------------------------------------------------------------
// MovingObject

template <typename Self, typename Field>
void MovingObject::VisitMovingImage(Self& m, Field&& field)
{
    field(0x100, m.disguised_);
    field(0x101, m.crouched_);
    field(0x104, m.disguiseId_);
    field(0x108, m.viewRange_);
    field(0x10c, m.speedFactor_);
    field(0x110, m.standingOrder_);
    field(0x114, m.finalDestination_);
    field(0x120, m.nextPoint_);
}

void MovingObject::WriteImage(std::span<uint8_t> image) const
{
    WorldObject::WriteImage(image);
    if (image.size() >= 464)
        VisitMovingImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool MovingObject::SaveState(trevok::ByteWriter& out) const
{
    WorldObject::SaveState(out);
    out.U32(static_cast<uint32_t>(worn_.size()));
    for (const WornItem& w : worn_) {
        out.I32(w.itemId);
        out.I32(w.slot);
    }
    out.U32(static_cast<uint32_t>(orders_.size()));
    for (const LocalOrder& order : orders_) {
        WriteOrder(out, order);
        if (order.kind == LocalOrder::kWaypoint)
            out.U32(order.polygon);
    }
    return out.Ok();
}

// A waypoint order's polygon the running level does not have loads as none.
bool MovingObject::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!WorldObject::LoadState(in, image))
        return false;
    VisitMovingImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    moving_ = false;  // the motion starts again with the server's next report
    // The squad's inventory, which activation would make, takes the saved
    // items before then.
    if (!inventory_ && TeamTable::IsSquadSide(side_))
        inventory_ = std::make_unique<Inventory>(character_ ? character_->weapon : 0, 15);
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitMovingImage(*this, field); });
    if (unsoundWord_)
        return false;
    const uint32_t slots = in.U32();
    if (!in.Ok() || slots > in.Remaining() / 8)
        return false;
    worn_.clear();
    for (uint32_t i = 0; i < slots; ++i) {
        WornItem w{};
        w.itemId = in.I32();
        w.slot = in.I32();
        if (!in.Ok() || w.slot < 0 || w.slot > kLastClientSlot)
            return false;
        worn_.push_back(w);
    }
    const uint32_t orders = in.U32();
    if (!in.Ok() || orders > in.Remaining() / kOrderSize)
        return false;
    orders_.clear();
    const Level* level = Level::Current();
    for (uint32_t i = 0; i < orders; ++i) {
        LocalOrder order = ReadOrder(in);
        if (!in.Ok() || order.kind < 0 || order.kind > kLastOrderKind)
            return false;
        if (order.kind == LocalOrder::kWaypoint) {
            const uint32_t index = in.U32();
            order.polygon = level && level->PolygonAt(index) ? index : MotionRecord::kNoPolygon;
        }
        orders_.push_back(order);
    }
    return in.Ok();
}

// A disguise made again on load carries its own box: it is clip-tested and
// picked as the look it shows, not as the body under it.
constexpr bool kLoadedDisguiseHasBox = true;

// Worn entries whose item is no longer carried are dropped, the others
// show on their body parts again and open their screens again; a disguise whose object is gone is taken
// off, one whose object is here is drawn in its look again.
bool MovingObject::FixUpAfterLoad()
{
    WorldObject::FixUpAfterLoad();
    std::erase_if(worn_, [this](const WornItem& w) { return !inventory_ || !inventory_->FindById(w.itemId); });
    for (const WornItem& w : worn_) {
        const CarriedItem& item = *inventory_->FindById(w.itemId);
        const script::Role* made = RoleTable::Global().FindById(item.roleId);
        if (made && object_)
            BodyPart::Attach(*object_, BodyPart::ItemLook(*made), w.slot);
        ShowItemScreen(item, true);
    }
    if (disguise_)
        disguise_->Release();
    disguise_ = nullptr;
    if (disguised_ && disguiseId_ != -1) {
        const WorldObject* look = WorldObjectTable::FindById(static_cast<uint32_t>(disguiseId_));
        const script::Role* role = look ? look->GetRole() : nullptr;
        if (!look)
            disguiseId_ = -1;
        else if (auto* model = role ? static_cast<Hierarchy*>(role->shape.hierarchy.get()) : nullptr)
            disguise_ = VeObject::FromHierarchy(model, kLoadedDisguiseHasBox);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Unit

template <typename Self, typename Field>
void Unit::VisitUnitImage(Self& u, Field&& field)
{
    field(0x1d0, u.armour_);
    field(0x1d4, u.shield_);
    field(0x1d8, u.attacking_);
    field(0x1d9, u.lob_);
    field(0x1da, u.aimFlag_);
    field(0x1dc, u.unitValue_);
    field(0x1e0, u.rounds_);
    field(0x1e4, u.targetPoint_);
    field(0x1f0, u.lastAimTime_);
    field(0x1f4, u.muzzleSpeed_);
}

void Unit::WriteImage(std::span<uint8_t> image) const
{
    MovingObject::WriteImage(image);
    if (image.size() >= 632)
        VisitUnitImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool Unit::SaveState(trevok::ByteWriter& out) const
{
    MovingObject::SaveState(out);
    WriteUnitWords(out, weapon_.get(), ammoItem_, target_ ? target_->GetId() + 1 : 0);
    return out.Ok();
}

bool Unit::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!MovingObject::LoadState(in, image) || !ReadUnitWords(in, weapon_, ammoItem_, loadedTarget_))
        return false;
    // Without a record for the stored ammunition the type is kept as stored.
    if (weapon_)
        weapon_->SelectAmmo(weapon_->ammoType);
    VisitUnitImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    unsoundWord_ = ImageField::FirstUnsound([&](auto&& field) { VisitUnitImage(*this, field); });
    return !unsoundWord_;
}

// An item or target that is gone loads as none.
bool Unit::FixUpAfterLoad()
{
    MovingObject::FixUpAfterLoad();
    if (ammoItem_ != -1 && !(inventory_ && inventory_->FindById(ammoItem_)))
        ammoItem_ = -1;
    target_ = StoredObject(*this, loadedTarget_);
    loadedTarget_ = 0;
    return true;
}

// Readying the weapon at activation would choose its default ammunition:
// the stored one and the magazine stay.
void Unit::ActivateLoaded()
{
    const int32_t ammo = weapon_ ? weapon_->ammoType : 0;
    const uint32_t rounds = rounds_;
    WorldObject::ActivateLoaded();
    if (weapon_ && !weapon_->SelectAmmo(ammo))
        weapon_->ammoType = ammo;
    rounds_ = rounds;
}

// ---------------------------------------------------------------------------
// WorldProjectile

template <typename Self, typename Field>
void WorldProjectile::VisitProjectileImage(Self& p, Field&& field)
{
    field(0x100, p.launchPosition_);
    field(0x10c, p.shooterId_);
    field(0x110, p.velocity_);
    field(0x120, p.launchTime_);
    field(0x128, p.launchSeconds_);
    field(0x12c, p.damageFactor_);
}

void WorldProjectile::WriteImage(std::span<uint8_t> image) const
{
    WorldObject::WriteImage(image);
    if (image.size() >= 320)
        VisitProjectileImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool WorldProjectile::SaveState(trevok::ByteWriter& out) const
{
    WorldObject::SaveState(out);
    out.U32(target_ ? target_->GetId() + 1 : 0);
    return out.Ok();
}

bool WorldProjectile::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!WorldObject::LoadState(in, image))
        return false;
    VisitProjectileImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    loadedTarget_ = in.U32();
    // Saves made before the factor was kept hold 0 there: the plain damage.
    SetDamageFactor(damageFactor_);
    const float words[] = {launchPosition_.x, launchPosition_.y, launchPosition_.z, velocity_.x, velocity_.y,
                           velocity_.z};
    return in.Ok() && std::all_of(std::begin(words), std::end(words), [](float f) { return std::isfinite(f); });
}

bool WorldProjectile::FixUpAfterLoad()
{
    WorldObject::FixUpAfterLoad();
    target_ = StoredObject(*this, loadedTarget_);
    loadedTarget_ = 0;
    return true;
}

// The shot goes on along its path from its stored launch.
void WorldProjectile::ActivateLoaded()
{
    const uint64_t launchTime = launchTime_;
    const float launchSeconds = launchSeconds_;
    WorldObject::ActivateLoaded();
    launchTime_ = launchTime;
    launchSeconds_ = launchSeconds;
}

// ---------------------------------------------------------------------------
// TypedObject8

template <typename Self, typename Field>
void TypedObject8::VisitLiftImage(Self& k, Field&& field)
{
    field(0x100, k.carriesRiders_);
    field(0x101, k.pathSet_);
    field(0x102, k.running_);
    field(0x103, k.direction_);
    field(0x104, k.loops_);
    field(0x108, k.speed_);
    field(0x10c, k.c0_);
    field(0x118, k.c1_);
    field(0x124, k.c2_);
    field(0x130, k.c3_);
    field(0x13c, k.blend_.q0);
    field(0x14c, k.blend_.q1);
    field(0x160, k.startTime_);
    field(0x168, k.pauseTime_);
    field(0x170, k.loopInterval_);
}

void TypedObject8::WriteImage(std::span<uint8_t> image) const
{
    WorldObject::WriteImage(image);
    if (image.size() >= 416)
        VisitLiftImage(*this, [&](size_t at, const auto& value) { Put(image, at, value); });
}

bool TypedObject8::SaveState(trevok::ByteWriter& out) const
{
    WorldObject::SaveState(out);
    out.U32(static_cast<uint32_t>(riders_.size()));
    for (const WorldObjectRef& rider : riders_)
        out.U32(rider->GetId());
    return out.Ok();
}

bool TypedObject8::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!WorldObject::LoadState(in, image))
        return false;
    VisitLiftImage(*this, [&](size_t at, auto& value) { Get(image, at, value); });
    const Quaternion start = blend_.q0, end = blend_.q1;
    blend_.Setup(start, end);
    const uint32_t count = in.U32();
    if (!in.Ok() || count > in.Remaining() / 4 || !std::isfinite(speed_))
        return false;
    riders_.clear();
    loadedRiders_.clear();
    for (uint32_t i = 0; i < count; ++i)
        loadedRiders_.push_back(in.U32());
    return in.Ok();
}

// Riders that are gone are left out; the others ride again, placed by the
// lift. A lift resting with riders links its floor to the level again
// where no server here does it.
bool TypedObject8::FixUpAfterLoad()
{
    WorldObject::FixUpAfterLoad();
    riders_.clear();
    for (uint32_t id : loadedRiders_) {
        WorldObject* rider = WorldObjectTable::FindById(id);
        if (!rider || rider == this)
            continue;
        riders_.emplace_back(rider);
        rider->SetStaticPlacement(true);
    }
    loadedRiders_.clear();
    Level* level = Level::Current();
    if (ClientServices::Get().serverRunsHere || riders_.empty() || running_ || !level || !object_ ||
        !object_->Root())
        return true;
    LockGuard guard(level->lock_, true);
    if (CollisionMesh* mesh = level->FindMesh(object_->Root())) {
        mesh->ForEachPolygon([&](CollisionPolygon& polygon) {
            if (polygon.flags_ & polygon_flags::kClassMask)
                level->LinkClassNeighbours(polygon);
        });
    }
    return true;
}

// ---------------------------------------------------------------------------
// TypedObject10 and TypedUnit16

void TypedObject10::WriteImage(std::span<uint8_t> image) const
{
    WorldObject::WriteImage(image);
    if (image.size() >= 272) {
        Put(image, 0x100, taken_);
        Put(image, 0x101, hidden_);
    }
}

bool TypedObject10::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    if (!WorldObject::LoadState(in, image))
        return false;
    Get(image, 0x100, taken_);
    Get(image, 0x101, hidden_);
    return true;
}

void TypedUnit16::WriteImage(std::span<uint8_t> image) const
{
    Unit::WriteImage(image);
    if (image.size() >= 640) {
        Put(image, 0x278, deploySequenceDone_);
        Put(image, 0x279, deployed_);
    }
}

bool TypedUnit16::LoadState(trevok::ByteReader& in, std::span<const uint8_t> image)
{
    deploySequenceDone_ = deployed_ = false;
    return Unit::LoadState(in, image);
}
