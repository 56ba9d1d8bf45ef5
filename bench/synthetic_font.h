// A small procedural "font" for the text benchmarks: about forty letter-like glyphs built from
// stems, slanted strokes, rings and arc bands, outlined with lines and quadratic curves in a
// 1024-unit em square (y up, baseline at 0), the way glyphs arrive in SWF font tags.
#pragma once

#include <string>
#include <vector>

namespace lumarel::bench {

struct GlyphSegment {  // font units, y up; a line ignores cx, cy
    bool quad = false;
    double x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
};

// Closed contours. Outer contours run clockwise in font space (y up) and holes counter-clockwise,
// so once y is flipped onto the screen every contour has the filled side on its right.
// Contours of one glyph may overlap; they are meant to be filled with the non-zero rule.
struct Glyph {
    char ch = 0;
    double advance = 0;
    std::vector<std::vector<GlyphSegment>> contours;
};

class SyntheticFont {
public:
    static constexpr double kEm = 1024;
    SyntheticFont();
    const Glyph* Find(char c) const;  // null when the font has no such glyph
    const std::vector<Glyph>& Glyphs() const { return glyphs_; }
    const std::string& Lowercase() const { return lower_; }
    const std::string& Uppercase() const { return upper_; }
    const std::string& Digits() const { return digits_; }

private:
    std::vector<Glyph> glyphs_;
    std::string lower_, upper_, digits_;
};

}  // namespace lumarel::bench
