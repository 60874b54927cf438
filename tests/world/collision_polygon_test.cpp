#include "world/collision_polygon.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <thread>
#include <vector>

namespace {

// The builder's normal: (B - A) x (C - B), so a polygon wound counter-
// clockwise seen from above (x right, z down the page, y into it) faces up,
// which is negative y.
template <typename P>
void Build(P& polygon, std::initializer_list<Vec3*> corners, uint32_t shapeFlags = 0)
{
    int i = 0;
    Vec3 sum{0, 0, 0};
    for (Vec3* c : corners) {
        polygon.vertices_[i++] = c;
        sum += *c;
    }
    const Vec3& a = *polygon.vertices_[0];
    const Vec3& b = *polygon.vertices_[1];
    const Vec3& c = *polygon.vertices_[2];
    polygon.SetSurface(nullptr, (b - a).Cross(c - b).Normalised(), shapeFlags);
    sum *= 1.0f / static_cast<float>(i);
    polygon.SetCentre(sum.x, sum.y, sum.z);
}

// A floor triangle at height 0 over (0,0) (4,0) (0,4) in x, z.
struct FloorTriangle {
    Vec3 corners[3] = {{0, 0, 0}, {4, 0, 0}, {0, 0, 4}};
    CollisionTriangle polygon;
    FloorTriangle() { Build(polygon, {&corners[0], &corners[1], &corners[2]}); }
};

// A floor square 0..10 in x and z at height 0.
struct FloorSquare {
    Vec3 corners[4] = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};
    CollisionQuad polygon;
    FloorSquare() { Build(polygon, {&corners[0], &corners[1], &corners[2], &corners[3]}); }
};

TEST(CollisionPolygon, SurfaceFromShapeData)
{
    const struct {
        const char* name;
        Vec3 normal;
        uint32_t shapeFlags;
        uint32_t flags;
        uint32_t storedYBits;
    } cases[] = {
        {"floor keeps only the shape bits", {0, -1, 0}, 0xFFFFFFFFu, 0xFFFC1u, std::bit_cast<uint32_t>(-1.0f)},
        {"wall is steep, ny 0 stored as -1e-5", {1, 0, 0}, 0x2u, 0x100u, 0xB727C5ACu},
        {"-0 counts as 0", {0, -0.0f, 1}, 0x1u, 0x101u, 0xB727C5ACu},
        {"45 degrees is not steep", {0.70710678f, -0.70710678f, 0}, 0, 0, std::bit_cast<uint32_t>(-0.70710678f)},
        {"just past 45 degrees is steep", {0.71f, -0.704f, 0}, 0, 0x100u, std::bit_cast<uint32_t>(-0.704f)},
        {"ceiling keeps its sign", {0, 1, 0}, 0x40u, 0x40u, std::bit_cast<uint32_t>(1.0f)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CollisionTriangle t;
        t.SetSurface(nullptr, c.normal, c.shapeFlags);
        EXPECT_EQ(t.flags_, c.flags);
        EXPECT_EQ(std::bit_cast<uint32_t>(t.normal_.y), c.storedYBits);
        EXPECT_EQ(t.normal_.x, c.normal.x);
        EXPECT_EQ(t.LinkCount(), 0u);
        EXPECT_EQ(t.Links(), nullptr);
        EXPECT_EQ(t.searchParent_, nullptr);
    }
}

TEST(CollisionPolygon, ContainmentSeenFromAboveIncludesEdgesAndCorners)
{
    FloorTriangle up;
    // The same corners wound the other way face down (ny > 0); the edge
    // tests flip with the sign, so the same points are inside.
    FloorTriangle down;
    Build(down.polygon, {&down.corners[0], &down.corners[2], &down.corners[1]});
    ASSERT_LT(up.polygon.normal_.y, 0);
    ASSERT_GT(down.polygon.normal_.y, 0);

    const struct {
        const char* name;
        Vec3 point;
        bool inside;
    } cases[] = {
        {"interior", {1, 7, 1}, true},
        {"on the closing edge (x = 0)", {0, 0, 2}, true},
        {"on the first edge (z = 0)", {2, 0, 0}, true},
        {"on the slanted edge", {2, -3, 2}, true},
        {"on a corner", {4, 0, 0}, true},
        {"just past the slanted edge", {2.001f, 0, 2}, false},
        {"just past x = 0", {-0.001f, 0, 1}, false},
        {"just past z = 0", {1, 0, -0.001f}, false},
        {"far away", {50, 0, 50}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (CollisionTriangle* t : {&up.polygon, &down.polygon}) {
            Vec3 normal{9, 9, 9};
            EXPECT_EQ(t->ContainsPointXZ(c.point, &normal), c.inside);
            EXPECT_EQ(normal, c.inside ? t->normal_ : Vec3(9, 9, 9));
            EXPECT_EQ(t->ContainsPointXZ(c.point, nullptr), c.inside);
        }
    }

    // A normal that disagrees with the winding puts every point outside but
    // the outline itself: the sign of ny chooses the side of every edge.
    up.polygon.normal_.y = 1;
    EXPECT_FALSE(up.polygon.ContainsPointXZ({1, 0, 1}, nullptr));
    EXPECT_FALSE(up.polygon.ContainsPointXZ({0, 0, 0}, nullptr));
}

TEST(CollisionPolygon, ContainsPointTestsAlongTheDominantAxis)
{
    // Off-plane points distinguish which projection is used: each point lies
    // inside one projection of the polygon and outside another.
    const struct {
        const char* name;
        Vec3 a, b, c;
        Vec3 point;
        bool inside;
    } cases[] = {
        // Wall x = 0, normal +x: tested on y, z wherever x is.
        {"x dominant, far off the wall", {0, 0, 0}, {0, -4, 0}, {0, 0, 4}, {5, -1, 1}, true},
        {"x dominant, outside in y, z", {0, 0, 0}, {0, -4, 0}, {0, 0, 4}, {5, -3, 3}, false},
        // Wall z = 0, normal -z: tested on x, y.
        {"z dominant, far off the wall", {0, 0, 0}, {4, 0, 0}, {0, -4, 0}, {1, -1, 7}, true},
        {"z dominant, outside in x, y", {0, 0, 0}, {4, 0, 0}, {0, -4, 0}, {3, -3, 7}, false},
        // Normal (0, -0.6, 0.8): z is largest though |ny| > |nx|, so x, y.
        // Projections: x, z (0,0) (1,0) (0,3); x, y (0,0) (1,0) (0,4).
        {"z largest, y beside it: inside x, z only", {0, 0, 0}, {1, 0, 0}, {0, 4, 3}, {0.2f, 3.9f, 0.2f}, false},
        {"z largest, y beside it: inside x, y only", {0, 0, 0}, {1, 0, 0}, {0, 4, 3}, {0.2f, 0.2f, 2.9f}, true},
        // The stored ny = -1e-5 of a wall facing z must not send it to the
        // x, z test, where its shadow is a line and its whole plane inside.
        {"z wall, on its plane beyond its end", {0, 0, 0}, {4, 0, 0}, {0, -4, 0}, {100, -1, 0}, false},
        {"z wall, on its plane within it", {0, 0, 0}, {4, 0, 0}, {0, -4, 0}, {1, -1, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 corners[3] = {c.a, c.b, c.c};
        CollisionTriangle t;
        Build(t, {&corners[0], &corners[1], &corners[2]});
        EXPECT_EQ(t.ContainsPoint(c.point, nullptr), c.inside);
    }
}

TEST(CollisionPolygon, IntersectLineMeetsThePlaneEitherWay)
{
    FloorTriangle floor;
    const struct {
        const char* name;
        Vec3 origin, dir;
        bool result;
        bool written;
        Vec3 point;
    } cases[] = {
        {"straight down onto the floor", {1, -5, 1}, {0, 1, 0}, true, true, {1, 0, 1}},
        {"plane behind the origin", {1, -5, 1}, {0, -2, 0}, true, true, {1, 0, 1}},
        {"slanted hit", {0, -2, 0}, {1, 2, 1}, true, true, {1, 0, 1}},
        {"meets the plane outside the triangle", {5, -5, 5}, {0, 1, 0}, false, true, {5, 0, 5}},
        {"parallel to the plane", {1, -5, 1}, {1, 0, 0}, false, false, {}},
        {"lies in the plane", {1, 0, 1}, {1, 0, 0}, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 out{7, 7, 7};
        Vec3 normal{7, 7, 7};
        EXPECT_EQ(floor.polygon.IntersectLine(out, c.origin, c.dir, &normal), c.result);
        EXPECT_EQ(out, c.written ? c.point : Vec3(7, 7, 7));
        EXPECT_EQ(normal, c.result ? floor.polygon.normal_ : Vec3(7, 7, 7));
    }
}

TEST(CollisionPolygon, ProjectionsAlongEachAxis)
{
    // Slope y = x / 2 over (0,0) (4,0) (0,4) in x, z; it faces up.
    Vec3 slope[3] = {{0, 0, 0}, {4, 2, 0}, {0, 0, 4}};
    CollisionTriangle ramp;
    Build(ramp, {&slope[0], &slope[1], &slope[2]});
    ASSERT_LT(ramp.normal_.y, 0);

    Vec3 p{1, -10, 1};
    EXPECT_TRUE(ramp.ProjectY(p, nullptr));
    EXPECT_FLOAT_EQ(p.y, 0.5f);
    EXPECT_EQ(p.x, 1);
    Vec3 outside{3, -10, 3};
    EXPECT_FALSE(ramp.ProjectY(outside, nullptr));
    EXPECT_EQ(outside, Vec3(3, -10, 3));

    // Wall x = 2 facing +x, and wall z = 3 facing -z.
    Vec3 wallX[4] = {{2, 0, 0}, {2, -4, 0}, {2, -4, 4}, {2, 0, 4}};
    CollisionQuad xWall;
    Build(xWall, {&wallX[0], &wallX[1], &wallX[2], &wallX[3]});
    // The walls' stored ny = -1e-5 tilts their planes by that much: 1e-5
    // per unit of height from the first corner.
    Vec3 q{-7, -1, 1};
    EXPECT_TRUE(xWall.ProjectX(q, nullptr));
    EXPECT_NEAR(q.x, 2, 2e-5);
    EXPECT_EQ(q.y, -1);
    EXPECT_EQ(q.z, 1);

    Vec3 wallZ[4] = {{0, 0, 3}, {4, 0, 3}, {4, -4, 3}, {0, -4, 3}};
    CollisionQuad zWall;
    Build(zWall, {&wallZ[0], &wallZ[1], &wallZ[2], &wallZ[3]});
    Vec3 r{1, -1, 40};
    Vec3 normal{};
    EXPECT_TRUE(zWall.ProjectZ(r, &normal));
    EXPECT_NEAR(r.z, 3, 2e-5);
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(normal, zWall.normal_);
    Vec3 beside{5, -1, 40};
    EXPECT_FALSE(zWall.ProjectZ(beside, nullptr));
    EXPECT_EQ(beside.z, 40);
}

TEST(CollisionPolygon, HighestPointUnderADisc)
{
    Vec3 slope[3] = {{0, 0, 0}, {4, 2, 0}, {0, 0, 4}}; // y = x / 2, highest at x = 0
    CollisionTriangle ramp;
    Build(ramp, {&slope[0], &slope[1], &slope[2]});
    // y = -1 + (x + z) / 4: corner (0, -1, 0) is its highest point.
    Vec3 peakCorners[3] = {{0, -1, 0}, {4, 0, 0}, {0, 0, 4}};
    CollisionTriangle peak;
    Build(peak, {&peakCorners[0], &peakCorners[1], &peakCorners[2]});

    const struct {
        const char* name;
        const CollisionTriangle* polygon;
        Vec3 centre;
        float radius;
        bool found;
        float y;
    } cases[] = {
        // The rim point up the slope (x - r) lies on the ramp.
        {"rim point over the ramp", &ramp, {2, -9, 1}, 0.5f, true, 0.75f},
        // Rim point off the ramp; the x = 0 edge crosses the disc.
        {"edge crossing the rim", &ramp, {-0.3f, -9, 2}, 0.5f, true, 0.0f},
        // Corner (4, 2, 0) inside the disc, the rim point off the ramp: the
        // edge along z = 0 leaves the disc highest, at x = 4.2 - sqrt(0.12).
        {"corner inside the disc", &ramp, {4.2f, -9, -0.2f}, 0.4f, true, 1.926795f},
        {"disc beside the ramp", &ramp, {-2, -9, 2}, 1.0f, false, -9},
        // Rim point off the polygon; the corner beats the edges leaving it.
        {"highest corner inside the disc", &peak, {-0.2f, -9, -0.2f}, 0.5f, true, -1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 p = c.centre;
        Vec3 normal{7, 7, 7};
        EXPECT_EQ(c.polygon->ProjectYUnderDisc(p, c.radius, normal), c.found);
        EXPECT_NEAR(p.y, c.y, 1e-3f);
        EXPECT_EQ(p.x, c.centre.x);
        EXPECT_EQ(p.z, c.centre.z);
        EXPECT_EQ(normal, c.found ? c.polygon->normal_ : Vec3(7, 7, 7));
    }
}

TEST(CollisionPolygon, EdgeExitTimesAhead)
{
    FloorSquare square;
    const struct {
        const char* name;
        Vec3 point, dir;
        float radius;
        int32_t touch, cross;
    } cases[] = {
        {"towards x = 10", {5, 0, 5}, {1, 0, 0}, 2, 3, 5},
        {"faster: times shrink and are floored", {5, 0, 5}, {2, 0, 0}, 2, 1, 2},
        {"already touching: touch clamps to 0", {9, 0, 5}, {1, 0, 0}, 2, 0, 1},
        {"towards z = 0", {5, 0, 4}, {0, 0, -1}, 1, 3, 4},
        {"diagonal: the nearer edge wins", {8, 0, 5}, {1, 0, 1}, 0, 2, 2},
        {"standing still: no edge ahead", {5, 0, 5}, {0, 0, 0}, 1, INT32_MAX, INT32_MAX},
        {"straight up: no edge ahead", {5, 0, 5}, {0, -1, 0}, 1, INT32_MAX, INT32_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t touch = -7, cross = -7;
        square.polygon.EdgeExitTimes(c.point, c.dir, c.radius, touch, cross);
        EXPECT_EQ(touch, c.touch);
        EXPECT_EQ(cross, c.cross);
    }
}

TEST(CollisionPolygon, DiscOverlapSeenFromAbove)
{
    FloorTriangle floor;
    // A wall seen from above is a line with zero-length edges where its
    // corners stand on top of each other.
    Vec3 wallCorners[4] = {{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {0, -1, 0}};
    CollisionQuad wall;
    Build(wall, {&wallCorners[0], &wallCorners[1], &wallCorners[2], &wallCorners[3]});

    const struct {
        const char* name;
        const CollisionPolygon* polygon;
        Vec3 centre;
        float radius;
        bool overlaps;
    } cases[] = {
        {"centre inside", &floor.polygon, {1, 0, 1}, 0.1f, true},
        {"corner within the radius", &floor.polygon, {-0.3f, 0, -0.3f}, 0.5f, true},
        {"slanted edge crosses the disc", &floor.polygon, {2.5f, 0, 2.5f}, 0.8f, true},
        {"slanted edge just out of reach", &floor.polygon, {2.5f, 0, 2.5f}, 0.6f, false},
        {"far away", &floor.polygon, {20, 0, 20}, 1, false},
        {"wall crossing the disc", &wall, {0.5f, 0, 0.5f}, 0.6f, true},
        {"wall far from the disc", &wall, {50, 0, 5}, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.polygon->OverlapsDiscXZ(c.centre, c.radius), c.overlaps);
    }
}

TEST(CollisionPolygon, PointAheadIsAMillimetreOn)
{
    FloorTriangle floor;
    const Vec3 onEdge{2, 0, 0};
    EXPECT_TRUE(floor.polygon.ContainsPointAhead(onEdge, {0, 0, 5}));
    EXPECT_FALSE(floor.polygon.ContainsPointAhead(onEdge, {0, 0, -5}));
    // A millimetre is too little to leave from inside.
    EXPECT_TRUE(floor.polygon.ContainsPointAhead({2, 0, 0.01f}, {0, 0, -1}));
    EXPECT_FALSE(floor.polygon.ContainsPointAhead({2, 0, 0.0005f}, {0, 0, -1}));
}

TEST(CollisionPolygon, BoxClipping)
{
    const Vec3 boxMin{0, 0, 0};
    const Vec3 boxMax{10, 10, 10};
    const struct {
        const char* name;
        std::vector<Vec3> corners;
        int result;
    } cases[] = {
        {"wholly inside", {{1, 1, 1}, {5, 1, 1}, {1, 1, 5}}, 2},
        {"corners on the faces count as inside", {{0, 0, 0}, {10, 5, 0}, {0, 10, 10}}, 2},
        {"one corner inside", {{5, 5, 5}, {20, 5, 5}, {5, 5, 20}}, 1},
        {"spans the box, no corner inside", {{-10, 5, -10}, {40, 5, -10}, {-10, 5, 40}}, 1},
        {"wholly beyond one face", {{11, 0, 0}, {20, 5, 5}, {15, 9, 9}}, 0},
        {"passes outside a corner", {{22, 5, -1}, {30, 5, 30}, {-1, 5, 22}}, 0},
        {"touches a face along an edge", {{10, 5, -5}, {20, 5, 5}, {10, 5, 15}}, 1},
        {"passes just beyond a vertical edge of the box", {{10, 5, 11}, {20, 5, 5}, {11, 5, 10}}, 0},
        {"grazes the corner point", {{12, 5, 8}, {20, 5, 20}, {8, 5, 12}}, 1},
        {"slanted through, corners above and below", {{-5, -5, 5}, {15, -5, 5}, {5, 15, 5}}, 1},
        {"wholly above, other outcodes differing", {{-5, -1, 5}, {15, -1, -5}, {5, -1, 15}}, 0},
        {"quad spanning the box", {{-5, 5, -5}, {15, 5, -5}, {15, 5, 15}, {-5, 5, 15}}, 1},
        {"quad wholly beyond y max", {{-5, 11, -5}, {15, 11, -5}, {15, 12, 15}, {-5, 12, 15}}, 0},
        {"quad through a slab, corners on every side", {{-5, -5, 5}, {15, -5, 5}, {15, 15, 5}, {-5, 15, 5}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Vec3> corners = c.corners;
        int got = -1;
        if (corners.size() == 3) {
            CollisionTriangle t;
            Build(t, {&corners[0], &corners[1], &corners[2]});
            got = t.ClipToBox(boxMin, boxMax);
        } else {
            CollisionQuad q;
            Build(q, {&corners[0], &corners[1], &corners[2], &corners[3]});
            got = q.ClipToBox(boxMin, boxMax);
        }
        EXPECT_EQ(got, c.result);
    }
}

TEST(CollisionPolygon, SharedCornersArePointersNotCoordinates)
{
    Vec3 grid[5] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}, {2, 0, 0}};
    Vec3 copyOfCorner1 = grid[1];
    CollisionTriangle a, sharesEdge, sharesCorner, sharesNothing, sameCoordinates;
    Build(a, {&grid[0], &grid[1], &grid[2]});
    Build(sharesEdge, {&grid[2], &grid[1], &grid[3]});
    Build(sharesCorner, {&grid[1], &grid[4], &grid[3]});
    Build(sharesNothing, {&grid[3], &grid[4], &copyOfCorner1});
    Build(sameCoordinates, {&grid[0], &copyOfCorner1, &grid[3]});

    EXPECT_TRUE(a.SharesVertex(sharesEdge));
    EXPECT_TRUE(a.SharesEdge(sharesEdge));
    EXPECT_TRUE(a.SharesVertex(sharesCorner));
    EXPECT_FALSE(a.SharesEdge(sharesCorner));
    EXPECT_FALSE(a.SharesVertex(sharesNothing));
    EXPECT_TRUE(a.SharesVertex(sameCoordinates));
    EXPECT_FALSE(a.SharesEdge(sameCoordinates)); // corner 1 only matches by value
}

TEST(CollisionPolygon, NeighbourAcrossEdge)
{
    // Triangle (0,0) (1,0) (0,1) in x, z and polygons around its edges.
    Vec3 v[8] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}, {10, 0, -8}, {-1, 0, 0}, {0, 0, -1}, {-0.5f, 0, -0.5f}};
    CollisionTriangle base, rotated, across, skewed, below, allCorners, folded, oneCorner;
    Build(base, {&v[0], &v[1], &v[2]});
    Build(rotated, {&v[2], &v[0], &v[1]});    // shared corners first and last
    Build(across, {&v[2], &v[1], &v[3]});     // the square's other half
    Build(skewed, {&v[2], &v[1], &v[4]});     // centre line meets the edge's line beyond its ends
    Build(below, {&v[0], &v[6], &v[1]});      // across the edge z = 0
    Build(allCorners, {&v[0], &v[1], &v[2]});
    Build(folded, {&v[1], &v[2], &v[7]});     // shares the edge, centre on this side
    Build(oneCorner, {&v[5], &v[6], &v[0]});  // only the corner (0,0)

    const struct {
        const char* name;
        const CollisionTriangle* self;
        const CollisionTriangle* other;
        bool neighbour;
    } cases[] = {
        {"square halves", &base, &across, true},
        {"square halves, other way", &across, &base, true},
        {"edge closing the winding", &rotated, &across, true},
        {"edge below", &base, &below, true},
        {"centre line misses the edge", &base, &skewed, false},
        {"one shared corner", &base, &oneCorner, false},
        {"all three shared", &base, &allCorners, false},
        {"folded onto the same side", &base, &folded, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.self->IsNeighbourAcrossEdge(*c.other), c.neighbour);
    }
}

TEST(CollisionPolygon, LinksAddAndRemove)
{
    CollisionTriangle self;
    std::vector<CollisionTriangle> others(9);
    for (CollisionTriangle& o : others)
        EXPECT_EQ(self.AddLink(&o), static_cast<uint32_t>(&o - others.data()) + 1);
    for (CollisionTriangle& o : others)
        EXPECT_TRUE(self.IsLinkedTo(&o));

    // Removing moves the last link into the freed slot.
    EXPECT_EQ(self.RemoveLinkAt(2), 8u);
    EXPECT_EQ(self.LinkAt(2), &others[8]);
    EXPECT_FALSE(self.IsLinkedTo(&others[2]));
    EXPECT_EQ(self.RemoveLink(&others[0]), 7u);
    EXPECT_EQ(self.LinkAt(0), &others[7]);

    // Mistakes change nothing.
    CollisionTriangle stranger;
    EXPECT_EQ(self.RemoveLink(&stranger), 7u);
    EXPECT_EQ(self.RemoveLink(&others[2]), 7u);
    EXPECT_EQ(self.RemoveLinkAt(7), 7u);
    EXPECT_EQ(self.RemoveLinkAt(UINT32_MAX), 7u);

    // Down through the shrink from five to four, then to none.
    const std::vector<CollisionPolygon*> expected = {&others[7], &others[1], &others[8], &others[3],
                                                     &others[4], &others[5], &others[6]};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(self.LinkAt(static_cast<uint32_t>(i)), expected[i]);
    for (uint32_t left = 7; left > 0; --left) {
        EXPECT_EQ(self.RemoveLink(expected[left - 1]), left - 1);
        for (uint32_t i = 0; i + 1 < left; ++i)
            EXPECT_EQ(self.LinkAt(i), expected[i]);
    }
    EXPECT_EQ(self.Links(), nullptr);
    EXPECT_EQ(self.RemoveLinkAt(0), 0u);

    // The array grows again from nothing.
    EXPECT_EQ(self.AddLink(&others[0]), 1u);
    EXPECT_EQ(self.LinkAt(0), &others[0]);
}

TEST(CollisionPolygon, NearestLinkedByCentre)
{
    CollisionTriangle self, near, far, tie;
    self.SetCentre(0, 0, 0);
    near.SetCentre(1, 0, 1);
    far.SetCentre(5, 0, 5);
    tie.SetCentre(-1, 0, 1);
    EXPECT_EQ(self.NearestLinked({1, 0, 1}), &self);

    self.AddLink(&far);
    self.AddLink(&near);
    self.AddLink(&tie);
    EXPECT_EQ(self.NearestLinked({1, 0, 1}), &near);
    EXPECT_EQ(self.NearestLinked({4, 0, 6}), &far);
    // Distance is 3-D: a point high above `near` is still nearest to it.
    EXPECT_EQ(self.NearestLinked({1, -3, 1}), &near);
    // The first of equals wins.
    EXPECT_EQ(self.NearestLinked({0, 0, 1}), &near);
}

TEST(CollisionPolygon, ReversedFacesTheOtherWay)
{
    FloorSquare square;
    square.polygon.sourceShape_ = reinterpret_cast<ShapeInstance*>(&square);
    CollisionPolygon& reversed = square.polygon.Reversed();
    ASSERT_EQ(reversed.VertexCount(), 4);
    EXPECT_EQ(reversed.normal_, -square.polygon.normal_);
    EXPECT_EQ(reversed.sourceShape_, square.polygon.sourceShape_);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reversed.Vertices()[i], square.polygon.Vertices()[3 - i]);
    // Winding and normal flip together: the same points are inside.
    EXPECT_TRUE(reversed.ContainsPointXZ({5, 0, 5}, nullptr));
    EXPECT_FALSE(reversed.ContainsPointXZ({11, 0, 5}, nullptr));

    // Another thread's scratch is its own: it neither moves nor overwrites
    // this thread's result.
    FloorTriangle other;
    CollisionPolygon* otherThreads = nullptr;
    std::thread([&] { otherThreads = &other.polygon.Reversed(); }).join();
    CollisionTriangle triangleHere;
    Build(triangleHere, {&other.corners[0], &other.corners[1], &other.corners[2]});
    EXPECT_NE(&triangleHere.Reversed(), otherThreads);
    EXPECT_EQ(reversed.Vertices()[0], &square.corners[3]);
}

TEST(CollisionPolygon, IteratorWalksTrianglesThenQuads)
{
    CollisionTriangle triangles[2];
    CollisionQuad quads[3];
    PolygonIterator it;
    it.Begin(triangles, 2, quads, 3);
    std::vector<CollisionPolygon*> seen;
    while (!it.AtEnd()) {
        seen.push_back(it.Current());
        it.Next();
    }
    const std::vector<CollisionPolygon*> expected = {&triangles[0], &triangles[1], &quads[0], &quads[1], &quads[2]};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(it.Current(), nullptr);
    it.Next(); // at the end: stays there
    EXPECT_TRUE(it.AtEnd());

    it.Begin(nullptr, 0, quads, 1);
    EXPECT_EQ(it.Current(), &quads[0]);
    it.Begin(triangles, 1, nullptr, 0);
    EXPECT_EQ(it.Current(), &triangles[0]);
    it.Next();
    EXPECT_TRUE(it.AtEnd());
}

TEST(CollisionPolygon, Corners)
{
    Vec3 corners[4] = {{3, -1, 2}, {-4, 5, 0}, {1, 2, -6}, {0, 0, 9}};
    CollisionQuad q;
    Build(q, {&corners[0], &corners[1], &corners[2], &corners[3]});
    EXPECT_EQ(q.MinCorner(), Vec3(-4, -1, -6));
    EXPECT_EQ(q.MaxCorner(), Vec3(3, 5, 9));
}

} // namespace
