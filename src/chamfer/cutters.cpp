#include "chamfer/cutters.hpp"

#include <array>
#include <optional>
#include <utility>

#include "chamfer/cell.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"

namespace qs::chamfer {
namespace {

Rational norm1(const Point3& v) { return v.x.abs() + v.y.abs() + v.z.abs(); }

Plane linear(const IntPlane& k) { return {Point3(k[0], k[1], k[2]), k[3]}; }

Solid outward(std::vector<Face> faces) {
    Solid c = solid_from_faces(std::move(faces));
    if (solid_volume6(c).sign() <= 0) flip_faces(c.faces);
    return c;
}

Solid hexahedron(const Point3& p0, const Point3& along, const Point3& across, const Point3& h) {
    const std::array<Point3, 8> c = {p0,     p0 + along,     p0 + along + across,     p0 + across,
                                     p0 + h, p0 + along + h, p0 + along + across + h, p0 + across + h};
    static const char* const kLabels[6] = {"chamfer.b", "chamfer.t", "chamfer.f",
                                           "chamfer.k", "chamfer.r", "chamfer.l"};
    std::vector<Face> faces;
    faces.reserve(6);
    for (int i = 0; i < 6; ++i) {
        const int* k = kBoxLoops[i];
        faces.push_back(make_face({c[k[0]], c[k[1]], c[k[2]], c[k[3]]}, kLabels[i]));
    }
    return outward(std::move(faces));
}

}  // namespace

Solid tetrahedron(const std::array<Point3, 3>& p, const Point3& x) {
    std::vector<Face> faces;
    faces.reserve(4);
    faces.push_back(make_face({p[0], p[2], p[1]}, "corner.a"));
    faces.push_back(make_face({p[0], p[1], x}, "corner.b"));
    faces.push_back(make_face({p[1], p[2], x}, "corner.c"));
    faces.push_back(make_face({p[2], p[0], x}, "corner.d"));
    return outward(std::move(faces));
}

Solid local_cutter(const Bevel& b, std::vector<Plane> start, std::vector<Plane> stop) {
    std::vector<Bound> bounds = {
        {b.cut, "chamfer.b"}, {*b.face[0], "chamfer.f"}, {*b.face[1], "chamfer.k"}};
    for (Plane& p : start) bounds.push_back({std::move(p), "chamfer.l"});
    for (Plane& p : stop) bounds.push_back({std::move(p), "chamfer.r"});
    return convex_cell(bounds);
}

Solid long_cutter(const Bevel& b, const Rational& reach) {
    const EdgeLine& l = *b.line;
    const Rational half(1, 2);
    Point3 m = half * (b.x[0] + b.x[1]);
    Point3 d = b.x[1] - b.x[0];
    Point3 h = Rational(2) * (l.a - m);
    Point3 across = (reach / norm1(d)) * d;
    Rational per_e = reach / norm1(l.e);
    Point3 along = per_e * l.e;
    // The short cutter centred on A's cross-section reaches e.A +- reach_t.
    // Where the segment sticks out of it, centre on the segment instead and
    // lengthen by the segment, so it still overhangs each end by reach_t.
    Rational ee = dot(l.e, l.e);
    Rational ta = dot(l.e, l.a);
    Rational reach_t = (per_e * ee).half();
    if (!(ta - reach_t < l.t_min && l.t_max < ta + reach_t)) {
        Rational shift = ((l.t_min + l.t_max).half() - ta) / ee;
        m = m + shift * l.e;
        along = ((l.t_max - l.t_min) / ee + per_e) * l.e;
    }
    Point3 p0 = m - half * along - half * across;
    return hexahedron(p0, along, across, h);
}

Solid corner_cutter(const std::vector<EndRef>& at, const std::vector<Bevel>& bevels,
                    const Rational& dist) {
    if (at.size() != 3) return {};
    std::array<const Bevel*, 3> rec;
    for (int i = 0; i < 3; ++i) rec[i] = &bevels[at[i].bevel];
    std::vector<const IntPlane*> distinct;
    for (const Bevel* r : rec) {
        for (const IntPlane& k : r->key) {
            bool seen = false;
            for (const IntPlane* d : distinct) seen = seen || *d == k;
            if (!seen) distinct.push_back(&k);
        }
    }
    if (distinct.size() != 3) return {};
    std::optional<Point3> v =
        meet(linear(*distinct[0]), linear(*distinct[1]), linear(*distinct[2]));
    if (!v) return {};

    // Unit directions leaving the corner along each edge.
    std::array<Point3, 3> w;
    for (int i = 0; i < 3; ++i) w[i] = (Rational(1) / rec[i]->length) * rec[i]->into(at[i].at_min);
    // q[i] is the bevel plane of edge i.
    std::array<Plane, 3> q;
    for (int i = 0; i < 3; ++i) {
        const Point3& next = w[(i + 1) % 3];
        Point3 n = next + w[(i + 2) % 3];
        Rational d = dot(n, *v + dist * next);
        q[i] = {std::move(n), std::move(d)};
    }
    std::optional<Point3> x = meet(q[0], q[1], q[2]);
    if (!x) return {};

    // p[i]: where the bevels of edges i+1 and i+2 meet on their shared face.
    std::array<Point3, 3> p;
    for (int i = 0; i < 3; ++i) {
        const Bevel& r1 = *rec[(i + 1) % 3];
        const Bevel& r2 = *rec[(i + 2) % 3];
        const IntPlane* face = nullptr;
        for (const IntPlane& a : r1.key) {
            for (const IntPlane& b : r2.key) {
                if (!face && a == b) face = &a;
            }
        }
        if (!face) return {};
        std::optional<Point3> pi = meet(linear(*face), q[(i + 1) % 3], q[(i + 2) % 3]);
        if (!pi) return {};
        p[i] = std::move(*pi);
    }
    return tetrahedron(p, *x);
}

}  // namespace qs::chamfer
