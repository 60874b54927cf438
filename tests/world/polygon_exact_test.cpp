// The polygon tests the grid files and queries with, against exact answers
// on the very float coordinates they are given: containment seen from
// above, box overlap and the polygon under a point of a random level.
// Points and boxes within rounding distance of the exact answer changing
// are left out; what remains must agree. Points exactly on an edge shared
// by two polygons must fall in at least one of them (no cracks to fall
// through).
#include "level_fixture.h"

#include <gtest/gtest.h>

#if __has_include(<CGAL/Exact_predicates_inexact_constructions_kernel.h>)
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_2.h>
#include <CGAL/intersections.h>
#define HAVE_EXACT_KERNEL 1
#endif

#include <cmath>
#include <vector>

namespace {

using namespace leveltest;

#ifdef HAVE_EXACT_KERNEL

// Exact predicates on the given doubles; distances only set margins.
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using P2 = K::Point_2;
using P3 = K::Point_3;

P2 Xz(const Vec3& v)
{
    return {v.x, v.z};
}

P3 Exact(const Vec3& v)
{
    return {v.x, v.y, v.z};
}

CGAL::Polygon_2<K> OutlineXZ(const std::vector<Vec3>& corners)
{
    CGAL::Polygon_2<K> outline;
    for (const Vec3& c : corners)
        outline.push_back(Xz(c));
    return outline;
}

// Exact squared distance from p to the outline seen from above.
K::FT DistanceSquaredXZ(const CGAL::Polygon_2<K>& outline, const P2& p)
{
    K::FT best = CGAL::squared_distance(outline.edge(0), p);
    for (auto e = outline.edges_begin(); e != outline.edges_end(); ++e)
        best = CGAL::min(best, CGAL::squared_distance(*e, p));
    return best;
}

// Holds a triangle or quad polygon over its own corners.
struct Built {
    std::vector<Vec3> corners;
    CollisionTriangle triangle;
    CollisionQuad quad;
    CollisionPolygon* polygon = nullptr;

    explicit Built(std::vector<Vec3> c) : corners(std::move(c))
    {
        const Vec3 normal = (corners[1] - corners[0]).Cross(corners[2] - corners[1]);
        if (corners.size() == 3) {
            for (int i = 0; i < 3; ++i)
                triangle.vertices_[i] = &corners[i];
            polygon = &triangle;
        } else {
            for (int i = 0; i < 4; ++i)
                quad.vertices_[i] = &corners[i];
            polygon = &quad;
        }
        polygon->SetSurface(nullptr, normal, 0);
    }
};

// Triangles and convex quads (their outline seen from above strictly
// convex), at small, ordinary and huge scales, slivers included.
std::vector<std::vector<Vec3>> ConvexShapes(Random& r)
{
    std::vector<std::vector<Vec3>> shapes;
    for (int i = 0; i < 300; ++i) {
        const float scale = i % 3 == 0 ? 4000.0f : i % 3 == 1 ? 0.02f : 10.0f;
        const Vec3 base{r.Range(-1, 1) * scale, r.Range(-1, 1) * scale, r.Range(-1, 1) * scale};
        auto around = [&] { return base + Vec3(r.Range(-1, 1), r.Range(-1, 1), r.Range(-1, 1)) * scale; };
        std::vector<Vec3> s;
        if (i % 3 == 2) { // a sliver: the third corner almost on the first edge
            const Vec3 b = around();
            s = {base, b, base + (b - base) * 0.5f + Vec3(scale * 1e-4f, 0, scale * 1e-4f)};
        } else if (i % 2 == 0) {
            s = {base, around(), around()};
        } else {
            const Vec3 u = around() - base, v = around() - base;
            s = {base, base + u, base + u + v, base + v};
        }
        const auto outline = OutlineXZ(s);
        if (outline.is_simple() && outline.is_convex() && outline.area() != 0)
            shapes.push_back(std::move(s));
    }
    return shapes;
}

TEST(PolygonExact, ContainmentSeenFromAboveAgreesWithExactSides)
{
    Random r(4099);
    int inside = 0, outside = 0;
    for (const auto& corners : ConvexShapes(r)) {
        Built b(corners);
        const auto outline = OutlineXZ(corners);
        const Vec3 lo = b.polygon->MinCorner(), hi = b.polygon->MaxCorner();
        const float reach = std::fmax(hi.x - lo.x, hi.z - lo.z);
        const double margin = 1e-4 * reach + 1e-6 * (std::fabs(lo.x) + std::fabs(lo.z) + reach);
        for (int i = 0; i < 80; ++i) {
            const Vec3 p{r.Range(lo.x - reach * 0.2f, hi.x + reach * 0.2f), 0,
                         r.Range(lo.z - reach * 0.2f, hi.z + reach * 0.2f)};
            if (DistanceSquaredXZ(outline, Xz(p)) < K::FT(margin * margin))
                continue;
            const bool exact = outline.bounded_side(Xz(p)) == CGAL::ON_BOUNDED_SIDE;
            (exact ? inside : outside)++;
            ASSERT_EQ(b.polygon->ContainsPointXZ(p, nullptr), exact)
                << p.x << " " << p.z << " corners " << corners.size();
        }
        // Every corner and every float point exactly on an edge: the
        // polygon's own boundary belongs to it.
        for (size_t i = 0; i < corners.size(); ++i) {
            const Vec3& a = corners[i];
            const Vec3& c = corners[(i + 1) % corners.size()];
            const Vec3 mid = a * 0.5f + c * 0.5f;
            if (outline.bounded_side(Xz(mid)) == CGAL::ON_BOUNDARY) {
                EXPECT_TRUE(b.polygon->ContainsPointXZ(mid, nullptr)) << "edge point of corners " << corners.size();
            }
        }
    }
    EXPECT_GT(inside, 2000);
    EXPECT_GT(outside, 2000);
}

// A polygon as exact triangles (a quad as its fan from the first corner).
std::vector<K::Triangle_3> Triangles(const std::vector<Vec3>& c)
{
    std::vector<K::Triangle_3> t;
    t.emplace_back(Exact(c[0]), Exact(c[1]), Exact(c[2]));
    if (c.size() == 4)
        t.emplace_back(Exact(c[0]), Exact(c[2]), Exact(c[3]));
    return t;
}

bool MeetsBox(const std::vector<K::Triangle_3>& triangles, const Vec3& lo, const Vec3& hi, double grow)
{
    const K::Iso_cuboid_3 box(P3(lo.x - grow, lo.y - grow, lo.z - grow), P3(hi.x + grow, hi.y + grow, hi.z + grow));
    for (const auto& t : triangles)
        if (!t.is_degenerate() && CGAL::do_intersect(t, box))
            return true;
    return false;
}

TEST(PolygonExact, BoxOverlapAgreesWithExactIntersection)
{
    Random r(8191);
    int meets = 0, misses = 0;
    std::vector<std::vector<Vec3>> shapes = ConvexShapes(r);
    // Adversarial: a wall and a floor lying exactly in faces of the unit box.
    shapes.push_back({{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {0, -1, 0}});
    shapes.push_back({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}});
    for (const auto& corners : shapes) {
        // Quads only when planar in exact terms: the fan is then the polygon.
        if (corners.size() == 4 && !CGAL::coplanar(Exact(corners[0]), Exact(corners[1]), Exact(corners[2]),
                                                   Exact(corners[3])))
            continue;
        Built b(corners);
        const auto triangles = Triangles(corners);
        const Vec3 lo = b.polygon->MinCorner(), hi = b.polygon->MaxCorner();
        const Vec3 size = hi - lo;
        const float reach = std::fmax(std::fmax(size.x, size.y), std::fmax(size.z, 1e-3f));
        const double margin = 1e-4 * reach + 1e-6 * (std::fabs(lo.x) + std::fabs(lo.y) + std::fabs(lo.z));
        std::vector<std::pair<Vec3, Vec3>> boxes;
        for (int i = 0; i < 40; ++i) {
            const Vec3 at{r.Range(lo.x - reach * 0.5f, hi.x + reach * 0.5f),
                          r.Range(lo.y - reach * 0.5f, hi.y + reach * 0.5f),
                          r.Range(lo.z - reach * 0.5f, hi.z + reach * 0.5f)};
            boxes.push_back({at, at + Vec3(r.Unit(), r.Unit(), r.Unit()) * (reach * (i % 2 ? 0.05f : 0.6f))});
        }
        boxes.push_back({lo, hi});                         // its own bounds
        boxes.push_back({{0, -1, 0}, {1, 0, 1}});          // the unit box
        boxes.push_back({hi, hi + Vec3(1, 1, 1) * reach}); // touching at a corner at most
        for (const auto& [boxLo, boxHi] : boxes) {
            const bool grown = MeetsBox(triangles, boxLo, boxHi, margin);
            const Vec3 span = boxHi - boxLo;
            const bool shrunk = span.x > 2 * margin && span.y > 2 * margin && span.z > 2 * margin &&
                                MeetsBox(triangles, boxLo, boxHi, -margin);
            if (grown != shrunk)
                continue;
            (grown ? meets : misses)++;
            ASSERT_EQ(b.polygon->ClipToBox(boxLo, boxHi) != 0, grown)
                << "corners " << corners.size() << " box " << boxLo.x << " " << boxLo.y << " " << boxLo.z;
        }
    }
    EXPECT_GT(meets, 500);
    EXPECT_GT(misses, 500);
}

// A random level of up-facing triangles over a jittered lattice: they tile
// the square without gaps or overlaps seen from above.
TEST(PolygonExact, PolygonUnderAPointOnARandomLevelAgreesWithExactSides)
{
    Random r(131);
    constexpr int kN = 12;
    constexpr float kCell = 2.0f;
    Vec3 lattice[kN + 1][kN + 1];
    for (int i = 0; i <= kN; ++i)
        for (int k = 0; k <= kN; ++k) {
            const bool rim = i == 0 || k == 0 || i == kN || k == kN;
            const float jx = rim ? 0 : r.Range(-0.4f, 0.4f), jz = rim ? 0 : r.Range(-0.4f, 0.4f);
            lattice[i][k] = {(static_cast<float>(i) + jx) * kCell, -r.Range(0, 1),
                             (static_cast<float>(k) + jz) * kCell};
        }
    CollisionSource source;
    std::vector<std::vector<Vec3>> triangles;
    for (int i = 0; i < kN; ++i)
        for (int k = 0; k < kN; ++k) {
            const Vec3 a = lattice[i][k], b = lattice[i + 1][k], c = lattice[i + 1][k + 1], d = lattice[i][k + 1];
            for (const auto& t : {std::vector<Vec3>{a, b, c}, std::vector<Vec3>{a, c, d}}) {
                AddPolygon(source, {t[0], t[1], t[2]});
                triangles.push_back(t);
            }
        }
    auto level = MakeLevel(source, 6, 1, 6);
    std::vector<CGAL::Polygon_2<K>> outlines;
    for (const auto& t : triangles)
        outlines.push_back(OutlineXZ(t));

    const float size = kN * kCell;
    int decided = 0, seams = 0;
    for (int i = 0; i < 4000; ++i) {
        Vec3 p{r.Range(-0.1f * size, 1.1f * size), 0, r.Range(-0.1f * size, 1.1f * size)};
        const bool onSeam = i % 4 == 0;
        if (onSeam) { // a float point on an edge shared by two triangles
            const auto& t = triangles[static_cast<size_t>(r.Below(static_cast<int>(triangles.size())))];
            p = t[0] * 0.5f + t[2] * 0.5f;
        }
        p.y = -2; // above every triangle
        int exactInside = -1;
        bool nearEdge = false, onBoundary = false;
        for (size_t k = 0; k < outlines.size(); ++k) {
            const auto side = outlines[k].bounded_side(Xz(p));
            onBoundary |= side == CGAL::ON_BOUNDARY;
            if (DistanceSquaredXZ(outlines[k], Xz(p)) < K::FT(1e-8))
                nearEdge = true;
            else if (side == CGAL::ON_BOUNDED_SIDE)
                exactInside = static_cast<int>(k);
        }
        const CollisionPolygon* found = level->FindPolygonAtPosition(p);
        if (onSeam && onBoundary) {
            ++seams;
            EXPECT_NE(found, nullptr) << "crack at " << p.x << " " << p.z;
            continue;
        }
        if (nearEdge)
            continue;
        ++decided;
        if (exactInside < 0) {
            EXPECT_EQ(found, nullptr) << p.x << " " << p.z;
        } else {
            ASSERT_NE(found, nullptr) << p.x << " " << p.z;
            EXPECT_EQ(OutlineXZ({*found->Vertices()[0], *found->Vertices()[1], *found->Vertices()[2]})
                          .bounded_side(Xz(p)),
                      CGAL::ON_BOUNDED_SIDE)
                << p.x << " " << p.z;
        }
    }
    EXPECT_GT(decided, 2000);
    EXPECT_GT(seams, 100);
}

#else

TEST(PolygonExact, ExactKernelInstalled)
{
    GTEST_SKIP() << "the exact geometry headers are not installed (scripts/install-deps.sh)";
}

#endif

} // namespace
