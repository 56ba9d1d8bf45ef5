// Windows, controls and the message loop over USER32/GDI32.
//
// Every control is a real window: forms, panels and the player host use window classes of
// our own, the other controls are the system's STATIC/EDIT/BUTTON classes, subclassed so the
// input they receive on dispatch reaches their sinks first. The queue the application reads is
// the thread's own message queue; a MSG copy travels in Message::native.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>
// Interface members share names with these macros of <windows.h>; the W calls are used by name.
#undef PeekMessage
#undef DispatchMessage
#undef PostMessage
#undef MessageBox

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

namespace lumarel::platform {
namespace {

static_assert(sizeof(MSG) <= sizeof(Message::native), "a MSG must fit into Message::native");

constexpr wchar_t kAppClass[] = L"LumarelApplication";
constexpr wchar_t kFormClass[] = L"LumarelForm";
constexpr wchar_t kPanelClass[] = L"LumarelPanel";
constexpr wchar_t kHostClass[] = L"LumarelPlayer";
constexpr std::uint32_t kDefaultColor = 0xFFFFFFFFu;

struct WindowData {
    ControlKind kind = ControlKind::Form;
    EventSink* sink = nullptr;
    bool hideCursor = false;
    int tabOrder = -1;
    int sequence = 0;  // creation order
    std::uint32_t color = kDefaultColor;
    HBRUSH brush = nullptr;      // owned; null for the system colour
    WNDPROC baseProc = nullptr;  // the system class procedure of a subclassed control
    HWND savedFocus = nullptr;   // forms: the child that had the focus when deactivated
    // Host: the last frame shown, tightly packed.
    std::vector<std::uint32_t> frame;
    int frameWidth = 0, frameHeight = 0;
    // SpeedButton: pressed by the left button and tracking the pointer.
    bool tracking = false;
};

COLORREF ToColorRef(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle W(HWND h) { return reinterpret_cast<WindowHandle>(h); }

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

// Optional calls of newer systems, looked up once.
struct DpiCalls {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    using DpiForWindowFn = UINT(WINAPI*)(HWND);
    SetContextFn setContext = nullptr;
    AdjustForDpiFn adjustForDpi = nullptr;
    DpiForWindowFn dpiForWindow = nullptr;

    DpiCalls() {
        HMODULE user = ::GetModuleHandleW(L"user32.dll");
        if (!user) return;
        setContext = reinterpret_cast<SetContextFn>(
            reinterpret_cast<void*>(::GetProcAddress(user, "SetProcessDpiAwarenessContext")));
        adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
            reinterpret_cast<void*>(::GetProcAddress(user, "AdjustWindowRectExForDpi")));
        dpiForWindow =
            reinterpret_cast<DpiForWindowFn>(reinterpret_cast<void*>(::GetProcAddress(user, "GetDpiForWindow")));
    }
};

class Win32Windowing;
Win32Windowing* g_self = nullptr;

class Win32Windowing final : public Windowing {
public:
    Win32Windowing() {
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

    ~Win32Windowing() override {
        for (auto& f : fonts_) ::DeleteObject(f.second);
        g_self = nullptr;
    }

    // ---------------------------------------------------------------------------------
    // Creation and properties

    WindowHandle CreateControl(const WindowSpec& spec) override {
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
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)),
                                      ::GetModuleHandleW(nullptr), nullptr);
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

    void DestroyControl(WindowHandle w) override {
        HWND hwnd = H(w);
        if (hwnd && Data(hwnd)) ::DestroyWindow(hwnd);
    }

    void SetBounds(WindowHandle w, const Rect& r) override {
        HWND hwnd = H(w);
        WindowData* d = Data(hwnd);
        if (!d) return;
        if (d->kind == ControlKind::Form) {
            PlaceClient(hwnd, r);
        } else {
            ::MoveWindow(hwnd, r.left, r.top, r.width, r.height, TRUE);
        }
    }

    Rect ClientRect(WindowHandle w) override {
        RECT rc{};
        if (!Data(H(w)) || !::GetClientRect(H(w), &rc)) return {};
        return Rect{0, 0, rc.right - rc.left, rc.bottom - rc.top};
    }

    void SetVisible(WindowHandle w, bool visible) override {
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

    void SetText(WindowHandle w, const std::string& text) override {
        WindowData* d = Data(H(w));
        if (!d) return;
        ::SetWindowTextW(H(w), win32::Utf8ToWide(text).c_str());
        if (d->kind == ControlKind::Label) FitLabel(H(w));
    }

    std::string GetText(WindowHandle w) override {
        HWND hwnd = H(w);
        if (!Data(hwnd)) return {};
        const int len = ::GetWindowTextLengthW(hwnd);
        if (len <= 0) return {};
        std::wstring buffer(static_cast<std::size_t>(len) + 1, L'\0');
        const int n = ::GetWindowTextW(hwnd, buffer.data(), len + 1);
        buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return win32::WideToUtf8(buffer);
    }

    void SetChecked(WindowHandle w, bool checked) override {
        if (!Data(H(w))) return;
        ::SendMessageW(H(w), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    bool GetChecked(WindowHandle w) override {
        if (!Data(H(w))) return false;
        return ::SendMessageW(H(w), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    void SetColor(WindowHandle w, std::uint32_t rgb) override {
        WindowData* d = Data(H(w));
        if (!d) return;
        SetBrush(*d, rgb);
        ::InvalidateRect(H(w), nullptr, TRUE);
    }

    void SetFocus(WindowHandle w) override {
        WindowData* d = Data(H(w));
        if (!d || d->kind == ControlKind::SpeedButton) return;
        ::SetFocus(H(w));
    }

    void CenterOnScreen(WindowHandle w) override {
        HWND hwnd = H(w);
        RECT wr{};
        if (!Data(hwnd) || !::GetWindowRect(hwnd, &wr)) return;
        const int width = wr.right - wr.left, height = wr.bottom - wr.top;
        const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
        ::SetWindowPos(hwnd, nullptr, (sw - width) / 2, (sh - height) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) override {
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

    void HideTaskbarWindow() override {
        taskbarHidden_ = true;
        if (appWindow_) ::ShowWindow(appWindow_, SW_HIDE);
    }

    // ---------------------------------------------------------------------------------
    // The event loop

    bool PeekMessage(Message& out) override {
        MSG native{};
        if (!::PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) return false;
        out = MakeMessage(native);
        return true;
    }

    void WaitMessage() override { ::WaitMessage(); }

    void DispatchMessage(const Message& m) override {
        MSG native;
        std::memcpy(&native, m.native, sizeof native);
        ::TranslateMessage(&native);
        ::DispatchMessageW(&native);
    }

    void DiscardMessage(const Message& /*m*/) override {}

    void PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        ::PostMessageW(H(w), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }

    void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) override {
        if (!Data(H(w))) return;
        ::SetTimer(H(w), static_cast<UINT_PTR>(id), static_cast<UINT>(std::max(intervalMs, 1)), nullptr);
    }

    void StopTimer(WindowHandle w, std::uintptr_t id) override {
        if (Data(H(w))) ::KillTimer(H(w), static_cast<UINT_PTR>(id));
    }

    // ---------------------------------------------------------------------------------
    // Dialogs and system state

    void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                    MessageBoxKind kind) override {
        const std::wstring wtext = win32::Utf8ToWide(text);
        const std::wstring wcaption = win32::Utf8ToWide(caption);
        HWND parent = nullptr;
        UINT flags = MB_OK;
        switch (kind) {
            case MessageBoxKind::Error:
                flags |= MB_ICONSTOP;
                parent = ActiveFormOr(H(owner));
                break;
            case MessageBoxKind::TaskModalError:
                flags |= MB_ICONSTOP | MB_TASKMODAL;
                break;
            case MessageBoxKind::Plain:
                break;
        }
        ModalScope modal(*this);
        ::MessageBoxW(parent, wtext.c_str(), wcaption.c_str(), flags);
    }

    int ShowCursor(bool show) override { return ::ShowCursor(show ? TRUE : FALSE); }

    Size PrimaryScreenSize() override { return Size{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}; }

    void SetScreenSaverRunning(bool running) override {
        BOOL previous = FALSE;
        ::SystemParametersInfoW(SPI_SCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
    }

    std::string BrowseForFolder(WindowHandle owner, const std::string& title, const std::string& initialPath) override {
        const std::wstring wtitle = win32::Utf8ToWide(title);
        const std::wstring winitial = win32::Utf8ToWide(initialPath);
        wchar_t display[MAX_PATH] = {};
        BROWSEINFOW bi{};
        bi.hwndOwner = Data(H(owner)) ? H(owner) : nullptr;
        bi.pszDisplayName = display;
        bi.lpszTitle = wtitle.c_str();
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
        bi.lpfn = &BrowseCallback;
        bi.lParam = reinterpret_cast<LPARAM>(winitial.c_str());
        PIDLIST_ABSOLUTE pidl = nullptr;
        {
            ModalScope modal(*this);
            pidl = ::SHBrowseForFolderW(&bi);
        }
        if (!pidl) return {};
        wchar_t path[MAX_PATH] = {};
        const BOOL ok = ::SHGetPathFromIDListW(pidl, path);
        ::CoTaskMemFree(pidl);
        return ok ? win32::WideToUtf8(path) : std::string();
    }

private:
    // While a message box or the folder chooser runs its own loop, input that reaches our
    // windows is not handed to the sinks.
    struct ModalScope {
        explicit ModalScope(Win32Windowing& w) : self(w) { ++self.modalDepth_; }
        ~ModalScope() { --self.modalDepth_; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;
        Win32Windowing& self;
    };

    static int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
        if (message == BFFM_INITIALIZED) {
            const wchar_t* initial = reinterpret_cast<const wchar_t*>(data);
            // Only an existing folder is handed over: a path the chooser cannot select leaves it
            // on its default selection (some shell versions fail hard on such a path).
            const DWORD attributes = initial && *initial ? ::GetFileAttributesW(initial) : INVALID_FILE_ATTRIBUTES;
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(initial));
            }
        } else if (message == BFFM_SELCHANGED) {
            wchar_t path[MAX_PATH] = {};
            if (!lParam || !::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
                path[0] = L'\0';
            }
            ::SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
        return 0;
    }

    WindowData* Data(HWND hwnd) {
        if (!hwnd) return nullptr;
        auto it = windows_.find(hwnd);
        return it == windows_.end() ? nullptr : it->second.get();
    }

    static void SetBrush(WindowData& d, std::uint32_t rgb) {
        if (d.brush) ::DeleteObject(d.brush);
        d.brush = nullptr;
        d.color = rgb;
        if (rgb != kDefaultColor) d.brush = ::CreateSolidBrush(ToColorRef(rgb & 0xFFFFFFu));
    }

    HFONT Font(const FontSpec& f) {
        if (f.name.empty() && f.height <= 0) return nullptr;
        auto key = std::make_pair(f.name, f.height * 2 + (f.shiftJis ? 1 : 0));
        auto it = fonts_.find(key);
        if (it != fonts_.end()) return it->second;
        // A face the system lacks is substituted by the nearest font of the character set.
        HFONT font =
            ::CreateFontW(-std::max(f.height, 1), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                          f.shiftJis ? SHIFTJIS_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, win32::Utf8ToWide(f.name).c_str());
        if (font) fonts_[key] = font;
        return font;
    }

    // Labels and bevels are drawn on their parent's surface: they lie below every other
    // child, the later ones above the earlier (so a label inside a bevel stays visible and a
    // label that grew does not cover an edit box's frame). New windows enter the sibling order
    // at the bottom, so the order is made again after each creation.
    void StackDrawnControls(HWND parent) {
        std::vector<std::pair<int, HWND>> drawn;
        for (auto& [hwnd, data] : windows_) {
            if (!data || (data->kind != ControlKind::Label && data->kind != ControlKind::Bevel)) continue;
            if (::GetParent(hwnd) == parent) drawn.emplace_back(data->sequence, hwnd);
        }
        std::sort(drawn.begin(), drawn.end());
        for (auto it = drawn.rbegin(); it != drawn.rend(); ++it) {
            ::SetWindowPos(it->second, HWND_BOTTOM, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        }
    }

    // Labels grow to show their whole text in the font actually used (a substituted face can
    // be wider or taller than the one the layout was made for); they never shrink.
    static void FitLabel(HWND hwnd) {
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

    static void FormStyles(const WindowSpec& spec, DWORD& style, DWORD& ex) {
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

    RECT WindowRectFromClient(DWORD style, DWORD ex, const Rect& client, HWND hwnd) {
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

    // Puts a top-level window so that its client area covers `client` (screen coordinates).
    // The frame is measured on the live window, so whatever the system draws around the
    // client area (themes, a missing window manager under Wine) is accounted for.
    void PlaceClient(HWND hwnd, const Rect& client) {
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

    HWND AppWindow() {
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
                                       WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, cx, cy, 0,
                                       0, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        return appWindow_;
    }

    HWND ActiveFormOr(HWND owner) {
        HWND active = ::GetActiveWindow();
        WindowData* d = Data(active);
        if (d && d->kind == ControlKind::Form) return active;
        d = Data(owner);
        if (d && d->kind == ControlKind::Form && ::IsWindowVisible(owner)) return owner;
        return nullptr;
    }

    void RegisterClasses() {
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

    // ---------------------------------------------------------------------------------
    // Window procedures

    static LRESULT CALLBACK AppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        // Closing the taskbar entry closes the active form the usual way.
        if (message == WM_CLOSE && g_self) {
            HWND active = ::GetActiveWindow();
            if (active && active != hwnd) ::PostMessageW(active, WM_CLOSE, 0, 0);
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    static LRESULT CALLBACK OwnProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
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

    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        WNDPROC base = nullptr;
        try {
            if (g_self) return g_self->HandleControl(hwnd, message, wParam, lParam, base);
        } catch (...) {
        }
        if (base && ::IsWindow(hwnd)) return ::CallWindowProcW(base, hwnd, message, wParam, lParam);
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    // Hands a dispatched message to the window's sink. Returns false when the window went
    // away during the handler (the native processing must then be skipped).
    bool Deliver(HWND hwnd, EventSink* sink, UINT message, WPARAM wParam, LPARAM lParam) {
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

    bool SendKind(HWND hwnd, EventSink* sink, EventKind kind) {
        if (!sink) return true;
        Event e;
        e.kind = kind;
        e.message.window = W(hwnd);
        sink->HandleEvent(e);
        return ::IsWindow(hwnd) && Data(hwnd) != nullptr;
    }

    // No pointer anywhere over a window that hides it (its children inherit the setting).
    static bool HideCursorHere(const WindowData* d) {
        if (!d || !d->hideCursor) return false;
        ::SetCursor(nullptr);
        return true;
    }

    // Colours of child controls: their own colour if set, else the colour of this container.
    LRESULT ChildColor(HWND hwnd, WindowData* d, UINT message, WPARAM wParam, LPARAM lParam) {
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

    void PaintHost(HWND hwnd, WindowData& d) {
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
            ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(fw), static_cast<DWORD>(fh), 0, 0, 0,
                                static_cast<UINT>(fh), d.frame.data(), &bmi, DIB_RGB_COLORS);
            RECT right{fw, 0, rc.right, rc.bottom};
            RECT below{0, fh, std::min<LONG>(fw, rc.right), rc.bottom};
            if (right.left < right.right) ::FillRect(dc, &right, black);
            if (below.top < below.bottom) ::FillRect(dc, &below, black);
        } else {
            ::FillRect(dc, &rc, black);
        }
        ::EndPaint(hwnd, &ps);
    }

    LRESULT HandleOwn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
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

    LRESULT HandleControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC& base) {
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

    LRESULT SpeedDown(HWND hwnd, WindowData& d) {
        d.tracking = true;
        ::SetCapture(hwnd);
        ::SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
        return 0;
    }

    static bool Inside(HWND hwnd, LPARAM lParam) {
        RECT rc{};
        ::GetClientRect(hwnd, &rc);
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        return ::PtInRect(&rc, p) != FALSE;
    }

    LRESULT SpeedTrack(HWND hwnd, LPARAM lParam) {
        ::SendMessageW(hwnd, BM_SETSTATE, Inside(hwnd, lParam) ? TRUE : FALSE, 0);
        return 0;
    }

    LRESULT SpeedUp(HWND hwnd, WindowData& d, LPARAM lParam) {
        const bool inside = Inside(hwnd, lParam);
        d.tracking = false;
        ::SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        ::ReleaseCapture();
        if (inside && ::IsWindow(hwnd)) {
            HWND parent = ::GetParent(hwnd);
            ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd), BN_CLICKED),
                           reinterpret_cast<LPARAM>(hwnd));
        }
        return 0;
    }

    // Tab / Shift+Tab: the next tab stop of the form, in tab order.
    bool MoveFocus(HWND from) {
        HWND form = ::GetAncestor(from, GA_ROOT);
        if (!form) return false;
        std::vector<std::pair<int, HWND>> stops;
        for (auto& [hwnd, data] : windows_) {
            if (!data || data->tabOrder < 0 || data->kind == ControlKind::SpeedButton) continue;
            if (data->kind == ControlKind::Form) continue;
            if (!::IsChild(form, hwnd) || !::IsWindowVisible(hwnd) || !::IsWindowEnabled(hwnd)) continue;
            stops.emplace_back(data->tabOrder, hwnd);
        }
        if (stops.empty()) return false;
        std::sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) {
            return a.first != b.first
                       ? a.first < b.first
                       : reinterpret_cast<std::uintptr_t>(a.second) < reinterpret_cast<std::uintptr_t>(b.second);
        });
        const bool back = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        const HWND focus = ::GetFocus();
        std::size_t at = stops.size();
        for (std::size_t i = 0; i < stops.size(); ++i) {
            if (stops[i].second == focus) at = i;
        }
        std::size_t next;
        if (at == stops.size()) {
            next = back ? stops.size() - 1 : 0;
        } else {
            next = back ? (at + stops.size() - 1) % stops.size() : (at + 1) % stops.size();
        }
        HWND target = stops[next].second;
        ::SetFocus(target);
        if (WindowData* t = Data(target); t && t->kind == ControlKind::Edit) {
            ::SendMessageW(target, EM_SETSEL, 0, -1);
        }
        return true;
    }

    void Forget(HWND hwnd) {
        auto it = windows_.find(hwnd);
        if (it == windows_.end()) return;
        if (it->second && it->second->brush) ::DeleteObject(it->second->brush);
        windows_.erase(it);
    }

    DpiCalls dpi_;
    std::unordered_map<HWND, std::unique_ptr<WindowData>> windows_;
    std::unique_ptr<WindowData> pending_;  // data of the window CreateWindowExW is making
    std::map<std::pair<std::string, int>, HFONT> fonts_;
    HWND appWindow_ = nullptr;
    bool taskbarHidden_ = false;
    int modalDepth_ = 0;
    int nextId_ = 100;
};

}  // namespace

Windowing& NativeWindowing() {
    static Win32Windowing windowing;
    return windowing;
}

}  // namespace lumarel::platform
