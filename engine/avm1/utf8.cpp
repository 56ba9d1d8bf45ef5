#include "engine/avm1/utf8.h"

#include <algorithm>

namespace lumarel::engine::avm1 {

// Length of the UTF-8 sequence starting at s[i], or 1 when it is no valid sequence. Encoded
// surrogates are accepted so that fromCharCode's lone surrogates read back as one character.
size_t Utf8SequenceLength(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned lo = 0x80, hi = 0xBF;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 1;
    }
    if (i + n > s.size()) return 1;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if (second < lo || second > hi) return 1;
    for (size_t k = 2; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

uint32_t Utf8DecodeAt(const std::string& s, size_t i, size_t n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (n == 1) return c;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

void Utf8Append(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::vector<uint32_t> Utf8Decode(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = Utf8SequenceLength(s, i);
        out.push_back(Utf8DecodeAt(s, i, n));
        i += n;
    }
    return out;
}

size_t Utf8Length(const std::string& s) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); i += Utf8SequenceLength(s, i)) ++count;
    return count;
}

bool SameName(std::string_view a, std::string_view b, bool caseless) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (caseless) {
            if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) return false;
    }
    return true;
}

Utf8Chars::Utf8Chars(const std::string& s) : text_(s) {
    for (size_t i = 0; i < s.size(); i += Utf8SequenceLength(s, i)) starts_.push_back(i);
    starts_.push_back(s.size());
}

long Utf8Chars::IndexAt(size_t pos) const {
    auto it = std::lower_bound(starts_.begin(), starts_.end(), pos);
    return it != starts_.end() && *it == pos ? static_cast<long>(it - starts_.begin()) : -1;
}

void AppendEscaped(std::string& out, std::string_view s, bool quotes, bool breaks) {
    for (const char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (quotes && c == '"')
            out += "&quot;";
        else if (quotes && c == '\'')
            out += "&apos;";
        else if (breaks && c == '\r')
            out += "<br>";
        else
            out += c;
    }
}

}  // namespace lumarel::engine::avm1
