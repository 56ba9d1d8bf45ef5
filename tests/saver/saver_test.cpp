#include <gtest/gtest.h>

#include "app/UnitGlobal.h"
#include "saver/Paths.h"
#include "saver/Unit1.h"
#include "tests/fake/fake_files.h"
#include "tests/fake/fake_platform.h"
#include "tests/fake/fake_registry.h"
#include "tests/saver/tiny_swf.h"

using namespace lumarel;
using namespace lumarel::platform;
using lumarel::fake::FakeFileSystem;
using lumarel::fake::FakePlatform;
using lumarel::fake::FakeRegistry;
using lumarel::testing::TinySwf;

namespace {

const std::string kOption = "Software\\velbrook\\Movies\\OPTION";
const std::string kFolder = "D:\\swf";
const std::string kMpr = "MPR.DLL";

FindData File(const std::string& name) { return FindData{name, attr::Archive}; }

}  // namespace

class SaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.services.exePath = "C:\\WINDOWS\\Movies.scr";
        fp.registry = &registry;
        fp.files = &files;
        fp.Install();
        Globals().runMode = RunMode::Show;
        Globals().secondArgument = "";
        moveSkipCount = 0;
        movieStarted = false;
        registry.SetTextAt(kOption, "Folder", 1, kFolder + std::string(1, '\0'));
    }
    void Fit(bool on) {
        registry.SetTextAt(kOption, "Expansion", 1, on ? std::string("1\0", 2) : std::string("0\0", 2));
    }
    void Movies(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& movies) {
        std::vector<FindData> entries = {FindData{".", attr::Directory}, FindData{"..", attr::Directory}};
        for (const auto& [name, bytes] : movies) {
            entries.push_back(File(name));
            files.AddFile(saver::JoinPath(kFolder, name), bytes);
        }
        files.SetEntries(saver::JoinPath(kFolder, "*.*"), entries);
    }
    // Creates the saver as the main window, as start-up does.
    TForm1& Create() {
        form = std::make_unique<TForm1>(ProcessSaverStart());
        Application::Instance().CreateForm(*form);
        return *form;
    }
    WindowHandle Player() { return form->ShockwaveFlash1.Handle(); }
    // What is queued (the player's message of a movie just started, say), then the idle pass
    // that follows.
    void Settle() {
        Application::Instance().ProcessMessages();
        Application::Instance().HandleMessage();
    }
    // One tick of the player's frame timer, through the loop, then the idle pass that follows.
    void Tick() {
        fp.services.ticks += static_cast<std::uint64_t>(fp.ui.timers[{Player(), 1}]);
        fp.ui.Post(msg::Timer, Player(), 0, 0, 1);
        Settle();
    }
    void Input(std::uint32_t m, WindowHandle w, int x = 0, int y = 0) {
        fp.ui.Post(m, w, x, y);
        Application::Instance().ProcessMessages();
    }

    FakePlatform fp;
    FakeRegistry registry;
    FakeFileSystem files;
    std::unique_ptr<TForm1> form;
};

TEST_F(SaverTest, CreationCoversTheScreenHidesThePointerAndStartsTheFirstMovie) {
    Movies({{"a.swf", TinySwf(3)}});
    TForm1& f = Create();
    const auto& w = fp.ui.Window(f.Handle());
    EXPECT_EQ(w.bounds, (Rect{0, 0, 1024, 768}));
    EXPECT_EQ(w.color, 0x000000u);
    EXPECT_EQ(w.spec.border, BorderStyle::None);
    EXPECT_TRUE(w.spec.topmost);
    EXPECT_TRUE(w.spec.hideCursor);
    EXPECT_TRUE(fp.ui.Window(Player()).spec.hideCursor);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(fp.ui.cursorCount, -1);
    EXPECT_EQ(fp.ui.screenSaverRunning, 1);
    EXPECT_TRUE(fp.ui.taskbarHidden);
    EXPECT_EQ(fp.ui.Window(f.Panel1.Handle()).bounds, (Rect{0, 0, 1024, 768}));
    EXPECT_FALSE(f.pendingFirstMovie);
    EXPECT_TRUE(movieStarted);
    EXPECT_EQ(f.currentIndex, 0);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 3);
    EXPECT_EQ(f.ShockwaveFlash1.CurrentFrame(), 0);
    EXPECT_EQ(moveSkipCount, 5);
}

TEST_F(SaverTest, CentredAtItsOwnSizeOrFittedToTheScreen) {
    Movies({{"a.swf", TinySwf(2, 11000, 8000)}});
    Create();
    EXPECT_EQ(fp.ui.Window(Player()).bounds, (Rect{237, 184, 550, 400}));
    EXPECT_EQ(fp.ui.Window(Player()).presentWidth, 550);

    // Larger than the screen: a negative offset, truncated toward zero; the player's window
    // is clipped to the screen and the window stays screen-sized.
    fp.Install();
    Movies({{"big.swf", TinySwf(2, 20 * 1101, 20 * 901)}});
    TForm1& big = Create();
    EXPECT_EQ(big.ShockwaveFlash1.Bounds(), (Rect{(1024 - 1101) / 2, (768 - 901) / 2, 1101, 901}));
    EXPECT_EQ((1024 - 1101) / 2, -38);
    EXPECT_EQ(fp.ui.Window(Player()).bounds, (Rect{0, 0, 1024, 768}));
    EXPECT_EQ(fp.ui.Window(big.Handle()).bounds, (Rect{0, 0, 1024, 768}));

    fp.Install();
    Fit(true);
    Movies({{"a.swf", TinySwf(2, 11000, 8000)}});
    Create();
    EXPECT_EQ(fp.ui.Window(Player()).bounds, (Rect{0, 0, 1024, 768}));
}

TEST_F(SaverTest, SequenceWithPausesWrapsToTheFirstMovie) {
    Movies({{"A.swf", TinySwf(2)}, {"b.SWF", TinySwf(3)}, {"notes.txt", {1, 2, 3}}});
    TForm1& f = Create();
    ASSERT_EQ(*f.MovieList, (std::vector<std::string>{"A.swf", "b.SWF"}));
    Tick();  // A shows its last frame: pause, then B
    EXPECT_EQ(fp.services.sleeps, (std::vector<int>{500}));
    EXPECT_EQ(f.currentIndex, 1);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 3);
    Tick();
    EXPECT_EQ(f.currentIndex, 1);
    Tick();  // B's last frame
    EXPECT_EQ(fp.services.sleeps.size(), 2u);
    EXPECT_EQ(f.currentIndex, 0);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 2);
}

TEST_F(SaverTest, OneMovieReplaysAndAOneFrameMovieIsFinishedAtOnce) {
    Movies({{"only.swf", TinySwf(1)}});
    TForm1& f = Create();
    EXPECT_TRUE(fp.services.sleeps.empty());
    Settle();  // the start's message, and the idle pass after it finds the movie finished
    EXPECT_EQ(fp.services.sleeps.size(), 1u);
    EXPECT_EQ(f.currentIndex, 0);
    EXPECT_EQ(f.ShockwaveFlash1.CurrentFrame(), 0);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 1);
}

TEST_F(SaverTest, EmptyFolderOrDirectoryFirstPlaysNothing) {
    Movies({});
    TForm1& f = Create();
    EXPECT_FALSE(movieStarted);
    EXPECT_EQ(fp.ui.Window(Player()).bounds, (Rect{24, 8, 193, 169}));
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 0);
    Application::Instance().HandleMessage();  // idle: 0 - 1 != 0, nothing happens
    EXPECT_TRUE(fp.services.sleeps.empty());

    fp.Install();
    Movies({{"b.swf", TinySwf(2)}});
    files.SetEntries(saver::JoinPath(kFolder, "*.*"),
                     {FindData{"clips.swf", attr::Directory | attr::Archive}, File("b.swf")});
    files.AddDirectory(saver::JoinPath(kFolder, "clips.swf"));
    TForm1& g = Create();
    EXPECT_EQ(g.MovieList->size(), 2u);
    EXPECT_FALSE(movieStarted);
    EXPECT_FALSE(g.pendingFirstMovie);
}

TEST_F(SaverTest, MouseOverTheBlackAreaNeedsFiveSkipsAnAnchorAndThreePixelsOnBothAxes) {
    Movies({});
    TForm1& f = Create();
    WindowHandle panel = f.Panel1.Handle();
    for (int i = 0; i < 5; ++i) Input(msg::MouseMove, panel, 500 + 50 * i, 10);
    EXPECT_EQ(moveSkipCount, 0);
    EXPECT_EQ(f.lastMouseX, -1);
    Input(msg::MouseMove, panel, 100, 100);  // the anchor
    EXPECT_EQ(f.lastMouseX, 100);
    for (int x = 100; x < 1000; x += 100) Input(msg::MouseMove, panel, x, 102);  // horizontal
    EXPECT_FALSE(f.Closed());
    Input(msg::MouseMove, panel, 102, 102);  // small steps add up against the anchor
    EXPECT_FALSE(f.Closed());
    Input(msg::MouseMove, f.Handle(), 103, 103);
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(f.lastMouseX, 103);
    EXPECT_FALSE(f.MovieList);  // released on close
    EXPECT_EQ(fp.ui.screenSaverRunning, 0);
}

TEST_F(SaverTest, WithAMovieTheSixthMouseMoveMessageEndsTheShowWhereverItGoes) {
    Movies({{"a.swf", TinySwf(5)}});
    TForm1& f = Create();
    for (int i = 0; i < 5; ++i) Input(msg::MouseMove, Player(), 10, 10 + (i % 2));
    EXPECT_FALSE(f.Closed());
    EXPECT_EQ(fp.ui.discarded.size(), 5u);
    Input(msg::MouseMove, Player(), 10, 11);
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(fp.ui.discarded.size(), 6u);
    EXPECT_EQ(moveSkipCount, 5);  // set again by the end routine
}

TEST_F(SaverTest, SkipsCountedBeforeTheMovieStartedAreNotGivenBack) {
    // The first movie is a directory, so nothing starts; two moves are skipped on the panel.
    Movies({});
    TForm1& f = Create();
    Input(msg::MouseMove, f.Panel1.Handle(), 1, 1);
    Input(msg::MouseMove, f.Panel1.Handle(), 1, 1);
    EXPECT_EQ(moveSkipCount, 3);
    movieStarted = true;  // from now on the hook counts the messages
    for (int i = 0; i < 3; ++i) Input(msg::MouseMove, f.Panel1.Handle(), 1, 1);
    EXPECT_FALSE(f.Closed());
    Input(msg::MouseMove, f.Panel1.Handle(), 1, 1);
    EXPECT_TRUE(f.Closed());
}

TEST_F(SaverTest, ClicksAndKeys) {
    Movies({{"a.swf", TinySwf(5)}});
    TForm1& f = Create();
    Input(msg::LButtonDown, Player(), 5, 5);  // over the movie: not the end
    EXPECT_FALSE(f.Closed());
    Input(msg::LButtonDown, f.Panel1.Handle(), 5, 5);  // the black area around it
    EXPECT_TRUE(f.Closed());

    fp.Install();
    Movies({{"a.swf", TinySwf(5)}});
    TForm1& g = Create();
    Application::Instance().ProcessMessages();  // the start's message
    fp.ui.dispatched.clear();
    fp.ui.discarded.clear();
    Input(msg::RButtonDown, Player(), 5, 5);
    EXPECT_TRUE(g.Closed());
    ASSERT_EQ(fp.ui.discarded.size(), 1u);  // swallowed, never dispatched
    EXPECT_TRUE(fp.ui.dispatched.empty());

    fp.Install();
    Movies({{"a.swf", TinySwf(5)}});
    TForm1& h = Create();
    Input(msg::KeyDown, Player(), 0, 0);  // key preview: the form sees it first
    EXPECT_TRUE(h.Closed());
}

TEST_F(SaverTest, PrivateMessages) {
    Movies({});
    TForm1& f = Create();
    fp.ui.PostMessage(f.Handle(), kMsgNoAction, 0, 0);
    Application::Instance().ProcessMessages();
    EXPECT_FALSE(f.Closed());
    fp.ui.PostMessage(f.Handle(), kMsgEndSaver, 0, 0);
    Application::Instance().ProcessMessages();
    EXPECT_TRUE(f.Closed());
    EXPECT_TRUE(Application::Instance().Terminated());
}

TEST_F(SaverTest, EndRoutineRunsThePasswordStepWhenTheDesktopKeyOpens) {
    registry.SetTextAt("Control Panel\\Desktop", "ScreenSaveActive", 1, std::string("1\0", 2));
    fp.services.loadable = {kMpr};
    fp.services.withPasswordEntry = {kMpr};
    Globals().secondArgument = "$20";
    Movies({});
    TForm1& f = Create();
    f.EndSaver();
    ASSERT_EQ(fp.services.passwordCalls.size(), 1u);
    EXPECT_EQ(fp.services.passwordCalls[0].provider, "SCRSAVE");
    EXPECT_EQ(fp.services.passwordCalls[0].parent, 32u);
    EXPECT_EQ(fp.services.loadAttempts, (std::vector<std::string>{kMpr}));
    EXPECT_TRUE(fp.services.loaded.empty());
    EXPECT_EQ(fp.ui.cursorCount, -1);  // shown for the step, hidden again
    EXPECT_EQ(registry.OpenHandles(), 0u);
    EXPECT_TRUE(f.Closed());
}

TEST_F(SaverTest, EndRoutineSkipsThePasswordStepWithoutTheKeyOrOutsideShowMode) {
    fp.services.loadable = {kMpr};
    fp.services.withPasswordEntry = {kMpr};
    Globals().secondArgument = "not a number";
    Movies({});
    TForm1& f = Create();
    f.EndSaver();
    EXPECT_TRUE(fp.services.loadAttempts.empty());
    EXPECT_TRUE(f.Closed());

    registry.SetTextAt("Control Panel\\Desktop", "x", 1, std::string("\0", 1));
    fp.Install();
    Movies({});
    TForm1& g = Create();
    g.EndSaver();  // a bad second argument gives the parent 0
    ASSERT_EQ(fp.services.passwordCalls.size(), 1u);
    EXPECT_EQ(fp.services.passwordCalls[0].parent, 0u);

    fp.Install();
    fp.services.passwordCalls.clear();
    Globals().runMode = RunMode::Configure;
    Movies({});
    TForm1& h = Create();
    h.EndSaver();
    EXPECT_TRUE(fp.services.passwordCalls.empty());
    EXPECT_TRUE(h.Closed());
}

TEST_F(SaverTest, SettingsErrorAtCreationIsReportedAndTheWindowComesUpBlack) {
    registry.SetValueAt(kOption, "Expansion", 4, {1, 0, 0, 0});
    Movies({{"a.swf", TinySwf(2)}});
    TForm1& f = Create();
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    EXPECT_EQ(fp.ui.boxes[0].text, "'Expansion' のデータ型が不正です.");
    EXPECT_EQ(fp.ui.boxes[0].caption, "Movies");
    EXPECT_EQ(fp.ui.cursorCount, -1);
    EXPECT_EQ(fp.ui.Window(f.Handle()).color, 0x000000u);
    EXPECT_FALSE(fp.ui.Window(f.Handle()).visible);
    // The loop shows it; no movie, since the list was never built.
    f.Show();
    EXPECT_TRUE(fp.ui.Window(f.Handle()).visible);
    EXPECT_FALSE(movieStarted);
    EXPECT_TRUE(f.MovieList->empty());
}

TEST_F(SaverTest, AMovieThatFailsToOpenIsReportedAndTheShowMovesPastIt) {
    Movies({{"a.swf", TinySwf(2)}, {"short.swf", std::vector<std::uint8_t>(24, 0)}, {"c.swf", TinySwf(4)}});
    TForm1& f = Create();
    Tick();  // a's last frame: on to short.swf, which cannot be read
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    EXPECT_EQ(fp.ui.boxes[0].text, "ストリームからの読み込みエラー.");
    EXPECT_EQ(f.currentIndex, 1);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 2);  // the player keeps the previous movie
    Tick();                                         // a loops back to frame 0
    Tick();  // and stands on its last frame again: on to the movie after the failed one
    EXPECT_EQ(f.currentIndex, 2);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 4);
}

TEST_F(SaverTest, ACorruptMovieCountsAsFinishedSoTheShowGoesOn) {
    std::vector<std::uint8_t> corrupt = TinySwf(3);
    corrupt[0] = 'X';  // not a movie, but 25 bytes and more: the frame size still reads
    Movies({{"bad.swf", corrupt}, {"b.swf", TinySwf(3)}});
    TForm1& f = Create();
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 1);
    EXPECT_EQ(f.ShockwaveFlash1.CurrentFrame(), 0);
    Settle();
    EXPECT_EQ(f.currentIndex, 1);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 3);
    EXPECT_TRUE(fp.ui.boxes.empty());
}

TEST_F(SaverTest, AFirstMovieThatFailsToOpenDoesNotStopTheShow) {
    Movies({{"short.swf", std::vector<std::uint8_t>(24, 0)}, {"b.swf", TinySwf(3)}});
    TForm1& f = Create();
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 1);  // stands finished on the unreadable movie
    Settle();
    EXPECT_EQ(f.currentIndex, 1);
    EXPECT_EQ(f.ShockwaveFlash1.TotalFrames(), 3);
    EXPECT_EQ(fp.ui.boxes.size(), 1u);
}
