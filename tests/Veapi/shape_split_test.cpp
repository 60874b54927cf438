#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "Veapi/bounding_box.h"
#include "Veapi/primitives.h"

namespace {

struct Totals {
    uint32_t leaves = 0, triangles = 0, maxVertices = 0;
};

void Walk(const ShapeSplitNode& node, Totals& t, const std::function<void(VeShape&)>& leaf)
{
    if (node.shape) {
        ++t.leaves;
        uint32_t v = 0;
        for (SubMesh* m : node.shape->SubMeshes()) {
            t.triangles += m->indexCount / 3;
            v += m->vertexCount;
        }
        t.maxVertices = std::max(t.maxVertices, v);
        leaf(*node.shape);
    }
    for (const auto& c : node.children)
        Walk(*c, t, leaf);
}

void ReleaseAll(ShapeSplitNode& node)
{
    if (node.shape)
        node.shape->Release();
    for (auto& c : node.children)
        ReleaseAll(*c);
}

uint32_t Triangles(VeShape& s)
{
    uint32_t n = 0;
    for (SubMesh* m : s.SubMeshes())
        n += m->indexCount / 3;
    return n;
}

TEST(ShapeSplit, PiecesKeepEveryTriangleOnceWithinTheLimit)
{
    struct Case {
        PrimitiveDesc desc;
        uint32_t limit;
        bool splits;
    };
    const Case cases[] = {
        {{5, 100, 100, 1, nullptr}, 3000, true},     // 10201 vertices
        {{5, 100, 100, 1, nullptr}, 10201, false},   // at the limit: kept whole
        {{11, 5, 200, 0, nullptr}, 5000, true},      // a fine sphere
        {{4, 20, 20, 1, nullptr}, 100, true},        // 400 tiles, one sub-mesh each
    };
    for (const Case& c : cases) {
        VeShape* s = VeShape::FromPrimitive(c.desc);
        const uint32_t triangles = Triangles(*s);
        ShapeSplitNode root;
        root.shape = s;
        Shape::SplitByVertexLimit(root, c.limit);
        EXPECT_EQ(root.shape == nullptr, c.splits) << c.desc.kind;
        Totals t;
        Walk(root, t, [&](VeShape& leaf) {
            if (c.splits) {
                EXPECT_NE(leaf.Box(), nullptr);
            }
            for (SubMesh* m : leaf.SubMeshes())
                for (uint32_t i = 0; i < m->indexCount; ++i)
                    ASSERT_LT(m->indices[i], m->vertexCount);
        });
        EXPECT_EQ(t.triangles, triangles) << c.desc.kind;
        EXPECT_LE(t.maxVertices, c.limit) << c.desc.kind;
        ReleaseAll(root);
    }
}

TEST(ShapeSplit, ShapeJustUnderTheLimitIsNotCut)
{
    VeShape* s = new VeShape;
    SubMesh* m = s->AddSubMesh(29999, 3, VeShape::kPrimitiveFormat, false);
    std::memset(m->vertices.data(), 0, m->vertices.size());
    m->indices = {0, 1, 2};
    s->max_ = {1, 1, 1};
    ShapeSplitNode root;
    root.shape = s;
    Shape::SplitByVertexLimit(root, 30000);
    EXPECT_EQ(root.shape, s);
    EXPECT_TRUE(root.children.empty());
    s->Release();
}

// Triangles whose centres lie on every cut plane: a cut that put them in both
// halves would double them and cut forever.
TEST(ShapeSplit, TrianglesOnTheCutPlaneGoToOneSideAndCuttingEnds)
{
    VeShape* s = new VeShape;
    const uint32_t copies = 40;
    SubMesh* m = s->AddSubMesh(3 * copies, 3 * copies, VeShape::kPrimitiveFormat, false);
    std::memset(m->vertices.data(), 0, m->vertices.size());
    for (uint32_t k = 0; k < copies; ++k) {
        const float corners[3][3] = {{0, 0, 0}, {1, 0, 0}, {0.5f, 1.5f, 0}};  // centre (0.5, 0.5, 0)
        for (uint32_t j = 0; j < 3; ++j) {
            std::memcpy(m->Vertex(3 * k + j), corners[j], 12);
            m->indices[3 * k + j] = uint16_t(3 * k + j);
        }
    }
    s->max_ = {1, 1, 0};
    ShapeSplitNode root;
    root.shape = s;
    Shape::SplitByVertexLimit(root, 6);
    Totals t;
    Walk(root, t, [](VeShape&) {});
    EXPECT_EQ(t.triangles, copies);
    EXPECT_EQ(t.leaves, 1u);
    ReleaseAll(root);
}

} // namespace
