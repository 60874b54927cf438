#include "platform/net.h"

#include "platform/thread.h"

#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr size_t kMaxPeers = 32;
constexpr int kServiceWaitMs = 5; // ENet's timers need a pass at least this often
constexpr uint32_t kCloseGraceMs = 100;

using Clock = std::chrono::steady_clock;

// ENet's global set-up is counted: the first user initialises, the last ends it.
std::mutex g_enetLock;
int g_enetUsers = 0;

bool AcquireEnet()
{
    std::lock_guard hold(g_enetLock);
    if (g_enetUsers == 0 && enet_initialize() != 0)
        return false;
    ++g_enetUsers;
    return true;
}

void ReleaseEnet()
{
    std::lock_guard hold(g_enetLock);
    if (--g_enetUsers == 0)
        enet_deinitialize();
}

struct EnetUse {
    bool ok = AcquireEnet();
    ~EnetUse()
    {
        if (ok)
            ReleaseEnet();
    }
};

NetGuid RandomGuid()
{
    std::random_device device;
    NetGuid guid{};
    for (uint8_t& byte : guid)
        byte = static_cast<uint8_t>(device());
    return guid;
}

struct Waiting {
    uint32_t from;
    std::vector<uint8_t> bytes;
};

struct Player {
    uint32_t id = 0;
    uint32_t flags = 0;
    std::string name;
    bool local = false;
    ENetPeer* peer = nullptr;     // host side: the machine that owns a remote player
    Event* arrival = nullptr;     // local players
    std::deque<Waiting> inbox;    // local players
};

struct Outgoing {
    ENetPeer* peer = nullptr;     // null: the client's one peer, the host
    enet_uint32 connectId = 0;
    std::vector<uint8_t> bytes;
    bool reliable = true;
    bool disconnect = false;
};

enum class Role { kNone, kHosting, kJoining, kJoined, kFailed };

// The event counter that wakes the service thread; lives as long as the
// session, so a late send never writes to a closed descriptor.
struct WakeFd {
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ~WakeFd()
    {
        if (fd >= 0)
            close(fd);
    }
    int get() const { return fd; }
    void Signal() const
    {
        const uint64_t one = 1;
        (void)!write(fd, &one, sizeof one);
    }
};

} // namespace

struct NetSession::Impl {
    EnetUse enet;
    NetLimits limits;
    WakeFd wake;

    // Service thread only.
    ENetHost* host = nullptr;
    ENetPeer* serverPeer = nullptr;     // client side
    Clock::time_point joinStarted;
    std::thread service;
    std::atomic<bool> stop{false};

    // Guarded by `lock`; `changed` tells waiters in CreatePlayer.
    mutable std::mutex lock;
    std::condition_variable changed;
    Role role = Role::kNone;
    int32_t failure = NetCode::kOk;
    NetGuid application{};
    NetGuid instance{};
    std::string name;
    uint32_t flags = 0;
    uint16_t port = 0;
    std::map<uint32_t, Player> players;
    std::set<uint32_t> groups;
    uint32_t nextId = 2;                 // 0 and 1 are never given to players
    uint32_t nextToken = 1;
    std::map<uint32_t, uint32_t> answeredTokens; // token -> id (0: refused)
    std::deque<Outgoing> outgoing;
    std::set<ENetPeer*> welcomed;        // host side: peers past the greeting
    std::map<ENetPeer*, Clock::time_point> greeting; // host side: connected, not yet greeted
    std::set<ENetPeer*> dropping;        // being disconnected for misbehaving
    std::atomic<uint32_t> droppedPeers{0};

    bool IsHost() const { return role == Role::kHosting; }

    // --- under `lock` ---

    // The service thread empties the queue before it sleeps, so waking it
    // when the queue stops being empty is enough.
    void Push(Outgoing item)
    {
        const bool first = outgoing.empty();
        outgoing.push_back(std::move(item));
        if (first)
            wake.Signal();
    }

    void Queue(ENetPeer* peer, std::vector<uint8_t> bytes, bool reliable)
    {
        Outgoing item;
        item.peer = peer;
        item.connectId = peer ? peer->connectID : 0;
        item.bytes = std::move(bytes);
        item.reliable = reliable;
        Push(std::move(item));
    }

    void QueueDisconnect(ENetPeer* peer)
    {
        Outgoing item;
        item.peer = peer;
        item.connectId = peer ? peer->connectID : 0;
        item.disconnect = true;
        Push(std::move(item));
    }

    void ToAllPeers(const Frame& frame, ENetPeer* except)
    {
        const std::vector<uint8_t> bytes = WriteFrame(frame);
        for (ENetPeer* peer : welcomed) {
            if (peer != except)
                Queue(peer, bytes, true);
        }
    }

    // False when the inbox is full: the message is not kept.
    bool PutInInbox(Player& player, uint32_t from, std::span<const uint8_t> bytes)
    {
        if (player.inbox.size() >= limits.inboxLimit)
            return false;
        player.inbox.push_back({from, std::vector<uint8_t>(bytes.begin(), bytes.end())});
        if (player.arrival)
            player.arrival->Set();
        return true;
    }

    void SystemMessage(uint32_t type, uint32_t id)
    {
        uint8_t words[8];
        for (int i = 0; i < 4; ++i) {
            words[i] = static_cast<uint8_t>(type >> (8 * i));
            words[4 + i] = static_cast<uint8_t>(id >> (8 * i));
        }
        for (auto& [playerId, player] : players) {
            if (player.local)
                PutInInbox(player, 0, words);
        }
    }

    // Once per peer; what it sends afterwards is ignored.
    void DropPeer(ENetPeer* peer)
    {
        if (!dropping.insert(peer).second)
            return;
        ++droppedPeers;
        QueueDisconnect(peer);
    }

    // Delivers a message from `from` to `to` (a player, or a group for all
    // but the sender). `origin` is the peer it came from, null when local.
    // Local recipients get it straight away; remote ones through their peer
    // (the host) or the host (a client).
    int32_t Route(uint32_t from, uint32_t to, std::span<const uint8_t> payload, bool reliable, ENetPeer* origin)
    {
        auto target = players.find(to);
        const bool toGroup = target == players.end();
        if (toGroup && IsHost() && !groups.count(to) && to != 0)
            return NetCode::kInvalidPlayer;
        std::set<ENetPeer*> peersToSend;
        bool toHost = false;
        for (auto& [id, player] : players) {
            if (toGroup ? id == from : id != to)
                continue;
            if (player.local) {
                if (!PutInInbox(player, from, payload)) {
                    if (origin)
                        DropPeer(origin); // a peer that floods an inbox is hung up on
                    return NetCode::kInboxFull;
                }
            } else if (IsHost()) {
                if (player.peer != origin)
                    peersToSend.insert(player.peer);
            } else if (!origin) {
                toHost = true;
            }
        }
        if (toGroup && !IsHost() && !origin)
            toHost = true;
        if (peersToSend.empty() && !toHost)
            return NetCode::kOk;
        Frame frame;
        frame.kind = FrameKind::kData;
        frame.from = from;
        frame.to = to;
        frame.payload = payload;
        const std::vector<uint8_t> bytes = WriteFrame(frame);
        if (toHost)
            Queue(nullptr, bytes, reliable);
        for (ENetPeer* peer : peersToSend)
            Queue(peer, bytes, reliable);
        return NetCode::kOk;
    }

    void AddPlayer(uint32_t id, uint32_t playerFlags, std::string playerName, ENetPeer* peer)
    {
        Player player;
        player.id = id;
        player.flags = playerFlags;
        player.name = std::move(playerName);
        player.peer = peer;
        players[id] = std::move(player);
        SystemMessage(kNetSystemPlayerAdded, id);
    }

    void RemovePlayer(uint32_t id)
    {
        if (players.erase(id))
            SystemMessage(kNetSystemPlayerRemoved, id);
    }

    Frame PlayerAddedFrame(const Player& player, uint32_t token) const
    {
        Frame frame;
        frame.kind = FrameKind::kPlayerAdded;
        frame.id = player.id;
        frame.flags = player.flags;
        frame.token = token;
        frame.name = player.name;
        return frame;
    }

    // --- service thread ---

    void HandleHostFrame(ENetPeer* peer, const Frame& frame, bool reliable)
    {
        const bool greeted = welcomed.count(peer) != 0;
        if (frame.kind == FrameKind::kHello && !greeted) {
            int32_t refusal = NetCode::kOk;
            if (frame.application != application || frame.instance != instance || (flags & kNetSessionJoinDisabled))
                refusal = NetCode::kJoinRefused;
            if (refusal != NetCode::kOk) {
                Frame refuse;
                refuse.kind = FrameKind::kRefuse;
                refuse.id = static_cast<uint32_t>(refusal);
                Queue(peer, WriteFrame(refuse), true);
                QueueDisconnect(peer);
                return;
            }
            welcomed.insert(peer);
            greeting.erase(peer);
            Frame welcome;
            welcome.kind = FrameKind::kWelcome;
            welcome.flags = flags;
            welcome.name = name;
            Queue(peer, WriteFrame(welcome), true);
            for (const auto& [id, player] : players)
                Queue(peer, WriteFrame(PlayerAddedFrame(player, 0)), true);
            return;
        }
        if (!greeted) {
            DropPeer(peer);
            return;
        }
        switch (frame.kind) {
        case FrameKind::kCreatePlayer: {
            if (flags & (kNetSessionNewPlayersDisabled | kNetSessionJoinDisabled)) {
                Frame refused;
                refused.kind = FrameKind::kPlayerAdded;
                refused.token = frame.token;
                Queue(peer, WriteFrame(refused), true);
                return;
            }
            const uint32_t id = nextId++;
            AddPlayer(id, frame.flags & ~kNetPlayerIsServer, frame.name, peer);
            Queue(peer, WriteFrame(PlayerAddedFrame(players[id], frame.token)), true);
            ToAllPeers(PlayerAddedFrame(players[id], 0), peer);
            return;
        }
        case FrameKind::kDestroyPlayer: {
            // A machine removes only its own players.
            auto found = players.find(frame.id);
            if (found == players.end() || found->second.peer != peer) {
                DropPeer(peer);
                return;
            }
            RemovePlayer(frame.id);
            Frame removed;
            removed.kind = FrameKind::kPlayerRemoved;
            removed.id = frame.id;
            ToAllPeers(removed, peer);
            return;
        }
        case FrameKind::kData: {
            // A peer speaks only for its own players.
            auto sender = players.find(frame.from);
            if (sender == players.end() || sender->second.peer != peer) {
                DropPeer(peer);
                return;
            }
            Route(frame.from, frame.to, frame.payload, reliable, peer);
            return;
        }
        default:
            DropPeer(peer);
            return;
        }
    }

    void HandleClientFrame(const Frame& frame)
    {
        switch (frame.kind) {
        case FrameKind::kWelcome:
            if (role == Role::kJoining) {
                role = Role::kJoined;
                flags = frame.flags;
                name = frame.name;
            }
            return;
        case FrameKind::kRefuse:
            role = Role::kFailed;
            failure = static_cast<int32_t>(frame.id);
            return;
        case FrameKind::kPlayerAdded:
            if (frame.token != 0)
                answeredTokens[frame.token] = frame.id;
            if (frame.id != 0 && !players.count(frame.id))
                AddPlayer(frame.id, frame.flags, frame.name, nullptr);
            if (frame.token != 0) {
                auto added = players.find(frame.id);
                if (added != players.end())
                    added->second.local = true;
            }
            return;
        case FrameKind::kPlayerRemoved: {
            auto found = players.find(frame.id);
            if (found != players.end()) {
                players.erase(found);
                SystemMessage(kNetSystemPlayerRemoved, frame.id);
            }
            return;
        }
        case FrameKind::kData:
            if (players.count(frame.from) && !players[frame.from].local)
                Route(frame.from, frame.to, frame.payload, true, serverPeer);
            return;
        default:
            return;
        }
    }

    void HandleEvent(ENetEvent& event)
    {
        std::lock_guard hold(lock);
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT:
            enet_peer_timeout(event.peer, 0, limits.silenceTimeoutMs / 2, limits.silenceTimeoutMs);
            enet_peer_ping_interval(event.peer, std::max<uint32_t>(limits.silenceTimeoutMs / 10, 50));
            if (IsHost()) {
                greeting[event.peer] = Clock::now();
            } else {
                Frame hello;
                hello.kind = FrameKind::kHello;
                hello.application = application;
                hello.instance = instance;
                Queue(nullptr, WriteFrame(hello), true);
            }
            break;
        case ENET_EVENT_TYPE_RECEIVE: {
            const std::span<const uint8_t> bytes(event.packet->data, event.packet->dataLength);
            const bool reliable = (event.packet->flags & ENET_PACKET_FLAG_RELIABLE) != 0;
            std::optional<Frame> frame = ParseFrame(bytes);
            if (dropping.count(event.peer)) {
                // Hung up on already: nothing more from it counts.
            } else if (IsHost()) {
                if (frame)
                    HandleHostFrame(event.peer, *frame, reliable);
                else
                    DropPeer(event.peer);
            } else if (frame) {
                HandleClientFrame(*frame);
            }
            enet_packet_destroy(event.packet);
            break;
        }
        case ENET_EVENT_TYPE_DISCONNECT:
            dropping.erase(event.peer);
            greeting.erase(event.peer);
            if (IsHost()) {
                welcomed.erase(event.peer);
                std::vector<uint32_t> gone;
                for (const auto& [id, player] : players) {
                    if (!player.local && player.peer == event.peer)
                        gone.push_back(id);
                }
                for (uint32_t id : gone) {
                    RemovePlayer(id);
                    Frame removed;
                    removed.kind = FrameKind::kPlayerRemoved;
                    removed.id = id;
                    ToAllPeers(removed, nullptr);
                }
            } else {
                if (role == Role::kJoined)
                    SystemMessage(kNetSystemSessionLost, 0);
                if (role != Role::kFailed) {
                    failure = role == Role::kJoined ? NetCode::kSessionLost : NetCode::kNoConnection;
                    role = Role::kFailed;
                }
                serverPeer = nullptr;
            }
            break;
        default:
            break;
        }
        changed.notify_all();
    }

    void SendOutgoing()
    {
        std::deque<Outgoing> items;
        {
            std::lock_guard hold(lock);
            items.swap(outgoing);
        }
        for (Outgoing& item : items) {
            ENetPeer* peer = item.peer ? item.peer : serverPeer;
            if (!peer || peer->connectID != (item.peer ? item.connectId : peer->connectID))
                continue;
            if (item.disconnect) {
                enet_peer_disconnect_later(peer, 0);
                continue;
            }
            if (peer->state != ENET_PEER_STATE_CONNECTED)
                continue;
            // Guaranteed frames go reliable, plain ones unreliable but
            // sequenced on the same channel 0: ENet never hands a plain frame
            // over after a later reliable one, so the senders' order holds.
            ENetPacket* packet = enet_packet_create(item.bytes.data(), item.bytes.size(),
                                                    item.reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
            if (packet && enet_peer_send(peer, 0, packet) != 0)
                enet_packet_destroy(packet);
        }
    }

    // A client that never joins gives up; a peer that never greets the host
    // is not left holding one of its places.
    void CheckTimeouts()
    {
        std::lock_guard hold(lock);
        const auto limit = std::chrono::milliseconds(limits.connectTimeoutMs);
        for (const auto& [peer, since] : greeting) {
            if (Clock::now() - since > limit)
                DropPeer(peer);
        }
        if (role == Role::kJoining && Clock::now() - joinStarted > limit) {
            role = Role::kFailed;
            failure = NetCode::kNoConnection;
            changed.notify_all();
        }
    }

    void Run();
    void Stop();
    int32_t StartService(ENetHost* created);
};

namespace {
// The service thread's session, for the search answers ENet hands over raw.
thread_local NetSession::Impl* t_service = nullptr;

int ENET_CALLBACK AnswerSearch(ENetHost* host, ENetEvent*)
{
    NetSession::Impl* impl = t_service;
    std::optional<NetGuid> asked = ParseSessionQuery({host->receivedData, host->receivedDataLength});
    if (!asked)
        return 0; // ENet's own traffic
    if (!impl)
        return 1;
    SessionAnswer answer;
    {
        std::lock_guard hold(impl->lock);
        // Only sessions open to newcomers are listed.
        if (!impl->IsHost() || *asked != impl->application || (impl->flags & kNetSessionJoinDisabled))
            return 1;
        answer.instance = impl->instance;
        answer.flags = impl->flags;
        answer.name = impl->name;
        for (const auto& [id, player] : impl->players) {
            if (!(player.flags & kNetPlayerIsServer))
                ++answer.currentPlayers;
        }
    }
    std::vector<uint8_t> bytes = WriteSessionAnswer(answer);
    ENetBuffer buffer{bytes.data(), bytes.size()};
    enet_socket_send(host->socket, &host->receivedAddress, &buffer, 1);
    return 1;
}
} // namespace

void NetSession::Impl::Run()
{
    t_service = this;
    while (!stop) {
        SendOutgoing();
        ENetEvent event;
        int result = enet_host_service(host, &event, 0);
        while (result > 0) {
            HandleEvent(event);
            result = enet_host_check_events(host, &event);
        }
        SendOutgoing(); // answers to what just came in
        enet_host_flush(host);
        CheckTimeouts();
        // Sleep until a datagram comes in or another thread queues a frame.
        pollfd ready[2] = {{host->socket, POLLIN, 0}, {wake.get(), POLLIN, 0}};
        if (poll(ready, 2, kServiceWaitMs) > 0 && (ready[1].revents & POLLIN)) {
            uint64_t count = 0;
            (void)!read(wake.get(), &count, sizeof count);
        }
    }
    // Leave politely: queued frames go first, then every peer is told.
    SendOutgoing();
    for (size_t i = 0; i < host->peerCount; ++i) {
        if (host->peers[i].state == ENET_PEER_STATE_CONNECTED)
            enet_peer_disconnect_later(&host->peers[i], 0);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseGraceMs);
    ENetEvent event;
    while (Clock::now() < deadline && enet_host_service(host, &event, 5) >= 0) {
        if (event.type == ENET_EVENT_TYPE_RECEIVE)
            enet_packet_destroy(event.packet);
    }
    t_service = nullptr;
}

int32_t NetSession::Impl::StartService(ENetHost* created)
{
    if (!created)
        return NetCode::kGeneric;
    host = created;
    host->maximumPacketSize = kNetMaxFrame;
    host->intercept = AnswerSearch;
    stop = false;
    service = std::thread([this] { Run(); });
    return NetCode::kOk;
}

void NetSession::Impl::Stop()
{
    if (service.joinable()) {
        stop = true;
        service.join();
    }
    if (host)
        enet_host_destroy(host);
    host = nullptr;
    serverPeer = nullptr;
    std::lock_guard hold(lock);
    welcomed.clear();
    greeting.clear();
    dropping.clear();
    role = Role::kNone;
    failure = NetCode::kOk;
    players.clear();
    groups.clear();
    outgoing.clear();
    answeredTokens.clear();
    nextId = 2;
    changed.notify_all();
}

NetSession::NetSession() : impl_(std::make_unique<Impl>()) {}
NetSession::~NetSession() { impl_->Stop(); }

void NetSession::SetLimits(const NetLimits& limits) { impl_->limits = limits; }

int32_t NetSession::FindSessions(const NetGuid& application, const std::string& host, uint16_t port,
                                 uint32_t waitMs, std::vector<NetSessionFound>& found)
{
    found.clear();
    EnetUse enet;
    if (!enet.ok)
        return NetCode::kGeneric;
    ENetAddress address{};
    address.port = port;
    if (host.empty())
        address.host = ENET_HOST_BROADCAST;
    else if (enet_address_set_host(&address, host.c_str()) != 0)
        return NetCode::kInvalidParams;
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (socket == ENET_SOCKET_NULL)
        return NetCode::kGeneric;
    enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
    enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
    std::vector<uint8_t> query = WriteSessionQuery(application);
    ENetBuffer out{query.data(), query.size()};
    int32_t code = enet_socket_send(socket, &address, &out, 1) < 0 ? NetCode::kGeneric : NetCode::kOk;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (code == NetCode::kOk && found.size() < kNetMaxSessions) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
        if (enet_socket_wait(socket, &condition, static_cast<enet_uint32>(left)) != 0)
            break;
        if (!(condition & ENET_SOCKET_WAIT_RECEIVE))
            continue;
        uint8_t bytes[512];
        ENetBuffer in{bytes, sizeof bytes};
        ENetAddress from{};
        const int length = enet_socket_receive(socket, &from, &in, 1);
        if (length <= 0)
            continue;
        std::optional<SessionAnswer> answer = ParseSessionAnswer({bytes, static_cast<size_t>(length)});
        if (!answer)
            continue;
        const bool known = std::any_of(found.begin(), found.end(), [&](const NetSessionFound& one) {
            return one.session.instance == answer->instance;
        });
        if (known)
            continue;
        NetSessionFound entry;
        entry.session = std::move(*answer);
        char text[64] = {};
        enet_address_get_host_ip(&from, text, sizeof text);
        entry.host = text;
        entry.port = from.port;
        found.push_back(std::move(entry));
        if (!host.empty())
            break; // one address answers once
    }
    enet_socket_destroy(socket);
    return code;
}

int32_t NetSession::Host(const NetGuid& application, const std::string& name, uint32_t flags, uint16_t port)
{
    if (!impl_->enet.ok || impl_->host)
        return NetCode::kGeneric;
    if (name.size() > kNetMaxName)
        return NetCode::kInvalidParams;
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    ENetHost* created = enet_host_create(&address, kMaxPeers, 1, 0, 0);
    if (!created)
        return NetCode::kGeneric;
    ENetAddress bound{};
    enet_socket_get_address(created->socket, &bound);
    {
        std::lock_guard hold(impl_->lock);
        impl_->role = Role::kHosting;
        impl_->application = application;
        impl_->instance = RandomGuid();
        impl_->name = name;
        impl_->flags = flags;
        impl_->port = bound.port;
    }
    return impl_->StartService(created);
}

uint16_t NetSession::Port() const
{
    std::lock_guard hold(impl_->lock);
    return impl_->port;
}

int32_t NetSession::Join(const NetGuid& application, const NetSessionFound& session)
{
    {
        std::lock_guard hold(impl_->lock);
        switch (impl_->role) {
        case Role::kJoining: return NetCode::kConnecting;
        case Role::kJoined: return NetCode::kOk;
        case Role::kFailed: return impl_->failure;
        case Role::kHosting: return NetCode::kGeneric;
        case Role::kNone: break;
        }
    }
    if (!impl_->enet.ok)
        return NetCode::kGeneric;
    ENetAddress address{};
    address.port = session.port;
    if (enet_address_set_host(&address, session.host.c_str()) != 0)
        return NetCode::kInvalidParams;
    ENetHost* created = enet_host_create(nullptr, 1, 1, 0, 0);
    if (!created)
        return NetCode::kGeneric;
    ENetPeer* peer = enet_host_connect(created, &address, 1, 0);
    if (!peer) {
        enet_host_destroy(created);
        return NetCode::kGeneric;
    }
    {
        std::lock_guard hold(impl_->lock);
        impl_->role = Role::kJoining;
        impl_->application = application;
        impl_->instance = session.session.instance;
        impl_->name = session.session.name;
    }
    impl_->serverPeer = peer;
    impl_->joinStarted = Clock::now();
    const int32_t code = impl_->StartService(created);
    return code == NetCode::kOk ? NetCode::kConnecting : code;
}

void NetSession::Close() { impl_->Stop(); }

uint32_t NetSession::SessionFlags() const
{
    std::lock_guard hold(impl_->lock);
    return impl_->flags;
}

std::string NetSession::SessionName() const
{
    std::lock_guard hold(impl_->lock);
    return impl_->name;
}

int32_t NetSession::SetSessionFlags(uint32_t flags)
{
    std::lock_guard hold(impl_->lock);
    if (!impl_->IsHost())
        return NetCode::kGeneric;
    impl_->flags = flags;
    return NetCode::kOk;
}

int32_t NetSession::CreatePlayer(uint32_t* id, const std::string& name, Event* arrival, uint32_t flags)
{
    if (!id)
        return NetCode::kInvalidParams;
    std::unique_lock hold(impl_->lock);
    Impl& impl = *impl_;
    if (name.size() > kNetMaxName)
        return NetCode::kInvalidParams;
    if (impl.IsHost()) {
        uint32_t newId = 0;
        if (flags & kNetPlayerIsServer) {
            if (impl.players.count(1))
                return NetCode::kCantCreatePlayer;
            newId = 1;
        } else {
            newId = impl.nextId++;
        }
        impl.AddPlayer(newId, flags, name, nullptr);
        Player& player = impl.players[newId];
        player.local = true;
        player.arrival = arrival;
        Frame added = impl.PlayerAddedFrame(player, 0);
        impl.ToAllPeers(added, nullptr);
        *id = newId;
        return NetCode::kOk;
    }
    if (impl.role != Role::kJoined)
        return NetCode::kNoConnection;
    const uint32_t token = impl.nextToken++;
    Frame ask;
    ask.kind = FrameKind::kCreatePlayer;
    ask.token = token;
    ask.flags = flags & ~kNetPlayerIsServer;
    ask.name = name;
    impl.Queue(nullptr, WriteFrame(ask), true);
    const bool answered = impl.changed.wait_for(hold, std::chrono::milliseconds(impl.limits.connectTimeoutMs), [&] {
        return impl.answeredTokens.count(token) || impl.role != Role::kJoined;
    });
    if (!answered || !impl.answeredTokens.count(token))
        return NetCode::kNoConnection;
    const uint32_t newId = impl.answeredTokens[token];
    impl.answeredTokens.erase(token);
    auto player = impl.players.find(newId);
    if (newId == 0 || player == impl.players.end())
        return NetCode::kCantCreatePlayer;
    player->second.arrival = arrival;
    *id = newId;
    return NetCode::kOk;
}

int32_t NetSession::DestroyPlayer(uint32_t id)
{
    std::lock_guard hold(impl_->lock);
    Impl& impl = *impl_;
    auto found = impl.players.find(id);
    if (found == impl.players.end())
        return NetCode::kInvalidPlayer;
    Frame frame;
    frame.id = id;
    if (impl.IsHost()) {
        frame.kind = FrameKind::kPlayerRemoved;
        impl.ToAllPeers(frame, nullptr);
    } else {
        if (!found->second.local)
            return NetCode::kInvalidPlayer;
        frame.kind = FrameKind::kDestroyPlayer;
        impl.Queue(nullptr, WriteFrame(frame), true);
    }
    impl.RemovePlayer(id);
    return NetCode::kOk;
}

int32_t NetSession::CreateGroup(uint32_t* id)
{
    std::lock_guard hold(impl_->lock);
    if (!id || !impl_->IsHost())
        return NetCode::kGeneric;
    *id = impl_->nextId++;
    impl_->groups.insert(*id);
    return NetCode::kOk;
}

int32_t NetSession::EnumPlayers(const std::function<void(uint32_t, uint32_t, const std::string&)>& visit)
{
    std::vector<std::tuple<uint32_t, uint32_t, std::string>> copy;
    {
        std::lock_guard hold(impl_->lock);
        if (impl_->role != Role::kHosting && impl_->role != Role::kJoined)
            return impl_->role == Role::kFailed ? impl_->failure : NetCode::kNoConnection;
        for (const auto& [id, player] : impl_->players)
            copy.emplace_back(id, player.flags, player.name);
    }
    // Visited outside the lock: the caller may call back into the session.
    for (const auto& [id, flags, name] : copy)
        visit(id, flags, name);
    return NetCode::kOk;
}

int32_t NetSession::Send(uint32_t from, uint32_t to, uint32_t flags, const void* data, uint32_t size)
{
    if ((!data && size) || size > kNetMaxMessage)
        return NetCode::kInvalidParams;
    std::lock_guard hold(impl_->lock);
    Impl& impl = *impl_;
    if (impl.role == Role::kFailed)
        return impl.failure;
    if (impl.role != Role::kHosting && impl.role != Role::kJoined)
        return NetCode::kNoConnection;
    auto sender = impl.players.find(from);
    if (sender == impl.players.end() || !sender->second.local)
        return NetCode::kInvalidPlayer;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return impl.Route(from, to, {bytes, size}, (flags & kNetSendGuaranteed) != 0, nullptr);
}

int32_t NetSession::Receive(uint32_t* from, uint32_t* to, bool peek, void* buffer, uint32_t* size)
{
    if (!from || !to || !size)
        return NetCode::kInvalidParams;
    std::lock_guard hold(impl_->lock);
    Impl& impl = *impl_;
    Player* owner = nullptr;
    if (*to != 0) {
        auto found = impl.players.find(*to);
        if (found == impl.players.end() || !found->second.local)
            return NetCode::kInvalidPlayer;
        owner = &found->second;
    } else {
        for (auto& [id, player] : impl.players) {
            if (player.local && !player.inbox.empty()) {
                owner = &player;
                break;
            }
        }
    }
    if (!owner || owner->inbox.empty())
        return NetCode::kNoMessages;
    const Waiting& first = owner->inbox.front();
    const auto need = static_cast<uint32_t>(first.bytes.size());
    if (peek || (need > 0 && !buffer) || *size < need) {
        *size = need;
        return NetCode::kBufferTooSmall;
    }
    if (need > 0)  // an empty message may come with no buffer at all
        std::memcpy(buffer, first.bytes.data(), need);
    *size = need;
    *from = first.from;
    *to = owner->id;
    owner->inbox.pop_front();
    return NetCode::kOk;
}

uint32_t NetSession::DroppedPeers() const { return impl_->droppedPeers; }

} // namespace platform
