// flash.geom, Color and clips' Flash 8 properties, driven by assembled scripts on a stage with
// one clip "mc": each case's trace output.
#include <gtest/gtest.h>

#include <sstream>

#include "avm1_fake_host.h"
#include "tools/swfkit/swfkit.h"

namespace lumarel {
namespace {

// Runs `source` on the stage's timeline, inside a function for its registers, with flash.geom
// in r1; the traces joined by "|".
std::string RunOnStage(testing::ClipHost& host, int version, const std::string& source) {
    engine::avm1::Machine m(host, version);
    return testing::RunInFunction(host, m, "push \"flash\"; getvariable; push \"geom\"; getmember; store r1; pop; ",
                                  source, 8);
}
using testing::Args;

// `rN = new flash.geom.<cls>(args)`.
std::string New(int r, const char* cls, const std::string& args = "") {
    return "\n" + (args.empty() ? "push 0" : Args(args)) + ", r1, \"" + cls + "\"; newmethod; store r" +
           std::to_string(r) + "; pop\n";
}
// `rN.method(args)`, its result left on the stack.
std::string Call(int r, const char* method, const std::string& args = "") {
    return "\n" + (args.empty() ? "push 0" : Args(args)) + ", r" + std::to_string(r) + ", \"" + method +
           "\"; callmethod\n";
}
std::string Trace(int r, const char* member) {
    return "\npush r" + std::to_string(r) + ", \"" + member + "\"; getmember; trace\n";
}

struct Case {
    std::string source;
    const char* traces;
};

TEST(Avm1Geom, PointRectangleMatrixColorTransform) {
    const Case cases[] = {
        {New(2, "Point") + "push r2; trace" + New(2, "Point", "3, 4") + Trace(2, "length") + New(3, "Point", "1, 1") +
             Call(2, "add", "r3") + "trace\n" + Call(2, "subtract", "r3") + "trace",
         "(x=0, y=0)|5|(x=4, y=5)|(x=2, y=3)"},
        {New(2, "Point", "3, 4") + Call(2, "normalize", "10") + "pop\n" + Call(2, "offset", "1, -1") +
             "pop; push r2; trace\n" + Call(2, "clone") + "store r3; pop\n" + Call(2, "equals", "r3") + "trace\n" +
             Call(2, "equals", "7") + "trace",
         "(x=7, y=7)|true|false"},
        {"push r1, \"Point\"; getmember; store r5; pop\n" + New(2, "Point") + New(3, "Point", "10, 20") +
             Call(5, "distance", "r2, r3") + "trace\n" + Call(5, "interpolate", "r2, r3, 0.25") + "trace\n" +
             Call(5, "polar", "2, 0") + "trace",
         "22.3606797749979|(x=7.5, y=15)|(x=2, y=0)"},
        {New(2, "Rectangle", "1, 2, 10, 20") + "push r2; trace\n" + Trace(2, "right") + Trace(2, "bottomRight") +
             "push r2, \"left\", 4; setmember\n" + "push r2; trace\n" + Trace(2, "size") + New(3, "Rectangle") +
             "push r3; trace",
         "(x=1, y=2, w=10, h=20)|11|(x=11, y=22)|(x=4, y=2, w=7, h=20)|(x=7, y=20)|(x=0, y=0, w=0, h=0)"},
        {New(2, "Rectangle", "0, 0, 10, 10") + Call(2, "contains", "10, 5") + "trace\n" + Call(2, "contains", "0, 0") +
             "trace\n" + New(3, "Rectangle", "2, 2, 8, 8") + Call(2, "containsRectangle", "r3") + "trace\n" +
             Call(3, "inflate", "1, 2") + "pop\n" + Call(2, "containsRectangle", "r3") + "trace; push r3; trace",
         "false|true|true|false|(x=1, y=0, w=10, h=12)"},
        {New(2, "Rectangle", "0, 0, 10, 10") + New(3, "Rectangle", "5, 5, 10, 10") +
             New(4, "Rectangle", "20, 20, 1, 1") + Call(2, "intersection", "r3") + "trace\n" +
             Call(2, "intersects", "r3") + "trace\n" + Call(2, "union", "r3") + "trace\n" +
             Call(2, "intersection", "r4") + "trace\n" + Call(2, "intersects", "r4") + "trace\n" + Call(4, "setEmpty") +
             "pop\n" + Call(4, "isEmpty") + "trace\n" + Call(2, "union", "r4") + "trace",
         "(x=5, y=5, w=5, h=5)|true|(x=0, y=0, w=15, h=15)|(x=0, y=0, w=0, h=0)|false|true|(x=0, y=0, w=10, h=10)"},
        {New(2, "Matrix") + "push r2; trace\n" + Call(2, "translate", "10, 20") + "pop\n" + Call(2, "scale", "2, 3") +
             "pop; push r2; trace\n" + New(3, "Point", "1, 1") + Call(2, "transformPoint", "r3") + "trace\n" +
             Call(2, "deltaTransformPoint", "r3") + "trace\n" + Call(2, "invert") + "pop; push r2; trace",
         "(a=1, b=0, c=0, d=1, tx=0, ty=0)|(a=2, b=0, c=0, d=3, tx=20, ty=60)|(x=22, y=63)|(x=2, y=3)|"
         "(a=0.5, b=0, c=0, d=0.333333333333333, tx=-10, ty=-20)"},
        {"push 0.6, 1, \"Math\"; getvariable; push \"asin\"; callmethod; store r6; pop\n" + New(2, "Matrix") +
             Call(2, "createBox", "2, 3, r6, 5, 6") + "pop; push r2; trace\n" +
             Call(2, "createGradientBox", "1638.4, 819.2, 0, 10, 20") + "pop; push r2; trace\n" +
             New(3, "Matrix", "2, 0, 0, 2, 0, 0") + Call(2, "identity") + "pop\n" + Call(2, "translate", "1, 0") +
             "pop\n" + Call(2, "concat", "r3") + "pop; push r2; trace",
         "(a=1.6, b=1.8, c=-1.2, d=2.4, tx=5, ty=6)|(a=1, b=0, c=0, d=0.5, tx=829.2, ty=429.6)|"
         "(a=2, b=0, c=0, d=2, tx=2, ty=0)"},
        {New(2, "ColorTransform", "2, 1, 1, 1, 10") + "push r2; trace\n" + New(3, "ColorTransform", "0.5, 1, 1, 1, 4") +
             Call(2, "concat", "r3") + "pop\n" + Trace(2, "redMultiplier") + Trace(2, "redOffset") +
             "push r2, \"rgb\", 1193046; setmember\n" + Trace(2, "rgb") + Trace(2, "greenMultiplier") +
             Trace(2, "blueOffset"),
         "(redMultiplier=2, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=1, redOffset=10, greenOffset=0, "
         "blueOffset=0, alphaOffset=0)|1|18|1193046|0|86"},
    };
    for (const Case& c : cases) {
        testing::ClipHost host;
        EXPECT_EQ(RunOnStage(host, 8, c.source), c.traces) << c.source;
    }
}

}  // namespace
}  // namespace lumarel

namespace lumarel {
namespace {

// Color and Transform act on mc through the host: colour transforms read back in 8.8 fixed
// point with whole offsets, matrices in pixels.
TEST(Avm1Geom, ColorAndTransformChangeTheClip) {
    const std::string color = "push \"mc\"; getvariable; push 1, \"Color\"; newobject; store r2; pop\n";
    const std::string transform = "push \"mc\"; getvariable; push 1, r1, \"Transform\"; newmethod; store r3; pop\n";
    // getTransform's ra, rb, ba and ab (from r4) on one line.
    std::string fields = "push r4, \"ra\"; getmember";
    for (const char* f : {"rb", "ba", "ab"})
        fields += std::string("; push \" \"; stringadd; push r4, \"") + f + "\"; getmember; stringadd";
    fields += "; trace\n";
    const Case cases[] = {
        {color + Call(2, "setRGB", "3368601") + "pop\n" + Call(2, "getRGB") + "trace\n" + Call(2, "getTransform") +
             "store r4; pop\n" + fields,
         "3368601|0 51 0 0"},
        {color + "push \"ra\", 30, \"ab\", -10.7, \"ba\", -30, 3; initobject; store r5; pop\n" +
             Call(2, "setTransform", "r5") + "pop\n" + Call(2, "getTransform") + "store r4; pop\n" + fields +
             Call(2, "setTransform", "undefined") + "pop\n" + Call(2, "getTransform") + "store r4; pop\n" + fields,
         "29.6875 0 -29.6875 -10|29.6875 0 -29.6875 -10"},
        {transform + Trace(3, "matrix") + New(4, "Matrix", "2, 0, 0, 2, 5, 6") +
             "push r3, \"matrix\", r4; setmember\n" + "push r4, \"a\", 9; setmember\n" + Trace(3, "matrix") +
             Trace(3, "concatenatedMatrix") + Trace(3, "pixelBounds"),
         "(a=1, b=0, c=0, d=1, tx=0, ty=0)|(a=2, b=0, c=0, d=2, tx=5, ty=6)|(a=4, b=0, c=0, d=4, tx=15, ty=12)|"
         "(x=1, y=2, w=10, h=20)"},
        {transform + color + New(4, "ColorTransform", "0.3, 1, 1, 0.5, 10.9, 0, 0, -20.5") +
             "push r3, \"colorTransform\", r4; setmember\n" + Trace(3, "colorTransform") + Call(2, "getTransform") +
             "store r4; pop\n" + fields,
         "(redMultiplier=0.296875, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=0.5, redOffset=10, "
         "greenOffset=0, blueOffset=0, alphaOffset=-20)|29.6875 10 100 -20"},
        // Assigning mc's transform to the stage copies mc's matrix onto it.
        {transform + New(4, "Matrix", "1, 0, 0, 1, 7, 8") + "push r3, \"matrix\", r4; setmember\n" +
             "push \"this\"; getvariable; push \"transform\", \"mc\"; getvariable; push \"transform\"; getmember; "
             "setmember\n" +
             "push \"this\"; getvariable; push \"transform\"; getmember; push \"matrix\"; getmember; trace\n" +
             Trace(3, "concatenatedMatrix"),
         "(a=1, b=0, c=0, d=1, tx=7, ty=8)|(a=1, b=0, c=0, d=1, tx=14, ty=16)"},
        {"push \"mc\"; getvariable; store r2; pop\n" + Trace(2, "enabled") + Trace(2, "blendMode") +
             Trace(2, "_lockroot") + Trace(2, "cacheAsBitmap") +
             "push r2, \"filters\"; getmember; push r2, \"filters\"; getmember; equals2; trace\n" +
             "push r2, \"scrollRect\"; getmember; typeof; trace\n" + "push r2, \"filters\", 5; setmember\n" +
             Trace(2, "filters"),
         "true|normal|false|false|false|undefined|5"},
        // Targets that are no clip make objects that do nothing.
        {"push 5, 1, \"Color\"; newobject; store r2; pop\n" + Call(2, "getRGB") + "typeof; trace\n" +
             Call(2, "setRGB", "1") + "pop\n" + "push \"x\", 1, r1, \"Transform\"; newmethod; store r3; pop\n" +
             Trace(3, "matrix") + Trace(3, "pixelBounds"),
         "undefined|undefined|undefined"},
    };
    for (const Case& c : cases) {
        testing::ClipHost host;
        host.Of(host.root).matrix = {2, 0, 0, 2, 100, 0};
        EXPECT_EQ(RunOnStage(host, 8, c.source), c.traces) << c.source;
    }
    testing::ClipHost host;
    EXPECT_EQ(RunOnStage(host, 7,
                         "push \"mc\"; getvariable; store r2; pop; push r1; typeof; trace\n" + Trace(2, "blendMode") +
                             Trace(2, "transform") + Trace(2, "_lockroot")),
              "undefined|undefined|undefined|false");
}

}  // namespace
}  // namespace lumarel
