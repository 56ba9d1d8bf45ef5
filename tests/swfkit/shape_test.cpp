// Shapes, display list tags, actions, sprites, bitmaps and morph shapes, decoded back field by
// field with the test's own reader.
#include "tests/swfkit/swf_reader.h"
#include "tools/swfkit/swfkit.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>

using namespace lumarel::swfkit;
using swfkit_test::Reader;

namespace {

struct EdgeV {
    bool style = false;
    // style change
    bool newStyles = false, hasLine = false, hasF1 = false, hasF0 = false, hasMove = false;
    std::int32_t mx = 0, my = 0;
    std::uint32_t f0 = 0, f1 = 0, ln = 0;
    unsigned moveBits = 0;
    // edges
    bool straight = false, general = false, vertical = false;
    unsigned numBits = 0;
    std::int32_t dx = 0, dy = 0, ax = 0, ay = 0;
    // new style set
    std::size_t newFills = 0, newLines = 0;
};

struct FillV {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> color;
    swfkit_test::MatrixV matrix;
    unsigned spread = 0, interp = 0;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> stops;
    std::int16_t focal = 0;
    std::uint16_t bitmap = 0;
};

struct LineV {
    std::uint16_t width = 0;
    unsigned startCap = 0, join = 0, endCap = 0;
    bool hasFill = false, noH = false, noV = false, hint = false, noClose = false;
    std::uint16_t miter = 0;
    std::vector<std::uint8_t> color;
    FillV fill;
};

std::vector<std::uint8_t> ReadColor(Reader& r, int version) {
    std::vector<std::uint8_t> c{r.U8(), r.U8(), r.U8()};
    if (version >= 3) c.push_back(r.U8());
    return c;
}

FillV ReadFill(Reader& r, int version) {
    FillV f;
    f.type = r.U8();
    if (f.type == 0x00) {
        f.color = ReadColor(r, version);
    } else if (f.type == 0x10 || f.type == 0x12 || f.type == 0x13) {
        f.matrix = swfkit_test::ReadMatrix(r);
        f.spread = r.Ub(2);
        f.interp = r.Ub(2);
        const unsigned n = r.Ub(4);
        for (unsigned i = 0; i < n; ++i) {
            const std::uint8_t ratio = r.U8();
            f.stops.emplace_back(ratio, ReadColor(r, version));
        }
        if (f.type == 0x13) f.focal = static_cast<std::int16_t>(r.U16());
    } else {
        f.bitmap = r.U16();
        f.matrix = swfkit_test::ReadMatrix(r);
    }
    return f;
}

std::size_t ReadCount(Reader& r) {
    std::size_t n = r.U8();
    if (n == 0xFF) n = r.U16();
    return n;
}

struct ShapeV {
    std::vector<FillV> fills;
    std::vector<LineV> lines;
    unsigned fillBits = 0, lineBits = 0;
    std::vector<EdgeV> records;
};

void ReadStyles(Reader& r, int version, std::vector<FillV>& fills, std::vector<LineV>& lines) {
    const std::size_t nf = ReadCount(r);
    for (std::size_t i = 0; i < nf; ++i) fills.push_back(ReadFill(r, version));
    const std::size_t nl = ReadCount(r);
    for (std::size_t i = 0; i < nl; ++i) {
        LineV l;
        l.width = r.U16();
        if (version < 4) {
            l.color = ReadColor(r, version);
        } else {
            l.startCap = r.Ub(2);
            l.join = r.Ub(2);
            l.hasFill = r.Ub(1);
            l.noH = r.Ub(1);
            l.noV = r.Ub(1);
            l.hint = r.Ub(1);
            EXPECT_EQ(r.Ub(5), 0u);
            l.noClose = r.Ub(1);
            l.endCap = r.Ub(2);
            if (l.join == 2) l.miter = r.U16();
            if (l.hasFill)
                l.fill = ReadFill(r, version);
            else
                l.color = ReadColor(r, version);
        }
        lines.push_back(l);
    }
}

std::vector<EdgeV> ReadRecords(Reader& r, int version, unsigned fillBits, unsigned lineBits) {
    std::vector<EdgeV> out;
    for (;;) {
        EdgeV e;
        if (r.Ub(1) == 0) {
            e.style = true;
            e.newStyles = r.Ub(1);
            e.hasLine = r.Ub(1);
            e.hasF1 = r.Ub(1);
            e.hasF0 = r.Ub(1);
            e.hasMove = r.Ub(1);
            if (!e.newStyles && !e.hasLine && !e.hasF1 && !e.hasF0 && !e.hasMove) break;
            if (e.hasMove) {
                e.moveBits = r.Ub(5);
                e.mx = r.Sb(e.moveBits);
                e.my = r.Sb(e.moveBits);
            }
            if (e.hasF0) e.f0 = r.Ub(fillBits);
            if (e.hasF1) e.f1 = r.Ub(fillBits);
            if (e.hasLine) e.ln = r.Ub(lineBits);
            if (e.newStyles) {
                std::vector<FillV> f;
                std::vector<LineV> l;
                ReadStyles(r, version, f, l);
                e.newFills = f.size();
                e.newLines = l.size();
                fillBits = r.Ub(4);
                lineBits = r.Ub(4);
            }
        } else {
            e.straight = r.Ub(1);
            e.numBits = r.Ub(4) + 2;
            if (e.straight) {
                e.general = r.Ub(1);
                if (e.general) {
                    e.dx = r.Sb(e.numBits);
                    e.dy = r.Sb(e.numBits);
                } else {
                    e.vertical = r.Ub(1);
                    (e.vertical ? e.dy : e.dx) = r.Sb(e.numBits);
                }
            } else {
                e.dx = r.Sb(e.numBits);
                e.dy = r.Sb(e.numBits);
                e.ax = r.Sb(e.numBits);
                e.ay = r.Sb(e.numBits);
            }
        }
        out.push_back(e);
    }
    r.Align();
    return out;
}

ShapeV DecodeShape(const Bytes& b, int version, std::size_t* endPos = nullptr) {
    Reader r(b);
    ShapeV s;
    ReadStyles(r, version, s.fills, s.lines);
    s.fillBits = r.Ub(4);
    s.lineBits = r.Ub(4);
    s.records = ReadRecords(r, version, s.fillBits, s.lineBits);
    if (endPos) *endPos = r.Pos();
    return s;
}

std::vector<swfkit_test::TagV> MovieTags(const Movie& m) {
    const Bytes f = m.Build();
    Reader r(f, 8);
    swfkit_test::ReadRect(r);
    r.U16();
    r.U16();
    return swfkit_test::ReadTags(f, r.Pos());
}

}  // namespace

TEST(Shape, StylesAndRecordsDecodeFieldByField) {
    ShapeBuilder s;
    Gradient g = Gradient::Even({Rgba::Hex(0xFF0000), Rgba::Hex(0x0000FF, 0x80)});
    g.spread = Spread::Reflect;
    g.interpolation = Interpolation::Linear;
    const int solid = s.AddFill(FillStyle::Solid(Rgba::Hex(0x102030, 0x40)));
    const int focal = s.AddFill(FillStyle::Focal(g, -0.5, Matrix::GradientBox(0, 0, 2000, 2000)));
    const int bmp = s.AddFill(FillStyle::Bitmap(7, Matrix::BitmapAt(0, 0), false, false));
    LineStyle miter = LineStyle::Solid(40, Rgba::Hex(0x00FF00));
    miter.startCap = Cap::None;
    miter.endCap = Cap::Square;
    miter.Joins(Join::Miter, 2.5);
    miter.noHScale = true;
    miter.noClose = true;
    LineStyle filled = LineStyle::Solid(100, Rgba{});
    filled.fill = FillStyle::Solid(Rgba::Hex(0xABCDEF));
    const int l1 = s.AddLine(miter);
    const int l2 = s.AddLine(filled);
    EXPECT_EQ(std::vector<int>({solid, focal, bmp, l1, l2}), std::vector<int>({1, 2, 3, 1, 2}));

    s.Fill0(focal).Fill1(solid).Line(l1).MoveTo(100, -200);
    s.LineTo(300, -200);  // horizontal
    s.LineTo(300, 1000);  // vertical
    s.LineTo(303, 1002);  // general, tiny
    s.CurveTo(500, 1200, 100, -200);
    s.Line(0);  // style change alone, no move
    s.LineTo(100, 0);
    s.NewStyles();
    const int n1 = s.AddFill(FillStyle::Solid(Rgba::Hex(0xFFFFFF)));
    s.Fill1(n1).MoveTo(0, 0).LineTo(-5, 0);

    const Bytes b = s.EncodeWithStyle(4);
    std::size_t end = 0;
    const ShapeV v = DecodeShape(b, 4, &end);
    EXPECT_EQ(end, b.size());

    ASSERT_EQ(v.fills.size(), 3u);
    EXPECT_EQ(v.fills[0].type, 0x00);
    EXPECT_EQ(v.fills[0].color, (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 0x40}));
    EXPECT_EQ(v.fills[1].type, 0x13);
    EXPECT_EQ(v.fills[1].spread, 1u);
    EXPECT_EQ(v.fills[1].interp, 1u);
    ASSERT_EQ(v.fills[1].stops.size(), 2u);
    EXPECT_EQ(v.fills[1].stops[1].first, 255);
    EXPECT_EQ(v.fills[1].stops[1].second, (std::vector<std::uint8_t>{0, 0, 255, 0x80}));
    EXPECT_EQ(v.fills[1].focal, -128);
    EXPECT_EQ(v.fills[1].matrix.tx, 1000);
    EXPECT_EQ(v.fills[1].matrix.a, 4000);  // 2000/32768 in 16.16
    EXPECT_EQ(v.fills[2].type, 0x43);
    EXPECT_EQ(v.fills[2].bitmap, 7);
    EXPECT_EQ(v.fills[2].matrix.a, 20 * 65536);

    ASSERT_EQ(v.lines.size(), 2u);
    EXPECT_EQ(v.lines[0].width, 40);
    EXPECT_EQ(v.lines[0].startCap, 1u);
    EXPECT_EQ(v.lines[0].endCap, 2u);
    EXPECT_EQ(v.lines[0].join, 2u);
    EXPECT_EQ(v.lines[0].miter, 640);  // 2.5 in 8.8
    EXPECT_TRUE(v.lines[0].noH);
    EXPECT_FALSE(v.lines[0].noV);
    EXPECT_TRUE(v.lines[0].noClose);
    EXPECT_EQ(v.lines[0].color, (std::vector<std::uint8_t>{0, 255, 0, 255}));
    EXPECT_TRUE(v.lines[1].hasFill);
    EXPECT_EQ(v.lines[1].fill.color, (std::vector<std::uint8_t>{0xAB, 0xCD, 0xEF, 0xFF}));

    EXPECT_EQ(v.fillBits, 2u);  // 3 fills
    EXPECT_EQ(v.lineBits, 2u);  // 2 lines
    ASSERT_EQ(v.records.size(), 10u);
    const EdgeV& first = v.records[0];
    EXPECT_TRUE(first.style && first.hasMove && first.hasF0 && first.hasF1 && first.hasLine);
    EXPECT_FALSE(first.newStyles);
    EXPECT_EQ(first.mx, 100);
    EXPECT_EQ(first.my, -200);
    EXPECT_EQ(first.moveBits, 9u);  // -200 needs 8 bits plus sign, 100 fewer
    EXPECT_EQ(first.f0, 2u);
    EXPECT_EQ(first.f1, 1u);
    EXPECT_EQ(first.ln, 1u);

    const EdgeV& h = v.records[1];
    EXPECT_TRUE(h.straight && !h.general && !h.vertical);
    EXPECT_EQ(h.dx, 200);
    EXPECT_EQ(h.numBits, 9u);
    const EdgeV& vert = v.records[2];
    EXPECT_TRUE(vert.straight && !vert.general && vert.vertical);
    EXPECT_EQ(vert.dy, 1200);
    const EdgeV& gen = v.records[3];
    EXPECT_TRUE(gen.straight && gen.general);
    EXPECT_EQ(gen.dx, 3);
    EXPECT_EQ(gen.dy, 2);
    EXPECT_EQ(gen.numBits, 3u);
    const EdgeV& c = v.records[4];
    EXPECT_FALSE(c.straight);
    EXPECT_EQ(c.dx, 197);
    EXPECT_EQ(c.dy, 198);
    EXPECT_EQ(c.ax, -400);
    EXPECT_EQ(c.ay, -1400);
    EXPECT_EQ(c.numBits, 12u);
    const EdgeV& lineOff = v.records[5];
    EXPECT_TRUE(lineOff.style && lineOff.hasLine && !lineOff.hasMove && !lineOff.hasF0);
    EXPECT_EQ(lineOff.ln, 0u);
    EXPECT_EQ(v.records[6].dy, 200);  // back to 100,0 from 100,-200
    const EdgeV& ns = v.records[7];
    EXPECT_TRUE(ns.style && ns.newStyles && !ns.hasMove && !ns.hasF1);
    EXPECT_EQ(ns.newFills, 1u);
    EXPECT_EQ(ns.newLines, 0u);
    const EdgeV& after = v.records[8];
    EXPECT_TRUE(after.hasMove && after.hasF0 && after.hasF1 && after.hasLine);
    EXPECT_EQ(after.f1, 1u);  // read with the new set's one fill bit
    EXPECT_EQ(after.ln, 0u);
    EXPECT_EQ(after.moveBits, 0u);
    EXPECT_EQ(v.records[9].dx, -5);
    EXPECT_EQ(v.records[9].numBits, 4u);
}

TEST(Shape, OldVersionsUseRgbAndPlainLineStyles) {
    ShapeBuilder s;
    s.AddFill(FillStyle::Linear(Gradient::Even({Rgba::Hex(0x010203), Rgba::Hex(0x040506)}), Matrix::Identity()));
    s.AddLine(LineStyle::Solid(20, Rgba::Hex(0x0A0B0C, 0x10)));
    s.Style(1, 1).Rectangle(0, 0, 100, 100);
    for (int version : {1, 2, 3}) {
        std::size_t end = 0;
        const ShapeV v = DecodeShape(s.EncodeWithStyle(version), version, &end);
        ASSERT_EQ(v.lines.size(), 1u);
        EXPECT_EQ(v.lines[0].color.size(), version >= 3 ? 4u : 3u);
        EXPECT_EQ(v.fills[0].stops[0].second.size(), version >= 3 ? 4u : 3u);
        EXPECT_EQ(v.records.size(), 5u);  // move + 4 edges
    }
}

TEST(Shape, LongEdgesAreSplitToFitSeventeenBits) {
    ShapeBuilder s;
    s.Style(s.AddFill(FillStyle::Solid(Rgba{}))).MoveTo(0, 0).LineTo(200000, 0).LineTo(0, 150000);
    s.CurveTo(-150000, 0, 0, 0);
    const ShapeV v = DecodeShape(s.EncodeWithStyle(3), 3);
    std::int64_t x = 0, y = 0;
    int lines = 0, curves = 0;
    for (const EdgeV& e : v.records) {
        if (e.style) continue;
        EXPECT_LE(e.numBits, 17u);
        x += e.dx + e.ax;
        y += e.dy + e.ay;
        (e.straight ? lines : curves)++;
    }
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(lines, 4 + 4);  // both 200000-twip runs in 4 pieces
    EXPECT_GE(curves, 2);
    const Rect eb = s.EdgeBounds();
    EXPECT_LE(eb.xmin, -75000);  // the curve's leftmost point
    EXPECT_GE(eb.xmin, -150000);
    EXPECT_EQ(eb.xmax, 200000);
}

TEST(Shape, ConvenienceContoursCloseAndBound) {
    auto closes = [](const ShapeBuilder& s) {
        const ShapeV v = DecodeShape(s.EncodeWithStyle(3), 3);
        std::int64_t x = 0, y = 0;
        for (const EdgeV& e : v.records) {
            if (e.style && e.hasMove) {
                EXPECT_TRUE(x == 0 && y == 0) << "previous contour left open";
                x = y = 0;
                continue;
            }
            x += e.dx + e.ax;
            y += e.dy + e.ay;
        }
        return x == 0 && y == 0;
    };
    ShapeBuilder a;
    a.Style(a.AddFill(FillStyle::Solid(Rgba{}))).Ellipse(1000, 1000, 600, 300);
    EXPECT_TRUE(closes(a));
    const Rect b = a.EdgeBounds();
    EXPECT_NEAR(b.xmin, 400, 1);
    EXPECT_NEAR(b.xmax, 1600, 1);
    EXPECT_NEAR(b.ymax, 1300, 1);
    ShapeBuilder r;
    r.Style(r.AddFill(FillStyle::Solid(Rgba{}))).RoundRect(0, 0, 1000, 500, 100);
    EXPECT_TRUE(closes(r));
    EXPECT_EQ(r.EdgeBounds(), (Rect{0, 1000, 0, 500}));
    ShapeBuilder st;
    st.AddLine(LineStyle::Solid(60, Rgba{}));
    st.Style(st.AddFill(FillStyle::Solid(Rgba{})), 1).Star(0, 0, 1000, 400, 5).RegularPolygon(0, 0, 300, 6);
    EXPECT_TRUE(closes(st));
    EXPECT_EQ(st.Bounds().ymin, st.EdgeBounds().ymin - 30);  // half the stroke width
    EXPECT_EQ(st.EdgeBounds().ymin, -1000);
}

TEST(Shape, DefineShapeTagsCarryBoundsAndFlags) {
    Movie m(Rect::Pixels(0, 0, 100, 100), 10);
    ShapeBuilder s;
    LineStyle thin = LineStyle::Solid(40, Rgba{});
    thin.noVScale = true;
    s.AddLine(thin);
    s.Style(0, 1).MoveTo(0, 0).LineTo(1000, 0);
    const std::uint16_t id4 = m.DefineShape(s, 4);
    const std::uint16_t id1 = m.DefineShape(s, 1);
    EXPECT_EQ(id4, 1);
    EXPECT_EQ(id1, 2);
    const auto tags = MovieTags(m);
    ASSERT_EQ(tags[0].code, tag::DefineShape4);
    Reader r(tags[0].body);
    EXPECT_EQ(r.U16(), id4);
    const auto bounds = swfkit_test::ReadRect(r);
    const auto edges = swfkit_test::ReadRect(r);
    EXPECT_EQ(bounds.xmin, -20);
    EXPECT_EQ(bounds.xmax, 1020);
    EXPECT_EQ(edges.xmin, 0);
    EXPECT_EQ(edges.ymax, 0);
    EXPECT_EQ(r.U8(), 0x02);  // non-scaling strokes only
    EXPECT_EQ(tags[1].code, tag::DefineShape);
}

TEST(DisplayList, PlaceObject2And3Fields) {
    Movie m(Rect::Pixels(0, 0, 100, 100), 10);
    m.Place2(Place::Add(3, 9)
                 .At(Matrix::Translate(20, 40))
                 .Color(ColorTransform::Alpha(0.5))
                 .WithRatio(300)
                 .Named("spin")
                 .ClipTo(7));
    m.Place2(Place::Modify(3).At(Matrix::Identity()));
    Place p3 = Place::Replace(4, 2);
    p3.className = "Cls";
    p3.blendMode = 3;
    p3.cacheAsBitmap = 1;
    p3.visible = 1;
    p3.opaqueBackground = Rgba::Hex(0x112233, 0x44);
    m.Place3(p3);
    m.PlaceObject(5, 6, Matrix::Translate(1, 1), ColorTransform::Add(1, 2, 3));
    m.Remove(3).RemoveObject(5, 6);
    const auto tags = MovieTags(m);
    ASSERT_EQ(tags.size(), 7u);

    Reader a(tags[0].body);
    EXPECT_EQ(a.U8(), 0x7E);  // clip depth, name, ratio, cxform, matrix, character
    EXPECT_EQ(a.U16(), 3);
    EXPECT_EQ(a.U16(), 9);
    EXPECT_EQ(swfkit_test::ReadMatrix(a).ty, 40);
    EXPECT_EQ(a.U8(), 0x69);  // CXFORMWITHALPHA: mult only, 10 bits
    a.Seek(a.Pos() + 5);
    EXPECT_EQ(a.U16(), 300);
    EXPECT_EQ(a.Str(), "spin");
    EXPECT_EQ(a.U16(), 7);
    EXPECT_TRUE(a.AtEnd());

    EXPECT_EQ(tags[1].body, (Bytes{0x05, 0x03, 0x00, 0x00}));  // move + matrix, identity

    ASSERT_EQ(tags[2].code, tag::PlaceObject3);
    Reader c(tags[2].body);
    EXPECT_EQ(c.U8(), 0x03);  // character + move
    EXPECT_EQ(c.U8(), 0x6E);  // opaque background, visible, class name, cache, blend
    EXPECT_EQ(c.U16(), 4);
    EXPECT_EQ(c.Str(), "Cls");
    EXPECT_EQ(c.U16(), 2);
    EXPECT_EQ(c.U8(), 3);
    EXPECT_EQ(c.U8(), 1);
    EXPECT_EQ(c.U8(), 1);
    EXPECT_EQ(c.U32(), 0x44332211u);
    EXPECT_TRUE(c.AtEnd());

    EXPECT_EQ(tags[3].code, tag::PlaceObject);
    EXPECT_EQ(Bytes(tags[3].body.begin(), tags[3].body.begin() + 4), (Bytes{5, 0, 6, 0}));
    EXPECT_EQ(tags[4].body, (Bytes{3, 0}));
    EXPECT_EQ(tags[5].body, (Bytes{5, 0, 6, 0}));
}

TEST(Actions, RecordsAndLabels) {
    Actions a;
    a.Stop()
        .Play()
        .NextFrame()
        .PrevFrame()
        .GotoFrame(5)
        .GotoLabel("go")
        .SetTarget("/a")
        .WaitForFrame(9, 2)
        .Op(0x96, Bytes{0x00, 'x', 0})
        .Raw(Bytes{0x17});
    EXPECT_EQ(a.Encode(), (Bytes{0x07, 0x06, 0x04, 0x05, 0x81, 2, 0, 5, 0, 0x8C, 3, 0, 'g', 'o', 0, 0x8B, 3,   0,
                                 '/',  'a',  0,    0x8A, 3,    0, 9, 0, 2, 0x96, 3, 0, 0,   'x', 0, 0x17, 0x00}));
    Movie m(Rect::Pixels(0, 0, 10, 10), 10);
    m.Label("intro").Label("anchor", true).DoAction(Actions().Stop());
    const auto tags = MovieTags(m);
    EXPECT_EQ(tags[0].body, (Bytes{'i', 'n', 't', 'r', 'o', 0}));
    EXPECT_EQ(tags[1].body, (Bytes{'a', 'n', 'c', 'h', 'o', 'r', 0, 1}));
    EXPECT_EQ(tags[2].code, tag::DoAction);
    EXPECT_EQ(tags[2].body, (Bytes{0x07, 0x00}));
}

TEST(Sprites, NestedSpriteHasOwnFramesAndEnd) {
    Movie m(Rect::Pixels(0, 0, 10, 10), 10);
    Sprite inner;
    inner.ShowFrame().ShowFrame();
    const std::uint16_t innerId = m.DefineSprite(inner);
    Sprite outer;
    outer.Place2(Place::Add(1, innerId)).ShowFrame().Label("x").ShowFrame().ShowFrame();
    const std::uint16_t outerId = m.DefineSprite(outer);
    m.Place2(Place::Add(1, outerId)).ShowFrame();
    const auto tags = MovieTags(m);
    ASSERT_EQ(tags[1].code, tag::DefineSprite);
    Reader r(tags[1].body);
    EXPECT_EQ(r.U16(), outerId);
    EXPECT_EQ(r.U16(), 3);
    const auto sub = swfkit_test::ReadTags(tags[1].body, 4);
    ASSERT_EQ(sub.size(), 6u);
    EXPECT_EQ(sub[0].code, tag::PlaceObject2);
    EXPECT_EQ(sub[5].code, tag::End);
    EXPECT_EQ(m.FrameCount(), 1);

    // A caller-chosen id, here one that points at itself, for hostile-input tests.
    Movie loop(Rect::Pixels(0, 0, 10, 10), 10);
    Sprite self;
    self.Place2(Place::Add(1, 77)).ShowFrame();
    loop.DefineSpriteAs(77, self);
    const auto t = MovieTags(loop);
    ASSERT_EQ(t[0].code, tag::DefineSprite);
    EXPECT_EQ(t[0].body[0], 77);
    EXPECT_EQ(t[0].body[9], 77);  // id, frames, tag header, flags, depth, then the character
}

TEST(Bitmaps, LosslessFormatsAndPadding) {
    Movie m(Rect::Pixels(0, 0, 10, 10), 10);
    Bitmap bmp{3, 2, {0xFFFF0000u, 0x80FFFFFFu, 0x00000000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFF0000u}};
    m.DefineBitsLossless(bmp, false);
    m.DefineBitsLossless(bmp, true);
    m.DefineBitsLossless(bmp, false, true);
    const auto tags = MovieTags(m);
    auto inflateBody = [](const Bytes& body, std::size_t at, std::size_t size) {
        Bytes out(size + 16);
        uLongf n = static_cast<uLongf>(out.size());
        EXPECT_EQ(uncompress(out.data(), &n, body.data() + at, static_cast<uLong>(body.size() - at)), Z_OK);
        out.resize(n);
        return out;
    };
    ASSERT_EQ(tags[0].code, tag::DefineBitsLossless);
    EXPECT_TRUE(tags[0].longHeader);
    Reader r(tags[0].body);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U8(), 5);
    EXPECT_EQ(r.U16(), 3);
    EXPECT_EQ(r.U16(), 2);
    const Bytes px24 = inflateBody(tags[0].body, 7, 24);
    ASSERT_EQ(px24.size(), 24u);
    EXPECT_EQ(Bytes(px24.begin(), px24.begin() + 8), (Bytes{0, 255, 0, 0, 0, 255, 255, 255}));

    ASSERT_EQ(tags[1].code, tag::DefineBitsLossless2);
    const Bytes argb = inflateBody(tags[1].body, 7, 24);
    // Half-transparent white is stored premultiplied.
    EXPECT_EQ(Bytes(argb.begin() + 4, argb.begin() + 8), (Bytes{0x80, 0x80, 0x80, 0x80}));

    Reader p(tags[2].body);
    p.U16();
    EXPECT_EQ(p.U8(), 3);
    p.U16();
    p.U16();
    EXPECT_EQ(p.U8(), 4);  // five colours in the opaque form (alpha ignored): table size - 1
    const Bytes pal = inflateBody(tags[2].body, 8, 5 * 3 + 8);
    EXPECT_EQ(pal.size(), 5u * 3 + 2 * 4);  // rows of 3 indices padded to 4 bytes
}

TEST(Morph, OffsetPointsAtEndEdges) {
    Movie m(Rect::Pixels(0, 0, 10, 10), 10);
    ShapeBuilder a, b;
    a.Style(1, 1).Rectangle(0, 0, 1000, 1000);
    b.Style(1, 1).Rectangle(-500, -500, 2000, 2000);
    const std::uint16_t id = m.DefineMorphShape(
        a, b, {MorphFill{FillStyle::Solid(Rgba::Hex(0xFF0000)), FillStyle::Solid(Rgba::Hex(0x0000FF))}},
        {MorphLine{20, 80, Rgba::Hex(0), Rgba::Hex(0xFFFFFF)}});
    const auto tags = MovieTags(m);
    ASSERT_EQ(tags[0].code, tag::DefineMorphShape);
    const Bytes& body = tags[0].body;
    Reader r(body);
    EXPECT_EQ(r.U16(), id);
    EXPECT_EQ(swfkit_test::ReadRect(r).xmax, 1010);
    EXPECT_EQ(swfkit_test::ReadRect(r).xmin, -540);
    const std::uint32_t offset = r.U32();
    const std::size_t endEdges = r.Pos() + offset;
    EXPECT_EQ(r.U8(), 1);     // one fill
    EXPECT_EQ(r.U8(), 0x00);  // solid
    EXPECT_EQ(r.U32(), 0xFF0000FFu);
    EXPECT_EQ(r.U32(), 0xFFFF0000u);
    EXPECT_EQ(r.U8(), 1);  // one line
    EXPECT_EQ(r.U16(), 20);
    EXPECT_EQ(r.U16(), 80);
    r.U32();
    r.U32();
    const unsigned fb = r.Ub(4);
    const unsigned lb = r.Ub(4);
    EXPECT_EQ(fb, 1u);
    EXPECT_EQ(lb, 1u);
    const auto start = ReadRecords(r, 3, fb, lb);
    EXPECT_EQ(r.Pos(), endEdges);
    ASSERT_EQ(start.size(), 5u);
    EXPECT_EQ(start[0].f1, 1u);
    Reader e(body, endEdges);
    EXPECT_EQ(e.Ub(4), 0u);
    EXPECT_EQ(e.Ub(4), 0u);
    const auto endRecs = ReadRecords(e, 3, 0, 0);
    ASSERT_EQ(endRecs.size(), 5u);
    EXPECT_TRUE(endRecs[0].hasMove && !endRecs[0].hasF1);
    EXPECT_EQ(endRecs[0].mx, -500);
    EXPECT_EQ(endRecs[1].dx, 2000);
    EXPECT_EQ(e.Pos(), body.size());
}
