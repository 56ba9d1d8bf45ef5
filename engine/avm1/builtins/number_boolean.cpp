#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallNumberAndBoolean(Machine&) {}

}  // namespace lumarel::engine::avm1
