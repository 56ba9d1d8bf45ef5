// Display list, timelines, the frame clock and frame actions on kit-made movies.
#include <gtest/gtest.h>

#include "tests/engine/kit_movies.h"

using namespace lumarel;
using namespace lumarel::enginetest;
using engine::timeline::Instance;

namespace {

kit::Movie Stage() { return kit::Movie(kit::Rect::pixels(0, 0, 200, 100), 12.0); }

void Tick(engine::Movie& m, int n) {
  for (int i = 0; i < n; ++i) m.Advance();
}

}  // namespace

TEST(DisplayList, TwoAddsAtOneDepthKeepBothTheFirstOnTop) {
  // Red, then blue, both added (not moved) at depth 1 in one frame: the player keeps both and
  // shows red on top; a removal takes one of them away.
  kit::Movie mv = Stage();
  const uint16_t red = Square(mv, kit::Rgba::hex(0xff0000));
  const uint16_t blue = Square(mv, kit::Rgba::hex(0x0000ff));
  mv.place(kit::Place::add(1, red)).place(kit::Place::add(1, blue)).showFrame();
  mv.remove(1).showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  EXPECT_EQ(Root(*m).displayList().size(), 2u);
  raster::Surface s(200, 100);
  m->Render(s);
  EXPECT_EQ(s.pixel(5, 5), 0xFFFF0000u);
  m->Advance();
  EXPECT_EQ(Root(*m).displayList().size(), 1u);
}

TEST(DisplayList, PlaceModifyReplaceRemove) {
  kit::Movie mv = Stage();
  const uint16_t red = Square(mv, kit::Rgba::hex(0xff0000));
  const uint16_t blue = Square(mv, kit::Rgba::hex(0x0000ff));
  // Frame 0: place red at 1 (named, ratio), blue at 5 with PlaceObject (v1), mask at 3.
  mv.place(kit::Place::add(1, red).at(kit::Matrix::translate(100, 200)).named("r").withRatio(7)
               .color(kit::ColorTransform::alpha(0.5)));
  mv.placeObject(blue, 5, kit::Matrix::translate(1, 2));
  mv.place3(kit::Place::add(3, red).clipTo(4));
  mv.showFrame();
  // Frame 1: move red, replace blue with red (keeps its matrix).
  mv.place(kit::Place::modify(1).at(kit::Matrix::translate(300, 400)));
  mv.place(kit::Place::replace(5, red));
  mv.place(kit::Place::modify(9).at(kit::Matrix::translate(1, 1)));  // nothing at 9: ignored
  mv.showFrame();
  // Frame 2: remove with both forms.
  mv.remove(1);
  mv.removeObject(red, 5);
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  const Instance& root = Root(*m);
  ASSERT_EQ(root.displayList().size(), 3u);
  const auto* a = root.at(1);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->characterId, red);
  EXPECT_EQ(a->name, "r");
  EXPECT_EQ(a->ratio, 7);
  EXPECT_DOUBLE_EQ(a->matrix.tx, 100);
  EXPECT_NEAR(a->cxform.am, 0.5, 1e-9);
  EXPECT_EQ(root.at(5)->characterId, blue);
  EXPECT_DOUBLE_EQ(root.at(5)->matrix.ty, 2);
  EXPECT_EQ(root.at(3)->clipDepth, 4);

  m->Advance();
  EXPECT_EQ(m->CurrentFrame(), 1);
  EXPECT_DOUBLE_EQ(root.at(1)->matrix.tx, 300);
  EXPECT_EQ(root.at(1)->name, "r");  // kept by the modify
  EXPECT_EQ(root.at(5)->characterId, red);
  EXPECT_DOUBLE_EQ(root.at(5)->matrix.tx, 1);
  EXPECT_FALSE(root.at(9));

  m->Advance();
  EXPECT_FALSE(root.at(1));
  EXPECT_FALSE(root.at(5));
  EXPECT_TRUE(root.at(3));

  // Looping back to frame 0 rebuilds the list as frame 0 left it.
  m->Advance();
  EXPECT_EQ(m->CurrentFrame(), 0);
  ASSERT_TRUE(root.at(1));
  EXPECT_DOUBLE_EQ(root.at(1)->matrix.tx, 100);
  EXPECT_EQ(root.at(5)->characterId, blue);
}

TEST(Timeline, OneFrameMovieAndFrameCounting) {
  kit::Movie mv = Stage();
  Square(mv, kit::Rgba::hex(0x00ff00));
  mv.place(kit::Place::add(1, 1));
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  EXPECT_EQ(m->TotalFrames(), 1);
  EXPECT_EQ(m->CurrentFrame(), 0);  // finished at the first poll
  Tick(*m, 3);
  EXPECT_EQ(m->CurrentFrame(), 0);

  kit::Movie three = Stage();
  three.showFrame().showFrame().showFrame();
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
  const uint16_t sq = Square(mv, kit::Rgba::hex(0x808080));
  kit::Sprite inner;  // 2 frames
  inner.place(kit::Place::add(1, sq)).showFrame().showFrame();
  const uint16_t innerId = mv.defineSprite(inner);
  kit::Sprite outer;  // 3 frames, holds the inner sprite
  outer.place(kit::Place::add(1, innerId).named("in")).showFrame().showFrame().showFrame();
  const uint16_t outerId = mv.defineSprite(outer);
  // Main: 4 frames; the outer sprite placed in frame 0, a second one in frame 2.
  mv.place(kit::Place::add(1, outerId).named("a")).showFrame();
  mv.showFrame();
  mv.place(kit::Place::add(2, outerId).named("b")).showFrame();
  mv.showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  const Instance& root = Root(*m);
  auto a = root.child("a");
  ASSERT_TRUE(a);
  auto ain = a->child("IN");  // names match without regard to case
  ASSERT_TRUE(ain);
  EXPECT_EQ(a->currentFrame(), 0);
  EXPECT_EQ(a->frameCount(), 3);
  Tick(*m, 2);  // main frame 2: b is new and shows its frame 0
  auto b = root.child("b");
  ASSERT_TRUE(b);
  EXPECT_EQ(a->currentFrame(), 2);
  EXPECT_EQ(ain->currentFrame(), 0);
  EXPECT_EQ(b->currentFrame(), 0);
  m->Advance();  // main frame 3
  EXPECT_EQ(a->currentFrame(), 0);  // looped
  EXPECT_EQ(ain->currentFrame(), 1);
  EXPECT_EQ(b->currentFrame(), 1);
  m->Advance();  // main loops to frame 0: a was placed there and keeps running; b goes
  EXPECT_EQ(m->CurrentFrame(), 0);
  EXPECT_FALSE(root.child("b"));
  EXPECT_EQ(root.child("a"), a);
  EXPECT_EQ(a->currentFrame(), 1);
  EXPECT_EQ(ain->currentFrame(), 0);
}

TEST(Actions, StopPlayGotoAndLabels) {
  kit::Movie mv = Stage();
  mv.doAction(kit::Actions().stop()).showFrame();                   // 0
  mv.showFrame();                                                   // 1
  mv.doAction(kit::Actions().gotoFrame(4)).showFrame();             // 2 -> 4 and stop
  mv.label("back").showFrame();                                     // 3
  mv.showFrame();                                                   // 4
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
  lb.showFrame();
  lb.label("End").doAction(kit::Actions().gotoLabel("end").play()).showFrame();  // 1: loops on itself
  lb.doAction(kit::Actions().gotoLabel("missing").prevFrame()).showFrame();       // 2
  lb.doAction(kit::Actions().nextFrame()).showFrame();                             // 3
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
  leaf.showFrame().showFrame().showFrame();
  const uint16_t leafId = mv.defineSprite(leaf);
  kit::Sprite mid;  // stops its sibling "other" through ../ and itself through ""
  mid.place(kit::Place::add(1, leafId).named("leaf"));
  mid.doAction(kit::Actions().setTarget("../other").stop().setTarget("").gotoFrame(1).setTarget("leaf").gotoFrame(2));
  mid.showFrame().showFrame().showFrame();
  const uint16_t midId = mv.defineSprite(mid);
  mv.place(kit::Place::add(1, midId).named("mid"));
  mv.place(kit::Place::add(2, leafId).named("other"));
  mv.place(kit::Place::add(3, leafId).named("third"));
  // Unknown actions (push, add, a jump) are skipped by their length; waitForFrame never skips.
  mv.doAction(kit::Actions()
                  .op(0x96, kit::Bytes{0, 'x', 0})
                  .op(0x0A)
                  .op(0x99, kit::Bytes{0x05, 0x00})
                  .waitForFrame(1, 1)
                  .setTarget("/third")
                  .stop()
                  .setTarget("/nobody")
                  .play()
                  .setTarget("")
                  .stop());
  mv.showFrame().showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  const Instance& root = Root(*m);
  auto midI = root.child("mid"), other = root.child("other"), third = root.child("third");
  ASSERT_TRUE(midI && other && third);
  auto leafI = midI->child("leaf");
  ASSERT_TRUE(leafI);
  EXPECT_FALSE(m->IsPlaying());       // main's stop after WaitForFrame ran
  EXPECT_FALSE(third->playing());     // "/third"
  EXPECT_FALSE(other->playing());     // "../other" from mid
  EXPECT_EQ(midI->currentFrame(), 1);  // "" back to mid
  EXPECT_FALSE(midI->playing());
  EXPECT_EQ(leafI->currentFrame(), 2);  // "leaf" relative to mid
  EXPECT_TRUE(root.child("other")->playing() == false);
  // Path forms resolve to the same instances.
  auto& stage = const_cast<engine::timeline::Stage&>(m->stage());
  std::shared_ptr<Instance> rootPtr = root.child("mid")->parent();
  EXPECT_EQ(stage.resolve(rootPtr, "/mid/leaf"), leafI);
  EXPECT_EQ(stage.resolve(rootPtr, "_root.mid.leaf"), leafI);
  EXPECT_EQ(stage.resolve(leafI, "../../other"), other);
  EXPECT_EQ(stage.resolve(leafI, "_parent"), midI);
  EXPECT_EQ(stage.resolve(leafI, "/"), rootPtr);
  EXPECT_EQ(stage.resolve(leafI, "../../../../x"), nullptr);
  EXPECT_EQ(stage.resolve(leafI, ""), leafI);
}

TEST(Actions, GotoLoopsBetweenFrameScriptsAreBounded) {
  kit::Movie mv = Stage();
  mv.doAction(kit::Actions().gotoFrame(1).play()).showFrame();
  mv.doAction(kit::Actions().gotoFrame(0).play()).showFrame();
  auto m = LoadKit(mv);
  ASSERT_TRUE(m);
  m->Play();
  Tick(*m, 5);  // returns: the ping-pong is cut off within each tick
  EXPECT_GE(m->CurrentFrame(), 0);
  EXPECT_LE(m->CurrentFrame(), 1);
}
