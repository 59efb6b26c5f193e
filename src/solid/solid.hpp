// The polyhedral solid: planar faces with exact corners, no shared vertices.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "exact/point3.hpp"

namespace qs {

// normal . p == offset on the plane; normal . p - offset > 0 is the front.
struct Plane {
    Point3 normal;
    Rational offset;
};

using Approx = std::array<double, 3>;

// The nearest doubles of a point's coordinates.
inline Approx approx_of(const Point3& p) {
    return {rational_to_double(p.x), rational_to_double(p.y), rational_to_double(p.z)};
}

// The same plane facing the other way.
void negate(Plane& plane);
// A loop run backwards, its approximations with it.
void reverse_loop(std::vector<Point3>& vertices, std::vector<Approx>& approx);

// A planar polygon, counter-clockwise seen from outside. The plane comes
// from the first three vertices; approx holds the nearest doubles of every
// vertex so point tests can filter without touching the rationals.
struct Face {
    std::vector<Point3> vertices;
    std::string label;
    Plane plane;
    std::vector<Approx> approx;
    // True only when every vertex is known to lie exactly in the plane: a
    // triangle made from its vertices, a face checked where it came in, or
    // one moved, turned or cut from such a face. False says nothing; the
    // booleans then test the vertices themselves.
    bool planar = false;
};

struct Solid {
    std::vector<Face> faces;
};

std::vector<Approx> approximate(const std::vector<Point3>& vertices);

// Plane from vertices 0, 1, 2; panics on fewer than three vertices.
Plane plane_of(const std::vector<Point3>& vertices);

// Takes the vertices and label; computes plane and approximations.
Face make_face(std::vector<Point3> vertices, std::string label);

// Twice the vector area, fanned from vertex 0; zero for fewer than 3 vertices.
Point3 area_vector(const std::vector<Point3>& vertices);

// True when the face's exact area vector is zero. A double filter clears
// faces of clearly positive area; it never decides a face it cannot prove.
bool is_degenerate(const Face& f);
// The same test on a loop and its approximations (each the nearest double
// of its exact coordinate).
bool has_zero_area(const std::vector<Point3>& vertices, const std::vector<Approx>& approx);

// Keeps the non-degenerate faces in their order.
Solid solid_from_faces(std::vector<Face> faces);

// Reversed loop and approximations, negated plane, same label.
Face flip_face(Face f);
// flip_face applied to every face, in place.
void flip_faces(std::vector<Face>& faces);

}  // namespace qs
