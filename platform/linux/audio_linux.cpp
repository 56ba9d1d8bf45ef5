// Sound output of the Linux build: a PulseAudio playback stream (PipeWire serves the same
// protocol). libpulse's threaded main loop runs the connection on a thread of its own, and the
// stream's write callback pulls exactly as many frames as the server asks for, keeping about
// 150 ms buffered (PA_STREAM_ADJUST_LATENCY makes that the whole latency, the sink's included).
//
// Not the simple API (pa_simple): its blocking write waits as long as the sink takes to ask for
// more, which on a null sink (2 s of latency when idle) kept a closing player waiting for nearly
// two seconds; nor can it refuse to spawn a daemon or bound how long connecting takes. Here closing
// disconnects the stream (the server drops what it holds: silence at once), the connection never
// spawns a daemon, and connecting gives up after kConnectMs. Without a server the connection is
// refused in a few milliseconds and the movie plays silently.
// Built without libpulse (LUMAREL_AUDIO off, or libpulse not found), there is no device.
#include "platform/linux/native_linux.h"

#if LUMAREL_HAVE_PULSE
#include <pulse/pulseaudio.h>

#include <cstdint>
#endif

namespace lumarel::platform {

#if LUMAREL_HAVE_PULSE
namespace {

constexpr int kBufferedMs = 150;  // sound ahead of the speaker
constexpr int kRequestMs = 20;    // the server asks for at least this much at a time
constexpr int kConnectMs = 500;   // a server that has not answered by then counts as none

class PulseAudioOutput final : public AudioOutput {
public:
    AudioHandle Open(int sampleRate, int channels, AudioPull pull) override {
        if (sampleRate <= 0 || channels < 1 || channels > 8 || !pull) return 0;
        auto* s = new Stream;
        s->pull = std::move(pull);
        s->frameBytes = static_cast<std::size_t>(channels) * 2;
        if (!Connect(*s, sampleRate, channels)) {
            Teardown(s);
            return 0;
        }
        return reinterpret_cast<AudioHandle>(s);
    }

    void Close(AudioHandle stream) override { Teardown(reinterpret_cast<Stream*>(stream)); }

private:
    struct Stream {
        AudioPull pull;
        std::size_t frameBytes = 4;
        pa_threaded_mainloop* loop = nullptr;
        pa_context* context = nullptr;
        pa_stream* stream = nullptr;
        bool running = false;   // the loop's thread was started
        bool timedOut = false;  // connecting took longer than kConnectMs
    };

    // With the loop locked: waits until `ready` or `failed` says so, or the time is up.
    template <typename Ready, typename Failed>
    static bool WaitFor(Stream& s, Ready ready, Failed failed) {
        for (;;) {
            if (ready()) return true;
            if (failed() || s.timedOut) return false;
            pa_threaded_mainloop_wait(s.loop);
        }
    }

    static bool Connect(Stream& s, int sampleRate, int channels) {
        s.loop = pa_threaded_mainloop_new();
        if (!s.loop) return false;
        s.context = pa_context_new(pa_threaded_mainloop_get_api(s.loop), "Lumarel");
        if (!s.context) return false;
        pa_context_set_state_callback(
            s.context,
            [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
            s.loop);
        // No daemon is spawned: without a running server there is no device.
        if (pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
        pa_threaded_mainloop_lock(s.loop);
        if (pa_threaded_mainloop_start(s.loop) < 0) {
            pa_threaded_mainloop_unlock(s.loop);
            return false;
        }
        s.running = true;
        pa_time_event* timer = pa_context_rttime_new(
            s.context, pa_rtclock_now() + static_cast<pa_usec_t>(kConnectMs) * 1000,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
                auto* st = static_cast<Stream*>(data);
                st->timedOut = true;
                pa_threaded_mainloop_signal(st->loop, 0);
            },
            &s);
        const bool ok = Start(s, sampleRate, channels);
        if (timer) pa_threaded_mainloop_get_api(s.loop)->time_free(timer);
        pa_threaded_mainloop_unlock(s.loop);
        return ok;
    }

    // With the loop locked and the context connecting: the playback stream.
    static bool Start(Stream& s, int sampleRate, int channels) {
        auto contextIs = [&s](bool ready) {
            const pa_context_state_t state = pa_context_get_state(s.context);
            return ready ? state == PA_CONTEXT_READY : !PA_CONTEXT_IS_GOOD(state);
        };
        if (!WaitFor(
                s, [&] { return contextIs(true); }, [&] { return contextIs(false); }))
            return false;
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16NE;
        spec.rate = static_cast<std::uint32_t>(sampleRate);
        spec.channels = static_cast<std::uint8_t>(channels);
        s.stream = pa_stream_new(s.context, "movie sound", &spec, nullptr);
        if (!s.stream) return false;
        pa_stream_set_state_callback(
            s.stream,
            [](pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
            s.loop);
        pa_stream_set_write_callback(s.stream, Write, &s);
        const auto bytesOf = [&](int ms) {
            return static_cast<std::uint32_t>(static_cast<std::size_t>(sampleRate) * ms / 1000 * s.frameBytes);
        };
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = bytesOf(kBufferedMs);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = bytesOf(kRequestMs);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        if (pa_stream_connect_playback(s.stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0)
            return false;
        auto streamIs = [&s](bool ready) {
            const pa_stream_state_t state = pa_stream_get_state(s.stream);
            return ready ? state == PA_STREAM_READY : !PA_STREAM_IS_GOOD(state);
        };
        return WaitFor(
            s, [&] { return streamIs(true); }, [&] { return streamIs(false); });
    }

    // On the loop's thread: the server has room for `bytes`.
    static void Write(pa_stream* stream, std::size_t bytes, void* data) {
        auto* s = static_cast<Stream*>(data);
        while (bytes >= s->frameBytes) {
            void* buffer = nullptr;
            std::size_t size = bytes;
            if (pa_stream_begin_write(stream, &buffer, &size) < 0 || !buffer || size < s->frameBytes) return;
            const std::size_t frames = size / s->frameBytes;
            s->pull(static_cast<std::int16_t*>(buffer), frames);
            if (pa_stream_write(stream, buffer, frames * s->frameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            bytes -= frames * s->frameBytes;
        }
    }

    static void Teardown(Stream* s) {
        if (!s) return;
        if (s->loop && s->running) pa_threaded_mainloop_lock(s->loop);
        if (s->stream) {
            pa_stream_set_write_callback(s->stream, nullptr, nullptr);
            pa_stream_set_state_callback(s->stream, nullptr, nullptr);
            pa_stream_disconnect(s->stream);  // the server drops whatever it still holds
            pa_stream_unref(s->stream);
        }
        if (s->context) {
            pa_context_set_state_callback(s->context, nullptr, nullptr);
            pa_context_disconnect(s->context);
            pa_context_unref(s->context);
        }
        if (s->loop && s->running) {
            pa_threaded_mainloop_unlock(s->loop);
            pa_threaded_mainloop_stop(s->loop);
        }
        if (s->loop) pa_threaded_mainloop_free(s->loop);
        delete s;
    }
};

}  // namespace
#endif

AudioOutput* NativeAudioOutput() {
#if LUMAREL_HAVE_PULSE
    static PulseAudioOutput audio;
    return &audio;
#else
    return nullptr;
#endif
}

}  // namespace lumarel::platform
