// lumarel-render: renders SWF frames to PNG, lists a movie's make-up, benchmarks the engine.
//
//   lumarel-render [--frames N] [--size WxH] [--out FILE.png] MOVIE.swf
//   lumarel-render --info MOVIE.swf
//   lumarel-render --bench [--size WxH] [--frames N] MOVIE.swf
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "engine/player.h"
#include "player/device_fonts.h"
#include "tools/render/png_writer.h"

namespace {

using lumarel::engine::LoadOptions;
using lumarel::engine::LoadResult;
using lumarel::engine::Movie;
namespace raster = lumarel::raster;

constexpr int kMaxSide = 16384;

int Usage() {
  std::fprintf(stderr,
               "usage: lumarel-render [--frames N] [--size WxH] [--out FILE.png] MOVIE.swf\n"
               "       lumarel-render --info MOVIE.swf\n"
               "       lumarel-render --bench [--size WxH] [--frames N] MOVIE.swf\n");
  return 2;
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

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
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
  for (const auto& w : i.warnings) std::printf("warning: %s\n", w.c_str());
  return 0;
}

int Bench(Movie& m, int w, int h, int frames) {
  raster::Surface s(w, h);
  std::vector<double> ms;
  m.Play();
  const int total = std::max(frames, 1);
  // At least 2 s or 3 passes of the frames, whichever is longer, capped at 2000 samples.
  const auto begin = std::chrono::steady_clock::now();
  for (int pass = 0;; ++pass) {
    for (int f = 0; f < total; ++f) {
      const auto t0 = std::chrono::steady_clock::now();
      if (f > 0 || pass > 0) m.Advance();
      m.Render(s);
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
  std::printf("throughput: %.1f Mpixel/s\n", median > 0 ? mpix / (median / 1000.0) : 0.0);
  const long peak = PeakMemoryKiB();
  if (peak >= 0) {
    std::printf("peak memory: %.1f MiB\n", peak / 1024.0);
  } else {
    std::printf("peak memory: n/a\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 1, w = 0, h = 0;
  bool info = false, bench = false, sized = false;
  std::string out = "out.png", movie;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--info") {
      info = true;
    } else if (a == "--bench") {
      bench = true;
    } else if (a == "--frames") {
      if (!value(v) || !ParseInt(v, 1, 1000000, frames)) return Usage();
    } else if (a == "--size") {
      if (!value(v) || !ParseSize(v, w, h)) return Usage();
      sized = true;
    } else if (a == "--out") {
      if (!value(out)) return Usage();
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else if (movie.empty()) {
      movie = a;
    } else {
      return Usage();
    }
  }
  if (movie.empty() || (info && bench)) return Usage();

  std::vector<uint8_t> bytes;
  if (!ReadFile(movie, bytes)) {
    std::fprintf(stderr, "%s: cannot read file\n", movie.c_str());
    return 1;
  }
  LoadOptions options;
  options.deviceFonts = lumarel::player::NativeDeviceFonts();  // device-font text in the system's fonts
  LoadResult loaded = Movie::Load(bytes, options);
  if (!loaded.movie) {
    std::fprintf(stderr, "%s: undecodable: %s\n", movie.c_str(), loaded.error.c_str());
    return 1;
  }
  Movie& m = *loaded.movie;
  if (info) return Info(m);
  if (!sized) StageSize(m, w, h);
  if (bench) return Bench(m, w, h, frames);

  m.Play();
  for (int f = 1; f < frames; ++f) m.Advance();
  raster::Surface s(w, h);
  m.Render(s);
  if (!lumarel::render::WritePng(s, out)) {
    std::fprintf(stderr, "%s: cannot write PNG\n", out.c_str());
    return 1;
  }
  return 0;
}
