#include "ui/repeat_text.h"

#include "app/app_time.h"
#include "console/text_console.h"

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

} // namespace
