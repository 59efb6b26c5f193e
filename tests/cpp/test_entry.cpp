// The entry layer reads number texts in the order each operation fixes: when
// several texts are bad, the first in that order decides the failure, and
// failures of the work between reads (a row's evaluation, a box's short
// list) come before texts read later.
#include <gtest/gtest.h>

#include <string>

#include "entry/box.hpp"
#include "entry/nurbs.hpp"
#include "entry/solid.hpp"
#include "query/volume.hpp"
#include "support.hpp"

using namespace qs;
using qs::test::panic_text;

namespace {

const std::string kInvalid =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: InvalidDigit }";
const std::string kEmpty =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: Empty }";

std::string idx(std::size_t len, std::size_t i) {
    return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
           std::to_string(i);
}

}  // namespace

TEST(Entry, SolidsReadTheirNumbersInArgumentOrder) {
    EXPECT_EQ(panic_text([] { entry::make_box("1", "x", "", "b"); }), kInvalid);
    EXPECT_EQ(panic_text([] { entry::make_box("1", "1/0", "x", "b"); }), "denominator == 0");
    EXPECT_EQ(solid_volume6(entry::make_box("1", "2", "1/2", "b")), Rational(6));
    const Solid box = entry::make_box("1", "1", "1", "b");
    EXPECT_EQ(panic_text([&] { entry::translate(box, "0", "", "x"); }), kEmpty);
    EXPECT_EQ(panic_text([&] { entry::scale(box, "2", "q", "1/0"); }), kInvalid);
    // A negative factor mirrors, and the faces are flipped to stay outward.
    EXPECT_EQ(solid_volume6(entry::scale(box, "2", "3", "-1")), Rational(36));
    EXPECT_EQ(panic_text([&] { entry::chamfer(box, "1/x"); }), kInvalid);
    EXPECT_THROW(entry::chamfer(box, "-1/10"), ChamferError);
}

TEST(Entry, BoxBooleanReadsEveryNumberBeforeTheOp) {
    // Only ex, tx, tz and op vary here.
    auto failure = [](const char* ex, const char* tx, const char* tz, const char* op) {
        return panic_text([&] { entry::box_boolean("1", "1", "1", ex, "1", "1", tx, "0", tz, op); });
    };
    EXPECT_EQ(failure("1", "0", "x", "no"), kInvalid);
    EXPECT_EQ(failure("", "x", "0", "cut"), kEmpty);  // ex comes before tx
    EXPECT_EQ(failure("1", "0", "0", "no"), "unknown op");
    EXPECT_EQ(entry::box_boolean("2", "1", "1", "1", "1", "1", "1", "0", "0", "cut").first, "6/1");
    EXPECT_EQ(entry::box_form("1", "2", "3").first, "36/1");
}

TEST(Entry, SurfaceEvaluatesEachRowBeforeReadingTheNext) {
    const entry::Texts k = {"0", "0", "1", "1"};
    const entry::Texts short_kv = {"0", "0"};
    const entry::Texts3 net = {{{"0", "0", "0"}, {"0", "1", "0"}},
                               {{"x", "0", "0"}, {"1", "1", "1"}}};
    auto failure = [&](const entry::Texts& kv, const char* u, const char* v) {
        return panic_text([&] { entry::nurbs_surface_eval(1, 1, net, k, kv, u, v, nullptr); });
    };
    // Row 0's v pass fails on the short kv before row 1's bad text is read...
    EXPECT_EQ(failure(short_kv, "0", "0"), idx(2, 2));
    // ...while ku, kv and v are read before any row, and u after them all.
    EXPECT_EQ(failure(k, "u", ""), kEmpty);
    EXPECT_EQ(failure(k, "u", "0"), kInvalid);
}

TEST(Entry, SsiReadsBoxesBeforeNets) {
    const entry::Texts3 bad = {{{"0", "0", "z"}}};
    const entry::Texts short_box = {"0", "1", "0"};
    const entry::Texts empty_entry = {"0", "1", "", "1"};
    EXPECT_EQ(panic_text([&] { entry::ssi_pairs(bad, bad, 0, &short_box, nullptr); }), idx(3, 3));
    EXPECT_EQ(panic_text([&] { entry::ssi_pairs(bad, bad, 0, nullptr, &empty_entry); }), kEmpty);
    EXPECT_EQ(panic_text([&] { entry::ssi_pairs(bad, bad, 0, nullptr, nullptr); }), kInvalid);
}
