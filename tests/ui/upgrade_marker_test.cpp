// The upgrade screen's slot markers: where each goes on a slot, which items
// carry them, and what the device puts on the screen for them.
#include "ui/upgrade_screen.h"

#include "Veapi/display_fixture.h"
#include "effects/frame_pass.h"
#include "fake_view.h"
#include "objects/inventory.h"
#include "objects/inventory_display.h"
#include "script/records.h"
#include "ui/mouse.h"
#include "ui/wheel.h"

#include <gtest/gtest.h>

namespace ui_test {
namespace {

bool Same(const SpriteRect& a, const SpriteRect& b)
{
    return a.x0 == b.x0 && a.x1 == b.x1 && a.y0 == b.y0 && a.y1 == b.y1;
}
bool Same(const TextureRect& a, const TextureRect& b)
{
    return a.tu0 == b.tu0 && a.tu1 == b.tu1 && a.tv0 == b.tv0 && a.tv1 == b.tv1;
}

TEST(UpgradeMarkers, SitAtTheSlotsTopRight)
{
    const UpgradeHotSpot::Rect slot{170, 90, 290, 200};
    using UpgradeScreen::SlotMarker;
    const struct {
        const char* what;
        bool mayUse, loaded;
        int group;
        std::vector<SlotMarker> markers;
    } rows[] = {
        {"plain", true, false, -1, {}},
        {"refused", false, false, -1, {{{267, 287, 91, 113}, UpgradeScreen::kCannotUseMarker}}},
        {"loaded stack of group 2", true, true, 2,
         {{{267, 289, 91, 111}, UpgradeScreen::kLoadedMarker},
          {{267, 289, 91, 111}, {768.0f / 1024, 830.0f / 1024, 0.375f, 0.4473f}}}},
        {"a stack the weapon takes", true, false, 0, {{{267, 289, 91, 111}, {0.625f, 702.0f / 1024, 0.375f, 0.4473f}}}},
    };
    for (const auto& row : rows) {
        const auto got = UpgradeScreen::MarkersFor(slot, row.mayUse, row.loaded, row.group);
        ASSERT_EQ(got.size(), row.markers.size()) << row.what;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(Same(got[i].screen, row.markers[i].screen)) << row.what << " " << i;
            EXPECT_TRUE(Same(got[i].texture, row.markers[i].texture)) << row.what << " " << i;
        }
    }
}

// Slot w1 of a character whose role may not use its weapon: the marker's
// pixels are drawn, the slot's others are not.
using displaytest::DisplayTest;

TEST_F(DisplayTest, ACannotUseMarkerLandsOnItsSlot)
{
    Start(640, 480, 32);
    FakeView view;
    ReplicaWorld world;
    script::Role& body = world.NewRole("trevok");
    body.limit = 4;
    Unit* unit = world.Make<Unit>(1, 1, body);
    ReplicaWorld::Carry(*unit, ItemKind::kWeapon, 3, 1).roleLimit = 4;
    // The slot's hot spot as a build over the sample layout would leave it.
    UpgradeScreen::Build();
    auto* w1 = const_cast<UpgradeHotSpot*>(UpgradeScreen::Slot(0, 0));
    ASSERT_NE(w1, nullptr);
    w1->rect = {170, 90, 290, 200};
    UpgradeScreen::Show(unit);
    ASSERT_NE(InventoryDisplay::Shown(), nullptr);
    ASSERT_TRUE(Display::BeginScene());
    Display::ClearColour() = 0xFF000000;
    Display::Clear();
    Display::EndFrame(nullptr, [] {
        SpriteBatch batch(SpriteBatch::DeviceSink());
        batch.SetScreen(640, 480);
        for (int row = 0; row < 3; ++row)
            UpgradeScreen::DrawSlotMarkers(row, batch);
        batch.Flush();
    });
    EXPECT_EQ(ScreenPixel(268, 92), 0xFFFFFFu);
    EXPECT_EQ(ScreenPixel(286, 112), 0xFFFFFFu);
    EXPECT_EQ(ScreenPixel(265, 100), 0u) << "left of the marker";
    EXPECT_EQ(ScreenPixel(280, 120), 0u) << "below it";
    EXPECT_EQ(ScreenPixel(200, 150), 0u) << "the rest of the slot";
    UpgradeScreen::Release();
}

// The markers come from the effects' pass after the scene, through the hook
// the screen installs: only while the screen is open.
TEST_F(DisplayTest, TheFramePassDrawsTheMarkersWhileTheScreenIsOpen)
{
    Start(640, 480, 32);
    FakeView view;
    ReplicaWorld world;
    script::Role& body = world.NewRole("trevok");
    body.limit = 4;
    Unit* unit = world.Make<Unit>(1, 1, body);
    ReplicaWorld::Carry(*unit, ItemKind::kWeapon, 3, 1).roleLimit = 4;
    UpgradeScreen::Build();
    auto* w1 = const_cast<UpgradeHotSpot*>(UpgradeScreen::Slot(0, 0));
    ASSERT_NE(w1, nullptr);
    w1->rect = {170, 90, 290, 200};
    UpgradeScreen::InstallHooks();
    const struct {
        const char* what;
        bool open, wheel;
        uint32_t marker;
    } frames[] = {
        {"shown but not open", false, false, 0u},
        {"open", true, false, 0xFFFFFFu},
        {"open under the command wheel", true, true, 0u},
        {"closed again", false, false, 0u},
    };
    CommandWheel::Build({});
    for (const auto& f : frames) {
        if (f.wheel)
            CommandWheel::OpenAt(0.5f, 0.5f, 0);
        if (f.open)
            UpgradeScreen::Open(*unit);
        else if (UpgradeScreen::IsOpen())
            UpgradeScreen::Close();
        else
            UpgradeScreen::Show(unit);
        ASSERT_TRUE(Display::BeginScene());
        Display::ClearColour() = 0xFF000000;
        Display::Clear();
        Display::EndFrame(nullptr, Effects::DrawItemLists);
        EXPECT_EQ(ScreenPixel(268, 92), f.marker) << f.what;
        EXPECT_EQ(ScreenPixel(200, 150), 0u) << f.what << ": the rest of the slot";
    }
    CommandWheel::Release();
    Effects::SetItemListsHook(nullptr);
    MouseMode::Set(0);
    UpgradeScreen::Release();
}

} // namespace
} // namespace ui_test
