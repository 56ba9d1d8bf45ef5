// Sound output of the Windows build: waveOut on the wave mapper (the default device). winmm.dll
// is loaded from the system folder the first time a stream opens, so the .scr neither imports it
// nor loads it for movies without sound. Each stream's thread opens the device and keeps four
// blocks of 40 ms queued: whenever the device hands one back (an event it signals), the thread
// pulls it full again. Without a device or driver the thread ends and the movie plays silently.
// Built with LUMAREL_AUDIO off, there is no device.
#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/native_win32.h"

namespace lumarel::platform {

#if LUMAREL_HAVE_WAVEOUT
namespace {

constexpr int kBlocks = 4;
constexpr int kBlockMs = 40;

// The waveOut calls, from winmm.dll.
struct WaveOut {
    decltype(&::waveOutOpen) open = nullptr;
    decltype(&::waveOutPrepareHeader) prepare = nullptr;
    decltype(&::waveOutWrite) write = nullptr;
    decltype(&::waveOutReset) reset = nullptr;
    decltype(&::waveOutUnprepareHeader) unprepare = nullptr;
    decltype(&::waveOutClose) close = nullptr;
    bool ok = false;

    static const WaveOut& Get() {
        static const WaveOut api = [] {
            WaveOut w;
            HMODULE lib = win32::LoadSystemDll(L"winmm.dll");
            win32::FindProc(lib, "waveOutOpen", w.open);
            win32::FindProc(lib, "waveOutPrepareHeader", w.prepare);
            win32::FindProc(lib, "waveOutWrite", w.write);
            win32::FindProc(lib, "waveOutReset", w.reset);
            win32::FindProc(lib, "waveOutUnprepareHeader", w.unprepare);
            win32::FindProc(lib, "waveOutClose", w.close);
            w.ok = w.open && w.prepare && w.write && w.reset && w.unprepare && w.close;
            return w;
        }();
        return api;
    }
};

class WaveAudioOutput final : public AudioOutput {
public:
    AudioHandle Open(int sampleRate, int channels, AudioPull pull) override {
        if (sampleRate <= 0 || channels < 1 || channels > 8 || !pull) return 0;
        auto* s = new Stream;
        s->done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!s->done) {
            delete s;
            return 0;
        }
        s->pull = std::move(pull);
        s->format.wFormatTag = WAVE_FORMAT_PCM;
        s->format.nChannels = static_cast<WORD>(channels);
        s->format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
        s->format.wBitsPerSample = 16;
        s->format.nBlockAlign = static_cast<WORD>(channels * 2);
        s->format.nAvgBytesPerSec = s->format.nSamplesPerSec * s->format.nBlockAlign;
        s->blockFrames = static_cast<std::size_t>(sampleRate) * kBlockMs / 1000;
        s->thread = std::thread(Run, s);
        return reinterpret_cast<AudioHandle>(s);
    }

    void Close(AudioHandle stream) override {
        auto* s = reinterpret_cast<Stream*>(stream);
        if (!s) return;
        s->stop.store(true);
        ::SetEvent(s->done);
        s->thread.join();
        ::CloseHandle(s->done);
        delete s;
    }

private:
    struct Stream {
        HANDLE done = nullptr;  // signalled by the device for each block played, and by Close
        AudioPull pull;
        WAVEFORMATEX format{};
        std::size_t blockFrames = 0;
        std::array<WAVEHDR, kBlocks> headers{};
        std::array<std::vector<std::int16_t>, kBlocks> samples;
        std::atomic<bool> stop{false};
        std::thread thread;
    };

    // The stream's thread. The device is opened here, not in Open: the first waveOut call of a
    // process can take a second (Wine without sound: loading winmm.dll and finding no device),
    // which the player's thread must not wait for. Without a device the thread ends at once.
    static void Run(Stream* s) {
        const WaveOut& api = WaveOut::Get();
        HWAVEOUT device = nullptr;
        if (!api.ok || api.open(&device, WAVE_MAPPER, &s->format, reinterpret_cast<DWORD_PTR>(s->done), 0,
                                CALLBACK_EVENT) != MMSYSERR_NOERROR)
            return;
        for (int i = 0; i < kBlocks; ++i) {
            s->samples[i].resize(s->blockFrames * s->format.nChannels);
            WAVEHDR& h = s->headers[i];
            h.lpData = reinterpret_cast<LPSTR>(s->samples[i].data());
            h.dwBufferLength = static_cast<DWORD>(s->samples[i].size() * sizeof(std::int16_t));
            api.prepare(device, &h, sizeof(WAVEHDR));
        }
        bool failed = false;
        while (!s->stop.load() && !failed) {
            for (int i = 0; i < kBlocks && !failed; ++i) {
                WAVEHDR& h = s->headers[i];
                // A block is free once prepared and not (or no longer) in the device's queue.
                const DWORD flags = static_cast<volatile DWORD&>(h.dwFlags);
                if (!(flags & WHDR_PREPARED) || (flags & WHDR_INQUEUE)) continue;
                s->pull(s->samples[i].data(), s->blockFrames);
                failed = api.write(device, &h, sizeof(WAVEHDR)) != MMSYSERR_NOERROR;
            }
            ::WaitForSingleObject(s->done, kBlockMs);
        }
        api.reset(device);  // stops at once and hands every queued block back
        for (WAVEHDR& h : s->headers) api.unprepare(device, &h, sizeof(WAVEHDR));
        api.close(device);
    }
};

}  // namespace
#endif

AudioOutput* NativeAudioOutput() {
#if LUMAREL_HAVE_WAVEOUT
    static WaveAudioOutput audio;
    return &audio;
#else
    return nullptr;
#endif
}

}  // namespace lumarel::platform
