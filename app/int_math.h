// Integer helpers with the exact rounding the game's fixed-point arithmetic
// relies on: 16.16 products through MulDiv, and float-to-integer conversions
// that round toward minus infinity (the rounding mode the game ran under).
#pragma once

#include <cmath>
#include <cstdint>

// (a * b) / c with a 64-bit intermediate, rounded to nearest (halves away
// from zero); -1 when c is 0 or the result lies outside +-0x7FFFFFFF.
constexpr int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const uint64_t num = product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
    const uint64_t den = c < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
    const uint64_t quotient = (num + den / 2) / den;
    if (negative) {
        if (quotient >= 0x80000000ull) // Windows also refuses INT32_MIN
            return -1;
        return static_cast<int32_t>(0 - static_cast<int64_t>(quotient));
    }
    if (quotient > 0x7FFFFFFFull)
        return -1;
    return static_cast<int32_t>(quotient);
}

// Largest integer not above `value`, saturated to the int32 range; NaN gives 0.
// Every conversion that the game did under round-toward-minus-infinity goes
// through here, so negative coordinates land in the same grid cell.
inline int32_t FloorToInt(double value)
{
    if (!(value == value))
        return 0;
    const double f = std::floor(value);
    if (f <= -2147483648.0)
        return INT32_MIN;
    if (f >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(f);
}

// The same for 64-bit results (timer offsets and rates).
inline int64_t FloorToInt64(double value)
{
    if (!(value == value))
        return 0;
    const double f = std::floor(value);
    if (f <= -9223372036854775808.0)
        return INT64_MIN;
    if (f >= 9223372036854775807.0)
        return INT64_MAX;
    return static_cast<int64_t>(f);
}
