// Buttons on the stage show their up state (records, depths, matrices, colour transforms);
// DefineButtonCxform colours a DefineButton; actions are skipped; broken buttons break nothing.
#include <gtest/gtest.h>

#include "tests/engine/ref_check.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

constexpr int kW = 160, kH = 120;

kit::Movie ButtonStage() {
    kit::Movie mv(kit::Rect::Pixels(0, 0, kW, kH), 12.0);
    mv.Background(kit::Rgba::Hex(0xffffff));
    return mv;
}

kit::ButtonRecord Rec(uint16_t ch, uint16_t depth, int x, int y, bool up = true) {
    kit::ButtonRecord r;
    r.character = ch;
    r.depth = depth;
    r.up = up;
    r.over = r.down = r.hit = !up;
    r.matrix = kit::Matrix::Translate(kit::Px(x), kit::Px(y));
    return r;
}

}  // namespace

TEST(RenderReference, ButtonsShowTheirUpState) {
    kit::Movie mv = ButtonStage();
    const uint16_t red = Square(mv, kit::Rgba::Hex(0xe02020), 30);
    const uint16_t blue = Square(mv, kit::Rgba::Hex(0x2040e0), 30);
    const uint16_t green = Square(mv, kit::Rgba::Hex(0x20a040), 30);
    // DefineButton: red up at depth 2 over blue at depth 1 (overlapping), green only when over.
    kit::Actions click;
    click.Stop();
    mv.Raw(kit::tag::DefineButton,
           kit::EncodeDefineButton(10, {Rec(red, 2, 15, 15), Rec(blue, 1, 0, 0), Rec(green, 3, 0, 0, false)}, click));
    // The same button coloured by DefineButtonCxform (the red and blue halved towards black).
    mv.Raw(kit::tag::DefineButton,
           kit::EncodeDefineButton(11, {Rec(red, 2, 15, 15), Rec(blue, 1, 0, 0), Rec(green, 3, 0, 0, false)}));
    mv.Raw(kit::tag::DefineButtonCxform,
           kit::EncodeDefineButtonCxform(11, kit::ColorTransform::Multiply(0.5, 0.5, 0.5)));
    // DefineButton2 with a per-record colour transform with alpha, a scaled record and actions.
    kit::ButtonRecord half = Rec(blue, 1, 0, 0);
    half.cxform = kit::ColorTransform::Alpha(0.5);
    kit::ButtonRecord big = Rec(red, 2, 20, 20);
    big.matrix = kit::Matrix::Translate(kit::Px(20), kit::Px(20)) * kit::Matrix::Scale(0.5);
    kit::ButtonCondAction act;
    act.actions.Play();
    mv.Raw(kit::tag::DefineButton2,
           kit::EncodeDefineButton2(12, {half, big, Rec(green, 3, 5, 5, false)}, false, {act, act}));
    mv.Place2(kit::Place::Add(1, 10).At(kit::Matrix::Translate(kit::Px(5), kit::Px(5))));
    mv.Place2(kit::Place::Add(2, 11).At(kit::Matrix::Translate(kit::Px(85), kit::Px(5))));
    mv.Place2(kit::Place::Add(3, 12).At(kit::Matrix::Translate(kit::Px(45), kit::Px(60)) * kit::Matrix::Rotate(0.3)));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->Info().warnings.empty());
    const raster::Surface s = RenderSurface(*m, kW, kH);
    CheckReference("buttons_up", ToStraight(s));
    EXPECT_EQ(Rgb(s, 10, 10), 0x2040e0u);   // blue below
    EXPECT_EQ(Rgb(s, 40, 40), 0xe02020u);   // red above it at the overlap
    EXPECT_EQ(Rgb(s, 100, 40), 0x701010u);  // the coloured copy
    m->Play();
    m->Advance();  // button actions are never run, the movie keeps playing
    EXPECT_TRUE(m->IsPlaying());
}

TEST(ButtonBadInput, TruncatedButtonsAndUnknownCharacters) {
    kit::Movie base = ButtonStage();
    const uint16_t red = Square(base, kit::Rgba::Hex(0xe02020), 30);
    kit::ButtonRecord r = Rec(red, 1, 0, 0);
    r.cxform = kit::ColorTransform::Add(10, 10, 10);
    const kit::Bytes b1 = kit::EncodeDefineButton(10, {r, Rec(999, 2, 5, 5)});
    const kit::Bytes b2 = kit::EncodeDefineButton2(10, {r, Rec(999, 2, 5, 5)}, true);
    for (const auto& [code, full] : {std::pair{kit::tag::DefineButton, b1}, std::pair{kit::tag::DefineButton2, b2}}) {
        for (size_t len = 0; len <= full.size(); ++len) {
            kit::Movie mv = ButtonStage();
            (void)Square(mv, kit::Rgba::Hex(0xe02020), 30);
            mv.Raw(code, kit::Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len)));
            mv.Raw(kit::tag::DefineButtonCxform, kit::Bytes{10, 0, 0xFF});  // a broken cxform too
            mv.Place2(kit::Place::Add(1, 10));
            mv.ShowFrame();
            auto m = LoadKit(mv);
            ASSERT_TRUE(m) << len;
            const raster::Surface s = RenderSurface(*m, 40, 30);
            if (len == full.size()) {
                EXPECT_NE(Rgb(s, 5, 5), 0xffffffu);
            }
        }
    }
    // A button that contains itself shows nothing instead of recursing without end.
    kit::Movie mv = ButtonStage();
    mv.Raw(kit::tag::DefineButton2, kit::EncodeDefineButton2(5, {Rec(5, 1, 1, 1)}));
    mv.Place2(kit::Place::Add(1, 5));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    (void)RenderSurface(*m, 40, 30);
}
