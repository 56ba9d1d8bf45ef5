// Whole-frame raster benchmarks at 1920x1080: our renderer and cairo draw the same paths in the
// same run. Run with --benchmark_repetitions=N to get medians.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/raster/raster.h"

namespace {

using namespace lumarel::raster;

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
      b.path.quads.push_back({cx + rm * std::cos(am), cy + rm * std::sin(am), cx + ri * std::cos(a), cy + ri * std::sin(a)});
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
    c.color = Rgba{static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), 255};
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

void CairoQuads(cairo_t* cr, const QuadPath& p) {
  double x = p.x0, y = p.y0;
  cairo_move_to(cr, x, y);
  for (const QuadPath::Q& q : p.quads) {
    // Quadratic to cubic, exactly.
    cairo_curve_to(cr, x + 2.0 / 3.0 * (q.cx - x), y + 2.0 / 3.0 * (q.cy - y), q.x + 2.0 / 3.0 * (q.cx - q.x),
                   q.y + 2.0 / 3.0 * (q.cy - q.y), q.x, q.y);
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
  void clear() {
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  void finish() { cairo_surface_flush(s); }
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

void SetPixels(benchmark::State& st, int64_t perFrame) {
  st.SetItemsProcessed(st.iterations() * perFrame);
}

// --- span fill rates -------------------------------------------------------------------------

void BM_Ours_SolidFullScreen(benchmark::State& st) {
  Surface s(kW, kH);
  Renderer r(s);
  const Shape sh = FullScreenRect(Paint{Paint::Kind::Solid, Rgba{10, 20, 30, 255}, {}, nullptr, {}, true, true});
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_SolidFullScreen)->Unit(benchmark::kMillisecond);

void BM_Ours_TranslucentFullScreen(benchmark::State& st) {
  Surface s(kW, kH);
  Renderer r(s);
  const Shape sh = FullScreenRect(Paint{Paint::Kind::Solid, Rgba{10, 20, 30, 128}, {}, nullptr, {}, true, true});
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_TranslucentFullScreen)->Unit(benchmark::kMillisecond);

// (a) full-screen linear gradient
void BM_Ours_LinearGradientFrame(benchmark::State& st) {
  Surface s(kW, kH);
  Renderer r(s);
  const Shape sh = FullScreenRect(LinearGradientPaint());
  for (auto _ : st) {
    s.clear(Rgba{255, 255, 255, 255});
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_LinearGradientFrame)->Unit(benchmark::kMillisecond);

void BM_Ours_LinearGradientSpan(benchmark::State& st) {  // without the clear: gradient fill rate
  Surface s(kW, kH);
  Renderer r(s);
  const Shape sh = FullScreenRect(LinearGradientPaint());
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_LinearGradientSpan)->Unit(benchmark::kMillisecond);

void BM_Cairo_LinearGradientFrame(benchmark::State& st) {
  CairoFrame f;
  const double a = 0.1, half = kW / 2.0;
  cairo_pattern_t* pat = cairo_pattern_create_linear(kW / 2.0 - half * std::cos(a), kH / 2.0 - half * std::sin(a),
                                                     kW / 2.0 + half * std::cos(a), kH / 2.0 + half * std::sin(a));
  cairo_pattern_add_color_stop_rgb(pat, 0, 1, 0, 0);
  cairo_pattern_add_color_stop_rgb(pat, 128 / 255.0, 0, 1, 0);
  cairo_pattern_add_color_stop_rgb(pat, 1, 0, 0, 1);
  for (auto _ : st) {
    f.clear();
    cairo_rectangle(f.cr, 0, 0, kW, kH);
    cairo_set_source(f.cr, pat);
    cairo_fill(f.cr);
    f.finish();
  }
  cairo_pattern_destroy(pat);
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Cairo_LinearGradientFrame)->Unit(benchmark::kMillisecond);

void BM_Ours_RadialGradientSpan(benchmark::State& st) {
  Surface s(kW, kH);
  Renderer r(s);
  Paint p = LinearGradientPaint();
  p.gradient.kind = Gradient::Kind::Radial;
  p.gradient.spread = Spread::Reflect;
  const Shape sh = FullScreenRect(p);
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_RadialGradientSpan)->Unit(benchmark::kMillisecond);

void BM_Ours_FocalGradientSpan(benchmark::State& st) {
  Surface s(kW, kH);
  Renderer r(s);
  Paint p = LinearGradientPaint();
  p.gradient.kind = Gradient::Kind::Focal;
  p.gradient.focal = 0.6;
  const Shape sh = FullScreenRect(p);
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Ours_FocalGradientSpan)->Unit(benchmark::kMillisecond);

// A 640x360 photo-like bitmap scaled up to fill the screen, bilinear, with and without a fade.
std::shared_ptr<Bitmap> MakePhoto() {
  auto b = std::make_shared<Bitmap>();
  b->width = 640;
  b->height = 360;
  b->pixels.resize(size_t(640) * 360);
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 640; ++x)
      b->pixels[size_t(y) * 640 + size_t(x)] = 0xFF000000u | (uint32_t(x & 255) << 16) | (uint32_t(y & 255) << 8) | uint32_t((x ^ y) & 255);
  return b;
}

void BitmapFrame(benchmark::State& st, const ColorTransform& cx) {
  Paint p;
  p.kind = Paint::Kind::Bitmap;
  p.bitmap = MakePhoto();
  p.smooth = true;
  p.repeat = false;
  p.bitmapMatrix.a = p.bitmapMatrix.d = 3 * 20;
  const Shape sh = FullScreenRect(p);
  Surface s(kW, kH);
  Renderer r(s);
  for (auto _ : st) {
    r.drawShape(sh, TwipsToPx(), cx);
    benchmark::DoNotOptimize(s.data());
  }
  SetPixels(st, int64_t(kW) * kH);
}
void BM_Ours_BitmapSmoothFullScreen(benchmark::State& st) { BitmapFrame(st, {}); }
BENCHMARK(BM_Ours_BitmapSmoothFullScreen)->Unit(benchmark::kMillisecond);
void BM_Ours_BitmapSmoothFaded(benchmark::State& st) {
  ColorTransform cx;
  cx.am = 0.5;
  BitmapFrame(st, cx);
}
BENCHMARK(BM_Ours_BitmapSmoothFaded)->Unit(benchmark::kMillisecond);

void BM_Cairo_BitmapSmoothFullScreen(benchmark::State& st) {
  const std::shared_ptr<Bitmap> b = MakePhoto();
  cairo_surface_t* img = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(b->pixels.data())), CAIRO_FORMAT_ARGB32, b->width,
      b->height, b->width * 4);
  CairoFrame f;
  for (auto _ : st) {
    cairo_save(f.cr);
    cairo_scale(f.cr, 3, 3);
    cairo_set_source_surface(f.cr, img, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(f.cr), CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(cairo_get_source(f.cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(f.cr, 0, 0, 640, 360);
    cairo_fill(f.cr);
    cairo_restore(f.cr);
    f.finish();
  }
  cairo_surface_destroy(img);
  SetPixels(st, int64_t(kW) * kH);
}
BENCHMARK(BM_Cairo_BitmapSmoothFullScreen)->Unit(benchmark::kMillisecond);

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

void BM_Ours_CompoundGridFrame(benchmark::State& st) {
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
    s.clear(Rgba{255, 255, 255, 255});
    r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_Ours_CompoundGridFrame)->Unit(benchmark::kMillisecond);

void BM_Cairo_CompoundGridFrame(benchmark::State& st) {
  const std::vector<GridQuad> grid = MakeGrid();
  CairoFrame f;
  for (auto _ : st) {
    f.clear();
    for (const GridQuad& q : grid) {
      cairo_move_to(f.cr, q.x[0], q.y[0]);
      for (int e = 1; e < 4; ++e) cairo_line_to(f.cr, q.x[e], q.y[e]);
      cairo_close_path(f.cr);
      CairoColor(f.cr, q.color);
      cairo_fill(f.cr);
    }
    f.finish();
  }
}
BENCHMARK(BM_Cairo_CompoundGridFrame)->Unit(benchmark::kMillisecond);

// (b) 1,000 anti-aliased solid shapes, ~32 px across
void BM_Ours_Shapes1000(benchmark::State& st) {
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
    s.clear(Rgba{255, 255, 255, 255});
    for (const Shape& sh : shapes) r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_Ours_Shapes1000)->Unit(benchmark::kMillisecond);

void BM_Cairo_Shapes1000(benchmark::State& st) {
  const std::vector<Blob> blobs = MakeBlobs();
  CairoFrame f;
  for (auto _ : st) {
    f.clear();
    for (const Blob& b : blobs) {
      CairoQuads(f.cr, b.path);
      cairo_close_path(f.cr);
      CairoColor(f.cr, b.color);
      cairo_fill(f.cr);
    }
    f.finish();
  }
}
BENCHMARK(BM_Cairo_Shapes1000)->Unit(benchmark::kMillisecond);

// (c) 1,000 stroked curves
void BM_Ours_Strokes1000(benchmark::State& st) {
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
    s.clear(Rgba{255, 255, 255, 255});
    for (const Shape& sh : shapes) r.drawShape(sh, TwipsToPx(), {});
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_Ours_Strokes1000)->Unit(benchmark::kMillisecond);

void BM_Cairo_Strokes1000(benchmark::State& st) {
  const std::vector<Curve> curves = MakeCurves();
  CairoFrame f;
  cairo_set_line_cap(f.cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(f.cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_tolerance(f.cr, 0.2);
  for (auto _ : st) {
    f.clear();
    for (const Curve& c : curves) {
      CairoQuads(f.cr, c.path);
      cairo_set_line_width(f.cr, c.width);
      CairoColor(f.cr, c.color);
      cairo_stroke(f.cr);
    }
    f.finish();
  }
}
BENCHMARK(BM_Cairo_Strokes1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
