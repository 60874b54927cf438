#include "platform/os.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

bool FileExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool DirectoryExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::optional<uint64_t> FileSize(const fs::path& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    return static_cast<uint64_t>(size);
}

std::optional<int64_t> FileModificationTime(const fs::path& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<int64_t>(st.st_mtime);
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const fs::path& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok)
        return std::nullopt;
    return bytes;
}

bool WriteWholeFile(const fs::path& path, const void* bytes, size_t size)
{
    fs::path temporary = path;
    temporary += ".tmp";
    temporary += std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool ok = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    std::remove(temporary.c_str());
    return false;
}

bool RemoveFile(const fs::path& path)
{
    return std::remove(path.c_str()) == 0;
}

bool RenameFile(const fs::path& from, const fs::path& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool MatchWildcard(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*")
        return true;
    // Iterative matcher with one back-track point: linear in practice and
    // free of the exponential cost of naive recursion on many '*'.
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<DirectoryEntry> FindFiles(const fs::path& directory, std::string_view pattern)
{
    std::vector<DirectoryEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec)
        return entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string name = it->path().filename().string();
        if (!MatchWildcard(pattern, name))
            continue;
        DirectoryEntry entry;
        entry.name = std::move(name);
        std::error_code typeError;
        entry.isDirectory = it->is_directory(typeError);
        if (!entry.isDirectory) {
            std::error_code sizeError;
            const auto size = it->file_size(sizeError);
            entry.size = sizeError ? 0 : static_cast<uint64_t>(size);
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace platform
