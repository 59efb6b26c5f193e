#include "chamfer/corners.hpp"

#include <array>
#include <optional>
#include <utility>

#include "chamfer/cell.hpp"
#include "query/volume.hpp"

namespace qs::chamfer {
namespace {

Plane linear(const IntPlane& k) { return {Point3(k[0], k[1], k[2]), k[3]}; }

// Base p and apex x, wound consistently, then turned outward.
Solid tetrahedron(const std::array<Point3, 3>& p, const Point3& x) {
    std::vector<Face> faces;
    faces.reserve(4);
    faces.push_back(make_face({p[0], p[2], p[1]}, "corner.a"));
    faces.push_back(make_face({p[0], p[1], x}, "corner.b"));
    faces.push_back(make_face({p[1], p[2], x}, "corner.c"));
    faces.push_back(make_face({p[2], p[0], x}, "corner.d"));
    Solid c = solid_from_faces(std::move(faces));
    if (solid_volume6(c).sign() <= 0) flip_faces(c.faces);
    return c;
}

}  // namespace

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
