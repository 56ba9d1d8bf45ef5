// Sound tags and the sample encodings they carry, including a small SWF ADPCM encoder.
#include <algorithm>
#include <cstdlib>

#include "tools/swfkit/swfkit.h"

namespace lumarel::swfkit {

namespace {

constexpr int kSteps[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
                            25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
                            88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
                            307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
                            1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
                            3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
                            12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kShifts[4][16] = {
    {-1, 2}, {-1, -1, 2, 4}, {-1, -1, -1, -1, 2, 4, 6, 8}, {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};

// Encoder state of one channel; it follows exactly what a decoder reconstructs.
struct Channel {
    int predicted = 0;
    int index = 0;

    std::uint32_t Encode(int sample, int bits) {
        const int step = kSteps[index];
        int d = sample - predicted;
        const std::uint32_t sign = d < 0 ? 1u << (bits - 1) : 0;
        d = std::abs(d);
        std::uint32_t magnitude = 0;
        int diff = step >> (bits - 1);
        for (int b = bits - 2, part = step; b >= 0; --b, part >>= 1) {
            if (d >= part) {
                magnitude |= 1u << b;
                d -= part;
                diff += part;
            }
        }
        predicted = std::clamp(sign ? predicted - diff : predicted + diff, -32768, 32767);
        index = std::clamp(index + kShifts[bits - 2][magnitude], 0, 88);
        return sign | magnitude;
    }
};

void WriteFormat(BitWriter& w, const SoundFormat& f) {
    w.Ub(f.rateCode, 2);
    w.Ub(f.sixteenBit, 1);
    w.Ub(f.stereo, 1);
}

}  // namespace

Bytes EncodePcm16(const std::vector<std::int16_t>& samples) {
    BitWriter w;
    for (std::int16_t s : samples) w.S16(s);
    return w.Take();
}

Bytes EncodeAdpcm(const std::vector<std::int16_t>& samples, bool stereo, int bits) {
    bits = std::clamp(bits, 2, 5);
    const std::size_t channels = stereo ? 2 : 1;
    const std::size_t frames = samples.size() / channels;
    BitWriter w;
    w.Ub(static_cast<std::uint32_t>(bits - 2), 2);
    Channel ch[2];
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            const int s = samples[f * channels + c];
            if (f % 4096 == 0) {
                // A packet starts with the sample itself and the current step index.
                ch[c].predicted = s;
                w.Sb(s, 16);
                w.Ub(static_cast<std::uint32_t>(ch[c].index), 6);
            } else {
                w.Ub(ch[c].Encode(s, bits), static_cast<unsigned>(bits));
            }
        }
    }
    return w.Take();
}

Bytes EncodeSoundInfo(const SoundInfo& info) {
    BitWriter w;
    w.Ub(0, 2);
    w.Ub(info.syncStop, 1);
    w.Ub(info.noMultiple, 1);
    w.Ub(!info.envelope.empty(), 1);
    w.Ub(info.loops.has_value(), 1);
    w.Ub(info.outPoint.has_value(), 1);
    w.Ub(info.inPoint.has_value(), 1);
    if (info.inPoint) w.U32(*info.inPoint);
    if (info.outPoint) w.U32(*info.outPoint);
    if (info.loops) w.U16(*info.loops);
    if (!info.envelope.empty()) {
        w.U8(static_cast<std::uint8_t>(std::min<std::size_t>(info.envelope.size(), 255)));
        for (std::size_t i = 0; i < info.envelope.size() && i < 255; ++i) {
            w.U32(info.envelope[i].pos44);
            w.U16(info.envelope[i].left);
            w.U16(info.envelope[i].right);
        }
    }
    return w.Take();
}

Bytes StartSoundBody(std::uint16_t soundId, const SoundInfo& info) {
    BitWriter w;
    w.U16(soundId);
    w.Append(EncodeSoundInfo(info));
    return w.Take();
}

Bytes SoundStreamHeadBody(const SoundFormat& stream, std::uint16_t samplesPerBlock) {
    BitWriter w;
    w.Ub(0, 4);
    WriteFormat(w, stream);
    w.Ub(stream.codec, 4);
    WriteFormat(w, stream);
    w.U16(samplesPerBlock);
    if (stream.codec == 2) w.S16(0);
    return w.Take();
}

Bytes DefineSoundBody(std::uint16_t id, const SoundFormat& format, std::uint32_t sampleCount, const Bytes& data) {
    BitWriter w;
    w.U16(id).Ub(format.codec, 4);
    WriteFormat(w, format);
    return w.U32(sampleCount).Append(data).Take();
}

std::uint16_t Movie::DefineSound(const SoundFormat& format, std::uint32_t sampleCount, const Bytes& data) {
    const std::uint16_t id = NextId();
    Raw(tag::DefineSound, DefineSoundBody(id, format, sampleCount, data));
    return id;
}

}  // namespace lumarel::swfkit
