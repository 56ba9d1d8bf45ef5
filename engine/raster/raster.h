// Lumarel software rasterizer: compound-style anti-aliased scanline renderer for SWF shapes.
// No OS calls; the caller owns the pixels (Surface) and feeds shapes with device matrices.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace lumarel::raster {

// x' = a*x + c*y + tx ; y' = b*x + d*y + ty   (SWF MATRIX: a=ScaleX, b=RotateSkew0, c=RotateSkew1, d=ScaleY)
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    void Apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + c * y + tx;
        oy = b * x + d * y + ty;
    }
    // (this ∘ other)(p) == this(other(p)): other is applied first.
    Matrix Multiply(const Matrix& o) const;
    // Inverse matrix; returns false (and leaves out untouched) when singular or not finite.
    bool Invert(Matrix& out) const;
    Matrix Inverted() const;  // identity when singular
    double Determinant() const { return a * d - b * c; }
    bool IsFinite() const;
};

struct IntRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open: [x0, x1) x [y0, y1)
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// Applied to straight colour: c' = clamp(c*mul + add), add in 0..255 units.
struct ColorTransform {
    double rm = 1, gm = 1, bm = 1, am = 1, ra = 0, ga = 0, ba = 0, aa = 0;

    Rgba Apply(Rgba c) const;
    // Concat(inner): the transform that applies `inner` first, then this one.
    ColorTransform Concat(const ColorTransform& inner) const;
    bool IsIdentity() const;
};

enum class Spread { Pad, Reflect, Repeat };
enum class Interpolation { Rgb, LinearRgb };

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
};

struct Gradient {
    enum class Kind { Linear, Radial, Focal } kind = Kind::Linear;
    Spread spread = Spread::Pad;
    Interpolation interpolation = Interpolation::Rgb;
    double focal = 0;                 // -1..1, Focal only
    std::vector<GradientStop> stops;  // 1..15 stops in file order (ratios normally ascending)
    Matrix matrix;                    // maps the gradient square (-16384..16384) to shape space (twips)
};

// How a drawn pixel combines with what is below it (a display object's blend mode). Layer is
// Normal for the pixels: it only makes the object a group for Alpha and Erase inside it.
enum class Blend : uint8_t {
    Normal,
    Layer,
    Multiply,
    Screen,
    Lighten,
    Darken,
    Difference,
    Add,
    Subtract,
    Invert,
    Alpha,
    Erase,
    Overlay,
    Hardlight
};
// One premultiplied pixel blended onto another.
uint32_t BlendPixel(uint32_t src, uint32_t dst, Blend mode);

struct Bitmap {  // premultiplied 0xAARRGGBB, row-major
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    // The pixels may change after the bitmap is shown (a script draws into it): a picture that
    // shows it is never taken to be as it was.
    bool live = false;
};

struct Paint {
    enum class Kind { None, Solid, Gradient, Bitmap } kind = Kind::Solid;
    Rgba color;
    Gradient gradient;
    std::shared_ptr<const Bitmap> bitmap;
    Matrix bitmapMatrix;  // bitmap pixels -> shape space (twips)
    bool repeat = true;   // false: clipped fill, the edge pixels extend beyond the bitmap
    bool smooth = true;   // bilinear; false: nearest pixel
};

enum class Cap { Round, None, Square };
enum class Join { Round, Bevel, Miter };

// Strokes are outlined at draw time in device space. The width follows the matrix (sqrt|det|),
// or stays width/20 device pixels with both noHScale and noVScale (one flag: the other axis's
// scale); anything thinner than one device pixel is drawn one pixel wide. A path whose end meets
// its start is joined there unless noClose. miterLimit bounds the ratio of miter length to stroke
// width (1/sin of half the corner angle); sharper corners are bevelled.
struct Stroke {
    double width = 20;  // twips
    Paint paint;        // solid colour or (LINESTYLE2 HasFill) a fill
    Cap startCap = Cap::Round, endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
};

struct Edge {  // in shape space (twips). kind Line ignores cx,cy.
    enum class Kind : uint8_t { Line, Quad } kind = Kind::Line;
    float x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
    uint16_t fill0 = 0, fill1 = 0, line = 0;  // 1-based indices into the layer's fills/strokes; 0 = none
};

// fill0 is the style on the left of the edge as seen on screen (y down) when walking x0,y0 -> x1,y1;
// fill1 the style on its right.
struct Layer {
    // Fill rule per style: false counts any winding as inside (non-zero), true only odd windings,
    // so a style's contours that overlap cancel there (even-odd, SWF's own rule for shapes).
    bool evenOdd = false;
    std::vector<Paint> fills;
    std::vector<Stroke> strokes;
    std::vector<Edge> edges;  // in SWF record order
};

struct Shape {
    std::vector<Layer> layers;  // each layer: all its fills in ONE sweep, then its strokes on top
};

// Whether the point (shape space) lies inside one of the shape's fills, by each layer's fill
// rule, or within half a stroke's width of a stroked edge. Curves are followed as 16 segments.
bool ShapeContains(const Shape& shape, double x, double y);

class Surface {  // premultiplied 0xAARRGGBB pixels
public:
    Surface(int w, int h);
    int Width() const { return w_; }
    int Height() const { return h_; }
    uint32_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(w_); }
    const uint32_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(w_); }
    const uint32_t* data() const { return pixels_.data(); }
    uint32_t* data() { return pixels_.data(); }
    uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
    void Clear(Rgba);
    // The pixels, moved out (a surface drawn once and then used as a bitmap); the surface is
    // left empty, 0 x 0.
    std::vector<uint32_t> TakePixels() {
        w_ = h_ = 0;
        return std::move(pixels_);
    }

private:
    int w_, h_;
    std::vector<uint32_t> pixels_;
};

// Stage quality, as the player had it. Low draws without anti-aliasing: a pixel is painted when
// its centre lies inside the shape (edges half-open: [left, right), [top, bottom)) and bitmaps
// are never smoothed. Medium and High anti-alias with 2 x 2 and 4 x 4 samples per pixel (see
// CellRasterizer::setSampling); Medium does not smooth bitmaps, High smooths those whose fill
// asks for it, Best is High with every bitmap smoothed. Exact is our own: exact
// covered areas, correctly rounded blending, bitmaps as at High.
enum class Quality { Low, Medium, High, Best, Exact };

// Packs a straight colour into a premultiplied 0xAARRGGBB pixel.
uint32_t Premultiply(Rgba c);

// A point in device pixels.
struct FlatPoint {
    double x, y;
};

// A boundary segment of a layer's fills in device pixels, as the renderer rasterizes it (curves
// flattened), with the fill style on its left and on its right (1-based into the layer's fills,
// 0 none; a fill that paints nothing counts as none).
struct FlatSegment {
    double x0, y0, x1, y1;
    uint16_t left, right;
};

// Told what a Renderer draws onto its surface, flattened to device space, so that a tool can
// replay a frame through another rasterizer. Drawing is the same with or without an observer.
// Shapes drawn into a clip mask being defined are not reported.
class DrawObserver {
public:
    virtual ~DrawObserver() = default;
    // One layer's fills: the layer (for its paints and fill rule), the matrix and colour transform
    // they are drawn with, and every segment between two different styles.
    virtual void OnFill(const Layer& layer, const Matrix& toDevice, const ColorTransform& cx,
                        const std::vector<FlatSegment>& segments) = 0;
    // One line of a stroke: its centre line (flattened, and hinted when the stroke is), whether it
    // is joined where it ends, and the width it is drawn with in device pixels.
    virtual void OnStroke(const Stroke& stroke, const Matrix& toDevice, const ColorTransform& cx,
                          const std::vector<FlatPoint>& line, bool closed, double width) = 0;
};

class DisplayList;

// Draws shapes into a Surface. Keep one Renderer per surface: it owns the scratch buffers and the
// clip masks, which are reused from draw to draw.
class Renderer {
public:
    explicit Renderer(Surface&);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws into `s` from now on, keeping the scratch buffers, masks and what it knows of bitmaps;
    // the clip rectangle goes back to the whole surface and open clip levels are dropped.
    void SetSurface(Surface& s);

    void DrawShape(const Shape&, const Matrix& toDevice /* twips -> pixels */, const ColorTransform&);

    // Clip layers: between beginClip() and endClipDefinition() drawShape calls add coverage to a new
    // 8-bit mask (fills only; strokes of a mask do not mask). After endClipDefinition() every drawShape
    // is masked by it, intersected with enclosing masks. popClip() drops the innermost mask.
    void BeginClip();
    void EndClipDefinition();
    void PopClip();
    int ClipDepth() const;  // number of masks on the stack (defined or being defined)

    void SetClipRect(int x0, int y0, int x1, int y1);  // device-space scissor, default whole surface
    void GetClipRect(int& x0, int& y0, int& x1, int& y1) const;

    // Curve flattening tolerance in device pixels (default 0.2).
    void SetTolerance(double px);

    void SetQuality(Quality q);  // default High
    Quality GetQuality() const;
    // How the fills drawn from now on combine with the surface (default Normal).
    void SetBlend(Blend b);
    // Reports every fill and stroke drawn from now on to `observer` (null: to none).
    void SetObserver(DrawObserver* observer);

    // From now on every call above is kept in `list` (emptied first) instead of drawn, until
    // Record(nullptr); the clip rectangle and quality still answer as if drawing.
    void Record(DisplayList* list);
    // Draws what `list` holds, as drawing it call by call would, but only the pixels inside
    // `window`: a picture drawn window by window (on several renderers of one surface at once,
    // each with windows of its own) is the picture drawn whole. Leaves the clip levels, clip
    // rectangle, blend, quality and tolerance as the list left them.
    void Replay(const DisplayList& list, IntRect window);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace lumarel::raster
