// libFuzzer target: load a movie, play a few frames, draw each one small.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumarel::engine::LoadResult r = lumarel::engine::Movie::Load(std::span<const uint8_t>(data, size));
  if (!r.movie) return 0;
  lumarel::raster::Surface s(64, 48);
  r.movie->Play();
  for (int i = 0; i < 4; ++i) {
    r.movie->Render(s);
    r.movie->Advance();
  }
  return 0;
}
