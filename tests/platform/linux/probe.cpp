// A probe for looking at the GTK forms by hand: a settings-style dialog with Japanese texts,
// a full-screen black saver-style form, and the message boxes.
//   linux_ui_probe [dialog|saver|box|error|folder] [--quit-after MS]
// Every message that reaches the application is printed; closing the form ends the probe.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/native_linux.h"

using namespace lumarel::platform;

namespace {

bool g_quit = false;

struct Printer : EventSink {
    const char* name;
    explicit Printer(const char* n) : name(n) {}
    void HandleEvent(const Event& e) override {
        static const char* kinds[] = {"Message", "Activate", "Close", "Click", "Paint", "Resize"};
        const Message& m = e.message;
        std::printf("%-8s %-8s msg=0x%04x wParam=0x%lx x=%d y=%d\n", name, kinds[static_cast<int>(e.kind)], m.msg,
                    static_cast<unsigned long>(m.wParam), m.x, m.y);
        std::fflush(stdout);
        if (e.kind == EventKind::Close) g_quit = true;
        if (e.kind == EventKind::Message && m.msg == msg::Timer && m.wParam == 99) g_quit = true;
    }
};

WindowHandle Make(ControlKind kind, WindowHandle parent, Rect r, const char* text, EventSink* sink, int tab = -1,
                  BorderStyle border = BorderStyle::Dialog) {
    WindowSpec s;
    s.kind = kind;
    s.parent = parent;
    s.bounds = r;
    s.text = text;
    s.visible = true;
    s.tabOrder = tab;
    s.border = border;
    s.font.name = "ＭＳ Ｐゴシック";
    s.font.height = 12;
    s.sink = sink;
    return NativeWindowing().CreateControl(s);
}

}  // namespace

int main(int argc, char** argv) {
    SetProcessArguments(argc, argv);
    std::string mode = argc > 1 ? argv[1] : "dialog";
    int quitAfter = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--quit-after") == 0) quitAfter = std::atoi(argv[i + 1]);
    }
    NativeServices().InitializeComponents();
    Windowing& w = NativeWindowing();
    static Printer formP("form"), panelP("panel"), hostP("host"), okP("ok"), cancelP("cancel"), editP("edit"),
        checkP("check"), browseP("browse");

    WindowHandle form = 0;
    if (mode == "saver") {
        Size s = w.PrimaryScreenSize();
        form = Make(ControlKind::Form, 0, Rect{0, 0, s.width, s.height}, "saver", &formP, -1, BorderStyle::None);
        WindowHandle panel = Make(ControlKind::Panel, form, Rect{0, 0, s.width, s.height}, "", &panelP);
        w.SetColor(panel, 0x000000);
        WindowHandle host =
            Make(ControlKind::Host, panel, Rect{s.width / 4, s.height / 4, s.width / 2, s.height / 2}, "", &hostP);
        std::vector<std::uint32_t> px(static_cast<std::size_t>(s.width / 2) * static_cast<std::size_t>(s.height / 2));
        for (std::size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 37);
        w.PresentPixels(host, px.data(), s.width / 2, s.height / 2, s.width / 2);
        w.ShowCursor(false);
    } else {
        form = Make(ControlKind::Form, 0, Rect{0, 0, 420, 170}, "設定", &formP);
        Make(ControlKind::Label, form, Rect{12, 14, 200, 16}, "ムービーフォルダ", nullptr);
        WindowHandle edit = Make(ControlKind::Edit, form, Rect{12, 34, 310, 24}, "/home/user/動画", &editP, 0);
        Make(ControlKind::Button, form, Rect{330, 34, 78, 24}, "参照...", &browseP, 1);
        WindowHandle check =
            Make(ControlKind::CheckBox, form, Rect{12, 70, 300, 20}, "画面サイズにあわせる", &checkP, 2);
        Make(ControlKind::Bevel, form, Rect{8, 100, 404, 2}, "", nullptr);
        Make(ControlKind::Button, form, Rect{248, 118, 78, 26}, "OK", &okP, 3);
        Make(ControlKind::Button, form, Rect{332, 118, 78, 26}, "Cancel", &cancelP, 4);
        w.SetChecked(check, true);
        w.CenterOnScreen(form);
        w.SetFocus(edit);
    }
    w.SetVisible(form, true);
    if (quitAfter > 0) w.StartTimer(form, 99, quitAfter);

    if (mode == "box") {
        w.MessageBox(0, "ERROR - 複数アプリケーションの起動は制限されています。", "Lumarel", MessageBoxKind::Plain);
    } else if (mode == "error") {
        w.MessageBox(form, "'abc' は整数ではありません.", "Lumarel", MessageBoxKind::Error);
    } else if (mode == "folder") {
        std::string f = w.BrowseForFolder(form, "フォルダの参照", "/usr/share");
        std::printf("folder: [%s]\n", f.c_str());
    }

    while (!g_quit) {
        Message m;
        if (w.PeekMessage(m)) {
            w.DispatchMessage(m);
        } else {
            w.WaitMessage();
        }
    }
    w.DestroyControl(form);
    return 0;
}
