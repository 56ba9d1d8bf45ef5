// A clip's drawing layer as scripts see it (the drawing API: lineStyle, beginFill, lineTo, ...).
// Coordinates are in the clip's own space in twips; paints and strokes come already converted
// from the script's arguments (gradient matrices map the gradient square to the clip's twips).
// The display side turns the commands into a shape drawn below the clip's children.
#pragma once

#include "engine/raster/raster.h"

namespace lumarel::engine::avm1 {

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void Clear() = 0;                                  // every command so far is dropped
    virtual void LineStyle(const raster::Stroke* stroke) = 0;  // null: no line from here on
    virtual void LineFill(const raster::Paint& paint) = 0;     // lineGradientStyle: the line's paint
    virtual void BeginFill(const raster::Paint& paint) = 0;    // closes an open fill first
    virtual void EndFill() = 0;                                // closes the fill back to its start
    virtual void MoveTo(double x, double y) = 0;
    virtual void LineTo(double x, double y) = 0;
    virtual void CurveTo(double cx, double cy, double x, double y) = 0;
};

}  // namespace lumarel::engine::avm1
