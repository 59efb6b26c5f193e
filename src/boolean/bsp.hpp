// The binary space-partitioning tree that carries the booleans.
//
// A tree describes a solid as a region: the back side of each node's plane,
// refined by the subtrees, is inside. Nodes live in one list and point at
// their children by index, so no operation recurses and no destructor does
// either: a tree as deep as its face count costs heap, never C stack.
// Every walk keeps the visiting order of the recursive formulation (a node,
// then its front subtree, then its back subtree), which fixes the order of
// the faces that come out.
//
// The tree holds pieces, not faces: a piece takes its label and plane from
// the operand face it came from, so splitting a face copies no plane and no
// label, and each plane is made ready for testing (Sources::plane) once per
// boolean, not once per visit. A piece that is still its whole operand face
// does not copy that face's loop either: it reads the face's, backwards
// when it has been turned over, and gets a loop of its own only when it is
// cut.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "boolean/classify.hpp"
#include "boolean/groups.hpp"
#include "solid/solid.hpp"

namespace qs {

// Lists of one kind handed back emptied and taken again, so that a list
// keeps its room from one use to the next.
template <class V>
class Spares {
public:
    V take() {
        if (spare_.empty()) return {};
        V out = std::move(spare_.back());
        spare_.pop_back();
        return out;
    }
    void give(V&& list) {
        if (list.capacity() == 0) return;
        list.clear();
        spare_.push_back(std::move(list));
    }

private:
    std::vector<V> spare_;
};

// How a walk moves a list of pieces through a tree: in groups by place
// (groups.hpp) where that pays, or piece after piece. All give the same
// result; the plain walk, and the eager one that groups every list it can,
// are kept for the tests that show it.
enum class Walk { kGrouped, kEager, kPlain };

// A list cut in two by a node's plane.
struct Parted {
    Item front = kNoItem, back = kNoItem;
    bool whole = false;  // the list itself went to one side, untouched
};
// One step of cutting a list: an item to sort, or (`joined`) the parts of
// its members to join. One word, so that a step read back just after it was
// written comes straight from the store.
struct PartStep {
    static constexpr Item kJoined = Item(1) << 62;  // below the group bit
    Item word;
    PartStep(Item item, bool joined) : word(joined ? item | kJoined : item) {}
    Item item() const noexcept { return word & ~kJoined; }
    bool joined() const noexcept { return (word & kJoined) != 0; }
};

// The operand faces of one boolean, which pieces name by index, each with
// its plane made ready for tests when first needed. Both trees of the
// boolean share them, and their walks may run at once (see prepare_nodes):
// what the tests find out about a plane later (its integer form, its hash)
// and whether a face is planar may be found by either thread, while a plane
// itself is made by one thread only.
class SourceFaces {
public:
    explicit SourceFaces(std::vector<const Face*> faces, Walk walk = Walk::kGrouped)
        : walk_(walk),
          faces_(std::move(faces)),
          planes_(faces_.size()),
          planar_(faces_.size()),
          asked_(faces_.size(), 0) {}
    const Face& face(std::uint32_t id) const { return *faces_[id]; }
    const TestPlane& plane(std::uint32_t id) {
        if (!planes_[id]) planes_[id].emplace(faces_[id]->plane);
        return *planes_[id];
    }
    bool plane_made(std::uint32_t id) const { return planes_[id].has_value(); }
    // False the first time it is asked about a face, true after that.
    bool asked_before(std::uint32_t id) {
        const bool before = asked_[id] != 0;
        asked_[id] = 1;
        return before;
    }
    // Every vertex of the face lies exactly in its plane; then so does
    // every vertex of every piece of it (a crossing point lies on an edge
    // between two of them).
    bool planar(std::uint32_t id, Scratch& scratch);
    // The same, only when known without a test (by the face, or from one
    // made before); false otherwise.
    bool known_planar(std::uint32_t id) const {
        return faces_[id]->planar || planar_[id].load(std::memory_order_relaxed) == kPlanar;
    }
    Walk walk() const noexcept { return walk_; }
    // Frees the planes made; none may be used after.
    void free_planes() { std::vector<std::optional<TestPlane>>().swap(planes_); }

private:
    enum : std::int8_t { kUnknown, kPlanar, kNotPlanar };
    Walk walk_;
    std::vector<const Face*> faces_;
    std::vector<std::optional<TestPlane>> planes_;
    // Either thread may find it; both find the same.
    std::vector<std::atomic<std::int8_t>> planar_;
    std::vector<std::uint8_t> asked_;
};

// The operand faces as one tree's walks see them, with the scratch integers
// of the exact tests and the working lists of those walks: each tree has its
// own, so that the walks of the two trees may run at once.
class Sources {
public:
    explicit Sources(SourceFaces& faces) : faces_(faces) {}
    SourceFaces& faces() noexcept { return faces_; }
    const Face& face(std::uint32_t id) const { return faces_.face(id); }
    const TestPlane& plane(std::uint32_t id) { return faces_.plane(id); }
    bool plane_made(std::uint32_t id) const { return faces_.plane_made(id); }
    bool asked_before(std::uint32_t id) { return faces_.asked_before(id); }
    bool planar(std::uint32_t id) { return faces_.planar(id, scratch_); }
    bool known_planar(std::uint32_t id) const { return faces_.known_planar(id); }
    Walk walk() const noexcept { return faces_.walk(); }
    Scratch& scratch() noexcept { return scratch_; }
    // Index lists and piece lists handed back by one walk and reused by
    // the next, so the walks allocate only while the lists grow.
    std::vector<std::size_t> take_ids() { return ids_.take(); }
    void give_ids(std::vector<std::size_t>&& ids) { ids_.give(std::move(ids)); }
    std::vector<Piece> take_pieces() { return pieces_.take(); }
    void give_pieces(std::vector<Piece>&& pieces) { pieces_.give(std::move(pieces)); }
    // A list on its way down a tree: plain, pool ids in list order; or
    // grouped by place, one item whose pieces' keys give the order.
    struct Job {
        std::size_t node = 0;
        std::vector<std::size_t> ids;
        Item group = kNoItem;
        std::uint32_t chain = 0;  // nodes in a row it passed nearly whole
    };
    // The stack of one walk: the lists still to sort, each at its node.
    // Walks do not nest, so they share it; each leaves it empty.
    std::vector<Job>& walk_stack() noexcept { return stack_; }
    Groups& groups() noexcept { return groups_; }
    std::vector<PartStep>& part_steps() noexcept { return part_steps_; }
    std::vector<Parted>& parts() noexcept { return parts_; }
    // While clip_by clips, the node each pooled piece belongs to, by pool
    // index; empty otherwise.
    std::vector<std::uint32_t>& owners() noexcept { return owners_; }
    // While clip_by clips, the node of the other tree each pooled piece
    // left it by, by pool index.
    std::vector<std::uint32_t>& exits() noexcept { return exits_; }
    // Set when a walk finds a piece lying in a node's plane.
    bool met_plane = false;

private:
    SourceFaces& faces_;
    Scratch scratch_;
    Spares<std::vector<std::size_t>> ids_;
    Spares<std::vector<Piece>> pieces_;
    std::vector<Job> stack_;
    Groups groups_;
    std::vector<PartStep> part_steps_;
    std::vector<Parted> parts_;
    std::vector<std::uint32_t> owners_;
    std::vector<std::uint32_t> exits_;
};

struct BspNode {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::vector<Piece> faces;  // pieces in the plane, of either orientation
    bool has_plane = false;    // false in an empty node
    std::uint32_t plane = 0;   // the plane of this source face,
    bool flipped = false;      // negated when flipped
    std::size_t front = kNone;
    std::size_t back = kNone;
};

class BspTree {
public:
    explicit BspTree(Sources& sources) : nodes(1), sources(&sources) {}
    std::vector<BspNode> nodes;  // nodes[0] is the root
    Sources* sources;
    // Set by a clip_by that met no piece in a plane of the other tree.
    bool clear_clip = false;
    // After such a clip_by through a tree large enough for them to pay: for
    // the pieces of each node in list order from exit_from[node] on, the
    // node of the other tree each left it by, at a front without a subtree
    // (its exit). Empty otherwise.
    std::vector<std::uint32_t> exits;
    std::vector<std::size_t> exit_from;
};

// The faces of an operand as whole pieces, naming sources from `first_source` on.
std::vector<Piece> whole_pieces(const Solid& s, std::uint32_t first_source);

// Sorts the pieces into the tree, growing it where they fall outside it.
// With `spare_thread` (nothing else of the call runs at once) a long list
// into an empty tree may have part of the work done on a second thread:
// true when it had, which happens only where the tree is a long chain.
bool insert_faces(BspTree& tree, std::vector<Piece> faces, bool spare_thread = false);
// The same for the parts a settled clip by `tree` left, with their exits,
// the tree's planes unchanged since: each would go down the way it went
// then, into the front of the node it left by, so each list of one exit
// is inserted from there. Given `second`, the Sources of a tree done with,
// half the lists are inserted with it on a second thread.
void insert_at_exits(BspTree& tree, std::vector<Piece> faces,
                     const std::vector<std::uint32_t>& exits, Sources* second = nullptr);
// Replaces every node's pieces by their parts outside `other`, with the
// tree's own Sources.
void clip_by(BspTree& tree, const BspTree& other);
// Makes the plane of every node of the tree (which its insertion made
// already). Then the tree may be clipped by the other tree of its boolean
// while the other is clipped by it: each walk makes planes only of faces of
// its own tree's pieces that name no node, and reads the rest.
void prepare_nodes(BspTree& tree);
// After clip_by(tree, other): true when no piece lay in a plane of `other`
// on its way and every part's face lies in its own plane. Each part then
// lies wholly on one side of every plane on its way (a cut part has a
// vertex off the plane that cut it, and is no line), so clipping the parts
// through `other` again, turned over or not, takes each the same way and
// leaves each node's list, already in walk order, as it is; and inserting
// them into `other` takes each to its exit.
bool settled(BspTree& tree);
// Turns the region inside out: pieces flipped, planes negated, sides swapped.
void complement(BspTree& tree);
// The tree's nodes as complement would leave them, without their pieces:
// enough to clip by.
BspTree turned_planes(const BspTree& tree);
// All pieces of the tree in walk order, moved out; the tree is left without
// pieces. With `exits`, their exits are appended there in the same order,
// from the settled clip_by that left them.
std::vector<Piece> collect_faces(BspTree& tree, std::vector<std::uint32_t>* exits = nullptr);
// The nodes in the order collect_faces takes their pieces.
std::vector<std::size_t> walk_order(BspTree& tree);

}  // namespace qs
