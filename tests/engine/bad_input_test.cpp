// Hostile movies made with the kit: runaway nesting, fan-out, bogus tags, broken bodies,
// LZMA truncation and random corruption. Each must load or fail with a reason; never crash,
// hang or grow without bound.
#include <gtest/gtest.h>

#include <random>

#include "tests/engine/kit_movies.h"

using namespace lumarel;
using namespace lumarel::enginetest;

namespace {

kit::Movie Stage() { return kit::Movie(kit::Rect::Pixels(0, 0, 64, 48), 12.0); }

void Exercise(engine::Movie& m, int ticks = 3) {
    m.Play();
    raster::Surface s(32, 24);
    for (int i = 0; i < ticks; ++i) {
        m.Render(s);
        m.Advance();
    }
    m.Render(s);
}

}  // namespace

TEST(Hostile, SelfNestingSpriteStopsAtTheNestingLimit) {
    kit::Movie mv = Stage();
    Square(mv, kit::Rgba::Hex(0xff0000), 4);  // id 1
    kit::Sprite self;
    self.Place2(kit::Place::Add(1, 1));
    self.Place2(kit::Place::Add(2, 500).At(kit::Matrix::Translate(20, 20)));  // itself
    self.ShowFrame().ShowFrame();
    mv.Raw(kit::tag::DefineSprite, self.Encode(500));
    mv.Place2(kit::Place::Add(1, 500)).ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    int depth = 0;
    const engine::timeline::Instance* cur = &m->Stage().Root();
    while (const auto* o = cur->At(cur == &m->Stage().Root() ? 1 : 2)) {
        if (!o->sprite) break;
        cur = o->sprite.get();
        ++depth;
    }
    EXPECT_EQ(depth, engine::timeline::kMaxNesting);
    Exercise(*m);
}

TEST(Hostile, FanOutIsCappedByTheObjectBudget) {
    kit::Movie mv = Stage();
    uint16_t child = Square(mv, kit::Rgba::Hex(0x00ff00), 1);
    for (int level = 0; level < 8; ++level) {  // 10^8 objects if unbounded
        kit::Sprite s;
        for (uint16_t d = 1; d <= 10; ++d) s.Place2(kit::Place::Add(d, child));
        s.ShowFrame();
        child = mv.DefineSprite(s);
    }
    mv.Place2(kit::Place::Add(1, child)).ShowFrame().ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_LE(m->Stage().ObjectCount(), engine::timeline::kMaxDisplayObjects);
    EXPECT_GT(m->Stage().ObjectCount(), 1000);
    Exercise(*m, 2);
    EXPECT_LE(m->Stage().ObjectCount(), engine::timeline::kMaxDisplayObjects);
}

TEST(Hostile, BogusTagsAndBrokenBodiesAreSkipped) {
    kit::Movie mv = Stage();
    const uint16_t sq = Square(mv, kit::Rgba::Hex(0x0000ff));
    mv.Raw(1023, kit::Bytes{1, 2, 3, 4, 5});
    mv.Raw(kit::tag::DefineShape3, kit::Bytes{9, 0, 0xFF, 0xFF, 0xFF});        // garbage shape
    mv.Raw(kit::tag::DefineShape4, kit::Bytes{});                              // empty shape
    mv.Raw(kit::tag::DefineSprite, kit::Bytes{7, 0, 1, 0, 0xFF, 0xFF, 1, 2});  // inner tag overruns
    mv.Raw(kit::tag::DefineSprite, kit::Bytes{8});                             // too short
    mv.Raw(kit::tag::PlaceObject2, kit::Bytes{0x06, 1});                       // cut short
    mv.Raw(kit::tag::PlaceObject3, kit::Bytes{0xFF, 0xFF, 1, 0});
    mv.Raw(kit::tag::PlaceObject, kit::Bytes{1, 0});
    mv.Raw(kit::tag::RemoveObject2, kit::Bytes{});
    mv.Raw(kit::tag::DoAction, kit::Bytes{0x81, 0xFF, 0x7F, 1});              // length past the end
    mv.Raw(kit::tag::DoAction, kit::Bytes{0x8B, 3, 0, 'a', 'b', 'c', 0x07});  // target string unterminated
    mv.Raw(kit::tag::FrameLabel, kit::Bytes{'x'});
    mv.Place2(kit::Place::Add(1, sq));
    mv.Place2(kit::Place::Add(2, 7));   // the overrunning sprite: kept with what was read
    mv.Place2(kit::Place::Add(3, 99));  // undefined character
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->Info().warnings.empty());
    EXPECT_TRUE(m->Stage().Root().At(1));
    EXPECT_FALSE(m->Stage().Root().At(3));
    Exercise(*m);

    // Header frame count far above the frames present: the timeline counts ShowFrame tags, so
    // the last frame is reached.
    kit::Movie three = Stage();
    three.ShowFrame().ShowFrame().ShowFrame();
    kit::BuildOptions o;
    o.frameCount = 1000;
    const kit::Bytes b = three.Build(o);
    auto t = engine::Movie::Load(b);
    ASSERT_TRUE(t.movie) << t.error;
    EXPECT_EQ(t.movie->TotalFrames(), 3);
    EXPECT_EQ(t.movie->Info().headerFrameCount, 1000);
}

TEST(Hostile, LongHeadersAndLzma) {
    kit::Movie mv = Stage();
    const uint16_t sq = Square(mv, kit::Rgba::Hex(0x0000ff));
    mv.Place2(kit::Place::Add(1, sq)).ShowFrame().ShowFrame();
    mv.ForceLongHeaders(true);
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->TotalFrames(), 2);
    if (!kit::LzmaAvailable()) GTEST_SKIP() << "kit cannot write LZMA";
    const kit::Bytes z = mv.Build(kit::Compression::Lzma);
    engine::LoadResult lr = engine::Movie::Load(z);
#if defined(_WIN32)
    EXPECT_FALSE(lr.movie);
    EXPECT_NE(lr.error.find("LZMA"), std::string::npos);
#else
    ASSERT_TRUE(lr.movie) << lr.error;
    EXPECT_EQ(lr.movie->Info().compression, engine::Compression::Lzma);
    EXPECT_EQ(lr.movie->TotalFrames(), 2);
    for (size_t n = 0; n < z.size(); ++n) {
        const kit::Bytes cut(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(n));
        engine::LoadResult c = engine::Movie::Load(cut);
        if (c.movie) {
            Exercise(*c.movie, 1);  // the whole tags it still holds play
        } else {
            EXPECT_FALSE(c.error.empty()) << "ZWS cut at " << n;
        }
    }
#endif
}

TEST(Hostile, RandomCorruptionNeverCrashes) {
    kit::Movie mv = Stage();
    const uint16_t sq = Square(mv, kit::Rgba::Hex(0x808000));
    kit::ShapeBuilder g;
    g.Style(g.AddFill(kit::FillStyle::Radial(kit::Gradient::Even({kit::Rgba::Hex(0xffffff), kit::Rgba::Hex(0)}),
                                             kit::Matrix::GradientBox(0, 0, 400, 400))),
            g.AddLine(kit::LineStyle::Solid(40, kit::Rgba::Hex(0xff0000)).Joins(kit::Join::Miter)))
        .Star(400, 400, 300, 100, 5);
    const uint16_t star = mv.DefineShape(g, 4);
    kit::Sprite s;
    s.Place2(kit::Place::Add(1, star).Named("s")).DoAction(kit::Actions().SetTarget("../x").Stop()).ShowFrame();
    s.Place2(kit::Place::Modify(1).At(kit::Matrix::Rotate(1))).ShowFrame();
    const uint16_t sid = mv.DefineSprite(s);
    mv.Place2(kit::Place::Add(1, sq).ClipTo(2)).Place2(kit::Place::Add(2, sid).Named("x")).ShowFrame();
    mv.DoAction(kit::Actions().GotoFrame(0).Play()).Remove(2).ShowFrame();
    for (kit::Compression c : {kit::Compression::None, kit::Compression::Zlib}) {
        const kit::Bytes good = mv.Build(c);
        std::mt19937 rng(1234);
        for (int round = 0; round < 1500; ++round) {
            kit::Bytes b = good;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int i = 0; i < flips; ++i) {
                // Leave the signature mostly alone so the body gets exercised.
                const size_t at = 4 + rng() % (b.size() - 4);
                b[at] = static_cast<uint8_t>(rng());
            }
            engine::LoadResult lr = engine::Movie::Load(b);
            if (lr.movie) {
                Exercise(*lr.movie, 2);
            } else {
                EXPECT_FALSE(lr.error.empty());
            }
        }
    }
}

// Names a movie loads files by: only paths inside its own folder are kept.
TEST(BadInput, LoadedFileNamesStayInTheMoviesFolder) {
    const std::pair<const char*, const char*> cases[] = {{"data/a.xml", "data/a.xml"},
                                                         {"./b.txt", "b.txt"},
                                                         {"file:c.txt", "c.txt"},
                                                         {"d\\e.txt", "d/e.txt"},
                                                         {"f.txt?x=1#y", "f.txt"},
                                                         {"../up.txt", ""},
                                                         {"a/../../b", ""},
                                                         {"/etc/passwd", ""},
                                                         {"C:\\x.txt", ""},
                                                         {"http://x/y.xml", ""},
                                                         {"file:///etc/passwd", ""},
                                                         {"", ""}};
    for (const auto& [url, want] : cases) EXPECT_EQ(lumarel::engine::LocalMoviePath(url), want) << url;
}
