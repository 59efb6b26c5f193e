#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "query/bbox.hpp"
#include "query/logical_faces.hpp"
#include "query/watertight.hpp"
#include "solid/box.hpp"

namespace qs {
namespace {

Point3 q3(const char* x, const char* y, const char* z) {
    return Point3(parse_rational(x), parse_rational(y), parse_rational(z));
}

Solid unit_box() { return build_box(Rational(1), Rational(1), Rational(1), "b"); }

// A rectangle [x0, x1] x [0, 1] at z = 0, counter-clockwise seen from +z
// or, flipped, from -z.
Face rect(long x0, long x1, bool up) {
    Face f = make_face({q3("0", "0", "0"), q3("1", "0", "0"), q3("1", "1", "0"), q3("0", "1", "0")},
                       "r");
    for (Point3& p : f.vertices) p.x = p.x.is_zero() ? Rational(x0) : Rational(x1);
    f = make_face(std::move(f.vertices), "r");
    return up ? f : flip_face(std::move(f));
}

TEST(PrimitiveDirection, ScalesToCoprimeIntegersWithPositiveLead) {
    EXPECT_EQ(*primitive_direction(q3("2/3", "-4/3", "0")), q3("1", "-2", "0"));
    EXPECT_EQ(*primitive_direction(q3("0", "-3", "6")), q3("0", "1", "-2"));
    EXPECT_EQ(*primitive_direction(q3("0", "0", "-5/7")), q3("0", "0", "1"));
    EXPECT_EQ(*primitive_direction(q3("-1/6", "1/4", "1/9")), q3("6", "-9", "-4"));
    EXPECT_FALSE(primitive_direction(q3("0", "0", "0")).has_value());
}

TEST(LineKey, TextOfDirectionAndMoment) {
    Point3 u = *primitive_direction(q3("-3", "0", "0"));
    EXPECT_EQ(line_key(u, cross(q3("0", "0", "1"), u)), "1/1,0/1,0/1|0/1,1/1,0/1");
    // Another point of the same line gives the same key.
    EXPECT_EQ(line_key(u, cross(q3("7/2", "0", "1"), u)), "1/1,0/1,0/1|0/1,1/1,0/1");
}

TEST(Watertight, BoxesAndTheirParts) {
    EXPECT_TRUE(watertight_ok(unit_box()));
    EXPECT_TRUE(watertight_ok(Solid{}));
    // Only right and left survive, coincident and opposite: closed.
    Solid thin = build_box(Rational(0), Rational(1), Rational(1), "t");
    ASSERT_EQ(thin.faces.size(), 2u);
    EXPECT_TRUE(watertight_ok(thin));

    Solid one;
    one.faces.push_back(unit_box().faces[0]);
    EXPECT_FALSE(watertight_ok(one));

    // One face wound against its neighbours.
    Solid wrong = unit_box();
    wrong.faces[2] = flip_face(std::move(wrong.faces[2]));
    EXPECT_FALSE(watertight_ok(wrong));
}

TEST(Watertight, TJunctionsCountAsClosed) {
    // [0,2] up against [0,1] and [1,2] down: the long edges are covered by
    // two short ones each.
    Solid s;
    s.faces = {rect(0, 2, true), rect(0, 1, false), rect(1, 2, false)};
    EXPECT_TRUE(watertight_ok(s));
    s.faces.pop_back();
    EXPECT_FALSE(watertight_ok(s));
    // Twice in each direction is still closed.
    Solid twice;
    twice.faces = {rect(0, 2, true), rect(0, 2, true), rect(0, 1, false), rect(1, 2, false),
                   rect(0, 2, false)};
    EXPECT_TRUE(watertight_ok(twice));
}

TEST(Watertight, RepeatedVerticesAreIgnored) {
    Solid s = unit_box();
    auto& v = s.faces[1].vertices;
    v.insert(v.begin() + 2, v[2]);
    v.push_back(v[0]);
    EXPECT_TRUE(watertight_ok(s));
    // A two-vertex face contributes two cancelling edges.
    Face pair = s.faces[0];
    pair.vertices.resize(2);
    s.faces.push_back(std::move(pair));
    EXPECT_TRUE(watertight_ok(s));
}

TEST(PrimitivePlane, IntegersWithPositiveLead) {
    Plane p{q3("-1/2", "1/3", "0"), Rational(-1)};
    auto k = primitive_plane(p);
    EXPECT_EQ(plane_key(k), "3,-2,0,6");
    for (const Rational& r : k) EXPECT_TRUE(r.is_integer());
    Plane opposite{q3("1/2", "-1/3", "0"), Rational(1)};
    EXPECT_EQ(primitive_plane(opposite), k);
    EXPECT_EQ(plane_key(primitive_plane(Plane{q3("0", "0", "6"), Rational(30)})), "0,0,1,5");
    EXPECT_EQ(plane_key(primitive_plane(Plane{q3("0", "0", "0"), Rational(0)})), "0,0,0,0");
    // Only the offset nonzero: it leads.
    EXPECT_EQ(plane_key(primitive_plane(Plane{q3("0", "0", "0"), Rational(-3, 4)})), "0,0,0,1");
}

TEST(LogicalFaces, CountsDistinctUnorientedPlanes) {
    Solid b = unit_box();
    std::set<std::string> keys;
    for (const Face& f : b.faces) keys.insert(plane_key(primitive_plane(f.plane)));
    std::set<std::string> want = {"0,0,1,0", "0,0,1,1", "0,1,0,0", "0,1,0,1", "1,0,0,0", "1,0,0,1"};
    EXPECT_EQ(keys, want);
    EXPECT_EQ(logical_faces(b), 6u);

    Solid b235 = build_box(Rational(2), Rational(3), Rational(5), "c");
    EXPECT_EQ(logical_faces(b235), 6u);
    EXPECT_EQ(plane_key(primitive_plane(b235.faces[1].plane)), "0,0,1,5");
    EXPECT_EQ(plane_key(primitive_plane(b235.faces[4].plane)), "1,0,0,2");

    EXPECT_EQ(logical_faces(build_box(Rational(0), Rational(1), Rational(1), "t")), 1u);
    EXPECT_EQ(logical_faces(Solid{}), 0u);

    // Split pieces in one plane count once.
    Solid split;
    split.faces = {rect(0, 1, true), rect(1, 2, true), rect(5, 6, false)};
    EXPECT_EQ(logical_faces(split), 1u);
}

TEST(Bbox, ExactCornersAndEmptyFailure) {
    auto [lo, hi] = solid_bbox(build_box(Rational(-1), Rational(2), Rational(1, 3), "b"));
    EXPECT_EQ(lo, q3("-1", "0", "0"));
    EXPECT_EQ(hi, q3("0", "2", "1/3"));
    auto [lo1, hi1] = solid_bbox(unit_box());
    EXPECT_EQ(lo1, q3("0", "0", "0"));
    EXPECT_EQ(hi1, q3("1", "1", "1"));

    auto text = [](const Solid& s) {
        try {
            solid_bbox(s);
        } catch (const Panic& e) {
            return std::string(e.what());
        }
        return std::string("no panic");
    };
    EXPECT_EQ(text(build_box(Rational(0), Rational(0), Rational(0), "z")),
              "index out of bounds: the len is 0 but the index is 0");
    Solid hollow;
    hollow.faces.emplace_back();
    EXPECT_EQ(text(hollow), "index out of bounds: the len is 0 but the index is 0");
}

}  // namespace
}  // namespace qs
