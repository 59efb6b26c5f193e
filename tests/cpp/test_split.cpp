// Point classification against a plane and the splitting of one face.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "boolean/detail.hpp"
#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "support.hpp"

using namespace qs;
using qs::test::P;
using qs::test::R;

namespace {


Plane plane(Point3 normal, const char* offset) { return {std::move(normal), R(offset)}; }

// The unit square in z = 0, counter-clockwise seen from +z.
Face square(const char* label = "sq") {
    return make_face({P("0", "0", "0"), P("1", "0", "0"), P("1", "1", "0"), P("0", "1", "0")},
                     label);
}

std::string loop_text(const Face& f) {
    std::string s;
    for (const Point3& p : f.vertices) {
        if (!s.empty()) s += " ";
        s += point_text(p);
    }
    return s;
}

// The four lists of one split.
struct Split {
    std::vector<Face> cf, cb, f, b;
    Split(const Plane& pl, Face face) {
        split_face(pl, std::move(face), cf, cb, f, b);
    }
    std::string sizes() const {
        return std::to_string(cf.size()) + std::to_string(cb.size()) + std::to_string(f.size()) +
               std::to_string(b.size());
    }
};

}  // namespace

// A coplanar face is sorted by orientation alone, never cut.
TEST(Split, CoplanarBothOrientations) {
    Split same(plane(P("0", "0", "3"), "0"), square());
    EXPECT_EQ(same.sizes(), "1000");
    Split opposite(plane(P("0", "0", "-1"), "0"), square());
    EXPECT_EQ(opposite.sizes(), "0100");
    // A zero normal also gives coplanar_back: the dot product is not > 0.
    Split zero(plane(P("0", "0", "0"), "0"), square());
    EXPECT_EQ(zero.sizes(), "0100");
}

// A face touching the plane along an edge is on one side and stays whole.
TEST(Split, TouchingIsNotCut) {
    Split s(plane(P("1", "0", "0"), "0"), square());  // x = 0: edge 3-0 on it
    ASSERT_EQ(s.sizes(), "0010");
    EXPECT_EQ(loop_text(s.f[0]), loop_text(square()));
    Split t(plane(P("-1", "0", "0"), "0"), square());
    EXPECT_EQ(t.sizes(), "0001");
}

// Through two opposite corners: two triangles sharing both On vertices,
// each in the input's boundary order from vertex 0, no crossing points.
TEST(Split, ThroughOppositeVertices) {
    Split s(plane(P("1", "-1", "0"), "0"), square("diag"));  // x - y = 0
    ASSERT_EQ(s.sizes(), "0011");
    EXPECT_EQ(loop_text(s.f[0]), "0/1,0/1,0/1 1/1,0/1,0/1 1/1,1/1,0/1");
    EXPECT_EQ(loop_text(s.b[0]), "0/1,0/1,0/1 1/1,1/1,0/1 0/1,1/1,0/1");
    EXPECT_EQ(s.f[0].label, "diag");
    EXPECT_EQ(s.b[0].label, "diag");
}

// Through two edges at one third: two quadrilaterals with exact crossing
// points placed right after the first vertex of their edge.
TEST(Split, ThroughEdgesAtThirds) {
    Split s(plane(P("3", "0", "0"), "1"), square());  // x = 1/3
    ASSERT_EQ(s.sizes(), "0011");
    EXPECT_EQ(loop_text(s.f[0]), "1/3,0/1,0/1 1/1,0/1,0/1 1/1,1/1,0/1 1/3,1/1,0/1");
    EXPECT_EQ(loop_text(s.b[0]), "0/1,0/1,0/1 1/3,0/1,0/1 1/3,1/1,0/1 0/1,1/1,0/1");
    // Pieces carry approximations of their own vertices.
    ASSERT_EQ(s.f[0].approx.size(), 4u);
    EXPECT_EQ(s.f[0].approx[0][0], 1.0 / 3.0);
    EXPECT_EQ(s.b[0].approx[3][1], 1.0);
}

// A piece keeps the plane of its face, even when its first three vertices
// are collinear and would give a zero normal.
TEST(Split, PieceKeepsPlaneOfItsFace) {
    // A pentagon with vertex 1 in the middle of the bottom edge.
    Face f = make_face({P("0", "0", "0"), P("1", "0", "0"), P("2", "0", "0"), P("2", "2", "0"),
                        P("0", "2", "0")},
                       "penta");
    f.plane = {P("0", "0", "7"), R("0")};  // any stored plane must survive
    Split s(plane(P("0", "1", "0"), "1"), std::move(f));  // y = 1
    ASSERT_EQ(s.sizes(), "0011");
    EXPECT_EQ(loop_text(s.b[0]), "0/1,0/1,0/1 1/1,0/1,0/1 2/1,0/1,0/1 2/1,1/1,0/1 0/1,1/1,0/1");
    for (const Face* p : {&s.f[0], &s.b[0]}) {
        EXPECT_EQ(point_text(p->plane.normal), "0/1,0/1,7/1");
        EXPECT_EQ(p->label, "penta");
    }
}

// A spanning face can still leave a piece of zero area, which is dropped:
// here the edge from the front vertex to a back vertex crosses the plane
// exactly at vertex 0, so the front list is that vertex, the front vertex
// and the same point again.
TEST(Split, ZeroAreaPieceDropped) {
    Face f = make_face({P("0", "0", "0"), P("1", "1", "0"), P("-1", "-1", "0"), P("-1", "1", "0")},
                       "spike");
    Split s(plane(P("1", "0", "0"), "0"), std::move(f));  // x = 0
    ASSERT_EQ(s.sizes(), "0001");
    EXPECT_EQ(loop_text(s.b[0]), "0/1,0/1,0/1 0/1,0/1,0/1 -1/1,-1/1,0/1 -1/1,1/1,0/1");
}

// The double filter cannot decide points whose coordinates are near 1e300:
// the exact fallback finds the vertex on the plane.
TEST(Split, HugeCoordinatesNeedTheExactTest) {
    const std::string big = "1" + std::string(300, '0');
    Rational b = R(big.c_str());
    // Plane x + y = 2 * 10^300 + 1 (normal and offset of ordinary size
    // against vertex coordinates near the top of the double range).
    Plane pl{P("1", "1", "0"), b + b + Rational(1)};
    Face f = make_face({Point3(b, b + Rational(1), Rational(0)),
                        Point3(b + b, Rational(1), Rational(0)),
                        Point3(b, b, Rational(1))},
                       "huge");
    reset_classify_stats();
    EXPECT_EQ(classify_vertex(pl, f, 0), kOn);
    EXPECT_EQ(classify_vertex(pl, f, 1), kOn);
    EXPECT_EQ(classify_vertex(pl, f, 2), kBack);  // one below the plane
    EXPECT_EQ(classify_stats().exact, 3u);
    EXPECT_EQ(classify_stats().filtered, 0u);
    // Beyond the double range the approximations are infinite: still exact.
    Rational huge = R(("1" + std::string(400, '0')).c_str());
    Face g = make_face({Point3(huge, Rational(0), Rational(0)),
                        Point3(huge, Rational(1), Rational(0)),
                        Point3(huge, Rational(0), Rational(1))},
                       "inf");
    ASSERT_TRUE(std::isinf(g.approx[0][0]));
    Plane px{P("1", "0", "0"), huge};
    Split s(px, g);
    EXPECT_EQ(s.sizes(), "1000");
}

// Clear cases stay in doubles; the bound lets through only what it proves.
TEST(Split, FilterDecidesClearCases) {
    Plane pl = plane(P("0", "0", "1"), "0");
    Face f = make_face({P("0", "0", "1"), P("1", "0", "-1"), P("0", "1", "1/1000000000000")}, "f");
    reset_classify_stats();
    EXPECT_EQ(classify_vertex(pl, f, 0), kFront);
    EXPECT_EQ(classify_vertex(pl, f, 1), kBack);
    EXPECT_EQ(classify_stats().filtered, 2u);
    // 1e-12 is above the bound, (1 + 1e-12) * 2^-48: decided in doubles too.
    EXPECT_EQ(classify_vertex(pl, f, 2), kFront);
    Face g = make_face({P("0", "0", "1/1000000000000000000"), P("1", "0", "0"), P("0", "1", "0")},
                       "g");
    // Against a plane along one axis, 1e-18 and 0 are different doubles on
    // either side of the position: decided without the exact test.
    reset_classify_stats();
    EXPECT_EQ(classify_vertex(pl, g, 0), kFront);
    EXPECT_EQ(classify_vertex(pl, g, 1), kOn);
    EXPECT_EQ(classify_stats().exact, 1u);
    EXPECT_THROW(classify_vertex(pl, g, 3), Panic);
    // A tilted plane goes through the bound: 1e-18 is only seen exactly.
    Plane tilted = plane(P("0", "1", "1"), "0");
    reset_classify_stats();
    EXPECT_EQ(classify_vertex(tilted, g, 0), kFront);
    EXPECT_EQ(classify_vertex(tilted, g, 1), kOn);
    EXPECT_EQ(classify_stats().exact, 2u);
}

// A face with fewer than three vertices never divides or reads past its
// list: sorted or dropped, never cut into pieces.
TEST(Split, ShortFaces) {
    Plane pl = plane(P("1", "0", "0"), "0");
    Face two;
    two.vertices = {P("-1", "0", "0"), P("1", "0", "0")};
    two.approx = approximate(two.vertices);
    Split s(pl, two);
    EXPECT_EQ(s.sizes(), "0000");
    Face none;
    Split t(pl, none);
    EXPECT_EQ(t.sizes(), "0100");
    Face no_approx;
    no_approx.vertices = {P("-1", "0", "0"), P("1", "0", "0"), P("1", "1", "0")};
    Split u(pl, no_approx);
    EXPECT_EQ(u.sizes(), "0011");
}

// The exact test has fast paths for small integers and small fractions.
// Points on a random plane, and points moved off it by the smallest step
// the values allow, must get the side that Rational arithmetic gives, for
// values at and across every size limit of those paths.
TEST(Split, ExactTestAgreesWithRationals) {
    std::mt19937_64 rng(7);
    const std::vector<std::string> nums = {"0", "1", "-1", "3", "32767", "-32767", "32768",
                                           "4611686018427387903", "-4611686018427387903",
                                           "4611686018427387904", "123456789012345678901234567"};
    const std::vector<std::string> dens = {"1", "2", "3", "32767", "32768", "4611686018427387904"};
    auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
    // Half the rounds use small fractions only, whose planes stay within the
    // small-fraction path.
    bool small = false;
    auto value = [&]() {
        if (small) return Rational(long(rng() % 41) - 20, long(rng() % 8) + 1);
        return R((pick(nums) + "/" + pick(dens)).c_str());
    };
    int checked = 0;
    for (int round = 0; round < 4000; ++round) {
        small = round % 3 == 0;
        Point3 a(value(), value(), value()), b(value(), value(), value());
        Point3 c(value(), value(), value());
        Face f = make_face({a, b, c}, "t");
        // The face's own plane, and the plane scaled and shifted a little.
        Plane pl = f.plane;
        if (round % 2) {
            Rational k = value();
            pl.normal = k * pl.normal;
            pl.offset = k * pl.offset + (round % 4 == 1 ? value() : Rational(0));
        }
            for (std::size_t i = 0; i < 3; ++i) {
            Rational s = dot(pl.normal, f.vertices[i]) - pl.offset;
            ASSERT_EQ(int(classify_vertex(pl, f, i)), s.sign()) << round << " " << i;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 12000);
}

TEST(Flip, TwiceIsIdentity) {
    Face f = square();
    Face g = flip_face(flip_face(f));
    EXPECT_EQ(loop_text(g), loop_text(f));
    EXPECT_EQ(g.plane.normal, f.plane.normal);
    EXPECT_EQ(g.plane.offset, f.plane.offset);
    EXPECT_EQ(g.approx, f.approx);
    EXPECT_EQ(g.label, f.label);
}

namespace {

// Values of every size the exact kernels distinguish: small whole numbers
// and fractions (the one-word paths), fractions at the edge of those paths'
// bounds, and numbers beyond one word.
Rational any_value(std::mt19937_64& rng, int kind) {
    const long v = long(rng() % 41) - 20;
    switch (kind % 5) {
        case 4: return Rational(long(rng() % (1ul << 28)) - (1l << 27), 1l << (rng() % 4));
        case 0: return Rational(v);
        case 1: return Rational(v, long(rng() % 9) + 1);
        case 2: return R("123456789012345678901") * Rational(v) + Rational(long(rng() % 5));
        default: return Rational(v, 1000003) + R("1/98765432109876543211");
    }
}

}  // namespace

// Crossing points computed in integers must be the rationals of the
// textbook formula p + t (q - p), t = (d - n.p) / (n.(q - p)), for planes
// and points of every size; against the negated plane, the same point.
TEST(Split, CrossingPointMatchesTheRationalFormula) {
    std::mt19937_64 rng(11);
    int checked = 0;
    Scratch s;  // one for all rounds: what a crossing leaves in it must not matter
    for (int round = 0; round < 4000; ++round) {
        const int kind = round % 7;
        auto point = [&] {
            return Point3(any_value(rng, kind), any_value(rng, kind + 1), any_value(rng, kind + 2));
        };
        Plane pl{point(), any_value(rng, kind + 3)};
        Point3 p = point(), q = point();
        Rational sp = dot(pl.normal, p) - pl.offset, sq = dot(pl.normal, q) - pl.offset;
        if (sp.sign() * sq.sign() >= 0) continue;
        Point3 edge = q - p;
        Rational t = (pl.offset - dot(pl.normal, p)) / dot(pl.normal, edge);
        Point3 expected = p + t * edge;
        EXPECT_EQ(TestPlane(pl).crossing(p, q, s), expected) << round;
        Plane neg{-pl.normal, -pl.offset};
        EXPECT_EQ(TestPlane(neg).crossing(q, p, s), expected) << round;
        EXPECT_EQ(TestPlane(pl).exact_side(expected, s), kOn);
        ++checked;
    }
    EXPECT_GT(checked, 500);
}

// Deciding a loop by its box corner must give exactly the bits that the
// vertex-by-vertex test gives; and a plane scaled by any nonzero rational
// is the same plane, one shifted is not.
TEST(Split, BoxCornerAndSamePlaneAgreeWithVertexTests) {
    std::mt19937_64 rng(5);
    for (int round = 0; round < 3000; ++round) {
        const int kind = round % 5;
        std::vector<Point3> loop;
        const std::size_t n = 3 + rng() % 4;
        for (std::size_t i = 0; i < n; ++i)
            loop.push_back(Point3(any_value(rng, kind), any_value(rng, kind + 1),
                                  any_value(rng, kind)));
        const std::vector<Approx> approx = approximate(loop);
        Plane pl{Point3(any_value(rng, kind), any_value(rng, kind), any_value(rng, 0)),
                 any_value(rng, kind + 2)};
        const TestPlane tp(pl);
        const ApproxBox box = approx_box(approx, n);
        Scratch s;
        std::vector<Side> a(n), b(n);
        for (bool flip : {false, true}) {
            const int by_box = classify_loop(tp, flip, loop, approx, &box, nullptr, a.data(), s);
            const int by_vertex =
                classify_loop(tp, flip, loop, approx, nullptr, nullptr, b.data(), s);
            ASSERT_EQ(by_box, by_vertex) << round;
        }
        Rational k = any_value(rng, kind);
        if (k.is_zero() || pl.normal.is_zero()) continue;
        const Plane scaled{k * pl.normal, k * pl.offset}, moved{pl.normal, pl.offset + Rational(1, 7)};
        EXPECT_TRUE(tp.same_plane(TestPlane(scaled))) << round;
        EXPECT_FALSE(tp.same_plane(TestPlane(moved)));
    }
}

namespace {

// A coordinate of the given denominator whose numerator is small, at the
// limit of one word, or beyond it.
Rational over(std::mt19937_64& rng, const Rational& den) {
    static const char* const kNums[] = {"0", "1", "-7", "4611686018427387903",
                                        "-4611686018427387903", "4611686018427387904",
                                        "-98765432109876543210987"};
    const Rational n = rng() % 3 ? Rational(long(rng() % 2001) - 1000) : R(kNums[rng() % 7]);
    return n / den;
}

}  // namespace

// The one-word exact test takes coordinates that share a denominator (or
// are whole); every other mix goes the long way. Both must agree with
// Rational arithmetic, for planes of every size, and for axis planes whose
// other coordinates may be anything.
TEST(Split, SharedDenominatorsAgreeWithRationals) {
    std::mt19937_64 rng(23);
    static const char* const kDens[] = {"1", "2", "3", "1000003", "4611686018427387903",
                                        "4611686018427387904"};
    int on = 0;
    for (int round = 0; round < 6000; ++round) {
        const Rational w = R(kDens[rng() % 6]);
        Point3 p(over(rng, w), over(rng, w), over(rng, w));
        if (round % 4 == 1) p.y = over(rng, R(kDens[rng() % 6]));  // a mixed denominator
        Plane pl{Point3(any_value(rng, round), any_value(rng, round + 1), any_value(rng, round)),
                 Rational(0)};
        if (round % 3 == 0) pl.normal.x = pl.normal.y = Rational(0);  // an axis plane
        if (round % 5 == 0) pl.normal.z = Rational(0);
        // Offsets through p make points on the plane; shifted ones miss it.
        pl.offset = dot(pl.normal, p);
        if (round % 2) pl.offset += any_value(rng, round + 2);
        const Rational s = dot(pl.normal, p) - pl.offset;
        Scratch scratch;
        ASSERT_EQ(int(TestPlane(pl).exact_side(p, scratch)), s.sign()) << round;
        on += s.is_zero();
    }
    EXPECT_GT(on, 2000);
}

// For a plane along one axis the box test reads that axis alone, even where
// the other coordinates have no finite approximation; its decisions must be
// the vertex tests' exactly.
TEST(Split, AxisPlaneBoxDecisionsAgreeWithVertexTests) {
    std::mt19937_64 rng(31);
    const Rational huge = R(("1" + std::string(400, '0')).c_str());
    int decided = 0;
    for (int round = 0; round < 3000; ++round) {
        const int axis = int(rng() % 3);
        std::vector<Point3> loop;
        const std::size_t n = 3 + rng() % 4;
        for (std::size_t i = 0; i < n; ++i) {
            Point3 p(any_value(rng, round), any_value(rng, round + 1), any_value(rng, round + 2));
            if (round % 4 == 0) p[(axis + 1) % 3] = huge * any_value(rng, 0);  // beyond doubles
            loop.push_back(p);
        }
        const std::vector<Approx> approx = approximate(loop);
        Plane pl;
        pl.normal[axis] = any_value(rng, round + 3);
        pl.offset = any_value(rng, round);
        if (pl.normal.is_zero()) continue;
        // Half the planes miss the first vertex by far less than its
        // approximation can show: only a proven bound keeps the box honest.
        if (round % 2) {
            const Rational eps = R("1/98765432109876543211");
            pl.offset = pl.normal[axis] * (loop[0][axis] + (rng() % 2 ? eps : -eps));
        }
        const TestPlane tp(pl);
        const ApproxBox box = approx_box(approx, n);
        Scratch s;
        std::vector<Side> a(n), b(n);
        for (bool flip : {false, true}) {
            const int by_box = tp.box_bits(box, flip);
            const int by_vertex = classify_loop(tp, flip, loop, approx, nullptr, nullptr, b.data(), s);
            if (by_box) {
                ++decided;
                ASSERT_EQ(by_box, by_vertex) << round;
            }
            ASSERT_EQ(classify_loop(tp, flip, loop, approx, &box, nullptr, a.data(), s), by_vertex)
                << round;
        }
    }
    EXPECT_GT(decided, 1000);
}
