// The Win32 windowing's message queue and timers, and the window procedures through which
// every message of our windows passes (windowing_win32.h).
#include "platform/win32/windowing_win32.h"

namespace lumarel::platform::win32::ui {

namespace {

// The messages whose dispatch the sinks hear about, in the numbers of platform::msg.
// Alt combinations arrive as WM_SYSKEYDOWN; to the program they are key presses too.
bool IsInputMessage(UINT m) {
    return m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_KEYDOWN ||
           m == WM_SYSKEYDOWN;
}

std::uint32_t ProgramNumber(UINT m) { return m == WM_SYSKEYDOWN ? msg::KeyDown : m; }

Message MakeMessage(const MSG& native) {
    Message m;
    m.msg = ProgramNumber(native.message);
    m.window = W(native.hwnd);
    m.wParam = native.wParam;
    m.lParam = native.lParam;
    if (native.message >= WM_MOUSEFIRST && native.message <= WM_MOUSELAST && native.message != WM_MOUSEWHEEL &&
        native.message != WM_MOUSEHWHEEL) {
        m.x = GET_X_LPARAM(native.lParam);
        m.y = GET_Y_LPARAM(native.lParam);
    }
    std::memcpy(m.native, &native, sizeof native);
    return m;
}

}  // namespace

Win32Windowing::Win32Windowing() {
    g_self = this;
    // The manifest declares per-monitor awareness; this covers a build without it.
    // (Fails harmlessly once the awareness is already set.)
    if (dpi_.setContext) {
        if (!dpi_.setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) {
            ::SetProcessDPIAware();
        }
    } else {
        ::SetProcessDPIAware();
    }
    RegisterClasses();
}

Win32Windowing::~Win32Windowing() {
    for (auto& f : fonts_) ::DeleteObject(f.second);
    g_self = nullptr;
}

bool Win32Windowing::PeekMessage(Message& out) {
    MSG native{};
    if (!::PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) return false;
    out = MakeMessage(native);
    return true;
}

void Win32Windowing::WaitMessage() { ::WaitMessage(); }

void Win32Windowing::DispatchMessage(const Message& m) {
    MSG native;
    std::memcpy(&native, m.native, sizeof native);
    ::TranslateMessage(&native);
    ::DispatchMessageW(&native);
}

void Win32Windowing::DiscardMessage(const Message& /*m*/) {}

void Win32Windowing::PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    ::PostMessageW(H(w), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

void Win32Windowing::StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) {
    if (!Data(H(w))) return;
    ::SetTimer(H(w), static_cast<UINT_PTR>(id), static_cast<UINT>(std::max(intervalMs, 1)), nullptr);
}

void Win32Windowing::StopTimer(WindowHandle w, std::uintptr_t id) {
    if (Data(H(w))) ::KillTimer(H(w), static_cast<UINT_PTR>(id));
}

HWND Win32Windowing::AppWindow() {
    if (appWindow_) return appWindow_;
    std::wstring title;
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::wstring p(path, n);
        std::size_t slash = p.find_last_of(L"\\/");
        title = slash == std::wstring::npos ? p : p.substr(slash + 1);
        std::size_t dot = title.find(L'.');
        if (dot != std::wstring::npos) title.resize(dot);
        // The application title: every character after the first in lower case.
        for (std::size_t i = 1; i < title.size(); ++i) {
            if (title[i] >= L'A' && title[i] <= L'Z') title[i] = static_cast<wchar_t>(title[i] - L'A' + L'a');
        }
    }
    // Zero-sized and centred, as the holder of the taskbar button; never drawn.
    const int cx = ::GetSystemMetrics(SM_CXSCREEN) / 2, cy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    appWindow_ = ::CreateWindowExW(0, kAppClass, title.c_str(),
                                   WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, cx, cy, 0, 0,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    return appWindow_;
}

void Win32Windowing::RegisterClasses() {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = inst;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));

    wc.lpfnWndProc = &AppProc;
    wc.lpszClassName = kAppClass;
    wc.hIcon = ::LoadIconW(inst, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    ::RegisterClassExW(&wc);

    wc.lpfnWndProc = &OwnProc;
    wc.lpszClassName = kFormClass;
    wc.style = CS_DBLCLKS;
    ::RegisterClassExW(&wc);

    wc.hIcon = nullptr;
    wc.lpszClassName = kPanelClass;
    ::RegisterClassExW(&wc);

    wc.lpszClassName = kHostClass;
    wc.style = CS_DBLCLKS;
    ::RegisterClassExW(&wc);
}

LRESULT CALLBACK Win32Windowing::AppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Closing the taskbar entry closes the active form the usual way.
    if (message == WM_CLOSE && g_self) {
        HWND active = ::GetActiveWindow();
        if (active && active != hwnd) ::PostMessageW(active, WM_CLOSE, 0, 0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Windowing::OwnProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (g_self) return g_self->HandleOwn(hwnd, message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's dispatch. A close request stays the
        // program's decision even then.
        if (message == WM_CLOSE) return 0;
        if (message == WM_NCDESTROY && g_self) {
            const LRESULT r = ::DefWindowProcW(hwnd, message, wParam, lParam);
            g_self->Forget(hwnd);
            return r;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Windowing::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC base = nullptr;
    try {
        if (g_self) return g_self->HandleControl(hwnd, message, wParam, lParam, base);
    } catch (...) {
    }
    if (base && ::IsWindow(hwnd)) return ::CallWindowProcW(base, hwnd, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

bool Win32Windowing::Deliver(HWND hwnd, EventSink* sink, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!sink) return true;
    if (modalDepth_ > 0 && IsInputMessage(message)) return true;
    MSG native{};
    native.hwnd = hwnd;
    native.message = message;
    native.wParam = wParam;
    native.lParam = lParam;
    native.time = static_cast<DWORD>(::GetMessageTime());
    const DWORD pos = ::GetMessagePos();
    native.pt.x = GET_X_LPARAM(pos);
    native.pt.y = GET_Y_LPARAM(pos);
    Event e;
    e.kind = EventKind::Message;
    e.message = MakeMessage(native);
    sink->HandleEvent(e);
    return ::IsWindow(hwnd) && Data(hwnd) != nullptr;
}

bool Win32Windowing::SendKind(HWND hwnd, EventSink* sink, EventKind kind) {
    if (!sink) return true;
    Event e;
    e.kind = kind;
    e.message.window = W(hwnd);
    sink->HandleEvent(e);
    return ::IsWindow(hwnd) && Data(hwnd) != nullptr;
}

LRESULT Win32Windowing::HandleOwn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowData* d = Data(hwnd);
    if (!d && pending_) {
        // The first message of a window being created: bind its data now, so the
        // messages of creation already find it.
        d = pending_.get();
        windows_[hwnd] = std::move(pending_);
    }
    if (!d) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    EventSink* sink = d->sink;
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_TIMER:
            if (!Deliver(hwnd, sink, message, wParam, lParam)) return 0;
            if (message == WM_TIMER) return 0;
            if (message == WM_KEYDOWN && wParam == VK_TAB && MoveFocus(hwnd)) return 0;
            break;
        case WM_SETCURSOR:
            if (HideCursorHere(d)) return TRUE;
            break;
        case WM_ERASEBKGND: {
            RECT rc{};
            ::GetClientRect(hwnd, &rc);
            HBRUSH brush = d->brush;
            if (!brush) {
                brush = d->kind == ControlKind::Host ? static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH))
                                                     : ::GetSysColorBrush(COLOR_BTNFACE);
            }
            if (d->kind != ControlKind::Host) ::FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
            return 1;
        }
        case WM_PAINT:
            if (d->kind == ControlKind::Host) {
                PaintHost(hwnd, *d);
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            return ChildColor(hwnd, d, message, wParam, lParam);
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                HWND child = reinterpret_cast<HWND>(lParam);
                if (WindowData* c = Data(child)) SendKind(child, c->sink, EventKind::Click);
                return 0;
            }
            break;
        case WM_ACTIVATE:
            if (d->kind == ControlKind::Form) {
                if (LOWORD(wParam) == WA_INACTIVE) {
                    HWND focus = ::GetFocus();
                    if (focus && ::IsChild(hwnd, focus)) d->savedFocus = focus;
                    return 0;
                }
                HWND restore = d->savedFocus;
                if (restore && ::IsWindow(restore) && ::IsChild(hwnd, restore) && !HIWORD(wParam)) {
                    ::SetFocus(restore);
                } else {
                    ::DefWindowProcW(hwnd, message, wParam, lParam);
                }
                SendKind(hwnd, sink, EventKind::Activate);
                return 0;
            }
            break;
        case WM_CLOSE:
            // The program decides whether and how the window goes away.
            SendKind(hwnd, sink, EventKind::Close);
            return 0;
        case WM_NCDESTROY: {
            LRESULT r = ::DefWindowProcW(hwnd, message, wParam, lParam);
            Forget(hwnd);
            return r;
        }
        default:
            if (message >= WM_USER && message < 0xC000) {
                Deliver(hwnd, sink, message, wParam, lParam);
                return 0;
            }
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Windowing::HandleControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC& base) {
    WindowData* d = Data(hwnd);
    if (!d) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    base = d->baseProc;
    EventSink* sink = d->sink;
    const bool speed = d->kind == ControlKind::SpeedButton;
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (!Deliver(hwnd, sink, message, wParam, lParam)) return 0;
            if (message == WM_KEYDOWN && wParam == VK_TAB) {
                MoveFocus(hwnd);
                return 0;
            }
            // No button here is a default or cancel button: Enter and Escape press none.
            if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE) &&
                d->kind == ControlKind::Button) {
                return 0;
            }
            if (speed && message == WM_LBUTTONDOWN) return SpeedDown(hwnd, *d);
            if (speed && message == WM_MOUSEMOVE && d->tracking) return SpeedTrack(hwnd, lParam);
            break;
        case WM_LBUTTONDBLCLK:
            if (speed) return SpeedDown(hwnd, *d);
            break;
        case WM_LBUTTONUP:
            if (speed && d->tracking) return SpeedUp(hwnd, *d, lParam);
            break;
        case WM_CAPTURECHANGED:
            if (speed && d->tracking) {
                d->tracking = false;
                ::SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            }
            break;
        case WM_SETFOCUS:
            // A speed button never keeps the focus: hand it back at once.
            if (speed) {
                HWND previous = reinterpret_cast<HWND>(wParam);
                if (previous && ::IsWindow(previous) && previous != hwnd) ::SetFocus(previous);
                return 0;
            }
            break;
        case WM_CHAR:
            // Tab, Enter and Escape were handled as keys above; the controls would only beep.
            if (wParam == L'\t' || ((wParam == L'\r' || wParam == 0x1B) && d->kind == ControlKind::Button)) {
                return 0;
            }
            break;
        case WM_ERASEBKGND:
            // The etched frame draws only its edges; the inside shows the parent's colour.
            if (d->kind == ControlKind::Bevel) {
                RECT rc{};
                ::GetClientRect(hwnd, &rc);
                WindowData* p = Data(::GetParent(hwnd));
                HBRUSH brush = p && p->brush ? p->brush : ::GetSysColorBrush(COLOR_BTNFACE);
                ::FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
                return 1;
            }
            break;
        case WM_SETCURSOR:
            if (HideCursorHere(d)) return TRUE;
            break;
        case WM_NCDESTROY: {
            LRESULT r = ::CallWindowProcW(base, hwnd, message, wParam, lParam);
            Forget(hwnd);
            base = nullptr;
            return r;
        }
        default:
            break;
    }
    return ::CallWindowProcW(base, hwnd, message, wParam, lParam);
}

void Win32Windowing::Forget(HWND hwnd) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    if (it->second && it->second->brush) ::DeleteObject(it->second->brush);
    windows_.erase(it);
}

}  // namespace lumarel::platform::win32::ui

namespace lumarel::platform {

Windowing& NativeWindowing() {
    static win32::ui::Win32Windowing windowing;
    return windowing;
}

}  // namespace lumarel::platform
