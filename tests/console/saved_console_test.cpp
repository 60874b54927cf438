// The console's part of a full saved game: queued lines and named values go
// through the file and come back in order; what the file cannot hold is
// cut to fit or left out, never made into a file that refuses to load.
#include "console/saved_console.h"

#include "console/command_script.h"
#include "console/named_values.h"
#include "session/saved_game.h"

#include <gtest/gtest.h>

namespace {

class SavedConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedGame::GetHooks() = {};
        SavedConsole::Install();
        CommandScript::Clear();
        NamedValueList::Global().Clear();
    }
    void TearDown() override
    {
        SavedGame::GetHooks() = {};
        CommandScript::Clear();
        NamedValueList::Global().Clear();
        CommandScript::RestoringSavedGame = false;
    }
    // The world as the file carries it: written, then read back.
    static SavedGame::World ThroughTheFile()
    {
        SavedGame::File file;
        file.levelScript = "l.tvs";
        file.companion = "l.tcs";
        file.levelStart = false;
        file.world.emplace();
        for (const auto& section : SavedGame::GetHooks().sections)
            section.save(*file.world);
        SavedGame::File back;
        std::string error;
        EXPECT_TRUE(SavedGame::Parse(SavedGame::Write(file), back, &error)) << error;
        return back.world.value_or(SavedGame::World{});
    }
};

TEST_F(SavedConsoleTest, LinesAndNamedValuesComeBackInOrder)
{
    const std::string longLine = std::string(249, 'a') + std::string(249, 'b') + "c";
    const struct {
        std::string text;
        std::vector<std::string> saved;
    } lines[] = {
        {"say hello", {"say hello"}},
        {"", {""}},
        {std::string(249, 'x'), {std::string(249, 'x')}},
        {longLine, {std::string(249, 'a'), std::string(249, 'b'), "c"}},
    };
    std::vector<std::string> expected;
    for (const auto& line : lines) {
        CommandScript::QueueLine(line.text.c_str());
        expected.insert(expected.end(), line.saved.begin(), line.saved.end());
    }
    NamedValueList::Global().Set("door", 3);
    NamedValueList::Global().Set(std::string(251, 'n'), 4);
    NamedValueList::Global().Set(std::string(252, 'n'), 5);  // cannot be stored
    NamedValueList::Global().Set("boss", -7.5f);

    SavedGame::World world = ThroughTheFile();
    EXPECT_EQ(world.lines, expected);
    const std::vector<std::pair<std::string, float>> named = {{"door", 3}, {std::string(251, 'n'), 4}, {"boss", -7.5f}};
    EXPECT_EQ(world.namedValues, named);

    CommandScript::Clear();
    NamedValueList::Global().Clear();
    for (const auto& section : SavedGame::GetHooks().sections)
        ASSERT_TRUE(section.load(world));
    EXPECT_EQ(CommandScript::QueuedLines(), expected);
    EXPECT_EQ(NamedValueList::Global().All(), named);
}

} // namespace
