// The component framework's loop over the real GTK backend: activation, posted messages,
// idle passes, the close box ending the loop, the hidden pointer, the folder chooser.
#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/forms.h"
#include "platform/linux/native_linux.h"

using namespace lumarel::platform;

namespace {

GtkWidget* VisibleToplevel(const char* title) {
    GList* all = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = all; l; l = l->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
        if (t && std::string(t) == title && gtk_widget_get_visible(GTK_WIDGET(l->data))) found = GTK_WIDGET(l->data);
    }
    g_list_free(all);
    return found;
}

// Plays the user of the folder chooser from inside its loop: after a while selects `pick`
// (if any), notes what the chooser shows, then answers with `response`.
struct ChooserUser {
    std::string pick;
    int response = GTK_RESPONSE_CANCEL;
    std::string openedOn, status;
    int step = 0;

    static GtkWidget* Chooser() {
        GList* all = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* l = all; l; l = l->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
                found = GTK_WIDGET(l->data);
        }
        g_list_free(all);
        return found;
    }

    void Start() { g_timeout_add(700, &ChooserUser::Tick, this); }

    static gboolean Tick(gpointer data) {
        auto& u = *static_cast<ChooserUser*>(data);
        GtkWidget* dlg = Chooser();
        if (!dlg) return G_SOURCE_CONTINUE;
        GtkFileChooser* fc = GTK_FILE_CHOOSER(dlg);
        if (u.step++ == 0) {
            if (gchar* f = gtk_file_chooser_get_current_folder(fc)) {
                u.openedOn = f;
                g_free(f);
            }
            if (!u.pick.empty()) gtk_file_chooser_select_filename(fc, u.pick.c_str());
            return G_SOURCE_CONTINUE;
        }
        if (GtkWidget* extra = gtk_file_chooser_get_extra_widget(fc); extra && GTK_IS_LABEL(extra)) {
            u.status = gtk_label_get_text(GTK_LABEL(extra));
        }
        gtk_dialog_response(GTK_DIALOG(dlg), u.response);
        return G_SOURCE_REMOVE;
    }
};

TEST(LinuxWindowingFramework, FormLoopSeesActivationPostsAndIdleAndEndsAtTheCloseBox) {
    Application& app = Application::Instance();
    app.Reset();
    Form form("Form1");
    form.SetBorder(BorderStyle::Dialog);
    form.SetCaption("Framework test");
    form.SetBounds(Rect{100, 100, 300, 200});
    Button ok(&form, "ButtonOK");
    ok.SetText("OK");
    ok.SetBounds(Rect{200, 150, 80, 30});

    int activations = 0, idles = 0;
    std::uintptr_t posted = 0;
    form.OnActivate = [&] {
        if (++activations == 1) Current().windowing->PostMessage(form.Handle(), 0x401, 5, 0);
    };
    form.MessageHandlers[0x401] = [&](const Message& m) {
        posted = m.wParam;
        // The close box, as a window manager would press it.
        if (GtkWidget* top = VisibleToplevel("Framework test")) gtk_window_close(GTK_WINDOW(top));
    };
    app.OnIdle = [&](bool&) { ++idles; };
    // Should the loop never end, this ends it (and the test fails below).
    guint watchdog = g_timeout_add(
        10000,
        [](gpointer) -> gboolean {
            Application::Instance().Terminate();
            return G_SOURCE_REMOVE;
        },
        nullptr);

    auto t0 = std::chrono::steady_clock::now();
    app.CreateForm(form);
    app.Run();
    auto took = std::chrono::steady_clock::now() - t0;
    g_source_remove(watchdog);

    EXPECT_LT(took, std::chrono::seconds(9)) << "the loop did not end at the close box";
    EXPECT_TRUE(form.Closed());
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(posted, 5u);
    EXPECT_GT(idles, 0);
    form.DestroyHandle();
    app.Reset();
}

TEST(LinuxWindowingFramework, PointerIsBlankOverHidingFormsWhileTheCountIsNegative) {
    ASSERT_TRUE(linux_backend::EnsureGtk());
    Windowing& w = NativeWindowing();
    WindowSpec s;
    s.kind = ControlKind::Form;
    s.bounds = Rect{0, 0, 1024, 768};
    s.border = BorderStyle::None;
    s.topmost = true;
    s.hideCursor = true;
    s.text = "Saver";
    WindowHandle saver = w.CreateControl(s);
    s.hideCursor = false;
    s.text = "Other";
    s.bounds = Rect{10, 10, 50, 50};
    WindowHandle other = w.CreateControl(s);
    w.SetVisible(saver, true);
    w.SetVisible(other, true);
    GdkWindow* sw = gtk_widget_get_window(VisibleToplevel("Saver"));
    GdkWindow* ow = gtk_widget_get_window(VisibleToplevel("Other"));
    ASSERT_NE(sw, nullptr);
    ASSERT_NE(ow, nullptr);
    EXPECT_EQ(gdk_window_get_cursor(sw), nullptr);

    EXPECT_EQ(w.ShowCursor(false), -1);
    ASSERT_NE(gdk_window_get_cursor(sw), nullptr);
    EXPECT_EQ(gdk_cursor_get_cursor_type(gdk_window_get_cursor(sw)), GDK_BLANK_CURSOR);
    EXPECT_EQ(gdk_window_get_cursor(ow), nullptr);
    EXPECT_EQ(w.ShowCursor(false), -2);
    EXPECT_EQ(w.ShowCursor(true), -1);
    EXPECT_NE(gdk_window_get_cursor(sw), nullptr);
    EXPECT_EQ(w.ShowCursor(true), 0);
    EXPECT_EQ(gdk_window_get_cursor(sw), nullptr);

    // Covering the whole primary screen: the window sits exactly on it.
    int x = -1, y = -1, sc = gdk_window_get_scale_factor(sw);
    gdk_window_get_origin(sw, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(gdk_window_get_width(sw) * sc, 1024);
    EXPECT_EQ(gdk_window_get_height(sw) * sc, 768);
    w.DestroyControl(other);
    w.DestroyControl(saver);

    // A framed form keeps GTK's own pixels (on a scaled screen GTK scales it as a whole).
    s.border = BorderStyle::Dialog;
    s.text = "Framed";
    s.bounds = Rect{10, 10, 200, 100};
    WindowHandle framed = w.CreateControl(s);
    w.SetVisible(framed, true);
    GdkWindow* fw = gtk_widget_get_window(VisibleToplevel("Framed"));
    ASSERT_NE(fw, nullptr);
    EXPECT_EQ(gdk_window_get_width(fw), 200);
    EXPECT_EQ(gdk_window_get_height(fw), 100);
    EXPECT_EQ(w.ClientRect(framed), (Rect{0, 0, 200, 100}));
    w.DestroyControl(framed);
}

TEST(LinuxWindowingFramework, FolderChooserOpensOnTheInitialFolderAndReturnsOnlyWhatWasChosen) {
    ASSERT_TRUE(linux_backend::EnsureGtk());
    Windowing& w = NativeWindowing();
    char tmpl[] = "/tmp/lumarel-chooser.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl, sub = dir + "/動画";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);

    {
        ChooserUser cancel;
        cancel.pick = sub;
        cancel.Start();
        EXPECT_EQ(w.BrowseForFolder(0, "フォルダの参照", dir), "");
        EXPECT_EQ(cancel.openedOn, dir);
        EXPECT_EQ(cancel.status, sub);  // the status line follows the selection
    }
    {
        ChooserUser ok;  // OK at once: the folder it opened on
        ok.response = GTK_RESPONSE_ACCEPT;
        ok.Start();
        EXPECT_EQ(w.BrowseForFolder(0, "フォルダの参照", dir), dir);
        EXPECT_EQ(ok.status, dir);
    }
    {
        ChooserUser pick;
        pick.pick = sub;
        pick.response = GTK_RESPONSE_ACCEPT;
        pick.Start();
        EXPECT_EQ(w.BrowseForFolder(0, "フォルダの参照", dir), sub);
    }
    {
        ChooserUser missing;  // a folder that is gone: the chooser still opens, nothing is chosen
        missing.Start();
        EXPECT_EQ(w.BrowseForFolder(0, "フォルダの参照", dir + "/missing"), "");
    }

    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
