// SWF bitmap tags (DefineBits with JPEGTables, DefineBitsJPEG2/3/4, DefineBitsLossless and
// DefineBitsLossless2) decoded into premultiplied raster bitmaps, and bitmap fill styles.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "engine/raster/raster.h"

namespace lumarel::engine::swf {

struct Tag;

// What shape parsing needs from the movie around it.
struct ShapeContext {
    // The decoded bitmap for a character id, or null (unknown or undecodable: drawn as nothing).
    std::function<std::shared_ptr<const raster::Bitmap>(uint16_t)> bitmap;
    // Whether the smoothed bitmap fill types (0x40, 0x41) are drawn smoothed. Movies of version 8
    // and later say it per fill; older ones are decided by the caller (see BitmapSmoothing()).
    bool smoothFills = true;
};

// Smoothing of the "smoothed" bitmap fill types for a movie: version 8 and later honour the
// fill type; older players smoothed bitmaps only in still pictures, so an older movie with more
// than one frame draws them unsmoothed.
bool BitmapSmoothing(int swfVersion, int frameCount);

// Turns a bitmap fill (type 0x40..0x43, character id, fill matrix) into a paint. The SWF fill
// matrix already maps bitmap pixels to shape twips. An unknown bitmap gives Paint::Kind::None.
void MakeBitmapPaint(uint8_t type, uint16_t id, const raster::Matrix& m, const ShapeContext* ctx, raster::Paint& p);

// Decodes the body of a bitmap tag (codes 6, 20, 21, 35, 36, 90). `jpegTables` is the body of
// the movie's JPEGTables tag (DefineBits only; may be empty). Sets `id` whenever the id can be
// read. Returns null with a reason when the image cannot be decoded.
std::shared_ptr<const raster::Bitmap> DecodeBitmapTag(uint16_t code, std::span<const uint8_t> body,
                                                      std::span<const uint8_t> jpegTables, uint16_t& id,
                                                      std::string& error);

bool IsBitmapTag(uint16_t code);

}  // namespace lumarel::engine::swf
