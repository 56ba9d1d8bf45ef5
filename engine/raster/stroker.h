// Turns a device-space polyline into filled outline contours (non-zero winding) with caps and joins.
#pragma once

#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::raster::detail {

using Pt = FlatPoint;

struct StrokeStyle {
    double halfWidth = 0.5;  // device pixels
    Cap startCap = Cap::Round, endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3;  // miter length / stroke width beyond which a bevel is used
    double tolerance = 0.2;
};

// Appends the outline of `pts` to `out` as closed contours; `contourEnds` receives the end
// index (exclusive) of each contour in `out`. `pts` may hold duplicates; they are dropped.
void StrokePolyline(const std::vector<Pt>& pts, bool closed, const StrokeStyle& st, std::vector<Pt>& out,
                    std::vector<size_t>& contourEnds);

}  // namespace lumarel::raster::detail
