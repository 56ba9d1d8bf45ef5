// The registry of the Linux build: the per-user SQLite hive (hive_linux.h) at its default place
// ($LUMAREL_HIVE, else $XDG_CONFIG_HOME/lumarel/registry.sqlite3, else ~/.config/lumarel/...).
#include "platform/linux/hive_linux.h"
#include "platform/linux/native_linux.h"

namespace lumarel::platform {

Registry& NativeRegistry() {
    static HiveRegistry hive(DefaultHivePath());
    return hive;
}

}  // namespace lumarel::platform
