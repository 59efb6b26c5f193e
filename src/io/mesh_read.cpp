// The mesh file readers: exact numbers, faces with the lines they came from.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "exact/interrupt.hpp"
#include "io/mesh_files.hpp"
#include "io/numbers.hpp"
#include "io/text_lines.hpp"

namespace qs {

namespace {

const char* const kDefaultLabel = "mesh";

// A MeshInput as a reader makes it, every part paid for from the budget as
// it comes (growing vectors may hold twice what they use: that is counted).
class MeshBuilder {
public:
    explicit MeshBuilder(ReadBudget& budget) : budget_(budget) {}

    std::uint32_t point(Point3 p) {
        if (m_.points.size() >= UINT32_MAX) throw InputError(text::kTooManyMeshVertices);
        budget_.take(bytes_of(p) + sizeof(Point3));
        m_.points.push_back(std::move(p));
        return std::uint32_t(m_.points.size() - 1);
    }
    Point3& last_point() { return m_.points.back(); }
    std::size_t points() const { return m_.points.size(); }
    void corner(std::uint32_t i) {
        budget_.take(2 * sizeof(std::uint32_t));
        m_.corners.push_back(i);
    }
    // A label's number; each distinct label is kept once.
    std::uint32_t label(const std::string& text) {
        auto [it, fresh] = label_index_.try_emplace(text, std::uint32_t(m_.labels.size()));
        if (fresh) {
            budget_.take(2 * text.size() + 64);
            m_.labels.push_back(text);
        }
        return it->second;
    }
    // Ends the polygon begun after the last one.
    void polygon(std::uint32_t label, std::size_t line) {
        budget_.take(2 * sizeof(MeshInput::Polygon));
        m_.polygons.push_back({m_.corners.size(), label, line});
    }
    MeshInput done() && { return std::move(m_); }

private:
    ReadBudget& budget_;
    MeshInput m_;
    std::unordered_map<std::string, std::uint32_t> label_index_;
};

Rational decimal(const LineReader& r, std::string_view w) {
    std::optional<Rational> v = parse_decimal(w);
    if (!v) r.fail(text::malformed_number(shown(w)) + " (expected a finite decimal number)");
    return std::move(*v);
}

// The first three words of `rest` as a point; the rest of the line is left.
Point3 decimal_point(const LineReader& r, std::string_view& rest) {
    Point3 p;
    for (int c = 0; c < 3; ++c) {
        std::string_view w = take_word(rest);
        if (w.empty()) r.fail("expected three coordinates x y z");
        p[c] = decimal(r, w);
    }
    return p;
}

// A "#qs-exact x y z" line: the exact coordinates of the vertex read just
// before, on line `vline`. They must round to that vertex's numbers, or the
// file was edited since it was written and the two disagree.
void apply_exact(const LineReader& r, std::string_view rest, std::size_t vline, Point3& p,
                 ReadBudget& budget) {
    Point3 e;
    for (int c = 0; c < 3; ++c) {
        std::string_view w = take_word(rest);
        std::optional<Rational> v = parse_fraction(w);
        if (!v) r.fail("malformed exact coordinate " + shown(w));
        e[c] = std::move(*v);
    }
    if (!take_word(rest).empty()) r.fail("more than three exact coordinates");
    for (int c = 0; c < 3; ++c)
        if (rational_to_double(e[c]) != rational_to_double(p[c]))
            r.fail("the exact coordinates disagree with the vertex on line " +
                   std::to_string(vline));
    budget.take(bytes_of(e));
    p = std::move(e);
}

bool exact_line(std::string_view word) { return word == kExactTag; }

// An integer index as written; fails for anything else.
long index_word(const LineReader& r, std::string_view w) {
    std::string_view digits = w;
    bool negative = !digits.empty() && digits[0] == '-';
    if (negative || (!digits.empty() && digits[0] == '+')) digits.remove_prefix(1);
    std::optional<std::uint64_t> v = digits_value(digits, 15);
    if (!v) r.fail("malformed vertex index " + shown(w));
    return negative ? -long(*v) : long(*v);
}

std::string trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// A group, object or solid name as a label: refused unless it is UTF-8.
std::string label_of(const LineReader& r, std::string_view rest) {
    std::string label = trimmed(rest);
    if (!valid_utf8(label)) r.fail("the name is not UTF-8 text");
    return label.empty() ? std::string(kDefaultLabel) : label;
}

bool iequal(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

}  // namespace

MeshInput read_obj(std::string_view text, ReadBudget& budget) {
    LineReader r(text);
    MeshBuilder m(budget);
    std::size_t last_vertex_line = 0;
    std::uint32_t label = m.label(kDefaultLabel);
    while (!r.at_end()) {
        poll_interrupt();
        std::string_view rest = r.next_line();
        std::string_view word = take_word(rest);
        const bool after_vertex = last_vertex_line != 0 && last_vertex_line + 1 == r.line();
        if (word.empty()) continue;
        if (word[0] == '#') {
            if (exact_line(word)) {
                if (!after_vertex) r.fail("an exact line must follow a vertex line");
                apply_exact(r, rest, last_vertex_line, m.last_point(), budget);
            }
            continue;
        }
        if (word == "v") {
            Point3 p = decimal_point(r, rest);
            std::vector<std::string_view> more;
            for (std::string_view w = take_word(rest); !w.empty() && more.size() < 5;
                 w = take_word(rest))
                more.push_back(w);
            // x y z, x y z w, and either with three colour values after.
            if (more.size() == 1 || more.size() == 4) {
                Rational w = decimal(r, more[0]);
                if (w.is_zero()) r.fail("the vertex's w is zero");
                for (int c = 0; c < 3; ++c) p[c] /= w;
            } else if (!more.empty() && more.size() != 3) {
                r.fail("expected x y z, an optional w and optional colours");
            }
            m.point(std::move(p));
            last_vertex_line = r.line();
        } else if (word == "f") {
            for (std::string_view w = take_word(rest); !w.empty(); w = take_word(rest)) {
                poll_interrupt();
                long i = index_word(r, w.substr(0, w.find('/')));
                long n = long(m.points());
                long k = i < 0 ? n + i : i - 1;
                if (i == 0 || k < 0 || k >= n)
                    r.fail(text::no_such_vertex(i, std::to_string(n) + " vertices so far"));
                m.corner(std::uint32_t(k));
            }
            m.polygon(label, r.line());
        } else if (word == "g" || word == "o") {
            label = m.label(label_of(r, rest));
        }
    }
    return std::move(m).done();
}

MeshInput read_off(std::string_view text, ReadBudget& budget) {
    LineReader r(text);
    MeshBuilder m(budget);
    // The next line that holds something, without its comment; exact lines
    // are handed to `exact` instead.
    std::size_t last_vertex_line = 0;
    bool after_vertex = false;
    auto significant = [&]() -> std::string_view {
        for (;;) {
            std::string_view line = r.next_line();
            std::string_view probe = line;
            std::string_view word = take_word(probe);
            if (exact_line(word)) {
                if (!after_vertex || last_vertex_line + 1 != r.line())
                    r.fail("an exact line must follow a vertex line");
                apply_exact(r, probe, last_vertex_line, m.last_point(), budget);
                after_vertex = false;
                continue;
            }
            line = line.substr(0, line.find('#'));
            if (line.find_first_not_of(" \t") != std::string_view::npos) return line;
        }
    };
    std::string_view rest = significant();
    std::string_view head = take_word(rest);
    std::string_view kind = head;
    if (kind.size() < 3 || kind.substr(kind.size() - 3) != "OFF")
        r.fail("not an OFF file (it should begin with OFF)");
    kind.remove_suffix(3);
    if (kind.find_first_not_of("STCN") != std::string_view::npos)
        r.fail("only three-dimensional OFF files are read, not " + shown(head));
    std::string_view probe = rest;
    if (take_word(probe).empty()) rest = significant();  // the counts on a line of their own
    auto count = [&](std::string_view w) {
        std::optional<std::uint64_t> n = digits_value(w, 15);
        if (!n) r.fail(text::expected_found("a count", shown(w)));
        return std::size_t(*n);
    };
    const std::size_t nv = count(take_word(rest));
    const std::size_t nf = count(take_word(rest));

    for (std::size_t i = 0; i < nv; ++i) {
        poll_interrupt();
        std::string_view line = significant();
        m.point(decimal_point(r, line));
        after_vertex = true;
        last_vertex_line = r.line();
    }
    const std::uint32_t label = m.label(kDefaultLabel);
    for (std::size_t i = 0; i < nf; ++i) {
        poll_interrupt();
        std::string_view line = significant();
        const std::size_t n = count(take_word(line));
        for (std::size_t j = 0; j < n; ++j) {
            poll_interrupt();
            std::string_view w = take_word(line);
            if (w.empty()) r.fail("the face has fewer indices than its count says");
            long k = index_word(r, w);
            if (k < 0 || std::size_t(k) >= nv)
                r.fail(text::no_such_vertex(k, "the file has " + std::to_string(nv) + " vertices"));
            m.corner(std::uint32_t(k));
        }
        m.polygon(label, r.line());
    }
    return std::move(m).done();
}

namespace {

std::uint32_t le32(const char* p) {
    unsigned char b[4];
    std::memcpy(b, p, 4);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

float le_float(const char* p) {
    std::uint32_t bits = le32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

MeshInput read_stl_binary(std::string_view bytes, std::size_t count, ReadBudget& budget) {
    MeshBuilder m(budget);
    const std::uint32_t label = m.label(kDefaultLabel);
    const char* p = bytes.data() + 84;
    for (std::size_t i = 0; i < count; ++i, p += 50) {
        poll_interrupt();
        for (int v = 0; v < 3; ++v) {
            Point3 x;
            for (int c = 0; c < 3; ++c) {
                std::optional<Rational> exact = double_value(le_float(p + 12 + 12 * v + 4 * c));
                if (!exact)
                    throw InputError(0, "face " + std::to_string(i),
                                     "vertex " + std::to_string(v) +
                                         " has a coordinate that is not a finite number");
                x[c] = std::move(*exact);
            }
            m.corner(m.point(std::move(x)));
        }
        m.polygon(label, 0);
    }
    return std::move(m).done();
}

MeshInput read_stl_ascii(std::string_view text, ReadBudget& budget) {
    LineReader r(text);
    MeshBuilder m(budget);
    auto next_words = [&]() -> std::string_view {
        for (;;) {
            std::string_view line = r.next_line();
            if (line.find_first_not_of(" \t") != std::string_view::npos) return line;
        }
    };
    auto expect = [&](std::string_view& rest, std::string_view keyword) {
        std::string_view w = take_word(rest);
        if (!iequal(w, keyword))
            r.fail(text::expected_keyword(keyword, shown(w)));
    };
    while (true) {
        std::string_view rest;
        // Skip blank lines after the last solid; a new one may follow.
        for (;;) {
            if (r.at_end()) return std::move(m).done();
            rest = r.next_line();
            if (rest.find_first_not_of(" \t") != std::string_view::npos) break;
        }
        expect(rest, "solid");
        const std::uint32_t label = m.label(label_of(r, rest));
        for (;;) {
            poll_interrupt();
            rest = next_words();
            std::string_view probe = rest;
            std::string_view w = take_word(probe);
            if (iequal(w, "endsolid")) break;
            expect(rest, "facet");
            const std::size_t line = r.line();
            rest = next_words();
            expect(rest, "outer");
            expect(rest, "loop");
            for (;;) {
                poll_interrupt();
                rest = next_words();
                probe = rest;
                w = take_word(probe);
                if (iequal(w, "endloop")) break;
                expect(rest, "vertex");
                m.corner(m.point(decimal_point(r, rest)));
                if (!take_word(rest).empty()) r.fail("more than three coordinates");
            }
            rest = next_words();
            expect(rest, "endfacet");
            m.polygon(label, line);
        }
    }
}

// ASCII STL: "solid" (after a byte order mark and blanks), and the next
// line's first word "facet" or "endsolid". Binary files may begin with
// "solid" too, in their free header, but not with that second line.
bool looks_ascii(std::string_view bytes) {
    std::string_view rest = LineReader::without_bom(bytes);
    std::size_t b = rest.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos || rest.size() - b < 5 || !iequal(rest.substr(b, 5), "solid"))
        return false;
    rest.remove_prefix(b);
    std::size_t end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) return false;
    rest.remove_prefix(end);
    b = rest.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return false;
    rest.remove_prefix(b);
    std::string_view w = take_word(rest);
    w = w.substr(0, w.find_first_of("\r\n"));
    return iequal(w, "facet") || iequal(w, "endsolid");
}

}  // namespace

MeshInput read_stl(std::string_view bytes, ReadBudget& budget) {
    const bool ascii = looks_ascii(bytes);
    if (bytes.size() >= 84) {
        const std::uint64_t count = le32(bytes.data() + 80);
        const std::uint64_t want = 84 + 50 * count;
        if (want == bytes.size() || (!ascii && want < bytes.size()))
            return read_stl_binary(bytes, std::size_t(count), budget);
        if (!ascii)
            throw InputError("binary STL cut short: the header announces " +
                             std::to_string(count) + " triangles (" + std::to_string(want) +
                             " bytes), the file has " + std::to_string(bytes.size()) + " bytes");
    }
    if (!ascii)
        throw InputError("not an STL file: too short for binary STL and not ASCII STL "
                         "(which begins with 'solid' and a line 'facet' or 'endsolid')");
    return read_stl_ascii(bytes, budget);
}

}  // namespace qs
