// The boolean workloads shared by the C++ benchmarks and, number for number,
// by the Python scripts (bench_boolean.py, bench_peers.py, bench_prism.py):
//   grid   200 booleans of two boxes on a small integer grid;
//   plate  a 21 x 21 x 1 slab with a 10 x 10 grid of unit holes cut one
//          after another;
//   spiral the union of 50 steps, each turned a quarter more about z and
//          raised by 1/2;
//   prism  two n-gon prisms with rational corners on a circle, the second
//          moved by (1/2, 1/3) and, with shifted caps, raised by 1/2.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "boolean/boolean.hpp"
#include "entry/box.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"

namespace qs::bench {

// 64-bit linear congruential generator, high bits out.
struct Lcg {
    std::uint64_t s;
    std::uint64_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return s >> 33;
    }
    int pick(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }
};

inline const char* const kOps[] = {"union", "cut", "intersect"};

inline Rational q(long n, long d = 1) { return Rational(n, d); }

// The 200 box booleans; returns the total length of the canonical texts.
inline std::size_t box_grid() {
    std::size_t chars = 0;
    Lcg g{1};
    for (int i = 0; i < 200; ++i) {
        std::string v[9];
        for (int k = 0; k < 6; ++k) v[k] = std::to_string(g.pick(1, 3));
        for (int k = 6; k < 9; ++k) v[k] = std::to_string(g.pick(-1, 3));
        entry::TextPair r =
            entry::box_boolean(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], kOps[i % 3]);
        chars += r.second.size();
    }
    return chars;
}

inline Solid plate() {
    Solid s = build_box(q(21), q(21), q(1), "slab");
    Solid hole = build_box(q(1), q(1), q(2), "hole");
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            s = boolean_solids("cut", s,
                               translate_solid(hole, Point3(q(2 * i + 1), q(2 * j + 1), q(-1, 2))));
    return s;
}

// A spiral staircase: 50 steps, each the same slab turned a quarter more
// about z and raised by 1/2; consecutive steps overlap by 1/4 over the
// central square, and the union grows step by step.
inline Solid spiral_step(int k) {
    Solid s = translate_solid(build_box(q(7, 2), q(1), q(3, 4), "step"),
                              Point3(q(-1, 2), q(-1, 2), q(0)));
    return translate_solid(rotate_quarter_solid(s, 2, k), Point3(q(0), q(0), q(k, 2)));
}

inline Solid spiral_staircase() {
    Solid s = spiral_step(0);
    for (int k = 1; k < 50; ++k) s = boolean_solids("union", s, spiral_step(k));
    return s;
}

// The fraction nearest x among those with denominators up to max_den (the
// rule of Python's Fraction.limit_denominator, on the double's exact value).
inline Rational limit_denominator(double x, long max_den) {
    int e = 0;
    const double f = std::frexp(x, &e);
    __int128 n = static_cast<long long>(std::ldexp(f, 53)), d = 1;
    e -= 53;
    for (; e > 0; --e) n *= 2;
    for (; e < 0 && n % 2 == 0; ++e) n /= 2;
    for (; e < 0; ++e) d *= 2;
    if (d <= max_den) return q(long(n), long(d));
    auto floor_div = [](__int128 a, __int128 b) {
        __int128 r = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? r - 1 : r;
    };
    const __int128 den = d;
    __int128 p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    for (;;) {
        const __int128 a = floor_div(n, d);
        const __int128 q2 = q0 + a * q1;
        if (q2 > max_den) break;
        const __int128 p2 = p0 + a * p1;
        p0 = p1;
        q0 = q1;
        p1 = p2;
        q1 = q2;
        const __int128 r = n - a * d;
        n = d;
        d = r;
    }
    const __int128 k = floor_div(max_den - q0, q1);
    if (2 * d * (q0 + k * q1) <= den) return q(long(p1), long(q1));
    return q(long(p0 + k * p1), long(q0 + k * q1));
}

// A convex n-gon with rational corners exactly on the unit circle about
// (cx, cy): t, a rational approximation of tan(theta / 2) for evenly spread
// angles, maps to ((1 - t^2) / (1 + t^2), 2t / (1 + t^2)).
inline std::vector<Point2> ngon(int n, const Rational& cx, const Rational& cy) {
    std::vector<Point2> poly;
    for (int k = 0; k < n; ++k) {
        const double theta = -M_PI + 2 * M_PI * (k + 0.5) / n;
        const Rational t = limit_denominator(std::tan(theta / 2), 1000L * n);
        const Rational d = Rational(1) + t * t;
        poly.push_back({cx + (Rational(1) - t * t) / d, cy + Rational(2) * t / d});
    }
    return poly;
}

struct PrismPair {
    Solid a, b;
};

inline PrismPair prism_pair(int n, bool shifted_caps) {
    PrismPair p;
    p.a = build_prism(ngon(n, q(0), q(0)), q(1), "a");
    p.b = build_prism(ngon(n, q(1, 2), q(1, 3)), q(1), "b");
    if (shifted_caps) p.b = translate_solid(p.b, Point3(q(0), q(0), q(1, 2)));
    return p;
}

}  // namespace qs::bench
