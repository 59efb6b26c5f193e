// The orientation tests of the validity check, exact, with a double filter.
//
// This is the only place where the check uses floating point: each test
// first evaluates its determinant in doubles from the nearest doubles of
// its points, with a proven bound on the error (input rounding included);
// only a value inside the bound is decided again in rational arithmetic.
#pragma once

#include <cstdint>
#include <vector>

#include "solid/solid.hpp"

namespace qs::validity {

// A point as the tests take it: the exact value and its nearest doubles.
// `fine` when every coordinate is zero or of magnitude within [2^-300,
// 2^300]: then no product of the filters overflows or loses more than the
// bound allows, and they apply; other points go straight to the exact road.
// `integral` when the point times the checker's common denominator has
// integer coordinates below 2^30 (`i`): the tests on such points are exact
// in 128-bit integers, which decides the many exact zeros of flat, gridded
// data without rationals.
struct Vert {
    const Point3* p = nullptr;
    Approx a{};
    bool fine = false;
    bool integral = false;
    std::int64_t i[3] = {0, 0, 0};
};

// The least common denominator of the points' coordinates, when it and
// every coordinate times it stay below 2^30; 0 otherwise.
long common_scale(const std::vector<const Point3*>& points);

// `scale` as common_scale gives it (0: no integer form).
Vert make_vert(const Point3& p, long scale = 0);

// The sign of det[b - a, c - a, d - a]: positive when d lies in front of
// the plane of a, b, c, the side from which a, b, c run counter-clockwise.
int orient3d(const Vert& a, const Vert& b, const Vert& c, const Vert& d);

// The sign of det[b - a, c - a, v] for a direction v.
int orient_dir(const Vert& a, const Vert& b, const Vert& c, const Vert& v);

// The sign of (b - a) . (q - p): the order of p and q along the direction
// from a to b (for points on one line).
int along(const Vert& a, const Vert& b, const Vert& p, const Vert& q);

// The sign of the turn a, b, c seen along axis `drop` (the other two
// coordinates in cyclic order): the orientation of the projection.
int orient2d(const Vert& a, const Vert& b, const Vert& c, int drop);

// The exact value whose sign orient2d gives.
Rational orient2d_value(const Point3& a, const Point3& b, const Point3& c, int drop);

}  // namespace qs::validity
