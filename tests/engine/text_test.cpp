// Fonts and text: embedded-font DefineText/DefineText2, edit fields with embedded and device
// fonts (through a fake device font source: engine tests need no system fonts), HTML text, and
// malformed fonts and texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/text/text_shapes.h"
#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 240, kH = 120;

kit::Movie TextStage(uint8_t version = 10) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0, version);
    mv.Background(kit::Rgba::Hex(0xffffff));
    return mv;
}

kit::TextRecord Record(const kit::Font& f, uint16_t fontId, std::string_view s, int xPx, int yPx, int heightPx,
                       kit::Rgba c, double em = 1024) {
    kit::TextRecord r;
    r.font = fontId;
    r.height = static_cast<uint16_t>(kit::Px(heightPx));
    r.color = c;
    r.x = static_cast<int16_t>(kit::Px(xPx));
    r.y = static_cast<int16_t>(kit::Px(yPx));
    r.glyphs = kit::LayoutGlyphs(f, s, r.height, em);
    return r;
}

// Every code point drawn as a square (an outer and an inner contour, so holes are tested) one
// em wide; the square's size tells which family was asked for.
class FakeDeviceFonts : public engine::text::DeviceFontSource {
public:
    std::optional<engine::text::GlyphOutline> Glyph(const std::string& family, bool, bool, char32_t cp) override {
        requests.push_back({family, cp});
        if (cp == ' ') return engine::text::GlyphOutline{500, {}};
        if (missing.count(cp)) return std::nullopt;
        engine::text::GlyphOutline g;
        g.advance = 1000;
        const float s = family == "_typewriter" ? 500.f : 800.f;
        auto square = [&](float x0, float y0, float x1, float y1, bool reverse) {
            float p[5][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
            for (int i = 0; i < 4; ++i) {
                const int a = reverse ? 4 - i : i, b = reverse ? 3 - i : i + 1;
                engine::text::OutlineSegment seg;
                seg.x0 = p[a][0], seg.y0 = p[a][1], seg.x1 = p[b][0], seg.y1 = p[b][1];
                g.segments.push_back(seg);
            }
        };
        square(100, -s, 100 + s, 0, false);
        square(100 + s * 0.3f, -s * 0.7f, 100 + s * 0.7f, -s * 0.3f, true);
        return g;
    }
    std::optional<engine::text::FontMetrics> Metrics(const std::string& family, bool, bool) override {
        families.insert(family);
        if (noFonts) return std::nullopt;
        return engine::text::FontMetrics{1000, 850, 250, 0};
    }
    std::vector<std::pair<std::string, char32_t>> requests;
    std::set<std::string> families;
    std::set<char32_t> missing;
    bool noFonts = false;
};

int DarkPixels(const raster::Surface& s, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    if (x1 < 0) x1 = s.Width();
    if (y1 < 0) y1 = s.Height();
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if ((s.Pixel(x, y) & 0xFF) < 128) ++n;
    return n;
}

}  // namespace

TEST(RenderReference, EmbeddedFontStaticText) {
    kit::Movie mv = TextStage();
    const kit::Font f = kit::BlockFont("Block");
    const kit::Font f3 = kit::BlockFont("Block3", 20480);
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    mv.Raw(kit::tag::DefineFont3, kit::EncodeDefineFont2(2, f3, 3));
    mv.Raw(kit::tag::DefineFont, kit::EncodeDefineFont(3, f));
    mv.Raw(kit::tag::DefineFontInfo, kit::EncodeDefineFontInfo(3, f, 1));
    // DefineText: two records, the second changes colour and height and moves down.
    mv.Raw(kit::tag::DefineText,
           kit::EncodeDefineText(10, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(),
                                 {Record(f, 1, "HELLO", 8, 30, 24, kit::Rgba::Hex(0x2040c0)),
                                  Record(f, 3, "WORLD 2026!", 8, 56, 16, kit::Rgba::Hex(0xc02020))}));
    // DefineText2 with a half-transparent colour, a DefineFont3 font, a curved glyph, under a
    // rotation of its text matrix.
    mv.Raw(kit::tag::DefineText2,
           kit::EncodeDefineText(11, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Rotate(-0.1),
                                 {Record(f3, 2, "oOo SWF", 20, 100, 28, kit::Rgba::Hex(0x008000, 128), 20480)}, 2));
    kit::ShapeBuilder bar;
    bar.Style(bar.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0xffc000))))
        .Rectangle(0, kit::Px(70), kit::Px(kW), kit::Px(14));
    const uint16_t barId = mv.DefineShape(bar);
    mv.Place2(kit::Place::Add(1, barId));
    mv.Place2(kit::Place::Add(2, 10));
    mv.Place2(kit::Place::Add(3, 11));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->Info().warnings.empty());
    CheckReference("text_static", ToStraight(RenderSurface(*m, kW, kH)));
}

TEST(RenderReference, EditTextEmbeddedAlignmentWrapAndBorder) {
    kit::Movie mv = TextStage();
    const kit::Font f = kit::BlockFont("Block");
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    auto field = [&](uint16_t id, kit::Rect b, uint8_t align, std::string text, bool wrap, bool border, kit::Rgba c) {
        kit::EditText e;
        e.bounds = b;
        e.font = 1;
        e.height = static_cast<uint16_t>(kit::Px(12));
        e.color = c;
        e.useOutlines = true;
        e.wordWrap = wrap;
        e.multiline = wrap;
        e.border = border;
        e.layout = kit::EditText::Layout{align, 0, 0, 0, static_cast<int16_t>(kit::Px(2))};
        e.text = std::move(text);
        mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(id, e));
    };
    field(10, kit::Rect::Pixels(4, 4, 112, 20), 0, "LEFT", false, true, kit::Rgba::Hex(0x000000));
    field(11, kit::Rect::Pixels(4, 28, 112, 20), 2, "CENTRE", false, true, kit::Rgba::Hex(0x0000c0));
    field(12, kit::Rect::Pixels(4, 52, 112, 20), 1, "RIGHT", false, true, kit::Rgba::Hex(0xc00000));
    field(13, kit::Rect::Pixels(4, 76, 112, 40), 3, "SINGLE LINE ONLY\nNOT THIS", false, false,
          kit::Rgba::Hex(0x006000));
    field(14, kit::Rect::Pixels(124, 4, 112, 112), 0, "WORD WRAP IN A NARROW BOX.\rNEW PARAGRAPH", true, true,
          kit::Rgba::Hex(0x602080));
    for (uint16_t d = 0; d < 5; ++d)
        mv.Place2(kit::Place::Add(static_cast<uint16_t>(d + 1), static_cast<uint16_t>(10 + d)));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    CheckReference("text_edit_embedded", ToStraight(s));
    // The single-line field shows its first line only: nothing in its lower half.
    EXPECT_EQ(DarkPixels(s, 4, 100, 116, 116), 0);
}

TEST(RenderReference, EditTextHtmlFormatting) {
    // Colours, sizes, bold from a second embedded font, paragraph alignment, bullets, and kerning
    // asked for by the markup.
    kit::Movie mv = TextStage();
    kit::Font f = kit::BlockFont("Block");
    f.kerning = {{'A', 'V', -150}, {'V', 'A', -150}};
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    kit::Font bold = kit::BlockFont("Block");
    bold.bold = true;
    for (kit::FontGlyph& g : bold.glyphs) g.advance = static_cast<int16_t>(g.advance + 100);  // set wider
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(2, bold, 2));
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(4, 4, 232, 112);
    e.font = 1;
    e.height = static_cast<uint16_t>(kit::Px(10));
    e.useOutlines = true;
    e.html = true;
    e.multiline = e.wordWrap = true;
    e.text =
        "<p align=\"left\">PLAIN <font color=\"#C00000\">RED</font> <font size=\"16\" color=\"#0000C0\">BIG</font>"
        " <b>BOLD</b></p><p align=\"center\">CENTRED</p><p align=\"right\">RIGHT<br>AND ON</p>"
        "<li>ONE</li><li>TWO</li><p>AVAVAV <font kerning=\"1\">AVAVAV</font></p>";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(3, e));
    mv.Place2(kit::Place::Add(1, 3));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    CheckReference("text_edit_html", ToStraight(s));
    // The markup decides bold and italic: with the bold font as the field's own, the regular runs
    // still take the regular font, so the picture is the same.
    e.font = 2;
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(4, e));
    mv.Remove(1).Place2(kit::Place::Add(1, 4)).ShowFrame();
    auto boldField = LoadKit(mv);
    ASSERT_TRUE(boldField);
    boldField->Play();
    boldField->Advance();
    EXPECT_EQ(ToStraight(RenderSurface(*boldField, kW, kH)).rgba, ToStraight(s).rgba);

    // With device fonts a face names the family asked for; one the system lacks falls back to
    // the field's own.
    kit::Movie dev = TextStage();
    kit::EditText d;
    d.bounds = kit::Rect::Pixels(0, 0, 200, 40);
    d.html = true;
    d.text = "A<font face=\"_typewriter\">B</font><font face=\"Missing\">C</font>";
    dev.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, d));
    dev.Place2(kit::Place::Add(1, 1));
    dev.ShowFrame();
    class SomeFonts : public FakeDeviceFonts {
    public:
        std::optional<engine::text::FontMetrics> Metrics(const std::string& family, bool b, bool i) override {
            if (family == "Missing") return std::nullopt;
            return FakeDeviceFonts::Metrics(family, b, i);
        }
    };
    auto fonts = std::make_shared<SomeFonts>();
    ASSERT_TRUE(LoadKitWith(dev, engine::LoadOptions{fonts}));
    const std::vector<std::pair<std::string, char32_t>> want = {{"_serif", 'A'}, {"_typewriter", 'B'}, {"_serif", 'C'}};
    for (const auto& r : want)
        EXPECT_NE(std::find(fonts->requests.begin(), fonts->requests.end(), r), fonts->requests.end()) << r.first;
}

TEST(EditText, TheBorderIsAliasedInWholePixelsWithItsBottomRightPixelLeftOut) {
    // Bounds 0..100 twips (0..5 px) on a grey stage, at low and high quality alike.
    kit::Movie mv(kit::Rect::Pixels(0, 0, 10, 10), 12.0);
    mv.Background(kit::Rgba::Hex(0x808080));
    kit::EditText e;
    e.bounds = kit::Rect{0, 100, 0, 100};
    e.border = true;
    e.text = "";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, e));
    mv.Place2(kit::Place::Add(1, 1)).ShowFrame();
    for (raster::Quality q : {raster::Quality::Low, raster::Quality::High}) {
        auto m = LoadKit(mv);
        ASSERT_TRUE(m);
        m->SetQuality(q);
        m->Play();
        raster::Surface s(10, 10);
        m->Render(s);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 7; ++x) {
                const bool line = (y == 0 && x <= 5) || (x == 0 && y <= 5) || (x == 5 && y <= 4) || (y == 5 && x <= 4);
                const bool inside = x < 5 && y < 5;
                const uint32_t want = line ? 0xFF000000u : inside ? 0xFFFFFFFFu : 0xFF808080u;
                EXPECT_EQ(s.Pixel(x, y), want) << x << "," << y << " at quality " << static_cast<int>(q);
            }
    }
}

TEST(EditText, DeviceFontsComeFromTheSourceWithFamilyAndCodePoints) {
    kit::Movie mv = TextStage();
    kit::Font named;  // a DefineFont2 with a name and no glyphs: a device font
    named.name = "_typewriter";
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, named, 2));
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
    e.font = 1;
    e.height = static_cast<uint16_t>(kit::Px(20));
    e.text = "A\xe8\xa8\xad";  // "A" and U+8A2D, UTF-8
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(2, e));
    kit::EditText noFont;  // no font at all: the default serif device font
    noFont.bounds = kit::Rect::Pixels(0, 60, kW, 40);
    noFont.text = "B";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(3, noFont));
    mv.Place2(kit::Place::Add(1, 2));
    mv.Place2(kit::Place::Add(2, 3));
    mv.ShowFrame();

    auto fonts = std::make_shared<FakeDeviceFonts>();
    auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
    ASSERT_TRUE(m);
    std::set<char32_t> asked;
    for (const auto& [family, cp] : fonts->requests) {
        asked.insert(cp);
        EXPECT_TRUE(family == "_typewriter" || family == "_serif") << family;
    }
    EXPECT_TRUE(asked.count(U'A'));
    EXPECT_TRUE(asked.count(U'\u8A2D'));
    EXPECT_TRUE(asked.count(U'B'));
    EXPECT_TRUE(fonts->families.count("_serif"));
    const raster::Surface s = RenderSurface(*m, kW, kH);
    CheckReference("text_device_fake", ToStraight(s));
    // Two squares with holes in the first field: 20 px text, 2 px padding, squares 10 px wide.
    EXPECT_EQ(Rgb(s, 2 + 2 + 4, 2 + 17 - 2), 0x000000u);  // in the first square's rim
    EXPECT_EQ(Rgb(s, 2 + 2 + 5, 2 + 17 - 5), 0xffffffu);  // its hole
    EXPECT_GT(DarkPixels(s, 22, 0, 40, 40), 10);          // the second glyph
    EXPECT_GT(DarkPixels(s, 0, 60, kW, 100), 10);         // the field without a font

    // Without a device font source the same movie loads and draws no text.
    auto bare = LoadKit(mv);
    ASSERT_TRUE(bare);
    EXPECT_EQ(DarkPixels(RenderSurface(*bare, kW, kH)), 0);
}

TEST(EditText, MissingGlyphsAndNoSystemFontsDrawWhatThereIs) {
    kit::Movie mv = TextStage();
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
    e.text = "AXA";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, e));
    mv.Place2(kit::Place::Add(1, 1));
    mv.ShowFrame();
    auto fonts = std::make_shared<FakeDeviceFonts>();
    fonts->missing.insert(U'X');
    auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    EXPECT_GT(DarkPixels(s, 0, 0, 14, 40), 10);
    EXPECT_GT(DarkPixels(s, 14, 0, 40, 40), 10);  // the second A moved up into the gap
    auto none = std::make_shared<FakeDeviceFonts>();
    none->noFonts = true;
    auto m2 = LoadKitWith(mv, engine::LoadOptions{none});
    ASSERT_TRUE(m2);
    EXPECT_EQ(DarkPixels(RenderSurface(*m2, kW, kH)), 0);
}

namespace {

// Paragraphs of a parsed HTML text joined with '\n', as UTF-8.
std::string Joined(const engine::text::StyledText& t) {
    std::string out;
    for (size_t i = 0; i < t.paragraphs.size(); ++i) {
        if (i) out += '\n';
        for (char32_t c : t.paragraphs[i].chars) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {  // the few non-ASCII characters these tests use
                out += c == 0xA0 ? "\xc2\xa0" : c == 0x2022 ? "\xe2\x80\xa2" : "?";
            }
        }
    }
    return out;
}

}  // namespace

TEST(EditText, HtmlTextIsParsedIntoFormattedParagraphs) {
    using engine::text::ParseHtmlText;
    engine::text::TextStyle base;
    base.face = "";
    base.height = 240;
    base.color = raster::Rgba{0, 0, 0, 200};
    EXPECT_EQ(Joined(ParseHtmlText("<p align=\"center\"><font face=\"_sans\">A &amp; B</font></p><p>C&lt;D&gt;</p>",
                                   base, 0)),
              "A & B\nC<D>\n");
    EXPECT_EQ(Joined(ParseHtmlText("x<br/>y<BR>z &#65;&#x42;&nbsp;&bogus; &", base, 0)), "x\ny\nz AB\xc2\xa0&bogus; &");
    EXPECT_EQ(Joined(ParseHtmlText("cut <b", base, 0)), "cut ");
    EXPECT_EQ(Joined(ParseHtmlText("<LI>one</LI><li>two", base, 0)), "\xe2\x80\xa2 one\n\xe2\x80\xa2 two");
    EXPECT_EQ(engine::text::DecodeText("a\xe8\xa8\xad\xff\xe8", true), U"a\u8A2D");
    EXPECT_EQ(engine::text::DecodeText("\xe9", false), U"\u00e9");

    // Formatting nests and unwinds by tag; sizes are pixels or relative; colours keep the
    // field's alpha; paragraphs take their own alignment, a <br> continues one.
    const engine::text::StyledText t = ParseHtmlText(
        "<P ALIGN='RIGHT'>a<FONT FACE=\"Gothic,sans\" SIZE=\"20\" COLOR=\"#FF8000\">b<b>c</b><font size=\"-4\" "
        "kerning=1>d</font>e</FONT>f<br>g</P><p align=bogus>h<font color=\"red\" size=\"x\">i</font></p>",
        base, 2);
    ASSERT_EQ(t.paragraphs.size(), 4u);
    const auto& p0 = t.paragraphs[0];
    ASSERT_EQ(p0.chars, U"abcdef");
    EXPECT_EQ(p0.align, 1);
    auto style = [&](const engine::text::StyledParagraph& p, size_t i) { return t.styles[p.styles[i]]; };
    EXPECT_EQ(p0.styles[0], 0);
    EXPECT_EQ(style(p0, 1).face, "Gothic");
    EXPECT_DOUBLE_EQ(style(p0, 1).height, 400);
    EXPECT_EQ(style(p0, 1).color.r, 0xFF);
    EXPECT_EQ(style(p0, 1).color.g, 0x80);
    EXPECT_EQ(style(p0, 1).color.a, 200);
    EXPECT_FALSE(style(p0, 1).bold);
    EXPECT_TRUE(style(p0, 2).bold);
    EXPECT_DOUBLE_EQ(style(p0, 3).height, 320);
    EXPECT_TRUE(style(p0, 3).kerning);
    EXPECT_FALSE(style(p0, 3).bold);
    EXPECT_EQ(p0.styles[4], p0.styles[1]);
    EXPECT_EQ(p0.styles[5], 0);
    EXPECT_EQ(t.paragraphs[1].chars, U"g");
    EXPECT_TRUE(t.paragraphs[1].continued);
    EXPECT_EQ(t.paragraphs[1].align, 1);
    EXPECT_EQ(t.paragraphs[2].chars, U"hi");
    EXPECT_EQ(t.paragraphs[2].align, 2);      // unknown alignment: the field's
    EXPECT_EQ(t.paragraphs[2].styles[1], 0);  // unreadable colour and size change nothing
    EXPECT_TRUE(t.paragraphs[3].chars.empty());
    // Hostile markup stays bounded in styles.
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "<font size=\"" + std::to_string(i % 300) + "\">x";
    EXPECT_LE(ParseHtmlText(many, base, 0).styles.size(), engine::text::kMaxTextStyles);
    EXPECT_EQ(ParseHtmlText(std::string(1 << 20, '&'), base, 0).paragraphs[0].chars.size(), size_t(1) << 20);
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<b><i>";
    deep += "y";
    const engine::text::StyledText d = ParseHtmlText(deep, base, 0);
    ASSERT_EQ(d.paragraphs.size(), 1u);
    EXPECT_TRUE(d.styles[d.paragraphs[0].styles[0]].bold);
    // An HTML field draws only the text between the tags.
    kit::Movie mv = TextStage();
    const kit::Font f = kit::BlockFont("Block");
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
    e.font = 1;
    e.useOutlines = true;
    e.html = true;
    e.height = static_cast<uint16_t>(kit::Px(20));
    e.text = "<p><b>I</b></p>";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(2, e));
    mv.Place2(kit::Place::Add(1, 2));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    EXPECT_GT(DarkPixels(s, 0, 0, 16, 30), 20);  // one glyph "I"
    EXPECT_EQ(DarkPixels(s, 16, 0, kW, kH), 0);  // and nothing after it
}

TEST(TextBadInput, GlyphIndexOutOfRangeAndMissingFontDrawNothingForThem) {
    kit::Movie mv = TextStage();
    const kit::Font f = kit::BlockFont("Block");
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    kit::TextRecord good = Record(f, 1, "I", 0, 40, 40, kit::Rgba::Hex(0));
    kit::TextRecord bad = good;
    bad.glyphs = {kit::TextGlyph{9999, kit::Px(30)}, kit::TextGlyph{0xFFFF, kit::Px(30)}};
    kit::TextRecord noFont = good;
    noFont.font = 77;
    noFont.x = static_cast<int16_t>(kit::Px(120));
    mv.Raw(kit::tag::DefineText,
           kit::EncodeDefineText(2, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(), {bad, good, noFont}));
    mv.Place2(kit::Place::Add(1, 2));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    const raster::Surface s = RenderSurface(*m, kW, kH);
    // The second record starts at x 0 again (its x offset is set), so only its "I" shows.
    EXPECT_GT(DarkPixels(s, 0, 0, 30, kH), 50);
    EXPECT_EQ(DarkPixels(s, 30, 0, kW, kH), 0);
}

TEST(TextBadInput, FontOffsetsPastTheEndAndTruncatedTags) {
    const kit::Font f = kit::BlockFont("Block");
    // Offsets pointing past the tag: wide offsets written, then the tag cut in the glyph table.
    for (int version : {1, 2, 3}) {
        const kit::Bytes full = version == 1 ? kit::EncodeDefineFont(1, f) : kit::EncodeDefineFont2(1, f, version);
        for (size_t len = 0; len <= full.size(); len += (len < 64 ? 1 : 37)) {
            kit::Movie mv = TextStage();
            mv.Raw(version == 1   ? kit::tag::DefineFont
                   : version == 2 ? kit::tag::DefineFont2
                                  : kit::tag::DefineFont3,
                   kit::Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len)));
            mv.Raw(kit::tag::DefineText,
                   kit::EncodeDefineText(
                       2, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(),
                       {Record(f, 1, "HELLO", 0, 40, 40, kit::Rgba::Hex(0), version == 3 ? 20480 : 1024)}));
            mv.Place2(kit::Place::Add(1, 2));
            mv.ShowFrame();
            auto m = LoadKit(mv);
            ASSERT_TRUE(m) << version << " " << len;
            (void)RenderSurface(*m, 60, 30);
        }
    }
    // Kerning pairs after the layout tables, and a tag cut anywhere inside them.
    kit::Font kerned = f;
    kerned.kerning = {{'A', 'V', -100}, {'L', 'T', -50}};
    const kit::Bytes kb = kit::EncodeDefineFont2(1, kerned, 2);
    engine::text::Font parsed;
    std::string error;
    ASSERT_TRUE(engine::text::ParseDefineFont(kb, 2, parsed, error)) << error;
    EXPECT_EQ(parsed.Kerning('A', 'V'), -100);
    EXPECT_EQ(parsed.Kerning('L', 'T'), -50);
    EXPECT_EQ(parsed.Kerning('V', 'A'), 0);
    for (size_t cut = 1; cut <= 12; ++cut) {
        engine::text::Font t;
        EXPECT_TRUE(engine::text::ParseDefineFont(std::span(kb.data(), kb.size() - cut), 2, t, error));
        EXPECT_LE(t.kerning.size(), cut <= 6 ? 1u : 0u) << cut;
        EXPECT_EQ(t.glyphs.size(), parsed.glyphs.size());
    }
    // Offsets that point anywhere: every glyph offset set to huge values.
    kit::Bytes b = kit::EncodeDefineFont2(1, f, 2);
    const size_t table = 2 + 1 + 1 + 1 + f.name.size() + 2;
    for (size_t i = table; i < table + 2 * 10 && i < b.size(); ++i) b[i] = 0xFF;
    kit::Movie mv = TextStage();
    mv.Raw(kit::tag::DefineFont2, b);
    mv.Raw(kit::tag::DefineText, kit::EncodeDefineText(2, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(),
                                                       {Record(f, 1, "ABCDEFGHIJKL", 0, 40, 20, kit::Rgba::Hex(0))}));
    mv.Place2(kit::Place::Add(1, 2));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    (void)RenderSurface(*m, kW, kH);
    // Truncated text and edit text tags at every length.
    const kit::Bytes text = kit::EncodeDefineText(2, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(),
                                                  {Record(f, 1, "HELLO", 0, 40, 40, kit::Rgba::Hex(0))}, 2);
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
    e.font = 1;
    e.color = kit::Rgba::Hex(0x123456);
    e.maxLength = 10;
    e.layout = kit::EditText::Layout{};
    e.text = "HELLO";
    const kit::Bytes edit = kit::EncodeDefineEditText(3, e);
    for (const auto& [code, full] :
         {std::pair{kit::tag::DefineText2, text}, std::pair{kit::tag::DefineEditText, edit}}) {
        for (size_t len = 0; len < full.size(); ++len) {
            kit::Movie t = TextStage();
            t.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
            t.Raw(code, kit::Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len)));
            t.Place2(kit::Place::Add(1, code == kit::tag::DefineText2 ? 2 : 3));
            t.ShowFrame();
            auto tm = LoadKitWith(t, engine::LoadOptions{std::make_shared<FakeDeviceFonts>()});
            ASSERT_TRUE(tm) << len;
            (void)RenderSurface(*tm, 60, 30);
        }
    }
}

TEST(TextBadInput, HugeTextStaysBounded) {
    kit::Movie mv = TextStage();
    const kit::Font f = kit::BlockFont("Block");
    mv.Raw(kit::tag::DefineFont2, kit::EncodeDefineFont2(1, f, 2));
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, kH);
    e.font = 1;
    e.useOutlines = true;
    e.wordWrap = e.multiline = true;
    e.height = 20;  // one pixel: everything fits in the box
    e.text = std::string(3'000'000, 'W');
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(2, e));
    // Many texts of the maximum glyph count: the movie-wide edge budget stops them.
    std::vector<kit::TextRecord> recs;
    for (int i = 0; i < 80; ++i) recs.push_back(Record(f, 1, std::string(255, 'W'), 0, 20, 20, kit::Rgba::Hex(0)));
    const kit::Bytes big = kit::EncodeDefineText(3, kit::Rect::Pixels(0, 0, kW, kH), kit::Matrix::Identity(), recs);
    for (uint16_t id = 3; id < 30; ++id) {
        kit::Bytes b = big;
        b[0] = static_cast<uint8_t>(id);
        mv.Raw(kit::tag::DefineText, b);
        mv.Place2(kit::Place::Add(id, id));
    }
    mv.Place2(kit::Place::Add(1, 2));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    long edges = 0;
    for (const auto& [depth, obj] : Root(*m).Objects()) {
        if (const auto* sc = std::get_if<engine::timeline::ShapeCharacter>(obj.character)) edges += sc->edgeCount;
    }
    EXPECT_LE(edges, engine::text::kMaxTextEdges + 100);
    EXPECT_GT(edges, 0);
    (void)RenderSurface(*m, kW, kH);
}

TEST(TextBadInput, EditTextWithUnknownFontFallsBackToDeviceFonts) {
    kit::Movie mv = TextStage();
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
    e.font = 42;  // never defined
    e.useOutlines = true;
    e.text = "A";
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, e));
    mv.Place2(kit::Place::Add(1, 1));
    mv.ShowFrame();
    auto fonts = std::make_shared<FakeDeviceFonts>();
    auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
    ASSERT_TRUE(m);
    EXPECT_TRUE(fonts->families.count("_serif"));
    EXPECT_GT(DarkPixels(RenderSurface(*m, kW, kH)), 10);
}

TEST(EditText, TextRunningPastTheFieldIsCutAtItsBorder) {
    // Glyphs 12 px apart (dark squares 10 px wide from x = 3) in a 45 px field: the fourth glyph
    // (39..48) crosses the right border and is cut there, upright (a scissor) and turned a
    // quarter (a mask), also when the field is a mask itself.
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, 45, 30);
    e.height = static_cast<uint16_t>(kit::Px(20));
    e.text = std::string(40, 'A');
    const kit::Bytes field = kit::EncodeDefineEditText(1, e);
    auto fonts = std::make_shared<FakeDeviceFonts>();
    {
        kit::Movie mv = TextStage();
        mv.Raw(kit::tag::DefineEditText, field);
        mv.Place2(kit::Place::Add(1, 1));
        mv.ShowFrame();
        auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
        ASSERT_TRUE(m);
        const raster::Surface s = RenderSurface(*m, kW, kH);
        EXPECT_GT(DarkPixels(s, 39, 0, 45, 30), 30);  // the cut glyph's inside part
        EXPECT_EQ(DarkPixels(s, 46, 0, kW, kH), 0);
    }
    {
        // Quarter turn: field x runs down the screen from y = 10, field y to the left from x = 100.
        kit::Movie mv = TextStage();
        mv.Raw(kit::tag::DefineEditText, field);
        kit::Matrix turn = kit::Matrix::Rotate(1.5707963267948966);
        turn.tx = kit::Px(100);
        turn.ty = kit::Px(10);
        mv.Place2(kit::Place::Add(1, 1).At(turn));
        mv.ShowFrame();
        auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
        ASSERT_TRUE(m);
        const raster::Surface s = RenderSurface(*m, kW, kH);
        EXPECT_GT(DarkPixels(s, 85, 49, 100, 55), 30);
        EXPECT_EQ(DarkPixels(s, 0, 56, kW, kH), 0);
    }
    {
        // The field as a mask over a black rectangle: the black shows only inside the cut glyphs.
        kit::Movie mv = TextStage();
        mv.Raw(kit::tag::DefineEditText, field);
        kit::ShapeBuilder black;
        black.Style(black.AddFill(kit::FillStyle::Solid(kit::Rgba::Hex(0x000000))))
            .Rectangle(0, 0, kit::Px(kW), kit::Px(kH));
        const uint16_t cover = mv.DefineShape(black);
        mv.Place2(kit::Place::Add(1, 1).ClipTo(2));
        mv.Place2(kit::Place::Add(2, cover));
        mv.ShowFrame();
        auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
        ASSERT_TRUE(m);
        const raster::Surface s = RenderSurface(*m, kW, kH);
        EXPECT_GT(DarkPixels(s, 39, 0, 45, 30), 30);
        EXPECT_EQ(DarkPixels(s, 46, 0, kW, kH), 0);
    }
}

TEST(EditText, LegacyMoviesTakeTheirTextThroughTheLegacyDecoder) {
    class ShiftJisFonts : public FakeDeviceFonts {
    public:
        std::optional<std::u32string> DecodeLegacyText(const std::string& bytes) override {
            if (bytes == "\x90\xdd") return U"\u8A2D";
            return std::nullopt;  // anything else: not Shift-JIS
        }
    };
    for (const auto& [text, expect] : {std::pair<std::string, char32_t>{"\x90\xdd", U'\u8A2D'},
                                       std::pair<std::string, char32_t>{"\xe9", U'\u00e9'}}) {
        kit::Movie mv = TextStage(5);
        kit::EditText e;
        e.bounds = kit::Rect::Pixels(0, 0, kW, 40);
        e.text = text;
        mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, e));
        mv.Place2(kit::Place::Add(1, 1));
        mv.ShowFrame();
        auto fonts = std::make_shared<ShiftJisFonts>();
        auto m = LoadKitWith(mv, engine::LoadOptions{fonts});
        ASSERT_TRUE(m);
        ASSERT_EQ(fonts->requests.size(), 1u);
        EXPECT_EQ(fonts->requests[0].second, expect);
    }
}

namespace {

// A field named "f" (device fonts) and a frame script run on it: the script's trace lines, and
// the movie for drawing.
std::vector<std::string> RunFieldScript(const kit::EditText& e, const char* script,
                                        std::unique_ptr<engine::Movie>& movie) {
    kit::Movie mv = TextStage(8);
    mv.Raw(kit::tag::DefineEditText, kit::EncodeDefineEditText(1, e));
    mv.Place2(kit::Place::Add(1, 1).Named("f"));
    mv.DoAction(kit::Actions().Asm(script));
    mv.ShowFrame();
    std::vector<std::string> traces;
    engine::LoadOptions options{std::make_shared<FakeDeviceFonts>()};
    options.trace = [&](const std::string& t) { traces.push_back(t); };
    movie = LoadKitWith(mv, options);
    if (movie) movie->Play();
    return traces;
}

// Scrolling by script: five lines of 13.2 px (12 px text, the size a field without a font has)
// in a field with room for three. maxscroll is the last line that still fills the field, scroll
// is cut to it, and the field draws from that line. A format measures text the same way.
TEST(EditText, ScriptsScrollLinesAndColumns) {
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, 45, 50);
    e.multiline = true;
    e.text = "A\rAA\rAAA\rAAAA\rAAAAA";
    std::unique_ptr<engine::Movie> m;
    const std::vector<std::string> traces = RunFieldScript(
        e,
        "push \"f\"; getvariable; store r1; push \"maxscroll\"; getmember; trace\n"
        "push r1, \"bottomScroll\"; getmember; trace; push r1, \"maxhscroll\"; getmember; trace\n"
        "push r1, \"scroll\", 99; setmember; push r1, \"scroll\"; getmember; trace\n"
        "push r1, \"scroll\", 3; setmember; push r1, \"bottomScroll\"; getmember; trace\n"
        "push r1, \"hscroll\", 500; setmember; push r1, \"hscroll\"; getmember; trace; push r1, \"hscroll\", 0; "
        "setmember\n"
        "push 20, \"_sans\", 2, \"TextFormat\"; newobject; store r2; pop; push \"AAA\", 1, r2, \"getTextExtent\"; "
        "callmethod; store r3; push \"width\"; getmember; trace; push r3, \"textFieldWidth\"; getmember; trace",
        m);
    ASSERT_TRUE(m);
    EXPECT_EQ(traces, (std::vector<std::string>{"3", "3", "19", "3", "5", "19", "60", "64"}));
    // Line 3 ("AAA") on top: its third glyph stands where the first line had none.
    const raster::Surface s = RenderSurface(*m, kW, kH);
    EXPECT_GT(DarkPixels(s, 26, 2, 38, 14), 20);
    EXPECT_EQ(DarkPixels(s, 38, 2, 45, 14), 0);
}

// setTextFormat over a run formats just those characters; getTextFormat gives null for what a
// run does not share.
TEST(EditText, RunsOfCharactersTakeTheirOwnFormat) {
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, 200, 40);
    e.text = "ABCD";
    std::unique_ptr<engine::Movie> m;
    const std::vector<std::string> traces = RunFieldScript(
        e,
        "push \"f\"; getvariable; store r1; pop; push 0, \"TextFormat\"; newobject; store r2; push \"color\", "
        "16711680; setmember; push r2, \"size\", 24; setmember\n"
        "push r2, 3, 1, 3, r1, \"setTextFormat\"; callmethod; pop\n"
        "push 3, 1, 2, r1, \"getTextFormat\"; callmethod; push \"size\"; getmember; trace\n"
        "push 2, 0, 2, r1, \"getTextFormat\"; callmethod; push \"size\"; getmember; trace\n"
        "push 0, 1, r1, \"getTextFormat\"; callmethod; push \"color\"; getmember; trace\n"
        "push 0, r1, \"getTextFormat\"; callmethod; push \"color\"; getmember; trace",
        m);
    ASSERT_TRUE(m);
    EXPECT_EQ(traces, (std::vector<std::string>{"24", "null", "0", "null"}));
    const raster::Surface s = RenderSurface(*m, kW, kH);
    int red = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) red += (s.Pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    EXPECT_GT(red, 200);  // two glyphs 19 px tall
}

// A style sheet read from CSS formats an HTML field's tags and classes: a coloured span, a
// hidden one, and text after it.
TEST(EditText, StyleSheetsFormatHtmlByTagAndClass) {
    kit::EditText e;
    e.bounds = kit::Rect::Pixels(0, 0, 200, 40);
    e.html = true;
    e.text = "";
    std::unique_ptr<engine::Movie> m;
    const std::vector<std::string> traces = RunFieldScript(
        e,
        "push 0, \"TextField\"; getvariable; push \"StyleSheet\"; newmethod; store r2; pop\n"
        "push \".red { color: #FF0000 } /* note */ .gone, h9 { display: none }\", 1, r2, \"parseCSS\"; callmethod; "
        "trace\n"
        "push \"x {\", 1, r2, \"parseCSS\"; callmethod; trace; push 0, r2, \"getStyleNames\"; callmethod; trace\n"
        "push \".red\", 1, r2, \"getStyle\"; callmethod; push \"color\"; getmember; trace\n"
        "push \"f\"; getvariable; store r1; push \"styleSheet\", r2; setmember\n"
        "push r1, \"htmlText\", \"<p>A<span class='red'>B</span><span class='gone'>CCCC</span>D</p>\"; "
        "setmember",
        m);
    ASSERT_TRUE(m);
    EXPECT_EQ(traces, (std::vector<std::string>{"true", "false", ".red,.gone,h9", "#FF0000"}));
    // Glyphs 12 px apart from x = 2: A black, B red, then D (the hidden span takes no room).
    const raster::Surface s = RenderSurface(*m, kW, kH);
    EXPECT_EQ(s.Pixel(2 + 12 + 3, 6) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(s.Pixel(2 + 24 + 3, 6) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(DarkPixels(s, 2 + 36, 0, 200, 40), 0);
}

}  // namespace
