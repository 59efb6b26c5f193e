// Mesh files and arrays: read_mesh, write_mesh, mesh_arrays, face_loops and
// from_indexed. File names, extensions and file handling are the Python
// half's; these take and give bytes.
#include <cstdint>
#include <cstring>

#include "io/mesh_files.hpp"
#include "io/numbers.hpp"
#include "mesh/triangulate.hpp"
#include "native.hpp"

namespace qs::py::io {

namespace {

const char* const kReadNames[] = {"data", "format", "check"};
const Signature kReadSig{"read_mesh", kReadNames, 3, 3};
const char* const kWriteNames[] = {"solid", "format", "exact", "binary"};
const Signature kWriteSig{"write_mesh", kWriteNames, 4, 4};
const char* const kSolidName[] = {"solid"};
const Signature kArraysSig{"mesh_arrays", kSolidName, 1, 1};
const Signature kLoopsSig{"face_loops", kSolidName, 1, 1};
const char* const kIndexedNames[] = {"points", "polygons", "label", "check"};
const Signature kIndexedSig{"from_indexed", kIndexedNames, 4, 4};

std::string_view bytes_of(PyObject* o, const char* name) {
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (!PyBytes_Check(o)) raise_error(PyExc_TypeError, text::argument(name, text::kExpectedBytes));
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw ErrorSet{};
    return std::string_view(p, std::size_t(n));
}

// A file's faces as a solid: those of solid_from_input, and with `check` at
// least one face with area, as a file that describes no solid is damaged.
Solid solid_from_file(std::vector<InputFace> faces, bool check) {
    const bool none = faces.empty();
    Solid s = solid_from_input(std::move(faces), check);
    if (check && s.faces.empty())
        throw InputError(none ? text::kNoFaces : text::kNoFaceWithArea);
    return s;
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
        PyObject* a[3];
        match(kReadSig, args, nargs, kwnames, a);
        std::string_view data = bytes_of(a[0], "data");
        std::string format = arg_str(a[1], "format");
        bool closed = arg_bool(a[2]);
        std::vector<InputFace> faces;
        if (format == "obj")
            faces = read_obj(data);
        else if (format == "off")
            faces = read_off(data);
        else if (format == "stl")
            faces = read_stl(data);
        else
            unknown_format(format);
        return wrap_solid(solid_from_file(std::move(faces), closed));
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

// A mesh given as decimal vertex texts and index polygons (as 3MF holds it).
QS_BINDING(py_from_indexed) {
    (void)self;
    return reading_guard([&]() -> PyObject* {
        PyObject* a[4];
        match(kIndexedSig, args, nargs, kwnames, a);
        std::vector<std::vector<std::string>> texts = arg_str_seq2(a[0], "points");
        std::string label = arg_str(a[2], "label");
        bool closed = arg_bool(a[3]);
        std::vector<Point3> points;
        points.reserve(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            poll_interrupt();
            if (texts[i].size() != 3)
                throw InputError(0, "vertex " + std::to_string(i), text::kThreeCoordinates);
            Point3 p;
            for (int c = 0; c < 3; ++c) {
                std::optional<Rational> v = parse_decimal(texts[i][std::size_t(c)]);
                if (!v)
                    throw InputError(0, "vertex " + std::to_string(i),
                                     text::malformed_number(text::shown(texts[i][std::size_t(c)])));
                p[c] = std::move(*v);
            }
            points.push_back(std::move(p));
        }
        Ref it(check(PyObject_GetIter(a[1])));
        std::vector<InputFace> faces;
        while (PyObject* item = PyIter_Next(it.get())) {
            Ref poly(item);
            InputFace f;
            f.label = label;
            Ref inner(check(PyObject_GetIter(poly.get())));
            while (PyObject* k = PyIter_Next(inner.get())) {
                Ref index(k);
                std::int64_t i = arg_i64(index.get(), "polygons");
                if (i < 0 || std::uint64_t(i) >= points.size())
                    throw InputError(0, "face " + std::to_string(faces.size()),
                                     text::no_such_vertex(
                                         i, "there are " + std::to_string(points.size()) +
                                                " vertices"));
                f.vertices.push_back(points[std::size_t(i)]);
            }
            if (PyErr_Occurred()) throw ErrorSet{};
            faces.push_back(std::move(f));
        }
        if (PyErr_Occurred()) throw ErrorSet{};
        return wrap_solid(solid_from_file(std::move(faces), closed));
    });
}

}  // namespace qs::py::io
