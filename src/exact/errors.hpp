// The failures a call can end in: the exception kinds the core throws, and
// the one catalogue of the texts a caller sees. Every file that raises takes
// its kind and its text from here, so a wording is changed in one place; the
// tests spell each text out themselves, so a change shows.
//
// How the Python surfaces report each kind (map_current_exception):
//   Panic          PanicException (derived from BaseException): an aborted
//                  call, a malformed number, an unknown op, a broken invariant
//   ChamferError   ValueError: the chamfer's reportable failures
//   InputError     ValueError: geometry or text from outside that cannot be
//                  taken as it is
//   MemoryLimit    MemoryError with its own text; any other std::bad_alloc
//                  is MemoryError "out of memory"
//   anything else  PanicException with its what(), or "internal failure"
// Wrong arguments never reach the core: the surfaces raise TypeError with
// the texts under "Arguments" (and the interpreter its own OverflowError).
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace qs {

// what() is the exact text the caller sees.
class Panic : public std::runtime_error {
public:
    explicit Panic(const std::string& text) : std::runtime_error(text) {}
};

class ChamferError : public std::runtime_error {
public:
    explicit ChamferError(const std::string& text) : std::runtime_error(text) {}
};

// what() says where and why (a face off its plane, an open shell, a
// malformed line): "<part> (line <n>): <reason>", "line <n>: <reason>",
// "<part>: <reason>" or the reason alone. The pieces are kept apart too, for
// surfaces that report them one by one.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& text) : InputError(0, {}, text) {}
    InputError(std::size_t line, std::string part, std::string reason)
        : std::runtime_error(place(line, part) + reason),
          where_(std::make_shared<const Where>(Where{line, std::move(part), std::move(reason)})) {}
    std::size_t line() const noexcept { return where_->line; }  // 0: no line
    const std::string& part() const noexcept { return where_->part; }
    const std::string& reason() const noexcept { return where_->reason; }

private:
    struct Where {
        std::size_t line;
        std::string part, reason;
    };
    static std::string place(std::size_t line, const std::string& part) {
        std::string s = part;
        if (line) s += (s.empty() ? "line " : " (line ") + std::to_string(line) + (s.empty() ? "" : ")");
        return s.empty() ? s : s + ": ";
    }
    std::shared_ptr<const Where> where_;  // shared: copying cannot throw
};

// A call that would go beyond its memory bound: a std::bad_alloc, so that it
// is reported as running out of memory, with a text that names the bound.
class MemoryLimit : public std::bad_alloc {
public:
    explicit MemoryLimit(std::string text)
        : text_(std::make_shared<const std::string>(std::move(text))) {}
    const char* what() const noexcept override { return text_->c_str(); }

private:
    std::shared_ptr<const std::string> text_;  // shared: copying cannot throw
};

namespace text {

// A text made by appending its pieces in order. (Chains of `"..." +
// std::string(...)` draw a false -Wrestrict warning from GCC 12.)
template <class... Pieces>
std::string cat(const Pieces&... pieces) {
    std::string s;
    (s.append(std::string_view(pieces)), ...);
    return s;
}

// ---- Numbers (Panic)
inline constexpr const char* kInvalidDigit =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: InvalidDigit }";
inline constexpr const char* kEmpty =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: Empty }";
inline constexpr const char* kDenominatorZero = "denominator == 0";
// Division by a zero Rational inside an operation.
inline constexpr const char* kDivideByZero = "attempt to divide by zero";

// ---- Operations
// Panic: every read outside a list whose length comes from the caller.
inline std::string index_out_of_bounds(std::size_t len, std::size_t index) {
    return cat("index out of bounds: the len is ", std::to_string(len), " but the index is ",
               std::to_string(index));
}
// Panic: a boolean op other than "union", "cut" and "intersect".
inline constexpr const char* kUnknownOp = "unknown op";
// ChamferError.
inline constexpr const char* kChamferNegative = "chamfer: negative distance";
inline constexpr const char* kChamferNoUnitNormal = "chamfer: non-rational face normal (K2)";
inline constexpr const char* kChamferNoEdgeLength = "chamfer: non-rational edge length";
// MemoryLimit: the bounds of ssi_pairs.
inline std::string ssi_memory_bound(std::size_t budget_bytes, unsigned long long level,
                                    std::size_t pairs) {
    return cat("ssi_pairs: the search reached its memory bound of ",
               std::to_string(budget_bytes >> 20), " MiB at level ", std::to_string(level),
               " with ", std::to_string(pairs), " candidate pairs; use a smaller depth");
}
inline std::string ssi_level_bound(unsigned long long levels, std::size_t pairs) {
    return cat("ssi_pairs: the search reached its bound of ", std::to_string(levels),
               " levels with ", std::to_string(pairs),
               " candidate pairs left; use a smaller depth");
}
// Panic: an invariant of the triangulation of a solid's faces.
inline constexpr const char* kNoCornerNextToFlat = "triangulation: no corner next to a flat point";
// Panic: more distinct vertices than the closedness check can number.
inline constexpr const char* kTooManyVerticesToCheck = "too many vertices to check closedness";
// ValueError: a solid too large for the mesh formats' 32-bit counts.
inline constexpr const char* kTooManyMeshVertices = "the solid has too many vertices for a mesh";
inline constexpr const char* kTooManyStlTriangles = "too many triangles for binary STL";

// InputError: an affine map whose matrix has no inverse.
inline constexpr const char* kSingularMap = "the map is singular: its matrix has determinant 0";

// ---- The Python surfaces
inline constexpr const char* kOutOfMemory = "out of memory";
inline constexpr const char* kInternalFailure = "internal failure";
inline constexpr const char* kNoConstructor = "No constructor defined for PySolid";
inline constexpr const char* kSolidTypeNotReady = "the PySolid type is not ready";
inline constexpr const char* kSolidAllocation = "failed to allocate a PySolid";
inline constexpr const char* kSecondInterpreter =
    "quillstone cannot be loaded in more than one interpreter per process";

// ---- Arguments (TypeError)
inline std::string argument(std::string_view name, std::string_view what) {
    return cat("argument '", name, "': ", what);
}
// "expected <kind>, got '<type>'"
inline std::string expected(std::string_view kind, std::string_view type) {
    return cat("expected ", kind, ", got '", type, "'");
}
inline constexpr const char* kStrForSequence = "Can't extract `str` to `Vec`";
inline std::string item_not_str(std::string_view type) {
    return cat("expected a sequence of str, found '", type, "'");
}
inline constexpr const char* kNameSurrogate =
    "a name cannot hold a lone surrogate (no UTF-8 form)";
inline std::string not_an_integer(std::string_view type) {
    return cat("'", type, "' object cannot be interpreted as an integer");
}
inline constexpr const char* kExpectedSolid = "expected PySolid";
inline constexpr const char* kExpectedBytes = "expected bytes";
inline std::string too_many_positional(std::string_view fn, std::size_t count, std::size_t given) {
    return cat(fn, "() takes ", std::to_string(count), " positional argument",
               count == 1 ? "" : "s", " but ", std::to_string(given),
               given == 1 ? " was" : " were", " given");
}
inline std::string unexpected_keyword(std::string_view fn, std::string_view key) {
    return cat(fn, "() got an unexpected keyword argument '", key, "'");
}
inline std::string multiple_values(std::string_view fn, std::string_view key) {
    return cat(fn, "() got multiple values for argument '", key, "'");
}
inline std::string missing_argument(std::string_view fn, std::string_view name, std::size_t pos) {
    return cat(fn, "() missing required argument '", name, "' (pos ", std::to_string(pos), ")");
}

// ---- Geometry and files from outside (quillstone_io: InputError, and
// ValueError or TypeError where its surface checks the objects itself)
// The length of the UTF-8 character that begins at s[i], as Python decodes
// it (no overlong forms, no surrogates, nothing beyond U+10FFFF); 0 when
// the bytes there are not one.
inline std::size_t utf8_char_length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return len;
}

// A word of the input quoted for a message, cut short when long. Messages
// become Python strings, so the word is cut between characters, and a byte
// that is not part of UTF-8 text, or a control character, is shown as \xNN.
inline std::string shown(std::string_view w) {
    constexpr std::size_t kShown = 40;
    std::string out = "'";
    std::size_t i = 0;
    while (i < w.size() && i < kShown) {
        const auto c = static_cast<unsigned char>(w[i]);
        const std::size_t len = utf8_char_length(w, i);
        if (len == 0 || c < 0x20 || c == 0x7F) {
            const char* hex = "0123456789abcdef";
            out += {'\\', 'x', hex[c >> 4], hex[c & 15]};
            ++i;
        } else {
            out.append(w.substr(i, len));
            i += len;
        }
    }
    return cat(out, i < w.size() ? "..." : "", "'");
}
// "line <n>: <what>", the place of every failure in a line-based text.
inline std::string at_line(std::size_t line, std::string_view what) {
    return cat("line ", std::to_string(line), ": ", what);
}
inline std::string malformed_number(std::string_view quoted) {
    return cat("malformed number ", quoted);
}
// "expected <what>, found <quoted>": a count, a keyword.
inline std::string expected_found(std::string_view what, std::string_view quoted) {
    return cat("expected ", what, ", found ", quoted);
}
inline std::string expected_keyword(std::string_view keyword, std::string_view quoted) {
    return cat("expected '", keyword, "', found ", quoted);
}
// "vertex index <i> does not exist (<there>)", <there> saying what there is.
inline std::string no_such_vertex(long long index, std::string_view there) {
    return cat("vertex index ", std::to_string(index), " does not exist (", there, ")");
}
inline constexpr const char* kThreeCoordinates = "expected 3 coordinates";
inline std::string unknown_mesh_format(std::string_view format) {
    return cat("unknown mesh format '", format, "'");
}
// InputError: faces that do not bound a solid (mesh/face_rules, validity/).
inline constexpr const char* kFacesCross = "the faces cross";
inline constexpr const char* kFacesOverlap = "the faces overlap, facing the same way";
inline constexpr const char* kFaceRepeats = "the second face repeats the first";
inline constexpr const char* kFacesBackToBack =
    "the faces lie back to back, a sheet with two sides and nothing between";
inline constexpr const char* kFacePassesThrough =
    "the first lies along the inside of the second and passes through it";
// The winding number in front of a face that is not 0.
inline std::string wrong_winding(long front) {
    return cat("the winding number is ", std::to_string(front), " in front of it and ",
               std::to_string(front + 1), " behind, where a solid has 0 and 1: ",
               front > 0 ? "its shell lies inside another facing the same way (a cavity must be "
                           "turned inward)"
                         : "its shell is turned inward but lies inside no other (only a cavity "
                           "is turned inward)");
}
// A face with area whose stored normal is zero.
inline constexpr const char* kZeroNormal = "the normal is zero";
// A face edge where the surface is open (the reason after "face <i>").
inline std::string open_edge(std::size_t from, std::size_t to) {
    return cat("the edge from vertex ", std::to_string(from), " to vertex ", std::to_string(to),
               " is not matched by edges running the other way, so the surface is not closed");
}
// The solid text: a solid that is not closed must say so ("faces <n> open"),
// and cannot pass the full check.
inline constexpr const char* kNotSaidOpen =
    " (the text of a solid that is not closed says 'faces <n> open')";
inline constexpr const char* kOpenTextChecked =
    "the text says the solid is open, and an open solid bounds nothing";
// A read whose points and faces would take more memory than its file's
// size allows.
inline std::string beyond_read_budget(std::size_t limit, std::size_t factor, std::size_t floor) {
    return cat("the faces would take more than ", std::to_string(limit >> 20),
               " MiB of memory, the bound for a file of this size (", std::to_string(factor),
               " times its size and ", std::to_string(floor >> 20),
               " MiB): it names huge numbers or long names many times, or places its objects "
               "many times");
}
// Added to the refusal of a polygon off its plane read from a file.
inline constexpr const char* kTriangulateHint =
    " (read_mesh(..., triangulate=True) reads each polygon as triangles of its own vertices)";
// A file read with checks that holds no face, or only faces without area.
inline constexpr const char* kNoFaces = "no faces";
inline constexpr const char* kNoFaceWithArea = "no faces: every face has zero area";
inline constexpr const char* kExactNotInStl =
    "exact coordinates are written to OBJ and OFF only: STL holds floats";

}  // namespace text

[[noreturn]] inline void panic(const std::string& text) { throw Panic(text); }

[[noreturn]] inline void index_panic(std::size_t len, std::size_t index) {
    throw Panic(text::index_out_of_bounds(len, index));
}

// Checked element access for lists whose length comes from the caller.
template <class Vec>
inline auto& at(Vec& v, std::size_t i) {
    if (i >= v.size()) index_panic(v.size(), i);
    return v[i];
}

}  // namespace qs
