// The Python surface's small toolkit: owned references, one argument
// matcher, argument converters, result builders and the one place that
// turns C++ failures into Python exceptions, shared by both extension
// modules. Only the surfaces (src/*.cpp and python/quillstone_io/native/)
// include Python.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
#include "solid/solid.hpp"

namespace qs::py {

// A function or method of either module, in the vectorcall shape.
#define QS_BINDING(name) \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)

// A table entry: vectorcall with keywords, and a docstring that is the
// signature line the interpreter turns into __text_signature__.
#define QS_ENTRY(name, fn, sig)                                             \
    {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)), \
     METH_FASTCALL | METH_KEYWORDS, sig "\n--\n\n"}

// Thrown after a Python exception has been set; guard() lets it through.
struct ErrorSet {};

// Whether this thread may touch Python objects now. It may not while the
// interpreter ends a daemon thread at exit: the thread is unwound from
// inside a call that had given up the interpreter lock, and it holds no
// thread state any more.
bool thread_state_held() noexcept;

// An owned reference. Dropped without a thread state, it is left alone: the
// process is exiting, and touching the object then would crash it.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* p) : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_ && thread_state_held()) Py_DECREF(p_);
    }
    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// Throws ErrorSet when p is null (a Python error is then set).
inline PyObject* check(PyObject* p) {
    if (!p) throw ErrorSet{};
    return p;
}

// A function's or method's signature for matching.
struct Signature {
    const char* name;          // as in messages: "make_box"
    const char* const* names;  // parameter names, in order
    std::size_t count;         // number of parameters
    std::size_t required;      // the first `required` have no default
};

// Fills out[0..count) with borrowed references from vectorcall arguments.
// An absent optional, or an optional passed as None, is nullptr. Missing,
// surplus, duplicated or unknown arguments raise TypeError.
void match(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
           PyObject** out);

// The name of o's type for messages ("int", "list").
std::string type_name(PyObject* o);

// Argument conversion; each failure raises TypeError naming the argument.
// A number's text: a str whose text the operation parses.
std::string arg_str(PyObject* o, const char* name);
// The first N arguments as number texts, converted in order, each named by
// names[i].
template <std::size_t N>
std::array<std::string, N> arg_strs(PyObject* const* a, const char* const* names) {
    std::array<std::string, N> t;
    for (std::size_t i = 0; i < N; ++i) t[i] = arg_str(a[i], names[i]);
    return t;
}
// A name (a label prefix, an op): a str with a UTF-8 form.
std::string arg_name(PyObject* o, const char* name);
// A sequence of str (a str itself is refused).
std::vector<std::string> arg_str_seq(PyObject* o, const char* name);
// Sequences of sequences of str, and one level deeper.
std::vector<std::vector<std::string>> arg_str_seq2(PyObject* o, const char* name);
std::vector<std::vector<std::vector<std::string>>> arg_str_seq3(PyObject* o, const char* name);
// Integers through the index protocol; OverflowError when out of range.
std::uint64_t arg_u64(PyObject* o, const char* name);
std::int64_t arg_i64(PyObject* o, const char* name);
// A flag: the object's truth, as `if o:` takes it.
bool arg_bool(PyObject* o);

// Sets a Python exception of `type` with `text` and throws ErrorSet.
[[noreturn]] void raise_error(PyObject* type, const std::string& text);

// Results.
PyObject* new_str(std::string_view s);
PyObject* new_str_list(const std::vector<std::string>& items);
PyObject* new_str_pair(const std::string& a, const std::string& b);
// Lists of number texts (format_rational): of n values, and of a point's three.
PyObject* new_rational_list(const Rational* const* values, std::size_t n);
PyObject* new_point_list(const Point3& p);

// The PySolid type and its two operations on the surface.
PyObject* wrap_solid(Solid&& s);
// Read access to the solid of a PySolid; TypeError naming `name` otherwise.
const Solid& borrow_solid(PyObject* o, const char* name);

// The exception type for aborted calls, made on first need.
PyObject* panic_type();
// Makes `type` the one raised for aborted calls from now on: a module that
// gets the type from another module raises the very same object.
void use_panic_type(PyObject* type) noexcept;

// Maps the exception being handled to a Python exception:
// Panic -> PanicException, ChamferError and InputError -> ValueError,
// std::bad_alloc -> MemoryError, anything else -> PanicException.
PyObject* map_current_exception() noexcept;

// The interrupt hook each module installs for its copy of the core: the
// interpreter lock is held throughout a call, so pending signals are
// handled right here; when a handler raises (KeyboardInterrupt for Ctrl-C),
// the call unwinds with that error set and nothing it built survives.
void stop_on_signal();

// Runs body(ctx) and maps every failure to a Python exception. The forced
// unwinding that ends a thread (see thread_state_held) is no failure: it
// must pass on to the thread's start, so this is not noexcept and rethrows
// it. No exception is created for it, as there is no thread state to set
// one in.
PyObject* run_guarded(PyObject* (*body)(void*), void* ctx);

template <class F>
PyObject* guard(F&& body) {
    using Body = std::remove_reference_t<F>;
    return run_guarded([](void* f) -> PyObject* { return (*static_cast<Body*>(f))(); },
                       const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace qs::py
