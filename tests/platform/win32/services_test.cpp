#include <windows.h>
#undef LoadLibrary

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

using namespace lumarel::platform;
using lumarel::platform::win32::SplitCommandLine;

namespace {

using Args = std::vector<std::string>;

TEST(Win32CommandLine, SplitsTheSystemsWay) {
    EXPECT_EQ(SplitCommandLine(L"lumarel.scr /c:1234"), (Args{"lumarel.scr", "/c:1234"}));
    EXPECT_EQ(SplitCommandLine(L"lumarel.scr /p 1234"), (Args{"lumarel.scr", "/p", "1234"}));
    EXPECT_EQ(SplitCommandLine(L"lumarel.scr   /s\t"), (Args{"lumarel.scr", "/s"}));
    // Quotes group and are removed, also inside a word.
    EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\Saver\\lumarel.scr\" /S"),
              (Args{"C:\\Program Files\\Saver\\lumarel.scr", "/S"}));
    EXPECT_EQ(SplitCommandLine(L"x \"/a 4711\" b"), (Args{"x", "/a 4711", "b"}));
    EXPECT_EQ(SplitCommandLine(L"x a\"b c\"d"), (Args{"x", "ab cd"}));
    EXPECT_EQ(SplitCommandLine(L"x \"\""), (Args{"x", ""}));
    // Texts outside the ANSI code page survive as UTF-8.
    EXPECT_EQ(SplitCommandLine(L"x 設定 한국"), (Args{"x", "設定", "한국"}));
    EXPECT_TRUE(SplitCommandLine(L"").empty());
    EXPECT_TRUE(SplitCommandLine(L"   ").empty());
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Runs this test program again with `args`; returns its exit code (or -1).
long RunSelf(const std::wstring& args) {
    std::wstring line = L"\"" + OwnPath() + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return -1;
    }
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

std::string LockName(const char* what) {
    return std::string("Lumarel test lock ") + what + " " + std::to_string(GetCurrentProcessId());
}

TEST(Win32Services, SecondNamedLockFromAnotherProcessReportsItExists) {
    Services& s = NativeServices();
    const std::string name = LockName("a");
    LockHandle lock = 0;
    ASSERT_EQ(s.CreateNamedLock(name, lock), 0);
    EXPECT_NE(lock, 0u);
    const std::wstring probe = L"--lock-probe \"" + win32::Utf8ToWide(name) + L"\"";
    EXPECT_EQ(RunSelf(probe), ERROR_ALREADY_EXISTS);
    // Releasing does not close the handle: the mutex lives on until this process ends.
    s.ReleaseLock(lock);
    EXPECT_EQ(RunSelf(probe), ERROR_ALREADY_EXISTS);
    // A name nobody holds is free in another process.
    EXPECT_EQ(RunSelf(L"--lock-probe \"" + win32::Utf8ToWide(LockName("free")) + L"\""), 0);
}

TEST(Win32Services, NamedLockWithJapaneseName) {
    Services& s = NativeServices();
    const std::string name = "vbkLumarel テスト " + std::to_string(GetCurrentProcessId());
    LockHandle first = 0, second = 0;
    EXPECT_EQ(s.CreateNamedLock(name, first), 0);
    EXPECT_EQ(s.CreateNamedLock(name, second), ERROR_ALREADY_EXISTS);
    EXPECT_NE(second, 0u);  // the handle comes out even when the code is not 0
    s.ReleaseLock(first);
}

TEST(Win32Services, CommandLineArgumentsOmitTheProgramName) {
    // The child reports how many arguments it saw after its own name.
    EXPECT_EQ(RunSelf(L"--arg-count \"two words\" /c:1234"), 3);
    EXPECT_EQ(RunSelf(L"--arg-count"), 1);
}

TEST(Win32Services, PathsLibrariesAndClock) {
    Services& s = NativeServices();
    const std::string exe = s.ExecutablePath();
    EXPECT_EQ(exe, win32::WideToUtf8(OwnPath()));
    ASSERT_GT(exe.size(), 4u);
    EXPECT_EQ(exe.substr(exe.size() - 4), ".exe");

    const std::string sys = s.SystemDirectory();
    ASSERT_FALSE(sys.empty());
    EXPECT_NE(sys.back(), '\\');

    LibraryHandle kernel = s.LoadLibrary(sys + "\\kernel32.dll");
    ASSERT_NE(kernel, 0u);
    EXPECT_TRUE(static_cast<bool>(s.FindPasswordEntry(kernel, "GetTickCount")));
    EXPECT_FALSE(static_cast<bool>(s.FindPasswordEntry(kernel, "NoSuchEntryAnywhere")));
    s.FreeLibrary(kernel);
    EXPECT_EQ(s.LoadLibrary(sys + "\\no-such-library-here.dll"), 0u);
    EXPECT_EQ(s.LoadLibrary(""), 0u);
    EXPECT_FALSE(static_cast<bool>(s.FindPasswordEntry(0, "PwdChangePasswordA")));

    // The clock is the system's tick count (its step is coarse; only its direction is checked).
    const std::uint64_t t0 = s.TickMilliseconds();
    s.Sleep(1);
    EXPECT_GE(s.TickMilliseconds(), t0);
    EXPECT_GT(t0, 0u);
}

}  // namespace

int main(int argc, char** argv) {
    // Child modes used by the tests above (arguments read the backend's way, in UTF-8).
    const std::vector<std::string> args = NativeServices().CommandLineArguments();
    if (!args.empty() && args[0] == "--lock-probe") {
        LockHandle h = 0;
        return static_cast<int>(NativeServices().CreateNamedLock(args.size() >= 2 ? args[1] : "", h));
    }
    if (!args.empty() && args[0] == "--arg-count") return static_cast<int>(args.size());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
