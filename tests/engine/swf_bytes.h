// Hand-made SWF bytes for the reader tests: a bit writer and a minimal file assembler.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumarel::enginetest {

using Bytes = std::vector<uint8_t>;

class Bits {
public:
    Bits& Ub(uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (used_ == 0) b_.push_back(0);
            if ((v >> i) & 1u) b_.back() |= static_cast<uint8_t>(0x80u >> used_);
            used_ = (used_ + 1) & 7;
        }
        return *this;
    }
    Bits& Sb(int32_t v, unsigned n) { return Ub(static_cast<uint32_t>(v) & (n == 32 ? ~0u : ((1u << n) - 1)), n); }
    Bits& Align() {
        used_ = 0;
        return *this;
    }
    Bits& U8(uint8_t v) {
        Align();
        b_.push_back(v);
        return *this;
    }
    Bits& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bits& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bits& Str(const std::string& s) {
        for (char c : s) U8(static_cast<uint8_t>(c));
        return U8(0);
    }
    Bits& Raw(const Bytes& d) {
        Align();
        b_.insert(b_.end(), d.begin(), d.end());
        return *this;
    }
    Bytes Take() { return b_; }

private:
    Bytes b_;
    unsigned used_ = 0;
};

inline Bytes Tag(uint16_t code, const Bytes& body, bool longHeader = false) {
    Bits b;
    if (!longHeader && body.size() < 63) {
        b.U16(static_cast<uint16_t>((code << 6) | body.size()));
    } else {
        b.U16(static_cast<uint16_t>((code << 6) | 0x3F)).U32(static_cast<uint32_t>(body.size()));
    }
    return b.Raw(body).Take();
}

// Stage RECT 0..w, 0..h twips (15-bit fields), frame rate 8.8, frame count, then `tags`.
inline Bytes SwfBytes(const Bytes& tags, char sig = 'F', uint16_t rate88 = 12 << 8, uint16_t frames = 1,
                      int32_t xmin = 0, int32_t xmax = 11000, int32_t ymin = 0, int32_t ymax = 8000) {
    Bits body;
    body.Ub(16, 5).Sb(xmin, 16).Sb(xmax, 16).Sb(ymin, 16).Sb(ymax, 16).Align();
    body.U16(rate88).U16(frames).Raw(tags);
    Bytes payload = body.Take();
    Bytes out = {static_cast<uint8_t>(sig), 'W', 'S', 10};
    const uint32_t len = static_cast<uint32_t>(payload.size() + 8);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(len >> (8 * i)));
    if (sig == 'C') {
        uLongf n = compressBound(static_cast<uLong>(payload.size()));
        Bytes z(n);
        compress(z.data(), &n, payload.data(), static_cast<uLong>(payload.size()));
        z.resize(n);
        payload = z;
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace lumarel::enginetest
