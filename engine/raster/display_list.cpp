#include "engine/raster/display_list.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

namespace lumarel::raster {

namespace {

class Hasher : public Hash {
public:
    using Hash::Add;
    // A bitmap by its address: a list keeps the bitmaps it shows alive, so the address of one is
    // not reused by another while the list is compared.
    void Add(const Paint& p, bool& live) {
        Add(uint64_t{static_cast<uint8_t>(p.kind)} | uint64_t{p.repeat} << 8 | uint64_t{p.smooth} << 9);
        switch (p.kind) {
            case Paint::Kind::None:
                break;
            case Paint::Kind::Solid:
                Add(p.color);
                break;
            case Paint::Kind::Gradient: {
                const Gradient& g = p.gradient;
                Add(uint64_t{static_cast<uint8_t>(g.kind)} | uint64_t{static_cast<uint8_t>(g.spread)} << 8 |
                    uint64_t{static_cast<uint8_t>(g.interpolation)} << 16 | uint64_t{g.stops.size()} << 24);
                Add(g.focal);
                for (const GradientStop& s : g.stops) {
                    Add(uint64_t{s.ratio});
                    Add(s.color);
                }
                Add(g.matrix);
                break;
            }
            case Paint::Kind::Bitmap:
                Add(static_cast<const void*>(p.bitmap.get()));
                Add(p.bitmapMatrix);
                live = live || (p.bitmap && p.bitmap->live);
                break;
        }
    }
};

uint64_t Mix(uint64_t a, uint64_t b) {
    Hasher h;
    h.Add(a);
    h.Add(b);
    return h.Value();
}

// The pixels a shape can touch under `m`: its points' box, grown by what its strokes add (half
// the widest, or a miter's reach) and two pixels for anti-aliasing and hinting.
IntRect ShapeBounds(const Shape& shape, const Matrix& m) {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    double margin = 0;
    const double sdet = std::sqrt(std::fabs(m.Determinant()));
    const double smax = std::max(std::hypot(m.a, m.b), std::hypot(m.c, m.d));
    auto add = [&](float px, float py) {
        double x, y;
        m.Apply(px, py, x, y);
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    };
    for (const Layer& layer : shape.layers) {
        for (const Edge& e : layer.edges) {
            add(e.x0, e.y0);
            add(e.x1, e.y1);
            if (e.kind == Edge::Kind::Quad) add(e.cx, e.cy);
        }
        for (const Stroke& s : layer.strokes) {
            double w = std::isfinite(s.width) && s.width > 0 ? s.width : 0;
            w = (s.noHScale && s.noVScale) ? w / 20.0 : w * std::max(sdet, smax);
            w = std::clamp(std::isfinite(w) ? w : 1e7, 1.0, 1e7);
            const double reach = s.join == Join::Miter ? std::max(std::sqrt(2.0), s.miterLimit) : std::sqrt(2.0);
            margin = std::max(margin, w / 2 * (std::isfinite(reach) ? reach : 1e7));
        }
    }
    margin += 2;
    if (!(x0 <= x1) || !(y0 <= y1)) return IntRect{};
    auto px = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
    return IntRect{px(std::floor(x0 - margin)), px(std::floor(y0 - margin)), px(std::ceil(x1 + margin)),
                   px(std::ceil(y1 + margin))};
}

IntRect Intersect(const IntRect& a, const IntRect& b) {
    IntRect r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    return r.Empty() ? IntRect{} : r;
}

IntRect Union(const IntRect& a, const IntRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return IntRect{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

int64_t Area(const IntRect& r) { return r.Empty() ? 0 : int64_t{r.x1 - r.x0} * (r.y1 - r.y0); }

}  // namespace

DisplayList::Call& DisplayList::Push(Call::Op op) {
    if (size_ == calls_.size()) calls_.emplace_back();
    Call& c = calls_[size_++];
    c.op = op;
    c.bounds = IntRect{};
    c.live = false;
    return c;
}

void DisplayList::Seal(Call& c) {
    Hasher h;
    h.Add(uint64_t{static_cast<uint8_t>(c.op)});
    const uint64_t enclosing = masks_.empty() ? 0 : masks_.back();
    switch (c.op) {
        case Call::Op::Draw: {
            for (const Layer& layer : c.shape.layers) {
                h.Add(uint64_t{layer.evenOdd} | uint64_t{layer.fills.size()} << 1 |
                      uint64_t{layer.strokes.size()} << 21 | uint64_t{layer.edges.size()} << 41);
                for (const Paint& p : layer.fills) h.Add(p, c.live);
                for (const Stroke& s : layer.strokes) {
                    h.Add(s.paint, c.live);
                    h.Add(s.width);
                    h.Add(s.miterLimit);
                    h.Add(uint64_t{static_cast<uint8_t>(s.startCap)} | uint64_t{static_cast<uint8_t>(s.endCap)} << 8 |
                          uint64_t{static_cast<uint8_t>(s.join)} << 16 | uint64_t{s.noHScale} << 24 |
                          uint64_t{s.noVScale} << 25 | uint64_t{s.pixelHinting} << 26 | uint64_t{s.noClose} << 27);
                }
                for (const Edge& e : layer.edges) {
                    h.Add(uint64_t{static_cast<uint8_t>(e.kind)} | uint64_t{e.fill0} << 8 | uint64_t{e.fill1} << 24 |
                          uint64_t{e.line} << 40);
                    h.Add(uint64_t{std::bit_cast<uint32_t>(e.x0)} | uint64_t{std::bit_cast<uint32_t>(e.y0)} << 32);
                    h.Add(uint64_t{std::bit_cast<uint32_t>(e.x1)} | uint64_t{std::bit_cast<uint32_t>(e.y1)} << 32);
                    if (e.kind == Edge::Kind::Quad)
                        h.Add(uint64_t{std::bit_cast<uint32_t>(e.cx)} | uint64_t{std::bit_cast<uint32_t>(e.cy)} << 32);
                }
            }
            h.Add(c.matrix);
            h.Add(c.cx);
            h.Add(clip_);
            h.Add(blend_);
            h.Add(quality_);
            h.Add(tolerance_);
            h.Add(enclosing);
            c.hash = h.Value();
            c.bounds = c.matrix.IsFinite() ? Intersect(ShapeBounds(c.shape, c.matrix), clip_) : IntRect{};
            // A shape drawn into a mask being defined is part of what that mask is.
            for (size_t i = masks_.size(); i-- > 0;)
                if (defining_[i]) {
                    masks_[i] = Mix(masks_[i], c.hash);
                    break;
                }
            return;
        }
        case Call::Op::BeginClip:
            masks_.push_back(Mix(enclosing, 0x42));
            defining_.push_back(true);
            break;
        case Call::Op::EndClipDefinition:
            for (size_t i = defining_.size(); i-- > 0;)
                if (defining_[i]) {
                    defining_[i] = false;
                    masks_[i] = Mix(masks_[i], 0x45);
                    break;
                }
            break;
        case Call::Op::PopClip:
            if (!masks_.empty()) {
                masks_.pop_back();
                defining_.pop_back();
            }
            break;
        case Call::Op::ClipRect:
            clip_ = c.rect;
            h.Add(c.rect);
            break;
        case Call::Op::Blend:
            blend_ = c.value;
            break;
        case Call::Op::Quality:
            quality_ = c.value;
            break;
        case Call::Op::Tolerance:
            tolerance_ = std::bit_cast<uint64_t>(c.number);
            break;
    }
    h.Add(uint64_t{c.value});
    h.Add(c.number);
    h.Add(enclosing);
    h.Add(masks_.empty() ? 0 : masks_.back());
    c.hash = h.Value();
}

std::vector<IntRect> DisplayList::Changed(const DisplayList& before, size_t maxRects) const {
    const IntRect whole{0, 0, width_, height_};
    if (width_ != before.width_ || height_ != before.height_)
        return whole.Empty() ? std::vector<IntRect>{} : std::vector{whole};
    auto same = [](const Call& a, const Call& b) { return a.hash == b.hash && !a.live && !b.live; };
    const size_t n = size_, m = before.size_;
    size_t head = 0, tail = 0;
    while (head < n && head < m && same(calls_[head], before.calls_[head])) ++head;
    while (tail < n - head && tail < m - head && same(calls_[n - 1 - tail], before.calls_[m - 1 - tail])) ++tail;
    std::vector<IntRect> boxes;
    auto add = [&](const Call& c) {
        const IntRect b = Intersect(c.bounds, whole);
        if (!b.Empty()) boxes.push_back(b);
    };
    if (n - tail - head == m - tail - head) {
        for (size_t i = head; i < n - tail; ++i)
            if (!same(calls_[i], before.calls_[i])) {
                add(calls_[i]);
                add(before.calls_[i]);
            }
    } else {
        for (size_t i = head; i < n - tail; ++i) add(calls_[i]);
        for (size_t i = head; i < m - tail; ++i) add(before.calls_[i]);
    }
    // Into at most maxRects rectangles: each box joins the rectangle it grows least, unless there
    // is room for one more; rectangles that then overlap are joined.
    std::vector<IntRect> out;
    maxRects = std::max<size_t>(maxRects, 1);
    for (const IntRect& b : boxes) {
        size_t best = 0;
        int64_t cost = INT64_MAX;
        for (size_t i = 0; i < out.size(); ++i) {
            const int64_t grow = Area(Union(out[i], b)) - Area(out[i]) - Area(b);
            if (grow < cost) {
                cost = grow;
                best = i;
            }
        }
        if (out.size() < maxRects && cost > 0) {
            out.push_back(b);
        } else {
            out[best] = Union(out[best], b);
        }
    }
    for (bool joined = true; joined;) {
        joined = false;
        for (size_t i = 0; i < out.size() && !joined; ++i)
            for (size_t j = i + 1; j < out.size() && !joined; ++j)
                if (!Intersect(out[i], out[j]).Empty()) {
                    out[i] = Union(out[i], out[j]);
                    out.erase(out.begin() + static_cast<std::ptrdiff_t>(j));
                    joined = true;
                }
    }
    return out;
}

}  // namespace lumarel::raster
