// The store's behaviour list over the native registry backend of this build: the SQLite hive
// on Linux (a fresh hive file per test), the real registry on Windows (a fresh key per test
// below HKEY_CURRENT_USER\Software\velbrook, removed afterwards). Odd values are set up and
// the stored bytes inspected with the system's own 8-bit interface, as another tool would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/SettingsStore.h"
#include "tests/settings/store_backend.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "tests/settings/hive_backend.h"
#endif

namespace lumarel::platform {
Registry& NativeRegistry();
}

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
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()),
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
            if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
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
    std::vector<std::string> SubKeys(const std::string& keyPath) override {
        return Enumerate(keyPath, true);
    }
    std::vector<std::string> ValueNames(const std::string& keyPath) override {
        return Enumerate(keyPath, false);
    }

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

#else

INSTANTIATE_TEST_SUITE_P(Native, StoreBehaviour, ::testing::Values(BackendFactory([] {
                             return std::unique_ptr<StoreBackend>(new HiveBackend);
                         })));

#endif

}  // namespace
}  // namespace lumarel::test
