#include "ui/upgrade_screen.h"

#include "fake_view.h"
#include "objects/inventory.h"
#include "objects/inventory_display.h"
#include "objects/shape_cache.h"
#include "ui/game_view.h"
#include "tests/objects/server_fixture.h"
#include "Veapi/ve_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace ui_test {
namespace {

class UpgradeScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One line per 10 characters, as a box of fixed width would wrap.
        UpgradeScreen::SetLineCounter([](std::string_view text) { return int((text.size() + 9) / 10); });
    }
    void TearDown() override
    {
        UpgradeScreen::SetLineCounter({});
        UpgradeScreen::Release();
        // The caches hold the loaded shapes until the program ends.
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
    }
    FakeView view_;
};

TEST_F(UpgradeScreenTest, DescriptionScrollsOnlyPastThreeLines)
{
    struct Case {
        const char* text;
        int lines;
        bool downAtFirst;
    };
    const Case cases[] = {
        {"", 0, false},
        {"123456789012345678901234567890", 3, false},
        {"1234567890123456789012345678901", 4, true},
    };
    for (const Case& c : cases) {
        UpgradeScreen::SetText(c.text);
        EXPECT_EQ(UpgradeScreen::TextLines(), c.lines) << c.text;
        EXPECT_FALSE(UpgradeScreen::CanScrollUp());
        EXPECT_EQ(UpgradeScreen::CanScrollDown(), c.downAtFirst) << c.text;
    }
    // Four lines: one step down, then only up.
    UpgradeScreen::ScrollDown();
    EXPECT_EQ(UpgradeScreen::FirstLine(), 1);
    EXPECT_FALSE(UpgradeScreen::CanScrollDown());
    EXPECT_TRUE(UpgradeScreen::CanScrollUp());
    UpgradeScreen::ScrollDown();
    EXPECT_EQ(UpgradeScreen::FirstLine(), 1);
    UpgradeScreen::ScrollUp();
    EXPECT_EQ(UpgradeScreen::FirstLine(), 0);
    // A new text starts again from its first line; null clears.
    UpgradeScreen::ScrollDown();
    UpgradeScreen::SetText("12345678901234567890123456789012345678901");
    EXPECT_EQ(UpgradeScreen::FirstLine(), 0);
    UpgradeScreen::SetText(nullptr);
    EXPECT_EQ(UpgradeScreen::TextLines(), 0);
    EXPECT_FALSE(UpgradeScreen::CanScrollDown());
}

TEST_F(UpgradeScreenTest, TextRevealsAtTwentyFiveCharactersASecond)
{
    UpgradeScreen::SetText("1234567890123456789012345678901234567890");
    EXPECT_EQ(UpgradeScreen::RevealedCharacters(-1), 0);
    EXPECT_EQ(UpgradeScreen::RevealedCharacters(0.2), 5);
    EXPECT_EQ(UpgradeScreen::RevealedCharacters(10), 40);
}

TEST(UpgradeScreenLayout, HotSpotOfAProjectedBox)
{
    // A pinhole camera at the origin looking down +z: 320 + 100 x / z.
    const UpgradeScreen::Projection pinhole = [](const Vec3& p, float& x, float& y) {
        if (p.z <= 0)
            return false;
        x = 320 + 100 * p.x / p.z;
        y = 240 + 100 * p.y / p.z;
        return true;
    };
    const auto r = UpgradeScreen::ProjectBox({-1, -1, 2}, {1, 2, 4}, pinhole);
    EXPECT_FLOAT_EQ(r.x0, 270);
    EXPECT_FLOAT_EQ(r.x1, 370);
    EXPECT_FLOAT_EQ(r.y0, 190);
    EXPECT_FLOAT_EQ(r.y1, 340);
    // Nothing visible: an empty rectangle.
    const auto none = UpgradeScreen::ProjectBox({-1, -1, -4}, {1, 1, -2}, pinhole);
    EXPECT_FLOAT_EQ(none.x0, 0);
    EXPECT_FLOAT_EQ(none.x1, 0);
}

TEST(UpgradeScreenLayout, GrowthScaleStaysFinite)
{
    EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(0.63f / 0.2f), 0.2f);
    EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(1.0f), 0.34f);
    for (float extent : {0.0f, -1.0f, NAN, INFINITY})
        EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(extent), 0.34f) << extent;
}

TEST(UpgradeScreenLayout, AmmoColourGroups)
{
    const int expected[] = {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 1, 2, 5, 5, 0, 0};
    for (int type = 0; type < 17; ++type)
        EXPECT_EQ(UpgradeScreen::AmmoColourGroup(type), expected[type]) << type;
    EXPECT_EQ(UpgradeScreen::AmmoColourGroup(-1), 0);
    const TextureRect swatch = UpgradeScreen::AmmoSwatch(2);
    EXPECT_FLOAT_EQ(swatch.tu0, 768.0f / 1024);
    EXPECT_FLOAT_EQ(swatch.tu1, 830.0f / 1024);
}

TEST(UpgradeScreenLayout, SlotCounts)
{
    EXPECT_EQ(UpgradeScreen::SlotCountText(3, 12, 30).value_or("-"), "12/30");
    EXPECT_EQ(UpgradeScreen::SlotCountText(6, 0, 50).value_or("-"), "0/50");
    EXPECT_EQ(UpgradeScreen::SlotCountText(5, 2, 0).value_or("-"), "2");
    for (int unknown : {-7, 0, 4, 42})
        EXPECT_FALSE(UpgradeScreen::SlotCountText(unknown, 1, 1)) << unknown;
}

// The count sits 9 pixels left of the slot and 4 above it, moved by
// (0.021, 0.11) of the screen; a screen of no size divides by one.
TEST(UpgradeScreenLayout, SlotTextPosition)
{
    const struct {
        UpgradeHotSpot::Rect slot;
        float width, height, x, y;
    } rows[] = {
        {{169, 104, 289, 200}, 640, 480, 160.0f / 640 + 0.021f, 100.0f / 480 + 0.11f},
        {{9, 4, 50, 50}, 1024, 768, 0.021f, 0.11f},
        {{19, 14, 50, 50}, 0, 0, 10.021f, 10.11f},
    };
    for (const auto& row : rows) {
        float x = -1, y = -1;
        UpgradeScreen::SlotTextPosition(row.slot, row.width, row.height, x, y);
        EXPECT_FLOAT_EQ(x, row.x) << row.width;
        EXPECT_FLOAT_EQ(y, row.y) << row.width;
    }
}

TEST_F(UpgradeScreenTest, PartsHotSpotsAndSlots)
{
    UpgradeScreen::Build();
    const auto& parts = UpgradeScreen::Parts();
    ASSERT_EQ(parts.size(), 34u);
    EXPECT_EQ(parts[0].name, "background");
    EXPECT_EQ(parts[0].hotSpot, nullptr);
    const auto exit = std::find_if(parts.begin(), parts.end(), [](const auto& p) { return p.name == "exit"; });
    ASSERT_NE(exit, parts.end());
    ASSERT_NE(exit->hotSpot, nullptr);
    EXPECT_FALSE(exit->hot);
    EXPECT_EQ(exit->hotSpot->Kind(), 30);
    EXPECT_FALSE(exit->hotSpot->IsTransient());
    EXPECT_EQ(exit->hotSpot->IsUpgradePanel(), nullptr);
    exit->hotSpot->SetPosition(0.5f, 0.5f);
    EXPECT_FLOAT_EQ(exit->hotSpot->Left(), 0);
    for (int row = 0; row < 3; ++row)
        for (int position = 0; position < 3; ++position) {
            const std::string name = std::string(1, "wam"[row]) + char('1' + position);
            const auto part = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.name == name; });
            ASSERT_NE(part, parts.end());
            EXPECT_EQ(UpgradeScreen::Slot(row, position), part->hotSpot) << name;
        }
    EXPECT_EQ(UpgradeScreen::Slot(3, 0), nullptr);
}

TEST_F(UpgradeScreenTest, ToggleNeedsASelection)
{
    UpgradeScreen::Toggle();
    EXPECT_FALSE(UpgradeScreen::IsOpen());
    ReplicaWorld world;
    view_.selected = {world.MakeUnit(1, 1, "trevok")};
    UpgradeScreen::Toggle();
    EXPECT_TRUE(UpgradeScreen::IsOpen());
    EXPECT_EQ(view_.CursorMode(), 3);
    UpgradeScreen::Toggle();
    EXPECT_FALSE(UpgradeScreen::IsOpen());
    EXPECT_EQ(view_.CursorMode(), 0);
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// The sample's layout file: every part loads and each slot's hot spot is the
// projection of its plate.
TEST_F(UpgradeScreenTest, SampleLayoutGivesEveryPartAHotSpot)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
    ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
    // An orthographic screen: one metre is 1000 pixels, from the board's top
    // left corner (the sample centres the board on the layout's origin).
    UpgradeScreen::SetProjection([](const Vec3& p, float& x, float& y) {
        x = (p.x - UpgradeScreen::kPlaceX) * 1000 + 500;
        y = (p.y - UpgradeScreen::kPlaceY) * 1000 + 375;
        return true;
    });
    UpgradeScreen::Build();
    UpgradeScreen::SetProjection({});
    ChunkFileCache::SetFolderSource({});
    EXPECT_NE(SkyBackdrop::Object(), nullptr) << "the first level's sky loads with the screen";
    for (const auto& part : UpgradeScreen::Parts())
        EXPECT_NE(part.object, nullptr) << part.name;
    const auto* w1 = UpgradeScreen::Slot(0, 0);
    ASSERT_NE(w1, nullptr);
    EXPECT_NEAR(w1->rect.x0, 170, 0.5);
    EXPECT_NEAR(w1->rect.x1, 290, 0.5);
    EXPECT_NEAR(w1->rect.y0, 90, 0.5);
    EXPECT_NEAR(w1->rect.y1, 200, 0.5);
    EXPECT_NEAR(UpgradeScreen::Slot(2, 2)->rect.x0, 430, 0.5);
    EXPECT_NEAR(UpgradeScreen::Slot(2, 2)->rect.y0, 450, 0.5);
    // The panel's items stand at the dummies in the middle of their slots;
    // the ninth, which has no dummy, too.
    ReplicaWorld world;
    UpgradeScreen::Show(world.MakeUnit(1, 1, "trevok"));
    for (int row = 0; row < 3; ++row)
        for (int position = 0; position < 3; ++position) {
            const auto& rect = UpgradeScreen::Slot(row, position)->rect;
            const auto& slot = InventoryPanel::Slots()[size_t(row + 3 * position)];
            EXPECT_NEAR(slot.x, (rect.x0 + rect.x1) / 2000 - 0.5f + UpgradeScreen::kPlaceX, 1e-4) << row << position;
            EXPECT_NEAR(slot.y, (rect.y0 + rect.y1) / 2000 - 0.375f + UpgradeScreen::kPlaceY, 1e-4) << row << position;
        }
    UpgradeScreen::Release();
    EXPECT_EQ(SkyBackdrop::Object(), nullptr);
}

TEST_F(UpgradeScreenTest, WithoutTheModelFilesPartsHaveNoObjects)
{
    const std::filesystem::path empty = std::filesystem::temp_directory_path();
    ChunkFileCache::SetFolderSource([empty] { return std::optional<std::filesystem::path>(empty / "no-such"); });
    UpgradeScreen::Build();
    ChunkFileCache::SetFolderSource({});
    ASSERT_EQ(UpgradeScreen::Parts().size(), 34u);
    for (const auto& part : UpgradeScreen::Parts()) {
        EXPECT_EQ(part.object, nullptr) << part.name;
        if (part.hotSpot) {
            EXPECT_FLOAT_EQ(part.hotSpot->rect.x1, 0) << part.name;
        }
    }
    EXPECT_EQ(SkyBackdrop::Object(), nullptr);
    SkyBackdrop::Draw(); // nothing to draw, nothing happens
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

TEST(UpgradeScreenBox, WhatTheDescriptionShows)
{
    struct Case {
        const char* picked;
        bool pass;
        int squad;
        const char* page;
        const char* shown;
    };
    const Case cases[] = {
        {"Rifle", false, 3, "Vell", "Rifle"},
        {nullptr, false, 3, "Vell", "Vell"},
        {nullptr, false, 3, nullptr, nullptr},
        {"Rifle", true, 3, nullptr, UpgradeScreen::kPassPrompt},
        {"Rifle", true, 1, nullptr, nullptr}, // nobody to pass to
    };
    for (const Case& c : cases) {
        const char* got = UpgradeScreen::DescriptionFor(c.picked, c.pass, c.squad, c.page);
        EXPECT_STREQ(got ? got : "<none>", c.shown ? c.shown : "<none>") << c.pass << c.squad;
    }
}

TEST(UpgradeScreenBox, BlinkingButtonsAndTheInfoPage)
{
    EXPECT_TRUE(UpgradeScreen::ScrollButtonLit(true, 0.5));
    EXPECT_FALSE(UpgradeScreen::ScrollButtonLit(true, 1.5));
    EXPECT_TRUE(UpgradeScreen::ScrollButtonLit(true, 2.0));
    EXPECT_FALSE(UpgradeScreen::ScrollButtonLit(false, 0.5));
    // Phases of 1/0.3 s: page, info, page...
    EXPECT_FALSE(UpgradeScreen::InfoPageShown(1.0, false));
    EXPECT_TRUE(UpgradeScreen::InfoPageShown(4.0, false));
    EXPECT_FALSE(UpgradeScreen::InfoPageShown(7.0, false));
    EXPECT_FALSE(UpgradeScreen::InfoPageShown(4.0, true));
    // Growth stops at the maximum.
    EXPECT_FLOAT_EQ(UpgradeScreen::GrowthStep(0.05f, 100, 1.0f, 0.34f), 0.15f);
    EXPECT_FLOAT_EQ(UpgradeScreen::GrowthStep(0.3f, 1000, 1.0f, 0.34f), 0.34f);
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// The character on the panel and the items on it, over roles with box
// models: the model grows from 0.05 to its cap, the slots show the rows
// from their first item, turning, and a picked item is tried on at the
// model's mounting points.
class UpgradeModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script::Role& body = world_.NewRole("trevok");
        GiveBoxModel(body, {0}, {{"gun", {0.3f, -1.0f, 0}}, {"shoulder pod", {0, -1.5f, 0.2f}}});
        body.hotspotName = "gun";
        body_ = &body;
        unit_ = world_.Make<Unit>(1, 1, body);
        script::Role& laser = ItemRole("laser");
        script::Role& pod = ItemRole("shoulder pod");
        for (int32_t id = 1; id <= 4; ++id)
            ReplicaWorld::Carry(*unit_, ItemKind::kWeapon, 3, id, laser.id).inventoryLook = &laser.inventory->shape;
        ReplicaWorld::Carry(*unit_, ItemKind::kDeployable, 0, 5, pod.id).inventoryLook = &pod.inventory->shape;
        // A kind of no row of its own (say, from an old save) goes with the others.
        ReplicaWorld::Carry(*unit_, 99, 0, 6, laser.id).inventoryLook = &laser.inventory->shape;
        GameView::GetHooks().playSound = [this](int sound) { sounds_.push_back(sound); };
    }
    void TearDown() override
    {
        UpgradeScreen::Show(nullptr);
        GameView::GetHooks().playSound = nullptr;
    }

    script::Role& ItemRole(const std::string& name)
    {
        script::Role& role = world_.NewRole(name, 10);
        GiveBoxShape(role, {-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f});
        role.inventory.emplace();
        role.inventory->shape = role.shape;
        return role;
    }

    std::vector<std::pair<int, int32_t>> Slots() const
    {
        std::vector<std::pair<int, int32_t>> out;
        for (const auto& item : UpgradeScreen::ShownItems())
            out.emplace_back(item.row * 3 + item.position, item.itemId);
        return out;
    }

    FakeView view_;
    ReplicaWorld world_;
    script::Role* body_ = nullptr;
    Unit* unit_ = nullptr;
    std::vector<int> sounds_;
};

TEST_F(UpgradeModelTest, TheModelGrowsToItsCap)
{
    UpgradeScreen::Show(unit_);
    ASSERT_NE(UpgradeScreen::Model(), nullptr);
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelScale(), 0.05f);
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelMaximumScale(), 0.34f); // 0.63 / 1.8 is above the cap
    view_.now = 100;                                             // 0.1 s: + 0.032
    UpgradeScreen::UpdateAndDraw();
    EXPECT_NEAR(UpgradeScreen::ModelScale(), 0.082f, 1e-6);
    const Vec3 scale = UpgradeScreen::Model()->placement_.Scale();
    EXPECT_NEAR(scale.x, 0.75f * 0.082f, 1e-6);
    EXPECT_NEAR(scale.y, 0.082f, 1e-6);
    view_.now = 10000;
    UpgradeScreen::UpdateAndDraw();
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelScale(), 0.34f);
    UpgradeScreen::Show(nullptr);
    EXPECT_EQ(UpgradeScreen::Model(), nullptr);
    UpgradeScreen::UpdateAndDraw(); // nothing shown, nothing drawn
    EXPECT_TRUE(UpgradeScreen::ShownItems().empty());
}

TEST_F(UpgradeModelTest, RowsShowThreeItemsFromTheirCursorAndTurn)
{
    UpgradeScreen::Show(unit_);
    UpgradeScreen::UpdateAndDraw();
    // A kind's new item goes in front.
    EXPECT_EQ(Slots(), (std::vector<std::pair<int, int32_t>>{{0, 4}, {1, 3}, {2, 2}, {6, 5}, {7, 6}}));
    // The row parts scroll the inventory's rows by up to three items.
    using Slots_ = std::vector<std::pair<int, int32_t>>;
    const struct {
        int part;
        bool moved;
        Slots_ weapons; // position, item id
    } presses[] = {
        {23, true, {{0, 1}}},                  // weapon down
        {23, false, {{0, 1}}},                 // the last weapon shows: no empty page
        {22, true, {{0, 4}, {1, 3}, {2, 2}}},  // back to the row's start
        {22, false, {{0, 4}, {1, 3}, {2, 2}}},
        {25, false, {{0, 4}, {1, 3}, {2, 2}}}, // no stacks to scroll
        {19, false, {{0, 4}, {1, 3}, {2, 2}}}, // a row marker scrolls nothing
    };
    for (const auto& press : presses) {
        sounds_.clear();
        EXPECT_EQ(UpgradeScreen::PressPart(press.part), press.moved) << press.part;
        EXPECT_EQ(sounds_, press.moved ? std::vector<int>{Inventory::kSoundScrolled} : std::vector<int>{});
        UpgradeScreen::UpdateAndDraw();
        Slots_ weapons, others;
        for (const auto& slot : Slots())
            (slot.first < 3 ? weapons : others).push_back(slot);
        EXPECT_EQ(weapons, press.weapons) << press.part;
        EXPECT_EQ(others, (Slots_{{6, 5}, {7, 6}})) << "the other rows stay as they were";
    }
    // 320 steps of 4096 a second: half a second turns them 160 steps.
    view_.now = 500;
    UpgradeScreen::UpdateAndDraw();
    ASSERT_FALSE(UpgradeScreen::ShownItems().empty());
    const Quaternion q = UpgradeScreen::ShownItems()[0].object->placement_.Orientation();
    EXPECT_NEAR(q.y, std::sin(160 * 3.14159265 / 4096), 1e-6);
    EXPECT_NEAR(q.w, std::cos(160 * 3.14159265 / 4096), 1e-6);
    EXPECT_FLOAT_EQ(UpgradeScreen::ItemTurn(13.0), std::fmod(13.0f * 320, 4096));
    EXPECT_EQ(UpgradeScreen::ItemTurn(std::nan("")), 0);
}

TEST_F(UpgradeModelTest, APickedItemIsTriedOnAtItsMountingPoint)
{
    UpgradeScreen::Show(unit_);
    const struct {
        int32_t picked;
        const char* part;
        float drop;
    } rows[] = {
        {2, "gun", UpgradeScreen::kWeaponDrop},
        {5, "shoulder pod", UpgradeScreen::kModuleDrop},
        {0, nullptr, 0},
        {77, nullptr, 0}, // an id the inventory does not hold
    };
    for (const auto& row : rows) {
        UpgradeScreen::SetPicked(row.picked);
        UpgradeScreen::UpdateAndDraw();
        std::vector<const UpgradeScreen::ShownItem*> on;
        for (const auto& item : UpgradeScreen::ShownItems())
            if (item.row < 0)
                on.push_back(&item);
        if (!row.part) {
            EXPECT_TRUE(on.empty()) << row.picked;
            continue;
        }
        ASSERT_EQ(on.size(), 1u) << row.picked;
        EXPECT_EQ(on[0]->itemId, row.picked);
        Vec3 at;
        VeObject* model = UpgradeScreen::Model();
        ASSERT_TRUE(model->FindPartPosition(at, row.part, 0));
        Vec3 expected = model->placement_.ScaledMatrix().TransformPoint(at);
        expected.y -= row.drop;
        const Vec3 got = on[0]->object->placement_.Position();
        EXPECT_NEAR(got.x, expected.x, 1e-5) << row.part;
        EXPECT_NEAR(got.y, expected.y, 1e-5) << row.part;
        EXPECT_NEAR(got.z, expected.z, 1e-5) << row.part;
    }
}

// A slot item the character's role may not use (their restriction masks
// meet) is drawn disabled, the picked one see-through; the picked item's
// copy on the character is drawn plainly.
TEST_F(UpgradeModelTest, SlotItemsShowWhetherTheyMayBeUsedAndWhichIsPicked)
{
    body_->limit = 4;
    Inventory* inventory = unit_->GetInventory();
    ASSERT_NE(inventory, nullptr);
    inventory->FindById(4)->roleLimit = 4 | 1; // meets the role's mask
    inventory->FindById(3)->roleLimit = 2;     // does not
    UpgradeScreen::Show(unit_);
    const struct {
        int32_t picked;
        struct {
            int32_t id;
            bool disabled;
            float alpha;
        } items[3];
    } rows[] = {
        {0, {{4, true, 1.0f}, {3, false, 1.0f}, {2, false, 1.0f}}},
        {3, {{4, true, 1.0f}, {3, false, UpgradeScreen::kPickedAlpha}, {2, false, 1.0f}}},
        {4, {{4, true, UpgradeScreen::kPickedAlpha}, {3, false, 1.0f}, {2, false, 1.0f}}},
    };
    for (const auto& row : rows) {
        UpgradeScreen::SetPicked(row.picked);
        UpgradeScreen::UpdateAndDraw();
        for (const auto& expected : row.items) {
            const UpgradeScreen::ShownItem* found = nullptr;
            for (const auto& item : UpgradeScreen::ShownItems())
                if (item.row == 0 && item.itemId == expected.id)
                    found = &item;
            ASSERT_NE(found, nullptr) << expected.id;
            EXPECT_EQ(found->disabled, expected.disabled) << row.picked << " " << expected.id;
            EXPECT_FLOAT_EQ(found->alpha, expected.alpha) << row.picked << " " << expected.id;
        }
        for (const auto& item : UpgradeScreen::ShownItems())
            if (item.row < 0) {
                EXPECT_FALSE(item.disabled);
                EXPECT_FLOAT_EQ(item.alpha, 1.0f);
            }
    }
}

TEST_F(UpgradeModelTest, DraggingTurnsTheModelAndKeepsTheHeading)
{
    EXPECT_FALSE(UpgradeScreen::DragModel(100, 164, 1)) << "nothing shown";
    UpgradeScreen::Show(unit_);
    EXPECT_TRUE(UpgradeScreen::DragModel(100, 164, 1)); // a tenth of 640 pixels
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelHeading(), -120);
    EXPECT_FALSE(UpgradeScreen::DragModel(100, 132, 2)); // ends a twentieth right
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelHeading(), -60);
    EXPECT_TRUE(UpgradeScreen::DragModel(300, 236, 1)); // the next drag starts there
    EXPECT_FLOAT_EQ(UpgradeScreen::ModelHeading(), 60);
    UpgradeScreen::UpdateAndDraw();
    EXPECT_NEAR(UpgradeScreen::Model()->placement_.Orientation().y, std::sin(60 * 3.14159265 / 4096), 1e-6);
}

TEST(PanelPulse, BandsAcrossTheTopAndTheBottom)
{
    using Band = Hud::PanelBand;
    const struct {
        float level;
        std::vector<std::array<float, 4>> bands;
    } rows[] = {
        {1.0f, {{0, 0, 1, 0.1f}, {0, 0.9f, 1, 1}}},
        {2.5f, {{0, 0, 1, 0.25f}, {0, 0.75f, 1, 1}}},
        {7.0f, {{0, 0, 1, 0.5f}, {0, 0.5f, 1, 1}}}, // they meet in the middle
        {0.0f, {}},
        {-1.0f, {}},
        {std::nanf(""), {}},
    };
    for (const auto& row : rows) {
        const std::vector<Band> bands = Hud::PanelPulseBands(row.level);
        ASSERT_EQ(bands.size(), row.bands.size()) << row.level;
        for (size_t i = 0; i < bands.size(); ++i) {
            EXPECT_FLOAT_EQ(bands[i].x0, row.bands[i][0]) << row.level;
            EXPECT_FLOAT_EQ(bands[i].y0, row.bands[i][1]) << row.level;
            EXPECT_FLOAT_EQ(bands[i].x1, row.bands[i][2]) << row.level;
            EXPECT_FLOAT_EQ(bands[i].y1, row.bands[i][3]) << row.level;
        }
    }
    Hud::DrawPanelPulse(1.0f); // before the screen's build: nothing to draw
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// Which look each part takes: arrows lit by their own row's scrolling, the
// box's buttons blinking, the shown character's page alternating with
// "info" until a description was shown, outlines for the picked item's
// slot and pass mode, hot parts only once the panel is full.
TEST(UpgradeScreenLook, EachPartByItsKindAndTheState)
{
    using UpgradeScreen::PartLook;
    const auto spec = [](const char* name) {
        for (const auto& part : UpgradeScreen::kParts)
            if (std::string(part.name) == name)
                return part;
        ADD_FAILURE() << name;
        return UpgradeScreen::kParts[0];
    };
    UpgradeScreen::PanelState base;
    base.fullPanel = true;
    base.shownCharacter = "Vell";
    const struct {
        const char* what;
        const char* part;
        std::function<void(UpgradeScreen::PanelState&)> set;
        PartLook look;
    } rows[] = {
        {"growing: hot parts wait", "w1", [](auto& s) { s.fullPanel = false; }, PartLook::kHidden},
        {"growing: decoration shows", "background", [](auto& s) { s.fullPanel = false; }, PartLook::kNormal},
        {"empty slot", "a2", {}, PartLook::kNormal},
        {"the picked item's slot", "a2", [](auto& s) { s.slotHoldsPicked = true; }, PartLook::kOutlined},
        {"ammo up with nothing above", "ammo up", {}, PartLook::kDisabled},
        {"ammo up", "ammo up", [](auto& s) { s.rowUp[1] = true; }, PartLook::kLit},
        {"another row's scrolling", "weapon up", [](auto& s) { s.rowUp[1] = true; }, PartLook::kDisabled},
        {"module down", "module down", [](auto& s) { s.rowDown[2] = true; }, PartLook::kLit},
        {"box down, even second", "down button", [](auto& s) { s.boxDown = true, s.secondsOpen = 2.5; },
         PartLook::kLit},
        {"box down, odd second", "down button", [](auto& s) { s.boxDown = true, s.secondsOpen = 3.5; },
         PartLook::kDisabled},
        {"pass", "pass", {}, PartLook::kNormal},
        {"pass mode", "pass", [](auto& s) { s.passMode = true; }, PartLook::kOutlined},
        {"own page, even phase", "vell", {}, PartLook::kNormal},
        {"another page", "trevok", {}, PartLook::kHidden},
        {"own page, odd phase", "vell", [](auto& s) { s.secondsOpen = 4.0; }, PartLook::kHidden},
        {"info, odd phase", "info", [](auto& s) { s.secondsOpen = 4.0; }, PartLook::kNormal},
        {"info after a description", "info", [](auto& s) { s.secondsOpen = 4.0, s.descriptionShown = true; },
         PartLook::kHidden},
        {"own page after a description", "vell", [](auto& s) { s.secondsOpen = 4.0, s.descriptionShown = true; },
         PartLook::kNormal},
        {"no character shown", "vell", [](auto& s) { s.shownCharacter = nullptr; }, PartLook::kHidden},
    };
    for (const auto& row : rows) {
        UpgradeScreen::PanelState state = base;
        if (row.set)
            row.set(state);
        EXPECT_EQ(UpgradeScreen::LookOf(spec(row.part), state), row.look) << row.what;
    }
}

} // namespace
} // namespace ui_test
