// A tiny SWF reader for the kit's tests, written separately from the kit's writer so that a
// bit-order or field-order mistake in one does not hide in the other.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace swfkit_test {

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& d, std::size_t pos = 0) : d_(d), pos_(pos) {}

    std::uint32_t ub(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (pos_ >= d_.size()) throw std::out_of_range("read past end");
            const unsigned bit = (d_[pos_] >> (7 - bit_)) & 1u;
            v = (v << 1) | bit;
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return v;
    }
    std::int32_t sb(unsigned n) {
        if (n == 0) return 0;
        const std::uint32_t v = ub(n);
        if (n < 32 && (v & (1u << (n - 1)))) return static_cast<std::int32_t>(v | (~0u << n));
        return static_cast<std::int32_t>(v);
    }
    void align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }
    std::uint8_t u8() {
        align();
        if (pos_ >= d_.size()) throw std::out_of_range("read past end");
        return d_[pos_++];
    }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::string str() {
        std::string s;
        for (std::uint8_t c = u8(); c != 0; c = u8()) s.push_back(static_cast<char>(c));
        return s;
    }
    std::size_t pos() const { return pos_; }
    unsigned bit() const { return bit_; }
    void seek(std::size_t p) {
        pos_ = p;
        bit_ = 0;
    }
    bool atEnd() const { return pos_ >= d_.size(); }

private:
    const std::vector<std::uint8_t>& d_;
    std::size_t pos_;
    unsigned bit_ = 0;
};

struct RectV {
    unsigned nbits;
    std::int32_t xmin, xmax, ymin, ymax;
};

inline RectV readRect(Reader& r) {
    r.align();
    RectV v{};
    v.nbits = r.ub(5);
    v.xmin = r.sb(v.nbits);
    v.xmax = r.sb(v.nbits);
    v.ymin = r.sb(v.nbits);
    v.ymax = r.sb(v.nbits);
    r.align();
    return v;
}

struct MatrixV {
    bool hasScale = false, hasRotate = false;
    unsigned scaleBits = 0, rotateBits = 0, translateBits = 0;
    std::int32_t a = 65536, d = 65536, b = 0, c = 0, tx = 0, ty = 0;
};

inline MatrixV readMatrix(Reader& r) {
    r.align();
    MatrixV m;
    m.hasScale = r.ub(1) != 0;
    if (m.hasScale) {
        m.scaleBits = r.ub(5);
        m.a = r.sb(m.scaleBits);
        m.d = r.sb(m.scaleBits);
    }
    m.hasRotate = r.ub(1) != 0;
    if (m.hasRotate) {
        m.rotateBits = r.ub(5);
        m.b = r.sb(m.rotateBits);
        m.c = r.sb(m.rotateBits);
    }
    m.translateBits = r.ub(5);
    m.tx = r.sb(m.translateBits);
    m.ty = r.sb(m.translateBits);
    r.align();
    return m;
}

struct TagV {
    std::uint16_t code;
    bool longHeader;
    std::vector<std::uint8_t> body;
};

// Tags from `pos` to the End tag (included) or the end of the data.
inline std::vector<TagV> readTags(const std::vector<std::uint8_t>& d, std::size_t pos) {
    Reader r(d, pos);
    std::vector<TagV> out;
    while (!r.atEnd()) {
        const std::uint16_t h = r.u16();
        TagV t{static_cast<std::uint16_t>(h >> 6), false, {}};
        std::uint32_t len = h & 0x3F;
        if (len == 0x3F) {
            t.longHeader = true;
            len = r.u32();
        }
        const std::size_t start = r.pos();
        if (start + len > d.size()) throw std::out_of_range("tag past end");
        t.body.assign(d.begin() + static_cast<std::ptrdiff_t>(start),
                      d.begin() + static_cast<std::ptrdiff_t>(start + len));
        r.seek(start + len);
        out.push_back(std::move(t));
        if (out.back().code == 0) break;
    }
    return out;
}

}  // namespace swfkit_test
