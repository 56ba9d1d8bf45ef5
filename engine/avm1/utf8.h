// UTF-8 as scripts see it: strings are UTF-8 inside the machine and scripts count characters.
// A byte that starts no valid sequence is one character whose code is the byte's value, so no
// index lands inside a sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarel::engine::avm1 {

// Length of the sequence starting at s[i] (i < s.size()), 1 when it is no valid sequence.
size_t Utf8SequenceLength(const std::string& s, size_t i);
// The code point of the n-byte sequence at s[i].
uint32_t Utf8DecodeAt(const std::string& s, size_t i, size_t n);
void Utf8Append(uint32_t cp, std::string& out);  // code points past U+10FFFF are dropped
std::vector<uint32_t> Utf8Decode(const std::string& s);
size_t Utf8Length(const std::string& s);
// Lower case for case-insensitive comparisons (String's own mapping).
std::string LowerCaseText(const std::string& s);

// Names compared as the machine compares identifiers: ASCII letters ignore case when `caseless`.
bool SameName(std::string_view a, std::string_view b, bool caseless);
// `s` with &, < and > as entities, and " and ' too with `quotes` (attribute values); with
// `breaks`, CR as <br> (a text field's plain text shown as HTML).
void AppendEscaped(std::string& out, std::string_view s, bool quotes, bool breaks = false);
// White space as number parsing skips it.
inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// A string with the byte offset of each character, and of its end as the last entry.
class Utf8Chars {
public:
    explicit Utf8Chars(const std::string& s);
    size_t Count() const { return starts_.size() - 1; }
    size_t Byte(size_t index) const { return starts_[index < Count() ? index : Count()]; }
    std::string Sub(size_t from, size_t to) const {
        if (to <= from) return "";
        return text_.substr(Byte(from), Byte(to) - Byte(from));
    }
    uint32_t Code(size_t index) const {
        return Utf8DecodeAt(text_, starts_[index], starts_[index + 1] - starts_[index]);
    }
    // The character index at byte offset `pos`, or -1 when `pos` is inside a character.
    long IndexAt(size_t pos) const;
    // Whether `needle` found at byte `pos` covers whole characters.
    bool Aligned(size_t pos, size_t length) const { return IndexAt(pos) >= 0 && IndexAt(pos + length) >= 0; }

private:
    const std::string& text_;
    std::vector<size_t> starts_;
};

}  // namespace lumarel::engine::avm1
