#include "engine/swf/morph.h"

#include <algorithm>
#include <cmath>

#include "engine/swf/bit_reader.h"

namespace lumarel::engine::swf {

namespace {

unsigned ReadCount(BitReader& r) {
    unsigned n = r.U8();
    if (n == 0xFF) n = r.U16();
    return n;
}

void ReadMorphFill(BitReader& r, const ShapeContext* ctx, raster::Paint& s, raster::Paint& e) {
    const uint8_t type = r.U8();
    switch (type) {
        case 0x00:
            s.kind = e.kind = raster::Paint::Kind::Solid;
            s.color = ReadRgba(r);
            e.color = ReadRgba(r);
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            s.kind = e.kind = raster::Paint::Kind::Gradient;
            const auto kind = type == 0x10   ? raster::Gradient::Kind::Linear
                              : type == 0x12 ? raster::Gradient::Kind::Radial
                                             : raster::Gradient::Kind::Focal;
            s.gradient.kind = e.gradient.kind = kind;
            s.gradient.matrix = ReadMatrix(r);
            e.gradient.matrix = ReadMatrix(r);
            const uint8_t head = r.U8();
            const unsigned count = head & 15;
            const unsigned spread = head >> 6, interp = (head >> 4) & 3;
            s.gradient.spread = e.gradient.spread = spread == 1   ? raster::Spread::Reflect
                                                    : spread == 2 ? raster::Spread::Repeat
                                                                  : raster::Spread::Pad;
            s.gradient.interpolation = e.gradient.interpolation =
                interp == 1 ? raster::Interpolation::LinearRgb : raster::Interpolation::Rgb;
            for (unsigned i = 0; i < count && r.Ok(); ++i) {
                raster::GradientStop a, b;
                a.ratio = r.U8();
                a.color = ReadRgba(r);
                b.ratio = r.U8();
                b.color = ReadRgba(r);
                if (!s.gradient.stops.empty()) {
                    a.ratio = std::max(a.ratio, s.gradient.stops.back().ratio);
                    b.ratio = std::max(b.ratio, e.gradient.stops.back().ratio);
                }
                s.gradient.stops.push_back(a);
                e.gradient.stops.push_back(b);
            }
            if (type == 0x13) {  // focal points of the start and end gradients follow the stops
                s.gradient.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
                e.gradient.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
            }
            if (s.gradient.stops.empty()) s.kind = e.kind = raster::Paint::Kind::None;
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43: {
            const uint16_t id = r.U16();
            const raster::Matrix ms = ReadMatrix(r), me = ReadMatrix(r);
            MakeBitmapPaint(type, id, ms, ctx, s);
            MakeBitmapPaint(type, id, me, ctx, e);
            break;
        }
        default:
            r.Fail();
            break;
    }
}

void ReadMorphLine(BitReader& r, int version, const ShapeContext* ctx, raster::Stroke& s, raster::Stroke& e) {
    s.width = r.U16();
    e.width = r.U16();
    if (version >= 2) {
        const bool hasFill = ReadLineStyle2Flags(r, s);
        // One set of flags for both ends.
        const double endWidth = e.width;
        e = s;
        e.width = endWidth;
        if (hasFill) {
            ReadMorphFill(r, ctx, s.paint, e.paint);
            return;
        }
    }
    s.paint.kind = e.paint.kind = raster::Paint::Kind::Solid;
    s.paint.color = ReadRgba(r);
    e.paint.color = ReadRgba(r);
}

// Reads a SHAPE (bit counts, then records up to the end record) into edges, each with the
// style indices in force (an index beyond the `fills` or `lines` styles selects none). Edges are
// kept whatever their styles so that start and end pair up.
void ReadEdges(BitReader& r, size_t fills, size_t lines, std::vector<raster::Edge>& out) {
    ShapeRecordReader records(r, fills, lines);
    for (;;) {
        raster::Edge e;
        const ShapeRecordReader::Record kind = records.Next(e);
        if (kind == ShapeRecordReader::Record::End) break;
        if (kind == ShapeRecordReader::Record::NewStyles) {  // not allowed in a morph shape
            r.Fail();
            break;
        }
        out.push_back(e);
    }
}

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

// Floored, as the player's fixed-point blend is (a red of 84.99 shows as 84); the small bias
// keeps a value that is exactly whole in theory from dropping below it in floating point.
uint8_t LerpByte(uint8_t a, uint8_t b, double t) {
    return static_cast<uint8_t>(std::clamp(static_cast<long>(std::floor(Lerp(a, b, t) + 1e-7)), 0L, 255L));
}

raster::Rgba LerpColor(raster::Rgba a, raster::Rgba b, double t) {
    return raster::Rgba{LerpByte(a.r, b.r, t), LerpByte(a.g, b.g, t), LerpByte(a.b, b.b, t), LerpByte(a.a, b.a, t)};
}

raster::Matrix LerpMatrix(const raster::Matrix& a, const raster::Matrix& b, double t) {
    raster::Matrix m;
    m.a = Lerp(a.a, b.a, t);
    m.b = Lerp(a.b, b.b, t);
    m.c = Lerp(a.c, b.c, t);
    m.d = Lerp(a.d, b.d, t);
    m.tx = Lerp(a.tx, b.tx, t);
    m.ty = Lerp(a.ty, b.ty, t);
    return m;
}

void LerpPaint(const raster::Paint& a, const raster::Paint& b, double t, raster::Paint& out) {
    out = a;
    switch (a.kind) {
        case raster::Paint::Kind::Solid:
            out.color = LerpColor(a.color, b.color, t);
            break;
        case raster::Paint::Kind::Gradient:
            out.gradient.matrix = LerpMatrix(a.gradient.matrix, b.gradient.matrix, t);
            out.gradient.focal = Lerp(a.gradient.focal, b.gradient.focal, t);
            for (size_t i = 0; i < out.gradient.stops.size() && i < b.gradient.stops.size(); ++i) {
                out.gradient.stops[i].ratio = LerpByte(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t);
                out.gradient.stops[i].color = LerpColor(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
            }
            break;
        case raster::Paint::Kind::Bitmap:
            out.bitmapMatrix = LerpMatrix(a.bitmapMatrix, b.bitmapMatrix, t);
            break;
        case raster::Paint::Kind::None:
            break;
    }
}

}  // namespace

bool ParseDefineMorphShape(std::span<const uint8_t> data, int version, const ShapeContext* ctx, MorphDefinition& out,
                           std::string& error) {
    BitReader r(data);
    out = MorphDefinition{};
    out.id = r.U16();
    out.startBounds = ReadRect(r);
    out.endBounds = ReadRect(r);
    if (version >= 2) {
        (void)ReadRect(r);  // edge bounds, start and end
        (void)ReadRect(r);
        (void)r.U8();  // stroke scaling flags
    }
    const uint32_t offset = r.U32();
    const size_t endAt = r.Pos() + offset;  // EndEdges start `offset` bytes after the field
    if (!r.Ok()) {
        error = "morph shape header truncated";
        return false;
    }
    const unsigned fills = ReadCount(r);
    for (unsigned i = 0; i < fills && r.Ok(); ++i) {
        raster::Paint s, e;
        ReadMorphFill(r, ctx, s, e);
        out.startFills.push_back(std::move(s));
        out.endFills.push_back(std::move(e));
    }
    const unsigned lines = ReadCount(r);
    for (unsigned i = 0; i < lines && r.Ok(); ++i) {
        raster::Stroke s, e;
        ReadMorphLine(r, version, ctx, s, e);
        out.startLines.push_back(std::move(s));
        out.endLines.push_back(std::move(e));
    }
    if (!r.Ok()) {
        error = "morph shape " + std::to_string(out.id) + ": style arrays malformed";
        return false;
    }
    ReadEdges(r, out.startFills.size(), out.startLines.size(), out.startEdges);
    if (endAt < data.size() && offset > 0) {
        BitReader er(data.subspan(endAt));
        ReadEdges(er, 0, 0, out.endEdges);
    }
    out.paired = out.startEdges.size() == out.endEdges.size();
    return true;
}

void BuildMorphShape(const MorphDefinition& m, double t, raster::Shape& out) {
    if (!std::isfinite(t)) t = 0;
    t = std::clamp(t, 0.0, 1.0);
    if (!m.paired) t = 0;
    out.layers.resize(1);
    raster::Layer& layer = out.layers[0];
    layer.evenOdd = true;  // as every SWF shape without a winding-rule flag
    layer.fills.resize(m.startFills.size());
    for (size_t i = 0; i < m.startFills.size(); ++i) LerpPaint(m.startFills[i], m.endFills[i], t, layer.fills[i]);
    layer.strokes.resize(m.startLines.size());
    for (size_t i = 0; i < m.startLines.size(); ++i) {
        const raster::Stroke& a = m.startLines[i];
        const raster::Stroke& b = m.endLines[i];
        raster::Stroke& s = layer.strokes[i];
        s = a;
        s.width = Lerp(a.width, b.width, t);
        LerpPaint(a.paint, b.paint, t, s.paint);
    }
    layer.edges.clear();
    layer.edges.reserve(m.startEdges.size());
    for (size_t i = 0; i < m.startEdges.size(); ++i) {
        const raster::Edge& a = m.startEdges[i];
        if (!a.fill0 && !a.fill1 && !a.line) continue;
        const raster::Edge& b = m.paired ? m.endEdges[i] : a;
        raster::Edge e = a;
        auto lf = [t](float p, float q) { return static_cast<float>(p + (static_cast<double>(q) - p) * t); };
        e.x0 = lf(a.x0, b.x0);
        e.y0 = lf(a.y0, b.y0);
        e.x1 = lf(a.x1, b.x1);
        e.y1 = lf(a.y1, b.y1);
        // A line paired with a curve becomes a curve (its control point is the line's midpoint).
        const bool curve = a.kind == raster::Edge::Kind::Quad || b.kind == raster::Edge::Kind::Quad;
        e.kind = curve ? raster::Edge::Kind::Quad : raster::Edge::Kind::Line;
        e.cx = lf(a.cx, b.cx);
        e.cy = lf(a.cy, b.cy);
        layer.edges.push_back(e);
    }
}

}  // namespace lumarel::engine::swf
