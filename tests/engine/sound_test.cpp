// Sound: tag records (whole and cut short), PCM and ADPCM decoding, resampled lengths, and the
// mixer's handling of SOUNDINFO and streams.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/player.h"
#include "engine/sound/mixer.h"
#include "tools/swfkit/swfkit.h"
#if LUMAREL_TEST_SOUND_DECODERS
#include "player/sound_decoders.h"
#endif

namespace snd = lumarel::engine::sound;
namespace kit = lumarel::swfkit;

namespace {

std::vector<int16_t> Sine(size_t frames, int channels, double period, double amp = 12000) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s.push_back(static_cast<int16_t>(amp * std::sin(6.2831853 * (i + c * 7) / period)));
    return s;
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

// DefineSound body of a 44 kHz mono 16-bit sound holding `value` in every sample.
kit::Bytes ConstantSound(uint16_t id, size_t frames, int16_t value) {
    const kit::SoundFormat pcm;  // little-endian PCM, 44 kHz, 16-bit, mono
    return kit::DefineSoundBody(id, pcm, static_cast<uint32_t>(frames),
                                kit::EncodePcm16(std::vector<int16_t>(frames, value)));
}

std::vector<int16_t> Pull(snd::Mixer& m, size_t frames) {
    std::vector<int16_t> out(frames * 2);
    m.Mix(out.data(), frames);
    return out;
}

}  // namespace

TEST(SoundTags, SoundInfoRecords) {
    kit::SoundInfo full;
    full.noMultiple = true;
    full.inPoint = 10;
    full.outPoint = 900;
    full.loops = 3;
    full.envelope = {{0, 0, 32768}, {500, 32768, 0}};
    const kit::Bytes body = kit::StartSoundBody(7, full);
    snd::StartSound st;
    ASSERT_TRUE(snd::ParseStartSound(body, st));
    EXPECT_EQ(st.id, 7);
    EXPECT_TRUE(st.info.noMultiple && !st.info.syncStop && st.info.hasInPoint && st.info.hasOutPoint);
    EXPECT_EQ(st.info.inPoint, 10u);
    EXPECT_EQ(st.info.outPoint, 900u);
    EXPECT_EQ(st.info.loops, 3);
    ASSERT_EQ(st.info.envelope.size(), 2u);
    EXPECT_EQ(st.info.envelope[1].pos44, 500u);
    EXPECT_EQ(st.info.envelope[1].right, 0);
    // Every cut of the record fails without reading past it.
    for (size_t n = 0; n < body.size(); ++n) EXPECT_FALSE(snd::ParseStartSound(std::span(body.data(), n), st)) << n;
}

TEST(SoundTags, DefineSoundStreamHeadAndBlock) {
    struct Case {
        kit::Bytes body;
        bool ok;
        snd::Codec codec;
        uint32_t samples;
        size_t dataBytes;
    };
    kit::BitWriter mp3;
    mp3.U16(3);
    mp3.U8(0x2e);  // MP3, 44 kHz, 16-bit, mono
    mp3.U32(1152);
    mp3.S16(576);
    mp3.Append(kit::Bytes(5, 0));
    const kit::Bytes pcm = ConstantSound(2, 4, 100);
    const Case cases[] = {
        {pcm, true, snd::Codec::PcmLittle, 4, 8},
        {mp3.Take(), true, snd::Codec::Mp3, 1152, 5},
        {kit::Bytes(pcm.begin(), pcm.begin() + 6), false, snd::Codec::PcmLittle, 0, 0},
    };
    for (const Case& c : cases) {
        snd::SoundDefinition d;
        ASSERT_EQ(snd::ParseDefineSound(c.body, d), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(d.format.codec, c.codec);
        EXPECT_EQ(d.sampleCount, c.samples);
        EXPECT_EQ(d.data.size(), c.dataBytes);
        if (c.codec == snd::Codec::Mp3) {
            EXPECT_EQ(d.seekSamples, 576);
        }
    }

    snd::StreamHead h;
    ASSERT_TRUE(snd::ParseSoundStreamHead(kit::SoundStreamHeadBody({2, 2, true, false}, 1470), h));
    EXPECT_EQ(h.stream.codec, snd::Codec::Mp3);
    EXPECT_EQ(h.stream.Rate(), 22050);
    EXPECT_EQ(h.samplesPerBlock, 1470);
    snd::StreamHead cut;
    EXPECT_FALSE(snd::ParseSoundStreamHead(kit::Bytes{0x0f}, cut));
    snd::StreamBlock b;
    EXPECT_TRUE(snd::ParseSoundStreamBlock(kit::Bytes{0x80, 0x04, 0x20, 0x00, 9, 9}, h, b));
    EXPECT_EQ(b.sampleCount, 1152);
    EXPECT_EQ(b.seekSamples, 32);
    EXPECT_EQ(b.data.size(), 2u);
    EXPECT_FALSE(snd::ParseSoundStreamBlock(kit::Bytes{0x80, 0x04, 0x20}, h, b));
}

TEST(SoundDecode, AdpcmRoundTrip) {
    for (bool stereo : {false, true}) {
        for (int bits = 2; bits <= 5; ++bits) {
            const std::vector<int16_t> src = Sine(9000, stereo ? 2 : 1, 37.0);
            snd::PcmChunk out;
            // Padding after the last code may hold one more; the sound's sample count cuts it.
            snd::DecodeAdpcm(kit::EncodeAdpcm(src, stereo, bits), stereo, out, 9000);
            ASSERT_EQ(out.samples.size(), src.size()) << bits;
            EXPECT_GT(Correlation(src, out.samples), 0.95) << "bits " << bits << " stereo " << stereo;
        }
    }
    snd::PcmChunk junk;
    snd::DecodeAdpcm(std::vector<uint8_t>{0xff}, true, junk);  // no room for a packet header
    EXPECT_TRUE(junk.samples.empty());
}

TEST(SoundDecode, PcmFormatsAndResampledLengths) {
    struct Case {
        std::vector<uint8_t> bytes;
        snd::SoundFormat format;
        std::vector<int16_t> samples;
    };
    const Case cases[] = {
        {{0x00, 0x80, 0xff}, {snd::Codec::PcmNative, 3, false, false}, {-32768, 0, 32512}},
        {{0x34, 0x12, 0xff, 0xff, 0x01}, {snd::Codec::PcmLittle, 3, true, false}, {0x1234, -1}},
        {{0x01, 0x00, 0x02, 0x00, 0x03}, {snd::Codec::PcmLittle, 0, true, true}, {1, 2}},
    };
    for (const Case& c : cases) {
        snd::PcmChunk out;
        snd::DecodePcm(c.bytes, c.format, out);
        EXPECT_EQ(out.samples, c.samples);
    }
    for (uint8_t rate = 0; rate < 4; ++rate) {
        snd::SoundFormat f{snd::Codec::PcmLittle, rate, true, false};
        snd::PcmChunk in{f.Rate(), 1, std::vector<int16_t>(100, 500)};
        snd::Resampler rs;
        std::vector<int16_t> out;
        rs.Push(in, out);
        rs.Push(in, out);
        EXPECT_EQ(out.size(), 2u * 200 * (8 >> rate)) << int(rate);
        EXPECT_EQ(out.back(), 500);
    }
}

TEST(SoundMixer, SoundInfoPlayback) {
    struct Case {
        const char* name;
        kit::SoundInfo info;
        std::vector<std::pair<size_t, int>> checks;  // frame, left sample
    };
    kit::SoundInfo inOut, loops, env;
    inOut.inPoint = 100;
    inOut.outPoint = 300;
    loops.loops = 3;
    env.envelope = {{0, 0, 32768}, {1000, 32768, 32768}};
    const Case cases[] = {
        {"whole", {}, {{0, 1000}, {999, 1000}}},
        {"in and out points", inOut, {{199, 1000}, {200, 0}}},
        {"loops", loops, {{2999, 1000}, {3000, 0}}},
        {"envelope", env, {{0, 0}, {500, 500}, {999, 999}}},
    };
    for (const Case& c : cases) {
        snd::Mixer m;
        ASSERT_TRUE(m.DefineSoundTag(ConstantSound(1, 1000, 1000)));
        ASSERT_NE(m.StartSoundTag(kit::StartSoundBody(1, c.info)), 0u) << c.name;
        const std::vector<int16_t> out = Pull(m, 4000);
        for (auto [frame, left] : c.checks) EXPECT_NEAR(out[2 * frame], left, 1) << c.name << " @" << frame;
        EXPECT_EQ(out[1], 1000) << c.name;  // the right level stays full
        EXPECT_FALSE(m.IsPlaying(1)) << c.name;
    }
}

TEST(SoundMixer, SyncStopNoMultipleAndTransforms) {
    snd::Mixer m;
    ASSERT_TRUE(m.DefineSoundTag(ConstantSound(1, 1000, 1000)));
    kit::SoundInfo once;
    once.noMultiple = true;
    EXPECT_NE(m.StartSoundTag(kit::StartSoundBody(1, {})), 0u);
    EXPECT_EQ(m.StartSoundTag(kit::StartSoundBody(1, once)), 0u);  // refused while one plays
    const snd::VoiceId second = m.StartSoundTag(kit::StartSoundBody(1, {}));
    EXPECT_EQ(m.VoiceCount(), 2u);
    m.SetVoiceTransform(second, snd::SoundTransform::Pan(100));
    EXPECT_EQ(Pull(m, 1), (std::vector<int16_t>{1000, 2000}));
    kit::SoundInfo stop;
    stop.syncStop = true;
    EXPECT_EQ(m.StartSoundTag(kit::StartSoundBody(1, stop)), 0u);
    EXPECT_EQ(m.VoiceCount(), 0u);
    EXPECT_EQ(m.StartSoundTag(kit::StartSoundBody(9, {})), 0u);  // unknown sound
}

TEST(SoundMixer, StreamClockFollowsPlayedBlocks) {
    snd::Mixer m;
    ASSERT_TRUE(m.StreamHeadTag(1, kit::SoundStreamHeadBody({1, 1, true, false}, 400)));
    const kit::Bytes block = kit::EncodeAdpcm(Sine(400, 1, 50.0), false, 4);
    ASSERT_TRUE(m.StreamBlockTag(1, block));
    ASSERT_TRUE(m.StreamBlockTag(1, block));
    EXPECT_EQ(m.StreamBuffered(1), 3200u);
    Pull(m, 1000);
    EXPECT_EQ(m.StreamClock(1), 1000u);
    Pull(m, 5000);
    EXPECT_EQ(m.StreamClock(1), 3200u);  // stands still once the buffer runs dry
    m.StreamStop(1);
    EXPECT_EQ(m.StreamBuffered(1), 0u);
    EXPECT_FALSE(m.StreamBlockTag(2, block));  // no head for that timeline
}

TEST(SoundMixer, GarbageTagsPlaySilentlyOrNotAtAll) {
    snd::Mixer m;
    uint32_t seed = 1;
    for (int round = 0; round < 200; ++round) {
        kit::Bytes junk(round % 40);
        for (uint8_t& b : junk) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
        m.DefineSoundTag(junk);
        m.StartSoundTag(junk);
        m.StreamHeadTag(round % 3, junk);
        m.StreamBlockTag(round % 3, junk);
        Pull(m, 64);
    }
    m.StopAll();
    EXPECT_EQ(m.VoiceCount(), 0u);
}

#if LUMAREL_TEST_SOUND_DECODERS
TEST(SoundMixer, Mp3ThroughTheSystemDecoder) {
    auto decoders = lumarel::player::NativeSoundDecoders();
    if (!decoders) GTEST_SKIP() << "no MP3 decoder in this build";
    // Silent MPEG-1 layer III frames: 128 kbit/s, 44.1 kHz, stereo, 417 bytes each.
    kit::Bytes frames;
    for (int i = 0; i < 6; ++i) {
        kit::Bytes f(417, 0);
        f[0] = 0xff, f[1] = 0xfb, f[2] = 0x90;
        frames.insert(frames.end(), f.begin(), f.end());
    }
    kit::BitWriter w;
    w.U16(1);
    w.U8(0x2f);  // MP3, 44 kHz, 16-bit, stereo
    w.U32(6 * 1152);
    w.S16(0);
    w.Append(frames);
    snd::Mixer m(decoders);
    ASSERT_TRUE(m.DefineSoundTag(w.Take()));
    ASSERT_NE(m.Start(1, {}), 0u);
    EXPECT_GT(m.CacheBytes(), 4u * 1152 * 4);
    // The same frames as a stream, two to a block: every block after the first plays too.
    ASSERT_TRUE(m.StreamHeadTag(7, kit::SoundStreamHeadBody({2, 3, true, true}, 2 * 1152)));
    for (int b = 0; b < 3; ++b) {
        kit::BitWriter block;
        block.U16(2 * 1152);
        block.S16(0);
        block.Append(kit::Bytes(frames.begin() + b * 2 * 417, frames.begin() + (b + 1) * 2 * 417));
        ASSERT_TRUE(m.StreamBlockTag(7, block.Take()));
    }
    EXPECT_GE(m.StreamBuffered(7), 4u * 1152);
}
#endif

// A movie's StartSound (or StartSound2, naming the sound by its linkage) plays through the
// movie's own mixer on the frame it stands in.
TEST(SoundMovie, StartSoundInAFramePlaysInTheMovieMix) {
    for (const bool byName : {false, true}) {
        SCOPED_TRACE(byName ? "StartSound2" : "StartSound");
        lumarel::swfkit::Movie movie(lumarel::swfkit::Rect::Pixels(0, 0, 10, 10), 10.0, 8);
        std::vector<int16_t> tone(4410);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 0.2));
        const uint16_t id = movie.DefineSound({}, uint32_t(tone.size()), lumarel::swfkit::EncodePcm16(tone));
        movie.Raw(56, {1, 0, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 'T', 'o', 'n', 'e', 0});
        movie.ShowFrame();
        if (byName)
            movie.Raw(89, {'t', 'o', 'n', 'e', 0, 0});  // the class name, then SOUNDINFO without options
        else
            movie.Raw(lumarel::swfkit::tag::StartSound, lumarel::swfkit::StartSoundBody(id, {}));
        movie.ShowFrame();
        lumarel::engine::LoadResult r = lumarel::engine::Movie::Load(movie.Build(lumarel::swfkit::Compression::None));
        ASSERT_TRUE(r.movie) << r.error;
        std::vector<int16_t> out(2 * 4410);
        auto loudest = [&] {
            int peak = 0;
            for (int16_t v : out) peak = std::max(peak, std::abs(int(v)));
            return peak;
        };
        r.movie->Play();
        r.movie->MixAudio(out.data(), 4410);
        EXPECT_EQ(loudest(), 0);  // frame 1 has no sound
        r.movie->Advance();
        r.movie->MixAudio(out.data(), 4410);
        EXPECT_GT(loudest(), 4000);
        r.movie->StopSound();
        r.movie->MixAudio(out.data(), 4410);
        EXPECT_EQ(loudest(), 0);
    }
}

// HasSound tells a player whether a movie needs a sound device: defined sounds or stream blocks
// anywhere (a sprite's included); a stream head alone has nothing to play.
TEST(SoundMovie, HasSoundSeesDefinedSoundsAndStreamBlocks) {
    namespace k = lumarel::swfkit;
    auto has = [](const k::Movie& movie) {
        return lumarel::engine::Movie::Load(movie.Build(k::Compression::None)).movie->HasSound();
    };
    k::Movie quiet(k::Rect::Pixels(0, 0, 10, 10), 10.0, 8), defined = quiet, streaming = quiet;
    quiet.Raw(k::tag::SoundStreamHead, k::SoundStreamHeadBody({}, 441));
    quiet.ShowFrame();
    defined.DefineSound({}, 4, k::EncodePcm16({1, 2, 3, 4}));
    defined.ShowFrame();
    k::Sprite sprite;
    sprite.Raw(k::tag::SoundStreamHead, k::SoundStreamHeadBody({}, 4));
    sprite.Raw(k::tag::SoundStreamBlock, k::EncodePcm16({1, 2, 3, 4}));
    sprite.ShowFrame();
    streaming.DefineSprite(sprite);
    streaming.ShowFrame();
    EXPECT_FALSE(has(quiet));
    EXPECT_TRUE(has(defined));
    EXPECT_TRUE(has(streaming));
}

// Sound objects play library sounds through the movie's mix: attachSound and start, the volume
// of the whole movie, stop, and stopAllSounds.
TEST(SoundMovie, SoundObjectsPlayLibrarySounds) {
    namespace k = lumarel::swfkit;
    k::Movie movie(k::Rect::Pixels(0, 0, 10, 10), 10.0, 8);
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 0.2));
    const uint16_t id = movie.DefineSound({}, uint32_t(tone.size()), k::EncodePcm16(tone));
    movie.Raw(56, {1, 0, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 't', 'o', 'n', 'e', 0});
    const char* const frames[] = {
        "push 0, \"Sound\"; newobject; store r1; pop; push \"s\", r1; setvariable; push \"tone\", 1, r1, "
        "\"attachSound\"; "
        "callmethod; pop; push 0, r1, \"start\"; callmethod; pop",
        "push 50, 1, \"s\"; getvariable; push \"setVolume\"; callmethod; pop",
        "push 0, \"s\"; getvariable; push \"stop\"; callmethod; pop",
        "push 0, \"s\"; getvariable; push \"start\"; callmethod; pop", "stopsounds; stop"};
    for (const char* script : frames) {
        movie.DoAction(k::Actions().Asm(script));
        movie.ShowFrame();
    }
    lumarel::engine::LoadResult r = lumarel::engine::Movie::Load(movie.Build(k::Compression::None));
    ASSERT_TRUE(r.movie) << r.error;
    std::vector<int16_t> out(2 * 2205);
    std::vector<int> peaks;
    r.movie->Play();
    for (int f = 0; f < 5; ++f) {
        r.movie->MixAudio(out.data(), 2205);
        int peak = 0;
        for (int16_t v : out) peak = std::max(peak, std::abs(int(v)));
        peaks.push_back(peak);
        r.movie->Advance();
    }
    EXPECT_GT(peaks[0], 7000);
    EXPECT_NEAR(peaks[1], peaks[0] / 2, 300);
    EXPECT_EQ(peaks[2], 0);
    EXPECT_GT(peaks[3], 3000);
    EXPECT_EQ(peaks[4], 0);
}

// Stream sound: blocks are fed ahead of the frame shown, the mix follows the frames in order
// (across the loop back to frame 0), a stopped timeline falls silent, and TicksDue tells a late
// or early player how far the frames are from the sound's clock.
TEST(SoundMovie, StreamSoundRunsAheadAndLeadsTheFrames) {
    namespace k = lumarel::swfkit;
    k::Movie movie(k::Rect::Pixels(0, 0, 10, 10), 10.0, 8);
    constexpr int kFrames = 20, kBlock = 4410;  // 10 fps: one block is one frame's sound
    movie.Raw(k::tag::SoundStreamHead, k::SoundStreamHeadBody({}, kBlock));
    for (int f = 0; f < kFrames; ++f) {
        movie.Raw(k::tag::SoundStreamBlock, k::EncodePcm16(std::vector<int16_t>(kBlock, int16_t(100 * (f + 1)))));
        movie.ShowFrame();
    }
    auto r = lumarel::engine::Movie::Load(movie.Build(k::Compression::None));
    ASSERT_TRUE(r.movie) << r.error;
    auto& m = *r.movie;
    std::vector<int16_t> out(2 * kBlock);
    m.Play();
    for (int f = 0; f < kFrames + 3; ++f) {  // on past the loop
        m.MixAudio(out.data(), kBlock);
        EXPECT_EQ(out[kBlock], 100 * (f % kFrames + 1)) << "frame " << f;
        m.Advance();
    }
    // The clock: a block mixed while the frames stood still is within their own pace, five are
    // behind, and the frames moved on past the sound are early.
    m.MixAudio(out.data(), kBlock);
    EXPECT_EQ(m.TicksDue(), 1);
    std::vector<int16_t> more(2 * 4 * kBlock);
    m.MixAudio(more.data(), 4 * kBlock);
    EXPECT_EQ(m.TicksDue(), 5);
    for (int i = 0; i < 9; ++i) m.Advance();
    EXPECT_EQ(m.TicksDue(), 0);
    for (int i = 0; i < 4; ++i) m.TicksDue();
    EXPECT_EQ(m.TicksDue(), -1) << "a clock that stands still does not hold the movie";
    m.Stop();
    m.Advance();
    m.MixAudio(out.data(), kBlock);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0);
}
