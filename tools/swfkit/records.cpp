// Numbers, the bit writer and the basic records (RGB/RGBA, RECT, MATRIX, CXFORM).
#include "tools/swfkit/swfkit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumarel::swfkit {

std::int32_t px(double pixels) {
    return static_cast<std::int32_t>(std::lround(pixels * 20.0));
}

unsigned bitsUnsigned(std::uint32_t value) {
    unsigned n = 0;
    while (value != 0) {
        ++n;
        value >>= 1;
    }
    return n;
}

unsigned bitsSigned(std::int32_t value) {
    if (value == 0) return 0;
    // A negative value needs as many bits as its complement, plus the sign.
    const std::uint32_t magnitude =
        value < 0 ? ~static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    return bitsUnsigned(magnitude) + 1;
}

std::int32_t toFixed16(double v) {
    const double f = std::round(v * 65536.0);
    if (!(f > static_cast<double>(std::numeric_limits<std::int32_t>::min())))
        return std::numeric_limits<std::int32_t>::min();
    if (f >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(f);
}

std::int16_t toFixed8(double v) {
    const double f = std::round(v * 256.0);
    if (!(f > -32768.0)) return -32768;
    if (f >= 32767.0) return 32767;
    return static_cast<std::int16_t>(f);
}

// ---------------------------------------------------------------------------------------------

void BitWriter::ub(std::uint32_t value, unsigned nbits) {
    for (unsigned i = nbits; i-- > 0;) {
        if (used_ == 0) buf_.push_back(0);
        if ((value >> i) & 1u) buf_.back() = static_cast<std::uint8_t>(buf_.back() | (0x80u >> used_));
        used_ = (used_ + 1) & 7u;
    }
}

void BitWriter::sb(std::int32_t value, unsigned nbits) {
    ub(static_cast<std::uint32_t>(value), nbits);
}

void BitWriter::align() { used_ = 0; }

void BitWriter::u8(std::uint8_t v) {
    align();
    buf_.push_back(v);
}

void BitWriter::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}

void BitWriter::u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
}

void BitWriter::str(std::string_view s) {
    align();
    buf_.insert(buf_.end(), s.begin(), s.end());
    buf_.push_back(0);
}

void BitWriter::bytes(const Bytes& b) { bytes(b.data(), b.size()); }

void BitWriter::bytes(const std::uint8_t* p, std::size_t n) {
    align();
    buf_.insert(buf_.end(), p, p + n);
}

// ---------------------------------------------------------------------------------------------

Rgba Rgba::mix(Rgba x, Rgba y, double t) {
    auto m = [t](std::uint8_t p, std::uint8_t q) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(p + (q - p) * t), 0L, 255L));
    };
    return Rgba{m(x.r, y.r), m(x.g, y.g), m(x.b, y.b), m(x.a, y.a)};
}

Rgba Rgba::hsv(double h, double s, double v, std::uint8_t alpha) {
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360.0;
    const double c = v * s;
    const double x = c * (1 - std::fabs(std::fmod(h / 60.0, 2.0) - 1));
    const double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h / 60.0)) {
        case 0: r = c; g = x; break;
        case 1: r = x; g = c; break;
        case 2: g = c; b = x; break;
        case 3: g = x; b = c; break;
        case 4: r = x; b = c; break;
        default: r = c; b = x; break;
    }
    auto q = [m](double u) {
        return static_cast<std::uint8_t>(std::clamp(std::lround((u + m) * 255.0), 0L, 255L));
    };
    return Rgba{q(r), q(g), q(b), alpha};
}

Rect Rect::pixels(double x, double y, double w, double h) {
    return Rect{px(x), px(x + w), px(y), px(y + h)};
}

Matrix Matrix::translate(std::int32_t x, std::int32_t y) {
    Matrix m;
    m.tx = x;
    m.ty = y;
    return m;
}

Matrix Matrix::scale(double sx, double sy) {
    Matrix m;
    m.a = sx;
    m.d = sy;
    return m;
}

Matrix Matrix::rotate(double radians) {
    Matrix m;
    m.a = std::cos(radians);
    m.b = std::sin(radians);
    m.c = -std::sin(radians);
    m.d = std::cos(radians);
    return m;
}

Matrix Matrix::skew(double kx, double ky) {
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

Matrix Matrix::gradientBox(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                           double radians) {
    const auto cx = static_cast<std::int32_t>(x + w / 2);
    const auto cy = static_cast<std::int32_t>(y + h / 2);
    // Rotate the square first, then stretch it to the box: a linear ramp at a quarter turn
    // then spans the box's height, and a round gradient in a square box keeps its size.
    return translate(cx, cy) * scale(w / 32768.0, h / 32768.0) * rotate(radians);
}

Matrix Matrix::bitmapAt(std::int32_t x, std::int32_t y, double s) {
    return translate(x, y) * scale(20.0 * s);
}

namespace {
std::int16_t clampTerm(long v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
}
}  // namespace

ColorTransform ColorTransform::multiply(double r, double g, double b, double a) {
    ColorTransform c;
    c.mr = clampTerm(std::lround(r * 256));
    c.mg = clampTerm(std::lround(g * 256));
    c.mb = clampTerm(std::lround(b * 256));
    c.ma = clampTerm(std::lround(a * 256));
    return c;
}

ColorTransform ColorTransform::add(int r, int g, int b, int a) {
    ColorTransform c;
    c.ar = clampTerm(r);
    c.ag = clampTerm(g);
    c.ab = clampTerm(b);
    c.aa = clampTerm(a);
    return c;
}

ColorTransform ColorTransform::tint(Rgba colour, double amount) {
    ColorTransform c = multiply(1 - amount, 1 - amount, 1 - amount, 1);
    c.ar = clampTerm(std::lround(colour.r * amount));
    c.ag = clampTerm(std::lround(colour.g * amount));
    c.ab = clampTerm(std::lround(colour.b * amount));
    return c;
}

// ---------------------------------------------------------------------------------------------

void writeRgb(BitWriter& w, Rgba c) {
    w.u8(c.r);
    w.u8(c.g);
    w.u8(c.b);
}

void writeRgba(BitWriter& w, Rgba c) {
    writeRgb(w, c);
    w.u8(c.a);
}

void writeRect(BitWriter& w, const Rect& r) {
    const unsigned n = std::max({bitsSigned(r.xmin), bitsSigned(r.xmax), bitsSigned(r.ymin),
                                 bitsSigned(r.ymax)});
    w.align();
    w.ub(n, 5);
    w.sb(r.xmin, n);
    w.sb(r.xmax, n);
    w.sb(r.ymin, n);
    w.sb(r.ymax, n);
    w.align();
}

void writeMatrix(BitWriter& w, const Matrix& m) {
    w.align();
    const std::int32_t a = toFixed16(m.a), b = toFixed16(m.b), c = toFixed16(m.c),
                       d = toFixed16(m.d);
    const bool hasScale = a != 65536 || d != 65536;
    w.ub(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const unsigned n = std::max(bitsSigned(a), bitsSigned(d));
        w.ub(n, 5);
        w.fb(a, n);
        w.fb(d, n);
    }
    const bool hasRotate = b != 0 || c != 0;
    w.ub(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const unsigned n = std::max(bitsSigned(b), bitsSigned(c));
        w.ub(n, 5);
        w.fb(b, n);
        w.fb(c, n);
    }
    const unsigned n = std::max(bitsSigned(m.tx), bitsSigned(m.ty));
    w.ub(n, 5);
    w.sb(m.tx, n);
    w.sb(m.ty, n);
    w.align();
}

namespace {
// CXFORM terms live in at most 15-bit fields (Nbits is UB[4]).
std::int16_t fit15(std::int16_t v) {
    return static_cast<std::int16_t>(std::clamp<int>(v, -16384, 16383));
}

void writeCx(BitWriter& w, const ColorTransform& cx, bool alpha) {
    w.align();
    const std::int16_t mult[4] = {fit15(cx.mr), fit15(cx.mg), fit15(cx.mb), fit15(cx.ma)};
    const std::int16_t add[4] = {fit15(cx.ar), fit15(cx.ag), fit15(cx.ab), fit15(cx.aa)};
    const int count = alpha ? 4 : 3;
    bool hasMult = false, hasAdd = false;
    unsigned n = 0;
    for (int i = 0; i < count; ++i) {
        if (mult[i] != 256) hasMult = true;
        if (add[i] != 0) hasAdd = true;
    }
    for (int i = 0; i < count; ++i) {
        if (hasMult) n = std::max(n, bitsSigned(mult[i]));
        if (hasAdd) n = std::max(n, bitsSigned(add[i]));
    }
    w.ub(hasAdd ? 1 : 0, 1);
    w.ub(hasMult ? 1 : 0, 1);
    w.ub(n, 4);
    if (hasMult)
        for (int i = 0; i < count; ++i) w.sb(mult[i], n);
    if (hasAdd)
        for (int i = 0; i < count; ++i) w.sb(add[i], n);
    w.align();
}
}  // namespace

void writeCxform(BitWriter& w, const ColorTransform& cx) { writeCx(w, cx, false); }
void writeCxformWithAlpha(BitWriter& w, const ColorTransform& cx) { writeCx(w, cx, true); }

}  // namespace lumarel::swfkit
