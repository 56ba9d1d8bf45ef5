// Bitmap filters run over a region of a premultiplied surface: the clip is drawn offscreen at
// device resolution, then each filter of its list rewrites that region in turn. All sizes here are
// device pixels; the caller scales the movie's values first.
//
// Everything outside the region counts as transparent, so the region should hold the clip with the
// margin its filters grow by. Nothing allocates per pixel: the buffers live in a FilterScratch the
// caller keeps and reuses from filter to filter and frame to frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::raster {

// Reusable buffers: `plane` one byte per region pixel (the effects' alpha), `temp` up to four
// bytes per region pixel (blur passes, convolution output), `sums` one running sum per byte of a
// region row (`narrowSums` where they fit 16 bits), `lanes` a few dozen bytes per region column
// (one-byte blurs, rows transposed).
struct FilterScratch {
    std::vector<uint8_t> plane, temp, lanes;
    std::vector<uint32_t> sums;
    std::vector<uint16_t> narrowSums;
};

// Largest box half-width and pass count the blurs take; larger requests are clamped.
inline constexpr int kMaxBoxRadius = 4096;
inline constexpr int kMaxBlurPasses = 15;

// Half-width of the box a blur amount gives: a box of 2r+1 pixels with r = floor(blur / 2).
int BoxRadius(double blur);

// The whole-pixel offset of an effect's copy of the alpha; a huge distance is bounded (the copy
// just moves out of sight) and anything not finite counts as 0.
void EffectOffset(double angle, double distance, int& dx, int& dy);

// Blurs every channel of the region: `passes` box passes (clamped to 0..15, 0 does nothing) of
// blurX by blurY pixels, each pass horizontal then vertical.
void Blur(Surface& s, IntRect region, double blurX, double blurY, int passes, FilterScratch& scratch);

// A premultiplied colour for every effect level. Shadows and glows index it by the effect's
// alpha (0 none, 255 full); bevels by 128 + half the signed difference (0 full highlight, 128 none,
// 255 full shadow).
using EffectRamp = std::array<uint32_t, 256>;
EffectRamp SolidRamp(Rgba color);                              // level i: `color` at i/255 of its alpha
EffectRamp BevelRamp(Rgba highlight, Rgba shadow);             // highlight below 128, shadow above
EffectRamp GradientRamp(std::span<const GradientStop> stops);  // the stops laid over 0..255

// Drop shadow, glow, bevel and their gradient forms: the source alpha, blurred and offset along
// `angle` by `distance`, scaled by strength, looked up in the ramp and composited with the source.
struct EffectFilter {
    // Shadow: one offset copy of the alpha (drop shadow, glow, gradient glow). Bevel: the difference
    // of copies offset both ways, highlight on the side facing away from the angle.
    enum class Kind { Shadow, Bevel } kind = Kind::Shadow;
    EffectRamp ramp{};
    double blurX = 4, blurY = 4;
    int passes = 1;
    double angle = 0;     // radians, clockwise on screen from +x: the direction the shadow falls
    double distance = 0;  // pixels
    double strength = 1;  // multiplies the effect's alpha, clamped at full
    // Inner: the effect only within the object, on top of it (a shadow is then cast by the area
    // around the object). Outer: only outside, below it. onTop (when not inner): the whole effect
    // over the object.
    bool inner = false;
    bool onTop = false;
    bool knockout = false;        // the object itself is taken out, leaving only the effect
    bool compositeSource = true;  // false: the object is not drawn (a hidden-object drop shadow)
};
void ApplyEffect(Surface& s, IntRect region, const EffectFilter& f, FilterScratch& scratch);

// Each output pixel is the kernel-weighted sum of its neighbours (matrix row-major, matrixX wide,
// centred on the pixel), divided by the divisor (0 counts as 1), plus bias. preserveAlpha keeps
// each pixel's alpha and works on its straight colour; otherwise all four premultiplied channels
// are convolved. Neighbours beyond the region repeat the edge pixel (clamp) or are defaultColor.
// A kernel that would take more than about a billion multiplies over the region is skipped.
struct ConvolutionFilter {
    int matrixX = 0, matrixY = 0;
    std::vector<float> matrix;  // a kernel smaller than matrixX * matrixY leaves the region unchanged
    double divisor = 1, bias = 0;
    bool preserveAlpha = true;
    bool clamp = true;
    Rgba defaultColor{0, 0, 0, 0};
};
void ApplyConvolution(Surface& s, IntRect region, const ConvolutionFilter& f, FilterScratch& scratch);

// out = m * (r, g, b, a, 1) on straight colour in 0..255 units, rows for r, g, b, a; clamped.
void ApplyColorMatrix(Surface& s, IntRect region, const std::array<float, 20>& m);

namespace detail {
// One channel-agnostic blur over `channels`-byte pixels (1 or 4) of w x h with `stride` bytes per
// row. simd = false forces the portable path (it gives the same bytes).
void BoxBlurPlane(uint8_t* data, ptrdiff_t stride, int w, int h, int channels, int rx, int ry, int passes,
                  FilterScratch& scratch, bool simd = true);
}  // namespace detail

}  // namespace lumarel::raster
