// The first bytes of an SWF file (signature, version, length, frame rectangle) for the
// frame-size tests, written with the authoring kit.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/swfkit/swfkit.h"

namespace lumarel::testing {

// The rectangle: its field width in 5 bits, then the four fields, packed MSB first and padded
// with zero bytes to `size`.
inline std::vector<std::uint8_t> RectBytes(int nbits, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin,
                                           std::uint32_t ymax, std::size_t size = 17) {
    swfkit::BitWriter w;
    swfkit::WriteRect(w,
                      swfkit::Rect{static_cast<std::int32_t>(xmin), static_cast<std::int32_t>(xmax),
                                   static_cast<std::int32_t>(ymin), static_cast<std::int32_t>(ymax)},
                      static_cast<unsigned>(nbits));
    std::vector<std::uint8_t> out = w.Take();
    out.resize(size, 0);
    return out;
}

// "FWS", version 6, the length of these bytes, then the rectangle (padded to 17 bytes), frame
// rate 24.0 and one frame.
inline std::vector<std::uint8_t> SwfHeader(int nbits, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin,
                                           std::uint32_t ymax) {
    swfkit::BitWriter w;
    w.Append(reinterpret_cast<const std::uint8_t*>("FWS"), 3).U8(6).U32(0);
    w.Append(RectBytes(nbits, xmin, xmax, ymin, ymax)).Fixed8(24.0).U16(1);
    std::vector<std::uint8_t> out = w.Take();
    out[4] = static_cast<std::uint8_t>(out.size());
    return out;
}

}  // namespace lumarel::testing
