// The exact measures of a solid, as number texts.
#include "native.hpp"
#include "query/bbox.hpp"

namespace qs::py::cad {

namespace {
const char* const kSolidNames[] = {"solid"};
const Signature kBboxSig{"bbox", kSolidNames, 1, 1};
const Signature kFaceCountSig{"face_count", kSolidNames, 1, 1};

bool has_vertex(const Solid& s) {
    for (const Face& f : s.faces)
        if (!f.vertices.empty()) return true;
    return false;
}

PyObject* point_texts(const Point3& p) {
    Ref list(check(PyList_New(3)));
    for (int c = 0; c < 3; ++c) PyList_SetItem(list.get(), c, new_str(format_rational(p[c])));
    return list.release();
}
}  // namespace

// [lo, hi], each [x, y, z] texts; None for a solid without faces.
QS_BINDING(py_bbox) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kBboxSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        if (!has_vertex(s)) Py_RETURN_NONE;
        auto [lo, hi] = solid_bbox(s);
        Ref l(point_texts(lo)), h(point_texts(hi));
        return check(PyTuple_Pack(2, l.get(), h.get()));
    });
}

QS_BINDING(py_face_count) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kFaceCountSig, args, nargs, kwnames, a);
        return check(PyLong_FromSize_t(borrow_solid(a[0], "solid").faces.size()));
    });
}

}  // namespace qs::py::cad
