// Gradient ramps and mapping, spread modes, interpolation, bitmaps and colour transforms.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

#include "engine/raster/paint.h"
#include "test_util.h"

using namespace rt;
namespace d = lumarel::raster::detail;

namespace {

// A horizontal linear gradient whose square spans x = 0..256 px.
Paint LinearPaint(Spread spread, Interpolation interp, Rgba c0, Rgba c1) {
    Paint p;
    p.kind = Paint::Kind::Gradient;
    p.gradient.kind = Gradient::Kind::Linear;
    p.gradient.spread = spread;
    p.gradient.interpolation = interp;
    p.gradient.stops = {{0, c0}, {255, c1}};
    p.gradient.matrix.a = p.gradient.matrix.d = 256.0 * 20 / 32768.0;
    p.gradient.matrix.tx = 128.0 * 20;
    p.gradient.matrix.ty = 0;
    return p;
}

Surface Render(const Paint& p, int w, int h, const ColorTransform& cx = {}) {
    Surface s(w, h);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(RectShape(0, 0, w, h, p), PxMatrix(), cx);
    return s;
}

const Rgba kBlack{0, 0, 0, 255}, kWhite{255, 255, 255, 255};

TEST(Gradient, LinearPadHoldsEndColoursBeyondTheSquare) {
    const Surface s = Render(LinearPaint(Spread::Pad, Interpolation::Rgb, kBlack, kWhite), 400, 2);
    EXPECT_EQ(s.Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(s.Pixel(300, 0), 0xFFFFFFFFu);
    EXPECT_EQ(s.Pixel(399, 0), 0xFFFFFFFFu);
    EXPECT_NEAR(R(s.Pixel(128, 0)), 128, 2);
    // Monotonic inside the square.
    for (int x = 1; x < 256; ++x) ASSERT_GE(R(s.Pixel(x, 0)), R(s.Pixel(x - 1, 0)));
}

TEST(Gradient, RepeatAndReflectWrapThePeriod) {
    const Surface rep = Render(LinearPaint(Spread::Repeat, Interpolation::Rgb, kBlack, kWhite), 800, 1);
    const Surface ref = Render(LinearPaint(Spread::Reflect, Interpolation::Rgb, kBlack, kWhite), 800, 1);
    for (int x : {10, 100, 200}) {
        EXPECT_NEAR(R(rep.Pixel(256 + x, 0)), R(rep.Pixel(x, 0)), 1) << x;
        EXPECT_NEAR(R(ref.Pixel(256 + x, 0)), R(ref.Pixel(255 - x, 0)), 1) << x;
        EXPECT_NEAR(R(ref.Pixel(512 + x, 0)), R(ref.Pixel(x, 0)), 1) << x;
    }
    EXPECT_GT(R(rep.Pixel(254, 0)), 250u);
    EXPECT_LT(R(rep.Pixel(257, 0)), 5u);    // repeat jumps back to the start colour
    EXPECT_GT(R(ref.Pixel(257, 0)), 250u);  // reflect turns round
}

TEST(Gradient, LinearRgbMidpointIsBrighter) {
    d::Ramp rgb, lin;
    Gradient g;
    g.stops = {{0, kBlack}, {255, kWhite}};
    d::BuildRamp(g, {}, rgb);
    g.interpolation = Interpolation::LinearRgb;
    d::BuildRamp(g, {}, lin);
    EXPECT_NEAR(R(rgb[128]), 128, 1);
    // Half linear light is sRGB 0.735 (188 of 255).
    EXPECT_NEAR(R(lin[128]), 188, 2);
    EXPECT_EQ(lin[0], 0xFF000000u);
    EXPECT_EQ(lin[255], 0xFFFEFEFEu) << "linear-RGB ramps top out at 254";
}

TEST(Gradient, RampIsWrittenWithACursorInRecordOrder) {
    const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    struct Case {
        std::vector<GradientStop> stops;
        std::vector<std::pair<int, uint32_t>> expect;  // entry, pixel
    };
    const Case cases[] = {
        // Decreasing ratios: the first colour up to 200, one entry more of it, then the last.
        {{{200, blue}, {50, red}},
         {{0, 0xFF0000FFu}, {200, 0xFF0000FFu}, {201, 0xFF0000FFu}, {202, 0xFFFF0000u}, {255, 0xFFFF0000u}}},
        // Equal ratios make a 1-px band of the earlier colour, not a blend.
        {{{0, red}, {100, red}, {100, blue}, {255, blue}},
         {{100, 0xFFFF0000u}, {101, 0xFFFF0000u}, {102, 0xFF0000FFu}, {255, 0xFF0000FFu}}},
        // Two records at 255: the ramp ends with the first, which is what padding reads.
        {{{0, blue}, {255, red}, {255, blue}}, {{255, 0xFFFF0000u}}},
        // Blends are floored: 195 + (194 - 195) / 4 = 194.75 shows as 194.
        {{{0, Rgba{195, 0, 0, 255}}, {4, Rgba{194, 0, 0, 255}}}, {{1, 0xFFC20000u}}},
        // One record: every entry.
        {{{128, Rgba{10, 20, 30, 255}}}, {{0, 0xFF0A141Eu}, {255, 0xFF0A141Eu}}},
    };
    for (const Case& c : cases) {
        d::Ramp ramp;
        Gradient g;
        g.stops = c.stops;
        d::BuildRamp(g, {}, ramp);
        for (const auto& [entry, pixel] : c.expect) {
            EXPECT_EQ(ramp[static_cast<size_t>(entry)], pixel)
                << "entry " << entry << " of " << c.stops.size() << " stops";
        }
    }
}

TEST(Gradient, RampIsPremultiplied) {
    d::Ramp ramp;
    Gradient g;
    g.stops = {{0, Rgba{255, 255, 255, 0}}, {255, Rgba{255, 255, 255, 255}}};
    d::BuildRamp(g, {}, ramp);
    EXPECT_EQ(ramp[0], 0u);
    for (uint32_t c : ramp) ASSERT_LE(R(c), A(c));
}

Paint RadialPaint(Gradient::Kind kind, double focal) {
    Paint p;
    p.kind = Paint::Kind::Gradient;
    p.gradient.kind = kind;
    p.gradient.focal = focal;
    p.gradient.stops = {{0, kWhite}, {255, kBlack}};
    // Radius 50 px around (100, 100).
    p.gradient.matrix.a = p.gradient.matrix.d = 50.0 * 20 / 16384.0;
    p.gradient.matrix.tx = p.gradient.matrix.ty = 100.0 * 20;
    return p;
}

TEST(Gradient, RadialRunsFromCentreToRadius) {
    const Surface s = Render(RadialPaint(Gradient::Kind::Radial, 0), 200, 200);
    EXPECT_GT(R(s.Pixel(100, 100)), 250u);
    EXPECT_NEAR(R(s.Pixel(125, 100)), 128, 4);  // half the radius
    EXPECT_NEAR(R(s.Pixel(100, 125)), 128, 4);
    EXPECT_EQ(R(s.Pixel(160, 100)), 0u);  // padded beyond the radius
    EXPECT_EQ(R(s.Pixel(0, 0)), 0u);
}

TEST(Gradient, FocalStartsAtTheFocalPoint) {
    const Surface s = Render(RadialPaint(Gradient::Kind::Focal, 0.5), 200, 200);
    // Focal point at (125, 100): the start colour there, the end colour on the circle.
    EXPECT_GT(R(s.Pixel(125, 100)), 248u);
    EXPECT_LT(R(s.Pixel(100, 100)), 200u);
    EXPECT_LT(R(s.Pixel(149, 100)), 12u);
    EXPECT_LT(R(s.Pixel(51, 100)), 12u);
    // Zero focal is the plain radial gradient.
    const Surface f0 = Render(RadialPaint(Gradient::Kind::Focal, 0), 200, 200);
    const Surface r0 = Render(RadialPaint(Gradient::Kind::Radial, 0), 200, 200);
    for (int x = 50; x < 150; x += 7) ASSERT_LE(MaxChannelDiff(f0.Pixel(x, 90), r0.Pixel(x, 90)), 2) << x;
}

TEST(Gradient, TranslucentRampBlendsPerPixel) {
    // Wide translucent gradient spans take the vector blend; compare with the blend equation.
    Surface s(300, 2);
    s.Clear(Rgba{0, 0, 255, 255});
    Renderer r(s);
    r.DrawShape(
        RectShape(0, 0, 300, 2, LinearPaint(Spread::Pad, Interpolation::Rgb, Rgba{255, 0, 0, 0}, Rgba{255, 0, 0, 255})),
        PxMatrix(), {});
    for (int x = 0; x < 256; ++x) {
        const uint32_t p = s.Pixel(x, 0);
        ASSERT_EQ(A(p), 255u);
        ASSERT_NEAR(R(p) + B(p), 255, 1) << x;
    }
    EXPECT_EQ(s.Pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(s.Pixel(299, 0), 0xFFFF0000u);
}

TEST(Gradient, ColourTransformAppliesToStops) {
    ColorTransform cx;
    cx.rm = 0;
    cx.ra = 255;  // red forced to full
    cx.am = 0.5;
    const Surface s = Render(LinearPaint(Spread::Pad, Interpolation::Rgb, kBlack, kWhite), 300, 1, cx);
    EXPECT_NEAR(A(s.Pixel(0, 0)), 128, 1);
    EXPECT_NEAR(R(s.Pixel(0, 0)), 128, 1);  // premultiplied: 255 * 0.5
    EXPECT_EQ(G(s.Pixel(0, 0)), 0u);
}

TEST(ColorTransformTest, ApplyClampsAndConcatComposes) {
    ColorTransform a;
    a.rm = 2;
    a.ga = -300;
    a.ba = 10;
    const Rgba c = a.Apply(Rgba{200, 100, 250, 255});
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 255);
    ColorTransform inner;
    inner.rm = 0.5;
    inner.ra = 20;
    ColorTransform outer;
    outer.rm = 0.5;
    outer.ra = 10;
    const ColorTransform both = outer.Concat(inner);
    const Rgba x{100, 0, 0, 255};
    EXPECT_EQ(both.Apply(x).r, outer.Apply(inner.Apply(x)).r);
    EXPECT_TRUE(ColorTransform{}.IsIdentity());
    EXPECT_FALSE(both.IsIdentity());
}

TEST(ColorTransformTest, SolidFillIsTransformed) {
    ColorTransform cx;
    cx.gm = 0;
    cx.ga = 128;
    const Surface s = Render(Solid(255, 255, 0), 4, 4, cx);
    EXPECT_EQ(s.Pixel(1, 1), Argb(255, 255, 128, 0));
}

std::shared_ptr<Bitmap> Checker() {
    auto b = std::make_shared<Bitmap>();
    b->width = b->height = 2;
    b->pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    return b;
}

Paint BitmapPaint(bool repeat, bool smooth) {
    Paint p;
    p.kind = Paint::Kind::Bitmap;
    p.bitmap = Checker();
    p.repeat = repeat;
    p.smooth = smooth;
    p.bitmapMatrix.a = p.bitmapMatrix.d = 4 * 20;  // each bitmap pixel 4x4 device pixels
    return p;
}

TEST(BitmapFill, NearestRepeatAndClamp) {
    const Surface rep = Render(BitmapPaint(true, false), 16, 16);
    EXPECT_EQ(rep.Pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(rep.Pixel(5, 1), 0xFF00FF00u);
    EXPECT_EQ(rep.Pixel(1, 5), 0xFF0000FFu);
    EXPECT_EQ(rep.Pixel(6, 6), 0xFFFFFFFFu);
    EXPECT_EQ(rep.Pixel(9, 1), 0xFFFF0000u);  // repeats
    const Surface clip = Render(BitmapPaint(false, false), 16, 16);
    EXPECT_EQ(clip.Pixel(13, 1), 0xFF00FF00u);  // edge pixels extend
    EXPECT_EQ(clip.Pixel(13, 13), 0xFFFFFFFFu);
}

TEST(BitmapFill, BilinearBlendsNeighbours) {
    const Surface s = Render(BitmapPaint(false, true), 8, 8);
    EXPECT_EQ(s.Pixel(0, 0), 0xFFFF0000u);
    const uint32_t mid = s.Pixel(3, 0);  // between red and green
    EXPECT_GT(R(mid), 60u);
    EXPECT_GT(G(mid), 60u);
    EXPECT_EQ(A(mid), 255u);
}

TEST(BitmapFill, TwoBitmapsOfDifferentSizesInOneLayer) {
    // Both fills share the renderer's row scratch; the wider one must not strand the narrower.
    auto small = Checker();
    auto wide = std::make_shared<Bitmap>();
    wide->width = 300;
    wide->height = 2;
    wide->pixels.assign(600, 0xFF00FF00u);
    Shape sh;
    sh.layers.emplace_back();
    Paint a = BitmapPaint(true, true);
    a.bitmap = small;
    Paint b = BitmapPaint(true, true);
    b.bitmap = wide;
    b.bitmapMatrix.a = b.bitmapMatrix.d = 20;
    sh.layers[0].fills = {a, b};
    AddRect(sh.layers[0].edges, 0, 0, 8, 8, 0, 1);
    AddRect(sh.layers[0].edges, 8, 0, 16, 8, 0, 2);
    Surface s(16, 8);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(s.Pixel(12, 1), 0xFF00FF00u);
    EXPECT_EQ(A(s.Pixel(1, 1)), 255u);
    EXPECT_NEAR(R(s.Pixel(2, 2)), 199, 2);  // 7/8 x 7/8 red texel plus 1/64 white
}

TEST(BitmapFill, ColourTransformPerPixel) {
    ColorTransform cx;
    cx.rm = cx.gm = cx.bm = 0;
    cx.am = 0.5;
    const Surface s = Render(BitmapPaint(true, false), 8, 8, cx);
    EXPECT_NEAR(A(s.Pixel(1, 1)), 128, 1);
    EXPECT_EQ(R(s.Pixel(1, 1)), 0u);
}

TEST(BitmapFill, ColourTransformFadeAndTint) {
    auto b = std::make_shared<Bitmap>();
    b->width = b->height = 1;
    b->pixels = {Argb(128, 100, 50, 0)};  // straight (200, 100, 0, 128)
    Paint p;
    p.kind = Paint::Kind::Bitmap;
    p.bitmap = b;
    p.smooth = false;
    p.bitmapMatrix.a = p.bitmapMatrix.d = 20;
    ColorTransform fade;
    fade.am = 0.5;
    const uint32_t f = Render(p, 2, 2, fade).Pixel(0, 0);
    EXPECT_NEAR(A(f), 64, 1);
    EXPECT_NEAR(R(f), 50, 1);
    EXPECT_NEAR(G(f), 25, 1);
    ColorTransform tint;
    tint.ba = 100;
    tint.am = 2;
    const uint32_t t = Render(p, 2, 2, tint).Pixel(0, 0);
    EXPECT_EQ(A(t), 255u);
    EXPECT_NEAR(R(t), 200, 2);
    EXPECT_NEAR(B(t), 100, 2);
}

}  // namespace

namespace {

TEST(Gradient, SpanFetchMatchesPixelByPixel) {
    // Long spans take the split/vector paths; single pixels the plain ones. They must agree.
    const Spread spreads[] = {Spread::Pad, Spread::Repeat, Spread::Reflect};
    const Gradient::Kind kinds[] = {Gradient::Kind::Linear, Gradient::Kind::Radial, Gradient::Kind::Focal};
    const double angles[] = {0.0, 0.7, 2.0, 3.14159, 4.5};
    for (Gradient::Kind kind : kinds)
        for (Spread sp : spreads)
            for (double ang : angles) {
                Paint p;
                p.kind = Paint::Kind::Gradient;
                p.gradient.kind = kind;
                p.gradient.spread = sp;
                p.gradient.focal = -0.4;
                p.gradient.stops = {{0, Rgba{0, 0, 0, 255}}, {100, Rgba{255, 0, 0, 255}}, {255, Rgba{0, 0, 255, 255}}};
                const double sc = 60.0 * 20 / 16384.0;
                p.gradient.matrix.a = sc * std::cos(ang);
                p.gradient.matrix.b = sc * std::sin(ang);
                p.gradient.matrix.c = -sc * std::sin(ang);
                p.gradient.matrix.d = sc * std::cos(ang);
                p.gradient.matrix.tx = 150 * 20;
                p.gradient.matrix.ty = 40 * 20;
                d::Ramp ramp;
                d::CompiledPaint cp;
                d::CompilePaint(p, PxMatrix(), {}, ramp, cp);
                std::vector<uint32_t> span(300);
                d::FetchSpan(cp, 0, 37, 300, span.data());
                for (int x = 0; x < 300; ++x) {
                    uint32_t one;
                    d::FetchSpan(cp, x, 37, 1, &one);
                    ASSERT_LE(MaxChannelDiff(one, span[static_cast<size_t>(x)]), 3)
                        << "kind " << int(kind) << " spread " << int(sp) << " angle " << ang << " x " << x;
                }
            }
}

}  // namespace

namespace {

// Independent per-pixel model of a bitmap fill: the sample point of pixel (x, y) in bitmap
// pixels, nearest or bilinear between pixel centres with 8-bit weights, repeating or clamped.
uint32_t ModelBitmapPixel(const Bitmap& b, const Matrix& inv, bool repeat, bool smooth, int x, int y) {
    double u, v;
    inv.Apply(x + 0.5, y + 0.5, u, v);
    auto wrap = [repeat](int64_t i, int64_t n) {
        if (repeat) return ((i % n) + n) % n;
        return std::clamp<int64_t>(i, 0, n - 1);
    };
    auto at = [&](int64_t i, int64_t j) {
        return b.pixels[static_cast<size_t>(wrap(j, b.height) * b.width + wrap(i, b.width))];
    };
    if (!smooth) return at(static_cast<int64_t>(std::floor(u)), static_cast<int64_t>(std::floor(v)));
    const double su = u - 0.5, sv = v - 0.5;
    const int64_t i = static_cast<int64_t>(std::floor(su)), j = static_cast<int64_t>(std::floor(sv));
    const uint32_t fx = static_cast<uint32_t>((su - std::floor(su)) * 256),
                   fy = static_cast<uint32_t>((sv - std::floor(sv)) * 256);
    auto lerp = [](uint32_t p, uint32_t q, uint32_t t) {
        uint32_t out = 0;
        for (int s = 0; s < 32; s += 8) out |= ((((p >> s) & 255) * (256 - t) + ((q >> s) & 255) * t) >> 8) << s;
        return out;
    };
    // A clamped axis past the last pixel takes that pixel alone.
    const uint32_t wx = !repeat && (i < 0 || i >= b.width - 1) ? 0 : fx;
    const uint32_t wy = !repeat && (j < 0 || j >= b.height - 1) ? 0 : fy;
    return lerp(lerp(at(i, j), at(i + 1, j), wx), lerp(at(i, j + 1), at(i + 1, j + 1), wx), wy);
}

TEST(BitmapFill, SpansMatchAPerPixelModel) {
    // Every sampling path (row pairs, four taps, nearest; repeat runs, clipped edge runs) against
    // the model, over scales, mirrors, turns and far offsets. The span steps in 16.16: allow its
    // rounding, and now and then a nearest sample on the other side of a pixel boundary.
    auto b = std::make_shared<Bitmap>();
    b->width = 7;
    b->height = 5;
    for (int i = 0; i < 35; ++i) {
        const uint32_t a = 255 - (i * 5 % 120);
        b->pixels.push_back((a << 24) | (((i * 37) % (a + 1)) << 16) | (((i * 11) % (a + 1)) << 8) |
                            ((i * 3) % (a + 1)));
    }
    struct Map {
        double sx, sy, angle, tx, ty;
    };
    const Map maps[] = {{3.3, 3.3, 0, -13.1, 2.2},       {0.45, 0.7, 0, 5.3, -1.7}, {-2.6, 1.9, 0, 80.37, 3.1},
                        {1.0, -1.0, 0, 20.25, 30.25},    {3.3, 3.3, 0.3, -13.1, 0}, {2.1, 2.1, 2.5, 40.7, 9.9},
                        {1.7, 1.7, 0, -9000.37, 7000.61}};
    int checked = 0;
    for (const Map& mp : maps)
        for (bool repeat : {true, false})
            for (bool smooth : {true, false}) {
                Paint p;
                p.kind = Paint::Kind::Bitmap;
                p.bitmap = b;
                p.repeat = repeat;
                p.smooth = smooth;
                p.bitmapMatrix.a = mp.sx * 20 * std::cos(mp.angle);
                p.bitmapMatrix.b = mp.sx * 20 * std::sin(mp.angle);
                p.bitmapMatrix.c = -mp.sy * 20 * std::sin(mp.angle);
                p.bitmapMatrix.d = mp.sy * 20 * std::cos(mp.angle);
                p.bitmapMatrix.tx = mp.tx * 20;
                p.bitmapMatrix.ty = mp.ty * 20;
                d::Ramp ramp;
                d::CompiledPaint cp;
                d::CompilePaint(p, PxMatrix(), {}, ramp, cp);
                std::vector<uint32_t> row(16), span(90);
                cp.rowScratch = row.data();
                cp.rowScratchSize = row.size();
                for (int y : {0, 9, 23}) {
                    d::FetchSpan(cp, 0, y, 90, span.data());
                    int off = 0;
                    for (int x = 0; x < 90; ++x) {
                        const int diff =
                            MaxChannelDiff(ModelBitmapPixel(*b, cp.inv, repeat, smooth, x, y), span[size_t(x)]);
                        if (diff > 3) ++off;
                        ASSERT_TRUE(diff <= 3 || !smooth)
                            << "smooth, repeat " << repeat << " map " << (&mp - maps) << " x " << x << " y " << y;
                        ++checked;
                    }
                    EXPECT_LE(off, 2) << "nearest, repeat " << repeat << " map " << (&mp - maps) << " y " << y;
                }
            }
    EXPECT_EQ(checked, 7 * 4 * 3 * 90);
}

}  // namespace
