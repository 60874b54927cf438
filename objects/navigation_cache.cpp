#include "objects/navigation_cache.h"

#include "app/clock.h"
#include "app/read_write_lock.h"
#include "objects/path_search.h"
#include "platform/byte_cursor.h"
#include "platform/os.h"
#include "world/level.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Larger than any level's cache could plausibly be.
constexpr uint64_t kMaxCacheBytes = 256u << 20;

constexpr uint32_t kCellsAcross = 98, kCellsHigh = 4;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

uint64_t Fnv1a(const std::string& text)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

uint64_t LargestPlausibleSize(uint32_t polygons)
{
    const uint64_t n = polygons;
    return std::min<uint64_t>(8 + n * 8 + n * n * 4, kMaxCacheBytes);
}

void ClearLinks(LevelGrid& level)
{
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        if (CollisionPolygon* p = level.PolygonAt(i))
            p->GrowLinks(0);
    }
}

bool Refuse(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

void Rebuild(Level& level)
{
    LockGuard exclusive(level.lock_, true);
    ClearLinks(level);
    level.LinkPolygons();
}

} // namespace

namespace NavigationCache {

std::optional<std::filesystem::path> PathFor(const std::filesystem::path& script)
{
    if (Lower(script.extension().string()) != ".tvs" || script.stem().empty())
        return std::nullopt;
    std::filesystem::path cache = script;
    cache.replace_extension(".map");
    return cache;
}

std::filesystem::path FallbackPathFor(const std::filesystem::path& script)
{
    std::filesystem::path root;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        root = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        root = std::filesystem::path(home) / ".cache";
    else
        root = std::filesystem::temp_directory_path();
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(script, ec).lexically_normal();
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(absolute.string())));
    std::filesystem::path name = script.filename();
    name.replace_extension(".map");
    return root / "trevok" / "navigation" / (std::string(hash) + "-" + name.string());
}

std::vector<uint8_t> Encode(const LevelGrid& level, uint64_t fileTime)
{
    std::vector<uint8_t> image;
    trevok::ByteWriter w(image);
    w.U64(fileTime);
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        const CollisionPolygon* p = level.PolygonAt(i);
        if (!p) {
            w.U32(0); // a free slot: no links, no flags
            w.U32(0);
            continue;
        }
        w.U32(p->LinkCount());
        w.U32(p->flags_);
        for (uint32_t k = 0; k < p->LinkCount(); ++k)
            w.U32(p->LinkAt(k)->tableIndex_);
    }
    return image;
}

bool Apply(LevelGrid& level, std::span<const uint8_t> image, uint64_t fileTime, std::string* why)
{
    trevok::ByteReader r(image);
    const uint64_t stamp = r.U64();
    if (!r.Ok())
        return Refuse(why, "shorter than its 8-byte time stamp");
    if (stamp != fileTime)
        return Refuse(why, "stale: made for another version of the level file");

    // Everything is checked before anything is changed: a damaged cache
    // leaves the level as it was.
    const uint32_t count = level.PolygonCount();
    std::vector<uint32_t> flags(count), firstLink(count + 1), links;
    std::vector<uint32_t> seenBy(count, UINT32_MAX);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = r.Position();
        const uint32_t n = r.U32();
        flags[i] = r.U32();
        if (!r.Ok())
            return Refuse(why, "cut short at offset " + std::to_string(at) + " (polygon " + std::to_string(i) + ")");
        if (n > count)
            return Refuse(why, "polygon " + std::to_string(i) + " claims " + std::to_string(n) +
                                   " links, more than the level's " + std::to_string(count) + " polygons");
        if (!r.Has(size_t{n} * 4))
            return Refuse(why, "cut short in the links of polygon " + std::to_string(i));
        if (n != 0 && !level.PolygonAt(i))
            return Refuse(why, "polygon " + std::to_string(i) + " is a free slot but has links");
        firstLink[i] = static_cast<uint32_t>(links.size());
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t to = r.U32();
            const std::string where = "polygon " + std::to_string(i) + ", link " + std::to_string(k);
            if (!level.PolygonAt(to))
                return Refuse(why, where + ": no polygon " + std::to_string(to));
            if (to == i)
                return Refuse(why, where + ": links to itself");
            if (seenBy[to] == i)
                return Refuse(why, where + ": polygon " + std::to_string(to) + " linked twice");
            seenBy[to] = i;
            links.push_back(to);
        }
    }
    firstLink[count] = static_cast<uint32_t>(links.size());
    if (!r.AtEnd())
        return Refuse(why, std::to_string(r.Remaining()) + " bytes past the last polygon");

    ClearLinks(level);
    for (uint32_t i = 0; i < count; ++i) {
        CollisionPolygon* p = level.PolygonAt(i);
        if (!p)
            continue;
        // The class bits are the links' own (doors); the rest are the
        // level file's, which the cache must not override.
        p->flags_ = (p->flags_ & ~polygon_flags::kClassMask) | (flags[i] & polygon_flags::kClassMask);
        for (uint32_t k = firstLink[i]; k < firstLink[i + 1]; ++k)
            p->AddLink(level.PolygonAt(links[k]));
    }
    return true;
}

Outcome LoadOrBuild(Level& level, const std::filesystem::path& script, int64_t ticksPerSecond)
{
    Outcome out;
    if (level.navigationPrepared_)
        return out;
    level.navigationPrepared_ = true; // stays set for the level's life, whatever follows
    level.BuildCellGrid(kCellsAcross, kCellsHigh, kCellsAcross);
    CurrentPathBudgets() = PathBudgets::ForClockRate(ticksPerSecond);

    const auto beside = PathFor(script);
    const uint64_t fileTime = level.levelFileTime_;
    if (!beside || fileTime == 0) {
        out.why = !beside ? script.string() + ": not a .tvs script; links kept in memory"
                          : script.string() + ": level file time unknown; links kept in memory";
        Rebuild(level);
        out.source = Source::Rebuilt;
        return out;
    }
    const std::filesystem::path fallback = FallbackPathFor(script);
    for (const auto& candidate : {*beside, fallback}) {
        std::string error;
        auto image = platform::ReadWholeFile(candidate, LargestPlausibleSize(level.PolygonCount()), &error);
        std::string why;
        if (image) {
            LockGuard exclusive(level.lock_, true);
            if (Apply(level, *image, fileTime, &why)) {
                out.source = Source::Loaded;
                out.loaded = candidate;
                out.why.clear();
                return out;
            }
            why = candidate.string() + ": " + why;
        } else {
            why = error;
        }
        if (out.why.empty())
            out.why = why;
    }

    Rebuild(level);
    out.source = Source::Rebuilt;
    const auto image = Encode(level, fileTime);
    if (platform::WriteWholeFile(*beside, image.data(), image.size())) {
        out.written = *beside;
        return out;
    }
    // A read-only data folder: the player's cache folder keeps it instead.
    std::error_code ec;
    std::filesystem::create_directories(fallback.parent_path(), ec);
    if (platform::WriteWholeFile(fallback, image.data(), image.size()))
        out.written = fallback;
    return out;
}

Outcome LoadOrBuildCurrent(const std::filesystem::path& script)
{
    Level* level = Level::Current();
    if (!level) {
        Outcome none;
        none.why = "no current level";
        return none;
    }
    return LoadOrBuild(*level, script, Clock::GlobalTicksPerSecondInt());
}

} // namespace NavigationCache
