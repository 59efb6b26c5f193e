#include "pyutil.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <exception>
#include <optional>

#include "exact/interrupt.hpp"

namespace qs::py {

namespace {

// The interpreter's own test of whether this thread holds the interpreter
// lock. It is outside the limited API, so it is looked up rather than
// linked: every CPython since 3.4 exports it. Where it is missing the old
// assumption stays (a thread inside a call holds the lock).
using GilCheck = int (*)();
GilCheck find_gil_check() noexcept {
    return reinterpret_cast<GilCheck>(dlsym(RTLD_DEFAULT, "PyGILState_Check"));
}
const GilCheck kGilCheck = find_gil_check();

}  // namespace

bool thread_state_held() noexcept { return !kGilCheck || kGilCheck() != 0; }

void stop_on_signal() {
    if (PyErr_CheckSignals() < 0) throw ErrorSet{};
}

std::string type_name(PyObject* o) {
    Ref n(PyType_GetName(Py_TYPE(o)));
    if (!n) {
        PyErr_Clear();
        return "object";
    }
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(n.get(), &len);
    if (!s) {
        PyErr_Clear();
        return "object";
    }
    return std::string(s, std::size_t(len));
}

void raise_error(PyObject* type, const std::string& text) {
    PyErr_SetString(type, text.c_str());
    throw ErrorSet{};
}

namespace {

[[noreturn]] void type_error(const std::string& text) { raise_error(PyExc_TypeError, text); }

// The UTF-8 text of a str; null with UnicodeEncodeError cleared when it
// holds a lone surrogate, which has no UTF-8 form. Other errors throw.
std::optional<std::string> utf8(PyObject* s) {
    Py_ssize_t len = 0;
    if (const char* p = PyUnicode_AsUTF8AndSize(s, &len)) return std::string(p, std::size_t(len));
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw ErrorSet{};
    PyErr_Clear();
    return std::nullopt;
}

// A number's text. One with a lone surrogate keeps the surrogate's bytes as
// they are; they are no digits, so the text is refused when it is parsed,
// in its turn, like any other malformed number.
std::string number_text(PyObject* s) {
    if (std::optional<std::string> text = utf8(s)) return std::move(*text);
    Ref bytes(check(PyUnicode_AsEncodedString(s, "utf-8", "surrogatepass")));
    char* p = nullptr;
    Py_ssize_t len = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &p, &len) < 0) throw ErrorSet{};
    return std::string(p, std::size_t(len));
}

// What a sequence argument's length may reserve up front: the length is
// only a hint, and a sequence can claim more than it has or memory holds.
constexpr std::size_t kReserveCap = 4096;

// Reads a sequence argument item by item with read(item), checking each as
// it comes, so the first bad item ends the call; a str is refused although
// it is a sequence.
template <class T, class Read>
std::vector<T> read_seq(PyObject* o, const char* name, Read read) {
    if (PyUnicode_Check(o))
        type_error(text::argument(name, text::kStrForSequence));
    if (!PySequence_Check(o))
        type_error(text::argument(name, text::expected("a sequence", type_name(o))));
    const Py_ssize_t n = PySequence_Size(o);
    if (n < 0) throw ErrorSet{};
    std::vector<T> out;
    out.reserve(std::min(std::size_t(n), kReserveCap));
    for (Py_ssize_t i = 0; i < n; ++i) {
        poll_interrupt();
        Ref item(check(PySequence_GetItem(o, i)));
        out.push_back(read(item.get()));
    }
    return out;
}

std::string item_str(PyObject* o, const char* name) {
    if (!PyUnicode_Check(o))
        type_error(text::argument(name, text::item_not_str(type_name(o))));
    return number_text(o);
}

}  // namespace

void match(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
           PyObject** out) {
    std::size_t given = std::size_t(nargs);
    if (given > sig.count) {
        type_error(text::too_many_positional(sig.name, sig.count, given));
    }
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = i < given ? args[i] : nullptr;
    Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        // A name with a lone surrogate matches no parameter.
        std::string key = utf8(PyTuple_GetItem(kwnames, k)).value_or("\xef\xbf\xbd");
        std::size_t i = 0;
        while (i < sig.count && key != sig.names[i]) ++i;
        if (i == sig.count)
            type_error(text::unexpected_keyword(sig.name, key));
        if (out[i])
            type_error(text::multiple_values(sig.name, key));
        out[i] = args[nargs + k];
    }
    for (std::size_t i = 0; i < sig.count; ++i) {
        if (i < sig.required && !out[i])
            type_error(text::missing_argument(sig.name, sig.names[i], i + 1));
        if (i >= sig.required && out[i] == Py_None) out[i] = nullptr;
    }
}

namespace {

void require_str(PyObject* o, const char* name) {
    if (!PyUnicode_Check(o))
        type_error(text::argument(name, text::expected("str", type_name(o))));
}

}  // namespace

std::string arg_str(PyObject* o, const char* name) {
    require_str(o, name);
    return number_text(o);
}

std::string arg_name(PyObject* o, const char* name) {
    require_str(o, name);
    std::optional<std::string> text = utf8(o);
    if (!text)
        type_error(text::argument(name, text::kNameSurrogate));
    return std::move(*text);
}

std::vector<std::string> arg_str_seq(PyObject* o, const char* name) {
    return read_seq<std::string>(o, name, [&](PyObject* it) { return item_str(it, name); });
}

std::vector<std::vector<std::string>> arg_str_seq2(PyObject* o, const char* name) {
    return read_seq<std::vector<std::string>>(
        o, name, [&](PyObject* it) { return arg_str_seq(it, name); });
}

std::vector<std::vector<std::vector<std::string>>> arg_str_seq3(PyObject* o, const char* name) {
    return read_seq<std::vector<std::vector<std::string>>>(
        o, name, [&](PyObject* it) { return arg_str_seq2(it, name); });
}

namespace {

Ref index_of(PyObject* o, const char* name) {
    PyObject* idx = PyNumber_Index(o);
    if (!idx) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            type_error(text::argument(name, text::not_an_integer(type_name(o))));
        }
        throw ErrorSet{};
    }
    return Ref(idx);
}

}  // namespace

std::uint64_t arg_u64(PyObject* o, const char* name) {
    Ref idx = index_of(o, name);
    unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw ErrorSet{};
    return v;
}

std::int64_t arg_i64(PyObject* o, const char* name) {
    Ref idx = index_of(o, name);
    long long v = PyLong_AsLongLong(idx.get());
    if (v == -1 && PyErr_Occurred()) throw ErrorSet{};
    return v;
}

bool arg_bool(PyObject* o) {
    int t = PyObject_IsTrue(o);
    if (t < 0) throw ErrorSet{};
    return t != 0;
}

PyObject* new_str(std::string_view s) {
    return check(PyUnicode_FromStringAndSize(s.data(), Py_ssize_t(s.size())));
}

PyObject* new_str_list(const std::vector<std::string>& items) {
    Ref list(check(PyList_New(Py_ssize_t(items.size()))));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyList_SetItem(list.get(), Py_ssize_t(i), new_str(items[i]));  // steals
    return list.release();
}

PyObject* new_rational_list(const Rational* const* values, std::size_t n) {
    Ref list(check(PyList_New(Py_ssize_t(n))));
    for (std::size_t i = 0; i < n; ++i)
        PyList_SetItem(list.get(), Py_ssize_t(i), new_str(format_rational(*values[i])));  // steals
    return list.release();
}

PyObject* new_point_list(const Point3& p) {
    const Rational* c[3] = {&p.x, &p.y, &p.z};
    return new_rational_list(c, 3);
}

PyObject* new_str_pair(const std::string& a, const std::string& b) {
    Ref first(new_str(a));
    Ref second(new_str(b));
    return check(PyTuple_Pack(2, first.get(), second.get()));
}

namespace {
PyObject* g_panic_type = nullptr;  // owned for the life of the process
}  // namespace

PyObject* panic_type() {
    // Named after the companion module that exposes it, so that instances
    // pickle by reference and arrive in another process as this type.
    if (!g_panic_type)
        g_panic_type =
            PyErr_NewException("quillstone_io.PanicException", PyExc_BaseException, nullptr);
    return g_panic_type;
}

void use_panic_type(PyObject* type) noexcept {
    Py_INCREF(type);
    Py_XDECREF(std::exchange(g_panic_type, type));
}

PyObject* map_current_exception() noexcept {
    auto panic_with = [](const char* text) {
        if (PyObject* t = panic_type()) PyErr_SetString(t, text);
    };
    try {
        throw;
    } catch (const ErrorSet&) {
    } catch (const Panic& p) {
        panic_with(p.what());
    } catch (const ChamferError& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const InputError& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const std::bad_alloc& e) {
        // A plain allocation failure says only "std::bad_alloc"; limits of
        // our own carry a text worth showing.
        std::string_view what = e.what();
        PyErr_SetString(PyExc_MemoryError,
                        what == "std::bad_alloc" ? text::kOutOfMemory : e.what());
    } catch (const std::exception& e) {
        panic_with(e.what());
    } catch (...) {
        panic_with(text::kInternalFailure);
    }
    return nullptr;
}

}  // namespace qs::py
