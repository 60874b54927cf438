#include "platform/thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// All events share one mutex and condition so that a thread can wait on
// several at once; events are signalled a few times per frame at most. They
// are never destroyed: a thread still waiting while the exit handlers run
// must not meet a destroyed condition.
std::mutex& EventMutex()
{
    static auto* m = new std::mutex;
    return *m;
}

std::condition_variable& EventCondition()
{
    static auto* c = new std::condition_variable;
    return *c;
}

int NiceFor(ThreadPriority priority)
{
    switch (priority) {
    case ThreadPriority::kIdle: return 19;
    case ThreadPriority::kLowest: return 10;
    case ThreadPriority::kBelowNormal: return 5;
    case ThreadPriority::kNormal: return 0;
    case ThreadPriority::kAboveNormal: return -5;
    case ThreadPriority::kHighest: return -10;
    case ThreadPriority::kTimeCritical: return -20;
    }
    return 0;
}

bool ApplyNice(pid_t tid, ThreadPriority priority)
{
    // On Linux each thread has its own nice value, addressed by its thread id.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(priority)) == 0;
}

pid_t CurrentTid()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

} // namespace

void YieldThread()
{
    sched_yield();
}

void SleepMilliseconds(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

Event::~Event() = default;

void Event::Set()
{
    {
        std::lock_guard lock(EventMutex());
        set_ = true;
    }
    EventCondition().notify_all();
}

void Event::Reset()
{
    std::lock_guard lock(EventMutex());
    set_ = false;
}

bool Event::IsSet() const
{
    std::lock_guard lock(EventMutex());
    return set_;
}

bool Event::Wait(uint32_t milliseconds)
{
    Event* self = this;
    return WaitForAnyEvent(&self, 1, milliseconds) == 0;
}

int WaitForAnyEvent(Event* const* events, int count, uint32_t milliseconds)
{
    std::unique_lock lock(EventMutex());
    auto ready = [&]() -> int {
        for (int i = 0; i < count; ++i) {
            if (events[i]->set_) {
                if (!events[i]->manualReset_)
                    events[i]->set_ = false;
                return i;
            }
        }
        return kWaitTimeout;
    };
    int index = ready();
    if (index != kWaitTimeout || milliseconds == 0)
        return index;
    if (milliseconds == kWaitForever) {
        EventCondition().wait(lock, [&] { return (index = ready()) != kWaitTimeout; });
        return index;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    EventCondition().wait_until(lock, deadline, [&] { return (index = ready()) != kWaitTimeout; });
    return index;
}

struct Thread::State {
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<pid_t> tid{0};
    std::mutex tidMutex;
    std::condition_variable tidKnown;
};

Thread::Thread() : state_(std::make_shared<State>()) {}

Thread::~Thread()
{
    Join();
}

bool Thread::Start(std::function<void()> body, ThreadPriority priority)
{
    if (state_->thread.joinable())
        return false;
    state_->running = true;
    state_->tid = 0;
    std::shared_ptr<State> state = state_;
    try {
        state_->thread = std::thread([state, priority, body = std::move(body)] {
            {
                std::lock_guard lock(state->tidMutex);
                state->tid = CurrentTid();
            }
            state->tidKnown.notify_all();
            if (priority != ThreadPriority::kNormal)
                SetCurrentThreadPriority(priority);
            body();
            state->running = false;
        });
    } catch (...) {
        state_->running = false;
        return false;
    }
    return true;
}

void Thread::Join()
{
    if (state_->thread.joinable())
        state_->thread.join();
}

bool Thread::IsRunning() const
{
    return state_->running;
}

bool Thread::SetPriority(ThreadPriority priority)
{
    if (!state_->thread.joinable())
        return false;
    std::unique_lock lock(state_->tidMutex);
    state_->tidKnown.wait(lock, [&] { return state_->tid != 0; });
    return ApplyNice(state_->tid, priority);
}

bool SetCurrentThreadPriority(ThreadPriority priority)
{
    return ApplyNice(CurrentTid(), priority);
}

} // namespace platform
