// The settings store: two per-user settings kept in the registry under
// HKEY_CURRENT_USER\Software\velbrook\<executable base name>, one subkey per section.
//
// A store is opened for one use and closed again; nothing is cached, every read goes to the
// registry. Reads fall back to the caller's default when the section or the value is missing;
// broken values and failed writes raise RegistryError, which carries its message only.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace lumarel::settings {

class RegistryError : public platform::UserError {
public:
    explicit RegistryError(const std::string& message) : platform::UserError(message) {}
};

// Tells whether a byte lies in the lead-byte ranges of the code page the path is written in.
using LeadBytePredicate = std::function<bool(unsigned char)>;

// "Software\velbrook\" + the base name of `exePath`: the text after its last "\", ":" or "/",
// then the part before the last ".". The second byte of a double-byte character is never taken
// for one of those separators. Pure; the backends hand over UTF-8 paths, where no byte of a
// multi-byte character can equal an ASCII separator, so the program passes a predicate that is
// always false.
std::string SettingsKeyPathFor(const std::string& exePath, const LeadBytePredicate& isLeadByte);

// The key path for the running executable.
std::string SettingsKeyPath();

class SettingsStore {
public:
    // Opens or creates HKEY_CURRENT_USER\keyPath. Reports nothing when that fails; the store
    // then reads the defaults and every write raises the section-creation error.
    explicit SettingsStore(const std::string& keyPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool ReadFlag(const std::string& section, const std::string& name, bool defaultValue);
    std::string ReadText(const std::string& section, const std::string& name, const std::string& defaultValue);
    void WriteFlag(const std::string& section, const std::string& name, bool value);
    void WriteText(const std::string& section, const std::string& name, const std::string& value);

private:
    platform::Registry* registry_;  // null only when no registry is installed at all
    platform::KeyHandle key_ = 0;   // 0: the settings key could be neither opened nor created
};

}  // namespace lumarel::settings
