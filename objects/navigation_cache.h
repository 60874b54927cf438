// The navigation cache: the neighbour links of a level's polygons stored
// beside its ".tvs" script (as ".map"), so a level whose file has not
// changed skips the linking. The level loader calls LoadOrBuild once the
// level object and its polygons exist; it also fixes the path-search
// budgets for the level from the clock rate.
//
// The file: the level file's time (a FILETIME, 100 ns units since 1601,
// low word first), then per polygon of the level's table in order: the
// link count n, the flag word, and n table indices. Everything is u32
// little-endian; the polygon count comes from the level, so a cache that
// does not end exactly after the last polygon is not the level's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

class Level;
class LevelGrid;

namespace NavigationCache {

enum class Source {
    AlreadyPrepared, // a second call for the same level: nothing done
    Loaded,          // links read from a cache
    Rebuilt,         // links built anew (and written when a place took them)
};

struct Outcome {
    Source source = Source::AlreadyPrepared;
    std::filesystem::path loaded;  // the cache read, when Loaded
    std::filesystem::path written; // the cache written; empty when none was
    std::string why;               // why no cache was read (file: what was wrong)
};

// The cache beside a script: its ".tvs" extension (any case) replaced by
// ".map". None for any other name, which is linked in memory only, so no
// cache can ever land on the script or another data file.
std::optional<std::filesystem::path> PathFor(const std::filesystem::path& script);

// Where the cache goes when the script's folder cannot be written:
// $XDG_CACHE_HOME (else ~/.cache)/trevok/navigation, the file name prefixed
// with a hash of the script's full path so equal names from different
// folders stay apart.
std::filesystem::path FallbackPathFor(const std::filesystem::path& script);

std::vector<uint8_t> Encode(const LevelGrid& level, uint64_t fileTime);

// Replaces every polygon's links by the image's when it holds exactly the
// level's polygons for `fileTime`; only the class bits of a stored flag word
// are taken (the rest stay the level's own). Refused, leaving the level
// untouched, for another time stamp, a cut-short image, trailing bytes,
// more links than polygons, links out of the table, to a free slot or to the
// polygon itself, and duplicate links; `why` then says which and where.
bool Apply(LevelGrid& level, std::span<const uint8_t> image, uint64_t fileTime, std::string* why = nullptr);

// Prepares the level's navigation once: lays out its cells, sets the
// path budgets from `ticksPerSecond`, and loads the links from the cache
// beside `script` or the fallback one; any cache that is missing, stale or
// damaged is replaced by linking anew and writing the cache (through a
// temporary renamed into place), beside the script or else in the
// fallback place. A level file time of 0 (unknown) never trusts or writes
// a cache. Nothing is shown to the player; the outcome says what happened.
Outcome LoadOrBuild(Level& level, const std::filesystem::path& script, int64_t ticksPerSecond);

// What the level services' navigation step calls once the map's level is
// built: the current level, at the global clock's rate. Nothing without a
// current level.
Outcome LoadOrBuildCurrent(const std::filesystem::path& script);

} // namespace NavigationCache
