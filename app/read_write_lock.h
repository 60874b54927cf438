// The shared/exclusive lock that guards lists both the game and the server
// thread touch (the level, object registries, queues, named values,
// particles). Waiters spin with a yield; the lock is not re-entrant.
#pragma once

#include <mutex>

class ReadWriteLock {
public:
    ReadWriteLock() = default;
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    // Waits until the lock can be had: shared while nobody holds it
    // exclusively, exclusive while nobody holds it at all. A waiting exclusive
    // request does not hold back new shared holders.
    void Lock(bool exclusive);
    void Unlock(bool exclusive);

    // Takes the lock when that needs no wait; true when taken.
    bool TryLock(bool exclusive);

    // Shared: true while held exclusively. Exclusive: true while held in
    // either mode.
    bool IsLocked(bool exclusive) const;

private:
    bool TryLockHeld(bool exclusive);

    mutable std::mutex guard_;
    bool exclusive_ = false; // guarded by guard_
    int sharedCount_ = 0;    // guarded by guard_
};

// Holds `lock` in one mode for the enclosing scope.
class LockGuard {
public:
    LockGuard(ReadWriteLock& lock, bool exclusive) : lock_(&lock), exclusive_(exclusive)
    {
        lock_->Lock(exclusive_);
    }
    ~LockGuard() { lock_->Unlock(exclusive_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    ReadWriteLock* lock_;
    bool exclusive_;
};
