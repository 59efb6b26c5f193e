#include "boolean/boolean.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "boolean/bsp.hpp"
#include "boolean/detail.hpp"
#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/parallel.hpp"

namespace qs {

namespace {

// Operands of this many faces each split a boolean over two threads: the
// two trees are built at once, then each clipped by the other at once.
// Below it a boolean takes about as long as starting a thread.
constexpr std::size_t kTwoThreadsFrom = 512;
// One operand this large may have its tree built with help (insert_faces);
// when it had, the tree was a long chain, and the rest of the boolean (the
// clips, the result's faces, the freeing) goes on two threads as above.
constexpr std::size_t kOneLargeFrom = 4096;

// The second clip of `b` by the same planes of `a`, with b turned over
// since: it removes b's parts that lie in a's faces, oriented as they are.
// When the first met no such part it would change nothing. The plain walk,
// kept as the reference, clips again all the same.
bool clips_again(const BspTree& b, bool again) {
    return again || b.sources->walk() == Walk::kPlain;
}

void clip_again(BspTree& b, const BspTree& a, bool again) {
    if (clips_again(b, again)) clip_by(b, a);
}
// The same for b not turned over yet: turned for the clip and back, or
// left as it is when there is no clip.
void clip_again_turned(BspTree& b, const BspTree& a, bool again) {
    if (!clips_again(b, again)) return;
    complement(b);
    clip_by(b, a);
    complement(b);
}

// b's faces into a, where the last clip of b by a put them when it
// settled them and recorded where.
void insert_clipped(BspTree& a, BspTree& b, bool again, bool two) {
    if (!again && !b.exit_from.empty()) {
        std::vector<std::uint32_t> exits;
        std::vector<Piece> pieces = collect_faces(b, &exits);
        insert_at_exits(a, std::move(pieces), exits, two ? b.sources : nullptr);
    } else {
        insert_faces(a, collect_faces(b));
    }
}

// Both operands' faces survive where they bound the result. Where the two
// coincide with the same orientation, A's face stays and B's goes.
void unite(BspTree& a, BspTree& b, bool two) {
    run_both(two, [&] { clip_by(a, b); }, [&] { clip_by(b, a); });
    const bool again = !settled(b);
    clip_again_turned(b, a, again);
    insert_clipped(a, b, again, two);
}

// A minus B: the faces of B that bound the removed region come back flipped.
void cut(BspTree& a, BspTree& b, bool two) {
    complement(a);
    run_both(two, [&] { clip_by(a, b); }, [&] { clip_by(b, a); });
    const bool again = !settled(b);
    clip_again_turned(b, a, again);
    insert_clipped(a, b, again, two);
    complement(a);
}

void intersect(BspTree& a, BspTree& b, bool two) {
    complement(a);
    if (two) {
        // a is clipped by b turned over, which needs b's planes only: a
        // copy of them turned over lets it go while b is clipped by a.
        const BspTree turned = turned_planes(b);
        run_both(true, [&] { clip_by(b, a); }, [&] { clip_by(a, turned); });
    } else {
        clip_by(b, a);
    }
    const bool again = !settled(b);
    complement(b);
    if (!two) clip_by(a, b);  // moves a's pieces, not its planes
    clip_again(b, a, again);
    insert_clipped(a, b, again, two);
    complement(a);
}

// The result's faces: every piece with a nonzero area, in order, with its
// loop and the label and plane of the face it came from, the plane negated
// when the piece was turned over. A whole piece copies its face's loop, or
// takes it when the operand is the boolean's own. These are the pieces of
// the nodes `nodes[begin, end)` of the tree, in that order; they are moved
// from.
void assemble_range(std::vector<Face>& out, const SourceFaces& sources, BspTree& tree,
                    const std::vector<std::size_t>& nodes, std::size_t begin, std::size_t end,
                    Solid* own_a, Solid* own_b, std::size_t a_count) {
    for (std::size_t n = begin; n < end; ++n) {
        poll_interrupt();
        for (Piece& p : tree.nodes[nodes[n]].faces) {
            const Face& from = sources.face(p.source);
            // A cut piece is a half that split_loop kept for its nonzero
            // area, and reversing a loop keeps that; only whole faces need
            // the test.
            if (p.whole && has_zero_area(from.vertices, from.approx)) continue;
            Face& f = out.emplace_back();
            if (p.whole) {
                Solid* own = p.source < a_count ? own_a : own_b;
                if (own) {
                    Face& taken = own->faces[p.source < a_count ? p.source : p.source - a_count];
                    f.vertices = std::move(taken.vertices);
                    f.approx = std::move(taken.approx);
                } else {
                    f.vertices = from.vertices;
                    f.approx = from.approx;
                }
                if (p.flipped) reverse_loop(f.vertices, f.approx);
            } else {
                f.vertices = std::move(p.vertices);
                f.approx = std::move(p.approx);
            }
            f.label = from.label;
            f.plane = from.plane;
            // A piece's vertices are its face's, or crossing points on
            // segments between them: in the plane when the face's are.
            f.planar = sources.known_planar(p.source);
            if (p.flipped) negate(f.plane);
        }
    }
}

// The faces of the tree's pieces in walk order, read from its nodes in
// place; on two threads, each makes about half.
Solid assemble(const SourceFaces& sources, BspTree& tree, Solid* own_a, Solid* own_b,
               std::size_t a_count, bool two) {
    const std::vector<std::size_t> nodes = walk_order(tree);
    std::size_t total = 0;
    for (std::size_t n : nodes) total += tree.nodes[n].faces.size();
    // The first node of the second half, and the pieces before it.
    std::size_t split = nodes.size(), before = total;
    if (two) {
        before = 0;
        for (split = 0; split < nodes.size() && before < total / 2; ++split)
            before += tree.nodes[nodes[split]].faces.size();
    }
    Solid out;
    std::vector<Face> rest;
    run_both(
        two,
        [&] {
            out.faces.reserve(total);
            assemble_range(out.faces, sources, tree, nodes, 0, split, own_a, own_b, a_count);
        },
        [&] {
            rest.reserve(total - before);
            assemble_range(rest, sources, tree, nodes, split, nodes.size(), own_a, own_b,
                           a_count);
        });
    std::move(rest.begin(), rest.end(), std::back_inserter(out.faces));
    return out;
}

// `own_a` and `own_b`, when given, are `a` and `b` themselves, handed over
// by the caller: their faces' loops may be taken for the result.
Solid run_boolean(std::string_view op, const Solid& a, const Solid& b, Solid* own_a,
                  Solid* own_b, Walk walk = Walk::kGrouped) {
    std::vector<const Face*> faces;
    faces.reserve(a.faces.size() + b.faces.size());
    for (const Face& f : a.faces) faces.push_back(&f);
    for (const Face& f : b.faces) faces.push_back(&f);
    if (faces.size() > UINT32_MAX) throw std::bad_alloc();
    SourceFaces sources(std::move(faces), walk);
    const bool trees_at_once = std::min(a.faces.size(), b.faces.size()) >= kTwoThreadsFrom;
    const bool large =
        trees_at_once || std::max(a.faces.size(), b.faces.size()) >= kOneLargeFrom;
    // On one thread both trees walk with one set of lists, whose room the
    // walks of the second tree reuse.
    Sources sources_a(sources);
    std::optional<Sources> sources_b;
    if (large) sources_b.emplace(sources);
    BspTree ta(sources_a), tb(large ? *sources_b : sources_a);
    bool helped_a = false, helped_b = false;
    auto build = [&](BspTree& tree, const Solid& s, std::size_t first) {
        const bool helped = insert_faces(
            tree, whole_pieces(s, static_cast<std::uint32_t>(first)), !trees_at_once);
        if (trees_at_once) prepare_nodes(tree);
        return helped;
    };
    run_both(trees_at_once, [&] { helped_a = build(ta, a, 0); },
             [&] { helped_b = build(tb, b, a.faces.size()); });
    // Each tree walks with its own lists from here on (the eager walk of the
    // tests helps smaller trees, which share theirs).
    const bool two = trees_at_once || (large && (helped_a || helped_b));
    if (two && !trees_at_once) {
        prepare_nodes(ta);
        prepare_nodes(tb);
    }
    // The empty set minus anything, and anything met with the empty set,
    // is empty. The tree sequences alone would give the other operand
    // (turned inside out for a cut), which breaks every identity a chain of
    // booleans relies on once it passes through an empty result.
    if (op == "union") {
        unite(ta, tb, two);
    } else if (op == "cut") {
        if (a.faces.empty()) return Solid{};
        cut(ta, tb, two);
    } else if (op == "intersect") {
        if (a.faces.empty() || b.faces.empty()) return Solid{};
        intersect(ta, tb, two);
    } else {
        throw Panic(text::kUnknownOp);
    }
    Solid out = assemble(sources, ta, own_a, own_b, a.faces.size(), two);
    // Freeing what a large boolean built costs a twentieth of it: on both
    // threads too.
    run_both(two, [&] { std::vector<BspNode>().swap(ta.nodes); },
             [&] {
                 std::vector<BspNode>().swap(tb.nodes);
                 sources.free_planes();
             });
    return out;
}

}  // namespace

Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b) {
    return run_boolean(op, a, b, nullptr, nullptr);
}

Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b, Walk walk) {
    return run_boolean(op, a, b, nullptr, nullptr, walk);
}

Solid boolean_solids(std::string_view op, Solid&& a, const Solid& b) {
    // The same solid on both sides must stay readable to the end.
    return run_boolean(op, a, b, &a == &b ? nullptr : &a, nullptr);
}

}  // namespace qs
