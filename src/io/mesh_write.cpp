// The mesh file writers.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "io/mesh_files.hpp"
#include "io/numbers.hpp"
#include "query/watertight.hpp"

namespace qs {

namespace {

static_assert(std::endian::native == std::endian::little,
              "binary STL is written by copying little-endian words");

std::string short_point(const Point3& p) {
    std::string s = point_text(p);
    if (s.size() > 80) s = s.substr(0, 80) + "...";
    return s;
}

// The nearest doubles of every vertex; refuses what a double cannot hold.
std::vector<Approx> doubles_of(const TriangleMesh& mesh) {
    std::vector<Approx> out = approximate(mesh.vertices);
    for (std::size_t i = 0; i < out.size(); ++i)
        for (double c : out[i])
            if (!std::isfinite(c))
                throw InputError("a vertex lies beyond the range of double precision numbers, "
                                 "which mesh files hold: (" + short_point(mesh.vertices[i]) + ")");
    return out;
}

void append_doubles(std::string& out, const Approx& p) {
    append_double(out, p[0]);
    out.push_back(' ');
    append_double(out, p[1]);
    out.push_back(' ');
    append_double(out, p[2]);
}

void append_vertices(std::string& out, const TriangleMesh& mesh, const char* prefix, bool exact) {
    std::vector<Approx> approx = doubles_of(mesh);
    for (std::size_t i = 0; i < approx.size(); ++i) {
        poll_interrupt();
        out += prefix;
        append_doubles(out, approx[i]);
        out.push_back('\n');
        if (!exact) continue;
        out += kExactTag;
        const Point3& p = mesh.vertices[i];
        for (int c = 0; c < 3; ++c) {
            out.push_back(' ');
            append_rational(out, p[c]);
        }
        out.push_back('\n');
    }
}

// A group name: OBJ splits names at white space.
std::string group_name(const std::string& label) {
    std::string s = label.empty() ? "unnamed" : label;
    for (char& c : s)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) c = '_';
    return s;
}

// A face's outward unit normal in doubles, from its exact normal (the
// stored one, or the area vector where that is zero).
Approx unit_normal(const Face& f) {
    Point3 n = f.plane.normal.is_zero() ? area_vector(f.vertices) : f.plane.normal;
    // Coprime integers first, so that tiny or huge coordinates still give
    // finite doubles in the common case.
    if (std::optional<Point3> u = primitive_direction(n)) {
        if (dot(*u, n).sign() < 0) *u = -*u;
        n = std::move(*u);
    }
    Approx d = {rational_to_double(n.x), rational_to_double(n.y), rational_to_double(n.z)};
    double len = std::hypot(d[0], d[1], d[2]);
    if (!(len > 0) || !std::isfinite(len)) return {0, 0, 0};
    return {d[0] / len, d[1] / len, d[2] / len};
}

std::vector<Approx> face_normals(const TriangleMesh& mesh, const Solid& solid) {
    std::vector<Approx> normals(solid.faces.size());
    std::vector<bool> done(solid.faces.size(), false);
    for (std::uint32_t f : mesh.face_of)
        if (!done[f]) {
            normals[f] = unit_normal(solid.faces[f]);
            done[f] = true;
        }
    return normals;
}

// "f 1 2 3" or "3 0 1 2": the prefix, then the three indices plus `base`.
void append_triangle(std::string& out, const char* prefix, const std::array<std::uint32_t, 3>& t,
                     std::uint32_t base) {
    out += prefix;
    for (int v = 0; v < 3; ++v) {
        char buf[16];
        auto res = std::to_chars(buf, buf + sizeof buf, std::uint64_t(t[std::size_t(v)]) + base);
        out.push_back(' ');
        out.append(buf, res.ptr);
    }
    out.push_back('\n');
}

}  // namespace

std::string write_obj(const TriangleMesh& mesh, const Solid& solid, bool exact) {
    std::string out = "# quillstone mesh: " + std::to_string(mesh.vertices.size()) +
                      " vertices, " + std::to_string(mesh.triangles.size()) + " triangles\n";
    if (exact)
        out += "# each " + std::string(kExactTag) + " line holds the exact coordinates of the "
               "vertex above it\n";
    append_vertices(out, mesh, "v ", exact);
    const std::string* label = nullptr;
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        poll_interrupt();
        const std::string& l = solid.faces[mesh.face_of[t]].label;
        if (!label || *label != l) {
            out += "g " + group_name(l) + '\n';
            label = &l;
        }
        append_triangle(out, "f", mesh.triangles[t], 1);
    }
    return out;
}

std::string write_off(const TriangleMesh& mesh, bool exact) {
    std::string out;
    // With comments in the file, one comment comes first: some readers
    // strip comments correctly only from a text that begins with one.
    if (exact)
        out = "# quillstone mesh; each " + std::string(kExactTag) +
              " line holds the exact coordinates of the vertex above it\n";
    out += "OFF\n" + std::to_string(mesh.vertices.size()) + ' ' +
           std::to_string(mesh.triangles.size()) + " 0\n";
    append_vertices(out, mesh, "", exact);
    for (const auto& t : mesh.triangles) {
        poll_interrupt();
        append_triangle(out, "3", t, 0);
    }
    return out;
}

std::string write_stl_ascii(const TriangleMesh& mesh, const Solid& solid) {
    std::vector<Approx> approx = doubles_of(mesh);
    std::vector<Approx> normals = face_normals(mesh, solid);
    std::string out = "solid quillstone\n";
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        poll_interrupt();
        out += "facet normal ";
        append_doubles(out, normals[mesh.face_of[t]]);
        out += "\n  outer loop\n";
        for (std::uint32_t v : mesh.triangles[t]) {
            out += "    vertex ";
            append_doubles(out, approx[v]);
            out.push_back('\n');
        }
        out += "  endloop\nendfacet\n";
    }
    out += "endsolid quillstone\n";
    return out;
}

std::string write_stl_binary(const TriangleMesh& mesh, const Solid& solid) {
    if (mesh.triangles.size() > std::numeric_limits<std::uint32_t>::max())
        throw InputError(text::kTooManyStlTriangles);
    std::vector<std::array<float, 3>> floats;
    floats.reserve(mesh.vertices.size());
    for (const Point3& p : mesh.vertices) {
        poll_interrupt();
        std::array<float, 3> f = {rational_to_float(p.x), rational_to_float(p.y),
                                  rational_to_float(p.z)};
        for (float c : f)
            if (!std::isfinite(c))
                throw InputError("a vertex lies beyond the range of the 32-bit floats that "
                                 "binary STL holds (write ASCII STL, OBJ or OFF): (" +
                                 short_point(p) + ")");
        floats.push_back(f);
    }
    std::vector<Approx> normals = face_normals(mesh, solid);
    std::string out(84 + 50 * mesh.triangles.size(), '\0');
    std::string header = "quillstone binary STL";
    header.resize(80, ' ');
    std::memcpy(out.data(), header.data(), 80);
    const auto count = static_cast<std::uint32_t>(mesh.triangles.size());
    std::memcpy(out.data() + 80, &count, 4);
    char* p = out.data() + 84;
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t, p += 50) {
        poll_interrupt();
        const Approx& n = normals[mesh.face_of[t]];
        float record[12] = {float(n[0]), float(n[1]), float(n[2])};
        for (int v = 0; v < 3; ++v)
            for (int c = 0; c < 3; ++c)
                record[3 + 3 * v + c] = floats[mesh.triangles[t][std::size_t(v)]][std::size_t(c)];
        std::memcpy(p, record, 48);  // the two attribute bytes stay zero
    }
    return out;
}

}  // namespace qs
