// Authoring kit: JPEG and PNG streams for the bitmap tags, the JPEG bitmap tags themselves and
// DefineMorphShape2.
#include "tools/swfkit/swfkit.h"

#include <zlib.h>

#include <algorithm>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include "stb_image_write.h"
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace lumarel::swfkit {

namespace {

void AppendTo(void* ctx, void* data, int size) {
    auto* out = static_cast<Bytes*>(ctx);
    const auto* p = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

std::vector<std::uint8_t> RgbaBytes(const Bitmap& bmp) {
    std::vector<std::uint8_t> px;
    px.reserve(bmp.argb.size() * 4);
    for (std::uint32_t v : bmp.argb) {
        px.push_back(static_cast<std::uint8_t>(v >> 16));
        px.push_back(static_cast<std::uint8_t>(v >> 8));
        px.push_back(static_cast<std::uint8_t>(v));
        px.push_back(static_cast<std::uint8_t>(v >> 24));
    }
    return px;
}

}  // namespace

Bytes ZlibPack(const Bytes& in) {
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    Bytes out(n);
    if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK) return {};
    out.resize(n);
    return out;
}

Bytes EncodeJpeg(const Bitmap& bmp, int quality) {
    Bytes out;
    const std::vector<std::uint8_t> px = RgbaBytes(bmp);
    stbi_write_jpg_to_func(AppendTo, &out, bmp.width, bmp.height, 4, px.data(), std::clamp(quality, 1, 100));
    return out;
}

Bytes EncodePng(const Bitmap& bmp) {
    Bytes out;
    const std::vector<std::uint8_t> px = RgbaBytes(bmp);
    stbi_write_png_to_func(AppendTo, &out, bmp.width, bmp.height, 4, px.data(), bmp.width * 4);
    return out;
}

bool SplitJpeg(const Bytes& jpeg, Bytes& tables, Bytes& image) {
    tables = {0xFF, 0xD8};
    image = {0xFF, 0xD8};
    std::size_t i = 2;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
    while (i + 4 <= jpeg.size()) {
        if (jpeg[i] != 0xFF) return false;
        const std::uint8_t m = jpeg[i + 1];
        if (m == 0xDA) {  // scan to the end
            image.insert(image.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(i), jpeg.end());
            tables.push_back(0xFF);
            tables.push_back(0xD9);
            return true;
        }
        const std::size_t len = (std::size_t(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (i + 2 + len > jpeg.size()) return false;
        Bytes& to = (m == 0xDB || m == 0xC4) ? tables : image;
        to.insert(to.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(i),
                  jpeg.begin() + static_cast<std::ptrdiff_t>(i + 2 + len));
        i += 2 + len;
    }
    return false;
}

Movie& Movie::JpegTables(const Bytes& tables) {
    Raw(tag::JPEGTables, tables);
    return *this;
}

std::uint16_t Movie::DefineBits(const Bytes& jpegWithoutTables) {
    const std::uint16_t id = NextId();
    BitWriter w;
    w.U16(id);
    w.Append(jpegWithoutTables);
    Raw(tag::DefineBits, w.Take());
    return id;
}

std::uint16_t Movie::DefineBitsJpeg2(const Bytes& imageData) {
    const std::uint16_t id = NextId();
    BitWriter w;
    w.U16(id);
    w.Append(imageData);
    Raw(tag::DefineBitsJPEG2, w.Take());
    return id;
}

std::uint16_t Movie::DefineBitsJpeg3(const Bytes& jpeg, const std::vector<std::uint8_t>& alpha,
                                     const std::optional<Bytes>& rawAlpha) {
    const std::uint16_t id = NextId();
    BitWriter w;
    w.U16(id);
    w.U32(static_cast<std::uint32_t>(jpeg.size()));
    w.Append(jpeg);
    w.Append(rawAlpha ? *rawAlpha : ZlibPack(alpha));
    Raw(tag::DefineBitsJPEG3, w.Take());
    return id;
}

std::uint16_t Movie::DefineMorphShape2(const ShapeBuilder& startShape, const ShapeBuilder& endShape,
                                       const std::vector<MorphFill>& fills, const std::vector<MorphLine>& lines) {
    // Written as DefineMorphShape first, then rebuilt: the version 2 body adds the edge bounds
    // and a flags byte after the bounds, and two flag bytes to each line style.
    const std::size_t before = tags_.size();
    const std::uint16_t id = DefineMorphShape(startShape, endShape, fills, lines);
    Bytes tagBytes(tags_.begin() + static_cast<std::ptrdiff_t>(before), tags_.end());
    tags_.resize(before);
    --count_;
    // Tag header (long form for morph shapes) is 6 bytes at most; find the body by its length.
    std::size_t headerLen = 2;
    if ((tagBytes[0] & 0x3F) == 0x3F) headerLen = 6;
    const Bytes body(tagBytes.begin() + static_cast<std::ptrdiff_t>(headerLen), tagBytes.end());
    // id and two RECTs: re-encode them to know where they end.
    BitWriter head;
    head.U16(id);
    std::uint16_t startWidth = 0, endWidth = 0;
    for (const MorphLine& l : lines) {
        startWidth = std::max(startWidth, l.startWidth);
        endWidth = std::max(endWidth, l.endWidth);
    }
    auto grown = [](Rect r, std::uint16_t width) {
        const std::int32_t h = (width + 1) / 2;
        return Rect{r.xmin - h, r.xmax + h, r.ymin - h, r.ymax + h};
    };
    WriteRect(head, grown(startShape.EdgeBounds(), startWidth));
    WriteRect(head, grown(endShape.EdgeBounds(), endWidth));
    const Bytes headBytes = head.Take();
    std::size_t at = headBytes.size();
    const std::uint32_t offset =
        body[at] | (body[at + 1] << 8) | (body[at + 2] << 16) | (static_cast<std::uint32_t>(body[at + 3]) << 24);
    at += 4;
    const std::size_t startEdgesLen = startShape
                                          .EncodeShape(BitsUnsigned(static_cast<std::uint32_t>(fills.size())),
                                                       BitsUnsigned(static_cast<std::uint32_t>(lines.size())), true)
                                          .size();
    const std::size_t stylesLen = offset - startEdgesLen;
    const Bytes styles(body.begin() + static_cast<std::ptrdiff_t>(at),
                       body.begin() + static_cast<std::ptrdiff_t>(at + stylesLen));
    const Bytes edges(body.begin() + static_cast<std::ptrdiff_t>(at + stylesLen), body.end());
    // The fill styles are the same in both versions; the line styles follow them. Their byte
    // size: 12 bytes a line (two widths, two RGBA colours) and the count.
    const std::size_t lineCountBytes = lines.size() < 0xFF ? 1 : 3;
    const std::size_t fillBytes = styles.size() - lineCountBytes - 12 * lines.size();
    BitWriter w;
    w.Append(headBytes);
    WriteRect(w, startShape.EdgeBounds());
    WriteRect(w, endShape.EdgeBounds());
    w.U8(0x01);  // uses non-scaling strokes: no; scaling strokes: yes
    BitWriter st;
    st.Append(styles.data(), fillBytes + lineCountBytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::uint8_t* l = styles.data() + fillBytes + lineCountBytes + 12 * i;
        st.Append(l, 4);      // widths
        st.U8(0x00);          // round caps, round join, no fill, scaling both ways
        st.U8(0x00);          // no close flag off, round end cap
        st.Append(l + 4, 8);  // start and end colours
    }
    const Bytes styles2 = st.Take();
    w.U32(static_cast<std::uint32_t>(styles2.size() + startEdgesLen));
    w.Append(styles2);
    w.Append(edges);
    Raw(static_cast<std::uint16_t>(84), w.Take());
    return id;
}

}  // namespace lumarel::swfkit
