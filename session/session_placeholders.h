// Placeholders for the session services the shell calls, and the headers of
// the real ones it reaches through here.
#pragma once

#include "session/client.h"
#include "session/game_speed.h"
#include "session/level_session.h"
#include "session/message_queue.h"
#include "session/saved_game.h"  // SaveGame and LoadSavedGame, for the shell's callers
#include "session/server_thread.h"

#include <cstdint>
#include <functional>

struct InputEvent;


namespace Network {
bool IsActive(); // a networked game
}

// 1: the game is over; 2: restart the level. Read by every in-game frame.
extern uint32_t EndOfGameRequest;

// Told after a session starts and before it ends (the interface drops its
// presses, selection and camera locks at the end).
namespace SessionObservers {
void Set(std::function<void()> started, std::function<void()> ending);
void Started();
void Ending();
} // namespace SessionObservers


namespace SaveScreen {
bool HasNameRecord();   // the first of the save screen's two records
bool HasListRecord();   // the second
void OnKey(const InputEvent& event);  // session/save_slots.cpp
} // namespace SaveScreen
