// The client's life in a session and its once-a-frame drain of the server's
// messages: alone it wakes the server thread first, then it takes every
// waiting message from the queue or the DirectPlay session, applies it and
// updates the replicas. Game thread only.
#pragma once

#include <cstdint>
#include <span>

namespace Client {
// False when the client already runs. Takes the session's DirectPlay
// (Client::SetDirectPlay), or empties the request queue without one.
bool Start();
// Every replica goes; the DirectPlay reference is let go.
void Stop();
bool IsRunning();
// Once per frame in play. False after a DirectPlay receive error, which ends
// the frame's drain.
bool ReceiveServerMessages();
// Sees every block the drain takes from the server, before it is applied
// (a diagnostics or test tap); null removes it. Game thread only.
void SetReceivedObserver(void (*observer)(std::span<const uint8_t> block));
} // namespace Client
