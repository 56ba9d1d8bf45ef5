// DefineMorphShape and DefineMorphShape2: start and end shapes parsed once, and the raster shape
// for any ratio between them built on demand (cheap: one pass over the paired edges).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/raster/raster.h"
#include "engine/swf/bitmaps.h"
#include "engine/swf/records.h"

namespace lumarel::engine::swf {

struct MorphDefinition {
    uint16_t id = 0;
    Rect startBounds, endBounds;
    std::vector<raster::Paint> startFills, endFills;   // pairs: same kind, same stop count
    std::vector<raster::Stroke> startLines, endLines;  // pairs
    std::vector<raster::Edge> startEdges, endEdges;    // pairs, in record order; styles on start
    // False when start and end do not have the same number of edges: then the start shape is
    // drawn at every ratio.
    bool paired = true;
};

// Parses the body of a DefineMorphShape (version 1) or DefineMorphShape2 (version 2) tag.
// Returns false with a reason when the header or the style arrays are malformed; edge lists cut
// short keep what was read (and the morph is then unpaired unless both stop at the same count).
bool ParseDefineMorphShape(std::span<const uint8_t> data, int version, const ShapeContext* ctx, MorphDefinition& out,
                           std::string& error);

// The shape at `t` in [0,1] (ratio / 65535): edges, fill colours, gradient stops, bitmap and
// gradient matrices and line widths and colours interpolated. `out` is overwritten (its storage
// is reused).
void BuildMorphShape(const MorphDefinition& m, double t, raster::Shape& out);

}  // namespace lumarel::engine::swf
