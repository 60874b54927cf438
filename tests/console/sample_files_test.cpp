#include "console_fixture.h"

#include "app/app_state.h"
#include "app/demo.h"

#include <cstdlib>

namespace console_test {
namespace {

class SampleFiles : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        const char* sample = std::getenv("TREVOK_SAMPLE_DATA");
        ASSERT_NE(sample, nullptr);
        app::DataDirectories::Global().SetStartDirectory(sample);
    }
};

TEST_F(SampleFiles, BatchChainRunsThroughThreeFiles)
{
    Typed("BATCH console\\CHAIN1.tcs");
    CommandScript::RunAll();
    EXPECT_EQ(Value("chain"), 3.0f);
    const auto& lines = TextConsole::Get().lines;
    const bool welldone = std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.text == "Well done."; });
    EXPECT_TRUE(welldone);
    EXPECT_EQ(Last(), "chain = 3");
}

TEST_F(SampleFiles, CrLfAndLongLines)
{
    Typed("BATCH console/crlf.tcs");
    Typed("BATCH console/long_line.tcs");
    EXPECT_EQ(CommandScript::Count(), 5u) << "three CR LF lines and the long line as two";
    CommandScript::RunAll();
    EXPECT_EQ(Value("crlf"), 1.0f) << "no CR left on the name";
}

TEST_F(SampleFiles, WaitsHoldOnTheSampleFile)
{
    Typed("BATCH console/waits.tcs");
    CommandScript::RunAll();
    EXPECT_EQ(CommandScript::Count(), 3u) << "held at WAIT 2";
    g_game = 2 * kTps;
    CommandScript::RunAll();
    EXPECT_EQ(CommandScript::Count(), 1u) << "held at REAL WAIT OR CLICK";
    EXPECT_TRUE(CommandScript::NotifyClick());
    CommandScript::RunAll();
    EXPECT_FALSE(CommandScript::IsPending());
}

TEST_F(SampleFiles, DemosLoad)
{
    SetAppState(AppState::MainMenu);
    Typed("LOAD tvdemo0.dem");
    EXPECT_EQ(Demo::Global().count, 5u);
    EXPECT_EQ(Demo::Global().levelScript, "training_level.tvs");
    Typed("LOAD EMPTY.DEM");
    EXPECT_EQ(Demo::Global().count, 0u);
    SetAppState(AppState::None);
}

} // namespace
} // namespace console_test
