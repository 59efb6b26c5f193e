#include "io/solid_text.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "io/numbers.hpp"
#include "io/text_lines.hpp"
#include "mesh/face_rules.hpp"
#include "query/watertight.hpp"
#include "validity/validity.hpp"

namespace qs {

namespace {

const std::string_view kMagic = "quillstone solid";
const int kVersion = 1;
const std::string_view kOpen = "open";

void append_label(std::string& out, std::string_view label) {
    static const char* const kHex = "0123456789abcdef";
    out.push_back('"');
    for (char c : label) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

Rational number(const LineReader& r, std::string_view w) {
    std::optional<Rational> v = parse_fraction(w);
    if (!v) r.fail(text::malformed_number(shown(w)));
    return std::move(*v);
}

std::size_t count(const LineReader& r, std::string_view w) {
    std::optional<std::uint64_t> n = digits_value(w, 18);
    if (!n) r.fail(text::expected_found("a count", shown(w)));
    return std::size_t(*n);
}

void expect_keyword(const LineReader& r, std::string_view& line, std::string_view keyword) {
    std::string_view w = take_word(line);
    if (w != keyword) r.fail(text::expected_keyword(keyword, shown(w)));
}

void expect_end_of_line(const LineReader& r, std::string_view line) {
    std::string_view w = take_word(line);
    if (!w.empty()) r.fail("unexpected " + shown(w) + " at the end of the line");
}

// Exactly `n` numbers and nothing after them.
template <std::size_t N>
std::array<Rational, N> numbers(const LineReader& r, std::string_view line) {
    std::array<Rational, N> out;
    for (Rational& x : out) {
        std::string_view w = take_word(line);
        if (w.empty()) r.fail("expected " + std::to_string(N) + " numbers");
        x = number(r, w);
    }
    expect_end_of_line(r, line);
    return out;
}

std::string read_label(const LineReader& r, std::string_view& line) {
    std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string_view::npos || line[b] != '"') r.fail("expected a quoted label");
    std::string out;
    std::size_t k = b + 1;
    for (;; ++k) {
        if (k >= line.size()) r.fail("the label's closing quote is missing");
        char c = line[k];
        if (c == '"') break;
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            r.fail("a control character in a label must be written as an escape");
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++k >= line.size()) r.fail("the label's closing quote is missing");
        char e = line[k];
        if (e == '"' || e == '\\') {
            out.push_back(e);
        } else if (e == 'n') {
            out.push_back('\n');
        } else if (e == 'x' && k + 2 < line.size()) {
            auto hex = [](char h) {
                return h >= '0' && h <= '9' ? h - '0' : (h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1);
            };
            int hi = hex(line[k + 1]), lo = hex(line[k + 2]);
            // Only ASCII: the label must stay valid UTF-8.
            if (hi < 0 || lo < 0 || hi > 7) r.fail("a bad escape in a label");
            out.push_back(char(hi * 16 + lo));
            k += 2;
        } else {
            r.fail("a bad escape in a label");
        }
    }
    if (!valid_utf8(out)) r.fail("the label is not UTF-8 text");
    line.remove_prefix(k + 1);
    return out;
}

Face read_face(LineReader& r, std::size_t index) {
    std::string_view line = r.next_line();
    const std::size_t at = r.line();
    expect_keyword(r, line, "face");
    const std::size_t n = count(r, take_word(line));
    std::string label = read_label(r, line);
    expect_end_of_line(r, line);

    line = r.next_line();
    expect_keyword(r, line, "plane");
    auto [nx, ny, nz, d] = numbers<4>(r, line);
    std::vector<Point3> vertices;
    vertices.reserve(std::min(n, kReserveCap));
    for (std::size_t j = 0; j < n; ++j) {
        poll_interrupt();
        auto [x, y, z] = numbers<3>(r, r.next_line());
        vertices.emplace_back(std::move(x), std::move(y), std::move(z));
    }
    Face f;
    f.approx = approximate(vertices);
    f.vertices = std::move(vertices);
    f.label = std::move(label);
    f.plane = Plane{Point3(std::move(nx), std::move(ny), std::move(nz)), std::move(d)};
    if (auto problem = face_problem(f))
        throw InputError(at, "face " + std::to_string(index), *problem);
    f.planar = true;  // the check found every vertex in the plane
    return f;
}

void append_spaced(std::string& out, const Point3& p) {
    append_rational(out, p.x);
    out.push_back(' ');
    append_rational(out, p.y);
    out.push_back(' ');
    append_rational(out, p.z);
}

}  // namespace

std::string solid_to_text(const Solid& s) {
    std::string out;
    out += kMagic;
    out += ' ' + std::to_string(kVersion) + '\n';
    out += "faces " + std::to_string(s.faces.size());
    if (!watertight_ok(s)) out += ' ' + std::string(kOpen);
    out.push_back('\n');
    for (const Face& f : s.faces) {
        poll_interrupt();
        out += "face " + std::to_string(f.vertices.size()) + ' ';
        append_label(out, f.label);
        out += "\nplane ";
        append_spaced(out, f.plane.normal);
        out.push_back(' ');
        append_rational(out, f.plane.offset);
        out.push_back('\n');
        for (const Point3& p : f.vertices) {
            append_spaced(out, p);
            out.push_back('\n');
        }
    }
    out += "end\n";
    return out;
}

Solid solid_from_text(std::string_view text, bool check) {
    LineReader r(text);
    std::string_view line = r.next_line();
    std::string_view head = line.substr(0, std::min(line.size(), kMagic.size()));
    if (head != kMagic) r.fail("not a quillstone solid text (it should begin with '" +
                               std::string(kMagic) + " " + std::to_string(kVersion) + "')");
    line.remove_prefix(kMagic.size());
    std::string_view version = take_word(line);
    if (version != std::to_string(kVersion))
        r.fail("unknown version " + shown(version) + " (this reader knows version " +
               std::to_string(kVersion) + ")");
    expect_end_of_line(r, line);

    line = r.next_line();
    const std::size_t faces_line = r.line();
    expect_keyword(r, line, "faces");
    const std::size_t n = count(r, take_word(line));
    std::string_view word = take_word(line);
    const bool open = word == kOpen;
    if (!open) line = word;
    expect_end_of_line(r, line);
    Solid s;
    s.faces.reserve(std::min(n, kReserveCap));
    std::vector<std::size_t> lines;  // where each face begins
    lines.reserve(std::min(n, kReserveCap));
    for (std::size_t i = 0; i < n; ++i) {
        s.faces.push_back(read_face(r, i));
        lines.push_back(r.line() - s.faces.back().vertices.size() - 1);
    }
    line = r.next_line();
    if (take_word(line) != "end" || !take_word(line).empty())
        r.fail("expected 'end' after " + std::to_string(n) + " faces");
    if (!r.only_blank_left()) r.fail_at(r.line() + 1, "text after 'end'");
    if (open && check) r.fail_at(faces_line, text::kOpenTextChecked);
    if (!open) {
        if (auto e = find_open_edge(s)) {
            const std::size_t m = s.faces[e->face].vertices.size();
            throw InputError(lines[e->face], "face " + std::to_string(e->face),
                             text::open_edge(e->edge, (e->edge + 1) % m) + text::kNotSaidOpen);
        }
    }
    if (check) {
        if (auto e = validity_error(check_validity(s, true), [](std::size_t f) { return f; },
                                    [&](std::size_t f) { return lines[f]; }))
            throw *e;
    }
    return s;
}

}  // namespace qs
