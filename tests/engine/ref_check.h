// Rendering kit movies and comparing frames with reviewed reference PNGs (tests/engine/ref/):
// every channel of every pixel within kRefTolerance (straight RGBA). LUMAREL_UPDATE_REFS=1
// writes the references anew (then review them by eye).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/engine/kit_movies.h"
#include "tests/engine/png_io.h"

namespace lumarel::enginetest {

constexpr int kRefTolerance = 3;

inline std::unique_ptr<engine::Movie> LoadKitWith(const kit::Movie& mv, const engine::LoadOptions& o) {
    const kit::Bytes b = mv.Build();
    engine::LoadResult r = engine::Movie::Load(b, o);
    EXPECT_TRUE(r.movie) << r.error;
    return std::move(r.movie);
}

// Every picture drawn here is drawn a second time, in bands by three threads, and must come out
// the same.
inline raster::Surface RenderSurface(engine::Movie& m, int w, int h) {
    raster::Surface s(w, h), banded(w, h);
    m.Render(s);
    m.SetThreads(3);
    m.Render(banded);
    m.SetThreads(1);
    EXPECT_TRUE(std::equal(s.data(), s.data() + static_cast<size_t>(w) * static_cast<size_t>(h), banded.data()))
        << "drawn in bands, the picture differs";
    return s;
}

inline Image ToStraight(const raster::Surface& s) {
    Image img;
    img.width = s.Width();
    img.height = s.Height();
    for (int y = 0; y < s.Height(); ++y) {
        for (int x = 0; x < s.Width(); ++x) {
            const uint32_t p = s.Pixel(x, y);
            const unsigned a = p >> 24;
            unsigned c[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
            for (unsigned& v : c) {
                if (a && a != 255) v = std::min(255u, (v * 255 + a / 2) / a);
                img.rgba.push_back(static_cast<uint8_t>(v));
            }
            img.rgba.push_back(static_cast<uint8_t>(a));
        }
    }
    return img;
}

// A kit movie played for `frames` frames (the first counts as one), as straight RGBA.
inline Image RenderKit(const kit::Movie& mv, int w, int h, int frames = 1) {
    auto m = LoadKit(mv, kit::Compression::Zlib);
    if (!m) return {};
    m->Play();
    for (int i = 1; i < frames; ++i) m->Advance();
    return ToStraight(RenderSurface(*m, w, h));
}

inline void CheckReference(const std::string& name, const Image& got) {
    ASSERT_GT(got.width, 0);
    const std::string path = std::string(LUMAREL_ENGINE_REF_DIR) + "/" + name + ".png";
    const char* update = std::getenv("LUMAREL_UPDATE_REFS");
    if (update && std::string(update) == "1") {
        ASSERT_TRUE(SavePng(path, got)) << path;
        return;
    }
    Image ref;
    ASSERT_TRUE(LoadPng(path, ref)) << "missing reference " << path << " (LUMAREL_UPDATE_REFS=1 writes it)";
    ASSERT_EQ(ref.width, got.width);
    ASSERT_EQ(ref.height, got.height);
    int bad = 0, worst = 0;
    for (size_t i = 0; i < ref.rgba.size(); ++i) {
        const int d = std::abs(int(ref.rgba[i]) - int(got.rgba[i]));
        worst = std::max(worst, d);
        if (d > kRefTolerance) ++bad;
    }
    EXPECT_EQ(bad, 0) << name << ": " << bad << " channel values off by more than " << kRefTolerance << " (worst "
                      << worst << ")";
}

// Straight RGBA of one pixel.
inline const uint8_t* PixelAt(const Image& img, int x, int y) {
    return &img.rgba[(static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)) * 4];
}

// Straight colour of one pixel as 0xRRGGBB (the surfaces here are opaque).
inline uint32_t Rgb(const raster::Surface& s, int x, int y) { return s.Pixel(x, y) & 0xFFFFFF; }

}  // namespace lumarel::enginetest
