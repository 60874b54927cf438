// Drives open_document inside a private desktop: temporary XDG folders hold
// our own MIME types, .desktop files and default associations, so the
// machine's settings are never read or changed. Each launch runs in a child
// process whose environment is set before anything starts GIO. The
// associated "viewer" is a shell script that records the arguments it got.
#include "filelaunch/filelaunch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
    ASSERT_TRUE(out.good()) << file;
}

// The deadline only keeps a broken launcher from hanging the run.
bool WaitForFile(const fs::path& file)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(file)) {
        if (std::chrono::steady_clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int WaitForChild(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    return status;
}

bool ExitedCleanly(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Records its argument count and first argument, then ends. While the test
// holds the "hold" file, it waits after announcing that it started.
constexpr const char* kViewerScript = R"(#!/bin/sh
run="$(dirname "$0")/../run"
: > "$run/started"
while [ -e "$run/hold" ]; do sleep 0.01; done
printf '%s' "$#" > "$run/argc"
printf '%s' "$1" > "$run/argument.part"
mv "$run/argument.part" "$run/argument"
)";

constexpr const char* kGlobs =
    "50:application/x-trevok-test:*.tvtest\n"
    "50:application/x-trevok-orphan:*.tvorphan\n"
    "50:application/x-trevok-dangling:*.tvdangling\n"
    "50:application/x-trevok-broken:*.tvbroken\n"
    "50:application/x-trevok-bus:*.tvbus\n";

constexpr const char* kDefaults =
    "[Default Applications]\n"
    "application/x-trevok-test=trevok-viewer.desktop\n"
    "application/x-trevok-dangling=trevok-missing.desktop\n"
    "application/x-trevok-broken=trevok-broken.desktop\n"
    "application/x-trevok-bus=org.trevok.BusViewer.desktop\n";

class LaunchSandbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "filelaunch-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "mkdtemp: " << std::strerror(errno);
        root_ = pattern;
        fs::create_directories(Run());
        fs::create_directories(Docs());
        fs::create_directories(root_ / "system-data");
        fs::create_directories(root_ / "system-config");

        const fs::path viewer = root_ / "bin" / "viewer";
        WriteFile(viewer, kViewerScript);
        fs::permissions(viewer, fs::perms::owner_all);

        WriteFile(Data() / "mime" / "globs2", kGlobs);
        WriteFile(Config() / "mimeapps.list", kDefaults);
        WriteDesktopFile("trevok-viewer.desktop", viewer, "application/x-trevok-test", false);
        WriteDesktopFile("trevok-broken.desktop", root_ / "bin" / "no-such-program",
                         "application/x-trevok-broken", false);
        // Bus-activatable entries must be named as a bus name.
        WriteDesktopFile("org.trevok.BusViewer.desktop", viewer, "application/x-trevok-bus", true);
    }

    void TearDown() override
    {
        if (bus_daemon_ > 0) {
            kill(bus_daemon_, SIGTERM);
            WaitForChild(bus_daemon_);
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path Data() const { return root_ / "data"; }
    fs::path Config() const { return root_ / "config"; }
    fs::path Run() const { return root_ / "run"; }
    fs::path Docs() const { return root_ / "docs"; }

    void WriteDesktopFile(const std::string& name, const fs::path& program, const std::string& type,
                          bool bus_activatable)
    {
        std::string text = "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=\"" +
                           program.string() + "\" %f\nMimeType=" + type + ";\n";
        if (bus_activatable) {
            text += "DBusActivatable=true\n";
        }
        WriteFile(Data() / "applications" / name, text);
    }

    fs::path MakeDocument(const std::string& relative)
    {
        const fs::path document = Docs() / relative;
        WriteFile(document, "document body\n");
        return document;
    }

    // Only the sandbox's folders: nothing of the machine's desktop is seen.
    void EnterSandbox() const
    {
        setenv("XDG_DATA_HOME", Data().c_str(), 1);
        setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
        setenv("XDG_DATA_DIRS", (root_ / "system-data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root_ / "system-config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
        setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
        setenv("GIO_USE_VFS", "local", 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_address_.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("XDG_CURRENT_DESKTOP");
    }

    // Calls open_document in a child; the child notes its result and whether
    // the viewer had already finished when the call returned.
    pid_t StartLaunch(const char* path)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            EnterSandbox();
            const int32_t result = open_document(path);
            const bool ended = fs::exists(Run() / "argument");
            if (FILE* report = std::fopen((Run() / "report").c_str(), "w")) {
                std::fprintf(report, "result=%d program_ended=%d", static_cast<int>(result),
                             ended ? 1 : 0);
                std::fclose(report);
            }
            _exit(0);
        }
        return pid;
    }

    // Returns the child's report, or what went wrong with the child.
    std::string Launch(const char* path)
    {
        const pid_t pid = StartLaunch(path);
        if (pid < 0) {
            return "fork failed";
        }
        return Finish(pid);
    }

    std::string Finish(pid_t pid)
    {
        const int status = WaitForChild(pid);
        if (!ExitedCleanly(status)) {
            return "launcher process died, status " + std::to_string(status);
        }
        return ReadFile(Run() / "report");
    }

    void ClearRun()
    {
        fs::remove_all(Run());
        fs::create_directories(Run());
    }

    // A private session bus that knows no services, so anything asked to
    // start over the bus starts nothing.
    bool StartBus()
    {
        const fs::path socket = root_ / "bus";
        const fs::path config = root_ / "bus.conf";
        WriteFile(config,
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig>\n"
                  "  <type>session</type>\n"
                  "  <listen>unix:path=" + socket.string() + "</listen>\n"
                  "  <auth>EXTERNAL</auth>\n"
                  "  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n"
                  "    <allow own=\"*\"/>\n"
                  "  </policy>\n"
                  "</busconfig>\n");
        bus_daemon_ = fork();
        if (bus_daemon_ == 0) {
            const std::string config_option = "--config-file=" + config.string();
            // It complains about resource limits it may not raise here.
            if (std::freopen((root_ / "bus.log").c_str(), "w", stderr) == nullptr) {
                _exit(126);
            }
            execlp("dbus-daemon", "dbus-daemon", config_option.c_str(), "--nofork", "--nopidfile",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        if (bus_daemon_ < 0 || !WaitForFile(socket)) {
            return false;
        }
        bus_address_ = "unix:path=" + socket.string();
        return true;
    }

    fs::path root_;
    pid_t bus_daemon_ = -1;
    // No bus by default: GIO finds nothing there and never autolaunches one.
    std::string bus_address_ = "unix:path=/nonexistent/filelaunch-test-bus";
};

TEST_F(LaunchSandbox, ReturnsOnlyAfterTheAssociatedProgramEnded)
{
    const fs::path document = MakeDocument("report.tvtest");
    WriteFile(Run() / "hold", "");

    const pid_t launcher = StartLaunch(document.c_str());
    ASSERT_GT(launcher, 0);
    ASSERT_TRUE(WaitForFile(Run() / "started")) << "the associated program never started";

    // The viewer is parked until we let it go, so a launcher that does not
    // wait has had every chance to return by now.
    int status = 0;
    EXPECT_EQ(waitpid(launcher, &status, WNOHANG), 0) << "open_document returned while the program ran";
    fs::remove(Run() / "hold");

    EXPECT_EQ(Finish(launcher), "result=0 program_ended=1");
    EXPECT_EQ(ReadFile(Run() / "argument"), document.string());
    EXPECT_EQ(ReadFile(Run() / "argc"), "1");
}

TEST_F(LaunchSandbox, DocumentPathArrivesAsOneWholeArgument)
{
    const std::string deep = std::string(200, 'd') + "/" + std::string(200, 'e') + "/" +
                             std::string(200, 'f') + "/longer than any fixed buffer.tvtest";
    const struct {
        const char* what;
        std::string relative;
    } cases[] = {
        {"plain name", "plain.tvtest"},
        {"blanks", "two words and  a double blank.tvtest"},
        {"leading and trailing blanks", " padded .tvtest"},
        {"blanks in a folder name", "my documents/mission notes.tvtest"},
        {"quotes of both kinds", "say \"hi\" it's.tvtest"},
        {"shell characters", "$HOME;echo `id` & | > <.tvtest"},
        {"field codes of an Exec line", "100% %f %u %%.tvtest"},
        {"leading dash", "-rf.tvtest"},
        {"line break", "two\nlines.tvtest"},
        {"bytes that are not UTF-8", "caf\xe9.tvtest"},
        {"path over 600 bytes", deep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearRun();
        const fs::path document = MakeDocument(c.relative);
        EXPECT_EQ(Launch(document.c_str()), "result=0 program_ended=1");
        EXPECT_EQ(ReadFile(Run() / "argc"), "1");
        EXPECT_EQ(ReadFile(Run() / "argument"), document.string());
    }
}

TEST_F(LaunchSandbox, NothingStartsWithoutAWorkingAssociation)
{
    MakeDocument("orders.tvorphan");
    MakeDocument("notes.unknownextension");
    MakeDocument("map.tvdangling");
    MakeDocument("log.tvbroken");
    const std::string too_long = (Docs() / (std::string(5000, 'x') + ".tvtest")).string();
    const std::string missing = (Docs() / "absent.tvtest").string();
    const std::string orphan = (Docs() / "orders.tvorphan").string();
    const std::string unknown = (Docs() / "notes.unknownextension").string();
    const std::string dangling = (Docs() / "map.tvdangling").string();
    const std::string broken = (Docs() / "log.tvbroken").string();

    const struct {
        const char* what;
        const char* path;
    } cases[] = {
        {"type no program is associated with", orphan.c_str()},
        {"type the sandbox does not know", unknown.c_str()},
        {"association naming a missing .desktop file", dangling.c_str()},
        {"associated program cannot be started", broken.c_str()},
        {"document does not exist", missing.c_str()},
        {"path longer than the system accepts", too_long.c_str()},
        {"empty path", ""},
        {"null path", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearRun();
        EXPECT_EQ(Launch(c.path), "result=0 program_ended=0");
        EXPECT_FALSE(fs::exists(Run() / "started")) << "a program was started";
    }
}

TEST_F(LaunchSandbox, BusActivatableProgramIsStillStartedAndWaitedFor)
{
    if (!StartBus()) {
        GTEST_SKIP() << "dbus-daemon is not available";
    }
    const fs::path document = MakeDocument("briefing notes.tvbus");
    EXPECT_EQ(Launch(document.c_str()), "result=0 program_ended=1");
    EXPECT_EQ(ReadFile(Run() / "argument"), document.string());
}

TEST_F(LaunchSandbox, OutsideProgramLoadsTheLibraryByNameAndCallsIt)
{
    const fs::path document = MakeDocument("loaded by name.tvtest");
    const fs::path output = Run() / "caller.out";

    const pid_t caller = fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        EnterSandbox();
        if (std::freopen(output.c_str(), "w", stdout) == nullptr) {
            _exit(126);
        }
        execl(FILELAUNCH_DLOPEN_CALLER, FILELAUNCH_DLOPEN_CALLER, FILELAUNCH_LIBRARY, document.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const int status = WaitForChild(caller);
    ASSERT_TRUE(ExitedCleanly(status)) << "caller status " << status;
    EXPECT_EQ(ReadFile(output), "open_document returned 0\n");
    EXPECT_EQ(ReadFile(Run() / "argument"), document.string());
}

}  // namespace
