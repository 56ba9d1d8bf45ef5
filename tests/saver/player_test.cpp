#include <gtest/gtest.h>

#include "player/ShockwaveFlashObjects_TLB.h"
#include "tests/fake/fake_files.h"
#include "tests/fake/fake_platform.h"
#include "tests/saver/tiny_swf.h"

using namespace lumarel;
using namespace lumarel::platform;
using lumarel::fake::FakeFileSystem;
using lumarel::fake::FakePlatform;
using lumarel::testing::TinySwf;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.files = &files;
        fp.Install();
        player.SetBounds(Rect{0, 0, 40, 20});
        form.CreateHandle();
    }
    void Tick() {
        fp.ui.Post(msg::Timer, player.Handle(), 0, 0, 1);
        Application::Instance().ProcessMessages();
    }
    std::uint32_t PixelAt(int x, int y) {
        const auto& w = fp.ui.Window(player.Handle());
        return w.lastFrame.at(static_cast<std::size_t>(y * w.presentWidth + x));
    }
    FakePlatform fp;
    FakeFileSystem files;
    Form form{"Form1"};
    TShockwaveFlash player{&form, "ShockwaveFlash1"};
};

TEST_F(PlayerTest, NoMovieCountsNoFrames) {
    EXPECT_EQ(player.TotalFrames(), 0);
    EXPECT_EQ(player.CurrentFrame(), 0);
}

TEST_F(PlayerTest, AMovieThatCannotBeDecodedStandsFinishedOnOneFrame) {
    files.AddFile("/m/garbage.swf", std::string("this is no movie at all, not even close"));
    for (const char* path : {"/m/garbage.swf", "/m/missing.swf"}) {
        player.SetMovie(path);
        player.Play();
        EXPECT_EQ(player.TotalFrames(), 1) << path;
        EXPECT_EQ(player.CurrentFrame(), 0) << path;
        EXPECT_FALSE(player.LoadError().empty());
    }
}

TEST_F(PlayerTest, TicksAdvanceOneFrameEachAndLoopAfterTheLast) {
    files.AddFile("/m/a.swf", TinySwf(3, 11000, 8000, 25));
    player.SetMovie("/m/a.swf");
    EXPECT_EQ(player.TotalFrames(), 3);
    Tick();  // not playing yet: no timer, nothing moves
    EXPECT_EQ(player.CurrentFrame(), 0);
    player.Play();
    EXPECT_EQ((fp.ui.timers[{player.Handle(), 1}]), 40);  // 25 frames per second
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        Tick();
        seen.push_back(player.CurrentFrame());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1}));
}

TEST_F(PlayerTest, LoadingReplacesTheMovieInPlay) {
    files.AddFile("/m/a.swf", TinySwf(5));
    files.AddFile("/m/b.swf", TinySwf(2));
    player.SetMovie("/m/a.swf");
    player.Play();
    Tick();
    Tick();
    player.SetMovie("/m/b.swf");
    EXPECT_EQ(player.TotalFrames(), 2);
    EXPECT_EQ(player.CurrentFrame(), 0);
}

TEST_F(PlayerTest, BackgroundIsTheMoviesOwnUntilSetThenFillsAroundTheStage) {
    // TinySwf's background is 0x204080; a 2:1 player shows a 550 x 400 stage letterboxed.
    files.AddFile("/m/a.swf", TinySwf(2));
    player.SetMovie("/m/a.swf");
    EXPECT_EQ(PixelAt(20, 10) & 0xFFFFFFu, 0x204080u);
    player.SetBackgroundColor(0);
    EXPECT_EQ(PixelAt(20, 10), 0xFF000000u);
    EXPECT_EQ(PixelAt(0, 0), 0xFF000000u);
}
