// The Win32 windowing's controls: their windows, placement, fonts, colours, the host's
// frame, the screen (windowing_win32.h).
#include "platform/win32/windowing_win32.h"

namespace lumarel::platform::win32::ui {

namespace {

COLORREF ToColorRef(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

WindowHandle Win32Windowing::CreateControl(const WindowSpec& spec) {
    auto data = std::make_unique<WindowData>();
    data->kind = spec.kind;
    data->sink = spec.sink;
    data->hideCursor = spec.hideCursor;
    data->tabOrder = spec.tabOrder;
    data->sequence = nextId_;
    SetBrush(*data, spec.color);

    const std::wstring text = win32::Utf8ToWide(spec.text);
    HWND parent = H(spec.parent);
    const Rect& b = spec.bounds;

    if (spec.kind == ControlKind::Form) {
        DWORD style = 0, ex = 0;
        FormStyles(spec, style, ex);
        RECT wr = WindowRectFromClient(style, ex, b, nullptr);
        HWND owner = AppWindow();
        pending_ = std::move(data);
        HWND hwnd = ::CreateWindowExW(ex, kFormClass, text.c_str(), style, wr.left, wr.top, wr.right - wr.left,
                                      wr.bottom - wr.top, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        pending_.reset();
        if (!hwnd || !Data(hwnd)) return 0;
        if (spec.border != BorderStyle::None) PlaceClient(hwnd, b);
        if (spec.visible) SetVisible(W(hwnd), true);
        return W(hwnd);
    }

    if (!parent || !::IsWindow(parent)) return 0;
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    if (spec.visible) style |= WS_VISIBLE;
    if (spec.tabOrder >= 0 && spec.kind != ControlKind::SpeedButton) style |= WS_TABSTOP;
    switch (spec.kind) {
        case ControlKind::Panel:
            cls = kPanelClass;
            style |= WS_CLIPCHILDREN;
            break;
        case ControlKind::Host:
            cls = kHostClass;
            break;
        case ControlKind::Label:
            cls = L"STATIC";
            style |= SS_LEFT;
            break;
        case ControlKind::Bevel:
            cls = L"STATIC";
            style |= SS_ETCHEDFRAME;
            break;
        case ControlKind::Edit:
            cls = L"EDIT";
            style |= ES_AUTOHSCROLL | ES_LEFT;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::CheckBox:
            cls = L"BUTTON";
            style |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::Button:
            cls = L"BUTTON";
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::SpeedButton:
            cls = L"BUTTON";
            style |= BS_PUSHBUTTON | BS_FLAT;
            style &= ~static_cast<DWORD>(WS_TABSTOP);
            break;
        case ControlKind::Form:
            break;
    }
    const bool ownClass = spec.kind == ControlKind::Panel || spec.kind == ControlKind::Host;
    WindowData* raw = data.get();
    if (ownClass) pending_ = std::move(data);
    HWND hwnd = ::CreateWindowExW(ex, cls, text.c_str(), style, b.left, b.top, b.width, b.height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)), ::GetModuleHandleW(nullptr),
                                  nullptr);
    pending_.reset();
    if (!hwnd || (ownClass && !Data(hwnd))) return 0;
    if (!ownClass) {
        windows_[hwnd] = std::move(data);
        raw->baseProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
    }
    if (HFONT font = Font(spec.font)) {
        ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (spec.kind == ControlKind::Label) FitLabel(hwnd);
    StackDrawnControls(parent);
    return W(hwnd);
}

void Win32Windowing::DestroyControl(WindowHandle w) {
    HWND hwnd = H(w);
    if (hwnd && Data(hwnd)) ::DestroyWindow(hwnd);
}

void Win32Windowing::SetBounds(WindowHandle w, const Rect& r) {
    HWND hwnd = H(w);
    WindowData* d = Data(hwnd);
    if (!d) return;
    if (d->kind == ControlKind::Form) {
        PlaceClient(hwnd, r);
    } else {
        ::MoveWindow(hwnd, r.left, r.top, r.width, r.height, TRUE);
    }
}

Rect Win32Windowing::ClientRect(WindowHandle w) {
    RECT rc{};
    if (!Data(H(w)) || !::GetClientRect(H(w), &rc)) return {};
    return Rect{0, 0, rc.right - rc.left, rc.bottom - rc.top};
}

void Win32Windowing::SetVisible(WindowHandle w, bool visible) {
    HWND hwnd = H(w);
    WindowData* d = Data(hwnd);
    if (!d) return;
    if (!visible) {
        ::ShowWindow(hwnd, SW_HIDE);
        return;
    }
    if (d->kind != ControlKind::Form) {
        ::ShowWindow(hwnd, SW_SHOWNA);
        return;
    }
    // The application window carries the taskbar entry while a form is up.
    if (!taskbarHidden_ && appWindow_ && !::IsWindowVisible(appWindow_)) {
        ::ShowWindow(appWindow_, SW_SHOWNOACTIVATE);
    }
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetForegroundWindow(hwnd);
    if (::GetActiveWindow() != hwnd) ::SetActiveWindow(hwnd);
    ::UpdateWindow(hwnd);
}

void Win32Windowing::SetText(WindowHandle w, const std::string& text) {
    WindowData* d = Data(H(w));
    if (!d) return;
    ::SetWindowTextW(H(w), win32::Utf8ToWide(text).c_str());
    if (d->kind == ControlKind::Label) FitLabel(H(w));
}

std::string Win32Windowing::GetText(WindowHandle w) {
    HWND hwnd = H(w);
    if (!Data(hwnd)) return {};
    const int len = ::GetWindowTextLengthW(hwnd);
    if (len <= 0) return {};
    std::wstring buffer(static_cast<std::size_t>(len) + 1, L'\0');
    const int n = ::GetWindowTextW(hwnd, buffer.data(), len + 1);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return win32::WideToUtf8(buffer);
}

void Win32Windowing::SetChecked(WindowHandle w, bool checked) {
    if (!Data(H(w))) return;
    ::SendMessageW(H(w), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Windowing::GetChecked(WindowHandle w) {
    if (!Data(H(w))) return false;
    return ::SendMessageW(H(w), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Windowing::SetColor(WindowHandle w, std::uint32_t rgb) {
    WindowData* d = Data(H(w));
    if (!d) return;
    SetBrush(*d, rgb);
    ::InvalidateRect(H(w), nullptr, TRUE);
}

void Win32Windowing::SetFocus(WindowHandle w) {
    WindowData* d = Data(H(w));
    if (!d || d->kind == ControlKind::SpeedButton) return;
    ::SetFocus(H(w));
}

void Win32Windowing::CenterOnScreen(WindowHandle w) {
    HWND hwnd = H(w);
    RECT wr{};
    if (!Data(hwnd) || !::GetWindowRect(hwnd, &wr)) return;
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    ::SetWindowPos(hwnd, nullptr, (sw - width) / 2, (sh - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Windowing::PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) {
    HWND hwnd = H(w);
    WindowData* d = Data(hwnd);
    if (!d) return;
    if (!pixels || width <= 0 || height <= 0 || stride < width) {
        d->frame.clear();
        d->frameWidth = d->frameHeight = 0;
    } else {
        d->frame.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            std::memcpy(d->frame.data() + static_cast<std::size_t>(y) * width,
                        pixels + static_cast<std::size_t>(y) * stride,
                        static_cast<std::size_t>(width) * sizeof(std::uint32_t));
        }
        d->frameWidth = width;
        d->frameHeight = height;
    }
    ::InvalidateRect(hwnd, nullptr, FALSE);
    ::UpdateWindow(hwnd);
}

void Win32Windowing::PresentPixelRegions(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride,
                                         std::span<const Rect> regions) {
    HWND hwnd = H(w);
    WindowData* d = Data(hwnd);
    if (!d) return;
    if (!pixels || stride < width || d->frameWidth != width || d->frameHeight != height)
        return PresentPixels(w, pixels, width, height, stride);
    for (const Rect& r : regions) {
        const Rect in = r.Within(width, height);
        const int x0 = in.left, y0 = in.top, x1 = in.left + in.width, y1 = in.top + in.height;
        if (x0 >= x1 || y0 >= y1) continue;
        for (int y = y0; y < y1; ++y)
            std::memcpy(d->frame.data() + static_cast<std::size_t>(y) * width + x0,
                        pixels + static_cast<std::size_t>(y) * stride + x0,
                        static_cast<std::size_t>(x1 - x0) * sizeof(std::uint32_t));
        const RECT dirty{x0, y0, x1, y1};
        ::InvalidateRect(hwnd, &dirty, FALSE);
    }
    ::UpdateWindow(hwnd);
}

void Win32Windowing::HideTaskbarWindow() {
    taskbarHidden_ = true;
    if (appWindow_) ::ShowWindow(appWindow_, SW_HIDE);
}

Size Win32Windowing::PrimaryScreenSize() {
    return Size{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void Win32Windowing::SetScreenSaverRunning(bool running) {
    BOOL previous = FALSE;
    ::SystemParametersInfoW(SPI_SCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
}

WindowData* Win32Windowing::Data(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.get();
}

void Win32Windowing::SetBrush(WindowData& d, std::uint32_t rgb) {
    if (d.brush) ::DeleteObject(d.brush);
    d.brush = nullptr;
    d.color = rgb;
    if (rgb != kDefaultColor) d.brush = ::CreateSolidBrush(ToColorRef(rgb & 0xFFFFFFu));
}

HFONT Win32Windowing::Font(const FontSpec& f) {
    if (f.name.empty() && f.height <= 0) return nullptr;
    auto key = std::make_pair(f.name, f.height * 2 + (f.shiftJis ? 1 : 0));
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    // A face the system lacks is substituted by the nearest font of the character set.
    HFONT font = ::CreateFontW(-std::max(f.height, 1), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               f.shiftJis ? SHIFTJIS_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, win32::Utf8ToWide(f.name).c_str());
    if (font) fonts_[key] = font;
    return font;
}

void Win32Windowing::StackDrawnControls(HWND parent) {
    std::vector<std::pair<int, HWND>> drawn;
    for (auto& [hwnd, data] : windows_) {
        if (!data || (data->kind != ControlKind::Label && data->kind != ControlKind::Bevel)) continue;
        if (::GetParent(hwnd) == parent) drawn.emplace_back(data->sequence, hwnd);
    }
    std::sort(drawn.begin(), drawn.end());
    for (auto it = drawn.rbegin(); it != drawn.rend(); ++it) {
        ::SetWindowPos(it->second, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
}

void Win32Windowing::FitLabel(HWND hwnd) {
    const int len = ::GetWindowTextLengthW(hwnd);
    if (len <= 0) return;
    std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
    const int n = ::GetWindowTextW(hwnd, text.data(), len + 1);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    HDC dc = ::GetDC(hwnd);
    if (!dc) return;
    HGDIOBJ old = nullptr;
    if (HFONT font = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0))) {
        old = ::SelectObject(dc, font);
    }
    RECT need{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_LEFT);
    if (old) ::SelectObject(dc, old);
    ::ReleaseDC(hwnd, dc);
    RECT have{};
    ::GetClientRect(hwnd, &have);
    const int width = std::max<int>(have.right, need.right);
    const int height = std::max<int>(have.bottom, need.bottom);
    if (width != have.right || height != have.bottom) {
        ::SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32Windowing::FormStyles(const WindowSpec& spec, DWORD& style, DWORD& ex) {
    style = WS_CLIPCHILDREN;
    ex = 0;
    switch (spec.border) {
        case BorderStyle::None:
            style |= WS_POPUP;
            break;
        case BorderStyle::Dialog:
            style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
            ex |= WS_EX_DLGMODALFRAME;
            break;
        case BorderStyle::Sizeable:
            style |= WS_OVERLAPPEDWINDOW;
            break;
    }
    if (spec.topmost) ex |= WS_EX_TOPMOST;
}

RECT Win32Windowing::WindowRectFromClient(DWORD style, DWORD ex, const Rect& client, HWND hwnd) {
    RECT r{client.left, client.top, client.left + client.width, client.top + client.height};
    if ((style & WS_CAPTION) == 0 && (style & WS_THICKFRAME) == 0 && (ex & WS_EX_DLGMODALFRAME) == 0) {
        return r;
    }
    UINT dpi = 0;
    if (hwnd && dpi_.dpiForWindow) dpi = dpi_.dpiForWindow(hwnd);
    if (dpi == 0) {
        HDC screen = ::GetDC(nullptr);
        dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
        ::ReleaseDC(nullptr, screen);
    }
    if (!(dpi_.adjustForDpi && dpi_.adjustForDpi(&r, style, FALSE, ex, dpi))) {
        ::AdjustWindowRectEx(&r, style, FALSE, ex);
    }
    return r;
}

void Win32Windowing::PlaceClient(HWND hwnd, const Rect& client) {
    RECT wr{}, cr{};
    ::GetWindowRect(hwnd, &wr);
    ::GetClientRect(hwnd, &cr);
    POINT origin{0, 0};
    ::ClientToScreen(hwnd, &origin);
    const int leftInset = origin.x - wr.left, topInset = origin.y - wr.top;
    const int extraW = (wr.right - wr.left) - (cr.right - cr.left);
    const int extraH = (wr.bottom - wr.top) - (cr.bottom - cr.top);
    ::SetWindowPos(hwnd, nullptr, client.left - leftInset, client.top - topInset, client.width + extraW,
                   client.height + extraH, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Win32Windowing::ChildColor(HWND hwnd, WindowData* d, UINT message, WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    WindowData* child = Data(reinterpret_cast<HWND>(lParam));
    const WindowData* source = nullptr;
    if (child && child->brush) {
        source = child;
    } else if (d->brush && message != WM_CTLCOLOREDIT) {
        source = d;
    }
    if (!source) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    ::SetBkColor(dc, ToColorRef(source->color & 0xFFFFFFu));
    return reinterpret_cast<LRESULT>(source->brush);
}

void Win32Windowing::PaintHost(HWND hwnd, WindowData& d) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    HBRUSH black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    const int fw = d.frameWidth, fh = d.frameHeight;
    if (fw > 0 && fh > 0 && d.frame.size() >= static_cast<std::size_t>(fw) * fh) {
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = fw;
        bmi.bmiHeader.biHeight = -fh;  // top-down
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        // Premultiplied pixels over black are their colour channels as they stand.
        ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(fw), static_cast<DWORD>(fh), 0, 0, 0, static_cast<UINT>(fh),
                            d.frame.data(), &bmi, DIB_RGB_COLORS);
        RECT right{fw, 0, rc.right, rc.bottom};
        RECT below{0, fh, std::min<LONG>(fw, rc.right), rc.bottom};
        if (right.left < right.right) ::FillRect(dc, &right, black);
        if (below.top < below.bottom) ::FillRect(dc, &below, black);
    } else {
        ::FillRect(dc, &rc, black);
    }
    ::EndPaint(hwnd, &ps);
}

}  // namespace lumarel::platform::win32::ui
