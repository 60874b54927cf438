// Closed-form polynomial solvers for the swept collision queries (crossing
// times of segments, spheres and parabolic paths). Roots are counted with
// their multiplicity and given in ascending order; work is done in double
// precision, and a discriminant within rounding of zero counts as a double
// root, so a grazing contact is not lost to float noise.
#pragma once

struct ComplexRoot {
    float real;
    float imaginary;
};

// Real roots of x^3 + a x^2 + b x + c: 1 or 3.
int SolveCubic(float roots[3], float a, float b, float c);
// The same with coefficients {a, b, c}.
int SolveCubicReal(const float coefficients[3], float roots[3]);

// All three roots of x^3 + a x^2 + b x + c as (real, imaginary) pairs; the
// real ones first, in ascending order. Returns the number of real roots.
int SolveCubicComplex(ComplexRoot roots[3], float a, float b, float c);
int SolveCubicComplexAlt(const float coefficients[3], ComplexRoot roots[3]);

// Real roots of x^4 + a x^3 + b x^2 + c x + d through the resolvent cubic:
// 0, 2 or 4.
int SolveQuartic(float roots[4], float a, float b, float c, float d);

// General forms, coefficients from the highest power down. A leading
// coefficient that is zero (or vanishes beside the others) drops the
// degree instead of dividing by it: a quartic becomes a cubic, a quadratic a
// linear equation (one root, or none when that too degenerates).
int SolveQuadraticGeneral(float roots[2], float a2, float a1, float a0);
int SolveCubicGeneral(float roots[3], float a3, float a2, float a1, float a0);
int SolveQuarticGeneral(float roots[4], float a4, float a3, float a2, float a1, float a0);
