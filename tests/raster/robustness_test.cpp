// Hostile input: non-finite and huge coordinates, bad style indices, empty paints, odd surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "test_util.h"

using namespace rt;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Robustness, NonFiniteCoordinatesAreDropped) {
    Surface s(32, 32);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh = RectShape(4, 4, 20, 20, Solid(255, 255, 255));
    Edge bad = Line(0, 0, 10, 10, 0, 1, 1);
    bad.x1 = kNaN;
    sh.layers[0].edges.push_back(bad);
    bad.x1 = kInf;
    bad.kind = Edge::Kind::Quad;
    bad.cy = -kInf;
    sh.layers[0].edges.push_back(bad);
    sh.layers[0].strokes.push_back(Stroke{});
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(10, 10)), 255u);
    Matrix m = PxMatrix();
    m.tx = std::nan("");
    r.DrawShape(sh, m, {});
    m = PxMatrix();
    m.a = std::numeric_limits<double>::infinity();
    r.DrawShape(sh, m, {});
}

TEST(Robustness, HugeCoordinatesAndScalesFinishQuickly) {
    Surface s(64, 64);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    Stroke st;
    st.width = 1e30;
    sh.layers[0].strokes.push_back(st);
    auto& e = sh.layers[0].edges;
    e.push_back(Line(-1e30, -1e30, 1e30, -1e30, 0, 1, 1));
    e.push_back(Line(1e30, -1e30, 1e30, 1e30, 0, 1, 1));
    e.push_back(Line(1e30, 1e30, -1e30, 1e30, 0, 1, 1));
    e.push_back(Line(-1e30, 1e30, -1e30, -1e30, 0, 1, 1));
    e.push_back(Quad(-3e38, 0, 3e38, 3e38, 0, -3e38, 0, 0, 1));
    // Every pixel of the surface, compared with one value (the first that differs is reported).
    auto covered = [&s](uint32_t want) {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if (s.Pixel(x, y) != want)
                    return ::testing::AssertionFailure() << x << "," << y << ": " << s.Pixel(x, y);
        return ::testing::AssertionSuccess();
    };
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_TRUE(covered(0xFFFFFFFFu));  // the huge square and its stroke cover the whole surface
    Matrix big = PxMatrix();
    big.a = big.d = 1e12;
    r.DrawShape(RectShape(0, 0, 1, 1, Solid(1, 2, 3)), big, {});
    EXPECT_TRUE(covered(Argb(255, 1, 2, 3)));  // one twip scaled past the surface fills all of it
}

TEST(Robustness, BadStyleIndicesAreIgnored) {
    Surface s(16, 16);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    AddRect(sh.layers[0].edges, 2, 2, 14, 14, 7, 1, 9);  // fill0 7 and line 9 do not exist
    AddRect(sh.layers[0].edges, 0, 0, 16, 16, 65535, 65535, 65535);
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(8, 8)), 255u);
    EXPECT_EQ(A(s.Pixel(1, 1)), 0u);
}

TEST(Robustness, EmptyAndDegeneratePaints) {
    Surface s(16, 16);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Paint noStops;
    noStops.kind = Paint::Kind::Gradient;
    r.DrawShape(RectShape(0, 0, 16, 16, noStops), PxMatrix(), {});
    Paint flat;
    flat.kind = Paint::Kind::Gradient;
    flat.gradient.stops = {{0, Rgba{255, 0, 0, 255}}};
    flat.gradient.matrix.a = flat.gradient.matrix.d = 0;  // singular square
    r.DrawShape(RectShape(0, 0, 16, 16, flat), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(8, 8), 0xFFFF0000u);
    Paint noBitmap;
    noBitmap.kind = Paint::Kind::Bitmap;
    r.DrawShape(RectShape(0, 0, 16, 16, noBitmap), PxMatrix(), {});
    auto shortPixels = std::make_shared<Bitmap>();
    shortPixels->width = 100;
    shortPixels->height = 100;
    shortPixels->pixels.resize(10);
    noBitmap.bitmap = shortPixels;
    r.DrawShape(RectShape(0, 0, 16, 16, noBitmap), PxMatrix(), {});
    Paint none;
    none.kind = Paint::Kind::None;
    r.DrawShape(RectShape(0, 0, 16, 16, none), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(8, 8), 0xFFFF0000u);
    r.DrawShape(Shape{}, PxMatrix(), {});
    Shape emptyLayer;
    emptyLayer.layers.emplace_back();
    r.DrawShape(emptyLayer, PxMatrix(), {});
}

TEST(Robustness, OpenOutlineDoesNotSmearIntoOtherRows) {
    Surface s(16, 16);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    sh.layers[0].edges.push_back(Line(4, 4, 4, 8, 1, 0));  // a lone edge
    r.DrawShape(sh, PxMatrix(), {});
    for (int x = 0; x < 16; ++x) {
        ASSERT_EQ(A(s.Pixel(x, 2)), 0u);
        ASSERT_EQ(A(s.Pixel(x, 10)), 0u);
    }
}

TEST(Robustness, OffSurfaceAndTinySurfaces) {
    Surface zero(0, 0);
    Renderer rz(zero);
    rz.DrawShape(RectShape(0, 0, 10, 10, Solid(1, 1, 1)), PxMatrix(), {});
    rz.BeginClip();
    rz.EndClipDefinition();
    rz.PopClip();
    Surface neg(-5, 3);
    EXPECT_EQ(neg.Width(), 0);
    Surface s(8, 8);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(RectShape(-100, -100, -50, -50, Solid(255, 255, 255)), PxMatrix(), {});
    r.DrawShape(RectShape(100, 100, 150, 150, Solid(255, 255, 255)), PxMatrix(), {});
    r.DrawShape(RectShape(-100, 2, 4, 4, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(0, 3)), 255u);  // clamped at the left edge, winding kept
    EXPECT_EQ(A(s.Pixel(5, 3)), 0u);
    r.DrawShape(RectShape(6, 5, 1000, 6, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(7, 5)), 255u);
    r.SetClipRect(5, 5, 2, 2);      // inverted: normalised
    r.SetClipRect(20, 20, 30, 30);  // fully outside: nothing drawn
    r.DrawShape(RectShape(0, 0, 8, 8, Solid(255, 0, 0)), PxMatrix(), {});
    EXPECT_NE(s.Pixel(0, 0), 0xFFFF0000u);
}

TEST(Robustness, ManyOverlappingEdgesStayBounded) {
    // Thousands of coincident contours through one pixel: coverage saturates, nothing overflows.
    Surface s(8, 8);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255, 255));
    for (int i = 0; i < 5000; ++i) AddRect(sh.layers[0].edges, 2.25, 2.25, 5.75, 5.75, 0, 1);
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(3, 3)), 255u);
    EXPECT_GE(A(s.Pixel(2, 3)), 191u);  // winding 5000 on a 3/4-covered pixel saturates
    EXPECT_EQ(A(s.Pixel(6, 3)), 0u);
}

}  // namespace

namespace {

TEST(Robustness, RandomShapesNeverBreakPremultipliedPixels) {
    // Random edges, styles (some out of range), widths and matrices; every pixel must stay a valid
    // premultiplied colour and the renderer must come back.
    uint32_t seed = 12345;
    auto rnd = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto coord = [&]() -> float {
        const uint32_t k = rnd() % 100;
        if (k == 0) return 1e30f;
        if (k == 1) return -1e30f;
        return static_cast<float>(static_cast<int>(rnd() % 1600) - 200);
    };
    Surface s(64, 48);
    Renderer r(s);
    for (int iter = 0; iter < 200; ++iter) {
        s.Clear(Rgba{10, 20, 30, static_cast<uint8_t>(rnd() & 255)});
        Shape sh;
        sh.layers.resize(1 + rnd() % 2);
        for (Layer& l : sh.layers) {
            const int nf = static_cast<int>(rnd() % 4), ns = static_cast<int>(rnd() % 3);
            for (int i = 0; i < nf; ++i) l.fills.push_back(Solid(rnd() & 255, rnd() & 255, rnd() & 255, rnd() & 255));
            for (int i = 0; i < ns; ++i) {
                Stroke st;
                st.width = static_cast<double>(rnd() % 400);
                st.paint = Solid(rnd() & 255, rnd() & 255, rnd() & 255, rnd() & 255);
                st.join = static_cast<Join>(rnd() % 3);
                st.startCap = static_cast<Cap>(rnd() % 3);
                st.endCap = static_cast<Cap>(rnd() % 3);
                st.miterLimit = (rnd() % 50) / 10.0;
                st.noClose = rnd() & 1;
                l.strokes.push_back(st);
            }
            const int ne = static_cast<int>(rnd() % 30);
            float x = coord(), y = coord();
            for (int i = 0; i < ne; ++i) {
                Edge e;
                e.kind = (rnd() & 1) ? Edge::Kind::Quad : Edge::Kind::Line;
                e.x0 = x;
                e.y0 = y;
                e.cx = coord();
                e.cy = coord();
                e.x1 = x = coord();
                e.y1 = y = coord();
                e.fill0 = static_cast<uint16_t>(rnd() % 6);
                e.fill1 = static_cast<uint16_t>(rnd() % 6);
                e.line = static_cast<uint16_t>(rnd() % 5);
                l.edges.push_back(e);
            }
        }
        Matrix m;
        m.a = ((rnd() % 200) - 100) / 1000.0;
        m.b = ((rnd() % 200) - 100) / 4000.0;
        m.c = ((rnd() % 200) - 100) / 4000.0;
        m.d = ((rnd() % 200) - 100) / 1000.0;
        m.tx = static_cast<double>(rnd() % 64);
        m.ty = static_cast<double>(rnd() % 48);
        const bool clip = (rnd() % 4) == 0;
        if (clip) r.BeginClip();
        r.DrawShape(sh, m, {});
        if (clip) {
            r.EndClipDefinition();
            r.DrawShape(sh, m, {});
            r.PopClip();
        }
        for (int py = 0; py < 48; ++py)
            for (int px = 0; px < 64; ++px) {
                const uint32_t p = s.Pixel(px, py);
                ASSERT_LE(R(p), A(p)) << iter;
                ASSERT_LE(G(p), A(p)) << iter;
                ASSERT_LE(B(p), A(p)) << iter;
            }
    }
    EXPECT_EQ(r.ClipDepth(), 0);
}

}  // namespace
