// Any bytes as a level cache file: reading either misses or gives a tree and
// polygons whose every corner lies inside the points; it never crashes or
// reads outside the image. The key is taken from the image itself and a
// plain image's check sum is sealed again, so mutations reach the parser
// past the time-stamp and check-sum tests.
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "platform/byte_cursor.h"
#include "world/level_cache.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void Check(std::span<const uint8_t> image)
{
    LevelCacheKey key;
    if (image.size() >= 8) {
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Check({data, size});
    if (size >= LevelCache::kHeaderBytes + 4) {
        std::vector<uint8_t> sealed(data, data + size);
        const uint32_t crc = LevelCache::Crc32({sealed.data(), size - 4});
        for (int i = 0; i < 4; ++i)
            sealed[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
        Check(sealed);
    }
    // Names read from the image made texture entries; drop them between inputs.
    TextureManager::FreeAllUnused();
    return 0;
}
