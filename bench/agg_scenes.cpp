// AGG twins of the benchmark scenes (see agg_scenes.h). Our surface holds premultiplied
// 0xAARRGGBB words, which in memory are B, G, R, A bytes: AGG's pixfmt_bgra32_pre.
#include "bench/agg_scenes.h"

#include <agg_basics.h>
#include <agg_color_rgba.h>
#include <agg_conv_curve.h>
#include <agg_conv_stroke.h>
#include <agg_gradient_lut.h>
#include <agg_image_accessors.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_compound_aa.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_p.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_gradient.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>
#include <agg_trans_affine.h>

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

namespace lumarel::bench {

namespace {

using PixFmt = agg::pixfmt_bgra32_pre;
using RenBase = agg::renderer_base<PixFmt>;
using Color = agg::rgba8;
using Interp = agg::span_interpolator_linear<agg::trans_affine>;

// The curve flattening tolerance of ours (0.2 px) in AGG's terms: its subdivision stops at
// 0.5 / approximation_scale pixels.
constexpr double kApproximationScale = 0.5 / 0.2;

agg::trans_affine AffineOf(const raster::Matrix& m) { return agg::trans_affine(m.a, m.b, m.c, m.d, m.tx, m.ty); }

Color Premultiplied(Rgba c) {
    Color k(c.r, c.g, c.b, c.a);
    k.premultiply();
    return k;
}

// A span generator behind a virtual call, so one style table can hold every kind of paint.
class SpanSource {
public:
    virtual ~SpanSource() = default;
    virtual void Generate(Color* span, int x, int y, unsigned len) = 0;
};

// What render_scanlines_aa expects of a span generator.
struct SpanRef {
    SpanSource* source;
    void prepare() {}
    void generate(Color* span, int x, int y, unsigned len) { source->Generate(span, x, y, len); }
};

// 256 premultiplied colours from a gradient's stops (colour-transformed, straight colour
// interpolated by AGG's gradient_lut).
struct GradientColors {
    Color c[256];
    unsigned size() const { return 256; }
    const Color& operator[](unsigned i) const { return c[i]; }

    GradientColors(const raster::Gradient& g, const raster::ColorTransform& cx) {
        if (g.stops.empty()) {
            std::fill(std::begin(c), std::end(c), Color(0, 0, 0, 0));
            return;
        }
        if (g.stops.size() == 1) {
            std::fill(std::begin(c), std::end(c), Premultiplied(cx.Apply(g.stops[0].color)));
            return;
        }
        agg::gradient_lut<agg::color_interpolator<Color>, 256> lut;
        lut.remove_all();
        for (const raster::GradientStop& s : g.stops) {
            const Rgba k = cx.Apply(s.color);
            lut.add_color(s.ratio / 255.0, Color(k.r, k.g, k.b, k.a));
        }
        lut.build_lut();
        for (unsigned i = 0; i < 256; ++i) {
            c[i] = lut[i];
            c[i].premultiply();
        }
    }
};

// A base gradient function with one of AGG's spread adaptors over it (they keep a pointer to
// the base, so both live here and the pair is never copied).
template <class Base, template <class> class Adaptor>
struct SpreadOver {
    Base base;
    Adaptor<Base> adaptor;
    explicit SpreadOver(const Base& b) : base(b), adaptor(base) {}
    SpreadOver(const SpreadOver&) = delete;
    int calculate(int x, int y, int d) const { return adaptor.calculate(x, y, d); }
};

template <class Func>
class GradientSpan : public SpanSource {
public:
    template <class Base>
    GradientSpan(const agg::trans_affine& deviceToGradient, const GradientColors& colors, double d2, const Base& base)
        : matrix_(deviceToGradient),
          interp_(matrix_),
          colors_(colors),
          func_(base),
          gen_(interp_, func_, colors_, 0, d2) {}
    void Generate(Color* span, int x, int y, unsigned len) override { gen_.generate(span, x, y, len); }

private:
    agg::trans_affine matrix_;
    Interp interp_;
    GradientColors colors_;
    Func func_;
    agg::span_gradient<Color, Interp, Func, GradientColors> gen_;
};

template <class Base>
std::unique_ptr<SpanSource> SpreadGradient(raster::Spread spread, const agg::trans_affine& m,
                                           const GradientColors& colors, double d2, const Base& base) {
    switch (spread) {
        case raster::Spread::Reflect:
            return std::make_unique<GradientSpan<SpreadOver<Base, agg::gradient_reflect_adaptor>>>(m, colors, d2, base);
        case raster::Spread::Repeat:
            return std::make_unique<GradientSpan<SpreadOver<Base, agg::gradient_repeat_adaptor>>>(m, colors, d2, base);
        case raster::Spread::Pad:
            break;
    }
    return std::make_unique<GradientSpan<Base>>(m, colors, d2, base);
}

// A gradient as SWF defines it: the square -16384..16384 mapped by the gradient matrix, then by
// the shape's. AGG's gradient functions work in 1/16 units in int, where x * x overflows beyond
// about 2,900, so the square is scaled down to -512..512 first. Linear runs from x = -512 to
// 512, shifted to 0..1024 since AGG's spread adaptors assume a range from 0; radial and focal
// have radius 512.
std::unique_ptr<SpanSource> GradientSource(const raster::Gradient& g, const raster::Matrix& toDevice,
                                           const raster::ColorTransform& cx) {
    constexpr double kR = 512;
    agg::trans_affine m = AffineOf(toDevice.Multiply(g.matrix));
    m.invert();
    m *= agg::trans_affine_scaling(kR / 16384);
    const GradientColors colors(g, cx);
    switch (g.kind) {
        case raster::Gradient::Kind::Linear:
            m *= agg::trans_affine_translation(kR, 0);
            return SpreadGradient(g.spread, m, colors, 2 * kR, agg::gradient_x());
        case raster::Gradient::Kind::Radial:
            return SpreadGradient(g.spread, m, colors, kR, agg::gradient_radial());
        case raster::Gradient::Kind::Focal:
            return SpreadGradient(g.spread, m, colors, kR,
                                  agg::gradient_radial_focus(kR, std::clamp(g.focal, -0.98, 0.98) * kR, 0));
    }
    return nullptr;
}

// Bitmap fills: nearest or bilinear, repeated (image_accessor_wrap) or with the edge pixels
// extended (image_accessor_clone).
template <class Accessor, bool kSmooth>
class ImageSpan : public SpanSource {
public:
    ImageSpan(const raster::Bitmap& b, const agg::trans_affine& deviceToImage)
        : rbuf_(reinterpret_cast<agg::int8u*>(const_cast<uint32_t*>(b.pixels.data())), unsigned(b.width),
                unsigned(b.height), b.width * 4),
          pixf_(rbuf_),
          accessor_(pixf_),
          matrix_(deviceToImage),
          interp_(matrix_),
          gen_(accessor_, interp_) {}
    void Generate(Color* span, int x, int y, unsigned len) override { gen_.generate(span, x, y, len); }

private:
    using Filter = std::conditional_t<kSmooth, agg::span_image_filter_rgba_bilinear<Accessor, Interp>,
                                      agg::span_image_filter_rgba_nn<Accessor, Interp>>;
    agg::rendering_buffer rbuf_;
    PixFmt pixf_;
    Accessor accessor_;
    agg::trans_affine matrix_;
    Interp interp_;
    Filter gen_;
};

using Repeat = agg::image_accessor_wrap<PixFmt, agg::wrap_mode_repeat, agg::wrap_mode_repeat>;
using Clamp = agg::image_accessor_clone<PixFmt>;

// The bitmap's colour transform is not applied: no scene or sample has one on a bitmap.
std::unique_ptr<SpanSource> BitmapSource(const raster::Paint& p, const raster::Matrix& toDevice) {
    if (!p.bitmap || p.bitmap->width <= 0 || p.bitmap->height <= 0) return nullptr;
    agg::trans_affine m = AffineOf(toDevice.Multiply(p.bitmapMatrix));
    m.invert();
    const raster::Bitmap& b = *p.bitmap;
    if (p.repeat)
        return p.smooth ? std::unique_ptr<SpanSource>(std::make_unique<ImageSpan<Repeat, true>>(b, m))
                        : std::make_unique<ImageSpan<Repeat, false>>(b, m);
    return p.smooth ? std::unique_ptr<SpanSource>(std::make_unique<ImageSpan<Clamp, true>>(b, m))
                    : std::make_unique<ImageSpan<Clamp, false>>(b, m);
}

// One fill style: a solid colour or a span generator.
struct Style {
    bool solid = true;
    Color color{0, 0, 0, 0};
    std::unique_ptr<SpanSource> span;
};

Style StyleOf(const raster::Paint& p, const raster::Matrix& toDevice, const raster::ColorTransform& cx) {
    Style s;
    switch (p.kind) {
        case raster::Paint::Kind::Solid:
            s.color = Premultiplied(cx.Apply(p.color));
            break;
        case raster::Paint::Kind::Gradient:
            s.span = GradientSource(p.gradient, toDevice, cx);
            break;
        case raster::Paint::Kind::Bitmap:
            s.span = BitmapSource(p, toDevice);
            break;
        case raster::Paint::Kind::None:
            break;
    }
    s.solid = !s.span;
    return s;
}

// The style handler render_scanlines_compound_layered asks for colours and spans.
class StyleHandler {
public:
    explicit StyleHandler(const std::vector<Style>& styles) : styles_(styles) {}
    bool is_solid(unsigned s) const { return styles_[s].solid; }
    const Color& color(unsigned s) const { return styles_[s].color; }
    void generate_span(Color* span, int x, int y, unsigned len, unsigned s) {
        styles_[s].span->Generate(span, x, y, len);
    }

private:
    const std::vector<Style>& styles_;
};

// AGG's pipeline over one of our surfaces: the pixel format, the renderer, the rasterizers
// and scanlines, kept from frame to frame.
struct Canvas {
    agg::rendering_buffer rbuf;
    PixFmt pixf{rbuf};
    RenBase ren{pixf};
    agg::rasterizer_scanline_aa<> ras;
    agg::rasterizer_compound_aa<agg::rasterizer_sl_clip_dbl> compound;
    agg::scanline_u8 sl;
    agg::scanline_p8 slp;
    agg::span_allocator<Color> alloc;

    void Attach(raster::Surface& s) {
        if (rbuf.buf() != reinterpret_cast<agg::int8u*>(s.data())) {
            rbuf.attach(reinterpret_cast<agg::int8u*>(s.data()), unsigned(s.Width()), unsigned(s.Height()),
                        s.Width() * 4);
            pixf.attach(rbuf);
            ren.attach(pixf);
        }
        ren.reset_clipping(true);
        ras.clip_box(0, 0, s.Width(), s.Height());
        compound.clip_box(0, 0, s.Width(), s.Height());
    }

    // Fills what the scanline rasterizer holds with one style.
    void Render(const Style& style) {
        if (style.solid) {
            agg::render_scanlines_aa_solid(ras, slp, ren, style.color);
        } else {
            SpanRef ref{style.span.get()};
            agg::render_scanlines_aa(ras, sl, ren, alloc, ref);
        }
    }
};

void AppendQuads(agg::path_storage& p, const QuadPath& q) {
    p.move_to(q.x0, q.y0);
    for (const QuadPath::Q& c : q.quads) p.curve3(c.cx, c.cy, c.x, c.y);
}

void AppendScreenRect(agg::rasterizer_scanline_aa<>& ras) {
    ras.move_to_d(0, 0);
    ras.line_to_d(kW, 0);
    ras.line_to_d(kW, kH);
    ras.line_to_d(0, kH);
    ras.close_polygon();
}

class LinearGradientScene : public AggScene {
public:
    LinearGradientScene() : style_(StyleOf(LinearGradientPaint(), TwipsToPx(), {})) {}
    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        c_.ren.clear(Color(255, 255, 255, 255));
        c_.ras.reset();
        AppendScreenRect(c_.ras);
        c_.Render(style_);
    }

private:
    Canvas c_;
    Style style_;
};

class BitmapScene : public AggScene {
public:
    BitmapScene(const BitmapCase& bc, std::shared_ptr<const raster::Bitmap> photo) : photo_(std::move(photo)) {
        raster::Paint p;
        p.kind = raster::Paint::Kind::Bitmap;
        p.bitmap = photo_;
        p.smooth = bc.smooth;
        p.repeat = bc.repeat;
        p.bitmapMatrix = bc.ToDevice();  // bitmap pixels straight to device pixels
        style_ = StyleOf(p, raster::Matrix{}, {});
    }
    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        c_.ras.reset();
        AppendScreenRect(c_.ras);
        c_.Render(style_);
    }

private:
    std::shared_ptr<const raster::Bitmap> photo_;
    Canvas c_;
    Style style_;
};

class CompoundGridScene : public AggScene {
public:
    CompoundGridScene() {
        const std::vector<GridQuad> grid = MakeGrid();
        for (const GridQuad& q : grid) {
            Style st;
            st.color = Premultiplied(q.color);
            styles_.push_back(std::move(st));
        }
        edges_ = MakeGridEdges(grid);
    }
    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        c_.ren.clear(Color(255, 255, 255, 255));
        auto& ras = c_.compound;
        ras.reset();
        for (const GridEdge& e : edges_) {
            ras.styles(int(e.left) - 1, int(e.right) - 1);  // AGG's styles count from 0, -1 is none
            ras.edge_d(e.x0, e.y0, e.x1, e.y1);
        }
        StyleHandler sh(styles_);
        agg::render_scanlines_compound_layered(ras, c_.sl, c_.ren, c_.alloc, sh);
    }

private:
    Canvas c_;
    std::vector<Style> styles_;
    std::vector<GridEdge> edges_;
};

// Paths with quadratic curves, each filled with one solid colour by the non-zero rule.
class SolidPathsScene : public AggScene {
public:
    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        c_.ren.clear(Color(255, 255, 255, 255));
        c_.ras.filling_rule(agg::fill_non_zero);
        for (size_t i = 0; i < paths_.size(); ++i) {
            agg::conv_curve<agg::path_storage> curve(paths_[i]);
            curve.approximation_scale(kApproximationScale);
            c_.ras.reset();
            c_.ras.add_path(curve);
            agg::render_scanlines_aa_solid(c_.ras, c_.slp, c_.ren, colors_[i]);
        }
    }

protected:
    Canvas c_;
    std::vector<agg::path_storage> paths_;
    std::vector<Color> colors_;
};

class ShapesScene : public SolidPathsScene {
public:
    ShapesScene() {
        for (const Blob& b : MakeBlobs()) {
            agg::path_storage p;
            AppendQuads(p, b.path);
            p.close_polygon();
            paths_.push_back(std::move(p));
            colors_.push_back(Premultiplied(b.color));
        }
    }
};

class TextScene : public SolidPathsScene {
public:
    TextScene() {
        for (const TextBlock& b : MakeTextFrame().blocks) {
            agg::path_storage p;
            for (size_t c = 0; c < b.contourStarts.size(); ++c) {
                const size_t end = c + 1 < b.contourStarts.size() ? b.contourStarts[c + 1] : b.edges.size();
                const raster::Edge& first = b.edges[b.contourStarts[c]];
                p.move_to(first.x0 / 20.0, first.y0 / 20.0);
                for (size_t i = b.contourStarts[c]; i < end; ++i) {
                    const raster::Edge& e = b.edges[i];
                    if (e.kind == raster::Edge::Kind::Quad)
                        p.curve3(e.cx / 20.0, e.cy / 20.0, e.x1 / 20.0, e.y1 / 20.0);
                    else
                        p.line_to(e.x1 / 20.0, e.y1 / 20.0);
                }
                p.close_polygon();
            }
            paths_.push_back(std::move(p));
            colors_.push_back(Premultiplied(b.color));
        }
    }
};

class StrokesScene : public AggScene {
public:
    StrokesScene() : curves_(MakeCurves()) {
        for (const Curve& c : curves_) {
            agg::path_storage p;
            AppendQuads(p, c.path);
            paths_.push_back(std::move(p));
        }
    }
    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        c_.ren.clear(Color(255, 255, 255, 255));
        c_.ras.filling_rule(agg::fill_non_zero);
        for (size_t i = 0; i < paths_.size(); ++i) {
            agg::conv_curve<agg::path_storage> curve(paths_[i]);
            curve.approximation_scale(kApproximationScale);
            agg::conv_stroke<agg::conv_curve<agg::path_storage>> stroke(curve);
            stroke.width(curves_[i].width);
            stroke.line_cap(agg::round_cap);
            stroke.line_join(agg::round_join);
            stroke.approximation_scale(kApproximationScale);
            c_.ras.reset();
            c_.ras.add_path(stroke);
            agg::render_scanlines_aa_solid(c_.ras, c_.slp, c_.ren, Premultiplied(curves_[i].color));
        }
    }

private:
    Canvas c_;
    std::vector<Curve> curves_;
    std::vector<agg::path_storage> paths_;
};

agg::line_cap_e CapOf(raster::Cap c) {
    switch (c) {
        case raster::Cap::None:
            return agg::butt_cap;
        case raster::Cap::Square:
            return agg::square_cap;
        case raster::Cap::Round:
            break;
    }
    return agg::round_cap;
}

agg::line_join_e JoinOf(raster::Join j) {
    switch (j) {
        case raster::Join::Bevel:
            return agg::bevel_join;
        case raster::Join::Miter:
            return agg::miter_join;
        case raster::Join::Round:
            break;
    }
    return agg::round_join;
}

// A recorded frame. A fill whose segments use one style goes through the scanline rasterizer
// (each segment turned so the style is on its right); one with more goes through the compound
// rasterizer. Paints are prepared once, as the frame's paths are.
class ReplayScene : public AggScene {
public:
    explicit ReplayScene(const RecordedFrame& f) : frame_(f) {
        for (const auto& op : f.ops) {
            ops_.push_back(std::make_unique<Op>());
            Op& o = *ops_.back();
            if (const RecordedFill* fill = std::get_if<RecordedFill>(&op)) {
                o.fill = fill;
                for (const raster::Paint& p : fill->fills) o.styles.push_back(StyleOf(p, fill->toDevice, fill->cx));
                const std::vector<uint16_t> used = UsedStyles(*fill);
                o.single = used.size() == 1 ? int(used[0]) : 0;
            } else {
                const RecordedStroke& st = std::get<RecordedStroke>(op);
                o.stroke = &st;
                o.styles.push_back(StyleOf(st.stroke.paint, st.toDevice, st.cx));
                if (!st.line.empty()) {
                    o.path.move_to(st.line[0].x, st.line[0].y);
                    for (size_t i = 1; i < st.line.size(); ++i) o.path.line_to(st.line[i].x, st.line[i].y);
                    if (st.closed) o.path.close_polygon();
                }
            }
        }
    }

    void Draw(raster::Surface& s) override {
        c_.Attach(s);
        const Rgba bg = frame_.background;
        c_.ren.clear(Premultiplied(bg));
        c_.ren.clip_box(frame_.clipX0, frame_.clipY0, frame_.clipX1 - 1, frame_.clipY1 - 1);
        c_.ras.clip_box(frame_.clipX0, frame_.clipY0, frame_.clipX1, frame_.clipY1);
        c_.compound.clip_box(frame_.clipX0, frame_.clipY0, frame_.clipX1, frame_.clipY1);
        for (const std::unique_ptr<Op>& o : ops_) {
            if (o->fill)
                DrawFill(*o);
            else
                DrawStroke(*o);
        }
    }

private:
    struct Op {
        const RecordedFill* fill = nullptr;
        const RecordedStroke* stroke = nullptr;
        std::vector<Style> styles;  // the layer's fills, or the stroke's paint
        int single = 0;             // the only style a fill uses (1-based), or 0
        agg::path_storage path;     // a stroke's centre line
    };

    void DrawFill(const Op& o) {
        const agg::filling_rule_e rule = o.fill->evenOdd ? agg::fill_even_odd : agg::fill_non_zero;
        if (o.single) {
            const uint16_t s = static_cast<uint16_t>(o.single);
            c_.ras.reset();
            c_.ras.filling_rule(rule);
            for (const raster::FlatSegment& e : o.fill->segments) {
                if (e.right == s) c_.ras.edge_d(e.x0, e.y0, e.x1, e.y1);
                if (e.left == s) c_.ras.edge_d(e.x1, e.y1, e.x0, e.y0);
            }
            c_.Render(o.styles[s - 1]);
            return;
        }
        auto& ras = c_.compound;
        ras.reset();
        ras.filling_rule(rule);
        for (const raster::FlatSegment& e : o.fill->segments) {
            ras.styles(int(e.left) - 1, int(e.right) - 1);
            ras.edge_d(e.x0, e.y0, e.x1, e.y1);
        }
        StyleHandler sh(o.styles);
        agg::render_scanlines_compound_layered(ras, c_.sl, c_.ren, c_.alloc, sh);
    }

    void DrawStroke(Op& o) {
        const RecordedStroke& st = *o.stroke;
        if (st.line.size() < 2) return;
        agg::conv_stroke<agg::path_storage> stroke(o.path);
        stroke.width(st.width);
        stroke.line_cap(CapOf(st.stroke.startCap));
        stroke.line_join(JoinOf(st.stroke.join));
        stroke.miter_limit(std::max(1.0, st.stroke.miterLimit));
        stroke.approximation_scale(kApproximationScale);
        c_.ras.reset();
        c_.ras.filling_rule(agg::fill_non_zero);
        c_.ras.add_path(stroke);
        c_.Render(o.styles[0]);
    }

    const RecordedFrame& frame_;
    Canvas c_;
    std::vector<std::unique_ptr<Op>> ops_;  // each keeps its path and spans where they were made
};

}  // namespace

std::unique_ptr<AggScene> AggLinearGradientFrame() { return std::make_unique<LinearGradientScene>(); }
std::unique_ptr<AggScene> AggBitmap(const BitmapCase& bc, std::shared_ptr<const raster::Bitmap> photo) {
    return std::make_unique<BitmapScene>(bc, std::move(photo));
}
std::unique_ptr<AggScene> AggCompoundGrid() { return std::make_unique<CompoundGridScene>(); }
std::unique_ptr<AggScene> AggShapes1000() { return std::make_unique<ShapesScene>(); }
std::unique_ptr<AggScene> AggStrokes1000() { return std::make_unique<StrokesScene>(); }
std::unique_ptr<AggScene> AggTextFrame() { return std::make_unique<TextScene>(); }
std::unique_ptr<AggScene> AggFrameReplay(const RecordedFrame& frame) { return std::make_unique<ReplayScene>(frame); }

}  // namespace lumarel::bench
