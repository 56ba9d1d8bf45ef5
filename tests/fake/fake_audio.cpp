#include "tests/fake/fake_audio.h"

namespace lumarel::fake {

std::vector<std::int16_t> FakeAudioOutput::Pull(std::size_t frames) {
    if (streams_.size() != 1) return {};
    Stream& s = streams_.begin()->second;
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(s.channels));
    s.pull(out.data(), frames);
    return out;
}

platform::AudioHandle FakeAudioOutput::Open(int sampleRate, int channels, platform::AudioPull pull) {
    log.push_back("Open " + std::to_string(sampleRate) + " " + std::to_string(channels));
    if (noDevice) return 0;
    streams_[next_] = Stream{channels, std::move(pull)};
    return next_++;
}

void FakeAudioOutput::Close(platform::AudioHandle stream) {
    log.push_back(streams_.erase(stream) ? "Close" : "Close of a stream not open");
}

}  // namespace lumarel::fake
