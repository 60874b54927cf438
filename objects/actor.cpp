#include "objects/actor.h"
#include "objects/server_kinds.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "app/math_tables.h"
#include "objects/ai.h"
#include "objects/body_part.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/path_search.h"
#include "objects/weapon_state.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/collision_query.h"
#include "world/level.h"
#include "world/map_build.h"
#include "world/line_of_sight.h"
#include "world/mover.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace {

constexpr float kStepsPerRadian = 4096.0f / (2.0f * std::numbers::pi_v<float>);
// Both in the movement measure (squared, heights a hundredth): a waypoint
// nearer than the reach is passed; a leg ends nearer than its end.
constexpr float kWaypointReach = 1.5f;
constexpr float kLegEnd = 0.2f;
// An approach that finds no route this often in a row is given up.
constexpr int32_t kApproachTries = 3;
constexpr int32_t kCrouchSequence = 19;

Quaternion HeadingRotation(float steps)
{
    const float half = steps / kStepsPerRadian * 0.5f;
    return {0, std::sin(half), 0, std::cos(half)};
}

uint32_t PolygonWord(const CollisionPolygon* polygon)
{
    return polygon ? polygon->tableIndex_ & 0xFFFFFF : 0xFFFFFFu;
}

uint64_t TicksPerSecond() { return std::max<uint64_t>(ServerLink::Get().TicksPerSecond(), 1); }

} // namespace

float Actor::DistanceMeasure(const Vec3& a, const Vec3& b)
{
    const Vec3 d = a - b;
    return d.x * d.x + 0.01f * d.y * d.y + d.z * d.z;
}

float Actor::FoldAngle(float difference)
{
    float d = std::fmod(difference, 4096.0f);
    if (d > 2048.0f)
        d -= 4096.0f;
    if (d < -2048.0f)
        d += 4096.0f;
    return d;
}

Vulnerability Vulnerability::From(const script::VulnerabilityEntry& entry)
{
    return {entry.attacker, entry.projectile, entry.kind, static_cast<float>(entry.seconds), entry.command};
}

Actor::Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id)
    : GameObject(side, role, position, orientation, side == TeamTable::OwnSide() ? 3u : 1u, id)
{
    character_ = role && role->character ? &*role->character : nullptr;
    // What its role is vulnerable to, as the level's script and console set it.
    if (role) {
        for (const script::VulnerabilityEntry& entry : role->vulnerabilities)
            vulnerabilities_.push_back(Vulnerability::From(entry));
    }
    if (character_) {
        sightRange_ = character_->sightRange;
        alertRadius_ = character_->alertRadius;
        sightAngle_ = static_cast<float>(character_->sightAngle);
        speed_ = character_->walkingSpeed;
        aimAngle_ = static_cast<float>(character_->aim);
        SetHitPoints(character_->strength);
        centreOffset_ = {0, -character_->height / 2, 0};
    }
    if (role && role->shape && role->shape.hasBox) {
        const script::Float3& low = role->shape.minimum;
        const script::Float3& high = role->shape.maximum;
        centreOffset_ = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    }
    moveTarget_ = position;
    UpdateStep();
}

Actor::~Actor()
{
    if (mover_) {
        if (Level* level = Level::Current()) {
            LockGuard guard(level->lock_, true);
            if (mover_->surface)
                mover_->surface->flags_ &= ~0x40u;
            level->RemoveMover(mover_);
        }
        mover_ = nullptr;
    }
}

void Actor::UpdateStep()
{
    const float walkFactor = character_ ? character_->MetresPerSpeedUnit() : 1.0f;
    stepLength_ = static_cast<float>(speed_) / 65536.0f * walkFactor;
    const int32_t turning = character_ ? character_->turningSpeed : 0;
    // A character that cannot turn has no turning circle (and no division by 0).
    if (turning == 0) {
        turningCircle_ = 0;
        return;
    }
    const float radius = stepLength_ / (static_cast<float>(turning) * 2.0f * std::numbers::pi_v<float> / 4096.0f);
    turningCircle_ = radius * radius;
}

float Actor::GetHealthFraction() const
{
    if (HitPoints() <= 0)
        return 0;
    const int32_t strength = character_ ? character_->strength : 0;
    return strength > 0 ? static_cast<float>(HitPoints()) / static_cast<float>(strength) : 1.0f;
}

CollisionPolygon* Actor::GetPolygon() const
{
    return mover_ ? mover_->surface : GameObject::GetPolygon();
}

bool Actor::HasCustomisation() const { return character_ && character_->customisationShape; }

int32_t Actor::Activate(uint64_t now, float seconds)
{
    if (Level* level = Level::Current(); level && character_ && !mover_) {
        LockGuard guard(level->lock_, true);
        // The replicas' body: height, radius, a step of 0.3 of the radius, the slope.
        Vec3 at = Position();
        mover_ = level->AddMover(at, std::make_unique<WalkerBody>(character_->height, character_->radius),
                                 static_cast<uint32_t>(now));
        mover_->position = Position();
        if (mover_->surface)
            mover_->surface->flags_ |= 0x40u;
    }
    // The mover's velocity is not in a saved game: a loaded walker's is its
    // step along its heading, per tick, so it goes on at once as it went.
    if (restored_ && mover_) {
        const float heading = Heading() / kStepsPerRadian;
        const float perTick = walking_ ? stepLength_ / static_cast<float>(TicksPerSecond()) : 0.0f;
        mover_->velocity = {std::sin(heading) * perTick, 0, std::cos(heading) * perTick};
    }
    // Joining the side again resets the standing order and hold position of
    // a squad member; a loaded actor keeps the ones it was saved with.
    const int32_t side = Side();
    const int32_t standingOrder = standingOrder_;
    const bool holdPosition = holdPosition_;
    GameObject::SetSide(0);
    SetSide(side);
    if (std::exchange(restored_, false)) {
        standingOrder_ = standingOrder;
        holdPosition_ = holdPosition;
    }
    return GameObject::Activate(now, seconds);
}

void Actor::SetSide(int32_t side)
{
    if (!TeamTable::IsSquadSide(Side()) && TeamTable::IsSquadSide(side)) {
        standingOrder_ = 6;
        holdPosition_ = false;
        if (mover_) {
            mover_->barrierFlags &= ~0x40000u;
            mover_->bodyClassFlags = (mover_->bodyClassFlags & ~0x40000u) | 0x80000u;
        }
        if (active_ && !inventory_) {
            inventory_ = std::make_unique<Inventory>(character_ ? character_->weapon : 0, 15);
            flags_ |= kObjectHasTrackers;
        }
    }
    GameObject::SetSide(side);
    if (TeamTable::IsSquadSide(side) && !(character_ && character_->alwaysCpuControlled)) {
        // To its controlling player only; without a session, to whoever listens.
        if (const auto& assign = ServerLink::Get().assignUnit)
            assign(GetId(), side);
        else
            OutMessage(3).U32(GetId()).Send(true);
    }
}

void Actor::SetInventory(std::unique_ptr<Inventory> inventory) { inventory_ = std::move(inventory); }

bool Actor::Place(const Vec3& position, const Quaternion& orientation, float seconds)
{
    const bool placed = GameObject::Place(position, orientation, seconds);
    moveTarget_ = Position();
    return placed;
}

void Actor::SyncMover()
{
    if (mover_)
        mover_->position = Position();
}

void Actor::SyncMotion(CollisionPolygon* polygon)
{
    if (!mover_)
        return;
    mover_->position = Position();
    mover_->surface = polygon;
}

void Actor::AddSpeed(int32_t delta)
{
    speed_ += delta;
    UpdateStep();
    const Vec3 velocity = mover_ ? mover_->velocity : Vec3{0, 0, 0};
    OutMessage(63)
        .U32(GetId())
        .F32(lastUpdate_)
        .Point(Position())
        .Rotation(Orientation())
        .Point(velocity)
        .U32(PolygonWord(GetPolygon()))
        .I32(delta)
        .Send(true);
}

void Actor::ExtendSight(float amount)
{
    sightRange_ += amount;
    OutMessage(62).U32(GetId()).F32(amount).Send(true);
}

void Actor::SendMotion(uint32_t type, bool guaranteed)
{
    const Vec3 velocity = mover_ ? mover_->velocity : Vec3{0, 0, 0};
    OutMessage(type)
        .U32(GetId())
        .F32(lastUpdate_)
        .Point(Position())
        .Rotation(Orientation())
        .Point(velocity)
        .U32(PolygonWord(GetPolygon()))
        .Send(guaranteed);
    lastSent_ = lastUpdate_;
    changed_ = false;
}

float Actor::Heading() const
{
    const Quaternion& q = Orientation();
    return 2.0f * std::atan2(q.y, q.w) * kStepsPerRadian;
}

bool Actor::SetMoveTarget(CollisionPolygon* polygon, float time)
{
    if (time < orderTime_ || HitPoints() == 0 || crouching_ || !polygon)
        return false;
    destination_ = polygon;
    pathState_ = 2;
    orderTime_ = legTime_ = time;
    return true;
}

void Actor::SetDestination(const Vec3& point, float time)
{
    if (!character_ || !character_->canTurn || crouching_ || time < orderTime_ || HitPoints() == 0)
        return;
    Level* level = Level::Current();
    if (!level)
        return;
    CollisionPolygon* polygon = nullptr;
    {
        LockGuard guard(level->lock_, false);
        polygon = level->FindPolygonAt(point);
    }
    SetMoveTarget(polygon, time);
}

void Actor::StopWalking(float time)
{
    orderTime_ = time;
    walking_ = false;
    ClearWaypoints();
    SendMotion(MotionType(), false);
}

uint32_t Actor::MotionType() const
{
    // A replica walks from a 42 until a 43: a refresh must not stop one that
    // is still on its way, nor a stop leave one walking.
    return walking_ || !waypoints_.empty() ? 42 : 43;
}

void Actor::Stop(float time)
{
    if (time < orderTime_ || HitPoints() == 0 || crouching_)
        return;
    StopWalking(time);
}

void Actor::WalkTo(const Vec3& point)
{
    if (!character_ || !character_->canTurn || HitPoints() == 0)
        return;
    moveTarget_ = point;
    walking_ = true;
    const Vec3 velocity = mover_ ? mover_->velocity : Vec3{0, 0, 0};
    const Vec3 next = cursor_ + 1 < waypoints_.size() ? waypoints_[cursor_ + 1].point : point;
    OutMessage(40)
        .U32(GetId())
        .F32(lastUpdate_)
        .Point(Position())
        .Rotation(Orientation())
        .Point(velocity)
        .U32(PolygonWord(GetPolygon()))
        .Point(point)
        .Point(next)
        .Send(false);
}

bool Actor::NextWaypoint()
{
    if (waypoints_.empty())
        return false;
    // Every waypoint may be kept and reached: one round over the list at most.
    for (size_t tries = waypoints_.size(); tries > 0 && !waypoints_.empty(); --tries) {
        if (cursor_ >= waypoints_.size())
            cursor_ = 0;
        const Waypoint& waypoint = waypoints_[cursor_];
        if (DistanceMeasure(waypoint.point, Position()) >= kWaypointReach) {
            if (!walking_)
                WalkTo(waypoint.point);
            return true;
        }
        if (waypoint.keep == 0)
            waypoints_.erase(waypoints_.begin() + static_cast<std::ptrdiff_t>(cursor_));
        else
            ++cursor_;
    }
    return !waypoints_.empty();
}

namespace {
// A fresh list rather than an insert at the front (which trips a false
// null-dereference warning in the library).
void PrependPoint(std::vector<Waypoint>& list, const Vec3& point, int32_t keep)
{
    std::vector<Waypoint> points;
    points.reserve(list.size() + 1);
    points.push_back({point, keep});
    points.insert(points.end(), list.begin(), list.end());
    list = std::move(points);
}
} // namespace

void Actor::PrependWaypoint(const Vec3& point, int32_t keep)
{
    PrependPoint(waypoints_, point, keep);
    cursor_ = 0;
}

void Actor::PrependSparePoint(const Vec3& point, int32_t keep) { PrependPoint(sparePoints_, point, keep); }

void Actor::ClearWaypoints()
{
    waypoints_.clear();
    cursor_ = 0;
}

void Actor::PlanPath()
{
    pathState_ = 3;
    Level* level = Level::Current();
    CollisionPolygon* start = GetPolygon();
    if (!level || !start || !destination_)
        return;
    std::vector<CollisionPolygon*> route;
    bool reached = false;
    {
        LockGuard guard(level->lock_, false);
        reached = PathSearch::FindPathGreedy(*level, start, destination_, route, mover_ ? mover_->barrierFlags : 0);
    }
    // The route reaches the destination only when it ends there: an empty
    // one (standing on the destination already) leaves the full search to
    // settle it.
    if (!reached || route.empty())
        return;
    if (lastUpdate_ >= orderTime_ && HitPoints() != 0 && !crouching_)
        StopWalking(lastUpdate_);
    ClearWaypoints();
    pathState_ = 1;
    size_t first = 0;
    if (DistanceMeasure(*route.front()->Centre(), Position()) < kWaypointReach)
        first = 1;
    if (first >= route.size()) {
        pathState_ = 3;
        return;
    }
    for (size_t i = first; i < route.size(); ++i)
        AppendWaypoint(*route[i]->Centre(), 0);
}

void Actor::Replan()
{
    pathState_ = 1;
    Level* level = Level::Current();
    CollisionPolygon* start = GetPolygon();
    if (!level || !start || !destination_)
        return;
    ClearWaypoints();
    std::vector<CollisionPolygon*> route;
    {
        LockGuard guard(level->lock_, false);
        PathSearch::FindPath(*level, start, destination_, route, mover_ ? mover_->barrierFlags : 0);
    }
    if (route.empty())
        return;
    if (lastUpdate_ >= orderTime_ && HitPoints() != 0 && !crouching_)
        StopWalking(lastUpdate_);
    while (!route.empty() &&
           DistanceMeasure(*route.front()->Centre(), Position()) < kWaypointReach)
        route.erase(route.begin());
    for (auto it = route.rbegin(); it != route.rend(); ++it)
        AppendWaypoint(*(*it)->Centre(), 0);
}

Actor::Approach Actor::ApproachTarget(GameObject& target, float rangeSquared, float time)
{
    if (target.GetId() == unreachableId_ && time < unreachableUntil_)
        return Approach::kNoRoute;
    // Approaches are path searches like any plan: the pass's budget bounds
    // them, so many attackers out of range never stall a pass.
    int32_t& budget = ServerCounters::PlanBudget();
    if (budget <= 0)
        return Approach::kDeferred;
    --budget;
    Level* level = Level::Current();
    CollisionPolygon* start = GetPolygon();
    std::vector<CollisionPolygon*> route;
    if (level && start) {
        LockGuard guard(level->lock_, false);
        PathSearch::FindPathToRange(*level, start, target.GetAimPoint(), route, mover_ ? mover_->barrierFlags : 0,
                                    rangeSquared);
    }
    ClearWaypoints();
    walking_ = false;
    // No route: after a few tries the target is given up, so an unreachable
    // one does not cost a search and a message every pass.
    if (route.empty()) {
        unreachableId_ = target.GetId();
        unreachableUntil_ = time + kApproachRetrySeconds;
        if (++approachFailures_ >= kApproachTries) {
            approachFailures_ = 0;
            StopAiming(lastUpdate_);
        }
        return Approach::kNoRoute;
    }
    approachFailures_ = 0;
    unreachableUntil_ = -1;
    for (auto it = route.rbegin(); it != route.rend(); ++it)
        AppendWaypoint(*(*it)->Centre(), 0);
    return Approach::kRouted;
}

void Actor::ReplanNow(const Vec3& point, float time)
{
    if (!character_ || !character_->canTurn || HitPoints() == 0)
        return;
    if (waypoints_.empty()) {
        SetDestination(point, time);
        return;
    }
    Level* level = Level::Current();
    if (!level || !GetPolygon() || time < orderTime_)
        return;
    {
        LockGuard guard(level->lock_, false);
        if (!level->FindPolygonAt(point))
            return;
    }
    Stop(time);
    Replan();
    orderTime_ = legTime_ = time;
}

void Actor::WalkStep(float seconds)
{
    float d = seconds * stepLength_;
    Vec3 position = Position();
    if (busy_) {
        if (mover_ && mover_->velocity.LengthSquared() > 0)
            SetPosition(position + mover_->velocity.Normalised() * d);
        return;
    }
    if (DistanceMeasure(moveTarget_, position) < kLegEnd) {
        walking_ = false;
        changed_ = true;
        return;
    }
    const float dx = moveTarget_.x - position.x, dz = moveTarget_.z - position.z;
    float heading = Heading();
    const float wanted = std::atan2(dx, dz) * kStepsPerRadian;
    const float difference = FoldAngle(wanted - heading);
    const float sign = difference < 0 ? -1.0f : 1.0f;
    const float turnAvailable = seconds * static_cast<float>(character_ ? character_->turningSpeed : 0);
    const float d2 = dx * dx + dz * dz;
    // The part of the turn the turning circle takes up while moving.
    float inMotion = 2048.0f;
    if (turningCircle_ > 0) {
        const float c = 1.0f - d2 / (2.0f * turningCircle_);
        if (c > -1.0f)
            inMotion = ArcCosineSteps(c) * 0.5f;
    }
    const float onSpot = std::max(0.0f, std::fabs(difference) - inMotion);
    if (onSpot > turnAvailable) {
        SetOrientation(HeadingRotation(heading + sign * turnAvailable));
        return;
    }
    if (turnAvailable > 0)
        d *= 1.0f - onSpot / turnAvailable;
    heading += sign * onSpot;
    float arcTurn = difference - sign * onSpot;  // taken up along the arc
    if (turningCircle_ > 0 && arcTurn != 0) {
        const float radius = std::sqrt(turningCircle_);
        float radians = std::fabs(arcTurn) / kStepsPerRadian;
        const float arcLength = radius * radians;
        if (arcLength > d) {
            radians = d / radius;
            arcTurn = sign * radians * kStepsPerRadian;
        }
        const float chord = 2.0f * radius * std::sin(radians * 0.5f);
        const float middle = (heading + arcTurn * 0.5f) / kStepsPerRadian;
        position.x += chord * std::sin(middle);
        position.z += chord * std::cos(middle);
        d -= std::min(d, radius * radians);
        heading += arcTurn;
    } else {
        heading += arcTurn;
    }
    const float h = heading / kStepsPerRadian;
    const float rx = moveTarget_.x - position.x, rz = moveTarget_.z - position.z;
    if (d * d >= rx * rx + rz * rz) {
        position.x = moveTarget_.x;
        position.z = moveTarget_.z;
        walking_ = false;
        changed_ = true;
    } else {
        position.x += d * std::sin(h);
        position.z += d * std::cos(h);
    }
    SetOrientation(HeadingRotation(heading));
    SetPosition(position);
}

float Actor::ElapsedSeconds(uint64_t now) const
{
    const uint64_t ticks = now > now_ ? now - now_ : 0;
    return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(TicksPerSecond()));
}

void Actor::FireAtWill(uint64_t now)
{
    (void)now;
    WeaponState* weapon = GetWeapon();
    if (IsAttacking() || walking_ || standingOrder_ != 4 || !weapon || !weapon->projectile || pickUpPending_)
        return;
    GameObject* best = nullptr;
    float bestDistance = 0;
    Level* level = Level::Current();
    const Vec3 raise{0, -0.6f, 0};
    for (int32_t side = 0; side < SideLists::kSides; ++side) {
        if (side == Side() || TeamTable::IsNeutral(side))
            continue;
        for (GameObject* object : SideLists::Global().Side(side)) {
            if (!object->IsAlive())
                continue;
            const float distance = (object->GetAimPoint() - Position()).LengthSquared();
            if ((best && distance >= bestDistance) || distance >= sightRange_ * sightRange_)
                continue;
            if (level && !LineOfSight(*level, Position() + raise, object->Position() + raise, nullptr))
                continue;
            best = object;
            bestDistance = distance;
        }
    }
    if (!best)
        return;
    const float range = weapon->projectile->projectile ? weapon->projectile->projectile->maxRange : 0;
    if (bestDistance <= range)
        AimAtObject(best, lastUpdate_, false, false);
    else if (!holdPosition_ && GetPolygon() && best->GetPolygon() && !busy_)
        ApproachTarget(*best, range, lastUpdate_);
}

void Actor::HoldStill(float seconds)
{
    if (walking_)
        Stop(seconds);
    if (IsAttacking())
        StopAiming(seconds);
}

void Actor::RunActorOrder()
{
    const OrderRecord order = orders_.front();
    switch (order.kind) {
    case OrderKind::kMove:
        if (!crouching_)
            SetMoveTarget(order.polygon, lastUpdate_);
        followedId_ = order.targetId;
        break;
    case OrderKind::kCrouch:
        ToggleCrouch();
        break;
    case OrderKind::kEquip:
        EquipItem(order.slot, order.value, true);
        break;
    case OrderKind::kGive:
        if (GameObject* recipient = ObjectRegistry::Global().Find(static_cast<uint32_t>(order.targetId)))
            StartGive(*recipient, order.value, lastUpdate_);
        break;
    case OrderKind::kUse:
        UseItem(order.value, true);
        orderFinished_ = true;
        break;
    case OrderKind::kDrop:
        DropItem(order.value);
        break;
    case OrderKind::kUnequip:
        UnequipAndAnnounce(order.value);
        orderFinished_ = true;
        break;
    default:
        return;  // waits, and the units' own kinds
    }
    PopOrder();
}

void Actor::Update(uint64_t now, float seconds)
{
    const float dt = ElapsedSeconds(now);
    // 1. Path work within the pass's budget.
    int32_t& budget = ServerCounters::PlanBudget();
    if (budget > 0) {
        if (pathState_ == 1) {
            pathState_ = 0;
        } else if (pathState_ == 2) {
            PlanPath();
            --budget;
        } else if (pathState_ == 3) {
            Replan();
            --budget;
        }
    }
    // 2. Squad sides: waypoints, fire at will, giving, flag capture.
    if (TeamTable::IsSquadSide(Side())) {
        NextWaypoint();
        FireAtWill(now);
        if (GameObject* recipient = Held()) {
            if (recipient->IsAlive() && recipient->HasCustomisation() &&
                (recipient->Position() - Position()).LengthSquared() <= 16.0f) {
                GiveItemTo(followedId_, recipient->GetId());
                GameObject::ReleaseLinks();
                followedId_ = -1;
            }
        }
        if (carriedFlag_ != 0) {
            const TeamRecord* own = TeamTable::Find(Side());
            if (own && (own->flagHome - Position()).LengthSquared() <= 4.0f)
                CaptureFlag();
        }
    }
    // 3. Walking.
    if (walking_ && HitPoints() > 0)
        WalkStep(dt);
    // 4. The mover follows.
    if (mover_) {
        if (Level* level = Level::Current()) {
            LockGuard guard(level->lock_, false);
            CollisionPolygon* before = mover_->surface;
            Vec3 target = Position();
            const bool moved = level->AdvanceMover(target, *mover_, static_cast<uint32_t>(now));
            if (mover_->surface != before && !(flags_ & kObjectNoPolygonMark) && IsAlive()) {
                if (before)
                    before->flags_ &= ~0x40u;
                if (mover_->surface)
                    mover_->surface->flags_ |= 0x40u;
            }
            SetPositionQuiet(target);
            // Stuck for a second past the last order, walking or only
            // pushed: the next waypoint is planned anew, else it stops.
            if (!moved && seconds > orderTime_ + 1.0f) {
                if (!waypoints_.empty())
                    SetDestination(waypoints_[cursor_ < waypoints_.size() ? cursor_ : 0].point, seconds);
                else if (seconds >= orderTime_ && HitPoints() != 0 && !crouching_)
                    StopWalking(seconds);
            }
        }
    }
    // 5. The base update.
    GameObject::Update(now, seconds);
    // 6. Motion state: on change, else a refresh every second.
    if (changed_ || seconds - lastSent_ > 1.0f)
        SendMotion(MotionType(), false);
    // 7. The followed object: a pick-up or a switch is used once near.
    if (!walking_ && followedId_ != -1 && HasCustomisation() && !Held() && !pickUpPending_) {
        GameObject* followed = ObjectRegistry::Global().Find(static_cast<uint32_t>(followedId_));
        // Only pick-ups and switches are used here: a followed unit is never taken.
        if (followed && followed->IsKind(kPickUpAiType) && !followed->IsRemoved() &&
            (followed->Position() - Position()).LengthSquared() < 6.0f) {
            GameObjectRef hold(followed);
            auto& used = static_cast<Kind10Object&>(*followed);
            used.Use(*this);
            // A pick-up taken at once leaves nothing to walk to; one whose
            // sequence plays is taken when that ends (step 9).
            if (!pickUpPending_ && used.Collected())
                followedId_ = -1;
        }
    }
    if (pickUpPlaying_ && pickUpDone_)
        orderFinished_ = true;
    // 8. Orders.
    if (!orders_.empty() && !walking_ && pathState_ == 0 && !pickUpPending_ && !ServerFlags::Paused())
        RunActorOrder();
    // 9. A finished order.
    if (orderFinished_) {
        orderFinished_ = false;
        if (removeAfterOrder_) {
            removeAfterOrder_ = false;
            Remove(true);
            return;
        }
        if (pickUpPending_) {
            GameObject* followed = ObjectRegistry::Global().Find(static_cast<uint32_t>(followedId_));
            followedId_ = -1;
            // A completed pick-up is always announced (81): the player sees
            // what the unit picked up.
            if (followed && inventory_)
                GiveItem(*followed, true);
            pickUpPending_ = false;
            if (std::exchange(pickUpPlaying_, false))
                busy_ = false;
        }
    }
}

void Actor::TakeDamage(int32_t amount)
{
    if (ServerFlags::GodMode() && Side() == TeamTable::OwnSide())
        return;
    int64_t left = amount;
    const int32_t shield = GetShield();
    if (shield != 0 && left > 0) {
        if (left < shield) {
            DrainShield(static_cast<int32_t>(left));
            return;
        }
        DrainShield(shield);
        left -= shield;
    }
    int64_t hitPoints = HitPoints();
    if (left > 0) {
        const int32_t armour = GetArmour();
        WearArmour(1);
        if (left > armour)
            hitPoints -= left - armour;
    } else {
        hitPoints -= left;
    }
    if (hitPoints <= 0) {
        if (HitPoints() <= 0)
            return;  // already dead
        SetHitPoints(0);
        const script::Role* role = GetRole();
        if (role && !role->severPoints.empty()) {
            OutMessage(99)
                .U32(GetId())
                .I32(ServerCounters::NextEventNumber())
                .U32((ServerRandom::Next() / 2) % static_cast<uint32_t>(role->severPoints.size()))
                .Send(false);
        }
        walking_ = false;
        Die();
        return;
    }
    const int64_t strength = character_ ? character_->strength : hitPoints;
    SetHitPoints(static_cast<int32_t>(std::min(hitPoints, std::max<int64_t>(strength, 0))));
}

void Actor::BodyBox(Vec3& minimum, Vec3& maximum) const
{
    const float r = character_ ? std::max(character_->radius, 0.3f) : 0.5f;
    const float h = character_ ? std::max(character_->height, 0.5f) : 1.8f;
    minimum = Position() + Vec3{-r, -h, -r};
    maximum = Position() + Vec3{r, 0, r};
}

bool Actor::HitTestSegment(CollisionHit& result, const Vec3& start, const Vec3& vector, float maximum)
{
    if (Shape())
        return GameObject::HitTestSegment(result, start, vector, maximum);
    Vec3 low, high;
    BodyBox(low, high);
    CollisionHit hit;
    hit.fraction = maximum;
    if (!CollideSegmentWithBox(hit, low, high, start, vector))
        return false;
    result.fraction = hit.fraction;
    return true;
}

bool Actor::HitTestTrajectory(CollisionHit& result, const Vec3& start, const Vec3& velocity,
                              const Vec3& acceleration, float maximum)
{
    if (Shape())
        return GameObject::HitTestTrajectory(result, start, velocity, acceleration, maximum);
    Vec3 low, high;
    BodyBox(low, high);
    CollisionHit hit;
    hit.fraction = maximum;
    if (!CollideTrajectoryWithBox(hit, low, high, start, velocity, acceleration))
        return false;
    result.fraction = hit.fraction;
    return true;
}

void Actor::Die()
{
    const bool destructible = GetRole() && GetRole()->destruction;
    SendMotion(destructible ? 43 : 51, !destructible);
    hidden_ = false;
    if (carriedFlag_ != 0)
        DropFlag();
    Detach();
    if (destructible)
        Destroy();
}

void Actor::Detach()
{
    hidden_ = false;
    if (inventory_ && Level::Current()) {
        // Everything it carried falls where the actor fell; only the list's
        // initial entry stays. A stack that cannot be dropped (its pick-up
        // is worth nothing) stays too, and the rest still falls.
        std::vector<int32_t> kept;
        for (;;) {
            const auto& items = inventory_->Items();
            auto it = std::find_if(items.rbegin(), items.rend(), [&](const CarriedItem& item) {
                return item.kind != ItemKind::kInitial && std::find(kept.begin(), kept.end(), item.id) == kept.end();
            });
            if (it == items.rend())
                break;
            const int32_t id = it->id;
            if (!DropItem(id))
                kept.push_back(id);
        }
    }
    GameObject::Detach();
}

// ---- orders ----

void Actor::GroupMove(CollisionPolygon* node, uint32_t targetWord, float time)
{
    // The sender empties its whole list, waits too, whether or not the move
    // itself is taken: a wait kept here would block every later queued order.
    SetMoveTarget(node, time);
    followedId_ = static_cast<int32_t>(targetWord);
    GameObject::ReleaseLinks();
    ClearOrders();
}

void Actor::AppendMoveOrder(CollisionPolygon* node, uint32_t targetWord)
{
    OrderRecord record{OrderKind::kMove, static_cast<int32_t>(targetWord)};
    record.polygon = node;
    if (node)
        record.position = *node->Centre();
    PushOrder(record);
}

void Actor::InsertHoldOrder()
{
    if (orders_.empty() || orders_.front().kind != OrderKind::kWait)
        PushOrderFront({OrderKind::kWait, -1, 0, 0, Position()});
}

void Actor::QueueCrouch() { PushOrder({OrderKind::kCrouch, -1, 0, 0, Position()}); }

void Actor::QueueWait()
{
    if (orders_.empty() || orders_.front().kind != OrderKind::kWait)
        PushOrder({OrderKind::kWait, -1, 0, 0, Position()});
}

void Actor::ReleaseWait()
{
    if (!orders_.empty() && orders_.front().kind == OrderKind::kWait)
        PopOrder();
}

void Actor::PopOrder()
{
    if (orders_.empty())
        return;
    OutMessage(94).U32(GetId()).Send(false);
    orders_.pop_front();
}

void Actor::QueueEquip(int32_t slot, int32_t item)
{
    int32_t pending = 0;
    for (const OrderRecord& order : orders_) {
        if (order.value == item && order.kind == OrderKind::kEquip)
            ++pending;
        else if (order.value == item && order.kind == OrderKind::kUnequip)
            --pending;
    }
    PushOrder({pending == 1 ? OrderKind::kUnequip : OrderKind::kEquip, -1, item, slot});
}

void Actor::DropQueuedOrders()
{
    std::erase_if(orders_, [](const OrderRecord& order) { return order.kind != OrderKind::kWait; });
}

bool Actor::SetStandingOrder(int32_t order)
{
    if (order >= 0 && order <= 2) {
        if (TeamRecord* record = TeamTable::Find(Side()))
            record->formation = order;
        return true;
    }
    if (order == 3) {
        holdPosition_ = !holdPosition_;
        return true;
    }
    if (order >= 4 && order <= 6) {
        standingOrder_ = order;
        return true;
    }
    return false;
}

// ---- items ----

const EquippedItem* Actor::FindEquipped(int32_t itemId) const
{
    for (const EquippedItem& record : equipped_)
        if (record.itemId == itemId)
            return &record;
    return nullptr;
}

bool Actor::RoleLimitRefuses(const CarriedItem& item) const
{
    const int32_t limit = GetRole() ? GetRole()->limit : 0;
    if ((item.roleLimit & limit) == 0)
        return false;
    ServerOutbox::Global().PrintText(kTextRoleLimit);
    return true;
}

bool Actor::EquipItem(int32_t slot, int32_t itemId, bool queued)
{
    CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr;
    if (!item || slot < 0 || slot > 12 || FindEquipped(itemId))
        return false;
    const int32_t type = item->kind;
    if (slot >= 2 && type != ItemType::kShield && type != ItemType::kModule && type != ItemType::kModule2 &&
        type != ItemType::kArmour)
        return false;
    const bool module = type == ItemType::kModule || type == ItemType::kModule2;
    if (module && item->subtype == ModuleKind::kCloak && IsAttacking()) {
        ServerOutbox::Global().PrintText(kTextCloakWhileAttacking);
        return false;
    }
    if (type == ItemType::kWeapon && (item->subtype < 0 || item->subtype >= script::kWeaponTypes))
        return false;
    if (RoleLimitRefuses(*item))
        return false;
    equipped_.push_back({slot, type, item->subtype, itemId});
    if (const script::Role* made = RoleTable::Global().FindById(item->roleId); made && Shape())
        BodyPart::Attach(*Shape(), BodyPart::ItemLook(*made), slot);
    OutMessage(queued ? 83 : 84).U32(GetId()).I32(slot).I32(itemId).Send(true);
    if (type == ItemType::kShield)
        SetShield(GetShield() + static_cast<int32_t>(item->count));
    else if (type == ItemType::kWeapon)
        ChangeWeapon(item->subtype);
    else if (type == ItemType::kArmour)
        SetArmour(GetArmour() + static_cast<int32_t>(item->count));
    if (module && item->subtype == ModuleKind::kSight)
        ExtendSight(static_cast<float>(item->amount));
    if (module && item->subtype == ModuleKind::kUntracked)
        flags_ &= ~kObjectHasTrackers;
    if (module && item->subtype == ModuleKind::kCloak) {
        // One cloak at a time: the others come off first.
        for (size_t i = equipped_.size(); i-- > 0;) {
            const EquippedItem& other = equipped_[i];
            if (other.itemId != itemId && (other.type == ItemType::kModule || other.type == ItemType::kModule2) &&
                other.subtype == ModuleKind::kCloak)
                UnequipItem(other);
        }
        // Put on in sight of an enemy, the cloak fools nobody.
        if (IsUnobserved()) {
            cloakOwner_ = static_cast<int32_t>(GetId());
            hidden_ = true;
            ChooseDisguise();
        }
    }
    return true;
}

void Actor::ChooseDisguise()
{
    // The enemy whose build is nearest the actor's own (model height and half
    // extent both closer than the best so far) lends the cloak its look.
    if (!character_)
        return;
    float bestHeight = 0, bestExtent = 0;
    bool first = true;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        const script::CharacterRecord* other = object->GetCharacter();
        if (object == this || object->Side() == Side() || !other)
            continue;
        // The models' builds, not the collision bodies: the disguise is a look.
        const float height = std::fabs(other->modelHeight - character_->modelHeight);
        const float extent = std::fabs(other->modelHalfExtent - character_->modelHalfExtent);
        if (first || (height < bestHeight && extent < bestExtent)) {
            cloakOwner_ = static_cast<int32_t>(object->GetId());
            bestHeight = height;
            bestExtent = extent;
            first = false;
        }
    }
}

void Actor::StartGive(GameObject& recipient, int32_t itemId, float time)
{
    SetMoveTarget(recipient.GetPolygon(), time);
    followedId_ = itemId;
    Hold(&recipient);
}

bool Actor::UnequipAndAnnounce(int32_t itemId)
{
    const EquippedItem* record = FindEquipped(itemId);
    if (!record)
        return false;
    UnequipItem(*record);
    OutMessage(88).U32(GetId()).I32(itemId).Send(false);
    return true;
}

void Actor::UnequipItem(const EquippedItem& record)
{
    const EquippedItem copy = record;
    std::erase_if(equipped_, [&](const EquippedItem& r) { return r.itemId == copy.itemId && r.slot == copy.slot; });
    const CarriedItem* item = inventory_ ? inventory_->FindById(copy.itemId) : nullptr;
    // The part goes back to the model's own, without the item.
    if (GetRole() && Shape())
        BodyPart::Restore(*Shape(), GetRole()->shape, copy.slot);
    // An arm gives up whatever it held; what the item added on the way in
    // still comes off below, whichever slot it wore. A weapon on the other
    // arm stays in use (and takes over from a weapon taken off); with none
    // left in either arm the default weapon comes back.
    if (copy.slot <= 1 && inventory_) {
        const auto armed = std::find_if(equipped_.begin(), equipped_.end(), [](const EquippedItem& r) {
            return r.slot <= 1 && r.type == ItemType::kWeapon;
        });
        if (armed == equipped_.end())
            ChangeWeapon(inventory_->DefaultWeapon());
        else if (copy.type == ItemType::kWeapon)
            ChangeWeapon(armed->subtype);
    }
    const int32_t count = item ? static_cast<int32_t>(item->count) : 0;
    const bool module = copy.type == ItemType::kModule || copy.type == ItemType::kModule2;
    if (copy.type == ItemType::kShield)
        SetShield(std::max(0, GetShield() - count));
    else if (copy.type == ItemType::kArmour)
        SetArmour(std::max(0, GetArmour() - count));
    if (module && copy.subtype == ModuleKind::kSight && item)
        sightRange_ -= static_cast<float>(item->amount);
    if (module && copy.subtype == ModuleKind::kCloak) {
        hidden_ = false;
        cloakOwner_ = -1;
    }
    if (module && copy.subtype == ModuleKind::kUntracked)
        flags_ |= kObjectHasTrackers;
}

void Actor::SpawnAtActor(script::Role* role, int32_t side)
{
    ServerLink::Get().Spawn(side, role, Position(), Orientation());
}

bool Actor::UseItem(int32_t itemId, bool queued)
{
    CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr;
    if (!item || RoleLimitRefuses(*item))
        return false;
    static constexpr const char* kDeployables[] = {"mine", "remote_mine", "timed_mine", "decoy"};
    script::Role* deployable = nullptr;
    if (item->kind == ItemType::kDeployable) {
        // A deployable whose role the level lacks places nothing and stays.
        if (item->subtype < 0 || item->subtype > 3)
            return false;
        deployable = RoleTable::Global().FindByName(kDeployables[item->subtype]);
        if (!deployable)
            return false;
    }
    OutMessage(queued ? 85 : 86).U32(GetId()).I32(itemId).Send(true);
    switch (item->kind) {
    case ItemType::kHealing:
        TakeDamage(-item->amount);
        inventory_->Remove(*item);
        break;
    case ItemType::kWeapon:
        EquipItem(0, itemId, false);
        break;
    case ItemType::kDeployable: {
        SpawnAtActor(deployable, Side());
        if (--item->amount <= 0)
            inventory_->Remove(*item);
        break;
    }
    case ItemType::kAmmunition:
        ChangeAmmo(item->subtype);
        break;
    default:
        break;
    }
    return true;
}

bool Actor::GiveItemTo(int32_t itemId, uint32_t recipientId)
{
    GameObject* recipient = ObjectRegistry::Global().Find(recipientId);
    CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr;
    Inventory* other = recipient ? recipient->GetInventory() : nullptr;
    if (!item || !other || other == inventory_.get())
        return false;
    OutMessage(89).U32(GetId()).I32(itemId).U32(recipientId).Send(true);
    if (const EquippedItem* record = FindEquipped(itemId))
        UnequipItem(*record);
    item = inventory_->FindById(itemId);
    if (!item)
        return false;
    other->Add(inventory_->Take(*item));
    return true;
}

bool Actor::DropItem(int32_t itemId)
{
    CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr;
    if (!item || item->kind == ItemKind::kInitial)
        return false;
    if (const EquippedItem* record = FindEquipped(itemId))
        UnequipItem(*record);
    item = inventory_->FindById(itemId);
    if (!item)
        return false;
    if (item->roleId >= 0) {
        script::Role* role = RoleTable::Global().FindById(item->roleId);
        inventory_->Remove(*item);
        if (role) {
            SpawnAtActor(role, 0);
            OutMessage(87).U32(GetId()).I32(itemId).Send(true);
        }
        return true;
    }
    script::Role* role = RoleTable::Global().FindByKey(item->subtype);
    const int32_t unit = PickUpAmount(*item);
    // A pick-up worth nothing would let the stack be dropped forever: the
    // stack stays whole.
    if (unit <= 0)
        return false;
    if (static_cast<int64_t>(item->count) < unit) {
        inventory_->Remove(*item);
        return true;
    }
    if (static_cast<int64_t>(item->count) > unit)
        item->count -= static_cast<uint32_t>(unit);
    else
        inventory_->Remove(*item);
    SpawnAtActor(role, 0);
    OutMessage(87).U32(GetId()).I32(itemId).Send(true);
    return true;
}

bool Actor::IsPickUp(const GameObject& object)
{
    const script::Role* role = object.GetRole();
    return role && role->aiType == kPickUpAiType && !object.IsRemoved();
}

bool Actor::GiveItem(GameObject& object, bool queued)
{
    // Taken once: a pick-up already collected gives nothing again.
    auto* pickUp = object.IsKind(kPickUpAiType) ? static_cast<Kind10Object*>(&object) : nullptr;
    const script::Role* role = object.GetRole();
    if ((pickUp && pickUp->Collected()) || !role)
        return false;
    GameObjectRef hold(&object);
    if (!TakeItem(object, pickUp ? pickUp->ItemKind() : role->GetRating(), queued))
        return false;
    if (pickUp)
        pickUp->MarkCollected();
    else
        object.Remove(true);
    return true;
}

bool Actor::StartPickUp(int32_t sequence, float until)
{
    if (!Shape() || !Shape()->HasSequence(sequence))
        return false;
    busy_ = true;
    pickUpPending_ = pickUpPlaying_ = true;
    pickUpDone_ = 0;
    OutMessage(KindMessage::kPickingUp).U32(GetId()).I32(sequence).F32(until).Send(false);
    const int32_t speed = 0x10000;
    PlaySequence(sequence, &speed, 1, now_, &pickUpDone_, 0, false);
    return true;
}

bool Actor::TakeItem(GameObject& object, int32_t kind, bool queued)
{
    script::Role* role = object.GetRole();
    if (!inventory_ || !role || !IsPickUp(object))
        return false;
    inventory_->AddFromRole(kind, *role, static_cast<int32_t>(nextItemNumber_));
    OutMessage(queued ? 81 : 82).U32(GetId()).I32(kind).I32(role->id).U32(nextItemNumber_).Send(true);
    ++nextItemNumber_;
    pickUpPending_ = false;
    return true;
}

// ---- flags ----

void Actor::TakeFlag(int32_t team)
{
    TeamRecord* record = TeamTable::Find(team);
    if (!record || team == Side() || carriedFlag_ != 0 || !IsAlive())
        return;
    if (record->flag && record->flag->carried)
        return;
    OutMessage(59).U32(GetId()).I32(team).Send(true);
    if (record->flag)
        record->flag->carried = true;
    carriedFlag_ = team;
}

// The carried flag leaves the carrier (message 60 dropped, 61 captured) and
// stands at `home` when set, else where the carrier is. The side whose flag
// it was; 0 when none was carried.
int32_t Actor::ReleaseFlag(uint32_t message, bool home)
{
    const int32_t team = std::exchange(carriedFlag_, 0);
    if (team == 0)
        return 0;
    OutMessage(message).U32(GetId()).I32(team).Send(true);
    if (TeamRecord* record = TeamTable::Find(team); record && record->flag) {
        record->flag->carried = false;
        const Vec3 at = home ? record->flag->home : Position();
        record->flag->Place(at.x, at.y, at.z, now_);
    }
    return team;
}

void Actor::DropFlag() { ReleaseFlag(60, false); }

void Actor::CaptureFlag()
{
    if (ReleaseFlag(61, true) == 0)
        return;
    if (TeamRecord* own = TeamTable::Find(Side()))
        own->score += 10;
}

// ---- crouching ----

void Actor::ToggleCrouch()
{
    // Only a model that can crouch does.
    const Hierarchy* tree = GetRole() ? RoleHierarchy(GetRole()->shape) : nullptr;
    if (!tree || !tree->HasSequence(kCrouchSequence))
        return;
    walking_ = false;
    ClearWaypoints();
    if (IsAttacking())
        StopAiming(lastUpdate_);
    crouching_ = !crouching_;
    if (crouching_) {
        if (IsUnobserved()) {
            bool cover = false;
            for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
                const script::Role* role = object->GetRole();
                if (object != this && role && role->aiType == 10 && !(role->flags & script::kRoleDestroyAfterCollection) &&
                    (object->Position() - Position()).LengthSquared() < object->radius_ * object->radius_)
                    cover = true;
            }
            CollisionPolygon* polygon = GetPolygon();
            hidden_ = cover || (polygon && (polygon->flags_ & 0x800u));
        }
    } else if (cloakOwner_ == -1) {
        hidden_ = false;
    }
    OutMessage(crouching_ ? 54 : 55).U32(GetId()).U8(hidden_ ? 1 : 0).Send(false);
}
