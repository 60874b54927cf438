// Drawing through the graphics layer, checked by the pixels it leaves.
#include <array>
#include <cmath>
#include <cstring>

#include "gfx_test_screen.h"

namespace {

using gfxtest::ScreenQuad;
using gfxtest::TlVertex;

class GfxRender : public gfxtest::Screen {};

TEST_F(GfxRender, ClearFillsTheViewportWithTheColourInEitherDepth)
{
    struct Case {
        int depth;
        uint32_t argb, expected;
    };
    // 16-bit screens keep 5-6-5 bits: the low bits of each channel are lost.
    const Case cases[] = {
        {32, 0xFF123456, 0x123456}, {32, 0x00FF8000, 0xFF8000},
        {16, 0xFFFF0000, 0xF80000}, {16, 0xFF00FF00, 0x00FC00}, {16, 0xFF123456, 0x103450},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        Open(32, 24, c.depth);
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(c.argb);
        ASSERT_TRUE(device_->EndScene());
        EXPECT_EQ(Pixel(0, 0), c.expected);
        EXPECT_EQ(Pixel(31, 23), c.expected);
        TearDown();
    }
}

TEST_F(GfxRender, ClearRespectsTheViewportAndRectangles)
{
    Open(32, 32, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetViewport({8, 8, 8, 8, 0, 1}));
    ClearTo(0xFFFF0000);
    ASSERT_TRUE(device_->SetViewport({0, 0, 32, 32, 0, 1}));
    ASSERT_TRUE(device_->Clear({{20, 0, 24, 4}}, gfx::kClearTarget, 0xFF0000FF, 1, 0));
    EXPECT_EQ(Pixel(7, 8), 0x000000u);
    EXPECT_EQ(Pixel(8, 8), 0xFF0000u);
    EXPECT_EQ(Pixel(15, 15), 0xFF0000u);
    EXPECT_EQ(Pixel(16, 15), 0x000000u);
    EXPECT_EQ(Pixel(23, 3), 0x0000FFu);
    EXPECT_EQ(Pixel(24, 3), 0x000000u);
}

TEST_F(GfxRender, ScreenVerticesCoverPixelsByTheirCentres)
{
    Open(32, 32, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
    // Integer edges: the pixels 4..9 are inside, 3 and 10 outside (top-left rule).
    Draw(ScreenQuad(4, 4, 10, 10, 0xFF00FF00));
    for (int i : {4, 9})
        EXPECT_EQ(Pixel(i, i), 0x00FF00u) << i;
    for (int i : {3, 10})
        EXPECT_EQ(Pixel(i, i), 0x000000u) << i;
    // Half-pixel edges: 19.6 leaves the pixel at 19 out, 20.4 takes the one at 20.
    Draw(ScreenQuad(19.6f, 19.6f, 22.4f, 22.4f, 0xFFFF0000));
    EXPECT_EQ(Pixel(19, 20), 0x000000u);
    EXPECT_EQ(Pixel(20, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(22, 22), 0xFF0000u);
    EXPECT_EQ(Pixel(23, 22), 0x000000u);
}

TEST_F(GfxRender, ScreenVerticesBeyondTheDepthRangeAreNotClipped)
{
    Open(16, 16, 32);
    for (float z : {-0.5f, 0.0f, 1.0f, 1.5f}) {
        SCOPED_TRACE(z);
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        Draw(ScreenQuad(0, 0, 16, 16, 0xFFFFFFFF, z));
        ASSERT_TRUE(device_->EndScene());
        EXPECT_EQ(Pixel(8, 8), 0xFFFFFFu);
    }
}

TEST_F(GfxRender, DepthTestKeepsTheNearerSurface)
{
    Open(16, 16, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    Draw(ScreenQuad(0, 0, 16, 16, 0xFF0000FF, 0.25f));
    Draw(ScreenQuad(0, 0, 8, 16, 0xFFFF0000, 0.75f));   // behind: hidden
    Draw(ScreenQuad(8, 0, 16, 16, 0xFF00FF00, 0.10f));  // in front: shown
    EXPECT_EQ(Pixel(4, 8), 0x0000FFu);
    EXPECT_EQ(Pixel(12, 8), 0x00FF00u);
    // Without z writes the far quad drawn later still loses, the near one wins.
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::ZEnable, 0));
    Draw(ScreenQuad(0, 0, 4, 16, 0xFFFFFF00, 0.9f));
    EXPECT_EQ(Pixel(2, 8), 0xFFFF00u);
}

TEST_F(GfxRender, CullingFollowsScreenWinding)
{
    Open(16, 16, 32);
    // Clockwise on the y-down screen is the front face under the default culling.
    const TlVertex cw[] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                           {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}};
    const TlVertex ccw[] = {cw[0], cw[2], cw[1]};
    struct Case {
        uint32_t mode;
        const TlVertex* tri;
        bool drawn;
    };
    const Case cases[] = {
        {gfx::cull::CounterClockwise, cw, true}, {gfx::cull::CounterClockwise, ccw, false},
        {gfx::cull::Clockwise, cw, false},       {gfx::cull::Clockwise, ccw, true},
        {gfx::cull::None, ccw, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, c.mode));
        ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleList, gfx::kFvfTLVertex, c.tri, 3));
        ASSERT_TRUE(device_->EndScene());
        EXPECT_EQ(Pixel(3, 3), c.drawn ? 0xFFFFFFu : 0u) << c.mode;
    }
}

TEST_F(GfxRender, AlphaBlendAndAlphaTest)
{
    Open(16, 16, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF0000FF);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::AlphaBlendEnable, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::SrcBlend, gfx::blend::SrcAlpha));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::DestBlend, gfx::blend::InvSrcAlpha));
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::AlphaArg1, gfx::texarg::Diffuse));
    Draw(ScreenQuad(0, 0, 8, 16, 0x80FF0000));
    const uint32_t mixed = Pixel(4, 8);
    EXPECT_NEAR(double(mixed >> 16), 128.0, 2.0);
    EXPECT_NEAR(double(mixed & 0xFF), 127.0, 2.0);
    // Alpha below the reference is dropped.
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::AlphaBlendEnable, 0));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::AlphaTestEnable, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::AlphaFunc, gfx::cmp::GreaterEqual));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::AlphaRef, 0x40));
    Draw(ScreenQuad(8, 0, 12, 16, 0x30FFFFFF));
    Draw(ScreenQuad(12, 0, 16, 16, 0x50FFFFFF));
    EXPECT_EQ(Pixel(10, 8), 0x0000FFu);
    EXPECT_EQ(Pixel(14, 8), 0xFFFFFFu);
}

TEST_F(GfxRender, TransformedGeometryLandsWhereTheMatricesPutIt)
{
    Open(64, 64, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::Lighting, 0));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
    // A quad in the upper-left quarter of clip space, moved there by the world matrix.
    gfx::Matrix world;
    world(3, 0) = -0.5f;
    world(3, 1) = 0.5f;
    ASSERT_TRUE(device_->SetTransform(gfx::TransformType::World, world));
    const gfxtest::LVertex q[] = {{-0.25f, 0.25f, 0.5f, 0xFFFF0000, 0, 0, 0},
                                  {0.25f, 0.25f, 0.5f, 0xFFFF0000, 0, 0, 0},
                                  {0.25f, -0.25f, 0.5f, 0xFFFF0000, 0, 0, 0},
                                  {-0.25f, -0.25f, 0.5f, 0xFFFF0000, 0, 0, 0}};
    ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfLVertex, q, 4));
    // x in [-0.75, -0.25] -> pixels 8..23; y in [0.25, 0.75] -> rows 8..23 from the top.
    EXPECT_EQ(Pixel(8, 8), 0xFF0000u);
    EXPECT_EQ(Pixel(23, 23), 0xFF0000u);
    EXPECT_EQ(Pixel(7, 15), 0u);
    EXPECT_EQ(Pixel(24, 15), 0u);
    EXPECT_EQ(Pixel(15, 24), 0u);
    EXPECT_EQ(Pixel(40, 40), 0u);
    // Geometry behind the far plane is clipped.
    world(3, 2) = 0.6f;
    ASSERT_TRUE(device_->SetTransform(gfx::TransformType::World, world));
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfLVertex, q, 4));
    EXPECT_EQ(Pixel(15, 15), 0u);
}

TEST_F(GfxRender, DirectionalLightAndMaterial)
{
    Open(16, 16, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::Ambient, 0xFF202020));
    gfx::Material m;
    m.diffuse = {1.0f, 0.5f, 0.0f, 1.0f};
    m.ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    ASSERT_TRUE(device_->SetMaterial(m));
    gfx::Light light;
    light.type = gfx::LightType::Directional;
    light.diffuse = {1, 1, 1, 1};
    light.direction = {0, 0, 1};  // travelling into the screen, onto surfaces facing -z
    ASSERT_TRUE(device_->SetLight(0, light));
    ASSERT_TRUE(device_->LightEnable(0, true));
    auto quad = [](float x0, float x1, float nz) {
        return std::vector<gfxtest::NVertex>{{x0, 1, 0.5f, 0, 0, nz, 0, 0}, {x1, 1, 0.5f, 0, 0, nz, 0, 0},
                                             {x1, -1, 0.5f, 0, 0, nz, 0, 0}, {x0, -1, 0.5f, 0, 0, nz, 0, 0}};
    };
    const auto facing = quad(-1, 0, -1), away = quad(0, 1, 1);
    ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfVertex, facing.data(), 4));
    ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfVertex, away.data(), 4));
    const uint32_t lit = Pixel(4, 8), dark = Pixel(12, 8);
    EXPECT_NEAR(double(lit >> 16), 255.0, 2.0);
    EXPECT_NEAR(double((lit >> 8) & 0xFF), 0.5 * 255 + 0x20, 3.0);
    EXPECT_EQ(dark, 0x202020u);  // ambient only
}

TEST_F(GfxRender, SpecularColourAddsToUnlitScreenVerticesOnlyWhenEnabled)
{
    Open(16, 16, 32);
    for (uint32_t enable : {0u, 1u}) {
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::SpecularEnable, enable));
        auto v = ScreenQuad(0, 0, 16, 16, 0xFF400000);
        for (auto& x : v)
            x.specular = 0xFF000040;
        Draw(v);
        ASSERT_TRUE(device_->EndScene());
        EXPECT_EQ(Pixel(8, 8), enable ? 0x400040u : 0x400000u);
    }
}

TEST_F(GfxRender, StateBlocksRecordWithoutApplyingAndReplayLater)
{
    Open(16, 16, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->BeginStateBlock());
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::TextureFactor, 0xFF00FF00));
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::ColorOp, gfx::texop::SelectArg1));
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::ColorArg1, gfx::texarg::TFactor));
    uint32_t block = 0;
    ASSERT_TRUE(device_->EndStateBlock(block));
    EXPECT_NE(block, 0u);
    // Not applied yet: the quad keeps its own colour.
    EXPECT_EQ(device_->GetTextureStageState(0, gfx::StageState::ColorOp), gfx::texop::Modulate);
    Draw(ScreenQuad(0, 0, 8, 16, 0xFFFF0000));
    ASSERT_TRUE(device_->ApplyStateBlock(block));
    Draw(ScreenQuad(8, 0, 16, 16, 0xFFFF0000));
    EXPECT_EQ(Pixel(4, 8), 0xFF0000u);
    EXPECT_EQ(Pixel(12, 8), 0x00FF00u);
    // Capture takes the current values of the states the block holds.
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::TextureFactor, 0xFF0000FF));
    ASSERT_TRUE(device_->CaptureStateBlock(block));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::TextureFactor, 0xFFFFFFFF));
    ASSERT_TRUE(device_->ApplyStateBlock(block));
    EXPECT_EQ(device_->GetRenderState(gfx::RenderState::TextureFactor), 0xFF0000FFu);
    ASSERT_TRUE(device_->DeleteStateBlock(block));
    EXPECT_FALSE(device_->ApplyStateBlock(block));
    EXPECT_FALSE(device_->ApplyStateBlock(0));
}

TEST_F(GfxRender, DrawingOutsideASceneFails)
{
    Open(16, 16, 32);
    const auto v = ScreenQuad(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_FALSE(device_->DrawPrimitive(gfx::Primitive::TriangleList, gfx::kFvfTLVertex, v.data(), 6));
    ASSERT_TRUE(device_->BeginScene());
    EXPECT_FALSE(device_->BeginScene());
    ASSERT_TRUE(device_->EndScene());
    EXPECT_FALSE(device_->EndScene());
}

TEST_F(GfxRender, IndexedDrawingRejectsIndicesPastTheVertices)
{
    Open(16, 16, 32);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    const auto v = ScreenQuad(0, 0, 16, 16, 0xFFFFFFFF);
    const uint16_t good[] = {0, 1, 2}, bad[] = {0, 1, 6};
    EXPECT_FALSE(device_->DrawIndexedPrimitive(gfx::Primitive::TriangleList, gfx::kFvfTLVertex, v.data(), 6, bad, 3));
    EXPECT_EQ(Pixel(12, 2), 0u);
    EXPECT_TRUE(device_->DrawIndexedPrimitive(gfx::Primitive::TriangleList, gfx::kFvfTLVertex, v.data(), 6, good, 3));
    EXPECT_EQ(Pixel(12, 2), 0xFFFFFFu);
}

TEST_F(GfxRender, PresentShowsTheBackBuffer)
{
    Open(16, 16, 16);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF00FF00);
    ASSERT_TRUE(device_->EndScene());
    EXPECT_EQ(Pixel(1, 1, true), 0x000000u); // a new screen starts black
    ASSERT_TRUE(gfx::Present());
    EXPECT_EQ(Pixel(1, 1, true), 0x00FC00u);
}

} // namespace

namespace {

TEST_F(GfxRender, StateBlockForgetsTexturesDestroyedSinceRecording)
{
    Open(16, 16, 32);
    auto t = gfx::Texture::Create(4, 4, gfx::Argb8888(), 1);
    ASSERT_TRUE(t->ColourFill(0xFFFF0000));
    ASSERT_TRUE(device_->BeginStateBlock());
    ASSERT_TRUE(device_->SetTexture(0, t.get()));
    uint32_t block = 0;
    ASSERT_TRUE(device_->EndStateBlock(block));
    t.reset();
    // Replaying binds nothing rather than a freed texture; drawing shows the vertex colour.
    ASSERT_TRUE(device_->ApplyStateBlock(block));
    EXPECT_EQ(device_->GetTexture(0), nullptr);
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    Draw(ScreenQuad(0, 0, 16, 16, 0xFF00FF00));
    EXPECT_EQ(Pixel(8, 8), 0x00FF00u);
}

} // namespace

namespace {

TEST_F(GfxRender, TextureTransformScrollsCoordinates)
{
    Open(32, 32, 32);
    auto t = gfx::Texture::Create(2, 1, gfx::Argb8888(), 1);
    uint32_t pitch = 0;
    uint8_t* p = t->Lock(0, pitch);
    const uint32_t texels[2] = {0xFFFF0000, 0xFF0000FF};
    std::memcpy(p, texels, 8);
    ASSERT_TRUE(t->Unlock(0));
    ASSERT_TRUE(device_->SetTexture(0, t.get()));
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::ColorOp, gfx::texop::SelectArg1));
    struct Case {
        uint32_t flags;
        float du;
        uint32_t left, right;
    };
    // The scroll sits in the third row, as a scrolling texture's matrix has it.
    const Case cases[] = {{0, 0.5f, 0xFF0000, 0x0000FF}, {gfx::kTextureTransformCount2, 0.5f, 0x0000FF, 0xFF0000},
                          {gfx::kTextureTransformCount2, 1.0f, 0xFF0000, 0x0000FF}};
    for (const Case& c : cases) {
        gfx::Matrix m;
        m(2, 0) = c.du;
        ASSERT_TRUE(device_->SetTransform(gfx::TransformType::Texture0, m));
        ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::TextureTransformFlags, c.flags));
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        Draw(ScreenQuad(0, 0, 32, 32, 0xFFFFFFFF));
        ASSERT_TRUE(device_->EndScene());
        EXPECT_EQ(Pixel(4, 16), c.left) << c.flags << " " << c.du;
        EXPECT_EQ(Pixel(28, 16), c.right) << c.flags << " " << c.du;
    }
}

TEST_F(GfxRender, UserClipPlanesCutTransformedGeometryOnly)
{
    Open(32, 32, 32);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::Lighting, 0));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
    // Keep y >= 0.25 in world space; the view moves the world down by 0.25.
    ASSERT_TRUE(device_->SetClipPlane(0, {0, 1, 0, -0.25f}));
    gfx::Matrix view;
    view(3, 1) = -0.25f;
    ASSERT_TRUE(device_->SetTransform(gfx::TransformType::View, view));
    const gfxtest::LVertex q[] = {{-1, 1, 0.5f, 0xFFFFFFFF, 0, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFF, 0, 0, 0},
                                  {1, -1, 0.5f, 0xFFFFFFFF, 0, 0, 0}, {-1, -1, 0.5f, 0xFFFFFFFF, 0, 0, 0}};
    for (uint32_t enable : {0u, 1u}) {
        ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::ClipPlaneEnable, enable));
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfLVertex, q, 4));
        ASSERT_TRUE(device_->EndScene());
        // World y 0.25 is clip y 0 after the view: the screen's middle row.
        EXPECT_EQ(Pixel(16, 8), 0xFFFFFFu);
        EXPECT_EQ(Pixel(16, 14), 0xFFFFFFu);  // a plane taken in view space would cut here
        EXPECT_EQ(Pixel(16, 17), enable ? 0u : 0xFFFFFFu);
        EXPECT_EQ(Pixel(16, 24), enable ? 0u : 0xFFFFFFu);
    }
    // Screen vertices are never cut by the planes.
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    Draw(ScreenQuad(0, 0, 32, 32, 0xFF00FF00));
    EXPECT_EQ(Pixel(16, 24), 0x00FF00u);
}

} // namespace

namespace {

class GfxLighting : public gfxtest::Screen {
protected:
    void SetUpLitScene()
    {
        Open(16, 16, 32);
        ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
        gfx::Material m;
        m.diffuse = {1, 1, 1, 1};
        ASSERT_TRUE(device_->SetMaterial(m));
    }
    // A small square facing the viewer (-z) around (x, 0, 0.5).
    void DrawPatch(float x, float half)
    {
        const gfxtest::NVertex v[] = {{x - half, half, 0.5f, 0, 0, -1, 0, 0}, {x + half, half, 0.5f, 0, 0, -1, 0, 0},
                                      {x + half, -half, 0.5f, 0, 0, -1, 0, 0}, {x - half, -half, 0.5f, 0, 0, -1, 0, 0}};
        ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfVertex, v, 4));
    }
    uint32_t Grey(int x) { return Pixel(x, 8) & 0xFF; }
};

TEST_F(GfxLighting, PointLightsStopAtTheirRange)
{
    SetUpLitScene();
    gfx::Light light;
    light.type = gfx::LightType::Point;
    light.diffuse = {1, 1, 1, 1};
    light.position = {-0.5f, 0, 0};
    light.attenuation0 = 1;
    for (float range : {0.8f, 0.0f}) {
        light.range = range;
        ASSERT_TRUE(device_->SetLight(0, light));
        ASSERT_TRUE(device_->LightEnable(0, true));
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        DrawPatch(-0.5f, 0.1f);  // half a metre from the light
        DrawPatch(0.5f, 0.1f);   // a metre and more
        ASSERT_TRUE(device_->EndScene());
        EXPECT_GT(Grey(4), 200u) << range;
        if (range > 0) {
            EXPECT_EQ(Grey(12), 0u);
        } else {
            EXPECT_NEAR(double(Grey(12)), 0.447 * 255, 8.0);  // no range: lit at N.L
        }
    }
}

TEST_F(GfxLighting, SpotLightsFadeBetweenTheirCones)
{
    SetUpLitScene();
    gfx::Light light;
    light.type = gfx::LightType::Spot;
    light.diffuse = {1, 1, 1, 1};
    light.position = {0, 0, 0};
    light.direction = {0, 0, 1};
    light.attenuation0 = 1;
    light.theta = 0.4f;  // full light within 0.2 rad of the axis
    light.phi = 1.2f;    // none beyond 0.6 rad
    light.falloff = 1;
    ASSERT_TRUE(device_->SetLight(0, light));
    ASSERT_TRUE(device_->LightEnable(0, true));
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    DrawPatch(0.0f, 0.05f);
    DrawPatch(0.3f, 0.05f);
    DrawPatch(0.7f, 0.05f);
    const uint32_t centre = Grey(8), between = Grey(10), outside = Grey(13);
    EXPECT_GT(centre, 240u);
    EXPECT_GT(between, 10u);
    EXPECT_LT(between, 140u);  // a plain exponent would leave it near 200
    EXPECT_EQ(outside, 0u);
}

TEST_F(GfxLighting, SpecularColourCanComeFromTheVertex)
{
    SetUpLitScene();
    gfx::Material m;
    m.diffuse = {0, 0, 0, 1};
    m.specular = {0, 0, 0, 1};  // the material has none: only the vertex's shows
    m.power = 1;
    ASSERT_TRUE(device_->SetMaterial(m));
    gfx::Light light;
    light.type = gfx::LightType::Directional;
    light.diffuse = light.specular = {1, 1, 1, 1};
    light.direction = {0, 0, 1};
    ASSERT_TRUE(device_->SetLight(0, light));
    ASSERT_TRUE(device_->LightEnable(0, true));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::SpecularEnable, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::LocalViewer, 0));
    struct V {
        float x, y, z, nx, ny, nz;
        uint32_t diffuse, specular;
    };
    const uint32_t fvf = gfx::kFvfXyz | gfx::kFvfNormal | gfx::kFvfDiffuse | gfx::kFvfSpecular;
    const V q[] = {{-1, 1, 0.5f, 0, 0, -1, 0xFF000000, 0xFF00FF00}, {1, 1, 0.5f, 0, 0, -1, 0xFF000000, 0xFF00FF00},
                   {1, -1, 0.5f, 0, 0, -1, 0xFF000000, 0xFF00FF00}, {-1, -1, 0.5f, 0, 0, -1, 0xFF000000, 0xFF00FF00}};
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->DrawPrimitive(gfx::Primitive::TriangleFan, fvf, q, 4));
    EXPECT_EQ(Pixel(8, 8), 0x00FF00u);
}

} // namespace

namespace {

// A render target takes the clears and draws, with a depth buffer of its
// own, until the back buffer is set back; what it holds reads back top row
// first and draws as a texture the right way up. A freed target gives the
// back buffer back.
TEST_F(GfxRender, RenderTargetsTakeTheDrawingUntilTheBackBufferReturns)
{
    Open(32, 32, 32);
    auto target = gfx::Texture::CreateRenderTarget(16, 8);
    ASSERT_NE(target, nullptr);
    EXPECT_TRUE(target->IsRenderTarget());
    auto plain = gfx::Texture::Create(16, 8, gfx::Argb8888(), 1);
    EXPECT_FALSE(device_->SetRenderTarget(plain.get())) << "a texture made without a frame buffer";
    EXPECT_EQ(device_->GetRenderTarget(), nullptr);
    EXPECT_EQ(gfx::Texture::CreateRenderTarget(0, 8), nullptr);

    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetRenderTarget(target.get()));
    EXPECT_EQ(device_->GetRenderTarget(), target.get());
    const gfx::Viewport whole = device_->GetViewport();
    EXPECT_EQ((std::array{whole.x, whole.y, whole.width, whole.height}), (std::array{0, 0, 16, 8}));
    EXPECT_FALSE(device_->SetViewport({0, 0, 32, 32, 0, 1})) << "larger than the target";
    ClearTo(0xFFFF0000);
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::ZEnable, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::ZWriteEnable, 1));
    Draw(ScreenQuad(0, 0, 8, 4, 0xFF00FF00));
    Draw(ScreenQuad(8, 0, 16, 8, 0xFF0000FF, 0.3f));
    Draw(ScreenQuad(8, 0, 16, 8, 0xFFFFFF00, 0.6f)); // behind, in the target's own depth
    ASSERT_TRUE(device_->SetRenderTarget(nullptr));
    const gfx::Viewport back = device_->GetViewport();
    EXPECT_EQ((std::array{back.width, back.height}), (std::array{32, 32}));
    EXPECT_EQ(Pixel(2, 1), 0x000000u) << "nothing reached the back buffer";

    const struct {
        int x, y;
        uint32_t texel, screen; // the target's texel there, and the screen drawn from it
    } rows[] = {
        {2, 1, 0xFF00FF00, 0x00FF00},
        {12, 6, 0xFF0000FF, 0x0000FF},
        {2, 6, 0xFFFF0000, 0xFF0000},
    };
    uint32_t pitch = 0;
    const uint8_t* texels = target->Lock(0, pitch);
    ASSERT_NE(texels, nullptr);
    for (const auto& row : rows) {
        uint32_t texel = 0;
        std::memcpy(&texel, texels + size_t(row.y) * pitch + size_t(row.x) * 4, 4);
        EXPECT_EQ(texel, row.texel) << row.x << ", " << row.y;
    }
    ASSERT_TRUE(target->Unlock(0));

    ASSERT_TRUE(device_->SetTexture(0, target.get()));
    Draw(ScreenQuad(0, 0, 32, 32, 0xFFFFFFFF));
    for (const auto& row : rows)
        EXPECT_EQ(Pixel(row.x * 2, row.y * 4 + 1), row.screen) << row.x << ", " << row.y;
    ASSERT_TRUE(device_->SetTexture(0, nullptr));

    // A target freed while set: drawing goes to the back buffer again.
    ASSERT_TRUE(device_->SetRenderTarget(target.get()));
    target.reset();
    EXPECT_EQ(device_->GetRenderTarget(), nullptr);
    ClearTo(0xFF0000FF);
    EXPECT_EQ(Pixel(4, 4), 0x0000FFu);
}

} // namespace
