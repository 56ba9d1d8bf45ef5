// libFuzzer target: load a movie, play a few frames, draw each one small. Device-font text goes
// through a fixed fake font source, so its layout code is fuzzed without system fonts.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "engine/player.h"

namespace {

class BoxFonts : public lumarel::engine::text::DeviceFontSource {
public:
    std::optional<lumarel::engine::text::GlyphOutline> Glyph(const std::string&, bool, bool, char32_t cp) override {
        if (cp % 7 == 0) return std::nullopt;  // some code points have no glyph
        lumarel::engine::text::GlyphOutline g;
        g.advance = 600;
        const float w = 400.f + float(cp % 100), h = -700.f;
        g.segments = {{false, 0, 0, 0, 0, w, 0},
                      {true, w, 0, w + 50, h / 2, w, h},
                      {false, w, h, 0, h, 0, 0},
                      {false, 0, h, 0, 0, 0, 0}};
        return g;
    }
    std::optional<lumarel::engine::text::FontMetrics> Metrics(const std::string&, bool, bool) override {
        return lumarel::engine::text::FontMetrics{1000, 800, 200, 0};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<BoxFonts> fonts = std::make_shared<BoxFonts>();
    lumarel::engine::LoadOptions options;
    options.deviceFonts = fonts;
    lumarel::engine::LoadResult r = lumarel::engine::Movie::Load(std::span<const uint8_t>(data, size), options);
    if (!r.movie) return 0;
    lumarel::raster::Surface s(64, 48);
    r.movie->Play();
    for (int i = 0; i < 4; ++i) {
        r.movie->Render(s);
        r.movie->Advance();
    }
    return 0;
}
