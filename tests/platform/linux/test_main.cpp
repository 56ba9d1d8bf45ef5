// The test runner, with two helper modes that the tests start as separate processes:
//   --lock-helper NAME   takes the named lock, prints the result code, and ends
//   --no-display-helper  exercises the windowing without any display (DISPLAY unset)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/native_linux.h"

using namespace lumarel::platform;

namespace {

int LockHelper(const char* name) {
    LockHandle h = 0;
    long code = NativeServices().CreateNamedLock(name, h);
    std::printf("%ld %d\n", code, h != 0 ? 1 : 0);
    std::fflush(stdout);
    NativeServices().ReleaseLock(h);
    return 0;
}

int NoDisplayHelper() {
    Windowing& w = NativeWindowing();
    WindowSpec spec;
    spec.kind = ControlKind::Form;
    spec.bounds = Rect{0, 0, 100, 100};
    WindowHandle f = w.CreateControl(spec);
    w.SetVisible(f, true);
    w.SetText(f, "x");
    w.SetBounds(f, Rect{1, 2, 3, 4});
    w.PresentPixels(f, nullptr, 0, 0, 0);
    w.ShowCursor(false);
    Size s = w.PrimaryScreenSize();
    w.PostMessage(f, 0x401, 7, 0);
    Message m;
    bool got = w.PeekMessage(m);
    if (got) w.DispatchMessage(m);
    w.MessageBox(f, "no display here", "Probe", MessageBoxKind::Plain);
    std::printf("handle=%lu screen=%dx%d posted=%d wparam=%lu folder=[%s]\n", static_cast<unsigned long>(f), s.width,
                s.height, got ? 1 : 0, static_cast<unsigned long>(m.wParam), w.BrowseForFolder(f, "t", "/").c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--lock-helper") == 0) return LockHelper(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--no-display-helper") == 0) return NoDisplayHelper();
    SetProcessArguments(argc, argv);
    Install(NativePlatform());  // as the program does: the framework's loop runs over it
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
