#include "boolean/classify.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

// The filter's expression order is part of its error bound: this file is
// compiled with -ffp-contract=off so no multiply-add is fused.

namespace qs {

namespace {

#ifdef QS_CLASSIFY_STATS
// A boolean's two threads may count at once.
struct {
    std::atomic<std::uint64_t> filtered{0}, exact{0};
} g_stats;
#endif

// 2^-48: the relative bound of the filter, with the 1 absorbing values
// that fell into the subnormals.
constexpr double kFilterScale = 0x1p-48;

// Filter outcome: a decided side, or kUndecided for the exact test (the
// value TestPlane::axis_side gives too).
constexpr int kUndecided = 2;

inline int filter_side(const PlaneApprox& pa, const Approx& p) noexcept {
    const double nx = pa[0], ny = pa[1], nz = pa[2], dd = pa[3];
    const double x = p[0], y = p[1], z = p[2];
    const double g = ((nx * x + ny * y) + nz * z) - dd;
    const double b =
        ((std::fabs(dd) + (std::fabs(nz * z) + (std::fabs(ny * y) + std::fabs(nx * x)))) + 1.0) *
        kFilterScale;
    if (std::isfinite(g)) {
        if (g > b) return kFront;
        if (g < -b) return kBack;
    }
    return kUndecided;
}

}  // namespace

int TestPlane::corner_bits(const ApproxBox& box, bool flip) const noexcept {
    // Rounding is monotone, so each corner is the approximation of a point
    // whose exact value bounds every vertex's from below (low) or above
    // (high): a side the filter proves for the corner holds for the loop.
    // Both cannot prove their sides at once: the one that would put the
    // loop behind the oriented plane is tried first, as in Groups::bits.
    const Approx low{box[low_[0]], box[low_[1]], box[low_[2]]};
    const Approx high{box[high_[0]], box[high_[1]], box[high_[2]]};
    if (flip) {
        if (filter_side(approx_, low) == kFront) return 2;
        if (filter_side(approx_, high) == kBack) return 1;
    } else {
        if (filter_side(approx_, high) == kBack) return 2;
        if (filter_side(approx_, low) == kFront) return 1;
    }
    return 0;
}

ApproxBox approx_box(const std::vector<Approx>& approx, std::size_t vertex_count) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (approx.size() != vertex_count || approx.empty()) return {nan, nan, nan, nan, nan, nan};
    ApproxBox box{approx[0][0], approx[0][1], approx[0][2], approx[0][0], approx[0][1], approx[0][2]};
    for (const Approx& a : approx)
        for (int c = 0; c < 3; ++c) {
            box[c] = std::min(box[c], a[c]);
            box[c + 3] = std::max(box[c + 3], a[c]);
        }
    return box;
}

namespace {

inline int filter_vertex(const TestPlane& plane, const Approx& p) noexcept {
    const int axis = plane.axis();
    return axis < 0 ? filter_side(plane.approx(), p) : plane.axis_side(p[axis]);
}

}  // namespace

int classify_loop(const TestPlane& plane, bool flip, const std::vector<Point3>& vertices,
                  const std::vector<Approx>& approx, const ApproxBox* box, InPlane* in_plane,
                  Side* sides, Scratch& s) {
    const std::size_t n = vertices.size();
    const bool have_approx = approx.size() == n;
    if (box && have_approx && n > 0) {
        if (const int bits = plane.box_bits(*box, flip)) {
#ifdef QS_CLASSIFY_STATS
            g_stats.filtered.fetch_add(n, std::memory_order_relaxed);
#endif
            return bits;
        }
    }
    // Against the negated plane the filter's value is exactly the negated
    // value and its bound is the same, so flipping the outcome decides alike.
    const int sign = flip ? -1 : 1;
    // The filter first, for every vertex: a loop with a vertex clear of the
    // plane is not in it, so the in-plane question is asked only of loops
    // the filter left wholly open.
    int bits = 0;
    std::size_t open = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int side = have_approx ? filter_vertex(plane, approx[i]) : kUndecided;
        if (side == kUndecided) {
            ++open;
            sides[i] = Side(kUndecided);
        } else {
            sides[i] = Side(side * sign);
            bits |= side * sign == kFront ? 1 : 2;
        }
    }
#ifdef QS_CLASSIFY_STATS
    g_stats.filtered.fetch_add(n - open, std::memory_order_relaxed);
#endif
    if (open == 0) return bits;
    if (open == n && in_plane && in_plane->holds()) {
#ifdef QS_CLASSIFY_STATS
        g_stats.filtered.fetch_add(n, std::memory_order_relaxed);
#endif
        return 0;
    }
#ifdef QS_CLASSIFY_STATS
    g_stats.exact.fetch_add(open, std::memory_order_relaxed);
#endif
    for (std::size_t i = 0; i < n; ++i) {
        if (sides[i] != Side(kUndecided)) continue;
        // A test in machine words is cheaper than asking whether the vertex
        // is known to lie in the plane; a test in wide numbers is not.
        Side exact;
        if (!plane.word_side(vertices[i], exact)) {
            if (in_plane && have_approx && in_plane->known_on(i, vertices[i], approx[i])) {
                sides[i] = kOn;
                continue;
            }
            exact = plane.wide_side(vertices[i], s);
        }
        const int side = exact * sign;
        sides[i] = Side(side);
        bits |= side == kFront ? 1 : (side == kBack ? 2 : 0);
    }
    return bits;
}

namespace {

// A piece keeps its vertices unless it has fewer than three or its exact
// area vector is zero. The double filter only clears pieces whose area it
// can prove nonzero; every other piece gets the exact test.
void keep_if_area(Loop& piece) {
    if (piece.vertices.size() < 3 || has_zero_area(piece.vertices, piece.approx)) {
        piece.vertices.clear();
        piece.approx.clear();
        piece.cut_on.clear();
    }
}

}  // namespace

namespace {

std::uint64_t approx_hash(const Approx& a) {
    std::uint64_t h = 1469598103934665603ull;
    for (double c : a) h = (h ^ std::bit_cast<std::uint64_t>(c)) * 1099511628211ull;
    return h;
}

// The edge's two ends in a fixed order, whichever way it is walked.
bool ends_swapped(const Approx& pa, const Approx& qa) { return qa < pa; }

std::uint64_t edge_hash(const Approx& pa, const Approx& qa) {
    const bool swap = ends_swapped(pa, qa);
    return approx_hash(swap ? qa : pa) * 31 + approx_hash(swap ? pa : qa);
}

// Every coordinate's numerator and denominator held in its word.
inline bool in_words(const Point3& p) { return p.x.is_small() && p.y.is_small() && p.z.is_small(); }

}  // namespace

bool CrossingMemo::take(const TestPlane* plane, const Point3& p, const Point3& q,
                        const Approx& pa, const Approx& qa, Point3& x) {
    if (plane != plane_) return false;
    const bool swap = ends_swapped(pa, qa);
    const Point3& a = swap ? q : p;
    const Point3& b = swap ? p : q;
    auto [at, end] = entries_.equal_range(edge_hash(pa, qa));
    for (; at != end; ++at)
        if (at->second.p == a && at->second.q == b) {
            x = std::move(at->second.x);
            entries_.erase(at);
            return true;
        }
    return false;
}

void CrossingMemo::add(const TestPlane* plane, const Point3& p, const Point3& q, const Approx& pa,
                       const Approx& qa, const Point3& x) {
    if (plane != plane_) {
        entries_.clear();
        plane_ = plane;
    }
    const bool swap = ends_swapped(pa, qa);
    entries_.emplace(edge_hash(pa, qa), Entry{swap ? q : p, swap ? p : q, x});
}

void split_loop(const TestPlane& plane, const Side* sides, std::vector<Point3>&& vertices,
                std::vector<Approx>&& approx, const CutOn& cut_on, std::uint32_t cut_by,
                Loop& front, Loop& back, Scratch& s) {
    const std::size_t n = vertices.size();
    const bool have_approx = approx.size() == n;
    const bool have_cut = cut_on.size() == n;
    auto crosses = [&](std::size_t i) { return sides[i] * sides[i + 1 == n ? 0 : i + 1] < 0; };
    CrossingMemo& memo = s.crossings();
    // A crossing on a plane of small integers costs less to make again
    // than to look up.
    const bool remember = have_approx && !plane.in_words();
    auto crossing = [&](std::size_t i, std::size_t j) {
        if (!remember) return plane.crossing(vertices[i], vertices[j], s);
        Point3 x;
        if (memo.take(&plane, vertices[i], vertices[j], approx[i], approx[j], x)) return x;
        x = plane.crossing(vertices[i], vertices[j], s);
        memo.add(&plane, vertices[i], vertices[j], approx[i], approx[j], x);
        return x;
    };
    // Tags of the planes vertices were cut on save wide tests later. A
    // piece whose crossings stay in machine words needs none; the first
    // crossing that does not gives every vertex so far its tag (none).
    bool tag = have_cut || !plane.in_words();
    auto tag_wide = [&](const Point3& x) {
        if (in_words(x)) return;
        tag = true;
        front.cut_on.assign(front.vertices.size(), kNotCut);
        back.cut_on.assign(back.vertices.size(), kNotCut);
    };
    // Each vertex is moved out once its edge's crossing is found, so the
    // last edge, which ends at vertex 0, has its crossing found first.
    Point3 last;
    if (n > 0 && crosses(n - 1)) last = crossing(n - 1, 0);
    front.vertices.reserve(n + 2);
    back.vertices.reserve(n + 2);
    front.approx.reserve(n + 2);
    back.approx.reserve(n + 2);
    if (tag) {
        front.cut_on.reserve(n + 2);
        back.cut_on.reserve(n + 2);
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Side si = sides[i];
        const bool cut = crosses(i);
        Point3 x = cut && i + 1 < n ? crossing(i, i + 1) : Point3();
        if (cut && !tag) tag_wide(i + 1 < n ? x : last);
        // A kept vertex keeps its approximation: converting it again would
        // give the same doubles.
        const Approx ai = have_approx ? approx[i] : approx_of(vertices[i]);
        const std::uint32_t ci = have_cut ? cut_on[i] : kNotCut;
        if (si == kOn) {
            front.vertices.push_back(vertices[i]);
            front.approx.push_back(ai);
            if (tag) front.cut_on.push_back(ci);
        }
        Loop& to = si == kBack || si == kOn ? back : front;
        to.vertices.push_back(std::move(vertices[i]));
        to.approx.push_back(ai);
        if (tag) to.cut_on.push_back(ci);
        if (cut) {
            Point3& c = i + 1 < n ? x : last;
            const Approx xa = approx_of(c);
            front.vertices.push_back(c);
            front.approx.push_back(xa);
            back.vertices.push_back(std::move(c));
            back.approx.push_back(xa);
            if (tag) {
                front.cut_on.push_back(cut_by);
                back.cut_on.push_back(cut_by);
            }
        }
    }
    keep_if_area(front);
    keep_if_area(back);
}

#ifdef QS_CLASSIFY_STATS
ClassifyStats classify_stats() noexcept { return {g_stats.filtered.load(), g_stats.exact.load()}; }

void reset_classify_stats() noexcept {
    g_stats.filtered = 0;
    g_stats.exact = 0;
}

void count_filtered(std::size_t n) noexcept { g_stats.filtered.fetch_add(n, std::memory_order_relaxed); }
#endif

}  // namespace qs
