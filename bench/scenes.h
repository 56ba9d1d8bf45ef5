// The benchmark scenes, defined once and drawn by every renderer the benchmarks compare: our
// rasterizer, cairo and AGG. Everything is in device pixels of a 1920 x 1080 frame unless a
// field says twips.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::bench {

using raster::Rgba;

constexpr int kW = 1920, kH = 1080;
constexpr double kPi = 3.14159265358979323846;

// Twips -> device pixels.
raster::Matrix TwipsToPx();

// A path of quadratic curves from (x0, y0).
struct QuadPath {
    double x0, y0;
    struct Q {
        double cx, cy, x, y;
    };
    std::vector<Q> quads;
};

struct Blob {
    QuadPath path;
    Rgba color;
};

// 1,000 closed blobs (8 quads round a wobbly circle), about 32 px across.
std::vector<Blob> MakeBlobs();

struct Curve {
    QuadPath path;
    Rgba color;
    double width;  // px
};

// 1,000 open curves of three quads each, 40-120 px long, 1-6 px wide, round caps and joins.
std::vector<Curve> MakeCurves();

// A full-screen linear gradient (red, green, blue) across the screen width, turned by 0.1 rad,
// as our fill; its gradient square is kW pixels wide and centred on the screen.
raster::Paint LinearGradientPaint();

// A 640x360 photo-like opaque bitmap.
std::shared_ptr<raster::Bitmap> MakePhoto();

// A bitmap filling the whole screen; the case names the mapping from bitmap pixels to device
// pixels (rotate, scale, translate).
struct BitmapCase {
    const char* name;
    bool smooth, repeat;
    double scale, degrees, tx, ty;  // bitmap pixel -> device pixel
    raster::Matrix ToDevice() const;
};

extern const BitmapCase kSmoothFullScreen, kNearestRepeat, kSmoothRepeat, kNearestClip, kSmoothClip, kSmoothRotated;
extern const BitmapCase* const kBitmapCases[6];

// The compound grid: 32x18 cells, each its own fill, turned by 0.03 rad about the centre.
struct GridQuad {
    double x[4], y[4];
    Rgba color;
};
std::vector<GridQuad> MakeGrid();

// The grid's lines, each segment once, with the cell on either side as its left and right fill
// (1-based cell index, 0 outside the grid), the way exported artwork shares edges between fills.
struct GridEdge {
    double x0, y0, x1, y1;
    uint16_t left, right;
};
std::vector<GridEdge> MakeGridEdges(const std::vector<GridQuad>& grid);

// A text-heavy frame: 45 blocks of 12-24 px text, 5,000 glyphs in all, from the synthetic font.
constexpr int kTextBlocks = 45, kTextGlyphs = 5000;

struct TextBlock {
    Rgba color;
    std::vector<raster::Edge> edges;    // twips
    std::vector<size_t> contourStarts;  // first edge of each contour
    int glyphs = 0;
};

struct TextFrame {
    std::vector<TextBlock> blocks;
    int glyphs = 0;
    double bottom = 0;  // lowest line box, px
};

TextFrame MakeTextFrame();

}  // namespace lumarel::bench
