#include "engine/raster/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lumarel::raster {

struct ParallelRenderer::Pool {
    Surface empty{0, 0};                               // what the renderers draw into until the first Draw
    std::vector<std::unique_ptr<Renderer>> renderers;  // one per thread, the caller's first
    std::vector<std::thread> threads;
    std::mutex lock;
    std::condition_variable wake, finished;
    uint64_t round = 0;  // bumped for each Draw the workers are to join
    int busy = 0;        // workers still drawing in this round
    bool quit = false;
    // The round's work.
    const DisplayList* list = nullptr;
    std::vector<IntRect> bands;
    std::atomic<size_t> next{0};

    void DrawBands(size_t worker) {
        for (size_t i; (i = next.fetch_add(1)) < bands.size();) renderers[worker]->Replay(*list, bands[i]);
    }

    void Work(size_t worker) {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            wake.wait(guard, [&] { return quit || round != seen; });
            if (quit) return;
            seen = round;
            guard.unlock();
            DrawBands(worker);
            guard.lock();
            if (--busy == 0) finished.notify_one();
        }
    }
};

ParallelRenderer::ParallelRenderer(int threads) : pool_(std::make_unique<Pool>()) {
    threads = std::clamp(threads, 1, 64);
    for (int i = 0; i < threads; ++i) pool_->renderers.push_back(std::make_unique<Renderer>(pool_->empty));
    for (int i = 1; i < threads; ++i) pool_->threads.emplace_back([this, i] { pool_->Work(static_cast<size_t>(i)); });
}

ParallelRenderer::~ParallelRenderer() {
    {
        std::lock_guard<std::mutex> guard(pool_->lock);
        pool_->quit = true;
    }
    pool_->wake.notify_all();
    for (std::thread& t : pool_->threads) t.join();
}

void ParallelRenderer::Draw(const DisplayList& list, Surface& surface, std::span<const IntRect> regions) {
    Pool& p = *pool_;
    for (auto& r : p.renderers) r->SetSurface(surface);
    // Two bands per thread over all the rows to draw, so a thread whose bands are cheap takes
    // another; a band of fewer than 16 rows costs more in geometry than it saves.
    long rows = 0;
    for (const IntRect& r : regions)
        if (!r.Empty()) rows += r.y1 - r.y0;
    const size_t threads = p.renderers.size();
    const long height =
        std::max<long>(16, (rows + 2 * static_cast<long>(threads) - 1) / (2 * static_cast<long>(threads)));
    p.bands.clear();
    for (const IntRect& r : regions)
        for (int y = r.y0; y < r.y1 && r.x0 < r.x1; y += static_cast<int>(height))
            p.bands.push_back(IntRect{r.x0, y, r.x1, static_cast<int>(std::min<long>(r.y1, y + height))});
    p.list = &list;
    p.next = 0;
    const bool parallel = threads > 1 && p.bands.size() > 1;
    if (parallel) {
        std::lock_guard<std::mutex> guard(p.lock);
        p.busy = static_cast<int>(threads) - 1;
        ++p.round;
    }
    if (parallel) p.wake.notify_all();
    p.DrawBands(0);
    if (parallel) {
        std::unique_lock<std::mutex> guard(p.lock);
        p.finished.wait(guard, [&] { return p.busy == 0; });
    }
    p.list = nullptr;
}

}  // namespace lumarel::raster
