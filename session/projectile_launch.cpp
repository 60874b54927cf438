#include "session/projectile_launch.h"

#include "app/math_tables.h"
#include "objects/game_object.h"
#include "objects/server_link.h"
#include "platform/byte_cursor.h"
#include "script/records.h"

#include <cmath>
#include <numbers>

namespace Server {
namespace {

ProjectileMaker g_maker = nullptr;

constexpr float kStepsPerRadian = 4096.0f / (2.0f * std::numbers::pi_v<float>);

int32_t Steps(float radians) { return static_cast<int32_t>(std::floor(radians * kStepsPerRadian)); }

} // namespace

bool AimProjectile(const Vec3& from, const Vec3& target, float speed, bool ballistic, LaunchAim& aim)
{
    const Vec3 d = target - from;
    if (!std::isfinite(d.x) || !std::isfinite(d.y) || !std::isfinite(d.z) || !std::isfinite(speed))
        return false;
    const float r2 = d.x * d.x + d.z * d.z;
    aim.heading = Steps(std::atan2(d.x, d.z));
    if (r2 <= 0.0f) {
        // Straight above or below: no slope to take, a quarter turn.
        aim.elevation = d.y > 0.0f ? 1024 : d.y < 0.0f ? -1024 : 0;
    } else {
        const float r = std::sqrt(r2);
        float slope = d.y / r;
        if (ballistic) {
            const float g = kLaunchGravity, v2 = speed * speed;
            // y grows down, so a target below (dy > 0) widens the reach.
            const float discriminant = std::max(0.0f, v2 * (v2 + 2.0f * g * d.y) - g * g * r2);
            // The lower arc: the flatter, quicker of the two.
            slope = -(v2 - std::sqrt(discriminant)) / (g * r);
        }
        aim.elevation = Steps(std::atan(slope));
    }
    // Half angles through the sine table: the yaw after the pitch, the pitch
    // negated since the rotation about x lifts the z axis for positive angles.
    const int32_t halfHeading = aim.heading >> 1, halfPitch = -aim.elevation >> 1;
    const Quaternion yaw{0, SineOf(halfHeading), 0, CosineOf(halfHeading)};
    const Quaternion pitch{SineOf(halfPitch), 0, 0, CosineOf(halfPitch)};
    aim.orientation = yaw * pitch;
    return true;
}

float LaunchSpeed(const script::Role& role)
{
    const script::RecordTables& tables = script::RecordTables::Global();
    for (int weapon = 0; weapon < script::kWeaponTypes; ++weapon) {
        for (int ammo = 0; ammo < script::kAmmoTypes; ++ammo) {
            const script::WeaponEntry* entry = tables.Weapon(weapon, ammo);
            if (entry && entry->projectile == &role && entry->firingSpeed > 0.0f && std::isfinite(entry->firingSpeed))
                return entry->firingSpeed;
        }
    }
    return kDefaultLaunchSpeed;
}

void SetProjectileMaker(ProjectileMaker maker) { g_maker = maker; }

GameObject* LaunchProjectile(script::Role* role, const Vec3& from, const Vec3& target, int32_t ownerId,
                             int32_t referencedId, int32_t side)
{
    if (!role || !role->projectile || !g_maker)
        return nullptr;
    const float speed = LaunchSpeed(*role);
    LaunchAim aim;
    if (!AimProjectile(from, target, speed, role->projectile->gravity, aim))
        return nullptr;
    GameObject* projectile = g_maker(*role, from, aim.orientation, speed, ownerId, referencedId, side);
    if (!projectile)
        return nullptr;
    const ServerLink& link = ServerLink::Get();
    const float seconds = link.Seconds();
    projectile->Activate(link.Now(), seconds);

    uint8_t block[60];
    trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
    writer.U32(49);
    writer.I32(ownerId);
    writer.I32(referencedId);
    writer.I32(role->id);
    writer.U32(static_cast<uint32_t>(side) & 0xFF);
    writer.F32(seconds);
    for (float f : {from.x, from.y, from.z, aim.orientation.x, aim.orientation.y, aim.orientation.z,
                    aim.orientation.w, speed})
        writer.F32(f);
    writer.U32(projectile->GetId());
    link.Send(block, sizeof block, false);
    return projectile;
}

} // namespace Server
