// Reading line-based texts (the solid text, OBJ, OFF, ASCII STL): one line
// at a time with its number for messages, words split at spaces and tabs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "exact/errors.hpp"

namespace qs {

class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}

    [[noreturn]] void fail(const std::string& what) const { fail_at(line_, what); }
    [[noreturn]] static void fail_at(std::size_t line, const std::string& what) {
        throw InputError(text::at_line(line, what));
    }

    bool at_end() const { return rest_.empty(); }

    // The next line without its end (LF or CRLF); fails at the end of the text.
    std::string_view next_line() {
        if (rest_.empty()) {
            ++line_;
            fail("the text ends early (is it cut off?)");
        }
        std::size_t nl = rest_.find('\n');
        std::string_view l = rest_.substr(0, nl);
        rest_ = nl == std::string_view::npos ? std::string_view() : rest_.substr(nl + 1);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        ++line_;
        return l;
    }

    bool only_blank_left() const {
        return rest_.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    // The number of the line last returned, counted from 1.
    std::size_t line() const { return line_; }

private:
    std::string_view rest_;
    std::size_t line_ = 0;
};

// Splits off the next word of s; empty when none is left. (A plain loop:
// find_first_of with a set searches the set once per character.)
inline std::string_view take_word(std::string_view& s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    const std::size_t b = i;
    while (i < n && s[i] != ' ' && s[i] != '\t') ++i;
    std::string_view w = s.substr(b, i - b);
    s.remove_prefix(i);
    return w;
}

// The value of a word of 1 to max_digits decimal digits (no sign); nothing
// for any other word. max_digits up to 19 fits the result.
inline std::optional<std::uint64_t> digits_value(std::string_view w, std::size_t max_digits) {
    if (w.empty() || w.size() > max_digits) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : w) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + std::uint64_t(c - '0');
    }
    return v;
}

// Counts in a header are only hints for reserving: a lying count must not
// make a reader allocate more than this before the lines back it up.
inline constexpr std::size_t kReserveCap = 1 << 16;

using text::shown;

}  // namespace qs
