#include "app/app_time.h"

#include <chrono>

namespace AppTime {
namespace {

using Clock = std::chrono::steady_clock;

int64_t RawNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int64_t g_realStart = RawNanoseconds();
// Game time: ticks at the last speed change plus the elapsed real time since
// then times the speed.
double g_gameBase = 0;
int64_t g_gameBaseReal = 0;
float g_speed = 1.0f;

} // namespace

// Microsecond ticks: fine enough for frame deltas, 64-bit for centuries.
int64_t TicksPerSecond() { return 1000000; }

int64_t RealNow() { return (RawNanoseconds() - g_realStart) / 1000; }

int64_t GameNow()
{
    return static_cast<int64_t>(g_gameBase + double(RealNow() - g_gameBaseReal) * g_speed);
}

float GameSeconds() { return static_cast<float>(double(GameNow()) / double(TicksPerSecond())); }

void StartRealTime()
{
    g_realStart = RawNanoseconds();
    g_gameBase = 0;
    g_gameBaseReal = 0;
}

void SetGameSpeed(float speed)
{
    g_gameBase = double(GameNow());
    g_gameBaseReal = RealNow();
    g_speed = speed;
}

float GameSpeed() { return g_speed; }

void SetGameTime(int64_t ticks)
{
    g_gameBase = double(ticks);
    g_gameBaseReal = RealNow();
}

} // namespace AppTime
