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
  Bits& ub(uint32_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (used_ == 0) b_.push_back(0);
      if ((v >> i) & 1u) b_.back() |= static_cast<uint8_t>(0x80u >> used_);
      used_ = (used_ + 1) & 7;
    }
    return *this;
  }
  Bits& sb(int32_t v, unsigned n) { return ub(static_cast<uint32_t>(v) & (n == 32 ? ~0u : ((1u << n) - 1)), n); }
  Bits& align() {
    used_ = 0;
    return *this;
  }
  Bits& u8(uint8_t v) {
    align();
    b_.push_back(v);
    return *this;
  }
  Bits& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  Bits& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bits& str(const std::string& s) {
    for (char c : s) u8(static_cast<uint8_t>(c));
    return u8(0);
  }
  Bits& raw(const Bytes& d) {
    align();
    b_.insert(b_.end(), d.begin(), d.end());
    return *this;
  }
  Bytes take() { return b_; }

 private:
  Bytes b_;
  unsigned used_ = 0;
};

inline Bytes Tag(uint16_t code, const Bytes& body, bool longHeader = false) {
  Bits b;
  if (!longHeader && body.size() < 63) {
    b.u16(static_cast<uint16_t>((code << 6) | body.size()));
  } else {
    b.u16(static_cast<uint16_t>((code << 6) | 0x3F)).u32(static_cast<uint32_t>(body.size()));
  }
  return b.raw(body).take();
}

// Stage RECT 0..w, 0..h twips (15-bit fields), frame rate 8.8, frame count, then `tags`.
inline Bytes SwfBytes(const Bytes& tags, char sig = 'F', uint16_t rate88 = 12 << 8, uint16_t frames = 1,
                   int32_t xmin = 0, int32_t xmax = 11000, int32_t ymin = 0, int32_t ymax = 8000) {
  Bits body;
  body.ub(16, 5).sb(xmin, 16).sb(xmax, 16).sb(ymin, 16).sb(ymax, 16).align();
  body.u16(rate88).u16(frames).raw(tags);
  Bytes payload = body.take();
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
