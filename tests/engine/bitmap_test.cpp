// Bitmaps: every bitmap tag decoded and drawn as a fill (reference images and exact pixels), the
// smoothing rule, and malformed images that must draw nothing and break nothing else.
#include <gtest/gtest.h>

#include "engine/image/image.h"
#include "engine/swf/bitmaps.h"
#include "engine/swf/swf_file.h"
#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 160, kH = 120;

// Four coloured quadrants with a white diagonal: orientation and filtering are easy to see.
kit::Bitmap Art(int w = 8, int h = 8, uint8_t alpha = 255) {
    kit::Bitmap b;
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = x < w / 2 ? (y < h / 2 ? 0xE02020u : 0x2060E0u) : (y < h / 2 ? 0x20B040u : 0xF0C020u);
            if (x == y) c = 0xFFFFFFu;
            b.argb.push_back((uint32_t(alpha) << 24) | c);
        }
    return b;
}

kit::Movie Stage(uint8_t version = 10) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0, version);
    mv.Background(kit::Rgba::Hex(0xffffff));
    return mv;
}

// A rectangle at x,y (px) of w x h px filled with bitmap `id` at `scale` pixels a bitmap pixel.
void FillRect(kit::Movie& mv, uint16_t depth, uint16_t id, double x, double y, double w, double h, double scale,
              bool repeat = true, bool smooth = true) {
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Bitmap(id, kit::Matrix::BitmapAt(kit::Px(x), kit::Px(y), scale), repeat, smooth)))
        .Rectangle(kit::Px(x), kit::Px(y), kit::Px(w), kit::Px(h));
    mv.Place2(kit::Place::Add(depth, mv.DefineShape(s)));
}

std::shared_ptr<const raster::Bitmap> Decode(uint16_t code, const kit::Bytes& body, const kit::Bytes& tables = {}) {
    uint16_t id = 0;
    std::string error;
    return engine::swf::DecodeBitmapTag(code, body, tables, id, error);
}

kit::Bytes Body(uint16_t id, const kit::Bytes& data) {
    kit::Bytes b = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace

TEST(BitmapReference, FillKinds) {
    // Repeating and clipped, smoothed and not: a 8x8 bitmap at 5x inside 70x50 px rectangles.
    kit::Movie mv = Stage();
    const uint16_t id = mv.DefineBitsLossless(Art(), false);
    FillRect(mv, 1, id, 5, 5, 70, 50, 5, true, true);
    FillRect(mv, 2, id, 85, 5, 70, 50, 5, false, true);
    FillRect(mv, 3, id, 5, 65, 70, 50, 5, true, false);
    FillRect(mv, 4, id, 85, 65, 70, 50, 5, false, false);
    mv.ShowFrame();
    CheckReference("bitmap_fill_kinds", RenderKit(mv, kW, kH));
}

TEST(BitmapReference, EveryBitmapTag) {
    kit::Movie mv = Stage();
    const kit::Bitmap art = Art(16, 16);
    const uint16_t lossless = mv.DefineBitsLossless(art, false);
    const uint16_t palette = mv.DefineBitsLossless(Art(7, 7), false, true);  // rows padded to 8
    const uint16_t lossless2 = mv.DefineBitsLossless(Art(16, 16, 128), true);
    const kit::Bytes jpeg = kit::EncodeJpeg(art, 95);
    const uint16_t jpeg2 = mv.DefineBitsJpeg2(jpeg);
    kit::Bytes tables, image;
    ASSERT_TRUE(kit::SplitJpeg(jpeg, tables, image));
    mv.JpegTables(tables);
    const uint16_t bits = mv.DefineBits(image);
    const uint16_t png = mv.DefineBitsJpeg2(kit::EncodePng(Art(16, 16, 160)));
    std::vector<uint8_t> alpha;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) alpha.push_back(static_cast<uint8_t>(x * 17));
    const uint16_t jpeg3 = mv.DefineBitsJpeg3(jpeg, alpha);
    // A checker behind the translucent ones shows their alpha.
    kit::ShapeBuilder back;
    back.Style(back.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x000000))))
        .Rectangle(0, kit::Px(60), kit::Px(160), kit::Px(60));
    mv.Place2(kit::Place::Add(1, mv.DefineShape(back)));
    const uint16_t ids[8] = {lossless, palette, lossless2, jpeg2, bits, png, jpeg3, lossless};
    for (int i = 0; i < 7; ++i) {
        const double x = 4 + (i % 4) * 39, y = 4 + (i / 4) * 60;
        FillRect(mv, static_cast<uint16_t>(10 + i), ids[i], x, y, 32, 32, i == 1 ? 32.0 / 7 : 2, false, false);
    }
    mv.ShowFrame();
    CheckReference("bitmap_every_tag", RenderKit(mv, kW, kH));
}

TEST(Bitmap, LosslessPixelsExact) {
    // Unsmoothed at 2x: each bitmap pixel becomes a 2x2 block of exactly its colour.
    kit::Movie mv = Stage();
    const kit::Bitmap art = Art(8, 8);
    FillRect(mv, 1, mv.DefineBitsLossless(art, false), 0, 0, 16, 16, 2, false, false);
    FillRect(mv, 2, mv.DefineBitsLossless(Art(7, 7), false, true), 20, 0, 14, 14, 2, false, false);
    FillRect(mv, 3, mv.DefineBitsLossless(Art(8, 8, 128), true), 40, 0, 16, 16, 2, false, false);
    mv.ShowFrame();
    const Image img = RenderKit(mv, kW, kH);
    ASSERT_EQ(img.width, kW);
    auto expectRgb = [&](int x, int y, uint32_t rgb, int tol = 0) {
        const uint8_t* p = PixelAt(img, x, y);
        EXPECT_NEAR(p[0], (rgb >> 16) & 255, tol) << x << "," << y;
        EXPECT_NEAR(p[1], (rgb >> 8) & 255, tol) << x << "," << y;
        EXPECT_NEAR(p[2], rgb & 255, tol) << x << "," << y;
    };
    expectRgb(1, 5, 0xE02020);       // top left quadrant, off the diagonal
    expectRgb(13, 3, 0x20B040);      // top right
    expectRgb(3, 13, 0x2060E0);      // bottom left
    expectRgb(13, 9, 0xF0C020);      // bottom right
    expectRgb(9, 9, 0xFFFFFF);       // diagonal
    expectRgb(20 + 1, 5, 0xE02020);  // colour-mapped with padded rows: the same picture
    expectRgb(20 + 13, 1, 0x20B040);
    expectRgb(20 + 7, 7, 0xFFFFFF);
    // Lossless2 at half alpha over white: premultiplied data blended once.
    expectRgb(40 + 1, 5, 0xF09090, 2);
}

TEST(Bitmap, ForwardReferencesAndBitmapsPlacedDirectly) {
    // A shape may name a bitmap the file defines after it; a bitmap placed by its own id shows at
    // its size, 20 twips to the pixel, under the place's matrix.
    kit::Movie mv = Stage();
    const uint16_t expected = static_cast<uint16_t>(mv.NextId() + 1);
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Bitmap(expected, kit::Matrix::BitmapAt(0, 0, 2), false, false)))
        .Rectangle(0, 0, kit::Px(16), kit::Px(16));
    mv.DefineShapeAs(900, s);
    const uint16_t bid = mv.DefineBitsLossless(Art(8, 8), false);
    ASSERT_EQ(bid, expected);
    mv.Place2(kit::Place::Add(1, 900));
    mv.Place2(kit::Place::Add(2, bid).At(kit::Matrix::Translate(kit::Px(40), kit::Px(20))));
    mv.ShowFrame();
    const Image img = RenderKit(mv, kW, kH);
    ASSERT_EQ(img.width, kW);
    auto rgb = [&](int x, int y) {
        const uint8_t* p = PixelAt(img, x, y);
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    };
    EXPECT_EQ(rgb(1, 5), 0xE02020u);    // the forward-referenced fill, top left quadrant
    EXPECT_EQ(rgb(13, 9), 0xF0C020u);   // bottom right
    EXPECT_EQ(rgb(40, 22), 0xE02020u);  // the placed bitmap: 8x8 px from (40, 20)
    EXPECT_EQ(rgb(47, 26), 0xF0C020u);
    EXPECT_EQ(rgb(44, 24), 0xFFFFFFu);  // its diagonal
    EXPECT_EQ(rgb(49, 22), 0xFFFFFFu);  // background just right of it: nothing extends
    EXPECT_EQ(rgb(44, 29), 0xFFFFFFu);
}

TEST(Bitmap, LosslessFormatsDecoded) {
    // Format 4: 15-bit pixels, rows padded to 4 bytes (3 pixels = 6 bytes + 2).
    kit::Bytes px = {0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0, 0, 0x7F, 0xFF, 0x00, 0x00, 0x42, 0x10, 0, 0};
    kit::Bytes body = {4, 3, 0, 2, 0};
    const kit::Bytes z = kit::ZlibPack(px);
    body.insert(body.end(), z.begin(), z.end());
    auto bm = Decode(engine::swf::tag::DefineBitsLossless, Body(7, body));
    ASSERT_TRUE(bm);
    ASSERT_EQ(bm->width, 3);
    ASSERT_EQ(bm->height, 2);
    EXPECT_EQ(bm->pixels[0], 0xFFFF0000u);
    EXPECT_EQ(bm->pixels[1], 0xFF00FF00u);
    EXPECT_EQ(bm->pixels[2], 0xFF0000FFu);
    EXPECT_EQ(bm->pixels[3], 0xFFFFFFFFu);
    EXPECT_EQ(bm->pixels[4], 0xFF000000u);
    EXPECT_EQ(bm->pixels[5], 0xFF848484u);
    // Format 5 in Lossless2: ARGB kept as stored (premultiplied already).
    const kit::Bytes argb = kit::ZlibPack(kit::Bytes{0x80, 0x40, 0x20, 0x10});
    kit::Bytes b5 = {5, 1, 0, 1, 0};
    b5.insert(b5.end(), argb.begin(), argb.end());
    bm = Decode(engine::swf::tag::DefineBitsLossless2, Body(8, b5));
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->pixels[0], 0x80402010u);
}

TEST(Bitmap, SmoothingRule) {
    using engine::swf::BitmapSmoothing;
    EXPECT_TRUE(BitmapSmoothing(8, 100));
    EXPECT_TRUE(BitmapSmoothing(10, 2));
    EXPECT_TRUE(BitmapSmoothing(6, 1));   // an old still picture is smoothed
    EXPECT_FALSE(BitmapSmoothing(7, 2));  // an old animation is not
    engine::swf::ShapeContext ctx;
    auto bm = std::make_shared<raster::Bitmap>();
    ctx.bitmap = [bm](uint16_t id) -> std::shared_ptr<const raster::Bitmap> { return id == 3 ? bm : nullptr; };
    const struct {
        uint8_t type;
        bool repeat, smooth;
    } cases[] = {{0x40, true, true}, {0x41, false, true}, {0x42, true, false}, {0x43, false, false}};
    for (const auto& c : cases) {
        raster::Paint p;
        engine::swf::MakeBitmapPaint(c.type, 3, raster::Matrix{}, &ctx, p);
        EXPECT_EQ(p.kind, raster::Paint::Kind::Bitmap);
        EXPECT_EQ(p.repeat, c.repeat) << int(c.type);
        EXPECT_EQ(p.smooth, c.smooth) << int(c.type);
    }
    ctx.smoothFills = false;
    raster::Paint p;
    engine::swf::MakeBitmapPaint(0x40, 3, raster::Matrix{}, &ctx, p);
    EXPECT_FALSE(p.smooth);
    engine::swf::MakeBitmapPaint(0x40, 4, raster::Matrix{}, &ctx, p);
    EXPECT_EQ(p.kind, raster::Paint::Kind::None);
}

TEST(Bitmap, JpegSplicingVariants) {
    const kit::Bitmap art = Art(16, 16);
    const kit::Bytes jpeg = kit::EncodeJpeg(art, 90);
    kit::Bytes tables, image;
    ASSERT_TRUE(kit::SplitJpeg(jpeg, tables, image));
    auto ok = [](const std::shared_ptr<const raster::Bitmap>& b) { return b && b->width == 16 && b->height == 16; };
    EXPECT_TRUE(ok(Decode(engine::swf::tag::DefineBits, Body(1, image), tables)));
    (void)Decode(engine::swf::tag::DefineBits, Body(1, image), {});  // no tables: whatever the decoder makes of it
    // The stray end/start pair older movies carry before the image.
    kit::Bytes stray = {0xFF, 0xD9, 0xFF, 0xD8};
    stray.insert(stray.end(), jpeg.begin(), jpeg.end());
    EXPECT_TRUE(ok(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, stray))));
    kit::Bytes stray2 = {0xFF, 0xD8, 0xFF, 0xD9};
    stray2.insert(stray2.end(), jpeg.begin(), jpeg.end());
    EXPECT_TRUE(ok(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, stray2))));
    // A missing end marker is tolerated.
    kit::Bytes noEnd(jpeg.begin(), jpeg.end() - 2);
    EXPECT_TRUE(ok(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, noEnd))));
    // Bogus tables: a segment whose length runs past the data.
    const kit::Bytes bogus = {0xFF, 0xD8, 0xFF, 0xDB, 0x7F, 0xFF, 0x00};
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBits, Body(1, image), bogus));
}

TEST(Bitmap, Jpeg3AlphaIsLimitedColour) {
    const kit::Bytes jpeg = kit::EncodeJpeg(Art(16, 16), 95);
    kit::Bytes body = {0, 0, 0, 0};
    const uint32_t n = static_cast<uint32_t>(jpeg.size());
    body = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    body.insert(body.end(), jpeg.begin(), jpeg.end());
    kit::Bytes withAlpha = body;
    const kit::Bytes za = kit::ZlibPack(kit::Bytes(256, 40));
    withAlpha.insert(withAlpha.end(), za.begin(), za.end());
    auto bm = Decode(engine::swf::tag::DefineBitsJPEG3, Body(2, withAlpha));
    ASSERT_TRUE(bm);
    for (uint32_t p : bm->pixels) {
        ASSERT_EQ(p >> 24, 40u);
        ASSERT_LE((p >> 16) & 255, 40u);
        ASSERT_LE((p >> 8) & 255, 40u);
        ASSERT_LE(p & 255, 40u);
    }
    // A broken alpha plane leaves the picture opaque; an offset past the tag is no picture.
    kit::Bytes garbage = body;
    garbage.insert(garbage.end(), {0x78, 0x9C, 1, 2, 3, 4, 5});
    bm = Decode(engine::swf::tag::DefineBitsJPEG3, Body(2, garbage));
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->pixels[0] >> 24, 255u);
    kit::Bytes past = {0xFF, 0xFF, 0, 0};
    past.insert(past.end(), jpeg.begin(), jpeg.end());
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG3, Body(2, past)));
}

TEST(BitmapBadInput, MalformedImagesDrawNothingAndBreakNothing) {
    const kit::Bytes jpeg = kit::EncodeJpeg(Art(16, 16), 90);
    const kit::Bytes png = kit::EncodePng(Art(16, 16));
    // Truncated at every length: never a crash; whatever decodes has the right size.
    for (const kit::Bytes* img : {&jpeg, &png}) {
        for (size_t len = 0; len < img->size(); len += 3) {
            auto bm = Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, kit::Bytes(img->begin(), img->begin() + len)));
            if (bm) {
                EXPECT_EQ(bm->pixels.size(), 256u);
            }
        }
    }
    // Oversized: 65535 x 65535 lossless, and a PNG header claiming 30000 x 30000.
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, Body(1, {5, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C, 3, 0})));
    kit::Bytes bigPng = png;
    bigPng[16] = 0;
    bigPng[17] = 0;
    bigPng[18] = 0x75;
    bigPng[19] = 0x30;
    bigPng[20] = 0;
    bigPng[21] = 0;
    bigPng[22] = 0x75;
    bigPng[23] = 0x30;
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, bigPng)));
    // A PNG whose data inflates far beyond its 1x1 header is refused before decoding.
    kit::Bitmap one;
    one.width = one.height = 1;
    one.argb = {0xFF102030};
    kit::Bytes bomb = kit::EncodePng(one);
    {
        const kit::Bytes z = kit::ZlibPack(kit::Bytes(size_t(4) << 20, 0));
        kit::Bytes chunk = {uint8_t(z.size() >> 24),
                            uint8_t(z.size() >> 16),
                            uint8_t(z.size() >> 8),
                            uint8_t(z.size()),
                            'I',
                            'D',
                            'A',
                            'T'};
        chunk.insert(chunk.end(), z.begin(), z.end());
        chunk.insert(chunk.end(), {0, 0, 0, 0});
        bomb.insert(bomb.begin() + 33, chunk.begin(), chunk.end());
    }
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, bomb)));
    // Garbage zlib, short zlib, unknown formats, truncated headers.
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, Body(1, {5, 4, 0, 4, 0, 1, 2, 3, 4, 5, 6})));
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, Body(1, {5, 4, 0, 4, 0, 0x78, 0x9C, 3, 0})));
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, Body(1, {9, 1, 0, 1, 0})));
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, Body(1, {3, 1})));
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, {1, 2, 3, 4})));
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsLossless, {1}));
    // A Huffman table of 272 codes (the decoder's arrays hold 256), before the frame header.
    kit::Bytes dht = {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x23, 0x00};
    dht.insert(dht.end(), 16, 17);
    dht.resize(dht.size() + 272, 1);
    EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, dht)));
    // The same where the table's counts run past the end of the data (the decoder reads on).
    EXPECT_FALSE(
        Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0xA2, 0x10, 0xFF, 0xFF})));
    // A scan that selects a table no DHT defined (the decoder would read what that memory held).
    for (const auto& [component, selector] : {std::pair{0, 0x22}, {0, 0x03}, {2, 0x31}}) {
        kit::Bytes scan = jpeg;
        size_t sos = 2;
        while (sos + 10 < scan.size() && !(scan[sos] == 0xFF && scan[sos + 1] == 0xDA))
            sos += 2 + ((size_t(scan[sos + 2]) << 8) | scan[sos + 3]);
        ASSERT_LT(sos + 10, scan.size());
        scan[sos + 6 + 2 * component] = uint8_t(selector);  // that component's DC and AC tables
        EXPECT_FALSE(Decode(engine::swf::tag::DefineBitsJPEG2, Body(1, scan))) << selector;
    }

    // In a movie: broken bitmaps next to a good one; the shapes and the good bitmap still draw.
    kit::Movie mv = Stage();
    const uint16_t good = mv.DefineBitsLossless(Art(), false);
    const uint16_t broken = mv.DefineBitsJpeg2(kit::Bytes(jpeg.begin(), jpeg.begin() + 40));
    mv.Raw(kit::tag::DefineBitsLossless, Body(mv.NextId(), {5, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}));
    FillRect(mv, 1, broken, 0, 0, 80, 60, 4, false, false);
    FillRect(mv, 2, good, 80, 0, 40, 40, 5, false, false);
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x00ff00))))
        .Rectangle(kit::Px(10), kit::Px(80), kit::Px(20), kit::Px(20));
    mv.Place2(kit::Place::Add(3, mv.DefineShape(s)));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->Info().warnings.empty());
    raster::Surface surf(kW, kH);
    m->Render(surf);
    const Image img = ToStraight(surf);
    EXPECT_EQ(PixelAt(img, 40, 30)[0], 255);  // the broken bitmap's area shows the background
    EXPECT_EQ(PixelAt(img, 40, 30)[1], 255);
    EXPECT_EQ(PixelAt(img, 82, 10)[0], 0xE0);  // the good one is drawn
    EXPECT_EQ(PixelAt(img, 20, 90)[1], 255);   // and the solid shape
    EXPECT_EQ(PixelAt(img, 20, 90)[0], 0);
}
