#include "player/sound_decoders.h"

#if LUMAREL_HAVE_MPG123
#include <mpg123.h>
#elif defined(_WIN32)
#include "platform/platform.h"
#endif

namespace lumarel::player {

#if LUMAREL_HAVE_MPG123
namespace {

// One MP3 stream in feed mode: bytes go in as they come, samples come out as frames complete.
class Mpg123Decoder : public engine::sound::CompressedDecoder {
public:
    Mpg123Decoder() {
        int err = MPG123_OK;
        handle_ = mpg123_new(nullptr, &err);
        if (!handle_) return;
        mpg123_param(handle_, MPG123_FLAGS, MPG123_QUIET, 0);
        // 16-bit signed output at every rate, so no float or 8-bit format is picked.
        mpg123_format_none(handle_);
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i)
            mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        if (mpg123_open_feed(handle_) != MPG123_OK) {
            mpg123_delete(handle_);
            handle_ = nullptr;
        }
    }
    ~Mpg123Decoder() override {
        if (handle_) mpg123_delete(handle_);
    }
    Mpg123Decoder(const Mpg123Decoder&) = delete;
    Mpg123Decoder& operator=(const Mpg123Decoder&) = delete;

    bool Decode(std::span<const uint8_t> data, engine::sound::PcmChunk& out) override {
        if (!handle_) return false;
        if (!data.empty() && mpg123_feed(handle_, data.data(), data.size()) != MPG123_OK) return false;
        unsigned char buf[16384];
        for (;;) {
            size_t done = 0;
            const int rc = mpg123_read(handle_, buf, sizeof buf, &done);
            if (rc == MPG123_NEW_FORMAT) {
                int encoding = 0;
                mpg123_getformat(handle_, &rate_, &channels_, &encoding);
                continue;
            }
            // The format is the decoder's from its first frame on: later calls, whose chunks
            // start empty, take it too. A change of format within one chunk is not followed.
            if (out.channels == 0 && channels_ > 0) {
                out.rate = static_cast<double>(rate_);
                out.channels = channels_;
            }
            if (done > 0 && out.channels > 0) {
                const auto* s = reinterpret_cast<const int16_t*>(buf);
                out.samples.insert(out.samples.end(), s, s + done / sizeof(int16_t));
            }
            if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) return true;
            if (rc != MPG123_OK) return false;
        }
    }

private:
    mpg123_handle* handle_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
};

class Mpg123Source : public engine::sound::CompressedDecoderSource {
public:
    std::unique_ptr<engine::sound::CompressedDecoder> Create(engine::sound::Codec codec) override {
        if (codec != engine::sound::Codec::Mp3) return nullptr;
        return std::make_unique<Mpg123Decoder>();
    }
};

}  // namespace

std::shared_ptr<engine::sound::CompressedDecoderSource> NativeSoundDecoders() {
    static const bool ready = mpg123_init() == MPG123_OK;
    return ready ? std::make_shared<Mpg123Source>() : nullptr;
}
#elif defined(_WIN32)
namespace {

// MP3 through the system's codec (the .scr carries no decoder of its own).
class SystemMp3Decoder : public engine::sound::CompressedDecoder {
public:
    explicit SystemMp3Decoder(std::unique_ptr<platform::Mp3Decoder> d) : d_(std::move(d)) {}
    bool Decode(std::span<const uint8_t> data, engine::sound::PcmChunk& out) override {
        int rate = 0, channels = 0;
        std::vector<int16_t> samples;
        if (!d_->Decode(data, samples, rate, channels)) return false;
        if (channels == 0) return true;  // no frame yet
        if (out.channels == 0) {
            out.rate = rate;
            out.channels = channels;
        }
        out.samples.insert(out.samples.end(), samples.begin(), samples.end());
        return true;
    }

private:
    std::unique_ptr<platform::Mp3Decoder> d_;
};

class SystemSource : public engine::sound::CompressedDecoderSource {
public:
    std::unique_ptr<engine::sound::CompressedDecoder> Create(engine::sound::Codec codec) override {
        if (codec != engine::sound::Codec::Mp3) return nullptr;
        auto d = platform::OpenSystemMp3Decoder();
        return d ? std::make_unique<SystemMp3Decoder>(std::move(d)) : nullptr;
    }
};

}  // namespace

std::shared_ptr<engine::sound::CompressedDecoderSource> NativeSoundDecoders() {
    return std::make_shared<SystemSource>();
}
#else
std::shared_ptr<engine::sound::CompressedDecoderSource> NativeSoundDecoders() { return nullptr; }
#endif

}  // namespace lumarel::player
