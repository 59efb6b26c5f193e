// Mesh files and arrays: read_mesh, read_3mf, write_mesh, mesh_arrays and
// face_loops. File names, extensions, zip archives and XML are the Python
// half's; these take and give bytes.
#include <cstdint>
#include <cstring>

#include "io/mesh_files.hpp"
#include "exact/parse.hpp"
#include "io/numbers.hpp"
#include "io/text_lines.hpp"
#include "mesh/triangulate.hpp"
#include "native.hpp"

namespace qs::py::io {

namespace {

const char* const kReadNames[] = {"data", "format", "check", "triangulate"};
const Signature kReadSig{"read_mesh", kReadNames, 4, 4};
const char* const kWriteNames[] = {"solid", "format", "exact", "binary"};
const Signature kWriteSig{"write_mesh", kWriteNames, 4, 4};
const char* const kSolidName[] = {"solid"};
const Signature kArraysSig{"mesh_arrays", kSolidName, 1, 1};
const Signature kLoopsSig{"face_loops", kSolidName, 1, 1};
const char* const k3mfNames[] = {"objects", "placements", "check", "triangulate", "file_bytes"};
const Signature k3mfSig{"read_3mf", k3mfNames, 5, 5};

std::string_view bytes_of(PyObject* o, const char* name) {
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (!PyBytes_Check(o)) raise_error(PyExc_TypeError, text::argument(name, text::kExpectedBytes));
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw ErrorSet{};
    return std::string_view(p, std::size_t(n));
}

// The solid of a file's polygons: made and checked face by face, and with
// `check` holding at least one face with area, as a file that describes no
// solid is damaged.
Solid solid_of(FaceAssembly&& a, bool had_polygons, bool check) {
    Solid s = std::move(a).finish(check);
    if (check && s.faces.empty())
        throw InputError(had_polygons ? text::kNoFaceWithArea : text::kNoFaces);
    return s;
}

std::string hint_for(bool triangulate) { return triangulate ? "" : text::kTriangulateHint; }

// The items of a sequence argument, one by one.
template <class Take>
void each_item(PyObject* o, Take take) {
    Ref it(check(PyObject_GetIter(o)));
    while (PyObject* item = PyIter_Next(it.get())) take(Ref(item));
    if (PyErr_Occurred()) throw ErrorSet{};
}

// One object of a 3MF file, (id, points, triangles, label), as a mesh:
// "x y z" lines of decimals, and 32-bit little-endian vertex indices.
MeshInput object_mesh(PyObject* o, ReadBudget& budget) {
    if (!PyTuple_Check(o) || PyTuple_Size(o) != 4)
        raise_error(PyExc_TypeError, "objects: expected (id, points, triangles, label) tuples");
    const std::string part = "object '" + arg_str(PyTuple_GetItem(o, 0), "objects") + "'";
    const std::string_view points = bytes_of(PyTuple_GetItem(o, 1), "points");
    const std::string_view triangles = bytes_of(PyTuple_GetItem(o, 2), "triangles");
    MeshInput m;
    m.labels.push_back(arg_str(PyTuple_GetItem(o, 3), "label"));
    std::string_view rest = points;
    while (!rest.empty()) {
        poll_interrupt();
        const std::size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        Point3 p;
        for (int c = 0; c < 3; ++c) {
            std::string_view w = take_word(line);
            std::optional<Rational> v = parse_decimal(w);
            if (!v)
                throw InputError(0, part + ", vertex " + std::to_string(m.points.size()),
                                 text::malformed_number(text::shown(w)) +
                                     " (expected a finite decimal number)");
            p[c] = std::move(*v);
        }
        if (!take_word(line).empty())
            throw InputError(0, part + ", vertex " + std::to_string(m.points.size()),
                             "more than three coordinates");
        budget.take(bytes_of(p) + sizeof(Point3));
        m.points.push_back(std::move(p));
    }
    const std::size_t n = triangles.size() / 12;
    budget.take(n * (12 + sizeof(MeshInput::Polygon)));
    m.corners.resize(3 * n);
    m.polygons.reserve(n);
    for (std::size_t t = 0; t < 3 * n; ++t) {
        const auto* b = reinterpret_cast<const unsigned char*>(triangles.data() + 4 * t);
        m.corners[t] = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                       std::uint32_t(b[3]) << 24;
        if (m.corners[t] >= m.points.size())
            throw InputError(0, part, text::no_such_vertex(m.corners[t], "the object has " +
                                                                           std::to_string(m.points.size()) +
                                                                           " vertices"));
        if (t % 3 == 2) m.polygons.push_back({t + 1, 0, 0});
    }
    return m;
}

// The points moved by a 3MF map (twelve fractions: the rows of the linear
// part, then the shift; points are rows multiplied from the left), and
// whether the map turns space inside out.
std::pair<std::vector<Point3>, bool> moved(const std::vector<Point3>& points, PyObject* map,
                                           ReadBudget& budget) {
    std::vector<std::string> t = arg_str_seq(map, "placements");
    if (t.size() != 12) raise_error(PyExc_ValueError, "placements: a map needs 12 numbers");
    Rational m[12];
    for (int k = 0; k < 12; ++k) m[k] = parse_rational(t[std::size_t(k)]);
    const Point3 r0(m[0], m[1], m[2]), r1(m[3], m[4], m[5]), r2(m[6], m[7], m[8]);
    std::vector<Point3> out;
    out.reserve(points.size());
    for (const Point3& p : points) {
        poll_interrupt();
        Point3 q = p.x * r0 + p.y * r1 + p.z * r2 + Point3(m[9], m[10], m[11]);
        budget.take(bytes_of(q) + sizeof(Point3));
        out.push_back(std::move(q));
    }
    return {std::move(out), dot(r0, cross(r1, r2)).sign() < 0};
}

[[noreturn]] void unknown_format(const std::string& format) {
    raise_error(PyExc_ValueError, text::unknown_mesh_format(format));
}

PyObject* new_bytes(const std::string& s) {
    return check(PyBytes_FromStringAndSize(s.data(), Py_ssize_t(s.size())));
}

// A writable buffer of n items of T, for numpy to view without copying,
// filled in place by put().
template <class T>
class Array {
public:
    explicit Array(std::size_t n)
        : buffer_(check(PyByteArray_FromStringAndSize(nullptr, Py_ssize_t(n * sizeof(T))))),
          out_(PyByteArray_AsString(buffer_.get())) {}
    void put(T item) {
        std::memcpy(out_, &item, sizeof(T));
        out_ += sizeof(T);
    }
    PyObject* get() const { return buffer_.get(); }

private:
    Ref buffer_;
    char* out_;
};

void put_doubles(Array<double>& out, const Point3& p) {
    out.put(rational_to_double(p.x));
    out.put(rational_to_double(p.y));
    out.put(rational_to_double(p.z));
}

PyObject* labels_of(const Solid& s) {
    Ref list(check(PyList_New(Py_ssize_t(s.faces.size()))));
    for (std::size_t i = 0; i < s.faces.size(); ++i)
        PyList_SetItem(list.get(), Py_ssize_t(i), new_str(s.faces[i].label));
    return list.release();
}

}  // namespace

QS_BINDING(py_read_mesh) {
    (void)self;
    return reading_guard([&]() -> PyObject* {
        PyObject* a[4];
        match(kReadSig, args, nargs, kwnames, a);
        std::string_view data = bytes_of(a[0], "data");
        std::string format = arg_str(a[1], "format");
        const bool checked = arg_bool(a[2]), triangulate = arg_bool(a[3]);
        ReadBudget budget = ReadBudget::for_file(data.size());
        FaceAssembly faces(hint_for(triangulate));
        bool had_polygons;
        {
            MeshInput m;
            if (format == "obj")
                m = read_obj(data, budget);
            else if (format == "off")
                m = read_off(data, budget);
            else if (format == "stl")
                m = read_stl(data, budget);
            else
                unknown_format(format);
            had_polygons = !m.polygons.empty();
            add_polygons(faces, m, m.points, 0, false, triangulate, &budget);
        }  // the points and indices go before the checks run
        return wrap_solid(solid_of(std::move(faces), had_polygons, checked));
    });
}

QS_BINDING(py_write_mesh) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[4];
        match(kWriteSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        std::string format = arg_str(a[1], "format");
        bool exact = arg_bool(a[2]), binary = arg_bool(a[3]);
        if (format != "obj" && format != "off" && format != "stl") unknown_format(format);
        if (exact && format == "stl") raise_error(PyExc_ValueError, text::kExactNotInStl);
        TriangleMesh mesh = triangulate_solid(s);
        if (format == "obj") return new_bytes(write_obj(mesh, s, exact));
        if (format == "off") return new_bytes(write_off(mesh, exact));
        return new_bytes(binary ? write_stl_binary(mesh, s) : write_stl_ascii(mesh, s));
    });
}

QS_BINDING(py_mesh_arrays) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kArraysSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        TriangleMesh mesh = triangulate_solid(s);
        Array<double> v(mesh.vertices.size() * 3);
        for (const Point3& p : mesh.vertices) put_doubles(v, p);
        Array<std::int64_t> t(mesh.triangles.size() * 3);
        for (const auto& tri : mesh.triangles)
            for (std::uint32_t k : tri) t.put(k);
        return check(PyTuple_Pack(2, v.get(), t.get()));
    });
}

QS_BINDING(py_face_loops) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kLoopsSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        std::size_t corners = 0;
        for (const Face& f : s.faces) corners += f.vertices.size();
        Array<double> v(corners * 3);
        Array<std::int64_t> n(s.faces.size());
        for (const Face& f : s.faces) {
            poll_interrupt();
            // A face keeps the nearest doubles of its vertices; they are
            // converted again only where it does not have them all.
            if (f.approx.size() == f.vertices.size()) {
                for (const Approx& a : f.approx)
                    for (double c : a) v.put(c);
            } else {
                for (const Point3& p : f.vertices) put_doubles(v, p);
            }
            n.put(std::int64_t(f.vertices.size()));
        }
        Ref l(labels_of(s));
        return check(PyTuple_Pack(3, v.get(), n.get(), l.get()));
    });
}

// A 3MF file as its Python half reads it: objects (id, points, triangles,
// label) and placements (object index, map or None), each placement adding
// its object's triangles, moved, to one solid.
QS_BINDING(py_read_3mf) {
    (void)self;
    return reading_guard([&]() -> PyObject* {
        PyObject* a[5];
        match(k3mfSig, args, nargs, kwnames, a);
        const bool checked = arg_bool(a[2]), triangulate = arg_bool(a[3]);
        ReadBudget budget = ReadBudget::for_file(std::size_t(arg_u64(a[4], "file_bytes")));
        FaceAssembly faces(hint_for(triangulate));
        bool had_polygons = false;
        {
            std::vector<MeshInput> meshes;
            each_item(a[0], [&](Ref o) { meshes.push_back(object_mesh(o.get(), budget)); });
            std::size_t first = 0;
            each_item(a[1], [&](Ref p) {
                if (!PyTuple_Check(p.get()) || PyTuple_Size(p.get()) != 2)
                    raise_error(PyExc_TypeError, "placements: expected (object, map) tuples");
                const std::uint64_t k = arg_u64(PyTuple_GetItem(p.get(), 0), "placements");
                if (k >= meshes.size()) raise_error(PyExc_ValueError, "placements: no such object");
                const MeshInput& m = meshes[std::size_t(k)];
                PyObject* map = PyTuple_GetItem(p.get(), 1);
                if (map == Py_None) {
                    add_polygons(faces, m, m.points, first, false, triangulate, &budget);
                } else {
                    auto [points, mirrored] = moved(m.points, map, budget);
                    add_polygons(faces, m, points, first, mirrored, triangulate, &budget);
                }
                had_polygons |= !m.polygons.empty();
                first += m.polygons.size();
            });
        }
        return wrap_solid(solid_of(std::move(faces), had_polygons, checked));
    });
}

}  // namespace qs::py::io
