// The Linux backend's pieces. Each interface is implemented in its own file and handed out
// as a function-local static (platform/native.h): windowing_linux*.cpp (GTK 3),
// registry_linux.cpp (SQLite hive), files_linux.cpp, services_linux.cpp, audio_linux.cpp
// (PulseAudio). NativePlatform() bundles them.
#pragma once

#include <string>
#include <vector>

#include "platform/native.h"

namespace lumarel::platform {

namespace linux_backend {

// Makes sure GTK is initialised; false when there is no display to talk to. Safe to call
// any number of times; only the first call tries.
bool EnsureGtk();

// The arguments main() received, without the program name (set by SetProcessArguments,
// services_linux.cpp).
std::vector<std::string>& ProcessArguments();

}  // namespace linux_backend

}  // namespace lumarel::platform
