#include "platform/platform.h"

namespace lumarel::platform {

namespace {
Platform& Slot() {
    static Platform current;
    return current;
}
}  // namespace

Platform& Current() { return Slot(); }

void Install(const Platform& p) { Slot() = p; }

}  // namespace lumarel::platform
