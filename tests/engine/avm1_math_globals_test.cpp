// Math, Number, Boolean and the global functions, called directly on a machine.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "avm1_fake_host.h"

namespace lumarel {
namespace {

using engine::avm1::Machine;
using engine::avm1::Object;
using engine::avm1::Type;
using engine::avm1::Value;

// Compares numbers with NaN equal to NaN.
void ExpectNumber(const Value& v, double want, const std::string& what) {
    ASSERT_EQ(v.type, Type::Number) << what;
    if (std::isnan(want))
        EXPECT_TRUE(std::isnan(v.number)) << what << " gave " << v.number;
    else
        EXPECT_EQ(v.number, want) << what;
}

// Math's functions and the global parsers: what each gives for the inputs where a naive version
// would go wrong.
TEST(Avm1Math, NumericFunctionsFollowTheScriptRules) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value math = m.Get(m.global, "Math");
    struct Case {
        const char* fn;
        std::vector<Value> args;
        double want;
    };
    const Case mathCases[] = {
        {"max", {}, -INFINITY}, {"min", {}, INFINITY}, {"max", {1, NAN, 3}, NAN},   {"min", {"4", 2, 7}, 2},
        {"round", {-2.5}, -2},  {"round", {2.5}, 3},   {"pow", {1, INFINITY}, NAN}, {"pow", {2, 10}, 1024},
        {"abs", {"-3"}, 3},     {"abs", {}, NAN},      {"floor", {-0.5}, -1}};
    const Case globalCases[] = {
        {"parseInt", {"  42px"}, 42},   {"parseInt", {"-0x1F"}, -31}, {"parseInt", {"017"}, 15},
        {"parseInt", {"019"}, 19},      {"parseInt", {"08"}, 8},      {"parseInt", {"ff", 16}, 255},
        {"parseInt", {"0x10", 16}, 16}, {"parseInt", {"12", 1}, NAN}, {"parseInt", {"z"}, NAN},
        {"parseInt", {"0x"}, NAN},      {"parseInt", {"101", 2}, 5},  {"parseFloat", {" 3.5e2x"}, 350},
        {"parseFloat", {"1e"}, 1},      {"parseFloat", {".5."}, 0.5}, {"parseFloat", {"-Infinity!"}, -INFINITY},
        {"parseFloat", {"e5"}, NAN},    {"parseFloat", {"0x10"}, 0}};
    for (const auto& [on, cases] :
         {std::pair<Value, std::span<const Case>>{math, mathCases}, {Value(m.global), globalCases}}) {
        for (const Case& c : cases) {
            const std::string what = std::string(c.fn) + "(" + (c.args.empty() ? "" : m.ToString(c.args[0])) + ")";
            ExpectNumber(m.CallMethod(on, c.fn, c.args), c.want, what);
        }
    }
    ExpectNumber(m.Get(math.object, "PI"), 3.141592653589793, "PI");
    m.Set(math.object, "PI", Value(3));
    ExpectNumber(m.Get(math.object, "PI"), 3.141592653589793, "PI after assignment");
    for (int i = 0; i < 100; ++i) {
        const double r = m.CallMethod(math, "random", {}).number;
        ASSERT_TRUE(r >= 0 && r < 1) << r;
    }
}

TEST(Avm1Globals, EscapeKeepsOnlyLettersAndDigits) {
    testing::FakeHost host;
    Machine m(host, 8);
    const std::pair<const char*, const char*> cases[] = {
        {"a b&c", "a%20b%26c"}, {"-_.@", "%2D%5F%2E%40"}, {"\xC3\xA9", "%C3%A9"}, {"Az09", "Az09"}};
    for (const auto& [plain, escaped] : cases) {
        const Value in[] = {Value(plain)};
        EXPECT_EQ(m.CallMethod(Value(m.global), "escape", in).string, escaped);
        const Value back[] = {Value(escaped)};
        EXPECT_EQ(m.CallMethod(Value(m.global), "unescape", back).string, plain);
    }
    const std::pair<const char*, const char*> odd[] = {
        {"%", "%"}, {"%4", "%4"}, {"%zz1", "%zz1"}, {"%u00e9", "\xC3\xA9"}};
    for (const auto& [escaped, plain] : odd) {
        const Value in[] = {Value(escaped)};
        EXPECT_EQ(m.CallMethod(Value(m.global), "unescape", in).string, plain) << escaped;
    }
}

TEST(Avm1Number, CallConvertsAndNewBoxes) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value number = m.Get(m.global, "Number"), boolean = m.Get(m.global, "Boolean");
    const Value twelve[] = {Value("12")};
    ExpectNumber(m.Call(number, Value(), twelve), 12, "Number(\"12\")");
    const Value boxed = m.Construct(number, std::vector<Value>{255});
    ASSERT_TRUE(boxed.IsObject());
    ExpectNumber(m.CallMethod(boxed, "valueOf", {}), 255, "valueOf");
    EXPECT_EQ(m.CallMethod(boxed, "toString", std::vector<Value>{16}).string, "ff");
    EXPECT_EQ(m.CallMethod(Value(-8), "toString", std::vector<Value>{2}).string, "-1000");
    EXPECT_TRUE(m.Call(m.Get(m.numberProto, "valueOf"), Value("x"), {}).IsUndefined());
    EXPECT_EQ(m.Get(number.object, "MIN_VALUE").number, 4.94065645841247e-324);

    const Value yes = m.Construct(boolean, std::vector<Value>{"x"});
    EXPECT_EQ(m.CallMethod(yes, "toString", {}).string, "true");
    EXPECT_EQ(m.Call(boolean, Value(), {}).type, Type::Boolean);
    EXPECT_TRUE(m.ToBoolean(m.CallMethod(yes, "valueOf", {})));
}

TEST(Avm1Globals, TimersRunWhenDueAndStopWhenCleared) {
    testing::FakeHost host;
    Machine m(host, 8);
    std::vector<double> calls;
    Object* fn = m.NewFunction([&calls](Machine& mm, const Value&, std::span<const Value> args) {
        calls.push_back(mm.ToNumber(engine::avm1::Arg(args, 0)));
        return Value();
    });
    Object* obj = m.NewObject();
    obj->Define("tick", Value(fn));
    const Value g(m.global);
    const Value every = m.CallMethod(g, "setInterval", std::vector<Value>{fn, 100, 1});
    m.CallMethod(g, "setTimeout", std::vector<Value>{obj, "tick", 50, 2});
    EXPECT_TRUE(m.CallMethod(g, "setInterval", std::vector<Value>{obj, 100}).IsUndefined());
    for (double t : {40, 60, 110, 220}) {
        host.now = t;
        m.RunTimers();
    }
    EXPECT_EQ(calls, (std::vector<double>{2, 1, 1}));
    m.CallMethod(g, "clearInterval", std::vector<Value>{every});
    host.now = 1000;
    m.RunTimers();
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_TRUE(m.timers.empty());
}

TEST(Avm1Globals, ASSetPropFlagsTakesListsArraysAndNull) {
    testing::FakeHost host;
    Machine m(host, 8);
    const struct {
        Value names;
        double set, clear;
        std::vector<std::string> keys;
    } cases[] = {{Value("a,c"), 1, 0, {"b"}},
                 {Value(m.NewArray({"b"})), 1, 0, {"c", "a"}},
                 {Value::Null(), 1, 0, {}},
                 {Value("b,nothing,"), 0, 0, {"c", "b", "a"}}};
    for (const auto& c : cases) {
        Object* o = m.NewObject();
        for (const char* k : {"a", "b", "c"}) o->Define(k, Value(1));
        m.CallMethod(Value(m.global), "ASSetPropFlags", std::vector<Value>{o, c.names, c.set, c.clear});
        EXPECT_EQ(o->Keys(), c.keys) << m.ToString(c.names);
    }
    Object* o = m.NewObject();
    o->Define("x", Value(1), engine::avm1::kDontEnum | engine::avm1::kReadOnly);
    m.CallMethod(Value(m.global), "ASSetPropFlags", std::vector<Value>{o, "x", 0, 7});
    m.Set(o, "x", Value(2));
    EXPECT_EQ(o->Keys(), std::vector<std::string>{"x"});
    EXPECT_EQ(m.Get(o, "x").number, 2);
}

}  // namespace
}  // namespace lumarel
