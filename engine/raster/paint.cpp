#include "engine/raster/paint.h"

#include <algorithm>
#include <cmath>

#include "engine/raster/pixel.h"

namespace lumarel::raster::detail {

namespace {

// sRGB <-> linear light, 8-bit in, 12-bit linear.
struct LinearTables {
  uint16_t toLinear[256];
  uint8_t toSrgb[4096];
  LinearTables() {
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      const double l = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
      toLinear[i] = static_cast<uint16_t>(std::lround(l * 4095.0));
    }
    for (int i = 0; i < 4096; ++i) {
      const double l = i / 4095.0;
      const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
      toSrgb[i] = static_cast<uint8_t>(std::clamp(std::lround(c * 255.0), 0L, 255L));
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
      int i = 0;
      // Constant runs before/after the ramp are filled without per-pixel clamping.
      for (; i < len; ++i, u += step) {
        const int64_t k = u >> 16;
        out[i] = ramp[k < 0 ? 0 : (k > 255 ? 255 : k)];
      }
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
        out[i] = ramp[k ^ ((k >> 8) * 511u) ];
      }
      break;
    }
  }
}

void FetchRadial(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
  const Matrix& m = p.inv;
  const double px = x + 0.5, py = y + 0.5;
  // inv maps to gradient units scaled so that radius 16384 == 256 index units.
  float gx = static_cast<float>(m.a * px + m.c * py + m.tx);
  float gy = static_cast<float>(m.b * px + m.d * py + m.ty);
  const float dx = static_cast<float>(m.a), dy = static_cast<float>(m.b);
  const uint32_t* ramp = p.ramp;
  if (!(std::isfinite(gx) && std::isfinite(gy) && std::isfinite(dx) && std::isfinite(dy))) {
    std::fill_n(out, len, ramp[0]);
    return;
  }
  const Spread s = p.spread;
  for (int i = 0; i < len; ++i) {
    const float r = std::sqrt(gx * gx + gy * gy);
    const float rr = r < 3e7f ? r : 3e7f;
    out[i] = ramp[SpreadIndex(static_cast<int64_t>(rr * 65536.0f), s)];
    gx += dx;
    gy += dy;
  }
}

void FetchFocal(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
  const Matrix& m = p.inv;
  const double px = x + 0.5, py = y + 0.5;
  // Unit-circle coordinates here (inv maps to gradient square / 16384).
  double gx = m.a * px + m.c * py + m.tx;
  double gy = m.b * px + m.d * py + m.ty;
  const double f = p.focal;
  const double k = 1.0 - f * f;
  const uint32_t* ramp = p.ramp;
  const Spread s = p.spread;
  for (int i = 0; i < len; ++i) {
    // Point = F + t*(Q - F) with |Q| = 1 and F = (f, 0): solve for t.
    const double dx = gx - f, dy = gy;
    const double fd = f * dx;
    const double disc = fd * fd + k * (dx * dx + dy * dy);
    double t = (fd + std::sqrt(disc > 0 ? disc : 0)) / k;
    if (!(t > -1e7)) t = -1e7;
    if (t > 1e7) t = 1e7;
    out[i] = ramp[SpreadIndex(static_cast<int64_t>(t * 256.0 * 65536.0), s)];
    gx += m.a;
    gy += m.b;
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

inline uint32_t TransformPixel(uint32_t c, const ColorTransform& cx) {
  const uint32_t a = c >> 24;
  Rgba s;
  if (a == 0) {
    s = Rgba{0, 0, 0, 0};
  } else {
    s.r = static_cast<uint8_t>(std::min<uint32_t>(255, (((c >> 16) & 255) * 255 + a / 2) / a));
    s.g = static_cast<uint8_t>(std::min<uint32_t>(255, (((c >> 8) & 255) * 255 + a / 2) / a));
    s.b = static_cast<uint8_t>(std::min<uint32_t>(255, ((c & 255) * 255 + a / 2) / a));
    s.a = static_cast<uint8_t>(a);
  }
  return Premultiply(cx.Apply(s));
}

inline int Wrap(int v, int n) {
  int r = v % n;
  return r < 0 ? r + n : r;
}

void FetchBitmap(const CompiledPaint& p, int x, int y, int len, uint32_t* out) {
  const Bitmap& bm = *p.bitmap;
  const int w = bm.width, h = bm.height;
  const Matrix& m = p.inv;
  const double px = x + 0.5, py = y + 0.5;
  double u = m.a * px + m.c * py + m.tx;
  double v = m.b * px + m.d * py + m.ty;
  const uint32_t* pix = bm.pixels.data();
  const bool rep = p.repeat;
  auto at = [&](int ix, int iy) -> uint32_t {
    if (rep) {
      ix = Wrap(ix, w);
      iy = Wrap(iy, h);
    } else {
      ix = std::clamp(ix, 0, w - 1);
      iy = std::clamp(iy, 0, h - 1);
    }
    return pix[static_cast<size_t>(iy) * static_cast<size_t>(w) + static_cast<size_t>(ix)];
  };
  constexpr double kLim = 1e9;
  for (int i = 0; i < len; ++i, u += m.a, v += m.b) {
    const double cu = std::clamp(u, -kLim, kLim), cv = std::clamp(v, -kLim, kLim);
    uint32_t c;
    if (!p.smooth) {
      c = at(static_cast<int>(std::floor(cu)), static_cast<int>(std::floor(cv)));
    } else {
      const double su = cu - 0.5, sv = cv - 0.5;
      const double fu = std::floor(su), fv = std::floor(sv);
      const int ix = static_cast<int>(fu), iy = static_cast<int>(fv);
      const uint32_t wx = static_cast<uint32_t>((su - fu) * 256.0), wy = static_cast<uint32_t>((sv - fv) * 256.0);
      const uint32_t c00 = at(ix, iy), c10 = at(ix + 1, iy), c01 = at(ix, iy + 1), c11 = at(ix + 1, iy + 1);
      auto lerp = [](uint32_t a, uint32_t b, uint32_t t) {  // t in 0..256
        const uint32_t rbA = a & 0x00FF00FFu, agA = (a >> 8) & 0x00FF00FFu;
        const uint32_t rbB = b & 0x00FF00FFu, agB = (b >> 8) & 0x00FF00FFu;
        const uint32_t rb = ((rbA * (256 - t) + rbB * t) >> 8) & 0x00FF00FFu;
        const uint32_t ag = ((agA * (256 - t) + agB * t)) & 0xFF00FF00u;
        return rb | ag;
      };
      c = lerp(lerp(c00, c10, wx), lerp(c01, c11, wx), wy);
    }
    c = ClampPremul(c);
    if (!p.cxIdentity) c = TransformPixel(c, p.cx);
    out[i] = c;
  }
}

}  // namespace

void BuildRamp(const Gradient& g, const ColorTransform& cx, Ramp& ramp) {
  std::vector<GradientStop> stops(g.stops.begin(), g.stops.end());
  if (stops.empty()) {
    ramp.fill(0);
    return;
  }
  std::stable_sort(stops.begin(), stops.end(),
                   [](const GradientStop& p, const GradientStop& q) { return p.ratio < q.ratio; });
  for (GradientStop& s : stops) s.color = cx.Apply(s.color);
  const bool lin = g.interpolation == Interpolation::LinearRgb;
  const LinearTables& t = Tables();
  size_t k = 0;
  for (int i = 0; i < 256; ++i) {
    while (k + 1 < stops.size() && stops[k + 1].ratio <= i) ++k;
    Rgba c;
    if (i <= stops.front().ratio) {
      c = stops.front().color;
    } else if (k + 1 >= stops.size()) {
      c = stops.back().color;
    } else {
      const GradientStop& s0 = stops[k];
      const GradientStop& s1 = stops[k + 1];
      const int span = s1.ratio - s0.ratio;
      const double f = span > 0 ? double(i - s0.ratio) / span : 0.0;
      auto mix = [f](double p, double q) { return p + (q - p) * f; };
      if (lin) {
        auto ch = [&](uint8_t p, uint8_t q) {
          const double l = mix(t.toLinear[p], t.toLinear[q]);
          return t.toSrgb[std::clamp(static_cast<int>(std::lround(l)), 0, 4095)];
        };
        c.r = ch(s0.color.r, s1.color.r);
        c.g = ch(s0.color.g, s1.color.g);
        c.b = ch(s0.color.b, s1.color.b);
      } else {
        c.r = static_cast<uint8_t>(std::lround(mix(s0.color.r, s1.color.r)));
        c.g = static_cast<uint8_t>(std::lround(mix(s0.color.g, s1.color.g)));
        c.b = static_cast<uint8_t>(std::lround(mix(s0.color.b, s1.color.b)));
      }
      c.a = static_cast<uint8_t>(std::lround(mix(s0.color.a, s1.color.a)));
    }
    ramp[static_cast<size_t>(i)] = Premultiply(c);
  }
}

void CompilePaint(const Paint& p, const Matrix& m, const ColorTransform& cx, Ramp& ramp,
                  CompiledPaint& out) {
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
      FetchRadial(p, x, y, len, out);
      return;
    case CompiledPaint::Kind::Focal:
      FetchFocal(p, x, y, len, out);
      return;
    case CompiledPaint::Kind::Bitmap:
      FetchBitmap(p, x, y, len, out);
      return;
  }
}

}  // namespace lumarel::raster::detail
