// The chamfer: every bevelled edge is cut away by one convex cutter, then
// every outside corner by one tetrahedron, each removed with a boolean cut.
//
// A cutter removes only its own edge's bevel. Across the edge it is the
// triangle between the edge's two faces and the bevel plane, so it lies in
// the planes of those faces instead of overhanging them; along the edge it
// ends at planes through the edge's end points (see ends.hpp), never
// running on along the edge's line into other material.
#include "chamfer/chamfer.hpp"

#include <optional>
#include <utility>
#include <vector>

#include "boolean/boolean.hpp"
#include "chamfer/cell.hpp"
#include "chamfer/corners.hpp"
#include "chamfer/edges.hpp"
#include "chamfer/ends.hpp"
#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {
namespace {

using chamfer::Bevel;
using chamfer::Bound;

const char* const kNegative = "chamfer: negative distance";

Solid edge_cutter(const Bevel& b, const std::vector<Plane>& start, const std::vector<Plane>& stop) {
    std::vector<Bound> bounds = {
        {b.cut, "chamfer.b"}, {*b.face[0], "chamfer.f"}, {*b.face[1], "chamfer.k"}};
    for (const Plane& p : start) bounds.push_back({p, "chamfer.l"});
    for (const Plane& p : stop) bounds.push_back({p, "chamfer.r"});
    return chamfer::convex_cell(bounds);
}

// Once earlier cuts have removed everything, nothing is left to cut: a cut
// of an empty solid would return the cutter turned inside out.
void remove(Solid& work, const Solid& cutter) {
    if (!work.faces.empty()) work = boolean_solids("cut", work, cutter);
}

}  // namespace

Solid chamfer_solid(const Solid& s, const Rational& dist, ChamferStats* stats) {
    if (dist.sign() < 0) throw ChamferError(kNegative);
    ChamferStats counted;
    // Nothing to bevel: a zero distance moves no point, and a solid without
    // faces has no edges.
    if (dist.is_zero() || s.faces.empty()) {
        if (stats) *stats = counted;
        return s;
    }
    const auto lines = chamfer::edge_lines(s);
    // Every bevel is known before the first cut, since the ends of each
    // depend on the bevels next to it; a failure still comes from the first
    // edge in key order that has one.
    std::vector<Bevel> bevels;
    for (const auto& [key, line] : lines) {
        poll_interrupt();
        std::optional<Bevel> b = chamfer::make_bevel(s, line, dist);
        if (b) bevels.push_back(std::move(*b));
    }
    const chamfer::EndPlanes ends(s, bevels);

    Solid work = s;
    for (std::size_t i = 0; i < bevels.size(); ++i) {
        poll_interrupt();
        Solid cutter = edge_cutter(bevels[i], ends.at(i, true), ends.at(i, false));
        if (cutter.faces.empty()) continue;
        remove(work, cutter);
        ++counted.edge_cuts;
    }
    for (const auto& [key, at] : ends.ends()) {
        poll_interrupt();
        Solid cutter = chamfer::corner_cutter(at, bevels, dist);
        if (cutter.faces.empty()) continue;
        remove(work, cutter);
        ++counted.corner_cuts;
    }
    if (stats) *stats = counted;
    return work;
}

Solid chamfer_solid(const Solid& s, const Rational& dist) {
    return chamfer_solid(s, dist, nullptr);
}

}  // namespace qs
