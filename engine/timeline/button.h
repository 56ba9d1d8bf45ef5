// Buttons on the stage: DefineButton and DefineButton2 show their up state. The up-state records
// become a one-frame timeline of PlaceObject tags, so a button is placed, transformed, masked and
// drawn exactly like a sprite (sprites inside it run as usual). Button actions are never run.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/timeline/timeline.h"

namespace lumarel::engine::timeline {

// Builds the up state of a DefineButton (version 1) or DefineButton2 (version 2) tag. For
// DefineButton, `cxform` holds the CXFORM of its DefineButtonCxform tag (empty when none).
// Returns false with a reason when the tag has no usable header; records cut short keep the
// ones read so far.
bool BuildButton(std::span<const uint8_t> data, int version, std::span<const uint8_t> cxform, uint16_t& id,
                 SpriteCharacter& out, std::string& error);

}  // namespace lumarel::engine::timeline
