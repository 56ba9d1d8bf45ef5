// Coverage as the sweep hands it to the painters: pixel boxes, clip masks, one style's raw
// covered area and how it becomes 0..255, and how a pixel's coverage is shared between styles.
// Private to the rasterizer.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "engine/raster/cells.h"

namespace lumarel::raster::detail {

static_assert(kFullArea == (1 << 17), "coverage shifts assume a 2^17 full cell");

struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    static Box All() { return Box{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2}; }
    Box Intersect(const Box& o) const {
        Box r{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
        if (r.empty()) r = Box{};
        return r;
    }
    void Add(int ax0, int ay, int ax1) {  // grows by a row run [ax0, ax1) at row ay
        if (empty()) {
            *this = Box{ax0, ay, ax1, ay + 1};
            return;
        }
        x0 = std::min(x0, ax0);
        x1 = std::max(x1, ax1);
        y0 = std::min(y0, ay);
        y1 = std::max(y1, ay + 1);
    }
};

struct Mask {
    std::vector<uint8_t> data;
    Box bounds;  // where it may be non-zero
    Box dirty;   // everything written since it was last cleared
};

// One style's coverage at a pixel before normalisation (0..kFullArea).
struct StyleCov {
    uint32_t style;
    int32_t raw;
};

// Coverage from a winding area. Non-zero rule: |area|, saturated at a full cell. Even-odd rule:
// the area folded over every two full cells, so a region wound twice is empty again.
template <bool kEvenOdd>
inline int32_t RawOf(int64_t v) {
    int64_t a = v < 0 ? -v : v;
    if (kEvenOdd) {
        if (a <= kFullArea) return static_cast<int32_t>(a);  // wound once at most: the usual case
        if (a >= 2 * kFullArea) a %= 2 * kFullArea;
        return static_cast<int32_t>(a <= kFullArea ? a : 2 * kFullArea - a);
    }
    return static_cast<int32_t>(a < kFullArea ? a : kFullArea);
}

// Coverage 0..255 from a raw area: rounded (half = kFullArea / 2) for exact areas, floored
// (half = 0) for sampled coverage, where k of n samples give floor(255 * k / n) as the player had.
inline uint32_t RawToCov(int32_t raw, int32_t half) { return static_cast<uint32_t>((raw * 255 + half) / kFullArea); }

// How partial pixels are turned into colour.
struct CovRule {
    int32_t half = kFullArea / 2;  // see RawToCov
    // Opaque paint over a partial pixel as (src * a + dst * (255 - a)) >> 8 per colour channel,
    // the player's own arithmetic; otherwise premultiplied source-over, correctly rounded.
    bool lerp256 = false;
};

// Splits up to 255 coverage across styles so the shares sum to the rounded total exactly;
// styles that together overfill the pixel (overlapping fills) are scaled down.
inline void Distribute(StyleCov* sc, int n, uint32_t* covOut, int32_t half) {
    int64_t total = 0;
    for (int i = 0; i < n; ++i) total += sc[i].raw;
    int64_t cum = 0;
    uint32_t prev = 0;
    if (total <= kFullArea) {  // the usual case: shares of one pixel, no division needed
        for (int i = 0; i < n; ++i) {
            cum += sc[i].raw;
            const uint32_t c = static_cast<uint32_t>((cum * 255 + half) >> 17);
            covOut[i] = c - prev;
            prev = c;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        cum += sc[i].raw;
        const uint32_t c = static_cast<uint32_t>((cum * 255 + total / 2) / total);
        covOut[i] = c - prev;
        prev = c;
    }
}

inline uint32_t ClampToAlpha(uint32_t c) {
    const uint32_t a = c >> 24;
    uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
    r = r > a ? a : r;
    g = g > a ? a : g;
    b = b > a ? a : b;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

}  // namespace lumarel::raster::detail
