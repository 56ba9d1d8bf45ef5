// SWF records: RECT, MATRIX, CXFORM, colours, and DefineShape 1-4 converted to raster shapes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/raster/raster.h"
#include "engine/swf/bit_reader.h"
#include "engine/swf/bitmaps.h"

namespace lumarel::engine::swf {

struct Rect {
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // twips
};

Rect ReadRect(BitReader& r);
raster::Matrix ReadMatrix(BitReader& r);
raster::ColorTransform ReadCxform(BitReader& r, bool withAlpha);
raster::Rgba ReadRgb(BitReader& r);
raster::Rgba ReadRgba(BitReader& r);

// The rest of an edge record whose leading 1 bit has been read: moves the pen (x, y) along the
// edge and sets e's kind and geometry (a straight edge gets its midpoint as control point, so it
// can pair with a curve). False when the record is cut short.
bool ReadEdgeRecord(BitReader& r, int64_t& x, int64_t& y, raster::Edge& e);

struct ShapeDefinition {
    uint16_t id = 0;
    Rect bounds;
    raster::Shape shape;
};

// Parses the body of a DefineShape (version 1), DefineShape2 (2), DefineShape3 (3) or
// DefineShape4 (4) tag. Returns false with a reason when the data is malformed; a shape whose
// record list is cut short keeps the edges read so far.
// `ctx` supplies the bitmaps that bitmap fills use (none: bitmap fills draw nothing).
bool ParseDefineShape(std::span<const uint8_t> data, int version, ShapeDefinition& out, std::string& error,
                      const ShapeContext* ctx = nullptr);

}  // namespace lumarel::engine::swf
