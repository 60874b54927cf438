// The client kind classes the role's AI type picks, and the projectile
// replica made from the server's launch message.
#pragma once

#include "objects/unit.h"

#include <set>
#include <vector>

class CollisionMesh;
class Level;

// A shot in flight, made by message 49 and ended by message 50.
class WorldProjectile : public WorldObject {
public:
    // Bits of the role's "limit" value a shot reads.
    static constexpr uint32_t kFlagElectric = 0x2, kFlagLaunchBurst = 0x4, kFlagHitEffect = 0x8,
                              kFlagDestroys = 0x10, kFlagBeam = 0x20, kFlagHoming = 0x40, kFlagDefogs = 0x80,
                              kFlagSpray = 0x100;

    WorldProjectile(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, float speed,
                    uint32_t shooterId, int32_t targetId, uint32_t id);

    uint32_t SizeInBytes() const override { return 320; }
    bool IsKind(int32_t kind) const override { return kind == 0; }
    void Activate(uint64_t time, float seconds) override;
    void Update(uint64_t time, float seconds) override;
    bool IsPresent() const override { return false; }
    void ReleaseReferences() override { target_.Reset(); }
    // An electric shot leaves arcs, a burst and an explosion between its
    // shooter's muzzle and where it ended, a beam shot a beam.
    void Deactivate() override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool FixUpAfterLoad() override;
    void ActivateLoaded() override;

    uint32_t GetProjectileFlags() const { return flags_; }
    // Where the flight model puts the shot `ticks` after its launch.
    Vec3 PositionAt(uint64_t ticks) const;
    const Vec3& Velocity() const { return velocity_; }
    uint32_t ShooterId() const { return shooterId_; }
    WorldObject* Target() const { return target_.Get(); }
    // The shooter's damage multiplier its hit is dealt with; 1 for none.
    float DamageFactor() const { return damageFactor_; }
    void SetDamageFactor(float factor);
    // What its hit deals: the projectile record's damage times the factor,
    // rounded as the server rounds it.
    int32_t HitDamage() const;
    // The horizontal heading of the flight as a unit (x, z) pair; (0, 1)
    // for a shot that flies straight up or down.
    void HitDirection(float& dx, float& dz) const;
    // The shot ends at `point`: its own emitter is left there to die out,
    // and the replica goes.
    void EndAt(const Vec3& point);

protected:
    ~WorldProjectile() override;

private:
    Vec3 launchPosition_;
    uint32_t shooterId_;
    Vec3 velocity_;
    uint64_t launchTime_ = 0;
    float launchSeconds_ = 0;
    uint32_t flags_ = 0;
    float damageFactor_ = 1.0f;
    bool falls_ = false;
    WorldObjectRef target_;
    uint32_t loadedTarget_ = 0;

    template <typename Self, typename Field>
    static void VisitProjectileImage(Self& self, Field&& field);
};

// Lifts, moving platforms and doors: a cubic path between two ends.
class TypedObject8 : public WorldObject {
public:
    TypedObject8(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);

    uint32_t SizeInBytes() const override { return 416; }
    bool IsKind(int32_t kind) const override { return kind == 8; }
    // Finds its collision mesh among the level's.
    void Activate(uint64_t time, float seconds) override;
    void Update(uint64_t time, float seconds) override;
    void ReleaseReferences() override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool FixUpAfterLoad() override;

    // The track: the path from p0 (t = 0) to p3 (t = 1), turning to `end`.
    // The shape's meshes leave the shared vertex buffers: they move on their own.
    void SetPartHierarchy(const Vec3 (&points)[4], const Quaternion& end, bool carriesRiders) override;
    // Starts a stopped motion from the end it rests at.
    void ResetParts() override;
    // Message 108 with the current direction: reverses a running motion in place.
    void SetState(bool direction);
    void PauseTimer(uint64_t now);
    void ResumeTimer(uint64_t now);
    // Messages 106 and 107; false (nothing done) for the other direction.
    bool StartWithRiders(bool backwards, std::span<const uint32_t> riders);
    // The object rides along from now on and keeps its placement; an
    // unknown id or the lift itself is passed over.
    void AddCarried(uint32_t id);
    void SetLinkedObject(uint32_t id);
    void SetSpeed(float speed) { speed_ = speed; }

    // Message 105: a looping track starts again once this interval has
    // passed since its last start.
    void SetLoopInterval(uint64_t ticks)
    {
        loops_ = true;
        loopInterval_ = ticks;
    }
    bool Loops() const { return loops_; }
    uint64_t LoopInterval() const { return loopInterval_; }
    float Speed() const { return speed_; }

    bool Running() const { return running_; }
    bool Direction() const { return direction_; }
    size_t RiderCount() const { return riders_.size(); }
    Vec3 PathAt(float t) const;
    CollisionMesh* Mesh() const { return mesh_; }

protected:
    ~TypedObject8() override;

private:
    bool carriesRiders_ = false, pathSet_ = false, running_ = false, direction_ = false;
    float speed_ = 0.1f;
    Vec3 c3_{0, 0, 0}, c2_{0, 0, 0}, c1_{0, 0, 0}, c0_{0, 0, 0};
    QuaternionBlend blend_;
    int64_t startTime_ = 0;  // may lie before 0 once a motion reverses
    uint64_t pauseTime_ = 0;
    std::vector<WorldObjectRef> riders_;
    WorldObjectRef linked_;
    bool loops_ = false;
    uint64_t loopInterval_ = 0;
    std::vector<uint32_t> loadedRiders_;  // ids between LoadState and FixUpAfterLoad
    // Its polygons in the level grid, which this client moves itself only
    // where no server runs in the program.
    CollisionMesh* mesh_ = nullptr;
    Level* meshLevel_ = nullptr;

    void StartAt(int64_t time);
    void HoldLinkedEmitter(bool held);
    // Where no server runs here: the mesh moves along with the lift, and
    // paths over it are cut while it runs and joined again at its end.
    bool MovesOwnMesh() const;
    void MoveMesh(const Vec3& delta);
    void JoinMesh();
    void PruneMesh();

    template <typename Self, typename Field>
    static void VisitLiftImage(Self& self, Field&& field);
};

// A footprint on the ground. Where no server runs in this program it marks
// the level polygons under it itself while it stands.
class TypedObject5 : public WorldObject {
public:
    TypedObject5(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id)
        : WorldObject(side, role, position, orientation, ClientCreate::kNoGeometry, id) {}
    uint32_t SizeInBytes() const override { return 272; }
    bool IsKind(int32_t kind) const override { return kind == 5; }
    void Activate(uint64_t time, float seconds) override;
    void Deactivate() override;
    const std::vector<CollisionPolygon*>& Marked() const { return marked_; }

protected:
    ~TypedObject5() override;

private:
    void Unmark();
    std::vector<CollisionPolygon*> marked_;
    Level* markedLevel_ = nullptr;  // the level the marks stand in
};

// A small object that drifts and drops to the ground.
class TypedObject9 : public WorldObject {
public:
    TypedObject9(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return 280; }
    bool IsKind(int32_t kind) const override { return kind == 9; }
    void Update(uint64_t time, float seconds) override;
    void PlaceAndDraw() override;

protected:
    ~TypedObject9() override = default;

private:
    bool shown_ = false;
    float yaw_ = 0;
    float verticalSpeed_ = 0;
};

// Pick-ups.
class TypedObject10 : public WorldObject {
public:
    // A character size other than 1 scales the model.
    TypedObject10(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return 272; }
    bool IsKind(int32_t kind) const override { return kind == 10; }
    bool IsSolid() const override { return taken_; }
    bool IsHidden() const override { return hidden_; }
    bool IsPresent() const override { return true; }
    int32_t GetArmour() const override;
    void MarkTaken();
    void WriteImage(std::span<uint8_t> image) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    // A command file was linked to it: it is a switch, used in place.
    void MarkSwitch() { switch_ = true; }
    // A run-once switch was used: it does nothing any more.
    void MarkSpent() { spent_ = true; }
    bool IsTaken() const { return taken_; }
    bool IsUsableSwitch() const { return switch_ && !spent_ && !taken_; }
    bool IsSpentSwitch() const { return spent_; }

protected:
    ~TypedObject10() override = default;

private:
    bool taken_ = false, hidden_ = false, switch_ = false, spent_ = false;
};

// Creatures that wander inside a square around where they were placed.
class TypedObject11 : public WorldObject {
public:
    TypedObject11(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    uint32_t SizeInBytes() const override { return 304; }
    bool IsKind(int32_t kind) const override { return kind == 11; }
    void Activate(uint64_t time, float seconds) override;
    void Update(uint64_t time, float seconds) override;

    // A shot that hit nothing at `point`: every such creature nearer than
    // sqrt(2) m goes. Removed ones are skipped and unlinked.
    static void CheckAll(const Vec3& point);
    static std::vector<TypedObject11*>& All();
    int32_t Mode() const { return mode_; }

protected:
    ~TypedObject11() override;

private:
    // Draws from the client's own generator (never the server's).
    static float Signed();
    Vec3 minimum_, maximum_;
    Vec3 velocity_{0, 0, 0};
    uint64_t nextDecision_ = 0;
    int32_t mode_ = 0;
    std::set<uint32_t> reported_;  // walkers already reported (one request per pair)
};

class TypedObject14 : public MovingObject {
public:
    using MovingObject::MovingObject;
    uint32_t SizeInBytes() const override { return 504; }
    bool IsKind(int32_t kind) const override { return kind == 14; }
    void Activate(uint64_t time, float seconds) override
    {
        created_ = time;
        MovingObject::Activate(time, seconds);
    }

protected:
    ~TypedObject14() override = default;

private:
    uint64_t created_ = 0;
};

class TypedObject17 : public MovingObject {
public:
    using MovingObject::MovingObject;
    uint32_t SizeInBytes() const override { return 480; }
    bool IsKind(int32_t kind) const override { return kind == 17; }

protected:
    ~TypedObject17() override = default;
};

// A segment of a chain (12) or a unit linked to another (13).
class TypedUnit13 : public Unit {
public:
    using Unit::Unit;
    uint32_t SizeInBytes() const override { return 640; }
    bool IsKind(int32_t kind) const override { return kind == 13; }
    void Update(uint64_t, float) override {}
    void ReleaseReferences() override;
    void SetLinkedObject(WorldObject* object) { linked_ = WorldObjectRef(object); }
    WorldObject* Linked() const { return linked_.Get(); }

protected:
    ~TypedUnit13() override = default;
    WorldObjectRef linked_;
};

class TypedUnit12 : public TypedUnit13 {
public:
    using TypedUnit13::TypedUnit13;
    bool IsKind(int32_t kind) const override { return kind == 12 || kind == 13; }
    void Update(uint64_t time, float seconds) override;

protected:
    ~TypedUnit12() override = default;
};

// A unit that deploys before it can act.
class TypedUnit16 : public Unit {
public:
    using Unit::Unit;
    uint32_t SizeInBytes() const override { return 640; }
    bool IsKind(int32_t kind) const override { return kind == 16; }
    void Activate(uint64_t time, float seconds) override;
    void Update(uint64_t time, float seconds) override;
    void PlaceAndDraw() override;
    void PlayDeployment();
    bool Deployed() const { return deployed_; }
    bool DeploySequenceDone() const { return deploySequenceDone_; }
    // A loaded one waits for the server's deployment again: both flags clear.
    void WriteImage(std::span<uint8_t> image) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;

protected:
    ~TypedUnit16() override = default;

private:
    bool deploySequenceDone_ = false, deployed_ = false;
};
