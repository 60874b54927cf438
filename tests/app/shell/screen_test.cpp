// The screen rectangle: a framed window maps one to one, full screen
// letter-boxes the mode into the desktop, and the pointer is clamped into
// the mode.
#include "app/shell/screen.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenMapping, RectangleAndPointer)
{
    struct Case {
        const char* name;
        uint32_t flags;
        int clientLeft, clientTop, clientWidth, clientHeight;
        Screen::Rect rect;
        int pointerX, pointerY; // screen coordinates
        int modeX, modeY;
    };
    const Case cases[] = {
        {"framed, same size", Screen::kWindowed, 10, 20, 640, 480, {10, 20, 640, 480}, 330, 260, 320, 240},
        {"framed, twice the size", Screen::kWindowed, 0, 0, 1280, 960, {0, 0, 1280, 960}, 1279, 959, 639, 479},
        {"wide desktop: bars left and right", 0, 0, 0, 1920, 1080, {240, 0, 1440, 1080}, 240 + 720, 540, 320, 240},
        {"tall desktop: bars above and below", 0, 0, 0, 1024, 1024, {0, 128, 1024, 768}, 512, 128, 320, 0},
        {"pointer on a bar is clamped", 0, 0, 0, 1920, 1080, {240, 0, 1440, 1080}, 10, 5000, 0, 479},
        {"zero size counts as one pixel", Screen::kWindowed, 0, 0, 0, 0, {0, 0, 1, 1}, 7, 7, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Screen::CurrentMode() = {640, 480, 16, c.flags};
        Screen::OnClientArea(c.clientLeft, c.clientTop, c.clientWidth, c.clientHeight);
        const Screen::Rect& r = Screen::CurrentRect();
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.width, c.rect.width);
        EXPECT_EQ(r.height, c.rect.height);
        int x = -1, y = -1;
        Screen::ToModePixels(c.pointerX, c.pointerY, x, y);
        EXPECT_EQ(x, c.modeX);
        EXPECT_EQ(y, c.modeY);
    }
}

} // namespace
