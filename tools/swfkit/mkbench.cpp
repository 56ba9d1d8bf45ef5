// lumarel-mkbench OUTDIR: writes movies for timing the renderer (`lumarel-render --bench`), at
// 1920 x 1080 and 30 frames a second, 240 frames each:
//   filtered_move.swf  a full-screen gradient under a clip with a 10 x 10, three-pass glow that
//                      moves one pixel a frame
//   blur_full.swf      a full-screen clip of coloured discs blurred 8 x 8 in three passes that
//                      stays still, and an unfiltered disc moving over it
//   mostly_still.swf   a full-screen gradient under 40 discs, all still but a small one that
//                      takes a step once a second (a clock's hand: 29 frames in 30 change nothing)
#include "tools/swfkit/swfkit.h"

#include <cstdio>
#include <string>

using namespace lumarel::swfkit;

namespace {

constexpr int kW = 1920, kH = 1080, kFrames = 240;

Matrix At(int xPx, int yPx) { return Matrix::Translate(Px(xPx), Px(yPx)); }

std::uint16_t Backdrop(Movie& m) {
    ShapeBuilder s;
    const Gradient g = Gradient::Even({Rgba::Hex(0x102040), Rgba::Hex(0x406080), Rgba::Hex(0x204030)});
    s.Style(s.AddFill(FillStyle::Linear(g, Matrix::GradientBox(0, 0, Px(kW), Px(kH), 0.5))))
        .Rectangle(0, 0, Px(kW), Px(kH));
    return m.DefineShape(s);
}

std::uint16_t Disc(Movie& m, std::uint32_t rgb, int r) {
    ShapeBuilder s;
    s.Style(s.AddFill(FillStyle::Solid(Rgba::Hex(rgb)))).Circle(0, 0, Px(r));
    return m.DefineShape(s);
}

Movie FilteredMove() {
    Movie m(Rect::Pixels(0, 0, kW, kH), 30.0, 8);
    m.Background(Rgba::Hex(0x000000));
    const std::uint16_t back = Backdrop(m);
    ShapeBuilder card;
    card.Style(card.AddFill(FillStyle::Solid(Rgba::Hex(0xe0c060)))).RoundRect(0, 0, Px(240), Px(160), Px(24));
    Sprite clip;
    clip.Place2(Place::Add(1, m.DefineShape(card))).Place2(Place::Add(2, Disc(m, 0x803020, 50)).At(At(120, 80)));
    clip.ShowFrame();
    const std::uint16_t sprite = m.DefineSprite(clip);
    m.Place2(Place::Add(1, back));
    m.Place3(
        Place::Add(2, sprite).At(At(300, 400)).Filters(FilterList().Glow(Rgba::Hex(0xffffff), 10, 10, 2, 3).Encode()));
    m.ShowFrame();
    for (int f = 1; f < kFrames; ++f) m.Place2(Place::Modify(2).At(At(300 + f, 400))).ShowFrame();
    return m;
}

Movie BlurFull() {
    Movie m(Rect::Pixels(0, 0, kW, kH), 30.0, 8);
    m.Background(Rgba::Hex(0x000000));
    Sprite scene;
    scene.Place2(Place::Add(1, Backdrop(m)));
    const std::uint32_t colours[] = {0xe04040, 0x40e040, 0x4040e0, 0xe0e040, 0x40e0e0, 0xe040e0};
    for (int i = 0; i < 24; ++i) {
        const std::uint16_t disc = Disc(m, colours[i % 6], 60 + 10 * (i % 5));
        scene.Place2(Place::Add(std::uint16_t(2 + i), disc).At(At(100 + (i * 397) % 1720, 100 + (i * 211) % 880)));
    }
    scene.ShowFrame();
    m.Place3(Place::Add(1, m.DefineSprite(scene)).Filters(FilterList().Blur(8, 8, 3).Encode()));
    const std::uint16_t dot = Disc(m, 0xffffff, 40);
    m.Place2(Place::Add(2, dot).At(At(200, 540)));
    m.ShowFrame();
    for (int f = 1; f < kFrames; ++f) m.Place2(Place::Modify(2).At(At(200 + 6 * f, 540))).ShowFrame();
    return m;
}

Movie MostlyStill() {
    Movie m(Rect::Pixels(0, 0, kW, kH), 30.0, 8);
    m.Background(Rgba::Hex(0x000000));
    m.Place2(Place::Add(1, Backdrop(m)));
    const std::uint32_t colours[] = {0xe04040, 0x40e040, 0x4040e0, 0xe0e040, 0x40e0e0, 0xe040e0};
    for (int i = 0; i < 40; ++i)
        m.Place2(Place::Add(std::uint16_t(2 + i), Disc(m, colours[i % 6], 30 + 8 * (i % 7)))
                     .At(At(80 + (i * 397) % 1760, 80 + (i * 211) % 920)));
    m.Place2(Place::Add(50, Disc(m, 0xffffff, 12)).At(At(960, 540)));
    m.ShowFrame();
    for (int f = 1; f < kFrames; ++f) {
        if (f % 30 == 0) m.Place2(Place::Modify(50).At(At(960 + 40 * (f / 30), 540)));
        m.ShowFrame();
    }
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumarel-mkbench OUTDIR\n");
        return 2;
    }
    const struct {
        const char* file;
        Movie (*make)();
    } movies[] = {{"filtered_move.swf", FilteredMove}, {"blur_full.swf", BlurFull}, {"mostly_still.swf", MostlyStill}};
    int failures = 0;
    for (const auto& entry : movies) {
        const std::string path = std::string(argv[1]) + "/" + entry.file;
        if (!entry.make().Save(path)) {
            std::fprintf(stderr, "lumarel-mkbench: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
