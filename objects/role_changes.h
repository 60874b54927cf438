// The role fields that change during play (armour, the weapons a character
// cycles through). The server thread reads them every pass, so the game
// thread changes them only while it holds the game-state hand-over; the
// session layer installs the test of that, and debug builds assert it.
#pragma once

#include "script/records.h"

#include <cstdint>

namespace RoleChanges {
// Null: no test (tools, and tests without a server thread).
void SetHandOverCheck(bool (*held)());
// True when no test is installed.
bool HandOverHeld();

void SetArmour(script::Role& role, int32_t armour);
// Nothing for a role without a character record.
void SetWeapons(script::Role& role, int32_t weapon, int32_t secondaryWeapon);
void AddVulnerability(script::Role& role, script::VulnerabilityEntry entry);
} // namespace RoleChanges
