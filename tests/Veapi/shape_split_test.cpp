#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "Veapi/bounding_box.h"
#include "Veapi/primitives.h"
#include "Veapi/ve_object.h"

namespace {

struct Totals {
    uint32_t leaves = 0, triangles = 0, maxVertices = 0;
};

void Walk(const ShapeInstance& node, Totals& t, const std::function<void(VeShape&)>& leaf)
{
    if (VeShape* shape = node.slots_[0]) {
        ++t.leaves;
        uint32_t v = 0;
        for (SubMesh* m : shape->SubMeshes()) {
            t.triangles += m->indexCount / 3;
            v += m->vertexCount;
        }
        t.maxVertices = std::max(t.maxVertices, v);
        leaf(*shape);
    }
    for (const ShapeInstance* c : node.children_)
        Walk(*c, t, leaf);
}

// A node holding the shape, whose maker's use is handed over to it.
std::unique_ptr<ShapeInstance> NodeOf(VeShape* s)
{
    std::unique_ptr<ShapeInstance> node(ShapeInstance::FromShape(s, false));
    s->Release();
    return node;
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
        auto root = NodeOf(s);
        root->SplitByVertexLimit(c.limit);
        EXPECT_EQ(root->slots_[0] == nullptr, c.splits) << c.desc.kind;
        Totals t;
        Walk(*root, t, [&](VeShape& leaf) {
            if (c.splits) {
                EXPECT_NE(leaf.Box(), nullptr);
            }
            for (SubMesh* m : leaf.SubMeshes())
                for (uint32_t i = 0; i < m->indexCount; ++i)
                    ASSERT_LT(m->indices[i], m->vertexCount);
        });
        EXPECT_EQ(t.triangles, triangles) << c.desc.kind;
        EXPECT_LE(t.maxVertices, c.limit) << c.desc.kind;
    }
}

TEST(ShapeSplit, ShapeJustUnderTheLimitIsNotCut)
{
    VeShape* s = new VeShape;
    SubMesh* m = s->AddSubMesh(29999, 3, VeShape::kPrimitiveFormat, false);
    std::memset(m->vertices.data(), 0, m->vertices.size());
    m->indices = {0, 1, 2};
    s->max_ = {1, 1, 1};
    auto root = NodeOf(s);
    Shape::SplitByVertexLimit(*root, 30000);
    EXPECT_EQ(root->slots_[0], s);
    EXPECT_TRUE(root->children_.IsEmpty());
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
    auto root = NodeOf(s);
    Shape::SplitByVertexLimit(*root, 6);
    Totals t;
    Walk(*root, t, [](VeShape&) {});
    EXPECT_EQ(t.triangles, copies);
    EXPECT_EQ(t.leaves, 1u);
}

} // namespace
