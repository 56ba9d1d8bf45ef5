#include "engine/video/screen_video.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/swf/bit_reader.h"
#include "engine/swf/inflate.h"

namespace lumarel::engine::video {

namespace {

// The start of every packet of both versions: the block grid and the picture size.
struct PacketHeader {
    int blockWidth = 0, blockHeight = 0;  // pixels
    int width = 0, height = 0;
    int columns = 0, rows = 0;

    int Blocks() const { return columns * rows; }
    bool SameGrid(const PacketHeader& o) const {
        return width == o.width && height == o.height && blockWidth == o.blockWidth && blockHeight == o.blockHeight;
    }
};

bool ReadHeader(swf::BitReader& r, PacketHeader& h) {
    h.blockWidth = (static_cast<int>(r.Ub(4)) + 1) * 16;
    h.width = static_cast<int>(r.Ub(12));
    h.blockHeight = (static_cast<int>(r.Ub(4)) + 1) * 16;
    h.height = static_cast<int>(r.Ub(12));
    if (!r.Ok() || h.width == 0 || h.height == 0 || long(h.width) * h.height > kMaxPixels) return false;
    h.columns = (h.width + h.blockWidth - 1) / h.blockWidth;
    h.rows = (h.height + h.blockHeight - 1) / h.blockHeight;
    return true;
}

// Where block `index` lies. Blocks run left to right from the bottom left; those on the right
// and top edges are cut to the picture.
struct BlockRect {
    int x0 = 0, yBottom = 0;  // left column; bottom row, counted up from the picture's bottom
    int width = 0, height = 0;
};

BlockRect BlockAt(const PacketHeader& h, int index) {
    BlockRect b;
    b.x0 = (index % h.columns) * h.blockWidth;
    b.yBottom = (index / h.columns) * h.blockHeight;
    b.width = std::min(h.blockWidth, h.width - b.x0);
    b.height = std::min(h.blockHeight, h.height - b.yBottom);
    return b;
}

// A block's 16-bit big-endian data size, then its data.
bool ReadBlock(swf::BitReader& r, std::span<const uint8_t>& data) {
    const size_t size = r.Ub(16);
    data = r.Bytes(size);
    return r.Ok();
}

// Inflates block data into at most `limit` bytes: a zlib stream, or, given a dictionary, a raw
// deflate stream that goes on from it (such a stream may stop at a flush rather than end). False
// when the data is corrupt or would give more than `limit` bytes.
bool Inflate(std::span<const uint8_t> data, std::span<const uint8_t> dictionary, size_t limit,
             std::vector<uint8_t>& out) {
    swf::ZInflater z(!dictionary.empty());
    if (!z.Ok() || (!dictionary.empty() && !z.SetDictionary(dictionary))) return false;
    out.clear();  // after the dictionary is taken in: it may be the bytes out held
    // One byte of room beyond the limit tells a stream that overruns it.
    const swf::InflateResult r = swf::InflateBounded(z, data, limit + 1, &out);
    return r.status != swf::InflateStatus::Error && r.produced <= limit;
}

// Pixels from B, G, R bytes.
void FromBgr(const uint8_t* bgr, size_t count, uint32_t* out) {
    for (size_t i = 0; i < count; ++i, bgr += 3)
        out[i] = 0xff000000u | (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
}

// Writes a whole block's pixels (its bottom row first) into a picture stored top row first.
void PutBlock(std::vector<uint32_t>& picture, const PacketHeader& h, const BlockRect& b, const uint32_t* px) {
    for (int y = 0; y < b.height; ++y, px += b.width)
        std::copy(px, px + b.width, picture.data() + size_t(h.height - 1 - (b.yBottom + y)) * h.width + b.x0);
}

class ScreenVideoDecoder final : public Decoder {
public:
    bool IsKeyFrame(std::span<const uint8_t> packet) const override {
        swf::BitReader r(packet);
        PacketHeader h;
        if (!ReadHeader(r, h)) return false;
        for (int i = 0; i < h.Blocks(); ++i) {
            std::span<const uint8_t> data;
            if (!ReadBlock(r, data) || data.empty()) return false;
        }
        return true;
    }

    bool Decode(std::span<const uint8_t> packet) override {
        swf::BitReader r(packet);
        PacketHeader h;
        if (!ReadHeader(r, h)) return false;
        const bool sameSize = h.width == width_ && h.height == height_;
        // Work on a copy, so a bad block leaves the last picture whole.
        std::vector<uint32_t> next = sameSize ? pixels_ : std::vector<uint32_t>(size_t(h.width) * h.height, 0);
        std::vector<uint8_t> bgr;
        std::vector<uint32_t> px(size_t(h.blockWidth) * h.blockHeight);
        for (int i = 0; i < h.Blocks(); ++i) {
            std::span<const uint8_t> data;
            if (!ReadBlock(r, data)) return false;
            if (data.empty()) {
                if (!sameSize) return false;  // unchanged, but there is no picture to keep
                continue;
            }
            const BlockRect b = BlockAt(h, i);
            const size_t count = size_t(b.width) * b.height;
            if (!Inflate(data, {}, count * 3, bgr) || bgr.size() != count * 3) return false;
            FromBgr(bgr.data(), count, px.data());
            PutBlock(next, h, b, px.data());
        }
        width_ = h.width;
        height_ = h.height;
        pixels_ = std::move(next);
        return true;
    }

    void Reset() override {
        width_ = height_ = 0;
        pixels_.clear();
    }

    bool Picture(raster::Bitmap& out) const override {
        if (width_ == 0) return false;
        out.width = width_;
        out.height = height_;
        out.pixels = pixels_;
        return true;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;  // top row first
};

// Screen Video 2 ---------------------------------------------------------------------------------

using Palette = std::array<uint32_t, 128>;

// The colours palette indices stand for until a packet brings its own palette.
constexpr Palette kDefaultPalette = {
    0x000000, 0x333333, 0x666666, 0x999999, 0xcccccc, 0xffffff, 0x330000, 0x660000, 0x990000, 0xcc0000, 0xff0000,
    0x003300, 0x006600, 0x009900, 0x00cc00, 0x00ff00, 0x000033, 0x000066, 0x000099, 0x0000cc, 0x0000ff, 0x333300,
    0x666600, 0x999900, 0xcccc00, 0xffff00, 0x003333, 0x006666, 0x009999, 0x00cccc, 0x00ffff, 0x330033, 0x660066,
    0x990099, 0xcc00cc, 0xff00ff, 0xffff33, 0xffff66, 0xffff99, 0xffffcc, 0xff33ff, 0xff66ff, 0xff99ff, 0xffccff,
    0x33ffff, 0x66ffff, 0x99ffff, 0xccffff, 0xcccc33, 0xcccc66, 0xcccc99, 0xccccff, 0xcc33cc, 0xcc66cc, 0xcc99cc,
    0xccffcc, 0x33cccc, 0x66cccc, 0x99cccc, 0xffcccc, 0x999933, 0x999966, 0x9999cc, 0x9999ff, 0x993399, 0x996699,
    0x99cc99, 0x99ff99, 0x339999, 0x669999, 0xcc9999, 0xff9999, 0x666633, 0x666699, 0x6666cc, 0x6666ff, 0x663366,
    0x669966, 0x66cc66, 0x66ff66, 0x336666, 0x996666, 0xcc6666, 0xff6666, 0x333366, 0x333399, 0x3333cc, 0x3333ff,
    0x336633, 0x339933, 0x33cc33, 0x33ff33, 0x663333, 0x993333, 0xcc3333, 0xff3333, 0x003366, 0x336600, 0x660033,
    0x006633, 0x330066, 0x663300, 0x336699, 0x669933, 0x993366, 0x339966, 0x663399, 0x996633, 0x6699cc, 0x99cc66,
    0xcc6699, 0x66cc99, 0x9966cc, 0xcc9966, 0x99ccff, 0xccff99, 0xff99cc, 0x99ffcc, 0xcc99ff, 0xffcc99, 0x111111,
    0x222222, 0x444444, 0x555555, 0xaaaaaa, 0xbbbbbb, 0xdddddd, 0xeeeeee,
};

// A block's format byte: three reserved bits, the colour depth (0 B, G, R bytes; 2 the 15/7-bit
// hybrid), then whether the data covers only a run of rows, is inflated on from another block of
// this packet (whose position follows), or is inflated on from this block's last key block.
constexpr uint8_t kDiffRows = 4, kPrimeFromPacket = 2, kPrimeFromKey = 1;
constexpr int kDepthBgr = 0, kDepthHybrid = 2;

// Whether a block's data needs the block as an earlier packet left it.
bool NeedsKeyBlock(uint8_t format) {
    return (format & kDiffRows) || ((format & kPrimeFromKey) && !(format & kPrimeFromPacket));
}

// Pixels in the 15/7-bit hybrid colour: a byte with the top bit clear is a palette index; one
// with it set starts a 15-bit colour over two bytes (big-endian, 5 bits each of red, green and
// blue, widened to 8 bits by repeating their top bits). False unless the bytes make exactly
// `count` pixels.
bool FromHybrid(std::span<const uint8_t> bytes, const Palette& palette, size_t count, uint32_t* out) {
    auto wide = [](uint32_t c) { return (c << 3) | (c >> 2); };
    size_t p = 0;
    for (size_t i = 0; i < count; ++i) {
        if (p >= bytes.size()) return false;
        const uint8_t first = bytes[p++];
        if (first < 0x80) {
            out[i] = 0xff000000u | palette[first];
            continue;
        }
        if (p >= bytes.size()) return false;
        const uint32_t c = (uint32_t(first & 0x7f) << 8) | bytes[p++];
        out[i] = 0xff000000u | (wide(c >> 10) << 16) | (wide((c >> 5) & 31) << 8) | wide(c & 31);
    }
    return p == bytes.size();
}

// A packet's palette: up to 128 colours as B, G, R bytes (zlib-compressed) over the defaults.
bool ReadPalette(std::span<const uint8_t> data, Palette& palette) {
    std::vector<uint8_t> bgr;
    if (!Inflate(data, {}, palette.size() * 3, bgr) || bgr.empty() || bgr.size() % 3 != 0) return false;
    palette = kDefaultPalette;
    FromBgr(bgr.data(), bgr.size() / 3, palette.data());
    return true;
}

// The last key block decoded at a block position: its pixels (bottom row first) and the bytes its
// data inflated to, which blocks primed from it continue.
struct KeyBlock {
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> data;
};

class ScreenVideo2Decoder final : public Decoder {
public:
    ScreenVideo2Decoder() { Reset(); }

    bool IsKeyFrame(std::span<const uint8_t> packet) const override {
        swf::BitReader r(packet);
        PacketHeader h;
        bool palette = false;
        if (!ReadFlags(r, h, palette)) return false;
        std::span<const uint8_t> data;
        if (palette && !ReadBlock(r, data)) return false;
        // The blocks after these (the displayed image of a key frame) build on them alone.
        for (int i = 0; i < h.Blocks(); ++i)
            if (!ReadBlock(r, data) || data.empty() || NeedsKeyBlock(data[0])) return false;
        return true;
    }

    bool Decode(std::span<const uint8_t> packet) override {
        swf::BitReader r(packet);
        Packet p;
        bool hasPalette = false;
        if (!ReadFlags(r, p.header, hasPalette, &p.hasImage)) return false;
        p.palette = palette_;
        std::span<const uint8_t> data;
        if (hasPalette && (!ReadBlock(r, data) || !ReadPalette(data, p.palette))) return false;
        p.same = !pixels_.empty() && p.header.SameGrid(header_);
        const int n = p.header.Blocks();
        p.keys.assign(size_t(n), nullptr);
        p.inflated.assign(size_t(n), nullptr);
        if (p.same)
            for (int i = 0; i < n; ++i)
                if (!keys_[size_t(i)].pixels.empty()) p.keys[size_t(i)] = &keys_[size_t(i)];
        // Decode everything before changing anything, so a bad block leaves the last picture.
        p.blocks.reserve(size_t(n) * 2);  // the pointers into it stay valid
        for (int pass = 0; pass < (p.hasImage ? 2 : 1); ++pass) {
            for (int i = 0; i < n; ++i) {
                if (!ReadBlock(r, data)) return false;
                if (data.empty()) {
                    if (!p.same && pass == 0) return false;  // unchanged, but there is no picture to keep
                    continue;
                }
                Decoded& b = p.blocks.emplace_back();
                b.index = i;
                if (!DecodeBlock(data, p, b)) return false;
                p.inflated[size_t(i)] = &b.data;
                // Blocks of the displayed image only show: later packets build on the key blocks.
                b.key = pass == 0 && !NeedsKeyBlock(data[0]);
                if (b.key) p.keys[size_t(i)] = &b;
            }
        }
        const PacketHeader& h = p.header;
        if (!p.same) {
            header_ = h;
            pixels_.assign(size_t(h.width) * h.height, 0xff000000u);
            keys_.assign(size_t(n), {});
        }
        for (Decoded& b : p.blocks) {
            PutBlock(pixels_, h, BlockAt(h, b.index), b.pixels.data());
            if (b.key) keys_[size_t(b.index)] = std::move(b);
        }
        palette_ = p.palette;
        return true;
    }

    void Reset() override {
        header_ = {};
        pixels_.clear();
        keys_.clear();
        palette_ = kDefaultPalette;
    }

    bool Picture(raster::Bitmap& out) const override {
        if (pixels_.empty()) return false;
        out.width = header_.width;
        out.height = header_.height;
        out.pixels = pixels_;
        return true;
    }

private:
    struct Decoded : KeyBlock {
        int index = 0;
        bool key = false;
    };
    // One packet as it decodes.
    struct Packet {
        PacketHeader header;
        bool hasImage = false;  // a second set of blocks follows: the image shown over the key blocks
        bool same = false;      // the grid of the picture before, whose blocks may be kept
        Palette palette;
        std::vector<Decoded> blocks;
        std::vector<const KeyBlock*> keys;                  // each position's key block as of now
        std::vector<const std::vector<uint8_t>*> inflated;  // each position's data in this packet
    };

    // The header, the reserved bits and the two flags.
    static bool ReadFlags(swf::BitReader& r, PacketHeader& h, bool& palette, bool* image = nullptr) {
        if (!ReadHeader(r, h)) return false;
        (void)r.Ub(6);
        const bool hasImage = r.Flag();
        palette = r.Flag();
        if (image) *image = hasImage;
        return r.Ok();
    }

    // One block's format, row run and priming, and its pixels whole.
    static bool DecodeBlock(std::span<const uint8_t> data, const Packet& p, Decoded& out) {
        const uint8_t format = data[0];
        const int depth = (format >> 3) & 3;
        if (depth != kDepthBgr && depth != kDepthHybrid) return false;
        const BlockRect b = BlockAt(p.header, out.index);
        const KeyBlock* key = p.keys[size_t(out.index)];
        size_t pos = 1;
        int first = 0, rows = b.height;  // the rows the data covers, counted up from the block's bottom
        if (format & kDiffRows) {
            if (data.size() < pos + 2 || !key) return false;
            first = data[pos];
            rows = data[pos + 1];
            pos += 2;
            if (rows == 0 || first + rows > b.height) return false;
        }
        std::span<const uint8_t> dictionary;
        if (format & kPrimeFromPacket) {
            if (data.size() < pos + 2) return false;
            const int column = data[pos], row = data[pos + 1];
            pos += 2;
            if (column >= p.header.columns || row >= p.header.rows) return false;
            const auto* source = p.inflated[size_t(row * p.header.columns + column)];
            if (!source) return false;
            dictionary = *source;
        } else if (format & kPrimeFromKey) {
            if (!key) return false;
            dictionary = key->data;
        }
        if ((format & (kPrimeFromPacket | kPrimeFromKey)) && dictionary.empty()) return false;
        const size_t count = size_t(b.width) * rows;
        if (!Inflate(data.subspan(pos), dictionary, count * (depth == kDepthBgr ? 3 : 2), out.data)) return false;
        if (format & kDiffRows)
            out.pixels = key->pixels;
        else
            out.pixels.resize(size_t(b.width) * b.height);
        uint32_t* dst = out.pixels.data() + size_t(first) * b.width;
        if (depth == kDepthHybrid) return FromHybrid(out.data, p.palette, count, dst);
        if (out.data.size() != count * 3) return false;
        FromBgr(out.data.data(), count, dst);
        return true;
    }

    PacketHeader header_;
    std::vector<uint32_t> pixels_;  // top row first
    std::vector<KeyBlock> keys_;    // by block position; empty where none has come yet
    Palette palette_;               // the defaults until a packet brings its own; kept for the packets after
};

}  // namespace

std::unique_ptr<Decoder> MakeScreenVideoDecoder() { return std::make_unique<ScreenVideoDecoder>(); }

std::unique_ptr<Decoder> MakeScreenVideo2Decoder() { return std::make_unique<ScreenVideo2Decoder>(); }

}  // namespace lumarel::engine::video
