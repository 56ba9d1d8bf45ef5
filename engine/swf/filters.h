// PlaceObject3's FILTERLIST: the bitmap filters placed on a clip, decoded into typed records, how
// far they grow the clip's bounds, and running them on the clip's offscreen picture.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "engine/raster/filters.h"
#include "engine/raster/raster.h"
#include "engine/swf/bit_reader.h"

namespace lumarel::engine::swf {

// Blur amounts and distances are in pixels at scale 1, angles in radians (clockwise on screen from
// +x, the direction a shadow falls), strengths multiply the effect's alpha. passes is the number
// of box-blur passes (the quality).
struct DropShadowFilter {
    raster::Rgba color;
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false;
    bool compositeSource = true;  // false: only the shadow is drawn, not the object
    int passes = 0;
};

struct BlurFilter {
    double blurX = 0, blurY = 0;
    int passes = 0;
};

struct GlowFilter {
    raster::Rgba color;
    double blurX = 0, blurY = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = true;
    int passes = 0;
};

struct BevelFilter {
    raster::Rgba shadowColor, highlightColor;
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = true;
    bool onTop = false;  // neither inner nor outer: the whole bevel over the object
    int passes = 0;
};

// The gradient forms share one layout: colours with their ratios (0..255) along the effect.
struct GradientFilterFields {
    std::vector<raster::GradientStop> stops;
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = true, onTop = false;
    int passes = 0;
};
struct GradientGlowFilter : GradientFilterFields {};
struct GradientBevelFilter : GradientFilterFields {};

struct ConvolutionFilter {
    int matrixX = 0, matrixY = 0;
    float divisor = 1, bias = 0;
    std::vector<float> matrix;  // matrixX * matrixY weights, row by row
    raster::Rgba defaultColor{0, 0, 0, 0};
    bool clamp = true, preserveAlpha = true;
};

struct ColorMatrixFilter {
    std::array<float, 20> matrix{};  // rows for r, g, b, a: four weights and an offset (0..255 units)
};

// In the order of the FILTERLIST's filter ids (0..7).
using Filter = std::variant<DropShadowFilter, BlurFilter, GlowFilter, BevelFilter, GradientGlowFilter,
                            ConvolutionFilter, ColorMatrixFilter, GradientBevelFilter>;

// Reads a FILTERLIST (count, then each filter) at the reader's position. A list cut short or
// holding an unknown filter id gives the filters read before it; the reader is then failed.
std::vector<Filter> ReadFilterList(BitReader& r);

// How many pixels a filter list adds on each side of a clip's bounds, the filters applied in order,
// with every blur and distance multiplied by `scale`.
struct FilterGrowth {
    int left = 0, top = 0, right = 0, bottom = 0;
};
FilterGrowth FilterListGrowth(std::span<const Filter> filters, double scale);

// Runs one filter over `region` of the clip's offscreen picture, its sizes multiplied by `scale`.
void ApplyFilter(const Filter& f, raster::Surface& s, raster::IntRect region, double scale,
                 raster::FilterScratch& scratch);

}  // namespace lumarel::engine::swf
