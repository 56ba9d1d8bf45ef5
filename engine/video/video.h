// Embedded video: the DefineVideoStream and VideoFrame tags, a stream's packets by frame number,
// the decoders (Screen Video 1 and 2, Sorenson H.263) and the playback state that turns a frame
// number (a placement's ratio) into a picture. No OS calls; packets are spans into the movie's
// bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::engine::video {

enum Codec : uint8_t {
    kCodecH263 = 2,  // Sorenson H.263
    kCodecScreen = 3,
    kCodecVp6 = 4,
    kCodecVp6Alpha = 5,
    kCodecScreen2 = 6,
};
// "Sorenson H.263", "Screen Video", ..., or "unknown".
const char* CodecName(uint8_t codec);

// Pictures larger than this (per side, and in pixels) are not decoded: such a frame is bad input.
constexpr int kMaxSide = 4096;
constexpr long kMaxPixels = long(1) << 22;
// Work one frame change may take: a jump that needs more decoding stops there and shows what it
// reached (a hostile stream without key frames cannot make one render take long).
constexpr long kMaxPixelsDecodedPerChange = long(1) << 24;

struct StreamHeader {
    uint16_t id = 0;
    uint16_t frameCount = 0;
    uint16_t width = 0, height = 0;  // pixels: the size the video is drawn at
    uint8_t deblocking = 0;          // 0 as the stream says, 1 off, 2 on (H.263 and VP6 only)
    bool smoothing = false;          // drawn with bilinear filtering when set
    uint8_t codec = 0;
};
bool ParseDefineVideoStream(std::span<const uint8_t> body, StreamHeader& out);

struct FramePacket {
    uint16_t streamId = 0;
    uint16_t frame = 0;
    std::span<const uint8_t> data;
};
bool ParseVideoFrame(std::span<const uint8_t> body, FramePacket& out);

// One stream: its header and its packets in frame order (at most one per frame, the first given).
struct Stream {
    StreamHeader header;
    struct Packet {
        uint16_t frame = 0;
        std::span<const uint8_t> data;
    };
    std::vector<Packet> packets;
};

// Collects the streams of a movie as its tags are read: DefineVideoStream (top level) and
// VideoFrame (top level or inside sprites, in any order relative to each other).
class StreamCollector {
public:
    void Define(std::span<const uint8_t> body);
    void AddFrame(std::span<const uint8_t> body);
    // The streams defined, their packets sorted; frames of undefined streams are dropped.
    std::vector<std::shared_ptr<Stream>> Finish();

private:
    std::vector<std::shared_ptr<Stream>> streams_;
    std::vector<FramePacket> frames_;
};

// A decoder keeps the picture it made last (the reference for inter frames).
class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes one packet onto the current picture. False when the packet is bad: the current
    // picture is left as it was.
    virtual bool Decode(std::span<const uint8_t> packet) = 0;
    // Whether the packet decodes without the picture before it.
    virtual bool IsKeyFrame(std::span<const uint8_t> packet) const = 0;
    virtual void Reset() = 0;  // no picture yet
    // The current picture as opaque premultiplied pixels; false when there is none.
    virtual bool Picture(raster::Bitmap& out) const = 0;
};
// A decoder for the codec, or null for codecs this player does not decode (VP6).
std::unique_ptr<Decoder> MakeDecoder(uint8_t codec);

// What one placed stream shows: the picture of the frame asked for, decoded forward from the
// last frame shown, or from the nearest key frame at or before it.
class Playback {
public:
    explicit Playback(std::shared_ptr<const Stream> stream);
    // The picture at `frame` (the last packet at or before it), or null when none decodes.
    std::shared_ptr<const raster::Bitmap> FrameAt(int frame);
    const Stream& GetStream() const { return *stream_; }

private:
    std::shared_ptr<const Stream> stream_;
    std::unique_ptr<Decoder> decoder_;
    std::vector<bool> key_;
    int decoded_ = -1;  // index of the last packet decoded into the decoder's picture
    int shownIndex_ = -2;
    std::shared_ptr<const raster::Bitmap> shown_;
};

}  // namespace lumarel::engine::video
