#include "ui/selection.h"
#include "ui/unit_keys.h"

#include "fake_view.h"
#include "console/screen_message.h"
#include "console/text_console.h"
#include "Veapi/camera.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/recon_view.h"
#include "ui/ui_placeholders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace ui_test {
namespace {

// The unit keys over real replicas: their orders are recorded as the
// request words they send, and what the units say as screen messages.
class UnitKeysTest : public ::testing::Test {
protected:
    using Words = std::vector<uint32_t>;

    void SetUp() override
    {
        ClientServices::Get().sendRequest = [this](const void* block, uint32_t size, bool) {
            Words words(size / 4);
            std::memcpy(words.data(), block, words.size() * 4);
            sent_.push_back(words);
            return true;
        };
        ScreenMessages::Clear();
    }
    void TearDown() override
    {
        Selection::EndQuickWeapon();
        ReconView::Toggle(false);
        view_.SetCursorMode(0);
        ScreenMessages::Clear();
    }
    // The texts the units showed beside themselves.
    static std::vector<std::string> Said()
    {
        std::vector<std::string> out;
        for (const auto& message : ScreenMessages::All()) {
            EXPECT_EQ(message->kind, 1);
            out.push_back(message->text);
        }
        return out;
    }
    // A squad unit holding weapon `held`, carrying weapons and stacks of the
    // listed types (item ids from `firstItem` up).
    Unit* Armed(uint32_t id, const char* name, int32_t held, std::initializer_list<int32_t> weapons,
                std::initializer_list<int32_t> stacks, int32_t firstItem)
    {
        Unit* unit = world_.MakeUnit(id, 1, name, {}, held);
        int32_t item = firstItem;
        for (int32_t type : weapons)
            ReplicaWorld::Carry(*unit, ItemKind::kWeapon, type, item++);
        for (int32_t type : stacks)
            ReplicaWorld::Carry(*unit, ItemKind::kAmmoStack, type, item++);
        return unit;
    }

    ReplicaWorld world_;
    FakeView view_;
    std::vector<Words> sent_;
};

TEST_F(UnitKeysTest, QuickWeaponPerUnit)
{
    Unit* ready = Armed(1, "Vell", 5, {5, 0}, {3, 1}, 10);
    Unit* noStack = Armed(2, "%s%s", 6, {0}, {4}, 20);
    Unit* noWeapon = Armed(3, "Sokra", 7, {}, {1}, 30);
    Unit* unarmed = Armed(4, "Tovan", ReplicaWorld::kNoWeapon, {0}, {1}, 40);
    ASSERT_TRUE(ready && noStack && noWeapon && unarmed);
    const int32_t readyAmmo = ready->AmmoType();
    view_.selected = {ready, noStack, noWeapon, unarmed};

    Selection::ReadyQuickWeapon();
    EXPECT_TRUE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 2);
    // Orders to equip the carried weapon of type 0 (slot 0) and load type 1.
    const std::vector<Words> expected{{12, 1, 11, 0}, {22, 1, 1}, {12, 4, 40, 0}, {22, 4, 1}};
    EXPECT_EQ(sent_, expected);
    EXPECT_TRUE(ready->Readied().readied);
    EXPECT_EQ(ready->Readied().previousWeapon, 5);
    EXPECT_EQ(ready->Readied().previousAmmo, readyAmmo);
    // The weapon without its stack, and no weapon of type 0: each says so
    // (a name from data is never a format) and keeps what it holds.
    EXPECT_FALSE(noStack->Readied().readied);
    EXPECT_FALSE(noWeapon->Readied().readied);
    const std::vector<std::string> said = Said();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], std::string("%s%s: ") + TextConsole::Text(Selection::kNoAmmoText));
    EXPECT_EQ(said[1], std::string("Sokra: ") + TextConsole::Text(Selection::kNoWeaponText));
    // No weapon before: remembered as weapon 0 with ammunition 2.
    EXPECT_EQ(unarmed->Readied().previousWeapon, 0);
    EXPECT_EQ(unarmed->Readied().previousAmmo, 2);

    // A second press does nothing while the mode is on.
    sent_.clear();
    Selection::ReadyQuickWeapon();
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(Said().size(), 2u);

    // The server's answer: the quick weapon is held. The end of the mode
    // gives the previous weapon back.
    ready->SetWeaponRole(0);
    sent_.clear();
    Selection::EndQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 0);
    EXPECT_FALSE(ready->Readied().readied);
    ASSERT_FALSE(sent_.empty());
    EXPECT_EQ(sent_[0], (Words{12, 1, 10, 0}));
}

TEST_F(UnitKeysTest, QuickWeaponNeedsTheNormalCursorAndAStack)
{
    Unit* unit = Armed(1, "Vell", 5, {0}, {}, 10);
    view_.selected = {unit};
    Selection::ReadyQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 0);
    EXPECT_TRUE(sent_.empty());
    ReplicaWorld::Carry(*unit, ItemKind::kAmmoStack, 1, 12);
    view_.SetCursorMode(3);
    Selection::ReadyQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_TRUE(sent_.empty());
}

TEST_F(UnitKeysTest, ItemHotkeyUsesTheFirstDeployableOfItsVariant)
{
    Unit* a = Armed(1, "Vell", 5, {}, {}, 10);
    Unit* b = Armed(2, "Tovan", 5, {}, {}, 20);
    ReplicaWorld::Carry(*a, ItemKind::kDeployable, 2, 11);
    ReplicaWorld::Carry(*a, ItemKind::kDeployable, 0, 12);
    ReplicaWorld::Carry(*b, ItemKind::kDeployable, 0, 21);
    view_.selected = {a, b};
    Selection::ItemHotkey(2);
    view_.modifiers = kModifierCtrl;
    Selection::ItemHotkey(0);
    const std::vector<Words> expected{{14, 1, 11}, {15, 1, 12}, {15, 2, 21}};
    EXPECT_EQ(sent_, expected);
}

TEST(ReconViewTurn, PitchStopsAndHeadingWraps)
{
    struct Step {
        float dx, dy, sensitivity;
        float heading, pitch;
    };
    const Step steps[] = {
        {0, 300, 2, 0, 600},    {0, 100, 2, 0, 682},    {0, 1000, 2, 0, 682},   {0, -400, 2, 0, -118},
        {0, 200, -2, 0, -341},  {4000, 0, 2, 4000, -341}, {100, 0, 2, 4, -341},  {-10, 0, 2, 4090, -341},
        {NAN, 5, 2, 4090, -341}, {8192 + 6, 0, 2, 0, -341},
    };
    ReconView::SetAngles(0, 0);
    for (const Step& s : steps) {
        ReconView::Turn(s.dx, s.dy, s.sensitivity);
        EXPECT_NEAR(ReconView::Heading(), s.heading, 1e-3) << s.dx << " " << s.dy;
        EXPECT_FLOAT_EQ(ReconView::Pitch(), s.pitch) << s.dx << " " << s.dy;
        EXPECT_GE(ReconView::Heading(), 0);
        EXPECT_LT(ReconView::Heading(), 4096);
    }
}

TEST_F(UnitKeysTest, ReconViewRidesTheLeadUnit)
{
    struct MovingView : FakeView {
        void PointerMotion(float& x, float& y) override
        {
            x = dx;
            y = dy;
        }
        float dx = 0, dy = 0;
    } view;
    std::vector<bool> relative; // what the window's pointer was told
    GameView::GetHooks().relativePointer = [&](bool on) { relative.push_back(on); };
    Unit* lead = world_.MakeUnit(1, 1, "Vell", {2, 0, 3});
    lead->SetOrientation(YawOrientation(200));
    view.objects = {lead};
    view.selected = {lead};
    ReconView::Toggle(true);
    ASSERT_TRUE(ReconView::IsActive());
    EXPECT_EQ(view.CursorMode(), 5);
    EXPECT_TRUE(lead->StateFlags() & WorldObject::kDirectControl);
    EXPECT_NEAR(ReconView::Heading(), 200, 1e-2);
    EXPECT_FLOAT_EQ(ReconView::Pitch(), 0);
    view.dx = 50;
    view.dy = 400;
    ReconView::Update();
    EXPECT_NEAR(ReconView::Heading(), 250, 1e-2);
    EXPECT_FLOAT_EQ(ReconView::Pitch(), 682);
    EXPECT_NEAR(HeadingOf(lead->Orientation()), 250, 0.1);
    // The main camera rides 20 behind the unit's head, with the wide view.
    const MainCamera& camera = MainCamera::Get();
    EXPECT_EQ(camera.focus_, (Vec3{2, -1.5f, 3}));
    EXPECT_EQ(camera.distance_, 20.0f);
    EXPECT_EQ(camera.requestedWidth_, 1.0f);
    EXPECT_NEAR((camera.Position() - camera.focus_).Length(), 20.0f, 1e-3f);
    // While it walks it reports its motion state every 0.8 s of game time.
    MotionRecord record;
    record.position = lead->Position();
    record.seconds = ReplicaWorld::kSeconds;
    lead->ApplyMoving({2, 0, 9}, record, {2, 0, 9});
    const int64_t tick = AppTime::TicksPerSecond() / 10;
    size_t reports = 0;
    for (int step = 1; step <= 20; ++step) { // two seconds
        sent_.clear();
        AppTime::SetGameTime(AppTime::GameNow() + tick);
        ReconView::Update();
        reports += sent_.size();
        for (const Words& words : sent_)
            EXPECT_EQ(words[0], 42u);
    }
    EXPECT_EQ(reports, 2u);

    // The selection emptied: the view ends and control goes back, with the
    // unit's motion state sent.
    view.selected.clear();
    sent_.clear();
    ReconView::Update();
    EXPECT_FALSE(ReconView::IsActive());
    EXPECT_FALSE(lead->StateFlags() & WorldObject::kDirectControl);
    EXPECT_FALSE(lead->IsHighlighted());
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0][0], 42u);
    EXPECT_EQ(view.CursorMode(), 0);
    EXPECT_EQ(camera.requestedWidth_, CameraController::kPlayViewWidth);
    EXPECT_EQ(relative, (std::vector<bool>{true, false}));
    GameView::GetHooks().relativePointer = nullptr;
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// The battle music follows the enemy team's attacks: only a live object of
// team 2 that attacks counts.
TEST_F(UnitKeysTest, BattleIsUnderwayWhileAnEnemyAttacks)
{
    EXPECT_FALSE(Game::IsBattleUnderway()) << "nobody";
    Unit* own = world_.MakeUnit(1, ReplicaWorld::kOwnSide, "trevok");
    Unit* enemy = world_.MakeUnit(2, Game::kEnemyTeam, "sentry");
    Unit* third = world_.MakeUnit(3, 3, "stranger");
    EXPECT_FALSE(Game::IsBattleUnderway()) << "nobody attacks";
    own->AttackTarget(enemy, 0, false, false);
    third->AttackTarget(own, 0, false, false);
    EXPECT_FALSE(Game::IsBattleUnderway()) << "only other teams attack";
    enemy->AttackTarget(own, 0, false, false);
    EXPECT_TRUE(Game::IsBattleUnderway()) << "the enemy attacks";
    ReplicaWorld::Kill(*enemy);
    EXPECT_FALSE(Game::IsBattleUnderway()) << "the attacker is dead";
}

} // namespace
} // namespace ui_test
