// Frame pacing by a clock: how many ticks of the frame timer are due now for frames at the
// movie's rate since Reset. Timers are coarse and jitter, so within two frames either way the
// timer's own pace is kept (one tick each time); further behind, the frames between are
// skipped, at most kMaxCatchUp at a time; ahead, a tick waits. A player that fell very far
// behind (a suspended machine, a debugger) starts counting afresh instead of racing.
#pragma once

#include <algorithm>

namespace lumarel::player {

class FramePacer {
public:
    static constexpr int kMaxCatchUp = 8;

    void Reset(double rate, double nowMs) {
        rate_ = rate > 0 ? rate : 12;
        base_ = nowMs;
        done_ = 0;
    }
    int Due(double nowMs) {
        const double behind = (nowMs - base_) * rate_ / 1000 - done_;
        if (behind > std::max(4 * rate_, 4.0 * kMaxCatchUp)) {
            Reset(rate_, nowMs);
            done_ = 1;
            return 1;
        }
        const int ticks = behind < -2 ? 0 : behind <= 2 ? 1 : static_cast<int>(std::min(behind, double(kMaxCatchUp)));
        done_ += ticks;
        return ticks;
    }

private:
    double rate_ = 12, base_ = 0, done_ = 0;
};

}  // namespace lumarel::player
