// The seven data directories the game finds its files in, filled at start-up
// from the directory list "tvdirs.tvs". Files are opened by joining a
// directory and a data path through the data-path resolver; the process's
// working directory is never changed, so no thread ever opens the wrong file.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace app {

enum DataDirectoryIndex : int {
    kScriptsDirectory = 0,
    kFmvsDirectory = 1,
    kRifsDirectory = 2,
    kGraphicsDirectory = 3,
    kSoundsDirectory = 4,
    kFontsDirectory = 5,
    kDumpsDirectory = 6,
};
inline constexpr int kDataDirectoryCount = 7;
inline constexpr const char* kDirectoryListFile = "tvdirs.tvs";

// Filled once on the game thread at start-up; read-only afterwards, so other
// threads may resolve paths without a lock.
class DataDirectories {
public:
    static DataDirectories& Global();

    // Compiles and builds the directory list file; true when it compiled.
    using ListReader = std::function<bool(const std::filesystem::path& listFile)>;

    // Remembers `start` as the start directory (the game's data root) and
    // reads the list file named `file` inside it. A missing or faulty list
    // leaves the table as it was; returns false then.
    bool Load(const std::filesystem::path& start, std::string_view file, const ListReader& reader);

    // The path text of directory i as the list gives it; null when unset.
    const char* Path(int i) const;
    // Replaces the path of directory i (null clears it).
    void SetPath(int i, const char* text);
    void Clear();

    // "scripts" .. "dumps" without regard to case; -1 for any other name.
    static int IndexOfName(std::string_view name);
    static const char* Name(int i);

    const std::filesystem::path& StartDirectory() const { return start_; }
    void SetStartDirectory(std::filesystem::path start) { start_ = std::move(start); }

    // The existing folder of directory i, or nothing when unset or missing.
    std::optional<std::filesystem::path> Folder(int i) const;
    // The existing file `dataPath` (back-slashes, any case) inside directory
    // i; nothing when the directory is unset, so no file is ever looked up in
    // whatever folder happens to be current.
    std::optional<std::filesystem::path> Resolve(int i, std::string_view dataPath) const;
    // The same for a file about to be written (its folders must exist).
    std::optional<std::filesystem::path> ResolveForWrite(int i, std::string_view dataPath) const;

private:
    std::filesystem::path start_;
    std::array<std::optional<std::string>, kDataDirectoryCount> paths_;
};

} // namespace app
