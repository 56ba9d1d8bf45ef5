// The compound-style sweep: one pass over a layer's cells, row by row, that turns the winding
// areas of all its fills at once into coverage per style and hands it to a painter.
//
// Active and touched styles. A row's cells are sorted by x. Walking them left to right, each
// style keeps a running cover (the sum of the covers of its cells so far: its winding times
// 256 sub-pixel rows) and, for the cell under the walk, the area its segments leave inside it.
// The styles with cells at the current x are "touched": their coverage at that pixel is
// cover * 512 - area, the covered part of the cell. The styles whose running cover is not zero
// are "active": they cover whole pixels from the cell after the touched one to the next cell,
// so that run is a span (one style) or a run under constant shares (several), never pixel
// work. A style joins the active list when its running cover leaves zero and leaves it when
// the cover comes back to zero; a row with a single style skips the lists altogether.
//
// Shares between styles. Where several styles cover one pixel (the two sides of an edge
// inside it, or fills that overlap) each gets its raw area; Distribute rounds them so that the
// shares add up to the rounded total, and scales them down when together they overfill the
// pixel (overlapping fills of one shape never paint more than the pixel).
//
// Even-odd folding. Under the even-odd rule a style's area is folded over every two full cells
// (RawOf<true>), so a region its contours wind twice around comes out empty and one wound three
// times full again; the non-zero rule takes |area| saturated at one full cell.
//
// Open outlines. A malformed shape whose outline does not close leaves a running cover behind
// at the end of a row. It is dropped there, so it cannot leak into the next row: every row
// starts from nothing, which is also why bands of rows can be swept apart.
//
// Private to the rasterizer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/raster/cells.h"
#include "engine/raster/coverage.h"

namespace lumarel::raster::detail {

class CompoundSweep {
public:
    // Before each layer: `n` styles, 1-based.
    void Prepare(size_t n) {
        running.assign(n + 1, 0);
        area.assign(n + 1, 0);
        mark.assign(n + 1, 0);
        inActive.assign(n + 1, 0);
        touched.clear();
        active.clear();
        touched.reserve(n + 1);
        active.reserve(n + 1);
        if (styleCovStore.size() < n + 1) styleCovStore.resize(n + 1);
        styleCovs = styleCovStore.data();
    }

    template <bool kEvenOdd, class Painter>
    void Run(const CellRasterizer& ras, CovRule rule, Painter& painter) {
        const int x0 = ras.ClipX0(), x1 = ras.ClipX1();
        constexpr int kAhead = 8;
        auto prefetchRow = [&](int py) {
            if (py > ras.MaxY()) return;
            const Cell* b = ras.RowBegin(py);
            const Cell* f = ras.RowEnd(py);
            if (b == f) return;
            const int lo = std::max<int>(b->x, x0), hi = std::min<int>((f - 1)->x, x1 - 1);
            if (lo <= hi) painter.Prefetch(py, lo, hi);
        };
        for (int k = 0; k < kAhead; ++k) prefetchRow(ras.MinY() + k);
        for (int y = ras.MinY(); y <= ras.MaxY(); ++y) {
            prefetchRow(y + kAhead);
            const Cell* c = ras.RowBegin(y);
            const Cell* e = ras.RowEnd(y);
            if (c == e) continue;
            painter.BeginRow(y);
            bool single = true;
            for (const Cell* k = c + 1; k < e; ++k) single = single && k->style == c->style;
            if (single) {
                // One style in this row: plain non-zero accumulation.
                const uint32_t s = c->style;
                int64_t cover = 0;
                while (c < e) {
                    const int x = c->x;
                    int64_t ar = 0;
                    do {
                        ar += c->area;
                        cover += c->cover;
                        ++c;
                    } while (c < e && c->x == x);
                    if (x >= x0 && x < x1) {
                        const uint32_t cov = RawToCov(RawOf<kEvenOdd>(cover * (2 * detail::kSub) - ar), rule.half);
                        if (cov) painter.Pixel(x, s, cov);
                    }
                    if (c >= e || cover == 0) continue;
                    const int sx = std::max(x + 1, x0), ex = std::min<int>(c->x, x1);
                    if (sx < ex)
                        painter.Span(sx, ex - sx, s, RawToCov(RawOf<kEvenOdd>(cover * (2 * detail::kSub)), rule.half));
                }
                painter.EndRow();
                continue;
            }
            while (c < e) {
                const int x = c->x;
                touched.clear();
                do {
                    const uint32_t s = c->style;
                    if (!mark[s]) {
                        mark[s] = 1;
                        touched.push_back(s);
                    }
                    area[s] += c->area;
                    running[s] += c->cover;
                    ++c;
                } while (c < e && c->x == x);
                if (x >= x0 && x < x1) {
                    nCovs = 0;
                    for (uint32_t s : active) {
                        if (mark[s]) continue;
                        styleCovs[nCovs++] = StyleCov{s, RawOf<kEvenOdd>(running[s] * (2 * detail::kSub))};
                    }
                    for (uint32_t s : touched) {
                        const int32_t raw = RawOf<kEvenOdd>(running[s] * (2 * detail::kSub) - area[s]);
                        if (raw) styleCovs[nCovs++] = StyleCov{s, raw};
                    }
                    if (nCovs == 1) {
                        const uint32_t cov = RawToCov(styleCovs[0].raw, rule.half);
                        if (cov) painter.Pixel(x, styleCovs[0].style, cov);
                    } else if (nCovs > 1) {
                        painter.PixelMulti(x, styleCovs, nCovs);
                    }
                }
                for (uint32_t s : touched) {
                    mark[s] = 0;
                    area[s] = 0;
                    const bool on = running[s] != 0;
                    if (on && !inActive[s]) {
                        inActive[s] = 1;
                        active.push_back(s);
                    } else if (!on && inActive[s]) {
                        inActive[s] = 0;
                        active.erase(std::find(active.begin(), active.end(), s));
                    }
                }
                if (c >= e || active.empty()) continue;
                const int sx = std::max(x + 1, x0), ex = std::min<int>(c->x, x1);
                if (sx >= ex) continue;
                if (active.size() == 1) {
                    const uint32_t s = active[0];
                    painter.Span(sx, ex - sx, s, RawToCov(RawOf<kEvenOdd>(running[s] * (2 * detail::kSub)), rule.half));
                } else {
                    nCovs = 0;
                    for (uint32_t s : active)
                        styleCovs[nCovs++] = StyleCov{s, RawOf<kEvenOdd>(running[s] * (2 * detail::kSub))};
                    painter.SpanMulti(sx, ex - sx, styleCovs, nCovs);
                }
            }
            painter.EndRow();
            // Malformed (open) outlines can leave a cover behind; it must not leak into the next row.
            for (uint32_t s : active) {
                running[s] = 0;
                inActive[s] = 0;
            }
            active.clear();
        }
    }

private:
    std::vector<int64_t> running, area;
    std::vector<uint8_t> mark, inActive;
    std::vector<uint32_t> touched, active;
    std::vector<StyleCov> styleCovStore;  // capacity: one per style
    StyleCov* styleCovs = nullptr;
    int nCovs = 0;
};

}  // namespace lumarel::raster::detail
