// SWF records: RECT, MATRIX, CXFORM, colours, and DefineShape 1-4 converted to raster shapes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/raster/raster.h"
#include "engine/swf/bit_reader.h"
#include "engine/swf/bitmaps.h"

namespace lumarel::engine::swf {

struct Rect {
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // twips
};

Rect ReadRect(BitReader& r);
raster::Matrix ReadMatrix(BitReader& r);
raster::ColorTransform ReadCxform(BitReader& r, bool withAlpha);
raster::Rgba ReadRgb(BitReader& r);
raster::Rgba ReadRgba(BitReader& r);

// The rest of an edge record whose leading 1 bit has been read: moves the pen (x, y) along the
// edge and sets e's kind and geometry (a straight edge gets its midpoint as control point, so it
// can pair with a curve). False when the record is cut short.
bool ReadEdgeRecord(BitReader& r, int64_t& x, int64_t& y, raster::Edge& e);

// The records of a SHAPE, one at a time: the fill and line index widths that begin it, then
// style changes and edges up to the end record. The pen and the styles in force are kept across
// records and put on each edge; an index beyond the styles there are selects none. Shapes,
// morph shapes and glyphs share it.
class ShapeRecordReader {
public:
    ShapeRecordReader(BitReader& r, size_t fills, size_t lines) : r_(r), fills_(fills), lines_(lines) {
        ReadBitCounts();
    }

    enum class Record {
        End,        // the end record, or records cut short
        Edge,       // an edge from the pen to its new place, with the styles in force
        NewStyles,  // new style arrays follow: the caller reads them, then calls NewStyles()
    };
    Record Next(raster::Edge& edge);
    // After new style arrays of `fills` and `lines` styles: reads the index widths that follow
    // them; the style numbers in force, and those the record gave, now name the new styles.
    void NewStyles(size_t fills, size_t lines);

private:
    void ReadBitCounts() {
        fillBits_ = r_.Ub(4);
        lineBits_ = r_.Ub(4);
    }
    uint16_t Fill(uint32_t i) const { return i <= fills_ ? uint16_t(i) : 0; }
    uint16_t Line(uint32_t i) const { return i <= lines_ ? uint16_t(i) : 0; }
    void Select(const std::optional<uint32_t> (&given)[3]);

    BitReader& r_;
    size_t fills_, lines_;
    unsigned fillBits_ = 0, lineBits_ = 0;
    int64_t x_ = 0, y_ = 0;  // wide: hostile deltas may sum beyond 32 bits
    uint16_t fill0_ = 0, fill1_ = 0, line_ = 0;
    std::optional<uint32_t> pending_[3];  // fill0, fill1, line of a record that brings new styles
};

// LINESTYLE2's caps, join, scaling and hinting flags (and a miter join's limit) into `s`. True
// when a fill style stands in place of the colour.
bool ReadLineStyle2Flags(BitReader& r, raster::Stroke& s);

struct ShapeDefinition {
    uint16_t id = 0;
    Rect bounds;
    raster::Shape shape;
};

// Parses the body of a DefineShape (version 1), DefineShape2 (2), DefineShape3 (3) or
// DefineShape4 (4) tag. Returns false with a reason when the data is malformed; a shape whose
// record list is cut short keeps the edges read so far.
// `ctx` supplies the bitmaps that bitmap fills use (none: bitmap fills draw nothing).
bool ParseDefineShape(std::span<const uint8_t> data, int version, ShapeDefinition& out, std::string& error,
                      const ShapeContext* ctx = nullptr);

}  // namespace lumarel::engine::swf
