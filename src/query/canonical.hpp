// The text that identifies a solid's boundary independently of face order,
// vertex order, winding, labels and planes.
#pragma once

#include <string>

#include "solid/solid.hpp"

namespace qs {

// Each face as its sorted point texts joined by "|"; the distinct face
// texts sorted and joined by ";". Sorting is byte-wise throughout.
std::string canonical_form(const Solid& s);

}  // namespace qs
