#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallString(Machine&) {}

}  // namespace lumarel::engine::avm1
