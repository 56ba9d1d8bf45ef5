// Compound-style cell accumulator: exact signed-area coverage per pixel cell, per fill style.
//
// Every line segment is walked through the pixel cells it crosses. For each cell it leaves a
// "cover" (the vertical extent it spans inside the cell, 1/256 px units) and an "area" (cover
// times twice the mean horizontal position inside the cell). Both go with a positive sign to the
// style on the segment's left (fill0) and with a negative sign to the style on its right (fill1).
// Sweeping a row from left to right, the running cover of a style is its winding times the
// covered fraction of the row, and cover*512 - area gives the exact covered area of a cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumarel::raster::detail {

constexpr int kSubShift = 8;
constexpr int kSub = 1 << kSubShift;      // sub-pixel steps per pixel
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
  void reset(int x0, int y0, int x1, int y1);
  void setStyles(uint16_t left, uint16_t right);
  // Point sampling at pixel centres instead of exact areas: a segment leaves a full cover step in
  // each row whose centre line (y + 0.5) it crosses, at the first column whose centre lies at or
  // right of the crossing. The sweep then paints exactly the pixels whose centres are inside.
  void setCentreSampling(bool on) { centre_ = on; }
  // Segment in device pixels (double); non-finite segments are ignored.
  void line(double x0, double y0, double x1, double y1);
  // Sorts the cells into rows; call once after the last line.
  void finish();

  bool empty() const { return sorted_.empty(); }
  int minY() const { return minRow_; }
  int maxY() const { return maxRow_; }  // inclusive
  // Cells of row y (sorted by x), valid after finish().
  const Cell* rowBegin(int y) const { return sorted_.data() + rowStart_[y - minRow_]; }
  const Cell* rowEnd(int y) const { return sorted_.data() + rowStart_[y - minRow_ + 1]; }
  int clipX0() const { return cx0_; }
  int clipX1() const { return cx1_; }
  bool overflowed() const { return overflow_; }

  static constexpr std::size_t kMaxCells = std::size_t(1) << 22;  // ~80 MB of cells at most
  // A merged cell is split before its sums could overflow; the sweep adds the parts up again.
  static constexpr int32_t kMergeLimit = 1 << 29;

 private:
  void lineFixed(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  void rowLine(int32_t ey, int32_t xa, int32_t fya, int32_t xb, int32_t fyb);
  void lineClampedX(double x0, double y0, double x1, double y1);
  void lineCentres(double x0, double y0, double x1, double y1);
  inline void addCell(int32_t x, int32_t y, int32_t cover, int32_t area) {
    if (x == curX_ && y == curY_ && curArea_ < kMergeLimit && curArea_ > -kMergeLimit &&
        curCover_ < kMergeLimit && curCover_ > -kMergeLimit) {
      curCover_ += cover;
      curArea_ += area;
      return;
    }
    flushCell();
    curX_ = x;
    curY_ = y;
    curCover_ = cover;
    curArea_ = area;
  }
  void flushCell();

  int cx0_ = 0, cy0_ = 0, cx1_ = 0, cy1_ = 0;
  uint16_t left_ = 0, right_ = 0;
  int32_t curX_ = INT32_MIN, curY_ = INT32_MIN, curCover_ = 0, curArea_ = 0;
  bool overflow_ = false;
  bool centre_ = false;
  int minRow_ = 0, maxRow_ = -1;
  std::vector<Cell> cells_;
  std::vector<Cell> sorted_;
  std::vector<uint32_t> rowStart_;
  std::vector<uint32_t> cursor_;
  std::vector<uint32_t> keys_, keys2_;
  std::vector<Cell> tmp_;
};

}  // namespace lumarel::raster::detail
