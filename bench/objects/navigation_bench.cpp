// Path search and the navigation cache on a 100 x 100 floor with holes:
// the bounded best-first search beside Boost Graph's A* on the same pairs,
// and loading the links from the cache beside linking them anew and beside
// only reading the file's bytes.
#include <benchmark/benchmark.h>

#include "../../tests/objects/navigation_fixture.h"
#include "objects/navigation_cache.h"
#include "objects/path_search.h"
#include "platform/os.h"

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/astar_search.hpp>

#include <cmath>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kTime = 0x01D9ABCD12345678;

struct Floor {
    navtest::GridLevel grid = navtest::MakeGridLevel(navtest::HoledMap(100, 100, 9));
    std::vector<std::pair<CollisionPolygon*, CollisionPolygon*>> pairs;

    Floor()
    {
        uint32_t seed = 5;
        const auto pick = [&] {
            for (;;) {
                seed = seed * 1664525u + 1013904223u;
                CollisionPolygon* p = grid.cells[(seed >> 8) % grid.cells.size()];
                if (p && !(p->flags_ & navtest::kMasked))
                    return p;
            }
        };
        for (int i = 0; i < 64; ++i)
            pairs.emplace_back(pick(), pick());
    }
};

Floor& TheFloor()
{
    static Floor floor;
    return floor;
}

void FindPathBudget500(benchmark::State& state)
{
    Floor& f = TheFloor();
    std::vector<CollisionPolygon*> route;
    size_t i = 0;
    for (auto _ : state) {
        const auto& [from, to] = f.pairs[i++ % f.pairs.size()];
        benchmark::DoNotOptimize(PathSearch::FindPath(*f.grid.level, from, to, route, navtest::kMasked, 500));
    }
}
BENCHMARK(FindPathBudget500);

// Boost's A* with the same squared step costs, stopping at the goal.
struct Astar {
    using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::property<boost::edge_weight_t, float>>;
    struct Found {};
    struct Stop : boost::default_astar_visitor {
        std::size_t goal;
        void examine_vertex(std::size_t v, const Graph&) const
        {
            if (v == goal)
                throw Found{};
        }
    };
    struct Heuristic : boost::astar_heuristic<Graph, float> {
        const LevelGrid* level;
        Vec3 goal;
        float operator()(std::size_t v) const
        {
            const Vec3& c = *level->PolygonAt(static_cast<uint32_t>(v))->Centre();
            return std::max(std::fabs(c.x - goal.x), std::fabs(c.z - goal.z));
        }
    };
    Graph graph;
    std::vector<float> cost;
    std::vector<std::size_t> predecessor;

    explicit Astar(const LevelGrid& level) : graph(level.PolygonCount())
    {
        for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
            const CollisionPolygon* p = level.PolygonAt(i);
            for (uint32_t k = 0; p && k < p->LinkCount(); ++k) {
                const CollisionPolygon* q = p->LinkAt(k);
                if (!(q->flags_ & navtest::kMasked))
                    boost::add_edge(i, q->tableIndex_, PolygonDistanceSquared(*p, *q->Centre()), graph);
            }
        }
        cost.resize(level.PolygonCount());
        predecessor.resize(level.PolygonCount());
    }
};

void BoostAstar(benchmark::State& state)
{
    Floor& f = TheFloor();
    Astar astar(*f.grid.level);
    size_t i = 0;
    for (auto _ : state) {
        const auto& [from, to] = f.pairs[i++ % f.pairs.size()];
        Astar::Heuristic h;
        h.level = f.grid.level.get();
        h.goal = *to->Centre();
        Astar::Stop stop;
        stop.goal = to->tableIndex_;
        try {
            boost::astar_search(astar.graph, from->tableIndex_, h,
                                boost::predecessor_map(astar.predecessor.data()).distance_map(astar.cost.data()).visitor(stop));
        } catch (const Astar::Found&) {
        }
        benchmark::DoNotOptimize(astar.cost[to->tableIndex_]);
    }
}
BENCHMARK(BoostAstar);

struct CacheFile {
    fs::path script = fs::temp_directory_path() / ("trevok-nav-bench-" + std::to_string(getpid()) + ".tvs");
    fs::path cache = *NavigationCache::PathFor(script);
    CacheFile()
    {
        auto g = navtest::MakeGridLevel(navtest::HoledMap(100, 100, 9));
        const auto image = NavigationCache::Encode(*g.level, kTime);
        platform::WriteWholeFile(cache, image.data(), image.size());
    }
    ~CacheFile() { fs::remove(cache); }
};

void CacheLoad(benchmark::State& state)
{
    CacheFile file;
    for (auto _ : state) {
        state.PauseTiming();
        auto g = navtest::MakeGridLevel(navtest::HoledMap(100, 100, 9), false);
        g.level->levelFileTime_ = kTime;
        state.ResumeTiming();
        auto outcome = NavigationCache::LoadOrBuild(*g.level, file.script, 1000000);
        if (outcome.source != NavigationCache::Source::Loaded)
            state.SkipWithError("cache not loaded");
        state.PauseTiming();
        g.level.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(CacheLoad)->Unit(benchmark::kMicrosecond);

void Relinking(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto g = navtest::MakeGridLevel(navtest::HoledMap(100, 100, 9), false);
        state.ResumeTiming();
        // As the cache's own path does: cells laid out, then linked.
        g.level->BuildCellGrid(98, 4, 98);
        g.level->LinkPolygons();
        state.PauseTiming();
        g.level.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(Relinking)->Unit(benchmark::kMicrosecond);

void RawRead(benchmark::State& state)
{
    CacheFile file;
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::ReadWholeFile(file.cache, 1u << 28));
}
BENCHMARK(RawRead)->Unit(benchmark::kMicrosecond);

} // namespace
