#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using platform::Event;
using platform::Thread;
using platform::ThreadPriority;

TEST(Event, AutoResetLetsOneWaitThroughManualResetStaysSet)
{
    Event autoReset(false, false);
    EXPECT_FALSE(autoReset.Wait(0));
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0)) << "cleared by the wait that saw it";

    Event manual(true, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(5));
    manual.Reset();
    EXPECT_FALSE(manual.IsSet());
    EXPECT_FALSE(manual.Wait(1)) << "times out";
}

TEST(Event, WaitForAnyReportsTheLowestSetEvent)
{
    Event stop(true), pause, arrival;
    Event* events[] = {&stop, &pause, &arrival};
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 1), platform::kWaitTimeout);
    arrival.Set();
    pause.Set();
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 0), 1);
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 0), 2);
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 0), platform::kWaitTimeout);
    stop.Set();
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 0), 0);
    EXPECT_EQ(platform::WaitForAnyEvent(events, 3, 0), 0) << "manual reset stays set";
}

// The server thread's shape: wait on stop and arrival; stop when told.
TEST(Thread, ServerLoopWakesOnEventsAndStops)
{
    Event stop(true), arrival, stopped(true);
    std::atomic<int> arrivals{0};
    Thread server;
    ASSERT_TRUE(server.Start([&] {
        Event* events[] = {&stop, &arrival};
        for (;;) {
            const int which = platform::WaitForAnyEvent(events, 2, 50);
            if (which == 0)
                break;
            if (which == 1)
                ++arrivals;
        }
        stopped.Set();
    }));
    EXPECT_FALSE(server.Start([] {})) << "one thread at a time";
    for (int i = 0; i < 3; ++i) {
        arrival.Set();
        while (arrival.IsSet())
            platform::YieldThread();
    }
    stop.Set();
    EXPECT_TRUE(stopped.Wait(platform::kWaitForever));
    server.Join();
    EXPECT_FALSE(server.IsRunning());
    EXPECT_GE(arrivals.load(), 1);
    EXPECT_LE(arrivals.load(), 3);
}

TEST(Thread, LowerPriorityIsAppliedToThatThreadOnly)
{
    const int before = getpriority(PRIO_PROCESS, 0);
    std::atomic<int> seen{-100};
    Thread worker;
    ASSERT_TRUE(worker.Start(
        [&] { seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); },
        ThreadPriority::kLowest));
    worker.Join();
    // Nice 10; a process already running nicer than that cannot come back up.
    EXPECT_EQ(seen.load(), std::max(before, 10));
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before) << "the caller's priority is untouched";
}

TEST(Thread, PriorityOfARunningThreadCanBeLowered)
{
    const int before = getpriority(PRIO_PROCESS, 0);
    Event changed, done;
    std::atomic<int> seen{-100};
    Thread worker;
    ASSERT_TRUE(worker.Start([&] {
        changed.Wait(platform::kWaitForever);
        seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    }));
    // Below normal is nice 5: always allowed from a nicer-or-equal start;
    // from a process niced further only with the right to raise priority.
    const bool applied = worker.SetPriority(ThreadPriority::kBelowNormal);
    if (before <= 5) {
        EXPECT_TRUE(applied);
    }
    changed.Set();
    worker.Join();
    EXPECT_EQ(seen.load(), applied ? 5 : before) << "the thread runs at what SetPriority reported";
}

TEST(Thread, AHigherPriorityThanAllowedStillRuns)
{
    std::atomic<bool> ran{false};
    Thread worker;
    ASSERT_TRUE(worker.Start([&] { ran = true; }, ThreadPriority::kTimeCritical));
    worker.Join();
    EXPECT_TRUE(ran.load());
}

} // namespace
