// System fonts on Linux: fontconfig picks the font file, FreeType reads its outlines unscaled
// and unhinted. Cubic segments (CFF/OpenType fonts such as Noto CJK) are split into quadratics.
#include <fontconfig/fontconfig.h>
#include <iconv.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/fonts.h"

namespace lumarel::platform {

namespace {

std::string FamilyFor(const std::string& family) {
    if (family == "_sans") return "sans-serif";
    if (family == "_serif") return "serif";
    if (family == "_typewriter") return "monospace";
    return family.empty() ? "serif" : family;
}

struct Face {
    FT_Face face = nullptr;
};

// Collects an outline's contours, scaled by `scale` and with y turned downwards.
struct Collector {
    FontGlyph* out;
    double scale;
    double sx = 0, sy = 0, x = 0, y = 0;
    bool open = false;

    void CloseContour() {
        if (open && (x != sx || y != sy)) Line(sx, sy);
        open = false;
    }
    void Line(double nx, double ny) {
        FontSegment s;
        s.x0 = float(x * scale), s.y0 = float(-y * scale), s.x1 = float(nx * scale), s.y1 = float(-ny * scale);
        out->segments.push_back(s);
        x = nx, y = ny;
    }
    void Quad(double cx, double cy, double nx, double ny) {
        FontSegment s;
        s.curve = true;
        s.x0 = float(x * scale), s.y0 = float(-y * scale);
        s.cx = float(cx * scale), s.cy = float(-cy * scale);
        s.x1 = float(nx * scale), s.y1 = float(-ny * scale);
        out->segments.push_back(s);
        x = nx, y = ny;
    }
    // A cubic as four quadratics: each quarter of the curve gets the control point that matches
    // its end tangents on average, well within a hundredth of the em for font curves.
    void Cubic(double c1x, double c1y, double c2x, double c2y, double nx, double ny) {
        const double p0x = x, p0y = y;
        auto at = [&](double t, double& ox, double& oy) {
            const double u = 1 - t;
            ox = u * u * u * p0x + 3 * u * u * t * c1x + 3 * u * t * t * c2x + t * t * t * nx;
            oy = u * u * u * p0y + 3 * u * u * t * c1y + 3 * u * t * t * c2y + t * t * t * ny;
        };
        auto d = [&](double t, double& ox, double& oy) {
            const double u = 1 - t;
            ox = 3 * (u * u * (c1x - p0x) + 2 * u * t * (c2x - c1x) + t * t * (nx - c2x));
            oy = 3 * (u * u * (c1y - p0y) + 2 * u * t * (c2y - c1y) + t * t * (ny - c2y));
        };
        constexpr int kParts = 4;
        for (int i = 0; i < kParts; ++i) {
            const double t0 = double(i) / kParts, t1 = double(i + 1) / kParts, h = t1 - t0;
            double ax, ay, bx, by, d0x, d0y, d1x, d1y;
            at(t0, ax, ay);
            at(t1, bx, by);
            d(t0, d0x, d0y);
            d(t1, d1x, d1y);
            // Control point: the average of the two tangent-line estimates.
            const double cx = 0.5 * ((ax + d0x * h / 2) + (bx - d1x * h / 2));
            const double cy = 0.5 * ((ay + d0y * h / 2) + (by - d1y * h / 2));
            x = ax, y = ay;
            Quad(cx, cy, bx, by);
        }
        x = nx, y = ny;
    }
};

int MoveTo(const FT_Vector* to, void* user) {
    auto* c = static_cast<Collector*>(user);
    c->CloseContour();
    c->sx = c->x = double(to->x);
    c->sy = c->y = double(to->y);
    c->open = true;
    return 0;
}
int LineTo(const FT_Vector* to, void* user) {
    static_cast<Collector*>(user)->Line(double(to->x), double(to->y));
    return 0;
}
int ConicTo(const FT_Vector* c1, const FT_Vector* to, void* user) {
    static_cast<Collector*>(user)->Quad(double(c1->x), double(c1->y), double(to->x), double(to->y));
    return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    static_cast<Collector*>(user)->Cubic(double(c1->x), double(c1->y), double(c2->x), double(c2->y), double(to->x),
                                         double(to->y));
    return 0;
}

class LinuxFonts : public Fonts {
public:
    LinuxFonts() { ok_ = FcInit() && FT_Init_FreeType(&lib_) == 0; }
    ~LinuxFonts() override {
        for (auto& [key, f] : files_)
            if (f) FT_Done_Face(f);
        if (lib_) FT_Done_FreeType(lib_);
    }
    bool Ok() const { return ok_; }

    std::optional<std::u32string> DecodeShiftJis(const std::string& bytes) override {
        iconv_t cd = iconv_open("UTF-32LE", "CP932");
        if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        std::string in = bytes;
        std::string out(in.size() * 4 + 4, '\0');
        char* ip = in.data();
        char* op = out.data();
        size_t il = in.size(), ol = out.size();
        const size_t r = iconv(cd, &ip, &il, &op, &ol);
        iconv_close(cd);
        if (r == static_cast<size_t>(-1) || il != 0) return std::nullopt;  // not Shift-JIS
        std::u32string text;
        const size_t n = (out.size() - ol) / 4;
        for (size_t i = 0; i < n; ++i) {
            const auto* b = reinterpret_cast<const unsigned char*>(out.data() + i * 4);
            text.push_back(char32_t(b[0]) | (char32_t(b[1]) << 8) | (char32_t(b[2]) << 16) | (char32_t(b[3]) << 24));
        }
        return text;
    }

    std::optional<FontGlyph> Glyph(const std::string& family, bool bold, bool italic, char32_t cp) override {
        std::lock_guard<std::mutex> lock(mu_);
        const auto key = std::make_tuple(family, bold, italic, cp);
        if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
        std::optional<FontGlyph> g = Load(family, bold, italic, cp);
        if (glyphs_.size() > 20000) glyphs_.clear();  // bounded cache
        glyphs_.emplace(key, g);
        return g;
    }

    std::optional<FontFaceMetrics> Metrics(const std::string& family, bool bold, bool italic) override {
        std::lock_guard<std::mutex> lock(mu_);
        FT_Face f = Primary(family, bold, italic);
        if (!f || f->units_per_EM == 0) return std::nullopt;
        FontFaceMetrics m;
        m.unitsPerEm = f->units_per_EM;
        m.ascent = f->ascender;
        m.descent = -double(f->descender);
        m.leading = std::max(0.0, double(f->height) - (m.ascent + m.descent));
        if (m.ascent + m.descent <= 0) {
            m.ascent = m.unitsPerEm * 0.8;
            m.descent = m.unitsPerEm * 0.2;
        }
        return m;
    }

private:
    // The face fontconfig matches for a pattern (a code point to cover and/or Japanese).
    FT_Face Match(const std::string& family, bool bold, bool italic, char32_t cover, bool japanese) {
        FcPattern* p = FcPatternCreate();
        FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(FamilyFor(family).c_str()));
        FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(p, FC_SCALABLE, FcTrue);
        if (japanese) FcPatternAddString(p, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcCharSet* cs = nullptr;
        if (cover) {
            cs = FcCharSetCreate();
            FcCharSetAddChar(cs, static_cast<FcChar32>(cover));
            FcPatternAddCharSet(p, FC_CHARSET, cs);
        }
        FcConfigSubstitute(nullptr, p, FcMatchPattern);
        FcDefaultSubstitute(p);
        FcResult res = FcResultNoMatch;
        FcPattern* m = FcFontMatch(nullptr, p, &res);
        FT_Face face = nullptr;
        if (m) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
                FcPatternGetInteger(m, FC_INDEX, 0, &index);
                face = Open(reinterpret_cast<const char*>(file), index);
            }
            FcPatternDestroy(m);
        }
        if (cs) FcCharSetDestroy(cs);
        FcPatternDestroy(p);
        return face;
    }

    FT_Face Open(const std::string& file, int index) {
        const auto key = std::make_pair(file, index);
        auto it = files_.find(key);
        if (it != files_.end()) return it->second;
        FT_Face f = nullptr;
        if (FT_New_Face(lib_, file.c_str(), index, &f) != 0 || !FT_IS_SCALABLE(f)) {
            if (f) FT_Done_Face(f);
            f = nullptr;
        }
        files_.emplace(key, f);
        return f;
    }

    FT_Face Primary(const std::string& family, bool bold, bool italic) {
        if (!ok_) return nullptr;
        const auto key = std::make_tuple(family, bold, italic);
        auto it = primary_.find(key);
        if (it != primary_.end()) return it->second;
        FT_Face f = Match(family, bold, italic, 0, false);
        primary_.emplace(key, f);
        return f;
    }

    std::optional<FontGlyph> Load(const std::string& family, bool bold, bool italic, char32_t cp) {
        FT_Face base = Primary(family, bold, italic);
        if (!base) return std::nullopt;
        FT_Face face = base;
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (index == 0) {  // not in the matched font: a Japanese font, then any font that has it
            for (bool japanese : {true, false}) {
                FT_Face alt = Match(family, bold, italic, cp, japanese);
                if (alt && (index = FT_Get_Char_Index(alt, cp)) != 0) {
                    face = alt;
                    break;
                }
            }
        }
        if (index == 0) return std::nullopt;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE || face->units_per_EM == 0)
            return std::nullopt;
        FontGlyph g;
        const double scale = double(base->units_per_EM) / face->units_per_EM;  // into the primary's units
        g.advance = double(face->glyph->metrics.horiAdvance) * scale;
        Collector c{&g, scale};
        FT_Outline_Funcs funcs{};
        funcs.move_to = MoveTo;
        funcs.line_to = LineTo;
        funcs.conic_to = ConicTo;
        funcs.cubic_to = CubicTo;
        if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &c) != 0) return std::nullopt;
        c.CloseContour();
        return g;
    }

    bool ok_ = false;
    FT_Library lib_ = nullptr;
    std::mutex mu_;
    std::map<std::pair<std::string, int>, FT_Face> files_;
    std::map<std::tuple<std::string, bool, bool>, FT_Face> primary_;
    std::map<std::tuple<std::string, bool, bool, char32_t>, std::optional<FontGlyph>> glyphs_;
};

}  // namespace

std::shared_ptr<Fonts> NativeFonts() {
    static std::shared_ptr<LinuxFonts> fonts = [] {
        auto f = std::make_shared<LinuxFonts>();
        return f->Ok() ? f : nullptr;
    }();
    return fonts;
}

}  // namespace lumarel::platform
