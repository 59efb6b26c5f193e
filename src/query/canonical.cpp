#include "query/canonical.hpp"

#include <algorithm>
#include <vector>

#include "exact/interrupt.hpp"

namespace qs {

// std::string compares through char_traits<char>, which orders bytes as
// unsigned values: the byte-wise order the texts are defined by.
std::string canonical_form(const Solid& s) {
    std::vector<std::string> faces;
    faces.reserve(s.faces.size());
    std::vector<std::string> points;
    for (const Face& f : s.faces) {
        poll_interrupt();
        points.clear();
        for (const Point3& p : f.vertices) points.push_back(point_text(p));
        std::sort(points.begin(), points.end());
        std::string text;
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (i) text.push_back('|');
            text += points[i];
        }
        faces.push_back(std::move(text));
    }
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    std::string out;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (i) out.push_back(';');
        out += faces[i];
    }
    return out;
}

}  // namespace qs
