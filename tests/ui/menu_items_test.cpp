// Menu rows: where each kind of item lies, how a seeded reveal types the
// text and then the value out, what the value part shows (choice values
// outside their texts show nothing), texts of the string table surviving a
// replaced row text, and the edit buffer's limit.
#include "ui/menu_items.h"

#include "app/app_time.h"
#include "app/string_table.h"
#include "console/text_console.h"
#include "support/string_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

constexpr float kRow = 0.04f; // the small font's line height in these tests

// Each draw gives the next value; 3 << 29 maps to +0.5, 1 << 29 to -0.5.
std::vector<uint32_t> g_draws;
size_t g_next = 0;
uint32_t Seeded() { return g_draws[g_next++ % g_draws.size()]; }

class MenuItems : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<int32_t> widths(256, 8); // 8 pixels a character on a 640-pixel screen
        TextConsole::SetMetrics(widths, 640, kRow);
        LoadGlobalStringTable({{228, "Single player"}, {229, "Training"}, {230, "Options"}, {7007, "on"}, {7008, "off"},
                   {7071, "low"}, {7072, "medium"}, {7073, "high"}});
        g_draws = {3u << 29, 3u << 29};
        g_next = 0;
        MenuReveal::SetRandomSource(Seeded);
    }
    void TearDown() override
    {
        MenuReveal::SetRandomSource(nullptr);
        TextConsole::SetMetrics({}, 640, 1.0f / 30.0f);
        StringTable::Global().Free();
    }
    static int64_t Ticks(double seconds) { return int64_t(seconds * double(AppTime::TicksPerSecond())); }
};

TEST_F(MenuItems, RowsLieByIdAndKind)
{
    int32_t on = 1, choice = 0;
    static constexpr uint32_t kChoices[] = {7071, 7072, 7073};
    MenuItemList list;
    list.AddText(StringTable::Global().Find(228));
    list.AddOwnedText("1024 x 768");
    list.AddToggle(MenuText::Borrowed("Sound"), &on);
    list.AddChoice(MenuText::Owned("Detail"), &choice, kChoices);
    list.Append(MenuItem::MakeTextWithValue(MenuText::Owned("Pause"), MenuText::Owned("P"), 7,
                                            MenuItem::kTextWithValue));
    struct Case {
        int32_t index;
        int32_t id;
        MenuRect rect;
    };
    // Text rows span 0.15 to 0.9; on/off and choice rows only their text
    // (8 pixels a character of 640).
    const Case cases[] = {
        {0, 0, {0.15f, 0.35f, 0.9f, 0.35f + kRow}},
        {1, 1, {0.15f, 0.40f, 0.9f, 0.40f + kRow}},
        {2, 2, {0.15f, 0.45f, 0.15f + 5 * 8 / 640.0f, 0.45f + kRow}},
        {3, 3, {0.15f, 0.50f, 0.15f + 6 * 8 / 640.0f, 0.50f + kRow}},
        {4, 7, {0.15f, 0.70f, 0.9f, 0.70f + kRow}},
    };
    ASSERT_EQ(list.Count(), 5);
    for (const Case& c : cases) {
        const MenuItem* item = list.At(c.index);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->id, c.id) << c.index;
        EXPECT_FLOAT_EQ(item->Rect().left, c.rect.left) << c.index;
        EXPECT_FLOAT_EQ(item->Rect().top, c.rect.top) << c.index;
        EXPECT_FLOAT_EQ(item->Rect().right, c.rect.right) << c.index;
        EXPECT_FLOAT_EQ(item->Rect().bottom, c.rect.bottom) << c.index;
    }
    EXPECT_EQ(list.AddText("after").id, 8) << "ids go on after a prepared item";
    EXPECT_EQ(list.At(5)->text.View(), "after") << "appending drops the index, which is then rebuilt";
    EXPECT_EQ(list.At(6), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    list.RemoveFirst();
    EXPECT_EQ(list.At(0)->text.View(), "1024 x 768");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.AddText("again").id, 0) << "a cleared list numbers from 0";
}

TEST_F(MenuItems, SeededRevealTypesTheTextThenTheValue)
{
    // Both draws +0.5: 25 + 15 x 0.25 = 28.75 characters a second.
    MenuItem item = MenuItem::MakeTextWithValue(MenuText::Owned("Key bindings"), MenuText::Owned("Return key"), 0,
                                                MenuItem::kTextWithValue);
    item.RestartReveal(0);
    EXPECT_FLOAT_EQ(item.revealRate * float(AppTime::TicksPerSecond()), 28.75f);
    struct Frame {
        double seconds;
        const char* text;
        const char* value;
    };
    // Characters shown are rounded to the nearest: 2.875 shows 3, 2.3 shows 2.
    const Frame frames[] = {
        {0.0, "", ""},
        {0.017, "", ""},                 // 0.49 of a character
        {0.018, "K", ""},                // 0.52
        {0.08, "Ke", ""},                // 2.3
        {0.1, "Key", ""},                // 2.875
        {0.3, "Key bindi", ""},          // 8.6; the value's start follows the clock until the text is done
        {0.5, "Key bindings", "Return"}, // 5.75 characters 0.2 s after the last incomplete frame
        {0.9, "Key bindings", "Return key"},
    };
    for (const Frame& f : frames) {
        item.Reveal(Ticks(f.seconds));
        EXPECT_EQ(item.ShownText(), f.text) << f.seconds;
        EXPECT_EQ(item.ShownValue(), f.value) << f.seconds;
    }
    // A changed value types itself out again at a new rate; the text stays.
    g_draws = {1u << 29, 3u << 29}; // -0.5 x 0.5: 21.25 a second
    item.valueText = MenuText::Owned("Space");
    item.Flash(Ticks(1.0));
    item.Reveal(Ticks(1.1));
    EXPECT_EQ(item.ShownText(), "Key bindings");
    EXPECT_EQ(item.ShownValue(), "Sp");

    MenuItem empty = MenuItem::MakeTextWithValue(MenuText::Owned(""), MenuText::Owned("value"), 1,
                                                 MenuItem::kTextWithValue);
    empty.RestartReveal(Ticks(2.0));
    empty.Reveal(Ticks(2.1));
    EXPECT_TRUE(empty.IsTextComplete());
    EXPECT_EQ(empty.ShownValue(), "va") << "an empty text is complete at once: its value starts with it";
}

TEST_F(MenuItems, ValuePartsByKind)
{
    int32_t toggle = 0, choice = 0;
    static constexpr uint32_t kChoices[] = {7071, 7072, 7073};
    MenuItemList list;
    MenuItem& onOff = list.AddToggle(MenuText::Owned("Sound"), &toggle);
    MenuItem& pick = list.AddChoice(MenuText::Owned("Detail"), &choice, kChoices);
    MenuItem& plain = list.AddOwnedText("Plain");
    struct Case {
        int32_t toggle, choice;
        const char* onOff;
        const char* pick;
    };
    for (const Case& c : {Case{0, 0, "off", "low"}, Case{1, 2, "on", "high"}, Case{-7, 3, "on", ""},
                          Case{0, -1, "off", ""}, Case{0, 1 << 30, "off", ""}}) {
        toggle = c.toggle;
        choice = c.choice;
        EXPECT_EQ(onOff.ValueText(), c.onOff) << c.toggle;
        EXPECT_EQ(pick.ValueText(), c.pick) << "choice " << c.choice;
    }
    EXPECT_EQ(plain.ValueText(), "");
}

TEST_F(MenuItems, StringTableTextsOutliveReplacedRows)
{
    ScreenState screen;
    screen.Init(228, 3, 251);
    ASSERT_EQ(screen.items.Count(), 3);
    const char* table = StringTable::Global().Find(229);
    EXPECT_EQ(screen.items.At(1)->text.BorrowedPointer(), table) << "rows borrow the table's own text";
    screen.cursor = 1;
    screen.SetCursorText("Typed name");
    screen.SetCursorText("Typed again"); // an owned text replaced by another
    EXPECT_EQ(screen.items.At(1)->text.View(), "Typed again");
    EXPECT_FALSE(screen.items.At(1)->text.IsBorrowed());
    EXPECT_EQ(StringTable::Global().Find(229), table);
    EXPECT_STREQ(table, "Training");
    screen.ClearItems();
    EXPECT_STREQ(StringTable::Global().Find(228), "Single player") << "clearing frees only owned texts";

    ScreenState none;
    none.Init(0, 4, 252);
    EXPECT_EQ(none.items.Count(), 0);
    EXPECT_EQ(none.titleId, 252u);
    none.SetCursorText("nowhere"); // no item at the cursor: nothing happens
}

TEST_F(MenuItems, GlowAndRowPieces)
{
    MenuItem item = MenuItem::MakeText(MenuText::Owned("Options"), 0);
    item.RestartReveal(0);
    item.Reveal(Ticks(0.1)); // "Opt"
    const auto pieces = item.Pieces(2);
    const float w = 3 * 8 / 640.0f, y = 0.4f;
    EXPECT_FLOAT_EQ(pieces[0].x, 0.15f - kRow);
    EXPECT_FLOAT_EQ(pieces[1].scaleX, w);
    EXPECT_FLOAT_EQ(pieces[2].x, 0.15f + w);
    for (const RowPiece& p : pieces) {
        EXPECT_FLOAT_EQ(p.y, y);
        EXPECT_FLOAT_EQ(p.scaleY, kRow);
        EXPECT_FLOAT_EQ(p.depth, 5.0f);
    }
    struct Step {
        bool highlighted;
        float seconds, glow;
    };
    for (const Step& s : {Step{true, 0.3f, 0.3f}, Step{true, 0.3f, 0.5f}, Step{false, 0.2f, 0.3f},
                          Step{false, 1.0f, 0.0f}}) {
        item.StepGlow(s.highlighted, s.seconds);
        EXPECT_FLOAT_EQ(item.glow, s.glow);
        EXPECT_FLOAT_EQ(item.BarLevel(), 1.333f * s.glow);
    }
}

TEST(EditBuffer, StopsAt249Characters)
{
    EditBuffer buffer;
    for (int i = 0; i < 249; ++i)
        ASSERT_TRUE(buffer.Append('a' + char(i % 26)));
    EXPECT_FALSE(buffer.Append('z'));
    EXPECT_EQ(buffer.Text().size(), 249u);
    buffer.DeleteLast();
    EXPECT_TRUE(buffer.Append('z'));
    EXPECT_EQ(buffer.Text().back(), 'z');
    buffer.Set(std::string(300, 'x'));
    EXPECT_EQ(buffer.Text().size(), 249u);
    buffer.Clear();
    buffer.DeleteLast();
    EXPECT_EQ(buffer.Text(), "");
}

} // namespace
