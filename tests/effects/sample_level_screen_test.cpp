// The sample level as the game shows it: the session start loads it from
// the generated sample data (script, definitions, objects, lights), then one
// frame draws the level and its objects the way the game's frame does, with
// the global light sets the game's start-up makes. The floor shows lit under
// a camera looking down on a squad member's place; the command tour's effect
// lines (water, a light ray, a ring, a fade to black), each typed into the
// running level, change the picture where they lie. The second mission's
// objects, one of every kind, each show where they stand.
#include "Veapi/camera_fixture.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "app/app_state.h"
#include "app/directories.h"
#include "console/command_table.h"
#include "console/console.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "effects/effect_shapes.h"
#include "objects/role_table.h"
#include "objects/world_object.h"
#include "platform/data_path.h"
#include "effect_support.h"
#include "review_screens.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "session/client.h"
#include "session/level_session.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using scenetest::Rgb;

constexpr int kWidth = 320, kHeight = 240;

class SampleLevelScreen : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
        if (!fs::exists(sample / "scripts" / "training_level.tvs"))
            GTEST_SKIP() << "sample data not generated";
        SceneTest::SetUp();
        StartScene(kWidth, kHeight);
        // The global sets as the game's start-up makes them: the handed-in
        // one carries a grey glow and a light from above.
        LightSet::CreateGlobals(new LightSet);
        Colour grey;
        grey.Set(0.75f, 0.75f, 0.75f, 1.0f);
        LightSet::Global(2)->SetEmissive(grey);
        LightSet::Global(2)->AddDirectionalLight(Colour{}, Colour{}, Vec3{-0.57735f, -0.57735f, -0.57735f});
        root_ = fs::temp_directory_path() / ("sample_screen_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::copy(sample, root_, fs::copy_options::recursive);
        ASSERT_TRUE(script::LoadDataDirectories(root_));
        platform::ClearDataPathCache();
        Session::SetHooks({});
        Session::DataRoot() = root_;
        Session::Names() = {"training_level.tvs", ""};
        EffectCommands::Install();
        TextConsole::Create();
        Effects::InstallLevelHooks();
    }
    void TearDown() override
    {
        if (root_.empty())
            return;
        EndSession();
        TextConsole::Shutdown();
        Session::SetHooks({});
        Session::Names() = {};
        Session::DataRoot().clear();
        SetAppState(AppState::None);
        app::DataDirectories::Global().Clear();
        RenderQueue::Clear();
        LightSet::DestroyGlobals();
        SceneTest::TearDown();
        fs::remove_all(root_);
    }

    // The game's frame, without the interface: the world's effects, the
    // level, its objects, then the late effects (fades, overlays).
    void Frame(const std::string& name, int64_t now = 0, bool objects = true)
    {
        if (FogOfWar* fog = FogOfWar::Global())
            FogOfWar::Update(fog);
        BeginFrame(0);
        Effects::UpdateAndDrawAll(now, Effects::WorldList());
        if (Level* level = Level::Current())
            Level::Draw(level);
        if (objects)
            WorldObjectTable::DrawAll();
        Effects::UpdateAndDrawAll(now, Effects::LateList());
        RenderQueue::Flush();
        EndFrame();
        effecttest::KeepForReview(TREVOK_EFFECT_SCREENS_DIR, name);
    }

    // Points the camera from `from` at `at`, pitching whichever way puts
    // `at` in the middle of the screen.
    void LookAt(const Vec3& from, const Vec3& at)
    {
        camera_->SetPosition(from);
        camera_->SetNearFar(0.5f, 200.0f);
        const float pitch = std::atan2(at.y - from.y, std::hypot(at.x - from.x, at.z - from.z));
        Vec3 centre{};
        for (float p : {pitch, -pitch}) {
            camera_->SetPitch(p);
            if (camera_->Project(at, centre) && std::fabs(centre.y - kHeight / 2.0f) < 2.0f)
                break;
        }
        ASSERT_NEAR(centre.x, kWidth / 2.0f, 2.0f);
        ASSERT_NEAR(centre.y, kHeight / 2.0f, 2.0f);
    }

    std::vector<uint8_t> Screen()
    {
        std::vector<uint8_t> px;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(true, px, pitch));
        pitch_ = pitch;
        return px;
    }

    fs::path root_;
    int pitch_ = 0;
};

TEST_F(SampleLevelScreen, FloorIsLitUnderACameraLookingDownOnASquadMember)
{
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    ASSERT_NE(Level::Current(), nullptr);
    // The replicas come with the server's first messages, as in the game's
    // first frames.
    for (int frame = 0; frame < 20 && Client::IsRunning(); ++frame)
        Client::ReceiveServerMessages();
    // A squad robot: the squad's side sees where it stands.
    WorldObject* shown = nullptr;
    for (WorldObject* object : WorldObjectTable::Snapshot())
        if (object->Shape() && object->Side() == ClientServices::Get().OwnSide()) {
            shown = object;
            break;
        }
    ASSERT_NE(shown, nullptr) << "the sample level places objects with models (" << WorldObjectTable::Count()
                              << " replicas, client " << (Client::IsRunning() ? "running" : "not running") << ")";

    // Looking down on it from four metres behind and above, so its sides
    // face the camera (world y grows downwards).
    const Vec3 at = shown->Position();
    const Vec3 aim{at.x, at.y - 1.0f, at.z};
    camera_->SetPosition({at.x, at.y - 4.0f, at.z - 3.0f});
    camera_->SetNearFar(0.5f, 200.0f);
    Vec3 centre{};
    for (float pitch : {std::atan2(3.0f, 3.0f), -std::atan2(3.0f, 3.0f)}) {
        camera_->SetPitch(pitch);
        if (camera_->Project(aim, centre) && std::fabs(centre.y - kHeight / 2.0f) < 2.0f)
            break;
    }
    ASSERT_NEAR(centre.x, kWidth / 2.0f, 2.0f);
    ASSERT_NEAR(centre.y, kHeight / 2.0f, 2.0f);

    Frame(std::string("sample_level"));
    int floorPixels = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb p = Pixel(x, y);
            floorPixels += p.r + p.g + p.b > 30;
        }
    EXPECT_GT(floorPixels, kWidth * kHeight / 2) << "most of the view is lit floor";
}

// The second mission places one object of every kind the client makes from a
// role: looked at from above and behind, each changes the picture around the
// middle of the screen against the level drawn without its objects.
TEST_F(SampleLevelScreen, EveryObjectKindOfTheSecondMissionDrawsWhereItStands)
{
    // The game's role table, where the chain's head finds its segments' role.
    RoleTable::Install();
    struct Uninstall {
        ~Uninstall() { script::RecordTables::Global().SetRoleFiler(nullptr); }
    } uninstall;
    Session::Names() = {"level05.tvs", ""};
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    for (int frame = 0; frame < 20 && Client::IsRunning(); ++frame)
        Client::ReceiveServerMessages();
    constexpr int kAround = 24;  // pixels either side of the middle
    for (int32_t kind : {5, 8, 9, 10, 11, 12, 13, 14, 16, 17}) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        const WorldObject* object = nullptr;
        for (const WorldObject* replica : WorldObjectTable::Snapshot())
            if (!object && replica->IsKind(kind) && replica->Shape())
                object = replica;
        ASSERT_NE(object, nullptr) << "no replica of the kind with a model";
        const Vec3 at = object->Position();
        ASSERT_NO_FATAL_FAILURE(LookAt({at.x, at.y - 4.0f, at.z - 3.0f}, {at.x, at.y - 0.2f, at.z}));
        const std::string name = "level05_kind_" + std::to_string(kind);
        Frame(name + "_without", 0, false);
        const std::vector<uint8_t> without = Screen();
        Frame(name, 0, true);
        const std::vector<uint8_t> with = Screen();
        ASSERT_EQ(with.size(), without.size());
        ASSERT_FALSE(with.empty());
        int changed = 0;
        for (int y = kHeight / 2 - kAround; y <= kHeight / 2 + kAround; ++y)
            for (int x = kWidth / 2 - kAround; x <= kWidth / 2 + kAround; ++x) {
                const size_t px = size_t(y) * size_t(pitch_) + size_t(x) * 4;
                changed += with[px] != without[px] || with[px + 1] != without[px + 1] || with[px + 2] != without[px + 2];
            }
        EXPECT_GT(changed, 0) << "the object does not show where it stands";
    }
}

// A rectangle of the screen, inclusive.
struct ScreenRect {
    int x0, y0, x1, y1;
    bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

struct EffectLine {
    const char* name;
    const char* line;
    double seconds;            // how long after the line the frame is taken
    std::vector<Vec3> corners; // world points whose screen box holds the change
    int margin;                // pixels around that box
    bool reachesTop;           // the box goes on to the top of the screen
    bool fadesOut;             // the frame ends (nearly) black
};

void PrintTo(const EffectLine& row, std::ostream* os) { *os << row.name; }

// The floor is 20 m square at height 0 (y grows downwards); the camera looks
// at its middle from the south, above.
const EffectLine kEffectLines[] = {
    {"water", "WATER 1 0 -0.5 0 10 -0.5 10", 0.5, {{0, -0.5f, 0}, {10, -0.5f, 0}, {0, -0.5f, 10}, {10, -0.5f, 10}}, 4,
     false, false},
    // The ray rises from the point to the sky, past the top of the screen;
    // its light reaches the floor within 5.5 metres of the point, lighting
    // the floor's vertices there and so the whole of their triangles.
    {"ray", "RAY 10 0 10", 0.5,
     {{0, 0, 0}, {20, 0, 0}, {0, 0, 20}, {20, 0, 20}, {9.5f, -10, 9.5f}, {10.5f, -10, 10.5f}},
     6, true, false},
    // Half-way through its half second the ring has grown to 2.5 metres; it
    // hangs down from its point, so a metre up it shows above the floor.
    {"ring", "RING 10 -1 10 12 1 4", 0.25, {{6, -1, 6}, {14, -1, 6}, {6, -1, 14}, {14, -1, 14}, {10, 1, 10}}, 6,
     false, false},
    // Black within a second, held for two.
    {"fade_to_black", "FADE TO BLACK 2 1", 1.5, {}, 0, false, true},
};

class SampleLevelEffectLines : public SampleLevelScreen, public ::testing::WithParamInterface<EffectLine> {
protected:
    void SetUp() override
    {
        SampleLevelScreen::SetUp();
        if (root_.empty())
            return;
        // Typed lines reach the real rows of the table.
        CommandTable::Global().RegisterAll();
        EffectCommands::Install();
        EffectShapes::Build();
        Effects::SetClock([] { return effecttest::FakeNow(); });
        Effects::SetGameCamera(camera_.get());
    }
    void TearDown() override
    {
        Effects::ClearAll();
        EffectShapes::Release();
        Effects::SetGameCamera(nullptr);
        Effects::SetClock(nullptr);
        SampleLevelScreen::TearDown();
    }
};

TEST_P(SampleLevelEffectLines, ChangeThePictureWhereTheyLie)
{
    const EffectLine& row = GetParam();
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    for (int frame = 0; frame < 20 && Client::IsRunning(); ++frame)
        Client::ReceiveServerMessages();
    SetAppState(AppState::Playing);
    ASSERT_NO_FATAL_FAILURE(LookAt({10, -14, -4}, {10, 0, 10}));

    const int64_t start = effecttest::WrapStart();
    effecttest::FakeNow() = start;
    Frame(std::string("tour_") + row.name + "_before", start);
    const std::vector<uint8_t> before = Screen();
    TextConsole::ExecuteAtFullAccess(row.line);
    const int64_t at = start + effecttest::Ticks(row.seconds);
    effecttest::FakeNow() = at;
    Frame(std::string("tour_") + row.name, at);
    const std::vector<uint8_t> after = Screen();
    ASSERT_EQ(before.size(), after.size());
    ASSERT_FALSE(after.empty());

    ScreenRect where{0, 0, kWidth - 1, kHeight - 1};
    if (!row.corners.empty()) {
        where = {kWidth, kHeight, -1, -1};
        for (const Vec3& corner : row.corners) {
            Vec3 p{};
            // A point the camera cannot show (behind it) widens nothing; the
            // rows keep their points in front.
            ASSERT_TRUE(camera_->Project(corner, p)) << corner.x << "," << corner.y << "," << corner.z;
            where = {std::min(where.x0, int(std::floor(p.x))), std::min(where.y0, int(std::floor(p.y))),
                     std::max(where.x1, int(std::ceil(p.x))), std::max(where.y1, int(std::ceil(p.y)))};
        }
        where = {where.x0 - row.margin, row.reachesTop ? 0 : where.y0 - row.margin, where.x1 + row.margin,
                 where.y1 + row.margin};
    }
    int inside = 0, outside = 0, dark = 0;
    ScreenRect seen{kWidth, kHeight, -1, -1};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const size_t px = size_t(y) * size_t(pitch_) + size_t(x) * 4;
            dark += after[px] + after[px + 1] + after[px + 2] < 12;
            bool changed = false;
            for (size_t c = 0; c < 3; ++c)
                changed |= before[px + c] != after[px + c];
            if (!changed)
                continue;
            seen = {std::min(seen.x0, x), std::min(seen.y0, y), std::max(seen.x1, x), std::max(seen.y1, y)};
            ++(where.Holds(x, y) ? inside : outside);
        }
    EXPECT_GT(inside, 0) << row.line << " shows nothing";
    EXPECT_EQ(outside, 0) << "changed pixels span " << seen.x0 << "," << seen.y0 << " to " << seen.x1 << ","
                          << seen.y1 << "; expected inside " << where.x0 << "," << where.y0 << " to " << where.x1
                          << "," << where.y1;
    if (row.fadesOut) {
        EXPECT_GT(dark, kWidth * kHeight * 99 / 100) << "the faded screen is black";
    }
}

INSTANTIATE_TEST_SUITE_P(TourLines, SampleLevelEffectLines, ::testing::ValuesIn(kEffectLines),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
