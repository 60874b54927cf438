#include "console_fixture.h"
#include "console/command_file_queue.h"
#include "console/command_script.h"
#include "session/message_queue.h"

#include "app/demo.h"

namespace console_test {
namespace {

TEST_F(ConsoleTest, WaitHoldsTheNextLineForGameTime)
{
    Write("Scripts/w.tcs", "WAIT 2\r\nTEXT 5\r\n");
    Typed("BATCH w.tcs");
    struct Frame {
        int64_t game;
        bool printed;
    };
    for (const Frame f : {Frame{0, false}, {0, false}, {1999, false}, {2000, true}}) {
        g_game = f.game;
        CommandScript::Step();
        EXPECT_EQ(Last() == "Well done.", f.printed) << f.game;
    }
    EXPECT_FALSE(CommandScript::IsPending());
}

TEST_F(ConsoleTest, ClickEndsRealWaitOrClick)
{
    CommandScript::QueueLine("REAL WAIT OR CLICK 10");
    CommandScript::QueueLine("TEXT 1");
    EXPECT_FALSE(CommandScript::NotifyClick()) << "no click wait yet";
    EXPECT_TRUE(CommandScript::Step());
    EXPECT_FALSE(CommandScript::Step());
    EXPECT_TRUE(CommandScript::NotifyClick());
    EXPECT_FALSE(CommandScript::NotifyClick()) << "one click is recorded once";
    EXPECT_TRUE(CommandScript::Step());
    EXPECT_EQ(Last(), "Select a unit by clicking on it.");
}

TEST_F(ConsoleTest, RunAllStopsAtAHoldingWait)
{
    for (const char* line : {"SET res 1", "REAL WAIT 5", "SET res 2"})
        CommandScript::QueueLine(line);
    CommandScript::RunAll();
    EXPECT_EQ(Value("res"), 1.0f);
    EXPECT_EQ(CommandScript::Count(), 1u);
    g_real = 5000;
    CommandScript::RunAll();
    EXPECT_EQ(Value("res"), 2.0f);
}

TEST_F(ConsoleTest, WaitSecondsAreClamped)
{
    for (const char* line : {"WAIT 99999999", "WAIT -5", "WAIT nan"}) {
        CommandScript::Clear();
        CommandScript::QueueLine(line);
        CommandScript::QueueLine("SET res 9");
        NamedValueList::Global().Set("res", 0);
        g_game = 0;
        CommandScript::RunAll();
        g_game = int64_t(CommandScript::kMaxWaitSeconds) * kTps;
        CommandScript::RunAll();
        EXPECT_EQ(Value("res"), 9.0f) << line;
    }
}

TEST_F(ConsoleTest, LongLinesSplitAndCommentsAndChainsRun)
{
    const std::string longText(300 - 5, 'a');
    Write("Scripts/Sub/Second.TCS", "REM nothing\n// nor this\nINC res\n");
    Write("Scripts/first.tcs", "TEXT " + longText + "\nBATCH sub\\second.tcs\n");
    Typed("BATCH FIRST.tcs");
    EXPECT_EQ(CommandScript::Count(), 3u) << "the long line arrives as two";
    CommandScript::RunAll();
    const auto& lines = TextConsole::Get().lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text.size(), 249u - 5) << "less the name and the one separating character";
    EXPECT_EQ(lines.back().text, "Unrecognised command or token. (BATCH file FIRST.tcs, line 1)");
    EXPECT_EQ(Value("res"), 1.0f);
}

TEST_F(ConsoleTest, SelfBatchingFileStops)
{
    Write("Scripts/loop.tcs", "INC res\nBATCH loop.tcs\n");
    Typed("BATCH loop.tcs");
    CommandScript::RunAll();
    EXPECT_EQ(Value("res"), float(CommandScript::kMaxBatchDepth));
    EXPECT_NE(Last().find("nest too deep"), std::string::npos);
}

TEST_F(ConsoleTest, ALineThatResetsTheConsoleLeavesNoQueueAndNoWait)
{
    CommandTable::Global().Register("END LEVEL", "", [] { TextConsole::Reset(); }, 1);
    for (const char* line : {"END LEVEL", "SET res 1", "WAIT 5"})
        CommandScript::QueueLine(line);
    CommandScript::RunAll();
    EXPECT_FALSE(CommandScript::IsPending());
    EXPECT_EQ(Value("res"), 0.0f);
    TextConsole::ExecuteLine("REAL WAIT OR CLICK 5");
    EXPECT_TRUE(CommandScript::IsWaiting());
    TextConsole::ExecuteLine("END LEVEL");
    EXPECT_FALSE(CommandScript::IsWaiting());
}

TEST_F(ConsoleTest, LinesPerFileAreCapped)
{
    std::string many;
    for (int i = 0; i < CommandScript::kMaxLinesPerFile + 5; ++i)
        many += "INC res\n";
    Write("Scripts/many.tcs", many);
    Typed("BATCH many.tcs");
    EXPECT_EQ(CommandScript::Count(), size_t(CommandScript::kMaxLinesPerFile));
    EXPECT_NE(Last().find("too long"), std::string::npos);
    EXPECT_NE(Last().find("many.tcs, line 10001"), std::string::npos) << Last();
}

struct NameCase {
    const char* command; // BATCH, SAVE or LOAD
    const char* name;
    bool accepted;
};

class FileNames : public ConsoleTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(FileNames, StayInsideTheGameFolders)
{
    Write("Scripts/ok.tcs", "INC res\n");
    Write("Scripts/Sub/ok.tcs", "INC res\n");
    std::filesystem::create_directories(root_ / "Demos");
    Demo::File demo{"level.tvs", "level.tcs", {}, {}};
    const auto bytes = Demo::Serialize(demo);
    for (const char* where : {"ok.dem", "Demos/ok.dem"})
        Write(where, std::string(bytes.begin(), bytes.end()));
    const std::string line = std::string(GetParam().command) + " " + GetParam().name;
    TextConsole::ExecuteLine(line.c_str(), {LineSource::LevelFile, "lvl.tcs", 4});
    CommandScript::RunAll();
    if (GetParam().accepted) {
        EXPECT_TRUE(Last().empty() || Last().find("refused") == std::string::npos) << Last();
    } else {
        EXPECT_NE(Last().find("refused"), std::string::npos) << Last();
        EXPECT_NE(Last().find("level file lvl.tcs, line 4"), std::string::npos) << Last();
        EXPECT_EQ(Value("res"), 0.0f);
    }
    EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "escaped.dem"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNames,
    ::testing::Values(NameCase{"BATCH", "ok.tcs", true}, NameCase{"BATCH", "sub/ok.tcs", true},
                      NameCase{"BATCH", "SUB\\OK.TCS", true}, NameCase{"BATCH", "../scripts/ok.tcs", false},
                      NameCase{"BATCH", "/etc/passwd", false}, NameCase{"BATCH", "sub\\..\\..\\x.tcs", false},
                      NameCase{"BATCH", "c:\\x.tcs", false}, NameCase{"LOAD", "OK.DEM", true},
                      NameCase{"LOAD", "demos\\ok.dem", true}, NameCase{"LOAD", "../ok.dem", false},
                      NameCase{"LOAD", "/tmp/ok.dem", false}, NameCase{"SAVE", "new.dem", true},
                      NameCase{"SAVE", "Demos/New.dem", true}, NameCase{"SAVE", "../escaped.dem", false},
                      NameCase{"SAVE", "/tmp/escaped.dem", false}));

TEST_F(ConsoleTest, SaveWritesTheDemoWhole)
{
    Demo::Buffers& b = Demo::Global();
    b.levelScript = "a.tvs";
    b.commandFile = "a.tcs";
    b.count = 1;
    b.events[0] = InputEvent{256, 30, 0, 0, 30, 1};
    b.times[0] = 1.5f;
    Typed("SAVE out.dem");
    const auto size = std::filesystem::file_size(root_ / "out.dem");
    EXPECT_EQ(size, 12u + 6 + 6 + 28);
    EXPECT_FALSE(std::filesystem::exists(root_ / "out.dem.tmp"));
    b.count = 0;
    Typed("LOAD out.dem");
    EXPECT_EQ(b.count, 1u);
    EXPECT_EQ(b.times[0], 1.5f);
}

} // namespace
} // namespace console_test

// The server's command files reach the console one a frame, by their bare
// names in the scripts folder (any case); names with a folder, or that are
// not one text, queue nothing.
namespace console_test {

TEST_F(ConsoleTest, QueuedCommandFilesRunByBareNameOnly)
{
    Write("Scripts/Door.tcs", "INC res\n");
    auto push = [](const std::string& bytes) { CommandFileQueue.Push(bytes.data(), uint32_t(bytes.size())); };
    for (const std::string& bad : {std::string("..\\Scripts\\door.tcs", 20), std::string("/etc/passwd", 12),
                                   std::string("sub\\door.tcs", 13), std::string("door.tcs"), std::string("", 1)})
        push(bad);
    for (int i = 0; i < 5; ++i)
        RunQueuedCommandFile();
    EXPECT_EQ(CommandScript::Count(), 0u);
    push(std::string("DOOR.tcs", 9));
    RunQueuedCommandFile();
    RunQueuedCommandFile(); // nothing left: nothing happens
    CommandScript::RunAll();
    EXPECT_EQ(Value("res"), 1.0f);
    CommandFileQueue.Clear();
}

} // namespace console_test
