// A Windowing that records what the program asks of it and lets a test inject input.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::fake {

using namespace lumarel::platform;

struct FakeWindow {
    WindowSpec spec;
    Rect bounds;
    bool visible = false;
    bool destroyed = false;
    std::string text;
    bool checked = false;
    std::uint32_t color = 0;
    int presents = 0;
    int presentWidth = 0, presentHeight = 0;
    std::vector<std::uint32_t> lastFrame;
};

struct ShownBox {
    WindowHandle owner;
    std::string text, caption;
    MessageBoxKind kind;
};

class FakeWindowing : public Windowing {
public:
    // --- test side
    std::map<WindowHandle, FakeWindow> windows;
    std::deque<Message> queue;
    std::vector<ShownBox> boxes;
    std::vector<Message> dispatched, discarded;
    std::map<std::pair<WindowHandle, std::uintptr_t>, int> timers;  // interval by (window, id)
    Size screen{1024, 768};
    int cursorCount = 0;
    int waits = 0;
    bool taskbarHidden = false;
    int screenSaverRunning = -1;
    WindowHandle focused = 0;
    std::string browseResult;
    std::vector<std::string> browseInitialPaths;
    // Called from WaitMessage; a test uses it to feed input or end the loop.
    std::function<void()> onWait;
    // Called from MessageBox (while the box would be up).
    std::function<void(const ShownBox&)> onMessageBox;

    void Post(std::uint32_t msg, WindowHandle w, int x = 0, int y = 0, std::uintptr_t wParam = 0);
    WindowHandle Find(const std::string& text) const;  // by window text
    FakeWindow& Window(WindowHandle w) { return windows.at(w); }
    void Deliver(WindowHandle w, EventKind kind);  // a "sent" event (Activate, Close, Click)

    // --- Windowing
    WindowHandle CreateControl(const WindowSpec& spec) override;
    void DestroyControl(WindowHandle w) override;
    void SetBounds(WindowHandle w, const Rect& r) override;
    Rect ClientRect(WindowHandle w) override;
    void SetVisible(WindowHandle w, bool visible) override;
    void SetText(WindowHandle w, const std::string& text) override;
    std::string GetText(WindowHandle w) override;
    void SetChecked(WindowHandle w, bool checked) override;
    bool GetChecked(WindowHandle w) override;
    void SetColor(WindowHandle w, std::uint32_t rgb) override;
    void SetFocus(WindowHandle w) override;
    void CenterOnScreen(WindowHandle w) override;
    void PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) override;
    void HideTaskbarWindow() override { taskbarHidden = true; }
    bool PeekMessage(Message& out) override;
    void WaitMessage() override;
    void DispatchMessage(const Message& m) override;
    void DiscardMessage(const Message& m) override { discarded.push_back(m); }
    void PostMessage(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) override;
    void StopTimer(WindowHandle w, std::uintptr_t id) override;
    void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                    MessageBoxKind kind) override;
    int ShowCursor(bool show) override { return cursorCount += show ? 1 : -1; }
    Size PrimaryScreenSize() override { return screen; }
    void SetScreenSaverRunning(bool running) override { screenSaverRunning = running ? 1 : 0; }
    std::string BrowseForFolder(WindowHandle owner, const std::string& title, const std::string& initialPath) override;

private:
    WindowHandle next_ = 100;
};

}  // namespace lumarel::fake
