#include "platform/platform.h"

namespace lumarel::platform {

namespace {
Platform& Slot() {
    static Platform current;
    return current;
}
bool& Installed() {
    static bool installed = false;
    return installed;
}
}  // namespace

Platform& Current() {
    if (!Installed()) {
        Slot() = NativePlatform();
        Installed() = true;
    }
    return Slot();
}

void Install(const Platform& p) {
    Slot() = p;
    Installed() = true;
}

}  // namespace lumarel::platform
