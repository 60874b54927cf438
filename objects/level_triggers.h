// Level triggers: areas, times and watched units placed by the level's
// scripts (ADD TRIGGER), checked by the server thread every fourth pass.
// A trigger that fires hands its command file to every machine and goes;
// some kinds act on the units inside on every check instead. The list owns
// every record until the level stops; the console changes it only under the
// game-state hand-over, so the check never sees it change under its walk.
#pragma once

#include "app/list.h"
#include "app/maths.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CollisionPolygon;
namespace script {
struct Role;
}

enum class TriggerKind : uint32_t {
    Death = 0,
    Location = 1,
    LocationAll = 2,
    InstantDeath = 3,
    InstantDisplace = 4,
    Time = 5,
    Escort = 6,
    Proximity = 7,
    Doors = 8,
    DoorOnce = 9,
    DoorsEither = 10,
    FourDoors = 11,
    LightUp = 12,
    Defog = 13,
    Shot = 14,
};
inline constexpr uint32_t kLastTriggerKind = 14;

// Messages of the check.
namespace TriggerMessage {
inline constexpr uint32_t kDisplaced = 76;  // 40 bytes, guaranteed
inline constexpr uint32_t kLitUp = 111;     // {111, id}
inline constexpr uint32_t kDefog = 115;     // {115, point, radius, kind | lifetime << 16}
} // namespace TriggerMessage

// Bit 0 of GameObject::flags_: the unit has been announced by a LIGHT_UP.
inline constexpr uint32_t kObjectLitUp = 0x1;

class LevelTrigger {
public:
    uint32_t kind_ = 0;
    Vec3 positions_[4] = {};
    // The command's number, or for TIME and SHOT an absolute server time in ticks.
    int64_t value_ = 0;
    float radiusSquared_ = 0.0f;
    std::vector<std::string> names_;  // named values holding object ids
    std::string script_;              // empty: none; SHOT: its projectiles' role

    LevelTrigger(const LevelTrigger&) = delete;
    LevelTrigger& operator=(const LevelTrigger&) = delete;
    // Leaves the level-trigger list.
    ~LevelTrigger();

private:
    LevelTrigger() = default;
    friend LevelTrigger* AppendLevelTrigger();
};

// What the check needs of the layers above: named values (the console's),
// projectile launches and the polygon under a point (the session's).
struct TriggerHooks {
    std::function<bool(const std::string& name, float& value)> namedValue;
    // The role's projectile from `from` at `to`; false when none was launched.
    std::function<bool(std::string_view role, const Vec3& from, const Vec3& to, int32_t referencedId, int32_t side)>
        launch;
    // Unset: the current level's FindPolygonAt.
    std::function<CollisionPolygon*(const Vec3& point)> polygonAt;
};

namespace LevelTriggers {
// The records in the order they were added.
List<LevelTrigger*>& All();
// A new, empty record at the end of the list; it is the list's to free.
LevelTrigger* Add();
// The trigger command's add: radius squared from the value, and for TIME
// and SHOT the value in seconds turned into a server time (clamped).
// Runs under the hand-over; the record, or null for a kind out of range.
LevelTrigger* Add(uint32_t kind, const Vec3 (&positions)[4], float value, const std::vector<std::string>& names,
                  std::string_view script);
// REMOVE TRIGGER SHOT: the first SHOT whose first or second position is
// exactly `at`; false when none.
bool RemoveShot(const Vec3& at);
// Frees every record, in list order; the list is empty afterwards.
void Clear();

void SetHooks(TriggerHooks hooks);
TriggerHooks& Hooks();

// One check of every trigger (the server thread, every fourth pass).
void Check();

// A server time `seconds` after `now`, saturating instead of overflowing.
int64_t TimeAfter(uint64_t now, float seconds, uint64_t ticksPerSecond);
} // namespace LevelTriggers
