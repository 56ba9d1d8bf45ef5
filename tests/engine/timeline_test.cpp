// Display list, timelines, the frame clock and frame actions on kit-made movies.
#include <gtest/gtest.h>

#include "tests/engine/kit_movies.h"

using namespace lumarel;
using namespace lumarel::enginetest;
using engine::timeline::Instance;

namespace {

kit::Movie Stage() { return kit::Movie(kit::Rect::Pixels(0, 0, 200, 100), 12.0); }

void Tick(engine::Movie& m, int n) {
    for (int i = 0; i < n; ++i) m.Advance();
}

}  // namespace

TEST(DisplayList, TwoAddsAtOneDepthKeepBothTheFirstOnTop) {
    // Red, then blue, both added (not moved) at depth 1 in one frame: the player keeps both and
    // shows red on top; a removal takes one of them away.
    kit::Movie mv = Stage();
    const uint16_t red = Square(mv, kit::Rgba::Hex(0xff0000));
    const uint16_t blue = Square(mv, kit::Rgba::Hex(0x0000ff));
    mv.Place2(kit::Place::Add(1, red)).Place2(kit::Place::Add(1, blue)).ShowFrame();
    mv.Remove(1).ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    EXPECT_EQ(Root(*m).Objects().size(), 2u);
    raster::Surface s(200, 100);
    m->Render(s);
    EXPECT_EQ(s.Pixel(5, 5), 0xFFFF0000u);
    m->Advance();
    EXPECT_EQ(Root(*m).Objects().size(), 1u);
}

TEST(DisplayList, PlaceModifyReplaceRemove) {
    kit::Movie mv = Stage();
    const uint16_t red = Square(mv, kit::Rgba::Hex(0xff0000));
    const uint16_t blue = Square(mv, kit::Rgba::Hex(0x0000ff));
    // Frame 0: place red at 1 (named, ratio), blue at 5 with PlaceObject (v1), mask at 3.
    mv.Place2(kit::Place::Add(1, red)
                  .At(kit::Matrix::Translate(100, 200))
                  .Named("r")
                  .WithRatio(7)
                  .Color(kit::ColorTransform::Alpha(0.5)));
    mv.PlaceObject(blue, 5, kit::Matrix::Translate(1, 2));
    mv.Place3(kit::Place::Add(3, red).ClipTo(4));
    mv.ShowFrame();
    // Frame 1: move red, replace blue with red (keeps its matrix).
    mv.Place2(kit::Place::Modify(1).At(kit::Matrix::Translate(300, 400)));
    mv.Place2(kit::Place::Replace(5, red));
    mv.Place2(kit::Place::Modify(9).At(kit::Matrix::Translate(1, 1)));  // nothing at 9: ignored
    mv.ShowFrame();
    // Frame 2: remove with both forms.
    mv.Remove(1);
    mv.RemoveObject(red, 5);
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    const Instance& root = Root(*m);
    ASSERT_EQ(root.Objects().size(), 3u);
    const auto* a = root.At(1);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->characterId, red);
    EXPECT_EQ(a->name, "r");
    EXPECT_EQ(a->ratio, 7);
    EXPECT_DOUBLE_EQ(a->matrix.tx, 100);
    EXPECT_NEAR(a->cxform.am, 0.5, 1e-9);
    EXPECT_EQ(root.At(5)->characterId, blue);
    EXPECT_DOUBLE_EQ(root.At(5)->matrix.ty, 2);
    EXPECT_EQ(root.At(3)->clipDepth, 4);

    m->Advance();
    EXPECT_EQ(m->CurrentFrame(), 1);
    EXPECT_DOUBLE_EQ(root.At(1)->matrix.tx, 300);
    EXPECT_EQ(root.At(1)->name, "r");  // kept by the modify
    EXPECT_EQ(root.At(5)->characterId, red);
    EXPECT_DOUBLE_EQ(root.At(5)->matrix.tx, 1);
    EXPECT_FALSE(root.At(9));

    m->Advance();
    EXPECT_FALSE(root.At(1));
    EXPECT_FALSE(root.At(5));
    EXPECT_TRUE(root.At(3));

    // Looping back to frame 0 rebuilds the list as frame 0 left it.
    m->Advance();
    EXPECT_EQ(m->CurrentFrame(), 0);
    ASSERT_TRUE(root.At(1));
    EXPECT_DOUBLE_EQ(root.At(1)->matrix.tx, 100);
    EXPECT_EQ(root.At(5)->characterId, blue);
}

TEST(Timeline, OneFrameMovieAndFrameCounting) {
    kit::Movie mv = Stage();
    Square(mv, kit::Rgba::Hex(0x00ff00));
    mv.Place2(kit::Place::Add(1, 1));
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    EXPECT_EQ(m->TotalFrames(), 1);
    EXPECT_EQ(m->CurrentFrame(), 0);  // finished at the first poll
    Tick(*m, 3);
    EXPECT_EQ(m->CurrentFrame(), 0);

    kit::Movie three = Stage();
    three.ShowFrame().ShowFrame().ShowFrame();
    auto t = LoadKit(three);
    ASSERT_TRUE(t);
    t->Advance();  // not started yet
    EXPECT_EQ(t->CurrentFrame(), 0);
    t->Play();
    std::vector<int> seen;
    for (int i = 0; i < 7; ++i) {
        seen.push_back(t->CurrentFrame());
        t->Advance();
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
}

TEST(Timeline, SpritesKeepTheirOwnClockAndLoop) {
    kit::Movie mv = Stage();
    const uint16_t sq = Square(mv, kit::Rgba::Hex(0x808080));
    kit::Sprite inner;  // 2 frames
    inner.Place2(kit::Place::Add(1, sq)).ShowFrame().ShowFrame();
    const uint16_t innerId = mv.DefineSprite(inner);
    kit::Sprite outer;  // 3 frames, holds the inner sprite
    outer.Place2(kit::Place::Add(1, innerId).Named("in")).ShowFrame().ShowFrame().ShowFrame();
    const uint16_t outerId = mv.DefineSprite(outer);
    // Main: 4 frames; the outer sprite placed in frame 0, a second one in frame 2.
    mv.Place2(kit::Place::Add(1, outerId).Named("a")).ShowFrame();
    mv.ShowFrame();
    mv.Place2(kit::Place::Add(2, outerId).Named("b")).ShowFrame();
    mv.ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    const Instance& root = Root(*m);
    auto a = root.Child("a");
    ASSERT_TRUE(a);
    auto ain = a->Child("IN");  // names match without regard to case
    ASSERT_TRUE(ain);
    EXPECT_EQ(a->CurrentFrame(), 0);
    EXPECT_EQ(a->FrameCount(), 3);
    Tick(*m, 2);  // main frame 2: b is new and shows its frame 0
    auto b = root.Child("b");
    ASSERT_TRUE(b);
    EXPECT_EQ(a->CurrentFrame(), 2);
    EXPECT_EQ(ain->CurrentFrame(), 0);
    EXPECT_EQ(b->CurrentFrame(), 0);
    m->Advance();                     // main frame 3
    EXPECT_EQ(a->CurrentFrame(), 0);  // looped
    EXPECT_EQ(ain->CurrentFrame(), 1);
    EXPECT_EQ(b->CurrentFrame(), 1);
    m->Advance();  // main loops to frame 0: a was placed there and keeps running; b goes
    EXPECT_EQ(m->CurrentFrame(), 0);
    EXPECT_FALSE(root.Child("b"));
    EXPECT_EQ(root.Child("a"), a);
    EXPECT_EQ(a->CurrentFrame(), 1);
    EXPECT_EQ(ain->CurrentFrame(), 0);
}

TEST(Actions, StopPlayGotoAndLabels) {
    kit::Movie mv = Stage();
    mv.DoAction(kit::Actions().Stop()).ShowFrame();        // 0
    mv.ShowFrame();                                        // 1
    mv.DoAction(kit::Actions().GotoFrame(4)).ShowFrame();  // 2 -> 4 and stop
    mv.Label("back").ShowFrame();                          // 3
    mv.ShowFrame();                                        // 4
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();  // the first Play honours frame 0's stop()
    Tick(*m, 2);
    EXPECT_EQ(m->CurrentFrame(), 0);
    EXPECT_FALSE(m->IsPlaying());
    m->Play();  // a later Play resumes
    Tick(*m, 1);
    EXPECT_EQ(m->CurrentFrame(), 1);
    Tick(*m, 1);
    EXPECT_EQ(m->CurrentFrame(), 4);
    EXPECT_FALSE(m->IsPlaying());
    Tick(*m, 2);
    EXPECT_EQ(m->CurrentFrame(), 4);

    kit::Movie lb = Stage();
    lb.ShowFrame();
    lb.Label("End").DoAction(kit::Actions().GotoLabel("end").Play()).ShowFrame();  // 1: loops on itself
    lb.DoAction(kit::Actions().GotoLabel("missing").PrevFrame()).ShowFrame();      // 2
    lb.DoAction(kit::Actions().NextFrame()).ShowFrame();                           // 3
    auto l = LoadKit(lb);
    ASSERT_TRUE(l);
    l->Play();
    Tick(*l, 1);
    EXPECT_EQ(l->CurrentFrame(), 1);  // gotoLabel to the frame itself changes nothing; play
    EXPECT_TRUE(l->IsPlaying());
    // Frame 2 ignores the unknown label and steps back to 1, whose script runs again and plays.
    for (int i = 0; i < 3; ++i) {
        Tick(*l, 1);
        EXPECT_EQ(l->CurrentFrame(), 1);
        EXPECT_TRUE(l->IsPlaying());
    }
}

TEST(Actions, SetTargetPathsAndSkippedActions) {
    kit::Movie mv = Stage();
    kit::Sprite leaf;
    leaf.ShowFrame().ShowFrame().ShowFrame();
    const uint16_t leafId = mv.DefineSprite(leaf);
    kit::Sprite mid;  // stops its sibling "other" through ../ and itself through ""
    mid.Place2(kit::Place::Add(1, leafId).Named("leaf"));
    mid.DoAction(kit::Actions().SetTarget("../other").Stop().SetTarget("").GotoFrame(1).SetTarget("leaf").GotoFrame(2));
    mid.ShowFrame().ShowFrame().ShowFrame();
    const uint16_t midId = mv.DefineSprite(mid);
    mv.Place2(kit::Place::Add(1, midId).Named("mid"));
    mv.Place2(kit::Place::Add(2, leafId).Named("other"));
    mv.Place2(kit::Place::Add(3, leafId).Named("third"));
    // Unknown actions (push, add, a jump) are skipped by their length; waitForFrame never skips.
    mv.DoAction(kit::Actions()
                    .Op(0x96, kit::Bytes{0, 'x', 0})
                    .Op(0x0A)
                    .Op(0x99, kit::Bytes{0x05, 0x00})
                    .WaitForFrame(1, 1)
                    .SetTarget("/third")
                    .Stop()
                    .SetTarget("/nobody")
                    .Play()
                    .SetTarget("")
                    .Stop());
    mv.ShowFrame().ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    const Instance& root = Root(*m);
    auto midI = root.Child("mid"), other = root.Child("other"), third = root.Child("third");
    ASSERT_TRUE(midI && other && third);
    auto leafI = midI->Child("leaf");
    ASSERT_TRUE(leafI);
    EXPECT_FALSE(m->IsPlaying());        // main's stop after WaitForFrame ran
    EXPECT_FALSE(third->Playing());      // "/third"
    EXPECT_FALSE(other->Playing());      // "../other" from mid
    EXPECT_EQ(midI->CurrentFrame(), 1);  // "" back to mid
    EXPECT_FALSE(midI->Playing());
    EXPECT_EQ(leafI->CurrentFrame(), 2);  // "leaf" relative to mid
    EXPECT_TRUE(root.Child("other")->Playing() == false);
}

TEST(Actions, GotoLoopsBetweenFrameScriptsAreBounded) {
    kit::Movie mv = Stage();
    mv.DoAction(kit::Actions().GotoFrame(1).Play()).ShowFrame();
    mv.DoAction(kit::Actions().GotoFrame(0).Play()).ShowFrame();
    auto m = LoadKit(mv);
    ASSERT_TRUE(m);
    m->Play();
    Tick(*m, 5);  // returns: the ping-pong is cut off within each tick
    EXPECT_GE(m->CurrentFrame(), 0);
    EXPECT_LE(m->CurrentFrame(), 1);
}
