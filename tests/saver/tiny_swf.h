// The smallest movies the saver tests need: a stage of a given size, a background and a
// number of empty frames.
#pragma once

#include <cstdint>
#include <vector>

namespace lumarel::testing {

inline std::vector<std::uint8_t> TinySwf(int frames, std::uint32_t widthTwips = 11000, std::uint32_t heightTwips = 8000,
                                         int fps = 24) {
    std::vector<std::uint8_t> out = {'F', 'W', 'S', 6, 0, 0, 0, 0};
    // RECT with 16-bit fields: Xmin 0, Xmax, Ymin 0, Ymax, most significant bit first.
    const int nbits = 16;
    std::uint64_t fields[4] = {0, widthTwips, 0, heightTwips};
    std::vector<bool> bits;
    for (int i = 4; i >= 0; --i) bits.push_back((nbits >> i) & 1);
    for (auto f : fields)
        for (int i = nbits - 1; i >= 0; --i) bits.push_back((f >> i) & 1);
    while (bits.size() % 8) bits.push_back(false);
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        std::uint8_t b = 0;
        for (int j = 0; j < 8; ++j) b = static_cast<std::uint8_t>(b << 1 | bits[i + j]);
        out.push_back(b);
    }
    out.push_back(0);  // frame rate 8.8
    out.push_back(static_cast<std::uint8_t>(fps));
    out.push_back(static_cast<std::uint8_t>(frames));
    out.push_back(static_cast<std::uint8_t>(frames >> 8));
    auto tag = [&](int code, std::vector<std::uint8_t> body) {
        std::uint16_t h = static_cast<std::uint16_t>(code << 6 | body.size());
        out.push_back(static_cast<std::uint8_t>(h));
        out.push_back(static_cast<std::uint8_t>(h >> 8));
        out.insert(out.end(), body.begin(), body.end());
    };
    tag(9, {0x20, 0x40, 0x80});  // SetBackgroundColor
    for (int i = 0; i < frames; ++i) tag(1, {});
    tag(0, {});
    std::uint32_t n = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    return out;
}

}  // namespace lumarel::testing
