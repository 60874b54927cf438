#include "app/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A processor and millisecond clock under the test's control: each yield
// lets one millisecond and `rawPerMillisecond` raw units pass.
struct ScriptedTime {
    uint64_t raw = 1000;
    uint32_t milliseconds = 0;
    uint64_t rawPerMillisecond = 3000;

    ClockSource Source()
    {
        return {[](void* c) { return static_cast<ScriptedTime*>(c)->raw; },
                [](void* c) { return static_cast<ScriptedTime*>(c)->milliseconds; },
                [](void* c) {
                    auto* t = static_cast<ScriptedTime*>(c);
                    ++t->milliseconds;
                    t->raw += t->rawPerMillisecond;
                },
                this};
    }
};

TEST(Clock, ReadingsAdvanceByTheTrueDifferenceEvenAcrossLongGaps)
{
    const uint64_t gaps[] = {0, 1, 0xFFFFFFFFull, 0x100000000ull, (1ull << 33) + 5, 1ull << 45};
    ScriptedTime time;
    Clock clock(time.Source());
    uint64_t expected = clock.ReadTicks();
    for (uint64_t gap : gaps) {
        SCOPED_TRACE(gap);
        time.raw += gap;
        expected += gap;
        EXPECT_EQ(clock.ReadTicks(), expected);
    }
}

TEST(Clock, RawValuesWrappingTheLow32BitsStillCount)
{
    ScriptedTime time;
    time.raw = 0xFFFFFF00ull;
    time.rawPerMillisecond = 0;
    Clock clock(time.Source());
    const uint64_t start = clock.ReadTicks();
    time.raw = 0x100000010ull;
    EXPECT_EQ(clock.ReadTicks() - start, 0x110u);
}

TEST(Clock, ACounterSteppingBackAddsNothing)
{
    ScriptedTime time;
    time.raw = 50000;
    Clock clock(time.Source());
    const uint64_t start = clock.ReadTicks();
    time.raw = 40000;
    EXPECT_EQ(clock.ReadTicks(), start);
    time.raw = 40010;
    EXPECT_EQ(clock.ReadTicks(), start + 10);
}

TEST(Clock, CalibrationMeasuresTheTickRate)
{
    struct Case {
        uint64_t rawPerMillisecond;
        int n;
        uint32_t minimumWaitMs;
    };
    for (const Case c : {Case{3000, 0, 1}, Case{2929, 1, 71}, Case{12345, 3, 211}}) {
        SCOPED_TRACE(c.rawPerMillisecond);
        ScriptedTime time;
        time.rawPerMillisecond = c.rawPerMillisecond;
        Clock clock(time.Source());
        EXPECT_EQ(clock.GetTicksPerSecondInt(), 0);
        const uint32_t before = time.milliseconds;
        clock.Calibrate(c.n);
        EXPECT_GE(time.milliseconds - before, c.minimumWaitMs);
        EXPECT_EQ(clock.GetTicksPerSecondInt(), static_cast<int32_t>(c.rawPerMillisecond * 1000));
        EXPECT_FLOAT_EQ(clock.GetTicksPerSecond(), static_cast<float>(c.rawPerMillisecond * 1000));
        EXPECT_FLOAT_EQ(clock.GetSecondsPerTick(), 1.0f / static_cast<float>(c.rawPerMillisecond * 1000));
    }
}

TEST(Clock, CalibrationAfterAnHourDoesNotOverflow)
{
    ScriptedTime time;
    time.rawPerMillisecond = 3000; // a 3 GHz counter shifted by 10
    Clock clock(time.Source());
    time.milliseconds += 3600000;
    time.raw += 3600000ull * 3000; // beyond 2^32 raw units
    clock.Calibrate(0);
    EXPECT_NEAR(clock.GetTicksPerSecond(), 3.0e6f, 3.0e6f * 1e-6f);
    EXPECT_NEAR(clock.GetTicksPerSecondInt(), 3000000, 3);
}

// The level load refines the rate without ever waiting: before the span has
// passed nothing changes and no time goes by; after it the rate is measured
// over the whole span.
TEST(Clock, CalibrationWhenDueNeverWaits)
{
    struct Case {
        uint32_t passedMs;
        bool measured;
    };
    for (const Case c : {Case{0, false}, Case{13999, false}, Case{14000, false}, Case{14001, true}, Case{60000, true}}) {
        SCOPED_TRACE(c.passedMs);
        ScriptedTime time;
        Clock clock(time.Source());
        clock.Calibrate(0);
        const int32_t before = clock.GetTicksPerSecondInt();
        time.rawPerMillisecond = 5000;  // the counter's true rate shows only in a new measurement
        time.milliseconds += c.passedMs;
        time.raw += uint64_t(c.passedMs) * 5000;
        const uint32_t at = time.milliseconds;
        EXPECT_EQ(clock.CalibrateIfDue(200), c.measured);
        if (c.measured) {
            EXPECT_NEAR(clock.GetTicksPerSecondInt(), 5000000, 5000000 / 1000);
            EXPECT_LE(time.milliseconds - at, 2u) << "no wait";
        } else {
            EXPECT_EQ(clock.GetTicksPerSecondInt(), before);
            EXPECT_EQ(time.milliseconds, at) << "no wait";
        }
    }
}

// Start-up measures once when something first asks for the rate and again
// a moment later: the second span is a millisecond or two, where one thread
// switch between the readings made every timer run several times too fast.
TEST(Clock, AShortSpanKeepsTheRateAlreadyMeasured)
{
    ScriptedTime time;
    Clock clock(time.Source());
    time.milliseconds += 500;
    time.raw += 500ull * 3000;
    clock.Calibrate(0);
    ASSERT_EQ(clock.GetTicksPerSecondInt(), 3000000);

    time.rawPerMillisecond = 300;  // the counter read late: a tenth of the ticks
    clock.Calibrate(0);
    EXPECT_EQ(clock.GetTicksPerSecondInt(), 3000000);

    // A later measurement spans from the last real one, the short one included.
    time.rawPerMillisecond = 3000;
    time.milliseconds += 200;
    time.raw += 200ull * 3000;
    clock.Calibrate(0);
    EXPECT_NEAR(clock.GetTicksPerSecondInt(), 3000000, 3000000 / 50);
}

TEST(Clock, GlobalClockRunsAndCalibrates)
{
    const uint64_t a = Clock::ReadGlobalTicks();
    Clock::CalibrateGlobal(0);
    const uint64_t b = Clock::ReadGlobalTicks();
    EXPECT_GE(b, a);
    EXPECT_GT(Clock::GlobalTicksPerSecondInt(), 0);
    EXPECT_GT(Clock::GlobalSecondsPerTick(), 0.0f);
}

TEST(Timer, RateProductMatchesWideMultiplication)
{
    const uint64_t values[] = {0, 1, 0xFFFFFFFFull, 0x100000000ull, 0x123456789ABCDEFull, ~0ull};
    for (uint64_t ticks : values) {
        for (uint64_t rate : values) {
            __extension__ using Wide = unsigned __int128;
            const auto expected = static_cast<uint64_t>((static_cast<Wide>(ticks) * rate) >> 32);
            EXPECT_EQ(Timer::Scale(ticks, rate), expected) << ticks << " x " << rate;
        }
    }
}

TEST(Timer, SpeedSetsThe32Point32Rate)
{
    struct Case {
        float speed;
        uint32_t fraction;
        int32_t whole;
    };
    const Case cases[] = {{1.0f, 0, 1}, {0.5f, 0x80000000u, 0}, {0.0f, 0, 0}, {2.25f, 0x40000000u, 2},
                          {-1.0f, 0, 0}, {NAN, 0, 0}};
    ScriptedTime time;
    Clock clock(time.Source());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        Timer timer(&clock);
        timer.SetSpeed(c.speed);
        EXPECT_EQ(timer.RateFraction(), c.fraction);
        EXPECT_EQ(timer.RateWhole(), c.whole);
    }
}

// One step of a timer's life: let clock ticks pass, then act, then read.
struct Step {
    enum class Action { kNone, kSpeed, kPause, kResume, kSetTicks } action;
    uint64_t ticksBefore;
    double argument;
    uint64_t expected;
};

TEST(Timer, ArithmeticAcrossPauseResumeSpeedAndLongGaps)
{
    using A = Step::Action;
    const Step steps[] = {
        {A::kSetTicks, 0, 500, 500},
        {A::kNone, 1000, 0, 1500},
        {A::kSpeed, 0, 0.5, 1500},
        {A::kNone, 1000, 0, 2000},
        {A::kPause, 300, 0, 2150},
        {A::kNone, 5000, 0, 2150},
        {A::kSpeed, 0, 2.0, 2150}, // remembered while paused
        {A::kNone, 100, 0, 2150},
        {A::kResume, 0, 0, 2150},
        {A::kNone, 100, 0, 2350},
        {A::kSpeed, 0, 0.0, 2350},
        {A::kNone, 1u << 20, 0, 2350},
        {A::kSpeed, 0, 1.0, 2350},
        {A::kNone, 1ull << 36, 0, 2350 + (1ull << 36)}, // a gap of hours
        {A::kSpeed, 0, 3.0, 2350 + (1ull << 36)},
        {A::kNone, 1ull << 34, 0, 2350 + (1ull << 36) + 3 * (1ull << 34)},
    };
    ScriptedTime time;
    Clock clock(time.Source());
    Timer timer(&clock);
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(i);
        time.raw += s.ticksBefore;
        switch (s.action) {
        case A::kNone: break;
        case A::kSpeed: timer.SetSpeed(static_cast<float>(s.argument)); break;
        case A::kPause: timer.Pause(); break;
        case A::kResume: timer.Resume(); break;
        case A::kSetTicks: timer.SetTicks(static_cast<uint64_t>(s.argument)); break;
        }
        EXPECT_EQ(timer.Now64(), s.expected);
        EXPECT_EQ(timer.Now(), static_cast<uint32_t>(s.expected));
    }
    EXPECT_FALSE(timer.IsPaused());
    EXPECT_FLOAT_EQ(timer.Speed(), 3.0f);
}

TEST(Timer, SecondsFollowTheCalibratedRate)
{
    ScriptedTime time;
    time.rawPerMillisecond = 2000;
    Clock clock(time.Source());
    clock.Calibrate(0); // 2,000,000 ticks a second
    Timer timer(&clock);
    timer.SetSeconds(2.0f);
    EXPECT_FLOAT_EQ(timer.Seconds(), 2.0f);
    time.raw += 1000000;
    EXPECT_FLOAT_EQ(timer.Seconds(), 2.5f);
    timer.SetSeconds(-1.0f);
    EXPECT_FLOAT_EQ(timer.Seconds(), -1.0f);
    EXPECT_EQ(static_cast<int64_t>(timer.Now64()), -2000000);
}

TEST(Timer, GlobalTimersStartAtNormalSpeed)
{
    for (Timer* timer : {&RealTime, &GameTime, &ServerTime}) {
        EXPECT_FLOAT_EQ(timer->Speed(), 1.0f);
        EXPECT_EQ(timer->RateWhole(), 1);
        EXPECT_EQ(timer->RateFraction(), 0u);
    }
    RealTime.SetTicks(0);
    EXPECT_LT(RealTime.Now64(), 1ull << 40);
}

} // namespace
