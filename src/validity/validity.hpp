// Whether a solid's faces bound a solid: the exact test that faces from
// outside must pass before the booleans may rely on them.
//
// A closed surface of convex faces bounds a solid when
//   - no two faces share a point inside both (they cross, overlap, repeat
//     each other or lie back to back as a sheet with two sides); touching
//     along edges or at vertices, of the same solid or of two, is fine;
//   - where a face's edge lies inside another face, the faces on each side
//     of that face close up among themselves (else a shell passes through
//     it there);
//   - the winding number is 0 just in front of every face (and so 1 just
//     behind it): every point of space is outside (0) or inside (1), never
//     inside twice, and a shell inside another is turned inward, a cavity.
//
// Candidate pairs come from a bounding-volume hierarchy over the faces'
// boxes, so the cost follows the faces that are near each other rather
// than all pairs. The winding number is found by casting one ray per group
// of faces that meet along edges shared by exactly two of them (their
// fronts face the same way there), counting the faces it passes, each
// decision exact; a ray that grazes an edge or a vertex is cast again
// elsewhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "exact/errors.hpp"
#include "solid/solid.hpp"

namespace qs {

enum class PairFault {
    cross,           // the faces pass through each other
    overlap,         // in one plane, facing the same way, sharing area
    repeat,          // the second is the first again
    back_to_back,    // in one plane, facing opposite ways, sharing area
    passes_through,  // the first lies along the inside of the second and passes through it
};

struct FacePair {
    std::size_t first, second;  // face indices in the solid
    PairFault fault;
};

struct ValidityReport {
    std::vector<FacePair> faults;  // at most the number asked for, in the order found
    // The winding numbers, found only for a closed surface without faults.
    bool winding_known = false;
    long winding_lo = 0, winding_hi = 0;  // over all of space (0 outside)
    std::optional<std::size_t> wrong_face;  // the first face whose front is not at 0
    long wrong_front = 0;                   // the winding number in front of it
};

struct ValidityOptions {
    std::size_t max_faults = 1;  // stop after this many pair faults (at least one)
    // For tests: off, every pair of faces is tested and a ray is cast from
    // every face. The report is the same; only the work changes.
    bool use_tree = true;
    bool group_faces = true;
    // All groups' winding numbers, for the report's range, even after a
    // wrong one is found.
    bool whole_range = false;
};

// Checks `s`, whose faces must each be planar and convex (faces without
// area are passed over). The winding is found only when `closed` (the
// caller's test) and no pair fault was found.
ValidityReport check_validity(const Solid& s, bool closed, const ValidityOptions& options = {});

std::string pair_fault_reason(PairFault f);

// The first fault of a report as the error that refuses the solid, each
// face named by index_of(i), its index where the caller got it, and placed
// at line_of(i), its line in a file or 0; nothing when the solid passes.
template <class IndexOf, class LineOf>
std::optional<InputError> validity_error(const ValidityReport& r, IndexOf index_of, LineOf line_of) {
    auto name = [&](std::size_t i) {
        std::string s = std::to_string(index_of(i));
        if (const std::size_t line = line_of(i)) s += " (line " + std::to_string(line) + ")";
        return s;
    };
    if (!r.faults.empty()) {
        const FacePair& p = r.faults.front();
        return InputError(0, "faces " + name(p.first) + " and " + name(p.second),
                          pair_fault_reason(p.fault));
    }
    if (r.wrong_face)
        return InputError(line_of(*r.wrong_face), "face " + std::to_string(index_of(*r.wrong_face)),
                          text::wrong_winding(r.wrong_front));
    return std::nullopt;
}

}  // namespace qs
