// The server kind classes an AI type picks besides the plain object, the
// actor, the unit and the path mover: a footprint that marks the floor (5),
// pick-ups and switches (10), segmented creatures (12 and 13), spawners
// (14), dormant guards (16) and escorts (17). The server factory's table
// (objects/server_classes) makes them. Server thread only.
#pragma once

#include "objects/footprint.h"
#include "objects/unit_actor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CollisionPolygon;

namespace KindMessage {
inline constexpr uint32_t kGuardRises = 53;    // {53, id}
inline constexpr uint32_t kEscortSide = 57;    // {57, id, new side}
inline constexpr uint32_t kItemTaken = 81;     // {81, actor id, item kind, role id, item id}
inline constexpr uint32_t kSwitchLinked = 92;  // {92, id}
inline constexpr uint32_t kCollected = 93;     // {93, id}
inline constexpr uint32_t kPickingUp = 56;    // {56, actor id, sequence, seconds it ends by}
inline constexpr uint32_t kSegment = 98;       // {98, previous id, segment id}
inline constexpr uint32_t kSwitchSpent = 100;  // {100, id}
inline constexpr uint32_t kEscortExit = 132;   // {132, exit number}
} // namespace KindMessage

namespace ServerKinds {
// While a saved game is restored no pick-up spawns bugs: the save brings
// its own back.
void SetRestoring(bool restoring);
bool Restoring();
// A command-file name a switch may run: a bare, non-empty file name.
bool IsPlainFileName(const std::string& name);
} // namespace ServerKinds

// Marks the floor polygons under its footprint (flag 0x100) while it lives.
class Kind5Object : public GameObject {
public:
    static constexpr int32_t kAiType = 5;
    static constexpr uint32_t kImageSize = 272;
    static constexpr uint32_t kMarkFlag = Footprint::kMarkFlag;
    Kind5Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    int32_t Activate(uint64_t now, float seconds) override;
    void Detach() override;
    const std::vector<CollisionPolygon*>& Marked() const { return marked_; }

protected:
    ~Kind5Object() override;

private:
    void Unmark();
    std::vector<CollisionPolygon*> marked_;
};

// A pick-up lying in the level, or a switch that runs a command file.
class Kind10Object : public GameObject {
public:
    static constexpr int32_t kAiType = 10;
    static constexpr uint32_t kImageSize = 280;
    Kind10Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    int32_t GetArmour() const override;
    // Projectiles pass through pick-ups.
    bool HitTestSegment(CollisionHit&, const Vec3&, const Vec3&, float) override { return false; }
    bool HitTestTrajectory(CollisionHit&, const Vec3&, const Vec3&, const Vec3&, float) override { return false; }
    // The item kind; spawns 0 to 4 "bug"s unless the kind is 2.
    void ApplyRoleValue(int32_t kind) override;
    // The command file run on use, once or every time; message 92.
    void Associate(const char* name, bool runOnce) override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;

    virtual void MarkCollected();
    // The actor uses it: a switch runs its file, a pick-up joins the actor's
    // inventory (announced), at once or when its pick-up sequence ends.
    // False when nothing happened.
    virtual bool Use(Actor& actor);
    // A pick-up the actor's model has a pick-up sequence for (49 for item
    // kind 2, else 50) is taken when that ends: the actor is busy
    // meanwhile (message 56). False: nothing to play, it is taken at once.
    bool BeginPickUp(Actor& actor);
    int32_t PickUpSequence() const { return itemKind_ == 2 ? 49 : 50; }
    void SetRequiredRole(const char* name) override;

    bool Collected() const { return collected_; }
    int32_t ItemKind() const { return itemKind_; }
    bool DestroyAfterCollection() const { return destroyAfterCollection_; }
    const std::optional<std::string>& CommandFile() const { return commandFile_; }
    const std::optional<std::string>& RequiredRole() const { return requiredRole_; }
    bool RunOnce() const { return runOnce_; }

    template <typename Self, typename Field>
    static void VisitKind10Image(Self& self, Field&& field);

protected:
    ~Kind10Object() override = default;

private:
    // Not taken yet, and the actor carries the required role's item.
    bool UsableBy(Actor& actor) const;

    bool collected_ = false;
    int32_t itemKind_ = 0;
    bool destroyAfterCollection_ = false;
    std::optional<std::string> commandFile_;
    std::optional<std::string> requiredRole_;
    bool runOnce_ = false;
};

// A body segment of a segmented creature; its head moves it.
class Kind13Actor : public UnitActor {
public:
    static constexpr int32_t kAiType = 13;
    static constexpr uint32_t kImageSize = 656;
    static constexpr int32_t kSegments = 5;
    Kind13Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    void Update(uint64_t, float) override {}
    // The segments behind it go first.
    void Die() override;
    void ReleaseLinks() override;
    Kind13Actor* NextSegment() const { return static_cast<Kind13Actor*>(next_.Get()); }
    void SetNextSegment(Kind13Actor* next) { next_ = RefPtr<GameObject>(next); }
    // The unit's own update, which the head runs for each segment it drags.
    void UpdateSegment(uint64_t now, float seconds) { UnitActor::Update(now, seconds); }

protected:
    ~Kind13Actor() override = default;
    void DestroyFollowing();

    RefPtr<GameObject> next_;  // the following segment
};

// The head: drags five "centibody" segments and dies with the last one.
class Kind12Actor : public Kind13Actor {
public:
    static constexpr int32_t kAiType = 12;
    Kind12Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    bool IsKind(int32_t kind) const override { return kind == kAiType || kind == Kind13Actor::kAiType; }
    int32_t Activate(uint64_t now, float seconds) override;
    void Update(uint64_t now, float seconds) override;

protected:
    ~Kind12Actor() override = default;
};

// A spawner: makes objects from its role's spawn names, up to its
// generation limit, with at most six of them alive at once.
class Kind14Actor : public Actor {
public:
    static constexpr int32_t kAiType = 14;
    static constexpr uint32_t kImageSize = 480;
    Kind14Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    int32_t Activate(uint64_t now, float seconds) override;
    // The role names it spawns from, built once from its role's "produces"
    // list (the definition key shared with "sever point").
    const std::vector<std::string>& SpawnNames();

    uint64_t activation_ = 0;
    std::vector<uint32_t> spawned_;  // ids
    int32_t spawnedCount_ = 0;
    uint64_t lastSpawn_ = 0;
    bool alertable_ = false;  // an alarm nearby triggers it
    bool triggered_ = false;
    bool latchTrigger_ = false;
    int32_t generationLimit_ = 0;

protected:
    ~Kind14Actor() override = default;

private:
    std::vector<std::string> names_;
    bool namesBuilt_ = false;
};

// A dormant guard: stands still until an enemy enters its sight range and
// cone, rises (sequence 20) and then fights.
class Kind16Actor : public UnitActor {
public:
    static constexpr int32_t kAiType = 16;
    static constexpr uint32_t kImageSize = 656;
    static constexpr int32_t kRiseSequence = 20;
    Kind16Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    int32_t Activate(uint64_t now, float seconds) override;
    void Update(uint64_t now, float seconds) override;
    bool Woken() const { return woken_; }
    bool Rising() const { return rising_; }
    // Both flags are in the image; a loaded guard stays dormant until it
    // sees an enemy again, so loading takes neither.
    void WriteImage(std::span<uint8_t> image) const override;
    // From the position to what it is aimed at once risen: the middle of
    // the model's first two parts, else the centre.
    const Vec3& AimOffset() const { return aimOffset_; }

protected:
    ~Kind16Actor() override = default;

private:
    bool SeesEnemy() const;
    bool woken_ = false;
    bool rising_ = false;
    uint8_t riseDone_ = 0;  // set by the shape when the rise has played
    Vec3 aimOffset_{0, 0, 0};
};

// An escort: heads for one of the exits "exita" to "exitd", changes side
// to a squad that comes near, and scores 10 for its side at the exit.
class Kind17Actor : public Actor {
public:
    static constexpr int32_t kAiType = 17;
    static constexpr uint32_t kImageSize = 456;
    static constexpr int32_t kScore = 10;
    Kind17Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    void SetSide(int32_t side) override;
    void Update(uint64_t now, float seconds) override;
    const Vec3& Goal() const { return goal_; }
    bool HasGoal() const { return hasGoal_; }

protected:
    ~Kind17Actor() override = default;

private:
    Vec3 goal_;
    bool hasGoal_ = false;
    float lastSideChange_ = 0;
    bool scored_ = false;
};
