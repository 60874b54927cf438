// The exact quadratic solver behind every swept collision test: crossing
// times of segments, discs, spheres and thrown paths. Single precision, in
// the cancellation-free form, so a root near zero keeps its digits.
#pragma once

// Real roots of t^2 + b t + c = 0: returns 2 with first <= second (a double
// root given twice), or 0 with both outputs untouched when there is no real
// root or an input is NaN.
int SolveQuadratic(float& first, float& second, float b, float c);

// Real roots of h t^2 + k t + m = 0, smaller first. The equation is divided
// through by h in double precision, so a small but non-zero h cannot
// overflow the monic coefficients. With h exactly 0 the equation is linear:
// returns 1 with its root in both outputs, or 0 when k is 0 as well.
// Outputs are untouched when 0 is returned.
int SolveScaledQuadratic(float& first, float& second, float h, float k, float m);
