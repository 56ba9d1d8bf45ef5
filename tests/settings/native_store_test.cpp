// The store's behaviour list over the native registry backend of this build: the SQLite hive
// on Linux (a fresh hive file per test), the real registry on Windows (a fresh key per test
// below HKEY_CURRENT_USER\Software\velbrook, removed afterwards). Odd values are set up and
// the stored bytes inspected with the system's own 8-bit interface, as another tool would.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/native.h"
#include "settings/SettingsStore.h"
#include "tests/settings/store_backend.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "tests/settings/hive_backend.h"
#endif

namespace lumarel::test {
namespace {

namespace reg = platform::reg;

#ifdef _WIN32

class WindowsBackend : public StoreBackend {
public:
    WindowsBackend() {
        static int counter = 0;
        root_ = "Software\\velbrook\\lumarel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
    }
    ~WindowsBackend() override { RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()); }
    platform::Registry& Registry() override { return platform::NativeRegistry(); }
    std::string NewKeyPath() override { return root_ + "\\Movies"; }
    void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                const std::string& bytes) override {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::optional<RawValue> GetRaw(const std::string& keyPath, const std::string& name) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        DWORD type = 0, size = 0;
        std::optional<RawValue> out;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::string data(size, '\0');
            if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
                ERROR_SUCCESS) {
                data.resize(size);
                out = RawValue{type, data};
            }
        }
        RegCloseKey(key);
        return out;
    }
    bool KeyExists(const std::string& keyPath) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    std::vector<std::string> SubKeys(const std::string& keyPath) override { return Enumerate(keyPath, true); }
    std::vector<std::string> ValueNames(const std::string& keyPath) override { return Enumerate(keyPath, false); }

private:
    std::vector<std::string> Enumerate(const std::string& keyPath, bool keys) {
        std::vector<std::string> out;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return out;
        }
        for (DWORD i = 0;; ++i) {
            char name[512];
            DWORD len = sizeof name;
            LONG rc = keys ? RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumValueA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) break;
            out.emplace_back(name, len);
        }
        RegCloseKey(key);
        return out;
    }
    std::string root_;
};

INSTANTIATE_TEST_SUITE_P(Native, StoreBehaviour, ::testing::Values(BackendFactory([] {
                             return std::unique_ptr<StoreBackend>(new WindowsBackend);
                         })));

// The key is named after this very executable. Run as a copy whose name holds 表 under code
// page 932 (settings_shiftjis_exe in CMakeLists.txt), the 8-bit path holds the byte 0x5C as
// the second byte of 表; the program works on the UTF-8 path, where that cannot happen.
TEST(ExecutableKeyPath, KeyNamedAfterThisExecutable) {
    platform::Platform p;
    p.registry = &platform::NativeRegistry();
    p.services = &platform::NativeServices();
    platform::Install(p);

    wchar_t wide[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, wide, MAX_PATH + 1);
    ASSERT_GT(n, 0u);
    std::wstring file(wide, n);
    file = file.substr(file.find_last_of(L"\\:") + 1);
    const std::size_t dot = file.rfind(L'.');
    const std::wstring base = dot == std::wstring::npos ? file : file.substr(0, dot);
    char utf8[4 * MAX_PATH] = {};
    WideCharToMultiByte(CP_UTF8, 0, base.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    const std::string key = settings::SettingsKeyPath();
    EXPECT_EQ(key, std::string("Software\\velbrook\\") + utf8);

    // The same key from the 8-bit path with the code page's lead bytes, converted to UTF-8.
    char ansi[MAX_PATH + 1] = {};
    DWORD an = GetModuleFileNameA(nullptr, ansi, MAX_PATH + 1);
    const std::string ansiKey =
        settings::SettingsKeyPathFor(std::string(ansi, an), [](unsigned char b) { return IsDBCSLeadByte(b) != 0; });
    wchar_t back[MAX_PATH + 32] = {};
    MultiByteToWideChar(CP_ACP, 0, ansiKey.c_str(), -1, back, MAX_PATH + 32);
    char backUtf8[4 * MAX_PATH] = {};
    WideCharToMultiByte(CP_UTF8, 0, back, -1, backUtf8, sizeof backUtf8, nullptr, nullptr);
    if (base.find_first_not_of(L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.") ==
            std::wstring::npos ||
        GetACP() == 932) {
        EXPECT_EQ(key, backUtf8);
    }
    const bool trail5C = GetACP() == 932 && settings::SettingsKeyPathFor(
                                                std::string(ansi, an), [](unsigned char) { return false; }) != ansiKey;
    std::string hex;
    for (DWORD i = 0; i < an; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned char>(ansi[i]));
        hex += b;
    }
    std::printf("8-bit path: %s\nprogram path: %s\n", hex.c_str(), platform::NativeServices().ExecutablePath().c_str());
    std::printf("code page %u, key %s%s\n", GetACP(), key.c_str(),
                trail5C ? " (the 8-bit path holds a 0x5C trail byte)" : "");
    if (const char* want = std::getenv("LUMAREL_EXPECT_TRAIL_5C"); want && *want == '1') {
        EXPECT_TRUE(trail5C) << "not run under code page 932 with a name holding 表";
    }
    if (std::getenv("LUMAREL_KEYPATH_WRITE") != nullptr && !HasFailure()) {
        settings::SettingsStore store(key);
        store.WriteFlag("OPTION", "Expansion", true);
        store.WriteText("OPTION", "Folder", "C:\\Movies");
    }
    platform::Install(platform::Platform{});
}

// Reads both settings under this executable's key after `wine reg add` set them up
// (reg_add_values.sh), and compares with LUMAREL_REG_EXPECT, e.g. "flag:true folder:C:\\x" or
// "flag:type-error". Skipped when that variable is not set.
TEST(ExecutableKeyPath, ReadsWhatRegAddWrote) {
    const char* expected = std::getenv("LUMAREL_REG_EXPECT");
    if (expected == nullptr) GTEST_SKIP() << "run by reg_add_values.sh";
    platform::Platform p;
    p.registry = &platform::NativeRegistry();
    p.services = &platform::NativeServices();
    platform::Install(p);
    std::string seen;
    try {
        settings::SettingsStore store(settings::SettingsKeyPath());
        seen = store.ReadFlag("OPTION", "Expansion", false) ? "flag:true" : "flag:false";
        seen += " folder:" + store.ReadText("OPTION", "Folder", "");
    } catch (const settings::RegistryError& e) {
        const std::string m = e.what();
        seen += m == "'Expansion' のデータ型が不正です" ? "flag:type-error"
                : m == "'Folder' のデータ型が不正です"  ? " folder:type-error"
                                                        : "other error";
    }
    EXPECT_EQ(seen, expected);
    if (std::getenv("LUMAREL_KEYPATH_WRITE") != nullptr) {
        settings::SettingsStore store(settings::SettingsKeyPath());
        store.WriteFlag("OPTION", "Expansion", true);
    }
    platform::Install(platform::Platform{});
}

#else

INSTANTIATE_TEST_SUITE_P(Native, StoreBehaviour, ::testing::Values(BackendFactory([] {
                             return std::unique_ptr<StoreBackend>(new HiveBackend);
                         })));

// The program's own registry object finds its hive through LUMAREL_HIVE, and what the
// dialog's OK writes lands there in the stored layout.
TEST(NativeHive, BothSettingsWrittenIntoTheDefaultHive) {
    TempDir dir;
    ::setenv("LUMAREL_HIVE", (dir.Path() + "/registry.sqlite3").c_str(), 1);
    const std::string hivePath = platform::DefaultHivePath();
    platform::Platform p;
    p.registry = &platform::NativeRegistry();
    platform::Install(p);
    {
        settings::SettingsStore store("Software\\velbrook\\lumarel");
        store.WriteFlag("OPTION", "Expansion", true);
        store.WriteText("OPTION", "Folder", "");
    }
    platform::Install(platform::Platform{});
    platform::HiveRegistry check(hivePath);
    platform::KeyHandle key = 0;
    ASSERT_EQ(check.OpenKey(platform::kCurrentUser, "software\\velbrook\\LUMAREL\\option", reg::AllAccess, key), 0);
    std::vector<platform::HiveRegistry::ValueInfo> values;
    ASSERT_EQ(check.EnumValues(key, values), 0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, "Expansion");
    EXPECT_EQ(values[0].type, reg::Sz);
    EXPECT_EQ(values[0].data, (std::vector<std::uint8_t>{'1', 0}));
    EXPECT_EQ(values[1].name, "Folder");
    EXPECT_EQ(values[1].data, (std::vector<std::uint8_t>{0}));
    check.CloseKey(key);
}

#endif

}  // namespace
}  // namespace lumarel::test
