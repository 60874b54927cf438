// The game started on the sample data under a virtual display: the start
// screens, the main menu's Escape, the exit handlers' order, the single
// instance, the resource library and "-w". The walks run the program's own
// entry in a child process so that key presses can be injected as input
// events; the other cases start the built `trevok` program.
#include "app/app_state.h"
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
    "state 2 (splash) -> 1 (title)",
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

// Runs the program's entry in a child with `observer` injecting input.
Outcome RunGameInChild(const TempDir& dir, AppStateObserver observer, const fs::path& errors, int seconds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        ApplyEnvironment(IsolatedEnvironment(dir.path, true), errors);
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

} // namespace

TEST(EndToEnd, StartScreensOnTimeOuts)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    const fs::path errors = dir.path / "stderr.txt";
    const Outcome out = RunGameInChild(dir, EscapeOnMainMenu, errors, 150);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 4) << text;
    EXPECT_NE(text.find("window: full screen \"Trevok\" class \"TrevokMainWindow\"\n"), std::string::npos)
        << "a real full-screen window:\n" << text;
    ExpectInOrder(text, kWalkAndExit);
}

TEST(EndToEnd, StartScreensOnEnterKeys)
{
    TempDir dir;
    CopySampleInto(dir.path / "data");
    const fs::path errors = dir.path / "stderr.txt";
    // Far below the 35 seconds the time-outs take.
    const Outcome out = RunGameInChild(dir, EnterOnStartScreens, errors, 20);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 4) << text;
    ExpectInOrder(text, kWalkAndExit);
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
