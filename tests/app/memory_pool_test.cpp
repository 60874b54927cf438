#include "app/fatal.h"
#include "app/memory_pool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

struct FatalCalled {
    int code;
};

[[noreturn]] void ThrowingFatal(int code)
{
    throw FatalCalled{code};
}

// Replaces the fatal exit for one test.
class FatalTrap {
public:
    FatalTrap() : previous_(SetFatalExitHandler(&ThrowingFatal)) {}
    ~FatalTrap() { SetFatalExitHandler(previous_); }

private:
    FatalExitHandler previous_;
};

// A heap the test controls: it can hand out page-aligned or deliberately
// unaligned memory, refuse requests, and frees whatever is left at the end.
class TestHeap {
public:
    enum class Placement { kPageAligned, kUnaligned };

    explicit TestHeap(Placement placement = Placement::kUnaligned) : placement_(placement) {}
    ~TestHeap()
    {
        for (auto& [block, raw] : live_)
            std::free(raw);
    }

    HeapFunctions Functions() { return {&Allocate, &Release, this}; }

    // Requests from the given one on (counting from 0) fail...
    void FailFrom(int request) { failFrom_ = request; }
    // ...except these many, spread as the test says.
    void SucceedOnly(std::set<int> requests) { exceptions_ = std::move(requests); }

    int Requests() const { return requests_; }
    size_t LargestRequest() const { return largest_; }
    size_t LiveCount() const { return live_.size(); }

private:
    static void* Allocate(size_t size, void* context)
    {
        auto* self = static_cast<TestHeap*>(context);
        std::lock_guard hold(self->mutex_);
        const int request = self->requests_++;
        self->largest_ = std::max(self->largest_, size);
        if (request >= self->failFrom_ && !self->exceptions_.count(request))
            return nullptr;
        void* raw = nullptr;
        void* block = nullptr;
        if (self->placement_ == Placement::kPageAligned) {
            raw = block = std::aligned_alloc(4096, (size + 4095) & ~size_t{4095});
        } else {
            // 16 bytes past a page boundary: never page-aligned.
            raw = std::aligned_alloc(4096, ((size + 16) + 4095) & ~size_t{4095});
            block = raw ? static_cast<char*>(raw) + 16 : nullptr;
        }
        if (block)
            self->live_[block] = raw;
        return block;
    }

    static void Release(void* block, void* context)
    {
        auto* self = static_cast<TestHeap*>(context);
        std::lock_guard hold(self->mutex_);
        auto it = self->live_.find(block);
        ASSERT_NE(it, self->live_.end()) << "the pool released a block the heap never gave";
        std::free(it->second);
        self->live_.erase(it);
    }

    Placement placement_;
    std::mutex mutex_;
    std::map<void*, void*> live_;
    int requests_ = 0;
    int failFrom_ = 1 << 30;
    std::set<int> exceptions_;
    size_t largest_ = 0;
};

uintptr_t PageOf(const void* p)
{
    return reinterpret_cast<uintptr_t>(p) & ~uintptr_t{4095};
}

bool Aligned16(const void* p)
{
    return (reinterpret_cast<uintptr_t>(p) & 15) == 0;
}

struct SizeCase {
    size_t request;
    bool heapBlock;
    size_t blockSize; // pooled blocks only
};

TEST(MemoryPool, SizesAreRoundedToSixteenAndLargeOnesGoToTheHeap)
{
    const SizeCase cases[] = {
        {0, false, 16},      {1, false, 16},    {15, false, 16},   {16, false, 16},
        {17, false, 32},     {100, false, 112}, {4047, false, 4048}, {4048, false, 4048},
        {4049, true, 0},     {65536, true, 0},  {3u << 20, true, 0},
    };
    TestHeap heap;
    MemoryPool pool(heap.Functions());
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.request);
        const size_t before = heap.LargestRequest();
        void* p = pool.Allocate(c.request);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(Aligned16(p));
        EXPECT_EQ(MemoryPool::IsHeapBlock(p), c.heapBlock);
        if (c.heapBlock) {
            EXPECT_GE(heap.LargestRequest(), std::max(before, c.request + 4096));
        } else {
            EXPECT_EQ(MemoryPool::PooledBlockSize(p), c.blockSize);
        }
        // The whole requested size is usable without touching the header.
        std::memset(p, 0xAB, c.request);
        EXPECT_EQ(MemoryPool::IsHeapBlock(p), c.heapBlock);
        pool.Free(p);
    }
    pool.Free(nullptr);
    EXPECT_EQ(heap.LiveCount(), 1u) << "only the chunk stays; heap blocks go back";
}

TEST(MemoryPool, ChunksAreCutIntoWholePagesOnly)
{
    struct Case {
        TestHeap::Placement placement;
        size_t freePagesAfterFirstBlock;
    };
    for (const Case c : {Case{TestHeap::Placement::kPageAligned, 255}, Case{TestHeap::Placement::kUnaligned, 254}}) {
        TestHeap heap(c.placement);
        MemoryPool pool(heap.Functions());
        void* p = pool.Allocate(8);
        EXPECT_EQ(pool.ChunkCount(), 1u);
        EXPECT_EQ(pool.FreePageCount(), c.freePagesAfterFirstBlock);
        pool.Free(p);
    }
}

TEST(MemoryPool, FullPageOpensANewOneAndAFreedBlockIsReusedFirst)
{
    TestHeap heap;
    MemoryPool pool(heap.Functions());
    const size_t perPage = MemoryPool::BlocksPerPage(16);
    ASSERT_EQ(perPage, 253u);
    std::vector<void*> blocks;
    for (size_t i = 0; i < perPage; ++i)
        blocks.push_back(pool.Allocate(16));
    std::set<void*> distinct(blocks.begin(), blocks.end());
    EXPECT_EQ(distinct.size(), perPage);
    for (void* b : blocks)
        EXPECT_EQ(PageOf(b), PageOf(blocks[0]));

    void* next = pool.Allocate(16);
    EXPECT_NE(PageOf(next), PageOf(blocks[0]));

    // One block back into the full page: the page returns to its class list
    // and the next allocation of that size takes exactly that block.
    void* given = blocks[100];
    pool.Free(given);
    EXPECT_EQ(pool.Allocate(16), given);
    pool.Free(next);
    for (void* b : blocks)
        pool.Free(b);
}

TEST(MemoryPool, AnEmptiedPageServesAnotherSize)
{
    TestHeap heap;
    MemoryPool pool(heap.Functions());
    std::vector<void*> blocks;
    for (int i = 0; i < 10; ++i)
        blocks.push_back(pool.Allocate(48));
    const uintptr_t page = PageOf(blocks[0]);
    const size_t freeBefore = pool.FreePageCount();
    for (void* b : blocks)
        pool.Free(b);
    EXPECT_EQ(pool.FreePageCount(), freeBefore + 1);

    void* other = pool.Allocate(2000);
    EXPECT_EQ(PageOf(other), page);
    EXPECT_EQ(MemoryPool::PooledBlockSize(other), 2000u);
    void* second = pool.Allocate(2000);
    EXPECT_EQ(PageOf(second), page);
    EXPECT_NE(second, other);
    pool.Free(other);
    pool.Free(second);
}

// Threads allocating and freeing small and large blocks at random against one
// pool; counts blocks handed out twice, misaligned, or written by another owner.
int RunContendingThreads(MemoryPool& pool, int threadCount)
{
    std::mutex registryMutex;
    std::set<void*> live; // every block handed out and not yet freed
    std::atomic<int> faults{0};

    std::atomic<int> ready{0};
    auto worker = [&](uint32_t seed) {
        std::mt19937 random(seed);
        ++ready;
        while (ready < threadCount) // start together so the threads really contend
            std::this_thread::yield();
        std::vector<std::pair<unsigned char*, size_t>> mine;
        for (int step = 0; step < 50000; ++step) {
            const bool allocate = mine.empty() || (random() % 100) < 55;
            if (allocate) {
                // Mostly blocks of three small classes that both threads
                // share, some beyond the largest pooled size.
                const size_t size = (random() % 32 == 0) ? 4049 + random() % 9000 : 1 + random() % 48;
                auto* p = static_cast<unsigned char*>(pool.Allocate(size));
                if (!Aligned16(p))
                    ++faults;
                {
                    std::lock_guard hold(registryMutex);
                    if (!live.insert(p).second)
                        ++faults;
                }
                std::memset(p, static_cast<int>(seed), size);
                mine.emplace_back(p, size);
            } else {
                const size_t index = random() % mine.size();
                auto [p, size] = mine[index];
                for (size_t i = 0; i < size; ++i) {
                    if (p[i] != static_cast<unsigned char>(seed)) {
                        ++faults; // another owner wrote into this block
                        break;
                    }
                }
                {
                    std::lock_guard hold(registryMutex);
                    live.erase(p);
                }
                pool.Free(p);
                mine[index] = mine.back();
                mine.pop_back();
            }
        }
        for (auto [p, size] : mine) {
            {
                std::lock_guard hold(registryMutex);
                live.erase(p);
            }
            pool.Free(p);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back(worker, 0x11 + 0x66 * t);
    for (auto& t : threads)
        t.join();
    if (!live.empty())
        ++faults;
    return faults.load();
}

TEST(MemoryPool, TwoThreadsNeverGetTheSameBlock)
{
    TestHeap heap;
    MemoryPool pool(heap.Functions());
    EXPECT_EQ(RunContendingThreads(pool, 2), 0);
    EXPECT_EQ(heap.LiveCount(), pool.ChunkCount()) << "every heap block was given back";
}

// With per-thread caches: no block is handed out twice, and when the threads
// have ended every page is free again, so no cached block was lost.
TEST(MemoryPool, ThreadCachesNeverShareABlockAndGoBackWhenTheThreadEnds)
{
    for (int threads : {2, 3}) {
        SCOPED_TRACE(threads);
        TestHeap heap(TestHeap::Placement::kPageAligned);
        MemoryPool pool(heap.Functions(), MemoryPool::Caching::kPerThread);
        EXPECT_EQ(RunContendingThreads(pool, threads), 0);
        EXPECT_EQ(heap.LiveCount(), pool.ChunkCount()) << "every heap block was given back";
        EXPECT_EQ(pool.FreePageCount(), pool.ChunkCount() * (MemoryPool::kChunkSize / MemoryPool::kPageSize));
    }
}

// A block freed on one thread is cached there; a block freed by a thread
// other than the one that took it still ends up back in its page.
TEST(MemoryPool, CachedBlocksFreedOnAnotherThreadReturnToTheirPool)
{
    TestHeap heap(TestHeap::Placement::kPageAligned);
    MemoryPool pool(heap.Functions(), MemoryPool::Caching::kPerThread);
    std::vector<void*> blocks;
    std::thread taker([&] {
        for (size_t size : {8, 24, 40, 1000, 1024})
            for (int i = 0; i < 300; ++i)
                blocks.push_back(pool.Allocate(size));
    });
    taker.join();
    std::thread freer([&] {
        for (void* b : blocks)
            pool.Free(b);
        void* again = pool.Allocate(24); // from this thread's cache
        EXPECT_TRUE(Aligned16(again));
        pool.Free(again);
    });
    freer.join();
    EXPECT_EQ(pool.FreePageCount(), pool.ChunkCount() * (MemoryPool::kChunkSize / MemoryPool::kPageSize));
}

// A pool that goes away before a thread that cached its blocks ends: the
// thread forgets that cache instead of writing into the gone pool.
TEST(MemoryPool, APoolDestroyedBeforeItsThreadEndsIsForgotten)
{
    TestHeap heap(TestHeap::Placement::kPageAligned);
    std::thread user([&] {
        for (int round = 0; round < 3; ++round) {
            MemoryPool pool(heap.Functions(), MemoryPool::Caching::kPerThread);
            void* a = pool.Allocate(32);
            void* b = pool.Allocate(32);
            EXPECT_NE(a, b);
            pool.Free(a);
            pool.Free(b);
            // The next pool may be built at the same address: it must not be
            // handed this one's cached blocks.
            MemoryPool next(heap.Functions(), MemoryPool::Caching::kPerThread);
            void* c = next.Allocate(32);
            EXPECT_NE(c, a);
            EXPECT_NE(c, b);
            next.Free(c);
        }
    });
    user.join();
}

enum class Outcome { kServed, kFatal };

struct ShortageCase {
    const char* name;
    std::set<int> succeeding; // heap requests (after the reserve) that succeed
    Outcome first;            // the allocation that meets the shortage
    bool reserveAfter;
    Outcome second;           // one more allocation in the same shortage
};

// Request 0 is the reserve; request 1 the large block that fails. What
// follows depends on how the heap recovers.
TEST(MemoryPool, ShortageUsesTheReserveOnceThenEndsWithMinusTen)
{
    const ShortageCase cases[] = {
        // The reserve's room serves the retry, a new reserve is had.
        {"transient", {2, 3}, Outcome::kServed, true, Outcome::kFatal},
        // The retry works but no new reserve: the next shortage is final.
        {"no new reserve", {2}, Outcome::kServed, false, Outcome::kFatal},
        // Even without the reserve the heap refuses: no endless retry.
        {"exhausted", {}, Outcome::kFatal, false, Outcome::kFatal},
    };
    FatalTrap trap;
    for (const ShortageCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestHeap heap;
        MemoryPool pool(heap.Functions());
        ASSERT_TRUE(pool.Startup());
        ASSERT_TRUE(pool.HasReserve());
        heap.FailFrom(1);
        heap.SucceedOnly(c.succeeding);
        auto attempt = [&]() -> Outcome {
            try {
                void* p = pool.Allocate(100000);
                std::memset(p, 0, 100000);
                return Outcome::kServed;
            } catch (const FatalCalled& fatal) {
                EXPECT_EQ(fatal.code, -10);
                return Outcome::kFatal;
            }
        };
        EXPECT_EQ(attempt(), c.first);
        EXPECT_EQ(pool.HasReserve(), c.reserveAfter);
        if (!c.reserveAfter) {
            EXPECT_EQ(attempt(), c.second);
        }
        EXPECT_LE(heap.Requests(), 8) << "a shortage must not loop on the heap";
        pool.Shutdown();
    }
}

TEST(MemoryPool, ChunkShortageTakesTheSamePath)
{
    FatalTrap trap;
    TestHeap heap;
    MemoryPool pool(heap.Functions());
    ASSERT_TRUE(pool.Startup());
    heap.FailFrom(1); // the first chunk cannot be had, nor anything after
    EXPECT_THROW(pool.Allocate(24), FatalCalled);
    pool.Shutdown();
}

TEST(MemoryPool, StartupFailsWithoutReserve)
{
    TestHeap heap;
    heap.FailFrom(0);
    MemoryPool pool(heap.Functions());
    EXPECT_FALSE(pool.Startup());
    EXPECT_FALSE(pool.HasReserve());
}

// The one line names the request, on standard error and in the log file of
// the folder the program runs in.
TEST(MemoryPoolDeathTest, RunningOutNamesTheRequestBeforeEndingWithMinusTen)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("trevok-oom-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    EXPECT_EXIT(
        {
            if (chdir(folder.c_str()) != 0)
                std::exit(1);
            TestHeap heap;
            heap.FailFrom(0);
            MemoryPool pool(heap.Functions());
            pool.Allocate(123456);
        },
        testing::ExitedWithCode(246), "^Out of memory: no room for a block of 123456 bytes\n$");
    std::ifstream log(folder / "LOGFILE.TXT");
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "Out of memory: no room for a block of 123456 bytes");
    std::filesystem::remove_all(folder);
}

TEST(MemoryPoolDeathTest, FatalExitReachesTheShellAsMinusTen)
{
    EXPECT_EXIT(FatalExit(kExitOutOfMemory), testing::ExitedWithCode(246), "");
}

TEST(MemoryPoolDeathTest, AnAllocationNoHeapCanServeEndsWithMinusTen)
{
    if (!MemoryPool::ReplacesGlobalNew())
        GTEST_SKIP() << "the sanitizer's allocator serves operator new in this build";
    EXPECT_EXIT(
        {
            volatile size_t huge = SIZE_MAX / 2;
            char* p = new char[huge];
            p[0] = 1;
        },
        testing::ExitedWithCode(246), "");
}

TEST(MemoryPool, GlobalPoolServesAndFreesBlocks)
{
    if (MemoryPool::ReplacesGlobalNew()) {
        auto* list = new int[3];
        EXPECT_FALSE(MemoryPool::IsHeapBlock(list));
        EXPECT_EQ(MemoryPool::PooledBlockSize(list), 16u);
        delete[] list;
    }
    MemoryPool& pool = MemoryPool::Global();
    void* small = pool.Allocate(40);
    void* large = pool.Allocate(10000);
    EXPECT_TRUE(Aligned16(small));
    EXPECT_TRUE(Aligned16(large));
    EXPECT_FALSE(MemoryPool::IsHeapBlock(small));
    EXPECT_TRUE(MemoryPool::IsHeapBlock(large));
    pool.Free(small);
    pool.Free(large);
}

} // namespace
