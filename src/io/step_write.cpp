#include "io/step_write.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "io/numbers.hpp"

namespace qs {
namespace {

// A real as the file's syntax wants it: a decimal point always, an upper
// case exponent ("2.", "1.5E-07").
void append_real(std::string& out, double d) {
    std::string s;
    append_double(s, d == 0 ? 0.0 : d);  // no "-0."
    const std::size_t e = s.find('e');
    std::string mantissa = s.substr(0, e);
    if (mantissa.find('.') == std::string::npos) mantissa += '.';
    out += mantissa;
    if (e != std::string::npos) {
        out += 'E';
        out.append(s, e + 1, std::string::npos);
    }
}

// A string: ASCII as it is (apostrophes and backslashes doubled), anything
// else as \X2\ hex of its UTF-16 code units \X0\, from UTF-8.
void append_string(std::string& out, const std::string& s) {
    out += '\'';
    std::vector<std::uint32_t> wide;
    auto flush = [&] {
        if (wide.empty()) return;
        out += "\\X2\\";
        static const char* hex = "0123456789ABCDEF";
        for (std::uint32_t u : wide)
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 15];
        out += "\\X0\\";
        wide.clear();
    };
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7f) {
            flush();
            if (c == '\'' || c == '\\') out += char(c);
            out += char(c);
            ++i;
            continue;
        }
        // Decode one UTF-8 sequence; a malformed byte stands for itself.
        std::uint32_t cp = c;
        std::size_t len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        if (len > 1 && i + len <= s.size()) {
            cp = c & (0xff >> (len + 1));
            for (std::size_t k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3f);
        } else {
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(0xd800 + (cp >> 10));
            wide.push_back(0xdc00 + (cp & 0x3ff));
        } else {
            wide.push_back(cp);
        }
    }
    flush();
    out += '\'';
}

class Writer {
public:
    // A new entity #n = the pieces' text; returns n.
    template <class... Pieces>
    std::size_t add(const Pieces&... pieces) {
        data_ += '#';
        data_ += std::to_string(++count_);
        data_ += '=';
        (data_.append(std::string_view(pieces)), ...);
        data_ += ";\n";
        return count_;
    }
    std::size_t next() const { return count_ + 1; }
    const std::string& data() const { return data_; }

private:
    std::string data_;
    std::size_t count_ = 0;
};

std::string ref(std::size_t n) { return text::cat("#", std::to_string(n)); }

std::string refs(const std::vector<std::size_t>& ns) {
    std::string s = "(";
    for (std::size_t i = 0; i < ns.size(); ++i) {
        if (i) s += ',';
        s += ref(ns[i]);
    }
    return s + ")";
}

std::string triple(const double* v) {
    std::string s = "(";
    for (int i = 0; i < 3; ++i) {
        if (i) s += ',';
        append_real(s, v[i]);
    }
    return s + ")";
}

// A direction of the file: the vector's nearest doubles scaled to length 1.
std::string direction(const Point3& v) {
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = rational_to_double(v[i]);
    const double m = std::max({std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])});
    double len = 0;
    for (double& c : d) {
        c /= m;  // first to the largest component 1, so no square overflows
        len += c * c;
    }
    len = std::sqrt(len);
    for (double& c : d) c /= len;
    return text::cat("DIRECTION('',", triple(d), ")");
}

Rational shell_volume6(const topo::Topology& t, const topo::LogicalFace& f) {
    Rational v;
    for (const auto& loop : f.loops) {
        const Point3& o = t.points[loop[0]];
        for (std::size_t i = 1; i + 1 < loop.size(); ++i)
            v += dot(o, cross(t.points[loop[i]], t.points[loop[i + 1]]));
    }
    return v;
}

}  // namespace

std::string write_step(const topo::Topology& t, const std::string& name) {
    if (t.open_segments != 0)
        throw InputError("the surface is not closed, so it bounds no solid for a STEP file");
    std::size_t shells = 0;
    const std::vector<std::uint32_t> shell_of = topo::shells_of(t, &shells);
    std::vector<std::vector<std::uint32_t>> faces_of(shells);
    std::vector<Rational> volume(shells);
    for (std::uint32_t f = 0; f < t.faces.size(); ++f) {
        poll_interrupt();
        faces_of[shell_of[f]].push_back(f);
        volume[shell_of[f]] += shell_volume6(t, t.faces[f]);
    }
    // Shells bounding material from outside have positive volume; the
    // others are voids, each inside the smallest outer shell whose box holds
    // its box.
    std::vector<std::array<double, 6>> box(shells, {INFINITY, INFINITY, INFINITY, -INFINITY,
                                                    -INFINITY, -INFINITY});
    for (std::uint32_t f = 0; f < t.faces.size(); ++f)
        for (std::uint32_t p : t.faces[f].loops[0])
            for (int i = 0; i < 3; ++i) {
                auto& b = box[shell_of[f]];
                b[i] = std::min(b[i], t.approx[p][i]);
                b[i + 3] = std::max(b[i + 3], t.approx[p][i]);
            }
    std::vector<std::vector<std::size_t>> voids(shells);
    for (std::size_t v = 0; v < shells; ++v) {
        if (volume[v].sign() >= 0) continue;
        std::size_t best = SIZE_MAX;
        for (std::size_t o = 0; o < shells; ++o) {
            if (volume[o].sign() <= 0) continue;
            bool holds = true;
            for (int i = 0; i < 3; ++i)
                holds = holds && box[o][i] <= box[v][i] && box[v][i + 3] <= box[o][i + 3];
            if (holds && (best == SIZE_MAX || volume[o] < volume[best])) best = o;
        }
        if (best == SIZE_MAX) throw InputError("a void of the solid lies in no outer shell");
        voids[best].push_back(v);
    }

    Writer w;
    const std::size_t app = w.add("APPLICATION_CONTEXT('core data for automotive mechanical design processes')");
    w.add("APPLICATION_PROTOCOL_DEFINITION('international standard','automotive_design',2000,", ref(app), ")");
    const std::size_t pctx = w.add("PRODUCT_CONTEXT('',", ref(app), ",'mechanical')");
    std::string quoted;
    append_string(quoted, name);
    const std::size_t product = w.add("PRODUCT(", quoted, ",", quoted, ",'',", "(", ref(pctx), "))");
    w.add("PRODUCT_RELATED_PRODUCT_CATEGORY('part',$,(", ref(product), "))");
    const std::size_t dctx = w.add("PRODUCT_DEFINITION_CONTEXT('part definition',", ref(app), ",'design')");
    const std::size_t form = w.add("PRODUCT_DEFINITION_FORMATION('','',", ref(product), ")");
    const std::size_t def = w.add("PRODUCT_DEFINITION('design','',", ref(form), ",", ref(dctx), ")");
    const std::size_t shape = w.add("PRODUCT_DEFINITION_SHAPE('','',", ref(def), ")");
    const std::size_t length = w.add("(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.))");
    const std::size_t angle = w.add("(NAMED_UNIT(*)PLANE_ANGLE_UNIT()SI_UNIT($,.RADIAN.))");
    const std::size_t solid_angle = w.add("(NAMED_UNIT(*)SI_UNIT($,.STERADIAN.)SOLID_ANGLE_UNIT())");
    const std::size_t uncertainty = w.add(
        "UNCERTAINTY_MEASURE_WITH_UNIT(LENGTH_MEASURE(1.E-07),", ref(length) +
        ",'distance_accuracy_value','confusion accuracy')");
    const std::size_t context = w.add(
        "(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNCERTAINTY_ASSIGNED_CONTEXT((" +
        ref(uncertainty), "))GLOBAL_UNIT_ASSIGNED_CONTEXT((", ref(length), ",", ref(angle) +
        ",", ref(solid_angle), "))REPRESENTATION_CONTEXT('Context #1','3D Context with UNIT and UNCERTAINTY'))");

    // Vertices and edges, each once. The file holds doubles: points that
    // round to the same doubles are one vertex there, and an edge between
    // two such points is left out of its loops (it has no length there).
    std::map<Approx, std::size_t> vertex;
    auto vertex_of = [&](std::uint32_t p) {
        std::size_t& v = vertex[t.approx[p]];
        if (!v) {
            const std::size_t cp = w.add("CARTESIAN_POINT('',", triple(t.approx[p].data()), ")");
            v = w.add("VERTEX_POINT('',", ref(cp), ")");
        }
        return v;
    };
    auto vanishes = [&](std::uint32_t e) { return t.approx[t.edges[e].a] == t.approx[t.edges[e].b]; };
    // One curve per pair of vertices of the file: where a sliver face
    // rounds away, the edges on its two sides become one.
    struct Curve {
        std::size_t id, start;
    };
    std::map<std::pair<std::size_t, std::size_t>, Curve> curve;
    // The oriented edge for the step from point p to point q along edge e.
    auto oriented_edge = [&](std::uint32_t e, std::uint32_t p, std::uint32_t q) {
        const std::size_t vp = vertex_of(p), vq = vertex_of(q);
        auto [it, fresh] = curve.try_emplace({std::min(vp, vq), std::max(vp, vq)}, Curve{0, vp});
        if (fresh) {
            const topo::LogicalEdge& le = t.edges[e];
            const std::uint32_t a = vp == vertex_of(le.a) ? le.a : le.b;
            const std::uint32_t b = a == le.a ? le.b : le.a;
            const std::size_t at = w.add("CARTESIAN_POINT('',", triple(t.approx[a].data()), ")");
            const std::size_t dir = w.add(direction(t.points[b] - t.points[a]));
            double len = 0;
            for (int i = 0; i < 3; ++i) {
                const double d = t.approx[b][i] - t.approx[a][i];
                len += d * d;
            }
            std::string l;
            append_real(l, std::sqrt(len));
            const std::size_t vec = w.add("VECTOR('',", ref(dir), ",", l, ")");
            const std::size_t line = w.add("LINE('',", ref(at), ",", ref(vec), ")");
            it->second.id = w.add("EDGE_CURVE('',", ref(vp), ",", ref(vq), ",", ref(line), ",.T.)");
        }
        return w.add("ORIENTED_EDGE('',*,*,", ref(it->second.id), ",",
                     it->second.start == vp ? ".T." : ".F.", ")");
    };
    // One face; `flip` writes it turned over (a void's shell is written as
    // the solid it would bound, then referred to reversed).
    auto face_of = [&](std::uint32_t fi, bool flip) {
        poll_interrupt();
        const topo::LogicalFace& f = t.faces[fi];
        std::vector<std::size_t> bounds;
        for (std::size_t l = 0; l < f.loops.size(); ++l) {
            const auto& loop = f.loops[l];
            std::vector<std::size_t> oriented;
            const std::size_t k = loop.size();
            for (std::size_t j = 0; j < k; ++j) {
                // The step from loop[i] to the next point the way it is
                // written; turned over, the loop runs backwards.
                const std::size_t i = flip ? k - 1 - j : j;
                const std::uint32_t e = f.loop_edges[l][flip ? (i + k - 1) % k : i];
                if (e == topo::kNoEdge) throw InputError("a face's edge has no face across it");
                if (vanishes(e)) continue;
                const std::uint32_t next = flip ? loop[(i + k - 1) % k] : loop[(i + 1) % k];
                oriented.push_back(oriented_edge(e, loop[i], next));
            }
            if (oriented.size() < 3) {
                if (l == 0) return std::size_t(0);  // the whole face rounds to a line
                continue;
            }
            const std::size_t el = w.add("EDGE_LOOP('',", refs(oriented), ")");
            bounds.push_back(w.add(l == 0 ? "FACE_OUTER_BOUND" : "FACE_BOUND", "('',",
                                   ref(el), ",.T.)"));
        }
        const Point3 n(flip ? -f.plane[0] : f.plane[0], flip ? -f.plane[1] : f.plane[1],
                       flip ? -f.plane[2] : f.plane[2]);
        const std::uint32_t p0 = f.loops[0][0], p1 = f.loops[0][1];
        const std::size_t origin = w.add("CARTESIAN_POINT('',", triple(t.approx[p0].data()), ")");
        const std::size_t axis = w.add(direction(n));
        const std::size_t ref_dir = w.add(direction(t.points[p1] - t.points[p0]));
        const std::size_t place = w.add("AXIS2_PLACEMENT_3D('',", ref(origin), ",", ref(axis), ",", ref(ref_dir), ")");
        const std::size_t plane = w.add("PLANE('',", ref(place), ")");
        std::string label;
        for (const std::string& s : f.labels) label += (label.empty() ? "" : ",") + s;
        std::string named;
        append_string(named, label);
        return w.add("ADVANCED_FACE(", named, ",", refs(bounds), ",", ref(plane), ",.T.)");
    };
    auto closed_shell = [&](std::size_t sh, bool flip) {
        std::vector<std::size_t> faces;
        for (std::uint32_t f : faces_of[sh])
            if (const std::size_t face = face_of(f, flip)) faces.push_back(face);
        return w.add("CLOSED_SHELL('',", refs(faces), ")");
    };
    std::vector<std::size_t> items;
    for (std::size_t sh = 0; sh < shells; ++sh) {
        if (volume[sh].sign() <= 0) continue;
        const std::size_t outer = closed_shell(sh, false);
        if (voids[sh].empty()) {
            items.push_back(w.add("MANIFOLD_SOLID_BREP('',", ref(outer), ")"));
            continue;
        }
        std::vector<std::size_t> inner;
        for (std::size_t v : voids[sh])
            inner.push_back(w.add("ORIENTED_CLOSED_SHELL('',*,", ref(closed_shell(v, true)), ",.F.)"));
        items.push_back(w.add("BREP_WITH_VOIDS('',", ref(outer), ",", refs(inner), ")"));
    }
    const std::size_t origin = w.add("CARTESIAN_POINT('',(0.,0.,0.))");
    const std::size_t z = w.add("DIRECTION('',(0.,0.,1.))");
    const std::size_t x = w.add("DIRECTION('',(1.,0.,0.))");
    items.push_back(w.add("AXIS2_PLACEMENT_3D('',", ref(origin), ",", ref(z), ",", ref(x), ")"));
    const std::size_t rep = w.add("ADVANCED_BREP_SHAPE_REPRESENTATION(", quoted, ",", refs(items), ",", ref(context), ")");
    w.add("SHAPE_DEFINITION_REPRESENTATION(", ref(shape), ",", ref(rep), ")");

    std::string out = "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('a solid of planar faces'),'2;1');\nFILE_NAME(";
    out += quoted;
    out += ",'',(''),(''),'quillstone','quillstone','');\n"
           "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\nENDSEC;\nDATA;\n";
    out += w.data();
    out += "ENDSEC;\nEND-ISO-10303-21;\n";
    return out;
}

}  // namespace qs
