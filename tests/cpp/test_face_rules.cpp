#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "mesh/face_rules.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"
#include "solid/box.hpp"

namespace qs {
namespace {

Point3 p3(long x, long y, long z) { return Point3(Rational(x), Rational(y), Rational(z)); }

// A loop in the plane z = 1, counter-clockwise seen from +z.
Face flat(std::vector<std::pair<long, long>> xy) {
    std::vector<Point3> v;
    for (auto [x, y] : xy) v.push_back(p3(x, y, 1));
    Face f = make_face(v, "f");
    f.plane = Plane{p3(0, 0, 1), Rational(1)};
    return f;
}

std::string problem(const Face& f) { return face_problem(f).value_or("none"); }

TEST(FaceProblem, ConvexLoopsWithStraightAndRepeatedCornersPass) {
    EXPECT_EQ(problem(flat({{0, 0}, {2, 0}, {2, 2}, {0, 2}})), "none");
    // Points along the sides (T-junctions) and a corner given twice.
    EXPECT_EQ(problem(flat({{0, 0}, {1, 0}, {2, 0}, {2, 2}, {2, 2}, {1, 2}, {0, 2}, {0, 1}})),
              "none");
    // Starting on a side, and the first point repeated at the end.
    EXPECT_EQ(problem(flat({{1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}, {1, 0}})), "none");
    // No area at all: transforms can flatten a face, and it must read back.
    Face line = flat({{0, 0}, {1, 0}, {2, 0}});
    EXPECT_EQ(problem(line), "none");
}

TEST(FaceProblem, WhatIsRefused) {
    Face two = flat({{0, 0}, {1, 0}, {1, 1}});
    two.vertices.pop_back();
    EXPECT_EQ(problem(two), "a face needs at least 3 vertices, got 2");
    Face off = flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    off.vertices[3].z = Rational(2);
    EXPECT_EQ(problem(off), "vertex 3 is not on the face's plane");
    EXPECT_EQ(problem(flat({{0, 0}, {0, 1}, {1, 1}, {1, 0}})),
              "the loop runs clockwise seen from the side the normal points to");
    EXPECT_EQ(problem(flat({{0, 0}, {2, 0}, {2, 2}, {1, 1}, {0, 2}})),
              "the loop is not convex at vertex 3");
    EXPECT_EQ(problem(flat({{0, 0}, {2, 0}, {2, 2}, {2, 3}, {2, 2}, {0, 2}})),
              "the loop folds back at vertex 3");
    // A pentagram turns left at every corner but goes around twice.
    EXPECT_EQ(problem(flat({{0, 0}, {4, 0}, {1, 3}, {2, -1}, {3, 3}})),
              "the loop goes around more than once");
    // Twice around a square, corners repeated: also refused.
    EXPECT_EQ(problem(flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}})),
              "the loop goes around more than once");
}

TEST(FaceProblem, AZeroStoredNormalIsRefusedWhereTheFaceHasArea) {
    // The booleans cut along the stored plane, and a zero normal cuts along
    // nothing: the union of such a face's solid with a box came out wrong.
    Face zero = flat({{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}});
    zero.plane = plane_of(zero.vertices);
    ASSERT_TRUE(zero.plane.normal.is_zero());
    EXPECT_EQ(problem(zero), "the normal is zero");
    // A face flattened to no area keeps passing, whatever its plane.
    Face line = flat({{0, 0}, {1, 0}, {2, 0}});
    line.plane = plane_of(line.vertices);
    EXPECT_EQ(problem(line), "none");
}

std::vector<InputFace> input_of(const Solid& s, bool with_planes) {
    std::vector<InputFace> in;
    for (const Face& f : s.faces) {
        InputFace g;
        g.label = f.label;
        g.vertices = f.vertices;
        if (with_planes) {
            g.normal = f.plane.normal;
            g.offset = f.plane.offset;
        }
        in.push_back(std::move(g));
    }
    return in;
}

std::string refusal(std::vector<InputFace> in, bool check = true) {
    try {
        solid_from_input(std::move(in), check);
    } catch (const InputError& e) {
        return e.what();
    }
    return "built";
}

TEST(SolidFromInput, BuildsAndTurnsInwardShellsOver) {
    Solid box = build_box(Rational(2), Rational(3), Rational(5), "b");
    for (bool planes : {true, false}) {
        Solid s = solid_from_input(input_of(box, planes), true);
        ASSERT_EQ(s.faces.size(), 6u);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(s.faces[i].vertices, box.faces[i].vertices);
            EXPECT_EQ(s.faces[i].plane.normal, box.faces[i].plane.normal);
            EXPECT_EQ(s.faces[i].plane.offset, box.faces[i].plane.offset);
        }
    }
    Solid inward = build_box(Rational(-2), Rational(3), Rational(5), "n");
    ASSERT_EQ(solid_volume6(inward), Rational(-180));
    EXPECT_EQ(solid_volume6(solid_from_input(input_of(inward, true), true)), Rational(180));
    EXPECT_EQ(solid_volume6(solid_from_input(input_of(inward, true), false)), Rational(-180));
}

TEST(SolidFromInput, NamesTheFaceAndItsLine) {
    Solid box = build_box(Rational(1), Rational(1), Rational(1), "b");
    auto in = input_of(box, true);
    *in[3].normal = -*in[3].normal;
    EXPECT_EQ(refusal(in), "face 3: the loop runs clockwise seen from the side the normal points to");
    in = input_of(box, false);
    in[2].vertices[1].y = Rational(1, 2);
    in[2].line = 17;
    EXPECT_EQ(refusal(in), "face 2 (line 17): vertex 3 is not on the face's plane");
    in = input_of(box, true);
    in[4].normal = p3(0, 0, 0);
    EXPECT_EQ(refusal(in), "face 4: the normal is zero");
    // A face without area is dropped before it is looked at.
    in = input_of(box, true);
    InputFace line;
    line.vertices = {p3(0, 0, 0), p3(1, 1, 1), p3(2, 2, 2)};
    line.normal = p3(0, 0, 0);
    in.insert(in.begin() + 1, line);
    EXPECT_EQ(solid_from_input(in, true).faces.size(), 6u);
}

TEST(FindOpenEdge, NamesAnEdgeThatIsNotMatched) {
    Solid box = build_box(Rational(1), Rational(1), Rational(1), "b");
    EXPECT_FALSE(find_open_edge(box).has_value());
    for (std::size_t missing = 0; missing < 6; ++missing) {
        Solid open = box;
        const Face gone = open.faces[missing];
        open.faces.erase(open.faces.begin() + long(missing));
        auto e = find_open_edge(open);
        ASSERT_TRUE(e.has_value());
        // The named edge is one of the missing face's edges, run the other way.
        const auto& v = open.faces[e->face].vertices;
        const Point3& a = v[e->edge];
        const Point3& b = v[(e->edge + 1) % v.size()];
        bool found = false;
        for (std::size_t j = 0; j < gone.vertices.size(); ++j)
            found |= gone.vertices[j] == b && gone.vertices[(j + 1) % gone.vertices.size()] == a;
        EXPECT_TRUE(found) << "missing " << missing;
        auto in = input_of(open, true);
        EXPECT_NE(refusal(in).find("so the surface is not closed"), std::string::npos);
        EXPECT_EQ(refusal(input_of(open, true), false), "built");
    }
}

// The rule of the closedness check, done plainly: every edge on its line,
// the signed coverage of every elementary interval summed.
bool closed_by_lines(const Solid& s) {
    std::map<std::string, std::vector<std::pair<Rational, Rational>>> lines;  // (from, to)
    for (const Face& f : s.faces)
        for (std::size_t j = 0; j < f.vertices.size(); ++j)
            if (auto e = edge_on_line(f.vertices[j], f.vertices[(j + 1) % f.vertices.size()]))
                lines[e->key].emplace_back(e->ta, e->tb);
    for (const auto& [key, spans] : lines) {
        std::set<Rational> cuts;
        for (const auto& [a, b] : spans) cuts.insert({a, b});
        for (auto it = cuts.begin(); std::next(it) != cuts.end(); ++it) {
            long sum = 0;
            for (const auto& [a, b] : spans) {
                if (std::min(a, b) <= *it && *std::next(it) <= std::max(a, b)) sum += a < b ? 1 : -1;
            }
            if (sum != 0) return false;
        }
    }
    return true;
}

TEST(FindOpenEdge, AgreesWithThePlainRuleOnDamagedSolids) {
    std::mt19937_64 rng(9);
    Solid box = build_box(Rational(2), Rational(1), Rational(1), "b");
    int open = 0, closed = 0;
    for (int round = 0; round < 400; ++round) {
        Solid s;
        for (const Face& f : box.faces) {
            // Split some faces into k strips across x, T-junctions for the rest.
            bool spans_x = f.plane.normal.x.is_zero();
            if (spans_x && rng() % 2) {
                const long k = 2 + long(rng() % 4);
                for (long i = 0; i < k; ++i) {
                    std::vector<Point3> v = f.vertices;
                    for (Point3& p : v)
                        p.x = p.x.is_zero() ? Rational(2 * i, k) : Rational(2 * i + 2, k);
                    s.faces.push_back(make_face(std::move(v), f.label));
                }
            } else {
                s.faces.push_back(f);
            }
        }
        for (int k = 0, n = int(rng() % 3); k < n; ++k) {
            std::size_t i = rng() % s.faces.size();
            switch (rng() % 4) {
                case 0: s.faces.erase(s.faces.begin() + long(i)); break;
                case 1: s.faces[i] = flip_face(s.faces[i]); break;
                case 2: s.faces.push_back(s.faces[i]); break;
                default: {
                    auto& v = s.faces[i].vertices;
                    v.insert(v.begin() + long(rng() % v.size()), v[rng() % v.size()]);
                }
            }
            if (s.faces.empty()) break;
        }
        const bool want = closed_by_lines(s);
        ASSERT_EQ(watertight_ok(s), want) << "round " << round;
        (want ? closed : open) += 1;
        if (auto e = find_open_edge(s)) {
            // The named edge is not cancelled end to end by edges running back.
            const auto& v = s.faces[e->face].vertices;
            const Point3& a = v[e->edge];
            const Point3& b = v[(e->edge + 1) % v.size()];
            long net = 0;
            for (const Face& f : s.faces)
                for (std::size_t j = 0; j < f.vertices.size(); ++j) {
                    const Point3& p = f.vertices[j];
                    const Point3& q = f.vertices[(j + 1) % f.vertices.size()];
                    net += (p == a && q == b) - (p == b && q == a);
                }
            EXPECT_NE(net, 0) << "round " << round;
        }
    }
    EXPECT_GT(open, 50);
    EXPECT_GT(closed, 50);
}

}  // namespace
}  // namespace qs
