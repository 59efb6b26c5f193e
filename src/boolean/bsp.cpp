#include "boolean/bsp.hpp"

#include <iterator>
#include <utility>

#include "boolean/classify.hpp"

namespace qs {

namespace {

constexpr std::size_t kNone = BspNode::kNone;

// The faces one insert or clip is sorting live in a pool; the lists that
// travel down the tree hold their indices, so a face is moved only when it
// comes to rest (in a node, or in the result of a clip), not at every level
// it passes. A face replaced by its two pieces is emptied in place.
using Pool = std::vector<Face>;
using Ids = std::vector<std::size_t>;

// A node together with the faces it still has to sort.
struct Job {
    std::size_t node;
    Ids ids;
};

Ids all_ids(const Pool& pool) {
    Ids ids(pool.size());
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = i;
    return ids;
}

void add_piece(Pool& pool, std::optional<Face>& piece, Ids& to) {
    if (!piece) return;
    to.push_back(pool.size());
    pool.push_back(std::move(*piece));
}

// Sorts the pooled faces `ids` against a node's plane, in list order.
// Coplanar faces go to the node's own list when `keep` is given, otherwise
// to front (same orientation) and back (opposite); a spanning face gives
// its pieces to front and back.
void sort_ids(const Plane& plane, Pool& pool, const Ids& ids, std::vector<Face>* keep, Ids& front,
              Ids& back) {
    const PlaneApprox pa = plane_approx(plane);
    SplitPieces pieces;
    for (std::size_t id : ids) {
        switch (sort_face(plane, pa, pool[id], pieces)) {
            case FaceSort::kCoplanarFront:
                if (keep)
                    keep->push_back(std::move(pool[id]));
                else
                    front.push_back(id);
                break;
            case FaceSort::kCoplanarBack:
                if (keep)
                    keep->push_back(std::move(pool[id]));
                else
                    back.push_back(id);
                break;
            case FaceSort::kFront:
                front.push_back(id);
                break;
            case FaceSort::kBack:
                back.push_back(id);
                break;
            case FaceSort::kSpanning:
                pool[id] = Face{};  // frees it; its pieces take over
                add_piece(pool, pieces.front, front);
                add_piece(pool, pieces.back, back);
                pieces = {};
                break;
        }
    }
}

void append(std::vector<Face>& out, std::vector<Face>&& more) {
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

void insert_faces(BspTree& tree, std::vector<Face> faces) {
    Pool pool = std::move(faces);
    std::vector<Job> stack;
    stack.push_back({0, all_ids(pool)});
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        if (job.ids.empty()) continue;  // an empty node stays without a plane
        Ids front, back;
        {
            BspNode& node = tree.nodes[job.node];
            if (!node.plane) node.plane = pool[job.ids.front()].plane;
            sort_ids(*node.plane, pool, job.ids, &node.faces, front, back);
        }
        // The front list is inserted before the back list: push it last.
        if (!back.empty())
            stack.push_back({child(tree, job.node, &BspNode::back), std::move(back)});
        if (!front.empty())
            stack.push_back({child(tree, job.node, &BspNode::front), std::move(front)});
    }
}

std::vector<Face> clip_faces(const BspTree& tree, std::vector<Face> faces) {
    if (!tree.nodes[0].plane) return faces;
    Pool pool = std::move(faces);
    std::vector<Face> out;
    std::vector<Job> stack;
    stack.push_back({0, all_ids(pool)});
    // Everything still on the stack comes after what has been moved to
    // `out`, so a front list with no subtree to clip it goes out at once.
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        const BspNode& node = tree.nodes[job.node];
        Ids front, back;
        if (node.plane)
            sort_ids(*node.plane, pool, job.ids, nullptr, front, back);
        else
            front = std::move(job.ids);  // a node without a plane clips nothing
        // Without a back subtree the back list lies inside: dropped.
        if (node.back != kNone && !back.empty()) stack.push_back({node.back, std::move(back)});
        if (node.front == kNone || !node.plane) {
            for (std::size_t id : front) out.push_back(std::move(pool[id]));
        } else if (!front.empty()) {
            stack.push_back({node.front, std::move(front)});
        }
    }
    return out;
}

void clip_by(BspTree& tree, const BspTree& other) {
    preorder(tree, [&](BspNode& node) { node.faces = clip_faces(other, std::move(node.faces)); });
}

void complement(BspTree& tree) {
    preorder(tree, [](BspNode& node) {
        flip_faces(node.faces);
        if (node.plane) {
            node.plane->normal = -node.plane->normal;
            node.plane->offset.negate();
        }
        std::swap(node.front, node.back);
    });
}

std::vector<Face> collect_faces(BspTree& tree) {
    std::vector<Face> out;
    preorder(tree, [&](BspNode& node) { append(out, std::move(node.faces)); });
    return out;
}

}  // namespace qs
