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
    double next() {  // [0, 1)
        s_ = s_ * 1664525u + 1013904223u;
        return (s_ >> 8) / 16777216.0;
    }
    double range(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    std::uint32_t s_;
};

Matrix at(double xPx, double yPx) { return Matrix::translate(px(xPx), px(yPx)); }

double smooth(double t) {  // 0..1 ease in and out
    t = std::fmin(std::fmax(t, 0.0), 1.0);
    return t * t * (3 - 2 * t);
}

std::uint16_t fullStageGradient(Movie& m, double w, double h, Gradient g, double angle) {
    ShapeBuilder s;
    s.style(s.addFill(FillStyle::linear(std::move(g), Matrix::gradientBox(0, 0, px(w), px(h), angle))))
        .rect(0, 0, px(w), px(h));
    return m.defineShape(s);
}

// A soft round glow: colour in the middle fading to transparent at radius r.
std::uint16_t glow(Movie& m, double r, Rgba core, Rgba mid, int version = 3) {
    ShapeBuilder s;
    Gradient g;
    g.stops = {{0, core}, {110, mid}, {255, Rgba{mid.r, mid.g, mid.b, 0}}};
    s.style(s.addFill(FillStyle::radial(g, Matrix::gradientBox(-px(r), -px(r), px(2 * r), px(2 * r)))))
        .circle(0, 0, px(r));
    return m.defineShape(s, version);
}

// ---------------------------------------------------------------------------------------------
// aurora: night sky with drifting aurora curtains and coloured light, 800x600.

Movie aurora() {
    const double W = 800, H = 600;
    const int N = 180;
    Movie m(Rect::pixels(0, 0, W, H), 30.0, 8);
    m.background(Rgba::hex(0x020412));

    Gradient sky;
    sky.stops = {{0, Rgba::hex(0x01020a)}, {120, Rgba::hex(0x071535)},
                 {200, Rgba::hex(0x142a55)}, {255, Rgba::hex(0x2a1f4e)}};
    const std::uint16_t bg = fullStageGradient(m, W, H, sky, std::numbers::pi / 2);

    // Three layers of stars that twinkle out of step.
    Random rnd(7);
    std::uint16_t stars[3];
    for (int layer = 0; layer < 3; ++layer) {
        ShapeBuilder s;
        s.style(s.addFill(FillStyle::solid(Rgba::hex(layer == 1 ? 0xfff4d8 : 0xdfe8ff))));
        for (int i = 0; i < 40; ++i) {
            const double x = rnd.range(0, W), y = rnd.range(0, H * 0.7);
            s.circle(px(x), px(y), px(rnd.range(0.6, layer == 2 ? 2.2 : 1.5)));
        }
        stars[layer] = m.defineShape(s);
    }

    // Aurora curtains: wide wavy bands, bright near the lower edge, fading upwards.
    struct Curtain {
        std::uint16_t id;
        double y, phase, speed, sway;
        Rgba colour;
    };
    std::vector<Curtain> curtains;
    const Rgba curtainColours[3] = {Rgba::hex(0x3dff9e), Rgba::hex(0x39d3ff), Rgba::hex(0xb35cff)};
    for (int c = 0; c < 3; ++c) {
        ShapeBuilder s;
        const double bandH = 170 - c * 25;
        Gradient g;
        const Rgba col = curtainColours[c];
        g.stops = {{0, Rgba{col.r, col.g, col.b, 0}}, {110, Rgba{col.r, col.g, col.b, 20}},
                   {190, Rgba{col.r, col.g, col.b, 80}}, {228, Rgba{col.r, col.g, col.b, 175}},
                   {255, Rgba{col.r, col.g, col.b, 0}}};
        s.style(s.addFill(FillStyle::linear(
            g, Matrix::gradientBox(0, -px(bandH + 20), px(100), px(bandH + 40), std::numbers::pi / 2))));
        // A ribbon: the lower edge waves, the upper edge follows it bandH higher.
        const double span = 1440, step = 240, A = 14 + 5 * c;
        const int segments = static_cast<int>(span / step);
        s.moveTo(px(-span / 2), 0);
        for (int k = 0; k < segments; ++k) {
            const double x = -span / 2 + k * step;
            s.curveTo(px(x + step / 2), px((k % 2 ? 2 : -2) * A), px(x + step), 0);
        }
        s.lineTo(px(span / 2), -px(bandH));
        for (int k = segments - 1; k >= 0; --k) {
            const double x = -span / 2 + k * step;
            s.curveTo(px(x + step / 2), px(-bandH + (k % 2 ? 2 : -2) * A), px(x), -px(bandH));
        }
        s.close();
        curtains.push_back({m.defineShape(s), 250.0 + c * 45, c * 2.1, 1.0 + (c % 2), 0.18 + 0.05 * c,
                            col});
    }

    // Drifting light blobs.
    struct Blob {
        std::uint16_t id;
        double cx, cy, ax, ay, fx, fy, phase, scale;
    };
    std::vector<Blob> blobs;
    const Rgba blobColours[5][2] = {{Rgba::hex(0x7dffd0, 150), Rgba::hex(0x1fae8a, 70)},
                                    {Rgba::hex(0xff7de9, 130), Rgba::hex(0x9c2a9a, 60)},
                                    {Rgba::hex(0x9f8cff, 140), Rgba::hex(0x4032a8, 60)},
                                    {Rgba::hex(0x8cff7d, 120), Rgba::hex(0x2f8a2a, 50)},
                                    {Rgba::hex(0x7dc8ff, 140), Rgba::hex(0x1d5aa8, 60)}};
    for (int i = 0; i < 5; ++i) {
        const std::uint16_t id = glow(m, 150, blobColours[i][0], blobColours[i][1]);
        blobs.push_back({id, 150.0 + i * 125, 200.0 + (i % 3) * 60, 120.0 - i * 12, 70.0 + i * 8,
                         1.0 + (i % 2), 1.0 + ((i + 1) % 3 == 0), i * 1.3, 0.8 + 0.15 * (i % 3)});
    }

    // Mountains: a jagged far range, misty at its foot, and smooth dark hills in front.
    ShapeBuilder range;
    range.style(range.addFill(FillStyle::solid(Rgba::hex(0x0a0f2a))));
    range.moveTo(0, px(H)).lineTo(0, px(450));
    for (double x = 40; x <= W; x += 40) {
        const double y = 455 - 55 * std::fabs(std::sin(x / 97.0)) - rnd.range(0, 25);
        range.lineTo(px(x), px(y));
    }
    range.lineTo(px(W), px(H)).close();
    const std::uint16_t rangeId = m.defineShape(range);
    Gradient mist;
    mist.stops = {{0, Rgba::hex(0x3dff9e, 0)}, {255, Rgba::hex(0x6fd8c0, 60)}};
    ShapeBuilder haze;
    haze.style(haze.addFill(FillStyle::linear(mist, Matrix::gradientBox(0, px(400), px(W), px(120), std::numbers::pi / 2))))
        .rect(0, px(400), px(W), px(H - 400));
    const std::uint16_t hazeId = m.defineShape(haze);
    ShapeBuilder hills;
    hills.style(hills.addFill(FillStyle::solid(Rgba::hex(0x020309))));
    hills.moveTo(0, px(H)).lineTo(0, px(520));
    double lx = 0, ly = 520;
    for (double x = 100; x <= W + 1; x += 100) {
        const double y = 515 + 22 * std::sin(x / 70.0);
        hills.curveTo(px((lx + x) / 2), px((ly + y) / 2 - 14), px(x), px(y));
        lx = x;
        ly = y;
    }
    hills.lineTo(px(W), px(H)).close();
    const std::uint16_t hillsId = m.defineShape(hills);

    for (int f = 0; f < N; ++f) {
        const double t = kTau * f / N;
        if (f == 0) m.place(Place::add(1, bg));
        for (int layer = 0; layer < 3; ++layer) {
            const double a = 0.55 + 0.45 * std::sin(t * (layer + 1) + layer * 2.0);
            Place p = f == 0 ? Place::add(static_cast<std::uint16_t>(2 + layer), stars[layer])
                             : Place::modify(static_cast<std::uint16_t>(2 + layer));
            m.place(p.color(ColorTransform::alpha(a)));
        }
        for (std::size_t i = 0; i < blobs.size(); ++i) {
            const Blob& b = blobs[i];
            const double x = b.cx + b.ax * std::sin(t * b.fx + b.phase);
            const double y = b.cy + b.ay * std::sin(t * b.fy + b.phase * 0.7);
            const double s = b.scale * (1 + 0.2 * std::sin(t * 2 + b.phase));
            const auto depth = static_cast<std::uint16_t>(10 + i);
            Place p = f == 0 ? Place::add(depth, b.id) : Place::modify(depth);
            ColorTransform cx = ColorTransform::multiply(1.0 + 0.3 * std::sin(t + b.phase),
                                                         1.0, 1.0 + 0.3 * std::cos(t + b.phase),
                                                         0.7 + 0.3 * std::sin(t * 3 + b.phase));
            m.place(p.at(at(x, y) * Matrix::scale(s * 1.3, s)).color(cx));
        }
        for (std::size_t c = 0; c < curtains.size(); ++c) {
            const Curtain& k = curtains[c];
            const double x = W / 2 + 160 * std::sin(t * k.speed + k.phase);
            const double sway = k.sway * std::sin(t * 2 + k.phase);
            const double stretch = 1 + 0.18 * std::sin(t * 3 + k.phase * 1.7);
            const auto depth = static_cast<std::uint16_t>(20 + c);
            Place p = f == 0 ? Place::add(depth, k.id) : Place::modify(depth);
            // Hue drift: swap some green for blue and red as the curtain moves.
            const double h = std::sin(t + k.phase);
            ColorTransform cx = ColorTransform::multiply(1 + 0.5 * h, 1 - 0.25 * h, 1 + 0.3 * std::cos(t), 1);
            m.place(p.at(at(x, k.y) * Matrix::skew(sway, 0) * Matrix::scale(1, stretch)).color(cx));
        }
        if (f == 0) {
            m.place(Place::add(30, rangeId));
            m.place(Place::add(31, hazeId));
            m.place(Place::add(32, hillsId));
        }
        m.showFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// orbit: planets with moons (sprites inside sprites) around a glowing sun, 550x400.

Movie orbit() {
    const double W = 550, H = 400;
    const int N = 144;
    Movie m(Rect::pixels(0, 0, W, H), 24.0, 10);
    m.background(Rgba::hex(0x05030f));

    ShapeBuilder space;
    Gradient g;
    g.stops = {{0, Rgba::hex(0x2a1a5e)}, {120, Rgba::hex(0x120a30)}, {255, Rgba::hex(0x05030f)}};
    g.spread = Spread::Pad;
    space.style(space.addFill(FillStyle::radial(g, Matrix::gradientBox(-px(100), -px(150), px(750), px(700)))))
        .rect(0, 0, px(W), px(H));
    const std::uint16_t spaceId = m.defineShape(space);

    // Background stars.
    Random rnd(42);
    ShapeBuilder dust;
    dust.style(dust.addFill(FillStyle::solid(Rgba::hex(0xffffff, 170))));
    for (int i = 0; i < 70; ++i)
        dust.circle(px(rnd.range(0, W)), px(rnd.range(0, H)), px(rnd.range(0.4, 1.3)));
    const std::uint16_t dustId = m.defineShape(dust);

    // Orbit paths: thin ellipses, one dashed with round caps.
    const double cx = W / 2, cy = H / 2;
    const double orbitR[2][2] = {{120, 78}, {215, 150}};
    ShapeBuilder paths;
    LineStyle faint = LineStyle::solid(px(1), Rgba::hex(0xb0a8ff, 70));
    LineStyle dash = LineStyle::solid(px(2.5), Rgba::hex(0xffd6a0, 90));
    dash.caps(Cap::Round);
    const int lf = paths.addLine(faint), ld = paths.addLine(dash);
    paths.style(0, lf).ellipse(0, 0, px(orbitR[0][0]), px(orbitR[0][1]), 16);
    paths.style(0, ld);
    for (int i = 0; i < 36; ++i) {
        // Dashes along the outer ellipse: short straight strokes with round ends.
        const double a0 = kTau * i / 36, a1 = a0 + kTau / 36 * 0.45;
        paths.moveTo(px(orbitR[1][0] * std::cos(a0)), px(orbitR[1][1] * std::sin(a0)));
        paths.lineTo(px(orbitR[1][0] * std::cos(a1)), px(orbitR[1][1] * std::sin(a1)));
    }
    const std::uint16_t pathsId = m.defineShape(paths, 4);

    // The sun: a wide glow, a bright core and a rotating ring of rays.
    const std::uint16_t sunGlow = glow(m, 110, Rgba::hex(0xffcf6b, 200), Rgba::hex(0xff7a2a, 70));
    ShapeBuilder core;
    Gradient cg;
    cg.stops = {{0, Rgba::hex(0xffffff)}, {90, Rgba::hex(0xfff1a8)}, {200, Rgba::hex(0xffb347)},
                {255, Rgba::hex(0xff8a1f)}};
    core.style(core.addFill(FillStyle::focal(cg, -0.35, Matrix::gradientBox(-px(34), -px(34), px(68), px(68)))))
        .circle(0, 0, px(32));
    const std::uint16_t coreId = m.defineShape(core, 4);
    Sprite rays;
    {
        ShapeBuilder r;
        LineStyle ray = LineStyle::solid(px(4), Rgba::hex(0xffd27a, 150));
        ray.caps(Cap::Round);
        r.style(0, r.addLine(ray));
        for (int i = 0; i < 12; ++i) {
            const double a = kTau * i / 12;
            r.moveTo(px(44 * std::cos(a)), px(44 * std::sin(a)));
            r.lineTo(px(56 * std::cos(a)), px(56 * std::sin(a)));
        }
        const std::uint16_t rayShape = m.defineShape(r, 4);
        // The ray ring turns once every 48 frames inside its own sprite.
        for (int f = 0; f < 48; ++f) {
            Place p = f == 0 ? Place::add(1, rayShape) : Place::modify(1);
            const double pulse = 1 + 0.08 * std::sin(kTau * f / 24);
            rays.place(p.at(Matrix::rotate(kTau * f / 48 / 12) * Matrix::scale(pulse)));
            rays.showFrame();
        }
    }
    const std::uint16_t raysId = m.defineSprite(rays);

    // A moon with a fading trail; the moon sprite turns it around its planet in 36 frames.
    ShapeBuilder moonShape;
    Gradient mg;
    mg.stops = {{0, Rgba::hex(0xffffff)}, {255, Rgba::hex(0x8890a8)}};
    LineStyle trail = LineStyle::solid(px(2), Rgba::hex(0xffffff, 90));
    trail.caps(Cap::Round);
    moonShape.style(0, moonShape.addLine(trail)).arc(0, 0, px(28), -1.4, -0.25);
    moonShape.style(moonShape.addFill(FillStyle::radial(mg, Matrix::gradientBox(px(24), -px(6), px(8), px(8)))), 0)
        .circle(px(28), 0, px(5));
    const std::uint16_t moonId = m.defineShape(moonShape, 4);
    Sprite moonSprite;
    for (int f = 0; f < 36; ++f) {
        Place p = f == 0 ? Place::add(1, moonId) : Place::modify(1);
        moonSprite.place(p.at(Matrix::rotate(kTau * f / 36)));
        moonSprite.showFrame();
    }
    const std::uint16_t moonSpriteId = m.defineSprite(moonSprite);

    // A planet system: the planet, its ring, and two moon sprites, the outer one turned
    // backwards by the system's own timeline (a spinning sprite inside a spinning sprite).
    ShapeBuilder planet;
    Gradient pg;
    pg.stops = {{0, Rgba::hex(0xe6f4ff)}, {70, Rgba::hex(0x6fb6ff)}, {190, Rgba::hex(0x2553b8)},
                {255, Rgba::hex(0x0d1d4a)}};
    planet.style(planet.addFill(FillStyle::focal(pg, -0.6, Matrix::gradientBox(-px(16), -px(16), px(32), px(32), -0.8))))
        .circle(0, 0, px(15));
    LineStyle ringLine = LineStyle::solid(px(2), Rgba::hex(0xcfe6ff, 160));
    planet.style(0, planet.addLine(ringLine)).ellipse(0, 0, px(25), px(7), 12);
    const std::uint16_t planetId = m.defineShape(planet, 4);
    Sprite system;
    for (int f = 0; f < 72; ++f) {
        if (f == 0) {
            system.place(Place::add(2, planetId).at(Matrix::rotate(-0.35)));
            system.place(Place::add(3, moonSpriteId));
        }
        Place p = f == 0 ? Place::add(1, moonSpriteId) : Place::modify(1);
        system.place(p.at(Matrix::rotate(-kTau * f / 72) * Matrix::scale(1.6)).color(ColorTransform::alpha(0.8)));
        system.showFrame();
    }
    const std::uint16_t systemId = m.defineSprite(system);

    for (int f = 0; f < N; ++f) {
        if (f == 0) {
            m.place(Place::add(1, spaceId));
            m.place(Place::add(2, dustId));
            m.place(Place::add(3, pathsId).at(at(cx, cy)));
            m.place(Place::add(4, sunGlow).at(at(cx, cy)));
            m.place(Place::add(5, raysId).at(at(cx, cy)));
            m.place(Place::add(6, coreId).at(at(cx, cy)));
        } else {
            const double pulse = 1 + 0.06 * std::sin(kTau * f / 48);
            m.place(Place::modify(4).at(at(cx, cy) * Matrix::scale(pulse)));
        }
        // Inner planet twice around per loop, outer once, each tinted differently.
        for (int k = 0; k < 2; ++k) {
            const double a = kTau * f / N * (k == 0 ? 2 : 1) + (k == 0 ? 0.8 : 2.6);
            const double x = cx + orbitR[k][0] * std::cos(a), y = cy + orbitR[k][1] * std::sin(a);
            const double size = k == 0 ? 0.8 : 1.25;
            const auto depth = static_cast<std::uint16_t>(10 + k);
            Place p = f == 0 ? Place::add(depth, systemId) : Place::modify(depth);
            if (f == 0)
                p.color(k == 0 ? ColorTransform::tint(Rgba::hex(0xff7a4a), 0.45)
                               : ColorTransform::identity());
            // Planets behind the sun (upper half of the orbit) look a little smaller.
            const double depthScale = size * (1 + 0.12 * std::sin(a));
            m.place(p.at(at(x, y) * Matrix::scale(depthScale)));
        }
        m.showFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// skyline: a city at dusk by the water, 960x540; lights come on, then it stops at night.

Movie skyline() {
    const double W = 960, H = 540, horizon = 380;
    const int N = 210;
    Movie m(Rect::pixels(0, 0, W, H), 30.0, 8);
    m.background(Rgba::hex(0x0b1a3d));

    Gradient sky;
    sky.stops = {{0, Rgba::hex(0x0b1a3d)}, {90, Rgba::hex(0x3b2a6e)}, {170, Rgba::hex(0xc8577e)},
                 {225, Rgba::hex(0xff9a6b)}, {255, Rgba::hex(0xffd08a)}};
    ShapeBuilder skyShape;
    skyShape.style(skyShape.addFill(FillStyle::linear(sky, Matrix::gradientBox(0, 0, px(W), px(horizon), std::numbers::pi / 2))))
        .rect(0, 0, px(W), px(horizon));
    const std::uint16_t skyId = m.defineShape(skyShape);

    // Night falls: a dark blue veil over the sky whose alpha rises through the movie.
    ShapeBuilder veilShape;
    Gradient vg;
    vg.stops = {{0, Rgba::hex(0x050a1c, 255)}, {255, Rgba::hex(0x1a1040, 180)}};
    veilShape.style(veilShape.addFill(FillStyle::linear(vg, Matrix::gradientBox(0, 0, px(W), px(horizon), std::numbers::pi / 2))))
        .rect(0, 0, px(W), px(horizon));
    const std::uint16_t veilId = m.defineShape(veilShape);

    Random rnd(2024);
    ShapeBuilder starShape;
    starShape.style(starShape.addFill(FillStyle::solid(Rgba::hex(0xffffff))));
    for (int i = 0; i < 60; ++i)
        starShape.circle(px(rnd.range(0, W)), px(rnd.range(0, horizon * 0.6)), px(rnd.range(0.5, 1.4)));
    starShape.star(px(820), px(60), px(7), px(2), 4);
    const std::uint16_t starsId = m.defineShape(starShape);

    const std::uint16_t sunId = glow(m, 90, Rgba::hex(0xfff3c0), Rgba::hex(0xff8a4a, 180));
    ShapeBuilder disc;
    disc.style(disc.addFill(FillStyle::solid(Rgba::hex(0xffe7a8)))).circle(0, 0, px(38));
    const std::uint16_t discId = m.defineShape(disc);

    // Skylines: buildings side by side (no overlaps), lit windows cut into them.
    // Each layer is two copies of a pattern `period` wide so it can scroll without a seam.
    struct Mast {
        double x = 0, y = 1e9;
    };
    auto city = [&](double period, double minH, double maxH, Rgba body, Rgba windows, bool lit,
                    std::uint16_t* windowsId, Mast* tallest) {
        ShapeBuilder s, w;
        const int bodyFill = s.addFill(FillStyle::solid(body));
        w.style(w.addFill(FillStyle::solid(windows)));
        std::vector<std::pair<double, double>> blocks;  // x, width
        std::vector<double> heights;
        for (double x = 0; x < period - 20;) {
            const double bw = rnd.range(28, 70), gap = rnd.range(0, 8);
            if (x + bw > period) break;
            blocks.emplace_back(x, bw);
            heights.push_back(rnd.range(minH, maxH));
            x += bw + gap;
        }
        for (int copy = 0; copy < 2; ++copy) {
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                const double x = blocks[i].first + copy * period, bw = blocks[i].second;
                const double top = horizon - heights[i];
                s.style(bodyFill);
                if (i % 3 == 1) {
                    // Stepped roof with a mast.
                    s.polygon({{px(x), px(horizon)}, {px(x), px(top + 14)}, {px(x + bw * 0.2), px(top + 14)},
                               {px(x + bw * 0.2), px(top)}, {px(x + bw * 0.45), px(top)},
                               {px(x + bw * 0.45), px(top - 22)}, {px(x + bw * 0.5), px(top - 22)},
                               {px(x + bw * 0.5), px(top)}, {px(x + bw * 0.8), px(top)},
                               {px(x + bw * 0.8), px(top + 14)}, {px(x + bw), px(top + 14)},
                               {px(x + bw), px(horizon)}});
                    if (tallest && copy == 0 && x > 350 && top - 22 < tallest->y)
                        *tallest = Mast{x + bw * 0.475, top - 22};
                } else if (i % 3 == 2) {
                    // Rounded dome top.
                    s.moveTo(px(x), px(horizon)).lineTo(px(x), px(top + bw / 2));
                    s.curveTo(px(x), px(top), px(x + bw / 2), px(top));
                    s.curveTo(px(x + bw), px(top), px(x + bw), px(top + bw / 2));
                    s.lineTo(px(x + bw), px(horizon)).close();
                } else {
                    s.rect(px(x), px(top), px(bw), px(heights[i]));
                }
                if (!lit) continue;
                // Windows on the window layer (a separate shape over the bodies).
                for (double wy = top + 22; wy < horizon - 12; wy += 14)
                    for (double wx = x + 6; wx < x + bw - 8; wx += 10)
                        if (rnd.next() < 0.35) w.rect(px(wx), px(wy), px(5), px(7));
            }
        }
        if (windowsId) *windowsId = lit ? m.defineShape(w) : 0;
        return m.defineShape(s);
    };
    std::uint16_t windowsId = 0;
    Mast mast;
    const std::uint16_t farCity = city(W, 60, 150, Rgba::hex(0x3a2a5a), Rgba{}, false, nullptr, nullptr);
    const std::uint16_t nearCity =
        city(W, 90, 230, Rgba::hex(0x120c22), Rgba::hex(0xffd27a), true, &windowsId, &mast);

    // Water and its waves: a band of curves one wavelength wider than the stage each side.
    Gradient wg;
    wg.stops = {{0, Rgba::hex(0x5a3a70)}, {80, Rgba::hex(0x22204a)}, {255, Rgba::hex(0x070a1e)}};
    ShapeBuilder water;
    water.style(water.addFill(FillStyle::linear(wg, Matrix::gradientBox(0, px(horizon), px(W), px(H - horizon), std::numbers::pi / 2))))
        .rect(0, px(horizon), px(W), px(H - horizon));
    const std::uint16_t waterId = m.defineShape(water);

    struct Wave {
        std::uint16_t id;
        double y, length, speed, bob;
    };
    std::vector<Wave> waves;
    const Rgba waveColours[3] = {Rgba::hex(0x3a3070, 150), Rgba::hex(0x1c2358, 190), Rgba::hex(0x0e1438, 225)};
    for (int i = 0; i < 3; ++i) {
        const double L = 120 + 60 * i, A = 4 + 3 * i, depth = 200;
        ShapeBuilder s;
        Gradient g;
        g.stops = {{0, Rgba::hex(0xb08ac8, 110)}, {28, waveColours[i]}, {255, Rgba::hex(0x070a1e, 235)}};
        s.style(s.addFill(FillStyle::linear(g, Matrix::gradientBox(0, -px(A), px(100), px(depth), std::numbers::pi / 2))));
        const int halves = static_cast<int>(std::ceil((W + 2 * L) / (L / 2)));
        s.moveTo(px(-L), 0);
        double x = -L;
        for (int k = 0; k < halves; ++k, x += L / 2)
            s.curveTo(px(x + L / 4), px((k % 2 ? 2 : -2) * A), px(x + L / 2), 0);
        s.lineTo(px(x), px(depth)).lineTo(px(-L), px(depth)).close();
        waves.push_back({m.defineShape(s), horizon + 30 + 45.0 * i, L, (i + 1) * 1.0, 2.0 + i});
    }

    // The sun's glitter on the water: short strokes that shimmer.
    ShapeBuilder glitter;
    LineStyle gl = LineStyle::solid(px(3), Rgba::hex(0xffc98a, 200));
    gl.caps(Cap::Round);
    glitter.style(0, glitter.addLine(gl));
    for (int i = 0; i < 9; ++i) {
        const double y = 8 + i * 12, half = 40 - i * 3.5;
        glitter.moveTo(px(-half), px(y)).lineTo(px(half * 0.3), px(y));
        glitter.moveTo(px(half * 0.5), px(y + 5)).lineTo(px(half), px(y + 5));
    }
    const std::uint16_t glitterId = m.defineShape(glitter, 4);

    // Birds: two curved strokes; the flap is a vertical scale.
    ShapeBuilder bird;
    LineStyle bl = LineStyle::solid(px(2.2), Rgba::hex(0x1a1028));
    bl.caps(Cap::Round).joins(Join::Round);
    bird.style(0, bird.addLine(bl)).moveTo(-px(10), -px(2)).curveTo(-px(5), -px(7), 0, 0).curveTo(px(5), -px(7), px(10), -px(2));
    const std::uint16_t birdId = m.defineShape(bird, 4);

    // A red beacon on the tallest mast: its own timeline, labelled "on" and "off", looping
    // with a GotoLabel action.
    ShapeBuilder beaconDot;
    beaconDot.style(beaconDot.addFill(FillStyle::solid(Rgba::hex(0xff3030)))).circle(0, 0, px(2.5));
    const std::uint16_t dotId = m.defineShape(beaconDot);
    const std::uint16_t haloId = glow(m, 12, Rgba::hex(0xff4040, 200), Rgba::hex(0xff2020, 60));
    Sprite beacon;
    beacon.label("on");
    beacon.place(Place::add(1, haloId)).place(Place::add(2, dotId)).showFrame();
    for (int i = 0; i < 7; ++i) beacon.showFrame();
    beacon.label("off");
    beacon.remove(1).remove(2).showFrame();
    for (int i = 0; i < 11; ++i) beacon.showFrame();
    beacon.doAction(Actions().gotoLabel("on").play());
    beacon.showFrame();
    const std::uint16_t beaconId = m.defineSprite(beacon);

    // The timeline.
    const double sunX = 660;
    for (int f = 0; f < N; ++f) {
        const double u = static_cast<double>(f) / (N - 1);  // 0..1 over the evening
        const double t = kTau * f / N;
        if (f == 0) {
            m.label("dusk");
            m.place(Place::add(1, skyId));
            m.place(Place::add(2, starsId).color(ColorTransform::alpha(0)));
            m.place(Place::add(4, sunId).at(at(sunX, 170)));
            m.place(Place::add(5, discId).at(at(sunX, 170)));
            m.place(Place::add(6, veilId).color(ColorTransform::alpha(0)));
            m.place(Place::add(7, farCity));
            m.place(Place::add(9, nearCity));
            m.place(Place::add(10, windowsId).color(ColorTransform::alpha(0)));
            m.place(Place::add(11, beaconId).at(at(mast.x, mast.y)).named("beacon"));
            m.place(Place::add(12, waterId));
            m.place(Place::add(13, glitterId).at(at(sunX, horizon)));
        }
        if (f == 90) m.label("lights");
        // The sun sinks below the horizon and reddens.
        const double sink = smooth(u * 1.15);
        const double sunY = 170 + 280 * sink;
        m.place(Place::modify(4).at(at(sunX, sunY) * Matrix::scale(1 + 0.3 * sink)).color(
            ColorTransform::multiply(1, 1 - 0.45 * sink, 1 - 0.6 * sink, 1 - 0.5 * sink)));
        m.place(Place::modify(5).at(at(sunX, sunY)).color(
            ColorTransform::multiply(1, 1 - 0.35 * sink, 1 - 0.6 * sink, 1)));
        m.place(Place::modify(6).color(ColorTransform::alpha(0.85 * smooth(u * 1.3 - 0.1))));
        m.place(Place::modify(2).color(ColorTransform::alpha(smooth(u * 2 - 0.9))));
        // Far city slowly, near city a little faster, both seamless over W.
        const double farX = -std::fmod(f * 0.6, W), nearX = -std::fmod(f * 1.5, W);
        m.place(Place::modify(7).at(at(farX, 0)).color(
            ColorTransform::tint(Rgba::hex(0x140c2a), 0.6 * smooth(u * 1.2))));
        m.place(Place::modify(9).at(at(nearX, 0)));
        const double lights = f < 90 ? 0 : smooth((f - 90) / 60.0);
        m.place(Place::modify(10).at(at(nearX, 0)).color(ColorTransform::alpha(lights)));
        // The beacon sits on the tallest mast of the near city and scrolls with it.
        m.place(Place::modify(11).at(at(nearX + mast.x, mast.y)));
        // Waves roll at their own speeds, bobbing a little.
        for (std::size_t i = 0; i < waves.size(); ++i) {
            const Wave& w = waves[i];
            const double x = -std::fmod(f * w.speed * 1.6, w.length);
            const double y = w.y + w.bob * std::sin(t * 3 + i);
            const auto depth = static_cast<std::uint16_t>(14 + i);
            Place p = f == 0 ? Place::add(depth, w.id) : Place::modify(depth);
            m.place(p.at(at(x, y)));
        }
        m.place(Place::modify(13).at(at(sunX, horizon) * Matrix::scale(1 + 0.25 * std::sin(t * 5), 1 + 0.15 * sink))
                    .color(ColorTransform::alpha(0.9 * (1 - sink) + 0.1)));
        // Three birds crossing, flapping.
        for (int b = 0; b < 3; ++b) {
            const double bx = -40 + std::fmod(f * (3.0 + b * 0.7) + b * 120, W + 80);
            const double by = 120 + b * 28 + 10 * std::sin(t * 2 + b);
            const double flap = 0.35 + 0.65 * std::fabs(std::sin(t * 9 + b));
            const auto depth = static_cast<std::uint16_t>(20 + b);
            Place p = f == 0 ? Place::add(depth, birdId) : Place::modify(depth);
            m.place(p.at(at(bx, by) * Matrix::scale(1.0 - 0.15 * b, flap)));
        }
        if (f == N - 1) {
            m.label("night");
            m.doAction(Actions().stop());
        }
        m.showFrame();
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// bloom: a turning kaleidoscope flower in a rounded frame, 320x240.

Movie bloom() {
    const double W = 320, H = 240;
    const int N = 100;
    Movie m(Rect::pixels(0, 0, W, H), 25.0, 6);
    m.background(Rgba::hex(0x140a1e));

    // Background: radial gradient in DefineShape2 (RGB colours only).
    ShapeBuilder bg;
    Gradient g;
    g.stops = {{0, Rgba::hex(0x4a1a5a)}, {160, Rgba::hex(0x24103a)}, {255, Rgba::hex(0x0c0616)}};
    bg.style(bg.addFill(FillStyle::radial(g, Matrix::gradientBox(-px(40), -px(80), px(400), px(400)))))
        .rect(0, 0, px(W), px(H));
    const std::uint16_t bgId = m.defineShape(bg, 2);

    // One petal: an ellipse with a gradient along its length.
    ShapeBuilder petal;
    Gradient pg;
    pg.stops = {{0, Rgba::hex(0xffe0f0, 230)}, {120, Rgba::hex(0xff5fa8, 200)}, {255, Rgba::hex(0x7a1fff, 120)}};
    petal.style(petal.addFill(FillStyle::linear(pg, Matrix::gradientBox(0, -px(12), px(80), px(24)))))
        .ellipse(px(40), 0, px(40), px(12), 10);
    const std::uint16_t petalId = m.defineShape(petal);

    // The flower sprite: 12 petals in a ring, breathing over 50 frames.
    Sprite flower;
    for (int f = 0; f < 50; ++f) {
        const double open = 0.85 + 0.15 * std::sin(kTau * f / 50);
        for (int i = 0; i < 12; ++i) {
            const auto depth = static_cast<std::uint16_t>(1 + i);
            Place p = f == 0 ? Place::add(depth, petalId) : Place::modify(depth);
            const double a = kTau * i / 12;
            p.at(Matrix::rotate(a) * Matrix::scale(open, 1.0 / open));
            if (f == 0 && i % 2) p.color(ColorTransform::multiply(0.75, 0.85, 1.1, 1));
            flower.place(p);
        }
        flower.showFrame();
    }
    const std::uint16_t flowerId = m.defineSprite(flower);

    // Centre: a star in DefineShape (version 1), a hexagon in DefineShape2.
    ShapeBuilder centre;
    centre.addLine(LineStyle::solid(px(1.5), Rgba::hex(0xffffff)));
    centre.style(centre.addFill(FillStyle::solid(Rgba::hex(0xffd23f))), 1).star(0, 0, px(22), px(9), 6);
    const std::uint16_t starId = m.defineShape(centre, 1);
    ShapeBuilder hex;
    hex.style(hex.addFill(FillStyle::solid(Rgba::hex(0xff7a1f)))).regularPolygon(0, 0, px(8), 6);
    const std::uint16_t hexId = m.defineShape(hex, 2);

    // Orbiting sparks.
    const std::uint16_t sparkId = glow(m, 9, Rgba::hex(0xffffff, 255), Rgba::hex(0x7ad7ff, 120));

    // A rounded frame: a full-stage panel with a rounded-rectangle hole, one shape. Both
    // contours run clockwise: the panel is inside (fill1) the outer one and outside (fill0)
    // the inner one, so the hole stays unfilled.
    ShapeBuilder frame;
    const int panel = frame.addFill(FillStyle::solid(Rgba::hex(0x0c0616)));
    const int rim = frame.addLine(LineStyle::solid(px(2), Rgba::hex(0xb38cff, 160)));
    frame.fill0(0).fill1(panel).line(0).rect(0, 0, px(W), px(H));
    frame.fill0(panel).fill1(0).line(rim).roundRect(px(8), px(8), px(W - 16), px(H - 16), px(22));
    const std::uint16_t frameId = m.defineShape(frame, 3);

    for (int f = 0; f < N; ++f) {
        const double t = kTau * f / N;
        if (f == 0) {
            m.place(Place::add(1, bgId));
            m.place(Place::add(3, flowerId).at(at(W / 2, H / 2)));
            m.place(Place::add(6, starId).at(at(W / 2, H / 2)));
            m.place(Place::add(7, hexId).at(at(W / 2, H / 2)));
            m.place(Place::add(20, frameId));
        }
        // The flowers repeat every 60 degrees, so turning 60 degrees per loop is seamless.
        const double hue = std::sin(t);
        m.place(Place::modify(3).at(at(W / 2, H / 2) * Matrix::rotate(t / 6) * Matrix::scale(1.1))
                    .color(ColorTransform::multiply(1 - 0.3 * hue, 1, 1 + 0.3 * hue, 1)));
        Place small = f == 0 ? Place::add(4, flowerId) : Place::modify(4);
        m.place(small.at(at(W / 2, H / 2) * Matrix::rotate(-t / 6 + 0.26) * Matrix::scale(0.55))
                    .color(ColorTransform::tint(Rgba::hex(0x40e0ff), 0.45 + 0.2 * std::cos(t))));
        m.place(Place::modify(6).at(at(W / 2, H / 2) * Matrix::rotate(-t / 6) * Matrix::scale(1 + 0.1 * std::sin(2 * t))));
        m.place(Place::modify(7).at(at(W / 2, H / 2) * Matrix::rotate(t / 3)));
        for (int s = 0; s < 6; ++s) {
            const double a = t * (s % 2 ? -1 : 1) + kTau * s / 6;
            const double r = 85 + 12 * std::sin(2 * t + s);
            const auto depth = static_cast<std::uint16_t>(10 + s);
            Place p = f == 0 ? Place::add(depth, sparkId) : Place::modify(depth);
            m.place(p.at(at(W / 2 + r * std::cos(a), H / 2 + r * 0.72 * std::sin(a)))
                        .color(ColorTransform::alpha(0.6 + 0.4 * std::sin(3 * t + s))));
        }
        m.showFrame();
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
    const Sample samples[] = {{"aurora.swf", aurora, Compression::Zlib},
                              {"orbit.swf", orbit, Compression::None},
                              {"skyline.swf", skyline, Compression::Zlib},
                              {"bloom.swf", bloom, Compression::Zlib}};
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(argv[1]), ec);  // may exist
    int failures = 0;
    for (const Sample& s : samples) {
        const std::string path = std::string(argv[1]) + "/" + s.file;
        BuildOptions o;
        o.compression = s.compression;
        const Movie movie = s.make();
        if (!movie.save(path, o)) {
            std::fprintf(stderr, "lumarel-mksamples: cannot write %s\n", path.c_str());
            ++failures;
            continue;
        }
        std::printf("%s: %d frames\n", path.c_str(), movie.frameCount());
    }
    return failures == 0 ? 0 : 1;
}
