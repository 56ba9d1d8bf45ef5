// How a player keeps a movie's frames to a clock: one rule for the stream sound's clock (the
// stage) and the wall clock (the players).
#pragma once

namespace lumarel::engine {

// Ticks due for frames `behind` frames late (negative: early) by some clock. Clocks move in
// steps (timers are coarse, sound devices pull blocks), so within two frames either way the
// timer's own pace is kept (1); further behind, the frames between are skipped, at most
// kMaxCatchUpTicks at once; further ahead, the tick waits (0).
inline constexpr int kMaxCatchUpTicks = 8;
inline int TicksForLag(double behind) {
    if (behind < -2) return 0;
    if (behind <= 2) return 1;
    return behind < kMaxCatchUpTicks ? static_cast<int>(behind) : kMaxCatchUpTicks;
}

}  // namespace lumarel::engine
