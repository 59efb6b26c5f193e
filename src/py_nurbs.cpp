// nurbs_curve_eval, nurbs_surface_eval and ssi_pairs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bindings.hpp"
#include "exact/interrupt.hpp"
#include "entry/nurbs.hpp"
#include "pyutil.hpp"

namespace qs::py {

namespace {

const char* const kCurveNames[] = {"degree", "cps", "knots", "t", "weights"};
const Signature kCurveSig{"nurbs_curve_eval", kCurveNames, 5, 4};

const char* const kSurfaceNames[] = {"pu", "pv", "net", "ku", "kv", "u", "v", "weights"};
const Signature kSurfaceSig{"nurbs_surface_eval", kSurfaceNames, 8, 7};

const char* const kSsiNames[] = {"net_a", "net_b", "depth", "a_box", "b_box"};
const Signature kSsiSig{"ssi_pairs", kSsiNames, 5, 3};

// What this surface spends on each pair it hands back, for the search's
// memory bound: a list of eight str, each an object header and the digits
// of a numerator and a denominator of up to `bits` bits (about 0.8 KiB
// while the boxes are short).
std::size_t python_pair_bytes(std::size_t bits) {
    const std::size_t digits = bits * 31 / 100 + 2;
    return 136 + 8 * (64 + 2 * digits);
}

// An optional argument, converted when given; get() is null when it was
// absent or None, as the entry points take it.
template <class T>
class OptionalArg {
public:
    OptionalArg(PyObject* o, T (*convert)(PyObject*, const char*), const char* name) {
        if (o) value_ = convert(o, name);
    }
    const T* get() const { return value_ ? &*value_ : nullptr; }

private:
    std::optional<T> value_;
};

}  // namespace

QS_BINDING(py_nurbs_curve_eval) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[5];
        match(kCurveSig, args, nargs, kwnames, a);
        const std::uint64_t degree = arg_u64(a[0], "degree");
        const auto cps = arg_str_seq2(a[1], "cps");
        const auto knots = arg_str_seq(a[2], "knots");
        const std::string t = arg_str(a[3], "t");
        const OptionalArg weights(a[4], arg_str_seq, "weights");
        return new_str_list(entry::nurbs_curve_eval(degree, cps, knots, t, weights.get()));
    });
}

QS_BINDING(py_nurbs_surface_eval) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[8];
        match(kSurfaceSig, args, nargs, kwnames, a);
        const std::uint64_t pu = arg_u64(a[0], "pu");
        const std::uint64_t pv = arg_u64(a[1], "pv");
        const auto net = arg_str_seq3(a[2], "net");
        const auto ku = arg_str_seq(a[3], "ku");
        const auto kv = arg_str_seq(a[4], "kv");
        const std::string u = arg_str(a[5], "u");
        const std::string v = arg_str(a[6], "v");
        const OptionalArg weights(a[7], arg_str_seq2, "weights");
        return new_str_list(entry::nurbs_surface_eval(pu, pv, net, ku, kv, u, v, weights.get()));
    });
}

QS_BINDING(py_ssi_pairs) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[5];
        match(kSsiSig, args, nargs, kwnames, a);
        const auto net_a = arg_str_seq3(a[0], "net_a");
        const auto net_b = arg_str_seq3(a[1], "net_b");
        const std::uint64_t depth = arg_u64(a[2], "depth");
        const OptionalArg a_box(a[3], arg_str_seq, "a_box");
        const OptionalArg b_box(a[4], arg_str_seq, "b_box");
        const std::vector<nurbs::PairBoxes> pairs =
            entry::ssi_pairs(net_a, net_b, depth, a_box.get(), b_box.get(),
                             nurbs::kSsiDefaultBudget, python_pair_bytes);
        Ref list(check(PyList_New(static_cast<Py_ssize_t>(pairs.size()))));
        std::string text;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            poll_interrupt(8);
            Ref entry(check(PyList_New(8)));
            for (Py_ssize_t k = 0; k < 8; ++k) {
                text.clear();
                append_rational(text, pairs[i][static_cast<std::size_t>(k)]);
                PyList_SetItem(entry.get(), k, new_str(text));
            }
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), entry.release());
        }
        return list.release();
    });
}

}  // namespace qs::py
