#include "engine/swf/inflate.h"

#include <algorithm>

namespace lumarel::engine::swf {

InflateResult InflateBounded(ZInflater& z, std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>* out) {
    InflateResult result;
    constexpr size_t kPiece = size_t(1) << 30;  // what one call hands zlib (its counts are 32-bit)
    uint8_t scratch[16384];                     // where counted-only output goes
    const size_t base = out ? out->size() : 0;
    if (out) out->resize(base + std::min(limit, std::max<size_t>(size_t(64) << 10, in.size() * 4)));
    z_stream& zs = z.Stream();
    size_t inPos = 0;
    result.status = InflateStatus::Limit;
    while (result.produced < limit) {
        uint8_t* to = scratch;
        size_t room = std::min(sizeof scratch, limit - result.produced);
        if (out) {
            if (base + result.produced == out->size()) out->resize(base + std::min(limit, (out->size() - base) * 2));
            to = out->data() + base + result.produced;
            room = out->size() - base - result.produced;
        }
        room = std::min(room, kPiece);
        const size_t inChunk = std::min(in.size() - inPos, kPiece);
        zs.next_in = const_cast<Bytef*>(in.data() + inPos);
        zs.avail_in = static_cast<uInt>(inChunk);
        zs.next_out = to;
        zs.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        inPos += inChunk - zs.avail_in;
        result.produced += room - zs.avail_out;
        if (rc == Z_STREAM_END) {
            result.status = InflateStatus::StreamEnd;
            break;
        }
        if (rc == Z_BUF_ERROR && inPos >= in.size()) {
            result.status = InflateStatus::InputEnd;
            break;
        }
        if (rc != Z_OK) {
            result.status = InflateStatus::Error;
            break;
        }
    }
    if (out) out->resize(base + result.produced);
    return result;
}

bool InflateExact(std::span<const uint8_t> zdata, size_t expected, std::vector<uint8_t>& out) {
    out.clear();
    if (expected == 0) return true;
    ZInflater z;
    if (z.Ok() && InflateBounded(z, zdata, expected, &out).produced == expected) return true;
    out.clear();
    return false;
}

}  // namespace lumarel::engine::swf
