#include "ui_fixture.h"

#include "Veapi/camera.h"
#include "app/display_mode.h"
#include "ui/camera_commands.h"
#include "ui/key_config.h"
#include "ui/wheel.h"

#include <cstdint>
#include <map>

namespace {

using uitest::GameViewTest;

// One letter per handler, as the action map's table names them.
std::map<uintptr_t, char> HandlerLetters()
{
    using namespace MouseAction;
    return {
        {reinterpret_cast<uintptr_t>(&DragSelectBox), 'S'}, {reinterpret_cast<uintptr_t>(&DragWidget), 'W'},
        {reinterpret_cast<uintptr_t>(&RotateCamera), 'R'},  {reinterpret_cast<uintptr_t>(&PanCamera), 'P'},
        {reinterpret_cast<uintptr_t>(&DragUpgradeScreen), 'U'}, {reinterpret_cast<uintptr_t>(&MoveTo), 'M'},
        {reinterpret_cast<uintptr_t>(&AttackTarget), 'A'},  {reinterpret_cast<uintptr_t>(&AttackLocation), 'G'},
        {reinterpret_cast<uintptr_t>(&SelectUnit), 's'},    {reinterpret_cast<uintptr_t>(&ClickWidget), 'C'},
        {reinterpret_cast<uintptr_t>(&OpenCommandWheel), 'O'}, {reinterpret_cast<uintptr_t>(&OpenWheelForSingle), '1'},
        {reinterpret_cast<uintptr_t>(&WheelClick), 'K'},    {reinterpret_cast<uintptr_t>(&CloseCommandWheel), 'X'},
        {reinterpret_cast<uintptr_t>(&ConfirmAttack), 'F'}, {reinterpret_cast<uintptr_t>(&CancelMode), 'N'},
        {reinterpret_cast<uintptr_t>(&LaunchProjectile), 'L'},
    };
}

// Rows: relations 0 to 5; columns: cursor modes 0 to 6.
using Grid = std::array<const char*, 6>;

std::string Decode(const MouseButton& b, bool drag)
{
    const auto letters = HandlerLetters();
    std::string out;
    for (int r = 0; r < 6; ++r) {
        for (int m = 0; m < 7; ++m) {
            const uintptr_t h = drag ? reinterpret_cast<uintptr_t>(b.DragAt(r, m))
                                 : reinterpret_cast<uintptr_t>(b.ClickAt(r, m));
            out += h ? letters.at(h) : '.';
        }
        out += '|';
    }
    return out;
}

std::string Join(const Grid& g)
{
    std::string out;
    for (const char* row : g)
        out += std::string(row) + '|';
    return out;
}

TEST_F(GameViewTest, ActionMapCellsFromTheMasks)
{
    const Grid leftClick = {".KF..L.", "MKF..L.", "AKF..L.", "MKF..L.", "sKF..L.", "CKFCCL."};
    const Grid leftDrag = {"S..U...", "S..U...", "S..U...", "S..U...", "S..U...", "W..U..."};
    const Grid rightClick = {"1XN....", "1XN....", ".XN....", "OXN....", "OXN....", "OXN...."};
    const Grid middleClick = {".......", "G......", "A......", "A......", "A......", "......."};
    const Grid turn = {"R.R....", "R.R....", "R.R....", "R.R....", "R.R....", "......."};
    const Grid pan = {"P.P....", "P.P....", "P.P....", "P.P....", "P.P....", "......."};
    for (bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "swapped" : "plain");
        MouseActionMap::Build(swapped);
        EXPECT_EQ(Decode(MouseButton::Left(), false), Join(leftClick));
        EXPECT_EQ(Decode(MouseButton::Left(), true), Join(leftDrag));
        EXPECT_EQ(Decode(MouseButton::Right(), false), Join(rightClick));
        EXPECT_EQ(Decode(MouseButton::Middle(), false), Join(middleClick));
        EXPECT_EQ(Decode(MouseButton::Right(), true), Join(swapped ? pan : turn));
        EXPECT_EQ(Decode(MouseButton::Middle(), true), Join(swapped ? turn : pan));
    }
}

struct Recorded {
    std::vector<int> phases;
    int clicks = 0;
};
Recorded g_recorded;
bool g_keepDragging = true;

bool RecordDrag(MouseButton&, const PointerState&, int phase)
{
    g_recorded.phases.push_back(phase);
    return g_keepDragging;
}
void RecordClick(MouseButton&) { ++g_recorded.clicks; }

class MouseButtons : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        saved_ = App::CurrentMode();
        App::CurrentMode().width = 640;
        App::CurrentMode().height = 400;
        MouseButton::Left().ClearHandlers();
        MouseButton::Left().SetClickHandler(0x1FFF, RecordClick);
        MouseButton::Left().SetDragHandler(0x1FFF, RecordDrag);
        g_recorded = {};
        g_keepDragging = true;
    }
    void TearDown() override
    {
        App::CurrentMode() = saved_;
        GameViewTest::TearDown();
    }
    DisplayModeSettings saved_;
};

TEST_F(MouseButtons, ClickOrDragByThreshold)
{
    struct Row {
        int dx, dy;
        bool move;
        int clicks;
        std::vector<int> phases;
    } rows[] = {
        {19, 0, false, 1, {}},
        {0, 19, true, 1, {}},
        {20, 0, false, 0, {3}},   // past the threshold only at the release
        {0, 20, false, 0, {3}},
        {20, 0, true, 0, {1, 2}},
        {-25, 30, true, 0, {1, 2}},
    };
    for (const Row& r : rows) {
        g_recorded = {};
        Mouse::OnLeftDown(100, 100, 0);
        if (r.move)
            Mouse::OnMove(100 + r.dx, 100 + r.dy, 0);
        Mouse::OnLeftUp(100 + r.dx, 100 + r.dy, 0);
        EXPECT_EQ(g_recorded.clicks, r.clicks) << r.dx << "," << r.dy;
        EXPECT_EQ(g_recorded.phases, r.phases) << r.dx << "," << r.dy;
    }
}

TEST_F(MouseButtons, PressesEndWithTheirReference)
{
    pick_.object = enemy_;
    const int32_t base = enemy_->RefCount();
    struct Row {
        const char* name;
        void (*end)();
        std::vector<int> phases;
    } rows[] = {
        {"release", [] { Mouse::OnLeftUp(100, 100, 0); }, {}},
        {"lost release", [] { Mouse::OnLeftDown(100, 100, 0); Mouse::OnLeftUp(100, 100, 0); }, {}},
        {"mode change", [] { MouseMode::Set(MouseMode::kAttack); }, {}},
        {"level stop", [] { Mouse::DropAll(); }, {}},
        {"dragging, lost release",
         [] { Mouse::OnMove(150, 100, 0); Mouse::OnLeftDown(150, 100, 0); Mouse::DropAll(); }, {1, 6}},
    };
    for (const Row& r : rows) {
        g_recorded = {};
        MouseMode::Set(0);
        Mouse::OnLeftDown(100, 100, 0);
        EXPECT_EQ(enemy_->RefCount(), base + 1) << r.name;
        r.end();
        EXPECT_EQ(enemy_->RefCount(), base) << r.name;
        EXPECT_FALSE(MouseButton::Left().Held()) << r.name;
        EXPECT_EQ(g_recorded.phases, r.phases) << r.name;
        EXPECT_EQ(g_recorded.clicks, r.name == std::string("release") ? 1 : r.name == std::string("lost release") ? 1 : 0)
            << r.name;
    }
}

TEST_F(MouseButtons, ModeChangeLosesAHeldClick)
{
    Mouse::OnLeftDown(100, 100, 0);
    MouseMode::Set(MouseMode::kAttack);
    Mouse::OnLeftUp(100, 100, 0);
    EXPECT_EQ(g_recorded.clicks, 0);
}

class MouseActions : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        Picking::SetRectOverride([this](const WorldObject& u, ScreenRect& r) {
            const auto it = rects_.find(&u);
            if (it == rects_.end())
                return false;
            r = it->second;
            return true;
        });
        rects_[trevok_] = {10, 10, 30, 50};
        rects_[vell_] = {100, 10, 120, 50};
        rects_[tovan_] = {300, 300, 320, 340};
    }
    void BoxDrag(int x0, int y0, int x1, int y1, uint32_t flags)
    {
        Mouse::OnLeftDown(x0, y0, flags);
        Mouse::OnMove(x1, y1, flags);
        Mouse::OnLeftUp(x1, y1, flags);
    }
    std::map<const WorldObject*, ScreenRect> rects_;
};

TEST_F(MouseActions, BoxDragSelects)
{
    Selection::Add(tovan_);
    BoxDrag(200, 200, 250, 250, 0); // nobody inside: the selection stays
    EXPECT_TRUE(Selection::Contains(tovan_));
    EXPECT_EQ(Selection::Count(), 1);

    BoxDrag(0, 0, 110, 60, 2); // Ctrl adds
    EXPECT_EQ(Selection::Count(), 3);

    BoxDrag(0, 0, 40, 60, 0); // without Ctrl it replaces
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{trevok_});
    EXPECT_TRUE(CameraController::EdgeScrollEnabled());
    EXPECT_FALSE(MouseAction::SelectionBox().shown);
}

TEST_F(MouseActions, ClicksOnUnitsAndGround)
{
    pick_.object = vell_;
    Mouse::OnLeftDown(110, 20, 0);
    Mouse::OnLeftUp(110, 20, 0);
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{vell_});

    pick_.object = trevok_;
    Mouse::OnLeftDown(20, 20, 2);
    Mouse::OnLeftUp(20, 20, 2);
    EXPECT_EQ(Selection::Count(), 2);

    // An enemy click attacks with the press's order flags.
    pick_.object = enemy_;
    Drain();
    Mouse::OnLeftDown(200, 20, 0);
    Mouse::OnLeftUp(200, 20, 0);
    const std::string sent = Drain();
    EXPECT_NE(sent.find(" 08000000"), std::string::npos) << sent;
    EXPECT_EQ(GameCursor::Shown(), GameCursor::kAttack);
}

// A box drawn towards the screen's edge stops the view scrolling unless the
// game option keeps it on; letting go always turns scrolling back on.
TEST_F(MouseActions, BoxDragStopsEdgeScrollUnlessTheOptionKeepsIt)
{
    const int32_t kept = KeyConfig::CurrentOptions().option281;
    const struct {
        int32_t option;
        bool scrollsWhileDrawing;
    } rows[] = {{0, false}, {1, true}, {2, false}};
    for (const auto& row : rows) {
        KeyConfig::CurrentOptions().option281 = row.option;
        CameraController::SetEdgeScrollEnabled(true);
        Mouse::OnLeftDown(200, 200, 0);
        Mouse::OnMove(250, 250, 0);
        EXPECT_EQ(CameraController::EdgeScrollEnabled(), row.scrollsWhileDrawing) << row.option;
        Mouse::OnLeftUp(250, 250, 0);
        EXPECT_TRUE(CameraController::EdgeScrollEnabled()) << row.option;
    }
    KeyConfig::CurrentOptions().option281 = kept;
}

// A click aims an attack only at what can take one: not a corpse, not an
// object without hit points such as an item of the other side.
TEST_F(MouseActions, AttackClicksOnlyAimAtWhatCanBeAttacked)
{
    WorldObject* crate = world_->Make(301, 2, world_->NewRole("crate", 10));
    Unit* fallen = world_->MakeUnit(202, 2, "fallen");
    ui_test::ReplicaWorld::Kill(*fallen);
    ASSERT_TRUE(crate->IsAlive());
    const struct {
        WorldObject* target;
        const char* what;
        bool attacks;
    } rows[] = {{enemy_, "a live enemy", true}, {crate, "an item of the other side", false},
                {fallen, "a dead enemy", false}};
    Selection::Add(trevok_);
    for (const auto& row : rows) {
        pick_ = {};
        pick_.object = row.target;
        Drain();
        Mouse::OnMiddleDown(200, 20, 0);
        Mouse::OnMiddleUp(200, 20, 0);
        const std::string sent = Drain();
        EXPECT_EQ(sent.find(" 08000000") != std::string::npos, row.attacks) << row.what << ":" << sent;
    }
}

// A right click on the ground with one unit selected opens the wheel for
// it and marks it as the unit the wheel and status window act on.
TEST_F(MouseActions, TheWheelForTheSingleSelectedUnitMarksIt)
{
    std::vector<std::string> calls;
    GameView::GetScreens().wheelShow = [&](float, float, int64_t) { calls.push_back("show"); };
    Selection::Add(vell_);
    pick_.hasGround = true;
    pick_.ground = {1, 0, 1};
    Mouse::OnRightDown(200, 200, 0);
    Mouse::OnRightUp(200, 200, 0);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(Selection::CommandUnit(), vell_);
    EXPECT_EQ(WorldObjectTable::CurrentObject(), vell_);
    WorldObjectTable::MakeCurrent(nullptr);
}

TEST_F(MouseActions, AttackModeConfirmAndCancel)
{
    auto& state = GameView::GetScreens();
    (void)state;
    Selection::Add(trevok_);
    Selection::SetCommandUnit(trevok_, nullptr);
    MouseMode::Set(MouseMode::kAttack);

    // Nothing valid under the pointer keeps the mode.
    Mouse::OnLeftDown(5, 5, 0);
    Mouse::OnLeftUp(5, 5, 0);
    EXPECT_EQ(MouseMode::Get(), MouseMode::kAttack);

    // A right click cancels: the command unit goes, the mode stays 2
    // without quick-weapon mode.
    Mouse::OnRightDown(5, 5, 0);
    Mouse::OnRightUp(5, 5, 0);
    EXPECT_EQ(Selection::CommandUnit(), nullptr);
    EXPECT_EQ(MouseMode::Get(), MouseMode::kAttack);

    Selection::SetQuickWeaponMode(true);
    Mouse::OnRightDown(5, 5, 0);
    Mouse::OnRightUp(5, 5, 0);
    EXPECT_EQ(MouseMode::Get(), 0);

    // A ground point confirms an attack on the location.
    MouseMode::Set(MouseMode::kAttack);
    pick_.hasGround = true;
    pick_.ground = {1, 0, 1};
    Drain();
    Mouse::OnLeftDown(5, 5, 0);
    Mouse::OnLeftUp(5, 5, 0);
    EXPECT_EQ(MouseMode::Get(), 0);
    EXPECT_EQ(Drain().substr(0, 9), " 07000000");
}

TEST_F(MouseActions, RightClickOpensTheWheelOnTheNearestSquadMember)
{
    std::vector<std::string> calls;
    GameView::GetScreens().wheelShow = [&](float x, float y, int64_t) {
        calls.push_back(std::to_string(x) + "," + std::to_string(y));
    };
    rects_[vell_] = {0, 0, 60, 60}; // overlaps trevok's; trevok's centre is nearer
    enemy_->SetSide(0);                 // a neutral object under the pointer: the squad is searched
    pick_.object = enemy_;
    Mouse::OnRightDown(21, 31, 0);
    Mouse::OnRightUp(21, 31, 0);
    EXPECT_EQ(Selection::CommandUnit(), trevok_);
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{trevok_});
    EXPECT_EQ(MouseMode::Get(), MouseMode::kWheel);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "0.125000,0.125000"); // clamped

    Mouse::OnRightDown(21, 31, 0);
    Mouse::OnRightUp(21, 31, 0); // closes it
    EXPECT_EQ(Selection::CommandUnit(), nullptr);
    EXPECT_EQ(MouseMode::Get(), 0);
}

// Without screens of its own the game view opens the session's command
// wheel for the unit, and a second right click closes it.
TEST_F(MouseActions, TheSessionsWheelOpensForTheCommandUnit)
{
    CommandWheel::Build(nullptr);
    pick_.object = trevok_;
    Mouse::OnRightDown(21, 31, 0);
    Mouse::OnRightUp(21, 31, 0);
    EXPECT_TRUE(CommandWheel::IsOpen());
    EXPECT_TRUE(GameView::WheelOpen());
    EXPECT_EQ(MouseMode::Get(), MouseMode::kWheel);
    EXPECT_NEAR(CommandWheel::Get()->PlacementX(), 0.125f, 1e-6f);
    // A left click on no segment chooses nothing: the wheel stays.
    Mouse::OnLeftDown(21, 31, 0);
    Mouse::OnLeftUp(21, 31, 0);
    EXPECT_EQ(MouseMode::Get(), MouseMode::kWheel);
    Mouse::OnRightDown(21, 31, 0);
    Mouse::OnRightUp(21, 31, 0);
    EXPECT_EQ(CommandWheel::Get()->GetState(), Wheel::kClosing);
    EXPECT_EQ(Selection::CommandUnit(), nullptr);

    // Opened again, a click on the hovered attack segment (the one in
    // front) leaves the attack to the next click: cursor mode 2.
    Mouse::OnRightDown(21, 31, 0);
    Mouse::OnRightUp(21, 31, 0);
    ASSERT_EQ(MouseMode::Get(), MouseMode::kWheel);
    WheelWidget* attack = CommandWheel::Get()->Child(0);
    ASSERT_TRUE(attack->Enabled());
    attack->SetHovered();
    Mouse::OnLeftDown(21, 31, 0);
    Mouse::OnLeftUp(21, 31, 0);
    EXPECT_EQ(CommandWheel::PendingAction(), WheelAction::kAttackLocation);
    EXPECT_EQ(MouseMode::Get(), MouseMode::kAttack);
    EXPECT_EQ(Selection::CommandUnit(), trevok_); // the attack is still its
    CommandWheel::Release();
}

TEST_F(MouseActions, RightDragTurnsTheCamera)
{
    const float heading = CameraController::Get().heading;
    Mouse::OnRightDown(300, 200, 0);
    Mouse::OnMove(330, 200, 0);
    Mouse::OnMove(340, 150, 0);
    EXPECT_FALSE(CameraController::EdgeScrollEnabled());
    Mouse::OnRightUp(340, 150, 0);
    EXPECT_TRUE(CameraController::EdgeScrollEnabled());
    EXPECT_FLOAT_EQ(CameraController::Get().heading, CameraController::Reduce(heading - 40 * 5.0f));
    EXPECT_FLOAT_EQ(CameraController::Get().pitch, 512 + 50 * 2.0f);

    // Further up than the pitch allows: it stops at straight down.
    Mouse::OnRightDown(300, 390, 0);
    Mouse::OnMove(300, 0, 0);
    Mouse::OnRightUp(300, 0, 0);
    EXPECT_FLOAT_EQ(CameraController::Get().pitch, CameraController::kMaxPitch);
}

} // namespace

namespace {

// HUD windows: a press near the bottom-right corner resizes (clamped), any
// other press moves the centre; a window that refuses ends the drag.
TEST_F(MouseButtons, WidgetDragsMoveOrResize)
{
    MouseActionMap::Build(false);
    const gfx::Viewport& v = MainCamera::Get().DeviceViewport();
    auto px = [&](float f) { return int(float(v.x) + f * float(v.width)); };
    auto py = [&](float f) { return int(float(v.y) + f * float(v.height)); };
    UiElement window;
    window.left = 0.2f;
    window.top = 0.2f;
    window.width = 0.3f;
    window.height = 0.3f;
    window.movable = window.resizable = true;
    window.locked = true;
    pick_.element = &window;

    // Near the corner: a resize, the size clamped to 0.4.
    Mouse::OnLeftDown(px(0.48f), py(0.48f), 0);
    Mouse::OnMove(px(0.95f), py(0.95f), 0);
    Mouse::OnLeftUp(px(0.95f), py(0.95f), 0);
    EXPECT_TRUE(window.locked) << "a locked window does not resize";
    EXPECT_FLOAT_EQ(window.width, 0.3f);

    // In the middle: a move, which unlocks it.
    Mouse::OnLeftDown(px(0.3f), py(0.3f), 0);
    Mouse::OnMove(px(0.6f), py(0.7f), 0);
    EXPECT_FALSE(window.locked);
    EXPECT_NEAR(window.left + window.width / 2, 0.6f, 0.01f);
    EXPECT_NEAR(window.top + window.height / 2, 0.7f, 0.01f);
    Mouse::OnLeftUp(px(0.6f), py(0.7f), 0);

    const float left = window.left;
    Mouse::OnLeftDown(px(window.left + window.width - 0.02f), py(window.top + window.height - 0.02f), 0);
    Mouse::OnMove(px(0.99f), py(0.99f), 0);
    EXPECT_FLOAT_EQ(window.width, 0.4f);
    EXPECT_FLOAT_EQ(window.height, 0.4f);
    EXPECT_EQ(window.left, left);
    Mouse::OnLeftUp(px(0.99f), py(0.99f), 0);

    window.movable = false;
    Mouse::OnLeftDown(px(window.left + 0.05f), py(window.top + 0.05f), 0);
    Mouse::OnMove(px(0.1f), py(0.1f), 0);
    EXPECT_FALSE(MouseButton::Left().Held()) << "a window that refuses ends the drag";
}

} // namespace

namespace {

// The power shot: only with the console's EPW switch on, only for the
// character "trevok" first in the selection, and only with more charge than
// the third of the maximum it costs; the cost comes off at once.
TEST_F(GameViewTest, PowerShotNeedsTheSwitchTrevokFirstAndTheCharge)
{
    const struct {
        const char* what;
        bool epw;
        const char* character;
        int32_t maximum, charge;
        bool sent;
        float chargeAfter;
    } rows[] = {
        // The cost is cut to a whole number as the server cuts it: 29.
        {"full charge", true, "trevok", 90, 90, true, 61},
        {"just over a third", true, "Trevok", 90, 31, true, 2},
        {"exactly a third", true, "trevok", 90, 30, false, 30},
        {"no maximum", true, "trevok", 0, 0, false, 0},
        {"switch off", false, "trevok", 90, 90, false, 90},
        {"another character", true, "vell", 90, 90, false, 90},
    };
    const bool wasOn = CameraCommands::epwEnabled;
    uint32_t id = 110;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        script::Role& role = world_->NewRole(row.character, 0, ui_test::ReplicaWorld::kArmed);
        role.shields = row.maximum;
        Unit* unit = world_->Make<Unit>(id++, 1, role);  // its charge starts full
        ASSERT_NE(unit, nullptr);
        unit->ReduceShield(row.maximum - row.charge);
        ASSERT_EQ(unit->Shield(), float(row.charge));
        Selection::RemoveAll();
        Selection::Add(unit);
        CameraCommands::epwEnabled = row.epw;
        Drain();
        MouseAction::LaunchProjectile(MouseButton::Left());
        const std::string sent = Drain();
        EXPECT_EQ(sent.rfind(" 24000000", 0) == 0, row.sent) << sent;  // request 36
        EXPECT_EQ(unit->Shield(), row.chargeAfter);
    }
    Selection::RemoveAll();
    CameraCommands::epwEnabled = wasOn;
}

} // namespace
