#include "app/shell/screen.h"

#include <algorithm>

namespace Screen {

Mode& CurrentMode()
{
    static Mode mode;
    return mode;
}

Rect& CurrentRect()
{
    static Rect rect;
    return rect;
}

void OnClientArea(int left, int top, int width, int height)
{
    const Mode& m = CurrentMode();
    Rect& r = CurrentRect();
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (m.flags & kWindowed) {
        r = {left, top, width, height};
        return;
    }
    // Largest area of the mode's shape, centred.
    int w = width, h = height;
    if (int64_t(width) * m.height > int64_t(height) * m.width)
        w = static_cast<int>(int64_t(height) * m.width / m.height);
    else
        h = static_cast<int>(int64_t(width) * m.height / m.width);
    r = {left + (width - w) / 2, top + (height - h) / 2, std::max(w, 1), std::max(h, 1)};
}

void ToModePixels(int screenX, int screenY, int& x, int& y)
{
    const Rect& r = CurrentRect();
    const Mode& m = CurrentMode();
    const int cx = std::clamp(screenX - r.left, 0, r.width - 1);
    const int cy = std::clamp(screenY - r.top, 0, r.height - 1);
    x = static_cast<int>(int64_t(cx) * m.width / r.width);
    y = static_cast<int>(int64_t(cy) * m.height / r.height);
}

} // namespace Screen
