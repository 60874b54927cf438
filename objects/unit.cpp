#include "objects/unit.h"

#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "app/app_time.h"
#include "objects/inventory.h"
#include "objects/role_classes.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "world/line_of_sight.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr float kLobFactor = 0.65f;
constexpr int32_t kNoAmmoNeeded = 16;
constexpr int32_t kAmmoTypes = 17;
// Said beside the unit: another stack of its ammunition is in use now, no
// ammunition is left, its disguise is given away.

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

} // namespace

int32_t WeaponPitchFraction(float dy, float horizontalSquared, float speed, bool ballistic)
{
    const float horizontal = horizontalSquared > 0.0f ? std::sqrt(horizontalSquared) : 0.0f;
    return AimPoses::PitchPosition(UnitAim::Pitch(speed, dy, horizontal, ballistic));
}

Unit::Unit(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id)
    : MovingObject(side, role, position, orientation, id)
{
    if (character_ && character_->weapon != kNoWeapon) {
        weapon_ = std::make_unique<WeaponState>();
        weapon_->weaponType = character_->weapon;
    }
    if (role_) {
        if (role_->hotspotName)
            muzzleA_ = *role_->hotspotName;
        muzzleB_ = role_->alternateHotspotName ? *role_->alternateHotspotName : muzzleA_;
        armour_ = role_->armour;
        shield_ = static_cast<float>(role_->shields);
    }
}

Unit::~Unit() = default;

int32_t Unit::GetWeaponValue() const { return weapon_ ? weapon_->magazineSize : 100; }

void Unit::Activate(uint64_t time, float seconds)
{
    MovingObject::Activate(time, seconds);
    ReadyWeapon();
    const float size = character_ && character_->size > 0.0f ? character_->size : 1.0f;
    Vec3 offset;
    if (object_ && !muzzleA_.empty() && object_->FindPartPosition(offset, muzzleA_, time))
        muzzleOffsetA_ = offset * size;
    if (object_ && !muzzleB_.empty() && object_->FindPartPosition(offset, muzzleB_, time))
        muzzleOffsetB_ = offset * size;
}

void Unit::Say(int32_t textId)
{
    if (const auto& say = ClientServices::Get().sayBeside)
        say(*this, textId);
}

void Unit::ReadyWeapon()
{
    if (!weapon_)
        return;
    weapon_->SelectDefaultAmmo();
    muzzleSpeed_ = weapon_->firingSpeed;
    // Only a character with a body to equip counts its rounds; the rest
    // never run out.
    if (inventory_ && HasBodyHierarchy()) {
        rounds_ = 0;
        LoadMagazine();
        if (IsSelectable() && ammoItem_ < 0 && weapon_->ammoType != kNoAmmoNeeded)
            Say(kTextNoAmmunition);
    } else {
        rounds_ = 1;
    }
}

void Unit::LoadMagazine()
{
    if (!weapon_)
        return;
    // Each ammunition type is tried once: stacks that cannot feed the
    // weapon never make it switch back and forth.
    std::array<bool, kAmmoTypes> tried{};
    for (;;) {
        const int32_t type = weapon_->ammoType;
        if (type >= 0 && type < kAmmoTypes)
            tried[static_cast<size_t>(type)] = true;
        if (type == kNoAmmoNeeded) {
            ammoItem_ = -1;
            rounds_ = 1;
            return;
        }
        FindAmmoItem();
        if (!inventory_)
            return;
        if (rounds_ == 0) {
            uint64_t total = 0;
            for (const CarriedItem& item : inventory_->Items()) {
                if (item.kind == ItemKind::kAmmoStack && item.amount == type)
                    total += item.count;
            }
            const uint64_t magazine = static_cast<uint64_t>(std::max(weapon_->magazineSize, 0));
            rounds_ = static_cast<uint32_t>(std::min(total, magazine));
        }
        if (rounds_ != 0)
            return;
        int32_t other = -1;
        for (const CarriedItem& item : inventory_->Items()) {
            if (item.kind != ItemKind::kAmmoStack || item.amount < 0 || item.amount >= kAmmoTypes ||
                tried[static_cast<size_t>(item.amount)])
                continue;
            if (script::RecordTables::Global().Weapon(weapon_->weaponType, item.amount)) {
                other = item.amount;
                break;
            }
        }
        if (other < 0 || !weapon_->SelectAmmo(other))
            return;
    }
}

void Unit::FindAmmoItem()
{
    ammoItem_ = -1;
    if (!inventory_ || !weapon_ || weapon_->ammoType == kNoAmmoNeeded)
        return;
    for (const CarriedItem& item : inventory_->Items()) {
        if (item.kind == ItemKind::kAmmoStack && item.amount == weapon_->ammoType) {
            ammoItem_ = item.id;
            return;
        }
    }
}

bool Unit::ShotFired(bool unlimited)
{
    if (!unlimitedAmmo_) {
        FindAmmoItem();
        unlimitedAmmo_ = unlimited || (weapon_ && weapon_->ammoType == kNoAmmoNeeded);
    }
    return UseRound();
}

bool Unit::UseRound()
{
    CarriedItem* item = inventory_ && ammoItem_ >= 0 && !unlimitedAmmo_ ? inventory_->FindById(ammoItem_) : nullptr;
    if (!item) {
        // The next shot leaves from the other muzzle.
        std::swap(muzzleA_, muzzleB_);
        std::swap(muzzleOffsetA_, muzzleOffsetB_);
        return false;
    }
    if (item->count > 0)
        --item->count;
    if (rounds_ > 0)
        --rounds_;
    bool refilled = false;
    if (rounds_ == 0) {
        LoadMagazine();
        refilled = rounds_ != 0;
    }
    if (item->count == 0) {
        inventory_->Remove(*item);
        ammoItem_ = -1;
        RefreshShownPanel();
        LoadMagazine();
        if (side_ == ClientServices::Get().OwnSide())
            Say(ammoItem_ >= 0 ? kTextNextStack : kTextNoAmmunition);
    }
    return refilled;
}

void Unit::PlayFireSequence()
{
    if (!fireDone_)
        return;
    fireDone_ = 0;
    // Layered over the walk or the stance; its end sets the flag again (at
    // once without a model or the sequence).
    const int32_t speed = 0x10000;
    if (object_)
        object_->PlaySequence(AimPoses::kFireSequence, &speed, 1, time_, &fireDone_, SequenceMode::kLayered, false);
    else
        fireDone_ = 1;
}

void Unit::ChangeAmmo(int32_t type)
{
    if (!weapon_ || !weapon_->SelectAmmo(type))
        return;
    unlimitedAmmo_ = false;
    rounds_ = 0;
    LoadMagazine();
}

void Unit::SetWeaponRole(int32_t weaponType)
{
    weapon_.reset();
    if (weaponType != kNoWeapon) {
        weapon_ = std::make_unique<WeaponState>();
        weapon_->weaponType = weaponType;
    }
    ammoItem_ = -1;
    unlimitedAmmo_ = false;
    rounds_ = 0;
    ReadyWeapon();
}

void Unit::ReduceShield(int32_t amount)
{
    if (amount <= 0)
        return;
    // The computer's units carry no shield items to wear.
    if (side_ != kComputerSide)
        SpendWornItems(ItemKind::kShield, amount);
    shield_ = std::max(0.0f, shield_ - static_cast<float>(amount));
}

void Unit::AttackLocation(const Vec3& point, uint32_t time, bool aimFlag, bool lob)
{
    if (!IsAlive())
        return;
    lastAimTime_ = time;
    target_.Reset();
    attacking_ = true;
    torsoDone_ = pitchDone_ = false;
    targetPoint_ = point;
    aimFlag_ = aimFlag;
    lob_ = lob;
    const float weaponSpeed = weapon_ ? weapon_->firingSpeed : 0.0f;
    const float multiplier = character_ && character_->shotSpeedMultiplier > 0.0f ? character_->shotSpeedMultiplier
                                                                                  : 1.0f;
    muzzleSpeed_ = weaponSpeed * (lob ? kLobFactor : 1.0f) * multiplier;
    if (disguised_) {
        DropDisguise();
    }
}

void Unit::AttackTarget(WorldObject* target, uint32_t time, bool aimFlag, bool lob)
{
    if (!target) {
        ClearTarget(time);
        return;
    }
    AttackLocation(target->GetCentre(), time, aimFlag, lob);
    if (IsAlive())
        target_ = WorldObjectRef(target);
}

void Unit::ClearTarget(uint32_t time)
{
    lastAimTime_ = time;
    target_.Reset();
    attacking_ = false;
    ClearProgress();
    poses_.Centre(object_, time_);
}

void Unit::StartSweep(uint32_t time)
{
    sweepActive_ = true;
    sweepAngle_ = character_ ? -static_cast<float>(character_->sightAngle) : 0.0f;
    sweepStart_ = time;
    // From a metre up along the facing turned by half the sweep, as far as
    // the unit sees or the level lets it.
    sweepFrom_ = position_ + Vec3{0, -1, 0};
    const Vec3 facing = Quaternion::ZAxis(orientation_);
    const float half = sweepAngle_ * 0.5f / kStepsPerRadian;
    const float c = std::cos(half), s = std::sin(half);
    const Vec3 direction{facing.x * c + facing.z * s, facing.y, facing.z * c - facing.x * s};
    sweepTo_ = sweepFrom_ + direction * GetViewRange();
    Vec3 hit;
    if (!LineOfSight(sweepFrom_, sweepTo_, &hit))
        sweepTo_ = hit;
}

void Unit::Update(uint64_t time, float seconds)
{
    const float maximum = role_ ? static_cast<float>(role_->shields) : 0.0f;
    if (shield_ < maximum && role_) {
        const float dt = seconds - lastSeconds_;
        if (dt > 0.0f)
            shield_ = std::min(maximum, shield_ + dt * role_->rechargeRate);
    }
    if (target_)
        targetPoint_ = target_->GetCentre();
    if (attacking_ && weapon_)
        Aim(time);
    MovingObject::Update(time, seconds);
}

void Unit::Aim(uint64_t time)
{
    const float tx = targetPoint_.x - position_.x, tz = targetPoint_.z - position_.z;
    if (tx * tx + tz * tz <= muzzleOffsetA_.x * muzzleOffsetA_.x + muzzleOffsetA_.z * muzzleOffsetA_.z)
        return;
    const Vec3 muzzle = position_ + orientation_.Rotate(muzzleOffsetA_);
    const Vec3 d = targetPoint_ - muzzle;
    const bool ballistic =
        weapon_->projectile && weapon_->projectile->projectile && weapon_->projectile->projectile->gravity;
    const float pitch = UnitAim::Pitch(muzzleSpeed_, d.y, std::sqrt(d.x * d.x + d.z * d.z), ballistic);
    poses_.Play(object_, AimPoses::kPitchSequence, AimPoses::PitchPosition(pitch), time, 0, &pitchDone_);
    const float heading = HeadingOf(orientation_);
    const float difference = WrapSteps(std::atan2(d.x, d.z) * kStepsPerRadian - heading);
    const bool canTurn = character_ && character_->canTurn;
    const float gunYaw = character_ ? static_cast<float>(character_->gunYawAngle) : 0.0f;
    if ((canTurn && !moving_) || std::fabs(difference) > gunYaw) {
        poses_.Play(object_, AimPoses::kYawSequence, AimPoses::kMiddle, time, 0, &torsoDone_);
        if (canTurn && !moving_ && time > time_) {
            const float budget = TicksToSeconds(time - time_) * static_cast<float>(turnRate_);
            orientation_ = YawOrientation(heading + std::clamp(difference, -budget, budget));
        }
        return;
    }
    // The stance keeps pace with the ground, as the walk does.
    AimPoses::HoldStance(object_, speedFactor_ > 0 ? speedFactor_ : 0x10000, time);
    poses_.Play(object_, AimPoses::kYawSequence, AimPoses::YawPosition(difference), time, 0, &torsoDone_);
}

void Unit::Remove()
{
    attacking_ = false;
    MovingObject::Remove();
}

void Unit::AddChangeAmmoOrder(int32_t ammo)
{
    LocalOrder order;
    order.kind = LocalOrder::kChangeAmmo;
    order.item = ammo;
    orders_.push_back(order);
}

void Unit::SendAttack(uint32_t type, uint32_t targetWord, const Vec3* point)
{
    const float now = AppTime::GameSeconds();
    if (point) {
        const uint32_t words[] = {type, GetId(), Bits(now), Bits(point->x), Bits(point->y), Bits(point->z)};
        SendWords(words, false);
    } else {
        const uint32_t words[] = {type, GetId(), Bits(now), targetWord};
        SendWords(words, false);
    }
}

void Unit::OrderAttackLocation(const Vec3& point)
{
    const bool modifier = ClientServices::Get().modifierHeld;
    SendAttack(modifier ? 9 : 7, 0, &point);
    orders_.clear();
    muzzleSpeed_ = (weapon_ ? weapon_->firingSpeed : 0.0f) * (modifier ? kLobFactor : 1.0f);
}

void Unit::OrderAttackTarget(WorldObject& target)
{
    const bool modifier = ClientServices::Get().modifierHeld;
    SendAttack(modifier ? 10 : 8, target.GetId(), nullptr);
    orders_.clear();
    muzzleSpeed_ = (weapon_ ? weapon_->firingSpeed : 0.0f) * (modifier ? kLobFactor : 1.0f);
}

void Unit::OrderClearTarget() { SendAttack(11, 0, nullptr); }

void Unit::QueueAttackLocation(const Vec3& point)
{
    const bool modifier = ClientServices::Get().modifierHeld;
    SendAttack(modifier ? 28 : 26, 0, &point);
    AddAttackLocationOrder(point, modifier ? 1 : 0);
}

void Unit::QueueAttackTarget(WorldObject& target)
{
    const bool modifier = ClientServices::Get().modifierHeld;
    SendAttack(modifier ? 29 : 27, target.GetId(), nullptr);
    AddAttackTargetOrder(target.GetId(), modifier ? 1 : 0);
}

void Unit::AddAttackLocationOrder(const Vec3& point, int32_t flag)
{
    LocalOrder order;
    order.kind = LocalOrder::kAttackLocation;
    order.position = point;
    order.attackFlag = flag;
    orders_.push_back(order);
}

void Unit::AddAttackTargetOrder(uint32_t target, int32_t flag)
{
    LocalOrder order;
    order.kind = LocalOrder::kAttackTarget;
    order.value = static_cast<int32_t>(target);
    order.attackFlag = flag;
    orders_.push_back(order);
}
