#include "engine/swf/place_object.h"

#include "engine/swf/bit_reader.h"
#include "engine/swf/records.h"
#include "engine/swf/swf_file.h"

namespace lumarel::engine::swf {

namespace {

// CLIPACTIONS: event flags (16 bits before SWF 6, 32 from it) and the actions each set of events
// runs. A record running past the tag ends the list.
std::vector<ClipAction> ReadClipActions(BitReader& r, int version) {
    std::vector<ClipAction> out;
    auto flags = [&] { return version >= 6 ? r.U32() : r.U16(); };
    (void)r.U16();  // reserved
    (void)flags();  // all events together
    while (r.Ok() && out.size() < 64) {
        const uint32_t events = flags();
        if (!r.Ok() || events == 0) break;
        uint32_t size = r.U32();
        if (version >= 6 && (events & kClipEventKeyPress) && size > 0) {
            (void)r.U8();  // the key code
            --size;
        }
        const std::span<const uint8_t> actions = r.Bytes(size);
        if (!r.Ok()) break;
        out.push_back(ClipAction{events, actions});
    }
    return out;
}

bool DecodePlaceObject1(BitReader& r, PlaceObject& out) {
    out.characterId = r.U16();
    out.depth = r.U16();
    out.matrix = ReadMatrix(r);
    if (!r.Ok()) return false;
    if (r.Remaining() > 0) out.cxform = ReadCxform(r, false);
    return r.Ok();
}

}  // namespace

bool DecodePlaceObject(uint16_t code, std::span<const uint8_t> data, int swfVersion, PlaceObject& out) {
    out = PlaceObject{};
    BitReader r(data);
    if (code == tag::PlaceObject) return DecodePlaceObject1(r, out);
    const bool third = code == tag::PlaceObject3;
    const uint8_t flags = r.U8();
    const uint8_t flags2 = third ? r.U8() : 0;
    out.depth = r.U16();
    const bool hasImage = flags2 & 0x10, hasClassName = flags2 & 0x08, hasCharacter = flags & 0x02;
    out.move = flags & 0x01;
    if (third && (hasClassName || (hasImage && hasCharacter))) out.className = r.Str();
    if (hasCharacter) out.characterId = r.U16();
    if (flags & 0x04) out.matrix = ReadMatrix(r);
    if (flags & 0x08) out.cxform = ReadCxform(r, true);
    if (flags & 0x10) out.ratio = r.U16();
    if (flags & 0x20) out.name = r.Str();
    if (flags & 0x40) out.clipDepth = r.U16();
    if (!r.Ok()) return false;
    // PlaceObject3's filters, blend mode and caching flag, then the clip event handlers.
    if (flags2 & 0x01) out.filters = ReadFilterList(r);
    if (flags2 & 0x02) {
        const uint8_t mode = r.U8();
        // 0 and 1 are normal; unknown modes draw as normal.
        out.blend = mode >= 2 && mode <= 14 ? static_cast<raster::Blend>(mode - 1) : raster::Blend::Normal;
    }
    if (flags2 & 0x04) out.cacheAsBitmap = r.U8() != 0;
    if (flags2 & 0x20) out.visible = r.U8() != 0;
    if (flags2 & 0x40) out.background = ReadRgba(r);
    if ((flags & 0x80) && r.Ok()) out.clipActions = ReadClipActions(r, swfVersion);
    return true;
}

}  // namespace lumarel::engine::swf
