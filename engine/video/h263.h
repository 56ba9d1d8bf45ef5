// Sorenson H.263 (codec 2): the picture header of the SWF file format's "Sorenson H.263 bitstream
// format" over the macroblock layer of ITU-T H.263 (baseline: no optional modes, no GOB headers).
// Pictures are YUV 4:2:0, converted to RGB with BT.601 limited-range coefficients.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/video/video.h"

namespace lumarel::engine::video {

struct H263Header {
    int version = 0;  // 0 or 1: how escaped coefficients are coded
    int temporalReference = 0;
    int width = 0, height = 0;
    int type = 0;  // 0 intra, 1 inter, 2 disposable inter
    bool deblocking = false;
    int quantizer = 0;
};
// Reads the picture header; `bitsRead` is where the macroblocks start. False for a packet that
// does not start with a valid header (or a size beyond kMaxSide / kMaxPixels).
bool ReadH263Header(std::span<const uint8_t> packet, H263Header& out, size_t& bitsRead);

// One plane of a picture, sized in whole macroblocks (the picture's own size is within it).
struct Plane {
    int width = 0, height = 0;
    std::vector<uint8_t> samples;
    uint8_t At(int x, int y) const { return samples[size_t(y) * width + x]; }
};
struct YuvPicture {
    int width = 0, height = 0;  // the picture's size
    Plane y, cb, cr;
};

class H263Decoder final : public Decoder {
public:
    bool Decode(std::span<const uint8_t> packet) override;
    bool IsKeyFrame(std::span<const uint8_t> packet) const override;
    void Reset() override;
    bool Picture(raster::Bitmap& out) const override;
    // The picture last decoded (null before the first).
    const YuvPicture* Current() const { return current_.get(); }

private:
    std::shared_ptr<const YuvPicture> current_;    // what is shown
    std::shared_ptr<const YuvPicture> reference_;  // the last intra or inter picture (not disposable)
};

std::unique_ptr<Decoder> MakeH263Decoder();

}  // namespace lumarel::engine::video
