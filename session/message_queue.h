// The locked in-memory queues that carry messages between the game thread and
// the server thread when no DirectPlay session runs, and the client's road to
// the server. A push copies the sender's block; the popper owns what it pops.
#pragma once

#include <cstddef> // app/list.h uses size_t unqualified

#include "app/list.h"
#include "app/read_write_lock.h"
#include "session/game_message.h"

#include <cstdint>
#include <memory>

class DirectPlay;

class MessageQueue {
public:
    MessageQueue() = default;
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    void Push(const void* data, uint32_t size);
    // The oldest message; an empty message when none is queued.
    GameMessage Pop();
    void Clear();
    uint32_t Count();

private:
    ReadWriteLock lock_;         // taken exclusively by every operation
    List<GameMessage> list_;     // guarded by lock_
};

extern MessageQueue ClientToServerQueue; // requests: game thread -> server thread
extern MessageQueue ServerToClientQueue; // server messages: server thread (and a few console actions) -> game thread
extern MessageQueue CommandFileQueue;    // NUL-terminated command-file names, one run per frame

namespace Client {
// The client's DirectPlay session and own player id; null for the queue road.
// Set by the game thread while no request is being sent.
void SetDirectPlay(std::shared_ptr<DirectPlay> dp, uint32_t ownPlayerId);
std::shared_ptr<DirectPlay> DirectPlaySession();
uint32_t OwnPlayerId();

// Sends a request to the server player, or queues it. False when DirectPlay
// refused it (the request is lost).
bool SendToServer(const void* buffer, uint32_t size, bool guaranteed);
} // namespace Client

namespace Network {
struct Received {
    GameMessage message; // empty when nothing was received
    uint32_t sender = 0;
    bool ok = true;      // false: the session failed, not merely empty
};

// One message addressed to `ownId`, grown to the size DirectPlay reports.
Received Receive(DirectPlay& dp, uint32_t ownId);
} // namespace Network
