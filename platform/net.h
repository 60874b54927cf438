// Networked sessions over ENet: host a session, find sessions (LAN broadcast
// or one address), join one, players on every machine, sends between player
// ids and one inbox per local player. The host is the hub: clients talk only
// to it, and it checks every sender id against the peer that sent it.
// One service thread owns the ENet host (ENet is not thread-safe); the game
// and server threads only queue frames and read inboxes under one lock.
#pragma once

#include "platform/net_frame.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Event;

// Result codes, the values the session layer passes on unchanged.
namespace NetCode {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kBufferTooSmall = static_cast<int32_t>(0x8877001Eu);
inline constexpr int32_t kNoMessages = static_cast<int32_t>(0x887700BEu);
inline constexpr int32_t kConnecting = static_cast<int32_t>(0x8877015Eu);
inline constexpr int32_t kGeneric = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kInvalidParams = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t kInvalidPlayer = static_cast<int32_t>(0x88770096u);
inline constexpr int32_t kNoConnection = static_cast<int32_t>(0x88770082u);
inline constexpr int32_t kNoSessions = static_cast<int32_t>(0x887700E6u);
inline constexpr int32_t kSessionLost = static_cast<int32_t>(0x887701F4u);
inline constexpr int32_t kJoinRefused = static_cast<int32_t>(0x88770014u);     // locked or wrong game
inline constexpr int32_t kCantCreatePlayer = static_cast<int32_t>(0x88770050u);
inline constexpr int32_t kInboxFull = static_cast<int32_t>(0x88770064u);
} // namespace NetCode

inline constexpr uint32_t kNetSessionNewPlayersDisabled = 0x1;
inline constexpr uint32_t kNetSessionJoinDisabled = 0x20;
inline constexpr uint32_t kNetPlayerIsServer = 0x100;
inline constexpr uint32_t kNetSendGuaranteed = 1;

// System messages from sender 0: {type, player id}, little-endian words.
inline constexpr uint32_t kNetSystemPlayerAdded = 0x0003;
inline constexpr uint32_t kNetSystemPlayerRemoved = 0x0005;
inline constexpr uint32_t kNetSystemSessionLost = 0x0031;

inline constexpr uint16_t kNetDefaultPort = 47624;
inline constexpr uint32_t kNetMaxSessions = 64;     // one search keeps at most this many
inline constexpr uint32_t kNetInboxLimit = 4096;    // messages waiting for one local player

struct NetSessionFound {
    SessionAnswer session;
    std::string host; // dotted address of the answering machine
    uint16_t port = 0;
};

struct NetLimits {
    uint32_t connectTimeoutMs = 5000;
    uint32_t silenceTimeoutMs = 5000;  // a peer silent this long is gone
    uint32_t inboxLimit = kNetInboxLimit;
};

class NetSession {
public:
    NetSession();
    ~NetSession(); // leaves the session and stops the service thread
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    void SetLimits(const NetLimits& limits); // before Host or Join

    // Searches for `application`'s sessions: a broadcast when `host` is empty,
    // else one address; answers arriving within `waitMs` are listed (at most
    // kNetMaxSessions, names bounded).
    static int32_t FindSessions(const NetGuid& application, const std::string& host, uint16_t port,
                                uint32_t waitMs, std::vector<NetSessionFound>& found);

    // Opens a session on `port` (0: any free port) on every local address.
    int32_t Host(const NetGuid& application, const std::string& name, uint32_t flags, uint16_t port);
    uint16_t Port() const;
    // Starts joining on the first call, then kConnecting until the host has
    // welcomed or refused this machine (or the time-out passed).
    int32_t Join(const NetGuid& application, const NetSessionFound& session);
    void Close();

    uint32_t SessionFlags() const;
    std::string SessionName() const;
    int32_t SetSessionFlags(uint32_t flags); // host only

    int32_t CreatePlayer(uint32_t* id, const std::string& name, Event* arrival, uint32_t flags);
    int32_t DestroyPlayer(uint32_t id);
    int32_t CreateGroup(uint32_t* id); // every group holds all players
    int32_t EnumPlayers(const std::function<void(uint32_t id, uint32_t flags, const std::string& name)>& visit);

    int32_t Send(uint32_t from, uint32_t to, uint32_t flags, const void* data, uint32_t size);
    // `to` names the local player whose inbox is read, or 0 for any. Peek
    // reports the size with kBufferTooSmall; a short buffer gets the size
    // needed with kBufferTooSmall and the message stays.
    int32_t Receive(uint32_t* from, uint32_t* to, bool peek, void* buffer, uint32_t* size);

    // For tests and benchmarks: peers the host dropped for misbehaving.
    uint32_t DroppedPeers() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
