#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void Machine::RunBlock(std::span<const uint8_t>, const Clip&) {}

Value Machine::RunScript(Object*, const Value&, std::span<const Value>, Object*) { return Value(); }

}  // namespace lumarel::engine::avm1
