#include "effects/effect_maths.h"

#include <algorithm>
#include <cmath>

#include "app/math_tables.h"

namespace EffectMaths {

Colour Blend(const Colour& a, const Colour& b, float f)
{
    Colour out;
    const float g = 1.0f - f;
    out.Set(a.red * g + b.red * f, a.green * g + b.green * f, a.blue * g + b.blue * f, a.alpha * g + b.alpha * f);
    return out;
}

Colour ShieldColour(float shield)
{
    const float s = std::isfinite(shield) ? std::clamp(shield, 0.0f, 200.0f) : 0.0f;
    Colour out;
    out.Set(1.0f - 0.005f * s, 0.005f * s, 0.0f, 1.0f);
    return out;
}

float ShellAlpha(uint32_t fogValue, float f)
{
    const float shown = 1.0f - float(std::min<uint32_t>(fogValue, 254)) / 254.0f;
    return std::clamp(std::min(shown, 1.0f - f), 0.0f, 1.0f);
}

float RingRadius(float minimum, float maximum, float f, bool& restart)
{
    if (minimum > maximum)
        minimum = maximum;
    const float r = f * (maximum - minimum) + minimum;
    restart = r > maximum;
    return restart ? minimum : r;
}

int32_t BasinTurnSteps(float f)
{
    if (!std::isfinite(f) || f <= 0.0f)
        return 0;
    return int32_t(std::floor(std::min(f, 1e6f) * 0.5f));
}

float LiquidHeight(float current, float target, float remaining)
{
    // y grows downwards: an instance below the target (larger y) rises.
    return current > target ? target + remaining : target - remaining;
}

float TableSine(double angle)
{
    if (!std::isfinite(angle))
        return 0.0f;
    const double reduced = std::fmod(angle, double(kAngleSteps));
    return SineOf(int32_t(std::floor(reduced)));
}

RippleTerm RipplePattern::Next()
{
    bool a;
    if (++counter_ > columns_) {
        counter_ = 0;
        row_ = !row_;
        a = true;
    } else {
        a = !alternate_;
    }
    alternate_ = a;
    if (!row_)
        return a ? RippleTerm{2, 0, 1, 3072} : RippleTerm{1, 3072, 2, 2048};
    return a ? RippleTerm{1, 1024, 2, 0} : RippleTerm{2, 2048, 1, 1024};
}

RippleResult Ripple(float x, float y, double phase, const RippleTerm& t, float height, const Vec3& direction,
                    bool clear)
{
    const double wobbleU = TableSine(t.m * phase + t.offU);
    const double wobbleV = TableSine(t.m2 * phase + t.offV);
    if (!(height > 0.0f))
        return {float(x + 0.003 * wobbleU), float(y + 0.003 * wobbleV), 0.0f};
    const double a = double(direction.x) * 4096.0 * x + double(direction.y) * 4096.0 * y + phase;
    const double k = clear ? 0.006 : 0.001;
    return {float(x + k * wobbleU + 0.02 * TableSine(0.15 * a)), float(y + k * wobbleV + 0.02 * TableSine(0.125 * a)),
            float(TableSine(a) * height * 0.15)};
}

double RipplePhase(double t, float speed)
{
    const double phase = t * double(speed) * 100000.0;
    return std::isfinite(phase) ? std::fmod(phase, double(kAngleSteps)) : 0.0;
}

Vec3 Perpendicular(const Vec3& a, const Vec3& b)
{
    const Vec3 c = a.Cross(b);
    if (c.LengthSquared() > 1e-12f)
        return c.Normalised();
    if (a.LengthSquared() <= 1e-12f)
        return {1, 0, 0};
    // Cross with the axis least along `a`.
    const Vec3 axis = std::fabs(a.x) < std::fabs(a.y) ? (std::fabs(a.x) < std::fabs(a.z) ? Vec3{1, 0, 0} : Vec3{0, 0, 1})
                                                      : (std::fabs(a.y) < std::fabs(a.z) ? Vec3{0, 1, 0} : Vec3{0, 0, 1});
    return a.Cross(axis).Normalised();
}

bool Near(const Vec3& a, const Vec3& b) { return (a - b).LengthSquared() < 1.0f / 256.0f; }

Quaternion FenceOrientation(const Vec3& start, const Vec3& end)
{
    const Vec3 d = end - start;
    const float horizontal = std::sqrt(d.x * d.x + d.z * d.z);
    constexpr float kStepsPerRadian = 651.8986f;
    const int32_t heading = int32_t(std::floor(std::atan2(d.z, d.x) * kStepsPerRadian));
    const int32_t slope = int32_t(std::floor(std::atan2(d.y, horizontal) * kStepsPerRadian));
    const Quaternion turn{0, SineOf(-heading / 2), 0, CosineOf(-heading / 2)};
    const Quaternion tilt{0, 0, SineOf(slope / 2), CosineOf(slope / 2)};
    return turn * tilt;
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float FogAlpha(uint32_t fogValue)
{
    const float v = float(std::min<uint32_t>(fogValue, 254));
    return std::clamp(0.3f * (254.0f - v), 0.0f, 1.0f);
}

float FogAlphaScaled(uint32_t fogValue)
{
    const float v = float(std::min<uint32_t>(fogValue, 254));
    return 0.3f * (254.0f - v) / 254.0f;
}

} // namespace EffectMaths
