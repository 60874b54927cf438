// Lifts, moving platforms and doors: a shape that travels between two
// placements along a cubic Bezier curve while turning from a start to an end
// orientation. With riders it carries the objects standing on its class
// polygons, and it moves its own collision geometry through the level so
// that walkers ride it and the links follow it.
//
// Server thread only; the level's polygons and vertices change under the
// level lock held exclusively, the lock the level queries take shared.
#pragma once

#include "objects/game_object.h"

#include <cstdint>
#include <vector>

class CollisionMesh;

namespace PathMoverMessage {
inline constexpr uint32_t kStartForward = 106;  // {106, id, n, n rider ids}
inline constexpr uint32_t kStartBackward = 107; // {107, id, n, n rider ids}
inline constexpr uint32_t kReversed = 108;      // {108, id}
inline constexpr uint32_t kPaused = 109;        // {109, id}
inline constexpr uint32_t kResumed = 110;       // {110, id}
} // namespace PathMoverMessage

class Kind8Object : public GameObject {
public:
    static constexpr int32_t kAiType = 8;
    static constexpr float kDefaultSpeed = 0.1f;

    Kind8Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    static GameObject* Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                            uint32_t id);

    uint32_t SizeInBytes() const override;
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    bool IsMoving() const override { return moving_; }
    // Finds the level mesh made for its shape, then the common activation.
    int32_t Activate(uint64_t now, float seconds) override;
    void Update(uint64_t now, float seconds) override;
    // p0..p3 of the curve; the start orientation is the current one.
    void SetTrack(const Vec3 (&points)[4], const Quaternion& endOrientation, bool carriesRiders) override;
    void StartTrack() override { Start(); }
    // Drops the riders too (level stop).
    void ReleaseLinks() override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool AfterLoad() override;

    // Only with a path, when neither moving nor paused.
    void Start();
    // A door's wanted state: starts towards it when stopped, reverses in
    // place when moving away from it; a repeated state changes nothing.
    void SetState(bool flag);
    void Pause();
    // Only after Pause: the paused span is added to the start time.
    void Resume();
    // Fraction of the path per second. A speed that is not above 0 would
    // never arrive (or run backwards): it is refused and the old one kept.
    bool SetSpeed(float speed);
    // Ticks from one start to the next automatic one; negative: no loop.
    // Every tick count the mover keeps is held within 2^60, so its sums
    // cannot overflow.
    void SetLoopTime(int64_t ticks);

    // The curve's point at u (0 at p0, 1 at p3).
    Vec3 CurvePoint(float u) const;
    // Tests and levels without a shape give the mesh directly.
    void SetGeometry(CollisionMesh* geometry) { geometry_ = geometry; }

    bool CarriesRiders() const { return carriesRiders_; }
    bool PathSet() const { return pathSet_; }
    bool Direction() const { return direction_; }
    bool Paused() const { return paused_; }
    bool Loops() const { return loops_; }
    float Speed() const { return speed_; }
    int64_t LoopTime() const { return loopTime_; }
    const std::vector<GameObjectRef>& Riders() const { return riders_; }

protected:
    ~Kind8Object() override;

private:
    void GatherRiders();
    void SendStart() const;
    void SendId(uint32_t type) const;
    void FinishMove();
    // Times from a file held to what a running mover can have.
    void BoundLoadedTimes();

    bool carriesRiders_ = false;
    bool pathSet_ = false;
    bool moving_ = false;
    bool direction_ = false;
    bool loops_ = false;
    bool paused_ = false;
    int64_t loopTime_ = 0;
    float speed_ = kDefaultSpeed;
    CollisionMesh* geometry_ = nullptr;
    Vec3 curve_[4]{}; // cubic, quadratic, linear and constant terms
    QuaternionBlend blend_;
    Quaternion startOrientation_{0, 0, 0, 1};
    Quaternion endOrientation_{0, 0, 0, 1};
    // Signed: a reversal early in the game puts the start before tick 0.
    int64_t startTime_ = 0;
    int64_t pauseTime_ = 0;
    std::vector<GameObjectRef> riders_;
    bool ridersChanged_ = false;
    std::vector<uint32_t> loadedRiders_;  // ids between LoadState and AfterLoad
    template <typename Self, typename Field>
    static void VisitKind8Image(Self& self, Field&& field);
};
