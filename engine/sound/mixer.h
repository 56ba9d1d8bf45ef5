// The sound mixer: event sounds (DefineSound played by StartSound with its SOUNDINFO) and
// per-timeline stream sound, mixed to 44.1 kHz stereo 16-bit.
//
// The timeline hands it tags as it reaches them: DefineSound once (DefineSoundTag), StartSound
// each time the frame runs (StartSoundTag), a stream's head and then one block per frame
// (StreamHeadTag, StreamBlockTag, keyed by whatever identifies that timeline). The audio output
// pulls samples with Mix(), which advances every voice and each stream's clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "engine/sound/decode.h"
#include "engine/sound/sound_tags.h"

namespace lumarel::engine::sound {

// How a voice's channels reach the output: each output channel is a mix of both input channels
// in percent (ll: left to left, lr: left to right, rr, rl), then scaled by volume (percent).
struct SoundTransform {
    int volume = 100;
    int ll = 100, lr = 0, rr = 100, rl = 0;
    // Pan -100 (left only) .. 100 (right only): the far side is turned down, nothing is crossed.
    static SoundTransform Pan(int pan, int volume = 100);
};

struct MixerLimits {
    size_t cacheBytes = size_t(64) << 20;                  // decoded event sounds kept for reuse
    size_t maxSoundFrames = size_t(kOutputRate) * 60 * 5;  // longest decoded event sound
    size_t maxStreamFrames = size_t(kOutputRate) * 20;     // stream audio buffered ahead
    size_t maxVoices = 32;
};

using VoiceId = uint32_t;  // 0: no voice

class Mixer {
public:
    explicit Mixer(std::shared_ptr<CompressedDecoderSource> decoders = nullptr, MixerLimits limits = {});

    // Event sounds. A later definition with the same id replaces the earlier one.
    bool DefineSoundTag(std::span<const uint8_t> body);
    void DefineSound(const SoundDefinition& def);
    bool HasSound(uint16_t id) const { return sounds_.count(id) != 0; }
    // Runs a StartSound body. Returns the new voice, or 0 (sync stop, refused, unknown sound).
    VoiceId StartSoundTag(std::span<const uint8_t> body, uint32_t group = 0);
    // Starts `id` as the SOUNDINFO says: sync stop stops its voices instead; no-multiple refuses
    // while one plays. `group` ties the voice to a group transform (a clip's Sound object).
    VoiceId Start(uint16_t id, const SoundInfo& info, uint32_t group = 0);
    void StopSound(uint16_t id);
    void StopVoice(VoiceId voice);
    void StopGroup(uint32_t group);  // every event voice of a group
    void StopAll();                  // every event voice and every stream
    bool IsPlaying(uint16_t id) const;
    bool IsVoicePlaying(VoiceId voice) const;
    size_t VoiceCount() const { return voices_.size(); }

    // Stream sound, one per key (a timeline). A head resets the stream; blocks are appended.
    bool StreamHeadTag(uint64_t key, std::span<const uint8_t> body, uint32_t group = 0);
    void StreamHead(uint64_t key, const sound::StreamHead& head, uint32_t group = 0);
    bool StreamBlockTag(uint64_t key, std::span<const uint8_t> body);
    // Drops what is buffered (the timeline jumped or stopped); the next block starts a new run
    // (MP3 decoding restarts and that block's seek samples are skipped). The clock is kept.
    void StreamStop(uint64_t key);
    void StreamRemove(uint64_t key);
    // 44.1 kHz frames of this stream played so far (0 for an unknown key). It only grows, and
    // stands still while nothing is buffered. The timeline follows it: at frame rate r, frame n
    // of a run is due when the clock has gone n * 44100 / r past its value when the run began.
    uint64_t StreamClock(uint64_t key) const;
    // Frames decoded and waiting to be played.
    size_t StreamBuffered(uint64_t key) const;

    // Transform hooks; they multiply: master * group * voice.
    void SetVoiceTransform(VoiceId voice, const SoundTransform& t);
    void SetGroupTransform(uint32_t group, const SoundTransform& t);
    void SetMasterTransform(const SoundTransform& t) { master_ = t; }

    // Writes `frames` interleaved stereo frames and advances everything by that much.
    void Mix(int16_t* out, size_t frames);
    uint64_t Clock() const { return clock_; }  // frames mixed since construction

    size_t CacheBytes() const { return cacheBytes_; }

private:
    using Samples = std::shared_ptr<const std::vector<int16_t>>;  // 44.1 kHz stereo
    struct Sound {
        SoundDefinition def;
        std::vector<uint8_t> data;  // own copy of the stored bytes
        bool failed = false;        // decoding failed once: silent from then on
    };
    struct Voice {
        VoiceId id = 0;
        uint16_t sound = 0;
        uint32_t group = 0;
        Samples samples;
        size_t begin = 0, end = 0;  // played range in frames
        uint32_t loopsLeft = 1;
        size_t pos = 0;       // next frame
        uint64_t played = 0;  // frames played, for the envelope
        std::vector<EnvelopePoint> envelope;
        SoundTransform transform;
    };
    struct Stream {
        sound::StreamHead head;
        uint32_t group = 0;
        std::vector<int16_t> buffer;  // stereo frames waiting, from `readPos`
        size_t readPos = 0;
        uint64_t clock = 0;
        bool newRun = true;
        bool failed = false;
        std::unique_ptr<CompressedDecoder> decoder;
        Resampler resampler;
    };

    Samples Decoded(uint16_t id);
    void CacheInsert(uint16_t id, Samples s);
    static void EnvelopeAt(const std::vector<EnvelopePoint>& env, uint64_t pos, int32_t& left, int32_t& right);

    std::shared_ptr<CompressedDecoderSource> decoders_;
    MixerLimits limits_;
    std::map<uint16_t, Sound> sounds_;
    std::list<std::pair<uint16_t, Samples>> cache_;  // most recently used first
    size_t cacheBytes_ = 0;
    std::vector<Voice> voices_;
    VoiceId nextVoice_ = 1;
    std::map<uint64_t, Stream> streams_;
    std::map<uint32_t, SoundTransform> groups_;
    SoundTransform master_;
    uint64_t clock_ = 0;
    std::vector<int32_t> acc_;
};

}  // namespace lumarel::engine::sound
