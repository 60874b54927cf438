// The networked session over loopback: host, search, join, players, sends
// with their exact sizes and senders, refusals, floods, silent peers and
// damaged frames from a raw ENet peer. Every wait is bounded; nothing is
// asserted on time.
#include "platform/net.h"
#include "platform/thread.h"

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

constexpr NetGuid kGame = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr NetGuid kOtherGame = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
constexpr uint32_t kBoundMs = 5000;

template <typename Predicate>
bool Eventually(Predicate done, uint32_t ms = kBoundMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        SleepMilliseconds(2);
    }
    return true;
}

struct Message {
    uint32_t from = 0;
    uint32_t to = 0;
    std::vector<uint8_t> bytes;
};

// Takes the next message for `player`, waiting a bounded while for one.
std::optional<Message> Take(NetSession& session, uint32_t player, uint32_t boundMs = kBoundMs)
{
    std::optional<Message> got;
    Eventually([&] {
        Message m;
        m.to = player;
        uint32_t size = 0;
        if (session.Receive(&m.from, &m.to, true, nullptr, &size) != NetCode::kBufferTooSmall)
            return false;
        m.bytes.resize(size);
        if (session.Receive(&m.from, &m.to, false, m.bytes.data(), &size) != NetCode::kOk)
            return false;
        got = std::move(m);
        return true;
    }, boundMs);
    return got;
}

// Skips system messages (sender 0) and returns the next game message.
std::optional<Message> TakeGameMessage(NetSession& session, uint32_t player)
{
    for (;;) {
        std::optional<Message> m = Take(session, player);
        if (!m || m->from != 0)
            return m;
    }
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t index)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + 4 * index, 4);
    return value;
}

NetLimits FastLimits()
{
    NetLimits limits;
    limits.connectTimeoutMs = 3000;
    limits.silenceTimeoutMs = 600;
    return limits;
}

struct HostedSession {
    std::unique_ptr<NetSession> host = std::make_unique<NetSession>();
    uint32_t server = 0;

    explicit HostedSession(uint32_t inboxLimit = kNetInboxLimit)
    {
        NetLimits limits = FastLimits();
        limits.inboxLimit = inboxLimit;
        host->SetLimits(limits);
        EXPECT_EQ(host->Host(kGame, "Arena", 0, 0), NetCode::kOk);
        EXPECT_EQ(host->CreatePlayer(&server, "server", nullptr, kNetPlayerIsServer), NetCode::kOk);
    }

    NetSessionFound Address() const
    {
        std::vector<NetSessionFound> found;
        EXPECT_EQ(NetSession::FindSessions(kGame, "127.0.0.1", host->Port(), kBoundMs, found), NetCode::kOk);
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? NetSessionFound{} : found[0];
    }
};

int32_t JoinFully(NetSession& client, const NetGuid& game, const NetSessionFound& where)
{
    client.SetLimits(FastLimits());
    int32_t code = client.Join(game, where);
    while (code == NetCode::kConnecting) {
        SleepMilliseconds(2);
        code = client.Join(game, where);
    }
    return code;
}

// Searches the one address for its session, then joins it.
int32_t JoinByPort(NetSession& client, NetSessionFound where)
{
    std::vector<NetSessionFound> found;
    NetSession::FindSessions(kGame, where.host, where.port, kBoundMs, found);
    if (found.empty())
        return NetCode::kNoSessions;
    return JoinFully(client, kGame, found[0]);
}

TEST(Net, HostFindJoinAndExchangeWithExactSizesAndSenders)
{
    HostedSession hosted;
    EXPECT_EQ(hosted.server, 1u);
    const NetSessionFound where = hosted.Address();
    EXPECT_EQ(where.session.name, "Arena");

    NetSession client;
    ASSERT_EQ(JoinFully(client, kGame, where), NetCode::kOk);
    EXPECT_EQ(client.SessionName(), "Arena");
    uint32_t player = 0;
    Event arrival;
    ASSERT_EQ(client.CreatePlayer(&player, "Ann", &arrival, 0), NetCode::kOk);
    EXPECT_GT(player, 1u);

    // The host's players hear of the newcomer from sender 0.
    std::optional<Message> notice = Take(*hosted.host, hosted.server);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->from, 0u);
    EXPECT_EQ(Word(notice->bytes, 0), kNetSystemPlayerAdded);
    EXPECT_EQ(Word(notice->bytes, 1), player);

    struct Case {
        uint32_t size;
        uint32_t flags;
    };
    for (const Case c : {Case{56, kNetSendGuaranteed}, Case{56, 0}, Case{1, kNetSendGuaranteed},
                         Case{kNetMaxMessage, kNetSendGuaranteed}, Case{0, kNetSendGuaranteed}}) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " flags " << c.flags);
        std::vector<uint8_t> bytes(c.size);
        for (uint32_t i = 0; i < c.size; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        ASSERT_EQ(client.Send(player, hosted.server, c.flags, bytes.data(), c.size), NetCode::kOk);
        std::optional<Message> got = TakeGameMessage(*hosted.host, hosted.server);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->from, player);
        EXPECT_EQ(got->to, hosted.server);
        EXPECT_EQ(got->bytes, bytes);
    }

    // The host answers one player and then its group; the arrival event rings.
    uint32_t group = 0;
    ASSERT_EQ(hosted.host->CreateGroup(&group), NetCode::kOk);
    EXPECT_GT(group, 1u);
    const uint8_t hello[3] = {'h', 'i', '!'};
    ASSERT_EQ(hosted.host->Send(hosted.server, player, kNetSendGuaranteed, hello, 3), NetCode::kOk);
    ASSERT_EQ(hosted.host->Send(hosted.server, group, 0, hello, 2), NetCode::kOk);
    EXPECT_TRUE(arrival.Wait(kBoundMs));
    std::optional<Message> first = TakeGameMessage(client, player);
    std::optional<Message> second = TakeGameMessage(client, player);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, std::vector<uint8_t>(hello, hello + 3));
    EXPECT_EQ(second->bytes, std::vector<uint8_t>(hello, hello + 2));
    EXPECT_EQ(second->from, hosted.server);

    // Everyone sees the same players.
    std::vector<uint32_t> seen;
    ASSERT_EQ(client.EnumPlayers([&](uint32_t id, uint32_t flags, const std::string& name) {
        seen.push_back(id);
        if (id == player) {
            EXPECT_EQ(name, "Ann");
        }
        if (id == 1) {
            EXPECT_EQ(flags, kNetPlayerIsServer);
        }
    }), NetCode::kOk);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, player}));
}

TEST(Net, ReceiveReportsSizesAndKeepsTheMessageOnAShortBuffer)
{
    HostedSession hosted;
    uint32_t other = 0;
    ASSERT_EQ(hosted.host->CreatePlayer(&other, "local", nullptr, 0), NetCode::kOk);
    while (Take(*hosted.host, hosted.server, 50)) {
    }
    const uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    // Local to local never needs a peer.
    ASSERT_EQ(hosted.host->Send(other, hosted.server, 0, bytes, 10), NetCode::kOk);
    uint32_t from = 0;
    uint32_t to = hosted.server;
    uint32_t size = 4;
    uint8_t small[4];
    EXPECT_EQ(hosted.host->Receive(&from, &to, false, small, &size), NetCode::kBufferTooSmall);
    EXPECT_EQ(size, 10u);
    uint8_t whole[10];
    EXPECT_EQ(hosted.host->Receive(&from, &to, false, whole, &size), NetCode::kOk);
    EXPECT_EQ(std::memcmp(whole, bytes, 10), 0);
    EXPECT_EQ(from, other);
    EXPECT_EQ(hosted.host->Receive(&from, &to, false, whole, &size), NetCode::kNoMessages);
    // Only own players may send or read.
    EXPECT_EQ(hosted.host->Send(77, hosted.server, 0, bytes, 10), NetCode::kInvalidPlayer);
    to = 77;
    EXPECT_EQ(hosted.host->Receive(&from, &to, false, whole, &size), NetCode::kInvalidPlayer);
}

TEST(Net, OtherGamesAndLockedSessionsAreNeitherListedNorJoined)
{
    HostedSession hosted;
    const NetSessionFound where = hosted.Address();
    std::vector<NetSessionFound> found;
    EXPECT_EQ(NetSession::FindSessions(kOtherGame, "127.0.0.1", hosted.host->Port(), 200, found), NetCode::kOk);
    EXPECT_TRUE(found.empty());
    NetSession stranger;
    EXPECT_EQ(JoinFully(stranger, kOtherGame, where), NetCode::kJoinRefused);

    NetSession early;
    ASSERT_EQ(JoinFully(early, kGame, where), NetCode::kOk);
    ASSERT_EQ(hosted.host->SetSessionFlags(kNetSessionJoinDisabled | kNetSessionNewPlayersDisabled), NetCode::kOk);
    EXPECT_EQ(NetSession::FindSessions(kGame, "127.0.0.1", hosted.host->Port(), 200, found), NetCode::kOk);
    EXPECT_TRUE(found.empty());
    NetSession late;
    EXPECT_EQ(JoinFully(late, kGame, where), NetCode::kJoinRefused);
    // A machine already in cannot bring in new players either.
    uint32_t id = 0;
    EXPECT_EQ(early.CreatePlayer(&id, "late", nullptr, 0), NetCode::kCantCreatePlayer);
}

TEST(Net, APeerThatFloodsAnInboxIsDisconnected)
{
    HostedSession hosted(8);
    NetSession client;
    ASSERT_EQ(JoinFully(client, kGame, hosted.Address()), NetCode::kOk);
    uint32_t player = 0;
    ASSERT_EQ(client.CreatePlayer(&player, "flood", nullptr, 0), NetCode::kOk);
    const uint8_t word[4] = {};
    for (int i = 0; i < 64; ++i)
        client.Send(player, hosted.server, kNetSendGuaranteed, word, 4);
    EXPECT_TRUE(Eventually([&] { return hosted.host->DroppedPeers() == 1u; }));
    // The client learns that its session is gone.
    EXPECT_TRUE(Eventually([&] { return client.Send(player, hosted.server, 0, word, 4) == NetCode::kSessionLost; }));
    bool lostNotice = false;
    while (std::optional<Message> m = Take(client, player, 200)) {
        if (m->from == 0 && Word(m->bytes, 0) == kNetSystemSessionLost)
            lostNotice = true;
    }
    EXPECT_TRUE(lostNotice);
}

// Reads one value from `fd` within the bound; false when the writer died.
template <typename Value>
bool ReadBounded(int fd, Value& value)
{
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, kBoundMs) == 1 && read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

TEST(Net, AKilledPeerIsMarkedGone)
{
    int portPipe[2];
    int readyPipe[2];
    ASSERT_EQ(pipe(portPipe), 0);
    ASSERT_EQ(pipe(readyPipe), 0);
    // Forked before this process starts any thread of its own.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(portPipe[1]);
        close(readyPipe[0]);
        NetSessionFound where;
        where.host = "127.0.0.1";
        NetSession client;
        uint32_t id = 0;
        if (ReadBounded(portPipe[0], where.port) && JoinByPort(client, where) == NetCode::kOk &&
            client.CreatePlayer(&id, "doomed", nullptr, 0) == NetCode::kOk)
            (void)!write(readyPipe[1], &id, sizeof id);
        for (int i = 0; i < 1000; ++i)
            SleepMilliseconds(10); // killed long before this ends
        _exit(0);
    }
    close(portPipe[0]);
    close(readyPipe[1]);
    HostedSession hosted;
    const uint16_t port = hosted.host->Port();
    (void)!write(portPipe[1], &port, sizeof port);
    uint32_t id = 0;
    const bool joined = ReadBounded(readyPipe[0], id);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(joined);
    bool gone = false;
    Eventually([&] {
        std::optional<Message> m = Take(*hosted.host, hosted.server);
        gone = gone || (m && m->from == 0 && Word(m->bytes, 0) == kNetSystemPlayerRemoved && Word(m->bytes, 1) == id);
        return gone;
    });
    EXPECT_TRUE(gone);
    std::vector<uint32_t> left;
    hosted.host->EnumPlayers([&](uint32_t player, uint32_t, const std::string&) { left.push_back(player); });
    EXPECT_EQ(left, std::vector<uint32_t>{1});
}

// A raw ENet peer that puts what it likes on the wire.
struct RawPeer {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;

    explicit RawPeer(uint16_t port)
    {
        enet_initialize();
        host = enet_host_create(nullptr, 1, 1, 0, 0);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = port;
        peer = enet_host_connect(host, &address, 1, 0);
        ENetEvent event;
        connected = enet_host_service(host, &event, kBoundMs) > 0 && event.type == ENET_EVENT_TYPE_CONNECT;
    }
    ~RawPeer()
    {
        enet_host_destroy(host);
        enet_deinitialize();
    }

    void Send(const std::vector<uint8_t>& bytes)
    {
        enet_peer_send(peer, 0, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(host);
    }

    // True when the host hung up within the bound.
    bool Disconnected()
    {
        ENetEvent event;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (enet_host_service(host, &event, 10) > 0) {
                if (event.type == ENET_EVENT_TYPE_DISCONNECT)
                    return true;
                if (event.type == ENET_EVENT_TYPE_RECEIVE)
                    enet_packet_destroy(event.packet);
            }
        }
        return false;
    }

    bool connected = false;
};

std::vector<uint8_t> HelloFor(const NetGuid& game, const NetGuid& instance)
{
    Frame hello;
    hello.kind = FrameKind::kHello;
    hello.application = game;
    hello.instance = instance;
    return WriteFrame(hello);
}

TEST(Net, DamagedFramesFromARawPeerOnlyCostThatPeer)
{
    HostedSession hosted;
    const NetSessionFound where = hosted.Address();
    const std::vector<uint8_t> hello = HelloFor(kGame, where.session.instance);
    std::vector<uint8_t> longName = {static_cast<uint8_t>(FrameKind::kCreatePlayer), 1, 0, 0, 0, 0, 0, 0, 0, 200};
    longName.resize(longName.size() + 200, 'x');
    std::vector<uint8_t> spoofed = {static_cast<uint8_t>(FrameKind::kData), 1, 0, 0, 0, 1, 0, 0, 0, 9};
    std::vector<uint8_t> pastBound(1 + 8 + kNetMaxMessage + 1, 0);
    pastBound[0] = static_cast<uint8_t>(FrameKind::kData);
    std::vector<uint8_t> oversized(kNetMaxFrame + 100, 1);
    oversized[0] = static_cast<uint8_t>(FrameKind::kData);

    struct Case {
        const char* what;
        bool greet;
        std::vector<uint8_t> bytes;
        bool hangsUp = true; // else ENet itself drops the frame unread
    };
    const Case cases[] = {
        {"empty frame", false, {}},
        {"unknown kind", false, {0xEE, 1, 2}},
        {"data before the greeting", false, {1, 2, 0, 0, 0, 1, 0, 0, 0}},
        {"short greeting", false, {2, 1, 2, 3}},
        {"greeting with trailing bytes", false, [&] { auto b = hello; b.push_back(0); return b; }()},
        {"truncated data header", true, {1, 2, 0}},
        {"player name past its bound", true, longName},
        {"data sent as the server player", true, spoofed},
        {"removing the server player", true, {static_cast<uint8_t>(FrameKind::kDestroyPlayer), 1, 0, 0, 0}},
        {"message past its bound", true, pastBound},
        {"frame past ENet's packet bound", true, oversized, false},
        {"second greeting", true, hello},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawPeer raw(hosted.host->Port());
        ASSERT_TRUE(raw.connected);
        if (c.greet)
            raw.Send(hello);
        raw.Send(c.bytes);
        if (c.hangsUp) {
            EXPECT_TRUE(raw.Disconnected());
        }
    }
    {
        SCOPED_TRACE("silence instead of a greeting");
        RawPeer silent(hosted.host->Port());
        ASSERT_TRUE(silent.connected);
        EXPECT_TRUE(silent.Disconnected());
    }
    // The host still serves well-behaved machines, and nothing reached its
    // server player but the notices.
    NetSession client;
    ASSERT_EQ(JoinFully(client, kGame, where), NetCode::kOk);
    uint32_t player = 0;
    ASSERT_EQ(client.CreatePlayer(&player, "fine", nullptr, 0), NetCode::kOk);
    const uint8_t word[4] = {4, 3, 2, 1};
    ASSERT_EQ(client.Send(player, 1, kNetSendGuaranteed, word, 4), NetCode::kOk);
    std::optional<Message> got = TakeGameMessage(*hosted.host, hosted.server);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->from, player);
}

// A machine answering a search with a session name past its bound first:
// that answer is refused and the next sound one listed.
TEST(Net, SearchAnswersWithNamesPastTheirBoundAreRefused)
{
    ASSERT_EQ(enet_initialize(), 0);
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    ASSERT_EQ(enet_socket_bind(socket, &address), 0);
    ENetAddress bound{};
    enet_socket_get_address(socket, &bound);

    std::vector<NetSessionFound> found;
    std::thread searcher([&] { NetSession::FindSessions(kGame, "127.0.0.1", bound.port, 1000, found); });
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    ASSERT_EQ(enet_socket_wait(socket, &condition, kBoundMs), 0);
    uint8_t query[64];
    ENetBuffer in{query, sizeof query};
    ENetAddress asker{};
    ASSERT_EQ(enet_socket_receive(socket, &asker, &in, 1), 20);
    auto answer = [&](std::vector<uint8_t> bytes) {
        ENetBuffer out{bytes.data(), bytes.size()};
        enet_socket_send(socket, &asker, &out, 1);
    };
    std::vector<uint8_t> longName = WriteSessionAnswer(SessionAnswer{});
    longName.back() = 200; // the name's length byte
    longName.resize(longName.size() + 200, 'x');
    answer(longName);
    for (uint32_t i = 0; i < 3; ++i) {
        SessionAnswer one;
        one.instance[0] = static_cast<uint8_t>(i);
        one.instance[1] = 1;
        one.name = "s" + std::to_string(i);
        answer(WriteSessionAnswer(one));
    }
    searcher.join();
    enet_socket_destroy(socket);
    enet_deinitialize();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].session.name, "s0");
}

// Game and server threads send through one session while its service thread
// receives; the thread-sanitizer build runs this.
TEST(Net, TwoThreadsSendWhileTheServiceThreadReceives)
{
    HostedSession hosted;
    NetSession client;
    ASSERT_EQ(JoinFully(client, kGame, hosted.Address()), NetCode::kOk);
    uint32_t game = 0;
    uint32_t server = 0;
    ASSERT_EQ(client.CreatePlayer(&game, "game", nullptr, 0), NetCode::kOk);
    ASSERT_EQ(client.CreatePlayer(&server, "server side", nullptr, 0), NetCode::kOk);
    constexpr uint32_t kEach = 200;
    auto sendAll = [&](uint32_t from) {
        for (uint32_t i = 0; i < kEach; ++i) {
            uint8_t bytes[8];
            std::memcpy(bytes, &from, 4);
            std::memcpy(bytes + 4, &i, 4);
            client.Send(from, hosted.server, kNetSendGuaranteed, bytes, 8);
        }
    };
    std::thread first(sendAll, game);
    std::thread second(sendAll, server);
    first.join();
    second.join();
    // Each sender's messages arrive whole and in its order.
    uint32_t next[2] = {0, 0};
    while (next[0] + next[1] < 2 * kEach) {
        std::optional<Message> m = TakeGameMessage(*hosted.host, hosted.server);
        ASSERT_TRUE(m);
        ASSERT_EQ(m->bytes.size(), 8u);
        const int who = m->from == game ? 0 : 1;
        EXPECT_EQ(Word(m->bytes, 0), m->from);
        EXPECT_EQ(Word(m->bytes, 1), next[who]++);
    }
}

} // namespace
} // namespace platform
