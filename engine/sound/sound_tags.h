// Sound tags: DefineSound, the SOUNDINFO record of StartSound and StartSound2, SoundStreamHead(2)
// and SoundStreamBlock. Data spans point into the tag body they were read from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/swf/bit_reader.h"

namespace lumarel::engine::sound {

enum class Codec : uint8_t {
    PcmNative = 0,  // uncompressed, the authoring machine's byte order (little-endian in practice)
    Adpcm = 1,
    Mp3 = 2,
    PcmLittle = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Speex = 11,
};

// "MP3", "Nellymoser", ... as --info names them.
const char* CodecName(Codec c);
// Codecs the engine decodes itself (PCM, ADPCM); others need a host's decoder.
bool IsBuiltIn(Codec c);

// How samples are stored: codec, rate code (0 = 5.5 kHz, 1 = 11, 2 = 22, 3 = 44), width, channels.
struct SoundFormat {
    Codec codec = Codec::PcmLittle;
    uint8_t rateCode = 3;
    bool sixteenBit = true;
    bool stereo = false;
    // Samples per second; 5.5 kHz is an eighth of 44.1 kHz.
    double Rate() const;
};

struct SoundDefinition {
    uint16_t id = 0;
    SoundFormat format;
    uint32_t sampleCount = 0;       // per channel, at the sound's own rate
    int16_t seekSamples = 0;        // MP3: decoder delay to skip at the start
    std::span<const uint8_t> data;  // MP3: the frames after SeekSamples
};

struct EnvelopePoint {
    uint32_t pos44 = 0;  // 44.1 kHz samples from the start of the sound
    uint16_t left = 32768, right = 32768;
};

struct SoundInfo {
    bool syncStop = false;
    bool noMultiple = false;
    bool hasInPoint = false, hasOutPoint = false;
    uint32_t inPoint = 0, outPoint = 0;  // 44.1 kHz samples
    uint16_t loops = 1;
    std::vector<EnvelopePoint> envelope;
};

struct StartSound {
    uint16_t id = 0;        // StartSound
    std::string className;  // StartSound2
    SoundInfo info;
};

struct StreamHead {
    SoundFormat playback;          // what the player should mix at (advisory)
    SoundFormat stream;            // how the blocks are stored
    uint16_t samplesPerBlock = 0;  // per frame, at the stream's rate
    int16_t latencySeek = 0;       // MP3 only
};

struct StreamBlock {
    uint16_t sampleCount = 0;       // MP3: samples in this block's frames
    int16_t seekSamples = 0;        // MP3: samples to skip when playback starts at this block
    std::span<const uint8_t> data;  // MP3 frames, or the block's PCM/ADPCM data
};

// Each returns false when the record is cut short or malformed; nothing reads past the span.
bool ReadSoundInfo(swf::BitReader& r, SoundInfo& out);
bool ParseDefineSound(std::span<const uint8_t> body, SoundDefinition& out);
bool ParseStartSound(std::span<const uint8_t> body, StartSound& out);
bool ParseStartSound2(std::span<const uint8_t> body, StartSound& out);
bool ParseSoundStreamHead(std::span<const uint8_t> body, StreamHead& out);
bool ParseSoundStreamBlock(std::span<const uint8_t> body, const StreamHead& head, StreamBlock& out);

}  // namespace lumarel::engine::sound
