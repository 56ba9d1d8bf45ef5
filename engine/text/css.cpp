#include "engine/text/css.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lumarel::engine::text {

namespace {

constexpr size_t kMaxRules = 4096;

std::string Trim(std::string_view s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// font-size -> fontSize; names already in that form stay.
std::string ScriptName(const std::string& css) {
    std::string out;
    bool upper = false;
    for (char c : css) {
        if (c == '-') {
            upper = !out.empty();
            continue;
        }
        out += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        upper = false;
    }
    return out;
}

std::string WithoutComments(std::string_view css) {
    std::string out;
    for (size_t i = 0; i < css.size();) {
        if (css.substr(i, 2) == "/*") {
            const size_t end = css.find("*/", i + 2);
            if (end == std::string_view::npos) break;
            i = end + 2;
            continue;
        }
        out += css[i++];
    }
    return out;
}

}  // namespace

std::optional<raster::Rgba> HexColor(std::string_view v, uint8_t alpha) {
    if (v.size() != 7 || v[0] != '#') return std::nullopt;
    uint32_t rgb = 0;
    for (size_t k = 1; k < 7; ++k) {
        const char c = v[k];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return std::nullopt;
        rgb = rgb * 16 + static_cast<uint32_t>(d);
    }
    return raster::Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
                        alpha};
}

std::vector<CssRule> ParseCss(std::string_view text, bool* ok) {
    const std::string css = WithoutComments(text);
    std::vector<CssRule> rules;
    bool good = true;
    size_t i = 0;
    while (rules.size() < kMaxRules) {
        const size_t open = css.find('{', i);
        if (open == std::string::npos) {
            good = Trim(std::string_view(css).substr(i)).empty();
            break;
        }
        const size_t close = css.find('}', open);
        if (close == std::string::npos || css.find('}', i) < open) {
            good = false;
            break;
        }
        std::vector<std::pair<std::string, std::string>> props;
        const std::string_view body = std::string_view(css).substr(open + 1, close - open - 1);
        for (size_t p = 0; p <= body.size();) {
            size_t semi = body.find(';', p);
            if (semi == std::string_view::npos) semi = body.size();
            const std::string_view decl = body.substr(p, semi - p);
            const size_t colon = decl.find(':');
            if (colon != std::string_view::npos) {
                const std::string name = ScriptName(Lower(Trim(decl.substr(0, colon))));
                if (!name.empty()) props.emplace_back(name, Trim(decl.substr(colon + 1)));
            }
            p = semi + 1;
        }
        const std::string_view selectors = std::string_view(css).substr(i, open - i);
        for (size_t s = 0; s <= selectors.size() && rules.size() < kMaxRules;) {
            size_t comma = selectors.find(',', s);
            if (comma == std::string_view::npos) comma = selectors.size();
            std::string name = Lower(Trim(selectors.substr(s, comma - s)));
            if (!name.empty()) rules.push_back(CssRule{std::move(name), props});
            s = comma + 1;
        }
        i = close + 1;
    }
    if (ok) *ok = good && (!rules.empty() || Trim(text).empty());
    return rules;
}

StyleSheet StyleSheetOf(const std::vector<CssRule>& rules) {
    StyleSheet sheet;
    for (const CssRule& rule : rules) {
        CssStyle& st = sheet[rule.selector];
        for (const auto& [name, raw] : rule.properties) {
            const std::string v = Lower(raw);
            if (name == "color") {
                if (auto c = HexColor(v, 255)) st.color = c;
            } else if (name == "fontFamily") {
                std::string face = Trim(std::string_view(raw).substr(0, raw.find(',')));
                if (face.size() >= 2 && (face[0] == '"' || face[0] == '\'')) face = face.substr(1, face.size() - 2);
                st.face = face;
            } else if (name == "fontSize") {
                const double px = std::atof(v.c_str());
                if (px > 0 && std::isfinite(px)) st.height = std::round(std::min(px, 255.0)) * 20;
            } else if (name == "fontWeight") {
                st.bold = v == "bold";
            } else if (name == "fontStyle") {
                st.italic = v == "italic";
            } else if (name == "textAlign") {
                if (v == "left") st.align = 0;
                if (v == "right") st.align = 1;
                if (v == "center") st.align = 2;
                if (v == "justify") st.align = 3;
            } else if (name == "display") {
                if (v == "inline") st.display = CssStyle::Display::Inline;
                if (v == "block") st.display = CssStyle::Display::Block;
                if (v == "none") st.display = CssStyle::Display::None;
            }
        }
    }
    return sheet;
}

}  // namespace lumarel::engine::text
