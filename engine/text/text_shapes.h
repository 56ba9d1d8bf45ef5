// Static text: DefineText, DefineText2 and DefineEditText turned into ordinary raster shapes
// (glyph outlines scaled from their em square to the text height and laid out), so the display
// list draws them like any other shape, masks included.
#pragma once

#include <cstdint>
#include <span>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/raster/raster.h"
#include "engine/swf/records.h"
#include "engine/text/css.h"
#include "engine/text/device_fonts.h"
#include "engine/text/font.h"

namespace lumarel::engine::text {

// Limits for hostile text.
constexpr size_t kMaxGlyphsPerText = 20000;    // glyphs placed by one text character
constexpr long kMaxTextEdges = 2000000;        // glyph edges over all texts of a movie
constexpr size_t kMaxEditTextChars = 1 << 20;  // characters of an edit field's text considered

struct TextShape {
    uint16_t id = 0;
    swf::Rect bounds;
    raster::Shape shape;
    long edgeCount = 0;
    bool clipToBounds = false;  // edit fields: nothing is drawn outside the bounds
    bool box = false;           // edit fields with a border: white background, black 1-px border
};

struct TextContext {
    const FontTable* fonts = nullptr;
    DeviceFontSource* deviceFonts = nullptr;  // may be null: device text then draws nothing
    int swfVersion = 10;                      // texts are UTF-8 from 6 on, Latin-1 before
    long* edgeBudget = nullptr;               // edges still allowed (kMaxTextEdges to begin with)
};

// DefineText (version 1, RGB colours) or DefineText2 (2, RGBA). Records cut short keep the
// glyphs read so far; false with a reason only when the header is unusable.
bool BuildDefineText(std::span<const uint8_t> data, int version, const TextContext& ctx, TextShape& out,
                     std::string& error);

// An edit field as DefineEditText describes it.
// Formatting scripts gave a run of a field's characters (setTextFormat with a range): each
// entry that is set replaces the characters' own. Positions count characters as the field's
// text has them, a paragraph break being one.
struct FormatPatch {
    size_t begin = 0, end = 0;
    std::optional<std::string> face;
    std::optional<double> height;  // twips
    std::optional<raster::Rgba> color;
    std::optional<bool> bold, italic;
};

struct EditTextDef {
    uint16_t id = 0;
    swf::Rect bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = false, autoSize = false, noSelect = false,
         border = false, html = false, useOutlines = false;
    uint16_t fontId = 0;  // 0: no font named (device text)
    std::string face;     // the device font's name when no font is named (empty: a serif face)
    bool bold = false, italic = false;
    double height = 240;  // twips
    raster::Rgba color{0, 0, 0, 255};
    uint16_t maxLength = 0;                                           // 0: no limit
    uint8_t align = 0;                                                // 0 left, 1 right, 2 centre, 3 justify
    double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;  // twips
    std::string variable;                                             // the variable the field shows, if any
    std::string text;                                                 // initial contents, in the movie's text encoding
    // Scrolled by script: the first line shown (zero-based; cut to the last line that can stand
    // on top) and how far the text is moved left (twips).
    size_t scroll = 0;
    double hscroll = 0;
    std::vector<FormatPatch> patches;              // in the order they were given
    std::shared_ptr<const StyleSheet> styleSheet;  // HTML fields: the formatting of tags and classes
};
// False with a reason only when the record is unusable; a truncated one keeps an empty field.
bool ParseDefineEditText(std::span<const uint8_t> data, EditTextDef& out, std::string& error);

// Twips between an edit field's border and its text.
constexpr double kFieldPadding = 40;

// How much room laid-out text takes: the widest line and the height of all lines (twips).
struct TextExtent {
    double width = 0, height = 0;
    int lines = 0;
    int maxScroll = 1;               // the highest first line (one-based) that still fills the field
    int bottomScroll = 1;            // the last line (one-based) wholly in view, at the field's scroll
    double ascent = 0, descent = 0;  // of the first line
};
// Lays out `text` (the movie's text encoding; HTML when def.html) in the field's bounds.
void LayoutEditText(const EditTextDef& def, std::string text, const TextContext& ctx, TextShape& out,
                    TextExtent* extent = nullptr);

// DefineEditText drawn as static text with its initial contents.
bool BuildDefineEditText(std::span<const uint8_t> data, const TextContext& ctx, TextShape& out, std::string& error);

// Character formatting in an edit field.
struct TextStyle {
    std::string face;  // font name; empty: the field's own font
    bool bold = false, italic = false;
    bool kerning = false;  // embedded fonts: apply the font's kerning pairs
    double height = 240;   // twips
    raster::Rgba color{0, 0, 0, 255};
    bool operator==(const TextStyle& o) const {
        return face == o.face && bold == o.bold && italic == o.italic && kerning == o.kerning && height == o.height &&
               color.r == o.color.r && color.g == o.color.g && color.b == o.color.b && color.a == o.color.a;
    }
};

struct StyledParagraph {
    std::u32string chars;
    std::vector<uint16_t> styles;  // one per character: index into StyledText::styles
    uint16_t style = 0;            // the style where it begins (its line height when empty)
    uint8_t align = 0;             // 0 left, 1 right, 2 centre, 3 justify (drawn left aligned)
    bool continued = false;        // begun by a line break inside a paragraph: no first-line indent
};

struct StyledText {
    std::vector<TextStyle> styles;  // styles[0] is the field's own
    std::vector<StyledParagraph> paragraphs;
};

// Most distinct styles one field keeps; formatting beyond them takes the enclosing style.
constexpr size_t kMaxTextStyles = 256;

// The text of an HTML field (UTF-8) as paragraphs of formatted characters: <p align>, <br>,
// <li> (a bullet), <font face size color kerning>, <b> and <i> are followed; other tags are
// dropped, and an unfinished tag ends the text. The common entities and numeric character
// references are decoded; line breaks in the source also end a paragraph.
// With a style sheet, tags and classes it names take its formatting: display none hides the
// tag's contents, block ones stand as paragraphs of their own.
StyledText ParseHtmlText(const std::string& html, const TextStyle& base, uint8_t align,
                         const StyleSheet* sheet = nullptr);

// UTF-8 (invalid sequences dropped) or Latin-1 to code points.
std::u32string DecodeText(const std::string& s, bool utf8);

}  // namespace lumarel::engine::text
