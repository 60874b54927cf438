#include "objects/unit_actor.h"

#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "app/math_tables.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/perception.h"
#include "objects/projectile.h"
#include "objects/role_table.h"
#include "objects/server_classes.h"
#include "objects/server_link.h"
#include "script/records.h"

#include <algorithm>
#include <utility>
#include <cmath>
#include <numbers>

namespace {

constexpr float kStepsPerRadian = 4096.0f / (2.0f * std::numbers::pi_v<float>);
constexpr int32_t kUnlimitedAmmo = 16;
constexpr int32_t kOneShotAmmo = 1;

uint64_t TicksPerSecond() { return std::max<uint64_t>(ServerLink::Get().TicksPerSecond(), 1); }

int32_t TableAngle(float steps) { return static_cast<int32_t>(std::lround(steps)) & 0xFFF; }

GameObject* MakeUnit(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                     uint32_t id)
{
    return new UnitActor(side, role, position, orientation, id);
}

} // namespace

Quaternion UnitAim::ShotOrientation(float yaw, float pitch, float a, float s)
{
    const int32_t halfYaw = TableAngle(yaw / 2), halfPitch = TableAngle(pitch / 2);
    const int32_t azimuth = TableAngle(a), spread = TableAngle(s);
    const Quaternion qy{0, SineOf(halfYaw), 0, CosineOf(halfYaw)};
    const Quaternion qp{SineOf(-halfPitch), 0, 0, CosineOf(halfPitch)};
    const Quaternion qs{SineOf(azimuth) * SineOf(spread), CosineOf(azimuth) * SineOf(spread), 0, CosineOf(spread)};
    return qy * qp * qs;
}

UnitActor::UnitActor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                     uint32_t id)
    : Actor(side, role, position, orientation, id)
{
    nextSweep_ = static_cast<float>((ServerRandom::Next() / 2) % 10) * 0.1f;
    if (character_) {
        cycleWeapon_ = character_->weapon;
        cycleSecondary_ = character_->secondaryWeapon;
        cycleTime_ = character_->weaponCycleTime;
        cycleTime2_ = character_->weaponCycleTime2;
        burstLength_ = cycleTime_;
    }
    if (role) {
        armour_ = role->armour;
        shield_ = static_cast<float>(role->shields);
    }
    // Only the table's weapon types arm a unit.
    if (cycleWeapon_ >= 0 && cycleWeapon_ < script::kWeaponTypes) {
        weapon_ = std::make_unique<WeaponState>();
        weapon_->weaponType = cycleWeapon_;
    }
    firePartNames_[0] = role && role->hotspotName ? *role->hotspotName : std::string();
    firePartNames_[1] = role && role->alternateHotspotName ? *role->alternateHotspotName : firePartNames_[0];
    firePoints_[0] = firePoints_[1] = centreOffset_;
}

SweepScanner& UnitActor::Scanner()
{
    if (!scanner_)
        scanner_ = std::make_unique<SweepScanner>(*this);
    return *scanner_;
}

UnitActor::~UnitActor()
{
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
}

void UnitActor::SetFirePoints(const Vec3& first, const Vec3& second)
{
    firePoints_[0] = first;
    firePoints_[1] = second;
}

int32_t UnitActor::Activate(uint64_t now, float seconds)
{
    // A unit restored from a saved game keeps its saved ammunition and rounds.
    const bool restored = restored_;
    const int32_t result = Actor::Activate(now, seconds);
    if (!restored)
        ResetWeapon();
    // The muzzles are the model's fire parts; a model without them (or no
    // model) keeps the centre.
    for (int i = 0; i < 2; ++i)
        PartPoint(firePartNames_[i], now, firePoints_[i]);
    return result;
}

bool UnitActor::PartPoint(const std::string& name, uint64_t time, Vec3& out) const
{
    Vec3 at;
    if (name.empty() || !Shape() || !Shape()->FindPartPosition(at, name, time))
        return false;
    out = at * (character_ && character_->size > 0 ? character_->size : 1.0f);
    return true;
}

void UnitActor::ResetWeapon()
{
    if (!weapon_)
        return;
    weapon_->ammoType = WeaponState::DefaultAmmoFor(weapon_->weaponType);
    weapon_->ApplyAmmo(static_cast<float>(TicksPerSecond()));
    if (inventory_ && HasCustomisation()) {
        rounds_ = 0;
        SelectMagazine();
    } else {
        rounds_ = 1;
    }
}

void UnitActor::ReleaseLinks()
{
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
    GameObject::ReleaseLinks();
}

void UnitActor::Remove(bool notify)
{
    attacking_ = false;
    Actor::Remove(notify);
}

void UnitActor::WearArmour(int32_t amount)
{
    int32_t left = amount;
    for (size_t i = 0; i < equipped_.size() && left > 0;) {
        if (equipped_[i].type != ItemType::kArmour) {
            ++i;
            continue;
        }
        CarriedItem* item = inventory_ ? inventory_->FindById(equipped_[i].itemId) : nullptr;
        if (!item) {
            ++i;
            continue;
        }
        if (static_cast<int64_t>(item->count) <= left) {
            left -= static_cast<int32_t>(item->count);
            armour_ -= static_cast<int32_t>(item->count);
            const EquippedItem record = equipped_[i];
            item->count = 0;  // its points are spent, so unequipping takes nothing more
            UnequipItem(record);
            if (CarriedItem* spent = inventory_->FindById(record.itemId))
                inventory_->Remove(*spent);
            continue;
        }
        item->count -= static_cast<uint32_t>(left);
        break;
    }
    armour_ = std::max(0, armour_ - left);
}

void UnitActor::DrainShield(int32_t amount)
{
    if (Side() != 2) {
        int32_t left = amount;
        for (size_t i = 0; i < equipped_.size() && left > 0;) {
            CarriedItem* item = equipped_[i].type == ItemType::kShield && inventory_
                                    ? inventory_->FindById(equipped_[i].itemId)
                                    : nullptr;
            if (!item) {
                ++i;
                continue;
            }
            if (static_cast<int64_t>(item->count) <= left) {
                left -= static_cast<int32_t>(item->count);
                const EquippedItem record = equipped_[i];
                item->count = 0;
                UnequipItem(record);
                if (CarriedItem* spent = inventory_->FindById(record.itemId))
                    inventory_->Remove(*spent);
                continue;
            }
            item->count -= static_cast<uint32_t>(left);
            break;
        }
    }
    shield_ = std::max(0.0f, shield_ - static_cast<float>(amount));
}

void UnitActor::QueueChangeAmmo(uint32_t kind)
{
    if (kind < script::kAmmoTypes)
        PushOrder({OrderKind::kChangeAmmo, -1, static_cast<int32_t>(kind)});
}

void UnitActor::QueueAttackLocation(const Vec3& point, bool modifier)
{
    OrderRecord record{OrderKind::kAttackLocation, -1, 0, 0, point};
    record.attack = modifier ? 1 : 0;
    PushOrder(record);
}

void UnitActor::QueueAttackTarget(uint32_t targetId, bool modifier)
{
    OrderRecord record{OrderKind::kAttackTarget, static_cast<int32_t>(targetId)};
    record.attack = modifier ? 1 : 0;
    PushOrder(record);
}

bool UnitActor::SelectWeaponAmmo(int32_t ammo)
{
    if (!weapon_ || !weapon_->SelectAmmo(ammo))
        return false;
    weapon_->ApplyAmmo(static_cast<float>(TicksPerSecond()));
    return true;
}

bool UnitActor::ChangeAmmo(int32_t ammo)
{
    if (!SelectWeaponAmmo(ammo))
        return false;
    rounds_ = 0;
    SelectMagazine();
    OutMessage(90).U32(GetId()).I32(ammo).Send(true);
    return true;
}

void UnitActor::ChangeWeapon(int32_t type)
{
    StopAiming(lastUpdate_);
    OutMessage(91).U32(GetId()).I32(type).Send(true);
    weapon_.reset();
    rounds_ = 0;
    ammoItem_ = -1;
    // A type outside the table (from an item or data) arms nothing.
    if (type < 0 || type >= script::kWeaponTypes)
        return;
    weapon_ = std::make_unique<WeaponState>();
    weapon_->weaponType = type;
    ResetWeapon();
}

void UnitActor::SelectMagazine()
{
    ammoItem_ = -1;
    if (!weapon_)
        return;
    if (weapon_->ammoType == kUnlimitedAmmo) {
        rounds_ = 1;
        return;
    }
    if (!inventory_)
        return;
    for (const CarriedItem& item : inventory_->Items()) {
        if (item.kind != ItemType::kAmmunition || item.subtype != weapon_->ammoType || item.count == 0)
            continue;
        if (ammoItem_ == -1)
            ammoItem_ = item.id;
        if (rounds_ >= weapon_->salvoSize)
            break;
        rounds_ = static_cast<int32_t>(
            std::min<int64_t>(weapon_->salvoSize, static_cast<int64_t>(rounds_) + static_cast<int64_t>(item.count)));
    }
}

bool UnitActor::ConsumeRound()
{
    CarriedItem* item = ammoItem_ != -1 && inventory_ ? inventory_->FindById(ammoItem_) : nullptr;
    if (!item) {
        // Without an ammunition item the two fire points take turns.
        std::swap(firePoints_[0], firePoints_[1]);
        std::swap(firePartNames_[0], firePartNames_[1]);
        return false;
    }
    if (item->count > 0)
        --item->count;
    --rounds_;
    if (item->count == 0) {
        inventory_->Remove(*item);
        ammoItem_ = -1;
    }
    if (rounds_ > 0) {
        if (ammoItem_ == -1)
            SelectMagazine();
        return false;
    }
    rounds_ = 0;
    SelectMagazine();
    return true;
}

void UnitActor::StartSweep(float time)
{
    beamOn_ = true;
    sweepDirection_ = 0;
    sweepAngle_ = -sightAngle_;
    lastScan_ = time;
    beamStart_ = Position();
    const float h = (Heading() + sweepAngle_) / kStepsPerRadian;
    beamEnd_ = Position() + Vec3{std::sin(h), 0, std::cos(h)} * sightRange_;
}

bool UnitActor::AimAtPoint(const Vec3& point, float time, bool holdFire, bool lob)
{
    if (!StartAim(point, time, holdFire, lob))
        return false;
    OutMessage(45).U32(GetId()).F32(lastUpdate_).Point(point).Send(false);
    return true;
}

bool UnitActor::StartAim(const Vec3& point, float time, bool holdFire, bool lob)
{
    if (!IsAlive() || crouching_ || !std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
        return false;
    lastAim_ = time;
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
    attacking_ = true;
    yawReached_ = pitchReached_ = 0;
    aimPoint_ = point;
    holdFire_ = holdFire;
    muzzleSpeed_ = weapon_ ? weapon_->firingSpeed : 0;
    if (lob)
        muzzleSpeed_ *= 0.65f;
    if (character_ && character_->shotSpeedMultiplier > 0)
        muzzleSpeed_ *= character_->shotSpeedMultiplier;
    if (hidden_) {
        hidden_ = false;
        cloakOwner_ = -1;
        for (const EquippedItem& record : equipped_) {
            if ((record.type == ItemType::kModule || record.type == ItemType::kModule2) &&
                record.subtype == ModuleKind::kCloak) {
                UnequipItem(record);
                break;
            }
        }
    }
    aimStart_ = time;
    return true;
}

bool UnitActor::AimAtObject(GameObject* object, float time, bool holdFire, bool lob)
{
    if (!object) {
        StopAiming(time);
        return false;
    }
    if (!StartAim(object->GetAimPoint(), time, holdFire, lob))
        return false;
    object->AddRef();
    target_ = object;
    OutMessage(46).U32(GetId()).F32(time).U32(object->GetId()).Send(false);
    return true;
}

void UnitActor::StopAiming(float time)
{
    lastAim_ = time;
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
    attacking_ = false;
    reactionActive_ = false;
    poses_.Centre(Shape(), now_);
    OutMessage(47).U32(GetId()).F32(time).Send(false);
}

const script::Role* UnitActor::ProjectileRole() const
{
    if (flags_ & kObjectAimsAtPoint)
        return RoleTable::Global().FindByName("flare");
    return weapon_ ? weapon_->projectile : nullptr;
}

void UnitActor::PlayPose(int32_t sequence, int32_t to, uint64_t now, float elapsed, uint8_t* reached)
{
    const auto slack = static_cast<uint64_t>(std::max(0.0f, elapsed) * static_cast<float>(TicksPerSecond()));
    poses_.Play(Shape(), sequence, to, now, slack, reached);
}

bool UnitActor::Aim(uint64_t now, float elapsed)
{
    const Vec3& fire = firePoints_[0];
    const Vec3 toAim = aimPoint_ - Position();
    if (toAim.x * toAim.x + toAim.z * toAim.z <= fire.x * fire.x + fire.z * fire.z) {
        StopAiming(lastUpdate_);
        return false;
    }
    const Vec3 muzzle = Position() + Orientation().Rotate(fire);
    const Vec3 d = aimPoint_ - muzzle;
    const float x = std::sqrt(d.x * d.x + d.z * d.z);
    const script::Role* projectile = ProjectileRole();
    const bool ballistic = projectile && projectile->projectile && projectile->projectile->gravity;
    aimPitch_ = UnitAim::Pitch(muzzleSpeed_, d.y, x, ballistic);
    if (character_ && std::fabs(aimPitch_) > static_cast<float>(character_->elevationAngle)) {
        StopAiming(lastUpdate_);
        return false;
    }
    // The fire parts stand where the pose puts them.
    PlayPose(AimPoses::kPitchSequence, AimPoses::PitchPosition(aimPitch_), now, elapsed, &pitchReached_);
    aimYaw_ = std::atan2(aimPoint_.x - muzzle.x, aimPoint_.z - muzzle.z) * kStepsPerRadian;
    const float difference = FoldAngle(aimYaw_ - Heading());
    const bool canTurn = character_ && character_->canTurn;
    const float gunYaw = character_ ? static_cast<float>(character_->gunYawAngle) : 0;
    if ((!canTurn || walking_) && std::fabs(difference) <= gunYaw) {
        AimPoses::HoldStance(Shape(), 0x10000, now);
        PlayPose(AimPoses::kYawSequence, AimPoses::YawPosition(difference), now, elapsed, &yawReached_);
        return true;
    }
    PlayPose(AimPoses::kYawSequence, AimPoses::kMiddle, now, elapsed, nullptr);
    if (canTurn && (!walking_ || legTime_ < aimStart_)) {
        // Waypoints left between legs go too, or the next pass walks off
        // toward them; a unit already standing with none sends nothing.
        if ((walking_ || !Waypoints().empty()) && lastUpdate_ >= orderTime_ && HitPoints() != 0 && !crouching_)
            StopWalking(lastUpdate_);
        const float turn = elapsed * static_cast<float>(character_->turningSpeed);
        const float heading = Heading();
        if (std::fabs(difference) <= turn) {
            SetOrientation(Quaternion{0, std::sin(aimYaw_ / kStepsPerRadian * 0.5f), 0,
                                      std::cos(aimYaw_ / kStepsPerRadian * 0.5f)});
            yawReached_ = 1;
            return true;
        }
        const float next = (heading + (difference < 0 ? -turn : turn)) / kStepsPerRadian;
        SetOrientation(Quaternion{0, std::sin(next * 0.5f), 0, std::cos(next * 0.5f)});
        return false;
    }
    StopAiming(lastUpdate_);
    return false;
}

bool UnitActor::CheckReactions(uint64_t now, float seconds)
{
    Actor* target = target_ && target_->IsActor() ? static_cast<Actor*>(target_) : nullptr;
    if (!target)
        return true;
    const script::Role* projectile = ProjectileRole();
    const Vulnerability* first = nullptr;
    bool holdsFire = false;
    for (const Vulnerability& entry : target->vulnerabilities_) {
        if (entry.attacker != GetRole() || (entry.projectile && entry.projectile != projectile))
            continue;
        if (!first)
            first = &entry;
        holdsFire = holdsFire || !entry.projectile;
    }
    if (!first)
        return true;
    if (!reactionActive_) {
        // The matching entry's own amount times the reaction.
        reactionActive_ = true;
        reactionStart_ = seconds;
        reactionEnd_ = seconds + first->seconds;
        OutMessage(58).U32(GetId()).F32(reactionStart_).F32(reactionEnd_).Send(false);
        return !holdsFire;
    }
    if (seconds < reactionEnd_)
        return !holdsFire;
    GameObjectRef hold(target);
    for (Vulnerability& entry : target->vulnerabilities_) {
        if (entry.attacker != GetRole() || (entry.projectile && entry.projectile != projectile))
            continue;
        switch (entry.kind) {
        case 0:
            target->think_ = nullptr;
            [[fallthrough]];
        case 1:
            target->nextThink_ = now + 20 * TicksPerSecond();
            if (target->IsWalking())
                target->Stop(seconds);
            if (target->IsAttacking())
                target->StopAiming(seconds);
            break;
        case 2:
            target->Remove(true);
            StopAiming(seconds);
            return false;
        case 3:
            // Once: the entry forgets its command.
            if (!entry.command.empty() && ServerLink::Get().broadcastCommandFile)
                ServerLink::Get().broadcastCommandFile(std::exchange(entry.command, {}));
            break;
        default:
            break;
        }
    }
    StopAiming(seconds);
    return false;
}

void UnitActor::Fire(uint64_t now, float seconds)
{
    const script::Role* projectileRole = ProjectileRole();
    if (!projectileRole || !projectileRole->projectile)
        return;
    if (!CheckReactions(now, seconds))
        return;
    Vec3 fire = firePoints_[0];
    PartPoint(firePartNames_[0], now, fire);  // where the part stands in its aiming pose
    const Vec3 muzzle = Position() + Orientation().Rotate(fire);
    const float r1 = ServerRandom::Get().NextFraction();
    const float r2 = ServerRandom::Get().NextFraction();
    float spread = r2 * r2 * aimAngle_;
    if (target_ && target_->IsWalking())
        spread *= 10.0f;
    const Quaternion direction = UnitAim::ShotOrientation(aimYaw_, aimPitch_, r1 * 4096.0f, spread);
    const int32_t side = weapon_->weaponType == 14 ? 0 : Side();
    const uint32_t targetId = target_ ? target_->GetId() : 0xFFFFFFFFu;
    auto* role = const_cast<script::Role*>(projectileRole);
    Projectile* shot = new Projectile(side, role, muzzle, direction, muzzleSpeed_, GetId(), targetId,
                                      ObjectRegistry::Global().TakeNextId());
    shot->Activate(now, seconds);
    shot->damageFactor_ = character_ && character_->damageMultiplier > 0 ? character_->damageMultiplier : 1.0f;
    OutMessage(49)
        .U32(GetId())
        .U32(targetId)
        .I32(projectileRole->id)
        .U32(static_cast<uint32_t>(side) & 0xFF)
        .F32(seconds)
        .Point(muzzle)
        .Rotation(direction)
        .F32(muzzleSpeed_)
        .U32(shot->GetId())
        .Send(false);
    const bool reloaded = ConsumeRound();
    nextShot_ = now + static_cast<uint64_t>(std::max(0.0f, reloaded ? weapon_->reloadTime : weapon_->roundTime));
    if (weapon_->ammoType == kOneShotAmmo) {
        OutMessage(48).U32(GetId()).Send(false);
        StopAiming(seconds);
    }
    // Weapon cycling, on this unit's own copy of the character's values.
    if (burstEnd_ == 0)
        burstEnd_ = now + static_cast<uint64_t>(std::max(0.0f, burstLength_) * static_cast<float>(TicksPerSecond()));
    if (cycleSecondary_ != kNoWeapon && now > burstEnd_) {
        std::swap(cycleWeapon_, cycleSecondary_);
        std::swap(cycleTime_, cycleTime2_);
        burstLength_ = cycleTime_;
        burstEnd_ = now + static_cast<uint64_t>(std::max(0.0f, burstLength_) * static_cast<float>(TicksPerSecond()));
        ChangeWeapon(cycleWeapon_);
    }
}

void UnitActor::Update(uint64_t now, float seconds)
{
    const float elapsed = ElapsedSeconds(now);
    // 1. The beam sweep.
    if (seconds > nextSweep_) {
        nextSweep_ = seconds + sightAngle_ * 4.0f * 0.0019174761f + 0.5f;
        OutMessage(77).U32(GetId()).F32(seconds).Send(true);
        StartSweep(seconds);
    }
    // 2. The units' own orders.
    if (!orders_.empty() && !walking_ && pathState_ == 0 && !attacking_ && !ServerFlags::Paused() &&
        !ServerFlags::CutScenePlaying()) {
        const OrderRecord order = orders_.front();
        bool own = true;
        if (order.kind == OrderKind::kAttackTarget)
            AimAtObject(ObjectRegistry::Global().Find(static_cast<uint32_t>(order.targetId)), seconds, false,
                        order.attack != 0);
        else if (order.kind == OrderKind::kAttackLocation)
            AimAtPoint(order.position, seconds, false, order.attack != 0);
        else if (order.kind == OrderKind::kChangeAmmo)
            ChangeAmmo(order.value);
        else
            own = false;
        if (own)
            PopOrder();
    }
    // 3. Shield regeneration.
    if (const script::Role* role = GetRole(); role && shield_ < static_cast<float>(role->shields)) {
        shield_ = std::min(static_cast<float>(role->shields), shield_ + (seconds - lastUpdate_) * role->rechargeRate);
    }
    // 4. The aim point follows the target.
    if (target_)
        aimPoint_ = target_->GetAimPoint();
    // 5, 6. Range.
    const script::Role* projectileRole = ProjectileRole();
    const float range = projectileRole && projectileRole->projectile ? projectileRole->projectile->maxRange : 0;
    // Out of range the unit stops aiming, after setting off toward the
    // target when it may; a dead target is not measured.
    if (attacking_ && IsAlive() && (!target_ || target_->IsAlive()) && !ServerFlags::CutScenePlaying() &&
        (aimPoint_ - Position()).LengthSquared() > range) {
        if (GameObject* target = target_;
            !holdPosition_ && !walking_ && pathState_ == 0 && target && target->GetPolygon() && !busy_) {
            GameObjectRef hold(target);
            const Approach approach = Actor::ApproachTarget(*target, range, seconds);
            // With the pass's searches spent the attack stays first in the
            // list and is taken up again in a later pass. Either way the
            // clients put it first too (27), or the 94 that ends it would pop
            // one of their own orders instead.
            if (approach != Approach::kNoRoute) {
                PushOrderFront({OrderKind::kAttackTarget, static_cast<int32_t>(target->GetId())});
                OutMessage(27).U32(GetId()).F32(seconds).U32(target->GetId()).Send(false);
            }
        }
        if (attacking_)
            StopAiming(seconds);
    }
    // 7. Aiming.
    mayFire_ = attacking_ && Aim(now, elapsed);
    // 8. The actor.
    Actor::Update(now, seconds);
    if (IsRemoved())
        return;
    // 9. Rounds.
    if (rounds_ == 0)
        SelectMagazine();
    if (weapon_ && (ServerFlags::UnlimitedAmmo() || weapon_->ammoType == kUnlimitedAmmo))
        rounds_ = 1;
    // 10. Firing.
    if (attacking_ && weapon_ && !holdFire_ && fireEnabled_ && yawReached_ && pitchReached_ && mayFire_ &&
        now >= nextShot_ && rounds_ != 0)
        Fire(now, seconds);
}

void RegisterActorClasses()
{
    ServerClasses::Set(0, MakeUnit);
    ServerClasses::SetCharacterMaker(MakeUnit);
}
