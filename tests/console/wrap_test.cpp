#include "console_fixture.h"

#include "app/input_event.h"
#include "console/screen_message.h"

#include <vector>

namespace console_test {
namespace {

// Every character 10 pixels on a 100-pixel screen: console rows wrap after
// 9 characters (0.9 of the width); ten rows fill the screen.
class WrapTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        TextConsole::SetMetrics(std::vector<int32_t>(256, 10), 100, 0.1f);
    }
    static void Key(uint32_t scan) { TextConsole::HandleKey(InputEvent{kMsgKeyDown, scan, 0, 0, scan, 0}); }
};

TEST_F(WrapTest, RowsAndWidthsFollowTheSmallFont)
{
    struct Case {
        const char* text;
        int rows;
    } cases[] = {
        {"", 0}, {"abc", 1}, {"abcdefghi", 1}, {"abcdefghij", 2},
        {"abcd efghijk", 2}, // the word moves down whole
        {"ab\ncd", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextConsole::WrapRows(c.text, TextConsole::kWrapWidth), c.rows);
    }
    EXPECT_EQ(TextConsole::TextWidth(""), 0);
    const TextConsole::Bounds b = TextConsole::TextBounds("abc", 0.2f, 0.5f);
    EXPECT_FLOAT_EQ(b.right, 0.5f);
    EXPECT_FLOAT_EQ(b.bottom, 0.6f);
}

TEST_F(WrapTest, LinesThatCannotBePlacedWaitInThePendingList)
{
    struct Case {
        const char* name;
        bool open;
        size_t chars;     // per printed line
        int prints;
        size_t pendingCap;
        size_t output, pending;
        const char* newestPending;
    } cases[] = {
        {"open: 13 rows above the edit line", true, 3, 14, 20, 13, 1, "line 14"},
        {"open: two-row lines fill it sooner", true, 12, 8, 20, 6, 2, "line 8"},
        {"open: a full pending list drops its oldest", true, 3, 17, 2, 13, 2, "line 17"},
        {"timed: grows by each line's rows", false, 3, 15, 20, 14, 1, "line 15"},
        {"timed: two-row lines", false, 12, 10, 20, 8, 2, "line 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextConsole::Create();
        TextConsole::SetMetrics(std::vector<int32_t>(256, 10), 100, 0.1f);
        TextConsole::State& s = TextConsole::Get();
        s.lines.clear();
        s.pendingCap = c.pendingCap;
        if (c.open) {
            TextConsole::Toggle();
            s.lineCount = TextConsole::kMaxLines;
        }
        for (int i = 1; i <= c.prints; ++i) {
            std::string line = "line " + std::to_string(i);
            line.resize(c.chars < line.size() ? line.size() : c.chars, 'x');
            TextConsole::Print(line.c_str());
        }
        EXPECT_EQ(s.lines.size(), c.output);
        ASSERT_EQ(s.pending.size(), c.pending);
        EXPECT_EQ(s.pending.back().text.substr(0, std::string(c.newestPending).size()), c.newestPending);
    }
}

TEST_F(WrapTest, HeldLinesKeepTheirOrderAndAKeyShowsThem)
{
    TextConsole::Toggle();
    TextConsole::Get().lineCount = TextConsole::kMaxLines;
    for (int i = 0; i < TextConsole::kMaxLines - 1; ++i)
        TextConsole::Print("filler");
    TextConsole::Print("three");
    ASSERT_EQ(TextConsole::Get().pending.size(), 1u);
    g_real = 5 * kTps; // the screen lines are old now, but "three" still waits
    TextConsole::Print("four");
    ASSERT_EQ(TextConsole::Get().pending.size(), 2u);
    TextConsole::Get().instant = true;
    TextConsole::Draw(g_real);
    const auto rows = TextConsole::Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].text, TextConsole::Text(6065)) << "the edit line gives way to the notice";
    Key(30);
    EXPECT_TRUE(TextConsole::Get().edit.empty()) << "the key only shows the held lines";
    const auto& lines = TextConsole::Get().lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text, "three");
    EXPECT_EQ(lines.back().text, "four");
}

TEST_F(WrapTest, UpAndDownMoveBetweenWrappedRowsOfTheEditLine)
{
    // Row 0: "abcdefgh" (indices 0-7, its end at 8); row 1: "ijklmnop" (9-16).
    struct Case {
        const char* edit;
        size_t cursor;
        uint32_t key;
        size_t cursorAfter;
        const char* editAfter;
    } cases[] = {
        {"abcdefgh ijklmnop", 17, 200, 8, nullptr},  // end of row 1 to the end of row 0
        {"abcdefgh ijklmnop", 12, 200, 3, nullptr},
        {"abcdefgh ijklmnop", 3, 208, 12, nullptr},
        {"abcdefgh ijklmnop", 5, 200, 0, nullptr},   // no row above: the start
        {"abcdefgh ijklmnop", 12, 208, 17, nullptr}, // no row below: the end
        {"abcdefgh ijklmnop", 0, 200, 8, "recalled"}, // at the start: recall
        {"abcdefgh ijklmnop", 17, 208, 8, "recalled"},
        {"abc", 1, 200, 8, "recalled"},               // one row: recall
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " @" + std::to_string(c.cursor) + " key " + std::to_string(c.key));
        TextConsole::State& s = TextConsole::Get();
        s.displayMode = 0;
        s.lines = {{"recalled", 0, 0}};
        s.recall = 1;
        s.edit = c.edit;
        s.cursor = c.cursor;
        Key(c.key);
        EXPECT_EQ(s.edit, c.editAfter ? c.editAfter : c.edit);
        EXPECT_EQ(s.cursor, c.cursorAfter);
    }
}

TEST_F(WrapTest, AWrappedScreenMessageIsRaisedByItsWholeHeight)
{
    struct Case {
        const char* text;
        float y, width;
        float placedY;
    } cases[] = {
        {"ab", 0.25f, 0.5f, 0.25f},            // one row: 0.15 clears 0.1
        {"aaaa bbbb cccc", 0.25f, 0.5f, 0.4f}, // three rows of 5 characters
        {"aaaa bbbb cccc", 0.25f, 1.0f, 0.3f},  // two rows of 10
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScreenMessages::Clear();
        EXPECT_NEAR(ScreenMessage::Create(0.0f, c.y, c.text, 1, c.width).y, c.placedY, 1e-5f);
    }
}

} // namespace
} // namespace console_test
