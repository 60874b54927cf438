// Any bytes as a static-shadow cache: the reader either refuses the file
// whole or gives records that write back to the same bytes (references and
// sun-dependent vectors aside) and extrude without trouble. The file time is
// taken from the bytes themselves so mutations reach the records.
#include "effects/static_shadows.h"
#include "platform/byte_cursor.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    uint64_t time = 0;
    if (size >= 8) {
        trevok::ByteReader head(bytes.first(8));
        time = head.U64();
    }
    std::vector<ShadowEdge> edges;
    if (ShadowCache::Parse(bytes, time, edges) != ShadowCache::ReadResult::Loaded) {
        if (!edges.empty())
            std::abort();
        return 0;
    }
    const std::vector<uint8_t> again = ShadowCache::Serialize(time, edges);
    if (again.size() != size)
        std::abort();
    for (size_t i = 0; i < edges.size(); ++i) {
        const size_t at = ShadowCache::kHeaderBytes + i * ShadowEdge::kBytes;
        // Bytes 8 to 76 of a record are kept as read.
        if (std::memcmp(&again[at + 8], &data[at + 8], 68) != 0)
            std::abort();
    }
    LevelShadowData d;
    d.edges = edges;
    StaticShadows::BuildGeometry(d, {0.3f, 0.9f, 0.1f}, {-100, -10, -100}, {100, 10, 100});
    size_t placed = 0;
    for (const ShadowCell& c : d.cells)
        placed += c.edges.size();
    if (d.cells.empty() || placed > edges.size() * 4)
        std::abort();
    return 0;
}
