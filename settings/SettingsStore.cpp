#include "settings/SettingsStore.h"

#include <optional>
#include <vector>

#include "settings/inttext.h"

namespace lumarel::settings {

namespace reg = platform::reg;
using platform::KeyHandle;
using platform::Registry;

namespace {

// True when the byte at `pos` is the second byte of a double-byte character: the bytes right
// before it that are lead bytes form an unbroken run of odd length.
bool IsTrailByte(const std::string& text, std::size_t pos, const LeadBytePredicate& isLeadByte) {
    std::size_t run = 0;
    while (run < pos && isLeadByte(static_cast<unsigned char>(text[pos - run - 1]))) ++run;
    return run % 2 == 1;
}

// Position of the last byte of `text[0, end)` that `match` accepts and that is not the second
// byte of a double-byte character; npos when there is none. Searches backwards.
template <typename Match>
std::size_t FindLastSingleByte(const std::string& text, std::size_t end, Match match,
                               const LeadBytePredicate& isLeadByte) {
    std::size_t i = end;
    while (i > 0) {
        std::size_t pos = i - 1;
        if (match(text[pos])) {
            if (!IsTrailByte(text, pos, isLeadByte)) return pos;
            // Part of a double-byte character: go on in front of its lead byte.
            i = pos - 1;
        } else {
            i = pos;
        }
    }
    return std::string::npos;
}

// Closes a key handle on every way out of the scope that opened it.
class KeyCloser {
public:
    explicit KeyCloser(Registry& registry) : registry_(registry) {}
    ~KeyCloser() {
        if (handle != 0) registry_.CloseKey(handle);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    KeyHandle handle = 0;

private:
    Registry& registry_;
};

std::string Quoted(const char* before, const std::string& name, const char* after) {
    return std::string(before) + name + after;
}

// The value's data as text. `size` is the size the registry reported for it.
std::string ReadValueAsText(Registry& registry, KeyHandle section, const std::string& name, std::uint32_t size) {
    if (size == 0) return std::string();
    std::vector<std::uint8_t> buffer(size);
    std::uint32_t type = 0;
    std::uint32_t got = size;
    if (registry.QueryValue(section, name, type, buffer.data(), got) != reg::Success) {
        throw RegistryError(Quoted("'", name, "' の取得に失敗しました"));
    }
    if (type != reg::Sz && type != reg::ExpandSz) {
        throw RegistryError(Quoted("'", name, "' のデータ型が不正です"));
    }
    if (got > size) got = size;
    std::size_t length = 0;
    while (length < got && buffer[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

// Opens `section` below `key` and looks up the value's size. Empty when the section cannot be
// opened or the value does not exist: the caller then returns its default.
std::optional<std::string> ReadValue(Registry& registry, KeyHandle key, const std::string& section,
                                     const std::string& name) {
    if (key == 0) return std::nullopt;
    KeyCloser sectionKey(registry);
    if (registry.OpenKey(key, section, reg::AllAccess, sectionKey.handle) != reg::Success) {
        sectionKey.handle = 0;
        return std::nullopt;
    }
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (registry.QueryValue(sectionKey.handle, name, type, nullptr, size) != reg::Success) {
        return std::nullopt;
    }
    return ReadValueAsText(registry, sectionKey.handle, name, size);
}

void WriteValue(Registry* registry, KeyHandle key, const std::string& section, const std::string& name,
                const std::string& text) {
    // Without a settings key there is nothing to create the section under.
    if (registry == nullptr || key == 0) {
        throw RegistryError(Quoted("キー ", section, " の作成に失敗しました"));
    }
    {
        KeyCloser created(*registry);
        if (registry->CreateKey(key, section, reg::AllAccess, created.handle) != reg::Success) {
            created.handle = 0;
            throw RegistryError(Quoted("キー ", section, " の作成に失敗しました"));
        }
    }
    KeyCloser sectionKey(*registry);
    if (registry->OpenKey(key, section, reg::AllAccess, sectionKey.handle) != reg::Success) {
        sectionKey.handle = 0;
        return;
    }
    // The text and its terminating NUL.
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.c_str());
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    if (registry->SetValue(sectionKey.handle, name, reg::Sz, data, size) != reg::Success) {
        throw RegistryError(Quoted("'", name, "' の設定に失敗しました"));
    }
}

}  // namespace

std::string SettingsKeyPathFor(const std::string& exePath, const LeadBytePredicate& isLeadByte) {
    const auto isSeparator = [](char c) { return c == '\\' || c == ':' || c == '/'; };
    std::size_t sep = FindLastSingleByte(exePath, exePath.size(), isSeparator, isLeadByte);
    std::string fileName = sep == std::string::npos ? exePath : exePath.substr(sep + 1);
    std::size_t dot = FindLastSingleByte(
        fileName, fileName.size(), [](char c) { return c == '.'; }, isLeadByte);
    std::string baseName = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    return "Software\\velbrook\\" + baseName;
}

std::string SettingsKeyPath() {
    platform::Services* services = platform::Current().services;
    std::string path = services != nullptr ? services->ExecutablePath() : std::string();
    // The backends report UTF-8: no byte of a multi-byte character equals "\", ":", "/" or ".".
    return SettingsKeyPathFor(path, [](unsigned char) { return false; });
}

SettingsStore::SettingsStore(const std::string& keyPath) : registry_(platform::Current().registry) {
    if (registry_ == nullptr) return;
    KeyHandle handle = 0;
    if (registry_->CreateKey(platform::kCurrentUser, keyPath, reg::AllAccess, handle) == reg::Success) {
        key_ = handle;
    }
}

SettingsStore::~SettingsStore() {
    if (registry_ != nullptr && key_ != 0) registry_->CloseKey(key_);
}

bool SettingsStore::ReadFlag(const std::string& section, const std::string& name, bool defaultValue) {
    if (registry_ == nullptr) return defaultValue;
    std::optional<std::string> text = ReadValue(*registry_, key_, section, name);
    if (!text) return defaultValue;
    std::optional<std::int32_t> number = TextToInt(*text);
    if (!number) return defaultValue;
    return *number != 0;
}

std::string SettingsStore::ReadText(const std::string& section, const std::string& name,
                                    const std::string& defaultValue) {
    if (registry_ == nullptr) return defaultValue;
    std::optional<std::string> text = ReadValue(*registry_, key_, section, name);
    return text ? *text : defaultValue;
}

void SettingsStore::WriteFlag(const std::string& section, const std::string& name, bool value) {
    WriteValue(registry_, key_, section, name, value ? "1" : "0");
}

void SettingsStore::WriteText(const std::string& section, const std::string& name, const std::string& value) {
    WriteValue(registry_, key_, section, name, value);
}

}  // namespace lumarel::settings
