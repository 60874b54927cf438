#include "platform/time.h"

#include <time.h>

namespace platform {

uint64_t MonotonicNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint32_t TimeMilliseconds()
{
    return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000ull);
}

} // namespace platform
