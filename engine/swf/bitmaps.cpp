#include "engine/swf/bitmaps.h"

#include <algorithm>

#include "engine/image/image.h"
#include "engine/swf/bit_reader.h"
#include "engine/swf/inflate.h"
#include "engine/swf/swf_file.h"

namespace lumarel::engine::swf {

namespace {

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// DefineBitsLossless (alphaTag false) and DefineBitsLossless2 (true).
std::shared_ptr<const raster::Bitmap> DecodeLossless(BitReader& r, bool alphaTag, std::string& error) {
    const uint8_t format = r.U8();
    const uint16_t w = r.U16(), h = r.U16();
    unsigned tableSize = 0;
    if (format == 3) tableSize = unsigned(r.U8()) + 1;
    if (!r.Ok()) {
        error = "lossless bitmap header truncated";
        return nullptr;
    }
    if (format != 3 && format != 4 && format != 5) {
        error = "lossless bitmap format " + std::to_string(format) + " unknown";
        return nullptr;
    }
    if (!image::SizeAllowed(w, h)) {
        error = "lossless bitmap size " + std::to_string(w) + "x" + std::to_string(h) + " outside the limits";
        return nullptr;
    }
    const size_t W = w, H = h;
    const size_t entry = alphaTag ? 4 : 3;
    size_t stride = 0, head = 0;
    if (format == 3) {
        stride = (W + 3) & ~size_t(3);
        head = tableSize * entry;
    } else if (format == 4) {
        stride = (W * 2 + 3) & ~size_t(3);
    } else {
        stride = W * 4;
    }
    std::vector<uint8_t> raw;
    if (!InflateExact(r.Rest(), head + stride * H, raw)) {
        error = "lossless bitmap data corrupt or short";
        return nullptr;
    }
    auto bm = std::make_shared<raster::Bitmap>();
    bm->width = w;
    bm->height = h;
    bm->pixels.resize(W * H);
    if (format == 3) {
        uint32_t table[256] = {};  // indices past the table give transparent black
        for (unsigned i = 0; i < tableSize; ++i) {
            const uint8_t* e = &raw[i * entry];
            table[i] = alphaTag ? Pack(e[3], e[0], e[1], e[2]) : Pack(255, e[0], e[1], e[2]);
        }
        for (size_t y = 0; y < H; ++y) {
            const uint8_t* row = &raw[head + y * stride];
            for (size_t x = 0; x < W; ++x) bm->pixels[y * W + x] = table[row[x]];
        }
    } else if (format == 4) {
        for (size_t y = 0; y < H; ++y) {
            const uint8_t* row = &raw[y * stride];
            for (size_t x = 0; x < W; ++x) {
                const uint32_t v = (uint32_t(row[x * 2]) << 8) | row[x * 2 + 1];
                auto c5 = [](uint32_t c) { return (c << 3) | (c >> 2); };
                bm->pixels[y * W + x] = Pack(255, c5((v >> 10) & 31), c5((v >> 5) & 31), c5(v & 31));
            }
        }
    } else {
        for (size_t i = 0; i < W * H; ++i) {
            const uint8_t* p = &raw[i * 4];
            bm->pixels[i] = Pack(alphaTag ? p[0] : 255, p[1], p[2], p[3]);
        }
    }
    // Lossless2 colours are stored premultiplied already; they are kept as they are (a colour
    // above its alpha is clamped by the fill when drawn).
    return bm;
}

}  // namespace

bool IsBitmapTag(uint16_t code) {
    return code == tag::DefineBits || code == tag::DefineBitsJPEG2 || code == tag::DefineBitsJPEG3 ||
           code == tag::DefineBitsJPEG4 || code == tag::DefineBitsLossless || code == tag::DefineBitsLossless2;
}

bool BitmapSmoothing(int swfVersion, int frameCount) { return swfVersion >= 8 || frameCount <= 1; }

void MakeBitmapPaint(uint8_t type, uint16_t id, const raster::Matrix& m, const ShapeContext* ctx, raster::Paint& p) {
    p.kind = raster::Paint::Kind::None;
    if (!ctx || !ctx->bitmap) return;
    std::shared_ptr<const raster::Bitmap> bm = ctx->bitmap(id);
    if (!bm) return;
    p.kind = raster::Paint::Kind::Bitmap;
    p.bitmap = std::move(bm);
    p.bitmapMatrix = m;
    p.repeat = type == 0x40 || type == 0x42;
    p.smooth = (type == 0x40 || type == 0x41) && ctx->smoothFills;
}

std::shared_ptr<const raster::Bitmap> DecodeBitmapTag(uint16_t code, std::span<const uint8_t> body,
                                                      std::span<const uint8_t> jpegTables, uint16_t& id,
                                                      std::string& error) {
    BitReader r(body);
    id = r.U16();
    if (!r.Ok()) {
        error = "bitmap tag too short";
        return nullptr;
    }
    if (code == tag::DefineBitsLossless || code == tag::DefineBitsLossless2) {
        return DecodeLossless(r, code == tag::DefineBitsLossless2, error);
    }
    std::span<const uint8_t> imageData, alphaData;
    if (code == tag::DefineBitsJPEG3 || code == tag::DefineBitsJPEG4) {
        const uint32_t alphaOffset = r.U32();
        if (code == tag::DefineBitsJPEG4) (void)r.U16();  // deblocking strength: not applied
        imageData = r.Bytes(alphaOffset);
        if (!r.Ok()) {
            error = "bitmap alpha offset beyond the tag";
            return nullptr;
        }
        alphaData = r.Rest();
    } else {
        imageData = r.Rest();
    }
    const image::Format f = image::Sniff(imageData);
    if (f == image::Format::Png || f == image::Format::Gif) {
        if (code == tag::DefineBits) {
            error = "DefineBits holds no JPEG";
            return nullptr;
        }
        return image::DecodeImage(imageData, error);  // the image's own alpha; an alpha plane is ignored
    }
    const std::vector<uint8_t> jpeg =
        image::SpliceJpeg(code == tag::DefineBits ? jpegTables : std::span<const uint8_t>(), imageData);
    if (jpeg.empty()) {
        error = "JPEG segments malformed";
        return nullptr;
    }
    std::shared_ptr<raster::Bitmap> bm = image::DecodeImage(jpeg, error);
    if (!bm || alphaData.empty()) return bm;
    // The alpha plane: one byte a pixel. The colour is taken as premultiplied and limited to the
    // alpha. A plane that does not inflate leaves the picture opaque.
    std::vector<uint8_t> alpha;
    const size_t count = size_t(bm->width) * size_t(bm->height);
    if (!InflateExact(alphaData, count, alpha)) return bm;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t a = alpha[i], c = bm->pixels[i];
        const uint32_t cr = std::min((c >> 16) & 255u, a), cg = std::min((c >> 8) & 255u, a),
                       cb = std::min(c & 255u, a);
        bm->pixels[i] = Pack(a, cr, cg, cb);
    }
    return bm;
}

}  // namespace lumarel::engine::swf
