#include "app/app_time.h"

#include "app/clock.h"

namespace AppTime {

int64_t TicksPerSecond()
{
    int32_t rate = Clock::GlobalTicksPerSecondInt();
    if (rate <= 0) {
        // Before start-up calibrates (tools, tests): measure now.
        Clock::CalibrateGlobal(0);
        rate = Clock::GlobalTicksPerSecondInt();
    }
    return rate > 0 ? rate : 1;
}

namespace {
int64_t (*g_realClock)() = nullptr;
} // namespace

void SetRealClock(int64_t (*now)()) { g_realClock = now; }

int64_t RealNow() { return g_realClock ? g_realClock() : static_cast<int64_t>(RealTime.Now64()); }
int64_t GameNow() { return static_cast<int64_t>(GameTime.Now64()); }
float GameSeconds() { return GameTime.Seconds(); }

void StartRealTime()
{
    Clock::CalibrateGlobal(0);
    RealTime.SetTicks(0);
}

void SetGameSpeed(float speed)
{
    GameTime.SetSpeed(speed);
    ServerTime.SetSpeed(speed);
}

float GameSpeed() { return GameTime.Speed(); }

void SetGameTime(int64_t ticks) { GameTime.SetTicks(static_cast<uint64_t>(ticks)); }

} // namespace AppTime
