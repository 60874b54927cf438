#include "console/saved_console.h"

#include "console/command_script.h"
#include "console/named_values.h"
#include "session/saved_game.h"

#include <algorithm>

namespace SavedConsole {
namespace {

// A queued line longer than a saved line may be goes in pieces, as a
// command file's long lines are queued; a named value whose name the file
// cannot hold stays out (it could not be read back).
void Save(SavedGame::World& world)
{
    constexpr size_t kPiece = SavedGame::kMaxLineLength;
    for (const std::string& line : CommandScript::QueuedLines()) {
        if (line.empty()) {
            world.lines.push_back(line);
            continue;
        }
        for (size_t at = 0; at < line.size(); at += kPiece)
            world.lines.push_back(line.substr(at, kPiece));
    }
    for (auto& named : NamedValueList::Global().All()) {
        if (!named.first.empty() && named.first.size() <= SavedGame::kMaxNamedValueLength)
            world.namedValues.push_back(std::move(named));
    }
}

bool Load(const SavedGame::World& world)
{
    // The saved lines take the place of the level's companion file.
    const LineOrigin origin{LineSource::SavedGame, {}, 0, 0};
    for (const std::string& line : world.lines)
        CommandScript::QueueLine(line.c_str(), origin);
    for (const auto& [name, value] : world.namedValues)
        NamedValueList::Global().Set(name, value);
    return true;
}

void Restoring(bool on) { CommandScript::RestoringSavedGame = on; }

} // namespace

void Install() { SavedGame::AddSection({Save, Load, Restoring}); }

} // namespace SavedConsole
