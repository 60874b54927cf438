// The game started on the sample data under a virtual display loads the
// sample level from its main menu behind the loading screen: every loading
// frame is read back from what the player sees, the red bar along the bottom
// grows with the progress up to a full bar, and the level then plays.
#include "app/app_state.h"
#include "app/shell/application.h"
#include "platform/gfx.h"
#include "session/level_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <fcntl.h>
#include <functional>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path SampleData() { return std::getenv("TREVOK_SAMPLE_DATA") ? std::getenv("TREVOK_SAMPLE_DATA") : "sample-data"; }

struct TempDir {
    fs::path path;
    TempDir()
    {
        char name[] = "/tmp/trevok-loading-XXXXXX";
        if (const char* made = mkdtemp(name))
            path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// One channel of a packed pixel, scaled to 0..255.
int Channel(uint32_t value, uint32_t mask)
{
    if (!mask)
        return 0;
    const int shift = __builtin_ctz(mask);
    const uint32_t top = mask >> shift;
    return int(((value & mask) >> shift) * 255 / top);
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// What the player sees at (x, y), from the front buffer.
struct FrontBuffer {
    std::vector<uint8_t> bytes;
    int pitch = 0;
    gfx::FormatDesc format;
    bool Read()
    {
        format = gfx::ScreenFormat();
        return gfx::ReadScreen(true, bytes, pitch);
    }
    Rgb At(int x, int y) const
    {
        const size_t step = format.bits / 8;
        const size_t at = size_t(y) * size_t(pitch) + size_t(x) * step;
        if (at + step > bytes.size())
            return {};
        uint32_t v = 0;
        for (size_t i = 0; i < step; ++i)
            v |= uint32_t(bytes[at + i]) << (8 * i);
        return {Channel(v, format.redMask), Channel(v, format.greenMask), Channel(v, format.blueMask)};
    }
};

bool BarRed(const Rgb& p) { return p.r >= 12 && p.g < 40 && p.b < 40; }

// In the child: after each loading frame, the bar's middle row as shown.
std::function<void(const std::string&, float)> g_draw;
void ReadBackFrame(const std::string& text, float progress)
{
    if (g_draw)
        g_draw(text, progress);
    FrontBuffer screen;
    int width = 0, height = 0;
    if (!screen.Read() || screen.pitch == 0)
        return;
    width = screen.pitch / int(screen.format.bits / 8);
    height = int(screen.bytes.size()) / screen.pitch;
    const LoadingScreen::Bar bar = LoadingScreen::Layout(width, height, progress);
    const int row = bar.top + bar.height / 2;
    int lit = 0;
    for (int x = bar.left; x < width && BarRed(screen.At(x, row)); ++x)
        ++lit;
    const Rgb first = screen.At(bar.left, row), last = lit ? screen.At(bar.left + lit - 1, row) : Rgb{};
    std::fprintf(stderr, "loading frame: percent %d lit %d expected %d red %d to %d end %d\n",
                 int(progress * 100.0f + 0.5f), lit, bar.fillRight - bar.left, first.r, last.r, int(bar.endRed));
}

void StartTheLevelFromTheMenu(AppState, AppState to)
{
    static bool started = false;
    if (to == AppState::MainMenu && !started) {
        started = true;
        g_draw = Session::Hooks().drawLoading;
        Session::Hooks().drawLoading = ReadBackFrame;
        Session::Names() = {"training_level.tvs", "training_level.tcs"};
        std::fprintf(stderr, "level start: %s\n", StartSession(true) ? "true" : "false");
    } else if (to == AppState::Playing) {
        Application::PostClose();
    }
}

struct Frame {
    int percent = 0, lit = 0, expected = 0, leftRed = 0, rightRed = 0, endRed = 0;
};

std::vector<Frame> Frames(const std::string& text)
{
    std::vector<Frame> frames;
    const std::regex line(R"(loading frame: percent (\d+) lit (\d+) expected (\d+) red (\d+) to (\d+) end (\d+))");
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        const std::smatch& m = *it;
        frames.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                          std::stoi(m[6])});
    }
    return frames;
}

TEST(LoadingScreenEndToEnd, TheBarAdvancesAndTheLevelStarts)
{
    if (!fs::exists(SampleData() / "scripts" / "training_level.tvs"))
        GTEST_SKIP() << "sample data not generated";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::copy(SampleData(), dir.path / "data", fs::copy_options::recursive);
    const fs::path errors = dir.path / "stderr.txt";

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir.path / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir.path / "share").c_str(), 1);
        setenv("TREVOK_TRACE", "1", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
        AddAppStateObserver(StartTheLevelFromTheMenu);
        std::exit(Application::Main({"-w", (dir.path / "data").string()}));
    }
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::stringstream read;
    read << std::ifstream(errors).rdbuf();
    const std::string text = read.str();
    ASSERT_NE(done, 0) << "the game did not end\n" << text;

    EXPECT_NE(text.find("level start: true"), std::string::npos) << text;
    EXPECT_NE(text.find("-> 5 (playing)"), std::string::npos) << "the level runs\n" << text;
    const std::vector<Frame> frames = Frames(text);
    ASSERT_GE(frames.size(), 5u) << text;
    bool partway = false, full = false;
    for (const Frame& f : frames) {
        SCOPED_TRACE(testing::Message() << "at " << f.percent << "%");
        // Columns may round one way or the other at a fill's end.
        EXPECT_NEAR(f.lit, f.expected, 2) << "the bar's fill as the player sees it";
        if (f.lit > 4) {
            EXPECT_NEAR(f.leftRed, 25, 12) << "dark red on the left";
            EXPECT_NEAR(f.rightRed, f.endRed, 16) << "brighter towards the fill";
        }
        partway = partway || (f.percent > 0 && f.percent < 100 && f.lit > 0);
        full = full || f.percent == 100;
    }
    EXPECT_TRUE(partway) << "a frame part of the way";
    EXPECT_TRUE(full) << "a full bar before the level runs";
    // Within each loading step the bar only grows.
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].percent > 0) {
            EXPECT_GE(frames[i].percent, frames[i - 1].percent) << "frame " << i;
        }
    }
}

} // namespace
