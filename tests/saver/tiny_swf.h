// The smallest movies the saver tests need: a stage of a given size, a background and a
// number of empty frames, made with the authoring kit.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/swfkit/swfkit.h"

namespace lumarel::testing {

// Version 6, the stage RECT with 16-bit fields, background 0x204080, `frames` empty frames.
inline std::vector<std::uint8_t> TinySwf(int frames, std::uint32_t widthTwips = 11000, std::uint32_t heightTwips = 8000,
                                         int fps = 24) {
    swfkit::Movie movie(
        swfkit::Rect{0, static_cast<std::int32_t>(widthTwips), 0, static_cast<std::int32_t>(heightTwips)}, fps, 6);
    movie.Background(swfkit::Rgba::Hex(0x204080));
    for (int i = 0; i < frames; ++i) movie.ShowFrame();
    swfkit::BuildOptions options;
    options.stageBits = 16;
    return movie.Build(options);
}

}  // namespace lumarel::testing
