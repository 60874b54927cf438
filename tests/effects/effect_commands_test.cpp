// The lighting and effect commands run through the console's dispatcher:
// the sun's table maths, the effects each line adds and the bytes of the
// messages the server-side lines send.
#include "effect_support.h"

#include "Veapi/light_set.h"
#include "app/app_state.h"
#include "app/math_tables.h"
#include "console/console.h"
#include "console/script_messages.h"
#include "effects/effect_commands.h"
#include "effects/effect_kinds.h"
#include "session/message_sizes.h"

#include <cmath>
#include <cstring>

namespace {

using effecttest::EffectTest;

std::vector<std::vector<uint8_t>>& Sent()
{
    static std::vector<std::vector<uint8_t>> sent;
    return sent;
}

bool g_server = true;
LightSet* g_lights = nullptr;

class EffectCommandsTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        Sent().clear();
        g_server = true;
        ScriptMessages::SetSink([](std::span<const uint8_t> block, bool) {
            Sent().emplace_back(block.begin(), block.end());
            return true;
        });
        ScriptMessages::SetRunsServer([] { return g_server; });
        g_lights = new LightSet;
        SunLight::SetLightSource([] { return g_lights; });
        SunLight::ResetForLevel(nullptr);
        SunLight::Get().direction = {1, 0, 0};
        EffectCommands::Install();
        TextConsole::Create();
        SetAppState(AppState::Playing);
    }
    void TearDown() override
    {
        TextConsole::Shutdown();
        SetAppState(AppState::None);
        SunLight::SetLightSource(nullptr);
        g_lights->Release();
        ScriptMessages::SetSink(nullptr);
        ScriptMessages::SetRunsServer(nullptr);
        EffectTest::TearDown();
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }
    static std::string Last()
    {
        const auto& s = TextConsole::Get();
        if (!s.pending.empty())
            return s.pending.back().text;
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
    static int32_t Count(int32_t kind)
    {
        return Effects::CountKind(Effects::WorldList(), kind) + Effects::CountKind(Effects::LateList(), kind);
    }
};

uint32_t U32At(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
float F32At(const std::vector<uint8_t>& b, size_t at)
{
    float v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The direction the sun takes, from the same 4096-step tables.
Vec3 Oracle(double first, double second)
{
    const double f = std::floor(first * 4096.0 / 360.0), g = std::floor(second * 4096.0 / 360.0);
    const double a = f * 2 * M_PI / 4096, b = g * 2 * M_PI / 4096;
    return {float(std::cos(a) * std::cos(b)), float(std::sin(a)), float(std::cos(a) * std::sin(b))};
}

TEST_F(EffectCommandsTest, SunAngleFollowsTheTables)
{
    struct Case {
        const char* first;
        double firstDegrees, secondDegrees;
    } const cases[] = {{"SUNANGLE 90", 90, 120}, {"SUNANGLE 0", 0, 120}, {"SUNANGLE 45", 45, 120},
                       {"SUNANGLE -30", -30, 120}, {"SUNANGLE 1e30", 0, 120}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        SunLight::ResetForLevel(nullptr);
        Run(c.first);
        const Vec3 d = SunLight::Get().direction;
        if (std::strcmp(c.first, "SUNANGLE 1e30") != 0) {
            const Vec3 want = Oracle(c.firstDegrees, c.secondDegrees);
            EXPECT_NEAR(d.x, want.x, 2e-3);
            EXPECT_NEAR(d.y, want.y, 2e-3);
            EXPECT_NEAR(d.z, want.z, 2e-3);
        }
        EXPECT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z));
    }
    SunLight::ResetForLevel(nullptr);
    Run("SUNANGLE 90");
    EXPECT_NEAR(SunLight::Get().direction.x, 0.0f, 1e-3);
    EXPECT_NEAR(SunLight::Get().direction.y, 1.0f, 1e-3);
    EXPECT_NEAR(SunLight::Get().direction.z, 0.0f, 1e-3);
}

TEST_F(EffectCommandsTest, SunAngle2RecoversTheFirstAngle)
{
    Run("SUNANGLE 300");
    Run("SUNANGLE2 120");
    const Vec3 want = Oracle(60, 120);
    EXPECT_NEAR(SunLight::Get().direction.y, want.y, 2e-3);
    EXPECT_NEAR(SunLight::RecoverFirstSunAngle(), 60.0f, 0.2f);

    // A second angle whose cosine is 0, or one smaller than the direction's
    // x, stays on the table.
    for (const char* line : {"SUNANGLE2 90", "SUNANGLE2 89.9"}) {
        SCOPED_TRACE(line);
        Run("SUNANGLE 0");
        Run(line);
        const Vec3 d = SunLight::Get().direction;
        EXPECT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z));
        EXPECT_NEAR(d.LengthSquared(), 1.0f, 1e-2);
    }
}

TEST_F(EffectCommandsTest, SunBrightnessReplacesOnlyAnExistingLight)
{
    Run("SUNBRIGHTNESS 0.5 0.25 0.125");
    EXPECT_EQ(g_lights->LightCount(), 0);
    EXPECT_FLOAT_EQ(SunLight::Get().colour.green, 0.25f);
    EXPECT_FLOAT_EQ(SunLight::Get().colour.alpha, 1.0f);

    Colour white;
    SunLight::ResetForLevel(g_lights->AddDirectionalLight(white, white, {1, 0, 0}));
    Run("SUNBRIGHTNESS 1 0 0");
    EXPECT_EQ(g_lights->LightCount(), 1);
    Run("SUNANGLE 90");
    EXPECT_EQ(g_lights->LightCount(), 1);
    ASSERT_NE(SunLight::Get().light, nullptr);

    SetAppState(AppState::MainMenu);
    Run("SUNBRIGHTNESS 1 1 1");
    EXPECT_EQ(Last(), TextConsole::Text(6056));
}

TEST_F(EffectCommandsTest, EffectLinesAddTheirRecords)
{
    struct Case {
        const char* line;
        int32_t kind;
        int32_t count;
    } const cases[] = {
        {"RAY 1 2 3", EffectKind::LightRay, 1},
        {"RAY", EffectKind::LightRay, 0}, // no cursor ground: string 6057
        {"RING 0 0 0 8 1 4", EffectKind::Ring, 1},
        {"BASIN 0 0 0", EffectKind::Basin, 1},
        {"WATER", EffectKind::Liquid, 1},
        {"LAVA 2 0 0 0 10 0 10 1 OFF", EffectKind::Liquid, 1},
        {"FADE TO BLACK 2 5", EffectKind::ScreenFade, 1},
        {"FADE FROM BLACK", EffectKind::ScreenFade, 1},
        {"ELECTRICITY 0 0 0 5 0 0 20", EffectKind::Electricity, 1},
        {"ELECTRICITY 0 0 0", EffectKind::Electricity, 0},
        {"LASER FENCE 0 0 0 4 0 0", EffectKind::LaserFence, 1},
        {"SPOTLIGHT 3 4 5", EffectKind::Spotlight, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Effects::ClearAll();
        Run(c.line);
        EXPECT_EQ(Count(c.kind), c.count);
    }
}

TEST_F(EffectCommandsTest, ArgumentsReachTheRecords)
{
    Run("FADE TO BLACK 2 5");
    const EffectRecord* fade = Effects::FindFirst(Effects::LateList(), EffectKind::ScreenFade);
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->hold, Effects::SecondsToTicks(2));
    EXPECT_EQ(fade->timeB - fade->timeA, uint64_t(Effects::SecondsToTicks(5)));
    EXPECT_FLOAT_EQ(fade->colourB.alpha, 1.0f);

    Run("ELECTRICITY 0 0 0 5 0 0 20");
    const EffectRecord* bolt = Effects::FindFirst(Effects::WorldList(), EffectKind::Electricity);
    ASSERT_NE(bolt, nullptr);
    EXPECT_FLOAT_EQ(bolt->size, 2.0f); // decimetres to metres

    Run("LIGHTNING ON");
    Run("LIGHTNING ON");
    EXPECT_EQ(Count(EffectKind::Electricity), 3);
    Run("LIGHTNING OFF");
    EXPECT_EQ(Count(EffectKind::Electricity), 0);
}

TEST_F(EffectCommandsTest, ParticleTypes)
{
    struct Case {
        const char* word;
        int type;
    } const cases[] = {{"explosion", 5}, {"BIGEXPLOSION", 6}, {"smoke", 0}, {"steam", 1}, {"trail", 9},
                       {"snow", 2},      {"Rain", 11},        {"shot", 4},  {"fire", 3},  {"sparks", 12},
                       {"blast", 5},     {"", 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        TextConsole::Get().lines.clear();
        EXPECT_EQ(ParseParticleType(c.word), c.type);
    }
    EXPECT_EQ(Last(), "Invalid particle type specified.");

    static Vec3 shownAt;
    static int shown = -1;
    EffectCommands::particleTester = [](const Vec3& at, int type) { shownAt = at, shown = type; };
    Run("PARTICLE TESTER 1 2 3 blast");
    EffectCommands::particleTester = nullptr;
    EXPECT_EQ(shown, 5);
    EXPECT_FLOAT_EQ(shownAt.z, 3.0f);
}

TEST_F(EffectCommandsTest, ServerLinesSendExactMessages)
{
    struct Case {
        const char* line;
        uint32_t type;
        size_t size;
        float firstX;
    } const cases[] = {
        {"ADD LIGHT 1 2 3 0.5 0.25 1", 125, 40, 1},
        {"ADD BLINKING LIGHT 1 2 3 1 0 0 0 0 1 2", 126, 68, 1},
        {"AIRSTRIKE 0 0 0 10 0 10", 127, 28, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Sent().clear();
        Run(c.line);
        ASSERT_EQ(Sent().size(), 1u);
        const auto& b = Sent()[0];
        EXPECT_EQ(b.size(), c.size);
        EXPECT_EQ(U32At(b, 0), c.type);
        EXPECT_TRUE(MessageSizes::Fits(MessageSizes::Direction::kToClient, b));
        EXPECT_FLOAT_EQ(F32At(b, 4), c.firstX);
    }
    // Colour: packed word, then the floats, alpha 1 and the float flag.
    Sent().clear();
    Run("ADD LIGHT 1 2 3 0.5 0.25 1");
    const auto& light = Sent().at(0);
    EXPECT_FLOAT_EQ(F32At(light, 20), 0.5f);
    EXPECT_FLOAT_EQ(F32At(light, 24), 0.25f);
    EXPECT_FLOAT_EQ(F32At(light, 32), 1.0f);
    EXPECT_EQ(U32At(light, 36), Colour::kFloatValid);
    Sent().clear();
    Run("ADD BLINKING LIGHT 1 2 3 1 0 0 0 0 1");
    EXPECT_FLOAT_EQ(F32At(Sent().at(0), 64), 1.0f); // the period's default

    // Without a server nothing is read or sent.
    g_server = false;
    Sent().clear();
    for (const Case& c : cases)
        Run(c.line);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(EffectCommandsTest, AmbientWorksInAnyState)
{
    SetAppState(AppState::MainMenu);
    Run("AMBIENT 0.25 0.5 0.75");
    EXPECT_FLOAT_EQ(g_lights->Material().emissive.g, 0.5f);
}

} // namespace
