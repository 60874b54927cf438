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

// Cache-line aligned by default, so pixel rows can be written a whole line at a time.
template <class T, size_t Alignment = 64>
struct UnfilledAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = UnfilledAllocator<U, Alignment>;
    };
    UnfilledAllocator() = default;
    template <class U>
    UnfilledAllocator(const UnfilledAllocator<U, Alignment>&) noexcept
    {
    }
    static constexpr std::align_val_t kAlign{Alignment};
    static constexpr bool kPlain = Alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__;
    T* allocate(size_t n)
    {
        if constexpr (kPlain)
            return static_cast<T*>(::operator new(n * sizeof(T)));
        else
            return static_cast<T*>(::operator new(n * sizeof(T), kAlign));
    }
    void deallocate(T* p, size_t) noexcept
    {
        if constexpr (kPlain)
            ::operator delete(p);
        else
            ::operator delete(p, kAlign);
    }
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
    bool operator==(const UnfilledAllocator<U, Alignment>&) const noexcept
    {
        return true;
    }
};

using UnfilledBytes = std::vector<uint8_t, UnfilledAllocator<uint8_t>>;

// File images that are parsed, not drawn: on new's own alignment. Large blocks
// aligned further come from the system's aligned allocation, which gave fresh
// pages (a page fault each) on every reread of a file of megabytes.
using UnfilledImage = std::vector<uint8_t, UnfilledAllocator<uint8_t, __STDCPP_DEFAULT_NEW_ALIGNMENT__>>;

} // namespace platform
