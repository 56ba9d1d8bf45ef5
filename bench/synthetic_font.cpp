#include "bench/synthetic_font.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lumarel::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kXHeight = 520, kCap = 720, kAscender = 760, kDescender = -220;
constexpr double kStem = 92;  // vertical stroke width
constexpr double kBar = 78;   // horizontal stroke thickness

using Contour = std::vector<GlyphSegment>;

GlyphSegment Line(double x0, double y0, double x1, double y1) {
    GlyphSegment s;
    s.x0 = x0, s.y0 = y0, s.x1 = x1, s.y1 = y1;
    return s;
}

// Twice the signed area (counter-clockwise positive, y up). A quad adds its chord plus two thirds
// of the triangle its control point makes with the chord.
double SignedArea2(const Contour& c) {
    double a = 0;
    for (const GlyphSegment& s : c) {
        const double chord = s.x0 * s.y1 - s.x1 * s.y0;
        a += chord;
        if (s.quad) a += 2.0 / 3.0 * ((s.x0 * s.cy - s.cx * s.y0) + (s.cx * s.y1 - s.x1 * s.cy) - chord);
    }
    return a;
}

void Reverse(Contour& c) {
    std::reverse(c.begin(), c.end());
    for (GlyphSegment& s : c) {
        std::swap(s.x0, s.x1);
        std::swap(s.y0, s.y1);
    }
}

// Elliptic arc from angle a0 to a1 (degrees, counter-clockwise, y up) as quads of at most 45
// degrees, each with its control point where the end tangents meet.
void Arc(Contour& out, double cx, double cy, double rx, double ry, double a0, double a1) {
    const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(a1 - a0) / 45.0 - 1e-9)));
    const double step = (a1 - a0) / n * kPi / 180.0;
    double t0 = a0 * kPi / 180.0;
    for (int i = 0; i < n; ++i) {
        const double t1 = i + 1 == n ? a1 * kPi / 180.0 : t0 + step;
        const double tm = (t0 + t1) / 2, k = 1.0 / std::cos((t1 - t0) / 2);
        GlyphSegment s;
        s.quad = true;
        s.x0 = cx + rx * std::cos(t0);
        s.y0 = cy + ry * std::sin(t0);
        s.cx = cx + rx * k * std::cos(tm);
        s.cy = cy + ry * k * std::sin(tm);
        s.x1 = cx + rx * std::cos(t1);
        s.y1 = cy + ry * std::sin(t1);
        out.push_back(s);
        t0 = t1;
    }
}

class Builder {
public:
    Builder(char ch, double advance) { g_.ch = ch, g_.advance = advance; }

    void Rectangle(double x0, double y0, double x1, double y1) {
        Add({Line(x0, y0, x1, y0), Line(x1, y0, x1, y1), Line(x1, y1, x0, y1), Line(x0, y1, x0, y0)}, false);
    }
    // A stroke of horizontal width w from the bottom edge (xb..xb+w at yb) to the top (xt..xt+w at yt).
    void Slant(double xb, double yb, double xt, double yt, double w) {
        Add({Line(xb, yb, xb + w, yb), Line(xb + w, yb, xt + w, yt), Line(xt + w, yt, xt, yt), Line(xt, yt, xb, yb)},
            false);
    }
    void Ellipse(double cx, double cy, double rx, double ry) {
        Contour c;
        Arc(c, cx, cy, rx, ry, 0, 360);
        Add(std::move(c), false);
    }
    // A closed ring: the outer ellipse and a hole tx/ty thinner.
    void Ring(double cx, double cy, double rx, double ry, double tx = kStem, double ty = kBar) {
        Ellipse(cx, cy, rx, ry);
        Contour hole;
        Arc(hole, cx, cy, rx - tx, ry - ty, 0, 360);
        Add(std::move(hole), true);
    }
    // Part of a ring between angles a0 and a1, as one contour of two arcs and two joining lines.
    void Band(double cx, double cy, double rx, double ry, double tx, double ty, double a0, double a1) {
        Contour c;
        Arc(c, cx, cy, rx, ry, a0, a1);
        Contour inner;
        Arc(inner, cx, cy, rx - tx, ry - ty, a0, a1);
        Reverse(inner);
        c.push_back(Line(c.back().x1, c.back().y1, inner.front().x0, inner.front().y0));
        c.insert(c.end(), inner.begin(), inner.end());
        c.push_back(Line(inner.back().x1, inner.back().y1, c.front().x0, c.front().y0));
        Add(std::move(c), false);
    }
    void Band(double cx, double cy, double rx, double ry, double a0, double a1) {
        Band(cx, cy, rx, ry, kStem, kBar, a0, a1);
    }
    Glyph Take() { return std::move(g_); }

private:
    void Add(Contour c, bool hole) {
        const double a = SignedArea2(c);
        if ((a > 0) != hole) Reverse(c);  // outer: clockwise (negative area), hole: counter-clockwise
        g_.contours.push_back(std::move(c));
    }
    Glyph g_;
};

}  // namespace

SyntheticFont::SyntheticFont() {
    constexpr double X = kXHeight, C = kCap, A = kAscender, D = kDescender, S = kStem;
    auto put = [&](Builder& b, std::string& set) {
        glyphs_.push_back(b.Take());
        set += glyphs_.back().ch;
    };
    // Lower case.
    {
        Builder b('a', 540);
        b.Ring(250, 150, 200, 160, 88, 72);
        b.Rectangle(378, 0, 470, 340);
        b.Band(265, 330, 205, 200, 0, 160);
        put(b, lower_);
    }
    {
        Builder b('b', 590);
        b.Rectangle(50, 0, 50 + S, A);
        b.Ring(320, 260, 220, 270);
        put(b, lower_);
    }
    {
        Builder b('c', 510);
        b.Band(275, 260, 225, 270, 40, 320);
        put(b, lower_);
    }
    {
        Builder b('d', 590);
        b.Ring(265, 260, 220, 270);
        b.Rectangle(440, 0, 440 + S, A);
        put(b, lower_);
    }
    {
        Builder b('e', 550);
        b.Band(275, 260, 225, 270, 0, 330);
        b.Rectangle(60, 250, 500, 320);
        put(b, lower_);
    }
    {
        Builder b('f', 380);
        b.Rectangle(100, 0, 100 + S, 600);
        b.Band(300, 600, 200, 160, 60, 180);
        b.Rectangle(30, 450, 340, 520);
        put(b, lower_);
    }
    {
        Builder b('g', 560);
        b.Ring(260, 260, 210, 260);
        b.Rectangle(378, -60, 470, X);
        b.Band(265, -60, 205, 160, 200, 360);
        put(b, lower_);
    }
    {
        Builder b('h', 540);
        b.Rectangle(50, 0, 50 + S, A);
        b.Band(280, 290, 200, 240, 0, 180);
        b.Rectangle(388, 0, 480, 300);
        put(b, lower_);
    }
    {
        Builder b('i', 220);
        b.Rectangle(60, 0, 60 + S, X);
        b.Ellipse(106, 650, 60, 60);
        put(b, lower_);
    }
    {
        Builder b('j', 270);
        b.Rectangle(120, -60, 120 + S, X);
        b.Band(40, -60, 172, 160, 200, 360);
        b.Ellipse(166, 650, 60, 60);
        put(b, lower_);
    }
    {
        Builder b('k', 520);
        b.Rectangle(50, 0, 50 + S, A);
        b.Slant(120, 180, 400, X, 120);
        b.Slant(390, 0, 200, 300, 120);
        put(b, lower_);
    }
    {
        Builder b('l', 220);
        b.Rectangle(60, 0, 60 + S, A);
        put(b, lower_);
    }
    {
        Builder b('m', 660);
        b.Rectangle(50, 0, 50 + S, X);
        b.Band(230, 290, 150, 240, 0, 180);
        b.Rectangle(288, 0, 380, 300);
        b.Band(450, 290, 150, 240, 0, 180);
        b.Rectangle(508, 0, 600, 300);
        put(b, lower_);
    }
    {
        Builder b('n', 540);
        b.Rectangle(50, 0, 50 + S, X);
        b.Band(280, 290, 200, 240, 0, 180);
        b.Rectangle(388, 0, 480, 300);
        put(b, lower_);
    }
    {
        Builder b('o', 550);
        b.Ring(275, 260, 225, 270);
        put(b, lower_);
    }
    {
        Builder b('p', 590);
        b.Rectangle(50, D, 50 + S, X);
        b.Ring(320, 260, 220, 270);
        put(b, lower_);
    }
    {
        Builder b('q', 590);
        b.Ring(265, 260, 220, 270);
        b.Rectangle(440, D, 440 + S, X);
        put(b, lower_);
    }
    {
        Builder b('r', 400);
        b.Rectangle(50, 0, 50 + S, X);
        b.Band(300, 290, 180, 240, 80, 78, 40, 170);
        put(b, lower_);
    }
    {
        Builder b('s', 510);
        b.Band(260, 366, 190, 145, 85, 78, 30, 270);
        b.Band(260, 154, 190, 145, 85, 78, 90, -150);
        put(b, lower_);
    }
    {
        Builder b('t', 350);
        b.Rectangle(110, 0, 110 + S, 680);
        b.Rectangle(30, 450, 330, 520);
        put(b, lower_);
    }
    {
        Builder b('u', 540);
        b.Rectangle(70, 220, 70 + S, X);
        b.Band(270, 240, 200, 250, 180, 360);
        b.Rectangle(378, 0, 470, X);
        put(b, lower_);
    }
    {
        Builder b('v', 570);
        b.Slant(230, 0, 30, X, 110);
        b.Slant(230, 0, 420, X, 100);
        put(b, lower_);
    }
    {
        Builder b('w', 800);
        b.Slant(180, 0, 20, X, 100);
        b.Slant(180, 0, 330, X, 90);
        b.Slant(500, 0, 330, X, 90);
        b.Slant(500, 0, 680, X, 100);
        put(b, lower_);
    }
    {
        Builder b('x', 530);
        b.Slant(30, 0, 390, X, 110);
        b.Slant(390, 0, 30, X, 110);
        put(b, lower_);
    }
    {
        Builder b('y', 560);
        b.Slant(230, 0, 30, X, 110);
        b.Slant(110, D, 420, X, 100);
        put(b, lower_);
    }
    {
        Builder b('z', 510);
        b.Rectangle(50, X - 80, 460, X);
        b.Rectangle(40, 0, 470, 80);
        b.Slant(40, 80, 350, X - 80, 110);
        put(b, lower_);
    }
    // Capitals.
    {
        Builder b('A', 620);
        b.Slant(20, 0, 290, C, 120);
        b.Slant(480, 0, 290, C, 120);
        b.Rectangle(130, 180, 500, 260);
        put(b, upper_);
    }
    {
        Builder b('B', 640);
        b.Rectangle(60, 0, 60 + S, C);
        b.Band(320, 545, 210, 175, 96, 78, -90, 90);
        b.Band(340, 224, 240, 224, 100, 78, -90, 90);
        b.Rectangle(60, C - 78, 320, C);
        b.Rectangle(60, 370, 340, 448);
        b.Rectangle(60, 0, 340, 78);
        put(b, upper_);
    }
    {
        Builder b('C', 680);
        b.Band(360, 360, 310, 370, 96, 80, 40, 320);
        put(b, upper_);
    }
    {
        Builder b('D', 700);
        b.Rectangle(60, 0, 60 + S, C);
        b.Band(300, 360, 330, 360, 100, 80, -90, 90);
        b.Rectangle(60, C - 80, 300, C);
        b.Rectangle(60, 0, 300, 80);
        put(b, upper_);
    }
    {
        Builder b('E', 560);
        b.Rectangle(60, 0, 60 + S, C);
        b.Rectangle(60, C - 80, 500, C);
        b.Rectangle(60, 320, 460, 400);
        b.Rectangle(60, 0, 510, 80);
        put(b, upper_);
    }
    {
        Builder b('H', 660);
        b.Rectangle(60, 0, 60 + S, C);
        b.Rectangle(508, 0, 600, C);
        b.Rectangle(60, 320, 600, 400);
        put(b, upper_);
    }
    {
        Builder b('M', 780);
        b.Rectangle(60, 0, 150, C);
        b.Rectangle(630, 0, 720, C);
        b.Slant(345, 0, 60, C, 110);
        b.Slant(345, 0, 610, C, 110);
        put(b, upper_);
    }
    {
        Builder b('O', 760);
        b.Ring(380, 360, 320, 375, 100, 80);
        put(b, upper_);
    }
    {
        Builder b('P', 620);
        b.Rectangle(60, 0, 60 + S, C);
        b.Band(320, 515, 240, 205, 96, 78, -90, 90);
        b.Rectangle(60, C - 78, 320, C);
        b.Rectangle(60, 310, 320, 388);
        put(b, upper_);
    }
    {
        Builder b('R', 640);
        b.Rectangle(60, 0, 60 + S, C);
        b.Band(320, 515, 240, 205, 96, 78, -90, 90);
        b.Rectangle(60, C - 78, 320, C);
        b.Rectangle(60, 310, 320, 388);
        b.Slant(440, 0, 260, 320, 130);
        put(b, upper_);
    }
    {
        Builder b('S', 640);
        b.Band(330, 513, 250, 195, 100, 84, 30, 270);
        b.Band(330, 202, 250, 200, 100, 84, 90, -150);
        put(b, upper_);
    }
    {
        Builder b('T', 600);
        b.Rectangle(30, C - 80, 570, C);
        b.Rectangle(254, 0, 346, C);
        put(b, upper_);
    }
    // Digits.
    {
        Builder b('0', 560);
        b.Ring(280, 360, 220, 370, 92, 80);
        put(b, digits_);
    }
    {
        Builder b('1', 560);
        b.Rectangle(250, 0, 250 + S, C);
        b.Slant(90, 520, 250, C, 92);
        b.Rectangle(100, 0, 490, 80);
        put(b, digits_);
    }
    {
        Builder b('2', 560);
        b.Band(280, 500, 210, 220, 160, -30);
        b.Slant(60, 80, 360, 400, 110);
        b.Rectangle(60, 0, 500, 80);
        put(b, digits_);
    }
    {
        Builder b('8', 560);
        b.Ring(280, 540, 190, 180, 88, 74);
        b.Ring(280, 200, 220, 200);
        put(b, digits_);
    }
}

const Glyph* SyntheticFont::Find(char c) const {
    for (const Glyph& g : glyphs_)
        if (g.ch == c) return &g;
    return nullptr;
}

}  // namespace lumarel::bench
