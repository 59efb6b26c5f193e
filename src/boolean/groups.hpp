// Pieces, and the groups in which a walk moves them through a tree.
//
// A list of pieces that a tree walk sorts against one node plane after
// another is held as a hierarchy of groups by place: each group knows the
// box of its pieces, so a group wholly on one side of a plane goes down
// that side at the cost of one box test, however many pieces it holds, and
// only the groups whose boxes meet the plane are opened. A list's order is
// not kept in the hierarchy: every piece carries the position (its key) of
// the piece it came from in the list the walk began with, and the pieces
// that come to rest are put in key order. That is the order a plain walk,
// testing piece after piece, gives them, so grouping changes the work and
// never the result.
//
// A box alone bounds a group poorly against a plane that is nearly
// tangent to it, which is every plane of a curved mesh against its
// neighbours, so each group also keeps a slab: the band between two planes
// along the group's mean normal that holds all its vertices. Against a
// plane the group is tested through both at once. This file decides sides
// in doubles, with error bounds; it is compiled with -ffp-contract=off.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "boolean/classify.hpp"
#include "exact/interrupt.hpp"
#include "solid/solid.hpp"

namespace qs {

// A band that holds a set of points: for each point v, the exact dir . v
// lies in [lo, hi]. With infinite ends it holds anything.
struct Slab {
    std::array<double, 3> dir{};
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
};

// The unit direction (in doubles) of a plane's normal: any direction is
// sound for a slab, and the nearest to the normal is the tightest.
std::array<double, 3> slab_direction(const Plane& plane);
// The slab along `dir` of a loop's vertices, from their approximations.
Slab loop_slab(const std::array<double, 3>& dir, const std::vector<Approx>& approx,
               std::size_t vertex_count);

struct Piece {
    std::vector<Point3> vertices;  // empty while whole
    std::vector<Approx> approx;
    CutOn cut_on;              // empty while whole, or while no vertex is cut
    ApproxBox box;             // of approx, for deciding whole pieces at once
    std::uint32_t source = 0;  // the operand face it came from
    bool flipped = false;      // turned over an odd number of times
    bool whole = false;        // its loop is the source face's, reversed when flipped
};

using Pool = std::vector<Piece>;
using Ids = std::vector<std::size_t>;

// A piece (its index in the pool) or a group, told apart by the top bit;
// kNoItem stands for an empty list.
using Item = std::uint64_t;
constexpr Item kNoItem = ~Item(0);

// The groups of one walk. A group has two members, pieces or groups; a list
// is one item, and the lists of a walk never share a group.
class Groups {
public:
    static bool is_group(Item it) noexcept { return it != kNoItem && (it >> 63) != 0; }

    // The pieces `ids` grouped by place: halves of the list by the middle
    // of their boxes along the longest side, again and again.
    Item build(const Pool& pool, const Ids& ids);

    const ApproxBox& box(Item it, const Pool& pool) const {
        return is_group(it) ? nodes_[index(it)].box : pool[it].box;
    }
    const Slab& slab(Item it) const {
        return is_group(it) ? nodes_[index(it)].slab : piece_slabs_[it];
    }
    // The slabs of the pieces grouped in this walk, by pool index: kept
    // here, not in the pieces, which the walks move and copy and which
    // mostly never need one.
    bool has_slab(std::size_t id) const noexcept {
        return id < piece_slabs_.size() && piece_slabs_[id].dir != std::array<double, 3>{};
    }
    void set_slab(std::size_t id, const Slab& slab) {
        if (id >= piece_slabs_.size()) piece_slabs_.resize(id + 1);
        piece_slabs_[id] = slab;
    }
    // A plane's doubles with what every test against it shares.
    struct Against {
        explicit Against(const TestPlane& plane);
        PlaneApprox p;
        double norm;  // |p|_1 of the normal
        double base;  // 1 + |offset|
    };
    // The bits (1 front, 2 back, negated when `flip`) of a group's every
    // point against a plane, when the doubles prove them through its box and
    // slab together; 0 otherwise.
    int bits(Item group, const Against& plane, bool flip) const;
    // The same for a piece grouped in this walk, through its own box and
    // slab; 0 for one without a slab.
    int piece_bits(std::size_t id, const Pool& pool, const Against& plane, bool flip) const;
    std::uint32_t key(Item it) const {
        return is_group(it) ? nodes_[index(it)].key : piece_key(std::size_t(it));
    }
    // A grouped piece's key: its list position when the walk began, which
    // its parts inherit. Kept here, beside the slabs, for the same reason.
    std::uint32_t piece_key(std::size_t id) const noexcept {
        return id < piece_keys_.size() ? piece_keys_[id] : 0;
    }
    void set_key(std::size_t id, std::uint32_t key) {
        if (id >= piece_keys_.size()) piece_keys_.resize(id + 1);
        piece_keys_[id] = key;
    }
    // A part takes the key of the piece it was cut from, when that has one.
    void inherit_key(std::size_t id, std::size_t from) {
        if (from < piece_keys_.size()) set_key(id, piece_keys_[from]);
    }
    Item member(Item group, int i) const { return nodes_[index(group)].member[i]; }
    std::size_t count(Item it) const { return is_group(it) ? nodes_[index(it)].count : 1; }

    // The list of both items' pieces. Either item may be empty. `spare`, a
    // group that held both items' pieces (or parts of them) and is no
    // longer in use, or kNoItem, is taken first for the new group, keeping
    // its bounds.
    Item join(Item a, Item b, const Pool& pool, Item& spare);
    // A group's members have been taken elsewhere: it may be used again.
    void release(Item group);
    // The piece of least key: the first piece of the list.
    std::size_t first(Item it) const;
    // The list's pieces appended to `out` in key order, its groups released.
    void drain(Item it, Ids& out);
    // The list's groups released, its pieces forgotten.
    void discard(Item it);
    // Whether `test` holds for every piece of the list (by pool index).
    template <class Test>
    bool all_of(Item it, Test test) {
        if (it == kNoItem) return true;
        stack_.assign(1, it);
        while (!stack_.empty()) {
            const Item top = stack_.back();
            stack_.pop_back();
            if (!is_group(top)) {
                if (test(std::size_t(top))) continue;
                stack_.clear();
                return false;
            }
            poll_interrupt();
            stack_.push_back(member(top, 1));
            stack_.push_back(member(top, 0));
        }
        return true;
    }
    // Forgets every group, keeping the room.
    void clear() noexcept {
        nodes_.clear();
        free_.clear();
        piece_slabs_.clear();
        piece_keys_.clear();
    }

private:
    // Two cache lines each: a test reads the whole of one.
    struct alignas(64) Node {
        ApproxBox box;
        Slab slab;
        double size;  // bounds the magnitudes in a test against any plane
        Item member[2];
        std::uint32_t key;    // least key of its pieces
        std::uint32_t count;  // how many pieces it holds
    };
    static std::size_t index(Item it) noexcept { return std::size_t(it & ~(Item(1) << 63)); }
    static Item group_item(std::size_t i) noexcept { return Item(i) | (Item(1) << 63); }
    // A node to fill: a released one, or a new one.
    std::size_t new_node();
    Item make(Item a, Item b, const Pool& pool, Item& spare);
    // A group's box, slab and key from its members'.
    void fill(Node& n, const Pool& pool) const;

    std::vector<Node> nodes_;
    std::vector<std::size_t> free_;
    std::vector<Item> stack_;
    std::vector<Slab> piece_slabs_;
    std::vector<std::uint32_t> piece_keys_;
};

}  // namespace qs
