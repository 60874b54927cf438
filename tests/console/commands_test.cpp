#include "console_fixture.h"

#include "console/screen_message.h"

namespace console_test {
namespace {

struct CommandCase {
    const char* line;
    const char* printed; // last line printed ("" for none)
};

class ConsoleCommands : public ConsoleTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(ConsoleCommands, Reply)
{
    Typed(GetParam().line);
    EXPECT_EQ(Last(), GetParam().printed);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConsoleCommands,
    ::testing::Values(CommandCase{"LINES 0", "The console shows at least 1 line."},
                      CommandCase{"LINES 15", "The console shows at most 14 lines."},
                      CommandCase{"HISTORY 201", "The history limit is at most 200."},
                      CommandCase{"HISTORY LIMIT 0", "History limit: 20"},
                      CommandCase{"BUFFER 101", "The buffer limit is at most 100."},
                      CommandCase{"BUFFER LIMIT 5", "Buffer limit set."},
                      CommandCase{"INSTANT maybe", "Instant console is off"},
                      CommandCase{"ECHO", "Echo is on"}, CommandCase{"ECHO off", ""},
                      CommandCase{"help set", "Sets a token: SET name value."},
                      CommandCase{"HELP NO SUCH", "No command of that name."},
                      CommandCase{"TOKEN", "TOKEN: no name given."},
                      CommandCase{"VERSION", "Trevok version 00.02.03.0119 Built on Aug 22 2000"},
                      CommandCase{"ASSERT", "ASSERT: no debugger attached."},
                      CommandCase{"TEXT 99999999999", ""}, CommandCase{"TEXT 3", "Hold the right button to turn the camera."},
                      CommandCase{"GET WAIT FOR", "No 'wait for' trigger set."},
                      CommandCase{"LEAVE GAME", "Only in a game."}));

TEST_F(ConsoleTest, SwitchesToggleOrSet)
{
    DeveloperFlags::renderFlags = 0;
    Typed("WIREFRAME");
    EXPECT_EQ(DeveloperFlags::renderFlags, 0x200000u);
    Typed("WIREFRAME");
    EXPECT_EQ(DeveloperFlags::renderFlags, 0u);
    Typed("WIREFRAME ON");
    Typed("WIREFRAME ON");
    EXPECT_EQ(DeveloperFlags::renderFlags, 0x200000u);
    Typed("WIREFRAME off");
    EXPECT_EQ(DeveloperFlags::renderFlags, 0u);
}

TEST_F(ConsoleTest, HideAndColours)
{
    Typed("TEXT COLOUR 1 0.5 nan");
    EXPECT_EQ(TextConsole::Get().textColour, 0xffff7f00u);
    Typed("CURSOR COLOUR 2 -1 1");
    EXPECT_EQ(TextConsole::Get().cursorColour, 0xffff00ffu);
    TextConsole::Toggle();
    Typed("HIDE CONSOLE");
    EXPECT_EQ(TextConsole::Get().displayMode, 1);
    EXPECT_TRUE(TextConsole::Get().lines.empty());
}

TEST_F(ConsoleTest, ScreenMessagesOfOtherKindsMoveApartAndPauseHolds)
{
    const float h = TextConsole::Get().rowHeight;
    const ScreenMessage& a = ScreenMessage::Create(0.2f, 0.7f, "above the middle", 0, 0.4f);
    const ScreenMessage& b = ScreenMessage::Create(0.2f, 0.7f, "same place", 1, 0.4f);
    const ScreenMessage& c = ScreenMessage::Create(0.2f, 0.3f, "below", 2, 0.4f);
    const ScreenMessage& d = ScreenMessage::Create(0.2f, 0.3f + h / 2, "below too", 0, 0.4f);
    EXPECT_FLOAT_EQ(a.y, 0.7f);
    EXPECT_FLOAT_EQ(b.y, 0.7f - h) << "above 0.5 moves up";
    EXPECT_FLOAT_EQ(c.y, 0.3f);
    EXPECT_EQ(d.start, a.end) << "queued behind the first of its kind";
    g_game = 400;
    const size_t shown = a.Shown(g_game);
    EXPECT_EQ(shown, 10u);
    // Game time stands still while paused: nothing more is revealed.
    EXPECT_EQ(a.Shown(g_game), shown);
    ScreenMessages::RemoveKind(0);
    EXPECT_EQ(ScreenMessages::All().size(), 2u);
}

} // namespace
} // namespace console_test
