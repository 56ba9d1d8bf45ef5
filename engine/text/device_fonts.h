// Device fonts: glyph outlines that come from the system rather than from the movie. The engine
// makes no operating-system calls, so the host hands a movie an implementation of this interface
// (platform code behind it); engine tests use a fake.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumarel::engine::text {

// One segment of a closed contour, in font units (FontMetrics::unitsPerEm to the em), with the
// baseline at y = 0 and y growing downwards (as in SWF glyphs). A line ignores cx, cy.
struct OutlineSegment {
    bool curve = false;  // quadratic Bezier with control point cx, cy
    float x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
};

struct GlyphOutline {
    double advance = 0;                    // font units
    std::vector<OutlineSegment> segments;  // closed contours; filled by the non-zero rule
};

struct FontMetrics {
    double unitsPerEm = 1024;
    double ascent = 0, descent = 0, leading = 0;  // font units, all positive downwards from the top
};

class DeviceFontSource {
public:
    virtual ~DeviceFontSource() = default;
    // `family` is the name the movie gives: "_sans", "_serif", "_typewriter" or a font name. An
    // implementation substitutes a font that has the code point when the named one lacks it.
    // Empty when no font of the system can draw `cp`.
    virtual std::optional<GlyphOutline> Glyph(const std::string& family, bool bold, bool italic, char32_t cp) = 0;
    // Empty when the system has no usable font at all.
    virtual std::optional<FontMetrics> Metrics(const std::string& family, bool bold, bool italic) = 0;
    // Movies before version 6 store text in the code page of the system they were made on; the
    // saver decodes it as Shift-JIS, as a Japanese system does. Empty when the bytes are not valid
    // Shift-JIS or the host cannot convert: the text is then read as Latin-1.
    virtual std::optional<std::u32string> DecodeLegacyText(const std::string& bytes) {
        (void)bytes;
        return std::nullopt;
    }
};

}  // namespace lumarel::engine::text
