// What the draw hooks and lights change on screen, read back from the frame
// under Xvfb: clip planes keep the part below a height, a texture transform
// is switched off again after its draw, and light colours above 1 brighten.
#include <gtest/gtest.h>

#include <optional>

#include "Veapi/camera_fixture.h"
#include "Veapi/primitives.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "effect_support.h"
#include "effects/draw_hooks.h"
#include "effects/effect_shapes.h"
#include "platform/gfx_caps.h"

namespace {

using scenetest::Rgb;

class EffectPixels : public scenetest::SceneTest {
protected:
    void TearDown() override
    {
        gfx::ResetCaps();
        RenderQueue::Clear();
        if (quad_)
            quad_->Release();
        SceneTest::TearDown();
    }

    // A quad 4 wide and high, centred 3 in front of the camera, facing it.
    VeObject* Quad()
    {
        PrimitiveDesc desc;
        desc.kind = 1;
        desc.p1 = desc.p2 = 1;
        VeShape* shape = VeShape::FromPrimitive(desc);
        quad_ = VeObject::FromShape(shape, false);
        shape->Release();
        quad_->placement_.SetScale({4, 4, 1});
        quad_->placement_.SetPosition({-2, -2, 3});
        return quad_;
    }

    void Draw(LightSet* lights, DrawHooks* hooks, int material = DefaultMaterial::Opaque)
    {
        BeginFrame(0);
        quad_->QueueDraw(0, camera_.get(), lights, DefaultMaterial::Get(material), 0, DrawFlag::kNoBoxTests, nullptr,
                         hooks, nullptr);
        EndFrame();
    }

    static bool Drawn(const Rgb& c) { return c.r + c.g + c.b > 60; }

    VeObject* quad_ = nullptr;
};

TEST_F(EffectPixels, ClipPlanesKeepWhatLiesBelowTheHeight)
{
    StartScene(320, 240);
    ASSERT_GE(Display::Caps().maxUserClipPlanes, 2u);
    Quad();
    LightSet* lights = FrontLight();
    // Screen rows at world heights -1.2, -0.15, +0.15 and +1.2 (40 pixels a unit at 3 in front).
    struct Row {
        float h, h2;
        bool two;
        bool expected[4];
    };
    const Row rows[] = {
        {0.0f, 0, false, {false, false, true, true}},
        {-0.3f, 0, false, {false, true, true, true}},
        {0.3f, -0.3f, true, {false, true, true, false}},
    };
    const int ys[4] = {72, 114, 126, 168};
    for (const Row& row : rows) {
        auto* hook = new ClipPlaneHook(row.h, row.h2, row.two);
        Draw(lights, hook);
        hook->Release();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Drawn(Pixel(160, ys[i])), row.expected[i]) << row.h << " row " << ys[i];
        EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::ClipPlaneEnable), 0u);
    }
    lights->Release();
}

TEST_F(EffectPixels, TextureScrollIsOffAgainAfterItsDraw)
{
    StartScene(320, 240);
    Quad();
    LightSet* lights = FrontLight();
    auto* hook = new TextureScrollHook(TextureScrollHook::Scroll(0.25f, 0.5f));
    Draw(lights, hook);
    hook->Release();
    EXPECT_EQ(Display::Device()->GetTextureStageState(0, gfx::StageState::TextureTransformFlags), 0u);
    EXPECT_TRUE(Drawn(Pixel(160, 120)));
    lights->Release();
}

TEST_F(EffectPixels, LightColoursAboveOneReachTheLighting)
{
    StartScene(320, 240);
    Quad();
    // Light meeting the quad at 60 degrees: half of its colour arrives.
    auto brightness = [this](float level) {
        auto* set = new LightSet;
        Colour c, s;
        c.Set(level, level, level, 1);
        s.Set(0, 0, 0, 1);
        set->AddDirectionalLight(c, s, {0.8660254f, 0, 0.5f});
        Draw(set, nullptr, DefaultMaterial::Opaque);
        set->Release();
        const Rgb p = Pixel(160, 120);
        return p.r + p.g + p.b;
    };
    const int one = brightness(1.0f);
    const int two = brightness(2.0f);
    EXPECT_GT(one, 60);
    EXPECT_GT(two, one + one / 2);
}

TEST_F(EffectPixels, InjectedCapsSetTheClipPlanesAndTheHardwareLevel)
{
    struct Row {
        uint32_t planes, stages, wantPlanes;
        int32_t wantLevel;
    };
    const Row rows[] = {{0, 8, 0, 2}, {1, 8, 1, 2}, {6, 8, 6, 2}, {2, 1, 2, 1}, {99, 8, 6, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.planes << " planes, " << row.stages << " stages");
        gfx::CurrentCaps().userClipPlanes = row.planes;
        gfx::CurrentCaps().textureStages = row.stages;
        StartScene(320, 240);
        EXPECT_EQ(DeviceLimits::ClipPlanes(), row.wantPlanes);
        EXPECT_EQ(DeviceLimits::HardwareLevel(), row.wantLevel);
        camera_.reset();
        Display::Shutdown();
    }
}

// A blinking light in front of a wall: the wall takes each colour in turn,
// frame after frame, while the wall's light set stays the current one, and
// goes dark when the light goes.
TEST_F(EffectPixels, PulsingLightRecoloursTheWallItLights)
{
    StartScene(320, 240);
    Quad();
    LightSet::CreateGlobals(new LightSet);
    Effects::PulseColours colours;
    colours.first.Set(1, 0, 0, 1);
    colours.second.Set(0, 0, 1, 1);
    colours.periodSeconds = 1.0f;
    const int64_t start = effecttest::WrapStart();
    Effects::AddPulsingLight(true, {0, 0, 2}, colours);
    const struct {
        double at;
        bool red;
    } rows[] = {{0.0, false}, {0.5, false}, {1.0, true}, {1.5, true}, {2.0, false}, {3.0, true}};
    // The light's colour swaps; its highlight keeps the first colour, so
    // the phases are told apart by how they differ.
    std::optional<Rgb> seen[2];
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at);
        Effects::UpdateAndDrawAll(start + effecttest::Ticks(row.at), Effects::WorldList());
        Draw(LightSet::Global(0), nullptr);
        const Rgb p = Pixel(160, 120);
        std::optional<Rgb>& same = seen[row.red];
        if (!same)
            same = p;
        EXPECT_NEAR(p.r, same->r, 3);
        EXPECT_NEAR(p.b, same->b, 3);
    }
    ASSERT_TRUE(seen[0] && seen[1]);
    // The first switch comes at once: the second colour shows first.
    EXPECT_GT(seen[1]->r, seen[0]->r + 20);
    EXPECT_GT(seen[0]->b, seen[1]->b + 20);
    // Freed with its record, the light stops lighting the wall.
    Effects::ClearAll();
    Draw(LightSet::Global(0), nullptr);
    const Rgb dark = Pixel(160, 120);
    EXPECT_LT(dark.r + dark.g + dark.b, 10);
    LightSet::DestroyGlobals();
}

TEST_F(EffectPixels, ReflectTakesTheShinyTextureOnceAndOnlyOnCapableDevices)
{
    struct Row {
        uint32_t stages;
        uint8_t flagByte;
        int records;
    };
    const Row rows[] = {{8, 0, 1}, {8, EffectObject::kNoReflections, 0}, {1, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.stages << " stages, flags " << int(row.flagByte));
        gfx::CurrentCaps().textureStages = row.stages;
        StartScene(320, 240);
        effecttest::FakeObject* o = effecttest::FakeObject::Make();
        o->flagByte_ = row.flagByte;
        o->instance_->Textures().PushBack(TextureManager::Find("GROUND\\Shiny.rim"));
        Effects::AddSphereMapToActor(o);
        Effects::AddSphereMapToActor(o);
        EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::SphereMap), row.records);
        EXPECT_EQ(o->instance_->Textures().Count(), row.records ? 0 : 1);
        Effects::ClearAll();
        EffectShapes::Release();
        o->Release();
        camera_.reset();
        Display::Shutdown();
    }
}

TEST_F(EffectPixels, DissolveDrawsOnceWithOnePlaneAndAddsTheBandWithTwo)
{
    struct Row {
        uint32_t planes;
        float scaleY;
    };
    const Row rows[] = {{0, 0.5f}, {1, 1.0f}, {2, 1.0f}};
    ParticleEffects::SetSink([](const ParticleEmitterDesc&, const Vec3&) -> ParticleEmitter* { return nullptr; });
    std::vector<size_t> queued;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.planes);
        gfx::CurrentCaps().userClipPlanes = row.planes;
        StartScene(320, 240);
        effecttest::FakeObject* o = effecttest::FakeObject::Make();
        Effects::AddDestructionEffect(o, 0);
        RenderQueue::Clear();
        Effects::UpdateAndDrawAll(Effects::SecondsToTicks(3.0), Effects::WorldList());
        queued.push_back(RenderQueue::Count());
        EXPECT_NEAR(o->instance_->placement_.Scale().y, row.scaleY, 0.01f);
        RenderQueue::Clear();
        Effects::ClearAll();
        o->Release();
        camera_.reset();
        Display::Shutdown();
    }
    ParticleEffects::SetSink(nullptr);
    // No planes: only shrunk; one: drawn clipped; two: the glowing band too.
    EXPECT_EQ(queued[0], 0u);
    EXPECT_GT(queued[1], 0u);
    EXPECT_GT(queued[2], queued[1]);
}

} // namespace
