// Frame pacing by a clock: how many ticks of the frame timer are due now for frames at the
// movie's rate since Reset, by engine::TicksForLag. A player that fell very far behind (a
// suspended machine, a debugger) starts counting afresh instead of racing.
#pragma once

#include <algorithm>

#include "engine/pacing.h"

namespace lumarel::player {

class FramePacer {
public:
    static constexpr int kMaxCatchUp = engine::kMaxCatchUpTicks;

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
        const int ticks = engine::TicksForLag(behind);
        done_ += ticks;
        return ticks;
    }

private:
    double rate_ = 12, base_ = 0, done_ = 0;
};

}  // namespace lumarel::player
