// The program's command table: every row in its order of registration (the
// order decides which of two equal names wins).
#include "console/command_script.h"
#include "console/demo_commands.h"
#include "console/developer_commands.h"
#include "console/level_commands.h"
#include "console/named_values.h"
#include "console/session_commands.h"
#include "console/text_console.h"
#include "console/world_commands.h"

#include <iterator>

namespace {

void CommandToken()
{
    const std::string name = TextConsole::ReadWord();
    if (name.empty())
        TextConsole::Print(TextConsole::Text(6054));
    else
        NamedValueList::Global().Set(name, 0.0f);
}

void CommandSet()
{
    if (CommandScript::RestoringSavedGame)
        return;
    const std::string name = TextConsole::ReadWord();
    const float value = TextConsole::ReadFloat(0.0f);
    if (!NamedValueList::Global().SetIfPresent(name, value))
        TextConsole::PrintFailure(std::string(TextConsole::Text(6076)) + " " + name);
}

void CommandInc()
{
    if (CommandScript::RestoringSavedGame)
        return;
    const std::string name = TextConsole::ReadWord();
    float value = 0.0f;
    if (!NamedValueList::Global().Get(name, value) || !NamedValueList::Global().SetIfPresent(name, value + 1.0f))
        TextConsole::PrintFailure(std::string(TextConsole::Text(6076)) + " " + name);
}

void CommandListTokens() { NamedValueList::Global().PrintAll(); }

struct Row {
    uint32_t nameId; // string id of the name, or 0 for the literal
    const char* name;
    int level;
    uint32_t helpId;
    const char* help;
    CommandHandler handler;
};

constexpr Row kRows[] = {
    {9000, nullptr, 0, 8005, nullptr, ConsoleControl::Quit},
    {9001, nullptr, 0, 8006, nullptr, ConsoleControl::Quit},
    {9002, nullptr, 0, 8007, nullptr, DeveloperCommands::LeaveGame},
    {9004, nullptr, 0, 8009, nullptr, TextConsole::CommandLines},
    {9018, nullptr, 0, 8023, nullptr, TextConsole::CommandInstant},
    {9019, nullptr, 0, 8024, nullptr, ConsoleControl::Help},
    {9020, nullptr, 0, 8025, nullptr, TextConsole::CommandPendingCap},
    {9021, nullptr, 0, 8025, nullptr, TextConsole::CommandPendingCap},
    {9022, nullptr, 0, 8026, nullptr, TextConsole::CommandClear},
    {9026, nullptr, 0, 8030, nullptr, TextConsole::CommandOutputCap},
    {9027, nullptr, 0, 8030, nullptr, TextConsole::CommandOutputCap},
    {9038, nullptr, 1, 8001, nullptr, DeveloperCommands::Date},
    {9039, nullptr, 1, 8002, nullptr, DeveloperCommands::TimeOfDay},
    {0, "BIND", 0, 8015, nullptr, TextConsole::CommandBind},
    {0, "GOD", 1, 0, "You shouldn't need help with this one.", DeveloperCommands::God},
    {0, "WIREFRAME", 1, 0, "Toggles wireframe mode.", DeveloperCommands::Wireframe},
    {0, "RESET TIME", 1, 0, "Developer note: resets the game timer to the server time.", DeveloperCommands::ResetTime},
    {0, "TIMER INFO", 1, 0, "Developer note: prints the timers.", DeveloperCommands::TimerInfo},
    {0, "INFINITE AMMO", 1, 0, "You shouldn't need help with this one.", DeveloperCommands::InfiniteAmmo},
    {0, "SHOW ZOOM", 1, 0, "Gets the camera zoom.", DeveloperCommands::NotBuilt},
    {0, "ADD", 1, 8010, nullptr, WorldCommands::Add},
    {0, "ADDTEAM", 1, 8011, nullptr, WorldCommands::AddTeam},
    {0, "ADD TEAM", 1, 8012, nullptr, WorldCommands::AddTeam},
    {0, "DELETE", 1, 8013, nullptr, WorldCommands::Delete},
    {0, "DELETE TEAM", 1, 0, "Removes an entire team from the game.", WorldCommands::DeleteTeam},
    {0, "SPAWN", 1, 0, "Adds a number of actors dependent on difficulty level.", WorldCommands::Spawn},
    {0, "SPAWNTEAM", 1, 0, "Adds a number of actors dependent on difficulty level.", WorldCommands::SpawnTeam},
    {0, "SPAWN TEAM", 1, 0, "Adds a number of actors dependent on difficulty level.", WorldCommands::SpawnTeam},
    {0, "EASY", 1, 0, "Only executes on EASY difficulty setting.", WorldCommands::Easy},
    {0, "MEDIUM", 1, 0, "Only executes on MEDIUM difficulty setting.", WorldCommands::Medium},
    {0, "HARD", 1, 0, "Only executes on HARD difficulty setting.", WorldCommands::Hard},
    {0, "SELECT", 1, 8014, nullptr, WorldCommands::Select},
    {0, "SUNANGLE", 1, 8017, nullptr, DeveloperCommands::NotBuilt},
    {0, "SUNANGLE2", 1, 0, "Sets the second sunangle in degrees.", DeveloperCommands::NotBuilt},
    {0, "SUNBRIGHTNESS", 1, 8018, nullptr, DeveloperCommands::NotBuilt},
    {0, "AMBIENT", 1, 0, "Sets the ambient sunlight.", DeveloperCommands::NotBuilt},
    {0, "LIST UNITS", 1, 8020, nullptr, WorldCommands::ListUnits},
    {0, "LIST TEAM", 1, 8021, nullptr, WorldCommands::ListTeam},
    {0, "TOKEN", 1, 8027, nullptr, CommandToken},
    {0, "SET", 1, 8028, nullptr, CommandSet},
    {0, "LIST TOKENS", 1, 8029, nullptr, CommandListTokens},
    {0, "SET CAMERA", 1, 8031, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET CAMERA POS", 1, 8031, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET CAMERA POSITION", 1, 8031, nullptr, DeveloperCommands::NotBuilt},
    {0, "ALTER CAMERA", 1, 8032, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET CAMERA ORI", 1, 8044, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET CAMERA ORIENTATION", 1, 8044, nullptr, DeveloperCommands::NotBuilt},
    {0, "IF", 1, 8033, nullptr, ConsoleControl::If},
    {0, "IF CARRYING", 1, 0, "Conditional on carrying an item.", ConsoleControl::IfCarrying},
    {0, "@", 1, 8034, nullptr, ConsoleControl::At},
    {0, "ECHO", 1, 8049, nullptr, ConsoleControl::Echo},
    {0, "GOTO", 1, 8050, nullptr, WorldCommands::Goto},
    {0, "TEXT COLOUR", 1, 8051, nullptr, TextConsole::CommandTextColour},
    {0, "CURSOR COLOUR", 1, 8052, nullptr, TextConsole::CommandCursorColour},
    {0, "ASSERT", 1, 0, "Throws a breakpoint.", DeveloperCommands::Assert},
    {0, "GET SELECTED", 1, 8054, nullptr, WorldCommands::GetSelected},
    {0, "WAIT", 1, 8055, nullptr, CommandScript::CommandWait},
    {0, "WAIT FOR", 1, 0, "Suspends script execution until the specified 'wait for' condition has been met.", CommandScript::CommandWaitFor},
    {0, "GET WAIT FOR", 1, 0, "Prints the current 'wait for' trigger condition.", CommandScript::CommandGetWaitFor},
    {0, "CHECK WAIT FOR", 1, 0, "Checks if the current 'wait for' condition is satisfied. Removes that condition if so.", CommandScript::CommandCheckWaitFor},
    {0, "CANCEL WAIT FOR", 1, 0, "Resumes script execution without checking the current 'wait for' condition.", CommandScript::CommandCancelWaitFor},
    {0, "HIDE CONSOLE", 1, 0, "Hides the console.", TextConsole::CommandHide},
    {0, "REPTXT", 1, 0, "Sets the repeat text (for training).", DeveloperCommands::NotBuilt},
    {0, "GET ROLE ARMOUR", 1, 0, "Syntax: get role armour <role str id>", WorldCommands::GetRoleArmour},
    {0, "SET ROLE ARMOUR", 1, 0, "Syntax: set role armour <new armour val> <role str id>", WorldCommands::SetRoleArmour},
    {0, "REAL WAIT", 1, 0, "Operates identically to wait, but time is in 'real' seconds.", CommandScript::CommandRealWait},
    {0, "REAL WAIT OR CLICK", 1, 0, "Like real wait, except also continues if the user hits the left mouse button or space.", CommandScript::CommandRealWaitOrClick},
    {0, "VERSION", 1, 8056, nullptr, DeveloperCommands::Version},
    {0, "STATUS WINDOW", 1, 8057, nullptr, DeveloperCommands::StatusWindow},
    {0, "BATCH", 1, 8058, nullptr, CommandScript::CommandBatch},
    {0, "SPEAK", 1, 8000, nullptr, WorldCommands::Speak},
    {0, "ADD MISSION", 1, 8003, nullptr, DeveloperCommands::AddMission},
    {0, "ADDMISSION", 1, 8003, nullptr, DeveloperCommands::AddMission},
    {0, "CENTRE", 1, 8004, nullptr, DeveloperCommands::NotBuilt},
    {0, "EXPLODE", 1, 8038, nullptr, DeveloperCommands::NotBuilt},
    {0, "RAY", 1, 0, "Adds a light ray at the cursor position. Directed vertically up.", DeveloperCommands::NotBuilt},
    {0, "RAY COLOUR", 1, 0, "Changes the colour of ALL light rays on the level.", DeveloperCommands::NotBuilt},
    {0, "TELEPORT", 1, 0, "Moves the selected unit to a specified location.", WorldCommands::Teleport},
    {0, "TELEPORT AND ORIENTATE", 1, 0, "Moves the selected actor to the specified position and orientation.", WorldCommands::TeleportAndOrientate},
    {0, "TEXT", 1, 8040, nullptr, TextConsole::CommandText},
    {0, "SAVE CAMERA", 1, 8041, nullptr, DeveloperCommands::NotBuilt},
    {0, "RESTORE CAMERA", 1, 8042, nullptr, DeveloperCommands::NotBuilt},
    {0, "GET CAMERA", 1, 8043, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET DISTANCE", 1, 8045, nullptr, DeveloperCommands::NotBuilt},
    {0, "SET REQUIRED POS", 1, 0, "Sets the desired camera focus position.", DeveloperCommands::NotBuilt},
    {0, "SET REQUIRED ORI", 1, 0, "Sets the desired camera orientation.", DeveloperCommands::NotBuilt},
    {0, "SET REQUIRED DISTANCE", 1, 0, "Sets the desired zoom distance. Camera will zoom in or out from its current setting.", DeveloperCommands::NotBuilt},
    {0, "SET REQUIRED POSDIST", 1, 0, "Sets the desired position and zoom distance.", DeveloperCommands::NotBuilt},
    {0, "SET CAMERA DISTANCE", 1, 8045, nullptr, DeveloperCommands::NotBuilt},
    {0, "ROTATE CAMERA", 1, 0, "Rotates the camera n units to the right (use negative for rotation to the left) for m seconds", DeveloperCommands::NotBuilt},
    {0, "ELEVATE CAMERA", 1, 0, "Elevates the camera n units downwards (use negative to rotate upwards) for m seconds", DeveloperCommands::NotBuilt},
    {0, "SET CAMERA FOCUS", 1, 0, "Sets camera focal points and forces the camera to continue focusing on it.", DeveloperCommands::NotBuilt},
    {0, "FREE CAMERA FOCUS", 1, 0, "Frees camera following SET CAMERA FOCUS.", DeveloperCommands::NotBuilt},
    {0, "CAMERA TRACK", 1, 0, "Similar to SET TRACK for an actor - takes four vectors, first = start position, last = end position.", DeveloperCommands::NotBuilt},
    {0, "RAIN", 1, 8046, nullptr, DeveloperCommands::NotBuilt},
    {0, "SNOW", 1, 8047, nullptr, DeveloperCommands::NotBuilt},
    {0, "RECORD", 1, 0, "Begin recording.", Command_Record},
    {0, "PLAYBACK", 1, 0, "Begin playback.", Command_Playback},
    {0, "SAVE", 1, 0, "Saves a demo which has been recording.", Command_SaveDemo},
    {0, "LOAD", 1, 0, "Loads a demo which has been recorded previously.", Command_LoadDemo},
    {0, "PLAY CUTSCENE", 1, 0, "Plays back a cutscene. Requires the name of the cutscene, e.g. PLAY CUTSCENE intro", DeveloperCommands::NotBuilt},
    {0, "GET ACTOR NAME", 1, 0, "Gets all available names which might refer to the actor under the cursor", WorldCommands::GetActorName},
    {0, "REFLECT", 1, 0, "Apply sphere maps to actor under the cursor.", WorldCommands::Reflect},
    {0, "SHADOW", 1, 0, "Apply shadowing to actor under the cursor.", WorldCommands::Shadow},
    {0, "SET SCALE", 1, 0, "SET SCALE [scale] [actor / under cursor].", WorldCommands::SetScale},
    {0, "RING", 1, 0, "Format is RING [position] [number of sides] [minimum radius in metres] [maximum radius].", DeveloperCommands::NotBuilt},
    {0, "BASIN", 1, 0, "BASIN [position] [number of sides] [lower radius] [upper radius]", DeveloperCommands::NotBuilt},
    {0, "SWITCH DETAIL LEVEL", 1, 0, "Toggle between high/low-poly versions of some shapes.", DeveloperCommands::SwitchDetail},
    {0, "GIVE CONTROL", 1, 0, "GIVE CONTROL [actor] [team]", WorldCommands::GiveControl},
    {0, "PLAYER SELECT", 1, 0, "PLAYER SELECT [actor name or number]. As if the player clicked on the actor.", WorldCommands::PlayerSelect},
    {0, "VISION", 1, 0, "Enables and disables vision cones.", DeveloperCommands::NotBuilt},
    {0, "PARTICLE TESTER", 1, 0, "Creates a particle tester of the specified type", DeveloperCommands::NotBuilt},
    {9003, nullptr, 3, 8008, nullptr, ConsoleControl::ListCommands},
    {0, "ADD LIGHT", 3, 0, "Format: ADD LIGHT [pos] [red] [green] [blue] where RGB values are from 0 to 1.", DeveloperCommands::NotBuilt},
    {0, "ADD BLINKING LIGHT", 3, 0, "See ADD LIGHT for format.", DeveloperCommands::NotBuilt},
    {0, "LIGHTON", 3, 0, "LIGHTON [actor name] [dummy name] [r] [g] [b] [a]. Corona light on.", DeveloperCommands::NotBuilt},
    {0, "ASSOCIATELIGHT", 3, 0, "ASSOCIATELIGHT [lift name] [actor name] [dummy name] [r] [g] [b] [a].", DeveloperCommands::NotBuilt},
    {0, "SET ACTIVITY", 3, 8035, nullptr, WorldCommands::SetActivity},
    {0, "ADD WAYPOINT", 3, 8036, nullptr, WorldCommands::AddWaypoint},
    {0, "ADD PATROLPOINT", 3, 0, "Adds a semi-permanent waypoint to the unit's current list.", WorldCommands::AddPatrolPoint},
    {0, "ADD PP", 3, 0, "Adds a semi-permanent waypoint to the unit's current list.", WorldCommands::AddPatrolPoint},
    {0, "REM", 3, 8016, nullptr, ConsoleControl::Nothing},
    {0, "//", 3, 8016, nullptr, ConsoleControl::Nothing},
    {0, "LIGHTNING", 3, 0, "Adds one bolt per frame per time LIGHTNING ON is entered.", DeveloperCommands::NotBuilt},
    {0, "ELECTRICITY", 3, 0, "Adds an electrical crackle. Format is [start] [end] [amplitude in decimetres].", DeveloperCommands::NotBuilt},
    {0, "LASER FENCE", 3, 0, "LASER FENCE [start] [end]", DeveloperCommands::NotBuilt},
    {0, "DEACTIVATE ELECTRICITY", 3, 0, "Deactivates an electricial crackle - requires (either) endpoint to be specified.", DeveloperCommands::NotBuilt},
    {0, "AI", 3, 0, "Syntax: AI [name] [number]. Changes the AI core used by the actor with [name].", WorldCommands::SetAi},
    {0, "SET TRACK", 3, 0, "Syntax: SET TRACK [name] [p1] [p2] [p3] [p4] [bCarriesPassengers]. Specifies the actor to follow the Bezier curve defined by the 4 vectors. The actor must also be set to AI type TRACK OBJECT.", WorldCommands::SetTrack},
    {0, "RUN TRACK", 3, 0, "Syntax: RUN TRACK [name]. Starts the actor following the track specified by SET TRACK.", WorldCommands::RunTrack},
    {0, "BOARD", 3, 0, "Makes all actors head for an object, and board it if applicable.", WorldCommands::Board},
    {0, "DEFOGGER", 3, 0, "Makes the specified unit a 'defogging dynamic actor', i.e. the unit defogs the map as it moves around.", WorldCommands::Defogger},
    {0, "FOGGER", 3, 0, "Reverses the DEFOGGER command.", WorldCommands::Fogger},
    {0, "FRAG", 3, 0, "Blows up a unit. He he.", WorldCommands::Frag},
    {0, "WATCH", 3, 0, "Like SELECT, but brings up the status window.", WorldCommands::Watch},
    {0, "CONTROLS", 3, 0, "Allows enabling (CONTROLS ON) and disabling (CONTROLS OFF) of the user's control. Use with caution !", WorldCommands::Controls},
    {0, "REMOVEBB", 3, 0, "Removes an actor's bounding box (stops it being clipped out).", WorldCommands::RemoveBoundingBox},
    {0, "NEXT LEVEL", 3, 0, "Exits level and begins the next along in the mission list.", DeveloperCommands::NotBuilt},
    {0, "ANIM", 3, 0, "Plays an animation on a specified actor. Use with care.", WorldCommands::Anim},
    {0, "STOP TRACKING", 3, 0, "If the camera's tracking any actors, this stops it.", DeveloperCommands::NotBuilt},
    {0, "ADD TRIGGER", 3, 0, "Adds a level trigger dynamically to the level. Use with care; see a programmer first.", LevelCommands::AddTrigger},
    {0, "REMOVE TRIGGER", 3, 0, "Removes a level trigger dynamically from the level. Use with care; see a programmer first.", LevelCommands::RemoveTrigger},
    {0, "TRACK", 3, 0, "Makes the camera track the specified actor.", DeveloperCommands::NotBuilt},
    {0, "", 3, 0, "You shouldn't be seeing this !", ConsoleControl::Nothing},
    {0, "SPOTLIGHT", 3, 0, "Adds a spotlight at the cursor position, or specified coordinates if these are provided.", DeveloperCommands::NotBuilt},
    {0, "CORONA", 3, 0, "CORONA [position, default = cursor] [RGBA values from 0 to 1, default = 1 for RGB, 0.5 for A]", DeveloperCommands::NotBuilt},
    {0, "SET UPPER LEFT BOUND", 3, 0, "Sets the upper left bound for wandering background creatures.", WorldCommands::SetUpperLeftBound},
    {0, "SET LOWER RIGHT BOUND", 3, 0, "Sets the lower right bound for wandering background creatures.", WorldCommands::SetLowerRightBound},
    {0, "ASSOCIATE", 3, 0, "Associates an actor (e.g. a button or switch) with a script which is run ONCE ONLY.", WorldCommands::Associate},
    {0, "LINK", 3, 0, "Associates an actor (e.g. a button or switch) with a script. Unlike the similar ASSOCIATE command, there is no limit on how often the script may be run.", WorldCommands::Link},
    {0, "REQUIRES", 3, 0, "REQUIRES [name] [reqd name], e.g. REQUIRES DOOR_A KEY_1.", WorldCommands::Requires},
    {0, "INC", 3, 0, "Increments token by one.", CommandInc},
    {0, "SPARKS", 3, 0, "Sparks fly from the specified location or cursor position.", DeveloperCommands::NotBuilt},
    {0, "EWS", 3, 0, "Explode with smoke.", DeveloperCommands::NotBuilt},
    {0, "AIRSTRIKE", 3, 0, "Places searchlights and explosions within the area, defined by two position vectors.", DeveloperCommands::NotBuilt},
    {0, "HEAP", 3, 0, "Initialises the named actor to any one of the following list of objects, e.g. HEAP GARBAGE_PILE_A PLASMAGNUM PLASMATRIX", WorldCommands::Heap},
    {0, "ATTACH", 3, 0, "Attaches something (e.g. a lift) to the main level so characters may freely walk on or off it.", LevelCommands::Attach},
    {0, "DETACH", 3, 0, "Detaches something (e.g. a lift) from the main level so characters are stopped from walking on or off it.", LevelCommands::Detach},
    {0, "DOOR", 3, 0, "Declares a door. Needs a location and a number (identifier).", LevelCommands::Door},
    {0, "OPEN DOOR", 3, 0, "Opens a door, taking the door number as its only input.", LevelCommands::OpenDoor},
    {0, "CLOSE DOOR", 3, 0, "Closes a door, taking the door number as its only input.", LevelCommands::CloseDoor},
    {0, "TOGGLE DOOR", 3, 0, "Opens or closes a door, taking the door number as its only input.", LevelCommands::ToggleDoor},
    {0, "ADD OBJECTIVE", 3, 0, "Dynamic creation of mission objective. See a programmer.", LevelCommands::AddObjective},
    {0, "COMPLETE OBJECTIVE", 3, 0, "Moves one stop closer to completion of the specified mission objective.", LevelCommands::CompleteObjective},
    {0, "FAIL OBJECTIVE", 3, 0, "Fails specified objective.", LevelCommands::FailObjective},
    {0, "PLAY ENVIRONMENTAL SOUND", 3, 0, "Requires the ID number of the sound to play.", DeveloperCommands::NotBuilt},
    {0, "PLAY SOUND", 3, 0, "Requires the ID number of the sound to play.", DeveloperCommands::NotBuilt},
    {0, "SET SPEED", 3, 0, "Sets a scale factor for trackobject speed (default is 1). Follow this number by a list of all track objects to use this speed.", WorldCommands::SetSpeed},
    {0, "SET LOOP TIME", 3, 0, "Sets the loop time for trackobjects (a run command is issued every n seconds).", WorldCommands::SetLoopTime},
    {0, "PAUSE", 3, 0, "Pauses a track object (if it's running).", WorldCommands::Pause},
    {0, "UNPAUSE", 3, 0, "Unpauses a track object (if it was paused previously using PAUSE).", WorldCommands::Unpause},
    {0, "SMOKE", 3, 0, "Causes smoke to begin billowing from a character.", DeveloperCommands::NotBuilt},
    {0, "STOP PARTICLES", 3, 0, "Stops all particle effects associated with a character.", DeveloperCommands::NotBuilt},
    {0, "WATER", 3, 0, "Adds a water effect to the level. May take an area to fill later, or detail level.", DeveloperCommands::NotBuilt},
    {0, "LAVA", 3, 0, "Adds a lava effect to the level. May take an area to fill later, or detail level.", DeveloperCommands::NotBuilt},
    {0, "SWAMP", 3, 0, "Adds a swamp effect to the level. May take an area to fill later, or detail level.", DeveloperCommands::NotBuilt},
    {0, "OIL", 3, 0, "Adds an oil effect to the level. May take an area to fill later, or detail level.", DeveloperCommands::NotBuilt},
    {0, "SET WATER SPEED", 3, 0, "Sets the water's speed of travel.", DeveloperCommands::NotBuilt},
    {0, "SET WATER DIRECTION", 3, 0, "Sets the water's direction of travel.", DeveloperCommands::NotBuilt},
    {0, "RAISE WATER", 3, 0, "RAISE WATER [location] [amount to raise]. The location should be any location close to the body of water,", DeveloperCommands::NotBuilt},
    {0, "LOWER WATER", 3, 0, "LOWER WATER [location] [amount to lower]. The location should be any location close to the body of water,", DeveloperCommands::NotBuilt},
    {0, "RAISE LAVA", 3, 0, "RAISE WATER [location] [amount to raise]. The location should be any location close to the body of water,", DeveloperCommands::NotBuilt},
    {0, "LOWER LAVA", 3, 0, "LOWER WATER [location] [amount to lower]. The location should be any location close to the body of water,", DeveloperCommands::NotBuilt},
    {0, "PRESIDENT", 3, 0, "Creates a president.", WorldCommands::President},
    {0, "TEXTURE ANIMATE", 3, 0, "TEXTURE ANIMATE [number of frames] [u,v for frame 0] [u,v for frame 1] ...", DeveloperCommands::NotBuilt},
    {0, "GIVE AND EQUIP AND SAY", 3, 0, "GIVE AND EQUIP AND SAY [character] [item]. Does just what it says. Prints a message on the screen.", WorldCommands::GiveAndEquipAndSay},
    {0, "GIVE AND SAY", 3, 0, "GIVE AND SAY [character] [item]. Does just what it says. Prints a message on the screen.", WorldCommands::GiveAndSay},
    {0, "GIVE AND EQUIP", 3, 0, "GIVE AND EQUIP [character] [item]. Does just what it says. Doesn't print a message on the screen.", WorldCommands::GiveAndEquip},
    {0, "GIVE", 3, 0, "GIVE [character] [item]. Does just what it says. Doesn't print a message on the screen.", WorldCommands::Give},
    {0, "HUNTER", 3, 0, "HUNTER [actor name]", WorldCommands::Hunter},
    {0, "FLARE FIRER", 3, 0, "The specified actor will fire flares to investigate noises.", WorldCommands::FlareFirer},
    {0, "VULNERABILITY", 3, 0, "VULNERABILITY [actor or role name] [name of role vulnerable to] [time for vulnerability to activate] [vulnerability type or script name]", WorldCommands::Vulnerability},
    {0, "FADE TO BLACK", 3, 0, "Usage : FADE TO BLACK [fade time, seconds, default = 3] [duration, seconds, default = 0]", DeveloperCommands::NotBuilt},
    {0, "FADE FROM BLACK", 3, 0, "Usage : FADE FROM BLACK [seconds, default = 3]", DeveloperCommands::NotBuilt},
    {0, "BORDERS ", 3, 0, "Widescreen mode. Syntax: BORDERS [width] [speed]", DeveloperCommands::NotBuilt},
    {0, "BORDERS OFF", 3, 0, "Fullscreen mode. Instant - use borders with width of 0 to scroll off.", DeveloperCommands::NotBuilt},
    {0, "CD FADE", 3, 0, "CD FADE [final volume (0-65535)] [fade time (in secs)]", DeveloperCommands::NotBuilt},
    {0, "CD SET VOLUME", 3, 0, "CD SET VOLUME [volume (0-65535)]", DeveloperCommands::NotBuilt},
    {0, "CD PLAY", 3, 0, "CD PLAY [LOOPING] [space separated track list (eg. 2 4 17 5)]", DeveloperCommands::NotBuilt},
    {0, "CD STOP", 3, 0, "Oh come on. You don't need help for this.", DeveloperCommands::NotBuilt},
    {0, "PAUSE GAME", 3, 0, "Matrix effects", DeveloperCommands::NotBuilt},
    {0, "CURSOR OFF", 3, 0, "Duh.", DeveloperCommands::NotBuilt},
    {0, "CURSOR ON", 3, 0, "Duh.", DeveloperCommands::NotBuilt},
    {0, "ENABLE EPW", 3, 0, "Turns Trevok's EPW on.", DeveloperCommands::NotBuilt},
    {0, "DISABLE EPW", 3, 0, "Turns Trevok's EPW off.", DeveloperCommands::NotBuilt},};
static_assert(std::size(kRows) == 205);

} // namespace

void CommandTable::RegisterAll()
{
    CommandTable& table = Global();
    for (const Row& row : kRows) {
        const char* name = row.nameId ? TextConsole::Text(row.nameId) : row.name;
        const char* help = row.helpId ? TextConsole::Text(row.helpId) : row.help;
        const CommandHandler provided = CommandTable::Provided(name ? name : "");
        table.Register(name, help, provided ? provided : row.handler, row.level);
    }
    LevelCommands::InstallTriggerNames();
    SessionCommands::Install();
    for (const char* line : {"@TOKEN RES", "@TOKEN FRIENDLY", "@TOKEN ENEMY", "SET FRIENDLY 1", "SET ENEMY 2"})
        TextConsole::ExecuteLine(line);
}
