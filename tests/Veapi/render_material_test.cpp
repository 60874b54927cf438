// Render materials: the ten default materials as the device makes them, a
// copy that keeps its links, and the see-through draw override.
#include "Veapi/VertBuff.h"
#include "Veapi/light_set.h"
#include "camera_fixture.h"

#include <algorithm>

namespace {

using scenetest::SceneTest;

class RenderMaterials : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
    }
};

TEST_F(RenderMaterials, TenDefaultMaterials)
{
    using namespace gfx;
    enum Filters { Chosen, Point };
    struct Case {
        int index;
        uint32_t zWrite, alphaBlend, alphaTest, destBlend, sorted, lighting, clipping, op;
        Filters filters;
        uint32_t pointMip;
        int alternate;  // -1: none
    };
    constexpr uint32_t M = texop::Modulate, V = texop::SelectArg2, Inv = blend::InvSrcAlpha;
    const Case cases[] = {
        {0, 1, 0, 0, Inv, 0, 1, 1, M, Chosen, 0, 2},
        {1, 1, 0, 0, Inv, 0, 1, 1, M, Point, filter::MipPoint, 4},
        {2, 1, 1, 1, Inv, 1, 1, 1, M, Chosen, 0, -1},
        {3, 0, 1, 1, Inv, 0, 1, 1, M, Chosen, 0, -1},
        {4, 1, 1, 1, Inv, 1, 1, 1, M, Point, filter::MipNone, -1},
        {5, 0, 1, 1, Inv, 0, 1, 1, M, Point, filter::MipNone, -1},
        {6, 0, 1, 1, blend::One, 0, 1, 1, M, Chosen, 0, -1},
        {7, 0, 1, 1, blend::One, 0, 1, 1, M, Point, filter::MipNone, -1},
        {8, 1, 0, 0, Inv, 0, 0, 0, V, Chosen, 0, 9},
        {9, 0, 1, 1, Inv, 1, 1, 1, V, Chosen, 0, -1},
    };
    const RenderMaterial::Stage& chosen = DefaultMaterial::Get(0)->stages_[0];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        const RenderMaterial* m = DefaultMaterial::Get(c.index);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->stageCount_, 1);
        EXPECT_EQ(m->zWrite_, c.zWrite);
        EXPECT_EQ(m->zEnable_, 1u);
        EXPECT_EQ(m->alphaBlend_, c.alphaBlend);
        EXPECT_EQ(m->alphaTest_, c.alphaTest);
        EXPECT_EQ(m->srcBlend_, blend::SrcAlpha);
        EXPECT_EQ(m->destBlend_, c.destBlend);
        EXPECT_EQ(m->sorted_, c.sorted);
        EXPECT_EQ(m->lighting_, c.lighting);
        EXPECT_EQ(m->clipping_, c.clipping);
        const RenderMaterial::Stage& s = m->stages_[0];
        EXPECT_EQ(s.texture, Display::NullTexture());
        EXPECT_EQ(s.colourOp, c.op);
        EXPECT_EQ(s.alphaOp, c.op);
        EXPECT_EQ(s.colourArg1, texarg::Texture);
        EXPECT_EQ(s.colourArg2, texarg::Diffuse);
        if (c.filters == Point) {
            EXPECT_EQ(s.minFilter, filter::MinPoint);
            EXPECT_EQ(s.magFilter, filter::MagPoint);
            EXPECT_EQ(s.mipFilter, c.pointMip);
        } else {
            EXPECT_EQ(s.minFilter, chosen.minFilter);
            EXPECT_EQ(s.magFilter, chosen.magFilter);
            EXPECT_EQ(s.mipFilter, chosen.mipFilter);
        }
        EXPECT_EQ(m->stages_[1].colourOp, texop::Disable);
        EXPECT_EQ(m->Alternate(), c.alternate < 0 ? nullptr : DefaultMaterial::Get(c.alternate));
        EXPECT_EQ(m->NextPass(), nullptr);
        EXPECT_NE(m->StateBlock(), 0u) << "compiled when made";
    }
}

// A copy keeps the alternate and the next pass, each with a reference of its
// own, and must be compiled before use.
TEST_F(RenderMaterials, AssignCopiesTheLinksAndDropsTheBlock)
{
    RenderMaterial* alternate = new RenderMaterial;
    RenderMaterial* next = new RenderMaterial;
    RenderMaterial* source = new RenderMaterial(*DefaultMaterial::Get(DefaultMaterial::Blended));
    source->SetAlternate(alternate);
    source->SetNextPass(next);
    source->zWrite_ = 0;
    source->stages_[3].texCoordIndex = 7;

    struct Case {
        const char* name;
        bool construct;
    };
    for (const Case c : {Case{"assigned over a compiled material", false}, Case{"copy-constructed", true}}) {
        SCOPED_TRACE(c.name);
        RenderMaterial* copy = nullptr;
        if (c.construct) {
            copy = new RenderMaterial(*source);
        } else {
            copy = new RenderMaterial;
            ASSERT_TRUE(copy->Compile());
            ASSERT_NE(copy->StateBlock(), 0u);
            copy->Assign(*source);
        }
        EXPECT_EQ(copy->Alternate(), alternate);
        EXPECT_EQ(copy->NextPass(), next);
        EXPECT_EQ(alternate->RefCount(), 3);  // its maker, the source and the copy
        EXPECT_EQ(next->RefCount(), 3);
        EXPECT_EQ(copy->StateBlock(), 0u);
        EXPECT_EQ(copy->zWrite_, 0u);
        EXPECT_EQ(copy->alphaBlend_, 1u);
        EXPECT_EQ(copy->stages_[3].texCoordIndex, 7u);
        EXPECT_TRUE(copy->Compile());
        copy->Release();
        EXPECT_EQ(alternate->RefCount(), 2);
        EXPECT_EQ(next->RefCount(), 2);
    }
    source->Release();
    EXPECT_EQ(alternate->Release(), 0);
    EXPECT_EQ(next->Release(), 0);
}

TEST_F(RenderMaterials, AlphaOverrideExchangesWithTheCurrentLightSet)
{
    LightSet* set = new LightSet;
    set->Apply();
    ASSERT_EQ(LightSet::Current(), set);
    for (const float alpha : {0.6f, 0.7f}) {
        SCOPED_TRACE(alpha);
        set->SetAlpha(0.9f);
        MaterialAlphaOverride* override = new MaterialAlphaOverride(alpha);
        override->Apply();
        EXPECT_FLOAT_EQ(set->Material().diffuse.a, alpha);
        EXPECT_FLOAT_EQ(override->Alpha(), 0.9f);
        override->Restore();
        EXPECT_FLOAT_EQ(set->Material().diffuse.a, 0.9f);
        EXPECT_FLOAT_EQ(override->Alpha(), alpha);
        EXPECT_EQ(override->Release(), 0);
    }
    LightSet::ForgetCurrent();
    // With no set current there is nothing to change.
    MaterialAlphaOverride* override = new MaterialAlphaOverride(0.6f);
    override->Apply();
    EXPECT_FLOAT_EQ(override->Alpha(), 0.6f);
    override->Release();
    set->Release();
}

// A restorable buffer goes with the device's objects and comes back filled
// from what its owner says at the restore, whichever way the device went.
TEST_F(RenderMaterials, RestorableBufferIsRefilledWhenTheDeviceComesBack)
{
    struct Case {
        const char* name;
        void (*lose)();
        void (*restore)();
    };
    const Case cases[] = {
        {"objects lost", Display::ReleaseDeviceObjects, Display::RestoreDeviceObjects},
        {"device reopened", Display::CloseDevice, [] { ASSERT_TRUE(Display::OpenDevice()); }},
    };
    uint8_t value = 1;
    auto* buffer = new RestorableVertexBuffer(gfx::kFvfTLVertex, 4, [&](uint8_t* vertices, uint32_t count) {
        std::fill(vertices, vertices + count * 32u, value);
    });
    ASSERT_NE(buffer->Buffer(), nullptr);
    EXPECT_EQ(buffer->Buffer()->Data()[127], 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++value;
        c.lose();
        EXPECT_EQ(buffer->Buffer(), nullptr);
        c.restore();
        ASSERT_NE(buffer->Buffer(), nullptr);
        EXPECT_EQ(buffer->Buffer()->Count(), 4u);
        EXPECT_EQ(buffer->Buffer()->Data()[0], value);
        EXPECT_EQ(buffer->Buffer()->Data()[127], value);
    }
    buffer->Release();
    Display::ReleaseDeviceObjects();  // a released buffer is off the list
    Display::RestoreDeviceObjects();
}

} // namespace
