// Whole-frame raster benchmarks at 1920x1080: our renderer, cairo and AGG draw the same paths in
// the same run. Run with --benchmark_repetitions=N to get medians. Before the benchmarks, every
// cairo and AGG picture is drawn once and compared with ours (see CheckPictures).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "bench/agg_scenes.h"
#include "bench/frame_record.h"
#include "bench/scenes.h"
#include "engine/raster/filters.h"
#include "engine/raster/raster.h"

namespace {

using namespace lumarel::raster;
using namespace lumarel::bench;

void AppendQuads(const QuadPath& p, std::vector<Edge>& edges, uint16_t f0, uint16_t f1, uint16_t line) {
    double x = p.x0, y = p.y0;
    for (const QuadPath::Q& q : p.quads) {
        Edge e;
        e.kind = Edge::Kind::Quad;
        e.x0 = static_cast<float>(x * 20);
        e.y0 = static_cast<float>(y * 20);
        e.cx = static_cast<float>(q.cx * 20);
        e.cy = static_cast<float>(q.cy * 20);
        e.x1 = static_cast<float>(q.x * 20);
        e.y1 = static_cast<float>(q.y * 20);
        e.fill0 = f0;
        e.fill1 = f1;
        e.line = line;
        edges.push_back(e);
        x = q.x;
        y = q.y;
    }
}

// Quadratic from (x0,y0) to cubic, exactly.
void CairoQuadTo(cairo_t* cr, double x0, double y0, double cx, double cy, double x1, double y1) {
    cairo_curve_to(cr, x0 + 2.0 / 3.0 * (cx - x0), y0 + 2.0 / 3.0 * (cy - y0), x1 + 2.0 / 3.0 * (cx - x1),
                   y1 + 2.0 / 3.0 * (cy - y1), x1, y1);
}

void CairoQuads(cairo_t* cr, const QuadPath& p) {
    double x = p.x0, y = p.y0;
    cairo_move_to(cr, x, y);
    for (const QuadPath::Q& q : p.quads) {
        CairoQuadTo(cr, x, y, q.cx, q.cy, q.x, q.y);
        x = q.x;
        y = q.y;
    }
}

void CairoColor(cairo_t* cr, Rgba c) { cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0); }

struct CairoFrame {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
    cairo_t* cr = cairo_create(s);
    ~CairoFrame() {
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    void Clear() {
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    void Finish() { cairo_surface_flush(s); }
};

Shape FullScreenRect(Paint p) {
    Shape s;
    s.layers.emplace_back();
    s.layers[0].fills.push_back(std::move(p));
    auto add = [&](double x0, double y0, double x1, double y1) {
        Edge e;
        e.x0 = static_cast<float>(x0 * 20);
        e.y0 = static_cast<float>(y0 * 20);
        e.x1 = static_cast<float>(x1 * 20);
        e.y1 = static_cast<float>(y1 * 20);
        e.fill1 = 1;
        s.layers[0].edges.push_back(e);
    };
    add(0, 0, kW, 0);
    add(kW, 0, kW, kH);
    add(kW, kH, 0, kH);
    add(0, kH, 0, 0);
    return s;
}

void SetPixels(benchmark::State& st, int64_t perFrame) { st.SetItemsProcessed(st.iterations() * perFrame); }

// Times an AGG scene drawn into a surface of ours; `items`: what one frame counts (0: nothing).
void AggRun(benchmark::State& st, AggScene& scene, int64_t items) {
    Surface s(kW, kH);
    for (auto _ : st) {
        scene.Draw(s);
        benchmark::DoNotOptimize(s.data());
    }
    if (items) st.SetItemsProcessed(st.iterations() * items);
}

// --- span fill rates -------------------------------------------------------------------------

void BmOursSolidFullScreen(benchmark::State& st) {
    Surface s(kW, kH);
    Renderer r(s);
    const Shape sh = FullScreenRect(Paint{Paint::Kind::Solid, Rgba{10, 20, 30, 255}, {}, nullptr, {}, true, true});
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursSolidFullScreen)->Unit(benchmark::kMillisecond);

// A 4 x 4 blur of the whole frame; the argument is the pass count (quality).
void BmOursBlurFullScreen(benchmark::State& st) {
    Surface s(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) s.Row(y)[x] = ((x ^ y) & 16) ? 0xFF336699u : 0x80402000u;
    FilterScratch scratch;
    for (auto _ : st) {
        Blur(s, IntRect{0, 0, kW, kH}, 4, 4, static_cast<int>(st.range(0)), scratch);
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursBlurFullScreen)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// The effects' one-byte alpha plane, a full frame blurred 10 x 10 three times; argument 1 the
// vector path, 0 the portable one.
void BmOursBlurAlphaPlane(benchmark::State& st) {
    std::vector<uint8_t> plane(size_t(kW) * kH);
    for (size_t i = 0; i < plane.size(); ++i) plane[i] = ((i ^ (i / kW)) & 16) ? 255 : 0;
    FilterScratch scratch;
    for (auto _ : st) {
        detail::BoxBlurPlane(plane.data(), kW, kW, kH, 1, 5, 5, 3, scratch, st.range(0) != 0);
        benchmark::DoNotOptimize(plane.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursBlurAlphaPlane)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BmOursTranslucentFullScreen(benchmark::State& st) {
    Surface s(kW, kH);
    Renderer r(s);
    const Shape sh = FullScreenRect(Paint{Paint::Kind::Solid, Rgba{10, 20, 30, 128}, {}, nullptr, {}, true, true});
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursTranslucentFullScreen)->Unit(benchmark::kMillisecond);

// (a) full-screen linear gradient
void BmOursLinearGradientFrame(benchmark::State& st) {
    Surface s(kW, kH);
    Renderer r(s);
    const Shape sh = FullScreenRect(LinearGradientPaint());
    for (auto _ : st) {
        s.Clear(Rgba{255, 255, 255, 255});
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursLinearGradientFrame)->Unit(benchmark::kMillisecond);

void BmOursLinearGradientSpan(benchmark::State& st) {  // without the clear: gradient fill rate
    Surface s(kW, kH);
    Renderer r(s);
    const Shape sh = FullScreenRect(LinearGradientPaint());
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursLinearGradientSpan)->Unit(benchmark::kMillisecond);

// The same gradient as LinearGradientPaint, as a cairo pattern in device pixels.
cairo_pattern_t* CairoLinearGradientPattern() {
    const double a = 0.1, half = kW / 2.0;
    cairo_pattern_t* pat = cairo_pattern_create_linear(kW / 2.0 - half * std::cos(a), kH / 2.0 - half * std::sin(a),
                                                       kW / 2.0 + half * std::cos(a), kH / 2.0 + half * std::sin(a));
    cairo_pattern_add_color_stop_rgb(pat, 0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(pat, 128 / 255.0, 0, 1, 0);
    cairo_pattern_add_color_stop_rgb(pat, 1, 0, 0, 1);
    return pat;
}

void CairoGradientDraw(CairoFrame& f, cairo_pattern_t* pat) {
    f.Clear();
    cairo_rectangle(f.cr, 0, 0, kW, kH);
    cairo_set_source(f.cr, pat);
    cairo_fill(f.cr);
    f.Finish();
}

void BmCairoLinearGradientFrame(benchmark::State& st) {
    CairoFrame f;
    cairo_pattern_t* pat = CairoLinearGradientPattern();
    for (auto _ : st) CairoGradientDraw(f, pat);
    cairo_pattern_destroy(pat);
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmCairoLinearGradientFrame)->Unit(benchmark::kMillisecond);

void BmAggLinearGradientFrame(benchmark::State& st) { AggRun(st, *AggLinearGradientFrame(), int64_t(kW) * kH); }
BENCHMARK(BmAggLinearGradientFrame)->Unit(benchmark::kMillisecond);

void BmOursRadialGradientSpan(benchmark::State& st) {
    Surface s(kW, kH);
    Renderer r(s);
    Paint p = LinearGradientPaint();
    p.gradient.kind = Gradient::Kind::Radial;
    p.gradient.spread = Spread::Reflect;
    const Shape sh = FullScreenRect(p);
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursRadialGradientSpan)->Unit(benchmark::kMillisecond);

void BmOursFocalGradientSpan(benchmark::State& st) {
    Surface s(kW, kH);
    Renderer r(s);
    Paint p = LinearGradientPaint();
    p.gradient.kind = Gradient::Kind::Focal;
    p.gradient.focal = 0.6;
    const Shape sh = FullScreenRect(p);
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmOursFocalGradientSpan)->Unit(benchmark::kMillisecond);

Shape OursBitmapShape(const BitmapCase& bc, std::shared_ptr<const Bitmap> photo) {
    Paint p;
    p.kind = Paint::Kind::Bitmap;
    p.bitmap = std::move(photo);
    p.smooth = bc.smooth;
    p.repeat = bc.repeat;
    Matrix m = bc.ToDevice();  // bitmap pixels -> device pixels, then -> twips
    m.a *= 20, m.b *= 20, m.c *= 20, m.d *= 20, m.tx *= 20, m.ty *= 20;
    p.bitmapMatrix = m;
    return FullScreenRect(p);
}

// The bitmap's pixels as a cairo image (same premultiplied 0xAARRGGBB layout, no copy).
cairo_surface_t* CairoImageOf(const Bitmap& b) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(b.pixels.data())),
                                               CAIRO_FORMAT_ARGB32, b.width, b.height, b.width * 4);
}

cairo_pattern_t* CairoBitmapPattern(const BitmapCase& bc, cairo_surface_t* img) {
    cairo_pattern_t* pat = cairo_pattern_create_for_surface(img);
    const Matrix m = bc.ToDevice();
    cairo_matrix_t cm;
    cairo_matrix_init(&cm, m.a, m.b, m.c, m.d, m.tx, m.ty);
    cairo_matrix_invert(&cm);  // a pattern matrix maps user space to pattern space
    cairo_pattern_set_matrix(pat, &cm);
    cairo_pattern_set_filter(pat, bc.smooth ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(pat, bc.repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    return pat;
}

void CairoBitmapDraw(cairo_t* cr, cairo_pattern_t* pat) {
    cairo_set_source(cr, pat);
    cairo_rectangle(cr, 0, 0, kW, kH);
    cairo_fill(cr);
}

// No clear: the opaque fill covers every pixel.
void OursBitmap(benchmark::State& st, const BitmapCase& bc, const ColorTransform& cx) {
    const Shape sh = OursBitmapShape(bc, MakePhoto());
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        r.DrawShape(sh, TwipsToPx(), cx);
        benchmark::DoNotOptimize(s.data());
    }
    SetPixels(st, int64_t(kW) * kH);
}

void CairoBitmap(benchmark::State& st, const BitmapCase& bc) {
    const std::shared_ptr<Bitmap> b = MakePhoto();
    cairo_surface_t* img = CairoImageOf(*b);
    cairo_pattern_t* pat = CairoBitmapPattern(bc, img);
    CairoFrame f;
    for (auto _ : st) {
        CairoBitmapDraw(f.cr, pat);
        f.Finish();
    }
    cairo_pattern_destroy(pat);
    cairo_surface_destroy(img);
    SetPixels(st, int64_t(kW) * kH);
}

void BmOursBitmapSmoothFullScreen(benchmark::State& st) { OursBitmap(st, kSmoothFullScreen, {}); }
BENCHMARK(BmOursBitmapSmoothFullScreen)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothFullScreen(benchmark::State& st) { CairoBitmap(st, kSmoothFullScreen); }
BENCHMARK(BmCairoBitmapSmoothFullScreen)->Unit(benchmark::kMillisecond);
void BmAggBitmapSmoothFullScreen(benchmark::State& st) {
    AggRun(st, *AggBitmap(kSmoothFullScreen, MakePhoto()), int64_t(kW) * kH);
}
BENCHMARK(BmAggBitmapSmoothFullScreen)->Unit(benchmark::kMillisecond);
void BmOursBitmapSmoothFaded(benchmark::State& st) {
    ColorTransform cx;
    cx.am = 0.5;
    OursBitmap(st, kSmoothFullScreen, cx);
}
BENCHMARK(BmOursBitmapSmoothFaded)->Unit(benchmark::kMillisecond);

void BmOursBitmapNearestRepeat(benchmark::State& st) { OursBitmap(st, kNearestRepeat, {}); }
BENCHMARK(BmOursBitmapNearestRepeat)->Unit(benchmark::kMillisecond);
void BmCairoBitmapNearestRepeat(benchmark::State& st) { CairoBitmap(st, kNearestRepeat); }
BENCHMARK(BmCairoBitmapNearestRepeat)->Unit(benchmark::kMillisecond);
void BmAggBitmapNearestRepeat(benchmark::State& st) {
    AggRun(st, *AggBitmap(kNearestRepeat, MakePhoto()), int64_t(kW) * kH);
}
BENCHMARK(BmAggBitmapNearestRepeat)->Unit(benchmark::kMillisecond);

void BmOursBitmapSmoothRepeat(benchmark::State& st) { OursBitmap(st, kSmoothRepeat, {}); }
BENCHMARK(BmOursBitmapSmoothRepeat)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothRepeat(benchmark::State& st) { CairoBitmap(st, kSmoothRepeat); }
BENCHMARK(BmCairoBitmapSmoothRepeat)->Unit(benchmark::kMillisecond);
void BmAggBitmapSmoothRepeat(benchmark::State& st) {
    AggRun(st, *AggBitmap(kSmoothRepeat, MakePhoto()), int64_t(kW) * kH);
}
BENCHMARK(BmAggBitmapSmoothRepeat)->Unit(benchmark::kMillisecond);

void BmOursBitmapNearestClip(benchmark::State& st) { OursBitmap(st, kNearestClip, {}); }
BENCHMARK(BmOursBitmapNearestClip)->Unit(benchmark::kMillisecond);
void BmCairoBitmapNearestClip(benchmark::State& st) { CairoBitmap(st, kNearestClip); }
BENCHMARK(BmCairoBitmapNearestClip)->Unit(benchmark::kMillisecond);
void BmAggBitmapNearestClip(benchmark::State& st) {
    AggRun(st, *AggBitmap(kNearestClip, MakePhoto()), int64_t(kW) * kH);
}
BENCHMARK(BmAggBitmapNearestClip)->Unit(benchmark::kMillisecond);

void BmOursBitmapSmoothClip(benchmark::State& st) { OursBitmap(st, kSmoothClip, {}); }
BENCHMARK(BmOursBitmapSmoothClip)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothClip(benchmark::State& st) { CairoBitmap(st, kSmoothClip); }
BENCHMARK(BmCairoBitmapSmoothClip)->Unit(benchmark::kMillisecond);
void BmAggBitmapSmoothClip(benchmark::State& st) { AggRun(st, *AggBitmap(kSmoothClip, MakePhoto()), int64_t(kW) * kH); }
BENCHMARK(BmAggBitmapSmoothClip)->Unit(benchmark::kMillisecond);

void BmOursBitmapSmoothRotated(benchmark::State& st) { OursBitmap(st, kSmoothRotated, {}); }
BENCHMARK(BmOursBitmapSmoothRotated)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothRotated(benchmark::State& st) { CairoBitmap(st, kSmoothRotated); }
BENCHMARK(BmCairoBitmapSmoothRotated)->Unit(benchmark::kMillisecond);
void BmAggBitmapSmoothRotated(benchmark::State& st) {
    AggRun(st, *AggBitmap(kSmoothRotated, MakePhoto()), int64_t(kW) * kH);
}
BENCHMARK(BmAggBitmapSmoothRotated)->Unit(benchmark::kMillisecond);

// The compound grid as one shape of ours: every cell a fill, every edge shared by two.
Shape OursGridShape() {
    const std::vector<GridQuad> grid = MakeGrid();
    Shape sh;
    sh.layers.emplace_back();
    Layer& l = sh.layers[0];
    for (const GridQuad& q : grid) l.fills.push_back(Paint{Paint::Kind::Solid, q.color, {}, nullptr, {}, true, true});
    for (const GridEdge& g : MakeGridEdges(grid)) {
        Edge e;
        e.x0 = static_cast<float>(g.x0 * 20);
        e.y0 = static_cast<float>(g.y0 * 20);
        e.x1 = static_cast<float>(g.x1 * 20);
        e.y1 = static_cast<float>(g.y1 * 20);
        e.fill0 = g.left;
        e.fill1 = g.right;
        l.edges.push_back(e);
    }
    return sh;
}

void CairoGridDraw(CairoFrame& f, const std::vector<GridQuad>& grid) {
    f.Clear();
    for (const GridQuad& q : grid) {
        cairo_move_to(f.cr, q.x[0], q.y[0]);
        for (int e = 1; e < 4; ++e) cairo_line_to(f.cr, q.x[e], q.y[e]);
        cairo_close_path(f.cr);
        CairoColor(f.cr, q.color);
        cairo_fill(f.cr);
    }
    f.Finish();
}

// One Shape per blob (fill0 = 1) or per curve (line = 1).
std::vector<Shape> OursBlobShapes() {
    const std::vector<Blob> blobs = MakeBlobs();
    std::vector<Shape> shapes(blobs.size());
    for (size_t i = 0; i < blobs.size(); ++i) {
        shapes[i].layers.emplace_back();
        Layer& l = shapes[i].layers[0];
        l.fills.push_back(Paint{Paint::Kind::Solid, blobs[i].color, {}, nullptr, {}, true, true});
        AppendQuads(blobs[i].path, l.edges, 1, 0, 0);
    }
    return shapes;
}

std::vector<Shape> OursCurveShapes() {
    const std::vector<Curve> curves = MakeCurves();
    std::vector<Shape> shapes(curves.size());
    for (size_t i = 0; i < curves.size(); ++i) {
        shapes[i].layers.emplace_back();
        Layer& l = shapes[i].layers[0];
        Stroke s;
        s.width = curves[i].width * 20;
        s.paint = Paint{Paint::Kind::Solid, curves[i].color, {}, nullptr, {}, true, true};
        l.strokes.push_back(s);
        AppendQuads(curves[i].path, l.edges, 0, 0, 1);
    }
    return shapes;
}

// Cleared to white, then the shapes one by one.
void OursShapesDraw(Surface& s, Renderer& r, const std::vector<Shape>& shapes) {
    s.Clear(Rgba{255, 255, 255, 255});
    for (const Shape& sh : shapes) r.DrawShape(sh, TwipsToPx(), {});
}

void CairoBlobsDraw(CairoFrame& f, const std::vector<Blob>& blobs) {
    f.Clear();
    for (const Blob& b : blobs) {
        CairoQuads(f.cr, b.path);
        cairo_close_path(f.cr);
        CairoColor(f.cr, b.color);
        cairo_fill(f.cr);
    }
    f.Finish();
}

void CairoCurvesDraw(CairoFrame& f, const std::vector<Curve>& curves) {
    f.Clear();
    cairo_set_line_cap(f.cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(f.cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_tolerance(f.cr, 0.2);
    for (const Curve& c : curves) {
        CairoQuads(f.cr, c.path);
        cairo_set_line_width(f.cr, c.width);
        CairoColor(f.cr, c.color);
        cairo_stroke(f.cr);
    }
    f.Finish();
}

void BmOursCompoundGridFrame(benchmark::State& st) {
    const Shape sh = OursGridShape();
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        s.Clear(Rgba{255, 255, 255, 255});
        r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BmOursCompoundGridFrame)->Unit(benchmark::kMillisecond);

void BmCairoCompoundGridFrame(benchmark::State& st) {
    const std::vector<GridQuad> grid = MakeGrid();
    CairoFrame f;
    for (auto _ : st) CairoGridDraw(f, grid);
}
BENCHMARK(BmCairoCompoundGridFrame)->Unit(benchmark::kMillisecond);

void BmAggCompoundGridFrame(benchmark::State& st) { AggRun(st, *AggCompoundGrid(), 0); }
BENCHMARK(BmAggCompoundGridFrame)->Unit(benchmark::kMillisecond);

// (b) 1,000 anti-aliased solid shapes, ~32 px across
void BmOursShapes1000(benchmark::State& st) {
    const std::vector<Shape> shapes = OursBlobShapes();
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        OursShapesDraw(s, r, shapes);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BmOursShapes1000)->Unit(benchmark::kMillisecond);

void BmCairoShapes1000(benchmark::State& st) {
    const std::vector<Blob> blobs = MakeBlobs();
    CairoFrame f;
    for (auto _ : st) CairoBlobsDraw(f, blobs);
}
BENCHMARK(BmCairoShapes1000)->Unit(benchmark::kMillisecond);

void BmAggShapes1000(benchmark::State& st) { AggRun(st, *AggShapes1000(), 0); }
BENCHMARK(BmAggShapes1000)->Unit(benchmark::kMillisecond);

// (c) 1,000 stroked curves
void BmOursStrokes1000(benchmark::State& st) {
    const std::vector<Shape> shapes = OursCurveShapes();
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        OursShapesDraw(s, r, shapes);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BmOursStrokes1000)->Unit(benchmark::kMillisecond);

void BmCairoStrokes1000(benchmark::State& st) {
    const std::vector<Curve> curves = MakeCurves();
    CairoFrame f;
    for (auto _ : st) CairoCurvesDraw(f, curves);
}
BENCHMARK(BmCairoStrokes1000)->Unit(benchmark::kMillisecond);

void BmAggStrokes1000(benchmark::State& st) { AggRun(st, *AggStrokes1000(), 0); }
BENCHMARK(BmAggStrokes1000)->Unit(benchmark::kMillisecond);

std::vector<Shape> OursTextShapes(const TextFrame& tf) {
    std::vector<Shape> shapes;
    for (const TextBlock& b : tf.blocks) {
        Shape sh;
        sh.layers.emplace_back();
        sh.layers[0].fills.push_back(Paint{Paint::Kind::Solid, b.color, {}, nullptr, {}, true, true});
        sh.layers[0].edges = b.edges;
        shapes.push_back(std::move(sh));
    }
    return shapes;
}

void OursTextDraw(Surface& s, Renderer& r, const std::vector<Shape>& shapes) {
    s.Clear(Rgba{255, 255, 255, 255});
    for (const Shape& sh : shapes) r.DrawShape(sh, TwipsToPx(), {});
}

// Each block's outlines as a ready cairo path (device pixels, the same float coordinates).
struct CairoText {
    std::vector<cairo_path_t*> paths;
    std::vector<Rgba> colors;
    explicit CairoText(const TextFrame& tf) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(s);
        for (const TextBlock& b : tf.blocks) {
            cairo_new_path(cr);
            for (size_t c = 0; c < b.contourStarts.size(); ++c) {
                const size_t end = c + 1 < b.contourStarts.size() ? b.contourStarts[c + 1] : b.edges.size();
                const Edge& first = b.edges[b.contourStarts[c]];
                cairo_move_to(cr, first.x0 / 20.0, first.y0 / 20.0);
                for (size_t i = b.contourStarts[c]; i < end; ++i) {
                    const Edge& e = b.edges[i];
                    if (e.kind == Edge::Kind::Quad)
                        CairoQuadTo(cr, e.x0 / 20.0, e.y0 / 20.0, e.cx / 20.0, e.cy / 20.0, e.x1 / 20.0, e.y1 / 20.0);
                    else
                        cairo_line_to(cr, e.x1 / 20.0, e.y1 / 20.0);
                }
                cairo_close_path(cr);
            }
            paths.push_back(cairo_copy_path(cr));
            colors.push_back(b.color);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    ~CairoText() {
        for (cairo_path_t* p : paths) cairo_path_destroy(p);
    }
    CairoText(const CairoText&) = delete;
    CairoText& operator=(const CairoText&) = delete;

    void Draw(CairoFrame& f) const {
        f.Clear();
        cairo_set_fill_rule(f.cr, CAIRO_FILL_RULE_WINDING);
        cairo_set_tolerance(f.cr, 0.2);  // our default flattening tolerance
        for (size_t i = 0; i < paths.size(); ++i) {
            cairo_new_path(f.cr);
            cairo_append_path(f.cr, paths[i]);
            CairoColor(f.cr, colors[i]);
            cairo_fill(f.cr);
        }
        f.Finish();
    }
};

void BmOursTextFrame(benchmark::State& st) {
    const TextFrame tf = MakeTextFrame();
    const std::vector<Shape> shapes = OursTextShapes(tf);
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        OursTextDraw(s, r, shapes);
        benchmark::DoNotOptimize(s.data());
    }
    st.SetItemsProcessed(st.iterations() * tf.glyphs);
}
BENCHMARK(BmOursTextFrame)->Unit(benchmark::kMillisecond);

void BmCairoTextFrame(benchmark::State& st) {
    const TextFrame tf = MakeTextFrame();
    const CairoText text(tf);
    CairoFrame f;
    for (auto _ : st) text.Draw(f);
    st.SetItemsProcessed(st.iterations() * tf.glyphs);
}
BENCHMARK(BmCairoTextFrame)->Unit(benchmark::kMillisecond);

void BmAggTextFrame(benchmark::State& st) {
    const std::unique_ptr<AggScene> scene = AggTextFrame();
    AggRun(st, *scene, kTextGlyphs);
}
BENCHMARK(BmAggTextFrame)->Unit(benchmark::kMillisecond);

// --- sample movie frames ---------------------------------------------------------------------
// One frame of each samples/*.swf at 1920x1080: ours draws it through the engine
// (Movie::Render); cairo and AGG replay what our renderer was given for that frame (the
// flattened fill segments with their styles, the flattened stroke centre lines, the paints and
// matrices; see frame_record.h).
constexpr int kSampleFrame = 30;  // one second into the 30 fps movies

void CairoStrokeSettings(cairo_t* cr, const RecordedStroke& st) {
    cairo_set_line_width(cr, st.width);
    switch (st.stroke.startCap) {
        case Cap::None:
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            break;
        case Cap::Square:
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
            break;
        case Cap::Round:
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            break;
    }
    switch (st.stroke.join) {
        case Join::Bevel:
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
            break;
        case Join::Miter:
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
            break;
        case Join::Round:
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            break;
    }
    cairo_set_miter_limit(cr, std::max(1.0, st.stroke.miterLimit));
}

// A recorded frame as cairo paths and patterns, made once: each fill style's contours chained
// from its segments, each stroke's centre line.
class CairoReplay {
public:
    explicit CairoReplay(const RecordedFrame& f) : frame_(f) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(s);
        for (const auto& op : f.ops) {
            if (const RecordedFill* fill = std::get_if<RecordedFill>(&op)) {
                for (uint16_t style : UsedStyles(*fill)) {
                    cairo_pattern_t* pat = Pattern(fill->fills[style - 1u], fill->toDevice, fill->cx);
                    if (!pat) continue;
                    cairo_new_path(cr);
                    for (const std::vector<FlatPoint>& c : StyleContours(*fill, style)) {
                        cairo_move_to(cr, c[0].x, c[0].y);
                        for (size_t i = 1; i < c.size(); ++i) cairo_line_to(cr, c[i].x, c[i].y);
                        cairo_close_path(cr);
                    }
                    ops_.push_back(Op{cairo_copy_path(cr), pat, fill->evenOdd, nullptr});
                }
                continue;
            }
            const RecordedStroke& st = std::get<RecordedStroke>(op);
            if (st.line.size() < 2) continue;
            cairo_pattern_t* pat = Pattern(st.stroke.paint, st.toDevice, st.cx);
            if (!pat) continue;
            cairo_new_path(cr);
            cairo_move_to(cr, st.line[0].x, st.line[0].y);
            for (size_t i = 1; i < st.line.size(); ++i) cairo_line_to(cr, st.line[i].x, st.line[i].y);
            if (st.closed) cairo_close_path(cr);
            ops_.push_back(Op{cairo_copy_path(cr), pat, false, &st});
        }
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    ~CairoReplay() {
        for (Op& o : ops_) {
            cairo_path_destroy(o.path);
            cairo_pattern_destroy(o.pattern);
        }
        for (cairo_surface_t* img : images_) cairo_surface_destroy(img);
    }
    CairoReplay(const CairoReplay&) = delete;
    CairoReplay& operator=(const CairoReplay&) = delete;

    void Draw(CairoFrame& f) const {
        cairo_t* cr = f.cr;
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        CairoColor(cr, frame_.background);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_save(cr);
        cairo_rectangle(cr, frame_.clipX0, frame_.clipY0, frame_.clipX1 - frame_.clipX0, frame_.clipY1 - frame_.clipY0);
        cairo_clip(cr);
        cairo_set_tolerance(cr, 0.2);
        for (const Op& o : ops_) {
            cairo_new_path(cr);
            cairo_append_path(cr, o.path);
            cairo_set_source(cr, o.pattern);
            if (o.stroke) {
                CairoStrokeSettings(cr, *o.stroke);
                cairo_stroke(cr);
            } else {
                cairo_set_fill_rule(cr, o.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
                cairo_fill(cr);
            }
        }
        cairo_restore(cr);
        f.Finish();
    }

private:
    struct Op {
        cairo_path_t* path;
        cairo_pattern_t* pattern;
        bool evenOdd;
        const RecordedStroke* stroke;  // null: a fill
    };

    // Gradients in their square under the pattern matrix; bitmaps in their pixels.
    cairo_pattern_t* Pattern(const Paint& p, const Matrix& toDevice, const ColorTransform& cx) {
        auto deviceTo = [](cairo_pattern_t* pat, const Matrix& m) {
            cairo_matrix_t cm;
            cairo_matrix_init(&cm, m.a, m.b, m.c, m.d, m.tx, m.ty);
            if (cairo_matrix_invert(&cm) == CAIRO_STATUS_SUCCESS) cairo_pattern_set_matrix(pat, &cm);
        };
        switch (p.kind) {
            case Paint::Kind::None:
                return nullptr;
            case Paint::Kind::Solid: {
                const Rgba c = cx.Apply(p.color);
                return cairo_pattern_create_rgba(c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
            }
            case Paint::Kind::Gradient: {
                // Pixman takes pattern coordinates as 16.16 fixed point, so the square is scaled
                // down to -512..512 before the gradient matrix maps it.
                constexpr double kR = 512;
                const Gradient& g = p.gradient;
                cairo_pattern_t* pat =
                    g.kind == Gradient::Kind::Linear ? cairo_pattern_create_linear(-kR, 0, kR, 0)
                    : g.kind == Gradient::Kind::Radial
                        ? cairo_pattern_create_radial(0, 0, 0, 0, 0, kR)
                        : cairo_pattern_create_radial(std::clamp(g.focal, -0.98, 0.98) * kR, 0, 0, 0, 0, kR);
                for (const GradientStop& s : g.stops) {
                    const Rgba c = cx.Apply(s.color);
                    cairo_pattern_add_color_stop_rgba(pat, s.ratio / 255.0, c.r / 255.0, c.g / 255.0, c.b / 255.0,
                                                      c.a / 255.0);
                }
                cairo_pattern_set_extend(pat, g.spread == Spread::Reflect  ? CAIRO_EXTEND_REFLECT
                                              : g.spread == Spread::Repeat ? CAIRO_EXTEND_REPEAT
                                                                           : CAIRO_EXTEND_PAD);
                Matrix up;  // -512..512 -> the gradient square
                up.a = up.d = 16384 / kR;
                deviceTo(pat, toDevice.Multiply(g.matrix).Multiply(up));
                return pat;
            }
            case Paint::Kind::Bitmap: {
                if (!p.bitmap) return nullptr;
                cairo_surface_t* img = CairoImageOf(*p.bitmap);
                images_.push_back(img);
                cairo_pattern_t* pat = cairo_pattern_create_for_surface(img);
                cairo_pattern_set_filter(pat, p.smooth ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
                cairo_pattern_set_extend(pat, p.repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
                deviceTo(pat, toDevice.Multiply(p.bitmapMatrix));
                return pat;
            }
        }
        return nullptr;
    }

    const RecordedFrame& frame_;
    std::vector<Op> ops_;
    std::vector<cairo_surface_t*> images_;
};

// The sample frames, loaded once in main and kept for the whole run.
std::vector<std::unique_ptr<SampleFrame>>& Samples() {
    static std::vector<std::unique_ptr<SampleFrame>> samples;
    return samples;
}

void LoadSamples() {
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(LUMAREL_SAMPLES_DIR, ec))
        if (entry.path().extension() == ".swf") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        auto sample = std::make_unique<SampleFrame>();
        std::string error;
        if (!LoadSampleFrame(path, kSampleFrame, kW, kH, *sample, error)) {
            std::fprintf(stderr, "sample skipped: %s\n", error.c_str());
            continue;
        }
        Samples().push_back(std::move(sample));
    }
}

void RegisterSampleBenchmarks() {
    for (const std::unique_ptr<SampleFrame>& sp : Samples()) {
        const SampleFrame* sample = sp.get();
        const std::string name = "Replay/" + sample->name;
        benchmark::RegisterBenchmark(("BmOurs" + name).c_str(), [sample](benchmark::State& st) {
            Surface s(kW, kH);
            for (auto _ : st) {
                sample->movie->Render(s);
                benchmark::DoNotOptimize(s.data());
            }
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BmCairo" + name).c_str(), [sample](benchmark::State& st) {
            const CairoReplay replay(sample->record);
            CairoFrame f;
            for (auto _ : st) replay.Draw(f);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BmAgg" + name).c_str(), [sample](benchmark::State& st) {
            AggRun(st, *AggFrameReplay(sample->record), 0);
        })->Unit(benchmark::kMillisecond);
    }
}

// --- one-off picture check -------------------------------------------------------------------
// Before the benchmarks run, every picture of cairo and of AGG is drawn once and compared with
// ours; the share of differing pixels goes to stderr. With LUMAREL_BENCH_PNG set, the pictures
// (and crops, and difference maps) are written there as PNG.

// Premultiplied 0xAARRGGBB rows: one of our surfaces, or a cairo image.
struct Picture {
    const uint32_t* data;
    ptrdiff_t stride;  // in pixels
    const uint32_t* Row(int y) const { return data + ptrdiff_t(y) * stride; }
    uint32_t At(int x, int y) const { return Row(y)[x]; }
};

Picture PictureOf(const Surface& s) { return Picture{s.data(), s.Width()}; }
Picture PictureOf(cairo_surface_t* s) {
    return Picture{reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s)),
                   cairo_image_surface_get_stride(s) / 4};
}

struct PixelDiff {
    double over4 = 0, over32 = 0, mean = 0;  // shares of pixels whose largest channel difference is > 4 / > 32
    int max = 0, maxX = 0, maxY = 0;         // the largest difference and its first pixel
};

int ChannelDiff(uint32_t a, uint32_t b) {
    int m = 0;
    for (int sh = 0; sh < 32; sh += 8) m = std::max(m, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
    return m;
}

PixelDiff Compare(Picture ours, Picture theirs) {
    PixelDiff d;
    int64_t n4 = 0, n32 = 0, sum = 0;
    for (int y = 0; y < kH; ++y) {
        const uint32_t *a = ours.Row(y), *b = theirs.Row(y);
        for (int x = 0; x < kW; ++x) {
            const int c = ChannelDiff(a[x], b[x]);
            n4 += c > 4;
            n32 += c > 32;
            sum += c;
            if (c > d.max) d.max = c, d.maxX = x, d.maxY = y;
        }
    }
    const double n = double(kW) * kH;
    d.over4 = n4 / n;
    d.over32 = n32 / n;
    d.mean = sum / n;
    return d;
}

// Writes the w x h region at (x0, y0) of `pixel`, each pixel zoom x zoom.
template <class PixelAt>
void WritePng(const std::string& path, int x0, int y0, int w, int h, int zoom, PixelAt pixel) {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * zoom, h * zoom);
    cairo_surface_flush(out);
    unsigned char* data = cairo_image_surface_get_data(out);
    const int stride = cairo_image_surface_get_stride(out);
    for (int y = 0; y < h * zoom; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + ptrdiff_t(y) * stride);
        for (int x = 0; x < w * zoom; ++x) row[x] = pixel(x0 + x / zoom, y0 + y / zoom);
    }
    cairo_surface_mark_dirty(out);
    if (cairo_surface_write_to_png(out, path.c_str()) != CAIRO_STATUS_SUCCESS)
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    cairo_surface_destroy(out);
}

struct Crop {
    const char* suffix;
    int x, y, w, h, zoom;
};

// Compares `theirs` (drawn by `who`, "cairo" or "agg") with ours. The PNGs are NAME_ours,
// NAME_WHO and NAME_WHO_diff, the same for every crop (NAME_ours_SUFFIX, NAME_WHO_SUFFIX,
// NAME_WHO_diff_SUFFIX) and for the region round the largest difference (NAME_WHO_worst_ours,
// NAME_WHO_worst, NAME_WHO_worst_diff).
void CheckPair(const std::string& name, const char* who, Picture ours, Picture theirs, const char* dir,
               std::initializer_list<Crop> crops) {
    const PixelDiff d = Compare(ours, theirs);
    std::fprintf(stderr,
                 "check %-26s %-5s differing pixels: %7.4f%% > 4, %7.4f%% > 32; mean %.3f, max %d (of 255) at %d,%d\n",
                 name.c_str(), who, 100 * d.over4, 100 * d.over32, d.mean, d.max, d.maxX, d.maxY);
    if (!dir) return;
    auto oursAt = [&](int x, int y) { return ours.At(x, y); };
    auto theirsAt = [&](int x, int y) { return theirs.At(x, y); };
    auto diffAt = [&](int x, int y) {  // white where equal, darker the larger the difference
        const uint32_t g = 255 - static_cast<uint32_t>(std::min(255, 8 * ChannelDiff(ours.At(x, y), theirs.At(x, y))));
        return 0xFF000000u | (g << 16) | (g << 8) | g;
    };
    std::string base = std::string(dir) + "/" + name;
    for (char& c : base)
        if (c == '/' && &c >= &base[std::string(dir).size() + 1]) c = '_';  // Replay/aurora -> Replay_aurora
    const std::string theirsBase = base + "_" + who;
    WritePng(base + "_ours.png", 0, 0, kW, kH, 1, oursAt);
    WritePng(theirsBase + ".png", 0, 0, kW, kH, 1, theirsAt);
    WritePng(theirsBase + "_diff.png", 0, 0, kW, kH, 1, diffAt);
    for (const Crop& c : crops) {
        WritePng(base + "_ours_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, oursAt);
        WritePng(theirsBase + "_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, theirsAt);
        WritePng(theirsBase + "_diff_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, diffAt);
    }
    // Around the largest difference, magnified.
    const Crop w{"worst", std::clamp(d.maxX - 40, 0, kW - 80), std::clamp(d.maxY - 22, 0, kH - 45), 80, 45, 8};
    WritePng(theirsBase + "_worst_ours.png", w.x, w.y, w.w, w.h, w.zoom, oursAt);
    WritePng(theirsBase + "_worst.png", w.x, w.y, w.w, w.h, w.zoom, theirsAt);
    WritePng(theirsBase + "_worst_diff.png", w.x, w.y, w.w, w.h, w.zoom, diffAt);
}

// Ours in `s`, cairo in `f`, AGG drawn now into `agg`; both compared with ours.
void CheckThree(const std::string& name, const Surface& s, CairoFrame& f, AggScene& aggScene, Surface& agg,
                const char* dir, std::initializer_list<Crop> crops) {
    aggScene.Draw(agg);
    CheckPair(name, "cairo", PictureOf(s), PictureOf(f.s), dir, crops);
    CheckPair(name, "agg", PictureOf(s), PictureOf(agg), dir, crops);
}

void CheckPictures() {
    const char* dir = std::getenv("LUMAREL_BENCH_PNG");
    if (dir && !*dir) dir = nullptr;
    Surface s(kW, kH), agg(kW, kH);
    Renderer r(s);
    CairoFrame f;

    s.Clear(Rgba{255, 255, 255, 255});
    r.DrawShape(FullScreenRect(LinearGradientPaint()), TwipsToPx(), {});
    {
        cairo_pattern_t* pat = CairoLinearGradientPattern();
        CairoGradientDraw(f, pat);
        cairo_pattern_destroy(pat);
    }
    CheckThree("LinearGradientFrame", s, f, *AggLinearGradientFrame(), agg, dir, {});

    const std::shared_ptr<Bitmap> photo = MakePhoto();
    cairo_surface_t* img = CairoImageOf(*photo);
    for (const BitmapCase* bc : kBitmapCases) {
        s.Clear(Rgba{255, 255, 255, 255});
        r.DrawShape(OursBitmapShape(*bc, photo), TwipsToPx(), {});
        f.Clear();
        cairo_pattern_t* pat = CairoBitmapPattern(*bc, img);
        CairoBitmapDraw(f.cr, pat);
        f.Finish();
        cairo_pattern_destroy(pat);
        agg.Clear(Rgba{255, 255, 255, 255});
        CheckThree(bc->name, s, f, *AggBitmap(*bc, photo), agg, dir, {{"zoom", 480, 240, 160, 90, 4}});
    }
    cairo_surface_destroy(img);

    s.Clear(Rgba{255, 255, 255, 255});
    r.DrawShape(OursGridShape(), TwipsToPx(), {});
    CairoGridDraw(f, MakeGrid());
    CheckThree("CompoundGridFrame", s, f, *AggCompoundGrid(), agg, dir, {{"zoom", 900, 500, 160, 90, 4}});

    OursShapesDraw(s, r, OursBlobShapes());
    CairoBlobsDraw(f, MakeBlobs());
    CheckThree("Shapes1000", s, f, *AggShapes1000(), agg, dir, {{"zoom", 480, 240, 160, 90, 4}});

    OursShapesDraw(s, r, OursCurveShapes());
    CairoCurvesDraw(f, MakeCurves());
    CheckThree("Strokes1000", s, f, *AggStrokes1000(), agg, dir, {{"zoom", 480, 240, 160, 90, 4}});

    const TextFrame tf = MakeTextFrame();
    size_t edges = 0;
    for (const TextBlock& b : tf.blocks) edges += b.edges.size();
    std::fprintf(stderr, "text frame: %zu blocks, %d glyphs, %zu edges, text down to y = %.0f px\n", tf.blocks.size(),
                 tf.glyphs, edges, tf.bottom);
    OursTextDraw(s, r, OursTextShapes(tf));
    CairoText(tf).Draw(f);
    CheckThree("TextFrame", s, f, *AggTextFrame(), agg, dir, {{"crop", 0, 0, 480, 270, 1}, {"zoom", 0, 0, 160, 90, 4}});

    for (const std::unique_ptr<SampleFrame>& sample : Samples()) {
        const RecordedFrame& rec = sample->record;
        std::fprintf(stderr, "%s frame %d: %zu fills (%zu segments), %zu stroke lines (%zu points)\n",
                     sample->name.c_str(), sample->frame + 1, rec.fills, rec.segments, rec.strokes, rec.strokePoints);
        sample->movie->Render(s);
        CairoReplay(rec).Draw(f);
        CheckThree("Replay/" + sample->name, s, f, *AggFrameReplay(rec), agg, dir, {{"zoom", 800, 400, 160, 90, 4}});
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    LoadSamples();
    CheckPictures();  // once, untimed
    RegisterSampleBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
