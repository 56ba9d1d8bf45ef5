// Windows, controls and the message loop over USER32/GDI32.
//
// Every control is a real window: forms, panels and the player host use window classes of
// our own, the other controls are the system's STATIC/EDIT/BUTTON classes, subclassed so the
// input they receive on dispatch reaches their sinks first. The queue the application reads is
// the thread's own message queue; a MSG copy travels in Message::native.
//
// Private to the windowing of the Win32 backend: the class and what its files share. Only
// the windowing_win32_*.cpp files include this header:
//   windowing_win32_events.cpp   the message queue, timers, the window procedures
//   windowing_win32_input.cpp    the pointer, speed buttons, tab order
//   windowing_win32_widgets.cpp  controls, their placement, fonts and colours, the screen
//   windowing_win32_dialogs.cpp  the message box and the folder chooser
#pragma once

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

namespace lumarel::platform::win32::ui {

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

inline HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
inline WindowHandle W(HWND h) { return reinterpret_cast<WindowHandle>(h); }

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
inline Win32Windowing* g_self = nullptr;

class Win32Windowing final : public Windowing {
public:
    Win32Windowing();
    ~Win32Windowing() override;

    // ---------------------------------------------------------------------------------
    // Creation and properties

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
    void PresentPixelRegions(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride,
                             std::span<const Rect> regions) override;
    void HideTaskbarWindow() override;

    // ---------------------------------------------------------------------------------
    // The event loop

    bool PeekMessage(Message& out) override;
    void WaitMessage() override;
    void DispatchMessage(const Message& m) override;
    void DiscardMessage(const Message& /*m*/) override;
    void PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) override;
    void StopTimer(WindowHandle w, std::uintptr_t id) override;

    // ---------------------------------------------------------------------------------
    // Dialogs and system state

    void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                    MessageBoxKind kind) override;

    int ShowCursor(bool show) override;
    Size PrimaryScreenSize() override;
    void SetScreenSaverRunning(bool running) override;
    std::string BrowseForFolder(WindowHandle owner, const std::string& title, const std::string& initialPath) override;

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

    static int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data);
    WindowData* Data(HWND hwnd);
    static void SetBrush(WindowData& d, std::uint32_t rgb);
    HFONT Font(const FontSpec& f);

    // Labels and bevels are drawn on their parent's surface: they lie below every other
    // child, the later ones above the earlier (so a label inside a bevel stays visible and a
    // label that grew does not cover an edit box's frame). New windows enter the sibling order
    // at the bottom, so the order is made again after each creation.
    void StackDrawnControls(HWND parent);

    // Labels grow to show their whole text in the font actually used (a substituted face can
    // be wider or taller than the one the layout was made for); they never shrink.
    static void FitLabel(HWND hwnd);

    static void FormStyles(const WindowSpec& spec, DWORD& style, DWORD& ex);
    RECT WindowRectFromClient(DWORD style, DWORD ex, const Rect& client, HWND hwnd);

    // Puts a top-level window so that its client area covers `client` (screen coordinates).
    // The frame is measured on the live window, so whatever the system draws around the
    // client area (themes, a missing window manager under Wine) is accounted for.
    void PlaceClient(HWND hwnd, const Rect& client);

    HWND AppWindow();
    HWND ActiveFormOr(HWND owner);
    void RegisterClasses();

    // ---------------------------------------------------------------------------------
    // Window procedures

    static LRESULT CALLBACK AppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OwnProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Hands a dispatched message to the window's sink. Returns false when the window went
    // away during the handler (the native processing must then be skipped).
    bool Deliver(HWND hwnd, EventSink* sink, UINT message, WPARAM wParam, LPARAM lParam);

    bool SendKind(HWND hwnd, EventSink* sink, EventKind kind);

    // No pointer anywhere over a window that hides it (its children inherit the setting).
    static bool HideCursorHere(const WindowData* d);

    // Colours of child controls: their own colour if set, else the colour of this container.
    LRESULT ChildColor(HWND hwnd, WindowData* d, UINT message, WPARAM wParam, LPARAM lParam);

    void PaintHost(HWND hwnd, WindowData& d);
    LRESULT HandleOwn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC& base);
    LRESULT SpeedDown(HWND hwnd, WindowData& d);
    static bool Inside(HWND hwnd, LPARAM lParam);
    LRESULT SpeedTrack(HWND hwnd, LPARAM lParam);
    LRESULT SpeedUp(HWND hwnd, WindowData& d, LPARAM lParam);

    // Tab / Shift+Tab: the next tab stop of the form, in tab order.
    bool MoveFocus(HWND from);

    void Forget(HWND hwnd);

    DpiCalls dpi_;
    std::unordered_map<HWND, std::unique_ptr<WindowData>> windows_;
    std::unique_ptr<WindowData> pending_;  // data of the window CreateWindowExW is making
    std::map<std::pair<std::string, int>, HFONT> fonts_;
    HWND appWindow_ = nullptr;
    bool taskbarHidden_ = false;
    int modalDepth_ = 0;
    int nextId_ = 100;
};

}  // namespace lumarel::platform::win32::ui
