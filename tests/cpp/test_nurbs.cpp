#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "entry/nurbs.hpp"
#include "exact/parse.hpp"
#include "nurbs/nurbs.hpp"
#include "nurbs/ssi.hpp"
#include "support.hpp"

using namespace qs;
using namespace qs::nurbs;
using namespace qs::entry;
using qs::test::panic_text;

namespace {

std::string idx(std::size_t len, std::size_t i) {
    return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
           std::to_string(i);
}

const Texts2 kQuad = {{"0", "0", "0"}, {"1", "2", "0"}, {"2", "0", "0"}};
const Texts kQuadKnots = {"0", "0", "0", "1", "1", "1"};

}  // namespace

TEST(NurbsCurve, WorkedValues) {
    EXPECT_EQ(nurbs_curve_eval(1, {{"0", "0", "0"}, {"2", "4", "6"}}, {"0", "0", "1", "1"}, "1/2",
                               nullptr),
              (Texts{"1/1", "2/1", "3/1"}));
    Texts w = {"1", "2", "1"};
    EXPECT_EQ(nurbs_curve_eval(2, kQuad, kQuadKnots, "1/2", &w), (Texts{"1/1", "4/3", "0/1"}));
    EXPECT_EQ(nurbs_curve_eval(2, {{"0", "0", "0", "1"}, {"2", "4", "0", "2"}, {"2", "0", "0", "1"}},
                               kQuadKnots, "1/2", nullptr),
              (Texts{"1/1", "4/3", "0/1"}));
    EXPECT_EQ(nurbs_curve_eval(2, kQuad, kQuadKnots, "2", nullptr), (Texts{"4/1", "-8/1", "0/1"}));
    // Degree 0 picks the span's point; an interior knot starts the next span.
    Texts2 two = {{"1", "1", "1"}, {"5", "5", "5"}};
    EXPECT_EQ(nurbs_curve_eval(0, two, {"0", "1", "2"}, "1/2", nullptr),
              (Texts{"1/1", "1/1", "1/1"}));
    EXPECT_EQ(nurbs_curve_eval(0, two, {"0", "1", "2"}, "1", nullptr),
              (Texts{"5/1", "5/1", "5/1"}));
    // Surplus control points beyond the weights are ignored.
    Texts w2 = {"2", "2"};
    EXPECT_EQ(nurbs_curve_eval(1, {{"0", "0", "0"}, {"2", "4", "6"}, {"x"}}, {"0", "0", "1", "1"},
                               "1/4", &w2),
              (Texts{"1/2", "1/1", "3/2"}));
}

TEST(NurbsCurve, FindSpan) {
    std::vector<Rational> k = {0, 0, 0, 1, 1, 2, 3, 3, 3};
    EXPECT_EQ(find_span(2, k, 6, Rational(1)), 4u);  // double knot: span starting at it
    EXPECT_EQ(find_span(2, k, 6, Rational(1, 2)), 2u);
    EXPECT_EQ(find_span(2, k, 6, Rational(5, 2)), 5u);
    EXPECT_EQ(find_span(2, k, 6, Rational(3)), 5u);
    EXPECT_EQ(find_span(2, k, 6, Rational(-7)), 2u);
    EXPECT_EQ(find_span(2, k, 6, Rational(9)), 5u);
    // Decreasing knots still narrow.
    std::vector<Rational> down = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    EXPECT_EQ(find_span(1, down, 8, Rational(-1)), 1u);
    EXPECT_EQ(find_span(1, down, 8, Rational(1)), 7u);
}

TEST(NurbsCurve, FailureTexts) {
    Texts none;
    EXPECT_EQ(panic_text([] { nurbs_curve_eval(1, {}, {"0", "1"}, "0", nullptr); }), idx(0, 0));
    EXPECT_EQ(panic_text([&] { nurbs_curve_eval(1, kQuad, {"0", "1"}, "0", &none); }), idx(0, 0));
    // No more than n knots.
    EXPECT_EQ(panic_text([] { nurbs_curve_eval(2, kQuad, {"0", "0", "0"}, "0", nullptr); }),
              idx(3, 3));
    // Long enough for the span search, too short for the evaluation.
    EXPECT_EQ(panic_text([] { nurbs_curve_eval(2, kQuad, {"0", "0", "0", "1"}, "1/2", nullptr); }),
              idx(4, 4));
    // Two-coordinate points leave H without entry 3.
    EXPECT_EQ(panic_text([] {
                  nurbs_curve_eval(1, {{"0", "0"}, {"1", "1"}}, {"0", "0", "1", "1"}, "0", nullptr);
              }),
              idx(3, 3));
    // A short point inside the span.
    EXPECT_EQ(panic_text([] {
                  nurbs_curve_eval(1, {{"0", "0", "0"}, {"1", "1"}}, {"0", "0", "1", "1"}, "0",
                                   nullptr);
              }),
              idx(3, 3));
    // Weights blending to zero.
    Texts w = {"1", "-1"};
    EXPECT_EQ(panic_text([&] {
                  nurbs_curve_eval(1, {{"0", "0", "0"}, {"1", "1", "1"}}, {"0", "0", "1", "1"},
                                   "1/2", &w);
              }),
              "attempt to divide by zero");
    // Knots are parsed before weights, weights before coordinates, t last.
    Texts bad_w = {"1", "q"};
    EXPECT_NE(panic_text([&] { nurbs_curve_eval(1, {{"y"}}, {"0", "z"}, "t", &bad_w); })
                  .find("InvalidDigit"),
              std::string::npos);
    EXPECT_EQ(panic_text([&] { nurbs_curve_eval(1, {{"0", "0", "0"}}, {"0"}, "", &w); }),
              panic_text([] { parse_rational(""); }));
}

TEST(NurbsCurve, FewerPointsThanDegreeNeverLoop) {
    // Decreasing knots with fewer points than the degree: every parameter,
    // inside or past knots[n], ends in the same index failure.
    Texts2 pts = {{"0", "0", "0"}, {"1", "1", "1"}};
    Texts down = {"9", "8", "7", "6", "5", "4", "3", "2", "1", "0"};
    for (const char* t : {"-5", "0", "3", "15/2", "100"}) {
        EXPECT_EQ(panic_text([&] { nurbs_curve_eval(5, pts, down, t, nullptr); }), idx(2, 2)) << t;
    }
    EXPECT_EQ(panic_text([&] { nurbs_curve_eval(~std::uint64_t{0}, pts, down, "4", nullptr); }),
              idx(2, 2));
    EXPECT_EQ(panic_text([&] { nurbs_curve_eval(~std::uint64_t{0}, pts, down, "100", nullptr); }),
              idx(2, 2));
}

TEST(NurbsSurface, WorkedValuesAndFailures) {
    Texts3 net = {{{"0", "0", "0"}, {"0", "1", "0"}}, {{"1", "0", "0"}, {"1", "1", "1"}}};
    Texts k = {"0", "0", "1", "1"};
    EXPECT_EQ(nurbs_surface_eval(1, 1, net, k, k, "1/2", "1/2", nullptr),
              (Texts{"1/2", "1/2", "1/4"}));
    Texts2 w = {{"1", "1"}, {"1", "3"}};
    EXPECT_EQ(nurbs_surface_eval(1, 1, net, k, k, "1/2", "1/2", &w), (Texts{"2/3", "2/3", "1/2"}));
    EXPECT_EQ(nurbs_surface_eval(1, 1, net, k, k, "0", "1", nullptr), (Texts{"0/1", "1/1", "0/1"}));

    Texts2 short_rows = {{"1", "1"}};
    EXPECT_EQ(panic_text([&] { nurbs_surface_eval(1, 1, net, k, k, "0", "0", &short_rows); }),
              idx(1, 1));
    Texts2 short_entry = {{"1", "1"}, {"1"}};
    EXPECT_EQ(panic_text([&] { nurbs_surface_eval(1, 1, net, k, k, "0", "0", &short_entry); }),
              idx(1, 1));
    EXPECT_EQ(panic_text([&] { nurbs_surface_eval(1, 1, {}, k, k, "0", "0", nullptr); }), idx(0, 0));
    Texts3 empty_row = {{{"0", "0", "0"}, {"0", "1", "0"}}, {}};
    EXPECT_EQ(panic_text([&] { nurbs_surface_eval(1, 1, empty_row, k, k, "0", "0", nullptr); }),
              idx(0, 0));
    // Every row is evaluated, even one the u span does not need: a short
    // third row fails its v pass.
    Texts3 extra = {net[0], net[1], {{"5", "5", "5"}}};
    EXPECT_EQ(panic_text([&] { nurbs_surface_eval(1, 1, extra, k, k, "0", "0", nullptr); }),
              idx(1, 1));
}

// ---------------------------------------------------------------- ssi_pairs

namespace {

Texts3 square(const char* z) {
    return {{{"0", "0", z}, {"0", "1", z}}, {{"1", "0", z}, {"1", "1", z}}};
}

std::vector<Texts> texts(const std::vector<PairBoxes>& r) {
    std::vector<Texts> out;
    for (const PairBoxes& p : r) {
        Texts t;
        for (const Rational& x : p) t.push_back(format_rational(x));
        out.push_back(t);
    }
    return out;
}

// scale near 2^60 puts the integers of the loop on both sides of the word
// size, so the inline paths and FLINT's big-integer paths both run.
Net random_net(std::mt19937& rng, std::size_t rows, std::size_t cols, std::size_t dim, int shift,
               const Rational& scale = Rational(1)) {
    std::uniform_int_distribution<int> num(-6, 6), den(1, 5), wt(1, 4);
    Net net(rows);
    for (auto& row : net)
        for (std::size_t j = 0; j < cols; ++j) {
            Point p;
            Rational w = dim == 3 ? Rational(1) : Rational(wt(rng), den(rng));
            for (int c = 0; c < 3; ++c)
                p.push_back(Rational(num(rng) + shift, den(rng)) * w * scale);
            if (dim != 3) {
                p.push_back(w);
                for (std::size_t extra = 4; extra < dim; ++extra) p.push_back(Rational(num(rng)));
            }
            row.push_back(std::move(p));
        }
    return net;
}

}  // namespace

TEST(Ssi, WorkedValues) {
    auto r0 = texts(ssi_pairs(square("0"), square("1"), 0, nullptr, nullptr));
    EXPECT_EQ(r0, (std::vector<Texts>{{"0/1", "1/1", "0/1", "1/1", "0/1", "1/1", "0/1", "1/1"}}));
    EXPECT_TRUE(ssi_pairs(square("0"), square("1"), 1, nullptr, nullptr).empty());
    EXPECT_TRUE(ssi_pairs(square("0"), square("1"), 5, nullptr, nullptr).empty());

    auto same = texts(ssi_pairs(square("0"), square("0"), 1, nullptr, nullptr));
    ASSERT_EQ(same.size(), 16u);
    EXPECT_EQ(same[0], (Texts{"0/1", "1/2", "0/1", "1/2", "0/1", "1/2", "0/1", "1/2"}));
    EXPECT_EQ(same[1], (Texts{"0/1", "1/2", "0/1", "1/2", "0/1", "1/2", "1/2", "1/1"}));

    Texts3 wall = {{{"1/3", "0", "-1"}, {"1/3", "0", "1"}}, {{"1/3", "1", "-1"}, {"1/3", "1", "1"}}};
    auto d1 = texts(ssi_pairs(square("0"), wall, 1, nullptr, nullptr));
    ASSERT_EQ(d1.size(), 8u);
    for (const Texts& t : d1) {
        EXPECT_EQ(t[0], "0/1");
        EXPECT_EQ(t[1], "1/2");
    }
    EXPECT_EQ(ssi_pairs(square("0"), wall, 2, nullptr, nullptr).size(), 20u);

    // Caller boxes are halved without validation.
    Texts odd = {"2", "0", "5", "5", "ignored"};
    auto h = texts(ssi_pairs(square("0"), square("0"), 1, &odd, nullptr));
    EXPECT_EQ(h[0][0], "2/1");
    EXPECT_EQ(h[0][1], "1/1");
    EXPECT_EQ(h[0][2], "5/1");
    EXPECT_EQ(h[15][0], "1/1");
    EXPECT_EQ(h[15][1], "0/1");
}

// The fast search against the plain one, on random nets of every kind.
TEST(Ssi, FastSearchMatchesPlainAlgorithm) {
    std::mt19937 rng(7);
    int deep = 0;
    for (int trial = 0; trial < 24; ++trial) {
        std::size_t ra = 1 + trial % 4, ca = 1 + (trial / 4) % 4;
        std::size_t rb = 1 + (trial + 1) % 3, cb = 2 + trial % 3;
        // Cartesian against Cartesian, homogeneous (with an extra entry)
        // against Cartesian, and homogeneous against homogeneous.
        std::size_t da = trial % 3 == 0 ? 3 : (trial % 3 == 1 ? 5 : 4);
        std::size_t db = trial % 3 == 2 ? 4 : 3;
        const Rational scale = trial % 2 ? Rational(1) : Rational((1L << 60) - 1, 3);
        Net a = random_net(rng, ra, ca, da, 0, scale);
        Net b = random_net(rng, rb, cb, db, 1, scale);
        for (std::uint64_t depth = 1; depth <= 3; ++depth) {
            const ParamBox unit{0, 1, 0, 1};
            auto fast = ssi_pairs(a, b, unit, unit, depth, default_ssi_budget());
            EXPECT_EQ(texts(fast), texts(ssi_pairs_plain(a, b, unit, unit, depth)))
                << trial << " " << depth;
            if (depth == 3 && fast.size() > 4) ++deep;
        }
    }
    EXPECT_GT(deep, 12);  // the comparison must reach level 3 with real pair lists
}

TEST(Ssi, HomogeneousUnitWeightsMatchCartesian) {
    Texts3 bump = {{{"0", "0", "0"}, {"0", "1/2", "1"}, {"0", "1", "0"}},
                   {{"1/2", "0", "1"}, {"1/2", "1/2", "-2"}, {"1/2", "1", "1"}},
                   {{"1", "0", "0"}, {"1", "1/2", "1"}, {"1", "1", "0"}}};
    Texts3 hom = bump;
    for (auto& row : hom)
        for (auto& p : row) p.push_back("1");
    Texts3 tilt = {{{"0", "0", "-1/3"}, {"0", "1", "1/5"}}, {{"1", "0", "1/4"}, {"1", "1", "-1/7"}}};
    auto want = texts(ssi_pairs(bump, tilt, 4, nullptr, nullptr));
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(texts(ssi_pairs(hom, tilt, 4, nullptr, nullptr)), want);
}

TEST(Ssi, FailureTexts) {
    Texts shortbox = {"0", "1"};
    EXPECT_EQ(panic_text([&] { ssi_pairs(square("0"), square("0"), 0, &shortbox, nullptr); }),
              idx(2, 2));
    EXPECT_EQ(panic_text([&] { ssi_pairs(square("0"), square("0"), 0, nullptr, &shortbox); }),
              idx(2, 2));
    // Depth 0 never looks at the nets, not even malformed-free empty ones.
    EXPECT_EQ(ssi_pairs({}, {}, 0, nullptr, nullptr).size(), 1u);
    EXPECT_EQ(panic_text([] { ssi_pairs({}, square("0"), 1, nullptr, nullptr); }), idx(0, 0));
    EXPECT_EQ(panic_text([] { ssi_pairs({{}}, square("0"), 1, nullptr, nullptr); }), idx(0, 0));
    // Short points: Cartesian, homogeneous, empty.
    Texts3 c2 = {{{"0", "0", "0"}, {"0", "1"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(c2, square("0"), 1, nullptr, nullptr); }), idx(2, 2));
    Texts3 h2 = {{{"0", "0", "0", "1"}, {"0", "1", "1"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(h2, square("0"), 1, nullptr, nullptr); }), idx(3, 3));
    Texts3 h0 = {{{"0", "0", "0", "1"}, {}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(h0, square("0"), 1, nullptr, nullptr); }), idx(0, 0));
    // A row shorter than the first, found when the patch is split.
    Texts3 ragged = {{{"0", "0", "0"}, {"0", "1", "0"}, {"0", "2", "0"}},
                     {{"1", "0", "0"}, {"1", "1", "0"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(ragged, square("0"), 1, nullptr, nullptr); }), idx(2, 2));
    // ...but not when the boxes are apart and nothing is split.
    EXPECT_TRUE(ssi_pairs(ragged, square("5"), 1, nullptr, nullptr).empty());
    // A point shorter than dim, past the control box's reads.
    Texts3 h5 = {{{"0", "0", "0", "1", "7"}, {"0", "1", "0", "1"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(h5, square("0"), 1, nullptr, nullptr); }), idx(4, 4));
    // Zero weight at the root, and weights averaging to zero in a child.
    Texts3 wz = {{{"0", "0", "0", "0"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(wz, square("0"), 1, nullptr, nullptr); }),
              "attempt to divide by zero");
    Texts3 wneg = {{{"0", "0", "0", "1"}, {"0", "-1", "0", "-1"}}};
    EXPECT_EQ(panic_text([&] { ssi_pairs(wneg, square("0"), 3, nullptr, nullptr); }),
              "attempt to divide by zero");
}

TEST(Ssi, MemoryBound) {
    std::mt19937 rng(3);
    Net a = random_net(rng, 4, 4, 3, 0);
    try {
        ssi_pairs(a, a, ParamBox{0, 1, 0, 1}, ParamBox{0, 1, 0, 1}, 1000, 1 << 20);
        FAIL() << "no MemoryLimit";
    } catch (const MemoryLimit& e) {
        EXPECT_NE(std::string(e.what()).find("memory bound of 1 MiB"), std::string::npos);
    }
    // A search that stays small at great depth is not stopped early:
    // two squares touching at one corner keep a single pair.
    Texts3 far = {{{"1", "1", "0"}, {"1", "2", "0"}}, {{"2", "1", "0"}, {"2", "2", "0"}}};
    auto r = ssi_pairs(square("0"), far, 60, nullptr, nullptr, 1 << 20);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(format_rational(r[0][0]), "1152921504606846975/1152921504606846976");
    // What the caller spends on each pair of the result counts as well: the
    // 100 pairs of two coincident squares fit 1 MiB, but not at 16 KiB each.
    EXPECT_EQ(ssi_pairs(square("0"), square("0"), 2, nullptr, nullptr, 1 << 20).size(), 100u);
    const ResultCost sixteen_kib = [](std::size_t) -> std::size_t { return 16384; };
    EXPECT_THROW(ssi_pairs(square("0"), square("0"), 2, nullptr, nullptr, 1 << 20, sixteen_kib),
                 MemoryLimit);
}
