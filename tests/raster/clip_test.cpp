// Clip layers: 8-bit masks, nesting by intersection, popping, anti-aliased mask edges.
#include <gtest/gtest.h>

#include "test_util.h"

using namespace rt;

namespace {

TEST(Clip, MaskLimitsDrawing) {
    Surface s(40, 40);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 20, 40, Solid(1, 2, 3, 10)), PxMatrix(), {});  // colour/alpha do not matter
    r.EndClipDefinition();
    EXPECT_EQ(s.Pixel(5, 5), 0u);  // the mask itself is not drawn
    r.DrawShape(RectShape(0, 0, 40, 40, Solid(255, 0, 0)), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(s.Pixel(25, 5), 0u);
    r.PopClip();
    r.DrawShape(RectShape(30, 30, 40, 40, Solid(0, 255, 0)), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(35, 35), 0xFF00FF00u);
}

TEST(Clip, NestedMasksIntersectAndPopInOrder) {
    Surface s(40, 40);
    Renderer r(s);
    auto full = [&](Rgba c) { r.DrawShape(RectShape(0, 0, 40, 40, Solid(c.r, c.g, c.b)), PxMatrix(), {}); };
    s.Clear(Rgba{0, 0, 0, 255});
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 20, 40, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 40, 20, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();
    EXPECT_EQ(r.ClipDepth(), 2);
    full(Rgba{255, 0, 0, 255});
    EXPECT_EQ(s.Pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(s.Pixel(25, 5), 0xFF000000u);
    EXPECT_EQ(s.Pixel(5, 25), 0xFF000000u);
    r.PopClip();
    s.Clear(Rgba{0, 0, 0, 255});
    full(Rgba{0, 255, 0, 255});
    EXPECT_EQ(s.Pixel(5, 25), 0xFF00FF00u);
    EXPECT_EQ(s.Pixel(25, 5), 0xFF000000u);
    r.PopClip();
    full(Rgba{0, 0, 255, 255});
    EXPECT_EQ(s.Pixel(25, 5), 0xFF0000FFu);
    EXPECT_EQ(r.ClipDepth(), 0);
}

TEST(Clip, TransparentAndGradientFillsStillMask) {
    Surface s(30, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0, 0)), PxMatrix(), {});
    Paint noStops;
    noStops.kind = Paint::Kind::Gradient;  // unusable as a paint, still a shape
    r.DrawShape(RectShape(20, 0, 30, 10, noStops), PxMatrix(), {});
    r.EndClipDefinition();
    r.DrawShape(RectShape(0, 0, 30, 10, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(5, 5)), 255u);
    EXPECT_EQ(A(s.Pixel(15, 5)), 0u);
    EXPECT_EQ(A(s.Pixel(25, 5)), 255u);
}

TEST(Clip, MaskEdgesAreAntiAliased) {
    Surface s(20, 4);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 10.5, 4, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();
    r.DrawShape(RectShape(0, 0, 20, 4, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_NEAR(A(s.Pixel(10, 1)), 128, 1);
    EXPECT_EQ(A(s.Pixel(9, 1)), 255u);
    EXPECT_EQ(A(s.Pixel(11, 1)), 0u);
}

TEST(Clip, SeveralShapesMakeOneMaskAndStrokesDoNotMask) {
    Surface s(40, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
    Shape second = RectShape(20, 0, 30, 10, Solid(0, 0, 0));
    Stroke st;
    st.width = 200;
    for (Edge& e : second.layers[0].edges) e.line = 1;
    second.layers[0].strokes.push_back(st);
    r.DrawShape(second, PxMatrix(), {});
    r.EndClipDefinition();
    r.DrawShape(RectShape(0, 0, 40, 10, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(5, 5)), 255u);
    EXPECT_EQ(A(s.Pixel(25, 5)), 255u);
    EXPECT_EQ(A(s.Pixel(15, 5)), 0u);
    EXPECT_EQ(A(s.Pixel(33, 5)), 0u);  // where only the mask's stroke was
}

TEST(Clip, ScissorRectangle) {
    Surface s(20, 20);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.SetClipRect(5, 5, 10, 10);
    r.DrawShape(RectShape(0, 0, 20, 20, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(7, 7)), 255u);
    EXPECT_EQ(A(s.Pixel(4, 7)), 0u);
    EXPECT_EQ(A(s.Pixel(10, 7)), 0u);
    EXPECT_EQ(A(s.Pixel(7, 10)), 0u);
    r.SetClipRect(-100, -100, 1000, 1000);  // clamped to the surface
    r.DrawShape(RectShape(0, 0, 20, 20, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(19, 19)), 255u);
}

TEST(Clip, UnbalancedAndDeepNestingIsHarmless) {
    Surface s(16, 16);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.PopClip();
    r.EndClipDefinition();
    for (int i = 0; i < 100; ++i) {
        r.BeginClip();
        r.DrawShape(RectShape(0, 0, 8, 16, Solid(0, 0, 0)), PxMatrix(), {});
        r.EndClipDefinition();
    }
    r.DrawShape(RectShape(0, 0, 16, 16, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(4, 4)), 255u);
    EXPECT_EQ(A(s.Pixel(12, 4)), 0u);
    for (int i = 0; i < 100; ++i) r.PopClip();
    EXPECT_EQ(r.ClipDepth(), 0);
    r.DrawShape(RectShape(0, 0, 16, 16, Solid(255, 0, 0)), PxMatrix(), {});
    EXPECT_EQ(s.Pixel(12, 4), 0xFFFF0000u);
}

TEST(Clip, ClipLayersInsideAMaskDefinitionKeepTheOuterMaskIntact) {
    // A mask sprite with its own clip layer: the nested mask shape is not part of the outer mask,
    // the rest of the sprite is, and drawing after the outer definition is masked by it.
    Surface s(40, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
    r.BeginClip();
    r.DrawShape(RectShape(10, 0, 20, 10, Solid(0, 0, 0)), PxMatrix(), {});  // nested mask shape
    r.EndClipDefinition();
    r.DrawShape(RectShape(20, 0, 30, 10, Solid(0, 0, 0)), PxMatrix(), {});  // clipped sprite content
    r.PopClip();
    r.EndClipDefinition();
    EXPECT_EQ(r.ClipDepth(), 1);
    EXPECT_EQ(s.Pixel(5, 5), 0u);  // nothing reached the surface
    EXPECT_EQ(s.Pixel(25, 5), 0u);
    r.DrawShape(RectShape(0, 0, 40, 10, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(5, 5)), 255u);
    EXPECT_EQ(A(s.Pixel(15, 5)), 0u);
    EXPECT_EQ(A(s.Pixel(25, 5)), 255u);
    EXPECT_EQ(A(s.Pixel(35, 5)), 0u);
    r.PopClip();
    EXPECT_EQ(r.ClipDepth(), 0);
}

TEST(Clip, ReusedMaskStartsEmpty) {
    Surface s(20, 10);
    s.Clear(Rgba{0, 0, 0, 0});
    Renderer r(s);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();
    r.PopClip();
    r.BeginClip();
    r.DrawShape(RectShape(10, 0, 20, 10, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();
    r.DrawShape(RectShape(0, 0, 20, 10, Solid(255, 255, 255)), PxMatrix(), {});
    EXPECT_EQ(A(s.Pixel(5, 5)), 0u);
    EXPECT_EQ(A(s.Pixel(15, 5)), 255u);
}

TEST(Clip, RendererMovedToAnotherSurfaceStartsClean) {
    // A renderer kept across frames and surfaces: its masks, scissor and open clip levels from the
    // last surface do not leak into the next, whatever its shape.
    Surface wide(40, 10);
    Renderer r(wide);
    r.SetClipRect(0, 0, 5, 5);
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, 40, 10, Solid(0, 0, 0)), PxMatrix(), {});
    r.EndClipDefinition();  // left open on purpose
    Surface tall(10, 40), again(40, 10);
    for (Surface* next : {&tall, &again}) {
        next->Clear(Rgba{0, 0, 0, 0});
        r.SetSurface(*next);
        EXPECT_EQ(r.ClipDepth(), 0);
        r.BeginClip();
        r.DrawShape(RectShape(0, 0, 5, 5, Solid(0, 0, 0)), PxMatrix(), {});
        r.EndClipDefinition();
        r.DrawShape(RectShape(0, 0, 40, 40, Solid(255, 255, 255)), PxMatrix(), {});
        r.PopClip();
        EXPECT_EQ(A(next->Pixel(2, 2)), 255u);
        EXPECT_EQ(A(next->Pixel(7, 7)), 0u);
        EXPECT_EQ(A(next->Pixel(next->Width() - 1, next->Height() - 1)), 0u);
        r.DrawShape(RectShape(0, 0, 40, 40, Solid(255, 0, 0)), PxMatrix(), {});
        EXPECT_EQ(next->Pixel(next->Width() - 1, next->Height() - 1), 0xFFFF0000u);  // whole surface again
        r.SetSurface(wide);
    }
}

}  // namespace
