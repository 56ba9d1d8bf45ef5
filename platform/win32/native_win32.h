// The Win32 backend: one object per interface, each defined in its own file.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::platform {

Windowing& NativeWindowing();    // windowing_win32.cpp
Registry& NativeRegistry();      // registry_win32.cpp
FileSystem& NativeFileSystem();  // files_win32.cpp
Services& NativeServices();      // services_win32.cpp

// audio_win32.cpp (waveOut); null in a build without sound.
AudioOutput* NativeAudioOutput();

namespace win32 {
// Splits a command line the way the system does for argv: blanks separate, double quotes
// group and are removed. The first element is the program name.
std::vector<std::string> SplitCommandLine(const std::wstring& commandLine);
}  // namespace win32

}  // namespace lumarel::platform
