// Draws display lists with several threads at once: each region to draw is cut into bands of
// rows, and each thread replays the list into the bands it takes, with a renderer of its own.
// The picture is the one a single renderer draws (see Renderer::Replay).
#pragma once

#include <memory>
#include <span>

#include "engine/raster/display_list.h"

namespace lumarel::raster {

class ParallelRenderer {
public:
    // `threads` at least 1: the calling thread draws too, so 1 starts no thread.
    explicit ParallelRenderer(int threads);
    ~ParallelRenderer();
    ParallelRenderer(const ParallelRenderer&) = delete;
    ParallelRenderer& operator=(const ParallelRenderer&) = delete;

    // Draws `list` into `surface` inside `regions` (which must not overlap), and returns when
    // all of it is drawn.
    void Draw(const DisplayList& list, Surface& surface, std::span<const IntRect> regions);

private:
    struct Pool;
    std::unique_ptr<Pool> pool_;
};

}  // namespace lumarel::raster
