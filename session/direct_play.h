// The DirectPlay session as the transport and the server thread use it: sends
// and receives between player ids, the server player and its group, the
// player list. The networked session layer implements it; tests give fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class Event;
class NetSession;
}

namespace DirectPlayCode {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kBufferTooSmall = static_cast<int32_t>(0x8877001Eu);
inline constexpr int32_t kNoMessages = static_cast<int32_t>(0x887700BEu);
inline constexpr int32_t kConnecting = static_cast<int32_t>(0x8877015Eu);
inline constexpr int32_t kGeneric = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kInvalidPlayer = static_cast<int32_t>(0x88770096u);
inline constexpr int32_t kNoConnection = static_cast<int32_t>(0x88770082u);
inline constexpr int32_t kSessionLost = static_cast<int32_t>(0x887701F4u);
} // namespace DirectPlayCode

inline constexpr uint32_t kSystemPlayerId = 0;  // DirectPlay's own messages
inline constexpr uint32_t kServerPlayerId = 1;  // also the sender id on the queue road
inline constexpr uint32_t kSendGuaranteed = 1;
inline constexpr uint32_t kReceiveToPlayer = 2;
inline constexpr uint32_t kReceivePeek = 8;
inline constexpr uint32_t kPlayerIsServer = 0x100;

class DirectPlay {
public:
    virtual ~DirectPlay() = default;

    virtual int32_t Send(uint32_t from, uint32_t to, uint32_t flags, const void* data, uint32_t size) = 0;
    // With kReceivePeek and no buffer: reports the waiting message's size in
    // `size` with kBufferTooSmall. Without peek: fills `buffer` (capacity in
    // `size`) or answers kBufferTooSmall with the size needed.
    virtual int32_t Receive(uint32_t* from, uint32_t* to, uint32_t flags, void* buffer, uint32_t* size) = 0;
    // `arrival` is set whenever a message for the new player comes in.
    virtual int32_t CreatePlayer(uint32_t* id, platform::Event* arrival, uint32_t flags) = 0;
    virtual int32_t CreateGroup(uint32_t* id) = 0;
    virtual int32_t EnumPlayers(const std::function<void(uint32_t id, uint32_t flags)>& visit) = 0;
    virtual int32_t DestroyPlayer(uint32_t id) = 0;
};

// System messages (sender kSystemPlayerId): {type, player id}.
inline constexpr uint32_t kSystemPlayerAdded = 0x0003;
inline constexpr uint32_t kSystemPlayerRemoved = 0x0005;
inline constexpr uint32_t kSystemSessionLost = 0x0031;

// The networked session seen through this interface.
std::shared_ptr<DirectPlay> MakeNetDirectPlay(std::shared_ptr<platform::NetSession> session);

// Takes every failing DirectPlay result and writes it to the log file, so a
// lost message leaves a trace.
void DebugReport(int32_t code);
