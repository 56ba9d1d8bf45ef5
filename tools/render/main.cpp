// lumarel-render: renders SWF frames to PNG, lists a movie's make-up, benchmarks the engine.
// `lumarel-render --help` prints the usage. Exit codes: 0 done, 1 the PNG could not be
// written, 2 a bad argument or a movie that cannot be read or decoded.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <span>

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "engine/player.h"
#include "player/device_fonts.h"
#include "player/sound_decoders.h"
#include "tools/render/png_writer.h"

namespace {

using lumarel::engine::LoadOptions;
using lumarel::engine::LoadResult;
using lumarel::engine::Movie;
namespace raster = lumarel::raster;

constexpr int kMaxSide = 16384;

constexpr const char* kUsage =
    "usage: lumarel-render [--frames N] [--size WxH] [--quality Q] [--out FILE.png] MOVIE.swf\n"
    "       lumarel-render --frames N --trace FILE [--out FILE.png] MOVIE.swf\n"
    "       lumarel-render --frames N --wav FILE.wav [--out FILE.png] MOVIE.swf\n"
    "       lumarel-render --info MOVIE.swf\n"
    "       lumarel-render --bench [--size WxH] [--frames N] [--quality Q] [--threads N] [--full]\n"
    "                      [--no-group-cache] MOVIE.swf\n"
    "\n"
    "Plays MOVIE.swf without a window and writes frame N as a PNG picture.\n"
    "\n"
    "  --frames N     the frame to write, counted from 1 (default 1); with --bench, the\n"
    "                 frames played per pass (default 1)\n"
    "  --size WxH     the picture's size in pixels, at most 16384 a side; the movie is fitted\n"
    "                 into it whole (default: the movie's own stage size)\n"
    "  --out FILE     where the PNG goes (default out.png)\n"
    "  --trace FILE   writes the scripts' trace() lines of the frames played to FILE (- for\n"
    "                 standard output); no PNG unless --out is given. fscommand() calls are\n"
    "                 reported on standard error\n"
    "  --wav FILE     writes the sound of the frames played (44.1 kHz 16-bit stereo WAV);\n"
    "                 no PNG unless --out is given\n"
    "  --quality Q    the stage quality: low (no anti-aliasing), medium, high or best\n"
    "                 (default high); exact: anti-aliased by exact covered areas\n"
    "  --info         prints the movie's header, its tags and what this player does not show\n"
    "  --bench        times the rendering: median and 95th percentile milliseconds a frame,\n"
    "                 the share of frames nothing changed in (not drawn at all) and of pixels\n"
    "                 drawn again, peak memory\n"
    "  --full         with --bench, draws every frame whole instead of only what changed\n"
    "  --threads N    threads that draw each frame, 1 to 64 (default 1)\n"
    "  --no-group-cache\n"
    "                 draws clips with filters or blend modes anew every frame, even when\n"
    "                 unchanged (the same pictures; for timing what keeping them saves)\n"
    "  -h, --help     prints this text\n"
    "\n"
    "Options also take the form --frames=N. Exit codes: 0 done, 1 the PNG could not be\n"
    "written, 2 a bad argument or a movie that cannot be read or decoded.\n";

// One line naming the problem, then exit code 2.
int Fail(const std::string& message, bool pointToUsage = true) {
    std::fprintf(stderr, "lumarel-render: %s%s\n", message.c_str(), pointToUsage ? " (--help for the usage)" : "");
    return 2;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool ParseInt(const std::string& s, long lo, long hi, int& out) {
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseSize(const std::string& s, int& w, int& h) {
    const size_t x = s.find_first_of("xX");
    return x != std::string::npos && ParseInt(s.substr(0, x), 1, kMaxSide, w) &&
           ParseInt(s.substr(x + 1), 1, kMaxSide, h);
}

// Reads a movie file; "" when it worked, else what went wrong.
// A 44.1 kHz 16-bit stereo WAV file of interleaved samples.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> h;
    auto put = [&h](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    put(36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);  // PCM
    put(2, 2);  // stereo
    put(44100, 4);
    put(44100 * 4, 4);
    put(4, 2);
    put(16, 2);
    tag("data");
    put(dataBytes, 4);
    for (int16_t v : samples) put(static_cast<uint16_t>(v), 2);
    const bool ok = std::fwrite(h.data(), 1, h.size(), f) == h.size();
    return std::fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return "no such file";
    if (std::filesystem::is_directory(status)) return "a folder, not a movie file";
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return "cannot read the file";
    if (size > (uintmax_t(256) << 20)) return "larger than the 256 MiB this player reads";
    std::ifstream f(path, std::ios::binary);
    if (!f) return "cannot open the file";
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return f.bad() ? "cannot read the file" : "";
}

// What the movie holds that this player does not show or play yet.
std::vector<std::string> NotShown(const lumarel::engine::MovieInfo& info) {
    namespace tag = lumarel::engine::swf::tag;
    std::set<uint16_t> present;
    for (const auto& t : info.tags) present.insert(t.code);
    auto any = [&](std::initializer_list<uint16_t> codes) {
        for (uint16_t c : codes) {
            if (present.count(c)) return true;
        }
        return false;
    };
    std::vector<std::string> out;
    for (const auto& v : info.videos)
        if (!v.decodable) out.push_back("video " + std::to_string(v.id) + " (" + v.codecName + ") is not drawn");
    for (const auto& codec : info.silentSounds) out.push_back(codec + " sound is not played");
    if (any({tag::DoABC, tag::SymbolClass})) out.push_back("ActionScript 3 is not run");
    return out;
}

// The stage in whole pixels, kept within kMaxSide (scaled down proportionally if larger).
void StageSize(const Movie& m, int& w, int& h) {
    double sw = std::floor(m.Info().stageWidth), sh = std::floor(m.Info().stageHeight);
    if (!(sw >= 1)) sw = 1;
    if (!(sh >= 1)) sh = 1;
    const double k = std::min(1.0, kMaxSide / std::max(sw, sh));
    w = std::max(1, static_cast<int>(sw * k));
    h = std::max(1, static_cast<int>(sh * k));
}

long PeakMemoryKiB() {
#if !defined(_WIN32)
    rusage ru{};
    if (getrusage(RUSAGE_SELF, &ru) == 0) return ru.ru_maxrss;
#endif
    return -1;
}

int Info(const Movie& m) {
    const auto& i = m.Info();
    std::printf("version: %d\n", i.version);
    std::printf("compression: %s\n", lumarel::engine::swf::CompressionName(i.compression));
    std::printf("file length: %u bytes (declared)\n", i.declaredLength);
    std::printf("stage: %g x %g px at (%g, %g)\n", i.stageWidth, i.stageHeight, i.stageX, i.stageY);
    if (i.headerFrameRate > 0) {
        std::printf("frame rate: %g fps\n", i.frameRate);
    } else {
        std::printf("frame rate: %g fps (header says 0)\n", i.frameRate);
    }
    std::printf("frame count: %d (header says %d)\n", i.frameCount, i.headerFrameCount);
    std::printf("background: #%02x%02x%02x\n", i.background.r, i.background.g, i.background.b);
    std::printf("tags:\n");
    for (const auto& t : i.tags) std::printf("  %-28s %6d\n", t.name.c_str(), t.count);
    for (const auto& v : i.videos)
        std::printf("video %u: %s (codec %u), %d x %d px, %d frames declared, %d packets\n", unsigned(v.id),
                    v.codecName.c_str(), unsigned(v.codec), v.width, v.height, v.frameCount, v.packets);
    for (const auto& w : i.warnings) std::printf("warning: %s\n", w.c_str());
    for (const auto& w : NotShown(i)) std::printf("warning: %s\n", w.c_str());
    return 0;
}

int Bench(Movie& m, int w, int h, int frames, bool full) {
    raster::Surface s(w, h);
    std::vector<double> ms;
    long still = 0;
    double drawn = 0;  // pixels drawn again, in whole frames
    m.Play();
    const int total = std::max(frames, 1);
    // At least 2 s or 3 passes of the frames, whichever is longer, capped at 2000 samples.
    const auto begin = std::chrono::steady_clock::now();
    for (int pass = 0;; ++pass) {
        for (int f = 0; f < total; ++f) {
            const auto t0 = std::chrono::steady_clock::now();
            if (f > 0 || pass > 0) m.Advance();
            if (full) {
                m.Render(s);
                drawn += 1;
            } else {
                const std::vector<raster::IntRect> regions = m.RenderChanges(s, {w, h, 0, 0});
                still += regions.empty();
                for (const raster::IntRect& r : regions)
                    drawn += static_cast<double>(r.x1 - r.x0) * (r.y1 - r.y0) / (static_cast<double>(w) * h);
            }
            const auto t1 = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if ((pass >= 2 && elapsed >= 2.0) || ms.size() >= 2000) break;
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double mpix = static_cast<double>(w) * h / 1e6;
    std::printf("size: %dx%d, frames per pass: %d, samples: %zu\n", w, h, total, ms.size());
    std::printf("median: %.3f ms/frame\n", median);
    std::printf("p95: %.3f ms/frame\n", sorted[std::min(sorted.size() - 1, sorted.size() * 95 / 100)]);
    std::printf("frames unchanged: %.1f%%\n", 100.0 * static_cast<double>(still) / static_cast<double>(ms.size()));
    std::printf("pixels drawn again: %.1f%%\n", 100.0 * drawn / static_cast<double>(ms.size()));
    std::printf("groups shown as kept: %ld\n", m.GroupCacheHits());
    std::printf("throughput: %.1f Mpixel/s\n", median > 0 ? mpix / (median / 1000.0) : 0.0);
    const long peak = PeakMemoryKiB();
    if (peak >= 0) {
        std::printf("peak memory: %.1f MiB\n", peak / 1024.0);
    } else {
        std::printf("peak memory: n/a\n");
    }
    return 0;
}

int Run(int argc, char** argv) {
    int frames = 1, w = 0, h = 0;
    bool info = false, bench = false, sized = false, groupCache = true, full = false;
    int threads = 1;
    std::string out = "out.png", movie, trace, wav;
    bool outGiven = false;
    raster::Quality quality = raster::Quality::High;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        // --name=value stands for --name value.
        std::string v;
        bool inlineValue = false;
        if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
            v = a.substr(a.find('=') + 1);
            a = a.substr(0, a.find('='));
            inlineValue = true;
        }
        auto value = [&]() {
            if (inlineValue) return true;
            if (i + 1 >= argc) return false;
            v = argv[++i];
            return true;
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--full") {
            full = true;
        } else if (a == "--threads") {
            if (!value()) return Fail("--threads needs a number");
            if (!ParseInt(v, 1, 64, threads)) return Fail("--threads '" + v + "' is not a number from 1 to 64");
        } else if (a == "--no-group-cache") {
            if (inlineValue) return Fail(a + " takes no value");
            groupCache = false;
        } else if (a == "--info" || a == "--bench") {
            if (inlineValue) return Fail(a + " takes no value");
            (a == "--info" ? info : bench) = true;
        } else if (a == "--frames") {
            if (!value()) return Fail("--frames needs a number");
            if (!ParseInt(v, 1, 1000000, frames)) return Fail("--frames '" + v + "' is not a number from 1 to 1000000");
        } else if (a == "--size") {
            if (!value()) return Fail("--size needs WIDTHxHEIGHT");
            if (!ParseSize(v, w, h)) return Fail("--size '" + v + "' is not WIDTHxHEIGHT with sides from 1 to 16384");
            sized = true;
        } else if (a == "--quality") {
            static const std::pair<const char*, raster::Quality> kQualities[] = {{"low", raster::Quality::Low},
                                                                                 {"medium", raster::Quality::Medium},
                                                                                 {"high", raster::Quality::High},
                                                                                 {"best", raster::Quality::Best},
                                                                                 {"exact", raster::Quality::Exact}};
            if (!value()) return Fail("--quality needs low, medium, high, best or exact");
            auto q =
                std::find_if(std::begin(kQualities), std::end(kQualities), [&](const auto& e) { return v == e.first; });
            if (q == std::end(kQualities)) return Fail("--quality '" + v + "' is not low, medium, high, best or exact");
            quality = q->second;
        } else if (a == "--out") {
            if (!value() || v.empty()) return Fail("--out needs a file name");
            out = v;
            outGiven = true;
        } else if (a == "--trace") {
            if (!value() || v.empty()) return Fail("--trace needs a file name or -");
            trace = v;
        } else if (a == "--wav") {
            if (!value() || v.empty()) return Fail("--wav needs a file name");
            wav = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail("unknown option '" + a + "'");
        } else if (movie.empty()) {
            movie = a;
        } else {
            return Fail("one movie at a time ('" + movie + "' and '" + a + "')");
        }
    }
    if (movie.empty()) return Fail("no movie given");
    if (info && bench) return Fail("--info and --bench do not go together");

    std::vector<uint8_t> bytes;
    if (const std::string why = ReadFile(movie, bytes); !why.empty()) return Fail(movie + ": " + why, false);
    LoadOptions options;
    options.deviceFonts = lumarel::player::NativeDeviceFonts();  // device-font text in the system's fonts
    std::FILE* traceFile = nullptr;
    if (!trace.empty()) {
        traceFile = trace == "-" ? stdout : std::fopen(trace.c_str(), "wb");
        if (!traceFile) return Fail(trace + ": cannot write the trace file", false);
        options.trace = [traceFile](const std::string& line) {
            std::fwrite(line.data(), 1, line.size(), traceFile);
            std::fputc('\n', traceFile);
        };
    }
    options.soundDecoders = lumarel::player::NativeSoundDecoders();
    options.fsCommand = [](const std::string& command, const std::string& args) {
        std::fprintf(stderr, "fscommand: %s %s\n", command.c_str(), args.c_str());
    };
    // Files the movie loads come from its folder and below.
    options.readFile = [folder = std::filesystem::path(movie).parent_path()](const std::string& url,
                                                                             std::string& text) {
        const std::string relative = lumarel::engine::LocalMoviePath(url);
        std::vector<uint8_t> data;
        if (relative.empty() || !ReadFile((folder / relative).string(), data).empty()) return false;
        text.assign(data.begin(), data.end());
        return true;
    };
    // Shared objects last for the run only (so runs stay reproducible), but are stored as far as
    // the movie can tell.
    auto shared = std::make_shared<std::map<std::string, std::vector<uint8_t>>>();
    options.movieName = std::filesystem::path(movie).filename().string();
    options.loadShared = [shared](const std::string& name, std::vector<uint8_t>& record) {
        auto it = shared->find(name);
        if (it == shared->end()) return false;
        record = it->second;
        return true;
    };
    options.saveShared = [shared](const std::string& name, std::span<const uint8_t> data) {
        if (data.empty())
            shared->erase(name);
        else
            (*shared)[name].assign(data.begin(), data.end());
        return true;
    };
    LoadResult loaded = Movie::Load(bytes, options);
    if (!loaded.movie) return Fail(movie + ": not a movie this player can decode: " + loaded.error, false);
    Movie& m = *loaded.movie;
    m.SetQuality(quality);
    m.SetGroupCache(groupCache);
    m.SetThreads(threads);
    if (info) return Info(m);
    if (!sized) StageSize(m, w, h);
    if (bench) return Bench(m, w, h, frames, full);

    // Playing up to a far frame can take a while: a terminal is told how far it got.
    const bool showProgress = StderrIsTerminal();
    const auto begin = std::chrono::steady_clock::now();
    bool shown = false;
    m.Play();
    // Each frame shown is followed by its share of the sound: 44100 / frame rate stereo frames.
    std::vector<int16_t> audio;
    double audioDue = 0;
    auto mixFrame = [&] {
        if (wav.empty()) return;
        audioDue += 44100.0 / (m.Info().frameRate > 0 ? m.Info().frameRate : 12.0);
        const auto n = static_cast<size_t>(audioDue) - audio.size() / 2;
        const size_t at = audio.size();
        audio.resize(at + 2 * n);
        m.MixAudio(audio.data() + at, n);
    };
    mixFrame();
    for (int f = 1; f < frames; ++f) {
        m.Advance();
        mixFrame();
        if (showProgress && (f % 64 == 0) && std::chrono::steady_clock::now() - begin > std::chrono::seconds(2)) {
            std::fprintf(stderr, "\rframe %d of %d", f + 1, frames);
            shown = true;
        }
    }
    if (shown) std::fprintf(stderr, "\rframe %d of %d, drawing\n", frames, frames);
    if (traceFile && traceFile != stdout && std::fclose(traceFile) != 0)
        return Fail(trace + ": cannot write the trace file", false);
    if (!wav.empty() && !WriteWav(wav, audio)) return Fail(wav + ": cannot write the WAV file", false);
    if ((traceFile || !wav.empty()) && !outGiven) return 0;
    raster::Surface s(w, h);
    m.Render(s);
    if (!lumarel::render::WritePng(s, out)) {
        std::fprintf(stderr, "lumarel-render: %s: cannot write the PNG\n", out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory", false);
    } catch (const std::exception& e) {
        return Fail(e.what(), false);
    }
}
