// What the interface reads of the client replicas, in the interface's
// terms: the squad and the pickable objects, names from the roles, the
// unit behind an object, and the order list as the HUD words it. Selection,
// mouse, cursor, HUD, wheel and keys all read the world through here.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <string>
#include <vector>

class WorldObject;
class MovingObject;
class Unit;

// One queued order of a character as the order list shows it.
struct UnitOrder {
    uint32_t kind = 0;                  // 0 attack target .. 10 change ammunition
    const char* targetName = nullptr;   // kind 0: the target's role name while it exists
    const char* itemName = nullptr;     // kinds 5 to 10
    int itemKind = 0;                   // kind 7: 4 weapon, 6 ammunition
    const char* receiverName = nullptr; // kind 6
    int waypoint = 0;                   // kind 2: 1-based
    Vec3 point{0, 0, 0};                // kind 2: the waypoint
};

namespace ClientObjects {

inline constexpr int kRoleTypeItem = 10;

// The player's characters in squad order, and every object in the table.
const std::vector<WorldObject*>& Squad();
std::vector<WorldObject*> All();

Unit* AsUnit(WorldObject* object);
const Unit* AsUnit(const WorldObject* object);
MovingObject* AsMoving(WorldObject* object);

// Null when the role has no name.
const char* RoleName(const WorldObject& object);
bool IsItem(const WorldObject& object);
// What a squad member does with an item lying in the level: use a switch in
// place, nothing with one that is spent or an item already taken, else pick
// it up.
enum class ItemUse { kActivate, kNone, kPickUp };
ItemUse ItemUseOf(const WorldObject& item);
bool IsCharacter(const WorldObject& object);
// Present in the game (not a shot in flight, not removed).
bool IsActive(const WorldObject& object);
// Attack orders go only to objects that hold a weapon.
bool HasWeapon(const WorldObject& object);
// The name of the held weapon's record; null without a weapon or a name.
const char* WeaponName(const WorldObject& object);
// An object with a server-set time span shows a countdown of its rest.
bool IsTimed(const WorldObject& object);
float RemainingSeconds(const WorldObject& object, float gameSeconds);
// Hidden from the player by the fog (off: never).
bool HiddenByFog(const WorldObject& object);
// The case-insensitive role name test for the character keys ("trevok").
bool HasCharacterKey(const WorldObject& object, const char* key);

// Where a text about the object goes, in screen fractions: the top left of
// its screen rectangle while it is on screen (true), else the screen's
// centre (false).
bool TextPosition(const WorldObject& object, float& x, float& y);
// A screen message (kind 1) beside the object, at its text position; off
// screen, a unit with a panel has it end at 0.99 of the screen's width at
// its panel's height.
void ShowText(const WorldObject& object, const std::string& text);
// The object's role name, ": " and string-table text `textId`, beside it.
void SayBeside(const WorldObject& object, int32_t textId);

// The local order list with names resolved for display.
std::vector<UnitOrder> OrdersOf(const WorldObject& object);

} // namespace ClientObjects
