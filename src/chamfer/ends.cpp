#include "chamfer/ends.hpp"

#include <optional>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs::chamfer {
namespace {

// The cutters of b and o end on the two sides of one plane.
std::optional<Plane> mitre(const Bevel& b, const Bevel& o, const Point3& v, const Point3& into) {
    return mitre_plane(b.cut, o.cut, v, into);
}

// Whether the corner at v that face k of b forms with the edge of o lying in
// the same plane is reflex: each edge runs off on the side of the other
// that the other's face is not on.
bool reflex_in_face(const Bevel& b, std::size_t k, const Point3& into, const Bevel& o,
                    std::size_t j, const Point3& o_into) {
    return dot(o_into, b.w[k]).sign() < 0 && dot(into, o.w[j]).sign() < 0;
}

// A box of NaN (a face without approximations) holds every point.
bool within(const Approx& x, const ApproxBox& box) {
    for (int i = 0; i < 3; ++i) {
        if (x[i] < box[i] || x[i] > box[i + 3]) return false;
    }
    return true;
}

// On the face's boundary: a corner, or inside one of its edges.
bool on_boundary(const Face& f, const Point3& v) {
    const std::vector<Point3>& vs = f.vertices;
    for (std::size_t i = 0; i < vs.size(); ++i) {
        const Point3& p = vs[i];
        const Point3& q = vs[i + 1 == vs.size() ? 0 : i + 1];
        if (p == v) return true;
        Point3 d = q - p, r = v - p;
        if (!cross(d, r).is_zero()) continue;
        Rational t = dot(r, d);
        if (t.sign() > 0 && t < dot(d, d)) return true;
    }
    return false;
}

}  // namespace

std::optional<Plane> facing_edge(Plane p, const Point3& into) {
    int s = dot(p.normal, into).sign();
    if (s == 0) return std::nullopt;
    if (s > 0) negate(p);
    return p;
}

// Of the planes through the line where the two bevel planes meet (their
// combinations), the one that vanishes at v.
std::optional<Plane> mitre_plane(const Plane& cut, const Plane& other_cut, const Point3& v,
                                 const Point3& into) {
    Rational bv = level(cut, v), ov = level(other_cut, v);
    Plane m{ov * cut.normal - bv * other_cut.normal, ov * cut.offset - bv * other_cut.offset};
    return facing_edge(std::move(m), into);
}

EndPlanes::EndPlanes(const Solid& s, const std::vector<Bevel>& bevels,
                     const std::vector<ApproxBox>& boxes, const std::vector<IntPlane>& keys)
    : s_(s), bevels_(bevels), boxes_(boxes), keys_(keys) {
    bevel_ends_.reserve(bevels.size());
    for (std::size_t i = 0; i < bevels.size(); ++i) {
        poll_interrupt();
        std::array<End, 2>& ends = bevel_ends_.emplace_back();
        for (bool at_min : {true, false}) {
            End& e = ends[at_min ? 0 : 1];
            e.v = bevels[i].end(at_min);
            std::vector<EndRef>& meeting = ends_[point_text(e.v)];
            meeting.push_back({i, at_min});
            e.meeting = &meeting;
        }
    }
}

std::vector<Plane> EndPlanes::at(std::size_t bi, bool at_min) const {
    const Bevel& b = bevels_[bi];
    const End& end = bevel_ends_[bi][at_min ? 0 : 1];
    const Point3& v = end.v;
    const Point3 into = b.into(at_min);
    std::vector<Plane> out;
    for (const EndRef& r : *end.meeting) {
        if (r.bevel == bi) continue;
        const Bevel& o = bevels_[r.bevel];
        const Point3 o_into = o.into(r.at_min);
        for (std::size_t k = 0; k < 2; ++k) {
            for (std::size_t j = 0; j < 2; ++j) {
                if (b.key[k] != o.key[j] || !reflex_in_face(b, k, into, o, j, o_into)) continue;
                if (std::optional<Plane> m = mitre(b, o, v, into)) out.push_back(std::move(*m));
            }
        }
    }
    if (out.empty()) out = flush(v, into);
    if (out.empty()) {
        // No face bounds the edge here (an open or broken surface): end the
        // cutter square to the edge, at the end point.
        out.push_back({-into, -dot(into, v)});
    }
    return out;
}

// Planes of the faces whose boundary passes through v, each once. Face boxes
// in doubles rule out most faces: rounding to the nearest double keeps
// order, so a point inside a face's exact box is inside its double box.
std::vector<Plane> EndPlanes::flush(const Point3& v, const Point3& into) const {
    const Approx va = approx_of(v);
    std::vector<Plane> out;
    std::vector<const IntPlane*> seen;
    for (std::size_t fi = 0; fi < s_.faces.size(); ++fi) {
        poll_interrupt();
        const Face& f = s_.faces[fi];
        if (!within(va, boxes_[fi]) || !on_boundary(f, v)) continue;
        const IntPlane& k = keys_[fi];
        bool dup = false;
        for (const IntPlane* q : seen) dup = dup || *q == k;
        if (dup) continue;
        seen.push_back(&k);
        if (std::optional<Plane> p = facing_edge(f.plane, into)) out.push_back(std::move(*p));
    }
    return out;
}

}  // namespace qs::chamfer
