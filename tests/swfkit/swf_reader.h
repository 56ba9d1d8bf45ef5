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

    std::uint32_t Ub(unsigned n) {
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
    std::int32_t Sb(unsigned n) {
        if (n == 0) return 0;
        const std::uint32_t v = Ub(n);
        if (n < 32 && (v & (1u << (n - 1)))) return static_cast<std::int32_t>(v | (~0u << n));
        return static_cast<std::int32_t>(v);
    }
    void Align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }
    std::uint8_t U8() {
        Align();
        if (pos_ >= d_.size()) throw std::out_of_range("read past end");
        return d_[pos_++];
    }
    std::uint16_t U16() {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::string Str() {
        std::string s;
        for (std::uint8_t c = U8(); c != 0; c = U8()) s.push_back(static_cast<char>(c));
        return s;
    }
    std::size_t Pos() const { return pos_; }
    unsigned Bit() const { return bit_; }
    void Seek(std::size_t p) {
        pos_ = p;
        bit_ = 0;
    }
    bool AtEnd() const { return pos_ >= d_.size(); }

private:
    const std::vector<std::uint8_t>& d_;
    std::size_t pos_;
    unsigned bit_ = 0;
};

struct RectV {
    unsigned nbits;
    std::int32_t xmin, xmax, ymin, ymax;
};

inline RectV ReadRect(Reader& r) {
    r.Align();
    RectV v{};
    v.nbits = r.Ub(5);
    v.xmin = r.Sb(v.nbits);
    v.xmax = r.Sb(v.nbits);
    v.ymin = r.Sb(v.nbits);
    v.ymax = r.Sb(v.nbits);
    r.Align();
    return v;
}

struct MatrixV {
    bool hasScale = false, hasRotate = false;
    unsigned scaleBits = 0, rotateBits = 0, translateBits = 0;
    std::int32_t a = 65536, d = 65536, b = 0, c = 0, tx = 0, ty = 0;
};

inline MatrixV ReadMatrix(Reader& r) {
    r.Align();
    MatrixV m;
    m.hasScale = r.Ub(1) != 0;
    if (m.hasScale) {
        m.scaleBits = r.Ub(5);
        m.a = r.Sb(m.scaleBits);
        m.d = r.Sb(m.scaleBits);
    }
    m.hasRotate = r.Ub(1) != 0;
    if (m.hasRotate) {
        m.rotateBits = r.Ub(5);
        m.b = r.Sb(m.rotateBits);
        m.c = r.Sb(m.rotateBits);
    }
    m.translateBits = r.Ub(5);
    m.tx = r.Sb(m.translateBits);
    m.ty = r.Sb(m.translateBits);
    r.Align();
    return m;
}

struct TagV {
    std::uint16_t code;
    bool longHeader;
    std::vector<std::uint8_t> body;
};

// Tags from `pos` to the End tag (included) or the end of the data.
inline std::vector<TagV> ReadTags(const std::vector<std::uint8_t>& d, std::size_t pos) {
    Reader r(d, pos);
    std::vector<TagV> out;
    while (!r.AtEnd()) {
        const std::uint16_t h = r.U16();
        TagV t{static_cast<std::uint16_t>(h >> 6), false, {}};
        std::uint32_t len = h & 0x3F;
        if (len == 0x3F) {
            t.longHeader = true;
            len = r.U32();
        }
        const std::size_t start = r.Pos();
        if (start + len > d.size()) throw std::out_of_range("tag past end");
        t.body.assign(d.begin() + static_cast<std::ptrdiff_t>(start),
                      d.begin() + static_cast<std::ptrdiff_t>(start + len));
        r.Seek(start + len);
        out.push_back(std::move(t));
        if (out.back().code == 0) break;
    }
    return out;
}

}  // namespace swfkit_test
