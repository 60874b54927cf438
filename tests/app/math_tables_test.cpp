#include "app/math_tables.h"
#include "app/maths.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double kStep = 2.0 * std::numbers::pi / 4096.0;

TEST(MathTables, SineAndCosineAtEveryStep)
{
    for (int i = 0; i < 4096; ++i) {
        EXPECT_NEAR(SineOf(i), std::sin(i * kStep), 1e-7) << i;
        EXPECT_NEAR(CosineOf(i), std::cos(i * kStep), 1e-7) << i;
        EXPECT_EQ(g_cosine[i], CosineOf(i));
    }
    EXPECT_EQ(CosineOf(0), 1.0f);
    EXPECT_EQ(g_mathTables.sine[1024], 1.0f);
    EXPECT_TRUE(std::signbit(g_mathTables.sine[2048])) << "the second half is the sign-flipped first";
    EXPECT_EQ(SineOf(-1024), -1.0f) << "negative angles wrap through the mask";
    EXPECT_EQ(SineOf(4096 + 512), SineOf(512));
}

TEST(MathTables, SineOfAnyAngleWithinOneStep)
{
    // An angle rounded to the nearest step is off by at most half a step.
    std::mt19937 random(1);
    std::uniform_real_distribution<double> turn(-10.0, 10.0);
    for (int i = 0; i < 2000; ++i) {
        const double radians = turn(random);
        const auto steps = static_cast<int32_t>(std::lround(radians / kStep));
        EXPECT_NEAR(SineOf(steps), std::sin(radians), kStep / 2 + 1e-6) << radians;
    }
}

TEST(MathTables, ArcCosineWithinItsStepError)
{
    const float values[] = {-1.0f, -0.99999f, -0.7071f, -0.5f, -0.1234f, 0.0f, 0.001f, 0.3f, 0.5f, 0.866f,
                            0.9f, 0.9995f, 1.0f};
    for (float a : values) {
        // The table holds acos at multiples of 1/2048; the error is at most the
        // change of acos over half a table step around a.
        const double lo = std::max(-1.0, a - 0.5 / 2048);
        const double hi = std::min(1.0, a + 0.5 / 2048);
        const double bound = (std::acos(lo) - std::acos(hi)) * 2048 / std::numbers::pi + 1e-3;
        const double exact = std::acos(static_cast<double>(a)) * 2048 / std::numbers::pi;
        EXPECT_NEAR(ArcCosineSteps(a), exact, bound) << a;
    }
    EXPECT_EQ(ArcCosineSteps(1.0f), 0.0f);
    EXPECT_EQ(ArcCosineSteps(-1.0f), 2048.0f);
    EXPECT_EQ(ArcCosineSteps(0.0f), 1024.0f);
}

TEST(MathTables, ArcCosineClampsValuesJustOutsideItsRange)
{
    // A dot product of unit vectors often lands a little beyond +-1.
    EXPECT_EQ(ArcCosineSteps(1.0000001f), 0.0f);
    EXPECT_EQ(ArcCosineSteps(1.5f), 0.0f);
    EXPECT_EQ(ArcCosineSteps(-1.0003f), 2048.0f);
    EXPECT_EQ(ArcCosineSteps(NAN), 1024.0f);
}

struct RootCase {
    const char* name;
    float (*fast)(float);
    double (*exact)(double);
    double relativeError;
};

double Sqrt(double x) { return std::sqrt(x); }
double InvSqrt(double x) { return 1.0 / std::sqrt(x); }
double Reciprocal(double x) { return 1.0 / x; }
double CubeRoot(double x) { return std::cbrt(x); }

TEST(MathTables, RootsAndReciprocalsWithinTheirTableStep)
{
    // Nine mantissa bits index the square-root tables (error below 2^-10
    // after the root halves it), ten the reciprocal, nine the cube root.
    const RootCase cases[] = {
        {"sqrt", &FastSqrt, &Sqrt, 1.0 / 1024},
        {"inverse sqrt", &FastInvSqrt, &InvSqrt, 1.0 / 1024},
        {"reciprocal", &FastReciprocal, &Reciprocal, 1.0 / 1024},
        {"cube root", &FastCubeRoot, &CubeRoot, 1.0 / 1536},
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-30.0, 30.0);
    for (const RootCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (float x : {1.0f, 2.0f, 4.0f, 0.5f, 0.25f, 3.0f, 1.9999f, 8.0f, 1e-20f, 1e20f}) {
            const double exact = c.exact(x);
            EXPECT_NEAR(c.fast(x), exact, exact * c.relativeError) << x;
        }
        for (int i = 0; i < 3000; ++i) {
            const auto x = static_cast<float>(std::exp2(exponent(random)));
            const double exact = c.exact(x);
            ASSERT_NEAR(c.fast(x), exact, exact * c.relativeError) << x;
        }
    }
}

TEST(MathTables, ExactPowersAndSigns)
{
    EXPECT_EQ(FastSqrt(4.0f), 2.0f);
    EXPECT_EQ(FastSqrt(0.0f), 0.0f);
    EXPECT_EQ(FastSqrt(-4.0f), 0.0f);
    EXPECT_EQ(FastInvSqrt(1.0f), 1.0f);
    EXPECT_EQ(FastInvSqrt(4.0f), 0.5f);
    EXPECT_EQ(FastReciprocal(1.0f), 1.0f);
    EXPECT_EQ(FastReciprocal(-2.0f), -0.5f);
    EXPECT_EQ(FastReciprocal(0.0f), 0.0f);
    EXPECT_EQ(FastCubeRoot(8.0f), 2.0f);
    EXPECT_EQ(FastCubeRoot(-27.0f), -3.0f);
    EXPECT_EQ(FastCubeRoot(0.125f), 0.5f);
}

TEST(MathTables, BuildResetsTheColourRecordsToWhite)
{
    for (int i = 0; i < kColourRecords; ++i)
        ColourRecord(i).Set(0.25f, 0.5f, 0.0f, 0.1f);
    MathTables::Build();
    for (int i = 0; i < kColourRecords; ++i) {
        SCOPED_TRACE(i);
        const Colour& c = ColourRecord(i);
        EXPECT_EQ(c.red, 1.0f);
        EXPECT_EQ(c.green, 1.0f);
        EXPECT_EQ(c.blue, 1.0f);
        EXPECT_EQ(c.alpha, 1.0f);
        EXPECT_TRUE(c.flags & Colour::kFloatValid);
    }
}

} // namespace
