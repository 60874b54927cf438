// The upgrade screen's view of one squad character: the character's model
// turned before the panel, and the panel of its inventory with each slot
// placed where the panel model marks it. Game thread only.
#pragma once

#include "app/maths.h"

#include <functional>
#include <string>

class Inventory;
class VeObject;
class WorldObject;

namespace InventoryDisplay {

// The model stands this far in front of the screen camera.
inline constexpr float kDepth = 0.4f;
// The model's scale for its largest extent: 0.63 over it, at most 0.34; a
// model of no (or no finite) extent takes the upper bound.
float ModelScale(float largestExtent);

// Shows `character`: its customisation model (else its look), its
// inventory's panel, no selection. The slots stand where the dummies
// "slota" to "sloth" of `panelModel` are. False, with nothing shown, for a
// character without an inventory.
bool Init(WorldObject& character, VeObject* panelModel);
// The same with the dummies found by `locate` (a panel whose dummies are
// parts of their own): true with the dummy's position in `at`.
using SlotLocator = std::function<bool(const std::string& dummy, Vec3& at)>;
bool Init(WorldObject& character, const SlotLocator& locate);
// Releases the panel's objects and the model.
void Release();
// The shown model takes the character's worn items afresh (each body part
// back to the model's own look, then what is worn now on it); false when
// the character is not the one shown.
bool RefreshBodyParts(WorldObject& character);

VeObject* Model();
Inventory* Shown();
// Where the model's right upper arm is (the held weapon's place); false
// when the model has no such part.
bool ArmPosition(Vec3& out);

} // namespace InventoryDisplay
