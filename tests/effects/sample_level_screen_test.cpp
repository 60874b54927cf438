// The sample level as the game shows it: the session start loads it from
// the generated sample data (script, definitions, objects, lights), then one
// frame draws the level and its objects the way the game's frame does, with
// the global light sets the game's start-up makes. The floor shows lit under
// a camera looking down on a squad member's place.
#include "Veapi/camera_fixture.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "app/app_state.h"
#include "app/directories.h"
#include "console/console.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "objects/world_object.h"
#include "platform/data_path.h"
#include "review_screens.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "session/client.h"
#include "session/level_session.h"
#include "world/fog_of_war.h"
#include "world/level.h"

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

    // The game's frame, without the interface: the level, then its objects.
    void Frame(const char* name)
    {
        if (FogOfWar* fog = FogOfWar::Global())
            FogOfWar::Update(fog);
        BeginFrame(0);
        if (Level* level = Level::Current())
            Level::Draw(level);
        WorldObjectTable::DrawAll();
        RenderQueue::Flush();
        EndFrame();
        effecttest::KeepForReview(TREVOK_EFFECT_SCREENS_DIR, name);
    }

    fs::path root_;
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

    Frame("sample_level");
    int floorPixels = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb p = Pixel(x, y);
            floorPixels += p.r + p.g + p.b > 30;
        }
    EXPECT_GT(floorPixels, kWidth * kHeight / 2) << "most of the view is lit floor";
}

} // namespace
