#include "engine/text/font.h"

#include <algorithm>

#include "engine/swf/bit_reader.h"
#include "engine/swf/records.h"

namespace lumarel::engine::text {

using swf::BitReader;

int Font::IndexOf(char32_t code) const {
    auto it = byCode_.find(code);
    return it == byCode_.end() ? -1 : it->second;
}

void Font::IndexCodes() {
    byCode_.clear();
    const size_t n = std::min(codes.size(), glyphs.size());
    for (size_t i = 0; i < n; ++i) byCode_.emplace(codes[i], static_cast<int>(i));  // first glyph of a code wins
}

namespace {

// A glyph outline: a bare SHAPE (NumFillBits, NumLineBits, records) with one fill style.
Glyph ParseGlyph(std::span<const uint8_t> data) {
    Glyph g;
    BitReader r(data);
    // No style arrays: any index names "the glyph's fill" (fonts have exactly one), lines none.
    swf::ShapeRecordReader records(r, SIZE_MAX, 0);
    bool first = true;
    auto grow = [&](double px) {
        if (first) {
            g.xmin = g.xmax = px;
            first = false;
        }
        g.xmin = std::min(g.xmin, px);
        g.xmax = std::max(g.xmax, px);
    };
    while (g.edges.size() < kMaxGlyphEdges) {
        raster::Edge e;
        // New style sets have no place in a glyph: they end it, as the end record does.
        if (records.Next(e) != swf::ShapeRecordReader::Record::Edge) break;
        e.fill0 = e.fill0 ? 1 : 0;
        e.fill1 = e.fill1 ? 1 : 0;
        if (e.fill0 != e.fill1) {
            grow(e.x0);
            grow(e.x1);
            g.edges.push_back(e);
        }
    }
    return g;
}

// Glyph i spans offsets[i]..offsets[i+1] (the last one up to `end`), relative to `base`.
void ParseGlyphs(std::span<const uint8_t> data, size_t base, const std::vector<uint32_t>& offsets, size_t end,
                 Font& out) {
    out.glyphs.resize(offsets.size());
    end = std::min(end, data.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t from = base + offsets[i];
        size_t to = i + 1 < offsets.size() ? base + offsets[i + 1] : end;
        to = std::min(to, end);
        if (from >= to) continue;  // out of range or empty: the glyph draws nothing
        out.glyphs[i] = ParseGlyph(data.subspan(from, to - from));
    }
}

std::string TrimName(std::span<const uint8_t> b) {
    std::string s(b.begin(), b.end());
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

}  // namespace

bool ParseDefineFont(std::span<const uint8_t> data, int version, Font& out, std::string& error) {
    BitReader r(data);
    out = Font{};
    out.id = r.U16();
    if (!r.Ok()) {
        error = "font: tag too short";
        return false;
    }
    if (version == 1) {
        const size_t base = r.Pos();
        const uint16_t first = r.U16();
        if (!r.Ok()) return true;  // a font without glyphs
        const size_t count = first / 2;
        std::vector<uint32_t> offsets{first};
        for (size_t i = 1; i < count && r.Ok(); ++i) offsets.push_back(r.U16());
        if (!r.Ok()) {
            error = "font " + std::to_string(out.id) + ": offset table truncated";
            offsets.resize(offsets.size() - 1);
        }
        ParseGlyphs(data, base, offsets, data.size(), out);
        out.IndexCodes();
        return true;
    }
    const uint8_t flags = r.U8();
    out.hasLayout = flags & 0x80;
    out.shiftJis = flags & 0x40;
    out.ansi = flags & 0x10;
    const bool wideOffsets = flags & 0x08;
    out.wideCodes = (flags & 0x04) || version == 3;
    out.italic = flags & 0x02;
    out.bold = flags & 0x01;
    out.emSize = version == 3 ? 20480 : 1024;
    (void)r.U8();  // language
    const uint8_t nameLen = r.U8();
    out.name = TrimName(r.Bytes(nameLen));
    const uint16_t count = r.U16();
    if (!r.Ok()) {
        error = "font " + std::to_string(out.id) + ": header truncated";
        return false;
    }
    const size_t base = r.Pos();
    std::vector<uint32_t> offsets;
    offsets.reserve(count);
    for (size_t i = 0; i < count && r.Ok(); ++i) offsets.push_back(wideOffsets ? r.U32() : r.U16());
    if (!r.Ok()) {
        error = "font " + std::to_string(out.id) + ": offset table truncated";
        out.IndexCodes();
        return true;  // a device font name at least
    }
    uint32_t codeOffset = 0;
    if (count > 0 || r.Remaining() >= (wideOffsets ? 4u : 2u)) codeOffset = wideOffsets ? r.U32() : r.U16();
    if (!r.Ok()) {
        error = "font " + std::to_string(out.id) + ": code table offset missing";
        return true;
    }
    const size_t codeStart = base + codeOffset;
    ParseGlyphs(data, base, offsets, codeStart, out);
    if (codeStart > data.size()) {
        error = "font " + std::to_string(out.id) + ": code table past the end";
        out.IndexCodes();
        return true;
    }
    BitReader c(data.subspan(codeStart));
    for (size_t i = 0; i < count && c.Ok(); ++i) {
        const uint16_t code = out.wideCodes ? c.U16() : c.U8();
        if (c.Ok()) out.codes.push_back(code);
    }
    if (out.hasLayout && c.Ok()) {
        out.ascent = c.U16();
        out.descent = c.U16();
        out.leading = c.S16();
        for (size_t i = 0; i < count && c.Ok(); ++i) {
            const int16_t adv = c.S16();
            if (c.Ok()) out.glyphs[i].advance = adv;
        }
        if (!c.Ok()) out.hasLayout = false;  // metrics cut short: lay out from outlines instead
        for (size_t i = 0; i < count && c.Ok(); ++i) (void)swf::ReadRect(c);  // glyph bounds: not needed
        const uint16_t pairs = c.U16();
        for (size_t i = 0; i < pairs && c.Ok(); ++i) {
            const uint32_t a = out.wideCodes ? c.U16() : c.U8();
            const uint32_t b = out.wideCodes ? c.U16() : c.U8();
            const int16_t adjust = c.S16();
            if (c.Ok()) out.kerning.emplace((a << 16) | b, adjust);
        }
    }
    out.IndexCodes();
    return true;
}

bool ParseDefineFontInfo(std::span<const uint8_t> data, int version, FontTable& fonts, std::string& error) {
    BitReader r(data);
    const uint16_t id = r.U16();
    const uint8_t nameLen = r.U8();
    const std::string name = TrimName(r.Bytes(nameLen));
    const uint8_t flags = r.U8();
    if (version == 2) (void)r.U8();  // language
    if (!r.Ok()) {
        error = "font info: tag too short";
        return false;
    }
    auto it = fonts.find(id);
    if (it == fonts.end()) {
        error = "font info for unknown font " + std::to_string(id);
        return false;
    }
    Font& f = it->second;
    f.name = name;
    f.shiftJis = flags & 0x10;
    f.ansi = flags & 0x08;
    f.italic = flags & 0x04;
    f.bold = flags & 0x02;
    f.wideCodes = (flags & 0x01) || version == 2;
    f.codes.clear();
    for (size_t i = 0; i < f.glyphs.size() && r.Ok() && !r.AtEnd(); ++i) {
        const uint16_t code = f.wideCodes ? r.U16() : r.U8();
        if (r.Ok()) f.codes.push_back(code);
    }
    f.IndexCodes();
    return true;
}

}  // namespace lumarel::engine::text
