// swfkit_feature_movie OUTDIR: writes movies that use every record the kit can write, in
// each compression, plus deliberately broken ones, for the independent parser check.
#include "tools/swfkit/swfkit.h"

#include <cstdio>
#include <string>

using namespace lumarel::swfkit;

namespace {

Movie featureMovie() {
    Movie m(Rect{-200, 11000, -100, 8000}, 24.0, 10);
    m.background(Rgba::hex(0x204060));

    // DefineShape: solid fill, plain line.
    ShapeBuilder s1;
    s1.addLine(LineStyle::solid(20, Rgba::hex(0xFFFFFF)));
    s1.style(s1.addFill(FillStyle::solid(Rgba::hex(0xFF0000))), 1).rect(0, 0, px(50), px(30));
    const std::uint16_t shape1 = m.defineShape(s1, 1);

    // DefineShape2: linear gradient, new styles with different bit counts.
    ShapeBuilder s2;
    s2.style(s2.addFill(FillStyle::linear(
                 Gradient::even({Rgba::hex(0x000000), Rgba::hex(0x00FF00), Rgba::hex(0xFFFFFF)}),
                 Matrix::gradientBox(0, 0, px(100), px(100)))))
        .circle(0, 0, px(50));
    s2.newStyles();
    for (int i = 0; i < 5; ++i) s2.addFill(FillStyle::solid(Rgba::hsv(i * 70, 1, 1)));
    s2.addLine(LineStyle::solid(40, Rgba::hex(0x000000)));
    s2.style(5, 1).star(0, 0, px(30), px(12), 5);
    const std::uint16_t shape2 = m.defineShape(s2, 2);

    // DefineShape3: radial gradient with alpha, bitmap fill, rounded rectangle, curves.
    Bitmap bmp{8, 8, {}};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            bmp.argb.push_back(((x + y) % 2) ? 0xFFFFCC00u : 0x80003366u);
    const std::uint16_t bitsOpaque = m.defineBitsLossless(bmp, false);
    const std::uint16_t bitsAlpha = m.defineBitsLossless(bmp, true);
    const std::uint16_t bitsPalette = m.defineBitsLossless(bmp, false, true);
    const std::uint16_t bitsPalette2 = m.defineBitsLossless(bmp, true, true);
    ShapeBuilder s3;
    s3.style(s3.addFill(FillStyle::radial(
                 Gradient::even({Rgba::hex(0xFFFFFF, 255), Rgba::hex(0x0080FF, 0)}),
                 Matrix::gradientBox(-px(40), -px(40), px(80), px(80)))))
        .roundRect(-px(40), -px(40), px(80), px(80), px(12));
    s3.style(s3.addFill(FillStyle::bitmap(bitsAlpha, Matrix::bitmapAt(0, 0, 2.0))))
        .ellipse(px(60), 0, px(20), px(10), 12);
    s3.style(s3.addFill(FillStyle::bitmap(bitsPalette, Matrix::bitmapAt(0, 0), false, false)))
        .regularPolygon(-px(60), 0, px(15), 7);
    s3.addFill(FillStyle::bitmap(bitsOpaque, Matrix::identity(), true, false));
    s3.addFill(FillStyle::bitmap(bitsPalette2, Matrix::identity(), false, true));
    const std::uint16_t shape3 = m.defineShape(s3, 3);

    // DefineShape4: focal gradient (reflect, linear RGB), LINESTYLE2 with every option.
    ShapeBuilder s4;
    Gradient focal = Gradient::even({Rgba::hex(0xFF00FF), Rgba::hex(0x00FFFF, 128),
                                     Rgba::hex(0xFFFF00), Rgba::hex(0x000000, 0)});
    focal.spread = Spread::Reflect;
    focal.interpolation = Interpolation::Linear;
    const int f = s4.addFill(FillStyle::focal(focal, 0.75, Matrix::gradientBox(-px(50), -px(50), px(100), px(100), 0.3)));
    LineStyle round = LineStyle::solid(px(6), Rgba::hex(0xFFFFFF, 200));
    LineStyle miter = LineStyle::solid(px(3), Rgba::hex(0x00FF00));
    miter.caps(Cap::Square).joins(Join::Miter, 4.0);
    miter.noHScale = miter.noVScale = miter.pixelHinting = true;
    LineStyle gradLine = LineStyle::solid(px(4), Rgba{});
    gradLine.startCap = Cap::None;
    gradLine.join = Join::Bevel;
    gradLine.noClose = true;
    Gradient repeat = Gradient::even({Rgba::hex(0xFF0000), Rgba::hex(0x0000FF)});
    repeat.spread = Spread::Repeat;
    gradLine.fill = FillStyle::linear(repeat, Matrix::gradientBox(0, 0, px(20), px(20)));
    const int l1 = s4.addLine(round), l2 = s4.addLine(miter), l3 = s4.addLine(gradLine);
    s4.fill0(f).line(l1).circle(0, 0, px(50));
    s4.fill0(0).line(l2).moveTo(-px(40), px(60)).lineTo(0, px(80)).lineTo(px(40), px(60));
    s4.line(l3).arc(0, 0, px(60), 0, 3.0);
    const std::uint16_t shape4 = m.defineShape(s4, 4);

    // DefineMorphShape: solid, gradient and bitmap fills, a line.
    ShapeBuilder ms, me;
    ms.style(1, 1).rect(0, 0, px(40), px(40));
    ms.style(2, 0).circle(px(80), px(20), px(10));
    ms.style(3, 0).rect(px(120), 0, px(20), px(20));
    me.style(1, 1).star(px(20), px(20), px(30), px(10), 2);  // same edge count as the rect: 4
    me.style(2, 0).circle(px(80), px(20), px(25));
    me.style(3, 0).rect(px(110), -px(10), px(40), px(40));
    MorphFill grad{FillStyle::radial(Gradient::even({Rgba::hex(0xFFFFFF), Rgba::hex(0xFF0000)}),
                                     Matrix::gradientBox(px(70), px(10), px(20), px(20))),
                   FillStyle::radial(Gradient::even({Rgba::hex(0x000000), Rgba::hex(0x00FF00)}),
                                     Matrix::gradientBox(px(55), -px(5), px(50), px(50)))};
    const std::uint16_t morph = m.defineMorphShape(
        ms, me,
        {MorphFill{FillStyle::solid(Rgba::hex(0xFF8000)), FillStyle::solid(Rgba::hex(0x0080FF, 100))},
         grad,
         MorphFill{FillStyle::bitmap(bitsOpaque, Matrix::bitmapAt(0, 0)),
                   FillStyle::bitmap(bitsOpaque, Matrix::bitmapAt(0, 0, 3.0))}},
        {MorphLine{20, 100, Rgba::hex(0xFFFFFF), Rgba::hex(0x000000, 50)}});

    // Sprites: an inner sprite with a label and a loop action, inside an outer sprite.
    Sprite inner;
    inner.place(Place::add(1, shape1).at(Matrix::rotate(0.1)));
    inner.label("spin").showFrame();
    inner.place(Place::modify(1).at(Matrix::rotate(0.2))).showFrame();
    inner.doAction(Actions().gotoLabel("spin").play()).showFrame();
    const std::uint16_t innerId = m.defineSprite(inner);
    Sprite outer;
    outer.place(Place::add(1, innerId).named("inner"));
    outer.place(Place::add(2, shape2).at(Matrix::translate(px(100), 0)));
    outer.showFrame();
    outer.remove(2).showFrame();
    const std::uint16_t outerId = m.defineSprite(outer);

    // Main timeline: every display-list and control tag.
    m.label("start", true);
    m.placeObject(shape1, 1, Matrix::translate(px(10), px(10)), ColorTransform::add(10, -10, 30));
    m.placeObject(shape1, 2, Matrix::translate(px(20), px(20)));
    m.place(Place::add(3, shape3).at(Matrix::translate(px(200), px(200)) * Matrix::scale(1.5, 0.75)));
    m.place(Place::add(4, shape4).at(Matrix::translate(px(300), px(200))).color(ColorTransform::alpha(0.7)));
    m.place(Place::add(5, outerId).at(Matrix::translate(px(100), px(300))).named("outer"));
    m.place(Place::add(6, morph).withRatio(0).at(Matrix::translate(px(50), px(50))));
    m.place(Place::add(10, shape3).clipTo(12).at(Matrix::translate(px(400), px(100))));
    m.place(Place::add(11, shape2).at(Matrix::translate(px(400), px(100))));
    m.showFrame();

    m.place(Place::modify(3).at(Matrix::translate(px(210), px(200)) * Matrix::rotate(0.5)));
    m.place(Place::modify(6).withRatio(32768));
    m.place(Place::modify(4).color(ColorTransform::tint(Rgba::hex(0xFF0000), 0.5)));
    m.removeObject(shape1, 2);
    m.doAction(Actions().setTarget("outer").stop().setTarget("").nextFrame());
    m.showFrame();

    Place p3 = Place::replace(4, shape2);
    p3.matrix = Matrix::skew(0.3, 0.1) * Matrix::translate(px(300), px(200));
    p3.cxform = ColorTransform::multiply(0.5, 1.0, 1.5, 0.9);
    p3.blendMode = 3;
    p3.cacheAsBitmap = 1;
    // The check parser reads Visible and BackgroundColor together, so both are set here.
    p3.visible = 1;
    p3.opaqueBackground = Rgba::hex(0x000000, 0);
    m.place3(p3);
    Place plain3 = Place::add(7, shape1);
    plain3.ratio = 5;
    plain3.name = "seven";
    m.place3(plain3);
    m.place(Place::modify(6).withRatio(65535));
    m.remove(1);
    m.label("middle");
    m.doAction(Actions().waitForFrame(3, 1).gotoFrame(0).prevFrame().op(0x09).op(0x08));
    m.showFrame();

    m.forceLongHeaders(true);
    m.remove(7);
    m.raw(1000, Bytes{1, 2, 3});  // an unknown tag is skipped by readers
    m.forceLongHeaders(false);
    m.label("end");
    m.doAction(Actions().gotoLabel("end").stop());
    m.showFrame();
    return m;
}

bool write(const std::string& path, const Bytes& b) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: swfkit_feature_movie OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Movie m = featureMovie();
    bool ok = write(dir + "/feature-fws.swf", m.build(Compression::None)) &&
              write(dir + "/feature-cws.swf", m.build(Compression::Zlib));
    if (lzmaAvailable()) ok = ok && write(dir + "/feature-zws.swf", m.build(Compression::Lzma));

    // Broken on purpose: the checker must catch each of these.
    BuildOptions wrongLength;
    wrongLength.fileLength = 1234;
    ok = ok && write(dir + "/broken-length.swf", m.build(wrongLength));
    BuildOptions wrongFrames;
    wrongFrames.frameCount = 99;
    ok = ok && write(dir + "/broken-frames.swf", m.build(wrongFrames));
    Movie shortTag(Rect::pixels(0, 0, 100, 100), 12);
    shortTag.raw(tag::PlaceObject2, Bytes{0x06, 0x01, 0x00, 0x01, 0x00});  // matrix missing
    shortTag.showFrame();
    ok = ok && write(dir + "/broken-tag.swf", shortTag.build());
    if (!ok) {
        std::fprintf(stderr, "swfkit_feature_movie: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
