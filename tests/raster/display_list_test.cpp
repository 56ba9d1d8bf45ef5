// What two recorded frames are found to differ in.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine/raster/display_list.h"
#include "tests/raster/test_util.h"

namespace rt {
namespace {

Paint Solid(uint8_t r) {
    Paint p;
    p.color = Rgba{r, 0, 0, 255};
    return p;
}

// Records what `draw` does on a renderer of a 100 x 80 surface (or `w` wide).
void RecordInto(DisplayList& list, const std::function<void(Renderer&)>& draw, int w = 100) {
    Surface s(w, 80);
    Renderer r(s);
    r.Record(&list);
    draw(r);
    r.Record(nullptr);
}

TEST(DisplayList, ChangedRegionsCoverWhatDiffers) {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = bitmap->height = 1;
    bitmap->pixels = {0xFF00FF00u};
    auto shapeAt = [](double x, uint8_t red) { return RectShape(x, 10, x + 10, 20, Solid(red)); };
    auto withBitmap = [&](bool live) {
        return [=](Renderer& r) {
            bitmap->live = live;
            Shape s = RectShape(50, 50, 60, 60, Solid(1));
            s.layers[0].fills[0].kind = Paint::Kind::Bitmap;
            s.layers[0].fills[0].bitmap = bitmap;
            r.DrawShape(s, PxMatrix(), ColorTransform{});
        };
    };
    auto two = [&](double x) {
        return [=](Renderer& r) {
            r.DrawShape(shapeAt(0, 9), PxMatrix(), ColorTransform{});
            r.DrawShape(shapeAt(x, 9), PxMatrix(), ColorTransform{});
        };
    };
    auto masked = [&](double maskX) {
        return [=](Renderer& r) {
            r.BeginClip();
            r.DrawShape(shapeAt(maskX, 0), PxMatrix(), ColorTransform{});
            r.EndClipDefinition();
            r.DrawShape(RectShape(70, 0, 90, 30, Solid(5)), PxMatrix(), ColorTransform{});
            r.PopClip();
        };
    };
    struct Case {
        const char* name;
        std::function<void(Renderer&)> before, after;
        size_t regions;
        IntRect within;  // every region lies in it (that they cover enough, the engine tests show)
    } cases[] = {
        {"the same frame", two(30), two(30), 0, {}},
        {"a shape moved: where it was and is", two(30), two(40), 1, {26, 6, 54, 24}},
        {"a shape recoloured",
         [&](Renderer& r) { r.DrawShape(shapeAt(30, 1), PxMatrix(), ColorTransform{}); },
         [&](Renderer& r) { r.DrawShape(shapeAt(30, 2), PxMatrix(), ColorTransform{}); },
         1,
         {26, 6, 44, 24}},
        {"a bitmap as it was", withBitmap(false), withBitmap(false), 0, {}},
        {"a bitmap a script draws into", withBitmap(true), withBitmap(true), 1, {46, 46, 64, 64}},
        {"a mask moved: its bounds and the shape it cuts", masked(60), masked(75), 1, {56, 0, 94, 34}},
        {"a shape gone",
         two(30),
         [&](Renderer& r) { r.DrawShape(shapeAt(0, 9), PxMatrix(), ColorTransform{}); },
         1,
         {26, 6, 44, 24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayList a, b;
        RecordInto(a, c.before);
        RecordInto(b, c.after);
        const std::vector<IntRect> got = b.Changed(a, 4);
        ASSERT_EQ(got.size(), c.regions);
        for (const IntRect& r : got) {
            EXPECT_GE(r.x0, c.within.x0);
            EXPECT_GE(r.y0, c.within.y0);
            EXPECT_LE(r.x1, c.within.x1);
            EXPECT_LE(r.y1, c.within.y1);
        }
    }
    // Another surface size: all of it.
    DisplayList a, b;
    RecordInto(a, two(30));
    RecordInto(b, two(30), 120);
    const std::vector<IntRect> whole = b.Changed(a, 4);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].x1 - whole[0].x0, 120);
}

}  // namespace
}  // namespace rt
