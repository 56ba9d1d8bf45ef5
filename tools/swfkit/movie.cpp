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

bool AlwaysLongHeader(std::uint16_t code) {
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

Bytes EncodeTag(std::uint16_t code, const Bytes& body, TagHeader header) {
    BitWriter w;
    const bool longForm =
        header == TagHeader::Long || (header == TagHeader::Auto && (body.size() >= 0x3F || AlwaysLongHeader(code)));
    const auto c = static_cast<std::uint16_t>((code & 0x3FF) << 6);  // 10-bit code field
    if (longForm) {
        w.U16(static_cast<std::uint16_t>(c | 0x3F));
        w.U32(static_cast<std::uint32_t>(body.size()));
    } else {
        w.U16(static_cast<std::uint16_t>(c | (body.size() & 0x3F)));
    }
    w.Append(body);
    return w.Take();
}

// ---------------------------------------------------------------------------------------------

Place Place::Add(std::uint16_t depth, std::uint16_t character) {
    Place p;
    p.depth = depth;
    p.character = character;
    return p;
}

Place Place::Modify(std::uint16_t depth) {
    Place p;
    p.depth = depth;
    p.move = true;
    return p;
}

Place Place::Replace(std::uint16_t depth, std::uint16_t character) {
    Place p = Add(depth, character);
    p.move = true;
    return p;
}

Actions& Actions::Op(std::uint8_t code) {
    bytes_.push_back(code);
    return *this;
}

Actions& Actions::Op(std::uint8_t code, const Bytes& payload) {
    BitWriter w;
    w.U8(code);
    w.U16(static_cast<std::uint16_t>(payload.size()));
    w.Append(payload);
    const Bytes b = w.Take();
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

Actions& Actions::GotoFrame(std::uint16_t frame) {
    BitWriter w;
    w.U16(frame);
    return Op(0x81, w.Take());
}

Actions& Actions::GotoLabel(std::string_view label) {
    BitWriter w;
    w.Str(label);
    return Op(0x8C, w.Take());
}

Actions& Actions::SetTarget(std::string_view target) {
    BitWriter w;
    w.Str(target);
    return Op(0x8B, w.Take());
}

Actions& Actions::WaitForFrame(std::uint16_t frame, std::uint8_t skipCount) {
    BitWriter w;
    w.U16(frame);
    w.U8(skipCount);
    return Op(0x8A, w.Take());
}

Actions& Actions::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes Actions::Encode() const {
    Bytes b = bytes_;
    b.push_back(0);  // ActionEndFlag
    return b;
}

// ---------------------------------------------------------------------------------------------

Timeline& Timeline::Raw(std::uint16_t code, const Bytes& body, TagHeader header) {
    if (forceLong_ && header == TagHeader::Auto) header = TagHeader::Long;
    const Bytes t = EncodeTag(code, body, header);
    tags_.insert(tags_.end(), t.begin(), t.end());
    ++count_;
    if (code == tag::ShowFrame) ++frames_;
    return *this;
}

Timeline& Timeline::RawBytes(const Bytes& bytes) {
    tags_.insert(tags_.end(), bytes.begin(), bytes.end());
    return *this;
}

Timeline& Timeline::ShowFrame() { return Raw(tag::ShowFrame, {}); }

namespace {
// The fields PlaceObject2 and PlaceObject3 share, after the flag bytes and depth.
void WritePlaceFields(BitWriter& w, const Place& p) {
    if (p.character) w.U16(*p.character);
    if (p.matrix) WriteMatrix(w, *p.matrix);
    if (p.cxform) WriteCxformWithAlpha(w, *p.cxform);
    if (p.ratio) w.U16(*p.ratio);
    if (p.name) w.Str(*p.name);
    if (p.clipDepth) w.U16(*p.clipDepth);
}

std::uint8_t PlaceFlags(const Place& p) {
    return static_cast<std::uint8_t>((p.clipDepth ? 0x40 : 0) | (p.name ? 0x20 : 0) | (p.ratio ? 0x10 : 0) |
                                     (p.cxform ? 0x08 : 0) | (p.matrix ? 0x04 : 0) | (p.character ? 0x02 : 0) |
                                     (p.move ? 0x01 : 0));
}
}  // namespace

Timeline& Timeline::Place2(const Place& p) {
    BitWriter w;
    w.U8(PlaceFlags(p));
    w.U16(p.depth);
    WritePlaceFields(w, p);
    return Raw(tag::PlaceObject2, w.Take());
}

Timeline& Timeline::Place3(const Place& p) {
    BitWriter w;
    w.U8(PlaceFlags(p));
    w.U8(static_cast<std::uint8_t>((p.opaqueBackground ? 0x40 : 0) | (p.visible ? 0x20 : 0) | (p.hasImage ? 0x10 : 0) |
                                   (p.className ? 0x08 : 0) | (p.cacheAsBitmap ? 0x04 : 0) | (p.blendMode ? 0x02 : 0) |
                                   (p.filters ? 0x01 : 0)));
    w.U16(p.depth);
    if (p.className || (p.hasImage && p.character)) w.Str(p.className ? *p.className : "");
    WritePlaceFields(w, p);
    if (p.filters) w.Append(*p.filters);
    if (p.blendMode) w.U8(*p.blendMode);
    if (p.cacheAsBitmap) w.U8(*p.cacheAsBitmap);
    if (p.visible) w.U8(*p.visible);
    if (p.opaqueBackground) WriteRgba(w, *p.opaqueBackground);
    return Raw(tag::PlaceObject3, w.Take());
}

namespace {

void AppendTo(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// The flags byte the shadow and glow filters end with: inner, knockout, composite source, passes.
std::uint8_t EffectFlags(bool inner, bool knockout, int passes) {
    return static_cast<std::uint8_t>((inner ? 0x80 : 0) | (knockout ? 0x40 : 0) | 0x20 | (passes & 0x1F));
}

}  // namespace

FilterList& FilterList::DropShadow(Rgba color, double blurX, double blurY, double angle, double distance,
                                   double strength, int passes, bool inner, bool knockout) {
    BitWriter w;
    w.U8(0);
    WriteRgba(w, color);
    for (double v : {blurX, blurY, angle, distance}) w.Fixed16(v);
    w.Fixed8(strength);
    w.U8(EffectFlags(inner, knockout, passes));
    AppendTo(body_, w.Take());
    ++count_;
    return *this;
}

FilterList& FilterList::Blur(double blurX, double blurY, int passes) {
    BitWriter w;
    w.U8(1);
    w.Fixed16(blurX);
    w.Fixed16(blurY);
    w.U8(static_cast<std::uint8_t>((passes & 0x1F) << 3));
    AppendTo(body_, w.Take());
    ++count_;
    return *this;
}

FilterList& FilterList::Glow(Rgba color, double blurX, double blurY, double strength, int passes, bool inner,
                             bool knockout) {
    BitWriter w;
    w.U8(2);
    WriteRgba(w, color);
    w.Fixed16(blurX);
    w.Fixed16(blurY);
    w.Fixed8(strength);
    w.U8(EffectFlags(inner, knockout, passes));
    AppendTo(body_, w.Take());
    ++count_;
    return *this;
}

Bytes FilterList::Encode() const {
    Bytes out{static_cast<std::uint8_t>(count_)};
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
}

Timeline& Timeline::PlaceObject(std::uint16_t character, std::uint16_t depth, const Matrix& m,
                                const std::optional<ColorTransform>& cx) {
    BitWriter w;
    w.U16(character);
    w.U16(depth);
    WriteMatrix(w, m);
    if (cx) WriteCxform(w, *cx);
    return Raw(tag::PlaceObject, w.Take());
}

Timeline& Timeline::Remove(std::uint16_t depth) {
    BitWriter w;
    w.U16(depth);
    return Raw(tag::RemoveObject2, w.Take());
}

Timeline& Timeline::RemoveObject(std::uint16_t character, std::uint16_t depth) {
    BitWriter w;
    w.U16(character);
    w.U16(depth);
    return Raw(tag::RemoveObject, w.Take());
}

Timeline& Timeline::Label(std::string_view name, bool namedAnchor) {
    BitWriter w;
    w.Str(name);
    if (namedAnchor) w.U8(1);
    return Raw(tag::FrameLabel, w.Take());
}

Timeline& Timeline::DoAction(const Actions& a) { return Raw(tag::DoAction, a.Encode()); }

Bytes Sprite::Encode(std::uint16_t id) const {
    BitWriter w;
    w.U16(id);
    w.U16(static_cast<std::uint16_t>(frames_));
    w.Append(tags_);
    w.U16(0);  // End
    return w.Take();
}

// ---------------------------------------------------------------------------------------------

Movie::Movie(Rect stage, double frameRate, std::uint8_t version)
    : stage_(stage),
      rate88_(static_cast<std::uint16_t>(std::clamp(std::lround(frameRate * 256.0), 0L, 65535L))),
      version_(version) {}

Movie& Movie::Background(Rgba c) {
    BitWriter w;
    WriteRgb(w, c);
    Raw(tag::SetBackgroundColor, w.Take());
    return *this;
}

namespace {
Bytes ShapeBody(std::uint16_t id, const ShapeBuilder& s, int version) {
    BitWriter w;
    w.U16(id);
    WriteRect(w, s.Bounds());
    if (version >= 4) {
        WriteRect(w, s.EdgeBounds());
        bool scaling = false, nonScaling = false;
        for (const auto& set : s.StyleSets())
            for (const auto& l : set.lines) (l.noHScale || l.noVScale ? nonScaling : scaling) = true;
        w.Ub(0, 5);
        w.Ub(s.NonZeroWinding(), 1);  // fill rule: 0 even-odd, 1 non-zero
        w.Ub(nonScaling, 1);
        w.Ub(scaling, 1);
    }
    w.Append(s.EncodeWithStyle(version));
    return w.Take();
}

std::uint16_t ShapeCode(int version) {
    switch (version) {
        case 1:
            return tag::DefineShape;
        case 2:
            return tag::DefineShape2;
        case 3:
            return tag::DefineShape3;
        default:
            return tag::DefineShape4;
    }
}

Bytes ZlibCompress(const Bytes& in) {
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    Bytes out(n);
    if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK) return {};
    out.resize(n);
    return out;
}

std::uint8_t Premultiply(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 127) / 255);
}
}  // namespace

void Movie::DefineShapeAs(std::uint16_t id, const ShapeBuilder& s, int version) {
    version = std::clamp(version, 1, 4);
    Raw(ShapeCode(version), ShapeBody(id, s, version));
}

std::uint16_t Movie::DefineShape(const ShapeBuilder& s, int version) {
    const std::uint16_t id = NextId();
    DefineShapeAs(id, s, version);
    return id;
}

std::uint16_t Movie::DefineSprite(const Sprite& s) {
    const std::uint16_t id = NextId();
    DefineSpriteAs(id, s);
    return id;
}

void Movie::DefineSpriteAs(std::uint16_t id, const Sprite& s) { Raw(tag::DefineSprite, s.Encode(id)); }

std::uint16_t Movie::DefineBitsLossless(const Bitmap& bmp, bool alpha, bool palette) {
    const std::uint16_t id = NextId();
    const std::size_t count =
        static_cast<std::size_t>(std::max(bmp.width, 0)) * static_cast<std::size_t>(std::max(bmp.height, 0));
    BitWriter w;
    w.U16(id);
    auto colourOf = [alpha](std::uint32_t argb) {
        const std::uint32_t a = alpha ? argb >> 24 : 255;
        Rgba c{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
               static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(a)};
        if (alpha) {  // Lossless2 stores premultiplied colours
            c.r = Premultiply(c.r, a);
            c.g = Premultiply(c.g, a);
            c.b = Premultiply(c.b, a);
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
            if (alpha)
                WriteRgba(data, c);
            else
                WriteRgb(data, c);
        }
        const int stride = (bmp.width + 3) & ~3;  // rows padded to 32 bits
        for (int y = 0; y < bmp.height; ++y)
            for (int x = 0; x < stride; ++x) {
                if (x >= bmp.width) {
                    data.U8(0);
                    continue;
                }
                const std::uint32_t v = bmp.argb[static_cast<std::size_t>(y) * bmp.width + x];
                data.U8(table[alpha ? v : (v | 0xFF000000u)]);
            }
        w.U8(3);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const Rgba c = colourOf(bmp.argb[i]);
            data.U8(alpha ? c.a : 0);  // PIX24 has a zero reserved byte where ARGB has alpha
            data.U8(c.r);
            data.U8(c.g);
            data.U8(c.b);
        }
        w.U8(5);
    }
    w.U16(static_cast<std::uint16_t>(bmp.width));
    w.U16(static_cast<std::uint16_t>(bmp.height));
    if (palette) w.U8(static_cast<std::uint8_t>(table.size() - 1));
    w.Append(ZlibCompress(data.Take()));
    Raw(alpha ? tag::DefineBitsLossless2 : tag::DefineBitsLossless, w.Take());
    return id;
}

std::uint16_t Movie::DefineMorphShape(const ShapeBuilder& startShape, const ShapeBuilder& endShape,
                                      const std::vector<MorphFill>& fills, const std::vector<MorphLine>& lines) {
    const std::uint16_t id = NextId();
    BitWriter w;
    w.U16(id);
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
    WriteRect(w, grown(startShape.EdgeBounds(), startWidth));
    WriteRect(w, grown(endShape.EdgeBounds(), endWidth));

    BitWriter styles;
    auto count = [&styles](std::size_t n) {
        if (n < 0xFF) {
            styles.U8(static_cast<std::uint8_t>(n));
        } else {
            styles.U8(0xFF);
            styles.U16(static_cast<std::uint16_t>(n));
        }
    };
    count(fills.size());
    for (const MorphFill& f : fills) {
        styles.U8(static_cast<std::uint8_t>(f.start.type));
        switch (f.start.type) {
            case FillStyle::Type::Solid:
                WriteRgba(styles, f.start.color);
                WriteRgba(styles, f.end.color);
                break;
            case FillStyle::Type::Linear:
            case FillStyle::Type::Radial:
            case FillStyle::Type::Focal: {
                WriteMatrix(styles, f.start.matrix);
                WriteMatrix(styles, f.end.matrix);
                const std::size_t n =
                    std::min({f.start.gradient.stops.size(), f.end.gradient.stops.size(), std::size_t{15}});
                styles.U8(static_cast<std::uint8_t>(n));
                for (std::size_t i = 0; i < n; ++i) {
                    styles.U8(f.start.gradient.stops[i].ratio);
                    WriteRgba(styles, f.start.gradient.stops[i].color);
                    styles.U8(f.end.gradient.stops[i].ratio);
                    WriteRgba(styles, f.end.gradient.stops[i].color);
                }
                if (f.start.type == FillStyle::Type::Focal) {
                    styles.Fixed8(f.start.gradient.focalPoint);
                    styles.Fixed8(f.end.gradient.focalPoint);
                }
                break;
            }
            default:
                styles.U16(f.start.bitmapId);
                WriteMatrix(styles, f.start.matrix);
                WriteMatrix(styles, f.end.matrix);
                break;
        }
    }
    count(lines.size());
    for (const MorphLine& l : lines) {
        styles.U16(l.startWidth);
        styles.U16(l.endWidth);
        WriteRgba(styles, l.startColor);
        WriteRgba(styles, l.endColor);
    }
    const Bytes startEdges = startShape.EncodeShape(BitsUnsigned(static_cast<std::uint32_t>(fills.size())),
                                                    BitsUnsigned(static_cast<std::uint32_t>(lines.size())), true);
    const Bytes styleBytes = styles.Take();
    // Offset counts from the end of the Offset field to the start of EndEdges.
    w.U32(static_cast<std::uint32_t>(styleBytes.size() + startEdges.size()));
    w.Append(styleBytes);
    w.Append(startEdges);
    w.Append(endShape.EncodeShape(0, 0, false));
    Raw(tag::DefineMorphShape, w.Take());
    return id;
}

Bytes Movie::Build(const BuildOptions& o) const {
    BitWriter body;
    if (o.stageBits)
        WriteRect(body, stage_, *o.stageBits);
    else
        WriteRect(body, stage_);
    body.U16(rate88_);
    body.U16(o.frameCount ? *o.frameCount : static_cast<std::uint16_t>(frames_));
    body.Append(tags_);
    if (o.appendEnd) body.U16(0);
    Bytes payload = body.Take();
    const auto length = o.fileLength ? *o.fileLength : static_cast<std::uint32_t>(payload.size() + 8);

    BitWriter out;
    const char* sig = "FWS";
    Bytes packed;
    if (o.compression == Compression::Zlib) {
        sig = "CWS";
        packed = ZlibCompress(payload);
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
    out.Append(reinterpret_cast<const std::uint8_t*>(sig), 3);
    out.U8(version_);
    out.U32(length);
    if (o.compression == Compression::None) {
        out.Append(payload);
    } else if (o.compression == Compression::Zlib) {
        out.Append(packed);
    } else {
#if defined(LUMAREL_SWFKIT_LZMA)
        out.U32(static_cast<std::uint32_t>(packed.size()));
        out.Append(lzmaProps);
        out.Append(packed);
#endif
    }
    return out.Take();
}

bool Movie::Save(const std::string& path, const BuildOptions& options) const {
    const Bytes b = Build(options);
    if (b.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

bool LzmaAvailable() {
#if defined(LUMAREL_SWFKIT_LZMA)
    return true;
#else
    return false;
#endif
}

Bytes DecompressMovie(const Bytes& file) {
    if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
    const std::uint32_t length = static_cast<std::uint32_t>(file[4]) | (file[5] << 8) | (file[6] << 16) |
                                 (static_cast<std::uint32_t>(file[7]) << 24);
    if (length < 8 || length > (1u << 28)) return {};
    Bytes out(file.begin(), file.begin() + 8);
    out[0] = 'F';
    if (file[0] == 'F') return file;
    out.resize(length);
    if (file[0] == 'C') {
        uLongf n = length - 8;
        if (uncompress(out.data() + 8, &n, file.data() + 8, static_cast<uLong>(file.size() - 8)) != Z_OK ||
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
