// Any bytes as a level cache file: reading either misses or gives a tree and
// polygons whose every corner lies inside the points; it never crashes or
// reads outside the image. The key is taken from the image itself, so
// mutations reach past the time-stamp check.
#include "Veapi/ve_object.h"
#include "chunk/byte_cursor.h"
#include "world/level_cache.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> image(data, size);
    LevelCacheKey key;
    if (size >= 8) {
        trevok::ByteReader head(image.first(8));
        key.fileTime = head.U64();
    }
    for (uint32_t limit : {700u, 4096u}) {
        key.vertexLimit = limit;
        auto content = LevelCache::Decode(image, key);
        if (!content)
            continue;
        const size_t points = content->collision.points.size();
        for (const GeometryTriangle& t : content->collision.triangles)
            for (int32_t c : t.corners)
                if (c < 0 || static_cast<size_t>(c) >= points)
                    std::abort();
        if (!content->tree)
            std::abort();
    }
    return 0;
}
