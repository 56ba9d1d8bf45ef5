#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/text_win32.h"

using namespace lumarel::platform::win32;

namespace {

TEST(Win32Text, RoundTripsJapaneseAndCharactersOutsideCp932) {
    const std::string samples[] = {
        "",
        "Lumarel",
        "ERROR - 複数アプリケーションの起動は制限されています。",
        "ＭＳ Ｐゴシック",
        "C:\\ムービー\\한국어\\test.swf",  // Hangul: not in CP932
        "😀 \xF0\x9F\x8E\xAC",              // outside the BMP: surrogate pairs
        std::string("nul\0inside", 10),
    };
    for (const std::string& s : samples) {
        const std::wstring wide = Utf8ToWide(s);
        EXPECT_EQ(WideToUtf8(wide), s);
    }
    EXPECT_EQ(Utf8ToWide("設定"), L"設定");
    EXPECT_EQ(Utf8ToWide("😀"), std::wstring(L"\xD83D\xDE00"));
    EXPECT_EQ(Utf8ToWide("한"), std::wstring(1, static_cast<wchar_t>(0xD55C)));
}

TEST(Win32Text, MalformedInputBecomesReplacementCharacters) {
    // A truncated sequence and a stray continuation byte: no throw, no loss of the rest.
    const std::wstring wide = Utf8ToWide(
        "a\xE3\x81"
        "b\x80"
        "c");
    ASSERT_FALSE(wide.empty());
    EXPECT_EQ(wide.front(), L'a');
    EXPECT_EQ(wide.back(), L'c');
    EXPECT_NE(wide.find(L'\xFFFD'), std::wstring::npos);
    // An unpaired surrogate comes out as U+FFFD in UTF-8.
    const std::string utf8 = WideToUtf8(std::wstring(L"x\xD800y"));
    EXPECT_EQ(utf8, "x\xEF\xBF\xBDy");
}

TEST(Win32Text, AnsiCodePage) {
    EXPECT_EQ(WideToAnsi(L"SCRSAVE"), "SCRSAVE");
    EXPECT_EQ(AnsiToWide("MPR.DLL"), L"MPR.DLL");
    if (::GetACP() == 932) {
        // Shift-JIS: 設定 is 90 DD 92 E8.
        EXPECT_EQ(WideToAnsi(L"設定"), "\x90\xDD\x92\xE8");
        EXPECT_EQ(AnsiToWide("\x90\xDD\x92\xE8"), L"設定");
        EXPECT_EQ(AnsiBytesToUtf8("\x90\xDD\x92\xE8"), "設定");
    }
    // A character the code page lacks becomes its default character; nothing is lost around it.
    const std::string lossy = WideToAnsi(std::wstring(L"a\xD83D\xDE00z"));
    ASSERT_GE(lossy.size(), 2u);
    EXPECT_EQ(lossy.front(), 'a');
    EXPECT_EQ(lossy.back(), 'z');
}

}  // namespace
