// The system's font provider: outlines for a Latin and a Japanese character, and device-font
// text drawn by the engine with them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "engine/player.h"
#include "player/device_fonts.h"
#include "platform/fonts.h"
#include "tools/swfkit/swfkit.h"

namespace kit = lumarel::swfkit;
using namespace lumarel;

namespace {

// Area enclosed by the outline (shoelace over the segments, curves by their chords and
// control points), in square font units.
double Area(const platform::FontGlyph& g) {
    double a = 0;
    for (const auto& s : g.segments) {
        if (s.curve) {
            a += double(s.x0) * s.cy - double(s.cx) * s.y0;
            a += double(s.cx) * s.y1 - double(s.x1) * s.cy;
        } else {
            a += double(s.x0) * s.y1 - double(s.x1) * s.y0;
        }
    }
    return std::fabs(a) / 2;
}

bool Closed(const platform::FontGlyph& g) {
    // Every contour ends where it began: the segment ends, as a multiset, match the starts.
    std::map<std::pair<float, float>, int> balance;
    for (const auto& s : g.segments) {
        ++balance[{s.x0, s.y0}];
        --balance[{s.x1, s.y1}];
    }
    for (const auto& [p, n] : balance)
        if (n != 0) return false;
    return true;
}

}  // namespace

TEST(NativeFonts, LatinAndJapaneseOutlines) {
    std::shared_ptr<platform::Fonts> fonts = platform::NativeFonts();
    ASSERT_TRUE(fonts);
    const auto metrics = fonts->Metrics("_sans", false, false);
    ASSERT_TRUE(metrics);
    EXPECT_GT(metrics->unitsPerEm, 0);
    EXPECT_GT(metrics->ascent, 0);
    const double em = metrics->unitsPerEm;

    const auto a = fonts->Glyph("_sans", false, false, U'A');
    ASSERT_TRUE(a);
    EXPECT_GT(a->segments.size(), 3u);
    EXPECT_GT(a->advance, em * 0.3);
    EXPECT_TRUE(Closed(*a));
    EXPECT_GT(Area(*a), em * em * 0.02);
    // Capitals stand on the baseline and reach up (y negative).
    float top = 0;
    for (const auto& s : a->segments) top = std::min(top, s.y0);
    EXPECT_LT(top, -em * 0.5);

    const auto ja = fonts->Glyph("_sans", false, false, U'\u8A2D');  // 設
    if (!ja) {
#ifdef _WIN32
        GTEST_SKIP() << "this Wine prefix has no Japanese font (scripts/wine-fonts.sh links one)";
#else
        FAIL() << "no font of the system covers U+8A2D (fonts-noto-cjk)";
#endif
    }
    EXPECT_GT(ja->segments.size(), 20u);
    EXPECT_TRUE(Closed(*ja));
    EXPECT_GT(ja->advance, em * 0.8);
    EXPECT_GT(Area(*ja), em * em * 0.1);
    for (const char* family : {"_serif", "_typewriter", "No Such Font Family"}) {
        EXPECT_TRUE(fonts->Glyph(family, true, false, U'g')) << family;
    }
}

TEST(NativeFonts, ShiftJisText) {
    std::shared_ptr<platform::Fonts> fonts = platform::NativeFonts();
    ASSERT_TRUE(fonts);
    EXPECT_EQ(fonts->DecodeShiftJis("A\x90\xdd\x92\xe8"), std::u32string(U"A\u8A2D\u5B9A"));  // "A設定"
    EXPECT_FALSE(fonts->DecodeShiftJis("\x90"));  // a lead byte without its trail byte
}

TEST(NativeFonts, DeviceFontTextRendersThroughTheEngine) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, 200, 60), 12.0);
    mv.Background(kit::Rgba::Hex(0xffffff));
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, 200, 60);
    kit::Font device;
    device.name = "_sans";
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, device, 2));
    e.font = 1;
    e.height = static_cast<uint16_t>(kit::Px(30));
    e.text = "A\xe8\xa8\xad";  // "A設"
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(2, e));
    mv.Place2(kit::Place::Add(1, 2));
    mv.ShowFrame();
    const kit::Bytes b = mv.Build();
    engine::LoadOptions o;
    o.deviceFonts = player::NativeDeviceFonts();
    ASSERT_TRUE(o.deviceFonts);
    auto r = engine::Movie::Load(b, o);
    ASSERT_TRUE(r.movie) << r.error;
    raster::Surface s(200, 60);
    r.movie->Render(s);
    int dark = 0, darkRight = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if ((s.Pixel(x, y) & 0xFF) < 128) {
                ++dark;
                if (x > 24) ++darkRight;
            }
    EXPECT_GT(dark, 100);
    EXPECT_GT(darkRight, 60);  // the Japanese character after the A
}
