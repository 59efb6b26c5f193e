// Failures raised inside the core. The Python surfaces map Panic to
// PanicException, ChamferError and InputError to ValueError; nothing else
// is reported.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace qs {

// An aborted call: a malformed number, an unknown op, a broken invariant.
// what() is the exact text the caller sees.
class Panic : public std::runtime_error {
public:
    explicit Panic(const std::string& text) : std::runtime_error(text) {}
};

// The chamfer's one reportable failure.
class ChamferError : public std::runtime_error {
public:
    explicit ChamferError(const std::string& text) : std::runtime_error(text) {}
};

// Geometry or text from outside that cannot be taken as it is (a face off
// its plane, an open shell, a malformed line); what() says where and why.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& text) : std::runtime_error(text) {}
};

[[noreturn]] inline void panic(const std::string& text) { throw Panic(text); }

// The text every out-of-range read reports.
[[noreturn]] inline void index_panic(std::size_t len, std::size_t index) {
    throw Panic("index out of bounds: the len is " + std::to_string(len) +
                " but the index is " + std::to_string(index));
}

// Checked element access for lists whose length comes from the caller.
template <class Vec>
inline auto& at(Vec& v, std::size_t i) {
    if (i >= v.size()) index_panic(v.size(), i);
    return v[i];
}

}  // namespace qs
