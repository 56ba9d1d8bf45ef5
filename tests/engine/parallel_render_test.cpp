// Frames drawn in bands by several threads, and only where they changed, are the frames drawn
// whole by one thread: on the sample movies, played on, and on a movie whose clips move, swap
// depths, are masked by a moving mask and go.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/engine/kit_movies.h"

namespace lumarel::enginetest {
namespace {

std::unique_ptr<engine::Movie> LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    engine::LoadResult r = engine::Movie::Load(bytes);
    EXPECT_TRUE(r.movie) << path << ": " << r.error;
    return std::move(r.movie);
}

// Plays `frames` frames of two copies of one movie: one drawn whole by one thread, the other
// through RenderChanges by three into a surface kept from frame to frame. Returns how many
// frames RenderChanges found unchanged.
int CompareFrames(engine::Movie& whole, engine::Movie& split, int frames, int w, int h) {
    split.SetThreads(3);
    raster::Surface kept(w, h);
    const engine::Viewport view{w, h, 0, 0};
    int unchanged = 0;
    whole.Play();
    split.Play();
    for (int f = 0; f < frames; ++f) {
        if (f > 0) {
            whole.Advance();
            split.Advance();
        }
        raster::Surface fresh(w, h);
        whole.Render(fresh, view);
        const std::vector<raster::IntRect> regions = split.RenderChanges(kept, view);
        unchanged += regions.empty();
        for (int y = 0; y < h; ++y) {
            const uint32_t* a = fresh.Row(y);
            const uint32_t* b = kept.Row(y);
            for (int x = 0; x < w; ++x)
                if (a[x] != b[x]) {
                    ADD_FAILURE() << "frame " << f << " differs first at " << x << "," << y;
                    return unchanged;
                }
        }
    }
    return unchanged;
}

TEST(ParallelRender, SamplesPlayTheSameSplitAndByChanges) {
    for (const char* name : {"aurora", "bloom", "orbit", "skyline"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(LUMAREL_SAMPLES_DIR) + "/" + name + ".swf";
        auto a = LoadFile(path), b = LoadFile(path);
        ASSERT_TRUE(a && b);
        CompareFrames(*a, *b, 40, 333, 217);  // letterboxed, odd sizes
    }
}

TEST(ParallelRender, MovingSwappingAndMaskedClipsRedrawWhereTheyChanged) {
    kit::Movie mv(kit::Rect::Pixels(0, 0, 200, 150), 12.0);
    const uint16_t red = Square(mv, {255, 0, 0, 255}, 40);
    const uint16_t blue = Square(mv, {0, 0, 255, 200}, 50);
    const uint16_t mask = Square(mv, {0, 0, 0, 255}, 60);
    mv.Place2(kit::Place::Add(1, red).At(kit::Matrix::Translate(kit::Px(10), kit::Px(10))));
    mv.Place2(kit::Place::Add(2, blue).At(kit::Matrix::Translate(kit::Px(30), kit::Px(20))));
    mv.Place2(kit::Place::Add(3, mask).ClipTo(5).At(kit::Matrix::Translate(kit::Px(100), kit::Px(40))));
    mv.Place2(kit::Place::Add(4, red).At(kit::Matrix::Translate(kit::Px(110), kit::Px(60))));
    mv.ShowFrame();
    mv.ShowFrame();  // nothing changes
    mv.Place2(kit::Place::Modify(1).At(kit::Matrix::Translate(kit::Px(25), kit::Px(15))));
    mv.ShowFrame();
    // Swapped in depth, each where it was.
    mv.Remove(1).Remove(2);
    mv.Place2(kit::Place::Add(1, blue).At(kit::Matrix::Translate(kit::Px(30), kit::Px(20))));
    mv.Place2(kit::Place::Add(2, red).At(kit::Matrix::Translate(kit::Px(25), kit::Px(15))));
    mv.ShowFrame();
    mv.Place2(kit::Place::Modify(3).At(kit::Matrix::Translate(kit::Px(90), kit::Px(50))));
    mv.ShowFrame();
    mv.Remove(4).Remove(2);
    mv.ShowFrame();
    auto a = LoadKit(mv), b = LoadKit(mv);
    ASSERT_TRUE(a && b);
    // The first frame is drawn whole; only the repeated second is found unchanged.
    EXPECT_EQ(CompareFrames(*a, *b, 6, 200, 150), 1);
}

}  // namespace
}  // namespace lumarel::enginetest
