#include "engine/raster/clip_stack.h"

#include <algorithm>

#include "engine/raster/pixel.h"

namespace lumarel::raster::detail {

int ClipStack::RealBelow(size_t below) const {
    for (size_t i = below; i-- > 0;)
        if (levels_[i].mask >= 0) return static_cast<int>(i);
    return -1;
}

bool ClipStack::AnyDefining() const {
    for (const Level& l : levels_)
        if (l.defining) return true;
    return false;
}

void ClipStack::Begin(int width, int height) {
    // Masks inside a mask definition (a mask sprite with its own clip layers) and masks beyond
    // the depth limit get a placeholder level.
    if (AnyDefining() || realLevels_ >= kMaxMasks || levels_.size() >= 4096) {
        if (levels_.size() < (size_t(1) << 20)) levels_.push_back(Level{-1, true});
        return;
    }
    const int idx = realLevels_;
    if (masks_.size() <= static_cast<size_t>(idx)) masks_.push_back(std::make_unique<Mask>());
    Mask& m = *masks_[static_cast<size_t>(idx)];
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (m.data.size() != w * h) {
        m.data.assign(w * h, 0);
    } else if (!m.dirty.empty()) {
        for (int y = m.dirty.y0; y < m.dirty.y1; ++y)
            std::fill_n(m.data.data() + static_cast<size_t>(y) * w + static_cast<size_t>(m.dirty.x0),
                        m.dirty.x1 - m.dirty.x0, uint8_t(0));
    }
    m.dirty = Box{};
    m.bounds = Box{};
    ++realLevels_;
    levels_.push_back(Level{idx, true});
}

void ClipStack::EndDefinition(const Box& clip, int width) {
    size_t i = levels_.size();
    while (i > 0 && !levels_[i - 1].defining) --i;
    if (i == 0) return;
    Level& lv = levels_[i - 1];
    lv.defining = false;
    if (lv.mask < 0) return;
    Mask& m = *masks_[static_cast<size_t>(lv.mask)];
    m.bounds = m.dirty.Intersect(clip);
    const int p = RealBelow(i - 1);
    if (p >= 0) {
        const Mask& parent = *masks_[static_cast<size_t>(levels_[static_cast<size_t>(p)].mask)];
        const size_t w = static_cast<size_t>(width);
        for (int y = m.dirty.y0; y < m.dirty.y1; ++y) {
            uint8_t* r = m.data.data() + static_cast<size_t>(y) * w;
            const uint8_t* pr = parent.data.data() + static_cast<size_t>(y) * w;
            for (int x = m.dirty.x0; x < m.dirty.x1; ++x) r[x] = static_cast<uint8_t>(Mul255(r[x], pr[x]));
        }
        m.bounds = m.bounds.Intersect(parent.bounds);
    }
}

void ClipStack::Pop() {
    if (levels_.empty()) return;
    if (levels_.back().mask >= 0) --realLevels_;
    levels_.pop_back();
}

Mask* ClipStack::Defining(bool& defining) {
    int level = -1;
    for (size_t i = 0; i < levels_.size(); ++i)
        if (levels_[i].defining) {
            if (levels_[i].mask < 0) {
                defining = true;
                return nullptr;  // inside a placeholder's definition
            }
            level = static_cast<int>(i);
        }
    defining = level >= 0;
    return level >= 0 ? masks_[static_cast<size_t>(levels_[static_cast<size_t>(level)].mask)].get() : nullptr;
}

Mask* ClipStack::Innermost() {
    const int top = RealBelow(levels_.size());
    return top >= 0 ? masks_[static_cast<size_t>(levels_[static_cast<size_t>(top)].mask)].get() : nullptr;
}

}  // namespace lumarel::raster::detail
