// A body sliding over the level's ground polygons: a unit's feet in either
// object tree. The level keeps every mover so that removing geometry can take
// the ground from under the movers standing on it.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <memory>

class CollisionPolygon;

// The caller's description of the body; owned by the mover.
struct MoverBody {
    MoverBody(float h, float r) : height(h), radius(r) {}
    virtual ~MoverBody() = default;
    float height;
    float radius;
};

// A walker's body: besides height and radius, an inner radius (0.3 of the
// radius) and the slope of its side, -0.7 r / sqrt(h^2 + (0.7 r)^2).
struct WalkerBody : MoverBody {
    WalkerBody(float h, float r);
    float innerRadius;
    float slope;
};

namespace mover_flags {
inline constexpr uint32_t kBarrier = 0x40100; // steep polygons and flag 0x40000
inline constexpr uint32_t kBody = 0x40;
inline constexpr uint32_t kWide = 0x400;   // radius above 1.1
inline constexpr uint32_t kMedium = 0x80;  // radius above 0.6
inline constexpr uint32_t kTall = 0x200;   // height above 1.5
inline constexpr uint32_t kSlowGround = 0x1000; // polygons crossed at half speed
} // namespace mover_flags

struct Mover {
    uint32_t time = 0; // in the caller's time units; compared wrap-safe
    Vec3 position{0, 0, 0};
    std::unique_ptr<MoverBody> body;
    CollisionPolygon* surface = nullptr; // guarded by the level lock; null while falling or off the ground
    float reach = 0;                     // 0.4 x the body's height
    Vec3 velocity{0, 0, 0};              // distance per time unit
    float gravity = 9.81f;
    uint32_t barrierFlags = mover_flags::kBarrier;
    uint32_t bodyClassFlags = 0; // barrier flags plus the size classes, for the owner
};
