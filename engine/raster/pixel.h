// Premultiplied 0xAARRGGBB pixel arithmetic, two channels per 32-bit multiply.
#pragma once

#include <cstdint>

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

// Adds two premultiplied pixels whose alphas sum to at most 255.
inline uint32_t AddPixel(uint32_t p, uint32_t q) { return p + q; }

}  // namespace lumarel::raster::detail
