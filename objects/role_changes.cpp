#include "objects/role_changes.h"

#include <atomic>
#include <cassert>
#include <utility>

namespace RoleChanges {
namespace {
std::atomic<bool (*)()> g_check{nullptr};
} // namespace

void SetHandOverCheck(bool (*held)()) { g_check.store(held); }

bool HandOverHeld()
{
    bool (*check)() = g_check.load();
    return !check || check();
}

void SetArmour(script::Role& role, int32_t armour)
{
    assert(HandOverHeld() && "role armour changed outside the game-state hand-over");
    role.armour = armour;
}

void SetWeapons(script::Role& role, int32_t weapon, int32_t secondaryWeapon)
{
    assert(HandOverHeld() && "role weapons changed outside the game-state hand-over");
    if (!role.character)
        return;
    role.character->weapon = weapon;
    role.character->secondaryWeapon = secondaryWeapon;
}
void AddVulnerability(script::Role& role, script::VulnerabilityEntry entry)
{
    assert(HandOverHeld() && "role vulnerabilities changed outside the game-state hand-over");
    entry.ownedByObject = false;
    role.vulnerabilities.push_back(std::move(entry));
}
} // namespace RoleChanges
