// Developer switches and reports, and the session commands of the console.
#pragma once

#include <cstdint>

namespace DeveloperFlags {
extern bool godMode;
extern bool infiniteAmmo;
extern bool lowDetail;
extern uint32_t renderFlags; // bit 0x200000: wireframe
} // namespace DeveloperFlags

// Set while the player's controls are switched off (scripted scenes).
extern bool PlayerControlsOff;

// Handlers of rows owned by the interface above the console; null until
// the interface installs them at start-up.
namespace ConsoleHooks {
extern void (*statusWindow)();
extern void (*showTitle)(); // after LEAVE GAME ends the session
}

namespace DeveloperCommands {
void God();
void Wireframe();
void InfiniteAmmo();
void SwitchDetail();
void TimerInfo();
void ResetTime();
void Version();
void Date();
void TimeOfDay();
void Assert();
void LeaveGame();
void AddMission();
// Rows whose handlers belong to subsystems not built yet.
void NotBuilt();
// Runs the status window's handler that the interface installs, or answers
// as NotBuilt before it does.
void StatusWindow();
} // namespace DeveloperCommands
