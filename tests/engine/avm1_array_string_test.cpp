// Array and String methods called directly on a machine, without bytecode.
#include <gtest/gtest.h>

#include <vector>

#include "avm1_fake_host.h"

namespace lumarel {
namespace {

using engine::avm1::Machine;
using engine::avm1::Object;
using engine::avm1::ScriptAbort;
using engine::avm1::Value;

Value Global(Machine& m, const char* name) { return m.Get(m.global, name); }

// An array's elements joined by "|", holes shown as "_", so that ordering and holes both show.
std::string Dump(Machine& m, Object* a) {
    std::string out;
    for (uint32_t i = 0; i < a->length; ++i) {
        if (i) out += "|";
        out += a->Find(std::to_string(i)) ? m.ToString(m.ArrayGet(a, i)) : "_";
    }
    return out;
}

TEST(Avm1Array, MethodsGiveTheirResultAndLeaveTheArrayAsTheReferenceSays) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value nested(m.NewArray({Value(4), Value(5)}));
    struct Case {
        std::vector<Value> items;
        const char* method;
        std::vector<Value> args;
        const char* result;
        const char* after;
    };
    const Case cases[] = {
        {{1, 2}, "push", {3, 4}, "4", "1|2|3|4"},
        {{1, 2, 3}, "pop", {}, "3", "1|2"},
        {{1, 2, 3}, "shift", {}, "1", "2|3"},
        {{3}, "unshift", {1, 2}, "3", "1|2|3"},
        {{1, 2}, "concat", {3, nested}, "1,2,3,4,5", "1|2"},
        {{1, Value(), Value::Null()}, "join", {}, "1,undefined,null", "1|undefined|null"},
        {{1, 2, 3}, "join", {" - "}, "1 - 2 - 3", "1|2|3"},
        {{1, 2, 3}, "reverse", {}, "undefined", "3|2|1"},
        {{1, 2, 3, 4, 5}, "slice", {1, -1}, "2,3,4", "1|2|3|4|5"},
        {{1, 2, 3, 4, 5}, "slice", {-2}, "4,5", "1|2|3|4|5"},
        {{1, 2, 3, 4, 5}, "slice", {3, 1}, "", "1|2|3|4|5"},
        {{1, 2, 3, 4, 5}, "splice", {1, 2, "a", "b", "c"}, "2,3", "1|a|b|c|4|5"},
        {{1, 2, 3, 4, 5}, "splice", {-2}, "4,5", "1|2|3"},
        {{1, 2, 3}, "splice", {1, 0, "x"}, "", "1|x|2|3"},
        {{1, 2, 3}, "splice", {0, 99}, "1,2,3", ""},
        {{10, 9, 100, "b", "B"}, "sort", {}, "10,100,9,B,b", "10|100|9|B|b"},
        {{10, 9, 100}, "sort", {16}, "9,10,100", "9|10|100"},
        {{10, 9, 100}, "sort", {16 | 2}, "100,10,9", "100|10|9"},
        {{"b", "A", "c"}, "sort", {1}, "A,b,c", "A|b|c"},
        {{"b", "a", "c"}, "sort", {8}, "1,0,2", "b|a|c"},
        {{2, 1, 2}, "sort", {4}, "0", "2|1|2"},
        {{2, Value(), 1}, "sort", {}, "1,2,undefined", "1|2|undefined"},
    };
    for (const Case& c : cases) {
        Object* a = m.NewArray(c.items);
        const Value r = m.CallMethod(Value(a), c.method, c.args);
        EXPECT_EQ(m.ToString(r), c.result) << c.method << " on " << Dump(m, a);
        EXPECT_EQ(Dump(m, a), c.after) << c.method;
    }
}

TEST(Avm1Array, ConstructorTakesALengthOrItems) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value ctor = Global(m, "Array");
    const Value three[] = {3};
    Object* holes = m.Construct(ctor, three).object;
    ASSERT_TRUE(holes);
    EXPECT_EQ(Dump(m, holes), "_|_|_");
    const Value items[] = {"a", 2};
    EXPECT_EQ(Dump(m, m.Call(ctor, Value(), items).object), "a|2");
    EXPECT_TRUE(m.InstanceOf(m.Construct(ctor, items), ctor));
    EXPECT_EQ(m.ToString(m.GetMember(ctor, "RETURNINDEXEDARRAY")), "8");

    // A huge length is only a number: the elements are sparse, and walking them all stops the
    // script instead of hanging it.
    const Value huge[] = {4e9};
    Object* big = m.Construct(ctor, huge).object;
    EXPECT_EQ(big->length, 4000000000u);
    const Value last[] = {"z"};
    m.CallMethod(Value(big), "push", last);
    EXPECT_EQ(m.ToString(m.CallMethod(Value(big), "pop", {})), "z");
    EXPECT_THROW(m.CallMethod(Value(big), "join", {}), ScriptAbort);
}

TEST(Avm1Array, SortsWithACompareFunctionAndSortOnFields) {
    testing::FakeHost host;
    Machine m(host, 8);
    // A compare function returning b - a sorts descending; an inconsistent one must stay bounded.
    const Value desc(m.NewFunction([](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(mm.ToNumber(engine::avm1::Arg(args, 1)) - mm.ToNumber(engine::avm1::Arg(args, 0)));
    }));
    Object* a = m.NewArray({3, 1, 20, 2});
    m.CallMethod(Value(a), "sort", std::vector<Value>{desc});
    EXPECT_EQ(Dump(m, a), "20|3|2|1");
    const Value chaos(m.NewFunction([](Machine&, const Value&, std::span<const Value>) { return Value(1); }));
    m.CallMethod(Value(a), "sort", std::vector<Value>{chaos});
    EXPECT_EQ(a->length, 4u);

    auto rec = [&](const char* name, double age) {
        Object* o = m.NewObject();
        m.Set(o, "name", Value(name));
        m.Set(o, "age", Value(age));
        return Value(o);
    };
    Object* people = m.NewArray({rec("bo", 30), rec("Al", 9), rec("al", 30)});
    auto names = [&] {
        std::string s;
        for (uint32_t i = 0; i < people->length; ++i) s += m.ToString(m.GetMember(m.ArrayGet(people, i), "name")) + " ";
        return s;
    };
    m.CallMethod(Value(people), "sortOn", std::vector<Value>{"age", 16});
    EXPECT_EQ(names(), "Al bo al ");
    const Value fields(m.NewArray({"age", "name"}));
    m.CallMethod(Value(people), "sortOn", std::vector<Value>{fields, Value(m.NewArray({2 | 16, 0}))});
    EXPECT_EQ(names(), "al bo Al ");
    m.CallMethod(Value(people), "sortOn", std::vector<Value>{"name", 1 | 2});
    EXPECT_EQ(names().substr(0, 3), "bo ");
}

TEST(Avm1String, MethodsCountCharactersNotBytes) {
    testing::FakeHost host;
    Machine m(host, 8);
    const std::string word = "h\xC3\xA9llo w\xE2\x82\xACrld";  // "héllo w€rld"
    struct Case {
        Value self;
        const char* method;
        std::vector<Value> args;
        const char* expected;
    };
    const Case cases[] = {
        {word, "charAt", {1}, "\xC3\xA9"},
        {word, "charAt", {99}, ""},
        {word, "charCodeAt", {7}, "8364"},
        {word, "charCodeAt", {-1}, "NaN"},
        {word, "indexOf", {"l"}, "2"},
        {word, "indexOf", {"l", 4}, "9"},
        {word, "indexOf", {"\xA9"}, "-1"},  // a lone byte never matches inside a character
        {word, "lastIndexOf", {"l"}, "9"},
        {word, "lastIndexOf", {"l", 8}, "3"},
        {word,
         "slice",
         {-4},
         "\xE2\x82\xAC"
         "rld"},
        {word, "slice", {1, -6}, "\xC3\xA9llo"},
        {word, "substr", {-3, 2}, "rl"},
        {word,
         "substr",
         {7},
         "\xE2\x82\xAC"
         "rld"},
        {word, "substring", {5, 1}, "\xC3\xA9llo"},
        {word, "substring", {-5, 2}, "h\xC3\xA9"},
        {word, "toUpperCase", {}, "H\xC3\x89LLO W\xE2\x82\xACRLD"},
        {"\xC3\x84\xD0\x96Z\xFF", "toLowerCase", {}, "\xC3\xA4\xD0\xB6z\xFF"},
        {"a,b,,c", "split", {","}, "a,b,,c"},
        {"a,b,,c", "split", {",", 2}, "a,b"},
        {"a\xC3\xA9", "split", {""}, "a,\xC3\xA9"},
        {"a,b", "split", {}, "a,b"},
        {"ab", "concat", {1, Value::Null()}, "ab1null"},
    };
    for (const Case& c : cases) {
        const Value r = m.CallMethod(c.self, c.method, c.args);
        EXPECT_EQ(m.ToString(r), c.expected) << c.method << " on " << m.ToString(c.self);
    }
    // split without a separator keeps the string whole.
    EXPECT_EQ(m.GetMember(m.CallMethod(Value("a,b"), "split", {}), "length").number, 1);
}

TEST(Avm1String, ConstructorBoxesAndFromCharCodeEncodes) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value ctor = Global(m, "String");
    const Value word[] = {
        "\xE2\x82\xAC"
        "1"};
    const Value boxed = m.Construct(ctor, word);
    ASSERT_TRUE(boxed.IsObject());
    EXPECT_EQ(m.GetMember(boxed, "length").number, 2);
    EXPECT_EQ(m.ToString(m.CallMethod(boxed, "charAt", std::vector<Value>{1})), "1");
    EXPECT_EQ(m.TypeOf(m.CallMethod(boxed, "valueOf", {})), "string");
    const Value number[] = {12};
    EXPECT_EQ(m.Call(ctor, Value(), number).string, "12");

    const Value codes[] = {72, 0x20AC, 0xD83D, 0xDE00, 0xD800};
    const std::string s = m.CallMethod(ctor, "fromCharCode", codes).string;
    EXPECT_EQ(s.substr(0, 8), "H\xE2\x82\xAC\xF0\x9F\x98\x80");
    // The lone surrogate reads back as one character.
    EXPECT_EQ(m.ToString(m.CallMethod(Value(s), "charCodeAt", std::vector<Value>{3})), "55296");
}

}  // namespace
}  // namespace lumarel
