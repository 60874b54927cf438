// Placeholders for the session services the shell calls. Starting a session
// only moves the game into the level-started state; no server thread runs.
#pragma once

#include <cstdint>

struct InputEvent;

namespace Client {
bool IsRunning();
void ReceiveServerMessages();
// Requests 34 and 35 go as 8 bytes, not guaranteed. True when sent.
bool SendToServer(const void* buffer, uint32_t size, bool guaranteed);
} // namespace Client

namespace Server {
bool IsRunning();
}

namespace Network {
bool IsActive(); // a networked game
}

// 1: the game is over; 2: restart the level. Read by every in-game frame.
extern uint32_t EndOfGameRequest;

void EndSession();
void StartSession(bool first);
void RunQueuedCommandFile();
bool SaveGame(const char* name, int full);
bool LoadSavedGame(const char* name);

namespace GameSpeed {
float Get();
void Set(float speed); // 0 pauses game time
} // namespace GameSpeed

namespace SaveScreen {
bool HasNameRecord();   // the first of the save screen's two records
bool HasListRecord();   // the second
void OnKey(const InputEvent& event);
} // namespace SaveScreen
