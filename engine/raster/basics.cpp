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

}  // namespace lumarel::raster
