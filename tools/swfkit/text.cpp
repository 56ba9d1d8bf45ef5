// Font, text and button tag encoders.
#include <algorithm>
#include <cmath>

#include "tools/swfkit/swfkit.h"

namespace lumarel::swfkit {

int Font::indexOf(char32_t code) const {
    for (std::size_t i = 0; i < glyphs.size(); ++i)
        if (glyphs[i].code == code) return static_cast<int>(i);
    return -1;
}

namespace {

struct BlockGlyph {
    char code;
    const char* rows[7];
};

const BlockGlyph kBlocks[] = {
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
    {'C', {" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {'G', {" ####", "#    ", "#    ", "# ###", "#   #", "#   #", " ### "}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "#####"}},
    {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'N', {"#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
    {'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
    {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"}},
    {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
    {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {'!', {"  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "     ", "  #  "}},
    {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
    {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
};

void writeGlyphs(BitWriter& w, const std::vector<Bytes>& shapes, std::size_t start) {
    (void)start;
    for (const Bytes& b : shapes) w.bytes(b);
}

std::vector<Bytes> glyphShapes(const Font& f) {
    std::vector<Bytes> out;
    for (const FontGlyph& g : f.glyphs) out.push_back(g.shape.encodeShape(1, 0, true));
    return out;
}

Rect glyphBounds(const FontGlyph& g) {
    if (g.shape.empty()) return Rect{};
    return g.shape.bounds();
}

}  // namespace

Font blockFont(const std::string& name, int em) {
    Font f;
    f.name = name;
    const double cell = em / 10.0;
    f.ascent = static_cast<std::int16_t>(std::lround(em * 0.8));
    f.descent = static_cast<std::int16_t>(std::lround(em * 0.2));
    f.leading = 0;
    auto c = [&](double v) { return static_cast<std::int32_t>(std::lround(v * cell)); };
    for (const BlockGlyph& b : kBlocks) {
        FontGlyph g;
        g.code = static_cast<unsigned char>(b.code);
        g.advance = static_cast<std::int16_t>(c(6));
        for (int row = 0; row < 7; ++row) {
            const char* r = b.rows[row];
            for (int col = 0; col < 5;) {
                if (r[col] != '#') {
                    ++col;
                    continue;
                }
                int end = col;
                while (end < 5 && r[end] == '#') ++end;
                g.shape.style(1).rect(c(col), c(row - 7), c(end) - c(col), c(row - 6) - c(row - 7));
                col = end;
            }
        }
        f.glyphs.push_back(std::move(g));
    }
    FontGlyph o;  // a ring drawn with curves
    o.code = 'o';
    o.advance = static_cast<std::int16_t>(c(6));
    o.shape.fill1(1).fill0(0).ellipse(c(2.5), c(-2.5), c(2.5), c(2.5));
    o.shape.fill0(1).fill1(0).ellipse(c(2.5), c(-2.5), c(1.4), c(1.4));
    f.glyphs.push_back(std::move(o));
    return f;
}

Bytes encodeDefineFont(std::uint16_t id, const Font& f) {
    BitWriter w;
    w.u16(id);
    const std::vector<Bytes> shapes = glyphShapes(f);
    std::size_t offset = shapes.size() * 2;
    for (const Bytes& b : shapes) {
        w.u16(static_cast<std::uint16_t>(offset));
        offset += b.size();
    }
    writeGlyphs(w, shapes, 0);
    return w.take();
}

Bytes encodeDefineFont2(std::uint16_t id, const Font& f, int version) {
    const std::vector<Bytes> shapes = glyphShapes(f);
    std::size_t shapeBytes = 0;
    for (const Bytes& b : shapes) shapeBytes += b.size();
    const std::size_t n = shapes.size();
    const bool wide = f.wideOffsets ? *f.wideOffsets : (n + 1) * 2 + shapeBytes > 0xFFFF;
    const bool wideCodes = version == 3 || f.wideCodes;
    BitWriter w;
    w.u16(id);
    std::uint8_t flags = 0;
    if (f.layout) flags |= 0x80;
    if (f.shiftJis) flags |= 0x40;
    if (f.smallText) flags |= 0x20;
    if (f.ansi) flags |= 0x10;
    if (wide) flags |= 0x08;
    if (wideCodes) flags |= 0x04;
    if (f.italic) flags |= 0x02;
    if (f.bold) flags |= 0x01;
    w.u8(flags);
    w.u8(f.language);
    w.u8(static_cast<std::uint8_t>(std::min<std::size_t>(f.name.size(), 255)));
    w.bytes(reinterpret_cast<const std::uint8_t*>(f.name.data()), std::min<std::size_t>(f.name.size(), 255));
    w.u16(static_cast<std::uint16_t>(n));
    const std::size_t entry = wide ? 4 : 2;
    std::size_t offset = (n + 1) * entry;
    auto put = [&](std::size_t v) {
        if (wide)
            w.u32(static_cast<std::uint32_t>(v));
        else
            w.u16(static_cast<std::uint16_t>(v));
    };
    for (const Bytes& b : shapes) {
        put(offset);
        offset += b.size();
    }
    put(offset);  // code table offset
    writeGlyphs(w, shapes, 0);
    for (const FontGlyph& g : f.glyphs) {
        if (wideCodes)
            w.u16(g.code);
        else
            w.u8(static_cast<std::uint8_t>(g.code));
    }
    if (f.layout) {
        w.u16(static_cast<std::uint16_t>(f.ascent));
        w.u16(static_cast<std::uint16_t>(f.descent));
        w.s16(f.leading);
        for (const FontGlyph& g : f.glyphs) w.s16(g.advance);
        for (const FontGlyph& g : f.glyphs) writeRect(w, glyphBounds(g));
        w.u16(static_cast<std::uint16_t>(f.kerning.size()));
        for (const Font::KerningPair& k : f.kerning) {
            if (wideCodes) {
                w.u16(k.code);
                w.u16(k.next);
            } else {
                w.u8(static_cast<std::uint8_t>(k.code));
                w.u8(static_cast<std::uint8_t>(k.next));
            }
            w.s16(k.adjust);
        }
    }
    return w.take();
}

Bytes encodeDefineFontInfo(std::uint16_t fontId, const Font& f, int version) {
    BitWriter w;
    w.u16(fontId);
    w.u8(static_cast<std::uint8_t>(std::min<std::size_t>(f.name.size(), 255)));
    w.bytes(reinterpret_cast<const std::uint8_t*>(f.name.data()), std::min<std::size_t>(f.name.size(), 255));
    const bool wideCodes = version == 2 || f.wideCodes;
    std::uint8_t flags = 0;
    if (f.smallText) flags |= 0x20;
    if (f.shiftJis) flags |= 0x10;
    if (f.ansi) flags |= 0x08;
    if (f.italic) flags |= 0x04;
    if (f.bold) flags |= 0x02;
    if (wideCodes) flags |= 0x01;
    w.u8(flags);
    if (version == 2) w.u8(f.language);
    for (const FontGlyph& g : f.glyphs) {
        if (wideCodes)
            w.u16(g.code);
        else
            w.u8(static_cast<std::uint8_t>(g.code));
    }
    return w.take();
}

std::vector<TextGlyph> layoutGlyphs(const Font& f, std::string_view text, std::uint16_t height, double emSize) {
    std::vector<TextGlyph> out;
    for (unsigned char ch : text) {
        const int i = f.indexOf(ch);
        if (i < 0) continue;
        const double adv = f.glyphs[static_cast<std::size_t>(i)].advance * height / emSize;
        out.push_back(TextGlyph{static_cast<std::uint32_t>(i), static_cast<std::int32_t>(std::lround(adv))});
    }
    return out;
}

Bytes encodeDefineText(std::uint16_t id, const Rect& bounds, const Matrix& m, const std::vector<TextRecord>& records,
                       int version, std::optional<unsigned> glyphBits, std::optional<unsigned> advanceBits) {
    unsigned gb = 0, ab = 0;
    for (const TextRecord& r : records) {
        for (const TextGlyph& g : r.glyphs) {
            gb = std::max(gb, bitsUnsigned(g.index));
            ab = std::max(ab, bitsSigned(g.advance));
        }
    }
    if (glyphBits) gb = *glyphBits;
    if (advanceBits) ab = *advanceBits;
    BitWriter w;
    w.u16(id);
    writeRect(w, bounds);
    writeMatrix(w, m);
    w.u8(static_cast<std::uint8_t>(gb));
    w.u8(static_cast<std::uint8_t>(ab));
    for (const TextRecord& r : records) {
        std::uint8_t flags = 0x80;
        if (r.font) flags |= 0x08;
        if (r.color) flags |= 0x04;
        if (r.y) flags |= 0x02;
        if (r.x) flags |= 0x01;
        w.u8(flags);
        if (r.font) w.u16(*r.font);
        if (r.color) {
            if (version >= 2)
                writeRgba(w, *r.color);
            else
                writeRgb(w, *r.color);
        }
        if (r.x) w.s16(*r.x);
        if (r.y) w.s16(*r.y);
        if (r.font) w.u16(r.height);
        const std::size_t count = std::min<std::size_t>(r.glyphs.size(), 255);
        w.u8(static_cast<std::uint8_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
            w.ub(r.glyphs[i].index, gb);
            w.sb(r.glyphs[i].advance, ab);
        }
        w.align();
    }
    w.u8(0);
    return w.take();
}

Bytes encodeDefineEditText(std::uint16_t id, const EditText& e) {
    BitWriter w;
    w.u16(id);
    writeRect(w, e.bounds);
    std::uint8_t f1 = 0, f2 = 0;
    if (e.text) f1 |= 0x80;
    if (e.wordWrap) f1 |= 0x40;
    if (e.multiline) f1 |= 0x20;
    if (e.password) f1 |= 0x10;
    if (e.readOnly) f1 |= 0x08;
    if (e.color) f1 |= 0x04;
    if (e.maxLength) f1 |= 0x02;
    if (e.font) f1 |= 0x01;
    if (e.fontClass) f2 |= 0x80;
    if (e.autoSize) f2 |= 0x40;
    if (e.layout) f2 |= 0x20;
    if (e.noSelect) f2 |= 0x10;
    if (e.border) f2 |= 0x08;
    if (e.wasStatic) f2 |= 0x04;
    if (e.html) f2 |= 0x02;
    if (e.useOutlines) f2 |= 0x01;
    w.u8(f1);
    w.u8(f2);
    if (e.font) w.u16(*e.font);
    if (e.fontClass) w.str(*e.fontClass);
    if (e.font || e.fontClass) w.u16(e.height);
    if (e.color) writeRgba(w, *e.color);
    if (e.maxLength) w.u16(*e.maxLength);
    if (e.layout) {
        w.u8(e.layout->align);
        w.u16(e.layout->leftMargin);
        w.u16(e.layout->rightMargin);
        w.u16(e.layout->indent);
        w.s16(e.layout->leading);
    }
    w.str(e.variable);
    if (e.text) w.str(*e.text);
    return w.take();
}

namespace {

void writeButtonRecords(BitWriter& w, const std::vector<ButtonRecord>& records, bool withCxform) {
    for (const ButtonRecord& r : records) {
        std::uint8_t flags = 0;
        if (r.hit) flags |= 0x08;
        if (r.down) flags |= 0x04;
        if (r.over) flags |= 0x02;
        if (r.up) flags |= 0x01;
        w.u8(flags);
        w.u16(r.character);
        w.u16(r.depth);
        writeMatrix(w, r.matrix);
        if (withCxform) writeCxformWithAlpha(w, r.cxform);
    }
    w.u8(0);
}

}  // namespace

Bytes encodeDefineButton(std::uint16_t id, const std::vector<ButtonRecord>& records, const Actions& actions) {
    BitWriter w;
    w.u16(id);
    writeButtonRecords(w, records, false);
    w.bytes(actions.encode());
    return w.take();
}

Bytes encodeDefineButton2(std::uint16_t id, const std::vector<ButtonRecord>& records, bool trackAsMenu,
                          const std::vector<ButtonCondAction>& actions) {
    BitWriter rec;
    writeButtonRecords(rec, records, true);
    const Bytes recBytes = rec.take();
    BitWriter w;
    w.u16(id);
    w.u8(trackAsMenu ? 1 : 0);
    w.u16(actions.empty() ? 0 : static_cast<std::uint16_t>(2 + recBytes.size()));
    w.bytes(recBytes);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const Bytes body = actions[i].actions.encode();
        w.u16(i + 1 < actions.size() ? static_cast<std::uint16_t>(4 + body.size()) : 0);
        w.u16(actions[i].conditions);
        w.bytes(body);
    }
    return w.take();
}

Bytes encodeDefineButtonCxform(std::uint16_t buttonId, const ColorTransform& cx) {
    BitWriter w;
    w.u16(buttonId);
    writeCxform(w, cx);
    return w.take();
}

}  // namespace lumarel::swfkit
