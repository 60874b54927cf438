// The sample's command tour: every world, camera and effect command once,
// run headless through the console in game with no server or client.
// Each line must reach a built command of its own, and none may fail.
#include "app/app_state.h"
#include "console/command_table.h"
#include "console/console.h"
#include "console/text_console.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "ui/camera_commands.h"
#include "ui/script_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> TourLines()
{
    std::ifstream in(std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "scripts" / "command_tour.tcs");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.rfind("//", 0) != 0)
            lines.push_back(line);
    return lines;
}

bool Failed(const std::string& printed)
{
    return printed.find("not built yet") != std::string::npos ||
           printed.find("Unrecognised command") != std::string::npos;
}

TEST(CommandTour, EveryLineRunsItsOwnBuiltCommand)
{
    TextConsole::Create();
    CommandTable::Global().RegisterAll();
    CameraCommands::Install();
    EffectCommands::Install();
    ScriptCommands::Install();
    SetAppState(AppState::Playing);

    const std::vector<std::string> lines = TourLines();
    ASSERT_FALSE(lines.empty()) << "the sample has no command tour";
    std::set<std::string> reached;
    for (const std::string& line : lines) {
        const ConsoleCommand* command = CommandTable::Global().Match(line.c_str());
        ASSERT_NE(command, nullptr) << line;
        EXPECT_TRUE(reached.insert(command->name).second) << line << ": a second line for " << command->name;
        const size_t before = TextConsole::Get().lines.size() + TextConsole::Get().pending.size();
        TextConsole::ExecuteAtFullAccess(line.c_str());
        const auto& console = TextConsole::Get();
        std::vector<std::string> printed;
        for (const auto& l : console.lines)
            printed.push_back(l.text);
        for (const auto& l : console.pending)
            printed.push_back(l.text);
        for (size_t i = std::min(before, printed.size()); i < printed.size(); ++i)
            EXPECT_FALSE(Failed(printed[i])) << line << ": " << printed[i];
    }
    EXPECT_EQ(reached.size(), lines.size());

    // The level dispatcher's fuzz dictionary knows every command the tour
    // reaches, so the fuzzer finds each row's own word.
    std::ifstream dictionary(std::filesystem::path(TREVOK_FIXTURES_DIR) / ".." / ".." / "fuzz" / "console" /
                             "level_commands.dict");
    std::set<std::string> words;
    for (std::string entry; std::getline(dictionary, entry);)
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            words.insert(entry.substr(1, entry.size() - 2));
    ASSERT_FALSE(words.empty()) << "no fuzz dictionary";
    for (const std::string& name : reached) {
        std::string word = name;
        while (!word.empty() && word.back() == ' ')
            word.pop_back();
        EXPECT_TRUE(words.count(word)) << word << " is missing from the fuzz dictionary";
    }

    SetAppState(AppState::None);
    Effects::ClearAll();
    TextConsole::Shutdown();
}

} // namespace
