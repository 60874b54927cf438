// A render-target texture a screen shows as its background (the object
// screens and the particle tester): made at the size of the screen's quad
// in pixels, made again when that size changes or the device lost it,
// filled each frame, and drawn as a textured screen quad.
#pragma once

#include <cstdint>

class TextureEntry;

class BackdropTarget {
public:
    BackdropTarget();
    ~BackdropTarget();
    BackdropTarget(const BackdropTarget&) = delete;
    BackdropTarget& operator=(const BackdropTarget&) = delete;

    // Clears the target for a w x h quad to `colour` (ARGB). The render
    // target and viewport in use before are in use again afterwards. False
    // without a device, for an empty size, or when no target could be made.
    bool Fill(int w, int h, uint32_t colour);
    // The target's content on the pixel rectangle (x0, y0)-(x1, y1).
    void Draw(int x0, int y0, int x1, int y1) const;
    // Null until the first Fill with a device.
    TextureEntry* Entry() const { return entry_; }

private:
    TextureEntry* entry_ = nullptr; // one use held
};
