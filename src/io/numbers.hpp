// The numbers of mesh files, read exactly and written so that others read
// them back: decimal texts as the exact fractions they name, binary floats
// as the exact binary fractions they are, and doubles as their shortest
// round-trip text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "exact/rational.hpp"

namespace qs {

// Decimals are bounded so that no short text makes a huge number: an
// explicit exponent of at most 400 in magnitude ("1e999999999" would ask
// for a billion-digit integer, and "1e9999" named many times for many
// copies of a 4 KB one) and at most 1100 digits. No real file is lost:
// files hold numbers written from doubles or floats, and a double written
// shortest is at most 17 digits with an exponent from -324 to 308, and
// written out in full without an exponent at most 1075 digits (the 1074
// places after the point of the smallest subnormal, and one before it).
constexpr int kMaxDecimalExponent = 400;
constexpr std::size_t kMaxDecimalDigits = 1100;

// "0.1" as 1/10, "-2.5E-3" as -1/400; also "+7", ".5", "5." and "1e3".
// Nothing for anything else: "nan", "inf", "0x1p3", "1/3", "", an exponent
// or a number of digits beyond the bounds.
std::optional<Rational> parse_decimal(std::string_view text);

// A fraction exactly as format_rational writes it: an optional "-", digits,
// and an optional "/" with digits (not zero). Nothing for anything else,
// not even for what parse_rational would also take ("+1", "1_0", "1/2/3").
std::optional<Rational> parse_fraction(std::string_view text);

// The exact value of a finite double; nothing for NaN and the infinities.
std::optional<Rational> double_value(double d);

// The float nearest to r, ties to even, rounded once (not through a double,
// which could round twice).
float rational_to_float(const Rational& r);

// The shortest text that reads back as d ("0.1", "1e+22", "-0").
void append_double(std::string& out, double d);

}  // namespace qs
