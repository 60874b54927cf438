// The static-shadow edge computation (beside CGAL's halfedge mesh on the
// same terrain, keeping the same edges), the cache read beside reading its bytes, and the caster
// volumes beside a plain transform of the same edges.
#include "bench/temp_file.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"
#include "platform/os.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#ifdef TREVOK_HAVE_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

// A rolling terrain of n x n cells, two triangles each.
struct Terrain {
    std::vector<Vec3> points;
    std::vector<std::array<uint32_t, 3>> triangles;
};

Terrain MakeTerrain(int n)
{
    Terrain t;
    for (int z = 0; z <= n; ++z)
        for (int x = 0; x <= n; ++x)
            t.points.push_back({float(x), std::sin(float(x) * 0.7f) + std::cos(float(z) * 0.4f), float(z)});
    auto at = [n](int x, int z) { return uint32_t(z * (n + 1) + x); };
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            t.triangles.push_back({at(x, z), at(x + 1, z), at(x + 1, z + 1)});
            t.triangles.push_back({at(x, z), at(x + 1, z + 1), at(x, z + 1)});
        }
    return t;
}

void ComputeEdges(benchmark::State& state)
{
    const Terrain t = MakeTerrain(int(state.range(0)));
    size_t edges = 0;
    for (auto _ : state) {
        EdgeBuilder b(5.0f);
        b.Reserve(t.triangles.size());
        for (const auto& tri : t.triangles)
            b.AddTriangle(t.points[tri[0]], t.points[tri[1]], t.points[tri[2]]);
        edges = b.Finish(false).size();
        benchmark::DoNotOptimize(edges);
    }
    state.counters["edges"] = double(edges);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(t.triangles.size()));
}
BENCHMARK(ComputeEdges)->Arg(64)->Arg(128);

#ifdef TREVOK_HAVE_CGAL
void CgalEdges(benchmark::State& state)
{
    using K = CGAL::Exact_predicates_inexact_constructions_kernel;
    using SM = CGAL::Surface_mesh<K::Point_3>;
    const Terrain t = MakeTerrain(int(state.range(0)));
    size_t edges = 0;
    for (auto _ : state) {
        SM sm;
        std::vector<SM::Vertex_index> v;
        v.reserve(t.points.size());
        for (const Vec3& p : t.points)
            v.push_back(sm.add_vertex(K::Point_3(p.x, p.y, p.z)));
        for (const auto& tri : t.triangles)
            sm.add_face(v[tri[0]], v[tri[1]], v[tri[2]]);
        // The same rule as ours: an inner edge whose unit face normals differ
        // by a squared distance of at least kFlatEdgeLimit.
        auto normal = [&sm](SM::Halfedge_index h) {
            const K::Point_3& p = sm.point(sm.source(h));
            const K::Vector_3 n =
                CGAL::cross_product(sm.point(sm.target(h)) - p, sm.point(sm.target(sm.next(h))) - p);
            return n / std::sqrt(n.squared_length());
        };
        edges = 0;
        for (auto e : sm.edges()) {
            if (sm.is_border(e))
                continue;
            const auto h = sm.halfedge(e);
            if ((normal(h) - normal(sm.opposite(h))).squared_length() >= double(kFlatEdgeLimit))
                ++edges;
        }
        benchmark::DoNotOptimize(edges);
    }
    state.counters["edges"] = double(edges);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(t.triangles.size()));
}
BENCHMARK(CgalEdges)->Arg(64)->Arg(128);
#endif

// Made once, before the first timing; removed when the program ends.
BenchTempFile benchCacheFile("shadows_bench", ".shd");
bool benchCacheWritten = false;

const std::filesystem::path& CacheFile()
{
    if (!benchCacheWritten) {
        const Terrain t = MakeTerrain(128);
        EdgeBuilder b(5.0f);
        for (const auto& tri : t.triangles)
            b.AddTriangle(t.points[tri[0]], t.points[tri[1]], t.points[tri[2]]);
        const std::vector<uint8_t> bytes = ShadowCache::Serialize(7, b.Finish(false));
        platform::WriteWholeFile(benchCacheFile.Path(), bytes.data(), bytes.size());
        benchCacheWritten = true;
    }
    return benchCacheFile.Path();
}

// The file is made before the timing starts, so a first repetition does
// not carry the edges' computation.
void CacheBytesOnly(benchmark::State& state)
{
    const std::filesystem::path& file = CacheFile();
    for (auto _ : state) {
        auto bytes = platform::ReadWholeFile(file, 1u << 30);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(CacheBytesOnly);

// The same read into a buffer not zeroed first, as the load reads.
void CacheBytesUnfilled(benchmark::State& state)
{
    const std::filesystem::path& file = CacheFile();
    for (auto _ : state) {
        auto bytes = platform::ReadWholeFileUnfilled(file, 1u << 30);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(CacheBytesUnfilled);

void CacheLoad(benchmark::State& state)
{
    std::vector<ShadowEdge> edges;
    const std::filesystem::path& file = CacheFile();
    for (auto _ : state) {
        ShadowCache::Load(file, 7, edges);
        benchmark::DoNotOptimize(edges.data());
    }
    state.counters["records"] = double(edges.size());
}
BENCHMARK(CacheLoad);

// A caster part: a closed faceted ball of about 200 edges.
std::vector<ShadowEdge> BallEdges()
{
    EdgeBuilder b(0);
    constexpr int kRings = 8, kSegments = 12;
    auto p = [](int r, int s) {
        const float th = float(M_PI) * float(r) / kRings, ph = 2.0f * float(M_PI) * float(s) / kSegments;
        return Vec3{std::sin(th) * std::cos(ph) * 0.4f, -std::cos(th) * 0.8f, std::sin(th) * std::sin(ph) * 0.4f};
    };
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const int t = (s + 1) % kSegments;
            b.AddTriangle(p(r, s), p(r + 1, s), p(r + 1, t));
            b.AddTriangle(p(r, s), p(r + 1, t), p(r, t));
        }
    return b.Finish(true);
}

void CasterVolumes(benchmark::State& state)
{
    const std::vector<ShadowEdge> edges = BallEdges();
    Shadows::VolumeGeometry g;
    for (auto _ : state) {
        g.front.clear();
        g.back.clear();
        for (int c = 0; c < 100; ++c) {
            gfx::Matrix m;
            m(3, 0) = float(c % 10) * 2.0f;
            m(3, 2) = float(c / 10) * 2.0f;
            Shadows::AddCasterVolumes(g, edges, m.m.data(), 1.0f, {0.3f, 0.9f, 0.3f}, {0, -20, -30});
        }
        benchmark::DoNotOptimize(g.front.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * int64_t(edges.size()));
}
BENCHMARK(CasterVolumes);

void PlainEdgeTransform(benchmark::State& state)
{
    const std::vector<ShadowEdge> edges = BallEdges();
    std::vector<Vec3> out;
    for (auto _ : state) {
        out.clear();
        for (int c = 0; c < 100; ++c) {
            gfx::Matrix m;
            m(3, 0) = float(c % 10) * 2.0f;
            m(3, 2) = float(c / 10) * 2.0f;
            auto place = [&m](const Vec3& v) {
                return Vec3{v.x * m(0, 0) + v.y * m(1, 0) + v.z * m(2, 0) + m(3, 0),
                            v.x * m(0, 1) + v.y * m(1, 1) + v.z * m(2, 1) + m(3, 1),
                            v.x * m(0, 2) + v.y * m(1, 2) + v.z * m(2, 2) + m(3, 2)};
            };
            for (const ShadowEdge& e : edges) {
                out.push_back(place(e.a));
                out.push_back(place(e.b));
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * int64_t(edges.size()));
}
BENCHMARK(PlainEdgeTransform);

} // namespace

