// Numbers, the bit writer and the basic records (RGB/RGBA, RECT, MATRIX, CXFORM).
#include "tools/swfkit/swfkit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumarel::swfkit {

std::int32_t Px(double pixels) { return static_cast<std::int32_t>(std::lround(pixels * 20.0)); }

unsigned BitsUnsigned(std::uint32_t value) {
    unsigned n = 0;
    while (value != 0) {
        ++n;
        value >>= 1;
    }
    return n;
}

unsigned BitsSigned(std::int32_t value) {
    if (value == 0) return 0;
    // A negative value needs as many bits as its complement, plus the sign.
    const std::uint32_t magnitude = value < 0 ? ~static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    return BitsUnsigned(magnitude) + 1;
}

std::int32_t ToFixed16(double v) {
    const double f = std::round(v * 65536.0);
    if (!(f > static_cast<double>(std::numeric_limits<std::int32_t>::min())))
        return std::numeric_limits<std::int32_t>::min();
    if (f >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(f);
}

std::int16_t ToFixed8(double v) {
    const double f = std::round(v * 256.0);
    if (!(f > -32768.0)) return -32768;
    if (f >= 32767.0) return 32767;
    return static_cast<std::int16_t>(f);
}

// ---------------------------------------------------------------------------------------------

BitWriter& BitWriter::Ub(std::uint32_t value, unsigned nbits) {
    for (unsigned i = nbits; i-- > 0;) {
        if (used_ == 0) buf_.push_back(0);
        if ((value >> i) & 1u) buf_.back() = static_cast<std::uint8_t>(buf_.back() | (0x80u >> used_));
        used_ = (used_ + 1) & 7u;
    }
    return *this;
}

BitWriter& BitWriter::Sb(std::int32_t value, unsigned nbits) { return Ub(static_cast<std::uint32_t>(value), nbits); }

BitWriter& BitWriter::Align() {
    used_ = 0;
    return *this;
}

BitWriter& BitWriter::U8(std::uint8_t v) {
    Align();
    buf_.push_back(v);
    return *this;
}

BitWriter& BitWriter::U16(std::uint16_t v) {
    return U8(static_cast<std::uint8_t>(v)).U8(static_cast<std::uint8_t>(v >> 8));
}

BitWriter& BitWriter::U32(std::uint32_t v) {
    return U16(static_cast<std::uint16_t>(v)).U16(static_cast<std::uint16_t>(v >> 16));
}

BitWriter& BitWriter::Str(std::string_view s) {
    Align();
    buf_.insert(buf_.end(), s.begin(), s.end());
    buf_.push_back(0);
    return *this;
}

BitWriter& BitWriter::Append(const Bytes& b) { return Append(b.data(), b.size()); }

BitWriter& BitWriter::Append(const std::uint8_t* p, std::size_t n) {
    Align();
    buf_.insert(buf_.end(), p, p + n);
    return *this;
}

// ---------------------------------------------------------------------------------------------

Rgba Rgba::Mix(Rgba x, Rgba y, double t) {
    auto m = [t](std::uint8_t p, std::uint8_t q) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(p + (q - p) * t), 0L, 255L));
    };
    return Rgba{m(x.r, y.r), m(x.g, y.g), m(x.b, y.b), m(x.a, y.a)};
}

Rgba Rgba::Hsv(double h, double s, double v, std::uint8_t alpha) {
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360.0;
    const double c = v * s;
    const double x = c * (1 - std::fabs(std::fmod(h / 60.0, 2.0) - 1));
    const double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h / 60.0)) {
        case 0:
            r = c;
            g = x;
            break;
        case 1:
            r = x;
            g = c;
            break;
        case 2:
            g = c;
            b = x;
            break;
        case 3:
            g = x;
            b = c;
            break;
        case 4:
            r = x;
            b = c;
            break;
        default:
            r = c;
            b = x;
            break;
    }
    auto q = [m](double u) { return static_cast<std::uint8_t>(std::clamp(std::lround((u + m) * 255.0), 0L, 255L)); };
    return Rgba{q(r), q(g), q(b), alpha};
}

Rect Rect::Pixels(double x, double y, double w, double h) { return Rect{Px(x), Px(x + w), Px(y), Px(y + h)}; }

Matrix Matrix::Translate(std::int32_t x, std::int32_t y) {
    Matrix m;
    m.tx = x;
    m.ty = y;
    return m;
}

Matrix Matrix::Scale(double sx, double sy) {
    Matrix m;
    m.a = sx;
    m.d = sy;
    return m;
}

Matrix Matrix::Rotate(double radians) {
    Matrix m;
    m.a = std::cos(radians);
    m.b = std::sin(radians);
    m.c = -std::sin(radians);
    m.d = std::cos(radians);
    return m;
}

Matrix Matrix::Skew(double kx, double ky) {
    Matrix m;
    m.c = kx;
    m.b = ky;
    return m;
}

Matrix Matrix::operator*(const Matrix& o) const {
    Matrix r;
    r.a = a * o.a + c * o.b;
    r.b = b * o.a + d * o.b;
    r.c = a * o.c + c * o.d;
    r.d = b * o.c + d * o.d;
    r.tx = static_cast<std::int32_t>(std::lround(a * o.tx + c * o.ty + tx));
    r.ty = static_cast<std::int32_t>(std::lround(b * o.tx + d * o.ty + ty));
    return r;
}

Matrix Matrix::GradientBox(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, double radians) {
    const auto cx = static_cast<std::int32_t>(x + w / 2);
    const auto cy = static_cast<std::int32_t>(y + h / 2);
    // Rotate the square first, then stretch it to the box: a linear ramp at a quarter turn
    // then spans the box's height, and a round gradient in a square box keeps its size.
    return Translate(cx, cy) * Scale(w / 32768.0, h / 32768.0) * Rotate(radians);
}

Matrix Matrix::BitmapAt(std::int32_t x, std::int32_t y, double s) { return Translate(x, y) * Scale(20.0 * s); }

namespace {
std::int16_t ClampTerm(long v) { return static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L)); }
}  // namespace

ColorTransform ColorTransform::Multiply(double r, double g, double b, double a) {
    ColorTransform c;
    c.mr = ClampTerm(std::lround(r * 256));
    c.mg = ClampTerm(std::lround(g * 256));
    c.mb = ClampTerm(std::lround(b * 256));
    c.ma = ClampTerm(std::lround(a * 256));
    return c;
}

ColorTransform ColorTransform::Add(int r, int g, int b, int a) {
    ColorTransform c;
    c.ar = ClampTerm(r);
    c.ag = ClampTerm(g);
    c.ab = ClampTerm(b);
    c.aa = ClampTerm(a);
    return c;
}

ColorTransform ColorTransform::Tint(Rgba colour, double amount) {
    ColorTransform c = Multiply(1 - amount, 1 - amount, 1 - amount, 1);
    c.ar = ClampTerm(std::lround(colour.r * amount));
    c.ag = ClampTerm(std::lround(colour.g * amount));
    c.ab = ClampTerm(std::lround(colour.b * amount));
    return c;
}

// ---------------------------------------------------------------------------------------------

void WriteRgb(BitWriter& w, Rgba c) {
    w.U8(c.r);
    w.U8(c.g);
    w.U8(c.b);
}

void WriteRgba(BitWriter& w, Rgba c) {
    WriteRgb(w, c);
    w.U8(c.a);
}

void WriteRect(BitWriter& w, const Rect& r) {
    WriteRect(w, r, std::max({BitsSigned(r.xmin), BitsSigned(r.xmax), BitsSigned(r.ymin), BitsSigned(r.ymax)}));
}

void WriteRect(BitWriter& w, const Rect& r, unsigned nbits) {
    w.Align().Ub(nbits, 5).Sb(r.xmin, nbits).Sb(r.xmax, nbits).Sb(r.ymin, nbits).Sb(r.ymax, nbits).Align();
}

void WriteMatrix(BitWriter& w, const Matrix& m) {
    w.Align();
    const std::int32_t a = ToFixed16(m.a), b = ToFixed16(m.b), c = ToFixed16(m.c), d = ToFixed16(m.d);
    const bool hasScale = a != 65536 || d != 65536;
    w.Ub(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const unsigned n = std::max(BitsSigned(a), BitsSigned(d));
        w.Ub(n, 5);
        w.Fb(a, n);
        w.Fb(d, n);
    }
    const bool hasRotate = b != 0 || c != 0;
    w.Ub(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const unsigned n = std::max(BitsSigned(b), BitsSigned(c));
        w.Ub(n, 5);
        w.Fb(b, n);
        w.Fb(c, n);
    }
    const unsigned n = std::max(BitsSigned(m.tx), BitsSigned(m.ty));
    w.Ub(n, 5);
    w.Sb(m.tx, n);
    w.Sb(m.ty, n);
    w.Align();
}

namespace {
// CXFORM terms live in at most 15-bit fields (Nbits is UB[4]).
std::int16_t Fit15(std::int16_t v) { return static_cast<std::int16_t>(std::clamp<int>(v, -16384, 16383)); }

void WriteCx(BitWriter& w, const ColorTransform& cx, bool alpha) {
    w.Align();
    const std::int16_t mult[4] = {Fit15(cx.mr), Fit15(cx.mg), Fit15(cx.mb), Fit15(cx.ma)};
    const std::int16_t add[4] = {Fit15(cx.ar), Fit15(cx.ag), Fit15(cx.ab), Fit15(cx.aa)};
    const int count = alpha ? 4 : 3;
    bool hasMult = false, hasAdd = false;
    unsigned n = 0;
    for (int i = 0; i < count; ++i) {
        if (mult[i] != 256) hasMult = true;
        if (add[i] != 0) hasAdd = true;
    }
    for (int i = 0; i < count; ++i) {
        if (hasMult) n = std::max(n, BitsSigned(mult[i]));
        if (hasAdd) n = std::max(n, BitsSigned(add[i]));
    }
    w.Ub(hasAdd ? 1 : 0, 1);
    w.Ub(hasMult ? 1 : 0, 1);
    w.Ub(n, 4);
    if (hasMult)
        for (int i = 0; i < count; ++i) w.Sb(mult[i], n);
    if (hasAdd)
        for (int i = 0; i < count; ++i) w.Sb(add[i], n);
    w.Align();
}
}  // namespace

void WriteCxform(BitWriter& w, const ColorTransform& cx) { WriteCx(w, cx, false); }
void WriteCxformWithAlpha(BitWriter& w, const ColorTransform& cx) { WriteCx(w, cx, true); }

}  // namespace lumarel::swfkit
