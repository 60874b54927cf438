// Owns one handle of a C library (a window, a GL name, a context): freed when
// the holder is reset, replaced or destroyed. Free of library headers, so a
// public header can hold its handle through it.
#pragma once

#include <utility>

namespace platform {

// Forget() lets a handle go unfreed, for one whose owner (the GL context of a
// GL object) is already gone with it.
template <typename Handle, void (*Free)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    ~Owned() { Reset(); }

    operator Handle() const { return handle_; }
    Handle Get() const { return handle_; }
    void Reset()
    {
        if (handle_)
            Free(std::exchange(handle_, Handle{}));
    }
    void Forget() { handle_ = Handle{}; }

private:
    Handle handle_{};
};

} // namespace platform
