// Embedded video: the stream and frame tags, the frame a placement's ratio shows (forward, back
// to a key frame, past missing packets), Screen Video 1 and 2 pixels exactly, scaling to the
// stream's size, and bad packets that leave the last good picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <utility>

#include "engine/video/h263.h"
#include "engine/video/video.h"
#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 40, kH = 24;  // not a multiple of the 16-pixel blocks: edge blocks are cut

// A picture with a pattern that differs per seed, and from the seed before only in its left part.
kit::Bitmap Picture(int seed, int w = kW, int h = kH) {
    kit::Bitmap b{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int s = x < 16 ? seed : seed / 2;
            b.argb.push_back(0xff000000u | uint32_t((x * 6 + s * 40) & 255) << 16 |
                             uint32_t((y * 10 + s * 7) & 255) << 8 | uint32_t((x * y + s) & 255));
        }
    return b;
}

struct Packet {
    uint16_t frame;
    kit::Bytes data;
};

// A stage of the video's size showing stream 1 at depth 1; movie frame i places ratio ratios[i].
// Each packet goes into the movie frame of its number (or the last one).
kit::Movie VideoMovie(const std::vector<Packet>& packets, const std::vector<uint16_t>& ratios, uint8_t codec = 3,
                      int drawW = kW, int drawH = kH, bool smoothing = false) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, drawW, drawH), 12.0);
    mv.Background(kit::Rgba::Hex(0x000000));
    mv.Raw(kit::tag::DefineVideoStream,
           kit::DefineVideoStreamBody(1, uint16_t(packets.size()), uint16_t(drawW), uint16_t(drawH), codec, smoothing));
    for (size_t i = 0; i < ratios.size(); ++i) {
        for (const Packet& p : packets)
            if (p.frame == i || (i + 1 == ratios.size() && p.frame > i))
                mv.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(1, p.frame, p.data));
        mv.Place2(i == 0 ? kit::Place::Add(1, 1).WithRatio(ratios[i]) : kit::Place::Modify(1).WithRatio(ratios[i]));
        mv.ShowFrame();
    }
    return mv;
}

// The rendered frames of a movie, one per ratio.
std::vector<Image> Frames(const kit::Movie& mv, int frames, int w = kW, int h = kH) {
    auto m = LoadKit(mv);
    std::vector<Image> out;
    if (!m) return out;
    m->Play();
    for (int i = 0; i < frames; ++i) {
        if (i > 0) m->Advance();
        out.push_back(ToStraight(RenderSurface(*m, w, h)));
    }
    return out;
}

uint32_t Rgb(const Image& img, int x, int y) {
    const uint8_t* p = &img.rgba[(size_t(y) * img.width + x) * 4];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

// How many pixels differ from the picture (alpha ignored).
int Mismatches(const Image& img, const kit::Bitmap& want) {
    int bad = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x)
            if (Rgb(img, x, y) != (want.argb[size_t(y) * want.width + x] & 0xffffff)) ++bad;
    return bad;
}

}  // namespace

TEST(VideoTags, StreamHeaderAndFrames) {
    const kit::Bytes def = kit::DefineVideoStreamBody(7, 30, 320, 240, 2, true, 2);
    engine::video::StreamHeader h;
    ASSERT_TRUE(engine::video::ParseDefineVideoStream(def, h));
    EXPECT_EQ(h.id, 7);
    EXPECT_EQ(h.frameCount, 30);
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 240);
    EXPECT_EQ(h.deblocking, 2);
    EXPECT_TRUE(h.smoothing);
    EXPECT_EQ(h.codec, 2);
    EXPECT_FALSE(engine::video::ParseDefineVideoStream(std::span(def).first(9), h));
    engine::video::FramePacket f;
    const kit::Bytes frame = kit::VideoFrameBody(7, 5, {1, 2, 3});
    ASSERT_TRUE(engine::video::ParseVideoFrame(frame, f));
    EXPECT_EQ(f.streamId, 7);
    EXPECT_EQ(f.frame, 5);
    EXPECT_EQ(f.data.size(), 3u);
    EXPECT_FALSE(engine::video::ParseVideoFrame(std::span(frame).first(3), f));
}

TEST(VideoTags, InfoNamesEachStream) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, 100, 100), 12.0);
    mv.Raw(kit::tag::DefineVideoStream, kit::DefineVideoStreamBody(3, 10, 64, 48, 3));
    mv.Raw(kit::tag::DefineVideoStream, kit::DefineVideoStreamBody(4, 2, 32, 16, 4));
    // Frames before and after each other, a repeated frame (the first stands), an unknown stream.
    mv.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(3, 1, {1}));
    mv.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(3, 0, {1}));
    mv.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(3, 1, {2}));
    mv.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(9, 0, {1}));
    kit::Sprite sp;  // frames inside a sprite count too
    sp.Raw(kit::tag::VideoFrame, kit::VideoFrameBody(4, 0, {1}));
    sp.ShowFrame();
    mv.DefineSprite(sp);
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const auto& v = m->Info().videos;
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].id, 3);
    EXPECT_EQ(v[0].codecName, "Screen Video");
    EXPECT_EQ(v[0].width, 64);
    EXPECT_EQ(v[0].height, 48);
    EXPECT_EQ(v[0].frameCount, 10);
    EXPECT_EQ(v[0].packets, 2);
    EXPECT_TRUE(v[0].decodable);
    EXPECT_EQ(v[1].codecName, "On2 VP6");
    EXPECT_EQ(v[1].packets, 1);
    EXPECT_FALSE(v[1].decodable);
}

TEST(ScreenVideo, RatiosShowTheirFramesExactly) {
    // Packets: 0 key, 1 changes only the left blocks, 2 key, 3 left blocks again; frame 5 has no
    // packet (shows 4's picture, the last before it).
    const kit::Bitmap p0 = Picture(0), p1 = Picture(1), p2 = Picture(5), p3 = Picture(6), p4 = Picture(9);
    const std::vector<Packet> packets = {{0, kit::ScreenVideoPacket(p0, 16, 16)},
                                         {1, kit::ScreenVideoPacket(p1, 16, 16, &p0)},
                                         {2, kit::ScreenVideoPacket(p2, 32, 16)},
                                         {3, kit::ScreenVideoPacket(p3, 32, 16, &p2)},
                                         {4, kit::ScreenVideoPacket(p4, 16, 32, &p3)}};
    ASSERT_LT(packets[1].data.size(), packets[0].data.size() / 2);  // unchanged blocks carry no data
    // Forward, a jump back to an inter frame (decoded from key frame 0), forward past frames,
    // back before a key frame, a frame with no packet.
    const std::vector<uint16_t> ratios = {0, 1, 2, 3, 1, 4, 5, 3, 0};
    const std::vector<const kit::Bitmap*> want = {&p0, &p1, &p2, &p3, &p1, &p4, &p4, &p3, &p0};
    const auto frames = Frames(VideoMovie(packets, ratios), int(ratios.size()));
    ASSERT_EQ(frames.size(), ratios.size());
    for (size_t i = 0; i < ratios.size(); ++i) EXPECT_EQ(Mismatches(frames[i], *want[i]), 0) << "movie frame " << i;
}

TEST(ScreenVideo, DrawnScaledToTheStreamSize) {
    const kit::Bitmap p0 = Picture(3);
    const auto frames =
        Frames(VideoMovie({{0, kit::ScreenVideoPacket(p0, 16, 16)}}, {0}, 3, kW * 2, kH * 2), 1, kW * 2, kH * 2);
    ASSERT_EQ(frames.size(), 1u);
    int bad = 0;
    for (int y = 0; y < kH * 2; ++y)
        for (int x = 0; x < kW * 2; ++x)
            if (Rgb(frames[0], x, y) != (p0.argb[size_t(y / 2) * kW + x / 2] & 0xffffff)) ++bad;
    EXPECT_EQ(bad, 0);
}

TEST(ScreenVideo, BadPacketsKeepTheLastGoodPicture) {
    const kit::Bitmap p0 = Picture(0), p1 = Picture(1);
    const kit::Bytes good = kit::ScreenVideoPacket(p0, 16, 16);
    kit::Bytes truncated = kit::ScreenVideoPacket(p1, 16, 16);
    truncated.resize(truncated.size() / 2);
    kit::Bytes corrupt = kit::ScreenVideoPacket(p1, 16, 16);
    for (size_t i = 8; i < corrupt.size(); i += 3) corrupt[i] ^= 0x5a;
    kit::Bytes oversized = good;  // a 4095 x 4095 picture: more than the player decodes
    oversized[0] = 0x0f;
    oversized[1] = 0xff;
    oversized[2] = 0x0f;
    oversized[3] = 0xff;
    kit::Bytes resized = kit::ScreenVideoPacket(Picture(1, 32, 16), 16, 16, nullptr);
    resized[4] = resized[5] = 0;  // an inter frame of another size: nothing to keep blocks from
    const std::vector<Packet> packets = {{0, good},      {1, truncated}, {2, corrupt},
                                         {3, oversized}, {4, resized},   {5, {0x10}}};
    const auto frames = Frames(VideoMovie(packets, {0, 1, 2, 3, 4, 5}), 6);
    ASSERT_EQ(frames.size(), 6u);
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(Mismatches(frames[i], p0), 0) << "movie frame " << i;
}

namespace {

// A Sorenson H.263 intra picture of one flat colour per plane, written by hand: every
// macroblock intra with no coefficients beyond the DC ones.
kit::Bytes FlatIntraPicture(int w, int h, int y, int cb, int cr) {
    kit::BitWriter b;
    b.Ub(1, 17);  // picture start code
    b.Ub(0, 5);   // version
    b.Ub(0, 8);   // temporal reference
    b.Ub(1, 3);   // custom size, 16 bits each
    b.Ub(uint32_t(w), 16);
    b.Ub(uint32_t(h), 16);
    b.Ub(0, 2);  // intra
    b.Ub(0, 1);  // deblocking
    b.Ub(5, 5);  // quantizer
    b.Ub(1, 1);  // one extra information byte
    b.Ub(0xab, 8);
    b.Ub(0, 1);
    for (int i = 0; i < ((w + 15) / 16) * ((h + 15) / 16); ++i) {
        b.Ub(1, 1);       // MCBPC: intra, no chroma coefficients
        b.Ub(0b0011, 4);  // CBPY: no luma coefficients
        for (int blk = 0; blk < 6; ++blk) b.Ub(uint32_t(blk < 4 ? y : blk == 4 ? cb : cr), 8);
    }
    b.Align();
    return b.Take();
}

}  // namespace

TEST(SorensonH263, HeaderSizesAndTypes) {
    struct Case {
        std::vector<uint8_t> bits;  // after the start code and version 0, temporal reference 0
        int width, height, type;
    } cases[] = {
        {{0b010, 0b00}, 352, 288, 0}, {{0b011, 0b01}, 176, 144, 1}, {{0b100, 0b10}, 128, 96, 2},
        {{0b101, 0b00}, 320, 240, 0}, {{0b110, 0b00}, 160, 120, 0},
    };
    for (const Case& c : cases) {
        kit::BitWriter b;
        b.Ub(1, 17);
        b.Ub(0, 5);
        b.Ub(0, 8);
        b.Ub(c.bits[0], 3);
        b.Ub(c.bits[1], 2);
        b.Ub(1, 1);
        b.Ub(12, 5);
        b.Ub(0, 1);
        b.Align();
        engine::video::H263Header h;
        size_t start = 0;
        ASSERT_TRUE(engine::video::ReadH263Header(b.Take(), h, start)) << c.width;
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        EXPECT_EQ(h.type, c.type);
        EXPECT_TRUE(h.deblocking);
        EXPECT_EQ(h.quantizer, 12);
        EXPECT_EQ(start, 17u + 5 + 8 + 3 + 2 + 1 + 5 + 1);
    }
    engine::video::H263Header h;
    size_t start = 0;
    const kit::Bytes flat = FlatIntraPicture(40, 24, 100, 90, 160);
    ASSERT_TRUE(engine::video::ReadH263Header(flat, h, start));
    EXPECT_EQ(h.width, 40);
    EXPECT_EQ(h.height, 24);
    kit::Bytes badStart = flat;
    badStart[2] = 0;  // no picture start code
    EXPECT_FALSE(engine::video::ReadH263Header(badStart, h, start));
    EXPECT_FALSE(engine::video::ReadH263Header(FlatIntraPicture(4097, 16, 1, 1, 1), h, start));
    EXPECT_FALSE(engine::video::ReadH263Header(std::span(flat).first(5), h, start));
}

TEST(SorensonH263, FlatIntraPictureInAMovie) {
    // Y 100, Cb 90, Cr 160 is RGB (149, 87, 21) in BT.601 limited range.
    engine::video::H263Decoder d;
    ASSERT_TRUE(d.Decode(FlatIntraPicture(kW, kH, 100, 90, 160)));
    raster::Bitmap picture;
    ASSERT_TRUE(d.Picture(picture));
    EXPECT_EQ(picture.pixels[0], 0xff955715u);
    EXPECT_EQ(picture.pixels.back(), 0xff955715u);
    const auto frames = Frames(VideoMovie({{0, FlatIntraPicture(kW, kH, 100, 90, 160)}}, {0, 1}, 2), 2);
    ASSERT_EQ(frames.size(), 2u);
    for (const Image& f : frames)
        for (uint32_t got : {Rgb(f, 0, 0), Rgb(f, kW - 1, kH - 1)})
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(int(got >> shift & 255), int(0x955715u >> shift & 255), 1) << std::hex << got;
}

TEST(SorensonH263, BadPicturesKeepTheLastGoodOne) {
    engine::video::H263Decoder d;
    const kit::Bytes good = FlatIntraPicture(32, 32, 100, 90, 160);
    ASSERT_TRUE(d.Decode(good));
    kit::Bytes truncated = good;
    truncated.resize(truncated.size() - 4);
    kit::Bytes badDc = FlatIntraPicture(32, 32, 0, 90, 160);  // DC 0 is not a code
    const kit::Bytes other = FlatIntraPicture(32, 32, 200, 90, 160);
    kit::Bytes inter = FlatIntraPicture(48, 32, 200, 90, 160);
    inter[8] |= 0x20;  // the low type bit (bit 66): an inter picture of another size than its reference
    for (const kit::Bytes* bad : {&truncated, &badDc, &inter}) {
        EXPECT_FALSE(d.Decode(*bad));
        ASSERT_TRUE(d.Current());
        EXPECT_EQ(d.Current()->y.At(31, 31), 100);
    }
    ASSERT_TRUE(d.Decode(other));
    EXPECT_EQ(d.Current()->y.At(0, 0), 200);
}

namespace {

// Video tag payloads of an FLV file (the FrameType/CodecID byte dropped): the same bitstream a
// VideoFrame tag carries.
std::vector<kit::Bytes> FlvVideoPackets(const std::string& file) {
    std::vector<kit::Bytes> out;
    std::ifstream f(file, std::ios::binary);
    const kit::Bytes d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    for (size_t p = 13; p + 11 <= d.size();) {
        const size_t n = size_t(d[p + 1]) << 16 | size_t(d[p + 2]) << 8 | d[p + 3];
        if (p + 11 + n > d.size()) break;
        if (d[p] == 9 && n > 1) out.emplace_back(d.begin() + long(p + 12), d.begin() + long(p + 11 + n));
        p += 11 + n + 4;
    }
    return out;
}

// ffmpeg's encoding of its test pattern (`frames` frames of w x h with `encoder`, options after
// it) as FLV packets, and its own decoding of them as raw `pixelFormat` frames.
std::pair<std::vector<kit::Bytes>, kit::Bytes> EncodeWithFfmpeg(int w, int h, int frames, const std::string& encoder,
                                                                const char* pixelFormat) {
    const std::string dir = (std::filesystem::temp_directory_path() / "lumarel_video_test").string();
    std::filesystem::create_directories(dir);
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string flv = dir + "/clip.flv", raw = dir + "/clip.raw";
    const std::string encode = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=" + size + ":rate=10 -frames:v " +
                               std::to_string(frames) + " -c:v " + encoder + " " + flv;
    const std::string decode =
        "ffmpeg -loglevel error -y -i " + flv + " -f rawvideo -pix_fmt " + pixelFormat + " " + raw;
    EXPECT_EQ(std::system(encode.c_str()), 0) << encode;
    EXPECT_EQ(std::system(decode.c_str()), 0) << decode;
    std::ifstream f(raw, std::ios::binary);
    return {FlvVideoPackets(flv), kit::Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>())};
}

// A Screen Video 2 packet of one 16 x 16 block cut to w x h: its format byte, the position bytes
// after it, and its pixel bytes zlib-compressed.
kit::Bytes Sv2Packet(uint8_t format, const kit::Bytes& position, const kit::Bytes& pixels, int w = 4, int h = 2) {
    const kit::Bytes z = kit::ZlibPack(pixels);
    const size_t size = 1 + position.size() + z.size();
    kit::Bytes out = {0, uint8_t(w), 0, uint8_t(h), 0, uint8_t(size >> 8), uint8_t(size), format};
    out.insert(out.end(), position.begin(), position.end());
    out.insert(out.end(), z.begin(), z.end());
    return out;
}

bool HaveFfmpeg() { return std::system("ffmpeg -version > /dev/null 2>&1") == 0; }

}  // namespace

// ffmpeg's encoder and decoder as the reference: its pictures, decoded by both, agree to within
// the rounding of different inverse DCTs. Skipped when ffmpeg is not installed.
TEST(SorensonH263, MatchesFfmpegDecoding) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        int w, h;
        const char* options;
    } cases[] = {{64, 48, ""}, {72, 40, "-q:v 2"}, {96, 64, "-q:v 31 -g 4"}};
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        const auto [packets, ref] = EncodeWithFfmpeg(c.w, c.h, 8, std::string("flv1 ") + c.options, "yuv420p");
        ASSERT_EQ(packets.size(), 8u) << size;
        const size_t frameBytes = size_t(c.w) * c.h * 3 / 2;
        ASSERT_EQ(ref.size(), frameBytes * packets.size());
        engine::video::H263Decoder d;
        for (size_t i = 0; i < packets.size(); ++i) {
            ASSERT_TRUE(d.Decode(packets[i])) << size << " frame " << i;
            const engine::video::YuvPicture& p = *d.Current();
            ASSERT_EQ(p.width, c.w);
            ASSERT_EQ(p.height, c.h);
            const uint8_t* r = ref.data() + i * frameBytes;
            int worst = 0;
            long total = 0, count = 0;
            auto compare = [&](const engine::video::Plane& plane, int w, int h) {
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x, ++count) {
                        const int diff = std::abs(int(plane.At(x, y)) - int(*r++));
                        worst = std::max(worst, diff);
                        total += diff;
                    }
            };
            compare(p.y, c.w, c.h);
            compare(p.cb, c.w / 2, c.h / 2);
            compare(p.cr, c.w / 2, c.h / 2);
            EXPECT_LE(worst, 3) << size << " frame " << i;
            EXPECT_LT(double(total) / double(count), 0.25) << size << " frame " << i;
        }
    }
}

// Screen Video 2 is lossless: ffmpeg's pictures and ours, drawn in a movie, agree exactly. The
// sizes cut the edge blocks or not; with key frames every 4 packets, the jumps back decode from one.
TEST(ScreenVideo2, MatchesFfmpegDecodingExactly) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::vector<uint16_t> ratios = {0, 1, 2, 3, 4, 5, 6, 7, 6, 2};
    for (auto [w, h, options] : {std::tuple{72, 40, ""}, {64, 64, ""}, {200, 150, "-g 4"}}) {
        const auto [clip, ref] = EncodeWithFfmpeg(w, h, 8, std::string("flashsv2 ") + options, "rgb24");
        const size_t frameBytes = size_t(w) * h * 3;
        ASSERT_EQ(clip.size(), 8u);
        ASSERT_EQ(ref.size(), frameBytes * 8);
        std::vector<Packet> packets;
        for (size_t i = 0; i < 8; ++i) packets.push_back({uint16_t(i), clip[i]});
        const auto frames = Frames(VideoMovie(packets, ratios, 6, w, h), int(ratios.size()), w, h);
        ASSERT_EQ(frames.size(), ratios.size());
        for (size_t i = 0; i < ratios.size(); ++i) {
            const uint8_t* want = ref.data() + ratios[i] * frameBytes;
            int bad = 0;
            for (int p = 0; p < w * h; ++p, want += 3)
                if (Rgb(frames[i], p % w, p / w) != (uint32_t(want[0]) << 16 | uint32_t(want[1]) << 8 | want[2])) ++bad;
            EXPECT_EQ(bad, 0) << w << "x" << h << " movie frame " << i;
        }
    }
}

TEST(ScreenVideo2, HandMadeBlocksAndBadPacketsKeepTheLastGoodPicture) {
    // Bottom row: palette red and white, 15-bit green and blue; top row: palette black. Then the
    // top row alone in B, G, R over that key block.
    const kit::Bytes hybrid = {10, 5, 0x83, 0xe0, 0x80, 0x1f, 0, 0, 0, 0};
    const kit::Bytes key = Sv2Packet(0x10, {}, hybrid);
    const kit::Bytes top = Sv2Packet(0x04, {1, 1}, {0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0, 0, 0});
    auto d = engine::video::MakeDecoder(6);
    EXPECT_TRUE(d->IsKeyFrame(key));
    EXPECT_FALSE(d->IsKeyFrame(top));
    raster::Bitmap picture;
    EXPECT_FALSE(d->Decode(top));  // nothing to lay the rows over yet
    EXPECT_FALSE(d->Picture(picture));
    ASSERT_TRUE(d->Decode(key));
    ASSERT_TRUE(d->Decode(top));
    const std::vector<uint32_t> want = {0xff123456, 0xff123456, 0xff123456, 0xff000000,
                                        0xffff0000, 0xffffffff, 0xff00ff00, 0xff0000ff};
    ASSERT_TRUE(d->Picture(picture));
    EXPECT_EQ(picture.pixels, want);
    kit::Bytes truncated = key, corrupt = key, oversized = key;
    truncated.resize(truncated.size() - 3);
    for (size_t i = 10; i < corrupt.size(); i += 2) corrupt[i] ^= 0x5a;
    oversized[0] = oversized[2] = 0x0f;
    oversized[1] = oversized[3] = 0xff;
    // Cut short, corrupt zlib data, a picture larger than decoded, a colour depth that does not
    // exist, a pixel short, rows past the block, primed from outside the grid or from a block not
    // inflated yet.
    std::vector<kit::Bytes> bad = {truncated, corrupt, oversized};
    for (auto [format, position, cut] : std::initializer_list<std::tuple<uint8_t, kit::Bytes, long>>{
             {0x08, {}, 0}, {0x10, {}, 1}, {0x14, {1, 2}, 0}, {0x12, {1, 0}, 0}, {0x12, {0, 0}, 0}})
        bad.push_back(Sv2Packet(format, position, kit::Bytes(hybrid.begin(), hybrid.end() - cut)));
    for (const kit::Bytes& b : bad) {
        EXPECT_FALSE(d->Decode(b)) << &b - bad.data();
        ASSERT_TRUE(d->Picture(picture));
        EXPECT_EQ(picture.pixels, want) << &b - bad.data();
    }
}
