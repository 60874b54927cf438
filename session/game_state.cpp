#include "session/game_state.h"

#include "app/clock.h"
#include "session/server_thread.h"

#include <cassert>

namespace GameState {
namespace {
int32_t g_enterCount = 0; // game thread only
} // namespace

void Enter()
{
    if (Server::OnServerThread())
        return;
    if (g_enterCount++ == 0)
        Server::Park();
}

void Leave()
{
    if (Server::OnServerThread())
        return;
    assert(g_enterCount > 0);
    if (g_enterCount <= 0)
        return; // an unmatched Leave must not release a hold someone else has
    if (--g_enterCount == 0)
        Server::Unpark();
}

int32_t Depth() { return g_enterCount; }
} // namespace GameState

namespace GameClock {
uint64_t Now() { return Server::ServerClock().Now64(); }
} // namespace GameClock
