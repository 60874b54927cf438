#include "session/session_placeholders.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "objects/world_object.h"
#include "session/client_apply.h"
#include "session/server_objects.h"

#include <algorithm>

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
    for (GameMessage message = ServerToClientQueue.Pop(); !message.IsEmpty(); message = ServerToClientQueue.Pop())
        ApplyServerMessage(message);
    WorldObjectTable::UpdateAll(static_cast<uint64_t>(std::max<int64_t>(AppTime::GameNow(), 0)),
                                AppTime::GameSeconds());
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


namespace SaveScreen {
bool HasNameRecord() { return false; }
bool HasListRecord() { return false; }
} // namespace SaveScreen
