// The level scripts' world and unit commands: spawning by role and by
// difficulty, teams, items, the console unit and its orders, AI settings,
// track objects, speech and unit properties. They act on the server's objects
// inside the game-state hand-over and tell the clients through server
// messages; what only a client has (the cursor, the selection, the status
// window, the camera) is reached through hooks the interface installs.
#pragma once

#include "app/maths.h"

#include <cstdint>

namespace WorldCommands {

// The front end's difficulty: 0 easy, 1 medium, 2 hard.
extern int32_t difficulty;

// The unit GOTO, SET ACTIVITY, the waypoint and teleport commands address.
struct ConsoleUnit {
    int32_t id = 0;
    bool none = true; // until the first SELECT or WATCH
};
ConsoleUnit& Unit();

// The corners of the area background creatures wander in.
struct WanderBounds {
    Vec3 upperLeft{0, 0, 0}, lowerRight{0, 0, 0};
};
WanderBounds& Bounds();

// What the commands need of the client side; unset members answer "none".
struct ClientHooks {
    bool (*runsClient)() = nullptr;        // unset: Client::IsRunning
    int32_t (*objectUnderCursor)() = nullptr; // an id, or -1
    // The selection stepped forward and back: the selected unit's id, or -1.
    int32_t (*selectedUnit)() = nullptr;
    void (*watch)(int32_t id) = nullptr;   // the status window shows the unit
    void (*edgeScrolling)(bool on) = nullptr;
    void (*addSphereMap)(int32_t id) = nullptr;
    void (*setScale)(int32_t id, float scale) = nullptr;
};
ClientHooks& Client();

// Places a unit of the role "president" between the dummies "dumpresa" and
// "dumpresb" (the game logic calls it too). Only in game type 3.
void President();

// The row handlers, for the command table.
void Add();
void AddTeam();
void Spawn();
void SpawnTeam();
void Easy();
void Medium();
void Hard();
void Delete();
void DeleteTeam();
void Give();
void GiveAndSay();
void GiveAndEquip();
void GiveAndEquipAndSay();
void Heap();
void Vulnerability();
void Select();
void Watch();
void GetSelected();
void PlayerSelect();
void GetActorName();
void Goto();
void SetActivity();
void AddWaypoint();
void AddPatrolPoint();
void Teleport();
void TeleportAndOrientate();
void Board();
void GiveControl();
void Hunter();
void FlareFirer();
void Controls();
void SetAi();
void SetTrack();
void RunTrack();
void SetSpeed();
void SetLoopTime();
void Pause();
void Unpause();
void Defogger();
void Fogger();
void Frag();
void RemoveBoundingBox();
void Anim();
void Shadow();
void Reflect();
void SetScale();
void Speak();
void Associate();
void Link();
void Requires();
void SetUpperLeftBound();
void SetLowerRightBound();
void GetRoleArmour();
void SetRoleArmour();
void ListUnits();
void ListTeam();

} // namespace WorldCommands
