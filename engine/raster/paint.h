// Paints prepared for one draw: colour transform applied, gradient ramps built, device-space
// inverse matrices ready; and the span fetchers that turn them into premultiplied pixels.
#pragma once

#include <array>
#include <cstdint>

#include "engine/raster/raster.h"

namespace lumarel::raster::detail {

struct CompiledPaint {
    enum class Kind : uint8_t { None, Solid, Linear, Radial, Focal, Bitmap };
    Kind kind = Kind::None;
    bool opaque = false;  // every pixel it produces has alpha 255
    Spread spread = Spread::Pad;
    uint32_t color = 0;              // Solid: premultiplied colour
    const uint32_t* ramp = nullptr;  // gradients: 256 premultiplied entries; bitmaps: colour tables
    // Device pixel -> paint space (gradient square scaled so that index units = 256 per unit length,
    // or bitmap pixels).
    Matrix inv;
    double focal = 0;
    const Bitmap* bitmap = nullptr;
    bool repeat = true, smooth = true;
    bool trusted = false;            // bitmap known to hold valid premultiplied pixels (no per-pixel clamp)
    uint32_t* rowScratch = nullptr;  // bitmaps: a row of at least bitmap->width pixels, or null
    size_t rowScratchSize = 0;
    ColorTransform cx;
    bool cxIdentity = true;
    bool cxAlphaOnly = false;  // bitmap colour transform that only scales alpha
    uint32_t cxAlpha = 255;
};

using Ramp = std::array<uint32_t, 256>;

// Prepares `p` for drawing with shape->device matrix `m` and colour transform `cx`. `ramp` is the
// storage the gradient ramp goes into (owned by the caller, must outlive the compiled paint).
void CompilePaint(const Paint& p, const Matrix& m, const ColorTransform& cx, Ramp& ramp, CompiledPaint& out);

// Builds a gradient's 256-entry premultiplied ramp (exposed for tests).
void BuildRamp(const Gradient& g, const ColorTransform& cx, Ramp& ramp);

// Writes `len` premultiplied pixels of paint `p` for device row y starting at column x.
void FetchSpan(const CompiledPaint& p, int x, int y, int len, uint32_t* out);

}  // namespace lumarel::raster::detail
