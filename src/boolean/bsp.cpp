#include "boolean/bsp.hpp"

#include <algorithm>
#include <iterator>
#include <new>
#include <optional>
#include <utility>

#include "exact/interrupt.hpp"
#include "exact/parallel.hpp"

namespace qs {

namespace {

constexpr std::size_t kNone = BspNode::kNone;

// The pieces one insert or clip is sorting live in a pool; the lists that
// travel down the tree hold their indices (or their groups, groups.hpp), so
// a piece is moved only when it comes to rest (in a node, or in the result
// of a clip), not at every level it passes. A piece replaced by its two
// halves is emptied in place.

Ids all_ids(Sources& sources, const Pool& pool) {
    Ids ids = sources.take_ids();
    ids.resize(pool.size());
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = i;
    return ids;
}

// The positions of `keys` (each below `count`) by key, those of one key in
// order: key k's from from[k] to from[k + 1] in `order`.
void bucket(const std::vector<std::uint32_t>& keys, std::size_t count,
            std::vector<std::size_t>& from, std::vector<std::size_t>& order) {
    from.assign(count + 1, 0);
    for (std::uint32_t k : keys) ++from[k + 1];
    for (std::size_t k = 1; k <= count; ++k) from[k] += from[k - 1];
    order.resize(keys.size());
    std::vector<std::size_t> next(from.begin(), from.end() - 1);
    for (std::size_t i = 0; i < keys.size(); ++i) order[next[keys[i]]++] = i;
}

// A piece lies in the node's plane when its face does and the two planes
// are the same plane. Making a face's plane ready costs more than testing
// one piece's vertices, so a face met here for the first time is left to
// the vertex tests; one met again likely has more pieces to come.
struct InNodePlane final : InPlane {
    Sources& sources;
    const TestPlane& plane;
    std::uint32_t node_source, source;
    const CutOn& cut_on;
    InNodePlane(Sources& s, const TestPlane& p, std::uint32_t n, std::uint32_t f, const CutOn& c)
        : sources(s), plane(p), node_source(n), source(f), cut_on(c) {}
    bool holds() override {
        if (source == node_source) return sources.planar(source);
        if (!sources.plane_made(source) && !sources.asked_before(source)) return false;
        return plane.same_plane(sources.plane(source)) && sources.planar(source);
    }
    // A crossing point made on this plane lies in it; so does a vertex of
    // the face that gave the plane when that face lies in it: a piece next
    // to it shares the vertex. Either is cheaper to see than to test.
    bool known_on(std::size_t i, const Point3& vertex, const Approx& approx) override {
        if (i < cut_on.size() && cut_on[i] == node_source) return true;
        const Face& f = sources.face(node_source);
        if (f.approx.size() != f.vertices.size()) return false;
        for (std::size_t k = 0; k < f.vertices.size(); ++k)
            if (f.approx[k] == approx && f.vertices[k] == vertex) return sources.planar(node_source);
        return false;
    }
};

// The pool index of a half, or kNoHalf when it had no area.
constexpr std::size_t kNoHalf = static_cast<std::size_t>(-1);

std::size_t add_half(Pool& pool, Sources& sources, Loop&& half, const Piece& from,
                     std::size_t from_id) {
    if (half.empty()) return kNoHalf;
    Groups& groups = sources.groups();
    const ApproxBox box = approx_box(half.approx, half.vertices.size());
    // A slab only for a piece that was grouped; one that was not gets its
    // slab when it is.
    std::optional<Slab> slab;
    if (groups.has_slab(from_id))
        slab = loop_slab(groups.slab(from_id).dir, half.approx, half.vertices.size());
    pool.push_back({std::move(half.vertices), std::move(half.approx), std::move(half.cut_on), box,
                    from.source, from.flipped, false});
    const std::size_t id = pool.size() - 1;
    if (slab) groups.set_slab(id, *slab);
    groups.inherit_key(id, from_id);
    std::vector<std::uint32_t>& owners = sources.owners();
    if (from_id < owners.size()) {
        const std::uint32_t owner = owners[from_id];
        owners.resize(pool.size());
        owners[id] = owner;
    }
    return id;
}

// A whole piece about to be cut gets a loop of its own, in its own
// orientation; `sides` were found on the face's loop and are turned with it.
void own_loop(Piece& piece, const Face& face, Side* sides) {
    piece.vertices = face.vertices;
    piece.approx = face.approx;
    piece.whole = false;
    if (piece.flipped) {
        reverse_loop(piece.vertices, piece.approx);
        std::reverse(sides, sides + piece.vertices.size());
    }
}

// Where one piece goes against a node's plane.
enum Fate { kToFront, kToBack, kKept, kSplit };

// Sorts the pooled piece `id` against the node's plane. A coplanar piece is
// kept when `keep` is set, otherwise it goes front (same orientation) or
// back (opposite); a spanning piece is cut, and the pool indices of its
// halves (kNoHalf for one without area) come back in `front` and `back`.
[[gnu::noinline]] Fate sort_open_piece(Sources& sources, const BspNode& node,
                                       const TestPlane& plane, Pool& pool, std::size_t id,
                                       bool keep, std::size_t& front, std::size_t& back);

// Most pieces lie clear of the plane, and their box says so: that test is
// made here, where it inlines, and the rest out of line. In a grouped walk
// (`slabbed`) a piece the box leaves open is tested through its slab as
// well against a plane off the axes: next to a tangent plane of a curved
// mesh the boxes cross the plane though the pieces do not.
template <bool slabbed = false>
inline Fate sort_piece(Sources& sources, const BspNode& node, const TestPlane& plane, Pool& pool,
                       std::size_t id, bool keep, std::size_t& front, std::size_t& back,
                       const Groups::Against* against = nullptr) {
    const Piece& piece = pool[id];
    int bits = plane.box_bits(piece.box, node.flipped);
    if (slabbed && !bits && plane.axis() < 0)
        bits = sources.groups().piece_bits(id, pool, *against, node.flipped);
    if (bits) {
        count_filtered(piece.whole ? sources.face(piece.source).vertices.size()
                                   : piece.vertices.size());
        return bits == 1 ? kToFront : kToBack;
    }
    return sort_open_piece(sources, node, plane, pool, id, keep, front, back);
}

Fate sort_open_piece(Sources& sources, const BspNode& node, const TestPlane& plane, Pool& pool,
                     std::size_t id, bool keep, std::size_t& front, std::size_t& back) {
    Piece& piece = pool[id];
    Scratch& scratch = sources.scratch();
    const Face* face = piece.whole ? &sources.face(piece.source) : nullptr;
    const std::vector<Point3>& vertices = face ? face->vertices : piece.vertices;
    SideBuffer sides(vertices.size());
    InNodePlane in_plane(sources, plane, node.plane, piece.source, piece.cut_on);
    const int bits = classify_loop(plane, node.flipped, vertices, face ? face->approx : piece.approx,
                                   nullptr, &in_plane, sides.data(), scratch);
    if (bits == 0) {
        sources.met_plane = true;
        if (keep) return kKept;
        // Same orientation when the normals point the same way; a zero
        // dot product counts as opposite.
        int dir = plane.normal_dot_sign(sources.plane(piece.source), scratch);
        if (node.flipped != piece.flipped) dir = -dir;
        return dir > 0 ? kToFront : kToBack;
    }
    if (bits == 1) return kToFront;
    if (bits == 2) return kToBack;
    if (face) own_loop(piece, *face, sides.data());
    Loop f, b;
    split_loop(plane, sides.data(), std::move(piece.vertices), std::move(piece.approx),
               piece.cut_on, node.plane, f, b, scratch);
    const Piece from{{}, {}, {}, {}, piece.source, piece.flipped, false};
    piece = Piece{};  // its halves take over; the pool may move below
    front = add_half(pool, sources, std::move(f), from, id);
    back = add_half(pool, sources, std::move(b), from, id);
    return kSplit;
}

// The plain sort: the pooled pieces `ids`, one after another in list
// order. Coplanar pieces are added to `kept`, in list order, when it is
// given.
void sort_ids(Sources& sources, const BspNode& node, Pool& pool, const Ids& ids, Ids* kept,
              Ids& front, Ids& back) {
    const TestPlane& plane = sources.plane(node.plane);
    front.reserve(ids.size());
    back.reserve(ids.size());
    for (std::size_t id : ids) {
        poll_interrupt();
        std::size_t f = kNoHalf, b = kNoHalf;
        switch (sort_piece(sources, node, plane, pool, id, kept != nullptr, f, b)) {
            case kToFront: front.push_back(id); break;
            case kToBack: back.push_back(id); break;
            case kKept: kept->push_back(id); break;
            case kSplit:
                if (f != kNoHalf) front.push_back(f);
                if (b != kNoHalf) back.push_back(b);
                break;
        }
    }
}

// The grouped sort: the list `list` against the node's plane. A
// group whose box lies on one side goes there whole; a group that meets
// the plane is opened, and its members' parts on each side join again, so
// each side stays one list grouped by place. Coplanar pieces are added to
// `kept` when it is given. The groups that hold the piece of key `open`
// are opened untested: that piece lies in the plane (it gave the node its
// plane), so they cannot lie on one side.
Parted part_list(Sources& sources, const BspNode& node, Pool& pool, Item list, Ids* kept,
                 std::uint32_t open = UINT32_MAX) {
    const TestPlane& plane = sources.plane(node.plane);
    Groups& groups = sources.groups();
    const Groups::Against against(plane);
    // Post-order without recursion: an item is opened, its members sorted,
    // then their parts joined.
    std::vector<PartStep>& steps = sources.part_steps();
    std::vector<Parted>& parts = sources.parts();
    steps.push_back({list, false});
    while (!steps.empty()) {
        const PartStep step = steps.back();
        steps.pop_back();
        if (step.joined()) {
            const Parted r = parts.back();
            parts.pop_back();
            const Parted l = parts.back();
            Item spare = step.item();
            // Both members went untouched to one side: so does the group, as
            // it is. Near a plane that only grazes its box this is the rule.
            if (l.whole && r.whole && (l.front == kNoItem) == (r.front == kNoItem)) {
                parts.back() = l.front == kNoItem ? Parted{kNoItem, spare, true}
                                                  : Parted{spare, kNoItem, true};
                continue;
            }
            parts.back() = {groups.join(l.front, r.front, pool, spare),
                            groups.join(l.back, r.back, pool, spare)};
            if (spare != kNoItem) groups.release(spare);
            continue;
        }
        poll_interrupt();
        const Item it = step.item();
        if (Groups::is_group(it)) {
            // A plane along an axis is decided by the box as well as it can
            // be; any other, through box and slab together.
            const int bits = groups.key(it) == open ? 0
                             : plane.axis() >= 0
                                 ? plane.box_bits(groups.box(it, pool), node.flipped)
                                 : groups.bits(it, against, node.flipped);
            if (bits) {
                parts.push_back(bits == 1 ? Parted{it, kNoItem, true} : Parted{kNoItem, it, true});
            } else {
                steps.push_back({it, true});
                steps.push_back({groups.member(it, 1), false});
                steps.push_back({groups.member(it, 0), false});
            }
            continue;
        }
        std::size_t f = kNoHalf, b = kNoHalf;
        switch (sort_piece<true>(sources, node, plane, pool, std::size_t(it), kept != nullptr, f,
                                 b, &against)) {
            case kToFront: parts.push_back({it, kNoItem, true}); break;
            case kToBack: parts.push_back({kNoItem, it, true}); break;
            case kKept:
                kept->push_back(std::size_t(it));
                parts.push_back({});
                break;
            case kSplit:
                parts.push_back({f == kNoHalf ? kNoItem : Item(f), b == kNoHalf ? kNoItem : Item(b)});
                break;
        }
    }
    const Parted out = parts.back();
    parts.pop_back();
    return out;
}

// Calls visit(node) for every node: a node, then its front subtree, then its
// back subtree. The children are read before the visit, so a visit may swap
// them without changing the order.
template <class Visit>
void preorder(BspTree& tree, Visit visit) {
    std::vector<std::size_t> stack{0};
    while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        poll_interrupt();
        const std::size_t front = tree.nodes[i].front, back = tree.nodes[i].back;
        visit(tree.nodes[i]);
        if (back != kNone) stack.push_back(back);
        if (front != kNone) stack.push_back(front);
    }
}

// The child of `parent` on one side, made when absent.
std::size_t child(BspTree& tree, std::size_t parent, std::size_t BspNode::*side) {
    std::size_t c = tree.nodes[parent].*side;
    if (c == kNone) {
        c = tree.nodes.size();
        tree.nodes.emplace_back();  // may move the nodes: index, never hold
        tree.nodes[parent].*side = c;
    }
    return c;
}

}  // namespace

std::vector<Piece> whole_pieces(const Solid& s, std::uint32_t first_source) {
    std::vector<Piece> out;
    out.reserve(s.faces.size());
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        const Face& f = s.faces[i];
        // The slab is made when the piece is first grouped.
        out.push_back({{}, {}, {}, approx_box(f.approx, f.vertices.size()),
                       first_source + static_cast<std::uint32_t>(i), false, true});
    }
    return out;
}

bool SourceFaces::planar(std::uint32_t id, Scratch& scratch) {
    std::int8_t known = planar_[id].load(std::memory_order_relaxed);
    if (known == kUnknown) {
        bool all = true;
        if (!faces_[id]->planar) {
            const TestPlane& p = plane(id);
            for (const Point3& v : faces_[id]->vertices) all = all && p.exact_side(v, scratch) == kOn;
        }
        known = all ? kPlanar : kNotPlanar;
        planar_[id].store(known, std::memory_order_relaxed);
    }
    return known == kPlanar;
}

namespace {

// A node without a plane takes the plane of its list's first piece.
void give_plane(BspNode& node, const Piece& first) {
    if (node.has_plane) return;
    node.has_plane = true;
    node.plane = first.source;
    node.flipped = first.flipped;
}

// When lists are grouped by place. A list that has gone down `chain` nodes
// in a row nearly whole (all but one in 64 of its pieces to one side) and
// holds at least `at` pieces is grouped; a grouped list that falls below
// `plain_below` pieces is walked piece by piece again. So a list that the
// tree cuts up or thins out never pays for grouping (as in the trees of
// boxes and prisms that a chamfer cuts again and again), and a long chain of
// nodes (a mesh of a convex surface) pays for it once. The eager rule, for
// the tests, groups every list it can. A clip records where each part left
// the other tree only when that tree has `exits_at` nodes: down a few
// nodes the parts walk again for less than sorting them by exit costs.
struct Grouping {
    std::uint32_t chain;
    std::size_t at;
    std::size_t plain_below;
    std::size_t exits_at;
};
constexpr Grouping kUsual{8, 128, 32, 128};
constexpr Grouping kEagerly{0, 2, 0, 0};

const Grouping* grouping_of(Walk walk) {
    switch (walk) {
        case Walk::kGrouped: return &kUsual;
        case Walk::kEager: return &kEagerly;
        default: return nullptr;
    }
}

using Job = Sources::Job;

// Sorts lists of pooled pieces against node planes, each as its kind
// (plain or grouped) is best for it; no list is grouped without `grouping`.
class Walker {
public:
    Walker(Sources& sources, Pool& pool, const Grouping* grouping)
        : sources_(sources), pool_(pool), groups_(sources.groups()), grouping_(grouping) {
        groups_.clear();
    }

    // Sorts the job's list against the node's plane into `front` and
    // `back`, of the kinds the rule above gives; coplanar pieces go to
    // `kept` in list order when it is given.
    void sort(const BspNode& node, Job& job, Job& front, Job& back, Ids* kept,
              bool first_in_plane) {
        if (job.group != kNoItem) {
            const std::uint32_t first = groups_.key(job.group);
            const Parted parted = part_list(sources_, node, pool_, job.group, kept,
                                            first_in_plane ? first : UINT32_MAX);
            if (kept) by_key(*kept);
            settle(parted.front, front);
            settle(parted.back, back);
            return;
        }
        front.ids = sources_.take_ids();
        back.ids = sources_.take_ids();
        sort_ids(sources_, node, pool_, job.ids, kept, front.ids, back.ids);
        const std::size_t whole = job.ids.size() - job.ids.size() / 64;
        front.chain = front.ids.size() >= whole ? job.chain + 1 : 0;
        back.chain = back.ids.size() >= whole ? job.chain + 1 : 0;
        if (ready(front)) group(front);
        if (ready(back)) group(back);
        sources_.give_ids(std::move(job.ids));
    }

    // The pieces of a list in list order, appended to `out`.
    void drain(Job& job, Ids& out) {
        if (job.group != kNoItem) {
            groups_.drain(job.group, out);
            job.group = kNoItem;
            return;
        }
        out.insert(out.end(), job.ids.begin(), job.ids.end());
        sources_.give_ids(std::move(job.ids));
    }
    // The list's pieces forgotten.
    void discard(Job& job) {
        if (job.group != kNoItem) groups_.discard(job.group);
        job.group = kNoItem;
        sources_.give_ids(std::move(job.ids));
    }
    // The list's pieces dropped for good, their loops freed now rather than
    // with the pool: a clip that drops most of what it cuts (an
    // intersection's) then holds only the pieces still on their way.
    void drop(Job& job) {
        if (job.group != kNoItem) {
            Ids ids = sources_.take_ids();
            groups_.drain(job.group, ids);
            job.group = kNoItem;
            for (std::size_t id : ids) release(pool_[id]);
            sources_.give_ids(std::move(ids));
        }
        for (std::size_t id : job.ids) release(pool_[id]);
        sources_.give_ids(std::move(job.ids));
    }
    bool empty(const Job& job) const { return job.group == kNoItem && job.ids.empty(); }
    std::size_t count(const Job& job) const {
        return job.group != kNoItem ? groups_.count(job.group) : job.ids.size();
    }
    // Whether `test` holds for every piece of the list (by pool index).
    template <class Test>
    bool all_of(Job& job, Test test) {
        if (job.group != kNoItem) return groups_.all_of(job.group, test);
        return std::all_of(job.ids.begin(), job.ids.end(), test);
    }
    // Whether the list is the `count` pieces of the walk's first list from
    // pool index `from` on, each still whole (the pool's first pieces are
    // that list in order, and only whole ones keep their place). Its order
    // is then theirs: a walk keeps the order of the whole pieces of a list.
    bool is_tail(Job& job, std::size_t from, std::size_t count) {
        return this->count(job) == count &&
               all_of(job, [&](std::size_t id) { return id >= from && pool_[id].whole; });
    }
    // The piece that comes first in the list.
    const Piece& first(const Job& job) const {
        return pool_[job.group != kNoItem ? groups_.first(job.group) : job.ids.front()];
    }
private:
    static void release(Piece& p) {
        p.vertices = {};
        p.approx = {};
        p.cut_on = {};
    }
    void by_key(Ids& ids) const {
        std::sort(ids.begin(), ids.end(),
                  [this](std::size_t a, std::size_t b) {
                      return groups_.piece_key(a) < groups_.piece_key(b);
                  });
    }
    // A side of a grouped list: grouped on, or plain again when small.
    void settle(Item side, Job& job) {
        job.group = kNoItem;
        job.ids = sources_.take_ids();
        if (side == kNoItem) return;
        if (groups_.count(side) < grouping_->plain_below) {
            groups_.drain(side, job.ids);
            return;
        }
        job.group = side;
    }
    // A plain list that has passed enough nodes nearly whole becomes
    // grouped, its keys its positions.
    bool ready(const Job& job) const {
        return grouping_ && job.chain >= grouping_->chain && job.ids.size() >= grouping_->at;
    }
    [[gnu::noinline]] void group(Job& job) {
        if (job.ids.size() > UINT32_MAX) throw std::bad_alloc();
        for (std::size_t i = 0; i < job.ids.size(); ++i) {
            groups_.set_key(job.ids[i], static_cast<std::uint32_t>(i));
            if (!groups_.has_slab(job.ids[i])) groups_.set_slab(job.ids[i], slab_of(pool_[job.ids[i]]));
        }
        job.group = groups_.build(pool_, job.ids);
        sources_.give_ids(std::move(job.ids));
        job.ids = Ids{};
    }
    // The slab a piece is grouped by, along its face's normal.
    Slab slab_of(const Piece& p) const {
        const Face& f = sources_.face(p.source);
        const std::vector<Approx>& approx = p.whole ? f.approx : p.approx;
        const std::size_t n = p.whole ? f.vertices.size() : p.vertices.size();
        return loop_slab(slab_direction(f.plane), approx, n);
    }

    Sources& sources_;
    Pool& pool_;
    Groups& groups_;
    const Grouping* grouping_;
};

}  // namespace

namespace {

// A list into an empty tree this long may have its tail built on a second
// thread when one is spare, once the walk has passed this many nodes in a
// row that each sent all but a sixty-fourth of it one way: a chain, as a
// convex mesh's tree is. Below, or in a tree that branches, the thread
// would cost more than it saves. In the eager walk of the tests, any list
// at once.
constexpr std::size_t kTailFrom = 4096;
constexpr std::size_t kTailAfter = 16;

// In a chain each node's plane has all later pieces of the list behind it,
// so the list that comes to the node of its n-th piece is the list from
// there on, whole and in order. The subtree a list grows depends on
// nothing but the list, so that tail's subtree is built on a second thread
// while this one walks towards it, and taken when the walk comes to exactly
// that list. A walk that cannot (its lists fall shorter than the tail
// first, as a tree that cuts or branches the list makes them) stops the
// second thread as soon as it can tell, and drops its work.
struct Tail;
// Sorts the pieces into the subtree at `root`; with `tail`, a long chain's
// tail may be built apart and taken where the walk meets it.
void insert_at(BspTree& tree, std::vector<Piece> faces, std::size_t root, Tail* tail = nullptr);

struct Tail {
    explicit Tail(SourceFaces& faces) : own(faces), tree(own) {}
    std::size_t least = kTailFrom, after = kTailAfter;  // when to begin
    Sources own;                // the second thread's lists and scratch
    BspTree tree;               // the subtree the tail grows, built by `task`
    std::size_t from = 0;       // the pool index of the tail's first piece
    std::size_t count = 0;      // its length
    std::optional<Background> task;
    bool taken = false;
};

// Puts the nodes of a tree built apart into `tree`, its root at the node
// `at`, which has no plane and no pieces, the others after the tree's own.
[[gnu::cold]] void graft(BspTree& tree, std::size_t at, std::vector<BspNode>&& nodes) {
    const std::size_t offset = tree.nodes.size() - 1;  // for nodes[i], i > 0
    tree.nodes.reserve(offset + nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        poll_interrupt();
        BspNode& n = nodes[i];
        if (n.front != kNone) n.front += offset;
        if (n.back != kNone) n.back += offset;
        if (i == 0)
            tree.nodes[at] = std::move(n);
        else
            tree.nodes.push_back(std::move(n));
    }
}

// Starts building the tail of the job's list, its last 55% (about half the
// work of a chain, whose later nodes test shorter lists), when every piece
// of the list is whole; false otherwise. Whole pieces lie in the pool in
// list order. The tail's planes are made first: this walk reads them too.
[[gnu::cold]] bool start_tail(Tail& tail, Walker& walker, Job& job, const Pool& pool,
                              Sources& sources) {
    if (!walker.all_of(job, [&](std::size_t id) { return pool[id].whole; })) return false;
    Ids ids = sources.take_ids();
    walker.all_of(job, [&](std::size_t id) {
        ids.push_back(id);
        return true;
    });
    std::sort(ids.begin(), ids.end());
    const std::size_t first = ids.size() * 9 / 20;
    tail.from = ids[first];
    tail.count = ids.size() - first;
    std::vector<Piece> rest;
    rest.reserve(tail.count);
    for (std::size_t k = first; k < ids.size(); ++k) {
        poll_interrupt();
        rest.push_back(pool[ids[k]]);
        sources.plane(pool[ids[k]].source);
    }
    tail.task.emplace([&tail, rest = std::move(rest)]() mutable {
        insert_at(tail.tree, std::move(rest), 0);
    });
    sources.give_ids(std::move(ids));
    return tail.task->started();
}

// What a walk of insert_at does about a tail, kept out of its loop: a walk
// without one pays a test of a pointer per list.
class TailWatch {
public:
    TailWatch(Tail* tail, std::size_t root) : tail_(tail), at_(root) {}
    bool active() const noexcept { return tail_ != nullptr; }

    // Before the job's list is sorted. Until the tail is started, a run of
    // nodes begins at a list long enough and goes on while each sends its
    // list on nearly whole; at a run long enough the tail starts. After, the
    // list that may hold the tail is watched: true when it does, and the
    // subtree built apart has taken its place.
    [[gnu::noinline]] bool before(BspTree& tree, Walker& walker, Job& job, const Pool& pool,
                                  Sources& sources) {
        watching_ = job.node == at_;
        to_back_ = to_front_ = false;
        const std::size_t count = walker.count(job);
        if (!tail_->task) {
            const bool long_enough = count >= tail_->least;
            if (at_ == kNone && long_enough) {
                at_ = job.node;
                run_ = 0;
                watching_ = true;
            }
            if (watching_ && !long_enough) {
                watching_ = false;
                at_ = kNone;
            } else if (watching_ && ++run_ > tail_->after &&
                       (tree.nodes[job.node].has_plane ||
                        !start_tail(*tail_, walker, job, pool, sources))) {
                tail_ = nullptr;
                return false;
            }
        } else if (watching_ && !tree.nodes[job.node].has_plane &&
                   walker.is_tail(job, tail_->from, tail_->count)) {
            tail_->task->wait();
            graft(tree, job.node, std::move(tail_->tree.nodes));
            tail_->taken = true;
            walker.discard(job);
            tail_ = nullptr;
            return true;
        }
        count_ = count;
        return false;
    }
    // After: which side's list the watch goes on with, if any.
    [[gnu::noinline]] void after(const Walker& walker, const Job& front, const Job& back) {
        if (!watching_) return;
        // Before the tail starts, the run goes on where its list went on
        // nearly whole; after, the tail can only be in a list as long.
        const std::size_t least = tail_->task ? tail_->count : count_ - count_ / 64;
        to_back_ = walker.count(back) >= least;
        to_front_ = !to_back_ && walker.count(front) >= least;
        if (to_back_ || to_front_) return;
        at_ = kNone;
        if (tail_->task) {
            // The walk cannot meet the tail: the second thread stops now
            // rather than work on for nothing.
            tail_->task.reset();
            tail_ = nullptr;
        }
    }
    // The node a side's list was given.
    void placed(bool back, std::size_t node) noexcept {
        if (back ? to_back_ : to_front_) at_ = node;
    }

private:
    Tail* tail_;
    // Before the tail starts: the node of the list the run has sent on so
    // far (kNone between runs). After: the node whose list may hold it.
    std::size_t at_;
    std::size_t run_ = 0;    // the run's length
    std::size_t count_ = 0;  // the watched list's length before its sort
    bool watching_ = false, to_back_ = false, to_front_ = false;
};

void insert_at(BspTree& tree, std::vector<Piece> faces, std::size_t root, Tail* tail) {
    if (faces.empty()) return;
    Sources& sources = *tree.sources;
    // Each new node keeps a piece, so there are about as many new nodes as
    // pieces at the most (a cut piece gives two).
    tree.nodes.reserve(tree.nodes.size() + faces.size());
    Pool pool = std::move(faces);
    Walker walker(sources, pool, grouping_of(sources.walk()));
    std::vector<Job>& stack = sources.walk_stack();
    stack.push_back({root, all_ids(sources, pool)});
    Ids kept = sources.take_ids();
    TailWatch watch(tail, root);
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        if (walker.empty(job)) continue;  // an empty node stays without a plane
        if (watch.active() && watch.before(tree, walker, job, pool, sources)) continue;
        Job front, back;
        {
            BspNode& node = tree.nodes[job.node];
            const bool own = !node.has_plane;
            give_plane(node, walker.first(job));
            walker.sort(node, job, front, back, &kept, own);
            node.faces.reserve(node.faces.size() + kept.size());
            for (std::size_t id : kept) node.faces.push_back(std::move(pool[id]));
            kept.clear();
        }
        if (watch.active()) watch.after(walker, front, back);
        // The front list is inserted before the back list: push it last.
        if (!walker.empty(back)) {
            back.node = child(tree, job.node, &BspNode::back);
            if (watch.active()) watch.placed(true, back.node);
            stack.push_back(std::move(back));
        } else {
            walker.discard(back);
        }
        if (!walker.empty(front)) {
            front.node = child(tree, job.node, &BspNode::front);
            if (watch.active()) watch.placed(false, front.node);
            stack.push_back(std::move(front));
        } else {
            walker.discard(front);
        }
    }
    sources.give_ids(std::move(kept));
    sources.give_pieces(std::move(pool));
}

}  // namespace

bool insert_faces(BspTree& tree, std::vector<Piece> faces, bool spare_thread) {
    Sources& sources = *tree.sources;
    const bool eager = sources.walk() == Walk::kEager;
    const std::size_t least = eager ? 2 : kTailFrom;
    if (!spare_thread || sources.walk() == Walk::kPlain || faces.size() < least ||
        tree.nodes.size() != 1 || tree.nodes[0].has_plane) {
        insert_at(tree, std::move(faces), 0);
        return false;
    }
    Tail tail(sources.faces());
    tail.least = least;
    tail.after = eager ? 0 : kTailAfter;
    insert_at(tree, std::move(faces), 0, &tail);
    return tail.taken;
}

void insert_at_exits(BspTree& tree, std::vector<Piece> faces,
                     const std::vector<std::uint32_t>& exits, Sources* second) {
    const std::size_t nodes = tree.nodes.size();
    tree.nodes.reserve(nodes + faces.size());
    // The pieces of each exit in list order; the exits in any order, since
    // each list grows a subtree of its own.
    std::vector<std::size_t> from, order;
    bucket(exits, nodes, from, order);
    auto list_of = [&](std::size_t exit) {
        std::vector<Piece> list;
        list.reserve(from[exit + 1] - from[exit]);
        for (std::size_t k = from[exit]; k < from[exit + 1]; ++k)
            list.push_back(std::move(faces[order[k]]));
        return list;
    };
    // With a second thread, the exits from `split` on, about half the
    // pieces, grow their subtrees on it, in a tree of their own joined to
    // this one after. The planes of all their faces are made first.
    std::size_t split = nodes;
    if (second) {
        for (const Piece& p : faces) tree.sources->plane(p.source);
        split = std::size_t(std::upper_bound(from.begin(), from.end(), faces.size() / 2) -
                            from.begin()) - 1;
    }
    BspTree side(second ? *second : *tree.sources);
    side.nodes.clear();
    // Room for all at once, as for the tree above: each insert asks for room
    // for its own list only.
    side.nodes.reserve(faces.size() - from[split]);
    std::vector<std::pair<std::size_t, std::size_t>> roots;  // exit, its subtree in side
    run_both(
        second != nullptr,
        [&] {
            for (std::size_t exit = 0; exit < split; ++exit)
                if (from[exit] != from[exit + 1])
                    insert_at(tree, list_of(exit), child(tree, exit, &BspNode::front));
        },
        [&] {
            for (std::size_t exit = split; exit < nodes; ++exit) {
                if (from[exit] == from[exit + 1]) continue;
                roots.emplace_back(exit, side.nodes.size());
                side.nodes.emplace_back();
                insert_at(side, list_of(exit), roots.back().second);
            }
        });
    const std::size_t offset = tree.nodes.size();
    for (BspNode& node : side.nodes) {
        if (node.front != kNone) node.front += offset;
        if (node.back != kNone) node.back += offset;
        tree.nodes.push_back(std::move(node));
    }
    for (const auto& [exit, root] : roots) tree.nodes[exit].front = root + offset;
}

namespace {

// The pooled pieces walked through the tree: the ids of their parts
// outside it, in walk order. Everything still on the stack comes after
// what has gone out, so a front list with no subtree to clip it goes out at
// once; a back list with no subtree lies inside and is dropped. The root
// must have a plane; every other node has one, since a child is made only
// for a list that is not empty, and its first piece gives it its plane. A
// tree of few nodes lets no list pass enough of them to be worth grouping.
Ids clip_pool(Sources& sources, const BspTree& tree, Pool& pool, bool track_exits) {
    const Grouping* grouping = grouping_of(sources.walk());
    Walker walker(sources, pool, grouping && tree.nodes.size() >= grouping->at ? grouping : nullptr);
    Ids out = sources.take_ids();
    std::vector<std::uint32_t>& exits = sources.exits();
    std::vector<Job>& stack = sources.walk_stack();
    stack.push_back({0, all_ids(sources, pool)});
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        const BspNode& node = tree.nodes[job.node];
        Job front, back;
        walker.sort(node, job, front, back, nullptr, false);
        if (node.back != kNone && !walker.empty(back)) {
            back.node = node.back;
            stack.push_back(std::move(back));
        } else {
            walker.drop(back);
        }
        if (node.front == kNone) {
            const std::size_t from = out.size();
            walker.drain(front, out);
            if (!track_exits) continue;
            if (exits.size() < pool.size()) exits.resize(pool.capacity());
            for (std::size_t k = from; k < out.size(); ++k)
                exits[out[k]] = static_cast<std::uint32_t>(job.node);
        } else if (!walker.empty(front)) {
            front.node = node.front;
            stack.push_back(std::move(front));
        } else {
            walker.discard(front);
        }
    }
    return out;
}

// The exits of the pieces `kept` (by pool index), laid out by the node
// each goes back to, then in list order.
[[gnu::noinline]] void keep_exits(BspTree& tree, const Ids& kept) {
    Sources& sources = *tree.sources;
    std::vector<std::uint32_t> owners(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) owners[i] = sources.owners()[kept[i]];
    std::vector<std::size_t> order;
    bucket(owners, tree.nodes.size(), tree.exit_from, order);
    tree.exits.resize(kept.size());
    for (std::size_t k = 0; k < order.size(); ++k) tree.exits[k] = sources.exits()[kept[order[k]]];
}

}  // namespace

// Every node's pieces go through `other` in one walk, each marked with its
// node. A piece's way through the other tree does not depend on the others,
// and the walk keeps the order of every list, so each node gets back
// exactly the pieces, in exactly the order, that clipping it alone gives.
void clip_by(BspTree& tree, const BspTree& other) {
    tree.clear_clip = false;
    tree.exits.clear();
    tree.exit_from.clear();
    if (!other.nodes[0].has_plane) return;  // an empty tree clips nothing
    if (other.nodes.size() > UINT32_MAX) throw std::bad_alloc();  // exits name nodes in a word
    std::size_t count = 0;
    for (const BspNode& node : tree.nodes) count += node.faces.size();
    if (count == 0) return;
    Sources& sources = *tree.sources;
    Pool pool = sources.take_pieces();
    pool.reserve(count);
    std::vector<std::uint32_t>& owners = sources.owners();
    owners.reserve(count);
    for (std::size_t at = 0; at < tree.nodes.size(); ++at) {
        for (Piece& p : tree.nodes[at].faces) {
            owners.push_back(static_cast<std::uint32_t>(at));
            pool.push_back(std::move(p));
        }
        tree.nodes[at].faces.clear();
    }
    sources.met_plane = false;
    const Grouping* grouping = grouping_of(sources.walk());
    const bool track = grouping && other.nodes.size() >= grouping->exits_at;
    Ids kept = clip_pool(sources, other, pool, track);
    tree.clear_clip = !sources.met_plane;
    if (tree.clear_clip && track) keep_exits(tree, kept);
    for (std::size_t id : kept) tree.nodes[owners[id]].faces.push_back(std::move(pool[id]));
    owners.clear();
    sources.give_ids(std::move(kept));
    sources.give_pieces(std::move(pool));
}

void prepare_nodes(BspTree& tree) {
    Sources& sources = *tree.sources;
    for (const BspNode& node : tree.nodes)
        if (node.has_plane) sources.plane(node.plane);
}

bool settled(BspTree& tree) {
    Sources& sources = *tree.sources;
    if (!tree.clear_clip) return false;  // no clip, or one that met a plane
    for (const BspNode& node : tree.nodes)
        for (const Piece& p : node.faces)
            if (!sources.planar(p.source)) return false;
    return true;
}

void complement(BspTree& tree) {
    preorder(tree, [](BspNode& node) {
        for (Piece& p : node.faces) {
            // A whole piece reads its face's loop backwards instead.
            if (!p.whole) {
                reverse_loop(p.vertices, p.approx);
                std::reverse(p.cut_on.begin(), p.cut_on.end());
            }
            p.flipped = !p.flipped;
        }
        node.flipped = !node.flipped;  // an empty node has no plane to negate
        std::swap(node.front, node.back);
    });
}

BspTree turned_planes(const BspTree& tree) {
    BspTree out(*tree.sources);
    out.nodes.resize(tree.nodes.size());
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        const BspNode& from = tree.nodes[i];
        BspNode& to = out.nodes[i];
        to.has_plane = from.has_plane;
        to.plane = from.plane;
        to.flipped = !from.flipped;
        to.front = from.back;
        to.back = from.front;
    }
    return out;
}

std::vector<std::size_t> walk_order(BspTree& tree) {
    std::vector<std::size_t> out;
    out.reserve(tree.nodes.size());
    preorder(tree, [&](BspNode& node) { out.push_back(std::size_t(&node - tree.nodes.data())); });
    return out;
}

std::vector<Piece> collect_faces(BspTree& tree, std::vector<std::uint32_t>* exits) {
    // Room for all at once: grown a node at a time, the list would be
    // moved over and over.
    std::size_t count = 0;
    for (const BspNode& node : tree.nodes) count += node.faces.size();
    std::vector<Piece> out;
    out.reserve(count);
    preorder(tree, [&](BspNode& node) {
        if (exits) {
            const auto at = tree.exits.begin() + tree.exit_from[&node - tree.nodes.data()];
            exits->insert(exits->end(), at, at + node.faces.size());
        }
        std::move(node.faces.begin(), node.faces.end(), std::back_inserter(out));
        std::vector<Piece>().swap(node.faces);
    });
    return out;
}

}  // namespace qs
