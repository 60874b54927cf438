// The level's lighting through a full saved game: the ambient colour goes as
// the first saved command line, the sun's colour and direction in the level
// state block; a load's level start makes the sun it was saved with.
#include "effect_support.h"

#include "Veapi/light_set.h"
#include "app/app_state.h"
#include "console/console.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "effects/saved_lighting.h"
#include "session/level_session.h"
#include "session/saved_game.h"

#include <array>
#include <string>
#include <vector>

namespace {

using effecttest::EffectTest;

LightSet* g_lights = nullptr;

class SavedLightingTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        savedBlock_ = LevelStateBlock::Live();
        savedSun_ = SunLight::Get();
        g_lights = new LightSet;
        SunLight::SetLightSource([] { return g_lights; });
        SunLight::ResetForLevel(nullptr);
        EffectCommands::Install();
        TextConsole::Create();
        SetAppState(AppState::Playing);
        SavedGame::GetHooks() = {};
        SavedLighting::Install();
    }
    void TearDown() override
    {
        SavedGame::GetHooks() = {};
        TextConsole::Shutdown();
        SetAppState(AppState::None);
        SunLight::SetLightSource(nullptr);
        g_lights->Release();
        SunLight::Get() = savedSun_;
        LevelStateBlock::Live() = savedBlock_;
        EffectTest::TearDown();
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }

    // A full save of the running state, written and read back.
    static SavedGame::File SaveAndReadBack(std::vector<std::string> queued)
    {
        SavedGame::File file;
        file.levelScript = "l.tvs";
        file.companion = "l.tcs";
        file.levelStart = false;
        file.block = LevelStateBlock::Live();
        file.world.emplace();
        file.world->lines = std::move(queued);
        for (const auto& section : SavedGame::GetHooks().sections)
            section.save(*file.world);
        SavedGame::File back;
        std::string error;
        EXPECT_TRUE(SavedGame::Parse(SavedGame::Write(file), back, &error)) << error;
        return back;
    }

    LevelStateBlock savedBlock_;
    SunLight::State savedSun_;
};

std::array<float, 4> Glow(const LightSet& lights)
{
    const gfx::Material& m = lights.Material();
    return {m.emissive.r, m.emissive.g, m.emissive.b, m.diffuse.a};
}

TEST_F(SavedLightingTest, TheAmbientColourIsTheFirstLineALoadRuns)
{
    struct Case {
        const char* ambient;
        std::array<float, 4> glow;
    } const cases[] = {
        {"AMBIENT 0.1 0.2 0.3", {0.1f, 0.2f, 0.3f, 1.0f}},
        {"AMBIENT 0 0 0 0.5", {0.0f, 0.0f, 0.0f, 0.5f}},
        {"AMBIENT 1 1 1", {1.0f, 1.0f, 1.0f, 1.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ambient);
        Run(c.ambient);
        const SavedGame::File back = SaveAndReadBack({"REAL WAIT 5", "ECHO"});
        ASSERT_TRUE(back.world);
        ASSERT_EQ(back.world->lines.size(), 3u);
        EXPECT_EQ(back.world->lines[1], "REAL WAIT 5") << "the queue follows in its order";
        EXPECT_EQ(back.world->lines[2], "ECHO");

        // The load's level glows white until the saved line runs.
        g_lights->Clear();
        Run(back.world->lines[0].c_str());
        EXPECT_EQ(Glow(*g_lights), c.glow);
    }
}

TEST_F(SavedLightingTest, TheSunComesBackFromTheLevelStateBlock)
{
    Run("SUNBRIGHTNESS 0.5 0.25 0.125 0.75");
    Run("SUNANGLE 60");
    const Vec3 direction = SunLight::Get().direction;
    const SavedGame::File back = SaveAndReadBack({});
    EXPECT_EQ(back.block.sunColour, (std::array{0.5f, 0.25f, 0.125f, 0.75f}));
    EXPECT_EQ(back.block.sunDirection, (std::array{direction.x, direction.y, direction.z}));

    // Played on, then loaded: the level start of the load makes the saved sun.
    Run("SUNBRIGHTNESS 1 1 1");
    Run("SUNANGLE 10");
    LevelStateBlock::Live().TakeLoaded(back.block);
    LevelStateBlock::Live().levelPhase = LevelStateBlock::kPhaseLoading;
    Effects::InstallLevelHooks();
    ASSERT_TRUE(Session::Hooks().levelScript);
    Session::Hooks().levelScript("l.tvs");
    Session::SetHooks({});
    const Light* sun = SunLight::Get().light;
    ASSERT_NE(sun, nullptr);
    const gfx::Light& d = sun->Description();
    EXPECT_EQ((std::array{d.diffuse.r, d.diffuse.g, d.diffuse.b}), (std::array{0.5f, 0.25f, 0.125f}));
    EXPECT_EQ((std::array{d.direction.x, d.direction.y, d.direction.z}),
              (std::array{direction.x, direction.y, direction.z}));
}

} // namespace
