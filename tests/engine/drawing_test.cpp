// The drawing layer rendered, and the drawing methods' argument rules through a script machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <tuple>

#include "avm1_fake_host.h"
#include "engine/timeline/drawing.h"

namespace lumarel {
namespace {

using engine::avm1::Value;
using engine::timeline::Drawing;
constexpr double kPx = 20;  // twips per pixel

raster::Paint Solid(uint32_t rgb, uint8_t a = 255) {
    raster::Paint p;
    p.color = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), a};
    return p;
}

// Runs commands written as "F rrggbb alpha" (solid fill), "G" (red to blue across 0..40 px),
// "S" (4 px blue line), "N" (no line), "M x y", "L x y", "C cx cy x y", "E" (endFill); pixels.
void Draw(Drawing& d, const char* commands) {
    std::istringstream in(commands);
    raster::Stroke blue;
    blue.width = 4 * kPx;
    blue.paint = Solid(0x0000FF);
    raster::Paint ramp;
    ramp.kind = raster::Paint::Kind::Gradient;
    ramp.gradient.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    ramp.gradient.matrix = {40 * kPx / 32768, 0, 0, 40 * kPx / 32768, 20 * kPx, 20 * kPx};
    for (char op; in >> op;) {
        double a, b, c, e;
        unsigned rgb, alpha;
        if (op == 'F' && in >> std::hex >> rgb >> std::dec >> alpha) d.BeginFill(Solid(rgb, uint8_t(alpha)));
        if (op == 'G') d.BeginFill(ramp);
        if (op == 'S' || op == 'N') d.LineStyle(op == 'S' ? &blue : nullptr);
        if (op == 'M' && in >> a >> b) d.MoveTo(a * kPx, b * kPx);
        if (op == 'L' && in >> a >> b) d.LineTo(a * kPx, b * kPx);
        if (op == 'C' && in >> a >> b >> c >> e) d.CurveTo(a * kPx, b * kPx, c * kPx, e * kPx);
        if (op == 'E') d.EndFill();
    }
}

TEST(Drawing, DrawsLikeTagShapes) {
    const struct {
        const char* commands;
        std::vector<std::tuple<int, int, uint32_t>> probes;  // x, y, pixel on white
    } cases[] = {
        {"F ff0000 255 M 10 10 L 30 10 L 30 30 L 10 30 E", {{20, 20, 0xFFFF0000}, {5, 5, 0xFFFFFFFF}}},
        {"F ff0000 255 M 10 10 L 10 30 L 30 30 L 30 10 E", {{20, 20, 0xFFFF0000}}},  // the other way round
        {"F ff0000 255 M 10 10 L 30 10 L 30 30 E", {{25, 15, 0xFFFF0000}, {15, 25, 0xFFFFFFFF}}},  // closed
        {"F ff0000 255 M 10 10 L 30 10 L 30 30", {{25, 15, 0xFFFF0000}, {15, 25, 0xFFFFFFFF}}},    // still open
        {"F ff0000 255 M 5 5 L 35 5 L 35 35 L 5 35 M 15 15 L 25 15 L 25 25 L 15 25",               // a hole
         {{20, 20, 0xFFFFFFFF}, {10, 10, 0xFFFF0000}}},
        {"F ff0000 255 M 0 40 C 20 0 40 40", {{20, 25, 0xFFFF0000}, {20, 15, 0xFFFFFFFF}, {5, 25, 0xFFFFFFFF}}},
        {"F ff0000 255 M 10 10 L 30 10 L 30 30 L 10 30 E S M 0 20 L 40 20",  // line over fill
         {{20, 20, 0xFF0000FF}, {20, 12, 0xFFFF0000}}},
        {"S M 0 20 L 40 20 N F ff0000 255 M 10 10 L 30 10 L 30 30 L 10 30",  // fill over line
         {{20, 20, 0xFFFF0000}, {5, 20, 0xFF0000FF}}},
        {"G M 0 0 L 40 0 L 40 40 L 0 40", {{0, 20, 0xFFFC0003}, {39, 20, 0xFF0300FC}}},
        {"F ff0000 128 M 0 0 L 40 0 L 40 40", {{30, 10, 0xFFFF7F7F}}},
    };
    for (const auto& c : cases) {
        Drawing d;
        Draw(d, c.commands);
        raster::Surface s(40, 40);
        s.Clear({255, 255, 255, 255});
        raster::Renderer r(s);
        r.DrawShape(d.Shape(), raster::Matrix{1 / kPx, 0, 0, 1 / kPx, 0, 0}, raster::ColorTransform{});
        for (const auto& [x, y, want] : c.probes)
            for (int shift = 0; shift < 32; shift += 8)
                EXPECT_LE(std::abs(int(s.Pixel(x, y) >> shift & 255) - int(want >> shift & 255)), 4)
                    << c.commands << " at " << x << "," << y << std::hex << ": " << s.Pixel(x, y);
    }
}

TEST(Drawing, BoundsIncludeHalfTheLineAndTheCurvesExtent) {
    Drawing d;
    Draw(d, "S M 10 10 L 30 10 N F 0 255 C 50 50 30 10");  // the curve turns back at 40, 30
    const auto b = d.Bounds();
    EXPECT_EQ(std::tuple(b.xmin, b.ymin, b.xmax, b.ymax), std::tuple(160, 160, 800, 600));
    for (int i = 0; i < 300000; ++i) d.BeginFill(Solid(i)), d.LineTo(i % 2 ? 0 : 100, i);
    EXPECT_LE(d.Used(), engine::timeline::kMaxDrawingEdges);
    d.Clear();
    EXPECT_TRUE(d.Empty() && d.Shape().layers.empty());
}

struct DrawHost : testing::FakeHost {  // one clip, drawing on a Drawing
    std::shared_ptr<int> clip = std::make_shared<int>(0);
    Drawing drawing;
    bool IsClip(const Clip& c) override { return c == clip; }
    engine::avm1::Canvas* CanvasOf(const Clip&) override { return &drawing; }
};

TEST(Drawing, ScriptArgumentsBecomeStrokesAndPaints) {
    DrawHost host;
    engine::avm1::Machine m(host, 8);
    const Value mc(m.ClipObject(host.clip));
    auto call = [&](const char* name, std::vector<Value> args) {
        m.CallMethod(mc, name, args);
        m.CallMethod(mc, "lineTo", std::vector<Value>{Value(10), Value(0)});
    };
    auto obj = [&](const char* names, std::vector<Value> values) {  // {name: value, ...}
        engine::avm1::Object* o = m.NewObject();
        std::istringstream in(names);
        std::string name;
        for (size_t i = 0; in >> name && i < values.size(); ++i) m.Set(o, name, values[i]);
        return Value(o);
    };
    const auto& layers = host.drawing.Shape().layers;
    auto last = [&] { return layers.empty() ? nullptr : &layers.back(); };

    call("lineStyle", {Value(300), Value(0xFF0000), Value(150)});
    ASSERT_TRUE(last() && last()->strokes.size() == 1);
    EXPECT_EQ(std::tuple(layers[0].strokes[0].width, layers[0].strokes[0].paint.color.a), std::tuple(5100.0, 255));
    call("lineStyle", {Value(2.5), Value(0x0000FF), Value(50), Value(true), Value("none"), Value("square"),
                       Value("miter"), Value(0.5)});
    const raster::Stroke& s = last()->strokes.back();
    EXPECT_EQ(std::tuple(s.width, s.paint.color.b, s.paint.color.a, s.endCap, s.join, s.miterLimit),
              std::tuple(50.0, 255, 128, raster::Cap::Square, raster::Join::Miter, 1.0));
    EXPECT_TRUE(s.pixelHinting && s.noHScale && s.noVScale);
    m.CallMethod(mc, "clear", {});
    call("lineStyle", {});
    call("beginFill", {});
    EXPECT_FALSE(last());  // no line, no fill: nothing drawn

    const Value colors = Value(m.NewArray({Value(0xFF0000), Value(0x0000FF)})),
                two = Value(m.NewArray({Value(0), Value(255)}));
    const Value box = obj("matrixType x y w h r", {"box", 0, 0, 100, 50, 0});
    const struct {
        std::vector<Value> args;
        bool fills;
        raster::Matrix matrix;
    } gradients[] = {
        {{"linear", colors, two, two, box}, true, {100 / 1638.4, 0, 0, 50 / 1638.4, 1000, 500}},
        {{"radial", colors, two, two, obj("a b c d e f g h i", {200, 0, 0, 0, 100, 0, 10, 20, 1})},
         true,
         {200 * 20 / 16384.0, 0, 0, 100 * 20 / 16384.0, 200, 400}},
        {{"linear", colors, two, two, obj("a b c d tx ty", {1, 0, 0, 2, 5, 6})}, true, {1, 0, 0, 2, 100, 120}},
        {{"conic", colors, two, two, box}, false, {}},
        {{"linear", colors, Value(m.NewArray({Value(100)})), two, box}, false, {}},  // lengths differ
        {{"linear", colors, two, two, obj("matrixType x", {"box", 0})}, false, {}},  // fields missing
    };
    for (const auto& g : gradients) {
        m.CallMethod(mc, "clear", {});
        call("beginGradientFill", g.args);
        ASSERT_EQ(last() != nullptr, g.fills) << m.ToString(g.args[0]);
        if (!g.fills) continue;
        const raster::Matrix &a = last()->fills[0].gradient.matrix, &b = g.matrix;
        const double got[] = {a.a, a.b, a.c, a.d, a.tx, a.ty}, want[] = {b.a, b.b, b.c, b.d, b.tx, b.ty};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << m.ToString(g.args[0]) << " " << i;
    }
    call("beginGradientFill", {Value("radial"), colors, two, two, box, Value("reflect"), Value("linearRGB"), Value(3)});
    const raster::Gradient& g = last()->fills[0].gradient;
    EXPECT_EQ(
        std::tuple(g.kind, g.focal, g.spread, g.interpolation, g.stops[1].ratio),
        std::tuple(raster::Gradient::Kind::Focal, 1.0, raster::Spread::Reflect, raster::Interpolation::LinearRgb, 255));
}

}  // namespace
}  // namespace lumarel
