// This test runs over its own fake file system; no native backend is linked.
#include "platform/platform.h"

namespace lumarel::platform {
Platform NativePlatform() { return Platform{}; }
void SetProcessArguments(int, char**) {}
}  // namespace lumarel::platform
