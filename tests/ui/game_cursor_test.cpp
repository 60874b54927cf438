#include "ui_fixture.h"

#include "Veapi/camera.h"
#include "../Veapi/display_fixture.h"
#include "app/display_mode.h"
#include "platform/byte_cursor.h"
#include "session/client_apply.h"
#include "session/level_session.h"
#include "Veapi/texture_manager.h"
#include <fstream>
#include "world/fog_of_war.h"

#include <cstdlib>
#include <filesystem>
#include "ui/hud_viewports.h"

namespace {

using uitest::GameViewTest;

class CursorTest : public GameViewTest {
protected:
    void Hover(WorldObject* object)
    {
        pick_ = {};
        pick_.object = object;
        view_.calls.clear();
        GameCursor::Update();
    }
};

TEST_F(CursorTest, ShapeRules)
{
    WorldObject* crate = world_->Make(301, 2, world_->NewRole("crate", 10));
    Unit* trader = world_->MakeUnit(202, 0, "trader");
    ASSERT_NE(crate, nullptr);
    ASSERT_NE(trader, nullptr);
    // The server's item reports: a switch linked, one used up, a pick-up
    // collected but left lying.
    WorldObject* lever = world_->Make(302, 2, world_->NewRole("lever", 10));
    WorldObject* spent = world_->Make(303, 2, world_->NewRole("spent lever", 10));
    WorldObject* taken = world_->Make(304, 2, world_->NewRole("empty crate", 10));
    for (const auto& [type, id] : {std::pair{92u, 302u}, {92u, 303u}, {100u, 303u}, {93u, 304u}}) {
        uint8_t block[8];
        trevok::ByteWriter out(block);
        out.U32(type);
        out.U32(id);
        ASSERT_EQ(Client::ApplyServerMessage(block), Client::Applied::kApplied) << type << " " << id;
    }
    struct Row {
        const char* name;
        bool selected;
        WorldObject* under;
        bool hidden;
        GameCursor::Shape shape;
        int loop;
    } rows[] = {
        {"nothing selected over a squad member", false, vell_, false, GameCursor::kUnselected, 1},
        {"nothing selected over the ground", false, nullptr, false, GameCursor::kUnselected, 0},
        {"nothing selected over an enemy", false, enemy_, false, GameCursor::kUnselected, 0},
        {"enemy", true, enemy_, false, GameCursor::kAttack, 1},
        {"enemy in the fog", true, enemy_, true, GameCursor::kAttack, 1},
        {"neutral", true, trader, false, GameCursor::kStandard, 0},
        {"hidden item", true, crate, true, GameCursor::kAttack, 1},
        {"item to pick up", true, crate, false, GameCursor::kPickUp, 2},
        {"switch", true, lever, false, GameCursor::kActivate, 1},
        {"hidden switch", true, lever, true, GameCursor::kAttack, 1},
        {"spent switch", true, spent, false, GameCursor::kStandard, 0},
        {"collected item left lying", true, taken, false, GameCursor::kStandard, 0},
        {"own unit", true, vell_, false, GameCursor::kStandard, 0},
    };
    // A fog that nothing has cleared hides every point.
    FogOfWar fog(32, 2048);
    fog.SetWorldArea(-64, -64, 64, 64);
    fog.SetEnabled(true);
    ASSERT_GE(fog.VisibilityAt(crate->Position()), 254u);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Selection::RemoveAll();
        if (r.selected)
            Selection::Add(trevok_);
        FogOfWar::Global() = r.hidden ? &fog : nullptr;
        pick_ = {};
        pick_.object = r.under;
        GameCursor::Shape shape;
        int32_t loop;
        GameCursor::Pick(shape, loop);
        FogOfWar::Global() = nullptr;
        EXPECT_EQ(shape, r.shape);
        EXPECT_EQ(loop, r.loop);
    }
}

TEST_F(CursorTest, NothingIsResentWhenNothingChanged)
{
    Hover(vell_);
    EXPECT_EQ(view_.calls, (std::vector<std::string>{"hierarchy", "loop 1"}));
    Hover(vell_);
    EXPECT_TRUE(view_.calls.empty());
    Hover(nullptr); // same shape, other sequence
    EXPECT_EQ(view_.calls, (std::vector<std::string>{"loop 0"}));
}

TEST_F(CursorTest, OrdersPlayTheirSequenceOnce)
{
    Selection::Add(trevok_);
    view_.calls.clear();
    Selection::OrderAttackTarget(*enemy_, 0);
    EXPECT_EQ(view_.calls, (std::vector<std::string>{"hierarchy", "once 2"}));
    EXPECT_EQ(GameCursor::Shown(), GameCursor::kAttack);
    // Until the preview reports the end, the rules wait.
    Hover(nullptr);
    EXPECT_TRUE(view_.calls.empty());
}

TEST_F(CursorTest, AttackModeShowsGroundUnlessTheWheelWaitsForUpgrade)
{
    MouseMode::Set(MouseMode::kAttack);
    GameCursor::Shape s;
    int32_t l;
    GameCursor::Pick(s, l);
    EXPECT_EQ(s, GameCursor::kAttackGround);
    GameView::GetScreens().pendingWheelAction = [] { return 1; };
    GameCursor::Pick(s, l);
    EXPECT_EQ(s, GameCursor::kStandard);
}

// The viewports are fractions of the screen the display has, whatever size
// an earlier test left it at: a screen of 640 x 480 of its own.
class HudViewportsOnAScreen : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        Start(640, 480, 16);
    }
};

TEST_F(HudViewportsOnAScreen, FractionsAndHalvedDepths)
{
    DisplayModeSettings saved = App::CurrentMode();
    App::CurrentMode().width = 640;
    App::CurrentMode().height = 480;
    Camera camera;
    struct Row {
        float f;
        int pixels;
    } rows[] = {{0.9f, 576}, {0.0f, 0}, {0.05f, 32}, {1.0f, 640}};
    for (const Row& r : rows) {
        camera.SetWidthFraction(r.f);
        EXPECT_EQ(camera.PixelWidth(), r.pixels) << r.f;
        EXPECT_GE(camera.DeviceViewport().width, 1u) << "the device keeps a pixel";
        EXPECT_EQ(camera.ViewportFlags() & Camera::kWidthAbsolute, 0);
    }
    camera.SetNearFar(0.04f, 10.0f);
    EXPECT_FLOAT_EQ(camera.NearPlane(), 0.04f);
    camera.SetDepthHalving(true);
    camera.SetNearFar(0.04f, 10.0f);
    EXPECT_FLOAT_EQ(camera.NearPlane(), 0.02f);
    EXPECT_FLOAT_EQ(camera.FarPlane(), 5.0f);

    HudViewports::SetUp();
    EXPECT_EQ(HudViewports::InsetWindow().PixelWidth(), 576);
    EXPECT_EQ(HudViewports::InsetWindow().PixelLeft(), 32);
    EXPECT_FLOAT_EQ(HudViewports::HudText().NearPlane(), 0.04f);
    EXPECT_FLOAT_EQ(HudViewports::Overview().FarPlane(), 1000.0f);
    App::CurrentMode() = saved;
}

} // namespace

namespace {

// The sample's cursor model: all nine shapes found by their part names, each
// with its three sequences.
TEST_F(CursorTest, SampleModelHasTheNineShapes)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path rifs = std::filesystem::path(data ? data : "") / "rifs";
    if (!std::filesystem::exists(rifs / "user interface" / "game_cursor.rif"))
        GTEST_SKIP() << "sample data not generated";
    ASSERT_TRUE(GameCursor::LoadFrom(rifs));
    for (int s = 0; s < GameCursor::kShapeCount; ++s)
        EXPECT_TRUE(GameCursor::Loaded(static_cast<GameCursor::Shape>(s))) << GameCursor::kPartNames[s];
    EXPECT_EQ(GameCursor::Shown(), GameCursor::kStandard);
    EXPECT_EQ(GameCursor::LoopedSequence(), 0);
    ASSERT_GE(view_.calls.size(), 2u);
    EXPECT_EQ(view_.calls.back(), "loop 0");
    EXPECT_EQ(view_.calls[view_.calls.size() - 2], "hierarchy");
    GameCursor::Release();
    EXPECT_FALSE(GameCursor::Loaded(GameCursor::kStandard));
    // A folder without the model leaves the cursor empty.
    EXPECT_FALSE(GameCursor::LoadFrom(std::filesystem::temp_directory_path() / "no_such_folder_for_the_cursor"));
}

// Loading the model loads the textures waiting for their images (the
// model's among them) through the texture loader, telling the loading
// screen how far it got.
TEST_F(CursorTest, LoadingTheModelLoadsTheWaitingTexturesWithProgress)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path rifs = std::filesystem::path(data ? data : "") / "rifs";
    if (!std::filesystem::exists(rifs / "user interface" / "game_cursor.rif"))
        GTEST_SKIP() << "sample data not generated";
    displaytest::TempDir graphics;
    std::ofstream(graphics.Path() / "cursor skin.bmp") << "x";
    TextureManager::SetGraphicsDirectory(graphics.Path());
    std::vector<std::string> loaded;
    TextureManager::SetLoader([&](const TextureLoadRequest& req, TextureLoadResult&) {
        loaded.push_back(req.path.filename().string());
        return false;
    });
    std::vector<float> progress;
    Session::Hooks().drawLoading = [&](const std::string&, float done) { progress.push_back(done); };
    TextureEntry* waiting = TextureManager::Find("Cursor Skin.bmp");

    EXPECT_TRUE(GameCursor::LoadFrom(rifs));
    EXPECT_EQ(loaded, std::vector<std::string>{"cursor skin.bmp"});
    EXPECT_FALSE(progress.empty());

    TextureManager::Unuse(waiting);
    Session::Hooks().drawLoading = nullptr;
    TextureManager::SetLoader(TextureManager::ImageFileLoader());
    TextureManager::SetGraphicsDirectory({});
    TextureManager::PurgeUnused();
}

} // namespace

#include "Veapi/hit_probe.h"
#include "ui/player_input.h"

namespace {

// Each frame the pointer update finds what is under the pointer, moves the
// default probe there and shapes the cursor by it.
TEST_F(CursorTest, TheFramesPointerUpdate)
{
    pick_.object = vell_;
    Mouse::OnMove(40, 30, 0);
    PlayerInput::UpdateFrame();
    EXPECT_EQ(PlayerInput::UnderPointer().object, vell_);
    EXPECT_EQ(HitProbe::Default().screenX_, 40.5f);
    EXPECT_EQ(HitProbe::Default().screenY_, 30.5f);
    EXPECT_EQ(view_.calls, (std::vector<std::string>{"hierarchy", "loop 1"}));
    GameView::EndSession();
    EXPECT_EQ(PlayerInput::UnderPointer().object, nullptr);
}

} // namespace

#include "Veapi/object_preview.h"
#include "ui/camera_controller.h"

namespace {

// The lock key with the real preview and the sample's cursor shapes: the
// preview is given the lock shape's object when it shows another one and
// plays sequence 1 once; a second press while the lock shape shows keeps
// its object and plays the sequence again.
TEST_F(CursorTest, LockingShowsTheLockShapeOnTheRealPreview)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path rifs = std::filesystem::path(data ? data : "") / "rifs";
    if (!std::filesystem::exists(rifs / "user interface" / "game_cursor.rif"))
        GTEST_SKIP() << "sample data not generated";
    struct Shown : PreviewObject {
        std::vector<std::string>* log;
        explicit Shown(std::vector<std::string>* l) : log(l) {}
        void Bounds(Vec3& minimum, Vec3& maximum) const override { minimum = maximum = {0, 0, 0}; }
        void SetBounds(const Vec3&, const Vec3&) override {}
        void SetPosition(const Vec3&) override {}
        void SetOrientation(const Quaternion&) override {}
        bool SequenceIsStatic(int32_t) const override { return false; }
        void PlaySequence(int32_t index, int32_t, int32_t repeat, uint32_t, uint8_t*) override
        {
            log->push_back("play " + std::to_string(index) + (repeat == 1 ? " once" : " looped"));
        }
        void QueueDraw(uint64_t, Camera&, LightSet*, RenderMaterial*, int, uint32_t) override {}
    };
    std::vector<std::string> log;
    ObjectPreview::SetObjectFactory([&log](Hierarchy*) {
        log.push_back("object");
        return std::make_unique<Shown>(&log);
    });
    ObjectPreview::Startup();
    GameCursor::PreviewCalls() = {};
    ASSERT_TRUE(GameCursor::LoadFrom(rifs));
    EXPECT_EQ(log, (std::vector<std::string>{"object", "play 0 looped"})) << "the standard shape";
    Selection::Add(trevok_);
    log.clear();
    CameraController::LockOnSelection();
    EXPECT_EQ(GameCursor::Shown(), GameCursor::kCameraLock);
    EXPECT_EQ(log, (std::vector<std::string>{"object", "play 1 once"}));
    ASSERT_NE(ObjectPreview::Current(), nullptr);
    log.clear();
    CameraController::LockOnSelection();
    EXPECT_EQ(log, (std::vector<std::string>{"play 1 once"})) << "the same object";
    GameCursor::Release();
    ObjectPreview::Shutdown();
    ObjectPreview::SetObjectFactory({});
}

} // namespace
