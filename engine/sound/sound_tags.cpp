#include "engine/sound/sound_tags.h"

namespace lumarel::engine::sound {

const char* CodecName(Codec c) {
    switch (c) {
        case Codec::PcmNative:
        case Codec::PcmLittle:
            return "uncompressed";
        case Codec::Adpcm:
            return "ADPCM";
        case Codec::Mp3:
            return "MP3";
        case Codec::Nellymoser16k:
        case Codec::Nellymoser8k:
        case Codec::Nellymoser:
            return "Nellymoser";
        case Codec::Speex:
            return "Speex";
    }
    return "unknown";
}

bool IsBuiltIn(Codec c) { return c == Codec::PcmNative || c == Codec::PcmLittle || c == Codec::Adpcm; }

namespace {

SoundFormat ReadFormat(swf::BitReader& r, bool withCodec) {
    SoundFormat f;
    if (withCodec) f.codec = static_cast<Codec>(r.Ub(4));
    f.rateCode = static_cast<uint8_t>(r.Ub(2));
    f.sixteenBit = r.Flag();
    f.stereo = r.Flag();
    return f;
}

}  // namespace

double SoundFormat::Rate() const {
    static constexpr double kRates[4] = {5512.5, 11025, 22050, 44100};
    return kRates[rateCode & 3];
}

bool ReadSoundInfo(swf::BitReader& r, SoundInfo& out) {
    out = {};
    r.Ub(2);
    out.syncStop = r.Flag();
    out.noMultiple = r.Flag();
    const bool hasEnvelope = r.Flag();
    const bool hasLoops = r.Flag();
    out.hasOutPoint = r.Flag();
    out.hasInPoint = r.Flag();
    if (out.hasInPoint) out.inPoint = r.U32();
    if (out.hasOutPoint) out.outPoint = r.U32();
    if (hasLoops) out.loops = r.U16();
    if (hasEnvelope) {
        const uint8_t n = r.U8();
        for (uint8_t i = 0; i < n && r.Ok(); ++i) {
            EnvelopePoint p;
            p.pos44 = r.U32();
            p.left = r.U16();
            p.right = r.U16();
            if (r.Ok()) out.envelope.push_back(p);
        }
    }
    return r.Ok();
}

bool ParseDefineSound(std::span<const uint8_t> body, SoundDefinition& out) {
    out = {};
    swf::BitReader r(body);
    out.id = r.U16();
    out.format = ReadFormat(r, true);
    out.sampleCount = r.U32();
    if (out.format.codec == Codec::Mp3) out.seekSamples = r.S16();
    if (!r.Ok()) return false;
    out.data = r.Rest();
    return true;
}

bool ParseStartSound(std::span<const uint8_t> body, StartSound& out) {
    out = {};
    swf::BitReader r(body);
    out.id = r.U16();
    return ReadSoundInfo(r, out.info);
}

bool ParseStartSound2(std::span<const uint8_t> body, StartSound& out) {
    out = {};
    swf::BitReader r(body);
    out.className = r.Str();
    return ReadSoundInfo(r, out.info);
}

bool ParseSoundStreamHead(std::span<const uint8_t> body, StreamHead& out) {
    out = {};
    swf::BitReader r(body);
    r.Ub(4);
    out.playback = ReadFormat(r, false);
    out.playback.codec = Codec::PcmLittle;
    out.stream = ReadFormat(r, true);
    out.samplesPerBlock = r.U16();
    // Some authoring tools leave the latency field out; a head without it still plays.
    if (out.stream.codec == Codec::Mp3 && r.Remaining() >= 2) out.latencySeek = r.S16();
    return r.Ok();
}

bool ParseSoundStreamBlock(std::span<const uint8_t> body, const StreamHead& head, StreamBlock& out) {
    out = {};
    swf::BitReader r(body);
    if (head.stream.codec == Codec::Mp3) {
        out.sampleCount = r.U16();
        out.seekSamples = r.S16();
        if (!r.Ok()) return false;
    }
    out.data = r.Rest();
    return true;
}

}  // namespace lumarel::engine::sound
