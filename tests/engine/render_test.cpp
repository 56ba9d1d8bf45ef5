// Rendered frames of kit-made movies against reviewed reference PNGs (tests/engine/ref/).
//
// Tolerance and updating: see ref_check.h.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "tests/engine/kit_movies.h"
#include "tests/engine/png_io.h"
#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 160, kH = 120;

Image RenderFrame(const kit::Movie& mv, int frames = 1, int w = kW, int h = kH) {
  return RenderKit(mv, w, h, frames);
}

kit::Movie Stage(uint32_t bg = 0xffffff) {
  kit::Movie mv(kit::Rect::pixels(0, 0, kW, kH), 12.0);
  mv.background(kit::Rgba::hex(bg));
  return mv;
}

kit::Movie OneShape(const std::function<void(kit::ShapeBuilder&)>& draw, int version = 3) {
  kit::Movie mv = Stage();
  kit::ShapeBuilder s;
  draw(s);
  const uint16_t id = mv.defineShape(s, version);
  mv.place(kit::Place::add(1, id));
  mv.showFrame();
  return mv;
}

const kit::Gradient kRainbow = kit::Gradient::even(
    {kit::Rgba::hex(0xff0000), kit::Rgba::hex(0xffff00), kit::Rgba::hex(0x00c000), kit::Rgba::hex(0x0000ff)});

kit::Movie SpreadMovie(kit::Spread spread) {
  return OneShape([&](kit::ShapeBuilder& s) {
    kit::Gradient g = kRainbow;
    g.spread = spread;
    // A 40 px gradient box in the middle of a 140 px rectangle: the spread shows either side.
    s.style(s.addFill(kit::FillStyle::linear(g, kit::Matrix::gradientBox(kit::px(60), 0, kit::px(40), kit::px(120)))))
        .rect(kit::px(10), kit::px(10), kit::px(140), kit::px(100));
  }, 4);
}

kit::Movie CapMovie(kit::Cap cap) {
  return OneShape([&](kit::ShapeBuilder& s) {
    s.line(s.addLine(kit::LineStyle::solid(kit::px(16), kit::Rgba::hex(0x204080)).caps(cap)));
    s.moveTo(kit::px(40), kit::px(40)).lineTo(kit::px(120), kit::px(40));
    s.moveTo(kit::px(40), kit::px(80)).lineTo(kit::px(120), kit::px(100));
    // Thin guide lines where the geometric ends lie.
    s.line(s.addLine(kit::LineStyle::solid(kit::px(1), kit::Rgba::hex(0xff0000))));
    s.moveTo(kit::px(40), kit::px(10)).lineTo(kit::px(40), kit::px(110));
    s.moveTo(kit::px(120), kit::px(10)).lineTo(kit::px(120), kit::px(110));
  }, 4);
}

kit::Movie JoinMovie(kit::Join join) {
  return OneShape([&](kit::ShapeBuilder& s) {
    s.line(s.addLine(kit::LineStyle::solid(kit::px(14), kit::Rgba::hex(0x208040)).caps(kit::Cap::None).joins(join, 3.0)));
    s.moveTo(kit::px(20), kit::px(90)).lineTo(kit::px(50), kit::px(30)).lineTo(kit::px(80), kit::px(90));
    s.lineTo(kit::px(110), kit::px(40)).lineTo(kit::px(140), kit::px(45));
  }, 4);
}

}  // namespace

TEST(RenderReference, FillStyles) {
  CheckReference("fill_solid", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
    s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0xff8000)))).rect(kit::px(10), kit::px(10), kit::px(90), kit::px(70));
    s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0x0040ff, 128)))).circle(kit::px(100), kit::px(70), kit::px(40));
  })));
  CheckReference("fill_linear", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
    s.style(s.addFill(kit::FillStyle::linear(kRainbow, kit::Matrix::gradientBox(kit::px(10), kit::px(10), kit::px(140), kit::px(100), 0.5))))
        .rect(kit::px(10), kit::px(10), kit::px(140), kit::px(100));
  })));
  CheckReference("fill_radial", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
    s.style(s.addFill(kit::FillStyle::radial(kit::Gradient::even({kit::Rgba::hex(0xffffff), kit::Rgba::hex(0xff0080), kit::Rgba::hex(0x400020)}),
                                             kit::Matrix::gradientBox(kit::px(30), kit::px(10), kit::px(100), kit::px(100)))))
        .circle(kit::px(80), kit::px(60), kit::px(50));
  })));
  CheckReference("fill_focal", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
    s.style(s.addFill(kit::FillStyle::focal(kit::Gradient::even({kit::Rgba::hex(0xffffc0), kit::Rgba::hex(0x00a0a0), kit::Rgba::hex(0x002040)}), 0.7,
                                            kit::Matrix::gradientBox(kit::px(30), kit::px(10), kit::px(100), kit::px(100)))))
        .circle(kit::px(80), kit::px(60), kit::px(50));
  }, 4)));
}

TEST(RenderReference, SpreadModes) {
  CheckReference("spread_pad", RenderFrame(SpreadMovie(kit::Spread::Pad)));
  CheckReference("spread_reflect", RenderFrame(SpreadMovie(kit::Spread::Reflect)));
  CheckReference("spread_repeat", RenderFrame(SpreadMovie(kit::Spread::Repeat)));
}

TEST(RenderReference, CapsAndJoins) {
  CheckReference("cap_round", RenderFrame(CapMovie(kit::Cap::Round)));
  CheckReference("cap_none", RenderFrame(CapMovie(kit::Cap::None)));
  CheckReference("cap_square", RenderFrame(CapMovie(kit::Cap::Square)));
  CheckReference("join_round", RenderFrame(JoinMovie(kit::Join::Round)));
  CheckReference("join_bevel", RenderFrame(JoinMovie(kit::Join::Bevel)));
  CheckReference("join_miter", RenderFrame(JoinMovie(kit::Join::Miter)));
}

namespace {

kit::ColorTransform HalfRedPlusBlue() {
  kit::ColorTransform c = kit::ColorTransform::multiply(0.5, 1, 1);
  c.ab = 120;
  return c;
}

// Two levels of sprites under colour transforms, with a clip layer in the inner sprite; the
// outer sprite rotates by one step a frame.
kit::Movie NestedMovie() {
  kit::Movie mv = Stage(0x202020);
  kit::ShapeBuilder a;
  a.style(a.addFill(kit::FillStyle::solid(kit::Rgba::hex(0xffffff)))).rect(-kit::px(20), -kit::px(20), kit::px(40), kit::px(40));
  const uint16_t sq = mv.defineShape(a);
  kit::ShapeBuilder c;
  c.style(c.addFill(kit::FillStyle::solid(kit::Rgba::hex(0x000000)))).circle(0, 0, kit::px(24));
  const uint16_t mask = mv.defineShape(c);
  kit::Sprite inner;
  inner.place(kit::Place::add(1, mask).clipTo(3));
  inner.place(kit::Place::add(2, sq).color(kit::ColorTransform::multiply(1, 0.5, 0.2)));
  inner.place(kit::Place::add(3, sq).at(kit::Matrix::translate(kit::px(14), kit::px(14))).color(kit::ColorTransform::add(-255, 0, -255)));
  inner.place(kit::Place::add(4, sq).at(kit::Matrix::translate(kit::px(26), -kit::px(18)) * kit::Matrix::scale(0.4)));
  inner.showFrame();
  const uint16_t innerId = mv.defineSprite(inner);
  kit::Sprite outer;
  for (int f = 0; f < 4; ++f) {
    if (f == 0) {
      outer.place(kit::Place::add(1, innerId).at(kit::Matrix::translate(-kit::px(30), 0)));
      outer.place(kit::Place::add(2, innerId).at(kit::Matrix::translate(kit::px(30), 0)).color(kit::ColorTransform::alpha(0.5)));
    } else {
      outer.place(kit::Place::modify(1).at(kit::Matrix::translate(-kit::px(30), 0) * kit::Matrix::rotate(0.3 * f)));
    }
    outer.showFrame();
  }
  const uint16_t outerId = mv.defineSprite(outer);
  mv.place(kit::Place::add(1, outerId).at(kit::Matrix::translate(kit::px(80), kit::px(40))));
  mv.place(kit::Place::add(2, outerId).at(kit::Matrix::translate(kit::px(80), kit::px(90)) * kit::Matrix::scale(0.8))
               .color(HalfRedPlusBlue()));
  mv.showFrame();
  return mv;
}

}  // namespace

TEST(RenderReference, NestedSpritesUnderColorTransformsAndClip) {
  CheckReference("nested_frame1", RenderFrame(NestedMovie(), 1));
  CheckReference("nested_frame3", RenderFrame(NestedMovie(), 3));
}

TEST(Render, ShowAllLetterboxOriginAndOverride) {
  // Stage 100x50 px with its origin at (-50, -25): a red square covering the whole stage.
  kit::Movie mv(kit::Rect::pixels(-50, -25, 100, 50), 12.0);
  mv.background(kit::Rgba::hex(0x0000ff));
  kit::ShapeBuilder s;
  s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0xff0000)))).rect(-kit::px(50), -kit::px(25), kit::px(100), kit::px(50));
  s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0x00ff00)))).rect(-kit::px(300), -kit::px(300), kit::px(200), kit::px(200));
  mv.place(kit::Place::add(1, mv.defineShape(s)));
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  raster::Surface wide(200, 200);  // scale 2: stage 200x100 centred, 50 px bars above and below
  m->Render(wide);
  EXPECT_EQ(wide.pixel(100, 100), 0xFFFF0000u);
  EXPECT_EQ(wide.pixel(1, 51), 0xFFFF0000u);
  EXPECT_EQ(wide.pixel(100, 10), 0xFF0000FFu);   // letterbox: background, content cut off
  EXPECT_EQ(wide.pixel(100, 190), 0xFF0000FFu);
  m->Render(wide, raster::Rgba{0, 0, 0, 255});
  EXPECT_EQ(wide.pixel(100, 10), 0xFF000000u);
  EXPECT_EQ(wide.pixel(100, 100), 0xFFFF0000u);
}

TEST(Render, OnlyTheFirstBackgroundColourOfAMovieCounts) {
  // Red, then green in frame 1, then blue in frame 2: the player shows red throughout.
  kit::Movie mv(kit::Rect::pixels(0, 0, 20, 20), 12.0);
  mv.background(kit::Rgba::hex(0xff0000));
  mv.background(kit::Rgba::hex(0x00ff00));
  mv.showFrame();
  mv.background(kit::Rgba::hex(0x0000ff));
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  raster::Surface s(20, 20);
  for (int frame = 0; frame < 3; ++frame) {
    m->Render(s);
    EXPECT_EQ(s.pixel(10, 10), 0xFFFF0000u) << "frame " << frame;
    m->Advance();
  }
}

TEST(Render, UnknownBitmapFillsDrawNothingButKeepTheShape) {
  kit::Movie mv = Stage(0xffffff);
  kit::Bitmap bmp;
  bmp.width = bmp.height = 2;
  bmp.argb = {0xff000000, 0xffffffff, 0xffffffff, 0xff000000};
  const uint16_t bid = mv.defineBitsLossless(bmp, false);
  kit::ShapeBuilder s;
  s.style(s.addFill(kit::FillStyle::bitmap(static_cast<uint16_t>(bid + 100), kit::Matrix::bitmapAt(0, 0, 10))), s.addLine(kit::LineStyle::solid(kit::px(4), kit::Rgba::hex(0x000000))))
      .rect(kit::px(20), kit::px(20), kit::px(100), kit::px(80));
  s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0x00ff00)))).rect(kit::px(60), kit::px(60), kit::px(20), kit::px(20));
  mv.place(kit::Place::add(1, mv.defineShape(s)));
  mv.showFrame();
  Image img = RenderFrame(mv);
  ASSERT_EQ(img.width, kW);
  auto at = [&](int x, int y) { return &img.rgba[(static_cast<size_t>(y) * kW + x) * 4]; };
  EXPECT_EQ(at(40, 40)[0], 255);  // inside the fill of a bitmap never defined: background shows
  EXPECT_EQ(at(40, 40)[2], 255);
  EXPECT_EQ(at(20, 50)[0], 0);    // the outline is drawn
  EXPECT_EQ(at(70, 70)[1], 255);  // the following solid fill too
  EXPECT_EQ(at(70, 70)[0], 0);
}

TEST(Render, OverlappingContoursOfOneFillFollowTheShapesFillRule) {
  // Two squares of one fill overlapping in the middle, next to a square of another fill: SWF
  // shapes fill even-odd (the overlap is a hole), a DefineShape4 may ask for non-zero.
  auto movie = [](int version, bool nonZero) {
    return OneShape([&](kit::ShapeBuilder& s) {
      s.nonZeroWinding(nonZero);
      s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0x2040c0))));
      s.rect(kit::px(10), kit::px(10), kit::px(60), kit::px(60)).rect(kit::px(40), kit::px(40), kit::px(60), kit::px(60));
      s.style(s.addFill(kit::FillStyle::solid(kit::Rgba::hex(0xc02020)))).rect(kit::px(110), kit::px(10), kit::px(20), kit::px(90));
    }, version);
  };
  for (const auto& [version, nonZero] : {std::pair{3, false}, std::pair{4, false}, std::pair{4, true}}) {
    Image img = RenderFrame(movie(version, nonZero));
    ASSERT_EQ(img.width, kW);
    const uint8_t* overlap = PixelAt(img, 55, 55);
    const uint8_t* single = PixelAt(img, 20, 20);
    EXPECT_EQ(single[2], 0xc0) << version;
    EXPECT_EQ(overlap[2], nonZero ? 0xc0 : 0xff) << "DefineShape" << version << (nonZero ? " non-zero" : "");
    EXPECT_EQ(overlap[0], nonZero ? 0x20 : 0xff);
    EXPECT_EQ(PixelAt(img, 120, 50)[0], 0xc0);  // the other fill is untouched either way
  }
}
