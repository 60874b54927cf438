// Writes the sample resource library "tvres.dll": our own English texts for
// the string ids the program uses, as string-table resources of a PE file.
#include "sample/generator.h"

#include "console/console_texts.h"
#include "platform/resources.h"

#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <utility>

namespace {

struct KeyText {
    int unshiftedId;
    int shiftedId; // 0: the key has one text
    const char* unshifted;
    const char* shifted;
};

// The characters the keys of a US keyboard type, by the ids the console's
// key names use.
constexpr KeyText kKeyTexts[] = {
    {55, 54, "1", "!"}, {57, 56, "2", "@"}, {59, 58, "3", "#"}, {61, 60, "4", "$"}, {63, 62, "5", "%"},
    {65, 64, "6", "^"}, {67, 66, "7", "&"}, {69, 68, "8", "*"}, {71, 70, "9", "("}, {73, 72, "0", ")"},
    {82, 0, "-", nullptr}, {85, 84, "=", "+"},
    {34, 33, "q", "Q"}, {46, 45, "w", "W"}, {10, 9, "e", "E"}, {36, 35, "r", "R"}, {40, 39, "t", "T"},
    {50, 49, "y", "Y"}, {42, 41, "u", "U"}, {18, 17, "i", "I"}, {30, 29, "o", "O"}, {32, 31, "p", "P"},
    {87, 0, "[", nullptr}, {88, 0, "]", nullptr},
    {2, 1, "a", "A"}, {38, 37, "s", "S"}, {8, 7, "d", "D"}, {12, 11, "f", "F"}, {14, 13, "g", "G"},
    {16, 15, "h", "H"}, {20, 19, "j", "J"}, {22, 21, "k", "K"}, {24, 23, "l", "L"}, {79, 78, ";", ":"},
    {86, 0, "'", nullptr},
    {52, 51, "z", "Z"}, {48, 47, "x", "X"}, {6, 5, "c", "C"}, {44, 43, "v", "V"}, {4, 3, "b", "B"},
    {28, 27, "n", "N"}, {26, 25, "m", "M"}, {77, 76, ",", "<"}, {75, 74, ".", ">"}, {81, 80, "/", "?"},
    {53, 0, " ", nullptr}, {83, 0, "-", nullptr},
};

std::map<uint32_t, std::string> SampleTexts()
{
    std::map<uint32_t, std::string> t;
    for (const KeyText& k : kKeyTexts) {
        t[uint32_t(k.unshiftedId)] = k.unshifted;
        if (k.shiftedId)
            t[uint32_t(k.shiftedId)] = k.shifted;
    }
    // Messages.
    t[6088] = "That cannot be done now: the game was not saved.";
    t[6089] = "That cannot be done now: no game was loaded.";
    t[6099] = "Loading level";
    // Interface texts and key names.
    t[7000] = "Up";
    t[7001] = "Down";
    t[7002] = "Left";
    t[7003] = "Right";
    t[7004] = "Tab";
    t[7005] = "Backspace";
    t[7006] = "`";
    t[7007] = "on";
    t[7008] = "off";
    t[7033] = "Trevok version ";
    // Status window, unit keys and the command wheel.
    t[7035] = "(unnamed role)";
    t[7040] = "WATCH";
    t[7041] = "GENERAL";
    t[7042] = "STATUS";
    t[7043] = "Frames a second";
    t[7044] = "Watching ";
    t[7045] = "Selected ";
    t[7046] = "Team";
    t[7047] = "Id";
    t[7048] = "(no name)";
    // Briefing texts (BRIEFING TEXT n shows 1001 + n) and the in-game menus.
    t[1001] = "Mission two: the pumping station.";
    t[1002] = "Reach the valve hall and hold it until the engineers arrive.";
    t[1003] = "Expect patrols on the lower walkways.";
    t[1004] = "The station is ours. Well done, squad.";
    t[1005] = "The squad is lost. The mission has failed.";
    t[227] = "A multiplayer game cannot be restarted.";
    t[231] = "Mission over";
    t[251] = "Game menu";
    t[7065] = "Save game";
    t[7066] = "Load game";
    t[7067] = "Restart level";
    t[7068] = "Leave level";
    t[7069] = "Level";
    t[7070] = "Saved";
    t[7077] = "Back to the game";
    t[7087] = "I have nothing to load it with.";
    t[7088] = "I carry no such weapon.";
    t[13003] = "Crouch or stand";
    t[13004] = "Ammunition";
    t[13005] = "Upgrade";
    t[13006] = "Stop";
    t[13007] = "Standing orders";
    t[13008] = "Attack";
    t[13029] = "Hold fire";
    t[13030] = "Stand ground";
    t[13031] = "Defend";
    t[13032] = "Pursue";
    t[13033] = "Cautious";
    t[13034] = "Normal";
    t[13035] = "Aggressive";
    t[7039] = "Trevok";
    t[7049] = "TrevokMainWindow";
    // The level load's texts and the hints shown under them.
    t[279] = "This machine runs the server only";
    t[6093] = "Preparing the level";
    t[6094] = "Loading sounds";
    t[6095] = "Building the level";
    t[6096] = "Loading textures";
    t[6098] = "Computing the level's shadows";
    t[6101] = "Waiting for the other players";
    const char* hints[] = {"Hint: crouching units are harder to hit",
                           "Hint: the command wheel gives standing orders",
                           "Hint: Escape opens the game menu"};
    for (uint32_t i = 0; i < std::size(hints); ++i)
        t[1001 + i] = hints[i];
    // Objective texts, from 2000.
    t[2000] = "Reach the exit";
    t[2001] = "Destroy the generator";
    t[2002] = "Keep Trevok alive";
    // The bindable keys, as the key file names them.
    const std::pair<uint32_t, const char*> bindings[] = {
        {6020, "Turn camera left"},  {6021, "Turn camera right"}, {6022, "Camera forward"},
        {6023, "Camera back"},       {6024, "Camera up"},         {6025, "Camera down"},
        {6026, "Next unit"},         {6027, "Previous unit"},     {6028, "Lock camera"},
        {6029, "Pause"},             {6031, "Next squad member"}, {6033, "Update frame"},
        {6034, "Resolve alerts"},    {6035, "Crouch"},            {6036, "Upgrade screen"},
        {3046, "Item hot key 1"},    {3048, "Item hot key 2"},    {3047, "Item hot key 3"},
        {6037, "Item hot key 4"},    {6038, "Ready weapon"},
    };
    for (const auto& [id, text] : bindings)
        t[id] = text;
    // The front end's screens, items, choices and messages.
    const std::pair<uint32_t, const char*> menus[] = {
        {228, "Single player"},     {229, "Multiplayer"},        {230, "Options"},
        {231, "Quit"},              {232, "Saved games"},        {233, "Missions"},
        {238, "Display modes"},     {239, "Display devices"},    {240, "Key bindings"},
        {241, "Game options"},      {242, "3-D options"},        {243, "Ready"},
        {244, "Start mission"},     {247, "Display switch 1"},   {248, "Display switch 2"},
        {249, "Display switch 3"},  {250, "Display switch 4"},   {251, "Main menu"},
        {252, "Options"},           {253, "Display modes"},      {254, "Display devices"},
        {255, "Missions"},          {256, "Key bindings"},       {257, "Game options"},
        {258, "Single player"},     {259, "Connections"},        {260, "Sessions"},
        {261, "Address"},           {262, "Network game"},       {264, "Lobby"},
        {208, "Players"},           {265, "3-D options"},        {267, "That key is already bound."},
        {275, "Keep this display mode?"}, {276, "Keep it"},      {277, "Camera speed"},
        {280, "Saved games"},       {281, "Box selection"},      {290, "Mouse buttons"},
        {292, "Player"},            {293, "Trevok game"},        {308, "Training"},
        {314, "Mission five"},      {6085, "Shadows"},           {6086, "Textures"},
        {6087, "Colour depth"},     {6090, "Invert mouse"},      {7015, "Space"},
        {7062, "16 bits"},          {7063, "24 bits"},           {7064, "32 bits"},
        {7071, "slow"},             {7072, "medium"},            {7073, "fast"},
        {7078, "low"},              {7079, "high"},              {7080, "highest"},
        {7083, "lowest"},           {7084, "middle button drags"}, {7085, "right button drags"},
    };
    for (const auto& [id, text] : menus)
        t[id] = text;
    // Command names and their help.
    t[9000] = "QUIT";
    t[8005] = "Leaves the game.";
    t[9001] = "EXIT";
    t[8006] = "Leaves the game.";
    t[9002] = "LEAVE LEVEL";
    t[8007] = "Leaves the level for the main menu.";
    t[9003] = "LIST COMMANDS";
    t[9004] = "CONSOLE LINES";
    t[8009] = "Sets how many lines the console shows (1 to 14).";
    t[9018] = "CONSOLE INSTANT";
    t[8023] = "ON makes the console appear at once instead of sliding.";
    t[9019] = "HELP";
    t[8024] = "Shows the help of a command, or lists the commands.";
    t[9020] = "PENDING LINES";
    t[9021] = "PENDINGLINES";
    t[8025] = "Sets how many typed lines the console keeps (1 to 200).";
    t[9022] = "CLEAR";
    t[8026] = "Empties the console.";
    t[9026] = "OUTPUT LINES";
    t[9027] = "OUTPUTLINES";
    t[8030] = "Sets how many printed lines the console keeps (1 to 100).";
    t[9038] = "DATE";
    t[8001] = "Shows today's date.";
    t[9039] = "TIME";
    t[8002] = "Shows the time of day.";
    t[8015] = "Binds a key to a console command: BIND key command.";
    // The console's texts, and a text for every id of its ranges.
    for (const auto& [id, text] : ConsoleTexts())
        t.emplace(id, text);
    for (auto [first, last] : {std::pair{6041u, 6069u}, {7000u, 7038u}, {8000u, 8058u}, {9000u, 9039u}})
        for (uint32_t id = first; id <= last; ++id)
            t.emplace(id, "Text " + std::to_string(id));
    return t;
}

bool WriteResources(const sample::Context& ctx)
{
    std::string error;
    if (!platform::WriteStringTableLibrary(ctx.out / "tvres.dll", SampleTexts(), &error)) {
        std::fprintf(stderr, "sample_gen: %s\n", error.c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kResources(10, "resources", WriteResources);

} // namespace
