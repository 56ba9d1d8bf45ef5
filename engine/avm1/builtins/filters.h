// The flash.filters objects scripts make, as the filter records the renderer runs.
#pragma once

#include <optional>

#include "engine/avm1/machine.h"
#include "engine/swf/filters.h"

namespace lumarel::engine::avm1 {

// The filter a flash.filters object (or its clone) stands for, its fields read as they are now
// and brought into range; nullopt for anything else.
std::optional<swf::Filter> FilterOf(Machine& m, const Value& v);

}  // namespace lumarel::engine::avm1
