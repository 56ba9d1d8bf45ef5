// The benchmark scenes drawn by Anti-Grain Geometry 2.6 into the same premultiplied ARGB32
// surface as ours: its scanline rasterizer for single fills, its compound rasterizer for shapes
// whose edges carry a fill on each side, its span generators for gradients and bitmaps and
// conv_stroke for strokes.
#pragma once

#include <memory>

#include "bench/frame_record.h"
#include "bench/scenes.h"
#include "engine/raster/raster.h"

namespace lumarel::bench {

// A scene prepared once (paths, paints) and drawn any number of times.
class AggScene {
public:
    virtual ~AggScene() = default;
    virtual void Draw(raster::Surface& s) = 0;
};

// Cleared to white, then the full-screen linear gradient.
std::unique_ptr<AggScene> AggLinearGradientFrame();
// The screen rectangle filled with the bitmap as the case maps it (no clear: it is opaque).
std::unique_ptr<AggScene> AggBitmap(const BitmapCase& bc, std::shared_ptr<const raster::Bitmap> photo);
// Cleared to white, then the grid's shared edges as one compound shape.
std::unique_ptr<AggScene> AggCompoundGrid();
// Cleared to white, then the scenes' 1,000 blobs, 1,000 stroked curves or text blocks.
std::unique_ptr<AggScene> AggShapes1000();
std::unique_ptr<AggScene> AggStrokes1000();
std::unique_ptr<AggScene> AggTextFrame();
// A recorded movie frame: the background over the whole surface, then every fill and stroke
// inside the stage's pixels.
std::unique_ptr<AggScene> AggFrameReplay(const RecordedFrame& frame);

}  // namespace lumarel::bench
