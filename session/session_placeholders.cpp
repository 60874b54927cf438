#include "session/session_placeholders.h"

uint32_t EndOfGameRequest = 0;

namespace {
bool g_sessionRunning = false;
} // namespace

namespace Client {
bool IsRunning() { return g_sessionRunning; }
void Start() { g_sessionRunning = true; }
void Stop() { g_sessionRunning = false; }

void ReceiveServerMessages()
{
    // The local server passes at least once per frame.
    Server::Wake();
    while (!ServerToClientQueue.Pop().IsEmpty()) {
    }
}
} // namespace Client

namespace SessionObservers {
namespace {
std::function<void()> g_started, g_ending;
}
void Set(std::function<void()> started, std::function<void()> ending)
{
    g_started = std::move(started);
    g_ending = std::move(ending);
}
void Started()
{
    if (g_started)
        g_started();
}
void Ending()
{
    if (g_ending)
        g_ending();
}
} // namespace SessionObservers

bool SaveGame(const char*, int) { return false; }
bool LoadSavedGame(const char*) { return false; }

namespace SaveScreen {
bool HasNameRecord() { return false; }
bool HasListRecord() { return false; }
void OnKey(const InputEvent&) {}
} // namespace SaveScreen
