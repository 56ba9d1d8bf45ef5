#include "saver/PasswordChange.h"

namespace lumarel::saver {

void RunPasswordChange(platform::Services& services, const std::string& library,
                       const std::function<std::int32_t()>& parent) {
    platform::LibraryHandle lib = services.LoadLibrary(library);
    if (!lib) return;
    if (auto entry = services.FindPasswordEntry(lib, "PwdChangePasswordA")) {
        entry("SCRSAVE", static_cast<std::uintptr_t>(static_cast<std::intptr_t>(parent())), 0, 0);
    }
    services.FreeLibrary(lib);
}

}  // namespace lumarel::saver
