#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/gfx_lighting.h"

namespace {

float Attenuation(const gfx::FixedFunctionLight& f, float d)
{
    return f.constant + f.linear * d + f.quadratic * d * d;
}

TEST(LightRange, RangeDimsTheLightAtItsEdgeAndKeepsTermsThatAlreadyDo)
{
    struct Case {
        float a0, a1, a2, range;
        bool keepsTerms;
    };
    const Case cases[] = {
        {0.96f, 0.2f / 10, 6.0f / 100, 10, true},  // the engine's point light of range 10
        {1, 0, 0, 10, false},                      // no fall-off of its own
        {0, 0, 0, 5, false},                       // no terms at all: constant 1
        {1, 0.5f, 0, 100, false},
    };
    for (const Case& c : cases) {
        gfx::Light l;
        l.type = gfx::LightType::Point;
        l.attenuation0 = c.a0;
        l.attenuation1 = c.a1;
        l.attenuation2 = c.a2;
        l.range = c.range;
        const gfx::FixedFunctionLight f = gfx::ApproximateLight(l);
        EXPECT_GE(Attenuation(f, c.range), 7.0f - 1e-4f) << c.range;
        if (c.keepsTerms) {
            EXPECT_FLOAT_EQ(f.quadratic, c.a2);
        }
        // Nothing changes close to the light.
        EXPECT_NEAR(Attenuation(f, 0), c.a0 == 0 && c.a1 == 0 && c.a2 == 0 ? 1.0f : c.a0, 1e-6f);
    }
}

TEST(LightRange, BadRangesAndConesGiveFiniteTerms)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float range : {0.0f, -3.0f, nan, inf})
        for (float cone : {0.0f, -1.0f, nan, 10.0f}) {
            gfx::Light l;
            l.type = gfx::LightType::Spot;
            l.attenuation0 = 1;
            l.range = range;
            l.theta = cone;
            l.phi = cone;
            const gfx::FixedFunctionLight f = gfx::ApproximateLight(l);
            EXPECT_TRUE(std::isfinite(f.quadratic) && std::isfinite(f.spotExponent) && std::isfinite(f.spotCutoffDegrees));
            EXPECT_LE(f.spotCutoffDegrees, 90.0f);
            EXPECT_GE(f.spotExponent, 0.0f);
            EXPECT_LE(f.spotExponent, 128.0f);
        }
}

TEST(LightRange, SpotFallsToHalfBetweenItsCones)
{
    struct Case {
        float theta, phi;
    };
    const Case cases[] = {{0.4f, 0.8f}, {0.6f, 1.2f}, {1.0f, 2.0f}, {0.0f, 1.0f}};
    for (const Case& c : cases) {
        gfx::Light l;
        l.type = gfx::LightType::Spot;
        l.theta = c.theta;
        l.phi = c.phi;
        const gfx::FixedFunctionLight f = gfx::ApproximateLight(l);
        EXPECT_NEAR(f.spotCutoffDegrees, c.phi * 0.5f * 57.29578f, 1e-3f);
        const float mid = (c.theta + c.phi) / 4;
        EXPECT_NEAR(std::pow(std::cos(mid), f.spotExponent), 0.5f, 1e-3f) << c.theta;
        // Inside the inner cone the light stays above half.
        EXPECT_GT(std::pow(std::cos(c.theta / 2), f.spotExponent), 0.5f);
    }
}

} // namespace
