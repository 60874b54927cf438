// 56-byte game messages over loopback through the network layer and through
// raw ENet in the same run, and the level-start handshake between a host
// and one joined machine.
#include "platform/net.h"
#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/network.h"
#include "session/server_thread.h"

#include <benchmark/benchmark.h>
#include <enet/enet.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kMessageBytes = 56;
constexpr int kBatch = 64;
constexpr platform::NetGuid kGame = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

bool TakeOne(platform::NetSession& session, uint32_t player, std::vector<uint8_t>& buffer)
{
    uint32_t from = 0;
    uint32_t to = player;
    uint32_t size = static_cast<uint32_t>(buffer.size());
    return session.Receive(&from, &to, false, buffer.data(), &size) == platform::NetCode::kOk;
}

int32_t Join(platform::NetSession& client, const platform::NetGuid& game, uint16_t port)
{
    std::vector<platform::NetSessionFound> found;
    platform::NetSession::FindSessions(game, "127.0.0.1", port, 2000, found);
    if (found.empty())
        return platform::NetCode::kNoSessions;
    int32_t code = client.Join(game, found[0]);
    while (code == platform::NetCode::kConnecting) {
        platform::SleepMilliseconds(1);
        code = client.Join(game, found[0]);
    }
    return code;
}

void LayerMessages(benchmark::State& state)
{
    const uint32_t flags = state.range(0) ? platform::kNetSendGuaranteed : 0;
    platform::NetSession host;
    uint32_t server = 0;
    host.Host(kGame, "bench", 0, 0);
    host.CreatePlayer(&server, "server", nullptr, platform::kNetPlayerIsServer);
    platform::NetSession client;
    uint32_t player = 0;
    if (Join(client, kGame, host.Port()) != platform::NetCode::kOk ||
        client.CreatePlayer(&player, "bench", nullptr, 0) != platform::NetCode::kOk) {
        state.SkipWithError("no session on loopback");
        return;
    }
    std::vector<uint8_t> buffer(256);
    while (TakeOne(host, server, buffer)) {
    }
    const std::vector<uint8_t> message(kMessageBytes, 0x5A);
    int64_t lost = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            client.Send(player, server, flags, message.data(), kMessageBytes);
        // Plain messages may be lost: wait a bounded while for them.
        int got = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (got < kBatch && std::chrono::steady_clock::now() < deadline) {
            if (TakeOne(host, server, buffer))
                ++got;
            else
                platform::YieldThread();
        }
        lost += kBatch - got;
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(LayerMessages)->Arg(1)->Arg(0)->ArgName("guaranteed")->UseRealTime();

void RawEnetMessages(benchmark::State& state)
{
    const enet_uint32 flags = state.range(0) ? ENET_PACKET_FLAG_RELIABLE : 0;
    enet_initialize();
    ENetAddress address{ENET_HOST_ANY, 0};
    ENetHost* server = enet_host_create(&address, 1, 1, 0, 0);
    ENetAddress bound{};
    enet_socket_get_address(server->socket, &bound);
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    enet_address_set_host(&address, "127.0.0.1");
    address.port = bound.port;
    ENetPeer* peer = enet_host_connect(client, &address, 1, 0);
    ENetEvent event;
    bool connected = false;
    for (int i = 0; i < 1000 && !connected; ++i) {
        enet_host_service(server, &event, 1);
        if (enet_host_service(client, &event, 1) > 0 && event.type == ENET_EVENT_TYPE_CONNECT)
            connected = true;
    }
    const std::vector<uint8_t> message(kMessageBytes, 0x5A);
    int64_t lost = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            enet_peer_send(peer, 0, enet_packet_create(message.data(), message.size(), flags));
        enet_host_flush(client);
        int got = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (got < kBatch && std::chrono::steady_clock::now() < deadline) {
            if (enet_host_service(server, &event, 0) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE) {
                enet_packet_destroy(event.packet);
                ++got;
            } else {
                enet_host_service(client, &event, 0);
            }
        }
        lost += kBatch - got;
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["lost"] = static_cast<double>(lost);
    enet_host_destroy(client);
    enet_host_destroy(server);
    enet_deinitialize();
}
BENCHMARK(RawEnetMessages)->Arg(1)->Arg(0)->ArgName("guaranteed")->UseRealTime();

// The host with its own client and one joined machine: lock, level and
// sides, both ready, all ready, and the joined machine seeing the go.
void LevelStartHandshake(benchmark::State& state)
{
    Network::Create();
    Network::SetPort(0);
    if (!Network::HostSession("bench") || !Network::CreateLocalPlayer("host")) {
        state.SkipWithError("no session on loopback");
        return;
    }
    platform::NetSession remote;
    uint32_t player = 0;
    if (Join(remote, Network::kApplicationGuid, Network::Transport()->Port()) != platform::NetCode::kOk ||
        remote.CreatePlayer(&player, "remote", nullptr, 0) != platform::NetCode::kOk) {
        state.SkipWithError("no join on loopback");
        return;
    }
    std::vector<uint8_t> buffer(1024);
    auto awaitType = [&](uint32_t type) {
        for (int i = 0; i < 100000; ++i) {
            uint32_t from = 0;
            uint32_t to = player;
            uint32_t size = static_cast<uint32_t>(buffer.size());
            if (remote.Receive(&from, &to, false, buffer.data(), &size) == platform::NetCode::kOk && from != 0 &&
                size >= 4 && buffer[0] == type)
                return true;
            platform::YieldThread();
        }
        return false;
    };
    const uint8_t ready[4] = {1, 0, 0, 0};
    for (auto _ : state) {
        Server::LockSession();
        Server::SendLevelStart(4, "levels\\mp01.def", "mp01.cmd");
        awaitType(LevelStart::kLevelStart);
        remote.Send(player, kServerPlayerId, platform::kNetSendGuaranteed, ready, 4);
        Client::SendReady();
        Server::WaitForPlayers();
        Client::WaitForStart();
        awaitType(LevelStart::kAllReady);
    }
    Network::CloseSession();
    Network::Shutdown();
}
BENCHMARK(LevelStartHandshake)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
