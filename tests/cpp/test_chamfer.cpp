#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "boolean/boolean.hpp"
#include "chamfer/cell.hpp"
#include "chamfer/chamfer.hpp"
#include "exact/errors.hpp"
#include "query/canonical.hpp"
#include "query/logical_faces.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"

namespace qs {
namespace {

const Rational kTenth(1, 10);

Point3 p3(long x, long y, long z) { return Point3(Rational(x), Rational(y), Rational(z)); }

Solid box(long a, long b, long c) { return build_box(Rational(a), Rational(b), Rational(c), "p"); }

// Six times the volume of an a x b x c box with every edge bevelled by d
// and every corner trimmed: each edge prism removes d^2/2 per unit length;
// at a corner the three prisms overlap pairwise by d^3/3 (counted twice,
// added back) and all together by d^3/4, and the corner trim takes the
// tetrahedron left between the bevels, d^3/12.
Rational chamfered_box6(const Rational& a, const Rational& b, const Rational& c,
                        const Rational& d) {
    Rational d2 = d * d, d3 = d2 * d;
    Rational v = a * b * c - Rational(4) * (d2 / Rational(2)) * (a + b + c);
    v += Rational(8) * (d3 - d3 / Rational(4) - d3 / Rational(12));
    return Rational(6) * v;
}

// The parallelepiped on o spanned by u, v, w, wound outward.
Solid parallelepiped(const Point3& o, const Point3& u, const Point3& v, const Point3& w) {
    const Point3 c[8] = {o,     o + u,     o + u + v,     o + v,
                         o + w, o + u + w, o + u + v + w, o + v + w};
    std::vector<Face> faces;
    for (const auto& f : kBoxLoops) faces.push_back(make_face({c[f[0]], c[f[1]], c[f[2]], c[f[3]]}, "q"));
    Solid s = solid_from_faces(std::move(faces));
    if (solid_volume6(s).sign() < 0) {
        for (Face& f : s.faces) f = flip_face(std::move(f));
    }
    return s;
}

std::set<std::string> plane_keys(const Solid& s, const std::string& label) {
    std::set<std::string> keys;
    for (const Face& f : s.faces) {
        if (f.label == label) keys.insert(plane_key(primitive_plane(f.plane)));
    }
    return keys;
}

bool has_label_prefix(const Solid& s, const std::string& prefix) {
    for (const Face& f : s.faces) {
        if (f.label.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

std::string chamfer_error(const Solid& s, const Rational& d) {
    try {
        chamfer_solid(s, d);
    } catch (const ChamferError& e) {
        return e.what();
    }
    return "";
}

// The bevel plane of the unit-cube edge along `axis` at the corner sides
// sb, sc (0 or 1) of the other two axes: u + v = d with u, v the distances
// into the cube from the two faces.
std::string cube_bevel_key(int axis, int sb, int sc, const Rational& d) {
    Plane p;
    p.normal[(axis + 1) % 3] = Rational(sb ? -1 : 1);
    p.normal[(axis + 2) % 3] = Rational(sc ? -1 : 1);
    p.offset = d - Rational(sb) - Rational(sc);
    return plane_key(primitive_plane(p));
}

TEST(Chamfer, UnitCubeByATenth) {
    ChamferStats st;
    Solid r = chamfer_solid(box(1, 1, 1), kTenth, &st);
    EXPECT_EQ(st.edge_cuts, 12u);
    EXPECT_EQ(st.corner_cuts, 8u);
    EXPECT_EQ(solid_volume6(r), chamfered_box6(1, 1, 1, kTenth));
    EXPECT_TRUE(watertight_ok(r));
    EXPECT_EQ(logical_faces(r), 6u + 12u + 8u);

    std::set<std::string> want;
    for (int axis = 0; axis < 3; ++axis)
        for (int sb = 0; sb < 2; ++sb)
            for (int sc = 0; sc < 2; ++sc) want.insert(cube_bevel_key(axis, sb, sc, kTenth));
    EXPECT_EQ(plane_keys(r, "chamfer.b"), want);
    // Every bevel piece really lies in its stored plane.
    for (const Face& f : r.faces) {
        if (f.label != "chamfer.b") continue;
        for (const Point3& v : f.vertices) EXPECT_EQ(dot(f.plane.normal, v), f.plane.offset);
    }
    EXPECT_TRUE(has_label_prefix(r, "corner."));
}

TEST(Chamfer, LongBoxesAreBevelledAlongTheirWholeEdges) {
    // Both have an edge longer than half the reach of a cutter centred on
    // the edge's first vertex.
    for (auto [a, b, c] : {std::array<long, 3>{1, 1, 4}, std::array<long, 3>{10, 1, 1}}) {
        ChamferStats st;
        Solid r = chamfer_solid(box(a, b, c), kTenth, &st);
        EXPECT_EQ(st.edge_cuts, 12u);
        EXPECT_EQ(st.corner_cuts, 8u);
        EXPECT_EQ(solid_volume6(r), chamfered_box6(a, b, c, kTenth)) << a << "x" << b << "x" << c;
        EXPECT_TRUE(watertight_ok(r));
    }
}

TEST(Chamfer, RationalNormalsOffAxis) {
    // Cubes turned so that their normals run along (3, 4, 0) and (1, 2, 2).
    Solid c5 = parallelepiped(p3(0, 0, 0), p3(3, 4, 0), p3(-4, 3, 0), p3(0, 0, 5));
    EXPECT_EQ(solid_volume6(chamfer_solid(c5, kTenth)), chamfered_box6(5, 5, 5, kTenth));
    Solid c3 = parallelepiped(p3(1, 0, 0), p3(1, 2, 2), p3(2, 1, -2), p3(2, -2, 1));
    Solid r = chamfer_solid(c3, kTenth);
    EXPECT_EQ(solid_volume6(r), chamfered_box6(3, 3, 3, kTenth));
    EXPECT_TRUE(watertight_ok(r));
}

TEST(Chamfer, RightTriangle345BevelsAtTheExactDistance) {
    auto prism = [](long k) {
        return build_prism({{Rational(0), Rational(0)}, {Rational(4 * k), Rational(0)},
                            {Rational(0), Rational(3 * k)}},
                           Rational(1), "t");
    };
    Solid r1 = chamfer_solid(prism(1), kTenth);
    Solid r2 = chamfer_solid(prism(2), kTenth);
    // Doubling the triangle leaves every corner's neighbourhood as it was,
    // so the volumes differ by the area gained times the height, less the
    // bevel prisms (d^2/2 each) along the twelve extra units of cap edges.
    Rational d2 = kTenth * kTenth;
    Rational want = Rational(6) * (Rational(18) - Rational(2) * (d2 / Rational(2)) * Rational(12));
    EXPECT_EQ(solid_volume6(r2) - solid_volume6(r1), want);
    // Top hypotenuse bevel: z + (3x + 4y)/5 = 1 + 12/5 - 1/10.
    EXPECT_EQ(plane_keys(r1, "chamfer.b").count("6,8,10,33"), 1u);
    EXPECT_TRUE(watertight_ok(r1));
}

TEST(Chamfer, ReportableFailures) {
    // A diamond prism: side normals along (1, 1, 0).
    Solid diamond = build_prism({{Rational(1), Rational(0)}, {Rational(2), Rational(1)},
                                 {Rational(1), Rational(2)}, {Rational(0), Rational(1)}},
                                Rational(1), "d");
    EXPECT_EQ(chamfer_error(diamond, kTenth), "chamfer: non-rational face normal (K2)");
    // A bottom face whose first three vertices are collinear has a zero
    // stored normal, hence no unit normal (and no division by zero).
    Solid flat = box(1, 1, 1);
    flat.faces[0] = make_face({p3(0, 0, 0), Point3(Rational(0), Rational(1, 2), Rational(0)),
                               p3(0, 1, 0), p3(1, 1, 0), p3(1, 0, 0)},
                              "p.bottom");
    ASSERT_TRUE(flat.faces[0].plane.normal.is_zero());
    EXPECT_EQ(chamfer_error(flat, kTenth), "chamfer: non-rational face normal (K2)");
    // Corner tetrahedron: the slanted face has normal (1, 2, 2), which is
    // fine, but its edge along (2, -1, 0) has no rational length.
    std::vector<Face> t;
    t.push_back(make_face({p3(0, 0, 0), p3(0, 1, 0), p3(2, 0, 0)}, "t"));
    t.push_back(make_face({p3(0, 0, 0), p3(2, 0, 0), p3(0, 0, 1)}, "t"));
    t.push_back(make_face({p3(0, 0, 0), p3(0, 0, 1), p3(0, 1, 0)}, "t"));
    t.push_back(make_face({p3(2, 0, 0), p3(0, 1, 0), p3(0, 0, 1)}, "t"));
    Solid tetra = solid_from_faces(std::move(t));
    ASSERT_GT(solid_volume6(tetra).sign(), 0);
    EXPECT_EQ(chamfer_error(tetra, kTenth), "chamfer: non-rational edge length");
    // ...but at distance 0 nothing is bevelled, so nothing is measured.
    EXPECT_EQ(chamfer_error(tetra, Rational(0)), "");
    // Negative distances are refused before the solid is looked at, even
    // one whose bounding box would fail.
    EXPECT_EQ(chamfer_error(box(1, 1, 1), Rational(-1, 10)), "chamfer: negative distance");
    EXPECT_EQ(chamfer_error(Solid{}, Rational(-1)), "chamfer: negative distance");
}

TEST(Chamfer, SquarePrismDiagonalIsNotMeasured) {
    // The cap diagonal (1, -1, 0) lies between coplanar triangles, so it is
    // skipped before its irrational length matters.
    Solid sq = build_prism({{Rational(0), Rational(0)}, {Rational(1), Rational(0)},
                            {Rational(1), Rational(1)}, {Rational(0), Rational(1)}},
                           Rational(1), "s");
    ChamferStats st;
    Solid r = chamfer_solid(sq, kTenth, &st);
    EXPECT_EQ(st.edge_cuts, 12u);
    EXPECT_EQ(solid_volume6(r), chamfered_box6(1, 1, 1, kTenth));
}

TEST(Chamfer, CoplanarAndCrowdedLinesAreLeftSharp) {
    // Unit box whose top is two coplanar halves split at x = 1/2: the split
    // line joins coplanar pieces, and the top front and top back lines carry
    // three face edges each.
    Solid s = box(1, 1, 1);
    const Rational h(1, 2);
    auto top = [](Rational x0, Rational x1) {
        return make_face({Point3(x0, Rational(0), Rational(1)), Point3(x1, Rational(0), Rational(1)),
                          Point3(x1, Rational(1), Rational(1)), Point3(x0, Rational(1), Rational(1))},
                         "p.top");
    };
    s.faces[1] = top(Rational(0), h);
    s.faces.push_back(top(h, Rational(1)));
    ASSERT_TRUE(watertight_ok(s));

    ChamferStats st;
    Solid r = chamfer_solid(s, kTenth, &st);
    EXPECT_EQ(st.edge_cuts, 10u);
    // Top corners have only two bevelled edges each.
    EXPECT_EQ(st.corner_cuts, 4u);
    std::set<std::string> bevels = plane_keys(r, "chamfer.b");
    EXPECT_EQ(bevels.size(), 10u);
    EXPECT_EQ(bevels.count(cube_bevel_key(0, 0, 1, kTenth)), 0u);
    EXPECT_EQ(bevels.count(cube_bevel_key(0, 1, 1, kTenth)), 0u);
    // At a top corner the two bevels end flush with the faces their edges
    // run into and overlap by d^3/3; the four trimmed bottom corners each
    // leave 2d^3/3 of the bevels' sum: 1 - (10 d^2/2 - 4 d^3/3 - 8 d^3/3).
    const Rational& d = kTenth;
    const Rational d2 = d * d;
    const Rational want = Rational(1) - Rational(5) * d2 + Rational(4) * d2 * d;
    EXPECT_EQ(solid_volume6(r), Rational(6) * want);
    EXPECT_TRUE(watertight_ok(r));
}

Solid l_plate() {
    std::vector<Point2> outline;
    for (auto [x, y] : {std::pair{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}})
        outline.push_back({Rational(x), Rational(y)});
    return build_prism(std::move(outline), Rational(1), "L");
}

// Six times the volume of s inside the box from lo to hi.
Rational probe6(const Solid& s, const Point3& lo, const Point3& hi) {
    Point3 size = hi - lo;
    Solid probe = translate_solid(build_box(size.x, size.y, size.z, "probe"), lo);
    return solid_volume6(boolean_solids("intersect", s, probe));
}

// The box of half-side 2d round the L plate's inner corner (1, 1), down from
// its top face: 12 d^2 of L-shaped section over a height of 2d.
Rational inner_corner6(const Solid& s, const Rational& d) {
    const Rational lo = Rational(1) - Rational(2) * d, hi = Rational(1) + Rational(2) * d;
    return probe6(s, Point3(lo, lo, lo), Point3(hi, hi, Rational(1)));
}

bool has_vertex(const Solid& s, const Point3& p) {
    for (const Face& f : s.faces)
        for (const Point3& v : f.vertices)
            if (v == p) return true;
    return false;
}

TEST(Chamfer, InsideCornerIsMitred) {
    const Rational d(1, 20), d3 = d * d * d;
    Solid plate = l_plate();
    Solid r = chamfer_solid(plate, d);
    ASSERT_EQ(inner_corner6(plate, d), Rational(6) * Rational(24) * d3);
    // Inside the box the two top bevels take d^2/2 over 2d each, and the
    // mitre between them the pyramid of d^3/3 at the corner.
    EXPECT_EQ(inner_corner6(r, d), Rational(6) * (Rational(24) - Rational(7, 3)) * d3);
    // The bevels meet in the mitre line, from the corner of the two offset
    // lines on the top face down to the sharp reflex edge.
    const Rational in = Rational(1) - d;
    EXPECT_TRUE(has_vertex(r, Point3(in, in, Rational(1))));
    EXPECT_TRUE(has_vertex(r, Point3(Rational(1), Rational(1), in)));
    EXPECT_TRUE(watertight_ok(r));
}

// The L plate with its side in the plane `key` split in two: the side's
// top and bottom lines then carry three face edges each and stay sharp.
Solid l_plate_split(const std::string& key, const std::vector<Point3>& a,
                    const std::vector<Point3>& b) {
    Solid plate = l_plate();
    auto side = std::find_if(plate.faces.begin(), plate.faces.end(), [&](const Face& f) {
        return plane_key(primitive_plane(f.plane)) == key;
    });
    *side = make_face(a, "L.half");
    plate.faces.push_back(make_face(b, "L.half"));
    return plate;
}

TEST(Chamfer, InsideCornerEndsFlushWhereTheNeighbourStaysSharp) {
    // The inner side x = 1 split at y = 3/2.
    const Rational d(1, 20), d3 = d * d * d;
    const Rational y(3, 2);
    const Rational one(1), zero(0), two(2);
    Solid plate = l_plate_split(
        "1,0,0,1", {p3(1, 1, 0), Point3(one, y, zero), Point3(one, y, one), p3(1, 1, 1)},
        {Point3(one, y, zero), p3(1, 2, 0), p3(1, 2, 1), Point3(one, y, one)});
    ASSERT_EQ(solid_volume6(plate), Rational(18));
    ASSERT_TRUE(watertight_ok(plate));

    ChamferStats st;
    Solid r = chamfer_solid(plate, d, &st);
    EXPECT_EQ(st.edge_cuts, 15u);
    // Only the bevel along y = 1 reaches into the box, and it ends in the
    // plane x = 1 of the side it runs into: d^2/2 over 2d.
    EXPECT_EQ(inner_corner6(r, d), Rational(6) * Rational(23) * d3);
    EXPECT_TRUE(watertight_ok(r));
}

TEST(Chamfer, OutsideCornerWithASharpEdgeEndsBothBevelsFlush) {
    // The outer side y = 0 split at x = 1: its top and bottom edges stay
    // sharp, so at its four corners two bevels meet without a corner trim.
    const Rational d(1, 10), d2 = d * d, d3 = d2 * d;
    Solid plate = l_plate_split("0,1,0,0", {p3(0, 0, 0), p3(1, 0, 0), p3(1, 0, 1), p3(0, 0, 1)},
                                {p3(1, 0, 0), p3(2, 0, 0), p3(2, 0, 1), p3(1, 0, 1)});
    ASSERT_EQ(solid_volume6(plate), Rational(18));
    ASSERT_TRUE(watertight_ok(plate));

    ChamferStats st;
    Solid r = chamfer_solid(plate, d, &st);
    EXPECT_EQ(st.edge_cuts, 15u);
    EXPECT_EQ(st.corner_cuts, 6u);
    // The whole L loses (8 + 5/2) d^2 - 6 d^3 (perimeter 8, five outside
    // corners, one inside). The two sharp edges of length 2 give back their
    // d^2 each; each of the four corners gives back its 2d^3/3 and loses
    // instead the d^3/3 where its two flush bevels overlap.
    const Rational removed = Rational(17, 2) * d2 - Rational(14, 3) * d3;
    EXPECT_EQ(solid_volume6(r), Rational(6) * (Rational(3) - removed));
    EXPECT_TRUE(watertight_ok(r));
}

TEST(Chamfer, BevelEndsFlushWithTheFaceItsEdgeRunsInto) {
    // A unit boss on a 3 x 3 x 1 slab: its vertical edges end on the slab's
    // top, where the edges round the boss's foot are reflex.
    const Rational d(1, 20), d3 = d * d * d;
    Solid slab = build_box(Rational(3), Rational(3), Rational(1), "slab");
    Solid boss = translate_solid(box(1, 1, 1), p3(1, 1, 1));
    Solid s = boolean_solids("union", slab, boss);
    Solid r = chamfer_solid(s, d);
    // Round the foot of the edge at (2, 2): 2d of slab below the top, 2d of
    // boss above it; of the boss the bevel takes d^2/2 over 2d, of the slab
    // nothing.
    const Rational lo = Rational(2) - Rational(2) * d, hi = Rational(2) + Rational(2) * d;
    const Point3 a(lo, lo, Rational(1) - Rational(2) * d), b(hi, hi, Rational(1) + Rational(2) * d);
    ASSERT_EQ(probe6(s, a, b), Rational(6) * Rational(40) * d3);
    EXPECT_EQ(probe6(r, a, b), Rational(6) * Rational(39) * d3);
    EXPECT_TRUE(watertight_ok(r));
}

TEST(ChamferCell, HalfSpacesOfABox) {
    // x, y, z in [0, 1] and x + y <= 3/2: a cube with one edge cut off.
    auto bound = [](long a, long b, long c, Rational k, const char* label) {
        return chamfer::Bound{Plane{p3(a, b, c), std::move(k)}, label};
    };
    std::vector<chamfer::Bound> hs = {
        bound(1, 1, 0, Rational(3, 2), "cut"), bound(-1, 0, 0, 0, "x"), bound(0, -1, 0, 0, "y"),
        bound(0, 0, -1, 0, "z"),  bound(1, 0, 0, 1, "X"), bound(0, 1, 0, 1, "Y"),
        bound(0, 0, 1, 1, "Z"),   bound(2, 2, 0, 3, "again")};
    Solid c = chamfer::convex_cell(hs);
    EXPECT_EQ(solid_volume6(c), Rational(6) * Rational(7, 8));
    EXPECT_TRUE(watertight_ok(c));
    ASSERT_EQ(c.faces.size(), 7u);  // the repeated bound adds nothing
    EXPECT_EQ(c.faces[0].label, "cut");
    // The cut leaves two sides and the top and bottom pentagons short.
    const std::map<std::string, std::size_t> corners = {{"cut", 4}, {"x", 4}, {"y", 4}, {"z", 5},
                                                        {"X", 4}, {"Y", 4}, {"Z", 5}};
    for (const Face& f : c.faces) EXPECT_EQ(f.vertices.size(), corners.at(f.label)) << f.label;
    // Bounds that leave nothing, or only a plane, give no faces.
    hs.push_back(bound(-1, -1, 0, Rational(-3, 2), "flat"));
    EXPECT_TRUE(chamfer::convex_cell(hs).faces.empty());
    hs.back() = bound(-1, 0, 0, Rational(-2), "beyond");
    EXPECT_TRUE(chamfer::convex_cell(hs).faces.empty());
}

}  // namespace
}  // namespace qs
