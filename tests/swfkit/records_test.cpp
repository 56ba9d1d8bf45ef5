// Bit writer, basic records, tag headers and the file header against hand-computed bytes.
#include "tests/swfkit/swf_reader.h"
#include "tools/swfkit/swfkit.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace lumarel::swfkit;
using swfkit_test::Reader;

namespace {
Bytes RectBytes(const Rect& r) {
    BitWriter w;
    WriteRect(w, r);
    return w.Take();
}
Bytes MatrixBytes(const Matrix& m) {
    BitWriter w;
    WriteMatrix(w, m);
    return w.Take();
}
}  // namespace

TEST(BitWriter, PacksFieldsMostSignificantBitFirstAndAlignsBytes) {
    BitWriter w;
    w.Ub(1, 1);
    w.Ub(0, 1);
    w.Ub(5, 3);      // 101
    w.Sb(-1, 3);     // 111 -> first byte 1010 1111
    w.Ub(0x1FF, 9);  // 1 1111 1111 -> 1111 1111, then 1 in the third byte
    w.Sb(-2, 2);     // 10
    w.U8(0xAB);      // aligns first: third byte is 1100 0000
    w.U16(0x1234);
    w.U32(0xDEADBEEF);
    w.Str("hi");
    EXPECT_EQ(w.Take(), (Bytes{0xAF, 0xFF, 0xC0, 0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 'h', 'i', 0}));
}

TEST(BitWriter, FixedPointFields) {
    BitWriter w;
    w.Fixed8(1.5);    // 0x0180 little endian
    w.Fixed8(-1.0);   // 0xFF00
    w.Fixed16(2.25);  // 0x00024000
    EXPECT_EQ(w.Take(), (Bytes{0x80, 0x01, 0x00, 0xFF, 0x00, 0x40, 0x02, 0x00}));
    EXPECT_EQ(ToFixed16(-0.5), -32768);
    EXPECT_EQ(ToFixed16(1e12), INT32_MAX);  // saturates instead of wrapping
}

TEST(BitWriter, MinimalBitCounts) {
    EXPECT_EQ(BitsUnsigned(0), 0u);
    EXPECT_EQ(BitsUnsigned(1), 1u);
    EXPECT_EQ(BitsUnsigned(255), 8u);
    EXPECT_EQ(BitsUnsigned(256), 9u);
    EXPECT_EQ(BitsUnsigned(0xFFFFFFFFu), 32u);
    EXPECT_EQ(BitsSigned(0), 0u);
    EXPECT_EQ(BitsSigned(1), 2u);
    EXPECT_EQ(BitsSigned(-1), 1u);
    EXPECT_EQ(BitsSigned(-2), 2u);
    EXPECT_EQ(BitsSigned(63), 7u);
    EXPECT_EQ(BitsSigned(-64), 7u);
    EXPECT_EQ(BitsSigned(64), 8u);
    EXPECT_EQ(BitsSigned(-65), 8u);
    EXPECT_EQ(BitsSigned(INT32_MIN), 32u);
}

TEST(Records, RectStage550x400) {
    // Nbits 15 (11000 needs 14 bits plus sign), Xmin 0, Xmax 11000, Ymin 0, Ymax 8000.
    EXPECT_EQ(RectBytes(Rect::Pixels(0, 0, 550, 400)), (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
}

TEST(Records, RectWithNegativeOrigin) {
    // Nbits 8: -40, 100, -20, 60.
    const Rect r{-40, 100, -20, 60};
    EXPECT_EQ(RectBytes(r), (Bytes{0x46, 0xC3, 0x27, 0x61, 0xE0}));
    EXPECT_EQ(RectBytes(Rect{}), (Bytes{0x00}));  // Nbits 0, all four fields empty
}

TEST(Records, MatrixLeavesOutIdentityParts) {
    EXPECT_EQ(MatrixBytes(Matrix::Identity()), (Bytes{0x00}));
    // No scale, no rotate, NTranslateBits 6, 20, -20.
    EXPECT_EQ(MatrixBytes(Matrix::Translate(20, -20)), (Bytes{0x0C, 0xA5, 0x80}));
}

TEST(Records, MatrixScaleAndRotateBitCounts) {
    Matrix m;
    m.a = 2.0;
    m.d = 0.5;
    m.b = 1.0;
    m.c = -1.0;
    // Scale bits 19 (0x20000 plus sign), rotate bits 18, translate bits 0.
    EXPECT_EQ(MatrixBytes(m), (Bytes{0xCD, 0x00, 0x00, 0x08, 0x00, 0x0C, 0x90, 0x00, 0x0C, 0x00, 0x00, 0x00}));

    // A quarter turn has zero scale terms: HasScale with zero-width fields.
    const Bytes q = MatrixBytes(Matrix::Rotate(std::numbers::pi / 2) * Matrix::Translate(100, 0));
    Reader r(q);
    const auto v = swfkit_test::ReadMatrix(r);
    EXPECT_TRUE(v.hasScale);
    EXPECT_EQ(v.scaleBits, 0u);
    EXPECT_EQ(v.a, 0);
    EXPECT_EQ(v.b, 65536);
    EXPECT_EQ(v.c, -65536);
    EXPECT_EQ(v.tx, 0);
    EXPECT_EQ(v.ty, 100);
    EXPECT_EQ(r.Pos(), q.size());
}

TEST(Records, MatrixCompositionAndGradientBox) {
    const Matrix m = Matrix::Translate(100, 200) * Matrix::Scale(2.0);
    const Matrix n = m * Matrix::Translate(10, 10);  // translate first, then scale and move
    EXPECT_EQ(n.tx, 120);
    EXPECT_EQ(n.ty, 220);
    EXPECT_DOUBLE_EQ(n.a, 2.0);
    const Matrix g = Matrix::GradientBox(0, 0, 32768, 16384);
    EXPECT_DOUBLE_EQ(g.a, 1.0);
    EXPECT_DOUBLE_EQ(g.d, 0.5);
    EXPECT_EQ(g.tx, 16384);
    EXPECT_EQ(g.ty, 8192);
    // A quarter turn: the ramp runs down the box's full height.
    const Matrix v = Matrix::GradientBox(0, 0, 1000, 4000, std::numbers::pi / 2);
    EXPECT_NEAR(v.a * 16384 + v.tx, 500, 1);
    EXPECT_NEAR(v.b * 16384 + v.ty, 4000, 1);
    EXPECT_NEAR(v.c * 16384 + v.tx, 0, 1);  // the square's other axis spans the width
}

TEST(Records, ColorTransforms) {
    BitWriter w;
    WriteCxformWithAlpha(w, ColorTransform::Alpha(0.5));
    // No add terms, mult terms, Nbits 10: 256, 256, 256, 128.
    EXPECT_EQ(w.Take(), (Bytes{0x69, 0x00, 0x40, 0x10, 0x02, 0x00}));

    BitWriter v;
    WriteCxform(v, ColorTransform::Add(-128, 0, 127, 99));  // CXFORM drops alpha
    EXPECT_EQ(v.Take(), (Bytes{0xA2, 0x00, 0x01, 0xFC}));

    BitWriter id;
    WriteCxformWithAlpha(id, ColorTransform::Identity());
    EXPECT_EQ(id.Take(), (Bytes{0x00}));
}

TEST(Records, Colours) {
    BitWriter w;
    WriteRgb(w, Rgba::Hex(0x123456, 7));
    WriteRgba(w, Rgba::Hex(0xABCDEF, 0x80));
    EXPECT_EQ(w.Take(), (Bytes{0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF, 0x80}));
    EXPECT_EQ(Rgba::Hsv(120, 1, 1), Rgba::Hex(0x00FF00));
    EXPECT_EQ(Rgba::Mix(Rgba::Hex(0x000000), Rgba::Hex(0xFF0000), 0.5), Rgba::Hex(0x800000));
}

TEST(Tags, ShortAndLongHeaders) {
    const Bytes t62 = EncodeTag(tag::DoAction, Bytes(62, 0));
    ASSERT_EQ(t62.size(), 64u);
    EXPECT_EQ(t62[0], (12 << 6 | 62) & 0xFF);
    EXPECT_EQ(t62[1], (12 << 6 | 62) >> 8);

    const Bytes t63 = EncodeTag(tag::DoAction, Bytes(63, 0));
    ASSERT_EQ(t63.size(), 69u);
    EXPECT_EQ(t63[0] & 0x3F, 0x3F);
    EXPECT_EQ(t63[2], 63);
    EXPECT_EQ(t63[3], 0);

    // Bitmaps always use the long form, as Flash writes them.
    const Bytes bits = EncodeTag(tag::DefineBitsLossless, Bytes(4, 0));
    EXPECT_EQ(bits.size(), 10u);
    // Forced forms.
    EXPECT_EQ(EncodeTag(tag::ShowFrame, {}, TagHeader::Long), (Bytes{0x7F, 0x00, 0x00, 0x00, 0x00, 0x00}));
    const Bytes broken = EncodeTag(tag::DoAction, Bytes(100, 0), TagHeader::Short);
    EXPECT_EQ(broken[0] & 0x3F, 100 & 0x3F);  // length field truncated, as asked
    EXPECT_EQ(broken.size(), 102u);
}

TEST(Movie, HeaderFieldsAndLength) {
    Movie m(Rect::Pixels(0, 0, 550, 400), 24.0, 8);
    m.Background(Rgba::Hex(0x336699));
    m.ShowFrame().ShowFrame().ShowFrame();
    const Bytes f = m.Build();
    ASSERT_GE(f.size(), 21u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), (Bytes{'F', 'W', 'S', 8}));
    Reader r(f, 4);
    EXPECT_EQ(r.U32(), f.size());
    const auto rect = swfkit_test::ReadRect(r);
    EXPECT_EQ(rect.xmax, 11000);
    EXPECT_EQ(rect.ymax, 8000);
    EXPECT_EQ(r.U16(), 24 * 256);
    EXPECT_EQ(r.U16(), 3);  // frame count from the ShowFrame tags
    const auto tags = swfkit_test::ReadTags(f, r.Pos());
    ASSERT_EQ(tags.size(), 5u);
    EXPECT_EQ(tags[0].code, tag::SetBackgroundColor);
    EXPECT_EQ(tags[0].body, (Bytes{0x33, 0x66, 0x99}));
    EXPECT_EQ(tags[4].code, tag::End);
    EXPECT_EQ(m.FrameCount(), 3);
}

TEST(Movie, FrameRateIsEightDotEight) {
    Movie m(Rect::Pixels(0, 0, 10, 10), 29.97);
    EXPECT_EQ(m.FrameRate88(), 0x1DF8);  // 29.97 * 256 = 7672.3
    EXPECT_EQ(Movie(Rect{}, 0.5).FrameRate88(), 0x0080);
}

TEST(Movie, NonZeroOriginStage) {
    Movie m(Rect{-2000, 9000, -1000, 7000}, 30);
    m.ShowFrame();
    const Bytes f = m.Build();
    Reader r(f, 8);
    const auto rect = swfkit_test::ReadRect(r);
    EXPECT_EQ(rect.xmin, -2000);
    EXPECT_EQ(rect.xmax, 9000);
    EXPECT_EQ(rect.ymin, -1000);
    EXPECT_EQ(rect.ymax, 7000);
}

TEST(Movie, CompressedFormsInflateToTheSameFile) {
    Movie m(Rect::Pixels(0, 0, 320, 240), 25);
    ShapeBuilder s;
    s.Style(s.AddFill(FillStyle::Solid(Rgba::Hex(0xFF0000)))).Circle(0, 0, 400);
    const std::uint16_t id = m.DefineShape(s);
    for (int i = 0; i < 50; ++i) {
        m.Place2(i == 0 ? Place::Add(1, id) : Place::Modify(1));
        m.ShowFrame();
    }
    const Bytes plain = m.Build();
    const Bytes cws = m.Build(Compression::Zlib);
    EXPECT_EQ(Bytes(cws.begin(), cws.begin() + 3), (Bytes{'C', 'W', 'S'}));
    EXPECT_EQ(Bytes(cws.begin() + 4, cws.begin() + 8), Bytes(plain.begin() + 4, plain.begin() + 8));
    EXPECT_LT(cws.size(), plain.size());
    EXPECT_EQ(DecompressMovie(cws), plain);
    if (LzmaAvailable()) {
        const Bytes zws = m.Build(Compression::Lzma);
        ASSERT_GE(zws.size(), 17u);
        EXPECT_EQ(Bytes(zws.begin(), zws.begin() + 3), (Bytes{'Z', 'W', 'S'}));
        Reader r(zws, 8);
        EXPECT_EQ(r.U32(), zws.size() - 17);  // compressed size without the 5 property bytes
        EXPECT_EQ(DecompressMovie(zws), plain);
    } else {
        EXPECT_TRUE(m.Build(Compression::Lzma).empty());
    }
    // A damaged compressed body is refused, not half-decoded.
    Bytes bad = cws;
    bad.resize(bad.size() / 2);
    EXPECT_TRUE(DecompressMovie(bad).empty());
}

TEST(Movie, BadInputKnobs) {
    Movie m(Rect::Pixels(0, 0, 100, 100), 12);
    m.ShowFrame();
    m.ForceLongHeaders(true);
    m.ShowFrame();
    BuildOptions o;
    o.fileLength = 5;
    o.frameCount = 1000;
    o.appendEnd = false;
    const Bytes f = m.Build(o);
    Reader r(f, 4);
    EXPECT_EQ(r.U32(), 5u);
    swfkit_test::ReadRect(r);
    r.U16();
    EXPECT_EQ(r.U16(), 1000);
    const auto tags = swfkit_test::ReadTags(f, r.Pos());
    ASSERT_EQ(tags.size(), 2u);  // no End
    EXPECT_FALSE(tags[0].longHeader);
    EXPECT_TRUE(tags[1].longHeader);

    Movie raw(Rect::Pixels(0, 0, 10, 10), 1);
    raw.Raw(1000, Bytes{1, 2, 3}).RawBytes(Bytes{0xFF});
    const Bytes g = raw.Build();
    EXPECT_EQ(Bytes(g.end() - 8, g.end()), (Bytes{0x03, 0xFA, 1, 2, 3, 0xFF, 0, 0}));
}
