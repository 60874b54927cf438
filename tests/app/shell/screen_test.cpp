// The screen rectangle: a framed window maps one to one, full screen
// letter-boxes the mode into the desktop, and the pointer is clamped into
// the mode.
#include "app/shell/screen.h"

#include "app/display_mode.h"

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
        {"framed, same size", kModeWindowed, 10, 20, 640, 480, {10, 20, 640, 480}, 330, 260, 320, 240},
        {"framed, twice the size", kModeWindowed, 0, 0, 1280, 960, {0, 0, 1280, 960}, 1279, 959, 639, 479},
        {"wide desktop: bars left and right", 0, 0, 0, 1920, 1080, {240, 0, 1440, 1080}, 240 + 720, 540, 320, 240},
        {"tall desktop: bars above and below", 0, 0, 0, 1024, 1024, {0, 128, 1024, 768}, 512, 128, 320, 0},
        {"pointer on a bar is clamped", 0, 0, 0, 1920, 1080, {240, 0, 1440, 1080}, 10, 5000, 0, 479},
        {"zero size counts as one pixel", kModeWindowed, 0, 0, 0, 0, {0, 0, 1, 1}, 7, 7, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        App::CurrentMode() = {640, 480, 16, c.flags};
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

// The mode changes after start-up through the one mode record; the pointer
// mapping must follow without being told (a copy of the mode taken at
// start-up would keep mapping into the old size).
TEST(ScreenMapping, PointerFollowsModeChangesAfterStartUp)
{
    App::ResetDisplayMode();
    App::ModeHooks() = {};
    App::ModeHooks().setMode = [](int, int, int, uint32_t) { return 1; };
    App::CurrentMode() = {640, 480, 16, 0};
    Screen::OnClientArea(0, 0, 1280, 960); // a full-screen window on a 1280 x 960 desktop
    struct Case {
        const char* name;
        int width, height;
        uint32_t flags;
        int pointerX, pointerY;
        int modeX, modeY;
    };
    const Case cases[] = {
        {"start-up mode", 640, 480, 0, 640, 480, 320, 240},
        {"larger mode, same shape", 800, 600, 0, 640, 480, 400, 300},
        {"wide mode letter-boxed anew", 1280, 720, 0, 640, 120 + 360, 640, 360},
        {"pointer on the new bar is clamped", 1280, 720, 0, 640, 10, 640, 0},
        {"windowed maps the client area", 1024, 768, kModeWindowed, 640, 480, 512, 384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(App::SetDisplayMode(c.width, c.height, 16, c.flags), 1);
        int x = -1, y = -1;
        Screen::ToModePixels(c.pointerX, c.pointerY, x, y);
        EXPECT_EQ(x, c.modeX);
        EXPECT_EQ(y, c.modeY);
    }
    App::ModeHooks() = {};
    App::ResetDisplayMode();
}

} // namespace
