// Scripts assembled from text and run on the machine: each case's trace output.
#include <gtest/gtest.h>

#include "avm1_fake_host.h"
#include "engine/player.h"
#include "tools/swfkit/swfkit.h"

namespace lumarel {
namespace {

std::string RunScript(int version, const char* source) {
    testing::FakeHost host;
    engine::avm1::Machine m(host, version);
    const swfkit::Bytes code = swfkit::AssembleActions(source);
    m.RunBlock(code, nullptr);
    std::vector<std::string> lines = host.traces;
    if (!m.LastAbort().empty()) lines.push_back("abort: " + m.LastAbort());
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) out += (i ? "|" : "") + lines[i];
    return out;
}

struct Case {
    int version;
    const char* source;
    const char* traces;
};

TEST(Avm1Scripts, TraceWhatFlashWouldTrace) {
    // Built-ins that came with later players; ASSetPropFlags cannot unhide them.
    const char* const gated =
        "push 0; initobject; push \"watch\"; getmember; typeof; trace\n"
        "push \"setInterval\"; getvariable; typeof; trace\n"
        "push \"Array\"; getvariable; push \"prototype\"; getmember; push \"sortOn\"; getmember; typeof; trace\n"
        "push \"Array\"; getvariable; push \"CASEINSENSITIVE\"; getmember; typeof; trace\n"
        "push \"Object\"; getvariable; push \"prototype\"; getmember; store r1; pop\n"
        "push 65535, 0, \"watch\", r1, 4, \"ASSetPropFlags\"; callfunction; pop; push r1, \"watch\"; getmember; "
        "typeof; trace\n"
        "push 0, \"Sound\"; newobject; store r2; push \"loadSound\"; getmember; typeof; trace\n"
        "push 0, r2, \"getVolume\"; callmethod; trace";
    const Case cases[] = {
        // operators and conversions
        {8, "push \"a\", 1, 2; add2; add2; trace", "a3"},
        {8, "push 0.1, 0.2; add2; trace; push 1, 3; divide; trace; push 1, 0; divide; trace",
         "0.3|0.333333333333333|Infinity"},
        {4, "push 1, 0; divide; trace; push 2, 3; less; trace", "#ERROR#|1"},
        {6, "push undefined; trace; push \"x\"; getvariable; trace", "|"},
        {7, "push undefined; trace; push null; tonumber; trace", "undefined|NaN"},
        {8, "push null, undefined; equals2; trace; push \"1\", 1; equals2; trace; push \"1\", 1; strictequals; trace",
         "true|true|false"},
        {8, "push 1, \"x\"; less2; trace; push \"b\", \"a\"; greater; trace", "undefined|true"},
        {8, "push 4294967295, 0; bitor; trace; push -1, 0; ushr; trace; push 1, 33; shl; trace", "-1|4294967295|2"},
        {8, "push \" 0x1A \"; tonumber; trace; push \"12abc\"; tonumber; trace; push \"\"; tonumber; trace",
         "26|NaN|NaN"},
        {8, "push -7, 3; modulo; trace; push 5.7; tointeger; trace; push \"x\"; typeof; trace", "-1|5|string"},
        // variables, case rules and loops
        {6, "push \"Foo\", 1; setvariable; push \"foo\"; getvariable; trace", "1"},
        {7, "push \"Foo\", 1; setvariable; push \"foo\"; getvariable; trace", "undefined"},
        {8,
         "push \"i\", 0; setvariable; push \"s\", 0; setvariable\n"
         "top:; push \"i\"; getvariable; push 5; less2; not; if done\n"
         "push \"i\", \"i\"; getvariable; increment; setvariable\n"
         "push \"s\", \"s\"; getvariable; push \"i\"; getvariable; add2; setvariable; jump top\n"
         "done:; push \"s\"; getvariable; trace",
         "15"},
        {8, "constants \"hello\", \"world\"; push c0, \" \", c1; stringadd; stringadd; trace", "hello world"},
        // functions, closures, registers
        {8,
         "function add(a, b) {; push \"a\"; getvariable; push \"b\"; getvariable; add2; return; }\n"
         "push 2, 3, 2, \"add\"; callfunction; trace",
         "5"},
        {8,
         "function mk(n) {; function (x) {; push \"x\"; getvariable; push \"n\"; getvariable; multiply; return; }; "
         "return; }\n"
         "push 10, 1, \"mk\"; callfunction; store r1; pop; push 4, 1, r1, undefined; callmethod; trace",
         "40"},
        {8,
         "function2 sq(r1:v) regs=2 flags=0x2A {; push r1, r1; multiply; return; }\n"
         "push 9, 1, \"sq\"; callfunction; trace",
         "81"},
        {8,
         "function f() {; push \"arguments\"; getvariable; push \"length\"; getmember; return; }\n"
         "push 7, 8, 9, 3, \"f\"; callfunction; trace",
         "3"},
        // exceptions
        {7,
         "try e {; push \"boom\"; throw; push \"not here\"; trace; } catch {; push \"e\"; getvariable; trace; } "
         "finally {; push \"finally\"; trace; }\npush \"after\"; trace",
         "boom|finally|after"},
        {7, "push \"before\"; trace; push 1; throw; push \"never\"; trace", "before"},
        // objects, arrays, classes
        {8,
         "push \"a\", 1, \"b\", 2, \"c\", 3, 3; initobject; store r1; pop\n"
         "push r1; enumerate2; next:; store r2; push null; equals2; if end; push r2; trace; jump next; end:",
         "c|b|a"},
        {8, "push 3, 2, 1, 3; initarray; push \"length\"; getmember; trace", "3"},
        {8, "push \"-\", 1, 3, 2, 1, 3, \"Array\"; newobject; push \"join\"; callmethod; trace", "1-2-3"},
        {8, "push 0, \"abc\", \"toUpperCase\"; callmethod; trace", "ABC"},
        {7,
         "function A() {; push \"this\"; getvariable; push \"k\", \"A\"; setmember; }; push \"A\"; getvariable; pop\n"
         "function B() {; push 0, \"super\"; getvariable; push undefined; callmethod; pop; }\n"
         "push \"B\"; getvariable; push \"A\"; getvariable; extends\n"
         "push 0, \"B\"; newobject; store r1; pop; push r1, \"k\"; getmember; trace\n"
         "push r1, \"B\"; getvariable; instanceof; trace; push r1, \"A\"; getvariable; instanceof; trace",
         "A|true|true"},
        {8,
         "function I() {; }; function C() {; }\n"
         "push \"I\"; getvariable; push 1, \"C\"; getvariable; implementsop\n"
         "push 0, \"C\"; newobject; store r1; pop\n"
         "push r1, \"I\"; getvariable; instanceof; trace; push \"I\"; getvariable; push r1; castop; typeof; trace",
         "true|object"},
        {8,
         "function f(a) {; push \"this\"; getvariable; push \"v\"; getmember; push \"a\"; getvariable; add2; "
         "return; }\n"
         "push \"v\", 5, 1; initobject; store r1; pop\n"
         "push 2, r1, 2, \"f\"; getvariable; push \"call\"; callmethod; trace\n"
         "push 3, 1; initarray; push r1, 2, \"f\"; getvariable; push \"apply\"; callmethod; trace",
         "7|8"},
        {8,
         "function g() {; push 42; return; }\n"
         "push 0, 0; initobject; store r1; pop\n"
         "push null, \"g\"; getvariable; push \"p\", 3, r1, \"addProperty\"; callmethod; pop\n"
         "push r1, \"p\"; getmember; trace; push \"p\", 1, r1, \"hasOwnProperty\"; callmethod; trace",
         "42|true"},
        {8,
         "try e {; push \"bad\", 1, \"Error\"; newobject; throw; } catch {; push \"e\"; getvariable; trace; "
         "push \"e\"; getvariable; push \"name\"; getmember; trace; }",
         "bad|Error"},
        {8,
         "push 0, 0; initobject; store r1; pop; push r1, 1, \"AsBroadcaster\"; getvariable; "
         "push \"initialize\"; callmethod; pop\n"
         "function hi(x) {; push \"x\"; getvariable; trace; }\n"
         "push \"onHi\", \"hi\"; getvariable; push 1; initobject; store r2; pop\n"
         "push r2, 1, r1, \"addListener\"; callmethod; pop; push 7, \"onHi\", 2, r1, \"broadcastMessage\"; "
         "callmethod; pop",
         "7"},
        {8,
         "push 0, 30, 45, 13, 9, 11, 2026, 7, \"Date\"; newobject; store r1; pop\n"
         "push 0, r1, \"getDay\"; callmethod; trace; push 0, r1, \"toString\"; callmethod; trace\n"
         "push 0, 1, 2, 2000, 3, \"Date\"; getvariable; push \"UTC\"; callmethod; trace\n"
         "push 40, 1, r1, \"setDate\"; callmethod; pop; push 0, r1, \"getMonth\"; callmethod; trace\n"
         "push 0, 0, \"Date\"; newobject; push \"getFullYear\"; callmethod; trace",
         "3|Wed Dec 9 13:45:30 GMT+0000 2026|951868800000|0|2000"},
        // watchpoints: the callback sees name, old, new and user data and decides what is stored;
        // it is not re-entered by its own assignments; getter/setter properties are not watched
        {8,
         "function cb(p, o, n, u) {; push \"p\"; getvariable; push \":\"; stringadd; push \"o\"; getvariable; "
         "stringadd; push \":\"; stringadd; push \"n\"; getvariable; stringadd; push \":\"; stringadd; "
         "push \"u\"; getvariable; stringadd; trace; push \"n\"; getvariable; push 10; multiply; return; }\n"
         "push 0; initobject; store r1; pop; push r1, \"x\", 1; setmember\n"
         "push \"ud\", \"cb\"; getvariable; push \"x\", 3, r1, \"watch\"; callmethod; trace\n"
         "push r1, \"x\", 2; setmember; push r1, \"x\"; getmember; trace\n"
         "push \"X\", 1, r1, \"unwatch\"; callmethod; trace; push \"x\", 1, r1, \"unwatch\"; callmethod; trace\n"
         "push r1, \"x\", 5; setmember; push r1, \"x\"; getmember; trace",
         "true|x:1:2:ud|20|false|true|5"},
        {8,
         "function cb(p, o, n) {; push \"this\"; getvariable; push \"v\", \"inner\"; setmember; push \"v\"; "
         "getvariable; trace; push \"n\"; getvariable; return; }\n"
         "push \"cb\"; getvariable; push \"v\", 2, \"_global\"; getvariable; push \"watch\"; callmethod; pop\n"
         "push \"v\", \"outer\"; setvariable; push \"v\"; getvariable; trace",
         "inner|outer"},
        {8,
         "function g() {; push 42; return; }; function cb() {; push \"called\"; trace; }\n"
         "push 0; initobject; store r1; pop\n"
         "push null, \"g\"; getvariable; push \"p\", 3, r1, \"addProperty\"; callmethod; pop\n"
         "push \"cb\"; getvariable; push \"p\", 2, r1, \"watch\"; callmethod; pop\n"
         "push r1, \"p\", 1; setmember; push r1, \"p\"; getmember; trace\n"
         "push 5, \"p\", 2, r1, \"watch\"; callmethod; trace; push 0, r1, \"watch\"; callmethod; trace",
         "42|false|false"},
        // arguments.caller: the calling function, null at the top level
        {8,
         "function inner() {; push \"arguments\"; getvariable; push \"caller\"; getmember; push \"outer\"; "
         "getvariable; strictequals; trace; }\n"
         "function outer() {; push 0, \"inner\"; callfunction; pop; push \"arguments\"; getvariable; "
         "push \"caller\"; getmember; typeof; trace; }\n"
         "push 0, \"outer\"; callfunction; pop",
         "true|null"},
        // version-gated built-ins
        {5, gated, "undefined|undefined|undefined|undefined|undefined|undefined|100"},
        {6, gated, "function|function|function|undefined|function|function|100"},
        {7, gated, "function|function|function|number|function|function|100"},
        // limits: endless loops and recursion stop the script, not the movie
        {8, "top:; jump top", "abort: script ran too long"},
        {8, "function f() {; push 0, \"f\"; callfunction; return; }; push 0, \"f\"; callfunction; pop",
         "abort: calls nested deeper than 256 levels"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunScript(c.version, c.source), c.traces) << c.source;
}

TEST(Avm1Scripts, MalformedBytecodeEndsTheBlock) {
    testing::FakeHost host;
    engine::avm1::Machine m(host, 8);
    // A push whose length runs past the block, a jump far outside it, a truncated record.
    const std::vector<uint8_t> blocks[] = {{0x96, 0xFF, 0x00, 0x07}, {0x99, 0x02, 0x00, 0xFF, 0x7F}, {0x8E, 0x05}};
    for (const auto& b : blocks) m.RunBlock(b, nullptr);
    EXPECT_TRUE(host.traces.empty());
}

}  // namespace
}  // namespace lumarel

namespace lumarel {
namespace {

// Loads a kit movie with trace output collected, plays it and advances `ticks` frames.
struct Played {
    std::vector<std::string> traces;
    std::unique_ptr<engine::Movie> movie;
};
Played Play(const swfkit::Movie& movie, int ticks) {
    Played p;
    engine::LoadOptions options;
    options.trace = [&p](const std::string& t) { p.traces.push_back(t); };
    engine::LoadResult r = engine::Movie::Load(movie.Build(swfkit::Compression::None), options);
    EXPECT_TRUE(r.movie) << r.error;
    if (!r.movie) return p;
    p.movie = std::move(r.movie);
    p.movie->Play();
    for (int i = 0; i < ticks; ++i) p.movie->Advance();
    return p;
}

// Frame scripts on a real display tree: clip properties, paths, timeline control, timers.
TEST(Avm1Scripts, FrameScriptsDriveTheDisplayTree) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    swfkit::ShapeBuilder box;
    box.Fill1(box.AddFill(swfkit::FillStyle::Solid(swfkit::Rgba::Hex(0xff0000)))).Rectangle(0, 0, 200, 200);
    const uint16_t shape = movie.DefineShape(box);
    swfkit::Sprite sprite;
    sprite.Place2(swfkit::Place::Add(1, shape)).ShowFrame().ShowFrame().ShowFrame();
    const uint16_t clip = movie.DefineSprite(sprite);
    movie.Place2(swfkit::Place::Add(1, clip).Named("mc").At(swfkit::Matrix::Translate(200, 400)));
    movie.DoAction(swfkit::Actions().Asm(
        "push \"mc._x\"; getvariable; trace\n"
        "push \"mc\"; getvariable; push \"_x\", 30; setmember\n"
        "push \"mc\", 0; getproperty; trace\n"
        "push \"/mc:_y\"; getvariable; trace\n"
        "push \"mc\"; getvariable; targetpath; trace\n"
        "push \"mc\", 11; getproperty; trace\n"
        "push \"mc\"; getvariable; push \"_rotation\", 90; setmember; push \"mc._rotation\"; getvariable; trace\n"
        "settarget \"mc\"; gotoframe 2; settarget \"\"\n"
        "push \"mc._currentframe\"; getvariable; trace\n"
        "function tick() {; push \"tick\"; trace; }\n"
        "push 100, \"tick\"; getvariable; push 2, \"setInterval\"; callfunction; pop\n"
        "push 2; call; stop"));
    movie.ShowFrame();
    movie.DoAction(swfkit::Actions().Asm("push \"frame 2\"; trace"));
    movie.ShowFrame();
    const Played p = Play(movie, 3);  // 300 ms: the interval fires three times
    const std::vector<std::string> want = {"10", "30",      "20",   "_level0.mc", "/mc", "90",
                                           "3",  "frame 2", "tick", "tick",       "tick"};
    EXPECT_EQ(p.traces, want);
    ASSERT_TRUE(p.movie);
    EXPECT_EQ(p.movie->CurrentFrame(), 0);  // stop() held the root on frame 1
}

// Slash, dot and relative paths from a nested clip name the same clips.
TEST(Avm1Scripts, PathFormsNameTheSameClips) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    swfkit::Sprite leaf;
    leaf.DoAction(
        swfkit::Actions().Asm("push \"/mid/leaf\"; getvariable; push \"_target\"; getmember; trace\n"
                              "push \"_root.mid.leaf\"; getvariable; push \"_target\"; getmember; trace\n"
                              "push \"../../other\"; getvariable; push \"_target\"; getmember; trace\n"
                              "push \"_parent\"; getvariable; push \"_target\"; getmember; trace\n"
                              "push \"/\"; getvariable; push \"_target\"; getmember; trace\n"
                              "push \"../../../../x\"; getvariable; typeof; trace\n"
                              "push \"this\"; getvariable; push \"_target\"; getmember; trace\n"
                              "stop"));
    leaf.ShowFrame();
    const uint16_t leafId = movie.DefineSprite(leaf);
    swfkit::Sprite mid;
    mid.Place2(swfkit::Place::Add(1, leafId).Named("leaf")).ShowFrame();
    const uint16_t midId = movie.DefineSprite(mid);
    swfkit::Sprite empty;
    empty.ShowFrame();
    const uint16_t emptyId = movie.DefineSprite(empty);
    movie.Place2(swfkit::Place::Add(1, midId).Named("mid")).Place2(swfkit::Place::Add(2, emptyId).Named("other"));
    movie.ShowFrame();
    const std::vector<std::string> want = {"/mid/leaf", "/mid/leaf", "/other", "/mid", "/", "undefined", "/mid/leaf"};
    EXPECT_EQ(Play(movie, 1).traces, want);
}

TEST(Avm1Scripts, InitActionsThenFrameScriptsThenEnterFrameHandlers) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    swfkit::Actions init;
    init.Asm("push \"init\"; trace");
    swfkit::Bytes initBody = {1, 0};  // the sprite id the init actions belong to
    const swfkit::Bytes initCode = init.Encode();
    initBody.insert(initBody.end(), initCode.begin(), initCode.end());
    movie.DoAction(swfkit::Actions().Asm(
        "push \"frame 1\"; trace\n"
        "push \"n\", 0; setvariable\n"
        "function h() {; push \"n\", \"n\"; getvariable; increment; setvariable; push \"n\"; getvariable; trace; "
        "push 3, 1, \"_root\"; getvariable; push \"gotoAndStop\"; callmethod; pop; }\n"
        "push \"_root\"; getvariable; push \"onEnterFrame\", \"h\"; getvariable; setmember"));
    movie.Raw(59, initBody);
    movie.ShowFrame();
    movie.DoAction(swfkit::Actions().Asm("push \"frame 2\"; trace"));
    movie.ShowFrame();
    movie.DoAction(swfkit::Actions().Asm("push \"frame 3\"; trace"));
    movie.ShowFrame();
    const Played p = Play(movie, 2);
    // The goto in the handler leaves frame 2's queued script to run, then frame 3's.
    const std::vector<std::string> want = {"init", "frame 1", "1", "frame 2", "frame 3", "2"};
    EXPECT_EQ(p.traces, want);
    ASSERT_TRUE(p.movie);
    EXPECT_EQ(p.movie->CurrentFrame(), 2);
}

TEST(Avm1Scripts, ClipEventHandlersRunOnLoadAndEveryFrame) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 6);
    swfkit::Sprite sprite;
    sprite.ShowFrame();
    const uint16_t clip = movie.DefineSprite(sprite);
    auto handler = [](uint32_t events, const char* source) {
        swfkit::Bytes b;
        const swfkit::Bytes code = swfkit::Actions().Asm(source).Encode();
        for (uint32_t v : {events, static_cast<uint32_t>(code.size())})
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        b.insert(b.end(), code.begin(), code.end());
        return b;
    };
    swfkit::Bytes place = {0x82, 1, 0, static_cast<uint8_t>(clip), static_cast<uint8_t>(clip >> 8), 0, 0, 3, 0, 0, 0};
    for (const swfkit::Bytes& h :
         {handler(1, "push \"load\"; trace"), handler(2,
                                                      "push \"this\"; getvariable; push \"_x\"; getmember; trace; "
                                                      "push \"this\"; getvariable; push \"_x\", 5; setmember")})
        place.insert(place.end(), h.begin(), h.end());
    place.insert(place.end(), {0, 0, 0, 0});
    movie.Raw(26, place);
    movie.ShowFrame();
    const Played p = Play(movie, 2);
    const std::vector<std::string> want = {"load", "0", "5"};
    EXPECT_EQ(p.traces, want);
}

}  // namespace
}  // namespace lumarel

namespace lumarel {
namespace {

// A movie with a 10 x 10 px sprite exported as "box" and placed as "mc" at (10, 20), and the
// script in its first frame: the traces, joined by "|".
std::string TraceClipScript(const char* source) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    swfkit::ShapeBuilder box;
    box.Fill1(box.AddFill(swfkit::FillStyle::Solid(swfkit::Rgba::Hex(0xff0000)))).Rectangle(0, 0, 200, 200);
    const uint16_t shape = movie.DefineShape(box);
    swfkit::Sprite sprite;
    sprite.Place2(swfkit::Place::Add(1, shape)).ShowFrame();
    const uint16_t clip = movie.DefineSprite(sprite);
    movie.Raw(56, {1, 0, static_cast<uint8_t>(clip), static_cast<uint8_t>(clip >> 8), 'b', 'o', 'x', 0});
    movie.Place2(swfkit::Place::Add(1, clip).Named("mc").At(swfkit::Matrix::Translate(200, 400)));
    movie.DoAction(swfkit::Actions().Asm(source));
    movie.ShowFrame();
    std::string out;
    for (const std::string& t : Play(movie, 1).traces) out += (out.empty() ? "" : "|") + t;
    return out;
}

TEST(Avm1Scripts, ScriptsMakeAndArrangeClips) {
    const std::pair<const char*, const char*> cases[] = {
        {"push 5, \"e\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
         "push 0, r1, \"getDepth\"; callmethod; trace; push r1, \"_target\"; getmember; trace\n"
         "push 0, \"_root\"; getvariable; push \"getNextHighestDepth\"; callmethod; trace\n"
         "push 0, \"mc\"; getvariable; push \"getDepth\"; callmethod; trace\n"
         "push \"mc\"; getvariable; push \"_alpha\", 30; setmember; push \"mc._alpha\"; getvariable; trace",
         "5|/e|6|-16383|29.6875"},
        {"push 10, \"b\", \"box\", 3, \"_root\"; getvariable; push \"attachMovie\"; callmethod; store r1; pop\n"
         "push r1, \"_width\"; getmember; trace; push r1, \"_width\", 25; setmember; push r1, \"_xscale\"; getmember; "
         "trace\n"
         "push 10, 1, \"_root\"; getvariable; push \"getInstanceAtDepth\"; callmethod; push \"_name\"; getmember; "
         "trace\n"
         "push \"nothing\", \"x\", \"nosuch\", 3, \"_root\"; getvariable; push \"attachMovie\"; callmethod; typeof; "
         "trace",
         "10|250|b|undefined"},
        // swapDepths by depth and by clip; removeMovieClip only at script depths.
        {"push 5, \"e\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
         "push 9, 1, \"mc\"; getvariable; push \"swapDepths\"; callmethod; pop\n"
         "push 0, \"mc\"; getvariable; push \"getDepth\"; callmethod; trace\n"
         "push r1, 1, \"mc\"; getvariable; push \"swapDepths\"; callmethod; pop\n"
         "push 0, \"mc\"; getvariable; push \"getDepth\"; callmethod; trace; push 0, r1, \"getDepth\"; callmethod; "
         "trace\n"
         "push 0, r1, \"removeMovieClip\"; callmethod; pop; push \"e\"; getvariable; typeof; trace\n"
         "push 0, \"mc\"; getvariable; push \"removeMovieClip\"; callmethod; pop; push \"mc\"; getvariable; typeof; "
         "trace",
         "9|5|9|undefined|undefined"},
        // onUnload runs once the removing script is done.
        {"push 5, \"e\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
         "push r1, \"onUnload\"; function () {; push \"unload\"; trace; }; setmember\n"
         "push 0, r1, \"removeMovieClip\"; callmethod; pop; push \"after\"; trace",
         "after|unload"},
        // A registered class: init object, then constructor, then onLoad; duplicates copy the place.
        {"function C() {; push \"ctor \"; push \"this\"; getvariable; push \"v\"; getmember; add2; trace; }\n"
         "push \"C\"; getvariable; push \"prototype\"; getmember; push \"onLoad\"\n"
         "function () {; push \"load\"; trace; }; setmember\n"
         "push \"C\"; getvariable; push \"box\", 2, \"Object\"; getvariable; push \"registerClass\"; callmethod; pop\n"
         "push \"v\", 7, 1; initobject; push 30, \"d\", \"box\", 4, \"_root\"; getvariable; push \"attachMovie\"; "
         "callmethod; store r1; pop\n"
         "push r1, \"C\"; getvariable; instanceof; trace\n"
         "push 40, \"m2\", 2, \"mc\"; getvariable; push \"duplicateMovieClip\"; callmethod; push \"_x\"; getmember; "
         "trace\n"
         "push \"mc\", \"m3\", 16434; clonesprite; push \"m3\"; getvariable; push \"_y\"; getmember; trace\n"
         "push \"m3\"; removesprite; push \"m3\"; getvariable; typeof; trace",
         "ctor 7|load|true|ctor undefined|10|ctor undefined|20|undefined"},
        {"push \"Stage\"; getvariable; push \"width\"; getmember; push \"Stage.height\"; getvariable; add2; trace\n"
         "push \"_quality\", \"low\"; setvariable; push \"mc._quality\"; getvariable; trace; push "
         "\"_highquality\"; getvariable; trace",
         "200|LOW|0"},
        {"push \"mc\"; getvariable; store r1; push \"blendMode\", \"add\"; setmember; push r1, \"blendMode\"; "
         "getmember; trace; push r1, \"blendMode\", 3; setmember; push r1, \"blendMode\"; getmember; trace\n"
         "push r1, \"cacheAsBitmap\", true; setmember; push r1, \"cacheAsBitmap\"; getmember; trace",
         "add|multiply|true"},
        {"push 5, 5, 2, \"flash.filters\"; getvariable; push \"BlurFilter\"; newmethod; push 1; initarray; store "
         "r2; pop\n"
         "push \"mc\"; getvariable; store r1; push \"filters\", r2; setmember\n"
         "push r1, \"cacheAsBitmap\"; getmember; trace; push r1, \"filters\"; getmember; push 0; getmember; push "
         "\"blurX\"; getmember; trace",
         "true|5"},
        {"push 4, 6, 2, 1, 4, \"flash.geom\"; getvariable; push \"Rectangle\"; newmethod; store r2; pop\n"
         "push \"mc\"; getvariable; store r1; push \"scrollRect\", r2; setmember; push r1, \"_width\"; getmember; "
         "trace\n"
         "push r1, \"opaqueBackground\", 255; setmember; push r1, \"opaqueBackground\"; getmember; trace",
         "6|255"},
        {"push \"s\", 1, \"SharedObject\"; getvariable; push \"getLocal\"; callmethod; push \"data\"; getmember; "
         "push \"n\", 3; setmember\n"
         "push \"s\", 1, \"SharedObject\"; getvariable; push \"getLocal\"; callmethod; push \"data\"; getmember; "
         "push \"n\"; getmember; trace; push \"a b\", 1, \"SharedObject\"; getvariable; push \"getLocal\"; "
         "callmethod; trace",
         "3|null"},
        // Text fields: made by script, reached like clips, their own properties and format.
        {"push 30, 100, 20, 10, 3, \"tf\", 6, \"_root\"; getvariable; push \"createTextField\"; callmethod; "
         "store r1; pop\n"
         "push r1; typeof; trace; push r1; trace; push \"tf._x\"; getvariable; trace; push r1, \"_width\"; "
         "getmember; trace\n"
         "push r1, \"variable\", \"v\"; setmember; push r1, \"text\", \"a\\nb\"; setmember\n"
         "push r1, \"text\"; getmember; push \"length\"; getmember; trace; push \"v\"; getvariable; push "
         "\"a\\rb\"; equals2; trace\n"
         "push 0, r1, \"getTextFormat\"; callmethod; store r2; pop; push r2, \"size\"; getmember; trace; push r2, "
         "\"font\"; getmember; trace\n"
         "push r1, \"_width\", 50; setmember; push r1, \"_width\"; getmember; trace; push r1, \"_xscale\"; "
         "getmember; trace\n"
         "push r1, \"autoSize\", true; setmember; push r1, \"autoSize\"; getmember; trace\n"
         "push 0, r1, \"removeTextField\"; callmethod; pop; push \"tf\"; getvariable; typeof; trace",
         "object|_level0.tf|10|100|3|true|12|Times New Roman|50|100|left|undefined"},
        // Geometry: bounds in other spaces, points between spaces, bounds hit tests.
        {"push 0, \"mc\"; getvariable; push \"getBounds\"; callmethod; store r1; pop\n"
         "push r1, \"xMin\"; getmember; push r1, \"xMax\"; getmember; add2; trace\n"
         "push \"_root\"; getvariable; push 1, \"mc\"; getvariable; push \"getBounds\"; callmethod; store r1; pop\n"
         "push r1, \"xMin\"; getmember; trace; push r1, \"yMax\"; getmember; trace\n"
         "push \"x\", 1, \"y\", 2, 2; initobject; store r2; push 1, \"mc\"; getvariable; push \"localToGlobal\"; "
         "callmethod; pop\n"
         "push r2, \"x\"; getmember; trace; push r2, \"y\"; getmember; trace\n"
         "push 25, 15, 2, \"mc\"; getvariable; push \"hitTest\"; callmethod; trace\n"
         "push 25, 5, 2, \"mc\"; getvariable; push \"hitTest\"; callmethod; trace",
         "10|10|30|11|22|true|false"},
        // Shape hit tests: the fills themselves, not their bounds.
        {"push true, 25, 15, 3, \"mc\"; getvariable; push \"hitTest\"; callmethod; trace\n"
         "push 7, \"d\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
         "push 255, 1, r1, \"beginFill\"; callmethod; pop; push 0, 0, 2, r1, \"moveTo\"; callmethod; pop\n"
         "push 0, 40, 2, r1, \"lineTo\"; callmethod; pop; push 40, 0, 2, r1, \"lineTo\"; callmethod; pop\n"
         "push 0, r1, \"endFill\"; callmethod; pop\n"
         "push true, 5, 5, 3, r1, \"hitTest\"; callmethod; trace; push true, 30, 30, 3, r1, \"hitTest\"; "
         "callmethod; trace; push 30, 30, 2, r1, \"hitTest\"; callmethod; trace",
         "true|true|false|true"},
        // Dragging with no pointer: a locked centre goes to the stage's origin, bounds keep it in.
        {"push true, 1, \"mc\"; getvariable; push \"startDrag\"; callmethod; pop; push \"mc._x\"; getvariable; "
         "trace\n"
         "push 4, 5, 30, 40, 1, false, \"mc\"; startdrag; enddrag; push \"mc._x\"; getvariable; trace; push "
         "\"mc._y\"; getvariable; trace",
         "0|4|5"},
        // _root inside a clip is the level, unless a clip on the way there locks it.
        {"settarget \"mc\"; push \"_root\"; getvariable; push \"_target\"; getmember; trace; settarget \"\"\n"
         "push \"mc\"; getvariable; push \"_lockroot\", true; setmember\n"
         "settarget \"mc\"; push \"_root\"; getvariable; push \"_target\"; getmember; trace; settarget \"\"",
         "/|/mc"},
        {"push 0, \"mc\"; getvariable; push \"getSWFVersion\"; callmethod; trace\n"
         "togglequality; push \"_quality\"; getvariable; trace; togglequality; push \"_quality\"; getvariable; trace",
         "8|LOW|HIGH"},
    };
    for (const auto& [source, want] : cases) EXPECT_EQ(TraceClipScript(source), want) << source;
}

}  // namespace
}  // namespace lumarel

namespace lumarel {
namespace {

// A named button is reached like a clip, but is a Button: an object with the clip properties,
// its depth and the Flash 8 effects, and none of the timeline methods.
TEST(Avm1Scripts, ButtonsAreObjectsWithClipProperties) {
    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    swfkit::ShapeBuilder box;
    box.Fill1(box.AddFill(swfkit::FillStyle::Solid(swfkit::Rgba::Hex(0xff0000)))).Rectangle(0, 0, 200, 200);
    swfkit::ButtonRecord up;
    up.character = movie.DefineShape(box);
    movie.Raw(swfkit::tag::DefineButton2, swfkit::EncodeDefineButton2(20, {up}));
    movie.Place2(swfkit::Place::Add(3, 20).Named("b").At(swfkit::Matrix::Translate(100, 0)));
    movie.DoAction(swfkit::Actions().Asm(
        "push \"b\"; getvariable; store r1; typeof; trace; push r1, \"Button\"; getvariable; instanceof; trace\n"
        "push r1, \"_x\"; getmember; trace; push r1, \"_width\"; getmember; trace; push 0, r1, \"getDepth\"; "
        "callmethod; trace\n"
        "push r1, \"play\"; getmember; typeof; trace; push r1, \"enabled\"; getmember; trace\n"
        "push r1, \"blendMode\", \"add\"; setmember; push r1, \"blendMode\"; getmember; trace"));
    movie.ShowFrame();
    EXPECT_EQ(Play(movie, 0).traces,
              (std::vector<std::string>{"object", "true", "5", "10", "-16381", "undefined", "true", "add"}));
}

// loadMovie reads a local movie through the player's file hook and shows it a frame later;
// a name outside the movie's folder is never asked for.
TEST(Avm1Scripts, LoadMovieShowsALocalMovieOnALaterFrame) {
    swfkit::Movie child(swfkit::Rect::Pixels(0, 0, 50, 50), 10.0, 8);
    swfkit::ShapeBuilder box;
    box.Fill1(box.AddFill(swfkit::FillStyle::Solid(swfkit::Rgba::Hex(0x00ff00)))).Rectangle(0, 0, 200, 200);
    child.Place2(swfkit::Place::Add(1, child.DefineShape(box))).ShowFrame();
    const swfkit::Bytes childBytes = child.Build(swfkit::Compression::None);

    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    movie.DoAction(swfkit::Actions().Asm(
        "push 1, \"h\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; store r1; pop\n"
        "push \"sub/child.swf\", 1, r1, \"loadMovie\"; callmethod; pop; push \"sub/child.swf\", \"h\"; geturl2 0x40\n"
        "push \"../secret.swf\", 1, r1, \"loadMovie\"; callmethod; pop\n"
        "push r1, \"_width\"; getmember; trace\n"
        "push 0, \"MovieClipLoader\"; newobject; store r2; pop\n"
        "push r2, \"onLoadInit\"; function (t) {; push \"init \", \"t\"; getvariable; push \"_width\"; "
        "getmember; add2; trace; }; setmember\n"
        "push r2, \"onLoadError\"; function (t, e) {; push \"e\"; getvariable; trace; }; setmember\n"
        "push 2, \"k\", 2, \"_root\"; getvariable; push \"createEmptyMovieClip\"; callmethod; pop\n"
        "push \"k\", \"sub/child.swf\", 2, r2, \"loadClip\"; callmethod; pop\n"
        "push \"k\", \"missing.swf\", 2, r2, \"loadClip\"; callmethod; pop"));
    movie.ShowFrame();
    movie.DoAction(swfkit::Actions().Asm("push \"h._width\"; getvariable; trace; stop"));
    movie.ShowFrame();
    std::vector<std::string> traces, asked;
    engine::LoadOptions options;
    options.trace = [&](const std::string& t) { traces.push_back(t); };
    options.readFile = [&](const std::string& url, std::string& out) {
        asked.push_back(url);
        if (engine::LocalMoviePath(url) != "sub/child.swf") return false;
        out.assign(childBytes.begin(), childBytes.end());
        return true;
    };
    engine::LoadResult r = engine::Movie::Load(movie.Build(swfkit::Compression::None), options);
    ASSERT_TRUE(r.movie) << r.error;
    r.movie->Play();
    r.movie->Advance();
    EXPECT_EQ(traces, (std::vector<std::string>{"0", "init 10", "URLNotFound", "10"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"sub/child.swf", "sub/child.swf", "../secret.swf", "sub/child.swf",
                                               "missing.swf"}));
}

// loadMovieNum puts a movie in a level of its own, drawn over the root; its _root is that level,
// and unloadMovieNum takes it away.
TEST(Avm1Scripts, LevelsHoldMoviesOverTheRoot) {
    swfkit::Movie child(swfkit::Rect::Pixels(0, 0, 50, 50), 10.0, 8);
    swfkit::ShapeBuilder box;
    box.Fill1(box.AddFill(swfkit::FillStyle::Solid(swfkit::Rgba::Hex(0x00ff00)))).Rectangle(0, 0, 200, 200);
    child.Place2(swfkit::Place::Add(1, child.DefineShape(box)));
    child.DoAction(swfkit::Actions().Asm("push \"_root\"; getvariable; push \"_target\"; getmember; trace; stop"));
    child.ShowFrame();
    const swfkit::Bytes childBytes = child.Build(swfkit::Compression::None);

    swfkit::Movie movie(swfkit::Rect::Pixels(0, 0, 100, 100), 10.0, 8);
    movie.DoAction(swfkit::Actions().Asm("push \"child.swf\", \"_level2\"; geturl2 0"));
    movie.ShowFrame();
    movie.DoAction(swfkit::Actions().Asm(
        "push \"_level2\"; getvariable; typeof; trace; push \"_level2._width\"; getvariable; trace"));
    movie.ShowFrame();
    movie.DoAction(
        swfkit::Actions().Asm("push \"\", \"_level2\"; geturl2 0; push \"_level2\"; getvariable; typeof; trace; stop"));
    movie.ShowFrame();
    std::vector<std::string> traces;
    engine::LoadOptions options;
    options.trace = [&](const std::string& t) { traces.push_back(t); };
    options.readFile = [&](const std::string& url, std::string& out) {
        out.assign(childBytes.begin(), childBytes.end());
        return url == "child.swf";
    };
    engine::LoadResult r = engine::Movie::Load(movie.Build(swfkit::Compression::None), options);
    ASSERT_TRUE(r.movie) << r.error;
    r.movie->Play();
    r.movie->Advance();
    raster::Surface s(100, 100);
    r.movie->Render(s);
    EXPECT_EQ(s.Pixel(5, 5), 0xff00ff00u);
    r.movie->Advance();
    EXPECT_EQ(traces, (std::vector<std::string>{"_level2", "movieclip", "10", "undefined"}));
}

}  // namespace
}  // namespace lumarel
