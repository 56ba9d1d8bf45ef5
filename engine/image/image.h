// Image decoders for the bitmaps a movie carries: JPEG, PNG and GIF streams (through stb_image)
// and the JPEG table splicing the SWF bitmap tags need. Pure functions on bytes; no
// operating-system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::engine::image {

// Largest bitmap side and largest decoded pixel store (4 bytes a pixel) accepted for one image.
constexpr int kMaxSide = 8192;
constexpr size_t kMaxPixelBytes = size_t(64) << 20;

// True when a width x height bitmap is within the limits above (and not empty).
bool SizeAllowed(int64_t width, int64_t height);

enum class Format { Unknown, Jpeg, Png, Gif };
// Recognises a stream by its signature (FF D8, the PNG signature, "GIF8").
Format Sniff(std::span<const uint8_t> data);

// Rebuilds a JPEG stream from the tables stream (may be empty) and the image stream: one start
// marker, the table and frame segments of both in order, then the scan data and one end marker.
// Stray end/start marker pairs before the scan (as old movies carry) are dropped; a missing end
// marker is added. Returns an empty vector when the segments are malformed.
std::vector<uint8_t> SpliceJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> image);

// Decodes a JPEG, PNG or GIF (first frame) stream into premultiplied pixels. Null when the data
// is not a decodable image or its size is outside the limits.
std::shared_ptr<raster::Bitmap> DecodeImage(std::span<const uint8_t> data, std::string& error);

}  // namespace lumarel::engine::image
