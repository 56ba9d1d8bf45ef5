// The Linux windowing's controls: the GTK widgets behind each kind, their placement in
// real or logical pixels, colours, the host's frame, the screen (windowing_linux.h).
#include "platform/linux/windowing_linux.h"

namespace lumarel::platform::linux_backend::gtk {

namespace {

std::string CssQuote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n' || c == '\r') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string CssColor(std::uint32_t rgb) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFFu));
    return buf;
}

GtkCssProvider* NewCss(const std::string& css) {
    GtkCssProvider* p = gtk_css_provider_new();
    gtk_css_provider_load_from_data(p, css.c_str(), static_cast<gssize>(css.size()), nullptr);
    return p;
}

void AddCss(GtkWidget* w, GtkCssProvider* p, guint priority) {
    if (w && p) {
        gtk_style_context_add_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(p), priority);
    }
}

void RemoveCss(GtkWidget* w, GtkCssProvider* p) {
    if (w && p) gtk_style_context_remove_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(p));
}

}  // namespace

int GtkWindowing::ToLogical(const Control& c, int v) { return v >= 0 ? v / c.unit : -((-v + c.unit - 1) / c.unit); }

int GtkWindowing::SizeToLogical(const Control& c, int v) { return v <= 0 ? 0 : (v + c.unit - 1) / c.unit; }

WindowHandle GtkWindowing::CreateControl(const WindowSpec& spec) {
    if (!Ready()) return 0;
    Control* parent = Find(spec.parent);
    if (spec.kind != ControlKind::Form && (!parent || !parent->fixed)) return 0;

    auto c = std::make_unique<Control>();
    c->handle = next_++;
    c->kind = spec.kind;
    c->parent = spec.kind == ControlKind::Form ? 0 : spec.parent;
    c->sink = spec.sink;
    c->bounds = spec.bounds;
    c->tabOrder = spec.tabOrder;
    c->color = spec.color;
    c->border = spec.border;
    c->topmost = spec.topmost;
    c->hideCursor = spec.hideCursor;
    c->text = spec.text;
    if (spec.kind == ControlKind::Form) {
        c->unit = spec.border == BorderStyle::None ? scale_ : 1;
    } else {
        c->unit = parent->unit;
    }

    Control* self = c.get();
    controls_[self->handle] = std::move(c);
    if (self->kind == ControlKind::Form) {
        BuildForm(*self, spec);
    } else {
        BuildChild(*self, *parent, spec);
        parent->children.push_back(self->handle);
    }
    if (self->color != 0xFFFFFFFFu) ApplyColor(*self);
    return self->handle;
}

void GtkWindowing::DestroyControl(WindowHandle w) {
    Control* c = Find(w);
    if (!c) return;
    // Children first (the framework does so too; this covers callers that do not).
    std::vector<WindowHandle> kids = c->children;
    for (WindowHandle k : kids) DestroyControl(k);
    if (Control* p = Find(c->parent)) {
        auto& v = p->children;
        v.erase(std::remove(v.begin(), v.end(), w), v.end());
    }
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->second.window == w) {
            g_source_remove(it->second.source);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    DropQueued(w);
    for (GtkWidget* x : {c->outer, c->inner, c->fixed}) {
        if (x) g_signal_handlers_disconnect_by_data(x, c);
    }
    if (c->deactivateSource) g_source_remove(c->deactivateSource);
    if (c->outer) gtk_widget_destroy(c->outer);
    if (c->colorCss) g_object_unref(c->colorCss);
    if (c->fontCss) g_object_unref(c->fontCss);
    if (c->frame) cairo_surface_destroy(c->frame);
    controls_.erase(w);
}

void GtkWindowing::SetBounds(WindowHandle w, const Rect& r) {
    Control* c = Find(w);
    if (!c) return;
    c->bounds = r;
    if (c->kind == ControlKind::Form) {
        PlaceForm(*c);
    } else if (Control* p = Find(c->parent)) {
        gtk_fixed_move(GTK_FIXED(p->fixed), c->outer, ToLogical(*c, r.left), ToLogical(*c, r.top));
        gtk_widget_set_size_request(c->outer, SizeToLogical(*c, r.width), SizeToLogical(*c, r.height));
    }
}

Rect GtkWindowing::ClientRect(WindowHandle w) {
    Control* c = Find(w);
    if (!c) return {};
    GtkWidget* area = c->kind == ControlKind::Form ? c->fixed : c->outer;
    if (gtk_widget_get_realized(area)) {
        GtkAllocation a;
        gtk_widget_get_allocation(area, &a);
        if (a.width > 1 || a.height > 1) return Rect{0, 0, a.width * c->unit, a.height * c->unit};
    }
    return Rect{0, 0, c->bounds.width, c->bounds.height};
}

void GtkWindowing::SetVisible(WindowHandle w, bool visible) {
    Control* c = Find(w);
    if (!c) return;
    if (!visible) {
        gtk_widget_hide(c->outer);
        return;
    }
    gtk_widget_show(c->outer);
    if (c->kind == ControlKind::Form) {
        PlaceForm(*c);
        gtk_window_present(GTK_WINDOW(c->outer));
        // Let the window system map and focus it, so that activation arrives now.
        Pump();
    }
}

void GtkWindowing::SetText(WindowHandle w, const std::string& text) {
    Control* c = Find(w);
    if (!c) return;
    c->text = text;
    switch (c->kind) {
        case ControlKind::Form:
            gtk_window_set_title(GTK_WINDOW(c->outer), text.c_str());
            break;
        case ControlKind::Label:
            gtk_label_set_text(GTK_LABEL(c->inner), text.c_str());
            break;
        case ControlKind::Edit:
            gtk_entry_set_text(GTK_ENTRY(c->inner), text.c_str());
            break;
        case ControlKind::CheckBox:
        case ControlKind::Button:
        case ControlKind::SpeedButton:
            gtk_button_set_label(GTK_BUTTON(c->inner), text.c_str());
            break;
        default:
            break;
    }
}

std::string GtkWindowing::GetText(WindowHandle w) {
    Control* c = Find(w);
    if (!c) return {};
    if (c->kind == ControlKind::Edit) {
        const char* t = gtk_entry_get_text(GTK_ENTRY(c->inner));
        return t ? t : "";
    }
    return c->text;
}

void GtkWindowing::SetChecked(WindowHandle w, bool checked) {
    Control* c = Find(w);
    if (!c || c->kind != ControlKind::CheckBox) return;
    // Setting the state from the program is no click.
    if (c->clickHandler) g_signal_handler_block(c->inner, c->clickHandler);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->inner), checked);
    if (c->clickHandler) g_signal_handler_unblock(c->inner, c->clickHandler);
}

bool GtkWindowing::GetChecked(WindowHandle w) {
    Control* c = Find(w);
    return c && c->kind == ControlKind::CheckBox && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->inner));
}

void GtkWindowing::SetColor(WindowHandle w, std::uint32_t rgb) {
    Control* c = Find(w);
    if (!c) return;
    c->color = rgb;
    ApplyColor(*c);
}

void GtkWindowing::SetFocus(WindowHandle w) {
    Control* c = Find(w);
    if (!c) return;
    if (c->kind == ControlKind::Form) {
        gtk_window_present(GTK_WINDOW(c->outer));
    } else {
        gtk_widget_grab_focus(c->inner);
    }
}

void GtkWindowing::CenterOnScreen(WindowHandle w) {
    Control* c = Find(w);
    if (!c || c->kind != ControlKind::Form) return;
    GdkRectangle g = PrimaryGeometry();
    c->bounds.left = g.x * c->unit + (g.width * c->unit - c->bounds.width) / 2;
    c->bounds.top = g.y * c->unit + (g.height * c->unit - c->bounds.height) / 2;
    PlaceForm(*c);
}

void GtkWindowing::PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) {
    Control* c = Find(w);
    if (!c || c->kind != ControlKind::Host) return;
    if (c->frame) {
        cairo_surface_destroy(c->frame);
        c->frame = nullptr;
    }
    if (pixels && width > 0 && height > 0 && stride >= width && width <= 32767 && height <= 32767) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_flush(s);
            unsigned char* dst = cairo_image_surface_get_data(s);
            int dstStride = cairo_image_surface_get_stride(s);
            for (int y = 0; y < height; ++y) {
                std::memcpy(dst + static_cast<std::size_t>(y) * static_cast<std::size_t>(dstStride),
                            pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride),
                            static_cast<std::size_t>(width) * 4u);
            }
            cairo_surface_mark_dirty(s);
            // One frame pixel per real pixel, also on a scaled screen.
            cairo_surface_set_device_scale(s, c->unit, c->unit);
            c->frame = s;
        } else {
            cairo_surface_destroy(s);
        }
    }
    gtk_widget_queue_draw(c->inner);
}

void GtkWindowing::PresentPixelRegions(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride,
                                       std::span<const Rect> regions) {
    Control* c = Find(w);
    if (!c || c->kind != ControlKind::Host) return;
    if (!c->frame || !pixels || stride < width || cairo_image_surface_get_width(c->frame) != width ||
        cairo_image_surface_get_height(c->frame) != height)
        return PresentPixels(w, pixels, width, height, stride);
    cairo_surface_flush(c->frame);
    unsigned char* dst = cairo_image_surface_get_data(c->frame);
    const int dstStride = cairo_image_surface_get_stride(c->frame);
    for (const Rect& r : regions) {
        const Rect in = r.Within(width, height);
        const int x0 = in.left, y0 = in.top, x1 = in.left + in.width, y1 = in.top + in.height;
        if (x0 >= x1 || y0 >= y1) continue;
        for (int y = y0; y < y1; ++y)
            std::memcpy(dst + static_cast<std::size_t>(y) * static_cast<std::size_t>(dstStride) + x0 * 4u,
                        pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + x0,
                        static_cast<std::size_t>(x1 - x0) * 4u);
        cairo_surface_mark_dirty_rectangle(c->frame, x0, y0, x1 - x0, y1 - y0);
        // In the widget's own units: real pixels over the screen's scale, rounded outwards.
        const int u = std::max(c->unit, 1);
        gtk_widget_queue_draw_area(c->inner, x0 / u, y0 / u, (x1 + u - 1) / u - x0 / u, (y1 + u - 1) / u - y0 / u);
    }
}

void GtkWindowing::HideTaskbarWindow() {
    skipTaskbar_ = true;
    for (auto& [h, c] : controls_) {
        if (c->kind == ControlKind::Form) {
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(c->outer), TRUE);
            gtk_window_set_skip_pager_hint(GTK_WINDOW(c->outer), TRUE);
        }
    }
}

Size GtkWindowing::PrimaryScreenSize() {
    if (!Ready()) return {};
    GdkMonitor* m = PrimaryMonitor();
    if (!m) return {};
    GdkRectangle g;
    gdk_monitor_get_geometry(m, &g);
    int scale = std::max(gdk_monitor_get_scale_factor(m), 1);
    return Size{g.width * scale, g.height * scale};
}

void GtkWindowing::SetScreenSaverRunning(bool /*running*/) {}

WindowHandle GtkWindowing::WidgetHandle(GtkWidget* w) {
    for (; w; w = gtk_widget_get_parent(w)) {
        if (gpointer p = g_object_get_data(G_OBJECT(w), kHandleKey)) {
            return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(p));
        }
    }
    return 0;
}

void GtkWindowing::Tag(GtkWidget* w, WindowHandle h) {
    g_object_set_data(G_OBJECT(w), kHandleKey, reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(h)));
}

GtkWidget* GtkWindowing::ClientWidget(Control& c) { return c.kind == ControlKind::Form ? c.fixed : c.outer; }

Control* GtkWindowing::Find(WindowHandle w) {
    if (w == 0) return nullptr;
    auto it = controls_.find(w);
    return it == controls_.end() ? nullptr : it->second.get();
}

Control* GtkWindowing::FormOf(Control* c) {
    while (c && c->kind != ControlKind::Form) c = Find(c->parent);
    return c;
}

GdkMonitor* GtkWindowing::PrimaryMonitor() {
    GdkDisplay* d = gdk_display_get_default();
    if (!d) return nullptr;
    GdkMonitor* m = gdk_display_get_primary_monitor(d);
    if (!m && gdk_display_get_n_monitors(d) > 0) m = gdk_display_get_monitor(d, 0);
    return m;
}

GdkRectangle GtkWindowing::PrimaryGeometry() {
    GdkRectangle g{0, 0, 0, 0};
    if (GdkMonitor* m = PrimaryMonitor()) gdk_monitor_get_geometry(m, &g);
    return g;
}

void GtkWindowing::BuildForm(Control& c, const WindowSpec& spec) {
    GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    c.outer = c.inner = win;
    c.fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(win), c.fixed);
    gtk_widget_show(c.fixed);
    Tag(win, c.handle);
    Tag(c.fixed, c.handle);
    gtk_window_set_title(GTK_WINDOW(win), spec.text.c_str());
    gtk_widget_add_events(win, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                   GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
    switch (c.border) {
        case BorderStyle::None:
            gtk_window_set_decorated(GTK_WINDOW(win), FALSE);
            gtk_window_set_resizable(GTK_WINDOW(win), FALSE);
            break;
        case BorderStyle::Dialog:
            gtk_window_set_resizable(GTK_WINDOW(win), FALSE);
            gtk_window_set_type_hint(GTK_WINDOW(win), GDK_WINDOW_TYPE_HINT_DIALOG);
            gtk_window_set_gravity(GTK_WINDOW(win), GDK_GRAVITY_STATIC);
            break;
        case BorderStyle::Sizeable:
            gtk_window_set_gravity(GTK_WINDOW(win), GDK_GRAVITY_STATIC);
            break;
    }
    if (c.topmost) gtk_window_set_keep_above(GTK_WINDOW(win), TRUE);
    if (skipTaskbar_) {
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(win), TRUE);
        gtk_window_set_skip_pager_hint(GTK_WINDOW(win), TRUE);
    }

    // The form's font, for the form and everything on it.
    std::string css = "* { font-family: ";
    if (!spec.font.name.empty()) css += CssQuote(spec.font.name) + ", ";
    css += "\"Noto Sans CJK JP\", sans-serif;";
    if (spec.font.height != 0) {
        char size[32];
        std::snprintf(size, sizeof size, "%.2f", std::abs(spec.font.height) / static_cast<double>(c.unit));
        css += std::string(" font-size: ") + size + "px;";
    }
    css += " }";
    c.fontCss = NewCss(css);
    AddCss(win, c.fontCss, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

    g_signal_connect(win, "delete-event", G_CALLBACK(&GtkWindowing::OnDelete), &c);
    g_signal_connect(win, "notify::is-active", G_CALLBACK(&GtkWindowing::OnActiveChanged), &c);
    g_signal_connect(win, "realize", G_CALLBACK(&GtkWindowing::OnFormRealize), &c);
    g_signal_connect(c.fixed, "size-allocate", G_CALLBACK(&GtkWindowing::OnFormAllocate), &c);
    PlaceForm(c);
}

void GtkWindowing::BuildChild(Control& c, Control& parent, const WindowSpec& spec) {
    GtkWidget* w = nullptr;
    switch (c.kind) {
        case ControlKind::Panel:
            w = gtk_event_box_new();
            c.fixed = gtk_fixed_new();
            gtk_container_add(GTK_CONTAINER(w), c.fixed);
            gtk_widget_show(c.fixed);
            Tag(c.fixed, c.handle);
            gtk_widget_add_events(w, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
            c.outer = c.inner = w;
            break;
        case ControlKind::Label:
            w = gtk_label_new(spec.text.c_str());
            gtk_label_set_xalign(GTK_LABEL(w), 0.0f);
            gtk_label_set_yalign(GTK_LABEL(w), 0.0f);
            c.outer = c.inner = w;
            break;
        case ControlKind::Edit:
            w = gtk_entry_new();
            gtk_entry_set_text(GTK_ENTRY(w), spec.text.c_str());
            gtk_entry_set_width_chars(GTK_ENTRY(w), 1);
            c.outer = c.inner = w;
            break;
        case ControlKind::CheckBox:
            w = gtk_check_button_new_with_label(spec.text.c_str());
            c.outer = c.inner = w;
            break;
        case ControlKind::Button:
            w = gtk_button_new_with_label(spec.text.c_str());
            c.outer = c.inner = w;
            break;
        case ControlKind::SpeedButton:
            w = gtk_button_new_with_label(spec.text.c_str());
            gtk_button_set_relief(GTK_BUTTON(w), GTK_RELIEF_NONE);
            gtk_widget_set_focus_on_click(w, FALSE);
            gtk_widget_set_can_focus(w, FALSE);
            c.outer = c.inner = w;
            break;
        case ControlKind::Bevel:
            w = gtk_frame_new(nullptr);
            gtk_frame_set_shadow_type(GTK_FRAME(w), GTK_SHADOW_ETCHED_IN);
            c.outer = c.inner = w;
            break;
        case ControlKind::Host:
            w = gtk_drawing_area_new();
            gtk_widget_add_events(
                w, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK);
            g_signal_connect(w, "draw", G_CALLBACK(&GtkWindowing::OnHostDraw), &c);
            c.outer = c.inner = w;
            break;
        case ControlKind::Form:
            break;
    }
    Tag(w, c.handle);
    if (c.kind == ControlKind::Button || c.kind == ControlKind::SpeedButton || c.kind == ControlKind::CheckBox) {
        gtk_widget_add_events(w, GDK_POINTER_MOTION_MASK);
        c.clickHandler = g_signal_connect(w, "clicked", G_CALLBACK(&GtkWindowing::OnClicked), &c);
    }
    if (c.kind == ControlKind::Edit) gtk_widget_add_events(w, GDK_POINTER_MOTION_MASK);
    // Children take the form's font and may be smaller than the theme's minimum sizes.
    if (Control* form = FormOf(&parent)) AddCss(w, form->fontCss, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    AddCss(w, MinimumSizeCss(), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    gtk_widget_set_size_request(w, SizeToLogical(c, c.bounds.width), SizeToLogical(c, c.bounds.height));
    gtk_fixed_put(GTK_FIXED(parent.fixed), w, ToLogical(c, c.bounds.left), ToLogical(c, c.bounds.top));
    if (spec.visible) gtk_widget_show_all(w);
}

GtkCssProvider* GtkWindowing::MinimumSizeCss() {
    // Buttons lose the theme's padding too, so a narrow button such as the folder
    // chooser's "..." keeps the width it was given.
    static GtkCssProvider* p = NewCss("* { min-width: 0; min-height: 0; } button { padding: 0 1px; }");
    return p;
}

void GtkWindowing::PlaceForm(Control& c) {
    GtkWindow* win = GTK_WINDOW(c.outer);
    const Rect& r = c.bounds;
    int w = std::max(SizeToLogical(c, r.width), 1), h = std::max(SizeToLogical(c, r.height), 1);
    gtk_widget_set_size_request(c.fixed, w, h);
    gtk_window_set_default_size(win, w, h);
    gtk_window_resize(win, w, h);
    gtk_window_move(win, ToLogical(c, r.left), ToLogical(c, r.top));
    if (c.border == BorderStyle::None) {
        GdkRectangle g = PrimaryGeometry();
        int sc = c.unit;
        bool whole = g.width > 0 && r.left == g.x * sc && r.top == g.y * sc && r.width == g.width * sc &&
                     r.height == g.height * sc;
        if (whole) {
            GdkDisplay* d = gdk_display_get_default();
            GdkScreen* s = gdk_display_get_default_screen(d);
            int index = 0;
            for (int i = 0; i < gdk_display_get_n_monitors(d); ++i) {
                if (gdk_display_get_monitor(d, i) == PrimaryMonitor()) index = i;
            }
            gtk_window_fullscreen_on_monitor(win, s, index);
        } else {
            gtk_window_unfullscreen(win);
        }
    }
}

void GtkWindowing::ApplyColor(Control& c) {
    GtkWidget* target = c.kind == ControlKind::Host ? nullptr : c.outer;
    if (!target) return;
    if (c.colorCss) {
        RemoveCss(target, c.colorCss);
        g_object_unref(c.colorCss);
        c.colorCss = nullptr;
    }
    if (c.color == 0xFFFFFFFFu) return;
    c.colorCss = NewCss("* { background-color: " + CssColor(c.color) + "; background-image: none; }");
    AddCss(target, c.colorCss, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
}

gboolean GtkWindowing::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    // The framework decides whether the window closes; it destroys it itself.
    g_instance->Deliver(*static_cast<Control*>(data), EventKind::Close);
    return TRUE;
}

void GtkWindowing::OnActiveChanged(GObject* obj, GParamSpec*, gpointer data) {
    // A window system without a window manager (and some with one) lets a new window lose
    // and regain the focus at once; a loss counts only when it lasts, so that showing a
    // form activates it once, and every real return to the form activates it again.
    Control& c = *static_cast<Control*>(data);
    if (gtk_window_is_active(GTK_WINDOW(obj))) {
        if (c.deactivateSource) {
            g_source_remove(c.deactivateSource);
            c.deactivateSource = 0;
        }
        if (!c.active) {
            c.active = true;
            g_instance->Deliver(c, EventKind::Activate);
        }
    } else if (c.active && !c.deactivateSource) {
        c.deactivateSource = g_timeout_add(kDeactivateDelayMs, &GtkWindowing::OnDeactivated, &c);
    }
}

gboolean GtkWindowing::OnDeactivated(gpointer data) {
    Control& c = *static_cast<Control*>(data);
    c.deactivateSource = 0;
    c.active = false;
    return G_SOURCE_REMOVE;
}

void GtkWindowing::OnClicked(GtkButton*, gpointer data) {
    g_instance->Deliver(*static_cast<Control*>(data), EventKind::Click);
}

void GtkWindowing::OnFormRealize(GtkWidget* w, gpointer data) {
    Control& c = *static_cast<Control*>(data);
    GdkWindow* win = gtk_widget_get_window(w);
    if (win && c.border == BorderStyle::Dialog) {
        gdk_window_set_functions(win, GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
        gdk_window_set_decorations(win, GdkWMDecoration(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
    }
    g_instance->ApplyCursor(c);
}

void GtkWindowing::OnFormAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
    Control& c = *static_cast<Control*>(data);
    if (a->width == c.lastWidth && a->height == c.lastHeight) return;
    bool first = c.lastWidth < 0;
    c.lastWidth = a->width;
    c.lastHeight = a->height;
    if (!first) g_instance->Deliver(c, EventKind::Resize);
}

gboolean GtkWindowing::OnHostDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    Control& c = *static_cast<Control*>(data);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (c.frame) {
        cairo_set_source_surface(cr, c.frame, 0, 0);
        cairo_paint(cr);
    }
    return TRUE;
}

}  // namespace lumarel::platform::linux_backend::gtk
