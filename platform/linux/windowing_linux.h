// Windows, controls and the event loop of the Linux build, over GTK 3.
//
// The application runs a Windows-style loop (peek, hook, dispatch or discard, idle, wait), so
// this backend keeps its own message queue. Every GDK event passes through OnGdkEvent: input
// (pointer, buttons, keys) is copied into the queue and only reaches GTK when the application
// dispatches it; everything else (exposure, configuration, focus changes) goes to GTK at once.
// Buttons, key presses and motion become messages with the Windows numbers; the rest of the
// input (releases, scrolling) rides along in the queue so that its order stays intact. While a
// modal dialog runs its own loop, all events go straight to GTK.
//
// Private to the windowing of the Linux backend: the class and what its files share. Only
// the windowing_linux_*.cpp files include this header:
//   windowing_linux_events.cpp   the message queue, timers, GDK events, GTK start-up
//   windowing_linux_input.cpp    keys, pointer, the hidden cursor, tab order
//   windowing_linux_widgets.cpp  controls, their placement and colours, the screen
//   windowing_linux_dialogs.cpp  the message box and the folder chooser
#pragma once

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

namespace lumarel::platform::linux_backend::gtk {

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
inline GtkWindowing* g_instance = nullptr;

class GtkWindowing final : public Windowing {
public:
    GtkWindowing();
    bool Ready();

    // GTK places widgets in logical pixels, which are `scale_` real pixels on a scaled
    // (high-density) screen. A borderless form (the full-screen saver) and its children work
    // in real pixels, like PrimaryScreenSize, so that they cover the screen exactly and show a
    // host's frame pixel for pixel. Framed forms keep GTK's pixels, so that the theme's
    // controls still fit the rectangles they are given: the whole dialog is scaled, as
    // Windows scales a program that knows nothing of screen density.
    static int ToLogical(const Control& c, int v);
    static int SizeToLogical(const Control& c, int v);

    // --- controls -------------------------------------------------------------------------

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

    // --- the queue ------------------------------------------------------------------------

    bool PeekMessage(Message& out) override;
    void WaitMessage() override;
    void DispatchMessage(const Message& m) override;
    void DiscardMessage(const Message& m) override;
    void PostMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) override;
    void StopTimer(WindowHandle w, std::uintptr_t id) override;

    // --- dialogs --------------------------------------------------------------------------

    void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                    MessageBoxKind kind) override;

    std::string BrowseForFolder(WindowHandle owner, const std::string& title, const std::string& initialPath) override;

    // --- screen and pointer ---------------------------------------------------------------

    int ShowCursor(bool show) override;
    Size PrimaryScreenSize() override;
    void SetScreenSaverRunning(bool /*running*/) override;

    // --- called from GDK ------------------------------------------------------------------

    void OnEvent(GdkEvent* ev);

private:
    // On Windows every move of the pointer is a mouse-move message for the window under it,
    // also the move that crosses into another window, and a window shown under a still
    // pointer gets one too. GTK reports such a move only as a crossing, so an entry into one
    // of our controls becomes a mouse-move message of its own (without a native event: GTK
    // gets the crossing at once). A motion at the point already reported is the same move.
    void QueueCrossingMove(GdkEvent* ev);

    // True when a pointer event at this screen point is a move not yet reported.
    bool NewPointerPosition(GdkEvent* ev);

    // Fills in the message for an input event; false when it has none (releases, scrolling).
    bool Describe(GdkEvent* ev, WindowHandle target, Message& m);

    WindowHandle KeyTarget(GdkEvent* ev);

    // The innermost of our controls at or above a widget.
    static WindowHandle WidgetHandle(GtkWidget* w);

    static void Tag(GtkWidget* w, WindowHandle h);

    // The widget whose top-left corner is the control's client origin.
    static GtkWidget* ClientWidget(Control& c);

    Control* Find(WindowHandle w);
    Control* FormOf(Control* c);
    GtkWindow* OwnerWindow(WindowHandle owner);
    GdkMonitor* PrimaryMonitor();

    // The primary monitor in GDK's (logical) coordinates, which is what windows are placed in.
    GdkRectangle PrimaryGeometry();

    GdkEvent* TakeNative(const Message& m);
    void DropQueued(WindowHandle w);

    // Runs GTK's pending work without waiting (bounded, in case something is always ready).
    void Pump();

    // Runs a dialog's own loop. Afterwards the form that was active gets the focus back, as
    // an owner does when its modal box closes.
    gint RunModal(GtkDialog* dlg);

    void Deliver(Control& c, EventKind kind);

    // --- building widgets -----------------------------------------------------------------

    void BuildForm(Control& c, const WindowSpec& spec);
    void BuildChild(Control& c, Control& parent, const WindowSpec& spec);
    static GtkCssProvider* MinimumSizeCss();
    void PlaceForm(Control& c);
    void ApplyColor(Control& c);
    void ApplyCursor(Control& form);

    // Tab order: the form's tab stops, parents before their children, each level by tabOrder.
    void CollectTabStops(Control& c, std::vector<Control*>& out);

    bool MoveTabFocus(WindowHandle from, bool backwards);

    // --- signal handlers ------------------------------------------------------------------

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data);
    static void OnActiveChanged(GObject* obj, GParamSpec*, gpointer data);
    static gboolean OnDeactivated(gpointer data);
    static void OnClicked(GtkButton*, gpointer data);
    static void OnFormRealize(GtkWidget* w, gpointer data);
    static void OnFormAllocate(GtkWidget*, GdkRectangle* a, gpointer data);
    static gboolean OnHostDraw(GtkWidget*, cairo_t* cr, gpointer data);
    static void OnChooserMap(GtkWidget* w, gpointer data);
    static void OnFolderSelection(GtkFileChooser* chooser, gpointer data);
    static gboolean OnTimer(gpointer data);

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

}  // namespace lumarel::platform::linux_backend::gtk
