// A frame's drawing kept as a list of renderer calls (Renderer::Record), to be drawn later in
// parts: rows of the surface on several threads at once, or only where the picture changed
// since the frame before (DisplayList::Changed).
//
// What changed is found by comparing the two lists call by call. Every call carries a hash of
// everything that decides its pixels: the shape with its paints, matrix and colour transform,
// and the state it is drawn in (clip rectangle, blend, quality, and the masks above it, each by
// the hash of the calls that defined it); a drawing call also carries its bounds on the surface.
// The lists are trimmed of their equal beginnings and ends; if what is left has the same length
// on both sides it is compared position by position, else all of it counts as changed. The
// bounds of the calls that differ, before and after, hold every pixel that can differ: a pixel
// outside them is covered, in both frames, only by calls that are the same and in the same
// order, so it comes out the same.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/raster/raster.h"

namespace lumarel::raster {

// A 64-bit running hash of the values that decide a picture (a multiply-xorshift mix).
class Hash {
public:
    void Add(uint64_t v) {
        h_ = (h_ ^ v) * 0x9E3779B97F4A7C15u;
        h_ ^= h_ >> 31;
    }
    void Add(double v) { Add(std::bit_cast<uint64_t>(v)); }
    void Add(float v) { Add(uint64_t{std::bit_cast<uint32_t>(v)}); }
    void Add(const void* p) { Add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
    void Add(const Matrix& m) {
        for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty}) Add(v);
    }
    void Add(const ColorTransform& c) {
        for (double v : {c.rm, c.gm, c.bm, c.am, c.ra, c.ga, c.ba, c.aa}) Add(v);
    }
    void Add(Rgba c) { Add(uint64_t{c.r} | uint64_t{c.g} << 8 | uint64_t{c.b} << 16 | uint64_t{c.a} << 24); }
    void Add(const IntRect& r) {
        Add(uint64_t{static_cast<uint32_t>(r.x0)} | uint64_t{static_cast<uint32_t>(r.y0)} << 32);
        Add(uint64_t{static_cast<uint32_t>(r.x1)} | uint64_t{static_cast<uint32_t>(r.y1)} << 32);
    }
    uint64_t Value() const { return h_; }

private:
    uint64_t h_ = 0xCBF29CE484222325u;
};

class DisplayList {
public:
    DisplayList() = default;
    DisplayList(const DisplayList&) = delete;
    DisplayList& operator=(const DisplayList&) = delete;
    DisplayList(DisplayList&&) = default;
    DisplayList& operator=(DisplayList&&) = default;

    // Forgets the calls (keeping their storage for the next recording).
    void Clear() { size_ = 0; }

    // Rectangles (at most `maxRects`, within the surface) outside which this list draws what
    // `before` drew. Empty when the two draw the same picture. Lists recorded for surfaces of
    // other sizes differ everywhere.
    std::vector<IntRect> Changed(const DisplayList& before, size_t maxRects) const;

    struct Call {
        enum class Op : uint8_t { Draw, BeginClip, EndClipDefinition, PopClip, ClipRect, Blend, Quality, Tolerance };
        Op op = Op::Draw;
        Shape shape;  // Draw
        Matrix matrix;
        ColorTransform cx;
        IntRect rect;       // ClipRect
        uint8_t value = 0;  // Blend, Quality
        double number = 0;  // Tolerance
        uint64_t hash = 0;  // what decides the call's pixels, the state it runs in included
        IntRect bounds;     // Draw: the pixels it can touch
        bool live = false;  // paints a bitmap that may have changed in place (Bitmap::live)
    };

private:
    friend class Renderer;
    friend struct Renderer::Impl;
    Call& Push(Call::Op op);
    void Seal(Call& call);  // works out hash and bounds as the call is recorded

    std::vector<Call> calls_;
    size_t size_ = 0;
    int width_ = 0, height_ = 0;
    // The state calls are recorded in.
    IntRect clip_;
    uint64_t blend_ = 0, quality_ = 0, tolerance_ = 0;
    std::vector<uint64_t> masks_;  // each open clip level's hash (its enclosing levels' included), innermost last
    std::vector<bool> defining_;   // whether that level is still being defined
};

}  // namespace lumarel::raster
