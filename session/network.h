// The networked game's set-up as the front end's multiplayer menus drive it:
// one network object, its connection (provider), the sessions found, host or
// join, the local player and the player list. Game thread only; after a host
// or join the server thread and the client share the session.
#pragma once

#include "session/network_address.h"

#include <cstdint>
#include <memory>
#include <string>

class DirectPlay;
namespace platform {
class NetSession;
}

struct NetworkConnection {
    Guid provider{};
    std::vector<uint8_t> data; // the provider's own connection block
    std::string name;
};

struct NetworkSession {
    Guid instance{};
    uint32_t maxPlayers = 0;
    uint32_t currentPlayers = 0;
    std::string name;
    std::string host; // where it answered from
    uint16_t port = 0;

    bool Join();
};

struct NetworkPlayerEntry {
    std::string name;
    uint32_t id = 0;
};

namespace Network {

inline constexpr Guid kApplicationGuid =
    MakeGuid(0xC1CB8A00, 0x1293, 0x11D2, {0x8A, 0x89, 0x00, 0x00, 0xE8, 0xCA, 0xE4, 0x46});
inline constexpr const char* kProviderName = "UDP/IP";
inline constexpr uint32_t kHostFlags = 0xA0C0; // keep-alive, no data notices, own protocol, low latency
inline constexpr uint32_t kLockFlags = 0x21;   // no new players, no joining

bool Create();
bool IsActive();

bool EnumConnections();
uint32_t ConnectionCount();
NetworkConnection* Connection(uint32_t index);
// With an address block the search and join go where it says; a TCP/IP
// block with an empty host searches by broadcast.
bool InitializeConnection(NetworkConnection* connection, NetworkAddress* address);

bool EnumSessions();
uint32_t SessionCount();
NetworkSession* Session(uint32_t index);

bool HostSession(const char* name);
bool CreateLocalPlayer(const char* name);
bool EnumPlayers();
uint32_t PlayerCount();
NetworkPlayerEntry* Player(uint32_t index);

bool CloseSession();
void Shutdown();

// The port hosted on and searched (tests use a free one), and how long one
// search listens for answers.
void SetPort(uint16_t port);
void SetSearchWait(uint32_t milliseconds);

// Around a provider's own dialogs the window would step aside; this
// provider shows none, so nothing is done.
void StepAsideForProviderDialogs(bool aside);

// The open session, for the level-start handshake; null when none is open.
std::shared_ptr<platform::NetSession> Transport();
std::shared_ptr<DirectPlay> Play();
uint32_t LocalPlayerId();

} // namespace Network
