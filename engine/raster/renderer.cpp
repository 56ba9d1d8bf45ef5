// The renderer: flattens shapes against the device matrix, feeds the compound cell rasterizer,
// sweeps each row once for all fills of a layer and blends the resulting spans.
#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/raster/cells.h"
#include "engine/raster/display_list.h"
#include "engine/raster/paint.h"
#include "engine/raster/pixel.h"
#include "engine/raster/simd.h"
#include "engine/raster/raster.h"
#include "engine/raster/stroker.h"

namespace lumarel::raster {

using detail::Cell;
using detail::CellRasterizer;
using detail::CompiledPaint;
using detail::kFullArea;
using detail::Pt;

namespace {

constexpr int kMaxMasks = 32;
constexpr double kCoordLimit = 1e15;
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

inline double ClampCoord(double v) {
    if (v > kCoordLimit) return kCoordLimit;
    if (v < -kCoordLimit) return -kCoordLimit;
    return v;  // NaN passes through and is dropped by the rasterizer
}

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

// Blends paint spans into the surface, optionally through a mask.
class ColorPainter {
public:
    ColorPainter(uint32_t* pixels, int stride, const CompiledPaint* paints, uint32_t* buf, uint8_t* covRun,
                 uint8_t* covTmp, const Mask* mask, CovRule rule, Blend blend = Blend::Normal)
        : blend_(blend == Blend::Layer ? Blend::Normal : blend),
          pixels_(pixels),
          stride_(stride),
          paints_(paints),
          buf_(buf),
          covRun_(covRun),
          covTmp_(covTmp),
          mask_(mask),
          rule_(rule) {}

    void BeginRow(int y) {
        y_ = y;
        row_ = pixels_ + static_cast<size_t>(y) * static_cast<size_t>(stride_);
        maskRow_ = mask_ ? mask_->data.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_) : nullptr;
    }
    void EndRow() { Flush(); }

    // Edge pixels read the destination: start fetching a row's cache lines a few rows early.
    void Prefetch(int y, int x0, int x1) const {
        const uint32_t* r = pixels_ + static_cast<size_t>(y) * static_cast<size_t>(stride_);
        for (int x = x0; x <= x1; x += 16) LUMAREL_PREFETCH(r + x);
        LUMAREL_PREFETCH(r + x1);
    }

    void Pixel(int x, uint32_t s, uint32_t cov) {
        if (runLen_ > 0 && s == runStyle_ && x == runX_ + runLen_) {
            covRun_[runLen_++] = static_cast<uint8_t>(cov);
            return;
        }
        Flush();
        runStyle_ = s;
        runX_ = x;
        runLen_ = 1;
        covRun_[0] = static_cast<uint8_t>(cov);
    }

    void Span(int x, int len, uint32_t s, uint32_t cov) {
        Flush();
        if (cov == 0) return;
        if (maskRow_) {
            const uint8_t* m = maskRow_ + x;
            for (int i = 0; i < len; ++i) covTmp_[i] = static_cast<uint8_t>(detail::Mul255(cov, m[i]));
            BlendArray(x, len, paints_[s], covTmp_);
            return;
        }
        BlendConst(x, len, paints_[s], cov);
    }

    void PixelMulti(int x, StyleCov* sc, int n) {
        Flush();
        uint32_t covs[64];
        uint32_t acc = 0;
        for (int base = 0; base < n; base += 64) {
            const int k = std::min(64, n - base);
            Distribute(sc + base, k, covs, rule_.half);
            for (int i = 0; i < k; ++i) {
                if (!covs[i]) continue;
                acc += detail::MulPixel(Fetch1(paints_[sc[base + i].style], x), covs[i]);
            }
        }
        acc = ClampToAlpha(acc);
        if (maskRow_) acc = detail::MulPixel(acc, maskRow_[x]);
        if (blend_ != Blend::Normal) {
            row_[x] = BlendPixel(acc, row_[x], blend_);
            return;
        }
        row_[x] = (acc >> 24) == 255 ? acc : detail::Over(acc, row_[x]);
    }

    // A run of pixels under the same styles at the same shares (between two cells): when all of
    // them are solid colours, one mixed colour for the whole run; else pixel by pixel.
    void SpanMulti(int x, int len, StyleCov* sc, int n) {
        uint32_t covs[64];
        uint32_t acc = 0;
        bool solid = n <= 64;
        if (solid) {
            Distribute(sc, n, covs, rule_.half);
            for (int i = 0; i < n && solid; ++i) {
                const CompiledPaint& p = paints_[sc[i].style];
                solid = p.kind == CompiledPaint::Kind::Solid;
                if (covs[i] && solid) acc += detail::MulPixel(p.color, covs[i]);
            }
        }
        if (!solid) {
            for (int px = x; px < x + len; ++px) PixelMulti(px, sc, n);
            return;
        }
        Flush();
        acc = ClampToAlpha(acc);
        for (int px = x; px < x + len; ++px) {
            const uint32_t c = maskRow_ ? detail::MulPixel(acc, maskRow_[px]) : acc;
            if (blend_ != Blend::Normal) {
                row_[px] = BlendPixel(c, row_[px], blend_);
            } else {
                row_[px] = (c >> 24) == 255 ? c : detail::Over(c, row_[px]);
            }
        }
    }

private:
    uint32_t Fetch1(const CompiledPaint& p, int x) {
        if (p.kind == CompiledPaint::Kind::Solid) return p.color;
        uint32_t c;
        detail::FetchSpan(p, x, y_, 1, &c);
        return c;
    }

    void Flush() {
        if (runLen_ == 0) return;
        const int len = runLen_;
        runLen_ = 0;
        if (maskRow_) {
            const uint8_t* m = maskRow_ + runX_;
            for (int i = 0; i < len; ++i) covRun_[i] = static_cast<uint8_t>(detail::Mul255(covRun_[i], m[i]));
        }
        BlendArray(runX_, len, paints_[runStyle_], covRun_);
    }

    // Any blend mode but Normal: each source pixel at its coverage through BlendPixel.
    void BlendModeSpan(int x, int len, const CompiledPaint& p, uint32_t constCov, const uint8_t* cov) {
        if (p.kind == CompiledPaint::Kind::None) return;
        if (p.kind == CompiledPaint::Kind::Solid)
            std::fill_n(buf_, len, p.color);
        else
            detail::FetchSpan(p, x, y_, len, buf_);
        uint32_t* d = row_ + x;
        for (int i = 0; i < len; ++i) {
            const uint32_t c = cov ? cov[i] : constCov;
            if (c) d[i] = BlendPixel(c == 255 ? buf_[i] : detail::MulPixel(buf_[i], c), d[i], blend_);
        }
    }

    void BlendConst(int x, int len, const CompiledPaint& p, uint32_t cov) {
        if (blend_ != Blend::Normal) return BlendModeSpan(x, len, p, cov, nullptr);
        uint32_t* d = row_ + x;
        if (p.kind == CompiledPaint::Kind::Solid) {
            if (cov == 255 && p.opaque) {
                std::fill_n(d, len, p.color);
                return;
            }
            if (rule_.lerp256 && p.opaque) {
                for (int i = 0; i < len; ++i) d[i] = detail::Lerp256(p.color, d[i], cov);
                return;
            }
            const uint32_t src = cov == 255 ? p.color : detail::MulPixel(p.color, cov);
            const uint32_t inv = 255u - (src >> 24);
            if (inv == 255) return;
            detail::OverConstSpan(d, len, src, inv);
            return;
        }
        if (p.kind == CompiledPaint::Kind::None) return;
        if (cov == 255 && p.opaque) {
            detail::FetchSpan(p, x, y_, len, d);
            return;
        }
        detail::FetchSpan(p, x, y_, len, buf_);
        if (rule_.lerp256 && cov != 255) {
            for (int i = 0; i < len; ++i) d[i] = Blend1(buf_[i], d[i], cov);
            return;
        }
        if (cov != 255) detail::MulSpan(buf_, len, cov);
        detail::OverSpan(d, buf_, len);
    }

    void BlendArray(int x, int len, const CompiledPaint& p, const uint8_t* cov) {
        if (blend_ != Blend::Normal) return BlendModeSpan(x, len, p, 0, cov);
        uint32_t* d = row_ + x;
        if (p.kind == CompiledPaint::Kind::Solid) {
            const uint32_t color = p.color;
            const bool opaque = p.opaque;
            for (int i = 0; i < len; ++i) {
                const uint32_t c = cov[i];
                if (c == 0) continue;
                if (c == 255 && opaque)
                    d[i] = color;
                else if (rule_.lerp256 && opaque)
                    d[i] = detail::Lerp256(color, d[i], c);
                else
                    d[i] = detail::Over(detail::MulPixel(color, c), d[i]);
            }
            return;
        }
        if (p.kind == CompiledPaint::Kind::None) return;
        detail::FetchSpan(p, x, y_, len, buf_);
        for (int i = 0; i < len; ++i) {
            const uint32_t c = cov[i];
            if (c == 0) continue;
            d[i] = Blend1(buf_[i], d[i], c);
        }
    }

    // One fetched source pixel over the destination at coverage c.
    uint32_t Blend1(uint32_t src, uint32_t dst, uint32_t c) const {
        if (c == 255) return detail::Over(src, dst);
        if (rule_.lerp256 && (src >> 24) == 255) return detail::Lerp256(src, dst, c);
        return detail::Over(detail::MulPixel(src, c), dst);
    }

    Blend blend_;
    uint32_t* pixels_;
    int stride_;
    const CompiledPaint* paints_;
    uint32_t* buf_;
    uint8_t* covRun_;
    uint8_t* covTmp_;
    const Mask* mask_;
    CovRule rule_;
    int y_ = 0;
    uint32_t* row_ = nullptr;
    const uint8_t* maskRow_ = nullptr;
    uint32_t runStyle_ = 0;
    int runX_ = 0, runLen_ = 0;
};

// Adds coverage (union) to a mask being defined.
class MaskPainter {
public:
    MaskPainter(Mask& m, int stride, int32_t half) : mask_(m), stride_(stride), half_(half) {}
    void BeginRow(int y) {
        y_ = y;
        row_ = mask_.data.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_);
    }
    void EndRow() {}
    void Prefetch(int, int, int) const {}
    void Pixel(int x, uint32_t, uint32_t cov) { Put(x, 1, cov); }
    void Span(int x, int len, uint32_t, uint32_t cov) { Put(x, len, cov); }
    void PixelMulti(int x, StyleCov* sc, int n) {
        int64_t total = 0;
        for (int i = 0; i < n; ++i) total += sc[i].raw;
        Put(x, 1, RawToCov(static_cast<int32_t>(std::min<int64_t>(total, kFullArea)), half_));
    }
    void SpanMulti(int x, int len, StyleCov* sc, int n) {
        int64_t total = 0;
        for (int i = 0; i < n; ++i) total += sc[i].raw;
        Put(x, len, RawToCov(static_cast<int32_t>(std::min<int64_t>(total, kFullArea)), half_));
    }

private:
    void Put(int x, int len, uint32_t cov) {
        if (cov == 0) return;
        uint8_t* m = row_ + x;
        if (cov == 255) {
            std::fill_n(m, len, uint8_t(255));
        } else {
            for (int i = 0; i < len; ++i) m[i] = static_cast<uint8_t>(m[i] + cov - detail::Mul255(m[i], cov));
        }
        mask_.dirty.Add(x, y_, x + len);
    }
    Mask& mask_;
    int stride_;
    int32_t half_;
    int y_ = 0;
    uint8_t* row_ = nullptr;
};

// Hinting as the player did it: a straight horizontal or vertical segment is moved across
// itself so that it covers whole pixels (an odd width centred on the pixel a centre sample at
// its coordinate would pick, an even one on a pixel boundary); diagonal segments stay where
// they are (only their ends follow a hinted neighbour).
void HintToPixels(std::vector<Pt>& path, bool oddWidth) {
    auto snap = [oddWidth](double c) { return oddWidth ? std::ceil(c) - 0.5 : std::round(c); };
    auto horizontal = [](Pt a, Pt b) { return a.y == b.y && a.x != b.x; };
    auto vertical = [](Pt a, Pt b) { return a.x == b.x && a.y != b.y; };
    Pt before{NAN, NAN};  // the previous point as it was, before it was snapped
    for (size_t i = 0; i < path.size(); ++i) {
        const Pt p = path[i];
        const Pt after = i + 1 < path.size() ? path[i + 1] : Pt{NAN, NAN};
        if (horizontal(before, p) || horizontal(p, after)) path[i].y = snap(p.y);
        if (vertical(before, p) || vertical(p, after)) path[i].x = snap(p.x);
        before = p;
    }
}

}  // namespace

struct Renderer::Impl {
    explicit Impl(Surface& s) { Attach(s); }

    void Attach(Surface& s) {
        if (surface && (surface->Width() != s.Width() || surface->Height() != s.Height())) masks.clear();
        surface = &s;
        clip = Box{0, 0, s.Width(), s.Height()};
        levels.clear();
        realLevels = 0;
        const size_t w = static_cast<size_t>(std::max(1, s.Width()));
        buf.resize(w + 8);
        covRun.resize(w + 8);
        covTmp.resize(w + 8);
    }

    Surface* surface = nullptr;
    Box clip;
    // Replay draws only the pixels inside this window (Box::kAll: everywhere).
    Box window = Box::All();
    DisplayList* recording = nullptr;
    double tolerance = 0.2;
    Quality quality = Quality::High;
    CovRule rule;
    Blend blend = Blend::Normal;
    DrawObserver* observer = nullptr;
    std::vector<FlatSegment> observed;  // the segments of the layer being filled, for the observer
    CellRasterizer ras;
    std::vector<CompiledPaint> paints;
    std::vector<detail::Ramp> ramps;
    std::vector<uint32_t> buf;
    std::vector<uint8_t> covRun, covTmp;
    // Per-style sweep state.
    std::vector<int64_t> running, area;
    std::vector<uint8_t> mark, inActive;
    std::vector<uint32_t> touched, active;
    std::vector<StyleCov> styleCovStore;  // capacity: one per style
    StyleCov* styleCovs = nullptr;
    int nCovs = 0;
    // Clip levels, innermost last. A level owns a mask (masks[mask]) or, when it could not have one,
    // is a placeholder (mask < 0) that only keeps begin/end/pop balanced: masks nested inside a mask
    // definition and levels beyond kMaxMasks. Shapes drawn while a placeholder is being defined
    // are dropped; once it is defined it clips nothing.
    struct ClipLevel {
        int mask;
        bool defining;
    };
    std::vector<ClipLevel> levels;
    std::vector<std::unique_ptr<Mask>> masks;
    int realLevels = 0;
    // Stroke scratch.
    std::vector<std::vector<uint32_t>> edgesByLine;
    std::vector<Pt> path, outline;
    std::vector<size_t> contourEnds;

    // The innermost real level below index `below` (exclusive), or -1.
    int RealBelow(size_t below) const {
        for (size_t i = below; i-- > 0;)
            if (levels[i].mask >= 0) return static_cast<int>(i);
        return -1;
    }

    bool AnyDefining() const {
        for (const ClipLevel& l : levels)
            if (l.defining) return true;
        return false;
    }

    void PrepareStyles(size_t n) {
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
    void Sweep(Painter& painter) {
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

    void FlattenQuad(const Matrix& m, const Edge& e, Pt p0, std::vector<Pt>& out) {
        double cx, cy, x1, y1;
        m.Apply(e.cx, e.cy, cx, cy);
        m.Apply(e.x1, e.y1, x1, y1);
        cx = ClampCoord(cx);
        cy = ClampCoord(cy);
        x1 = ClampCoord(x1);
        y1 = ClampCoord(y1);
        const double ddx = p0.x - 2 * cx + x1, ddy = p0.y - 2 * cy + y1;
        const double dd = std::sqrt(ddx * ddx + ddy * ddy);
        int n = 1;
        if (dd > 4 * tolerance) {
            const double k = std::ceil(std::sqrt(dd / (4 * tolerance)));
            n = k < 256 ? static_cast<int>(k) : 256;
        }
        for (int i = 1; i < n; ++i) {
            const double t = double(i) / n, u = 1 - t;
            out.push_back({u * u * p0.x + 2 * u * t * cx + t * t * x1, u * u * p0.y + 2 * u * t * cy + t * t * y1});
        }
        out.push_back({x1, y1});
    }

    // What a scan of a bitmap's pixels found, remembered per bitmap (weakly, so a freed bitmap whose
    // address is reused is not mistaken for the old one).
    struct BitmapInfo {
        std::weak_ptr<const Bitmap> bitmap;
        const Bitmap* key = nullptr;
        bool opaque = false, valid = false;
    };
    std::vector<BitmapInfo> bitmapInfo;
    std::vector<uint32_t> bitmapRow;  // shared by the bitmap paints of one layer, used one span at a time
    size_t bitmapInfoNext = 0;

    const BitmapInfo& InfoFor(const std::shared_ptr<const Bitmap>& bm) {
        for (const BitmapInfo& bi : bitmapInfo)
            if (bi.key == bm.get() && !bi.bitmap.expired() && bi.bitmap.lock() == bm) return bi;
        BitmapInfo bi;
        bi.bitmap = bm;
        bi.key = bm.get();
        bool opaque = true, valid = true;
        const size_t n = static_cast<size_t>(bm->width) * static_cast<size_t>(bm->height);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c = bm->pixels[i], a = c >> 24;
            opaque = opaque && a == 255;
            valid = valid && ((c >> 16) & 255) <= a && ((c >> 8) & 255) <= a && (c & 255) <= a;
        }
        bi.opaque = opaque;
        bi.valid = valid;
        constexpr size_t kMaxInfo = 64;
        if (bitmapInfo.size() < kMaxInfo) {
            bitmapInfo.push_back(bi);
            return bitmapInfo.back();
        }
        BitmapInfo& slot = bitmapInfo[bitmapInfoNext];
        bitmapInfoNext = (bitmapInfoNext + 1) % kMaxInfo;
        slot = bi;
        return slot;
    }

    void CompilePaint(const Paint& p, const Matrix& m, const ColorTransform& cx, detail::Ramp& ramp,
                      CompiledPaint& out) {
        detail::CompilePaint(p, m, cx, ramp, out);
        if (out.kind != CompiledPaint::Kind::Bitmap) return;
        // Low and Medium never smooth bitmaps; High and Exact follow the fill's smoothing flag.
        if (quality == Quality::Low || quality == Quality::Medium) out.smooth = false;
        if (quality == Quality::Best) out.smooth = true;
        const BitmapInfo& bi = InfoFor(p.bitmap);
        out.trusted = bi.valid;
        // The row scratch is attached by attachBitmapRows() once every paint of the draw is compiled,
        // so growing it cannot leave an earlier paint pointing at freed memory.
        if (bitmapRow.size() < static_cast<size_t>(p.bitmap->width) + 1)
            bitmapRow.resize(static_cast<size_t>(p.bitmap->width) + 1);
        out.opaque =
            bi.opaque && bi.valid && (out.cxIdentity || (out.ramp && (out.ramp[255] >> 24) == 255 && !out.cxAlphaOnly));
    }

    void AttachBitmapRows() {
        for (CompiledPaint& cp : paints)
            if (cp.kind == CompiledPaint::Kind::Bitmap) {
                cp.rowScratch = bitmapRow.data();
                cp.rowScratchSize = bitmapRow.size();
            }
    }

    void CompileFills(const Layer& layer, const Matrix& m, const ColorTransform& cx) {
        const size_t n = layer.fills.size();
        if (ramps.size() < n + 1) ramps.resize(n + 1);
        paints.assign(n + 1, CompiledPaint{});
        for (size_t i = 0; i < n; ++i) CompilePaint(layer.fills[i], m, cx, ramps[i + 1], paints[i + 1]);
        AttachBitmapRows();
    }

    // `record`: the segments also go to `observed`.
    // Segments are clipped to `box`; only the pixels inside `paint` are painted.
    template <class Painter>
    void FillLayer(const Layer& layer, const Matrix& m, const Box& box, const Box& paint, Painter& painter,
                   bool record = false) {
        const size_t nf = layer.fills.size();
        ras.Reset(box.x0, box.y0, box.x1, box.y1);
        ras.SetWindow(paint.x0, paint.y0, paint.x1, paint.y1);
        auto valid = [&](uint16_t s) -> uint16_t {
            return (s >= 1 && s <= nf && paints[s].kind != CompiledPaint::Kind::None) ? s : uint16_t(0);
        };
        bool any = false;
        for (const Edge& e : layer.edges) {
            const uint16_t l = valid(e.fill0), r = valid(e.fill1);
            if (l == r) continue;  // same style both sides (or none): no boundary
            any = true;
            ras.SetStyles(l, r);
            double x0, y0;
            m.Apply(e.x0, e.y0, x0, y0);
            x0 = ClampCoord(x0);
            y0 = ClampCoord(y0);
            if (e.kind == Edge::Kind::Quad) {
                path.clear();
                FlattenQuad(m, e, Pt{x0, y0}, path);
                Pt p{x0, y0};
                for (const Pt& q : path) {
                    ras.Line(p.x, p.y, q.x, q.y);
                    if (record) observed.push_back(FlatSegment{p.x, p.y, q.x, q.y, l, r});
                    p = q;
                }
            } else {
                double x1, y1;
                m.Apply(e.x1, e.y1, x1, y1);
                x1 = ClampCoord(x1);
                y1 = ClampCoord(y1);
                ras.Line(x0, y0, x1, y1);
                if (record) observed.push_back(FlatSegment{x0, y0, x1, y1, l, r});
            }
        }
        if (!any) return;
        ras.Finish();
        if (ras.empty()) return;
        PrepareStyles(nf);
        if (layer.evenOdd) {
            Sweep<true>(painter);
        } else {
            Sweep<false>(painter);
        }
    }

    void StrokeLayer(const Layer& layer, const Matrix& m, const ColorTransform& cx, const Box& box, const Box& paint,
                     Mask* mask) {
        const size_t ns = layer.strokes.size();
        if (ns == 0) return;
        if (edgesByLine.size() < ns + 1) edgesByLine.resize(ns + 1);
        for (size_t i = 0; i <= ns; ++i) edgesByLine[i].clear();
        for (size_t i = 0; i < layer.edges.size(); ++i) {
            const uint16_t l = layer.edges[i].line;
            if (l >= 1 && l <= ns) edgesByLine[l].push_back(static_cast<uint32_t>(i));
        }
        const double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d);
        const double sdet = std::sqrt(std::fabs(m.Determinant()));
        if (ramps.empty()) ramps.resize(1);
        for (size_t k = 1; k <= ns; ++k) {
            const std::vector<uint32_t>& list = edgesByLine[k];
            if (list.empty()) continue;
            const Stroke& st = layer.strokes[k - 1];
            paints.assign(2, CompiledPaint{});
            CompilePaint(st.paint, m, cx, ramps[0], paints[1]);
            AttachBitmapRows();
            if (paints[1].kind == CompiledPaint::Kind::None) continue;
            double w = st.width;
            if (!std::isfinite(w) || w < 0) w = 0;
            if (st.noHScale && st.noVScale)
                w = w / 20.0;
            else if (st.noHScale)
                w *= sy;
            else if (st.noVScale)
                w *= sx;
            else
                w *= sdet;
            // Hairlines and lines thinner than a pixel are drawn one device pixel wide, and hinted.
            const bool hinted = st.pixelHinting || !(w >= 1.0);
            if (!(w >= 1.0)) w = 1.0;
            if (w > 1e7) w = 1e7;
            detail::StrokeStyle ss;
            ss.halfWidth = w / 2;
            ss.startCap = st.startCap;
            ss.endCap = st.endCap;
            ss.join = st.join;
            ss.miterLimit = std::isfinite(st.miterLimit) ? std::max(1.0, st.miterLimit) : 1.0;
            ss.tolerance = tolerance;
            const bool oddWidth = (static_cast<long long>(std::lround(w)) & 1) != 0;
            outline.clear();
            contourEnds.clear();
            path.clear();
            float startX = 0, startY = 0, endX = 0, endY = 0;
            bool open = false;
            auto flushPath = [&]() {
                if (!open) return;
                const bool closed = !st.noClose && startX == endX && startY == endY && path.size() > 2;
                if (hinted) HintToPixels(path, oddWidth);
                if (observer) observer->OnStroke(st, m, cx, path, closed, w);
                detail::StrokePolyline(path, closed, ss, outline, contourEnds);
                path.clear();
                open = false;
            };
            for (uint32_t idx : list) {
                const Edge& e = layer.edges[idx];
                if (!open || e.x0 != endX || e.y0 != endY) {
                    flushPath();
                    double x0, y0;
                    m.Apply(e.x0, e.y0, x0, y0);
                    path.push_back({ClampCoord(x0), ClampCoord(y0)});
                    startX = e.x0;
                    startY = e.y0;
                    open = true;
                }
                if (e.kind == Edge::Kind::Quad) {
                    FlattenQuad(m, e, path.back(), path);
                } else {
                    double x1, y1;
                    m.Apply(e.x1, e.y1, x1, y1);
                    path.push_back({ClampCoord(x1), ClampCoord(y1)});
                }
                endX = e.x1;
                endY = e.y1;
            }
            flushPath();
            if (outline.empty()) continue;
            ras.Reset(box.x0, box.y0, box.x1, box.y1);
            ras.SetWindow(paint.x0, paint.y0, paint.x1, paint.y1);
            ras.SetStyles(1, 0);
            size_t begin = 0;
            for (size_t end : contourEnds) {
                if (end - begin >= 2) {
                    for (size_t i = begin; i < end; ++i) {
                        const Pt& a = outline[i];
                        const Pt& b = outline[i + 1 < end ? i + 1 : begin];
                        ras.Line(a.x, a.y, b.x, b.y);
                    }
                }
                begin = end;
            }
            ras.Finish();
            if (ras.empty()) continue;
            PrepareStyles(1);
            ColorPainter painter(surface->data(), surface->Width(), paints.data(), buf.data(), covRun.data(),
                                 covTmp.data(), mask, rule, blend);
            Sweep<false>(painter);  // stroke outlines overlap themselves at joins: non-zero
        }
    }

    void Draw(const Shape& shape, const Matrix& m, const ColorTransform& cx) {
        if (surface->Width() <= 0 || surface->Height() <= 0 || !m.IsFinite()) return;
        // Segments are always clipped to the clip rectangle, whatever the window and masks, so that
        // every pixel comes out the same however the picture is cut up.
        const Box box = clip;
        Box paint = clip.Intersect(window);
        if (paint.empty()) return;
        int definingLevel = -1;
        for (size_t i = 0; i < levels.size(); ++i)
            if (levels[i].defining) {
                if (levels[i].mask < 0) return;  // inside a placeholder's definition: dropped
                definingLevel = static_cast<int>(i);
            }
        if (definingLevel >= 0) {
            Mask& target = *masks[static_cast<size_t>(levels[static_cast<size_t>(definingLevel)].mask)];
            for (const Layer& layer : shape.layers) {
                if (layer.edges.empty()) continue;
                // A mask takes the fills' geometry only: colour and alpha do not matter, so every fill
                // that exists (even a transparent one) masks.
                paints.assign(layer.fills.size() + 1, CompiledPaint{});
                for (size_t i = 0; i < layer.fills.size(); ++i) {
                    paints[i + 1].kind = CompiledPaint::Kind::Solid;
                    paints[i + 1].opaque = true;
                    paints[i + 1].color = 0xFFFFFFFFu;
                }
                MaskPainter painter(target, surface->Width(), rule.half);
                FillLayer(layer, m, box, paint, painter);
            }
            return;
        }
        const int top = RealBelow(levels.size());
        Mask* mask = top >= 0 ? masks[static_cast<size_t>(levels[static_cast<size_t>(top)].mask)].get() : nullptr;
        if (mask) paint = paint.Intersect(mask->bounds);
        if (paint.empty()) return;
        for (const Layer& layer : shape.layers) {
            if (layer.edges.empty()) continue;
            if (!layer.fills.empty()) {
                CompileFills(layer, m, cx);
                ColorPainter painter(surface->data(), surface->Width(), paints.data(), buf.data(), covRun.data(),
                                     covTmp.data(), mask, rule, blend);
                observed.clear();
                FillLayer(layer, m, box, paint, painter, observer != nullptr);
                if (observer && !observed.empty()) observer->OnFill(layer, m, cx, observed);
            }
            StrokeLayer(layer, m, cx, box, paint, mask);
        }
    }

    void BeginClip() {
        // Masks inside a mask definition (a mask sprite with its own clip layers) and masks beyond
        // the depth limit get a placeholder level.
        if (AnyDefining() || realLevels >= kMaxMasks || levels.size() >= 4096) {
            if (levels.size() < (size_t(1) << 20)) levels.push_back(ClipLevel{-1, true});
            return;
        }
        const int idx = realLevels;
        if (masks.size() <= static_cast<size_t>(idx)) masks.push_back(std::make_unique<Mask>());
        Mask& m = *masks[static_cast<size_t>(idx)];
        const size_t w = static_cast<size_t>(surface->Width()), h = static_cast<size_t>(surface->Height());
        if (m.data.size() != w * h) {
            m.data.assign(w * h, 0);
        } else if (!m.dirty.empty()) {
            for (int y = m.dirty.y0; y < m.dirty.y1; ++y)
                std::fill_n(m.data.data() + static_cast<size_t>(y) * w + static_cast<size_t>(m.dirty.x0),
                            m.dirty.x1 - m.dirty.x0, uint8_t(0));
        }
        m.dirty = Box{};
        m.bounds = Box{};
        ++realLevels;
        levels.push_back(ClipLevel{idx, true});
    }

    void EndClipDefinition() {
        size_t i = levels.size();
        while (i > 0 && !levels[i - 1].defining) --i;
        if (i == 0) return;
        ClipLevel& lv = levels[i - 1];
        lv.defining = false;
        if (lv.mask < 0) return;
        Mask& m = *masks[static_cast<size_t>(lv.mask)];
        m.bounds = m.dirty.Intersect(clip);
        const int p = RealBelow(i - 1);
        if (p >= 0) {
            const Mask& parent = *masks[static_cast<size_t>(levels[static_cast<size_t>(p)].mask)];
            const size_t w = static_cast<size_t>(surface->Width());
            for (int y = m.dirty.y0; y < m.dirty.y1; ++y) {
                uint8_t* r = m.data.data() + static_cast<size_t>(y) * w;
                const uint8_t* pr = parent.data.data() + static_cast<size_t>(y) * w;
                for (int x = m.dirty.x0; x < m.dirty.x1; ++x) r[x] = static_cast<uint8_t>(detail::Mul255(r[x], pr[x]));
            }
            m.bounds = m.bounds.Intersect(parent.bounds);
        }
    }

    // Records a call that carries no more than a small value.
    void Keep(DisplayList::Call::Op op, uint8_t value = 0) {
        DisplayList::Call& c = recording->Push(op);
        c.value = value;
        recording->Seal(c);
    }

    void PopClip() {
        if (levels.empty()) return;
        if (levels.back().mask >= 0) --realLevels;
        levels.pop_back();
    }
};

Renderer::Renderer(Surface& s) : impl_(std::make_unique<Impl>(s)) { SetQuality(Quality::High); }
Renderer::~Renderer() = default;

void Renderer::SetSurface(Surface& s) { impl_->Attach(s); }

void Renderer::DrawShape(const Shape& shape, const Matrix& toDevice, const ColorTransform& cx) {
    if (DisplayList* list = impl_->recording) {
        DisplayList::Call& c = list->Push(DisplayList::Call::Op::Draw);
        c.shape = shape;
        c.matrix = toDevice;
        c.cx = cx;
        list->Seal(c);
        return;
    }
    impl_->Draw(shape, toDevice, cx);
}

void Renderer::BeginClip() {
    if (impl_->recording) return impl_->Keep(DisplayList::Call::Op::BeginClip);
    impl_->BeginClip();
}
void Renderer::EndClipDefinition() {
    if (impl_->recording) return impl_->Keep(DisplayList::Call::Op::EndClipDefinition);
    impl_->EndClipDefinition();
}
void Renderer::PopClip() {
    if (impl_->recording) return impl_->Keep(DisplayList::Call::Op::PopClip);
    impl_->PopClip();
}
int Renderer::ClipDepth() const {
    if (impl_->recording) return static_cast<int>(impl_->recording->masks_.size());
    return static_cast<int>(impl_->levels.size());
}

void Renderer::SetClipRect(int x0, int y0, int x1, int y1) {
    const Box full{0, 0, impl_->surface->Width(), impl_->surface->Height()};
    impl_->clip = Box{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)}.Intersect(full);
    if (DisplayList* list = impl_->recording) {
        DisplayList::Call& c = list->Push(DisplayList::Call::Op::ClipRect);
        c.rect = IntRect{impl_->clip.x0, impl_->clip.y0, impl_->clip.x1, impl_->clip.y1};
        list->Seal(c);
    }
}
void Renderer::GetClipRect(int& x0, int& y0, int& x1, int& y1) const {
    x0 = impl_->clip.x0;
    y0 = impl_->clip.y0;
    x1 = impl_->clip.x1;
    y1 = impl_->clip.y1;
}

void Renderer::SetTolerance(double px) {
    if (!std::isfinite(px)) return;
    impl_->tolerance = std::clamp(px, 0.01, 4.0);
    if (DisplayList* list = impl_->recording) {
        DisplayList::Call& c = list->Push(DisplayList::Call::Op::Tolerance);
        c.number = impl_->tolerance;
        list->Seal(c);
    }
}

Quality Renderer::GetQuality() const { return impl_->quality; }
void Renderer::SetBlend(Blend b) {
    impl_->blend = b;
    if (impl_->recording) impl_->Keep(DisplayList::Call::Op::Blend, static_cast<uint8_t>(b));
}
void Renderer::SetObserver(DrawObserver* observer) { impl_->observer = observer; }

void Renderer::SetQuality(Quality q) {
    impl_->quality = q;
    const int samples[] = {1, 2, 4, 4, 0};  // Low, Medium, High, Best, Exact
    impl_->ras.SetSampling(samples[static_cast<int>(q)]);
    impl_->rule = CovRule{};
    if (q != Quality::Exact) impl_->rule = CovRule{0, true};
    if (impl_->recording) impl_->Keep(DisplayList::Call::Op::Quality, static_cast<uint8_t>(q));
}

void Renderer::Record(DisplayList* list) {
    impl_->recording = nullptr;
    if (!list) return;
    Impl& im = *impl_;
    list->Clear();
    list->width_ = im.surface->Width();
    list->height_ = im.surface->Height();
    list->masks_.clear();
    list->defining_.clear();
    // The state drawing starts from, so that a replay starts from it too.
    const double tolerance = im.tolerance;
    im.recording = list;
    SetClipRect(im.clip.x0, im.clip.y0, im.clip.x1, im.clip.y1);
    SetQuality(im.quality);
    SetBlend(im.blend);
    SetTolerance(tolerance);
}

void Renderer::Replay(const DisplayList& list, IntRect window) {
    Impl& im = *impl_;
    im.recording = nullptr;
    im.levels.clear();
    im.realLevels = 0;
    im.window = Box{window.x0, window.y0, window.x1, window.y1};
    using Op = DisplayList::Call::Op;
    for (size_t i = 0; i < list.size_; ++i) {
        const DisplayList::Call& c = list.calls_[i];
        switch (c.op) {
            case Op::Draw:
                // A shape that cannot reach the window leaves nothing in it.
                if (!im.window.Intersect(Box{c.bounds.x0, c.bounds.y0, c.bounds.x1, c.bounds.y1}).empty())
                    im.Draw(c.shape, c.matrix, c.cx);
                break;
            case Op::BeginClip:
                im.BeginClip();
                break;
            case Op::EndClipDefinition:
                im.EndClipDefinition();
                break;
            case Op::PopClip:
                im.PopClip();
                break;
            case Op::ClipRect:
                im.clip = Box{c.rect.x0, c.rect.y0, c.rect.x1, c.rect.y1}.Intersect(
                    Box{0, 0, im.surface->Width(), im.surface->Height()});
                break;
            case Op::Blend:
                im.blend = static_cast<Blend>(c.value);
                break;
            case Op::Quality:
                SetQuality(static_cast<Quality>(c.value));
                break;
            case Op::Tolerance:
                im.tolerance = c.number;
                break;
        }
    }
    im.window = Box::All();
}

}  // namespace lumarel::raster
