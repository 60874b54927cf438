#include "objects/path_search.h"

#include "../world/sample_level_fixture.h"
#include "navigation_fixture.h"

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/astar_search.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <thread>

namespace {

using navtest::kMasked;

// ---- PathNodeTree against a std::multimap, which also keeps equal keys in
// insertion order.

struct TreeCheck {
    int32_t Size(const PathNode* n)
    {
        if (!n)
            return 0;
        if (n->left) {
            EXPECT_EQ(n->left->parent, n);
        }
        if (n->right) {
            EXPECT_EQ(n->right->parent, n);
        }
        const int32_t l = Size(n->left), r = Size(n->right);
        EXPECT_EQ(n->leftCount, l);
        EXPECT_EQ(n->rightCount, r);
        return l + r + 1;
    }
};

struct TreeModelCase {
    uint32_t seed;
    int keys; // distinct key values: few keys means many ties
};

class PathNodeTreeModel : public ::testing::TestWithParam<TreeModelCase> {};

TEST_P(PathNodeTreeModel, MatchesMultimapThroughRandomOperations)
{
    constexpr int kIds = 64;
    std::unique_ptr<CollisionTriangle[]> ids(new CollisionTriangle[kIds]);
    PathNodeTree tree;
    std::multimap<float, CollisionPolygon*> model;
    uint32_t seed = GetParam().seed;
    const auto roll = [&](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    int next = 0;
    for (int step = 0; step < 3000; ++step) {
        const uint32_t op = roll(10);
        if (op < 5 || model.empty()) {
            CollisionPolygon* id = &ids[next++ % kIds];
            if (tree.Find(id))
                continue; // ids stay unique so removals can name them
            const float g = static_cast<float>(roll(static_cast<uint32_t>(GetParam().keys)));
            tree.Insert({id, g, 0.5f});
            model.emplace(g + 0.5f, id);
        } else if (op == 5) {
            EXPECT_EQ(tree.PopFirst().polygon, model.begin()->second);
            model.erase(model.begin());
        } else if (op == 6) {
            EXPECT_EQ(tree.PopLast().polygon, std::prev(model.end())->second);
            model.erase(std::prev(model.end()));
        } else if (op < 9) {
            auto it = std::next(model.begin(), roll(static_cast<uint32_t>(model.size())));
            PathNode* node = tree.Find(it->second);
            ASSERT_NE(node, nullptr);
            tree.Remove(node);
            model.erase(it);
        } else {
            // Walk, dropping every entry of one key on the way.
            const float drop = static_cast<float>(roll(static_cast<uint32_t>(GetParam().keys))) + 0.5f;
            for (auto it = tree.Begin(); !it.AtEnd();) {
                if (it.Node()->entry.Key() == drop)
                    it.RemoveAndAdvance();
                else
                    it.Advance();
            }
            model.erase(drop);
        }
        ASSERT_EQ(tree.Count(), static_cast<int32_t>(model.size()));
        ASSERT_EQ(TreeCheck{}.Size(tree.Root()), tree.Count());
        if (model.empty()) {
            ASSERT_EQ(tree.First(), nullptr);
            ASSERT_EQ(tree.Last(), nullptr);
            continue;
        }
        auto m = model.begin();
        for (auto it = tree.Begin(); !it.AtEnd(); it.Advance(), ++m)
            ASSERT_EQ(it.Node()->entry.polygon, m->second) << "step " << step;
        ASSERT_EQ(tree.Last()->entry.polygon, std::prev(model.end())->second);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, PathNodeTreeModel,
                         ::testing::Values(TreeModelCase{1, 1000}, TreeModelCase{2, 4}, TreeModelCase{3, 1},
                                           TreeModelCase{77, 30}));

TEST(PathNodeTree, ClearFreesAVeryLopsidedTree)
{
    // Ascending keys make a list 30 000 deep; freeing must not recurse.
    CollisionTriangle id;
    PathNodeTree tree;
    for (int i = 0; i < 30000; ++i)
        tree.Insert({&id, static_cast<float>(i), 0});
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.Root(), nullptr);
}

// ---- Budgets from the clock rate.

TEST(PathBudgets, ScaleWithTheClockRateWithinTheirBounds)
{
    struct Case {
        int64_t rate;
        int32_t nodes, plans;
    };
    const Case cases[] = {
        {-5, 200, 1},      {0, 200, 1},          {99999, 200, 1},     {150000, 300, 1},
        {199999, 399, 1},  {200000, 400, 2},     {250000, 500, 2},    {3000000000, 500, 2},
    };
    for (const Case& c : cases) {
        const PathBudgets b = PathBudgets::ForClockRate(c.rate);
        EXPECT_EQ(b.nodes, c.nodes) << c.rate;
        EXPECT_EQ(b.plans, c.plans) << c.rate;
    }
}

// ---- Searches.

float StepCost(const CollisionPolygon& a, const CollisionPolygon& b)
{
    return PolygonDistanceSquared(a, *b.Centre());
}

// Checks a route read from the back (best-first) or front (greedy): every
// step linked to the one before, none masked. Returns its cost.
float CheckRoute(const CollisionPolygon* start, const std::vector<CollisionPolygon*>& walk, uint32_t mask)
{
    float cost = 0;
    const CollisionPolygon* at = start;
    for (CollisionPolygon* p : walk) {
        EXPECT_TRUE(at->IsLinkedTo(p)) << "step to polygon " << p->tableIndex_ << " is not a link";
        EXPECT_EQ(p->flags_ & mask, 0u) << "masked polygon " << p->tableIndex_ << " entered";
        EXPECT_NE(p, start);
        cost += StepCost(*at, *p);
        at = p;
    }
    return cost;
}

void ExpectNoParents(const LevelGrid& level)
{
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        if (const CollisionPolygon* p = level.PolygonAt(i)) {
            ASSERT_EQ(p->searchParent_, nullptr) << "polygon " << i;
        }
    }
}

// Shortest squared-step costs from `start` by Boost's A* (the heuristic is
// consistent for unit grid steps; 0 elsewhere), entering no masked polygon.
struct Oracle {
    using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::property<boost::edge_weight_t, float>>;
    std::vector<float> cost;

    struct Chebyshev : boost::astar_heuristic<Graph, float> {
        const LevelGrid* level;
        Vec3 goal;
        bool grid;
        float operator()(std::size_t v) const
        {
            if (!grid)
                return 0;
            const Vec3& c = *level->PolygonAt(static_cast<uint32_t>(v))->Centre();
            return std::max(std::fabs(c.x - goal.x), std::fabs(c.z - goal.z));
        }
    };

    Oracle(const LevelGrid& level, const CollisionPolygon& start, const CollisionPolygon& goal, uint32_t mask,
           bool grid)
    {
        Graph g(level.PolygonCount());
        for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
            const CollisionPolygon* p = level.PolygonAt(i);
            for (uint32_t k = 0; p && k < p->LinkCount(); ++k) {
                const CollisionPolygon* q = p->LinkAt(k);
                if (!(q->flags_ & mask))
                    boost::add_edge(i, q->tableIndex_, StepCost(*p, *q), g);
            }
        }
        cost.assign(level.PolygonCount(), std::numeric_limits<float>::infinity());
        std::vector<std::size_t> predecessor(level.PolygonCount());
        Chebyshev h;
        h.level = &level;
        h.goal = *goal.Centre();
        h.grid = grid;
        boost::astar_search(g, start.tableIndex_, h,
                            boost::predecessor_map(predecessor.data())
                                .distance_map(cost.data())
                                .distance_inf(std::numeric_limits<float>::infinity())
                                .visitor(boost::default_astar_visitor()));
    }
};

class GridSearch : public ::testing::TestWithParam<uint32_t> {
protected:
    static void SetUpTestSuite() { grid_ = new navtest::GridLevel(navtest::MakeGridLevel(navtest::HoledMap(100, 100, 9))); }
    static void TearDownTestSuite()
    {
        delete grid_;
        grid_ = nullptr;
    }
    CollisionPolygon* RandomFloor(uint32_t& seed, bool masked = false) const
    {
        for (;;) {
            seed = seed * 1664525u + 1013904223u;
            const int x = static_cast<int>((seed >> 8) % 100);
            seed = seed * 1664525u + 1013904223u;
            const int z = static_cast<int>((seed >> 8) % 100);
            CollisionPolygon* p = grid_->At(x, z);
            if (p && ((p->flags_ & kMasked) != 0) == masked)
                return p;
        }
    }
    static navtest::GridLevel* grid_;
};
navtest::GridLevel* GridSearch::grid_ = nullptr;

TEST_P(GridSearch, UnboundedSearchReachesWhatBoostReaches)
{
    uint32_t seed = GetParam();
    Level& level = *grid_->level;
    for (int pair = 0; pair < 5; ++pair) {
        CollisionPolygon* start = RandomFloor(seed);
        CollisionPolygon* goal = RandomFloor(seed);
        const Oracle oracle(level, *start, *goal, kMasked, true);
        std::vector<CollisionPolygon*> route;
        const bool reached = PathSearch::FindPath(level, start, goal, route, kMasked, 1000000);
        const float best = oracle.cost[goal->tableIndex_];
        EXPECT_EQ(reached, std::isfinite(best));
        const float cost = CheckRoute(start, {route.rbegin(), route.rend()}, kMasked);
        if (reached) {
            if (start == goal)
                EXPECT_TRUE(route.empty());
            else
                ASSERT_TRUE(!route.empty() && route.front() == goal);
            EXPECT_GE(cost, best - 1e-3f);
        }
        ExpectNoParents(level);
    }
}

TEST_P(GridSearch, BudgetedSearchEndsAtTheSmallestKeyPopped)
{
    uint32_t seed = GetParam() * 31;
    Level& level = *grid_->level;
    int exhausted = 0;
    for (int pair = 0; pair < 6; ++pair) {
        CollisionPolygon* start = RandomFloor(seed);
        // A masked goal is never entered: those searches spend the budget.
        CollisionPolygon* goal = RandomFloor(seed, pair % 2 == 1);
        PathSearchTrace trace;
        std::vector<CollisionPolygon*> route;
        const bool reached = PathSearch::FindPath(level, start, goal, route, kMasked, 200, &trace);
        EXPECT_LE(trace.popped.size(), 201u);
        CheckRoute(start, {route.rbegin(), route.rend()}, kMasked);
        const CollisionPolygon* end = route.empty() ? start : route.front();
        if (reached) {
            EXPECT_EQ(end, goal);
            continue;
        }
        const auto smallest = std::min_element(trace.popped.begin(), trace.popped.end(),
                                               [](const PathEntry& a, const PathEntry& b) { return a.Key() < b.Key(); });
        ++exhausted;
        EXPECT_EQ(end, smallest->polygon);
        // The route's own cost is the g the search had for its end.
        EXPECT_NEAR(CheckRoute(start, {route.rbegin(), route.rend()}, kMasked), smallest->g, 1e-2f);
        ExpectNoParents(level);
    }
    EXPECT_GE(exhausted, 3);
}

TEST_P(GridSearch, RangeSearchStopsInsideTheRange)
{
    uint32_t seed = GetParam() * 7;
    Level& level = *grid_->level;
    for (int pair = 0; pair < 5; ++pair) {
        CollisionPolygon* start = RandomFloor(seed);
        const Vec3 target = *RandomFloor(seed)->Centre();
        std::vector<CollisionPolygon*> route;
        if (PathSearch::FindPathToRange(level, start, target, route, kMasked, 9.0f, 1000000)) {
            const CollisionPolygon* end = route.empty() ? start : route.front();
            EXPECT_LT(PolygonDistanceSquared(*end, target), 9.0f);
        }
        CheckRoute(start, {route.rbegin(), route.rend()}, kMasked);
        ExpectNoParents(level);
    }
}

TEST_P(GridSearch, GreedyDescentOnlyGetsNearer)
{
    uint32_t seed = GetParam() * 13;
    Level& level = *grid_->level;
    for (int pair = 0; pair < 10; ++pair) {
        CollisionPolygon* start = RandomFloor(seed);
        CollisionPolygon* goal = RandomFloor(seed);
        std::vector<CollisionPolygon*> route;
        const bool reached = PathSearch::FindPathGreedy(level, start, goal, route, kMasked);
        CheckRoute(start, route, kMasked);
        float last = PolygonDistanceSquared(*start, *goal->Centre());
        for (const CollisionPolygon* p : route) {
            const float d = PolygonDistanceSquared(*p, *goal->Centre());
            EXPECT_LT(d, last);
            last = d;
        }
        EXPECT_EQ(reached, (route.empty() ? start : route.back()) == goal);
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, GridSearch, ::testing::Values(1u, 2u, 3u, 4u));

TEST(PathSearch, EdgeCasesOnASmallMap)
{
    // A corridor with a masked square in the middle of the way and a dead end.
    const auto grid = navtest::MakeGridLevel({
        ".....",
        ".###.",
        ".#x#.",
        ".#.#.",
        "...#.",
    });
    Level& level = *grid.level;
    std::vector<CollisionPolygon*> route;
    struct Case {
        const char* what;
        int sx, sz, gx, gz;
        uint32_t mask;
        bool reached;
        size_t steps; // route length when reached
    };
    const Case cases[] = {
        {"start is the goal", 0, 0, 0, 0, kMasked, true, 0},
        {"around the ring", 0, 4, 4, 4, kMasked, true, 12},
        {"into the dead end", 0, 0, 2, 3, kMasked, true, 7},
        {"masked square is never a step", 2, 3, 2, 2, kMasked, false, 0},
        {"unmasked it is", 2, 3, 2, 2, 0, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CollisionPolygon* start = grid.At(c.sx, c.sz);
        CollisionPolygon* goal = grid.At(c.gx, c.gz);
        ASSERT_TRUE(start && goal);
        EXPECT_EQ(PathSearch::FindPath(level, start, goal, route, c.mask), c.reached);
        CheckRoute(start, {route.rbegin(), route.rend()}, c.mask);
        if (c.reached) {
            EXPECT_EQ(route.size(), c.steps);
        }
        ExpectNoParents(level);
    }
    EXPECT_TRUE(PathSearch::FindPathGreedy(level, grid.At(1, 0), grid.At(1, 0), route, kMasked));
    EXPECT_TRUE(route.empty());
    // Straight toward the dead end's far side, the descent stops at the wall.
    EXPECT_FALSE(PathSearch::FindPathGreedy(level, grid.At(2, 4), grid.At(2, 0), route, kMasked));
}

TEST(PathSearch, SampleLevelRoutesAgreeWithBoost)
{
    leveltest::SampleLevel sample;
    if (!sample.Load())
        GTEST_SKIP() << "no sample data";
    Level& level = *sample.level;
    const auto at = [&](float x, float z) { return level.FindPolygonAt({x, -0.5f, z}); };
    struct Case {
        const char* what;
        float fx, fz, tx, tz;
        bool doorOpen;
        bool reached;
    };
    const Case cases[] = {
        {"across the floor", 2.5f, 2.5f, 12.5f, 17.5f, false, true},
        {"round the barrier", 12.5f, 17.5f, 17.5f, 12.5f, false, true},
        {"up the ramp", 2.5f, 2.5f, 27.5f, 2.5f, false, true},
        {"down the drop is no way", 27.5f, 2.5f, 32.5f, 2.5f, true, false},
        {"room behind the shut door", 2.5f, 12.5f, 27.5f, 12.5f, false, false},
        {"room through the open door", 2.5f, 12.5f, 27.5f, 12.5f, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.doorOpen)
            sample.OpenDoor();
        else
            sample.CloseDoor();
        CollisionPolygon* start = at(c.fx, c.fz);
        CollisionPolygon* goal = at(c.tx, c.tz);
        ASSERT_TRUE(start && goal);
        const Oracle oracle(level, *start, *goal, kMasked, false);
        std::vector<CollisionPolygon*> route;
        EXPECT_EQ(PathSearch::FindPath(level, start, goal, route, kMasked), c.reached);
        EXPECT_EQ(std::isfinite(oracle.cost[goal->tableIndex_]), c.reached);
        const float cost = CheckRoute(start, {route.rbegin(), route.rend()}, kMasked);
        if (c.reached) {
            EXPECT_GE(cost, oracle.cost[goal->tableIndex_] - 1e-3f);
        }
        ExpectNoParents(level);
    }
}

TEST(PathSearch, SearchesNeverOverlapDoorRelinking)
{
    // A doorway square whose links are cut and restored under the exclusive
    // lock while searches run: every route seen is whole.
    auto grid = navtest::MakeGridLevel(navtest::HoledMap(30, 30, 5));
    Level& level = *grid.level;
    CollisionPolygon* door = nullptr;
    for (CollisionPolygon* p : grid.cells)
        if (p && p->LinkCount() >= 4 && !(p->flags_ & kMasked))
            door = p;
    ASSERT_NE(door, nullptr);
    std::vector<CollisionPolygon*> neighbours(door->Links(), door->Links() + door->LinkCount());
    std::atomic<bool> stop{false};
    std::thread doors([&] {
        for (int i = 0; i < 200 && !stop; ++i) {
            LockGuard exclusive(level.lock_, true);
            if (door->LinkCount()) {
                for (CollisionPolygon* n : neighbours) {
                    n->RemoveLink(door);
                    door->RemoveLink(n);
                }
            } else {
                for (CollisionPolygon* n : neighbours) {
                    n->AddLink(door);
                    door->AddLink(n);
                }
            }
        }
    });
    uint32_t seed = 3;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1664525u + 1013904223u;
        CollisionPolygon* start = grid.cells[(seed >> 8) % grid.cells.size()];
        if (!start)
            continue;
        std::vector<CollisionPolygon*> route;
        PathSearch::FindPath(level, start, door, route, kMasked);
        LockGuard shared(level.lock_, false);
        // Links can change between the search and this look; a route is
        // whole when its steps were linked at the time, which the exclusive
        // writer cannot break halfway: at most the door's own step differs.
        for (size_t k = 1; k + 1 < route.size(); ++k)
            if (route[k] != door && route[k - 1] != door) {
                EXPECT_TRUE(route[k]->IsLinkedTo(route[k - 1]));
            }
    }
    stop = true;
    doors.join();
    ExpectNoParents(level);
}

} // namespace
