// One shot in flight on the server. At launch it finds when its path first
// meets the level or a non-quiet object; each pass it tests the quiet
// objects (actors, movers) along the stretch flown, and at the first hit it
// reports the impact, deals direct and blast damage, leaves a noise for the
// AI, lets the victim answer and goes. Every shot has a lifetime, so one
// that never hits (straight up, speed 0) ends too.
//
// Ranges: a projectile record's "max range" is held in square metres (the
// definition's default 196 is 14 m), and every range test here, in the units
// and in the actors compares it with a squared distance; only the lifetime
// takes its root.
#pragma once

#include "objects/game_object.h"

#include <cstdint>

namespace script {
struct ProjectileRecord;
}

namespace ProjectileFlags {
inline constexpr uint32_t kMarksLandscape = 16;
inline constexpr uint32_t kHoming = 64;
} // namespace ProjectileFlags

class Projectile : public GameObject {
public:
    static constexpr uint32_t kImageSize = 328;
    static constexpr float kGravity = 9.81f;
    static constexpr float kLongestFlight = 10.0f;  // seconds

    Projectile(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, float speed,
               uint32_t shooterId, uint32_t targetId, uint32_t id);

    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsProjectile() const override { return true; }
    int32_t Activate(uint64_t now, float seconds) override;
    void MoveAndHit(uint64_t now, float seconds) override;
    bool HitTestSegment(CollisionHit&, const Vec3&, const Vec3&, float) override { return false; }
    bool HitTestTrajectory(CollisionHit&, const Vec3&, const Vec3&, const Vec3&, float) override { return false; }
    void Update(uint64_t now, float seconds) override;
    void ReleaseLinks() override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool AfterLoad() override;

    bool Ballistic() const;
    const Vec3& Velocity() const { return velocity_; }
    const Vec3& Start() const { return start_; }
    uint32_t ShooterId() const { return shooterId_; }
    GameObject* Target() const { return target_; }
    bool HitPending() const { return hitPending_; }
    bool HitIsLevel() const { return hitIsLevel_; }
    float TimeToHit() const { return timeToHit_; }
    // The flight's end: 10 s, or the time to cover the range at the launch speed.
    float Lifetime() const { return lifetime_; }

    float damageFactor_ = 1.0f;

protected:
    ~Projectile() override;

private:
    float Seconds(uint64_t ticks) const;
    bool TestObject(GameObject& object, const Vec3& from, const Vec3& velocity, float& bound) const;
    void Impact(GameObject* victim, float t, const Vec3& velocity, uint64_t now);
    void Answer(GameObject* victim, float seconds);

    Vec3 start_;
    uint32_t shooterId_;
    const script::ProjectileRecord* record_ = nullptr;
    Vec3 velocity_{0, 0, 0};
    float launchSeconds_ = 0;
    uint64_t launchTime_ = 0;
    uint32_t flags_projectile_ = 0;
    bool hitPending_ = false;
    bool hitIsLevel_ = false;
    float timeToHit_ = 0;
    uint32_t hitObjectId_ = 0xFFFFFFFFu;
    GameObject* target_ = nullptr;  // one reference while homing
    float lifetime_ = kLongestFlight;
    uint32_t loadedTarget_ = 0;  // id + 1 between LoadState and AfterLoad
    bool restored_ = false;      // loaded from a saved game and not yet activated
    template <typename Self, typename Field>
    static void VisitProjectileImage(Self& self, Field&& field);
};

// The server launches' maker (not yet activated).
GameObject* MakeProjectile(script::Role& role, const Vec3& position, const Quaternion& orientation, float speed,
                           int32_t ownerId, int32_t referencedId, int32_t side);
