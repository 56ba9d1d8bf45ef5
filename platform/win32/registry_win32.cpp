// The registry of the Windows build: HKEY_CURRENT_USER through the wide-character API.
//
// The program speaks UTF-8; text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored as
// UTF-16 exactly as the wide API stores them, so an 8-bit reader of the key sees what the
// ANSI functions would have written ("1" and its NUL is 2 bytes to it), and a folder name
// outside the ANSI code page survives. What this backend hands back for a text value is the
// stored text converted to UTF-8, with the stored value's NUL (if it has one) and no NUL
// added: an empty value has size 0, any other value a size above 0. Other types pass their
// bytes through unchanged.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

namespace lumarel::platform {

namespace {

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

HKEY ToHkey(KeyHandle h) { return h == kCurrentUser ? HKEY_CURRENT_USER : reinterpret_cast<HKEY>(h); }

class WindowsRegistry final : public Registry {
public:
    long CreateKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) override {
        if (parent == 0) return reg::InvalidHandle;
        HKEY key = nullptr;
        const std::wstring wide = win32::Utf8ToWide(subKey);
        LONG rc = ::RegCreateKeyExW(ToHkey(parent), wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                    &key, nullptr);
        if (rc == ERROR_SUCCESS) out = reinterpret_cast<KeyHandle>(key);
        return rc;
    }

    long OpenKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) override {
        if (parent == 0) return reg::InvalidHandle;
        HKEY key = nullptr;
        const std::wstring wide = win32::Utf8ToWide(subKey);
        LONG rc = ::RegOpenKeyExW(ToHkey(parent), wide.c_str(), 0, access, &key);
        if (rc == ERROR_SUCCESS) out = reinterpret_cast<KeyHandle>(key);
        return rc;
    }

    long QueryValue(KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                    std::uint32_t& size) override {
        if (key == 0) return reg::InvalidHandle;
        const HKEY hkey = ToHkey(key);
        const std::wstring wname = win32::Utf8ToWide(name);
        DWORD storedType = 0;
        DWORD storedSize = 0;
        LONG rc = ::RegQueryValueExW(hkey, wname.c_str(), nullptr, &storedType, nullptr, &storedSize);
        if (rc != ERROR_SUCCESS) return rc;
        if (!IsText(storedType)) {
            type = storedType;
            if (data == nullptr) {
                size = storedSize;
                return ERROR_SUCCESS;
            }
            DWORD cb = size;
            rc = ::RegQueryValueExW(hkey, wname.c_str(), nullptr, &storedType, data, &cb);
            type = storedType;
            size = cb;
            return rc;
        }

        // A text: read all of it (it may change between the calls), then convert.
        std::wstring wide;
        for (int attempt = 0;; ++attempt) {
            wide.assign((storedSize + 1) / 2 + 1, L'\0');
            DWORD cb = storedSize;
            rc = ::RegQueryValueExW(hkey, wname.c_str(), nullptr, &storedType, reinterpret_cast<BYTE*>(wide.data()),
                                    &cb);
            if (rc == ERROR_MORE_DATA && attempt < 4) {
                storedSize = cb;
                continue;
            }
            if (rc != ERROR_SUCCESS) return rc;
            storedSize = cb;
            break;
        }
        std::string bytes;
        if (IsText(storedType)) {
            // An odd byte count leaves half a character: it is kept as a character of its own.
            wide.resize((storedSize + 1) / 2);
            bytes = win32::WideToUtf8(wide);
        } else {
            bytes.assign(reinterpret_cast<const char*>(wide.data()), storedSize);
        }
        type = storedType;
        const auto needed = static_cast<std::uint32_t>(bytes.size());
        if (data != nullptr) {
            if (size < needed) {
                size = needed;
                return ERROR_MORE_DATA;
            }
            if (needed > 0) std::memcpy(data, bytes.data(), needed);
        }
        size = needed;
        return ERROR_SUCCESS;
    }

    long SetValue(KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
        if (key == 0) return reg::InvalidHandle;
        const std::wstring wname = win32::Utf8ToWide(name);
        if (IsText(type)) {
            // Every byte is converted, the NUL too when the caller gave one.
            const std::wstring wide =
                win32::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), data ? size : 0));
            return ::RegSetValueExW(ToHkey(key), wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.data()),
                                    static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
        }
        return ::RegSetValueExW(ToHkey(key), wname.c_str(), 0, type, data, size);
    }

    long DeleteValue(KeyHandle key, const std::string& name) override {
        if (key == 0) return reg::InvalidHandle;
        return ::RegDeleteValueW(ToHkey(key), win32::Utf8ToWide(name).c_str());
    }

    long CloseKey(KeyHandle key) override {
        if (key == kCurrentUser) return reg::Success;
        if (key == 0) return reg::InvalidHandle;
        return ::RegCloseKey(reinterpret_cast<HKEY>(key));
    }
};

}  // namespace

Registry& NativeRegistry() {
    static WindowsRegistry registry;
    return registry;
}

}  // namespace lumarel::platform
