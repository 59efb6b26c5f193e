// validate(solid, max_faults): what check=True decides, as a report.
#include "native.hpp"
#include "query/watertight.hpp"
#include "validity/validity.hpp"

namespace qs::py::io {

namespace {

const char* const kValidateNames[] = {"solid", "max_faults"};
const Signature kValidateSig{"validate", kValidateNames, 2, 2};

const char* fault_name(PairFault f) {
    switch (f) {
        case PairFault::cross: return "cross";
        case PairFault::overlap: return "overlap";
        case PairFault::repeat: return "repeat";
        case PairFault::back_to_back: return "back to back";
        case PairFault::passes_through: return "passes through";
    }
    return "cross";
}

PyObject* size_pair(std::size_t a, std::size_t b) {
    Ref x(check(PyLong_FromSize_t(a))), y(check(PyLong_FromSize_t(b)));
    return check(PyTuple_Pack(2, x.get(), y.get()));
}

}  // namespace

// (open edge (face, vertex) or None, [(face, face, fault)], winding (lo, hi)
// or None, the text check=True would raise or None)
QS_BINDING(py_validate) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kValidateSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        const std::uint64_t max_faults = arg_u64(a[1], "max_faults");
        const std::optional<OpenEdge> open = find_open_edge(s);
        ValidityOptions o;
        o.max_faults = std::size_t(std::max<std::uint64_t>(max_faults, 1));
        o.whole_range = true;
        const ValidityReport r = check_validity(s, !open, o);
        Ref open_edge(open ? size_pair(open->face, open->edge) : Py_NewRef(Py_None));
        Ref faults(check(PyList_New(0)));
        for (const FacePair& p : r.faults) {
            Ref first(check(PyLong_FromSize_t(p.first))), second(check(PyLong_FromSize_t(p.second)));
            Ref kind(new_str(fault_name(p.fault)));
            Ref item(check(PyTuple_Pack(3, first.get(), second.get(), kind.get())));
            if (PyList_Append(faults.get(), item.get()) < 0) throw ErrorSet{};
        }
        Ref winding(Py_NewRef(Py_None));
        if (r.winding_known) {
            Ref lo(check(PyLong_FromLong(r.winding_lo))), hi(check(PyLong_FromLong(r.winding_hi)));
            winding = Ref(check(PyTuple_Pack(2, lo.get(), hi.get())));
        }
        std::optional<std::string> problem;
        if (open) {
            problem = InputError(0, "face " + std::to_string(open->face),
                                 text::open_edge(open->edge, (open->edge + 1) %
                                                                 s.faces[open->face].vertices.size()))
                          .what();
        } else if (auto e = validity_error(r, [](std::size_t f) { return f; },
                                           [](std::size_t) { return std::size_t(0); })) {
            problem = e->what();
        }
        Ref text(problem ? new_str(*problem) : Py_NewRef(Py_None));
        return check(PyTuple_Pack(4, open_edge.get(), faults.get(), winding.get(), text.get()));
    });
}

}  // namespace qs::py::io
