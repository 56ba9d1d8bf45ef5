#include "engine/timeline/drawing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace lumarel::engine::timeline {

uint64_t NextSerial() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

namespace {

// Coordinates are kept within this many twips of the origin, so bounds fit 32-bit twips.
constexpr double kMaxCoord = 134217728.0;  // 2^27

double Clamp(double v) { return std::clamp(v, -kMaxCoord, kMaxCoord); }

// Whether two lines look alike, so a lineStyle repeated before every segment keeps one stroke
// (its segments joined as one path) instead of one per segment.
bool SameStroke(const raster::Stroke& a, const raster::Stroke& b) {
    const raster::Rgba ca = a.paint.color, cb = b.paint.color;
    return a.paint.kind == raster::Paint::Kind::Solid && b.paint.kind == raster::Paint::Kind::Solid && ca.r == cb.r &&
           ca.g == cb.g && ca.b == cb.b && ca.a == cb.a && a.width == b.width && a.startCap == b.startCap &&
           a.endCap == b.endCap && a.join == b.join && a.miterLimit == b.miterLimit && a.noHScale == b.noHScale &&
           a.noVScale == b.noVScale && a.pixelHinting == b.pixelHinting && a.noClose == b.noClose;
}

// Where a quadratic p0, c, p1 turns back along one axis (t in 0..1), or -1 when it does not.
double Extremum(double p0, double c, double p1) {
    const double den = p0 - 2 * c + p1;
    if (den == 0) return -1;
    const double t = (p0 - c) / den;
    return t > 0 && t < 1 ? t : -1;
}

}  // namespace

void Drawing::Clear() {
    shape_ = raster::Shape{};
    used_ = 0;
    penX_ = penY_ = 0;
    hasLine_ = false;
    lineIndex_ = 0;
    fillOpen_ = false;
    closeEdge_ = SIZE_MAX;
    anyBounds_ = false;
    version_ = NextSerial();
}

void Drawing::LineStyle(const raster::Stroke* stroke) {
    hasLine_ = stroke != nullptr;
    if (stroke) line_ = *stroke;
    lineIndex_ = 0;
}

void Drawing::LineFill(const raster::Paint& paint) {
    if (!hasLine_) return;
    line_.paint = paint;
    lineIndex_ = 0;
}

void Drawing::BeginFill(const raster::Paint& paint) {
    CloseFill();
    if (paint.kind == raster::Paint::Kind::None) return;
    if (shape_.layers.empty() || !shape_.layers.back().edges.empty()) {
        if (used_ + kDrawingStyleCost > kMaxDrawingEdges) return;  // full: no more fills
        used_ += kDrawingStyleCost;
        shape_.layers.emplace_back();
        shape_.layers.back().evenOdd = true;
        lineIndex_ = 0;
    }
    raster::Layer& layer = shape_.layers.back();
    layer.fills.assign(1, paint);  // a layer without edges yet: a fill begun before is replaced
    fillOpen_ = true;
    startX_ = penX_;
    startY_ = penY_;
    closeEdge_ = SIZE_MAX;
    version_ = NextSerial();
}

void Drawing::EndFill() { CloseFill(); }

void Drawing::MoveTo(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    penX_ = startX_ = Clamp(x);
    penY_ = startY_ = Clamp(y);
    closeEdge_ = SIZE_MAX;  // an open fill goes on with a new contour; the last one is closed
}

void Drawing::LineTo(double x, double y) { AddEdge(raster::Edge::Kind::Line, 0, 0, x, y); }

void Drawing::CurveTo(double cx, double cy, double x, double y) { AddEdge(raster::Edge::Kind::Quad, cx, cy, x, y); }

swf::Rect Drawing::Bounds() const {
    if (!anyBounds_) return swf::Rect{};
    swf::Rect r;
    r.xmin = static_cast<int32_t>(std::floor(minX_));
    r.ymin = static_cast<int32_t>(std::floor(minY_));
    r.xmax = static_cast<int32_t>(std::ceil(maxX_));
    r.ymax = static_cast<int32_t>(std::ceil(maxY_));
    return r;
}

raster::Layer& Drawing::CurrentLayer() {
    if (shape_.layers.empty()) {
        shape_.layers.emplace_back();
        shape_.layers.back().evenOdd = true;
    }
    return shape_.layers.back();
}

uint16_t Drawing::LineIndex(raster::Layer& layer) {
    if (lineIndex_ != 0) return lineIndex_;
    if (!layer.strokes.empty() && SameStroke(layer.strokes.back(), line_)) {
        lineIndex_ = static_cast<uint16_t>(layer.strokes.size());
    } else if (layer.strokes.size() < UINT16_MAX) {
        layer.strokes.push_back(line_);
        used_ += kDrawingStyleCost;
        lineIndex_ = static_cast<uint16_t>(layer.strokes.size());
    } else {
        return static_cast<uint16_t>(layer.strokes.size());  // style indices are full: keep the last line
    }
    return lineIndex_;
}

void Drawing::AddEdge(raster::Edge::Kind kind, double cx, double cy, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(cx) || !std::isfinite(cy)) return;
    x = Clamp(x);
    y = Clamp(y);
    cx = Clamp(cx);
    cy = Clamp(cy);
    const double x0 = penX_, y0 = penY_;
    penX_ = x;
    penY_ = y;
    if (!fillOpen_ && !hasLine_) return;  // nothing to draw with: the pen just moves
    const size_t newLine = hasLine_ && lineIndex_ == 0 ? kDrawingStyleCost : 0;
    if (used_ + 2 + newLine > kMaxDrawingEdges) return;

    raster::Layer& layer = CurrentLayer();
    raster::Edge e;
    e.kind = kind;
    e.x0 = static_cast<float>(x0);
    e.y0 = static_cast<float>(y0);
    e.cx = static_cast<float>(cx);
    e.cy = static_cast<float>(cy);
    e.x1 = static_cast<float>(x);
    e.y1 = static_cast<float>(y);
    // One side of each edge carries the fill; even-odd counting makes the side irrelevant, so a
    // contour fills whichever way round it was drawn.
    e.fill1 = fillOpen_ ? 1 : 0;
    e.line = hasLine_ ? LineIndex(layer) : 0;
    layer.edges.push_back(e);
    ++used_;

    const double width = hasLine_ ? layer.strokes[e.line - 1].width : 0;
    const double pad = std::isfinite(width) && width > 0 ? width / 2 : 0;
    Include(x0, y0, pad);
    Include(x, y, pad);
    if (kind == raster::Edge::Kind::Quad) {
        // The curve's own extent, not its control point's.
        for (const double t : {Extremum(x0, cx, x), Extremum(y0, cy, y)}) {
            if (t < 0) continue;
            const double u = 1 - t;
            Include(u * u * x0 + 2 * u * t * cx + t * t * x, u * u * y0 + 2 * u * t * cy + t * t * y, pad);
        }
    }

    if (fillOpen_) {
        // The contour's closing edge follows the pen: the fill is drawn closed at every moment.
        if (closeEdge_ == SIZE_MAX) {
            raster::Edge close;
            close.x1 = static_cast<float>(startX_);
            close.y1 = static_cast<float>(startY_);
            close.fill1 = 1;
            layer.edges.push_back(close);
            ++used_;
            closeEdge_ = layer.edges.size() - 1;
        }
        raster::Edge& close = layer.edges[closeEdge_];
        close.x0 = e.x1;
        close.y0 = e.y1;
    }
    version_ = NextSerial();
}

void Drawing::CloseFill() {
    if (!fillOpen_) return;
    fillOpen_ = false;
    closeEdge_ = SIZE_MAX;
    version_ = NextSerial();
}

void Drawing::Include(double x, double y, double pad) {
    if (!anyBounds_) {
        minX_ = maxX_ = x;
        minY_ = maxY_ = y;
        anyBounds_ = true;
    }
    minX_ = std::min(minX_, x - pad);
    minY_ = std::min(minY_, y - pad);
    maxX_ = std::max(maxX_, x + pad);
    maxY_ = std::max(maxY_, y + pad);
}

}  // namespace lumarel::engine::timeline
