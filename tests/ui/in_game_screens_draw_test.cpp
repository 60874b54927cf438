// The in-game menu and the save screen on a real display: each shows its own
// picture in its own rectangle while open, and nothing once it has closed.
#include "ui/menu_screen.h"

#include "../Veapi/camera_fixture.h"
#include "../support/string_texts.h"
#include "Veapi/render_queue.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "platform/data_path.h"
#include "ui/hud_view.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ScreenView : HudView {
    int64_t now = 0;
    int64_t RealNow() override { return now; }
    int64_t TicksPerSecond() override { return AppTime::TicksPerSecond(); }
    float ScreenWidth() override { return 320; }
    float ScreenHeight() override { return 240; }
};

class MenuDrawTest : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        const fs::path bitmaps = fs::path(TREVOK_SAMPLE_DATA_DIR) / "graphics" / "bitmaps";
        fs::create_directories(dir_.Path() / "graphics" / "units");
        // Blue for the menu, red for the save screen.
        fs::copy_file(bitmaps / "Title.rim", dir_.Path() / "graphics" / "units" / "main menu & in game menu 00.rim");
        fs::copy_file(bitmaps / "VQNLOGO.rim", dir_.Path() / "graphics" / "units" / "save screen.rim");
        fs::create_directories(dir_.Path() / "data" / "trevok" / "saves");
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            savedHome_ = old;
        setenv("XDG_DATA_HOME", (dir_.Path() / "data").c_str(), 1);
        auto& dirs = app::DataDirectories::Global();
        savedStart_ = dirs.StartDirectory();
        dirs.SetStartDirectory(dir_.Path());
        dirs.SetPath(app::kGraphicsDirectory, "graphics");
        platform::ClearDataPathCache();
        HudView::Install(&view_);
        AppTime::SetGameSpeed(1.0f);
        LoadGlobalStringTable({{7077, "Back to the game"}, {7065, "Save game"}});
    }
    void TearDown() override
    {
        MenuScreen::ReleaseAll();
        RenderQueue::Clear();
        HudView::Install(nullptr);
        auto& dirs = app::DataDirectories::Global();
        dirs.SetPath(app::kGraphicsDirectory, nullptr);
        dirs.SetStartDirectory(savedStart_);
        if (savedHome_)
            setenv("XDG_DATA_HOME", savedHome_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        AppTime::SetGameSpeed(1.0f);
        StringTable::Global().Free();
        SceneTest::TearDown();
    }
    // One frame of the screens, after `ms` more milliseconds.
    void Frame(int64_t ms)
    {
        view_.now += ms * AppTime::TicksPerSecond() / 1000;
        BeginFrame(0);
        MenuScreen::DrawAll(view_.now);
        RenderQueue::Flush();
        EndFrame();
    }
    // Where the picture shows, sampled on a grid: blue, red or nothing.
    struct Seen {
        int blue = 0, red = 0;
        int left = 320, right = -1, top = 240, bottom = -1;
    };
    Seen Look()
    {
        Seen s;
        for (int y = 2; y < 240; y += 4)
            for (int x = 2; x < 320; x += 4) {
                const auto p = Pixel(x, y);
                const bool blue = p.b > p.r + 30, red = p.r > p.b + 30;
                s.blue += blue;
                s.red += red;
                if (blue || red) {
                    s.left = std::min(s.left, x);
                    s.right = std::max(s.right, x);
                    s.top = std::min(s.top, y);
                    s.bottom = std::max(s.bottom, y);
                }
            }
        return s;
    }

    displaytest::TempDir dir_;
    ScreenView view_;
    fs::path savedStart_;
    std::optional<std::string> savedHome_;
};

TEST_F(MenuDrawTest, EachScreenShowsItsPictureInItsQuadUntilClosed)
{
    MenuScreen::OpenInGameMenu();
    Frame(300);
    const MenuSlotRow& back = MenuScreen::List(MenuScreen::kInGameMenu).rows[0];
    Frame(300); // fully open: the rows start typing now
    ASSERT_TRUE(MenuScreen::Slot(MenuScreen::kInGameMenu)->OpenComplete());
    EXPECT_EQ(back.shown.textShown, 0) << "nothing typed while the screen opened";
    Frame(200); // 10 to 40 characters a second
    EXPECT_GE(back.shown.textShown, 1);
    EXPECT_LE(back.shown.textShown, 8);
    Frame(2000);
    EXPECT_EQ(back.shown.ShownText(), "Back to the game");
    Seen menu = Look();
    EXPECT_GT(menu.blue, 0);
    EXPECT_EQ(menu.red, 0);
    // The quad: (0.3, 0.2) to (0.675, 0.7) of 320 x 240.
    EXPECT_NEAR(menu.left, 96, 5);
    EXPECT_NEAR(menu.right, 216, 5);
    EXPECT_NEAR(menu.top, 48, 5);
    EXPECT_NEAR(menu.bottom, 168, 5);

    MenuScreen::OpenSaveScreen(); // the menu closes as the save screen opens
    for (int i = 0; i < 4; ++i)
        Frame(300);
    Seen save = Look();
    EXPECT_EQ(save.blue, 0) << "the menu has closed";
    EXPECT_GT(save.red, 0);
    // 512 pixels halved to fit: 0.4 x 0.533 of the screen, centred.
    EXPECT_NEAR(save.left, 96, 5);
    EXPECT_NEAR(save.right, 224, 5);
    EXPECT_NEAR(save.top, 56, 5);
    EXPECT_NEAR(save.bottom, 184, 5);

    MenuScreen::Slot(MenuScreen::kSaveScreen)->BeginClose();
    Frame(300);
    Frame(300);
    EXPECT_FALSE(MenuScreen::AnyOpen());
    Frame(16);
    const Seen closed = Look();
    EXPECT_EQ(closed.blue + closed.red, 0);
}

} // namespace
