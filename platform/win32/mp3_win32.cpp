// MP3 decoding through the MPEG Layer-3 codec Windows ships, by the Audio Compression Manager.
// msacm32.dll is loaded from the system folder the first time a movie needs it, so the .scr
// neither imports it nor loads it for movies without MP3 sound. The codec is opened for the
// rate and channels of the first frame header in the data; after that the bytes go through in
// the order they came, so a frame split across two pieces (stream blocks) and the frames' bit
// reservoir carry over as in one file.
#include <windows.h>
// clang-format off: the ACM headers need the multimedia types first
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

#include <algorithm>
#include <cstring>

#include "platform/win32/native_win32.h"

namespace lumarel::platform {

namespace {

// The ACM calls, from msacm32.dll.
struct Acm {
    decltype(&::acmStreamOpen) open = nullptr;
    decltype(&::acmStreamSize) size = nullptr;
    decltype(&::acmStreamPrepareHeader) prepare = nullptr;
    decltype(&::acmStreamConvert) convert = nullptr;
    decltype(&::acmStreamUnprepareHeader) unprepare = nullptr;
    decltype(&::acmStreamClose) close = nullptr;
    bool ok = false;

    static const Acm& Get() {
        static const Acm api = [] {
            Acm a;
            HMODULE lib = win32::LoadSystemDll(L"msacm32.dll");
            win32::FindProc(lib, "acmStreamOpen", a.open);
            win32::FindProc(lib, "acmStreamSize", a.size);
            win32::FindProc(lib, "acmStreamPrepareHeader", a.prepare);
            win32::FindProc(lib, "acmStreamConvert", a.convert);
            win32::FindProc(lib, "acmStreamUnprepareHeader", a.unprepare);
            win32::FindProc(lib, "acmStreamClose", a.close);
            a.ok = a.open && a.size && a.prepare && a.convert && a.unprepare && a.close;
            return a;
        }();
        return api;
    }
};

// What a layer III frame header says: rate, channels, bit rate and frame size.
struct FrameHeader {
    int rate = 0, channels = 0, kbps = 0, bytes = 0;
    bool mpeg1 = false;
};

bool ReadFrameHeader(const std::uint8_t* p, FrameHeader& h) {
    if (p[0] != 0xff || (p[1] & 0xe0) != 0xe0) return false;
    const int version = (p[1] >> 3) & 3;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    const int layer = (p[1] >> 1) & 3;    // 1 layer III
    const int bitrate = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || rateIndex == 3) return false;
    static constexpr int kKbps[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    h.mpeg1 = version == 3;
    h.kbps = kKbps[h.mpeg1 ? 1 : 0][bitrate];
    h.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    h.bytes = (h.mpeg1 ? 144 : 72) * h.kbps * 1000 / h.rate + ((p[2] >> 1) & 1);
    return true;
}

// Where the first frame header lies that the next frame's header follows, or that ends the
// data (so a stray sync pattern in other data is not taken for one); -1 for none yet.
long FindFrame(const std::vector<std::uint8_t>& data, FrameHeader& h) {
    for (size_t i = 0; i + 4 <= data.size(); ++i) {
        if (!ReadFrameHeader(&data[i], h)) continue;
        FrameHeader next;
        const size_t j = i + static_cast<size_t>(h.bytes);
        if (j == data.size()) return static_cast<long>(i);  // the data's last frame
        if (j + 4 > data.size()) return -1;                 // wait for more
        if (ReadFrameHeader(&data[j], next) && next.rate == h.rate) return static_cast<long>(i);
    }
    return -1;
}

constexpr size_t kMaxPending = size_t(1) << 16;  // bytes held while no frame is found
constexpr size_t kChunk = size_t(1) << 14;       // bytes converted per call

class AcmMp3Decoder final : public Mp3Decoder {
public:
    ~AcmMp3Decoder() override {
        if (stream_) Acm::Get().close(stream_, 0);
    }

    bool Decode(std::span<const std::uint8_t> data, std::vector<std::int16_t>& out, int& rate, int& channels) override {
        if (failed_) return false;
        pending_.insert(pending_.end(), data.begin(), data.end());
        if (!stream_ && !Open()) {
            if (pending_.size() > kMaxPending) failed_ = true;  // no MP3 in all that
            return !failed_;
        }
        rate = rate_;
        channels = channels_;
        const Acm& acm = Acm::Get();
        while (!pending_.empty()) {
            const DWORD srcBytes = static_cast<DWORD>(std::min(pending_.size(), kChunk));
            DWORD dstBytes = 0;
            if (acm.size(stream_, srcBytes, &dstBytes, ACM_STREAMSIZEF_SOURCE) != 0) dstBytes = 0;
            // A frame of 1152 samples from as few as 24 bytes, and what the codec held back.
            dstBytes = std::max<DWORD>(dstBytes, (srcBytes / 24 + 4) * 1152 * 2 * static_cast<DWORD>(channels_));
            buffer_.resize(dstBytes);
            ACMSTREAMHEADER h{};
            h.cbStruct = sizeof h;
            h.pbSrc = pending_.data();
            h.cbSrcLength = srcBytes;
            h.pbDst = buffer_.data();
            h.cbDstLength = dstBytes;
            if (acm.prepare(stream_, &h, 0) != 0) return Fail();
            const MMRESULT rc = acm.convert(stream_, &h, started_ ? 0 : ACM_STREAMCONVERTF_START);
            acm.unprepare(stream_, &h, 0);
            if (rc != 0) return Fail();
            started_ = true;
            const size_t samples = h.cbDstLengthUsed / sizeof(std::int16_t);
            const auto* pcm = reinterpret_cast<const std::int16_t*>(buffer_.data());
            out.insert(out.end(), pcm, pcm + samples);
            const size_t used = std::min<size_t>(h.cbSrcLengthUsed, pending_.size());
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
            if (used == 0) break;  // the rest waits for more data
        }
        return true;
    }

private:
    bool Open() {
        const Acm& acm = Acm::Get();
        if (!acm.ok) {
            failed_ = true;
            return false;
        }
        FrameHeader f;
        const long at = FindFrame(pending_, f);
        if (at < 0) return false;
        pending_.erase(pending_.begin(), pending_.begin() + at);
        MPEGLAYER3WAVEFORMAT in{};
        in.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        in.wfx.nChannels = static_cast<WORD>(f.channels);
        in.wfx.nSamplesPerSec = static_cast<DWORD>(f.rate);
        in.wfx.nAvgBytesPerSec = static_cast<DWORD>(f.kbps * 1000 / 8);
        in.wfx.nBlockAlign = 1;
        in.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        in.wID = MPEGLAYER3_ID_MPEG;
        in.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
        in.nBlockSize = static_cast<WORD>(f.bytes);
        in.nFramesPerBlock = 1;
        in.nCodecDelay = 0;
        WAVEFORMATEX pcm{};
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = in.wfx.nChannels;
        pcm.nSamplesPerSec = in.wfx.nSamplesPerSec;
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = static_cast<WORD>(2 * f.channels);
        pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
        if (acm.open(&stream_, nullptr, &in.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
            stream_ = nullptr;
            failed_ = true;  // no codec for this format: the sound stays silent
            return false;
        }
        rate_ = f.rate;
        channels_ = f.channels;
        return true;
    }

    bool Fail() {
        failed_ = true;
        return false;
    }

    HACMSTREAM stream_ = nullptr;
    std::vector<std::uint8_t> pending_;  // bytes not yet taken by the codec
    std::vector<std::uint8_t> buffer_;
    int rate_ = 0, channels_ = 0;
    bool started_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<Mp3Decoder> OpenSystemMp3Decoder() {
    if (!Acm::Get().ok) return nullptr;
    return std::make_unique<AcmMp3Decoder>();
}

}  // namespace lumarel::platform
