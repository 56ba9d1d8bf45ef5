// The Win32 backend: one object per interface (platform/native.h), each defined in its own
// file: windowing_win32*.cpp, registry_win32.cpp, files_win32.cpp, services_win32.cpp,
// audio_win32.cpp (waveOut).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/native.h"

namespace lumarel::platform {

namespace win32 {
// A DLL from the system folder (never the program's own or the current one), kept loaded for
// the life of the process; null when it cannot be loaded (system_dll_win32.cpp).
HMODULE LoadSystemDll(const wchar_t* name);
// The address of `name` in `lib` as a function pointer of type F (null when absent).
template <typename F>
void FindProc(HMODULE lib, const char* name, F& out) {
    out = lib ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(lib, name))) : nullptr;
}
// Splits a command line the way the system does for argv: blanks separate, double quotes
// group and are removed. The first element is the program name.
std::vector<std::string> SplitCommandLine(const std::wstring& commandLine);
}  // namespace win32

}  // namespace lumarel::platform
