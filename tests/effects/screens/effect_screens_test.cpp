// What a player sees of each effect family: one frame without the effect,
// one with it, read back from the screen under Xvfb. The effect must change
// pixels inside its own screen rectangle and none outside it. Each frame is
// also written as a BMP (named after its row) for review.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "Veapi/camera_fixture.h"
#include "Veapi/particles.h"
#include "Veapi/render_queue.h"
#include "Veapi/screenshot.h"
#include "Veapi/ve3d.h"
#include "effect_support.h"
#include "review_screens.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"
#include "world/level.h"

namespace {

struct Rect {
    int x0, y0, x1, y1;  // inclusive
    bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

struct Row {
    const char* name;
    void (*add)(int64_t now);
    double seconds;  // frame time after the effect was added
    Rect where;      // the screen rectangle the effect may touch
};

constexpr int kWidth = 320, kHeight = 240;

class EffectScreen : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        for (const char* name : {"bitmaps/particles.rim", "units/alpha junk.rim", "units/reflect.rim", "water.rim",
                                 "bitmaps/scanner.rim"}) {
            std::filesystem::create_directories((dir_.Path() / name).parent_path());
            std::ofstream(dir_.Path() / name) << "x";
        }
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
        effecttest::FakeNow() = effecttest::WrapStart();
        Effects::SetClock([] { return effecttest::FakeNow(); });
        EffectWorld() = EffectEnvironment{};
        StartScene(kWidth, kHeight);
        // Bolts, presets and debris smoke are particles, drawn at the end of
        // the frame and advanced by the frame's game time.
        Particles::SetTickRate(int32_t(Effects::TicksPerSecond()));
        Particles::Startup();
        Particles::FloorHeight() = 1000.0f;
        Display::Hooks().drawParticles = [] { Particles::Draw(); };
        lastFrame_ = effecttest::WrapStart();
        EffectShapes::Build();
        Effects::SetGameCamera(camera_.get());
        lights_ = FrontLight();
    }
    void TearDown() override
    {
        Effects::ClearAll();
        BallisticObjects::Clear();
        RenderQueue::Clear();
        Particles::Shutdown();
        EffectShapes::Release();
        Effects::SetGameCamera(nullptr);
        Effects::SetClock(nullptr);
        EffectWorld() = EffectEnvironment{};
        lights_->Release();
        SceneTest::TearDown();
    }

    // A black screen, then both effect lists; `scene` queues what else the
    // frame shows.
    std::vector<uint8_t> Frame(int64_t now, const std::string& file, void (*scene)(int64_t now) = nullptr)
    {
        BeginFrame(0);
        effecttest::FakeNow() = now;
        if (scene)
            scene(now);
        Effects::UpdateAndDrawAll(now, Effects::WorldList());
        Effects::UpdateAndDrawAll(now, Effects::LateList());
        // After the lists, so emitters they asked for this frame emit.
        Particles::Update(uint32_t(std::max<int64_t>(now - lastFrame_, 0)));
        lastFrame_ = now;
        RenderQueue::Flush();
        EndFrame();
        std::vector<uint8_t> px;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(true, px, pitch));
        pitch_ = pitch;
        effecttest::KeepForReview(OutputDir(), file);
        return px;
    }

    static std::filesystem::path OutputDir()
    {
        const std::filesystem::path dir = TREVOK_EFFECT_SCREENS_DIR;
        std::filesystem::create_directories(dir);
        return dir;
    }

    int Grey(const std::vector<uint8_t>& px, int x, int y) const
    {
        const size_t at = size_t(y) * size_t(pitch_) + size_t(x) * 4;
        return (px[at] + px[at + 1] + px[at + 2]) / 3;
    }

    displaytest::TempDir dir_;
    LightSet* lights_ = nullptr;
    int pitch_ = 0;
    int64_t lastFrame_ = 0;
};

class EffectScreens : public EffectScreen, public ::testing::WithParamInterface<Row> {};

TEST_P(EffectScreens, ChangesOnlyItsOwnPartOfTheScreen)
{
    const Row& row = GetParam();
    const int64_t start = effecttest::WrapStart();
    const std::vector<uint8_t> before = Frame(start, std::string(row.name) + "_before");
    row.add(start);
    // A frame half-way, as a player sees the frames between: particle
    // emitters asked for in one frame spawn theirs in the next.
    Frame(start + effecttest::Ticks(row.seconds / 2), std::string(row.name) + "_between");
    const std::vector<uint8_t> after = Frame(start + effecttest::Ticks(row.seconds), row.name);
    ASSERT_EQ(before.size(), after.size());
    ASSERT_FALSE(after.empty());
    int inside = 0, outside = 0;
    Rect seen{kWidth, kHeight, -1, -1};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const size_t at = size_t(y) * size_t(pitch_) + size_t(x) * 4;
            bool changed = false;
            for (size_t c = 0; c < 3; ++c)
                changed |= before[at + c] != after[at + c];
            if (!changed)
                continue;
            seen = {std::min(seen.x0, x), std::min(seen.y0, y), std::max(seen.x1, x), std::max(seen.y1, y)};
            ++(row.where.Holds(x, y) ? inside : outside);
        }
    EXPECT_GT(inside, 0) << "the effect shows";
    EXPECT_EQ(outside, 0) << "changed pixels span " << seen.x0 << "," << seen.y0 << " to " << seen.x1 << ","
                          << seen.y1;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// The camera stands at the origin looking along +z, y down: a unit at depth
// z is 120 / z pixels from the screen's centre (160, 120).
const Row kRows[] = {
    // A ring of radius 1 to 2 lying flat 2 below the eye at depth 8.
    {"ring", [](int64_t now) { Effects::AddRing(now, {0, 2, 8}, {16, 1.0f, 2.0f}); }, 0.3, {115, 138, 205, 180}},
    // A surface 2 below the eye from depth 6 to 12, rippling by up to 1.
    {"liquid",
     [](int64_t now) {
         Effects::LiquidParams p;
         p.first = {-3, 2, 6};
         p.second = {3, 2, 12};
         p.texture = "water.rim";
         p.ripples = true;
         Effects::AddLiquid(now, 4, p);
     },
     0.1, {80, 130, 240, 185}},
    // A flash 2 below the eye at depth 8, a quarter grown: a flat square
    // 7.5 across.
    {"flash", [](int64_t now) { Effects::AddFlash({0, 3.2f, 8}, now); }, 0.5, {50, 136, 270, 181}},
    // A light ray a metre thick from high above down to 2 below the eye at
    // depth 8, with its rising particles.
    {"light_ray",
     [](int64_t now) {
         Colour white;
         white.Set(1, 1, 1, 1);
         Effects::AddLightRay(now, {0, 2, 8}, white);
     },
     0.1, {148, 0, 172, 160}},
    // A bolt from 2 left to 2 right at eye height, depth 8.
    {"electricity",
     [](int64_t now) { Effects::AddElectricity(now, {-2, 0, 8}, {{2, 0, 8}, false, 0.5f, nullptr}); }, 0.5,
     {110, 95, 210, 145}},
    // A fence 4 long lying 2 below the eye at depth 8.
    {"laser_fence", [](int64_t) { Effects::AddLaserFence({-2, 2, 8}, {2, 2, 8}); }, 0.1, {124, 144, 196, 156}},
    // A beam at eye height from 2 left to 2 right at depth 8, 2.5 pixels
    // wide, shrunk to its last 60 % after 0.1 of its 0.25 s.
    {"beam_trace",
     [](int64_t now) {
         Colour white;
         white.Set(1, 1, 1, 1);
         Effects::AddBeamTrace(now, {-2, 0, 8}, {2, 0, 8}, white, 8.0f);
     },
     0.1, {145, 110, 200, 130}},
    // The same beam running the other way, shrunk towards its left end.
    {"beam_trace_leftwards",
     [](int64_t now) {
         Colour white;
         white.Set(1, 1, 1, 1);
         Effects::AddBeamTrace(now, {2, 0, 8}, {-2, 0, 8}, white, 8.0f);
     },
     0.1, {120, 110, 175, 130}},
    // A cursor trace: a triangle at depth 8 from the centre to 2 right and
    // 1 down, and to 1 down.
    {"cursor_trace",
     [](int64_t now) {
         Colour white;
         white.Set(1, 1, 1, 1);
         Effects::AddCursorTrace(0, now, {0, 0, 8}, {2, 1, 8}, {0, 1, 8}, white);
     },
     0.1, {155, 115, 195, 140}},
    // A white fade holding for a second covers the whole screen.
    {"screen_fade",
     [](int64_t) {
         Colour white;
         white.Set(1, 1, 1, 1);
         Effects::AddScreenFade(2.0f, {white, white, 1.0f});
     },
     0.5, {0, 0, kWidth - 1, kHeight - 1}},
    // A basin of radius 1 at 1 below the eye widening to 2 at 2 below, at
    // depth 8.
    {"basin", [](int64_t now) { Effects::AddBasin(now, {0, 1, 8}, {16, 1.0f, 2.0f}); }, 0.3, {115, 128, 205, 165}},
    // Sparks rising from a point at eye height, depth 8.
    // Sparks at eye height, depth 8, flung up to 3 a second along each axis
    // and falling: after a second they reach 5 below, as near as depth 5.
    {"sparks", [](int64_t) { ParticleEffects::SpawnSparks({0, 0, 8}); }, 1.0, {80, 20, 240, 239}},
    // A big explosion with its flash at eye height, depth 8.
    {"big_explosion", [](int64_t now) { ParticleEffects::SpawnBigExplosion({0, 2, 8}, now); }, 0.2,
     {40, 30, 280, 200}},
};

INSTANTIATE_TEST_SUITE_P(Families, EffectScreens, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& p) { return std::string(p.param.name); });

} // namespace

namespace {

// A fade covers the whole screen with its colour of the moment: blended from
// start to end, the end colour through the hold, nothing after it.
TEST_F(EffectScreen, FadeCoversTheScreenWithItsColourOfTheMoment)
{
    Colour black, white;
    black.Set(0, 0, 0, 1);
    white.Set(1, 1, 1, 1);
    const struct {
        const char* name;
        float seconds, hold;
        Colour start, end;
        double at;
        int grey;  // expected everywhere, +-12
    } rows[] = {
        {"halfway", 2, 1, black, white, 1.0, 128},
        {"holding", 2, 1, black, white, 2.5, 255},
        {"over", 2, 1, black, white, 3.2, 0},
        {"zero_seconds", 0, 1, black, white, 0.1, 255},
    };
    const int spots[][2] = {{2, 2}, {kWidth - 3, 2}, {kWidth / 2, kHeight / 2}, {2, kHeight - 3},
                            {kWidth - 3, kHeight - 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int64_t start = effecttest::WrapStart();
        effecttest::FakeNow() = start;
        Effects::AddScreenFade(row.seconds, {row.start, row.end, row.hold});
        Frame(start, std::string("fade_") + row.name + "_start");
        const std::vector<uint8_t> px = Frame(start + effecttest::Ticks(row.at), std::string("fade_") + row.name);
        ASSERT_FALSE(px.empty());
        for (const auto& at : spots)
            EXPECT_NEAR(Grey(px, at[0], at[1]), row.grey, 12) << at[0] << "," << at[1];
        Effects::ClearAll();
    }
}

} // namespace

namespace {

// The overlay pass tints the frame green and lays the scanner image over the
// whole screen; the image lies at depth 0 of the overlay camera.
TEST_F(EffectScreen, ScannerCoversTheWholeScreen)
{
    // The overlay light set shows the image as it is.
    LightSet::CreateGlobals(nullptr);
    Colour white;
    white.Set(1, 1, 1, 1);
    LightSet::Global(1)->SetEmissive(white);
    Hud::CreateScanner();
    ASSERT_NE(Hud::Scanner(), nullptr);
    const auto frame = [this](const std::string& file) {
        BeginFrame(0xFF808080u);
        Effects::DrawOverlays();
        RenderQueue::Flush();
        EndFrame();
        std::vector<uint8_t> px;
        EXPECT_TRUE(gfx::ReadScreen(true, px, pitch_));
        effecttest::KeepForReview(OutputDir(), file);
        return px;
    };
    // Odd and even frames (the image shakes by two pixels).
    for (const char* file : {"scanner_odd", "scanner_even"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> px = frame(file);
        ASSERT_FALSE(px.empty());
        for (const auto& at : {std::pair{4, 4}, std::pair{kWidth - 5, 4}, std::pair{kWidth / 2, kHeight / 2},
                               std::pair{4, kHeight - 5}, std::pair{kWidth - 5, kHeight - 5}}) {
            const size_t i = size_t(at.second) * size_t(pitch_) + size_t(at.first) * 4;
            // Tinted grey alone is (0, 128, 0); the white image lifts red and blue.
            EXPECT_GT(px[i + 2] + px[i], 200) << at.first << "," << at.second;
        }
    }
    Hud::ReleaseScanner();
    LightSet::DestroyGlobals();
}

} // namespace

namespace {

effecttest::FakeObject* g_wreck = nullptr;
LightSet* g_wreckLights = nullptr;
Camera* g_wreckCamera = nullptr;

void DrawWreck(int64_t now)
{
    g_wreck->Instance()->QueueDraw(uint64_t(now), g_wreckCamera, g_wreckLights,
                                   DefaultMaterial::Get(DefaultMaterial::Opaque), 0, DrawFlag::kNoBoxTests, nullptr,
                                   nullptr, nullptr);
}

// A destroyed object breaks up: its body drops under gravity and its parts
// fly upwards, so pixels light up above the whole object's old top.
TEST_F(EffectScreen, BrokenUpPartsFlyAboveTheWreck)
{
    // A body square and three part squares side by side, 3 wide and 1 high,
    // facing the camera at depth 5 (24 pixels a metre).
    g_wreck = effecttest::FakeObject::Make(3, 0, false);
    g_wreck->Instance()->placement_.SetPosition({-1.5f, -0.5f, 5});
    g_wreckLights = lights_;
    g_wreckCamera = camera_.get();
    const int64_t start = effecttest::WrapStart();
    const std::vector<uint8_t> before = Frame(start, "debris_before", &DrawWreck);
    ASSERT_FALSE(before.empty());
    int top = kHeight;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (Grey(before, x, y) > 30)
                top = std::min(top, y);
    ASSERT_LT(top, kHeight) << "the whole object shows";
    EXPECT_NEAR(top, 108, 2);

    BallisticObjects::BreakUp(g_wreck, 10.0f, false);
    BallisticObjects::UpdateAll(start);
    const int64_t later = start + effecttest::Ticks(0.3);
    BallisticObjects::UpdateAll(later);
    const std::vector<uint8_t> after = Frame(later, "debris", &DrawWreck);
    int above = 0;
    for (int y = 0; y + 2 < top; ++y)
        for (int x = 0; x < kWidth; ++x)
            above += Grey(after, x, y) > 30;
    EXPECT_GT(above, 20) << "parts rose above the object's top";
    BallisticObjects::Clear();
    g_wreck->Release();
    g_wreck = nullptr;
}

} // namespace

namespace {

using scenetest::Rgb;

// A wall of the level facing the camera at depth 8 (15 pixels a metre), 12
// wide and 9 high, lit dimly by the level's sun and, on its left, by a green
// lamp of the level's own. The lights effects add to the first global set
// light the wall where they reach, beside the lamp, and go with the effect.
class LevelWallScreen : public EffectScreen {
protected:
    void SetUp() override
    {
        EffectScreen::SetUp();
        LightSet::CreateGlobals(nullptr);
        // Lit per vertex: a grid of half-metre squares, so lights of a few
        // metres' reach show where they stand.
        constexpr uint32_t kColumns = 24, kLines = 18;
        auto* wall = new VeShape;
        SubMesh* m = wall->AddSubMesh((kColumns + 1) * (kLines + 1), kColumns * kLines * 6, gfx::kFvfVertex, false);
        for (uint32_t row = 0; row <= kLines; ++row)
            for (uint32_t column = 0; column <= kColumns; ++column) {
                const float v[8] = {-6 + 0.5f * float(column), -4.5f + 0.5f * float(row), 8, 0, 0, -1, 0, 0};
                std::memcpy(m->Vertex(row * (kColumns + 1) + column), v, sizeof v);
            }
        for (uint32_t row = 0, k = 0; row < kLines; ++row)
            for (uint32_t column = 0; column < kColumns; ++column) {
                const auto at = [&](uint32_t r, uint32_t c) { return uint16_t(r * (kColumns + 1) + c); };
                for (uint16_t i : {at(row, column), at(row, column + 1), at(row + 1, column + 1), at(row, column),
                                   at(row + 1, column + 1), at(row + 1, column)})
                    m->indices[k++] = i;
            }
        wall->min_ = {-6, -4.5f, 8};
        wall->max_ = {6, 4.5f, 8};
        wall->MakeBoundingBox();
        level_ = std::make_unique<Level>(wall, Vec3(0, 0, 0), nullptr);
        wall->Release();
        level_->LayOutCells(12, 1, 12, {-6, -5, 0}, {6, 5, 12});
        Colour grey, green, none;
        grey.Set(0.25f, 0.25f, 0.25f, 1);
        green.Set(0, 1, 0, 1);
        none.Set(0, 0, 0, 1);
        level_->Lights().AddDirectionalLight(grey, none, {0, 0, 1});
        level_->Lights().AddPointLight(green, none, kLamp, 3.0f);
        Level::Current() = level_.get();
    }
    void TearDown() override
    {
        Effects::ClearAll();
        Level::Current() = nullptr;
        level_.reset();
        LightSet::DestroyGlobals();
        EffectScreen::TearDown();
    }

    // A game frame: the effects updated and queued, then the level drawn.
    void LevelFrame(int64_t now, const std::string& file)
    {
        BeginFrame(0);
        effecttest::FakeNow() = now;
        Effects::UpdateAndDrawAll(now, Effects::WorldList());
        Level::Draw(level_.get());
        RenderQueue::Flush();
        EndFrame();
        effecttest::KeepForReview(OutputDir(), file);
    }

    static constexpr Vec3 kLamp{-3, 0, 6.5f};
    std::unique_ptr<Level> level_;
};

TEST_F(LevelWallScreen, EffectLightsLightTheLevelWhereTheyReachAndGoWithTheEffect)
{
    // Screen points on the wall: before the lamp, before where the effect
    // light stands, and a corner out of both lights' reach.
    const struct {
        const char* name;
        int x, y;
    } spots[] = {{"lamp", 115, 120}, {"effect", 205, 120}, {"corner", 78, 180}};
    // One record pulsing each second between red and magenta: its first
    // frame shows the second colour, and the colours swap in place. (Its
    // specular colour stays the first one.)
    const struct {
        const char* name;
        double at;       // seconds after the start; below 0: the effect cleared
        unsigned lifted; // the channels (1 red, 2 green, 4 blue) lifted at the effect spot
    } stages[] = {
        {"level_alone", 0.0, 0},
        {"effect_light_added", 0.1, 1 | 4},
        {"colour_swapped_in_place", 1.2, 1},
        {"effect_gone", -1.0, 0},
    };
    const int64_t start = effecttest::WrapStart();
    LevelFrame(start, "level_wall_unlit");
    const Rgb alone[3] = {Pixel(spots[0].x, spots[0].y), Pixel(spots[1].x, spots[1].y),
                          Pixel(spots[2].x, spots[2].y)};
    ASSERT_NEAR(alone[2].r, 64, 8) << "the sun lights the wall dimly";
    EXPECT_GT(alone[0].g, alone[2].g + 60) << "the level's lamp lights its part of the wall";
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.name);
        if (std::string(stage.name) == "effect_light_added") {
            Effects::PulseColours colours;
            colours.first.Set(1, 0, 0, 1);
            colours.second.Set(1, 0, 1, 1);
            colours.periodSeconds = 1.0f;
            Effects::AddPulsingLight(true, {3, 0, 6.5f}, colours);
        }
        if (stage.at < 0)
            Effects::ClearAll();
        LevelFrame(start + effecttest::Ticks(stage.at < 0 ? 2.5 : stage.at), std::string("level_wall_") + stage.name);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(spots[i].name);
            const Rgb now = Pixel(spots[i].x, spots[i].y);
            const int was[3] = {alone[i].r, alone[i].g, alone[i].b};
            const int is[3] = {now.r, now.g, now.b};
            for (int c = 0; c < 3; ++c) {
                if (i == 1 && (stage.lifted >> c & 1))
                    EXPECT_GT(is[c], was[c] + 60) << "channel " << c;
                else
                    EXPECT_NEAR(is[c], was[c], 3) << "channel " << c;
            }
        }
    }
}

} // namespace
