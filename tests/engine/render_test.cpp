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

Image RenderFrame(const kit::Movie& mv, int frames = 1, int w = kW, int h = kH) { return RenderKit(mv, w, h, frames); }

kit::Movie Stage(uint32_t bg = 0xffffff) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0);
    mv.Background(kit::Rgba::Hex(bg));
    return mv;
}

kit::Movie OneShape(const std::function<void(kit::ShapeBuilder&)>& draw, int version = 3) {
    kit::Movie mv = Stage();
    kit::ShapeBuilder s;
    draw(s);
    const uint16_t id = mv.DefineShape(s, version);
    mv.Place2(kit::Place::Add(1, id));
    mv.ShowFrame();
    return mv;
}

const kit::Gradient kRainbow = kit::Gradient::Even(
    {kit::Rgba::Hex(0xff0000), kit::Rgba::Hex(0xffff00), kit::Rgba::Hex(0x00c000), kit::Rgba::Hex(0x0000ff)});

kit::Movie SpreadMovie(kit::Spread spread) {
    return OneShape(
        [&](kit::ShapeBuilder& s) {
            kit::Gradient g = kRainbow;
            g.spread = spread;
            // A 40 px gradient box in the middle of a 140 px rectangle: the spread shows either side.
            s.Style(s.AddFill(
                        kit::FillStyle::Linear(g, kit::Matrix::GradientBox(kit::Px(60), 0, kit::Px(40), kit::Px(120)))))
                .Rectangle(kit::Px(10), kit::Px(10), kit::Px(140), kit::Px(100));
        },
        4);
}

kit::Movie CapMovie(kit::Cap cap) {
    return OneShape(
        [&](kit::ShapeBuilder& s) {
            s.Line(s.AddLine(kit::LineStyle::Solid(kit::Px(16), kit::Rgba::Hex(0x204080)).Caps(cap)));
            s.MoveTo(kit::Px(40), kit::Px(40)).LineTo(kit::Px(120), kit::Px(40));
            s.MoveTo(kit::Px(40), kit::Px(80)).LineTo(kit::Px(120), kit::Px(100));
            // Thin guide lines where the geometric ends lie.
            s.Line(s.AddLine(kit::LineStyle::Solid(kit::Px(1), kit::Rgba::Hex(0xff0000))));
            s.MoveTo(kit::Px(40), kit::Px(10)).LineTo(kit::Px(40), kit::Px(110));
            s.MoveTo(kit::Px(120), kit::Px(10)).LineTo(kit::Px(120), kit::Px(110));
        },
        4);
}

kit::Movie JoinMovie(kit::Join join) {
    return OneShape(
        [&](kit::ShapeBuilder& s) {
            s.Line(s.AddLine(
                kit::LineStyle::Solid(kit::Px(14), kit::Rgba::Hex(0x208040)).Caps(kit::Cap::None).Joins(join, 3.0)));
            s.MoveTo(kit::Px(20), kit::Px(90)).LineTo(kit::Px(50), kit::Px(30)).LineTo(kit::Px(80), kit::Px(90));
            s.LineTo(kit::Px(110), kit::Px(40)).LineTo(kit::Px(140), kit::Px(45));
        },
        4);
}

}  // namespace

TEST(RenderReference, FillStyles) {
    CheckReference("fill_solid", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
                       s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xff8000))))
                           .Rectangle(kit::Px(10), kit::Px(10), kit::Px(90), kit::Px(70));
                       s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x0040ff, 128))))
                           .Circle(kit::Px(100), kit::Px(70), kit::Px(40));
                   })));
    CheckReference(
        "fill_linear", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
            s.Style(s.AddFill(kit::FillStyle::Linear(
                        kRainbow, kit::Matrix::GradientBox(kit::Px(10), kit::Px(10), kit::Px(140), kit::Px(100), 0.5))))
                .Rectangle(kit::Px(10), kit::Px(10), kit::Px(140), kit::Px(100));
        })));
    CheckReference(
        "fill_radial", RenderFrame(OneShape([](kit::ShapeBuilder& s) {
            s
                .Style(s.AddFill(kit::FillStyle::Radial(
                    kit::Gradient::Even({kit::Rgba::Hex(0xffffff), kit::Rgba::Hex(0xff0080), kit::Rgba::Hex(0x400020)}),
                    kit::Matrix::GradientBox(kit::Px(30), kit::Px(10), kit::Px(100), kit::Px(100)))))
                .Circle(kit::Px(80), kit::Px(60), kit::Px(50));
        })));
    CheckReference(
        "fill_focal",
        RenderFrame(OneShape(
            [](kit::ShapeBuilder& s) {
                s.Style(s.AddFill(kit::FillStyle::Focal(
                            kit::Gradient::Even(
                                {kit::Rgba::Hex(0xffffc0), kit::Rgba::Hex(0x00a0a0), kit::Rgba::Hex(0x002040)}),
                            0.7, kit::Matrix::GradientBox(kit::Px(30), kit::Px(10), kit::Px(100), kit::Px(100)))))
                    .Circle(kit::Px(80), kit::Px(60), kit::Px(50));
            },
            4)));
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
    kit::ColorTransform c = kit::ColorTransform::Multiply(0.5, 1, 1);
    c.ab = 120;
    return c;
}

// Two levels of sprites under colour transforms, with a clip layer in the inner sprite; the
// outer sprite rotates by one step a frame.
kit::Movie NestedMovie() {
    kit::Movie mv = Stage(0x202020);
    kit::ShapeBuilder a;
    a.Style(a.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xffffff))))
        .Rectangle(-kit::Px(20), -kit::Px(20), kit::Px(40), kit::Px(40));
    const uint16_t sq = mv.DefineShape(a);
    kit::ShapeBuilder c;
    c.Style(c.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x000000)))).Circle(0, 0, kit::Px(24));
    const uint16_t mask = mv.DefineShape(c);
    kit::Sprite inner;
    inner.Place2(kit::Place::Add(1, mask).ClipTo(3));
    inner.Place2(kit::Place::Add(2, sq).Color(kit::ColorTransform::Multiply(1, 0.5, 0.2)));
    inner.Place2(kit::Place::Add(3, sq)
                     .At(kit::Matrix::Translate(kit::Px(14), kit::Px(14)))
                     .Color(kit::ColorTransform::Add(-255, 0, -255)));
    inner.Place2(
        kit::Place::Add(4, sq).At(kit::Matrix::Translate(kit::Px(26), -kit::Px(18)) * kit::Matrix::Scale(0.4)));
    inner.ShowFrame();
    const uint16_t innerId = mv.DefineSprite(inner);
    kit::Sprite outer;
    for (int f = 0; f < 4; ++f) {
        if (f == 0) {
            outer.Place2(kit::Place::Add(1, innerId).At(kit::Matrix::Translate(-kit::Px(30), 0)));
            outer.Place2(kit::Place::Add(2, innerId)
                             .At(kit::Matrix::Translate(kit::Px(30), 0))
                             .Color(kit::ColorTransform::Alpha(0.5)));
        } else {
            outer.Place2(
                kit::Place::Modify(1).At(kit::Matrix::Translate(-kit::Px(30), 0) * kit::Matrix::Rotate(0.3 * f)));
        }
        outer.ShowFrame();
    }
    const uint16_t outerId = mv.DefineSprite(outer);
    mv.Place2(kit::Place::Add(1, outerId).At(kit::Matrix::Translate(kit::Px(80), kit::Px(40))));
    mv.Place2(kit::Place::Add(2, outerId)
                  .At(kit::Matrix::Translate(kit::Px(80), kit::Px(90)) * kit::Matrix::Scale(0.8))
                  .Color(HalfRedPlusBlue()));
    mv.ShowFrame();
    return mv;
}

}  // namespace

TEST(RenderReference, NestedSpritesUnderColorTransformsAndClip) {
    CheckReference("nested_frame1", RenderFrame(NestedMovie(), 1));
    CheckReference("nested_frame3", RenderFrame(NestedMovie(), 3));
}

TEST(Render, ShowAllLetterboxOriginAndOverride) {
    // Stage 100x50 px with its origin at (-50, -25): a red square covering the whole stage.
    kit::Movie mv(kit::Rect::Pixels(-50, -25, 100, 50), 12.0);
    mv.Background(kit::Rgba::Hex(0x0000ff));
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xff0000))))
        .Rectangle(-kit::Px(50), -kit::Px(25), kit::Px(100), kit::Px(50));
    s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x00ff00))))
        .Rectangle(-kit::Px(300), -kit::Px(300), kit::Px(200), kit::Px(200));
    mv.Place2(kit::Place::Add(1, mv.DefineShape(s)));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    raster::Surface wide(200, 200);  // scale 2: stage 200x100 centred, 50 px bars above and below
    m->Render(wide);
    EXPECT_EQ(wide.Pixel(100, 100), 0xFFFF0000u);
    EXPECT_EQ(wide.Pixel(1, 51), 0xFFFF0000u);
    EXPECT_EQ(wide.Pixel(100, 10), 0xFF0000FFu);  // letterbox: background, content cut off
    EXPECT_EQ(wide.Pixel(100, 190), 0xFF0000FFu);
    m->Render(wide, raster::Rgba{0, 0, 0, 255});
    EXPECT_EQ(wide.Pixel(100, 10), 0xFF000000u);
    EXPECT_EQ(wide.Pixel(100, 100), 0xFFFF0000u);
}

TEST(Render, OnlyTheFirstBackgroundColourOfAMovieCounts) {
    // Red, then green in frame 1, then blue in frame 2: the player shows red throughout.
    kit::Movie mv(kit::Rect::Pixels(0, 0, 20, 20), 12.0);
    mv.Background(kit::Rgba::Hex(0xff0000));
    mv.Background(kit::Rgba::Hex(0x00ff00));
    mv.ShowFrame();
    mv.Background(kit::Rgba::Hex(0x0000ff));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    raster::Surface s(20, 20);
    for (int frame = 0; frame < 3; ++frame) {
        m->Render(s);
        EXPECT_EQ(s.Pixel(10, 10), 0xFFFF0000u) << "frame " << frame;
        m->Advance();
    }
}

TEST(Render, UnknownBitmapFillsDrawNothingButKeepTheShape) {
    kit::Movie mv = Stage(0xffffff);
    kit::Bitmap bmp;
    bmp.width = bmp.height = 2;
    bmp.argb = {0xff000000, 0xffffffff, 0xffffffff, 0xff000000};
    const uint16_t bid = mv.DefineBitsLossless(bmp, false);
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Bitmap(static_cast<uint16_t>(bid + 100), kit::Matrix::BitmapAt(0, 0, 10))),
            s.AddLine(kit::LineStyle::Solid(kit::Px(4), kit::Rgba::Hex(0x000000))))
        .Rectangle(kit::Px(20), kit::Px(20), kit::Px(100), kit::Px(80));
    s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x00ff00))))
        .Rectangle(kit::Px(60), kit::Px(60), kit::Px(20), kit::Px(20));
    mv.Place2(kit::Place::Add(1, mv.DefineShape(s)));
    mv.ShowFrame();
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
        return OneShape(
            [&](kit::ShapeBuilder& s) {
                s.NonZeroWinding(nonZero);
                s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x2040c0))));
                s.Rectangle(kit::Px(10), kit::Px(10), kit::Px(60), kit::Px(60))
                    .Rectangle(kit::Px(40), kit::Px(40), kit::Px(60), kit::Px(60));
                s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xc02020))))
                    .Rectangle(kit::Px(110), kit::Px(10), kit::Px(20), kit::Px(90));
            },
            version);
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

// Pictures made by scripts: the drawing API (line over fill, curve, gradient box) and attached,
// duplicated, rotated and faded clips of an exported symbol.
TEST(RenderReference, ScriptedDrawingAndAttachedClips) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0, 8);
    mv.Background(kit::Rgba::Hex(0xffffff));
    kit::ShapeBuilder box;
    box.Fill1(box.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x3366cc)))).Rectangle(-200, -200, 200, 200);
    kit::Sprite sprite;
    sprite.Place2(kit::Place::Add(1, mv.DefineShape(box))).ShowFrame();
    const uint16_t clip = mv.DefineSprite(sprite);
    mv.Raw(56, {1, 0, static_cast<uint8_t>(clip), static_cast<uint8_t>(clip >> 8), 'b', 'o', 'x', 0});
    mv.DoAction(kit::Actions().Asm(
        "push 1, \"d\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
        "push 100, 0x0000ff, 4, 3, r1, \"lineStyle\"; callmethod; pop\n"
        "push 50, 0xff0000, 2, r1, \"beginFill\"; callmethod; pop\n"
        "push 10, 10, 2, r1, \"moveTo\"; callmethod; pop; push 10, 70, 2, r1, \"lineTo\"; callmethod; pop\n"
        "push 70, 70, 40, 90, 4, r1, \"curveTo\"; callmethod; pop; push 70, 10, 2, r1, \"lineTo\"; callmethod; pop\n"
        "push 0, r1, \"endFill\"; callmethod; pop; push 0, r1, \"lineStyle\"; callmethod; pop\n"
        "push \"matrixType\", \"box\", \"x\", 80, \"y\", 10, \"w\", 70, \"h\", 60, \"r\", 0, 6; initobject\n"
        "push 255, 0, 2; initarray; push 100, 100, 2; initarray; push 0x0000ff, 0x00ff00, 2; initarray\n"
        "push \"linear\", 5, r1, \"beginGradientFill\"; callmethod; pop\n"
        "push 10, 80, 2, r1, \"moveTo\"; callmethod; pop; push 10, 150, 2, r1, \"lineTo\"; callmethod; pop\n"
        "push 70, 150, 2, r1, \"lineTo\"; callmethod; pop; push 70, 80, 2, r1, \"lineTo\"; callmethod; pop\n"
        "push 0, r1, \"endFill\"; callmethod; pop\n"
        "push 5, \"b1\", \"box\", 3, \"_root\"; getvariable; push \"attachMovie\"; callmethod; store r2; pop\n"
        "push r2, \"_x\", 30; setmember; push r2, \"_y\", 95; setmember; push r2, \"_rotation\", 45; setmember\n"
        "push 6, \"b2\", 2, r2, \"duplicateMovieClip\"; callmethod; store r3; pop\n"
        "push r3, \"_x\", 70; setmember; push r3, \"_alpha\", 50; setmember; push r3, \"_xscale\", 200; setmember"));
    mv.ShowFrame();
    CheckReference("scripted_drawing", RenderFrame(mv));
}

// Flash 8 placements: a drop shadow, a blur and a glow, then squares blended onto two colours
// with multiply, screen, add, difference, invert and subtract.
TEST(RenderReference, FiltersAndBlendModes) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0, 8);
    mv.Background(kit::Rgba::Hex(0xffffff));
    auto square = [&](uint32_t rgb, int size) {
        kit::ShapeBuilder s;
        s.Fill1(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(rgb)))).Rectangle(0, 0, kit::Px(size), kit::Px(size));
        return mv.DefineShape(s, 3);
    };
    const uint16_t red = square(0xcc2222, 30), blue = square(0x2244cc, 30), green = square(0x22aa44, 30);
    const uint16_t band = square(0x4080c0, 160), half = square(0xe0c040, 80), patch = square(0x808080, 16);
    auto at = [](int x, int y) { return kit::Matrix::Translate(kit::Px(x), kit::Px(y)); };
    mv.Place3(kit::Place::Add(1, red)
                  .At(at(10, 10))
                  .Filters(kit::FilterList().DropShadow(kit::Rgba::Hex(0x000000), 4, 4, 0.785398, 5, 1, 1).Encode()));
    mv.Place3(kit::Place::Add(2, blue).At(at(65, 10)).Filters(kit::FilterList().Blur(8, 8, 2).Encode()));
    mv.Place3(kit::Place::Add(3, green)
                  .At(at(120, 10))
                  .Filters(kit::FilterList().Glow(kit::Rgba::Hex(0xff8800), 6, 6, 2, 1).Encode()));
    mv.Place2(kit::Place::Add(4, band).At(at(0, 60)));
    mv.Place2(kit::Place::Add(5, half).At(at(0, 60)));
    const uint8_t modes[] = {3, 4, 8, 7, 10, 9};  // multiply, screen, add, difference, invert, subtract
    for (int i = 0; i < 6; ++i)
        mv.Place3(kit::Place::Add(uint16_t(6 + i), patch).At(at(4 + i * 26, 72)).Blend(modes[i]));
    for (int i = 0; i < 6; ++i)
        mv.Place3(kit::Place::Add(uint16_t(12 + i), patch).At(at(4 + i * 26, 96)).Blend(modes[i]));
    mv.ShowFrame();
    CheckReference("filters_blends", RenderFrame(mv));
}

// A new style set in the middle of a shape keeps the fill selected before it: the edges after it
// fill with the new set's style of that number.
TEST(Render, FillSelectionCarriesOverANewStyleSet) {
    kit::ShapeBuilder s;
    s.Fill1(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xff0000)))).Rectangle(0, 0, kit::Px(40), kit::Px(40));
    s.NewStyles(false);
    s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x0000ff)));
    s.Rectangle(kit::Px(60), 0, kit::Px(40), kit::Px(40));
    kit::Movie mv = Stage();
    mv.Place2(kit::Place::Add(1, mv.DefineShape(s, 2)));
    mv.ShowFrame();
    const Image img = RenderFrame(mv);
    auto at = [&](int x, int y) { return &img.rgba[(size_t(y) * img.width + x) * 4]; };
    EXPECT_EQ(at(20, 20)[0], 255);
    EXPECT_EQ(at(80, 20)[2], 255) << "the second rectangle is filled";
    EXPECT_EQ(at(80, 20)[0], 0);
}

// setMask: the mask clip's shapes, where it stands, cut the masked clip; the mask is not drawn.
TEST(Render, ScriptMaskCutsTheClipAndIsNotDrawn) {
    kit::Movie mv = Stage();
    mv.DoAction(kit::Actions().Asm(
        "push 1, \"d\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
        "push 100, 0xff0000, 2, r1, \"beginFill\"; callmethod; pop; push 0, 0, 2, r1, \"moveTo\"; callmethod; pop\n"
        "push 0, 100, 2, r1, \"lineTo\"; callmethod; pop; push 100, 100, 2, r1, \"lineTo\"; callmethod; pop\n"
        "push 100, 0, 2, r1, \"lineTo\"; callmethod; pop; push 0, r1, \"endFill\"; callmethod; pop\n"
        "push 2, \"m\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r2; pop\n"
        "push 100, 0x00ff00, 2, r2, \"beginFill\"; callmethod; pop; push 0, 0, 2, r2, \"moveTo\"; callmethod; pop\n"
        "push 0, 20, 2, r2, \"lineTo\"; callmethod; pop; push 20, 20, 2, r2, \"lineTo\"; callmethod; pop\n"
        "push 20, 0, 2, r2, \"lineTo\"; callmethod; pop; push 0, r2, \"endFill\"; callmethod; pop\n"
        "push r2, \"_x\", 50; setmember; push r2, 1, r1, \"setMask\"; callmethod; pop"));
    mv.ShowFrame();
    const Image img = RenderFrame(mv);
    auto px = [&](int x, int y) { return &img.rgba[(size_t(y) * img.width + x) * 4]; };
    EXPECT_EQ(px(60, 10)[0], 255);  // inside the mask: the red clip
    EXPECT_EQ(px(60, 10)[1], 0);    // and no green mask over it
    EXPECT_EQ(px(10, 10)[1], 255);  // outside the mask: the white stage
}

// Erase inside a layer cuts a hole through the layer's own pixels, down to the stage.
TEST(Render, EraseInsideALayerCutsThroughIt) {
    kit::Movie mv = Stage();
    auto square = [&](uint32_t rgb, int x, int size) {
        kit::ShapeBuilder s;
        s.Fill1(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(rgb))))
            .Rectangle(kit::Px(x), kit::Px(x), kit::Px(size), kit::Px(size));
        return mv.DefineShape(s, 3);
    };
    const uint16_t big = square(0xff0000, 0, 60), hole = square(0x00ff00, 20, 20);
    kit::Sprite group;
    group.Place2(kit::Place::Add(1, big)).Place3(kit::Place::Add(2, hole).Blend(12)).ShowFrame();
    mv.Place3(kit::Place::Add(1, mv.DefineSprite(group)).Blend(2));
    mv.ShowFrame();
    const Image img = RenderFrame(mv);
    auto px = [&](int x, int y) { return &img.rgba[(size_t(y) * img.width + x) * 4]; };
    EXPECT_EQ(px(5, 5)[1], 0);      // the layer's red
    EXPECT_EQ(px(30, 30)[1], 255);  // erased: the white stage shows
}

namespace {

// A 9-slice sprite (DefineScalingGrid, or scale9Grid from script) scaled 3x across: its 10 px
// frame keeps its width on screen at both sides while the centre stretches.
TEST(RenderPixels, NineSliceKeepsCornersAndStretchesTheCentre) {
    for (const bool fromScript : {false, true}) {
        kit::Movie mv(kit::Rect::Pixels(0, 0, 320, 120), 12.0, 8);
        mv.Background(kit::Rgba::Hex(0xffffff));
        kit::ShapeBuilder frame, centre;
        frame.Fill1(frame.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x000000))))
            .Rectangle(0, 0, kit::Px(100), kit::Px(100));
        centre.Fill1(centre.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x00ff00))))
            .Rectangle(kit::Px(10), kit::Px(10), kit::Px(80), kit::Px(80));
        kit::Sprite sprite;
        sprite.Place2(kit::Place::Add(1, mv.DefineShape(frame)));
        sprite.Place2(kit::Place::Add(2, mv.DefineShape(centre))).ShowFrame();
        const uint16_t id = mv.DefineSprite(sprite);
        if (!fromScript) {
            kit::BitWriter w;
            w.U16(id);
            kit::WriteRect(w, kit::Rect::Pixels(10, 10, 80, 80));
            mv.Raw(78, w.Take());
        }
        mv.Place2(kit::Place::Add(1, id).Named("s").At(kit::Matrix::Translate(kit::Px(10), kit::Px(10)) *
                                                       kit::Matrix::Scale(3, 1)));
        if (fromScript)
            mv.DoAction(kit::Actions().Asm(
                "push \"s\"; getvariable; push \"scale9Grid\", 80, 80, 10, 10, 4, \"flash\"; getvariable; push "
                "\"geom\"; getmember; push \"Rectangle\"; newmethod; setmember"));
        mv.ShowFrame();
        auto m = LoadKit(mv);
        ASSERT_TRUE(m);
        m->Play();
        const raster::Surface s = RenderSurface(*m, 320, 120);
        const int y = 60;
        EXPECT_EQ(s.Pixel(10 + 5, y) & 0xFFFFFF, 0x000000u) << fromScript;   // the left edge, 10 px wide
        EXPECT_EQ(s.Pixel(10 + 15, y) & 0xFFFFFF, 0x00ff00u) << fromScript;  // stretched centre already
        EXPECT_EQ(s.Pixel(10 + 285, y) & 0xFFFFFF, 0x00ff00u) << fromScript;
        EXPECT_EQ(s.Pixel(10 + 295, y) & 0xFFFFFF, 0x000000u) << fromScript;       // the right edge
        EXPECT_EQ(s.Pixel(10 + 150, 10 + 5) & 0xFFFFFF, 0x000000u) << fromScript;  // top edge keeps its height
    }
}

}  // namespace
