// The shell's display-mode set-up: fall-backs and exit codes against a
// scripted device layer, then against the real display; the screen mapping;
// the log file.
#include <deque>
#include <fstream>
#include <sstream>

#include "app/display_mode.h"
#include "app/log_file.h"
#include "display_fixture.h"

namespace {

struct ExitCalled {
    int code;
};

// A device layer that answers from scripts and records what it was asked.
class ScriptedDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
        modeResults.clear();
        openResults.clear();
        requests.clear();
        variantAtOpen.clear();
        errors.clear();
        opens = shutdowns = 0;
        calls.clear();
        DisplayModeHooks& h = App::ModeHooks();
        h.setMode = [this](int w, int hgt, int d, uint32_t f) {
            requests.push_back({w, hgt, d, f});
            if (modeResults.empty())
                return 1;
            const int rc = modeResults.front();
            modeResults.pop_front();
            return rc;
        };
        h.openDevice = [this] {
            ++opens;
            variantAtOpen.push_back(App::PreferredVariant());
            if (openResults.empty())
                return true;
            const bool ok = openResults.front();
            openResults.pop_front();
            return ok;
        };
        h.shutdown = [this] { ++shutdowns; };
        h.showError = [this](const char* text) { errors.push_back(text); };
        h.canRenderWindowed = [this] { return windowCapable; };
        h.exitProgram = [](int code) { throw ExitCalled{code}; };
        h.releaseDeviceObjects = [this] { calls += "release "; };
        h.restoreDeviceObjects = [this] { calls += "restore "; };
        h.clipCursor = [this](const ClipRect& r) { clip = r; };
        h.desktopRect = [] { return ClipRect{0, 0, 1920, 1080}; };
        h.resizeWindow = [this](int, int) { return resizeWorks; };
    }
    void TearDown() override
    {
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
    }

    int ExitCodeOf(const std::function<void()>& f)
    {
        try {
            f();
        } catch (const ExitCalled& e) {
            return e.code;
        }
        return 0;
    }

    std::deque<int> modeResults;
    std::deque<bool> openResults;
    std::vector<DisplayModeSettings> requests;
    std::vector<bool> variantAtOpen;
    std::vector<std::string> errors;
    int opens = 0, shutdowns = 0;
    bool windowCapable = true, resizeWorks = true;
    std::string calls;
    ClipRect clip;
};

TEST_F(ScriptedDisplay, InitialModeFallBacks)
{
    struct Case {
        const char* what;
        std::deque<int> modes;
        std::deque<bool> opens;
        bool result;
        int exitCode;
        size_t errors;
        int lastWidth;
    };
    const Case cases[] = {
        {"set as asked", {1}, {true}, true, 0, 0, 800},
        {"mode refused, 640 x 480 x 16 works", {0, 2}, {true}, true, 0, 1, 640},
        {"both refused", {0, 0}, {}, false, 0, 2, 640},
        {"the device layer lost every mode", {-1}, {}, false, -33, 0, 800},
        {"device opens on the third try", {}, {false, false, true}, true, 0, 0, 800},
        {"device never opens", {}, {false, false, false, false}, false, -41, 0, 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        App::CurrentMode() = {800, 600, 32, 0};
        modeResults = c.modes;
        openResults = c.opens;
        bool result = false;
        const int code = ExitCodeOf([&] { result = App::SetInitialMode(); });
        EXPECT_EQ(code, c.exitCode);
        if (!code) {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_EQ(errors.size(), c.errors);
        for (const std::string& e : errors)
            EXPECT_EQ(e, "Couldn't set requested mode");
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().width, c.lastWidth);
        if (c.lastWidth == 640) {
            EXPECT_EQ(requests.back().depth, 16);
        }
        EXPECT_EQ(shutdowns, c.errors == 2 ? 1 : 0);
    }
}

TEST_F(ScriptedDisplay, PreferredVariantIsDroppedForOneRetry)
{
    App::PreferredVariant() = true;
    openResults = {false, true};
    EXPECT_TRUE(App::SetInitialMode());
    EXPECT_EQ(variantAtOpen, (std::vector<bool>{true, false}));
    EXPECT_TRUE(App::PreferredVariant());
    EXPECT_EQ(App::DeviceRetries(), 2);
}

TEST_F(ScriptedDisplay, WindowedRequestOnADisplayThatCannotDoIt)
{
    windowCapable = false;
    App::CurrentMode().flags = kModeWindowed;
    EXPECT_EQ(App::SetDisplayMode(640, 480, 16, kModeWindowed | kModeReference), 1);
    EXPECT_EQ(requests.back().flags, kModeReference);
    EXPECT_EQ(App::CurrentMode().flags, kModeReference);
}

TEST_F(ScriptedDisplay, ModeChangeOrderAndPreviousMode)
{
    App::SetDisplayMode(800, 600, 32, 0);
    EXPECT_EQ(calls, "release restore ");
    App::SetDisplayMode(1024, 768, 16, 0);
    EXPECT_EQ(App::PreviousMode(), (DisplayModeSettings{800, 600, 32, 0}));
    EXPECT_EQ(App::RestorePreviousMode(), 1);
    EXPECT_EQ(App::CurrentMode(), (DisplayModeSettings{800, 600, 32, 0}));
    // A window that cannot be resized makes the change report 0.
    resizeWorks = false;
    EXPECT_EQ(App::SetDisplayMode(640, 480, 32, kModeWindowed), 0);
}

TEST_F(ScriptedDisplay, ScreenMapping)
{
    struct Case {
        int width, height;
        bool windowed;
        int right, bottom;
        float fx, fy;
        ClipRect clip;
    };
    const Case cases[] = {
        {0, 0, false, 1, 1, 1.0f / 640, 1.0f / 480, {0, 0, 0, 0}},
        {1280, 960, false, 1280, 960, 2.0f, 2.0f, {0, 0, 1280, 960}},
        {640, 480, true, 640, 480, 1.0f, 1.0f, {0, 0, 1920, 1080}},
        {800, -5, false, 800, 1, 1.25f, 1.0f / 480, {0, 0, 800, -5}},
    };
    for (const Case& c : cases) {
        App::CurrentMode().flags = c.windowed ? kModeWindowed : 0;
        App::OnResize(c.width, c.height);
        const ScreenMapping& m = App::Screen();
        EXPECT_EQ(m.right, c.right);
        EXPECT_EQ(m.bottom, c.bottom);
        EXPECT_FLOAT_EQ(m.factorX, c.fx);
        EXPECT_FLOAT_EQ(m.factorY, c.fy);
        EXPECT_EQ(clip.right, c.clip.right);
        EXPECT_EQ(clip.bottom, c.clip.bottom);
    }
}

// ---- On the real display ------------------------------------------------------

class RealDisplayMode : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
        App::ModeHooks().showError = [this](const char* text) { errors.push_back(text); };
    }
    void TearDown() override
    {
        DisplayTest::TearDown();
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
    }
    std::vector<std::string> errors;
};

TEST_F(RealDisplayMode, SixteenThenThirtyTwoBits)
{
    ASSERT_TRUE(Display::Startup(nullptr));
    ASSERT_TRUE(Display::SetInitialMode());
    EXPECT_EQ(Display::Depth(), 16);
    EXPECT_TRUE(Display::DeviceReady());
    EXPECT_EQ(App::SetDisplayMode(640, 480, 32, 0), 2);
    EXPECT_EQ(Display::Depth(), 32);
    EXPECT_TRUE(Display::DeviceReady());
    EXPECT_TRUE(errors.empty());
}

TEST_F(RealDisplayMode, UnsupportedModeFallsBackToSixteenBits)
{
    ASSERT_TRUE(Display::Startup(nullptr));
    App::CurrentMode() = {1000, 700, 32, 0};
    ASSERT_TRUE(Display::SetInitialMode());
    EXPECT_EQ(errors, (std::vector<std::string>{"Couldn't set requested mode"}));
    EXPECT_EQ(Display::Width(), 640);
    EXPECT_EQ(Display::Height(), 480);
    EXPECT_EQ(Display::Depth(), 16);
    EXPECT_TRUE(Display::DeviceReady());
}

TEST_F(RealDisplayMode, ReferenceDeviceFromTheModeFlags)
{
    ASSERT_TRUE(Display::Startup(nullptr));
    App::CurrentMode().flags = kModeReference;
    ASSERT_TRUE(Display::SetInitialMode());
    EXPECT_EQ(Display::Device()->Desc().name, gfx::kReferenceDeviceName);
}

TEST_F(RealDisplayMode, DeviceThatCannotOpenEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // -41 reaches the shell as 215.
    EXPECT_EXIT(
        {
            gfx::CurrentFaults().failDeviceCreations = 1000;
            Display::Startup(nullptr);
            Display::SetInitialMode();
            std::exit(0);
        },
        ::testing::ExitedWithCode(256 - 41), "");
}

// ---- The log file ---------------------------------------------------------------

std::string ReadText(const std::filesystem::path& p)
{
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(DisplayLogFile, EachRunStartsAFreshLogThenAppends)
{
    displaytest::TempDir dir;
    std::ofstream(dir.Path() / "LOGFILE.TXT") << "the previous run\n";
    LogFile::Reset();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "LOGFILE.TXT"));
    LogFile::Write("Error: Validate Device failed on line %i in file %s.", 633, "Veapi\\VertBuff.cpp");
    LogFile::WriteLine("second");
    EXPECT_EQ(ReadText(dir.Path() / "LOGFILE.TXT"),
              "Error: Validate Device failed on line 633 in file Veapi\\VertBuff.cpp.\nsecond\n");
    EXPECT_EQ(LogFile::Path(), (dir.Path() / "LOGFILE.TXT").string());
    // Long lines are cut, not overrun.
    LogFile::Reset();
    LogFile::Write("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(ReadText(dir.Path() / "LOGFILE.TXT"), std::string(1023, 'x') + "\n");
}

// The game keeps its log in the data root, whatever folder it was started from.
TEST(DisplayLogFile, GivenFolderWinsOverTheCurrentOne)
{
    displaytest::TempDir current;  // the process's folder for the test
    const std::filesystem::path root = current.Path() / "root";
    std::filesystem::create_directories(root);
    LogFile::SetFolder(root.string());
    LogFile::WriteLine("in the root");
    EXPECT_EQ(ReadText(root / "LOGFILE.TXT"), "in the root\n");
    EXPECT_FALSE(std::filesystem::exists(current.Path() / "LOGFILE.TXT"));
    LogFile::SetFolder("");
    LogFile::Reset();
    EXPECT_EQ(LogFile::Path(), (current.Path() / "LOGFILE.TXT").string());
}

TEST(DisplayLogFile, PathRules)
{
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {{"LOGFILE.TXT", "/games/tv/LOGFILE.TXT"},
                          {"/var/log/x.txt", "/var/log/x.txt"},
                          {"\\x.txt", "\\x.txt"},
                          {"c:log.txt", "c:log.txt"}};
    for (const Case& c : cases)
        EXPECT_EQ(LogFile::BuildPath(c.name, "/games/tv"), c.expected);
}

TEST_F(RealDisplayMode, NoBufferTheDesktopShowsEndsTheProgram)
{
    ASSERT_TRUE(Display::Startup(nullptr));
    EXPECT_EQ(Display::FindGdiBuffer(), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // -40 reaches the shell as 216.
    EXPECT_EXIT(
        {
            gfx::CurrentFaults().noGdiBuffer = true;
            Display::FindGdiBuffer();
            std::exit(0);
        },
        ::testing::ExitedWithCode(256 - 40), "");
}

} // namespace
