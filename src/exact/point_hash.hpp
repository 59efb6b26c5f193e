// Hashing points by exact value, for tables that find equal points without
// comparing every pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>

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

// Numbers points by exact value, 0, 1, 2, ... in the order first seen; the
// points must outlive the table. Ids stay below UINT32_MAX: the point that
// would get that one sets full(), and the caller stops there with its own
// error.
class PointIds {
public:
    // p's id, and whether p is new.
    std::pair<std::uint32_t, bool> id(const Point3& p) {
        const auto [it, fresh] = ids_.try_emplace(&p, std::uint32_t(ids_.size()));
        if (fresh && it->second == UINT32_MAX) full_ = true;
        return {it->second, fresh};
    }
    bool full() const noexcept { return full_; }
    void reserve(std::size_t n) { ids_.reserve(n); }

private:
    std::unordered_map<const Point3*, std::uint32_t, PointPtrHash, PointPtrEq> ids_;
    bool full_ = false;
};

// One key for the edge between two ids, whichever way it runs.
inline std::uint64_t pair_key(std::uint32_t a, std::uint32_t b) {
    return a < b ? (std::uint64_t(a) << 32 | b) : (std::uint64_t(b) << 32 | a);
}

}  // namespace qs
