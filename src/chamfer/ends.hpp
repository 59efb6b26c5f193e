// Where each bevel ends. At an inside corner, where two bevelled edges meet
// and the face they share turns reflex, the two bevels are carried on until
// they meet in a mitre. Anywhere else a bevel ends flush with the faces its
// edge runs into, which at an outside corner leaves the third face's plane
// as the end and the corner to the corner cutter.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "boolean/classify.hpp"
#include "chamfer/edges.hpp"

namespace qs::chamfer {

// A plane through a point on an edge's line, turned so that the edge (the
// side `into` points to) is behind it; none when the plane holds the line,
// so bounds nothing along it.
std::optional<Plane> facing_edge(Plane p, const Point3& into);

// The plane through v and the line where two bevel planes meet, turned with
// the first bevel's edge (the side `into` points to) behind it: the two
// bevels' cutters end on its two sides. None when it holds the edge's line.
std::optional<Plane> mitre_plane(const Plane& cut, const Plane& other_cut, const Point3& v,
                                 const Point3& into);

// One end of a bevel.
struct EndRef {
    std::size_t bevel;
    bool at_min;  // the t_min end
};

// The ends of the bevels by the text of their point, in point-text order;
// at each point in bevel order, the t_min end first.
using EndMap = std::map<std::string, std::vector<EndRef>>;

class EndPlanes {
public:
    // All four are read, not copied: they must outlive this. boxes holds
    // each face's approx_box, keys its primitive_plane.
    EndPlanes(const Solid& s, const std::vector<Bevel>& bevels, const std::vector<ApproxBox>& boxes,
              const std::vector<IntPlane>& keys);
    // Each bevel's ends point into the map's nodes.
    EndPlanes(const EndPlanes&) = delete;
    EndPlanes& operator=(const EndPlanes&) = delete;

    // The half-spaces that close the cutter of bevels[b] at one end, each
    // through the end point and with the edge behind it.
    std::vector<Plane> at(std::size_t b, bool at_min) const;

    const EndMap& ends() const { return ends_; }

private:
    // One end of a bevel: its point and every bevel end there.
    struct End {
        Point3 v;
        const std::vector<EndRef>* meeting = nullptr;
    };

    std::vector<Plane> flush(const Point3& v, const Point3& into) const;

    const Solid& s_;
    const std::vector<Bevel>& bevels_;
    const std::vector<ApproxBox>& boxes_;
    const std::vector<IntPlane>& keys_;
    EndMap ends_;
    std::vector<std::array<End, 2>> bevel_ends_;  // per bevel, the t_min end first
};

}  // namespace qs::chamfer
