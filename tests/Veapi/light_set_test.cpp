#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "Veapi/primitives.h"
#include "app/log_file.h"
#include "camera_fixture.h"

namespace {

using scenetest::Rgb;
using scenetest::SceneTest;

Colour Rgba(float r, float g, float b)
{
    Colour c;
    c.Set(r, g, b, 1);
    return c;
}

class LightSets : public SceneTest {
protected:
    Rgb Frame(const std::function<void()>& lights)
    {
        // A quad over the middle of the screen, facing the camera, under the lights.
        BeginFrame();
        lights();
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        quad_->Draw(scenetest::ScaleTranslation(10, -5, -5, 10), nullptr, 0);
        EndFrame();
        return Pixel(160, 120);
    }
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        quad_ = VeShape::FromPrimitive({1, 1024, 1024, 0, nullptr});
    }
    void TearDown() override
    {
        quad_->Release();
        SceneTest::TearDown();
    }
    VeShape* quad_ = nullptr;
};

// Four lights facing the quad: a quarter red, a quarter green, a quarter
// blue, then half white. A device that takes n lights shows the first n.
TEST_F(LightSets, OnlyTheFirstLightsTheDeviceTakesShine)
{
    struct Case {
        uint32_t deviceLights;
        int expected[3];
    };
    const Case cases[] = {{8, {191, 191, 191}}, {3, {64, 64, 64}}, {2, {64, 64, 0}}, {1, {64, 0, 0}}};
    for (const Case& c : cases) {
        // A device of n lights from the start: nothing left on from the last case.
        Display::Caps().maxActiveLights = 8;
        LightSet().DisableLights();
        Display::Caps().maxActiveLights = c.deviceLights;
        LightSet set;
        const Colour black = Rgba(0, 0, 0);
        set.AddDirectionalLight(Rgba(0.25f, 0, 0), black, {0, 0, 1});
        set.AddDirectionalLight(Rgba(0, 0.25f, 0), black, {0, 0, 1});
        set.AddDirectionalLight(Rgba(0, 0, 0.25f), black, {0, 0, 1});
        set.AddDirectionalLight(Rgba(0.5f, 0.5f, 0.5f), black, {0, 0, 1});
        EXPECT_EQ(set.LightCount(), int32_t(std::min<uint32_t>(4, c.deviceLights)));
        const Rgb p = Frame([&] { set.Apply(); });
        EXPECT_NEAR(p.r, c.expected[0], 3) << c.deviceLights;
        EXPECT_NEAR(p.g, c.expected[1], 3) << c.deviceLights;
        EXPECT_NEAR(p.b, c.expected[2], 3) << c.deviceLights;
        LightSet::ForgetCurrent();
    }
    Display::Caps().maxActiveLights = 8;
}

TEST_F(LightSets, LightAddedToTheCurrentSetShinesAtOnceAndKeepsItsPlace)
{
    LightSet* set = new LightSet;
    const Colour black = Rgba(0, 0, 0);
    const Rgb dark = Frame([&] { set->Apply(); });
    EXPECT_EQ(dark.r + dark.g + dark.b, 0);
    // Added while current: on the device without another Apply.
    const Rgb red = Frame([&] {
        set->Apply();
        set->AddDirectionalLight(Rgba(0.5f, 0, 0), black, {0, 0, 1});
    });
    EXPECT_NEAR(red.r, 128, 3);
    const Rgb both = Frame([&] { set->AddDirectionalLight(Rgba(0, 0.5f, 0), black, {0, 0, 1}); });
    EXPECT_NEAR(both.r, 128, 3);
    EXPECT_NEAR(both.g, 128, 3);
    // Applying again moves nothing: the same two lights, no more.
    const Rgb again = Frame([&] { set->Apply(); });
    EXPECT_NEAR(again.r, 128, 3);
    EXPECT_NEAR(again.g, 128, 3);
    // A removed light stays on the device until the next Apply.
    Light* first = *set->Lights().begin();
    set->RemoveLight(first);
    const Rgb afterApply = Frame([&] { set->Apply(); });
    EXPECT_NEAR(afterApply.r, 0, 3);
    EXPECT_NEAR(afterApply.g, 128, 3);
    set->Release();
}

TEST_F(LightSets, EmissiveFromAPackedColourAndAlpha)
{
    LightSet* set = new LightSet;
    Colour c;
    c.packed = 0x80FF0000;  // alpha 128, red 255
    c.flags = Colour::kPackedValid;
    set->SetEmissive(c);
    EXPECT_FLOAT_EQ(set->Material().emissive.r, 1.0f);
    EXPECT_FLOAT_EQ(set->Material().emissive.g, 0.0f);
    EXPECT_FLOAT_EQ(set->Material().emissive.b, 0.0f);
    EXPECT_NEAR(set->Material().diffuse.a, 128.0f / 255.0f, 1e-6f);
    // With no light at all the quad shows the emissive red.
    const Rgb p = Frame([&] { set->Apply(); });
    EXPECT_GT(p.r, 250);
    EXPECT_LT(p.g + p.b, 5);
    set->Clear();
    EXPECT_FLOAT_EQ(set->Material().emissive.g, 1.0f);
    set->Release();
}

TEST_F(LightSets, PointLightWithoutRangeKeepsFiniteTerms)
{
    LightSet* set = new LightSet;
    Light* l = set->AddPointLight(Rgba(1, 1, 1), Rgba(0, 0, 0), {0, 0, 0}, 0.0f);
    ASSERT_NE(l, nullptr);
    EXPECT_TRUE(std::isfinite(l->Description().attenuation1));
    EXPECT_TRUE(std::isfinite(l->Description().attenuation2));
    const Rgb p = Frame([&] { set->Apply(); });
    EXPECT_GT(p.r, 100);  // a light, not NaN black
    set->Release();
}

TEST_F(LightSets, MaterialThatFailsValidationWithAnisotropyIsCompiledWithoutIt)
{
    displaytest::TempDir folder;  // the log file starts afresh there
    LogFile::Reset();
    Display::Options().allowAnisotropic = true;
    gfx::CurrentFaults().failValidation = true;
    RenderMaterial* m = new RenderMaterial(*DefaultMaterial::Get(DefaultMaterial::Opaque));
    m->stages_[0].minFilter = gfx::filter::MinAnisotropic;
    m->stages_[0].magFilter = gfx::filter::MagAnisotropic;
    EXPECT_FALSE(m->Compile());
    EXPECT_FALSE(Display::Options().allowAnisotropic);
    EXPECT_EQ(m->stages_[0].minFilter, gfx::filter::MinLinear);
    EXPECT_EQ(m->stages_[0].magFilter, gfx::filter::MagLinear);
    EXPECT_NE(m->StateBlock(), 0u) << "the block is still recorded";
    gfx::CurrentFaults().failValidation = false;
    EXPECT_TRUE(m->Compile());
    EXPECT_FALSE(Display::Options().allowAnisotropic) << "stays off for later compiles";
    m->Release();

    std::ifstream log(LogFile::Path());
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("Error: Validate Device failed on line 633 in file Veapi\\VertBuff.cpp."),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("Error: Validate Device failed on line 665 in file Veapi\\VertBuff.cpp."),
              std::string::npos);
}

// A block records fixed states; the display's caches and a camera's own
// depth compare must still hold after a material is applied.
TEST_F(LightSets, ApplyingAMaterialKeepsTheCameraDepthCompare)
{
    camera_->SetDepthRangeA(1.0f, 0.0f, 1.0f, 100.0f);  // reversed: greater-or-equal
    camera_->SetCurrent();
    ASSERT_EQ(camera_->CurrentZFunc(), gfx::cmp::GreaterEqual);
    for (int i : {DefaultMaterial::Opaque, DefaultMaterial::Blended, DefaultMaterial::Additive}) {
        RenderMaterial::Apply(DefaultMaterial::Get(i));
        EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::ZFunc), gfx::cmp::GreaterEqual) << i;
        EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::ZWriteEnable),
                  DefaultMaterial::Get(i)->zWrite_)
            << i;
    }
}

} // namespace

namespace {

// The per-frame buffer of screen vertices: a quad in screen pixels, drawn
// indexed with the line material, lands on exactly those pixels, and the
// buffer is made again after device loss.
TEST_F(LightSets, DynamicBufferDrawsScreenQuads)
{
    DynamicVertexBuffer buffer;
    buffer.Create();
    buffer.SetMaterial(DefaultMaterial::Get(DefaultMaterial::kLines));
    struct Tl {
        float x, y, z, rhw;
        uint32_t diffuse, specular;
        float u, v;
    };
    auto fill = [&] {
        Tl* v = reinterpret_cast<Tl*>(buffer.Lock());
        ASSERT_NE(v, nullptr);
        const float l = 100, t = 50, r = 140, b = 90;
        v[0] = {l, t, 0.5f, 1, 0xFF00FF00, 0, 0, 0};
        v[1] = {r, t, 0.5f, 1, 0xFF00FF00, 0, 0, 0};
        v[2] = {r, b, 0.5f, 1, 0xFF00FF00, 0, 0, 0};
        v[3] = {l, b, 0.5f, 1, 0xFF00FF00, 0, 0, 0};
        const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
        std::copy(idx, idx + 6, buffer.Indices());
        buffer.vertexCount_ = 4;
        buffer.indexCount_ = 6;
        buffer.Unlock();
    };
    for (int round = 0; round < 2; ++round) {
        fill();
        BeginFrame();
        EXPECT_TRUE(buffer.Draw(gfx::Primitive::TriangleList, true));
        EndFrame();
        const int inside[][2] = {{100, 50}, {139, 89}, {120, 70}};
        for (const auto& p : inside) {
            const Rgb c = Pixel(p[0], p[1]);
            EXPECT_EQ(c.g, 255) << p[0] << ", " << p[1];
            EXPECT_EQ(c.r + c.b, 0);
        }
        const int outside[][2] = {{99, 70}, {140, 70}, {120, 49}, {120, 90}};
        for (const auto& p : outside)
            EXPECT_EQ(Pixel(p[0], p[1]).g, 0) << p[0] << ", " << p[1];
        // Lost and restored between the rounds.
        Display::ReleaseDeviceObjects();
        EXPECT_FALSE(buffer.Valid());
        gfx::SimulateSurfaceLoss();
        Display::RestoreDeviceObjects();
        EXPECT_TRUE(buffer.Valid());
    }
}

} // namespace
