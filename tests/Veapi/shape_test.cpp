#include <gtest/gtest.h>

#include "Veapi/bounding_box.h"
#include "Veapi/primitives.h"
#include "Veapi/texture_manager.h"
#include "camera_fixture.h"

namespace {

class ShapeTextures : public ::testing::Test {
protected:
    void SetUp() override { TextureManager::Clear(); }
    void TearDown() override { TextureManager::Clear(); }
};

TEST_F(ShapeTextures, ParkedShapeLetsItsTexturesGoAndTakesThemBack)
{
    TextureEntry* a = TextureManager::Find("a.bmp");
    TextureEntry* b = TextureManager::Find("b.bmp");
    const int32_t a0 = a->UseCount(), b0 = b->UseCount();
    VeShape* s = new VeShape;
    s->NameTexture(a);
    s->NameTexture(b);
    s->AddTexture(a);
    s->AddTexture(b);
    s->Hold();
    EXPECT_EQ(a->UseCount(), a0 + 1);

    // Parked: the shape stays, its textures are no longer kept in use.
    EXPECT_EQ(s->Release(), 0);
    EXPECT_EQ(s->BoundTextures().Count(), 0);
    EXPECT_EQ(a->UseCount(), a0);
    EXPECT_EQ(b->UseCount(), b0);

    // Used again: every named texture is bound again.
    EXPECT_EQ(s->AddRef(), 1);
    EXPECT_EQ(s->BoundTextures().Count(), 2);
    EXPECT_EQ(a->UseCount(), a0 + 1);

    EXPECT_EQ(s->AddRef(), 2);
    EXPECT_EQ(s->Release(), 1);
    EXPECT_EQ(s->Release(), 0);        // parked again
    EXPECT_EQ(s->ReleaseHold(), 0);    // and now gone
    EXPECT_EQ(a->UseCount(), a0);
}

TEST_F(ShapeTextures, UnuseNeverGoesBelowZero)
{
    TextureEntry* a = TextureManager::Find("c.bmp");
    while (a->UseCount() > 0)
        a->Unuse();
    VeShape* s = new VeShape;
    s->BoundTextures().PushBack(a);  // bound without a use, as a stale list could be
    s->ReleaseTextures();
    EXPECT_EQ(a->UseCount(), 0);
    s->Release();
}

TEST_F(ShapeTextures, TexturedPrimitivesShareBuffersOfTheirTexture)
{
    TextureEntry* t = TextureManager::Find("wall.bmp");
    VeShape* one = VeShape::FromPrimitive({1, 1024, 1024, 0, t});
    VeShape* two = VeShape::FromPrimitive({6, 0, 0, 0, t});
    VeShape* plain = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    SubMesh* a = *one->SubMeshes().begin();
    SubMesh* b = *two->SubMeshes().begin();
    ASSERT_NE(a->shared, nullptr);
    EXPECT_EQ(a->shared, b->shared);
    EXPECT_EQ(a->shared->TotalVertices(), 12u);
    EXPECT_EQ(b->firstVertex, 4u);
    EXPECT_EQ((*plain->SubMeshes().begin())->shared, nullptr);
    SharedVertexBuffer* shared = a->shared;
    one->Release();
    EXPECT_EQ(shared->TotalVertices(), 8u);
    EXPECT_EQ(b->firstVertex, 0u);
    two->Release();
    plain->Release();
}

TEST(SharedVertexBuffers, TotalStaysBelowThirtyThousand)
{
    struct Case {
        uint32_t first, second;
        bool shareOne;
    };
    const Case cases[] = {{20000, 9999, true}, {20000, 10000, false}, {29999, 1, false}, {1, 29998, true}};
    for (const Case& c : cases) {
        VeShape s;
        SubMesh* a = s.AddSubMesh(c.first, 3, 0x112, false);
        SubMesh* b = s.AddSubMesh(c.second, 3, 0x112, false);
        a->indices = {0, 0, 0};
        b->indices = {0, 0, 0};
        SharedVertexBuffer::Attach(a, false);
        SharedVertexBuffer::Attach(b, false);
        EXPECT_EQ(a->shared == b->shared, c.shareOne) << c.first << " + " << c.second;
        EXPECT_LT(a->shared->TotalVertices(), 30000u);
    }
}

TEST(ShapePositions, OneBufferOfAllSubMeshesWithTriangleCentroids)
{
    VeShape* s = VeShape::FromPrimitive({4, 2, 1, 1, nullptr});  // two tiles side by side
    s->BuildPositionBuffer();
    ASSERT_NE(s->Box(), nullptr);
    EXPECT_EQ(s->TriangleCount(), 4u);
    s->Release();
}

} // namespace

namespace {

using scenetest::SceneTest;

TEST_F(SceneTest, WireFrameOfASubMeshDrawsTwiceItsIndices)
{
    StartScene();
    for (int32_t kind : {1, 6, 11}) {
        VeShape* s = VeShape::FromPrimitive({kind, 1, 8, 0, nullptr});
        const uint32_t n = (*s->SubMeshes().begin())->indexCount;
        BeginFrame();
        s->Draw(scenetest::Translation(0, 0, 10), nullptr, ShapeDraw::kWireFrame);
        EndFrame();
        EXPECT_EQ(VeShape::LastWireIndexCount(), 2 * n) << kind;
        s->Release();
    }
}

} // namespace
