// What an armed unit's weapon does with its current ammunition: a copy of the
// level's record for the (weapon type, ammunition type) pair, with times in
// clock ticks, which the firing code reads. Units pick their ammunition here
// when they are made, change weapon, or are given an ammunition order.
#pragma once

#include "script/records.h"

#include <cstdint>

struct WeaponState {
    const script::Role* projectile = nullptr;
    float firingSpeed = 0;
    int32_t weaponType = 0;  // set by the owner before ammunition is chosen
    float roundTime = 0;     // clock ticks
    float reloadTime = 0;    // clock ticks
    float lifeTimer = 0;
    int32_t magazineSize = 0;
    int32_t salvoSize = 0;   // the magazine size when the record gives 0
    int32_t ammoType = 0;
    int32_t sound = 0;

    // The ammunition a weapon type starts with (2 for a type outside the table).
    static int32_t DefaultAmmoFor(int32_t weaponType);

    void SelectDefaultAmmo();
    // Copies the pair's record. Without one (a weapon no definition armed,
    // a type from a save or a message outside the table) the state never
    // fires: empty magazine, no projectile; the first such pair warns once.
    void ApplyAmmo();
    void ApplyAmmo(float ticksPerSecond);
    // Switches only to an ammunition type the weapon has a record for.
    bool SelectAmmo(int32_t type);

    bool CanFire() const { return magazineSize > 0; }
};
