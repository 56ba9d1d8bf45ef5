#include "engine/sound/mixer.h"

#include <algorithm>
#include <cmath>

namespace lumarel::engine::sound {

namespace {

// A transform as a 2x2 gain matrix: out.left = m[0]*left + m[1]*right, out.right = m[2]*left + m[3]*right.
struct Gains {
    float m[4] = {1, 0, 0, 1};
};

Gains ToGains(const SoundTransform& t) {
    const float v = std::clamp(t.volume, 0, 100) / 100.0f;
    auto pc = [v](int x) { return std::clamp(x, 0, 100) / 100.0f * v; };
    return Gains{{pc(t.ll), pc(t.rl), pc(t.lr), pc(t.rr)}};
}

Gains operator*(const Gains& a, const Gains& b) {
    return Gains{{a.m[0] * b.m[0] + a.m[1] * b.m[2], a.m[0] * b.m[1] + a.m[1] * b.m[3],
                  a.m[2] * b.m[0] + a.m[3] * b.m[2], a.m[2] * b.m[1] + a.m[3] * b.m[3]}};
}

// Drops the first `frames` frames of a chunk (decoder delay, seek samples).
void SkipFrames(PcmChunk& c, size_t frames) {
    const size_t n = std::min(frames, c.Frames()) * static_cast<size_t>(c.channels);
    c.samples.erase(c.samples.begin(), c.samples.begin() + static_cast<std::ptrdiff_t>(n));
}

// Decodes the PCM and ADPCM codecs; false for the others.
bool DecodeBuiltIn(std::span<const uint8_t> data, const SoundFormat& f, PcmChunk& out, size_t maxFrames) {
    switch (f.codec) {
        case Codec::PcmNative:
        case Codec::PcmLittle:
            DecodePcm(data, f, out);
            return true;
        case Codec::Adpcm:
            out.rate = f.Rate();
            DecodeAdpcm(data, f.stereo, out, maxFrames);
            return true;
        default:
            return false;
    }
}

}  // namespace

SoundTransform SoundTransform::Pan(int pan, int volume) {
    SoundTransform t;
    t.volume = volume;
    pan = std::clamp(pan, -100, 100);
    t.ll = pan > 0 ? 100 - pan : 100;
    t.rr = pan < 0 ? 100 + pan : 100;
    return t;
}

Mixer::Mixer(std::shared_ptr<CompressedDecoderSource> decoders, MixerLimits limits)
    : decoders_(std::move(decoders)), limits_(limits) {}

bool Mixer::DefineSoundTag(std::span<const uint8_t> body) {
    SoundDefinition def;
    if (!ParseDefineSound(body, def)) return false;
    DefineSound(def);
    return true;
}

void Mixer::DefineSound(const SoundDefinition& def) {
    Sound& s = sounds_[def.id];
    s.def = def;
    s.data.assign(def.data.begin(), def.data.end());
    s.def.data = s.data;
    s.failed = false;
    cache_.remove_if([&](const auto& e) {
        if (e.first != def.id) return false;
        cacheBytes_ -= e.second->size() * sizeof(int16_t);
        return true;
    });
}

Mixer::Samples Mixer::Decoded(uint16_t id) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first != id) continue;
        cache_.splice(cache_.begin(), cache_, it);
        return cache_.front().second;
    }
    auto found = sounds_.find(id);
    if (found == sounds_.end() || found->second.failed) return nullptr;
    Sound& s = found->second;
    const SoundFormat& f = s.def.format;
    const size_t maxIn = static_cast<size_t>(static_cast<double>(limits_.maxSoundFrames) * f.Rate() / kOutputRate) + 1;
    PcmChunk pcm;
    if (!DecodeBuiltIn(s.data, f, pcm, maxIn)) {
        std::unique_ptr<CompressedDecoder> d = decoders_ ? decoders_->Create(f.codec) : nullptr;
        if (!d) {
            s.failed = true;
            return nullptr;
        }
        // Fed in pieces, so a long sound stops decoding once it has all the frames it may keep.
        constexpr size_t kPiece = 16384;
        const std::span<const uint8_t> all(s.data);
        for (size_t at = 0; at < all.size() && pcm.Frames() <= maxIn + size_t(std::max<int16_t>(s.def.seekSamples, 0));
             at += kPiece) {
            if (!d->Decode(all.subspan(at, std::min(kPiece, all.size() - at)), pcm)) {
                s.failed = true;
                return nullptr;
            }
        }
        if (s.def.seekSamples > 0) SkipFrames(pcm, static_cast<size_t>(s.def.seekSamples));
    }
    if (s.def.sampleCount > 0 && pcm.Frames() > s.def.sampleCount)
        pcm.samples.resize(static_cast<size_t>(s.def.sampleCount) * static_cast<size_t>(pcm.channels));
    if (pcm.Frames() > maxIn) pcm.samples.resize(maxIn * static_cast<size_t>(pcm.channels));
    auto out = std::make_shared<std::vector<int16_t>>();
    Resampler rs;
    rs.Push(pcm, *out);
    if (out->size() > limits_.maxSoundFrames * 2) out->resize(limits_.maxSoundFrames * 2);
    Samples shared = std::move(out);
    CacheInsert(id, shared);
    return shared;
}

void Mixer::CacheInsert(uint16_t id, Samples s) {
    const size_t bytes = s->size() * sizeof(int16_t);
    if (bytes > limits_.cacheBytes) return;  // too big to keep; it is decoded again next time
    while (!cache_.empty() && cacheBytes_ + bytes > limits_.cacheBytes) {
        cacheBytes_ -= cache_.back().second->size() * sizeof(int16_t);
        cache_.pop_back();  // voices still playing it keep their own reference
    }
    cache_.emplace_front(id, std::move(s));
    cacheBytes_ += bytes;
}

VoiceId Mixer::StartSoundTag(std::span<const uint8_t> body, uint32_t group) {
    StartSound st;
    if (!ParseStartSound(body, st)) return 0;
    return Start(st.id, st.info, group);
}

VoiceId Mixer::Start(uint16_t id, const SoundInfo& info, uint32_t group) {
    if (info.syncStop) {
        StopSound(id);
        return 0;
    }
    if ((info.noMultiple && IsPlaying(id)) || voices_.size() >= limits_.maxVoices) return 0;
    Samples samples = Decoded(id);
    if (!samples) return 0;
    Voice v;
    v.id = nextVoice_++;
    if (nextVoice_ == 0) nextVoice_ = 1;
    v.sound = id;
    v.group = group;
    const size_t frames = samples->size() / 2;
    v.begin = info.hasInPoint ? std::min<size_t>(info.inPoint, frames) : 0;
    v.end = info.hasOutPoint ? std::clamp<size_t>(info.outPoint, v.begin, frames) : frames;
    if (v.end == v.begin) return 0;
    v.samples = std::move(samples);
    v.pos = v.begin;
    v.loopsLeft = std::max<uint32_t>(info.loops, 1);
    v.envelope = info.envelope;
    std::stable_sort(v.envelope.begin(), v.envelope.end(),
                     [](const EnvelopePoint& a, const EnvelopePoint& b) { return a.pos44 < b.pos44; });
    voices_.push_back(std::move(v));
    return voices_.back().id;
}

void Mixer::StopSound(uint16_t id) {
    std::erase_if(voices_, [id](const Voice& v) { return v.sound == id; });
}

void Mixer::StopGroup(uint32_t group) {
    std::erase_if(voices_, [group](const Voice& v) { return v.group == group; });
}

void Mixer::StopVoice(VoiceId voice) {
    std::erase_if(voices_, [voice](const Voice& v) { return v.id == voice; });
}

void Mixer::StopAll() {
    voices_.clear();
    for (auto& [key, s] : streams_) StreamStop(key);
}

bool Mixer::IsPlaying(uint16_t id) const {
    return std::any_of(voices_.begin(), voices_.end(), [id](const Voice& v) { return v.sound == id; });
}

bool Mixer::IsVoicePlaying(VoiceId voice) const {
    return std::any_of(voices_.begin(), voices_.end(), [voice](const Voice& v) { return v.id == voice; });
}

bool Mixer::StreamHeadTag(uint64_t key, std::span<const uint8_t> body, uint32_t group) {
    sound::StreamHead head;
    if (!ParseSoundStreamHead(body, head)) return false;
    StreamHead(key, head, group);
    return true;
}

void Mixer::StreamHead(uint64_t key, const sound::StreamHead& head, uint32_t group) {
    Stream& s = streams_[key];
    s.head = head;
    s.group = group;
    s.failed = false;
    StreamStop(key);
}

bool Mixer::StreamBlockTag(uint64_t key, std::span<const uint8_t> body) {
    auto found = streams_.find(key);
    if (found == streams_.end()) return false;
    Stream& s = found->second;
    StreamBlock block;
    if (!ParseSoundStreamBlock(body, s.head, block)) return false;
    const SoundFormat& f = s.head.stream;
    PcmChunk pcm;
    bool decoded = false;
    if (!s.failed) {
        // Padding bits at the end of an ADPCM block could pass for one more sample.
        decoded = DecodeBuiltIn(block.data, f, pcm, s.head.samplesPerBlock ? s.head.samplesPerBlock : SIZE_MAX);
        if (!decoded) {
            if (s.newRun) s.decoder = decoders_ ? decoders_->Create(f.codec) : nullptr;
            if (s.decoder && s.decoder->Decode(block.data, pcm)) {
                decoded = true;
                if (s.newRun && block.seekSamples > 0) SkipFrames(pcm, static_cast<size_t>(block.seekSamples));
            } else if (s.decoder) {
                s.failed = true;  // a decoder error silences this stream until its next head
            }
        }
    }
    if (!decoded) {
        // Undecodable blocks still take their time, so the stream clock keeps pace.
        const size_t frames = f.codec == Codec::Mp3 ? block.sampleCount : s.head.samplesPerBlock;
        pcm = PcmChunk{f.Rate(), 1, std::vector<int16_t>(frames, 0)};
    }
    s.newRun = false;
    s.resampler.Push(pcm, s.buffer);
    const size_t buffered = s.buffer.size() / 2 - s.readPos;
    if (buffered > limits_.maxStreamFrames) s.readPos += buffered - limits_.maxStreamFrames;  // oldest go
    if (s.readPos * 2 > s.buffer.size() / 2) {
        s.buffer.erase(s.buffer.begin(), s.buffer.begin() + static_cast<std::ptrdiff_t>(s.readPos * 2));
        s.readPos = 0;
    }
    return true;
}

void Mixer::StreamStop(uint64_t key) {
    auto found = streams_.find(key);
    if (found == streams_.end()) return;
    Stream& s = found->second;
    s.buffer.clear();
    s.readPos = 0;
    s.newRun = true;
    s.decoder.reset();
    s.resampler.Reset();
}

void Mixer::StreamRemove(uint64_t key) { streams_.erase(key); }

uint64_t Mixer::StreamClock(uint64_t key) const {
    auto found = streams_.find(key);
    return found == streams_.end() ? 0 : found->second.clock;
}

size_t Mixer::StreamBuffered(uint64_t key) const {
    auto found = streams_.find(key);
    return found == streams_.end() ? 0 : found->second.buffer.size() / 2 - found->second.readPos;
}

void Mixer::SetVoiceTransform(VoiceId voice, const SoundTransform& t) {
    for (Voice& v : voices_)
        if (v.id == voice) v.transform = t;
}

void Mixer::SetGroupTransform(uint32_t group, const SoundTransform& t) { groups_[group] = t; }

void Mixer::EnvelopeAt(const std::vector<EnvelopePoint>& env, uint64_t pos, int32_t& left, int32_t& right) {
    if (env.empty()) {
        left = right = 32768;
        return;
    }
    if (pos <= env.front().pos44) {
        left = env.front().left;
        right = env.front().right;
        return;
    }
    for (size_t i = 1; i < env.size(); ++i) {
        const EnvelopePoint& a = env[i - 1];
        const EnvelopePoint& b = env[i];
        if (pos >= b.pos44) continue;
        const double t = static_cast<double>(pos - a.pos44) / static_cast<double>(b.pos44 - a.pos44);
        left = static_cast<int32_t>(std::lround(a.left + (b.left - a.left) * t));
        right = static_cast<int32_t>(std::lround(a.right + (b.right - a.right) * t));
        return;
    }
    left = env.back().left;
    right = env.back().right;
}

void Mixer::Mix(int16_t* out, size_t frames) {
    acc_.assign(frames * 2, 0);
    const Gains master = ToGains(master_);
    auto groupGains = [&](uint32_t group) {
        auto g = groups_.find(group);
        return g == groups_.end() ? master : master * ToGains(g->second);
    };
    auto add = [&](size_t f, float l, float r, const Gains& g) {
        acc_[2 * f] += static_cast<int32_t>(g.m[0] * l + g.m[1] * r);
        acc_[2 * f + 1] += static_cast<int32_t>(g.m[2] * l + g.m[3] * r);
    };
    for (Voice& v : voices_) {
        const Gains g = groupGains(v.group) * ToGains(v.transform);
        const std::vector<int16_t>& s = *v.samples;
        for (size_t f = 0; f < frames; ++f) {
            if (v.pos >= v.end) {
                if (v.loopsLeft <= 1) break;
                --v.loopsLeft;
                v.pos = v.begin;
            }
            int32_t el = 32768, er = 32768;
            if (!v.envelope.empty()) EnvelopeAt(v.envelope, v.begin + v.played, el, er);
            add(f, s[2 * v.pos] * (el / 32768.0f), s[2 * v.pos + 1] * (er / 32768.0f), g);
            ++v.pos;
            ++v.played;
        }
    }
    std::erase_if(voices_, [](const Voice& v) { return v.pos >= v.end && v.loopsLeft <= 1; });
    for (auto& [key, s] : streams_) {
        const Gains g = groupGains(s.group);
        const size_t n = std::min(frames, s.buffer.size() / 2 - s.readPos);
        for (size_t f = 0; f < n; ++f) add(f, s.buffer[2 * (s.readPos + f)], s.buffer[2 * (s.readPos + f) + 1], g);
        s.readPos += n;
        s.clock += n;
    }
    for (size_t i = 0; i < frames * 2; ++i) out[i] = static_cast<int16_t>(std::clamp(acc_[i], -32768, 32767));
    clock_ += frames;
}

}  // namespace lumarel::engine::sound
