// make_prism, make_prismatoid and the closedness, plane and extent queries.
#include "bindings.hpp"
#include "query/bbox.hpp"
#include "query/logical_faces.hpp"
#include "query/watertight.hpp"
#include "solid/prism.hpp"

namespace qs::py {

namespace {

const char* const kPrismNames[] = {"loop_flat", "h", "prefix"};
const Signature kMakePrism{"make_prism", kPrismNames, 3, 3};
const char* const kPrismatoidNames[] = {"bottom", "z0", "top", "z1", "prefix"};
const Signature kMakePrismatoid{"make_prismatoid", kPrismatoidNames, 5, 5};
const Signature kWatertight{"watertight_ok", nullptr, 0, 0};
const Signature kLogicalFaces{"logical_faces", nullptr, 0, 0};
const Signature kBbox{"bbox", nullptr, 0, 0};

}  // namespace

QS_BINDING(py_make_prism) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kMakePrism, args, nargs, kwnames, a);
        std::vector<std::string> loop = arg_str_seq(a[0], "loop_flat");
        std::string h = arg_str(a[1], "h");
        std::string prefix = arg_name(a[2], "prefix");
        return wrap_solid(prism_from_texts(loop, h, prefix));
    });
}

QS_BINDING(py_make_prismatoid) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[5];
        match(kMakePrismatoid, args, nargs, kwnames, a);
        std::vector<std::string> bottom = arg_str_seq(a[0], "bottom");
        std::string z0 = arg_str(a[1], "z0");
        std::vector<std::string> top = arg_str_seq(a[2], "top");
        std::string z1 = arg_str(a[3], "z1");
        std::string prefix = arg_name(a[4], "prefix");
        return wrap_solid(prismatoid_from_texts(bottom, z0, top, z1, prefix));
    });
}

QS_BINDING(py_watertight_ok) {
    return guard([&]() -> PyObject* {
        match(kWatertight, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        return check(PyBool_FromLong(watertight_ok(s) ? 1 : 0));
    });
}

QS_BINDING(py_logical_faces) {
    return guard([&]() -> PyObject* {
        match(kLogicalFaces, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        return check(PyLong_FromSize_t(logical_faces(s)));
    });
}

QS_BINDING(py_bbox) {
    return guard([&]() -> PyObject* {
        match(kBbox, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        auto [lo, hi] = solid_bbox(s);
        const Rational* values[6] = {&lo.x, &lo.y, &lo.z, &hi.x, &hi.y, &hi.z};
        Ref list(check(PyList_New(6)));
        for (Py_ssize_t i = 0; i < 6; ++i) {
            PyObject* f = check(PyFloat_FromDouble(rational_to_double(*values[i])));
            PyList_SetItem(list.get(), i, f);  // steals f
        }
        return list.release();
    });
}

}  // namespace qs::py
