#include "boolean/bsp.hpp"

#include <iterator>
#include <utility>

#include "boolean/classify.hpp"

namespace qs {

namespace {

constexpr std::size_t kNone = BspNode::kNone;

// A node together with the faces it still has to sort.
struct Job {
    std::size_t node;
    std::vector<Face> faces;
};

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
    std::vector<Job> stack;
    stack.push_back({0, std::move(faces)});
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        if (job.faces.empty()) continue;  // an empty node stays without a plane
        std::vector<Face> front, back;
        {
            BspNode& node = tree.nodes[job.node];
            if (!node.plane) node.plane = job.faces.front().plane;
            const Plane& plane = *node.plane;
            const PlaneApprox pa = plane_approx(plane);
            for (Face& f : job.faces)
                split_face(plane, pa, std::move(f), node.faces, node.faces, front, back);
        }
        // The front list is inserted before the back list: push it last.
        if (!back.empty()) stack.push_back({child(tree, job.node, &BspNode::back), std::move(back)});
        if (!front.empty())
            stack.push_back({child(tree, job.node, &BspNode::front), std::move(front)});
    }
}

std::vector<Face> clip_faces(const BspTree& tree, std::vector<Face> faces) {
    std::vector<Face> out;
    std::vector<Job> stack;
    stack.push_back({0, std::move(faces)});
    // Everything still on the stack comes after what has been appended to
    // `out`, so a front list with no subtree to clip it goes out at once.
    while (!stack.empty()) {
        Job job = std::move(stack.back());
        stack.pop_back();
        const BspNode& node = tree.nodes[job.node];
        if (!node.plane) {
            append(out, std::move(job.faces));
            continue;
        }
        const PlaneApprox pa = plane_approx(*node.plane);
        std::vector<Face> front, back;
        for (Face& f : job.faces) split_face(*node.plane, pa, std::move(f), front, back, front, back);
        // Without a back subtree the back list lies inside: dropped.
        if (node.back != kNone && !back.empty()) stack.push_back({node.back, std::move(back)});
        if (node.front == kNone)
            append(out, std::move(front));
        else if (!front.empty())
            stack.push_back({node.front, std::move(front)});
    }
    return out;
}

void clip_by(BspTree& tree, const BspTree& other) {
    preorder(tree, [&](BspNode& node) { node.faces = clip_faces(other, std::move(node.faces)); });
}

void complement(BspTree& tree) {
    preorder(tree, [](BspNode& node) {
        for (Face& f : node.faces) f = flip_face(std::move(f));
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
