// The one-face interfaces of classification and splitting, for the tests:
// the tree works on its own pieces (bsp.cpp) through the same kernels.
#pragma once

#include <string_view>
#include <vector>

#include "boolean/bsp.hpp"
#include "boolean/classify.hpp"

namespace qs {

// Side of vertex i of `face`, through the double filter, then exactly.
Side classify_vertex(const Plane& plane, const Face& face, std::size_t i);

// Sorts `face` against the plane into one of four lists, or cuts it into a
// front and a back piece that keep its label and plane. Coplanar faces are
// told apart by the sign of the dot product of the two normals (zero
// counts as back). The same list may stand in two roles.
void split_face(const Plane& plane, Face&& face, std::vector<Face>& coplanar_front,
                std::vector<Face>& coplanar_back, std::vector<Face>& front,
                std::vector<Face>& back);

// A boolean whose walks move pieces as `walk` says: the plain walk, piece
// after piece, gives what the grouped one gives, and the tests show it.
Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b, Walk walk);

}  // namespace qs
