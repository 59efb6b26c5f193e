// The partitioning tree and the boolean driver.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "boolean/boolean.hpp"
#include "boolean/bsp.hpp"
#include "boolean/detail.hpp"
#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "query/canonical.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"
#include "solid/transform.hpp"
#include "corpus.hpp"
#include "support.hpp"

using namespace qs;
using qs::test::R;

namespace {


Solid box_at(const char* prefix, Rational x0, Rational y0, Rational z0, Rational dx, Rational dy,
             Rational dz) {
    return translate_solid(build_box(dx, dy, dz, prefix), Point3(x0, y0, z0));
}

// A box with its corner at whole coordinates 0 to `at` and sides 1 to 3.
Solid random_box(const char* prefix, std::mt19937& rng, int at) {
    auto pick = [&](int lo, int hi) {
        return Rational(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    return box_at(prefix, pick(0, at), pick(0, at), pick(0, at), pick(1, 3), pick(1, 3),
                  pick(1, 3));
}

// The recursive tree of the textbook formulation, written independently of
// the one under test (owned children, recursion everywhere), so that the
// iterative walks can be checked face for face against it.
struct RefNode {
    std::vector<Face> faces;
    std::optional<Plane> plane;
    std::unique_ptr<RefNode> front, back;

    void insert(std::vector<Face> list) {
        if (list.empty()) return;
        if (!plane) plane = list[0].plane;
        std::vector<Face> f, b;
        for (Face& face : list) split_face(*plane, std::move(face), faces, faces, f, b);
        if (!f.empty()) {
            if (!front) front = std::make_unique<RefNode>();
            front->insert(std::move(f));
        }
        if (!b.empty()) {
            if (!back) back = std::make_unique<RefNode>();
            back->insert(std::move(b));
        }
    }
    std::vector<Face> clip(std::vector<Face> list) const {
        if (!plane) return list;
        std::vector<Face> f, b;
        for (Face& face : list) split_face(*plane, std::move(face), f, b, f, b);
        if (front) f = front->clip(std::move(f));
        if (back)
            b = back->clip(std::move(b));
        else
            b.clear();
        for (Face& face : b) f.push_back(std::move(face));
        return f;
    }
    void clip_to(const RefNode& other) {
        faces = other.clip(std::move(faces));
        if (front) front->clip_to(other);
        if (back) back->clip_to(other);
    }
    void invert() {
        for (Face& f : faces) f = flip_face(std::move(f));
        if (plane) {
            plane->normal = -plane->normal;
            plane->offset.negate();
        }
        if (front) front->invert();
        if (back) back->invert();
        std::swap(front, back);
    }
    std::vector<Face> all() const {
        std::vector<Face> out = faces;
        if (front)
            for (Face& f : front->all()) out.push_back(std::move(f));
        if (back)
            for (Face& f : back->all()) out.push_back(std::move(f));
        return out;
    }
};

Solid reference_boolean(const std::string& op, const Solid& sa, const Solid& sb) {
    RefNode a, b;
    a.insert(sa.faces);
    b.insert(sb.faces);
    if (op == "union") {
        a.clip_to(b); b.clip_to(a); b.invert(); b.clip_to(a); b.invert(); a.insert(b.all());
    } else if (op == "cut") {
        a.invert(); a.clip_to(b); b.clip_to(a); b.invert(); b.clip_to(a); b.invert();
        a.insert(b.all()); a.invert();
    } else {
        a.invert(); b.clip_to(a); b.invert(); a.clip_to(b); b.clip_to(a); a.insert(b.all());
        a.invert();
    }
    return solid_from_faces(a.all());
}

// Everything a face carries, in order; doubles in hexadecimal, exactly.
std::string dump(const Solid& s) {
    std::string out;
    auto put = [&](const std::string& text) {
        out.push_back(' ');
        out.append(text);
    };
    for (const Face& f : s.faces) {
        out.append(f.label);
        for (const Point3& p : f.vertices) put(point_text(p));
        put(point_text(f.plane.normal));
        put(format_rational(f.plane.offset));
        for (const Approx& a : f.approx)
            for (double c : a) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%a", c);
                put(buf);
            }
        out.push_back('\n');
    }
    return out;
}

const std::vector<std::string> kOps = {"union", "cut", "intersect"};

// A face that claims its vertices lie in its plane, without their being
// tested again, must be right: a false claim would make the booleans keep a
// piece as coplanar that is not.
void expect_planar_claims_hold(const Solid& s, const std::string& where) {
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        const Face& f = s.faces[i];
        if (!f.planar) continue;
        for (const Point3& v : f.vertices)
            ASSERT_EQ(dot(f.plane.normal, v), f.plane.offset) << where << " face " << i;
    }
}

}  // namespace

// The explicit-stack walks must give the same faces in the same order as
// the recursive ones, on boxes that overlap, touch and coincide.
TEST(Boolean, MatchesRecursiveReferenceFaceForFace) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 150; ++round) {
        Solid a = random_box("A", rng, 2);
        Solid b = random_box("B", rng, 3);
        if (round % 3 == 1) b = rotate_quarter_solid(b, round % 7, 1);
        if (round % 5 == 2) a = boolean_solids("union", a, b);  // a many-faced operand
        for (const std::string& op : kOps)
            ASSERT_EQ(dump(boolean_solids(op, a, b)), dump(reference_boolean(op, a, b)))
                << op << " round " << round;
    }
}

// Taking the first operand by move hands its untouched faces to the
// result instead of copying them; the result must be the same face for
// face, flipped faces included, and one solid passed on both sides must
// still be read whole.
// Pieces moved through the trees in groups by place come out exactly as
// when moved one by one, whether lists are grouped as the module does or
// eagerly (every list, grouped and ungrouped again many times in a walk):
// random chains of booleans of curved meshes (whose trees are long chains),
// boxes on a grid of halves (coplanar faces of both orientations) and
// copies of the operands themselves, each step compared face for face, the
// first also with the recursive reference.
TEST(Boolean, GroupedWalkMatchesPlainWalk) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto shift = [&] { return 0.05 * pick(-8, 8); };
    const corpus::Mesh small = corpus::icosphere(1), ball = corpus::icosphere(2),
                       ring = corpus::torus(8, 5);
    for (int round = 0; round < 9; ++round) {
        Solid s = round % 3 == 0   ? corpus::mesh_solid(ring, "r")
                  : round % 3 == 1 ? corpus::mesh_solid(small, "s", {shift(), shift(), shift()})
                                   : corpus::mesh_solid(ball, "s", {shift(), shift(), shift()});
        for (int step = 0; step < 3; ++step) {
            Solid b;
            // Copies of the operand itself only first: later they would cut
            // every piece of a chain many times.
            switch (step == 0 ? pick(0, 3) : pick(0, 1)) {
                case 0:
                    b = box_at("B", Rational(pick(-4, 2), 2), Rational(pick(-4, 2), 2),
                               Rational(pick(-4, 2), 2), Rational(pick(1, 4), 2),
                               Rational(pick(1, 4), 2), Rational(pick(1, 6), 2));
                    break;
                case 1:
                    b = corpus::mesh_solid(corpus::icosphere(1), "m", {shift(), shift(), shift()});
                    break;
                case 2: b = rotate_quarter_solid(s, std::uint64_t(pick(0, 2)), 1); break;
                default:
                    b = translate_solid(s, Point3(Rational(pick(-2, 2), 8), Rational(0),
                                                  Rational(1, 8)));
            }
            const std::string& op = kOps[std::size_t(pick(0, 2))];
            Solid grouped = boolean_solids(op, s, b);
            expect_planar_claims_hold(grouped, op + " round " + std::to_string(round));
            const std::string plain = dump(boolean_solids(op, s, b, Walk::kPlain));
            ASSERT_EQ(dump(grouped), plain) << op << " round " << round << " step " << step;
            ASSERT_EQ(dump(boolean_solids(op, s, b, Walk::kEager)), plain)
                << op << " round " << round << " step " << step << " eager";
            if (step == 0 && round % 3 != 2) {  // the reference is slow
                ASSERT_EQ(dump(grouped), dump(reference_boolean(op, s, b))) << op << round;
            }
            if (grouped.faces.empty()) break;
            s = std::move(grouped);
        }
    }
}

// A list's tail, built on a second thread, is taken only where the walk
// meets exactly that list, every piece whole. Non-convex solids with their
// faces in random order make walks that cut faces of the tail before they
// come near it, and lists of the tail's length that are not the tail.
TEST(Boolean, HelpedTreeBuildMatchesPlainWalk) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        Solid a = random_box("A", rng, 3);
        const Solid c = random_box("C", rng, 3);
        a = boolean_solids(round % 3 == 0 ? "cut" : "union", a, c);
        std::shuffle(a.faces.begin(), a.faces.end(), rng);
        const Solid b = random_box("B", rng, 3);
        for (const std::string& op : kOps)
            ASSERT_EQ(dump(boolean_solids(op, a, b, Walk::kEager)),
                      dump(boolean_solids(op, a, b, Walk::kPlain)))
                << op << " round " << round;
    }
}

TEST(Boolean, FirstOperandByMoveGivesTheSameFaces) {
    std::mt19937 rng(777);
    for (int round = 0; round < 60; ++round) {
        Solid a = random_box("A", rng, 2);
        Solid b = random_box("B", rng, 3);
        if (round % 4 == 1) a = boolean_solids("union", a, rotate_quarter_solid(b, 2, 1));
        for (const std::string& op : kOps) {
            const std::string expected = dump(boolean_solids(op, a, b));
            Solid moved = a;
            ASSERT_EQ(dump(boolean_solids(op, std::move(moved), b)), expected) << op << round;
            Solid same = a;
            const std::string with_itself = dump(boolean_solids(op, same, same));
            ASSERT_EQ(dump(boolean_solids(op, std::move(same), same)), with_itself) << op << round;
        }
    }
}

TEST(Boolean, IdenticalBoxes) {
    Solid a = build_box(R("1"), R("1"), R("1"), "A");
    Solid b = build_box(R("1"), R("1"), R("1"), "B");
    Solid u = boolean_solids("union", a, b);
    EXPECT_EQ(dump(u), dump(a));  // A's six faces survive, B's go
    EXPECT_TRUE(boolean_solids("cut", a, b).faces.empty());
    EXPECT_EQ(canonical_form(boolean_solids("intersect", a, b)), canonical_form(a));
}

// Planes that all miss A leave its faces untouched and in order.
TEST(Boolean, DisjointCutKeepsFaces) {
    Solid a = build_box(R("2"), R("2"), R("2"), "A");
    Solid b = box_at("B", R("5"), R("5"), R("5"), R("1"), R("1"), R("1"));
    EXPECT_EQ(dump(boolean_solids("cut", a, b)), dump(a));
    // A plane of B that crosses A cuts A's faces even without overlap.
    Solid c = box_at("C", R("3"), R("1"), R("-1"), R("1"), R("2"), R("4"));
    Solid r = boolean_solids("cut", a, c);
    EXPECT_GT(r.faces.size(), a.faces.size());
    EXPECT_EQ(solid_volume6(r), solid_volume6(a));
}

// A face whose plane its vertices are off claims nothing, and neither do
// the pieces cut from it. Here it lies in the plane of the face it copies,
// which comes first, so the walk keeps it there as coplanar and never takes
// its own plane.
TEST(Boolean, PiecesOfAFaceOffItsPlaneClaimNoPlane) {
    Solid a = build_box(R("2"), R("2"), R("2"), "A");
    Face off = a.faces[0];
    off.label = "off";
    off.plane.offset += R("1/3");
    off.planar = false;
    a.faces.push_back(off);
    Solid b = box_at("B", R("1"), R("-1"), R("-1"), R("2"), R("4"), R("4"));
    for (const std::string& op : kOps) {
        const Solid r = boolean_solids(op, a, b);
        expect_planar_claims_hold(r, op);
        EXPECT_TRUE(std::any_of(r.faces.begin(), r.faces.end(),
                                [](const Face& f) { return f.label == "off"; }))
            << op;
    }
}

// A corner taken out: the volume is exactly the difference, the walls of the
// cavity come from B, flipped.
TEST(Boolean, CutCorner) {
    Solid a = build_box(R("2"), R("2"), R("2"), "A");
    Solid b = box_at("B", R("3/2"), R("3/2"), R("3/2"), R("1"), R("1"), R("1"));
    Solid r = boolean_solids("cut", a, b);
    Rational expected = solid_volume6(a) - Rational(6) * R("1/8");
    EXPECT_EQ(solid_volume6(r), expected);
    int walls = 0;
    for (const Face& f : r.faces) {
        if (f.label.rfind("B.", 0) != 0) continue;
        ++walls;
        EXPECT_TRUE(f.label == "B.bottom" || f.label == "B.front" || f.label == "B.left")
            << f.label;
        // Flipped: the normal points into B, the removed region.
        EXPECT_GT(dot(f.plane.normal, Point3(R("1"), R("1"), R("1"))).sign(), 0);
    }
    EXPECT_EQ(walls, 3);
}

TEST(Boolean, EmptyOperands) {
    Solid a = build_box(R("1"), R("2"), R("3"), "A");
    Solid none;
    EXPECT_EQ(dump(boolean_solids("union", a, none)), dump(a));
    EXPECT_EQ(dump(boolean_solids("union", none, a)), dump(a));
    EXPECT_EQ(dump(boolean_solids("cut", a, none)), dump(a));
    // Nothing minus anything, and anything met with nothing, is nothing.
    EXPECT_TRUE(boolean_solids("cut", none, a).faces.empty());
    EXPECT_TRUE(boolean_solids("intersect", a, none).faces.empty());
    EXPECT_TRUE(boolean_solids("intersect", none, a).faces.empty());
    EXPECT_TRUE(boolean_solids("union", none, none).faces.empty());
    EXPECT_THROW(boolean_solids("cut ", none, a), Panic);
}

// The op text is looked at only after both trees have been built.
TEST(Boolean, UnknownOpAfterTrees) {
    Solid a = build_box(R("1"), R("1"), R("1"), "A");
    Solid b = box_at("B", R("1/2"), R("0"), R("0"), R("1"), R("1"), R("1"));
    for (const char* op : {"Union", "cut ", "", "intersection", " union"}) {
        reset_classify_stats();
        try {
            boolean_solids(op, a, b);
            FAIL() << op;
        } catch (const Panic& p) {
            EXPECT_STREQ(p.what(), "unknown op");
        }
        ClassifyStats st = classify_stats();
        EXPECT_GT(st.filtered + st.exact, 0u);  // both trees sorted their faces
    }
    EXPECT_THROW(boolean_solids(std::string_view("union\0", 6), a, b), Panic);
}

// Faces with fewer than three vertices pass through the tree without a
// division or an out-of-range read.
TEST(Boolean, ShortFacesInOperands) {
    Solid a = build_box(R("1"), R("1"), R("1"), "A");
    Solid odd = build_box(R("1"), R("1"), R("1"), "O");
    Face two;
    two.vertices = {Point3(R("-1"), R("1/2"), R("1/2")), Point3(R("2"), R("1/2"), R("1/2"))};
    two.approx = approximate(two.vertices);
    odd.faces.insert(odd.faces.begin(), two);
    odd.faces.push_back(Face{});
    for (const std::string& op : kOps) {
        EXPECT_NO_THROW(boolean_solids(op, a, odd));
        EXPECT_NO_THROW(boolean_solids(op, odd, a));
    }
}

namespace {

// N unit squares stacked at z = 1 .. N, all facing up: each lies in front
// of all the ones below, so the tree is a chain N nodes deep.
Solid stack_of_squares(int n) {
    Solid s;
    for (int k = 1; k <= n; ++k) {
        Rational z(k);
        s.faces.push_back(
            make_face({Point3(0, 0, z), Point3(1, 0, z), Point3(1, 1, z), Point3(0, 1, z)}, "sq"));
    }
    return s;
}

struct DeepRun {
    int n;
    std::size_t faces = 0;
    std::string error;
};

void* deep_run(void* arg) {
    auto* run = static_cast<DeepRun*>(arg);
    try {
        Solid s = stack_of_squares(run->n);
        Solid b = box_at("B", R("1/2"), R("-1"), R("0"), R("1"), R("3"), Rational(run->n + 1));
        // "cut" runs every walk over the deep tree: building it, complementing
        // it, clipping B's faces through it, inserting into it, collecting
        // it and freeing it.
        run->faces = boolean_solids("cut", s, b).faces.size();
    } catch (const std::exception& e) {
        run->error = e.what();
    }
    return nullptr;
}

}  // namespace

// A tree hundreds of nodes deep on a thread with a 32 KiB stack, where the
// recursive formulation overflows: every walk and the tree's destruction
// must use the heap, not the C stack.
TEST(Boolean, DeepTreeOnSmallStack) {
    DeepRun run{600, 0, ""};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 32 * 1024);
    pthread_t th;
    ASSERT_EQ(pthread_create(&th, &attr, deep_run, &run), 0);
    pthread_join(th, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(run.error, "");
    EXPECT_GT(run.faces, 0u);
}
