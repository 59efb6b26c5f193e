// Point-against-plane classification and face splitting.
//
// Every decision here is exact. A vertex is first tested in doubles against
// a fixed error bound; only when the double value is too close to zero, or
// not finite, is the test repeated in rationals.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

// The plane's four components as nearest doubles (normal x, y, z, offset).
using PlaneApprox = std::array<double, 4>;

PlaneApprox plane_approx(const Plane& plane);

// Side of a point: +1 in front, -1 behind, 0 on the plane.
enum Side : std::int8_t { kBack = -1, kOn = 0, kFront = 1 };

// Side of vertex i of `face`, through the double filter, then exactly.
Side classify_vertex(const Plane& plane, const PlaneApprox& pa, const Face& face, std::size_t i);

// Where a face falls against a plane.
enum class FaceSort : std::uint8_t { kCoplanarFront, kCoplanarBack, kFront, kBack, kSpanning };

// The two pieces of a spanning face, each absent when it has fewer than
// three vertices or no area.
struct SplitPieces {
    std::optional<Face> front, back;
};

// Sorts `face` against the plane without moving it; for a spanning face
// fills `pieces`. Coplanar faces are told apart by the sign of the dot
// product of the two normals (zero counts as back).
FaceSort sort_face(const Plane& plane, const PlaneApprox& pa, const Face& face,
                   SplitPieces& pieces);

// Sorts `face` against the plane into one of four lists, or cuts it into a
// front and a back piece. The same list may stand in two roles.
void split_face(const Plane& plane, const PlaneApprox& pa, Face&& face,
                std::vector<Face>& coplanar_front, std::vector<Face>& coplanar_back,
                std::vector<Face>& front, std::vector<Face>& back);

// How many vertex tests the double filter decided, and how many fell back to
// rationals, since the last reset; read by the benchmarks. Plain counters:
// the module runs on one thread under the interpreter lock, and sorting a
// face adds to them once, not once per vertex.
struct ClassifyStats {
    std::uint64_t filtered = 0;
    std::uint64_t exact = 0;
};
ClassifyStats classify_stats() noexcept;
void reset_classify_stats() noexcept;

}  // namespace qs
