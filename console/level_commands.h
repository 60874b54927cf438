// The level-script commands that place triggers, declare and switch doors,
// attach lifts and keep mission objectives. They act on the machine that
// runs the server, under the game-state hand-over, and do nothing while a
// saved game is being restored.
#pragma once

#include "app/maths.h"

#include <string>

class GameObject;

namespace LevelCommands {

// A position argument: three numbers, or the name of a level dummy (any
// case). False, with the reason printed, outside a game, for an unknown
// dummy, or at the line's end (no cursor point to fall back on here).
bool ReadPosition(Vec3& out);
// A named value holding the id of a live server object; null otherwise.
GameObject* ReadObjectById();

// The level triggers read object ids from the named values.
void InstallTriggerNames();

void AddTrigger();
void RemoveTrigger();
void Door();
void OpenDoor();
void CloseDoor();
void ToggleDoor();
void Attach();
void Detach();
void AddObjective();
void CompleteObjective();
void FailObjective();

} // namespace LevelCommands
