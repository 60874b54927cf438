#include "session/game_speed.h"

#include "app/clock.h"
#include "app/read_write_lock.h"
#include "session/game_message.h"
#include "session/game_state.h"
#include "session/server_thread.h"

namespace GameSpeed {
namespace {
// The pending change and the server clock's speed are read by the game
// thread at any time and changed by both threads: all under g_speedLock.
ReadWriteLock g_speedLock;
bool g_changePending = false;
float g_pendingSpeed = 1.0f;
uint32_t g_sequence = 0;

void SendToAll(uint32_t type, float speed, const uint32_t* sequence)
{
    uint8_t block[12];
    MessageWriter writer(block, sizeof block);
    writer.PutU32(type);
    writer.PutFloat(speed);
    if (sequence)
        writer.PutU32(*sequence);
    Server::SendToClients(block, writer.Size(), true);
}
} // namespace

float Get()
{
    LockGuard guard(g_speedLock, false);
    return g_changePending ? g_pendingSpeed : Server::ServerClock().Speed();
}

void Set(float speed)
{
    if (!(speed > 0.0f))
        speed = 0.0f; // the clocks never run backwards; NaN stops them too
    GameState::Hold hold;
    Timer& server = Server::ServerClock();
    Timer& client = Server::ClientClock();
    const bool networked = Server::IsRunning() && Server::HasDirectPlay();
    bool slower = false;
    uint32_t sequence = 0;
    {
        LockGuard guard(g_speedLock, true);
        slower = speed < server.Speed();
        if (!slower) {
            g_changePending = false;
            server.SetSpeed(speed);
            if (!networked)
                client.SetSpeed(speed);
        } else if (networked) {
            g_changePending = true;
            g_pendingSpeed = speed;
            sequence = ++g_sequence;
            for (uint32_t i = 0; i < Server::PlayerCount(); ++i)
                Server::PlayerAt(i)->acknowledged = false;
        } else {
            g_changePending = false;
            client.SetSpeed(speed);
            server.SetSpeed(speed);
        }
    }
    if (networked)
        SendToAll(slower ? MessageType::kSlowDown : MessageType::kSpeedUp, speed, slower ? &sequence : nullptr);
}

void OnAnswer(uint32_t sender, uint32_t sequence)
{
    {
        LockGuard guard(g_speedLock, false);
        if (!g_changePending || sequence != g_sequence)
            return;
    }
    if (NetworkPlayer* player = Server::FindPlayer(sender))
        player->acknowledged = true;
}

void ApplyWhenAnswered()
{
    {
        LockGuard guard(g_speedLock, false);
        if (!g_changePending)
            return;
    }
    Server::RefreshPlayers();
    for (uint32_t i = 0; i < Server::PlayerCount(); ++i) {
        const NetworkPlayer* player = Server::PlayerAt(i);
        if (!player->gone && !player->acknowledged)
            return;
    }
    LockGuard guard(g_speedLock, true);
    if (g_changePending) {
        Server::ServerClock().SetSpeed(g_pendingSpeed);
        g_changePending = false;
    }
}

void Reset()
{
    LockGuard guard(g_speedLock, true);
    g_changePending = false;
}
} // namespace GameSpeed
