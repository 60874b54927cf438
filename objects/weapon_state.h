// What an armed unit's weapon does with its current ammunition: a copy of the
// level's record for the (weapon type, ammunition type) pair, with times in
// clock ticks, which the firing code reads. Units pick their ammunition here
// when they are made, change weapon, or are given an ammunition order.
#pragma once

#include "platform/byte_cursor.h"
#include "script/records.h"

#include <cstdint>
#include <memory>

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

// The four words that end a unit's saved state, on the server and on the
// client alike: weapon type + 1 (0: no weapon), its ammunition type (0
// without one), the ammunition item + 1 and the target's id + 1 (0: none);
// the plus ones wrap modulo 2^32, so every stored word comes back whole.
void WriteUnitWords(trevok::ByteWriter& out, const WeaponState* weapon, int32_t ammoItem, uint32_t targetPlusOne);
// False on a short read or a weapon or ammunition type outside the tables,
// with nothing changed. Otherwise the weapon is a new state of the stored
// type holding the stored ammunition type, its record not yet applied (the
// owner applies it on its own clock), or none.
bool ReadUnitWords(trevok::ByteReader& in, std::unique_ptr<WeaponState>& weapon, int32_t& ammoItem,
                   uint32_t& targetPlusOne);
