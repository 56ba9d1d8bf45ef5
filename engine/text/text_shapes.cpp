#include "engine/text/text_shapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "engine/swf/bit_reader.h"

namespace lumarel::engine::text {

using swf::BitReader;

namespace {

// Collects glyph outlines into one layer, one solid fill per colour.
class ShapeWriter {
public:
    ShapeWriter(TextShape& out, long* budget) : out_(out), budget_(budget) { out_.shape.layers.emplace_back(); }

    uint16_t FillFor(raster::Rgba c) {
        const uint32_t key = (uint32_t(c.r) << 24) | (uint32_t(c.g) << 16) | (uint32_t(c.b) << 8) | c.a;
        auto it = fills_.find(key);
        if (it != fills_.end()) return it->second;
        raster::Layer& l = GlyphLayer();
        raster::Paint p;
        p.kind = raster::Paint::Kind::Solid;
        p.color = c;
        l.fills.push_back(p);
        const auto idx = static_cast<uint16_t>(l.fills.size());
        fills_.emplace(key, idx);
        return idx;
    }

    bool Full() const { return glyphs_ >= kMaxGlyphsPerText || (budget_ && *budget_ <= 0); }

    // Edges in em units with fill index 1 for the glyph; `m` maps em units to character space.
    void AddEdges(const std::vector<raster::Edge>& edges, const raster::Matrix& m, uint16_t fill) {
        if (!Reserve(static_cast<long>(edges.size()))) return;
        raster::Layer& l = GlyphLayer();
        for (raster::Edge e : edges) {
            Map(m, e.x0, e.y0);
            Map(m, e.x1, e.y1);
            if (e.kind == raster::Edge::Kind::Quad) Map(m, e.cx, e.cy);
            e.fill0 = e.fill0 ? fill : 0;
            e.fill1 = e.fill1 ? fill : 0;
            e.line = 0;
            l.edges.push_back(e);
        }
    }

    void AddOutline(const GlyphOutline& g, const raster::Matrix& m, uint16_t fill) {
        if (!Reserve(static_cast<long>(g.segments.size()))) return;
        raster::Layer& l = GlyphLayer();
        for (const OutlineSegment& s : g.segments) {
            raster::Edge e;
            e.kind = s.curve ? raster::Edge::Kind::Quad : raster::Edge::Kind::Line;
            e.x0 = s.x0, e.y0 = s.y0, e.cx = s.cx, e.cy = s.cy, e.x1 = s.x1, e.y1 = s.y1;
            if (!std::isfinite(e.x0) || !std::isfinite(e.y0) || !std::isfinite(e.x1) || !std::isfinite(e.y1) ||
                !std::isfinite(e.cx) || !std::isfinite(e.cy))
                continue;
            Map(m, e.x0, e.y0);
            Map(m, e.x1, e.y1);
            if (s.curve) Map(m, e.cx, e.cy);
            e.fill1 = fill;  // non-zero winding: contour direction does not matter
            l.edges.push_back(e);
        }
    }

private:
    raster::Layer& GlyphLayer() { return out_.shape.layers.back(); }
    static void Map(const raster::Matrix& m, float& x, float& y) {
        double ox, oy;
        m.Apply(x, y, ox, oy);
        x = static_cast<float>(ox);
        y = static_cast<float>(oy);
    }
    bool Reserve(long n) {
        if (Full()) return false;
        ++glyphs_;
        if (budget_) {
            if (n > *budget_) {
                *budget_ = 0;
                return false;
            }
            *budget_ -= n;
        }
        out_.edgeCount += n;
        return true;
    }

    TextShape& out_;
    long* budget_;
    size_t glyphs_ = 0;
    std::map<uint32_t, uint16_t> fills_;
};

raster::Matrix GlyphMatrix(const raster::Matrix& base, double scale, double x, double y) {
    raster::Matrix g;
    g.a = g.d = scale;
    g.tx = x;
    g.ty = y;
    return base.Multiply(g);
}

}  // namespace

bool BuildDefineText(std::span<const uint8_t> data, int version, const TextContext& ctx, TextShape& out,
                     std::string& error) {
    BitReader r(data);
    out = TextShape{};
    out.id = r.U16();
    out.bounds = swf::ReadRect(r);
    const raster::Matrix matrix = swf::ReadMatrix(r);
    const unsigned glyphBits = r.U8();
    const unsigned advanceBits = r.U8();
    if (!r.Ok() || glyphBits > 32 || advanceBits > 32) {
        error = "text " + std::to_string(out.id) + ": header truncated or malformed";
        return false;
    }
    ShapeWriter w(out, ctx.edgeBudget);
    const Font* font = nullptr;
    raster::Rgba color{0, 0, 0, 255};
    double height = 0, x = 0, y = 0;
    while (r.Ok() && !w.Full()) {
        const uint8_t flags = r.U8();
        if (!r.Ok() || flags == 0) break;  // EndOfRecordsFlag
        if (flags & 0x08) {
            const uint16_t fid = r.U16();
            font = nullptr;
            if (ctx.fonts) {
                auto it = ctx.fonts->find(fid);
                if (it != ctx.fonts->end()) font = &it->second;
            }
        }
        if (flags & 0x04) color = version >= 2 ? swf::ReadRgba(r) : swf::ReadRgb(r);
        if (flags & 0x01) x = r.S16();
        if (flags & 0x02) y = r.S16();
        if (flags & 0x08) height = r.U16();
        const unsigned count = r.U8();
        if (!r.Ok()) break;
        const uint16_t fill = w.FillFor(color);
        for (unsigned i = 0; i < count && r.Ok(); ++i) {
            const uint32_t index = r.Ub(glyphBits);
            const int32_t advance = r.Sb(advanceBits);
            if (!r.Ok()) break;
            if (font && index < font->glyphs.size() && !font->glyphs[index].edges.empty())
                w.AddEdges(font->glyphs[index].edges, GlyphMatrix(matrix, height / font->emSize, x, y), fill);
            x += advance;
        }
        r.Align();
    }
    if (!r.Ok()) error = "text " + std::to_string(out.id) + ": records cut short";
    return true;
}

std::u32string DecodeText(const std::string& s, bool utf8) {
    std::u32string out;
    out.reserve(s.size());
    if (!utf8) {
        for (unsigned char c : s) out.push_back(c);
        return out;
    }
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + static_cast<size_t>(len) > s.size()) {
            ++i;  // stray or truncated byte: dropped
            continue;
        }
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            ++i;
            continue;
        }
        i += static_cast<size_t>(len);
        if (cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) out.push_back(cp);
    }
    return out;
}

namespace {

void AppendUtf8(std::string& s, char32_t cp) {
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0x10FFFF) {
        s.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

namespace {

// An HTML entity (the text between '&' and ';') as a code point, or 0.
char32_t Entity(const std::u32string& ent) {
    static const std::pair<const char32_t*, char32_t> kNamed[] = {{U"lt", '<'},   {U"gt", '>'},    {U"amp", '&'},
                                                                  {U"quot", '"'}, {U"apos", '\''}, {U"nbsp", 0xA0}};
    for (const auto& [name, cp] : kNamed)
        if (ent == name) return cp;
    if (ent.size() < 2 || ent[0] != '#') return 0;
    const bool hex = ent[1] == 'x' || ent[1] == 'X';
    const size_t from = hex ? 2 : 1;
    if (from >= ent.size()) return 0;
    uint32_t v = 0;
    for (size_t k = from; k < ent.size(); ++k) {
        const char32_t d = ent[k];
        const int dv = d >= '0' && d <= '9'          ? int(d - '0')
                       : hex && d >= 'a' && d <= 'f' ? int(d - 'a' + 10)
                       : hex && d >= 'A' && d <= 'F' ? int(d - 'A' + 10)
                                                     : -1;
        if (dv < 0 || v > 0x10FFFF) return 0;
        v = v * (hex ? 16 : 10) + static_cast<uint32_t>(dv);
    }
    return v > 0 && v <= 0x10FFFF ? v : 0;
}

struct HtmlTag {
    std::string name;  // lower case
    bool closing = false;
    std::map<std::string, std::string> attributes;  // lower-case names
};

HtmlTag ParseTag(const std::u32string& body) {
    HtmlTag t;
    size_t i = 0;
    auto ascii = [](char32_t c) { return c < 0x80 ? static_cast<char>(c) : '?'; };
    auto space = [&](size_t k) {
        return k < body.size() && (body[k] == ' ' || body[k] == '\t' || body[k] == '\r' || body[k] == '\n');
    };
    auto word = [&](size_t k) {
        return k < body.size() && body[k] != '=' && body[k] != '/' && body[k] != '>' && !space(k);
    };
    while (space(i)) ++i;
    if (i < body.size() && body[i] == '/') {
        t.closing = true;
        ++i;
    }
    for (; word(i); ++i) t.name.push_back(ascii(body[i]));
    t.name = LowerAscii(t.name);
    while (i < body.size()) {
        while (space(i) || (i < body.size() && body[i] == '/')) ++i;
        std::string key;
        for (; word(i); ++i) key.push_back(ascii(body[i]));
        if (key.empty()) {
            ++i;
            continue;
        }
        while (space(i)) ++i;
        std::u32string value;
        if (i < body.size() && body[i] == '=') {
            ++i;
            while (space(i)) ++i;
            if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
                const char32_t q = body[i++];
                for (; i < body.size() && body[i] != q; ++i) value.push_back(body[i]);
                ++i;
            } else {
                for (; i < body.size() && !space(i); ++i) value.push_back(body[i]);
            }
        }
        std::string v;
        for (char32_t c : value) AppendUtf8(v, c);
        t.attributes[LowerAscii(key)] = v;
    }
    return t;
}

// "12" (pixels), "+2" / "-2" (relative to `current`, in twips); nullopt when unreadable.
std::optional<double> FontSize(const std::string& v, double current) {
    if (v.empty()) return std::nullopt;
    const bool rel = v[0] == '+' || v[0] == '-';
    int n = 0;
    size_t k = rel ? 1 : 0;
    if (k >= v.size()) return std::nullopt;
    for (; k < v.size() && v[k] >= '0' && v[k] <= '9' && n < 10000; ++k) n = n * 10 + (v[k] - '0');
    if (k == (rel ? 1u : 0u)) return std::nullopt;
    const double px = rel ? current / 20 + (v[0] == '-' ? -n : n) : n;
    return std::clamp(px, 1.0, 255.0) * 20;
}

uint8_t AlignOf(const std::string& v, uint8_t fallback) {
    const std::string a = LowerAscii(v);
    if (a == "left") return 0;
    if (a == "right") return 1;
    if (a == "center" || a == "centre") return 2;
    if (a == "justify") return 3;
    return fallback;
}

}  // namespace

StyledText ParseHtmlText(const std::string& html, const TextStyle& base, uint8_t align, const StyleSheet* sheet) {
    constexpr size_t kMaxOpenTags = 1024;
    const std::u32string s = DecodeText(html, true);
    StyledText out;
    out.styles.push_back(base);
    struct Open {
        std::string tag;
        uint16_t style;
    };
    std::vector<Open> open;  // formatting tags in force, innermost last
    uint16_t cur = 0;
    uint8_t paraAlign = align;
    auto newParagraph = [&](bool continued) {
        StyledParagraph p;
        p.style = cur;
        p.align = paraAlign;
        p.continued = continued;
        out.paragraphs.push_back(std::move(p));
    };
    auto put = [&](char32_t c) {
        StyledParagraph& p = out.paragraphs.back();
        if (p.chars.empty()) p.style = cur;
        p.chars.push_back(c);
        p.styles.push_back(cur);
    };
    auto push = [&](const std::string& tag, const TextStyle& st) {
        if (open.size() >= kMaxOpenTags) return;  // hostile nesting: the formatting stays as it is
        uint16_t idx = cur;
        auto it = std::find(out.styles.begin(), out.styles.end(), st);
        if (it != out.styles.end()) {
            idx = static_cast<uint16_t>(it - out.styles.begin());
        } else if (out.styles.size() < kMaxTextStyles) {
            out.styles.push_back(st);
            idx = static_cast<uint16_t>(out.styles.size() - 1);
        }
        open.push_back(Open{tag, cur});
        cur = idx;
    };
    auto pop = [&](const std::string& tag) {
        for (size_t k = open.size(); k-- > 0;)
            if (open[k].tag == tag) {
                cur = open[k].style;
                open.resize(k);
                return;
            }
    };
    // Tags a style sheet formats, innermost last, and whether each stands as a block.
    std::vector<std::pair<std::string, bool>> styled;
    newParagraph(false);
    for (size_t i = 0; i < s.size();) {
        const char32_t c = s[i];
        if (c == '<') {
            const size_t end = s.find('>', i);
            if (end == std::u32string::npos) break;  // an unfinished tag ends the text
            const HtmlTag t = ParseTag(s.substr(i + 1, end - i - 1));
            i = end + 1;
            auto attr = [&](const char* name) -> const std::string* {
                auto it = t.attributes.find(name);
                return it == t.attributes.end() ? nullptr : &it->second;
            };
            if (sheet && t.closing && !styled.empty() && styled.back().first == t.name) {
                pop(t.name + " css");
                if (styled.back().second && t.name != "p" && t.name != "li") newParagraph(false);
                styled.pop_back();
            }
            std::optional<CssStyle> css;
            if (sheet && !t.closing) {
                const std::string* cls = attr("class");
                for (const std::string& key : {t.name, cls ? "." + LowerAscii(*cls) : std::string()})
                    if (auto it = sheet->find(key); !key.empty() && it != sheet->end()) {
                        CssStyle& into = css ? *css : css.emplace();
                        const CssStyle& from = it->second;
                        if (from.face) into.face = from.face;
                        if (from.height) into.height = from.height;
                        if (from.color) into.color = from.color;
                        if (from.bold) into.bold = from.bold;
                        if (from.italic) into.italic = from.italic;
                        if (from.align) into.align = from.align;
                        if (from.display) into.display = from.display;
                    }
            }
            if (css && css->display == CssStyle::Display::None) {
                // Not shown: everything up to the tag's own end (nested ones of its name counted).
                int depth = 1;
                while (depth > 0 && i < s.size()) {
                    const size_t lt = s.find('<', i), gt = lt == std::u32string::npos ? lt : s.find('>', lt);
                    if (gt == std::u32string::npos) {
                        i = s.size();
                        break;
                    }
                    const HtmlTag inner = ParseTag(s.substr(lt + 1, gt - lt - 1));
                    if (inner.name == t.name) depth += inner.closing ? -1 : 1;
                    i = gt + 1;
                }
                continue;
            }
            if (css) {
                const bool block =
                    css->display ? *css->display == CssStyle::Display::Block : t.name == "p" || t.name == "li";
                if (block && t.name != "p" && t.name != "li" && !out.paragraphs.back().chars.empty())
                    newParagraph(false);
            }
            if (t.name == "p") {
                if (t.closing) {
                    paraAlign = align;
                    newParagraph(false);
                } else {
                    if (!out.paragraphs.back().chars.empty()) newParagraph(false);
                    const std::string* a = attr("align");
                    paraAlign = a ? AlignOf(*a, align) : align;
                    out.paragraphs.back().align = paraAlign;
                }
            } else if (t.name == "br" && !t.closing) {
                newParagraph(true);
            } else if (t.name == "li") {
                if (t.closing) {
                    newParagraph(false);
                } else {
                    if (!out.paragraphs.back().chars.empty()) newParagraph(false);
                    put(0x2022);
                    put(' ');
                }
            } else if (t.name == "font" || t.name == "b" || t.name == "i") {
                if (t.closing) {
                    pop(t.name);
                    continue;
                }
                TextStyle st = out.styles[cur];
                if (t.name == "b") st.bold = true;
                if (t.name == "i") st.italic = true;
                if (const std::string* v = attr("face")) st.face = v->substr(0, v->find(','));
                if (const std::string* v = attr("size"))
                    if (auto h = FontSize(*v, st.height)) st.height = *h;
                if (const std::string* v = attr("color"))
                    if (auto col = HexColor(*v, st.color.a)) st.color = *col;
                if (const std::string* v = attr("kerning")) st.kerning = *v == "1";
                push(t.name, st);
            }
            if (css && styled.size() < kMaxOpenTags) {
                TextStyle st = out.styles[cur];
                if (css->face) st.face = *css->face;
                if (css->height) st.height = *css->height;
                if (css->color) st.color = *css->color;
                if (css->bold) st.bold = *css->bold;
                if (css->italic) st.italic = *css->italic;
                if (css->align) out.paragraphs.back().align = paraAlign = *css->align;
                const bool block =
                    css->display ? *css->display == CssStyle::Display::Block : t.name == "p" || t.name == "li";
                styled.emplace_back(t.name, block);
                push(t.name + " css", st);
            }
            continue;
        }
        if (c == '&') {
            // Entities are short: look for the ';' close by only (a long text of '&' stays linear).
            const size_t end = s.substr(i, 12).find(';');
            if (end != std::u32string::npos) {
                const size_t stop = i + end;
                if (const char32_t cp = Entity(s.substr(i + 1, stop - i - 1))) {
                    put(cp);
                    i = stop + 1;
                    continue;
                }
            }
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            newParagraph(false);
        } else {
            put(c);
        }
        ++i;
    }
    return out;
}

namespace {

// Where an edit field's glyphs come from: an embedded font or a device font.
class GlyphSource {
public:
    GlyphSource(const Font* embedded, DeviceFontSource* device, std::string family, bool bold, bool italic)
        : font_(embedded), device_(device), family_(std::move(family)), bold_(bold), italic_(italic) {
        if (font_) {
            em_ = font_->emSize;
            if (font_->hasLayout && font_->ascent + font_->descent > 0) {
                ascent_ = font_->ascent;
                descent_ = font_->descent;
            } else {
                ascent_ = em_ * 0.8;
                descent_ = em_ * 0.2;
            }
            usable_ = true;
        } else if (device_) {
            if (auto m = device_->Metrics(family_, bold_, italic_);
                m && m->unitsPerEm > 0 && std::isfinite(m->unitsPerEm)) {
                em_ = m->unitsPerEm;
                ascent_ = m->ascent;
                descent_ = m->descent;
                if (!(ascent_ + descent_ > 0)) {
                    ascent_ = em_ * 0.8;
                    descent_ = em_ * 0.2;
                }
                usable_ = true;
            }
        }
    }
    bool Usable() const { return usable_; }
    double Em() const { return em_; }
    double Ascent() const { return ascent_; }
    double Descent() const { return descent_; }

    // Advance of a code point in em units (0 when it has no glyph).
    double Advance(char32_t cp) {
        if (font_) {
            const int i = font_->IndexOf(cp);
            if (i < 0) return cp == ' ' ? em_ / 4 : 0;
            const Glyph& g = font_->glyphs[static_cast<size_t>(i)];
            if (font_->hasLayout) return g.advance;
            return g.edges.empty() ? em_ / 4 : std::max(0.0, g.xmax) + em_ / 16;
        }
        const GlyphOutline* o = Outline(cp);
        return o ? o->advance : 0;
    }

    void Draw(ShapeWriter& w, char32_t cp, const raster::Matrix& m, uint16_t fill) {
        if (font_) {
            const int i = font_->IndexOf(cp);
            if (i >= 0) w.AddEdges(font_->glyphs[static_cast<size_t>(i)].edges, m, fill);
            return;
        }
        if (const GlyphOutline* o = Outline(cp)) w.AddOutline(*o, m, fill);
    }

private:
    const GlyphOutline* Outline(char32_t cp) {
        auto it = cache_.find(cp);
        if (it == cache_.end()) it = cache_.emplace(cp, device_->Glyph(family_, bold_, italic_, cp)).first;
        return it->second ? &*it->second : nullptr;
    }

    const Font* font_;
    DeviceFontSource* device_;
    std::string family_;
    bool bold_, italic_;
    bool usable_ = false;
    double em_ = 1024, ascent_ = 0, descent_ = 0;
    std::unordered_map<char32_t, std::optional<GlyphOutline>> cache_;
};

}  // namespace

bool ParseDefineEditText(std::span<const uint8_t> data, EditTextDef& d, std::string& error) {
    BitReader r(data);
    d = EditTextDef{};
    d.id = r.U16();
    d.bounds = swf::ReadRect(r);
    const uint8_t f1 = r.U8(), f2 = r.U8();
    const bool hasText = f1 & 0x80, hasColor = f1 & 0x04, hasMaxLength = f1 & 0x02, hasFont = f1 & 0x01;
    d.wordWrap = f1 & 0x40;
    d.multiline = f1 & 0x20;
    d.password = f1 & 0x10;
    d.readOnly = f1 & 0x08;
    const bool hasFontClass = f2 & 0x80, hasLayout = f2 & 0x20;
    d.autoSize = f2 & 0x40;
    d.noSelect = f2 & 0x10;
    d.border = f2 & 0x08;
    d.html = f2 & 0x02;
    d.useOutlines = f2 & 0x01;
    if (hasFont) d.fontId = r.U16();
    if (hasFontClass) (void)r.Str();
    if (hasFont || hasFontClass) d.height = r.U16();
    if (hasColor) d.color = swf::ReadRgba(r);
    if (hasMaxLength) d.maxLength = r.U16();
    if (hasLayout) {
        d.align = r.U8();
        d.leftMargin = r.U16();
        d.rightMargin = r.U16();
        d.indent = r.U16();
        d.leading = r.S16();
    }
    d.variable = r.Str();
    if (hasText) d.text = r.Str();
    if (!r.Ok()) {
        error = "edit text " + std::to_string(d.id) + ": record truncated";
        if (d.id == 0 && data.size() < 2) return false;
        d.text.clear();  // the field stays, empty
    }
    return true;
}

bool BuildDefineEditText(std::span<const uint8_t> data, const TextContext& ctx, TextShape& out, std::string& error) {
    EditTextDef d;
    if (!ParseDefineEditText(data, d, error)) return false;
    LayoutEditText(d, d.text, ctx, out);
    return true;
}

namespace {

uint16_t StyleIndex(StyledText& text, const TextStyle& st, uint16_t fallback) {
    auto it = std::find(text.styles.begin(), text.styles.end(), st);
    if (it != text.styles.end()) return static_cast<uint16_t>(it - text.styles.begin());
    if (text.styles.size() >= kMaxTextStyles) return fallback;
    text.styles.push_back(st);
    return static_cast<uint16_t>(text.styles.size() - 1);
}

void ApplyPatches(const std::vector<FormatPatch>& patches, StyledText& text) {
    for (const FormatPatch& f : patches) {
        size_t at = 0;  // position of the paragraph's first character
        for (StyledParagraph& p : text.paragraphs) {
            for (size_t i = 0; i < p.chars.size() && at + i < f.end; ++i) {
                if (at + i < f.begin) continue;
                TextStyle st = text.styles[p.styles[i]];
                if (f.face) st.face = *f.face;
                if (f.height) st.height = *f.height;
                if (f.color) st.color = *f.color;
                if (f.bold) st.bold = *f.bold;
                if (f.italic) st.italic = *f.italic;
                p.styles[i] = StyleIndex(text, st, p.styles[i]);
            }
            at += p.chars.size() + 1;
            if (at >= f.end) break;
        }
    }
}

}  // namespace

void LayoutEditText(const EditTextDef& d, std::string raw, const TextContext& ctx, TextShape& out, TextExtent* extent) {
    out = TextShape{};
    out.id = d.id;
    out.bounds = d.bounds;
    out.clipToBounds = true;
    if (extent) *extent = TextExtent{};
    const bool wordWrap = d.wordWrap, multiline = d.multiline, password = d.password, html = d.html;
    const bool hasMaxLength = d.maxLength > 0, useOutlines = d.useOutlines, hasFont = d.fontId != 0;
    const uint16_t fontId = d.fontId, maxLength = d.maxLength;
    const double height = d.height;
    const raster::Rgba color = d.color;
    const uint8_t align = d.align;
    const double leftMargin = d.leftMargin, rightMargin = d.rightMargin, indent = d.indent, leading = d.leading;

    ShapeWriter w(out, ctx.edgeBudget);
    out.box = d.border;  // drawn by the display list, in whole device pixels
    const Font* font = nullptr;
    if (hasFont && ctx.fonts) {
        auto it = ctx.fonts->find(fontId);
        if (it != ctx.fonts->end()) font = &it->second;
    }
    if (raw.empty()) return;
    if (raw.size() > kMaxEditTextChars) raw.resize(kMaxEditTextChars);
    bool utf8 = ctx.swfVersion >= 6;
    if (!utf8 && ctx.deviceFonts) {  // legacy code page: re-encoded as UTF-8 before anything else
        if (std::optional<std::u32string> legacy = ctx.deviceFonts->DecodeLegacyText(raw)) {
            std::string u;
            for (char32_t c : *legacy) AppendUtf8(u, c);
            raw = std::move(u);
            utf8 = true;
        }
    }
    TextStyle base;
    // In HTML the markup says what is bold or italic (<b>, <i>); the field's font only names the face.
    base.bold = !html && ((font && font->bold) || d.bold);
    base.italic = !html && ((font && font->italic) || d.italic);
    base.height = height;
    base.color = color;
    StyledText text;
    if (html) {
        if (!utf8) {  // Latin-1 to UTF-8 first: the markup is read as UTF-8
            std::string u;
            for (unsigned char c : raw) AppendUtf8(u, c);
            raw = std::move(u);
        }
        text = ParseHtmlText(raw, base, align, d.styleSheet.get());
    } else {
        // Plain text: CR LF, CR and LF each end a paragraph.
        text.styles.push_back(base);
        text.paragraphs.emplace_back();
        const std::u32string chars = DecodeText(raw, utf8);
        for (size_t i = 0; i < chars.size(); ++i) {
            const char32_t c = chars[i];
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < chars.size() && chars[i + 1] == '\n') ++i;
                text.paragraphs.emplace_back();
                continue;
            }
            text.paragraphs.back().chars.push_back(c);
        }
        for (StyledParagraph& p : text.paragraphs) {
            p.align = align;
            p.styles.assign(p.chars.size(), 0);
        }
    }
    ApplyPatches(d.patches, text);
    // A single-line field shows its first line; tabs become spaces, other control characters and
    // what lies beyond the maximum length are dropped.
    if (!multiline) text.paragraphs.resize(1);
    size_t kept = 0;
    for (StyledParagraph& p : text.paragraphs) {
        size_t n = 0;
        for (size_t i = 0; i < p.chars.size(); ++i) {
            char32_t c = p.chars[i];
            if (c == '\t') c = ' ';
            if (c < 0x20 || (hasMaxLength && kept >= maxLength)) continue;
            p.chars[n] = password ? U'*' : c;
            p.styles[n++] = p.styles[i];
            ++kept;
        }
        p.chars.resize(n);
        p.styles.resize(n);
    }

    // Glyph sources per style. With embedded outlines a face names another embedded font (the
    // field's own when none matches); otherwise the device font of that name.
    const bool embedded = font && useOutlines && !font->glyphs.empty();
    const std::string fieldFamily = font && !font->name.empty() ? font->name : !d.face.empty() ? d.face : "_serif";
    std::vector<std::unique_ptr<GlyphSource>> sources;
    std::map<std::string, GlyphSource*> byKey;
    auto source = [&](const Font* f, const std::string& family, bool bold, bool italic) -> GlyphSource* {
        const std::string key = f ? "#" + std::to_string(f->id) : family + (bold ? "/b" : "/") + (italic ? "i" : "");
        auto it = byKey.find(key);
        if (it != byKey.end()) return it->second;
        sources.push_back(std::make_unique<GlyphSource>(f, f ? nullptr : ctx.deviceFonts, family, bold, italic));
        GlyphSource* g = sources.back()->Usable() ? sources.back().get() : nullptr;
        byKey.emplace(key, g);
        return g;
    };
    // The embedded font of the style's face (the field's own face unless the markup names one)
    // whose bold and italic flags match the style; the field's own font only breaks a tie.
    auto embeddedFace = [&](const TextStyle& st) -> const Font* {
        const std::string face = !st.face.empty() ? st.face : font ? font->name : std::string();
        if (face.empty() || !ctx.fonts || (!html && st.face.empty())) return font;
        const Font* best = nullptr;
        int bestScore = -1;
        for (const auto& [id, f] : *ctx.fonts) {
            if (f.glyphs.empty() || LowerAscii(f.name) != LowerAscii(face)) continue;
            const int score = (f.bold == st.bold) * 2 + (f.italic == st.italic) * 2 + (&f == font);
            if (score > bestScore || (score == bestScore && best && f.id < best->id)) {
                best = &f;
                bestScore = score;
            }
        }
        return best ? best : font;
    };
    struct Resolved {
        GlyphSource* src = nullptr;
        const Font* kern = nullptr;  // font whose kerning pairs apply
        double scale = 0;
        uint16_t fill = 0;
    };
    std::vector<Resolved> styles(text.styles.size());
    bool any = false;
    for (size_t k = 0; k < text.styles.size(); ++k) {
        const TextStyle& st = text.styles[k];
        Resolved& rs = styles[k];
        if (embedded) {
            const Font* f = embeddedFace(st);
            rs.src = source(f, f->name, f->bold, f->italic);
            if (st.kerning) rs.kern = f;
        } else {
            rs.src = source(nullptr, st.face.empty() ? fieldFamily : st.face, st.bold, st.italic);
            if (!rs.src && !st.face.empty()) rs.src = source(nullptr, fieldFamily, st.bold, st.italic);
        }
        if (!rs.src) continue;
        any = true;
        rs.scale = st.height / rs.src->Em();
        rs.fill = w.FillFor(st.color);
    }
    if (!any) return;

    auto advance = [&](const StyledParagraph& p, size_t i) {
        const Resolved& rs = styles[p.styles[i]];
        if (!rs.src) return 0.0;
        double a = rs.src->Advance(p.chars[i]);
        if (rs.kern && i + 1 < p.chars.size() && p.styles[i + 1] == p.styles[i])
            a += rs.kern->Kerning(p.chars[i], p.chars[i + 1]);
        return a * rs.scale;
    };
    const double boxLeft = out.bounds.xmin + kFieldPadding + leftMargin;
    const double boxWidth =
        (static_cast<double>(out.bounds.xmax) - out.bounds.xmin) - 2 * kFieldPadding - leftMargin - rightMargin;

    // Greedy word wrap at spaces; a word wider than the line is broken between characters.
    struct Line {
        const StyledParagraph* para;
        size_t begin, end;
        bool first;
    };
    std::vector<Line> lines;
    for (const StyledParagraph& para : text.paragraphs) {
        const bool indented = !para.continued;
        if (!wordWrap || para.chars.empty()) {
            lines.push_back(Line{&para, 0, para.chars.size(), indented});
            continue;
        }
        bool first = indented;
        size_t pos = 0;
        while (pos < para.chars.size()) {
            const double avail = boxWidth - (first ? indent : 0);
            double used = 0;
            size_t lastBreak = std::u32string::npos, i = pos;
            for (; i < para.chars.size(); ++i) {
                const double a = advance(para, i);
                if (para.chars[i] == ' ') lastBreak = i;
                if (used + a > avail && para.chars[i] != ' ' && i > pos) break;
                used += a;
            }
            size_t end = i, next = i;
            if (i < para.chars.size() && lastBreak != std::u32string::npos && lastBreak > pos) {
                end = lastBreak;
                next = lastBreak + 1;
            }
            lines.push_back(Line{&para, pos, end, first});
            first = false;
            pos = next;
            while (pos < para.chars.size() && para.chars[pos] == ' ') ++pos;  // spaces at a wrap are not drawn
            if (lines.size() > kMaxGlyphsPerText) break;
        }
        if (lines.size() > kMaxGlyphsPerText) break;
    }

    // Each line stands on the tallest of its styles; an empty line has its paragraph's height.
    struct Metrics {
        double ascent = 0, descent = 0, width = 0;
        size_t end = 0;  // trailing spaces left out
    };
    std::vector<Metrics> metrics(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const Line& line = lines[k];
        const StyledParagraph& p = *line.para;
        Metrics& mt = metrics[k];
        mt.end = line.end;
        while (mt.end > line.begin && p.chars[mt.end - 1] == ' ') --mt.end;
        auto measure = [&](const Resolved& rs) {
            if (!rs.src) return;
            mt.ascent = std::max(mt.ascent, rs.src->Ascent() * rs.scale);
            mt.descent = std::max(mt.descent, rs.src->Descent() * rs.scale);
        };
        if (mt.end == line.begin) measure(styles[p.style]);
        for (size_t i = line.begin; i < mt.end; ++i) {
            measure(styles[p.styles[i]]);
            mt.width += advance(p, i);
        }
    }
    // Where each line's top stands when all are stacked, leading between them.
    std::vector<double> tops(lines.size() + 1, 0.0);
    for (size_t k = 0; k < lines.size(); ++k)
        tops[k + 1] = tops[k] + metrics[k].ascent + metrics[k].descent + (k + 1 < lines.size() ? leading : 0);
    auto stacked = [&](size_t from, size_t to) {  // the height lines [from, to) take
        return to > from ? tops[to] - tops[from] - (to < lines.size() ? leading : 0) : 0.0;
    };
    const double room = (static_cast<double>(out.bounds.ymax) - out.bounds.ymin) - 2 * kFieldPadding;
    // The last line that can stand on top: the lines below it fill the field.
    size_t maxTop = lines.size() ? lines.size() - 1 : 0;
    while (maxTop > 0 && stacked(maxTop - 1, lines.size()) <= room) --maxTop;
    const size_t top = std::min<size_t>(d.scroll, maxTop);
    if (extent) {
        for (size_t k = 0; k < lines.size(); ++k)
            extent->width = std::max(extent->width, metrics[k].width + (lines[k].first ? indent : 0));
        extent->height = stacked(0, lines.size());
        extent->lines = static_cast<int>(lines.size());
        extent->maxScroll = static_cast<int>(maxTop) + 1;
        if (!lines.empty()) {
            extent->ascent = metrics[0].ascent;
            extent->descent = metrics[0].descent;
        }
        size_t bottom = top + 1;
        while (bottom < lines.size() && stacked(top, bottom + 1) <= room) ++bottom;
        extent->bottomScroll = static_cast<int>(bottom);
    }

    double baseline = out.bounds.ymin + kFieldPadding, prevDescent = 0;
    for (size_t k = top; k < lines.size(); ++k) {
        const Line& line = lines[k];
        const StyledParagraph& p = *line.para;
        const Metrics& mt = metrics[k];
        baseline += (k == top ? 0 : prevDescent + leading) + mt.ascent;
        prevDescent = mt.descent;
        if (baseline - mt.ascent > out.bounds.ymax || w.Full()) break;  // below the field
        double x = boxLeft + (line.first ? indent : 0) - d.hscroll;
        const double avail = boxWidth - (line.first ? indent : 0);
        if (p.align == 1)
            x += avail - mt.width;  // right
        else if (p.align == 2)
            x += (avail - mt.width) / 2;  // centre; justify is drawn left aligned
        for (size_t i = line.begin; i < mt.end; ++i) {
            const Resolved& rs = styles[p.styles[i]];
            const double adv = advance(p, i);
            // Glyphs wholly outside the field are left out (the field cuts its text off there).
            if (rs.src && x + adv >= out.bounds.xmin && x <= out.bounds.xmax) {
                raster::Matrix m;
                m.a = m.d = rs.scale;
                m.tx = x;
                m.ty = baseline;
                rs.src->Draw(w, p.chars[i], m, rs.fill);
            }
            x += adv;
        }
    }
}

}  // namespace lumarel::engine::text
