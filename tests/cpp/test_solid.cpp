// Faces, planes, the degenerate-face filter, boxes and volume.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "corpus.hpp"
#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"
#include "solid/solid.hpp"
#include "solid/transform.hpp"
#include "support.hpp"

using namespace qs;
using qs::test::P;
using qs::test::R;

namespace {

std::string S(const Point3& p) { return point_text(p); }

Face face(std::vector<Point3> v) { return make_face(std::move(v), "f"); }

using corpus::face_dump;

// Sizes and positions of every kind: zero, negative, fractions, one word
// and beyond, beyond the range of doubles.
Rational any_size(std::mt19937_64& rng) {
    static const char* const kBig[] = {"4611686018427387903", "-4611686018427387904",
                                       "123456789012345678901234567/7"};
    switch (rng() % 6) {
        case 0: return Rational(0);
        case 1: return Rational(long(rng() % 41) - 20);
        case 2: return Rational(long(rng() % 41) - 20, long(rng() % 12) + 1);
        case 3: return R(kBig[rng() % 3]);
        case 4: return R(("-1" + std::string(330, '7')).c_str());
        default: return Rational(long(rng() % 2000001) - 1000000, 1024);
    }
}

}  // namespace

TEST(Face, PlaneFromFirstThreeVertices) {
    Face f = face({P("0", "0", "5"), P("1", "0", "5"), P("1", "1", "5"), P("0", "1", "5")});
    EXPECT_EQ(S(f.plane.normal), "0/1,0/1,1/1");
    EXPECT_EQ(format_rational(f.plane.offset), "5/1");
    Face g = face({P("0", "1", "5"), P("1", "1", "5"), P("1", "0", "5"), P("0", "0", "5")});
    EXPECT_EQ(S(g.plane.normal), "0/1,0/1,-1/1");
    EXPECT_EQ(format_rational(g.plane.offset), "-5/1");
    EXPECT_EQ(f.approx.size(), 4u);
    EXPECT_EQ(f.approx[2][0], 1.0);
    EXPECT_THROW(face({P("0", "0", "0"), P("1", "0", "0")}), Panic);
}

TEST(Face, FlipReversesAndNegates) {
    Face f = face({P("0", "0", "0"), P("2", "0", "0"), P("0", "3", "0")});
    Face g = flip_face(f);
    EXPECT_EQ(S(g.vertices[0]), "0/1,3/1,0/1");
    EXPECT_EQ(S(g.plane.normal), "0/1,0/1,-6/1");
    EXPECT_EQ(g.approx[0][1], 3.0);
    Face h = flip_face(g);
    EXPECT_EQ(h.vertices, f.vertices);
    EXPECT_EQ(h.plane.normal, f.plane.normal);
    EXPECT_EQ(h.plane.offset, f.plane.offset);
}

TEST(Degenerate, CollinearFaceWithRoundingNoiseIsDropped) {
    // Exactly collinear, but the double fan sum is about 1e-5, far above 1e-7.
    Face f = face({P("203413", "680500", "0"), P("2775380/9", "6183853/9", "0"),
                   P("1554902/3", "2100853/3", "0")});
    EXPECT_TRUE(area_vector(f.vertices).is_zero());
    EXPECT_TRUE(is_degenerate(f));
}

TEST(Degenerate, TinyFacesAreKeptAndLinesDropped) {
    Face tiny = face({P("0", "0", "0"), P("1/1000000", "0", "0"),
                      P("1/1000000", "1/1000000", "0"), P("0", "1/1000000", "0")});
    EXPECT_FALSE(is_degenerate(tiny));
    Face sliver = face({P("203413", "680500", "0"), P("2775380/9", "6183853/9", "0"),
                        P("1554902/3", "2100853/3", "1/1000000000000")});
    EXPECT_FALSE(is_degenerate(sliver));
    Face line = face({P("0", "0", "0"), P("1", "1", "1"), P("2", "2", "2"), P("5", "5", "5")});
    EXPECT_TRUE(is_degenerate(line));
    Face repeated = face({P("1", "2", "3"), P("1", "2", "3"), P("1", "2", "3")});
    EXPECT_TRUE(is_degenerate(repeated));
    Face ordinary = face({P("0", "0", "0"), P("1", "0", "0"), P("0", "1", "0")});
    EXPECT_FALSE(is_degenerate(ordinary));

    std::vector<Face> faces;
    faces.push_back(face({P("0", "0", "0"), P("1", "0", "0"), P("0", "1", "0")}));
    faces.back().label = "first";
    faces.push_back(face({P("0", "0", "0"), P("1", "1", "1"), P("2", "2", "2"), P("3", "3", "3")}));
    faces.push_back(face({P("0", "0", "1"), P("1", "0", "1"), P("0", "1", "1")}));
    faces.back().label = "third";
    Solid s = solid_from_faces(std::move(faces));
    ASSERT_EQ(s.faces.size(), 2u);
    EXPECT_EQ(s.faces[0].label, "first");
    EXPECT_EQ(s.faces[1].label, "third");
}

TEST(Degenerate, CoordinatesBeyondDoubleRangeAreDecidedExactly) {
    std::string big = "1" + std::string(400, '0');
    std::string big2 = "2" + std::string(400, '0');
    Face kept = face({P("0", "0", "0"), P(big.c_str(), "0", "0"), P("0", big.c_str(), "0")});
    EXPECT_TRUE(std::isinf(kept.approx[1][0]));
    EXPECT_FALSE(is_degenerate(kept));
    Face dropped = face({P("0", "0", "0"), P(big.c_str(), big.c_str(), "0"),
                         P(big2.c_str(), big2.c_str(), "0")});
    EXPECT_TRUE(is_degenerate(dropped));
    // Finite coordinates whose products overflow: the exact stage decides.
    std::string e300 = "1" + std::string(300, '0'), e300b = "3" + std::string(300, '0');
    Face wide = face({P("0", "0", "0"), P(e300.c_str(), "0", "0"), P("0", e300.c_str(), "0")});
    EXPECT_TRUE(std::isfinite(wide.approx[1][0]));
    EXPECT_FALSE(is_degenerate(wide));
    Face wide_line = face({P("1", "1", "0"), P(e300.c_str(), e300.c_str(), "0"),
                           P(e300b.c_str(), e300b.c_str(), "0")});
    EXPECT_TRUE(is_degenerate(wide_line));
}

TEST(Box, FacesLabelsAndPlanes) {
    Solid b = build_box(R("1"), R("1"), R("1"), "b");
    const char* labels[] = {"b.bottom", "b.top", "b.front", "b.back", "b.right", "b.left"};
    const char* normals[] = {"0/1,0/1,-1/1", "0/1,0/1,1/1", "0/1,-1/1,0/1",
                             "0/1,1/1,0/1",  "1/1,0/1,0/1", "-1/1,0/1,0/1"};
    const char* offsets[] = {"0/1", "1/1", "0/1", "1/1", "1/1", "0/1"};
    ASSERT_EQ(b.faces.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(b.faces[i].label, labels[i]);
        EXPECT_EQ(S(b.faces[i].plane.normal), normals[i]);
        EXPECT_EQ(format_rational(b.faces[i].plane.offset), offsets[i]);
    }
    Solid c = build_box(R("2"), R("3"), R("5"), "");
    EXPECT_EQ(c.faces[1].label, ".top");
    EXPECT_EQ(S(c.faces[1].plane.normal), "0/1,0/1,6/1");
    EXPECT_EQ(format_rational(c.faces[1].plane.offset), "30/1");
    EXPECT_EQ(format_rational(solid_volume6(c)), "180/1");
    Solid third = build_box(R("1/3"), R("1"), R("1"), "t");
    EXPECT_EQ(S(third.faces[0].vertices[3]), "1/3,0/1,0/1");  // corner 1
}

TEST(Box, FlatAndNegativeSizes) {
    Solid flat = build_box(R("0"), R("1"), R("1"), "f");
    ASSERT_EQ(flat.faces.size(), 2u);
    EXPECT_EQ(flat.faces[0].label, "f.right");
    EXPECT_EQ(flat.faces[1].label, "f.left");
    EXPECT_EQ(build_box(R("0"), R("0"), R("0"), "z").faces.size(), 0u);
    EXPECT_EQ(format_rational(solid_volume6(build_box(R("0"), R("0"), R("0"), "z"))), "0/1");
    // One negative size winds every face inwards.
    Solid inv = build_box(R("-1"), R("1"), R("1"), "n");
    ASSERT_EQ(inv.faces.size(), 6u);
    // "right" now lies at x = -1 and its normal +x points into the box.
    EXPECT_EQ(S(inv.faces[4].plane.normal), "1/1,0/1,0/1");
    EXPECT_EQ(format_rational(solid_volume6(inv)), "-6/1");
    EXPECT_EQ(format_rational(solid_volume6(build_box(R("-1"), R("-2"), R("1"), "n"))), "12/1");
}

// The box builder computes planes and approximations directly; they must be
// what make_face gives for the same loops, with the same faces dropped, and
// a box built in place must be the translated box face for face.
TEST(Box, DirectBuildMatchesMakeFaceAndTranslation) {
    std::mt19937_64 rng(41);
    const int kLoops[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                              {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
    const char* kNames[6] = {"bottom", "top", "front", "back", "right", "left"};
    for (int round = 0; round < 1500; ++round) {
        const Rational dx = any_size(rng), dy = any_size(rng), dz = any_size(rng);
        std::vector<Face> faces;
        for (int i = 0; i < 6; ++i) {
            std::vector<Point3> loop;
            for (int c : kLoops[i]) {
                const bool ix = c == 1 || c == 2 || c == 5 || c == 6, iy = c == 2 || c == 3 || c >= 6;
                loop.emplace_back(ix ? dx : Rational(), iy ? dy : Rational(), c >= 4 ? dz : Rational());
            }
            faces.push_back(make_face(std::move(loop), std::string("p.") + kNames[i]));
        }
        const Solid box = solid_from_faces(std::move(faces));
        ASSERT_EQ(face_dump(build_box(dx, dy, dz, "p")), face_dump(box)) << round;
        const Point3 at(any_size(rng), any_size(rng), any_size(rng));
        ASSERT_EQ(face_dump(build_box_at(dx, dy, dz, at, "p")), face_dump(translate_solid(box, at)))
            << round;
    }
}

// Faces with small whole corners are summed in machine words, the others in
// rationals; the sum must be the plain rational one, across the limit of the
// word path and through sums that outgrow 128 bits.
TEST(Volume, WordSumsMatchRationalSums) {
    std::mt19937_64 rng(43);
    const long kLimit = 1L << 40;
    auto coordinate = [&](int kind) {
        switch (kind) {
            case 0: return Rational(long(rng() % 201) - 100);
            case 1: return Rational(kLimit - 1 - long(rng() % 3)) * Rational(rng() % 2 ? 1 : -1);
            case 2: return Rational(kLimit + long(rng() % 3));
            default: return Rational(long(rng() % 201) - 100, long(rng() % 9) + 1);
        }
    };
    for (int round = 0; round < 400; ++round) {
        Solid s;
        const std::size_t faces = 1 + rng() % 40;
        for (std::size_t i = 0; i < faces; ++i) {
            Face f;
            const std::size_t n = 1 + rng() % 6;
            const int kind = int(rng() % (round % 2 ? 4 : 2));
            for (std::size_t k = 0; k < n; ++k)
                f.vertices.emplace_back(coordinate(kind), coordinate(kind), coordinate(kind));
            s.faces.push_back(std::move(f));
        }
        Rational expected;
        for (const Face& f : s.faces)
            for (std::size_t i = 1; i + 1 < f.vertices.size(); ++i)
                expected += dot(f.vertices[0], cross(f.vertices[i], f.vertices[i + 1]));
        ASSERT_EQ(solid_volume6(s), expected) << round;
    }
    // Triangles of volume term X^3 near 2^120, all of one sign: the word sum
    // overflows many times over and must be carried into the rational sum.
    const Rational x(kLimit - 1);
    Solid same;
    for (int i = 0; i < 300; ++i)
        same.faces.push_back(face({Point3(x, 0, 0), Point3(0, x, 0), Point3(0, 0, x)}));
    EXPECT_EQ(solid_volume6(same), Rational(300) * x * x * x);
    same.faces.push_back(face({Point3(-x, 0, 0), Point3(0, x, 0), Point3(0, 0, x)}));
    EXPECT_EQ(solid_volume6(same), Rational(299) * x * x * x);
}

TEST(Volume, ExactForAnyMagnitude) {
    EXPECT_EQ(format_rational(solid_volume6(build_box(R("1/2"), R("1/3"), R("1"), "v"))), "1/1");
    std::string big = "1" + std::string(400, '0');
    EXPECT_EQ(format_rational(solid_volume6(build_box(R(big.c_str()), R("1"), R("1"), "v"))),
              "6" + std::string(400, '0') + "/1");
    Solid open;
    open.faces.push_back(face({P("1", "0", "0"), P("0", "1", "0"), P("0", "0", "1")}));
    EXPECT_EQ(format_rational(solid_volume6(open)), "1/1");
    Face empty;
    open.faces.push_back(empty);
    EXPECT_THROW(solid_volume6(open), Panic);
}

// The double filter may only ever agree with the exact test: random loops
// that are exactly flat, or off by tiny amounts, at many magnitudes.
TEST(Degenerate, FilterNeverContradictsTheExactTest) {
    std::mt19937_64 rng(17);
    auto rnd = [&](long lo, long hi) { return lo + long(rng() % ulong(hi - lo + 1)); };
    int flat = 0, kept = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        // Points on the line a + s (b - a), scaled by 10^k / q.
        long k = rnd(-8, 12);
        Rational scale(1);
        for (long i = 0; i < (k < 0 ? -k : k); ++i) scale *= Rational(10);
        if (k < 0) scale = Rational(1) / scale;
        scale *= Rational(1, rnd(1, 97));
        Point3 a(Rational(rnd(-1000, 1000)), Rational(rnd(-1000, 1000)), Rational(rnd(-1000, 1000)));
        Point3 d(Rational(rnd(-50, 50)), Rational(rnd(-50, 50)), Rational(rnd(-50, 50)));
        std::vector<Point3> v;
        std::size_t n = std::size_t(rnd(3, 6));
        for (std::size_t i = 0; i < n; ++i) {
            Rational s(rnd(-20, 20), rnd(1, 9));
            v.push_back(scale * (a + s * d));
        }
        // Half the loops get one vertex nudged off the line by a tiny amount.
        if (trial % 2) {
            Rational eps(1, rnd(1, 1000));
            for (long i = 0; i < rnd(0, 14); ++i) eps *= Rational(1, 10);
            v[rng() % n].z += eps * scale;
        }
        bool exact = area_vector(v).is_zero();
        ASSERT_EQ(has_zero_area(v, approximate(v)), exact) << trial;
        (exact ? flat : kept)++;
    }
    EXPECT_GT(flat, 1000);
    EXPECT_GT(kept, 1000);
}
