// Sections and STEP files of a solid.
#include <optional>

#include "io/numbers.hpp"
#include "io/step_write.hpp"
#include "native.hpp"
#include "topology/section.hpp"
#include "topology/topology.hpp"

namespace qs::py::cad {

namespace {
const char* const kSectionNames[] = {"solid", "plane"};
const Signature kSectionSig{"section", kSectionNames, 2, 2};
const char* const kStepNames[] = {"topology", "name"};
const Signature kStepSig{"step_text", kStepNames, 2, 2};
}  // namespace

// plane: four integer texts a, b, c, d (a x + b y + c z = d). Returns
// (point texts "x,y,z", [(outer ids, [hole ids...]), ...], [scaled area
// texts]), each area times the length of (a, b, c).
QS_BINDING(py_section) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kSectionSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(a[0], "solid");
        const std::vector<std::string> texts = arg_str_seq(a[1], "plane");
        if (texts.size() != 4) raise_error(PyExc_ValueError, text::argument("plane", "expected 4 numbers"));
        Rational k[4];
        for (int i = 0; i < 4; ++i) {
            std::optional<Rational> v = parse_fraction(texts[std::size_t(i)]);
            if (!v) raise_error(PyExc_ValueError, text::argument("plane", text::malformed_number(text::shown(texts[std::size_t(i)]))));
            k[i] = std::move(*v);
        }
        const Plane plane{{k[0], k[1], k[2]}, k[3]};
        if (plane.normal.is_zero()) raise_error(PyExc_ValueError, text::argument("plane", "the normal is zero"));
        topo::Section sec = topo::section_solid(s, plane);
        std::vector<std::string> points;
        points.reserve(sec.points.size());
        for (const Point3& p : sec.points) points.push_back(point_text(p));
        Ref pts(new_str_list(points));
        Ref regions(check(PyList_New(Py_ssize_t(sec.regions.size()))));
        std::vector<std::string> areas;
        for (std::size_t r = 0; r < sec.regions.size(); ++r) {
            const topo::Region& reg = sec.regions[r];
            Ref outer(id_tuple(reg.outer));
            Ref holes(check(PyList_New(Py_ssize_t(reg.holes.size()))));
            for (std::size_t h = 0; h < reg.holes.size(); ++h)
                PyList_SetItem(holes.get(), Py_ssize_t(h), id_tuple(reg.holes[h]));
            PyList_SetItem(regions.get(), Py_ssize_t(r), check(PyTuple_Pack(2, outer.get(), holes.get())));
            areas.push_back(format_rational(sec.scaled_areas[r]));
        }
        Ref area(new_str_list(areas));
        return check(PyTuple_Pack(3, pts.get(), regions.get(), area.get()));
    });
}

QS_BINDING(py_step_text) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kStepSig, args, nargs, kwnames, a);
        const topo::Topology& t = borrow_topology(a[0], "topology");
        const std::string name = arg_name(a[1], "name");
        return new_str(write_step(t, name));
    });
}

}  // namespace qs::py::cad
