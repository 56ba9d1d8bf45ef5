// The clip stack: nested clip layers, each an 8-bit mask of the surface's size, innermost last.
// A level owns a mask or, when it could not have one, is a placeholder that only keeps
// begin/end/pop balanced: masks nested inside a mask definition and levels beyond kMaxMasks.
// Shapes drawn while a placeholder is being defined are dropped; once it is defined it clips
// nothing. A defined mask is already multiplied by the one below it, so the innermost mask
// alone clips. Private to the rasterizer.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/raster/coverage.h"

namespace lumarel::raster::detail {

class ClipStack {
public:
    static constexpr int kMaxMasks = 32;

    // Drops every level; the masks' memory is kept for a surface of the same size.
    void Clear() {
        levels_.clear();
        realLevels_ = 0;
    }
    // Frees the masks too (the surface changed size).
    void Forget() {
        Clear();
        masks_.clear();
    }
    size_t Depth() const { return levels_.size(); }

    // A new level being defined, its mask cleared, for a surface `width` x `height`.
    void Begin(int width, int height);
    // The innermost level being defined is defined: its mask holds what was drawn into it
    // within `clip`, times the mask below it. `width`: the surface's.
    void EndDefinition(const Box& clip, int width);
    void Pop();

    // While a level is being defined, the mask shapes are drawn into (null inside a
    // placeholder's definition: they are dropped); `defining` says whether one is.
    Mask* Defining(bool& defining);
    // The mask that clips what is drawn (null: none).
    Mask* Innermost();

private:
    struct Level {
        int mask;  // index into masks_, or -1 for a placeholder
        bool defining;
    };
    int RealBelow(size_t below) const;  // the innermost real level below index `below`, or -1
    bool AnyDefining() const;

    std::vector<Level> levels_;
    std::vector<std::unique_ptr<Mask>> masks_;
    int realLevels_ = 0;
};

}  // namespace lumarel::raster::detail
