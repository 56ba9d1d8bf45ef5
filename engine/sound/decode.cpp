#include "engine/sound/decode.h"

#include <algorithm>

namespace lumarel::engine::sound {

namespace {

constexpr int16_t kStepSizes[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step index change per code magnitude, one table per code size (2 to 5 bits).
constexpr int8_t kIndexShift2[2] = {-1, 2};
constexpr int8_t kIndexShift3[4] = {-1, -1, 2, 4};
constexpr int8_t kIndexShift4[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int8_t kIndexShift5[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const int8_t* kIndexShifts[4] = {kIndexShift2, kIndexShift3, kIndexShift4, kIndexShift5};

constexpr size_t kAdpcmPacketFrames = 4096;

struct AdpcmChannel {
    int sample = 0;
    int index = 0;

    // One code of `bits` bits: the top bit is the sign, the rest a magnitude in steps.
    void Apply(uint32_t code, unsigned bits) {
        const uint32_t signBit = 1u << (bits - 1);
        const int step = kStepSizes[index];
        int diff = step >> (bits - 1);
        for (unsigned b = 0; b + 1 < bits; ++b)
            if (code & (1u << b)) diff += step >> (bits - 2 - b);
        sample = std::clamp(code & signBit ? sample - diff : sample + diff, -32768, 32767);
        index = std::clamp(index + kIndexShifts[bits - 2][code & (signBit - 1)], 0, 88);
    }
};

}  // namespace

void DecodePcm(std::span<const uint8_t> data, const SoundFormat& format, PcmChunk& out) {
    out.rate = format.Rate();
    out.channels = format.stereo ? 2 : 1;
    const size_t bytesPerFrame = static_cast<size_t>(out.channels) * (format.sixteenBit ? 2 : 1);
    const size_t frames = data.size() / bytesPerFrame;
    const size_t n = frames * static_cast<size_t>(out.channels);
    out.samples.reserve(out.samples.size() + n);
    for (size_t i = 0; i < n; ++i) {
        if (format.sixteenBit)
            out.samples.push_back(static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
        else
            out.samples.push_back(static_cast<int16_t>((data[i] - 128) << 8));
    }
}

void DecodeAdpcm(std::span<const uint8_t> data, bool stereo, PcmChunk& out, size_t maxFrames) {
    out.channels = stereo ? 2 : 1;
    swf::BitReader r(data);
    const unsigned bits = r.Ub(2) + 2;
    const size_t channels = stereo ? 2 : 1;
    const size_t totalBits = data.size() * 8;
    const size_t headerBits = channels * 22;
    const size_t frameBits = channels * bits;
    size_t used = 2;  // bits read so far
    size_t produced = 0;
    AdpcmChannel ch[2];
    while (produced < maxFrames && used + headerBits <= totalBits) {
        for (size_t c = 0; c < channels; ++c) {
            ch[c].sample = r.Sb(16);
            ch[c].index = std::min(static_cast<int>(r.Ub(6)), 88);
            out.samples.push_back(static_cast<int16_t>(ch[c].sample));
        }
        used += headerBits;
        ++produced;
        for (size_t i = 1; i < kAdpcmPacketFrames && produced < maxFrames; ++i) {
            if (used + frameBits > totalBits) return;
            for (size_t c = 0; c < channels; ++c) {
                ch[c].Apply(r.Ub(bits), bits);
                out.samples.push_back(static_cast<int16_t>(ch[c].sample));
            }
            used += frameBits;
            ++produced;
        }
    }
}

void Resampler::Push(const PcmChunk& in, std::vector<int16_t>& out) {
    if (in.channels < 1 || in.channels > 2 || in.rate <= 0) return;
    if (in.rate != rate_) {
        rate_ = in.rate;
        step_ = static_cast<uint64_t>(in.rate / kOutputRate * 4294967296.0);
        if (step_ == 0) step_ = 1;
    }
    const size_t frames = in.Frames();
    out.reserve(out.size() + (frames * kOutputRate / static_cast<size_t>(in.rate) + 2) * 2);
    for (size_t f = 0; f < frames; ++f) {
        const int16_t cur[2] = {in.samples[f * in.channels], in.samples[f * in.channels + (in.channels - 1)]};
        if (!primed_) {
            prev_[0] = cur[0];
            prev_[1] = cur[1];
            primed_ = true;
        }
        // Output frames that fall between the previous input frame and this one.
        while (pos_ < (uint64_t(1) << 32)) {
            const int64_t t = static_cast<int64_t>(pos_ >> 16);  // 16-bit fraction
            for (int c = 0; c < 2; ++c)
                out.push_back(static_cast<int16_t>(prev_[c] + (((cur[c] - prev_[c]) * t) >> 16)));
            pos_ += step_;
        }
        pos_ -= uint64_t(1) << 32;
        prev_[0] = cur[0];
        prev_[1] = cur[1];
    }
}

}  // namespace lumarel::engine::sound
