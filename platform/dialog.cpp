#include "platform/dialog.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// A pattern in both letter cases, so "*.GAM" also offers "save1.gam".
std::string AnyCase(const std::string& pattern)
{
    std::string lower = pattern, upper = pattern;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return lower == upper ? pattern : upper + " " + lower;
}

constexpr size_t kMaxAnswer = 65536;

struct ChildAnswer {
    bool ran = false;
    std::optional<std::string> line; // set only for a clean exit with one whole line
};

// Runs `argv` with its output in a pipe; the answer is the single line it
// printed when it exited with 0.
ChildAnswer RunDialogChild(const std::vector<std::string>& argv)
{
    ChildAnswer answer;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return answer;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return answer;
    }
    answer.ran = true;
    std::string out;
    bool overlong = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            // No answer is this long; read on, so the child ends normally,
            // but keep nothing more and refuse the answer below.
            if (out.size() + size_t(n) > kMaxAnswer)
                overlong = true;
            else
                out.append(buffer, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return answer;
    // Exactly one line, ended by its newline: a child cut short has none.
    if (overlong || out.size() < 2 || out.back() != '\n')
        return answer;
    out.pop_back();
    if (out.find('\n') != std::string::npos || out.find('\0') != std::string::npos)
        return answer;
    answer.line = std::move(out);
    return answer;
}

} // namespace

bool DialogProgramAvailable(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path || !name || !*name)
        return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

DialogResult ShowFileDialog(const FileDialogRequest& request, std::filesystem::path& chosen)
{
    chosen.clear();
    const char* program = DialogProgramAvailable("zenity") ? "zenity"
                          : DialogProgramAvailable("yad") ? "yad"
                                                          : nullptr;
    if (!program)
        return DialogResult::Unavailable;
    std::vector<std::string> argv = {program, "--file-selection"};
    if (!request.title.empty())
        argv.push_back("--title=" + request.title);
    if (request.save)
        argv.push_back("--save");
    // A folder alone ends in '/', or the chooser takes it for a file name.
    std::string start = request.folder.string();
    if (!start.empty() && start.back() != '/')
        start += '/';
    start += request.defaultName;
    if (!start.empty())
        argv.push_back("--filename=" + start);
    if (!request.pattern.empty())
        argv.push_back("--file-filter=" + request.filterName + " | " + AnyCase(request.pattern));
    const ChildAnswer answer = RunDialogChild(argv);
    if (!answer.ran)
        return DialogResult::Unavailable;
    if (!answer.line)
        return DialogResult::Cancelled;
    const std::filesystem::path path(*answer.line);
    std::error_code ec;
    if (!path.is_absolute())
        return DialogResult::Cancelled;
    if (request.save ? !std::filesystem::is_directory(path.parent_path(), ec)
                     : !std::filesystem::is_regular_file(path, ec))
        return DialogResult::Cancelled;
    chosen = path;
    return DialogResult::Chosen;
}

DialogResult ShowFontDialog(const std::string& title, std::string& font)
{
    if (!DialogProgramAvailable("yad"))
        return DialogResult::Unavailable;
    std::vector<std::string> argv = {"yad", "--font"};
    if (!title.empty())
        argv.push_back("--title=" + title);
    if (!font.empty())
        argv.push_back("--fontname=" + font);
    const ChildAnswer answer = RunDialogChild(argv);
    if (!answer.ran)
        return DialogResult::Unavailable;
    if (!answer.line || answer.line->empty())
        return DialogResult::Cancelled;
    font = *answer.line;
    return DialogResult::Chosen;
}

} // namespace platform
