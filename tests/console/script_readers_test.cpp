// Handlers a higher layer provides for listed rows, and the position reader
// with its dummy and cursor sources.
#include "console_fixture.h"

#include "app/app_state.h"
#include "console/readers.h"

#include <strings.h>

namespace {

using console_test::ConsoleTest;

int g_calls = 0;
void Provided() { ++g_calls; }

TEST_F(ConsoleTest, ProvidedHandlersTakeTheRowsPlace)
{
    g_calls = 0;
    const ConsoleCommand* before = CommandTable::Global().FindExact("RING");
    ASSERT_NE(before, nullptr);
    const std::string help = before->help;
    const int count = CommandTable::Global().Count();

    CommandTable::Provide("RING", Provided); // into the filled table
    Typed("RING 1 2 3");
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(CommandTable::Global().Count(), count);
    EXPECT_EQ(CommandTable::Global().FindExact("RING")->help, help);

    TextConsole::Shutdown();
    TextConsole::Create(); // and into a fresh one
    Typed("RING");
    EXPECT_EQ(g_calls, 2);
    CommandTable::Provide("RING", nullptr);
    TextConsole::Shutdown();
    TextConsole::Create();
    Typed("RING");
    EXPECT_EQ(g_calls, 2);
}

TEST_F(ConsoleTest, PositionsFromNumbersDummiesAndTheCursor)
{
    auto& sources = TextConsole::Positions();
    sources.dummy = [](const std::string& name, Vec3& at, Quaternion* turn) {
        if (strcasecmp(name.c_str(), "door") != 0)
            return false;
        at = {7, 8, 9};
        *turn = {0, 1, 0, 0};
        return true;
    };
    sources.cursorGround = nullptr;
    SetAppState(AppState::Playing);
    struct Case {
        const char* line;
        bool ok;
        Vec3 at;
        const char* printed;
    } const cases[] = {
        {"1 2 3", true, {1, 2, 3}, ""},
        {"-1.5 2", true, {-1.5f, 2, 0}, ""},
        {"DOOR", true, {7, 8, 9}, ""},
        {"window", false, {}, "Invalid dummy object specified."},
        {"1 6666666666666666666666666666666666666666666 3", false, {}, "Position out of range."},
        {"", false, {}, TextConsole::Text(6057)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TextConsole::Get().lines.clear();
        TextConsole::SetLine(c.line);
        Vec3 at{-1, -1, -1};
        Quaternion turn = Quaternion::Identity();
        EXPECT_EQ(TextConsole::ReadPosition(at, &turn), c.ok);
        if (c.ok) {
            EXPECT_EQ(at.x, c.at.x);
            EXPECT_EQ(at.y, c.at.y);
            EXPECT_EQ(at.z, c.at.z);
        } else {
            EXPECT_EQ(at.x, -1.0f); // untouched on failure
            EXPECT_EQ(Last(), c.printed);
        }
    }
    SetAppState(AppState::MainMenu);
    TextConsole::SetLine("1 2 3");
    Vec3 at;
    EXPECT_FALSE(TextConsole::ReadPosition(at));
    EXPECT_EQ(Last(), TextConsole::Text(6056));
    SetAppState(AppState::None);
    sources = {};
}

} // namespace
