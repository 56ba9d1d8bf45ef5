// System fonts as glyph outlines, for text that a movie draws in fonts it does not embed.
// Outlines are quadratic/line contours in font units, baseline at y = 0, y growing downwards.
// Backends: FreeType + fontconfig on Linux, GDI on Windows (platform/fonts/).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumarel::platform {

struct FontSegment {
    bool curve = false;  // quadratic with control point cx, cy; a line ignores them
    float x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
};

struct FontGlyph {
    double advance = 0;
    std::vector<FontSegment> segments;  // closed contours
};

struct FontFaceMetrics {
    double unitsPerEm = 1024;
    double ascent = 0, descent = 0, leading = 0;
};

class Fonts {
public:
    virtual ~Fonts() = default;
    // `family`: "_sans", "_serif", "_typewriter" or a font name. When the matched font lacks the
    // code point, a font that has it is used instead (Japanese first), scaled to the same units.
    virtual std::optional<FontGlyph> Glyph(const std::string& family, bool bold, bool italic, char32_t cp) = 0;
    virtual std::optional<FontFaceMetrics> Metrics(const std::string& family, bool bold, bool italic) = 0;
    // Shift-JIS (code page 932) bytes to code points; empty when they are not valid Shift-JIS.
    virtual std::optional<std::u32string> DecodeShiftJis(const std::string& bytes) = 0;
};

// The system's fonts; null when this system offers none.
std::shared_ptr<Fonts> NativeFonts();

}  // namespace lumarel::platform
