// Windows, controls and the event loop of the Linux build, over GTK 3.
//
// The application runs a Windows-style loop (peek, hook, dispatch or discard, idle, wait), so
// this backend keeps its own message queue. Every GDK event passes through OnGdkEvent: input
// (pointer, buttons, keys) is copied into the queue and only reaches GTK when the application
// dispatches it; everything else (exposure, configuration, focus changes) goes to GTK at once.
// Buttons, key presses and motion become messages with the Windows numbers; the rest of the
// input (releases, scrolling) rides along in the queue so that its order stays intact. While a
// modal dialog runs its own loop, all events go straight to GTK.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/linux/native_linux.h"

namespace lumarel::platform {

namespace {

constexpr const char* kHandleKey = "lumarel-handle";
constexpr guint kDeactivateDelayMs = 150;

// Windows virtual-key codes used below.
namespace vk {
constexpr unsigned Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12, Pause = 0x13,
                   Capital = 0x14, Escape = 0x1B, Space = 0x20, Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24,
                   Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E,
                   LWin = 0x5B, Apps = 0x5D, Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D,
                   Decimal = 0x6E, Divide = 0x6F, F1 = 0x70, NumLock = 0x90, Scroll = 0x91, Oem1 = 0xBA, OemPlus = 0xBB,
                   OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE, Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB,
                   Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE, None = 0xFF;
}

// Mouse key-state flags of the Windows mouse messages.
constexpr std::uintptr_t MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10;

unsigned VirtualKeyFromKeyval(guint kv) {
    if (kv >= GDK_KEY_a && kv <= GDK_KEY_z) return 'A' + (kv - GDK_KEY_a);
    if (kv >= GDK_KEY_A && kv <= GDK_KEY_Z) return 'A' + (kv - GDK_KEY_A);
    if (kv >= GDK_KEY_0 && kv <= GDK_KEY_9) return '0' + (kv - GDK_KEY_0);
    if (kv >= GDK_KEY_KP_0 && kv <= GDK_KEY_KP_9) return vk::Numpad0 + (kv - GDK_KEY_KP_0);
    if (kv >= GDK_KEY_F1 && kv <= GDK_KEY_F24) return vk::F1 + (kv - GDK_KEY_F1);
    switch (kv) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            return vk::Return;
        case GDK_KEY_Escape:
            return vk::Escape;
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
            return vk::Space;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
        case GDK_KEY_KP_Tab:
            return vk::Tab;
        case GDK_KEY_BackSpace:
            return vk::Back;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return vk::Delete;
        case GDK_KEY_Insert:
        case GDK_KEY_KP_Insert:
            return vk::Insert;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return vk::Home;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return vk::End;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return vk::Prior;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return vk::Next;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return vk::Left;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return vk::Up;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return vk::Right;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return vk::Down;
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return vk::Shift;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return vk::Control;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
        case GDK_KEY_Meta_L:
        case GDK_KEY_Meta_R:
        case GDK_KEY_ISO_Level3_Shift:
            return vk::Menu;
        case GDK_KEY_Super_L:
        case GDK_KEY_Super_R:
            return vk::LWin;
        case GDK_KEY_Menu:
            return vk::Apps;
        case GDK_KEY_Caps_Lock:
            return vk::Capital;
        case GDK_KEY_Num_Lock:
            return vk::NumLock;
        case GDK_KEY_Scroll_Lock:
            return vk::Scroll;
        case GDK_KEY_Pause:
            return vk::Pause;
        case GDK_KEY_Print:
            return vk::Snapshot;
        case GDK_KEY_KP_Multiply:
            return vk::Multiply;
        case GDK_KEY_KP_Add:
            return vk::Add;
        case GDK_KEY_KP_Subtract:
            return vk::Subtract;
        case GDK_KEY_KP_Decimal:
            return vk::Decimal;
        case GDK_KEY_KP_Divide:
            return vk::Divide;
        case GDK_KEY_semicolon:
            return vk::Oem1;
        case GDK_KEY_equal:
            return vk::OemPlus;
        case GDK_KEY_comma:
            return vk::OemComma;
        case GDK_KEY_minus:
            return vk::OemMinus;
        case GDK_KEY_period:
            return vk::OemPeriod;
        case GDK_KEY_slash:
            return vk::Oem2;
        case GDK_KEY_grave:
            return vk::Oem3;
        case GDK_KEY_bracketleft:
            return vk::Oem4;
        case GDK_KEY_backslash:
            return vk::Oem5;
        case GDK_KEY_bracketright:
            return vk::Oem6;
        case GDK_KEY_apostrophe:
            return vk::Oem7;
        default:
            return 0;
    }
}

// The key's code as Windows names it: from the key's unshifted symbol, so that Shift+1 is
// still '1' and Shift+a still 'A'.
unsigned VirtualKey(const GdkEventKey& key) {
    guint base = 0;
    GdkKeymap* map = gdk_keymap_get_for_display(gdk_window_get_display(key.window));
    if (map && gdk_keymap_translate_keyboard_state(map, key.hardware_keycode, GdkModifierType(0), key.group, &base,
                                                   nullptr, nullptr, nullptr)) {
        if (unsigned code = VirtualKeyFromKeyval(base)) return code;
    }
    if (unsigned code = VirtualKeyFromKeyval(key.keyval)) return code;
    return vk::None;
}

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

// Screen position of a widget's top-left corner.
bool ScreenOrigin(GtkWidget* w, int& x, int& y) {
    x = y = 0;
    GdkWindow* win = w ? gtk_widget_get_window(w) : nullptr;
    if (!win) return false;
    gdk_window_get_origin(win, &x, &y);
    if (!gtk_widget_get_has_window(w)) {
        GtkAllocation a;
        gtk_widget_get_allocation(w, &a);
        x += a.x;
        y += a.y;
    }
    return true;
}

bool IsInputEvent(GdkEventType t) {
    switch (t) {
        case GDK_MOTION_NOTIFY:
        case GDK_BUTTON_PRESS:
        case GDK_2BUTTON_PRESS:
        case GDK_3BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
        case GDK_KEY_PRESS:
        case GDK_KEY_RELEASE:
        case GDK_SCROLL:
        case GDK_TOUCH_BEGIN:
        case GDK_TOUCH_UPDATE:
        case GDK_TOUCH_END:
        case GDK_TOUCH_CANCEL:
            return true;
        default:
            return false;
    }
}

GdkEvent* NativeOf(const Message& m) {
    GdkEvent* ev = nullptr;
    std::memcpy(&ev, m.native, sizeof ev);
    return ev;
}

void SetNative(Message& m, GdkEvent* ev) { std::memcpy(m.native, &ev, sizeof ev); }

// ---------------------------------------------------------------------------------------

struct Control {
    WindowHandle handle = 0;
    ControlKind kind = ControlKind::Form;
    WindowHandle parent = 0;
    EventSink* sink = nullptr;
    Rect bounds;
    int tabOrder = -1;
    std::uint32_t color = 0xFFFFFFFFu;
    BorderStyle border = BorderStyle::Sizeable;
    bool topmost = false;
    bool hideCursor = false;
    int unit = 1;      // real pixels per pixel of this control's rectangles (see ToLogical)
    std::string text;  // kept for kinds without a native text (panel, bevel, host)

    GtkWidget* outer = nullptr;  // the widget placed in the parent (a form: the GtkWindow)
    GtkWidget* inner = nullptr;  // the control proper (entry, button, label, ...)
    GtkWidget* fixed = nullptr;  // where children go (forms and panels)
    GtkCssProvider* colorCss = nullptr;
    GtkCssProvider* fontCss = nullptr;  // forms: shared by every widget of the form

    // Host: the last frame given to PresentPixels.
    cairo_surface_t* frame = nullptr;

    int lastWidth = -1, lastHeight = -1;  // forms: the client size last reported
    bool active = false;                  // forms: activation last reported
    guint deactivateSource = 0;           // forms: a pending loss of activation
    gulong clickHandler = 0;
    std::vector<WindowHandle> children;
};

struct TimerEntry {
    WindowHandle window = 0;
    std::uintptr_t id = 0;
    guint source = 0;
    bool pending = false;  // a tick is waiting in the queue
};

struct Queued {
    Message m;
    bool isMessage = true;  // false: native input that only goes to GTK, in its turn
    bool crossing = false;  // a mouse move made of a crossing into a control (no native event)
};

class GtkWindowing;
GtkWindowing* g_instance = nullptr;

class GtkWindowing final : public Windowing {
public:
    GtkWindowing() : mainThread_(std::this_thread::get_id()) { g_instance = this; }

    bool Ready() {
        if (!linux_backend::EnsureGtk()) return false;
        if (!scaleKnown_) {
            scaleKnown_ = true;
            if (GdkMonitor* m = PrimaryMonitor()) scale_ = std::max(gdk_monitor_get_scale_factor(m), 1);
        }
        return true;
    }

    // GTK places widgets in logical pixels, which are `scale_` real pixels on a scaled
    // (high-density) screen. A borderless form (the full-screen saver) and its children work
    // in real pixels, like PrimaryScreenSize, so that they cover the screen exactly and show a
    // host's frame pixel for pixel. Framed forms keep GTK's pixels, so that the theme's
    // controls still fit the rectangles they are given: the whole dialog is scaled, as
    // Windows scales a program that knows nothing of screen density.
    static int ToLogical(const Control& c, int v) { return v >= 0 ? v / c.unit : -((-v + c.unit - 1) / c.unit); }
    static int SizeToLogical(const Control& c, int v) { return v <= 0 ? 0 : (v + c.unit - 1) / c.unit; }

    // --- controls -------------------------------------------------------------------------

    WindowHandle CreateControl(const WindowSpec& spec) override {
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

    void DestroyControl(WindowHandle w) override {
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

    void SetBounds(WindowHandle w, const Rect& r) override {
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

    Rect ClientRect(WindowHandle w) override {
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

    void SetVisible(WindowHandle w, bool visible) override {
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

    void SetText(WindowHandle w, const std::string& text) override {
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

    std::string GetText(WindowHandle w) override {
        Control* c = Find(w);
        if (!c) return {};
        if (c->kind == ControlKind::Edit) {
            const char* t = gtk_entry_get_text(GTK_ENTRY(c->inner));
            return t ? t : "";
        }
        return c->text;
    }

    void SetChecked(WindowHandle w, bool checked) override {
        Control* c = Find(w);
        if (!c || c->kind != ControlKind::CheckBox) return;
        // Setting the state from the program is no click.
        if (c->clickHandler) g_signal_handler_block(c->inner, c->clickHandler);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->inner), checked);
        if (c->clickHandler) g_signal_handler_unblock(c->inner, c->clickHandler);
    }

    bool GetChecked(WindowHandle w) override {
        Control* c = Find(w);
        return c && c->kind == ControlKind::CheckBox && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->inner));
    }

    void SetColor(WindowHandle w, std::uint32_t rgb) override {
        Control* c = Find(w);
        if (!c) return;
        c->color = rgb;
        ApplyColor(*c);
    }

    void SetFocus(WindowHandle w) override {
        Control* c = Find(w);
        if (!c) return;
        if (c->kind == ControlKind::Form) {
            gtk_window_present(GTK_WINDOW(c->outer));
        } else {
            gtk_widget_grab_focus(c->inner);
        }
    }

    void CenterOnScreen(WindowHandle w) override {
        Control* c = Find(w);
        if (!c || c->kind != ControlKind::Form) return;
        GdkRectangle g = PrimaryGeometry();
        c->bounds.left = g.x * c->unit + (g.width * c->unit - c->bounds.width) / 2;
        c->bounds.top = g.y * c->unit + (g.height * c->unit - c->bounds.height) / 2;
        PlaceForm(*c);
    }

    void PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) override {
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

    void HideTaskbarWindow() override {
        skipTaskbar_ = true;
        for (auto& [h, c] : controls_) {
            if (c->kind == ControlKind::Form) {
                gtk_window_set_skip_taskbar_hint(GTK_WINDOW(c->outer), TRUE);
                gtk_window_set_skip_pager_hint(GTK_WINDOW(c->outer), TRUE);
            }
        }
    }

    // --- the queue ------------------------------------------------------------------------

    bool PeekMessage(Message& out) override {
        Pump();
        for (;;) {
            Queued q;
            {
                std::lock_guard<std::mutex> lock(queueMutex_);
                // After one timer tick the next waits until the queue has once been found
                // empty, so the loop's idle pass comes between two ticks however long a tick's
                // work takes (the GLib timer is serviced inside this peek and is always due
                // again when drawing a frame outlasts its interval).
                auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Queued& e) {
                    return !(timerHeld_ && e.isMessage && e.m.msg == msg::Timer);
                });
                if (it == queue_.end()) {
                    timerHeld_ = false;
                    return false;
                }
                q = *it;
                queue_.erase(it);
            }
            if (!q.isMessage) {
                // Native input without a message of its own (a release, a scroll): GTK gets it
                // in its turn.
                if (GdkEvent* ev = NativeOf(q.m)) {
                    gtk_main_do_event(ev);
                    gdk_event_free(ev);
                }
                continue;
            }
            if (q.m.msg == msg::Timer) {
                auto t = timers_.find({q.m.window, q.m.wParam});
                if (t != timers_.end()) t->second.pending = false;
                timerHeld_ = true;
            }
            if (GdkEvent* ev = NativeOf(q.m)) outstanding_.insert(ev);
            out = q.m;
            return true;
        }
    }

    void WaitMessage() override {
        delivered_ = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(queueMutex_);
                if (!queue_.empty()) return;
            }
            if (delivered_) return;
            g_main_context_iteration(nullptr, TRUE);
        }
    }

    void DispatchMessage(const Message& m) override {
        GdkEvent* ev = TakeNative(m);
        if (Control* c = Find(m.window)) {
            if (c->sink) {
                Event e;
                e.kind = EventKind::Message;
                e.message = m;
                SetNative(e.message, nullptr);
                c->sink->HandleEvent(e);
            }
        }
        if (!ev) return;
        // Tab moves through the form's tab stops in their declared order.
        if (ev->type == GDK_KEY_PRESS && m.msg == msg::KeyDown && m.wParam == vk::Tab &&
            !(ev->key.state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) &&
            MoveTabFocus(m.window, (ev->key.state & GDK_SHIFT_MASK) != 0)) {
            gdk_event_free(ev);
            return;
        }
        // No button is a default or cancel button: Enter and Escape press none.
        if (ev->type == GDK_KEY_PRESS && (m.wParam == vk::Return || m.wParam == vk::Escape)) {
            Control* c = Find(m.window);
            if (c && (c->kind == ControlKind::Button || c->kind == ControlKind::SpeedButton)) {
                gdk_event_free(ev);
                return;
            }
        }
        gtk_main_do_event(ev);
        gdk_event_free(ev);
    }

    void DiscardMessage(const Message& m) override {
        if (GdkEvent* ev = TakeNative(m)) gdk_event_free(ev);
    }

    void PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        // As on Windows, a window that is gone takes no messages (0 is the thread itself).
        if (w != 0 && std::this_thread::get_id() == mainThread_ && !Find(w)) return;
        Queued q;
        q.m.msg = message;
        q.m.window = w;
        q.m.wParam = wParam;
        q.m.lParam = lParam;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queue_.push_back(q);
        }
        g_main_context_wakeup(nullptr);
    }

    void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) override {
        StopTimer(w, id);
        TimerEntry& t = timers_[{w, id}];
        t.window = w;
        t.id = id;
        auto* key = new std::pair<WindowHandle, std::uintptr_t>(w, id);
        t.source = g_timeout_add_full(
            G_PRIORITY_DEFAULT, static_cast<guint>(std::max(intervalMs, 1)), &GtkWindowing::OnTimer, key,
            [](gpointer p) { delete static_cast<std::pair<WindowHandle, std::uintptr_t>*>(p); });
    }

    void StopTimer(WindowHandle w, std::uintptr_t id) override {
        auto it = timers_.find({w, id});
        if (it == timers_.end()) return;
        g_source_remove(it->second.source);
        timers_.erase(it);
        // A tick already waiting belongs to the stopped timer: it goes too.
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [&](const Queued& q) {
                                        return q.isMessage && q.m.msg == msg::Timer && q.m.window == w &&
                                               q.m.wParam == id && !NativeOf(q.m);
                                    }),
                     queue_.end());
    }

    // --- dialogs --------------------------------------------------------------------------

    void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                    MessageBoxKind kind) override {
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

    std::string BrowseForFolder(WindowHandle owner, const std::string& title, const std::string& initialPath) override {
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

    // --- screen and pointer ---------------------------------------------------------------

    int ShowCursor(bool show) override {
        int before = cursorCount_;
        cursorCount_ += show ? 1 : -1;
        if ((before < 0) != (cursorCount_ < 0)) {
            for (auto& [h, c] : controls_) {
                if (c->kind == ControlKind::Form) ApplyCursor(*c);
            }
        }
        return cursorCount_;
    }

    Size PrimaryScreenSize() override {
        if (!Ready()) return {};
        GdkMonitor* m = PrimaryMonitor();
        if (!m) return {};
        GdkRectangle g;
        gdk_monitor_get_geometry(m, &g);
        int scale = std::max(gdk_monitor_get_scale_factor(m), 1);
        return Size{g.width * scale, g.height * scale};
    }

    void SetScreenSaverRunning(bool /*running*/) override {}

    // --- called from GDK ------------------------------------------------------------------

    void OnEvent(GdkEvent* ev) {
        if (modalDepth_ == 0 && ev->type == GDK_ENTER_NOTIFY && ev->crossing.mode == GDK_CROSSING_NORMAL) {
            QueueCrossingMove(ev);
        }
        if (modalDepth_ > 0 || !IsInputEvent(ev->type)) {
            gtk_main_do_event(ev);
            return;
        }
        Queued q;
        WindowHandle target = 0;
        if (ev->type == GDK_KEY_PRESS || ev->type == GDK_KEY_RELEASE) {
            target = KeyTarget(ev);
        } else {
            target = WidgetHandle(gtk_get_event_widget(ev));
        }
        bool empty;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            empty = queue_.empty();
        }
        q.isMessage = target != 0 && Describe(ev, target, q.m);
        // A motion to the point a crossing already reported is that same move.
        if (q.isMessage && ev->type == GDK_MOTION_NOTIFY && !NewPointerPosition(ev)) q.isMessage = false;
        if (!q.isMessage && (target == 0 || empty)) {
            // Nothing the application sees, and nothing queued that it must follow.
            gtk_main_do_event(ev);
            return;
        }
        SetNative(q.m, gdk_event_copy(ev));
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(q);
    }

private:
    // On Windows every move of the pointer is a mouse-move message for the window under it,
    // also the move that crosses into another window, and a window shown under a still
    // pointer gets one too. GTK reports such a move only as a crossing, so an entry into one
    // of our controls becomes a mouse-move message of its own (without a native event: GTK
    // gets the crossing at once). A motion at the point already reported is the same move.
    void QueueCrossingMove(GdkEvent* ev) {
        const WindowHandle target = WidgetHandle(gtk_get_event_widget(ev));
        Queued q;
        q.crossing = true;
        if (!target || !Describe(ev, target, q.m)) return;
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!NewPointerPosition(ev)) {
            // The same move entering a control further in (crossings come outermost first):
            // that control takes the message still waiting.
            if (!queue_.empty() && queue_.back().crossing) queue_.back().m = q.m;
            return;
        }
        queue_.push_back(q);
    }

    // True when a pointer event at this screen point is a move not yet reported.
    bool NewPointerPosition(GdkEvent* ev) {
        double rx = 0, ry = 0;
        gdk_event_get_root_coords(ev, &rx, &ry);
        const auto x = static_cast<long>(std::floor(rx)), y = static_cast<long>(std::floor(ry));
        if (pointerKnown_ && x == pointerX_ && y == pointerY_) return false;
        pointerKnown_ = true;
        pointerX_ = x;
        pointerY_ = y;
        return true;
    }

    // Fills in the message for an input event; false when it has none (releases, scrolling).
    bool Describe(GdkEvent* ev, WindowHandle target, Message& m) {
        m.window = target;
        switch (ev->type) {
            case GDK_MOTION_NOTIFY:
            case GDK_ENTER_NOTIFY:
                m.msg = msg::MouseMove;
                break;
            case GDK_BUTTON_PRESS:
                switch (ev->button.button) {
                    case 1:
                        m.msg = msg::LButtonDown;
                        break;
                    case 2:
                        m.msg = msg::MButtonDown;
                        break;
                    case 3:
                        m.msg = msg::RButtonDown;
                        break;
                    default:
                        return false;
                }
                break;
            case GDK_KEY_PRESS: {
                m.msg = msg::KeyDown;
                m.wParam = VirtualKey(ev->key);
                unsigned scan = ev->key.hardware_keycode >= 8 ? ev->key.hardware_keycode - 8u : 0u;
                m.lParam = static_cast<std::intptr_t>(1 | ((scan & 0xFFu) << 16));
                return true;
            }
            default:
                return false;
        }
        // Mouse: client coordinates of the target, Windows key-state flags.
        double rx = 0, ry = 0;
        gdk_event_get_root_coords(ev, &rx, &ry);
        int ox = 0, oy = 0, unit = 1;
        if (Control* c = Find(target)) {
            ScreenOrigin(ClientWidget(*c), ox, oy);
            unit = c->unit;
        }
        m.x = static_cast<int>(std::floor((rx - ox) * unit));
        m.y = static_cast<int>(std::floor((ry - oy) * unit));
        GdkModifierType state = GdkModifierType(0);
        gdk_event_get_state(ev, &state);
        std::uintptr_t keys = 0;
        if (state & GDK_BUTTON1_MASK) keys |= MK_LBUTTON;
        if (state & GDK_BUTTON3_MASK) keys |= MK_RBUTTON;
        if (state & GDK_BUTTON2_MASK) keys |= MK_MBUTTON;
        if (state & GDK_SHIFT_MASK) keys |= MK_SHIFT;
        if (state & GDK_CONTROL_MASK) keys |= MK_CONTROL;
        if (ev->type == GDK_BUTTON_PRESS) {
            // The pressed button counts as down, as in the Windows message.
            keys |= ev->button.button == 1 ? MK_LBUTTON : ev->button.button == 3 ? MK_RBUTTON : MK_MBUTTON;
        }
        m.wParam = keys;
        m.lParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(m.y & 0xFFFF) << 16) |
                                              static_cast<std::uint32_t>(m.x & 0xFFFF));
        return true;
    }

    WindowHandle KeyTarget(GdkEvent* ev) {
        GtkWidget* top = gtk_get_event_widget(ev);
        if (!top) return 0;
        top = gtk_widget_get_toplevel(top);
        WindowHandle form = WidgetHandle(top);
        if (!form || !GTK_IS_WINDOW(top)) return 0;
        if (GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(top))) {
            if (WindowHandle h = WidgetHandle(focus)) return h;
        }
        return form;
    }

    // The innermost of our controls at or above a widget.
    static WindowHandle WidgetHandle(GtkWidget* w) {
        for (; w; w = gtk_widget_get_parent(w)) {
            if (gpointer p = g_object_get_data(G_OBJECT(w), kHandleKey)) {
                return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(p));
            }
        }
        return 0;
    }

    static void Tag(GtkWidget* w, WindowHandle h) {
        g_object_set_data(G_OBJECT(w), kHandleKey, reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(h)));
    }

    // The widget whose top-left corner is the control's client origin.
    static GtkWidget* ClientWidget(Control& c) { return c.kind == ControlKind::Form ? c.fixed : c.outer; }

    Control* Find(WindowHandle w) {
        if (w == 0) return nullptr;
        auto it = controls_.find(w);
        return it == controls_.end() ? nullptr : it->second.get();
    }

    Control* FormOf(Control* c) {
        while (c && c->kind != ControlKind::Form) c = Find(c->parent);
        return c;
    }

    GtkWindow* OwnerWindow(WindowHandle owner) {
        Control* f = FormOf(Find(owner));
        return f ? GTK_WINDOW(f->outer) : nullptr;
    }

    GdkMonitor* PrimaryMonitor() {
        GdkDisplay* d = gdk_display_get_default();
        if (!d) return nullptr;
        GdkMonitor* m = gdk_display_get_primary_monitor(d);
        if (!m && gdk_display_get_n_monitors(d) > 0) m = gdk_display_get_monitor(d, 0);
        return m;
    }

    // The primary monitor in GDK's (logical) coordinates, which is what windows are placed in.
    GdkRectangle PrimaryGeometry() {
        GdkRectangle g{0, 0, 0, 0};
        if (GdkMonitor* m = PrimaryMonitor()) gdk_monitor_get_geometry(m, &g);
        return g;
    }

    GdkEvent* TakeNative(const Message& m) {
        GdkEvent* ev = NativeOf(m);
        if (!ev) return nullptr;
        // Only an event handed out by PeekMessage and not yet given back is ours to use.
        auto it = outstanding_.find(ev);
        if (it == outstanding_.end()) return nullptr;
        outstanding_.erase(it);
        return ev;
    }

    void DropQueued(WindowHandle w) {
        std::lock_guard<std::mutex> lock(queueMutex_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->m.window == w && it->isMessage) {
                if (GdkEvent* ev = NativeOf(it->m)) gdk_event_free(ev);
                it = queue_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Runs GTK's pending work without waiting (bounded, in case something is always ready).
    void Pump() {
        for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) {
            g_main_context_iteration(nullptr, FALSE);
        }
    }

    // Runs a dialog's own loop. Afterwards the form that was active gets the focus back, as
    // an owner does when its modal box closes.
    gint RunModal(GtkDialog* dlg) {
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

    void Deliver(Control& c, EventKind kind) {
        delivered_ = true;
        if (!c.sink) return;
        Event e;
        e.kind = kind;
        e.message.window = c.handle;
        c.sink->HandleEvent(e);
    }

    // --- building widgets -----------------------------------------------------------------

    void BuildForm(Control& c, const WindowSpec& spec) {
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

    void BuildChild(Control& c, Control& parent, const WindowSpec& spec) {
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
                gtk_widget_add_events(w, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                             GDK_ENTER_NOTIFY_MASK);
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

    static GtkCssProvider* MinimumSizeCss() {
        // Buttons lose the theme's padding too, so a narrow button such as the folder
        // chooser's "..." keeps the width it was given.
        static GtkCssProvider* p = NewCss("* { min-width: 0; min-height: 0; } button { padding: 0 1px; }");
        return p;
    }

    void PlaceForm(Control& c) {
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

    void ApplyColor(Control& c) {
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

    void ApplyCursor(Control& form) {
        if (!form.hideCursor) return;
        GdkWindow* win = gtk_widget_get_window(form.outer);
        if (!win) return;
        GdkCursor* cursor = nullptr;
        if (cursorCount_ < 0) cursor = gdk_cursor_new_for_display(gdk_window_get_display(win), GDK_BLANK_CURSOR);
        gdk_window_set_cursor(win, cursor);
        // Child windows with their own pointer (panels, the host) follow the form.
        for (auto& [h, c] : controls_) {
            if (c->kind == ControlKind::Form || FormOf(c.get()) != &form) continue;
            if (GdkWindow* cw = gtk_widget_get_window(c->outer);
                cw && cw != win && gtk_widget_get_has_window(c->outer)) {
                gdk_window_set_cursor(cw, cursor);
            }
        }
        if (cursor) g_object_unref(cursor);
    }

    // Tab order: the form's tab stops, parents before their children, each level by tabOrder.
    void CollectTabStops(Control& c, std::vector<Control*>& out) {
        std::vector<Control*> kids;
        for (WindowHandle h : c.children) {
            if (Control* k = Find(h)) kids.push_back(k);
        }
        std::stable_sort(kids.begin(), kids.end(), [](Control* a, Control* b) {
            int ka = a->tabOrder < 0 ? 1 << 30 : a->tabOrder;
            int kb = b->tabOrder < 0 ? 1 << 30 : b->tabOrder;
            return ka < kb;
        });
        for (Control* k : kids) {
            if (k->fixed) {
                if (gtk_widget_get_visible(k->outer)) CollectTabStops(*k, out);
            } else if (k->tabOrder >= 0 && gtk_widget_is_visible(k->inner) && gtk_widget_is_sensitive(k->inner) &&
                       gtk_widget_get_can_focus(k->inner)) {
                out.push_back(k);
            }
        }
    }

    bool MoveTabFocus(WindowHandle from, bool backwards) {
        Control* form = FormOf(Find(from));
        if (!form) return false;
        std::vector<Control*> stops;
        CollectTabStops(*form, stops);
        if (stops.empty()) return false;
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(form->outer));
        WindowHandle current = focus ? WidgetHandle(focus) : 0;
        auto it = std::find_if(stops.begin(), stops.end(), [&](Control* s) { return s->handle == current; });
        std::size_t n = stops.size(), next;
        if (it == stops.end()) {
            next = backwards ? n - 1 : 0;
        } else {
            std::size_t i = static_cast<std::size_t>(it - stops.begin());
            next = backwards ? (i + n - 1) % n : (i + 1) % n;
        }
        gtk_widget_grab_focus(stops[next]->inner);
        return true;
    }

    // --- signal handlers ------------------------------------------------------------------

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
        // The framework decides whether the window closes; it destroys it itself.
        g_instance->Deliver(*static_cast<Control*>(data), EventKind::Close);
        return TRUE;
    }

    static void OnActiveChanged(GObject* obj, GParamSpec*, gpointer data) {
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

    static gboolean OnDeactivated(gpointer data) {
        Control& c = *static_cast<Control*>(data);
        c.deactivateSource = 0;
        c.active = false;
        return G_SOURCE_REMOVE;
    }

    static void OnClicked(GtkButton*, gpointer data) {
        g_instance->Deliver(*static_cast<Control*>(data), EventKind::Click);
    }

    static void OnFormRealize(GtkWidget* w, gpointer data) {
        Control& c = *static_cast<Control*>(data);
        GdkWindow* win = gtk_widget_get_window(w);
        if (win && c.border == BorderStyle::Dialog) {
            gdk_window_set_functions(win, GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
            gdk_window_set_decorations(win, GdkWMDecoration(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
        }
        g_instance->ApplyCursor(c);
    }

    static void OnFormAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
        Control& c = *static_cast<Control*>(data);
        if (a->width == c.lastWidth && a->height == c.lastHeight) return;
        bool first = c.lastWidth < 0;
        c.lastWidth = a->width;
        c.lastHeight = a->height;
        if (!first) g_instance->Deliver(c, EventKind::Resize);
    }

    static gboolean OnHostDraw(GtkWidget*, cairo_t* cr, gpointer data) {
        Control& c = *static_cast<Control*>(data);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        if (c.frame) {
            cairo_set_source_surface(cr, c.frame, 0, 0);
            cairo_paint(cr);
        }
        return TRUE;
    }

    static void OnChooserMap(GtkWidget* w, gpointer data) {
        const GdkRectangle& r = *static_cast<GdkRectangle*>(data);
        gtk_window_resize(GTK_WINDOW(w), r.width, r.height);
        if (r.width > 0) gtk_window_move(GTK_WINDOW(w), std::max(r.x, 0), std::max(r.y, 0));
    }

    static void OnFolderSelection(GtkFileChooser* chooser, gpointer data) {
        gchar* path = gtk_file_chooser_get_filename(chooser);
        gtk_label_set_text(GTK_LABEL(data), path && g_file_test(path, G_FILE_TEST_IS_DIR) ? path : "");
        g_free(path);
    }

    static gboolean OnTimer(gpointer data) {
        auto* key = static_cast<std::pair<WindowHandle, std::uintptr_t>*>(data);
        GtkWindowing& self = *g_instance;
        auto it = self.timers_.find(*key);
        if (it == self.timers_.end()) return G_SOURCE_REMOVE;
        if (!it->second.pending) {
            // At most one tick waits per timer, so a slow consumer never gets a burst.
            it->second.pending = true;
            Queued q;
            q.m.msg = msg::Timer;
            q.m.window = key->first;
            q.m.wParam = key->second;
            std::lock_guard<std::mutex> lock(self.queueMutex_);
            self.queue_.push_back(q);
        }
        return G_SOURCE_CONTINUE;
    }

    std::thread::id mainThread_;  // the user-interface thread, which owns the controls
    std::map<WindowHandle, std::unique_ptr<Control>> controls_;
    WindowHandle next_ = 1;
    std::map<std::pair<WindowHandle, std::uintptr_t>, TimerEntry> timers_;
    std::mutex queueMutex_;
    std::deque<Queued> queue_;
    bool timerHeld_ = false;  // a tick was handed out and the queue has not been empty since
    bool pointerKnown_ = false;
    long pointerX_ = 0, pointerY_ = 0;  // where the last mouse-move message put the pointer (screen)
    std::unordered_set<GdkEvent*> outstanding_;
    int modalDepth_ = 0;
    int scale_ = 1;  // real pixels per GTK pixel
    bool scaleKnown_ = false;
    int cursorCount_ = 0;
    bool delivered_ = false;
    bool skipTaskbar_ = false;
};

void HandleGdkEvent(GdkEvent* ev, gpointer) {
    if (g_instance) {
        g_instance->OnEvent(ev);
    } else {
        gtk_main_do_event(ev);
    }
}

}  // namespace

namespace linux_backend {

bool EnsureGtk() {
    static int state = 0;  // 0 untried, 1 ready, -1 no display
    if (state == 0) {
        state = gtk_init_check(nullptr, nullptr) ? 1 : -1;
        if (state == 1) gdk_event_handler_set(&HandleGdkEvent, nullptr, nullptr);
    }
    return state == 1;
}

}  // namespace linux_backend

Windowing& NativeWindowing() {
    static GtkWindowing windowing;
    return windowing;
}

}  // namespace lumarel::platform
