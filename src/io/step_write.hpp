// STEP out: a solid's logical faces as an ISO 10303-21 exchange file in the
// automotive design protocol (AP214), which CAD systems read as a solid.
//
// One manifold solid per closed shell that bounds material from outside,
// with the shells of the voids inside it; one planar face per logical face,
// its holes as inner bounds; each logical edge and each vertex once, shared
// by the faces that meet there; coordinates as the nearest doubles; each
// face named by its labels.
#pragma once

#include <string>

#include "topology/topology.hpp"

namespace qs {

// `name` names the product. Throws InputError for a surface that is not
// closed (it bounds no solid).
std::string write_step(const topo::Topology& t, const std::string& name);

}  // namespace qs
