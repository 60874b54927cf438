// Double-precision brute force for the collision queries: the first time a
// moving point p + v t + a t^2 / 2 touches a closed triangle or box, found
// by solving every plane crossing and testing the point, with a margin
// telling how close the decisive point came to an edge (cases closer than
// float rounding can decide are left out of random comparisons).
#pragma once

#include "app/maths.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace querytest {

struct D3 {
    double x = 0, y = 0, z = 0;
    D3() = default;
    D3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
    D3(const Vec3& v) : x(v.x), y(v.y), z(v.z) {}
    D3 operator+(const D3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    D3 operator-(const D3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    D3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const D3& o) const { return x * o.x + y * o.y + z * o.z; }
    D3 Cross(const D3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double operator[](int c) const { return c == 0 ? x : c == 1 ? y : z; }
};

struct Motion {
    D3 p, v, a;
    D3 At(double t) const { return p + v * t + a * (0.5 * t * t); }
};

// Roots of h t^2 + k t + m = 0 in [0, limit].
inline std::vector<double> Roots(double h, double k, double m, double limit)
{
    std::vector<double> out;
    if (h == 0) {
        if (k != 0)
            out.push_back(-m / k);
    } else {
        const double disc = k * k - 4 * h * m;
        if (disc >= 0) {
            const double s = std::sqrt(disc);
            out.push_back((-k - s) / (2 * h));
            out.push_back((-k + s) / (2 * h));
        }
    }
    std::vector<double> kept;
    for (double r : out)
        if (r >= -1e-12 && r <= limit + 1e-12)
            kept.push_back(std::max(r, 0.0));
    std::sort(kept.begin(), kept.end());
    return kept;
}

struct Answer {
    bool hit = false;
    double t = 0;
    D3 normal;
    double margin = std::numeric_limits<double>::infinity(); // nearest edge distance of any tested point
};

inline void Keep(Answer& best, double t, const D3& normal)
{
    if (!best.hit || t < best.t) {
        best.hit = true;
        best.t = t;
        best.normal = normal;
    }
}

// Triangle (P0, P1, P2) with normal (P1 - P0) x (P2 - P1), unit length.
inline void AgainstTriangle(Answer& best, const Motion& m, const D3& p0, const D3& p1, const D3& p2, double limit)
{
    D3 n = (p1 - p0).Cross(p2 - p1);
    const double len = std::sqrt(n.Dot(n));
    if (len == 0)
        return;
    n = n * (1 / len);
    if (std::fabs(n.Dot(m.v)) < 1e-9 && std::fabs(n.Dot(m.a)) < 1e-9)
        return; // moving along the plane: edge-on, never a hit
    for (double t : Roots(0.5 * n.Dot(m.a), n.Dot(m.v), n.Dot(m.p - p0), limit)) {
        const D3 q = m.At(t);
        double inside = std::numeric_limits<double>::infinity();
        const D3 corners[3] = {p0, p1, p2};
        for (int i = 0; i < 3; ++i) {
            const D3 e = corners[(i + 1) % 3] - corners[i];
            const double el = std::sqrt(e.Dot(e));
            inside = std::min(inside, e.Cross(q - corners[i]).Dot(n) / el);
        }
        best.margin = std::min(best.margin, std::fabs(inside));
        if (inside >= 0) {
            Keep(best, t, n);
            return;
        }
    }
}

inline void AgainstBox(Answer& best, const Motion& m, const D3& lo, const D3& hi, double limit)
{
    bool inside = true;
    for (int c = 0; c < 3; ++c)
        inside = inside && m.p[c] >= lo[c] && m.p[c] <= hi[c];
    if (inside) {
        Keep(best, 0, {0, 0, 0});
        return;
    }
    for (int face = 0; face < 6; ++face) {
        const int c = face % 3;
        const double plane = face < 3 ? lo[c] : hi[c];
        for (double t : Roots(0.5 * m.a[c], m.v[c], m.p[c] - plane, limit)) {
            const D3 q = m.At(t);
            double inner = std::numeric_limits<double>::infinity();
            for (int o = 0; o < 3; ++o)
                if (o != c)
                    inner = std::min({inner, q[o] - lo[o], hi[o] - q[o]});
            best.margin = std::min(best.margin, std::fabs(inner));
            if (inner >= 0)
                Keep(best, t, {c == 0 ? (face < 3 ? -1.0 : 1.0) : 0, c == 1 ? (face < 3 ? -1.0 : 1.0) : 0,
                               c == 2 ? (face < 3 ? -1.0 : 1.0) : 0});
        }
    }
}

} // namespace querytest
