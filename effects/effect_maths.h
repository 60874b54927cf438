// The arithmetic of the effect rules, apart from the records and the device
// so it can be checked alone: colours, radii, turns, liquid heights and
// ripples, bolt offsets and fence orientations.
#pragma once

#include <cstdint>

#include "app/maths.h"

namespace EffectMaths {

// Channel-wise a x (1 - f) + b x f, alpha included.
Colour Blend(const Colour& a, const Colour& b, float f);

// Red at shield 0 to green at 200; values outside are clamped.
Colour ShieldColour(float shield);

// The shield shell's alpha: it fades out over its span, and no more than
// the unit shows through the fog (0 in plain view, 254 wholly fogged).
float ShellAlpha(uint32_t fogValue, float f);

// The ring's radius at fraction f of its cycle; `restart` when it passed the
// maximum (the radius is then the minimum). A minimum above the maximum is
// taken as equal to it.
float RingRadius(float minimum, float maximum, float f, bool& restart);

// The basin's per-frame turn in 4096ths of a turn: f x 0.5 rounded down.
int32_t BasinTurnSteps(float f);

// The drawn height of a liquid moving one metre a second towards `target`
// with `remaining` seconds to go, from `current`.
float LiquidHeight(float current, float target, float remaining);

// Sine table lookup of an angle in 4096ths of a turn, reduced first so that
// a huge or negative angle still reads inside the table; non-finite reads 0.
float TableSine(double angle);

// The ripple's multipliers and phase offsets for one vertex.
struct RippleTerm {
    int32_t m, offU, m2, offV;
};
// Walks the pattern over the vertex order of a grid with `columns` vertices
// a row.
class RipplePattern {
public:
    explicit RipplePattern(int32_t columns) : columns_(columns) {}
    RippleTerm Next();

private:
    int32_t columns_;
    int32_t counter_ = 0;
    bool row_ = false, alternate_ = false;
};

struct RippleResult {
    float u, v, height;
};
// One vertex at grid position (x, y): texture wobble, and with a height above
// 0 a travelling wave along `direction`.
RippleResult Ripple(float x, float y, double phase, const RippleTerm& term, float height, const Vec3& direction,
                    bool clear);

// The ripple phase at t (seconds x 3) for a scroll speed, reduced to one turn.
double RipplePhase(double t, float speed);

// A unit vector at right angles to both; when they are parallel (or one is
// zero) any unit vector at right angles to `a` (or the x axis for a zero `a`).
Vec3 Perpendicular(const Vec3& a, const Vec3& b);

// Whether two points lie within squared distance 1/256.
bool Near(const Vec3& a, const Vec3& b);

// The orientation that turns the strip's length axis (x) to point from start
// to end: minus the heading about the vertical, then the slope about the
// strip's cross axis, both through the sine table.
Quaternion FenceOrientation(const Vec3& start, const Vec3& end);

// Whether every coordinate is finite.
bool Finite(const Vec3& v);

// Fog alpha of the particle presets and the debris smoke: 0.3 x (254 - v),
// kept within 0..1.
float FogAlpha(uint32_t fogValue);
// The same scaled over the fog range: 0.3 x (254 - v) / 254.
float FogAlphaScaled(uint32_t fogValue);

} // namespace EffectMaths
