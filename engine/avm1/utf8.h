// UTF-8 as scripts see it: strings are UTF-8 inside the machine and scripts count characters.
// A byte that starts no valid sequence is one character whose code is the byte's value, so no
// index lands inside a sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

}  // namespace lumarel::engine::avm1
