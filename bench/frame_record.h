// One frame of a movie, recorded as our renderer draws it: every layer's fills as flattened
// device-space segments with their styles, and every stroke's flattened centre lines, in
// drawing order. Cairo and AGG replay the record; ours draws the frame through the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "engine/player.h"
#include "engine/raster/raster.h"

namespace lumarel::bench {

struct RecordedFill {
    std::vector<raster::Paint> fills;  // the layer's paints (shape space, twips)
    bool evenOdd = false;
    raster::Matrix toDevice;
    raster::ColorTransform cx;
    std::vector<raster::FlatSegment> segments;
};

struct RecordedStroke {
    raster::Stroke stroke;  // caps, join, miter limit and paint
    raster::Matrix toDevice;
    raster::ColorTransform cx;
    std::vector<raster::FlatPoint> line;
    bool closed = false;
    double width = 1;  // device pixels
};

struct RecordedFrame {
    int width = 0, height = 0;
    raster::Rgba background;
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // the stage's pixels; nothing is drawn outside
    std::vector<std::variant<RecordedFill, RecordedStroke>> ops;
    size_t fills = 0, strokes = 0, segments = 0, strokePoints = 0;
};

// A sample movie at one frame, and that frame recorded for a width x height surface.
struct SampleFrame {
    std::string name;  // the file name without ".swf"
    int frame = 0;     // zero-based
    std::unique_ptr<engine::Movie> movie;
    RecordedFrame record;
};

// Loads `path`, plays it to `frame` and records that frame; false (and `error`) when it cannot.
bool LoadSampleFrame(const std::string& path, int frame, int width, int height, SampleFrame& out, std::string& error);

// The closed contours of one style of a recorded fill, chained from its segments, each segment
// turned so that the style is on its right: filled with the layer's fill rule, they cover what
// the style covers in the compound fill.
std::vector<std::vector<raster::FlatPoint>> StyleContours(const RecordedFill& fill, uint16_t style);

// The styles that a recorded fill's segments use, ascending.
std::vector<uint16_t> UsedStyles(const RecordedFill& fill);

}  // namespace lumarel::bench
