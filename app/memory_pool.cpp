#include "app/memory_pool.h"

#include "app/fatal.h"
#include "app/log_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include <malloc.h>
#include <sched.h>

namespace {

constexpr uintptr_t kPageMask = ~static_cast<uintptr_t>(MemoryPool::kPageSize - 1);

uintptr_t AlignUp(uintptr_t address, uintptr_t alignment)
{
    return (address + alignment - 1) & ~(alignment - 1);
}

// Storage whose destructor never runs: the global pool must outlive every
// static object that may still free memory at exit.
union GlobalPoolHolder {
    constexpr GlobalPoolHolder() : pool(MemoryPool::Caching::kPerThread) {}
    ~GlobalPoolHolder() {}
    MemoryPool pool;
};
constinit GlobalPoolHolder g_global;

std::new_handler g_previousHandler = nullptr;

void ShutdownGlobal()
{
    MemoryPool::Global().Shutdown();
    std::set_new_handler(g_previousHandler);
}

// Blocks above the largest pooled size go to malloc, which would hand large
// freed ones back to the system, so every chunk-file load faulted in fresh
// pages again. Keep them in the process instead.
void KeepLargeHeapBlocks()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
}

bool StartupGlobal()
{
    KeepLargeHeapBlocks();
    if (!MemoryPool::Global().Startup()) {
        std::fputs("Out of Memory\n", stderr);
        FatalExit(kExitOutOfMemory);
    }
    g_previousHandler = std::set_new_handler(&MemoryPool::OnOutOfMemory);
    std::atexit(&ShutdownGlobal);
    return true;
}

const bool g_started = StartupGlobal();

constexpr size_t kCachedClassCount = MemoryPool::kLargestCached / MemoryPool::kAlignment + 1;
// Pools one thread keeps caches for; a thread using more goes through the lock.
constexpr size_t kCachedPoolsPerThread = 4;

// Blocks a thread keeps per size: about a page's worth, at least eight.
constexpr auto kCacheLimits = [] {
    std::array<uint32_t, kCachedClassCount> limits{};
    for (size_t k = 1; k < kCachedClassCount; ++k)
        limits[k] = static_cast<uint32_t>(std::max<size_t>(8, MemoryPool::kPageSize / (k * MemoryPool::kAlignment)));
    return limits;
}();

uint32_t CacheLimit(size_t classIndex)
{
    return kCacheLimits[classIndex];
}

// Taken before a pool's lock where a thread cache is cut from its pool (thread
// end, pool destruction), so neither side can see the other half gone.
constinit PoolLock g_cacheLinks;

void*& NextFree(void* block)
{
    return *static_cast<void**>(block);
}

} // namespace

struct MemoryPool::ThreadCache {
    std::atomic<MemoryPool*> pool{nullptr}; // null: unused, or its pool is gone
    ThreadCache* next = nullptr;            // in the pool's list; guarded by the pool's lock
    ThreadCache* prev = nullptr;
    void* heads[kCachedClassCount] = {};
    uint32_t counts[kCachedClassCount] = {};
};

// One thread's caches; built on first use from the system heap (not from a
// pool, which would recurse) and handed back when the thread ends.
struct ThreadCacheSet {
    MemoryPool::ThreadCache slots[kCachedPoolsPerThread];

    void ReturnAll()
    {
        std::lock_guard links(g_cacheLinks);
        for (auto& slot : slots) {
            MemoryPool* pool = slot.pool.load(std::memory_order_relaxed);
            if (!pool)
                continue;
            std::lock_guard hold(pool->lock_);
            for (size_t k = 0; k < kCachedClassCount; ++k)
                pool->FlushCache(slot, k, 0);
            if (slot.prev)
                slot.prev->next = slot.next;
            else
                pool->caches_ = slot.next;
            if (slot.next)
                slot.next->prev = slot.prev;
            slot.pool.store(nullptr, std::memory_order_relaxed);
        }
    }
};

namespace {

thread_local ThreadCacheSet* tCaches = nullptr;
thread_local bool tCachesGone = false; // the thread is ending: no new cache

struct ThreadCacheReaper {
    bool armed = false;
    ~ThreadCacheReaper()
    {
        tCachesGone = true;
        if (ThreadCacheSet* set = tCaches) {
            tCaches = nullptr;
            set->ReturnAll();
            set->~ThreadCacheSet();
            std::free(set);
        }
    }
};
thread_local ThreadCacheReaper tReaper;

} // namespace

MemoryPool::~MemoryPool()
{
    if (!cached_)
        return;
    std::lock_guard links(g_cacheLinks);
    std::lock_guard hold(lock_);
    for (ThreadCache* c = caches_; c;) {
        ThreadCache* next = c->next;
        c->next = c->prev = nullptr;
        c->pool.store(nullptr, std::memory_order_relaxed);
        c = next;
    }
    caches_ = nullptr;
}

inline MemoryPool::ThreadCache* MemoryPool::CacheOfThisThread()
{
    if (ThreadCacheSet* set = tCaches) [[likely]]
        for (auto& slot : set->slots)
            if (slot.pool.load(std::memory_order_relaxed) == this)
                return &slot;
    return FindOrMakeCache();
}

MemoryPool::ThreadCache* MemoryPool::FindOrMakeCache()
{
    ThreadCacheSet* set = tCaches;
    if (!set) {
        if (tCachesGone)
            return nullptr;
        void* room = std::calloc(1, sizeof(ThreadCacheSet));
        if (!room)
            return nullptr;
        set = tCaches = new (room) ThreadCacheSet;
        tReaper.armed = true; // registers the hand-back at thread end
    }
    for (auto& slot : set->slots)
        if (slot.pool.load(std::memory_order_relaxed) == this)
            return &slot;
    for (auto& slot : set->slots) {
        if (slot.pool.load(std::memory_order_relaxed))
            continue;
        // A slot whose pool died holds that pool's blocks: drop them.
        std::fill(std::begin(slot.heads), std::end(slot.heads), nullptr);
        std::fill(std::begin(slot.counts), std::end(slot.counts), 0u);
        // The pool's lock alone: its heap may call operator new while a
        // caller holds that lock, so nothing here may wait for g_cacheLinks.
        std::lock_guard hold(lock_);
        slot.prev = nullptr;
        slot.next = caches_;
        if (caches_)
            caches_->prev = &slot;
        caches_ = &slot;
        slot.pool.store(this, std::memory_order_relaxed);
        return &slot;
    }
    return nullptr;
}

void* MemoryPool::RefillCache(ThreadCache& cache, size_t classIndex)
{
    const size_t size = classIndex * kAlignment;
    std::lock_guard hold(lock_);
    void* first = AllocateLocked(size);
    if (!first)
        return nullptr;
    // The rest of that block's page too: a refill never cuts a chunk nor
    // meets a shortage the caller's own request would not, and the page
    // leaves the pool's lists, so two threads do not take blocks side by side
    // from one page (a page holds no more blocks than a cache keeps).
    const Page* page = reinterpret_cast<const Page*>(reinterpret_cast<uintptr_t>(first) & kPageMask);
    while (cache.counts[classIndex] < CacheLimit(classIndex) && (page->freeList || page->bump)) {
        void* block = AllocateLocked(size);
        NextFree(block) = cache.heads[classIndex];
        cache.heads[classIndex] = block;
        ++cache.counts[classIndex];
    }
    return first;
}

void MemoryPool::FlushCache(ThreadCache& cache, size_t classIndex, uint32_t keep)
{
    while (cache.counts[classIndex] > keep) {
        void* block = cache.heads[classIndex];
        cache.heads[classIndex] = NextFree(block);
        --cache.counts[classIndex];
        FreeLocked(block);
    }
}

void PoolLock::Yield()
{
    sched_yield();
}

void* MemoryPool::SystemAllocate(size_t size, void*)
{
    return std::malloc(size);
}

void MemoryPool::SystemRelease(void* block, void*)
{
    std::free(block);
}

bool MemoryPool::ReplacesGlobalNew()
{
#if TREVOK_POOLED_ALLOCATOR
    return true;
#else
    return false;
#endif
}

MemoryPool& MemoryPool::Global()
{
    return g_global.pool;
}

bool MemoryPool::Startup()
{
    std::lock_guard hold(lock_);
    if (!reserve_)
        reserve_ = heap_.allocate(kReserveSize, heap_.context);
    started_ = reserve_ != nullptr;
    return started_;
}

void MemoryPool::Shutdown()
{
    std::lock_guard hold(lock_);
    started_ = false;
    if (reserve_) {
        heap_.release(reserve_, heap_.context);
        reserve_ = nullptr;
    }
}

void MemoryPool::OnOutOfMemory()
{
    MemoryPool& pool = Global();
    {
        std::lock_guard hold(pool.lock_);
        if (pool.reserve_) {
            pool.heap_.release(pool.reserve_, pool.heap_.context);
            pool.reserve_ = nullptr;
            return; // the failed allocation is retried once with that room
        }
    }
    FatalExit(kExitOutOfMemory);
}

void* MemoryPool::HeapAllocate(size_t size)
{
    void* block = heap_.allocate(size, heap_.context);
    if (block)
        return block;
    // Give the reserve up and retry once; then try to take a new reserve so
    // the next shortage can be survived too. Without a reserve a failure is
    // final, so the retry never loops.
    if (!reserve_)
        return nullptr;
    heap_.release(reserve_, heap_.context);
    reserve_ = nullptr;
    block = heap_.allocate(size, heap_.context);
    if (block)
        reserve_ = heap_.allocate(kReserveSize, heap_.context);
    return block;
}

MemoryPool::Page* MemoryPool::Sentinel(size_t classIndex)
{
    Page* sentinel = &classes_[classIndex];
    if (!sentinel->next)
        sentinel->next = sentinel->prev = sentinel;
    return sentinel;
}

void MemoryPool::Unlink(Page* page)
{
    page->prev->next = page->next;
    page->next->prev = page->prev;
    page->next = page->prev = nullptr;
}

void MemoryPool::AppendTail(Page* sentinel, Page* page)
{
    page->next = sentinel;
    page->prev = sentinel->prev;
    sentinel->prev->next = page;
    sentinel->prev = page;
}

bool MemoryPool::CutChunk()
{
    void* chunk = HeapAllocate(kChunkSize);
    if (!chunk)
        return false;
    const uintptr_t start = reinterpret_cast<uintptr_t>(chunk);
    const uintptr_t first = AlignUp(start, kPageSize);
    const size_t pages = first == start ? kChunkSize / kPageSize : kChunkSize / kPageSize - 1;
    for (size_t i = 0; i < pages; ++i) {
        Page* page = reinterpret_cast<Page*>(first + i * kPageSize);
        page->next = freePages_;
        freePages_ = page;
    }
    freePageCount_ += pages;
    ++chunkCount_;
    return true;
}

void* MemoryPool::AllocateLocked(size_t size)
{
    if (!IsPooledSize(size)) {
        // The header lies at the first page boundary inside the heap block,
        // so Free finds it by masking like any pooled block.
        const size_t extra = kPageSize + kHeaderSize;
        if (size > SIZE_MAX - extra)
            return nullptr;
        void* raw = HeapAllocate(size + extra);
        if (!raw)
            return nullptr;
        Page* header = reinterpret_cast<Page*>(AlignUp(reinterpret_cast<uintptr_t>(raw), kPageSize));
        *header = Page{nullptr, nullptr, 0, 1, nullptr, static_cast<uint8_t*>(raw), 0};
        return reinterpret_cast<uint8_t*>(header) + kHeaderSize;
    }

    const size_t rounded = RoundedSize(size);
    Page* sentinel = Sentinel(rounded / kAlignment);
    if (sentinel->next == sentinel) {
        if (!freePages_ && !CutChunk())
            return nullptr;
        Page* page = freePages_;
        freePages_ = page->next;
        --freePageCount_;
        *page = Page{nullptr, nullptr, static_cast<uint32_t>(rounded), 0, nullptr,
                     reinterpret_cast<uint8_t*>(page) + kHeaderSize, 0};
        AppendTail(sentinel, page);
    }

    Page* page = sentinel->prev;
    ++page->used;
    void* block;
    if (page->freeList) {
        block = page->freeList;
        page->freeList = *static_cast<void**>(block);
    } else {
        block = page->bump;
        page->bump += rounded;
        if (page->bump > reinterpret_cast<uint8_t*>(page) + kPageSize - rounded)
            page->bump = nullptr;
    }
    if (!page->freeList && !page->bump)
        Unlink(page); // full: in no list until a block comes back
    return block;
}

void* MemoryPool::Allocate(size_t size)
{
    if (cached_ && size <= kLargestCached) {
        if (ThreadCache* cache = CacheOfThisThread()) {
            const size_t k = RoundedSize(size) / kAlignment;
            if (void* block = cache->heads[k]) {
                cache->heads[k] = NextFree(block);
                --cache->counts[k];
                return block;
            }
        }
    }
    return AllocateSlow(size);
}

void* MemoryPool::AllocateSlow(size_t size)
{
    void* block;
    if (ThreadCache* cache = cached_ && size <= kLargestCached ? CacheOfThisThread() : nullptr) {
        block = RefillCache(*cache, RoundedSize(size) / kAlignment);
    } else {
        std::lock_guard hold(lock_);
        block = AllocateLocked(size);
    }
    // Outside the lock: the exit handlers that run next may still free.
    if (!block)
        OutOfMemory(size);
    return block;
}

void MemoryPool::OutOfMemory(size_t size)
{
    // Writing the log may itself allocate: a shortage met while reporting one
    // ends at once instead of reporting again.
    static thread_local bool reporting = false;
    if (!reporting) {
        reporting = true;
        char line[96];
        std::snprintf(line, sizeof line, "Out of memory: no room for a block of %zu bytes", size);
        std::fprintf(stderr, "%s\n", line);
        LogFile::WriteLine(line);
        reporting = false;
    }
    FatalExit(kExitOutOfMemory);
}

void MemoryPool::Free(void* block)
{
    if (!block)
        return;
    Page* page = reinterpret_cast<Page*>(reinterpret_cast<uintptr_t>(block) & kPageMask);
    // The header of a page holding a live block is not rewritten, so its size
    // can be read without the lock.
    if (cached_ && page->blockSize != 0 && page->blockSize <= kLargestCached) {
        if (ThreadCache* cache = CacheOfThisThread()) {
            const size_t k = page->blockSize / kAlignment;
            NextFree(block) = cache->heads[k];
            cache->heads[k] = block;
            if (++cache->counts[k] > CacheLimit(k)) [[unlikely]]
                FlushHalf(*cache, k);
            return;
        }
    }
    std::lock_guard hold(lock_);
    FreeLocked(block);
}

void MemoryPool::FlushHalf(ThreadCache& cache, size_t classIndex)
{
    std::lock_guard hold(lock_);
    FlushCache(cache, classIndex, CacheLimit(classIndex) / 2);
}

void MemoryPool::FreeLocked(void* block)
{
    Page* page = reinterpret_cast<Page*>(reinterpret_cast<uintptr_t>(block) & kPageMask);
    if (page->blockSize == 0) {
        heap_.release(page->bump, heap_.context);
        return;
    }
    const bool wasListed = page->freeList || page->bump;
    *static_cast<void**>(block) = page->freeList;
    page->freeList = block;
    --page->used;
    if (page->used == 0) {
        if (wasListed)
            Unlink(page);
        page->next = freePages_;
        freePages_ = page;
        ++freePageCount_;
    } else if (!wasListed) {
        AppendTail(Sentinel(page->blockSize / kAlignment), page);
    }
}

bool MemoryPool::IsHeapBlock(const void* block)
{
    const Page* page = reinterpret_cast<const Page*>(reinterpret_cast<uintptr_t>(block) & kPageMask);
    return page->blockSize == 0;
}

size_t MemoryPool::PooledBlockSize(const void* block)
{
    const Page* page = reinterpret_cast<const Page*>(reinterpret_cast<uintptr_t>(block) & kPageMask);
    return page->blockSize;
}

size_t MemoryPool::FreePageCount() const
{
    std::lock_guard hold(lock_);
    return freePageCount_;
}

size_t MemoryPool::ChunkCount() const
{
    std::lock_guard hold(lock_);
    return chunkCount_;
}

bool MemoryPool::HasReserve() const
{
    std::lock_guard hold(lock_);
    return reserve_ != nullptr;
}

#if TREVOK_POOLED_ALLOCATOR

void* operator new(size_t size)
{
    return MemoryPool::Global().Allocate(size);
}

void* operator new[](size_t size)
{
    return MemoryPool::Global().Allocate(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return MemoryPool::Global().Allocate(size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return MemoryPool::Global().Allocate(size);
}

void operator delete(void* block) noexcept
{
    MemoryPool::Global().Free(block);
}

void operator delete[](void* block) noexcept
{
    MemoryPool::Global().Free(block);
}

void operator delete(void* block, size_t) noexcept
{
    MemoryPool::Global().Free(block);
}

void operator delete[](void* block, size_t) noexcept
{
    MemoryPool::Global().Free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    MemoryPool::Global().Free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    MemoryPool::Global().Free(block);
}

// Over-aligned types: the pool's 16 bytes suffice up to that; beyond, the
// heap's aligned allocation, freed by the matching aligned delete.
namespace {

void* AlignedNew(size_t size, std::align_val_t alignment)
{
    const size_t a = static_cast<size_t>(alignment);
    if (a <= MemoryPool::kAlignment)
        return MemoryPool::Global().Allocate(size);
    for (;;) {
        void* block = nullptr;
        if (posix_memalign(&block, a, size == 0 ? 1 : size) == 0)
            return block;
        if (!MemoryPool::Global().HasReserve())
            MemoryPool::OutOfMemory(size);
        MemoryPool::OnOutOfMemory();
    }
}

void AlignedDelete(void* block, std::align_val_t alignment)
{
    if (static_cast<size_t>(alignment) <= MemoryPool::kAlignment)
        MemoryPool::Global().Free(block);
    else
        std::free(block);
}

} // namespace

void* operator new(size_t size, std::align_val_t alignment)
{
    return AlignedNew(size, alignment);
}

void* operator new[](size_t size, std::align_val_t alignment)
{
    return AlignedNew(size, alignment);
}

void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AlignedNew(size, alignment);
}

void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AlignedNew(size, alignment);
}

void operator delete(void* block, std::align_val_t alignment) noexcept
{
    AlignedDelete(block, alignment);
}

void operator delete[](void* block, std::align_val_t alignment) noexcept
{
    AlignedDelete(block, alignment);
}

void operator delete(void* block, size_t, std::align_val_t alignment) noexcept
{
    AlignedDelete(block, alignment);
}

void operator delete[](void* block, size_t, std::align_val_t alignment) noexcept
{
    AlignedDelete(block, alignment);
}

void operator delete(void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    AlignedDelete(block, alignment);
}

void operator delete[](void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    AlignedDelete(block, alignment);
}

#endif
