#include "saver/Hack.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/player.h"
#include "platform/platform.h"
#include "player/ShockwaveFlashObjects_TLB.h"
#include "player/frame_pacer.h"
#include "saver/MovieList.h"
#include "saver/Paths.h"
#include "settings/SettingNames.h"
#include "settings/SettingsStore.h"

namespace lumarel::saver {

namespace {

constexpr int kPauseBetweenMovies = 500;  // ms, as in the show
constexpr int kSliceMs = 20;              // longest wait between looks at the stop flag
const raster::Rgba kBlack{0, 0, 0, 255};

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Hack {
public:
    Hack(platform::ForeignWindow& w, bool fit, bool fps) : window_(w), fit_(fit), fps_(fps) {}

    // Waits `ms`, redrawing the movie (black without one) whenever the window changes size;
    // false when asked to stop or the window is gone.
    bool Wait(double ms, engine::Movie* movie) {
        const double until = NowMs() + ms;
        for (;;) {
            if (window_.StopRequested() || gone_) return false;
            if (Resized()) Draw(movie);
            const double left = until - NowMs();
            if (left <= 0) return true;
            platform::Current().services->Sleep(static_cast<int>(std::min<double>(left, kSliceMs)) + 1);
        }
    }

    // Plays one movie to its last frame; false when asked to stop or the window is gone.
    bool Play(engine::Movie& movie) {
        movie.Play();
        const double rate = movie.Info().frameRate > 0 ? movie.Info().frameRate : 12;
        player::FramePacer pacer;
        pacer.Reset(rate, NowMs());
        Resized();
        Draw(&movie);
        const int last = movie.TotalFrames() - 1;
        // Each frame is due a frame's time after the one before; a late one is not waited for.
        double due = NowMs();
        while (movie.CurrentFrame() != last) {
            due = std::max(due + 1000 / rate, NowMs());
            if (!Wait(due - NowMs(), &movie)) return false;
            const int ticks = pacer.Due(NowMs());
            for (int i = 0; i < ticks && movie.CurrentFrame() != last; ++i) movie.Advance();
            if (ticks > 0) Draw(&movie);
        }
        return true;
    }

    // The movie's frame (or black without one) at the window's size, fitted or centred.
    void Draw(engine::Movie* movie) {
        if (!surface_) return;
        const auto start = std::chrono::steady_clock::now();
        std::vector<raster::IntRect> changed;
        if (!movie) {
            surface_->Clear(kBlack);
        } else if (fit_) {
            changed = movie->RenderChanges(*surface_, {surface_->Width(), surface_->Height(), 0, 0}, kBlack);
        } else {
            const int w = static_cast<int>(std::lround(movie->Info().stageWidth));
            const int h = static_cast<int>(std::lround(movie->Info().stageHeight));
            const engine::Viewport view{w, h, -(surface_->Width() - w) / 2, -(surface_->Height() - h) / 2};
            changed = movie->RenderChanges(*surface_, view, kBlack);
        }
        // Only what changed is shown again, but the whole frame now and then: the window is the
        // daemon's, and what another window covered meanwhile comes back within a second.
        const auto now = std::chrono::steady_clock::now();
        if (!movie || now - shownWhole_ >= std::chrono::seconds(1)) {
            window_.Present(surface_->data(), surface_->Width(), surface_->Height(), surface_->Width());
            shownWhole_ = now;
        } else if (!changed.empty()) {
            std::vector<platform::Rect> regions;
            for (const raster::IntRect& r : changed) regions.push_back({r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0});
            window_.Present(surface_->data(), surface_->Width(), surface_->Height(), surface_->Width(), regions);
        }
        if (fps_) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "frame %d: %.2f ms\n", movie ? movie->CurrentFrame() : 0, ms);
        }
    }

private:
    // Whether the window's size differs from the pixels kept for it (which then follow it).
    bool Resized() {
        int w = 0, h = 0;
        if (!window_.Size(w, h)) gone_ = true;
        if (gone_ || w <= 0 || h <= 0) return false;
        if (surface_ && surface_->Width() == w && surface_->Height() == h) return false;
        surface_.reset();
        surface_ = std::make_unique<raster::Surface>(w, h);
        return true;
    }

    platform::ForeignWindow& window_;
    bool fit_, fps_;
    bool gone_ = false;  // the window was destroyed: nothing more to draw into
    std::unique_ptr<raster::Surface> surface_;
    std::chrono::steady_clock::time_point shownWhole_{};
};

}  // namespace

std::optional<HackOptions> ParseHackArguments(const std::vector<std::string>& args, const char* screensaverWindow,
                                              std::string& error) {
    HackOptions o;
    bool hack = false;
    if (screensaverWindow && *screensaverWindow) {
        o.window = screensaverWindow;
        hack = true;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 < args.size()) return &args[++i];
            error = a + " needs a value";
            return nullptr;
        };
        if (a == "-root" || a == "--root") {
            // The daemon runs its hacks with -root and names its own window in the variable:
            // that window covers the root, so it is the one drawn into.
            if (!hack) o.window = "root";
            hack = true;
        } else if (a == "-window-id" || a == "--window-id") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            o.window = *v;
            hack = true;
        } else if (a == "--folder" || a == "-folder") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            o.folder = *v;
        } else if (a == "--fit" || a == "-fit") {
            o.fit = true;
        } else if (a == "--no-fit" || a == "-no-fit") {
            o.fit = false;
        } else if (a == "-fps" || a == "--fps") {
            o.fps = true;
        }
        // Anything else is the show's own switch (/s, /c, ...) or a daemon's option this
        // program has no use for (-install, -visual ...).
    }
    if (!hack) return std::nullopt;
    return o;
}

int RunHack(const HackOptions& options) {
    auto window = platform::OpenForeignWindow(options.window);
    if (!window) {
        std::fprintf(stderr, "lumarel: ウィンドウ %s を開けません\n", options.window.c_str());
        return 1;
    }
    settings::SettingsStore store(settings::SettingsKeyPath());
    const bool fit = options.fit.value_or(store.ReadFlag(kOptionSection, kExpansionValue, false));
    const std::string folder = options.folder.value_or(store.ReadText(kOptionSection, kFolderValue, ""));
    const std::vector<std::string> movies = BuildMovieList(folder);
    Hack hack(*window, fit, options.fps);
    hack.Wait(0, nullptr);
    for (size_t index = 0;; index = movies.empty() ? 0 : (index + 1) % movies.size()) {
        std::unique_ptr<engine::Movie> movie;
        if (!movies.empty()) {
            // A movie that cannot be read or decoded shows black for the pause, then the next.
            std::vector<std::uint8_t> bytes;
            const std::string path = JoinPath(folder, movies[index]);
            if (platform::Current().files->ReadWholeFile(path, bytes, kMaxMovieBytes))
                movie = engine::Movie::Load(bytes, MovieLoadOptions(path)).movie;
            if (movie) movie->SetThreads(DrawingThreads());
        }
        if (movie && !hack.Play(*movie)) return 0;
        if (!movie) hack.Draw(nullptr);
        if (!hack.Wait(kPauseBetweenMovies, movie.get())) return 0;
    }
}

}  // namespace lumarel::saver
