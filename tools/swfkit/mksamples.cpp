// lumarel-mksamples OUTDIR: writes the sample movies bundled with Lumarel.
//
// Every motion is a function of the frame number with the movie's length as its period
// (or a divisor of it), so a movie that loops runs on without a jump; skyline instead
// tells one evening and stops on its last frame.
#include "tools/swfkit/swfkit.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

using namespace lumarel::swfkit;

namespace {

constexpr double kTau = 2 * std::numbers::pi;

// Small deterministic generator, so the samples come out the same on every build.
class Random {
public:
    explicit Random(std::uint32_t seed) : s_(seed) {}
    double Next() {  // [0, 1)
        s_ = s_ * 1664525u + 1013904223u;
        return (s_ >> 8) / 16777216.0;
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

private:
    std::uint32_t s_;
};

Matrix At(double xPx, double yPx) { return Matrix::Translate(Px(xPx), Px(yPx)); }

double Smooth(double t) {  // 0..1 ease in and out
    t = std::fmin(std::fmax(t, 0.0), 1.0);
    return t * t * (3 - 2 * t);
}

std::uint16_t FullStageGradient(Movie& m, double w, double h, Gradient g, double angle) {
    ShapeBuilder s;
    s.Style(s.AddFill(FillStyle::Linear(std::move(g), Matrix::GradientBox(0, 0, Px(w), Px(h), angle))))
        .Rectangle(0, 0, Px(w), Px(h));
    return m.DefineShape(s);
}

// A soft round glow: colour in the middle fading to transparent at radius r.
std::uint16_t Glow(Movie& m, double r, Rgba core, Rgba mid, int version = 3) {
    ShapeBuilder s;
    Gradient g;
    g.stops = {{0, core}, {110, mid}, {255, Rgba{mid.r, mid.g, mid.b, 0}}};
    s.Style(s.AddFill(FillStyle::Radial(g, Matrix::GradientBox(-Px(r), -Px(r), Px(2 * r), Px(2 * r)))))
        .Circle(0, 0, Px(r));
    return m.DefineShape(s, version);
}

// ---------------------------------------------------------------------------------------------
// aurora: night sky with drifting aurora curtains and coloured light, 800x600.

Movie Aurora() {
    const double W = 800, H = 600;
    const int N = 180;
    Movie m(Rect::Pixels(0, 0, W, H), 30.0, 8);
    m.Background(Rgba::Hex(0x020412));

    Gradient sky;
    sky.stops = {
        {0, Rgba::Hex(0x01020a)}, {120, Rgba::Hex(0x071535)}, {200, Rgba::Hex(0x142a55)}, {255, Rgba::Hex(0x2a1f4e)}};
    const std::uint16_t bg = FullStageGradient(m, W, H, sky, std::numbers::pi / 2);

    // Three layers of stars that twinkle out of step.
    Random rnd(7);
    std::uint16_t stars[3];
    for (int layer = 0; layer < 3; ++layer) {
        ShapeBuilder s;
        s.Style(s.AddFill(FillStyle::Solid(Rgba::Hex(layer == 1 ? 0xfff4d8 : 0xdfe8ff))));
        for (int i = 0; i < 40; ++i) {
            const double x = rnd.Range(0, W), y = rnd.Range(0, H * 0.7);
            s.Circle(Px(x), Px(y), Px(rnd.Range(0.6, layer == 2 ? 2.2 : 1.5)));
        }
        stars[layer] = m.DefineShape(s);
    }

    // Aurora curtains: wide wavy bands, bright near the lower edge, fading upwards.
    struct Curtain {
        std::uint16_t id;
        double y, phase, speed, sway;
        Rgba colour;
    };
    std::vector<Curtain> curtains;
    const Rgba curtainColours[3] = {Rgba::Hex(0x3dff9e), Rgba::Hex(0x39d3ff), Rgba::Hex(0xb35cff)};
    for (int c = 0; c < 3; ++c) {
        ShapeBuilder s;
        const double bandH = 170 - c * 25;
        Gradient g;
        const Rgba col = curtainColours[c];
        g.stops = {{0, Rgba{col.r, col.g, col.b, 0}},
                   {110, Rgba{col.r, col.g, col.b, 20}},
                   {190, Rgba{col.r, col.g, col.b, 80}},
                   {228, Rgba{col.r, col.g, col.b, 175}},
                   {255, Rgba{col.r, col.g, col.b, 0}}};
        s.Style(s.AddFill(FillStyle::Linear(
            g, Matrix::GradientBox(0, -Px(bandH + 20), Px(100), Px(bandH + 40), std::numbers::pi / 2))));
        // A ribbon: the lower edge waves, the upper edge follows it bandH higher.
        const double span = 1440, step = 240, A = 14 + 5 * c;
        const int segments = static_cast<int>(span / step);
        s.MoveTo(Px(-span / 2), 0);
        for (int k = 0; k < segments; ++k) {
            const double x = -span / 2 + k * step;
            s.CurveTo(Px(x + step / 2), Px((k % 2 ? 2 : -2) * A), Px(x + step), 0);
        }
        s.LineTo(Px(span / 2), -Px(bandH));
        for (int k = segments - 1; k >= 0; --k) {
            const double x = -span / 2 + k * step;
            s.CurveTo(Px(x + step / 2), Px(-bandH + (k % 2 ? 2 : -2) * A), Px(x), -Px(bandH));
        }
        s.Close();
        curtains.push_back({m.DefineShape(s), 250.0 + c * 45, c * 2.1, 1.0 + (c % 2), 0.18 + 0.05 * c, col});
    }

    // Drifting light blobs.
    struct Blob {
        std::uint16_t id;
        double cx, cy, ax, ay, fx, fy, phase, scale;
    };
    std::vector<Blob> blobs;
    const Rgba blobColours[5][2] = {{Rgba::Hex(0x7dffd0, 150), Rgba::Hex(0x1fae8a, 70)},
                                    {Rgba::Hex(0xff7de9, 130), Rgba::Hex(0x9c2a9a, 60)},
                                    {Rgba::Hex(0x9f8cff, 140), Rgba::Hex(0x4032a8, 60)},
                                    {Rgba::Hex(0x8cff7d, 120), Rgba::Hex(0x2f8a2a, 50)},
                                    {Rgba::Hex(0x7dc8ff, 140), Rgba::Hex(0x1d5aa8, 60)}};
    for (int i = 0; i < 5; ++i) {
        const std::uint16_t id = Glow(m, 150, blobColours[i][0], blobColours[i][1]);
        blobs.push_back({id, 150.0 + i * 125, 200.0 + (i % 3) * 60, 120.0 - i * 12, 70.0 + i * 8, 1.0 + (i % 2),
                         1.0 + ((i + 1) % 3 == 0), i * 1.3, 0.8 + 0.15 * (i % 3)});
    }

    // Mountains: a jagged far range, misty at its foot, and smooth dark hills in front.
    ShapeBuilder range;
    range.Style(range.AddFill(FillStyle::Solid(Rgba::Hex(0x0a0f2a))));
    range.MoveTo(0, Px(H)).LineTo(0, Px(450));
    for (double x = 40; x <= W; x += 40) {
        const double y = 455 - 55 * std::fabs(std::sin(x / 97.0)) - rnd.Range(0, 25);
        range.LineTo(Px(x), Px(y));
    }
    range.LineTo(Px(W), Px(H)).Close();
    const std::uint16_t rangeId = m.DefineShape(range);
    Gradient mist;
    mist.stops = {{0, Rgba::Hex(0x3dff9e, 0)}, {255, Rgba::Hex(0x6fd8c0, 60)}};
    ShapeBuilder haze;
    haze.Style(haze.AddFill(
                   FillStyle::Linear(mist, Matrix::GradientBox(0, Px(400), Px(W), Px(120), std::numbers::pi / 2))))
        .Rectangle(0, Px(400), Px(W), Px(H - 400));
    const std::uint16_t hazeId = m.DefineShape(haze);
    ShapeBuilder hills;
    hills.Style(hills.AddFill(FillStyle::Solid(Rgba::Hex(0x020309))));
    hills.MoveTo(0, Px(H)).LineTo(0, Px(520));
    double lx = 0, ly = 520;
    for (double x = 100; x <= W + 1; x += 100) {
        const double y = 515 + 22 * std::sin(x / 70.0);
        hills.CurveTo(Px((lx + x) / 2), Px((ly + y) / 2 - 14), Px(x), Px(y));
        lx = x;
        ly = y;
    }
    hills.LineTo(Px(W), Px(H)).Close();
    const std::uint16_t hillsId = m.DefineShape(hills);

    for (int f = 0; f < N; ++f) {
        const double t = kTau * f / N;
        if (f == 0) m.Place2(Place::Add(1, bg));
        for (int layer = 0; layer < 3; ++layer) {
            const double a = 0.55 + 0.45 * std::sin(t * (layer + 1) + layer * 2.0);
            Place p = f == 0 ? Place::Add(static_cast<std::uint16_t>(2 + layer), stars[layer])
                             : Place::Modify(static_cast<std::uint16_t>(2 + layer));
            m.Place2(p.Color(ColorTransform::Alpha(a)));
        }
        for (std::size_t i = 0; i < blobs.size(); ++i) {
            const Blob& b = blobs[i];
            const double x = b.cx + b.ax * std::sin(t * b.fx + b.phase);
            const double y = b.cy + b.ay * std::sin(t * b.fy + b.phase * 0.7);
            const double s = b.scale * (1 + 0.2 * std::sin(t * 2 + b.phase));
            const auto depth = static_cast<std::uint16_t>(10 + i);
            Place p = f == 0 ? Place::Add(depth, b.id) : Place::Modify(depth);
            ColorTransform cx =
                ColorTransform::Multiply(1.0 + 0.3 * std::sin(t + b.phase), 1.0, 1.0 + 0.3 * std::cos(t + b.phase),
                                         0.7 + 0.3 * std::sin(t * 3 + b.phase));
            m.Place2(p.At(At(x, y) * Matrix::Scale(s * 1.3, s)).Color(cx));
        }
        for (std::size_t c = 0; c < curtains.size(); ++c) {
            const Curtain& k = curtains[c];
            const double x = W / 2 + 160 * std::sin(t * k.speed + k.phase);
            const double sway = k.sway * std::sin(t * 2 + k.phase);
            const double stretch = 1 + 0.18 * std::sin(t * 3 + k.phase * 1.7);
            const auto depth = static_cast<std::uint16_t>(20 + c);
            Place p = f == 0 ? Place::Add(depth, k.id) : Place::Modify(depth);
            // Hue drift: swap some green for blue and red as the curtain moves.
            const double h = std::sin(t + k.phase);
            ColorTransform cx = ColorTransform::Multiply(1 + 0.5 * h, 1 - 0.25 * h, 1 + 0.3 * std::cos(t), 1);
            m.Place2(p.At(At(x, k.y) * Matrix::Skew(sway, 0) * Matrix::Scale(1, stretch)).Color(cx));
        }
        if (f == 0) {
            m.Place2(Place::Add(30, rangeId));
            m.Place2(Place::Add(31, hazeId));
            m.Place2(Place::Add(32, hillsId));
        }
        m.ShowFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// orbit: planets with moons (sprites inside sprites) around a glowing sun, 550x400.

Movie Orbit() {
    const double W = 550, H = 400;
    const int N = 144;
    Movie m(Rect::Pixels(0, 0, W, H), 24.0, 10);
    m.Background(Rgba::Hex(0x05030f));

    ShapeBuilder space;
    Gradient g;
    g.stops = {{0, Rgba::Hex(0x2a1a5e)}, {120, Rgba::Hex(0x120a30)}, {255, Rgba::Hex(0x05030f)}};
    g.spread = Spread::Pad;
    space.Style(space.AddFill(FillStyle::Radial(g, Matrix::GradientBox(-Px(100), -Px(150), Px(750), Px(700)))))
        .Rectangle(0, 0, Px(W), Px(H));
    const std::uint16_t spaceId = m.DefineShape(space);

    // Background stars.
    Random rnd(42);
    ShapeBuilder dust;
    dust.Style(dust.AddFill(FillStyle::Solid(Rgba::Hex(0xffffff, 170))));
    for (int i = 0; i < 70; ++i) dust.Circle(Px(rnd.Range(0, W)), Px(rnd.Range(0, H)), Px(rnd.Range(0.4, 1.3)));
    const std::uint16_t dustId = m.DefineShape(dust);

    // Orbit paths: thin ellipses, one dashed with round caps.
    const double cx = W / 2, cy = H / 2;
    const double orbitR[2][2] = {{120, 78}, {215, 150}};
    ShapeBuilder paths;
    LineStyle faint = LineStyle::Solid(Px(1), Rgba::Hex(0xb0a8ff, 70));
    LineStyle dash = LineStyle::Solid(Px(2.5), Rgba::Hex(0xffd6a0, 90));
    dash.Caps(Cap::Round);
    const int lf = paths.AddLine(faint), ld = paths.AddLine(dash);
    paths.Style(0, lf).Ellipse(0, 0, Px(orbitR[0][0]), Px(orbitR[0][1]), 16);
    paths.Style(0, ld);
    for (int i = 0; i < 36; ++i) {
        // Dashes along the outer ellipse: short straight strokes with round ends.
        const double a0 = kTau * i / 36, a1 = a0 + kTau / 36 * 0.45;
        paths.MoveTo(Px(orbitR[1][0] * std::cos(a0)), Px(orbitR[1][1] * std::sin(a0)));
        paths.LineTo(Px(orbitR[1][0] * std::cos(a1)), Px(orbitR[1][1] * std::sin(a1)));
    }
    const std::uint16_t pathsId = m.DefineShape(paths, 4);

    // The sun: a wide glow, a bright core and a rotating ring of rays.
    const std::uint16_t sunGlow = Glow(m, 110, Rgba::Hex(0xffcf6b, 200), Rgba::Hex(0xff7a2a, 70));
    ShapeBuilder core;
    Gradient cg;
    cg.stops = {
        {0, Rgba::Hex(0xffffff)}, {90, Rgba::Hex(0xfff1a8)}, {200, Rgba::Hex(0xffb347)}, {255, Rgba::Hex(0xff8a1f)}};
    core.Style(core.AddFill(FillStyle::Focal(cg, -0.35, Matrix::GradientBox(-Px(34), -Px(34), Px(68), Px(68)))))
        .Circle(0, 0, Px(32));
    const std::uint16_t coreId = m.DefineShape(core, 4);
    Sprite rays;
    {
        ShapeBuilder r;
        LineStyle ray = LineStyle::Solid(Px(4), Rgba::Hex(0xffd27a, 150));
        ray.Caps(Cap::Round);
        r.Style(0, r.AddLine(ray));
        for (int i = 0; i < 12; ++i) {
            const double a = kTau * i / 12;
            r.MoveTo(Px(44 * std::cos(a)), Px(44 * std::sin(a)));
            r.LineTo(Px(56 * std::cos(a)), Px(56 * std::sin(a)));
        }
        const std::uint16_t rayShape = m.DefineShape(r, 4);
        // The ray ring turns once every 48 frames inside its own sprite.
        for (int f = 0; f < 48; ++f) {
            Place p = f == 0 ? Place::Add(1, rayShape) : Place::Modify(1);
            const double pulse = 1 + 0.08 * std::sin(kTau * f / 24);
            rays.Place2(p.At(Matrix::Rotate(kTau * f / 48 / 12) * Matrix::Scale(pulse)));
            rays.ShowFrame();
        }
    }
    const std::uint16_t raysId = m.DefineSprite(rays);

    // A moon with a fading trail; the moon sprite turns it around its planet in 36 frames.
    ShapeBuilder moonShape;
    Gradient mg;
    mg.stops = {{0, Rgba::Hex(0xffffff)}, {255, Rgba::Hex(0x8890a8)}};
    LineStyle trail = LineStyle::Solid(Px(2), Rgba::Hex(0xffffff, 90));
    trail.Caps(Cap::Round);
    moonShape.Style(0, moonShape.AddLine(trail)).Arc(0, 0, Px(28), -1.4, -0.25);
    moonShape.Style(moonShape.AddFill(FillStyle::Radial(mg, Matrix::GradientBox(Px(24), -Px(6), Px(8), Px(8)))), 0)
        .Circle(Px(28), 0, Px(5));
    const std::uint16_t moonId = m.DefineShape(moonShape, 4);
    Sprite moonSprite;
    for (int f = 0; f < 36; ++f) {
        Place p = f == 0 ? Place::Add(1, moonId) : Place::Modify(1);
        moonSprite.Place2(p.At(Matrix::Rotate(kTau * f / 36)));
        moonSprite.ShowFrame();
    }
    const std::uint16_t moonSpriteId = m.DefineSprite(moonSprite);

    // A planet system: the planet, its ring, and two moon sprites, the outer one turned
    // backwards by the system's own timeline (a spinning sprite inside a spinning sprite).
    ShapeBuilder planet;
    Gradient pg;
    pg.stops = {
        {0, Rgba::Hex(0xe6f4ff)}, {70, Rgba::Hex(0x6fb6ff)}, {190, Rgba::Hex(0x2553b8)}, {255, Rgba::Hex(0x0d1d4a)}};
    planet
        .Style(planet.AddFill(FillStyle::Focal(pg, -0.6, Matrix::GradientBox(-Px(16), -Px(16), Px(32), Px(32), -0.8))))
        .Circle(0, 0, Px(15));
    LineStyle ringLine = LineStyle::Solid(Px(2), Rgba::Hex(0xcfe6ff, 160));
    planet.Style(0, planet.AddLine(ringLine)).Ellipse(0, 0, Px(25), Px(7), 12);
    const std::uint16_t planetId = m.DefineShape(planet, 4);
    Sprite system;
    for (int f = 0; f < 72; ++f) {
        if (f == 0) {
            system.Place2(Place::Add(2, planetId).At(Matrix::Rotate(-0.35)));
            system.Place2(Place::Add(3, moonSpriteId));
        }
        Place p = f == 0 ? Place::Add(1, moonSpriteId) : Place::Modify(1);
        system.Place2(p.At(Matrix::Rotate(-kTau * f / 72) * Matrix::Scale(1.6)).Color(ColorTransform::Alpha(0.8)));
        system.ShowFrame();
    }
    const std::uint16_t systemId = m.DefineSprite(system);

    for (int f = 0; f < N; ++f) {
        if (f == 0) {
            m.Place2(Place::Add(1, spaceId));
            m.Place2(Place::Add(2, dustId));
            m.Place2(Place::Add(3, pathsId).At(At(cx, cy)));
            m.Place2(Place::Add(4, sunGlow).At(At(cx, cy)));
            m.Place2(Place::Add(5, raysId).At(At(cx, cy)));
            m.Place2(Place::Add(6, coreId).At(At(cx, cy)));
        } else {
            const double pulse = 1 + 0.06 * std::sin(kTau * f / 48);
            m.Place2(Place::Modify(4).At(At(cx, cy) * Matrix::Scale(pulse)));
        }
        // Inner planet twice around per loop, outer once, each tinted differently.
        for (int k = 0; k < 2; ++k) {
            const double a = kTau * f / N * (k == 0 ? 2 : 1) + (k == 0 ? 0.8 : 2.6);
            const double x = cx + orbitR[k][0] * std::cos(a), y = cy + orbitR[k][1] * std::sin(a);
            const double size = k == 0 ? 0.8 : 1.25;
            const auto depth = static_cast<std::uint16_t>(10 + k);
            Place p = f == 0 ? Place::Add(depth, systemId) : Place::Modify(depth);
            if (f == 0) p.Color(k == 0 ? ColorTransform::Tint(Rgba::Hex(0xff7a4a), 0.45) : ColorTransform::Identity());
            // Planets behind the sun (upper half of the orbit) look a little smaller.
            const double depthScale = size * (1 + 0.12 * std::sin(a));
            m.Place2(p.At(At(x, y) * Matrix::Scale(depthScale)));
        }
        m.ShowFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// skyline: a city at dusk by the water, 960x540; lights come on, then it stops at night.

Movie Skyline() {
    const double W = 960, H = 540, horizon = 380;
    const int N = 210;
    Movie m(Rect::Pixels(0, 0, W, H), 30.0, 8);
    m.Background(Rgba::Hex(0x0b1a3d));

    Gradient sky;
    sky.stops = {{0, Rgba::Hex(0x0b1a3d)},
                 {90, Rgba::Hex(0x3b2a6e)},
                 {170, Rgba::Hex(0xc8577e)},
                 {225, Rgba::Hex(0xff9a6b)},
                 {255, Rgba::Hex(0xffd08a)}};
    ShapeBuilder skyShape;
    skyShape
        .Style(skyShape.AddFill(
            FillStyle::Linear(sky, Matrix::GradientBox(0, 0, Px(W), Px(horizon), std::numbers::pi / 2))))
        .Rectangle(0, 0, Px(W), Px(horizon));
    const std::uint16_t skyId = m.DefineShape(skyShape);

    // Night falls: a dark blue veil over the sky whose alpha rises through the movie.
    ShapeBuilder veilShape;
    Gradient vg;
    vg.stops = {{0, Rgba::Hex(0x050a1c, 255)}, {255, Rgba::Hex(0x1a1040, 180)}};
    veilShape
        .Style(veilShape.AddFill(
            FillStyle::Linear(vg, Matrix::GradientBox(0, 0, Px(W), Px(horizon), std::numbers::pi / 2))))
        .Rectangle(0, 0, Px(W), Px(horizon));
    const std::uint16_t veilId = m.DefineShape(veilShape);

    Random rnd(2024);
    ShapeBuilder starShape;
    starShape.Style(starShape.AddFill(FillStyle::Solid(Rgba::Hex(0xffffff))));
    for (int i = 0; i < 60; ++i)
        starShape.Circle(Px(rnd.Range(0, W)), Px(rnd.Range(0, horizon * 0.6)), Px(rnd.Range(0.5, 1.4)));
    starShape.Star(Px(820), Px(60), Px(7), Px(2), 4);
    const std::uint16_t starsId = m.DefineShape(starShape);

    const std::uint16_t sunId = Glow(m, 90, Rgba::Hex(0xfff3c0), Rgba::Hex(0xff8a4a, 180));
    ShapeBuilder disc;
    disc.Style(disc.AddFill(FillStyle::Solid(Rgba::Hex(0xffe7a8)))).Circle(0, 0, Px(38));
    const std::uint16_t discId = m.DefineShape(disc);

    // Skylines: buildings side by side (no overlaps), lit windows cut into them.
    // Each layer is two copies of a pattern `period` wide so it can scroll without a seam.
    struct Mast {
        double x = 0, y = 1e9;
    };
    auto city = [&](double period, double minH, double maxH, Rgba body, Rgba windows, bool lit,
                    std::uint16_t* windowsId, Mast* tallest) {
        ShapeBuilder s, w;
        const int bodyFill = s.AddFill(FillStyle::Solid(body));
        w.Style(w.AddFill(FillStyle::Solid(windows)));
        std::vector<std::pair<double, double>> blocks;  // x, width
        std::vector<double> heights;
        for (double x = 0; x < period - 20;) {
            const double bw = rnd.Range(28, 70), gap = rnd.Range(0, 8);
            if (x + bw > period) break;
            blocks.emplace_back(x, bw);
            heights.push_back(rnd.Range(minH, maxH));
            x += bw + gap;
        }
        for (int copy = 0; copy < 2; ++copy) {
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                const double x = blocks[i].first + copy * period, bw = blocks[i].second;
                const double top = horizon - heights[i];
                s.Style(bodyFill);
                if (i % 3 == 1) {
                    // Stepped roof with a mast.
                    s.Polygon({{Px(x), Px(horizon)},
                               {Px(x), Px(top + 14)},
                               {Px(x + bw * 0.2), Px(top + 14)},
                               {Px(x + bw * 0.2), Px(top)},
                               {Px(x + bw * 0.45), Px(top)},
                               {Px(x + bw * 0.45), Px(top - 22)},
                               {Px(x + bw * 0.5), Px(top - 22)},
                               {Px(x + bw * 0.5), Px(top)},
                               {Px(x + bw * 0.8), Px(top)},
                               {Px(x + bw * 0.8), Px(top + 14)},
                               {Px(x + bw), Px(top + 14)},
                               {Px(x + bw), Px(horizon)}});
                    if (tallest && copy == 0 && x > 350 && top - 22 < tallest->y)
                        *tallest = Mast{x + bw * 0.475, top - 22};
                } else if (i % 3 == 2) {
                    // Rounded dome top.
                    s.MoveTo(Px(x), Px(horizon)).LineTo(Px(x), Px(top + bw / 2));
                    s.CurveTo(Px(x), Px(top), Px(x + bw / 2), Px(top));
                    s.CurveTo(Px(x + bw), Px(top), Px(x + bw), Px(top + bw / 2));
                    s.LineTo(Px(x + bw), Px(horizon)).Close();
                } else {
                    s.Rectangle(Px(x), Px(top), Px(bw), Px(heights[i]));
                }
                if (!lit) continue;
                // Windows on the window layer (a separate shape over the bodies).
                for (double wy = top + 22; wy < horizon - 12; wy += 14)
                    for (double wx = x + 6; wx < x + bw - 8; wx += 10)
                        if (rnd.Next() < 0.35) w.Rectangle(Px(wx), Px(wy), Px(5), Px(7));
            }
        }
        if (windowsId) *windowsId = lit ? m.DefineShape(w) : 0;
        return m.DefineShape(s);
    };
    std::uint16_t windowsId = 0;
    Mast mast;
    const std::uint16_t farCity = city(W, 60, 150, Rgba::Hex(0x3a2a5a), Rgba{}, false, nullptr, nullptr);
    const std::uint16_t nearCity = city(W, 90, 230, Rgba::Hex(0x120c22), Rgba::Hex(0xffd27a), true, &windowsId, &mast);

    // Water and its waves: a band of curves one wavelength wider than the stage each side.
    Gradient wg;
    wg.stops = {{0, Rgba::Hex(0x5a3a70)}, {80, Rgba::Hex(0x22204a)}, {255, Rgba::Hex(0x070a1e)}};
    ShapeBuilder water;
    water
        .Style(water.AddFill(
            FillStyle::Linear(wg, Matrix::GradientBox(0, Px(horizon), Px(W), Px(H - horizon), std::numbers::pi / 2))))
        .Rectangle(0, Px(horizon), Px(W), Px(H - horizon));
    const std::uint16_t waterId = m.DefineShape(water);

    struct Wave {
        std::uint16_t id;
        double y, length, speed, bob;
    };
    std::vector<Wave> waves;
    const Rgba waveColours[3] = {Rgba::Hex(0x3a3070, 150), Rgba::Hex(0x1c2358, 190), Rgba::Hex(0x0e1438, 225)};
    for (int i = 0; i < 3; ++i) {
        const double L = 120 + 60 * i, A = 4 + 3 * i, depth = 200;
        ShapeBuilder s;
        Gradient g;
        g.stops = {{0, Rgba::Hex(0xb08ac8, 110)}, {28, waveColours[i]}, {255, Rgba::Hex(0x070a1e, 235)}};
        s.Style(
            s.AddFill(FillStyle::Linear(g, Matrix::GradientBox(0, -Px(A), Px(100), Px(depth), std::numbers::pi / 2))));
        const int halves = static_cast<int>(std::ceil((W + 2 * L) / (L / 2)));
        s.MoveTo(Px(-L), 0);
        double x = -L;
        for (int k = 0; k < halves; ++k, x += L / 2)
            s.CurveTo(Px(x + L / 4), Px((k % 2 ? 2 : -2) * A), Px(x + L / 2), 0);
        s.LineTo(Px(x), Px(depth)).LineTo(Px(-L), Px(depth)).Close();
        waves.push_back({m.DefineShape(s), horizon + 30 + 45.0 * i, L, (i + 1) * 1.0, 2.0 + i});
    }

    // The sun's glitter on the water: short strokes that shimmer.
    ShapeBuilder glitter;
    LineStyle gl = LineStyle::Solid(Px(3), Rgba::Hex(0xffc98a, 200));
    gl.Caps(Cap::Round);
    glitter.Style(0, glitter.AddLine(gl));
    for (int i = 0; i < 9; ++i) {
        const double y = 8 + i * 12, half = 40 - i * 3.5;
        glitter.MoveTo(Px(-half), Px(y)).LineTo(Px(half * 0.3), Px(y));
        glitter.MoveTo(Px(half * 0.5), Px(y + 5)).LineTo(Px(half), Px(y + 5));
    }
    const std::uint16_t glitterId = m.DefineShape(glitter, 4);

    // Birds: two curved strokes; the flap is a vertical scale.
    ShapeBuilder bird;
    LineStyle bl = LineStyle::Solid(Px(2.2), Rgba::Hex(0x1a1028));
    bl.Caps(Cap::Round).Joins(Join::Round);
    bird.Style(0, bird.AddLine(bl))
        .MoveTo(-Px(10), -Px(2))
        .CurveTo(-Px(5), -Px(7), 0, 0)
        .CurveTo(Px(5), -Px(7), Px(10), -Px(2));
    const std::uint16_t birdId = m.DefineShape(bird, 4);

    // A red beacon on the tallest mast: its own timeline, labelled "on" and "off", looping
    // with a GotoLabel action.
    ShapeBuilder beaconDot;
    beaconDot.Style(beaconDot.AddFill(FillStyle::Solid(Rgba::Hex(0xff3030)))).Circle(0, 0, Px(2.5));
    const std::uint16_t dotId = m.DefineShape(beaconDot);
    const std::uint16_t haloId = Glow(m, 12, Rgba::Hex(0xff4040, 200), Rgba::Hex(0xff2020, 60));
    Sprite beacon;
    beacon.Label("on");
    beacon.Place2(Place::Add(1, haloId)).Place2(Place::Add(2, dotId)).ShowFrame();
    for (int i = 0; i < 7; ++i) beacon.ShowFrame();
    beacon.Label("off");
    beacon.Remove(1).Remove(2).ShowFrame();
    for (int i = 0; i < 11; ++i) beacon.ShowFrame();
    beacon.DoAction(Actions().GotoLabel("on").Play());
    beacon.ShowFrame();
    const std::uint16_t beaconId = m.DefineSprite(beacon);

    // The timeline.
    const double sunX = 660;
    for (int f = 0; f < N; ++f) {
        const double u = static_cast<double>(f) / (N - 1);  // 0..1 over the evening
        const double t = kTau * f / N;
        if (f == 0) {
            m.Label("dusk");
            m.Place2(Place::Add(1, skyId));
            m.Place2(Place::Add(2, starsId).Color(ColorTransform::Alpha(0)));
            m.Place2(Place::Add(4, sunId).At(At(sunX, 170)));
            m.Place2(Place::Add(5, discId).At(At(sunX, 170)));
            m.Place2(Place::Add(6, veilId).Color(ColorTransform::Alpha(0)));
            m.Place2(Place::Add(7, farCity));
            m.Place2(Place::Add(9, nearCity));
            m.Place2(Place::Add(10, windowsId).Color(ColorTransform::Alpha(0)));
            m.Place2(Place::Add(11, beaconId).At(At(mast.x, mast.y)).Named("beacon"));
            m.Place2(Place::Add(12, waterId));
            m.Place2(Place::Add(13, glitterId).At(At(sunX, horizon)));
        }
        if (f == 90) m.Label("lights");
        // The sun sinks below the horizon and reddens.
        const double sink = Smooth(u * 1.15);
        const double sunY = 170 + 280 * sink;
        m.Place2(Place::Modify(4)
                     .At(At(sunX, sunY) * Matrix::Scale(1 + 0.3 * sink))
                     .Color(ColorTransform::Multiply(1, 1 - 0.45 * sink, 1 - 0.6 * sink, 1 - 0.5 * sink)));
        m.Place2(
            Place::Modify(5).At(At(sunX, sunY)).Color(ColorTransform::Multiply(1, 1 - 0.35 * sink, 1 - 0.6 * sink, 1)));
        m.Place2(Place::Modify(6).Color(ColorTransform::Alpha(0.85 * Smooth(u * 1.3 - 0.1))));
        m.Place2(Place::Modify(2).Color(ColorTransform::Alpha(Smooth(u * 2 - 0.9))));
        // Far city slowly, near city a little faster, both seamless over W.
        const double farX = -std::fmod(f * 0.6, W), nearX = -std::fmod(f * 1.5, W);
        m.Place2(
            Place::Modify(7).At(At(farX, 0)).Color(ColorTransform::Tint(Rgba::Hex(0x140c2a), 0.6 * Smooth(u * 1.2))));
        m.Place2(Place::Modify(9).At(At(nearX, 0)));
        const double lights = f < 90 ? 0 : Smooth((f - 90) / 60.0);
        m.Place2(Place::Modify(10).At(At(nearX, 0)).Color(ColorTransform::Alpha(lights)));
        // The beacon sits on the tallest mast of the near city and scrolls with it.
        m.Place2(Place::Modify(11).At(At(nearX + mast.x, mast.y)));
        // Waves roll at their own speeds, bobbing a little.
        for (std::size_t i = 0; i < waves.size(); ++i) {
            const Wave& w = waves[i];
            const double x = -std::fmod(f * w.speed * 1.6, w.length);
            const double y = w.y + w.bob * std::sin(t * 3 + i);
            const auto depth = static_cast<std::uint16_t>(14 + i);
            Place p = f == 0 ? Place::Add(depth, w.id) : Place::Modify(depth);
            m.Place2(p.At(At(x, y)));
        }
        m.Place2(Place::Modify(13)
                     .At(At(sunX, horizon) * Matrix::Scale(1 + 0.25 * std::sin(t * 5), 1 + 0.15 * sink))
                     .Color(ColorTransform::Alpha(0.9 * (1 - sink) + 0.1)));
        // Three birds crossing, flapping.
        for (int b = 0; b < 3; ++b) {
            const double bx = -40 + std::fmod(f * (3.0 + b * 0.7) + b * 120, W + 80);
            const double by = 120 + b * 28 + 10 * std::sin(t * 2 + b);
            const double flap = 0.35 + 0.65 * std::fabs(std::sin(t * 9 + b));
            const auto depth = static_cast<std::uint16_t>(20 + b);
            Place p = f == 0 ? Place::Add(depth, birdId) : Place::Modify(depth);
            m.Place2(p.At(At(bx, by) * Matrix::Scale(1.0 - 0.15 * b, flap)));
        }
        if (f == N - 1) {
            m.Label("night");
            m.DoAction(Actions().Stop());
        }
        m.ShowFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// bloom: a turning kaleidoscope flower in a rounded frame, 320x240.

Movie Bloom() {
    const double W = 320, H = 240;
    const int N = 100;
    Movie m(Rect::Pixels(0, 0, W, H), 25.0, 6);
    m.Background(Rgba::Hex(0x140a1e));

    // Background: radial gradient in DefineShape2 (RGB colours only).
    ShapeBuilder bg;
    Gradient g;
    g.stops = {{0, Rgba::Hex(0x4a1a5a)}, {160, Rgba::Hex(0x24103a)}, {255, Rgba::Hex(0x0c0616)}};
    bg.Style(bg.AddFill(FillStyle::Radial(g, Matrix::GradientBox(-Px(40), -Px(80), Px(400), Px(400)))))
        .Rectangle(0, 0, Px(W), Px(H));
    const std::uint16_t bgId = m.DefineShape(bg, 2);

    // One petal: an ellipse with a gradient along its length.
    ShapeBuilder petal;
    Gradient pg;
    pg.stops = {{0, Rgba::Hex(0xffe0f0, 230)}, {120, Rgba::Hex(0xff5fa8, 200)}, {255, Rgba::Hex(0x7a1fff, 120)}};
    petal.Style(petal.AddFill(FillStyle::Linear(pg, Matrix::GradientBox(0, -Px(12), Px(80), Px(24)))))
        .Ellipse(Px(40), 0, Px(40), Px(12), 10);
    const std::uint16_t petalId = m.DefineShape(petal);

    // The flower sprite: 12 petals in a ring, breathing over 50 frames.
    Sprite flower;
    for (int f = 0; f < 50; ++f) {
        const double open = 0.85 + 0.15 * std::sin(kTau * f / 50);
        for (int i = 0; i < 12; ++i) {
            const auto depth = static_cast<std::uint16_t>(1 + i);
            Place p = f == 0 ? Place::Add(depth, petalId) : Place::Modify(depth);
            const double a = kTau * i / 12;
            p.At(Matrix::Rotate(a) * Matrix::Scale(open, 1.0 / open));
            if (f == 0 && i % 2) p.Color(ColorTransform::Multiply(0.75, 0.85, 1.1, 1));
            flower.Place2(p);
        }
        flower.ShowFrame();
    }
    const std::uint16_t flowerId = m.DefineSprite(flower);

    // Centre: a star in DefineShape (version 1), a hexagon in DefineShape2.
    ShapeBuilder centre;
    centre.AddLine(LineStyle::Solid(Px(1.5), Rgba::Hex(0xffffff)));
    centre.Style(centre.AddFill(FillStyle::Solid(Rgba::Hex(0xffd23f))), 1).Star(0, 0, Px(22), Px(9), 6);
    const std::uint16_t starId = m.DefineShape(centre, 1);
    ShapeBuilder hex;
    hex.Style(hex.AddFill(FillStyle::Solid(Rgba::Hex(0xff7a1f)))).RegularPolygon(0, 0, Px(8), 6);
    const std::uint16_t hexId = m.DefineShape(hex, 2);

    // Orbiting sparks.
    const std::uint16_t sparkId = Glow(m, 9, Rgba::Hex(0xffffff, 255), Rgba::Hex(0x7ad7ff, 120));

    // A rounded frame: a full-stage panel with a rounded-rectangle hole, one shape. Both
    // contours run clockwise: the panel is inside (fill1) the outer one and outside (fill0)
    // the inner one, so the hole stays unfilled.
    ShapeBuilder frame;
    const int panel = frame.AddFill(FillStyle::Solid(Rgba::Hex(0x0c0616)));
    const int rim = frame.AddLine(LineStyle::Solid(Px(2), Rgba::Hex(0xb38cff, 160)));
    frame.Fill0(0).Fill1(panel).Line(0).Rectangle(0, 0, Px(W), Px(H));
    frame.Fill0(panel).Fill1(0).Line(rim).RoundRect(Px(8), Px(8), Px(W - 16), Px(H - 16), Px(22));
    const std::uint16_t frameId = m.DefineShape(frame, 3);

    for (int f = 0; f < N; ++f) {
        const double t = kTau * f / N;
        if (f == 0) {
            m.Place2(Place::Add(1, bgId));
            m.Place2(Place::Add(3, flowerId).At(At(W / 2, H / 2)));
            m.Place2(Place::Add(6, starId).At(At(W / 2, H / 2)));
            m.Place2(Place::Add(7, hexId).At(At(W / 2, H / 2)));
            m.Place2(Place::Add(20, frameId));
        }
        // The flowers repeat every 60 degrees, so turning 60 degrees per loop is seamless.
        const double hue = std::sin(t);
        m.Place2(Place::Modify(3)
                     .At(At(W / 2, H / 2) * Matrix::Rotate(t / 6) * Matrix::Scale(1.1))
                     .Color(ColorTransform::Multiply(1 - 0.3 * hue, 1, 1 + 0.3 * hue, 1)));
        Place small = f == 0 ? Place::Add(4, flowerId) : Place::Modify(4);
        m.Place2(small.At(At(W / 2, H / 2) * Matrix::Rotate(-t / 6 + 0.26) * Matrix::Scale(0.55))
                     .Color(ColorTransform::Tint(Rgba::Hex(0x40e0ff), 0.45 + 0.2 * std::cos(t))));
        m.Place2(
            Place::Modify(6).At(At(W / 2, H / 2) * Matrix::Rotate(-t / 6) * Matrix::Scale(1 + 0.1 * std::sin(2 * t))));
        m.Place2(Place::Modify(7).At(At(W / 2, H / 2) * Matrix::Rotate(t / 3)));
        for (int s = 0; s < 6; ++s) {
            const double a = t * (s % 2 ? -1 : 1) + kTau * s / 6;
            const double r = 85 + 12 * std::sin(2 * t + s);
            const auto depth = static_cast<std::uint16_t>(10 + s);
            Place p = f == 0 ? Place::Add(depth, sparkId) : Place::Modify(depth);
            m.Place2(p.At(At(W / 2 + r * std::cos(a), H / 2 + r * 0.72 * std::sin(a)))
                         .Color(ColorTransform::Alpha(0.6 + 0.4 * std::sin(3 * t + s))));
        }
        m.ShowFrame();
    }
    return m;
}

struct Sample {
    const char* file;
    Movie (*make)();
    Compression compression;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumarel-mksamples OUTDIR\n");
        return 2;
    }
    const Sample samples[] = {{"aurora.swf", Aurora, Compression::Zlib},
                              {"orbit.swf", Orbit, Compression::None},
                              {"skyline.swf", Skyline, Compression::Zlib},
                              {"bloom.swf", Bloom, Compression::Zlib}};
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(argv[1]), ec);  // may exist
    int failures = 0;
    for (const Sample& s : samples) {
        const std::string path = std::string(argv[1]) + "/" + s.file;
        BuildOptions o;
        o.compression = s.compression;
        const Movie movie = s.make();
        if (!movie.Save(path, o)) {
            std::fprintf(stderr, "lumarel-mksamples: cannot write %s\n", path.c_str());
            ++failures;
            continue;
        }
        std::printf("%s: %d frames\n", path.c_str(), movie.FrameCount());
    }
    return failures == 0 ? 0 : 1;
}
