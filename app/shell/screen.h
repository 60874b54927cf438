// The display mode the game draws in and the screen rectangle it occupies in
// screen coordinates, which maps the pointer into display-mode pixels. Full
// screen, the mode is letter-boxed into the desktop-sized window.
#pragma once

#include <cstdint>

namespace Screen {

struct Mode {
    int width = 640;
    int height = 480;
    int depth = 16;
    uint32_t flags = 0; // kWindowed, kReferenceDevice
};
inline constexpr uint32_t kWindowed = 0x1;
inline constexpr uint32_t kReferenceDevice = 0x80000000u;

struct Rect {
    int left = 0, top = 0;
    int width = 1, height = 1; // never below 1
};

Mode& CurrentMode();
Rect& CurrentRect();

// Recomputes the rectangle from the window's client area (origin and size).
void OnClientArea(int left, int top, int width, int height);
// A client-area position (screen coordinates) in display-mode pixels,
// clamped to the mode.
void ToModePixels(int screenX, int screenY, int& x, int& y);

} // namespace Screen
