// The fog of war on screen: the level fog's material over a lit surface,
// by extra texture stage and by second pass, read back as a player sees it.
#include "world/fog_of_war.h"
#include "world/level.h"

#include "Veapi/camera_fixture.h"
#include "Veapi/ve3d.h"

#include <cstring>

namespace {

struct Unit : FogDefogger {
    Vec3 at{0, 0, 0};
    float range = 1;
    void HoldForFog() override {}
    void ReleaseForFog() override {}
    Vec3 FogPosition() const override { return at; }
    float GetViewRange() const override { return range; }
    bool IsFogProjectile() const override { return false; }
    void SetDefogging(bool) override {}
};

// Screen vertex with the surface's colour and the fog texture's (u, v) as
// the second coordinate set.
struct Vertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u0, v0, u1, v1;
};

constexpr int kGrid = 8;       // cells, one world unit each
constexpr float kSide = 160;   // the quad's side in pixels: 20 per cell
constexpr uint32_t kRed = 0xFFFF0000;

class FogDraw : public scenetest::SceneTest {
protected:
    void TearDown() override
    {
        FogOfWar::DestroyGlobal();
        SceneTest::TearDown();
    }

    static void DrawQuad()
    {
        const Vertex quad[4] = {
            {0, 0, 0.5f, 1, kRed, 0, 0, 0, 0},
            {kSide, 0, 0.5f, 1, kRed, 0, 0, 1, 0},
            {0, kSide, 0.5f, 1, kRed, 0, 0, 0, 1},
            {kSide, kSide, 0.5f, 1, kRed, 0, 0, 1, 1},
        };
        ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleStrip,
                                                     gfx::kFvfXyzRhw | gfx::kFvfDiffuse | gfx::kFvfTex2, quad, 4));
    }
};

TEST_F(FogDraw, ClearedCellsShowTheLevelAndFoggedOnesTheFogColour)
{
    StartScene();
    Unit seen, gone;
    seen.at = {2.5f, 0, 2.5f};
    seen.range = 2;
    gone.at = {6.5f, 0, 1.5f};
    gone.range = 1;

    // The surface alone: its vertex colour, unlit.
    RenderMaterial base;
    base.lighting_ = 0;
    base.stages_[0].colourOp = base.stages_[0].alphaOp = gfx::texop::SelectArg1;
    base.stages_[0].colourArg1 = base.stages_[0].alphaArg1 = gfx::texarg::Diffuse;

    const struct {
        const char* name;
        int32_t hardwareLevel;
        int32_t mode;
    } modes[] = {{"extra stage", 2, FogOfWar::kModeStage}, {"second pass", 1, FogOfWar::kModePass}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.name);
        FogOfWar* fog = FogOfWar::CreateGlobal(kGrid);
        ASSERT_NE(fog, nullptr);
        fog->SetWorldArea(0, 0, kGrid, kGrid);
        Colour black;
        black.Set(0, 0, 0, 1);
        fog->SetColour(black);
        RenderMaterial* material = fog->MakeFogMaterial(base, m.hardwareLevel);
        EXPECT_EQ(fog->Mode(), m.mode);
        fog->AddDefogger(&seen);
        fog->AddDefogger(&gone);
        fog->UpdateAt(1);
        fog->RemoveDefogger(&gone); // its cells stay discovered but unseen

        BeginFrame(0xFF000000);
        for (RenderMaterial* pass = material; pass; pass = pass->NextPass()) {
            RenderMaterial::Apply(pass);
            DrawQuad();
        }
        EndFrame();
        RenderMaterial::ForgetCurrent();

        const struct {
            const char* name;
            int i, j;
            int redMin, redMax;
        } cells[] = {
            {"seen now", 2, 2, 230, 255},
            {"discovered, not seen", 6, 1, 100, 160},
            {"never discovered", 6, 6, 0, 20},
        };
        for (const auto& c : cells) {
            SCOPED_TRACE(c.name);
            const scenetest::Rgb p = Pixel(20 * c.i + 10, 20 * c.j + 10);
            EXPECT_GE(p.r, c.redMin);
            EXPECT_LE(p.r, c.redMax);
            EXPECT_LE(p.g, 20);
        }
        material->Release();
        fog->RemoveDefogger(&seen);
        FogOfWar::DestroyGlobal();
    }
}

TEST_F(FogDraw, TheGlobalFogFitsTheDeviceAndSetsTheTextureFactor)
{
    EXPECT_EQ(FogOfWar::CreateGlobal(64), nullptr); // no device yet
    EXPECT_EQ(FogOfWar::Global(), nullptr);
    StartScene();
    FogOfWar* fog = FogOfWar::CreateGlobal(1 << 20);
    ASSERT_NE(fog, nullptr);
    EXPECT_EQ(FogOfWar::Global(), fog);
    EXPECT_EQ(uint32_t(fog->Size()), Display::Caps().maxTextureSize);
    ASSERT_NE(fog->VideoTexture(), nullptr);
    EXPECT_NE(fog->Format().alphaMask, 0u);
    ASSERT_NE(fog->LevelMaterial(), nullptr);
    ASSERT_NE(fog->EffectMaterial(), nullptr);
    // The fog is on wherever the device can draw it.
    EXPECT_NE(fog->Mode(), FogOfWar::kModeOff);

    Colour colour;
    colour.Set(0.5f, 1.0f, 0.0f, 1.0f);
    fog->SetColour(colour);
    EXPECT_EQ(FogOfWar::TextureFactor(), 0xFF7FFF00u);
    EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::TextureFactor), 0xFF7FFF00u);

    // A second level start replaces the first fog.
    FogOfWar* again = FogOfWar::CreateGlobal(16);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(FogOfWar::Global(), again);
    EXPECT_EQ(again->Size(), 16);
}

} // namespace

// The fog switch remakes the shared materials in place: a stage when the
// device has two, a second pass otherwise (kept ready while the fog is off),
// and switching back never leaves the other form behind.
TEST_F(FogDraw, SwitchingTheFogRemakesItsMaterialsInPlace)
{
    StartScene();
    FogOfWar* fog = FogOfWar::CreateGlobal(kGrid);
    ASSERT_NE(fog, nullptr);
    RenderMaterial* const levelMaterial = fog->LevelMaterial();
    RenderMaterial* const effectMaterial = fog->EffectMaterial();
    const bool twoStages = FogOfWar::DeviceHardwareLevel() >= 2;
    Level level(nullptr, Vec3{0, 0, 0}, nullptr);

    const struct {
        bool on;
        int32_t mode;
        bool stage;
    } steps[] = {
        {true, twoStages ? FogOfWar::kModeStage : FogOfWar::kModePass, twoStages},
        {false, FogOfWar::kModeOff, false},
        {true, twoStages ? FogOfWar::kModeStage : FogOfWar::kModePass, twoStages},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.on ? "on" : "off");
        level.SetFogEnabled(s.on);
        EXPECT_EQ(fog->Mode(), s.mode);
        for (RenderMaterial* material : {fog->LevelMaterial(), fog->EffectMaterial()}) {
            EXPECT_EQ(material->stageCount_ >= 2, s.stage);
            EXPECT_EQ(material->NextPass() != nullptr, !s.stage);
        }
    }
    EXPECT_EQ(fog->LevelMaterial(), levelMaterial);
    EXPECT_EQ(fog->EffectMaterial(), effectMaterial);
}
