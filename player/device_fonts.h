// The system's fonts (platform/fonts.h) handed to the engine as its device font source.
#pragma once

#include <memory>

#include "engine/text/device_fonts.h"
#include "platform/fonts.h"

namespace lumarel::player {

class SystemDeviceFonts : public engine::text::DeviceFontSource {
public:
    explicit SystemDeviceFonts(std::shared_ptr<platform::Fonts> fonts) : fonts_(std::move(fonts)) {}

    std::optional<engine::text::GlyphOutline> Glyph(const std::string& family, bool bold, bool italic,
                                                    char32_t cp) override {
        std::optional<platform::FontGlyph> g = fonts_->Glyph(family, bold, italic, cp);
        if (!g) return std::nullopt;
        engine::text::GlyphOutline o;
        o.advance = g->advance;
        o.segments.reserve(g->segments.size());
        for (const platform::FontSegment& s : g->segments)
            o.segments.push_back(engine::text::OutlineSegment{s.curve, s.x0, s.y0, s.cx, s.cy, s.x1, s.y1});
        return o;
    }

    std::optional<engine::text::FontMetrics> Metrics(const std::string& family, bool bold, bool italic) override {
        std::optional<platform::FontFaceMetrics> m = fonts_->Metrics(family, bold, italic);
        if (!m) return std::nullopt;
        return engine::text::FontMetrics{m->unitsPerEm, m->ascent, m->descent, m->leading};
    }

    std::optional<std::u32string> DecodeLegacyText(const std::string& bytes) override {
        return fonts_->DecodeShiftJis(bytes);
    }

private:
    std::shared_ptr<platform::Fonts> fonts_;
};

// The device fonts of this system for Movie::Load, or null when it has none.
inline std::shared_ptr<engine::text::DeviceFontSource> NativeDeviceFonts() {
    std::shared_ptr<platform::Fonts> f = platform::NativeFonts();
    return f ? std::make_shared<SystemDeviceFonts>(std::move(f)) : nullptr;
}

}  // namespace lumarel::player
