// Forming the settings key path from the executable's path.
#include <gtest/gtest.h>

#include <string>

#include "settings/SettingsStore.h"
#include "settings/inttext.h"
#include "tests/fake/fake_services.h"

namespace lumarel::test {
namespace {

using settings::SettingsKeyPathFor;

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS (code page 932) lead bytes.
bool ShiftJisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string Key(const std::string& exe) { return SettingsKeyPathFor(exe, NoLeadBytes); }
std::string SjisKey(const std::string& exe) { return SettingsKeyPathFor(exe, ShiftJisLead); }

TEST(KeyPath, BaseNameOfTheExecutable) {
    const std::string p = "Software\\velbrook\\";
    EXPECT_EQ(Key("C:\\Windows\\Movies.scr"), p + "Movies");
    EXPECT_EQ(Key("C:\\Windows\\Night.scr"), p + "Night");
    EXPECT_EQ(Key("C:\\Windows\\Night"), p + "Night");      // no dot
    EXPECT_EQ(Key("C:\\my.dir\\Night"), p + "Night");       // a dot in a folder
    EXPECT_EQ(Key("C:\\Windows\\a.b.c.scr"), p + "a.b.c");  // several dots
    EXPECT_EQ(Key("C:\\Windows\\.scr"), p);                 // a leading dot only
    EXPECT_EQ(Key("C:\\Windows\\..scr"), p + ".");
    EXPECT_EQ(Key("C:\\Windows\\name."), p + "name");
    EXPECT_EQ(Key("C:Movies.scr"), p + "Movies");  // drive-relative
    EXPECT_EQ(Key("Movies.scr"), p + "Movies");    // no separator
    EXPECT_EQ(Key("C:\\Windows\\"), p);
    EXPECT_EQ(Key(""), p);
    EXPECT_EQ(Key("C:\\Windows\\MOVIES.SCR"), p + "MOVIES");  // case kept; keys ignore it
    // POSIX paths of the Linux build; "/" cannot occur in a Windows file name.
    EXPECT_EQ(Key("/usr/lib/lumarel/lumarel"), p + "lumarel");
    EXPECT_EQ(Key("/home/u/.local/bin/night.saver.scr"), p + "night.saver");
}

TEST(KeyPath, ShiftJisTrailByteIsNoSeparator) {
    const std::string p = "Software\\velbrook\\";
    // 表 is 0x95 0x5C in Shift-JIS: its second byte has the value of "\".
    const std::string hyo = "\x95\x5C";
    EXPECT_EQ(SjisKey("C:\\Savers\\" + hyo + ".scr"), p + hyo);
    EXPECT_EQ(SjisKey("C:\\Savers\\" + hyo + hyo + "x.scr"), p + hyo + hyo + "x");
    EXPECT_EQ(SjisKey("C:\\" + hyo + "\\Movies.scr"), p + "Movies");
    EXPECT_EQ(SjisKey("C:\\" + hyo + "\\" + hyo), p + hyo);
    // Two lead bytes before "\": a complete character, then a real separator.
    EXPECT_EQ(SjisKey("C:\\a\x81\x81\\b.scr"), p + "b");
    // Three: the last lead byte pairs with the "\".
    EXPECT_EQ(SjisKey("C:\\a\x81\x81\x81\\b.scr"), p + "a\x81\x81\x81\\b");
    // Without the code page the same bytes split the name.
    EXPECT_EQ(Key("C:\\Savers\\" + hyo + ".scr"), p);
    // The program's own paths are UTF-8: 表 is E8 A1 A8 there and needs no special rule.
    EXPECT_EQ(Key("C:\\表示\\表.scr"), p + "表");
    EXPECT_EQ(Key("/tmp/表/映画.saver.scr"), p + "映画.saver");
}

TEST(KeyPath, FromTheRunningExecutable) {
    fake::FakeServices services;
    services.exePath = "C:\\Program Files\\Night.Movies.scr";
    platform::Platform p;
    p.services = &services;
    platform::Install(p);
    EXPECT_EQ(settings::SettingsKeyPath(), "Software\\velbrook\\Night.Movies");
    platform::Install(platform::Platform{});
}

TEST(TextToInt, EdgesOfTheRanges) {
    using settings::TextToInt;
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(TextToInt("2147483648"), std::nullopt);
    EXPECT_EQ(TextToInt("-2147483649"), std::nullopt);
    EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(TextToInt("0x000000000010"), 16);
    EXPECT_EQ(TextToInt("0x100000000"), std::nullopt);
    EXPECT_EQ(TextToInt("  -x10"), -16);
    EXPECT_EQ(TextToInt("000123"), 123);
    EXPECT_EQ(TextToInt(" "), std::nullopt);
    EXPECT_EQ(TextToInt("+"), std::nullopt);
    EXPECT_EQ(TextToInt("1\n"), std::nullopt);
    EXPECT_EQ(TextToInt("\n1"), std::nullopt);
    EXPECT_EQ(TextToInt("0x-1"), std::nullopt);
    EXPECT_EQ(TextToInt("1 2"), std::nullopt);
}

}  // namespace
}  // namespace lumarel::test
