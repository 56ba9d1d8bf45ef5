// Bounds-checked reader over a byte span, for SWF's mix of byte-aligned little-endian fields
// and most-significant-first bit fields.
//
// Reading past the end never touches memory outside the span: the read yields 0 and the reader
// enters a sticky failed state that callers test once after a group of reads (ok()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumarel::engine::swf {

class BitReader {
public:
    BitReader() = default;
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    bool Ok() const { return ok_; }
    void Fail() { ok_ = false; }
    size_t Pos() const { return pos_; }  // byte position of the next aligned read
    size_t size() const { return data_.size(); }
    size_t Remaining() const { return ok_ && pos_ < data_.size() ? data_.size() - pos_ : 0; }
    bool AtEnd() const { return Remaining() == 0; }
    std::span<const uint8_t> data() const { return data_; }

    // Drops any partly read byte so the next read starts on a byte boundary.
    void Align() {
        if (bitPos_ != 0) {
            bitPos_ = 0;
            ++pos_;
        }
    }

    uint8_t U8() {
        Align();
        if (!Need(1)) return 0;
        return data_[pos_++];
    }
    uint16_t U16() {
        Align();
        if (!Need(2)) return 0;
        const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() {
        Align();
        if (!Need(4)) return 0;
        const uint32_t v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                           (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
                           (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    // 8.8 fixed point, signed.
    double Fixed8() { return S16() / 256.0; }

    // Unsigned bit field of n bits (0..32), most significant bit first.
    uint32_t Ub(unsigned n) {
        if (n > 32) {
            Fail();
            return 0;
        }
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (!ok_ || pos_ >= data_.size()) {
                Fail();
                return 0;
            }
            v = (v << 1) | ((data_[pos_] >> (7 - bitPos_)) & 1u);
            if (++bitPos_ == 8) {
                bitPos_ = 0;
                ++pos_;
            }
        }
        return v;
    }
    // Signed (two's complement) bit field of n bits.
    int32_t Sb(unsigned n) {
        if (n == 0) return 0;
        const uint32_t v = Ub(n);
        if (n >= 32) return static_cast<int32_t>(v);
        const uint32_t sign = 1u << (n - 1);
        return static_cast<int32_t>((v ^ sign)) - static_cast<int32_t>(sign);
    }
    // 16.16 fixed-point bit field of n bits.
    double Fb(unsigned n) { return Sb(n) / 65536.0; }
    bool Flag() { return Ub(1) != 0; }

    // Null-terminated string; a string without terminator fails the reader.
    std::string Str() {
        Align();
        if (!ok_) return {};
        for (size_t i = pos_; i < data_.size(); ++i) {
            if (data_[i] == 0) {
                std::string s(reinterpret_cast<const char*>(data_.data() + pos_), i - pos_);
                pos_ = i + 1;
                return s;
            }
        }
        Fail();
        return {};
    }

    // The next n bytes as a sub-span (empty and failed when fewer remain).
    std::span<const uint8_t> Bytes(size_t n) {
        Align();
        if (!Need(n)) return {};
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    void Skip(size_t n) { (void)Bytes(n); }
    std::span<const uint8_t> Rest() { return Bytes(Remaining()); }

private:
    bool Need(size_t n) {
        if (!ok_ || pos_ > data_.size() || data_.size() - pos_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    unsigned bitPos_ = 0;
    bool ok_ = true;
};

}  // namespace lumarel::engine::swf
