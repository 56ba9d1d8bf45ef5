#include "platform/linux/native_linux.h"

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

// The Linux build decodes MP3 with libmpg123 (player/sound_decoders.cpp), not through the system.
std::unique_ptr<Mp3Decoder> OpenSystemMp3Decoder() { return nullptr; }

}  // namespace lumarel::platform
