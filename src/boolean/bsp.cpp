#include "boolean/bsp.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

constexpr std::size_t kNone = BspNode::kNone;

// The pieces one insert or clip is sorting live in a pool; the lists that
// travel down the tree hold their indices, so a piece is moved only when it
// comes to rest (in a node, or in the result of a clip), not at every level
// it passes. A piece replaced by its two halves is emptied in place.
using Pool = std::vector<Piece>;
using Ids = std::vector<std::size_t>;

using Job = Sources::Job;

Ids all_ids(Sources& sources, const Pool& pool) {
    Ids ids = sources.take_ids();
    ids.resize(pool.size());
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = i;
    return ids;
}

// A piece lies in the node's plane when its face does and the two planes
// are the same plane. Making a face's plane ready costs more than testing
// one piece's vertices, so a face met here for the first time is left to
// the vertex tests; one met again likely has more pieces to come.
struct InNodePlane final : InPlane {
    Sources& sources;
    const TestPlane& plane;
    std::uint32_t node_source, source;
    InNodePlane(Sources& s, const TestPlane& p, std::uint32_t n, std::uint32_t f)
        : sources(s), plane(p), node_source(n), source(f) {}
    bool holds() override {
        if (source == node_source) return sources.planar(source);
        if (!sources.plane_made(source) && !sources.asked_before(source)) return false;
        return plane.same_plane(sources.plane(source)) && sources.planar(source);
    }
};

void add_half(Pool& pool, Loop&& half, const Piece& from, Ids& to) {
    if (half.empty()) return;
    to.push_back(pool.size());
    const ApproxBox box = approx_box(half.approx, half.vertices.size());
    pool.push_back({std::move(half.vertices), std::move(half.approx), box, from.source,
                    from.flipped, false, from.node});
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

// Sorts the pooled pieces `ids` against a node's plane, in list order.
// Coplanar pieces go to the node's own list when `keep` is given, otherwise
// to front (same orientation) and back (opposite); a spanning piece gives
// its halves to front and back.
void sort_ids(Sources& sources, const BspNode& node, Pool& pool, const Ids& ids,
              std::vector<Piece>* keep, Ids& front, Ids& back) {
    const TestPlane& plane = sources.plane(node.plane);
    Scratch& scratch = sources.scratch();
    front.reserve(ids.size());
    back.reserve(ids.size());
    // Coplanar pieces join the node's list once the sort is done, in one
    // reservation.
    Ids kept;
    if (keep) kept = sources.take_ids();
    for (std::size_t id : ids) {
        poll_interrupt();
        Piece& piece = pool[id];
        // Most pieces lie clear of the plane, and their box says so.
        if (const int bits = plane.box_bits(piece.box, node.flipped)) {
            count_filtered(piece.whole ? sources.face(piece.source).vertices.size()
                                       : piece.vertices.size());
            (bits == 1 ? front : back).push_back(id);
            continue;
        }
        const Face* face = piece.whole ? &sources.face(piece.source) : nullptr;
        const std::vector<Point3>& vertices = face ? face->vertices : piece.vertices;
        SideBuffer sides(vertices.size());
        InNodePlane in_plane(sources, plane, node.plane, piece.source);
        const int bits = classify_loop(plane, node.flipped, vertices,
                                       face ? face->approx : piece.approx, nullptr, &in_plane,
                                       sides.data(), scratch);
        if (bits == 0) {
            if (keep) {
                kept.push_back(id);
                continue;
            }
            // Same orientation when the normals point the same way; a zero
            // dot product counts as opposite.
            int dir = plane.normal_dot_sign(sources.plane(piece.source), scratch);
            if (node.flipped != piece.flipped) dir = -dir;
            (dir > 0 ? front : back).push_back(id);
        } else if (bits == 1) {
            front.push_back(id);
        } else if (bits == 2) {
            back.push_back(id);
        } else {
            if (face) own_loop(piece, *face, sides.data());
            Loop f, b;
            split_loop(plane, sides.data(), std::move(piece.vertices), std::move(piece.approx), f,
                       b, scratch);
            const Piece from{{}, {}, {}, piece.source, piece.flipped, false, piece.node};
            piece = Piece{};  // its halves take over
            add_half(pool, std::move(f), from, front);
            add_half(pool, std::move(b), from, back);
        }
    }
    if (!keep) return;
    keep->reserve(keep->size() + kept.size());
    for (std::size_t id : kept) keep->push_back(std::move(pool[id]));
    sources.give_ids(std::move(kept));
}

void append(std::vector<Piece>& out, std::vector<Piece>&& more) {
    if (out.empty()) {
        out = std::move(more);
        return;
    }
    out.insert(out.end(), std::make_move_iterator(more.begin()),
               std::make_move_iterator(more.end()));
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
        out.push_back({{}, {}, approx_box(f.approx, f.vertices.size()),
                       first_source + static_cast<std::uint32_t>(i), false, true});
    }
    return out;
}

bool Sources::planar(std::uint32_t id) {
    if (planar_[id] == kUnknown) {
        const TestPlane& p = plane(id);
        bool all = true;
        for (const Point3& v : faces_[id]->vertices) all = all && p.exact_side(v, scratch_) == kOn;
        planar_[id] = all;
    }
    return planar_[id] != 0;
}

void insert_faces(BspTree& tree, std::vector<Piece> faces) {
    Sources& sources = *tree.sources;
    // Each new node keeps a piece, so there are about as many new nodes as
    // pieces at the most (a cut piece gives two).
    tree.nodes.reserve(tree.nodes.size() + faces.size());
    Pool pool = std::move(faces);
    std::vector<Job>& stack = sources.walk_stack();
    stack.push_back({0, all_ids(sources, pool)});
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        if (job.ids.empty()) continue;  // an empty node stays without a plane
        Ids front = sources.take_ids(), back = sources.take_ids();
        {
            BspNode& node = tree.nodes[job.node];
            if (!node.has_plane) {
                const Piece& first = pool[job.ids.front()];
                node.has_plane = true;
                node.plane = first.source;
                node.flipped = first.flipped;
            }
            sort_ids(sources, node, pool, job.ids, &node.faces, front, back);
        }
        sources.give_ids(std::move(job.ids));
        // The front list is inserted before the back list: push it last.
        if (!back.empty())
            stack.push_back({child(tree, job.node, &BspNode::back), std::move(back)});
        else
            sources.give_ids(std::move(back));
        if (!front.empty())
            stack.push_back({child(tree, job.node, &BspNode::front), std::move(front)});
        else
            sources.give_ids(std::move(front));
    }
    sources.give_pieces(std::move(pool));
}

namespace {

// The pooled pieces `ids` walked through the tree: the ids of their parts
// outside it, in walk order. Everything still on the stack comes after
// what has gone out, so a front list with no subtree to clip it goes out at
// once; a back list with no subtree lies inside and is dropped. The root
// must have a plane; every other node has one, since a child is made only
// for a list that is not empty, and its first piece gives it its plane.
Ids clip_ids(const BspTree& tree, Pool& pool, Ids ids) {
    Sources& sources = *tree.sources;
    Ids out = sources.take_ids();
    std::vector<Job>& stack = sources.walk_stack();
    stack.push_back({0, std::move(ids)});
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        const BspNode& node = tree.nodes[job.node];
        Ids front = sources.take_ids(), back = sources.take_ids();
        sort_ids(sources, node, pool, job.ids, nullptr, front, back);
        sources.give_ids(std::move(job.ids));
        if (node.back != kNone && !back.empty())
            stack.push_back({node.back, std::move(back)});
        else
            sources.give_ids(std::move(back));
        if (node.front == kNone) {
            out.insert(out.end(), front.begin(), front.end());
            sources.give_ids(std::move(front));
        } else if (!front.empty()) {
            stack.push_back({node.front, std::move(front)});
        } else {
            sources.give_ids(std::move(front));
        }
    }
    return out;
}

}  // namespace

// Every node's pieces go through `other` in one walk, each marked with its
// node. A piece's way through the other tree does not depend on the others,
// and the walk keeps the order of every list, so each node gets back
// exactly the pieces, in exactly the order, that clipping it alone gives.
void clip_by(BspTree& tree, const BspTree& other) {
    if (!other.nodes[0].has_plane) return;  // an empty tree clips nothing
    std::size_t count = 0;
    for (const BspNode& node : tree.nodes) count += node.faces.size();
    if (count == 0) return;
    Sources& sources = *tree.sources;
    Pool pool = sources.take_pieces();
    pool.reserve(count);
    Ids ids = sources.take_ids();
    for (std::size_t at = 0; at < tree.nodes.size(); ++at) {
        for (Piece& p : tree.nodes[at].faces) {
            p.node = static_cast<std::uint32_t>(at);
            ids.push_back(pool.size());
            pool.push_back(std::move(p));
        }
        tree.nodes[at].faces.clear();
    }
    Ids kept = clip_ids(other, pool, std::move(ids));
    for (std::size_t id : kept) tree.nodes[pool[id].node].faces.push_back(std::move(pool[id]));
    sources.give_ids(std::move(kept));
    sources.give_pieces(std::move(pool));
}

void complement(BspTree& tree) {
    preorder(tree, [](BspNode& node) {
        for (Piece& p : node.faces) {
            // A whole piece reads its face's loop backwards instead.
            if (!p.whole) reverse_loop(p.vertices, p.approx);
            p.flipped = !p.flipped;
        }
        node.flipped = !node.flipped;  // an empty node has no plane to negate
        std::swap(node.front, node.back);
    });
}

std::vector<Piece> collect_faces(BspTree& tree) {
    std::vector<Piece> out;
    preorder(tree, [&](BspNode& node) { append(out, std::move(node.faces)); });
    return out;
}

}  // namespace qs
