// Terrains for the level shadows, one model file each: a grid of flat square
// cells whose heights fold along chosen grid lines, so the number of edges
// between faces at an angle is known in advance. They sit just below, at and
// above the sizes where the shadow grid grows (7999, 8000 and 18000 edges).
// Written as rifs/shadow_terrain_<edges>.rif, one object "level".
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/shape_chunks.h"

#include <string>

namespace {

using namespace trevok;

constexpr int32_t kCell = 2000;  // millimetres
constexpr int32_t kRise = 500;   // height change across one cell

// Heights along one axis: the slope turns over at the first `folds` inner
// grid lines and runs straight after them.
std::vector<int32_t> Profile(int cells, int folds)
{
    std::vector<int32_t> h(size_t(cells) + 1, 0);
    int32_t slope = kRise;
    for (int i = 1; i <= cells; ++i) {
        h[size_t(i)] = h[size_t(i) - 1] + slope;
        if (i <= folds)
            slope = -slope;
    }
    return h;
}

// cellsX x cellsZ cells, folded along foldsX lines across x and foldsZ lines
// across z. Each cell's height is the sum of the two profiles, so every cell
// is flat; neighbours across a fold meet at an angle, the others lie in one
// plane. Edges at an angle: foldsX x cellsZ + foldsZ x cellsX.
ShapeData FoldedTerrain(int cellsX, int cellsZ, int foldsX, int foldsZ)
{
    const std::vector<int32_t> hx = Profile(cellsX, foldsX), hz = Profile(cellsZ, foldsZ);
    ShapeData d;
    const int32_t across = cellsX + 1;
    for (int z = 0; z <= cellsZ; ++z)
        for (int x = 0; x <= cellsX; ++x)
            d.points_.push_back({x * kCell, hx[size_t(x)] + hz[size_t(z)], z * kCell});
    for (int z = 0; z < cellsZ; ++z)
        for (int x = 0; x < cellsX; ++x) {
            const int32_t a = z * across + x;
            d.polygons_.push_back(sample::Polygon(1, {a, a + across, a + across + 1, a + 1}, 0, 0));
        }
    d.uvSets_ = {sample::Quad()};
    sample::Finish(d);
    return d;
}

struct Terrain {
    int edges, cellsX, cellsZ, foldsX, foldsZ;
};

// Each row's folds give exactly its edge count (see FoldedTerrain).
constexpr Terrain kTerrains[] = {
    {7999, 100, 81, 79, 16},  // 79 x 81 + 16 x 100
    {8000, 64, 64, 63, 62},   // 125 x 64
    {18000, 130, 70, 129, 69}, // 129 x 70 + 69 x 130
};
static_assert(kTerrains[0].foldsX * kTerrains[0].cellsZ + kTerrains[0].foldsZ * kTerrains[0].cellsX == 7999);
static_assert(kTerrains[1].foldsX * kTerrains[1].cellsZ + kTerrains[1].foldsZ * kTerrains[1].cellsX == 8000);
static_assert(kTerrains[2].foldsX * kTerrains[2].cellsZ + kTerrains[2].foldsZ * kTerrains[2].cellsX == 18000);

bool WriteShadowTerrains(const sample::Context& ctx)
{
    for (const Terrain& t : kTerrains) {
        const std::string name = "shadow_terrain_" + std::to_string(t.edges) + ".rif";
        auto file = sample::NewModelFile(name.c_str());
        ShapeChunk* shape = sample::AddPart(file.get(), "level", FoldedTerrain(t.cellsX, t.cellsZ, t.foldsX, t.foldsZ),
                                            0, 0, 0);
        shape->GetHeader()->shapeId_ = 1;  // the same bytes on every build
        if (!sample::SaveModelFile(ctx, name.c_str(), *file))
            return false;
    }
    return true;
}

const sample::StepRegistration kShadowTerrains(24, "shadow terrains", WriteShadowTerrains);

} // namespace
