#include "engine/raster/filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/raster/paint.h"
#include "engine/raster/pixel.h"

namespace lumarel::raster {

using detail::MulPixel;
using detail::Over;

namespace {

// Box sums are divided by multiplying with round(2^24 / width) and shifting: exact enough that a
// full box of 255 stays 255 for every width up to 2 * kMaxBoxRadius + 1, and the same integer
// steps on both paths.
constexpr uint64_t kDivRound = 1u << 23;

// The largest radius whose box sums of bytes fit 16 bits: 255 * 257 = 65535.
constexpr int kNarrowBoxRadius = 128;

uint32_t BoxMultiplier(int r) {
    const uint64_t width = 2 * static_cast<uint64_t>(r) + 1;
    return static_cast<uint32_t>(((uint64_t{1} << 24) + width / 2) / width);
}

inline uint8_t DivBox(uint32_t sum, uint32_t mul) {
    return static_cast<uint8_t>((static_cast<uint64_t>(sum) * mul + kDivRound) >> 24);
}

#if LUMAREL_RASTER_SSE2
// Four 32-bit sums divided as DivBox does (the quotients fit the low byte of each lane).
inline __m128i DivBox4(__m128i s, __m128i mul, __m128i round) {
    __m128i even = _mm_mul_epu32(s, mul);
    __m128i odd = _mm_mul_epu32(_mm_srli_epi64(s, 32), mul);
    even = _mm_srli_epi64(_mm_add_epi64(even, round), 24);
    odd = _mm_srli_epi64(_mm_add_epi64(odd, round), 24);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

// Eight 16-bit sums divided as DivBox does, for sums of at most 2 * kNarrowBoxRadius + 1 bytes.
// With mul = hi * 2^16 + lo, s * mul + 2^23 = (P + 128) * 2^16 + (s * lo mod 2^16) where
// P = s * hi + floor(s * lo / 2^16), so the quotient is (P + 128) >> 8. It is at most 255, so
// P + 128 (and s * hi within it) never leaves 16 bits.
inline __m128i DivBox8(__m128i s, __m128i mulHi, __m128i mulLo) {
    const __m128i p = _mm_add_epi16(_mm_mullo_epi16(s, mulHi), _mm_mulhi_epu16(s, mulLo));
    return _mm_srli_epi16(_mm_add_epi16(p, _mm_set1_epi16(128)), 8);
}

inline __m128i Widen(uint32_t px) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(px)), zero), zero);
}

inline uint32_t Narrow(__m128i q) {
    const __m128i w = _mm_packs_epi32(q, q);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}
#endif

void BoxColumns(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int n, int h, int r,
                FilterScratch& scratch, bool simd);

#if LUMAREL_RASTER_SSE2
// Transposes a 16 x 16 byte tile in place: afterwards v[i] holds byte i of every former row. Each
// round interleaves vector k with vector k + 8, which rotates the 8-bit (vector, byte) index left
// by one; four rounds swap its halves.
inline void Transpose16(__m128i v[16]) {
    for (int round = 0; round < 4; ++round) {
        __m128i t[16];
        for (int k = 0; k < 8; ++k) {
            t[2 * k] = _mm_unpacklo_epi8(v[k], v[k + 8]);
            t[2 * k + 1] = _mm_unpackhi_epi8(v[k], v[k + 8]);
        }
        for (int k = 0; k < 16; ++k) v[k] = t[k];
    }
}

// Rows of one-byte pixels taken a strip at a time, so the running sums go across many rows at
// once: the strip is transposed (x becomes the row, each of its lanes one source row), summed
// down by the vertical pass, and transposed back.
constexpr int kStripRows = 32;

// Byte x * kStripRows + i of `lanes` holds byte x of row i of a strip of up to kStripRows rows.
// Going in, lanes past `rows` may hold anything: each lane is summed on its own and never read back.
void ToLanes(const uint8_t* src, ptrdiff_t stride, uint8_t* lanes, int w, int rows) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        for (int b = 0; b < rows; b += 16) {
            __m128i v[16];
            for (int k = 0; k < 16; ++k) {
                v[k] = b + k < rows ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + (b + k) * stride + x))
                                    : _mm_setzero_si128();
            }
            Transpose16(v);
            for (int k = 0; k < 16; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes + (x + k) * kStripRows + b), v[k]);
        }
    }
    for (; x < w; ++x)
        for (int i = 0; i < rows; ++i) lanes[x * kStripRows + i] = src[i * stride + x];
}

void FromLanes(const uint8_t* lanes, uint8_t* dst, ptrdiff_t stride, int w, int rows) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        for (int b = 0; b < rows; b += 16) {
            __m128i v[16];
            for (int k = 0; k < 16; ++k)
                v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + (x + k) * kStripRows + b));
            Transpose16(v);
            for (int k = 0; k < std::min(16, rows - b); ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (b + k) * stride + x), v[k]);
        }
    }
    for (; x < w; ++x)
        for (int i = 0; i < rows; ++i) dst[i * stride + x] = lanes[x * kStripRows + i];
}

// The one-byte horizontal pass, kStripRows rows at a time through the vertical kernel.
void BoxRowsPlane(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int w, int h, int r,
                  FilterScratch& scratch) {
    const size_t strip = static_cast<size_t>(w) * kStripRows;
    scratch.lanes.resize(2 * strip);
    uint8_t* in = scratch.lanes.data();
    uint8_t* out = in + strip;
    for (int y = 0; y < h; y += kStripRows) {
        const int rows = std::min(kStripRows, h - y);
        ToLanes(src + y * srcStride, srcStride, in, w, rows);
        BoxColumns(in, kStripRows, out, kStripRows, kStripRows, w, r, scratch, true);
        FromLanes(out, dst + y * dstStride, dstStride, w, rows);
    }
}
#endif

// One horizontal box pass over h rows of w pixels of `ch` bytes: out[x] = sum of in[x-r..x+r]
// (zero beyond the row) / (2r+1).
void BoxRows(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int w, int h, int ch, int r,
             FilterScratch& scratch, bool simd) {
    const uint32_t mul = BoxMultiplier(r);
#if LUMAREL_RASTER_SSE2
    if (simd && ch == 1) {
        BoxRowsPlane(src, srcStride, dst, dstStride, w, h, r, scratch);
        return;
    }
    if (simd && ch == 4) {
        const __m128i vmul = _mm_set1_epi32(static_cast<int>(mul));
        const __m128i vround = _mm_set1_epi64x(static_cast<long long>(kDivRound));
        for (int y = 0; y < h; ++y) {
            auto load = [&](int x) {
                uint32_t px;
                std::memcpy(&px, src + y * srcStride + 4 * static_cast<ptrdiff_t>(x), 4);
                return Widen(px);
            };
            uint8_t* out = dst + y * dstStride;
            __m128i sum = _mm_setzero_si128();
            for (int x = 0; x < std::min(r, w); ++x) sum = _mm_add_epi32(sum, load(x));
            for (int x = 0; x < w; ++x) {
                if (x + r < w) sum = _mm_add_epi32(sum, load(x + r));
                const uint32_t q = Narrow(DivBox4(sum, vmul, vround));
                std::memcpy(out + 4 * static_cast<ptrdiff_t>(x), &q, 4);
                if (x - r >= 0) sum = _mm_sub_epi32(sum, load(x - r));
            }
        }
        return;
    }
#else
    (void)simd;
    (void)scratch;
#endif
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = src + y * srcStride;
        uint8_t* out = dst + y * dstStride;
        for (int c = 0; c < ch; ++c) {
            uint32_t sum = 0;
            for (int x = 0; x < std::min(r, w); ++x) sum += in[x * ch + c];
            for (int x = 0; x < w; ++x) {
                if (x + r < w) sum += in[(x + r) * ch + c];
                out[x * ch + c] = DivBox(sum, mul);
                if (x - r >= 0) sum -= in[(x - r) * ch + c];
            }
        }
    }
}

// One vertical box pass, row by row with a running sum per byte column (n bytes a row), so every
// access walks memory in order.
void BoxColumns(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int n, int h, int r,
                FilterScratch& scratch, bool simd) {
    const uint32_t mul = BoxMultiplier(r);
    scratch.sums.assign(static_cast<size_t>(n), 0);
    uint32_t* sums = scratch.sums.data();
    for (int y = 0; y < std::min(r, h); ++y) {
        const uint8_t* in = src + y * srcStride;
        for (int j = 0; j < n; ++j) sums[j] += in[j];
    }
#if LUMAREL_RASTER_SSE2
    // Rows beyond the region add and remove nothing (the vector path reads zeros instead).
    static constexpr uint8_t kZero[16] = {};
    // Up to kNarrowBoxRadius a sum of bytes fits 16 bits, and so do the vector lanes' sums
    // (for the leading multiple of 16 bytes; the rest keep theirs in `sums`).
    const bool narrow = simd && r <= kNarrowBoxRadius;
    const int vec = simd ? n & ~15 : 0;
    if (narrow) scratch.narrowSums.assign(sums, sums + vec);
    uint16_t* narrowSums = scratch.narrowSums.data();
#endif
    for (int y = 0; y < h; ++y) {
        const uint8_t* add = y + r < h ? src + (y + r) * srcStride : nullptr;
        const uint8_t* sub = y - r >= 0 ? src + (y - r) * srcStride : nullptr;
        uint8_t* out = dst + y * dstStride;
        int j = 0;
#if LUMAREL_RASTER_SSE2
        if (narrow) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i mulHi = _mm_set1_epi16(static_cast<short>(mul >> 16));
            const __m128i mulLo = _mm_set1_epi16(static_cast<short>(mul & 0xFFFF));
            for (; j < vec; j += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(add ? add + j : kZero));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sub ? sub + j : kZero));
                __m128i* sp = reinterpret_cast<__m128i*>(narrowSums + j);
                const __m128i s0 = _mm_add_epi16(_mm_loadu_si128(sp), _mm_unpacklo_epi8(a, zero));
                const __m128i s1 = _mm_add_epi16(_mm_loadu_si128(sp + 1), _mm_unpackhi_epi8(a, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j),
                                 _mm_packus_epi16(DivBox8(s0, mulHi, mulLo), DivBox8(s1, mulHi, mulLo)));
                _mm_storeu_si128(sp, _mm_sub_epi16(s0, _mm_unpacklo_epi8(b, zero)));
                _mm_storeu_si128(sp + 1, _mm_sub_epi16(s1, _mm_unpackhi_epi8(b, zero)));
            }
        } else if (simd) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i vmul = _mm_set1_epi32(static_cast<int>(mul));
            const __m128i vround = _mm_set1_epi64x(static_cast<long long>(kDivRound));
            for (; j + 16 <= n; j += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(add ? add + j : kZero));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sub ? sub + j : kZero));
                const __m128i a16[2] = {_mm_unpacklo_epi8(a, zero), _mm_unpackhi_epi8(a, zero)};
                const __m128i b16[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
                __m128i q[4];
                for (int k = 0; k < 4; ++k) {
                    const __m128i ak =
                        k & 1 ? _mm_unpackhi_epi16(a16[k >> 1], zero) : _mm_unpacklo_epi16(a16[k >> 1], zero);
                    const __m128i bk =
                        k & 1 ? _mm_unpackhi_epi16(b16[k >> 1], zero) : _mm_unpacklo_epi16(b16[k >> 1], zero);
                    __m128i* sp = reinterpret_cast<__m128i*>(sums + j + 4 * k);
                    const __m128i s = _mm_add_epi32(_mm_loadu_si128(sp), ak);
                    q[k] = DivBox4(s, vmul, vround);
                    _mm_storeu_si128(sp, _mm_sub_epi32(s, bk));
                }
                const __m128i lo = _mm_packs_epi32(q[0], q[1]), hi = _mm_packs_epi32(q[2], q[3]);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(lo, hi));
            }
        }
#else
        (void)simd;
#endif
        for (; j < n; ++j) {
            const uint32_t s = sums[j] + (add ? add[j] : 0u);
            out[j] = DivBox(s, mul);
            sums[j] = s - (sub ? sub[j] : 0u);
        }
    }
}

// The region clipped to the surface; empty when nothing is left.
IntRect Clip(const Surface& s, IntRect r) {
    r.x0 = std::max(r.x0, 0);
    r.y0 = std::max(r.y0, 0);
    r.x1 = std::min(r.x1, s.Width());
    r.y1 = std::min(r.y1, s.Height());
    if (r.x1 <= r.x0 || r.y1 <= r.y0) return {};
    return r;
}

inline bool Empty(const IntRect& r) { return r.x1 <= r.x0 || r.y1 <= r.y0; }

// A double to 0..255, NaN to 0.
inline uint32_t ClampByte(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return static_cast<uint32_t>(v + 0.5);
}

inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// Straight colour of a premultiplied pixel (alpha unchanged), rounded.
inline uint32_t Unpremultiply(uint32_t p) {
    const uint32_t a = p >> 24;
    if (a == 0) return 0;
    if (a == 255) return p;
    auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return Pack(a, un((p >> 16) & 255), un((p >> 8) & 255), un(p & 255));
}

inline uint32_t PremultiplyPacked(uint32_t p) { return (p & 0xFF000000u) | (MulPixel(p, p >> 24) & 0x00FFFFFFu); }

}  // namespace

int BoxRadius(double blur) {
    if (!(blur >= 2)) return 0;
    if (blur >= 2.0 * kMaxBoxRadius) return kMaxBoxRadius;
    return static_cast<int>(blur / 2);
}

void EffectOffset(double angle, double distance, int& dx, int& dy) {
    const double dist = std::isfinite(distance) ? std::clamp(distance, -65536.0, 65536.0) : 0.0;
    if (!std::isfinite(angle)) angle = 0;
    dx = static_cast<int>(std::lround(std::cos(angle) * dist));
    dy = static_cast<int>(std::lround(std::sin(angle) * dist));
}

namespace detail {

void BoxBlurPlane(uint8_t* data, ptrdiff_t stride, int w, int h, int channels, int rx, int ry, int passes,
                  FilterScratch& scratch, bool simd) {
    if (w <= 0 || h <= 0 || (channels != 1 && channels != 4)) return;
    rx = std::clamp(rx, 0, kMaxBoxRadius);
    ry = std::clamp(ry, 0, kMaxBoxRadius);
    passes = std::clamp(passes, 0, kMaxBlurPasses);
    if (passes == 0 || (rx == 0 && ry == 0)) return;
    const ptrdiff_t row = static_cast<ptrdiff_t>(w) * channels;
    scratch.temp.resize(static_cast<size_t>(row) * static_cast<size_t>(h));
    uint8_t* temp = scratch.temp.data();
    // Each pass goes data -> temp across, then temp -> data down; a zero radius is a plain copy.
    for (int p = 0; p < passes; ++p) {
        BoxRows(data, stride, temp, row, w, h, channels, rx, scratch, simd);
        BoxColumns(temp, row, data, stride, static_cast<int>(row), h, ry, scratch, simd);
    }
}

}  // namespace detail

void Blur(Surface& s, IntRect region, double blurX, double blurY, int passes, FilterScratch& scratch) {
    region = Clip(s, region);
    if (Empty(region)) return;
    uint8_t* base = reinterpret_cast<uint8_t*>(s.Row(region.y0) + region.x0);
    detail::BoxBlurPlane(base, static_cast<ptrdiff_t>(s.Width()) * 4, region.x1 - region.x0, region.y1 - region.y0, 4,
                         BoxRadius(blurX), BoxRadius(blurY), passes, scratch);
}

EffectRamp SolidRamp(Rgba color) {
    EffectRamp ramp{};
    for (uint32_t i = 0; i < 256; ++i) {
        Rgba c = color;
        c.a = static_cast<uint8_t>(detail::Mul255(color.a, i));
        ramp[i] = Premultiply(c);
    }
    return ramp;
}

EffectRamp BevelRamp(Rgba highlight, Rgba shadow) {
    EffectRamp ramp{};
    for (uint32_t i = 0; i < 128; ++i) {
        Rgba c = highlight;
        c.a = static_cast<uint8_t>((highlight.a * (128 - i) + 64) / 128);
        ramp[i] = Premultiply(c);
    }
    for (uint32_t i = 129; i < 256; ++i) {
        Rgba c = shadow;
        c.a = static_cast<uint8_t>((shadow.a * (i - 128) + 63) / 127);
        ramp[i] = Premultiply(c);
    }
    return ramp;
}

EffectRamp GradientRamp(std::span<const GradientStop> stops) {
    EffectRamp ramp{};
    if (stops.empty()) return ramp;
    Gradient g;
    g.stops.assign(stops.begin(), stops.end());
    detail::BuildRamp(g, ColorTransform{}, ramp);
    return ramp;
}

void ApplyEffect(Surface& s, IntRect region, const EffectFilter& f, FilterScratch& scratch) {
    region = Clip(s, region);
    if (Empty(region)) return;
    const int w = region.x1 - region.x0, h = region.y1 - region.y0;
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);

    // The source alpha, blurred.
    scratch.plane.resize(n);
    uint8_t* plane = scratch.plane.data();
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = s.Row(region.y0 + y) + region.x0;
        for (int x = 0; x < w; ++x) plane[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(row[x] >> 24);
    }
    detail::BoxBlurPlane(plane, w, w, h, 1, BoxRadius(f.blurX), BoxRadius(f.blurY), f.passes, scratch);

    int dx, dy;
    EffectOffset(f.angle, f.distance, dx, dy);
    const double strength = std::isfinite(f.strength) ? std::clamp(f.strength, 0.0, 255.0) : 0.0;
    const int str = static_cast<int>(std::lround(strength * 256));
    auto sample = [&](int x, int y) -> int {
        if (x < 0 || y < 0 || x >= w || y >= h) return 0;
        return plane[static_cast<size_t>(y) * w + x];
    };
    const bool bevel = f.kind == EffectFilter::Kind::Bevel;
    const bool hideSource = f.knockout || !f.compositeSource;

    for (int y = 0; y < h; ++y) {
        uint32_t* row = s.Row(region.y0 + y) + region.x0;
        for (int x = 0; x < w; ++x) {
            int level;
            if (bevel) {
                // Positive where the alpha falls away along the angle: the shadowed side.
                const int v = (sample(x - dx, y - dy) - sample(x + dx, y + dy)) * str / 256;
                level = (std::clamp(v, -255, 255) + 256) >> 1;
            } else {
                int a = sample(x - dx, y - dy);
                // An inner shadow is cast by everything around the object.
                if (f.inner) a = 255 - a;
                level = std::min(255, (a * str + 128) >> 8);
            }
            const uint32_t e = f.ramp[static_cast<size_t>(level)];
            const uint32_t src = row[x], srcA = src >> 24;
            uint32_t out;
            if (f.inner) {
                const uint32_t masked = MulPixel(e, srcA);
                out = hideSource ? masked : masked + MulPixel(src, 255 - (e >> 24));
            } else if (f.onTop) {
                out = hideSource ? e : Over(e, src);
            } else if (f.knockout) {
                out = MulPixel(e, 255 - srcA);
            } else {
                out = f.compositeSource ? Over(src, e) : e;
            }
            row[x] = out;
        }
    }
}

void ApplyConvolution(Surface& s, IntRect region, const ConvolutionFilter& f, FilterScratch& scratch) {
    region = Clip(s, region);
    if (Empty(region) || f.matrixX <= 0 || f.matrixY <= 0) return;
    const size_t taps = static_cast<size_t>(f.matrixX) * static_cast<size_t>(f.matrixY);
    if (f.matrix.size() < taps) return;
    const int w = region.x1 - region.x0, h = region.y1 - region.y0;
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);

    // Only the taps that weigh anything; a kernel that would cost more than about a billion
    // multiplies over this region is left undone.
    struct Tap {
        int dx, dy;
        double weight;
    };
    std::vector<Tap> kernel;
    for (int j = 0; j < f.matrixY; ++j) {
        for (int i = 0; i < f.matrixX; ++i) {
            const float m = f.matrix[static_cast<size_t>(j) * f.matrixX + i];
            if (m != 0) kernel.push_back({i - f.matrixX / 2, j - f.matrixY / 2, std::isfinite(m) ? m : 0.0});
        }
    }
    if (static_cast<double>(kernel.size()) * static_cast<double>(n) > 1e9) return;
    const double divisor = std::isfinite(f.divisor) && f.divisor != 0 ? f.divisor : 1.0;
    const double bias = std::isfinite(f.bias) ? f.bias : 0.0;

    // With preserveAlpha the colour is convolved straight: unpremultiply the region first.
    if (f.preserveAlpha) {
        for (int y = region.y0; y < region.y1; ++y) {
            uint32_t* row = s.Row(y);
            for (int x = region.x0; x < region.x1; ++x) row[x] = Unpremultiply(row[x]);
        }
    }
    const uint32_t outside = f.preserveAlpha
                                 ? Pack(f.defaultColor.a, f.defaultColor.r, f.defaultColor.g, f.defaultColor.b)
                                 : Premultiply(f.defaultColor);
    scratch.temp.resize(n * 4);
    uint32_t* out = reinterpret_cast<uint32_t*>(scratch.temp.data());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double acc[4] = {0, 0, 0, 0};
            for (const Tap& t : kernel) {
                int sx = x + t.dx, sy = y + t.dy;
                uint32_t p;
                if (sx >= 0 && sy >= 0 && sx < w && sy < h) {
                    p = s.Row(region.y0 + sy)[region.x0 + sx];
                } else if (f.clamp) {
                    sx = std::clamp(sx, 0, w - 1);
                    sy = std::clamp(sy, 0, h - 1);
                    p = s.Row(region.y0 + sy)[region.x0 + sx];
                } else {
                    p = outside;
                }
                for (int c = 0; c < 4; ++c) acc[c] += t.weight * ((p >> (8 * c)) & 255);
            }
            uint32_t ch[4];
            for (int c = 0; c < 4; ++c) ch[c] = ClampByte(acc[c] / divisor + bias);
            const uint32_t self = s.Row(region.y0 + y)[region.x0 + x];
            if (f.preserveAlpha) {
                out[static_cast<size_t>(y) * w + x] = PremultiplyPacked(Pack(self >> 24, ch[2], ch[1], ch[0]));
            } else {
                const uint32_t a = ch[3];
                out[static_cast<size_t>(y) * w + x] =
                    Pack(a, std::min(ch[2], a), std::min(ch[1], a), std::min(ch[0], a));
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        std::memcpy(s.Row(region.y0 + y) + region.x0, out + static_cast<size_t>(y) * w, static_cast<size_t>(w) * 4);
    }
}

void ApplyColorMatrix(Surface& s, IntRect region, const std::array<float, 20>& m) {
    region = Clip(s, region);
    if (Empty(region)) return;
    for (int y = region.y0; y < region.y1; ++y) {
        uint32_t* row = s.Row(y);
        for (int x = region.x0; x < region.x1; ++x) {
            const uint32_t p = Unpremultiply(row[x]);
            const double in[4] = {static_cast<double>((p >> 16) & 255), static_cast<double>((p >> 8) & 255),
                                  static_cast<double>(p & 255), static_cast<double>(p >> 24)};
            uint32_t o[4];
            for (int k = 0; k < 4; ++k) {
                const float* r = &m[static_cast<size_t>(k) * 5];
                o[k] = ClampByte(r[0] * in[0] + r[1] * in[1] + r[2] * in[2] + r[3] * in[3] + r[4]);
            }
            row[x] = PremultiplyPacked(Pack(o[3], o[0], o[1], o[2]));
        }
    }
}

}  // namespace lumarel::raster
