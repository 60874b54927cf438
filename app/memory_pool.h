// The program's own allocator. Small blocks come from 4 KB pages that each
// serve one block size, cut from 1 MB chunks that are never given back;
// larger blocks go to the heap behind a page-aligned header. A reserve is
// held so that running out of memory can be survived once; after that the
// program ends with exit code -10 through FatalExit.
//
// With TREVOK_POOLED_ALLOCATOR the global pool serves every operator new and
// delete; sanitizer builds leave the system allocator in place. Either way
// the pool is a plain object that tests and benchmarks can make themselves.
//
// A pool made with per-thread caches (the global one is) keeps a few free
// blocks of each size up to kLargestCached per thread, so most calls take no
// lock; a thread's blocks go back to the pool when the thread ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <atomic>

// Where a pool takes chunks, large blocks and its reserve from.
struct HeapFunctions {
    void* (*allocate)(size_t size, void* context); // null when out of memory
    void (*release)(void* block, void* context);
    void* context;
};

// The allocator's own lock: held for a few dozen instructions, so a short
// spin beats a system mutex; it yields when the holder was preempted. Works
// from the first static initialiser on (constant-initialised).
class PoolLock {
public:
    void lock()
    {
        for (int spins = 0; held_.exchange(true, std::memory_order_acquire); ++spins) {
            while (held_.load(std::memory_order_relaxed)) {
                if (++spins > 64) {
                    Yield();
                    spins = 0;
                }
            }
        }
    }
    void unlock() { held_.store(false, std::memory_order_release); }

private:
    static void Yield();
    std::atomic<bool> held_{false};
};

class MemoryPool {
public:
    static constexpr size_t kPageSize = 4096;
    static constexpr size_t kChunkSize = 0x100000;
    static constexpr size_t kAlignment = 16;
    // Six pointer-sized words (next, previous, block size with used count,
    // free list, bump pointer) padded to keep blocks 16-byte aligned.
    static constexpr size_t kHeaderSize = 48;
    // Rounded sizes up to this many bytes are pooled; one class per 16 bytes.
    static constexpr size_t kLargestPooled = kPageSize - kHeaderSize;
    static constexpr size_t kClassCount = kLargestPooled / kAlignment + 1;
    static constexpr size_t kReserveSize = 102400;
    // Rounded sizes up to this many bytes are kept in per-thread caches.
    static constexpr size_t kLargestCached = 1024;

    enum class Caching { kNone, kPerThread };

    // A pool on malloc/free.
    constexpr MemoryPool() noexcept : MemoryPool(kSystemHeap) {}
    constexpr explicit MemoryPool(Caching caching) noexcept : MemoryPool(kSystemHeap, caching) {}
    constexpr explicit MemoryPool(const HeapFunctions& heap, Caching caching = Caching::kNone) noexcept
        : heap_(heap), cached_(caching == Caching::kPerThread)
    {
    }
    // Threads still holding caches of this pool forget them; pages stay lost
    // to the heap as they always are.
    ~MemoryPool();
    MemoryPool(const MemoryPool&) = delete;
    MemoryPool& operator=(const MemoryPool&) = delete;

    // Takes the reserve; false when the heap cannot give it. Pages and blocks
    // work the same before Startup and after Shutdown, only without reserve.
    bool Startup();
    // Gives the reserve back. Pages stay with the pool.
    void Shutdown();

    // A block of at least `size` bytes, 16-byte aligned; never null. When the
    // heap fails even after the reserve was given up, FatalExit(-10).
    void* Allocate(size_t size);
    // Null is ignored. `block` must come from this pool's Allocate.
    void Free(void* block);

    // The size a request is rounded to (0 counts as 1).
    static constexpr size_t RoundedSize(size_t size)
    {
        return ((size == 0 ? 1 : size) + kAlignment - 1) & ~(kAlignment - 1);
    }
    static constexpr bool IsPooledSize(size_t size) { return size <= kLargestPooled; }
    // How many blocks of a pooled size one page holds.
    static constexpr size_t BlocksPerPage(size_t size) { return kLargestPooled / RoundedSize(size); }

    // True for a block that came from the heap rather than a page.
    static bool IsHeapBlock(const void* block);
    // The usable size of a pooled block, 0 for a heap block.
    static size_t PooledBlockSize(const void* block);

    size_t FreePageCount() const;
    size_t ChunkCount() const;
    bool HasReserve() const;

    // True when this build routes operator new and delete through Global().
    static bool ReplacesGlobalNew();

    // The pool behind operator new; it never goes away, so blocks freed by
    // late static destructors are still handled.
    static MemoryPool& Global();

    // The new-handler the global pool installs: gives up the reserve so the
    // failed allocation can be retried, and ends the program with -10 when
    // there is no reserve left.
    static void OnOutOfMemory();

    // Ends the program with -10 after one line naming the request, on
    // standard error and in the log file.
    [[noreturn]] static void OutOfMemory(size_t size);

    struct ThreadCache; // one thread's free blocks of one pool

private:
    struct Page {
        Page* next;
        Page* prev;
        uint32_t blockSize; // 0 marks a heap block
        int32_t used;
        void* freeList;     // blocks given back, linked through their first word
        uint8_t* bump;      // next never-used block, or null; heap block: the heap's address
        uint64_t padding;
    };
    static_assert(sizeof(Page) == kHeaderSize);

    static void* SystemAllocate(size_t size, void* context);
    static void SystemRelease(void* block, void* context);
    static constexpr HeapFunctions kSystemHeap{&SystemAllocate, &SystemRelease, nullptr};

    void* AllocateLocked(size_t size);
    void FreeLocked(void* block);
    ThreadCache* CacheOfThisThread();
    ThreadCache* FindOrMakeCache();
    void* AllocateSlow(size_t size);
    void FlushHalf(ThreadCache& cache, size_t classIndex);
    void* RefillCache(ThreadCache& cache, size_t classIndex);
    void FlushCache(ThreadCache& cache, size_t classIndex, uint32_t keep);
    friend struct ThreadCacheSet;
    void* HeapAllocate(size_t size);
    bool CutChunk();
    static void Unlink(Page* page);
    static void AppendTail(Page* sentinel, Page* page);
    Page* Sentinel(size_t classIndex);

    HeapFunctions heap_;
    mutable PoolLock lock_;
    Page classes_[kClassCount]{}; // sentinels; next null until first use. Guarded by lock_
    Page* freePages_ = nullptr;   // guarded by lock_
    void* reserve_ = nullptr;     // guarded by lock_
    size_t freePageCount_ = 0;    // guarded by lock_
    size_t chunkCount_ = 0;       // guarded by lock_
    bool started_ = false;        // guarded by lock_
    bool cached_ = false;         // set once at construction
    ThreadCache* caches_ = nullptr; // every thread's cache of this pool; guarded by lock_
};
