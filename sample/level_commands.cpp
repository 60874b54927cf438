// The training level's companion command file: one trigger of each kind,
// doors, objectives, the named values the wait-for phrases read ("trevok",
// "vell"), and WAIT FOR lines that hold the script until the player acts.
// The opening ECHO answers on the console, so a run shows the file started.
#include "sample/generator.h"

#include <cstdio>
#include <fstream>

namespace sample {
namespace {

constexpr const char* kCompanion =
    "// The training level's script\n"
    "ECHO\n"
    "TOKEN trevok\nTOKEN vell\nTOKEN boss\nTOKEN gate\nTOKEN lift\n"
    "SET trevok 1\nSET vell 2\nSET boss 3\nSET gate 4\nSET lift 4\n"
    "ADD OBJECTIVE 1 PRIMARY 10 1 1 2 3\n"
    "ADD OBJECTIVE 1 SECONDARY 11 3 4 5 6\n"
    "DOOR 20 0 20 1\n"
    "ADD TRIGGER DEATH win.tcs boss\n"
    "ADD TRIGGER LOCATION 10 0 10 3 reach.tcs\n"
    "ADD TRIGGER LOCATION_ALL 10 0 10 6 gathered.tcs\n"
    "ADD TRIGGER INSTANTDEATH 90 0 90 2\n"
    "ADD TRIGGER INSTANTDISPLACE 80 0 80 2 0 0 0\n"
    "ADD TRIGGER TIME 600 timeout.tcs\n"
    "ADD TRIGGER ESCORT 30 0 30 4 escorted.tcs trevok vell\n"
    "ADD TRIGGER PROXIMITY 5 boss near_boss.tcs\n"
    "ADD TRIGGER DOOR 20 0 18 3 gate\n"
    "ADD TRIGGER DOORS 20 0 18 20 0 22 3 gate\n"
    "ADD TRIGGER DOOR_ONCE 40 0 40 2 lift\n"
    "ADD TRIGGER DOORS_EITHER 20 0 18 20 0 22 3 gate\n"
    "ADD TRIGGER FOUR_DOORS 5 0 5 5 0 -5 -5 0 5 -5 0 -5 2 corners.tcs\n"
    "ADD TRIGGER LIGHT_UP 15 0 15 4 lit.tcs\n"
    "ADD TRIGGER DEFOG 50 0 50 10 12 0 12 8\n"
    "ADD TRIGGER SHOT 60 -5 60 60 0 70 8 trainingbot\n"
    "WAIT FOR CAMERA TO BE ROTATED\n"
    "TEXT 1001\n"
    "WAIT FOR ALL FRIENDLIES TO HAVE MOVED\n"
    "COMPLETE OBJECTIVE 10\n"
    "WAIT FOR ACTOR \"boss\" TO DIE\n"
    "OPEN DOOR 1\n";

bool WriteLevelCommands(const Context& ctx)
{
    const auto path = ctx.out / "scripts" / "training_level.tcs";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << kCompanion;
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

const StepRegistration kLevelCommands(41, "level commands", WriteLevelCommands);

} // namespace
} // namespace sample
