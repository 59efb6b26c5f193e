// faces(solid) and from_faces(faces, check): a solid's stored faces as texts,
// and a solid from such a list after every check.
#include <string_view>
#include <utility>

#include "exact/parse.hpp"
#include "mesh/face_rules.hpp"
#include "native.hpp"

namespace qs::py::io {

namespace {

const char* const kFacesNames[] = {"solid"};
const Signature kFacesSig{"faces", kFacesNames, 1, 1};
const char* const kFromFacesNames[] = {"faces", "check"};
const Signature kFromFacesSig{"from_faces", kFromFacesNames, 2, 1};

PyObject* face_tuple(const Face& f) {
    Ref label(new_str(f.label));
    Ref verts(check(PyList_New(Py_ssize_t(f.vertices.size()))));
    for (std::size_t j = 0; j < f.vertices.size(); ++j)
        PyList_SetItem(verts.get(), Py_ssize_t(j), new_point_list(f.vertices[j]));
    Ref normal(new_point_list(f.plane.normal));
    Ref offset(new_str(format_rational(f.plane.offset)));
    return check(PyTuple_Pack(4, label.get(), verts.get(), normal.get(), offset.get()));
}

// Holds the cyclic garbage collector off while a large result is built:
// its lists hold only strings and each other, so they make no cycles, yet
// every allocation of a tracked list counts towards a collection, and the
// collections over a growing result take longer than the building.
class GcPause {
public:
    GcPause() : was_enabled_(PyGC_Disable()) {}
    ~GcPause() {
        if (was_enabled_) PyGC_Enable();
    }
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;

private:
    int was_enabled_;
};

// The functions below name what they read by a `what`: a callable giving
// the text ("face 3, vertex 7") only when a message needs it.

// Hands each item of a sequence that is not a str to take(item), read one
// by one (a length that lies is not trusted).
template <class What, class Take>
void for_items(PyObject* o, const What& what, const char* expected, Take take) {
    if (PyUnicode_Check(o) || !PySequence_Check(o))
        raise_error(PyExc_TypeError,
                    what() + ": expected " + expected + ", got '" + type_name(o) + "'");
    Ref it(check(PyObject_GetIter(o)));
    while (PyObject* item = PyIter_Next(it.get())) take(Ref(item));
    if (PyErr_Occurred()) throw ErrorSet{};
}

template <class What>
std::vector<Ref> items_of(PyObject* o, const What& what, const char* expected) {
    std::vector<Ref> out;
    for_items(o, what, expected, [&](Ref item) { out.push_back(std::move(item)); });
    return out;
}

// The UTF-8 text of a str, valid while o lives.
template <class What>
std::string_view text_of(PyObject* o, const What& what) {
    if (!PyUnicode_Check(o))
        raise_error(PyExc_TypeError, what() + ": expected a number text such as '1/3', got '" +
                                         type_name(o) + "'");
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(o, &len);
    if (!s) throw ErrorSet{};
    return std::string_view(s, std::size_t(len));
}

template <class What>
Rational number_of(PyObject* o, const What& what) {
    std::string_view t = text_of(o, what);
    try {
        return parse_rational(t);
    } catch (const Panic& p) {
        raise_error(PyExc_ValueError,
                    what() + ": " + text::malformed_number(text::shown(t)) + " (" + p.what() + ")");
    }
}

template <class What>
Point3 point_of(PyObject* o, const What& what) {
    Ref c[3];
    std::size_t n = 0;  // all items are counted, for the message
    for_items(o, what, "a sequence of 3 number texts", [&](Ref item) {
        if (n < 3) c[n] = std::move(item);
        ++n;
    });
    if (n != 3)
        raise_error(PyExc_ValueError,
                    what() + ": " + text::kThreeCoordinates + ", got " + std::to_string(n));
    Rational x = number_of(c[0].get(), what);
    Rational y = number_of(c[1].get(), what);
    Rational z = number_of(c[2].get(), what);
    return Point3(std::move(x), std::move(y), std::move(z));
}

InputFace input_face(PyObject* o, std::size_t i) {
    auto where = [i] { return "face " + std::to_string(i); };
    std::vector<Ref> parts =
        items_of(o, where, "a (label, vertices, normal, offset) sequence");
    if (parts.size() != 4 && parts.size() != 2)
        raise_error(PyExc_ValueError, where() + ": expected (label, vertices, normal, offset) or "
                                                "(label, vertices), got " +
                                          std::to_string(parts.size()) + " items");
    InputFace f;
    PyObject* label = parts[0].get();
    if (!PyUnicode_Check(label))
        raise_error(PyExc_TypeError,
                    where() + ": the label must be a str, got '" + type_name(label) + "'");
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(label, &len);
    if (!s) throw ErrorSet{};
    f.label.assign(s, std::size_t(len));
    std::vector<Ref> verts = items_of(
        parts[1].get(), [&] { return where() + " vertices"; }, "a sequence of points");
    f.vertices.reserve(verts.size());
    for (std::size_t j = 0; j < verts.size(); ++j) {
        poll_interrupt();
        f.vertices.push_back(
            point_of(verts[j].get(), [&] { return where() + ", vertex " + std::to_string(j); }));
    }
    if (parts.size() == 4) {
        if (parts[2].get() != Py_None)
            f.normal = point_of(parts[2].get(), [&] { return where() + " normal"; });
        if (parts[3].get() != Py_None)
            f.offset = number_of(parts[3].get(), [&] { return where() + " offset"; });
    }
    return f;
}

}  // namespace

QS_BINDING(py_faces) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kFacesSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        GcPause pause;
        Ref list(check(PyList_New(Py_ssize_t(s.faces.size()))));
        for (std::size_t i = 0; i < s.faces.size(); ++i) {
            poll_interrupt();
            PyList_SetItem(list.get(), Py_ssize_t(i), face_tuple(s.faces[i]));
        }
        return list.release();
    });
}

QS_BINDING(py_from_faces) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kFromFacesSig, args, nargs, kwnames, a);
        const bool closed = a[1] ? arg_bool(a[1]) : true;
        std::vector<Ref> items =
            items_of(a[0], [] { return std::string("faces"); }, "a sequence of faces");
        std::vector<InputFace> in;
        in.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) in.push_back(input_face(items[i].get(), i));
        return wrap_solid(solid_from_input(std::move(in), closed));
    });
}

}  // namespace qs::py::io
