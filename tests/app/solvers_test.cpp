#include "app/solvers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Polynomials given by their real roots (with multiplicity) and, for the
// rest, an irreducible quadratic factor x^2 + px + q (q > p^2/4).
struct PolynomialCase {
    const char* name;
    std::vector<double> roots;
    bool complexPair;
    double p, q;
};

std::vector<double> Expand(const PolynomialCase& c)
{
    std::vector<double> coefficients = {1.0}; // highest power first
    auto multiply = [&](std::vector<double> factor) {
        std::vector<double> out(coefficients.size() + factor.size() - 1, 0.0);
        for (size_t i = 0; i < coefficients.size(); ++i)
            for (size_t j = 0; j < factor.size(); ++j)
                out[i + j] += coefficients[i] * factor[j];
        coefficients = out;
    };
    for (double r : c.roots)
        multiply({1.0, -r});
    if (c.complexPair)
        multiply({1.0, c.p, c.q});
    return coefficients;
}

void ExpectRoots(const float* got, int count, std::vector<double> expected, double tolerance)
{
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    std::sort(expected.begin(), expected.end());
    for (int i = 0; i < count; ++i)
        EXPECT_NEAR(got[i], expected[static_cast<size_t>(i)], tolerance) << "root " << i;
    EXPECT_TRUE(std::is_sorted(got, got + count));
}

TEST(Solvers, CubicsWithKnownRoots)
{
    const PolynomialCase cases[] = {
        {"three distinct", {-2, 0.5, 3}, false, 0, 0},
        {"triple root", {1, 1, 1}, false, 0, 0},
        {"double root below", {-1, -1, 2}, false, 0, 0},
        {"double root above", {-3, 0.25, 0.25}, false, 0, 0},
        {"root at zero", {0, 4, -4}, false, 0, 0},
        {"one real root", {1.5}, true, 1.0, 2.0},
        {"one real root, symmetric pair", {-7}, true, 0.0, 9.0},
        {"close roots", {1.0, 1.01, 5}, false, 0, 0},
        {"large spread", {-100, 0.01, 40}, false, 0, 0},
    };
    for (const PolynomialCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> k = Expand(c);
        float roots[3];
        const int count = SolveCubic(roots, static_cast<float>(k[1]), static_cast<float>(k[2]), static_cast<float>(k[3]));
        const double scale = std::max(1.0, std::fabs(c.roots.back()));
        ExpectRoots(roots, count, c.roots, 2e-3 * scale);

        const float coefficients[3] = {static_cast<float>(k[1]), static_cast<float>(k[2]), static_cast<float>(k[3])};
        float again[3];
        EXPECT_EQ(SolveCubicReal(coefficients, again), count);

        ComplexRoot complex[3];
        ASSERT_EQ(SolveCubicComplex(complex, coefficients[0], coefficients[1], coefficients[2]), count);
        if (c.complexPair) {
            EXPECT_NEAR(complex[1].real, -c.p / 2, 1e-3);
            EXPECT_NEAR(std::fabs(complex[1].imaginary), std::sqrt(c.q - c.p * c.p / 4), 1e-3);
            EXPECT_FLOAT_EQ(complex[1].imaginary, -complex[2].imaginary);
        }
    }
}

TEST(Solvers, QuarticsWithKnownRoots)
{
    const PolynomialCase cases[] = {
        {"four distinct", {-3, -1, 0.5, 2}, false, 0, 0},
        {"two double roots", {-2, -2, 1, 1}, false, 0, 0},
        {"quadruple root", {0.5, 0.5, 0.5, 0.5}, false, 0, 0},
        {"biquadratic", {-2, -1, 1, 2}, false, 0, 0},
        {"double root at zero", {0, 0, 1, 3}, false, 0, 0},
        {"two real, a complex pair", {-1, 4}, true, 2.0, 5.0},
        {"double real, a complex pair", {1.5, 1.5}, true, 0.0, 1.0},
        {"no real roots", {}, true, 0.0, 1.0},
    };
    for (const PolynomialCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> k = Expand(c);
        if (c.roots.empty()) {
            PolynomialCase pair = c; // (x^2 + 1)(x^2 + 2x + 3)
            k = Expand(pair);
            std::vector<double> product(5, 0.0);
            const double other[3] = {1, 2, 3};
            for (size_t i = 0; i < 3; ++i)
                for (size_t j = 0; j < 3; ++j)
                    product[i + j] += k[i] * other[j];
            k = product;
        }
        float roots[4];
        const int count = SolveQuartic(roots, static_cast<float>(k[1]), static_cast<float>(k[2]),
                                       static_cast<float>(k[3]), static_cast<float>(k[4]));
        ExpectRoots(roots, count, c.roots, 3e-3);
    }
}

TEST(Solvers, DegenerateLeadingTermsDropTheDegree)
{
    struct Case {
        const char* name;
        float a4, a3, a2, a1, a0;
        std::vector<double> roots;
    };
    const Case cases[] = {
        {"quartic that is a cubic", 0, 2, -2, -4, 0, {-1, 0, 2}},
        {"quartic that is a quadratic", 0, 0, 3, 0, -12, {-2, 2}},
        {"quadratic with no real roots", 0, 0, 1, 0, 1, {}},
        {"linear", 0, 0, 0, 4, -2, {0.5}},
        {"constant", 0, 0, 0, 0, 5, {}},
        {"everything zero", 0, 0, 0, 0, 0, {}},
        {"vanishing leading term", 1e-20f, 0, 1, -3, 2, {1, 2}},
        {"scaled quartic", -2, 0, 10, 0, -8, {-2, -1, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float roots[4];
        const int count = SolveQuarticGeneral(roots, c.a4, c.a3, c.a2, c.a1, c.a0);
        ExpectRoots(roots, count, c.roots, 1e-4);
    }
    float roots[3];
    ExpectRoots(roots, SolveCubicGeneral(roots, 0, 1, -2, 1), {1, 1}, 1e-4);
    ExpectRoots(roots, SolveQuadraticGeneral(roots, 0, 0, 1), {}, 0);
}

} // namespace
