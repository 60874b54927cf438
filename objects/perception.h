// What an AI notices. A mobile unit feels enemies that touch it and sees
// those its sweeping beam crosses, like a searchlight turning back and forth
// across its sight angle; one more search finds any other hostile in sight.
// Static emplacements use the plain sight cone of the combat routine.
// Server thread only.
#pragma once

#include "app/maths.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class GameObject;
class UnitActor;

namespace Perception {
// The beam's eye: one metre above the feet (y grows downward).
inline constexpr Vec3 kEyeOffset{0, -1, 0};
// Turning rate of the beam: 0.8 radian a second in 4096ths of a turn.
inline constexpr float kSweepRate = 521.5189f;

// Alive, not hidden and not a deployed device (devices are never noticed).
bool IsNoticeable(const GameObject& object);
// Whether `side`'s objects are looked at by, and look at, others: not a
// neutral side.
bool IsWatchedSide(int32_t side);
// Every object filed under a side other than `own` that is not neutral,
// sides in index order and each in list order; `visit` returns true to stop.
template <class Visit>
void ForEachOtherSide(int32_t own, Visit&& visit);
const std::vector<GameObject*>& SideObjects(int32_t side);
int32_t SideCount();
} // namespace Perception

template <class Visit>
void Perception::ForEachOtherSide(int32_t own, Visit&& visit)
{
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (side == own || !IsWatchedSide(side))
            continue;
        for (GameObject* object : SideObjects(side)) {
            if (visit(*object))
                return;
        }
    }
}

// A unit's beam and what it has seen: made with the unit on first use.
class SweepScanner {
public:
    struct Candidate {
        float distance;  // squared
        GameObject* object;
    };
    struct Seen {
        uint32_t id;
        int32_t side;  // 0 or 1: which side of the beam it stood at
        bool refreshed;
    };

    explicit SweepScanner(UnitActor& owner) : owner_(owner) {}

    // The nearest noticeable enemy below both `limit` and `best` (squared).
    bool FindByTouch(float limit, GameObject*& target, float& best);
    // The beam turns to `now` (seconds); the nearest enemy it crossed and
    // sees becomes the target when nearer than `best`.
    bool Scan(float now, GameObject*& target, float& best);
    // Turns the beam and keeps the candidates it crossed since the last turn.
    bool Sweep(float now);
    // Shortens the beam to the level's geometry and drops what lies beyond.
    bool ClipToSight();

    const std::vector<Candidate>& Candidates() const { return candidates_; }
    const std::vector<Seen>& SeenList() const { return seen_; }

private:
    void Gather(float limit);
    void RemoveCandidate(size_t i);

    UnitActor& owner_;
    std::vector<Candidate> candidates_;  // reused between scans; only grows
    std::vector<Seen> seen_;
};

namespace Ai {
// The first noticeable hostile within sight range that is not `excluded`.
GameObject* FindOtherHostile(GameObject& object, const GameObject* excluded);
} // namespace Ai
