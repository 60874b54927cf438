// Per-call cost of the polygon tests the cell grid and movers lean on: box
// clipping (trivial answers and the clipping path) and the point and disc
// tests seen from above.
#include "world/collision_polygon.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Triangles {
    std::vector<Vec3> corners;
    std::vector<CollisionTriangle> polygons;

    // `count` triangles of about `size` scattered over a 100 x 100 field.
    Triangles(int count, float size) : corners(static_cast<size_t>(count) * 3), polygons(static_cast<size_t>(count))
    {
        uint32_t seed = 2024;
        auto next = [&] {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<float>(seed >> 8) / 16777216.0f;
        };
        for (size_t i = 0; i < polygons.size(); ++i) {
            const Vec3 base{next() * 100, next() * 4, next() * 100};
            corners[i * 3] = base;
            corners[i * 3 + 1] = base + Vec3(size * (0.5f + next()), next() - 0.5f, 0);
            corners[i * 3 + 2] = base + Vec3(0, next() - 0.5f, size * (0.5f + next()));
            CollisionTriangle& t = polygons[i];
            t.vertices_[0] = &corners[i * 3];
            t.vertices_[1] = &corners[i * 3 + 1];
            t.vertices_[2] = &corners[i * 3 + 2];
            const Vec3 n = (corners[i * 3 + 1] - base).Cross(corners[i * 3 + 2] - corners[i * 3 + 1]).Normalised();
            t.SetSurface(nullptr, n, 0);
        }
    }
};

// Cells of 4 x 4 x 4 against triangles a little smaller (mostly trivial
// answers) or much larger (mostly clipped).
void ClipToBox(benchmark::State& state)
{
    const Triangles triangles(1024, static_cast<float>(state.range(0)));
    const Vec3 cellMin{40, 0, 40};
    const Vec3 cellMax{44, 4, 44};
    int overlaps = 0;
    for (auto _ : state) {
        for (const CollisionTriangle& t : triangles.polygons)
            overlaps += t.ClipToBox(cellMin, cellMax) != 0;
        benchmark::DoNotOptimize(overlaps);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(ClipToBox)->Arg(3)->Arg(60);

void ContainsPointXZ(benchmark::State& state)
{
    const Triangles triangles(1024, 10);
    int inside = 0;
    for (auto _ : state) {
        for (const CollisionTriangle& t : triangles.polygons)
            inside += t.ContainsPointXZ({50, 0, 50}, nullptr);
        benchmark::DoNotOptimize(inside);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(ContainsPointXZ);

void OverlapsDiscXZ(benchmark::State& state)
{
    const Triangles triangles(1024, 10);
    int overlaps = 0;
    for (auto _ : state) {
        for (const CollisionTriangle& t : triangles.polygons)
            overlaps += t.OverlapsDiscXZ({50, 0, 50}, 3);
        benchmark::DoNotOptimize(overlaps);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(OverlapsDiscXZ);

} // namespace
