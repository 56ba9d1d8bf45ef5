// Whole-frame raster benchmarks at 1920x1080: our renderer and cairo draw the same paths in the
// same run. Run with --benchmark_repetitions=N to get medians. Before the benchmarks, the bitmap
// and text pairs are drawn once and compared (see CheckAgainstCairo).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/synthetic_font.h"
#include "engine/raster/filters.h"
#include "engine/raster/raster.h"

namespace {

using namespace lumarel::raster;
namespace bench = lumarel::bench;

constexpr int kW = 1920, kH = 1080;
constexpr double kPi = 3.14159265358979323846;

Matrix TwipsToPx() {
    Matrix m;
    m.a = m.d = 1.0 / 20.0;
    return m;
}

// Device-space path description shared by both renderers: quads only.
struct QuadPath {
    double x0, y0;
    struct Q {
        double cx, cy, x, y;
    };
    std::vector<Q> quads;
};

struct Blob {
    QuadPath path;
    Rgba color;
};

// 1,000 closed blobs (8 quads round a wobbly circle), about 32 px across.
std::vector<Blob> MakeBlobs() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> ux(20, kW - 20), uy(20, kH - 20), ur(12, 20), uw(0.8, 1.2);
    std::uniform_int_distribution<int> uc(0, 255), ua(160, 255);
    std::vector<Blob> out(1000);
    for (Blob& b : out) {
        const double cx = ux(rng), cy = uy(rng), r = ur(rng);
        std::vector<double> rad(8);
        for (double& v : rad) v = r * uw(rng);
        b.path.x0 = cx + rad[0];
        b.path.y0 = cy;
        for (int i = 1; i <= 8; ++i) {
            const double a = i * kPi / 4, am = (i - 0.5) * kPi / 4;
            const double ri = rad[i % 8], rm = (rad[i - 1] + ri) / 2 / std::cos(kPi / 8);
            b.path.quads.push_back(
                {cx + rm * std::cos(am), cy + rm * std::sin(am), cx + ri * std::cos(a), cy + ri * std::sin(a)});
        }
        b.color = Rgba{static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)),
                       static_cast<uint8_t>(ua(rng))};
    }
    return out;
}

struct Curve {
    QuadPath path;
    Rgba color;
    double width;  // px
};

// 1,000 open curves of three quads each, 40-120 px long, 1-6 px wide, round caps and joins.
std::vector<Curve> MakeCurves() {
    std::mt19937 rng(777);
    std::uniform_real_distribution<double> ux(0, kW), uy(0, kH), ud(-40, 40), uwid(1, 6);
    std::uniform_int_distribution<int> uc(0, 255);
    std::vector<Curve> out(1000);
    for (Curve& c : out) {
        c.path.x0 = ux(rng);
        c.path.y0 = uy(rng);
        double x = c.path.x0, y = c.path.y0;
        for (int i = 0; i < 3; ++i) {
            const double cx = x + ud(rng), cy = y + ud(rng);
            x = cx + ud(rng);
            y = cy + ud(rng);
            c.path.quads.push_back({cx, cy, x, y});
        }
        c.color =
            Rgba{static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), 255};
        c.width = uwid(rng);
    }
    return out;
}

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

Paint LinearGradientPaint() {
    Paint p;
    p.kind = Paint::Kind::Gradient;
    p.gradient.kind = Gradient::Kind::Linear;
    p.gradient.stops = {{0, Rgba{255, 0, 0, 255}}, {128, Rgba{0, 255, 0, 255}}, {255, Rgba{0, 0, 255, 255}}};
    // Gradient square across the screen width, slightly rotated.
    Matrix g;
    const double s = kW * 20.0 / 32768.0, a = 0.1;
    g.a = s * std::cos(a);
    g.b = s * std::sin(a);
    g.c = -s * std::sin(a);
    g.d = s * std::cos(a);
    g.tx = kW * 10.0;
    g.ty = kH * 10.0;
    p.gradient.matrix = g;
    return p;
}

void SetPixels(benchmark::State& st, int64_t perFrame) { st.SetItemsProcessed(st.iterations() * perFrame); }

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

void BmCairoLinearGradientFrame(benchmark::State& st) {
    CairoFrame f;
    const double a = 0.1, half = kW / 2.0;
    cairo_pattern_t* pat = cairo_pattern_create_linear(kW / 2.0 - half * std::cos(a), kH / 2.0 - half * std::sin(a),
                                                       kW / 2.0 + half * std::cos(a), kH / 2.0 + half * std::sin(a));
    cairo_pattern_add_color_stop_rgb(pat, 0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(pat, 128 / 255.0, 0, 1, 0);
    cairo_pattern_add_color_stop_rgb(pat, 1, 0, 0, 1);
    for (auto _ : st) {
        f.Clear();
        cairo_rectangle(f.cr, 0, 0, kW, kH);
        cairo_set_source(f.cr, pat);
        cairo_fill(f.cr);
        f.Finish();
    }
    cairo_pattern_destroy(pat);
    SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BmCairoLinearGradientFrame)->Unit(benchmark::kMillisecond);

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

// --- bitmap fills ----------------------------------------------------------------------------
// A 640x360 photo-like opaque bitmap filling the whole screen rectangle. Each case names the
// mapping from bitmap pixels to device pixels (rotate, scale, translate); ours gets it as
// bitmapMatrix in twips, cairo as the inverse pattern matrix, so both sample the same points.
// The translations keep pixel centres well away from texel boundaries, where the two renderers'
// fixed-point steps could legitimately round a nearest sample to different texels.
std::shared_ptr<Bitmap> MakePhoto() {
    auto b = std::make_shared<Bitmap>();
    b->width = 640;
    b->height = 360;
    b->pixels.resize(size_t(640) * 360);
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 640; ++x)
            b->pixels[size_t(y) * 640 + size_t(x)] =
                0xFF000000u | (uint32_t(x & 255) << 16) | (uint32_t(y & 255) << 8) | uint32_t((x ^ y) & 255);
    return b;
}

struct BitmapCase {
    const char* name;
    bool smooth, repeat;
    double scale, degrees, tx, ty;  // bitmap pixel -> device pixel
    Matrix ToDevice() const {
        const double r = degrees * kPi / 180.0;
        Matrix m;
        m.a = scale * std::cos(r);
        m.b = scale * std::sin(r);
        m.c = -scale * std::sin(r);
        m.d = scale * std::cos(r);
        m.tx = tx;
        m.ty = ty;
        return m;
    }
};

// 3x, exactly the screen: no tile seams, no extended edges.
constexpr BitmapCase kSmoothFullScreen{"BitmapSmoothFullScreen", true, false, 3, 0, 0, 0};
// 1.5x from slightly above-left of the screen: a 960x540 tile repeated about 2.1 x 2.1 times.
constexpr BitmapCase kNearestRepeat{"BitmapNearestRepeat", false, true, 1.5, 0, -100.25, -50.25};
constexpr BitmapCase kSmoothRepeat{"BitmapSmoothRepeat", true, true, 1.5, 0, -100.25, -50.25};
// 1.25x (800x450) in the middle of the screen; the edge pixels extend over the other 83%.
constexpr BitmapCase kNearestClip{"BitmapNearestClip", false, false, 1.25, 0, 560.375, 315.375};
constexpr BitmapCase kSmoothClip{"BitmapSmoothClip", true, false, 1.25, 0, 560.375, 315.375};
// The repeating 1.5x tiling turned by 3 degrees: rows no longer run along one bitmap row.
constexpr BitmapCase kSmoothRotated{"BitmapSmoothRotated", true, true, 1.5, 3, -100.25, -50.25};

const BitmapCase* const kBitmapCases[] = {&kSmoothFullScreen, &kNearestRepeat, &kSmoothRepeat,
                                          &kNearestClip,      &kSmoothClip,    &kSmoothRotated};

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

void BmOursBitmapSmoothRepeat(benchmark::State& st) { OursBitmap(st, kSmoothRepeat, {}); }
BENCHMARK(BmOursBitmapSmoothRepeat)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothRepeat(benchmark::State& st) { CairoBitmap(st, kSmoothRepeat); }
BENCHMARK(BmCairoBitmapSmoothRepeat)->Unit(benchmark::kMillisecond);

void BmOursBitmapNearestClip(benchmark::State& st) { OursBitmap(st, kNearestClip, {}); }
BENCHMARK(BmOursBitmapNearestClip)->Unit(benchmark::kMillisecond);
void BmCairoBitmapNearestClip(benchmark::State& st) { CairoBitmap(st, kNearestClip); }
BENCHMARK(BmCairoBitmapNearestClip)->Unit(benchmark::kMillisecond);

void BmOursBitmapSmoothClip(benchmark::State& st) { OursBitmap(st, kSmoothClip, {}); }
BENCHMARK(BmOursBitmapSmoothClip)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothClip(benchmark::State& st) { CairoBitmap(st, kSmoothClip); }
BENCHMARK(BmCairoBitmapSmoothClip)->Unit(benchmark::kMillisecond);

void BmOursBitmapSmoothRotated(benchmark::State& st) { OursBitmap(st, kSmoothRotated, {}); }
BENCHMARK(BmOursBitmapSmoothRotated)->Unit(benchmark::kMillisecond);
void BmCairoBitmapSmoothRotated(benchmark::State& st) { CairoBitmap(st, kSmoothRotated); }
BENCHMARK(BmCairoBitmapSmoothRotated)->Unit(benchmark::kMillisecond);

// One shape whose 32x18 cells are all different fills sharing their edges (the compound path),
// slightly rotated so every shared edge is anti-aliased. Cairo fills the same quads one by one.
struct GridQuad {
    double x[4], y[4];
    Rgba color;
};
std::vector<GridQuad> MakeGrid() {
    std::vector<GridQuad> out;
    const int nx = 32, ny = 18;
    const double a = 0.03, cw = kW / double(nx), ch = kH / double(ny);
    auto P = [&](int i, int j, double& x, double& y) {
        const double ux = i * cw - kW / 2.0, uy = j * ch - kH / 2.0;
        x = kW / 2.0 + ux * std::cos(a) - uy * std::sin(a);
        y = kH / 2.0 + ux * std::sin(a) + uy * std::cos(a);
    };
    std::mt19937 rng(99);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            GridQuad q;
            P(i, j, q.x[0], q.y[0]);
            P(i + 1, j, q.x[1], q.y[1]);
            P(i + 1, j + 1, q.x[2], q.y[2]);
            P(i, j + 1, q.x[3], q.y[3]);
            q.color = Rgba{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), 255};
            out.push_back(q);
        }
    return out;
}

void BmOursCompoundGridFrame(benchmark::State& st) {
    const std::vector<GridQuad> grid = MakeGrid();
    const int nx = 32, ny = 18;
    Shape sh;
    sh.layers.emplace_back();
    Layer& l = sh.layers[0];
    for (const GridQuad& q : grid) l.fills.push_back(Paint{Paint::Kind::Solid, q.color, {}, nullptr, {}, true, true});
    auto style = [&](int i, int j) -> uint16_t {
        return (i < 0 || j < 0 || i >= nx || j >= ny) ? 0 : static_cast<uint16_t>(j * nx + i + 1);
    };
    auto corner = [&](int i, int j, float& x, float& y) {  // grid points from the cells' corners
        const GridQuad& q = grid[static_cast<size_t>(std::min(j, ny - 1) * nx + std::min(i, nx - 1))];
        const int k = (i == nx ? 1 : 0) + (j == ny ? 2 : 0);
        const int idx[4] = {0, 1, 3, 2};
        x = static_cast<float>(q.x[idx[k]] * 20);
        y = static_cast<float>(q.y[idx[k]] * 20);
    };
    // Every grid line segment once, with the cell on each side as fill0 (left) / fill1 (right),
    // the way exported artwork shares edges between fills.
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            if (i < nx) {  // horizontal, walking east: left is the cell above
                Edge e;
                corner(i, j, e.x0, e.y0);
                corner(i + 1, j, e.x1, e.y1);
                e.fill0 = style(i, j - 1);
                e.fill1 = style(i, j);
                l.edges.push_back(e);
            }
            if (j < ny) {  // vertical, walking south: left is the cell to the east
                Edge e;
                corner(i, j, e.x0, e.y0);
                corner(i, j + 1, e.x1, e.y1);
                e.fill0 = style(i, j);
                e.fill1 = style(i - 1, j);
                l.edges.push_back(e);
            }
        }
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
    for (auto _ : st) {
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
}
BENCHMARK(BmCairoCompoundGridFrame)->Unit(benchmark::kMillisecond);

// (b) 1,000 anti-aliased solid shapes, ~32 px across
void BmOursShapes1000(benchmark::State& st) {
    const std::vector<Blob> blobs = MakeBlobs();
    std::vector<Shape> shapes(blobs.size());
    for (size_t i = 0; i < blobs.size(); ++i) {
        shapes[i].layers.emplace_back();
        Layer& l = shapes[i].layers[0];
        l.fills.push_back(Paint{Paint::Kind::Solid, blobs[i].color, {}, nullptr, {}, true, true});
        AppendQuads(blobs[i].path, l.edges, 1, 0, 0);
    }
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        s.Clear(Rgba{255, 255, 255, 255});
        for (const Shape& sh : shapes) r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BmOursShapes1000)->Unit(benchmark::kMillisecond);

void BmCairoShapes1000(benchmark::State& st) {
    const std::vector<Blob> blobs = MakeBlobs();
    CairoFrame f;
    for (auto _ : st) {
        f.Clear();
        for (const Blob& b : blobs) {
            CairoQuads(f.cr, b.path);
            cairo_close_path(f.cr);
            CairoColor(f.cr, b.color);
            cairo_fill(f.cr);
        }
        f.Finish();
    }
}
BENCHMARK(BmCairoShapes1000)->Unit(benchmark::kMillisecond);

// (c) 1,000 stroked curves
void BmOursStrokes1000(benchmark::State& st) {
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
    Surface s(kW, kH);
    Renderer r(s);
    for (auto _ : st) {
        s.Clear(Rgba{255, 255, 255, 255});
        for (const Shape& sh : shapes) r.DrawShape(sh, TwipsToPx(), {});
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BmOursStrokes1000)->Unit(benchmark::kMillisecond);

void BmCairoStrokes1000(benchmark::State& st) {
    const std::vector<Curve> curves = MakeCurves();
    CairoFrame f;
    cairo_set_line_cap(f.cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(f.cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_tolerance(f.cr, 0.2);
    for (auto _ : st) {
        f.Clear();
        for (const Curve& c : curves) {
            CairoQuads(f.cr, c.path);
            cairo_set_line_width(f.cr, c.width);
            CairoColor(f.cr, c.color);
            cairo_stroke(f.cr);
        }
        f.Finish();
    }
}
BENCHMARK(BmCairoStrokes1000)->Unit(benchmark::kMillisecond);

// --- text ------------------------------------------------------------------------------------
// A text-heavy frame: 45 blocks of 12-24 px text, 5,000 glyphs in all, from the synthetic font.
// Every block is one shape with one solid fill, its glyph edges carrying fill1 = 1 (filled on
// their right, fill0 empty) the way SWF glyph records come in. Glyph contours are outer
// clockwise / holes counter-clockwise on screen and may overlap within a glyph, so cairo fills
// the same outlines with the non-zero rule.
constexpr int kTextBlocks = 45, kTextGlyphs = 5000;

struct TextBlock {
    Rgba color;
    std::vector<Edge> edges;            // twips
    std::vector<size_t> contourStarts;  // first edge of each contour
    int glyphs = 0;
};

struct TextFrame {
    std::vector<TextBlock> blocks;
    int glyphs = 0;
    double bottom = 0;  // lowest line box, px
};

TextFrame MakeTextFrame() {
    const bench::SyntheticFont font;
    std::mt19937 rng(2718);
    // English-like letter frequencies for a..z.
    const double freq[26] = {8.2, 1.5, 2.8, 4.3, 12.7, 2.2, 2.0, 6.1, 7.0, 0.15, 0.8,  4.0, 2.4,
                             6.7, 7.5, 1.9, 0.1, 6.0,  6.3, 9.1, 2.8, 1.0, 2.4,  0.15, 2.0, 0.07};
    std::discrete_distribution<int> letter(std::begin(freq), std::end(freq));
    std::uniform_int_distribution<int> wordLen(1, 9), pct(0, 99), dark(0, 90);
    const std::string& lower = font.Lowercase();
    const std::string& upper = font.Uppercase();
    const std::string& digits = font.Digits();
    auto word = [&]() {
        std::string w;
        const int n = wordLen(rng), kind = pct(rng);
        for (int i = 0; i < n; ++i) {
            if (kind < 4)
                w += digits[static_cast<size_t>(pct(rng)) % digits.size()];
            else if (kind < 16 && i == 0)
                w += upper[static_cast<size_t>(pct(rng)) % upper.size()];
            else
                w += lower[static_cast<size_t>(letter(rng))];
        }
        return w;
    };
    // Five columns of nine blocks; each column cycles through the same nine sizes, shifted.
    const int sizes[9] = {12, 24, 15, 21, 18, 13, 23, 16, 20};
    const double colW = kW / 5.0, margin = 12, gap = 30, space = 0.28;
    TextFrame tf;
    for (int col = 0; col < 5; ++col) {
        double top = margin;
        for (int row = 0; row < 9; ++row) {
            const int index = col * 9 + row;
            const double px = sizes[(row + 2 * col) % 9], sc = px / bench::SyntheticFont::kEm, lineH = 1.25 * px;
            const double left = col * colW + margin, right = (col + 1) * colW - margin;
            const int target = kTextGlyphs / kTextBlocks + (index < kTextGlyphs % kTextBlocks ? 1 : 0);
            TextBlock b;
            b.color = Rgba{static_cast<uint8_t>(dark(rng)), static_cast<uint8_t>(dark(rng)),
                           static_cast<uint8_t>(dark(rng)), 255};
            double penX = left, base = top + 0.8 * px;
            while (b.glyphs < target) {
                std::string w = word();
                if (static_cast<int>(w.size()) > target - b.glyphs) w.resize(static_cast<size_t>(target - b.glyphs));
                double width = 0;
                for (char c : w) width += font.Find(c)->advance * sc;
                if (penX > left && penX + width > right) {
                    penX = left;
                    base += lineH;
                }
                for (char c : w) {
                    const bench::Glyph& g = *font.Find(c);
                    for (const auto& contour : g.contours) {
                        b.contourStarts.push_back(b.edges.size());
                        for (const bench::GlyphSegment& gs : contour) {
                            auto tw = [&](double fx, double fy, float& ox, float& oy) {
                                ox = static_cast<float>((penX + fx * sc) * 20);
                                oy = static_cast<float>((base - fy * sc) * 20);
                            };
                            Edge e;
                            e.kind = gs.quad ? Edge::Kind::Quad : Edge::Kind::Line;
                            tw(gs.x0, gs.y0, e.x0, e.y0);
                            tw(gs.x1, gs.y1, e.x1, e.y1);
                            if (gs.quad) tw(gs.cx, gs.cy, e.cx, e.cy);
                            e.fill0 = 0;
                            e.fill1 = 1;
                            b.edges.push_back(e);
                        }
                    }
                    penX += g.advance * sc;
                    ++b.glyphs;
                }
                penX += space * px;
            }
            top = base + (lineH - 0.8 * px) + gap;
            tf.bottom = std::max(tf.bottom, base + lineH - 0.8 * px);
            tf.glyphs += b.glyphs;
            tf.blocks.push_back(std::move(b));
        }
    }
    return tf;
}

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

// --- one-off picture check -------------------------------------------------------------------
// Before the benchmarks run, every ours/cairo pair of the bitmap and text frames is drawn once
// and compared; the share of differing pixels goes to stderr. With LUMAREL_BENCH_PNG set, both
// pictures (and crops, and a difference map) are written there as PNG.

struct PixelDiff {
    double over4 = 0, over32 = 0, mean = 0;  // shares of pixels whose largest channel difference is > 4 / > 32
    int max = 0, maxX = 0, maxY = 0;         // the largest difference and its first pixel
};

int ChannelDiff(uint32_t a, uint32_t b) {
    int m = 0;
    for (int sh = 0; sh < 32; sh += 8) m = std::max(m, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
    return m;
}

const uint32_t* CairoRow(cairo_surface_t* s, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                             ptrdiff_t(y) * cairo_image_surface_get_stride(s));
}

PixelDiff Compare(const Surface& ours, cairo_surface_t* theirs) {
    PixelDiff d;
    int64_t n4 = 0, n32 = 0, sum = 0;
    for (int y = 0; y < kH; ++y) {
        const uint32_t *a = ours.Row(y), *b = CairoRow(theirs, y);
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

void CheckPair(const char* name, const Surface& ours, cairo_surface_t* theirs, const char* dir,
               std::initializer_list<Crop> crops) {
    const PixelDiff d = Compare(ours, theirs);
    std::fprintf(stderr,
                 "check %-24s differing pixels: %7.4f%% > 4, %7.4f%% > 32; mean %.3f, max %d (of 255) at %d,%d\n", name,
                 100 * d.over4, 100 * d.over32, d.mean, d.max, d.maxX, d.maxY);
    if (!dir) return;
    auto oursAt = [&](int x, int y) { return ours.Pixel(x, y); };
    auto cairoAt = [&](int x, int y) { return CairoRow(theirs, y)[x]; };
    auto diffAt = [&](int x, int y) {  // white where equal, darker the larger the difference
        const uint32_t g =
            255 - static_cast<uint32_t>(std::min(255, 8 * ChannelDiff(ours.Pixel(x, y), CairoRow(theirs, y)[x])));
        return 0xFF000000u | (g << 16) | (g << 8) | g;
    };
    const std::string base = std::string(dir) + "/" + name;
    WritePng(base + "_ours.png", 0, 0, kW, kH, 1, oursAt);
    WritePng(base + "_cairo.png", 0, 0, kW, kH, 1, cairoAt);
    WritePng(base + "_diff.png", 0, 0, kW, kH, 1, diffAt);
    // Around the largest difference, magnified.
    const Crop worst{"worst", std::clamp(d.maxX - 40, 0, kW - 80), std::clamp(d.maxY - 22, 0, kH - 45), 80, 45, 8};
    std::vector<Crop> all(crops);
    all.push_back(worst);
    for (const Crop& c : all) {
        WritePng(base + "_ours_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, oursAt);
        WritePng(base + "_cairo_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, cairoAt);
        WritePng(base + "_diff_" + c.suffix + ".png", c.x, c.y, c.w, c.h, c.zoom, diffAt);
    }
}

void CheckAgainstCairo() {
    const char* dir = std::getenv("LUMAREL_BENCH_PNG");
    if (dir && !*dir) dir = nullptr;
    Surface s(kW, kH);
    Renderer r(s);
    CairoFrame f;
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
        CheckPair(bc->name, s, f.s, dir, {{"zoom", 480, 240, 160, 90, 4}});
    }
    cairo_surface_destroy(img);

    const TextFrame tf = MakeTextFrame();
    size_t edges = 0;
    for (const TextBlock& b : tf.blocks) edges += b.edges.size();
    std::fprintf(stderr, "text frame: %zu blocks, %d glyphs, %zu edges, text down to y = %.0f px\n", tf.blocks.size(),
                 tf.glyphs, edges, tf.bottom);
    OursTextDraw(s, r, OursTextShapes(tf));
    CairoText(tf).Draw(f);
    CheckPair("TextFrame", s, f.s, dir, {{"crop", 0, 0, 480, 270, 1}, {"zoom", 0, 0, 160, 90, 4}});
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CheckAgainstCairo();  // once, untimed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
