// Writes the movies the end-to-end saver tests play: stages filled with one flat colour each,
// so a screenshot tells which movie is on the screen and where its stage lies.
//   lumarel-e2e-movies OUTDIR
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/swfkit/swfkit.h"

using namespace lumarel::swfkit;

namespace {

// A width x height stage (550 x 400 unless said) covered by a rectangle of `colour`, with a
// small white square that moves across it, for `frames` frames at 24 frames per second.
Bytes FlatMovie(std::uint32_t colour, int frames, int width = 550, int height = 400,
                Compression compression = Compression::None) {
    Movie movie(Rect::Pixels(0, 0, width, height), 24.0);
    movie.Background(Rgba::Hex(0x808080));
    ShapeBuilder stage;
    stage.Fill1(stage.AddFill(FillStyle::Solid(Rgba::Hex(colour)))).Rectangle(0, 0, Px(width), Px(height));
    std::uint16_t stageId = movie.DefineShape(stage);
    ShapeBuilder dot;
    dot.Fill1(dot.AddFill(FillStyle::Solid(Rgba::Hex(0xFFFFFF)))).Rectangle(0, 0, Px(20), Px(20));
    std::uint16_t dotId = movie.DefineShape(dot);
    movie.Place2(Place::Add(1, stageId));
    for (int f = 0; f < frames; ++f) {
        Matrix at = Matrix::Translate(Px(20 + 4 * f), Px(height - 40));
        movie.Place2(f == 0 ? Place::Add(2, dotId).At(at) : Place::Modify(2).At(at));
        movie.ShowFrame();
    }
    return movie.Build(compression);
}

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumarel-e2e-movies OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = Write(dir + "/1-red.swf", FlatMovie(0xE03020, 48)) &&
              Write(dir + "/3-green.swf", FlatMovie(0x20C040, 48)) &&
              // Larger than the test screen, and compressed: its frame size is in the stream.
              Write(dir + "/4-big-blue.swf", FlatMovie(0x2040E0, 48, 1200, 900, Compression::Zlib));
    return ok ? 0 : 1;
}
