// The benchmark scenes (see scenes.h).
#include "bench/scenes.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "bench/synthetic_font.h"

namespace lumarel::bench {

using raster::Bitmap;
using raster::Edge;
using raster::Gradient;
using raster::Matrix;
using raster::Paint;

Matrix TwipsToPx() {
    Matrix m;
    m.a = m.d = 1.0 / 20.0;
    return m;
}

// 1,000 closed blobs (8 quads round a wobbly circle), about 32 px across.
std::vector<Blob> MakeBlobs() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> ux(20, kW - 20), uy(20, kH - 20), ur(12, 20), uw(0.8, 1.2);
    std::uniform_int_distribution<int> uc(0, 255), ua(160, 255);
    std::vector<Blob> out(1000);
    for (Blob& b : out) {
        const double cx = ux(rng), cy = uy(rng), r = ur(rng);
        std::vector<double> rad(8);
        for (double& v : rad) v = r * uw(rng);
        b.path.x0 = cx + rad[0];
        b.path.y0 = cy;
        for (int i = 1; i <= 8; ++i) {
            const double a = i * kPi / 4, am = (i - 0.5) * kPi / 4;
            const double ri = rad[i % 8], rm = (rad[i - 1] + ri) / 2 / std::cos(kPi / 8);
            b.path.quads.push_back(
                {cx + rm * std::cos(am), cy + rm * std::sin(am), cx + ri * std::cos(a), cy + ri * std::sin(a)});
        }
        b.color = Rgba{static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)),
                       static_cast<uint8_t>(ua(rng))};
    }
    return out;
}

// 1,000 open curves of three quads each, 40-120 px long, 1-6 px wide, round caps and joins.
std::vector<Curve> MakeCurves() {
    std::mt19937 rng(777);
    std::uniform_real_distribution<double> ux(0, kW), uy(0, kH), ud(-40, 40), uwid(1, 6);
    std::uniform_int_distribution<int> uc(0, 255);
    std::vector<Curve> out(1000);
    for (Curve& c : out) {
        c.path.x0 = ux(rng);
        c.path.y0 = uy(rng);
        double x = c.path.x0, y = c.path.y0;
        for (int i = 0; i < 3; ++i) {
            const double cx = x + ud(rng), cy = y + ud(rng);
            x = cx + ud(rng);
            y = cy + ud(rng);
            c.path.quads.push_back({cx, cy, x, y});
        }
        c.color =
            Rgba{static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), static_cast<uint8_t>(uc(rng)), 255};
        c.width = uwid(rng);
    }
    return out;
}

Paint LinearGradientPaint() {
    Paint p;
    p.kind = Paint::Kind::Gradient;
    p.gradient.kind = Gradient::Kind::Linear;
    p.gradient.stops = {{0, Rgba{255, 0, 0, 255}}, {128, Rgba{0, 255, 0, 255}}, {255, Rgba{0, 0, 255, 255}}};
    // Gradient square across the screen width, slightly rotated.
    Matrix g;
    const double s = kW * 20.0 / 32768.0, a = 0.1;
    g.a = s * std::cos(a);
    g.b = s * std::sin(a);
    g.c = -s * std::sin(a);
    g.d = s * std::cos(a);
    g.tx = kW * 10.0;
    g.ty = kH * 10.0;
    p.gradient.matrix = g;
    return p;
}

// --- bitmap fills ----------------------------------------------------------------------------
// A 640x360 photo-like opaque bitmap filling the whole screen rectangle. Each case names the
// mapping from bitmap pixels to device pixels (rotate, scale, translate); ours gets it as
// bitmapMatrix in twips, cairo and AGG as the inverse matrix, so all sample the same points.
// The translations keep pixel centres well away from texel boundaries, where the renderers'
// fixed-point steps could legitimately round a nearest sample to different texels.
std::shared_ptr<Bitmap> MakePhoto() {
    auto b = std::make_shared<Bitmap>();
    b->width = 640;
    b->height = 360;
    b->pixels.resize(size_t(640) * 360);
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 640; ++x)
            b->pixels[size_t(y) * 640 + size_t(x)] =
                0xFF000000u | (uint32_t(x & 255) << 16) | (uint32_t(y & 255) << 8) | uint32_t((x ^ y) & 255);
    return b;
}

Matrix BitmapCase::ToDevice() const {
    const double r = degrees * kPi / 180.0;
    Matrix m;
    m.a = scale * std::cos(r);
    m.b = scale * std::sin(r);
    m.c = -scale * std::sin(r);
    m.d = scale * std::cos(r);
    m.tx = tx;
    m.ty = ty;
    return m;
}

// 3x, exactly the screen: no tile seams, no extended edges.
const BitmapCase kSmoothFullScreen{"BitmapSmoothFullScreen", true, false, 3, 0, 0, 0};
// 1.5x from slightly above-left of the screen: a 960x540 tile repeated about 2.1 x 2.1 times.
const BitmapCase kNearestRepeat{"BitmapNearestRepeat", false, true, 1.5, 0, -100.25, -50.25};
const BitmapCase kSmoothRepeat{"BitmapSmoothRepeat", true, true, 1.5, 0, -100.25, -50.25};
// 1.25x (800x450) in the middle of the screen; the edge pixels extend over the other 83%.
const BitmapCase kNearestClip{"BitmapNearestClip", false, false, 1.25, 0, 560.375, 315.375};
const BitmapCase kSmoothClip{"BitmapSmoothClip", true, false, 1.25, 0, 560.375, 315.375};
// The repeating 1.5x tiling turned by 3 degrees: rows no longer run along one bitmap row.
const BitmapCase kSmoothRotated{"BitmapSmoothRotated", true, true, 1.5, 3, -100.25, -50.25};

const BitmapCase* const kBitmapCases[6] = {&kSmoothFullScreen, &kNearestRepeat, &kSmoothRepeat,
                                           &kNearestClip,      &kSmoothClip,    &kSmoothRotated};

// One shape whose 32x18 cells are all different fills sharing their edges (the compound path),
// slightly rotated so every shared edge is anti-aliased. Ours and AGG's compound rasterizer take
// the shared edges (MakeGridEdges); cairo fills the same quads one by one.
std::vector<GridQuad> MakeGrid() {
    std::vector<GridQuad> out;
    const int nx = 32, ny = 18;
    const double a = 0.03, cw = kW / double(nx), ch = kH / double(ny);
    auto P = [&](int i, int j, double& x, double& y) {
        const double ux = i * cw - kW / 2.0, uy = j * ch - kH / 2.0;
        x = kW / 2.0 + ux * std::cos(a) - uy * std::sin(a);
        y = kH / 2.0 + ux * std::sin(a) + uy * std::cos(a);
    };
    std::mt19937 rng(99);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            GridQuad q;
            P(i, j, q.x[0], q.y[0]);
            P(i + 1, j, q.x[1], q.y[1]);
            P(i + 1, j + 1, q.x[2], q.y[2]);
            P(i, j + 1, q.x[3], q.y[3]);
            q.color = Rgba{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), 255};
            out.push_back(q);
        }
    return out;
}

std::vector<GridEdge> MakeGridEdges(const std::vector<GridQuad>& grid) {
    const int nx = 32, ny = 18;
    auto style = [&](int i, int j) -> uint16_t {
        return (i < 0 || j < 0 || i >= nx || j >= ny) ? 0 : static_cast<uint16_t>(j * nx + i + 1);
    };
    auto corner = [&](int i, int j, double& x, double& y) {  // grid points from the cells' corners
        const GridQuad& q = grid[static_cast<size_t>(std::min(j, ny - 1) * nx + std::min(i, nx - 1))];
        const int k = (i == nx ? 1 : 0) + (j == ny ? 2 : 0);
        const int idx[4] = {0, 1, 3, 2};
        x = q.x[idx[k]];
        y = q.y[idx[k]];
    };
    std::vector<GridEdge> out;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            if (i < nx) {  // horizontal, walking east: left is the cell above
                GridEdge e;
                corner(i, j, e.x0, e.y0);
                corner(i + 1, j, e.x1, e.y1);
                e.left = style(i, j - 1);
                e.right = style(i, j);
                out.push_back(e);
            }
            if (j < ny) {  // vertical, walking south: left is the cell to the east
                GridEdge e;
                corner(i, j, e.x0, e.y0);
                corner(i, j + 1, e.x1, e.y1);
                e.left = style(i, j);
                e.right = style(i - 1, j);
                out.push_back(e);
            }
        }
    return out;
}

// --- text ------------------------------------------------------------------------------------
// A text-heavy frame: 45 blocks of 12-24 px text, 5,000 glyphs in all, from the synthetic font.
// Every block is one shape with one solid fill, its glyph edges carrying fill1 = 1 (filled on
// their right, fill0 empty) the way SWF glyph records come in. Glyph contours are outer
// clockwise / holes counter-clockwise on screen and may overlap within a glyph, so cairo and AGG
// fill the same outlines with the non-zero rule.
TextFrame MakeTextFrame() {
    const SyntheticFont font;
    std::mt19937 rng(2718);
    // English-like letter frequencies for a..z.
    const double freq[26] = {8.2, 1.5, 2.8, 4.3, 12.7, 2.2, 2.0, 6.1, 7.0, 0.15, 0.8,  4.0, 2.4,
                             6.7, 7.5, 1.9, 0.1, 6.0,  6.3, 9.1, 2.8, 1.0, 2.4,  0.15, 2.0, 0.07};
    std::discrete_distribution<int> letter(std::begin(freq), std::end(freq));
    std::uniform_int_distribution<int> wordLen(1, 9), pct(0, 99), dark(0, 90);
    const std::string& lower = font.Lowercase();
    const std::string& upper = font.Uppercase();
    const std::string& digits = font.Digits();
    auto word = [&]() {
        std::string w;
        const int n = wordLen(rng), kind = pct(rng);
        for (int i = 0; i < n; ++i) {
            if (kind < 4)
                w += digits[static_cast<size_t>(pct(rng)) % digits.size()];
            else if (kind < 16 && i == 0)
                w += upper[static_cast<size_t>(pct(rng)) % upper.size()];
            else
                w += lower[static_cast<size_t>(letter(rng))];
        }
        return w;
    };
    // Five columns of nine blocks; each column cycles through the same nine sizes, shifted.
    const int sizes[9] = {12, 24, 15, 21, 18, 13, 23, 16, 20};
    const double colW = kW / 5.0, margin = 12, gap = 30, space = 0.28;
    TextFrame tf;
    for (int col = 0; col < 5; ++col) {
        double top = margin;
        for (int row = 0; row < 9; ++row) {
            const int index = col * 9 + row;
            const double px = sizes[(row + 2 * col) % 9], sc = px / SyntheticFont::kEm, lineH = 1.25 * px;
            const double left = col * colW + margin, right = (col + 1) * colW - margin;
            const int target = kTextGlyphs / kTextBlocks + (index < kTextGlyphs % kTextBlocks ? 1 : 0);
            TextBlock b;
            b.color = Rgba{static_cast<uint8_t>(dark(rng)), static_cast<uint8_t>(dark(rng)),
                           static_cast<uint8_t>(dark(rng)), 255};
            double penX = left, base = top + 0.8 * px;
            while (b.glyphs < target) {
                std::string w = word();
                if (static_cast<int>(w.size()) > target - b.glyphs) w.resize(static_cast<size_t>(target - b.glyphs));
                double width = 0;
                for (char c : w) width += font.Find(c)->advance * sc;
                if (penX > left && penX + width > right) {
                    penX = left;
                    base += lineH;
                }
                for (char c : w) {
                    const Glyph& g = *font.Find(c);
                    for (const auto& contour : g.contours) {
                        b.contourStarts.push_back(b.edges.size());
                        for (const GlyphSegment& gs : contour) {
                            auto tw = [&](double fx, double fy, float& ox, float& oy) {
                                ox = static_cast<float>((penX + fx * sc) * 20);
                                oy = static_cast<float>((base - fy * sc) * 20);
                            };
                            Edge e;
                            e.kind = gs.quad ? Edge::Kind::Quad : Edge::Kind::Line;
                            tw(gs.x0, gs.y0, e.x0, e.y0);
                            tw(gs.x1, gs.y1, e.x1, e.y1);
                            if (gs.quad) tw(gs.cx, gs.cy, e.cx, e.cy);
                            e.fill0 = 0;
                            e.fill1 = 1;
                            b.edges.push_back(e);
                        }
                    }
                    penX += g.advance * sc;
                    ++b.glyphs;
                }
                penX += space * px;
            }
            top = base + (lineH - 0.8 * px) + gap;
            tf.bottom = std::max(tf.bottom, base + lineH - 0.8 * px);
            tf.glyphs += b.glyphs;
            tf.blocks.push_back(std::move(b));
        }
    }
    return tf;
}

}  // namespace lumarel::bench
