// The registry of the Linux build: the per-user SQLite hive (hive_linux.h) at its default place.
#include "platform/linux/hive_linux.h"

#if __has_include("platform/linux/native_linux.h")
#include "platform/linux/native_linux.h"
#endif

namespace lumarel::platform {

Registry& NativeRegistry();

Registry& NativeRegistry() {
    static HiveRegistry hive(DefaultHivePath());
    return hive;
}

}  // namespace lumarel::platform
