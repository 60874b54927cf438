// The map build on the generated loader level: the level is cut and cached,
// a second start reads the cache, a newer level file rebuilds it, and the
// use clauses place objects by role, bounded by the team slots.
#include "media/cutscene.h"
#include "world/map_build.h"

#include "chunk/loaders/hierarchy_loader.h"

#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/string_table.h"
#include "media/recording_sound_system.h"
#include "platform/resources.h"
#include "script/compiler.h"
#include "world/level.h"
#include "world/line_of_sight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kRole = "role guard { character none light none projectile none identifier \"bot\" "
                          "alpha fogging no per vertex fogging no destructibility none }\n";

std::string Map(const std::string& uses)
{
    return kRole + "map m { name \"Panel\" file \"loader_level.rif\" bitmap none camera plane none "
                   "max camera distance 50 max vertices per section 700 " + uses + " }\n";
}

class MapBuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* data = std::getenv("TREVOK_SAMPLE_DATA");
        const fs::path source = fs::path(data ? data : "") / "rifs" / "loader_level.rif";
        if (!fs::exists(source))
            GTEST_SKIP() << "sample data not generated";
        dir_ = fs::temp_directory_path() / ("map_build_test_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        fs::copy_file(source, dir_ / "loader_level.rif", fs::copy_options::overwrite_existing);
        StopLevel();
    }
    void TearDown() override
    {
        StopLevel();
        script::RecordTables::Global().SetServices(nullptr);
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    static void StopLevel()
    {
        OnLevelStop();
        delete Level::Current();
        Level::Current() = nullptr;
        script::RecordTables::Global().Clear();
    }
    // Compiles and builds the script with fresh services; returns them.
    LevelServices& Start(const std::string& text, const std::function<void(LevelServices&)>& prepare = {})
    {
        auto services = std::make_unique<LevelServices>();
        services->levelFolder = dir_;
        if (prepare)
            prepare(*services);
        LevelServices& s = *services;
        script::RecordTables::Global().SetServices(std::move(services));
        auto result = script::CompileScriptText(text, "level.tvs", script::kLevelScriptMode);
        for (const auto& m : result.messages)
            if (m.severity == script::Severity::kError)
                ADD_FAILURE() << m.line << " " << m.text;
        if (result.list)
            result.list->BuildAll();
        return s;
    }
    fs::path dir_;
};

TEST_F(MapBuildTest, BuildsLevelPlacesObjectsAndWritesItsCache)
{
    LevelServices& s = Start(Map("use guard in team 1 for \"SPAWN\" as \"SPAWN_ID\" and \"nothing\""));
    Level* level = Level::Current();
    ASSERT_NE(level, nullptr);
    ASSERT_NE(level->ShapeTree(), nullptr);
    EXPECT_FALSE(s.cacheRead);
    EXPECT_TRUE(s.cacheWritten);
    EXPECT_TRUE(fs::exists(dir_ / "loader_level.cut"));
    EXPECT_EQ(s.progress, (std::vector<int>{33, 66, 99}));
    EXPECT_EQ(s.loadingTexts.size(), 1u);

    // One dummy named "spawn" (names compare without regard to case).
    ASSERT_EQ(s.clientObjects.size(), 1u);
    ASSERT_EQ(s.serverObjects.size(), 1u);
    EXPECT_EQ(s.clientObjects[0].team, 1);
    ASSERT_NE(s.clientObjects[0].role, nullptr);
    EXPECT_EQ(s.clientObjects[0].role->identifier, "bot");
    ASSERT_EQ(s.variables.size(), 1u);
    EXPECT_EQ(s.variables[0].first, "SPAWN_ID");
    EXPECT_EQ(s.variables[0].second, 1.0f);

    EXPECT_EQ(s.camera.maxDistance, 50);
    EXPECT_EQ(s.camera.plane[2], 1);
    ASSERT_TRUE(s.camera.lowestFocus);
    EXPECT_EQ(*s.camera.lowestFocus, level->floorHeight_);
    EXPECT_EQ(s.navigationLoads, 1);
    ASSERT_FALSE(level->dummies_.empty());
    EXPECT_EQ(level->dummies_[0].name, "spawn");
}

TEST_F(MapBuildTest, MarkersSetCameraPlaneFocusAndPlaceAtFileScale)
{
    std::string text = Map("use guard in team 0 for \"spawn\"");
    text.replace(text.find("camera plane none"), 17, "camera plane \"spawn\" max camera focus height \"Spawn\"");
    LevelServices& s = Start(text);
    ASSERT_NE(Level::Current(), nullptr);
    // The marker lies at (1000, 0, 2000) file units of a millimetre.
    ASSERT_EQ(s.clientObjects.size(), 1u);
    EXPECT_FLOAT_EQ(s.clientObjects[0].position.x, 1);
    EXPECT_FLOAT_EQ(s.clientObjects[0].position.z, 2);
    EXPECT_FLOAT_EQ(s.camera.plane[2], 1);
    EXPECT_FLOAT_EQ(s.camera.plane[3], -2);
    ASSERT_TRUE(s.camera.highestFocus);
    EXPECT_FLOAT_EQ(*s.camera.highestFocus, 0);
}

TEST_F(MapBuildTest, SecondStartReadsCacheAndNewerLevelRebuildsIt)
{
    Start(Map(""));
    ASSERT_NE(Level::Current(), nullptr);
    const uint32_t polygons = Level::Current()->statusPolygons_;
    StopLevel();

    LevelServices& second = Start(Map(""));
    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_TRUE(second.cacheRead);
    EXPECT_FALSE(second.cacheWritten);
    EXPECT_TRUE(second.progress.empty());
    EXPECT_EQ(Level::Current()->statusPolygons_, polygons);
    StopLevel();

    fs::last_write_time(dir_ / "loader_level.rif",
                        fs::last_write_time(dir_ / "loader_level.rif") + std::chrono::seconds(10));
    LevelServices& third = Start(Map(""));
    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_FALSE(third.cacheRead);
    EXPECT_TRUE(third.cacheWritten);
    StopLevel();

    // Another vertex limit cuts again.
    std::string other = Map("");
    other.replace(other.find("section 700"), 11, "section 900");
    EXPECT_FALSE(Start(other).cacheRead);
}

// The cut tree the build makes or the cache gives back is the one line of
// sight walks: the 2 m panel at z = 0 blocks a line through it, not one
// beside it, on both starts.
TEST_F(MapBuildTest, LineOfSightMeetsTheLevelBuiltOrReadFromItsCache)
{
    struct Line {
        const char* name;
        Vec3 from, to;
        bool clear;
    };
    const Line lines[] = {
        {"through the panel", {1, 1, -1}, {1, 1, 1}, false},
        {"beside the panel", {3, 1, -1}, {3, 1, 1}, true},
        {"in front of the panel", {1, 1, -2}, {1, 1, -1}, true},
    };
    for (const bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "read from the cache" : "built");
        StopLevel();
        LevelServices& s = Start(Map(""));
        ASSERT_EQ(s.cacheRead, cached);
        ASSERT_NE(Level::Current(), nullptr);
        ASSERT_NE(Level::Current()->ShapeTree(), nullptr);
        for (const Line& l : lines) {
            Vec3 out{0, 0, 0};
            EXPECT_EQ(LineOfSight(l.from, l.to, &out), l.clear) << l.name;
            if (!l.clear) {
                EXPECT_NEAR(out.z, 0, 1e-4) << l.name;
            }
        }
    }
}

TEST_F(MapBuildTest, PlacementFollowsTeamSlotsAndSessionSides)
{
    struct Case {
        const char* name;
        std::string uses;
        std::function<void(LevelServices&)> prepare;
        size_t server, client;
        float id;
    };
    const Case cases[] = {
        {"team past the slots", "use guard in team 9 for \"spawn\" as \"V\"", {}, 0, 0, 0},
        {"slot not in use", "use guard in team 2 for \"spawn\" as \"V\"",
         [](LevelServices& s) { s.teamSlotInUse[2] = false; }, 0, 0, 0},
        {"server only", "use guard in team 0 for \"spawn\" as \"V\"",
         [](LevelServices& s) { s.clientRunning = false; }, 1, 0, -1},
        {"restoring a saved game", "use guard in team 0 for \"spawn\" as \"V\"",
         [](LevelServices& s) { s.restoringSavedGame = true; }, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StopLevel();
        LevelServices& s = Start(Map(c.uses), c.prepare);
        EXPECT_EQ(s.serverObjects.size(), c.server);
        EXPECT_EQ(s.clientObjects.size(), c.client);
        if (c.server + c.client > 0) {
            ASSERT_EQ(s.variables.size(), 1u);
            EXPECT_EQ(s.variables[0].second, c.id);
        } else {
            EXPECT_TRUE(s.variables.empty());
        }
    }
}

TEST_F(MapBuildTest, RoleShapesLoadAndOnlyTrackObjectsKeepCollision)
{
    struct Case {
        const char* ai;
        bool collision;
    };
    for (const Case c : {Case{"4", false}, Case{"8", true}}) {
        SCOPED_TRACE(c.ai);
        StopLevel();
        Start("shape panel { name \"panel\" file \"loader_level.rif\" }\n"
              "role lift { character none shape panel light none projectile none identifier \"lift\" "
              "alpha fogging no per vertex fogging no destructibility none ai " + std::string(c.ai) + " }\n");
        ASSERT_EQ(script::RecordTables::Global().RoleCount(), 1u);
        const script::Role* role = script::RecordTables::Global().RoleAt(0);
        ASSERT_NE(role, nullptr);
        ASSERT_TRUE(role->shape.shape != nullptr);
        EXPECT_TRUE(role->shape.hasBox);
        EXPECT_GT(role->extent.x, 0);  // the panel is 2 m square
        EXPECT_EQ(role->shape.hasCollision, c.collision);
        EXPECT_EQ(static_cast<VeShape*>(role->shape.shape.get())->geometry_ != nullptr, c.collision);
    }
}

TEST_F(MapBuildTest, CameraTrackReachesTheCutscenePlayerOnlyWithALevel)
{
    struct Player : trevok::CutsceneReceiver {
        int loads = 0;
        void Load(const trevok::CutsceneChunk&, float, const Vec3&) override { ++loads; }
    };
    Player player;
    const std::string track = "camera track intro { name \"intro\" file \"loader_level.rif\" }\n";
    const std::string missing = "camera track other { name \"outro\" file \"loader_level.rif\" }\n";
    // Before any level: nothing loads.
    Start(track, [&](LevelServices& s) { s.cutscenes = &player; });
    EXPECT_EQ(player.loads, 0);
    // Tracks after the map in the script find its level; an unknown name loads nothing.
    LevelServices& s = Start(Map("") + track + missing, [&](LevelServices& l) { l.cutscenes = &player; });
    EXPECT_EQ(player.loads, 1);
    EXPECT_EQ(s.cameraTracks.size(), 2u);
}

TEST_F(MapBuildTest, LevelCutscenesPlayByNameUntilTheLevelStops)
{
    Start(Map("") + "camera track intro { name \"intro\" file \"loader_level.rif\" }\n");
    trevok::CutScene::PlayByName("INTRO", 0, 0);
    ASSERT_NE(trevok::CutScene::Current(), nullptr);
    EXPECT_EQ(trevok::CutScene::Current()->Name(), "Intro"); // as the level file spells it
    trevok::CutScene::StopCurrent();
    OnLevelStop();
    trevok::CutScene::PlayByName("intro", 0, 0);
    EXPECT_EQ(trevok::CutScene::Current(), nullptr);
}

TEST_F(MapBuildTest, MissingLevelFileBuildsNothing)
{
    std::string text = Map("");
    text.replace(text.find("loader_level.rif"), 16, "absent.rif");
    LevelServices& s = Start(text);
    EXPECT_EQ(Level::Current(), nullptr);
    EXPECT_FALSE(s.warnings.empty());
}

// A map asks for the level's own shadows by naming a shadow object; none,
// or nothing, asks for none. A later map build of the same level decides
// again.
TEST_F(MapBuildTest, NamingAShadowObjectAsksForStaticShadows)
{
    struct Case {
        const char* clause;
        bool asks;
    };
    const Case cases[] = {
        {"", false},
        {"shadow object rif none shadow object name none", false},
        {"shadow object rif \"loader_level.rif\"", true},
        {"shadow object name \"Panel\"", true},
        {"shadow object rif \"loader_level.rif\" shadow object name \"Panel\"", true},
    };
    for (const Case& c : cases) {
        StopLevel();
        std::string text = Map("");
        text.replace(text.find("max camera distance"), 0, std::string(c.clause) + " ");
        Start(text);
        ASSERT_NE(Level::Current(), nullptr) << c.clause;
        EXPECT_EQ(Level::Current()->staticShadows_, c.asks) << c.clause;
    }
}

TEST(AmbientCodesTest, LettersOverrideTheirValues)
{
    struct Case {
        const char* codes;
        float inner, outer;
        uint32_t volume;
        float pitch;
    };
    const Case cases[] = {
        {"", 1, 2, 100, 0},
        {"I5 R-7.5 V80 P12", 5, -7.5f, 80, 1},
        {"p-6 i3", 3, 2, 100, -0.5f},
        {"X9 V R4", 1, 4, 100, 0},  // unknown letter and a code without a number are skipped
        {"V-5", 1, 2, 0, 0},
    };
    for (const Case& c : cases) {
        AmbientEmitter e;
        e.inner = 1;
        e.outer = 2;
        ApplyAmbientCodes(c.codes, e);
        EXPECT_EQ(e.inner, c.inner) << c.codes;
        EXPECT_EQ(e.outer, c.outer) << c.codes;
        EXPECT_EQ(e.volume, c.volume) << c.codes;
        EXPECT_FLOAT_EQ(e.pitch, c.pitch) << c.codes;
    }
}

} // namespace

namespace {

// The generated training level script, built as the session start builds it.
TEST(SampleMapBuildTest, TrainingScriptBuildsItsLevel)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    const fs::path root = data ? data : "";
    const fs::path script = root / "scripts" / "training_level.tvs";
    if (!fs::exists(root / "rifs" / "training_level.rif") || !fs::exists(script))
        GTEST_SKIP() << "sample data not generated";
    const fs::path dir = fs::temp_directory_path() / ("sample_map_test_" + std::to_string(::getpid()));
    fs::create_directories(dir / "rifs");
    fs::copy_file(root / "rifs" / "training_level.rif", dir / "rifs" / "training_level.rif");

    struct Sounds : LevelServices {
        int32_t LoadSound(const std::string& name) override
        {
            LevelServices::LoadSound(name);
            return name == "lift_hum" ? 4 : 0;
        }
    };
    // The loading screen's text comes from the game's string table.
    auto library = platform::ResourceLibrary::Open(root / "tvres.dll", nullptr);
    ASSERT_TRUE(library);
    StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);

    LevelServices* built = BuildLevelScript(dir, script, std::make_unique<Sounds>());
    ASSERT_NE(built, nullptr);
    LevelServices& s = *built;

    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_TRUE(fs::exists(dir / "rifs" / "training_level.cut"));
    // The level's lighting chunks: a sun and a lamp over the platform.
    EXPECT_EQ(Level::Current()->Lights().LightCount(), 1);
    ASSERT_EQ(Level::Current()->Lights().PointLights().Count(), 1);
    for (const LevelPointLight* lamp : Level::Current()->Lights().PointLights()) {
        EXPECT_FLOAT_EQ(lamp->Range(), 8.0f);
        EXPECT_FLOAT_EQ(lamp->GetPosition().x, 27.5f);
    }
    // Two robots in team 1, and two crates, a lift and a track cart in team
    // 0, each bound to its variable.
    ASSERT_EQ(s.clientObjects.size(), 6u);
    std::vector<std::string> names;
    for (const auto& [name, value] : s.variables) {
        names.push_back(name);
        EXPECT_GE(value, 1.0f);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"CRATE1", "CRATE2", "LIFT", "TRACK", "TREVOK", "VELL"}));
    ASSERT_EQ(s.ambientSounds.size(), 1u);
    EXPECT_EQ(s.ambientSounds[0].sound, 4);
    EXPECT_EQ(s.ambientSounds[0].volume, 80u);
    EXPECT_FLOAT_EQ(s.ambientSounds[0].pitch, 2.0f / 12);
    EXPECT_EQ(s.camera.maxDistance, 60);
    EXPECT_TRUE(Level::Current()->staticShadows_) << "the sample level casts its own shadows";
    EXPECT_EQ(s.loadingTexts, std::vector<std::string>{"Loading level"});
    StringTable::Global().Free();
    EXPECT_FLOAT_EQ(s.camera.plane[2], 1);  // the marker faces along z

    delete Level::Current();
    Level::Current() = nullptr;
    script::RecordTables::Global().Clear();
    script::RecordTables::Global().SetServices(nullptr);
    fs::remove_all(dir);
}

} // namespace

namespace {

// Ambient sounds are looked up in the running sound system; without one, or
// for a name it lacks, a sound is 0 and its dummy is skipped.
TEST(LevelSoundsTest, SoundsComeFromTheGlobalSoundSystem)
{
    struct Case {
        const char* name;
        bool installed;
        const char* sound;
        int32_t id;
    };
    const Case cases[] = {
        {"loaded sound", true, "door_open", 7},
        {"sound not loaded", true, "lift_hum", 0},
        {"no sound system", false, "door_open", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.installed) {
            auto system = std::make_unique<RecordingSoundSystem>();
            ASSERT_EQ(system->AddSound(7, "door_open"), 7);
            SoundSystem::Install(std::move(system));
        }
        LevelServices services;
        EXPECT_EQ(services.LoadSound(c.sound), c.id);
        EXPECT_EQ(services.sounds, std::vector<std::string>{c.sound});
        SoundSystem::Shutdown();
    }
}

TEST(HierarchyFactsTest, HotspotsAndSequenceCounts)
{
    const auto withKey = [](int index, Vec3 at) {
        auto set = std::make_unique<trevok::SequenceSet>();
        set->entries_.resize(31);
        auto sequence = std::make_unique<trevok::Sequence>();
        trevok::SequenceKey key;
        key.position_ = at;
        sequence->keys_.push_back(key);
        set->entries_[size_t(index)] = std::move(sequence);
        return set;
    };
    HierarchyPtr root(new Hierarchy);
    root->sequences_ = withKey(21, {1, 2, 3});
    for (int i : {22, 27})
        root->sequences_->entries_[size_t(i)] = std::make_unique<trevok::Sequence>();
    auto* gun = new Hierarchy;  // the tree owns its children
    gun->name_ = "gun";
    gun->sequences_ = withKey(0, {10, 0, 0});
    root->children_.PushBack(gun);

    struct Case {
        std::optional<std::string> hotspot;
        float x, y, z;
    };
    const Case cases[] = {{"GUN", 11, 2, 3}, {"barrel", 0, 0, 0}, {std::nullopt, 0, 0, 0}};
    for (const Case& c : cases) {
        script::ShapeRef ref;
        ReadHierarchyFacts(*root, c.hotspot, std::nullopt, ref);
        SCOPED_TRACE(c.hotspot.value_or("none"));
        EXPECT_FLOAT_EQ(ref.hotspot.x, c.x);
        EXPECT_FLOAT_EQ(ref.hotspot.y, c.y);
        EXPECT_FLOAT_EQ(ref.hotspot.z, c.z);
        EXPECT_EQ(ref.alternateHotspot.x, 0);
        EXPECT_EQ(ref.lowSequences, 2);
        EXPECT_EQ(ref.highSequences, 1);
    }
}

// The walk factor is sequence 1's stored speed; a model without a walk
// sequence (or a damaged speed) has none.
TEST(HierarchyFactsTest, WalkFactorIsTheWalkSequencesSpeed)
{
    struct Case {
        const char* name;
        size_t entries;
        float walkSpeed;
        float factor;
    };
    const Case cases[] = {
        {"walk sequence", 31, 1.5f, 1.5f},
        {"only a stand sequence", 1, 1.5f, 0.0f},
        {"speed not a number", 31, std::nanf(""), 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HierarchyPtr root(new Hierarchy);
        root->sequences_ = std::make_shared<trevok::SequenceSet>();
        root->sequences_->entries_.resize(c.entries);
        root->speeds_.assign(c.entries, 0.0f);
        if (c.entries > 1)
            root->speeds_[1] = c.walkSpeed;
        script::ShapeRef ref;
        ReadHierarchyFacts(*root, std::nullopt, std::nullopt, ref);
        EXPECT_FLOAT_EQ(ref.walkFactor, c.factor);
    }
}

} // namespace

namespace {

// The sample's model folder (where its robot lies once the sample is built).
fs::path SampleModels()
{
    const char* dir = std::getenv("TREVOK_SAMPLE_DATA");
    return fs::path(dir ? dir : "sample-data") / "rifs";
}

// A role's record holds the whole sample robot: the object made from it has
// every named part (not only the root's shape), plays the walk, and gives
// the tree back when the record goes.
TEST(RoleObjectTest, SampleRobotRoleHasItsPartsAndPlaysItsWalk)
{
    LevelServices services;
    services.levelFolder = SampleModels();
    if (!fs::exists(services.levelFolder / "robot_hierarchy.rif"))
        GTEST_SKIP() << "no sample data in " << services.levelFolder;
    script::ShapeRef ref = services.HierarchyShape("robot_hierarchy.rif", "Robot", "robot_arm_r", "robot_arm_l");
    ASSERT_TRUE(ref.hierarchy);
    EXPECT_GT(ref.walkFactor, 0.0f);
    Hierarchy* tree = RoleHierarchy(ref);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(static_cast<VeShape*>(ref.shape.get()), tree->shapes_[0]) << "the shape is the tree's root shape";

    VeObject* object = MakeRoleObject(ref, true);
    ASSERT_NE(object, nullptr);
    for (const char* part : {"robot_legs", "robot_torso", "robot_head", "robot_arm_l", "robot_arm_r"}) {
        Vec3 at;
        EXPECT_TRUE(object->FindPartPosition(at, part, 0)) << part;
    }
    Vec3 at;
    EXPECT_FALSE(object->FindPartPosition(at, "lightdum", 0)) << "a part the model lacks is refused";

    const int32_t speed = 0x10000;
    object->PlaySequence(1, &speed, -1, 0, nullptr, 0, false);
    EXPECT_TRUE(object->IsPlayingSequence(1) || object->IsPlayingLayeredSequence(1));
    object->Release();

    script::ShapeRef plain = ref;
    plain.hierarchy.reset();
    VeObject* flat = MakeRoleObject(plain, true);
    ASSERT_NE(flat, nullptr);
    EXPECT_FALSE(flat->FindPartPosition(at, "robot_head", 0)) << "a plain shape has no parts";
    flat->Release();
    EXPECT_EQ(MakeRoleObject(script::ShapeRef{}, true), nullptr);
}

} // namespace

namespace {

// The sample robot's two fire parts stand at its hands, in front of it: a
// role naming them fires from the right hand and the left in turn, and the
// object finds them while it walks and aims.
TEST(RoleObjectTest, SampleRobotFiresFromItsHands)
{
    LevelServices services;
    services.levelFolder = SampleModels();
    if (!fs::exists(services.levelFolder / "robot_hierarchy.rif"))
        GTEST_SKIP() << "no sample data in " << services.levelFolder;
    // Key times are built at the clock rate of the load.
    SequencePlayer::SetTicksPerSecond(1000);
    struct RateBack {
        ~RateBack() { SequencePlayer::SetTicksPerSecond(0); }
    } rateBack;
    script::ShapeRef ref =
        services.HierarchyShape("robot_hierarchy.rif", "Robot", "robot_muzzle_r", "robot_muzzle_l");
    ASSERT_TRUE(ref.hierarchy);
    // The upper body rides on the legs, which stand turned as their walk begins.
    const script::Float3 right = ref.hotspot, left = ref.alternateHotspot;
    EXPECT_GT(right.x, 0.0f);
    EXPECT_LT(left.x, 0.0f);
    EXPECT_LT(right.y, 0.0f) << "above the feet (y grows downward)";
    EXPECT_FLOAT_EQ(left.y, right.y);
    // The poses the server plays by index are the model's own.
    for (int32_t index : {1, 2, 5, 12, 13, 19, 20, 96})
        EXPECT_TRUE(RoleHierarchy(ref)->HasSequence(index)) << index;
    VeObject* object = MakeRoleObject(ref, true);
    ASSERT_NE(object, nullptr);
    const int32_t speed = 0x10000, middle = 0x8000, turned = 0xC000;
    object->PlaySequence(13, &speed, -1, 0, nullptr, 0, false);
    uint64_t arrived = 0;
    object->PlaySequenceTo(12, &speed, &middle, &turned, 0, &arrived, nullptr, 0x004, false);
    // The torso turn goes from -0.8 to 0.8 rad: from its middle to three
    // quarters the hands swing 0.4 rad about the torso, the stance adding at
    // most 0.05.
    for (const char* part : {"robot_muzzle_r", "robot_muzzle_l"}) {
        SCOPED_TRACE(part);
        Vec3 ahead, swung;
        ASSERT_TRUE(object->FindPartPosition(ahead, part, 0));
        ASSERT_TRUE(object->FindPartPosition(swung, part, arrived + 1));
        const float turn = std::atan2(swung.x, swung.z) - std::atan2(ahead.x, ahead.z);
        EXPECT_GT(turn, 0.35f);
        EXPECT_LT(turn, 0.5f);
    }
    EXPECT_TRUE(object->IsPlayingSequence(13));
    EXPECT_TRUE(object->IsPlayingLayeredSequence(12));
    object->Release();
}

// The sample robot's sequence 5 is its guns' pitch sweep: played to a
// fraction it turns both hands about their arms, down below the middle and
// up above it, a quarter turn at either end, as aiming reads the fraction.
TEST(RoleObjectTest, SampleRobotPitchesItsGunsWithSequenceFive)
{
    LevelServices services;
    services.levelFolder = SampleModels();
    if (!fs::exists(services.levelFolder / "robot_hierarchy.rif"))
        GTEST_SKIP() << "no sample data in " << services.levelFolder;
    SequencePlayer::SetTicksPerSecond(1000);
    struct RateBack {
        ~RateBack() { SequencePlayer::SetTicksPerSecond(0); }
    } rateBack;
    script::ShapeRef ref =
        services.HierarchyShape("robot_hierarchy.rif", "Robot", "robot_muzzle_r", "robot_muzzle_l");
    ASSERT_TRUE(ref.hierarchy);
    const float quarter = std::numbers::pi_v<float> / 2;
    const struct {
        int32_t to;
        float lift;  // radians, upward
    } rows[] = {{0, -quarter}, {0x4000, -quarter / 2}, {0x8000, 0}, {0xC000, quarter / 2}, {0x10000, quarter}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.to);
        VeObject* object = MakeRoleObject(ref, true);
        ASSERT_NE(object, nullptr);
        const int32_t speed = 0x10000, middle = 0x8000;
        uint64_t arrived = 0;
        object->PlaySequenceTo(5, &speed, &middle, &row.to, 0, &arrived, nullptr, 0x004, false);
        for (const char* side : {"r", "l"}) {
            SCOPED_TRACE(side);
            const std::string arm = std::string("robot_arm_") + side, muzzle = std::string("robot_muzzle_") + side;
            Vec3 pivot, level, turned;
            ASSERT_TRUE(object->FindPartPosition(pivot, arm, 0));
            ASSERT_TRUE(object->FindPartPosition(level, muzzle, 0));
            ASSERT_TRUE(object->FindPartPosition(turned, muzzle, arrived + 1));
            const Vec3 a = level - pivot, b = turned - pivot;
            // y grows downward: up is -y.
            EXPECT_NEAR(std::atan2(-b.y, b.z) - std::atan2(-a.y, a.z), row.lift, 0.02f);
            EXPECT_NEAR(b.x, a.x, 1e-4f) << "the pitch keeps the hand's side";
        }
        object->Release();
    }
}

// Every shape a role is drawn with keeps its triangles' positions, in every
// part of a tree: selectable objects are picked triangle by triangle.
TEST(RoleObjectTest, RoleShapesKeepTheirPositionsForPicking)
{
    PrimitiveDesc cube;
    cube.kind = 6;
    VeShape* rootShape = VeShape::FromPrimitive(cube);
    VeShape* partShape = VeShape::FromPrimitive(cube);
    auto* tree = new Hierarchy;
    tree->shapes_[0] = rootShape; // the tree takes the uses
    auto* part = new Hierarchy;
    part->name_ = "arm";
    part->shapes_[0] = partShape;
    tree->children_.PushBack(part);
    LevelServices services;
    services.hierarchySource = [&](const std::string&, const std::string&) { return tree; };
    script::ShapeRef fromTree = services.HierarchyShape("m.rif", "m", std::nullopt, std::nullopt);
    ASSERT_TRUE(fromTree.hierarchy);
    EXPECT_TRUE(rootShape->HasPositionBuffer());
    EXPECT_TRUE(partShape->HasPositionBuffer());

    VeShape* single = VeShape::FromPrimitive(cube);
    services.shapeSource = [&](const std::string&, const std::string&) { return single; };
    script::ShapeRef plain = services.CachedShape("m.rif", "box");
    ASSERT_TRUE(plain);
    EXPECT_TRUE(single->HasPositionBuffer());
}

// Objects made from a tree file every part's mesh, so a role that gives up
// its collision data gives it up in every part, not only the root's.
TEST(RoleObjectTest, DroppingCollisionEmptiesEveryPartOfTheTree)
{
    const struct {
        const char* name;
        bool rootMesh, partMesh, collision;
    } rows[] = {
        {"RootAndPart", true, true, true},
        {"PartOnly", false, true, true},
        {"Neither", false, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VeShape* rootShape = new VeShape;
        VeShape* partShape = new VeShape;
        if (row.rootMesh)
            rootShape->geometry_ = std::make_unique<ShapeGeometry>();
        if (row.partMesh)
            partShape->geometry_ = std::make_unique<ShapeGeometry>();
        auto* tree = new Hierarchy;
        tree->shapes_[0] = rootShape;  // the tree takes the uses
        auto* part = new Hierarchy;
        part->name_ = "arm";
        part->shapes_[0] = partShape;
        tree->children_.PushBack(part);
        LevelServices services;
        services.hierarchySource = [&](const std::string&, const std::string&) { return tree; };
        script::ShapeRef ref = services.HierarchyShape("m.rif", "m", std::nullopt, std::nullopt);
        ASSERT_TRUE(ref.hierarchy);
        EXPECT_EQ(ref.hasCollision, row.collision);
        services.DropCollision(ref);
        EXPECT_FALSE(ref.hasCollision);
        EXPECT_EQ(rootShape->geometry_, nullptr);
        EXPECT_EQ(partShape->geometry_, nullptr);
    }
}

} // namespace
