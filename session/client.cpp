#include "session/client.h"

#include "app/clock.h"
#include "platform/time.h"
#include "objects/world_object.h"
#include "session/client_apply.h"
#include "session/direct_play.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_thread.h"

#include <memory>
#include <thread>

namespace Client {
namespace {

// Game thread only.
bool g_running = false;
std::shared_ptr<DirectPlay> g_dp;
uint32_t g_ownId = 0;
// The pass count a frame waits for: one pass that began after the previous
// frame's wake has ended.
uint64_t g_passDue = 0;
bool g_passAwaited = false;
void (*g_receivedObserver)(std::span<const uint8_t> block) = nullptr;

bool ServerPassesHere()
{
    // A parked server (the game state held) runs no pass to wait for.
    return Server::IsRunning() && Server::IsLevelRunning() && GameState::Depth() == 0;
}

// Alone, each frame sees the work of a server pass that began after the
// previous frame: it waits for that pass (bounded), then wakes the next.
void WaitAndWake()
{
    if (g_passAwaited) {
        constexpr uint64_t kLongestWaitNs = 100'000'000;
        const uint64_t until = platform::MonotonicNanoseconds() + kLongestWaitNs;
        while (Server::PassCount() < g_passDue && ServerPassesHere() && platform::MonotonicNanoseconds() < until)
            std::this_thread::yield();
    }
    // The next pass to begin begins after this wake (one under way ends
    // first, and the wake still stands for the one after it).
    g_passAwaited = ServerPassesHere();
    g_passDue = Server::PassesBegun() + 1;
    Server::Wake();
}

// The next message and its sender; an empty message when none is waiting.
Network::Received Next()
{
    if (g_dp)
        return Network::Receive(*g_dp, g_ownId);
    Network::Received received;
    received.message = ServerToClientQueue.Pop();
    received.sender = kServerPlayerId;
    return received;
}

} // namespace

bool Start()
{
    if (g_running)
        return false;
    g_dp = DirectPlaySession();
    g_ownId = OwnPlayerId();
    if (!g_dp)
        ClientToServerQueue.Clear();
    g_passAwaited = false;
    g_running = true;
    return true;
}

void Stop()
{
    WorldObjectTable::DestroyAll();
    g_dp.reset();
    g_running = false;
    g_passAwaited = false;
    ClientToServerQueue.Clear();
}

bool IsRunning() { return g_running; }

void SetReceivedObserver(void (*observer)(std::span<const uint8_t> block)) { g_receivedObserver = observer; }

bool ReceiveServerMessages()
{
    if (!g_dp)
        WaitAndWake();
    bool ok = true;
    for (;;) {
        Network::Received received = Next();
        if (!received.ok) {
            ok = false;
            break;
        }
        if (received.message.IsEmpty())
            break;
        // DirectPlay's own notices are not server messages.
        if (received.sender == kSystemPlayerId)
            continue;
        if (g_receivedObserver)
            g_receivedObserver({received.message.Data(), received.message.Size()});
        ApplyServerMessage(received.message);
    }
    Timer& clock = Server::ClientClock();
    WorldObjectTable::UpdateAll(clock.Now64(), clock.Seconds());
    return ok;
}

} // namespace Client
