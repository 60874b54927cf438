// Reference counting for objects shared by several holders: surfaces and
// palettes of the graphics layer, world objects,
// the level, light sets, 3-D objects, draw requests. The count starts at 1
// for the maker; the last Release destroys through the virtual destructor.
#pragma once

#include <atomic>
#include <cstdint>

class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    void AddRef() { count_.fetch_add(1, std::memory_order_relaxed); }

    // Count - 1; deletes the object at 0. Returns the new count.
    int32_t Release()
    {
        const int32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

    int32_t RefCount() const { return count_.load(std::memory_order_relaxed); }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<int32_t> count_{1};
};

// The same rule for resources of the 3-D engine.
class RefCountedResource : public RefCounted {
protected:
    ~RefCountedResource() override = default;
};

// Holds one reference; replacing it releases the old one first.
template <typename T>
class RefPtr {
public:
    RefPtr() = default;
    // Takes over a reference the caller already owns (a fresh object's 1).
    static RefPtr Adopt(T* object)
    {
        RefPtr p;
        p.object_ = object;
        return p;
    }
    // Adds a reference of its own.
    explicit RefPtr(T* object) : object_(object)
    {
        if (object_)
            object_->AddRef();
    }
    RefPtr(const RefPtr& other) : RefPtr(other.object_) {}
    RefPtr(RefPtr&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    RefPtr& operator=(RefPtr other) noexcept
    {
        T* old = object_;
        object_ = other.object_;
        other.object_ = old;
        return *this;
    }
    ~RefPtr() { Reset(); }

    void Reset()
    {
        if (T* old = object_) {
            object_ = nullptr;
            old->Release();
        }
    }
    // Gives the held reference to the caller.
    T* Detach()
    {
        T* object = object_;
        object_ = nullptr;
        return object;
    }
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};
