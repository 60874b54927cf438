#include "ui_fixture.h"

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
    Selection::Add(trevok_.get());
    Selection::Add(trevok_.get());
    EXPECT_EQ(Selection::Count(), 1);
    EXPECT_EQ(trevok_->RefCount(), before + 1);
    Selection::Toggle(trevok_.get());
    EXPECT_EQ(trevok_->RefCount(), before);
    EXPECT_EQ(Drain(), ""); // a toggle sends no deselect message
}

TEST_F(SelectionTest, SelectOnlyBeyondTheSelectableLeavesTheSelection)
{
    tovan_->selectable_ = false;
    Selection::Add(vell_.get());
    EXPECT_EQ(Selection::SelectOnly(3), nullptr);
    EXPECT_TRUE(Selection::Contains(vell_.get()));
    EXPECT_EQ(Selection::SelectOnly(2), vell_.get());
    EXPECT_EQ(Selection::SelectOnly(1), trevok_.get());
    EXPECT_EQ(Selection::Count(), 1);
}

TEST_F(SelectionTest, NextAndPreviousWalkTheSquadWrapping)
{
    vell_->selectable_ = false;
    struct Row {
        UiUnit* start;
        bool next;
        UiUnit* expected;
    } rows[] = {
        {nullptr, true, tovan_.get()},  // from the head, the one after it
        {trevok_.get(), true, tovan_.get()},
        {tovan_.get(), true, trevok_.get()},
        {trevok_.get(), false, tovan_.get()},
        {tovan_.get(), false, trevok_.get()},
    };
    for (const Row& r : rows) {
        Selection::RemoveAll();
        if (r.start)
            Selection::Add(r.start);
        UiUnit* got = r.next ? Selection::SelectNext() : Selection::SelectPrevious();
        EXPECT_EQ(got, r.expected);
        EXPECT_EQ(Selection::Count(), 1);
        EXPECT_TRUE(Selection::Contains(r.expected));
    }
    for (UiUnit* u : Squad::Members())
        u->selectable_ = false;
    Selection::RemoveAll();
    Selection::Add(trevok_.get());
    EXPECT_EQ(Selection::SelectNext(), nullptr);
    EXPECT_TRUE(Selection::Contains(trevok_.get()));
}

TEST_F(SelectionTest, RemovingTheLastLockedMemberUnlocksTheCamera)
{
    Selection::Add(trevok_.get());
    CameraController::LockOnSelection();
    Selection::Add(vell_.get());
    EXPECT_TRUE(CameraController::IsTracked(vell_.get()));
    Selection::Remove(trevok_.get());
    EXPECT_TRUE(CameraController::IsTracking());
    Selection::Remove(vell_.get());
    EXPECT_FALSE(CameraController::IsTracking());
}

TEST_F(SelectionTest, DeselectingAHighlightedMoverSendsItsMotionState)
{
    Selection::Add(trevok_.get());
    trevok_->highlighted_ = true;
    trevok_->stateFlags_ = UiUnit::kStateDirectControl;
    Selection::Remove(trevok_.get());
    EXPECT_FALSE(trevok_->highlighted_);
    EXPECT_EQ(trevok_->stateFlags_, 0u);
    const std::string sent = Drain();
    EXPECT_EQ(sent.substr(0, 9), " 2a000000");
    EXPECT_EQ(sent.size(), 1u + 2 * 56);
}

TEST_F(SelectionTest, MembershipChangesEndQuickWeaponMode)
{
    Selection::SetQuickWeaponMode(true);
    MouseMode::Set(MouseMode::kAttack);
    Selection::Add(trevok_.get());
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
        Selection::Add(trevok_.get());
        trevok_->groupOrderExcluded_ = r.onlyExcluded;
        trevok_->orders_ = {{Orders::kOrderAttackTarget, false}};
        Selection::OrderMove(r.point, 0xFFFFFFFFu, GameView::OrderFlags(r.modifiers));
        const std::string sent = Drain();
        EXPECT_EQ(sent.substr(0, std::string(r.type).size()), r.type);
        if (!*r.type) {
            EXPECT_EQ(sent, "");
        }
        EXPECT_EQ(trevok_->orders_.empty(), !r.keepsOrders);
        EXPECT_EQ(view_.sounds == std::vector<int>{1}, r.sound);
    }
}

TEST_F(SelectionTest, ShiftMovesEachMemberAlone)
{
    Selection::Add(trevok_.get());
    Selection::Add(vell_.get());
    vell_->hasNavigation_ = false;
    view_.modifiers = 1;
    Selection::OrderMove({1, 0, 1}, 0xFFFFFFFFu, 0);
    const std::string sent = Drain();
    EXPECT_EQ(sent.size(), 1u + 2 * 24) << sent; // one request, trevok alone
    EXPECT_EQ(view_.sounds, std::vector<int>{1});
}

TEST_F(SelectionTest, ViewUnitTakesTheHeadingOfItsOrientation)
{
    vell_->orientation_ = Quaternion::FromAxisAngle({0, 1, 0}, float(M_PI / 2));
    Selection::SetViewUnit(vell_.get());
    EXPECT_NEAR(Selection::ViewHeading(), 1024.0f, 0.01f);
    EXPECT_TRUE(vell_->highlighted_);
    EXPECT_TRUE(vell_->stateFlags_ & UiUnit::kStateDirectControl);
    Selection::SetViewUnit(trevok_.get());
    EXPECT_FALSE(vell_->highlighted_);
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

    Selection::Add(trevok_.get());
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
    Selection::Add(trevok_.get());
    CameraController::LockOnSelection();
    Selection::SetCommandUnit(trevok_.get(), nullptr);
    Selection::SetViewUnit(trevok_.get());
    pick_.object = trevok_.get();
    Mouse::OnLeftDown(10, 10, 0);
    EXPECT_EQ(trevok_->RefCount(), base + 5);
    GameView::EndSession();
    EXPECT_EQ(trevok_->RefCount(), base);
    EXPECT_EQ(Selection::Count(), 0);
    EXPECT_FALSE(CameraController::IsTracking());
    EXPECT_FALSE(MouseButton::Left().Held());
}

} // namespace
