// Which server class a role's AI type makes. Each class registers its maker
// as it lands; a type without one makes a plain GameObject, and a role
// whose AI type is negative or above 100 makes nothing.
#pragma once

#include "objects/game_object.h"

#include <cstdint>

namespace ServerClasses {
using Maker = GameObject* (*)(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                             uint32_t id);
inline constexpr int32_t kTypes = 101;  // the "ai" key's range
void Set(int32_t aiType, Maker maker);
// The class of a role with a character record whose type has no maker.
void SetCharacterMaker(Maker maker);
// The new object (count 1, filed in the registry), or null.
GameObject* Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
} // namespace ServerClasses
