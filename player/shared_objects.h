// Where the movies' shared objects (SharedObject.getLocal) are kept from show to show: per user,
// in the settings area, as binary values of the "SharedObjects" subkey of the settings key. One
// value per record, named as the engine names it ("<movie file name>/<object name>"). Nothing
// is ever written outside that subkey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumarel::player {

// The largest record kept, as the local limit for one movie was by default.
constexpr std::size_t kMaxSharedRecordBytes = 100 * 1024;
// Value names longer than this (in bytes) are not used.
constexpr std::size_t kMaxSharedNameBytes = 255;

class SharedObjectStore {
public:
    // `settingsKey` is the settings key below HKEY_CURRENT_USER ("Software\velbrook\<name>").
    explicit SharedObjectStore(std::string settingsKey) : key_(std::move(settingsKey) + "\\SharedObjects") {}

    // Whether `name` can name a stored value: not empty, at most kMaxSharedNameBytes, no control
    // characters and no backslash.
    static bool UsableName(const std::string& name);

    // A record's bytes; false when there is none, or it cannot be read or is no record of ours
    // (not binary, or larger than the limit).
    bool Load(const std::string& name, std::vector<std::uint8_t>& out) const;
    // Stores the record (no bytes: removes it). False when the name is unusable, the record is
    // larger than the limit (nothing is stored then) or the registry refuses.
    bool Save(const std::string& name, std::span<const std::uint8_t> bytes) const;

private:
    std::string key_;
};

}  // namespace lumarel::player
