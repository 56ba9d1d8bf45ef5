#include "engine/swf/filters.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/swf/records.h"

namespace lumarel::engine::swf {

namespace {

// 16.16 fixed point, signed, byte-aligned.
double Fixed16(BitReader& r) { return static_cast<int32_t>(r.U32()) / 65536.0; }
float Float32(BitReader& r) { return std::bit_cast<float>(r.U32()); }

// The flag byte the blur-based filters end with: inner, knockout, composite source, then either
// a five-bit pass count or the on-top flag and a four-bit count.
template <typename T>
void ReadFlags(BitReader& r, T& f, bool hasOnTop) {
    f.inner = r.Flag();
    f.knockout = r.Flag();
    f.compositeSource = r.Flag();
    if constexpr (requires { f.onTop; }) {
        if (hasOnTop) f.onTop = r.Flag();
    }
    f.passes = static_cast<int>(r.Ub(hasOnTop ? 4 : 5));
}

void ReadGradientFields(BitReader& r, GradientFilterFields& f) {
    const int count = r.U8();
    f.stops.resize(static_cast<size_t>(count));
    for (auto& s : f.stops) s.color = ReadRgba(r);
    for (auto& s : f.stops) s.ratio = r.U8();
    f.blurX = Fixed16(r);
    f.blurY = Fixed16(r);
    f.angle = Fixed16(r);
    f.distance = Fixed16(r);
    f.strength = r.Fixed8();
    ReadFlags(r, f, true);
}

// One filter of id `id`, or nothing when the id is unknown.
bool ReadFilter(BitReader& r, int id, Filter& out) {
    switch (id) {
        case 0: {
            DropShadowFilter f;
            f.color = ReadRgba(r);
            f.blurX = Fixed16(r);
            f.blurY = Fixed16(r);
            f.angle = Fixed16(r);
            f.distance = Fixed16(r);
            f.strength = r.Fixed8();
            ReadFlags(r, f, false);
            out = f;
            return true;
        }
        case 1: {
            BlurFilter f;
            f.blurX = Fixed16(r);
            f.blurY = Fixed16(r);
            f.passes = static_cast<int>(r.Ub(5));
            r.Ub(3);
            out = f;
            return true;
        }
        case 2: {
            GlowFilter f;
            f.color = ReadRgba(r);
            f.blurX = Fixed16(r);
            f.blurY = Fixed16(r);
            f.strength = r.Fixed8();
            ReadFlags(r, f, false);
            out = f;
            return true;
        }
        case 3: {
            BevelFilter f;
            f.shadowColor = ReadRgba(r);
            f.highlightColor = ReadRgba(r);
            f.blurX = Fixed16(r);
            f.blurY = Fixed16(r);
            f.angle = Fixed16(r);
            f.distance = Fixed16(r);
            f.strength = r.Fixed8();
            ReadFlags(r, f, true);
            out = f;
            return true;
        }
        case 4: {
            GradientGlowFilter f;
            ReadGradientFields(r, f);
            out = std::move(f);
            return true;
        }
        case 5: {
            ConvolutionFilter f;
            f.matrixX = r.U8();
            f.matrixY = r.U8();
            f.divisor = Float32(r);
            f.bias = Float32(r);
            const size_t taps = static_cast<size_t>(f.matrixX) * static_cast<size_t>(f.matrixY);
            // Never size the kernel beyond what the data could hold.
            if (taps * 4 > r.Remaining()) {
                r.Fail();
                return true;
            }
            f.matrix.resize(taps);
            for (float& m : f.matrix) m = Float32(r);
            f.defaultColor = ReadRgba(r);
            r.Ub(6);
            f.clamp = r.Flag();
            f.preserveAlpha = r.Flag();
            out = std::move(f);
            return true;
        }
        case 6: {
            ColorMatrixFilter f;
            for (float& m : f.matrix) m = Float32(r);
            out = f;
            return true;
        }
        case 7: {
            GradientBevelFilter f;
            ReadGradientFields(r, f);
            out = std::move(f);
            return true;
        }
        default:
            return false;
    }
}

// How far `passes` boxes of a blur amount spread, in pixels at `scale`.
int Spread(double blurX, int passes, double scale) {
    return raster::BoxRadius(blurX * scale) * std::clamp(passes, 0, raster::kMaxBlurPasses);
}

raster::EffectFilter Effect(const GradientFilterFields& g, raster::EffectFilter::Kind kind, double scale) {
    raster::EffectFilter e;
    e.kind = kind;
    e.ramp = raster::GradientRamp(g.stops);
    e.blurX = g.blurX * scale;
    e.blurY = g.blurY * scale;
    e.passes = g.passes;
    e.angle = g.angle;
    e.distance = g.distance * scale;
    e.strength = g.strength;
    e.inner = g.inner;
    e.onTop = g.onTop;
    e.knockout = g.knockout;
    e.compositeSource = g.compositeSource;
    return e;
}

// The fields every blur-based filter has, as a gradient record with no stops.
template <typename T>
GradientFilterFields Common(const T& f) {
    GradientFilterFields g;
    g.blurX = f.blurX;
    g.blurY = f.blurY;
    g.strength = f.strength;
    g.inner = f.inner;
    g.knockout = f.knockout;
    g.compositeSource = f.compositeSource;
    g.passes = f.passes;
    if constexpr (requires { f.angle; }) {
        g.angle = f.angle;
        g.distance = f.distance;
    }
    if constexpr (requires { f.onTop; }) g.onTop = f.onTop;
    return g;
}

}  // namespace

std::vector<Filter> ReadFilterList(BitReader& r) {
    std::vector<Filter> out;
    const int count = r.U8();
    for (int i = 0; i < count && r.Ok(); ++i) {
        const int id = r.U8();
        Filter f;
        if (!r.Ok() || !ReadFilter(r, id, f)) {
            r.Fail();
            break;
        }
        r.Align();
        if (!r.Ok()) break;
        out.push_back(std::move(f));
    }
    return out;
}

FilterGrowth FilterListGrowth(std::span<const Filter> filters, double scale) {
    if (!std::isfinite(scale) || scale < 0) scale = 0;
    FilterGrowth g;
    auto grow = [&](int sx, int sy, int dx, int dy, bool bothWays) {
        g.left += sx + std::max(0, -dx) + (bothWays ? std::max(0, dx) : 0);
        g.right += sx + std::max(0, dx) + (bothWays ? std::max(0, -dx) : 0);
        g.top += sy + std::max(0, -dy) + (bothWays ? std::max(0, dy) : 0);
        g.bottom += sy + std::max(0, dy) + (bothWays ? std::max(0, -dy) : 0);
    };
    for (const Filter& filter : filters) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, BlurFilter>) {
                    grow(Spread(f.blurX, f.passes, scale), Spread(f.blurY, f.passes, scale), 0, 0, false);
                } else if constexpr (requires { f.inner; }) {
                    // Inner effects stay within the object.
                    if (f.inner) return;
                    const GradientFilterFields c = Common(f);
                    int dx, dy;
                    raster::EffectOffset(c.angle, c.distance * scale, dx, dy);
                    constexpr bool bevel = std::is_same_v<T, BevelFilter> || std::is_same_v<T, GradientBevelFilter>;
                    grow(Spread(c.blurX, c.passes, scale), Spread(c.blurY, c.passes, scale), dx, dy, bevel);
                }
            },
            filter);
    }
    return g;
}

void ApplyFilter(const Filter& filter, raster::Surface& s, raster::IntRect region, double scale,
                 raster::FilterScratch& scratch) {
    if (!std::isfinite(scale) || scale < 0) scale = 0;
    using Kind = raster::EffectFilter::Kind;
    std::visit(
        [&](const auto& f) {
            using T = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<T, BlurFilter>) {
                raster::Blur(s, region, f.blurX * scale, f.blurY * scale, f.passes, scratch);
            } else if constexpr (std::is_same_v<T, ColorMatrixFilter>) {
                raster::ApplyColorMatrix(s, region, f.matrix);
            } else if constexpr (std::is_same_v<T, ConvolutionFilter>) {
                raster::ConvolutionFilter c;
                c.matrixX = f.matrixX;
                c.matrixY = f.matrixY;
                c.matrix = f.matrix;
                c.divisor = f.divisor;
                c.bias = f.bias;
                c.preserveAlpha = f.preserveAlpha;
                c.clamp = f.clamp;
                c.defaultColor = f.defaultColor;
                raster::ApplyConvolution(s, region, c, scratch);
            } else if constexpr (std::is_same_v<T, GradientGlowFilter>) {
                raster::ApplyEffect(s, region, Effect(f, Kind::Shadow, scale), scratch);
            } else if constexpr (std::is_same_v<T, GradientBevelFilter>) {
                raster::ApplyEffect(s, region, Effect(f, Kind::Bevel, scale), scratch);
            } else {
                constexpr bool bevel = std::is_same_v<T, BevelFilter>;
                raster::EffectFilter e = Effect(Common(f), bevel ? Kind::Bevel : Kind::Shadow, scale);
                if constexpr (bevel) {
                    e.ramp = raster::BevelRamp(f.highlightColor, f.shadowColor);
                } else {
                    e.ramp = raster::SolidRamp(f.color);
                }
                raster::ApplyEffect(s, region, e, scratch);
            }
        },
        filter);
}

}  // namespace lumarel::engine::swf
