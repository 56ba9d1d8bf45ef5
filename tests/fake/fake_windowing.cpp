#include "tests/fake/fake_windowing.h"

namespace lumarel::fake {

void FakeWindowing::Post(std::uint32_t msg, WindowHandle w, int x, int y, std::uintptr_t wParam) {
    Message m;
    m.msg = msg;
    m.window = w;
    m.x = x;
    m.y = y;
    m.wParam = wParam;
    queue.push_back(m);
}

WindowHandle FakeWindowing::Find(const std::string& text) const {
    for (const auto& [h, w] : windows) {
        if (!w.destroyed && w.text == text) return h;
    }
    return 0;
}

void FakeWindowing::Deliver(WindowHandle w, EventKind kind) {
    auto it = windows.find(w);
    if (it == windows.end() || it->second.destroyed || !it->second.spec.sink) return;
    Event e;
    e.kind = kind;
    e.message.window = w;
    it->second.spec.sink->HandleEvent(e);
}

WindowHandle FakeWindowing::CreateControl(const WindowSpec& spec) {
    WindowHandle h = next_++;
    FakeWindow& w = windows[h];
    w.spec = spec;
    w.bounds = spec.bounds;
    w.visible = spec.visible;
    w.text = spec.text;
    w.color = spec.color;
    return h;
}

void FakeWindowing::DestroyControl(WindowHandle w) { windows.at(w).destroyed = true; }

void FakeWindowing::SetBounds(WindowHandle w, const Rect& r) { windows.at(w).bounds = r; }

Rect FakeWindowing::ClientRect(WindowHandle w) {
    Rect r = windows.at(w).bounds;
    return Rect{0, 0, r.width, r.height};
}

void FakeWindowing::SetVisible(WindowHandle w, bool visible) {
    FakeWindow& win = windows.at(w);
    bool wasVisible = win.visible;
    win.visible = visible;
    // Showing a form activates it at once, as the window system does.
    if (visible && !wasVisible && win.spec.kind == ControlKind::Form) Deliver(w, EventKind::Activate);
}

void FakeWindowing::SetText(WindowHandle w, const std::string& text) { windows.at(w).text = text; }

std::string FakeWindowing::GetText(WindowHandle w) { return windows.at(w).text; }

void FakeWindowing::SetChecked(WindowHandle w, bool checked) { windows.at(w).checked = checked; }

bool FakeWindowing::GetChecked(WindowHandle w) { return windows.at(w).checked; }

void FakeWindowing::SetColor(WindowHandle w, std::uint32_t rgb) { windows.at(w).color = rgb; }

void FakeWindowing::SetFocus(WindowHandle w) { focused = w; }

void FakeWindowing::CenterOnScreen(WindowHandle w) {
    Rect& r = windows.at(w).bounds;
    r.left = (screen.width - r.width) / 2;
    r.top = (screen.height - r.height) / 2;
}

void FakeWindowing::PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) {
    FakeWindow& win = windows.at(w);
    ++win.presents;
    win.presentWidth = width;
    win.presentHeight = height;
    win.lastFrame.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            win.lastFrame[static_cast<std::size_t>(y * width + x)] = pixels[y * stride + x];
        }
    }
}

bool FakeWindowing::PeekMessage(Message& out) {
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
}

void FakeWindowing::WaitMessage() {
    ++waits;
    if (onWait) onWait();
}

void FakeWindowing::DispatchMessage(const Message& m) {
    dispatched.push_back(m);
    auto it = windows.find(m.window);
    if (it == windows.end() || it->second.destroyed || !it->second.spec.sink) return;
    Event e;
    e.kind = EventKind::Message;
    e.message = m;
    it->second.spec.sink->HandleEvent(e);
}

void FakeWindowing::PostMessage(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    Message m;
    m.msg = msg;
    m.window = w;
    m.wParam = wParam;
    m.lParam = lParam;
    queue.push_back(m);
}

void FakeWindowing::StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) { timers[{w, id}] = intervalMs; }

void FakeWindowing::StopTimer(WindowHandle w, std::uintptr_t id) { timers.erase({w, id}); }

void FakeWindowing::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                               MessageBoxKind kind) {
    boxes.push_back(ShownBox{owner, text, caption, kind});
    if (onMessageBox) onMessageBox(boxes.back());
}

std::string FakeWindowing::BrowseForFolder(WindowHandle, const std::string&, const std::string& initialPath) {
    browseInitialPaths.push_back(initialPath);
    return browseResult;
}

}  // namespace lumarel::fake
