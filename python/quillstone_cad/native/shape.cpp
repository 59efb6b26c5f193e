// Solids made from a solid's logical faces: its convex pieces, and its
// edges bevelled.
#include "bevel/bevel.hpp"
#include "io/numbers.hpp"
#include "native.hpp"
#include "topology/pieces.hpp"
#include "topology/topology.hpp"

namespace qs::py::cad {

namespace {
const char* const kMergedNames[] = {"solid", "topology"};
const Signature kMergedSig{"merged", kMergedNames, 2, 2};
const char* const kBevelNames[] = {"solid", "topology", "edges", "d", "d2", "tol"};
const Signature kBevelSig{"bevel", kBevelNames, 6, 5};

Rational fraction(PyObject* o, const char* name) {
    const std::string t = arg_str(o, name);
    std::optional<Rational> v = parse_fraction(t);
    if (!v) raise_error(PyExc_ValueError, text::argument(name, text::malformed_number(text::shown(t))));
    return std::move(*v);
}
}  // namespace

QS_BINDING(py_merged) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kMergedSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        const topo::Topology& t = borrow_topology(a[1], "topology");
        return wrap_solid(topo::convex_pieces(s, t));
    });
}

// edges: logical edge indices; d, d2, tol: fraction texts (tol may be
// None). Returns (solid, (cut, filled, corners, booleans)).
QS_BINDING(py_bevel) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[6];
        match(kBevelSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        const topo::Topology& t = borrow_topology(a[1], "topology");
        bevel::Request req;
        Ref seq(check(PySequence_List(a[2])));
        const Py_ssize_t n = PyList_Size(seq.get());
        for (Py_ssize_t i = 0; i < n; ++i) {
            const std::uint64_t e = arg_u64(PyList_GetItem(seq.get(), i), "edges");
            if (e >= t.edges.size())
                raise_error(PyExc_ValueError, text::argument("edges", "no such edge " + std::to_string(e)));
            req.edges.push_back(std::uint32_t(e));
        }
        req.d1 = fraction(a[3], "d");
        req.d2 = fraction(a[4], "d2");
        if (a[5]) req.tol = fraction(a[5], "tol");
        bevel::Stats stats;
        Solid out;
        try {
            out = bevel::bevel_edges(s, t, req, &stats);
        } catch (const bevel::Refused& r) {
            raise_error(PyExc_ValueError, r.argument() + ": " + r.what());
        }
        Ref solid(wrap_solid(std::move(out)));
        Ref counts(check(Py_BuildValue("(nnnn)", Py_ssize_t(stats.cut), Py_ssize_t(stats.filled),
                                       Py_ssize_t(stats.corners), Py_ssize_t(stats.booleans))));
        return check(PyTuple_Pack(2, solid.get(), counts.get()));
    });
}

}  // namespace qs::py::cad
