// Counting the distinct unoriented planes that carry a solid's faces.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "solid/solid.hpp"

namespace qs {

// The plane a.x + b.y + c.z = d as coprime integers (held as Rationals over
// 1) with the first nonzero of a, b, c, d positive; both orientations of a
// plane agree. An all-zero plane stays all zero.
std::array<Rational, 4> primitive_plane(const Plane& p);

// "a,b,c,d" in decimal.
std::string plane_key(const std::array<Rational, 4>& k);

std::size_t logical_faces(const Solid& s);

}  // namespace qs
