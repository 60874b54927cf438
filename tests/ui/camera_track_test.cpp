// A camera track's cast loaded from the units folder, its numbering and the
// numbers outside it, and its fades through the effects' screen fade.
#include "ui/camera_track.h"

#include "../Veapi/camera_fixture.h"
#include "replica_world.h"
#include "Veapi/object_preview.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "effects/effect_list.h"
#include "objects/role_table.h"
#include "objects/moving_object.h"
#include "objects/shape_cache.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "world/level.h"
#include "world/map_build.h"
#include "script/records.h"

#include <climits>
#include <cstring>
#include <deque>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class CameraTrackTest : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene();
        const fs::path rifs = fs::path(TREVOK_SAMPLE_DATA_DIR) / "rifs";
        fs::create_directories(dir_.Path() / "rifs" / "units");
        // The same hierarchy file inside the cast folder and one level above it.
        fs::copy_file(rifs / "robot_hierarchy.rif", dir_.Path() / "rifs" / "units" / "robot.rif");
        fs::copy_file(rifs / "robot_hierarchy.rif", dir_.Path() / "rifs" / "units" / "r");
        fs::copy_file(rifs / "robot_hierarchy.rif", dir_.Path() / "rifs" / "outside.rif");
        const fs::path folder = dir_.Path() / "rifs";
        ChunkFileCache::SetFolderSource([folder] { return std::optional<fs::path>(folder); });
        WorldObjectTable::DestroyAll();
        // Sequence lengths are counted in the players' ticks when loaded.
        SequencePlayer::SetTicksPerSecond(1000);
    }
    void TearDown() override
    {
        SequencePlayer::SetTicksPerSecond(0);
        track_.reset();
        Effects::ClearAll();
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        ChunkFileCache::SetFolderSource(nullptr);
        SceneTest::TearDown();
    }
    displaytest::TempDir dir_;
    std::unique_ptr<CameraTrack> track_ = std::make_unique<CameraTrack>();
};

TEST_F(CameraTrackTest, LoadedCastAreNumberedFromMinusOne)
{
    const struct {
        const char* name;
        const char* hierarchy;
        int32_t cast;
    } finds[] = {
        {nullptr, nullptr, CameraTrack::kNoCast},
        {"", nullptr, CameraTrack::kNoCast},          // an empty name matches nobody
        {"nobody.rif", nullptr, CameraTrack::kNoCast}, // neither in the level nor loadable
        {"..\\outside.rif", nullptr, CameraTrack::kNoCast},
        {"/tmp/outside.rif", nullptr, CameraTrack::kNoCast},
        {"robot.rif", nullptr, -1},
        {"r", nullptr, -2}, // shorter than an extension: the file's first hierarchy
        {"robot.rif", "no such hierarchy", CameraTrack::kNoCast},
    };
    for (const auto& f : finds)
        EXPECT_EQ(track_->FindCharacter(f.name, f.hierarchy), f.cast) << (f.name ? f.name : "(null)");
    EXPECT_EQ(track_->CastCount(), 2u);
}

TEST_F(CameraTrackTest, LevelCharactersAreFoundByTheirRoleName)
{
    std::deque<script::Role> roles(2);
    roles[0].identifier = "trevok";
    roles[1].identifier = ""; // a role without a name is nobody's character
    WorldObject* named = nullptr;
    for (script::Role& r : roles) {
        r.aiType = 2;
        r.character.emplace();
        RoleTable::Global().File(r);
        WorldObject* made = WorldObject::CreateByRole(1, &r, {0, 0, 0}, Quaternion::Identity());
        ASSERT_NE(made, nullptr);
        if (!named)
            named = made;
    }
    const int32_t id = int32_t(named->GetId());
    const struct {
        const char* name;
        int32_t cast;
    } finds[] = {
        {"trevok", id},
        {"trev", id},       // compared over the shorter of the two
        {"trevok2", id},
        {"", CameraTrack::kNoCast},
        {"vell", CameraTrack::kNoCast},
    };
    for (const auto& f : finds)
        EXPECT_EQ(track_->FindCharacter(f.name, nullptr), f.cast) << f.name;
    EXPECT_EQ(CameraTrack::LevelCharacter(id), named);
    EXPECT_EQ(track_->CastMember(id), nullptr) << "a level character is no loaded member";
    WorldObjectTable::DestroyAll();
    RoleTable::Global().ForgetAll();
}

TEST_F(CameraTrackTest, CastNumbersOutsideTheCastAreAbsent)
{
    ASSERT_EQ(track_->FindCharacter("robot.rif", nullptr), -1);
    ASSERT_EQ(track_->FindCharacter("ROBOT.RIF", nullptr), -2);
    EXPECT_EQ(track_->DrawCount(), 2u);
    const struct {
        int32_t cast;
        bool present;
    } numbers[] = {{-1, true}, {-2, true}, {-3, false}, {INT_MIN, false}, {0, false}, {5, false}, {INT_MAX, false}};
    for (const auto& n : numbers) {
        EXPECT_EQ(track_->CastMember(n.cast) != nullptr, n.present) << n.cast;
        // Acting on an absent member changes nothing and never fails.
        track_->PlaceCastMember(n.cast, 1.0f, {1, 2, 3}, Quaternion(0, 0, 0, 1));
        track_->StopCastSequences(n.cast);
        track_->PlayCastSequence(n.cast, 0, 16, -1);
    }
    EXPECT_NE(track_->CastMember(-1), track_->CastMember(-2));
    EXPECT_FLOAT_EQ(track_->CastMember(-2)->placement_.Position().z, 3.0f);
    EXPECT_FLOAT_EQ(track_->GetCastSequenceValue(INT_MIN, 0), 1.0f);
    track_->Stop();
    EXPECT_EQ(track_->CastCount(), 0u);
    EXPECT_EQ(track_->CastMember(-1), nullptr);
}

TEST_F(CameraTrackTest, ThePreviewComesBackHoweverTheTrackEnds)
{
    const int32_t before = ObjectPreview::SuspendCount();
    track_->Start(0.0, 0);
    track_->Start(0.0, 0);
    EXPECT_EQ(ObjectPreview::SuspendCount(), before + 1);
    track_->Stop();
    EXPECT_EQ(ObjectPreview::SuspendCount(), before);
    track_->Start(0.0, 0);
    track_.reset(); // dropped with its level while it ran
    EXPECT_EQ(ObjectPreview::SuspendCount(), before);
}

TEST_F(CameraTrackTest, FadesLastWholeSeconds)
{
    const struct {
        int32_t direction, milliseconds;
        bool added;
        int64_t seconds;
        float startAlpha;
    } fades[] = {
        {0, 1999, true, 1, 1.0f},  // from black
        {1, 2500, true, 2, 0.0f},  // to black
        {0, -400, true, 0, 1.0f},  // no time at all
        {2, 1000, false, 0, 0.0f}, // no such direction
    };
    for (const auto& f : fades) {
        SCOPED_TRACE(f.milliseconds);
        Effects::ClearAll();
        track_->Fade(f.direction, f.milliseconds);
        EffectRecord* r = Effects::FindFirst(Effects::LateList(), EffectKind::ScreenFade);
        ASSERT_EQ(r != nullptr, f.added);
        if (!r)
            continue;
        EXPECT_EQ(int64_t(r->timeB - r->timeA), Effects::SecondsToTicks(double(f.seconds)));
        EXPECT_FLOAT_EQ(r->colourA.alpha, f.startAlpha);
        EXPECT_FLOAT_EQ(r->colourB.alpha, 1.0f - f.startAlpha);
    }
}

TEST_F(CameraTrackTest, SequenceValuesAreTheLengthsOfOnePlay)
{
    ASSERT_EQ(track_->FindCharacter("robot.rif", nullptr), -1);
    const struct {
        int32_t cast, sequence;
        float seconds;
    } values[] = {
        {-1, 1, 1.2f},    // "walk", the root part's one sequence
        {-1, 2, 0.4f},    // "fire", which the root holds still for the torso's recoil
        {-1, 3, 1.0f},    // the torso's "turn" is no sequence of the root
        {-1, 4, 1.0f},    // no such sequence
        {-1, -1, 1.0f},
        {-1, 100000, 1.0f},
        {-2, 2, 1.0f},    // no such member
        {INT_MIN, 2, 1.0f},
    };
    for (const auto& v : values)
        EXPECT_NEAR(track_->GetCastSequenceValue(v.cast, v.sequence), v.seconds, 1e-3f)
            << v.cast << " " << v.sequence;
}

TEST_F(CameraTrackTest, StoppingHandsTheSquadBackToTheServer)
{
    ui_test::ReplicaWorld world;
    std::vector<std::pair<uint32_t, uint32_t>> sent; // (request, object id)
    ClientServices::Get().sendRequest = [&sent](const void* block, uint32_t size, bool) {
        uint32_t words[2] = {};
        std::memcpy(words, block, std::min<size_t>(size, sizeof words));
        sent.emplace_back(words[0], words[1]);
        return true;
    };
    Unit* squad = world.MakeUnit(7, ui_test::ReplicaWorld::kOwnSide, "trevok");
    Unit* enemy = world.MakeUnit(9, ui_test::ReplicaWorld::kEnemySide, "vell");
    ASSERT_TRUE(squad->TakesMotionOrders());
    ASSERT_FALSE(enemy->TakesMotionOrders());
    ASSERT_EQ(track_->FindCharacter("robot.rif", nullptr), -1);
    ASSERT_GT(ChunkFileCache::Count(), 0u);

    track_->Start(0.0, 0);
    for (Unit* unit : {squad, enemy}) {
        track_->PlaceCastMember(int32_t(unit->GetId()), 0.0f, {4, 0, 2}, Quaternion::Identity());
        EXPECT_TRUE(unit->IsHighlighted()) << "a character the track moves is marked";
        EXPECT_TRUE(unit->ShownInCutScenes()) << "and shows while the scene plays";
    }
    ASSERT_TRUE(sent.empty());
    track_->Stop();

    // Only the squad member reports where it stands (request 42), and only
    // it is let go; the scene's files are freed with the cast.
    EXPECT_EQ(sent, (std::vector<std::pair<uint32_t, uint32_t>>{{42u, 7u}}));
    EXPECT_FALSE(squad->IsHighlighted());
    EXPECT_TRUE(enemy->IsHighlighted());
    EXPECT_FALSE(squad->ShownInCutScenes());
    EXPECT_FALSE(enemy->ShownInCutScenes());
    EXPECT_EQ(ChunkFileCache::Count(), 0u);
    EXPECT_EQ(track_->DrawCount(), 0u);
}

// A squad unit the track puts down stops walking and stands on the polygon
// under its new place, with or without glide time; a unit of another side
// only glides there.
TEST_F(CameraTrackTest, APlacedSquadUnitStopsAndStandsOnThePolygonUnderIt)
{
    CollisionSource floor; // two squares side by side: x 0..4 and 4..8
    floor.points = {{0, 0, 0}, {4, 0, 0}, {8, 0, 0}, {0, 0, 4}, {4, 0, 4}, {8, 0, 4}};
    floor.quads.push_back({{0, 1, 4, 3}, {0, -1, 0}, 0});
    floor.quads.push_back({{1, 2, 5, 4}, {0, -1, 0}, 0});
    auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor);
    level->BuildCellGrid(4, 1, 4);
    level->LinkPolygons();
    struct Current {
        explicit Current(Level* l) { Level::Current() = l; }
        ~Current() { Level::Current() = nullptr; }
    } current(level.get());
    const Vec3 start{2, 0, 2}, target{6, 0, 2};
    CollisionPolygon* const startPolygon = level->FindPolygonAt(start);
    CollisionPolygon* const targetPolygon = level->FindPolygonAt(target);
    ASSERT_NE(startPolygon, nullptr);
    ASSERT_NE(targetPolygon, nullptr);
    ASSERT_NE(startPolygon, targetPolygon);

    const struct {
        int32_t side;
        float seconds;
        bool stops;
    } rows[] = {
        {ui_test::ReplicaWorld::kOwnSide, 0.0f, true},
        {ui_test::ReplicaWorld::kOwnSide, 0.5f, true},
        {ui_test::ReplicaWorld::kEnemySide, 0.5f, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "side " << row.side << ", " << row.seconds << " s");
        ui_test::ReplicaWorld world;
        Unit* unit = world.MakeUnit(7, row.side, "trevok", start);
        ASSERT_EQ(unit->TakesMotionOrders(), row.stops);
        MotionRecord record;
        record.position = start;
        unit->ApplyMoving({3, 0, 2}, record, {3, 0, 2});
        ASSERT_TRUE(unit->IsWalking());
        ASSERT_EQ(unit->GetPolygon(), startPolygon);

        track_->PlaceCastMember(int32_t(unit->GetId()), row.seconds, target, Quaternion::Identity());
        EXPECT_TRUE(unit->IsHighlighted());
        EXPECT_EQ(unit->IsWalking(), !row.stops);
        EXPECT_EQ(unit->GetPolygon(), row.stops ? targetPolygon : startPolygon);
    }
}

// The training level's "camera track" definition stands ahead of its map:
// the track still loads with the level, and playing it glides the camera
// while the robot it loads walks on the spot.
TEST_F(CameraTrackTest, TheTrainingLevelPlaysItsIntroTrack)
{
    const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
    fs::copy_file(sample / "rifs" / "training_level.rif", dir_.Path() / "rifs" / "training_level.rif");
    CameraTrack::Install();
    LevelServices* services =
        BuildLevelScript(dir_.Path(), sample / "scripts" / "training_level.tvs", std::make_unique<LevelServices>());
    ASSERT_NE(services, nullptr);
    ASSERT_NE(Level::Current(), nullptr);

    trevok::CutScene::PlayByName("intro", 0.0, 0);
    auto* track = dynamic_cast<CameraTrack*>(trevok::CutScene::Current());
    ASSERT_NE(track, nullptr) << "the intro track was not loaded with the level";
    Vec3 camera{0, 0, 0}, target{0, 0, 0};
    float fieldOfView = 0;
    ASSERT_TRUE(trevok::CutScene::AdvanceCurrent(0.05, 0, camera, target, fieldOfView));
    ASSERT_EQ(track->CastCount(), 1u);
    ASSERT_NE(track->CastMember(-1), nullptr);
    VeObject* robot = track->CastMember(-1);
    EXPECT_TRUE(robot->IsPlayingSequence(1) || robot->IsPlayingLayeredSequence(1));

    const float origin = Level::Current()->origin_.x;
    ASSERT_TRUE(trevok::CutScene::AdvanceCurrent(1.0, 0, camera, target, fieldOfView));
    EXPECT_NEAR(camera.x, origin + 4.0f, 0.05f); // the middle point, a second in
    trevok::CutScene::StopCurrent();
    EXPECT_EQ(track->CastCount(), 0u);

    trevok::CutScene::ClearAll();
    trevok::CutsceneRegistryReceiver::SetFactory(nullptr);
    delete Level::Current();
    Level::Current() = nullptr;
    script::RecordTables::Global().Clear();
    script::RecordTables::Global().SetServices(nullptr);
}

} // namespace
