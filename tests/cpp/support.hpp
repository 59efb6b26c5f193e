// Small helpers shared by the C++ tests.
#pragma once

#include <string>

#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "exact/point3.hpp"

namespace qs::test {

// Values from number texts, for compact fixtures.
inline Rational R(const char* t) { return parse_rational(t); }
inline Point3 P(const char* x, const char* y, const char* z) { return {R(x), R(y), R(z)}; }

// The text of the Panic that fn() throws; "<no panic>" when it returns.
template <class F>
std::string panic_text(F&& fn) {
    try {
        fn();
    } catch (const Panic& e) {
        return e.what();
    }
    return "<no panic>";
}

}  // namespace qs::test
