// The caches that share model files between definitions: loaded chunk files
// by file name, shapes by (file, object) and hierarchies by (file, hierarchy),
// every name compared without regard to letter case. Files come from the
// "rifs" data directory through the data-path resolver. Roles, characters,
// ammunition information, the map and the interface screens ask here; the
// game thread only, so no lock.
#pragma once

#include "chunk/loaders/environment_loader.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <forward_list>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Hierarchy;
class VeShape;


inline constexpr uint32_t kCacheBuckets = 64;

// Sum of the lower-cased characters, masked to a bucket.
uint32_t FileNameHash(std::string_view file);

struct NamePairKey {
    std::string file, name;
    // (lower-cased file sum) XOR (upper-cased name sum), masked to a bucket.
    static uint32_t Hash(std::string_view file, std::string_view name);
    bool Matches(std::string_view otherFile, std::string_view otherName) const;
};

struct ChunkFileCacheEntry {
    std::string file;
    trevok::EnvironmentRecordPtr record;  // none until loaded, or after a failed load
    trevok::EnvironmentRecord* Load();
};

namespace ChunkFileCache {
// Where file names are resolved; by default the rifs data directory. Tests
// and tools point it elsewhere; an empty answer means no file loads.
using FolderSource = std::function<std::optional<std::filesystem::path>()>;
void SetFolderSource(FolderSource source);

// The file's loaded record, loading it when it is not loaded; none when it
// cannot be read (the entry stays filed and the next request tries again).
trevok::EnvironmentRecord* Get(std::string_view file);
ChunkFileCacheEntry* Find(std::string_view file);
ChunkFileCacheEntry& Insert(std::string_view file);
// Frees every loaded file; cached shapes and hierarchies stay.
void FreeAll();
// Empties `list`, then fills it with the file's named hierarchies (none
// when the file cannot be read); the names live until the next FreeAll.
void ListHierarchies(std::string_view file, std::vector<const std::string*>& list);
size_t Count();
} // namespace ChunkFileCache

namespace ShapeCache {
// The object's shape with one use for the caller, or none when the file or
// the object does not exist (nothing is cached for a failed build).
VeShape* Get(std::string_view file, std::string_view object);
// Releases the cache's holds on every shape and hierarchy (program exit).
void FreeAll();
size_t Count();
} // namespace ShapeCache

namespace HierarchyCache {
// The hierarchy with one use for the caller (release it with Release), or none.
Hierarchy* Get(std::string_view file, std::string_view hierarchy);
size_t Count();
} // namespace HierarchyCache

