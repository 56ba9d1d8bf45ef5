// Morph shapes: drawn at their place's ratio (reference images), the interpolation of edges and
// styles, unpaired edge lists and malformed tags.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/swf/morph.h"
#include "engine/swf/swf_file.h"
#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 160, kH = 120;

// Start: a square drawn with straight edges. End: a circle-ish shape of curves, the same count.
kit::ShapeBuilder SquareStart(int fill, int line) {
    kit::ShapeBuilder s;
    s.Style(fill, line);
    s.MoveTo(0, 0).LineTo(kit::Px(30), 0).LineTo(kit::Px(30), kit::Px(30)).LineTo(0, kit::Px(30)).LineTo(0, 0);
    return s;
}
kit::ShapeBuilder RoundEnd() {
    kit::ShapeBuilder s;
    const int r = kit::Px(20), c = kit::Px(15);
    s.MoveTo(c, c - r)
        .CurveTo(c + r, c - r, c + r, c)
        .CurveTo(c + r, c + r, c, c + r)
        .CurveTo(c - r, c + r, c - r, c)
        .CurveTo(c - r, c - r, c, c - r);
    return s;
}

uint16_t DefineSolidMorph(kit::Movie& mv, bool version2) {
    kit::ShapeBuilder start;
    const int f = start.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xE02020)));
    const int l = start.AddLine(kit::LineStyle::Solid(kit::Px(2), kit::Rgba::Hex(0x000000)));
    kit::ShapeBuilder s = SquareStart(f, l);
    std::vector<kit::MorphFill> fills = {
        {kit::FillStyle::Solid(kit::Rgba::Hex(0xE02020)), kit::FillStyle::Solid(kit::Rgba::Hex(0x2040F0, 128))}};
    std::vector<kit::MorphLine> lines = {
        {uint16_t(kit::Px(2)), uint16_t(kit::Px(6)), kit::Rgba::Hex(0x000000), kit::Rgba::Hex(0x00A000)}};
    s.NewStyles();  // drop the builder's own styles: the morph carries them
    return version2 ? mv.DefineMorphShape2(SquareStart(1, 1), RoundEnd(), fills, lines)
                    : mv.DefineMorphShape(SquareStart(1, 1), RoundEnd(), fills, lines);
}

kit::Movie Stage() {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0);
    mv.Background(kit::Rgba::Hex(0xffffff));
    return mv;
}

}  // namespace

TEST(MorphReference, RatiosAndVersions) {
    // Top row DefineMorphShape at ratios 0, 1/2, 1; bottom row DefineMorphShape2 the same.
    kit::Movie mv = Stage();
    const uint16_t m1 = DefineSolidMorph(mv, false);
    const uint16_t m2 = DefineSolidMorph(mv, true);
    const uint16_t ratios[3] = {0, 32768, 65535};
    for (int i = 0; i < 3; ++i) {
        mv.Place2(kit::Place::Add(static_cast<uint16_t>(1 + i), m1)
                      .At(kit::Matrix::Translate(kit::Px(15 + 50 * i), kit::Px(12)))
                      .WithRatio(ratios[i]));
        mv.Place2(kit::Place::Add(static_cast<uint16_t>(10 + i), m2)
                      .At(kit::Matrix::Translate(kit::Px(15 + 50 * i), kit::Px(72)))
                      .WithRatio(ratios[i]));
    }
    mv.ShowFrame();
    CheckReference("morph_ratios", RenderKit(mv, kW, kH));
}

TEST(MorphReference, GradientAndBitmapFills) {
    kit::Movie mv = Stage();
    kit::Bitmap b;
    b.width = b.height = 2;
    b.argb = {0xFFE02020, 0xFF20B040, 0xFF2060E0, 0xFFF0C020};
    const uint16_t bid = mv.DefineBitsLossless(b, false);
    kit::Gradient g0 = kit::Gradient::Even({kit::Rgba::Hex(0xff0000), kit::Rgba::Hex(0xffff00)});
    kit::Gradient g1 = kit::Gradient::Even({kit::Rgba::Hex(0x0000ff), kit::Rgba::Hex(0x00ffff)});
    g1.stops[0].ratio = 128;
    std::vector<kit::MorphFill> gf = {
        {kit::FillStyle::Linear(g0, kit::Matrix::GradientBox(0, 0, kit::Px(30), kit::Px(30))),
         kit::FillStyle::Linear(g1, kit::Matrix::GradientBox(0, 0, kit::Px(40), kit::Px(40), 1.57))}};
    const uint16_t grad = mv.DefineMorphShape(SquareStart(1, 0), RoundEnd(), gf, {});
    std::vector<kit::MorphFill> bf = {
        {kit::FillStyle::Bitmap(bid, kit::Matrix::BitmapAt(0, 0, 15), false, false),
         kit::FillStyle::Bitmap(bid, kit::Matrix::BitmapAt(kit::Px(-5), kit::Px(-5), 20), false, false)}};
    const uint16_t bmp = mv.DefineMorphShape(SquareStart(1, 0), RoundEnd(), bf, {});
    for (int i = 0; i < 3; ++i) {
        const uint16_t r = static_cast<uint16_t>(i * 32767 + (i == 2 ? 1 : 0));
        mv.Place2(kit::Place::Add(static_cast<uint16_t>(1 + i), grad)
                      .At(kit::Matrix::Translate(kit::Px(15 + 50 * i), kit::Px(12)))
                      .WithRatio(r));
        mv.Place2(kit::Place::Add(static_cast<uint16_t>(10 + i), bmp)
                      .At(kit::Matrix::Translate(kit::Px(15 + 50 * i), kit::Px(72)))
                      .WithRatio(r));
    }
    mv.ShowFrame();
    CheckReference("morph_gradient_bitmap", RenderKit(mv, kW, kH));
}

TEST(Morph, InterpolationOfEdgesAndStyles) {
    engine::swf::MorphDefinition m;
    raster::Paint a, b;
    a.kind = b.kind = raster::Paint::Kind::Solid;
    a.color = {0, 100, 200, 255};
    b.color = {200, 100, 0, 55};
    m.startFills = {a};
    m.endFills = {b};
    raster::Stroke sa, sb;
    sa.width = 20;
    sb.width = 100;
    sa.paint = a;
    sb.paint = b;
    m.startLines = {sa};
    m.endLines = {sb};
    raster::Edge line;  // a line start paired with a curve end
    line.x0 = 0, line.y0 = 0, line.x1 = 100, line.y1 = 0, line.cx = 50, line.cy = 0;
    line.fill1 = 1;
    line.line = 1;
    raster::Edge curve;
    curve.kind = raster::Edge::Kind::Quad;
    curve.x0 = 0, curve.y0 = 100, curve.cx = 100, curve.cy = 200, curve.x1 = 200, curve.y1 = 100;
    m.startEdges = {line};
    m.endEdges = {curve};
    raster::Shape s;
    engine::swf::BuildMorphShape(m, 0.5, s);
    ASSERT_EQ(s.layers.size(), 1u);
    ASSERT_EQ(s.layers[0].edges.size(), 1u);
    const raster::Edge& e = s.layers[0].edges[0];
    EXPECT_EQ(e.kind, raster::Edge::Kind::Quad);
    EXPECT_FLOAT_EQ(e.y0, 50);
    EXPECT_FLOAT_EQ(e.cx, 75);
    EXPECT_FLOAT_EQ(e.cy, 100);
    EXPECT_FLOAT_EQ(e.x1, 150);
    EXPECT_EQ(e.fill1, 1);
    EXPECT_EQ(s.layers[0].fills[0].color.r, 100);
    EXPECT_EQ(s.layers[0].fills[0].color.a, 155);
    EXPECT_DOUBLE_EQ(s.layers[0].strokes[0].width, 60);
    // Ratio extremes (and values outside) give exactly the start and end.
    engine::swf::BuildMorphShape(m, 0, s);
    EXPECT_EQ(s.layers[0].edges[0].kind, raster::Edge::Kind::Quad);  // still a curve: its control on the line
    EXPECT_FLOAT_EQ(s.layers[0].edges[0].cx, 50);
    EXPECT_EQ(s.layers[0].fills[0].color.b, 200);
    engine::swf::BuildMorphShape(m, 1, s);
    EXPECT_FLOAT_EQ(s.layers[0].edges[0].y1, 100);
    EXPECT_EQ(s.layers[0].fills[0].color.a, 55);
    engine::swf::BuildMorphShape(m, 7.5, s);
    EXPECT_EQ(s.layers[0].fills[0].color.a, 55);
    engine::swf::BuildMorphShape(m, std::nan(""), s);
    EXPECT_EQ(s.layers[0].fills[0].color.a, 255);
    // Unpaired edges: the start shape at every ratio.
    m.endEdges.push_back(curve);
    m.paired = false;
    engine::swf::BuildMorphShape(m, 0.8, s);
    EXPECT_EQ(s.layers[0].edges[0].kind, raster::Edge::Kind::Line);
    EXPECT_FLOAT_EQ(s.layers[0].edges[0].x1, 100);
    EXPECT_EQ(s.layers[0].fills[0].color.a, 255);
}

TEST(MorphBadInput, MismatchedCountsTruncationAndExtremes) {
    // End shape with one edge fewer than the start: parsed unpaired, drawn as the start shape.
    kit::Movie mv = Stage();
    kit::ShapeBuilder shortEnd;
    shortEnd.MoveTo(0, 0).LineTo(kit::Px(30), 0).LineTo(kit::Px(30), kit::Px(30)).LineTo(0, 0);
    std::vector<kit::MorphFill> fills = {
        {kit::FillStyle::Solid(kit::Rgba::Hex(0xE02020)), kit::FillStyle::Solid(kit::Rgba::Hex(0x2040F0))}};
    const uint16_t id = mv.DefineMorphShape(SquareStart(1, 0), shortEnd, fills, {});
    mv.Place2(kit::Place::Add(1, id).At(kit::Matrix::Translate(kit::Px(10), kit::Px(10))).WithRatio(65535));
    const uint16_t ok = DefineSolidMorph(mv, false);
    mv.Place2(kit::Place::Add(2, ok).At(kit::Matrix::Translate(kit::Px(100), kit::Px(60))).WithRatio(65535));
    mv.ShowFrame();
    const Image img = RenderKit(mv, kW, kH);
    ASSERT_EQ(img.width, kW);
    EXPECT_EQ(PixelAt(img, 12, 38)[0], 0xE0);  // lower left of the start square, in its start colour
    EXPECT_EQ(PixelAt(img, 12, 38)[2], 0x20);
    EXPECT_GT(PixelAt(img, 115, 75)[2], 200);  // the good morph at its end colour

    // Every truncation of both tag versions parses or fails cleanly, and draws at any ratio.
    const kit::Bytes file = mv.Build(kit::Compression::None);
    engine::swf::SwfFile f;
    std::string error;
    ASSERT_TRUE(engine::swf::DecodeSwf(file, f, error)) << error;
    kit::Movie mv2 = Stage();
    DefineSolidMorph(mv2, true);
    engine::swf::SwfFile f2;
    const kit::Bytes file2 = mv2.Build(kit::Compression::None);
    ASSERT_TRUE(engine::swf::DecodeSwf(file2, f2, error)) << error;
    int checked = 0;
    for (const auto* file_ : {&f, &f2}) {
        for (const engine::swf::Tag& t : file_->tags) {
            if (t.code != engine::swf::tag::DefineMorphShape && t.code != engine::swf::tag::DefineMorphShape2) continue;
            const int version = t.code == engine::swf::tag::DefineMorphShape ? 1 : 2;
            engine::swf::MorphDefinition full;
            ASSERT_TRUE(engine::swf::ParseDefineMorphShape(t.data, version, nullptr, full, error)) << error;
            if (t.code == engine::swf::tag::DefineMorphShape2) {
                EXPECT_TRUE(full.paired);
            }
            for (size_t len = 0; len <= t.data.size(); ++len) {
                engine::swf::MorphDefinition md;
                if (engine::swf::ParseDefineMorphShape(t.data.subspan(0, len), version, nullptr, md, error)) {
                    raster::Shape s;
                    for (double r : {0.0, 0.5, 1.0}) engine::swf::BuildMorphShape(md, r, s);
                    EXPECT_LE(s.layers[0].edges.size(), md.startEdges.size());
                }
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 3);
}

TEST(Morph, FocalGradientsCarryTheirFocalPoints) {
    // A focal morph gradient stores a focal point for each end after its stops; the fill that
    // follows it must still be read right.
    kit::Movie mv = Stage();
    kit::Gradient g = kit::Gradient::Even({kit::Rgba::Hex(0xffffff), kit::Rgba::Hex(0x000080)});
    const kit::Matrix box = kit::Matrix::GradientBox(0, 0, kit::Px(30), kit::Px(30));
    std::vector<kit::MorphFill> fills = {
        {kit::FillStyle::Focal(g, -0.5, box), kit::FillStyle::Focal(g, 0.75, box)},
        {kit::FillStyle::Solid(kit::Rgba::Hex(0x123456)), kit::FillStyle::Solid(kit::Rgba::Hex(0x654321))}};
    mv.DefineMorphShape2(SquareStart(1, 0), RoundEnd(), fills, {});
    const kit::Bytes file = mv.Build(kit::Compression::None);
    engine::swf::SwfFile f;
    std::string error;
    ASSERT_TRUE(engine::swf::DecodeSwf(file, f, error)) << error;
    const engine::swf::Tag* tag = nullptr;
    for (const engine::swf::Tag& t : f.tags)
        if (t.code == engine::swf::tag::DefineMorphShape2) tag = &t;
    ASSERT_NE(tag, nullptr);
    engine::swf::MorphDefinition md;
    ASSERT_TRUE(engine::swf::ParseDefineMorphShape(tag->data, 2, nullptr, md, error)) << error;
    ASSERT_EQ(md.startFills.size(), 2u);
    EXPECT_EQ(md.startFills[0].gradient.kind, raster::Gradient::Kind::Focal);
    EXPECT_DOUBLE_EQ(md.startFills[0].gradient.focal, -0.5);
    EXPECT_DOUBLE_EQ(md.endFills[0].gradient.focal, 0.75);
    EXPECT_EQ(md.startFills[1].color.r, 0x12);
    EXPECT_EQ(md.endFills[1].color.b, 0x21);
    EXPECT_TRUE(md.paired);
    raster::Shape s;
    engine::swf::BuildMorphShape(md, 0.5, s);
    EXPECT_DOUBLE_EQ(s.layers[0].fills[0].gradient.focal, 0.125);
}
