// Exact per-vertex maps of a solid: translation, scaling, mirroring,
// quarter turns and any invertible affine map.
#pragma once

#include <cstdint>
#include <functional>

#include "solid/solid.hpp"

namespace qs {

using PointMap = std::function<Point3(const Point3&)>;

// Maps every vertex and rebuilds each face from its first three new
// vertices (plane, approximations; label kept). Every face is kept, in
// order, even one the map flattens; a face of fewer than three vertices
// panics.
Solid transform_solid(const Solid& s, const PointMap& map);

Solid translate_solid(const Solid& s, const Point3& by);
// Faces are flipped when fx * fy * fz is negative.
Solid scale_solid(const Solid& s, const Rational& fx, const Rational& fy, const Rational& fz);
// Negates coordinate `axis` and flips every face; an axis above 2 panics
// with the index text at the first vertex.
Solid mirror_solid(const Solid& s, std::uint64_t axis);
// `quarters` counter-clockwise quarter turns seen from the positive end of
// the axis; the axis wraps modulo 3.
Solid rotate_quarter_solid(const Solid& s, std::uint64_t axis, std::int64_t quarters);

// p -> m p + t, with m a 3 x 3 matrix given by rows.
struct Affine {
    Rational m[3][3];
    Point3 t;
};

Rational determinant(const Affine& a);

// Every vertex through the map; each face keeps its label and its vertex
// order, and its stored plane is carried over by the map's cofactor matrix
// (so a face whose first corners lie on one line keeps its true plane).
// Faces are turned over when the determinant is negative, so a closed
// solid stays wound outward. A singular map throws InputError: it would
// flatten the solid.
Solid affine_solid(const Solid& s, const Affine& a);

}  // namespace qs
