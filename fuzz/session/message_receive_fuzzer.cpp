// Messages from a peer through a session layer that reports any sizes: the
// receive must neither read nor write outside the block it allocated, and
// every word read from the message stays inside it.
#include "session/direct_play.h"
#include "session/game_message.h"
#include "session/message_queue.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Input: [u32 peek size][u32 take size][u32 sender] then the message bytes,
// repeated. The layer reports the sizes it is told to, as a faulty or
// hostile one might.
struct ScriptedSession : DirectPlay {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t reportedTake = 0;
    std::vector<uint8_t> body;
    uint32_t sender = 0;
    bool loaded = false;

    bool Load()
    {
        if (size - at < 12)
            return false;
        const uint32_t peek = LoadU32(data + at);
        reportedTake = LoadU32(data + at + 4);
        sender = LoadU32(data + at + 8);
        at += 12;
        const size_t length = std::min<size_t>(size - at, peek % 4096);
        body.assign(data + at, data + at + length);
        at += length;
        loaded = true;
        return true;
    }

    int32_t Send(uint32_t, uint32_t, uint32_t, const void*, uint32_t) override { return DirectPlayCode::kOk; }
    int32_t Receive(uint32_t* from, uint32_t*, uint32_t flags, void* buffer, uint32_t* capacity) override
    {
        if (!loaded && !Load())
            return DirectPlayCode::kNoMessages;
        if (flags & kReceivePeek) {
            *capacity = static_cast<uint32_t>(body.size());
            return DirectPlayCode::kBufferTooSmall;
        }
        if (*capacity < body.size()) {
            *capacity = static_cast<uint32_t>(body.size());
            return DirectPlayCode::kBufferTooSmall;
        }
        if (!body.empty()) // an empty body has no data pointer to copy from
            std::memcpy(buffer, body.data(), body.size());
        *capacity = reportedTake % 8192; // may claim more than was written
        *from = sender;
        loaded = false;
        return DirectPlayCode::kOk;
    }
    int32_t CreatePlayer(uint32_t*, platform::Event*, uint32_t) override { return DirectPlayCode::kOk; }
    int32_t CreateGroup(uint32_t*) override { return DirectPlayCode::kOk; }
    int32_t EnumPlayers(const std::function<void(uint32_t, uint32_t)>&) override { return DirectPlayCode::kOk; }
    int32_t DestroyPlayer(uint32_t) override { return DirectPlayCode::kOk; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ScriptedSession session;
    session.data = data;
    session.size = size;
    MessageQueue queue;
    for (int guard = 0; guard < 64; ++guard) {
        Network::Received got = Network::Receive(session, 5);
        if (got.message.IsEmpty())
            break;
        queue.Push(got.message.Data(), got.message.Size());
    }
    volatile uint32_t sink = 0;
    for (GameMessage m = queue.Pop(); !m.IsEmpty(); m = queue.Pop()) {
        uint32_t word = 0;
        for (uint32_t i = 0; m.ReadWord(i, word); ++i)
            sink = sink + word;
        sink = sink + m.Type();
    }
    return 0;
}
