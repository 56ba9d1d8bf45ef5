// The movie player component: a child window that plays one SWF movie with Lumarel's own
// engine. It offers the five operations the saver uses: BackgroundColor, Movie, Play,
// TotalFrames and CurrentFrame. A frame timer at the movie's rate drives it; every tick is an
// ordinary queued message that draws one frame, after advancing as many frames as the clock
// says are due (one, unless drawing fell behind or the timer runs early).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/player.h"
#include "platform/forms.h"
#include "player/frame_pacer.h"

namespace lumarel {

class MovieView;  // the engine side, see ShockwaveFlashObjects_TLB.cpp

// How the player loads the movie at `path`: real time and date, the system's fonts and sound
// decoders, files from the movie's own folder, shared objects kept beside the settings.
engine::LoadOptions MovieLoadOptions(const std::string& path);
// How many threads draw a movie's frames: all cores but one (which keeps the desktop and the
// sound going), at least one.
int DrawingThreads();
// The largest movie file the player reads.
inline constexpr std::size_t kMaxMovieBytes = std::size_t(256) << 20;

class TShockwaveFlash : public platform::Control {
public:
    TShockwaveFlash(platform::Control* parent, std::string name);
    ~TShockwaveFlash() override;

    // 0xRRGGBB behind and around the stage; until it is set, the movie's own colour.
    void SetBackgroundColor(std::int32_t color);
    // Loads the file at once, replacing any movie in play. A movie that cannot be read or
    // decoded counts one frame and stands finished on it.
    void SetMovie(const std::string& path);
    // Starts the movie, and queues a message that wakes the event loop at once, so the idle
    // pass that follows sees the first frame, also of a one-frame movie or of one that could
    // not be decoded (neither has frame ticks to come).
    void Play();
    // 0 with no movie; 1 for a movie that could not be decoded.
    std::int32_t TotalFrames() const;
    // Zero-based number of the frame shown; 0 with no movie.
    std::int32_t CurrentFrame() const;

    // Why the last movie could not be decoded ("" when it could).
    const std::string& LoadError() const { return loadError_; }

private:
    void AfterCreate() override;
    void HandleTimer(std::uintptr_t id) override;
    void HandlePaint() override;
    void HandleResize() override;
    // Draws the frame and shows it; unless `always`, a frame that looks as the one shown is not
    // shown again.
    void Draw(bool always = true);
    void RestartTimer();

    std::unique_ptr<MovieView> view_;
    player::FramePacer pacer_;
    std::string loadError_;
    bool hasMovie_ = false;
    bool playing_ = false;
    bool backgroundSet_ = false;
    std::uint32_t background_ = 0;
    int timerInterval_ = 0;
};

}  // namespace lumarel
