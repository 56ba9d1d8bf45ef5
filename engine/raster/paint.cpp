#include "engine/raster/paint.h"

#include <algorithm>
#include <cmath>

#include "engine/raster/pixel.h"

#include "engine/raster/simd.h"

namespace lumarel::raster::detail {

namespace {

// sRGB <-> linear light, 8-bit in, 12-bit linear.
struct LinearTables {
    uint16_t toLinear[256];
    uint8_t toSrgbFloor[4096];  // floored, as the player's ramps are
    LinearTables() {
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            const double l = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            toLinear[i] = static_cast<uint16_t>(std::lround(l * 4095.0));
        }
        for (int i = 0; i < 4096; ++i) {
            const double l = i / 4095.0;
            const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
            toSrgbFloor[i] =
                static_cast<uint8_t>(std::clamp(static_cast<long>(std::floor(c * 255.0 + 1e-9)), 0L, 255L));
        }
    }
};

const LinearTables& Tables() {
    static const LinearTables t;
    return t;
}

inline uint32_t SpreadIndex(int64_t u, Spread s) {  // u: index in 16.16
    switch (s) {
        case Spread::Pad: {
            const int64_t i = u >> 16;
            return static_cast<uint32_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
        }
        case Spread::Repeat:
            return static_cast<uint32_t>(u >> 16) & 255u;
        case Spread::Reflect: {
            const uint32_t i = static_cast<uint32_t>(u >> 16) & 511u;
            return i > 255 ? 511u - i : i;
        }
    }
    return 0;
}

inline int64_t ToFixed16(double v) {
    // Keeps the value in a range where the per-pixel steps cannot overflow int64.
    if (!(v > -1e12)) return static_cast<int64_t>(-1e12 * 65536.0);
    if (v > 1e12) return static_cast<int64_t>(1e12 * 65536.0);
    return static_cast<int64_t>(std::floor(v * 65536.0));
}

// For positions u + i*step (i in 0..len-1, monotonic in i), the run [a, b) of those inside
// [lo, hi). Positions before a are on the low side when step >= 0 (the high side when it is
// negative), those from b on the other side.
inline void InsideRun(int64_t u, int64_t step, int len, int64_t lo, int64_t hi, int& a, int& b) {
    a = 0;
    b = len;
    auto inside = [&](int64_t v) { return v >= lo && v < hi; };
    if (step > 0) {
        if (u < lo) a = static_cast<int>(std::min<int64_t>(len, (lo - u + step - 1) / step));
        if (u + step * (len - 1) >= hi) b = static_cast<int>(std::clamp<int64_t>((hi - u + step - 1) / step, 0, len));
    } else if (step < 0) {
        if (u >= hi) a = static_cast<int>(std::min<int64_t>(len, (u - hi + 1 - step - 1) / -step));
        if (u + step * (len - 1) < lo)
            b = static_cast<int>(std::clamp<int64_t>((u - lo + 1 - step - 1) / -step, 0, len));
    } else if (u < lo) {
        a = b = len;  // all on the low side, counted as before the run
    } else if (u >= hi) {
        a = b = 0;
    }
    a = std::clamp(a, 0, len);
    b = std::clamp(b, a, len);
    // Guard the boundaries against rounding in the divisions above.
    while (a < b && !inside(u + step * a)) ++a;
    while (b > a && !inside(u + step * (b - 1))) --b;
}

void FetchLinear(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
    const Matrix& m = p.inv;
    const double px = x + 0.5, py = y + 0.5;
    // Index along the gradient: (gx + 16384) / 32768 * 256; inv already maps to index units.
    const double u0 = m.a * px + m.c * py + m.tx;
    const double du = m.a;
    const uint32_t* ramp = p.ramp;
    if (std::fabs(du) < 1e-9 || std::fabs(u0) > 1e9 || std::fabs(du * len) > 1e9) {
        const uint32_t c = ramp[SpreadIndex(ToFixed16(u0), p.spread)];
        if (std::fabs(du) < 1e-9) {
            std::fill_n(out, len, c);
            return;
        }
        for (int i = 0; i < len; ++i) out[i] = ramp[SpreadIndex(ToFixed16(u0 + du * i), p.spread)];
        return;
    }
    int64_t u = ToFixed16(u0);
    const int64_t step = ToFixed16(du);
    switch (p.spread) {
        case Spread::Pad: {
            // Split into the part before the ramp, the ramp itself and the part after it, so the
            // middle needs no clamping.
            int a = 0, b = len;
            InsideRun(u, step, len, 0, int64_t(256) << 16, a, b);
            const uint32_t first = ramp[step >= 0 ? 0 : 255], last = ramp[step >= 0 ? 255 : 0];
            std::fill_n(out, a, first);
            uint32_t uu = static_cast<uint32_t>(u + step * a);
            const uint32_t ss = static_cast<uint32_t>(step);
            for (int i = a; i < b; ++i, uu += ss) out[i] = ramp[uu >> 16];
            std::fill_n(out + b, len - b, last);
            break;
        }
        case Spread::Repeat: {
            uint32_t uu = static_cast<uint32_t>(u), ss = static_cast<uint32_t>(step);
            for (int i = 0; i < len; ++i, uu += ss) out[i] = ramp[(uu >> 16) & 255u];
            break;
        }
        case Spread::Reflect: {
            uint32_t uu = static_cast<uint32_t>(u), ss = static_cast<uint32_t>(step);
            for (int i = 0; i < len; ++i, uu += ss) {
                const uint32_t k = (uu >> 16) & 511u;
                out[i] = ramp[k ^ ((k >> 8) * 511u)];
            }
            break;
        }
    }
}

// Radial and focal gradients: the ramp position t (in index units, >= 0) is computed four pixels at
// a time in single precision, then spread and looked up.
inline void LookupIndices(const uint32_t* ramp, Spread s, const int32_t* idx, int n, uint32_t* out) {
    switch (s) {
        case Spread::Pad:
            for (int i = 0; i < n; ++i) out[i] = ramp[idx[i]];
            break;
        case Spread::Repeat:
            for (int i = 0; i < n; ++i) out[i] = ramp[idx[i] & 255];
            break;
        case Spread::Reflect:
            for (int i = 0; i < n; ++i) {
                const uint32_t k = static_cast<uint32_t>(idx[i]) & 511u;
                out[i] = ramp[k ^ ((k >> 8) * 511u)];
            }
            break;
    }
}

template <bool kFocal>
void FetchRound(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
    const Matrix& m = p.inv;
    const double px = x + 0.5, py = y + 0.5;
    const double gx0 = m.a * px + m.c * py + m.tx, gy0 = m.b * px + m.d * py + m.ty;
    const uint32_t* ramp = p.ramp;
    if (!(std::fabs(gx0) < 1e7 && std::fabs(gy0) < 1e7 && std::fabs(m.a * len) < 1e7 && std::fabs(m.b * len) < 1e7)) {
        std::fill_n(out, len, p.spread == Spread::Pad ? ramp[255] : ramp[0]);
        return;
    }
    // Focal: unit-circle coordinates; solve point = F + t*(Q - F), |Q| = 1, F = (f, 0).
    const float f = static_cast<float>(p.focal), k = 1.0f - f * f, invK = 256.0f / k;
    const float hi = p.spread == Spread::Pad ? 255.0f : 8.0e6f;
    const float fx0 = static_cast<float>(kFocal ? gx0 - p.focal : gx0), fy0 = static_cast<float>(gy0);
    const float dx = static_cast<float>(m.a), dy = static_cast<float>(m.b);
    int32_t idx[64];
    for (int base = 0; base < len; base += 64) {
        const int n = std::min(64, len - base);
        int i = 0;
#if LUMAREL_RASTER_SSE2
        const __m128 vdx4 = _mm_set1_ps(4 * dx), vdy4 = _mm_set1_ps(4 * dy);
        const __m128 lane = _mm_set_ps(3, 2, 1, 0);
        __m128 vx = _mm_add_ps(_mm_set1_ps(fx0 + dx * base), _mm_mul_ps(lane, _mm_set1_ps(dx)));
        __m128 vy = _mm_add_ps(_mm_set1_ps(fy0 + dy * base), _mm_mul_ps(lane, _mm_set1_ps(dy)));
        const __m128 vhi = _mm_set1_ps(hi), vzero = _mm_setzero_ps();
        for (; i + 4 <= n; i += 4) {
            __m128 t;
            const __m128 rr = _mm_add_ps(_mm_mul_ps(vx, vx), _mm_mul_ps(vy, vy));
            if (kFocal) {
                const __m128 fd = _mm_mul_ps(_mm_set1_ps(f), vx);
                const __m128 disc = _mm_add_ps(_mm_mul_ps(fd, fd), _mm_mul_ps(_mm_set1_ps(k), rr));
                t = _mm_mul_ps(_mm_add_ps(fd, _mm_sqrt_ps(_mm_max_ps(disc, vzero))), _mm_set1_ps(invK));
            } else {
                t = _mm_sqrt_ps(rr);
            }
            t = _mm_min_ps(_mm_max_ps(t, vzero), vhi);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(idx + i), _mm_cvttps_epi32(t));
            vx = _mm_add_ps(vx, vdx4);
            vy = _mm_add_ps(vy, vdy4);
        }
#endif
        for (; i < n; ++i) {
            const float gx = fx0 + dx * static_cast<float>(base + i), gy = fy0 + dy * static_cast<float>(base + i);
            const float rr = gx * gx + gy * gy;
            float t;
            if (kFocal) {
                const float fd = f * gx;
                const float disc = fd * fd + k * rr;
                t = (fd + std::sqrt(disc > 0 ? disc : 0.0f)) * invK;
            } else {
                t = std::sqrt(rr);
            }
            t = t > 0 ? (t < hi ? t : hi) : 0.0f;
            idx[i] = static_cast<int32_t>(t);
        }
        LookupIndices(ramp, p.spread, idx, n, out + base);
    }
}

inline uint32_t ClampPremul(uint32_t c) {
    const uint32_t a = c >> 24;
    uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
    if (r > a) r = a;
    if (g > a) g = a;
    if (b > a) b = a;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Per-pixel colour transform of a premultiplied pixel through per-channel tables (packed
// a<<24|r<<16|g<<8|b per straight input value).
inline uint32_t TransformPixel(uint32_t c, const uint32_t* lut) {
    static const struct Recip {
        uint32_t v[256];
        Recip() {
            v[0] = 0;
            for (uint32_t a = 1; a < 256; ++a) v[a] = (255u * 65536u + a / 2) / a;
        }
    } recip;
    const uint32_t a = c >> 24;
    const uint32_t ra = recip.v[a];
    auto un = [ra](uint32_t ch) { return std::min<uint32_t>(255u, (ch * ra + 32768u) >> 16); };
    const uint32_t r = (lut[un((c >> 16) & 255)] >> 16) & 255;
    const uint32_t g = (lut[un((c >> 8) & 255)] >> 8) & 255;
    const uint32_t b = lut[un(c & 255)] & 255;
    const uint32_t na = lut[a] >> 24;
    return (na << 24) | (Mul255(r, na) << 16) | (Mul255(g, na) << 8) | Mul255(b, na);
}

inline uint32_t Lerp8(uint32_t a, uint32_t b, uint32_t t) {  // t in 0..256
    const uint32_t rbA = a & 0x00FF00FFu, agA = (a >> 8) & 0x00FF00FFu;
    const uint32_t rbB = b & 0x00FF00FFu, agB = (b >> 8) & 0x00FF00FFu;
    const uint32_t rb = ((rbA * (256 - t) + rbB * t) >> 8) & 0x00FF00FFu;
    const uint32_t ag = (agA * (256 - t) + agB * t) & 0xFF00FF00u;
    return rb | ag;
}

// Walks one bitmap axis in 16.16 fixed point, one output pixel at a time, yielding the sample
// index, the next one and (for smoothing) the weight of the next one. Repeating axes wrap with
// one comparison per step; clipped axes stop at the edge pixels, which extend outwards.
template <bool kRepeat>
struct AxisWalk {
    int64_t pos, step, period;  // period = size << 16
    int64_t size;

    AxisWalk(int64_t start, int64_t d, int64_t n) : step(d), period(n << 16), size(n) {
        if (kRepeat) {
            pos = start % period;
            if (pos < 0) pos += period;
            step = d % period;
        } else {
            pos = start;
        }
    }
    void Next() {
        pos += step;
        if (kRepeat) {
            if (pos >= period)
                pos -= period;
            else if (pos < 0)
                pos += period;
        }
    }
    // Nearest sample.
    int64_t Index() const {
        if (kRepeat) return pos >> 16;
        const int64_t i = pos >> 16;
        return i < 0 ? 0 : (i >= size ? size - 1 : i);
    }
    // Bilinear: the two samples around pos (sample grid already shifted to pixel centres) and
    // the weight of the second.
    void Pair(int64_t& i0, int64_t& i1, uint32_t& f) const {
        const int64_t i = pos >> 16;
        f = static_cast<uint32_t>((pos >> 8) & 255);
        if (kRepeat) {
            i0 = i;
            i1 = i + 1 == size ? 0 : i + 1;
        } else if (i < 0) {
            i0 = i1 = 0;
            f = 0;
        } else if (i >= size - 1) {
            i0 = i1 = size - 1;
            f = 0;
        } else {
            i0 = i;
            i1 = i + 1;
        }
    }
};

#if LUMAREL_RASTER_SSE2
// Two bilinear pixels: (a0, b0) weighted by f0 and (a1, b1) by f1, horizontally only.
inline void Lerp2(uint32_t a0, uint32_t b0, uint32_t f0, uint32_t a1, uint32_t b1, uint32_t f1, uint32_t* out) {
    const __m128i zero = _mm_setzero_si128(), k256 = _mm_set1_epi16(256);
    const __m128i a = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(a0)), _mm_cvtsi32_si128(static_cast<int>(a1))), zero);
    const __m128i b = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(b0)), _mm_cvtsi32_si128(static_cast<int>(b1))), zero);
    const __m128i wf =
        _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(f0)), _mm_set1_epi16(static_cast<short>(f1)));
    const __m128i r =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(k256, wf)), _mm_mullo_epi16(b, wf)), 8);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(r, zero));
}
#endif

// Blends rows r0 and r1 (weight fy of r1) over columns [lo, hi] into vrow.
inline void BlendRows(const uint32_t* r0, const uint32_t* r1, uint32_t fy, int64_t lo, int64_t hi, uint32_t* vrow) {
    int64_t c = lo;
    if (fy == 0) {
        std::copy(r0 + lo, r0 + hi + 1, vrow + lo);
        return;
    }
#if LUMAREL_RASTER_SSE2
    const __m128i zero = _mm_setzero_si128(), wb = _mm_set1_epi16(static_cast<short>(fy)),
                  wa = _mm_set1_epi16(static_cast<short>(256 - fy));
    for (; c + 2 <= hi + 1; c += 2) {
        const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r0 + c)), zero);
        const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r1 + c)), zero);
        const __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, wa), _mm_mullo_epi16(b, wb)), 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(vrow + c), _mm_packus_epi16(r, zero));
    }
#endif
    for (; c <= hi; ++c) vrow[c] = Lerp8(r0[c], r1[c], fy);
}

// Smoothed rows that map to one bitmap row pair (no rotation or skew in y): the two source rows
// are blended once over the columns the span reads, then interpolated horizontally.
template <bool kRepeat>
void FetchBitmapRowSmooth(const CompiledPaint& p, int64_t su0, int64_t sv, int64_t du, int len, uint32_t* out) {
    const Bitmap& bm = *p.bitmap;
    const int64_t w = bm.width, h = bm.height;
    AxisWalk<kRepeat> ay(sv, 0, h);
    int64_t iy0, iy1;
    uint32_t fy;
    ay.Pair(iy0, iy1, fy);
    const uint32_t* r0 = bm.pixels.data() + static_cast<size_t>(iy0 * w);
    const uint32_t* r1 = bm.pixels.data() + static_cast<size_t>(iy1 * w);
    // Columns read: the whole row once the span wraps round, else the range it covers.
    int64_t lo = 0, hi = w - 1;
    AxisWalk<kRepeat> ax(su0, du, w);
    const int64_t first = ax.pos >> 16, last = (ax.pos + ax.step * (len - 1)) >> 16;
    const int64_t cmin = std::min(first, last), cmax = std::max(first, last) + 1;
    if (!kRepeat || (cmin >= 0 && cmax < w)) {
        lo = std::clamp<int64_t>(cmin, 0, w - 1);
        hi = std::clamp<int64_t>(cmax, 0, w - 1);
    }
    uint32_t* vrow = p.rowScratch;
    BlendRows(r0, r1, fy, lo, hi, vrow);
    // Clipped: the pixels left and right of the bitmap take its edge columns; only the run in
    // between interpolates.
    int a = 0, b = len;
    if (!kRepeat) {
        InsideRun(ax.pos, ax.step, len, 0, (w - 1) << 16, a, b);
        const uint32_t low = vrow[0], high = vrow[w - 1];
        std::fill_n(out, a, ax.step >= 0 ? low : high);
        std::fill_n(out + b, len - b, ax.step >= 0 ? high : low);
        ax.pos += ax.step * a;
    }
    int i = a;
#if LUMAREL_RASTER_SSE2
    for (; i + 2 <= b; i += 2) {
        int64_t a0, b0, a1, b1;
        uint32_t f0, f1;
        ax.Pair(a0, b0, f0);
        ax.Next();
        ax.Pair(a1, b1, f1);
        ax.Next();
        Lerp2(vrow[a0], vrow[b0], f0, vrow[a1], vrow[b1], f1, out + i);
    }
#endif
    for (; i < b; ++i, ax.Next()) {
        int64_t a0, b0;
        uint32_t f0;
        ax.Pair(a0, b0, f0);
        out[i] = Lerp8(vrow[a0], vrow[b0], f0);
    }
}

// Any other smoothed mapping: four taps per pixel.
template <bool kRepeat>
void FetchBitmapSmooth(const CompiledPaint& p, int64_t su0, int64_t sv0, int64_t du, int64_t dv, int len,
                       uint32_t* out) {
    const Bitmap& bm = *p.bitmap;
    const int64_t w = bm.width;
    const uint32_t* pix = bm.pixels.data();
    AxisWalk<kRepeat> ax(su0, du, w), ay(sv0, dv, bm.height);
    for (int i = 0; i < len; ++i, ax.Next(), ay.Next()) {
        int64_t x0, x1, y0, y1;
        uint32_t fx, fy;
        ax.Pair(x0, x1, fx);
        ay.Pair(y0, y1, fy);
        const uint32_t* r0 = pix + static_cast<size_t>(y0 * w);
        const uint32_t* r1 = pix + static_cast<size_t>(y1 * w);
#if LUMAREL_RASTER_SSE2
        // Both rows' pairs at once in 16-bit lanes, then vertically.
        uint32_t t[2];
        Lerp2(r0[x0], r0[x1], fx, r1[x0], r1[x1], fx, t);
        out[i] = Lerp8(t[0], t[1], fy);
#else
        out[i] = Lerp8(Lerp8(r0[x0], r0[x1], fx), Lerp8(r1[x0], r1[x1], fx), fy);
#endif
    }
}

template <bool kRepeat>
void FetchBitmapNearest(const CompiledPaint& p, int64_t u0, int64_t v0, int64_t du, int64_t dv, int len,
                        uint32_t* out) {
    const Bitmap& bm = *p.bitmap;
    const int64_t w = bm.width;
    const uint32_t* pix = bm.pixels.data();
    AxisWalk<kRepeat> ax(u0, du, w), ay(v0, dv, bm.height);
    if (dv == 0) {
        const uint32_t* row = pix + static_cast<size_t>(ay.Index() * w);
        int a = 0, b = len;
        if (!kRepeat) {  // clipped: the edge pixels outside the bitmap, lookups only inside
            InsideRun(ax.pos, ax.step, len, 0, w << 16, a, b);
            std::fill_n(out, a, row[ax.step >= 0 ? 0 : w - 1]);
            std::fill_n(out + b, len - b, row[ax.step >= 0 ? w - 1 : 0]);
            ax.pos += ax.step * a;
        }
        for (int i = a; i < b; ++i, ax.Next()) out[i] = row[ax.Index()];
        return;
    }
    for (int i = 0; i < len; ++i, ax.Next(), ay.Next()) out[i] = pix[static_cast<size_t>(ay.Index() * w + ax.Index())];
}

// Bitmap fills in 16.16 fixed point along the row; repeat wraps, clip mode extends the edge pixels.
void FetchBitmap(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
    const Bitmap& bm = *p.bitmap;
    const Matrix& m = p.inv;
    const double px = x + 0.5, py = y + 0.5;
    const int64_t u0 = ToFixed16(std::clamp(m.a * px + m.c * py + m.tx, -1e9, 1e9));
    const int64_t v0 = ToFixed16(std::clamp(m.b * px + m.d * py + m.ty, -1e9, 1e9));
    const int64_t du = ToFixed16(std::clamp(m.a, -1e6, 1e6)), dv = ToFixed16(std::clamp(m.b, -1e6, 1e6));
    const bool rep = p.repeat;
    if (!p.smooth) {
        rep ? FetchBitmapNearest<true>(p, u0, v0, du, dv, len, out)
            : FetchBitmapNearest<false>(p, u0, v0, du, dv, len, out);
    } else if (dv == 0 && p.rowScratch && p.rowScratchSize >= static_cast<size_t>(bm.width)) {
        // Sample grid at pixel centres: half a bitmap pixel back.
        rep ? FetchBitmapRowSmooth<true>(p, u0 - 32768, v0 - 32768, du, len, out)
            : FetchBitmapRowSmooth<false>(p, u0 - 32768, v0 - 32768, du, len, out);
    } else {
        rep ? FetchBitmapSmooth<true>(p, u0 - 32768, v0 - 32768, du, dv, len, out)
            : FetchBitmapSmooth<false>(p, u0 - 32768, v0 - 32768, du, dv, len, out);
    }
    if (!p.trusted)
        for (int i = 0; i < len; ++i) out[i] = ClampPremul(out[i]);
    if (p.cxAlphaOnly) {
        MulSpan(out, len, p.cxAlpha);
    } else if (!p.cxIdentity) {
        for (int i = 0; i < len; ++i) out[i] = TransformPixel(out[i], p.ramp);
    }
}

}  // namespace

// The 256-entry ramp is written as the player wrote it, with a cursor through the entries and
// the records in file order (not sorted): entries up to the first record's ratio take its
// colour; each next record whose ratio is at or past the cursor fills the entries up to it with
// the blend, floored per channel; a record whose ratio lies behind the cursor (equal or
// decreasing ratios) gets one entry of the earlier colour, so it shows as a 1-px band; what is
// left takes the last colour. Pad spread reads entry 255, so two records at 255 pad with the
// first. Linear-RGB blends top out at 254.
void BuildRamp(const Gradient& g, const ColorTransform& cx, Ramp& ramp) {
    const std::vector<GradientStop>& stops = g.stops;
    if (stops.empty()) {
        ramp.fill(0);
        return;
    }
    std::vector<Rgba> colors;
    colors.reserve(stops.size());
    for (const GradientStop& s : stops) colors.push_back(cx.Apply(s.color));
    const bool lin = g.interpolation == Interpolation::LinearRgb;
    const LinearTables& t = Tables();
    // p + (q - p) * d / span, floored (exact in integers: every term is non-negative).
    auto blend = [](int p, int q, int d, int span) { return (p * (span - d) + q * d) / span; };
    auto mix = [&](Rgba c0, Rgba c1, int d, int span) {
        Rgba c;
        if (lin) {
            auto ch = [&](uint8_t p, uint8_t q) {
                const int l = blend(t.toLinear[p], t.toLinear[q], d, span);
                return static_cast<uint8_t>(std::min<int>(t.toSrgbFloor[l], 254));
            };
            c.r = ch(c0.r, c1.r);
            c.g = ch(c0.g, c1.g);
            c.b = ch(c0.b, c1.b);
        } else {
            c.r = static_cast<uint8_t>(blend(c0.r, c1.r, d, span));
            c.g = static_cast<uint8_t>(blend(c0.g, c1.g, d, span));
            c.b = static_cast<uint8_t>(blend(c0.b, c1.b, d, span));
        }
        c.a = static_cast<uint8_t>(blend(c0.a, c1.a, d, span));
        return c;
    };
    int cursor = 0;
    for (; cursor <= stops[0].ratio; ++cursor) ramp[static_cast<size_t>(cursor)] = Premultiply(colors[0]);
    for (size_t k = 0; k + 1 < stops.size() && cursor <= 255; ++k) {
        const int r0 = stops[k].ratio, r1 = stops[k + 1].ratio;
        if (r1 >= cursor) {
            for (; cursor <= r1; ++cursor) {
                ramp[static_cast<size_t>(cursor)] = Premultiply(mix(colors[k], colors[k + 1], cursor - r0, r1 - r0));
            }
        } else {
            ramp[static_cast<size_t>(cursor++)] = Premultiply(colors[k]);
        }
    }
    for (; cursor <= 255; ++cursor) ramp[static_cast<size_t>(cursor)] = Premultiply(colors.back());
}

void CompilePaint(const Paint& p, const Matrix& m, const ColorTransform& cx, Ramp& ramp, CompiledPaint& out) {
    out = CompiledPaint{};
    switch (p.kind) {
        case Paint::Kind::None:
            return;
        case Paint::Kind::Solid: {
            const Rgba c = cx.Apply(p.color);
            out.kind = CompiledPaint::Kind::Solid;
            out.color = Premultiply(c);
            out.opaque = c.a == 255;
            if (c.a == 0) out.kind = CompiledPaint::Kind::None;
            return;
        }
        case Paint::Kind::Gradient: {
            const Gradient& g = p.gradient;
            if (g.stops.empty()) return;
            BuildRamp(g, cx, ramp);
            bool opaque = true, clear = true;
            for (uint32_t c : ramp) {
                opaque = opaque && (c >> 24) == 255;
                clear = clear && (c >> 24) == 0;
            }
            if (clear) return;
            Matrix inv;
            if (!m.Multiply(g.matrix).Invert(inv)) {
                // Degenerate gradient square: paint the mid colour as a solid.
                out.kind = CompiledPaint::Kind::Solid;
                out.color = ramp[128];
                out.opaque = opaque;
                return;
            }
            out.opaque = opaque;
            out.ramp = ramp.data();
            out.spread = g.spread;
            Matrix post;  // gradient square -> the units each fetcher works in
            switch (g.kind) {
                case Gradient::Kind::Linear:
                    out.kind = CompiledPaint::Kind::Linear;
                    post.a = post.d = 256.0 / 32768.0;  // u = (gx + 16384) / 32768 * 256
                    post.tx = 128.0;
                    break;
                case Gradient::Kind::Radial:
                    out.kind = CompiledPaint::Kind::Radial;
                    post.a = post.d = 256.0 / 16384.0;
                    break;
                case Gradient::Kind::Focal:
                    out.kind = CompiledPaint::Kind::Focal;
                    post.a = post.d = 1.0 / 16384.0;
                    out.focal = std::isfinite(g.focal) ? std::clamp(g.focal, -0.99, 0.99) : 0.0;
                    break;
            }
            out.inv = post.Multiply(inv);
            if (!out.inv.IsFinite()) out.kind = CompiledPaint::Kind::None;
            return;
        }
        case Paint::Kind::Bitmap: {
            const Bitmap* bm = p.bitmap.get();
            if (!bm || bm->width <= 0 || bm->height <= 0 ||
                bm->pixels.size() < static_cast<size_t>(bm->width) * static_cast<size_t>(bm->height))
                return;
            Matrix inv;
            if (!m.Multiply(p.bitmapMatrix).Invert(inv)) return;
            out.kind = CompiledPaint::Kind::Bitmap;
            out.inv = inv;
            out.bitmap = bm;
            out.repeat = p.repeat;
            out.smooth = p.smooth;
            out.cx = cx;
            out.cxIdentity = cx.IsIdentity();
            out.opaque = false;
            if (!out.cxIdentity) {
                if (cx.rm == 1 && cx.gm == 1 && cx.bm == 1 && cx.ra == 0 && cx.ga == 0 && cx.ba == 0 && cx.aa == 0 &&
                    cx.am >= 0 && cx.am <= 1) {
                    out.cxAlphaOnly = true;
                    out.cxAlpha = static_cast<uint32_t>(cx.am * 255.0 + 0.5);
                }
                for (int i = 0; i < 256; ++i) {
                    const uint8_t v = static_cast<uint8_t>(i);
                    const Rgba t = cx.Apply(Rgba{v, v, v, v});
                    ramp[static_cast<size_t>(i)] =
                        (uint32_t(t.a) << 24) | (uint32_t(t.r) << 16) | (uint32_t(t.g) << 8) | t.b;
                }
                out.ramp = ramp.data();
            }
            return;
        }
    }
}

void FetchSpan(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
    switch (p.kind) {
        case CompiledPaint::Kind::None:
            std::fill_n(out, len, 0u);
            return;
        case CompiledPaint::Kind::Solid:
            std::fill_n(out, len, p.color);
            return;
        case CompiledPaint::Kind::Linear:
            FetchLinear(p, x, y, len, out);
            return;
        case CompiledPaint::Kind::Radial:
            FetchRound<false>(p, x, y, len, out);
            return;
        case CompiledPaint::Kind::Focal:
            FetchRound<true>(p, x, y, len, out);
            return;
        case CompiledPaint::Kind::Bitmap:
            FetchBitmap(p, x, y, len, out);
            return;
    }
}

}  // namespace lumarel::raster::detail
