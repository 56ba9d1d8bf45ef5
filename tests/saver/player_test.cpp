#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "player/ShockwaveFlashObjects_TLB.h"
#include "tests/fake/fake_files.h"
#include "tests/fake/fake_platform.h"
#include "tests/saver/tiny_swf.h"
#include "tools/swfkit/swfkit.h"

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
        form.SetBounds(Rect{0, 0, 200, 100});
        player.SetBounds(Rect{0, 0, 40, 20});
        form.CreateHandle();
    }
    // One tick of the frame timer, as its interval passes.
    void Tick() {
        fp.services.ticks += static_cast<std::uint64_t>(fp.ui.timers[{player.Handle(), 1}]);
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
    files.AddFile("/m/one.swf", TinySwf(1));
    for (const char* path : {"/m/garbage.swf", "/m/missing.swf", "/m/one.swf"}) {
        player.SetMovie(path);
        player.Play();
        // Starting queues a message that wakes a waiting event loop for its idle pass: nothing
        // else would come for a movie without frames to tick through.
        ASSERT_EQ(fp.ui.queue.size(), 1u) << path;
        Application::Instance().ProcessMessages();
        EXPECT_EQ(player.TotalFrames(), 1) << path;
        EXPECT_EQ(player.CurrentFrame(), 0) << path;
        EXPECT_EQ(player.LoadError().empty(), path[3] == 'o') << path;
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

TEST_F(PlayerTest, OnlyThePartInsideItsParentHasAWindowAndPixels) {
    // 550 x 400 laid out from (-100, -50) in a 200 x 100 form: the window is the form's area,
    // showing the view from (100, 50) on; nothing beyond is made. A frame 2^31 - 1 twips wide
    // (107374182 pixels) costs no more.
    for (int side : {550, 107374182}) {
        files.AddFile("/m/a.swf", side == 550 ? TinySwf(2) : TinySwf(2, 0x7FFFFFFF, 0x7FFFFFFF));
        player.SetMovie("/m/a.swf");
        player.SetBounds(Rect{-100, -50, side, side == 550 ? 400 : side});
        const auto& w = fp.ui.Window(player.Handle());
        EXPECT_EQ(w.bounds, (Rect{0, 0, 200, 100})) << side;
        EXPECT_EQ((Size{w.presentWidth, w.presentHeight}), (Size{200, 100})) << side;
        EXPECT_EQ(PixelAt(199, 99) & 0xFFFFFFu, 0x204080u) << side;
    }
    // Wholly outside: no window area, nothing drawn; back inside, drawn again.
    player.SetBounds(Rect{300, 0, 40, 20});
    EXPECT_EQ(fp.ui.Window(player.Handle()).bounds.width, 0);
    form.SetBounds(Rect{0, 0, 400, 100});  // the parent grows: the window follows
    EXPECT_EQ(fp.ui.Window(player.Handle()).bounds, (Rect{300, 0, 40, 20}));
}

namespace {

namespace kit = lumarel::swfkit;

// Two frames; the first starts a tone of one second (44 kHz mono PCM).
std::vector<std::uint8_t> ToneMovie() {
    kit::Movie movie(kit::Rect::Pixels(0, 0, 40, 20), 10.0, 8);
    std::vector<std::int16_t> tone(44100);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.2));
    const std::uint16_t id = movie.DefineSound({}, static_cast<std::uint32_t>(tone.size()), kit::EncodePcm16(tone));
    movie.Raw(kit::tag::StartSound, kit::StartSoundBody(id, {}));
    movie.ShowFrame();
    movie.ShowFrame();
    return movie.Build(kit::Compression::None);
}

int Loudest(const std::vector<std::int16_t>& samples) {
    return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
}

}  // namespace

TEST_F(PlayerTest, AMovieWithSoundPlaysOnTheDeviceUntilItIsReplaced) {
    files.AddFile("/m/tone.swf", ToneMovie());
    files.AddFile("/m/quiet.swf", TinySwf(3));
    player.SetMovie("/m/tone.swf");
    EXPECT_TRUE(fp.audio.log.empty());  // nothing opens before the movie plays
    player.Play();
    Tick();
    ASSERT_EQ(fp.audio.log, (std::vector<std::string>{"Open 44100 2"}));
    EXPECT_GT(Loudest(fp.audio.Pull(4410)), 4000);
    // The next movie silences the tone at once; having no sound, it opens no device.
    player.SetMovie("/m/quiet.swf");
    player.Play();
    Tick();
    EXPECT_EQ(fp.audio.log, (std::vector<std::string>{"Open 44100 2", "Close"}));
}

TEST_F(PlayerTest, TheSoundEndsWithThePlayer) {
    files.AddFile("/m/tone.swf", ToneMovie());
    {
        TShockwaveFlash other{&form, "ShockwaveFlash2"};
        other.SetMovie("/m/tone.swf");
        other.Play();
        EXPECT_GT(Loudest(fp.audio.Pull(4410)), 4000);
    }
    EXPECT_EQ(fp.audio.log, (std::vector<std::string>{"Open 44100 2", "Close"}));
}

TEST_F(PlayerTest, WithoutASoundDeviceAMovieWithSoundPlaysSilently) {
    fp.audio.noDevice = true;
    files.AddFile("/m/tone.swf", ToneMovie());
    player.SetMovie("/m/tone.swf");
    player.Play();
    Tick();
    EXPECT_EQ(player.CurrentFrame(), 1);
    EXPECT_EQ(fp.audio.log, (std::vector<std::string>{"Open 44100 2"}));
}

// The frame clock: whatever the timer's pace, the ticks given track the frames due (a steady
// timer one each time, a slow one catching up, a fast one waiting), never more than the
// catch-up limit at once, and a jump of minutes starts counting afresh.
TEST(FramePacer, TicksFollowTheClockNotTheTimer) {
    for (const double interval : {1.0, 1.3, 0.45, 3.5}) {  // in frames
        SCOPED_TRACE(interval);
        player::FramePacer p;
        p.Reset(20, 1000);  // 50 ms frames
        double t = 1000;
        long ticks = 0;
        for (int i = 0; i < 200; ++i) {
            t += interval * 50;
            const int due = p.Due(t);
            EXPECT_LE(due, player::FramePacer::kMaxCatchUp);
            if (interval == 1.0) {
                EXPECT_EQ(due, 1);
            }
            ticks += due;
        }
        EXPECT_NEAR(double(ticks), (t - 1000) / 50, 3);  // the two-frame slack, and a tick of rounding
        EXPECT_EQ(p.Due(t + 600000), 1);
        EXPECT_EQ(p.Due(t + 600050), 1);
    }
}
