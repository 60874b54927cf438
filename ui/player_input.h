// The game view's pointer update, once each in-game frame (and on its key):
// what lies under the pointer (object, interface element, ground point),
// the default hit probe moved to the pointer, and the cursor's shape.
#pragma once

#include "ui/picking.h"

namespace PlayerInput {

void UpdateFrame();
// What the last update found under the pointer.
const PickResult& UnderPointer();
// Forgets it (the level stops; its objects go).
void Clear();

} // namespace PlayerInput
