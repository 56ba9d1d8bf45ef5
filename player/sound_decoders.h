// The compressed sound codecs this system can decode, handed to the engine's mixer: MP3 through
// libmpg123 on Linux, through the system's own codec on Windows; none elsewhere (those sounds
// stay silent).
#pragma once

#include <memory>

#include "engine/sound/decode.h"

namespace lumarel::player {

// The decoders for Mixer's constructor, or null when this build has none.
std::shared_ptr<engine::sound::CompressedDecoderSource> NativeSoundDecoders();

}  // namespace lumarel::player
