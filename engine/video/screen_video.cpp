#include "engine/video/screen_video.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "engine/swf/bit_reader.h"

namespace lumarel::engine::video {

namespace {

struct PacketHeader {
    int blockWidth = 0, blockHeight = 0;  // pixels
    int width = 0, height = 0;
    int columns = 0, rows = 0;
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

// A block's 16-bit big-endian data size, then its data.
bool ReadBlock(swf::BitReader& r, std::span<const uint8_t>& data) {
    const size_t size = r.Ub(16);
    data = r.Bytes(size);
    return r.Ok();
}

class ScreenVideoDecoder final : public Decoder {
public:
    bool IsKeyFrame(std::span<const uint8_t> packet) const override {
        swf::BitReader r(packet);
        PacketHeader h;
        if (!ReadHeader(r, h)) return false;
        for (int i = 0; i < h.columns * h.rows; ++i) {
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
        std::vector<uint8_t> bgr(size_t(h.blockWidth) * h.blockHeight * 3);
        for (int row = 0; row < h.rows; ++row) {
            for (int col = 0; col < h.columns; ++col) {
                std::span<const uint8_t> data;
                if (!ReadBlock(r, data)) return false;
                if (data.empty()) {
                    if (!sameSize) return false;  // unchanged, but there is no picture to keep
                    continue;
                }
                // Blocks run left to right from the bottom left; those on the right and top edges
                // are cut to the picture.
                const int x0 = col * h.blockWidth, yBottom = row * h.blockHeight;
                const int bw = std::min(h.blockWidth, h.width - x0), bh = std::min(h.blockHeight, h.height - yBottom);
                uLongf size = static_cast<uLongf>(bw) * bh * 3;
                const uLongf want = size;
                if (uncompress(bgr.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK || size != want)
                    return false;
                for (int y = 0; y < bh; ++y) {
                    const uint8_t* src = bgr.data() + size_t(y) * bw * 3;
                    uint32_t* dst = next.data() + size_t(h.height - 1 - (yBottom + y)) * h.width + x0;
                    for (int x = 0; x < bw; ++x, src += 3)
                        dst[x] = 0xff000000u | (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
                }
            }
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

}  // namespace

std::unique_ptr<Decoder> MakeScreenVideoDecoder() { return std::make_unique<ScreenVideoDecoder>(); }

}  // namespace lumarel::engine::video
