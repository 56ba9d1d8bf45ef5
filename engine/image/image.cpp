#include "engine/image/image.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/swf/inflate.h"

// stb_image is compiled into this file only, with static linkage so that it cannot clash with
// another copy elsewhere in a program, and limited to the three formats movies embed.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wpedantic"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#elif defined(_MSC_VER)
#pragma warning(push, 0)
#endif
#include "stb_image.h"
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC diagnostic pop
#elif defined(_MSC_VER)
#pragma warning(pop)
#endif

static_assert(STBI_MAX_DIMENSIONS == lumarel::engine::image::kMaxSide, "stb limit follows kMaxSide");

namespace lumarel::engine::image {

bool SizeAllowed(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u <= kMaxPixelBytes;
}

Format Sniff(std::span<const uint8_t> d) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (d.size() >= 8 && std::memcmp(d.data(), kPng, 8) == 0) return Format::Png;
    if (d.size() >= 4 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8') return Format::Gif;
    if (d.size() >= 2 && d[0] == 0xFF && (d[1] == 0xD8 || d[1] == 0xD9)) return Format::Jpeg;
    return Format::Unknown;
}

namespace {

// Appends the marker segments of `in` that come before its scan to `segments`, and (when
// `scan` is given) everything from the start-of-scan marker on to `scan`. Start and end markers
// before the scan are left out. False when a segment runs past the data.
bool CollectSegments(std::span<const uint8_t> in, std::vector<uint8_t>& segments, std::vector<uint8_t>* scan) {
    size_t i = 0;
    const size_t n = in.size();
    while (i < n) {
        if (in[i] != 0xFF) return false;             // not at a marker
        while (i + 1 < n && in[i + 1] == 0xFF) ++i;  // fill bytes
        if (i + 1 >= n) return true;
        const uint8_t m = in[i + 1];
        if (m == 0xD8 || m == 0xD9 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
            i += 2;  // markers without a length
            continue;
        }
        if (m == 0xDA) {
            if (scan) scan->insert(scan->end(), in.begin() + static_cast<ptrdiff_t>(i), in.end());
            return true;
        }
        if (i + 4 > n) return false;
        const size_t len = (size_t(in[i + 2]) << 8) | in[i + 3];
        if (len < 2 || len > n - i - 2) return false;
        segments.insert(segments.end(), in.begin() + static_cast<ptrdiff_t>(i),
                        in.begin() + static_cast<ptrdiff_t>(i + 2 + len));
        i += 2 + len;
    }
    return true;
}

// A PNG whose image data inflates to more than its header allows is refused before decoding
// (the decoder would otherwise grow its buffer for as long as the stream goes on).
bool PngDataBounded(std::span<const uint8_t> d) {
    if (d.size() < 33) return false;
    auto be32 = [&](size_t at) {
        return (uint32_t(d[at]) << 24) | (uint32_t(d[at + 1]) << 16) | (uint32_t(d[at + 2]) << 8) | d[at + 3];
    };
    const uint32_t w = be32(16), h = be32(20);
    if (!SizeAllowed(w, h)) return false;
    // At most 8 bytes a pixel (16-bit RGBA) plus a filter byte a row, for every interlace pass.
    const uint64_t limit = uint64_t(h) * (uint64_t(w) * 8 + 1) * 2 + 1024;
    swf::ZInflater z;
    if (!z.Ok()) return false;
    uint64_t produced = 0;
    size_t at = 8;
    while (at + 12 <= d.size()) {
        const uint32_t len = be32(at);
        if (len > d.size() - at - 12) break;  // truncated chunk: the decoder reports it
        if (std::memcmp(&d[at + 4], "IEND", 4) == 0) break;
        if (std::memcmp(&d[at + 4], "IDAT", 4) == 0) {
            // Counted, not kept; one byte beyond the limit tells a stream that overruns it.
            const swf::InflateResult piece =
                swf::InflateBounded(z, std::span(&d[at + 8], len), limit + 1 - produced, nullptr);
            produced += piece.produced;
            if (produced > limit) return false;
            // Ended, or corrupt (the decoder reports it): the rest inflates to nothing.
            if (piece.status == swf::InflateStatus::StreamEnd || piece.status == swf::InflateStatus::Error) break;
        }
        at += 12 + size_t(len);
    }
    return true;
}

// The stb_image of Debian 12 trusts two things in a JPEG's Huffman tables and reads or writes
// past its arrays when they do not hold: that a DHT segment's code counts add up to at most 256
// symbols, and that every table a scan selects was defined before it (an undefined table is
// whatever its memory held). Data breaking either is refused before it reaches the decoder.
// The walk reads the markers in the decoder's order; null means sound, otherwise the reason.
const char* JpegHuffmanTablesFault(std::span<const uint8_t> d) {
    bool defined[2][4] = {};  // [DC, AC][table id]
    bool progressive = false;
    size_t at = 0;
    while (at + 1 < d.size()) {
        const uint8_t m = d[at + 1];
        if (d[at] != 0xFF || m == 0xFF) {  // entropy-coded data, fill bytes: on to the next marker
            ++at;
            continue;
        }
        if (m == 0xD9 && at > 0) return nullptr;  // end of image: the decoder reads no further
        if (m == 0x00 || m == 0x01 || m == 0xD8 || m == 0xD9 || (m >= 0xD0 && m <= 0xD7)) {
            at += 2;  // stuffing, TEM, SOI, EOI, RSTn: no length follows
            continue;
        }
        if (at + 4 > d.size()) return nullptr;  // cut short: the decoder reports it
        const size_t len = (size_t(d[at + 2]) << 8) | d[at + 3];
        auto byte = [&](size_t i) { return i < d.size() ? d[i] : uint8_t(0); };  // reads on as zeros
        if (m == 0xC2) progressive = true;
        if (m == 0xC4) {
            // Read as the decoder reads it: table after table while the segment's length lasts, each
            // table's header taken whole even where it runs past that length or the data.
            long left = static_cast<long>(len) - 2;
            size_t p = at + 4;
            while (left > 0 && p < d.size()) {
                size_t n = 0;
                for (size_t i = 1; i <= 16; ++i) n += byte(p + i);
                if (n > 256) return "JPEG Huffman table with more than 256 codes";
                const uint8_t classAndId = d[p];
                if ((classAndId >> 4) <= 1 && (classAndId & 15) <= 3) defined[classAndId >> 4][classAndId & 15] = true;
                p += 17 + n;
                left -= static_cast<long>(17 + n);
            }
        }
        if (m == 0xDA) {
            // Baseline scans decode with both tables of each component; progressive DC scans use
            // the DC table on their first pass only, AC scans the AC table.
            const size_t count = byte(at + 4);
            const size_t spectral = at + 5 + 2 * count;
            const bool dcScan = byte(spectral) == 0, firstPass = (byte(spectral + 2) >> 4) == 0;
            const bool needDc = !progressive || (dcScan && firstPass), needAc = !progressive || !dcScan;
            for (size_t c = 0; c < count; ++c) {
                const uint8_t tables = byte(at + 6 + 2 * c);
                if ((needDc && (tables >> 4) <= 3 && !defined[0][tables >> 4]) ||
                    (needAc && (tables & 15) <= 3 && !defined[1][tables & 15]))
                    return "JPEG scan uses an undefined Huffman table";
            }
        }
        at += 2 + std::max<size_t>(len, 2);
    }
    return nullptr;
}

}  // namespace

std::vector<uint8_t> SpliceJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> image) {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    std::vector<uint8_t> scan;
    if (!tables.empty() && !CollectSegments(tables, out, nullptr)) return {};
    if (!CollectSegments(image, out, &scan) || scan.empty()) return {};
    out.insert(out.end(), scan.begin(), scan.end());
    if (out.size() < 2 || out[out.size() - 2] != 0xFF || out.back() != 0xD9) {
        out.push_back(0xFF);
        out.push_back(0xD9);
    }
    return out;
}

std::shared_ptr<raster::Bitmap> DecodeImage(std::span<const uint8_t> data, std::string& error) {
    const Format f = Sniff(data);
    if (f == Format::Unknown) {
        error = "image data of unknown format";
        return nullptr;
    }
    if (data.size() > static_cast<size_t>(INT_MAX)) {
        error = "image data too long";
        return nullptr;
    }
    if (const char* fault = f == Format::Jpeg ? JpegHuffmanTablesFault(data) : nullptr) {
        error = fault;
        return nullptr;
    }
    const auto* bytes = reinterpret_cast<const stbi_uc*>(data.data());
    const int len = static_cast<int>(data.size());
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(bytes, len, &w, &h, &comp)) {
        error = "image header not readable";
        return nullptr;
    }
    if (!SizeAllowed(w, h)) {
        error = "image size " + std::to_string(w) + "x" + std::to_string(h) + " outside the limits";
        return nullptr;
    }
    if (f == Format::Png && !PngDataBounded(data)) {
        error = "PNG data larger than its image";
        return nullptr;
    }
    stbi_uc* px = stbi_load_from_memory(bytes, len, &w, &h, &comp, 4);
    if (!px) {
        error = "image data not decodable";
        return nullptr;
    }
    auto bm = std::make_shared<raster::Bitmap>();
    if (!SizeAllowed(w, h)) {
        stbi_image_free(px);
        error = "image size outside the limits";
        return nullptr;
    }
    bm->width = w;
    bm->height = h;
    const size_t count = size_t(w) * size_t(h);
    bm->pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t r = px[i * 4], g = px[i * 4 + 1], b = px[i * 4 + 2], a = px[i * 4 + 3];
        auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
        bm->pixels[i] =
            a == 255 ? (0xFF000000u | (r << 16) | (g << 8) | b) : ((a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b));
    }
    stbi_image_free(px);
    return bm;
}

}  // namespace lumarel::engine::image
