// swfkit_feature_movie OUTDIR: writes movies that use every record the kit can write, in
// each compression, plus deliberately broken ones, for the independent parser check.
#include "tools/swfkit/swfkit.h"

#include <cstdio>
#include <string>

using namespace lumarel::swfkit;

namespace {

Movie FeatureMovie() {
    Movie m(Rect{-200, 11000, -100, 8000}, 24.0, 10);
    m.Background(Rgba::Hex(0x204060));

    // DefineShape: solid fill, plain line.
    ShapeBuilder s1;
    s1.AddLine(LineStyle::Solid(20, Rgba::Hex(0xFFFFFF)));
    s1.Style(s1.AddFill(FillStyle::Solid(Rgba::Hex(0xFF0000))), 1).Rectangle(0, 0, Px(50), Px(30));
    const std::uint16_t shape1 = m.DefineShape(s1, 1);

    // DefineShape2: linear gradient, new styles with different bit counts.
    ShapeBuilder s2;
    s2.Style(
          s2.AddFill(FillStyle::Linear(Gradient::Even({Rgba::Hex(0x000000), Rgba::Hex(0x00FF00), Rgba::Hex(0xFFFFFF)}),
                                       Matrix::GradientBox(0, 0, Px(100), Px(100)))))
        .Circle(0, 0, Px(50));
    s2.NewStyles();
    for (int i = 0; i < 5; ++i) s2.AddFill(FillStyle::Solid(Rgba::Hsv(i * 70, 1, 1)));
    s2.AddLine(LineStyle::Solid(40, Rgba::Hex(0x000000)));
    s2.Style(5, 1).Star(0, 0, Px(30), Px(12), 5);
    const std::uint16_t shape2 = m.DefineShape(s2, 2);

    // DefineShape3: radial gradient with alpha, bitmap fill, rounded rectangle, curves.
    Bitmap bmp{8, 8, {}};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) bmp.argb.push_back(((x + y) % 2) ? 0xFFFFCC00u : 0x80003366u);
    const std::uint16_t bitsOpaque = m.DefineBitsLossless(bmp, false);
    const std::uint16_t bitsAlpha = m.DefineBitsLossless(bmp, true);
    const std::uint16_t bitsPalette = m.DefineBitsLossless(bmp, false, true);
    const std::uint16_t bitsPalette2 = m.DefineBitsLossless(bmp, true, true);
    ShapeBuilder s3;
    s3.Style(s3.AddFill(FillStyle::Radial(Gradient::Even({Rgba::Hex(0xFFFFFF, 255), Rgba::Hex(0x0080FF, 0)}),
                                          Matrix::GradientBox(-Px(40), -Px(40), Px(80), Px(80)))))
        .RoundRect(-Px(40), -Px(40), Px(80), Px(80), Px(12));
    s3.Style(s3.AddFill(FillStyle::Bitmap(bitsAlpha, Matrix::BitmapAt(0, 0, 2.0))))
        .Ellipse(Px(60), 0, Px(20), Px(10), 12);
    s3.Style(s3.AddFill(FillStyle::Bitmap(bitsPalette, Matrix::BitmapAt(0, 0), false, false)))
        .RegularPolygon(-Px(60), 0, Px(15), 7);
    s3.AddFill(FillStyle::Bitmap(bitsOpaque, Matrix::Identity(), true, false));
    s3.AddFill(FillStyle::Bitmap(bitsPalette2, Matrix::Identity(), false, true));
    const std::uint16_t shape3 = m.DefineShape(s3, 3);

    // DefineShape4: focal gradient (reflect, linear RGB), LINESTYLE2 with every option.
    ShapeBuilder s4;
    Gradient focal =
        Gradient::Even({Rgba::Hex(0xFF00FF), Rgba::Hex(0x00FFFF, 128), Rgba::Hex(0xFFFF00), Rgba::Hex(0x000000, 0)});
    focal.spread = Spread::Reflect;
    focal.interpolation = Interpolation::Linear;
    const int f =
        s4.AddFill(FillStyle::Focal(focal, 0.75, Matrix::GradientBox(-Px(50), -Px(50), Px(100), Px(100), 0.3)));
    LineStyle round = LineStyle::Solid(Px(6), Rgba::Hex(0xFFFFFF, 200));
    LineStyle miter = LineStyle::Solid(Px(3), Rgba::Hex(0x00FF00));
    miter.Caps(Cap::Square).Joins(Join::Miter, 4.0);
    miter.noHScale = miter.noVScale = miter.pixelHinting = true;
    LineStyle gradLine = LineStyle::Solid(Px(4), Rgba{});
    gradLine.startCap = Cap::None;
    gradLine.join = Join::Bevel;
    gradLine.noClose = true;
    Gradient repeat = Gradient::Even({Rgba::Hex(0xFF0000), Rgba::Hex(0x0000FF)});
    repeat.spread = Spread::Repeat;
    gradLine.fill = FillStyle::Linear(repeat, Matrix::GradientBox(0, 0, Px(20), Px(20)));
    const int l1 = s4.AddLine(round), l2 = s4.AddLine(miter), l3 = s4.AddLine(gradLine);
    s4.Fill0(f).Line(l1).Circle(0, 0, Px(50));
    s4.Fill0(0).Line(l2).MoveTo(-Px(40), Px(60)).LineTo(0, Px(80)).LineTo(Px(40), Px(60));
    s4.Line(l3).Arc(0, 0, Px(60), 0, 3.0);
    const std::uint16_t shape4 = m.DefineShape(s4, 4);

    // DefineMorphShape: solid, gradient and bitmap fills, a line.
    ShapeBuilder ms, me;
    ms.Style(1, 1).Rectangle(0, 0, Px(40), Px(40));
    ms.Style(2, 0).Circle(Px(80), Px(20), Px(10));
    ms.Style(3, 0).Rectangle(Px(120), 0, Px(20), Px(20));
    me.Style(1, 1).Star(Px(20), Px(20), Px(30), Px(10), 2);  // same edge count as the rect: 4
    me.Style(2, 0).Circle(Px(80), Px(20), Px(25));
    me.Style(3, 0).Rectangle(Px(110), -Px(10), Px(40), Px(40));
    MorphFill grad{FillStyle::Radial(Gradient::Even({Rgba::Hex(0xFFFFFF), Rgba::Hex(0xFF0000)}),
                                     Matrix::GradientBox(Px(70), Px(10), Px(20), Px(20))),
                   FillStyle::Radial(Gradient::Even({Rgba::Hex(0x000000), Rgba::Hex(0x00FF00)}),
                                     Matrix::GradientBox(Px(55), -Px(5), Px(50), Px(50)))};
    const std::uint16_t morph = m.DefineMorphShape(
        ms, me,
        {MorphFill{FillStyle::Solid(Rgba::Hex(0xFF8000)), FillStyle::Solid(Rgba::Hex(0x0080FF, 100))}, grad,
         MorphFill{FillStyle::Bitmap(bitsOpaque, Matrix::BitmapAt(0, 0)),
                   FillStyle::Bitmap(bitsOpaque, Matrix::BitmapAt(0, 0, 3.0))}},
        {MorphLine{20, 100, Rgba::Hex(0xFFFFFF), Rgba::Hex(0x000000, 50)}});

    // Sprites: an inner sprite with a label and a loop action, inside an outer sprite.
    Sprite inner;
    inner.Place2(Place::Add(1, shape1).At(Matrix::Rotate(0.1)));
    inner.Label("spin").ShowFrame();
    inner.Place2(Place::Modify(1).At(Matrix::Rotate(0.2))).ShowFrame();
    inner.DoAction(Actions().GotoLabel("spin").Play()).ShowFrame();
    const std::uint16_t innerId = m.DefineSprite(inner);
    Sprite outer;
    outer.Place2(Place::Add(1, innerId).Named("inner"));
    outer.Place2(Place::Add(2, shape2).At(Matrix::Translate(Px(100), 0)));
    outer.ShowFrame();
    outer.Remove(2).ShowFrame();
    const std::uint16_t outerId = m.DefineSprite(outer);

    // Main timeline: every display-list and control tag.
    m.Label("start", true);
    m.PlaceObject(shape1, 1, Matrix::Translate(Px(10), Px(10)), ColorTransform::Add(10, -10, 30));
    m.PlaceObject(shape1, 2, Matrix::Translate(Px(20), Px(20)));
    m.Place2(Place::Add(3, shape3).At(Matrix::Translate(Px(200), Px(200)) * Matrix::Scale(1.5, 0.75)));
    m.Place2(Place::Add(4, shape4).At(Matrix::Translate(Px(300), Px(200))).Color(ColorTransform::Alpha(0.7)));
    m.Place2(Place::Add(5, outerId).At(Matrix::Translate(Px(100), Px(300))).Named("outer"));
    m.Place2(Place::Add(6, morph).WithRatio(0).At(Matrix::Translate(Px(50), Px(50))));
    m.Place2(Place::Add(10, shape3).ClipTo(12).At(Matrix::Translate(Px(400), Px(100))));
    m.Place2(Place::Add(11, shape2).At(Matrix::Translate(Px(400), Px(100))));
    m.ShowFrame();

    m.Place2(Place::Modify(3).At(Matrix::Translate(Px(210), Px(200)) * Matrix::Rotate(0.5)));
    m.Place2(Place::Modify(6).WithRatio(32768));
    m.Place2(Place::Modify(4).Color(ColorTransform::Tint(Rgba::Hex(0xFF0000), 0.5)));
    m.RemoveObject(shape1, 2);
    m.DoAction(Actions().SetTarget("outer").Stop().SetTarget("").NextFrame());
    m.ShowFrame();

    Place p3 = Place::Replace(4, shape2);
    p3.matrix = Matrix::Skew(0.3, 0.1) * Matrix::Translate(Px(300), Px(200));
    p3.cxform = ColorTransform::Multiply(0.5, 1.0, 1.5, 0.9);
    p3.blendMode = 3;
    p3.cacheAsBitmap = 1;
    // The check parser reads Visible and BackgroundColor together, so both are set here.
    p3.visible = 1;
    p3.opaqueBackground = Rgba::Hex(0x000000, 0);
    m.Place3(p3);
    Place plain3 = Place::Add(7, shape1);
    plain3.ratio = 5;
    plain3.name = "seven";
    m.Place3(plain3);
    m.Place2(Place::Modify(6).WithRatio(65535));
    m.Remove(1);
    m.Label("middle");
    m.DoAction(Actions().WaitForFrame(3, 1).GotoFrame(0).PrevFrame().Op(0x09).Op(0x08));
    m.ShowFrame();

    m.ForceLongHeaders(true);
    m.Remove(7);
    m.Raw(1000, Bytes{1, 2, 3});  // an unknown tag is skipped by readers
    m.ForceLongHeaders(false);
    m.Label("end");
    m.DoAction(Actions().GotoLabel("end").Stop());
    m.ShowFrame();
    return m;
}

bool Write(const std::string& path, const Bytes& b) {
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
    const Movie m = FeatureMovie();
    bool ok = Write(dir + "/feature-fws.swf", m.Build(Compression::None)) &&
              Write(dir + "/feature-cws.swf", m.Build(Compression::Zlib));
    if (LzmaAvailable()) ok = ok && Write(dir + "/feature-zws.swf", m.Build(Compression::Lzma));

    // Broken on purpose: the checker must catch each of these.
    BuildOptions wrongLength;
    wrongLength.fileLength = 1234;
    ok = ok && Write(dir + "/broken-length.swf", m.Build(wrongLength));
    BuildOptions wrongFrames;
    wrongFrames.frameCount = 99;
    ok = ok && Write(dir + "/broken-frames.swf", m.Build(wrongFrames));
    Movie shortTag(Rect::Pixels(0, 0, 100, 100), 12);
    shortTag.Raw(tag::PlaceObject2, Bytes{0x06, 0x01, 0x00, 0x01, 0x00});  // matrix missing
    shortTag.ShowFrame();
    ok = ok && Write(dir + "/broken-tag.swf", shortTag.Build());
    if (!ok) {
        std::fprintf(stderr, "swfkit_feature_movie: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
