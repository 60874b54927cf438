#include "ui/repeat_text.h"

#include "app/app_time.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/text_console.h"
#include "console/wait_for.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int64_t g_now = 0;
int64_t FakeNow() { return g_now; }

class RepeatTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = 1000;
        AppTime::SetRealClock(FakeNow);
        TextConsole::Get().lines.clear();
    }
    void TearDown() override
    {
        RepeatText::Stop();
        AppTime::SetRealClock(nullptr);
    }
    static int64_t Seconds(double s) { return int64_t(s * double(AppTime::TicksPerSecond())); }
    static size_t Printed(const std::string& text)
    {
        size_t n = 0;
        for (const auto& line : TextConsole::Get().lines)
            n += line.text == text;
        return n;
    }
};

TEST_F(RepeatTextTest, PrintsEveryTwentySecondsUntilTheWaitIsMet)
{
    RepeatText::Set("Press F1 to answer");
    // Seconds after Set and whether that tick prints.
    struct Step {
        double at;
        bool prints;
    } steps[] = {{0.0, false}, {19.0, false}, {20.0, true}, {21.0, false}, {39.0, false}, {40.0, true}};
    const int64_t start = g_now;
    for (const Step& s : steps) {
        g_now = start + Seconds(s.at);
        TextConsole::Get().lines.clear();
        RepeatText::Tick();
        EXPECT_EQ(Printed("Press F1 to answer"), s.prints ? 1u : 0u) << s.at;
    }
    RepeatText::Stop(); // the wait is met
    g_now = start + Seconds(60);
    TextConsole::Get().lines.clear();
    RepeatText::Tick();
    EXPECT_EQ(Printed("Press F1 to answer"), 0u);
}

TEST_F(RepeatTextTest, LongTextIsCutAndNullIsEmpty)
{
    RepeatText::Set(std::string(300, 'x').c_str());
    EXPECT_EQ(RepeatText::Text().size(), RepeatText::kMaxLength);
    RepeatText::Set(nullptr);
    EXPECT_TRUE(RepeatText::Text().empty());
    EXPECT_TRUE(RepeatText::Active());
}


struct PauseWorld : WaitForWorld {
    bool paused = false;
    bool Paused() const override { return paused; }
};

TEST_F(RepeatTextTest, TheTrainingScriptRepeatsItsLineWhileItsWaitHolds)
{
    CommandTable::Global().Clear();
    CommandTable::RegisterAll();
    RepeatText::Install();
    PauseWorld world;
    WaitFor::SetWorld(&world);
    const LineOrigin origin{LineSource::LevelFile, "training.tcs", 1};
    CommandScript::QueueLine("REPTXT Press the pause key", origin);
    CommandScript::QueueLine("WAIT FOR ACTIVE PAUSE", origin);
    CommandScript::QueueLine("REPTXT Now select a unit", origin);
    CommandScript::Step();
    CommandScript::Step();
    const int64_t start = g_now;
    struct Step {
        double at;
        bool paused;
        size_t printed;
    } steps[] = {{1, false, 0}, {19.9, false, 0}, {20, false, 1}, {30, false, 0}, {40, false, 1}, {45, true, 0},
                 {60, false, 0}, {80, false, 0}};
    for (const Step& s : steps) {
        g_now = start + Seconds(s.at);
        world.paused = s.paused;
        TextConsole::Get().lines.clear();
        CommandScript::Step();
        EXPECT_EQ(Printed("Press the pause key"), s.printed) << s.at;
    }
    // Once met, the script went on to its next line, whose text now repeats.
    EXPECT_TRUE(RepeatText::Active());
    EXPECT_EQ(RepeatText::Text(), "Now select a unit");
    WaitFor::SetWorld(nullptr);
    CommandScript::Clear();
    CommandScript::SetWaitForObserver({});
    CommandTable::Global().Clear();
}

} // namespace
