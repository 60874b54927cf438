// The client's frame drain of a busy frame: 2000 server messages (moves,
// stops, launches and hits over 100 walkers) popped, checked, applied and
// freed, then one update of every replica; beside it a loop that only pops
// and frees the same messages. The frame budget for the drain is 2 ms.
#include "tests/session/message_world.h"

#include "app/app_time.h"
#include "session/client.h"
#include "session/message_queue.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <deque>
#include <vector>

namespace {

constexpr uint32_t kFirstWalker = 100, kWalkers = 100, kFirstShot = 1000;
constexpr int kMessages = 2000;

std::vector<uint8_t> Block(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(out.data() + 4 * i++, w);
    return out;
}

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

std::vector<std::vector<uint8_t>> Frame()
{
    std::vector<std::vector<uint8_t>> out;
    for (uint32_t i = 0; out.size() < kMessages; ++i) {
        const uint32_t walker = kFirstWalker + i % kWalkers, shot = kFirstShot + i;
        const float x = static_cast<float>(i % 17), t = 0.001f * static_cast<float>(i);
        out.push_back(Block({42, walker, F(t), F(x), 0, 0, 0, 0, 0, F(1), F(1), 0, 0, 0xFFFFFF}));
        out.push_back(Block({43, walker, F(t), F(x), 0, F(1), 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFF}));
        out.push_back(Block({49, MessageWorld::kGunner, 0xFFFFFFFFu, MessageWorld::kShotRole, 2, F(t), F(x), F(-1), 0,
                             0, 0, 0, F(1), F(20), shot}));
        out.push_back(Block({50, shot, 0xFFFFFFFFu, F(t), F(x), 0, F(3)}));
    }
    return out;
}

void Queue(const std::vector<std::vector<uint8_t>>& frame)
{
    for (const std::vector<uint8_t>& m : frame)
        ServerToClientQueue.Push(m.data(), static_cast<uint32_t>(m.size()));
}

void World(std::deque<script::Role>& roles)
{
    MessageWorld::Build(roles);
    for (uint32_t i = 0; i < kWalkers; ++i)
        MessageWorld::Place(roles[MessageWorld::kWalkerRole], MessageWorld::kEnemySide, static_cast<float>(i % 10),
                            kFirstWalker + i);
}

void BM_DrainOfABusyFrame(benchmark::State& state)
{
    std::deque<script::Role> roles;
    const auto frame = Frame();
    AppTime::SetGameSpeed(0.0f);
    Client::Start();
    for (auto _ : state) {
        state.PauseTiming();
        World(roles);
        Queue(frame);
        state.ResumeTiming();
        Client::ReceiveServerMessages();
    }
    Client::Stop();
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_DrainOfABusyFrame)->Unit(benchmark::kMicrosecond);

void BM_PopAndFreeOnly(benchmark::State& state)
{
    const auto frame = Frame();
    for (auto _ : state) {
        state.PauseTiming();
        Queue(frame);
        state.ResumeTiming();
        for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop())
            benchmark::DoNotOptimize(m.Data());
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_PopAndFreeOnly)->Unit(benchmark::kMicrosecond);

} // namespace
