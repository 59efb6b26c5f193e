// The logical faces and edges of a solid, kept in a capsule so that the
// Part asks the core for them once and later work (centroids, files,
// sections of the same part) reuses them.
#include <cmath>

#include "native.hpp"
#include "topology/topology.hpp"

namespace qs::py::cad {

namespace {
const char* const kCapsuleName = "quillstone_cad.topology";
const char* const kSolidNames[] = {"solid"};
const Signature kTopologySig{"topology", kSolidNames, 1, 1};
const char* const kTopoNames[] = {"topology"};
const Signature kCentroidsSig{"face_centroids", kTopoNames, 1, 1};

void drop(PyObject* capsule) {
    delete static_cast<topo::Topology*>(PyCapsule_GetPointer(capsule, kCapsuleName));
}

PyObject* new_int(std::size_t v) { return check(PyLong_FromSize_t(v)); }

// A list of n items made by item(i), each a new reference.
template <class F>
PyObject* new_list(std::size_t n, F&& item) {
    Ref list(check(PyList_New(Py_ssize_t(n))));
    for (std::size_t i = 0; i < n; ++i) PyList_SetItem(list.get(), Py_ssize_t(i), item(i));
    return list.release();
}

PyObject* face_tuple(const topo::Topology& t, const topo::LogicalFace& f, std::uint32_t shell) {
    Ref plane(new_list(4, [&](std::size_t i) { return new_str(format_rational(f.plane[i])); }));
    Ref loops(new_list(f.loops.size(), [&](std::size_t i) { return id_tuple(f.loops[i]); }));
    Ref edges(new_list(f.loops.size(), [&](std::size_t i) { return id_tuple(f.loop_edges[i]); }));
    Ref labels(new_str_list(f.labels));
    const Point3 a = topo::face_area(t, f);
    Ref area(check(PyFloat_FromDouble(std::sqrt(rational_to_double(dot(a, a))) / 2)));
    Ref sh(new_int(shell));
    return check(PyTuple_Pack(6, plane.get(), loops.get(), edges.get(), labels.get(), area.get(),
                              sh.get()));
}

PyObject* edge_tuple(const topo::LogicalEdge& e) {
    Ref a(new_int(e.a)), b(new_int(e.b)), f0(new_int(e.faces[0])), f1(new_int(e.faces[1]));
    return check(PyTuple_Pack(5, a.get(), b.get(), f0.get(), f1.get(), e.convex ? Py_True : Py_False));
}
}  // namespace

// Tuples, not lists: the collector stops tracking tuples of ints, so many
// of them do not slow its later passes.
PyObject* id_tuple(const std::vector<std::uint32_t>& ids) {
    Ref tuple(check(PyTuple_New(Py_ssize_t(ids.size()))));
    for (std::size_t i = 0; i < ids.size(); ++i)
        PyTuple_SetItem(tuple.get(), Py_ssize_t(i),
                        ids[i] == topo::kNoEdge ? check(PyLong_FromLong(-1)) : new_int(ids[i]));
    return tuple.release();
}

const topo::Topology& borrow_topology(PyObject* o, const char* name) {
    if (!PyCapsule_IsValid(o, kCapsuleName))
        raise_error(PyExc_TypeError, text::argument(name, "expected a topology capsule"));
    return *static_cast<const topo::Topology*>(PyCapsule_GetPointer(o, kCapsuleName));
}

// (capsule, points as "x,y,z" texts, faces, edges, open segments): each face
// (plane texts, loops of point ids, loop edges (-1: none), labels, area,
// shell), each edge (a, b, face 0, face 1, convex).
QS_BINDING(py_topology) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kTopologySig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        auto* t = new topo::Topology(topo::build_topology(s));
        PyObject* raw = PyCapsule_New(t, kCapsuleName, drop);
        if (!raw) {
            delete t;
            throw ErrorSet{};
        }
        Ref capsule(raw);
        std::size_t shell_count = 0;
        const std::vector<std::uint32_t> shell = topo::shells_of(*t, &shell_count);
        Ref points(new_list(t->points.size(), [&](std::size_t i) {
            poll_interrupt();
            return new_str(point_text(t->points[i]));
        }));
        Ref faces(new_list(t->faces.size(), [&](std::size_t i) {
            poll_interrupt();
            return face_tuple(*t, t->faces[i], shell[i]);
        }));
        Ref edges(new_list(t->edges.size(), [&](std::size_t i) { return edge_tuple(t->edges[i]); }));
        Ref open(new_int(t->open_segments));
        return check(PyTuple_Pack(5, capsule.get(), points.get(), faces.get(), edges.get(), open.get()));
    });
}

// Each face's centroid as an "x,y,z" text.
QS_BINDING(py_face_centroids) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kCentroidsSig, args, nargs, kwnames, a);
        const topo::Topology& t = borrow_topology(a[0], "topology");
        return new_list(t.faces.size(), [&](std::size_t i) {
            poll_interrupt();
            return new_str(point_text(topo::face_centroid(t, t.faces[i])));
        });
    });
}

}  // namespace qs::py::cad
