// A DirectPlay session in memory: an inbox for the player that receives, a
// record of what was sent, and the players it lists.
#pragma once

#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/game_message.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

struct FakeDirectPlay : DirectPlay {
    struct Sent {
        uint32_t from, to, flags;
        std::vector<uint8_t> bytes;
    };
    struct Waiting {
        uint32_t from;
        std::vector<uint8_t> bytes;
    };

    std::mutex mutex;
    std::deque<Waiting> inbox;
    std::vector<Sent> sent;
    std::vector<uint32_t> present; // ids EnumPlayers lists
    platform::Event* arrival = nullptr;
    int32_t sendResult = DirectPlayCode::kOk;
    int32_t receiveResult = DirectPlayCode::kOk; // other than kOk: every take fails
    uint32_t peekShortBy = 0;  // the first peek under-reports the size
    uint32_t taken = 0;

    void Deliver(uint32_t from, std::vector<uint32_t> words)
    {
        std::vector<uint8_t> bytes(words.size() * 4);
        for (size_t i = 0; i < words.size(); ++i)
            StoreU32(bytes.data() + 4 * i, words[i]);
        {
            std::lock_guard hold(mutex);
            inbox.push_back({from, std::move(bytes)});
        }
        if (arrival)
            arrival->Set();
    }

    std::vector<Sent> SentCopy()
    {
        std::lock_guard hold(mutex);
        return sent;
    }

    uint32_t Taken()
    {
        std::lock_guard hold(mutex);
        return taken;
    }

    int32_t Send(uint32_t from, uint32_t to, uint32_t flags, const void* data, uint32_t size) override
    {
        std::lock_guard hold(mutex);
        const auto* bytes = static_cast<const uint8_t*>(data);
        sent.push_back({from, to, flags, std::vector<uint8_t>(bytes, bytes + size)});
        return sendResult;
    }

    int32_t Receive(uint32_t* from, uint32_t*, uint32_t flags, void* buffer, uint32_t* size) override
    {
        std::lock_guard hold(mutex);
        if (receiveResult != DirectPlayCode::kOk)
            return receiveResult;
        if (inbox.empty())
            return DirectPlayCode::kNoMessages;
        const auto need = static_cast<uint32_t>(inbox.front().bytes.size());
        if (flags & kReceivePeek) {
            *size = need - std::min(need, peekShortBy);
            peekShortBy = 0;
            return DirectPlayCode::kBufferTooSmall;
        }
        if (*size < need) {
            *size = need;
            return DirectPlayCode::kBufferTooSmall;
        }
        std::memcpy(buffer, inbox.front().bytes.data(), need);
        *size = need;
        *from = inbox.front().from;
        inbox.pop_front();
        ++taken;
        return DirectPlayCode::kOk;
    }

    int32_t CreatePlayer(uint32_t* id, platform::Event* event, uint32_t) override
    {
        *id = 1;
        arrival = event;
        return DirectPlayCode::kOk;
    }

    int32_t CreateGroup(uint32_t* id) override
    {
        *id = 77;
        return DirectPlayCode::kOk;
    }

    int32_t EnumPlayers(const std::function<void(uint32_t, uint32_t)>& visit) override
    {
        std::vector<uint32_t> ids;
        {
            std::lock_guard hold(mutex);
            ids = present;
        }
        visit(1, kPlayerIsServer);
        for (uint32_t id : ids)
            visit(id, 0);
        return DirectPlayCode::kOk;
    }

    int32_t DestroyPlayer(uint32_t) override { return DirectPlayCode::kOk; }
};
