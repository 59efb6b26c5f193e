// Bevels on the edges a caller chooses, of any solid: the logical edges of
// its logical faces, so that faces split by booleans (the rims of holes,
// the edges of pockets) bevel like any other. Built from the chamfer's
// pieces: each bevel is a convex cell between the edge's two face planes,
// its bevel plane and planes at its ends; a convex edge's cell is cut away,
// a reflex edge's cell (on the empty side) is added. Where two bevels on a
// face meet at the face's reflex corner they are mitred; where three
// convex bevels meet at a corner of three faces the corner is trimmed by a
// tetrahedron, as the chamfer does.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "solid/solid.hpp"
#include "topology/topology.hpp"

namespace qs::bevel {

struct Request {
    std::vector<std::uint32_t> edges;  // logical edges, each once
    Rational d1;                       // the setback on each edge's first face
    Rational d2;                       // ... and on its second
    // A setback that needs a square root is taken within tol of its
    // distance; without tol such an edge is refused.
    std::optional<Rational> tol;
};

// A request the solid cannot meet: `argument` names what to change ("d",
// "d2", "edges", "tol"), what() says why.
class Refused : public std::runtime_error {
public:
    Refused(std::string argument, const std::string& why)
        : std::runtime_error(why), argument_(std::move(argument)) {}
    const std::string& argument() const noexcept { return argument_; }

private:
    std::string argument_;
};

// How many cells went in.
struct Stats {
    std::size_t cut = 0, filled = 0, corners = 0, booleans = 0;
};

// `t` must be the topology of `s`. Distances must be positive, tol (when
// given) positive and less than both.
Solid bevel_edges(const Solid& s, const topo::Topology& t, const Request& r, Stats* stats = nullptr);

}  // namespace qs::bevel
