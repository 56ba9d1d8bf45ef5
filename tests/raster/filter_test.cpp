// Filters on a small surface holding one opaque square: where each effect lands.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <numbers>
#include <random>

#include "engine/raster/filters.h"

namespace {

using namespace lumarel::raster;

constexpr IntRect kAll{0, 0, 32, 32};

// 32 x 32, clear, with the square [12, 20) x [12, 20) in `px`.
Surface Square(uint32_t px = 0xFFFFFFFFu) {
    Surface s(32, 32);
    s.Clear(Rgba{0, 0, 0, 0});
    for (int y = 12; y < 20; ++y)
        for (int x = 12; x < 20; ++x) s.Row(y)[x] = px;
    return s;
}

EffectFilter Shadow(Rgba c, double distance, double angle = 0) {
    EffectFilter f;
    f.ramp = SolidRamp(c);
    f.blurX = f.blurY = 0;
    f.distance = distance;
    f.angle = angle;
    return f;
}

struct Probe {
    int x, y;
    uint32_t want;
};
struct Case {
    const char* name;
    std::function<void(Surface&, FilterScratch&)> run;
    std::vector<Probe> probes;
    uint32_t square = 0xFFFFFFFFu;
};

TEST(Filters, KeyPixels) {
    const Rgba black{0, 0, 0, 255};
    const std::vector<Case> cases = {
        {"shadow falls along the angle, under the object",
         [&](Surface& s, FilterScratch& t) { ApplyEffect(s, kAll, Shadow(black, 4), t); },
         {{22, 16, 0xFF000000u}, {18, 16, 0xFFFFFFFFu}, {10, 16, 0}, {16, 22, 0}}},
        {"shadow at a quarter turn falls down",
         [&](Surface& s, FilterScratch& t) { ApplyEffect(s, kAll, Shadow(black, 4, std::numbers::pi / 2), t); },
         {{16, 22, 0xFF000000u}, {22, 16, 0}}},
        {"knockout leaves only the shadow outside the object",
         [&](Surface& s, FilterScratch& t) {
             EffectFilter f = Shadow(black, 4);
             f.knockout = true;
             ApplyEffect(s, kAll, f, t);
         },
         {{22, 16, 0xFF000000u}, {18, 16, 0}, {13, 16, 0}}},
        {"hidden object keeps the whole shadow",
         [&](Surface& s, FilterScratch& t) {
             EffectFilter f = Shadow(black, 4);
             f.compositeSource = false;
             ApplyEffect(s, kAll, f, t);
         },
         {{18, 16, 0xFF000000u}, {13, 16, 0}}},
        {"inner shadow darkens the edge it is cast from",
         [&](Surface& s, FilterScratch& t) {
             EffectFilter f = Shadow(black, 2);
             f.inner = true;
             ApplyEffect(s, kAll, f, t);
         },
         {{12, 16, 0xFF000000u}, {14, 16, 0xFFFFFFFFu}, {19, 16, 0xFFFFFFFFu}, {10, 16, 0}}},
        {"bevel: highlight facing away from the angle, shadow along it",
         [&](Surface& s, FilterScratch& t) {
             EffectFilter f = Shadow(black, 2);
             f.kind = EffectFilter::Kind::Bevel;
             f.ramp = BevelRamp(Rgba{255, 255, 255, 255}, black);
             f.inner = true;
             ApplyEffect(s, kAll, f, t);
         },
         {{12, 16, 0xFFFFFFFFu}, {19, 16, 0xFF000000u}, {16, 16, 0xFF808080u}, {10, 16, 0}},
         0xFF808080u},
        {"colour matrix swapping red and blue",
         [&](Surface& s, FilterScratch&) {
             std::array<float, 20> m{};
             m[2] = m[6] = m[10] = m[18] = 1;
             ApplyColorMatrix(s, kAll, m);
         },
         {{16, 16, 0x80000040u}, {0, 0, 0}},
         0x80400000u},
        {"identity kernel, divisor 0",
         [&](Surface& s, FilterScratch& t) {
             ConvolutionFilter c{3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 0, 0, false, false, black};
             ApplyConvolution(s, kAll, c, t);
             c.preserveAlpha = c.clamp = true;
             ApplyConvolution(s, kAll, c, t);
         },
         {{12, 12, 0x80402010u}, {19, 19, 0x80402010u}, {11, 12, 0}},
         0x80402010u},
    };
    FilterScratch scratch;
    for (const Case& c : cases) {
        Surface s = Square(c.square);
        c.run(s, scratch);
        for (const Probe& p : c.probes) EXPECT_EQ(s.Pixel(p.x, p.y), p.want) << c.name << " at " << p.x << "," << p.y;
    }
}

TEST(Filters, GlowInnerAndOuter) {
    for (bool inner : {false, true}) {
        Surface s = Square();
        EffectFilter f = Shadow(Rgba{255, 0, 0, 255}, 0);
        f.blurX = f.blurY = 4;
        f.inner = inner;
        FilterScratch t;
        ApplyEffect(s, kAll, f, t);
        const uint32_t out = s.Pixel(11, 16), edge = s.Pixel(12, 16);
        EXPECT_EQ(out == 0, inner);
        if (!inner) {
            EXPECT_EQ(out & 0x0000FFFFu, 0u);  // pure red, faded
        }
        EXPECT_EQ(edge >> 24, 255u);
        EXPECT_EQ(edge != 0xFFFFFFFFu, inner);  // only the inner glow tints the object
        EXPECT_EQ(s.Pixel(16, 16), 0xFFFFFFFFu);
    }
}

uint64_t AlphaTotal(const Surface& s) {
    uint64_t sum = 0;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) sum += s.Pixel(x, y) >> 24;
    return sum;
}

TEST(Filters, BlurSpreadsAndKeepsTheAlpha) {
    for (int passes : {1, 2, 3}) {
        Surface s = Square();
        FilterScratch t;
        Blur(s, kAll, 4, 4, passes, t);  // a 5-pixel box
        EXPECT_NEAR(static_cast<double>(AlphaTotal(s)), 64.0 * 255, 64.0 * passes) << passes;
        EXPECT_GT(s.Pixel(12 - 2 * passes, 16) >> 24, 0u);
        EXPECT_EQ(s.Pixel(11 - 2 * passes, 16), 0u);
        const uint32_t p = s.Pixel(13, 15);  // white stays grey: no channel above alpha
        EXPECT_EQ(p & 0xFF, p >> 24);
    }
}

TEST(Filters, VectorAndPortableBlurAgree) {
    std::mt19937 rng(7);
    for (int channels : {1, 4}) {
        for (int r : {0, 1, 3, 20, 70, 128, 200}) {
            // Widths and heights around the 16-byte steps, rows wider than the blurred span.
            for (auto [w, h, passes] : {std::array{37, 23, 3}, {1, 40, 2}, {15, 33, 1}, {49, 67, 3}}) {
                const int stride = w * channels + 3;
                std::vector<uint8_t> a(static_cast<size_t>(stride) * h);
                for (uint8_t& v : a) v = static_cast<uint8_t>(rng());
                std::vector<uint8_t> b = a;
                FilterScratch t;
                detail::BoxBlurPlane(a.data(), stride, w, h, channels, r, r + 1, passes, t, true);
                detail::BoxBlurPlane(b.data(), stride, w, h, channels, r, r + 1, passes, t, false);
                EXPECT_EQ(a, b) << channels << " " << r << " " << w;
            }
        }
    }
}

TEST(Filters, BadInputIsHarmless) {
    FilterScratch t;
    Surface s = Square();
    Blur(s, kAll, 1e9, -5, 1000, t);
    Blur(s, IntRect{40, 40, 10, 10}, 4, 4, 1, t);
    EffectFilter f = Shadow(Rgba{}, std::nan(""), 1e300);
    f.blurX = 1e12;
    f.strength = -3;
    ApplyEffect(s, IntRect{-5, -5, 100, 100}, f, t);
    ApplyConvolution(s, kAll, ConvolutionFilter{255, 255, {1}, 0, 0, true, true, {}}, t);
    Surface empty(0, 0);
    Blur(empty, kAll, 4, 4, 1, t);
    SUCCEED();
}

}  // namespace
