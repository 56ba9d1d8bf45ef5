// Compositing: what the sweep's coverage does to pixels. ColorPainter blends a layer's paints
// into the surface (runs of one style at a time, through a clip mask and a blend mode);
// MaskPainter adds coverage to a clip mask being defined. Private to the rasterizer.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/raster/coverage.h"
#include "engine/raster/paint.h"
#include "engine/raster/pixel.h"
#include "engine/raster/simd.h"

namespace lumarel::raster::detail {

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

}  // namespace lumarel::raster::detail
