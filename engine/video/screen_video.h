// Screen Video (codec 3), from the SWF file format's "Screen video bitstream format": the picture
// in blocks of 16 x 16 to 256 x 256 pixels, each block zlib-compressed BGR rows, bottom row first;
// a block with no data is unchanged from the last picture.
#pragma once

#include <memory>

#include "engine/video/video.h"

namespace lumarel::engine::video {

std::unique_ptr<Decoder> MakeScreenVideoDecoder();

}  // namespace lumarel::engine::video
