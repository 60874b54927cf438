#include "app/int_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct MulDivCase {
    int32_t a, b, c, expected;
};

TEST(MulDiv, RoundsToNearestAndRefusesOverflow)
{
    const MulDivCase cases[] = {
        {10, 10, 3, 33},           // 33.3
        {10, 10, 6, 17},           // 16.67
        {3, 1, 2, 2},              // 1.5 rounds away from zero
        {-3, 1, 2, -2},            // -1.5
        {3, -1, 2, -2},
        {3, 1, -2, -2},
        {-3, -1, -2, -2},
        {5, 1, -2, -3},            // -2.5
        {1, 1, 3, 0},
        {2, 1, 3, 1},
        {-2, 1, 3, -1},
        {0, -5, 7, 0},
        {7, 8, 0, -1},             // division by zero
        {0x10000, 0x10000, 0x10000, 0x10000}, // 1.0 x 1.0 in 16.16
        {0x18000, 0x28000, 0x10000, 0x3C000}, // 1.5 x 2.5 = 3.75
        {INT32_MAX, 2, 2, INT32_MAX},
        {INT32_MAX, 2, 1, -1},     // overflow
        {INT32_MIN, 1, 1, -1},     // INT32_MIN itself is refused
        {INT32_MIN, 1, 2, -1073741824},
        {INT32_MIN, -1, 1, -1},
        {-65536, 65536, 65536, -65536},
        {1000000, 1000000, 1000, 1000000000},
    };
    for (const MulDivCase& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
}

TEST(FloorToInt, RoundsTowardMinusInfinity)
{
    struct Case {
        double value;
        int32_t expected;
    };
    const Case cases[] = {
        {0.0, 0}, {-0.0, 0}, {0.999, 0}, {-0.001, -1}, {-1.0, -1}, {-1.5, -2}, {2.5, 2},
        {1e10, INT32_MAX}, {-1e10, INT32_MIN}, {std::numeric_limits<double>::quiet_NaN(), 0},
        {-2147483648.0, INT32_MIN}, {2147483646.5, 2147483646},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FloorToInt(c.value), c.expected) << c.value;
    EXPECT_EQ(FloorToInt64(-4294967296.5), -4294967297LL);
    EXPECT_EQ(FloorToInt64(1e30), INT64_MAX);
}

} // namespace
