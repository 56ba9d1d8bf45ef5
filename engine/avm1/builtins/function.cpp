#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallFunction(Machine&) {}

}  // namespace lumarel::engine::avm1
