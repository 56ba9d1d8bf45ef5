// Font, text and button tag encoders.
#include <algorithm>
#include <cmath>

#include "tools/swfkit/swfkit.h"

namespace lumarel::swfkit {

int Font::IndexOf(char32_t code) const {
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

void WriteGlyphs(BitWriter& w, const std::vector<Bytes>& shapes, std::size_t start) {
    (void)start;
    for (const Bytes& b : shapes) w.Append(b);
}

std::vector<Bytes> GlyphShapes(const Font& f) {
    std::vector<Bytes> out;
    for (const FontGlyph& g : f.glyphs) out.push_back(g.shape.EncodeShape(1, 0, true));
    return out;
}

Rect GlyphBounds(const FontGlyph& g) {
    if (g.shape.empty()) return Rect{};
    return g.shape.Bounds();
}

}  // namespace

Font BlockFont(const std::string& name, int em) {
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
                g.shape.Style(1).Rectangle(c(col), c(row - 7), c(end) - c(col), c(row - 6) - c(row - 7));
                col = end;
            }
        }
        f.glyphs.push_back(std::move(g));
    }
    FontGlyph o;  // a ring drawn with curves
    o.code = 'o';
    o.advance = static_cast<std::int16_t>(c(6));
    o.shape.Fill1(1).Fill0(0).Ellipse(c(2.5), c(-2.5), c(2.5), c(2.5));
    o.shape.Fill0(1).Fill1(0).Ellipse(c(2.5), c(-2.5), c(1.4), c(1.4));
    f.glyphs.push_back(std::move(o));
    return f;
}

Bytes EncodeDefineFont(std::uint16_t id, const Font& f) {
    BitWriter w;
    w.U16(id);
    const std::vector<Bytes> shapes = GlyphShapes(f);
    std::size_t offset = shapes.size() * 2;
    for (const Bytes& b : shapes) {
        w.U16(static_cast<std::uint16_t>(offset));
        offset += b.size();
    }
    WriteGlyphs(w, shapes, 0);
    return w.Take();
}

Bytes EncodeDefineFont2(std::uint16_t id, const Font& f, int version) {
    const std::vector<Bytes> shapes = GlyphShapes(f);
    std::size_t shapeBytes = 0;
    for (const Bytes& b : shapes) shapeBytes += b.size();
    const std::size_t n = shapes.size();
    const bool wide = f.wideOffsets ? *f.wideOffsets : (n + 1) * 2 + shapeBytes > 0xFFFF;
    const bool wideCodes = version == 3 || f.wideCodes;
    BitWriter w;
    w.U16(id);
    std::uint8_t flags = 0;
    if (f.layout) flags |= 0x80;
    if (f.shiftJis) flags |= 0x40;
    if (f.smallText) flags |= 0x20;
    if (f.ansi) flags |= 0x10;
    if (wide) flags |= 0x08;
    if (wideCodes) flags |= 0x04;
    if (f.italic) flags |= 0x02;
    if (f.bold) flags |= 0x01;
    w.U8(flags);
    w.U8(f.language);
    w.U8(static_cast<std::uint8_t>(std::min<std::size_t>(f.name.size(), 255)));
    w.Append(reinterpret_cast<const std::uint8_t*>(f.name.data()), std::min<std::size_t>(f.name.size(), 255));
    w.U16(static_cast<std::uint16_t>(n));
    const std::size_t entry = wide ? 4 : 2;
    std::size_t offset = (n + 1) * entry;
    auto put = [&](std::size_t v) {
        if (wide)
            w.U32(static_cast<std::uint32_t>(v));
        else
            w.U16(static_cast<std::uint16_t>(v));
    };
    for (const Bytes& b : shapes) {
        put(offset);
        offset += b.size();
    }
    put(offset);  // code table offset
    WriteGlyphs(w, shapes, 0);
    for (const FontGlyph& g : f.glyphs) {
        if (wideCodes)
            w.U16(g.code);
        else
            w.U8(static_cast<std::uint8_t>(g.code));
    }
    if (f.layout) {
        w.U16(static_cast<std::uint16_t>(f.ascent));
        w.U16(static_cast<std::uint16_t>(f.descent));
        w.S16(f.leading);
        for (const FontGlyph& g : f.glyphs) w.S16(g.advance);
        for (const FontGlyph& g : f.glyphs) WriteRect(w, GlyphBounds(g));
        w.U16(static_cast<std::uint16_t>(f.kerning.size()));
        for (const Font::KerningPair& k : f.kerning) {
            if (wideCodes) {
                w.U16(k.code);
                w.U16(k.next);
            } else {
                w.U8(static_cast<std::uint8_t>(k.code));
                w.U8(static_cast<std::uint8_t>(k.next));
            }
            w.S16(k.adjust);
        }
    }
    return w.Take();
}

Bytes EncodeDefineFontInfo(std::uint16_t fontId, const Font& f, int version) {
    BitWriter w;
    w.U16(fontId);
    w.U8(static_cast<std::uint8_t>(std::min<std::size_t>(f.name.size(), 255)));
    w.Append(reinterpret_cast<const std::uint8_t*>(f.name.data()), std::min<std::size_t>(f.name.size(), 255));
    const bool wideCodes = version == 2 || f.wideCodes;
    std::uint8_t flags = 0;
    if (f.smallText) flags |= 0x20;
    if (f.shiftJis) flags |= 0x10;
    if (f.ansi) flags |= 0x08;
    if (f.italic) flags |= 0x04;
    if (f.bold) flags |= 0x02;
    if (wideCodes) flags |= 0x01;
    w.U8(flags);
    if (version == 2) w.U8(f.language);
    for (const FontGlyph& g : f.glyphs) {
        if (wideCodes)
            w.U16(g.code);
        else
            w.U8(static_cast<std::uint8_t>(g.code));
    }
    return w.Take();
}

std::vector<TextGlyph> LayoutGlyphs(const Font& f, std::string_view text, std::uint16_t height, double emSize) {
    std::vector<TextGlyph> out;
    for (unsigned char ch : text) {
        const int i = f.IndexOf(ch);
        if (i < 0) continue;
        const double adv = f.glyphs[static_cast<std::size_t>(i)].advance * height / emSize;
        out.push_back(TextGlyph{static_cast<std::uint32_t>(i), static_cast<std::int32_t>(std::lround(adv))});
    }
    return out;
}

Bytes EncodeDefineText(std::uint16_t id, const Rect& bounds, const Matrix& m, const std::vector<TextRecord>& records,
                       int version, std::optional<unsigned> glyphBits, std::optional<unsigned> advanceBits) {
    unsigned gb = 0, ab = 0;
    for (const TextRecord& r : records) {
        for (const TextGlyph& g : r.glyphs) {
            gb = std::max(gb, BitsUnsigned(g.index));
            ab = std::max(ab, BitsSigned(g.advance));
        }
    }
    if (glyphBits) gb = *glyphBits;
    if (advanceBits) ab = *advanceBits;
    BitWriter w;
    w.U16(id);
    WriteRect(w, bounds);
    WriteMatrix(w, m);
    w.U8(static_cast<std::uint8_t>(gb));
    w.U8(static_cast<std::uint8_t>(ab));
    for (const TextRecord& r : records) {
        std::uint8_t flags = 0x80;
        if (r.font) flags |= 0x08;
        if (r.color) flags |= 0x04;
        if (r.y) flags |= 0x02;
        if (r.x) flags |= 0x01;
        w.U8(flags);
        if (r.font) w.U16(*r.font);
        if (r.color) {
            if (version >= 2)
                WriteRgba(w, *r.color);
            else
                WriteRgb(w, *r.color);
        }
        if (r.x) w.S16(*r.x);
        if (r.y) w.S16(*r.y);
        if (r.font) w.U16(r.height);
        const std::size_t count = std::min<std::size_t>(r.glyphs.size(), 255);
        w.U8(static_cast<std::uint8_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
            w.Ub(r.glyphs[i].index, gb);
            w.Sb(r.glyphs[i].advance, ab);
        }
        w.Align();
    }
    w.U8(0);
    return w.Take();
}

Bytes EncodeDefineEditText(std::uint16_t id, const EditText& e) {
    BitWriter w;
    w.U16(id);
    WriteRect(w, e.bounds);
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
    w.U8(f1);
    w.U8(f2);
    if (e.font) w.U16(*e.font);
    if (e.fontClass) w.Str(*e.fontClass);
    if (e.font || e.fontClass) w.U16(e.height);
    if (e.color) WriteRgba(w, *e.color);
    if (e.maxLength) w.U16(*e.maxLength);
    if (e.layout) {
        w.U8(e.layout->align);
        w.U16(e.layout->leftMargin);
        w.U16(e.layout->rightMargin);
        w.U16(e.layout->indent);
        w.S16(e.layout->leading);
    }
    w.Str(e.variable);
    if (e.text) w.Str(*e.text);
    return w.Take();
}

namespace {

void WriteButtonRecords(BitWriter& w, const std::vector<ButtonRecord>& records, bool withCxform) {
    for (const ButtonRecord& r : records) {
        std::uint8_t flags = 0;
        if (r.hit) flags |= 0x08;
        if (r.down) flags |= 0x04;
        if (r.over) flags |= 0x02;
        if (r.up) flags |= 0x01;
        w.U8(flags);
        w.U16(r.character);
        w.U16(r.depth);
        WriteMatrix(w, r.matrix);
        if (withCxform) WriteCxformWithAlpha(w, r.cxform);
    }
    w.U8(0);
}

}  // namespace

Bytes EncodeDefineButton(std::uint16_t id, const std::vector<ButtonRecord>& records, const Actions& actions) {
    BitWriter w;
    w.U16(id);
    WriteButtonRecords(w, records, false);
    w.Append(actions.Encode());
    return w.Take();
}

Bytes EncodeDefineButton2(std::uint16_t id, const std::vector<ButtonRecord>& records, bool trackAsMenu,
                          const std::vector<ButtonCondAction>& actions) {
    BitWriter rec;
    WriteButtonRecords(rec, records, true);
    const Bytes recBytes = rec.Take();
    BitWriter w;
    w.U16(id);
    w.U8(trackAsMenu ? 1 : 0);
    w.U16(actions.empty() ? 0 : static_cast<std::uint16_t>(2 + recBytes.size()));
    w.Append(recBytes);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const Bytes body = actions[i].actions.Encode();
        w.U16(i + 1 < actions.size() ? static_cast<std::uint16_t>(4 + body.size()) : 0);
        w.U16(actions[i].conditions);
        w.Append(body);
    }
    return w.Take();
}

Bytes EncodeDefineButtonCxform(std::uint16_t buttonId, const ColorTransform& cx) {
    BitWriter w;
    w.U16(buttonId);
    WriteCxform(w, cx);
    return w.Take();
}

}  // namespace lumarel::swfkit
