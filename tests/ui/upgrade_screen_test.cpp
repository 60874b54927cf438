#include "ui/upgrade_screen.h"

#include "fake_view.h"
#include "objects/shape_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

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
    EXPECT_FLOAT_EQ(UpgradeScreen::MaxGrowthScale(0.63f / 0.2f), 0.2f);
    EXPECT_FLOAT_EQ(UpgradeScreen::MaxGrowthScale(1.0f), 0.34f);
    for (float extent : {0.0f, -1.0f, NAN, INFINITY})
        EXPECT_FLOAT_EQ(UpgradeScreen::MaxGrowthScale(extent), 0.34f) << extent;
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
    // An orthographic screen: one metre is 1000 pixels.
    UpgradeScreen::SetProjection([](const Vec3& p, float& x, float& y) {
        x = (p.x - UpgradeScreen::kPlaceX) * 1000;
        y = (p.y - UpgradeScreen::kPlaceY) * 1000;
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
