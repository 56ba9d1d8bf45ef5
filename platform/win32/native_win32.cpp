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

}  // namespace lumarel::platform
