#include "pyutil.hpp"

#include <exception>

namespace qs::py {

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

namespace {

[[noreturn]] void type_error(const std::string& text) {
    PyErr_SetString(PyExc_TypeError, text.c_str());
    throw ErrorSet{};
}

std::string utf8(PyObject* s) {
    Py_ssize_t len = 0;
    const char* p = PyUnicode_AsUTF8AndSize(s, &len);
    if (!p) throw ErrorSet{};
    return std::string(p, std::size_t(len));
}

// The items of a sequence argument; a str is refused although it is one.
std::vector<Ref> seq_items(PyObject* o, const char* name) {
    if (PyUnicode_Check(o))
        type_error(std::string("argument '") + name + "': Can't extract `str` to `Vec`");
    if (!PySequence_Check(o))
        type_error(std::string("argument '") + name + "': expected a sequence, got '" +
                   type_name(o) + "'");
    Py_ssize_t n = PySequence_Size(o);
    if (n < 0) throw ErrorSet{};
    std::vector<Ref> items;
    items.reserve(std::size_t(n));
    for (Py_ssize_t i = 0; i < n; ++i) items.emplace_back(check(PySequence_GetItem(o, i)));
    return items;
}

std::string item_str(PyObject* o, const char* name) {
    if (!PyUnicode_Check(o))
        type_error(std::string("argument '") + name + "': expected a sequence of str, found '" +
                   type_name(o) + "'");
    return utf8(o);
}

}  // namespace

void match(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
           PyObject** out) {
    std::size_t given = std::size_t(nargs);
    if (given > sig.count) {
        std::string text = std::string(sig.name) + "() takes " + std::to_string(sig.count) +
                           " positional argument" + (sig.count == 1 ? "" : "s") + " but " +
                           std::to_string(given) + (given == 1 ? " was" : " were") + " given";
        type_error(text);
    }
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = i < given ? args[i] : nullptr;
    Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        std::string key = utf8(PyTuple_GetItem(kwnames, k));
        std::size_t i = 0;
        while (i < sig.count && key != sig.names[i]) ++i;
        if (i == sig.count)
            type_error(std::string(sig.name) + "() got an unexpected keyword argument '" + key +
                       "'");
        if (out[i])
            type_error(std::string(sig.name) + "() got multiple values for argument '" + key +
                       "'");
        out[i] = args[nargs + k];
    }
    for (std::size_t i = 0; i < sig.count; ++i) {
        if (i < sig.required && !out[i])
            type_error(std::string(sig.name) + "() missing required argument '" + sig.names[i] +
                       "' (pos " + std::to_string(i + 1) + ")");
        if (i >= sig.required && out[i] == Py_None) out[i] = nullptr;
    }
}

std::string arg_str(PyObject* o, const char* name) {
    if (!PyUnicode_Check(o))
        type_error(std::string("argument '") + name + "': expected str, got '" + type_name(o) +
                   "'");
    return utf8(o);
}

std::vector<std::string> arg_str_seq(PyObject* o, const char* name) {
    std::vector<Ref> items = seq_items(o, name);
    std::vector<std::string> out;
    out.reserve(items.size());
    for (Ref& it : items) out.push_back(item_str(it.get(), name));
    return out;
}

std::vector<std::vector<std::string>> arg_str_seq2(PyObject* o, const char* name) {
    std::vector<Ref> items = seq_items(o, name);
    std::vector<std::vector<std::string>> out;
    out.reserve(items.size());
    for (Ref& it : items) out.push_back(arg_str_seq(it.get(), name));
    return out;
}

std::vector<std::vector<std::vector<std::string>>> arg_str_seq3(PyObject* o, const char* name) {
    std::vector<Ref> items = seq_items(o, name);
    std::vector<std::vector<std::vector<std::string>>> out;
    out.reserve(items.size());
    for (Ref& it : items) out.push_back(arg_str_seq2(it.get(), name));
    return out;
}

namespace {

Ref index_of(PyObject* o, const char* name) {
    PyObject* idx = PyNumber_Index(o);
    if (!idx) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            type_error(std::string("argument '") + name + "': '" + type_name(o) +
                       "' object cannot be interpreted as an integer");
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

PyObject* new_str(std::string_view s) {
    return check(PyUnicode_FromStringAndSize(s.data(), Py_ssize_t(s.size())));
}

PyObject* new_str_list(const std::vector<std::string>& items) {
    Ref list(check(PyList_New(Py_ssize_t(items.size()))));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyList_SetItem(list.get(), Py_ssize_t(i), new_str(items[i]));  // steals
    return list.release();
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
        std::string_view text = e.what();
        PyErr_SetString(PyExc_MemoryError,
                        text == "std::bad_alloc" ? "out of memory" : e.what());
    } catch (const std::exception& e) {
        panic_with(e.what());
    } catch (...) {
        panic_with("internal failure");
    }
    return nullptr;
}

}  // namespace qs::py
