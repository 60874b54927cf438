#include "session/network.h"

#include "platform/net.h"
#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/message_queue.h"
#include "session/server_thread.h"

#include <vector>

namespace Network {
namespace {

constexpr uint32_t kJoinPollMs = 5;

// Game thread only.
bool g_created = false;
bool g_addressGiven = false;
bool g_sessionDialogsDone = false;
std::string g_searchHost;          // empty: broadcast
uint16_t g_port = platform::kNetDefaultPort;
uint32_t g_searchWaitMs = 200;
std::vector<NetworkConnection> g_connections;
std::vector<NetworkSession> g_sessions;
std::vector<NetworkPlayerEntry> g_players;
std::shared_ptr<platform::NetSession> g_session;
std::shared_ptr<DirectPlay> g_play;
uint32_t g_localPlayer = 0;

bool Failed(int32_t code)
{
    if (code == DirectPlayCode::kOk)
        return false;
    DebugReport(code);
    return true;
}

platform::NetGuid AsNetGuid(const Guid& guid)
{
    platform::NetGuid out{};
    std::copy(guid.begin(), guid.end(), out.begin());
    return out;
}

bool OpenSession()
{
    if (!g_created)
        return false;
    g_session = std::make_shared<platform::NetSession>();
    g_play = MakeNetDirectPlay(g_session);
    return true;
}

void DropSession()
{
    g_play.reset();
    g_session.reset();
    g_localPlayer = 0;
}

} // namespace

bool Create()
{
    g_created = true;
    return true;
}

bool IsActive() { return g_created; }

bool EnumConnections()
{
    g_connections.clear();
    if (!g_created)
        return false;
    NetworkConnection udp;
    udp.provider = AddressGuid::kTcpIpProvider;
    udp.name = kProviderName;
    g_connections.push_back(std::move(udp));
    return !g_connections.empty();
}

uint32_t ConnectionCount() { return static_cast<uint32_t>(g_connections.size()); }

NetworkConnection* Connection(uint32_t index)
{
    return index < g_connections.size() ? &g_connections[index] : nullptr;
}

bool InitializeConnection(NetworkConnection* connection, NetworkAddress* address)
{
    if (!g_created || !connection)
        return false;
    g_addressGiven = address != nullptr;
    g_sessionDialogsDone = g_addressGiven;
    std::vector<uint8_t> block = connection->data;
    if (address && !address->Build().empty())
        block = address->Block();
    g_searchHost.clear();
    if (block.empty())
        return true; // no address: search by broadcast
    std::optional<std::string> host = TcpIpHostOf(block);
    if (!host) {
        DebugReport(platform::NetCode::kInvalidParams);
        return false;
    }
    g_searchHost = *host;
    return true;
}

bool EnumSessions()
{
    g_sessions.clear();
    if (!g_created)
        return false;
    if (!g_sessionDialogsDone) {
        StepAsideForProviderDialogs(true);
        StepAsideForProviderDialogs(false);
        g_sessionDialogsDone = true;
    }
    std::vector<platform::NetSessionFound> found;
    if (Failed(platform::NetSession::FindSessions(AsNetGuid(kApplicationGuid), g_searchHost, g_port, g_searchWaitMs, found)))
        return false;
    for (platform::NetSessionFound& one : found) {
        NetworkSession session;
        std::copy(one.session.instance.begin(), one.session.instance.end(), session.instance.begin());
        session.maxPlayers = one.session.maxPlayers;
        session.currentPlayers = one.session.currentPlayers;
        session.name = std::move(one.session.name);
        session.host = std::move(one.host);
        session.port = one.port;
        g_sessions.push_back(std::move(session));
    }
    return true;
}

uint32_t SessionCount() { return static_cast<uint32_t>(g_sessions.size()); }

NetworkSession* Session(uint32_t index) { return index < g_sessions.size() ? &g_sessions[index] : nullptr; }

bool HostSession(const char* name)
{
    if (!OpenSession())
        return false;
    if (!g_addressGiven)
        StepAsideForProviderDialogs(true);
    const int32_t code = g_session->Host(AsNetGuid(kApplicationGuid), name ? name : "", kHostFlags, g_port);
    if (!g_addressGiven)
        StepAsideForProviderDialogs(false);
    if (Failed(code) || !Server::Start(g_play)) {
        DropSession();
        return false;
    }
    return true;
}

bool CreateLocalPlayer(const char* name)
{
    if (!g_session)
        return false;
    uint32_t id = 0;
    if (Failed(g_session->CreatePlayer(&id, name ? name : "", nullptr, 0)))
        return false;
    g_localPlayer = id;
    Client::SetDirectPlay(g_play, id);
    return true;
}

bool EnumPlayers()
{
    g_players.clear();
    if (!g_session)
        return false;
    return !Failed(g_session->EnumPlayers([](uint32_t id, uint32_t flags, const std::string& name) {
        if (!(flags & kPlayerIsServer))
            g_players.push_back({name, id});
    }));
}

uint32_t PlayerCount() { return static_cast<uint32_t>(g_players.size()); }

NetworkPlayerEntry* Player(uint32_t index) { return index < g_players.size() ? &g_players[index] : nullptr; }

bool CloseSession()
{
    if (!g_session)
        return false;
    if (Server::IsRunning())
        Server::Stop();
    Client::SetDirectPlay(nullptr, 0);
    g_session->Close();
    DropSession();
    return true;
}

void Shutdown()
{
    g_connections.clear();
    g_sessions.clear();
    g_players.clear();
    Client::SetDirectPlay(nullptr, 0);
    if (Server::IsRunning())
        Server::Stop();
    DropSession();
    g_created = false;
    g_addressGiven = false;
    g_sessionDialogsDone = false;
    g_searchHost.clear();
}

void SetPort(uint16_t port) { g_port = port; }
void SetSearchWait(uint32_t milliseconds) { g_searchWaitMs = milliseconds; }
void StepAsideForProviderDialogs(bool) {}

std::shared_ptr<platform::NetSession> Transport() { return g_session; }
std::shared_ptr<DirectPlay> Play() { return g_play; }
uint32_t LocalPlayerId() { return g_localPlayer; }

} // namespace Network

bool NetworkSession::Join()
{
    using namespace Network;
    if (!OpenSession())
        return false;
    platform::NetSessionFound target;
    std::copy(instance.begin(), instance.end(), target.session.instance.begin());
    target.session.name = name;
    target.host = host;
    target.port = port;
    if (!g_addressGiven)
        StepAsideForProviderDialogs(true);
    // Polled with a short sleep; the layer ends the attempt after its
    // connection time-out.
    int32_t code = g_session->Join(AsNetGuid(kApplicationGuid), target);
    while (code == DirectPlayCode::kConnecting) {
        platform::SleepMilliseconds(kJoinPollMs);
        code = g_session->Join(AsNetGuid(kApplicationGuid), target);
    }
    if (!g_addressGiven)
        StepAsideForProviderDialogs(false);
    if (Failed(code)) {
        DropSession();
        return false;
    }
    return true;
}
