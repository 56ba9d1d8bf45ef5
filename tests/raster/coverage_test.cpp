// Exact-area coverage, fill0/fill1 sides and the one-sweep compound resolution of adjacent fills.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "test_util.h"

using namespace rt;

namespace {

uint32_t Alpha(const Surface& s, int x, int y) { return s.Pixel(x, y) >> 24; }

TEST(Coverage, IntegerRectangleIsExactAndSharp) {
    Surface s(20, 20);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(RectShape(5, 5, 15, 12, Solid(255, 0, 0)), PxMatrix(), {});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 5 && x < 15 && y >= 5 && y < 12;
            ASSERT_EQ(s.Pixel(x, y), in ? 0xFFFF0000u : 0u) << x << "," << y;
        }
}

TEST(Coverage, HalfPixelEdgesGiveHalfCoverage) {
    Surface s(20, 20);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(RectShape(4.5, 3.5, 10.5, 9.5, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_NEAR(Alpha(s, 4, 5), 128, 1);   // left edge
    EXPECT_NEAR(Alpha(s, 10, 5), 128, 1);  // right edge
    EXPECT_NEAR(Alpha(s, 6, 3), 128, 1);   // top edge
    EXPECT_NEAR(Alpha(s, 6, 9), 128, 1);   // bottom edge
    EXPECT_NEAR(Alpha(s, 4, 3), 64, 1);    // corner: a quarter
    EXPECT_EQ(Alpha(s, 6, 5), 255u);
    EXPECT_EQ(Alpha(s, 3, 5), 0u);
    EXPECT_EQ(Alpha(s, 11, 5), 0u);
}

TEST(Coverage, DiagonalEdgeCoversHalfOfEachCellItHalves) {
    // Triangle (0,0)-(10,0)-(10,10): the diagonal passes through cell corners, halving them.
    Surface s(12, 12);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.SetQuality(Quality::Exact);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    auto& e = sh.layers[0].edges;
    e.push_back(Line(0, 0, 10, 0, 0, 1));
    e.push_back(Line(10, 0, 10, 10, 0, 1));
    e.push_back(Line(10, 10, 0, 0, 0, 1));
    r.DrawShape(sh, PxMatrix(), {});
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(Alpha(s, i, i), 128, 1) << i;
    EXPECT_EQ(Alpha(s, 5, 2), 255u);
    EXPECT_EQ(Alpha(s, 2, 5), 0u);
}

TEST(Coverage, CoverageSumsToShapeArea) {
    Surface s(64, 64);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.SetQuality(Quality::Exact);
    // Triangle with area 0.5*40*30 = 600 px at awkward positions.
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    auto& e = sh.layers[0].edges;
    e.push_back(Line(3.3, 7.1, 43.3, 7.1, 0, 1));
    e.push_back(Line(43.3, 7.1, 13.7, 37.1, 0, 1));
    e.push_back(Line(13.7, 37.1, 3.3, 7.1, 0, 1));
    r.DrawShape(sh, PxMatrix(), {});
    double sum = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) sum += Alpha(s, x, y) / 255.0;
    EXPECT_NEAR(sum, 600.0, 1.5);
}

TEST(Coverage, EveryPixelMatchesTheExactArea) {
    // A rotated square at sub-pixel offsets: each pixel's alpha against its covered area measured
    // by dense supersampling (convex polygon, point-in-polygon by edge sides).
    const double cx = 16.37, cy = 15.81, h = 9.3, ang = 0.41;
    double px[4], py[4];
    for (int i = 0; i < 4; ++i) {
        const double a = ang + i * 3.14159265358979 / 2;
        px[i] = cx + h * std::cos(a);
        py[i] = cy + h * std::sin(a);
    }
    Surface s(32, 32);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.SetQuality(Quality::Exact);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    for (int i = 0; i < 4; ++i)
        sh.layers[0].edges.push_back(Line(px[i], py[i], px[(i + 1) % 4], py[(i + 1) % 4], 0, 1));
    r.DrawShape(sh, PxMatrix(), {});
    // Shape coordinates go through twips as floats; use the same rounded values for the reference.
    for (int i = 0; i < 4; ++i) {
        px[i] = static_cast<float>(px[i] * 20) / 20.0;
        py[i] = static_cast<float>(py[i] * 20) / 20.0;
    }
    auto inside = [&](double x, double y) {
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            if ((px[j] - px[i]) * (y - py[i]) - (py[j] - py[i]) * (x - px[i]) < 0) return false;
        }
        return true;
    };
    constexpr int kSs = 32;
    double worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int hits = 0;
            for (int sy = 0; sy < kSs; ++sy)
                for (int sx = 0; sx < kSs; ++sx) hits += inside(x + (sx + 0.5) / kSs, y + (sy + 0.5) / kSs);
            const double exact = 255.0 * hits / (kSs * kSs);
            worst = std::max(worst, std::fabs(exact - A(s.Pixel(x, y))));
        }
    // Sampling error of the reference is about 1/32 of a pixel edge: allow 3 levels.
    EXPECT_LE(worst, 3.0);
}

TEST(Coverage, Fill0IsLeftAndFill1IsRightOfTheEdge) {
    // Counter-clockwise on screen puts the inside on the left: fill0 fills it.
    Surface s(10, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(0, 255, 0));
    auto& e = sh.layers[0].edges;
    e.push_back(Line(2, 2, 2, 8, 1, 0));
    e.push_back(Line(2, 8, 8, 8, 1, 0));
    e.push_back(Line(8, 8, 8, 2, 1, 0));
    e.push_back(Line(8, 2, 2, 2, 1, 0));
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(s.Pixel(5, 5), 0xFF00FF00u);
    EXPECT_EQ(s.Pixel(1, 5), 0u);
    EXPECT_EQ(s.Pixel(9, 5), 0u);
}

TEST(Coverage, AdjacentFillsSharingAnEdgeLeaveNoSeam) {
    // Two fills meet along a shared edge at x = 10.5: the boundary pixel must be the exact 50/50
    // mix of both with none of the white background showing through.
    Surface s(21, 10);
    s.Clear(Rgba{255, 255, 255, 255});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    Layer& l = sh.layers[0];
    l.fills.push_back(Solid(255, 0, 0));
    l.fills.push_back(Solid(0, 0, 255));
    // Outline of the union walked clockwise (inside on the right), shared edge carries both styles.
    l.edges.push_back(Line(0, 0, 10.5, 0, 0, 1));
    l.edges.push_back(Line(10.5, 0, 21, 0, 0, 2));
    l.edges.push_back(Line(21, 0, 21, 10, 0, 2));
    l.edges.push_back(Line(21, 10, 10.5, 10, 0, 2));
    l.edges.push_back(Line(10.5, 10, 0, 10, 0, 1));
    l.edges.push_back(Line(0, 10, 0, 0, 0, 1));
    l.edges.push_back(Line(10.5, 0, 10.5, 10, 2, 1));  // walking down: blue (+x) on the left, red on the right
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(s.Pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(s.Pixel(15, 5), 0xFF0000FFu);
    const uint32_t p = s.Pixel(10, 5);
    EXPECT_EQ(A(p), 255u);
    EXPECT_NEAR(R(p), 128, 1);
    EXPECT_NEAR(B(p), 128, 1);
    EXPECT_LE(G(p), 1u);  // the white background does not show through
}

TEST(Coverage, AdjacentFillsOnADiagonalSumToFull) {
    // A square split along its diagonal into two styles: every pixel is fully opaque.
    Surface s(16, 16);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    Layer& l = sh.layers[0];
    l.fills.push_back(Solid(255, 0, 0, 255));
    l.fills.push_back(Solid(0, 255, 0, 255));
    l.edges.push_back(Line(1.3, 1.3, 14.3, 1.3, 0, 1));
    l.edges.push_back(Line(14.3, 1.3, 14.3, 14.3, 0, 1));
    l.edges.push_back(Line(14.3, 14.3, 1.3, 14.3, 0, 2));
    l.edges.push_back(Line(1.3, 14.3, 1.3, 1.3, 0, 2));
    l.edges.push_back(Line(1.3, 1.3, 14.3, 14.3, 1, 2));  // upper-right on the left
    r.DrawShape(sh, PxMatrix(), {});
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x) {
            const uint32_t p = s.Pixel(x, y);
            ASSERT_EQ(A(p), 255u) << x << "," << y;
            ASSERT_NEAR(R(p) + G(p), 255, 1) << x << "," << y;
        }
}

TEST(Coverage, ManyFillsInOneRowResolveInAnyEdgeOrder) {
    // 60 stripes 1.5 px wide, alternating red and blue, edges shared and listed in scrambled
    // order: rows with many cells take the bulk sort; every pixel is opaque and an exact mix.
    const int n = 60;
    Surface s(100, 6);
    s.Clear(Rgba{0, 255, 0, 255});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    Layer& l = sh.layers[0];
    l.fills.push_back(Solid(255, 0, 0));
    l.fills.push_back(Solid(0, 0, 255));
    std::vector<Edge> edges;
    for (int i = 0; i <= n; ++i) {
        const double x = 2 + 1.5 * i;
        const uint16_t east = i < n ? static_cast<uint16_t>(1 + (i & 1)) : 0;
        const uint16_t west = i > 0 ? static_cast<uint16_t>(1 + ((i - 1) & 1)) : 0;
        edges.push_back(Line(x, 1, x, 5, east, west));  // walking down: east on the left
        if (i < n) {
            edges.push_back(Line(x, 1, x + 1.5, 1, 0, east));
            edges.push_back(Line(x + 1.5, 5, x, 5, 0, east));
        }
    }
    for (size_t i = 0; i < edges.size(); ++i) l.edges.push_back(edges[(i * 37) % edges.size()]);
    ASSERT_EQ(l.edges.size(), edges.size());
    r.DrawShape(sh, PxMatrix(), {});
    for (int x = 2; x < 92; ++x) {
        const uint32_t p = s.Pixel(x, 3);
        ASSERT_EQ(A(p), 255u) << x;
        ASSERT_LE(G(p), 1u) << x;  // no background
        ASSERT_NEAR(R(p) + B(p), 255, 1) << x;
        // Stripe k covers [2 + 1.5k, 3.5 + 1.5k): red share of pixel x is its overlap with red stripes.
        double red = 0;
        for (int k = 0; k < n; k += 2) {
            const double a = 2 + 1.5 * k, b = a + 1.5;
            red += std::max(0.0, std::min<double>(b, x + 1) - std::max<double>(a, x));
        }
        ASSERT_NEAR(R(p), red * 255, 1.5) << x;
    }
}

TEST(Coverage, SameStyleOnBothSidesIsNoBoundary) {
    Surface s(10, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh = RectShape(1, 1, 9, 9, Solid(255, 255, 255));
    sh.layers[0].edges.push_back(Line(5.5, 1, 5.5, 9, 1, 1));  // internal edge, same fill both sides
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(s.Pixel(5, 5), 0xFFFFFFFFu);
}

TEST(Coverage, HoleFromInnerContourWithOppositeSides) {
    // Outer square with fill on its right (clockwise), inner square also clockwise but with the
    // fill on its left: the inside of the inner square is empty.
    Surface s(20, 20);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    AddRect(sh.layers[0].edges, 2, 2, 18, 18, 0, 1);
    AddRect(sh.layers[0].edges, 6, 6, 14, 14, 1, 0);
    r.DrawShape(sh, PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(4, 10)), 255u);
    EXPECT_EQ(A(s.Pixel(10, 10)), 0u);
}

TEST(Coverage, TranslucentFillBlendsSourceOver) {
    Surface s(4, 4);
    s.Clear(Rgba{0, 0, 255, 255});
    Renderer r(s);
    r.DrawShape(RectShape(0, 0, 4, 4, Solid(255, 0, 0, 128)), PxMatrix(), {});
    const uint32_t p = s.Pixel(1, 1);
    EXPECT_EQ(A(p), 255u);
    EXPECT_NEAR(R(p), 128, 1);
    EXPECT_NEAR(B(p), 127, 1);
}

TEST(Coverage, TranslucentSpanMatchesSourceOverEverywhere) {
    // Wide spans take the vector path; check each pixel against the blend equation.
    Surface s(37, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 37; ++x) s.Row(y)[x] = Argb(255, x * 7, 255 - x * 5, (x * 31) & 255);
    const Surface before = s;
    Renderer r(s);
    r.DrawShape(RectShape(0, 0, 37, 3, Solid(40, 200, 90, 77)), PxMatrix(), {});
    const double a = 77 / 255.0;
    for (int x = 0; x < 37; ++x) {
        const uint32_t d = before.Pixel(x, 1), p = s.Pixel(x, 1);
        ASSERT_EQ(A(p), 255u);
        ASSERT_NEAR(R(p), 40 * a + R(d) * (1 - a), 1.01) << x;
        ASSERT_NEAR(G(p), 200 * a + G(d) * (1 - a), 1.01) << x;
        ASSERT_NEAR(B(p), 90 * a + B(d) * (1 - a), 1.01) << x;
    }
}

TEST(Coverage, CurvesAreFlattenedSmoothly) {
    // A circle of radius 20 from four quads; area close to pi r^2 (quad circles bulge slightly).
    Surface s(64, 64);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    const double c = 32, rr = 20, k = rr * 0.41421356;  // tan(22.5deg)
    // Eight quads approximate the circle closely.
    double px = c + rr, py = c;
    for (int i = 1; i <= 8; ++i) {
        const double a = i * 3.14159265358979 / 4, am = (i - 0.5) * 3.14159265358979 / 4;
        const double qx = c + rr * std::cos(a), qy = c + rr * std::sin(a);
        const double kx = c + std::hypot(rr, k) * std::cos(am), ky = c + std::hypot(rr, k) * std::sin(am);
        sh.layers[0].edges.push_back(Quad(px, py, kx, ky, qx, qy, 1, 0));
        px = qx;
        py = qy;
    }
    r.DrawShape(sh, PxMatrix(), {});
    double sum = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) sum += Alpha(s, x, y) / 255.0;
    EXPECT_NEAR(sum, 3.14159265 * rr * rr, 0.02 * 3.14159 * rr * rr);
    EXPECT_EQ(Alpha(s, 32, 32), 255u);
    EXPECT_EQ(Alpha(s, 32, 10), 0u);
}

}  // namespace

namespace {

TEST(FillRule, EvenOddCancelsOverlapsOfOneStyleAtEveryCoverage) {
    // Style 1: two rectangles overlapping on [30.5, 50) x [0, 10); style 2 beside them in the same
    // rows, so both the one-style and the several-styles sweeps are used (rows 0-9 and 10-19).
    for (bool evenOdd : {false, true}) {
        Surface s(80, 20);
        s.Clear(Rgba{0, 0, 0, 0});
        Renderer r(s);
        Shape sh;
        sh.layers.emplace_back();
        Layer& l = sh.layers[0];
        l.evenOdd = evenOdd;
        l.fills = {Solid(255, 255, 255), Solid(255, 0, 0)};
        AddRect(l.edges, 10, 0, 50, 20, 0, 1);
        AddRect(l.edges, 30.5, 0, 60, 20, 0, 1);
        AddRect(l.edges, 70, 10, 75, 20, 0, 2);
        r.DrawShape(sh, PxMatrix(), {});
        for (int y : {5, 15}) {
            EXPECT_EQ(A(s.Pixel(20, y)), 255u) << y;
            EXPECT_EQ(A(s.Pixel(40, y)), evenOdd ? 0u : 255u) << y;  // wound twice
            EXPECT_EQ(A(s.Pixel(55, y)), 255u) << y;
            EXPECT_NEAR(int(A(s.Pixel(30, y))), evenOdd ? 128 : 255, 1) << y;  // half of the pixel wound twice
        }
        EXPECT_EQ(s.Pixel(72, 15), 0xFFFF0000u);
    }
}

}  // namespace

namespace {

// At low quality a pixel is painted, fully, exactly when its centre lies inside the shape, with
// the left and top edges inside and the right and bottom ones outside.
TEST(LowQuality, PaintsThePixelsWhoseCentresAreInside) {
    struct Case {
        double x0, y0, x1, y1;
        int px0, py0, px1, py1;  // painted: [px0, px1) x [py0, py1)
    };
    for (const Case& c : {Case{4.5, 3.5, 10.5, 9.5, 4, 3, 10, 9}, Case{4.4, 3.6, 10.6, 9.4, 4, 4, 11, 9},
                          Case{5, 5, 15, 12, 5, 5, 15, 12}, Case{6.2, 6.2, 6.8, 6.8, 6, 6, 7, 7},
                          Case{6.6, 6.6, 7.4, 7.4, 0, 0, 0, 0}}) {
        Surface s(20, 20);
        s.Clear(Rgba{0, 0, 0, 0});
        Renderer r(s);
        r.SetQuality(Quality::Low);
        r.DrawShape(RectShape(c.x0, c.y0, c.x1, c.y1, Solid(255, 0, 0)), PxMatrix(), {});
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool in = x >= c.px0 && x < c.px1 && y >= c.py0 && y < c.py1;
                ASSERT_EQ(s.Pixel(x, y), in ? 0xFFFF0000u : 0u) << c.x0 << "," << c.y0 << ": " << x << "," << y;
            }
    }
}

TEST(LowQuality, AOnePixelOutlineLandsOnTheColumnBeforeItsCentre) {
    // A square 0..60 px with a 1-px outline: the right side, centred on x = 60, lands wholly on
    // column 59; the bottom side on row 59, so row 60 stays empty.
    Surface s(64, 64);
    s.Clear(Rgba{255, 255, 255, 255});
    Renderer r(s);
    r.SetQuality(Quality::Low);
    Shape sh = RectShape(0, 0, 60, 60, Solid(0, 0, 255));
    Stroke st;
    st.width = 20;
    st.paint = Solid(255, 0, 0);
    sh.layers[0].strokes.push_back(st);
    for (Edge& e : sh.layers[0].edges) e.line = 1;
    r.DrawShape(sh, PxMatrix(), {});
    for (int i = 1; i < 59; ++i) {
        EXPECT_EQ(s.Pixel(58, i), 0xFF0000FFu) << i;
        EXPECT_EQ(s.Pixel(59, i) & s.Pixel(i, 59), 0xFFFF0000u) << i;
        EXPECT_EQ(s.Pixel(60, i) & s.Pixel(i, 60), 0xFFFFFFFFu) << i;
    }
}

}  // namespace

namespace {

// Medium and High sample n x n points a pixel (sub-scanlines at y + (i + 0.5) / n, crossings
// truncated to 1/n px), so a pixel holds floor(255 * k / n^2) for k covered samples and an opaque
// fill mixes into the pixel below as (src * a + dst * (255 - a)) >> 8.
TEST(SampledQuality, CoverageComesInWholeSamples) {
    struct Case {
        Quality q;
        double bottom;  // a white-on-black rectangle from row 2 to this y
        uint32_t a;     // coverage of row 5 (the partial row)
    };
    for (const Case& c :
         {Case{Quality::High, 5.05, 0}, Case{Quality::High, 5.15, 63}, Case{Quality::High, 5.30, 63},
          Case{Quality::High, 5.45, 127}, Case{Quality::High, 5.60, 127}, Case{Quality::High, 5.75, 191},
          Case{Quality::Medium, 5.30, 127}, Case{Quality::Medium, 5.20, 0}, Case{Quality::Best, 5.80, 191}}) {
        Surface s(12, 8);
        s.Clear(Rgba{0, 0, 0, 255});
        Renderer r(s);
        r.SetQuality(c.q);
        r.DrawShape(RectShape(2, 2, 10, c.bottom, Solid(255, 255, 255)), PxMatrix(), {});
        EXPECT_EQ(s.Pixel(4, 5), 0xFF000000u | (255 * c.a >> 8) * 0x010101u) << c.bottom;
        EXPECT_EQ(s.Pixel(4, 4), 0xFFFFFFFFu) << c.bottom;
    }
    // Half-covered white on white: (255 * 127 + 255 * 128) >> 8.
    Surface s(12, 8);
    s.Clear(Rgba{255, 255, 255, 255});
    Renderer r(s);
    r.DrawShape(RectShape(2, 2, 10, 5.5, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(4, 5), 0xFFFEFEFEu);
    // A slanted edge shows every level from 0 to 16 samples and no others.
    Surface w(80, 80);
    w.Clear(Rgba{0, 0, 0, 255});
    Renderer rw(w);
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].fills.push_back(Solid(255, 255, 255));
    auto& e = sh.layers[0].edges;
    e.push_back(Line(1.3, 1.1, 70.2, 9.7, 0, 1));
    e.push_back(Line(70.2, 9.7, 61.9, 78.6, 0, 1));
    e.push_back(Line(61.9, 78.6, 1.3, 1.1, 0, 1));
    rw.DrawShape(sh, PxMatrix(), {});
    std::set<uint32_t> levels;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) levels.insert(w.Pixel(x, y) & 0xFF);
    std::set<uint32_t> want;
    for (uint32_t k = 0; k <= 16; ++k) want.insert(k == 16 ? 255 : 255 * (255 * k / 16) >> 8);
    EXPECT_EQ(levels, want);
}

}  // namespace
