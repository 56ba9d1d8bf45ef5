// Embedded video tags and a Screen Video encoder.
#include <algorithm>

#include "tools/swfkit/swfkit.h"

namespace lumarel::swfkit {

Bytes DefineVideoStreamBody(std::uint16_t id, std::uint16_t frames, std::uint16_t width, std::uint16_t height,
                            std::uint8_t codec, bool smoothing, std::uint8_t deblocking) {
    BitWriter w;
    w.U16(id);
    w.U16(frames);
    w.U16(width);
    w.U16(height);
    w.Ub(0, 4);
    w.Ub(deblocking, 3);
    w.Ub(smoothing ? 1 : 0, 1);
    w.U8(codec);
    return w.Take();
}

Bytes VideoFrameBody(std::uint16_t stream, std::uint16_t frame, const Bytes& packet) {
    BitWriter w;
    w.U16(stream);
    w.U16(frame);
    Bytes out = w.Take();
    out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

Bytes ScreenVideoPacket(const Bitmap& image, int blockWidth, int blockHeight, const Bitmap* previous) {
    BitWriter w;
    w.Ub(static_cast<std::uint32_t>(blockWidth / 16 - 1), 4);
    w.Ub(static_cast<std::uint32_t>(image.width), 12);
    w.Ub(static_cast<std::uint32_t>(blockHeight / 16 - 1), 4);
    w.Ub(static_cast<std::uint32_t>(image.height), 12);
    Bytes out = w.Take();
    const bool diff = previous && previous->width == image.width && previous->height == image.height;
    // Blocks left to right from the bottom left; each block's rows bottom first, BGR.
    for (int y0 = 0; y0 < image.height; y0 += blockHeight) {
        for (int x0 = 0; x0 < image.width; x0 += blockWidth) {
            const int bw = std::min(blockWidth, image.width - x0), bh = std::min(blockHeight, image.height - y0);
            Bytes bgr;
            bool same = diff;
            for (int y = 0; y < bh; ++y) {
                const size_t row = size_t(image.height - 1 - (y0 + y)) * image.width;
                for (int x = 0; x < bw; ++x) {
                    const std::uint32_t c = image.argb[row + x0 + x];
                    if (same && (previous->argb[row + x0 + x] & 0xffffff) != (c & 0xffffff)) same = false;
                    bgr.push_back(static_cast<std::uint8_t>(c));
                    bgr.push_back(static_cast<std::uint8_t>(c >> 8));
                    bgr.push_back(static_cast<std::uint8_t>(c >> 16));
                }
            }
            if (same) {
                out.push_back(0);
                out.push_back(0);
                continue;
            }
            const Bytes z = ZlibPack(bgr);
            out.push_back(static_cast<std::uint8_t>(z.size() >> 8));
            out.push_back(static_cast<std::uint8_t>(z.size()));
            out.insert(out.end(), z.begin(), z.end());
        }
    }
    return out;
}

}  // namespace lumarel::swfkit
