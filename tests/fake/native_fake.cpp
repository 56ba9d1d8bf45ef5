// Test executables built over the fake backend have no native one: the platform in use is
// whatever the test installs, and nothing until then.
#include "platform/platform.h"

namespace lumarel::platform {

Platform NativePlatform() { return Platform{}; }
void SetProcessArguments(int, char**) {}

}  // namespace lumarel::platform
