#include "player/ShockwaveFlashObjects_TLB.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/player.h"
#include "player/device_fonts.h"
#include "player/shared_objects.h"
#include "player/frame_pacer.h"
#include "player/sound_decoders.h"
#include "settings/SettingsStore.h"

namespace lumarel {

using namespace platform;

namespace {

constexpr std::uintptr_t kFrameTimer = 1;
// Posted to the player's own window when a movie starts. It does nothing when it arrives: it
// wakes the event loop, whose idle pass then sees the first frame (SetMovie drew it).
constexpr std::uint32_t kMsgMovieStarted = msg::User + 0x100;
// The largest file a movie loads.
constexpr std::size_t kMaxLoadedBytes = 64u * 1024u * 1024u;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The local zone's offset from UTC at a UTC time, in milliseconds, as the C library knows it.
double LocalOffsetAt(double utcMs) {
    if (!std::isfinite(utcMs)) return 0;
    const std::time_t t = static_cast<std::time_t>(std::floor(utcMs / 1000.0));
    const std::tm* local = std::localtime(&t);
    if (!local) return 0;
    const long long localSeconds = DaysFromCivil(local->tm_year + 1900LL, static_cast<unsigned>(local->tm_mon + 1),
                                                 static_cast<unsigned>(local->tm_mday)) *
                                       86400 +
                                   local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
    return static_cast<double>(localSeconds - static_cast<long long>(t)) * 1000.0;
}

// The folder part of a movie's path, separator included ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
std::string FileNameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

double NowMs() { return static_cast<double>(Current().services->TickMilliseconds()); }

raster::Rgba RgbaOf(std::uint32_t rgb) {
    return raster::Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                        static_cast<std::uint8_t>(rgb), 255};
}

}  // namespace

// The movie in play and the pixels it was last drawn into.
//
// Sound: while a movie with sound plays, the platform's audio device pulls its samples straight
// from Movie::MixAudio, on the device's own thread, a block of a few tens of milliseconds at a
// time. The engine is not thread-safe, so every call into the movie takes `lock` (Play, Advance,
// Render and the frame counters on the UI thread, MixAudio on the device's); mixing a block takes
// well under a millisecond, and a frame that is slow to draw only delays the next block, which the
// device's own ~150 ms of buffered sound covers. This is simpler than mixing on the UI thread
// into a ring buffer, whose filling would have to follow the device's clock rather than the frame
// timer (a movie of 1 frame per second ticks far too rarely to keep a device fed).
// The device stream is closed (its buffered sound dropped) before the movie is replaced or the
// player goes, and never while `lock` is held: closing waits for the device's thread.
class MovieView {
public:
    std::unique_ptr<engine::Movie> movie;
    std::unique_ptr<raster::Surface> surface;
    std::mutex lock;
    AudioOutput* output = nullptr;  // the device of the open stream `sound` (0 for none)
    AudioHandle sound = 0;

    // Opens the device for a movie that has sound (not at all for one without).
    void StartSound() {
        if (sound || !Current().audio || !movie || !movie->HasSound()) return;
        output = Current().audio;
        sound = output->Open(engine::sound::kOutputRate, 2, [this](std::int16_t* out, std::size_t frames) {
            std::lock_guard<std::mutex> guard(lock);
            if (movie) movie->MixAudio(out, frames);
        });
    }
    void StopSound() {
        if (sound) output->Close(sound);
        sound = 0;
    }
};

engine::LoadOptions MovieLoadOptions(const std::string& path) {
    // Text in fonts the movie does not embed is drawn with the system's fonts.
    engine::LoadOptions options;
    options.deviceFonts = player::NativeDeviceFonts();
    // Scripts see real time (getTimer, setInterval) and a different random sequence each show.
    const auto loadedAt = std::chrono::steady_clock::now();
    options.clock = [loadedAt] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadedAt).count();
    };
    options.randomSeed = static_cast<std::uint32_t>(loadedAt.time_since_epoch().count()) | 1u;
    options.utcNow = [] {
        return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    options.localOffset = LocalOffsetAt;
    options.soundDecoders = player::NativeSoundDecoders();
    // Files a movie loads come from its own folder and below, nowhere else.
    options.readFile = [folder = FolderOf(path)](const std::string& url, std::string& out) {
        std::string relative = engine::LocalMoviePath(url);
        if (relative.empty()) return false;
        if (folder.find('\\') != std::string::npos) std::replace(relative.begin(), relative.end(), '/', '\\');
        std::vector<std::uint8_t> data;
        if (!Current().files->ReadWholeFile(folder + relative, data, kMaxLoadedBytes)) return false;
        out.assign(data.begin(), data.end());
        return true;
    };
    // Shared objects are kept per user beside the settings, under the movie's file name.
    options.movieName = FileNameOf(path);
    const player::SharedObjectStore store(settings::SettingsKeyPath());
    options.loadShared = [store](const std::string& name, std::vector<std::uint8_t>& out) {
        return store.Load(name, out);
    };
    options.saveShared = [store](const std::string& name, std::span<const std::uint8_t> data) {
        return store.Save(name, data);
    };
    return options;
}

int DrawingThreads() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1); }

TShockwaveFlash::TShockwaveFlash(Control* parent, std::string name)
    : Control(parent, ControlKind::Host, std::move(name)), view_(std::make_unique<MovieView>()) {}

TShockwaveFlash::~TShockwaveFlash() {
    view_->StopSound();
    if (handle_) Current().windowing->StopTimer(handle_, kFrameTimer);
}

void TShockwaveFlash::SetBackgroundColor(std::int32_t color) {
    background_ = static_cast<std::uint32_t>(color) & 0xFFFFFFu;
    backgroundSet_ = true;
    Draw();
}

void TShockwaveFlash::SetMovie(const std::string& path) {
    playing_ = false;
    if (handle_) Current().windowing->StopTimer(handle_, kFrameTimer);
    view_->StopSound();
    view_->movie.reset();
    hasMovie_ = true;
    loadError_.clear();

    std::vector<std::uint8_t> bytes;
    if (!Current().files->ReadWholeFile(path, bytes, kMaxMovieBytes)) {
        loadError_ = "the file cannot be read";
    } else {
        engine::LoadResult loaded = engine::Movie::Load(bytes, MovieLoadOptions(path));
        view_->movie = std::move(loaded.movie);
        if (!view_->movie) loadError_ = loaded.error.empty() ? "not a movie" : loaded.error;
        if (view_->movie) view_->movie->SetThreads(DrawingThreads());
    }
    Draw();
}

void TShockwaveFlash::Play() {
    if (handle_ && hasMovie_) Current().windowing->PostMessage(handle_, kMsgMovieStarted, 0, 0);
    if (!view_->movie) return;
    {
        std::lock_guard<std::mutex> guard(view_->lock);
        view_->movie->Play();
    }
    playing_ = true;
    RestartTimer();
    view_->StartSound();
}

std::int32_t TShockwaveFlash::TotalFrames() const {
    if (!hasMovie_) return 0;
    std::lock_guard<std::mutex> guard(view_->lock);
    return view_->movie ? view_->movie->TotalFrames() : 1;
}

std::int32_t TShockwaveFlash::CurrentFrame() const {
    std::lock_guard<std::mutex> guard(view_->lock);
    return view_->movie ? view_->movie->CurrentFrame() : 0;
}

void TShockwaveFlash::RestartTimer() {
    if (!handle_ || !playing_ || !view_->movie) return;
    double rate = view_->movie->Info().frameRate;
    int interval = rate > 0 ? static_cast<int>(1000.0 / rate + 0.5) : 83;
    interval = std::clamp(interval, 5, 10000);
    Current().windowing->StopTimer(handle_, kFrameTimer);
    Current().windowing->StartTimer(handle_, kFrameTimer, interval);
    pacer_.Reset(rate, NowMs());
}

void TShockwaveFlash::AfterCreate() {
    RestartTimer();
    Draw();
}

void TShockwaveFlash::HandleTimer(std::uintptr_t id) {
    if (id != kFrameTimer || !view_->movie) return;
    {
        // The frames follow the stream sound's clock while one plays, else the wall clock: a
        // late tick catches up (the frames between are not drawn), an early one waits. The last
        // frame is never passed over, so the show sees every movie end.
        std::lock_guard<std::mutex> guard(view_->lock);
        engine::Movie& movie = *view_->movie;
        const double now = NowMs();
        int ticks = view_->sound ? movie.TicksDue() : -1;
        if (ticks < 0) {
            ticks = pacer_.Due(now);
        } else {
            pacer_.Reset(movie.Info().frameRate, now);
        }
        if (ticks == 0) return;
        const int last = movie.TotalFrames() - 1;
        for (int i = 0; i < ticks; ++i) {
            movie.Advance();
            if (movie.CurrentFrame() == last) break;
        }
    }
    Draw(false);
}

void TShockwaveFlash::HandlePaint() { Draw(); }

void TShockwaveFlash::HandleResize() { Draw(); }

void TShockwaveFlash::Draw(bool always) {
    // Only the part of the player inside its parent has a window and pixels.
    const Rect visible = NativeBounds();
    if (!handle_ || visible.width <= 0 || visible.height <= 0) return;
    auto& surface = view_->surface;
    if (!surface || surface->Width() != visible.width || surface->Height() != visible.height) {
        surface.reset();  // the old pixels go before the new ones are made
        surface = std::make_unique<raster::Surface>(visible.width, visible.height);
    }
    std::optional<raster::Rgba> background;
    if (backgroundSet_) background = RgbaOf(background_);
    if (view_->movie) {
        const engine::Viewport view{Width(), Height(), visible.left - Left(), visible.top - Top()};
        std::lock_guard<std::mutex> guard(view_->lock);
        // Only what changed is drawn and shown again; a frame that looks as before is not shown.
        const std::vector<raster::IntRect> changed = view_->movie->RenderChanges(*surface, view, background);
        if (!always) {
            std::vector<Rect> regions;
            for (const raster::IntRect& r : changed) regions.push_back(Rect{r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0});
            if (!regions.empty())
                Current().windowing->PresentPixelRegions(handle_, surface->data(), surface->Width(), surface->Height(),
                                                         surface->Width(), regions);
            return;
        }
    } else {
        surface->Clear(background.value_or(raster::Rgba{0, 0, 0, 255}));
    }
    Current().windowing->PresentPixels(handle_, surface->data(), surface->Width(), surface->Height(), surface->Width());
}

}  // namespace lumarel
