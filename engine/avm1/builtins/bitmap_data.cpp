// flash.display.BitmapData: a script's own bitmap, its pixel methods, fills and copies, noise,
// filters and drawing clips into it; and the MovieClip methods that show one (attachBitmap,
// beginBitmapFill). Scripts pass and get straight 0xAARRGGBB colours; the pixels are kept
// premultiplied, as the renderer takes them, so what a script reads back shows the loss of
// colour in translucent pixels. A bitmap that is not transparent keeps every pixel opaque.
//
// Arguments are all converted before the pixels are touched, and every area is cut to the
// bitmaps as they are then: a valueOf that disposes a bitmap leaves it 0 x 0, so nothing is
// written. Work is counted against the script's action budget, and pixels against the machine's
// byte budget.
#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

#include "engine/avm1/builtins/filters.h"
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr int kMaxSide = 2880;
constexpr double kTwips = 20;
constexpr int kMaxOctaves = 32;

using Pixels = std::shared_ptr<raster::Bitmap>;

// What results are made of.
struct Classes {
    Object* bitmap;     // BitmapData.prototype
    Object* rectangle;  // flash.geom.Rectangle
};

// The bitmap a method runs on, held for the length of the call.
struct Target {
    Object* self;
    Pixels px;
    bool transparent;
};

// --- pixels and arguments

uint32_t Stored(uint32_t argb) {
    return raster::Premultiply({static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                                static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)});
}
uint32_t Straight(uint32_t p) {
    const uint32_t a = p >> 24;
    if (a == 0) return 0;
    if (a == 255) return p;
    auto u = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return a << 24 | u(p >> 16 & 255) << 16 | u(p >> 8 & 255) << 8 | u(p & 255);
}
// A premultiplied pixel with every channel scaled by k/255.
uint32_t Scale(uint32_t p, uint32_t k) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) out |= ((p >> shift & 255) * k + 127) / 255 << shift;
    return out;
}
// `src` over `dst`, both premultiplied.
uint32_t Over(uint32_t src, uint32_t dst) {
    const uint32_t d = Scale(dst, 255 - (src >> 24));
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= std::min<uint32_t>(255, (src >> shift & 255) + (d >> shift & 255)) << shift;
    return out;
}
// A stored pixel as the target keeps it: an opaque bitmap's are all opaque.
uint32_t Keep(const Target& t, uint32_t p) { return t.transparent ? p : p | 0xFF000000u; }
uint32_t StoredFor(const Target& t, uint32_t argb) { return Stored(t.transparent ? argb : argb | 0xFF000000u); }

// One action of the script's budget for every 1024 units of work (pixels, noise samples).
void Charge(Machine& m, double units) {
    for (double n = units / 1024; n >= 1; --n) m.CountAction();
}

int Int(Machine& m, const Value& v) {
    const double d = m.ToNumber(v);
    return std::isnan(d) ? 0 : static_cast<int>(std::clamp(std::trunc(d), -1e8, 1e8));
}
int IntField(Machine& m, const Value& o, const char* name) { return Int(m, m.GetMember(o, name)); }
uint32_t Color(Machine& m, const Value& v) { return ToUint32(m.ToNumber(v)); }

BitmapState* StateOf(const Value& v) { return v.object ? dynamic_cast<BitmapState*>(v.object->data.get()) : nullptr; }
// A BitmapData argument's pixels; null for anything else or a disposed one.
Pixels Source(const Value& v) {
    BitmapState* s = StateOf(v);
    return s ? s->pixels : nullptr;
}

// Half-open pixel areas.
struct Area {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};
Area RectArg(Machine& m, const Value& r) {
    const int x = IntField(m, r, "x"), y = IntField(m, r, "y");
    return {x, y, x + IntField(m, r, "width"), y + IntField(m, r, "height")};
}
Area Cut(Area a, const raster::Bitmap& b) {
    return {std::max(a.x0, 0), std::max(a.y0, 0), std::min(a.x1, b.width), std::min(a.y1, b.height)};
}
void PointArg(Machine& m, const Value& p, int& x, int& y) {
    x = IntField(m, p, "x");
    y = IntField(m, p, "y");
}
uint32_t& At(raster::Bitmap& b, int x, int y) { return b.pixels[static_cast<size_t>(y) * b.width + x]; }

// A source rectangle copied to a destination point, cut to both bitmaps: (sx, sy) of the source
// lands on (dx, dy) of the destination, w x h pixels.
struct Blit {
    int sx = 0, sy = 0, dx = 0, dy = 0, w = 0, h = 0;
};
Blit Fit(Area r, int px, int py, const raster::Bitmap& src, const raster::Bitmap& dst) {
    if (r.x0 < 0) px -= r.x0, r.x0 = 0;
    if (r.y0 < 0) py -= r.y0, r.y0 = 0;
    if (px < 0) r.x0 -= px, px = 0;
    if (py < 0) r.y0 -= py, py = 0;
    r.x1 = std::min(r.x1, src.width);
    r.y1 = std::min(r.y1, src.height);
    Blit b{r.x0,
           r.y0,
           px,
           py,
           std::max(0, std::min(r.x1 - r.x0, dst.width - px)),
           std::max(0, std::min(r.y1 - r.y0, dst.height - py))};
    if (b.w == 0 || b.h == 0) b.w = b.h = 0;
    return b;
}
// The blit's source pixels, copied first so that a bitmap can be its own source.
std::vector<uint32_t> Take(raster::Bitmap& src, const Blit& b) {
    std::vector<uint32_t> out(static_cast<size_t>(b.w) * b.h);
    for (int y = 0; y < b.h; ++y)
        std::copy_n(&At(src, b.sx, b.sy + y), b.w, out.begin() + static_cast<ptrdiff_t>(y) * b.w);
    return out;
}
// Runs `f(source, destination, x, y)` for every pixel of the blit, storing what it returns.
template <class F>
void ForBlit(Machine& m, raster::Bitmap& src, raster::Bitmap& dst, const Blit& b, F f) {
    Charge(m, double(b.w) * b.h);
    const std::vector<uint32_t> from = Take(src, b);
    for (int y = 0; y < b.h; ++y) {
        uint32_t* row = &At(dst, b.dx, b.dy + y);
        for (int x = 0; x < b.w; ++x) row[x] = f(from[static_cast<size_t>(y) * b.w + x], row[x], x, y);
    }
}
// The common (sourceBitmap, sourceRect, destPoint) arguments.
struct Copy {
    Pixels src;
    Area rect;
    int px = 0, py = 0;
};
Copy CopyArgs(Machine& m, std::span<const Value> args) {
    Copy c{Source(Arg(args, 0)), RectArg(m, Arg(args, 1))};
    PointArg(m, Arg(args, 2), c.px, c.py);
    return c;
}

// A new bitmap's state: w x h of `fill` (stored form), or no pixels when a side is out of range.
// Stops the script when the machine's budget for pixels would be passed.
std::unique_ptr<BitmapState> NewState(Machine& m, int w, int h, bool transparent, uint32_t fill) {
    auto s = std::make_unique<BitmapState>();
    s->transparent = transparent;
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return s;
    const size_t bytes = static_cast<size_t>(w) * h * 4;
    if (m.bitmapBytes + bytes > kMaxBitmapBytes) m.Abort("too much bitmap memory");
    Charge(m, double(w) * h);
    s->pixels = std::make_shared<raster::Bitmap>();
    s->pixels->live = true;  // scripts draw into it while it shows
    s->pixels->width = w;
    s->pixels->height = h;
    s->pixels->pixels.assign(static_cast<size_t>(w) * h, fill);
    s->bytes = bytes;
    s->budget = &m.bitmapBytes;
    m.bitmapBytes += bytes;
    return s;
}
Object* NewBitmap(Machine& m, const Classes& k, int w, int h, bool transparent, uint32_t fill = 0) {
    Object* o = m.NewObject(k.bitmap);
    o->data = NewState(m, w, h, transparent, fill);
    return o;
}
Value NewRectangle(Machine& m, const Classes& k, double x, double y, double w, double h) {
    const Value args[] = {Value(x), Value(y), Value(w), Value(h)};
    return m.Construct(Value(k.rectangle), args);
}

raster::ColorTransform SaneColor(raster::ColorTransform c) {
    for (size_t i = 0; i < 8; ++i) {
        double& v = c.*kColorMembers[i];
        v = std::isfinite(v) ? std::clamp(v, -1e4, 1e4) : i < 4 ? 1 : 0;
    }
    return c;
}

// The generator noise and dissolves draw from: the same seed gives the same pixels.
struct Random {
    uint32_t s;
    explicit Random(double seed) : s(ToUint32(seed) % 2147483647u) {
        if (s == 0) s = 1;
    }
    uint32_t Next() { return s = static_cast<uint32_t>(uint64_t(s) * 16807 % 2147483647u); }
};

// --- noise

Value Noise(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    Random r(m.ToNumber(Arg(args, 0)));
    int low = args.size() > 1 ? std::clamp(Int(m, args[1]), 0, 255) : 0;
    int high = args.size() > 2 ? std::clamp(Int(m, args[2]), 0, 255) : 255;
    if (low > high) std::swap(low, high);
    const uint32_t channels = args.size() > 3 ? ToUint32(m.ToNumber(args[3])) : 7;
    const bool gray = m.ToBoolean(Arg(args, 4));
    raster::Bitmap& b = *t.px;
    Charge(m, double(b.width) * b.height);
    auto draw = [&] { return static_cast<uint32_t>(low) + r.Next() % static_cast<uint32_t>(high - low + 1); };
    for (uint32_t& p : b.pixels) {
        uint32_t argb = 0;
        if (gray) {
            const uint32_t v = draw();
            argb = v << 16 | v << 8 | v;
        } else {
            for (int c = 0; c < 3; ++c)
                if (channels & (1u << c)) argb |= draw() << (16 - 8 * c);
        }
        argb |= (channels & 8 ? draw() : 255) << 24;
        p = StoredFor(t, argb);
    }
    return Value();
}

// Gradient noise on a lattice: a shuffled table of 256 corners, each with one of eight gradient
// directions. Corners wrap after `period` cells, which makes the noise tile.
struct Lattice {
    uint8_t perm[256];
    explicit Lattice(Random& r) {
        std::iota(std::begin(perm), std::end(perm), 0);
        for (int i = 255; i > 0; --i) std::swap(perm[i], perm[r.Next() % static_cast<uint32_t>(i + 1)]);
    }
    double Corner(int x, int y, double fx, double fy) const {
        static constexpr double kDir[8][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        const double* g = kDir[perm[(perm[x & 255] + y) & 255] & 7];
        return g[0] * fx + g[1] * fy;
    }
    // In -1..1.
    double At(double x, double y, double periodX, double periodY) const {
        const double cx = std::floor(x), cy = std::floor(y), fx = x - cx, fy = y - cy;
        auto wrap = [](double c, double period) {
            double v = std::fmod(c, period);
            return static_cast<int>(v < 0 ? v + period : v);
        };
        const int x0 = wrap(cx, periodX), y0 = wrap(cy, periodY);
        const int x1 = wrap(x0 + 1.0, periodX), y1 = wrap(y0 + 1.0, periodY);
        auto fade = [](double f) { return f * f * f * (f * (f * 6 - 15) + 10); };
        const double u = fade(fx), v = fade(fy);
        const double a = Corner(x0, y0, fx, fy) + u * (Corner(x1, y0, fx - 1, fy) - Corner(x0, y0, fx, fy));
        const double b = Corner(x0, y1, fx, fy - 1) + u * (Corner(x1, y1, fx - 1, fy - 1) - Corner(x0, y1, fx, fy - 1));
        return a + v * (b - a);
    }
};

// perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise, channelOptions,
// grayScale, offsets): each octave twice the frequency and half the weight of the one before.
// Fractal noise is the signed sum around mid-grey, turbulence the sum of magnitudes from black.
Value PerlinNoise(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const double baseX = m.ToNumber(Arg(args, 0)), baseY = m.ToNumber(Arg(args, 1));
    const int octaves = std::clamp(Int(m, Arg(args, 2)), 0, kMaxOctaves);
    Random r(m.ToNumber(Arg(args, 3)));
    const bool stitch = m.ToBoolean(Arg(args, 4)), fractal = m.ToBoolean(Arg(args, 5));
    const uint32_t channels = args.size() > 6 ? ToUint32(m.ToNumber(args[6])) : 7;
    const bool gray = m.ToBoolean(Arg(args, 7));
    std::vector<std::pair<double, double>> offsets(octaves, {0, 0});
    if (Arg(args, 8).IsObject())
        for (int o = 0; o < octaves; ++o) {
            const Value p = m.ArrayGet(args[8].object, static_cast<uint32_t>(o));
            const double x = m.ToNumber(m.GetMember(p, "x")), y = m.ToNumber(m.GetMember(p, "y"));
            offsets[o] = {std::isfinite(x) ? x : 0, std::isfinite(y) ? y : 0};
        }
    raster::Bitmap& b = *t.px;
    const Lattice lattices[4] = {Lattice(r), Lattice(r), Lattice(r), Lattice(r)};
    // Per octave: frequency (cells per pixel) and where the lattice wraps.
    struct Octave {
        double fx, fy, px, py, weight;
    };
    std::vector<Octave> plan;
    double weight = 1;
    for (int o = 0; o < octaves; ++o, weight /= 2) {
        Octave k{std::ldexp(1.0, o) / baseX, std::ldexp(1.0, o) / baseY, 256, 256, weight};
        if (!std::isfinite(k.fx) || k.fx < 0) k.fx = 0;
        if (!std::isfinite(k.fy) || k.fy < 0) k.fy = 0;
        if (stitch) {
            k.px = std::max(1.0, std::round(b.width * k.fx));
            k.py = std::max(1.0, std::round(b.height * k.fy));
            k.fx = k.px / b.width;
            k.fy = k.py / b.height;
        }
        plan.push_back(k);
    }
    const int used = gray ? 1 + (channels & 8 ? 1 : 0) : std::popcount(channels & 15u);
    Charge(m, 4.0 * b.width * b.height * octaves * used);
    auto sample = [&](const Lattice& l, int x, int y) {
        double sum = 0;
        for (size_t o = 0; o < plan.size(); ++o) {
            const Octave& k = plan[o];
            const double n = l.At((x + offsets[o].first) * k.fx, (y + offsets[o].second) * k.fy, k.px, k.py);
            sum += k.weight * (fractal ? n : std::abs(n));
        }
        const double c = fractal ? (sum + 1) * 127.5 : sum * 255;
        return static_cast<uint32_t>(std::clamp(c, 0.0, 255.0));
    };
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            uint32_t argb = 0;
            if (gray) {
                const uint32_t v = sample(lattices[0], x, y);
                argb = v << 16 | v << 8 | v;
            } else {
                for (int c = 0; c < 3; ++c)
                    if (channels & (1u << c)) argb |= sample(lattices[c], x, y) << (16 - 8 * c);
            }
            argb |= (channels & 8 ? sample(lattices[3], x, y) : 255) << 24;
            At(b, x, y) = StoredFor(t, argb);
        }
    return Value();
}

// pixelDissolve(sourceBitmap, sourceRect, destPoint, randomSeed, numberOfPixels, fillColor):
// the area's pixels are visited in an order that runs through every one of them before any
// comes again, the seed being where in that order to go on; returns where it stopped, for the
// next call. A bitmap dissolving into itself takes the fill colour instead.
Value PixelDissolve(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    uint32_t state = ToUint32(m.ToNumber(Arg(args, 3)));
    const bool counted = args.size() > 4;
    const int asked = counted ? Int(m, args[4]) : 0;
    const uint32_t fill = StoredFor(t, Color(m, Arg(args, 5)));
    if (!c.src) return Value(double(state));
    const Blit b = Fit(c.rect, c.px, c.py, *c.src, *t.px);
    const uint32_t n = static_cast<uint32_t>(b.w) * static_cast<uint32_t>(b.h);
    if (n == 0) return Value(double(state));
    const uint32_t count = std::clamp<int64_t>(counted ? asked : n / 30, 0, n);
    uint32_t size = 1;
    while (size < n) size <<= 1;
    state &= size - 1;
    Charge(m, count);
    const bool self = c.src.get() == t.px.get();
    const std::vector<uint32_t> from = Take(*c.src, b);
    for (uint32_t i = 0; i < count; ++i) {
        do state = (state * 1664525u + 1013904223u) & (size - 1);
        while (state >= n);
        At(*t.px, b.dx + static_cast<int>(state % b.w), b.dy + static_cast<int>(state / b.w)) =
            self ? fill : Keep(t, from[state]);
    }
    return Value(double(state));
}

// --- the rest of the methods

// hitTest(firstPoint, firstAlphaThreshold, secondObject, secondBitmapPoint, secondAlphaThreshold):
// whether a pixel at least as opaque as the threshold lies at a point, in a rectangle or under
// one of the other bitmap's. Points and rectangles are in the coordinates firstPoint places
// this bitmap in.
Value HitTest(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    int fx, fy;
    PointArg(m, Arg(args, 0), fx, fy);
    const uint32_t t1 = static_cast<uint32_t>(std::clamp(Int(m, Arg(args, 1)), 0, 255));
    const Value& second = Arg(args, 2);
    const Pixels other = Source(second);
    Area area;
    int sx = 0, sy = 0;
    uint32_t t2 = 1;
    if (other) {
        PointArg(m, Arg(args, 3), sx, sy);
        if (args.size() > 4) t2 = static_cast<uint32_t>(std::clamp(Int(m, args[4]), 0, 255));
        area = {sx, sy, sx + other->width, sy + other->height};
    } else if (StateOf(second)) {
        return Value(false);
    } else if (!m.GetMember(second, "width").IsUndefined()) {
        area = RectArg(m, second);
    } else {
        PointArg(m, second, area.x0, area.y0);
        area.x1 = area.x0 + 1;
        area.y1 = area.y0 + 1;
    }
    raster::Bitmap& b = *t.px;
    const Area a = Cut({area.x0 - fx, area.y0 - fy, area.x1 - fx, area.y1 - fy}, b);
    if (a.Empty()) return Value(false);
    Charge(m, double(a.x1 - a.x0) * (a.y1 - a.y0));
    for (int y = a.y0; y < a.y1; ++y)
        for (int x = a.x0; x < a.x1; ++x) {
            if ((At(b, x, y) >> 24) < t1) continue;
            if (!other || (At(*other, x + fx - sx, y + fy - sy) >> 24) >= t2) return Value(true);
        }
    return Value(false);
}

// threshold(sourceBitmap, sourceRect, destPoint, operation, threshold, color, mask, copySource):
// the pixels whose masked colour passes the test against the masked threshold become `color`;
// the others are copied from the source with copySource or else left. Returns how many passed.
Value Threshold(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    const std::string op = m.ToString(Arg(args, 3));
    const uint32_t mask = args.size() > 6 ? Color(m, args[6]) : 0xFFFFFFFFu;
    const uint32_t level = Color(m, Arg(args, 4)) & mask, color = StoredFor(t, Color(m, Arg(args, 5)));
    const bool copy = m.ToBoolean(Arg(args, 7));
    static const char* const kOps[] = {"<", "<=", ">", ">=", "==", "!="};
    const auto found = std::find_if(std::begin(kOps), std::end(kOps), [&](const char* o) { return op == o; });
    if (!c.src || found == std::end(kOps)) return Value(0.0);
    const long which = found - std::begin(kOps);
    double passed = 0;
    ForBlit(m, *c.src, *t.px, Fit(c.rect, c.px, c.py, *c.src, *t.px), [&](uint32_t s, uint32_t d, int, int) {
        const uint32_t v = Straight(s) & mask;
        const bool pass = which == 0   ? v < level
                          : which == 1 ? v <= level
                          : which == 2 ? v > level
                          : which == 3 ? v >= level
                          : which == 4 ? v == level
                                       : v != level;
        if (pass) ++passed;
        return pass ? color : copy ? Keep(t, s) : d;
    });
    return Value(passed);
}

// copyPixels(sourceBitmap, sourceRect, destPoint, alphaBitmap, alphaPoint, mergeAlpha): the
// source's pixels, their alpha first multiplied by the alpha bitmap's (alphaPoint matching the
// rectangle's corner; beyond it, transparent), then laid over what is there with mergeAlpha or
// put in its place.
Value CopyPixels(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    const Pixels alpha = Source(Arg(args, 3));
    int ax = 0, ay = 0;
    PointArg(m, Arg(args, 4), ax, ay);
    const bool merge = m.ToBoolean(Arg(args, 5));
    if (!c.src) return Value();
    const Blit b = Fit(c.rect, c.px, c.py, *c.src, *t.px);
    // Where the blit's first pixel falls in the alpha bitmap.
    const int ox = ax + b.sx - c.rect.x0, oy = ay + b.sy - c.rect.y0;
    ForBlit(m, *c.src, *t.px, b, [&](uint32_t s, uint32_t d, int x, int y) {
        if (alpha) {
            const int x2 = ox + x, y2 = oy + y;
            const bool in = x2 >= 0 && y2 >= 0 && x2 < alpha->width && y2 < alpha->height;
            s = Scale(s, in ? At(*alpha, x2, y2) >> 24 : 0);
        }
        return Keep(t, merge ? Over(s, d) : s);
    });
    return Value();
}

// Channel numbers as scripts give them (1 red, 2 green, 4 blue, 8 alpha) to their bit offset.
int ChannelShift(uint32_t channel) {
    switch (channel) {
        case 1:
            return 16;
        case 2:
            return 8;
        case 4:
            return 0;
        case 8:
            return 24;
        default:
            return -1;
    }
}

Value CopyChannel(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    const int from = ChannelShift(Color(m, Arg(args, 3))), to = ChannelShift(Color(m, Arg(args, 4)));
    if (!c.src || from < 0 || to < 0 || (to == 24 && !t.transparent)) return Value();
    ForBlit(m, *c.src, *t.px, Fit(c.rect, c.px, c.py, *c.src, *t.px), [&](uint32_t s, uint32_t d, int, int) {
        const uint32_t v = (Straight(s) >> from & 255) << to;
        return StoredFor(t, (Straight(d) & ~(255u << to)) | v);
    });
    return Value();
}

// merge(sourceBitmap, sourceRect, destPoint, redMultiplier, greenMultiplier, blueMultiplier,
// alphaMultiplier): each channel mixed, the source weighing multiplier/256.
Value Merge(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    uint32_t mult[4];  // alpha, red, green, blue
    for (int i = 0; i < 4; ++i) mult[(i + 1) % 4] = static_cast<uint32_t>(std::clamp(Int(m, Arg(args, 3 + i)), 0, 256));
    if (!c.src) return Value();
    ForBlit(m, *c.src, *t.px, Fit(c.rect, c.px, c.py, *c.src, *t.px), [&](uint32_t s, uint32_t d, int, int) {
        const uint32_t a = Straight(s), b = Straight(d);
        uint32_t out = 0;
        for (int i = 0; i < 4; ++i) {
            const int shift = 24 - 8 * i;
            out |= ((a >> shift & 255) * mult[i] + (b >> shift & 255) * (256 - mult[i])) / 256 << shift;
        }
        return StoredFor(t, out);
    });
    return Value();
}

// paletteMap(sourceBitmap, sourceRect, destPoint, redArray, greenArray, blueArray, alphaArray):
// each channel looks up a colour in its array (no array: the channel as it is), and the four
// are added up.
Value PaletteMap(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    std::vector<uint32_t> tables(4 * 256);  // red, green, blue, alpha
    for (int i = 0; i < 4; ++i) {
        const Value& a = Arg(args, 3 + i);
        const int shift = i == 3 ? 24 : 16 - 8 * i;
        for (uint32_t v = 0; v < 256; ++v)
            tables[i * 256 + v] = a.IsObject() ? Color(m, m.ArrayGet(a.object, v)) : v << shift;
    }
    if (!c.src) return Value();
    ForBlit(m, *c.src, *t.px, Fit(c.rect, c.px, c.py, *c.src, *t.px), [&](uint32_t s, uint32_t, int, int) {
        const uint32_t v = Straight(s);
        return StoredFor(t, tables[v >> 16 & 255] + tables[256 + (v >> 8 & 255)] + tables[512 + (v & 255)] +
                                tables[768 + (v >> 24)]);
    });
    return Value();
}

// compare(other): 0 when every pixel is the same, else a new bitmap of the differences (per
// channel, wrapping below 0): opaque where the colour differs, white with the alpha difference
// where only alpha does, transparent where nothing does. -1 for no bitmap, -2 for a disposed
// one, -3 and -4 when the widths or heights differ.
Value Compare(Machine& m, const Classes& k, const Target& t, std::span<const Value> args) {
    BitmapState* s = StateOf(Arg(args, 0));
    if (!s) return Value(-1.0);
    const Pixels other = s->pixels;
    const raster::Bitmap& a = *t.px;
    if (!other || a.width == 0) return Value(-2.0);
    if (other->width != a.width) return Value(-3.0);
    if (other->height != a.height) return Value(-4.0);
    Charge(m, double(a.width) * a.height);
    if (other->pixels == a.pixels) return Value(0.0);
    Object* o = NewBitmap(m, k, a.width, a.height, true);
    raster::Bitmap& out = *static_cast<BitmapState*>(o->data.get())->pixels;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const uint32_t p = Straight(a.pixels[i]), q = Straight(other->pixels[i]);
        uint32_t diff = 0;
        for (int shift = 0; shift < 32; shift += 8) diff |= (((p >> shift) - (q >> shift)) & 255) << shift;
        out.pixels[i] = Stored(diff & 0xFFFFFF ? diff | 0xFF000000u : diff ? diff | 0xFFFFFF : 0);
    }
    return Value(o);
}

// applyFilter(sourceBitmap, sourceRect, destPoint, filter): the rectangle of the source run
// through the filter (beyond the rectangle counts as transparent) into the destination; 0 when
// done, -1 when the arguments are no bitmap or no filter.
Value ApplyFilter(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Copy c = CopyArgs(m, args);
    const std::optional<swf::Filter> f = FilterOf(m, Arg(args, 3));
    if (!c.src || !f) return Value(-1.0);
    const Blit b = Fit(c.rect, c.px, c.py, *c.src, *t.px);
    if (b.w == 0) return Value(0.0);
    Charge(m, 16.0 * b.w * b.h);
    raster::Surface s(b.w, b.h);
    const std::vector<uint32_t> from = Take(*c.src, b);
    std::copy(from.begin(), from.end(), s.data());
    raster::FilterScratch scratch;
    swf::ApplyFilter(*f, s, {0, 0, b.w, b.h}, 1, scratch);
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) At(*t.px, b.dx + x, b.dy + y) = Keep(t, s.Pixel(x, y));
    return Value(0.0);
}

// The source bitmap drawn into `into` under `m` (its pixels to into's) as the renderer draws a
// bitmap fill: a rectangle the size of the source.
void DrawBitmap(const Pixels& from, raster::Bitmap& into, const raster::Matrix& m, const raster::ColorTransform& cx,
                bool smooth) {
    raster::Surface s(into.width, into.height);
    std::copy(into.pixels.begin(), into.pixels.end(), s.data());
    raster::Layer layer;
    raster::Paint p;
    p.kind = raster::Paint::Kind::Bitmap;
    p.bitmap = from;
    p.bitmapMatrix = {kTwips, 0, 0, kTwips, 0, 0};
    p.repeat = false;
    p.smooth = smooth;
    layer.fills.push_back(p);
    const float w = static_cast<float>(from->width * kTwips), h = static_cast<float>(from->height * kTwips);
    const float corners[5][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        raster::Edge e;
        e.x0 = corners[i][0];
        e.y0 = corners[i][1];
        e.x1 = corners[i + 1][0];
        e.y1 = corners[i + 1][1];
        e.fill1 = 1;
        layer.edges.push_back(e);
    }
    raster::Shape shape;
    shape.layers.push_back(std::move(layer));
    raster::Renderer r(s);
    r.DrawShape(shape, raster::Matrix{m.a / kTwips, m.b / kTwips, m.c / kTwips, m.d / kTwips, m.tx, m.ty}, cx);
    std::copy(s.data(), s.data() + into.pixels.size(), into.pixels.begin());
}

// draw(source, matrix, colorTransform, blendMode, clipRect, smoothing): a clip as it shows now,
// or another bitmap, drawn over the pixels; the matrix maps the source's pixels to this bitmap's.
// Only the normal blend is drawn.
Value Draw(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    raster::Matrix mx;
    if (Arg(args, 1).IsObject()) mx = MatrixOf(m, args[1]);
    const raster::ColorTransform cx =
        Arg(args, 2).IsObject() ? SaneColor(ColorOf(m, args[2])) : raster::ColorTransform{};
    const bool clipped = Arg(args, 4).IsObject();
    const Area clip = clipped ? RectArg(m, args[4]) : Area{};
    const bool smooth = m.ToBoolean(Arg(args, 5));
    const Pixels src = Source(Arg(args, 0));
    const Clip c = src ? nullptr : m.ClipOf(Arg(args, 0));
    raster::Bitmap& b = *t.px;
    if ((!src && !(c && m.HostRef().IsClip(c))) || !mx.IsFinite() || b.width == 0) return Value();
    Charge(m, 4.0 * b.width * b.height);
    const std::vector<uint32_t> before = clipped ? b.pixels : std::vector<uint32_t>{};
    if (src)
        DrawBitmap(src, b, mx, cx, smooth);
    else
        m.HostRef().DrawClip(
            c, b, raster::Matrix{mx.a / kTwips, mx.b / kTwips, mx.c / kTwips, mx.d / kTwips, mx.tx, mx.ty}, cx, smooth);
    const Area keep = Cut(clip, b);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            uint32_t& p = At(b, x, y);
            if (clipped && !(x >= keep.x0 && x < keep.x1 && y >= keep.y0 && y < keep.y1))
                p = before[static_cast<size_t>(y) * b.width + x];
            p = Keep(t, p);
        }
    return Value();
}

Value FloodFill(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const int x0 = Int(m, Arg(args, 0)), y0 = Int(m, Arg(args, 1));
    const uint32_t fill = StoredFor(t, Color(m, Arg(args, 2)));
    raster::Bitmap& b = *t.px;
    if (x0 < 0 || y0 < 0 || x0 >= b.width || y0 >= b.height) return Value();
    const uint32_t old = At(b, x0, y0);
    if (old == fill) return Value();
    Charge(m, double(b.width) * b.height);
    // Row runs: each point taken fills its run, then seeds the rows above and below.
    std::vector<std::pair<int, int>> todo{{x0, y0}};
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (At(b, x, y) != old) continue;
        int l = x, r = x;
        while (l > 0 && At(b, l - 1, y) == old) --l;
        while (r + 1 < b.width && At(b, r + 1, y) == old) ++r;
        for (int i = l; i <= r; ++i) At(b, i, y) = fill;
        for (const int ny : {y - 1, y + 1}) {
            if (ny < 0 || ny >= b.height) continue;
            for (int i = l; i <= r; ++i)
                if (At(b, i, ny) == old && (i == l || At(b, i - 1, ny) != old)) todo.push_back({i, ny});
        }
    }
    return Value();
}

Value ColorTransformMethod(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const Area r = RectArg(m, Arg(args, 0));
    if (!Arg(args, 1).IsObject()) return Value();
    const raster::ColorTransform cx = SaneColor(ColorOf(m, args[1]));
    const Area a = Cut(r, *t.px);
    if (a.Empty()) return Value();
    Charge(m, double(a.x1 - a.x0) * (a.y1 - a.y0));
    for (int y = a.y0; y < a.y1; ++y)
        for (int x = a.x0; x < a.x1; ++x) {
            uint32_t& p = At(*t.px, x, y);
            const uint32_t v = Straight(p);
            const raster::Rgba c = cx.Apply({static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                             static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 24)});
            p = Keep(t, raster::Premultiply(c));
        }
    return Value();
}

// getColorBoundsRect(mask, color, findColor): the smallest rectangle holding every pixel whose
// masked colour is `color` (or, findColor false, is not); all zero when there is none.
Value ColorBounds(Machine& m, const Classes& k, const Target& t, std::span<const Value> args) {
    const uint32_t mask = Color(m, Arg(args, 0)), color = Color(m, Arg(args, 1));
    const bool find = args.size() < 3 || m.ToBoolean(args[2]);
    const raster::Bitmap& b = *t.px;
    Charge(m, double(b.width) * b.height);
    Area box{b.width, b.height, 0, 0};
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (((Straight(b.pixels[static_cast<size_t>(y) * b.width + x]) & mask) == color) == find)
                box = {std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1), std::max(box.y1, y + 1)};
    if (box.Empty()) box = {};
    return NewRectangle(m, k, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
}

// scroll(x, y): the picture moved by (x, y); what it uncovers keeps the pixels it had.
Value Scroll(Machine& m, const Classes&, const Target& t, std::span<const Value> args) {
    const int dx = Int(m, Arg(args, 0)), dy = Int(m, Arg(args, 1));
    raster::Bitmap& b = *t.px;
    const Blit bl = Fit({0, 0, b.width, b.height}, dx, dy, b, b);
    ForBlit(m, b, b, bl, [](uint32_t s, uint32_t, int, int) { return s; });
    return Value();
}

// A method on the prototype that runs on the object's pixels; on anything else, or once
// disposed, it does nothing and returns `otherwise`.
using Body = Value (*)(Machine&, const Classes&, const Target&, std::span<const Value>);
void Add(Machine& m, Object* proto, const char* name, const Classes& k, Body fn, Value otherwise = Value()) {
    m.Method(proto, name, [k, fn, otherwise](Machine& mm, const Value& self, std::span<const Value> args) {
        BitmapState* s = StateOf(self);
        if (!s || !s->pixels) return otherwise;
        return fn(mm, k, Target{self.object, s->pixels, s->transparent}, args);
    });
}

void InstallMethods(Machine& m, Object* proto, const Classes& k) {
    Add(
        m, proto, "getPixel", k,
        [](Machine& mm, const Classes&, const Target& t, std::span<const Value> args) {
            const int x = Int(mm, Arg(args, 0)), y = Int(mm, Arg(args, 1));
            if (x < 0 || y < 0 || x >= t.px->width || y >= t.px->height) return Value(0.0);
            return Value(double(Straight(At(*t.px, x, y)) & 0xFFFFFF));
        },
        Value(-1.0));
    // Alpha 128 and up reads back negative, as the 32-bit value a script's bit operators make.
    Add(
        m, proto, "getPixel32", k,
        [](Machine& mm, const Classes&, const Target& t, std::span<const Value> args) {
            const int x = Int(mm, Arg(args, 0)), y = Int(mm, Arg(args, 1));
            if (x < 0 || y < 0 || x >= t.px->width || y >= t.px->height) return Value(0.0);
            return Value(double(static_cast<int32_t>(Straight(At(*t.px, x, y)))));
        },
        Value(-1.0));
    // setPixel keeps the pixel's alpha; setPixel32 sets it too (except on an opaque bitmap).
    Add(m, proto, "setPixel", k, [](Machine& mm, const Classes&, const Target& t, std::span<const Value> args) {
        const int x = Int(mm, Arg(args, 0)), y = Int(mm, Arg(args, 1));
        const uint32_t rgb = Color(mm, Arg(args, 2)) & 0xFFFFFF;
        if (x < 0 || y < 0 || x >= t.px->width || y >= t.px->height) return Value();
        uint32_t& p = At(*t.px, x, y);
        p = StoredFor(t, (Straight(p) & 0xFF000000u) | rgb);
        return Value();
    });
    Add(m, proto, "setPixel32", k, [](Machine& mm, const Classes&, const Target& t, std::span<const Value> args) {
        const int x = Int(mm, Arg(args, 0)), y = Int(mm, Arg(args, 1));
        const uint32_t argb = Color(mm, Arg(args, 2));
        if (x >= 0 && y >= 0 && x < t.px->width && y < t.px->height) At(*t.px, x, y) = StoredFor(t, argb);
        return Value();
    });
    Add(m, proto, "fillRect", k, [](Machine& mm, const Classes&, const Target& t, std::span<const Value> args) {
        const Area r = RectArg(mm, Arg(args, 0));
        const uint32_t fill = StoredFor(t, Color(mm, Arg(args, 1)));
        const Area a = Cut(r, *t.px);
        if (a.Empty()) return Value();
        Charge(mm, double(a.x1 - a.x0) * (a.y1 - a.y0));
        for (int y = a.y0; y < a.y1; ++y) std::fill_n(&At(*t.px, a.x0, y), a.x1 - a.x0, fill);
        return Value();
    });
    Add(m, proto, "clone", k, [](Machine& mm, const Classes& kk, const Target& t, std::span<const Value>) {
        Object* o = NewBitmap(mm, kk, t.px->width, t.px->height, t.transparent);
        if (BitmapState* s = StateOf(Value(o)); s && s->pixels) s->pixels->pixels = t.px->pixels;
        return Value(o);
    });
    // dispose(): the pixels go (and clips showing them show nothing); width and height read -1.
    Add(m, proto, "dispose", k, [](Machine&, const Classes&, const Target& t, std::span<const Value>) {
        t.px->width = t.px->height = 0;
        std::vector<uint32_t>().swap(t.px->pixels);
        if (BitmapState* s = StateOf(Value(t.self))) s->Release();
        return Value();
    });
    Add(m, proto, "copyPixels", k, CopyPixels);
    Add(m, proto, "copyChannel", k, CopyChannel);
    Add(m, proto, "colorTransform", k, ColorTransformMethod);
    Add(m, proto, "floodFill", k, FloodFill);
    Add(m, proto, "getColorBoundsRect", k, ColorBounds);
    Add(m, proto, "hitTest", k, HitTest, Value(false));
    Add(m, proto, "noise", k, Noise);
    Add(m, proto, "perlinNoise", k, PerlinNoise);
    Add(m, proto, "pixelDissolve", k, PixelDissolve);
    Add(m, proto, "threshold", k, Threshold);
    Add(m, proto, "scroll", k, Scroll);
    Add(m, proto, "merge", k, Merge);
    Add(m, proto, "paletteMap", k, PaletteMap);
    Add(m, proto, "compare", k, Compare, Value(-2.0));
    Add(m, proto, "applyFilter", k, ApplyFilter, Value(-1.0));
    Add(m, proto, "draw", k, Draw);
    // generateFilterRect(sourceRect, filter): the rectangle grown by what the filter adds around it.
    Add(m, proto, "generateFilterRect", k,
        [](Machine& mm, const Classes& kk, const Target&, std::span<const Value> args) {
            auto field = [&](const char* name) { return mm.ToNumber(mm.GetMember(Arg(args, 0), name)); };
            const double x = field("x"), y = field("y"), w = field("width"), h = field("height");
            const std::optional<swf::Filter> f = FilterOf(mm, Arg(args, 1));
            swf::FilterGrowth g;
            if (f) g = swf::FilterListGrowth(std::span(&*f, 1), 1);
            return NewRectangle(mm, kk, x - g.left, y - g.top, w + g.left + g.right, h + g.top + g.bottom);
        });
}

}  // namespace

void InstallBitmapData(Machine& m) {
    const Value flash = m.Get(m.global, "flash");
    if (!flash.IsObject()) return;
    const Value geom = m.Get(flash.object, "geom");
    const Value rectangle = geom.IsObject() ? m.Get(geom.object, "Rectangle") : Value();
    if (!rectangle.IsObject()) return;
    Property* display = flash.object->FindAny("display");
    Object* ns = display && display->value.IsObject() ? display->value.object : nullptr;
    if (!ns) {
        ns = m.NewObject();
        flash.object->Define("display", Value(ns), kDontEnum | kSince8);
    }
    const Classes k{m.NewObject(), rectangle.object};
    m.builtinRoots.push_back(k.bitmap);
    m.builtinRoots.push_back(k.rectangle);
    // new BitmapData(width, height, transparent = true, fillColor = 0xFFFFFFFF).
    Object* ctor = m.NewFunction(
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            if (!self.object || self.object->data) return Value();
            const int w = Int(mm, Arg(args, 0)), h = Int(mm, Arg(args, 1));
            const bool transparent = args.size() < 3 || mm.ToBoolean(args[2]);
            const uint32_t fill = args.size() > 3 ? Color(mm, args[3]) : 0xFFFFFFFFu;
            self.object->data = NewState(mm, w, h, transparent, Stored(transparent ? fill : fill | 0xFF000000u));
            return Value();
        },
        k.bitmap);
    ns->Define("BitmapData", Value(ctor), kDontEnum);

    Object* proto = k.bitmap;
    auto size = [](bool width) {
        return [width](Machine&, const Value& self, std::span<const Value>) {
            const BitmapState* s = StateOf(self);
            if (!s) return Value();
            return Value(s->pixels ? double(width ? s->pixels->width : s->pixels->height) : -1.0);
        };
    };
    Accessor(m, proto, "width", size(true));
    Accessor(m, proto, "height", size(false));
    Accessor(m, proto, "transparent", [](Machine&, const Value& self, std::span<const Value>) {
        const BitmapState* s = StateOf(self);
        return s ? Value(s->transparent) : Value();
    });
    Accessor(m, proto, "rectangle", [k](Machine& mm, const Value& self, std::span<const Value>) {
        const BitmapState* s = StateOf(self);
        if (!s) return Value();
        const double w = s->pixels ? s->pixels->width : -1, h = s->pixels ? s->pixels->height : -1;
        return NewRectangle(mm, k, 0, 0, w, h);
    });
    InstallMethods(m, proto, k);

    // BitmapData.loadBitmap(linkageId): a copy of a library bitmap, or undefined.
    m.Method(ctor, "loadBitmap", [k](Machine& mm, const Value&, std::span<const Value> args) {
        const std::shared_ptr<const raster::Bitmap> lib = mm.HostRef().LibraryBitmap(mm.ToString(Arg(args, 0)));
        if (!lib || lib->pixels.size() != static_cast<size_t>(lib->width) * std::max(lib->height, 0)) return Value();
        Object* o = NewBitmap(mm, k, lib->width, lib->height, true);
        BitmapState* s = StateOf(Value(o));
        if (!s->pixels) return Value();
        s->pixels->pixels = lib->pixels;
        return Value(o);
    });

    // MovieClip.attachBitmap(bitmap, depth, pixelSnapping, smoothing): the clip shows the
    // bitmap's pixels at that depth, as they are from then on.
    m.Method(
        m.movieClipProto, "attachBitmap",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            const Pixels p = Source(Arg(args, 0));
            const int depth = Int(mm, Arg(args, 1));
            const bool smooth = mm.ToBoolean(Arg(args, 3));
            const Clip c = mm.ClipOf(self);
            if (p && c && mm.HostRef().IsClip(c)) mm.HostRef().AttachBitmap(c, p, depth, smooth);
            return Value();
        },
        kDontEnum | kSince8);
}

}  // namespace lumarel::engine::avm1
