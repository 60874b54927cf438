#include "console_fixture.h"

#include "app/input_event.h"
#include "console/screen_message.h"

namespace console_test {
namespace {

void Key(uint32_t scan, bool shift = false)
{
    TextConsole::HandleKey(InputEvent{kMsgKeyDown, scan, 0, 0, scan, shift ? kFlagShift : 0u});
}

void Type(const char* text)
{
    for (const char* c = text; *c; ++c) {
        if (*c == ' ')
            Key(57);
        else
            Key(KeyNames::CharToScanCode(*c), *c >= 'A' && *c <= 'Z');
    }
}

TEST_F(ConsoleTest, TabCompletesToTheShortestCommand)
{
    TextConsole::Toggle();
    Type("set cam");
    Key(15);
    EXPECT_EQ(TextConsole::Get().edit, "set camERA");
    EXPECT_EQ(TextConsole::Get().cursor, TextConsole::Get().edit.size());
}

TEST_F(ConsoleTest, EnterRunsAndRecallWraps)
{
    TextConsole::Toggle();
    Key(200);
    EXPECT_EQ(TextConsole::Get().edit, "") << "empty recall does nothing";
    Type("INC res");
    Key(28);
    EXPECT_EQ(Value("res"), 1.0f);
    Key(200);
    EXPECT_EQ(TextConsole::Get().edit, "INC res");
    Key(1);
    EXPECT_EQ(TextConsole::Get().edit, "") << "Escape saves and clears";
    Key(1);
    EXPECT_EQ(TextConsole::Get().edit, "INC res") << "and restores";
}

TEST_F(ConsoleTest, ThirtyBindingsAndOneRebind)
{
    const std::string keys = "abcdefghijklmnopqrstuvwxyz1234";
    for (char k : keys)
        Typed((std::string("BIND ") + k + " INC res").c_str());
    EXPECT_EQ(TextConsole::Get().macros.size(), 30u);
    Typed("BIND A SET res 5");
    EXPECT_EQ(TextConsole::Get().macros.size(), 30u);
    EXPECT_EQ(TextConsole::Get().macros[0].line, "SET res 5");
    Typed("BIND 5 INC res");
    EXPECT_EQ(Last(), "No more key bindings can be made (30 in use).");
    const std::string longCommand = "BIND q " + std::string(300, 'x');
    Typed(longCommand.c_str());
    EXPECT_LE(TextConsole::Get().macros[16].line.size(), 249u);
    Typed("BIND ab INC res");
    EXPECT_EQ(Last(), "BIND: the key must be one character.");
}

TEST_F(ConsoleTest, FullTimedConsoleHoldsLinesUntilAKey)
{
    TextConsole::SetTimedLineLimit(0);
    EXPECT_EQ(TextConsole::Get().timedLineLimit, 1);
    TextConsole::SetTimedLineLimit(99);
    EXPECT_EQ(TextConsole::Get().timedLineLimit, TextConsole::kMaxLines);
    TextConsole::SetTimedLineLimit(2);
    for (const char* line : {"one", "two", "three"})
        TextConsole::Print(line);
    EXPECT_EQ(TextConsole::Get().displayMode, 2);
    EXPECT_EQ(TextConsole::Get().pending.size(), 1u);
    g_real = 2 * kTps;
    TextConsole::Print("four");
    EXPECT_EQ(TextConsole::Get().lines.back().text, "four") << "after 2 seconds lines scroll again";
    TextConsole::Toggle();
    TextConsole::Toggle();
    Key(30);
    EXPECT_EQ(TextConsole::Get().edit, "a");
    g_real = 20 * kTps;
    TextConsole::Print("late");
    EXPECT_EQ(TextConsole::Get().displayMode, 2) << "printing opens a closed console for a time";
    TextConsole::Draw(g_real + 15 * kTps);
    EXPECT_EQ(TextConsole::Get().displayMode, 1) << "the timed console hides after 14 seconds";
}

TEST_F(ConsoleTest, RowsFromTheBottomUntilTheTop)
{
    TextConsole::Get().instant = true;
    TextConsole::Toggle();
    Typed("LINES 3");
    for (const char* line : {"one", "two", "three", "four"})
        TextConsole::Print(line);
    TextConsole::Draw(g_real);
    Type("abc");
    const auto rows = TextConsole::Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, "abc");
    EXPECT_EQ(rows[0].flags, 68u);
    EXPECT_EQ(rows[0].cursor, 3);
    EXPECT_EQ(rows[1].text, "four");
    EXPECT_EQ(rows[2].text, "three");
    EXPECT_GT(rows[2].y, rows[1].y - 1.0f);
    EXPECT_GE(rows[2].y, 0.0f);
    TextConsole::Toggle();
    TextConsole::Draw(g_real);
    EXPECT_TRUE(TextConsole::Rows().empty()) << "a closed console at rest draws nothing";
}

struct MessageCase {
    int64_t at;
    size_t firstShown;  // characters of the first kind-0 message shown
    bool secondShown;
};

TEST_F(ConsoleTest, ScreenMessagesQueueAndReveal)
{
    ScreenMessage::Create(0.9f, 0.5f, "fourteen chars", 0, 0.3f);
    const ScreenMessage& second = ScreenMessage::Create(0.1f, 0.5f, "second", 0, 0.3f);
    const ScreenMessage& first = *ScreenMessages::All().front();
    EXPECT_FLOAT_EQ(first.left, 0.7f);
    EXPECT_FLOAT_EQ(first.right, 1.0f);
    EXPECT_EQ(first.end, 2 * kTps) << "14 characters last two seconds";
    EXPECT_EQ(second.start, first.end);
    for (const MessageCase c : {MessageCase{0, 0, false}, {200, 5, false}, {2000, 14, false}, {2001, 0, true}}) {
        g_game = c.at;
        const auto shown = ScreenMessages::DrawAll();
        ASSERT_EQ(shown.size(), 1u) << c.at;
        if (c.secondShown)
            EXPECT_EQ(shown[0]->text, "second");
        else
            EXPECT_EQ(shown[0]->Shown(g_game), c.firstShown) << c.at;
    }
}

} // namespace
} // namespace console_test
