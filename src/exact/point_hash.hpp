// Hashing points by exact value, for tables that find equal points without
// comparing every pair.
#pragma once

#include <cstddef>
#include <functional>

#include "exact/point3.hpp"

namespace qs {

// A hash of sign * z.
inline std::size_t hash_fmpz(const fmpz* z, int sign = 1) {
    if (!COEFF_IS_MPZ(*z)) return std::hash<slong>()(sign < 0 ? -*z : *z);
    const __mpz_struct* m = COEFF_TO_PTR(*z);
    std::size_t h = std::hash<int>()(sign < 0 ? -m->_mp_size : m->_mp_size);
    const int n = m->_mp_size < 0 ? -m->_mp_size : m->_mp_size;
    for (int i = 0; i < n; ++i) h = h * 1000003u ^ std::hash<mp_limb_t>()(m->_mp_d[i]);
    return h;
}

// Equal points hash equal: a Rational is in lowest terms, so equal values
// have equal numerators and denominators.
inline std::size_t hash_point(const Point3& p) {
    std::size_t h = 0;
    for (int c = 0; c < 3; ++c) {
        h = h * 31 + hash_fmpz(p[c].num());
        h = h * 31 + hash_fmpz(p[c].den());
    }
    return h;
}

// For tables keyed by pointers to points that outlive the table.
struct PointPtrHash {
    std::size_t operator()(const Point3* p) const { return hash_point(*p); }
};
struct PointPtrEq {
    bool operator()(const Point3* a, const Point3* b) const { return *a == *b; }
};

}  // namespace qs
