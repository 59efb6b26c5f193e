// Solids made by a map of another and from index meshes.
#include <cstdint>
#include <cstring>
#include <optional>

#include "exact/parse.hpp"
#include "io/numbers.hpp"
#include "mesh/face_rules.hpp"
#include "native.hpp"
#include "solid/transform.hpp"

namespace qs::py::cad {

namespace {
const char* const kAffineNames[] = {"solid", "matrix"};
const Signature kAffineSig{"affine", kAffineNames, 2, 2};
const char* const kMeshNames[] = {"coords", "indices", "corners", "label", "check"};
const Signature kMeshSig{"from_mesh", kMeshNames, 5, 5};

// A number text in the kernel's syntax ('3/2') or as a decimal ('0.1',
// '1e-05'); the Python half writes only these.
Rational number(const std::string& t, const char* name) {
    if (std::optional<Rational> v = parse_fraction(t)) return std::move(*v);
    if (std::optional<Rational> v = parse_decimal(t)) return std::move(*v);
    raise_error(PyExc_ValueError, text::argument(name, text::malformed_number(text::shown(t))));
}
}  // namespace

// matrix: 12 texts, the rows of [m | t].
QS_BINDING(py_affine) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kAffineSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        std::vector<std::string> texts = arg_str_seq(a[1], "matrix");
        if (texts.size() != 12)
            raise_error(PyExc_ValueError, text::argument("matrix", "expected 12 numbers"));
        Affine map;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) map.m[i][j] = number(texts[std::size_t(4 * i + j)], "matrix");
            map.t[i] = number(texts[std::size_t(4 * i + 3)], "matrix");
        }
        return wrap_solid(affine_solid(s, map));
    });
}

// coords: the vertices' 3n number texts; indices: bytes of int64 (native
// order), `corners` per polygon.
QS_BINDING(py_from_mesh) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[5];
        match(kMeshSig, args, nargs, kwnames, a);
        std::vector<std::string> texts = arg_str_seq(a[0], "coords");
        if (!PyBytes_Check(a[1]))
            raise_error(PyExc_TypeError, text::argument("indices", text::kExpectedBytes));
        const std::uint64_t corners = arg_u64(a[2], "corners");
        const std::string label = arg_name(a[3], "label");
        const bool closed = arg_bool(a[4]);
        if (texts.size() % 3 != 0)
            raise_error(PyExc_ValueError, text::argument("coords", text::kThreeCoordinates));
        std::vector<Point3> points(texts.size() / 3);
        for (std::size_t i = 0; i < points.size(); ++i) {
            poll_interrupt();
            for (int c = 0; c < 3; ++c) points[i][c] = number(texts[3 * i + std::size_t(c)], "vertices");
        }
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(a[1], &data, &size) < 0) throw ErrorSet{};
        const std::size_t count = std::size_t(size) / sizeof(std::int64_t);
        if (corners < 3 || count % corners != 0)
            raise_error(PyExc_ValueError,
                        text::argument("indices", "polygons need at least 3 corners each"));
        std::vector<InputFace> faces(count / corners);
        for (std::size_t f = 0; f < faces.size(); ++f) {
            poll_interrupt();
            faces[f].label = label;
            for (std::size_t k = 0; k < corners; ++k) {
                std::int64_t i;
                std::memcpy(&i, data + (f * corners + k) * sizeof i, sizeof i);
                if (i < 0 || std::uint64_t(i) >= points.size())
                    throw InputError("face " + std::to_string(f) + ": " +
                                     text::no_such_vertex(i, "there are " +
                                                                 std::to_string(points.size()) +
                                                                 " vertices"));
                faces[f].vertices.push_back(points[std::size_t(i)]);
            }
        }
        return wrap_solid(solid_from_input(std::move(faces), closed));
    });
}

}  // namespace qs::py::cad
