#include "engine/text/text_shapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>

#include "engine/swf/bit_reader.h"

namespace lumarel::engine::text {

using swf::BitReader;

namespace {

constexpr double kPadding = 40;  // twips between an edit field's border and its text

// Collects glyph outlines into one layer, one solid fill per colour.
class ShapeWriter {
 public:
  ShapeWriter(TextShape& out, long* budget) : out_(out), budget_(budget) {
    out_.shape.layers.emplace_back();
  }

  uint16_t FillFor(raster::Rgba c) {
    const uint32_t key = (uint32_t(c.r) << 24) | (uint32_t(c.g) << 16) | (uint32_t(c.b) << 8) | c.a;
    auto it = fills_.find(key);
    if (it != fills_.end()) return it->second;
    raster::Layer& l = glyphLayer();
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
    raster::Layer& l = glyphLayer();
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
    raster::Layer& l = glyphLayer();
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

  // A background and/or border rectangle below the glyphs.
  void Box(const swf::Rect& b, std::optional<raster::Rgba> fill, std::optional<raster::Rgba> line) {
    raster::Layer box;
    if (fill) {
      raster::Paint p;
      p.color = *fill;
      box.fills.push_back(p);
    }
    if (line) {
      raster::Stroke s;
      s.width = 20;
      s.paint.color = *line;
      s.join = raster::Join::Miter;
      s.startCap = s.endCap = raster::Cap::Square;
      box.strokes.push_back(s);
    }
    const float x0 = float(b.xmin), x1 = float(b.xmax), y0 = float(b.ymin), y1 = float(b.ymax);
    const float pts[5][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    for (int i = 0; i < 4; ++i) {
      raster::Edge e;
      e.x0 = pts[i][0], e.y0 = pts[i][1], e.x1 = pts[i + 1][0], e.y1 = pts[i + 1][1];
      e.fill1 = fill ? 1 : 0;
      e.line = line ? 1 : 0;
      box.edges.push_back(e);
    }
    out_.edgeCount += 4;
    out_.shape.layers.insert(out_.shape.layers.begin(), std::move(box));
  }

 private:
  raster::Layer& glyphLayer() { return out_.shape.layers.back(); }
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
  out.id = r.u16();
  out.bounds = swf::ReadRect(r);
  const raster::Matrix matrix = swf::ReadMatrix(r);
  const unsigned glyphBits = r.u8();
  const unsigned advanceBits = r.u8();
  if (!r.ok() || glyphBits > 32 || advanceBits > 32) {
    error = "text " + std::to_string(out.id) + ": header truncated or malformed";
    return false;
  }
  ShapeWriter w(out, ctx.edgeBudget);
  const Font* font = nullptr;
  raster::Rgba color{0, 0, 0, 255};
  double height = 0, x = 0, y = 0;
  while (r.ok() && !w.Full()) {
    const uint8_t flags = r.u8();
    if (!r.ok() || flags == 0) break;  // EndOfRecordsFlag
    if (flags & 0x08) {
      const uint16_t fid = r.u16();
      font = nullptr;
      if (ctx.fonts) {
        auto it = ctx.fonts->find(fid);
        if (it != ctx.fonts->end()) font = &it->second;
      }
    }
    if (flags & 0x04) color = version >= 2 ? swf::ReadRgba(r) : swf::ReadRgb(r);
    if (flags & 0x01) x = r.s16();
    if (flags & 0x02) y = r.s16();
    if (flags & 0x08) height = r.u16();
    const unsigned count = r.u8();
    if (!r.ok()) break;
    const uint16_t fill = w.FillFor(color);
    for (unsigned i = 0; i < count && r.ok(); ++i) {
      const uint32_t index = r.ub(glyphBits);
      const int32_t advance = r.sb(advanceBits);
      if (!r.ok()) break;
      if (font && index < font->glyphs.size() && !font->glyphs[index].edges.empty())
        w.AddEdges(font->glyphs[index].edges, GlyphMatrix(matrix, height / font->emSize, x, y), fill);
      x += advance;
    }
    r.align();
  }
  if (!r.ok()) error = "text " + std::to_string(out.id) + ": records cut short";
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

std::string PlainFromHtml(const std::string& html) {
  std::string out;
  out.reserve(html.size());
  for (size_t i = 0; i < html.size();) {
    const char c = html[i];
    if (c == '<') {
      const size_t end = html.find('>', i);
      if (end == std::string::npos) break;  // an unfinished tag ends the text
      std::string name = LowerAscii(html.substr(i + 1, end - i - 1));
      const size_t sp = name.find_first_of(" \t\r\n/");
      const bool closing = !name.empty() && name[0] == '/';
      std::string word = closing ? name.substr(1) : name.substr(0, sp);
      if (closing) word = word.substr(0, word.find_first_of(" \t\r\n"));
      if ((word == "br" && !closing) || (word == "p" && closing) || (word == "li" && closing)) out.push_back('\n');
      i = end + 1;
      continue;
    }
    if (c == '&') {
      const size_t end = html.find(';', i);
      if (end != std::string::npos && end - i <= 10) {
        const std::string ent = html.substr(i + 1, end - i - 1);
        char32_t cp = 0;
        if (ent == "lt") cp = '<';
        else if (ent == "gt") cp = '>';
        else if (ent == "amp") cp = '&';
        else if (ent == "quot") cp = '"';
        else if (ent == "apos") cp = '\'';
        else if (ent == "nbsp") cp = 0xA0;
        else if (ent.size() > 1 && ent[0] == '#') {
          const bool hex = ent[1] == 'x' || ent[1] == 'X';
          const std::string digits = ent.substr(hex ? 2 : 1);
          uint32_t v = 0;
          bool ok = !digits.empty();
          for (char d : digits) {
            int dv = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                                                    : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
            if (dv < 0 || v > 0x10FFFF) {
              ok = false;
              break;
            }
            v = v * (hex ? 16 : 10) + static_cast<uint32_t>(dv);
          }
          if (ok && v > 0 && v <= 0x10FFFF) cp = v;
        }
        if (cp) {
          AppendUtf8(out, cp);
          i = end + 1;
          continue;
        }
      }
    }
    out.push_back(c);
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
      if (auto m = device_->Metrics(family_, bold_, italic_); m && m->unitsPerEm > 0 && std::isfinite(m->unitsPerEm)) {
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
  bool usable() const { return usable_; }
  double em() const { return em_; }
  double ascent() const { return ascent_; }
  double descent() const { return descent_; }

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

struct Line {
  std::u32string chars;
  bool firstOfParagraph = true;
};

}  // namespace

bool BuildDefineEditText(std::span<const uint8_t> data, const TextContext& ctx, TextShape& out, std::string& error) {
  BitReader r(data);
  out = TextShape{};
  out.id = r.u16();
  out.bounds = swf::ReadRect(r);
  out.clipToBounds = true;
  const uint8_t f1 = r.u8(), f2 = r.u8();
  const bool hasText = f1 & 0x80, wordWrap = f1 & 0x40, multiline = f1 & 0x20, password = f1 & 0x10,
             hasColor = f1 & 0x04, hasMaxLength = f1 & 0x02, hasFont = f1 & 0x01;
  const bool hasFontClass = f2 & 0x80, hasLayout = f2 & 0x20, border = f2 & 0x08, html = f2 & 0x02,
             useOutlines = f2 & 0x01;
  uint16_t fontId = 0, height = 240, maxLength = 0;
  if (hasFont) fontId = r.u16();
  if (hasFontClass) (void)r.str();
  if (hasFont || hasFontClass) height = r.u16();
  raster::Rgba color{0, 0, 0, 255};
  if (hasColor) color = swf::ReadRgba(r);
  if (hasMaxLength) maxLength = r.u16();
  uint8_t align = 0;
  double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
  if (hasLayout) {
    align = r.u8();
    leftMargin = r.u16();
    rightMargin = r.u16();
    indent = r.u16();
    leading = r.s16();
  }
  (void)r.str();  // variable name
  std::string raw;
  if (hasText) raw = r.str();
  if (!r.ok()) {
    error = "edit text " + std::to_string(out.id) + ": record truncated";
    if (out.id == 0 && data.size() < 2) return false;
    raw.clear();  // the field stays, empty
  }

  ShapeWriter w(out, ctx.edgeBudget);
  if (border) w.Box(out.bounds, raster::Rgba{255, 255, 255, 255}, raster::Rgba{0, 0, 0, 255});

  // Choose the glyph source.
  const Font* font = nullptr;
  if (hasFont && ctx.fonts) {
    auto it = ctx.fonts->find(fontId);
    if (it != ctx.fonts->end()) font = &it->second;
  }
  std::string family = font && !font->name.empty() ? font->name : "_serif";
  const bool embedded = font && useOutlines && !font->glyphs.empty();
  GlyphSource src(embedded ? font : nullptr, embedded ? nullptr : ctx.deviceFonts, family, font && font->bold,
                  font && font->italic);
  if (!src.usable() || raw.empty()) return true;

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
  if (html) {
    if (!utf8) {  // Latin-1 to UTF-8 first: the entities decode to UTF-8
      std::string u;
      for (unsigned char c : raw) AppendUtf8(u, c);
      raw = std::move(u);
      utf8 = true;
    }
    raw = PlainFromHtml(raw);
  }
  std::u32string text = DecodeText(raw, utf8);
  if (hasMaxLength && text.size() > maxLength) text.resize(maxLength);
  // Line breaks: CR LF, CR and LF each end a paragraph.
  std::vector<std::u32string> paragraphs(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (!multiline) break;  // a single-line field shows its first line
      paragraphs.emplace_back();
      continue;
    }
    if (c == '\t') c = ' ';
    if (c < 0x20) continue;
    paragraphs.back().push_back(password ? U'*' : c);
  }

  const double scale = height / src.em();
  const double boxLeft = out.bounds.xmin + kPadding + leftMargin;
  const double boxWidth = (static_cast<double>(out.bounds.xmax) - out.bounds.xmin) - 2 * kPadding - leftMargin - rightMargin;
  auto width = [&](const std::u32string& s) {
    double wsum = 0;
    for (char32_t c : s) wsum += src.Advance(c) * scale;
    return wsum;
  };

  // Greedy word wrap at spaces; a word wider than the line is broken between characters.
  std::vector<Line> lines;
  for (const std::u32string& para : paragraphs) {
    if (!wordWrap) {
      lines.push_back(Line{para, true});
      continue;
    }
    bool first = true;
    size_t pos = 0;
    if (para.empty()) lines.push_back(Line{U"", true});
    while (pos < para.size()) {
      const double avail = boxWidth - (first ? indent : 0);
      double used = 0;
      size_t lastBreak = std::u32string::npos, i = pos;
      for (; i < para.size(); ++i) {
        const double a = src.Advance(para[i]) * scale;
        if (para[i] == ' ') lastBreak = i;
        if (used + a > avail && para[i] != ' ' && i > pos) break;
        used += a;
      }
      size_t end = i, next = i;
      if (i < para.size() && lastBreak != std::u32string::npos && lastBreak > pos) {
        end = lastBreak;
        next = lastBreak + 1;
      }
      lines.push_back(Line{para.substr(pos, end - pos), first});
      first = false;
      pos = next;
      while (pos < para.size() && para[pos] == ' ') ++pos;  // spaces at a wrap are not drawn
      if (lines.size() > kMaxGlyphsPerText) break;
    }
  }

  const uint16_t fill = w.FillFor(color);
  const double lineHeight = (src.ascent() + src.descent()) * scale + leading;
  double baseline = out.bounds.ymin + kPadding + src.ascent() * scale;
  for (const Line& line : lines) {
    if (baseline - src.ascent() * scale > out.bounds.ymax || w.Full()) break;  // below the field
    std::u32string s = line.chars;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    const double lw = width(s);
    double x = boxLeft + (line.firstOfParagraph ? indent : 0);
    const double avail = boxWidth - (line.firstOfParagraph ? indent : 0);
    if (align == 1) x += avail - lw;           // right
    else if (align == 2) x += (avail - lw) / 2;  // centre; justify is drawn left aligned
    for (char32_t c : s) {
      const double adv = src.Advance(c) * scale;
      // Glyphs wholly outside the field are left out (the field cuts its text off there).
      if (x + adv < out.bounds.xmin || x > out.bounds.xmax) {
        x += adv;
        continue;
      }
      raster::Matrix m;
      m.a = m.d = scale;
      m.tx = x;
      m.ty = baseline;
      src.Draw(w, c, m, fill);
      x += adv;
    }
    baseline += lineHeight;
  }
  return true;
}

}  // namespace lumarel::engine::text
