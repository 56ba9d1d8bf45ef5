// The one rule by which a text becomes an integer (the window number on the command line,
// the stored flag): leading spaces, at most one sign, then a decimal number within the 32-bit
// signed range or a hexadecimal one ("$", "x", "X", "0x" or "0X" and hex digits, at most
// FFFFFFFF), and nothing after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumarel::settings {

std::optional<std::int32_t> TextToInt(std::string_view text);

}  // namespace lumarel::settings
