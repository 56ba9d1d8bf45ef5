// Clip layers: 8-bit masks, nesting by intersection, popping, anti-aliased mask edges.
#include <gtest/gtest.h>

#include "test_util.h"

using namespace rt;

namespace {

TEST(Clip, MaskLimitsDrawing) {
  Surface s(40, 40);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 20, 40, Solid(1, 2, 3, 10)), PxMatrix(), {});  // colour/alpha do not matter
  r.endClipDefinition();
  EXPECT_EQ(s.pixel(5, 5), 0u);  // the mask itself is not drawn
  r.drawShape(RectShape(0, 0, 40, 40, Solid(255, 0, 0)), PxMatrix(), {});
  EXPECT_EQ(s.pixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(s.pixel(25, 5), 0u);
  r.popClip();
  r.drawShape(RectShape(30, 30, 40, 40, Solid(0, 255, 0)), PxMatrix(), {});
  EXPECT_EQ(s.pixel(35, 35), 0xFF00FF00u);
}

TEST(Clip, NestedMasksIntersectAndPopInOrder) {
  Surface s(40, 40);
  Renderer r(s);
  auto full = [&](Rgba c) { r.drawShape(RectShape(0, 0, 40, 40, Solid(c.r, c.g, c.b)), PxMatrix(), {}); };
  s.clear(Rgba{0, 0, 0, 255});
  r.beginClip();
  r.drawShape(RectShape(0, 0, 20, 40, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();
  r.beginClip();
  r.drawShape(RectShape(0, 0, 40, 20, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();
  EXPECT_EQ(r.clipDepth(), 2);
  full(Rgba{255, 0, 0, 255});
  EXPECT_EQ(s.pixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(s.pixel(25, 5), 0xFF000000u);
  EXPECT_EQ(s.pixel(5, 25), 0xFF000000u);
  r.popClip();
  s.clear(Rgba{0, 0, 0, 255});
  full(Rgba{0, 255, 0, 255});
  EXPECT_EQ(s.pixel(5, 25), 0xFF00FF00u);
  EXPECT_EQ(s.pixel(25, 5), 0xFF000000u);
  r.popClip();
  full(Rgba{0, 0, 255, 255});
  EXPECT_EQ(s.pixel(25, 5), 0xFF0000FFu);
  EXPECT_EQ(r.clipDepth(), 0);
}

TEST(Clip, TransparentAndGradientFillsStillMask) {
  Surface s(30, 10);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0, 0)), PxMatrix(), {});
  Paint noStops;
  noStops.kind = Paint::Kind::Gradient;  // unusable as a paint, still a shape
  r.drawShape(RectShape(20, 0, 30, 10, noStops), PxMatrix(), {});
  r.endClipDefinition();
  r.drawShape(RectShape(0, 0, 30, 10, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(5, 5)), 255u);
  EXPECT_EQ(A(s.pixel(15, 5)), 0u);
  EXPECT_EQ(A(s.pixel(25, 5)), 255u);
}

TEST(Clip, MaskEdgesAreAntiAliased) {
  Surface s(20, 4);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 10.5, 4, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();
  r.drawShape(RectShape(0, 0, 20, 4, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_NEAR(A(s.pixel(10, 1)), 128, 1);
  EXPECT_EQ(A(s.pixel(9, 1)), 255u);
  EXPECT_EQ(A(s.pixel(11, 1)), 0u);
}

TEST(Clip, SeveralShapesMakeOneMaskAndStrokesDoNotMask) {
  Surface s(40, 10);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
  Shape second = RectShape(20, 0, 30, 10, Solid(0, 0, 0));
  Stroke st;
  st.width = 200;
  for (Edge& e : second.layers[0].edges) e.line = 1;
  second.layers[0].strokes.push_back(st);
  r.drawShape(second, PxMatrix(), {});
  r.endClipDefinition();
  r.drawShape(RectShape(0, 0, 40, 10, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(5, 5)), 255u);
  EXPECT_EQ(A(s.pixel(25, 5)), 255u);
  EXPECT_EQ(A(s.pixel(15, 5)), 0u);
  EXPECT_EQ(A(s.pixel(33, 5)), 0u);  // where only the mask's stroke was
}

TEST(Clip, ScissorRectangle) {
  Surface s(20, 20);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.setClipRect(5, 5, 10, 10);
  r.drawShape(RectShape(0, 0, 20, 20, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(7, 7)), 255u);
  EXPECT_EQ(A(s.pixel(4, 7)), 0u);
  EXPECT_EQ(A(s.pixel(10, 7)), 0u);
  EXPECT_EQ(A(s.pixel(7, 10)), 0u);
  r.setClipRect(-100, -100, 1000, 1000);  // clamped to the surface
  r.drawShape(RectShape(0, 0, 20, 20, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(19, 19)), 255u);
}

TEST(Clip, UnbalancedAndDeepNestingIsHarmless) {
  Surface s(16, 16);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.popClip();
  r.endClipDefinition();
  for (int i = 0; i < 100; ++i) {
    r.beginClip();
    r.drawShape(RectShape(0, 0, 8, 16, Solid(0, 0, 0)), PxMatrix(), {});
    r.endClipDefinition();
  }
  r.drawShape(RectShape(0, 0, 16, 16, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(4, 4)), 255u);
  EXPECT_EQ(A(s.pixel(12, 4)), 0u);
  for (int i = 0; i < 100; ++i) r.popClip();
  EXPECT_EQ(r.clipDepth(), 0);
  r.drawShape(RectShape(0, 0, 16, 16, Solid(255, 0, 0)), PxMatrix(), {});
  EXPECT_EQ(s.pixel(12, 4), 0xFFFF0000u);
}

TEST(Clip, ClipLayersInsideAMaskDefinitionKeepTheOuterMaskIntact) {
  // A mask sprite with its own clip layer: the nested mask shape is not part of the outer mask,
  // the rest of the sprite is, and drawing after the outer definition is masked by it.
  Surface s(40, 10);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
  r.beginClip();
  r.drawShape(RectShape(10, 0, 20, 10, Solid(0, 0, 0)), PxMatrix(), {});  // nested mask shape
  r.endClipDefinition();
  r.drawShape(RectShape(20, 0, 30, 10, Solid(0, 0, 0)), PxMatrix(), {});  // clipped sprite content
  r.popClip();
  r.endClipDefinition();
  EXPECT_EQ(r.clipDepth(), 1);
  EXPECT_EQ(s.pixel(5, 5), 0u);  // nothing reached the surface
  EXPECT_EQ(s.pixel(25, 5), 0u);
  r.drawShape(RectShape(0, 0, 40, 10, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(5, 5)), 255u);
  EXPECT_EQ(A(s.pixel(15, 5)), 0u);
  EXPECT_EQ(A(s.pixel(25, 5)), 255u);
  EXPECT_EQ(A(s.pixel(35, 5)), 0u);
  r.popClip();
  EXPECT_EQ(r.clipDepth(), 0);
}

TEST(Clip, ReusedMaskStartsEmpty) {
  Surface s(20, 10);
  s.clear(Rgba{0, 0, 0, 0});
  Renderer r(s);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 10, 10, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();
  r.popClip();
  r.beginClip();
  r.drawShape(RectShape(10, 0, 20, 10, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();
  r.drawShape(RectShape(0, 0, 20, 10, Solid(255, 255, 255)), PxMatrix(), {});
  EXPECT_EQ(A(s.pixel(5, 5)), 0u);
  EXPECT_EQ(A(s.pixel(15, 5)), 255u);
}

TEST(Clip, RendererMovedToAnotherSurfaceStartsClean) {
  // A renderer kept across frames and surfaces: its masks, scissor and open clip levels from the
  // last surface do not leak into the next, whatever its shape.
  Surface wide(40, 10);
  Renderer r(wide);
  r.setClipRect(0, 0, 5, 5);
  r.beginClip();
  r.drawShape(RectShape(0, 0, 40, 10, Solid(0, 0, 0)), PxMatrix(), {});
  r.endClipDefinition();  // left open on purpose
  Surface tall(10, 40), again(40, 10);
  for (Surface* next : {&tall, &again}) {
    next->clear(Rgba{0, 0, 0, 0});
    r.setSurface(*next);
    EXPECT_EQ(r.clipDepth(), 0);
    r.beginClip();
    r.drawShape(RectShape(0, 0, 5, 5, Solid(0, 0, 0)), PxMatrix(), {});
    r.endClipDefinition();
    r.drawShape(RectShape(0, 0, 40, 40, Solid(255, 255, 255)), PxMatrix(), {});
    r.popClip();
    EXPECT_EQ(A(next->pixel(2, 2)), 255u);
    EXPECT_EQ(A(next->pixel(7, 7)), 0u);
    EXPECT_EQ(A(next->pixel(next->width() - 1, next->height() - 1)), 0u);
    r.drawShape(RectShape(0, 0, 40, 40, Solid(255, 0, 0)), PxMatrix(), {});
    EXPECT_EQ(next->pixel(next->width() - 1, next->height() - 1), 0xFFFF0000u);  // whole surface again
    r.setSurface(wide);
  }
}

}  // namespace
