#include "ui/selection.h"
#include "ui/unit_keys.h"

#include "fake_units.h"
#include "ui/recon_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace ui_test {
namespace {

// A unit with a bag of weapon and ammunition types.
struct ArmedUnit : FakeUnit {
    using FakeUnit::FakeUnit;
    int WeaponType() const override { return weaponType; }
    int AmmoType() const override { return ammoType; }
    bool EquipWeaponOfType(int type) override
    {
        if (!weapons.count(type))
            return false;
        weaponType = type;
        return true;
    }
    bool LoadAmmoOfType(int type) override
    {
        if (!stacks.count(type))
            return false;
        ammoType = type;
        return true;
    }
    void UseHotkeyItem(int hotkey, bool queued) override { used.push_back({hotkey, queued}); }
    void ShowText(const char* text) override { said.push_back(text); }
    void SetDirectControl(bool on) override { controlled = on; }
    void TurnTo(float heading) override { turnedTo = heading; }
    float HeadingSteps() const override { return facing; }

    std::set<int> weapons, stacks;
    int weaponType = -1, ammoType = -1;
    std::vector<std::pair<int, bool>> used;
    std::vector<std::string> said;
    bool controlled = false;
    float turnedTo = -1, facing = 0;
};

class UnitKeysTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        Selection::EndQuickWeapon();
        ReconView::Toggle(false);
        view_.SetCursorMode(0);
    }
    FakeView view_;
};

TEST_F(UnitKeysTest, QuickWeaponPerUnit)
{
    ArmedUnit ready(1), noStack(2), noWeapon(3), unarmed(4);
    ready.role = "Vell";
    ready.weapons = {0, 5};
    ready.stacks = {1, 3};
    ready.weaponType = 5;
    ready.ammoType = 3;
    noStack.role = "%s%s";
    noStack.weapons = {0, 6};
    noStack.stacks = {4};
    noStack.weaponType = 6;
    noStack.ammoType = 4;
    noWeapon.role = "Sokra";
    noWeapon.weaponType = 7;
    unarmed.weapons = {0};
    unarmed.stacks = {1};
    view_.selected = {&ready, &noStack, &noWeapon, &unarmed};

    Selection::ReadyQuickWeapon();
    EXPECT_TRUE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 2);
    EXPECT_EQ(ready.weaponType, 0);
    EXPECT_EQ(ready.ammoType, 1);
    EXPECT_TRUE(ready.quickWeapon.on);
    // The weapon without its stack: previous weapon and ammunition back.
    EXPECT_EQ(noStack.weaponType, 6);
    EXPECT_EQ(noStack.ammoType, 4);
    EXPECT_FALSE(noStack.quickWeapon.on);
    ASSERT_EQ(noStack.said.size(), 1u);
    EXPECT_EQ(noStack.said[0].rfind("%s%s: ", 0), 0u) << noStack.said[0];
    ASSERT_EQ(noWeapon.said.size(), 1u);
    EXPECT_EQ(noWeapon.said[0].rfind("Sokra: ", 0), 0u);
    EXPECT_EQ(noWeapon.weaponType, 7);
    // No weapon before: remembered as weapon 0 with ammunition 2.
    EXPECT_EQ(unarmed.quickWeapon.weaponType, 0);
    EXPECT_EQ(unarmed.quickWeapon.ammoType, 2);

    // A second press does nothing while the mode is on.
    ready.weaponType = 5;
    Selection::ReadyQuickWeapon();
    EXPECT_EQ(ready.weaponType, 5);
    EXPECT_EQ(noWeapon.said.size(), 1u);

    Selection::EndQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 0);
    EXPECT_EQ(ready.weaponType, 5);
    EXPECT_EQ(ready.ammoType, 3);
    EXPECT_FALSE(ready.quickWeapon.on);
}

TEST_F(UnitKeysTest, QuickWeaponNeedsTheNormalCursorAndAStack)
{
    ArmedUnit unit(1);
    unit.weapons = {0};
    view_.selected = {&unit};
    Selection::ReadyQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
    EXPECT_EQ(view_.CursorMode(), 0);
    unit.stacks = {1};
    view_.SetCursorMode(3);
    Selection::ReadyQuickWeapon();
    EXPECT_FALSE(Selection::QuickWeaponMode());
}

TEST_F(UnitKeysTest, ItemHotkeyReachesEverySelectedUnit)
{
    ArmedUnit a(1), b(2);
    view_.selected = {&a, &b};
    Selection::ItemHotkey(2);
    view_.modifiers = kModifierCtrl;
    Selection::ItemHotkey(0);
    const std::vector<std::pair<int, bool>> expected{{2, false}, {0, true}};
    EXPECT_EQ(a.used, expected);
    EXPECT_EQ(b.used, expected);
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
    ArmedUnit lead(1);
    lead.facing = 100;
    view.objects = {&lead};
    view.selected = {&lead};
    ReconView::Toggle(true);
    ASSERT_TRUE(ReconView::IsActive());
    EXPECT_EQ(view.CursorMode(), 5);
    EXPECT_TRUE(lead.controlled);
    EXPECT_FLOAT_EQ(ReconView::Heading(), 200);
    EXPECT_FLOAT_EQ(ReconView::Pitch(), 0);
    view.dx = 50;
    view.dy = 400;
    ReconView::Update();
    EXPECT_FLOAT_EQ(ReconView::Heading(), 250);
    EXPECT_FLOAT_EQ(ReconView::Pitch(), 682);
    EXPECT_FLOAT_EQ(lead.turnedTo, 250);
    // The selection emptied: the view ends and control goes back.
    view.selected.clear();
    ReconView::Update();
    EXPECT_FALSE(ReconView::IsActive());
    EXPECT_FALSE(lead.controlled);
    EXPECT_EQ(view.CursorMode(), 0);
}

} // namespace
} // namespace ui_test
