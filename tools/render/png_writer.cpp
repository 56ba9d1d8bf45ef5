#include "tools/render/png_writer.h"

#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace lumarel::render {

bool WritePng(const raster::Surface& s, const std::string& path) {
    std::vector<unsigned char> rgba(static_cast<size_t>(s.Width()) * static_cast<size_t>(s.Height()) * 4);
    size_t o = 0;
    for (int y = 0; y < s.Height(); ++y) {
        const uint32_t* row = s.Row(y);
        for (int x = 0; x < s.Width(); ++x) {
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
    return stbi_write_png(path.c_str(), s.Width(), s.Height(), 4, rgba.data(), s.Width() * 4) != 0;
}

}  // namespace lumarel::render
