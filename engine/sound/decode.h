// Turning stored sound into 44.1 kHz stereo 16-bit samples: uncompressed PCM, SWF ADPCM, and
// compressed codecs (MP3) through a decoder the host provides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/sound/sound_tags.h"

namespace lumarel::engine::sound {

constexpr int kOutputRate = 44100;

// Interleaved 16-bit samples at some rate with one or two channels.
struct PcmChunk {
    double rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// A decoder of a compressed codec. State carries over between calls, so the frames of a stream
// may arrive block by block and a frame split across blocks still decodes.
class CompressedDecoder {
public:
    virtual ~CompressedDecoder() = default;
    // Appends the PCM these bytes complete to `out` (setting its rate and channels from the first
    // decoded frame). False on an error the decoder cannot recover from.
    virtual bool Decode(std::span<const uint8_t> data, PcmChunk& out) = 0;
};

// Makes decoders for the codecs a host can decode; null for any other codec (it stays silent).
class CompressedDecoderSource {
public:
    virtual ~CompressedDecoderSource() = default;
    virtual std::unique_ptr<CompressedDecoder> Create(Codec codec) = 0;
};

// Appends uncompressed PCM (both little-endian; 8-bit unsigned, 16-bit signed). A trailing
// partial sample frame is dropped.
void DecodePcm(std::span<const uint8_t> data, const SoundFormat& format, PcmChunk& out);

// Appends SWF ADPCM data (a 2-bit code size, then packets of 4096 samples that begin with the
// raw first sample and step index). Stops where the data ends; at most `maxFrames` frames.
// Sets the channel count; the rate comes from the tag and is the caller's to set.
void DecodeAdpcm(std::span<const uint8_t> data, bool stereo, PcmChunk& out, size_t maxFrames = SIZE_MAX);

// Converts chunks of any rate and channel count to 44.1 kHz stereo by linear interpolation
// between neighbouring input frames. Keeps the last frame between calls, so consecutive chunks
// of a stream join without a seam; the output trails the input by one input frame.
class Resampler {
public:
    // Appends to `out` (interleaved stereo) the frames `in` completes.
    void Push(const PcmChunk& in, std::vector<int16_t>& out);
    void Reset() { *this = Resampler(); }

private:
    uint64_t step_ = 0;  // input frames per output frame, 32.32 fixed point
    uint64_t pos_ = 0;   // position of the next output frame, relative to the previous input frame
    double rate_ = 0;
    bool primed_ = false;
    int16_t prev_[2] = {0, 0};
};

}  // namespace lumarel::engine::sound
