// The Linux backend's pieces. Each interface is implemented in its own file and handed out
// as a function-local static; NativePlatform() bundles them.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::platform {

Windowing& NativeWindowing();    // windowing_linux.cpp (GTK 3)
Registry& NativeRegistry();      // registry_linux.cpp (SQLite hive)
FileSystem& NativeFileSystem();  // files_linux.cpp
Services& NativeServices();      // services_linux.cpp

// audio_linux.cpp (PulseAudio); null in a build without sound.
AudioOutput* NativeAudioOutput();

namespace linux_backend {

// Makes sure GTK is initialised; false when there is no display to talk to. Safe to call
// any number of times; only the first call tries.
bool EnsureGtk();

// The arguments main() received, without the program name (set by SetProcessArguments).
std::vector<std::string>& ProcessArguments();

}  // namespace linux_backend

}  // namespace lumarel::platform
