#include "engine/swf/records.h"

#include <algorithm>

namespace lumarel::engine::swf {

Rect ReadRect(BitReader& r) {
  Rect rc;
  const unsigned n = r.ub(5);
  rc.xmin = r.sb(n);
  rc.xmax = r.sb(n);
  rc.ymin = r.sb(n);
  rc.ymax = r.sb(n);
  r.align();
  return rc;
}

raster::Matrix ReadMatrix(BitReader& r) {
  raster::Matrix m;
  r.align();
  if (r.flag()) {
    const unsigned n = r.ub(5);
    m.a = r.fb(n);
    m.d = r.fb(n);
  }
  if (r.flag()) {
    const unsigned n = r.ub(5);
    m.b = r.fb(n);
    m.c = r.fb(n);
  }
  const unsigned n = r.ub(5);
  m.tx = r.sb(n);
  m.ty = r.sb(n);
  r.align();
  return m;
}

raster::ColorTransform ReadCxform(BitReader& r, bool withAlpha) {
  raster::ColorTransform cx;
  r.align();
  const bool hasAdd = r.flag();
  const bool hasMul = r.flag();
  const unsigned n = r.ub(4);
  if (hasMul) {
    cx.rm = r.sb(n) / 256.0;
    cx.gm = r.sb(n) / 256.0;
    cx.bm = r.sb(n) / 256.0;
    if (withAlpha) cx.am = r.sb(n) / 256.0;
  }
  if (hasAdd) {
    cx.ra = r.sb(n);
    cx.ga = r.sb(n);
    cx.ba = r.sb(n);
    if (withAlpha) cx.aa = r.sb(n);
  }
  r.align();
  return cx;
}

raster::Rgba ReadRgb(BitReader& r) {
  raster::Rgba c;
  c.r = r.u8();
  c.g = r.u8();
  c.b = r.u8();
  c.a = 255;
  return c;
}

raster::Rgba ReadRgba(BitReader& r) {
  raster::Rgba c;
  c.r = r.u8();
  c.g = r.u8();
  c.b = r.u8();
  c.a = r.u8();
  return c;
}

namespace {

raster::Rgba ReadColor(BitReader& r, int version) { return version >= 3 ? ReadRgba(r) : ReadRgb(r); }

void ReadGradient(BitReader& r, int version, bool focal, raster::Gradient& g) {
  const unsigned spread = r.ub(2);
  const unsigned interp = r.ub(2);
  const unsigned count = r.ub(4);
  g.spread = spread == 1 ? raster::Spread::Reflect : spread == 2 ? raster::Spread::Repeat : raster::Spread::Pad;
  g.interpolation = interp == 1 ? raster::Interpolation::LinearRgb : raster::Interpolation::Rgb;
  g.stops.clear();
  for (unsigned i = 0; i < count && r.ok(); ++i) {
    raster::GradientStop s;
    s.ratio = r.u8();
    s.color = ReadColor(r, version);
    // Ratios must not go backwards; a stop that does is moved up to its predecessor.
    if (!g.stops.empty()) s.ratio = std::max(s.ratio, g.stops.back().ratio);
    g.stops.push_back(s);
  }
  if (focal) g.focal = std::clamp(r.fixed8(), -1.0, 1.0);
}

void ReadFillStyle(BitReader& r, int version, raster::Paint& p, const ShapeContext* ctx) {
  const uint8_t type = r.u8();
  switch (type) {
    case 0x00:
      p.kind = raster::Paint::Kind::Solid;
      p.color = ReadColor(r, version);
      break;
    case 0x10:
    case 0x12:
    case 0x13:
      p.kind = raster::Paint::Kind::Gradient;
      p.gradient.kind = type == 0x10   ? raster::Gradient::Kind::Linear
                        : type == 0x12 ? raster::Gradient::Kind::Radial
                                       : raster::Gradient::Kind::Focal;
      p.gradient.matrix = ReadMatrix(r);
      ReadGradient(r, version, type == 0x13, p.gradient);
      if (p.gradient.stops.empty()) {  // nothing to draw with: paint nothing
        p.kind = raster::Paint::Kind::None;
      }
      break;
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
    {
      const uint16_t id = r.u16();
      const raster::Matrix m = ReadMatrix(r);
      MakeBitmapPaint(type, id, m, ctx, p);  // an unknown bitmap paints nothing
      break;
    }
    default:
      r.fail();
      break;
  }
}

unsigned ReadCount(BitReader& r, int version) {
  unsigned n = r.u8();
  if (n == 0xFF && version >= 2) n = r.u16();
  return n;
}

void ReadStyles(BitReader& r, int version, raster::Layer& layer, const ShapeContext* ctx) {
  const unsigned fills = ReadCount(r, version);
  for (unsigned i = 0; i < fills && r.ok(); ++i) {
    raster::Paint p;
    ReadFillStyle(r, version, p, ctx);
    if (r.ok()) layer.fills.push_back(std::move(p));
  }
  const unsigned lines = ReadCount(r, version);
  for (unsigned i = 0; i < lines && r.ok(); ++i) {
    raster::Stroke s;
    s.width = r.u16();
    if (version >= 4) {
      const unsigned startCap = r.ub(2);
      const unsigned join = r.ub(2);
      const bool hasFill = r.flag();
      s.noHScale = r.flag();
      s.noVScale = r.flag();
      s.pixelHinting = r.flag();
      (void)r.ub(5);
      s.noClose = r.flag();
      const unsigned endCap = r.ub(2);
      auto cap = [](unsigned c) {
        return c == 1 ? raster::Cap::None : c == 2 ? raster::Cap::Square : raster::Cap::Round;
      };
      s.startCap = cap(startCap);
      s.endCap = cap(endCap);
      s.join = join == 1 ? raster::Join::Bevel : join == 2 ? raster::Join::Miter : raster::Join::Round;
      if (join == 2) s.miterLimit = std::max(1.0, r.u16() / 256.0);
      if (hasFill) {
        ReadFillStyle(r, version, s.paint, ctx);
      } else {
        s.paint.kind = raster::Paint::Kind::Solid;
        s.paint.color = ReadRgba(r);
      }
    } else {
      s.paint.kind = raster::Paint::Kind::Solid;
      s.paint.color = ReadColor(r, version);
    }
    if (r.ok()) layer.strokes.push_back(std::move(s));
  }
}

}  // namespace

bool ReadEdgeRecord(BitReader& r, int64_t& x, int64_t& y, raster::Edge& e) {
  e.x0 = static_cast<float>(x);
  e.y0 = static_cast<float>(y);
  const bool straight = r.flag();
  const unsigned n = r.ub(4) + 2;
  if (straight) {
    int64_t dx = 0, dy = 0;
    if (r.flag()) {  // general line
      dx = r.sb(n);
      dy = r.sb(n);
    } else if (r.flag()) {  // vertical
      dy = r.sb(n);
    } else {
      dx = r.sb(n);
    }
    e.kind = raster::Edge::Kind::Line;
    e.cx = static_cast<float>((static_cast<double>(x) + static_cast<double>(x + dx)) / 2);
    e.cy = static_cast<float>((static_cast<double>(y) + static_cast<double>(y + dy)) / 2);
    x += dx;
    y += dy;
  } else {
    const int64_t cdx = r.sb(n), cdy = r.sb(n), adx = r.sb(n), ady = r.sb(n);
    e.kind = raster::Edge::Kind::Quad;
    e.cx = static_cast<float>(x + cdx);
    e.cy = static_cast<float>(y + cdy);
    x += cdx + adx;
    y += cdy + ady;
  }
  e.x1 = static_cast<float>(x);
  e.y1 = static_cast<float>(y);
  return r.ok();
}

bool ParseDefineShape(std::span<const uint8_t> data, int version, ShapeDefinition& out, std::string& error,
                      const ShapeContext* ctx) {
  BitReader r(data);
  out.id = r.u16();
  out.bounds = ReadRect(r);
  bool evenOdd = true;  // SWF fills are even-odd unless a DefineShape4 asks for non-zero
  if (version >= 4) {
    (void)ReadRect(r);  // edge bounds
    evenOdd = (r.u8() & 0x04) == 0;  // bit 2: the non-zero winding rule; the rest: stroke scaling
  }
  out.shape.layers.clear();
  out.shape.layers.emplace_back();
  out.shape.layers.back().evenOdd = evenOdd;
  ReadStyles(r, version, out.shape.layers.back(), ctx);
  unsigned fillBits = r.ub(4);
  unsigned lineBits = r.ub(4);
  if (!r.ok()) {
    error = "shape " + std::to_string(out.id) + ": style arrays truncated";
    return false;
  }

  raster::Layer* layer = &out.shape.layers.back();
  uint16_t fill0 = 0, fill1 = 0, line = 0;
  int64_t x = 0, y = 0;  // wide: hostile deltas may sum beyond 32 bits
  // A style index beyond its array selects nothing.
  auto fillIndex = [&](uint32_t i) -> uint16_t { return i <= layer->fills.size() ? uint16_t(i) : 0; };
  auto lineIndex = [&](uint32_t i) -> uint16_t { return i <= layer->strokes.size() ? uint16_t(i) : 0; };

  while (r.ok()) {
    const bool isEdge = r.flag();
    if (!isEdge) {
      const unsigned flags = r.ub(5);
      if (!r.ok()) break;
      if (flags == 0) break;  // EndShapeRecord
      const bool newStyles = flags & 0x10, hasLine = flags & 0x08, hasFill1 = flags & 0x04,
                 hasFill0 = flags & 0x02, moveTo = flags & 0x01;
      if (moveTo) {
        const unsigned n = r.ub(5);
        x = r.sb(n);
        y = r.sb(n);
      }
      uint32_t f0 = 0, f1 = 0, ln = 0;
      if (hasFill0) f0 = r.ub(fillBits);
      if (hasFill1) f1 = r.ub(fillBits);
      if (hasLine) ln = r.ub(lineBits);
      if (newStyles) {
        out.shape.layers.emplace_back();
        layer = &out.shape.layers.back();
        layer->evenOdd = evenOdd;
        ReadStyles(r, version, *layer, ctx);
        fillBits = r.ub(4);
        lineBits = r.ub(4);
        fill0 = fill1 = line = 0;
      }
      if (hasFill0) fill0 = fillIndex(f0);
      if (hasFill1) fill1 = fillIndex(f1);
      if (hasLine) line = lineIndex(ln);
      continue;
    }
    raster::Edge e;
    if (!ReadEdgeRecord(r, x, y, e)) break;
    e.fill0 = fill0;
    e.fill1 = fill1;
    e.line = line;
    if (fill0 || fill1 || line) layer->edges.push_back(e);
  }
  return true;
}

}  // namespace lumarel::engine::swf
