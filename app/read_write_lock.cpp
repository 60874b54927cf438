#include "app/read_write_lock.h"

#include "platform/thread.h"

#include <cassert>

bool ReadWriteLock::TryLockHeld(bool exclusive)
{
    if (exclusive_)
        return false;
    if (!exclusive) {
        ++sharedCount_;
        return true;
    }
    if (sharedCount_ != 0)
        return false;
    exclusive_ = true;
    return true;
}

void ReadWriteLock::Lock(bool exclusive)
{
    for (;;) {
        {
            std::lock_guard hold(guard_);
            if (TryLockHeld(exclusive))
                return;
        }
        platform::YieldThread();
    }
}

bool ReadWriteLock::TryLock(bool exclusive)
{
    std::lock_guard hold(guard_);
    return TryLockHeld(exclusive);
}

void ReadWriteLock::Unlock(bool exclusive)
{
    std::lock_guard hold(guard_);
    if (exclusive) {
        assert(exclusive_);
        exclusive_ = false;
    } else {
        assert(sharedCount_ > 0);
        if (sharedCount_ > 0)
            --sharedCount_;
    }
}

bool ReadWriteLock::IsLocked(bool exclusive) const
{
    std::lock_guard hold(guard_);
    return exclusive_ || (exclusive && sharedCount_ != 0);
}
