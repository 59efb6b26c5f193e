// The pieces of the intersection search, as the algorithm states them: the
// control box of a patch, the overlap test of two boxes, and the halving of
// curves and patches by de Casteljau's rule at 1/2. The plain search runs on
// these alone; the fast search runs its first level on them.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "exact/rational.hpp"

namespace qs::nurbs {

// A point of a control net: Cartesian (x, y, z) when the first point of the
// net has three coordinates, else homogeneous (w*x, w*y, w*z, w, ...).
using Point = std::vector<Rational>;
using Polygon = std::vector<Point>;
using Net = std::vector<std::vector<Point>>;

// The parameter rectangle a patch covers; it labels the patch only.
struct ParamBox {
    Rational u0, u1, v0, v1;
};

struct Patch {
    Net net;
    ParamBox box;
};

// min x, min y, min z, max x, max y, max z
using ControlBox = std::array<Rational, 6>;

// The Cartesian box of every control point, rows longer than the first
// included. Short points are index failures, a zero weight a division
// failure.
ControlBox control_box(const Net& net);

// Closed boxes: touching counts as overlapping.
bool boxes_overlap(const ControlBox& a, const ControlBox& b);

// de Casteljau at 1/2 on each polygon, over the first dim coordinates.
std::pair<std::vector<Polygon>, std::vector<Polygon>> split_curves(std::vector<Polygon> polygons,
                                                                   std::size_t dim);

// Children in the order (lower u, lower v), (lower u, upper v),
// (upper u, lower v), (upper u, upper v).
std::array<Patch, 4> subdivide_patch(const Patch& patch);

// Shared with the fast search.
// a <=> b; integers (the boxes of Cartesian nets) skip FLINT's general
// rational comparison.
int cmp(const Rational& a, const Rational& b);
Rational midpoint(const Rational& a, const Rational& b);
// Folds one Cartesian point into a box; the first point sets both corners.
void widen(ControlBox& box, bool first, Rational (&q)[3]);

}  // namespace qs::nurbs
