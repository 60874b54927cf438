// The server registry: every live server object filed by id in 64 buckets
// (id AND 63, newest first), the ten side lists, the server counters and the
// server's random generator. The server thread owns all of it; other
// threads reach it only inside the game-state hand-over. Passes and sweeps
// walk a snapshot (Snapshot), so objects may come and go meanwhile.
#pragma once

#include "Veapi/particles.h"
#include "app/read_write_lock.h"

#include <array>
#include <cstdint>
#include <vector>

class GameObject;

class ObjectRegistry {
public:
    static constexpr uint32_t kBuckets = 64, kMask = 63;

    static ObjectRegistry& Global();

    // Called by GameObject's constructor and destructor.
    void Insert(GameObject& object);
    void Erase(GameObject& object);  // by pointer: ids 64 apart share a bucket
    GameObject* Find(uint32_t id) const;
    uint32_t Count() const { return count_; }
    // Files the object under another id (saved games restore stored ids).
    void Rekey(GameObject& object, uint32_t id);

    // The objects in bucket order, newest first within a bucket.
    std::vector<GameObject*> Snapshot() const;
    // Activate(0, 0) on every object (game start, after a load).
    void ActivateAll();
    // ReleaseLinks and one reference dropped per object (level stop, thread end).
    void ReleaseAll();

    // While a pass runs (scopes nest), a removed object's last reference
    // waits for the pass's end: every object of the pass's snapshot stays
    // valid to its end without a reference taken on each.
    class PassScope {
    public:
        PassScope();
        ~PassScope();
        PassScope(const PassScope&) = delete;
        PassScope& operator=(const PassScope&) = delete;
    };
    // Drops the creation reference of a removed object, at once or at the
    // end of the running pass.
    void DropRemoved(GameObject& object);

    // The id of the next server object; restarts at 1 with each level.
    uint32_t TakeNextId() { return nextId_++; }
    void ResetIds() { nextId_ = 1; }
    uint32_t PeekNextId() const { return nextId_; }
    void SetNextId(uint32_t id) { nextId_ = id; }  // a loaded save's counter

private:
    struct Node {
        GameObject* object;
        Node* next;
    };
    std::array<Node*, kBuckets> buckets_{};
    uint32_t count_ = 0;
    int32_t passDepth_ = 0;
    std::vector<GameObject*> removedInPass_;
    uint32_t nextId_ = 1;
};

// One list per side 0 to 9; a side outside that range has none.
class SideLists {
public:
    static constexpr int32_t kSides = 10;
    static SideLists& Global();

    // False (and nothing filed) for a side outside 0 to 9.
    bool Add(GameObject& object);
    void Remove(GameObject& object);
    // Empty for a side outside 0 to 9.
    const std::vector<GameObject*>& Side(int32_t side) const;
    void Clear();

private:
    std::array<std::vector<GameObject*>, kSides> lists_;
};

// Counters of the server pass.
struct ServerCounters {
    // Kills (message 99), explosions and projectiles; 0 at level load.
    static int32_t NextEventNumber();
    static int32_t PeekEventNumber();
    static void ResetEventNumber();
    // Path plans left in the current pass; set at the start of every pass.
    static int32_t& PlanBudget();
    // Plans per pass fixed at level load (1 or 2).
    static int32_t& LevelPlanBudget();
};

// The additive lagged generator behind ServerRandom and AiRandom, drawn under
// a lock of its own (both threads may draw).
class LockedRandom {
public:
    explicit LockedRandom(const uint32_t (&state)[ParticleRandom::kDegree]);
    // The whole sum; users take (sum / 2) mod n or Fraction.
    uint32_t Next();
    // [0, 1) from the bits (sum / 2) AND 0x7FFFFF.
    float NextFraction();
    // The state of a new program.
    void Reset();
    // The generator as it stands, and the draws going on from such a state:
    // a saved game does not hold them, so a run that must repeat carries
    // them across a load itself.
    ParticleRandom Snapshot();
    void Restore(const ParticleRandom& state);

private:
    uint32_t start_[ParticleRandom::kDegree];
    ParticleRandom generator_;
    ReadWriteLock lock_;  // exclusive around each draw
};

namespace ServerRandom {
// The server's 31 starting words: the low halves of the first 31 outputs
// of splitmix64 seeded with 0x5EED (fixed, so runs repeat).
extern const uint32_t kStartWords[ParticleRandom::kDegree];
LockedRandom& Get();
inline uint32_t Next() { return Get().Next(); }
} // namespace ServerRandom
