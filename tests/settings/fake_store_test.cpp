// The store over the fake registry: the shared behaviour list, plus what only a fake can show
// (failures of single operations, a value that grows under the reader, every handle closed).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "settings/SettingsStore.h"
#include "tests/fake/fake_registry.h"
#include "tests/settings/store_backend.h"

namespace lumarel::test {
namespace {

using fake::FakeRegistry;
using settings::RegistryError;
using settings::SettingsStore;
namespace reg = platform::reg;
using namespace std::string_literals;

class FakeBackend : public StoreBackend {
public:
    platform::Registry& Registry() override { return registry; }
    std::string NewKeyPath() override { return "Software\\velbrook\\Movies"; }
    void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                const std::string& bytes) override {
        registry.SetTextAt(keyPath, name, type, bytes);
    }
    std::optional<RawValue> GetRaw(const std::string& keyPath, const std::string& name) override {
        auto v = registry.ValueAt(keyPath, name);
        if (!v) return std::nullopt;
        return RawValue{v->type, std::string(v->data.begin(), v->data.end())};
    }
    bool KeyExists(const std::string& keyPath) override { return registry.KeyExists(keyPath); }
    std::vector<std::string> SubKeys(const std::string& keyPath) override { return registry.SubKeys(keyPath); }
    std::vector<std::string> ValueNames(const std::string& keyPath) override { return registry.ValueNames(keyPath); }
    FakeRegistry registry;
};

}  // namespace

// The fake's handles must all be closed after every behavioural case as well.
class CheckedFakeBackend : public FakeBackend {
public:
    ~CheckedFakeBackend() override {
        EXPECT_EQ(registry.OpenHandles(), 0u);
        EXPECT_EQ(registry.badCloses, 0);
        EXPECT_EQ(registry.accessRequested, std::set<std::uint32_t>{reg::AllAccess});
    }
};

INSTANTIATE_TEST_SUITE_P(Fake, StoreBehaviour, ::testing::Values(BackendFactory([] {
                             return std::unique_ptr<StoreBackend>(new CheckedFakeBackend);
                         })));

namespace {

const std::string kKey = "Software\\velbrook\\Movies";
const std::string kOption = kKey + "\\OPTION";

class FakeStore : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Platform p;
        p.registry = &fake_;
        platform::Install(p);
    }
    void TearDown() override {
        EXPECT_EQ(fake_.OpenHandles(), 0u) << "a handle was left open";
        EXPECT_EQ(fake_.badCloses, 0);
        for (std::uint32_t access : fake_.accessRequested) EXPECT_EQ(access, reg::AllAccess);
        platform::Install(platform::Platform{});
    }
    template <typename F>
    static std::string ErrorOf(F f) {
        try {
            f();
        } catch (const RegistryError& e) {
            return e.what();
        }
        return std::string();
    }
    bool Called(const std::string& prefix) const {
        return std::any_of(fake_.calls.begin(), fake_.calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    FakeRegistry fake_;
};

TEST_F(FakeStore, ValueGrowingBetweenSizeQueryAndReadFailsTheRead) {
    fake_.SetTextAt(kOption, "Folder", reg::Sz, "C:\\grows\0"s);
    fake_.GrowAfterSizeQuery("Folder", 8);
    EXPECT_EQ(ErrorOf([] {
                  SettingsStore store(kKey);
                  store.ReadText("OPTION", "Folder", "");
              }),
              "'Folder' の取得に失敗しました");
    fake_.SetTextAt(kOption, "Expansion", reg::Sz, "1\0"s);
    fake_.GrowAfterSizeQuery("Expansion", 1);
    EXPECT_EQ(ErrorOf([] {
                  SettingsStore store(kKey);
                  store.ReadFlag("OPTION", "Expansion", false);
              }),
              "'Expansion' の取得に失敗しました");
}

TEST_F(FakeStore, FailedDataReadComesBeforeTheTypeCheck) {
    fake_.SetTextAt(kOption, "Expansion", reg::Dword, "\x01\0\0\0"s);
    fake_.Fail(FakeRegistry::Op::QueryData, "Expansion", reg::AccessDenied);
    SettingsStore store(kKey);
    EXPECT_EQ(ErrorOf([&] { store.ReadFlag("OPTION", "Expansion", false); }), "'Expansion' の取得に失敗しました");
}

TEST_F(FakeStore, ReadFailuresBeforeTheDataGiveTheDefault) {
    fake_.SetTextAt(kOption, "Expansion", reg::Sz, "1\0"s);
    fake_.SetTextAt(kOption, "Folder", reg::Sz, "C:\\f\0"s);
    {
        fake_.Fail(FakeRegistry::Op::OpenKey, "OPTION", reg::AccessDenied);
        SettingsStore store(kKey);
        EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", true));
        EXPECT_FALSE(store.ReadFlag("OPTION", "Expansion", false));
        EXPECT_EQ(store.ReadText("OPTION", "Folder", "d"), "d");
        fake_.ClearFailures();
    }
    {
        fake_.Fail(FakeRegistry::Op::QuerySize, "", reg::FileNotFound);
        SettingsStore store(kKey);
        EXPECT_FALSE(store.ReadFlag("OPTION", "Expansion", false));
        EXPECT_EQ(store.ReadText("OPTION", "Folder", "d"), "d");
    }
    EXPECT_FALSE(Called("CreateKey OPTION")) << "a read must not create the section";
}

TEST_F(FakeStore, SettingsKeyNeitherOpenedNorCreated) {
    fake_.SetTextAt(kOption, "Expansion", reg::Sz, "1\0"s);
    fake_.Fail(FakeRegistry::Op::CreateKey, kKey, reg::AccessDenied);
    SettingsStore store(kKey);  // reports nothing
    EXPECT_FALSE(store.ReadFlag("OPTION", "Expansion", false));
    EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", true));
    EXPECT_EQ(store.ReadText("OPTION", "Folder", "d"), "d");
    EXPECT_EQ(ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", false); }), "キー OPTION の作成に失敗しました");
    EXPECT_EQ(ErrorOf([&] { store.WriteText("OPTION", "Folder", "x"); }), "キー OPTION の作成に失敗しました");
    EXPECT_EQ(fake_.ValueAt(kOption, "Expansion")->data, std::vector<std::uint8_t>({'1', 0}));
    EXPECT_FALSE(Called("SetValue"));
}

TEST_F(FakeStore, WriteFailures) {
    {
        fake_.Fail(FakeRegistry::Op::CreateKey, "OPTION", reg::AccessDenied);
        fake_.Fail(FakeRegistry::Op::CreateKey, "Other", reg::WriteFault);
        SettingsStore store(kKey);
        EXPECT_EQ(ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", true); }), "キー OPTION の作成に失敗しました");
        EXPECT_EQ(ErrorOf([&] { store.WriteText("Other", "Folder", "x"); }), "キー Other の作成に失敗しました");
        fake_.ClearFailures();
    }
    {
        // Created but not opened: nothing written, nothing reported.
        fake_.Fail(FakeRegistry::Op::OpenKey, "OPTION", reg::AccessDenied);
        SettingsStore store(kKey);
        EXPECT_EQ(ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", true); }), "");
        EXPECT_EQ(ErrorOf([&] { store.WriteText("OPTION", "Folder", "x"); }), "");
        EXPECT_TRUE(fake_.KeyExists(kOption));
        EXPECT_TRUE(fake_.ValueNames(kOption).empty());
        fake_.ClearFailures();
    }
    {
        fake_.Fail(FakeRegistry::Op::SetValue, "Folder", reg::WriteFault);
        SettingsStore store(kKey);
        EXPECT_EQ(ErrorOf([&] { store.WriteText("OPTION", "Folder", "x"); }), "'Folder' の設定に失敗しました");
        fake_.Fail(FakeRegistry::Op::SetValue, "Expansion", reg::AccessDenied);
        EXPECT_EQ(ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", true); }), "'Expansion' の設定に失敗しました");
        EXPECT_EQ(fake_.OpenHandles(), 1u) << "only the settings key stays open";
    }
}

TEST_F(FakeStore, ErrorEndsTheRoutineAndWhatWasWrittenStays) {
    // OK in the dialog: Expansion written, Folder fails; the store is closed all the same.
    fake_.Fail(FakeRegistry::Op::SetValue, "Folder", reg::WriteFault);
    EXPECT_EQ(ErrorOf([] {
                  SettingsStore store(kKey);
                  store.WriteFlag("OPTION", "Expansion", true);
                  store.WriteText("OPTION", "Folder", "C:\\new");
              }),
              "'Folder' の設定に失敗しました");
    EXPECT_EQ(fake_.ValueAt(kOption, "Expansion")->data, std::vector<std::uint8_t>({'1', 0}));
    EXPECT_FALSE(fake_.ValueAt(kOption, "Folder"));

    // Loading: a bad Expansion leaves Folder unread.
    fake_.ClearFailures();
    fake_.SetTextAt(kOption, "Expansion", reg::Binary, "\x01"s);
    fake_.SetTextAt(kOption, "Folder", reg::Sz, "C:\\f\0"s);
    fake_.calls.clear();
    EXPECT_NE(ErrorOf([] {
                  SettingsStore store(kKey);
                  store.ReadFlag("OPTION", "Expansion", false);
                  store.ReadText("OPTION", "Folder", "");
              }),
              "");
    EXPECT_FALSE(Called("QueryValue Folder"));
}

TEST_F(FakeStore, CallSequenceOfAWriteAndARead) {
    {
        SettingsStore store(kKey);
        store.WriteFlag("OPTION", "Expansion", true);
        store.ReadText("OPTION", "Folder", "");
    }
    const std::vector<std::string> expected = {
        "CreateKey " + kKey + " 0xf003f -> 0", "CreateKey OPTION 0xf003f -> 0", "OpenKey OPTION 0xf003f -> 0",
        "SetValue Expansion 1 2 -> 0",         "OpenKey OPTION 0xf003f -> 0",   "QueryValue Folder size -> 2",
    };
    EXPECT_EQ(fake_.calls, expected);
}

TEST_F(FakeStore, NoRegistryInstalledReadsDefaultsAndFailsWrites) {
    platform::Install(platform::Platform{});
    SettingsStore store(kKey);
    EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", true));
    EXPECT_EQ(store.ReadText("OPTION", "Folder", "d"), "d");
    EXPECT_EQ(ErrorOf([&] { store.WriteText("OPTION", "Folder", ""); }), "キー OPTION の作成に失敗しました");
}

}  // namespace
}  // namespace lumarel::test
