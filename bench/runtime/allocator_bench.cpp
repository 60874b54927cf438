// The pooled allocator against glibc malloc/free for small blocks, on one
// thread and on two threads sharing the allocator.
#include "app/memory_pool.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

MemoryPool& BenchPool()
{
    // On malloc, apart from the global pool, with per-thread caches as the global one.
    static MemoryPool pool(MemoryPool::Caching::kPerThread);
    return pool;
}

struct PoolAllocator {
    static void* Allocate(size_t size) { return BenchPool().Allocate(size); }
    static void Free(void* p) { BenchPool().Free(p); }
};

// Hands back the same block: its time is the benchmark loop's own cost, to be
// subtracted from the others.
struct NullAllocator {
    static void* Allocate(size_t) { return &slot_; }
    static void Free(void*) {}
    alignas(16) static inline unsigned char slot_[4096];
};

struct MallocAllocator {
    static void* Allocate(size_t size) { return std::malloc(size); }
    static void Free(void* p) { std::free(p); }
};

// A working set of live blocks; each iteration frees one at random and
// allocates a replacement of a random small size, as game code churns
// list nodes, strings and messages.
template <typename Allocator>
void Churn(benchmark::State& state)
{
    const size_t live = 4096;
    std::mt19937 random(static_cast<uint32_t>(state.thread_index() + 1));
    std::uniform_int_distribution<size_t> size(8, static_cast<size_t>(state.range(0)));
    std::vector<void*> blocks(live);
    for (auto& b : blocks)
        b = Allocator::Allocate(size(random));
    size_t i = 0;
    for (auto _ : state) {
        i = (i * 2654435761u + 1) % live;
        Allocator::Free(blocks[i]);
        blocks[i] = Allocator::Allocate(size(random));
        benchmark::DoNotOptimize(blocks[i]);
    }
    for (void* b : blocks)
        Allocator::Free(b);
    state.SetItemsProcessed(state.iterations());
}

// Allocate and immediately free one block of a fixed size.
template <typename Allocator>
void Pair(benchmark::State& state)
{
    const auto size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        void* p = Allocator::Allocate(size);
        benchmark::DoNotOptimize(p);
        Allocator::Free(p);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(Pair<PoolAllocator>)->Arg(16)->Arg(64)->Arg(256);
BENCHMARK(Pair<MallocAllocator>)->Arg(16)->Arg(64)->Arg(256);
BENCHMARK(Churn<PoolAllocator>)->Arg(64)->Arg(512)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Churn<MallocAllocator>)->Arg(64)->Arg(512)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Churn<NullAllocator>)->Arg(64)->Threads(1)->Threads(2)->UseRealTime();
