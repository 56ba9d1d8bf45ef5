// Premultiplied 0xAARRGGBB pixel arithmetic, two channels per 32-bit multiply.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define LUMAREL_RASTER_PIXEL_SSE2 1
#else
#define LUMAREL_RASTER_PIXEL_SSE2 0
#endif

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

// Source-over of premultiplied src onto premultiplied dst.
inline uint32_t Over(uint32_t src, uint32_t dst) { return src + MulPixel(dst, 255u - (src >> 24)); }

// d[i] = src + d[i] * inv / 255 for a run (constant translucent source), same rounding as MulPixel.
inline void OverConstSpan(uint32_t* d, int len, uint32_t src, uint32_t inv) {
  int i = 0;
#if LUMAREL_RASTER_PIXEL_SSE2
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

// Adds two premultiplied pixels whose alphas sum to at most 255.
inline uint32_t AddPixel(uint32_t p, uint32_t q) { return p + q; }

}  // namespace lumarel::raster::detail
