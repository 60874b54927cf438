// Lookup tables that replace sin, cos, acos, sqrt, 1/sqrt, 1/x and cube roots
// in inner loops: angles are integers of 4096 steps per turn indexing the
// sine table; root functions combine an exponent worked out with integer
// arithmetic with a table mantissa (about 10 bits of precision).
#pragma once

#include <bit>
#include <cstdint>

inline constexpr int32_t kAngleSteps = 4096; // one turn
inline constexpr int32_t kAngleMask = 0xFFF;
inline constexpr float kGravity = 9.81f;     // metres per second squared

struct MathTables {
    // sin(i x 2 pi / 4096) for i < 4096 (the second half the sign-flipped
    // first), then the first 1024 again so cosine(i) = sine[i + 1024].
    float sine[kAngleSteps + kAngleSteps / 4];
    // acos(a) x 2048 / pi (the angle in steps) for a = -1 .. 1 by 1/2048.
    float arcCosine[4097];
    // Mantissa words indexed by float bits 14..23 (lowest exponent bit and
    // top nine mantissa bits); added to an exponent they may carry into it.
    uint32_t invSqrt[1024];
    uint32_t sqrt[1024];
    // Indexed by the top ten mantissa bits (float bits 13..22).
    uint32_t reciprocal[1024];
    // Biased result exponent for each biased input exponent, and the
    // mantissas of x^(1/3) for x from 1 to 8 in mantissa steps of 2^-9.
    uint32_t cubeRootExponent[256];
    uint32_t cubeRoot[1536];

    // Fills the global tables; runs among the static initialisers and may be
    // called again (static initialisers of other files that need the tables
    // before that call it first).
    // Also resets the three colour/light records below to white (1.0).
    static void Build();
    static const MathTables& Get();
};

struct Colour;
// The colour/light records lights and materials start from: white, with the
// float form valid, after every Build. Index 0 .. kColourRecords - 1.
inline constexpr int kColourRecords = 3;
Colour& ColourRecord(int index);

extern MathTables g_mathTables;
// The cosine view of the sine table: g_cosine[i] = cos(i steps), i < 4096.
extern const float* const g_cosine;

inline float SineOf(int32_t angle)
{
    return g_mathTables.sine[angle & kAngleMask];
}

inline float CosineOf(int32_t angle)
{
    return g_mathTables.sine[(angle & kAngleMask) + kAngleSteps / 4];
}

// The angle in steps (0 .. 2048) whose cosine is `a`; `a` is clamped to
// [-1, 1] first, so a dot product of unit vectors that rounding pushed just
// past 1 still reads the table inside its bounds. NaN reads as 0.
float ArcCosineSteps(float a);

// Table square root and reciprocals of a positive, normal float. FastSqrt(0)
// is 0; other non-positive inputs give 0 as well, rather than a value built
// from a meaningless exponent.
inline float FastSqrt(float x)
{
    if (!(x > 0.0f))
        return 0.0f;
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const uint32_t exponent = (((bits & 0x7F800000u) + 0x3F800000u) >> 1) & 0x7F800000u;
    return std::bit_cast<float>(exponent | g_mathTables.sqrt[(bits >> 14) & 0x3FF]);
}

inline float FastInvSqrt(float x)
{
    if (!(x > 0.0f))
        return 0.0f;
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const uint32_t exponent = ((0xBE000000u - (bits & 0x7F800000u)) >> 1) & 0x7F800000u;
    return std::bit_cast<float>(exponent + g_mathTables.invSqrt[(bits >> 14) & 0x3FF]);
}

// Keeps the sign of x. 0 gives 0.
inline float FastReciprocal(float x)
{
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    if ((bits & 0x7FFFFFFFu) == 0)
        return 0.0f;
    const uint32_t base = ((0xFE800000u - (bits & 0x7F800000u)) & 0x7F800000u) | (bits & 0x80000000u);
    return std::bit_cast<float>(base + g_mathTables.reciprocal[(bits >> 13) & 0x3FF]);
}

// Keeps the sign of x. 0 gives 0.
inline float FastCubeRoot(float x)
{
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    if ((bits & 0x7FFFFFFFu) == 0)
        return 0.0f;
    const uint32_t e = (bits >> 23) & 0xFF;
    const uint32_t index = (((e + 254) % 3) << 9) | ((bits >> 14) & 0x1FF);
    return std::bit_cast<float>(g_mathTables.cubeRootExponent[e] | g_mathTables.cubeRoot[index] |
                                (bits & 0x80000000u));
}
