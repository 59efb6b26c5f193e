// Long core calls stop where the interrupt hook throws, at any of their
// polls: the exception comes out, the operands are unchanged, and (under
// the leak checker) nothing is left behind. The same call then runs to the
// end with the same result as if it had never been stopped.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "boolean/boolean.hpp"
#include "corpus.hpp"
#include "chamfer/chamfer.hpp"
#include "exact/interrupt.hpp"
#include "entry/nurbs.hpp"
#include "exact/parse.hpp"
#include "io/mesh_files.hpp"
#include "query/canonical.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"

namespace qs {
namespace {

struct Stop {};

int g_calls_left = 0;

void stop_when_counted_down() {
    if (--g_calls_left <= 0) throw Stop{};
}

class Interrupt : public ::testing::Test {
protected:
    void TearDown() override { set_interrupt_hook(nullptr); }

    // Stops fn at its 1st, 2nd, ... hook call until it runs to the end
    // untouched; returns how many stops there were.
    template <class F>
    int stop_everywhere(F fn) {
        set_interrupt_hook(stop_when_counted_down);
        for (int k = 1;; ++k) {
            g_calls_left = k;
            try {
                fn();
                set_interrupt_hook(nullptr);
                return k - 1;
            } catch (const Stop&) {
            }
        }
    }
};

// A convex polygon with whole corners on a parabola.
std::vector<Point2> parabola_gon(long n, long dx) {
    std::vector<Point2> p;
    for (long i = 0; i < n; ++i) p.push_back({Rational(i + dx), Rational(i * i - 2 * n * i)});
    return p;
}

TEST_F(Interrupt, BooleanStopsAnywhereAndLeavesItsOperands) {
    const Solid a = build_prism(parabola_gon(40, 0), Rational(2), "a");
    const Solid b = translate_solid(build_prism(parabola_gon(40, 3), Rational(2), "b"),
                                    Point3(Rational(0), Rational(1, 3), Rational(1)));
    const std::string ta = canonical_form(a), tb = canonical_form(b);
    const std::string whole = canonical_form(boolean_solids("cut", a, b));
    std::string last;
    const int stops = stop_everywhere([&] { last = canonical_form(boolean_solids("cut", a, b)); });
    EXPECT_GT(stops, 3);
    EXPECT_EQ(last, whole);
    EXPECT_EQ(canonical_form(a), ta);
    EXPECT_EQ(canonical_form(b), tb);
}

// Operands this large split the boolean over two threads: two of them, or
// one large enough for its tree to be built with help. The hook runs on the
// calling thread only; a stop there must stop the other thread too,
// wherever each half is, and leave nothing behind. The calls to the hook
// depend on how the threads run, so the stops are spread over a count
// taken first rather than walked one by one.
TEST_F(Interrupt, TwoThreadedBooleanStopsAnywhere) {
    using corpus::q;
    const Solid drill =
        corpus::box_at("d", Point3(q(-1, 4), q(-1, 4), q(-2)), q(1, 2), q(1, 2), q(4));
    const std::pair<Solid, Solid> pairs[] = {
        {corpus::mesh_solid(corpus::icosphere(3), "a"),
         corpus::mesh_solid(corpus::icosphere(3), "b", {0.3, 0.2, 0.1})},
        {corpus::mesh_solid(corpus::icosphere(4), "a"), drill}};
    for (const auto& [a, b] : pairs) {
        const std::string ta = canonical_form(a), tb = canonical_form(b);
        for (const char* op : {"union", "cut", "intersect"}) {
            const std::string whole = canonical_form(boolean_solids(op, a, b));
            g_calls_left = 1 << 30;
            set_interrupt_hook(stop_when_counted_down);
            boolean_solids(op, a, b);
            const int calls = (1 << 30) - g_calls_left;
            int stops = 0;
            for (int k = 1; k < calls; k += calls / 9 + 1) {
                g_calls_left = k;
                try {
                    EXPECT_EQ(canonical_form(boolean_solids(op, a, b)), whole) << op;
                } catch (const Stop&) {
                    ++stops;
                }
            }
            set_interrupt_hook(nullptr);
            EXPECT_GT(stops, 5) << op;
            EXPECT_EQ(canonical_form(a), ta);
            EXPECT_EQ(canonical_form(b), tb);
        }
    }
}

TEST_F(Interrupt, ChamferStopsAnywhere) {
    const Solid box = build_box(Rational(2), Rational(3), Rational(4), "b");
    const std::string before = canonical_form(box);
    const std::string whole = canonical_form(chamfer_solid(box, Rational(1, 4)));
    std::string last;
    EXPECT_GT(stop_everywhere([&] { last = canonical_form(chamfer_solid(box, Rational(1, 4))); }),
              3);
    EXPECT_EQ(last, whole);
    EXPECT_EQ(canonical_form(box), before);
}

TEST_F(Interrupt, SubdivisionSearchStopsAnywhere) {
    const entry::Texts3 net = {{{"0", "0", "0"}, {"0", "1", "0"}},
                               {{"1", "0", "0"}, {"1", "1", "1"}}};
    std::size_t pairs = 0;
    EXPECT_GT(stop_everywhere([&] { pairs = entry::ssi_pairs(net, net, 5, nullptr, nullptr).size(); }),
              3);
    EXPECT_EQ(pairs, 8836u);
}

TEST_F(Interrupt, LongNumbersAndPolygonsStopAnywhere) {
    const std::string digits(1500000, '7');
    Rational value;
    EXPECT_GT(stop_everywhere([&] { value = parse_rational(digits); }), 3);
    EXPECT_EQ(format_rational(value), digits + "/1");
    std::size_t faces = 0;
    EXPECT_GT(stop_everywhere([&] { faces = build_prism(parabola_gon(300, 0), Rational(1), "p")
                                                .faces.size(); }),
              3);
    EXPECT_EQ(faces, 2u * 298 + 300);
}

TEST_F(Interrupt, OneLongLineOfAMeshFileStopsAnywhere) {
    // A face of 60,000 names on one line: the readers poll per name, not
    // per line.
    std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
    std::string off = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n60000";
    for (int i = 0; i < 20000; ++i) {
        obj += " 1 2 3";  // counted from 1
        off += " 0 1 2";  // from 0
    }
    using Reader = MeshInput (*)(std::string_view, ReadBudget&);
    for (const auto& [read, text] : {std::pair<Reader, std::string>{read_obj, obj}, {read_off, off}}) {
        std::size_t corners = 0;
        EXPECT_GT(stop_everywhere([&] {
                      ReadBudget budget = ReadBudget::for_file(text.size());
                      corners = read(text, budget).corners.size();
                  }),
                  100);
        EXPECT_EQ(corners, 60000u);
    }
}

}  // namespace
}  // namespace qs
