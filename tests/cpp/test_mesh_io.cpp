#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "io/mesh_files.hpp"
#include "io/numbers.hpp"
#include "io/solid_text.hpp"
#include "mesh/triangulate.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"
#include "solid/box.hpp"

namespace qs {
namespace {

std::string dec(std::string_view s) {
    auto v = parse_decimal(s);
    return v ? format_rational(*v) : "none";
}

TEST(Decimal, ExactFractions) {
    EXPECT_EQ(dec("0.1"), "1/10");
    EXPECT_EQ(dec("-2.5E-3"), "-1/400");
    EXPECT_EQ(dec("+7"), "7/1");
    EXPECT_EQ(dec(".5"), "1/2");
    EXPECT_EQ(dec("5."), "5/1");
    EXPECT_EQ(dec("1e3"), "1000/1");
    EXPECT_EQ(dec("-0.0"), "0/1");
    EXPECT_EQ(dec("0.30000000000000000000000001"), "30000000000000000000000001/100000000000000000000000000");
    EXPECT_EQ(dec("12345678901234567890.5e-1"), "24691357802469135781/20");
    EXPECT_EQ(dec("1e-400").size(), 403u);  // "1/1" and 400 zeros
    // The smallest subnormal double written out in full: 1075 digits.
    const std::string full = "0." + std::string(323, '0') + "4" + std::string(750, '7');
    EXPECT_NE(dec(full), "none");
    for (const char* bad : {"", ".", "-", "e5", "1e", "1e+", "nan", "inf", "-inf", "0x10", "1/3",
                            "1.2.3", "1e401", "1e-401", " 1", "1 ", "1_0", "١"})
        EXPECT_EQ(dec(bad), "none") << bad;
    EXPECT_EQ(dec(std::string(1101, '1')), "none");
}

TEST(Decimal, DoublesAreExactBinaryFractions) {
    EXPECT_EQ(format_rational(*double_value(0.1)), "3602879701896397/36028797018963968");
    EXPECT_EQ(format_rational(*double_value(-3.0)), "-3/1");
    EXPECT_EQ(format_rational(*double_value(0x1p-1074)).size(), 2u + 324u);  // 1/2^1074
    EXPECT_FALSE(double_value(NAN).has_value());
    EXPECT_FALSE(double_value(-INFINITY).has_value());
    std::mt19937_64 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, 8);
        if (!std::isfinite(d)) continue;
        // Back through the correctly rounded conversion, and through text.
        EXPECT_EQ(rational_to_double(*double_value(d)), d);
        std::string text;
        append_double(text, d);
        EXPECT_EQ(rational_to_double(*parse_decimal(text)), d) << text;
    }
    std::string s;
    append_double(s, 0.1);
    s += ' ';
    append_double(s, 1e22);
    EXPECT_EQ(s, "0.1 1e+22");
}

TEST(Decimal, FloatsAreRoundedOnce) {
    // 1 + 2^-24 is halfway between the floats 1 and 1 + 2^-23; a value just
    // above it rounds to the double 1 + 2^-24, and rounding that again
    // would give 1 (the even one). The nearest float is 1 + 2^-23.
    ScratchInt n, d;
    fmpz_one(n.v);
    fmpz_one(d.v);
    fmpz_mul_2exp(d.v, d.v, 90);
    Rational above = *double_value(1 + 0x1p-24) + Rational::from_fmpz(n.v, d.v);
    ASSERT_EQ(rational_to_double(above), 1 + 0x1p-24);
    EXPECT_EQ(rational_to_float(above), 1 + 0x1p-23f);
    Rational below = *double_value(1 + 0x1p-24) - Rational::from_fmpz(n.v, d.v);
    EXPECT_EQ(rational_to_float(below), 1.0f);
    EXPECT_EQ(rational_to_float(*double_value(1 + 0x1p-24)), 1.0f);  // a true tie: even
    EXPECT_EQ(rational_to_float(*double_value(1 + 3 * 0x1p-24)), 1 + 0x1p-22f);
    // Against the definition, on random fractions near floats' midpoints.
    std::mt19937_64 rng(11);
    for (int i = 0; i < 2000; ++i) {
        float f = std::ldexp(float(rng() % (1 << 24)) / float(1 << 24) + 1.0f, int(rng() % 40) - 20);
        float up = std::nextafter(f, INFINITY);
        Rational mid = (*double_value(f) + *double_value(up)).half();
        Rational r = mid + Rational(long(rng() % 5) - 2, 1L << 40) * *double_value(f);
        float got = rational_to_float(r);
        Rational err = (r - *double_value(got)).abs();
        EXPECT_LE(err, (r - *double_value(f)).abs());
        EXPECT_LE(err, (r - *double_value(up)).abs());
    }
}

Point3 p3(long x, long y, long z) { return Point3(Rational(x), Rational(y), Rational(z)); }

// Twice the area vector of a triangle list over points.
Point3 area_of(const std::vector<Point3>& pts, const std::vector<std::array<std::uint32_t, 3>>& t,
               bool& all_positive, const Point3& normal) {
    Point3 sum;
    all_positive = true;
    for (const auto& tri : t) {
        Point3 a = cross(pts[tri[1]] - pts[tri[0]], pts[tri[2]] - pts[tri[0]]);
        all_positive &= dot(a, normal).sign() > 0;
        sum = sum + a;
    }
    return sum;
}

TEST(Triangulate, ConvexLoopsWithPointsAlongTheSides) {
    // Random convex polygons in z = 0 (corners on a circle of integer
    // points), with random extra points along their sides.
    std::mt19937_64 rng(3);
    const std::vector<std::pair<long, long>> ring = {{5, 0},  {4, 3},  {3, 4},   {0, 5},
                                                     {-3, 4}, {-4, 3}, {-5, 0},  {-4, -3},
                                                     {-3, -4}, {0, -5}, {3, -4}, {4, -3}};
    for (int round = 0; round < 300; ++round) {
        std::vector<Point3> pts;
        for (auto [x, y] : ring)
            if (rng() % 2) pts.push_back(p3(60 * x, 60 * y, 0));
        if (pts.size() < 3) continue;
        std::vector<Point3> loop_pts;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            loop_pts.push_back(pts[i]);
            const Point3& a = pts[i];
            const Point3& b = pts[(i + 1) % pts.size()];
            for (long k = 1, m = long(rng() % 4); k <= m; ++k)
                loop_pts.push_back(a + Rational(k, m + 1) * (b - a));
        }
        std::vector<std::uint32_t> loop(loop_pts.size());
        for (std::size_t i = 0; i < loop.size(); ++i) loop[i] = std::uint32_t(i);
        std::rotate(loop.begin(), loop.begin() + long(rng() % loop.size()), loop.end());
        std::vector<std::array<std::uint32_t, 3>> tris;
        Point3 area = area_vector(loop_pts);
        triangulate_convex_loop(loop_pts, loop, area, 0, tris);
        ASSERT_EQ(tris.size(), loop.size() - 2);
        bool positive = false;
        EXPECT_EQ(area_of(loop_pts, tris, positive, p3(0, 0, 1)), area);
        EXPECT_TRUE(positive) << "a triangle without area, round " << round;
    }
}

TEST(Triangulate, RefusesWhatIsNotConvex) {
    std::vector<Point3> pts = {p3(0, 0, 0), p3(2, 0, 0), p3(2, 2, 0), p3(1, 1, 0), p3(0, 2, 0)};
    std::vector<std::uint32_t> loop = {0, 1, 2, 3, 4};
    std::vector<std::array<std::uint32_t, 3>> tris;
    EXPECT_THROW(triangulate_convex_loop(pts, loop, area_vector(pts), 4, tris), InputError);
}

// Every undirected edge used the same number of times in each direction.
bool edge_matched(const TriangleMesh& m) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> net;
    for (const auto& t : m.triangles)
        for (int i = 0; i < 3; ++i) {
            std::uint32_t a = t[i], b = t[(i + 1) % 3];
            net[{std::min(a, b), std::max(a, b)}] += a < b ? 1 : -1;
        }
    for (const auto& [e, n] : net)
        if (n != 0) return false;
    return true;
}

Solid as_triangles(const TriangleMesh& m) {
    Solid s;
    for (const auto& t : m.triangles)
        s.faces.push_back(make_face({m.vertices[t[0]], m.vertices[t[1]], m.vertices[t[2]]}, "t"));
    return s;
}

TEST(Triangulate, TJunctionsAreSplit) {
    // A 2 x 1 x 1 box whose +y face is two unit squares: the long edges of
    // the top, bottom... faces meet the middle vertices.
    Solid box = build_box(Rational(2), Rational(1), Rational(1), "b");
    Solid split;
    for (const Face& f : box.faces) {
        bool back = true;
        for (const Point3& p : f.vertices) back &= p.y == Rational(1);
        if (!back) {
            split.faces.push_back(f);
            continue;
        }
        for (long x0 : {0L, 1L}) {
            std::vector<Point3> v = f.vertices;
            for (Point3& p : v) p.x = p.x.is_zero() ? Rational(x0) : Rational(x0 + 1);
            split.faces.push_back(make_face(std::move(v), f.label));
        }
    }
    ASSERT_TRUE(watertight_ok(split));
    TriangleMesh m = triangulate_solid(split);
    EXPECT_TRUE(edge_matched(m));
    EXPECT_EQ(m.vertices.size(), 10u);  // the corners and the two middle points
    EXPECT_EQ(solid_volume6(as_triangles(m)), solid_volume6(split));
    EXPECT_EQ(m.face_of.size(), m.triangles.size());
}

using Reader = MeshInput (*)(std::string_view, ReadBudget&);

// A file's solid as read_mesh makes it, with every check.
Solid read_file(Reader reader, std::string_view text) {
    ReadBudget budget = ReadBudget::for_file(text.size());
    MeshInput m = reader(text, budget);
    FaceAssembly a;
    add_polygons(a, m, m.points, 0, false, false, &budget);
    return std::move(a).finish(true);
}

TEST(MeshFiles, WrittenAndReadBackExactly) {
    Solid box = build_box(Rational(1, 3), Rational(2), Rational(-5, 7), "b");
    TriangleMesh m = triangulate_solid(box);
    // The box has negative size: wound inwards, and turned over on reading.
    Solid from_obj = read_file(read_obj, write_obj(m, box, true));
    EXPECT_EQ(solid_volume6(from_obj), -solid_volume6(box));
    Solid from_off = read_file(read_off, write_off(m, true));
    EXPECT_EQ(solid_volume6(from_off), -solid_volume6(box));
    // Without the exact lines, 1/3 comes back as the decimal of its double.
    Solid rough = read_file(read_obj, write_obj(m, box, false));
    EXPECT_NE(solid_volume6(rough), -solid_volume6(box));
    // Binary STL: floats, which 1/3 is not.
    std::string stl = write_stl_binary(m, box);
    EXPECT_EQ(stl.size(), 84u + 50u * 12u);
    Solid from_stl = read_file(read_stl, stl);
    EXPECT_TRUE(watertight_ok(from_stl));
}

std::string refusal(std::string_view text, Reader reader) {
    try {
        ReadBudget budget = ReadBudget::for_file(text.size());
        reader(text, budget);
    } catch (const InputError& e) {
        return e.what();
    }
    return "read";
}

TEST(MeshFiles, ReadersNameTheLine) {
    EXPECT_EQ(refusal("v 0 0 0\nv 1 0 0\nf 1 2 -3\n", read_obj),
              "line 3: vertex index -3 does not exist (2 vertices so far)");
    EXPECT_EQ(refusal("v 0 0\n", read_obj), "line 1: expected three coordinates x y z");
    EXPECT_EQ(refusal("v 1 2 3 0\n", read_obj), "line 1: the vertex's w is zero");
    EXPECT_EQ(refusal("#qs-exact 1/1 0/1 0/1\n", read_obj),
              "line 1: an exact line must follow a vertex line");
    EXPECT_EQ(refusal("4OFF\n", read_off), "line 1: only three-dimensional OFF files are read, "
                                           "not '4OFF'");
    EXPECT_EQ(refusal("PLY\n", read_off), "line 1: not an OFF file (it should begin with OFF)");
    EXPECT_EQ(refusal("OFF\n1 x 0\n", read_off), "line 2: expected a count, found 'x'");
    EXPECT_EQ(refusal("solid a\nfacet normal 0 0 0\nouter loop\nvertex 1 2\n", read_stl),
              "line 4: expected three coordinates x y z");
    EXPECT_EQ(refusal("solid a\nfacet normal 0 0 0\nloop\n", read_stl),
              "line 3: expected 'outer', found 'loop'");
    EXPECT_EQ(refusal("tiny", read_stl),
              "not an STL file: too short for binary STL and not ASCII STL (which begins with "
              "'solid' and a line 'facet' or 'endsolid')");
    // Two ASCII solids, upper-case keywords, each labelled by its name.
    ReadBudget budget = ReadBudget::for_file(0);
    MeshInput two = read_stl(
        "SOLID one\nFACET NORMAL 0 0 1\nOUTER LOOP\nVERTEX 0 0 0\nVERTEX 1 0 0\nVERTEX 0 1 0\n"
        "ENDLOOP\nENDFACET\nENDSOLID one\nsolid\nendsolid\n\n",
        budget);
    ASSERT_EQ(two.polygons.size(), 1u);
    EXPECT_EQ(two.labels[two.polygons[0].label], "one");
    EXPECT_EQ(two.polygons[0].line, 2u);
}

// Damaged files: every reader either reads or throws InputError, never
// anything else (under the sanitizers: never a bad memory access).
TEST(MeshFiles, DamagedFilesAreRefusedCleanly) {
    Solid box = build_box(Rational(3, 2), Rational(2), Rational(1, 4), "b");
    TriangleMesh m = triangulate_solid(box);
    auto solid_text = [](std::string_view t, ReadBudget&) {
        solid_from_text(t);
        return MeshInput{};
    };
    const std::vector<std::pair<std::string, Reader>> files = {
        {solid_to_text(box), solid_text},
        {write_obj(m, box, true), read_obj},
        {write_off(m, true), read_off},
        {write_stl_ascii(m, box), read_stl},
        {write_stl_binary(m, box), read_stl},
    };
    std::mt19937_64 rng(5);
    std::string alphabet = "0123456789 .-+e/#\nfvOFsolidx";
    alphabet.push_back('\0');
    for (const auto& [good, reader] : files) {
        for (int round = 0; round < 400; ++round) {
            std::string bad = good;
            if (round % 4 == 0) {
                bad.resize(rng() % bad.size());
            } else {
                for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k)
                    bad[rng() % bad.size()] = alphabet[rng() % alphabet.size()];
            }
            try {
                read_file(reader, bad);
            } catch (const InputError&) {
            }
        }
    }
}

}  // namespace
}  // namespace qs
