#include "query/canonical.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// Texts kept back to back in one buffer, each named by where it starts and
// how long it is, so that building and sorting them allocates per call,
// not per text.
struct Span {
    std::size_t at, size;
};

std::string_view view(const std::string& buf, Span s) { return {buf.data() + s.at, s.size}; }

}  // namespace

// string_view compares through char_traits<char>, which orders bytes as
// unsigned values: the byte-wise order the texts are defined by.
std::string canonical_form(const Solid& s) {
    std::string points, faces;
    std::vector<Span> point_spans, face_spans;
    std::vector<std::string_view> sorted;
    face_spans.reserve(s.faces.size());
    for (const Face& f : s.faces) {
        poll_interrupt();
        points.clear();
        point_spans.clear();
        for (const Point3& p : f.vertices) {
            const std::size_t at = points.size();
            append_point(points, p);
            point_spans.push_back({at, points.size() - at});
        }
        sorted.clear();
        for (Span sp : point_spans) sorted.push_back(view(points, sp));
        std::sort(sorted.begin(), sorted.end());
        const std::size_t at = faces.size();
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            if (i) faces.push_back('|');
            faces.append(sorted[i]);
        }
        face_spans.push_back({at, faces.size() - at});
    }
    sorted.clear();
    for (Span sp : face_spans) sorted.push_back(view(faces, sp));
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string out;
    std::size_t length = sorted.empty() ? 0 : sorted.size() - 1;
    for (std::string_view t : sorted) length += t.size();
    out.reserve(length);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i) out.push_back(';');
        out.append(sorted[i]);
    }
    return out;
}

}  // namespace qs
