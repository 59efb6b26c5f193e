// Each logical face cut into a few convex pieces, for solids that later
// booleans and mesh files handle with less work. Only the points of the
// face's loops are used, so no piece has a corner inside another's side:
// within a face and across its edges, no T-junctions are left.
#pragma once

#include "solid/solid.hpp"
#include "topology/topology.hpp"

namespace qs::topo {

// The pieces of every face of `t` (made from `s`): each face triangulated
// by clipping ears (its holes first joined to the outer loop by bridges),
// then triangles joined again across every diagonal whose removal leaves
// the piece convex, diagonals that join two reflex corners kept longest.
// Each piece carries the label of its face's largest original piece.
Solid convex_pieces(const Solid& s, const Topology& t);

}  // namespace qs::topo
