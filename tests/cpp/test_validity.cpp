// The validity check: faces that do not bound a solid are found exactly,
// and the box tree and the grouping of faces change only the work.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <tuple>

#include "boolean/boolean.hpp"
#include "query/watertight.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"
#include "support.hpp"
#include "validity/validity.hpp"

namespace qs {
namespace {

Solid box(long x, long y, long z, long dx, long dy, long dz) {
    return build_box_at(Rational(dx), Rational(dy), Rational(dz),
                        Point3(Rational(x), Rational(y), Rational(z)), "b");
}

Solid join(Solid a, const Solid& b) {
    a.faces.insert(a.faces.end(), b.faces.begin(), b.faces.end());
    return a;
}

Solid inward(Solid s) {
    flip_faces(s.faces);
    return s;
}

// The octahedron around c with half-diagonal r, faces outward.
Solid octahedron(const Point3& c, long r) {
    const Rational k(r), z(0);
    const Point3 px = c + Point3(k, z, z), nx = c - Point3(k, z, z), py = c + Point3(z, k, z),
                 ny = c - Point3(z, k, z), pz = c + Point3(z, z, k), nz = c - Point3(z, z, k);
    Solid s;
    const Point3* ring[4] = {&px, &py, &nx, &ny};
    for (int i = 0; i < 4; ++i) {
        const Point3 &a = *ring[i], &b = *ring[(i + 1) % 4];
        s.faces.push_back(make_face({a, b, pz}, "o"));
        s.faces.push_back(make_face({b, a, nz}, "o"));
    }
    return s;
}

Solid tetra_down(const Point3& apex) {  // apex at the bottom, base one above
    const Rational o(1), z(0);
    const Point3 a = apex + Point3(o, z, o), b = apex + Point3(-o, o, o), c = apex + Point3(-o, -o, o);
    Solid s;
    s.faces.push_back(make_face({a, b, c}, "t"));
    s.faces.push_back(make_face({apex, b, a}, "t"));
    s.faces.push_back(make_face({apex, c, b}, "t"));
    s.faces.push_back(make_face({apex, a, c}, "t"));
    return s;
}

struct Expect {
    std::optional<PairFault> fault;
    long front = 0;  // the winding number in front of the first wrong face
};

ValidityReport check(const Solid& s, ValidityOptions o = {}) {
    return check_validity(s, watertight_ok(s), o);
}

void expect(const char* name, const Solid& s, Expect e) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(watertight_ok(s));
    ValidityReport r = check(s);
    if (e.fault) {
        ASSERT_EQ(r.faults.size(), 1u);
        EXPECT_EQ(r.faults[0].fault, *e.fault);
        return;
    }
    EXPECT_TRUE(r.faults.empty());
    ASSERT_TRUE(r.winding_known);
    EXPECT_EQ(r.wrong_face.has_value(), e.front != 0);
    if (r.wrong_face) {
        EXPECT_EQ(r.wrong_front, e.front);
    }
}

// Each case pins one rule; what may touch and what may not.
TEST(Validity, CasesThatPinTheRules) {
    const Solid cube = box(0, 0, 0, 4, 4, 4);
    expect("a cube", cube, {});
    expect("two overlapping cubes in one shell", join(cube, box(2, 2, 2, 4, 4, 4)), {PairFault::cross});
    expect("a cube inside a cube, both outward", join(cube, box(1, 1, 1, 1, 1, 1)), {std::nullopt, 1});
    expect("a cavity", join(cube, inward(box(1, 1, 1, 1, 1, 1))), {});
    expect("an inward cube alone", inward(cube), {std::nullopt, -1});
    expect("an inward cube beside a cube", join(cube, inward(box(5, 0, 0, 1, 1, 1))),
           {std::nullopt, -1});
    expect("every face twice", join(cube, cube), {PairFault::repeat});
    expect("two cubes face to face", join(cube, box(4, 1, 1, 2, 2, 2)), {PairFault::back_to_back});
    expect("two cubes sharing an edge", join(cube, box(4, 4, 0, 4, 4, 4)), {});
    expect("two cubes sharing a corner", join(cube, box(4, 4, 4, 1, 1, 1)), {});
    expect("two cubes along part of an edge", join(cube, box(4, 4, 1, 1, 1, 1)), {});
    // A prism whose edge lies inside the cube's face x = 4, outside it.
    Solid wedge = build_prism({{Rational(4), Rational(2)}, {Rational(5), Rational(1)},
                               {Rational(5), Rational(3)}},
                              Rational(2), "w");
    wedge = translate_solid(wedge, Point3(Rational(0), Rational(0), Rational(1)));
    expect("a prism standing on the inside of a face", join(cube, wedge), {});
    // An octahedron whose middle square lies inside the cube's top face:
    // its upper half outside, its lower half inside the cube.
    expect("an octahedron through a face",
           join(cube, octahedron(Point3(Rational(2), Rational(2), Rational(4)), 1)),
           {PairFault::passes_through});
    expect("a tetrahedron standing on its apex on a face",
           join(cube, tetra_down(Point3(Rational(2), Rational(2), Rational(4)))), {});
    expect("the same inside the cube",
           join(cube, tetra_down(Point3(Rational(2), Rational(2), Rational(1)))), {std::nullopt, 1});
    Solid plate = box(0, 0, 0, 7, 7, 1);
    for (long i = 1; i < 6; i += 2)
        for (long j = 1; j < 6; j += 2) plate = boolean_solids("cut", plate, box(i, j, -1, 1, 1, 3));
    expect("a plate with holes, T-junctions everywhere", plate, {});
}

std::tuple<std::set<std::tuple<std::size_t, std::size_t, int>>, bool, long, long,
           std::optional<std::size_t>, long>
summary(const ValidityReport& r) {
    std::set<std::tuple<std::size_t, std::size_t, int>> faults;
    for (const FacePair& p : r.faults) faults.insert({p.first, p.second, int(p.fault)});
    return {faults, r.winding_known, r.winding_lo, r.winding_hi, r.wrong_face, r.wrong_front};
}

// Two random boxes as two shells, the second outward or inward, checked
// against what the boxes themselves say: outward, they may share at most a
// segment; inward, the second is a cavity and must lie inside the first.
// The same with every pair tested and a ray from every face.
TEST(Validity, RandomBoxPairsAgainstTheirGeometry) {
    std::mt19937 rng(20);
    auto coord = [&] { return long(rng() % 6); };
    int valid = 0, invalid = 0;
    for (int round = 0; round < 300; ++round) {
        long lo[2][3], hi[2][3];
        for (auto& b : lo)
            for (long& c : b) c = coord();
        for (int i = 0; i < 2; ++i)
            for (int k = 0; k < 3; ++k) hi[i][k] = lo[i][k] + 1 + long(rng() % 4);
        const bool cavity = rng() % 3 == 0;
        Solid a = box(lo[0][0], lo[0][1], lo[0][2], hi[0][0] - lo[0][0], hi[0][1] - lo[0][1],
                      hi[0][2] - lo[0][2]);
        Solid b = box(lo[1][0], lo[1][1], lo[1][2], hi[1][0] - lo[1][0], hi[1][1] - lo[1][1],
                      hi[1][2] - lo[1][2]);
        if (cavity) b = inward(std::move(b));
        const Solid s = join(std::move(a), b);
        bool expected;
        if (cavity) {
            expected = true;
            for (int k = 0; k < 3; ++k) expected &= lo[0][k] < lo[1][k] && hi[1][k] < hi[0][k];
        } else {
            int dims = 0;  // of the intersection of the closed boxes; -1: empty
            for (int k = 0; k < 3; ++k) {
                const long l = std::max(lo[0][k], lo[1][k]), h = std::min(hi[0][k], hi[1][k]);
                if (l > h) dims = -4;
                dims += h > l;
            }
            expected = dims <= 1;
        }
        const ValidityReport fast = check(s, {.max_faults = 100, .whole_range = true});
        const bool ok = fast.faults.empty() && !fast.wrong_face;
        ASSERT_EQ(ok, expected) << "round " << round;
        (ok ? valid : invalid) += 1;
        const ValidityReport plain = check(
            s, {.max_faults = 100, .use_tree = false, .group_faces = false, .whole_range = true});
        ASSERT_EQ(summary(fast), summary(plain)) << "round " << round;
    }
    EXPECT_GT(valid, 50);
    EXPECT_GT(invalid, 50);
}

// Unions of random boxes made by the booleans bound solids, T-junctions,
// faces cut into pieces and all; moving one box's face into the other makes
// the faces cross.
TEST(Validity, BooleanUnionsPass) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        Solid s = box(0, 0, 0, 3, 3, 3);
        for (int k = 0; k < 3; ++k) {
            long p[3], d[3];
            for (int c = 0; c < 3; ++c) {
                p[c] = long(rng() % 5) - 1;
                d[c] = 1 + long(rng() % 3);
            }
            s = boolean_solids(rng() % 4 ? "union" : "cut", s, box(p[0], p[1], p[2], d[0], d[1], d[2]));
        }
        if (s.faces.empty()) continue;
        const ValidityReport r = check(s, {.whole_range = true});
        ASSERT_TRUE(r.faults.empty() && !r.wrong_face) << "round " << round;
        EXPECT_EQ(r.winding_lo, 0);
        EXPECT_EQ(r.winding_hi, 1);
    }
}

}  // namespace
}  // namespace qs
