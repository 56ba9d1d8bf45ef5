// Clip layers: an object with a clip depth masks the depths above it up to that depth; nested
// masks intersect; a mask's strokes do not mask; masks work under transforms, inside sprites,
// and with text as the mask.
#include <gtest/gtest.h>

#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 160, kH = 120;

kit::Movie ClipStage() {
  kit::Movie mv(kit::Rect::pixels(0, 0, kW, kH), 12.0);
  mv.background(kit::Rgba::hex(0xffffff));
  return mv;
}

uint16_t Box(kit::Movie& mv, int x, int y, int w, int h, uint32_t rgb, int strokePx = 0) {
  kit::ShapeBuilder s;
  const int fill = s.addFill(kit::FillStyle::solid(kit::Rgba::hex(rgb)));
  const int line = strokePx ? s.addLine(kit::LineStyle::solid(static_cast<uint16_t>(kit::px(strokePx)), kit::Rgba::hex(0)))
                            : 0;
  s.style(fill, line).rect(kit::px(x), kit::px(y), kit::px(w), kit::px(h));
  return mv.defineShape(s);
}

}  // namespace

TEST(ClipLayers, MaskCoversDepthsUpToItsClipDepthOnly) {
  kit::Movie mv = ClipStage();
  const uint16_t mask = Box(mv, 0, 0, 80, 120, 0x000000);  // left half
  const uint16_t red = Box(mv, 0, 0, 160, 40, 0xff0000);
  const uint16_t green = Box(mv, 0, 40, 160, 40, 0x00ff00);
  const uint16_t blue = Box(mv, 0, 80, 160, 40, 0x0000ff);
  mv.place(kit::Place::add(1, mask).clipTo(3));
  mv.place(kit::Place::add(2, red));
  mv.place(kit::Place::add(3, green));
  mv.place(kit::Place::add(4, blue));  // above the clip depth: unmasked
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  const raster::Surface s = RenderSurface(*m, kW, kH);
  EXPECT_EQ(Rgb(s, 20, 20), 0xff0000u);
  EXPECT_EQ(Rgb(s, 120, 20), 0xffffffu);
  EXPECT_EQ(Rgb(s, 20, 60), 0x00ff00u);
  EXPECT_EQ(Rgb(s, 120, 60), 0xffffffu);
  EXPECT_EQ(Rgb(s, 20, 100), 0x0000ffu);
  EXPECT_EQ(Rgb(s, 120, 100), 0x0000ffu);
  EXPECT_EQ(Rgb(s, 120, 5), 0xffffffu);  // the mask itself is never drawn
}

TEST(ClipLayers, NestedMasksIntersectAndStrokesDoNotMask) {
  kit::Movie mv = ClipStage();
  const uint16_t left = Box(mv, 0, 0, 80, 120, 0x000000);
  // Top half, with a thick stroke around it that must not widen the mask.
  const uint16_t top = Box(mv, 10, 10, 140, 40, 0x000000, 16);
  const uint16_t red = Box(mv, 0, 0, 160, 120, 0xff0000);
  const uint16_t green = Box(mv, 0, 60, 160, 60, 0x00ff00);
  mv.place(kit::Place::add(1, left).clipTo(10));
  mv.place(kit::Place::add(2, top).clipTo(5));
  mv.place(kit::Place::add(3, red));    // inside both masks
  mv.place(kit::Place::add(7, green));  // inside the outer mask only
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  const raster::Surface s = RenderSurface(*m, kW, kH);
  EXPECT_EQ(Rgb(s, 40, 30), 0xff0000u);   // left and top: red
  EXPECT_EQ(Rgb(s, 40, 90), 0x00ff00u);   // left, bottom: green, masked by the outer mask only
  EXPECT_EQ(Rgb(s, 120, 30), 0xffffffu);  // right: nothing
  EXPECT_EQ(Rgb(s, 120, 90), 0xffffffu);
  EXPECT_EQ(Rgb(s, 40, 5), 0xffffffu);    // under the inner mask's stroke: red is not let through
  EXPECT_EQ(Rgb(s, 40, 55), 0xffffffu);
}

TEST(RenderReference, MasksUnderTransformsInsideSpritesAndTextMasks) {
  kit::Movie mv = ClipStage();
  kit::ShapeBuilder circle;
  circle.style(circle.addFill(kit::FillStyle::solid(kit::Rgba::hex(0)))).circle(0, 0, kit::px(30));
  const uint16_t disc = mv.defineShape(circle);
  kit::ShapeBuilder stripes;
  for (int i = 0; i < 8; ++i) {
    stripes.style(stripes.addFill(kit::FillStyle::solid(kit::Rgba::hsv(i * 45.0, 0.8, 0.9))))
        .rect(kit::px(-40 + i * 10), kit::px(-40), kit::px(10), kit::px(80));
  }
  const uint16_t stripeId = mv.defineShape(stripes);
  // A sprite holding its own mask and content, placed rotated and scaled.
  kit::Sprite sp;
  sp.place(kit::Place::add(1, disc).clipTo(2).at(kit::Matrix::scale(1.0, 0.6)));
  sp.place(kit::Place::add(2, stripeId));
  sp.showFrame();
  const uint16_t sprite = mv.defineSprite(sp);
  mv.place(kit::Place::add(1, sprite).at(kit::Matrix::translate(kit::px(45), kit::px(60)) * kit::Matrix::rotate(0.5)));
  // Text as a mask over stripes.
  const kit::Font f = kit::blockFont("Block");
  mv.raw(kit::tag::DefineFont2, kit::encodeDefineFont2(50, f, 2));
  kit::TextRecord r;
  r.font = 50;
  r.height = static_cast<uint16_t>(kit::px(36));
  r.x = static_cast<int16_t>(kit::px(92));
  r.y = static_cast<int16_t>(kit::px(76));
  r.glyphs = kit::layoutGlyphs(f, "OK", r.height);
  mv.raw(kit::tag::DefineText, kit::encodeDefineText(51, kit::Rect::pixels(0, 0, kW, kH), kit::Matrix::identity(), {r}));
  mv.place(kit::Place::add(2, 51).clipTo(3));
  mv.place(kit::Place::add(3, stripeId).at(kit::Matrix::translate(kit::px(120), kit::px(60))));
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  const raster::Surface s = RenderSurface(*m, kW, kH);
  CheckReference("clip_transforms", ToStraight(s));
  EXPECT_EQ(Rgb(s, 45, 60) == 0xffffffu, false);  // the sprite's masked centre shows stripes
  EXPECT_EQ(Rgb(s, 45, 20), 0xffffffu);           // outside the squashed disc
}
