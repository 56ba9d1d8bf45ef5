// Premultiplied 0xAARRGGBB pixel arithmetic, two channels per 32-bit multiply.
#pragma once

#include <cstdint>

#include "engine/raster/simd.h"

namespace lumarel::raster::detail {

// c * a / 255 per channel (a in 0..255), correctly rounded.
inline uint32_t MulPixel(uint32_t c, uint32_t a) {
    uint32_t rb = (c & 0x00FF00FFu) * a + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((c >> 8) & 0x00FF00FFu) * a + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

inline uint32_t Mul255(uint32_t x, uint32_t y) {  // x*y/255 rounded, x,y in 0..255
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// Opaque src over premultiplied dst at coverage a (0..255): each colour channel is
// (src * a + dst * (255 - a)) >> 8; alpha is a + dst_alpha * (255 - a) / 255, so an opaque
// destination stays opaque. No channel sum exceeds 255 * 255, so lanes never carry.
inline uint32_t Lerp256(uint32_t src, uint32_t dst, uint32_t a) {
    const uint32_t ia = 255u - a;
    const uint32_t rb = (((src & 0x00FF00FFu) * a + (dst & 0x00FF00FFu) * ia) >> 8) & 0x00FF00FFu;
    const uint32_t g = (((src & 0x0000FF00u) * a + (dst & 0x0000FF00u) * ia) >> 8) & 0x0000FF00u;
    const uint32_t t = (dst >> 24) * ia + 128;
    const uint32_t alpha = a + ((t + (t >> 8)) >> 8);
    return (alpha << 24) | rb | g;
}

// Source-over of premultiplied src onto premultiplied dst.
inline uint32_t Over(uint32_t src, uint32_t dst) { return src + MulPixel(dst, 255u - (src >> 24)); }

// d[i] = src + d[i] * inv / 255 for a run (constant translucent source), same rounding as MulPixel.
inline void OverConstSpan(uint32_t* d, int len, uint32_t src, uint32_t inv) {
    int i = 0;
#if LUMAREL_RASTER_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i vinv = _mm_set1_epi16(static_cast<short>(inv));
    const __m128i half = _mm_set1_epi16(128);
    const __m128i vsrc = _mm_set1_epi32(static_cast<int>(src));
    for (; i + 4 <= len; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(x, zero), vinv), half);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(x, zero), vinv), half);
        lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_add_epi8(_mm_packus_epi16(lo, hi), vsrc));
    }
#endif
    for (; i < len; ++i) d[i] = src + MulPixel(d[i], inv);
}

#if LUMAREL_RASTER_SSE2
// x (8 channels in 16-bit lanes) * m / 255 with MulPixel's rounding.
inline __m128i MulDiv255Epi16(__m128i x, __m128i m) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, m), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}
// Broadcasts each pixel's alpha lane (3 and 7) over its four lanes.
inline __m128i AlphaLanes(__m128i x) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xFF), 0xFF); }
#endif

// d[i] = src[i] over d[i] for premultiplied sources.
inline void OverSpan(uint32_t* d, const uint32_t* src, int len) {
    int i = 0;
#if LUMAREL_RASTER_SSE2
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
    for (; i + 4 <= len; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
        const __m128i lo = MulDiv255Epi16(_mm_unpacklo_epi8(x, zero), _mm_sub_epi16(full, AlphaLanes(slo)));
        const __m128i hi = MulDiv255Epi16(_mm_unpackhi_epi8(x, zero), _mm_sub_epi16(full, AlphaLanes(shi)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_add_epi8(_mm_packus_epi16(lo, hi), s));
    }
#endif
    for (; i < len; ++i) d[i] = Over(src[i], d[i]);
}

// p[i] = p[i] * a / 255 (all channels).
inline void MulSpan(uint32_t* p, int len, uint32_t a) {
    int i = 0;
#if LUMAREL_RASTER_SSE2
    const __m128i zero = _mm_setzero_si128(), va = _mm_set1_epi16(static_cast<short>(a));
    for (; i + 4 <= len; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i lo = MulDiv255Epi16(_mm_unpacklo_epi8(x, zero), va);
        const __m128i hi = MulDiv255Epi16(_mm_unpackhi_epi8(x, zero), va);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < len; ++i) p[i] = MulPixel(p[i], a);
}

}  // namespace lumarel::raster::detail
