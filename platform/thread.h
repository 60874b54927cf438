// Threads and events for the game, server and music threads. Events keep the
// auto/manual-reset semantics the engine's hand-over and stop signals rely on;
// priorities are applied as far as an unprivileged Linux process may.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Gives up the rest of the time slice (the Sleep(0) of spin loops).
void YieldThread();

// Sleeps at least `milliseconds`.
void SleepMilliseconds(uint32_t milliseconds);

// Wait without a time-out.
inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// Result of a wait that timed out.
inline constexpr int kWaitTimeout = -1;

class Event {
public:
    // An auto-reset event lets one waiter through per Set and clears itself;
    // a manual-reset event stays set until Reset.
    explicit Event(bool manualReset = false, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();

    // True when the event was (or became) set within `milliseconds`.
    bool Wait(uint32_t milliseconds = kWaitForever);

    bool IsSet() const;

private:
    friend int WaitForAnyEvent(Event* const* events, int count, uint32_t milliseconds);
    bool manualReset_;
    bool set_; // guarded by the events' shared mutex
};

// Waits until one of `events` is set and returns its index (the lowest set
// one); an auto-reset event that is reported is cleared. kWaitTimeout when
// none was set within `milliseconds`.
int WaitForAnyEvent(Event* const* events, int count, uint32_t milliseconds);

// Priorities on the Windows scale the engine uses.
enum class ThreadPriority : int {
    kIdle = -15,
    kLowest = -2,
    kBelowNormal = -1,
    kNormal = 0,
    kAboveNormal = 1,
    kHighest = 2,
    kTimeCritical = 15,
};

class Thread {
public:
    Thread();
    ~Thread(); // joins a thread that is still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `body` on a new thread; false when one is already running or the
    // system refused.
    bool Start(std::function<void()> body, ThreadPriority priority = ThreadPriority::kNormal);

    // Waits for the thread to end. Returns at once when none was started.
    void Join();

    bool IsRunning() const;

    // Applies `priority` to the running thread as its nice value. Raising the
    // priority above normal needs privileges that a player's account usually
    // lacks: then the thread keeps running at normal priority and this
    // returns false.
    bool SetPriority(ThreadPriority priority);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// Applies `priority` to the calling thread (see Thread::SetPriority).
bool SetCurrentThreadPriority(ThreadPriority priority);

} // namespace platform
