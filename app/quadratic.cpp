#include "app/quadratic.h"

#include <cmath>

namespace {

// One root from the sum of magnitudes, the other from the product of the
// roots (c): no subtraction of nearly equal values, and q is never 0 when
// b is not.
template <typename T>
int SolveMonic(T& first, T& second, T b, T c)
{
    const T discriminant = b * b - 4 * c;
    if (!(discriminant >= 0)) // also refuses NaN
        return 0;
    const T s = std::sqrt(discriminant);
    if (b > 0) {
        const T q = -(s + b) / 2;
        first = q;
        second = c / q;
    } else if (b < 0) {
        const T q = (s - b) / 2;
        first = c / q;
        second = q;
    } else {
        second = s / 2;
        first = -second;
    }
    return 2;
}

} // namespace

int SolveQuadratic(float& first, float& second, float b, float c)
{
    return SolveMonic(first, second, b, c);
}

int SolveScaledQuadratic(float& first, float& second, float h, float k, float m)
{
    if (!std::isfinite(h) || !std::isfinite(k) || !std::isfinite(m))
        return 0;
    if (h == 0.0f) {
        if (k == 0.0f)
            return 0; // no crossing, or (m = 0) no single crossing time
        first = second = -m / k;
        return 1;
    }
    double r0 = 0, r1 = 0;
    if (SolveMonic(r0, r1, static_cast<double>(k) / h, static_cast<double>(m) / h) == 0)
        return 0;
    first = static_cast<float>(r0);
    second = static_cast<float>(r1);
    return 2;
}
