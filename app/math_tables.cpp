#include "app/math_tables.h"

#include "app/int_math.h"
#include "app/maths.h"

#include <algorithm>
#include <cmath>
#include <numbers>

MathTables g_mathTables;
const float* const g_cosine = g_mathTables.sine + kAngleSteps / 4;

namespace {

// Table word for a value v in [1, 2]: its float bits above those of 1.0, so
// that 2.0 becomes 0x800000 and carries into the exponent it is added to.
uint32_t CarryMantissa(double v)
{
    return std::bit_cast<uint32_t>(static_cast<float>(v)) - 0x3F800000u;
}

// The 23 mantissa bits of a value in [1, 2).
uint32_t Mantissa(double v)
{
    return std::bit_cast<uint32_t>(static_cast<float>(v)) & 0x7FFFFFu;
}

Colour g_colourRecords[kColourRecords];

const bool g_built = (MathTables::Build(), true);

} // namespace

void MathTables::Build()
{
    MathTables& t = g_mathTables;
    constexpr double kStep = 2.0 * std::numbers::pi / kAngleSteps;
    for (int i = 0; i < kAngleSteps / 2; ++i) {
        t.sine[i] = static_cast<float>(std::sin(i * kStep));
        t.sine[i + kAngleSteps / 2] = -t.sine[i];
    }
    for (int i = 0; i < kAngleSteps / 4; ++i)
        t.sine[kAngleSteps + i] = t.sine[i];

    for (int i = 0; i <= 4096; ++i) {
        const double a = std::clamp((i - 2048) / 2048.0, -1.0, 1.0);
        t.arcCosine[i] = static_cast<float>(std::acos(a) * 2048.0 / std::numbers::pi);
    }

    for (uint32_t i = 0; i < 1024; ++i) {
        const bool oddExponent = (i >> 9) != 0;
        const double m = 1.0 + (i & 0x1FF) / 512.0;
        // Odd biased exponent: x = 2^(2k) x 1.m. Even: x = 2^(2k+1) x 1.m,
        // so the root takes the extra factor of 2 into its table word.
        const double scaled = oddExponent ? m : 2.0 * m;
        t.sqrt[i] = Mantissa(std::sqrt(scaled));
        t.invSqrt[i] = CarryMantissa(2.0 / std::sqrt(scaled));
        t.reciprocal[i] = CarryMantissa(2.0 / (1.0 + i / 1024.0));
    }

    for (uint32_t e = 0; e < 256; ++e)
        t.cubeRootExponent[e] = ((e + 254) / 3) << 23;
    for (uint32_t i = 0; i < 1536; ++i) {
        const double x = std::ldexp(1.0 + (i & 0x1FF) / 512.0, static_cast<int>(i >> 9));
        t.cubeRoot[i] = Mantissa(std::cbrt(x));
    }
    for (Colour& c : g_colourRecords)
        c.Set(1.0f, 1.0f, 1.0f, 1.0f);
}

Colour& ColourRecord(int index)
{
    return g_colourRecords[std::clamp(index, 0, kColourRecords - 1)];
}

const MathTables& MathTables::Get()
{
    return g_mathTables;
}

float ArcCosineSteps(float a)
{
    if (!(a == a))
        a = 0.0f;
    a = std::clamp(a, -1.0f, 1.0f);
    return g_mathTables.arcCosine[FloorToInt(a * 2048.0 + 0.5) + 2048];
}
