// Process services over the kernel, shell and component-object calls of Windows.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
// Interface members share names with these macros of <windows.h>; the W calls are used by name.
#undef LoadLibrary

#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

namespace lumarel::platform {
namespace win32 {

std::vector<std::string> SplitCommandLine(const std::wstring& commandLine) {
    std::vector<std::string> out;
    // CommandLineToArgvW treats an empty line as "the current program": keep that case empty.
    if (commandLine.find_first_not_of(L" \t") == std::wstring::npos) return out;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
    if (argv == nullptr) return out;
    out.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) out.push_back(WideToUtf8(argv[i]));
    ::LocalFree(argv);
    return out;
}

}  // namespace win32

namespace {

// The password-change entry of the system's library:
// DWORD PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1, LPVOID reserved2).
typedef DWORD(WINAPI* PasswordChangeFn)(LPCSTR provider, HWND parent, DWORD, LPVOID);

class Win32Services final : public Services {
public:
    std::vector<std::string> CommandLineArguments() override {
        std::vector<std::string> all = win32::SplitCommandLine(::GetCommandLineW());
        if (!all.empty()) all.erase(all.begin());
        return all;
    }

    std::string ExecutablePath() override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
            if (n == 0) return {};
            if (n < size) {  // fits; n excludes the terminator
                buffer.resize(n);
                return win32::WideToUtf8(buffer);
            }
            if (buffer.size() >= 32768) return {};  // longer than any Windows path
            buffer.resize(buffer.size() * 2);
        }
    }

    std::string SystemDirectory() override {
        const UINT need = ::GetSystemDirectoryW(nullptr, 0);  // includes the terminator
        if (need == 0) return {};
        std::wstring buffer(need, L'\0');
        const UINT n = ::GetSystemDirectoryW(buffer.data(), need);
        if (n == 0 || n >= need) return {};
        buffer.resize(n);
        return win32::WideToUtf8(buffer);
    }

    LibraryHandle LoadLibrary(const std::string& pathOrName) override {
        if (pathOrName.empty()) return 0;
        const std::wstring wide = win32::Utf8ToWide(pathOrName);
        return reinterpret_cast<LibraryHandle>(::LoadLibraryW(wide.c_str()));
    }

    PasswordEntry FindPasswordEntry(LibraryHandle lib, const std::string& name) override {
        if (lib == 0 || name.empty()) return {};
        FARPROC proc = ::GetProcAddress(reinterpret_cast<HMODULE>(lib), name.c_str());
        if (proc == nullptr) return {};
        auto fn = reinterpret_cast<PasswordChangeFn>(reinterpret_cast<void*>(proc));
        return [fn](const std::string& provider, std::uintptr_t parent, std::uint32_t a, std::uint32_t b) -> long {
            const std::string ansi = win32::Utf8ToAnsiBytes(provider);
            return static_cast<long>(fn(ansi.c_str(), reinterpret_cast<HWND>(parent), static_cast<DWORD>(a),
                                        reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(b))));
        };
    }

    void FreeLibrary(LibraryHandle lib) override {
        if (lib != 0) ::FreeLibrary(reinterpret_cast<HMODULE>(lib));
    }

    long CreateNamedLock(const std::string& name, LockHandle& out) override {
        const std::wstring wide = win32::Utf8ToWide(name);
        HANDLE h = ::CreateMutexW(nullptr, TRUE, wide.empty() ? nullptr : wide.c_str());
        const DWORD err = ::GetLastError();  // read at once: 0 new, ERROR_ALREADY_EXISTS (183)
        out = reinterpret_cast<LockHandle>(h);
        if (h == nullptr && err == 0) return ERROR_INVALID_HANDLE;  // never report a failure as success
        return static_cast<long>(err);
    }

    // Releases ownership only; the handle stays open until the process ends.
    void ReleaseLock(LockHandle lock) override {
        if (lock != 0) ::ReleaseMutex(reinterpret_cast<HANDLE>(lock));
    }

    void Sleep(int milliseconds) override { ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

    std::uint64_t TickMilliseconds() override { return ::GetTickCount64(); }

    void InitializeComponents() override {
        ::OleInitialize(nullptr);  // single-threaded apartment
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof icc;
        icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
        ::InitCommonControlsEx(&icc);
    }
};

}  // namespace

Services& NativeServices() {
    static Win32Services services;
    return services;
}

// Windows reads its own command line (GetCommandLineW), so main()'s arguments are not needed.
void SetProcessArguments(int /*argc*/, char** /*argv*/) {}

}  // namespace lumarel::platform
