#include "app/solvers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Float coefficients carry a relative error near 6e-8; discriminants built
// from them are trusted to about this fraction of their terms' size.
constexpr double kRelativeTolerance = 1e-6;

struct CubicResult {
    int realCount;
    double real[3];
    double pairReal;      // with one real root: the complex pair
    double pairImaginary; // +- this
};

CubicResult Cubic(double a, double b, double c)
{
    CubicResult out{};
    const double shift = a / 3.0;
    const double h = a * a * a / 27.0 - a * b / 6.0 + c / 2.0; // half the depressed constant
    const double e = a * a / 9.0 - b / 3.0;                     // minus a third of the linear term
    const double h2 = h * h;
    const double e3 = e * e * e;
    double discriminant = h2 - e3;
    if (std::fabs(discriminant) <= kRelativeTolerance * (h2 + std::fabs(e3)))
        discriminant = 0.0;

    if (discriminant > 0.0) {
        const double root = std::sqrt(discriminant);
        // Pick the sign that adds magnitudes, so u is never a small difference.
        const double u = h < 0.0 ? std::cbrt(root - h) : -std::cbrt(h + root);
        const double v = u != 0.0 ? e / u : 0.0;
        out.realCount = 1;
        out.real[0] = u + v - shift;
        out.pairReal = -(u + v) / 2.0 - shift;
        out.pairImaginary = std::fabs(u - v) * (std::numbers::sqrt3 / 2.0);
        return out;
    }

    out.realCount = 3;
    if (e <= 0.0) { // triple root
        out.real[0] = out.real[1] = out.real[2] = -shift;
        return out;
    }
    const double s = std::sqrt(e);
    const double l = h / (s * s * s);
    if (discriminant == 0.0 || std::fabs(l) >= 1.0) {
        if (h < 0.0) {
            out.real[0] = out.real[1] = -s - shift;
            out.real[2] = 2.0 * s - shift;
        } else {
            out.real[0] = -2.0 * s - shift;
            out.real[1] = out.real[2] = s - shift;
        }
    } else {
        const double theta = std::acos(l) / 3.0;
        const double cs = std::cos(theta);
        const double sn = std::sin(theta);
        out.real[0] = -2.0 * s * cs - shift;
        out.real[1] = s * (cs + std::numbers::sqrt3 * sn) - shift;
        out.real[2] = s * (cs - std::numbers::sqrt3 * sn) - shift;
    }
    std::sort(out.real, out.real + 3);
    return out;
}

// Real roots of x^2 + p x + q (double root counted twice): 0 or 2.
int Quadratic(double p, double q, double roots[2])
{
    const double quarter = p * p / 4.0;
    double discriminant = quarter - q;
    if (std::fabs(discriminant) <= kRelativeTolerance * (quarter + std::fabs(q)))
        discriminant = 0.0;
    if (discriminant < 0.0)
        return 0;
    const double root = std::sqrt(discriminant);
    // Stable form: the larger root by adding magnitudes, the other from q.
    const double big = p > 0.0 ? -p / 2.0 - root : -p / 2.0 + root;
    roots[0] = big;
    roots[1] = big != 0.0 ? q / big : -p / 2.0;
    if (roots[0] > roots[1])
        std::swap(roots[0], roots[1]);
    return 2;
}

int Quartic(double a, double b, double c, double d, double roots[4])
{
    // Depressed form y^4 + p y^2 + q y + r with x = y - a/4.
    const double a2 = a * a;
    const double p = b - 3.0 * a2 / 8.0;
    const double q = c - a * b / 2.0 + a2 * a / 8.0;
    const double r = d - a * c / 4.0 + a2 * b / 16.0 - 3.0 * a2 * a2 / 256.0;
    const double shift = a / 4.0;
    // The size of y: every term is compared at that scale.
    const double size = std::max({std::sqrt(std::fabs(p)), std::sqrt(std::sqrt(std::fabs(r))), std::cbrt(std::fabs(q))});
    if (size == 0.0) {
        roots[0] = roots[1] = roots[2] = roots[3] = -shift;
        return 4;
    }

    int count = 0;
    if (std::fabs(q) <= kRelativeTolerance * size * size * size) {
        // Biquadratic: y^2 = z with z^2 + p z + r = 0.
        double z[2];
        if (Quadratic(p, r, z) == 2) {
            for (double zi : z) {
                if (zi > kRelativeTolerance * size * size) {
                    const double y = std::sqrt(zi);
                    roots[count++] = y - shift;
                    roots[count++] = -y - shift;
                } else if (zi >= -kRelativeTolerance * size * size) {
                    roots[count++] = -shift;
                    roots[count++] = -shift;
                }
            }
        }
    } else {
        // (y^2 + p/2 + m)^2 = 2m (y - q/(4m))^2 for m a root of the
        // resolvent m^3 + p m^2 + (p^2/4 - r) m - q^2/8; one m > 0 exists.
        const CubicResult resolvent = Cubic(p, p * p / 4.0 - r, -q * q / 8.0);
        double m = resolvent.real[0];
        for (int i = 1; i < resolvent.realCount; ++i)
            m = std::max(m, resolvent.real[i]);
        if (m <= 0.0)
            return 0;
        const double s = std::sqrt(2.0 * m);
        const double t = q / (2.0 * s);
        double y[2];
        if (Quadratic(-s, p / 2.0 + m + t, y) == 2) {
            roots[count++] = y[0] - shift;
            roots[count++] = y[1] - shift;
        }
        if (Quadratic(s, p / 2.0 + m - t, y) == 2) {
            roots[count++] = y[0] - shift;
            roots[count++] = y[1] - shift;
        }
    }
    std::sort(roots, roots + count);
    return count;
}

template <int N>
int Store(const double (&from)[N], int count, float* to)
{
    for (int i = 0; i < count; ++i)
        to[i] = static_cast<float>(from[i]);
    return count;
}

// True when `lead` is negligible beside the largest of `others`.
bool Vanishes(double lead, std::initializer_list<double> others)
{
    double largest = 0.0;
    for (double o : others)
        largest = std::max(largest, std::fabs(o));
    return lead == 0.0 || std::fabs(lead) <= 1e-12 * largest;
}

} // namespace

int SolveCubic(float roots[3], float a, float b, float c)
{
    const CubicResult r = Cubic(a, b, c);
    return Store(r.real, r.realCount, roots);
}

int SolveCubicReal(const float coefficients[3], float roots[3])
{
    return SolveCubic(roots, coefficients[0], coefficients[1], coefficients[2]);
}

int SolveCubicComplex(ComplexRoot roots[3], float a, float b, float c)
{
    const CubicResult r = Cubic(a, b, c);
    for (int i = 0; i < r.realCount; ++i)
        roots[i] = {static_cast<float>(r.real[i]), 0.0f};
    if (r.realCount == 1) {
        roots[1] = {static_cast<float>(r.pairReal), static_cast<float>(r.pairImaginary)};
        roots[2] = {static_cast<float>(r.pairReal), static_cast<float>(-r.pairImaginary)};
    }
    return r.realCount;
}

int SolveCubicComplexAlt(const float coefficients[3], ComplexRoot roots[3])
{
    return SolveCubicComplex(roots, coefficients[0], coefficients[1], coefficients[2]);
}

int SolveQuartic(float roots[4], float a, float b, float c, float d)
{
    double r[4];
    const int count = Quartic(a, b, c, d, r);
    return Store(r, count, roots);
}

int SolveQuadraticGeneral(float roots[2], float a2, float a1, float a0)
{
    if (Vanishes(a2, {a1, a0})) {
        if (a1 == 0.0f)
            return 0;
        roots[0] = static_cast<float>(-static_cast<double>(a0) / a1);
        return 1;
    }
    double r[2];
    const int count = Quadratic(static_cast<double>(a1) / a2, static_cast<double>(a0) / a2, r);
    return Store(r, count, roots);
}

int SolveCubicGeneral(float roots[3], float a3, float a2, float a1, float a0)
{
    if (Vanishes(a3, {a2, a1, a0}))
        return SolveQuadraticGeneral(roots, a2, a1, a0);
    const double inv = 1.0 / a3;
    const CubicResult r = Cubic(a2 * inv, a1 * inv, a0 * inv);
    return Store(r.real, r.realCount, roots);
}

int SolveQuarticGeneral(float roots[4], float a4, float a3, float a2, float a1, float a0)
{
    if (Vanishes(a4, {a3, a2, a1, a0}))
        return SolveCubicGeneral(roots, a3, a2, a1, a0);
    const double inv = 1.0 / a4;
    double r[4];
    const int count = Quartic(a3 * inv, a2 * inv, a1 * inv, a0 * inv, r);
    return Store(r, count, roots);
}
