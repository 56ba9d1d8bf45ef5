// The settings store's behaviour, run against every registry backend: the fake one, the Linux
// hive and (cross-built, under Wine) the real Windows registry. Each executable instantiates
// the suite with its own backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/SettingsStore.h"
#include "tests/settings/store_backend.h"

namespace lumarel::test {
namespace {

using settings::RegistryError;
using settings::SettingsStore;
namespace reg = platform::reg;
using namespace std::string_literals;

}  // namespace

TEST_P(StoreBehaviour, FirstStartLeavesTheEmptyKeyAndReadsTheDefaults) {
    EXPECT_FALSE(backend_->KeyExists(key_));
    {
        SettingsStore store(key_);
        EXPECT_FALSE(store.ReadFlag("OPTION", "Expansion", false));
        EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", true));
        EXPECT_EQ(store.ReadText("OPTION", "Folder", ""), "");
        EXPECT_EQ(store.ReadText("OPTION", "Folder", "C:\\x"), "C:\\x");
    }
    EXPECT_TRUE(backend_->KeyExists(key_));
    EXPECT_TRUE(backend_->SubKeys(key_).empty());
    EXPECT_TRUE(backend_->ValueNames(key_).empty());
    // A key with an empty OPTION section reads the defaults too.
    backend_->SetRaw(option_, "Other", reg::Sz, "1\0"s);
    EXPECT_FALSE(ReadExpansion());
    EXPECT_EQ(ReadFolder("d"), "d");
}

TEST_P(StoreBehaviour, WritesStoreTheTextAndItsNulAsRegSz) {
    {
        SettingsStore store(key_);
        store.WriteFlag("OPTION", "Expansion", true);
        store.WriteText("OPTION", "Folder", "");
    }
    auto expansion = backend_->GetRaw(option_, "Expansion");
    auto folder = backend_->GetRaw(option_, "Folder");
    ASSERT_TRUE(expansion && folder);
    EXPECT_EQ(expansion->type, reg::Sz);
    EXPECT_EQ(expansion->data, "1\0"s);
    EXPECT_EQ(folder->type, reg::Sz);
    EXPECT_EQ(folder->data, "\0"s);
    // Nothing else is written: no value in the settings key, OPTION its only subkey.
    EXPECT_TRUE(backend_->ValueNames(key_).empty());
    EXPECT_EQ(backend_->SubKeys(key_), std::vector<std::string>{"OPTION"});
    EXPECT_TRUE(ReadExpansion());
    EXPECT_EQ(ReadFolder("default"), "");

    {
        SettingsStore store(key_);
        store.WriteFlag("OPTION", "Expansion", false);
        store.WriteText("OPTION", "Folder", "C:\\Movies\\swf");
    }
    EXPECT_EQ(backend_->GetRaw(option_, "Expansion")->data, "0\0"s);
    EXPECT_EQ(backend_->GetRaw(option_, "Folder")->data, "C:\\Movies\\swf\0"s);
    EXPECT_FALSE(ReadExpansion(true));
    EXPECT_EQ(ReadFolder(), "C:\\Movies\\swf");
}

TEST_P(StoreBehaviour, FolderOutsideTheAnsiCodePageSurvivesARoundTrip) {
    const std::string folder = "D:\\映画\\Фильмы\\ελληνικά 🎬";
    {
        SettingsStore store(key_);
        store.WriteText("OPTION", "Folder", folder);
    }
    EXPECT_EQ(ReadFolder(), folder);
    EXPECT_EQ(backend_->GetRaw(option_, "Folder")->type, reg::Sz);
}

TEST_P(StoreBehaviour, DwordExpansionFailsEveryReadUntilAWriteReplacesIt) {
    backend_->SetRaw(option_, "Expansion", reg::Dword, "\x01\x00\x00\x00"s);
    const std::string typeError = "'Expansion' のデータ型が不正です";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ErrorOf([&] { ReadExpansion(); }), typeError);
        EXPECT_EQ(ErrorOf([&] {
                      SettingsStore store(key_);
                      store.ReadText("OPTION", "Expansion", "");
                  }),
                  typeError);
    }
    {
        SettingsStore store(key_);
        store.WriteFlag("OPTION", "Expansion", true);
    }
    EXPECT_EQ(backend_->GetRaw(option_, "Expansion")->type, reg::Sz);
    EXPECT_EQ(ErrorOf([&] { EXPECT_TRUE(ReadExpansion()); }), "");
}

TEST_P(StoreBehaviour, OtherTypesAreInvalidForTextAndFlag) {
    backend_->SetRaw(option_, "Folder", reg::MultiSz, "C:\\a\0\0"s);
    EXPECT_EQ(ErrorOf([&] { ReadFolder(); }), "'Folder' のデータ型が不正です");
    backend_->SetRaw(option_, "Folder", reg::Binary, "\x31\x00"s);
    EXPECT_EQ(ErrorOf([&] { ReadFolder(); }), "'Folder' のデータ型が不正です");
    backend_->SetRaw(option_, "Expansion", 0x1234, "1\0"s);
    EXPECT_EQ(ErrorOf([&] { ReadExpansion(); }), "'Expansion' のデータ型が不正です");
}

TEST_P(StoreBehaviour, FlagTexts) {
    struct Case {
        std::string text;
        int expected;  // 1 true, 0 false, -1 the default
    };
    const std::vector<Case> cases = {
        {"1", 1},         {"2", 1},    {"-1", 1},    {"$1", 1},   {"x1", 1},          {"0x10", 1},
        {"  1", 1},       {"+1", 1},   {"X1", 1},    {"0X1f", 1}, {"2147483647", 1},  {"-2147483648", 1},
        {"$FFFFFFFF", 1}, {"0", 0},    {"00", 0},    {"-0", 0},   {"$0", 0},          {"0x0", 0},
        {"x00000000", 0}, {"", -1},    {"true", -1}, {"yes", -1}, {"1 ", -1},         {"4294967296", -1},
        {"0x", -1},       {"-", -1},   {"$", -1},    {"\t1", -1}, {"2147483648", -1}, {"0x100000000", -1},
        {"1x", -1},       {"--1", -1}, {"0x1g", -1},
    };
    for (const Case& c : cases) {
        backend_->SetRaw(option_, "Expansion", reg::Sz, c.text + '\0');
        for (bool def : {false, true}) {
            bool expected = c.expected < 0 ? def : c.expected == 1;
            EXPECT_EQ(ReadExpansion(def), expected) << "\"" << c.text << "\" default " << def;
        }
    }
}

TEST_P(StoreBehaviour, TextWithoutNulIsReadWhole) {
    backend_->SetRaw(option_, "Expansion", reg::Sz, "1"s);
    EXPECT_TRUE(ReadExpansion());
    backend_->SetRaw(option_, "Folder", reg::Sz, "C:\\nonul"s);
    EXPECT_EQ(ReadFolder(), "C:\\nonul");
    // Only the text up to the first NUL counts.
    backend_->SetRaw(option_, "Folder", reg::Sz, "C:\\a\0C:\\b\0"s);
    EXPECT_EQ(ReadFolder(), "C:\\a");
}

TEST_P(StoreBehaviour, ExpandSzIsTakenAsStored) {
    backend_->SetRaw(option_, "Folder", reg::ExpandSz, "%USERPROFILE%\\Movies\0"s);
    EXPECT_EQ(ReadFolder(), "%USERPROFILE%\\Movies");
    backend_->SetRaw(option_, "Expansion", reg::ExpandSz, "1\0"s);
    EXPECT_TRUE(ReadExpansion());
}

TEST_P(StoreBehaviour, EmptyValueIsEmptyTextWhateverItsType) {
    for (std::uint32_t type : {reg::Sz, reg::ExpandSz, reg::Binary, reg::Dword, reg::MultiSz}) {
        backend_->SetRaw(option_, "Folder", type, "");
        backend_->SetRaw(option_, "Expansion", type, "");
        EXPECT_EQ(ReadFolder("default"), "") << "type " << type;
        EXPECT_TRUE(ReadExpansion(true)) << "type " << type;
        EXPECT_FALSE(ReadExpansion(false)) << "type " << type;
    }
}

TEST_P(StoreBehaviour, KeyAndValueNamesIgnoreCase) {
    // The executables MOVIES.scr and movies.SCR share one key.
    const std::string upper = key_ + "CASE";
    std::string lower = upper;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    {
        SettingsStore store(upper);
        store.WriteFlag("OPTION", "Expansion", true);
        store.WriteText("OPTION", "Folder", "C:\\shared");
    }
    SettingsStore store(lower);
    EXPECT_TRUE(store.ReadFlag("option", "EXPANSION", false));
    EXPECT_EQ(store.ReadText("Option", "folder", ""), "C:\\shared");
    store.WriteText("oPtIoN", "FOLDER", "C:\\again");
    EXPECT_EQ(store.ReadText("OPTION", "Folder", ""), "C:\\again");
    EXPECT_EQ(backend_->SubKeys(upper).size(), 1u);
    EXPECT_EQ(backend_->ValueNames(upper + "\\OPTION").size(), 2u);
}

TEST_P(StoreBehaviour, ErrorEndsTheRoutineAndEarlierWritesStay) {
    // The dialog's OK: Expansion is written, then Folder. A bad Expansion read in the loading
    // routine stops it before Folder is read.
    backend_->SetRaw(option_, "Folder", reg::Sz, "C:\\old\0"s);
    backend_->SetRaw(option_, "Expansion", reg::Dword, "\x00\x00\x00\x00"s);
    bool folderRead = false;
    EXPECT_NE(ErrorOf([&] {
                  SettingsStore store(key_);
                  store.ReadFlag("OPTION", "Expansion", false);
                  store.ReadText("OPTION", "Folder", "");
                  folderRead = true;
              }),
              "");
    EXPECT_FALSE(folderRead);
    {
        SettingsStore store(key_);
        store.WriteFlag("OPTION", "Expansion", true);
    }
    EXPECT_TRUE(ReadExpansion());
    EXPECT_EQ(ReadFolder(), "C:\\old");
}

}  // namespace lumarel::test
