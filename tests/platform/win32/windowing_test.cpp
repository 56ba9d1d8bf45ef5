// The Win32 windowing backend on a real (Wine) window system.
#include <windows.h>
#undef PeekMessage
#undef DispatchMessage
#undef PostMessage
#undef MessageBox

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

using namespace lumarel::platform;

namespace {

struct Recorder final : EventSink {
    std::vector<Event> events;
    void HandleEvent(const Event& e) override { events.push_back(e); }
    int Count(EventKind kind, std::uint32_t message = 0) const {
        int n = 0;
        for (const Event& e : events) {
            if (e.kind == kind && (kind != EventKind::Message || e.message.msg == message)) ++n;
        }
        return n;
    }
};

Windowing& Ui() { return NativeWindowing(); }
HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }

// Dispatches everything now queued.
void Pump() {
    Message m;
    while (Ui().PeekMessage(m)) Ui().DispatchMessage(m);
}

class Win32Windowing : public testing::Test {
protected:
    WindowHandle MakeForm(BorderStyle border, const Rect& bounds, Recorder* sink, bool topmost = false) {
        WindowSpec spec;
        spec.kind = ControlKind::Form;
        spec.bounds = bounds;
        spec.border = border;
        spec.topmost = topmost;
        spec.text = "テスト フォーム";
        spec.font = FontSpec{"ＭＳ Ｐゴシック", 12, true};
        spec.sink = sink;
        WindowHandle w = Ui().CreateControl(spec);
        if (w) created_.push_back(w);
        return w;
    }

    WindowHandle MakeChild(WindowHandle parent, ControlKind kind, const Rect& bounds, Recorder* sink,
                           const std::string& text = {}, int tabOrder = -1) {
        WindowSpec spec;
        spec.kind = kind;
        spec.parent = parent;
        spec.bounds = bounds;
        spec.text = text;
        spec.visible = true;
        spec.tabOrder = tabOrder;
        spec.font = FontSpec{"ＭＳ Ｐゴシック", 12, true};
        spec.sink = sink;
        return Ui().CreateControl(spec);
    }

    void TearDown() override {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) Ui().DestroyControl(*it);
        Pump();
    }

    std::vector<WindowHandle> created_;
};

TEST_F(Win32Windowing, PostedMessagesComeOutOfTheQueueInOrder) {
    Recorder sink;
    WindowHandle form = MakeForm(BorderStyle::None, Rect{0, 0, 200, 100}, &sink);
    ASSERT_NE(form, 0u);
    Pump();
    Ui().PostMessage(form, 0x401, 1, 10);
    Ui().PostMessage(form, 0x402, 2, 20);
    Ui().PostMessage(form, 0x401, 3, 30);

    std::vector<Message> seen;
    Message m;
    while (Ui().PeekMessage(m)) {
        if (m.window == form && m.msg >= msg::User) seen.push_back(m);
        Ui().DispatchMessage(m);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].msg, 0x401u);
    EXPECT_EQ(seen[1].msg, 0x402u);
    EXPECT_EQ(seen[2].msg, 0x401u);
    EXPECT_EQ(seen[2].wParam, 3u);
    EXPECT_EQ(seen[1].lParam, 20);
    // The queued record is the system's own MSG.
    MSG native;
    std::memcpy(&native, seen[0].native, sizeof native);
    EXPECT_EQ(native.hwnd, H(form));
    EXPECT_EQ(native.message, 0x401u);

    // Dispatch delivered them to the form's sink, in the same order.
    std::vector<std::uintptr_t> order;
    for (const Event& e : sink.events) {
        if (e.kind == EventKind::Message && e.message.msg >= msg::User) order.push_back(e.message.wParam);
    }
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{1, 2, 3}));
}

TEST_F(Win32Windowing, DiscardedInputNeverReachesTheControl) {
    Recorder formSink, editSink, boxSink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{50, 50, 300, 150}, &formSink);
    ASSERT_NE(form, 0u);
    WindowHandle edit = MakeChild(form, ControlKind::Edit, Rect{10, 10, 200, 24}, &editSink, "", 0);
    WindowHandle box = MakeChild(form, ControlKind::CheckBox, Rect{10, 50, 200, 24}, &boxSink, "チェック", 1);
    ASSERT_NE(edit, 0u);
    ASSERT_NE(box, 0u);
    Ui().SetVisible(form, true);
    Pump();

    // A right click the hook swallows: the control's sink never hears of it.
    PostMessageW(H(edit), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 6));
    Message m;
    bool found = false;
    while (Ui().PeekMessage(m)) {
        if (m.msg == msg::RButtonDown && m.window == edit) {
            found = true;
            EXPECT_EQ(m.x, 5);
            EXPECT_EQ(m.y, 6);
            Ui().DiscardMessage(m);
        } else {
            Ui().DispatchMessage(m);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(editSink.Count(EventKind::Message, msg::RButtonDown), 0);

    // The same click dispatched does reach it, with client coordinates.
    PostMessageW(H(edit), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 8));
    Pump();
    ASSERT_EQ(editSink.Count(EventKind::Message, msg::RButtonDown), 1);
    for (const Event& e : editSink.events) {
        if (e.message.msg == msg::RButtonDown) {
            EXPECT_EQ(e.message.x, 7);
            EXPECT_EQ(e.message.y, 8);
            EXPECT_EQ(e.message.window, edit);
        }
    }

    // A discarded button press is not processed natively either: the box stays unchecked.
    PostMessageW(H(box), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    while (Ui().PeekMessage(m)) {
        if (m.msg == msg::LButtonDown && m.window == box) {
            Ui().DiscardMessage(m);
        } else {
            Ui().DispatchMessage(m);
        }
    }
    PostMessageW(H(box), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_FALSE(Ui().GetChecked(box));
    EXPECT_EQ(boxSink.Count(EventKind::Click), 0);

    // Dispatched, the press and release toggle it and raise Click.
    PostMessageW(H(box), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(H(box), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_TRUE(Ui().GetChecked(box));
    EXPECT_EQ(boxSink.Count(EventKind::Click), 1);
    EXPECT_EQ(boxSink.Count(EventKind::Message, msg::LButtonDown), 1);
}

TEST_F(Win32Windowing, DialogFormClientAreaIsTheRequestedBounds) {
    Recorder sink;
    const Rect bounds{100, 120, 313, 161};
    WindowHandle form = MakeForm(BorderStyle::Dialog, bounds, &sink);
    ASSERT_NE(form, 0u);
    Ui().SetVisible(form, true);
    Pump();
    RECT rc{};
    GetClientRect(H(form), &rc);
    POINT origin{0, 0};
    ClientToScreen(H(form), &origin);
    EXPECT_EQ(rc.right - rc.left, 313);
    EXPECT_EQ(rc.bottom - rc.top, 161);
    EXPECT_EQ(origin.x, 100);
    EXPECT_EQ(origin.y, 120);
    EXPECT_EQ(Ui().ClientRect(form), (Rect{0, 0, 313, 161}));

    const LONG style = GetWindowLongW(H(form), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

    Ui().SetBounds(form, Rect{40, 60, 200, 90});
    GetClientRect(H(form), &rc);
    origin = POINT{0, 0};
    ClientToScreen(H(form), &origin);
    EXPECT_EQ(rc.right, 200);
    EXPECT_EQ(rc.bottom, 90);
    EXPECT_EQ(origin.x, 40);
    EXPECT_EQ(origin.y, 60);
}

TEST_F(Win32Windowing, BorderlessTopmostFormCoversItsRect) {
    Recorder sink;
    const Size screen = Ui().PrimaryScreenSize();
    EXPECT_EQ(screen.width, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_GT(screen.width, 0);
    WindowHandle form = MakeForm(BorderStyle::None, Rect{0, 0, screen.width, screen.height}, &sink, true);
    ASSERT_NE(form, 0u);
    Ui().SetVisible(form, true);
    Pump();
    RECT wr{};
    GetWindowRect(H(form), &wr);
    EXPECT_EQ(wr.left, 0);
    EXPECT_EQ(wr.top, 0);
    EXPECT_EQ(wr.right, screen.width);
    EXPECT_EQ(wr.bottom, screen.height);
    EXPECT_TRUE(GetWindowLongW(H(form), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongW(H(form), GWL_STYLE) & WS_POPUP);
    // Showing the form activated it, and Activate reached the sink.
    EXPECT_GE(sink.Count(EventKind::Activate), 1);
}

TEST_F(Win32Windowing, CloseIsReportedAndTheWindowStays) {
    Recorder sink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{10, 10, 120, 80}, &sink);
    ASSERT_NE(form, 0u);
    Ui().SetVisible(form, true);
    Pump();
    PostMessageW(H(form), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(sink.Count(EventKind::Close), 1);
    EXPECT_TRUE(IsWindow(H(form)));
    EXPECT_TRUE(IsWindowVisible(H(form)));
}

TEST_F(Win32Windowing, TimerTicksDoNotPileUp) {
    Recorder sink;
    WindowHandle form = MakeForm(BorderStyle::None, Rect{0, 0, 50, 50}, &sink);
    ASSERT_NE(form, 0u);
    Pump();
    Ui().StartTimer(form, 7, 100);
    Sleep(750);  // a slow consumer: some 7 intervals pass unread
    int ticks = 0;
    Message m;
    while (Ui().PeekMessage(m)) {
        if (m.msg == msg::Timer && m.window == form) {
            ++ticks;
            EXPECT_EQ(m.wParam, 7u);
        }
        Ui().DispatchMessage(m);
    }
    Ui().StopTimer(form, 7);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(sink.Count(EventKind::Message, msg::Timer), 1);
}

TEST_F(Win32Windowing, TextsTravelAsUnicode) {
    Recorder sink, editSink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{10, 10, 300, 80}, &sink);
    ASSERT_NE(form, 0u);
    WindowHandle edit = MakeChild(form, ControlKind::Edit, Rect{5, 5, 280, 24}, &editSink, "C:\\ムービー");
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(Ui().GetText(edit), "C:\\ムービー");
    const std::string outside = "D:\\한국어\\😀";
    Ui().SetText(edit, outside);
    EXPECT_EQ(Ui().GetText(edit), outside);
    wchar_t caption[64] = {};
    GetWindowTextW(H(form), caption, 64);
    EXPECT_STREQ(caption, L"テスト フォーム");
    // The form's font was handed to the child with the Japanese character set.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(H(edit), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(lf.lfHeight, -12);
}

TEST_F(Win32Windowing, JapaneseFaceResolvesToAFontWithJapaneseGlyphs) {
    // The settings dialog asks for "ＭＳ Ｐゴシック" in the Shift-JIS character set; whatever face
    // the system substitutes must be able to draw its texts.
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック");
    ASSERT_NE(font, nullptr);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const wchar_t text[] = L"フォルダを選択してください設定";
    WORD glyphs[32] = {};
    const int n = static_cast<int>(wcslen(text));
    ASSERT_EQ(GetGlyphIndicesW(dc, text, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS), static_cast<DWORD>(n));
    for (int i = 0; i < n; ++i) EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for character " << i;
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    std::printf("face used for ＭＳ Ｐゴシック: %s\n", lumarel::platform::win32::WideToUtf8(face).c_str());
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
}

TEST_F(Win32Windowing, LabelsInsideABevelStayVisible) {
    Recorder sink, bevelSink, labelSink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{20, 20, 313, 161}, &sink);
    ASSERT_NE(form, 0u);
    WindowHandle bevel = MakeChild(form, ControlKind::Bevel, Rect{0, 112, 313, 41}, &bevelSink);
    WindowHandle label =
        MakeChild(form, ControlKind::Label, Rect{8, 120, 143, 12}, &labelSink, "Version 1.0 Build 2002.10.07");
    Recorder editSink;
    WindowHandle edit = MakeChild(form, ControlKind::Edit, Rect{8, 128, 200, 20}, &editSink, "", 0);
    ASSERT_NE(bevel, 0u);
    ASSERT_NE(label, 0u);
    ASSERT_NE(edit, 0u);
    Ui().SetVisible(form, true);
    Pump();
    // The label is the topmost child at a point inside both it and the bevel ...
    EXPECT_EQ(ChildWindowFromPointEx(H(form), POINT{12, 124}, CWP_SKIPINVISIBLE), H(label));
    // ... and an edit box stays above a label that overlaps it.
    EXPECT_EQ(ChildWindowFromPointEx(H(form), POINT{12, 129}, CWP_SKIPINVISIBLE), H(edit));
    EXPECT_TRUE(IsWindowVisible(H(label)));
    // It grew to its text; it never shrinks below the bounds it was given.
    RECT rc{};
    GetClientRect(H(label), &rc);
    EXPECT_GE(rc.right, 143);
    EXPECT_GE(rc.bottom, 12);
}

TEST_F(Win32Windowing, PointerIsHiddenOverWindowsThatAskForIt) {
    Recorder sink, panelSink;
    WindowSpec spec;
    spec.kind = ControlKind::Form;
    spec.border = BorderStyle::None;
    spec.bounds = Rect{0, 0, 100, 100};
    spec.hideCursor = true;
    spec.sink = &sink;
    WindowHandle form = Ui().CreateControl(spec);
    ASSERT_NE(form, 0u);
    created_.push_back(form);
    WindowSpec child;
    child.kind = ControlKind::Panel;
    child.parent = form;
    child.bounds = Rect{0, 0, 50, 50};
    child.visible = true;
    child.hideCursor = true;
    child.sink = &panelSink;
    WindowHandle panel = Ui().CreateControl(child);
    ASSERT_NE(panel, 0u);
    Ui().SetVisible(form, true);
    Pump();
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    EXPECT_TRUE(
        SendMessageW(H(panel), WM_SETCURSOR, reinterpret_cast<WPARAM>(H(panel)), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(GetCursor(), nullptr);

    // A window that does not hide it gets the normal arrow back.
    Recorder otherSink;
    WindowHandle other = MakeForm(BorderStyle::None, Rect{200, 0, 50, 50}, &otherSink);
    ASSERT_NE(other, 0u);
    SendMessageW(H(other), WM_SETCURSOR, reinterpret_cast<WPARAM>(H(other)), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), nullptr);

    // The display count works like the system's.
    const int hidden = Ui().ShowCursor(false);
    EXPECT_EQ(Ui().ShowCursor(true), hidden + 1);
}

TEST_F(Win32Windowing, KeyboardMovesAlongTheTabOrderAndPressesButtons) {
    Recorder sink, editSink, okSink, boxSink, speedSink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{10, 10, 313, 161}, &sink);
    ASSERT_NE(form, 0u);
    WindowHandle edit = MakeChild(form, ControlKind::Edit, Rect{8, 24, 281, 20}, &editSink, "", 1);
    WindowHandle speed = MakeChild(form, ControlKind::SpeedButton, Rect{288, 24, 20, 20}, &speedSink, "...");
    WindowHandle box = MakeChild(form, ControlKind::CheckBox, Rect{8, 56, 137, 17}, &boxSink, "画面", 2);
    WindowHandle ok = MakeChild(form, ControlKind::Button, Rect{232, 80, 73, 25}, &okSink, "OK", 0);
    ASSERT_TRUE(edit && speed && box && ok);
    Ui().SetVisible(form, true);
    Ui().SetFocus(ok);
    Pump();
    ASSERT_EQ(GetFocus(), H(ok));
    auto press = [](HWND target, WPARAM key) {
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        Pump();
    };
    press(H(ok), VK_TAB);
    EXPECT_EQ(GetFocus(), H(edit));  // tab order 0 -> 1
    press(H(edit), VK_TAB);
    EXPECT_EQ(GetFocus(), H(box));  // 1 -> 2; the speed button has no tab stop
    press(H(box), VK_TAB);
    EXPECT_EQ(GetFocus(), H(ok));                                    // and round again
    EXPECT_EQ(editSink.Count(EventKind::Message, msg::KeyDown), 1);  // the sink saw the key first

    press(H(ok), VK_RETURN);  // no default button: Enter presses nothing
    press(H(ok), VK_ESCAPE);
    EXPECT_EQ(okSink.Count(EventKind::Click), 0);
    press(H(ok), VK_SPACE);
    EXPECT_EQ(okSink.Count(EventKind::Click), 1);
    Ui().SetFocus(box);
    Pump();
    press(H(box), VK_SPACE);
    EXPECT_TRUE(Ui().GetChecked(box));
    EXPECT_EQ(boxSink.Count(EventKind::Click), 1);
    EXPECT_EQ(speedSink.Count(EventKind::Click), 0);
}

TEST_F(Win32Windowing, SpeedButtonClicksWithoutTakingTheFocus) {
    Recorder sink, editSink, speedSink;
    WindowHandle form = MakeForm(BorderStyle::Dialog, Rect{10, 10, 300, 80}, &sink);
    ASSERT_NE(form, 0u);
    WindowHandle edit = MakeChild(form, ControlKind::Edit, Rect{5, 5, 200, 24}, &editSink, "", 0);
    WindowHandle speed = MakeChild(form, ControlKind::SpeedButton, Rect{210, 5, 24, 24}, &speedSink, "...", 1);
    ASSERT_NE(speed, 0u);
    EXPECT_FALSE(GetWindowLongW(H(speed), GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongW(H(edit), GWL_STYLE) & WS_TABSTOP);
    Ui().SetVisible(form, true);
    Ui().SetFocus(edit);
    Pump();
    ASSERT_EQ(GetFocus(), H(edit));
    PostMessageW(H(speed), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(H(speed), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    Pump();
    EXPECT_EQ(speedSink.Count(EventKind::Click), 1);
    EXPECT_EQ(GetFocus(), H(edit));
    // Released outside the button: no click.
    PostMessageW(H(speed), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(H(speed), WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    Pump();
    EXPECT_EQ(speedSink.Count(EventKind::Click), 1);
}

TEST_F(Win32Windowing, HostShowsTheLastFrameOverBlack) {
    Recorder sink, hostSink;
    WindowHandle form = MakeForm(BorderStyle::None, Rect{0, 0, 64, 64}, &sink);
    ASSERT_NE(form, 0u);
    WindowHandle host = MakeChild(form, ControlKind::Host, Rect{0, 0, 40, 40}, &hostSink);
    ASSERT_NE(host, 0u);
    Ui().SetVisible(form, true);
    Pump();
    // 20x10 frame in a row stride of 32 pixels: opaque red, one half-transparent green pixel.
    std::vector<std::uint32_t> pixels(32 * 10, 0xFFFF0000u);
    pixels[1 * 32 + 1] = 0x80008000u;  // premultiplied: green 0x80 at alpha 0x80
    Ui().PresentPixels(host, pixels.data(), 20, 10, 32);
    Pump();
    HDC dc = GetDC(H(host));
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0x80, 0));
    EXPECT_EQ(GetPixel(dc, 30, 5), RGB(0, 0, 0));  // right of the frame
    EXPECT_EQ(GetPixel(dc, 5, 30), RGB(0, 0, 0));  // below it
    ReleaseDC(H(host), dc);
    // Repainting (e.g. after being covered) draws the same frame again.
    InvalidateRect(H(host), nullptr, TRUE);
    UpdateWindow(H(host));
    dc = GetDC(H(host));
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    ReleaseDC(H(host), dc);
    // A bad frame clears to black instead of reading anything.
    Ui().PresentPixels(host, nullptr, 20, 10, 32);
    Ui().PresentPixels(host, pixels.data(), 20, 10, 5);
    Pump();
    dc = GetDC(H(host));
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 0));
    ReleaseDC(H(host), dc);
}

TEST_F(Win32Windowing, WaitMessageWakesForAPostedMessage) {
    Recorder sink;
    WindowHandle form = MakeForm(BorderStyle::None, Rect{0, 0, 50, 50}, &sink);
    ASSERT_NE(form, 0u);
    Pump();
    const ULONGLONG start = GetTickCount64();
    std::thread poster([form] {
        Sleep(150);
        PostMessageW(H(form), 0x402, 0, 0);
    });
    bool got = false;
    while (!got && GetTickCount64() - start < 5000) {
        Message m;
        if (Ui().PeekMessage(m)) {
            got = m.msg == 0x402;
            Ui().DispatchMessage(m);
        } else {
            Ui().WaitMessage();
        }
    }
    poster.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(sink.Count(EventKind::Message, 0x402), 1);
}

TEST(Win32Resources, ManifestAndDisplayNameAreEmbedded) {
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
    // The icon the screen-saver list and Explorer show, in a size Windows asks for.
    HICON icon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(100), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
    wchar_t name[32] = {};
    EXPECT_GT(LoadStringW(GetModuleHandleW(nullptr), 1, name, 32), 0);
    EXPECT_STREQ(name, L"Lumarel");
    // The manifest (or the backend's fallback) made the process DPI aware.
    NativeWindowing();
    EXPECT_TRUE(IsProcessDPIAware());
}

}  // namespace

int main(int argc, char** argv) {
    // --messagebox: a Japanese plain message box, for the screenshot check.
    const std::vector<std::string> args = NativeServices().CommandLineArguments();
    if (!args.empty() && args[0] == "--messagebox") {
        NativeServices().InitializeComponents();
        Ui().MessageBox(0, "ERROR - 複数アプリケーションの起動は制限されています。", "LumarelBoxTest",
                        MessageBoxKind::Plain);
        return 0;
    }
    // --input-probe: a full-screen form that prints the input it is given for a few seconds.
    if (!args.empty() && args[0] == "--input-probe") {
        struct Printer final : EventSink {
            void HandleEvent(const Event& e) override {
                std::printf("event kind=%d msg=0x%x w=%llu x=%d y=%d wp=%llu\n", static_cast<int>(e.kind),
                            e.message.msg, static_cast<unsigned long long>(e.message.window), e.message.x, e.message.y,
                            static_cast<unsigned long long>(e.message.wParam));
                std::fflush(stdout);
            }
        } printer;
        WindowSpec spec;
        spec.kind = ControlKind::Form;
        spec.border = BorderStyle::None;
        spec.topmost = true;
        spec.hideCursor = true;
        spec.text = "LumarelInputProbe";
        spec.bounds = Rect{0, 0, Ui().PrimaryScreenSize().width, Ui().PrimaryScreenSize().height};
        spec.sink = &printer;
        WindowHandle form = Ui().CreateControl(spec);
        const ULONGLONG before = GetTickCount64();
        Ui().SetVisible(form, true);
        std::printf("showing took %llu ms\n", static_cast<unsigned long long>(GetTickCount64() - before));
        std::printf("focus=%p active=%p foreground=%p form=%p\n", static_cast<void*>(GetFocus()),
                    static_cast<void*>(GetActiveWindow()), static_cast<void*>(GetForegroundWindow()),
                    reinterpret_cast<void*>(form));
        std::fflush(stdout);
        const ULONGLONG end = GetTickCount64() + 8000;
        while (GetTickCount64() < end) {
            Message m;
            if (Ui().PeekMessage(m)) {
                Ui().DispatchMessage(m);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            }
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
