// The loading screen on a real display, driven through the session's
// loading-screen calls: the red bar along the bottom grows with the progress
// and darkens to the left, the briefing picture fills the screen behind it.
#include "console/loading_screen.h"

#include "../Veapi/camera_fixture.h"
#include "app/directories.h"
#include "platform/data_path.h"
#include "script/directory_list.h"
#include "session/level_session.h"

#include <filesystem>

namespace {

class LoadingScreenScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        Session::SetHooks({});
        LoadingScreenView::Install();
    }
    void TearDown() override
    {
        LoadingScreenView::FreeBackground();
        Session::SetHooks({});
        auto& dirs = app::DataDirectories::Global();
        dirs.SetPath(app::kGraphicsDirectory, nullptr);
        dirs.SetStartDirectory(savedStart_);
        SceneTest::TearDown();
    }
    bool UseSampleGraphics()
    {
        const std::filesystem::path root = TREVOK_SAMPLE_DATA_DIR;
        if (!std::filesystem::exists(root / "graphics" / "bitmaps" / "briefingscreen.rim"))
            return false;
        auto& dirs = app::DataDirectories::Global();
        savedStart_ = dirs.StartDirectory();
        dirs.SetStartDirectory(root);
        dirs.SetPath(app::kGraphicsDirectory, "graphics");
        platform::ClearDataPathCache();
        return true;
    }
    static bool Near(const scenetest::Rgb& a, const scenetest::Rgb& b, int tolerance = 10)
    {
        return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
               std::abs(a.b - b.b) <= tolerance;
    }
    std::filesystem::path savedStart_;
};

// At 320 x 240 the bar runs from x 84, rows 228 to 232; a full bar ends
// before x 235. Its red runs from 25 at the left to the end red at the fill.
TEST_F(LoadingScreenScene, TheBarGrowsWithTheProgressFromDarkToBrightRed)
{
    const struct {
        int percent;
        int fillRight;  // first column not lit
        int endRed;
    } cases[] = {
        {0, 84, 25},
        {50, 159, 130},
        {100, 235, 235},
    };
    constexpr int kLeft = 84, kTop = 228, kBottom = 233;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        LoadingScreen::Show(Session::kTextLevel);
        LoadingScreen::SetProgress(c.percent);
        for (int x = kLeft; x < c.fillRight; x += 10)
            for (int y : {kTop, kBottom - 1}) {
                const float t = (float(x) + 0.5f - float(kLeft)) / float(c.fillRight - kLeft);
                const int red = int(25.0f + float(c.endRed - 25) * t);
                EXPECT_TRUE(Near(Pixel(x, y), {red, 0, 0}, 6)) << x << ", " << y << ": " << Pixel(x, y).r;
            }
        EXPECT_TRUE(Near(Pixel(c.fillRight, 230), {0, 0, 0}, 2)) << "past the fill";
        EXPECT_TRUE(Near(Pixel(kLeft - 1, 230), {0, 0, 0}, 2)) << "left of the bar";
        EXPECT_TRUE(Near(Pixel(kLeft + 2, kTop - 1), {0, 0, 0}, 2)) << "above the bar";
        EXPECT_TRUE(Near(Pixel(kLeft + 2, kBottom), {0, 0, 0}, 2)) << "below the bar";
    }
}

TEST_F(LoadingScreenScene, TheBriefingPictureFillsTheScreenBehindTheBar)
{
    if (!UseSampleGraphics())
        GTEST_SKIP() << "sample data not generated";
    LoadingScreenView::OpenBackground();
    ASSERT_TRUE(LoadingScreenView::HasBackground());
    LoadingScreen::Show(Session::kTextTextures);
    LoadingScreen::SetProgress(100);
    for (auto [x, y] : {std::pair{3, 3}, {160, 120}, {316, 236}, {40, 200}}) {
        const scenetest::Rgb p = Pixel(x, y);
        EXPECT_GT(p.r + p.g + p.b, 40) << "the picture at " << x << ", " << y;
    }
    EXPECT_TRUE(Near(Pixel(200, 230), {187, 0, 0}, 8)) << "the bar over the picture: " << Pixel(200, 230).r;

    LoadingScreenView::FreeBackground();
    LoadingScreen::SetProgress(0);
    EXPECT_TRUE(Near(Pixel(160, 120), {0, 0, 0}, 2)) << "freed: the screen is black";
}

} // namespace

namespace {

// The sample level loaded on a display: the last loading frame stays on the
// screen with the bar full, and the picture is gone before the textures load.
TEST_F(LoadingScreenScene, TheSampleLevelLoadsBehindTheLoadingScreen)
{
    const std::filesystem::path root = TREVOK_SAMPLE_DATA_DIR;
    if (!std::filesystem::exists(root / "scripts" / "training_level.tvs"))
        GTEST_SKIP() << "sample data not generated";
    ASSERT_TRUE(script::LoadDataDirectories(root));
    platform::ClearDataPathCache();
    Session::DataRoot() = root;
    Session::Names() = {"training_level.tvs", ""};
    int opened = 0;
    auto& hooks = Session::Hooks();
    hooks.loadingImage = [&opened](bool open) {
        opened += open;
        if (open)
            LoadingScreenView::OpenBackground();
        else
            LoadingScreenView::FreeBackground();
    };
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(LoadingScreenView::HasBackground()) << "freed before the textures load";
    EXPECT_TRUE(Near(Pixel(230, 230), {232, 0, 0}, 8)) << "a full bar: " << Pixel(230, 230).r;
    EXPECT_TRUE(Near(Pixel(160, 120), {0, 0, 0}, 2));
    EndSession();
    Session::Names() = {};
    Session::DataRoot().clear();
    app::DataDirectories::Global().Clear();
}

} // namespace
