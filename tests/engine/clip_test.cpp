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
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0);
    mv.Background(kit::Rgba::Hex(0xffffff));
    return mv;
}

uint16_t Box(kit::Movie& mv, int x, int y, int w, int h, uint32_t rgb, int strokePx = 0) {
    kit::ShapeBuilder s;
    const int fill = s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(rgb)));
    const int line =
        strokePx ? s.AddLine(kit::LineStyle::Solid(static_cast<uint16_t>(kit::Px(strokePx)), kit::Rgba::Hex(0))) : 0;
    s.Style(fill, line).Rectangle(kit::Px(x), kit::Px(y), kit::Px(w), kit::Px(h));
    return mv.DefineShape(s);
}

}  // namespace

TEST(ClipLayers, MaskCoversDepthsUpToItsClipDepthOnly) {
    kit::Movie mv = ClipStage();
    const uint16_t mask = Box(mv, 0, 0, 80, 120, 0x000000);  // left half
    const uint16_t red = Box(mv, 0, 0, 160, 40, 0xff0000);
    const uint16_t green = Box(mv, 0, 40, 160, 40, 0x00ff00);
    const uint16_t blue = Box(mv, 0, 80, 160, 40, 0x0000ff);
    mv.Place2(kit::Place::Add(1, mask).ClipTo(3));
    mv.Place2(kit::Place::Add(2, red));
    mv.Place2(kit::Place::Add(3, green));
    mv.Place2(kit::Place::Add(4, blue));  // above the clip depth: unmasked
    mv.ShowFrame();
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
    mv.Place2(kit::Place::Add(1, left).ClipTo(10));
    mv.Place2(kit::Place::Add(2, top).ClipTo(5));
    mv.Place2(kit::Place::Add(3, red));    // inside both masks
    mv.Place2(kit::Place::Add(7, green));  // inside the outer mask only
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    EXPECT_EQ(Rgb(s, 40, 30), 0xff0000u);   // left and top: red
    EXPECT_EQ(Rgb(s, 40, 90), 0x00ff00u);   // left, bottom: green, masked by the outer mask only
    EXPECT_EQ(Rgb(s, 120, 30), 0xffffffu);  // right: nothing
    EXPECT_EQ(Rgb(s, 120, 90), 0xffffffu);
    EXPECT_EQ(Rgb(s, 40, 5), 0xffffffu);  // under the inner mask's stroke: red is not let through
    EXPECT_EQ(Rgb(s, 40, 55), 0xffffffu);
}

TEST(RenderReference, MasksUnderTransformsInsideSpritesAndTextMasks) {
    kit::Movie mv = ClipStage();
    kit::ShapeBuilder circle;
    circle.Style(circle.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0)))).Circle(0, 0, kit::Px(30));
    const uint16_t disc = mv.DefineShape(circle);
    kit::ShapeBuilder stripes;
    for (int i = 0; i < 8; ++i) {
        stripes.Style(stripes.AddFill(kit::FillStyle::Solid(kit::Rgba::Hsv(i * 45.0, 0.8, 0.9))))
            .Rectangle(kit::Px(-40 + i * 10), kit::Px(-40), kit::Px(10), kit::Px(80));
    }
    const uint16_t stripeId = mv.DefineShape(stripes);
    // A sprite holding its own mask and content, placed rotated and scaled.
    kit::Sprite sp;
    sp.Place2(kit::Place::Add(1, disc).ClipTo(2).At(kit::Matrix::Scale(1.0, 0.6)));
    sp.Place2(kit::Place::Add(2, stripeId));
    sp.ShowFrame();
    const uint16_t sprite = mv.DefineSprite(sp);
    mv.Place2(
        kit::Place::Add(1, sprite).At(kit::Matrix::Translate(kit::Px(45), kit::Px(60)) * kit::Matrix::Rotate(0.5)));
    // Text as a mask over stripes.
    const kit::Font f = kit::BlockFont("Block");
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(50, f, 2));
    kit::TextRecord r;
    r.font = 50;
    r.height = static_cast<uint16_t>(kit::Px(36));
    r.x = static_cast<int16_t>(kit::Px(92));
    r.y = static_cast<int16_t>(kit::Px(76));
    r.glyphs = kit::LayoutGlyphs(f, "OK", r.height);
    mv.Raw(kit::tag::DefineText,
           kit::EncodeDefineText(51, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(), {r}));
    mv.Place2(kit::Place::Add(2, 51).ClipTo(3));
    mv.Place2(kit::Place::Add(3, stripeId).At(kit::Matrix::Translate(kit::Px(120), kit::Px(60))));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    CheckReference("clip_transforms", ToStraight(s));
    EXPECT_EQ(Rgb(s, 45, 60) == 0xffffffu, false);  // the sprite's masked centre shows stripes
    EXPECT_EQ(Rgb(s, 45, 20), 0xffffffu);           // outside the squashed disc
}
