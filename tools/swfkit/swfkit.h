// Lumarel SWF authoring kit: builds SWF movies byte by byte for tests and for the bundled
// sample movies. It writes the SWF file format directly (no outside tool), so a test can make
// exactly the records it wants, good or deliberately broken.
//
// Units: every coordinate and length is in twips (1/20 pixel) unless a name says otherwise;
// `Px()` converts. Colours are straight (not premultiplied) RGBA.
//
// Typical use:
//     Movie movie(Rect::Pixels(0, 0, 550, 400), 24.0);
//     movie.Background(Rgba::Hex(0x102040));
//     ShapeBuilder s;
//     s.Fill1(s.AddFill(FillStyle::Solid(Rgba::Hex(0xff8000)))).Circle(0, 0, Px(40));
//     uint16_t id = movie.DefineShape(s);
//     movie.Place2(Place::Add(1, id).At(Matrix::Translate(Px(275), Px(200))));
//     movie.ShowFrame();
//     Bytes file = movie.Build(Compression::Zlib);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumarel::swfkit {

using Bytes = std::vector<std::uint8_t>;
struct SoundFormat;

// ---------------------------------------------------------------------------------------------
// Numbers

// Pixels to twips, rounded to the nearest twip.
std::int32_t Px(double pixels);
// Smallest UB field width that holds `value` (0 for 0).
unsigned BitsUnsigned(std::uint32_t value);
// Smallest SB field width that holds `value` including its sign bit (0 for 0).
unsigned BitsSigned(std::int32_t value);
// Real number to 16.16 fixed point (rounded, saturated to int32).
std::int32_t ToFixed16(double v);
// Real number to signed 8.8 fixed point (rounded, saturated to int16).
std::int16_t ToFixed8(double v);

// ---------------------------------------------------------------------------------------------
// Bit writer: SWF bit fields are packed most significant bit first; byte values are little
// endian and always start on a byte boundary (the byte writers align first).

class BitWriter {
public:
    // Each writer returns the writer, so fields can be chained: w.U16(id).Ub(5, 3).Take().
    BitWriter& Ub(std::uint32_t value, unsigned nbits);  // unsigned bit field (nbits <= 32)
    BitWriter& Sb(std::int32_t value, unsigned nbits);   // signed bit field, two's complement
    BitWriter& Fb(std::int32_t fixed16, unsigned nbits) { return Sb(fixed16, nbits); }  // 16.16 bit field
    BitWriter& Align();  // pad the current byte with zero bits

    BitWriter& U8(std::uint8_t v);
    BitWriter& U16(std::uint16_t v);
    BitWriter& U32(std::uint32_t v);
    BitWriter& S16(std::int16_t v) { return U16(static_cast<std::uint16_t>(v)); }
    BitWriter& Fixed8(double v) { return S16(ToFixed8(v)); }                                // FIXED8 (8.8)
    BitWriter& Fixed16(double v) { return U32(static_cast<std::uint32_t>(ToFixed16(v))); }  // FIXED (16.16)
    BitWriter& Str(std::string_view s);  // bytes plus a terminating zero
    BitWriter& Append(const Bytes& b);
    BitWriter& Append(const std::uint8_t* p, std::size_t n);

    std::size_t size() const { return buf_.size(); }  // bytes started so far
    unsigned BitPos() const { return used_; }         // bits used in the last byte (0 = aligned)
    const Bytes& data() const { return buf_; }
    Bytes Take() {
        Align();
        return std::move(buf_);
    }

private:
    Bytes buf_;
    unsigned used_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Basic records

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    static constexpr Rgba Hex(std::uint32_t rrggbb, std::uint8_t alpha = 255) {
        return Rgba{static_cast<std::uint8_t>(rrggbb >> 16), static_cast<std::uint8_t>(rrggbb >> 8),
                    static_cast<std::uint8_t>(rrggbb), alpha};
    }
    // Linear mix between two colours, t in [0,1].
    static Rgba Mix(Rgba a, Rgba b, double t);
    // Colour from hue (degrees), saturation and value in [0,1].
    static Rgba Hsv(double hueDegrees, double s, double v, std::uint8_t alpha = 255);
    bool operator==(const Rgba&) const = default;
};

struct Rect {
    std::int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // twips
    static Rect Pixels(double x, double y, double w, double h);
    std::int32_t Width() const { return xmax - xmin; }
    std::int32_t Height() const { return ymax - ymin; }
    bool operator==(const Rect&) const = default;
};

// Affine transform as SWF stores it: x' = a*x + c*y + tx, y' = b*x + d*y + ty
// (a = ScaleX, b = RotateSkew0, c = RotateSkew1, d = ScaleY; tx, ty in twips).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1;
    std::int32_t tx = 0, ty = 0;

    static Matrix Identity() { return {}; }
    static Matrix Translate(std::int32_t x, std::int32_t y);
    static Matrix Scale(double sx, double sy);
    static Matrix Scale(double s) { return Scale(s, s); }
    static Matrix Rotate(double radians);
    static Matrix Skew(double kx, double ky);  // x' = x + kx*y, y' = ky*x + y
    // this * other: apply `other` first, then this.
    Matrix operator*(const Matrix& o) const;
    // Maps SWF's gradient square (-16384..16384 twips both ways) onto the box x..x+w, y..y+h:
    // the square is turned by `radians` about its centre, then stretched to the box, so a
    // linear ramp at a quarter turn runs from the box's top to its bottom.
    static Matrix GradientBox(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, double radians = 0);
    // The same for a bitmap of its natural size placed at x, y with a scale.
    static Matrix BitmapAt(std::int32_t x, std::int32_t y, double scale = 1.0);
};

// Colour transform: c' = c * mult/256 + add, per channel. Mult 256 means 1.0.
struct ColorTransform {
    std::int16_t mr = 256, mg = 256, mb = 256, ma = 256;
    std::int16_t ar = 0, ag = 0, ab = 0, aa = 0;

    static ColorTransform Identity() { return {}; }
    static ColorTransform Multiply(double r, double g, double b, double a = 1.0);
    static ColorTransform Add(int r, int g, int b, int a = 0);
    static ColorTransform Alpha(double a) { return Multiply(1, 1, 1, a); }
    // Blend towards `colour` by `amount` in [0,1] (alpha kept).
    static ColorTransform Tint(Rgba colour, double amount);
    bool HasMult() const { return mr != 256 || mg != 256 || mb != 256 || ma != 256; }
    bool HasAdd() const { return ar != 0 || ag != 0 || ab != 0 || aa != 0; }
};

void WriteRgb(BitWriter& w, Rgba c);
void WriteRgba(BitWriter& w, Rgba c);
void WriteRect(BitWriter& w, const Rect& r);                        // minimal Nbits
void WriteRect(BitWriter& w, const Rect& r, unsigned nbits);        // fields nbits wide, as given
void WriteMatrix(BitWriter& w, const Matrix& m);                    // minimal bit counts, optional parts left out
void WriteCxform(BitWriter& w, const ColorTransform& cx);           // CXFORM (no alpha)
void WriteCxformWithAlpha(BitWriter& w, const ColorTransform& cx);  // CXFORMWITHALPHA

// ---------------------------------------------------------------------------------------------
// Tag codes used by the kit (raw tags may use any code).

namespace tag {
constexpr std::uint16_t End = 0, ShowFrame = 1, DefineShape = 2, PlaceObject = 4, RemoveObject = 5, DefineBits = 6,
                        DefineButton = 7, JPEGTables = 8, SetBackgroundColor = 9, DoAction = 12,
                        DefineBitsLossless = 20, DefineBitsJPEG2 = 21, DefineShape2 = 22, PlaceObject2 = 26,
                        RemoveObject2 = 28, DefineShape3 = 32, DefineBitsJPEG3 = 35, DefineBitsLossless2 = 36,
                        DefineSprite = 39, FrameLabel = 43, DefineMorphShape = 46, FileAttributes = 69,
                        PlaceObject3 = 70, DefineShape4 = 83, DefineBitsJPEG4 = 90;
}  // namespace tag

// Tags whose header Flash always writes in the long form, whatever their length.
bool AlwaysLongHeader(std::uint16_t code);

enum class TagHeader { Auto, Short, Long };
// One tag: header plus body. Auto picks long for bodies of 63 bytes or more and for the
// codes of alwaysLongHeader(). Short with a long body is written as asked (a broken tag),
// with the length truncated to 6 bits, for bad-input tests. Codes are 10 bits wide.
Bytes EncodeTag(std::uint16_t code, const Bytes& body, TagHeader header = TagHeader::Auto);

// ---------------------------------------------------------------------------------------------
// Fill and line styles

enum class Spread : std::uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class Interpolation : std::uint8_t { Normal = 0, Linear = 1 };

struct GradientStop {
    std::uint8_t ratio = 0;
    Rgba color;
};

struct Gradient {
    std::vector<GradientStop> stops;  // up to 15 (8 before DefineShape4)
    Spread spread = Spread::Pad;
    Interpolation interpolation = Interpolation::Normal;
    double focalPoint = 0;  // -1..1, focal gradients only

    // Evenly spaced stops over the given colours.
    static Gradient Even(std::initializer_list<Rgba> colours);
};

struct FillStyle {
    enum class Type : std::uint8_t {
        Solid = 0x00,
        Linear = 0x10,
        Radial = 0x12,
        Focal = 0x13,
        RepeatingBitmap = 0x40,
        ClippedBitmap = 0x41,
        RepeatingBitmapHard = 0x42,
        ClippedBitmapHard = 0x43,  // not smoothed
    };
    Type type = Type::Solid;
    Rgba color;
    Matrix matrix;  // gradient or bitmap matrix
    Gradient gradient;
    std::uint16_t bitmapId = 0;

    static FillStyle Solid(Rgba c);
    static FillStyle Linear(Gradient g, Matrix m);
    static FillStyle Radial(Gradient g, Matrix m);
    static FillStyle Focal(Gradient g, double focalPoint, Matrix m);
    static FillStyle Bitmap(std::uint16_t id, Matrix m, bool repeat = true, bool smooth = true);
};

enum class Cap : std::uint8_t { Round = 0, None = 1, Square = 2 };
enum class Join : std::uint8_t { Round = 0, Bevel = 1, Miter = 2 };

// LINESTYLE in DefineShape1-3 (width and colour only); LINESTYLE2 in DefineShape4.
struct LineStyle {
    std::uint16_t width = 20;  // twips
    Rgba color;
    Cap startCap = Cap::Round, endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3.0;  // written when join is Miter
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<FillStyle> fill;  // stroke painted with a fill style (DefineShape4)

    static LineStyle Solid(std::uint16_t width, Rgba c);
    LineStyle& Caps(Cap c) {
        startCap = endCap = c;
        return *this;
    }
    LineStyle& Joins(Join j, double miter = 3.0) {
        join = j;
        miterLimit = miter;
        return *this;
    }
};

// ---------------------------------------------------------------------------------------------
// Shapes

// Builds SHAPEWITHSTYLE (and bare SHAPE) records. Drawing uses absolute twip coordinates;
// the builder turns them into moveTo records and edge deltas with minimal bit counts,
// splitting edges whose deltas do not fit the 17-bit edge fields.
//
// Styles are numbered from 1 in the order added (0 means "none"). Style selections
// (fill0/fill1/line) are collected and written into the next style change record, merged
// with the moveTo that starts the next contour.
class ShapeBuilder {
public:
    int AddFill(const FillStyle& f);  // index into the current style set
    int AddLine(const LineStyle& l);
    // Starts a new style set (StateNewStyles, DefineShape2 and later): later addFill/addLine
    // calls fill the new set; selections are reset to 0 (written as such) unless told not to.
    ShapeBuilder& NewStyles(bool resetSelections = true);

    ShapeBuilder& Fill0(int index);
    ShapeBuilder& Fill1(int index);
    ShapeBuilder& Line(int index);
    // Convenience: fill1 = index, fill0 = 0, line = lineIndex.
    ShapeBuilder& Style(int fillIndex, int lineIndex = 0);

    ShapeBuilder& MoveTo(std::int32_t x, std::int32_t y);
    ShapeBuilder& LineTo(std::int32_t x, std::int32_t y);
    ShapeBuilder& CurveTo(std::int32_t cx, std::int32_t cy, std::int32_t x, std::int32_t y);
    ShapeBuilder& Close();  // line back to the contour's start if not there

    // Closed contours (each starts with a moveTo), drawn clockwise on screen (y down).
    ShapeBuilder& Rectangle(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);
    ShapeBuilder& RoundRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t radius);
    // Ellipse from `segments` quadratic curves (8 is smooth; at least 4).
    ShapeBuilder& Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, int segments = 8);
    ShapeBuilder& Circle(std::int32_t cx, std::int32_t cy, std::int32_t r) { return Ellipse(cx, cy, r, r); }
    // Open arc (for strokes) from angle a0 to a1 (radians, clockwise on screen).
    ShapeBuilder& Arc(std::int32_t cx, std::int32_t cy, std::int32_t r, double a0, double a1);
    ShapeBuilder& Polygon(const std::vector<std::pair<std::int32_t, std::int32_t>>& points);
    ShapeBuilder& RegularPolygon(std::int32_t cx, std::int32_t cy, std::int32_t r, int sides, double rotation = 0);
    ShapeBuilder& Star(std::int32_t cx, std::int32_t cy, std::int32_t outer, std::int32_t inner, int points,
                       double rotation = 0);

    // Encodes SHAPEWITHSTYLE for DefineShape `version` (1..4): colours are RGB for 1 and 2,
    // LINESTYLE2 for 4.
    Bytes EncodeWithStyle(int version) const;
    // Encodes a bare SHAPE (NumFillBits, NumLineBits, records) without style arrays, as morph
    // shapes and glyphs use it: selections are written with the given bit counts when
    // `selections` is set, else left out (style-only records then vanish; moveTo stays).
    // New style sets are never written here.
    Bytes EncodeShape(unsigned fillBits, unsigned lineBits, bool selections) const;
    // Bounds of all edges and control points, with and without half the widest stroke.
    Rect Bounds() const;
    Rect EdgeBounds() const;
    bool empty() const { return records_.empty(); }
    // DefineShape4 only: fill with the non-zero winding rule instead of even-odd.
    ShapeBuilder& NonZeroWinding(bool on = true) {
        nonZero_ = on;
        return *this;
    }
    bool NonZeroWinding() const { return nonZero_; }

    // Raw access for tests and for morph shapes.
    struct StyleSet {
        std::vector<FillStyle> fills;
        std::vector<LineStyle> lines;
    };
    struct Record {
        enum class Kind { Style, Line, Curve } kind = Kind::Style;
        // Style change
        bool hasMove = false;
        std::int32_t mx = 0, my = 0;
        std::optional<int> f0, f1, ln;
        int newStyleSet = -1;  // index into styleSets() when StateNewStyles
        // Edges: deltas (control then anchor for curves)
        std::int32_t dx = 0, dy = 0, ax = 0, ay = 0;
    };
    const std::vector<Record>& Records() const { return records_; }
    const std::vector<StyleSet>& StyleSets() const { return sets_; }

private:
    bool nonZero_ = false;
    void FlushStyle(bool forceMove);
    void AddLine(std::int32_t dx, std::int32_t dy);
    void AddCurve(std::int32_t cdx, std::int32_t cdy, std::int32_t adx, std::int32_t ady);
    void Grow(std::int32_t x, std::int32_t y);
    Bytes Encode(int version, bool withStyles, unsigned fillBits, unsigned lineBits, bool selections) const;

    std::vector<StyleSet> sets_{StyleSet{}};
    std::vector<Record> records_;
    Record pending_;
    bool pendingStyle_ = false;
    int pendingSet_ = -1;
    std::int32_t x_ = 0, y_ = 0, startX_ = 0, startY_ = 0;
    bool hasPoint_ = false;
    std::int32_t bx0_ = 0, bx1_ = 0, by0_ = 0, by1_ = 0;
    std::uint16_t maxLine_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Display list records

// A FILTERLIST for PlaceObject3: filters added in order. Angles in radians, sizes in pixels.
class FilterList {
public:
    FilterList& DropShadow(Rgba color, double blurX, double blurY, double angle, double distance, double strength,
                           int passes, bool inner = false, bool knockout = false);
    FilterList& Blur(double blurX, double blurY, int passes);
    FilterList& Glow(Rgba color, double blurX, double blurY, double strength, int passes, bool inner = false,
                     bool knockout = false);
    Bytes Encode() const;

private:
    int count_ = 0;
    Bytes body_;
};

// PlaceObject2 / PlaceObject3 fields. Build with add/modify/replace and the setters.
struct Place {
    std::uint16_t depth = 1;
    bool move = false;
    std::optional<std::uint16_t> character;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> cxform;
    std::optional<std::uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<std::uint16_t> clipDepth;
    // PlaceObject3 only
    std::optional<Bytes> filters;  // a FILTERLIST record (see FilterList)
    std::optional<std::string> className;
    std::optional<std::uint8_t> blendMode;
    std::optional<std::uint8_t> cacheAsBitmap;
    std::optional<std::uint8_t> visible;
    std::optional<Rgba> opaqueBackground;
    bool hasImage = false;

    static Place Add(std::uint16_t depth, std::uint16_t character);
    static Place Modify(std::uint16_t depth);
    static Place Replace(std::uint16_t depth, std::uint16_t character);
    Place& At(const Matrix& m) {
        matrix = m;
        return *this;
    }
    Place& Color(const ColorTransform& c) {
        cxform = c;
        return *this;
    }
    Place& WithRatio(std::uint16_t r) {
        ratio = r;
        return *this;
    }
    Place& Named(std::string n) {
        name = std::move(n);
        return *this;
    }
    Place& ClipTo(std::uint16_t d) {
        clipDepth = d;
        return *this;
    }
    Place& Blend(std::uint8_t mode) {
        blendMode = mode;
        return *this;
    }
    Place& Filters(Bytes list) {
        filters = std::move(list);
        return *this;
    }
};

// Action records from text, one statement a line (or between semicolons): an action's name
// ("add2", "trace", "getvariable", ...), `push 1, 2.5, "s", true, null, undefined, r1, c0`,
// `constants "a", "b"`, `store r1`, `label:` with `jump label` / `if label`, `gotoframe N`,
// `gotolabel "x"`, `settarget "x"`, `geturl "url", "target"`, `gotoframe2 play|stop[, bias]`,
// blocks `function name(a, b) {`, `function2 name(r1:a, b) regs=3 flags=0x2A {`, `with {`,
// `try e {` ... `} catch {` ... `} finally {` ... `}`. Throws std::invalid_argument on bad text.
Bytes AssembleActions(std::string_view source);

// Action records for DoAction.
class Actions {
public:
    Actions& NextFrame() { return Op(0x04); }
    Actions& PrevFrame() { return Op(0x05); }
    Actions& Play() { return Op(0x06); }
    Actions& Stop() { return Op(0x07); }
    Actions& GotoFrame(std::uint16_t zeroBasedFrame);
    Actions& GotoLabel(std::string_view label);
    Actions& SetTarget(std::string_view target);  // "" returns to the own timeline
    Actions& WaitForFrame(std::uint16_t zeroBasedFrame, std::uint8_t skipCount);
    Actions& Op(std::uint8_t code);                        // action without payload
    Actions& Op(std::uint8_t code, const Bytes& payload);  // code >= 0x80: with length
    Actions& Raw(const Bytes& bytes);                      // anything, unchecked
    Actions& Asm(std::string_view source);                 // assembled text, see AssembleActions
    // The records followed by the ActionEndFlag.
    Bytes Encode() const;

private:
    Bytes bytes_;
};

// ---------------------------------------------------------------------------------------------
// Timelines: the main movie and sprites share the control tag writers.

class Timeline {
public:
    // Any tag, any bytes.
    Timeline& Raw(std::uint16_t code, const Bytes& body, TagHeader header = TagHeader::Auto);
    // Bytes appended as they are (already encoded tags, or garbage).
    Timeline& RawBytes(const Bytes& bytes);

    Timeline& ShowFrame();
    Timeline& Place2(const Place& p);  // PlaceObject2
    Timeline& Place3(const Place& p);  // PlaceObject3
    Timeline& PlaceObject(std::uint16_t character, std::uint16_t depth, const Matrix& m,
                          const std::optional<ColorTransform>& cx = std::nullopt);  // PlaceObject
    Timeline& Remove(std::uint16_t depth);                                          // RemoveObject2
    Timeline& RemoveObject(std::uint16_t character, std::uint16_t depth);           // RemoveObject
    Timeline& Label(std::string_view name, bool namedAnchor = false);
    Timeline& DoAction(const Actions& a);

    // Writes every tag with a long header when set.
    void ForceLongHeaders(bool on) { forceLong_ = on; }
    int FrameCount() const { return frames_; }
    const Bytes& Tags() const { return tags_; }
    std::size_t TagCount() const { return count_; }

protected:
    Bytes tags_;
    int frames_ = 0;
    std::size_t count_ = 0;
    bool forceLong_ = false;
};

class Sprite : public Timeline {
public:
    // DefineSprite body: id, frame count, control tags, End.
    Bytes Encode(std::uint16_t id) const;
};

enum class Compression { None, Zlib, Lzma };

// Knobs for bad-input tests; defaults make a correct file.
struct BuildOptions {
    Compression compression = Compression::None;
    std::optional<std::uint32_t> fileLength;  // header FileLength instead of the real one
    std::optional<std::uint16_t> frameCount;  // header FrameCount instead of the counted one
    bool appendEnd = true;                    // End tag after the last tag
    std::optional<unsigned> stageBits;        // stage RECT fields this wide instead of the smallest
};

// Lossless bitmap pixels: row-major straight ARGB as 0xAARRGGBB.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;
};

// Morph shape: start and end shapes with the same records (edges may differ in shape,
// not in number or kind; a straight edge may pair with a curve), and styles given in pairs.
struct MorphFill {
    FillStyle start, end;  // same type; gradients with the same number of stops
};
struct MorphLine {
    std::uint16_t startWidth = 20, endWidth = 20;
    Rgba startColor, endColor;
};

class Movie : public Timeline {
public:
    Movie(Rect stage, double frameRate, std::uint8_t version = 10);

    Movie& Background(Rgba c);  // SetBackgroundColor (RGB)
    std::uint16_t NextId() { return nextId_++; }
    // Define tags; each returns the new character id.
    std::uint16_t DefineShape(const ShapeBuilder& s, int version = 3);
    std::uint16_t DefineSprite(const Sprite& s);
    // DefineBitsLossless (alpha false: format 5, 24-bit) or DefineBitsLossless2 (alpha true,
    // premultiplied 32-bit); `palette` writes format 3 with a colour table instead when the
    // image has at most 256 colours.
    std::uint16_t DefineBitsLossless(const Bitmap& bmp, bool alpha, bool palette = false);
    std::uint16_t DefineMorphShape(const ShapeBuilder& startShape, const ShapeBuilder& endShape,
                                   const std::vector<MorphFill>& fills, const std::vector<MorphLine>& lines);
    // DefineMorphShape2: as defineMorphShape, with edge bounds and LINESTYLE2-style lines
    // (caps and joins of `lines2`; widths and colours from `lines`).
    std::uint16_t DefineMorphShape2(const ShapeBuilder& startShape, const ShapeBuilder& endShape,
                                    const std::vector<MorphFill>& fills, const std::vector<MorphLine>& lines);
    // JPEG bitmaps (images.cpp). jpegTables writes the movie's JPEGTables tag; defineBits a
    // DefineBits tag whose data relies on those tables; defineBitsJpeg2 any JPEG, PNG or GIF
    // stream; defineBitsJpeg3 a JPEG with an alpha plane (width x height bytes, zlib-packed
    // here; `rawAlpha` is written as it is instead, for bad-input tests).
    Movie& JpegTables(const Bytes& tables);
    std::uint16_t DefineBits(const Bytes& jpegWithoutTables);
    std::uint16_t DefineBitsJpeg2(const Bytes& imageData);
    std::uint16_t DefineBitsJpeg3(const Bytes& jpeg, const std::vector<std::uint8_t>& alpha,
                                  const std::optional<Bytes>& rawAlpha = std::nullopt);
    // DefineSound (sound.cpp): `data` as the format stores it (encodePcm16, encodeAdpcm).
    std::uint16_t DefineSound(const SoundFormat& format, std::uint32_t sampleCount, const Bytes& data);
    // The same define tags with a caller-chosen id (duplicates, forward references, ...).
    void DefineShapeAs(std::uint16_t id, const ShapeBuilder& s, int version = 3);
    void DefineSpriteAs(std::uint16_t id, const Sprite& s);

    std::uint8_t Version() const { return version_; }
    const Rect& Stage() const { return stage_; }
    // Frame rate as 8.8 fixed point, as written in the header.
    std::uint16_t FrameRate88() const { return rate88_; }

    // The complete file.
    Bytes Build(const BuildOptions& options = {}) const;
    Bytes Build(Compression c) const {
        BuildOptions o;
        o.compression = c;
        return Build(o);
    }
    // Writes build(options) to `path`; false when the file cannot be written.
    bool Save(const std::string& path, const BuildOptions& options = {}) const;

private:
    Rect stage_;
    std::uint16_t rate88_;
    std::uint8_t version_;
    std::uint16_t nextId_ = 1;
};

// Image streams for the bitmap tags (images.cpp): baseline JPEG (quality 1..100) and PNG of
// straight ARGB pixels; splitJpeg divides a JPEG into a tables stream (quantisation and Huffman
// tables between start and end markers) and the rest, as DefineBits and JPEGTables hold them.
Bytes EncodeJpeg(const Bitmap& bmp, int quality = 90);
Bytes EncodePng(const Bitmap& bmp);
bool SplitJpeg(const Bytes& jpeg, Bytes& tables, Bytes& image);
Bytes ZlibPack(const Bytes& data);

// ---------------------------------------------------------------------------------------------
// Sound (sound.cpp). Encoders return tag bodies; add them with Timeline::raw().

namespace tag {
constexpr std::uint16_t DefineSound = 14, StartSound = 15, SoundStreamHead = 18, SoundStreamBlock = 19,
                        SoundStreamHead2 = 45;
}  // namespace tag

// Codec (0 native PCM, 1 ADPCM, 2 MP3, 3 little-endian PCM, ...), rate code (0 = 5.5 kHz ..
// 3 = 44 kHz), sample width and channels, as the sound tags store them.
struct SoundFormat {
    std::uint8_t codec = 3;
    std::uint8_t rateCode = 3;
    bool sixteenBit = true;
    bool stereo = false;
};

struct SoundEnvelope {
    std::uint32_t pos44 = 0;
    std::uint16_t left = 32768, right = 32768;
};

// SOUNDINFO: the flags and the optional parts, each written only when given.
struct SoundInfo {
    bool syncStop = false, noMultiple = false;
    std::optional<std::uint32_t> inPoint, outPoint;
    std::optional<std::uint16_t> loops;
    std::vector<SoundEnvelope> envelope;
};

// Interleaved 16-bit samples as little-endian PCM bytes.
Bytes EncodePcm16(const std::vector<std::int16_t>& samples);
// SWF ADPCM of interleaved samples with `bits` (2..5) bits per code, in packets of 4096 frames.
Bytes EncodeAdpcm(const std::vector<std::int16_t>& samples, bool stereo, int bits);
Bytes EncodeSoundInfo(const SoundInfo& info);
// DefineSound body: id, format, sample count (per channel), then `data` as the format stores it.
Bytes DefineSoundBody(std::uint16_t id, const SoundFormat& format, std::uint32_t sampleCount, const Bytes& data);
Bytes StartSoundBody(std::uint16_t soundId, const SoundInfo& info);
// SoundStreamHead(2) body: playback format as the stream's (44 kHz mono codes for MP3 aside).
Bytes SoundStreamHeadBody(const SoundFormat& stream, std::uint16_t samplesPerBlock);

// Whether this build can write LZMA-compressed (ZWS) movies.
bool LzmaAvailable();

// Whole-file helpers for tests: decompresses CWS/ZWS into the FWS form (signature "FWS",
// same FileLength). Returns an empty vector when the input is not a valid compressed file.
Bytes DecompressMovie(const Bytes& file);

// ---------------------------------------------------------------------------------------------
// Fonts, text and buttons. Encoders return tag bodies; add them with Timeline::raw().

namespace tag {
constexpr std::uint16_t DefineFont = 10, DefineText = 11, DefineFontInfo = 13, DefineButtonCxform = 23,
                        DefineText2 = 33, DefineButton2 = 34, DefineEditText = 37, DefineFont2 = 48,
                        DefineFontInfo2 = 62, DefineFont3 = 75;
}  // namespace tag

// One glyph: its outline in em units (1024 to the em for DefineFont/DefineFont2, 20480 for
// DefineFont3), baseline at y = 0, y down (capitals reach up into negative y), filled by style 1.
struct FontGlyph {
    ShapeBuilder shape;
    std::uint16_t code = 0;    // character code (UCS-2, or the font's code page)
    std::int16_t advance = 0;  // em units
};

struct Font {
    std::string name;
    bool bold = false, italic = false, shiftJis = false, ansi = false, smallText = false;
    bool wideCodes = true;            // DefineFont2 and DefineFontInfo (DefineFont3: always)
    std::optional<bool> wideOffsets;  // DefineFont2/3: unset = when the table needs it
    std::uint8_t language = 0;
    bool layout = true;                                 // DefineFont2/3 layout tables
    std::int16_t ascent = 0, descent = 0, leading = 0;  // em units
    std::vector<FontGlyph> glyphs;
    struct KerningPair {
        std::uint16_t code, next;
        std::int16_t adjust;  // em units
    };
    std::vector<KerningPair> kerning;  // written with the layout tables
    // Glyph index of a code, or -1.
    int IndexOf(char32_t code) const;
};

// A blocky font for tests and samples: A-Z, 0-9, space, '.', '!', '-' on a 5 x 7 grid, and a
// round 'o' made of curves (a ring: outer contour fill1, inner fill0). `em` is 1024 or 20480.
Font BlockFont(const std::string& name, int em = 1024);

Bytes EncodeDefineFont(std::uint16_t id, const Font& f);                           // outlines only
Bytes EncodeDefineFont2(std::uint16_t id, const Font& f, int version = 2);         // 2 or 3
Bytes EncodeDefineFontInfo(std::uint16_t fontId, const Font& f, int version = 1);  // 1 or 2

struct TextGlyph {
    std::uint32_t index = 0;
    std::int32_t advance = 0;  // twips
};
struct TextRecord {
    std::optional<std::uint16_t> font;  // with height
    std::uint16_t height = 240;         // twips, written with the font
    std::optional<Rgba> color;          // RGB in DefineText, RGBA in DefineText2
    std::optional<std::int16_t> x, y;   // twips
    std::vector<TextGlyph> glyphs;      // at most 255
};
// Glyph entries for `text` (one byte per character) at `height` twips with the font's advances;
// characters the font lacks are left out.
std::vector<TextGlyph> LayoutGlyphs(const Font& f, std::string_view text, std::uint16_t height, double emSize = 1024);
// DefineText (version 1) or DefineText2 (2). Bit widths are the smallest that fit unless given.
Bytes EncodeDefineText(std::uint16_t id, const Rect& bounds, const Matrix& m, const std::vector<TextRecord>& records,
                       int version = 1, std::optional<unsigned> glyphBits = std::nullopt,
                       std::optional<unsigned> advanceBits = std::nullopt);

struct EditText {
    Rect bounds;
    std::optional<std::uint16_t> font;  // with height
    std::optional<std::string> fontClass;
    std::uint16_t height = 240;  // twips
    std::optional<Rgba> color;
    std::optional<std::uint16_t> maxLength;
    bool wordWrap = false, multiline = false, password = false, readOnly = true, autoSize = false, noSelect = true,
         border = false, wasStatic = false, html = false, useOutlines = false;
    struct Layout {
        std::uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
        std::uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
        std::int16_t leading = 0;
    };
    std::optional<Layout> layout;
    std::string variable;
    std::optional<std::string> text;
};
Bytes EncodeDefineEditText(std::uint16_t id, const EditText& e);

struct ButtonRecord {
    bool up = true, over = false, down = false, hit = false;
    std::uint16_t character = 0, depth = 1;
    Matrix matrix;
    ColorTransform cxform;  // DefineButton2 only
};
struct ButtonCondAction {
    std::uint16_t conditions = 0x0008;  // OverDownToOverUp (release)
    Actions actions;
};
Bytes EncodeDefineButton(std::uint16_t id, const std::vector<ButtonRecord>& records, const Actions& actions = {});
Bytes EncodeDefineButton2(std::uint16_t id, const std::vector<ButtonRecord>& records, bool trackAsMenu = false,
                          const std::vector<ButtonCondAction>& actions = {});
Bytes EncodeDefineButtonCxform(std::uint16_t buttonId, const ColorTransform& cx);

// ---------------------------------------------------------------------------------------------
// Embedded video (video.cpp). Encoders return tag bodies; add them with Timeline::Raw().

namespace tag {
constexpr std::uint16_t DefineVideoStream = 60, VideoFrame = 61;
}  // namespace tag

// DefineVideoStream: codec 2 Sorenson H.263, 3 Screen Video, 6 Screen Video 2; deblocking 0..2.
Bytes DefineVideoStreamBody(std::uint16_t id, std::uint16_t frames, std::uint16_t width, std::uint16_t height,
                            std::uint8_t codec, bool smoothing = false, std::uint8_t deblocking = 0);
Bytes VideoFrameBody(std::uint16_t stream, std::uint16_t frame, const Bytes& packet);
// A Screen Video packet of `image` (alpha ignored) in blocks of the given size (16 to 256, a
// multiple of 16); blocks that equal `previous` (same size) are written without data.
Bytes ScreenVideoPacket(const Bitmap& image, int blockWidth, int blockHeight, const Bitmap* previous = nullptr);

}  // namespace lumarel::swfkit
