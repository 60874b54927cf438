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
    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
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
