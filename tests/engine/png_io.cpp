#include "tests/engine/png_io.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include "stb_image.h"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace lumarel::enginetest {

bool LoadPng(const std::string& path, Image& out) {
    int w = 0, h = 0, n = 0;
    unsigned char* p = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (!p) return false;
    out.width = w;
    out.height = h;
    out.rgba.assign(p, p + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    stbi_image_free(p);
    return true;
}

bool SavePng(const std::string& path, const Image& img) {
    return stbi_write_png(path.c_str(), img.width, img.height, 4, img.rgba.data(), img.width * 4) != 0;
}

}  // namespace lumarel::enginetest
