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

    SetAppState(AppState::None);
    Effects::ClearAll();
    TextConsole::Shutdown();
}

} // namespace
