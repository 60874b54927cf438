// How a Direct3D light's range and inner spot cone are carried over to the
// fixed-function lights of OpenGL, which have neither. The device's lighting
// set-up takes its GL light terms from here.
#pragma once

#include "platform/gfx.h"

namespace gfx {

struct FixedFunctionLight {
    float constant = 1.0f, linear = 0.0f, quadratic = 0.0f;
    float spotCutoffDegrees = 180.0f;  // 180: no cone
    float spotExponent = 0.0f;
};

// The light's attenuation is kept inside its range. GL cannot cut a light
// off at a distance, so the quadratic term is raised, when needed, until the
// light is dimmed to a seventh at the range (the engine's own point lights
// already are, and keep their terms): beyond it the light fades out
// within a short distance instead of reaching across the level.
// Spot lights: GL's cone edge is the outer cone (phi / 2); Direct3D keeps
// full light inside the inner cone (theta / 2) and fades to nothing at the
// outer one, where GL fades as cos^e from the axis. The exponent is chosen
// so GL's light is at half strength midway between the two cone edges,
// which puts its fall-off where Direct3D's is (within GL's limit of 128).
FixedFunctionLight ApproximateLight(const Light& light);

} // namespace gfx
