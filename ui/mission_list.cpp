#include "ui/mission_list.h"

#include "app/app_state.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "session/game_state.h"
#include "session/item_snapshot.h"
#include "session/level_session.h"
#include "session/message_queue.h"
#include "session/saved_game.h"
#include "session/session_placeholders.h"
#include "ui/ui_placeholders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace MissionList {
namespace {

// The shell's exit handlers outlive function statics; the list sits here.
std::vector<Mission> g_missions;

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void Add(std::string_view name, std::string_view level, std::string_view companion)
{
    g_missions.push_back({std::string(name), std::string(level), std::string(companion)});
}

int Count() { return int(g_missions.size()); }

const Mission* At(int index) { return index >= 0 && index < Count() ? &g_missions[size_t(index)] : nullptr; }

int Find(std::string_view level)
{
    for (int i = 0; i < Count(); ++i)
        if (SameLetters(g_missions[size_t(i)].level, level))
            return i;
    return -1;
}

void Clear() { g_missions.clear(); }

bool MakeCurrent(int index)
{
    const Mission* m = At(index);
    if (!m)
        return false;
    Session::Names() = {m->level, m->companion};
    return true;
}

bool IsSafeSaveName(std::string_view name)
{
    if (name.empty() || name.find_first_of("/\\:") != std::string_view::npos || name == "." || name == "..")
        return false;
    return !std::filesystem::path(std::string(name)).is_absolute();
}

void AddMissionCommand()
{
    const std::string level = TextConsole::ReadWord();
    const std::string companion = TextConsole::ReadWord();
    if (level.empty()) {
        TextConsole::Print("ADD MISSION: a level script and its command file are needed.");
        return;
    }
    // The level file also names the mission (and so its save).
    Add(level, level, companion);
}

void NextLevelCommand()
{
    const int current = Find(Session::Names().script);
    if (current < 0 || current + 1 >= Count()) {
        EndOfGameRequest = 1; // the campaign ends, as LEAVE GAME ends a level
        return;
    }
    const Mission next = g_missions[size_t(current) + 1];
    NamedValueList::Global().Clear();
    InventorySnapshot::Global().Take();
    StopLevel();
    // The finished level's debriefing runs before the next names are taken.
    Briefing::Enter(false);
    {
        GameState::Hold hold;
        ClientToServerQueue.Clear();
        ServerToClientQueue.Clear();
    }
    MakeCurrent(current + 1);
    // The save is made from the mission's name: it must stay in the saves folder.
    if (!IsSafeSaveName(next.name)) {
        TextConsole::Print(("NEXT LEVEL: \"" + next.name + "\" cannot name a saved game; the level start is not saved.").c_str());
        return;
    }
    if (!SaveGame((next.name + ".sav").c_str(), 0))
        TextConsole::Print(("NEXT LEVEL: the level start of \"" + next.name + "\" could not be saved.").c_str());
}

} // namespace MissionList
