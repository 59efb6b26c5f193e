#include "solid/prism.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

Rational orient2(const Point2& a, const Point2& b, const Point2& c) {
    Rational r = (b.x - a.x) * (c.y - a.y);
    r.sub_mul(b.y - a.y, c.x - a.x);
    return r;
}

Rational polygon_area2(const std::vector<Point2>& p) {
    Rational s;
    const std::size_t n = p.size();
    for (std::size_t i = 0; i < n; ++i) {
        poll_interrupt();
        const Point2& a = p[i];
        const Point2& b = p[(i + 1) % n];
        s.add_mul(a.x, b.y);
        s.sub_mul(b.x, a.y);
    }
    return s;
}

namespace {

struct Approx2 {
    double x, y;
};

// Sign of orient2 with a double filter. Each approximated coordinate is off
// by at most u = 2^-53 of itself, so each difference is off by about
// 2u times the sum of the two magnitudes, each product by about 5u times
// the product of those sums, and the final subtraction adds u more. 16u
// covers this with room for the rounding of the bound; the absolute term
// covers inputs and products that fell into the subnormals. Doubtful signs are decided
// exactly.
class Orienter {
public:
    explicit Orienter(const std::vector<Point2>& p) : p_(p) {
        ap_.reserve(p.size());
        for (const Point2& q : p) {
            poll_interrupt();
            ap_.push_back({rational_to_double(q.x), rational_to_double(q.y)});
        }
    }

    int sign(std::size_t a, std::size_t b, std::size_t c) const {
        const Approx2 &A = ap_[a], &B = ap_[b], &C = ap_[c];
        double l = (B.x - A.x) * (C.y - A.y);
        double r = (B.y - A.y) * (C.x - A.x);
        double det = l - r;
        double mag = (std::fabs(B.x) + std::fabs(A.x)) * (std::fabs(C.y) + std::fabs(A.y)) +
                     (std::fabs(B.y) + std::fabs(A.y)) * (std::fabs(C.x) + std::fabs(A.x));
        double spread = std::fabs(A.x) + std::fabs(A.y) + std::fabs(B.x) + std::fabs(B.y) +
                        std::fabs(C.x) + std::fabs(C.y);
        double err = mag * 0x1p-49 + (spread + 1.0) * 0x1p-1000;
        if (std::isfinite(err) && std::isfinite(det)) {
            if (det > err) return 1;
            if (det < -err) return -1;
        }
        return orient2(p_[a], p_[b], p_[c]).sign();
    }

    // p strictly between the ends of the segment a-b, given that the three
    // points are collinear: (p - a) . (b - a) lies in (0, |b - a|^2).
    bool strictly_between(std::size_t a, std::size_t b, std::size_t p) const {
        const Point2 &A = p_[a], &B = p_[b], &P = p_[p];
        Rational dx = B.x - A.x, dy = B.y - A.y;
        Rational t = (P.x - A.x) * dx;
        t.add_mul(P.y - A.y, dy);
        if (t.sign() <= 0) return false;
        Rational len2 = dx * dx;
        len2.add_mul(dy, dy);
        return t < len2;
    }

private:
    const std::vector<Point2>& p_;
    std::vector<Approx2> ap_;
};

}  // namespace

std::vector<Tri> ear_clip(const std::vector<Point2>& poly) {
    std::vector<Tri> tris;
    const Orienter orient(poly);
    std::vector<std::size_t> v(poly.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = i;

    while (v.size() > 3) {
        const std::size_t n = v.size();
        bool clipped = false;
        for (std::size_t pos = 0; pos < n; ++pos) {
            poll_interrupt();
            std::size_t ip = (pos + n - 1) % n, in = (pos + 1) % n;
            std::size_t prev = v[ip], cur = v[pos], next = v[in];
            if (orient.sign(prev, cur, next) <= 0) continue;
            bool blocked = false;
            for (std::size_t k = 0; k < n && !blocked; ++k) {
                poll_interrupt();
                if (k == ip || k == pos || k == in) continue;
                std::size_t p = v[k];
                // The diagonal test first: for a convex polygon it alone
                // clears almost every point.
                int s3 = orient.sign(next, prev, p);
                if (s3 < 0) continue;
                if (s3 == 0) {
                    // A point on the open diagonal would leave the triangle
                    // overlapping the rest of the polygon.
                    blocked = orient.strictly_between(next, prev, p);
                    continue;
                }
                blocked = orient.sign(prev, cur, p) > 0 && orient.sign(cur, next, p) > 0;
            }
            if (blocked) continue;
            tris.push_back({prev, cur, next});
            v.erase(v.begin() + static_cast<std::ptrdiff_t>(pos));
            clipped = true;
            break;
        }
        if (!clipped) break;
    }
    if (v.size() == 3) tris.push_back({v[0], v[1], v[2]});
    return tris;
}

namespace {

Point3 lift(const Point2& p, const Rational& z) { return Point3(p.x, p.y, z); }

std::string label(std::string_view prefix, std::string_view name) {
    std::string s(prefix);
    s += '.';
    s += name;
    return s;
}

std::string side_label(std::string_view prefix, std::size_t i) {
    return label(prefix, "side" + std::to_string(i));
}

void append_bottom_caps(std::vector<Face>& faces, const std::vector<Point2>& poly,
                        const Rational& z, std::string_view prefix) {
    for (const Tri& t : ear_clip(poly)) {
        poll_interrupt();
        faces.push_back(make_face({lift(poly[t[0]], z), lift(poly[t[2]], z), lift(poly[t[1]], z)},
                                  label(prefix, "bottom")));
    }
}

void append_top_caps(std::vector<Face>& faces, const std::vector<Point2>& poly, const Rational& z,
                     std::string_view prefix) {
    for (const Tri& t : ear_clip(poly)) {
        poll_interrupt();
        faces.push_back(make_face({lift(poly[t[0]], z), lift(poly[t[1]], z), lift(poly[t[2]], z)},
                                  label(prefix, "top")));
    }
}

}  // namespace

Solid build_prism(std::vector<Point2> p, const Rational& h, std::string_view prefix) {
    if (polygon_area2(p).sign() < 0) std::reverse(p.begin(), p.end());
    const Rational zero;
    std::vector<Face> faces;
    // Bottom and top alternate per triangle.
    for (const Tri& t : ear_clip(p)) {
        poll_interrupt();
        faces.push_back(make_face({lift(p[t[0]], zero), lift(p[t[2]], zero), lift(p[t[1]], zero)},
                                  label(prefix, "bottom")));
        faces.push_back(make_face({lift(p[t[0]], h), lift(p[t[1]], h), lift(p[t[2]], h)},
                                  label(prefix, "top")));
    }
    const std::size_t n = p.size();
    for (std::size_t i = 0; i < n; ++i) {
        poll_interrupt();
        const std::size_t j = (i + 1) % n;
        faces.push_back(make_face({lift(p[i], zero), lift(p[j], zero), lift(p[j], h), lift(p[i], h)},
                                  side_label(prefix, i)));
    }
    return solid_from_faces(std::move(faces));
}

Solid build_prismatoid(std::vector<Point2> b, const Rational& z0, std::vector<Point2> t,
                       const Rational& z1, std::string_view prefix) {
    if (polygon_area2(b).sign() < 0) {
        std::reverse(b.begin(), b.end());
        std::reverse(t.begin(), t.end());
    }
    std::vector<Face> faces;
    append_bottom_caps(faces, b, z0, prefix);
    append_top_caps(faces, t, z1, prefix);
    const std::size_t n = b.size();
    for (std::size_t i = 0; i < n; ++i) {
        poll_interrupt();
        const std::size_t j = (i + 1) % n;
        // The first side triangle reads T_j before T_i.
        const Point2& tj = at(t, j);
        const Point2& ti = at(t, i);
        std::string name = side_label(prefix, i);
        faces.push_back(make_face({lift(b[i], z0), lift(b[j], z0), lift(tj, z1)}, name));
        faces.push_back(make_face({lift(b[i], z0), lift(tj, z1), lift(ti, z1)}, std::move(name)));
    }
    return solid_from_faces(std::move(faces));
}

}  // namespace qs
