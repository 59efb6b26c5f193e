// A point or direction with exact rational coordinates.
#pragma once

#include <string>

#include "exact/rational.hpp"

namespace qs {

struct Point3 {
    Rational x, y, z;

    Point3() = default;
    Point3(Rational x_, Rational y_, Rational z_)
        : x(std::move(x_)), y(std::move(y_)), z(std::move(z_)) {}

    Rational& operator[](int i) noexcept { return i == 0 ? x : (i == 1 ? y : z); }
    const Rational& operator[](int i) const noexcept { return i == 0 ? x : (i == 1 ? y : z); }

    friend Point3 operator+(const Point3& a, const Point3& b) {
        return {a.x + b.x, a.y + b.y, a.z + b.z};
    }
    friend Point3 operator-(const Point3& a, const Point3& b) {
        return {a.x - b.x, a.y - b.y, a.z - b.z};
    }
    friend Point3 operator*(const Rational& k, const Point3& a) {
        return {k * a.x, k * a.y, k * a.z};
    }
    friend Point3 operator-(const Point3& a) { return {-a.x, -a.y, -a.z}; }
    friend bool operator==(const Point3& a, const Point3& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    }
    bool is_zero() const noexcept { return x.is_zero() && y.is_zero() && z.is_zero(); }
};

inline Point3 cross(const Point3& a, const Point3& b) {
    Point3 r;
    r.x = a.y * b.z;
    r.x.sub_mul(a.z, b.y);
    r.y = a.z * b.x;
    r.y.sub_mul(a.x, b.z);
    r.z = a.x * b.y;
    r.z.sub_mul(a.y, b.x);
    return r;
}

inline Rational dot(const Point3& a, const Point3& b) {
    Rational r = a.x * b.x;
    r.add_mul(a.y, b.y);
    r.add_mul(a.z, b.z);
    return r;
}

// "x,y,z" with every coordinate written by format_rational.
inline void append_point(std::string& out, const Point3& p) {
    char buf[3 * kWordRationalText + 2];
    char* at = write_word_rational(buf, p.x);
    if (at) *at++ = ',';
    if (at) at = write_word_rational(at, p.y);
    if (at) *at++ = ',';
    if (at) at = write_word_rational(at, p.z);
    if (at) {  // all six integers in their words: one append
        out.append(buf, at);
        return;
    }
    append_rational(out, p.x);
    out.push_back(',');
    append_rational(out, p.y);
    out.push_back(',');
    append_rational(out, p.z);
}

inline std::string point_text(const Point3& p) {
    std::string s;
    append_point(s, p);
    return s;
}

}  // namespace qs
