#pragma once

#include <string>

#include "engine/raster/raster.h"

namespace lumarel::render {

// Writes a premultiplied surface as an 8-bit RGBA PNG (straight alpha). False on failure.
bool WritePng(const raster::Surface& s, const std::string& path);

}  // namespace lumarel::render
