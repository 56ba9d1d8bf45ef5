// Shape-building helpers for the raster tests. Coordinates are in pixels; shapes are built in
// twips (x20) and drawn with the matching device matrix so the SWF units are exercised.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/raster/raster.h"

namespace rt {

using namespace lumarel::raster;

inline Matrix PxMatrix() {
    Matrix m;
    m.a = m.d = 1.0 / 20.0;
    return m;
}

inline Edge Line(double x0, double y0, double x1, double y1, uint16_t f0, uint16_t f1, uint16_t line = 0) {
    Edge e;
    e.kind = Edge::Kind::Line;
    e.x0 = static_cast<float>(x0 * 20);
    e.y0 = static_cast<float>(y0 * 20);
    e.x1 = static_cast<float>(x1 * 20);
    e.y1 = static_cast<float>(y1 * 20);
    e.fill0 = f0;
    e.fill1 = f1;
    e.line = line;
    return e;
}

inline Edge Quad(double x0, double y0, double cx, double cy, double x1, double y1, uint16_t f0, uint16_t f1,
                 uint16_t line = 0) {
    Edge e = Line(x0, y0, x1, y1, f0, f1, line);
    e.kind = Edge::Kind::Quad;
    e.cx = static_cast<float>(cx * 20);
    e.cy = static_cast<float>(cy * 20);
    return e;
}

// Rectangle walked clockwise on screen (y down): its inside is on the right, so `right` is the
// style inside and `left` the one outside.
inline void AddRect(std::vector<Edge>& out, double x0, double y0, double x1, double y1, uint16_t left, uint16_t right,
                    uint16_t line = 0) {
    out.push_back(Line(x0, y0, x1, y0, left, right, line));
    out.push_back(Line(x1, y0, x1, y1, left, right, line));
    out.push_back(Line(x1, y1, x0, y1, left, right, line));
    out.push_back(Line(x0, y1, x0, y0, left, right, line));
}

inline Paint Solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    Paint p;
    p.kind = Paint::Kind::Solid;
    p.color = Rgba{r, g, b, a};
    return p;
}

inline Shape RectShape(double x0, double y0, double x1, double y1, Paint p) {
    Shape s;
    s.layers.emplace_back();
    s.layers[0].fills.push_back(p);
    AddRect(s.layers[0].edges, x0, y0, x1, y1, 0, 1);
    return s;
}

inline uint32_t A(uint32_t p) { return p >> 24; }
inline uint32_t R(uint32_t p) { return (p >> 16) & 255; }
inline uint32_t G(uint32_t p) { return (p >> 8) & 255; }
inline uint32_t B(uint32_t p) { return p & 255; }

inline int MaxChannelDiff(uint32_t p, uint32_t q) {
    int d = 0;
    for (int s = 0; s < 32; s += 8) {
        const int a = static_cast<int>((p >> s) & 255), b = static_cast<int>((q >> s) & 255);
        d = std::max(d, a > b ? a - b : b - a);
    }
    return d;
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

}  // namespace rt
