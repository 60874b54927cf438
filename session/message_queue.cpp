#include "session/message_queue.h"

#include "session/direct_play.h"

#include <utility>

MessageQueue ClientToServerQueue;
MessageQueue ServerToClientQueue;
MessageQueue CommandFileQueue;

void MessageQueue::Push(const void* data, uint32_t size)
{
    GameMessage copy(data, size); // copied outside the lock
    LockGuard guard(lock_, true);
    list_.PushBack(std::move(copy));
}

GameMessage MessageQueue::Pop()
{
    GameMessage message;
    {
        LockGuard guard(lock_, true);
        if (list_.IsEmpty())
            return message;
        message = std::move(*List<GameMessage>::NodeValue(list_.First()));
        list_.PopFront();
    }
    return message;
}

void MessageQueue::Clear()
{
    LockGuard guard(lock_, true);
    list_.Clear();
}

uint32_t MessageQueue::Count()
{
    LockGuard guard(lock_, true);
    return static_cast<uint32_t>(list_.Count());
}

namespace Client {
namespace {
// Written by the game thread only, between sessions.
std::shared_ptr<DirectPlay> g_dp;
uint32_t g_ownId = 0;
} // namespace

void SetDirectPlay(std::shared_ptr<DirectPlay> dp, uint32_t ownPlayerId)
{
    g_dp = std::move(dp);
    g_ownId = ownPlayerId;
}

std::shared_ptr<DirectPlay> DirectPlaySession() { return g_dp; }
uint32_t OwnPlayerId() { return g_ownId; }

bool SendToServer(const void* buffer, uint32_t size, bool guaranteed)
{
    if (!g_dp) {
        ClientToServerQueue.Push(buffer, size);
        return true;
    }
    const int32_t code = g_dp->Send(g_ownId, kServerPlayerId, guaranteed ? kSendGuaranteed : 0, buffer, size);
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    return true;
}
} // namespace Client

namespace Network {

Received Receive(DirectPlay& dp, uint32_t ownId)
{
    Received result;
    uint32_t from = 0;
    uint32_t to = ownId;
    uint32_t size = 0;
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t capacity = 0;
    int32_t code = dp.Receive(&from, &to, kReceiveToPlayer | kReceivePeek, nullptr, &size);
    while (code == DirectPlayCode::kBufferTooSmall) {
        // The message may have grown between the peek and the take: try again
        // with the size now reported.
        capacity = size;
        buffer = std::make_unique<uint8_t[]>(capacity == 0 ? 1 : capacity);
        to = ownId;
        size = capacity;
        code = dp.Receive(&from, &to, kReceiveToPlayer, buffer.get(), &size);
    }
    if (code == DirectPlayCode::kOk) {
        if (buffer) {
            // A reported size beyond the buffer would be a layer fault: never
            // read past what was allocated.
            result.message = GameMessage(std::move(buffer), size <= capacity ? size : capacity);
            result.sender = from;
        }
        return result;
    }
    if (code != DirectPlayCode::kNoMessages) {
        DebugReport(code);
        result.ok = false;
    }
    return result;
}

} // namespace Network
