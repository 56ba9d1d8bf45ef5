// A sound device that a test drives: Open and Close are recorded, and the test pulls samples
// from the open stream itself, as a device's thread would.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::fake {

class FakeAudioOutput : public platform::AudioOutput {
public:
    bool noDevice = false;         // Open fails, as on a system without sound
    std::vector<std::string> log;  // "Open <rate> <channels>", "Close"; also failed opens
    int OpenStreams() const { return static_cast<int>(streams_.size()); }
    // `frames` frames from the one open stream; empty when none is open.
    std::vector<std::int16_t> Pull(std::size_t frames);

    platform::AudioHandle Open(int sampleRate, int channels, platform::AudioPull pull) override;
    void Close(platform::AudioHandle stream) override;

private:
    struct Stream {
        int channels = 0;
        platform::AudioPull pull;
    };
    std::map<platform::AudioHandle, Stream> streams_;
    platform::AudioHandle next_ = 1;
};

}  // namespace lumarel::fake
