// The Linux windowing's message queue and timers: every GDK event passes through here, and
// GTK is started here (windowing_linux.h).
#include "platform/linux/windowing_linux.h"

namespace lumarel::platform::linux_backend::gtk {

namespace {

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

}  // namespace

GtkWindowing::GtkWindowing() : mainThread_(std::this_thread::get_id()) { g_instance = this; }

bool GtkWindowing::Ready() {
    if (!linux_backend::EnsureGtk()) return false;
    if (!scaleKnown_) {
        scaleKnown_ = true;
        if (GdkMonitor* m = PrimaryMonitor()) scale_ = std::max(gdk_monitor_get_scale_factor(m), 1);
    }
    return true;
}

bool GtkWindowing::PeekMessage(Message& out) {
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

void GtkWindowing::WaitMessage() {
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

void GtkWindowing::DispatchMessage(const Message& m) {
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

void GtkWindowing::DiscardMessage(const Message& m) {
    if (GdkEvent* ev = TakeNative(m)) gdk_event_free(ev);
}

void GtkWindowing::PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
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

void GtkWindowing::StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) {
    StopTimer(w, id);
    TimerEntry& t = timers_[{w, id}];
    t.window = w;
    t.id = id;
    auto* key = new std::pair<WindowHandle, std::uintptr_t>(w, id);
    t.source =
        g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(std::max(intervalMs, 1)), &GtkWindowing::OnTimer, key,
                           [](gpointer p) { delete static_cast<std::pair<WindowHandle, std::uintptr_t>*>(p); });
}

void GtkWindowing::StopTimer(WindowHandle w, std::uintptr_t id) {
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

void GtkWindowing::OnEvent(GdkEvent* ev) {
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

GdkEvent* GtkWindowing::TakeNative(const Message& m) {
    GdkEvent* ev = NativeOf(m);
    if (!ev) return nullptr;
    // Only an event handed out by PeekMessage and not yet given back is ours to use.
    auto it = outstanding_.find(ev);
    if (it == outstanding_.end()) return nullptr;
    outstanding_.erase(it);
    return ev;
}

void GtkWindowing::DropQueued(WindowHandle w) {
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

void GtkWindowing::Pump() {
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) {
        g_main_context_iteration(nullptr, FALSE);
    }
}

void GtkWindowing::Deliver(Control& c, EventKind kind) {
    delivered_ = true;
    if (!c.sink) return;
    Event e;
    e.kind = kind;
    e.message.window = c.handle;
    c.sink->HandleEvent(e);
}

gboolean GtkWindowing::OnTimer(gpointer data) {
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

namespace {

void HandleGdkEvent(GdkEvent* ev, gpointer) {
    if (g_instance) {
        g_instance->OnEvent(ev);
    } else {
        gtk_main_do_event(ev);
    }
}

}  // namespace

}  // namespace lumarel::platform::linux_backend::gtk

namespace lumarel::platform {

namespace linux_backend {

bool EnsureGtk() {
    static int state = 0;  // 0 untried, 1 ready, -1 no display
    if (state == 0) {
        state = gtk_init_check(nullptr, nullptr) ? 1 : -1;
        if (state == 1) gdk_event_handler_set(&gtk::HandleGdkEvent, nullptr, nullptr);
    }
    return state == 1;
}

}  // namespace linux_backend

Windowing& NativeWindowing() {
    static linux_backend::gtk::GtkWindowing windowing;
    return windowing;
}

}  // namespace lumarel::platform
