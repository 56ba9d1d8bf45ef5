// Static text: DefineText, DefineText2 and DefineEditText turned into ordinary raster shapes
// (glyph outlines scaled from their em square to the text height and laid out), so the display
// list draws them like any other shape, masks included.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/raster/raster.h"
#include "engine/swf/records.h"
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

// DefineEditText drawn as static text with its initial contents.
bool BuildDefineEditText(std::span<const uint8_t> data, const TextContext& ctx, TextShape& out, std::string& error);

// Plain text of an HTML text field: tags dropped (<br> and the end of a paragraph become line
// breaks), the common entities and numeric character references decoded.
std::string PlainFromHtml(const std::string& html);

// UTF-8 (invalid sequences dropped) or Latin-1 to code points.
std::u32string DecodeText(const std::string& s, bool utf8);

}  // namespace lumarel::engine::text
