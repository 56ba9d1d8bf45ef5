// A filtered clip kept from frame to frame: every frame as drawn without the cache, and shown
// from it where nothing that goes into the clip changed.
#include <gtest/gtest.h>

#include "engine/raster/raster.h"
#include "tests/engine/kit_movies.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

struct Step {
    const char* what;
    double x;            // the clip's place, pixels
    int16_t redAdd = 0;  // its colour transform
    bool hit;
};
const Step kSteps[] = {
    {"placed", 20, 0, false},
    {"still", 20, 0, true},
    {"three pixels on", 23, 0, true},
    {"half a pixel on", 23.5, 0, false},
    {"still at the half", 23.5, 0, true},
    {"redder", 23.5, 80, false},
    {"a child's frame", 23.5, 80, false},
    {"still again", 23.5, 80, true},
};
constexpr int kChildFrame = 6;  // the child shows its other shape from this step on

kit::Movie ClipMovie() {
    kit::Movie mv(kit::Rect::Pixels(0, 0, 160, 120), 12.0, 8);
    mv.Background(kit::Rgba::Hex(0xffffff));
    const uint16_t back = Square(mv, kit::Rgba::Hex(0x4080c0), 160);
    const uint16_t a = Square(mv, kit::Rgba::Hex(0xcc2222), 30), b = Square(mv, kit::Rgba::Hex(0x22aa44), 18);
    kit::Sprite child;
    for (int f = 0; f < int(std::size(kSteps)); ++f) {
        if (f == 0) child.Place2(kit::Place::Add(1, a));
        if (f == kChildFrame) child.Place2(kit::Place::Replace(1, b));
        child.ShowFrame();
    }
    kit::Sprite clip;
    clip.Place2(kit::Place::Add(1, a).At(kit::Matrix::Translate(kit::Px(10), kit::Px(25))));
    clip.Place2(kit::Place::Add(2, mv.DefineSprite(child)).At(kit::Matrix::Translate(kit::Px(30), 0))).ShowFrame();
    const uint16_t clipId = mv.DefineSprite(clip);
    mv.Place2(kit::Place::Add(1, back));
    for (const Step& s : kSteps) {
        kit::ColorTransform cx;
        cx.ar = s.redAdd;
        const kit::Matrix m = kit::Matrix::Translate(kit::Px(s.x), kit::Px(30));
        if (&s == kSteps) {
            mv.Place3(kit::Place::Add(2, clipId).At(m).Color(cx).Filters(
                kit::FilterList().DropShadow(kit::Rgba::Hex(0x000000), 6, 6, 0.785398, 4, 1, 2).Encode()));
        } else {
            mv.Place2(kit::Place::Modify(2).At(m).Color(cx));
        }
        mv.ShowFrame();
    }
    return mv;
}

TEST(GroupCache, SamePicturesAndKeptWhereUnchanged) {
    const kit::Movie mv = ClipMovie();
    auto kept = LoadKit(mv), fresh = LoadKit(mv);
    ASSERT_TRUE(kept && fresh);
    fresh->SetGroupCache(false);
    raster::Surface a(160, 120), b(160, 120);
    kept->Play();
    fresh->Play();
    for (const Step& s : kSteps) {
        if (&s != kSteps) {
            kept->Advance();
            fresh->Advance();
        }
        const long hits = kept->GroupCacheHits();
        kept->Render(a);
        fresh->Render(b);
        EXPECT_TRUE(std::equal(a.data(), a.data() + 160 * 120, b.data())) << s.what;
        EXPECT_EQ(kept->GroupCacheHits() - hits, s.hit ? 1 : 0) << s.what;
    }
    EXPECT_EQ(fresh->GroupCacheHits(), 0);
}

}  // namespace
