// The Linux windowing's keys and pointer: input events described as Windows messages, the
// hidden pointer, tab order (windowing_linux.h).
#include "platform/linux/windowing_linux.h"

namespace lumarel::platform::linux_backend::gtk {

namespace {

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

}  // namespace

int GtkWindowing::ShowCursor(bool show) {
    int before = cursorCount_;
    cursorCount_ += show ? 1 : -1;
    if ((before < 0) != (cursorCount_ < 0)) {
        for (auto& [h, c] : controls_) {
            if (c->kind == ControlKind::Form) ApplyCursor(*c);
        }
    }
    return cursorCount_;
}

void GtkWindowing::QueueCrossingMove(GdkEvent* ev) {
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

bool GtkWindowing::NewPointerPosition(GdkEvent* ev) {
    double rx = 0, ry = 0;
    gdk_event_get_root_coords(ev, &rx, &ry);
    const auto x = static_cast<long>(std::floor(rx)), y = static_cast<long>(std::floor(ry));
    if (pointerKnown_ && x == pointerX_ && y == pointerY_) return false;
    pointerKnown_ = true;
    pointerX_ = x;
    pointerY_ = y;
    return true;
}

bool GtkWindowing::Describe(GdkEvent* ev, WindowHandle target, Message& m) {
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

WindowHandle GtkWindowing::KeyTarget(GdkEvent* ev) {
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

void GtkWindowing::ApplyCursor(Control& form) {
    if (!form.hideCursor) return;
    GdkWindow* win = gtk_widget_get_window(form.outer);
    if (!win) return;
    GdkCursor* cursor = nullptr;
    if (cursorCount_ < 0) cursor = gdk_cursor_new_for_display(gdk_window_get_display(win), GDK_BLANK_CURSOR);
    gdk_window_set_cursor(win, cursor);
    // Child windows with their own pointer (panels, the host) follow the form.
    for (auto& [h, c] : controls_) {
        if (c->kind == ControlKind::Form || FormOf(c.get()) != &form) continue;
        if (GdkWindow* cw = gtk_widget_get_window(c->outer); cw && cw != win && gtk_widget_get_has_window(c->outer)) {
            gdk_window_set_cursor(cw, cursor);
        }
    }
    if (cursor) g_object_unref(cursor);
}

void GtkWindowing::CollectTabStops(Control& c, std::vector<Control*>& out) {
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

bool GtkWindowing::MoveTabFocus(WindowHandle from, bool backwards) {
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

}  // namespace lumarel::platform::linux_backend::gtk
