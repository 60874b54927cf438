// The level cache: the cut level tree, its placement vector and its
// collision polygons, stored beside the level file so a second start skips
// the cutting. The file is a time stamp (the level file's last-write time),
// a 12-byte marker of three float maxima saying the rest is Huffman
// compressed (else the placement vector itself), then the payload: vector,
// the vertex limit it was cut with, the mesh records, the collision points,
// triangles and quads, and a CRC-32 of everything before it. Any
// inconsistency makes the cache a miss, never a partly read level.
#pragma once

#include "app/maths.h"
#include "world/level_grid.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class ShapeInstance;

struct LevelCacheKey {
    uint64_t fileTime = 0;  // 100 ns units since 1601
    uint32_t vertexLimit = 0;
};

struct LevelCacheContent {
    Vec3 vector{0, 0, 0};
    std::unique_ptr<ShapeInstance> tree;
    CollisionSource collision;
    LevelCacheContent();
    ~LevelCacheContent();
    LevelCacheContent(LevelCacheContent&&) noexcept;
    LevelCacheContent& operator=(LevelCacheContent&&) noexcept;
};

namespace LevelCache {

inline constexpr size_t kHeaderBytes = 20;

// Where the cache of a level file lies: its three-letter extension replaced
// by "cut" (".cut" appended when it has none). Never the level file itself
// nor `script`, the level script that names it.
std::filesystem::path PathFor(const std::filesystem::path& levelFile, const std::filesystem::path& script = {});

// The level file's last-write time in the cache's units; 0 when unreadable.
uint64_t FileTime(const std::filesystem::path& file);

// The whole cache file image (compressed when `compress`).
std::vector<uint8_t> Encode(const LevelCacheKey& key, const Vec3& vector, const ShapeInstance& tree,
                            const CollisionSource& collision, bool compress = true);
// Writes through a temporary file renamed into place, so a cache is either
// whole or absent. False (and the old cache untouched) on any failure.
bool Write(const std::filesystem::path& path, std::span<const uint8_t> image);

// None on a miss: another key, or any damage; `why` then says what.
std::optional<LevelCacheContent> Decode(std::span<const uint8_t> image, const LevelCacheKey& key,
                                        std::string* why = nullptr);
std::optional<LevelCacheContent> Read(const std::filesystem::path& path, const LevelCacheKey& key,
                                      std::string* why = nullptr);

uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc = 0);

} // namespace LevelCache
