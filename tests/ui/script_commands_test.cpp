// CENTRE and REPTXT through the console's dispatcher, and the repeating line
// following the command script's 'wait for' hold.
#include "ui/script_commands.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "console/command_script.h"
#include "console/console.h"
#include "console/developer_commands.h"
#include "console/world_commands.h"
#include "ui/repeat_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int64_t g_now = 0;
int64_t FakeNow() { return g_now; }

class ScriptCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = 1000;
        AppTime::SetRealClock(FakeNow);
        ScriptCommands::Install();
        TextConsole::Create();
        SetAppState(AppState::Playing);
    }
    void TearDown() override
    {
        RepeatText::Stop();
        TextConsole::Shutdown();
        SetAppState(AppState::None);
        CommandTable::Provide("CENTRE", nullptr);
        CommandTable::Provide("REPTXT", nullptr);
        CommandScript::SetWaitForObserver({});
        WorldCommands::Client() = {};
        ConsoleHooks::showTitle = nullptr;
        AppTime::SetRealClock(nullptr);
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }
    static std::string Last()
    {
        const auto& s = TextConsole::Get();
        if (!s.pending.empty())
            return s.pending.back().text;
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
};

TEST_F(ScriptCommandsTest, CentreRefusesWhatNamesNoObject)
{
    const struct {
        const char* line;
        AppState state;
        std::string printed;
    } cases[] = {
        {"CENTRE 3", AppState::MainMenu, "Only in a game."},
        {"CENTRE", AppState::Playing, "No id given, or a negative one."},
        {"CENTRE -7", AppState::Playing, "No id given, or a negative one."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TextConsole::Get().lines.clear();
        SetAppState(c.state);
        Run(c.line);
        EXPECT_EQ(Last(), c.printed);
    }
}

TEST_F(ScriptCommandsTest, ReptxtSetsAndStopsTheRepeatingLine)
{
    Run("REPTXT   Press the left button to select a unit.");
    EXPECT_TRUE(RepeatText::Active());
    EXPECT_EQ(RepeatText::Text(), "Press the left button to select a unit.");
    Run("REPTXT");
    EXPECT_FALSE(RepeatText::Active());
}

} // namespace
