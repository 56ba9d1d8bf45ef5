// Bit reader, records, container and tag stream on hand-made bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>

#include "engine/player.h"
#include "engine/swf/bit_reader.h"
#include "engine/swf/records.h"
#include "engine/swf/swf_file.h"
#include "tools/swfkit/swfkit.h"

using namespace lumarel::engine;
namespace kit = lumarel::swfkit;
using kit::Bytes;
using swf::BitReader;

TEST(BitReader, FieldsAcrossBytesAndSigns) {
    const Bytes d = kit::BitWriter().Ub(5, 3).Sb(-3, 4).Ub(0x1FF, 9).Sb(-1, 1).Sb(100000, 20).Take();
    BitReader r(d);
    EXPECT_EQ(r.Ub(3), 5u);
    EXPECT_EQ(r.Sb(4), -3);
    EXPECT_EQ(r.Ub(9), 0x1FFu);
    EXPECT_EQ(r.Sb(1), -1);
    EXPECT_EQ(r.Sb(20), 100000);
    EXPECT_TRUE(r.Ok());
    const Bytes f = kit::BitWriter().Sb(-65536 / 2, 18).Take();  // -0.5 in 16.16
    BitReader rf(f);
    EXPECT_DOUBLE_EQ(rf.Fb(18), -0.5);
    EXPECT_EQ(BitReader(kit::BitWriter().Ub(0xFFFFFFFFu, 32).Take()).Ub(32), 0xFFFFFFFFu);
}

TEST(BitReader, AlignedLittleEndianAndStrings) {
    const Bytes d = kit::BitWriter().Ub(1, 1).U16(0x1234).U32(0xA1B2C3D4u).U16(0x0180).Str("hi").Take();
    BitReader r(d);
    EXPECT_EQ(r.Ub(1), 1u);
    EXPECT_EQ(r.U16(), 0x1234);  // aligns first
    EXPECT_EQ(r.U32(), 0xA1B2C3D4u);
    EXPECT_DOUBLE_EQ(r.Fixed8(), 1.5);
    EXPECT_EQ(r.Str(), "hi");
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(r.Ok());
}

TEST(BitReader, OverrunIsStickyAndReadsNothingOutside) {
    const Bytes d = {0xAB, 0xCD};
    BitReader r(d);
    EXPECT_EQ(r.U8(), 0xAB);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U8(), 0u);  // even though a byte remains, the reader stays failed
    BitReader bits(d);
    EXPECT_EQ(bits.Ub(17), 0u);
    EXPECT_FALSE(bits.Ok());
    BitReader big(d);
    EXPECT_EQ(big.Ub(33), 0u);
    EXPECT_FALSE(big.Ok());
    const Bytes noTerminator = {'a', 'b'};
    BitReader s(noTerminator);
    EXPECT_EQ(s.Str(), "");
    EXPECT_FALSE(s.Ok());
    BitReader b(d);
    EXPECT_TRUE(b.Bytes(3).empty());
    EXPECT_FALSE(b.Ok());
}

TEST(Records, RectMatrixCxform) {
    const Bytes rrBytes = kit::BitWriter().Ub(12, 5).Sb(-20, 12).Sb(2000, 12).Sb(40, 12).Sb(-1000, 12).Take();
    BitReader rr(rrBytes);
    const swf::Rect rc = swf::ReadRect(rr);
    EXPECT_EQ(rc.xmin, -20);
    EXPECT_EQ(rc.xmax, 2000);
    EXPECT_EQ(rc.ymin, 40);
    EXPECT_EQ(rc.ymax, -1000);

    // Scale 2 x 0.5, rotate/skew 0.25 / -0.25, translate (-100, 300).
    const Bytes mrBytes = kit::BitWriter()
                              .Ub(1, 1)
                              .Ub(19, 5)
                              .Sb(2 * 65536, 19)
                              .Sb(65536 / 2, 19)
                              .Ub(1, 1)
                              .Ub(17, 5)
                              .Sb(65536 / 4, 17)
                              .Sb(-65536 / 4, 17)
                              .Ub(11, 5)
                              .Sb(-100, 11)
                              .Sb(300, 11)
                              .Take();
    BitReader mr(mrBytes);
    const lumarel::raster::Matrix m = swf::ReadMatrix(mr);
    EXPECT_TRUE(mr.Ok());
    EXPECT_DOUBLE_EQ(m.a, 2.0);
    EXPECT_DOUBLE_EQ(m.d, 0.5);
    EXPECT_DOUBLE_EQ(m.b, 0.25);
    EXPECT_DOUBLE_EQ(m.c, -0.25);
    EXPECT_DOUBLE_EQ(m.tx, -100);
    EXPECT_DOUBLE_EQ(m.ty, 300);

    const Bytes identBytes = kit::BitWriter().Ub(0, 1).Ub(0, 1).Ub(0, 5).Take();
    BitReader ident(identBytes);
    const auto mi = swf::ReadMatrix(ident);
    EXPECT_DOUBLE_EQ(mi.a, 1);
    EXPECT_DOUBLE_EQ(mi.tx, 0);

    // CXFORMWITHALPHA: add and mult, 10 bits: mult 128 (0.5) x4, add -255, 10, 20, 30.
    const Bytes crBytes = kit::BitWriter()
                              .Ub(1, 1)
                              .Ub(1, 1)
                              .Ub(11, 4)
                              .Sb(128, 11)
                              .Sb(256, 11)
                              .Sb(512, 11)
                              .Sb(64, 11)
                              .Sb(-255, 11)
                              .Sb(10, 11)
                              .Sb(20, 11)
                              .Sb(30, 11)
                              .Take();
    BitReader cr(crBytes);
    const auto cx = swf::ReadCxform(cr, true);
    EXPECT_TRUE(cr.Ok());
    EXPECT_DOUBLE_EQ(cx.rm, 0.5);
    EXPECT_DOUBLE_EQ(cx.gm, 1.0);
    EXPECT_DOUBLE_EQ(cx.bm, 2.0);
    EXPECT_DOUBLE_EQ(cx.am, 0.25);
    EXPECT_DOUBLE_EQ(cx.ra, -255);
    EXPECT_DOUBLE_EQ(cx.aa, 30);
    // CXFORM without alpha leaves alpha alone.
    const Bytes c2Bytes = kit::BitWriter().Ub(0, 1).Ub(1, 1).Ub(9, 4).Sb(0, 9).Sb(0, 9).Sb(255, 9).Take();
    BitReader c2(c2Bytes);
    const auto cx2 = swf::ReadCxform(c2, false);
    EXPECT_DOUBLE_EQ(cx2.rm, 0.0);
    EXPECT_DOUBLE_EQ(cx2.bm, 255 / 256.0);
    EXPECT_DOUBLE_EQ(cx2.am, 1.0);
}

namespace {

// DefineShape body: id, bounds, styles, records given by the caller.
kit::BitWriter ShapeHead(uint16_t id) {
    kit::BitWriter b;
    b.U16(id).Ub(15, 5).Sb(0, 15).Sb(2000, 15).Sb(0, 15).Sb(2000, 15).Align();
    return b;
}

}  // namespace

TEST(Records, ShapeStylesLayersAndEdges) {
    kit::BitWriter b = ShapeHead(7);
    // Fill styles: solid RGBA, focal gradient (reflect, linear RGB), bitmap; one line style.
    b.U8(3);
    b.U8(0x00).U8(255).U8(0).U8(0).U8(128);
    b.U8(0x13).Ub(0, 1).Ub(0, 1).Ub(0, 5).Align();  // identity matrix
    b.Ub(1, 2).Ub(1, 2).Ub(2, 4).U8(0).U8(1).U8(2).U8(3).U8(4).U8(255).U8(5).U8(6).U8(7).U8(8);
    b.U16(static_cast<uint16_t>(-128));  // focal -0.5
    b.U8(0x41).U16(99).Ub(0, 1).Ub(0, 1).Ub(0, 5).Align();
    b.U8(1).U16(40).U8(1).U8(2).U8(3).U8(4);
    b.Ub(2, 4).Ub(1, 4);  // fill bits, line bits
    // Style change: moveTo (100,100), fill1=1, line=1.
    b.Ub(0, 1).Ub(0b01101, 5).Ub(9, 5).Sb(100, 9).Sb(100, 9).Ub(1, 2).Ub(1, 1);
    // Straight horizontal +500, vertical +500, general (-500,-500) line, curve.
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(0, 1).Sb(500, 11);
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(1, 1).Sb(500, 11);
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(1, 1).Sb(-500, 11).Sb(-500, 11);
    b.Ub(1, 1).Ub(0, 1).Ub(6, 4).Sb(50, 8).Sb(-50, 8).Sb(50, 8).Sb(50, 8);
    // Selecting fill 3 (the bitmap) and line 1 again.
    b.Ub(0, 1).Ub(0b01100, 5).Ub(3, 2).Ub(1, 1);
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(0, 1).Sb(10, 11);
    // New styles: one solid RGB... (DefineShape3 still RGBA), fill0 = 1.
    b.Ub(0, 1).Ub(0b10010, 5).Ub(1, 2);
    b.Align().U8(1).U8(0x00).U8(0).U8(0).U8(255).U8(255).U8(0).Ub(1, 4).Ub(0, 4);
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(1, 1).Sb(-30, 11);
    b.Ub(0, 1).Ub(0, 5);  // end
    const Bytes body = b.Take();

    swf::ShapeDefinition sd;
    std::string err;
    ASSERT_TRUE(swf::ParseDefineShape(body, 3, sd, err)) << err;
    EXPECT_EQ(sd.id, 7);
    EXPECT_EQ(sd.bounds.xmax, 2000);
    ASSERT_EQ(sd.shape.layers.size(), 2u);
    const auto& l0 = sd.shape.layers[0];
    ASSERT_EQ(l0.fills.size(), 3u);
    EXPECT_EQ(l0.fills[0].kind, lumarel::raster::Paint::Kind::Solid);
    EXPECT_EQ(l0.fills[0].color.a, 128);
    const auto& g = l0.fills[1];
    ASSERT_EQ(g.kind, lumarel::raster::Paint::Kind::Gradient);
    EXPECT_EQ(g.gradient.kind, lumarel::raster::Gradient::Kind::Focal);
    EXPECT_EQ(g.gradient.spread, lumarel::raster::Spread::Reflect);
    EXPECT_EQ(g.gradient.interpolation, lumarel::raster::Interpolation::LinearRgb);
    ASSERT_EQ(g.gradient.stops.size(), 2u);
    EXPECT_EQ(g.gradient.stops[1].ratio, 255);
    EXPECT_EQ(g.gradient.stops[1].color.a, 8);
    EXPECT_DOUBLE_EQ(g.gradient.focal, -0.5);
    EXPECT_EQ(l0.fills[2].kind, lumarel::raster::Paint::Kind::None);  // bitmap fills draw nothing yet
    ASSERT_EQ(l0.strokes.size(), 1u);
    EXPECT_DOUBLE_EQ(l0.strokes[0].width, 40);
    EXPECT_EQ(l0.strokes[0].paint.color.a, 4);

    ASSERT_EQ(l0.edges.size(), 5u);
    EXPECT_FLOAT_EQ(l0.edges[0].x0, 100);
    EXPECT_FLOAT_EQ(l0.edges[0].x1, 600);
    EXPECT_FLOAT_EQ(l0.edges[1].y1, 600);
    EXPECT_FLOAT_EQ(l0.edges[2].x1, 100);
    EXPECT_FLOAT_EQ(l0.edges[2].y1, 100);
    EXPECT_EQ(l0.edges[3].kind, lumarel::raster::Edge::Kind::Quad);
    EXPECT_FLOAT_EQ(l0.edges[3].cx, 150);
    EXPECT_FLOAT_EQ(l0.edges[3].cy, 50);
    EXPECT_FLOAT_EQ(l0.edges[3].x1, 200);
    EXPECT_FLOAT_EQ(l0.edges[3].y1, 100);
    EXPECT_EQ(l0.edges[0].fill1, 1);
    EXPECT_EQ(l0.edges[0].fill0, 0);
    EXPECT_EQ(l0.edges[0].line, 1);
    EXPECT_EQ(l0.edges[4].fill1, 3);
    EXPECT_EQ(l0.edges[4].fill0, 0);
    EXPECT_EQ(l0.edges[4].line, 1);  // line not reselected

    const auto& l1 = sd.shape.layers[1];
    ASSERT_EQ(l1.fills.size(), 1u);
    EXPECT_EQ(l1.fills[0].color.b, 255);
    ASSERT_EQ(l1.edges.size(), 1u);
    EXPECT_EQ(l1.edges[0].fill0, 1);
    EXPECT_EQ(l1.edges[0].fill1, 0);  // reset by the new style set
    EXPECT_EQ(l1.edges[0].line, 0);
    EXPECT_FLOAT_EQ(l1.edges[0].y0, 100);
    EXPECT_FLOAT_EQ(l1.edges[0].y1, 70);
}

TEST(Records, LineStyle2AndExtendedCounts) {
    kit::BitWriter b = ShapeHead(3);
    b.Ub(15, 5).Sb(0, 15).Sb(2000, 15).Sb(0, 15).Sb(2000, 15).Align().U8(0);  // edge bounds, flags
    b.U8(0);                                                                  // no fills
    b.U8(0xFF).U16(2);                                                        // extended line count
    // Square start cap, miter join, no fill, noHScale, pixel hinting, noClose, none end cap.
    b.U16(100).Ub(2, 2).Ub(2, 2).Ub(0, 1).Ub(1, 1).Ub(0, 1).Ub(1, 1).Ub(0, 5).Ub(1, 1).Ub(1, 2);
    b.U16(4 << 8).U8(10).U8(20).U8(30).U8(40);
    // Round cap, bevel join, filled with a linear gradient.
    b.U16(60).Ub(0, 2).Ub(1, 2).Ub(1, 1).Ub(0, 1).Ub(1, 1).Ub(0, 1).Ub(0, 5).Ub(0, 1).Ub(0, 2);
    b.U8(0x10).Ub(0, 1).Ub(0, 1).Ub(0, 5).Align().Ub(2, 2).Ub(0, 2).Ub(1, 4).U8(0).U8(1).U8(2).U8(3).U8(4);
    b.Ub(0, 4).Ub(2, 4);
    b.Ub(0, 1).Ub(0b01000, 5).Ub(2, 2);
    b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(0, 1).Sb(500, 11);
    b.Ub(0, 1).Ub(0, 5);
    swf::ShapeDefinition sd;
    std::string err;
    ASSERT_TRUE(swf::ParseDefineShape(b.Take(), 4, sd, err)) << err;
    ASSERT_EQ(sd.shape.layers.size(), 1u);
    const auto& s = sd.shape.layers[0].strokes;
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].startCap, lumarel::raster::Cap::Square);
    EXPECT_EQ(s[0].endCap, lumarel::raster::Cap::None);
    EXPECT_EQ(s[0].join, lumarel::raster::Join::Miter);
    EXPECT_DOUBLE_EQ(s[0].miterLimit, 4.0);
    EXPECT_TRUE(s[0].noHScale);
    EXPECT_FALSE(s[0].noVScale);
    EXPECT_TRUE(s[0].pixelHinting);
    EXPECT_TRUE(s[0].noClose);
    EXPECT_EQ(s[0].paint.color.a, 40);
    EXPECT_EQ(s[1].join, lumarel::raster::Join::Bevel);
    EXPECT_TRUE(s[1].noVScale);
    EXPECT_EQ(s[1].paint.kind, lumarel::raster::Paint::Kind::Gradient);
    EXPECT_EQ(s[1].paint.gradient.spread, lumarel::raster::Spread::Repeat);
    ASSERT_EQ(sd.shape.layers[0].edges.size(), 1u);
    EXPECT_EQ(sd.shape.layers[0].edges[0].line, 2);
}

TEST(Records, TruncatedShapeNeverReadsPast) {
    kit::BitWriter b = ShapeHead(1);
    b.U8(1).U8(0).U8(1).U8(2).U8(3).U8(0).Ub(1, 4).Ub(0, 4);
    b.Ub(0, 1).Ub(0b00101, 5).Ub(9, 5).Sb(1, 9).Sb(1, 9).Ub(1, 1);
    for (int i = 0; i < 20; ++i) b.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(0, 1).Ub(0, 1).Sb(i % 2 ? 500 : -500, 11);
    b.Ub(0, 1).Ub(0, 5);
    const Bytes full = b.Take();
    size_t last = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        swf::ShapeDefinition sd;
        std::string err;
        const bool ok = swf::ParseDefineShape(cut, 1, sd, err);
        if (ok) {
            ASSERT_EQ(sd.shape.layers.size(), 1u);
            EXPECT_GE(sd.shape.layers[0].edges.size(), last);
            last = sd.shape.layers[0].edges.size();
        } else {
            EXPECT_FALSE(err.empty());
        }
    }
    EXPECT_EQ(last, 20u);
}

namespace {

Bytes EndTag() { return kit::EncodeTag(0, {}); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    kit::BitWriter w;
    for (const Bytes& p : parts) w.Append(p);
    return w.Take();
}

// A movie of the given tags, its header as given: version 10, a stage RECT of 16-bit fields,
// the frame rate (8.8) and the frame count.
Bytes SwfBytes(const Bytes& tags, char sig = 'F', uint16_t rate88 = 12 << 8, uint16_t frames = 1, int32_t xmin = 0,
               int32_t xmax = 11000, int32_t ymin = 0, int32_t ymax = 8000) {
    kit::Movie movie(kit::Rect{xmin, xmax, ymin, ymax}, rate88 / 256.0, 10);
    movie.RawBytes(tags);
    kit::BuildOptions o;
    o.compression = sig == 'C' ? kit::Compression::Zlib : kit::Compression::None;
    o.frameCount = frames;
    o.appendEnd = false;
    o.stageBits = 16;
    return movie.Build(o);
}

}  // namespace

TEST(Container, HeaderFieldsRateAndOrigin) {
    const Bytes file = SwfBytes(Concat({kit::EncodeTag(9, {1, 2, 3}), kit::EncodeTag(1, {}), EndTag()}), 'F', 0, 7,
                                -200, 10800, 400, 8400);
    LoadResult lr = Movie::Load(file);
    ASSERT_TRUE(lr.movie) << lr.error;
    const MovieInfo& i = lr.movie->Info();
    EXPECT_EQ(i.version, 10);
    EXPECT_EQ(i.compression, Compression::None);
    EXPECT_DOUBLE_EQ(i.stageX, -10);
    EXPECT_DOUBLE_EQ(i.stageY, 20);
    EXPECT_DOUBLE_EQ(i.stageWidth, 550);
    EXPECT_DOUBLE_EQ(i.stageHeight, 400);
    EXPECT_DOUBLE_EQ(i.frameRate, 12.0);  // 0 in the header
    EXPECT_EQ(i.headerFrameCount, 7);
    EXPECT_EQ(i.frameCount, 1);  // what the tag stream holds
    EXPECT_EQ(i.background.r, 1);
    EXPECT_EQ(i.background.b, 3);
    EXPECT_EQ(lr.movie->BackgroundColor().g, 2);

    const Bytes rated = SwfBytes(Concat({kit::EncodeTag(1, {}), EndTag()}), 'C', 0x1880);
    LoadResult lc = Movie::Load(rated);
    ASSERT_TRUE(lc.movie) << lc.error;
    EXPECT_EQ(lc.movie->Info().compression, Compression::Zlib);
    EXPECT_DOUBLE_EQ(lc.movie->Info().frameRate, 24.5);
}

TEST(Container, TagStreamLongHeadersUnknownCodesHistogram) {
    const Bytes big(300, 0xEE);
    const Bytes file = SwfBytes(
        Concat({kit::EncodeTag(1000, {1, 2, 3}), kit::EncodeTag(77, big), kit::EncodeTag(1, {}, kit::TagHeader::Long),
                kit::EncodeTag(1, {}), EndTag(), Bytes{0xFF, 0xFF, 0xFF}}));  // bytes after End are ignored
    LoadResult lr = Movie::Load(file);
    ASSERT_TRUE(lr.movie) << lr.error;
    EXPECT_EQ(lr.movie->TotalFrames(), 2);
    std::map<std::string, int> h;
    for (const auto& t : lr.movie->Info().tags) h[t.name] = t.count;
    EXPECT_EQ(h["ShowFrame"], 2);
    EXPECT_EQ(h["Metadata"], 1);
    EXPECT_EQ(h["Unknown(1000)"], 1);
    EXPECT_EQ(h["End"], 1);
}

TEST(BadInput, TruncatedAtEveryLength) {
    // The declared length is only a hint: a cut movie plays the whole tags it still holds, and
    // fails with a one-line reason where a tag (or the header) is cut through.
    for (char sig : {'F', 'C'}) {
        kit::BitWriter shape = ShapeHead(1);
        shape.U8(1).U8(0).U8(255).U8(0).U8(0).U8(0).Ub(1, 4).Ub(0, 4);
        shape.Ub(0, 1).Ub(0b00101, 5).Ub(9, 5).Sb(1, 9).Sb(1, 9).Ub(1, 1);
        shape.Ub(1, 1).Ub(1, 1).Ub(9, 4).Ub(1, 1).Sb(500, 11).Sb(500, 11).Ub(0, 1).Ub(0, 5);
        const Bytes place = kit::BitWriter().U16(1).U16(1).Ub(0, 1).Ub(0, 1).Ub(0, 5).Take();
        const Bytes tags =
            Concat({kit::EncodeTag(2, shape.Take()), kit::EncodeTag(4, place), kit::EncodeTag(1, {}), EndTag()});
        const Bytes file = SwfBytes(tags, sig);
        ASSERT_TRUE(Movie::Load(file).movie);
        const size_t tagsAt = SwfBytes({}, 'F').size();
        std::set<size_t> boundaries = {tagsAt};
        for (size_t at = tagsAt, i = 0; i < 3; ++i) {
            const size_t len = tags[at - tagsAt] & 0x3F;
            at += 2 + len;
            boundaries.insert(at);
        }
        for (size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            LoadResult lr = Movie::Load(cut);
            if (sig == 'F') {
                EXPECT_EQ(lr.movie != nullptr, boundaries.count(n) == 1) << "cut at " << n;
            }
            if (lr.movie) {
                lumarel::raster::Surface s(16, 16);
                lr.movie->Render(s);
                EXPECT_EQ(lr.movie->TotalFrames(), 1);
            } else {
                EXPECT_FALSE(lr.error.empty());
                EXPECT_EQ(lr.error.find('\n'), std::string::npos);
            }
        }
    }
}

TEST(BadInput, HeaderAndLengthFaults) {
    const Bytes good = SwfBytes(Concat({kit::EncodeTag(1, {}), EndTag()}));
    auto withLength = [&](uint32_t len) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(len >> (8 * i));
        return b;
    };
    // Streaming writers leave a guess in the length field: it is a hint, the bytes decide.
    for (uint32_t len : {0xFFFFFFFFu, 104857600u, 3u, 0u}) {
        LoadResult lr = Movie::Load(withLength(len));
        ASSERT_TRUE(lr.movie) << len << ": " << lr.error;
        EXPECT_EQ(lr.movie->TotalFrames(), 1);
    }
    EXPECT_FALSE(Movie::Load(Bytes{'X', 'W', 'S', 10, 30, 0, 0, 0}).movie);
    EXPECT_FALSE(Movie::Load(Bytes{}).movie);
    // A tag declaring far more bytes than the file holds.
    const Bytes liar = SwfBytes(Concat({kit::BitWriter().U16((2 << 6) | 0x3F).U32(0x7FFFFFFF).Take(), EndTag()}));
    LoadResult lr = Movie::Load(liar);
    EXPECT_FALSE(lr.movie);
    EXPECT_NE(lr.error.find("DefineShape"), std::string::npos) << lr.error;
    // A CWS whose compressed bytes are garbage.
    Bytes junk = {'C', 'W', 'S', 10, 100, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_FALSE(Movie::Load(junk).movie);
    // A ZWS without its LZMA header bytes.
    EXPECT_FALSE(Movie::Load(Bytes{'Z', 'W', 'S', 13, 40, 0, 0, 0, 1, 0, 0}).movie);
}

TEST(BadInput, ZlibBombIsCutAtTheDeclaredLength) {
    // 32 MiB of zeros compress to ~32 KiB; the header declares only 4 KiB.
    const size_t huge = size_t(32) << 20;
    Bytes zeros(huge, 0);
    // A valid movie header in front: RECT(0 bits), rate, count; then zeros = End tags.
    zeros[0] = 0;
    uLongf n = compressBound(static_cast<uLong>(huge));
    Bytes z(n);
    ASSERT_EQ(compress(z.data(), &n, zeros.data(), static_cast<uLong>(huge)), Z_OK);
    z.resize(n);
    Bytes file = {'C', 'W', 'S', 10, 0, 0x10, 0, 0};
    file.insert(file.end(), z.begin(), z.end());
    LoadResult lr = Movie::Load(file);
    ASSERT_TRUE(lr.movie) << lr.error;
    // Declaring more than the limit inflates what the stream holds, never past the limit.
    Bytes over = file;
    over[4] = 0;
    over[5] = 0;
    over[6] = 0;
    over[7] = 0x05;  // 80 MiB
    LoadResult lo = Movie::Load(over);
    ASSERT_TRUE(lo.movie) << lo.error;
    std::vector<uint8_t> body;
    std::string error;
    ASSERT_TRUE(swf::ReadBodyPrefix(over, size_t(80) << 20, body, error)) << error;
    EXPECT_EQ(body.size(), huge);
}

TEST(BadInput, ZwsHeaderFields) {
    // "ZWS", version, length 100, compressed length 1000 (far more than present), properties.
    Bytes z = {'Z', 'W', 'S', 13, 100, 0, 0, 0, 0xE8, 0x03, 0, 0, 0x5D, 0, 0, 0x10, 0, 1, 2, 3};
    LoadResult lr = Movie::Load(z);
    EXPECT_FALSE(lr.movie);
    EXPECT_FALSE(lr.error.empty());
#if defined(_WIN32)
    // No LZMA decoder in the Windows build: any ZWS movie is undecodable, with that reason.
    z[8] = 8;
    z[9] = 0;
    LoadResult w = Movie::Load(z);
    EXPECT_FALSE(w.movie);
    EXPECT_NE(w.error.find("not supported"), std::string::npos) << w.error;
#endif
}
