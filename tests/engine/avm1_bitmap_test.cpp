// flash.display.BitmapData and flash.filters, driven by assembled scripts: each case's trace
// output. Colours are written in decimal; getPixel32 reads back signed.
#include <gtest/gtest.h>

#include <sstream>

#include "avm1_fake_host.h"
#include "tools/swfkit/swfkit.h"

namespace lumarel {
namespace {

// Runs `source` inside a function for its registers: r1 is flash.display, r2 flash.geom, r3
// flash.filters. The traces joined by "|".
std::string RunScript(const std::string& source) {
    testing::ClipHost host;
    engine::avm1::Machine m(host, 8);
    return testing::RunInFunction(host, m,
                                  "push \"flash\"; getvariable; store r9; push \"display\"; getmember; store r1; "
                                  "pop; push r9, \"geom\"; getmember; store r2; pop; push r9, \"filters\"; "
                                  "getmember; store r3; pop; ",
                                  source, 10);
}
using testing::Args;

// `rN = new <package register>.<cls>(args)`.
std::string New(int r, int package, const char* cls, const std::string& args = "") {
    return "\n" + (args.empty() ? "push 0" : Args(args)) + ", r" + std::to_string(package) + ", \"" + cls +
           "\"; newmethod; store r" + std::to_string(r) + "; pop\n";
}
std::string Bmp(int r, const std::string& args) { return New(r, 1, "BitmapData", args); }
// `rN.method(args)`, its result left on the stack; dropped (Call) or traced (Show).
std::string Result(int r, const char* method, const std::string& args = "") {
    return "\n" + (args.empty() ? "push 0" : Args(args)) + ", r" + std::to_string(r) + ", \"" + method +
           "\"; callmethod\n";
}
std::string Call(int r, const char* method, const std::string& args = "") { return Result(r, method, args) + "pop\n"; }
std::string Show(int r, const char* method, const std::string& args = "") {
    return Result(r, method, args) + "trace\n";
}
std::string Trace(int r, const char* member) {
    return "\npush r" + std::to_string(r) + ", \"" + member + "\"; getmember; trace\n";
}

struct Case {
    std::string source;
    const char* traces;
};

TEST(Avm1Bitmap, ScriptsSeeFlash8Pixels) {
    const Case cases[] = {
        // Sizes 1..2880; anything else leaves an object whose sizes read -1.
        {Bmp(4, "2880, 1") + Trace(4, "width") + Trace(4, "transparent") + Show(4, "getPixel32", "0, 0") +
             Bmp(5, "2881, 5") + Trace(5, "width") + Trace(5, "height") + Bmp(5, "0, 5") + Trace(5, "width") +
             Bmp(5, "undefined, 5") + Trace(5, "height") + Bmp(6, "3, 2, false") + Trace(6, "transparent") +
             Trace(6, "rectangle"),
         "2880|true|-1|-1|-1|-1|-1|false|(x=0, y=0, w=3, h=2)"},
        // Translucent colours come back from their premultiplied form; transparent ones as 0;
        // an opaque bitmap drops the alpha it is given.
        {Bmp(4, "2, 2, true, 0") + Call(4, "setPixel32", "0, 0, 271804057") + Show(4, "getPixel32", "0, 0") +
             Call(4, "setPixel32", "1, 0, 2164228160") + Show(4, "getPixel32", "1, 0") +
             Call(4, "setPixel32", "0, 1, 16777215") + Show(4, "getPixel32", "0, 1") + Show(4, "getPixel32", "5, 0") +
             Bmp(5, "1, 1, false") + Call(5, "setPixel32", "0, 0, 271804057") + Show(5, "getPixel32", "0, 0") +
             Show(5, "getPixel", "0, 0") + Call(5, "setPixel", "0, 0, 255") + Show(5, "getPixel32", "0, 0"),
         "271605919|-2130739136|0|0|-13408615|3368601|-16776961"},
        // fillRect is cut to the bitmap.
        {Bmp(4, "4, 4, true, 0") + New(6, 2, "Rectangle", "1, 1, 10, 2") + Call(4, "fillRect", "r6, 4278255360") +
             New(6, 2, "Rectangle", "-5, -5, 2, 2") + Call(4, "fillRect", "r6, 4294967295") +
             Show(4, "getPixel32", "1, 1") + Show(4, "getPixel32", "3, 2") + Show(4, "getPixel32", "0, 0") +
             Show(4, "getPixel32", "3, 3"),
         "-16711936|-16711936|0|0"},
        // copyPixels onto an opaque bitmap: replaced (over black), or with mergeAlpha laid over.
        {Bmp(4, "2, 2, true, 2164195328") + Bmp(5, "4, 4, false, 4278190335") + Trace(4, "rectangle") +
             "push r4, \"rectangle\"; getmember; store r6; pop\n" + New(7, 2, "Point", "1, 1") +
             Call(5, "copyPixels", "r4, r6, r7") + Show(5, "getPixel", "1, 1") + Show(5, "getPixel", "0, 0") +
             New(7, 2, "Point", "2, 2") + Call(5, "copyPixels", "r4, r6, r7, null, null, true") +
             Show(5, "getPixel", "3, 3"),
         "(x=0, y=0, w=2, h=2)|8388608|255|8388735"},
        // floodFill stops at a wall of another colour.
        {Bmp(4, "3, 3, true, 0") + Call(4, "setPixel32", "1, 0, -1") + Call(4, "setPixel32", "1, 1, -1") +
             Call(4, "setPixel32", "1, 2, -1") + Call(4, "floodFill", "0, 0, 4294901760") +
             Show(4, "getPixel", "0, 2") + Show(4, "getPixel32", "2, 0") + Show(4, "getPixel", "1, 1"),
         "16711680|0|16777215"},
        // threshold counts the pixels that pass and copies the others with copySource.
        {Bmp(4, "2, 1, true, 4278190080") + Call(4, "setPixel32", "1, 0, 4286611584") + Bmp(5, "2, 1, true, 0") +
             "push r4, \"rectangle\"; getmember; store r6; pop\n" + New(7, 2, "Point") +
             Show(5, "threshold", "r4, r6, r7, \">\", 4286545791, 4294901760, 4294967295, true") +
             Show(5, "getPixel32", "0, 0") + Show(5, "getPixel", "1, 0") + Show(5, "threshold", "r4, r6, r7, \"~\", 0"),
         "1|-16777216|16711680|0"},
        // noise: the same seed the same pixels; low = high gives that level.
        {Bmp(4, "4, 4") + Bmp(5, "4, 4") + Call(4, "noise", "7") + Call(5, "noise", "7") + Show(4, "compare", "r5") +
             Call(5, "noise", "8") + Result(4, "compare", "r5") + "typeof; trace\n" +
             Call(4, "noise", "1, 100, 100, 1") + Show(4, "getPixel32", "3, 3"),
         "0|object|-10223616"},
        // A 3-pixel box blur spreads one white pixel over its neighbours.
        {Bmp(4, "5, 1, true, 0") + Call(4, "setPixel32", "2, 0, -1") + New(6, 3, "BlurFilter", "3, 1, 1") +
             "push r4, \"rectangle\"; getmember; store r7; pop\n" + New(8, 2, "Point") +
             Show(4, "applyFilter", "r4, r7, r8, r6") + Show(4, "getPixel32", "1, 0") + Show(4, "getPixel32", "2, 0") +
             Show(4, "getPixel32", "0, 0") + Show(4, "applyFilter", "r4, r7, r8, r7") +
             Show(4, "generateFilterRect", "r7, r6") + Result(6, "clone") + "push \"blurX\"; getmember; trace\n" +
             New(6, 3, "GlowFilter") + Trace(6, "color") + Trace(6, "strength"),
         "0|1442840575|1442840575|0|-1|(x=-1, y=0, w=7, h=1)|3|16711680|2"},
        // draw: another bitmap, moved by the matrix.
        {Bmp(4, "2, 2, true, 4294901760") + Bmp(5, "4, 4, true, 0") + New(6, 2, "Matrix", "1, 0, 0, 1, 1, 1") +
             Call(5, "draw", "r4, r6") + Show(5, "getPixel32", "1, 1") + Show(5, "getPixel32", "2, 2") +
             Show(5, "getPixel32", "0, 0") + Show(5, "getPixel32", "3, 3"),
         "-65536|-65536|0|0"},
        // Once disposed: sizes -1, and the methods do nothing.
        {Bmp(4, "3, 3") + Call(4, "dispose") + Trace(4, "width") + Show(4, "getPixel", "0, 0") +
             Call(4, "fillRect", "r4, 0") + Result(4, "clone") + "typeof; trace\n" + Bmp(5, "3, 3") +
             Show(5, "compare", "r4"),
         "-1|-1|undefined|-2"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunScript(c.source), c.traces) << c.source;
}

}  // namespace
}  // namespace lumarel
