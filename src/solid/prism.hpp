// Right prisms over a polygon and prismatoids between two horizontal
// polygons. Caps are ear-clipped triangles; the triangles, their corner
// order and their emission order decide every face of the result.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

struct Point2 {
    Rational x, y;
};

// (b - a) x (c - a): positive for a counter-clockwise turn seen from +z.
Rational orient2(const Point2& a, const Point2& b, const Point2& c);

// Twice the signed area; positive for a counter-clockwise polygon.
Rational polygon_area2(const std::vector<Point2>& poly);

// Indices into the polygon of one cap triangle, in emission order.
using Tri = std::array<std::size_t, 3>;

// Ear clipping, always taking the first ear from the start of the working
// list. A corner is an ear when it is strictly convex and no other
// remaining point lies strictly inside its triangle or on the open diagonal
// from next to prev. Stops when no ear is left; the points then left over
// yield no triangle unless exactly three remain.
std::vector<Tri> ear_clip(const std::vector<Point2>& poly);

// The prism between heights 0 and h; a clockwise polygon is reversed first.
Solid build_prism(std::vector<Point2> poly, const Rational& h, std::string_view prefix);

// The prismatoid from bottom at z0 to top at z1. Bottom point i pairs with
// top point i; a top shorter than the bottom panics with the index text.
Solid build_prismatoid(std::vector<Point2> bottom, const Rational& z0, std::vector<Point2> top,
                       const Rational& z1, std::string_view prefix);

}  // namespace qs
