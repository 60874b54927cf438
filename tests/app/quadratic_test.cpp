#include "app/quadratic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kUntouched = 12345.0f;

struct MonicCase {
    const char* name;
    float b, c;
    float first, second;
};

TEST(Quadratic, MonicRootsAreOrderedAndExact)
{
    // Small integer roots are exact in the stable form: every intermediate
    // (b^2 - 4c, its root, c / q) is an exactly representable integer.
    const MonicCase cases[] = {
        {"t^2 - 3t + 2", -3, 2, 1, 2},
        {"t^2 + 3t + 2", 3, 2, -2, -1},
        {"t^2 - 4, b = 0", 0, -4, -2, 2},
        {"double root", -2, 1, 1, 1},
        {"double root at zero", 0, 0, -0.0f, 0},
        {"root at zero, b > 0", 5, 0, -5, 0},
        {"root at zero, b < 0", -5, 0, 0, 5},
        {"roots of both signs", 1, -6, -3, 2},
    };
    for (const MonicCase& k : cases) {
        SCOPED_TRACE(k.name);
        float first = kUntouched, second = kUntouched;
        ASSERT_EQ(SolveQuadratic(first, second, k.b, k.c), 2);
        EXPECT_EQ(first, k.first);
        EXPECT_EQ(second, k.second);
    }
}

TEST(Quadratic, SmallRootKeepsItsDigitsBesideALargeOne)
{
    // t^2 + 1e4 t + 1: roots -1.00000001e-4 and about -1e4. The textbook
    // (-b + sqrt(D)) / 2 subtracts two numbers near 1e4 and keeps barely
    // three digits in float; the stable form stays within a few ulps.
    float first = 0, second = 0;
    ASSERT_EQ(SolveQuadratic(first, second, 1e4f, 1.0f), 2);
    EXPECT_NEAR(second, -1.00000001e-4, 4 * std::numeric_limits<float>::epsilon() * 1e-4);
    EXPECT_NEAR(first, -9999.9999, 4 * std::numeric_limits<float>::epsilon() * 1e4);
}

TEST(Quadratic, NoRealRootLeavesOutputsUntouched)
{
    const struct {
        const char* name;
        float b, c;
    } cases[] = {
        {"t^2 + 1", 0, 1},
        {"t^2 + t + 1", 1, 1},
        {"just below tangency", 2, 1.0001f},
        {"NaN b", std::nanf(""), 1},
        {"NaN c", 1, std::nanf("")},
        {"infinite c", 1, std::numeric_limits<float>::infinity()},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        float first = kUntouched, second = kUntouched;
        EXPECT_EQ(SolveQuadratic(first, second, k.b, k.c), 0);
        EXPECT_EQ(first, kUntouched);
        EXPECT_EQ(second, kUntouched);
    }
}

struct ScaledCase {
    const char* name;
    float h, k, m;
    int count;
    double first, second;
    double tolerance;
};

TEST(Quadratic, ScaledEquations)
{
    const ScaledCase cases[] = {
        {"2t^2 - 6t + 4", 2, -6, 4, 2, 1, 2, 0},
        // Dividing by a negative h does not change the roots: still the
        // smaller first.
        {"-t^2 + 3t - 2", -1, 3, -2, 2, 1, 2, 0},
        {"-4t^2 + 1", -4, 0, 1, 2, -0.5, 0.5, 0},
        {"linear: 2t - 4", 0, 2, -4, 1, 2, 2, 0},
        {"linear with -0 leading term", -0.0f, 4, 1, 1, -0.25, -0.25, 0},
        {"no t at all", 0, 0, 3, 0, 0, 0, 0},
        {"identically zero", 0, 0, 0, 0, 0, 0, 0},
        {"no real root", 1, 0, 1, 0, 0, 0, 0},
        // k / h and m / h are 1e30 and -1e30: their squares overflow in
        // float and lose the root at 1, but not in double.
        {"tiny leading term", 1e-30f, 1, -1, 2, -1e30, 1, 1e-6},
        {"NaN coefficient", std::nanf(""), 1, 1, 0, 0, 0, 0},
    };
    for (const ScaledCase& c : cases) {
        SCOPED_TRACE(c.name);
        float first = kUntouched, second = kUntouched;
        ASSERT_EQ(SolveScaledQuadratic(first, second, c.h, c.k, c.m), c.count);
        if (c.count == 0) {
            EXPECT_EQ(first, kUntouched);
            EXPECT_EQ(second, kUntouched);
            continue;
        }
        EXPECT_NEAR(first, c.first, c.tolerance * std::fabs(c.first));
        EXPECT_NEAR(second, c.second, c.tolerance * std::fabs(c.second));
        EXPECT_LE(first, second);
    }
}

} // namespace
