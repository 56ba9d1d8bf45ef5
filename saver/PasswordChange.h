// The system's screen-saver password change (PwdChangePasswordA of MPR.DLL), as the /a run mode
// asks for it and as the end of the show runs it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace lumarel::saver {

// Loads `library`; when it has PwdChangePasswordA, calls it for the provider "SCRSAVE" with
// the window `parent()` as the owner; then frees the library. A library or entry that is
// missing skips the step. `parent` is asked only once the entry is found: when it throws, the
// error goes to the caller and the library stays loaded.
void RunPasswordChange(platform::Services& services, const std::string& library,
                       const std::function<std::int32_t()>& parent);

}  // namespace lumarel::saver
