// Any bytes as a level file with lighting chunks: every light record is either added
// (a known type, finite values, a range of at least 0) or named in a
// problem line, never both; the lights file into and leave the level's grid
// wherever they stand.
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "world/level.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

size_t CountRecords(const trevok::ParentChunk& root)
{
    size_t count = 0;
    std::vector<trevok::Chunk*> sets, lights;
    root.FindChildren(trevok::chunk_id::kLightSet, sets);
    for (trevok::Chunk* set : sets)
        if (auto* parent = dynamic_cast<trevok::ParentChunk*>(set)) {
            lights.clear();
            parent->FindChildren(trevok::chunk_id::kStandardLight, lights);
            count += lights.size();
        }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto file = trevok::ChunkFile::FromFileImage(std::span<const uint8_t>(data, size));
    if (!file)
        return 0;
    // A 16 m floor in 1 m cells.
    CollisionSource floor;
    floor.points = {{0, 0, 0}, {16, 0, 0}, {16, 0, 16}, {0, 0, 16}};
    GeometryQuad quad;
    quad.corners[0] = 0;
    quad.corners[1] = 1;
    quad.corners[2] = 2;
    quad.corners[3] = 3;
    quad.normal = {0, -1, 0};
    floor.quads.push_back(quad);
    Level level(nullptr, {0, 0, 0}, &floor);
    level.BuildCellGrid(16, 1, 16);

    std::vector<std::string> problems;
    const int added = AddChunkLights(level.Lights(), *file, 0.001f, &problems);
    if (added < 0 || size_t(added) + problems.size() != CountRecords(*file))
        std::abort();
    for (const LevelPointLight* light : level.Lights().PointLights()) {
        const Vec3 p = light->GetPosition();
        if (!(light->Range() >= 0) || !std::isfinite(light->Range()) || !std::isfinite(p.x) ||
            !std::isfinite(p.y) || !std::isfinite(p.z))
            std::abort();
    }
    level.Lights().ChooseLights({0, -1, 0}, {16, 1, 16}, 0, 8);
    level.Lights().RemoveAll();
    return 0;
}
