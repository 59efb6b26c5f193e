// Reading line-based texts (the solid text, OBJ, OFF, ASCII STL): one line
// at a time with its number for messages, words split at spaces and tabs.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "exact/errors.hpp"

namespace qs {

class LineReader {
public:
    // A UTF-8 byte order mark at the start is no part of the first line.
    explicit LineReader(std::string_view text) : rest_(without_bom(text)) {}

    [[noreturn]] void fail(const std::string& what) const { fail_at(line_, what); }
    [[noreturn]] static void fail_at(std::size_t line, const std::string& what) {
        throw InputError(line, {}, what);
    }

    bool at_end() const { return rest_.empty(); }

    // The next line without its end: LF, CRLF or a lone CR (old Mac files);
    // fails at the end of the text. The next LF and the next CR are searched
    // for once each and kept until passed, so a text that has only one kind
    // is still read in one pass.
    std::string_view next_line() {
        if (rest_.empty()) {
            ++line_;
            fail("the text ends early (is it cut off?)");
        }
        const std::size_t nl = next_of('\n', nl_), cr = next_of('\r', cr_);
        const std::size_t end = std::min(nl, cr);
        std::string_view l = rest_.substr(0, end);
        std::size_t skip = end == std::string_view::npos ? rest_.size() : end + 1;
        if (end == cr && cr + 1 == nl) ++skip;  // CRLF
        advance(skip);
        ++line_;
        return l;
    }

    bool only_blank_left() const {
        return rest_.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    // The number of the line last returned, counted from 1.
    std::size_t line() const { return line_; }

    static std::string_view without_bom(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        return text;
    }

private:
    static constexpr std::size_t kUnknown = std::string_view::npos - 1;

    // The position of the next c in rest_, from the cache while it lies ahead.
    std::size_t next_of(char c, std::size_t& cached) {
        if (cached == kUnknown) cached = rest_.find(c);
        return cached;
    }
    void advance(std::size_t n) {
        rest_.remove_prefix(n);
        // A position passed is searched for again; "none ahead" stays none.
        for (std::size_t* c : {&nl_, &cr_})
            if (*c != std::string_view::npos && *c != kUnknown) *c = *c >= n ? *c - n : kUnknown;
    }

    std::string_view rest_;
    std::size_t line_ = 0;
    std::size_t nl_ = kUnknown, cr_ = kUnknown;  // positions in rest_, npos for none
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

// Whether s is UTF-8 as Python reads it: no overlong forms, no surrogates,
// nothing beyond U+10FFFF. Labels are checked when read, so that every
// solid made from a file can be listed, dumped and pickled.
inline bool valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t len = text::utf8_char_length(s, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

// Counts in a header are only hints for reserving: a lying count must not
// make a reader allocate more than this before the lines back it up.
inline constexpr std::size_t kReserveCap = 1 << 16;

using text::shown;

}  // namespace qs
