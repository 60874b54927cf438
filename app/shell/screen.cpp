#include "app/shell/screen.h"

#include "app/display_mode.h"

#include <algorithm>

namespace Screen {
namespace {
// The window's client area; the rectangle is derived from it and the current
// mode on every use, so a mode change needs no notice here.
Rect g_client;
} // namespace

Rect CurrentRect()
{
    const DisplayModeSettings& m = App::CurrentMode();
    const Rect& c = g_client;
    if ((m.flags & kModeWindowed) || m.width <= 0 || m.height <= 0)
        return c;
    // Largest area of the mode's shape, centred.
    int w = c.width, h = c.height;
    if (int64_t(c.width) * m.height > int64_t(c.height) * m.width)
        w = static_cast<int>(int64_t(c.height) * m.width / m.height);
    else
        h = static_cast<int>(int64_t(c.width) * m.height / m.width);
    return {c.left + (c.width - w) / 2, c.top + (c.height - h) / 2, std::max(w, 1), std::max(h, 1)};
}

void OnClientArea(int left, int top, int width, int height)
{
    g_client = {left, top, std::max(width, 1), std::max(height, 1)};
}

void ToModePixels(int screenX, int screenY, int& x, int& y)
{
    const Rect r = CurrentRect();
    const DisplayModeSettings& m = App::CurrentMode();
    const int cx = std::clamp(screenX - r.left, 0, r.width - 1);
    const int cy = std::clamp(screenY - r.top, 0, r.height - 1);
    x = static_cast<int>(int64_t(cx) * m.width / r.width);
    y = static_cast<int>(int64_t(cy) * m.height / r.height);
}

} // namespace Screen
