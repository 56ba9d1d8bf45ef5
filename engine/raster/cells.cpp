#include "engine/raster/cells.h"

#include <algorithm>
#include <cmath>

namespace lumarel::raster::detail {

void CellRasterizer::Reset(int x0, int y0, int x1, int y1) {
    cx0_ = x0;
    cy0_ = y0;
    cx1_ = std::max(x0, x1);
    cy1_ = std::max(y0, y1);
    wx0_ = cx0_;
    wy0_ = cy0_;
    wx1_ = cx1_;
    wy1_ = cy1_;
    cells_.clear();
    sorted_.clear();
    curX_ = curY_ = INT32_MIN;
    curCover_ = curArea_ = 0;
    left_ = right_ = 0;
    overflow_ = false;
    minRow_ = 0;
    maxRow_ = -1;
}

void CellRasterizer::SetWindow(int x0, int y0, int x1, int y1) {
    wx0_ = std::max(x0, cx0_);
    wy0_ = std::max(y0, cy0_);
    wx1_ = std::max(wx0_, std::min(x1, cx1_));
    wy1_ = std::max(wy0_, std::min(y1, cy1_));
}

void CellRasterizer::SetStyles(uint16_t left, uint16_t right) {
    if (left == left_ && right == right_) return;
    FlushCell();
    curX_ = curY_ = INT32_MIN;
    curCover_ = curArea_ = 0;
    left_ = left;
    right_ = right;
}

void CellRasterizer::FlushCell() {
    if (curX_ == INT32_MIN || (curCover_ == 0 && curArea_ == 0)) return;
    if (cells_.size() + 2 > kMaxCells) {
        overflow_ = true;
        return;
    }
    const int16_t x = static_cast<int16_t>(curX_), y = static_cast<int16_t>(curY_);
    if (left_) cells_.push_back(Cell{curCover_, curArea_, x, y, left_, 0});
    if (right_) cells_.push_back(Cell{-curCover_, -curArea_, x, y, right_, 0});
}

void CellRasterizer::Line(double x0, double y0, double x1, double y1) {
    if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
    if (left_ == 0 && right_ == 0) return;
    const double ymin = cy0_, ymax = cy1_;
    if ((y0 <= ymin && y1 <= ymin) || (y0 >= ymax && y1 >= ymax) || y0 == y1) return;
    // Clip vertically: rows outside the box get nothing.
    if (y0 < ymin || y0 > ymax || y1 < ymin || y1 > ymax) {
        const double dy = y1 - y0, dx = x1 - x0;
        double t0 = 0, t1 = 1;
        const double ta = (ymin - y0) / dy, tb = (ymax - y0) / dy;
        t0 = std::max(t0, std::min(ta, tb));
        t1 = std::min(t1, std::max(ta, tb));
        if (!(t0 < t1)) return;
        const double nx0 = x0 + dx * t0, ny0 = y0 + dy * t0;
        const double nx1 = x0 + dx * t1, ny1 = y0 + dy * t1;
        x0 = nx0;
        x1 = nx1;
        y0 = std::clamp(ny0, ymin, ymax);
        y1 = std::clamp(ny1, ymin, ymax);
        if (!(std::isfinite(x0) && std::isfinite(x1))) return;
    }
    // Split where the segment crosses the left/right clip edges; the outside parts are projected
    // onto the edge so coverage to their right stays right.
    const double xmin = cx0_, xmax = cx1_;
    double ts[4];
    int n = 0;
    ts[n++] = 0;
    const double dx = x1 - x0;
    if (dx != 0) {
        const double ta = (xmin - x0) / dx, tb = (xmax - x0) / dx;
        double lo = std::min(ta, tb), hi = std::max(ta, tb);
        if (lo > 0 && lo < 1) ts[n++] = lo;
        if (hi > 0 && hi < 1) ts[n++] = hi;
    }
    ts[n++] = 1;
    const double dy = y1 - y0;
    double px = x0, py = y0;
    for (int i = 1; i < n; ++i) {
        const double t = ts[i];
        const double qx = (i == n - 1) ? x1 : x0 + dx * t;
        const double qy = (i == n - 1) ? y1 : y0 + dy * t;
        LineClampedX(px, py, qx, qy);
        px = qx;
        py = qy;
    }
}

void CellRasterizer::LineClampedX(double x0, double y0, double x1, double y1) {
    const double xmin = cx0_, xmax = cx1_;
    x0 = std::clamp(x0, xmin, xmax);
    x1 = std::clamp(x1, xmin, xmax);
    if (samples_) {
        // Ends on the same 1/256 px grid as the exact walk, so that rounding noise in the device
        // matrix (an edge at 1023.9999999 for 1024) cannot move a crossing into the sample before.
        auto snap = [](double v) { return std::nearbyint(v * kSub) / kSub; };
        LineSampled(snap(x0), snap(y0), snap(x1), snap(y1));
        return;
    }
    const double s = kSub;
    LineFixed(static_cast<int32_t>(std::lround(x0 * s)), static_cast<int32_t>(std::lround(y0 * s)),
              static_cast<int32_t>(std::lround(x1 * s)), static_cast<int32_t>(std::lround(y1 * s)));
}

void CellRasterizer::LineSampled(double x0, double y0, double x1, double y1) {
    if (y0 == y1) return;
    // Sub-scanlines whose centre line lies in [top, bottom) of the segment; a downward segment
    // adds cover, an upward one takes it away, as the exact walk does. Coordinates are in samples.
    const int shift = samples_ == 4 ? 2 : samples_ == 2 ? 1 : 0;
    const int n = 1 << shift;
    const double top = std::min(y0, y1) * n, bottom = std::max(y0, y1) * n;
    const int32_t first = static_cast<int32_t>(std::ceil(top - 0.5));
    const int32_t end = static_cast<int32_t>(std::ceil(bottom - 0.5));
    const int32_t step = kSub >> shift;
    const int32_t cover = y1 > y0 ? step : -step;
    const double slope = (x1 - x0) / (y1 - y0);
    const int32_t lo = cx0_ << shift, hi = cx1_ << shift;
    // First sub-sample covered on a sub-scanline: the one whose centre is at or right of the
    // crossing at one sample per pixel (ceil(x - 0.5)), the one the truncated crossing falls in at
    // several (floor(x)).
    const bool centre = n == 1;
    double xc = x0 * n + slope * (first + 0.5 - y0 * n) - (centre ? 0.5 : 0.0);
    for (int32_t sub = first; sub < end; ++sub, xc += slope) {
        const double t = std::clamp(xc, lo - 1.0, hi + 1.0);
        int32_t s = static_cast<int32_t>(t);
        if (s > t) --s;
        if (centre && s < t) ++s;
        s = std::clamp(s, lo, hi);
        AddCell(s >> shift, sub >> shift, cover, 2 * (s & (n - 1)) * step * cover);
    }
}

void CellRasterizer::LineFixed(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (y0 == y1) return;
    const int32_t ey0 = y0 >> kSubShift, ey1 = y1 >> kSubShift;
    const int32_t fy0 = y0 & (kSub - 1), fy1 = y1 & (kSub - 1);
    if (ey0 == ey1) {
        RowLine(ey0, x0, fy0, x1, fy1);
        return;
    }
    const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    if (dy > 0) {
        int32_t yb = (ey0 + 1) << kSubShift;
        int32_t xa = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
        RowLine(ey0, x0, fy0, xa, kSub);
        // Rows above the window leave nothing: start at its first row (each crossing is computed
        // on its own, so the ones that follow are the same) and stop below its last.
        int32_t ey = ey0 + 1;
        if (ey < wy0_ && wy0_ < ey1) {
            ey = wy0_;
            yb = ey << kSubShift;
            xa = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
        }
        for (; ey < ey1; ++ey) {
            if (ey >= wy1_) return;
            yb += kSub;
            const int32_t xb = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
            RowLine(ey, xa, 0, xb, kSub);
            xa = xb;
        }
        RowLine(ey1, xa, 0, x1, fy1);
    } else {
        int32_t yb = ey0 << kSubShift;
        int32_t xa = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
        RowLine(ey0, x0, fy0, xa, 0);
        int32_t ey = ey0 - 1;
        if (ey >= wy1_ && wy1_ - 1 > ey1) {
            ey = wy1_ - 1;
            yb = (ey + 1) << kSubShift;
            xa = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
        }
        for (; ey > ey1; --ey) {
            if (ey < wy0_) return;
            yb -= kSub;
            const int32_t xb = static_cast<int32_t>(x0 + dx * (yb - y0) / dy);
            RowLine(ey, xa, kSub, xb, 0);
            xa = xb;
        }
        RowLine(ey1, xa, kSub, x1, fy1);
    }
}

// Part of a segment inside one pixel row: from (xa, fya) to (xb, fyb), fy in 0..256 within the row.
void CellRasterizer::RowLine(int32_t ey, int32_t xa, int32_t fya, int32_t xb, int32_t fyb) {
    if (fya == fyb || ey < wy0_ || ey >= wy1_) return;
    const int32_t ex0 = xa >> kSubShift, ex1 = xb >> kSubShift;
    const int32_t fx0 = xa & (kSub - 1), fx1 = xb & (kSub - 1);
    if (ex0 == ex1) {
        const int32_t cov = fyb - fya;
        AddCell(ex0, ey, cov, (fx0 + fx1) * cov);
        return;
    }
    const int64_t dxl = int64_t(xb) - xa, dyl = fyb - fya;
    if (dxl > 0) {
        int32_t bx = (ex0 + 1) << kSubShift;
        int32_t yc = fya + static_cast<int32_t>(dyl * (bx - xa) / dxl);
        AddCell(ex0, ey, yc - fya, (fx0 + kSub) * (yc - fya));
        for (int32_t ex = ex0 + 1; ex < ex1; ++ex) {
            bx += kSub;
            const int32_t yn = fya + static_cast<int32_t>(dyl * (bx - xa) / dxl);
            AddCell(ex, ey, yn - yc, kSub * (yn - yc));
            yc = yn;
        }
        AddCell(ex1, ey, fyb - yc, fx1 * (fyb - yc));
    } else {
        int32_t bx = ex0 << kSubShift;
        int32_t yc = fya + static_cast<int32_t>(dyl * (bx - xa) / dxl);
        AddCell(ex0, ey, yc - fya, fx0 * (yc - fya));
        for (int32_t ex = ex0 - 1; ex > ex1; --ex) {
            bx -= kSub;
            const int32_t yn = fya + static_cast<int32_t>(dyl * (bx - xa) / dxl);
            AddCell(ex, ey, yn - yc, kSub * (yn - yc));
            yc = yn;
        }
        AddCell(ex1, ey, fyb - yc, (fx1 + kSub) * (fyb - yc));
    }
}

void CellRasterizer::Finish() {
    FlushCell();
    curX_ = curY_ = INT32_MIN;
    curCover_ = curArea_ = 0;
    sorted_.clear();
    if (cells_.empty()) {
        minRow_ = 0;
        maxRow_ = -1;
        return;
    }
    int lo = cells_[0].y, hi = cells_[0].y;  // int16 rows
    for (const Cell& c : cells_) {
        lo = std::min<int>(lo, c.y);
        hi = std::max<int>(hi, c.y);
    }
    minRow_ = lo;
    maxRow_ = hi;
    const size_t rows = static_cast<size_t>(hi - lo + 1);
    rowStart_.assign(rows + 1, 0);
    for (const Cell& c : cells_) rowStart_[static_cast<size_t>(c.y - lo) + 1]++;
    for (size_t i = 0; i < rows; ++i) rowStart_[i + 1] += rowStart_[i];
    sorted_.resize(cells_.size());
    {
        // Scatter by row (stable), using the row starts as moving cursors.
        std::vector<uint32_t>& cur = cursor_;
        cur.assign(rowStart_.begin(), rowStart_.end() - 1);
        for (const Cell& c : cells_) sorted_[cur[static_cast<size_t>(c.y - lo)]++] = c;
    }
    for (size_t r = 0; r < rows; ++r) {
        Cell* b = sorted_.data() + rowStart_[r];
        Cell* e = sorted_.data() + rowStart_[r + 1];
        const std::ptrdiff_t n = e - b;
        if (n < 2) continue;
        if (n <= 12) {
            for (Cell* i = b + 1; i < e; ++i) {
                const Cell v = *i;
                Cell* j = i;
                while (j > b && (j - 1)->x > v.x) {
                    *j = *(j - 1);
                    --j;
                }
                *j = v;
            }
        } else if (n < 65536) {
            // Sort 32-bit keys (x, position) rather than the cells, then gather.
            keys_.resize(static_cast<size_t>(n));
            for (std::ptrdiff_t i = 0; i < n; ++i)
                keys_[static_cast<size_t>(i)] =
                    (static_cast<uint32_t>(static_cast<uint16_t>(b[i].x)) << 16) | static_cast<uint32_t>(i);
            if (n <= 48) {
                std::sort(keys_.begin(), keys_.end());
            } else {
                // Two stable counting passes over the bytes of x (x < 32768).
                keys2_.resize(keys_.size());
                uint32_t count[256];
                for (int shift = 16; shift <= 24; shift += 8) {
                    std::fill_n(count, 256, 0u);
                    for (uint32_t k : keys_) ++count[(k >> shift) & 255u];
                    uint32_t sum = 0;
                    for (uint32_t& c : count) {
                        const uint32_t v = c;
                        c = sum;
                        sum += v;
                    }
                    for (uint32_t k : keys_) keys2_[count[(k >> shift) & 255u]++] = k;
                    keys_.swap(keys2_);
                }
            }
            tmp_.assign(b, e);
            for (std::ptrdiff_t i = 0; i < n; ++i) b[i] = tmp_[keys_[static_cast<size_t>(i)] & 0xFFFFu];
        } else {
            std::sort(b, e, [](const Cell& p, const Cell& q) { return p.x < q.x; });
        }
    }
    cells_.clear();
}

}  // namespace lumarel::raster::detail
