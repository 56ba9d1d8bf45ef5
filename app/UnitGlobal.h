// Process-wide values fixed at start-up and read by the windows later.
#pragma once

#include <cstdint>
#include <string>

#include "saver/SaverStart.h"

namespace lumarel {

enum class RunMode : std::uint8_t { ChangePassword = 0, Preview = 1, Configure = 2, Show = 3 };

struct ProcessGlobals {
    RunMode runMode = RunMode::ChangePassword;
    std::string firstArgument;   // upper-cased
    std::string secondArgument;  // upper-cased
};

ProcessGlobals& Globals();

// The saver window's start as the run mode and the second argument give it; the program hands
// it to the window through the form factory.
SaverStart ProcessSaverStart();

}  // namespace lumarel
