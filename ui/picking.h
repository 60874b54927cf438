// What lies under the pointer for a press: the object (the nearest drawn
// client object under the default hit probe, which the frame drew at the
// pointer), the interface element, and the ground point where the pointer's
// ray meets the level; and each unit's screen rectangle of this frame,
// which the box drag and the wheel use.
#pragma once

#include "app/maths.h"

#include <functional>

class WorldObject;

// A HUD window or widget under the pointer (kind 5: a squad portrait, 31:
// the drop element, 32: the squad bar), placed in screen fractions.
struct UiElement {
    int kind = 0;
    WorldObject* character = nullptr;
    float left = 0, top = 0, width = 0, height = 0;
    bool movable = false, resizable = false, locked = false;
};

struct ScreenRect {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool Contains(float x, float y) const { return x > left && x < right && y > top && y < bottom; }
    bool Overlaps(const ScreenRect& o) const
    {
        return left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom;
    }
};

struct PickResult {
    WorldObject* object = nullptr;
    UiElement* element = nullptr;
    bool hasGround = false;
    Vec3 ground{0, 0, 0};
};

namespace Picking {

// The object comes from the last drawn frame's default probe, and only when
// that probe stood on the pixel (x, y): a press elsewhere finds none.
PickResult At(int x, int y);
// Puts the default probe on the pixel (x, y) for the coming frame's draw,
// its last hit forgotten, and turns probe testing on.
void AimProbe(int x, int y);
// False when the unit is behind the camera.
bool ScreenRectOf(const WorldObject& unit, ScreenRect& out);
// The ray of a pixel through the main camera; false without a usable camera.
bool PointerRay(int x, int y, Vec3& nearPoint, Vec3& farPoint);

// The HUD's elements answer here (none until the HUD installs its lookup).
void SetElementLookup(std::function<UiElement*(int x, int y)> lookup);
// Replaces the units' screen rectangles (tests).
void SetRectOverride(std::function<bool(const WorldObject& unit, ScreenRect& out)> rects);
// Replaces the whole pick (tests, and screens that pick by themselves).
void SetOverride(std::function<PickResult(int x, int y)> pick);

} // namespace Picking
