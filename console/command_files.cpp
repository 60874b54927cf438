#include "console/command_files.h"

#include "app/directories.h"
#include "console/text_console.h"
#include "platform/data_path.h"

namespace CommandFiles {
namespace {

bool Refuse(const std::string& name, const char* command, const char* why)
{
    TextConsole::PrintFailure(std::string(command) + ": " + why + name);
    return false;
}

template <class Resolve>
std::optional<std::filesystem::path> Find(const std::optional<std::filesystem::path>& root, const std::string& name,
                                          const char* command, Resolve resolve)
{
    if (name.empty() || Escapes(name) || !root) {
        Refuse(name, command, "File name refused: ");
        return std::nullopt;
    }
    auto path = resolve(*root, name);
    if (!path)
        Refuse(name, command, TextConsole::Text(6055));
    return path;
}

} // namespace

bool Escapes(const std::string& name)
{
    if (name.empty())
        return false;
    if (name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos)
        return true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::filesystem::path> Open(const std::optional<std::filesystem::path>& root, const std::string& name,
                                          const char* command)
{
    return Find(root, name, command, [](const auto& r, const auto& n) { return platform::ResolveDataPath(r, n); });
}

std::optional<std::filesystem::path> Create(const std::optional<std::filesystem::path>& root, const std::string& name,
                                            const char* command)
{
    return Find(root, name, command,
                [](const auto& r, const auto& n) { return platform::ResolveDataPathForWrite(r, n); });
}

std::optional<std::filesystem::path> ScriptsFolder()
{
    return app::DataDirectories::Global().Folder(app::kScriptsDirectory);
}

std::optional<std::filesystem::path> DemoFolder()
{
    const auto& start = app::DataDirectories::Global().StartDirectory();
    if (start.empty())
        return std::nullopt;
    return start;
}

} // namespace CommandFiles
