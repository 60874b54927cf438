#include "app/directories.h"

#include "app/hash_table.h"
#include "platform/data_path.h"

namespace app {

namespace {

const char* const kNames[kDataDirectoryCount] = {"scripts", "fmvs", "rifs", "graphics", "sounds", "fonts", "dumps"};

} // namespace

DataDirectories& DataDirectories::Global()
{
    static DataDirectories table;
    return table;
}

bool DataDirectories::Load(const std::filesystem::path& start, std::string_view file, const ListReader& reader)
{
    start_ = start;
    const auto list = platform::ResolveDataPath(start_, file);
    // The reader still runs on a missing file, so the compiler reports it.
    return reader && reader(list ? *list : start_ / std::filesystem::path(std::string(file)));
}

const char* DataDirectories::Path(int i) const
{
    if (i < 0 || i >= kDataDirectoryCount || !paths_[i])
        return nullptr;
    return paths_[i]->c_str();
}

void DataDirectories::SetPath(int i, const char* text)
{
    if (i < 0 || i >= kDataDirectoryCount)
        return;
    if (text)
        paths_[i] = std::string(text);
    else
        paths_[i].reset();
}

void DataDirectories::Clear()
{
    for (auto& p : paths_)
        p.reset();
    start_.clear();
}

int DataDirectories::IndexOfName(std::string_view name)
{
    for (int i = 0; i < kDataDirectoryCount; ++i)
        if (CompareName(name, kNames[i]))
            return i;
    return -1;
}

const char* DataDirectories::Name(int i)
{
    return i >= 0 && i < kDataDirectoryCount ? kNames[i] : nullptr;
}

std::optional<std::filesystem::path> DataDirectories::Folder(int i) const
{
    const char* path = Path(i);
    if (!path)
        return std::nullopt;
    // An empty path or "." names the start directory itself.
    const std::string_view text(path);
    auto folder = text.empty() || text == "." ? std::optional<std::filesystem::path>(start_)
                                              : platform::ResolveDataPath(start_, text);
    if (!folder || !std::filesystem::is_directory(*folder))
        return std::nullopt;
    return folder;
}

std::optional<std::filesystem::path> DataDirectories::Resolve(int i, std::string_view dataPath) const
{
    const auto folder = Folder(i);
    if (!folder)
        return std::nullopt;
    return platform::ResolveDataPath(*folder, dataPath);
}

std::optional<std::filesystem::path> DataDirectories::ResolveForWrite(int i, std::string_view dataPath) const
{
    const auto folder = Folder(i);
    if (!folder)
        return std::nullopt;
    return platform::ResolveDataPathForWrite(*folder, dataPath);
}

} // namespace app
