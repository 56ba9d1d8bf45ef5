#include "engine/timeline/button.h"

#include <utility>
#include <vector>

#include "engine/swf/bit_reader.h"
#include "engine/swf/records.h"

namespace lumarel::engine::timeline {

using swf::BitReader;

namespace {

// Skips a FILTERLIST (DefineButton2 records of version 8 movies). False when it does not fit.
bool SkipFilters(BitReader& r) {
    const unsigned n = r.U8();
    for (unsigned i = 0; i < n && r.Ok(); ++i) {
        const uint8_t kind = r.U8();
        switch (kind) {
            case 0:
                r.Skip(23);
                break;  // drop shadow
            case 1:
                r.Skip(9);
                break;  // blur
            case 2:
                r.Skip(15);
                break;  // glow
            case 3:
                r.Skip(27);
                break;  // bevel
            case 4:     // gradient glow
            case 7: {   // gradient bevel
                const unsigned colors = r.U8();
                r.Skip(colors * 5u + 19u);
                break;
            }
            case 5: {  // convolution
                const unsigned mx = r.U8(), my = r.U8();
                r.Skip(8 + 4u * mx * my + 5);
                break;
            }
            case 6:
                r.Skip(80);
                break;  // colour matrix
            default:
                r.Fail();
                break;
        }
    }
    return r.Ok();
}

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

bool BuildButton(std::span<const uint8_t> data, int version, std::span<const uint8_t> cxform, uint16_t& id,
                 SpriteCharacter& out, std::string& error) {
    {  // a colour transform that does not decode is left out rather than hiding the button
        BitReader c(cxform);
        (void)swf::ReadCxform(c, false);
        if (!c.Ok()) cxform = {};
    }
    BitReader r(data);
    id = r.U16();
    if (version == 2) {
        (void)r.U8();   // track as menu
        (void)r.U16();  // offset of the condition actions, which are not run
    }
    if (!r.Ok()) {
        error = "button: tag too short";
        return false;
    }
    auto storage = std::make_shared<std::vector<uint8_t>>();
    struct Piece {
        uint16_t code;
        size_t from, len;
    };
    std::vector<Piece> pieces;
    const auto bytesAt = [&](size_t from, size_t to) { return data.subspan(from, to - from); };
    while (r.Ok()) {
        const uint8_t flags = r.U8();
        if (!r.Ok() || flags == 0) break;
        const uint16_t character = r.U16();
        const uint16_t depth = r.U16();
        const size_t m0 = r.Pos();
        (void)swf::ReadMatrix(r);
        const size_t m1 = r.Pos();
        size_t c0 = m1, c1 = m1;
        if (version == 2) {
            (void)swf::ReadCxform(r, true);
            c1 = r.Pos();
            if (flags & 0x10) SkipFilters(r);
            if (flags & 0x20) (void)r.U8();  // blend mode
        }
        if (!r.Ok()) {
            error = "button " + std::to_string(id) + ": records cut short";
            break;
        }
        if (!(flags & 0x01)) continue;  // not part of the up state
        const size_t from = storage->size();
        if (version == 2) {  // PlaceObject2: character, matrix, colour transform with alpha
            storage->push_back(0x02 | 0x04 | 0x08);
            Put16(*storage, depth);
            Put16(*storage, character);
            for (uint8_t b : bytesAt(m0, m1)) storage->push_back(b);
            for (uint8_t b : bytesAt(c0, c1)) storage->push_back(b);
            pieces.push_back(Piece{swf::tag::PlaceObject2, from, storage->size() - from});
        } else {  // PlaceObject: character, depth, matrix, the button's CXFORM if it has one
            Put16(*storage, character);
            Put16(*storage, depth);
            for (uint8_t b : bytesAt(m0, m1)) storage->push_back(b);
            for (uint8_t b : cxform) storage->push_back(b);
            pieces.push_back(Piece{swf::tag::PlaceObject, from, storage->size() - from});
        }
    }
    out = SpriteCharacter{};
    out.timeline.button = true;
    out.timeline.frames.emplace_back();
    for (const Piece& p : pieces) {
        swf::Tag t;
        t.code = p.code;
        t.data = std::span<const uint8_t>(storage->data() + p.from, p.len);
        out.timeline.frames.back().push_back(t);
    }
    out.storage = std::move(storage);
    return true;
}

}  // namespace lumarel::engine::timeline
