// Any bytes as a navigation cache of a small level: the reader either
// refuses them, leaving the level untouched, or takes links that the
// writer gives back exactly (counts and indices), none to the polygon
// itself, none twice and none outside the table. The time stamp is taken
// from the bytes so mutations reach the records.
#include "objects/navigation_cache.h"
#include "platform/byte_cursor.h"
#include "world/level.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace {

struct SmallLevel {
    CollisionSource source;
    std::unique_ptr<Level> level;

    SmallLevel()
    {
        // Two squares by two, numbered row by row as the seed caches expect.
        for (int z = 0; z <= 2; ++z)
            for (int x = 0; x <= 2; ++x)
                source.points.push_back({static_cast<float>(x), 0.0f, static_cast<float>(z)});
        for (int z = 0; z < 2; ++z) {
            for (int x = 0; x < 2; ++x) {
                const int32_t a = z * 3 + x;
                source.quads.push_back({{a, a + 1, a + 4, a + 3}, Vec3(0, -1, 0), x == z ? 0x2000 : 0});
            }
        }
        level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &source);
    }
};

std::vector<uint32_t> Counts(const LevelGrid& level)
{
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < level.PolygonCount(); ++i)
        out.push_back(level.PolygonAt(i)->LinkCount());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SmallLevel small;
    LevelGrid& level = *small.level;
    for (uint32_t i = 0; i < level.PolygonCount(); ++i)
        level.PolygonAt(i)->GrowLinks(0);

    const std::span<const uint8_t> image(data, size);
    const uint64_t time = trevok::ByteReader(image).U64();
    if (!NavigationCache::Apply(level, image, time)) {
        for (uint32_t n : Counts(level))
            if (n != 0)
                std::abort();
        return 0;
    }
    const auto again = NavigationCache::Encode(level, time);
    if (again.size() != size)
        std::abort();
    trevok::ByteReader in(image), out(again);
    in.U64();
    out.U64();
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        const uint32_t n = in.U32();
        if (out.U32() != n)
            std::abort();
        in.U32();
        out.U32(); // flags: only the class bits are taken
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t to = in.U32();
            if (out.U32() != to || to == i || to >= level.PolygonCount())
                std::abort();
        }
    }
    return 0;
}
