// Strokes: width under the matrix, caps, joins with the miter limit, hairlines, scaling flags.
#include <gtest/gtest.h>

#include "test_util.h"

using namespace rt;

namespace {

Stroke MakeStroke(double widthPx, Cap cap, Join join = Join::Round) {
    Stroke s;
    s.width = widthPx * 20;
    s.paint = Solid(0, 0, 0);
    s.startCap = s.endCap = cap;
    s.join = join;
    return s;
}

Shape StrokeShape(const Stroke& st, const std::vector<Edge>& edges) {
    Shape sh;
    sh.layers.emplace_back();
    sh.layers[0].strokes.push_back(st);
    sh.layers[0].edges = edges;
    for (Edge& e : sh.layers[0].edges) e.line = 1;
    return sh;
}

Surface Draw(const Shape& sh, int w, int h, Matrix m = PxMatrix()) {
    Surface s(w, h);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.DrawShape(sh, m, {});
    return s;
}

int ColumnSum(const Surface& s, int x) {
    int sum = 0;
    for (int y = 0; y < s.Height(); ++y) sum += static_cast<int>(A(s.Pixel(x, y)));
    return sum;
}

int RowSum(const Surface& s, int y) {
    int sum = 0;
    for (int x = 0; x < s.Width(); ++x) sum += static_cast<int>(A(s.Pixel(x, y)));
    return sum;
}

TEST(StrokeTest, WidthIsExactAcrossTheLine) {
    const Surface s = Draw(StrokeShape(MakeStroke(4, Cap::None), {Line(10, 20, 50, 20, 0, 0)}), 64, 40);
    for (int y = 18; y < 22; ++y) EXPECT_EQ(A(s.Pixel(30, y)), 255u) << y;
    EXPECT_EQ(A(s.Pixel(30, 17)), 0u);
    EXPECT_EQ(A(s.Pixel(30, 22)), 0u);
    EXPECT_NEAR(ColumnSum(s, 30), 4 * 255, 2);
}

TEST(StrokeTest, CapsExtendOrNot) {
    const std::vector<Edge> line = {Line(10, 20, 50, 20, 0, 0)};
    const Surface none = Draw(StrokeShape(MakeStroke(4, Cap::None), line), 64, 40);
    const Surface square = Draw(StrokeShape(MakeStroke(4, Cap::Square), line), 64, 40);
    const Surface round = Draw(StrokeShape(MakeStroke(4, Cap::Round), line), 64, 40);
    EXPECT_EQ(A(none.Pixel(9, 20)), 0u);
    EXPECT_EQ(A(none.Pixel(10, 20)), 255u);
    EXPECT_EQ(A(none.Pixel(50, 20)), 0u);
    // Square: half the width beyond each end.
    EXPECT_EQ(A(square.Pixel(8, 18)), 255u);
    EXPECT_EQ(A(square.Pixel(51, 21)), 255u);
    EXPECT_EQ(A(square.Pixel(7, 20)), 0u);
    EXPECT_EQ(A(square.Pixel(52, 20)), 0u);
    // Round: reaches out on the axis, not into the corners.
    EXPECT_GT(A(round.Pixel(8, 20)), 200u);
    EXPECT_LT(A(round.Pixel(8, 18)), 100u);
    // Each cap adds the half-disc's width: about 1.91 px per row at rows 19 and 20.
    EXPECT_NEAR(RowSum(round, 19) + RowSum(round, 20), 2 * RowSum(none, 19) + 2 * 2 * 1.91 * 255, 200);
}

// An L-shaped corner at (40, 40): in from the left, out upwards.
std::vector<Edge> Corner(double turn) { return {Line(10, 40, 40, 40, 0, 0), Line(40, 40, 40 + turn, 10, 0, 0)}; }

TEST(StrokeTest, MiterBevelAndRoundJoins) {
    const Surface miter = Draw(StrokeShape(MakeStroke(8, Cap::None, Join::Miter), Corner(0)), 64, 64);
    const Surface bevel = Draw(StrokeShape(MakeStroke(8, Cap::None, Join::Bevel), Corner(0)), 64, 64);
    const Surface round = Draw(StrokeShape(MakeStroke(8, Cap::None, Join::Round), Corner(0)), 64, 64);
    // The outer corner square (40..44, 40..44): the miter fills it, the bevel cuts it diagonally.
    EXPECT_EQ(A(miter.Pixel(43, 43)), 255u);
    EXPECT_EQ(A(bevel.Pixel(43, 43)), 0u);
    EXPECT_EQ(A(bevel.Pixel(40, 40)), 255u);
    EXPECT_EQ(A(round.Pixel(43, 43)), 0u);  // outside the radius-4 arc
    EXPECT_EQ(A(round.Pixel(41, 42)), 255u);
    EXPECT_GT(A(round.Pixel(42, 42)), 150u);  // partly outside the arc
    EXPECT_GT(A(round.Pixel(42, 42)), A(bevel.Pixel(42, 43)));
}

TEST(StrokeTest, MiterLimitFallsBackToBevel) {
    // A sharp turn (about 18 degrees between the legs): the miter would be ~6x half the width.
    Stroke st = MakeStroke(6, Cap::None, Join::Miter);
    const std::vector<Edge> v = {Line(10, 50, 60, 50, 0, 0), Line(60, 50, 10, 34, 0, 0)};
    st.miterLimit = 3;
    const Surface limited = Draw(StrokeShape(st, v), 100, 80);
    st.miterLimit = 20;
    const Surface full = Draw(StrokeShape(st, v), 100, 80);
    int tipLimited = 0, tipFull = 0;
    for (int x = 66; x < 100; ++x)
        for (int y = 40; y < 60; ++y) {
            tipLimited += static_cast<int>(A(limited.Pixel(x, y)));
            tipFull += static_cast<int>(A(full.Pixel(x, y)));
        }
    EXPECT_EQ(tipLimited, 0);
    EXPECT_GT(tipFull, 255 * 10);
}

TEST(StrokeTest, HairlineIsOnePixel) {
    // Width 0 and width 0.2 px both draw one device pixel.
    for (double w : {0.0, 0.2}) {
        const Surface s = Draw(StrokeShape(MakeStroke(w, Cap::None), {Line(5, 10.5, 30, 10.5, 0, 0)}), 40, 20);
        EXPECT_EQ(A(s.Pixel(15, 10)), 255u) << w;
        EXPECT_EQ(A(s.Pixel(15, 9)), 0u) << w;
        EXPECT_EQ(A(s.Pixel(15, 11)), 0u) << w;
    }
    // Off the pixel grid the single pixel of ink spreads over two rows.
    const Surface s = Draw(StrokeShape(MakeStroke(0, Cap::None), {Line(5, 10, 30, 10, 0, 0)}), 40, 20);
    EXPECT_NEAR(ColumnSum(s, 15), 255, 2);
}

TEST(StrokeTest, WidthScalesWithTheMatrixUnlessFlagged) {
    Matrix m = PxMatrix();
    m.a = m.d = 2.0 / 20.0;  // twice the size
    const std::vector<Edge> line = {Line(5, 10, 25, 10, 0, 0)};
    const Surface scaled = Draw(StrokeShape(MakeStroke(2, Cap::None), line), 64, 40, m);
    EXPECT_NEAR(ColumnSum(scaled, 30), 4 * 255, 2);
    Stroke st = MakeStroke(2, Cap::None);
    st.noHScale = st.noVScale = true;
    const Surface fixed = Draw(StrokeShape(st, line), 64, 40, m);
    EXPECT_NEAR(ColumnSum(fixed, 30), 2 * 255, 2);
    // A tiny matrix still leaves a one-pixel line.
    m.a = m.d = 0.01 / 20.0;
    const Surface tiny = Draw(StrokeShape(MakeStroke(2, Cap::None), {Line(0, 1000, 4000, 1000, 0, 0)}), 64, 40, m);
    EXPECT_NEAR(ColumnSum(tiny, 20), 255, 2);
}

TEST(StrokeTest, ClosedPathsJoinUnlessNoClose) {
    std::vector<Edge> sq;
    AddRect(sq, 10, 10, 30, 30, 0, 0);
    Stroke st = MakeStroke(4, Cap::None, Join::Miter);
    const Surface closed = Draw(StrokeShape(st, sq), 40, 40);
    EXPECT_EQ(A(closed.Pixel(8, 8)), 255u);  // start corner mitred like the others
    EXPECT_EQ(A(closed.Pixel(31, 8)), 255u);
    EXPECT_EQ(A(closed.Pixel(20, 20)), 0u);  // hollow
    st.noClose = true;
    const Surface open = Draw(StrokeShape(st, sq), 40, 40);
    EXPECT_EQ(A(open.Pixel(8, 8)), 0u);  // butt ends meet without a join
    EXPECT_EQ(A(open.Pixel(31, 8)), 255u);
}

TEST(StrokeTest, StrokesDrawOverFillsOfTheLayer) {
    Shape sh = RectShape(10, 10, 30, 30, Solid(255, 0, 0));
    sh.layers[0].strokes.push_back(MakeStroke(2, Cap::Round));
    sh.layers[0].strokes[0].paint = Solid(0, 0, 255);
    for (Edge& e : sh.layers[0].edges) e.line = 1;
    const Surface s = Draw(sh, 40, 40);
    EXPECT_EQ(s.Pixel(20, 10), 0xFF0000FFu);
    EXPECT_EQ(s.Pixel(20, 20), 0xFFFF0000u);
}

TEST(StrokeTest, CurvedStrokeHasEvenWidth) {
    // Quarter circle of radius 20 stroked 3 px wide: ink in a ring of that width.
    const Surface s = Draw(StrokeShape(MakeStroke(3, Cap::None), {Quad(40, 20, 40, 40, 20, 40, 0, 0)}), 64, 64);
    double sum = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) sum += A(s.Pixel(x, y)) / 255.0;
    // Length of the quad is about 32.5 px.
    EXPECT_NEAR(sum, 3 * 32.5, 3);
}

}  // namespace

namespace {

TEST(Stroke, ThinLinesAreHintedToWholePixelsOnlyWhereStraight) {
    // A hairline square from (10.3, 10.3) to (30.3, 30.3) and a diagonal: the square's sides cover
    // whole rows and columns (row 10, column 30), the diagonal keeps its partial pixels. A 2-px
    // line without the pixel-hinting flag is left alone.
    Stroke hair = MakeStroke(0, Cap::None, Join::Miter);
    std::vector<Edge> square;
    AddRect(square, 10.3, 10.3, 30.3, 30.3, 0, 0);
    const Surface s = Draw(StrokeShape(hair, square), 40, 40);
    for (int i = 12; i < 29; ++i) {
        EXPECT_EQ(A(s.Pixel(i, 10)) & A(s.Pixel(30, i)), 255u) << i;
        EXPECT_EQ(A(s.Pixel(i, 9)) | A(s.Pixel(i, 11)), 0u) << i;
    }
    const Surface d = Draw(StrokeShape(hair, {Line(2.5, 2.5, 37.5, 20.25, 0, 0)}), 40, 40);
    int partial = 0;
    for (int x = 5; x < 35; ++x)
        for (int y = 0; y < 40; ++y) partial += A(d.Pixel(x, y)) > 0 && A(d.Pixel(x, y)) < 255;
    EXPECT_GT(partial, 20);
    const Surface w = Draw(StrokeShape(MakeStroke(2, Cap::None, Join::Miter), square), 40, 40);
    EXPECT_GT(A(w.Pixel(20, 11)), 0u);
    EXPECT_LT(A(w.Pixel(20, 11)), 255u);
}

}  // namespace
