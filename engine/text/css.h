// Style sheets for HTML text fields (TextField.StyleSheet): CSS rules as scripts read and write
// them, and the formatting they give the tags and classes of a field's HTML.
//
// Typical use:
//     std::vector<CssRule> rules = ParseCss("p { font-size: 14px; color: #ff0000 } .x { display: none }");
//     StyleSheet sheet = StyleSheetOf(rules);       // handed to ParseHtmlText
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::engine::text {

// One rule for one selector ("p", ".note", lower-cased); properties named as scripts name them
// (font-size becomes fontSize), values as written.
struct CssRule {
    std::string selector;
    std::vector<std::pair<std::string, std::string>> properties;
};
// The rules of a style sheet's text, in order; a rule with several selectors ("h1, h2") gives
// one each. Comments are skipped; what cannot be read ends the sheet there. Empty and false
// when nothing could be read from non-empty text.
std::vector<CssRule> ParseCss(std::string_view css, bool* ok = nullptr);

// The formatting a selector gives, each entry set or not.
struct CssStyle {
    enum class Display : uint8_t { Inline, Block, None };
    std::optional<std::string> face;
    std::optional<double> height;  // twips
    std::optional<raster::Rgba> color;
    std::optional<bool> bold, italic;
    std::optional<uint8_t> align;  // 0 left, 1 right, 2 centre, 3 justify
    std::optional<Display> display;
};
using StyleSheet = std::map<std::string, CssStyle>;
// "#RRGGBB" as a colour with `alpha`; nullopt when unreadable.
std::optional<raster::Rgba> HexColor(std::string_view v, uint8_t alpha);
StyleSheet StyleSheetOf(const std::vector<CssRule>& rules);

}  // namespace lumarel::engine::text
