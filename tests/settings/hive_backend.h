// Linux test helpers: a temporary folder, and the store-test view of a hive file in it.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/linux/hive_linux.h"
#include "tests/settings/store_backend.h"

namespace lumarel::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumarel-hive-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) {
            // Make everything removable again (tests make parts read-only).
            std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                         ec);
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class HiveBackend : public StoreBackend {
public:
    HiveBackend() : hive_(dir_.Path() + "/lumarel/registry.sqlite3") {}
    platform::HiveRegistry& Hive() { return hive_; }
    const std::string& Folder() const { return dir_.Path(); }

    platform::Registry& Registry() override { return hive_; }
    std::string NewKeyPath() override { return "Software\\velbrook\\Movies"; }
    void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                const std::string& bytes) override {
        platform::KeyHandle key = 0;
        if (hive_.CreateKey(platform::kCurrentUser, keyPath, platform::reg::AllAccess, key) != 0) {
            ADD_FAILURE() << "cannot create " << keyPath;
            return;
        }
        EXPECT_EQ(hive_.SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                 static_cast<std::uint32_t>(bytes.size())),
                  0);
        hive_.CloseKey(key);
    }
    std::optional<RawValue> GetRaw(const std::string& keyPath, const std::string& name) override {
        platform::KeyHandle key = 0;
        if (hive_.OpenKey(platform::kCurrentUser, keyPath, platform::reg::AllAccess, key) != 0) {
            return std::nullopt;
        }
        std::optional<RawValue> out;
        std::uint32_t type = 0, size = 0;
        if (hive_.QueryValue(key, name, type, nullptr, size) == 0) {
            std::string data(size, '\0');
            if (hive_.QueryValue(key, name, type, reinterpret_cast<std::uint8_t*>(data.data()), size) == 0) {
                data.resize(size);
                out = RawValue{type, data};
            }
        }
        hive_.CloseKey(key);
        return out;
    }
    bool KeyExists(const std::string& keyPath) override {
        platform::KeyHandle key = 0;
        if (hive_.OpenKey(platform::kCurrentUser, keyPath, platform::reg::AllAccess, key) != 0) {
            return false;
        }
        hive_.CloseKey(key);
        return true;
    }
    std::vector<std::string> SubKeys(const std::string& keyPath) override {
        std::vector<std::string> names;
        platform::KeyHandle key = 0;
        if (hive_.OpenKey(platform::kCurrentUser, keyPath, platform::reg::AllAccess, key) == 0) {
            hive_.EnumSubKeys(key, names);
            hive_.CloseKey(key);
        }
        return names;
    }
    std::vector<std::string> ValueNames(const std::string& keyPath) override {
        std::vector<std::string> names;
        platform::KeyHandle key = 0;
        if (hive_.OpenKey(platform::kCurrentUser, keyPath, platform::reg::AllAccess, key) == 0) {
            std::vector<platform::HiveRegistry::ValueInfo> values;
            hive_.EnumValues(key, values);
            for (auto& v : values) names.push_back(v.name);
            hive_.CloseKey(key);
        }
        return names;
    }

private:
    TempDir dir_;
    platform::HiveRegistry hive_;
};

}  // namespace lumarel::test
