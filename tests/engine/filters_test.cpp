// FILTERLIST records on hand-made bytes, and the bounds growth they give.
#include <gtest/gtest.h>

#include <bit>

#include "engine/swf/filters.h"
#include "tools/swfkit/swfkit.h"

using namespace lumarel::engine;
namespace kit = lumarel::swfkit;
using kit::Bytes;

namespace {

kit::BitWriter& Rgba(kit::BitWriter& b, uint32_t rgba) {
    return b.U8(rgba >> 24).U8((rgba >> 16) & 255).U8((rgba >> 8) & 255).U8(rgba & 255);
}
kit::BitWriter& Fixed(kit::BitWriter& b, double v) {
    return b.U32(static_cast<uint32_t>(static_cast<int32_t>(v * 65536)));
}
kit::BitWriter& Float(kit::BitWriter& b, float v) { return b.U32(std::bit_cast<uint32_t>(v)); }

// Drop shadow, bevel, 1 x 2 convolution, gradient glow.
Bytes List() {
    kit::BitWriter b;
    b.U8(4).U8(0);
    Rgba(b, 0x11223380);
    Fixed(Fixed(Fixed(Fixed(b, 4), 2.5), 0.785), 3).U16(0x0180).Ub(1, 1).Ub(0, 1).Ub(1, 1).Ub(3, 5);
    b.U8(3);
    Rgba(Rgba(b, 0x000000FF), 0xFFFFFFFF);
    Fixed(Fixed(Fixed(Fixed(b, 2), 2), -1), 1).U16(0x0200).Ub(0, 1).Ub(1, 1).Ub(1, 1).Ub(1, 1).Ub(2, 4);
    b.U8(5).U8(1).U8(2);
    Float(Float(Float(Float(b, 0), 0.5f), 1), -1);
    Rgba(b, 0x01020304).Ub(0, 6).Ub(1, 1).Ub(0, 1);
    b.U8(4).U8(2);
    Rgba(Rgba(b, 0xFF000000), 0x00FF00FF).U8(0).U8(255);
    Fixed(Fixed(Fixed(Fixed(b, 8), 8), 0), 0).U16(0x0100).Ub(1, 1).Ub(0, 1).Ub(1, 1).Ub(0, 1).Ub(15, 4);
    return b.Take();
}

TEST(FilterList, DecodesEveryField) {
    const Bytes d = List();
    swf::BitReader r(d);
    const auto list = swf::ReadFilterList(r);
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.AtEnd());
    ASSERT_EQ(list.size(), 4u);
    const auto& ds = std::get<swf::DropShadowFilter>(list[0]);
    EXPECT_EQ(ds.color.r, 0x11);
    EXPECT_EQ(ds.color.a, 0x80);
    EXPECT_DOUBLE_EQ(ds.blurY, 2.5);
    EXPECT_NEAR(ds.angle, 0.785, 1e-4);
    EXPECT_DOUBLE_EQ(ds.strength, 1.5);
    EXPECT_TRUE(ds.inner && !ds.knockout && ds.compositeSource);
    EXPECT_EQ(ds.passes, 3);
    const auto& bv = std::get<swf::BevelFilter>(list[1]);
    EXPECT_EQ(bv.shadowColor.r, 0);
    EXPECT_EQ(bv.highlightColor.r, 255);
    EXPECT_DOUBLE_EQ(bv.angle, -1);
    EXPECT_TRUE(bv.knockout && bv.onTop && !bv.inner);
    EXPECT_EQ(bv.passes, 2);
    const auto& cv = std::get<swf::ConvolutionFilter>(list[2]);
    EXPECT_EQ(cv.matrixY, 2);
    EXPECT_EQ(cv.divisor, 0.0f);
    EXPECT_EQ(cv.matrix, (std::vector<float>{1, -1}));
    EXPECT_EQ(cv.defaultColor.b, 3);
    EXPECT_TRUE(cv.clamp && !cv.preserveAlpha);
    const auto& gg = std::get<swf::GradientGlowFilter>(list[3]);
    ASSERT_EQ(gg.stops.size(), 2u);
    EXPECT_EQ(gg.stops[1].color.g, 255);
    EXPECT_EQ(gg.stops[1].ratio, 255);
    EXPECT_EQ(gg.passes, 15);
}

TEST(FilterList, CutOrUnknownKeepsWhatWasRead) {
    const Bytes d = List();
    for (size_t cut : {size_t{0}, size_t{10}, size_t{40}, d.size() - 1}) {
        swf::BitReader r(std::span<const uint8_t>(d).first(cut));
        const auto list = swf::ReadFilterList(r);
        EXPECT_FALSE(r.Ok()) << cut;
        EXPECT_EQ(list.size(), cut < 25 ? 0u : cut == d.size() - 1 ? 3u : 1u) << cut;
    }
    Bytes unknown(83, 0);  // a colour matrix of zeros, then filter id 9
    unknown[0] = 2;
    unknown[1] = 6;
    unknown[82] = 9;
    swf::BitReader r(unknown);
    EXPECT_EQ(swf::ReadFilterList(r).size(), 1u);
}

TEST(FilterList, GrowthFollowsBlurAndOffset) {
    swf::DropShadowFilter ds;
    ds.blurX = ds.blurY = 4;
    ds.distance = 4;
    ds.passes = 1;
    swf::BlurFilter blur{2, 0, 3};
    const std::vector<swf::Filter> list = {ds, blur};
    const swf::FilterGrowth g = swf::FilterListGrowth(list, 2);
    EXPECT_EQ(g.left, 4 + 6);    // a 9-pixel box, then three 5-pixel ones
    EXPECT_EQ(g.right, 12 + 6);  // and the shadow moved 8 to the right
    EXPECT_EQ(g.top, 4);
    ds.inner = true;
    EXPECT_EQ(swf::FilterListGrowth(std::vector<swf::Filter>{ds}, 2).bottom, 0);
}

}  // namespace
