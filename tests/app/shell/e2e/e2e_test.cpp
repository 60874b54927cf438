// The game started on the sample data under a virtual display: the start
// screens, the main menu's Escape, the exit handlers' order, the single
// instance, the resource library and "-w". The walks run the program's own
// entry in a child process so that key presses can be injected as input
// events; the other cases start the built `trevok` program.
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/shell/application.h"
#include "platform/input.h"
#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path BuildDir() { return std::getenv("TREVOK_BUILD_DIR") ? std::getenv("TREVOK_BUILD_DIR") : "."; }
fs::path SampleData() { return std::getenv("TREVOK_SAMPLE_DATA") ? std::getenv("TREVOK_SAMPLE_DATA") : "sample-data"; }

// A fresh folder whose name holds blanks, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir()
    {
        char name[] = "/tmp/trevok e2e XXXXXX";
        const char* made = mkdtemp(name);
        if (made)
            path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Outcome {
    bool exited = false;
    int status = -1; // exit status when exited
};

Outcome Wait(pid_t pid, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int raw = 0;
        const pid_t r = waitpid(pid, &raw, WNOHANG);
        if (r == pid)
            return {WIFEXITED(raw), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool WaitForText(const fs::path& file, const std::string& text, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (ReadText(file).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

using EnvChange = std::pair<std::string, std::optional<std::string>>; // unset when empty

void ApplyEnvironment(const std::vector<EnvChange>& env, const fs::path& errors)
{
    for (const auto& [name, value] : env) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<EnvChange>& env, const fs::path& errors)
{
    const pid_t pid = fork();
    if (pid == 0) {
        ApplyEnvironment(env, errors);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

std::vector<EnvChange> IsolatedEnvironment(const fs::path& dir, bool display)
{
    std::vector<EnvChange> env = {{"XDG_RUNTIME_DIR", dir.string()},
                                  {"XDG_CONFIG_HOME", (dir / "config").string()},
                                  {"TREVOK_TRACE", "1"}};
    if (!display) {
        env.push_back({"DISPLAY", std::nullopt});
        env.push_back({"WAYLAND_DISPLAY", std::nullopt});
    }
    return env;
}

// Each marker must come after the one before it.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& markers)
{
    size_t at = 0;
    for (const std::string& m : markers) {
        const size_t found = text.find(m, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: \"" << m << "\" in\n" << text;
        at = found + m.size();
    }
}

const std::vector<std::string> kWalkAndExit = {
    "state 0 (none) -> 4 (logo)",
    "state 4 (logo) -> 2 (splash)",
    "state 2 (splash) -> 10 (video)",
    "state 10 (video) -> 1 (title)",
    "state 1 (title) -> 3 (please-train)",
    "state 3 (please-train) -> 8 (main-menu)",
    "exit: close the window",
    "window: WM_CLOSE",
    "window: WM_DESTROY",
    "exit: leave state 8",
    "exit: console and menus",
    "exit: particles, effects, cursor and lights",
    "exit: shapes",
    "exit: music, sound and CD",
    "exit: input and string table",
};

void PressKey(uint8_t key)
{
    platform::SimulateKey(key, true);
    platform::SimulateKey(key, false);
}

void EscapeOnMainMenu(AppState, AppState to)
{
    if (to == AppState::MainMenu)
        PressKey(1);
}

void EnterOnStartScreens(AppState, AppState to)
{
    switch (to) {
    case AppState::Logo:
    case AppState::Splash:
    case AppState::Title:
    case AppState::PleaseTrain: PressKey(28); break;
    case AppState::MainMenu: PressKey(1); break;
    default: break;
    }
}

// Every start-up step in its order, as the trace names them.
const std::vector<std::string> kStartUpSteps = {
    "start directory: ",
    "single instance: claimed",
    "processor: ",
    "directory list: read",
    "code page: ",
    "string table: ",
    "window class: \"TrevokMainWindow\", icon 101",
    "window question: not asked",
    "key file: device ",
    "window: full screen",
    "display: ",
    "display mode: 640x480x16",
    "exit handler: shut-down",
    "sound: ",
    "/sounds/UI.dat",
    "light sets: the handed-in set and 16 renderer sets",
    "hud viewports: set up",
    "music: started",
    "screen rectangle: ",
    "exit handler: close the window",
    "clocks: real time from 0",
    "cursor: loaded, system cursor hidden",
    "graphics directory: ",
    "particles and effects: started",
    "input: started",
    "console and menus: built",
    "default lighting: emissive grey 0.75, light towards (-0.57735, -0.57735, -0.57735)",
    "state 0 (none) -> 4 (logo)",
};

// A real-time clock for the child that moves a quarter second per reading,
// so the 35 seconds of start screens pass in a few dozen frames.
int64_t g_fakeTicks = 0;
int64_t FakeRealClock()
{
    g_fakeTicks += AppTime::TicksPerSecond() / 4;
    return g_fakeTicks;
}

// Writes the fake time at each change of state for the parent to check.
void ReportStateTimes(AppState from, AppState to)
{
    std::fprintf(stderr, "at %lld of %lld a second: %u -> %u\n", static_cast<long long>(g_fakeTicks),
                 static_cast<long long>(AppTime::TicksPerSecond()), static_cast<unsigned>(from),
                 static_cast<unsigned>(to));
}

// Runs the program's entry in a child with `observer` injecting input.
Outcome RunGameInChild(const TempDir& dir, AppStateObserver observer, const fs::path& errors, int seconds,
                       bool fakeClock = false)
{
    const pid_t pid = fork();
    if (pid == 0) {
        ApplyEnvironment(IsolatedEnvironment(dir.path, true), errors);
        if (fakeClock) {
            AppTime::SetRealClock(FakeRealClock);
            AddAppStateObserver(ReportStateTimes);
        }
        AddAppStateObserver(observer);
        const int code = Application::Main({"-w", (dir.path / "data").string()});
        std::exit(code);
    }
    return Wait(pid, seconds);
}

void CopySampleInto(const fs::path& to)
{
    fs::copy(SampleData(), to, fs::copy_options::recursive);
}

// The start screens and their deadlines: 5 s for the logo, 10 s for the
// others.
struct StartScreen {
    unsigned state;
    int seconds;
};
constexpr StartScreen kStartScreens[] = {{4, 5}, {2, 10}, {1, 10}, {3, 10}};

// When each state was entered and left on the fake clock, from the lines
// ReportStateTimes writes.
struct ScreenTimes {
    std::map<unsigned, long long> entered, left;
    long long ticksPerSecond = 0;
    // Ticks the state was shown; -1 when it was not both entered and left.
    long long Shown(unsigned state) const
    {
        const auto in = entered.find(state), out = left.find(state);
        return in == entered.end() || out == left.end() ? -1 : out->second - in->second;
    }
};

ScreenTimes ReadScreenTimes(const std::string& text)
{
    ScreenTimes times;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        long long at = 0, tps = 0;
        unsigned from = 0, to = 0;
        if (std::sscanf(line.c_str(), "at %lld of %lld a second: %u -> %u", &at, &tps, &from, &to) == 4) {
            times.entered[to] = at;
            times.left[from] = at;
            times.ticksPerSecond = tps;
        }
    }
    return times;
}

} // namespace

TEST(EndToEnd, StartScreensOnTimeOuts)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    const fs::path errors = dir.path / "stderr.txt";
    // The clock is injected, so this takes a few dozen frames, not 35 s.
    const Outcome out = RunGameInChild(dir, EscapeOnMainMenu, errors, 60, true);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 4) << text;
    EXPECT_NE(text.find("window: full screen \"Trevok\" class \"TrevokMainWindow\"\n"), std::string::npos)
        << "a real full-screen window:\n" << text;
    ExpectInOrder(text, kStartUpSteps);
    ExpectInOrder(text, kWalkAndExit);

    // Each screen left at the first reading after its deadline.
    const ScreenTimes times = ReadScreenTimes(text);
    ASSERT_GT(times.ticksPerSecond, 0) << text;
    for (const StartScreen& s : kStartScreens) {
        SCOPED_TRACE(s.state);
        const long long shown = times.Shown(s.state);
        ASSERT_GE(shown, 0) << text;
        EXPECT_GT(shown, s.seconds * times.ticksPerSecond) << "left before its deadline";
        EXPECT_LE(shown, (s.seconds + 1) * times.ticksPerSecond) << "kept well past its deadline";
    }
}

TEST(EndToEnd, StartScreensOnEnterKeys)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    const fs::path errors = dir.path / "stderr.txt";
    // On the fake clock, so a slow machine cannot pass the deadlines: each
    // screen must go on its key, well before its time-out.
    const Outcome out = RunGameInChild(dir, EnterOnStartScreens, errors, 60, true);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 4) << text;
    ExpectInOrder(text, kWalkAndExit);
    const ScreenTimes times = ReadScreenTimes(text);
    ASSERT_GT(times.ticksPerSecond, 0) << text;
    for (const StartScreen& s : kStartScreens) {
        SCOPED_TRACE(s.state);
        const long long shown = times.Shown(s.state);
        ASSERT_GE(shown, 0) << text;
        EXPECT_LT(shown, s.seconds * times.ticksPerSecond / 2) << "not left on its key";
    }

    // Leaving from the main menu keeps the keys and the display settings,
    // which the next run takes up for the same display.
    const std::string keys = ReadText(dir.path / "data" / "scripts" / "TVkeys.cfg");
    EXPECT_EQ(keys.rfind("Turn camera left\r\n203\r\nTurn camera right\r\n205\r\n", 0), 0u) << keys;
    const size_t data = keys.find("Ready weapon\r\n33\r\ndata\r\n");
    ASSERT_NE(data, std::string::npos) << keys;
    EXPECT_GE(keys.size() - data, 20 + 23 * 4u);
    const fs::path again = dir.path / "stderr2.txt";
    const Outcome second = RunGameInChild(dir, EnterOnStartScreens, again, 60, true);
    const std::string text2 = ReadText(again);
    ASSERT_TRUE(second.exited) << text2;
    EXPECT_NE(text2.find("from the key file"), std::string::npos) << text2;
    EXPECT_EQ(text2.find("key file: device 00000000"), std::string::npos) << text2;
}

void ScreenshotThenEscapeOnMainMenu(AppState from, AppState to)
{
    if (to != AppState::MainMenu) {
        EnterOnStartScreens(from, to);
        return;
    }
    PressKey(183); // SysRq
    PressKey(1);
}

TEST(EndToEnd, ScreenshotKeyWritesIntoTheDumpsFolder)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    fs::create_directories(dir.path / "elsewhere");
    const fs::path errors = dir.path / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        ApplyEnvironment(IsolatedEnvironment(dir.path, true), errors);
        // Started from another folder: the data root is the one "-w" names.
        if (chdir((dir.path / "elsewhere").c_str()) != 0)
            _exit(126);
        AddAppStateObserver(ScreenshotThenEscapeOnMainMenu);
        std::exit(Application::Main({"-w", (dir.path / "data").string()}));
    }
    const Outcome out = Wait(pid, 60);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 4) << text;
    const fs::path shot = dir.path / "data" / "dumps" / "Screen.bmp";
    ASSERT_TRUE(fs::exists(shot)) << text;
    const std::string bytes = ReadText(shot);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_FALSE(fs::exists(dir.path / "data" / "Screen.bmp"));
    EXPECT_FALSE(fs::exists(dir.path / "elsewhere" / "Screen.bmp"));
}

// With a screen but no logo image, the first screen fails: the start drops
// to 640x480x16, tries once more and ends with its own code.
TEST(EndToEnd, FirstScreenThatCannotShowEndsTheStart)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    ASSERT_TRUE(fs::remove(dir.path / "data" / "graphics" / "bitmaps" / "VQNLOGO.rim"));
    const fs::path errors = dir.path / "stderr.txt";
    const pid_t pid = Spawn({(BuildDir() / "trevok").string(), "-w", (dir.path / "data").string()},
                            IsolatedEnvironment(dir.path, true), errors);
    const Outcome out = Wait(pid, 60);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, Application::kExitNoFirstScreen & 0xFF) << text;
    ExpectInOrder(text, {"state 0 (none) -> 4 (logo)", "first screen: falling back to 640x480x16"});
    EXPECT_EQ(text.find("state 4 (logo) -> 2 (splash)"), std::string::npos) << text;
}

TEST(EndToEnd, SecondInstanceIsRefused)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
    platform::SingleInstance first;
    ASSERT_EQ(first.Acquire("Trevok"), platform::SingleInstance::Result::Acquired);

    const fs::path errors = dir.path / "stderr.txt";
    const pid_t pid = Spawn({(BuildDir() / "trevok").string(), "-w", (dir.path / "data").string()},
                            IsolatedEnvironment(dir.path, false), errors);
    const Outcome out = Wait(pid, 60);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 0);
    EXPECT_NE(text.find("Trevok is already running on this machine."), std::string::npos) << text;
    EXPECT_EQ(text.find("window:"), std::string::npos) << "a window was made:\n" << text;
    EXPECT_EQ(text.find("string table:"), std::string::npos) << text;
}

TEST(EndToEnd, MissingResourceLibrary)
{
    struct Case {
        const char* name;
        long keepBytes; // -1: no library at all
    };
    const Case cases[] = {{"missing", -1}, {"truncated in the headers", 100}, {"truncated in the strings", 1200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directories(dir.path / "data");
        if (c.keepBytes >= 0) {
            fs::copy_file(SampleData() / "tvres.dll", dir.path / "data" / "tvres.dll");
            fs::resize_file(dir.path / "data" / "tvres.dll", static_cast<uintmax_t>(c.keepBytes));
        }
        const fs::path errors = dir.path / "stderr.txt";
        const pid_t pid = Spawn({(BuildDir() / "trevok").string(), "-w", (dir.path / "data").string()},
                                IsolatedEnvironment(dir.path, false), errors);
        const Outcome out = Wait(pid, 60);
        const std::string text = ReadText(errors);
        ASSERT_TRUE(out.exited) << text;
        EXPECT_EQ(out.status, 0);
        EXPECT_NE(text.find("Error opening resource DLL file tvres.dll"), std::string::npos) << text;
        EXPECT_EQ(text.find("window:"), std::string::npos) << text;
    }
}

TEST(EndToEnd, QuotedWorkingDirectory)
{
    TempDir dir;
    const fs::path data = dir.path / "game data with blanks";
    CopySampleInto(data);
    const std::string program = (BuildDir() / "trevok").string();
    struct Case {
        const char* name;
        std::vector<std::string> argv;
    };
    // As a shell passes a quoted path, and as a shortcut line that kept its
    // quotes would arrive: split at the blanks.
    std::vector<std::string> split = {program, "-w"};
    {
        std::istringstream words("\"" + data.string() + "\"");
        std::string w;
        while (words >> w)
            split.push_back(w);
    }
    const Case cases[] = {
        {"shell quoting", {"/bin/sh", "-c", "exec '" + program + "' -w \"" + data.string() + "\""}},
        {"quotes kept in the arguments", split},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path errors = dir.path / (std::string(c.name) + ".txt");
        const pid_t pid = Spawn(c.argv, IsolatedEnvironment(dir.path, false), errors);
        const bool started = WaitForText(errors, "state 0 (none) -> 4 (logo)", 60);
        kill(pid, SIGTERM); // closes the window like its close button
        const Outcome out = Wait(pid, 60);
        const std::string text = ReadText(errors);
        ASSERT_TRUE(started) << text;
        ASSERT_TRUE(out.exited) << text;
        EXPECT_EQ(out.status, 0) << text;
        EXPECT_NE(text.find("start directory: " + data.string() + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("exit: input and string table"), std::string::npos) << text;
    }
}

TEST(EndToEnd, WindowQuestionWithoutADisplayTakesNo)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    const fs::path errors = dir.path / "stderr.txt";
    const pid_t pid = Spawn({(BuildDir() / "trevok").string(), "-s", "-w", (dir.path / "data").string()},
                            IsolatedEnvironment(dir.path, false), errors);
    const bool started = WaitForText(errors, "state 0 (none) -> 4 (logo)", 60);
    kill(pid, SIGTERM);
    const Outcome out = Wait(pid, 60);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(started) << text;
    EXPECT_TRUE(out.exited && out.status == 0) << text;
    ExpectInOrder(text, {"Run in a window? This may not work on some cards!", "window: full screen"});
}
