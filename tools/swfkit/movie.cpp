// Tags, timelines, define tags and the file writer (FWS, CWS with zlib, ZWS with LZMA).
#include "tools/swfkit/swfkit.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#if defined(LUMAREL_SWFKIT_LZMA)
#include <lzma.h>
#endif

namespace lumarel::swfkit {

bool alwaysLongHeader(std::uint16_t code) {
    switch (code) {
        case tag::DefineBits:
        case tag::DefineBitsLossless:
        case tag::DefineBitsJPEG2:
        case tag::DefineBitsJPEG3:
        case tag::DefineBitsLossless2:
        case tag::DefineBitsJPEG4:
            return true;
        default:
            return false;
    }
}

Bytes encodeTag(std::uint16_t code, const Bytes& body, TagHeader header) {
    BitWriter w;
    const bool longForm = header == TagHeader::Long ||
                          (header == TagHeader::Auto && (body.size() >= 0x3F || alwaysLongHeader(code)));
    const auto c = static_cast<std::uint16_t>((code & 0x3FF) << 6);  // 10-bit code field
    if (longForm) {
        w.u16(static_cast<std::uint16_t>(c | 0x3F));
        w.u32(static_cast<std::uint32_t>(body.size()));
    } else {
        w.u16(static_cast<std::uint16_t>(c | (body.size() & 0x3F)));
    }
    w.bytes(body);
    return w.take();
}

// ---------------------------------------------------------------------------------------------

Place Place::add(std::uint16_t depth, std::uint16_t character) {
    Place p;
    p.depth = depth;
    p.character = character;
    return p;
}

Place Place::modify(std::uint16_t depth) {
    Place p;
    p.depth = depth;
    p.move = true;
    return p;
}

Place Place::replace(std::uint16_t depth, std::uint16_t character) {
    Place p = add(depth, character);
    p.move = true;
    return p;
}

Actions& Actions::op(std::uint8_t code) {
    bytes_.push_back(code);
    return *this;
}

Actions& Actions::op(std::uint8_t code, const Bytes& payload) {
    BitWriter w;
    w.u8(code);
    w.u16(static_cast<std::uint16_t>(payload.size()));
    w.bytes(payload);
    const Bytes b = w.take();
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

Actions& Actions::gotoFrame(std::uint16_t frame) {
    BitWriter w;
    w.u16(frame);
    return op(0x81, w.take());
}

Actions& Actions::gotoLabel(std::string_view label) {
    BitWriter w;
    w.str(label);
    return op(0x8C, w.take());
}

Actions& Actions::setTarget(std::string_view target) {
    BitWriter w;
    w.str(target);
    return op(0x8B, w.take());
}

Actions& Actions::waitForFrame(std::uint16_t frame, std::uint8_t skipCount) {
    BitWriter w;
    w.u16(frame);
    w.u8(skipCount);
    return op(0x8A, w.take());
}

Actions& Actions::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes Actions::encode() const {
    Bytes b = bytes_;
    b.push_back(0);  // ActionEndFlag
    return b;
}

// ---------------------------------------------------------------------------------------------

Timeline& Timeline::raw(std::uint16_t code, const Bytes& body, TagHeader header) {
    if (forceLong_ && header == TagHeader::Auto) header = TagHeader::Long;
    const Bytes t = encodeTag(code, body, header);
    tags_.insert(tags_.end(), t.begin(), t.end());
    ++count_;
    if (code == tag::ShowFrame) ++frames_;
    return *this;
}

Timeline& Timeline::rawBytes(const Bytes& bytes) {
    tags_.insert(tags_.end(), bytes.begin(), bytes.end());
    return *this;
}

Timeline& Timeline::showFrame() { return raw(tag::ShowFrame, {}); }

namespace {
// The fields PlaceObject2 and PlaceObject3 share, after the flag bytes and depth.
void writePlaceFields(BitWriter& w, const Place& p) {
    if (p.character) w.u16(*p.character);
    if (p.matrix) writeMatrix(w, *p.matrix);
    if (p.cxform) writeCxformWithAlpha(w, *p.cxform);
    if (p.ratio) w.u16(*p.ratio);
    if (p.name) w.str(*p.name);
    if (p.clipDepth) w.u16(*p.clipDepth);
}

std::uint8_t placeFlags(const Place& p) {
    return static_cast<std::uint8_t>((p.clipDepth ? 0x40 : 0) | (p.name ? 0x20 : 0) |
                                     (p.ratio ? 0x10 : 0) | (p.cxform ? 0x08 : 0) |
                                     (p.matrix ? 0x04 : 0) | (p.character ? 0x02 : 0) |
                                     (p.move ? 0x01 : 0));
}
}  // namespace

Timeline& Timeline::place(const Place& p) {
    BitWriter w;
    w.u8(placeFlags(p));
    w.u16(p.depth);
    writePlaceFields(w, p);
    return raw(tag::PlaceObject2, w.take());
}

Timeline& Timeline::place3(const Place& p) {
    BitWriter w;
    w.u8(placeFlags(p));
    w.u8(static_cast<std::uint8_t>((p.opaqueBackground ? 0x40 : 0) | (p.visible ? 0x20 : 0) |
                                   (p.hasImage ? 0x10 : 0) | (p.className ? 0x08 : 0) |
                                   (p.cacheAsBitmap ? 0x04 : 0) | (p.blendMode ? 0x02 : 0)));
    w.u16(p.depth);
    if (p.className || (p.hasImage && p.character)) w.str(p.className ? *p.className : "");
    writePlaceFields(w, p);
    if (p.blendMode) w.u8(*p.blendMode);
    if (p.cacheAsBitmap) w.u8(*p.cacheAsBitmap);
    if (p.visible) w.u8(*p.visible);
    if (p.opaqueBackground) writeRgba(w, *p.opaqueBackground);
    return raw(tag::PlaceObject3, w.take());
}

Timeline& Timeline::placeObject(std::uint16_t character, std::uint16_t depth, const Matrix& m,
                                const std::optional<ColorTransform>& cx) {
    BitWriter w;
    w.u16(character);
    w.u16(depth);
    writeMatrix(w, m);
    if (cx) writeCxform(w, *cx);
    return raw(tag::PlaceObject, w.take());
}

Timeline& Timeline::remove(std::uint16_t depth) {
    BitWriter w;
    w.u16(depth);
    return raw(tag::RemoveObject2, w.take());
}

Timeline& Timeline::removeObject(std::uint16_t character, std::uint16_t depth) {
    BitWriter w;
    w.u16(character);
    w.u16(depth);
    return raw(tag::RemoveObject, w.take());
}

Timeline& Timeline::label(std::string_view name, bool namedAnchor) {
    BitWriter w;
    w.str(name);
    if (namedAnchor) w.u8(1);
    return raw(tag::FrameLabel, w.take());
}

Timeline& Timeline::doAction(const Actions& a) { return raw(tag::DoAction, a.encode()); }

Bytes Sprite::encode(std::uint16_t id) const {
    BitWriter w;
    w.u16(id);
    w.u16(static_cast<std::uint16_t>(frames_));
    w.bytes(tags_);
    w.u16(0);  // End
    return w.take();
}

// ---------------------------------------------------------------------------------------------

Movie::Movie(Rect stage, double frameRate, std::uint8_t version)
    : stage_(stage),
      rate88_(static_cast<std::uint16_t>(std::clamp(std::lround(frameRate * 256.0), 0L, 65535L))),
      version_(version) {}

Movie& Movie::background(Rgba c) {
    BitWriter w;
    writeRgb(w, c);
    raw(tag::SetBackgroundColor, w.take());
    return *this;
}

namespace {
Bytes shapeBody(std::uint16_t id, const ShapeBuilder& s, int version) {
    BitWriter w;
    w.u16(id);
    writeRect(w, s.bounds());
    if (version >= 4) {
        writeRect(w, s.edgeBounds());
        bool scaling = false, nonScaling = false;
        for (const auto& set : s.styleSets())
            for (const auto& l : set.lines) (l.noHScale || l.noVScale ? nonScaling : scaling) = true;
        w.ub(0, 5);
        w.ub(s.nonZeroWinding(), 1);  // fill rule: 0 even-odd, 1 non-zero
        w.ub(nonScaling, 1);
        w.ub(scaling, 1);
    }
    w.bytes(s.encodeWithStyle(version));
    return w.take();
}

std::uint16_t shapeCode(int version) {
    switch (version) {
        case 1: return tag::DefineShape;
        case 2: return tag::DefineShape2;
        case 3: return tag::DefineShape3;
        default: return tag::DefineShape4;
    }
}

Bytes zlibCompress(const Bytes& in) {
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    Bytes out(n);
    if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK) return {};
    out.resize(n);
    return out;
}

std::uint8_t premultiply(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 127) / 255);
}
}  // namespace

void Movie::defineShapeAs(std::uint16_t id, const ShapeBuilder& s, int version) {
    version = std::clamp(version, 1, 4);
    raw(shapeCode(version), shapeBody(id, s, version));
}

std::uint16_t Movie::defineShape(const ShapeBuilder& s, int version) {
    const std::uint16_t id = nextId();
    defineShapeAs(id, s, version);
    return id;
}

std::uint16_t Movie::defineSprite(const Sprite& s) {
    const std::uint16_t id = nextId();
    defineSpriteAs(id, s);
    return id;
}

void Movie::defineSpriteAs(std::uint16_t id, const Sprite& s) { raw(tag::DefineSprite, s.encode(id)); }

std::uint16_t Movie::defineBitsLossless(const Bitmap& bmp, bool alpha, bool palette) {
    const std::uint16_t id = nextId();
    const std::size_t count = static_cast<std::size_t>(std::max(bmp.width, 0)) *
                              static_cast<std::size_t>(std::max(bmp.height, 0));
    BitWriter w;
    w.u16(id);
    auto colourOf = [alpha](std::uint32_t argb) {
        const std::uint32_t a = alpha ? argb >> 24 : 255;
        Rgba c{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
               static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(a)};
        if (alpha) {  // Lossless2 stores premultiplied colours
            c.r = premultiply(c.r, a);
            c.g = premultiply(c.g, a);
            c.b = premultiply(c.b, a);
        }
        return c;
    };
    std::map<std::uint32_t, std::uint8_t> table;
    if (palette) {
        for (std::size_t i = 0; i < count && table.size() <= 256; ++i) {
            const std::uint32_t v = alpha ? bmp.argb[i] : (bmp.argb[i] | 0xFF000000u);
            table.emplace(v, 0);
        }
        if (table.size() > 256 || table.empty()) palette = false;
    }
    BitWriter data;
    if (palette) {
        std::vector<std::uint32_t> order;
        for (auto& [v, index] : table) {
            index = static_cast<std::uint8_t>(order.size());
            order.push_back(v);
        }
        for (std::uint32_t v : order) {
            const Rgba c = colourOf(v);
            if (alpha) writeRgba(data, c); else writeRgb(data, c);
        }
        const int stride = (bmp.width + 3) & ~3;  // rows padded to 32 bits
        for (int y = 0; y < bmp.height; ++y)
            for (int x = 0; x < stride; ++x) {
                if (x >= bmp.width) { data.u8(0); continue; }
                const std::uint32_t v = bmp.argb[static_cast<std::size_t>(y) * bmp.width + x];
                data.u8(table[alpha ? v : (v | 0xFF000000u)]);
            }
        w.u8(3);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const Rgba c = colourOf(bmp.argb[i]);
            data.u8(alpha ? c.a : 0);  // PIX24 has a zero reserved byte where ARGB has alpha
            data.u8(c.r);
            data.u8(c.g);
            data.u8(c.b);
        }
        w.u8(5);
    }
    w.u16(static_cast<std::uint16_t>(bmp.width));
    w.u16(static_cast<std::uint16_t>(bmp.height));
    if (palette) w.u8(static_cast<std::uint8_t>(table.size() - 1));
    w.bytes(zlibCompress(data.take()));
    raw(alpha ? tag::DefineBitsLossless2 : tag::DefineBitsLossless, w.take());
    return id;
}

std::uint16_t Movie::defineMorphShape(const ShapeBuilder& startShape, const ShapeBuilder& endShape,
                                      const std::vector<MorphFill>& fills,
                                      const std::vector<MorphLine>& lines) {
    const std::uint16_t id = nextId();
    BitWriter w;
    w.u16(id);
    // Bounds: the edges grown by half the widest stroke at each end of the morph.
    std::uint16_t startWidth = 0, endWidth = 0;
    for (const MorphLine& l : lines) {
        startWidth = std::max(startWidth, l.startWidth);
        endWidth = std::max(endWidth, l.endWidth);
    }
    auto grown = [](Rect r, std::uint16_t width) {
        const std::int32_t h = (width + 1) / 2;
        return Rect{r.xmin - h, r.xmax + h, r.ymin - h, r.ymax + h};
    };
    writeRect(w, grown(startShape.edgeBounds(), startWidth));
    writeRect(w, grown(endShape.edgeBounds(), endWidth));

    BitWriter styles;
    auto count = [&styles](std::size_t n) {
        if (n < 0xFF) {
            styles.u8(static_cast<std::uint8_t>(n));
        } else {
            styles.u8(0xFF);
            styles.u16(static_cast<std::uint16_t>(n));
        }
    };
    count(fills.size());
    for (const MorphFill& f : fills) {
        styles.u8(static_cast<std::uint8_t>(f.start.type));
        switch (f.start.type) {
            case FillStyle::Type::Solid:
                writeRgba(styles, f.start.color);
                writeRgba(styles, f.end.color);
                break;
            case FillStyle::Type::Linear:
            case FillStyle::Type::Radial:
            case FillStyle::Type::Focal: {
                writeMatrix(styles, f.start.matrix);
                writeMatrix(styles, f.end.matrix);
                const std::size_t n = std::min({f.start.gradient.stops.size(),
                                                f.end.gradient.stops.size(), std::size_t{15}});
                styles.u8(static_cast<std::uint8_t>(n));
                for (std::size_t i = 0; i < n; ++i) {
                    styles.u8(f.start.gradient.stops[i].ratio);
                    writeRgba(styles, f.start.gradient.stops[i].color);
                    styles.u8(f.end.gradient.stops[i].ratio);
                    writeRgba(styles, f.end.gradient.stops[i].color);
                }
                if (f.start.type == FillStyle::Type::Focal) {
                    styles.fixed8(f.start.gradient.focalPoint);
                    styles.fixed8(f.end.gradient.focalPoint);
                }
                break;
            }
            default:
                styles.u16(f.start.bitmapId);
                writeMatrix(styles, f.start.matrix);
                writeMatrix(styles, f.end.matrix);
                break;
        }
    }
    count(lines.size());
    for (const MorphLine& l : lines) {
        styles.u16(l.startWidth);
        styles.u16(l.endWidth);
        writeRgba(styles, l.startColor);
        writeRgba(styles, l.endColor);
    }
    const Bytes startEdges =
        startShape.encodeShape(bitsUnsigned(static_cast<std::uint32_t>(fills.size())),
                               bitsUnsigned(static_cast<std::uint32_t>(lines.size())), true);
    const Bytes styleBytes = styles.take();
    // Offset counts from the end of the Offset field to the start of EndEdges.
    w.u32(static_cast<std::uint32_t>(styleBytes.size() + startEdges.size()));
    w.bytes(styleBytes);
    w.bytes(startEdges);
    w.bytes(endShape.encodeShape(0, 0, false));
    raw(tag::DefineMorphShape, w.take());
    return id;
}

Bytes Movie::build(const BuildOptions& o) const {
    BitWriter body;
    writeRect(body, stage_);
    body.u16(rate88_);
    body.u16(o.frameCount ? *o.frameCount : static_cast<std::uint16_t>(frames_));
    body.bytes(tags_);
    if (o.appendEnd) body.u16(0);
    Bytes payload = body.take();
    const auto length = o.fileLength ? *o.fileLength : static_cast<std::uint32_t>(payload.size() + 8);

    BitWriter out;
    const char* sig = "FWS";
    Bytes packed;
    if (o.compression == Compression::Zlib) {
        sig = "CWS";
        packed = zlibCompress(payload);
    }
#if defined(LUMAREL_SWFKIT_LZMA)
    Bytes lzmaProps;
    if (o.compression == Compression::Lzma) {
        // The .lzma ("alone") stream is 5 property bytes, an 8-byte size, then the data;
        // ZWS keeps the properties and the data and stores the data's size itself.
        lzma_options_lzma opt;
        lzma_lzma_preset(&opt, 9);
        lzma_stream s = LZMA_STREAM_INIT;
        if (lzma_alone_encoder(&s, &opt) != LZMA_OK) return {};
        Bytes alone(payload.size() + payload.size() / 2 + 1024);
        s.next_in = payload.data();
        s.avail_in = payload.size();
        s.next_out = alone.data();
        s.avail_out = alone.size();
        const lzma_ret r = lzma_code(&s, LZMA_FINISH);
        const std::size_t produced = alone.size() - s.avail_out;
        lzma_end(&s);
        if (r != LZMA_STREAM_END || produced < 13) return {};
        sig = "ZWS";
        lzmaProps.assign(alone.begin(), alone.begin() + 5);
        packed.assign(alone.begin() + 13, alone.begin() + static_cast<std::ptrdiff_t>(produced));
    }
#else
    if (o.compression == Compression::Lzma) return {};
#endif
    out.bytes(reinterpret_cast<const std::uint8_t*>(sig), 3);
    out.u8(version_);
    out.u32(length);
    if (o.compression == Compression::None) {
        out.bytes(payload);
    } else if (o.compression == Compression::Zlib) {
        out.bytes(packed);
    } else {
#if defined(LUMAREL_SWFKIT_LZMA)
        out.u32(static_cast<std::uint32_t>(packed.size()));
        out.bytes(lzmaProps);
        out.bytes(packed);
#endif
    }
    return out.take();
}

bool Movie::save(const std::string& path, const BuildOptions& options) const {
    const Bytes b = build(options);
    if (b.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

bool lzmaAvailable() {
#if defined(LUMAREL_SWFKIT_LZMA)
    return true;
#else
    return false;
#endif
}

Bytes decompressMovie(const Bytes& file) {
    if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
    const std::uint32_t length = static_cast<std::uint32_t>(file[4]) | (file[5] << 8) |
                                 (file[6] << 16) | (static_cast<std::uint32_t>(file[7]) << 24);
    if (length < 8 || length > (1u << 28)) return {};
    Bytes out(file.begin(), file.begin() + 8);
    out[0] = 'F';
    if (file[0] == 'F') return file;
    out.resize(length);
    if (file[0] == 'C') {
        uLongf n = length - 8;
        if (uncompress(out.data() + 8, &n, file.data() + 8, static_cast<uLong>(file.size() - 8)) !=
                Z_OK ||
            n != length - 8)
            return {};
        return out;
    }
#if defined(LUMAREL_SWFKIT_LZMA)
    if (file[0] == 'Z' && file.size() >= 17) {
        // Rebuild the .lzma header: properties plus the known uncompressed size.
        Bytes alone(file.begin() + 12, file.begin() + 17);
        const std::uint64_t size = length - 8;
        for (int i = 0; i < 8; ++i) alone.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
        alone.insert(alone.end(), file.begin() + 17, file.end());
        lzma_stream s = LZMA_STREAM_INIT;
        if (lzma_alone_decoder(&s, UINT64_MAX) != LZMA_OK) return {};
        s.next_in = alone.data();
        s.avail_in = alone.size();
        s.next_out = out.data() + 8;
        s.avail_out = length - 8;
        const lzma_ret r = lzma_code(&s, LZMA_FINISH);
        const bool ok = (r == LZMA_STREAM_END || r == LZMA_OK) && s.avail_out == 0;
        lzma_end(&s);
        return ok ? out : Bytes{};
    }
#endif
    return {};
}

}  // namespace lumarel::swfkit
