// Where worn items show: each body slot names a part of the carrier's model,
// and an equipped item's look takes that part's place until it comes off.
#pragma once

#include <cstdint>

class VeObject;
namespace script {
struct ShapeRef;
struct Role;
} // namespace script

namespace BodyPart {

inline constexpr int32_t kSlots = 13;

// The part a body slot holds its item on (0 and 1 the upper arms); null
// outside 0 to 12.
const char* Name(int32_t slot);

// What an item made from `role` looks like when worn: its inventory shape
// when it has one, else its own shape.
const script::ShapeRef& ItemLook(const script::Role& role);

// Puts `look` on the carrier's part for `slot`: the node of the look's
// hierarchy named like the part ("Upper Arm Right" found by its own name
// in the item's tree) replaces the carrier's, else the look's shape becomes
// the part's shape. False when the slot has no name, the carrier's model
// lacks the part or the look has nothing to show.
bool Attach(VeObject& carrier, const script::ShapeRef& look, int32_t slot);

// Gives the part back the carrier's own look from its model's tree.
bool Restore(VeObject& carrier, const script::ShapeRef& own, int32_t slot);

} // namespace BodyPart
