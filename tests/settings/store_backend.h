// What the store's behaviour tests need from a registry beside the store itself: a fresh key
// path per test, a way to set up any value (the way another tool would write it), and a look
// at the stored data as an 8-bit (ANSI) reader of the registry sees it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "settings/SettingsStore.h"

namespace lumarel::test {

struct RawValue {
    std::uint32_t type = 0;
    std::string data;  // the bytes, NULs included
};

class StoreBackend {
public:
    virtual ~StoreBackend() = default;
    virtual platform::Registry& Registry() = 0;
    // A key path below HKEY_CURRENT_USER that no earlier test used, "Software\velbrook\...".
    virtual std::string NewKeyPath() = 0;
    virtual void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                        const std::string& bytes) = 0;
    virtual std::optional<RawValue> GetRaw(const std::string& keyPath, const std::string& name) = 0;
    virtual bool KeyExists(const std::string& keyPath) = 0;
    virtual std::vector<std::string> SubKeys(const std::string& keyPath) = 0;
    virtual std::vector<std::string> ValueNames(const std::string& keyPath) = 0;
};

using BackendFactory = std::function<std::unique_ptr<StoreBackend>()>;

// The behaviour list (store_behaviour.cpp); each test executable instantiates it with its backend.
class StoreBehaviour : public ::testing::TestWithParam<BackendFactory> {
protected:
    void SetUp() override {
        backend_ = GetParam()();
        platform::Platform p;
        p.registry = &backend_->Registry();
        platform::Install(p);
        key_ = backend_->NewKeyPath();
        option_ = key_ + "\\OPTION";
    }
    void TearDown() override { platform::Install(platform::Platform{}); }

    // The error text of `f`, or "" when it raises none.
    template <typename F>
    static std::string ErrorOf(F f) {
        try {
            f();
        } catch (const settings::RegistryError& e) {
            return e.what();
        }
        return std::string();
    }

    bool ReadExpansion(bool def = false) {
        settings::SettingsStore store(key_);
        return store.ReadFlag("OPTION", "Expansion", def);
    }
    std::string ReadFolder(const std::string& def = std::string()) {
        settings::SettingsStore store(key_);
        return store.ReadText("OPTION", "Folder", def);
    }

    std::unique_ptr<StoreBackend> backend_;
    std::string key_, option_;
};

}  // namespace lumarel::test
