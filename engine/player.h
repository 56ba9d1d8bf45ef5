// The SWF player engine's public face: load a movie from bytes, run its frame clock, draw
// frames. No operating-system calls: bytes in, frames out.
//
// Typical use:
//     LoadResult r = Movie::Load(bytes);            // std::span<const uint8_t> of the file
//     if (!r.movie) { /* r.error says why */ }
//     raster::Surface surface(800, 600);
//     r.movie->Play();
//     for (;;) {                                    // every 1000 / Info().frameRate ms
//         r.movie->Advance();
//         r.movie->Render(surface);                 // fitted into the surface, centred
//     }
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/raster/display_list.h"
#include "engine/raster/parallel.h"
#include "engine/raster/raster.h"
#include "engine/sound/decode.h"
#include "engine/swf/swf_file.h"
#include "engine/text/device_fonts.h"

namespace lumarel::engine {

using swf::Compression;

namespace timeline {
class Stage;
}

struct TagCount {
    uint16_t code = 0;
    std::string name;
    int count = 0;
};

struct VideoStreamInfo {
    uint16_t id = 0;
    uint8_t codec = 0;
    std::string codecName;
    int width = 0, height = 0;
    int frameCount = 0;  // as DefineVideoStream declares
    int packets = 0;     // VideoFrame tags kept
    bool decodable = false;
};

struct MovieInfo {
    int version = 0;
    Compression compression = Compression::None;
    uint32_t declaredLength = 0;
    // Stage rectangle in pixels (twips / 20); the origin is honoured when drawing.
    double stageX = 0, stageY = 0, stageWidth = 0, stageHeight = 0;
    double frameRate = swf::kDefaultFrameRate;  // frames per second; 0 in the file becomes the default
    double headerFrameRate = 0;                 // as stored
    int headerFrameCount = 0;                   // as stored
    int frameCount = 1;                         // frames of the main timeline (ShowFrame tags, at least 1)
    raster::Rgba background{255, 255, 255, 255};
    std::vector<TagCount> tags;             // every top-level tag kind (End included), by code
    std::vector<std::string> warnings;      // definitions skipped as malformed
    std::vector<VideoStreamInfo> videos;    // embedded video streams, by id
    std::vector<std::string> silentSounds;  // codecs of sounds no decoder plays ("Nellymoser"), each once
};

class Movie;

struct LoadOptions {
    // Glyphs for text drawn in fonts the movie does not embed (none: such text is not drawn).
    std::shared_ptr<text::DeviceFontSource> deviceFonts;
    // Where scripts' trace() lines and fscommand() calls go (none: dropped).
    std::function<void(const std::string&)> trace;
    std::function<void(const std::string& command, const std::string& args)> fsCommand;
    // The scripts' clock in milliseconds since loading. None: a fixed clock where frame n is
    // at n * 1000 / frame rate, so runs are reproducible.
    std::function<double()> clock;
    uint32_t randomSeed = 1;
    // Wall-clock time for Date: milliseconds since 1970 UTC, and the local zone's offset from UTC
    // in milliseconds at a UTC time (east positive). None: 2000-01-01 00:00 UTC plus the clock,
    // in UTC, so runs are reproducible.
    std::function<double()> utcNow;
    std::function<double(double utc)> localOffset;
    // Local files that scripts load (XML, LoadVars), named as the movie names them: give the
    // bytes, or false. None: nothing loads. LocalMoviePath says which names are acceptable.
    std::function<bool(const std::string& url, std::string& out)> readFile;
    // Where SharedObject.getLocal's data is kept from run to run. A record is named
    // "<path>/<object name>", the path being the one the movie gives or else `movieName`. Load
    // gives a record's bytes, or false when there is none; save stores them (no bytes: removes
    // the record) and says whether it could. None: data lasts only while the movie plays, and
    // flush() reports that nothing was stored.
    std::function<bool(const std::string& name, std::vector<uint8_t>& out)> loadShared;
    std::function<bool(const std::string& name, std::span<const uint8_t> bytes)> saveShared;
    std::string movieName;  // the movie's file name
    // Decoders for compressed sound (MP3); none: such sounds stay silent.
    std::shared_ptr<sound::CompressedDecoderSource> soundDecoders;
};

// A name a movie uses to load a file, as a path relative to the movie's own folder with '/'
// between parts ("data/a.xml", "./b.txt", "file:c.txt"); empty when it is refused: absolute
// paths, drive letters, ".." parts, and URLs of any scheme but a relative file: one.
std::string LocalMoviePath(const std::string& url);

// The part of a larger view that a surface holds: the movie is laid out in a view of
// width x height pixels, and the surface shows that view's pixels from (x, y) on. A player
// whose window reaches past the screen draws only what is on it.
struct Viewport {
    int width = 0, height = 0;
    int x = 0, y = 0;
};

struct LoadResult {
    std::unique_ptr<Movie> movie;  // null when the movie cannot be decoded
    std::string error;             // one-line reason when movie is null
};

class Movie {
public:
    // Decodes a SWF file held in memory. Never throws on bad data; it reports it in `error`.
    static LoadResult Load(std::span<const uint8_t> bytes);
    static LoadResult Load(std::span<const uint8_t> bytes, const LoadOptions& options);

    ~Movie();
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    const MovieInfo& Info() const { return info_; }

    int TotalFrames() const;
    // Zero-based frame of the main timeline now shown.
    int CurrentFrame() const;
    // The movie's sound, mixed: `frames` stereo frames of 44.1 kHz 16-bit samples, interleaved,
    // advancing every sound by that much. Silence when nothing plays.
    void MixAudio(int16_t* out, size_t frames);
    void StopSound();  // every sound at once
    // Whether the movie has sound to play: sounds it defines, or stream sound in its main
    // timeline or a sprite's. Files it loads later (loadMovie) are not counted.
    bool HasSound() const;
    bool IsPlaying() const;
    // Starts playback. The first call after loading begins the movie as its first frame left
    // it (a stop() in frame 1 is honoured); later calls resume a stopped movie.
    void Play();
    void Stop();
    // One tick of the frame clock: when started and playing, the main timeline goes to its next
    // frame (after the last back to frame 0); sprite instances move on by one frame each.
    // Does nothing before the first Play().
    void Advance();
    // For a player whose sound device pulls MixAudio: how many ticks are due now for the main
    // timeline to keep pace with its stream sound. More than 1 when drawing fell behind (advance
    // that many times, draw once: frames are dropped, not sound), 0 while the frames are ahead;
    // -1 when no stream sound sets the pace (none in play, before Play(), or nothing pulls it):
    // the player keeps its own clock.
    int TicksDue();

    // Stage quality the frames are drawn at (High unless the host sets another; a movie's
    // scripts may change it with _quality).
    void SetQuality(raster::Quality q);
    raster::Quality Quality() const;
    // Whether groups (clips with filters or a blend mode) are kept as drawn from frame to frame
    // while unchanged (on unless the host turns it off; the pictures are the same either way).
    void SetGroupCache(bool on);
    long GroupCacheHits() const;  // groups shown as kept so far

    // Background colour now in force (SetBackgroundColor, white when the movie sets none).
    raster::Rgba BackgroundColor() const;

    // Draws the current frame into `surface`, scaled "ShowAll" (uniform scale, the whole stage
    // visible, centred). The background (or `backgroundOverride`) fills the whole surface, the
    // letterbox included; content outside the stage rectangle is cut off.
    void Render(raster::Surface& surface, std::optional<raster::Rgba> backgroundOverride = std::nullopt) const;
    // The same for the part of a larger view that `surface` holds.
    void Render(raster::Surface& surface, const Viewport& view,
                std::optional<raster::Rgba> backgroundOverride = std::nullopt) const;
    // The same, drawing only what changed: `surface` is taken to hold the frame this call drew
    // last (the same surface, view and background; else all of it is drawn). Returns the
    // regions drawn (a few rectangles); none when the frame looks as before, so there is
    // nothing to show again. The pixels are those Render draws.
    std::vector<raster::IntRect> RenderChanges(raster::Surface& surface, const Viewport& view,
                                               std::optional<raster::Rgba> backgroundOverride = std::nullopt);
    // Threads that draw a frame (1 unless the host sets more; the pictures are the same).
    void SetThreads(int threads);

    // The running display tree (for tests and tools).
    const timeline::Stage& Stage() const { return *stage_; }

private:
    Movie();
    struct Data;
    std::unique_ptr<Data> data_;
    std::unique_ptr<timeline::Stage> stage_;
    MovieInfo info_;
    bool started_ = false;
    // Records the frame as drawn into `surface` through `view` (false: no part of the stage shows).
    bool RecordFrame(raster::Surface& surface, const Viewport& view, raster::DisplayList& list) const;

    // Kept from frame to frame, so scratch buffers, masks and bitmap scans are reused.
    mutable std::unique_ptr<raster::Renderer> recorder_;
    mutable std::unique_ptr<raster::ParallelRenderer> painter_;
    mutable raster::DisplayList frame_;
    // What RenderChanges drew last, and where.
    struct Shown {
        raster::DisplayList list;
        const raster::Surface* surface = nullptr;
        const uint32_t* pixels = nullptr;
        int width = 0, height = 0;
        Viewport view{};
        uint32_t background = 0;
        bool valid = false;
    };
    Shown shown_;
    int threads_ = 1;
};

}  // namespace lumarel::engine
