// The GTK windowing backend under a private Xvfb: the message queue (order, kinds, targets,
// coordinates), dispatch versus discard, timers, modal boxes, the host's pixels, and running
// without a display. Real input comes from xdotool.
#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/native_linux.h"

using namespace lumarel::platform;

namespace {

struct Recorder : EventSink {
    std::vector<Event> events;
    void HandleEvent(const Event& e) override { events.push_back(e); }
    int Count(EventKind k) const {
        int n = 0;
        for (const Event& e : events) n += e.kind == k ? 1 : 0;
        return n;
    }
};

void Xdo(const std::string& args) {
    std::string cmd = "xdotool " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

GtkWidget* ToplevelTitled(const std::string& title) {
    GList* all = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = all; l; l = l->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
        if (t && title == t && gtk_widget_get_visible(GTK_WIDGET(l->data))) found = GTK_WIDGET(l->data);
    }
    g_list_free(all);
    return found;
}

// Counts button presses that reach any widget's handler (i.e. that GTK processed).
std::atomic<int> g_widgetPresses{0};
gboolean CountPress(GSignalInvocationHint*, guint, const GValue*, gpointer) {
    ++g_widgetPresses;
    return TRUE;
}

class LinuxWindowingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(lumarel::platform::linux_backend::EnsureGtk()) << "no display";
        guint id = g_signal_lookup("button-press-event", GTK_TYPE_WIDGET);
        g_signal_add_emission_hook(id, 0, &CountPress, nullptr, nullptr);
    }

    void SetUp() override {
        // Form at (100,100) 400x300: a black panel filling it, a host and two buttons on it.
        form = Create(ControlKind::Form, 0, Rect{100, 100, 400, 300}, "Queue test", &formSink);
        panel = Create(ControlKind::Panel, form, Rect{0, 0, 400, 300}, "", &panelSink);
        w.SetColor(panel, 0x000000);
        host = Create(ControlKind::Host, panel, Rect{50, 40, 200, 150}, "", &hostSink);
        button = Create(ControlKind::Button, panel, Rect{280, 240, 100, 40}, "OK", &buttonSink, 1);
        edit = Create(ControlKind::Edit, panel, Rect{280, 20, 100, 30}, "", &editSink, 0);
        w.SetVisible(form, true);
        Settle(300);
        Drain();
    }

    void TearDown() override {
        w.DestroyControl(form);
        Settle(50);
        Drain();
    }

    WindowHandle Create(ControlKind kind, WindowHandle parent, Rect r, const std::string& text, EventSink* sink,
                        int tab = -1) {
        WindowSpec s;
        s.kind = kind;
        s.parent = parent;
        s.bounds = r;
        s.text = text;
        s.visible = true;
        s.tabOrder = tab;
        s.border = BorderStyle::None;
        s.font.name = "MS UI Gothic";
        s.font.height = 12;
        s.sink = sink;
        WindowHandle h = w.CreateControl(s);
        EXPECT_NE(h, 0u);
        return h;
    }

    // Lets GTK and the X server work for a while without taking messages out of the queue.
    void Settle(int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
            usleep(2000);
        }
    }

    // Takes every queued message for `ms` milliseconds, dispatching (or discarding) each.
    std::vector<Message> Take(int ms, bool discard = false) {
        std::vector<Message> got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            Message m;
            while (w.PeekMessage(m)) {
                got.push_back(m);
                discard ? w.DiscardMessage(m) : w.DispatchMessage(m);
            }
            usleep(2000);
        }
        return got;
    }
    void Drain() { Take(20); }

    static const Message* Last(const std::vector<Message>& v, std::uint32_t msg) {
        const Message* found = nullptr;
        for (const Message& m : v) {
            if (m.msg == msg) found = &m;
        }
        return found;
    }

    Windowing& w = NativeWindowing();
    Recorder formSink, panelSink, hostSink, buttonSink, editSink;
    WindowHandle form = 0, panel = 0, host = 0, button = 0, edit = 0;
};

TEST_F(LinuxWindowingTest, PostedMessagesComeOutInOrderAndReachTheirSink) {
    w.PostMessage(form, 0x401, 1, 10);
    w.PostMessage(host, 0x402, 2, 20);
    w.PostMessage(form, 0x401, 3, 30);
    std::vector<Message> got = Take(30);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].msg, 0x401u);
    EXPECT_EQ(got[0].window, form);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[0].lParam, 10);
    EXPECT_EQ(got[1].msg, 0x402u);
    EXPECT_EQ(got[1].window, host);
    EXPECT_EQ(got[2].wParam, 3u);
    ASSERT_EQ(formSink.Count(EventKind::Message), 2);
    EXPECT_EQ(hostSink.Count(EventKind::Message), 1);

    // WaitMessage sleeps until something arrives, here a message posted from another thread.
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        w.PostMessage(form, 0x402, 9, 0);
    });
    auto t0 = std::chrono::steady_clock::now();
    w.WaitMessage();
    auto waited = std::chrono::steady_clock::now() - t0;
    poster.join();
    EXPECT_GE(waited, std::chrono::milliseconds(60));
    Message m;
    ASSERT_TRUE(w.PeekMessage(m));
    EXPECT_EQ(m.msg, 0x402u);
    w.DispatchMessage(m);
}

TEST_F(LinuxWindowingTest, TimerTicksNeverPileUpAndStopWithTheTimer) {
    // Five ticks fall due (at 200, 400, ... 1000 ms) while nobody takes one; the sixth is
    // still 100 ms away when the queue is emptied.
    w.StartTimer(host, 7, 200);
    Settle(1100);
    std::vector<Message> got;
    for (Message m; w.PeekMessage(m);) {
        got.push_back(m);
        w.DispatchMessage(m);
    }
    int ticks = 0;
    for (const Message& m : got) {
        if (m.msg == msg::Timer) {
            ++ticks;
            EXPECT_EQ(m.window, host);
            EXPECT_EQ(m.wParam, 7u);
        }
    }
    EXPECT_EQ(ticks, 1);

    // WaitMessage wakes for the next tick.
    w.WaitMessage();
    Message m;
    ASSERT_TRUE(w.PeekMessage(m));
    EXPECT_EQ(m.msg, msg::Timer);
    w.DispatchMessage(m);

    Settle(250);
    w.StopTimer(host, 7);  // drops the tick that waits, too
    Settle(250);
    EXPECT_EQ(Last(Take(10), msg::Timer), nullptr);
}

TEST_F(LinuxWindowingTest, AnIdlePassComesBetweenTwoTicksEvenWhenEachTickOutlastsTheInterval) {
    // Each tick's work (a frame drawn) takes 30 ms against a 10 ms interval, so a tick is due
    // again at every peek; the queue must still run empty once between two ticks.
    w.StartTimer(host, 9, 10);
    int ticks = 0, idles = 0, idlesSinceTick = 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks < 8 && std::chrono::steady_clock::now() < until) {
        Message m;
        if (!w.PeekMessage(m)) {
            ++idles;
            ++idlesSinceTick;
            w.WaitMessage();
            continue;
        }
        if (m.msg == msg::Timer) {
            EXPECT_GT(idlesSinceTick, 0) << "tick " << ticks << " came without an idle pass before it";
            idlesSinceTick = 0;
            ++ticks;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        w.DispatchMessage(m);
    }
    w.StopTimer(host, 9);
    EXPECT_EQ(ticks, 8);
    EXPECT_GE(idles, 8);
}

TEST_F(LinuxWindowingTest, PointerInputIsQueuedForTheControlUnderItInClientCoordinates) {
    // Host at (50,40) in the panel, the panel at (0,0) in the form at (100,100).
    Xdo("mousemove --sync 165 155");
    std::vector<Message> got = Take(300);
    const Message* move = Last(got, msg::MouseMove);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->window, host);
    EXPECT_EQ(move->x, 15);
    EXPECT_EQ(move->y, 15);
    EXPECT_EQ(move->lParam, (15 << 16) | 15);
    EXPECT_GE(hostSink.Count(EventKind::Message), 1);

    Xdo("click 1");
    got = Take(200);
    const Message* down = Last(got, msg::LButtonDown);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->window, host);
    EXPECT_EQ(down->x, 15);
    EXPECT_EQ(down->wParam & 1u, 1u);  // MK_LBUTTON

    // The black panel outside the host.
    Xdo("mousemove --sync 110 390 click 3");
    got = Take(300);
    const Message* right = Last(got, msg::RButtonDown);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->window, panel);
    EXPECT_EQ(right->x, 10);
    EXPECT_EQ(right->y, 290);
}

TEST_F(LinuxWindowingTest, DiscardedClicksNeverReachTheButtonDispatchedOnesPressIt) {
    Xdo("mousemove --sync 430 360");  // over the button
    Drain();

    g_widgetPresses = 0;
    Xdo("click 3");
    std::vector<Message> got = Take(300, /*discard=*/true);
    const Message* right = Last(got, msg::RButtonDown);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->window, button);
    EXPECT_EQ(g_widgetPresses.load(), 0);

    Xdo("click 1");
    got = Take(300, /*discard=*/true);
    ASSERT_NE(Last(got, msg::LButtonDown), nullptr);
    EXPECT_EQ(g_widgetPresses.load(), 0);
    EXPECT_EQ(buttonSink.Count(EventKind::Click), 0);

    Xdo("click 1");
    got = Take(300);
    ASSERT_NE(Last(got, msg::LButtonDown), nullptr);
    EXPECT_GE(g_widgetPresses.load(), 1);
    EXPECT_EQ(buttonSink.Count(EventKind::Click), 1);
}

TEST_F(LinuxWindowingTest, KeysGoToTheFocusedControlAndStillTypeIntoEdits) {
    w.SetFocus(edit);
    Settle(100);
    Xdo("key --delay 20 a shift+b 1 Return Escape space F5");
    std::vector<Message> got = Take(400);
    std::vector<std::uintptr_t> keys;
    for (const Message& m : got) {
        if (m.msg == msg::KeyDown && m.wParam != 0x10) {  // leave out Shift itself
            EXPECT_EQ(m.window, edit);
            keys.push_back(m.wParam);
        }
    }
    EXPECT_EQ(keys, (std::vector<std::uintptr_t>{'A', 'B', '1', 0x0D, 0x1B, 0x20, 0x74}));
    EXPECT_EQ(w.GetText(edit), "aB1 ");

    // Tab follows the tab order: the edit (0), then the button (1), then round again.
    Xdo("key Tab");
    Take(200);
    Xdo("key Escape");
    got = Take(200);
    const Message* esc = Last(got, msg::KeyDown);
    ASSERT_NE(esc, nullptr);
    EXPECT_EQ(esc->window, button);
    // Space on the focused button clicks it.
    Xdo("key space");
    Take(200);
    EXPECT_EQ(buttonSink.Count(EventKind::Click), 1);
}

TEST_F(LinuxWindowingTest, ControlsKeepTheirStateAndOnlyUserClicksCount) {
    Recorder boxSink;
    WindowHandle box =
        Create(ControlKind::CheckBox, panel, Rect{20, 250, 200, 24}, "画面サイズにあわせる", &boxSink, 2);
    WindowHandle label = Create(ControlKind::Label, panel, Rect{20, 220, 200, 20}, "設定", nullptr);
    Settle(100);
    w.SetChecked(box, true);
    EXPECT_TRUE(w.GetChecked(box));
    w.SetChecked(box, false);
    EXPECT_FALSE(w.GetChecked(box));
    EXPECT_EQ(boxSink.Count(EventKind::Click), 0);

    Xdo("mousemove --sync 130 362 click 1");
    Take(300);
    EXPECT_TRUE(w.GetChecked(box));
    EXPECT_EQ(boxSink.Count(EventKind::Click), 1);

    w.SetText(label, "フォルダ");
    EXPECT_EQ(w.GetText(label), "フォルダ");
    w.SetText(edit, "C:\\movies");
    EXPECT_EQ(w.GetText(edit), "C:\\movies");
    // Controls get exactly their bounds, whatever the theme's minimum sizes.
    EXPECT_EQ(w.ClientRect(host), (Rect{0, 0, 200, 150}));
    EXPECT_EQ(w.ClientRect(edit), (Rect{0, 0, 100, 30}));
    EXPECT_EQ(w.ClientRect(button), (Rect{0, 0, 100, 40}));
    // (On a scaled screen GTK's check mark does not shrink to half size, so the box may be taller.)
    EXPECT_EQ(w.ClientRect(box).width, 200);
    if (gdk_window_get_scale_factor(gdk_get_default_root_window()) == 1) {
        EXPECT_EQ(w.ClientRect(box).height, 24);
    }
    EXPECT_EQ(w.ClientRect(form), (Rect{0, 0, 400, 300}));
    EXPECT_EQ(w.PrimaryScreenSize(), (Size{1024, 768}));

    // The close box asks; the window stays until the program destroys it.
    GtkWidget* top = ToplevelTitled("Queue test");
    ASSERT_NE(top, nullptr);
    gtk_window_close(GTK_WINDOW(top));
    Settle(50);
    EXPECT_EQ(formSink.Count(EventKind::Close), 1);
    EXPECT_TRUE(gtk_widget_get_visible(top));
    EXPECT_EQ(formSink.Count(EventKind::Activate), 1);  // shown once, activated once

    w.DestroyControl(box);
    w.DestroyControl(label);
    EXPECT_EQ(w.GetText(label), "");
    w.SetChecked(box, true);  // a stale handle is ignored
}

TEST_F(LinuxWindowingTest, AControlDestroyedByItsOwnHandlerTakesItsPendingMessagesAlong) {
    struct SelfDestroying : EventSink {
        Windowing* w = nullptr;
        WindowHandle self = 0;
        int seen = 0;
        void HandleEvent(const Event& e) override {
            if (e.kind != EventKind::Message) return;
            ++seen;
            if (e.message.msg == msg::LButtonDown) w->DestroyControl(self);
        }
    } victim;
    victim.w = &w;
    victim.self = Create(ControlKind::Host, panel, Rect{10, 200, 60, 60}, "", &victim);
    Settle(100);
    Xdo("mousemove --sync 140 340 click 1");
    Settle(200);  // the press, its release and a few moves wait in the queue
    w.PostMessage(victim.self, 0x401, 0, 0);
    std::vector<Message> got = Take(300);
    ASSERT_NE(Last(got, msg::LButtonDown), nullptr);
    int after = 0;
    bool pressed = false;
    for (const Message& m : got) {
        if (pressed && m.window == victim.self) ++after;
        if (m.msg == msg::LButtonDown) pressed = true;
    }
    EXPECT_EQ(after, 0) << "messages for a destroyed control came out";
    w.PostMessage(victim.self, 0x401, 0, 0);  // a window that is gone takes no messages
    EXPECT_TRUE(Take(30).empty());
}

TEST_F(LinuxWindowingTest, HostShowsThePresentedPixelsOnBlack) {
    // A 20x10 frame: left half opaque red, right half half-transparent green (premultiplied).
    std::vector<std::uint32_t> px(static_cast<std::size_t>(24 * 10), 0xFFFFFFFFu);  // stride 24
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) px[static_cast<std::size_t>(y * 24 + x)] = x < 10 ? 0xFFFF0000u : 0x80008000u;
    }
    w.PresentPixels(host, px.data(), 20, 10, 24);
    Settle(200);
    GdkWindow* root = gdk_get_default_root_window();
    // x, y in real pixels; GDK reads the screen in its own (possibly scaled) pixels.
    int sc = gdk_window_get_scale_factor(root);
    auto at = [&](int x, int y) {
        GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, x / sc, y / sc, 1, 1);
        EXPECT_NE(pb, nullptr);
        if (!pb) return 0u;
        const guchar* p = gdk_pixbuf_get_pixels(pb);
        unsigned rgb = (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
        g_object_unref(pb);
        return rgb;
    };
    // The host's client origin is (150,140) on the screen.
    EXPECT_EQ(at(152, 145), 0xFF0000u);
    EXPECT_EQ(at(165, 145), 0x008000u);
    EXPECT_EQ(at(175, 145), 0x000000u);  // past the frame: black, not the stride padding
    EXPECT_EQ(at(152, 160), 0x000000u);

    w.PresentPixels(host, nullptr, 0, 0, 0);  // no frame: all black
    Settle(150);
    EXPECT_EQ(at(152, 145), 0x000000u);
}

TEST_F(LinuxWindowingTest, PlainBoxAnswersEnterAndEscapeAndTakesTheKeysFromTheQueue) {
    for (const char* key : {"Escape", "Return"}) {
        std::string k = key;
        std::thread presser([k] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            std::string cmd = "xdotool key " + k;
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "xdotool failed\n");
        });
        auto t0 = std::chrono::steady_clock::now();
        w.MessageBox(form, "ERROR - 複数アプリケーションの起動は制限されています。", "Lumarel", MessageBoxKind::Plain);
        presser.join();
        EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300)) << key;
        std::vector<Message> got = Take(300);
        EXPECT_EQ(Last(got, msg::KeyDown), nullptr) << key << " reached the application";
    }
}

TEST(LinuxWindowingNoDisplay, CallsDoNotCrashAndTheBoxGoesToStandardError) {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    ASSERT_GT(n, 0);
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(buf, static_cast<std::size_t>(n)) +
                      "' --no-display-helper 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    while (fgets(buf, sizeof buf, p)) out += buf;
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_NE(out.find("Probe: no display here\n"), std::string::npos) << out;
    EXPECT_NE(out.find("handle=0 screen=0x0 posted=1 wparam=7 folder=[]"), std::string::npos) << out;
}

}  // namespace
