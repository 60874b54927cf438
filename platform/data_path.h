// Turns the game data's own path names (back-slashes, any letter case) into
// real files on a case-sensitive file system. Every open of game data goes
// through here; names taken from data never leave the folder they are
// resolved in.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

// The existing file or folder that `dataPath` names inside `root`, matching
// each component without regard to ASCII case. Back-slashes and slashes both
// separate components; "." components are skipped. Empty when nothing
// matches, or when the name is absolute, holds a drive letter or a ".."
// component: such names never escape `root`. When several entries differ
// only in case, the exact spelling wins, then the first in byte order.
std::optional<std::filesystem::path> ResolveDataPath(const std::filesystem::path& root,
                                                     std::string_view dataPath);

// Like ResolveDataPath for a file that may not exist yet (saved games,
// caches, screenshots): the folders must exist; the last component keeps an
// existing file's spelling, else the spelling given.
std::optional<std::filesystem::path> ResolveDataPathForWrite(const std::filesystem::path& root,
                                                             std::string_view dataPath);

// Directory listings are cached and re-read when a folder's modification time
// changes; tests that rewrite folders within one clock tick can drop them.
void ClearDataPathCache();

} // namespace platform
