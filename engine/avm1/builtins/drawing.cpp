// MovieClip.prototype's drawing methods: clear, lineStyle, lineGradientStyle, beginFill,
// beginGradientFill, beginBitmapFill, moveTo, lineTo, curveTo and endFill. Script arguments
// (pixels, 0..100 alphas, 0xRRGGBB colours, gradient and bitmap matrices) become the canvas's
// twips, strokes and paints. Every argument is converted before the canvas is looked up, so a valueOf that
// removes the clip cannot leave us drawing on a canvas that is gone.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>

#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr int kMaxGradientStops = 15;
constexpr double kTwips = 20;
// The gradient square runs from -16384 to 16384 twips; scripts' 3 x 3 matrices map -1..1 instead.
constexpr double kGradientHalf = 16384;

Canvas* CanvasFor(Machine& m, const Value& self) {
    Clip c = m.ClipOf(self);
    return c ? m.HostRef().CanvasOf(c) : nullptr;
}

// 0..100 to 0..255; undefined is opaque.
uint8_t Alpha(Machine& m, const Value& v) {
    if (v.IsUndefined()) return 255;
    double a = m.ToNumber(v);
    if (std::isnan(a)) a = 0;
    return static_cast<uint8_t>(std::lround(std::clamp(a, 0.0, 100.0) * 255 / 100));
}

raster::Rgba Color(Machine& m, const Value& rgb, const Value& alpha) {
    const uint32_t c = ToUint32(m.ToNumber(rgb));  // NaN (undefined) is black
    return raster::Rgba{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                        Alpha(m, alpha)};
}

// A string argument compared with a choice of names; anything else is the default (index 0).
int Choice(Machine& m, const Value& v, std::initializer_list<const char*> names) {
    if (v.IsUndefined()) return 0;
    const std::string s = m.ToString(v);
    int i = 0;
    for (const char* n : names) {
        if (s == n) return i;
        ++i;
    }
    return 0;
}

// A property that must be there and be a finite number.
bool Field(Machine& m, Object* o, const char* name, double& out) {
    const Value v = m.Get(o, name);
    if (v.IsUndefined()) return false;
    out = m.ToNumber(v);
    return std::isfinite(out);
}

// The gradient matrix: {matrixType:"box", x, y, w, h, r}, {a, b, c, d, tx, ty} (a matrix on the
// gradient square in pixels) or {a, b, c, d, e, f, g, h, i} (3 x 3, the -1..1 square, row
// vectors: translation in g, h). Missing or non-numeric fields give no gradient.
std::optional<raster::Matrix> GradientMatrix(Machine& m, const Value& v) {
    Object* o = v.IsObject() ? v.object : nullptr;
    if (!o) return std::nullopt;
    raster::Matrix out;
    const Value type = m.Get(o, "matrixType");
    if (!type.IsUndefined()) {
        double x, y, w, h, r;
        if (m.ToString(type) != "box" || !Field(m, o, "x", x) || !Field(m, o, "y", y) || !Field(m, o, "w", w) ||
            !Field(m, o, "h", h) || !Field(m, o, "r", r))
            return std::nullopt;
        // Rotated inside the box first, then stretched to it: a box that is not square skews.
        const double sx = w * kTwips / (2 * kGradientHalf), sy = h * kTwips / (2 * kGradientHalf);
        out = raster::Matrix{sx * std::cos(r), sy * std::sin(r),     -sx * std::sin(r),
                             sy * std::cos(r), (x + w / 2) * kTwips, (y + h / 2) * kTwips};
        return out;
    }
    double a, b, c, d;
    if (!m.Get(o, "tx").IsUndefined()) {
        double tx, ty;
        if (!Field(m, o, "a", a) || !Field(m, o, "b", b) || !Field(m, o, "c", c) || !Field(m, o, "d", d) ||
            !Field(m, o, "tx", tx) || !Field(m, o, "ty", ty))
            return std::nullopt;
        return raster::Matrix{a, b, c, d, tx * kTwips, ty * kTwips};
    }
    double e, f, g, h, i;
    if (!Field(m, o, "a", a) || !Field(m, o, "b", b) || !Field(m, o, "c", c) || !Field(m, o, "d", d) ||
        !Field(m, o, "e", e) || !Field(m, o, "f", f) || !Field(m, o, "g", g) || !Field(m, o, "h", h) ||
        !Field(m, o, "i", i))
        return std::nullopt;
    const double k = kTwips / kGradientHalf;
    return raster::Matrix{a * k, b * k, d * k, e * k, g * kTwips, h * kTwips};
}

// Array-like argument: its length, or -1 when it is no object.
long Length(Machine& m, const Value& v) {
    if (!v.IsObject()) return -1;
    const double n = m.ToNumber(m.Get(v.object, "length"));
    return std::isfinite(n) && n >= 0 ? static_cast<long>(std::min(n, 1e6)) : -1;
}

// beginGradientFill / lineGradientStyle arguments: (fillType, colors, alphas, ratios, matrix,
// spreadMethod, interpolationMethod, focalPointRatio). No paint (Kind::None) when they are wrong.
raster::Paint GradientPaint(Machine& m, std::span<const Value> args) {
    raster::Paint none;
    none.kind = raster::Paint::Kind::None;
    const Value& type = Arg(args, 0);
    if (type.type != Type::String || (type.string != "linear" && type.string != "radial")) return none;
    const Value &colors = Arg(args, 1), &alphas = Arg(args, 2), &ratios = Arg(args, 3);
    const long n = Length(m, colors);
    if (n < 1 || n > kMaxGradientStops || Length(m, alphas) != n || Length(m, ratios) != n) return none;
    const std::optional<raster::Matrix> matrix = GradientMatrix(m, Arg(args, 4));
    if (!matrix) return none;

    raster::Paint p;
    p.kind = raster::Paint::Kind::Gradient;
    raster::Gradient& g = p.gradient;
    g.matrix = *matrix;
    for (uint32_t i = 0; i < static_cast<uint32_t>(n); ++i) {
        raster::GradientStop stop;
        stop.color = Color(m, m.ArrayGet(colors.object, i), m.ArrayGet(alphas.object, i));
        const double r = m.ToNumber(m.ArrayGet(ratios.object, i));
        stop.ratio = static_cast<uint8_t>(std::isnan(r) ? 0 : std::clamp(r, 0.0, 255.0));
        g.stops.push_back(stop);
    }
    g.spread = static_cast<raster::Spread>(Choice(m, Arg(args, 5), {"pad", "reflect", "repeat"}));
    g.interpolation = static_cast<raster::Interpolation>(Choice(m, Arg(args, 6), {"RGB", "linearRGB"}));
    g.kind = type.string == "linear" ? raster::Gradient::Kind::Linear : raster::Gradient::Kind::Radial;
    if (g.kind == raster::Gradient::Kind::Radial && !Arg(args, 7).IsUndefined()) {
        const double focal = m.ToNumber(Arg(args, 7));
        if (std::isfinite(focal) && focal != 0) {
            g.kind = raster::Gradient::Kind::Focal;
            g.focal = std::clamp(focal, -1.0, 1.0);
        }
    }
    return p;
}

// lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit).
// No thickness: no line from here on.
Value LineStyle(Machine& m, const Value& self, std::span<const Value> args) {
    const double thickness = Arg(args, 0).IsUndefined() ? NAN : m.ToNumber(Arg(args, 0));
    raster::Stroke s;
    s.width = std::isnan(thickness) ? 0 : std::round(std::clamp(thickness, 0.0, 255.0) * kTwips);
    s.paint.color = Color(m, Arg(args, 1), Arg(args, 2));
    s.pixelHinting = m.ToBoolean(Arg(args, 3));
    switch (Choice(m, Arg(args, 4), {"normal", "none", "vertical", "horizontal"})) {
        case 1:
            s.noHScale = s.noVScale = true;
            break;
        case 2:
            s.noVScale = true;
            break;
        case 3:
            s.noHScale = true;
            break;
        default:
            break;
    }
    s.startCap = s.endCap = static_cast<raster::Cap>(Choice(m, Arg(args, 5), {"round", "none", "square"}));
    const int join = Choice(m, Arg(args, 6), {"round", "miter", "bevel"});
    s.join = join == 1 ? raster::Join::Miter : join == 2 ? raster::Join::Bevel : raster::Join::Round;
    const double limit = Arg(args, 7).IsUndefined() ? 3 : m.ToNumber(Arg(args, 7));
    s.miterLimit = std::isnan(limit) ? 3 : std::clamp(limit, 1.0, 255.0);
    if (Canvas* canvas = CanvasFor(m, self)) canvas->LineStyle(std::isnan(thickness) ? nullptr : &s);
    return Value();
}

// The i-th and i+1-th arguments as a point in twips; false when either is not a finite number.
bool Point(Machine& m, std::span<const Value> args, size_t i, double& x, double& y) {
    x = m.ToNumber(Arg(args, i)) * kTwips;
    y = m.ToNumber(Arg(args, i + 1)) * kTwips;
    return std::isfinite(x) && std::isfinite(y);
}

}  // namespace

void InstallDrawing(Machine& m) {
    Object* proto = m.movieClipProto;
    m.Method(proto, "clear", [](Machine& mm, const Value& self, std::span<const Value>) {
        if (Canvas* c = CanvasFor(mm, self)) c->Clear();
        return Value();
    });
    m.Method(proto, "lineStyle", LineStyle);
    m.Method(proto, "lineGradientStyle", [](Machine& mm, const Value& self, std::span<const Value> args) {
        const raster::Paint p = GradientPaint(mm, args);
        Canvas* c = CanvasFor(mm, self);
        if (c && p.kind != raster::Paint::Kind::None) c->LineFill(p);
        return Value();
    });
    m.Method(proto, "beginFill", [](Machine& mm, const Value& self, std::span<const Value> args) {
        raster::Paint p;
        if (Arg(args, 0).IsUndefined())
            p.kind = raster::Paint::Kind::None;
        else
            p.color = Color(mm, Arg(args, 0), Arg(args, 1));
        if (Canvas* c = CanvasFor(mm, self)) c->BeginFill(p);
        return Value();
    });
    m.Method(proto, "beginGradientFill", [](Machine& mm, const Value& self, std::span<const Value> args) {
        const raster::Paint p = GradientPaint(mm, args);
        if (Canvas* c = CanvasFor(mm, self)) c->BeginFill(p);
        return Value();
    });
    // beginBitmapFill(bitmap, matrix, repeat = true, smoothing = false): the matrix maps the
    // bitmap's pixels to the clip's; the fill shows the pixels as they are when drawn.
    m.Method(
        proto, "beginBitmapFill",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            raster::Matrix x;
            if (Arg(args, 1).IsObject()) x = MatrixOf(mm, args[1]);
            raster::Paint p;
            p.kind = raster::Paint::Kind::Bitmap;
            p.repeat = args.size() < 3 || mm.ToBoolean(args[2]);
            p.smooth = mm.ToBoolean(Arg(args, 3));
            const auto* s =
                Arg(args, 0).object ? dynamic_cast<const BitmapState*>(args[0].object->data.get()) : nullptr;
            if (!s || !s->pixels || !x.IsFinite()) return Value();
            p.bitmap = s->pixels;
            p.bitmapMatrix = {x.a * kTwips, x.b * kTwips, x.c * kTwips, x.d * kTwips, x.tx * kTwips, x.ty * kTwips};
            if (Canvas* c = CanvasFor(mm, self)) c->BeginFill(p);
            return Value();
        },
        kDontEnum | kSince8);
    m.Method(proto, "endFill", [](Machine& mm, const Value& self, std::span<const Value>) {
        if (Canvas* c = CanvasFor(mm, self)) c->EndFill();
        return Value();
    });
    m.Method(proto, "moveTo", [](Machine& mm, const Value& self, std::span<const Value> args) {
        double x, y;
        if (!Point(mm, args, 0, x, y)) return Value();
        if (Canvas* c = CanvasFor(mm, self)) c->MoveTo(x, y);
        return Value();
    });
    m.Method(proto, "lineTo", [](Machine& mm, const Value& self, std::span<const Value> args) {
        double x, y;
        if (!Point(mm, args, 0, x, y)) return Value();
        if (Canvas* c = CanvasFor(mm, self)) c->LineTo(x, y);
        return Value();
    });
    m.Method(proto, "curveTo", [](Machine& mm, const Value& self, std::span<const Value> args) {
        double cx, cy, x, y;
        if (!Point(mm, args, 0, cx, cy) || !Point(mm, args, 2, x, y)) return Value();
        if (Canvas* c = CanvasFor(mm, self)) c->CurveTo(cx, cy, x, y);
        return Value();
    });
}

}  // namespace lumarel::engine::avm1
