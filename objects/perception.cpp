#include "objects/perception.h"

#include "app/math_tables.h"
#include "objects/ai.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "world/line_of_sight.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int32_t kDeviceType = 2;
constexpr float kStepsToRadians = 6.28318530718f / 4096.0f;
} // namespace

bool Perception::IsNoticeable(const GameObject& object)
{
    return object.IsAlive() && !object.IsHidden() && object.aiType_ != kDeviceType;
}

bool Perception::IsWatchedSide(int32_t side) { return !TeamTable::IsNeutral(side); }

const std::vector<GameObject*>& Perception::SideObjects(int32_t side) { return SideLists::Global().Side(side); }

int32_t Perception::SideCount() { return SideLists::kSides; }

bool SweepScanner::FindByTouch(float limit, GameObject*& target, float& best)
{
    bool found = false;
    if (!Perception::IsWatchedSide(owner_.Side()))
        return false;
    const Vec3 at = owner_.Position();
    Perception::ForEachOtherSide(owner_.Side(), [&](GameObject& object) {
        if (!Perception::IsNoticeable(object))
            return false;
        const float d2 = (object.Position() - at).LengthSquared();
        if (d2 < limit && d2 < best) {
            best = d2;
            target = &object;
            found = true;
        }
        return false;
    });
    return found;
}

void SweepScanner::Gather(float limit)
{
    candidates_.clear();
    const size_t count = ObjectRegistry::Global().Count();
    if (candidates_.capacity() < count) {
        size_t capacity = std::max<size_t>(candidates_.capacity(), 1);
        while (capacity < count)
            capacity *= 2;
        candidates_.reserve(capacity);
    }
    const Vec3 at = owner_.Position();
    Perception::ForEachOtherSide(owner_.Side(), [&](GameObject& object) {
        if (Perception::IsNoticeable(object)) {
            const float d2 = (object.Position() - at).LengthSquared();
            if (d2 < limit)
                candidates_.push_back({d2, &object});
        }
        return false;
    });
}

void SweepScanner::RemoveCandidate(size_t i)
{
    candidates_[i] = candidates_.back();
    candidates_.pop_back();
}

bool SweepScanner::Scan(float now, GameObject*& target, float& best)
{
    if (!Perception::IsWatchedSide(owner_.Side()))
        return false;
    const float range = owner_.GetSightRange();
    Gather(std::min(range * range, best));
    if (candidates_.empty()) {
        seen_.clear();
        return false;
    }
    const bool crossed = Sweep(now);
    if (!owner_.beamOn_)
        seen_.clear();
    if (!crossed)
        return false;
    if (!ClipToSight())
        return false;
    bool taken = false;
    for (const Candidate& c : candidates_) {
        if (c.distance < best) {
            best = c.distance;
            target = c.object;
            taken = true;
        }
    }
    seen_.clear();
    return taken;
}

bool SweepScanner::Sweep(float now)
{
    for (Seen& s : seen_)
        s.refreshed = false;
    const float elapsed = now - owner_.lastScan_;
    owner_.lastScan_ = now;
    const float limit = owner_.SightAngle();
    float& angle = owner_.sweepAngle_;
    if (owner_.sweepDirection_ == 0) {
        angle += elapsed * Perception::kSweepRate;
        if (angle > limit) {
            angle = 2 * limit - angle;
            if (angle <= -limit) {
                // A long gap would fold the beam past the far edge: it stops
                // at the edge instead of pointing outside its sight angle.
                angle = -limit;
                owner_.beamOn_ = false;
                return false;
            }
            owner_.sweepDirection_ = 1;
        }
    } else {
        angle -= elapsed * Perception::kSweepRate;
        if (angle <= -limit) {
            angle = -limit;
            owner_.beamOn_ = false;
        }
    }
    const float half = angle * 0.5f * kStepsToRadians;
    const Quaternion turn{0, std::sin(half), 0, std::cos(half)};
    const Vec3 beam = owner_.Orientation().Rotate(turn.Rotate({0, 0, 1})) * owner_.GetSightRange();
    owner_.beamStart_ = owner_.Position() + Perception::kEyeOffset;
    owner_.beamEnd_ = owner_.beamStart_ + beam;

    const Vec3 at = owner_.Position();
    for (size_t i = 0; i < candidates_.size();) {
        GameObject& object = *candidates_[i].object;
        const Vec3 v = object.Position() - at;
        if (v.x * beam.x + v.z * beam.z <= 0) {
            RemoveCandidate(i);
            continue;
        }
        const int32_t side = v.z * beam.x - v.x * beam.z >= 0 ? 0 : 1;
        auto seen = std::find_if(seen_.begin(), seen_.end(), [&](const Seen& s) { return s.id == object.GetId(); });
        if (seen == seen_.end()) {
            seen_.push_back({object.GetId(), side, true});
            seen = seen_.end() - 1;
        }
        seen->refreshed = true;
        if (seen->side == side) {
            RemoveCandidate(i);
            continue;
        }
        seen->side = side;
        ++i;
    }
    std::erase_if(seen_, [](const Seen& s) { return !s.refreshed; });
    return !candidates_.empty();
}

bool SweepScanner::ClipToSight()
{
    Vec3 hit{0, 0, 0};
    if (!LineOfSight(owner_.beamStart_, owner_.beamEnd_, &hit))
        owner_.beamEnd_ = hit;
    const float length2 = (owner_.beamEnd_ - owner_.beamStart_).LengthSquared();
    std::erase_if(candidates_, [&](const Candidate& c) { return c.distance >= length2; });
    return !candidates_.empty();
}

GameObject* Ai::FindOtherHostile(GameObject& object, const GameObject* excluded)
{
    GameObject* found = nullptr;
    if (!Perception::IsWatchedSide(object.Side()))
        return nullptr;
    const float range = object.GetSightRange();
    const float sight2 = range * range;
    Perception::ForEachOtherSide(object.Side(), [&](GameObject& other) {
        if (&other == excluded || !Perception::IsNoticeable(other))
            return false;
        if ((other.Position() - object.Position()).LengthSquared() < sight2) {
            found = &other;
            return true;
        }
        return false;
    });
    return found;
}
