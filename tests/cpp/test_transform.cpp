// Transforms (planes, labels, flip rules) and the canonical text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "query/canonical.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"
#include "solid/transform.hpp"
#include "support.hpp"

using namespace qs;
using qs::test::R;

namespace {

Solid unit() { return build_box(R("1"), R("1"), R("1"), "b"); }

std::string plane_text(const Face& f) {
    return point_text(f.plane.normal) + " " + format_rational(f.plane.offset);
}

const char* const kLabels[] = {"b.bottom", "b.top", "b.front", "b.back", "b.right", "b.left"};

}  // namespace

TEST(Transform, TranslateRebuildsPlanesKeepsLabels) {
    Solid s = translate_solid(unit(), Point3(R("1/2"), R("0"), R("0")));
    ASSERT_EQ(s.faces.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.faces[i].label, kLabels[i]);
    EXPECT_EQ(plane_text(s.faces[4]), "1/1,0/1,0/1 3/2");
    EXPECT_EQ(plane_text(s.faces[5]), "-1/1,0/1,0/1 -1/2");
    EXPECT_EQ(point_text(s.faces[0].vertices[0]), "1/2,0/1,0/1");
    EXPECT_EQ(s.faces[0].approx[0][0], 0.5);
}

TEST(Transform, ScaleAndItsFlipRule) {
    Solid s = scale_solid(unit(), R("2"), R("3"), R("5"));
    EXPECT_EQ(plane_text(s.faces[1]), "0/1,0/1,6/1 30/1");

    // One negative factor: each face is flipped after its plane was taken
    // from the mapped vertices in input order.
    Solid m = scale_solid(unit(), R("-1"), R("1"), R("1"));
    Solid plain = transform_solid(unit(), [](const Point3& p) { return Point3(-p.x, p.y, p.z); });
    for (std::size_t i = 0; i < 6; ++i) {
        const Face& f = m.faces[i];
        const Face& g = plain.faces[i];
        EXPECT_EQ(f.label, kLabels[i]);
        EXPECT_EQ(f.plane.normal, -g.plane.normal);
        EXPECT_EQ(f.plane.offset, -g.plane.offset);
        EXPECT_EQ(f.vertices.front(), g.vertices.back());
        EXPECT_EQ(f.approx.front(), g.approx.back());
    }
    EXPECT_EQ(format_rational(solid_volume6(m)), "6/1");
    Solid two = scale_solid(unit(), R("-1"), R("-1"), R("1"));  // no flip
    EXPECT_EQ(point_text(two.faces[0].vertices[1]), "0/1,-1/1,0/1");
    EXPECT_EQ(format_rational(solid_volume6(two)), "6/1");

    // A zero factor flattens but drops nothing and flips nothing.
    Solid flat = scale_solid(unit(), R("0"), R("1"), R("1"));
    ASSERT_EQ(flat.faces.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(flat.faces[i].plane.normal.is_zero()) << i;
    EXPECT_EQ(format_rational(solid_volume6(flat)), "0/1");
}

TEST(Transform, MirrorFlipsAndChecksTheAxis) {
    Solid m = mirror_solid(unit(), 0);
    EXPECT_EQ(format_rational(solid_volume6(m)), "6/1");
    EXPECT_EQ(plane_text(m.faces[4]), "-1/1,0/1,0/1 1/1");  // right, now at x = -1, outward
    try {
        mirror_solid(unit(), 5);
        FAIL();
    } catch (const Panic& p) {
        EXPECT_STREQ(p.what(), "index out of bounds: the len is 3 but the index is 5");
    }
    EXPECT_TRUE(mirror_solid(Solid{}, 9).faces.empty());
}

TEST(Transform, RotateQuarter) {
    auto image = [](std::uint64_t axis, std::int64_t q, Point3 p) {
        Solid s;
        s.faces.push_back(make_face({p, Point3(0, 0, 0), Point3(1, 1, 1)}, "t"));
        return point_text(rotate_quarter_solid(s, axis, q).faces[0].vertices[0]);
    };
    EXPECT_EQ(image(2, 1, Point3(1, 0, 0)), "0/1,1/1,0/1");
    EXPECT_EQ(image(2, -1, Point3(1, 0, 0)), "0/1,-1/1,0/1");
    EXPECT_EQ(image(2, 3, Point3(1, 0, 0)), "0/1,-1/1,0/1");
    EXPECT_EQ(image(2, 4, Point3(1, 0, 0)), "1/1,0/1,0/1");
    EXPECT_EQ(image(0, 1, Point3(0, 1, 0)), "0/1,0/1,1/1");
    EXPECT_EQ(image(1, 1, Point3(0, 0, 1)), "1/1,0/1,0/1");
    EXPECT_EQ(image(3, 1, Point3(0, 1, 0)), "0/1,0/1,1/1");
    // axis 2^64 - 2: both additions wrap onto the same index, and the pair
    // assignment leaves the point as it was.
    EXPECT_EQ(image(~std::uint64_t(0) - 1, 1, Point3(1, 2, 3)), "1/1,2/1,3/1");
}

TEST(Transform, ShortFaceCannotBeRebuilt) {
    Solid s;
    Face two;
    two.vertices = {Point3(0, 0, 0), Point3(1, 0, 0)};
    s.faces.push_back(two);
    EXPECT_THROW(translate_solid(s, Point3(1, 1, 1)), Panic);
}

TEST(Canonical, ByteOrderAndDuplicates) {
    Solid s;
    s.faces.push_back(make_face({Point3(10, 0, 0), Point3(2, 0, 0), Point3(-1, 0, 0)}, "line"));
    EXPECT_EQ(canonical_form(s), "-1/1,0/1,0/1|10/1,0/1,0/1|2/1,0/1,0/1");
    // A repeated vertex keeps both texts; a face met twice appears once.
    s.faces.push_back(make_face({Point3(R("1/2"), 0, 0), Point3(0, 0, 0), Point3(0, 0, 0)}, "dup"));
    s.faces.push_back(s.faces[0]);
    EXPECT_EQ(canonical_form(s),
              "-1/1,0/1,0/1|10/1,0/1,0/1|2/1,0/1,0/1;0/1,0/1,0/1|0/1,0/1,0/1|1/2,0/1,0/1");
    Solid empty_face;
    empty_face.faces.push_back(Face{});
    EXPECT_EQ(canonical_form(empty_face), "");
    EXPECT_EQ(canonical_form(Solid{}), "");
}
