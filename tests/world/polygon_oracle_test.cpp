// The polygon tests the grid files and queries with, against independent
// double-precision answers on random and adversarial input: containment by
// the even-odd crossing rule, and box overlap by clipping the outline in
// doubles. Cases within rounding distance of the answer changing are left
// out; what remains must agree exactly.
#include "level_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

using namespace leveltest;

struct D3 {
    double x, y, z;
};

D3 ToD(const Vec3& v)
{
    return {v.x, v.y, v.z};
}

double Coord(const D3& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// Even-odd rule seen from above.
bool InsideXZ(const std::vector<D3>& ring, double px, double pz)
{
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const D3& a = ring[i];
        const D3& b = ring[j];
        if ((a.z > pz) != (b.z > pz) && px < (b.x - a.x) * (pz - a.z) / (b.z - a.z) + a.x)
            inside = !inside;
    }
    return inside;
}

double DistanceToOutlineXZ(const std::vector<D3>& ring, double px, double pz)
{
    double best = 1e300;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const double ex = ring[i].x - ring[j].x, ez = ring[i].z - ring[j].z;
        const double len = ex * ex + ez * ez;
        double t = len > 0 ? ((px - ring[j].x) * ex + (pz - ring[j].z) * ez) / len : 0;
        t = std::fmax(0, std::fmin(1, t));
        best = std::fmin(best, std::hypot(ring[j].x + t * ex - px, ring[j].z + t * ez - pz));
    }
    return best;
}

// Whether anything of the ring survives clipping to the box (doubles).
bool RingMeetsBox(std::vector<D3> ring, const D3& lo, const D3& hi)
{
    for (int plane = 0; plane < 6 && !ring.empty(); ++plane) {
        const int axis = plane / 2;
        const bool upper = plane % 2 == 0;
        const double limit = upper ? Coord(hi, axis) : Coord(lo, axis);
        auto in = [&](const D3& v) { return upper ? Coord(v, axis) <= limit : Coord(v, axis) >= limit; };
        std::vector<D3> out;
        for (size_t i = 0; i < ring.size(); ++i) {
            const D3& v = ring[i];
            const D3& w = ring[(i + 1) % ring.size()];
            if (in(v))
                out.push_back(v);
            if (in(v) != in(w)) {
                const double t = (limit - Coord(v, axis)) / (Coord(w, axis) - Coord(v, axis));
                out.push_back({v.x + (w.x - v.x) * t, v.y + (w.y - v.y) * t, v.z + (w.z - v.z) * t});
            }
        }
        ring = std::move(out);
    }
    return !ring.empty();
}

struct Shape {
    std::vector<Vec3> corners;
    bool convex; // the crossing rule and the edge tests agree only then
};

// Triangles and convex quads of all sizes and places, slivers, walls,
// polygons lying in a box face, huge coordinates and bow-ties.
std::vector<Shape> Shapes(Random& r)
{
    std::vector<Shape> shapes;
    for (int i = 0; i < 400; ++i) {
        const float scale = i % 5 == 0 ? 5000.0f : i % 5 == 1 ? 0.01f : 10.0f;
        const Vec3 base{r.Range(-1, 1) * scale, r.Range(-1, 1) * scale, r.Range(-1, 1) * scale};
        auto around = [&] { return base + Vec3(r.Range(-1, 1), r.Range(-1, 1), r.Range(-1, 1)) * scale; };
        switch (i % 4) {
        case 0:
            shapes.push_back({{base, around(), around()}, true});
            break;
        case 1: { // a planar parallelogram
            const Vec3 u = around() - base, v = around() - base;
            shapes.push_back({{base, base + u, base + u + v, base + v}, true});
            break;
        }
        case 2: { // a sliver: the third corner almost on the first edge
            const Vec3 b = around();
            shapes.push_back({{base, b, base + (b - base) * 0.5f + Vec3(0, 0, scale * 1e-4f)}, true});
            break;
        }
        default: { // a bow-tie: the corners of a parallelogram crossed over
            const Vec3 u = around() - base, v = around() - base;
            shapes.push_back({{base, base + u + v, base + u, base + v}, false});
        }
        }
    }
    // A wall and a floor lying exactly in the faces of the unit box.
    shapes.push_back({{{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {0, -1, 0}}, true});
    shapes.push_back({{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, true});
    return shapes;
}

struct Built {
    std::vector<Vec3> corners;
    CollisionTriangle triangle;
    CollisionQuad quad;
    CollisionPolygon* polygon = nullptr;

    explicit Built(const Shape& s) : corners(s.corners)
    {
        Vec3* c = corners.data();
        Vec3 normal = (c[1] - c[0]).Cross(c[2] - c[1]);
        if (corners.size() == 3) {
            for (int i = 0; i < 3; ++i)
                triangle.vertices_[i] = &c[i];
            polygon = &triangle;
        } else {
            for (int i = 0; i < 4; ++i)
                quad.vertices_[i] = &c[i];
            polygon = &quad;
        }
        polygon->SetSurface(nullptr, normal, 0);
    }
    std::vector<D3> Ring() const
    {
        std::vector<D3> ring;
        for (const Vec3& v : corners)
            ring.push_back(ToD(v));
        return ring;
    }
};

TEST(PolygonOracle, ContainmentSeenFromAboveAgreesWithTheCrossingRule)
{
    Random r(2027);
    int decided = 0;
    for (const Shape& s : Shapes(r)) {
        if (!s.convex)
            continue;
        Built b(s);
        const std::vector<D3> ring = b.Ring();
        Vec3 lo = b.polygon->MinCorner(), hi = b.polygon->MaxCorner();
        const float reach = std::fmax(hi.x - lo.x, hi.z - lo.z);
        for (int i = 0; i < 60; ++i) {
            Vec3 p{r.Range(lo.x - reach * 0.2f, hi.x + reach * 0.2f), 0, r.Range(lo.z - reach * 0.2f, hi.z + reach * 0.2f)};
            if (i % 6 == 0) // on an edge, as nearly as floats allow
                p = *b.polygon->Vertices()[i % b.polygon->VertexCount()] * 0.5f +
                    *b.polygon->Vertices()[(i + 1) % b.polygon->VertexCount()] * 0.5f;
            const double margin = 1e-4 * std::fmax(1.0, reach) + 1e-3 * std::fmax(1.0, std::fabs(p.x) + std::fabs(p.z)) * 1e-3;
            if (DistanceToOutlineXZ(ring, p.x, p.z) < margin)
                continue;
            ++decided;
            ASSERT_EQ(b.polygon->ContainsPointXZ(p, nullptr), InsideXZ(ring, p.x, p.z))
                << p.x << " " << p.z << " corners " << s.corners.size();
        }
    }
    EXPECT_GT(decided, 10000);
}

TEST(PolygonOracle, BoxOverlapAgreesWithClippingInDoubles)
{
    Random r(77);
    int decided = 0, overlaps = 0;
    for (const Shape& s : Shapes(r)) {
        Built b(s);
        const std::vector<D3> ring = b.Ring();
        const Vec3 lo = b.polygon->MinCorner(), hi = b.polygon->MaxCorner();
        const Vec3 size = hi - lo;
        const float reach = std::fmax(std::fmax(size.x, size.y), std::fmax(size.z, 1e-3f));
        std::vector<std::pair<Vec3, Vec3>> boxes;
        for (int i = 0; i < 40; ++i) {
            const Vec3 at{r.Range(lo.x - reach * 0.5f, hi.x + reach * 0.5f), r.Range(lo.y - reach * 0.5f, hi.y + reach * 0.5f),
                          r.Range(lo.z - reach * 0.5f, hi.z + reach * 0.5f)};
            const Vec3 extent = Vec3(r.Unit(), r.Unit(), r.Unit()) * (reach * (i % 2 ? 0.05f : 0.6f));
            boxes.push_back({at, at + extent});
        }
        boxes.push_back({lo, hi});                          // its own bounds: every corner on a face
        boxes.push_back({{0, -1, 0}, {1, 0, 1}});           // the unit box the face polygons lie in
        boxes.push_back({hi, hi + Vec3(1, 1, 1) * reach});  // touching at one corner only
        for (const auto& [boxLo, boxHi] : boxes) {
            const double margin = 1e-4 * reach + 1e-6 * (std::fabs(lo.x) + std::fabs(lo.y) + std::fabs(lo.z));
            const D3 dl = ToD(boxLo), dh = ToD(boxHi);
            const bool grown = RingMeetsBox(ring, {dl.x - margin, dl.y - margin, dl.z - margin},
                                            {dh.x + margin, dh.y + margin, dh.z + margin});
            const bool shrunk = dh.x - dl.x > 2 * margin && dh.y - dl.y > 2 * margin && dh.z - dl.z > 2 * margin &&
                                RingMeetsBox(ring, {dl.x + margin, dl.y + margin, dl.z + margin},
                                             {dh.x - margin, dh.y - margin, dh.z - margin});
            const int clip = b.polygon->ClipToBox(boxLo, boxHi);
            if (grown == shrunk) {
                ++decided;
                overlaps += grown;
                ASSERT_EQ(clip != 0, grown) << "corners " << s.corners.size() << " box " << boxLo.x << " "
                                            << boxLo.y << " " << boxLo.z;
            }
            // Whatever rounding decides, "wholly inside" means every corner is.
            if (clip == 2) {
                for (const Vec3& c : s.corners)
                    EXPECT_TRUE(c.x >= boxLo.x && c.x <= boxHi.x && c.y >= boxLo.y && c.y <= boxHi.y &&
                                c.z >= boxLo.z && c.z <= boxHi.z);
            }
        }
    }
    EXPECT_GT(decided, 10000);
    EXPECT_GT(overlaps, 500);
}

} // namespace
