#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "Veapi/primitives.h"

namespace {

struct ShapeDeleter {
    void operator()(VeShape* s) const { s->Release(); }
};
using ShapePtr = std::unique_ptr<VeShape, ShapeDeleter>;

ShapePtr Make(int32_t kind, int32_t p1 = 1024, int32_t p2 = 1024, int32_t p3 = 0)
{
    return ShapePtr(VeShape::FromPrimitive({kind, p1, p2, p3, nullptr}));
}

struct V {
    Vec3 p, n;
    float u, v;
};

V Read(SubMesh& m, uint32_t i)
{
    float f[8];
    std::memcpy(f, m.vertices.data() + size_t(i) * 32, 32);
    return {{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, f[6], f[7]};
}

// Every sub-mesh: indices inside its vertices, whole triangles, 32-byte vertices.
void ExpectWellFormed(VeShape& s, const std::string& what)
{
    for (SubMesh* m : s.SubMeshes()) {
        EXPECT_EQ(m->format, 0x112u) << what;
        EXPECT_EQ(m->vertices.size(), size_t(m->vertexCount) * 32) << what;
        EXPECT_EQ(m->indices.size(), m->indexCount) << what;
        EXPECT_EQ(m->indexCount % 3, 0u) << what;
        EXPECT_LE(m->vertexCount, 65535u) << what;
        for (uint32_t i = 0; i < m->indexCount; ++i)
            ASSERT_LT(m->indices[i], m->vertexCount) << what << " index " << i;
        for (uint32_t i = 0; i < m->vertexCount; ++i) {
            const V v = Read(*m, i);
            ASSERT_TRUE(std::isfinite(v.p.x) && std::isfinite(v.p.y) && std::isfinite(v.p.z)) << what;
        }
    }
}

TEST(Primitives, SizesOfEachKind)
{
    struct Case {
        int32_t kind, p1, p2, p3;
        uint32_t subMeshes, vertices, indices;  // vertices and indices summed
    };
    const Case cases[] = {
        {0, 1024, 1024, 0, 1, 3, 3},
        {1, 1024, 1024, 0, 1, 4, 6},
        {2, 1, 1, 0, 1, 4, 6},
        {3, 1, 1, 0, 1, 8, 12},
        {4, 10, 10, 4, 9, 36, 54},   // 3 x 3 tiles, the last row and column cut
        {4, 8, 4, 4, 2, 8, 12},
        {5, 10, 6, 2, 1, 24, 90},    // 5 x 3 cells
        {6, 0, 0, 0, 1, 8, 36},
        {7, 1, 1, 0, 1, 7, 9},
        {8, 0, 0, 0, 1, 6, 18},
        {9, 6, 0, 0, 1, 24, 72},
        {10, 8, 1, 2, 1, 32, 96},
        {11, 2, 8, 0, 1, 50, 288},   // 8 segments: 50 vertices, 288 indices
        {11, 1, 3, 0, 1, 5, 18},
    };
    for (const Case& c : cases) {
        ShapePtr s = Make(c.kind, c.p1, c.p2, c.p3);
        const std::string what = "kind " + std::to_string(c.kind);
        uint32_t vertices = 0, indices = 0;
        for (SubMesh* m : s->SubMeshes()) {
            vertices += m->vertexCount;
            indices += m->indexCount;
        }
        EXPECT_EQ(uint32_t(s->SubMeshes().Count()), c.subMeshes) << what;
        EXPECT_EQ(vertices, c.vertices) << what;
        EXPECT_EQ(indices, c.indices) << what;
        ExpectWellFormed(*s, what);
    }
}

TEST(Primitives, UnknownKindsGiveAnEmptyShape)
{
    for (int32_t kind : {12, 13, 1000, -1}) {
        ShapePtr s = Make(kind);
        EXPECT_EQ(s->SubMeshes().Count(), 0) << kind;
        EXPECT_EQ(s->UseCount(), 1);
    }
}

// Parameters a script or a level could give out of range: never a division
// by zero, a wrapped count, an index past 65535 or a huge allocation.
TEST(Primitives, OutOfRangeParametersAreClampedToSoundBuffers)
{
    struct Case {
        int32_t kind, p1, p2, p3;
    };
    const Case cases[] = {
        {4, 10, 10, 0}, {4, 10, 10, -3}, {4, 0, 0, 1}, {4, -5, 7, 2}, {4, 2000000000, 10, 1},
        {5, 10, 10, 0}, {5, -10, -10, -10}, {5, 100000, 100000, 1}, {5, 2147483647, 1, 1},
        {9, 0, 0, 0}, {9, -4, 0, 0}, {9, 1, 0, 0}, {9, 1000000, 0, 0},
        {10, 0, 1, 1}, {10, 5, -2, -3}, {10, 2147483647, 1, 1},
        {11, 1, 0, 0}, {11, 1, 2, 0}, {11, 1, -8, 0}, {11, -5, 8, 0}, {11, 1, 100000, 0},
    };
    for (const Case& c : cases) {
        const std::string what = "kind " + std::to_string(c.kind) + " (" + std::to_string(c.p1) + ", " +
                                 std::to_string(c.p2) + ", " + std::to_string(c.p3) + ")";
        ShapePtr s = Make(c.kind, c.p1, c.p2, c.p3);
        ASSERT_GT(s->SubMeshes().Count(), 0) << what;
        EXPECT_LE(s->SubMeshes().Count(), Primitive::kMaxCells * Primitive::kMaxCells) << what;
        ExpectWellFormed(*s, what);
        for (SubMesh* m : s->SubMeshes())
            EXPECT_GT(m->indexCount, 0u) << what;
    }
}

// Closed shapes show their outside: every triangle winds the same way as
// seen from outside, and the sphere's rings lie on the sphere between its
// poles without folding back over them.
TEST(Primitives, ClosedShapesWindConsistentlyOutward)
{
    struct Case {
        int32_t kind, p1, p2;
        Vec3 centre;
    };
    const Case cases[] = {
        {6, 0, 0, {0.49995f, 0.49995f, 0.49995f}},
        {11, 3, 8, {0, 0, 0}},
        {11, 2, 16, {0, 0, 0}},
        {11, 5, 5, {0, 0, 0}},
        {11, 1, 255, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        ShapePtr s = Make(c.kind, c.p1, c.p2);
        SubMesh& m = **s->SubMeshes().begin();
        const std::string what = "kind " + std::to_string(c.kind) + " n " + std::to_string(c.p2);
        for (uint32_t t = 0; t < m.indexCount; t += 3) {
            const Vec3 a = Read(m, m.indices[t]).p, b = Read(m, m.indices[t + 1]).p, d = Read(m, m.indices[t + 2]).p;
            const Vec3 cross = (b - a).Cross(d - a);
            const Vec3 outward = (a + b + d) * (1.0f / 3.0f) - c.centre;
            // Front faces turn their winding normal inward, like the unit quad.
            ASSERT_LT(cross.Dot(outward), 0.0f) << what << " triangle " << t / 3;
        }
        if (c.kind == 11) {
            for (uint32_t i = 0; i < m.vertexCount; ++i) {
                const V v = Read(m, i);
                EXPECT_NEAR(v.p.Length(), float(c.p1), 1e-3f * float(c.p1)) << what;
                EXPECT_GT(v.p.Dot(v.n), 0.0f) << what << " normal of vertex " << i;
            }
        }
    }
}

// A box made from the shape's bounds must contain what the shape draws, or
// culling by the box hides parts that are on the screen.
TEST(Primitives, BoundsContainTheGeometry)
{
    struct Case {
        int32_t kind, p1, p2, p3;
    };
    const Case cases[] = {{0, 1024, 1024, 0}, {1, 1024, 1024, 0}, {5, 4, 4, 1}, {6, 0, 0, 0}, {8, 0, 0, 0},
                          {9, 12, 0, 0}, {10, 12, 1, 3}, {11, 4, 12, 0}};
    for (const Case& c : cases) {
        ShapePtr s = Make(c.kind, c.p1, c.p2, c.p3);
        for (SubMesh* m : s->SubMeshes())
            for (uint32_t i = 0; i < m->vertexCount; ++i) {
                const Vec3 p = Read(*m, i).p;
                // The 0.9999 and 0.49995 edges stand for 1 and 0.5.
                const float slack = 2e-4f;
                EXPECT_GE(p.x, s->min_.x - slack) << c.kind;
                EXPECT_GE(p.y, s->min_.y - slack) << c.kind;
                EXPECT_GE(p.z, s->min_.z - slack) << c.kind;
                EXPECT_LE(p.x, s->max_.x + slack) << c.kind;
                EXPECT_LE(p.y, s->max_.y + slack) << c.kind;
                EXPECT_LE(p.z, s->max_.z + slack) << c.kind;
            }
    }
}

TEST(Primitives, FanIndicesCircleTheLastVertex)
{
    VeShape s;
    SubMesh* m = s.AddSubMesh(6, 12, VeShape::kPrimitiveFormat, true);
    // Triangles (k, k + 1, 5) for k = 0..3, the first one written last.
    const uint16_t expected[12] = {3, 4, 5, 2, 3, 5, 1, 2, 5, 0, 1, 5};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m->indices[size_t(i)], expected[i]) << i;
}

TEST(Primitives, GridCoversTheUnitSquare)
{
    ShapePtr s = Make(5, 3, 2, 1);
    SubMesh& m = **s->SubMeshes().begin();
    float area = 0;
    for (uint32_t t = 0; t < m.indexCount; t += 3) {
        const Vec3 a = Read(m, m.indices[t]).p, b = Read(m, m.indices[t + 1]).p, d = Read(m, m.indices[t + 2]).p;
        const Vec3 cross = (b - a).Cross(d - a);
        EXPECT_GT(cross.z, 0.0f);  // all the same way round
        area += cross.z * 0.5f;
    }
    EXPECT_NEAR(area, 1.0f, 1e-5f);
    const V corner = Read(m, m.vertexCount - 1);
    EXPECT_FLOAT_EQ(corner.u, 1.0f);
    EXPECT_FLOAT_EQ(corner.v, 1.0f);
}

} // namespace
