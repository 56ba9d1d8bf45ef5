#include "engine/video/video.h"

#include <algorithm>

#include "engine/swf/bit_reader.h"
#include "engine/video/h263.h"
#include "engine/video/screen_video.h"

namespace lumarel::engine::video {

const char* CodecName(uint8_t codec) {
    switch (codec) {
        case kCodecH263:
            return "Sorenson H.263";
        case kCodecScreen:
            return "Screen Video";
        case kCodecVp6:
            return "On2 VP6";
        case kCodecVp6Alpha:
            return "On2 VP6 with alpha";
        case kCodecScreen2:
            return "Screen Video 2";
        default:
            return "unknown";
    }
}

bool ParseDefineVideoStream(std::span<const uint8_t> body, StreamHeader& out) {
    out = {};
    swf::BitReader r(body);
    out.id = r.U16();
    out.frameCount = r.U16();
    out.width = r.U16();
    out.height = r.U16();
    (void)r.Ub(4);  // reserved
    out.deblocking = static_cast<uint8_t>(r.Ub(3));
    out.smoothing = r.Flag();
    out.codec = r.U8();
    return r.Ok();
}

bool ParseVideoFrame(std::span<const uint8_t> body, FramePacket& out) {
    out = {};
    swf::BitReader r(body);
    out.streamId = r.U16();
    out.frame = r.U16();
    if (!r.Ok()) return false;
    out.data = r.Rest();
    return true;
}

void StreamCollector::Define(std::span<const uint8_t> body) {
    StreamHeader h;
    if (!ParseDefineVideoStream(body, h)) return;
    for (const auto& s : streams_)
        if (s->header.id == h.id) return;  // the first definition of an id stands
    auto s = std::make_shared<Stream>();
    s->header = h;
    streams_.push_back(std::move(s));
}

void StreamCollector::AddFrame(std::span<const uint8_t> body) {
    FramePacket p;
    if (ParseVideoFrame(body, p) && !p.data.empty()) frames_.push_back(p);
}

std::vector<std::shared_ptr<Stream>> StreamCollector::Finish() {
    std::stable_sort(frames_.begin(), frames_.end(), [](const FramePacket& a, const FramePacket& b) {
        return a.streamId != b.streamId ? a.streamId < b.streamId : a.frame < b.frame;
    });
    for (auto& s : streams_) {
        auto it = std::lower_bound(frames_.begin(), frames_.end(), s->header.id,
                                   [](const FramePacket& p, uint16_t id) { return p.streamId < id; });
        for (; it != frames_.end() && it->streamId == s->header.id; ++it) {
            if (!s->packets.empty() && s->packets.back().frame == it->frame) continue;
            s->packets.push_back({it->frame, it->data});
        }
    }
    frames_.clear();
    return std::move(streams_);
}

std::unique_ptr<Decoder> MakeDecoder(uint8_t codec) {
    switch (codec) {
        case kCodecH263:
            return MakeH263Decoder();
        case kCodecScreen:
            return MakeScreenVideoDecoder();
        case kCodecScreen2:
            return MakeScreenVideo2Decoder();
        default:
            return nullptr;
    }
}

Playback::Playback(std::shared_ptr<const Stream> stream)
    : stream_(std::move(stream)), decoder_(MakeDecoder(stream_->header.codec)) {
    if (!decoder_) return;
    key_.reserve(stream_->packets.size());
    for (const auto& p : stream_->packets) key_.push_back(decoder_->IsKeyFrame(p.data));
}

std::shared_ptr<const raster::Bitmap> Playback::FrameAt(int frame) {
    const auto& packets = stream_->packets;
    if (!decoder_) return nullptr;
    // The last packet at or before the frame.
    auto after = std::upper_bound(packets.begin(), packets.end(), frame,
                                  [](int f, const Stream::Packet& p) { return f < p.frame; });
    const int target = static_cast<int>(after - packets.begin()) - 1;
    if (target < 0) return nullptr;
    if (target == shownIndex_) return shown_;
    // Where to start: on from what was decoded last, unless a key frame lies nearer the target
    // (or the target lies behind it): then from the nearest key frame at or before the target.
    int key = target;
    while (key > 0 && !key_[static_cast<size_t>(key)]) --key;
    int start = decoded_ >= 0 && decoded_ <= target ? decoded_ + 1 : -1;
    if (start < 0 || key >= start) {
        start = key;
        // A key frame replaces the picture when it decodes; a bad one leaves the last good one.
        if (!key_[static_cast<size_t>(key)]) decoder_->Reset();
    }
    const long cost = std::clamp(long(stream_->header.width) * long(stream_->header.height), long(256), kMaxPixels);
    long budget = kMaxPixelsDecodedPerChange;
    int i = start;
    for (; i <= target && budget > 0; ++i, budget -= cost) decoder_->Decode(packets[static_cast<size_t>(i)].data);
    decoded_ = i - 1;
    shownIndex_ = target;
    auto bm = std::make_shared<raster::Bitmap>();
    if (decoder_->Picture(*bm)) shown_ = std::move(bm);  // else the last good picture stays
    return shown_;
}

}  // namespace lumarel::engine::video
