// This test executable carries only the registry backend of the native platform.
#include "platform/platform.h"

namespace lumarel::platform {

Registry& NativeRegistry();

Platform NativePlatform() {
    Platform p;
    p.registry = &NativeRegistry();
    return p;
}
void SetProcessArguments(int, char**) {}

}  // namespace lumarel::platform
