// Point-against-plane classification and the splitting of one loop.
//
// Every decision here is exact. A vertex is first tested in doubles against
// a fixed error bound (against a plane along one axis, by its coordinate's
// double beside the plane's rounded position); only when the doubles do not
// decide is the test repeated exactly. The exact work runs on the
// plane's integer form and on integers only: a side test is a few
// multiply-adds, and a crossing point is reduced once, at the end. The
// filter and the splitting are in classify.cpp, the plane's integer form
// and the exact kernels in plane_side.cpp.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include <flint/fmpz.h>

#include "solid/solid.hpp"

namespace qs {

// The plane's four components as nearest doubles (normal x, y, z, offset).
using PlaneApprox = std::array<double, 4>;

PlaneApprox plane_approx(const Plane& plane);

// Side of a point: +1 in front, -1 behind, 0 on the plane.
enum Side : std::int8_t { kBack = -1, kOn = 0, kFront = 1 };

class TestPlane;

// Crossing points made on one plane, by the edge they were made on: a plane
// that cuts a mesh cuts each edge for both faces that share it, and the
// second face takes the point made for the first (the same exact point)
// instead of making it again. It holds the points of one plane at a time.
class CrossingMemo {
public:
    // Moves the point made on `plane` for the edge from p to q, either way
    // round, into x and forgets it: an edge of a mesh has two faces, and the
    // second is the last to ask. False when there is none.
    bool take(const TestPlane* plane, const Point3& p, const Point3& q, const Approx& pa,
              const Approx& qa, Point3& x);
    void add(const TestPlane* plane, const Point3& p, const Point3& q, const Approx& pa,
             const Approx& qa, const Point3& x);

private:
    struct Entry {
        Point3 p, q, x;
    };
    const TestPlane* plane_ = nullptr;
    std::unordered_multimap<std::uint64_t, Entry> entries_;
};

// Integers that the exact tests reuse from one call to the next, so that a
// test allocates only when its numbers outgrow what was needed before; and
// the crossing points of the plane last cut by.
class Scratch {
public:
    static constexpr int kCount = 3;
    static constexpr int kWideCount = 16;
    Scratch() {
        for (fmpz_t& z : z_) fmpz_init(z);
    }
    ~Scratch() {
        for (fmpz_t& z : z_) fmpz_clear(z);
        if (wide_ready_)
            for (mpz_t& m : m_) mpz_clear(m);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    fmpz* operator[](int i) noexcept { return z_[i]; }
    // Integers that keep their room whatever value they take. The library's
    // own give it back at every value small enough for a word and take it
    // again at the next larger one, which in a crossing point costs more
    // than the arithmetic. Made at the first use: a boolean of small
    // numbers never needs them.
    mpz_ptr wide(int i) noexcept {
        if (!wide_ready_) {
            for (mpz_t& m : m_) mpz_init(m);
            wide_ready_ = true;
        }
        return m_[i];
    }
    CrossingMemo& crossings() noexcept { return crossings_; }

private:
    fmpz_t z_[kCount];
    mpz_t m_[kWideCount];
    bool wide_ready_ = false;
    CrossingMemo crossings_;
};

// The bounding box of a loop's approximations: low x, y, z, then high x,
// y, z; NaN throughout when some vertex has no approximation.
using ApproxBox = std::array<double, 6>;
ApproxBox approx_box(const std::vector<Approx>& approx, std::size_t vertex_count);

// A plane made ready for many tests: its doubles for the filter, and its
// integer form k * (normal, offset) with k > 0 chosen to make the four
// coprime integers, for the exact tests. Each is computed once, the integer
// form when first needed; the tests against the negated plane are these
// tests with the sign turned. The plane it was made from must outlive it.
class TestPlane {
public:
    explicit TestPlane(const Plane& plane);
    TestPlane(Plane&&) = delete;
    ~TestPlane();
    TestPlane(TestPlane&&) = delete;  // built in place, never moved
    TestPlane(const TestPlane&) = delete;
    TestPlane& operator=(const TestPlane&) = delete;
    TestPlane& operator=(TestPlane&&) = delete;

    const PlaneApprox& approx() const noexcept { return approx_; }
    // Sign of normal component i, exact.
    int normal_sign(int i) const noexcept { return sign_[i]; }
    // The one coordinate the plane depends on, or -1 when there are more.
    int axis() const noexcept { return axis_; }
    // For a plane along one axis, the side of a point from the nearest
    // double x of that coordinate (NaN when it has none), against the
    // nearest double `at` of the plane's exact position d / n. Rounding is
    // monotone: a coordinate at most d / n never rounds above `at`, so
    // x > at proves it exceeds d / n, and x < at that it falls short. Only
    // x == at, and NaN, are left open (returned as 2).
    int axis_side(double x) const noexcept {
        if (x > at_) return sign_[axis_];
        if (x < at_) return -sign_[axis_];
        return 2;
    }
    // The bits of a loop (1 front, 2 back) against the plane, negated when
    // `flip`, when the filter proves from the loop's box alone that every
    // vertex lies on that side; 0 when the box does not decide.
    int box_bits(const ApproxBox& box, bool flip) const noexcept {
        // Along one axis every vertex's coordinate lies between the box's
        // ends: the test most pieces of boxes and prisms meet, made where
        // it inlines.
        if (axis_ >= 0) {
            int side = 0;
            if (box[axis_] > at_)
                side = sign_[axis_];
            else if (box[axis_ + 3] < at_)
                side = -sign_[axis_];
            if (flip) side = -side;
            return side > 0 ? 1 : (side < 0 ? 2 : 0);
        }
        return corner_bits(box, flip);
    }
    // The same plane, of either orientation.
    bool same_plane(const TestPlane& o) const;
    // Exact side of p.
    Side exact_side(const Point3& p, Scratch& s) const {
        Side side;
        return word_side(p, side) ? side : wide_side(p, s);
    }
    // Whether the plane's integers fit machine words, so that its tests
    // and crossings are cheap.
    bool in_words() const {
        need_exact();
        return inline_;
    }
    // The point where the segment from p to q meets the plane; p and q lie
    // strictly on opposite sides. The same rational point as
    // p + t (q - p) with t = (offset - n.p) / (n.(q - p)).
    Point3 crossing(const Point3& p, const Point3& q, Scratch& s) const;
    // Sign of the dot product of the two planes' normals.
    int normal_dot_sign(const TestPlane& o, Scratch& s) const;

    // The exact side when the plane and the coordinates it looks at are
    // held in their words and those coordinates share one denominator w (1
    // when they are whole): the sign of a x' + b y' + c z' - d w over their
    // numerators, four products below 2^124 summed below 2^127. False when
    // the values do not allow it, or the integer form is not made yet.
    bool word_side(const Point3& p, Side& side) const noexcept {
        if (made_.load(std::memory_order_acquire) != kMade || !inline_) return false;
        if (axis_ >= 0) {  // one coordinate counts: a x' - d w
            const Rational& x = p[axis_];
            const fmpz n = *x.num(), w = *x.den();
            if (COEFF_IS_MPZ(n) || COEFF_IS_MPZ(w)) return false;
            const __int128 acc = __int128(*k_[axis_]) * n - __int128(*k_[3]) * w;
            side = Side((acc > 0) - (acc < 0));
            return true;
        }
        const Rational* const c[3] = {&p.x, &p.y, &p.z};
        slong w = 0;
        __int128 acc = 0;
        for (int i = 0; i < 3; ++i) {
            const slong k = *k_[i];
            if (k == 0) continue;
            const fmpz n = *c[i]->num(), e = *c[i]->den();
            if (COEFF_IS_MPZ(n) || COEFF_IS_MPZ(e) || (w != 0 && w != e)) return false;
            w = e;
            acc += __int128(k) * n;
        }
        acc -= __int128(*k_[3]) * (w == 0 ? 1 : w);
        side = Side((acc > 0) - (acc < 0));
        return true;
    }
    // The exact side in wide numbers, for a point word_side refused.
    Side wide_side(const Point3& p, Scratch& s) const;

private:
    // box_bits for a plane not along one axis.
    int corner_bits(const ApproxBox& box, bool flip) const noexcept;
    // The integer form, its fit in words and the position along an axis,
    // from the plane.
    void make_exact() const;
    // The same when a test first needs it. The two threads of a boolean may
    // both test against one plane: one makes the form, the other waits for
    // it, and neither reads it before it is made.
    void need_exact() const {
        if (made_.load(std::memory_order_acquire) != kMade) make_exact_once();
    }
    void make_exact_once() const;
    // A hash of orient_ * k_: equal for the same plane.
    std::uint64_t key() const;

    // a, b, c, d: a x + b y + c z - d has the side's sign; zero until made.
    mutable fmpz_t k_[4];
    PlaneApprox approx_;
    const Plane* plane_;
    // Whether k_, inline_ and at_ are made.
    enum : std::uint8_t { kNotMade, kMaking, kMade };
    mutable std::atomic<std::uint8_t> made_{kNotMade};
    std::int8_t sign_[4];          // of k_, and of the plane's components
    mutable bool inline_ = false;  // all four k_ held in their words
    std::int8_t axis_;             // the one nonzero normal component, or -1
    // d / n on that axis, rounded; NaN when axis_ < 0
    mutable double at_ = std::numeric_limits<double>::quiet_NaN();
    // Box corners where the plane's value is least and greatest: indices
    // into an ApproxBox per coordinate.
    std::uint8_t low_[3], high_[3];
    int orient_;           // sign of the first nonzero k_, or 0
    mutable std::atomic<std::uint64_t> key_{0};  // key(), or 0 before it is made
};

// The sides of a loop's vertices against a plane (negated when `flip`),
// in vertex order, through the double filter where `approx` has one triple
// per vertex. Returns the or of the vertex bits: On 0, Front 1, Back 2.
// Given the loop's box, a loop that the filter proves to lie wholly on one
// side is decided by the box (TestPlane::box_bits); given `in_plane`, a
// loop whose every vertex the filter leaves open is asked whether it lies
// in the plane exactly, and then is coplanar at once, and each vertex left
// open whether it is known to lie in the plane. Either way `sides`
// is then left unset (only a spanning loop needs them).
struct InPlane {
    // True only when every vertex lies in the plane, exactly; false leaves
    // the loop to the vertex tests.
    virtual bool holds() = 0;
    // True only when vertex i (the filter left it open) lies in the plane
    // exactly, known without a test; false leaves it to the exact test.
    virtual bool known_on(std::size_t i, const Point3& vertex, const Approx& approx) = 0;
};
int classify_loop(const TestPlane& plane, bool flip, const std::vector<Point3>& vertices,
                  const std::vector<Approx>& approx, const ApproxBox* box, InPlane* in_plane,
                  Side* sides, Scratch& s);

// For each vertex of a loop, the operand face on whose plane it was made as
// a crossing point, so it lies in that plane exactly; kNotCut for the
// others. An empty list stands for a loop of vertices none of them cut.
constexpr std::uint32_t kNotCut = UINT32_MAX;
using CutOn = std::vector<std::uint32_t>;

// One piece of a split loop; empty when it had fewer than three vertices
// or no area.
struct Loop {
    std::vector<Point3> vertices;
    std::vector<Approx> approx;
    CutOn cut_on;
    bool empty() const noexcept { return vertices.empty(); }
};

// Cuts a spanning loop (sides as classify_loop gave them) into its front
// and back pieces, taking its vertices. Each piece runs in the loop's
// order from vertex 0, On vertices in both, each crossing point right after
// the first vertex of its edge. The crossing points are marked as cut on
// `cut_by`, the plane's face.
void split_loop(const TestPlane& plane, const Side* sides, std::vector<Point3>&& vertices,
                std::vector<Approx>&& approx, const CutOn& cut_on, std::uint32_t cut_by,
                Loop& front, Loop& back, Scratch& s);

// Room for the sides of one loop: on the stack for small loops.
class SideBuffer {
public:
    explicit SideBuffer(std::size_t n) : data_(n <= kLocal ? local_.data() : nullptr) {
        if (!data_) {
            heap_.resize(n);
            data_ = heap_.data();
        }
    }
    Side* data() noexcept { return data_; }

private:
    static constexpr std::size_t kLocal = 16;
    std::array<Side, kLocal> local_;
    std::vector<Side> heap_;
    Side* data_;
};

#ifdef QS_CLASSIFY_STATS
// How many vertex tests the double filter decided, and how many fell back to
// the exact test, since the last reset; read by the benchmarks and tests,
// and compiled only into their builds. A loop adds to them once, not once
// per vertex.
struct ClassifyStats {
    std::uint64_t filtered = 0;
    std::uint64_t exact = 0;
};
ClassifyStats classify_stats() noexcept;
void reset_classify_stats() noexcept;
// Counts the n vertex tests of a loop decided without classify_loop.
void count_filtered(std::size_t n) noexcept;
#else
inline void count_filtered(std::size_t) noexcept {}
#endif

}  // namespace qs
