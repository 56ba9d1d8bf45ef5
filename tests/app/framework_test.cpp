#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/forms.h"
#include "tests/fake/fake_platform.h"

using namespace lumarel::platform;
using lumarel::fake::FakePlatform;

TEST(ApplicationTitle, FileNameUpToFirstDotWithTheRestLowerCased) {
    EXPECT_EQ(Application::TitleFromPath("C:\\WINDOWS\\DODAZOVA.SCR"), "Dodazova");
    EXPECT_EQ(Application::TitleFromPath("C:\\x\\my.saver.SCR"), "my");
    EXPECT_EQ(Application::TitleFromPath("/usr/bin/Lumarel"), "Lumarel");
    EXPECT_EQ(Application::TitleFromPath("A:B.EXE"), "B");
    EXPECT_EQ(Application::TitleFromPath("C:\\x\\.hidden"), "");
}

TEST(ErrorText, FullStopUnlessTheLastCharacterSortsAtOrBelowIt) {
    EXPECT_EQ(Application::ErrorText("Failed"), "Failed.");
    EXPECT_EQ(Application::ErrorText("Done."), "Done.");
    EXPECT_EQ(Application::ErrorText("(code 5)"), "(code 5)");
    EXPECT_EQ(Application::ErrorText("a-"), "a-");
    EXPECT_EQ(Application::ErrorText("a/"), "a/.");
    EXPECT_EQ(Application::ErrorText("ストリームからの読み込みエラー"), "ストリームからの読み込みエラー.");
    EXPECT_EQ(Application::ErrorText(""), "");
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.services.exePath = "C:\\Movies.scr";
        fp.Install();
    }
    FakePlatform fp;
};

TEST_F(FrameworkTest, HandlerErrorsAreShownAndTheLoopGoesOn) {
    Form form("Form1");
    Panel panel(&form, "Panel1");
    panel.SetBounds(Rect{0, 0, 50, 50});
    int moves = 0;
    panel.OnMouseMove = [&](int, int) {
        ++moves;
        if (moves == 1) throw UserError("ファイル x は開けません");
        if (moves == 2) throw std::bad_alloc();
        if (moves == 3) throw std::out_of_range("vector::_M_range_check");
        throw 42;
    };
    auto& app = Application::Instance();
    app.CreateForm(form);
    form.Show();
    for (int i = 0; i < 4; ++i) fp.ui.Post(msg::MouseMove, panel.Handle());
    app.ProcessMessages();
    EXPECT_EQ(moves, 4);
    ASSERT_EQ(fp.ui.boxes.size(), 4u);
    // A user's message as it stands; never the library's own text of any other error.
    EXPECT_EQ(fp.ui.boxes[0].text, "ファイル x は開けません.");
    EXPECT_EQ(fp.ui.boxes[1].text, "メモリが不足しています.");
    EXPECT_EQ(fp.ui.boxes[2].text, "内部エラーが発生しました.");
    EXPECT_EQ(fp.ui.boxes[3].text, "内部エラーが発生しました.");
    EXPECT_EQ(fp.ui.boxes[0].caption, "Movies");
    EXPECT_EQ(fp.ui.boxes[0].kind, MessageBoxKind::Error);
    EXPECT_EQ(fp.ui.boxes[0].owner, form.Handle());
}

TEST_F(FrameworkTest, CreateErrorIsReportedAndTheWindowStillComesUp) {
    Form form("Form1");
    int activations = 0;
    form.OnCreate = [] { throw std::runtime_error("broken"); };
    form.OnActivate = [&] { ++activations; };
    auto& app = Application::Instance();
    fp.ui.onWait = [&] { form.Close(); };
    app.CreateForm(form);
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    app.Run();
    EXPECT_TRUE(fp.ui.Window(form.Handle()).visible);
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(app.Terminated());
}

TEST_F(FrameworkTest, HookSeesQueuedMessagesFirstAndCanSwallowThem) {
    Form form("Form1");
    Panel panel(&form, "Panel1");
    int downs = 0;
    panel.OnMouseDown = [&](MouseButton, int, int) { ++downs; };
    std::vector<std::uint32_t> seen;
    auto& app = Application::Instance();
    ApplicationEvents events;
    events.OnMessage = [&](Message& m, bool& handled) {
        seen.push_back(m.msg);
        handled = m.msg == msg::RButtonDown;
    };
    events.Attach();
    app.CreateForm(form);
    fp.ui.Post(msg::RButtonDown, panel.Handle());
    fp.ui.Post(msg::LButtonDown, panel.Handle());
    app.ProcessMessages();
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{msg::RButtonDown, msg::LButtonDown}));
    EXPECT_EQ(downs, 1);
    ASSERT_EQ(fp.ui.discarded.size(), 1u);
    EXPECT_EQ(fp.ui.discarded[0].msg, msg::RButtonDown);
}

TEST_F(FrameworkTest, IdleRunsWhenTheQueueIsEmptyAndThenTheLoopWaits) {
    Form form("Form1");
    auto& app = Application::Instance();
    ApplicationEvents events;
    int idles = 0;
    events.OnIdle = [&](bool&) { ++idles; };
    events.Attach();
    app.CreateForm(form);
    fp.ui.Post(msg::MouseMove, form.Handle());
    app.HandleMessage();  // the message
    EXPECT_EQ(idles, 0);
    app.HandleMessage();  // nothing queued: idle, then wait
    EXPECT_EQ(idles, 1);
    EXPECT_EQ(fp.ui.waits, 1);
}

TEST_F(FrameworkTest, KeyPreviewGivesTheFormTheKeyFirst) {
    Form form("Form1");
    Edit edit(&form, "Edit1");
    std::vector<std::string> order;
    form.SetKeyPreview(true);
    form.OnKeyDown = [&](unsigned) { order.push_back("form"); };
    edit.OnKeyDown = [&](unsigned) { order.push_back("edit"); };
    Application::Instance().CreateForm(form);
    fp.ui.Post(msg::KeyDown, edit.Handle(), 0, 0, 'A');
    Application::Instance().ProcessMessages();
    EXPECT_EQ(order, (std::vector<std::string>{"form", "edit"}));
}

TEST_F(FrameworkTest, ClosingTheMainFormEndsTheLoopOnce) {
    Form form("Form1");
    int closes = 0;
    form.OnClose = [&] { ++closes; };
    auto& app = Application::Instance();
    app.CreateForm(form);
    fp.ui.Deliver(form.Handle(), EventKind::Close);
    form.Close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(app.Terminated());
}

TEST_F(FrameworkTest, ClientAlignmentFollowsTheParent) {
    Form form("Form1");
    Panel panel(&form, "Panel1");
    Control host(&panel, ControlKind::Host, "Host");
    host.SetBounds(Rect{24, 8, 193, 169});
    Application::Instance().CreateForm(form);
    form.SetBounds(Rect{0, 0, 800, 600});
    panel.SetAlign(Align::Client);
    EXPECT_EQ(fp.ui.Window(panel.Handle()).bounds, (Rect{0, 0, 800, 600}));
    EXPECT_EQ(host.Bounds(), (Rect{24, 8, 193, 169}));
    host.SetAlign(Align::Client);
    EXPECT_EQ(fp.ui.Window(host.Handle()).bounds, (Rect{0, 0, 800, 600}));
}

TEST_F(FrameworkTest, PrivateMessagesReachTheFormsHandlers) {
    Form form("Form1");
    int got = 0;
    form.MessageHandlers[0x402] = [&](const Message&) { ++got; };
    Application::Instance().CreateForm(form);
    fp.ui.PostMessage(form.Handle(), 0x401, 0, 0);
    fp.ui.PostMessage(form.Handle(), 0x402, 0, 0);
    Application::Instance().ProcessMessages();
    EXPECT_EQ(got, 1);
}
