// Segment queries over a bumpy terrain of 32768 triangles: the boxed query
// tree that line of sight uses against one pass over every triangle; and
// the fog's per-frame update against rebuilding and merging the whole grid.
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/collision_query.h"
#include "world/fog_of_war.h"
#include "world/line_of_sight.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kSide = 128; // quads per side, 1 m each

VeShape* Terrain()
{
    const uint32_t points = (kSide + 1) * (kSide + 1);
    auto* shape = new VeShape;
    // Sub-meshes of 64 rows keep the 16-bit indices in range.
    for (int band = 0; band < kSide; band += 64) {
        const uint32_t rows = 65;
        SubMesh* mesh = shape->AddSubMesh(rows * (kSide + 1), 64 * kSide * 6, gfx::kFvfVertex, false);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c <= kSide; ++c) {
                const float x = float(c), z = float(band + int(r));
                const Vec3 p{x, -std::sin(x * 0.3f) * std::cos(z * 0.2f) * 2.0f, z};
                std::memcpy(mesh->Vertex(r * (kSide + 1) + c), &p, sizeof p);
            }
        size_t k = 0;
        for (uint32_t r = 0; r < 64; ++r)
            for (uint32_t c = 0; c < kSide; ++c) {
                const uint16_t a = uint16_t(r * (kSide + 1) + c), b = uint16_t(a + 1), d = uint16_t(a + kSide + 1),
                               e = uint16_t(d + 1);
                for (uint16_t i : {a, b, e, a, e, d})
                    mesh->indices[k++] = i;
            }
    }
    (void)points;
    shape->min_ = {0, -2, 0};
    shape->max_ = {float(kSide), 2, float(kSide)};
    return shape;
}

struct Lines {
    std::vector<Vec3> from, to;
    Lines()
    {
        std::mt19937 rng(9);
        std::uniform_real_distribution<float> xz(0, kSide), y(-3, -1);
        for (int i = 0; i < 1024; ++i) {
            from.push_back({xz(rng), y(rng), xz(rng)});
            to.push_back({xz(rng), y(rng) + 2.5f, xz(rng)});
        }
    }
};

void SegmentsThroughTheTree(benchmark::State& state)
{
    VeShape* shape = Terrain();
    std::unique_ptr<ShapeInstance> tree = BuildQueryTree(*shape, 2048);
    const Lines lines;
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        CollisionHit hit;
        hits += CollideSegmentWithShapeTree(hit, *tree, lines.from[i], lines.to[i] - lines.from[i]);
        i = (i + 1) % lines.from.size();
    }
    state.counters["hit share"] = double(hits) / double(state.iterations());
    shape->Release();
}
BENCHMARK(SegmentsThroughTheTree);

void SegmentsOverEveryTriangle(benchmark::State& state)
{
    VeShape* shape = Terrain();
    const Lines lines;
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        CollisionHit hit;
        hits += CollideSegmentWithMesh(hit, shape, lines.from[i], lines.to[i] - lines.from[i]);
        i = (i + 1) % lines.from.size();
    }
    state.counters["hit share"] = double(hits) / double(state.iterations());
    shape->Release();
}
BENCHMARK(SegmentsOverEveryTriangle);

struct Walker : FogDefogger {
    Vec3 at{0, 0, 0};
    void HoldForFog() override {}
    void ReleaseForFog() override {}
    Vec3 FogPosition() const override { return at; }
    float GetViewRange() const override { return 12; }
    bool IsFogProjectile() const override { return false; }
    void SetDefogging(bool) override {}
};

// A squad of eight walking together across a 256-cell fog over 128 m.
template <bool kFull>
void FogFrame(benchmark::State& state)
{
    FogOfWar fog(256, 2048);
    fog.SetWorldArea(0, 0, kSide, kSide);
    fog.SetEnabled(true);
    Walker units[8];
    for (Walker& u : units)
        fog.AddDefogger(&u);
    uint64_t frame = 0;
    for (auto _ : state) {
        ++frame;
        for (int k = 0; k < 8; ++k)
            units[k].at = {float(frame % kSide) + float(k) * 2, 0, 60.0f + float(k) * 2};
        if constexpr (kFull) {
            fog.Refresh();
            std::vector<uint32_t>& discovered = fog.MutableDiscovered();
            for (size_t c = 0; c < discovered.size(); ++c)
                discovered[c] = std::min(discovered[c], fog.Visible()[c]);
        } else {
            fog.UpdateAt(frame);
        }
        benchmark::DoNotOptimize(fog.Visible().data());
    }
    for (Walker& u : units)
        fog.RemoveDefogger(&u);
}
BENCHMARK(FogFrame<false>)->Name("FogUpdate");
BENCHMARK(FogFrame<true>)->Name("FogFullRebuild");

} // namespace
