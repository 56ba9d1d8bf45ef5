// The Linux windowing's modal dialogs: the message box and the folder chooser
// (windowing_linux.h).
#include "platform/linux/windowing_linux.h"

namespace lumarel::platform::linux_backend::gtk {

void GtkWindowing::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                              MessageBoxKind kind) {
    if (!Ready()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return;
    }
    bool plain = kind == MessageBoxKind::Plain;
    GtkWindow* parent = plain ? nullptr : OwnerWindow(owner);
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, plain ? GTK_MESSAGE_OTHER : GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    // A window still being created is not on the screen yet: centring on it would put the
    // box at the screen's top-left corner, so such a box is centred on the screen.
    const bool onParent = parent && gtk_widget_get_mapped(GTK_WIDGET(parent));
    gtk_window_set_position(GTK_WINDOW(box), onParent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    if (!plain) {
        // GTK 3 message dialogs no longer show their type's icon by themselves.
        GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), icon);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_widget_show(icon);
    }
    // OK is the default: Enter presses it, and Escape closes the box just the same.
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    RunModal(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    Pump();
}

std::string GtkWindowing::BrowseForFolder(WindowHandle owner, const std::string& title,
                                          const std::string& initialPath) {
    if (!Ready()) return {};
    GtkWidget* dlg = gtk_file_chooser_dialog_new(
        title.c_str(), OwnerWindow(owner), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, g_dgettext("gtk30", "_Cancel"),
        GTK_RESPONSE_CANCEL, g_dgettext("gtk30", "_OK"), GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dlg);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dlg), GTK_RESPONSE_ACCEPT);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);
    // A size that fits the screen, whatever the chooser remembered from an earlier run.
    GdkRectangle g = PrimaryGeometry();
    int width = g.width > 0 ? std::min(640, g.width * 9 / 10) : 640;
    int height = g.height > 0 ? std::min(440, g.height * 9 / 10) : 440;
    gtk_window_set_default_size(GTK_WINDOW(dlg), width, height);
    gtk_window_set_position(GTK_WINDOW(dlg), GTK_WIN_POS_CENTER);
    // The chooser sizes itself again when it maps; this size wins.
    auto* placement = new GdkRectangle{g.x + (g.width - width) / 2, g.y + (g.height - height) / 2, width, height};
    g_signal_connect_data(
        dlg, "map", G_CALLBACK(&GtkWindowing::OnChooserMap), placement,
        [](gpointer p, GClosure*) { delete static_cast<GdkRectangle*>(p); }, G_CONNECT_AFTER);
    // The status line: the path of the folder now selected.
    GtkWidget* status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(status), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(status), PANGO_ELLIPSIZE_MIDDLE);
    gtk_widget_show(status);
    gtk_file_chooser_set_extra_widget(chooser, status);
    g_signal_connect(chooser, "selection-changed", G_CALLBACK(&GtkWindowing::OnFolderSelection), status);
    if (!initialPath.empty() && g_file_test(initialPath.c_str(), G_FILE_TEST_IS_DIR)) {
        gtk_file_chooser_set_current_folder(chooser, initialPath.c_str());
        gtk_label_set_text(GTK_LABEL(status), initialPath.c_str());
    }
    std::string result;
    if (RunModal(GTK_DIALOG(dlg)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* path = gtk_file_chooser_get_filename(chooser)) {
            if (g_file_test(path, G_FILE_TEST_IS_DIR)) result = path;
            g_free(path);
        }
    }
    gtk_widget_destroy(dlg);
    Pump();
    return result;
}

GtkWindow* GtkWindowing::OwnerWindow(WindowHandle owner) {
    Control* f = FormOf(Find(owner));
    return f ? GTK_WINDOW(f->outer) : nullptr;
}

gint GtkWindowing::RunModal(GtkDialog* dlg) {
    WindowHandle wasActive = 0;
    for (auto& [h, c] : controls_) {
        if (c->kind == ControlKind::Form && c->active) wasActive = h;
    }
    ++modalDepth_;
    gint r = gtk_dialog_run(dlg);
    --modalDepth_;
    gtk_widget_hide(GTK_WIDGET(dlg));
    if (Control* f = Find(wasActive); f && gtk_widget_get_visible(f->outer)) {
        gtk_window_present(GTK_WINDOW(f->outer));
    }
    return r;
}

void GtkWindowing::OnChooserMap(GtkWidget* w, gpointer data) {
    const GdkRectangle& r = *static_cast<GdkRectangle*>(data);
    gtk_window_resize(GTK_WINDOW(w), r.width, r.height);
    if (r.width > 0) gtk_window_move(GTK_WINDOW(w), std::max(r.x, 0), std::max(r.y, 0));
}

void GtkWindowing::OnFolderSelection(GtkFileChooser* chooser, gpointer data) {
    gchar* path = gtk_file_chooser_get_filename(chooser);
    gtk_label_set_text(GTK_LABEL(data), path && g_file_test(path, G_FILE_TEST_IS_DIR) ? path : "");
    g_free(path);
}

}  // namespace lumarel::platform::linux_backend::gtk
