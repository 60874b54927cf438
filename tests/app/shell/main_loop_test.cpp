// The main loop's own decisions: which demo files exist, the attract mode,
// the state that draws no frame, the start screens' deadlines, the quit
// code and the battle-music switch.
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/demo.h"
#include "app/main_camera.h"
#include "app/shell/application.h"
#include "app/shell/input.h"
#include "console/console.h"
#include "app/directories.h"
#include "media/media_placeholders.h"
#include "sample/media_writer.h"
#include "platform/gfx.h"
#include "platform/window.h"
#include "session/server_objects.h"
#include "ui/camera_controller.h"
#include "ui/ui_placeholders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;

namespace {

class InFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-loop-XXXXXX";
        dir_ = mkdtemp(name);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        TextConsole::Create();
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    void Touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
    void WriteDemo(const std::string& name)
    {
        Demo::File file;
        file.levelScript = "training_level.tvs";
        file.events = {InputEvent{256, 57, 0, 0, 57, 0}};
        file.times = {0.25f};
        const auto bytes = Demo::Serialize(file);
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    }
    fs::path dir_, previous_;
};

TEST_F(InFolder, DemoFilesAreCountedFromDigitZeroToNine)
{
    struct Case {
        const char* name;
        std::vector<std::string> files;
        int count;
    };
    const Case cases[] = {
        {"none", {}, 0},
        {"digit 1 without digit 0", {"tvdemo1.dem"}, 0},
        {"a run with a gap", {"tvdemo0.dem", "tvdemo1.dem", "tvdemo3.dem"}, 2},
        {"letter case of the disk", {"TVDEMO0.DEM"}, 1},
        {"past digit 9 is never probed",
         {"tvdemo0.dem", "tvdemo1.dem", "tvdemo2.dem", "tvdemo3.dem", "tvdemo4.dem", "tvdemo5.dem",
          "tvdemo6.dem", "tvdemo7.dem", "tvdemo8.dem", "tvdemo9.dem", "tvdemo:.dem", "tvdemo;.dem"},
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(dir_))
            fs::remove(entry.path());
        for (const std::string& f : c.files)
            Touch(f);
        EXPECT_EQ(MainLoop::CountDemoFiles(), c.count);
    }
}

TEST_F(InFolder, AttractModeWithoutDemosWaitsAnotherIdlePeriod)
{
    FrontEnd::Enter();
    FrontEnd::IdleDeadline() = AppTime::RealNow() - 1;
    MainLoop::Frame();
    EXPECT_EQ(CurrentAppState(), AppState::MainMenu);
    EXPECT_GT(FrontEnd::IdleDeadline(), AppTime::RealNow()) << "re-armed, so the disk is not searched every frame";
}

TEST_F(InFolder, AttractModePlaysADemoAndRefusesADamagedOne)
{
    std::ofstream(dir_ / "tvdemo0.dem", std::ios::binary) << "\x05\x00\x00\x00oops";
    FrontEnd::Enter();
    FrontEnd::IdleDeadline() = AppTime::RealNow() - 1;
    MainLoop::Frame();
    EXPECT_EQ(CurrentAppState(), AppState::MainMenu) << "a damaged demo is never replayed";
    ASSERT_FALSE(TextConsole::Get().lines.empty());
    EXPECT_NE(TextConsole::Get().lines.back().text.find("tvdemo0.dem"), std::string::npos);

    WriteDemo("tvdemo0.dem");
    int keyFiles = 0;
    FrontEnd::GetServices().writeKeyFile = [&keyFiles] { return ++keyFiles, true; };
    FrontEnd::IdleDeadline() = AppTime::RealNow() - 1;
    MainLoop::Frame();
    FrontEnd::ResetServices();
    EXPECT_EQ(keyFiles, 1) << "the demo leaves the menu as play does, keys written";
    EXPECT_EQ(CurrentAppState(), AppState::Playback);
    EXPECT_EQ(Demo::Global().count, 1u);
    EXPECT_EQ(Demo::Global().levelScript, "training_level.tvs");
}

TEST(MainLoopFrames, LevelStartedBecomesPlayingWithoutAFrame)
{
    SetAppState(AppState::LevelStarted);
    MainLoop::Frame();
    EXPECT_EQ(CurrentAppState(), AppState::Playing);
}

TEST(MainLoopFrames, StartScreensFollowTheirDeadlines)
{
    struct Case {
        AppState from;
        AppState to;
    };
    const Case order[] = {{AppState::Logo, AppState::Splash},
                          {AppState::Splash, AppState::Title},
                          {AppState::Title, AppState::PleaseTrain},
                          {AppState::PleaseTrain, AppState::MainMenu}};
    for (const Case& c : order) {
        SetAppState(c.from);
        Screens::Deadline() = AppTime::RealNow() + 3600 * AppTime::TicksPerSecond();
        MainLoop::Frame();
        EXPECT_EQ(CurrentAppState(), c.from) << "before the deadline";
        Screens::Deadline() = AppTime::RealNow() - 1;
        MainLoop::Frame();
        EXPECT_EQ(CurrentAppState(), c.to);
    }
}

// After the splash screen the intro video plays when the movie folder has
// one; its end brings the title screen.
TEST_F(InFolder, TheIntroVideoPlaysBetweenTheSplashAndTheTitleScreen)
{
    if (!std::getenv("DISPLAY") && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_TRUE(gfx::Open(nullptr)); // the video's texture
    auto& dirs = app::DataDirectories::Global();
    const fs::path savedStart = dirs.StartDirectory();
    const char* savedPath = dirs.Path(app::kFmvsDirectory);
    const std::string keep = savedPath ? savedPath : "";
    dirs.SetStartDirectory(dir_);
    fs::create_directories(dir_ / "fmvs");
    dirs.SetPath(app::kFmvsDirectory, "fmvs");
    test_media::WriteY4m(dir_ / "fmvs" / "dz.bik", 16, 16, {{16, 128, 128}, {235, 128, 128}, {81, 90, 240}});

    SetAppState(AppState::Splash);
    Screens::Deadline() = AppTime::RealNow() - 1;
    MainLoop::Frame();
    EXPECT_EQ(CurrentAppState(), AppState::Video);
    ASSERT_NE(IntroVideo::Current(), nullptr);
    double now = 0;
    IntroVideo::Current()->SetClock([&] { return now; });
    int frames = 0;
    for (; frames < 20 && CurrentAppState() == AppState::Video; ++frames) {
        MainLoop::Frame();
        now += 1.0 / 25;
    }
    EXPECT_EQ(frames, 4) << "three pictures, then the frame that finds the end";
    EXPECT_EQ(CurrentAppState(), AppState::Title);
    EXPECT_EQ(IntroVideo::Current(), nullptr);

    dirs.SetPath(app::kFmvsDirectory, savedPath ? keep.c_str() : nullptr);
    dirs.SetStartDirectory(savedStart);
    SetAppState(AppState::None);
    gfx::Close();
}

// An in-game frame records the cursor's pixel centre for picking; the close
// of every frame forgets what the renderer kept for that one frame.
struct Held : RefCounted {
    static inline int destroyed = 0;
    ~Held() override { ++destroyed; }
};

TEST(MainLoopFrames, InGameFrameSetsThePointerAndEveryFrameClearsItsRecords)
{
    for (const AppState state : {AppState::Playing, AppState::MainMenu}) {
        SCOPED_TRACE(static_cast<int>(state));
        SetAppState(state);
        PointerRecord::Current() = {};
        Input::CursorX() = 17;
        Input::CursorY() = 300;
        MainLoop::FrameRecords& frame = MainLoop::FrameState();
        frame.lightCount = 5;
        frame.rendererReference = RefPtr<RefCounted>::Adopt(new Held);
        frame.lightDistances.fill(2.0f);
        Held::destroyed = 0;
        MainLoop::Frame();
        if (state == AppState::Playing) {
            EXPECT_TRUE(PointerRecord::Current().valid);
            EXPECT_EQ(PointerRecord::Current().x, 17.5f);
            EXPECT_EQ(PointerRecord::Current().y, 300.5f);
        } else {
            EXPECT_FALSE(PointerRecord::Current().valid) << "only the in-game frame picks";
        }
        EXPECT_EQ(frame.lightCount, 0);
        EXPECT_FALSE(frame.rendererReference);
        EXPECT_EQ(Held::destroyed, 1);
        for (float d : frame.lightDistances)
            EXPECT_EQ(d, std::numeric_limits<float>::max());
    }
    SetAppState(AppState::None);
}

// The server stops the units and runs no AI exactly while a scripted
// camera sequence runs; each in-game frame tells it.
TEST(MainLoopFrames, TheCameraScriptModeHoldsTheServersUnits)
{
    SetAppState(AppState::Playing);
    for (const bool script : {true, false}) {
        SCOPED_TRACE(script);
        CameraController::Get().scriptMode = script;
        MainLoop::Frame();
        EXPECT_EQ(Server::UnitsHeld(), script);
    }
    CameraController::Reset();
    Server::SetUnitsHeld(false);
    SetAppState(AppState::None);
}

TEST(MainLoopFrames, QuitMessageEndsTheLoopWithItsCode)
{
    platform::PostQuitMessage(7);
    int code = 0;
    EXPECT_FALSE(MainLoop::Pass(code));
    EXPECT_EQ(code, 7);
}

TEST(MainLoopFrames, BattleMusicStartsAndReturnsFiveGameSecondsAfter)
{
    const int64_t s = AppTime::TicksPerSecond();
    MainLoop::Music() = {};
    MusicPlayer::Destroy();
    // both tracks exist (as short wave files), so each switch really opens its file
    const std::filesystem::path saved = app::DataDirectories::Global().StartDirectory();
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "main_loop_music_test";
    std::filesystem::create_directories(root / "sound" / "music");
    for (const char* name : {"battle01.bik", "track1.bik"})
        test_media::WriteWave(root / "sound" / "music" / name, 8000, 1, 800, [](uint32_t f, int) {
            return int16_t(f * 40);
        });
    app::DataDirectories::Global().SetStartDirectory(root);
    struct Step {
        double second;
        bool battle;
        const char* playing;
    };
    const Step steps[] = {
        {0.0, false, ""},                                  // no player yet: one is made, nothing plays
        {0.5, true, "sound\\music\\battle01.bik"},
        {1.0, true, "sound\\music\\battle01.bik"},
        {1.5, false, "sound\\music\\battle01.bik"},        // the battle ended: 5 s from here
        {6.5, false, "sound\\music\\battle01.bik"},        // exactly 5 s: not yet
        {7.0, false, "sound\\music\\track1.bik"},
        {7.5, false, "sound\\music\\track1.bik"},
    };
    for (const Step& step : steps) {
        MainLoop::UpdateMusic(static_cast<int64_t>(step.second * double(s)), step.battle);
        ASSERT_NE(MusicPlayer::Global(), nullptr);
        EXPECT_EQ(MusicPlayer::Global()->track, step.playing) << "at " << step.second;
        EXPECT_EQ(MusicPlayer::Global()->ThreadRunning(), *step.playing != 0) << "at " << step.second;
    }
    MusicPlayer::Destroy();
    app::DataDirectories::Global().SetStartDirectory(saved);
    std::filesystem::remove_all(root);
}

} // namespace
