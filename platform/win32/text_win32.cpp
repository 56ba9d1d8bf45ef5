#include "platform/win32/text_win32.h"

#include <windows.h>

#include <climits>

namespace lumarel::platform::win32 {
namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int inLen = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), inLen, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    const int written = ::MultiByteToWideChar(codePage, 0, text.data(), inLen, out.data(), n);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int inLen = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), inLen, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    const int written = ::WideCharToMultiByte(codePage, 0, text.data(), inLen, out.data(), n, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) { return ToWide(CP_UTF8, text); }
std::string WideToUtf8(std::wstring_view text) { return FromWide(CP_UTF8, text); }
std::string WideToAnsi(std::wstring_view text) { return FromWide(CP_ACP, text); }
std::wstring AnsiToWide(std::string_view text) { return ToWide(CP_ACP, text); }

}  // namespace lumarel::platform::win32
