#include "app/memory_pool.h"

#include "app/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

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
    constexpr GlobalPoolHolder() : pool() {}
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

bool StartupGlobal()
{
    if (!MemoryPool::Global().Startup()) {
        std::fputs("Out of Memory\n", stderr);
        FatalExit(kExitOutOfMemory);
    }
    g_previousHandler = std::set_new_handler(&MemoryPool::OnOutOfMemory);
    std::atexit(&ShutdownGlobal);
    return true;
}

const bool g_started = StartupGlobal();

} // namespace

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
    void* block;
    {
        std::lock_guard hold(lock_);
        block = AllocateLocked(size);
    }
    // Outside the lock: the exit handlers that run next may still free.
    if (!block)
        FatalExit(kExitOutOfMemory);
    return block;
}

void MemoryPool::Free(void* block)
{
    if (!block)
        return;
    Page* page = reinterpret_cast<Page*>(reinterpret_cast<uintptr_t>(block) & kPageMask);
    std::lock_guard hold(lock_);
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
