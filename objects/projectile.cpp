#include "objects/projectile.h"

#include "objects/actor.h"
#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/orders.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "world/collision_query.h"
#include "world/level.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace {

uint64_t TicksPerSecond() { return std::max<uint64_t>(ServerLink::Get().TicksPerSecond(), 1); }

// The level's path test from `p` (a time fraction along p + v t + a t^2 / 2).
bool LevelHit(const Vec3& p, const Vec3& v, bool ballistic, float bound, float& fraction)
{
    Level* level = Level::Current();
    ShapeInstance* root = level ? level->ShapeTree() : nullptr;
    if (!root)
        return false;
    CollisionHit hit;
    hit.fraction = bound;
    LockGuard guard(level->lock_, false);
    const bool found = ballistic ? CollideTrajectoryWithShapeTree(hit, *root, p, v, {0, Projectile::kGravity, 0})
                                 : CollideSegmentWithShapeTree(hit, *root, p, v);
    if (found)
        fraction = hit.fraction;
    return found;
}

} // namespace

Projectile::Projectile(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                       float speed, uint32_t shooterId, uint32_t targetId, uint32_t id)
    : GameObject(side, role, position, orientation, 17, id), start_(position), shooterId_(shooterId)
{
    record_ = role && role->projectile ? &*role->projectile : nullptr;
    const Quaternion& q = orientation;
    const Vec3 forward{2 * (q.x * q.z + q.y * q.w), 2 * (q.y * q.z - q.x * q.w), 1 - 2 * (q.x * q.x + q.y * q.y)};
    velocity_ = std::isfinite(speed) ? forward * speed : Vec3{0, 0, 0};
    think_ = nullptr;
    active_ = false;
    flags_projectile_ = role ? static_cast<uint32_t>(role->limit) : 0;
    if (targetId != 0xFFFFFFFFu) {
        if (GameObject* target = ObjectRegistry::Global().Find(targetId)) {
            target->AddRef();
            target_ = target;
        }
    }
    // The range is squared; a shot that cannot cover it ends at 10 s. A lobbed
    // shot covers the ground only at its horizontal speed, so it is timed by
    // that: timed by its full speed it vanished before it landed.
    const float range = record_ ? record_->maxRange : 0;
    const float across = Ballistic() ? std::hypot(velocity_.x, velocity_.z) : speed;
    if (range > 0 && across > 0 && std::isfinite(across))
        lifetime_ = std::min(kLongestFlight, std::sqrt(range) / across);
}

Projectile::~Projectile()
{
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
}

void Projectile::ReleaseLinks()
{
    if (GameObject* target = std::exchange(target_, nullptr))
        target->Release();
    GameObject::ReleaseLinks();
}

bool Projectile::Ballistic() const { return record_ && record_->gravity; }

float Projectile::Seconds(uint64_t ticks) const
{
    return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(TicksPerSecond()));
}

bool Projectile::TestObject(GameObject& object, const Vec3& from, const Vec3& velocity, float& bound) const
{
    CollisionHit hit;
    hit.fraction = bound;
    const bool found = Ballistic() ? object.HitTestTrajectory(hit, from, velocity, {0, kGravity, 0}, bound)
                                   : object.HitTestSegment(hit, from, velocity, bound);
    if (!found || !(hit.fraction <= bound))
        return false;
    bound = hit.fraction;
    return true;
}

int32_t Projectile::Activate(uint64_t now, float seconds)
{
    // A loaded shot keeps its launch times and goes on along its path.
    if (!std::exchange(restored_, false)) {
        launchTime_ = now;
        launchSeconds_ = seconds;
    }
    GameObject::Activate(now, seconds);
    float fraction = FLT_MAX;
    hitPending_ = hitIsLevel_ = LevelHit(Position(), velocity_, Ballistic(), FLT_MAX, fraction);
    timeToHit_ = fraction;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        if (object == this || object->Side() == Side() || object->quiet_ || !object->IsAlive() ||
            object->GetId() == shooterId_)
            continue;
        if (TestObject(*object, Position(), velocity_, timeToHit_)) {
            hitPending_ = true;
            hitIsLevel_ = false;
            hitObjectId_ = object->GetId();
        }
    }
    return 0;
}

void Projectile::MoveAndHit(uint64_t now, float seconds)
{
    (void)seconds;
    if (IsRemoved())
        return;
    const float dt = Seconds(now > now_ ? now - now_ : 0);
    // The path is tested from the last pass's position, so with the velocity
    // of that moment (the pass's own time would add this pass's fall twice).
    const float flight = Seconds(now_ > launchTime_ ? now_ - launchTime_ : 0);
    Vec3 velocity = velocity_;
    if (Ballistic())
        velocity.y += kGravity * flight;
    GameObject* victim = nullptr;
    bool impact = false;
    float t = dt;
    const bool homing = (flags_projectile_ & ProjectileFlags::kHoming) && target_;
    const std::vector<GameObject*> objects = ObjectRegistry::Global().Snapshot();
    if (homing) {
        float fraction = dt;
        hitPending_ = hitIsLevel_ = LevelHit(Position(), velocity, Ballistic(), dt, fraction);
        timeToHit_ = hitPending_ ? fraction : dt;
        for (GameObject* object : objects) {
            if (object == this || object->Side() == Side() || !object->IsAlive() || object->GetId() == shooterId_)
                continue;
            if (TestObject(*object, Position(), velocity, timeToHit_)) {
                hitPending_ = true;
                hitIsLevel_ = false;
                victim = object;
                hitObjectId_ = object->GetId();
            }
        }
        impact = hitPending_;
        t = timeToHit_;
    } else {
        GameObject* pending = hitIsLevel_ ? nullptr : ObjectRegistry::Global().Find(hitObjectId_);
        if (hitPending_ && dt >= timeToHit_ && (hitIsLevel_ || pending)) {
            impact = true;
            t = timeToHit_;
            victim = pending;
        } else {
            timeToHit_ -= dt;
            t = dt;
        }
        if (dt > 0) {
            for (GameObject* object : objects) {
                if (object == this || object->Side() == Side() || !object->quiet_ || !object->IsAlive() ||
                    object->GetId() == shooterId_ || object->IsProjectile())
                    continue;
                if (TestObject(*object, Position(), velocity, t)) {
                    victim = object;
                    impact = true;
                }
            }
        }
    }
    if (impact)
        Impact(victim, t, velocity, now);
}

void Projectile::Impact(GameObject* victim, float t, const Vec3& velocity, uint64_t now)
{
    const Vec3 point = Position() + velocity * t;
    Vec3 reported = point;
    if (Ballistic())
        reported.y += kGravity * 0.5f * t * t;
    if (victim) {
        victim->nextThink_ = now;
        victim->flags_ |= kObjectShotAt;
    }
    OutMessage(50)
        .U32(GetId())
        .U32(victim ? victim->GetId() : 0xFFFFFFFFu)
        .F32(lastUpdate_ + t)
        .Point(reported)
        .Send(false);
    GameObjectRef hold(this);
    const int32_t damage = record_ ? static_cast<int32_t>(std::lround(record_->damage * damageFactor_)) : 0;
    if (victim)
        victim->TakeDamage(damage);
    if (record_ && record_->blastDamage != 0) {
        const int32_t amount = static_cast<int32_t>(std::lround(record_->blastDamage * damageFactor_));
        const uint32_t type = (flags_projectile_ & ProjectileFlags::kMarksLandscape) ? 39 : 38;
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            if (object == this || object == victim || object->Side() == Side() || !object->IsAlive() ||
                object->IsProjectile())
                continue;
            if ((object->Position() - point).LengthSquared() >= record_->blastRangeSquared)
                continue;
            OutMessage(type).U32(object->GetId()).I32(amount).Send(false);
            object->TakeDamage(amount);
        }
    }
    ObjectTrackers::Add(25, 5, start_, point, now, now);
    Answer(victim, lastUpdate_ + t);
    Remove(false);
}

void Projectile::Answer(GameObject* victim, float seconds)
{
    GameObject* shooter = ObjectRegistry::Global().Find(shooterId_);
    if (!shooter || !shooter->IsAlive())
        return;
    if (!victim || victim != target_)
        ++shooter->missCount_;
    else
        shooter->missCount_ = 0;
    if (!victim || !victim->IsUnit() || !victim->IsAlive() || !TeamTable::IsSquadSide(victim->Side()))
        return;
    auto* unit = static_cast<Actor*>(victim);
    WeaponState* weapon = unit->GetWeapon();
    if (unit->IsAttacking() || unit->IsWalking() || !unit->Waypoints().empty() || unit->NeedsPath() ||
        unit->StandingOrder() == 6 || !weapon || unit->Side() == shooter->Side())
        return;
    const float range = weapon->projectile && weapon->projectile->projectile ? weapon->projectile->projectile->maxRange : 0;
    if ((shooter->Position() - unit->Position()).LengthSquared() <= range)
        unit->AimAtObject(shooter, seconds, false, false);
    else if (!unit->HoldsPosition() && unit->GetPolygon() && shooter->GetPolygon())
        unit->ApproachTarget(*shooter, range, seconds);
}

void Projectile::Update(uint64_t now, float seconds)
{
    if (IsRemoved())
        return;
    const float flight = Seconds(now > launchTime_ ? now - launchTime_ : 0);
    const Level* level = Level::Current();
    bool goesOn = flight <= lifetime_;
    if ((flags_projectile_ & ProjectileFlags::kHoming) && target_) {
        const float step = seconds - lastUpdate_;
        const float speed = velocity_.Length();
        const Vec3 toAim = target_->GetAimPoint() - Position();
        const float blend = std::min(50.0f * step, 1.0f);
        Vec3 heading = speed > 0 ? velocity_ * (1.0f / speed) : Vec3{0, 0, 0};
        const float toLength = toAim.Length();
        if (toLength > 0) {
            const Vec3 mixed = heading * (1.0f - blend) + toAim * (blend / toLength);
            // A target straight behind cancels the mix: keep the old course.
            if (mixed.LengthSquared() > 1e-12f)
                heading = mixed.Normalised();
        }
        velocity_ = heading * speed;
        SetPosition(Position() + velocity_ * step);
        if (level) {
            const Vec3& p = Position();
            goesOn = goesOn && p.x >= level->minimum_.x && p.x <= level->maximum_.x && p.y >= level->minimum_.y &&
                     p.y <= level->maximum_.y && p.z >= level->minimum_.z && p.z <= level->maximum_.z;
        }
    } else {
        Vec3 p = start_ + velocity_ * flight;
        if (Ballistic())
            p.y += kGravity * 0.5f * flight * flight;
        SetPosition(p);
        if (level)
            goesOn = goesOn && p.x >= level->minimum_.x && p.x <= level->maximum_.x && p.z >= level->minimum_.z &&
                     p.z <= level->maximum_.z && p.y <= level->maximum_.y;
    }
    if (goesOn)
        GameObject::Update(now, seconds);
    else
        Remove(true);
}

GameObject* MakeProjectile(script::Role& role, const Vec3& position, const Quaternion& orientation, float speed,
                           int32_t ownerId, int32_t referencedId, int32_t side)
{
    return new Projectile(side, &role, position, orientation, speed, static_cast<uint32_t>(ownerId),
                          static_cast<uint32_t>(referencedId), ObjectRegistry::Global().TakeNextId());
}
