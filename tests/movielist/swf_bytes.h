// Builds the first bytes of an SWF file (signature, version, length, frame rectangle) for the
// frame-size tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumarel::testing {

class BitWriter {
public:
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (used_ % 8));
            ++used_;
        }
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    int used_ = 0;
};

// The rectangle fields packed MSB first, padded with zero bytes to `size`.
inline std::vector<std::uint8_t> RectBytes(int nbits, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin,
                                           std::uint32_t ymax, std::size_t size = 17) {
    BitWriter w;
    w.Put(static_cast<std::uint32_t>(nbits), 5);
    w.Put(xmin, nbits);
    w.Put(xmax, nbits);
    w.Put(ymin, nbits);
    w.Put(ymax, nbits);
    std::vector<std::uint8_t> out = w.Bytes();
    out.resize(size, 0);
    return out;
}

// "FWS", version 6, a length field, then the rectangle and a few more bytes (frame rate, count).
inline std::vector<std::uint8_t> SwfHeader(int nbits, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin,
                                           std::uint32_t ymax, const char* signature = "FWS") {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(signature[0]),
                                     static_cast<std::uint8_t>(signature[1]),
                                     static_cast<std::uint8_t>(signature[2]),
                                     6,
                                     0,
                                     0,
                                     0,
                                     0};
    const auto rect = RectBytes(nbits, xmin, xmax, ymin, ymax);
    out.insert(out.end(), rect.begin(), rect.end());
    out.push_back(0);  // frame rate 24.0
    out.push_back(24);
    out.push_back(1);  // one frame
    out.push_back(0);
    out[4] = static_cast<std::uint8_t>(out.size());
    return out;
}

}  // namespace lumarel::testing
