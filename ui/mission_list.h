// The missions of the single-player campaign in their order: the mission
// screen lists them, NEXT LEVEL moves from one to the next, and ADD MISSION
// appends one from a script.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace MissionList {

struct Mission {
    std::string name;      // shown on the mission screen; also the mission's save name
    std::string level;     // the level's definition script
    std::string companion; // its command file
};

void Add(std::string_view name, std::string_view level, std::string_view companion);
int Count();
// Null outside the list.
const Mission* At(int index);
// The mission whose level script is `level` (letter case aside); -1 when none.
int Find(std::string_view level);
void Clear();
// Mission `index`'s level names become the ones the next level start uses.
bool MakeCurrent(int index);

// The console rows: ADD MISSION level companion, and NEXT LEVEL.
void AddMissionCommand();
void NextLevelCommand();
// A mission name that can name its level-start save: no separator, no "..",
// not absolute, not empty.
bool IsSafeSaveName(std::string_view name);

} // namespace MissionList
