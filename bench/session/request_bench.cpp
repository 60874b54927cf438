// The request road measured three ways, each beside what a programmer would
// otherwise reach for: 56-byte blocks pushed by one thread and popped by
// another (our locked queue, a lock-free queue, a mutex over a deque); the
// game thread taking the game state from the running server thread and
// giving it back (against a condition-variable ping-pong); and 10 000 mixed
// requests checked and applied by the server's table.
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/order_receiver.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/request_table.h"
#include "session/server_thread.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#if TREVOK_HAVE_CONCURRENTQUEUE
#include <concurrentqueue/concurrentqueue.h>
#endif

namespace {

constexpr uint32_t kBlock = 56;
constexpr int kBatch = 4096; // blocks per timed round

struct Block {
    uint8_t bytes[kBlock];
};

// One producer thread pushes kBatch blocks while the timed thread pops
// them all; `Push`/`TryPop` adapt each queue.
template <typename Queue>
void TwoThreadRound(benchmark::State& state, Queue& queue)
{
    Block block{};
    block.bytes[0] = 42;
    for (auto _ : state) {
        std::thread producer([&] {
            for (int i = 0; i < kBatch; ++i)
                queue.Push(block);
        });
        int popped = 0;
        while (popped < kBatch)
            popped += queue.TryPop();
        producer.join();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

struct OurQueue {
    MessageQueue queue;
    void Push(const Block& b) { queue.Push(b.bytes, kBlock); }
    int TryPop()
    {
        GameMessage m = queue.Pop();
        benchmark::DoNotOptimize(m.Data());
        return m.IsEmpty() ? 0 : 1;
    }
};

struct MutexDeque {
    std::mutex lock;
    std::deque<std::vector<uint8_t>> items;
    void Push(const Block& b)
    {
        std::vector<uint8_t> copy(b.bytes, b.bytes + kBlock);
        std::lock_guard guard(lock);
        items.push_back(std::move(copy));
    }
    int TryPop()
    {
        std::vector<uint8_t> out;
        {
            std::lock_guard guard(lock);
            if (items.empty())
                return 0;
            out = std::move(items.front());
            items.pop_front();
        }
        benchmark::DoNotOptimize(out.data());
        return 1;
    }
};

void QueueOurs(benchmark::State& state)
{
    OurQueue q;
    TwoThreadRound(state, q);
}
BENCHMARK(QueueOurs)->UseRealTime();

void QueueMutexDeque(benchmark::State& state)
{
    MutexDeque q;
    TwoThreadRound(state, q);
}
BENCHMARK(QueueMutexDeque)->UseRealTime();

#if TREVOK_HAVE_CONCURRENTQUEUE
struct LockFree {
    moodycamel::ConcurrentQueue<std::vector<uint8_t>> queue;
    void Push(const Block& b) { queue.enqueue(std::vector<uint8_t>(b.bytes, b.bytes + kBlock)); }
    int TryPop()
    {
        std::vector<uint8_t> out;
        if (!queue.try_dequeue(out))
            return 0;
        benchmark::DoNotOptimize(out.data());
        return 1;
    }
};

void QueueLockFree(benchmark::State& state)
{
    LockFree q;
    TwoThreadRound(state, q);
}
BENCHMARK(QueueLockFree)->UseRealTime();
#endif

// The hand-over: the game thread takes the game state from the server thread
// (which parks between passes) and hands it back.
void HandOverRoundTrip(benchmark::State& state)
{
    Server::SetHooks({});
    if (!Server::Start(nullptr)) {
        state.SkipWithError("the server thread did not start");
        return;
    }
    for (auto _ : state) {
        GameState::Enter();
        GameState::Leave();
    }
    Server::Stop();
}
BENCHMARK(HandOverRoundTrip)->UseRealTime();

// The same round trip as two threads passing a token under a condition
// variable.
void ConditionPingPong(benchmark::State& state)
{
    std::mutex lock;
    std::condition_variable turn;
    bool serverHas = true, stop = false;
    std::thread server([&] {
        std::unique_lock guard(lock);
        for (;;) {
            turn.wait(guard, [&] { return serverHas || stop; });
            if (stop)
                return;
            serverHas = false; // a pass done, the state handed over
            turn.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock guard(lock);
        turn.wait(guard, [&] { return !serverHas; });
        serverHas = true; // handed back
        turn.notify_all();
    }
    {
        std::lock_guard guard(lock);
        stop = true;
    }
    turn.notify_all();
    server.join();
}
BENCHMARK(ConditionPingPong)->UseRealTime();

// An actor that takes every order and does nothing with it, so the table's
// own checks and dispatch are what is timed.
class QuietActor : public GameObject, public OrderReceiver {
public:
    using GameObject::GameObject;
    bool IsActor() const override { return true; }
    void GroupMove(CollisionPolygon*, uint32_t, float) override {}
    void AppendMoveOrder(CollisionPolygon*, uint32_t) override {}
    void InsertHoldOrder() override {}
    void QueueCrouch() override {}
    void QueueChangeAmmo(uint32_t) override {}
    void QueueAttackLocation(const Vec3&, bool) override {}
    void QueueAttackTarget(uint32_t, bool) override {}
    void SetMotionDestination(const Vec3&) override {}
    void SetHeldInPlace(bool) override {}
    int32_t Charge() const override { return 0; }
    void SetCharge(int32_t) override {}
};

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(bytes.data() + 4 * i++, w);
    return bytes;
}

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

void TenThousandRequests(benchmark::State& state)
{
    ServerLink link;
    link.send = [](const void*, uint32_t, bool) { return true; };
    link.ticksPerSecond = [] { return uint64_t{1000000}; };
    link.now = [] { return uint64_t{0}; };
    ServerLink::Install(std::move(link));
    RequestTable::ResetRows();
    script::Role role;
    role.character.emplace();
    role.character->strength = 100;
    std::vector<uint32_t> ids;
    for (int i = 0; i < 50; ++i)
        ids.push_back((new QuietActor(1, &role, {float(i), 0, 0}, Quaternion::Identity(), 0,
                                      ObjectRegistry::Global().TakeNextId()))
                          ->GetId());

    // Queued ammunition, attacks at a point and on a target, crouches, and
    // one in eight for an object that does not exist.
    std::vector<GameMessage> requests;
    for (int i = 0; i < 10000; ++i) {
        const uint32_t id = i % 8 == 7 ? 99999 : ids[size_t(i) % ids.size()];
        std::vector<uint8_t> bytes;
        switch (i % 4) {
        case 0: bytes = Words({23, id, 5}); break;
        case 1: bytes = Words({26, id, F(1), F(7), F(0), F(2)}); break;
        case 2: bytes = Words({27, id, F(1), ids[0]}); break;
        default: bytes = Words({31, id}); break;
        }
        requests.emplace_back(bytes.data(), uint32_t(bytes.size()));
    }
    for (auto _ : state)
        for (const GameMessage& m : requests)
            if (MessageSizes::Fits(MessageSizes::Direction::kToServer,
                                   std::span<const uint8_t>(m.Data(), m.Size())))
                RequestTable::Apply(m, 1);
    state.SetItemsProcessed(state.iterations() * int64_t(requests.size()));
    ObjectRegistry::Global().ReleaseAll();
    ObjectRegistry::Global().ResetIds();
    ServerLink::Install({});
}
BENCHMARK(TenThousandRequests);

} // namespace
