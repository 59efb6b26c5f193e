// A fixed corpus of seeded booleans and the summary recorded for each.
//
// The summaries in tests/data/boolean_corpus.txt were written by
// record_corpus from a build known to be right; test_corpus recomputes
// every case and asks for the same volume, the same canonical text and the
// same faces in the same stored order, so any change to the boolean that
// moves a single vertex, label, plane or face shows up.
//
// Kept out on purpose: booleans with an empty operand (directly or inside a
// chain) and chamfers of non-convex solids, whose results are meant to
// change.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "boolean/boolean.hpp"
#include "chamfer/chamfer.hpp"
#include "io/numbers.hpp"
#include "io/solid_text.hpp"
#include "query/canonical.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"

namespace qs::corpus {

// A case yields its result, or nothing when a chain would pass through an
// empty operand (such chains are not recorded).
struct Case {
    std::string name;
    std::function<std::optional<Solid>()> run;
};

// 64-bit LCG, high bits out: the same numbers on every platform.
struct Lcg {
    std::uint64_t s;
    std::uint64_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return s >> 33;
    }
    long pick(long lo, long hi) { return lo + long(next() % std::uint64_t(hi - lo + 1)); }
};

inline std::uint64_t fnv1a(const std::string& s) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

inline std::string hex64(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// Everything the faces carry, in stored order: label, vertices, plane and
// the approximations (in hexadecimal, so exactly).
inline std::string face_dump(const Solid& s) {
    std::string out;
    char buf[32];
    for (const Face& f : s.faces) {
        out += f.label;
        for (const Point3& p : f.vertices) {
            out += ' ';
            append_point(out, p);
        }
        out += " n ";
        append_point(out, f.plane.normal);
        out += ' ';
        append_rational(out, f.plane.offset);
        for (const Approx& a : f.approx)
            for (double c : a) {
                std::snprintf(buf, sizeof buf, " %a", c);
                out += buf;
            }
        out += '\n';
    }
    return out;
}

// Canonical texts up to this length are recorded in full, longer ones by
// length and hash only.
constexpr std::size_t kFullText = 512;

// One fixture line: name, six times the volume, face count, canonical
// length and hash, face-dump hash, and the canonical text when short.
inline std::string summary_line(const std::string& name, const Solid& s) {
    const std::string canon = canonical_form(s);
    std::string line = name;
    line += '\t' + format_rational(solid_volume6(s));
    line += '\t' + std::to_string(s.faces.size());
    line += '\t' + std::to_string(canon.size()) + '\t' + hex64(fnv1a(canon));
    line += '\t' + hex64(fnv1a(face_dump(s)));
    if (canon.size() <= kFullText) line += '\t' + canon;
    // Mesh cases also carry the hash of their lossless text.
    if (name.rfind("mesh/", 0) == 0) line += "\tdumps " + hex64(fnv1a(solid_to_text(s)));
    return line;
}

inline Rational q(long n, long d = 1) { return Rational(n, d); }

inline Rational power10(int e) {
    Rational r(1);
    for (int i = 0; i < e; ++i) r *= Rational(10);
    return r;
}

inline Solid box_at(const char* prefix, const Point3& at, const Rational& dx, const Rational& dy,
                    const Rational& dz) {
    return translate_solid(build_box(dx, dy, dz, prefix), at);
}

// A convex m-gon (m even) with rational corners exactly on a circle of
// radius r about (cx, cy): t = j (P - 1) / (m P) for odd j in (-m, m),
// mapped to ((1 - t^2) / (1 + t^2), 2t / (1 + t^2)) for the right half and
// mirrored for the left. The factor with P = 1009 gives denominators of
// ordinary size, beyond the small-number paths.
inline std::vector<Point2> circle_polygon(long m, const Rational& r, const Rational& cx,
                                          const Rational& cy) {
    const long P = 1009;
    std::vector<Point2> right;
    for (long j = -(m / 2) + 1; j < m / 2; j += 2) {
        Rational t(j * (P - 1), (m / 2) * P);
        Rational d = Rational(1) + t * t;
        right.push_back({(Rational(1) - t * t) / d, Rational(2) * t / d});
    }
    std::vector<Point2> poly;
    for (const Point2& p : right) poly.push_back({cx + r * p.x, cy + r * p.y});
    for (auto it = right.rbegin(); it != right.rend(); ++it)
        poly.push_back({cx - r * it->x, cy + r * it->y});
    return poly;
}

inline const char* op_name(long i) {
    static const char* const ops[] = {"union", "cut", "intersect"};
    return ops[i % 3];
}

inline void add_ops(std::vector<Case>& out, const std::string& name,
                    std::function<Solid()> a, std::function<Solid()> b) {
    for (long k = 0; k < 3; ++k) {
        const char* op = op_name(k);
        out.push_back({name + "/" + op, [=]() -> std::optional<Solid> {
                           return boolean_solids(op, a(), b());
                       }});
    }
}

// Random boxes on a grid of halves, some turned, mirrored or scaled, some
// with a many-faced first operand.
inline void box_cases(std::vector<Case>& out) {
    for (long round = 0; round < 100; ++round) {
        auto make = [round](bool second) {
            Lcg g{std::uint64_t(1000 + 2 * round + (second ? 1 : 0))};
            const long den = round % 4 == 3 ? 2 : 1;
            Point3 at(q(g.pick(0, 6), 2 * den), q(g.pick(0, 6), 2 * den), q(g.pick(0, 6), 2 * den));
            Solid s = box_at(second ? "B" : "A", at, q(g.pick(1, 6), den), q(g.pick(1, 6), den),
                             q(g.pick(1, 6), den));
            if (!second) return s;
            switch (round % 6) {
                case 1: return rotate_quarter_solid(s, std::uint64_t(round % 3), round % 4);
                case 2: return mirror_solid(s, std::uint64_t(round % 3));
                case 4: return scale_solid(s, q(-1), q(3, 2), q(1));
                default: return s;
            }
        };
        std::function<Solid()> a = [make] { return make(false); };
        if (round % 5 == 2) a = [make] { return boolean_solids("union", make(false), make(true)); };
        add_ops(out, "box/" + std::to_string(round), a, [make] { return make(true); });
    }
}

// Prisms over circle polygons against each other (caps in the same planes,
// or shifted so they cross the other's sides), against a box, and a
// prismatoid.
inline void prism_cases(std::vector<Case>& out) {
    for (long m : {4L, 8L, 16L, 32L, 64L, 128L}) {
        for (bool shifted : {false, true}) {
            if (m == 128 && !shifted) continue;
            auto a = [m] { return build_prism(circle_polygon(m, q(1), q(0), q(0)), q(1), "a"); };
            auto b = [m, shifted] {
                Solid s = build_prism(circle_polygon(m, q(1), q(1, 2), q(1, 3)), q(1), "b");
                return shifted ? translate_solid(s, Point3(q(0), q(0), q(1, 2))) : s;
            };
            add_ops(out, "prism/" + std::to_string(m) + (shifted ? "/shifted" : "/coplanar"), a,
                    b);
        }
    }
    // Caps turned upright, and mirrored.
    add_ops(out, "prism/24/turned",
            [] { return build_prism(circle_polygon(24, q(1), q(0), q(0)), q(1), "a"); },
            [] {
                Solid s = build_prism(circle_polygon(24, q(1), q(0), q(1, 5)), q(2), "b");
                return translate_solid(rotate_quarter_solid(s, 0, 1), Point3(q(0), q(1), q(0)));
            });
    add_ops(out, "prism/20/mirrored",
            [] { return build_prism(circle_polygon(20, q(1), q(0), q(0)), q(1), "a"); },
            [] {
                return mirror_solid(build_prism(circle_polygon(20, q(1), q(1, 7), q(0)), q(1), "b"),
                                    0);
            });
    add_ops(out, "prism/12-box",
            [] { return build_prism(circle_polygon(12, q(3, 2), q(0), q(0)), q(2), "p"); },
            [] { return box_at("B", Point3(q(-1), q(-1), q(1, 2)), q(3), q(1), q(1)); });
    add_ops(out, "prismatoid/10-box",
            [] {
                return build_prismatoid(circle_polygon(10, q(2), q(0), q(0)), q(0),
                                        circle_polygon(10, q(1), q(1, 4), q(0)), q(3, 2), "t");
            },
            [] { return box_at("B", Point3(q(-1, 3), q(-3), q(1, 3)), q(1), q(6), q(1)); });
}

// Chains of booleans, each result the next operand.
inline void chain_cases(std::vector<Case>& out) {
    out.push_back({"chain/staircase", [] {
                       auto step = [](long k) {
                           Solid s = box_at("step", Point3(q(-1, 2), q(-1, 2), q(0)), q(7, 2),
                                            q(1), q(3, 4));
                           return translate_solid(rotate_quarter_solid(s, 2, k),
                                                  Point3(q(0), q(0), q(k, 2)));
                       };
                       Solid s = step(0);
                       for (long k = 1; k < 12; ++k) s = boolean_solids("union", s, step(k));
                       return std::optional<Solid>(std::move(s));
                   }});
    // A slab with an n x n grid of unit holes cut one after another; the
    // 10 x 10 plate is a chain of 100 cuts.
    for (long n : {4L, 10L}) {
        const std::string name = n == 4 ? "chain/plate" : "chain/plate-10x10";
        out.push_back({name, [n] {
                           Solid s = build_box(q(2 * n + 1), q(2 * n + 1), q(1), "slab");
                           Solid hole = build_box(q(1), q(1), q(2), "hole");
                           for (long i = 0; i < n; ++i)
                               for (long j = 0; j < n; ++j)
                                   s = boolean_solids(
                                       "cut", s,
                                       translate_solid(hole, Point3(q(2 * i + 1), q(2 * j + 1),
                                                                    q(-1, 2))));
                           return std::optional<Solid>(std::move(s));
                       }});
    }
    for (long c = 0; c < 16; ++c) {
        out.push_back({"chain/random/" + std::to_string(c), [c]() -> std::optional<Solid> {
                           Lcg g{std::uint64_t(77 + c)};
                           Solid s = build_box(q(4), q(4), q(4), "base");
                           for (int k = 0; k < 6; ++k) {
                               const long op = g.pick(0, 5) % 3 == 2 && k > 2 ? 2 : k % 2;
                               // An intersecting box covers the middle.
                               const long lo = -2, hi = op == 2 ? 2 : 8;
                               const long size_lo = op == 2 ? 4 : 1, size_hi = op == 2 ? 6 : 5;
                               Point3 at(q(g.pick(lo, hi), 2), q(g.pick(lo, hi), 2),
                                         q(g.pick(lo, hi), 2));
                               Solid b = box_at("k", at, q(g.pick(size_lo, size_hi)),
                                                q(g.pick(size_lo, size_hi)),
                                                q(g.pick(size_lo, size_hi)));
                               if (k % 2) b = rotate_quarter_solid(b, std::uint64_t(k % 3), 1);
                               s = boolean_solids(op_name(op), s, b);
                               if (s.faces.empty()) return std::nullopt;
                           }
                           return s;
                       }});
    }
}

// Coordinates at and beyond the edge of the double range, and sizes below
// it: the filter cannot decide, the exact test does.
inline void huge_cases(std::vector<Case>& out) {
    struct Scale {
        const char* name;
        int offset_exp;  // boxes placed near 10^offset_exp
        int size_exp;    // sizes of 10^size_exp (negative: 10^-size)
    };
    const Scale scales[] = {{"e300", 300, 0}, {"e400", 400, 0}, {"size-e400", 0, 400},
                            {"size-e-400", 0, -400}};
    for (const Scale& sc : scales) {
        auto unit = [sc] {
            return sc.size_exp < 0 ? Rational(1) / power10(-sc.size_exp) : power10(sc.size_exp);
        };
        auto a = [sc, unit] {
            Rational u = unit(), o = power10(sc.offset_exp);
            return box_at("A", Point3(o, Rational(0), Rational(0)), u * q(2), u * q(2), u * q(2));
        };
        auto b = [sc, unit] {
            Rational u = unit(), o = power10(sc.offset_exp);
            return box_at("B", Point3(o + u, u * q(1, 3), u * q(-1)), u * q(2), u, u * q(2));
        };
        add_ops(out, std::string("huge/") + sc.name, a, b);
    }
}

// Triangle meshes as files bring them: double coordinates, read exactly.
using Mesh = std::pair<std::vector<std::array<double, 3>>, std::vector<std::array<int, 3>>>;

inline Solid mesh_solid(const Mesh& m, const char* label, const std::array<double, 3>& at = {}) {
    std::vector<Point3> points;
    for (const auto& v : m.first)
        points.emplace_back(*double_value(v[0] + at[0]), *double_value(v[1] + at[1]),
                            *double_value(v[2] + at[2]));
    std::vector<Face> faces;
    for (const auto& t : m.second)
        faces.push_back(make_face({points[t[0]], points[t[1]], points[t[2]]}, label));
    return solid_from_faces(std::move(faces));
}

// The icosahedron subdivided `levels` times, every vertex pushed out to the
// unit sphere: 20 * 4^levels triangles, wound outward.
inline Mesh icosphere(int levels) {
    const double t = (1 + std::sqrt(5.0)) / 2;
    Mesh m;
    auto& v = m.first;
    v = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
         {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    auto unit = [](std::array<double, 3> p) {
        const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return std::array<double, 3>{p[0] / r, p[1] / r, p[2] / r};
    };
    for (auto& p : v) p = unit(p);
    m.second = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int, int>, int> mid;
        auto middle = [&](int a, int b) {
            auto key = std::minmax(a, b);
            auto it = mid.find(key);
            if (it != mid.end()) return it->second;
            const auto &p = v[a], &q = v[b];
            v.push_back(unit({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2}));
            return mid[key] = int(v.size() - 1);
        };
        std::vector<std::array<int, 3>> next;
        for (const auto& f : m.second) {
            const int a = middle(f[0], f[1]), b = middle(f[1], f[2]), c = middle(f[2], f[0]);
            next.insert(next.end(), {{f[0], a, c}, {f[1], b, a}, {f[2], c, b}, {a, b, c}});
        }
        m.second = std::move(next);
    }
    return m;
}

// A torus about the z axis (radii 1 and 2/5), n x k quads each cut into two
// triangles: not convex, and of genus one.
inline Mesh torus(int n, int k) {
    const double pi = 3.14159265358979323846;
    Mesh m;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < k; ++j) {
            const double u = 2 * pi * i / n, w = 2 * pi * j / k;
            const double r = 1 + 0.4 * std::cos(w);
            m.first.push_back({r * std::cos(u), r * std::sin(u), 0.4 * std::sin(w)});
        }
    auto at = [&](int i, int j) { return (i % n) * k + (j % k); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < k; ++j) {
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            m.second.push_back({a, b, c});
            m.second.push_back({a, c, d});
        }
    return m;
}

// Spheres read from meshes: drilled through the middle by a long box, met
// with a moved copy of themselves; a torus cut and met with a box and with
// a turned copy of itself.
inline void mesh_cases(std::vector<Case>& out) {
    for (int levels : {3, 4}) {
        const std::string name = "mesh/sphere-" + std::to_string(20 << (2 * levels));
        auto sphere = [levels] { return mesh_solid(icosphere(levels), "s"); };
        auto drill = [] {
            return box_at("drill", Point3(q(-1, 4), q(-1, 4), q(-2)), q(1, 2), q(1, 2), q(4));
        };
        add_ops(out, name + "/drill", sphere, drill);
        if (levels > 3) continue;  // the larger pair takes seconds
        add_ops(out, name + "/moved", sphere,
                [levels] { return mesh_solid(icosphere(levels), "m", {0.3, 0.2, 0.1}); });
    }
    auto ring = [] { return mesh_solid(torus(24, 12), "t"); };
    add_ops(out, "mesh/torus/box", ring,
            [] { return box_at("B", Point3(q(1, 2), q(-2), q(-1, 5)), q(2), q(4), q(2, 5)); });
    // Coarser: every plane of one ring cuts the other's faces many times.
    add_ops(out, "mesh/torus/turned", [] { return mesh_solid(torus(12, 6), "t"); },
            [] { return rotate_quarter_solid(mesh_solid(torus(12, 6), "u", {0.5, 0, 0}), 0, 1); });
}

// Chamfers of convex solids (each a chain of cuts), and booleans with a
// chamfered operand.
inline void chamfer_cases(std::vector<Case>& out) {
    auto cube = [] { return chamfer_solid(build_box(q(1), q(1), q(1), "c"), q(1, 10)); };
    out.push_back({"chamfer/cube", [cube] { return std::optional<Solid>(cube()); }});
    out.push_back({"chamfer/box-2-3-5", [] {
                       return std::optional<Solid>(
                           chamfer_solid(build_box(q(2), q(3), q(5), "b"), q(1, 4)));
                   }});
    // A right triangle with legs 4 and 3: the hypotenuse's normal is 3-4-5.
    out.push_back({"chamfer/prism-3-4-5", [] {
                       std::vector<Point2> tri = {{q(0), q(0)}, {q(4), q(0)}, {q(0), q(3)}};
                       return std::optional<Solid>(
                           chamfer_solid(build_prism(std::move(tri), q(1), "t"), q(1, 5)));
                   }});
    add_ops(out, "chamfer/cube-box", cube,
            [] { return box_at("B", Point3(q(1, 2), q(-1, 2), q(1, 3)), q(1), q(2), q(1)); });
}

inline std::vector<Case> all_cases() {
    std::vector<Case> out;
    box_cases(out);
    prism_cases(out);
    chain_cases(out);
    huge_cases(out);
    chamfer_cases(out);
    mesh_cases(out);
    return out;
}

}  // namespace qs::corpus
