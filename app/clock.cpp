#include "app/clock.h"

#include "app/int_math.h"
#include "platform/cpu.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <cmath>

namespace {

uint64_t SystemRaw(void*)
{
    return platform::ReadCycleCounter() >> 10;
}

uint32_t SystemMilliseconds(void*)
{
    return platform::TimeMilliseconds();
}

void SystemYield(void*)
{
    platform::YieldThread();
}

constexpr ClockSource kSystemSource{&SystemRaw, &SystemMilliseconds, &SystemYield, nullptr};

// Constructs the global clock among the static initialisers, so the first
// calibration measures over the whole start-up.
const bool g_clockStarted = (Clock::StartupGlobal(), true);

} // namespace

Timer RealTime;
Timer GameTime;
Timer ServerTime;

Clock::Clock() : Clock(kSystemSource) {}

Clock::Clock(const ClockSource& source) : source_(source)
{
    lastRaw_ = source_.readRaw(source_.context);
    source_.yield(source_.context);
    startTime_ = source_.milliseconds(source_.context);
    startTick_ = ReadTicks();
}

uint64_t Clock::ReadTicksLocked()
{
    const uint64_t raw = source_.readRaw(source_.context);
    if (raw > lastRaw_)
        accumulated_ += raw - lastRaw_;
    lastRaw_ = raw;
    return accumulated_;
}

uint64_t Clock::ReadTicks()
{
    std::lock_guard hold(guard_);
    return ReadTicksLocked();
}

void Clock::Calibrate(int n)
{
    const uint32_t wanted = n > 0 ? 70u * static_cast<uint32_t>(n) : 0u;
    for (;;) {
        uint32_t elapsed = 0;
        uint64_t ticks = 0;
        do {
            source_.yield(source_.context);
            elapsed = source_.milliseconds(source_.context) - startTime_;
            ticks = ReadTicks();
        } while (elapsed <= wanted);

        std::lock_guard hold(guard_);
        // Over a few milliseconds the millisecond clock's steps and a thread
        // switch between the two readings can put the rate out by a factor
        // of ten, and every timer would run that much fast or slow. A rate
        // already measured stays, and the measurement runs on.
        if (n == 0 && ticksPerSecondInt_ > 0 && elapsed < kShortestSpanMs)
            return;
        const uint64_t difference = ticks - startTick_;
        // The rate is worked out on the full 64-bit difference, so a long
        // time between construction and calibration cannot overflow it.
        const double perSecond = static_cast<double>(difference) * 1000.0 / elapsed;
        const bool valid = difference > 0 && perSecond >= 1.0 && std::isfinite(perSecond);
        if (valid) {
            ticksPerSecondInt_ = perSecond < 2147483647.0 ? static_cast<int32_t>(std::lround(perSecond)) : INT32_MAX;
            ticksPerSecond_ = static_cast<float>(perSecond);
            secondsPerTick_ = static_cast<float>(elapsed / (static_cast<double>(difference) * 1000.0));
        }
        source_.yield(source_.context);
        startTime_ = source_.milliseconds(source_.context);
        startTick_ = ReadTicksLocked();
        if (valid)
            return;
    }
}

bool Clock::CalibrateIfDue(int n)
{
    const uint32_t wanted = n > 0 ? 70u * static_cast<uint32_t>(n) : 0u;
    uint32_t start = 0;
    {
        std::lock_guard hold(guard_);
        start = startTime_;
    }
    if (source_.milliseconds(source_.context) - start <= wanted)
        return false;
    Calibrate(n);
    return true;
}

int32_t Clock::GetTicksPerSecondInt() const
{
    std::lock_guard hold(guard_);
    return ticksPerSecondInt_;
}

float Clock::GetTicksPerSecond() const
{
    std::lock_guard hold(guard_);
    return ticksPerSecond_;
}

float Clock::GetSecondsPerTick() const
{
    std::lock_guard hold(guard_);
    return secondsPerTick_;
}

Clock& Clock::Global()
{
    static Clock clock;
    return clock;
}

void Clock::StartupGlobal()
{
    (void)Global();
}

void Clock::CalibrateGlobal(int n)
{
    Global().Calibrate(n);
}

bool Clock::CalibrateGlobalIfDue(int n)
{
    return Global().CalibrateIfDue(n);
}

int32_t Clock::GlobalTicksPerSecondInt()
{
    return Global().GetTicksPerSecondInt();
}

float Clock::GlobalTicksPerSecond()
{
    return Global().GetTicksPerSecond();
}

float Clock::GlobalSecondsPerTick()
{
    return Global().GetSecondsPerTick();
}

uint32_t Clock::RawTicks()
{
    return static_cast<uint32_t>(SystemRaw(nullptr));
}

uint64_t Clock::ReadGlobalTicks()
{
    return Global().ReadTicks();
}

uint64_t Timer::Scale(uint64_t ticks, uint64_t rate)
{
    const uint64_t tl = ticks & 0xFFFFFFFFu;
    const uint64_t th = ticks >> 32;
    const uint64_t rl = rate & 0xFFFFFFFFu;
    const uint64_t rh = rate >> 32;
    return ((tl * rl) >> 32) + tl * rh + th * rl + ((th * rh) << 32);
}

uint64_t Timer::Rate() const
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(rateWhole_)) << 32) | rateFraction_;
}

uint64_t Timer::Now64()
{
    return Scale(TheClock().ReadTicks(), Rate()) + offset_;
}

float Timer::Seconds()
{
    return static_cast<float>(static_cast<double>(static_cast<int64_t>(Now64())) *
                              TheClock().GetSecondsPerTick());
}

void Timer::SetTicks(uint64_t ticks)
{
    offset_ = ticks - Scale(TheClock().ReadTicks(), Rate());
}

void Timer::SetSeconds(float seconds)
{
    const int64_t ticks = FloorToInt64(static_cast<double>(seconds) * TheClock().GetTicksPerSecond());
    offset_ = static_cast<uint64_t>(ticks) - Scale(TheClock().ReadTicks(), Rate());
}

void Timer::ApplySpeed(float speed)
{
    // One clock reading serves both the value kept and the new offset, so no
    // time slips between them.
    const uint64_t ticks = TheClock().ReadTicks();
    const uint64_t value = Scale(ticks, Rate()) + offset_;
    const double scaled = speed > 0.0f ? static_cast<double>(speed) * 4294967296.0 : 0.0;
    const uint64_t rate = static_cast<uint64_t>(FloorToInt64(scaled));
    rateFraction_ = static_cast<uint32_t>(rate);
    rateWhole_ = static_cast<int32_t>(static_cast<uint32_t>(rate >> 32));
    offset_ = value - Scale(ticks, rate);
}

void Timer::SetSpeed(float speed)
{
    if (!(speed > 0.0f))
        speed = 0.0f;
    speed_ = speed;
    if (!paused_)
        ApplySpeed(speed);
}

void Timer::Pause()
{
    if (paused_)
        return;
    ApplySpeed(0.0f);
    paused_ = true;
}

void Timer::Resume()
{
    if (!paused_)
        return;
    paused_ = false;
    ApplySpeed(speed_);
}
