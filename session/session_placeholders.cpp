#include "session/session_placeholders.h"

#include "app/app_state.h"
#include "app/app_time.h"

uint32_t EndOfGameRequest = 0;

namespace {
bool g_sessionRunning = false;
} // namespace

namespace Client {
bool IsRunning() { return g_sessionRunning; }
void ReceiveServerMessages() {}
bool SendToServer(const void*, uint32_t, bool) { return g_sessionRunning; }
} // namespace Client

namespace Server {
bool IsRunning() { return false; }
}

namespace Network {
bool IsActive() { return false; }
}

void EndSession()
{
    g_sessionRunning = false;
    EndOfGameRequest = 0;
}

void StartSession(bool)
{
    g_sessionRunning = true;
    AppTime::SetGameTime(0);
    SetAppState(AppState::LevelStarted);
}

void RunQueuedCommandFile() {}
bool SaveGame(const char*, int) { return false; }
bool LoadSavedGame(const char*) { return false; }

namespace GameSpeed {
float Get() { return AppTime::GameSpeed(); }
void Set(float speed) { AppTime::SetGameSpeed(speed); }
} // namespace GameSpeed

namespace SaveScreen {
bool HasNameRecord() { return false; }
bool HasListRecord() { return false; }
void OnKey(const InputEvent&) {}
} // namespace SaveScreen
