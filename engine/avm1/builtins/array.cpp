#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallArray(Machine&) {}

}  // namespace lumarel::engine::avm1
