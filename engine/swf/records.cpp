#include "engine/swf/records.h"

#include <algorithm>

namespace lumarel::engine::swf {

Rect ReadRect(BitReader& r) {
    Rect rc;
    const unsigned n = r.Ub(5);
    rc.xmin = r.Sb(n);
    rc.xmax = r.Sb(n);
    rc.ymin = r.Sb(n);
    rc.ymax = r.Sb(n);
    r.Align();
    return rc;
}

raster::Matrix ReadMatrix(BitReader& r) {
    raster::Matrix m;
    r.Align();
    if (r.Flag()) {
        const unsigned n = r.Ub(5);
        m.a = r.Fb(n);
        m.d = r.Fb(n);
    }
    if (r.Flag()) {
        const unsigned n = r.Ub(5);
        m.b = r.Fb(n);
        m.c = r.Fb(n);
    }
    const unsigned n = r.Ub(5);
    m.tx = r.Sb(n);
    m.ty = r.Sb(n);
    r.Align();
    return m;
}

raster::ColorTransform ReadCxform(BitReader& r, bool withAlpha) {
    raster::ColorTransform cx;
    r.Align();
    const bool hasAdd = r.Flag();
    const bool hasMul = r.Flag();
    const unsigned n = r.Ub(4);
    if (hasMul) {
        cx.rm = r.Sb(n) / 256.0;
        cx.gm = r.Sb(n) / 256.0;
        cx.bm = r.Sb(n) / 256.0;
        if (withAlpha) cx.am = r.Sb(n) / 256.0;
    }
    if (hasAdd) {
        cx.ra = r.Sb(n);
        cx.ga = r.Sb(n);
        cx.ba = r.Sb(n);
        if (withAlpha) cx.aa = r.Sb(n);
    }
    r.Align();
    return cx;
}

raster::Rgba ReadRgb(BitReader& r) {
    raster::Rgba c;
    c.r = r.U8();
    c.g = r.U8();
    c.b = r.U8();
    c.a = 255;
    return c;
}

raster::Rgba ReadRgba(BitReader& r) {
    raster::Rgba c;
    c.r = r.U8();
    c.g = r.U8();
    c.b = r.U8();
    c.a = r.U8();
    return c;
}

namespace {

raster::Rgba ReadColor(BitReader& r, int version) { return version >= 3 ? ReadRgba(r) : ReadRgb(r); }

void ReadGradient(BitReader& r, int version, bool focal, raster::Gradient& g) {
    const unsigned spread = r.Ub(2);
    const unsigned interp = r.Ub(2);
    const unsigned count = r.Ub(4);
    g.spread = spread == 1 ? raster::Spread::Reflect : spread == 2 ? raster::Spread::Repeat : raster::Spread::Pad;
    g.interpolation = interp == 1 ? raster::Interpolation::LinearRgb : raster::Interpolation::Rgb;
    g.stops.clear();
    for (unsigned i = 0; i < count && r.Ok(); ++i) {
        raster::GradientStop s;
        s.ratio = r.U8();
        s.color = ReadColor(r, version);
        // Ratios must not go backwards; a stop that does is moved up to its predecessor.
        if (!g.stops.empty()) s.ratio = std::max(s.ratio, g.stops.back().ratio);
        g.stops.push_back(s);
    }
    if (focal) g.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
}

void ReadFillStyle(BitReader& r, int version, raster::Paint& p, const ShapeContext* ctx) {
    const uint8_t type = r.U8();
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
        case 0x43: {
            const uint16_t id = r.U16();
            const raster::Matrix m = ReadMatrix(r);
            MakeBitmapPaint(type, id, m, ctx, p);  // an unknown bitmap paints nothing
            break;
        }
        default:
            r.Fail();
            break;
    }
}

unsigned ReadCount(BitReader& r, int version) {
    unsigned n = r.U8();
    if (n == 0xFF && version >= 2) n = r.U16();
    return n;
}

void ReadStyles(BitReader& r, int version, raster::Layer& layer, const ShapeContext* ctx) {
    const unsigned fills = ReadCount(r, version);
    for (unsigned i = 0; i < fills && r.Ok(); ++i) {
        raster::Paint p;
        ReadFillStyle(r, version, p, ctx);
        if (r.Ok()) layer.fills.push_back(std::move(p));
    }
    const unsigned lines = ReadCount(r, version);
    for (unsigned i = 0; i < lines && r.Ok(); ++i) {
        raster::Stroke s;
        s.width = r.U16();
        if (version >= 4) {
            const bool hasFill = ReadLineStyle2Flags(r, s);
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
        if (r.Ok()) layer.strokes.push_back(std::move(s));
    }
}

}  // namespace

bool ReadLineStyle2Flags(BitReader& r, raster::Stroke& s) {
    const unsigned startCap = r.Ub(2);
    const unsigned join = r.Ub(2);
    const bool hasFill = r.Flag();
    s.noHScale = r.Flag();
    s.noVScale = r.Flag();
    s.pixelHinting = r.Flag();
    (void)r.Ub(5);
    s.noClose = r.Flag();
    const unsigned endCap = r.Ub(2);
    auto cap = [](unsigned c) {
        return c == 1 ? raster::Cap::None : c == 2 ? raster::Cap::Square : raster::Cap::Round;
    };
    s.startCap = cap(startCap);
    s.endCap = cap(endCap);
    s.join = join == 1 ? raster::Join::Bevel : join == 2 ? raster::Join::Miter : raster::Join::Round;
    if (join == 2) s.miterLimit = std::max(1.0, r.U16() / 256.0);
    return hasFill;
}

bool ReadEdgeRecord(BitReader& r, int64_t& x, int64_t& y, raster::Edge& e) {
    e.x0 = static_cast<float>(x);
    e.y0 = static_cast<float>(y);
    const bool straight = r.Flag();
    const unsigned n = r.Ub(4) + 2;
    if (straight) {
        int64_t dx = 0, dy = 0;
        if (r.Flag()) {  // general line
            dx = r.Sb(n);
            dy = r.Sb(n);
        } else if (r.Flag()) {  // vertical
            dy = r.Sb(n);
        } else {
            dx = r.Sb(n);
        }
        e.kind = raster::Edge::Kind::Line;
        e.cx = static_cast<float>((static_cast<double>(x) + static_cast<double>(x + dx)) / 2);
        e.cy = static_cast<float>((static_cast<double>(y) + static_cast<double>(y + dy)) / 2);
        x += dx;
        y += dy;
    } else {
        const int64_t cdx = r.Sb(n), cdy = r.Sb(n), adx = r.Sb(n), ady = r.Sb(n);
        e.kind = raster::Edge::Kind::Quad;
        e.cx = static_cast<float>(x + cdx);
        e.cy = static_cast<float>(y + cdy);
        x += cdx + adx;
        y += cdy + ady;
    }
    e.x1 = static_cast<float>(x);
    e.y1 = static_cast<float>(y);
    return r.Ok();
}

ShapeRecordReader::Record ShapeRecordReader::Next(raster::Edge& edge) {
    while (r_.Ok()) {
        if (r_.Flag()) {
            if (!ReadEdgeRecord(r_, x_, y_, edge)) return Record::End;
            edge.fill0 = fill0_;
            edge.fill1 = fill1_;
            edge.line = line_;
            return Record::Edge;
        }
        const unsigned flags = r_.Ub(5);
        if (!r_.Ok() || flags == 0) return Record::End;  // the end record
        if (flags & 0x01) {
            const unsigned n = r_.Ub(5);
            x_ = r_.Sb(n);
            y_ = r_.Sb(n);
        }
        std::optional<uint32_t> given[3];
        if (flags & 0x02) given[0] = r_.Ub(fillBits_);
        if (flags & 0x04) given[1] = r_.Ub(fillBits_);
        if (flags & 0x08) given[2] = r_.Ub(lineBits_);
        if (flags & 0x10) {  // the indices name styles of the arrays that follow
            for (int i = 0; i < 3; ++i) pending_[i] = given[i];
            return Record::NewStyles;
        }
        Select(given);
    }
    return Record::End;
}

void ShapeRecordReader::NewStyles(size_t fills, size_t lines) {
    fills_ = fills;
    lines_ = lines;
    ReadBitCounts();
    fill0_ = Fill(fill0_);
    fill1_ = Fill(fill1_);
    line_ = Line(line_);
    Select(pending_);
}

void ShapeRecordReader::Select(const std::optional<uint32_t> (&given)[3]) {
    if (given[0]) fill0_ = Fill(*given[0]);
    if (given[1]) fill1_ = Fill(*given[1]);
    if (given[2]) line_ = Line(*given[2]);
}

bool ParseDefineShape(std::span<const uint8_t> data, int version, ShapeDefinition& out, std::string& error,
                      const ShapeContext* ctx) {
    BitReader r(data);
    out.id = r.U16();
    out.bounds = ReadRect(r);
    bool evenOdd = true;  // SWF fills are even-odd unless a DefineShape4 asks for non-zero
    if (version >= 4) {
        (void)ReadRect(r);               // edge bounds
        evenOdd = (r.U8() & 0x04) == 0;  // bit 2: the non-zero winding rule; the rest: stroke scaling
    }
    out.shape.layers.clear();
    out.shape.layers.emplace_back();
    out.shape.layers.back().evenOdd = evenOdd;
    ReadStyles(r, version, out.shape.layers.back(), ctx);
    raster::Layer* layer = &out.shape.layers.back();
    ShapeRecordReader records(r, layer->fills.size(), layer->strokes.size());
    if (!r.Ok()) {
        error = "shape " + std::to_string(out.id) + ": style arrays truncated";
        return false;
    }
    for (;;) {
        raster::Edge e;
        const ShapeRecordReader::Record kind = records.Next(e);
        if (kind == ShapeRecordReader::Record::End) break;
        if (kind == ShapeRecordReader::Record::NewStyles) {
            out.shape.layers.emplace_back();
            layer = &out.shape.layers.back();
            layer->evenOdd = evenOdd;
            ReadStyles(r, version, *layer, ctx);
            records.NewStyles(layer->fills.size(), layer->strokes.size());
            continue;
        }
        if (e.fill0 || e.fill1 || e.line) layer->edges.push_back(e);
    }
    return true;
}

}  // namespace lumarel::engine::swf
