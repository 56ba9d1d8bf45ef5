#include "platform/win32/native_win32.h"

namespace lumarel::platform {

Platform NativePlatform() {
    Platform p;
    p.windowing = &NativeWindowing();
    p.registry = &NativeRegistry();
    p.files = &NativeFileSystem();
    p.services = &NativeServices();
    p.audio = NativeAudioOutput();
    return p;
}

// Windows reads its own command line (GetCommandLineW), so main()'s arguments are not needed.
void SetProcessArguments(int /*argc*/, char** /*argv*/) {}

}  // namespace lumarel::platform
