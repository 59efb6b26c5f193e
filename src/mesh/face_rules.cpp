#include "mesh/face_rules.hpp"

#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"

namespace qs {

namespace {

const char* const kClockwise =
    "the loop runs clockwise seen from the side the normal points to";

std::string vertex_text(const char* what, std::size_t j) {
    return std::string(what) + " at vertex " + std::to_string(j);
}

// Convexity of a loop with the nonzero area vector `area`: every turn is to
// the left seen from the tip of `area` (or straight on), none folds back,
// and the loop goes around once. With all turns to one side, an edge
// direction that goes around k times changes the sign of one projected
// coordinate 2k times, so exactly two changes mean one turn.
std::optional<std::string> convexity_problem(const std::vector<Point3>& v, const Point3& area) {
    std::vector<std::size_t> corner;  // indices of the loop without repeats in a row
    corner.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        if (corner.empty() || !(v[i] == v[corner.back()])) corner.push_back(i);
    while (corner.size() > 1 && v[corner.back()] == v[corner.front()]) corner.pop_back();
    const std::size_t m = corner.size();

    // Project along the largest component of the area vector.
    int drop = 0;
    for (int c = 1; c < 3; ++c)
        if (area[c].abs() > area[drop].abs()) drop = c;
    const int axis = (drop + 1) % 3;

    int first = 0, last = 0, changes = 0;
    for (std::size_t k = 0; k < m; ++k) {
        const Point3& a = v[corner[k]];
        const Point3& b = v[corner[(k + 1) % m]];
        const Point3& c = v[corner[(k + 2) % m]];
        Point3 e1 = b - a, e2 = c - b;
        int turn = dot(cross(e1, e2), area).sign();
        std::size_t at = corner[(k + 1) % m];
        if (turn < 0) return vertex_text("the loop is not convex", at);
        if (turn == 0 && dot(e1, e2).sign() < 0) return vertex_text("the loop folds back", at);
        int s = e1[axis].sign();
        if (s == 0) continue;
        if (first == 0) first = s;
        if (last != 0 && s != last) ++changes;
        last = s;
    }
    if (last != first) ++changes;
    if (changes != 2) return std::string("the loop goes around more than once");
    return std::nullopt;
}

std::string where(std::size_t index, std::size_t line) {
    std::string s = "face " + std::to_string(index);
    if (line) s += " (line " + std::to_string(line) + ")";
    return s;
}

}  // namespace

std::optional<std::string> face_problem(const Face& f) {
    const auto& v = f.vertices;
    if (v.size() < 3)
        return "a face needs at least 3 vertices, got " + std::to_string(v.size());
    for (std::size_t j = 0; j < v.size(); ++j)
        if (dot(f.plane.normal, v[j]) != f.plane.offset)
            return "vertex " + std::to_string(j) + " is not on the face's plane";
    Point3 area = area_vector(v);
    if (area.is_zero()) return std::nullopt;
    if (!f.plane.normal.is_zero() && dot(f.plane.normal, area).sign() <= 0)
        return std::string(kClockwise);
    return convexity_problem(v, area);
}

Solid solid_from_input(std::vector<InputFace> in, bool check_closed) {
    Solid s;
    s.faces.reserve(in.size());
    std::vector<std::size_t> origin;  // input index of each kept face
    origin.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        poll_interrupt();
        InputFace& g = in[i];
        auto fail = [&](const std::string& what) {
            throw InputError(where(i, g.line) + ": " + what);
        };
        if (g.vertices.size() < 3)
            fail("a face needs at least 3 vertices, got " + std::to_string(g.vertices.size()));
        Point3 area = area_vector(g.vertices);
        if (area.is_zero()) continue;
        Plane pl;
        if (g.normal) {
            if (g.normal->is_zero()) fail("the normal is zero");
            if (dot(*g.normal, area).sign() <= 0) fail(kClockwise);
            pl.normal = std::move(*g.normal);
        } else {
            pl.normal = plane_of(g.vertices).normal;
            if (pl.normal.is_zero() || dot(pl.normal, area).sign() <= 0) pl.normal = std::move(area);
        }
        pl.offset = g.offset ? std::move(*g.offset) : dot(pl.normal, g.vertices[0]);
        Face f;
        f.approx = approximate(g.vertices);
        f.vertices = std::move(g.vertices);
        f.label = std::move(g.label);
        f.plane = std::move(pl);
        if (auto problem = face_problem(f)) fail(*problem);
        s.faces.push_back(std::move(f));
        origin.push_back(i);
    }
    if (!check_closed) return s;
    if (auto open = find_open_edge(s)) {
        std::size_t i = origin[open->face];
        std::size_t n = s.faces[open->face].vertices.size();
        throw InputError(where(i, in[i].line) + ", edge from vertex " + std::to_string(open->edge) +
                         " to vertex " + std::to_string((open->edge + 1) % n) +
                         ": not matched by edges running the other way, so the surface is not closed");
    }
    if (solid_volume6(s).sign() < 0) flip_faces(s.faces);
    return s;
}

}  // namespace qs
