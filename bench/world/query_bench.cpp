// Segment queries over a bumpy terrain of 32768 triangles: the boxed query
// tree that line of sight uses against one pass over every triangle; and
// the fog's per-frame update against rebuilding and merging the whole grid.
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/collision_query.h"
#include "world/fog_of_war.h"
#include "world/level.h"
#include "world/line_of_sight.h"

#if TREVOK_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif

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
    std::unique_ptr<ShapeInstance> tree = BuildQueryTree(*shape, uint32_t(state.range(0)));
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
BENCHMARK(SegmentsThroughTheTree)->Arg(2048)->Arg(512)->Arg(128)->Arg(48);

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

// Line of sight as the game asks it: the level's own tree, its lock taken.
void LineOfSightOnTheLevel(benchmark::State& state)
{
    VeShape* shape = Terrain();
    Level level(shape, Vec3{0, 0, 0}, nullptr);
    shape->Release();
    const Lines lines;
    size_t i = 0, clear = 0;
    for (auto _ : state) {
        clear += LineOfSight(level, lines.from[i], lines.to[i], nullptr);
        i = (i + 1) % lines.from.size();
    }
    state.counters["clear share"] = double(clear) / double(state.iterations());
}
BENCHMARK(LineOfSightOnTheLevel);

#if TREVOK_HAVE_EMBREE
// The same terrain in a ray library's scene, for scale: first hit and any
// hit along each segment.
struct EmbreeTerrain {
    RTCDevice device = rtcNewDevice(nullptr);
    RTCScene scene = rtcNewScene(device);
    EmbreeTerrain()
    {
        VeShape* shape = Terrain();
        for (SubMesh* mesh : shape->SubMeshes()) {
            RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
            auto* points = static_cast<float*>(rtcSetNewGeometryBuffer(
                geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), mesh->vertexCount));
            for (uint32_t v = 0; v < mesh->vertexCount; ++v)
                std::memcpy(points + 3 * v, mesh->Vertex(v), 3 * sizeof(float));
            const size_t triangles = mesh->indices.size() / 3;
            auto* corners = static_cast<uint32_t*>(rtcSetNewGeometryBuffer(
                geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(uint32_t), triangles));
            for (size_t k = 0; k < mesh->indices.size(); ++k)
                corners[k] = mesh->indices[k];
            rtcCommitGeometry(geometry);
            rtcAttachGeometry(scene, geometry);
            rtcReleaseGeometry(geometry);
        }
        rtcCommitScene(scene);
        shape->Release();
    }
    ~EmbreeTerrain()
    {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }
    static RTCRay Segment(const Vec3& from, const Vec3& to)
    {
        RTCRay ray{};
        ray.org_x = from.x, ray.org_y = from.y, ray.org_z = from.z;
        ray.dir_x = to.x - from.x, ray.dir_y = to.y - from.y, ray.dir_z = to.z - from.z;
        ray.tnear = 0;
        ray.tfar = 1;
        ray.mask = ~0u;
        return ray;
    }
};

void SegmentsThroughEmbree(benchmark::State& state)
{
    EmbreeTerrain terrain;
    const Lines lines;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        RTCRayHit rayHit{};
        rayHit.ray = EmbreeTerrain::Segment(lines.from[i], lines.to[i]);
        rayHit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(terrain.scene, &context, &rayHit);
        hits += rayHit.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        i = (i + 1) % lines.from.size();
    }
    state.counters["hit share"] = double(hits) / double(state.iterations());
}
BENCHMARK(SegmentsThroughEmbree);

void LineOfSightThroughEmbree(benchmark::State& state)
{
    EmbreeTerrain terrain;
    const Lines lines;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t i = 0, clear = 0;
    for (auto _ : state) {
        RTCRay ray = EmbreeTerrain::Segment(lines.from[i], lines.to[i]);
        rtcOccluded1(terrain.scene, &context, &ray);
        clear += ray.tfar >= 0; // an occluded ray comes back with tfar = -inf
        i = (i + 1) % lines.from.size();
    }
    state.counters["clear share"] = double(clear) / double(state.iterations());
}
BENCHMARK(LineOfSightThroughEmbree);
#endif

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
