#include "mesh/face_rules.hpp"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"
#include "validity/validity.hpp"

namespace qs {

namespace {

const char* const kClockwise =
    "the loop runs clockwise seen from the side the normal points to";

std::string vertex_text(const char* what, std::size_t j) {
    return std::string(what) + " at vertex " + std::to_string(j);
}

// The sign of (b - a) x (c - b) . area for vertices a, b, c of f, and of
// (b - a) . (c - b) where the first is zero. Doubles decide the turn when
// their error bound allows: each coordinate's nearest double is off by u of
// itself, so each difference by about 2u of the two magnitudes, and each of
// the six monomials by about 8u of the product of those; 16u covers it.
// Points along a side (turn exactly zero) always take the exact road.
struct Turn {
    int turn, along;
};

Turn turn_at(const Face& f, std::size_t ia, std::size_t ib, std::size_t ic, const Point3& area,
             const Approx& ad) {
    if (f.approx.size() == f.vertices.size()) {
        const Approx &a = f.approx[ia], &b = f.approx[ib], &c = f.approx[ic];
        double e1[3], e2[3], m1[3], m2[3];
        for (int k = 0; k < 3; ++k) {
            e1[k] = b[k] - a[k];
            e2[k] = c[k] - b[k];
            m1[k] = std::fabs(a[k]) + std::fabs(b[k]);
            m2[k] = std::fabs(b[k]) + std::fabs(c[k]);
        }
        double t = 0, mag = 0;
        for (int k = 0; k < 3; ++k) {
            const int i = (k + 1) % 3, j = (k + 2) % 3;
            t += ad[k] * (e1[i] * e2[j] - e1[j] * e2[i]);
            mag += std::fabs(ad[k]) * (m1[i] * m2[j] + m1[j] * m2[i]);
        }
        const double bound = 16 * 0x1p-53 * mag + 0x1p-1000;
        if (std::isfinite(t) && std::isfinite(bound) && std::fabs(t) > bound)
            return {t > 0 ? 1 : -1, 0};
    }
    const Point3& a = f.vertices[ia];
    const Point3& b = f.vertices[ib];
    const Point3& c = f.vertices[ic];
    Point3 e1 = b - a, e2 = c - b;
    int t = dot(cross(e1, e2), area).sign();
    return {t, t == 0 ? dot(e1, e2).sign() : 0};
}

// The sign of b - a in one coordinate. Rounding to nearest is monotone, so
// distinct doubles already order the exact values.
int sign_of_difference(const Face& f, std::size_t ia, std::size_t ib, int c) {
    if (f.approx.size() == f.vertices.size()) {
        double da = f.approx[ia][std::size_t(c)], db = f.approx[ib][std::size_t(c)];
        if (da < db) return 1;
        if (da > db) return -1;
    }
    const auto o = f.vertices[ib][c] <=> f.vertices[ia][c];
    return o > 0 ? 1 : (o < 0 ? -1 : 0);
}

// Convexity of a loop of nonzero area, its turns measured against `ref`, a
// nonzero vector along the face's normal. Seen from the tip of the area
// vector every
// turn must go left (or straight on), none may fold back, and the loop must
// go around once: with all turns to one side, an edge direction that goes
// around k times changes the sign of one projected coordinate 2k times, so
// exactly two changes mean one turn. Turns that all go right seen from
// `ref` mean the loop runs clockwise about it; where the turns disagree,
// the exact area vector tells which way the loop runs.
std::optional<std::string> convexity_problem(const Face& f, const Point3& ref) {
    const auto& v = f.vertices;
    std::vector<std::size_t> corner;  // indices of the loop without repeats in a row
    corner.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        if (corner.empty() || !(v[i] == v[corner.back()])) corner.push_back(i);
    while (corner.size() > 1 && v[corner.back()] == v[corner.front()]) corner.pop_back();
    const std::size_t m = corner.size();
    const Approx ad = {rational_to_double(ref.x), rational_to_double(ref.y),
                       rational_to_double(ref.z)};

    std::vector<Turn> turns(m);
    bool left = false, right = false;
    for (std::size_t k = 0; k < m; ++k) {
        poll_interrupt();  // one face may have very many vertices
        turns[k] = turn_at(f, corner[k], corner[(k + 1) % m], corner[(k + 2) % m], ref, ad);
        left |= turns[k].turn > 0;
        right |= turns[k].turn < 0;
    }
    int way = left ? 1 : -1;
    if (left && right) way = dot(ref, area_vector(v)).sign();
    if (way <= 0) return std::string(kClockwise);

    // Project along the largest component of the normal.
    int drop = 0;
    for (int c = 1; c < 3; ++c)
        if (ref[c].abs() > ref[drop].abs()) drop = c;
    const int axis = (drop + 1) % 3;
    int first = 0, last = 0, changes = 0;
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t ib = corner[(k + 1) % m];
        if (turns[k].turn < 0) return vertex_text("the loop is not convex", ib);
        if (turns[k].turn == 0 && turns[k].along < 0) return vertex_text("the loop folds back", ib);
        int s = sign_of_difference(f, corner[k], ib, axis);
        if (s == 0) continue;
        if (first == 0) first = s;
        if (last != 0 && s != last) ++changes;
        last = s;
    }
    if (last != first) ++changes;
    if (changes != 2) return std::string("the loop goes around more than once");
    return std::nullopt;
}

// normal . p == offset, in machine words when all of them are small
// integers (faces of boxes and grids), exactly in any case.
bool on_plane(const Plane& pl, const Point3& p) {
    auto small = [](const Rational& r) {
        const slong n = *r.num();  // the value itself when it is not a pointer
        return r.is_integer() && !COEFF_IS_MPZ(n) && n < (slong(1) << 60) && n > -(slong(1) << 60);
    };
    if (small(pl.offset) && small(pl.normal.x) && small(pl.normal.y) && small(pl.normal.z) &&
        small(p.x) && small(p.y) && small(p.z)) {
        __int128 s = 0;
        for (int c = 0; c < 3; ++c) s += __int128(*pl.normal[c].num()) * __int128(*p[c].num());
        return s == __int128(*pl.offset.num());
    }
    return dot(pl.normal, p) == pl.offset;
}

std::string face_name(std::size_t index) { return "face " + std::to_string(index); }

// face_problem with its first `known` vertices known to lie on the plane
// (it was made from them), and the area vector where the caller has it.
std::optional<std::string> problem_of(const Face& f, const Point3* area, std::size_t known) {
    const auto& v = f.vertices;
    if (v.size() < 3)
        return "a face needs at least 3 vertices, got " + std::to_string(v.size());
    for (std::size_t j = known; j < v.size(); ++j) {
        poll_interrupt();
        if (!on_plane(f.plane, v[j])) return "vertex " + std::to_string(j) + " is not on the face's plane";
    }
    if (area ? area->is_zero() : has_zero_area(v, f.approx)) return std::nullopt;
    // The booleans cut along the stored plane: a zero one would cut wrongly.
    if (f.plane.normal.is_zero()) return std::string(text::kZeroNormal);
    // All vertices lie on the plane, so the area vector runs along the
    // normal, one way or the other; the turns against the normal tell which.
    if (v.size() == 3) {
        // A triangle with area is convex; its one turn is its winding.
        Turn t = turn_at(f, 0, 1, 2, f.plane.normal,
                         {rational_to_double(f.plane.normal.x), rational_to_double(f.plane.normal.y),
                          rational_to_double(f.plane.normal.z)});
        if (t.turn <= 0) return std::string(kClockwise);
        return std::nullopt;
    }
    return convexity_problem(f, f.plane.normal);
}

// The sign of a closed shell's volume, from doubles where their error
// bound decides it. Each fan term p0 . (pi x pj) computed from the nearest
// doubles is off by at most about 10u times the sum of the magnitudes of
// its six monomials (three rounded inputs, the products, the sums); the
// running sum adds u of its own size per term. (16 + n) u covers both.
int volume_sign(const Solid& s) {
    double sum = 0, mag = 0;
    std::size_t terms = 0;
    for (const Face& f : s.faces) {
        const auto& a = f.approx;
        for (std::size_t i = 1; i + 1 < a.size(); ++i, ++terms) {
            const Approx &p = a[0], &q = a[i], &r = a[i + 1];
            sum += p[0] * (q[1] * r[2] - q[2] * r[1]) + p[1] * (q[2] * r[0] - q[0] * r[2]) +
                   p[2] * (q[0] * r[1] - q[1] * r[0]);
            mag += std::fabs(p[0]) * (std::fabs(q[1] * r[2]) + std::fabs(q[2] * r[1])) +
                   std::fabs(p[1]) * (std::fabs(q[2] * r[0]) + std::fabs(q[0] * r[2])) +
                   std::fabs(p[2]) * (std::fabs(q[0] * r[1]) + std::fabs(q[1] * r[0]));
        }
    }
    const double bound = (16 + double(terms)) * 0x1p-53 * mag + double(terms) * 0x1p-1020;
    if (std::isfinite(sum) && std::isfinite(bound) && std::fabs(sum) > bound)
        return sum > 0 ? 1 : -1;
    return solid_volume6(s).sign();
}

// Transforms rebuild a face's plane from its first three vertices, so a
// loop that starts along a side (its first three vertices on one line)
// would get a zero normal from the first transform, and the booleans would
// then cut it wrongly. Such a loop is turned to start where the first three
// vertices make a turn the loop's way; the polygon stays the same. Returns
// that corner's cross product (the plane_of normal of the turned loop), or
// nothing when no corner turns the loop's way.
std::optional<Point3> start_at_a_corner(std::vector<Point3>& v, const Point3& area) {
    const std::size_t n = v.size();
    for (std::size_t r = 0; r < n; ++r) {
        const Point3& a = v[r];
        Point3 c = cross(v[(r + 1) % n] - a, v[(r + 2) % n] - a);
        if (dot(c, area).sign() > 0) {
            std::rotate(v.begin(), v.begin() + long(r), v.end());
            return c;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> face_problem(const Face& f) { return problem_of(f, nullptr, 0); }

std::size_t bytes_of(const Rational& r) {
    // An integer beyond a word is an mpz: its header, its limbs and the
    // allocator's share of each.
    auto heap = [](const fmpz* z) { return COEFF_IS_MPZ(*z) ? 48 + 8 * fmpz_size(z) : 0; };
    return sizeof(Rational) + heap(r.num()) + heap(r.den());
}

std::size_t bytes_of(const Point3& p) { return bytes_of(p.x) + bytes_of(p.y) + bytes_of(p.z); }

void ReadBudget::take(std::size_t bytes) {
    used_ += bytes;
    if (used_ > limit_) throw InputError(text::beyond_read_budget(limit_, kFactor, kFloor));
}

void FaceAssembly::add(InputFace&& g, std::size_t i) {
    poll_interrupt();
    auto fail = [&](const std::string& what) { throw InputError(g.line, face_name(i), what); };
    if (g.vertices.size() < 3)
        fail("a face needs at least 3 vertices, got " + std::to_string(g.vertices.size()));
    Point3 area = area_vector(g.vertices);
    if (area.is_zero()) return;
    // A triangle's one corner is its area vector, which always turns its way.
    std::optional<Point3> corner;
    if (g.vertices.size() > 3) corner = start_at_a_corner(g.vertices, area);
    Plane pl;
    std::size_t known = 0;  // vertices on the plane by construction
    if (g.normal) {
        if (g.normal->is_zero()) fail(text::kZeroNormal);
        if (dot(*g.normal, area).sign() <= 0) fail(kClockwise);
        pl.normal = std::move(*g.normal);
    } else if (g.vertices.size() == 3) {
        pl.normal = area;  // for a triangle, the rule of make_face gives the same
        known = 3;
    } else if (corner) {
        pl.normal = std::move(*corner);
        known = 3;
    } else {
        pl.normal = area;
        known = 1;
    }
    if (g.offset) {
        pl.offset = std::move(*g.offset);
        known = 0;
    } else {
        pl.offset = dot(pl.normal, g.vertices[0]);
    }
    Face f;
    f.approx = approximate(g.vertices);
    f.vertices = std::move(g.vertices);
    f.label = std::move(g.label);
    f.plane = std::move(pl);
    if (auto problem = problem_of(f, &area, known)) {
        if (!hint_.empty() && problem->find(" is not on the face's plane") != std::string::npos)
            *problem += hint_;
        fail(*problem);
    }
    f.planar = true;  // every vertex was made or found to lie in the plane
    s_.faces.push_back(std::move(f));
    origin_.emplace_back(i, g.line);
}

Solid FaceAssembly::finish(bool check) && {
    Solid s = std::move(s_);
    if (!check) return s;
    if (auto open = find_open_edge(s)) {
        const auto [i, line] = origin_[open->face];
        const std::size_t n = s.faces[open->face].vertices.size();
        throw InputError(line, face_name(i), text::open_edge(open->edge, (open->edge + 1) % n));
    }
    if (volume_sign(s) < 0) flip_faces(s.faces);
    const ValidityReport r = check_validity(s, true);
    if (auto e = validity_error(r, [&](std::size_t f) { return origin_[f].first; },
                                [&](std::size_t f) { return origin_[f].second; }))
        throw *e;
    return s;
}

Solid solid_from_input(std::vector<InputFace> in, bool check) {
    FaceAssembly a;
    for (std::size_t i = 0; i < in.size(); ++i) a.add(std::move(in[i]), i);
    return std::move(a).finish(check);
}

void add_polygons(FaceAssembly& a, const MeshInput& mesh, const std::vector<Point3>& points,
                  std::size_t first, bool reversed, bool triangulate, ReadBudget* budget) {
    std::vector<std::uint32_t> loop;
    std::size_t begin = 0;
    for (std::size_t k = 0; k < mesh.polygons.size(); ++k) {
        poll_interrupt();
        const MeshInput::Polygon& p = mesh.polygons[k];
        loop.clear();
        for (std::size_t c = begin; c < p.end; ++c) {
            const std::uint32_t v = mesh.corners[c];
            if (loop.empty() || loop.back() != v) loop.push_back(v);
        }
        while (loop.size() > 1 && loop.back() == loop.front()) loop.pop_back();
        if (p.end - begin >= 3 && loop.size() < 3) loop.clear();  // no area: dropped below
        if (reversed) std::reverse(loop.begin(), loop.end());
        const std::string& label = mesh.labels[p.label];
        auto emit = [&](std::size_t count, auto corner) {
            InputFace f;
            f.line = p.line;
            // The face costs its vertices, their doubles, a plane of about
            // twice their digits, its label and its own parts.
            std::size_t bytes = sizeof(Face) + 64 + label.size();
            for (std::size_t j = 0; j < count; ++j)
                bytes += 3 * bytes_of(points[corner(j)]) + sizeof(Approx);
            if (budget) budget->take(bytes);
            f.label = label;
            f.vertices.reserve(count);
            for (std::size_t j = 0; j < count; ++j) f.vertices.push_back(points[corner(j)]);
            a.add(std::move(f), first + k);
        };
        if (loop.empty()) {
            // Fewer than three names (refused by add), or no area (dropped).
            if (p.end - begin < 3) emit(p.end - begin, [&](std::size_t j) { return mesh.corners[begin + j]; });
        } else if (triangulate && loop.size() > 3) {
            for (std::size_t t = 1; t + 1 < loop.size(); ++t) {
                const std::uint32_t tri[3] = {loop[0], loop[t], loop[t + 1]};
                emit(3, [&](std::size_t j) { return tri[j]; });
            }
        } else {
            emit(loop.size(), [&](std::size_t j) { return loop[j]; });
        }
        begin = p.end;
    }
}

}  // namespace qs
