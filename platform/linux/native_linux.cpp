#include "platform/linux/native_linux.h"

namespace lumarel::platform {

namespace linux_backend {

std::vector<std::string>& ProcessArguments() {
    static std::vector<std::string> args;
    return args;
}

}  // namespace linux_backend

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

void SetProcessArguments(int argc, char** argv) {
    auto& args = linux_backend::ProcessArguments();
    args.clear();
    for (int i = 1; i < argc; ++i) {
        if (argv && argv[i]) args.emplace_back(argv[i]);
    }
}

}  // namespace lumarel::platform
