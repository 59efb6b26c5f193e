// The binary space-partitioning tree that carries the booleans.
//
// A tree describes a solid as a region: the back side of each node's plane,
// refined by the subtrees, is inside. Nodes live in one list and point at
// their children by index, so no operation recurses and no destructor does
// either: a tree as deep as its face count costs heap, never C stack.
// Every walk keeps the visiting order of the recursive formulation (a node,
// then its front subtree, then its back subtree), which fixes the order of
// the faces that come out.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

struct BspNode {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::vector<Face> faces;     // faces in the plane, of either orientation
    std::optional<Plane> plane;  // absent in an empty node
    std::size_t front = kNone;
    std::size_t back = kNone;
};

class BspTree {
public:
    BspTree() : nodes(1) {}
    std::vector<BspNode> nodes;  // nodes[0] is the root
};

// Sorts the faces into the tree, growing it where they fall outside it.
void insert_faces(BspTree& tree, std::vector<Face> faces);
// The parts of `faces` that lie outside the tree's region, in walk order.
std::vector<Face> clip_faces(const BspTree& tree, std::vector<Face> faces);
// Replaces every node's faces by their parts outside `other`.
void clip_by(BspTree& tree, const BspTree& other);
// Turns the region inside out: faces flipped, planes negated, sides swapped.
void complement(BspTree& tree);
// All faces of the tree in walk order, moved out; the tree is left without
// faces.
std::vector<Face> collect_faces(BspTree& tree);

}  // namespace qs
