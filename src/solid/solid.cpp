#include "solid/solid.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

std::vector<Approx> approximate(const std::vector<Point3>& vertices) {
    std::vector<Approx> out;
    out.reserve(vertices.size());
    for (const Point3& p : vertices) out.push_back(approx_of(p));
    return out;
}

void negate(Plane& plane) {
    plane.normal.x.negate();
    plane.normal.y.negate();
    plane.normal.z.negate();
    plane.offset.negate();
}

void reverse_loop(std::vector<Point3>& vertices, std::vector<Approx>& approx) {
    std::reverse(vertices.begin(), vertices.end());
    std::reverse(approx.begin(), approx.end());
}

Plane plane_of(const std::vector<Point3>& v) {
    if (v.size() < 3) index_panic(v.size(), v.size());
    Plane pl;
    pl.normal = cross(v[1] - v[0], v[2] - v[0]);
    pl.offset = dot(pl.normal, v[0]);
    return pl;
}

Face make_face(std::vector<Point3> vertices, std::string label) {
    Face f;
    f.plane = plane_of(vertices);
    f.planar = vertices.size() == 3;
    f.approx = approximate(vertices);
    f.vertices = std::move(vertices);
    f.label = std::move(label);
    return f;
}

Point3 area_vector(const std::vector<Point3>& v) {
    Point3 a;
    if (v.size() < 3) return a;
    const Point3& p0 = v[0];
    Point3 prev = v[1] - p0;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        Point3 next = v[i + 1] - p0;
        a.x.add_mul(prev.y, next.z);
        a.x.sub_mul(prev.z, next.y);
        a.y.add_mul(prev.z, next.x);
        a.y.sub_mul(prev.x, next.z);
        a.z.add_mul(prev.x, next.y);
        a.z.sub_mul(prev.y, next.x);
        prev = std::move(next);
    }
    return a;
}

namespace {

// Fan sum in doubles with a proven bound on its rounding error. The
// approximations are themselves rounded, so the bound is taken against the
// magnitudes of the coordinates, not of their differences: each product of
// two differences is off by at most about 6u times the product of the
// coordinate sums, and each of the n - 2 additions adds u of the running
// magnitude. The factor (n + 10) * 2^-52 covers that with room to spare for
// the rounding of the bound itself. Clears the face only when some
// component provably differs from zero.
bool fast_clears(const std::vector<Point3>& v, const std::vector<Approx>& ap) {
    std::size_t n = ap.size();
    if (n < 3 || n != v.size()) return false;
    double a[3] = {0, 0, 0}, m[3] = {0, 0, 0};
    const Approx& p0 = ap[0];
    // Each vertex's difference from vertex 0 and its magnitude, made once
    // and used for both triangles the vertex belongs to.
    Approx d_prev, g_prev, d_next, g_next;
    auto load = [&](std::size_t i, Approx& d, Approx& g) {
        for (int c = 0; c < 3; ++c) {
            d[c] = ap[i][c] - p0[c];
            g[c] = std::fabs(ap[i][c]) + std::fabs(p0[c]);
        }
    };
    load(1, d_prev, g_prev);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        load(i + 1, d_next, g_next);
        for (int c = 0; c < 3; ++c) {
            const int c1 = c == 2 ? 0 : c + 1, c2 = c == 0 ? 2 : c - 1;
            a[c] += d_prev[c1] * d_next[c2] - d_prev[c2] * d_next[c1];
            m[c] += g_prev[c1] * g_next[c2] + g_prev[c2] * g_next[c1];
        }
        d_prev = d_next;
        g_prev = g_next;
    }
    double norm = std::fabs(a[0]) + std::fabs(a[1]) + std::fabs(a[2]);
    if (!(norm > 1e-7) || !std::isfinite(norm)) return false;
    const double k = double(n + 10) * 0x1p-52;
    for (int c = 0; c < 3; ++c) {
        // The absolute term covers products that fell into the subnormals.
        double err = m[c] * k + double(n) * 0x1p-1020;
        if (std::isfinite(err) && std::fabs(a[c]) > err) return true;
    }
    return false;
}

}  // namespace

bool has_zero_area(const std::vector<Point3>& vertices, const std::vector<Approx>& approx) {
    if (fast_clears(vertices, approx)) return false;
    return area_vector(vertices).is_zero();
}

bool is_degenerate(const Face& f) { return has_zero_area(f.vertices, f.approx); }

Solid solid_from_faces(std::vector<Face> faces) {
    Solid s;
    s.faces.reserve(faces.size());
    for (Face& f : faces) {
        poll_interrupt();
        if (!is_degenerate(f)) s.faces.push_back(std::move(f));
    }
    return s;
}

namespace {

void flip_in_place(Face& f) {
    reverse_loop(f.vertices, f.approx);
    negate(f.plane);
}

}  // namespace

Face flip_face(Face f) {
    flip_in_place(f);
    return f;
}

void flip_faces(std::vector<Face>& faces) {
    for (Face& f : faces) flip_in_place(f);
}

}  // namespace qs
