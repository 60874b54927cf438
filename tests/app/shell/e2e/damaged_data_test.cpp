// The built game started on damaged data folders, as a new user might hand
// it one: each start ends by itself within seconds (no signal, no hang, no
// unbounded memory) with its message and its exit code.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path BuildDir() { return std::getenv("TREVOK_BUILD_DIR") ? std::getenv("TREVOK_BUILD_DIR") : "."; }

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void MakeSparse(const fs::path& p, uint64_t size)
{
    std::ofstream(p, std::ios::binary).close();
    fs::resize_file(p, size);
}

std::string DoublingMacros(const std::string& token, int levels)
{
    std::string text = "#define m0 " + token + "\n";
    for (int i = 1; i < levels; ++i)
        text += "#define m" + std::to_string(i) + " m" + std::to_string(i - 1) + " m" + std::to_string(i - 1) + "\n";
    return text + "m" + std::to_string(levels - 1) + "\n";
}

struct Outcome {
    bool exited = false;
    int status = -1;
    int signal = 0;
};

// Runs the game in `folder` with no display; killed (and reported as not
// exited) after `seconds`.
Outcome RunGame(const fs::path& folder, const std::vector<std::string>& switches, const fs::path& errors, int seconds)
{
    const std::string program = (BuildDir() / "trevok").string();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("TREVOK_TRACE");
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
        std::vector<char*> args{const_cast<char*>(program.c_str())};
        for (const std::string& s : switches)
            args.push_back(const_cast<char*>(s.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid)
            return {WIFEXITED(raw), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0};
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

struct TempDir {
    fs::path path;
    TempDir()
    {
        char name[] = "/tmp/trevok-damaged-XXXXXX";
        if (const char* made = mkdtemp(name))
            path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

struct Case {
    const char* name;
    // Lays out the data folder (its resource library is missing unless made
    // here, so that a start that gets past the scripts ends at it).
    std::function<void(const fs::path& data)> make;
    std::vector<std::string> messages; // on standard error, in this order
    bool logged;                      // the last message is in the data folder's log file too
};

} // namespace

TEST(DamagedData, EachStartEndsWithItsMessageAndExitCode)
{
    const std::string missingLibrary = "Error opening resource DLL file tvres.dll";
    const Case cases[] = {
        {"library is a folder", [](const fs::path& d) { fs::create_directory(d / "tvres.dll"); },
         {missingLibrary, "tvres.dll: not a regular file"}, false},
        {"library links to an endless device", [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "tvres.dll"); },
         {missingLibrary, "tvres.dll: not a regular file"}, false},
        {"library is a FIFO", [](const fs::path& d) { mkfifo((d / "tvres.dll").c_str(), 0600); },
         {missingLibrary, "tvres.dll: not a regular file"}, false},
        {"library of 2 GB", [](const fs::path& d) { MakeSparse(d / "tvres.dll", uint64_t{2} << 30); },
         {missingLibrary, "tvres.dll: too large (2147483648 bytes, at most 67108864)"}, false},
        {"directory list of 2 GB", [](const fs::path& d) { MakeSparse(d / "tvdirs.tvs", uint64_t{2} << 30); },
         {"tvdirs.tvs': too large (2147483648 bytes, at most 16777216)", missingLibrary}, false},
        {"directory list is a FIFO", [](const fs::path& d) { mkfifo((d / "tvdirs.tvs").c_str(), 0600); },
         {"tvdirs.tvs': not a regular file", missingLibrary}, false},
        {"directory list whose macro grows to gigabytes",
         [](const fs::path& d) { std::ofstream(d / "tvdirs.tvs") << DoublingMacros(std::string(10000, 'x'), 20); },
         {"tvdirs.tvs(21): error: macro expansion too large"}, true},
        {"directory list whose macros expand a million times",
         [](const fs::path& d) { std::ofstream(d / "tvdirs.tvs") << DoublingMacros("x", 40); },
         {"tvdirs.tvs(41): error: macro 'm1' expands too deeply"}, true},
        {"garbled directory list",
         [](const fs::path& d) { std::ofstream(d / "tvdirs.tvs") << "directory { name scripts path }\n}}}\n"; },
         {"tvdirs.tvs(1): error: syntax error"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path data = dir.path / "data";
        fs::create_directories(data);
        c.make(data);
        const fs::path errors = dir.path / "stderr.txt";
        const Outcome out = RunGame(dir.path, {"-w", data.string()}, errors, 30);
        const std::string text = ReadText(errors);
        ASSERT_TRUE(out.exited) << (out.signal ? "signal " + std::to_string(out.signal) : "did not end") << "\n"
                                << text;
        EXPECT_EQ(out.status, 0) << text;
        size_t at = 0;
        for (const std::string& m : c.messages) {
            const size_t found = text.find(m, at);
            ASSERT_NE(found, std::string::npos) << "missing or out of order: \"" << m << "\" in\n" << text;
            at = found + m.size();
        }
        if (c.logged) {
            EXPECT_NE(ReadText(data / "LOGFILE.TXT").find(c.messages.back()), std::string::npos)
                << ReadText(data / "LOGFILE.TXT");
        }
    }
}

// A missing -w folder is reported, and the start goes on in the current one.
TEST(DamagedData, MissingWorkingFolderIsNamedAndTheCurrentOneUsed)
{
    TempDir dir; // holds no data either, so the start ends at the resource library
    const fs::path errors = dir.path / "stderr.txt";
    const Outcome out = RunGame(dir.path, {"-w", (dir.path / "no such folder").string()}, errors, 30);
    const std::string text = ReadText(errors);
    ASSERT_TRUE(out.exited) << text;
    EXPECT_EQ(out.status, 0) << text;
    EXPECT_NE(text.find("no folder \"" + (dir.path / "no such folder").string() + "\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("tvres.dll: not found in " + dir.path.string()), std::string::npos) << text;
}
