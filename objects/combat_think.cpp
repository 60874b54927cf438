// The combat routine: perceive, raise or spread the alarm, pick a target, an
// attacker or a point of interest, then carry out the chosen state's step.
#include "app/math_tables.h"
#include "objects/ai.h"
#include "objects/perception.h"
#include "objects/server_kinds.h"
#include "objects/server_link.h"
#include "objects/orders.h"
#include "objects/path_search.h"
#include "objects/teams.h"
#include "objects/think_routines.h"
#include "objects/unit_actor.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "world/level.h"
#include "world/line_of_sight.h"
#include "world/mover.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kAlarmSeconds = 5.0f;
constexpr float kSearchSeconds = 13.0f;
constexpr float kNearRoundTime = 25.0f;  // squared: 5 m
constexpr float kTouch = 1.0f;           // squared
constexpr float kWanderDistance = 20.0f;
constexpr float kStrafe = 3.0f;
constexpr float kNearNoise = 49.0f;      // squared: 7 m
constexpr int32_t kWideSightAngle = 1024; // a quarter turn

float Squared(float v) { return v * v; }

class CombatThink {
public:
    CombatThink(Actor& self, uint64_t time) : self_(self), unit_(self.IsUnit() ? static_cast<UnitActor*>(&self) : nullptr), time_(time) {}

    void Run();

private:
    uint64_t Ticks(float seconds) const
    {
        return static_cast<uint64_t>(static_cast<double>(seconds) * static_cast<double>(tps_));
    }
    float Distance2(const GameObject& other) const { return (other.Position() - self_.Position()).LengthSquared(); }
    GameObject* CurrentTarget() const { return self_.GetTarget(); }
    bool HasRoute() const { return !self_.Waypoints().empty(); }
    Vec3 Anchor() const
    {
        if (HasRoute())
            return self_.Waypoints().back().point;
        return self_.hasHome_ ? self_.home_ : self_.Position();
    }
    bool IdleCheck() { return !self_.NextWaypoint() && !self_.NeedsPath() && !HasRoute(); }
    void Send(uint32_t type) const { OutMessage(type).U32(self_.GetId()).Send(false); }

    void Alarm();
    void FindAttacker();
    void SearchStatic();
    void Hear();
    void ChooseStep();
    void AimAt(GameObject* object, bool lob) { self_.AimAtObject(object, now_, false, lob); }
    void EnterState(int32_t state, const Vec3& interest);
    void StrafeOrOther(GameObject& around, bool checkRange);

    void TargetStep(GameObject& target);
    void AttackerStep(GameObject& attacker);
    void IdleStep();
    void AggravatedStep();
    void HeardStep();
    void SearchStep();
    void RouteStep();
    void Closing(GameObject& target);
    void ClosingOne();

    Actor& self_;
    UnitActor* unit_;
    uint64_t time_;
    uint64_t tps_ = ServerLink::Get().TicksPerSecond();
    float now_ = 0;
    bool busy_ = false, mobile_ = false;
    float sight2_ = 0, sightAngle_ = 0, attackRange_ = 0;
    Vec3 heard_{0, 0, 0};
    int32_t newState_ = AiState::kInitial;
    bool alarmRan_ = false;
    GameObject* target_ = nullptr;
    float best_ = 0;
    GameObject* attacker_ = nullptr;
};

void CombatThink::Run()
{
    if (time_ < self_.nextThink_)
        return;
    now_ = tps_ ? static_cast<float>(static_cast<double>(time_) / static_cast<double>(tps_)) : 0;
    const script::CharacterRecord* character = self_.GetCharacter();
    busy_ = self_.IsWalking() || self_.aiState_ == 7;
    mobile_ = character && character->walkingSpeed != 0;
    sight2_ = Squared(self_.GetSightRange());
    sightAngle_ = self_.SightAngle();
    WeaponState* weapon = self_.GetWeapon();
    float reach = 1.3f * sight2_;
    if (weapon && weapon->projectile && weapon->projectile->projectile)
        reach = std::min(reach, weapon->projectile->projectile->maxRange);
    attackRange_ = reach * (0.6f + 0.2f * self_.aggression_);
    heard_ = self_.aiPoint_;
    newState_ = AiState::kInitial;
    if (self_.baseRoundTime_ == 0 && weapon)
        self_.baseRoundTime_ = weapon->roundTime;

    bool widen = false;
    switch (self_.aiState_) {
    case 0:
        if (self_.waitUntil_ == 0)
            self_.waitUntil_ = time_ + Ticks(self_.alarmDelay_);
        if (time_ >= self_.waitUntil_) {
            Alarm();
            widen = true;
        }
        break;
    case 1:
        Alarm();
        widen = true;
        break;
    case 6: widen = true; break;
    default: self_.waitUntil_ = 0; break;
    }
    if (widen) {
        sight2_ *= 9;
        sightAngle_ = kWideSightAngle;
    }

    best_ = sight2_;
    if (mobile_) {
        if (GameObject* current = CurrentTarget()) {
            target_ = current;
            best_ = std::min(sight2_, Distance2(*current));
        }
        FindAttacker();
        if (Perception::IsWatchedSide(self_.Side()) && unit_) {
            SweepScanner& scanner = unit_->Scanner();
            if (!scanner.FindByTouch(kTouch, target_, best_) && unit_->BeamOn())
                scanner.Scan(now_, target_, best_);
        }
    } else {
        SearchStatic();
    }
    self_.flags_ &= ~kAiWasHit;
    if (attacker_) {
        AttackerStep(*attacker_);
        return;
    }
    if (target_) {
        TargetStep(*target_);
        return;
    }
    Hear();
    ChooseStep();
}

void CombatThink::Alarm()
{
    alarmRan_ = true;
    if (self_.alertLevel_ == 2) {
        const float left = time_ < self_.alertEnd_ && tps_ ? static_cast<float>(self_.alertEnd_ - time_) / static_cast<float>(tps_) : 0;
        const float radius2 = Squared(self_.AlertRadius()) * left / kAlarmSeconds;
        for (GameObject* mate : Perception::SideObjects(self_.Side())) {
            if (mate->IsAlive() && mate->aiType_ == 0 && mate->aiState_ != 0 && mate->aiState_ != 1 &&
                mate->alertLevel_ == 0 && Distance2(*mate) < radius2) {
                mate->aiState_ = 0;
                mate->aiPoint_ = self_.aiPoint_;
                mate->flags_ &= ~kObjectAimsAtPoint;
            } else if (mate->IsKind(Kind14Actor::kAiType)) {
                auto* spawner = static_cast<Kind14Actor*>(mate);
                if (spawner->alertable_)
                    spawner->triggered_ = true;
            }
        }
        if (time_ > self_.alertEnd_) {
            self_.alertLevel_ = 3;
            self_.waitUntil_ = 0;
        }
    } else if (self_.alertLevel_ != 3) {
        self_.alertEnd_ = time_ + Ticks(kAlarmSeconds);
        self_.alertLevel_ = 2;
        Send(AiMessage::kAlarm);
        if (self_.SparePoints().empty())
            self_.AppendSparePoint(self_.Position(), 0);
    }
}

void CombatThink::FindAttacker()
{
    if (!(self_.flags_ & kAiWasHit))
        return;
    float nearest = sight2_;
    Perception::ForEachOtherSide(self_.Side(), [&](GameObject& other) {
        if (Perception::IsNoticeable(other) && other.GetTarget() == &self_) {
            const float d2 = Distance2(other);
            if (d2 < nearest) {
                nearest = d2;
                attacker_ = &other;
            }
        }
        return false;
    });
}

void CombatThink::SearchStatic()
{
    GameObject* current = CurrentTarget();
    if (current && current->IsAlive() && time_ < self_.retargetTime_) {
        target_ = current;
    } else {
        const float cone = CosineOf(static_cast<int32_t>(sightAngle_));
        const Vec3 facing = Quaternion::ZAxis(self_.Orientation());
        const Vec3 eye = self_.Position() + Perception::kEyeOffset;
        best_ = sight2_;
        bool found = false;
        if (Perception::IsWatchedSide(self_.Side())) {
            Perception::ForEachOtherSide(self_.Side(), [&](GameObject& other) {
                if (!Perception::IsNoticeable(other))
                    return false;
                const float d2 = Distance2(other);
                if (!(d2 < best_ && d2 > self_.targetDistance_))
                    return false;
                if (d2 > 1.0f && !alarmRan_) {
                    const Vec3 to = other.Position() - self_.Position();
                    // Straight overhead has no bearing: outside every cone.
                    if (to.x == 0 && to.z == 0)
                        return false;
                    if (!(Ai::GroundCosine(facing, to) > cone))
                        return false;
                    if (!LineOfSight(eye, other.Position() + Perception::kEyeOffset, nullptr))
                        return false;
                }
                target_ = &other;
                best_ = d2;
                found = true;
                return false;
            });
        }
        if (found) {
            const script::CharacterRecord* character = self_.GetCharacter();
            self_.retargetTime_ = time_ + Ticks(character ? character->targetCycleTime : 0);
        } else {
            self_.targetDistance_ = 0;
        }
    }
    if (target_) {
        const float d2 = Distance2(*target_);
        self_.targetDistance_ = d2;
        if (WeaponState* weapon = self_.GetWeapon())
            weapon->roundTime = d2 >= kNearRoundTime ? self_.baseRoundTime_ : self_.baseRoundTime_ * 0.5f;
    }
}

void CombatThink::Hear()
{
    const script::CharacterRecord* character = self_.GetCharacter();
    const float hearing2 = character ? character->hearingRangeSquared : 0;
    for (const NoiseRecord& noise : ObjectTrackers::All()) {
        if (noise.kind == 3 || (noise.first - self_.Position()).LengthSquared() > hearing2)
            continue;
        if (self_.aiState_ == AiState::kAggravated) {
            if (Ai::GroundCosine(noise.second - self_.Position(), heard_ - self_.Position()) > 0.5f)
                heard_ = noise.second;
            continue;
        }
        heard_ = noise.first;
        if ((noise.first - self_.Position()).LengthSquared() < kNearNoise && (AiRandom::Next() & 1))
            self_.aiState_ = AiState::kAggravated;
        else
            newState_ = 5;
    }
}

void CombatThink::ChooseStep()
{
    const int32_t state = self_.aiState_;
    GameObject* current = CurrentTarget();
    if (state == 1 && current) {
        attacker_ = current;
        AttackerStep(*current);
    } else if ((state == 0 || state == 1 || state == 6) && mobile_) {
        SearchStep();
    } else if (state == AiState::kAggravated && mobile_) {
        AggravatedStep();
    } else if (state == AiState::kPathfinding && newState_ == AiState::kInitial) {
        RouteStep();
    } else if (newState_ == 5) {
        HeardStep();
    } else {
        IdleStep();
    }
}

void CombatThink::EnterState(int32_t state, const Vec3& interest)
{
    if (self_.aiState_ != 0 && self_.aiState_ != 1) {
        self_.Stop(now_);
        self_.ClearPathState();
    }
    self_.aiState_ = state;
    self_.aiPoint_ = interest;
    self_.flags_ &= ~kObjectAimsAtPoint;
}

// The three answers to being hit often: aim again (lobbing), step 3 m past
// the target, or turn to another hostile.
void CombatThink::StrafeOrOther(GameObject& around, bool checkRange)
{
    self_.missCount_ = 0;
    switch (AiRandom::Next() % 3) {
    case 0: AimAt(&around, true); break;
    case 1: {
        const Vec3 point = around.Position() + (around.Position() - self_.Position()).Normalised() * kStrafe;
        if (!checkRange || (point - Anchor()).LengthSquared() > attackRange_ || !(busy_ || HasRoute())) {
            if (checkRange && self_.IsAttacking())
                self_.StopAiming(now_);
            self_.SetDestination(point, now_);
        }
        break;
    }
    default:
        if (GameObject* other = Ai::FindOtherHostile(self_, &around))
            AimAt(other, false);
        break;
    }
}

void CombatThink::TargetStep(GameObject& target)
{
    EnterState(0, target.Position());
    if (self_.PathState() != 0)
        return Closing(target);
    if (!mobile_) {
        if (CurrentTarget() != &target) {
            AimAt(&target, false);
            return;
        }
        return Closing(target);
    }
    if (Distance2(target) > attackRange_) {
        if ((target.Position() - Anchor()).LengthSquared() > attackRange_ || !(busy_ || HasRoute())) {
            if (self_.IsAttacking())
                self_.StopAiming(now_);
            self_.missCount_ = 0;
            self_.SetDestination(target.Position(), now_);
            return;
        }
        return Closing(target);
    }
    if (self_.missCount_ > 2)
        StrafeOrOther(target, false);
    Closing(target);
}

void CombatThink::Closing(GameObject& target)
{
    if (IdleCheck()) {
        self_.Stop(self_.OrderTime());
        if (!self_.IsAttacking())
            AimAt(&target, false);
    }
}

void CombatThink::AttackerStep(GameObject& attacker)
{
    EnterState(1, attacker.Position());
    if (self_.NeedsPath())
        return ClosingOne();
    if (mobile_ && self_.missCount_ > 2) {
        // Without a target of its own the answers turn on the attacker.
        GameObject* current = CurrentTarget();
        StrafeOrOther(current ? *current : attacker, true);
        return ClosingOne();
    }
    if (CurrentTarget() != &attacker) {
        AimAt(&attacker, false);
        return;
    }
    ClosingOne();
}

void CombatThink::ClosingOne()
{
    if (IdleCheck())
        self_.Stop(self_.OrderTime());
}

void CombatThink::IdleStep()
{
    if (self_.flags_ & kAiStayPut)
        return;
    if (HasRoute()) {
        self_.aiState_ = AiState::kPathfinding;
        return;
    }
    const std::vector<Waypoint>& patrol = self_.SparePoints();
    if (!patrol.empty()) {
        size_t nearest = 0;
        for (size_t i = 1; i < patrol.size(); ++i) {
            if ((patrol[i].point - self_.Position()).LengthSquared() <
                (patrol[nearest].point - self_.Position()).LengthSquared())
                nearest = i;
        }
        self_.SetDestination(patrol[nearest].point, now_);
        if (patrol.size() == 1 && patrol[0].keep == 0)
            self_.ClearSparePoints();
        self_.aiState_ = AiState::kPathfinding;
        return;
    }
    if (AiRandom::Next() % 50 == 0 || AiRandom::Next() % 5 != 0)
        return;
    CollisionPolygon* from = self_.GetPolygon();
    if (!mobile_ || busy_ || self_.NeedsPath() || !from || HasRoute())
        return;
    const int32_t angle = static_cast<int32_t>(AiRandom::Next() % 4096);
    const Vec3 point = self_.Position() + Vec3{SineOf(angle), 0, CosineOf(angle)} * kWanderDistance;
    Level* level = Level::Current();
    if (!level)
        return;
    bool reached = false;
    {
        LockGuard guard(level->lock_, false);
        CollisionPolygon* to = level->FindPolygonAt(point);
        if (!to)
            return;
        std::vector<CollisionPolygon*> route;
        Mover* mover = self_.GetMover();
        reached = PathSearch::FindPathGreedy(*level, from, to, route, mover ? mover->barrierFlags : 0);
    }
    if (!reached)
        return;
    self_.PrependWaypoint(self_.hasHome_ ? self_.home_ : self_.Position(), 0);
    self_.PrependWaypoint(point, 0);
    self_.aiState_ = AiState::kPathfinding;
}

void CombatThink::AggravatedStep()
{
    if ((heard_ - self_.aiPoint_).LengthSquared() > 4.0f) {
        self_.aiPoint_ = heard_;
        busy_ = false;
        if ((self_.flags_ & kAiAimWhileMoving) && unit_) {
            self_.flags_ |= kObjectAimsAtPoint;
            unit_->AimAtPoint(heard_, now_, false, false);
        }
    }
    SearchStep();
}

void CombatThink::HeardStep()
{
    if (!mobile_ || self_.NeedsPath()) {
        if (!self_.IsAttacking() && unit_)
            unit_->AimAtPoint(heard_, now_, true, false);
        return;
    }
    if (Ai::GroundCosine(heard_ - self_.Position(), Anchor() - self_.Position()) < 0.866f) {
        self_.Stop(now_);
        if ((self_.flags_ & kAiAimWhileMoving) && unit_) {
            self_.flags_ |= kObjectAimsAtPoint;
            unit_->AimAtPoint(heard_, now_, false, false);
        }
        self_.SetDestination(heard_, now_);
        return;
    }
    ClosingOne();
}

void CombatThink::SearchStep()
{
    self_.aiState_ = AiState::kHeadingFor;
    if (self_.alertLevel_ != 1) {
        self_.alertLevel_ = 1;
        self_.alertEnd_ = time_ + Ticks(kSearchSeconds);
        Send(AiMessage::kSearching);
    }
    if (busy_ || self_.NeedsPath() || HasRoute())
        return ClosingOne();
    if (self_.PathState() != 1 && (self_.aiPoint_ - self_.Position()).LengthSquared() > 4.0f) {
        self_.SetDestination(self_.aiPoint_, now_);
        return;
    }
    self_.aiPoint_ = self_.Position();
    if (time_ > self_.alertEnd_) {
        self_.aiState_ = AiState::kInitial;
        if (self_.alertLevel_ != 0) {
            self_.alertLevel_ = 0;
            Send(AiMessage::kSearchOver);
        }
    }
}

void CombatThink::RouteStep()
{
    if (IdleCheck()) {
        self_.Stop(self_.OrderTime());
        self_.aiState_ = AiState::kInitial;
    }
}

} // namespace

int32_t Ai::ThinkCombat(GameObject& object, uint64_t time)
{
    if (time < object.nextThink_ || !object.IsActor())
        return 0;
    CombatThink(static_cast<Actor&>(object), time).Run();
    return 0;
}

float Ai::GroundCosine(const Vec3& a, const Vec3& b)
{
    const float la = a.x * a.x + a.z * a.z, lb = b.x * b.x + b.z * b.z;
    if (!(la > 0) || !(lb > 0))
        return 0;
    return (a.x * b.x + a.z * b.z) / std::sqrt(la * lb);
}
