// Embedded fonts: DefineFont, DefineFont2, DefineFont3 and the code tables of DefineFontInfo and
// DefineFontInfo2, decoded into glyph outlines in em units.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::engine::text {

// Limits for hostile fonts.
constexpr size_t kMaxGlyphEdges = 20000;  // edges of one glyph; the rest of its outline is left out

struct Glyph {
    std::vector<raster::Edge> edges;  // em units; fill0/fill1 are 1 where the glyph is filled
    double advance = 0;               // em units (layout table), 0 when the font has none
    double xmin = 0, xmax = 0;        // extent of the outline (em units)
};

struct Font {
    uint16_t id = 0;
    std::string name;  // as stored, trailing zero bytes removed
    bool bold = false, italic = false, shiftJis = false, ansi = false, wideCodes = false;
    double emSize = 1024;  // 1024, or 20480 for DefineFont3
    std::vector<Glyph> glyphs;
    std::vector<uint16_t> codes;  // code of each glyph (may be shorter than glyphs)
    bool hasLayout = false;
    double ascent = 0, descent = 0, leading = 0;    // em units
    std::unordered_map<uint32_t, int16_t> kerning;  // (code << 16 | next code) -> em units

    // Kerning between two codes in em units (0 without a pair).
    double Kerning(char32_t code, char32_t next) const {
        if (kerning.empty() || code > 0xFFFF || next > 0xFFFF) return 0;
        auto it = kerning.find((static_cast<uint32_t>(code) << 16) | static_cast<uint32_t>(next));
        return it == kerning.end() ? 0 : it->second;
    }

    // Index of the glyph for a code, or -1.
    int IndexOf(char32_t code) const;
    void IndexCodes();

private:
    std::unordered_map<char32_t, int> byCode_;
};

using FontTable = std::unordered_map<uint16_t, Font>;

// Parses DefineFont (version 1), DefineFont2 (2) or DefineFont3 (3). Glyphs whose offsets point
// outside the tag come out empty; returns false with a reason only when the header is unusable.
bool ParseDefineFont(std::span<const uint8_t> data, int version, Font& out, std::string& error);
// Applies DefineFontInfo (version 1) or DefineFontInfo2 (2) to the font it names in `fonts`.
bool ParseDefineFontInfo(std::span<const uint8_t> data, int version, FontTable& fonts, std::string& error);

}  // namespace lumarel::engine::text
