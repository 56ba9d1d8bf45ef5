#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumarel::enginetest {

// Straight RGBA, 4 bytes a pixel.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

bool LoadPng(const std::string& path, Image& out);
bool SavePng(const std::string& path, const Image& img);

}  // namespace lumarel::enginetest
