// System clocks for the engine's own clock calibration and for code that
// needs wall-independent time: a wrapping millisecond counter and a
// nanosecond monotonic clock, both from CLOCK_MONOTONIC.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (about 49.7 days);
// differences taken modulo 2^32 stay correct across the wrap.
uint32_t TimeMilliseconds();

// Nanoseconds since an arbitrary start; never goes backwards.
uint64_t MonotonicNanoseconds();

} // namespace platform
