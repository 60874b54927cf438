#include "app/read_write_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(ReadWriteLock, SharedHoldersStackAndKeepTheExclusiveOut)
{
    ReadWriteLock lock;
    EXPECT_FALSE(lock.IsLocked(true));
    lock.Lock(false);
    lock.Lock(false);
    EXPECT_FALSE(lock.IsLocked(false)) << "shared holders do not block readers";
    EXPECT_TRUE(lock.IsLocked(true));
    EXPECT_FALSE(lock.TryLock(true));
    EXPECT_TRUE(lock.TryLock(false));
    lock.Unlock(false);
    lock.Unlock(false);
    EXPECT_FALSE(lock.TryLock(true)) << "one shared holder is left";
    lock.Unlock(false);
    EXPECT_TRUE(lock.TryLock(true));
    EXPECT_TRUE(lock.IsLocked(false));
    EXPECT_FALSE(lock.TryLock(false));
    EXPECT_FALSE(lock.TryLock(true));
    lock.Unlock(true);
    EXPECT_FALSE(lock.IsLocked(true));
}

TEST(ReadWriteLock, ExclusiveRequestWaitsForBothSharedHolders)
{
    ReadWriteLock lock;
    lock.Lock(false);
    lock.Lock(false);
    std::atomic<bool> acquired{false};
    std::thread writer([&] {
        LockGuard guard(lock, true);
        acquired = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(acquired.load());
    lock.Unlock(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(acquired.load());
    lock.Unlock(false);
    writer.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_FALSE(lock.IsLocked(true));
}

// A writer keeps two fields equal; readers must never see them differ. The
// fields are plain on purpose: the lock alone must order the accesses (the
// thread-sanitizer build checks that too).
TEST(ReadWriteLock, ReadersNeverSeeAHalfWrittenRecord)
{
    ReadWriteLock lock;
    struct {
        long first = 0;
        long second = 0;
    } record;
    std::atomic<bool> stop{false};
    std::atomic<long> torn{0};
    std::atomic<long> reads{0};

    std::thread reader([&] {
        while (!stop) {
            {
                LockGuard guard(lock, false);
                if (record.first != record.second)
                    ++torn;
                ++reads;
            }
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 20000; ++i) {
        LockGuard guard(lock, true);
        ++record.first;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        ++record.second;
    }
    while (reads < 1000)
        std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(record.first, 20000);
}

} // namespace
