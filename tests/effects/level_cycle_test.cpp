// A level loaded, stopped and loaded again through the session, with the
// console's and the effects' hooks as the game installs them: nothing of
// the first load is left (objects, triggers, effects, ballistic records),
// the second load takes the static shadows from the cache the first wrote
// beside the script, and the companion's SUNANGLE turns the shadows' sun.
#include "effect_support.h"

#include "app/app_state.h"
#include "app/directories.h"
#include "console/console.h"
#include "console/wait_for.h"
#include "effects/effect_commands.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/world_object.h"
#include "platform/data_path.h"
#include "script/directory_list.h"
#include "session/level_session.h"
#include "world/level.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What a loaded level holds; all zero once it stopped.
struct Held {
    uint32_t objects = 0;
    int32_t triggers = 0, effects = 0, ballistic = 0;
    uint32_t worldObjects = 0;
    int32_t globalLights = 0; // what effects, particles and units lit
    size_t edges = 0;
    uint32_t computed = 0;

    static Held Now()
    {
        Held h;
        h.objects = ObjectRegistry::Global().Count();
        h.triggers = LevelTriggers::All().Count();
        h.effects = Effects::WorldList().Count() + Effects::LateList().Count();
        h.ballistic = BallisticObjects::Records().Count();
        h.worldObjects = WorldObjectTable::Count();
        h.globalLights = LightSet::Global(0) ? LightSet::Global(0)->LightCount() : 0;
        if (Level* level = Level::Current(); level && level->shadowData_) {
            h.edges = StaticShadows::DataOf(*level).edges.size();
            h.computed = StaticShadows::DataOf(*level).computeCount;
        }
        return h;
    }
};

class LevelCycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
        if (!fs::exists(sample / "scripts" / "training_level.tvs"))
            GTEST_SKIP() << "sample data not generated";
        // A copy: the shadow cache is written beside the level script.
        root_ = fs::temp_directory_path() / ("level_cycle_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::copy(sample, root_, fs::copy_options::recursive);
        fs::remove(root_ / "scripts" / "training_level.shd");
        std::ofstream(root_ / "scripts" / "cycle.tcs")
            << "SUNANGLE 60\nRING 0 0 0 12 1 6\nADD TRIGGER TIME 600 timeout.tcs\n";
        ASSERT_TRUE(script::LoadDataDirectories(root_));
        platform::ClearDataPathCache();
        Session::SetHooks({});
        Session::DataRoot() = root_;
        Session::Names() = {"training_level.tvs", "cycle.tcs"};
        EffectCommands::Install();
        TextConsole::Create();  // the command table, and the console's session hooks
        Effects::InstallLevelHooks();
        LightSet::CreateGlobals(nullptr);
        savedMode_ = ShadowMode;
        ShadowMode = 4;
    }
    void TearDown() override
    {
        if (root_.empty())
            return;
        EndSession();
        TextConsole::Shutdown();
        ShadowMode = savedMode_;
        Session::SetHooks({});
        Session::Names() = {};
        Session::DataRoot().clear();
        SetAppState(AppState::None);
        app::DataDirectories::Global().Clear();
        LightSet::DestroyGlobals();
        fs::remove_all(root_);
    }
    fs::path root_;
    uint32_t savedMode_ = 0;
};

TEST_F(LevelCycle, ASecondLoadFindsNothingOfTheFirst)
{
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    const Held first = Held::Now();
    EXPECT_GT(first.objects, 0u);
    EXPECT_EQ(first.worldObjects, first.objects) << "every object of the map has its replica";
    int squad = 0;
    for (WorldObject* replica : WorldObjectTable::Snapshot())
        if (replica->Side() == ClientServices::Get().OwnSide() && replica->IsMobile()) {
            ++squad;
            EXPECT_TRUE(replica->Marks().defogging) << "the own side's units clear the fog: " << replica->GetId();
        }
    EXPECT_EQ(squad, 2) << "the sample squad";
    EXPECT_EQ(first.triggers, 1) << "the companion's trigger";
    EXPECT_GT(first.effects, 0) << "the companion's ring";
    EXPECT_EQ(first.computed, 1u) << "no cache yet: the edges are computed";
    EXPECT_TRUE(fs::exists(root_ / "scripts" / "training_level.shd")) << "the cache beside the script";
    const Vec3 sun = SunLight::Get().direction;
    EXPECT_GT(sun.y, 0.5f) << "SUNANGLE 60 shines down";
    EXPECT_FLOAT_EQ(SunDirection().y, sun.y) << "the shadows follow the companion's sun";

    // What play would add: a ballistic record, a pending wait and a light
    // that lights the level from the global set.
    Effects::PulseColours pulse;
    pulse.first.Set(1, 0, 0, 1);
    Effects::AddPulsingLight(false, {0, -1, 0}, pulse);
    EXPECT_EQ(LightSet::Global(0)->LightCount(), first.globalLights + 1);
    effecttest::FakeObject* thrown = effecttest::FakeObject::Make();
    BallisticObjects::Add(thrown, 5.0f, {0, -1, 0});
    ASSERT_TRUE(WaitFor::Parse("CAMERA TO BE ZOOMED"));

    ASSERT_TRUE(StopLevel());
    const Held stopped = Held::Now();
    EXPECT_EQ(Level::Current(), nullptr);
    EXPECT_EQ(stopped.objects, 0u);
    EXPECT_EQ(stopped.triggers, 0);
    EXPECT_EQ(stopped.effects, 0);
    EXPECT_EQ(stopped.ballistic, 0);
    EXPECT_EQ(stopped.worldObjects, 0u);
    EXPECT_EQ(stopped.globalLights, 0) << "no light of the level is left to light the next";
    EXPECT_FALSE(WaitFor::IsSet());
    thrown->Release();

    ASSERT_TRUE(LoadLevel(true)) << Session::LastError();
    const Held second = Held::Now();
    EXPECT_EQ(second.objects, first.objects);
    EXPECT_EQ(second.triggers, first.triggers);
    EXPECT_EQ(second.effects, first.effects);
    EXPECT_EQ(second.globalLights, first.globalLights);
    EXPECT_EQ(second.ballistic, 0);
    EXPECT_EQ(second.edges, first.edges);
    EXPECT_EQ(second.computed, 0u) << "the edges come from the cache";
}

// The level's own shadows are computed and cached only where the map names a
// shadow object and the shadow mode draws them.
TEST_F(LevelCycle, TheMapAndTheModeDecideTheLevelsShadows)
{
    const fs::path script = root_ / "scripts" / "training_level.tvs";
    std::string text;
    {
        std::ifstream in(script, std::ios::binary);
        for (std::string line; std::getline(in, line);)
            text += line + "\n";
    }
    const size_t clause = text.find("shadow object rif");
    ASSERT_NE(clause, std::string::npos) << "the sample map asks for them";
    std::string without = text;
    without.erase(clause, text.find('\n', clause) - clause);
    const struct {
        bool asks;
        uint32_t mode;
        bool built;
    } rows[] = {{true, 4, true}, {true, 3, false}, {false, 4, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.asks ? "asks" : "does not ask") << ", mode " << row.mode);
        std::ofstream(script, std::ios::trunc) << (row.asks ? text : without);
        fs::remove(root_ / "scripts" / "training_level.shd");
        ShadowMode = row.mode;
        ASSERT_TRUE(StartSession(true)) << Session::LastError();
        ASSERT_NE(Level::Current(), nullptr);
        EXPECT_EQ(Level::Current()->staticShadows_, row.asks);
        EXPECT_EQ(Held::Now().edges > 0, row.built);
        EXPECT_EQ(fs::exists(root_ / "scripts" / "training_level.shd"), row.built);
        EndSession();
    }
}

// The sample's level script of four characters keeps its bytes: the cache
// takes the whole name with "shd" after it.
TEST_F(LevelCycle, AFourCharacterScriptKeepsItsBytesBesideItsCache)
{
    const fs::path script = root_ / "scripts" / "tl.t";
    auto bytesOf = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    };
    const std::string before = bytesOf(script);
    ASSERT_FALSE(before.empty()) << "the sample holds it";
    Session::Names() = {"tl.t", "cycle.tcs"};
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    EXPECT_GT(Held::Now().edges, 0u);
    EndSession();
    EXPECT_EQ(bytesOf(script), before);
    EXPECT_TRUE(fs::exists(root_ / "scripts" / "tl.tshd"));
    EXPECT_FALSE(fs::exists(root_ / "scripts" / "training_level.shd")) << "the cache follows the script's name";
}

// The load lights the level as its companion expects: a white glow until
// AMBIENT, and a sun light of the sun colour that SUNANGLE then turns. The
// light goes with the level.
TEST_F(LevelCycle, TheLevelStartsWithASunTheCompanionTurns)
{
    SunLight::Get().colour.Set(0.5f, 0.25f, 1.0f, 1.0f);
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    Level* level = Level::Current();
    ASSERT_NE(level, nullptr);
    const gfx::ColourF glow = level->Lights().Material().emissive;
    EXPECT_EQ((std::array{glow.r, glow.g, glow.b}), (std::array{1.0f, 1.0f, 1.0f}));
    Light* sun = SunLight::Get().light;
    ASSERT_NE(sun, nullptr) << "SUNANGLE replaces a sun only when the load made one";
    bool inLevelSet = false;
    for (Light* light : level->Lights().Lights())
        inLevelSet = inLevelSet || light == sun;
    EXPECT_TRUE(inLevelSet);
    const gfx::Light& d = sun->Description();
    EXPECT_EQ(d.type, gfx::LightType::Directional);
    EXPECT_FLOAT_EQ(d.diffuse.g, 0.25f) << "the sun colour";
    EXPECT_FLOAT_EQ(d.direction.y, SunLight::Get().direction.y) << "turned by the companion's SUNANGLE 60";
    EXPECT_GT(d.direction.y, 0.5f);

    ASSERT_TRUE(StopLevel());
    EXPECT_EQ(SunLight::Get().light, nullptr);
    SunLight::Get().colour = Colour{};
}

} // namespace
