// The chamfer: every bevelled edge is cut away by one cutter, then every
// outside corner by one tetrahedron, each removed with a boolean cut.
//
// A cutter removes only its own edge's bevel. On a solid that is not
// convex it is the bevel's own region: across the edge, the triangle
// between the edge's two faces and the bevel plane; along it, up to planes
// through the edge's end points (see ends.hpp), never running on along the
// edge's line into other material. On a convex solid nothing lies outside
// the planes of the edge's faces or past the faces its ends meet, so the
// long cutter, which overhangs all of them, removes the same material; it
// is kept there so that convex solids come out exactly as they always have.
#include "chamfer/chamfer.hpp"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "boolean/boolean.hpp"
#include "boolean/classify.hpp"
#include "chamfer/cutters.hpp"
#include "chamfer/edges.hpp"
#include "chamfer/ends.hpp"
#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "query/bbox.hpp"
#include "query/logical_faces.hpp"

namespace qs {
namespace {

using chamfer::Bevel;
using chamfer::IntPlane;

// Every vertex behind or on every face's plane. Each plane once; a face the
// double filter proves behind it by its box is not looked at vertex by
// vertex.
bool behind_every_face(const Solid& s, const std::vector<ApproxBox>& boxes,
                       const std::vector<IntPlane>& keys) {
    const auto by_value = [](const IntPlane* a, const IntPlane* b) { return *a < *b; };
    std::set<const IntPlane*, decltype(by_value)> seen(by_value);
    std::size_t largest = 0;
    for (const Face& f : s.faces) largest = std::max(largest, f.vertices.size());
    SideBuffer sides(largest);
    Scratch scratch;
    for (std::size_t pi = 0; pi < s.faces.size(); ++pi) {
        if (!seen.insert(&keys[pi]).second) continue;
        const TestPlane plane(s.faces[pi].plane);
        for (std::size_t i = 0; i < s.faces.size(); ++i) {
            poll_interrupt();
            const Face& f = s.faces[i];
            if (classify_loop(plane, false, f.vertices, f.approx, &boxes[i], nullptr, sides.data(),
                              scratch) &
                1)
                return false;
        }
    }
    return true;
}

}  // namespace

Solid chamfer_solid(const Solid& s, const Rational& dist, ChamferStats* stats) {
    if (dist.sign() < 0) throw ChamferError(text::kChamferNegative);
    ChamferStats counted;
    // Nothing to bevel: a zero distance moves no point, and a solid without
    // faces has no edges (and no bounding box to take a reach from).
    if (dist.is_zero() || s.faces.empty()) {
        if (stats) *stats = counted;
        return s;
    }
    const auto lines = chamfer::edge_lines(s);
    // Each face's plane in integer form, the one exact test of two faces
    // sharing a plane.
    std::vector<IntPlane> keys;
    keys.reserve(s.faces.size());
    for (const Face& f : s.faces) {
        poll_interrupt();
        keys.push_back(primitive_plane(f.plane));
    }
    // Every bevel is known before the first cut, since the ends of each
    // depend on the bevels next to it; a failure still comes from the first
    // edge in key order that has one.
    std::vector<Bevel> bevels;
    bool reflex = false;
    for (const auto& [key, line] : lines) {
        poll_interrupt();
        std::optional<Bevel> b = chamfer::make_bevel(s, keys, line, dist, reflex);
        if (b) bevels.push_back(std::move(*b));
    }
    // Each face's corners in doubles, for the filters of both tests below.
    std::vector<ApproxBox> boxes;
    boxes.reserve(s.faces.size());
    for (const Face& f : s.faces) boxes.push_back(approx_box(f.approx, f.vertices.size()));
    const chamfer::EndPlanes ends(s, bevels, boxes, keys);
    // A reflex edge settles it: its faces lie in front of each other's planes.
    const bool long_cutters = !reflex && behind_every_face(s, boxes, keys);
    auto [lo, hi] = solid_bbox(s);
    const Rational reach = (hi.x - lo.x) + (hi.y - lo.y) + (hi.z - lo.z) + Rational(1);

    Solid work = s;
    for (std::size_t i = 0; i < bevels.size(); ++i) {
        poll_interrupt();
        Solid cutter = long_cutters
                           ? chamfer::long_cutter(bevels[i], reach)
                           : chamfer::local_cutter(bevels[i], ends.at(i, true), ends.at(i, false));
        if (cutter.faces.empty()) continue;
        work = boolean_solids("cut", std::move(work), cutter);
        ++counted.edge_cuts;
    }
    for (const auto& [key, at] : ends.ends()) {
        poll_interrupt();
        Solid cutter = chamfer::corner_cutter(at, bevels, dist);
        if (cutter.faces.empty()) continue;
        work = boolean_solids("cut", std::move(work), cutter);
        ++counted.corner_cuts;
    }
    if (stats) *stats = counted;
    return work;
}

}  // namespace qs
