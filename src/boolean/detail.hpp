// The one-face interfaces of classification and splitting, for the tests:
// the tree works on its own pieces (bsp.cpp) through the same kernels.
#pragma once

#include <vector>

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

}  // namespace qs
