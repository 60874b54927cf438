#include "session/session_placeholders.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "session/server_objects.h"

uint32_t EndOfGameRequest = 0;

namespace {
bool g_sessionRunning = false;
} // namespace

namespace Client {
bool IsRunning() { return g_sessionRunning; }

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

void EndSession()
{
    SessionObservers::Ending();
    Server::Stop();
    g_sessionRunning = false;
    EndOfGameRequest = 0;
}

void StartSession(bool)
{
    g_sessionRunning = true;
    // Alone the server runs on its own thread; a networked session is not
    // started from here yet.
    if (!Network::IsActive() && !Server::IsRunning()) {
        // Hooks change only while no server thread reads them.
        Server::InstallObjectHooks();
        Server::Start(nullptr);
    }
    AppTime::SetGameTime(0);
    SetAppState(AppState::LevelStarted);
    SessionObservers::Started();
}


namespace SaveScreen {
bool HasNameRecord() { return false; }
bool HasListRecord() { return false; }
} // namespace SaveScreen
