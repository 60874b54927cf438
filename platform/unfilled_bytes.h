// Byte buffers whose new bytes are left as the allocator found them, for
// buffers a reader or writer fills whole before anything looks at them
// (file images, pixel storage): they skip the zero fill of a plain vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace platform {

template <class T>
struct UnfilledAllocator {
    using value_type = T;
    UnfilledAllocator() = default;
    template <class U>
    UnfilledAllocator(const UnfilledAllocator<U>&) noexcept
    {
    }
    // Cache-line aligned, so pixel rows can be written a whole line at a time.
    static constexpr std::align_val_t kAlign{64};
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
    void deallocate(T* p, size_t) noexcept { ::operator delete(p, kAlign); }
    // Growing without a value default-initialises, which leaves bytes as they are.
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const UnfilledAllocator<U>&) const noexcept
    {
        return true;
    }
};

using UnfilledBytes = std::vector<uint8_t, UnfilledAllocator<uint8_t>>;

} // namespace platform
