// What a face from outside must be before any operation may rely on it, and
// the assembly of a solid from such faces. The booleans cut faces along
// planes and keep each piece's loop order, which is right only for planar
// convex loops; the chamfer and the queries assume a closed, outward shell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

// The first thing that makes a face unusable, in words ("vertex 3 is not on
// the face's plane"), or nothing. A usable face has at least three
// vertices, all on its stored plane; unless it has no area, its stored
// normal is not zero (the booleans cut along that plane) and its loop is
// convex (no reflex corner, no fold back, one turn around) and runs
// counter-clockwise seen from the normal's tip. A face without area passes:
// transforms may flatten faces, and they must still read back.
std::optional<std::string> face_problem(const Face& f);

// A face as given from outside; a missing normal or offset is computed.
struct InputFace {
    std::string label;
    std::vector<Point3> vertices;
    std::optional<Point3> normal;
    std::optional<Rational> offset;
    std::size_t line = 0;  // where it was read, counted from 1; 0 when not read from a text
};

// The memory a read may take for what it builds (the points, labels and
// index lists of a mesh file and the faces made from them), counted as it
// grows; past the limit, InputError. So no file makes its reader take more
// than a fixed multiple of its size: not by naming one huge number or long
// name many times, nor by placing its objects many times.
class ReadBudget {
public:
    static constexpr std::size_t kFactor = 64;
    static constexpr std::size_t kFloor = std::size_t(64) << 20;
    // kFactor times the file's size, and kFloor: a file made from doubles
    // takes some 10 to 30 times its size as exact faces.
    static ReadBudget for_file(std::size_t file_bytes) {
        return ReadBudget(kFactor * file_bytes + kFloor);
    }
    explicit ReadBudget(std::size_t limit) : limit_(limit) {}
    void take(std::size_t bytes);
    std::size_t used() const noexcept { return used_; }

private:
    std::size_t limit_, used_ = 0;
};

// What a value takes in memory, in place and on the heap, as the budget
// counts it.
std::size_t bytes_of(const Rational& r);
std::size_t bytes_of(const Point3& p);

// A solid built face by face from faces given from outside, each checked
// as it comes, so that the input need not be held whole. A face needs at
// least three vertices; a face without area is dropped, as every builder
// drops them. A loop whose first three vertices lie on one line, or turn
// against the loop, is turned to start at the first vertex where they make
// a turn the loop's way (transforms take the plane from the first three
// vertices). A missing normal is taken from vertices 0, 1, 2 (the rule of
// make_face) and, for a loop with no such turn (it is not convex and will
// be refused), from the area vector; a missing offset from vertex 0. A
// given normal must not be zero and must agree with the loop's winding.
// Then face_problem applies. Failures throw InputError naming the face by
// its index in the input (and its line, where known).
class FaceAssembly {
public:
    // `off_plane_hint` is added to the message of a vertex off its face's
    // plane.
    explicit FaceAssembly(std::string off_plane_hint = {}) : hint_(std::move(off_plane_hint)) {}
    void add(InputFace&& face, std::size_t index);
    // With `check`, the faces must also close up (the rule of watertight_ok);
    // a closed surface wound inwards (negative volume) is turned over, every
    // face flipped; and the result must bound a solid (check_validity).
    Solid finish(bool check) &&;

private:
    Solid s_;
    std::vector<std::pair<std::size_t, std::size_t>> origin_;  // input index and line of each face
    std::string hint_;
};

// Builds a solid from the faces in their order, as FaceAssembly does.
Solid solid_from_input(std::vector<InputFace> faces, bool check);

// Faces as indices into one table of points, as mesh files hold them: a
// point that many faces name is kept once until the faces are made.
struct MeshInput {
    struct Polygon {
        std::size_t end;        // its corners run up to here in `corners`
        std::uint32_t label;    // in `labels`
        std::size_t line;       // in the file, from 1; 0 where it has none
    };
    std::vector<Point3> points;
    std::vector<std::uint32_t> corners;
    std::vector<Polygon> polygons;
    std::vector<std::string> labels;
};

// Adds the polygons of `mesh`, numbered from `first` on, to `a`, their
// corners taken from `points` (the mesh's own, or the points moved by a
// placement). Repeats of a point in a row are one corner. With `reversed`
// every loop runs the other way (a placement that mirrors); with
// `triangulate` a polygon of corners c0 ... c(n-1), n > 3, becomes the
// triangles (c0, ci, ci+1) for i = 1 ... n - 2. Each face is paid for from
// `budget` before it is made.
void add_polygons(FaceAssembly& a, const MeshInput& mesh, const std::vector<Point3>& points,
                  std::size_t first, bool reversed, bool triangulate, ReadBudget* budget);

}  // namespace qs
