// The level grid against brute force over every polygon: the ground under
// a point, the highest point in a box, linking, and laying out the cells of
// a level of about 100 000 polygons.
#include "world/level.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Rolling ground of n x n cells of two triangles each, 1 m wide.
CollisionSource Terrain(int n)
{
    CollisionSource s;
    for (int i = 0; i <= n; ++i)
        for (int k = 0; k <= n; ++k)
            s.points.push_back({float(i), -std::sin(i * 0.3f) * std::cos(k * 0.2f) * 3, float(k)});
    auto at = [n](int i, int k) { return int32_t(i * (n + 1) + k); };
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k) {
            s.triangles.push_back({{at(i, k), at(i + 1, k), at(i + 1, k + 1)}, {0, -1, 0}, 0});
            s.triangles.push_back({{at(i, k), at(i + 1, k + 1), at(i, k + 1)}, {0, -1, 0}, 0});
        }
    return s;
}

// 224 x 224 cells: 100 352 triangles.
constexpr int kSide = 224;

const CollisionSource& BigTerrain()
{
    static const CollisionSource terrain = Terrain(kSide);
    return terrain;
}

Level& BigLevel()
{
    static const std::unique_ptr<Level> level = [] {
        auto l = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &BigTerrain());
        l->BuildCellGrid(98, 4, 98);
        return l;
    }();
    return *level;
}

std::vector<Vec3> Points(int count)
{
    std::vector<Vec3> points;
    uint32_t seed = 99;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / 16777216.0f;
    };
    for (int i = 0; i < count; ++i)
        points.push_back({next() * kSide, -next() * 6, next() * kSide});
    return points;
}

void GroundAtPointGrid(benchmark::State& state)
{
    Level& level = BigLevel();
    const std::vector<Vec3> points = Points(1024);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(level.FindPolygonAt(points[i++ & 1023]));
}
BENCHMARK(GroundAtPointGrid);

void GroundAtPointBruteForce(benchmark::State& state)
{
    Level& level = BigLevel();
    const std::vector<Vec3> points = Points(1024);
    size_t i = 0;
    for (auto _ : state) {
        const Vec3& p = points[i++ & 1023];
        CollisionPolygon* best = nullptr;
        float bestDistance = FLT_MAX;
        for (uint32_t k = 0; k < level.PolygonCount(); ++k) {
            Vec3 q = p;
            Vec3 n;
            CollisionPolygon* polygon = level.PolygonAt(k);
            if (polygon->ProjectY(q, &n) && std::signbit(n.y) && std::fabs(q.y - p.y) < bestDistance) {
                best = polygon;
                bestDistance = std::fabs(q.y - p.y);
            }
        }
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(GroundAtPointBruteForce)->Unit(benchmark::kMicrosecond);

void HighestPointInBoxGrid(benchmark::State& state)
{
    Level& level = BigLevel();
    const std::vector<Vec3> points = Points(1024);
    size_t i = 0;
    for (auto _ : state) {
        const Vec3& p = points[i++ & 1023];
        benchmark::DoNotOptimize(level.HighestPointInBox(p, p + Vec3(2, 2, 2)));
    }
}
BENCHMARK(HighestPointInBoxGrid);

void HighestPointInBoxBruteForce(benchmark::State& state)
{
    Level& level = BigLevel();
    const std::vector<Vec3> points = Points(1024);
    size_t i = 0;
    for (auto _ : state) {
        const Vec3& p = points[i++ & 1023];
        const Vec3 hi = p + Vec3(2, 2, 2);
        float best = -FLT_MAX;
        for (uint32_t k = 0; k < level.PolygonCount(); ++k) {
            const CollisionPolygon* polygon = level.PolygonAt(k);
            const float top = polygon->MaxCorner().y;
            if (top > best && polygon->ClipToBox(p, hi) != 0)
                best = top;
        }
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(HighestPointInBoxBruteForce)->Unit(benchmark::kMicrosecond);

// Linking through the cells against every pair of one mesh (the way a
// mesh added after the cells is linked), on a terrain of range(0) cells a side.
void LinkPolygonsGrid(benchmark::State& state)
{
    const CollisionSource terrain = Terrain(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Level level(nullptr, {0, 0, 0}, &terrain);
        level.BuildCellGrid(98, 4, 98);
        state.ResumeTiming();
        level.LinkPolygons();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0) * 2);
}
BENCHMARK(LinkPolygonsGrid)->Arg(32)->Arg(kSide)->Unit(benchmark::kMillisecond);

void LinkPolygonsEveryPair(benchmark::State& state)
{
    const CollisionSource terrain = Terrain(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Level level(nullptr, {0, 0, 0}, &terrain);
        state.ResumeTiming();
        level.LinkMeshPolygons(*level.FindMesh(nullptr));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0) * 2);
}
BENCHMARK(LinkPolygonsEveryPair)->Arg(32)->Unit(benchmark::kMillisecond);

void BuildCellGrid100k(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Level level(nullptr, {0, 0, 0}, &BigTerrain());
        state.ResumeTiming();
        level.BuildCellGrid(98, 4, 98);
        benchmark::DoNotOptimize(level.HasCells());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide * 2);
}
BENCHMARK(BuildCellGrid100k)->Unit(benchmark::kMillisecond);

} // namespace
