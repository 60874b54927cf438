// Which client object class a role's AI type makes when the level places it;
// the server tree picks its own class by the same numbers.
#pragma once

#include "script/records.h"

#include <cstdint>

enum class ClientClass {
    kNone,  // nothing is made (a bare projectile role)
    kUnit,
    kMovingObject,
    kWorldObject,
    kTypedObject,  // TypedObject5, 8, 9, 10, 11, 14, 17 by the AI type
    kTypedUnit,    // TypedUnit12, 13, 16 by the AI type
};

// A character whose weapon is this sentinel carries none.
inline constexpr int32_t kNoWeapon = 2147483647;

// Types 1, 3, 4, 6, 7, 15, negative ones and those above 17 take the last
// row: decided by the character and projectile records.
ClientClass ClientClassFor(const script::Role& role);
