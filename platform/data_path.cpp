#include "platform/data_path.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct Listing {
    struct timespec mtime{};
    // lower-cased name -> spellings on disk, in byte order
    std::unordered_map<std::string, std::vector<std::string>> names;
};

class ListingCache {
public:
    // The on-disk spelling of `name` in folder `dir`, or empty.
    std::string Find(const fs::path& dir, std::string_view name)
    {
        struct stat st{};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return {};
        std::lock_guard<std::mutex> lock(mutex_);
        Listing& listing = listings_[dir.native()];
        bool fresh = false;
        if (listing.names.empty() || listing.mtime.tv_sec != st.st_mtim.tv_sec ||
            listing.mtime.tv_nsec != st.st_mtim.tv_nsec) {
            Read(dir, listing);
            listing.mtime = st.st_mtim;
            fresh = true;
        }
        const std::string key = LowerAscii(name);
        auto it = listing.names.find(key);
        if (it == listing.names.end() && !fresh) {
            // A file made within the folder's timestamp granularity would
            // not have changed its mtime: look once more before giving up.
            Read(dir, listing);
            it = listing.names.find(key);
        }
        if (it == listing.names.end())
            return {};
        for (const std::string& spelling : it->second)
            if (spelling == name)
                return spelling;
        return it->second.front();
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listings_.clear();
    }

private:
    static void Read(const fs::path& dir, Listing& listing)
    {
        listing.names.clear();
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            listing.names[LowerAscii(name)].push_back(std::move(name));
        }
        for (auto& [key, spellings] : listing.names)
            std::sort(spellings.begin(), spellings.end());
    }

    std::mutex mutex_;
    std::unordered_map<std::string, Listing> listings_;
};

ListingCache& Cache()
{
    static ListingCache cache;
    return cache;
}

// Splits a data path into its components; false when the name could leave
// the folder it is resolved in.
bool SplitDataPath(std::string_view dataPath, std::vector<std::string_view>& parts)
{
    if (dataPath.empty() || dataPath.front() == '/' || dataPath.front() == '\\')
        return false;
    if (dataPath.size() >= 2 && dataPath[1] == ':')
        return false;
    size_t start = 0;
    while (start <= dataPath.size()) {
        size_t end = dataPath.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = dataPath.size();
        std::string_view part = dataPath.substr(start, end - start);
        if (part == "..")
            return false;
        if (part.find('\0') != std::string_view::npos)
            return false;
        if (!part.empty() && part != ".")
            parts.push_back(part);
        start = end + 1;
    }
    return !parts.empty();
}

} // namespace

std::optional<fs::path> ResolveDataPath(const fs::path& root, std::string_view dataPath)
{
    std::vector<std::string_view> parts;
    if (!SplitDataPath(dataPath, parts))
        return std::nullopt;
    fs::path current = root;
    for (std::string_view part : parts) {
        std::string found = Cache().Find(current, part);
        if (found.empty())
            return std::nullopt;
        current /= found;
    }
    return current;
}

std::optional<fs::path> ResolveDataPathForWrite(const fs::path& root, std::string_view dataPath)
{
    std::vector<std::string_view> parts;
    if (!SplitDataPath(dataPath, parts))
        return std::nullopt;
    fs::path current = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string found = Cache().Find(current, parts[i]);
        if (found.empty()) {
            if (i + 1 < parts.size())
                return std::nullopt;
            found = std::string(parts[i]);
        }
        current /= found;
    }
    return current;
}

void ClearDataPathCache()
{
    Cache().Clear();
}

} // namespace platform
