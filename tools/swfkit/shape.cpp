// Fill and line styles, the shape builder and its SHAPEWITHSTYLE / SHAPE encoder.
#include "tools/swfkit/swfkit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace lumarel::swfkit {

namespace {
// Edge deltas are SB fields of at most 17 bits (NumBits is UB[4] plus 2).
constexpr std::int32_t kMaxDelta = 65535;

bool FitsEdge(std::int32_t v) { return v >= -kMaxDelta && v <= kMaxDelta; }

std::int32_t Iround(double v) { return static_cast<std::int32_t>(std::lround(v)); }
}  // namespace

Gradient Gradient::Even(std::initializer_list<Rgba> colours) {
    Gradient g;
    const std::size_t n = colours.size();
    std::size_t i = 0;
    for (const Rgba& c : colours) {
        const auto ratio = n <= 1 ? 0 : static_cast<int>(std::lround(255.0 * i / (n - 1)));
        g.stops.push_back(GradientStop{static_cast<std::uint8_t>(ratio), c});
        ++i;
    }
    return g;
}

FillStyle FillStyle::Solid(Rgba c) {
    FillStyle f;
    f.type = Type::Solid;
    f.color = c;
    return f;
}

FillStyle FillStyle::Linear(Gradient g, Matrix m) {
    FillStyle f;
    f.type = Type::Linear;
    f.gradient = std::move(g);
    f.matrix = m;
    return f;
}

FillStyle FillStyle::Radial(Gradient g, Matrix m) {
    FillStyle f = Linear(std::move(g), m);
    f.type = Type::Radial;
    return f;
}

FillStyle FillStyle::Focal(Gradient g, double focalPoint, Matrix m) {
    FillStyle f = Linear(std::move(g), m);
    f.type = Type::Focal;
    f.gradient.focalPoint = focalPoint;
    return f;
}

FillStyle FillStyle::Bitmap(std::uint16_t id, Matrix m, bool repeat, bool smooth) {
    FillStyle f;
    if (repeat)
        f.type = smooth ? Type::RepeatingBitmap : Type::RepeatingBitmapHard;
    else
        f.type = smooth ? Type::ClippedBitmap : Type::ClippedBitmapHard;
    f.bitmapId = id;
    f.matrix = m;
    return f;
}

LineStyle LineStyle::Solid(std::uint16_t width, Rgba c) {
    LineStyle l;
    l.width = width;
    l.color = c;
    return l;
}

// ---------------------------------------------------------------------------------------------
// Style encoders

namespace {

void WriteColor(BitWriter& w, Rgba c, int version) {
    if (version >= 3)
        WriteRgba(w, c);
    else
        WriteRgb(w, c);
}

void WriteGradient(BitWriter& w, const Gradient& g, int version, bool focal) {
    const std::size_t n = std::min<std::size_t>(g.stops.size(), 15);
    w.Align();
    w.Ub(static_cast<std::uint32_t>(g.spread), 2);
    w.Ub(static_cast<std::uint32_t>(g.interpolation), 2);
    w.Ub(static_cast<std::uint32_t>(n), 4);
    for (std::size_t i = 0; i < n; ++i) {
        w.U8(g.stops[i].ratio);
        WriteColor(w, g.stops[i].color, version);
    }
    if (focal) w.Fixed8(g.focalPoint);
}

void WriteFill(BitWriter& w, const FillStyle& f, int version) {
    w.U8(static_cast<std::uint8_t>(f.type));
    switch (f.type) {
        case FillStyle::Type::Solid:
            WriteColor(w, f.color, version);
            break;
        case FillStyle::Type::Linear:
        case FillStyle::Type::Radial:
        case FillStyle::Type::Focal:
            WriteMatrix(w, f.matrix);
            WriteGradient(w, f.gradient, version, f.type == FillStyle::Type::Focal);
            break;
        default:
            w.U16(f.bitmapId);
            WriteMatrix(w, f.matrix);
            break;
    }
}

void WriteCount(BitWriter& w, std::size_t n, int version) {
    if (n < 0xFF || version < 2) {
        w.U8(static_cast<std::uint8_t>(std::min<std::size_t>(n, 0xFE)));
    } else {
        w.U8(0xFF);
        w.U16(static_cast<std::uint16_t>(std::min<std::size_t>(n, 0xFFFF)));
    }
}

std::size_t CountLimit(std::size_t n, int version) {
    return version < 2 ? std::min<std::size_t>(n, 0xFE) : std::min<std::size_t>(n, 0xFFFF);
}

void WriteLine(BitWriter& w, const LineStyle& l, int version) {
    w.U16(l.width);
    if (version < 4) {
        WriteColor(w, l.color, version);
        return;
    }
    w.Ub(static_cast<std::uint32_t>(l.startCap), 2);
    w.Ub(static_cast<std::uint32_t>(l.join), 2);
    w.Ub(l.fill ? 1 : 0, 1);
    w.Ub(l.noHScale ? 1 : 0, 1);
    w.Ub(l.noVScale ? 1 : 0, 1);
    w.Ub(l.pixelHinting ? 1 : 0, 1);
    w.Ub(0, 5);
    w.Ub(l.noClose ? 1 : 0, 1);
    w.Ub(static_cast<std::uint32_t>(l.endCap), 2);
    if (l.join == Join::Miter) {
        const double m = std::clamp(l.miterLimit, 0.0, 255.996);
        w.U16(static_cast<std::uint16_t>(std::lround(m * 256.0)));
    }
    if (l.fill)
        WriteFill(w, *l.fill, version);
    else
        WriteRgba(w, l.color);
}

void WriteStyleSet(BitWriter& w, const ShapeBuilder::StyleSet& s, int version) {
    const std::size_t nf = CountLimit(s.fills.size(), version);
    WriteCount(w, nf, version);
    for (std::size_t i = 0; i < nf; ++i) WriteFill(w, s.fills[i], version);
    const std::size_t nl = CountLimit(s.lines.size(), version);
    WriteCount(w, nl, version);
    for (std::size_t i = 0; i < nl; ++i) WriteLine(w, s.lines[i], version);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Builder

int ShapeBuilder::AddFill(const FillStyle& f) {
    sets_.back().fills.push_back(f);
    return static_cast<int>(sets_.back().fills.size());
}

int ShapeBuilder::AddLine(const LineStyle& l) {
    sets_.back().lines.push_back(l);
    maxLine_ = std::max(maxLine_, l.width);
    return static_cast<int>(sets_.back().lines.size());
}

ShapeBuilder& ShapeBuilder::NewStyles(bool resetSelections) {
    // The new arrays go into a record of their own; the selections that follow are written
    // in the next record with the new set's bit counts, so no reader has to guess which set
    // an index in the same record refers to.
    if (pendingStyle_) FlushStyle(false);
    sets_.push_back(StyleSet{});
    Record r;
    r.kind = Record::Kind::Style;
    r.newStyleSet = static_cast<int>(sets_.size() - 1);
    records_.push_back(r);
    pending_ = Record{};
    if (!resetSelections) return *this;
    pending_.f0 = 0;
    pending_.f1 = 0;
    pending_.ln = 0;
    pendingStyle_ = true;
    return *this;
}

ShapeBuilder& ShapeBuilder::Fill0(int index) {
    pending_.f0 = index;
    pendingStyle_ = true;
    return *this;
}

ShapeBuilder& ShapeBuilder::Fill1(int index) {
    pending_.f1 = index;
    pendingStyle_ = true;
    return *this;
}

ShapeBuilder& ShapeBuilder::Line(int index) {
    pending_.ln = index;
    pendingStyle_ = true;
    return *this;
}

ShapeBuilder& ShapeBuilder::Style(int fillIndex, int lineIndex) {
    Fill0(0);
    Fill1(fillIndex);
    return Line(lineIndex);
}

void ShapeBuilder::FlushStyle(bool forceMove) {
    if (!pendingStyle_ && !forceMove) return;
    Record r = pending_;
    r.kind = Record::Kind::Style;
    if (forceMove && !r.hasMove) {
        r.hasMove = true;
        r.mx = x_;
        r.my = y_;
    }
    records_.push_back(r);
    pending_ = Record{};
    pendingStyle_ = false;
}

ShapeBuilder& ShapeBuilder::MoveTo(std::int32_t x, std::int32_t y) {
    pending_.hasMove = true;
    pending_.mx = x;
    pending_.my = y;
    pendingStyle_ = true;
    x_ = startX_ = x;
    y_ = startY_ = y;
    return *this;
}

void ShapeBuilder::Grow(std::int32_t x, std::int32_t y) {
    if (!hasPoint_) {
        bx0_ = bx1_ = x;
        by0_ = by1_ = y;
        hasPoint_ = true;
        return;
    }
    bx0_ = std::min(bx0_, x);
    bx1_ = std::max(bx1_, x);
    by0_ = std::min(by0_, y);
    by1_ = std::max(by1_, y);
}

void ShapeBuilder::AddLine(std::int32_t dx, std::int32_t dy) {
    Record r;
    r.kind = Record::Kind::Line;
    r.dx = dx;
    r.dy = dy;
    records_.push_back(r);
}

void ShapeBuilder::AddCurve(std::int32_t cdx, std::int32_t cdy, std::int32_t adx, std::int32_t ady) {
    Record r;
    r.kind = Record::Kind::Curve;
    r.dx = cdx;
    r.dy = cdy;
    r.ax = adx;
    r.ay = ady;
    records_.push_back(r);
}

ShapeBuilder& ShapeBuilder::LineTo(std::int32_t x, std::int32_t y) {
    if (pendingStyle_) FlushStyle(false);
    const std::int64_t dx = static_cast<std::int64_t>(x) - x_;
    const std::int64_t dy = static_cast<std::int64_t>(y) - y_;
    if (dx == 0 && dy == 0) return *this;
    Grow(x_, y_);
    Grow(x, y);
    const std::int64_t big = std::max(std::llabs(dx), std::llabs(dy));
    const std::int64_t pieces = (big + kMaxDelta - 1) / kMaxDelta;
    std::int64_t doneX = 0, doneY = 0;
    for (std::int64_t i = 1; i <= pieces; ++i) {
        const std::int64_t tx = dx * i / pieces, ty = dy * i / pieces;
        AddLine(static_cast<std::int32_t>(tx - doneX), static_cast<std::int32_t>(ty - doneY));
        doneX = tx;
        doneY = ty;
    }
    x_ = x;
    y_ = y;
    return *this;
}

ShapeBuilder& ShapeBuilder::CurveTo(std::int32_t cx, std::int32_t cy, std::int32_t x, std::int32_t y) {
    if (pendingStyle_) FlushStyle(false);
    const std::int32_t cdx = cx - x_, cdy = cy - y_, adx = x - cx, ady = y - cy;
    if (cdx == 0 && cdy == 0 && adx == 0 && ady == 0) return *this;
    if (!FitsEdge(cdx) || !FitsEdge(cdy) || !FitsEdge(adx) || !FitsEdge(ady)) {
        // Too long for one record: split at t = 1/2 (de Casteljau).
        const double x0 = x_, y0 = y_;
        const double c1x = (x0 + cx) / 2, c1y = (y0 + cy) / 2;
        const double c2x = (cx + double(x)) / 2, c2y = (cy + double(y)) / 2;
        const double mx = (c1x + c2x) / 2, my = (c1y + c2y) / 2;
        CurveTo(Iround(c1x), Iround(c1y), Iround(mx), Iround(my));
        return CurveTo(Iround(c2x), Iround(c2y), x, y);
    }
    Grow(x_, y_);
    Grow(cx, cy);
    Grow(x, y);
    AddCurve(cdx, cdy, adx, ady);
    x_ = x;
    y_ = y;
    return *this;
}

ShapeBuilder& ShapeBuilder::Close() { return LineTo(startX_, startY_); }

ShapeBuilder& ShapeBuilder::Rectangle(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    MoveTo(x, y);
    LineTo(x + w, y);
    LineTo(x + w, y + h);
    LineTo(x, y + h);
    return LineTo(x, y);
}

ShapeBuilder& ShapeBuilder::RoundRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                                      std::int32_t radius) {
    const std::int32_t r = std::clamp(radius, 0, std::min(w, h) / 2);
    if (r == 0) return Rectangle(x, y, w, h);
    // Each corner is a quarter ellipse from two quadratic curves.
    const double k = std::tan(std::numbers::pi / 8);  // control offset for a 45-degree curve
    const double s = std::sqrt(0.5);
    auto corner = [&](double cx, double cy, double ux, double uy, double vx, double vy) {
        // From cx + r*u to cx + r*v around the corner centre (u, v perpendicular unit vectors).
        const double mx = cx + r * s * (ux + vx), my = cy + r * s * (uy + vy);
        CurveTo(Iround(cx + r * (ux + k * vx)), Iround(cy + r * (uy + k * vy)), Iround(mx), Iround(my));
        CurveTo(Iround(cx + r * (vx + k * ux)), Iround(cy + r * (vy + k * uy)), Iround(cx + r * vx),
                Iround(cy + r * vy));
    };
    MoveTo(x + r, y);
    LineTo(x + w - r, y);
    corner(x + w - r, y + r, 0, -1, 1, 0);
    LineTo(x + w, y + h - r);
    corner(x + w - r, y + h - r, 1, 0, 0, 1);
    LineTo(x + r, y + h);
    corner(x + r, y + h - r, 0, 1, -1, 0);
    LineTo(x, y + r);
    corner(x + r, y + r, -1, 0, 0, -1);
    return *this;
}

ShapeBuilder& ShapeBuilder::Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, int segments) {
    segments = std::max(segments, 4);
    const double step = 2 * std::numbers::pi / segments;
    // The control point sits on the tangents' intersection: radius / cos(step/2).
    const double k = 1.0 / std::cos(step / 2);
    MoveTo(cx + rx, cy);
    for (int i = 1; i <= segments; ++i) {
        const double am = (i - 0.5) * step, a1 = i * step;
        const std::int32_t ex = i == segments ? cx + rx : Iround(cx + rx * std::cos(a1));
        const std::int32_t ey = i == segments ? cy : Iround(cy + ry * std::sin(a1));
        CurveTo(Iround(cx + rx * k * std::cos(am)), Iround(cy + ry * k * std::sin(am)), ex, ey);
    }
    return *this;
}

ShapeBuilder& ShapeBuilder::Arc(std::int32_t cx, std::int32_t cy, std::int32_t r, double a0, double a1) {
    const double sweep = a1 - a0;
    const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 4))));
    const double step = sweep / segments;
    const double k = 1.0 / std::cos(step / 2);
    MoveTo(Iround(cx + r * std::cos(a0)), Iround(cy + r * std::sin(a0)));
    for (int i = 1; i <= segments; ++i) {
        const double am = a0 + (i - 0.5) * step, ae = a0 + i * step;
        CurveTo(Iround(cx + r * k * std::cos(am)), Iround(cy + r * k * std::sin(am)), Iround(cx + r * std::cos(ae)),
                Iround(cy + r * std::sin(ae)));
    }
    return *this;
}

ShapeBuilder& ShapeBuilder::Polygon(const std::vector<std::pair<std::int32_t, std::int32_t>>& points) {
    if (points.empty()) return *this;
    MoveTo(points[0].first, points[0].second);
    for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].first, points[i].second);
    return Close();
}

ShapeBuilder& ShapeBuilder::RegularPolygon(std::int32_t cx, std::int32_t cy, std::int32_t r, int sides,
                                           double rotation) {
    std::vector<std::pair<std::int32_t, std::int32_t>> pts;
    sides = std::max(sides, 3);
    for (int i = 0; i < sides; ++i) {
        const double a = rotation - std::numbers::pi / 2 + 2 * std::numbers::pi * i / sides;
        pts.emplace_back(Iround(cx + r * std::cos(a)), Iround(cy + r * std::sin(a)));
    }
    return Polygon(pts);
}

ShapeBuilder& ShapeBuilder::Star(std::int32_t cx, std::int32_t cy, std::int32_t outer, std::int32_t inner, int points,
                                 double rotation) {
    std::vector<std::pair<std::int32_t, std::int32_t>> pts;
    points = std::max(points, 2);
    for (int i = 0; i < points * 2; ++i) {
        const double a = rotation - std::numbers::pi / 2 + std::numbers::pi * i / points;
        const double rr = (i % 2 == 0) ? outer : inner;
        pts.emplace_back(Iround(cx + rr * std::cos(a)), Iround(cy + rr * std::sin(a)));
    }
    return Polygon(pts);
}

Rect ShapeBuilder::EdgeBounds() const {
    if (!hasPoint_) return Rect{};
    return Rect{bx0_, bx1_, by0_, by1_};
}

Rect ShapeBuilder::Bounds() const {
    if (!hasPoint_) return Rect{};
    const std::int32_t h = (maxLine_ + 1) / 2;
    return Rect{bx0_ - h, bx1_ + h, by0_ - h, by1_ + h};
}

// ---------------------------------------------------------------------------------------------
// Encoder

Bytes ShapeBuilder::EncodeWithStyle(int version) const { return Encode(version, true, 0, 0, true); }

Bytes ShapeBuilder::EncodeShape(unsigned fillBits, unsigned lineBits, bool selections) const {
    return Encode(3, false, std::min(fillBits, 15u), std::min(lineBits, 15u), selections);
}

Bytes ShapeBuilder::Encode(int version, bool withStyles, unsigned fillBits, unsigned lineBits, bool selections) const {
    BitWriter w;
    // Pending selections or a moveTo without edges after them are still written, so a shape
    // that only sets styles encodes what was asked.
    std::vector<Record> recs = records_;
    if (pendingStyle_) recs.push_back(pending_);

    auto bitsFor = [](const StyleSet& s, bool fills) {
        return BitsUnsigned(static_cast<std::uint32_t>(fills ? s.fills.size() : s.lines.size()));
    };
    if (withStyles) {
        WriteStyleSet(w, sets_.front(), version);
        fillBits = bitsFor(sets_.front(), true);
        lineBits = bitsFor(sets_.front(), false);
    }
    w.Ub(fillBits, 4);
    w.Ub(lineBits, 4);

    for (const Record& r : recs) {
        if (r.kind == Record::Kind::Style) {
            const bool newStyles = withStyles && r.newStyleSet >= 0 && version >= 2;
            const bool s0 = selections && r.f0.has_value();
            const bool s1 = selections && r.f1.has_value();
            const bool sl = selections && r.ln.has_value();
            if (!newStyles && !s0 && !s1 && !sl && !r.hasMove) continue;  // would read as End
            w.Ub(0, 1);
            w.Ub(newStyles, 1);
            w.Ub(sl, 1);
            w.Ub(s1, 1);
            w.Ub(s0, 1);
            w.Ub(r.hasMove, 1);
            if (r.hasMove) {
                const unsigned n = std::max(BitsSigned(r.mx), BitsSigned(r.my));
                w.Ub(n, 5);
                w.Sb(r.mx, n);
                w.Sb(r.my, n);
            }
            if (s0) w.Ub(static_cast<std::uint32_t>(*r.f0), fillBits);
            if (s1) w.Ub(static_cast<std::uint32_t>(*r.f1), fillBits);
            if (sl) w.Ub(static_cast<std::uint32_t>(*r.ln), lineBits);
            if (newStyles) {
                const StyleSet& set = sets_[static_cast<std::size_t>(r.newStyleSet)];
                WriteStyleSet(w, set, version);
                fillBits = bitsFor(set, true);
                lineBits = bitsFor(set, false);
                w.Ub(fillBits, 4);
                w.Ub(lineBits, 4);
            }
        } else if (r.kind == Record::Kind::Line) {
            w.Ub(1, 1);  // edge
            w.Ub(1, 1);  // straight
            if (r.dx != 0 && r.dy != 0) {
                const unsigned n = std::max({BitsSigned(r.dx), BitsSigned(r.dy), 2u});
                w.Ub(n - 2, 4);
                w.Ub(1, 1);  // general line
                w.Sb(r.dx, n);
                w.Sb(r.dy, n);
            } else {
                const bool vertical = r.dx == 0;
                const std::int32_t v = vertical ? r.dy : r.dx;
                const unsigned n = std::max(BitsSigned(v), 2u);
                w.Ub(n - 2, 4);
                w.Ub(0, 1);
                w.Ub(vertical, 1);
                w.Sb(v, n);
            }
        } else {
            w.Ub(1, 1);
            w.Ub(0, 1);  // curved
            const unsigned n = std::max({BitsSigned(r.dx), BitsSigned(r.dy), BitsSigned(r.ax), BitsSigned(r.ay), 2u});
            w.Ub(n - 2, 4);
            w.Sb(r.dx, n);
            w.Sb(r.dy, n);
            w.Sb(r.ax, n);
            w.Sb(r.ay, n);
        }
    }
    w.Ub(0, 6);  // EndShapeRecord
    return w.Take();
}

}  // namespace lumarel::swfkit
