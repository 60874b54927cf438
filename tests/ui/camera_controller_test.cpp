#include "ui_fixture.h"

#include "Veapi/camera.h"
#include "console/text_console.h"
#include "effects/frame_pass.h"
#include "ui/ui_placeholders.h"
#include "session/session_placeholders.h"
#include "world/level_fixture.h"
#include "world/map_build.h"

#include <cmath>

namespace {

using uitest::GameViewTest;

class CameraTest : public GameViewTest {
protected:
    static constexpr int64_t kSecond = kTicksPerSecond;
    void Frame(int64_t ticks = kSecond / 100)
    {
        view_.now += ticks;
        CameraController::UpdateAt(view_.now);
    }
    CameraController::State& S() { return CameraController::Get(); }
};

TEST_F(CameraTest, EdgeScrollRampMatchesItsIntegral)
{
    // 0.05 s held at base speed 1: up to half speed and back, 2 x 0.5 x 0.05 x 0.5.
    CameraAxis axis;
    axis.Reset(0);
    axis.Set(true, true, 0);
    axis.Set(true, false, kSecond / 20);
    EXPECT_NEAR(axis.Advance(kSecond / 5), 0.025f, 1e-6f);
    EXPECT_EQ(axis.GetVelocity(kSecond), 0.0f);

    // Held long: full speed after 0.1 s, then one unit a second.
    axis.Reset(0);
    axis.Set(false, true, 0);
    EXPECT_NEAR(axis.Advance(kSecond), -(0.05f + 0.9f), 1e-5f);
}

TEST_F(CameraTest, EdgeScrollMovesTheFocusByTheRampsIntegral)
{
    CameraController::SetHeading(0);
    S().zoom = S().requiredZoom = 20;
    CameraController::SetFocus(10, 5, 10);
    CameraController::SetEdgeScroll(CameraController::kPanSideways, 1, true);
    Frame(kSecond / 20);
    CameraController::SetEdgeScroll(CameraController::kPanSideways, 1, false);
    for (int i = 0; i < 10; ++i)
        Frame(kSecond / 50);
    // 0.025 of travel, scaled by twice the zoom times the view width.
    EXPECT_NEAR(S().focus.x, 10 + 0.025f * 2 * 20 * CameraController::kPlayViewWidth, 1e-4f);
    EXPECT_NEAR(S().focus.z, 10, 1e-4f);
}

// The frame pass draws the scanner overlays in the recon view only: the
// game's view flag, as the view commands and keys set it, decides.
TEST_F(CameraTest, TheFramePassOverlaysFollowTheViewMode)
{
    GameView::InstallSessionHooks(nullptr);
    Session::Hooks().cameraLimits = nullptr;
    SessionObservers::Set(nullptr, nullptr);
    for (const bool normal : {false, true, false}) {
        FreeCameraFlag = normal;
        EXPECT_EQ(Effects::NormalView(), normal);
    }
    FreeCameraFlag = true;
    Effects::SetNormalViewSource(nullptr);
}

TEST_F(CameraTest, TheLevelStartsMapLimitsReplaceTheStartUpOnes)
{
    CameraLimits limits;
    limits.maxDistance = 50;
    limits.highestFocus = -5.0f; // y grows downward: the smaller y is higher
    limits.lowestFocus = 30.0f;
    // The level start hands the map's limits to the camera.
    GameView::InstallSessionHooks(nullptr);
    ASSERT_TRUE(Session::Hooks().cameraLimits);
    Session::Hooks().cameraLimits(limits);
    Session::Hooks().cameraLimits = nullptr;
    SessionObservers::Set(nullptr, nullptr);
    CameraController::SetFocus(0, -20, 0);
    EXPECT_EQ(S().focus.y, -5.0f);
    CameraController::SetFocus(0, 40, 0);
    EXPECT_EQ(S().focus.y, 30.0f);
    S().zoom = S().requiredZoom = 45;
    CameraController::OnWheel(-1200);
    for (int i = 0; i < 20; ++i)
        Frame();
    EXPECT_EQ(S().zoom, 50.0f);

    CameraLimits none; // a map without them keeps what it had
    CameraController::ApplyLimits(none);
    EXPECT_EQ(S().maxZoom, 50.0f);
    EXPECT_EQ(S().focusLow, -5.0f);
}

TEST_F(CameraTest, BaseSpeedFollowsTheOption)
{
    const float expected[] = {0.5f, 1.0f, 2.0f};
    for (int option = 0; option < 3; ++option) {
        CameraController::SetSpeedOption(option);
        EXPECT_EQ(S().axes[CameraController::kTurn].baseSpeed, expected[option]);
    }
    CameraController::SetSpeedOption(1);
}

TEST_F(CameraTest, RequiredAnglesStepTheShortWay)
{
    struct Row {
        float start, required;
        std::vector<float> headings;
    } rows[] = {
        {1000, 1040, {1010, 1020, 1030, 1040}},
        {1000, 900, {990, 980, 970, 960}},
        {1000, 1000 - 4000, {1010, 1020, 1030, 1040}}, // 96 above through 4096
        {5, 4090, {4091}},                               // within the rate across zero
    };
    for (const Row& r : rows) {
        CameraController::SetHeading(r.start);
        CameraController::SetPitch(512);
        CameraController::SetRoll(0);
        ASSERT_TRUE(CameraController::SetRequiredOrientation(r.required, 512, 0, 10));
        for (float h : r.headings) {
            Frame();
            EXPECT_FLOAT_EQ(S().heading, CameraController::Reduce(h)) << r.start << " -> " << r.required;
        }
    }
    // 1000 -> 1040 arrives on the fourth frame; then the rate is 0.
    CameraController::SetHeading(1000);
    CameraController::SetRequiredOrientation(1040, 512, 0, 10);
    for (int i = 0; i < 4; ++i)
        Frame();
    EXPECT_EQ(S().angleRate, 0.0f);
}

TEST_F(CameraTest, HugeAndNonFiniteAnglesStayInRange)
{
    for (float a : {1e30f, -1e30f, 4096.0f * 1e7f, -0.001f, 4096.0f}) {
        const float r = CameraController::Reduce(a);
        EXPECT_GE(r, 0.0f) << a;
        EXPECT_LT(r, 4096.0f) << a;
        const int32_t i = CameraController::HalfAngleIndex(a);
        EXPECT_GE(i, 0);
        EXPECT_LE(i, 0xFFF);
    }
    EXPECT_FALSE(CameraController::SetRequiredOrientation(NAN, 0, 0, 10));
    EXPECT_FALSE(CameraController::SetRequiredOrientation(0, INFINITY, 0, 10));
    ASSERT_TRUE(CameraController::SetRequiredOrientation(1e30f, 1e30f, -1e30f, 10));
    for (int i = 0; i < 300 && S().angleRate > 0; ++i)
        Frame();
    EXPECT_EQ(S().angleRate, 0.0f);

    // Script-mode turning without end keeps the heading inside one turn.
    CameraController::SetScriptMode(true);
    S().rotationSpeed = 1e6f;
    for (int i = 0; i < 10; ++i) {
        CameraController::HoldScriptMode(view_.now + kSecond);
        Frame();
        EXPECT_GE(S().heading, 0.0f);
        EXPECT_LT(S().heading, 4096.0f);
    }
    CameraController::SetScriptMode(false);
}

TEST_F(CameraTest, WheelZoomEasesAndStopsAtTheMinimum)
{
    S().zoom = S().requiredZoom = 10;
    CameraController::OnWheel(360);
    EXPECT_NEAR(S().requiredZoom, 10 / 3.375f, 1e-4f);
    float previous = S().zoom;
    for (int i = 0; i < 100; ++i) {
        Frame();
        EXPECT_LE(S().zoom, previous);
        EXPECT_GE(S().zoom, CameraController::kMinZoom);
        previous = S().zoom;
    }
    EXPECT_NEAR(S().zoom, 10 / 3.375f, 1e-4f);
    CameraController::OnWheel(1200);
    for (int i = 0; i < 100; ++i)
        Frame();
    EXPECT_EQ(S().zoom, CameraController::kMinZoom);
    EXPECT_EQ(S().requiredZoom, CameraController::kMinZoom);
}

class LevelCameraTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        leveltest::AddFloor(source_, 0, 0, 0, 4, 2.0f);
        level_ = leveltest::MakeLevel(source_);
        level_->cameraMinX_ = 0;
        level_->cameraMaxX_ = 8;
        level_->cameraMinZ_ = 0;
        level_->cameraMaxZ_ = 8;
        Level::Current() = level_.get();
    }
    void TearDown() override
    {
        CameraTest::TearDown();
        Level::Current() = nullptr;
    }
    CollisionSource source_;
    std::unique_ptr<Level> level_;
};

TEST_F(LevelCameraTest, FocusIsClampedAndNonFiniteRefused)
{
    struct Row {
        Vec3 asked, expected;
    } rows[] = {
        {{4, 5, 4}, {4, 5, 4}},
        {{-3, 5, 20}, {0, 5, 8}},
        {{9, -10, -1}, {8, 0, 0}},
        {{1, 250, 1}, {1, 100, 1}},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(CameraController::SetFocus(r.asked.x, r.asked.y, r.asked.z));
        EXPECT_EQ(S().focus, r.expected);
    }
    EXPECT_FALSE(CameraController::SetFocus(NAN, 0, 0));
    EXPECT_FALSE(CameraController::SetFocus(0, INFINITY, 0));
    EXPECT_EQ(S().focus, (Vec3{1, 100, 1}));
}

TEST_F(LevelCameraTest, TurningPivotsOnTheSecondFrameOnly)
{
    CameraController::SetFocus(4, 10, 4);
    S().zoom = S().requiredZoom = 20;
    Frame();
    const Vec3 eye = MainCamera::Get().Position();
    level_->probeValid_ = true;
    level_->probePoint_ = {4, 5, 4};
    CameraController::SetEdgeScroll(CameraController::kTurn, 1, true);
    Frame();
    EXPECT_TRUE(level_->probeRequested_); // first frame asks
    EXPECT_EQ(S().focus, (Vec3{4, 10, 4}));
    Frame();
    EXPECT_FALSE(level_->probeRequested_);
    EXPECT_TRUE(S().pivotDone);
    const float k = (5 - eye.y) / (10 - eye.y);
    EXPECT_NEAR(S().focus.y, 5.0f, 1e-3f);
    EXPECT_NEAR(S().zoom, 20 * k, 1e-3f);
    const Vec3 pivoted = S().focus;
    Frame();
    EXPECT_EQ(S().focus, pivoted); // not repeated while turning
}

TEST_F(LevelCameraTest, ALevelViewLineNeverPivots)
{
    // Eye and focus at one height: no point of the line lies at another.
    CameraController::SetFocus(4, 10, 4);
    Frame();
    level_->probeValid_ = true;
    level_->probePoint_ = {4, 5, 4};
    CameraController::SetEdgeScroll(CameraController::kTurn, 1, true);
    Frame(); // asks for the probe point
    MainCamera::Get().SetPosition({0, 10, 0});
    Frame();
    EXPECT_TRUE(S().pivotDone);
    EXPECT_TRUE(std::isfinite(S().focus.x) && std::isfinite(S().focus.y) && std::isfinite(S().zoom));
    EXPECT_EQ(S().focus.y, 10.0f);
}

TEST_F(LevelCameraTest, LockedTurningFollowsTheMeanAndNeverPivots)
{
    trevok_->SetPosition({2, 10, 2});
    vell_->SetPosition({6, 10, 4});
    CameraController::Track(trevok_);
    CameraController::Track(vell_);
    level_->probeValid_ = true;
    level_->probePoint_ = {4, 5, 4};
    CameraController::SetEdgeScroll(CameraController::kTurn, 1, true);
    for (int i = 0; i < 4; ++i) {
        Frame();
        EXPECT_EQ(S().focus, (Vec3{4, 10, 3}));
    }
    ui_test::ReplicaWorld::Kill(*vell_);
    Frame();
    EXPECT_FALSE(CameraController::IsTracked(vell_));
    EXPECT_EQ(S().focus, (Vec3{2, 10, 2}));
}

TEST_F(CameraTest, PlayingACutsceneClosesAnOpenConsole)
{
    for (const bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "closed");
        TextConsole::Get().displayMode = open ? 0 : 1;
        CameraController::PlayCutscene("no such cut-scene");
        EXPECT_FALSE(TextConsole::IsOpen());
        CameraController::SetScriptMode(false);
    }
}

TEST_F(CameraTest, ACutsceneEyeOnItsTargetKeepsTheLastDirection)
{
    CameraController::LookFrom({0, 0, 0}, {0, 10, 10});
    const float heading = S().heading, pitch = S().pitch;
    EXPECT_NEAR(pitch, 512.0f, 0.01f); // 45 degrees down
    EXPECT_NEAR(S().zoom, std::sqrt(200.0f), 1e-4f);
    CameraController::LookFrom({3, 3, 3}, {3, 3, 3});
    EXPECT_EQ(S().heading, heading);
    EXPECT_EQ(S().pitch, pitch);
    EXPECT_TRUE(std::isfinite(S().zoom));
    EXPECT_EQ(S().focus, (Vec3{3, 3, 3}));
}

TEST_F(CameraTest, CurveMoveWithoutSpeedEndsAtOnce)
{
    const Vec3 points[4] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    CameraMove& move = CameraMove::Get();
    move.SetPlacement(points);
    EXPECT_EQ(move.Evaluate(0.5f), (Vec3{1.5f, 0, 0}));
    for (float speed : {0.0f, -1.0f}) {
        move.SetPlacement(points);
        move.speed_ = speed;
        move.Start(view_.now);
        CameraController::SetScriptMode(true);
        Frame();
        EXPECT_FALSE(move.active_) << speed;
        EXPECT_EQ(S().focus, (Vec3{3, 0, 0}));
        Frame(); // nothing holds script mode any more
        EXPECT_FALSE(S().scriptMode);
    }
}

// The panel bands follow the eased level each frame of easing, and a
// cut-scene frame draws them at full height.
std::vector<float> gPulses;

TEST_F(CameraTest, PanelBandsFollowTheEasedLevelAndTheCutscene)
{
    CameraController::SetPanelPulse([](float level) { gPulses.push_back(level); });
    const struct {
        const char* what;
        bool easing;
        float from, to, step;
        int frames;
        std::vector<float> drawn;
    } rows[] = {
        {"no easing: nothing drawn", false, 0.0f, 1.0f, 0.4f, 2, {}},
        {"growing, never past the level", true, 0.0f, 1.0f, 0.4f, 4, {0.4f, 0.8f, 1.0f, 1.0f}},
        {"shrinking", true, 1.0f, 0.25f, 0.5f, 3, {0.5f, 0.25f, 0.25f}},
        {"at the level", true, 0.5f, 0.5f, 0.1f, 1, {0.5f}},
    };
    for (const auto& r : rows) {
        gPulses.clear();
        S().panelEasing = r.easing;
        S().panelLevel = r.from;
        S().requiredPanelLevel = r.to;
        S().panelStep = r.step;
        for (int i = 0; i < r.frames; ++i)
            Frame();
        ASSERT_EQ(gPulses.size(), r.drawn.size()) << r.what;
        for (size_t i = 0; i < gPulses.size(); ++i)
            EXPECT_FLOAT_EQ(gPulses[i], r.drawn[i]) << r.what << " frame " << i;
    }
    // A cut-scene that has nothing left to play still ends with its bands.
    S().panelEasing = false;
    gPulses.clear();
    CameraMove::Get().StartCutscene(view_.now);
    CameraController::SetScriptMode(true);
    Frame();
    EXPECT_FALSE(CameraMove::Get().active_);
    EXPECT_EQ(gPulses, std::vector<float>{1.0f});
    CameraController::SetPanelPulse(nullptr);
}

} // namespace

namespace {

// The lock key: the camera follows exactly the selection, centred on its
// members, and the cursor plays the lock shape once; with nothing selected
// it lets go.
TEST_F(CameraTest, LockingOnTheSelection)
{
    trevok_->SetPosition({2, 4, 2});
    vell_->SetPosition({6, 4, 4});
    CameraController::Track(tovan_);
    Selection::Add(trevok_);
    Selection::Add(vell_);
    view_.calls.clear();
    CameraController::LockOnSelection();
    EXPECT_FALSE(CameraController::IsTracked(tovan_));
    EXPECT_TRUE(CameraController::IsTracked(trevok_));
    EXPECT_TRUE(CameraController::IsTracked(vell_));
    EXPECT_EQ(S().focus, (Vec3{4, 4, 3}));
    EXPECT_EQ(GameCursor::Shown(), GameCursor::kCameraLock);
    EXPECT_EQ(view_.calls, (std::vector<std::string>{"hierarchy", "once 1"}));
    Selection::RemoveAll();
    CameraController::LockOnSelection();
    EXPECT_FALSE(CameraController::IsTracking());
}

} // namespace
