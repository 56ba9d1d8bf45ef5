// Screen Video (codec 3), from the SWF file format's "Screen video bitstream format": the picture
// in blocks of 16 x 16 to 256 x 256 pixels, each block zlib-compressed BGR rows, bottom row first;
// a block with no data is unchanged from the last picture.
//
// Screen Video 2 (codec 6), from its "Screen Video V2 bitstream format": the same grid, but a
// block's pixels may be 15/7-bit hybrid colour (15-bit RGB or an index into a 128-colour palette),
// its data may cover only a run of rows of the block's last key block, and its zlib stream may go
// on from the data of that key block or of another block of the packet.
#pragma once

#include <memory>

#include "engine/video/video.h"

namespace lumarel::engine::video {

std::unique_ptr<Decoder> MakeScreenVideoDecoder();
std::unique_ptr<Decoder> MakeScreenVideo2Decoder();

}  // namespace lumarel::engine::video
