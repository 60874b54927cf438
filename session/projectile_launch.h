// Projectiles the server launches at a point (the power shot, the shooting
// triggers): aimed on the role's low arc or straight, made by the projectile
// class, activated at the server time and announced with message 49.
#pragma once

#include "app/maths.h"

#include <cstdint>

class GameObject;
namespace script {
struct Role;
}

namespace Server {

inline constexpr float kLaunchGravity = 9.81f;
// Without a weapon that fires the role, its projectiles leave at this speed.
inline constexpr float kDefaultLaunchSpeed = 10.0f;

struct LaunchAim {
    int32_t heading;   // 4096ths of a turn, atan2(dx, dz)
    int32_t elevation; // 4096ths, positive downward (y grows down)
    Quaternion orientation;
};

// The aim from `from` at `target`: a straight role along the line, a
// ballistic one on the lower of its two arcs at `speed` (beyond reach, the
// discriminant counts as 0). A target straight above or below gives a
// quarter turn. False for non-finite input.
bool AimProjectile(const Vec3& from, const Vec3& target, float speed, bool ballistic, LaunchAim& aim);

// The speed a role's projectiles leave at: the firing speed of the first
// weapon entry that fires it, else kDefaultLaunchSpeed.
float LaunchSpeed(const script::Role& role);

// Makes the server projectile (not yet activated); the projectile class
// installs it. Null when none was made.
using ProjectileMaker = GameObject* (*)(script::Role& role, const Vec3& position, const Quaternion& orientation,
                                        float speed, int32_t ownerId, int32_t referencedId, int32_t side);
void SetProjectileMaker(ProjectileMaker maker);

// Null, with nothing sent, when the role is no projectile, the input is not
// finite or no maker is installed.
GameObject* LaunchProjectile(script::Role* role, const Vec3& from, const Vec3& target, int32_t ownerId,
                             int32_t referencedId, int32_t side);

} // namespace Server
