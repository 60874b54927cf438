// The particle tester's lines: what a click on each changes, where values
// wrap, the names shown, and the pointer's line under the screen.
#include "ui/particle_tester.h"

#include "../Veapi/camera_fixture.h"
#include "solid_fonts.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/texture_loader.h"
#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "ui/hud_view.h"
#include "ui/scene_lighting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using S = ParticleSettings;

TEST(ParticleSettingsTest, ClicksChangeTheirLineAndWrap)
{
    struct Row {
        const char* what;
        std::function<void(S&)> before;
        int line;
        float column;
        std::function<bool(const S&)> after;
    };
    const Row rows[] = {
        {"rate steps by 5", [](S& s) { s.rate = 10; }, S::kRate, 0.0f, [](const S& s) { return s.rate == 15; }},
        {"rate 100 wraps to 5", [](S& s) { s.rate = 100; }, S::kRate, 0.0f, [](const S& s) { return s.rate == 5; }},
        {"ttl 200 wraps to 10", [](S& s) { s.timeToLive = 200; }, S::kTimeToLive, 0.3f,
         [](const S& s) { return s.timeToLive == 10; }},
        {"direction x", [](S&) {}, S::kDirection, 0.05f,
         [](const S& s) { return s.direction.x == 0.25f && s.direction.y == 0 && s.direction.z == 0; }},
        {"direction y", [](S&) {}, S::kDirection, 0.15f, [](const S& s) { return s.direction.y == 0.25f; }},
        {"direction z wraps", [](S& s) { s.direction.z = 3; }, S::kDirection, 0.5f,
         [](const S& s) { return s.direction.z == -3; }},
        {"velocity y", [](S&) {}, S::kVelocity, 0.15f, [](const S& s) { return s.velocity.y == 0.25f; }},
        {"generator toggles", [](S&) {}, S::kGenerator, 0.0f, [](const S& s) { return s.generator; }},
        {"life timer count to none", [](S& s) { s.lifeTimer = 2; }, S::kLifeTimer, 0.0f,
         [](const S& s) { return s.lifeTimer == 0; }},
        {"light run time to prelight", [](S& s) { s.lightMode = 4; }, S::kLight, 0.0f,
         [](const S& s) { return s.lightMode == 0; }},
        {"colour red", [](S& s) { s.red = 0.5f; }, S::kColour, 0.05f,
         [](const S& s) { return std::abs(s.red - 0.6f) < 1e-5f && s.blue == 1; }},
        {"colour between 0.2 and 0.3 is blue", [](S& s) { s.blue = 0.2f; }, S::kColour, 0.25f,
         [](const S& s) { return std::abs(s.blue - 0.3f) < 1e-5f && s.alpha == 1 && s.green == 1; }},
        {"colour alpha wraps", [](S& s) { s.alpha = 1; }, S::kColour, 0.35f, [](const S& s) { return s.alpha == 0; }},
        {"start scale wraps", [](S& s) { s.startScale = 2; }, S::kStartScale, 0.0f,
         [](const S& s) { return s.startScale == 0; }},
        {"end scale", [](S& s) { s.endScale = 1; }, S::kEndScale, 0.0f,
         [](const S& s) { return std::abs(s.endScale - 1.1f) < 1e-5f; }},
        {"spin 10000 wraps", [](S& s) { s.spin = 10000; }, S::kSpin, 0.0f, [](const S& s) { return s.spin == 0; }},
        {"past the list", [](S&) {}, 12, 0.0f, [](const S& s) { return s.Lines() == S().Lines(); }},
        {"above the list", [](S&) {}, -1, 0.0f, [](const S& s) { return s.Lines() == S().Lines(); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        S s;
        r.before(s);
        s.Click(r.line, r.column);
        EXPECT_TRUE(r.after(s));
    }
}

TEST(ParticleSettingsTest, TypeCycleAndNames)
{
    int type = 3;
    std::string seen;
    for (int i = 0; i < 9; ++i) {
        seen += std::string(ParticleTypeName(type)) + ",";
        type = NextParticleType(type);
    }
    EXPECT_EQ(seen, "FIRE,SMOKE,SHOT,EXPLOSION,BIG EXPLOSION,STEAM,TRAIL,SPARKS,FIRE,");
    EXPECT_EQ(NextParticleType(7), 3) << "a type outside the cycle starts it again";
    EXPECT_STREQ(ParticleTypeName(7), "OTHER");
    const struct {
        int mode;
        const char *timer, *light;
    } names[] = {{0, "NONE", "PRELIGHT"}, {1, "TIME", "ALPH DCY"},   {2, "COUNT", "COL DCY"},
                 {3, "UNKNOWN", "COL + ALPH DCY"}, {4, "UNKNOWN", "RUN TIME"}, {-1, "UNKNOWN", "UNKNOWN"}};
    for (const auto& n : names) {
        EXPECT_STREQ(LifeTimerName(n.mode), n.timer);
        EXPECT_STREQ(LightModeName(n.mode), n.light);
    }
    S s;
    s.type = 12;
    s.lifeTimer = 1;
    const auto lines = s.Lines();
    ASSERT_EQ(lines.size(), size_t(S::kLineCount));
    EXPECT_EQ(lines[0], "TYPE SPARKS");
    EXPECT_EQ(lines[1], "RATE 10");
    EXPECT_EQ(lines[6], "Life timer TIME");
    EXPECT_EQ(lines[11], "Spin 0");
}

TEST(ParticleTesterTest, AClickOnALineChangesThatLine)
{
    ParticleTester::Replace({0, 0, 5}, 5);
    ParticleTester* tester = ParticleTester::Current();
    ASSERT_NE(tester, nullptr);
    EXPECT_EQ(tester->Settings().type, 5);
    const float h = tester->LineHeight();
    // The RATE line, a little off its middle, then the TYPE line.
    MenuScreen::SetPointer(tester->Left() + 0.05f, tester->Top() + ParticleTester::kMargin + h * 1.3f);
    tester->Run();
    EXPECT_EQ(tester->Settings().rate, 15.0f);
    MenuScreen::SetPointer(tester->Left() + 0.05f, tester->Top() + ParticleTester::kMargin);
    tester->Run();
    EXPECT_EQ(tester->Settings().type, 6);
    // A second tester replaces the first.
    ParticleTester::Replace({1, 0, 5}, 3);
    EXPECT_NE(ParticleTester::Current(), nullptr);
    EXPECT_EQ(ParticleTester::Current()->Settings().type, 3);
    EXPECT_EQ(std::count(MenuScreen::All().begin(), MenuScreen::All().end(), ParticleTester::Current()), 1);
    ParticleTester::ReleaseCurrent();
    EXPECT_EQ(ParticleTester::Current(), nullptr);
}

struct SmallScreen : HudView {
    float ScreenWidth() override { return 320; }
    float ScreenHeight() override { return 240; }
};

class ParticleTesterScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        uitest::WriteSolidFonts(dir_.Path());
        TextureManager::SetGraphicsDirectory(dir_.Path() / "graphics");
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
        Display::Hooks().flushText = [] { Font::FlushAll(); };
        StartScene(320, 240);
        std::string error;
        ASSERT_TRUE(TextConsole::Init(dir_.Path() / "fonts", dir_.Path() / "graphics", error)) << error;
        TextureManager::LoadPending();
        HudView::Install(&view_);
    }
    void TearDown() override
    {
        ParticleTester::ReleaseCurrent();
        HudView::Install(nullptr);
        TextConsole::Shutdown();
        SceneTest::TearDown();
    }
    void Frame()
    {
        BeginFrame(0);
        MenuScreen::DrawAll(0);
        RenderQueue::Flush();
        EndFrame();
    }
    bool White(int x, int y)
    {
        const auto p = Pixel(x, y);
        return p.r > 200 && p.g > 200 && p.b > 200;
    }
    displaytest::TempDir dir_;
    SmallScreen view_;
};

TEST_F(ParticleTesterScene, ListsItsSettingsInAFrameAndFollowsAClick)
{
    ParticleTester::Replace({0, 0, 5}, 3);
    ParticleTester* tester = ParticleTester::Current();
    ASSERT_NE(tester, nullptr);
    // "TYPE FIRE" from (0.04, 0.12) of the screen in 6-pixel cells.
    const int x = int(0.04f * 320) + 1, y = int(0.12f * 240) + 4;
    const int tenth = x + 9 * 6 + 2; // the tenth character's cell
    Frame();
    EXPECT_TRUE(White(x, y)) << "the first letter";
    EXPECT_FALSE(White(tenth, y)) << "FIRE has four letters";
    EXPECT_TRUE(White(int(0.3f * 320), int(0.1f * 240))) << "the frame's top edge";
    MenuScreen::SetPointer(tester->Left() + 0.1f, tester->Top() + ParticleTester::kMargin);
    tester->Run();
    Frame();
    EXPECT_TRUE(White(tenth, y)) << "SMOKE has five";
}

// The list stands on a backdrop drawn into a target of the frame's size:
// the target holds the backdrop colour and darkens the scene inside the
// frame only, also after a click made the list anew.
TEST_F(ParticleTesterScene, TheListStandsOnABackdropDrawnIntoItsTarget)
{
    ParticleTester::Replace({0, 0, 5}, 3);
    ParticleTester* tester = ParticleTester::Current();
    ASSERT_NE(tester, nullptr);
    const int frameLeft = int(0.02f * 320), frameRight = int(0.52f * 320);
    const int inside = frameRight - 4, below = int(0.1f * 240) + 40;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        BeginFrame(0xFF808080u);
        MenuScreen::DrawAll(0);
        RenderQueue::Flush();
        EndFrame();
        ASSERT_NE(tester->Backdrop(), nullptr);
        gfx::Texture* target = tester->Backdrop()->Surface();
        ASSERT_NE(target, nullptr);
        EXPECT_TRUE(target->IsRenderTarget());
        EXPECT_EQ(target->Width(), uint32_t(frameRight - frameLeft));
        uint32_t pitch = 0;
        const uint8_t* texels = target->Lock(0, pitch);
        ASSERT_NE(texels, nullptr);
        uint32_t texel = 0;
        std::memcpy(&texel, texels + size_t(target->Height() / 2) * pitch, 4);
        EXPECT_EQ(texel, ParticleTester::kBackdrop);
        target->Unlock(0);
        const auto dark = Pixel(inside, below), bare = Pixel(frameRight + 20, below);
        EXPECT_LT(dark.r, 0x70) << "half the grey shows through the backdrop";
        EXPECT_GT(dark.r, 0x30);
        EXPECT_EQ(bare.r, 0x80) << "beside the frame the scene is untouched";
        MenuScreen::SetPointer(tester->Left() + 0.1f, tester->Top() + ParticleTester::kMargin);
        tester->Run();
    }
}

TEST(SceneLightingTest, GameLightsOnceAndClearsToWhite)
{
    LightSet::CreateGlobals(new LightSet);
    SceneLighting::SetGame();
    SceneLighting::SetGame();
    const struct {
        int set;
        float glow;
    } sets[] = {{0, 0.25f}, {1, 0.06f}, {3, 0.0f}};
    for (const auto& s : sets) {
        EXPECT_FLOAT_EQ(LightSet::Global(s.set)->Material().emissive.r, s.glow) << s.set;
        EXPECT_FLOAT_EQ(LightSet::Global(s.set)->Material().diffuse.a, 1.0f) << s.set;
    }
    EXPECT_EQ(LightSet::Global(0)->LightCount(), 1);
    SceneLighting::Clear();
    EXPECT_EQ(LightSet::Global(0)->LightCount(), 0);
    EXPECT_FLOAT_EQ(LightSet::Global(0)->Material().emissive.r, 1.0f);
    LightSet::DestroyGlobals();
}

} // namespace
