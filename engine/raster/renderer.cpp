// The renderer: builds each layer's edges in device space (curves flattened, strokes outlined
// and hinted), feeds them to the cell rasterizer (cells.h), sweeps each row once for all fills
// of the layer (sweep.h) and composites the spans (composite.h) through the clip stack
// (clip_stack.h); and records and replays display lists (display_list.h).
#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/raster/cells.h"
#include "engine/raster/clip_stack.h"
#include "engine/raster/composite.h"
#include "engine/raster/display_list.h"
#include "engine/raster/paint.h"
#include "engine/raster/pixel.h"
#include "engine/raster/simd.h"
#include "engine/raster/raster.h"
#include "engine/raster/stroker.h"
#include "engine/raster/sweep.h"

namespace lumarel::raster {

using detail::Box;
using detail::Cell;
using detail::CellRasterizer;
using detail::ColorPainter;
using detail::CompiledPaint;
using detail::CompoundSweep;
using detail::CovRule;
using detail::kFullArea;
using detail::Mask;
using detail::MaskPainter;
using detail::Pt;

namespace {

constexpr double kCoordLimit = 1e15;

inline double ClampCoord(double v) {
    if (v > kCoordLimit) return kCoordLimit;
    if (v < -kCoordLimit) return -kCoordLimit;
    return v;  // NaN passes through and is dropped by the rasterizer
}

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
        if (surface && (surface->Width() != s.Width() || surface->Height() != s.Height())) clips.Forget();
        surface = &s;
        clip = Box{0, 0, s.Width(), s.Height()};
        clips.Clear();
        const size_t w = static_cast<size_t>(std::max(1, s.Width()));
        buf.resize(w + 8);
        covRun.resize(w + 8);
        covTmp.resize(w + 8);
    }

    Surface* surface = nullptr;
    Box clip;
    // Replay draws only the pixels inside this window (Box::All(): everywhere).
    Box window = Box::All();
    DisplayList* recording = nullptr;
    double tolerance = 0.2;
    Quality quality = Quality::High;
    CovRule rule;
    Blend blend = Blend::Normal;
    DrawObserver* observer = nullptr;
    std::vector<FlatSegment> observed;  // the segments of the layer being filled, for the observer
    CellRasterizer ras;
    CompoundSweep sweep;
    std::vector<CompiledPaint> paints;
    std::vector<detail::Ramp> ramps;
    std::vector<uint32_t> buf;
    std::vector<uint8_t> covRun, covTmp;
    // Stroke scratch.
    detail::ClipStack clips;
    std::vector<std::vector<uint32_t>> edgesByLine;
    std::vector<Pt> path, outline;
    std::vector<size_t> contourEnds;

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
        sweep.Prepare(nf);
        if (layer.evenOdd) {
            sweep.Run<true>(ras, rule, painter);
        } else {
            sweep.Run<false>(ras, rule, painter);
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
            sweep.Prepare(1);
            ColorPainter painter(surface->data(), surface->Width(), paints.data(), buf.data(), covRun.data(),
                                 covTmp.data(), mask, rule, blend);
            sweep.Run<false>(ras, rule, painter);  // stroke outlines overlap themselves at joins: non-zero
        }
    }

    void Draw(const Shape& shape, const Matrix& m, const ColorTransform& cx) {
        if (surface->Width() <= 0 || surface->Height() <= 0 || !m.IsFinite()) return;
        // Segments are always clipped to the clip rectangle, whatever the window and masks, so that
        // every pixel comes out the same however the picture is cut up.
        const Box box = clip;
        Box paint = clip.Intersect(window);
        if (paint.empty()) return;
        bool defining = false;
        if (Mask* target = clips.Defining(defining); defining) {
            if (!target) return;  // inside a placeholder's definition: dropped
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
                MaskPainter painter(*target, surface->Width(), rule.half);
                FillLayer(layer, m, box, paint, painter);
            }
            return;
        }
        Mask* mask = clips.Innermost();
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

    // Records a call that carries no more than a small value.
    void Keep(DisplayList::Call::Op op, uint8_t value = 0) {
        DisplayList::Call& c = recording->Push(op);
        c.value = value;
        recording->Seal(c);
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
    impl_->clips.Begin(impl_->surface->Width(), impl_->surface->Height());
}
void Renderer::EndClipDefinition() {
    if (impl_->recording) return impl_->Keep(DisplayList::Call::Op::EndClipDefinition);
    impl_->clips.EndDefinition(impl_->clip, impl_->surface->Width());
}
void Renderer::PopClip() {
    if (impl_->recording) return impl_->Keep(DisplayList::Call::Op::PopClip);
    impl_->clips.Pop();
}
int Renderer::ClipDepth() const {
    if (impl_->recording) return static_cast<int>(impl_->recording->masks_.size());
    return static_cast<int>(impl_->clips.Depth());
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
    im.clips.Clear();
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
                im.clips.Begin(im.surface->Width(), im.surface->Height());
                break;
            case Op::EndClipDefinition:
                im.clips.EndDefinition(im.clip, im.surface->Width());
                break;
            case Op::PopClip:
                im.clips.Pop();
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
