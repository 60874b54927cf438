#include "platform/gfx_lighting.h"

#include <algorithm>
#include <cmath>

namespace gfx {

namespace {
constexpr float kDimAtRange = 7.0f;
constexpr float kRadiansToDegrees = 57.2957795f;
} // namespace

FixedFunctionLight ApproximateLight(const Light& light)
{
    FixedFunctionLight f;
    if (light.type == LightType::Directional)
        return f;
    const bool none = light.attenuation0 == 0 && light.attenuation1 == 0 && light.attenuation2 == 0;
    f.constant = none ? 1.0f : std::max(light.attenuation0, 0.0f);
    f.linear = std::max(light.attenuation1, 0.0f);
    f.quadratic = std::max(light.attenuation2, 0.0f);
    const float r = light.range;
    if (std::isfinite(r) && r > 0.0f) {
        const float atRange = f.constant + f.linear * r + f.quadratic * r * r;
        if (atRange < kDimAtRange)
            f.quadratic += (kDimAtRange - atRange) / (r * r);
    }
    if (light.type == LightType::Spot) {
        const float outer = std::clamp(std::isfinite(light.phi) ? light.phi * 0.5f : 0.0f, 0.0f, 1.5707964f);
        const float inner = std::clamp(std::isfinite(light.theta) ? light.theta * 0.5f : 0.0f, 0.0f, outer);
        f.spotCutoffDegrees = outer * kRadiansToDegrees;
        const float mid = 0.5f * (inner + outer);
        const float c = std::cos(mid);
        f.spotExponent = (c > 0.0f && c < 1.0f) ? std::clamp(std::log(0.5f) / std::log(c), 0.0f, 128.0f) : 0.0f;
    }
    return f;
}

} // namespace gfx
