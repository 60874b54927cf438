#include "Veapi/primitives.h"

#include <algorithm>
#include <cstring>

#include "app/math_tables.h"

namespace {

constexpr float kHalf = 0.49995f;
constexpr float kOne = 0.9999f;
constexpr uint32_t kFormat = VeShape::kPrimitiveFormat;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

void Put(SubMesh& m, uint32_t i, const Vertex& v)
{
    std::memcpy(m.vertices.data() + size_t(i) * 32, &v, 32);
}

void SetIndices(SubMesh& m, std::initializer_list<uint16_t> list)
{
    std::copy(list.begin(), list.end(), m.indices.begin());
}

void Bounds(VeShape& s, Vec3 lo, Vec3 hi)
{
    s.min_ = lo;
    s.max_ = hi;
}

int32_t CeilDiv(int32_t a, int32_t b)
{
    return int32_t((int64_t(a) + b - 1) / b);
}

void Triangle(VeShape& s, const PrimitiveDesc& d)
{
    SubMesh& m = *s.AddSubMesh(3, 3, kFormat, false);
    const float across = float(d.p1) / 1024.0f, along = float(d.p2) / 1024.0f;
    Put(m, 0, {0, 0, 0, 0, -1, 0, 0, along});
    Put(m, 1, {-0.5f, 0, 1, 0, -1, 0, 0, 0});
    Put(m, 2, {0.5f, 0, 1, 0, -1, 0, across, 0});
    SetIndices(m, {0, 1, 2});
    Bounds(s, {-kHalf, 0, 0}, {kHalf, 0, kOne});
}

void UnitQuad(VeShape& s, const PrimitiveDesc& d)
{
    SubMesh& m = *s.AddSubMesh(4, 6, kFormat, true);
    const float u = float(d.p1) / 1024.0f, v = float(d.p2) / 1024.0f;
    Put(m, 0, {0, 0, 0, 0, 0, -1, 0, 0});
    Put(m, 1, {1, 0, 0, 0, 0, -1, u, 0});
    Put(m, 2, {1, 1, 0, 0, 0, -1, u, v});
    Put(m, 3, {0, 1, 0, 0, 0, -1, 0, v});
    Bounds(s, {0, 0, 0}, {kOne, kOne, 0});
}

void FlatQuadVertices(SubMesh& m, uint32_t first, float u, float v, bool flipped)
{
    const Vertex q[4] = {{-kHalf, 0, -kHalf, 0, -1, 0, 0, 0},
                         {-kHalf, 0, kHalf, 0, -1, 0, 0, v},
                         {kHalf, 0, kHalf, 0, -1, 0, u, v},
                         {kHalf, 0, -kHalf, 0, -1, 0, u, 0}};
    for (uint32_t i = 0; i < 4; ++i) {
        Vertex x = q[flipped ? 3 - i : i];
        if (flipped)
            x.ny = 1;  // the back copy faces the other way, so light it from that side
        Put(m, first + i, x);
    }
}

void FlatQuad(VeShape& s, const PrimitiveDesc& d)
{
    SubMesh& m = *s.AddSubMesh(4, 6, kFormat, true);
    FlatQuadVertices(m, 0, float(d.p1), float(d.p2), false);
    Bounds(s, {-kHalf, 0, -kHalf}, {kHalf, 0, kHalf});
}

void DoubleQuad(VeShape& s, const PrimitiveDesc& d)
{
    SubMesh& m = *s.AddSubMesh(8, 12, kFormat, false);
    FlatQuadVertices(m, 0, float(d.p1), float(d.p2), false);
    FlatQuadVertices(m, 4, float(d.p1), float(d.p2), true);
    SetIndices(m, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7});
    Bounds(s, {-kHalf, 0, -kHalf}, {kHalf, 0, kHalf});
}

void Tiles(VeShape& s, const PrimitiveDesc& d)
{
    const int32_t cols = CeilDiv(d.p1, d.p3), rows = CeilDiv(d.p2, d.p3);
    const float tileW = float(d.p3) / float(d.p1), tileH = float(d.p3) / float(d.p2);
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const float x0 = float(c) * tileW, y0 = float(r) * tileH;
            const float x1 = std::min(1.0f, x0 + tileW), y1 = std::min(1.0f, y0 + tileH);
            // A whole tile maps the texture once; the cut last tiles take their part of it.
            const float u = (x1 - x0) / tileW, v = (y1 - y0) / tileH;
            SubMesh& m = *s.AddSubMesh(4, 6, kFormat, true);
            Put(m, 0, {x0, y0, 0, 0, 0, -1, 0, 0});
            Put(m, 1, {x1, y0, 0, 0, 0, -1, u, 0});
            Put(m, 2, {x1, y1, 0, 0, 0, -1, u, v});
            Put(m, 3, {x0, y1, 0, 0, 0, -1, 0, v});
        }
    }
    Bounds(s, {0, 0, 0}, {kOne, kOne, 0});
}

void Grid(VeShape& s, const PrimitiveDesc& d)
{
    const uint32_t na = uint32_t(CeilDiv(d.p1, d.p3)), nb = uint32_t(CeilDiv(d.p2, d.p3));
    SubMesh& m = *s.AddSubMesh((na + 1) * (nb + 1), 6 * na * nb, kFormat, false);
    uint32_t i = 0;
    for (uint32_t f = 0; f <= nb; ++f)
        for (uint32_t g = 0; g <= na; ++g) {
            const float x = float(g) / float(na), y = float(f) / float(nb);
            Put(m, i++, {x, y, 0, 0, 0, -1, x, y});
        }
    size_t o = 0;
    for (uint32_t f = 0; f < nb; ++f)
        for (uint32_t g = 0; g < na; ++g) {
            const uint32_t k = f * (na + 1) + g;
            const uint16_t tri[6] = {uint16_t(k), uint16_t(k + 1), uint16_t(k + na + 1),
                                     uint16_t(k + na + 1), uint16_t(k + 1), uint16_t(k + na + 2)};
            std::copy(tri, tri + 6, m.indices.begin() + ptrdiff_t(o));
            o += 6;
        }
    Bounds(s, {0, 0, 0}, {kOne, kOne, 0});
}

void Box(VeShape& s, const PrimitiveDesc&)
{
    SubMesh& m = *s.AddSubMesh(8, 36, kFormat, false);
    const float c[8][3] = {{0, 0, 0}, {kOne, 0, 0}, {kOne, kOne, 0}, {0, kOne, 0},
                           {0, 0, kOne}, {kOne, 0, kOne}, {kOne, kOne, kOne}, {0, kOne, kOne}};
    constexpr float n = 0.57735f;
    for (uint32_t i = 0; i < 8; ++i) {
        const float nx = c[i][0] > 0 ? n : -n, ny = c[i][1] > 0 ? n : -n, nz = c[i][2] > 0 ? n : -n;
        Put(m, i, {c[i][0], c[i][1], c[i][2], nx, ny, nz, 0, 0});
    }
    // Two triangles a face, wound like the unit quad: clockwise seen from outside.
    SetIndices(m, {0, 1, 3, 1, 2, 3,    // z = 0
                   5, 4, 6, 4, 7, 6,    // z = 1
                   4, 0, 7, 0, 3, 7,    // x = 0
                   1, 5, 2, 5, 6, 2,    // x = 1
                   4, 5, 0, 5, 1, 0,    // y = 0
                   3, 2, 7, 2, 6, 7});  // y = 1
    Bounds(s, {0, 0, 0}, {kOne, kOne, kOne});
}

void Wedge(VeShape& s, const PrimitiveDesc& d)
{
    SubMesh& m = *s.AddSubMesh(7, 9, kFormat, false);
    FlatQuadVertices(m, 0, float(d.p1), float(d.p2), false);
    Put(m, 4, {kHalf, 0, 0, 0, 0, -1, 0, 0});
    Put(m, 5, {0, -kHalf, 0, 0, 0, -1, 0, 0});
    Put(m, 6, {-kHalf, 0, 0, 0, 0, -1, 0, 0});
    SetIndices(m, {2, 3, 6, 3, 4, 6, 4, 5, 6});
    Bounds(s, {-kHalf, -kHalf, -kHalf}, {kHalf, 0, kHalf});
}

void Prism(VeShape& s, const PrimitiveDesc&)
{
    SubMesh& m = *s.AddSubMesh(6, 18, kFormat, false);
    const float tri[3][2] = {{-kHalf, 0}, {kHalf, 0}, {0, kHalf}};
    // Normals point away from the prism's axis through the triangle's centre.
    const float cy = kHalf / 3.0f;
    for (uint32_t k = 0; k < 2; ++k)
        for (uint32_t i = 0; i < 3; ++i) {
            const Vec3 n = Vec3{tri[i][0], tri[i][1] - cy, 0}.Normalised();
            Put(m, k * 3 + i, {tri[i][0], tri[i][1], k ? kOne : 0.0f, n.x, n.y, n.z, 0, 0});
        }
    SetIndices(m, {3, 5, 2, 0, 3, 2, 1, 2, 5, 4, 1, 5, 3, 0, 1, 4, 3, 1});
    Bounds(s, {-kHalf, 0, 0}, {kHalf, kHalf, kOne});
}

void Tube(VeShape& s, int32_t segments, float r0, float r1, bool textured)
{
    const uint32_t n = uint32_t(segments);
    SubMesh& m = *s.AddSubMesh(4 * n, 12 * n, kFormat, false);
    for (uint32_t k = 0; k < n; ++k) {
        const int32_t a = int32_t((k * 4096u) / n);
        const float c = CosineOf(a), sn = SineOf(a);
        const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
        for (uint32_t j = 0; j < 4; ++j) {
            const float r = (j & 1) ? r1 : r0;
            const float z = (j & 1) ? 1.0f : 0.0f;
            Put(m, 4 * k + j, {r * c, r * sn, z, c, sn, 0, textured ? uv[j][0] : 0, textured ? uv[j][1] : 0});
        }
    }
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t b = 4 * k;
        const bool last = k + 1 == n;
        // The last segment closes on the first, on the other copy of its
        // vertices (same places, the texture's other edge).
        const uint32_t o4 = last ? 2 : b + 4, o5 = last ? 3 : b + 5, o6 = last ? 0 : b + 6, o7 = last ? 1 : b + 7;
        const uint16_t t[12] = {uint16_t(b), uint16_t(b + 1), uint16_t(o4),
                                uint16_t(b + 1), uint16_t(o5), uint16_t(o4),
                                uint16_t(b + 2), uint16_t(o6), uint16_t(b + 3),
                                uint16_t(b + 3), uint16_t(o6), uint16_t(o7)};
        std::copy(t, t + 12, m.indices.begin() + ptrdiff_t(12 * k));
    }
    const float r = std::max(r0, r1);
    // Bounds of the tube as built, so a box test never culls what can be seen.
    Bounds(s, {-r, -r, 0}, {r, r, 1});
}

void Sphere(VeShape& s, const PrimitiveDesc& d)
{
    const float radius = float(d.p1);
    const uint32_t n = uint32_t(d.p2);
    const uint32_t rings = n - 2;
    SubMesh& m = *s.AddSubMesh(n * rings + 2, 6 * n * rings, kFormat, false);
    // Rings evenly between the poles (n - 1 equal steps of latitude); the
    // longitude step is a 1/n turn.
    for (uint32_t r = 0; r < rings; ++r) {
        const int32_t lat = -1024 + int32_t((2048u * (r + 1)) / (n - 1));
        for (uint32_t k = 0; k < n; ++k) {
            const int32_t lon = int32_t((k * 4096u) / n);
            const Vec3 u{CosineOf(lat) * CosineOf(lon), CosineOf(lat) * SineOf(lon), SineOf(lat)};
            Put(m, r * n + k, {radius * u.x, radius * u.y, radius * u.z, u.x, u.y, u.z, 0, 0});
        }
    }
    const uint32_t p0 = n * rings, p1 = p0 + 1, last = n * (n - 3);
    Put(m, p0, {0, 0, -radius, 0, 0, -1, 0, 0});
    Put(m, p1, {0, 0, radius, 0, 0, 1, 0, 0});
    size_t o = 0;
    auto tri = [&](uint32_t a, uint32_t b, uint32_t c) {
        m.indices[o++] = uint16_t(a);
        m.indices[o++] = uint16_t(b);
        m.indices[o++] = uint16_t(c);
    };
    for (uint32_t i = 0; i < last; ++i) {
        const uint32_t j = (i % n + 1) % n + (i / n) * n;
        tri(i + n, j + n, j);
        tri(i, i + n, j);
    }
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t j = (i + 1) % n;
        tri(i, j, p0);
        tri(last + j, last + i, p1);
    }
    m.indexCount = uint32_t(o);
    m.indices.resize(o);
    Bounds(s, {-radius, -radius, -radius}, {radius, radius, radius});
}

} // namespace

namespace Primitive {

PrimitiveDesc Clamped(const PrimitiveDesc& in)
{
    PrimitiveDesc d = in;
    switch (d.kind) {
    case 4:
    case 5: {
        d.p1 = std::max(d.p1, 1);
        d.p2 = std::max(d.p2, 1);
        d.p3 = std::max(d.p3, 1);
        // A cell at least this big keeps each side within kMaxCells.
        d.p3 = std::max({d.p3, CeilDiv(d.p1, kMaxCells), CeilDiv(d.p2, kMaxCells)});
        break;
    }
    case 9:
        d.p1 = std::clamp(d.p1, kMinSegments, kMaxTubeSegments);
        break;
    case 10:
        d.p1 = std::clamp(d.p1, kMinSegments, kMaxTubeSegments);
        d.p2 = std::max(d.p2, 0);
        d.p3 = std::max(d.p3, 0);
        break;
    case 11:
        d.p1 = std::max(d.p1, 0);
        d.p2 = std::clamp(d.p2, kMinSegments, kMaxSphereSegments);
        break;
    default:
        break;
    }
    return d;
}

} // namespace Primitive

bool BuildPrimitive(VeShape& shape, const PrimitiveDesc& raw)
{
    const PrimitiveDesc d = Primitive::Clamped(raw);
    switch (d.kind) {
    case 0: Triangle(shape, d); return true;
    case 1: UnitQuad(shape, d); return true;
    case 2: FlatQuad(shape, d); return true;
    case 3: DoubleQuad(shape, d); return true;
    case 4: Tiles(shape, d); return true;
    case 5: Grid(shape, d); return true;
    case 6: Box(shape, d); return true;
    case 7: Wedge(shape, d); return true;
    case 8: Prism(shape, d); return true;
    case 9: Tube(shape, d.p1, 1.0f, 1.0f, false); return true;
    case 10: Tube(shape, d.p1, float(d.p2), float(d.p3), true); return true;
    case 11: Sphere(shape, d); return true;
    default: return false;
    }
}
