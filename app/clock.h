// The processor clock and the timers built on it. Clock counts time-stamp
// ticks (the counter shifted right by 10) and is calibrated against the
// millisecond clock; a Timer runs at its own 32.32 rate with an offset.
// RealTime times screens and the console, GameTime the game thread,
// ServerTime the simulation; the game speed is the speed of the last two.
#pragma once

#include <cstdint>
#include <mutex>

// Where a clock takes its readings; tests give a scripted source.
struct ClockSource {
    uint64_t (*readRaw)(void* context);      // raw units, full 64 bits
    uint32_t (*milliseconds)(void* context); // wrapping millisecond time
    void (*yield)(void* context);            // gives up the time slice
    void* context;
};

class Clock {
public:
    Clock();                                // the processor's counter
    explicit Clock(const ClockSource& source);
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // Ticks since the clock was made. The difference between readings is
    // taken on the full 64-bit counter, so a long gap between two reads (a
    // stalled thread, a suspended machine) loses no time; a counter that
    // steps backwards adds nothing.
    uint64_t ReadTicks();

    // Measures the tick rate over the time since construction or the last
    // calibration, waiting until more than 70 x n milliseconds have passed
    // (n = 0: any time at all), then starts the next measurement. With n = 0
    // a rate already known is kept while the span is under kShortestSpanMs.
    void Calibrate(int n);
    static constexpr uint32_t kShortestSpanMs = 100;
    // Calibrate(n) when more than 70 x n milliseconds have already passed;
    // otherwise nothing (the measurement runs on): never waits. False when
    // the rate was left as it was.
    bool CalibrateIfDue(int n);

    // Zero until the first calibration.
    int32_t GetTicksPerSecondInt() const;
    float GetTicksPerSecond() const;
    float GetSecondsPerTick() const;

    // The one global clock, made among the static initialisers.
    static Clock& Global();
    static void StartupGlobal();
    static void CalibrateGlobal(int n);
    static bool CalibrateGlobalIfDue(int n);
    static int32_t GlobalTicksPerSecondInt();
    static float GlobalTicksPerSecond();
    static float GlobalSecondsPerTick();
    static uint32_t RawTicks(); // low 32 bits of a raw reading
    static uint64_t ReadGlobalTicks();

private:
    uint64_t ReadTicksLocked();

    ClockSource source_;
    mutable std::mutex guard_;
    uint64_t startTick_ = 0;    // calibration start; guarded by guard_
    uint32_t startTime_ = 0;    // milliseconds at calibration start
    int32_t ticksPerSecondInt_ = 0;
    float ticksPerSecond_ = 0.0f;
    float secondsPerTick_ = 0.0f;
    uint64_t accumulated_ = 0;  // guarded by guard_
    uint64_t lastRaw_ = 0;      // guarded by guard_
};

// A view of a clock at its own speed: value = ((ticks x rate) >> 32) + offset,
// modulo 2^64, with the rate in 32.32 fixed point. Fields are changed by one
// thread at a time (speed changes pass the game-state hand-over).
class Timer {
public:
    // `clock` null means the global clock.
    constexpr explicit Timer(Clock* clock = nullptr) : clock_(clock) {}

    uint64_t Now64();
    uint32_t Now() { return static_cast<uint32_t>(Now64()); }
    float Seconds();

    void SetTicks(uint64_t ticks);  // reads `ticks` now
    void SetSeconds(float seconds); // reads `seconds` now
    // Runs at `speed` times the clock from the value it has now; 0 stops it.
    // A negative or NaN speed counts as 0: a timer never runs backwards.
    // While paused, the speed is only remembered for Resume.
    void SetSpeed(float speed);

    // Stops the timer keeping its value and remembers the speed; Resume runs
    // it on from the same value at that speed. Calls do not nest.
    void Pause();
    void Resume();
    bool IsPaused() const { return paused_; }

    float Speed() const { return speed_; }
    uint32_t RateFraction() const { return rateFraction_; }
    int32_t RateWhole() const { return rateWhole_; }

    // ((ticks x rate) >> 32) modulo 2^64 from the four 32 x 32-bit products.
    static uint64_t Scale(uint64_t ticks, uint64_t rate);

private:
    Clock& TheClock() const { return clock_ ? *clock_ : Clock::Global(); }
    uint64_t Rate() const;
    void ApplySpeed(float speed);

    Clock* clock_;
    uint32_t rateFraction_ = 0;
    int32_t rateWhole_ = 1;
    uint64_t offset_ = 0;
    float speed_ = 1.0f;
    bool paused_ = false;
};

extern Timer RealTime;   // "Real time"
extern Timer GameTime;   // "Game time"
extern Timer ServerTime; // "Server time"
