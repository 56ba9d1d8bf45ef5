// System fonts on Windows: GDI glyph outlines (GetGlyphOutlineW, native unhinted quadratic
// splines) of a font created at an em of 1024 pixels with an identity transform. Code points the
// named font lacks come from Japanese fonts (Shift-JIS charset) and then the common UI fonts.
#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/fonts.h"

namespace lumarel::platform {

namespace {

constexpr int kEm = 1024;

std::wstring Widen(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::wstring FaceFor(const std::string& family) {
    if (family == "_sans") return L"Arial";
    if (family == "_serif" || family.empty()) return L"Times New Roman";
    if (family == "_typewriter") return L"Courier New";
    return Widen(family);
}

double Fx(FIXED f) { return f.value + f.fract / 65536.0; }

struct FallbackFace {
    const wchar_t* name;
    BYTE charset;
};
const FallbackFace kFallbacks[] = {
    {L"MS Gothic", SHIFTJIS_CHARSET},       {L"MS UI Gothic", SHIFTJIS_CHARSET},
    {L"Meiryo", SHIFTJIS_CHARSET},          {L"Yu Gothic", SHIFTJIS_CHARSET},
    {L"Noto Sans CJK JP", DEFAULT_CHARSET}, {L"Arial Unicode MS", DEFAULT_CHARSET},
    {L"Tahoma", DEFAULT_CHARSET},           {L"Microsoft Sans Serif", DEFAULT_CHARSET},
};

class GdiFonts : public Fonts {
public:
    GdiFonts() : dc_(CreateCompatibleDC(nullptr)) {}
    ~GdiFonts() override {
        for (auto& [key, f] : fonts_)
            if (f) DeleteObject(f);
        if (dc_) DeleteDC(dc_);
    }
    bool ok() const { return dc_ != nullptr; }

    std::optional<std::u32string> DecodeShiftJis(const std::string& bytes) override {
        if (bytes.empty()) return std::u32string();
        const int len = static_cast<int>(bytes.size());
        const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), len, nullptr, 0);
        if (n <= 0) return std::nullopt;  // not Shift-JIS (or no code page 932 on this system)
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), len, w.data(), n);
        std::u32string text;
        for (size_t i = 0; i < w.size(); ++i) {
            char32_t c = static_cast<char16_t>(w[i]);
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) {
                const char32_t lo = static_cast<char16_t>(w[i + 1]);
                if (lo >= 0xDC00 && lo < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
            text.push_back(c);
        }
        return text;
    }

    std::optional<FontGlyph> Glyph(const std::string& family, bool bold, bool italic, char32_t cp) override {
        std::lock_guard<std::mutex> lock(mu_);
        if (cp > 0xFFFF) return std::nullopt;  // outlines by character are limited to the BMP
        const auto key = std::make_tuple(family, bold, italic, cp);
        if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
        std::optional<FontGlyph> g;
        const wchar_t ch = static_cast<wchar_t>(cp);
        if (HFONT f = font(FaceFor(family), DEFAULT_CHARSET, bold, italic); f && has(f, ch)) g = outline(f, ch);
        for (size_t i = 0; !g && i < sizeof(kFallbacks) / sizeof(kFallbacks[0]); ++i) {
            HFONT f = font(kFallbacks[i].name, kFallbacks[i].charset, bold, italic);
            if (f && has(f, ch)) g = outline(f, ch);
        }
        if (glyphs_.size() > 20000) glyphs_.clear();
        glyphs_.emplace(key, g);
        return g;
    }

    std::optional<FontFaceMetrics> Metrics(const std::string& family, bool bold, bool italic) override {
        std::lock_guard<std::mutex> lock(mu_);
        HFONT f = font(FaceFor(family), DEFAULT_CHARSET, bold, italic);
        if (!f) return std::nullopt;
        HGDIOBJ old = SelectObject(dc_, f);
        TEXTMETRICW tm{};
        const BOOL got = GetTextMetricsW(dc_, &tm);
        SelectObject(dc_, old);
        if (!got) return std::nullopt;
        FontFaceMetrics m;
        m.unitsPerEm = kEm;
        m.ascent = tm.tmAscent;
        m.descent = tm.tmDescent;
        m.leading = tm.tmExternalLeading;
        return m;
    }

private:
    HFONT font(const std::wstring& face, BYTE charset, bool bold, bool italic) {
        const auto key = std::make_tuple(face, charset, bold, italic);
        auto it = fonts_.find(key);
        if (it != fonts_.end()) return it->second;
        HFONT f = CreateFontW(-kEm, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic ? TRUE : FALSE, FALSE, FALSE, charset,
                              OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              face.substr(0, LF_FACESIZE - 1).c_str());
        fonts_.emplace(key, f);
        return f;
    }

    bool has(HFONT f, wchar_t ch) {
        HGDIOBJ old = SelectObject(dc_, f);
        WORD index = 0xFFFF;
        const DWORD n = GetGlyphIndicesW(dc_, &ch, 1, &index, GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(dc_, old);
        return n != GDI_ERROR && index != 0xFFFF;
    }

    std::optional<FontGlyph> outline(HFONT f, wchar_t ch) {
        HGDIOBJ old = SelectObject(dc_, f);
        MAT2 identity{};
        identity.eM11.value = 1;
        identity.eM22.value = 1;
        GLYPHMETRICS gm{};
        const UINT format = GGO_NATIVE | GGO_UNHINTED;
        const DWORD size = GetGlyphOutlineW(dc_, ch, format, &gm, 0, nullptr, &identity);
        std::optional<FontGlyph> result;
        if (size != GDI_ERROR) {
            std::vector<BYTE> buf(size);
            if (size == 0 || GetGlyphOutlineW(dc_, ch, format, &gm, size, buf.data(), &identity) != GDI_ERROR) {
                FontGlyph g;
                g.advance = gm.gmCellIncX;
                parse(buf, g);
                result = std::move(g);
            }
        }
        SelectObject(dc_, old);
        return result;
    }

    // TTPOLYGONHEADER records, each followed by TTPOLYCURVE records up to its cb bytes. y is
    // turned downwards.
    static void parse(const std::vector<BYTE>& buf, FontGlyph& g) {
        size_t pos = 0;
        auto seg = [&](bool curve, double x0, double y0, double cx, double cy, double x1, double y1) {
            FontSegment s;
            s.curve = curve;
            s.x0 = float(x0), s.y0 = float(-y0), s.cx = float(cx), s.cy = float(-cy), s.x1 = float(x1),
            s.y1 = float(-y1);
            g.segments.push_back(s);
        };
        while (pos + sizeof(TTPOLYGONHEADER) <= buf.size()) {
            TTPOLYGONHEADER h;
            memcpy(&h, buf.data() + pos, sizeof h);
            if (h.cb < sizeof h || pos + h.cb > buf.size()) break;
            const size_t end = pos + h.cb;
            const double sx = Fx(h.pfxStart.x), sy = Fx(h.pfxStart.y);
            double x = sx, y = sy;
            size_t p = pos + sizeof h;
            while (p + 4 <= end) {
                WORD type = 0, count = 0;
                memcpy(&type, buf.data() + p, 2);
                memcpy(&count, buf.data() + p + 2, 2);
                const size_t pts = p + 4;
                if (pts + size_t(count) * sizeof(POINTFX) > end) break;
                auto pt = [&](size_t i, double& ox, double& oy) {
                    POINTFX q;
                    memcpy(&q, buf.data() + pts + i * sizeof(POINTFX), sizeof q);
                    ox = Fx(q.x);
                    oy = Fx(q.y);
                };
                if (type == TT_PRIM_LINE) {
                    for (size_t i = 0; i < count; ++i) {
                        double nx, ny;
                        pt(i, nx, ny);
                        seg(false, x, y, 0, 0, nx, ny);
                        x = nx, y = ny;
                    }
                } else if (type == TT_PRIM_QSPLINE && count >= 2) {
                    // Off-curve points; between two of them lies an implied on-curve midpoint; the last
                    // point is on the curve.
                    for (size_t i = 0; i + 1 < count; ++i) {
                        double cx, cy, nx, ny;
                        pt(i, cx, cy);
                        pt(i + 1, nx, ny);
                        if (i + 2 < count) {
                            nx = (cx + nx) / 2;
                            ny = (cy + ny) / 2;
                        }
                        seg(true, x, y, cx, cy, nx, ny);
                        x = nx, y = ny;
                    }
                } else if (count > 0) {  // cubic or unknown: straight to its last point
                    double nx, ny;
                    pt(count - 1, nx, ny);
                    seg(false, x, y, 0, 0, nx, ny);
                    x = nx, y = ny;
                }
                p = pts + size_t(count) * sizeof(POINTFX);
            }
            if (x != sx || y != sy) seg(false, x, y, 0, 0, sx, sy);
            pos = end;
        }
    }

    HDC dc_;
    std::mutex mu_;
    std::map<std::tuple<std::wstring, BYTE, bool, bool>, HFONT> fonts_;
    std::map<std::tuple<std::string, bool, bool, char32_t>, std::optional<FontGlyph>> glyphs_;
};

}  // namespace

std::shared_ptr<Fonts> NativeFonts() {
    static std::shared_ptr<GdiFonts> fonts = [] {
        auto f = std::make_shared<GdiFonts>();
        return f->ok() ? f : nullptr;
    }();
    return fonts;
}

}  // namespace lumarel::platform
