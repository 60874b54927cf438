#include "level_fixture.h"

#include <gtest/gtest.h>

#include "Veapi/ve_shape.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace leveltest;

// Rolling ground of triangles, overlapping platforms and ramps above it,
// walls and ceilings that must never answer a ground query.
CollisionSource RandomLevel(uint32_t seed)
{
    Random r(seed);
    CollisionSource s;
    constexpr int kN = 12;
    constexpr float kSize = 3.0f;
    float heights[kN + 1][kN + 1];
    for (auto& row : heights)
        for (float& h : row)
            h = r.Range(-2, 0);
    for (int i = 0; i < kN; ++i) {
        for (int k = 0; k < kN; ++k) {
            auto at = [&](int a, int b) {
                return Vec3(static_cast<float>(a) * kSize, heights[a][b], static_cast<float>(b) * kSize);
            };
            AddPolygon(s, {at(i, k), at(i + 1, k), at(i + 1, k + 1)});
            AddPolygon(s, {at(i, k), at(i + 1, k + 1), at(i, k + 1)});
        }
    }
    for (int i = 0; i < 8; ++i) {
        const float x0 = r.Range(0, 30), z0 = r.Range(0, 30);
        const float x1 = x0 + r.Range(1, 10), z1 = z0 + r.Range(1, 10);
        const float y0 = r.Range(-9, -3), y1 = y0 + r.Range(-3, 3); // a ramp along x
        AddPolygon(s, {{x0, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y0, z1}});
    }
    for (int i = 0; i < 6; ++i) {
        const float x0 = r.Range(0, 36), z0 = r.Range(0, 36), x1 = x0 + r.Range(-4, 4);
        AddPolygon(s, {{x0, 0, z0}, {x1, 0, z0 + 3}, {x1, -6, z0 + 3}, {x0, -6, z0}}, 0, Facing::AsGiven);
    }
    for (int i = 0; i < 4; ++i) {
        const float x0 = r.Range(0, 30), z0 = r.Range(0, 30), y = r.Range(-12, -9);
        AddPolygon(s, {{x0, y, z0}, {x0, y, z0 + 6}, {x0 + 6, y, z0 + 6}, {x0 + 6, y, z0}}, 0, Facing::Down);
    }
    return s;
}

std::vector<CollisionPolygon*> AllPolygons(const Level& level)
{
    std::vector<CollisionPolygon*> all;
    for (CollisionMesh* mesh : level.Meshes())
        mesh->ForEachPolygon([&](CollisionPolygon& p) { all.push_back(&p); });
    return all;
}

// The nearest ground surface in height over every polygon; NaN when none.
float BruteGroundDistance(const std::vector<CollisionPolygon*>& all, const Vec3& p)
{
    float best = std::numeric_limits<float>::quiet_NaN();
    for (CollisionPolygon* q : all) {
        Vec3 onPlane = p;
        Vec3 normal;
        if (q->ProjectY(onPlane, &normal) && std::signbit(normal.y)) {
            const float d = std::fabs(onPlane.y - p.y);
            if (std::isnan(best) || d < best)
                best = d;
        }
    }
    return best;
}

float BruteHighest(const std::vector<CollisionPolygon*>& all, const Vec3& lo, const Vec3& hi)
{
    float best = -FLT_MAX;
    for (CollisionPolygon* q : all) {
        if (q->MaxCorner().y > best && q->ClipToBox(lo, hi) != 0)
            best = q->MaxCorner().y;
    }
    return best;
}

// Random points over and beyond the grid, and points exactly on corners and
// edges of the polygons, where filing and the edge tests meet.
std::vector<Vec3> QueryPoints(const std::vector<CollisionPolygon*>& all, Random& r, int count)
{
    std::vector<Vec3> points;
    for (int i = 0; i < count; ++i) {
        switch (i % 3) {
        case 0:
            points.push_back({r.Range(-8, 44), r.Range(-16, 6), r.Range(-8, 44)});
            break;
        case 1: {
            const CollisionPolygon& q = *all[static_cast<size_t>(r.Below(static_cast<int>(all.size())))];
            Vec3 v = *q.Vertices()[r.Below(q.VertexCount())];
            v.y += r.Below(2) ? 0.0f : r.Range(-3, 3);
            points.push_back(v);
            break;
        }
        default: {
            const CollisionPolygon& q = *all[static_cast<size_t>(r.Below(static_cast<int>(all.size())))];
            const int e = r.Below(q.VertexCount());
            const Vec3& a = *q.Vertices()[e];
            const Vec3& b = *q.Vertices()[(e + 1) % q.VertexCount()];
            Vec3 v = a + (b - a) * r.Unit();
            v.y += r.Range(-3, 3);
            points.push_back(v);
        }
        }
    }
    return points;
}

struct GridShape {
    uint32_t nx, ny, nz;
};

class GridQueries : public ::testing::TestWithParam<GridShape> {};

TEST_P(GridQueries, EqualBruteForceOverEveryPolygon)
{
    const GridShape g = GetParam();
    for (uint32_t seed : {1u, 7u, 42u}) {
        SCOPED_TRACE(seed);
        const CollisionSource source = RandomLevel(seed);
        auto level = MakeLevel(source, g.nx, g.ny, g.nz);
        const std::vector<CollisionPolygon*> all = AllPolygons(*level);
        Random r(seed * 31 + 5);
        int found = 0;
        for (const Vec3& p : QueryPoints(all, r, 3000)) {
            const float expected = BruteGroundDistance(all, p);
            CollisionPolygon* hit = level->FindPolygonAt(p);
            Vec3 snapped = p;
            const bool snappedAny = level->SnapToPolygon(snapped);
            ASSERT_EQ(hit != nullptr, !std::isnan(expected)) << p.x << " " << p.y << " " << p.z;
            ASSERT_EQ(snappedAny, hit != nullptr);
            if (!hit) {
                EXPECT_EQ(snapped, p);
                continue;
            }
            ++found;
            // Polygons meeting at a corner or an edge give heights there that
            // differ in the last bits; any of them may answer.
            EXPECT_NEAR(std::fabs(snapped.y - p.y), expected, 1e-5f * (1 + expected))
                << p.x << " " << p.y << " " << p.z;
            Vec3 onHit = p;
            ASSERT_TRUE(hit->ProjectY(onHit, nullptr));
            EXPECT_EQ(onHit.y, snapped.y);
        }
        EXPECT_GT(found, 1000); // the table of points reaches the ground often

        for (int i = 0; i < 300; ++i) {
            const Vec3 lo{r.Range(-5, 40), r.Range(-14, 2), r.Range(-5, 40)};
            const Vec3 hi = lo + Vec3(r.Range(0, 8), r.Range(0, 8), r.Range(0, 8));
            ASSERT_EQ(level->HighestPointInBox(lo, hi), BruteHighest(all, lo, hi))
                << lo.x << " " << lo.y << " " << lo.z;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, GridQueries,
                         ::testing::Values(GridShape{1, 1, 1}, GridShape{8, 4, 8}, GridShape{3, 7, 5},
                                           GridShape{98, 4, 98}));

TEST(LevelGrid, PointsMapInsideTheGridWhateverTheirValue)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 4, 2.5f); // flat: no extent in y
    auto level = MakeLevel(s, 10, 4, 10);
    EXPECT_EQ(level->CellCount(1), 1u);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        Vec3 point;
        CellIndex cell;
    } cases[] = {
        {"at the minimum", {0, 0, 0}, {0, 0, 0}},
        {"below the minimum", {-5, 3, -1}, {0, 0, 0}},
        {"beyond the maximum", {50, -3, 11}, {9, 0, 9}},
        {"at the maximum", {10, 0, 10}, {9, 0, 9}},
        {"on an inner boundary", {1, 0, 2}, {1, 0, 2}},
        {"float maximum", {FLT_MAX, FLT_MAX, -FLT_MAX}, {9, 0, 0}},
        {"infinities", {inf, -inf, -inf}, {9, 0, 0}},
        {"NaN", {nan, nan, nan}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(level->CellOf(c.point), c.cell);
        // The queries take the same road and must stay inside the cells.
        level->FindPolygonAt(c.point);
        level->HighestPointInBox(c.point, c.point);
    }
    EXPECT_NE(level->FindPolygonAt({5, -1, 5}), nullptr);
    EXPECT_EQ(level->FindPolygonAt({nan, 0, 5}), nullptr);
}

TEST(LevelGrid, WithoutCellsEveryPointIsCellZeroAndNothingIsFound)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 2, 1);
    Level level(nullptr, {0, 0, 0}, &s);
    EXPECT_FALSE(level.HasCells());
    EXPECT_EQ(level.CellOf({7, 7, 7}), (CellIndex{0, 0, 0}));
    EXPECT_EQ(level.FindPolygonAt({0.5f, -1, 0.5f}), nullptr);
    EXPECT_EQ(level.PolygonCount(), 4u);
    level.LinkPolygons(); // no cells: nothing to walk
    EXPECT_EQ(level.PolygonAt(0)->LinkCount(), 0u);
}

TEST(LevelGrid, NearestSurfaceInHeightWinsAndCeilingsNeverAnswer)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 1, 10);   // ground at y 0
    AddFloor(s, 0, 0, -4, 1, 10);  // a floor above it (y grows downward)
    AddPolygon(s, {{0, -2, 0}, {0, -2, 10}, {10, -2, 10}, {10, -2, 0}}, 0, Facing::Down); // a ceiling between
    ASSERT_GT(s.quads.back().normal.y, 0);
    auto level = MakeLevel(s, 4, 4, 4);
    const struct {
        float y;
        float surface;
    } cases[] = {{-1, 0}, {-3, -4}, {-2, -4}, {-2.5f, -4}, {5, 0}, {-20, -4}};
    for (const auto& c : cases) {
        Vec3 p{5, c.y, 5};
        ASSERT_TRUE(level->SnapToPolygon(p)) << c.y;
        EXPECT_EQ(p.y, c.surface) << c.y;
    }
}

TEST(LevelGrid, HighestPointInAnEmptyBoxIsTheLowestFloat)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 3, 2);
    auto level = MakeLevel(s);
    EXPECT_EQ(level->HighestPointInBox({20, -1, 20}, {30, 1, 30}), -FLT_MAX);
    EXPECT_EQ(level->HighestPointInBox({1, -1, 1}, {2, 1, 2}), 0.0f);
}

// Every pair of one mesh that the edge test accepts is linked both ways;
// nothing else is, apart from the corner fans of the second pass.
TEST(LevelGrid, LinkingMatchesTheEdgeTestOverEveryPair)
{
    for (uint32_t seed : {3u, 11u}) {
        const CollisionSource source = RandomLevel(seed);
        auto level = MakeLevel(source, 8, 4, 8);
        const std::vector<CollisionPolygon*> all = AllPolygons(*level);
        for (CollisionPolygon* p : all) {
            const bool takesLinks = std::signbit(p->normal_.y) && !(p->flags_ & polygon_flags::kSteep);
            if (!takesLinks) {
                EXPECT_EQ(p->LinkCount(), 0u);
                continue;
            }
            EXPECT_FALSE(p->IsLinkedTo(p));
            for (CollisionPolygon* q : all) {
                const bool qTakes = std::signbit(q->normal_.y) && !(q->flags_ & polygon_flags::kSteep);
                if (q != p && qTakes && p->IsNeighbourAcrossEdge(*q)) {
                    EXPECT_TRUE(p->IsLinkedTo(q) && q->IsLinkedTo(p));
                }
                if (p->IsLinkedTo(q)) {
                    EXPECT_TRUE(q->IsLinkedTo(p));
                }
            }
        }
        // The rolling ground is one connected sheet: interior triangles have
        // three neighbours across their edges.
        EXPECT_EQ(all[13 * 2]->LinkCount() >= 3, true);
    }
}

TEST(LevelGrid, TableSlotsAreReusedOnlyOnceTheTableIsFull)
{
    CollisionSource floor, block;
    AddFloor(floor, 0, 0, 0, 4, 1);
    AddFloor(block, 0, 0, -1, 2, 1);
    auto level = MakeLevel(floor);
    int a = 0, b = 0;
    level->AddMesh(Owner(a), {{&block, Matrix34::kIdentity}}, Matrix34::kIdentity);
    EXPECT_EQ(level->PolygonCount(), 20u);
    ASSERT_TRUE(level->RemoveMesh(Owner(a)));
    EXPECT_EQ(level->PolygonAt(16), nullptr);
    level->AddMesh(Owner(b), {{&block, Matrix34::kIdentity}}, Matrix34::kIdentity);
    // The table has room to grow, so the freed slots wait.
    EXPECT_EQ(level->PolygonCount(), 24u);
    EXPECT_EQ(level->PolygonAt(16), nullptr);
    EXPECT_EQ(level->PolygonAt(20)->tableIndex_, 20u);
    EXPECT_FALSE(level->RemoveMesh(Owner(a))); // already gone: nothing happens

    // Filled to its first capacity of 256, the table hands out the free
    // slots from the lowest, then grows again.
    CollisionSource many;
    for (int i = 0; i < 232; ++i)
        AddPolygon(many, {{float(i), 0, 20}, {float(i) + 1, 0, 20}, {float(i), 0, 21}});
    int c = 0, e = 0, f = 0;
    level->AddMesh(Owner(c), {{&many, Matrix34::kIdentity}}, Matrix34::kIdentity);
    EXPECT_EQ(level->PolygonCount(), 256u);
    CollisionMesh* reusing = level->AddMesh(Owner(e), {{&block, Matrix34::kIdentity}}, Matrix34::kIdentity);
    EXPECT_EQ(level->PolygonCount(), 256u);
    EXPECT_EQ(reusing->quads_[0].tableIndex_, 16u);
    EXPECT_EQ(level->PolygonAt(19), &reusing->quads_[3]);
    CollisionMesh* growing = level->AddMesh(Owner(f), {{&block, Matrix34::kIdentity}}, Matrix34::kIdentity);
    EXPECT_EQ(growing->quads_[0].tableIndex_, 256u);
    EXPECT_EQ(level->PolygonAt(259), &growing->quads_[3]);
    EXPECT_EQ(level->PolygonAt(260), nullptr);
}

TEST(Level, BuiltFromItsShapeBoundsAndLentCollision)
{
    CollisionSource floor;
    AddFloor(floor, 0, 0, 0, 2, 1);
    VeShape* point = new VeShape;
    point->min_ = point->max_ = {3, -1, 2};
    VeShape* box = new VeShape;
    box->min_ = {0, -10, 0};
    box->max_ = {100, 0, 50};
    const struct {
        const char* name;
        VeShape* shape;
        const CollisionSource* collision;
        Vec3 innerMin, innerMax;
        uint32_t polygons;
    } cases[] = {
        {"a shape whose box is a point", point, &floor, {3, -1, 2}, {3, -1, 2}, 4},
        {"inner corners 1% in", box, &floor, {1, -9.9f, 0.5f}, {99, -0.1f, 49.5f}, 4},
        {"no collision geometry", box, nullptr, {1, -9.9f, 0.5f}, {99, -0.1f, 49.5f}, 0},
        {"no shape: bounds of the collision", nullptr, &floor, {0.02f, 0, 0.02f}, {1.98f, 0, 1.98f}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Level level(c.shape, {5, 6, 7}, c.collision);
        EXPECT_EQ(level.origin_, Vec3(-5, -6, -7));
        for (int axis = 0; axis < 3; ++axis) {
            auto at = [axis](const Vec3& v) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; };
            EXPECT_NEAR(at(level.innerMinimum_), at(c.innerMin), 1e-4f);
            EXPECT_NEAR(at(level.innerMaximum_), at(c.innerMax), 1e-4f);
        }
        EXPECT_EQ(level.cameraMinX_, level.innerMinimum_.x);
        EXPECT_EQ(level.cameraMaxZ_, level.innerMaximum_.z);
        EXPECT_EQ(level.floorHeight_, level.maximum_.y);
        EXPECT_EQ(level.PolygonCount(), c.polygons);
        if (c.shape) {
            EXPECT_EQ(c.shape->UseCount(), 2); // the level holds one use while it lives
        }
        const LevelMoveRecord record = level.FillMoveRecord({1, 2, 3}, {4, 5, 6}, 3, 42);
        EXPECT_EQ(record.value, 42u);
        EXPECT_EQ(record.start, Vec3(1, 2, 3));
        EXPECT_EQ(record.end, Vec3(4, 5, 6));
        EXPECT_EQ(record.polygon, c.polygons ? level.PolygonAt(3) : nullptr);
        EXPECT_EQ(level.FillMoveRecord({}, {}, c.polygons, 0).polygon, nullptr); // one past the table
    }
    EXPECT_EQ(point->UseCount(), 1);
    point->Release();
    box->Release();
}

// With 64 cells a side the floor squares span many cells, and the door
// lies far from the cell of their centres.
TEST(LevelGrid, DoorsLinkByPositionAndUnlinkBothWays)
{
    for (uint32_t cells : {8u, 64u}) {
        SCOPED_TRACE(cells);
        DoorLevel d(cells);
        EXPECT_EQ(d.Door().LinkCount(), 0u); // another mesh: pointers never match
        d.Open();
        EXPECT_EQ(d.Door().LinkCount(), 2u); // the floor squares on either side
        for (uint32_t i = 0; i < d.Door().LinkCount(); ++i)
            EXPECT_TRUE(d.Door().LinkAt(i)->IsLinkedTo(&d.Door()));
        d.Open(); // again: no duplicates
        EXPECT_EQ(d.Door().LinkCount(), 2u);
        d.Close();
        EXPECT_EQ(d.Door().LinkCount(), 0u);
        for (CollisionPolygon* p : AllPolygons(*d.level))
            EXPECT_FALSE(p->IsLinkedTo(&d.Door()));

        d.Open();
        ASSERT_TRUE(d.level->RemoveMesh(Owner(d.doorTag)));
        // No polygon keeps a link to the freed door (the sanitizer build
        // would also catch a read of it below).
        for (CollisionPolygon* p : AllPolygons(*d.level)) {
            for (uint32_t i = 0; i < p->LinkCount(); ++i)
                EXPECT_FALSE(p->LinkAt(i)->flags_ & DoorLevel::kDoorClass);
        }
        EXPECT_EQ(d.level->FindPolygonAt({5, -1, 1}), nullptr);
    }
}

// An object's mesh added once the cells exist is linked within itself and
// filed; unfiled before a move it is out of every cell, filed again after.
TEST(LevelGrid, ObjectMeshesLinkFileAndUnfile)
{
    CollisionSource ground, lift;
    AddFloor(ground, 0, 0, 0, 4, 5);
    AddFloor(lift, 5, 5, -6, 2, 1); // a 2 x 2 platform above the ground
    auto level = MakeLevel(ground, 8, 4, 8);
    int tag = 0;
    CollisionMesh* mesh = level->AddMesh(Owner(tag), {{&lift, Matrix34::kIdentity}}, Matrix34::kIdentity);
    // Two neighbours across edges, and the diagonal one through the corner
    // they all share, as it links both of those neighbours too.
    mesh->ForEachPolygon([](CollisionPolygon& p) { EXPECT_EQ(p.LinkCount(), 3u); });
    const Vec3 over{5.5f, -7, 5.5f};
    EXPECT_TRUE(mesh->Owns(level->FindPolygonAt(over)));

    level->UnfileGeometry(*mesh);
    CollisionPolygon* below = level->FindPolygonAt(over);
    ASSERT_NE(below, nullptr);
    EXPECT_FALSE(mesh->Owns(below)); // only the ground is left there
    for (uint32_t x = 0; x < level->CellCount(0); ++x)
        for (uint32_t y = 0; y < level->CellCount(1); ++y)
            for (uint32_t z = 0; z < level->CellCount(2); ++z)
                for (CollisionPolygon* p : level->Cell({int32_t(x), int32_t(y), int32_t(z)}).polygons)
                    EXPECT_FALSE(mesh->Owns(p));
    level->FileGeometry(*mesh);
    EXPECT_TRUE(mesh->Owns(level->FindPolygonAt(over)));

    // Removed, none of its polygons is left in any cell.
    std::vector<const CollisionPolygon*> gone;
    mesh->ForEachPolygon([&](CollisionPolygon& p) { gone.push_back(&p); });
    ASSERT_TRUE(level->RemoveMesh(Owner(tag)));
    for (uint32_t x = 0; x < level->CellCount(0); ++x)
        for (uint32_t y = 0; y < level->CellCount(1); ++y)
            for (uint32_t z = 0; z < level->CellCount(2); ++z)
                for (CollisionPolygon* p : level->Cell({int32_t(x), int32_t(y), int32_t(z)}).polygons)
                    EXPECT_EQ(std::count(gone.begin(), gone.end(), p), 0);
    EXPECT_EQ(level->FindPolygonAt(over), below);
}

// Where each cell's light list holds the light: (x, y, z) of every entry.
std::vector<CellIndex> CellsHolding(const Level& level, const FiledLight* light)
{
    std::vector<CellIndex> cells;
    for (uint32_t x = 0; x < level.CellCount(0); ++x)
        for (uint32_t y = 0; y < level.CellCount(1); ++y)
            for (uint32_t z = 0; z < level.CellCount(2); ++z) {
                const CellIndex c{int32_t(x), int32_t(y), int32_t(z)};
                for (const FiledLight* l : level.Cell(c).lights)
                    if (l == light)
                        cells.push_back(c);
            }
    return cells;
}

// Lights wait until the cells exist, go into every fourth column of the
// bottom layer that their reach covers, and move with every new layout.
TEST(LevelGrid, LightsFileInColumnBlocksAndSurviveANewLayout)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 4, 4); // 0..16 in x and z
    Level level(nullptr, {0, 0, 0}, &s);
    FiledLight light;
    light.centre = {6, 0, 3};
    light.radius = 2.5f;
    level.FileLight(light);
    level.FileLight(light); // filed twice while waiting: still once
    ASSERT_EQ(level.PendingLights().size(), 1u);

    level.BuildCellGrid(16, 2, 16); // 1 x 1 cells: the reach is x 3..8, z 0..5
    EXPECT_TRUE(level.PendingLights().empty());
    EXPECT_EQ(CellsHolding(level, &light),
              (std::vector<CellIndex>{{0, 0, 0}, {0, 0, 4}, {4, 0, 0}, {4, 0, 4}, {8, 0, 0}, {8, 0, 4}}));
    EXPECT_EQ(light.filedColumns[2], 8);

    level.BuildCellGrid(4, 1, 4); // 4 x 4 cells: everything lies in column block 0
    EXPECT_EQ(CellsHolding(level, &light), (std::vector<CellIndex>{{0, 0, 0}}));

    level.UnfileLight(light);
    EXPECT_TRUE(CellsHolding(level, &light).empty());
    light.centre = {std::nanf(""), 0, 1e30f}; // wherever it is, it lands inside the grid
    level.FileLight(light);
    EXPECT_EQ(CellsHolding(level, &light).size(), 1u);
    level.UnfileLight(light);
}

TEST(LevelGrid, PolygonsTouchAlongAnEdgeOnly)
{
    CollisionSource a, b;
    AddPolygon(a, {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}});
    const struct {
        const char* name;
        std::initializer_list<Vec3> other;
        bool touch;
    } cases[] = {
        {"shares an edge", {{2, 0, 0}, {4, 0, 0}, {4, 0, 2}, {2, 0, 2}}, true},
        {"edge within 0.1", {{2.05f, 0, 0}, {4, 0, 0}, {4, 0, 2}, {2.05f, 0.05f, 2}}, true},
        {"one corner", {{2, 0, 2}, {4, 0, 2}, {4, 0, 4}, {2, 0, 4}}, false},
        {"edge 0.2 away", {{2.2f, 0, 0}, {4, 0, 0}, {4, 0, 2}, {2.2f, 0, 2}}, false},
        {"the same square", {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, false},
        {"shares the closing edge", {{-2, 0, 0}, {0, 0, 0}, {0, 0, 2}, {-2, 0, 2}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CollisionSource s = a;
        AddPolygon(b = {}, c.other);
        auto mesh = CollisionMesh::Build(nullptr, {{&a, Matrix34::kIdentity}, {&b, Matrix34::kIdentity}},
                                         Matrix34::kIdentity);
        ASSERT_EQ(mesh->PolygonCount(), 2u);
        EXPECT_EQ(PolygonsTouch(mesh->quads_[0], mesh->quads_[1]), c.touch);
    }
}

TEST(LevelGrid, MeshBuilderPlacesRecordsAndDropsBrokenOnes)
{
    CollisionSource s;
    AddPolygon(s, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}});
    AddPolygon(s, {{0, 0, 0}, {0, -1, 0}, {0, -1, 1}, {0, 0, 1}}, 0x40000 | 0x7, Facing::AsGiven); // a wall
    s.triangles.push_back({{0, 1, 99}, {0, -1, 0}, 0});             // names a point that does not exist
    s.quads.push_back({{0, 1, 2, -1}, {0, -1, 0}, 0});              // three corners only
    Matrix34 place{1};
    place.SetTranslation({10, 0, 0});
    auto mesh = CollisionMesh::Build(nullptr, {{&s, Matrix34::kIdentity}}, place);
    ASSERT_EQ(mesh->triangleCount_, 1u);
    ASSERT_EQ(mesh->quadCount_, 1u);
    EXPECT_EQ(*mesh->triangles_[0].Vertices()[2], Vec3(11, 0, 1));
    EXPECT_EQ(*mesh->triangles_[0].Centre(), Vec3(32.0f / 3, 0, 1.0f / 3));
    EXPECT_EQ(mesh->quads_[0].flags_, 0x40000u | 0x1u | polygon_flags::kSteep);
    EXPECT_EQ(mesh->boxMin_, Vec3(10, -1, 0));
    EXPECT_EQ(mesh->boxMax_, Vec3(11, 0, 1));
    // Corners shared in the records are shared pointers in the mesh.
    EXPECT_EQ(mesh->triangles_[0].Vertices()[0], mesh->quads_[0].Vertices()[0]);
}

// A quad whose corners cross over (a bow-tie) is clipped against many cells
// without running out of clip nodes, and is filed where it lies.
TEST(LevelGrid, BowTieQuadsFileWithoutOverrun)
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 4, 4);
    s.points.push_back({2, -1, 2});
    s.points.push_back({14, -3, 14});
    s.points.push_back({14, -1, 2});
    s.points.push_back({2, -3, 14});
    const int32_t base = static_cast<int32_t>(s.points.size()) - 4;
    s.quads.push_back({{base, base + 1, base + 2, base + 3}, {0, -1, 0}, 0});
    auto level = MakeLevel(s, 16, 8, 16);
    CollisionPolygon* bowTie = level->PolygonAt(16);
    int cells = 0;
    for (uint32_t x = 0; x < 16; ++x)
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t z = 0; z < 16; ++z) {
                const auto& list = level->Cell({int32_t(x), int32_t(y), int32_t(z)}).polygons;
                cells += std::count(list.begin(), list.end(), bowTie) != 0;
            }
    EXPECT_GT(cells, 1);
}

} // namespace
