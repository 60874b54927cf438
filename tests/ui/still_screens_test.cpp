#include "ui/still_screens.h"

#include "../Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "platform/data_path.h"
#include "ui/scene_lighting.h"
#include "Veapi/light_set.h"

#include <filesystem>

namespace {

int64_t g_now = 0;
int64_t FakeNow() { return g_now; }

class StillScreensTest : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene();
        auto& dirs = app::DataDirectories::Global();
        savedStart_ = dirs.StartDirectory();
        dirs.SetStartDirectory(TREVOK_SAMPLE_DATA_DIR);
        dirs.SetPath(app::kGraphicsDirectory, "graphics");
        platform::ClearDataPathCache();
        g_now = 5000;
        AppTime::SetRealClock(FakeNow);
    }
    void TearDown() override
    {
        TitleScreen::Leave();
        AppTime::SetRealClock(nullptr);
        auto& dirs = app::DataDirectories::Global();
        dirs.SetPath(app::kGraphicsDirectory, nullptr);
        dirs.SetStartDirectory(savedStart_);
        SceneTest::TearDown();
    }
    std::filesystem::path savedStart_;
};

// In the order the program shows them: logo, splash, title, reminder.
TEST_F(StillScreensTest, EachScreenShowsItsImageUntilItsDeadline)
{
    const struct {
        bool (*enter)();
        void (*draw)();
        void (*leave)();
        AppState state;
        int seconds;
        scenetest::Rgb colour;
    } screens[] = {
        {LogoScreen::Enter, LogoScreen::Draw, LogoScreen::Leave, AppState::Logo, 5, {200, 40, 40}},
        {SplashScreen::Enter, SplashScreen::Draw, SplashScreen::Leave, AppState::Splash, 10, {40, 160, 40}},
        {TitleScreen::Enter, TitleScreen::Draw, TitleScreen::Leave, AppState::Title, 10, {40, 60, 200}},
        {TrainingReminder::Enter, TrainingReminder::Draw, TrainingReminder::Leave, AppState::PleaseTrain, 10,
         {200, 160, 20}},
    };
    for (const auto& s : screens) {
        SCOPED_TRACE(int(s.state));
        ASSERT_TRUE(s.enter());
        EXPECT_EQ(CurrentAppState(), s.state);
        EXPECT_EQ(Screens::Deadline(), g_now + s.seconds * AppTime::TicksPerSecond());
        EXPECT_TRUE(Screens::HasImage());
        BeginFrame();
        s.draw();
        RenderQueue::Flush();
        EndFrame();
        bool seen = false;
        for (int y = 0; y < 240 && !seen; y += 4)
            for (int x = 0; x < 320 && !seen; x += 4) {
                const auto p = Pixel(x, y);
                seen = std::abs(p.r - s.colour.r) < 16 && std::abs(p.g - s.colour.g) < 16 && std::abs(p.b - s.colour.b) < 16;
            }
        EXPECT_TRUE(seen) << "its own picture on the screen";
        s.leave();
        EXPECT_FALSE(Screens::HasImage());
        g_now += 1000;
    }
}

// Each screen lights the scene white again, whatever a game left on it,
// also when its image is missing.
TEST_F(StillScreensTest, EnteringAScreenLightsTheSceneWhite)
{
    LightSet::CreateGlobals(new LightSet);
    for (bool (*enter)() : {LogoScreen::Enter, SplashScreen::Enter, TrainingReminder::Enter, TitleScreen::Enter}) {
        SceneLighting::SetGame();
        ASSERT_FLOAT_EQ(LightSet::Global(0)->Material().emissive.r, 0.25f);
        enter();
        const auto& glow = LightSet::Global(0)->Material().emissive;
        EXPECT_FLOAT_EQ(glow.r, 1.0f);
        EXPECT_FLOAT_EQ(glow.g, 1.0f);
        EXPECT_FLOAT_EQ(glow.b, 1.0f);
        EXPECT_EQ(LightSet::Global(0)->LightCount(), 1) << "the game's light stays until the session clears it";
    }
    app::DataDirectories::Global().SetPath(app::kGraphicsDirectory, "sounds");
    SceneLighting::SetGame();
    TitleScreen::Enter();
    EXPECT_FLOAT_EQ(LightSet::Global(0)->Material().emissive.r, 1.0f) << "no image";
    LightSet::DestroyGlobals();
}

TEST_F(StillScreensTest, AMissingTitleImageStillEntersTheTitleState)
{
    app::DataDirectories::Global().SetPath(app::kGraphicsDirectory, "sounds");
    EXPECT_FALSE(TitleScreen::Enter());
    EXPECT_EQ(CurrentAppState(), AppState::Title);
    EXPECT_FALSE(Screens::HasImage());
    EXPECT_EQ(Screens::Deadline(), g_now + 10 * AppTime::TicksPerSecond());
    TitleScreen::Draw(); // draws nothing, and does not fail
}

} // namespace
