#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry/solid.hpp"
#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"
#include "solid/prism.hpp"
#include "support.hpp"

namespace qs {
namespace {

std::vector<Point2> pts(std::initializer_list<std::pair<long, long>> xy) {
    std::vector<Point2> out;
    for (auto [x, y] : xy) out.push_back({Rational(x), Rational(y)});
    return out;
}

Point3 p3(long x, long y, long z) { return Point3(Rational(x), Rational(y), Rational(z)); }

std::vector<std::string> labels(const Solid& s) {
    std::vector<std::string> out;
    for (const Face& f : s.faces) out.push_back(f.label);
    return out;
}

using test::panic_text;

TEST(ReadFlatPoints, PairsTextsAndIgnoresUnpairedLast) {
    auto p = entry::read_flat_points({"1/2", "-3", "4", "5", "x"});
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].x, Rational(1, 2));
    EXPECT_EQ(p[0].y, Rational(-3));
    EXPECT_EQ(p[1].x, Rational(4));
    EXPECT_EQ(p[1].y, Rational(5));
    EXPECT_TRUE(entry::read_flat_points({"7"}).empty());
}

TEST(Orient2, SignAndArea) {
    auto sq = pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    EXPECT_EQ(orient2(sq[0], sq[1], sq[2]), Rational(1));
    EXPECT_EQ(orient2(sq[0], sq[2], sq[1]), Rational(-1));
    EXPECT_EQ(polygon_area2(sq), Rational(2));
    std::vector<Point2> rev(sq.rbegin(), sq.rend());
    EXPECT_EQ(polygon_area2(rev), Rational(-2));
}

TEST(EarClip, UnitSquareStartsAtTheFirstCorner) {
    auto sq = pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    std::vector<Tri> want = {{3, 0, 1}, {1, 2, 3}};
    EXPECT_EQ(ear_clip(sq), want);
}

// The reflex corner (1,1) lies on the first diagonal; the ear must be
// refused there, or the caps overlap outside the polygon.
TEST(EarClip, PointOnDiagonalRejectsTheEar) {
    auto l = pts({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
    std::vector<Tri> want = {{0, 1, 2}, {0, 2, 3}, {5, 0, 3}, {3, 4, 5}};
    auto got = ear_clip(l);
    EXPECT_EQ(got, want);
    for (const Tri& t : got) EXPECT_GT(orient2(l[t[0]], l[t[1]], l[t[2]]).sign(), 0);
}

// Coordinates with denominators 3 and 7 are not doubles; contact with a
// diagonal must still be seen exactly.
TEST(EarClip, ExactUnderAnAffineMapWithRationalCoefficients) {
    auto l = pts({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
    Rational big = parse_rational("100000000000000000000/7");
    std::vector<Point2> m;
    for (const Point2& p : l) {
        // (x, y) -> (x/3 + y/7 + big, y/5 + big), determinant 1/15 > 0.
        Rational x = p.x / Rational(3) + p.y / Rational(7) + big;
        Rational y = p.y / Rational(5) + big;
        m.push_back({x, y});
    }
    EXPECT_EQ(ear_clip(m), ear_clip(l));
}

TEST(EarClip, DegenerateInputsFinishWithoutTriangles) {
    EXPECT_TRUE(ear_clip(pts({{0, 0}, {1, 1}})).empty());
    // Collinear points: no convex corner, nothing clipped, four points left.
    EXPECT_TRUE(ear_clip(pts({{0, 0}, {1, 0}, {2, 0}, {3, 0}})).empty());
    // A bow-tie still terminates.
    auto bow = ear_clip(pts({{0, 0}, {2, 2}, {2, 0}, {0, 2}}));
    EXPECT_LE(bow.size(), 2u);
}

TEST(Prism, UnitSquareFacesAndLabels) {
    Solid s = build_prism(pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), Rational(1), "p");
    std::vector<std::string> want = {"p.bottom", "p.top",   "p.bottom", "p.top",
                                     "p.side0",  "p.side1", "p.side2",  "p.side3"};
    EXPECT_EQ(labels(s), want);
    std::vector<Point3> first = {p3(0, 1, 0), p3(1, 0, 0), p3(0, 0, 0)};
    EXPECT_EQ(s.faces[0].vertices, first);
    EXPECT_EQ(s.faces[0].plane.normal, p3(0, 0, -1));
    std::vector<Point3> side0 = {p3(0, 0, 0), p3(1, 0, 0), p3(1, 0, 1), p3(0, 0, 1)};
    EXPECT_EQ(s.faces[4].vertices, side0);
    EXPECT_EQ(solid_volume6(s), Rational(6));
    EXPECT_TRUE(watertight_ok(s));
}

TEST(Prism, ClockwiseLoopIsReversed) {
    Solid s = build_prism(pts({{0, 0}, {0, 1}, {1, 1}, {1, 0}}), Rational(1), "p");
    ASSERT_EQ(s.faces.size(), 8u);
    EXPECT_EQ(s.faces[4].label, "p.side0");
    EXPECT_EQ(s.faces[4].vertices[0], p3(1, 0, 0));
    EXPECT_EQ(s.faces[4].vertices[1], p3(1, 1, 0));
    EXPECT_EQ(solid_volume6(s), Rational(6));
}

TEST(Prism, LShapedPlateIsClosedAndOutward) {
    Solid s = build_prism(pts({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}), Rational(1, 2), "l");
    ASSERT_EQ(s.faces.size(), 14u);
    for (const Face& f : s.faces) {
        if (f.label == "l.bottom") {
            EXPECT_LT(f.plane.normal.z.sign(), 0);
        } else if (f.label == "l.top") {
            EXPECT_GT(f.plane.normal.z.sign(), 0);
        }
    }
    EXPECT_TRUE(watertight_ok(s));
    EXPECT_EQ(solid_volume6(s), Rational(9));  // 6 * area 3 * h 1/2
}

TEST(Prism, DegenerateHeightsAndLoops) {
    Solid flat = build_prism(pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), Rational(0), "p");
    EXPECT_EQ(flat.faces.size(), 4u);
    for (const Face& f : flat.faces) EXPECT_EQ(f.label.find("side"), std::string::npos);

    Solid inward = build_prism(pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), Rational(-1), "p");
    // The solid spans z in [-1, 0] with every face turned inward.
    EXPECT_EQ(solid_volume6(inward), Rational(-6));
    EXPECT_TRUE(watertight_ok(inward));

    Solid two = build_prism(pts({{0, 0}, {1, 0}}), Rational(1), "p");
    ASSERT_EQ(labels(two), (std::vector<std::string>{"p.side0", "p.side1"}));
    EXPECT_EQ(two.faces[0].plane.normal, -two.faces[1].plane.normal);
    EXPECT_TRUE(build_prism(pts({{0, 0}}), Rational(1), "p").faces.empty());
}

TEST(Prism, TextsParseLoopBeforeHeight) {
    Solid s = entry::make_prism({"0", "0", "1", "0", "1", "1", "0"}, "2", "p");
    EXPECT_EQ(s.faces.size(), 5u);  // a triangle: 2 caps + 3 sides
    EXPECT_EQ(solid_volume6(s), Rational(6));
    std::string empty = panic_text([] { entry::make_prism({"", "0"}, "x", "p"); });
    EXPECT_NE(empty.find("Empty"), std::string::npos) << empty;
    std::string digit = panic_text([] { entry::make_prism({"0", "0"}, "x", "p"); });
    EXPECT_NE(digit.find("InvalidDigit"), std::string::npos) << digit;
}

TEST(Prismatoid, FrustumSidesPairBottomWithTop) {
    Solid s = entry::make_prismatoid({"0", "0", "1", "0", "1", "1", "0", "1"}, "0",
                                    {"1/4", "1/4", "3/4", "1/4", "3/4", "3/4", "1/4", "3/4"}, "1",
                                    "f");
    std::vector<std::string> want = {"f.bottom", "f.bottom", "f.top",   "f.top",
                                     "f.side0",  "f.side0",  "f.side1", "f.side1",
                                     "f.side2",  "f.side2",  "f.side3", "f.side3"};
    EXPECT_EQ(labels(s), want);
    std::vector<Point3> side0a = {p3(0, 0, 0), p3(1, 0, 0),
                                  Point3(Rational(3, 4), Rational(1, 4), Rational(1))};
    EXPECT_EQ(s.faces[4].vertices, side0a);
    EXPECT_TRUE(watertight_ok(s));
    // Frustum volume h/3 (A + a + sqrt(A a)) = (1 + 1/4 + 1/2) / 3 = 7/12.
    EXPECT_EQ(solid_volume6(s), Rational(7, 2));
}

TEST(Prismatoid, ClockwiseBottomReversesBothLoops) {
    Solid s = build_prismatoid(pts({{0, 0}, {0, 1}, {1, 1}, {1, 0}}), Rational(0),
                               pts({{0, 0}, {0, 1}, {1, 1}, {1, 0}}), Rational(1), "c");
    EXPECT_TRUE(watertight_ok(s));
    EXPECT_EQ(solid_volume6(s), Rational(6));
}

TEST(Prismatoid, ShortTopFailsAtTheFirstMissingIndex) {
    auto sq = pts({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    auto tri = pts({{0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(panic_text([&] { build_prismatoid(sq, Rational(0), tri, Rational(1), "p"); }),
              "index out of bounds: the len is 3 but the index is 3");
    // Parse order: bottom, z0, top, z1; the first bad text decides.
    std::string t = panic_text([] { entry::make_prismatoid({"0", "0"}, "", {"x", "0"}, "", "p"); });
    EXPECT_NE(t.find("Empty"), std::string::npos) << t;
    t = panic_text([] { entry::make_prismatoid({"0", "0"}, "0", {"x", "0"}, "", "p"); });
    EXPECT_NE(t.find("InvalidDigit"), std::string::npos) << t;
}

}  // namespace
}  // namespace qs
