// Matrix, colour transform and surface basics.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/raster/raster.h"

namespace lumarel::raster {

Matrix Matrix::Multiply(const Matrix& o) const {
    Matrix r;
    r.a = a * o.a + c * o.b;
    r.b = b * o.a + d * o.b;
    r.c = a * o.c + c * o.d;
    r.d = b * o.c + d * o.d;
    r.tx = a * o.tx + c * o.ty + tx;
    r.ty = b * o.tx + d * o.ty + ty;
    return r;
}

bool Matrix::IsFinite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(tx) &&
           std::isfinite(ty);
}

bool Matrix::Invert(Matrix& out) const {
    if (!IsFinite()) return false;
    const double det = Determinant();
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
    const double inv = 1.0 / det;
    Matrix r;
    r.a = d * inv;
    r.b = -b * inv;
    r.c = -c * inv;
    r.d = a * inv;
    r.tx = -(r.a * tx + r.c * ty);
    r.ty = -(r.b * tx + r.d * ty);
    if (!r.IsFinite()) return false;
    out = r;
    return true;
}

Matrix Matrix::Inverted() const {
    Matrix r;
    Invert(r);
    return r;
}

namespace {
uint8_t ClampChannel(double v) {
    if (!(v > 0)) return 0;  // also catches NaN
    if (v >= 255) return 255;
    return static_cast<uint8_t>(v + 0.5);
}
}  // namespace

Rgba ColorTransform::Apply(Rgba c) const {
    Rgba o;
    o.r = ClampChannel(c.r * rm + ra);
    o.g = ClampChannel(c.g * gm + ga);
    o.b = ClampChannel(c.b * bm + ba);
    o.a = ClampChannel(c.a * am + aa);
    return o;
}

ColorTransform ColorTransform::Concat(const ColorTransform& in) const {
    ColorTransform r;
    r.rm = rm * in.rm;
    r.gm = gm * in.gm;
    r.bm = bm * in.bm;
    r.am = am * in.am;
    r.ra = ra + rm * in.ra;
    r.ga = ga + gm * in.ga;
    r.ba = ba + bm * in.ba;
    r.aa = aa + am * in.aa;
    return r;
}

bool ColorTransform::IsIdentity() const {
    return rm == 1 && gm == 1 && bm == 1 && am == 1 && ra == 0 && ga == 0 && ba == 0 && aa == 0;
}

uint32_t Premultiply(Rgba c) {
    const uint32_t a = c.a;
    auto m = [a](uint32_t v) {
        const uint32_t t = v * a + 128;
        return (t + (t >> 8)) >> 8;
    };
    return (a << 24) | (m(c.r) << 16) | (m(c.g) << 8) | m(c.b);
}

Surface::Surface(int w, int h)
    : w_(std::clamp(w, 0, 32767)),
      h_(std::clamp(h, 0, 32767)),
      pixels_(static_cast<size_t>(w_) * static_cast<size_t>(h_), 0u) {}

void Surface::Clear(Rgba c) { std::fill(pixels_.begin(), pixels_.end(), Premultiply(c)); }

uint32_t BlendPixel(uint32_t src, uint32_t dst, Blend mode) {
    const int sa = static_cast<int>(src >> 24), da = static_cast<int>(dst >> 24);
    auto div = [](int v) { return (v + 127) / 255; };
    auto ch = [](uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); };
    auto scale = [&](uint32_t p, int a) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) out |= static_cast<uint32_t>(div(ch(p, shift) * a)) << shift;
        return out;
    };
    switch (mode) {
        case Blend::Normal:
        case Blend::Layer:
            return src + scale(dst, 255 - sa);
        case Blend::Alpha:  // the layer below keeps its pixels where the object is opaque
            return scale(dst, sa);
        case Blend::Erase:  // and loses them there
            return scale(dst, 255 - sa);
        default:
            break;
    }
    const int ra = mode == Blend::Invert ? da : sa + da - div(sa * da);
    uint32_t out = static_cast<uint32_t>(std::clamp(ra, 0, 255)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const int sc = ch(src, shift), dc = ch(dst, shift);
        int v = 0;
        switch (mode) {
            case Blend::Add:
                v = sc + dc;
                break;
            case Blend::Subtract:
                v = dc - sc;
                break;
            case Blend::Invert:
                v = div(dc * (255 - sa)) + div((da - dc) * sa);
                break;
            default: {
                // Separable modes: what is covered by only one of the two keeps that one's colour;
                // where both are, the mode's function of the two colours, in premultiplied terms.
                int both;
                switch (mode) {
                    case Blend::Multiply:
                        both = sc * dc;
                        break;
                    case Blend::Screen:
                        both = sc * da + dc * sa - sc * dc;
                        break;
                    case Blend::Lighten:
                        both = std::max(sc * da, dc * sa);
                        break;
                    case Blend::Darken:
                        both = std::min(sc * da, dc * sa);
                        break;
                    case Blend::Difference:
                        both = std::abs(sc * da - dc * sa);
                        break;
                    case Blend::Overlay:
                        both = 2 * dc < da ? 2 * sc * dc : sa * da - 2 * (da - dc) * (sa - sc);
                        break;
                    case Blend::Hardlight:
                        both = 2 * sc < sa ? 2 * sc * dc : sa * da - 2 * (da - dc) * (sa - sc);
                        break;
                    default:
                        both = sc * 255;
                        break;
                }
                v = div(sc * (255 - da)) + div(dc * (255 - sa)) + div(both);
            }
        }
        out |= static_cast<uint32_t>(std::clamp(v, 0, std::clamp(ra, 0, 255))) << shift;
    }
    return out;
}

bool ShapeContains(const Shape& shape, double px, double py) {
    constexpr int kCurveSteps = 16;
    std::vector<int> winding;
    for (const Layer& layer : shape.layers) {
        winding.assign(layer.fills.size() + 1, 0);
        bool stroked = false;
        for (const Edge& e : layer.edges) {
            const int steps = e.kind == Edge::Kind::Quad ? kCurveSteps : 1;
            const double halfWidth =
                e.line && e.line <= layer.strokes.size() ? std::max(layer.strokes[e.line - 1].width, 20.0) / 2 : -1;
            double ax = e.x0, ay = e.y0;
            for (int k = 1; k <= steps; ++k) {
                double bx = e.x1, by = e.y1;
                if (k < steps) {
                    const double t = double(k) / steps, u = 1 - t;
                    bx = u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1;
                    by = u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1;
                }
                // A crossing of the ray to the right of the point: walking down the screen the
                // edge has its left style on the ray's side, walking up its right style.
                if ((ay <= py) != (by <= py)) {
                    const double cx = ax + (py - ay) * (bx - ax) / (by - ay);
                    if (cx > px) {
                        const int dir = by > ay ? 1 : -1;
                        if (e.fill0 && e.fill0 < winding.size()) winding[e.fill0] += dir;
                        if (e.fill1 && e.fill1 < winding.size()) winding[e.fill1] -= dir;
                    }
                }
                if (halfWidth > 0 && !stroked) {
                    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
                    const double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0;
                    const double ex = ax + t * dx - px, ey = ay + t * dy - py;
                    stroked = ex * ex + ey * ey <= halfWidth * halfWidth;
                }
                ax = bx;
                ay = by;
            }
        }
        if (stroked) return true;
        for (size_t s = 1; s < winding.size(); ++s)
            if (layer.evenOdd ? (winding[s] & 1) : winding[s] != 0) return true;
    }
    return false;
}

}  // namespace lumarel::raster
