// Process-wide values fixed at start-up and read by the windows later.
#pragma once

#include <cstdint>
#include <string>

namespace lumarel {

enum class RunMode : std::uint8_t { ChangePassword = 0, Preview = 1, Configure = 2, Show = 3 };

struct ProcessGlobals {
    RunMode runMode = RunMode::ChangePassword;
    std::string firstArgument;   // upper-cased
    std::string secondArgument;  // upper-cased
};

ProcessGlobals& Globals();

}  // namespace lumarel
