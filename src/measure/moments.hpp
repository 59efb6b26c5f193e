// Exact mass properties of a polyhedral solid of unit density: the
// integrals of 1, x, y, z and their products over the solid, which are
// rational because the integral of a polynomial over a tetrahedron with
// rational corners is.
#pragma once

#include <array>

#include "solid/solid.hpp"

namespace qs {

struct Moments {
    Rational volume;  // signed, as solid_volume6 / 6
    // The rest only when the volume is not zero.
    Point3 centroid;
    // The second moments about the centroid: the integrals of
    // (x-cx)^2, (y-cy)^2, (z-cz)^2, (x-cx)(y-cy), (y-cy)(z-cz), (z-cz)(x-cx).
    std::array<Rational, 6> central;
};

// Sums over the fan triangles of every face the integrals over the
// tetrahedron they make with a reference corner (the first vertex), so the
// faces' split and order do not change the result for a closed solid.
Moments solid_moments(const Solid& s);

}  // namespace qs
