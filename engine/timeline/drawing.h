// A clip's drawing layer: the drawing API's commands kept as a shape the renderer draws like any
// shape from a tag. Every fill gets a layer of its own (a new layer starts when a fill begins after
// anything was drawn), so a later fill covers earlier fills and lines, and lines drawn while a
// fill is open lie on it. A fill's contours are closed back to their start with a straight edge
// that carries no line; fills are even-odd, so contours of one fill that overlap cut holes.
//
// Typical use:
//     Drawing d;                       // what Host::CanvasOf hands to the script machine
//     d.BeginFill(paint); d.MoveTo(0, 0); d.LineTo(200, 0); d.LineTo(200, 200); d.EndFill();
//     renderer.DrawShape(d.Shape(), toDevice, cx);   // d.Bounds() for _width / getBounds
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/avm1/canvas.h"
#include "engine/raster/raster.h"
#include "engine/swf/records.h"

namespace lumarel::engine::timeline {

// What one drawing keeps at most, counted in edges (closing edges included); every line style
// and every fill's layer counts as kDrawingStyleCost edges, about what it takes in memory.
// Segments and fills past it are dropped.
constexpr size_t kMaxDrawingEdges = 250000;
constexpr size_t kDrawingStyleCost = 8;

// A number never handed out before in this process, for versions that caches compare.
uint64_t NextSerial();

class Drawing : public avm1::Canvas {
public:
    void Clear() override;
    void LineStyle(const raster::Stroke* stroke) override;
    void LineFill(const raster::Paint& paint) override;
    void BeginFill(const raster::Paint& paint) override;
    void EndFill() override;
    void MoveTo(double x, double y) override;
    void LineTo(double x, double y) override;
    void CurveTo(double cx, double cy, double x, double y) override;

    // Everything drawn so far, an open fill as if it were closed now. Kept up to date command by
    // command, so reading it costs nothing; the reference stays valid until the next command.
    const raster::Shape& Shape() const { return shape_; }
    // The area drawn, in twips, half the width of each line included; all zero when Empty().
    swf::Rect Bounds() const;
    bool Empty() const { return !anyBounds_; }
    // Changes with every command that changes the shape, for caches built from it; never the same
    // for two shapes of any drawings (see NextSerial).
    uint64_t Version() const { return version_; }
    // The share of kMaxDrawingEdges in use.
    size_t Used() const { return used_; }

private:
    raster::Layer& CurrentLayer();
    uint16_t LineIndex(raster::Layer& layer);
    void AddEdge(raster::Edge::Kind kind, double cx, double cy, double x, double y);
    void CloseFill();
    void Include(double x, double y, double pad);

    raster::Shape shape_;
    size_t used_ = 0;
    uint64_t version_ = 0;
    double penX_ = 0, penY_ = 0;
    bool hasLine_ = false;
    raster::Stroke line_;
    uint16_t lineIndex_ = 0;  // line_ in the current layer's strokes, 0 until an edge uses it
    bool fillOpen_ = false;
    double startX_ = 0, startY_ = 0;  // where the open fill's current contour began
    size_t closeEdge_ = SIZE_MAX;     // the edge closing that contour, SIZE_MAX before its first segment
    bool anyBounds_ = false;
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
};

}  // namespace lumarel::engine::timeline
