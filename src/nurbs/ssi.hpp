// Candidate regions of a surface-surface intersection: both Bezier patches
// are halved in u and v over and over, and only pairs of sub-patches whose
// control-point boxes meet are kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
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

// au0, au1, av0, av1, bu0, bu1, bv0, bv1
using PairBoxes = std::array<Rational, 8>;

// The deepest level a search may reach while pairs survive.
constexpr std::uint64_t kMaxSsiLevels = 2048;

// The default memory bound of one ssi_pairs call, in bytes: a quarter of
// the physical memory, at most 2 GiB, and at most half of what the address
// space and data size limits and the memory cgroup still leave.
std::size_t default_ssi_budget();

// As a budget: default_ssi_budget(), worked out only once a search has
// grown past kSsiProbeBytes, so that the many small calls never read the
// system's limits.
constexpr std::size_t kSsiDefaultBudget = 0;
constexpr std::size_t kSsiProbeBytes = std::size_t{64} << 20;

// The surviving pairs after `depth` levels, in creation order. budget is the
// memory bound in bytes (see ssi.cpp for what it counts).
std::vector<PairBoxes> ssi_pairs(Net a, Net b, const ParamBox& a_box, const ParamBox& b_box,
                                 std::uint64_t depth, std::size_t budget = kSsiDefaultBudget);

}  // namespace qs::nurbs
