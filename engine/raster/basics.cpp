// Matrix, colour transform and surface basics.
#include <algorithm>
#include <cmath>

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

}  // namespace lumarel::raster
