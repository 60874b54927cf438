#include "ui/object_screen.h"

#include "ui/hud_view.h"

#include <algorithm>
#include <cmath>

namespace {
float QuadSide(float size) { return std::isfinite(size) ? std::clamp(5 * size, 0.0f, 1.0f) : 0.0f; }
} // namespace

ObjectScreen::ObjectScreen(int kind, float size) : MenuScreen(kind, size) { width_ = height_ = QuadSide(size); }

void ObjectScreen::SetPosition(float x, float y)
{
    left_ = std::isfinite(x) ? std::clamp(x, 0.0f, 1 - width_) : 0.0f;
    top_ = std::isfinite(y) ? std::clamp(y, 0.0f, 1 - height_) : 0.0f;
}

void ObjectScreen::Draw(int64_t)
{
    if (!IsObjectScreenVisible())
        return;
    HudView& view = HudView::Current();
    const float w = view.ScreenWidth(), h = view.ScreenHeight();
    // Rounded: five times a size in fractions lands just short of whole pixels.
    const int x0 = int(std::lround(left_ * w)), y0 = int(std::lround(top_ * h));
    const int x1 = int(std::lround((left_ + width_) * w)), y1 = int(std::lround((top_ + height_) * h));
    if (background_.Fill(x1 - x0, y1 - y0, kBackground))
        background_.Draw(x0, y0, x1, y1);
}
