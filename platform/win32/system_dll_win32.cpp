// Loading DLLs of the system folder, in a file of its own so the backends that need it (sound
// output, the MP3 codec) can be linked without the rest of the native platform.
#include "platform/win32/native_win32.h"

namespace lumarel::platform {

HMODULE win32::LoadSystemDll(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(dir, n) + L"\\" + name;
    return ::LoadLibraryW(path.c_str());  // never freed: its functions are used until exit
}

}  // namespace lumarel::platform
