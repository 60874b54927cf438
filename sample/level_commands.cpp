// Level command files. "trigger_kinds.tcs": one trigger of each kind,
// doors, objectives, the named values the wait-for phrases read ("trevok",
// "vell"), and WAIT FOR lines that hold the script until the player acts.
// "training_level.tcs", the first mission's companion: the level's ambient
// colour and sun, a camera straight down on TREVOK, a location trigger on the floor square two squares north
// of it whose file ("arrived.tcs") ends the game, and a WAIT FOR followed by
// ECHO, so that a run shows the player's selection. (A held wait holds the
// trigger's file too, so the script waits for nothing the walk may miss.)
// The opening ECHO answers on the console, so a run shows the file started.
// Beside it, "command_tour.tcs" runs every world, camera and effect command.
#include "sample/generator.h"


namespace sample {
namespace {

constexpr const char* kTriggerKinds =
    "// Every trigger kind, doors and objectives\n"
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

// Every world, camera and effect command once, on the training level's
// squad (TREVOK, VELL), crates, lift and track cart: the tests run it
// headless and as the level's companion file.
constexpr const char* kCommandTour = R"(// Every world, camera and effect command once, with arguments that make sense in the training level.
ADD trevok 10 0 10 0 0 0
ADDTEAM 1 trevok 10 0 12 0 0 0
ADD TEAM 1 trevok 10 0 14 0 0 0
SPAWN trevok 12 0 10 0 0 0
SPAWNTEAM 1 trevok 12 0 12 0 0 0
SPAWN TEAM 1 trevok 12 0 14 0 0 0
EASY ECHO
MEDIUM ECHO
HARD ECHO
DELETE CRATE2
DELETE TEAM 3
PRESIDENT
GIVE AND EQUIP AND SAY TREVOK crate
GIVE AND EQUIP TREVOK crate
GIVE AND SAY TREVOK crate
GIVE TREVOK crate
HEAP CRATE1 crate
VULNERABILITY TREVOK vell 5 DESTROY
SELECT TREVOK
WATCH TREVOK
GET SELECTED
PLAYER SELECT TREVOK
GET ACTOR NAME
GOTO 10 0 10
SET ACTIVITY PATROL
ADD WAYPOINT 10 0 10
ADD PATROLPOINT 10 0 10
ADD PP 10 0 10
TELEPORT 10 0 10
TELEPORT AND ORIENTATE 10 0 10 0 0 0
BOARD VELL
GIVE CONTROL VELL 1
HUNTER 1
FLARE FIRER 1
CONTROLS ON
AI VELL 2
SET TRACK LIFT 16 0 6 16 -0.7 6 16 -1.3 6 16 -2 6 ON
RUN TRACK LIFT
SET SPEED 2 LIFT TRACK
SET LOOP TIME 10 LIFT TRACK
PAUSE LIFT
UNPAUSE LIFT
DEFOGGER TREVOK
FOGGER TREVOK
FRAG CRATE1
REMOVEBB TREVOK
ANIM TREVOK 3
SHADOW TREVOK
REFLECT
SET SCALE 1.5
SPEAK TREVOK 5
ASSOCIATE TREVOK arrived.tcs
LINK TREVOK arrived.tcs
REQUIRES TREVOK crate
SET UPPER LEFT BOUND 0 0 0
SET LOWER RIGHT BOUND 20 0 20
GET ROLE ARMOUR trevok
SET ROLE ARMOUR 30 trevok
LIST UNITS
LIST TEAM 1
SET CAMERA 10 0 10
SET CAMERA POS 10 0 10
SET CAMERA POSITION 10 0 10
ALTER CAMERA 1 0 1
SET CAMERA ORI 0 -30 45
SET CAMERA ORIENTATION 0 -30 45
SET DISTANCE 40
SET CAMERA DISTANCE 40
CENTRE TREVOK
SAVE CAMERA
RESTORE CAMERA
GET CAMERA
SHOW ZOOM
SET REQUIRED POS 10 0 10
SET REQUIRED ORI 0 -30 90
SET REQUIRED DISTANCE 30
SET REQUIRED POSDIST 10 0 10 30
ROTATE CAMERA 90 2
ELEVATE CAMERA -20 2
SET CAMERA FOCUS 10 0 10
FREE CAMERA FOCUS
CAMERA TRACK 0 0 0 5 -5 0 10 -5 10 15 0 15 0.5
TRACK TREVOK
STOP TRACKING
PLAY CUTSCENE intro
FADE FROM BLACK 1
FADE TO BLACK 2 5
BORDERS 0.1 1
BORDERS OFF
CURSOR OFF
CURSOR ON
PAUSE GAME
ENABLE EPW
DISABLE EPW
PLAY SOUND 1
PLAY ENVIRONMENTAL SOUND 1
CD FADE 30000 2
CD SET VOLUME 40000
CD PLAY TRACKS 1 2 0
CD STOP
VISION OFF
REPTXT Follow the lit path
SUNANGLE 90 120
SUNANGLE2 300
SUNBRIGHTNESS 1 0.9 0.8
AMBIENT 0.2 0.2 0.25
ADD LIGHT 10 0 10 1 0.5 0.2
ADD BLINKING LIGHT 10 0 10 1 0 0 0 0 1 0.5
LIGHTON 1
ASSOCIATELIGHT 1 1
CORONA 10 0 10 1 1 1
RAY 10 0 10 0 -10 0
RAY COLOUR 1 1 0.5
SPOTLIGHT 10 0 10
WATER 1 0 -0.5 0 10 -0.5 10
LAVA 1 10 -0.5 0 20 -0.5 10
SWAMP 1 0 -0.5 10 10 -0.5 20
OIL 1 10 -0.5 10 20 -0.5 20
RAISE WATER 5 0 5 2
RAISE LAVA 15 0 5
LOWER WATER 5 0 5 2
LOWER LAVA 15 0 5
SET WATER SPEED 5 0 5 0.5
SET WATER DIRECTION 5 0 5 1 0 0
RAIN OFF
SNOW OFF
LIGHTNING 10 0 10
ELECTRICITY 0 0 0 10 0 10 5
LASER FENCE 0 0 0 10 0 0
DEACTIVATE ELECTRICITY 1
RING 10 -1 10 12 1 4
BASIN 10 0 10 12 1 4
EXPLODE 10 0 10
EWS 10 0 10
SPARKS 10 0 10
AIRSTRIKE 5 0 5 15 0 15
SMOKE 10 0 10
STOP PARTICLES
PARTICLE TESTER 10 0 10 sparks
TEXTURE ANIMATE TREVOK 0
)";

// The level's light set glows white until its companion sets the ambient
// colour, and the sun keeps its default until the sun commands: a level lights
// itself in its first lines, before anything is drawn. The camera looks at
// TREVOK from the first frame on (the map caps the distance asked for). The
// squad's named values come from the map's use clauses; the replicas arrive a
// moment after the level starts. Once TREVOK is selected the camera is printed,
// so that a player from outside can aim at the trigger's square, and the walk
// that follows is announced.
constexpr const char* kTrainingCompanion =
    "// The first mission\n"
    "ECHO\n"
    "AMBIENT 0.1 0.1 0.1\n"
    "SUNBRIGHTNESS 0.2 0.2 0.18\n"
    "SUNANGLE 60\n"
    "SET CAMERA 4 0 4\n"
    "SET CAMERA ORI 0 1024 0\n"
    "SET CAMERA DISTANCE 100\n"
    "REAL WAIT 1\n"
    "ADD TRIGGER LOCATION 2.5 0 7.5 1.5 arrived.tcs\n"
    "WAIT FOR FRIENDLY ACTOR \"TREVOK\" TO BE SELECTED\n"
    "ECHO\n"
    "GET CAMERA\n"
    "WAIT FOR FRIENDLY ACTOR \"TREVOK\" TO MOVE\n"
    "ECHO\n";

constexpr const char* kArrived =
    "// TREVOK reached the square north of the start: \"Echo on.\" says so\n"
    "ECHO ON\n"
    "QUIT\n";

bool WriteLevelCommands(const Context& ctx)
{
    return WriteTextFile(ctx, "scripts/command_tour.tcs", kCommandTour) &&
           WriteTextFile(ctx, "scripts/trigger_kinds.tcs", kTriggerKinds) &&
           WriteTextFile(ctx, "scripts/training_level.tcs", kTrainingCompanion) &&
           WriteTextFile(ctx, "scripts/arrived.tcs", kArrived);
}

const StepRegistration kLevelCommands(41, "level commands", WriteLevelCommands);

} // namespace
} // namespace sample
