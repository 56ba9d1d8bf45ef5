// Text conversion at the Windows boundary. The program keeps its texts in UTF-8; the wide
// Windows API wants UTF-16, and the few 8-bit entry points want the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace lumarel::platform::win32 {

// UTF-8 -> UTF-16. Malformed bytes become U+FFFD; never throws on bad input.
std::wstring Utf8ToWide(std::string_view text);
// UTF-16 -> UTF-8. An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);
// UTF-16 <-> the system's ANSI code page (CP_ACP; Shift-JIS on a Japanese system).
// Characters the code page lacks become its default character.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

// Convenience for the 8-bit byte strings handled elsewhere in the backend.
inline std::string AnsiBytesToUtf8(std::string_view ansi) { return WideToUtf8(AnsiToWide(ansi)); }
inline std::string Utf8ToAnsiBytes(std::string_view utf8) { return WideToAnsi(Utf8ToWide(utf8)); }

}  // namespace lumarel::platform::win32
