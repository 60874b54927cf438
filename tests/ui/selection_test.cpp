#include "ui_fixture.h"

#include "ui/hud_view.h"
#include "world/level_fixture.h"

#include <cmath>

namespace {

using uitest::GameViewTest;

class SelectionTest : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        leveltest::AddFloor(source_, 0, 0, 0, 4, 2.0f);
        level_ = leveltest::MakeLevel(source_);
        Level::Current() = level_.get();
    }
    void TearDown() override
    {
        GameViewTest::TearDown();
        Level::Current() = nullptr;
    }
    CollisionSource source_;
    std::unique_ptr<Level> level_;
};

TEST_F(SelectionTest, AMemberAddedTwiceHoldsOneReference)
{
    const int32_t before = trevok_->RefCount();
    Selection::Add(trevok_);
    Selection::Add(trevok_);
    EXPECT_EQ(Selection::Count(), 1);
    EXPECT_EQ(trevok_->RefCount(), before + 1);
    Selection::Toggle(trevok_);
    EXPECT_EQ(trevok_->RefCount(), before);
    EXPECT_EQ(Drain(), ""); // a toggle sends no deselect message
}

TEST_F(SelectionTest, SelectOnlyBeyondTheSelectableLeavesTheSelection)
{
    ui_test::ReplicaWorld::Kill(*tovan_);
    Selection::Add(vell_);
    EXPECT_EQ(Selection::SelectOnly(3), nullptr);
    EXPECT_TRUE(Selection::Contains(vell_));
    EXPECT_EQ(Selection::SelectOnly(2), vell_);
    EXPECT_EQ(Selection::SelectOnly(1), trevok_);
    EXPECT_EQ(Selection::Count(), 1);
}

TEST_F(SelectionTest, NextAndPreviousWalkTheSquadWrapping)
{
    ui_test::ReplicaWorld::Kill(*vell_);
    struct Row {
        WorldObject* start;
        bool next;
        WorldObject* expected;
    } rows[] = {
        {nullptr, true, tovan_},  // from the head, the one after it
        {trevok_, true, tovan_},
        {tovan_, true, trevok_},
        {trevok_, false, tovan_},
        {tovan_, false, trevok_},
    };
    for (const Row& r : rows) {
        Selection::RemoveAll();
        if (r.start)
            Selection::Add(r.start);
        WorldObject* got = r.next ? Selection::SelectNext() : Selection::SelectPrevious();
        EXPECT_EQ(got, r.expected);
        EXPECT_EQ(Selection::Count(), 1);
        EXPECT_TRUE(Selection::Contains(r.expected));
    }
    ui_test::ReplicaWorld::Kill(*trevok_);
    ui_test::ReplicaWorld::Kill(*tovan_);
    Selection::RemoveAll();
    Selection::Add(trevok_);
    EXPECT_EQ(Selection::SelectNext(), nullptr);
    EXPECT_TRUE(Selection::Contains(trevok_));
}

TEST_F(SelectionTest, RemovingTheLastLockedMemberUnlocksTheCamera)
{
    Selection::Add(trevok_);
    CameraController::LockOnSelection();
    Selection::Add(vell_);
    EXPECT_TRUE(CameraController::IsTracked(vell_));
    Selection::Remove(trevok_);
    EXPECT_TRUE(CameraController::IsTracking());
    Selection::Remove(vell_);
    EXPECT_FALSE(CameraController::IsTracking());
}

TEST_F(SelectionTest, DeselectingAHighlightedMoverSendsItsMotionState)
{
    Selection::Add(trevok_);
    trevok_->SetHighlight(true);
    trevok_->SetDirectControl(true);
    Selection::Remove(trevok_);
    EXPECT_FALSE(trevok_->IsHighlighted());
    EXPECT_EQ(trevok_->StateFlags(), 0u);
    const std::string sent = Drain();
    EXPECT_EQ(sent.substr(0, 9), " 2a000000");
    EXPECT_EQ(sent.size(), 1u + 2 * 56);
}

TEST_F(SelectionTest, MembershipChangesEndQuickWeaponMode)
{
    Selection::SetQuickWeaponMode(true);
    MouseMode::Set(MouseMode::kAttack);
    Selection::Add(trevok_);
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_EQ(MouseMode::Get(), 0);
}

TEST_F(SelectionTest, MoveOrders)
{
    struct Row {
        const char* name;
        Vec3 point;
        uint32_t modifiers;
        bool onlyExcluded;
        const char* type; // first word of the request, empty for none
        bool keepsOrders;
        bool sound;
    } rows[] = {
        {"plain", {1, 0, 1}, 0, false, " 05000000", false, true},
        {"ctrl", {1, 0, 1}, 2, false, " 1e000000", true, true},
        {"outside every polygon", {100, 0, 100}, 0, false, "", true, false},
        {"only excluded members", {1, 0, 1}, 0, true, "", true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Selection::RemoveAll();
        Drain();
        view_.sounds.clear();
        view_.modifiers = r.modifiers;
        Selection::Add(trevok_);
        trevok_->SetStaticPlacement(r.onlyExcluded);
        ui_test::ReplicaWorld::SetOrders(*trevok_, {LocalOrder::kAttackTarget});
        Selection::OrderMove(r.point, 0xFFFFFFFFu, GameView::OrderFlags(r.modifiers));
        const std::string sent = Drain();
        EXPECT_EQ(sent.substr(0, std::string(r.type).size()), r.type);
        if (!*r.type) {
            EXPECT_EQ(sent, "");
        }
        EXPECT_EQ(trevok_->Orders().empty(), !r.keepsOrders);
        EXPECT_EQ(view_.sounds == std::vector<int>{1}, r.sound);
    }
}

TEST_F(SelectionTest, ShiftMovesEachMemberAlone)
{
    // An item in the selection has no navigation: it is left out.
    WorldObject* crate = world_->Make(301, 0, world_->NewRole("crate", 10));
    Selection::Add(trevok_);
    Selection::Add(crate);
    view_.modifiers = 1;
    Selection::OrderMove({1, 0, 1}, 0xFFFFFFFFu, 0);
    const std::string sent = Drain();
    EXPECT_EQ(sent.size(), 1u + 2 * 24) << sent; // one request, trevok alone
    EXPECT_EQ(view_.sounds, std::vector<int>{1});
}

TEST_F(SelectionTest, ViewUnitTakesTheHeadingOfItsOrientation)
{
    vell_->SetOrientation(Quaternion::FromAxisAngle({0, 1, 0}, float(M_PI / 2)));
    // Left steering from an earlier turn under control: the new view starts still.
    vell_->SetViewSteering(1);
    Selection::SetViewUnit(vell_);
    EXPECT_NEAR(Selection::ViewHeading(), 1024.0f, 0.01f);
    EXPECT_TRUE(vell_->IsHighlighted());
    EXPECT_TRUE(vell_->StateFlags() & WorldObject::kDirectControl);
    EXPECT_EQ(vell_->ViewSteering(), 0);
    Selection::SetViewUnit(trevok_);
    EXPECT_FALSE(vell_->IsHighlighted());
    EXPECT_EQ(Drain().substr(0, 9), " 2a000000");
}

TEST_F(SelectionTest, EscapeClearsThenOpensAndClosesTheMenu)
{
    auto& screens = GameView::GetScreens();
    bool menuOpen = false, recon = true;
    std::vector<std::string> calls;
    screens.menuOpen = [&] { return menuOpen; };
    screens.menuBeginClose = [&] { calls.push_back("close"); menuOpen = false; };
    screens.openInGameMenu = [&] { calls.push_back("open"); menuOpen = true; };
    screens.reconViewOn = [&] { return recon; };
    screens.reconViewToggle = [&] { calls.push_back("recon"); recon = !recon; };

    Selection::Add(trevok_);
    Selection::HandleEscape();
    EXPECT_EQ(Selection::Count(), 0);
    EXPECT_TRUE(calls.empty());

    Selection::HandleEscape();
    EXPECT_EQ(calls, (std::vector<std::string>{"recon", "open"}));
    EXPECT_EQ(MouseMode::Get(), MouseMode::kMenu);
    EXPECT_FALSE(CameraController::EdgeScrollEnabled());

    Selection::HandleEscape();
    EXPECT_EQ(calls.back(), "close");
    EXPECT_EQ(MouseMode::Get(), 0);
    EXPECT_TRUE(CameraController::EdgeScrollEnabled());
}

} // namespace

namespace {

// The end of a session leaves no reference behind.
TEST_F(SelectionTest, SessionEndDropsEveryHold)
{
    const int32_t base = trevok_->RefCount();
    Selection::Add(trevok_);
    CameraController::LockOnSelection();
    Selection::SetCommandUnit(trevok_, nullptr);
    Selection::SetViewUnit(trevok_);
    pick_.object = trevok_;
    Mouse::OnLeftDown(10, 10, 0);
    EXPECT_EQ(trevok_->RefCount(), base + 5);
    GameView::EndSession();
    EXPECT_EQ(trevok_->RefCount(), base);
    EXPECT_EQ(Selection::Count(), 0);
    EXPECT_FALSE(CameraController::IsTracking());
    EXPECT_FALSE(MouseButton::Left().Held());
}

TEST_F(SelectionTest, LevelStopDropsAHeldPress)
{
    const int32_t base = trevok_->RefCount();
    MouseMode::Set(MouseMode::kAttack);
    pick_.object = trevok_;
    Mouse::OnLeftDown(10, 10, 0);
    ASSERT_TRUE(MouseButton::Left().Held());
    ASSERT_GT(trevok_->RefCount(), base);
    GameView::LevelStopping();
    EXPECT_EQ(trevok_->RefCount(), base);
    EXPECT_FALSE(MouseButton::Left().Held());
    EXPECT_EQ(MouseMode::Get(), MouseMode::kStandard);
}

} // namespace

namespace {

// The HUD's default view shows the real selection and the client objects;
// Tab steps through the squad with the camera's focus on the member.
TEST_F(SelectionTest, TheDefaultViewAndTab)
{
    Selection::Add(vell_);
    Selection::Add(tovan_);
    const auto selected = HudView::Current().Selected();
    EXPECT_EQ(std::vector<WorldObject*>(selected.begin(), selected.end()), Selection::Members());
    EXPECT_EQ(HudView::Current().Objects().size(), WorldObjectTable::Count());

    tovan_->SetPosition({3, 0, 1});
    Selection::RemoveAll();
    Selection::Add(vell_);
    EXPECT_EQ(Selection::SelectNextSquadMember(false), tovan_);
    EXPECT_EQ(CameraController::Get().focus, (Vec3{3, 0, 1}));
    EXPECT_EQ(Selection::SelectNextSquadMember(true), vell_);
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{vell_});
}

} // namespace
