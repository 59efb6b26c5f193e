#include "boolean/groups.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// The box of two boxes. A box of NaN (a piece without approximations)
// bounds nothing, and neither does a group that holds one.
ApproxBox unite(const ApproxBox& a, const ApproxBox& b) {
    if (std::isnan(a[0]) || std::isnan(b[0])) return a[0] != a[0] ? a : b;
    return {std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2]),
            std::max(a[3], b[3]), std::max(a[4], b[4]), std::max(a[5], b[5])};
}

// Where a piece is placed when grouping: the middle of its box, or the
// origin when the box has no finite middle. Only the grouping's quality
// depends on it.
std::array<double, 3> middle(const ApproxBox& box) {
    std::array<double, 3> m;
    for (int c = 0; c < 3; ++c) {
        m[c] = box[c] / 2 + box[c + 3] / 2;
        if (!std::isfinite(m[c])) m[c] = 0;
    }
    return m;
}

using Vec = std::array<double, 3>;

constexpr double kInf = std::numeric_limits<double>::infinity();

// The relative margin of every bound below: each is a sum of a few products
// of doubles whose magnitudes add up to some T, evaluated with at most a
// dozen roundings of at most 2^-53 T each, beside inputs that are nearest
// doubles of exact values (another 2^-53 relative each). 2^-46 T is more
// than all of it together; the 1 added to T absorbs what falls into the
// subnormals.
constexpr double kMargin = 0x1p-46;

double largest(double a, double b) { return std::max(std::fabs(a), std::fabs(b)); }

Vec unit(const Vec& v) {
    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(len > 0) || !std::isfinite(len)) return {};
    return {v[0] / len, v[1] / len, v[2] / len};
}

// The least and greatest exact dir . v over the points v that both the box
// (of nearest doubles) and the slab hold, less and more their margins; NaN
// or infinite ends when the doubles cannot tell. dir is split into a part
// along the slab's (unit) direction, bounded by the slab, and the rest,
// bounded by the box: nearly along the slab, the rest is small and the
// bound nearly as tight as the slab. Any split is sound, since the rest is
// what the part along leaves; the margin covers the roundings of all of
// it. `extra` is added to the size the margin is taken of.
struct Span {
    double lo, hi;
};

inline Span support(const ApproxBox& box, const Slab& slab, const Vec& dir, double extra = 0) {
    const Vec& m = slab.dir;
    const double lambda = dir[0] * m[0] + dir[1] * m[1] + dir[2] * m[2];
    double lo = lambda > 0 ? lambda * slab.lo : lambda * slab.hi;
    double hi = lambda > 0 ? lambda * slab.hi : lambda * slab.lo;
    double size = 1 + extra + std::fabs(lambda) * largest(slab.lo, slab.hi);
    for (int i = 0; i < 3; ++i) {
        const double along = lambda * m[i];
        const double r = dir[i] - along;
        lo += r > 0 ? r * box[i] : r * box[i + 3];
        hi += r > 0 ? r * box[i + 3] : r * box[i];
        size += (std::fabs(along) + std::fabs(r) + std::fabs(dir[i])) * largest(box[i], box[i + 3]);
    }
    const double margin = size * kMargin;
    return {lo - margin, hi + margin};
}

}  // namespace

std::array<double, 3> slab_direction(const Plane& plane) {
    return unit({rational_to_double(plane.normal.x), rational_to_double(plane.normal.y),
                 rational_to_double(plane.normal.z)});
}

Slab loop_slab(const std::array<double, 3>& dir, const std::vector<Approx>& approx,
               std::size_t vertex_count) {
    Slab out;
    out.dir = dir;
    if (approx.size() != vertex_count || approx.empty() || dir == Vec{}) return out;
    double lo = kInf, hi = -kInf, size = 1;
    for (const Approx& a : approx) {
        const double v = dir[0] * a[0] + dir[1] * a[1] + dir[2] * a[2];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        size = std::max(size, 1 + std::fabs(dir[0] * a[0]) + std::fabs(dir[1] * a[1]) +
                                  std::fabs(dir[2] * a[2]));
    }
    const double margin = size * kMargin;
    if (std::isfinite(lo) && std::isfinite(hi) && std::isfinite(margin)) {
        out.lo = lo - margin;
        out.hi = hi + margin;
    }
    return out;
}

Groups::Against::Against(const TestPlane& plane)
    : p(plane.approx()),
      norm(std::fabs(p[0]) + std::fabs(p[1]) + std::fabs(p[2])),
      base(1 + std::fabs(p[3])) {}

namespace {

// The bits of every point of a box and slab against a plane, as
// Groups::bits describes; `size` bounds the terms' magnitudes as fill()
// makes it.
inline int bound_bits(const ApproxBox& box, const Slab& slab, double size,
                      const Groups::Against& plane, bool flip) {
    const PlaneApprox& p = plane.p;
    // As support() with dir the plane's normal, the size of the margin
    // bounded once for the group: with m of unit length, |lambda| and each
    // |lambda m_i| are at most |p|_1, and |r_i| at most twice that.
    const Vec& m = slab.dir;
    // Each end of a product is the lesser or greater of the two products,
    // taken without branching: the signs of lambda and r change from group
    // to group, and branches on them are mispredicted half the time. A NaN
    // product leaves the end NaN, and the test undecided.
    const double lambda = p[0] * m[0] + p[1] * m[1] + p[2] * m[2];
    const double r[3] = {p[0] - lambda * m[0], p[1] - lambda * m[1], p[2] - lambda * m[2]};
    const double margin = (plane.base + plane.norm * size) * kMargin;
    // The end that would prove the group behind the (oriented) plane first:
    // a walk down a chain finds most groups there, and needs no other end.
    const auto greatest = [&] {
        double hi = std::max(lambda * slab.lo, lambda * slab.hi);
        for (int i = 0; i < 3; ++i) hi += std::max(r[i] * box[i], r[i] * box[i + 3]);
        return hi;
    };
    const auto least = [&] {
        double lo = std::min(lambda * slab.lo, lambda * slab.hi);
        for (int i = 0; i < 3; ++i) lo += std::min(r[i] * box[i], r[i] * box[i + 3]);
        return lo;
    };
    // Every comparison with a NaN is false: undecided. Both ends cannot
    // prove their sides at once, so the order of the tests changes nothing.
    const auto behind = [&] { return greatest() + margin - p[3] < 0; };
    const auto in_front = [&] { return least() - margin - p[3] > 0; };
    // Bits of the oriented plane: behind the plane unflipped is in front
    // of it flipped.
    if (!flip) return behind() ? 2 : in_front() ? 1 : 0;
    return in_front() ? 2 : behind() ? 1 : 0;
}

double bound_size(const ApproxBox& box, const Slab& slab) {
    double box_size = 0;
    for (int i = 0; i < 3; ++i) box_size += largest(box[i], box[i + 3]);
    return 1.01 * largest(slab.lo, slab.hi) + 4.01 * box_size;
}

}  // namespace

int Groups::bits(Item group, const Against& plane, bool flip) const {
    const Node& n = nodes_[index(group)];
    return bound_bits(n.box, n.slab, n.size, plane, flip);
}

int Groups::piece_bits(std::size_t id, const Pool& pool, const Against& plane, bool flip) const {
    if (!has_slab(id)) return 0;
    const ApproxBox& box = pool[id].box;
    const Slab& slab = piece_slabs_[id];
    return bound_bits(box, slab, bound_size(box, slab), plane, flip);
}

void Groups::fill(Node& n, const Pool& pool) const {
    const ApproxBox& a = box(n.member[0], pool);
    const ApproxBox& b = box(n.member[1], pool);
    const Slab& sa = slab(n.member[0]);
    const Slab& sb = slab(n.member[1]);
    n.box = unite(a, b);
    n.key = std::min(key(n.member[0]), key(n.member[1]));
    n.count = std::uint32_t(count(n.member[0]) + count(n.member[1]));
    // Along the members' mean direction, each bounded through its own box
    // and slab.
    Vec dir = unit({sa.dir[0] + sb.dir[0], sa.dir[1] + sb.dir[1], sa.dir[2] + sb.dir[2]});
    if (dir == Vec{}) dir = sa.dir;
    const Span x = support(a, sa, dir), y = support(b, sb, dir);
    // An end the doubles could not tell (NaN) leaves that side open.
    n.slab.dir = dir;
    n.slab.lo = std::isnan(x.lo) || std::isnan(y.lo) ? -kInf : std::min(x.lo, y.lo);
    n.slab.hi = std::isnan(x.hi) || std::isnan(y.hi) ? kInf : std::max(x.hi, y.hi);
    // The size of the terms of a test (bits): |lambda| times the slab's
    // ends, and at most 4 |p|_1 times the box's; a hundredth more covers
    // the rounding of m's length and of this sum.
    n.size = bound_size(n.box, n.slab);
}

std::size_t Groups::new_node() {
    if (free_.empty()) {
        nodes_.emplace_back();
        return nodes_.size() - 1;
    }
    const std::size_t i = free_.back();
    free_.pop_back();
    return i;
}

Item Groups::make(Item a, Item b, const Pool& pool, Item& spare) {
    if (spare != kNoItem) {
        // The group the members were taken from: its box and slab hold
        // every point of theirs (a half of a cut piece lies within the
        // piece), so they still bound what is left, if not as tightly, and
        // cost nothing to keep.
        Node& n = nodes_[index(spare)];
        n.member[0] = a;
        n.member[1] = b;
        n.key = std::min(key(a), key(b));
        n.count = std::uint32_t(count(a) + count(b));
        const Item it = spare;
        spare = kNoItem;
        return it;
    }
    const std::size_t i = new_node();
    Node& n = nodes_[i];
    n.member[0] = a;
    n.member[1] = b;
    fill(n, pool);
    return group_item(i);
}

Item Groups::join(Item a, Item b, const Pool& pool, Item& spare) {
    if (a == kNoItem) return b;
    if (b == kNoItem) return a;
    return make(a, b, pool, spare);
}

void Groups::release(Item group) { free_.push_back(index(group)); }

Item Groups::build(const Pool& pool, const Ids& ids) {
    if (ids.empty()) return kNoItem;
    struct Entry {
        std::size_t id;
        std::array<double, 3> at;
    };
    std::vector<Entry> entries(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) entries[i] = {ids[i], middle(pool[ids[i]].box)};
    // A range of entries to group, and the member slot that takes it.
    struct Range {
        std::size_t lo, hi;
        std::size_t parent;  // a node, or no_parent for the root
        int slot;
    };
    constexpr std::size_t no_parent = SIZE_MAX;
    std::vector<Range> ranges{{0, entries.size(), no_parent, 0}};
    std::vector<std::size_t> made;  // parents before their members
    made.reserve(ids.size());
    Item root = kNoItem;
    while (!ranges.empty()) {
        const Range r = ranges.back();
        ranges.pop_back();
        Item it;
        if (r.hi - r.lo == 1) {
            it = entries[r.lo].id;
        } else {
            poll_interrupt(std::uint32_t(std::min<std::size_t>(r.hi - r.lo, 1u << 16)));
            std::array<double, 3> lo = entries[r.lo].at, hi = lo;
            for (std::size_t i = r.lo; i < r.hi; ++i)
                for (int c = 0; c < 3; ++c) {
                    lo[c] = std::min(lo[c], entries[i].at[c]);
                    hi[c] = std::max(hi[c], entries[i].at[c]);
                }
            int axis = 0;
            for (int c = 1; c < 3; ++c)
                if (hi[c] - lo[c] > hi[axis] - lo[axis]) axis = c;
            const std::size_t mid = r.lo + (r.hi - r.lo) / 2;
            std::nth_element(entries.begin() + std::ptrdiff_t(r.lo),
                             entries.begin() + std::ptrdiff_t(mid),
                             entries.begin() + std::ptrdiff_t(r.hi),
                             [axis](const Entry& a, const Entry& b) { return a.at[axis] < b.at[axis]; });
            const std::size_t i = new_node();
            made.push_back(i);
            it = group_item(i);
            ranges.push_back({mid, r.hi, i, 1});
            ranges.push_back({r.lo, mid, i, 0});
        }
        if (r.parent == no_parent)
            root = it;
        else
            nodes_[r.parent].member[r.slot] = it;
    }
    // Members were made after their groups: fill the boxes from the last.
    for (auto i = made.rbegin(); i != made.rend(); ++i) fill(nodes_[*i], pool);
    return root;
}

std::size_t Groups::first(Item it) const {
    while (is_group(it)) {
        const Node& n = nodes_[index(it)];
        it = key(n.member[0]) == n.key ? n.member[0] : n.member[1];
    }
    return std::size_t(it);
}

void Groups::drain(Item it, Ids& out) {
    if (it == kNoItem) return;
    const std::size_t start = out.size();
    stack_.push_back(it);
    while (!stack_.empty()) {
        const Item top = stack_.back();
        stack_.pop_back();
        if (!is_group(top)) {
            out.push_back(std::size_t(top));
            continue;
        }
        poll_interrupt();
        stack_.push_back(member(top, 1));
        stack_.push_back(member(top, 0));
        release(top);
    }
    std::sort(out.begin() + std::ptrdiff_t(start), out.end(),
              [this](std::size_t a, std::size_t b) { return piece_key(a) < piece_key(b); });
}

void Groups::discard(Item it) {
    if (!is_group(it)) return;
    stack_.push_back(it);
    while (!stack_.empty()) {
        const Item top = stack_.back();
        stack_.pop_back();
        poll_interrupt();
        for (int m = 0; m < 2; ++m)
            if (is_group(member(top, m))) stack_.push_back(member(top, m));
        release(top);
    }
}

}  // namespace qs
