// Compound-style cell accumulator: exact signed-area coverage per pixel cell, per fill style.
//
// Every line segment is walked through the pixel cells it crosses. For each cell it leaves a
// "cover" (the vertical extent it spans inside the cell, 1/256 px units) and an "area" (cover
// times twice the mean horizontal position inside the cell). Both go with a positive sign to the
// style on the segment's left (fill0) and with a negative sign to the style on its right (fill1).
// Sweeping a row from left to right, the running cover of a style is its winding times the
// covered fraction of the row, and cover*512 - area gives the exact covered area of a cell.
//
// The stage qualities the player had sample points instead, through the same cells: each
// sub-scanline a segment crosses leaves cover 256/n and an area that puts the crossing on a
// sample boundary, so a cell's area counts the samples right of the crossing. Vertically the
// sub-scanlines sit at y + (i + 0.5) / n, which is what horizontal edges show (at 4 x 4 an edge
// covering 0.15..0.30 of a row gives 4/16, 0.45..0.60 gives 8/16). Horizontally a plain grid of
// sample centres at x + (j + 0.5) / n is half a sample off on slanted edges; truncating the
// crossing to 1/n px (the sub-sample the crossing falls in is the first covered one) is the
// scan converter's integer arithmetic, and keeps edges on whole pixels crisp. One sample per
// pixel (no anti-aliasing) samples the pixel centre.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumarel::raster::detail {

constexpr int kSubShift = 8;
constexpr int kSub = 1 << kSubShift;            // sub-pixel steps per pixel
constexpr int32_t kFullArea = kSub * kSub * 2;  // cover*512-area of a fully covered cell

// 16 bytes: surfaces are at most 32767 pixels each way and style indices are 16-bit.
struct Cell {
    int32_t cover;
    int32_t area;
    int16_t x;
    int16_t y;
    uint16_t style;
    uint16_t pad;
};

class CellRasterizer {
public:
    // Clip box in whole pixels; segments are clipped to it (x is clamped, keeping winding intact).
    // The window is the whole box until SetWindow narrows it.
    void Reset(int x0, int y0, int x1, int y1);
    // Only the cells of the rows [y0, y1) are kept, and only the columns [x0, x1) are to be painted
    // (ClipX0/ClipX1). The segments are still clipped to the box, so the cells kept are those a
    // walk of the whole box leaves in these rows: a picture drawn window by window is the same.
    void SetWindow(int x0, int y0, int x1, int y1);
    void SetStyles(uint16_t left, uint16_t right);
    // Point sampling instead of exact areas, with n x n samples per pixel (0 = exact areas).
    // n = 1 samples pixel centres: a segment leaves a full cover step in each row whose centre line
    // (y + 0.5) it crosses, at the first column whose centre lies at or right of the crossing, so
    // the sweep paints exactly the pixels whose centres are inside. n > 1 has n sub-scanlines per
    // row at y + (i + 0.5) / n; on each the crossing is truncated to 1/n pixel, as a fixed-point
    // scan converter does, and covers the sub-samples from there on. A pixel's coverage is then
    // k / (n * n) exactly, for k covered sub-samples.
    void SetSampling(int n) { samples_ = n; }
    // Segment in device pixels (double); non-finite segments are ignored.
    void Line(double x0, double y0, double x1, double y1);
    // Sorts the cells into rows; call once after the last line.
    void Finish();

    bool empty() const { return sorted_.empty(); }
    int MinY() const { return minRow_; }
    int MaxY() const { return maxRow_; }  // inclusive
    // Cells of row y (sorted by x), valid after finish().
    const Cell* RowBegin(int y) const { return sorted_.data() + rowStart_[y - minRow_]; }
    const Cell* RowEnd(int y) const { return sorted_.data() + rowStart_[y - minRow_ + 1]; }
    // The columns to paint: the box within the window.
    int ClipX0() const { return wx0_; }
    int ClipX1() const { return wx1_; }
    bool Overflowed() const { return overflow_; }

    static constexpr std::size_t kMaxCells = std::size_t(1) << 22;  // ~80 MB of cells at most
    // A merged cell is split before its sums could overflow; the sweep adds the parts up again.
    static constexpr int32_t kMergeLimit = 1 << 29;

private:
    void LineFixed(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void RowLine(int32_t ey, int32_t xa, int32_t fya, int32_t xb, int32_t fyb);
    void LineClampedX(double x0, double y0, double x1, double y1);
    void LineSampled(double x0, double y0, double x1, double y1);
    inline void AddCell(int32_t x, int32_t y, int32_t cover, int32_t area) {
        if (y < wy0_ || y >= wy1_) return;
        if (x == curX_ && y == curY_ && curArea_ < kMergeLimit && curArea_ > -kMergeLimit && curCover_ < kMergeLimit &&
            curCover_ > -kMergeLimit) {
            curCover_ += cover;
            curArea_ += area;
            return;
        }
        FlushCell();
        curX_ = x;
        curY_ = y;
        curCover_ = cover;
        curArea_ = area;
    }
    void FlushCell();

    int cx0_ = 0, cy0_ = 0, cx1_ = 0, cy1_ = 0;
    int wx0_ = 0, wy0_ = 0, wx1_ = 0, wy1_ = 0;
    uint16_t left_ = 0, right_ = 0;
    int32_t curX_ = INT32_MIN, curY_ = INT32_MIN, curCover_ = 0, curArea_ = 0;
    bool overflow_ = false;
    int samples_ = 0;
    int minRow_ = 0, maxRow_ = -1;
    std::vector<Cell> cells_;
    std::vector<Cell> sorted_;
    std::vector<uint32_t> rowStart_;
    std::vector<uint32_t> cursor_;
    std::vector<uint32_t> keys_, keys2_;
    std::vector<Cell> tmp_;
};

}  // namespace lumarel::raster::detail
