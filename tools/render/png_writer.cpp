#include "tools/render/png_writer.h"

#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace lumarel::render {

bool WritePng(const raster::Surface& s, const std::string& path) {
  std::vector<unsigned char> rgba(static_cast<size_t>(s.width()) * static_cast<size_t>(s.height()) * 4);
  size_t o = 0;
  for (int y = 0; y < s.height(); ++y) {
    const uint32_t* row = s.row(y);
    for (int x = 0; x < s.width(); ++x) {
      const uint32_t p = row[x];
      const unsigned a = p >> 24;
      unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (a != 0 && a != 255) {
        r = (r * 255 + a / 2) / a;
        g = (g * 255 + a / 2) / a;
        b = (b * 255 + a / 2) / a;
      }
      rgba[o++] = static_cast<unsigned char>(r > 255 ? 255 : r);
      rgba[o++] = static_cast<unsigned char>(g > 255 ? 255 : g);
      rgba[o++] = static_cast<unsigned char>(b > 255 ? 255 : b);
      rgba[o++] = static_cast<unsigned char>(a);
    }
  }
  return stbi_write_png(path.c_str(), s.width(), s.height(), 4, rgba.data(), s.width() * 4) != 0;
}

}  // namespace lumarel::render
