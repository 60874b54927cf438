// The screen rectangle the display mode (App::CurrentMode) occupies in
// screen coordinates, which maps the pointer into display-mode pixels. Full
// screen, the mode is letter-boxed into the desktop-sized window.
#pragma once

#include <cstdint>

namespace Screen {

struct Rect {
    int left = 0, top = 0;
    int width = 1, height = 1; // never below 1
};

// Derived from the client area and the current mode.
Rect CurrentRect();

// The window's client area (origin and size) changed.
void OnClientArea(int left, int top, int width, int height);
// A client-area position (screen coordinates) in display-mode pixels,
// clamped to the mode.
void ToModePixels(int screenX, int screenY, int& x, int& y);

} // namespace Screen
